// The air on file: the world file, pcap capture as tshark decodes it (an independent reading of every
// frame the world and the radio put on the air), pcap reading, and replay of a capture into the air.
#include "air_support.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace airtest {
namespace {

using sim::chip::Generation;
using sim::fw::ScanEngine;

constexpr int64_t kMs = 10000;

TEST(AirWorldFile, TheBuiltInWorldHasItsAccessPointsOverTheThreeBands)
{
    std::string error;
    std::optional<sim::air::WorldConfig> w = sim::air::ParseWorld(sim::air::BuiltInWorldText(), &error);
    ASSERT_TRUE(w) << error;
    ASSERT_GE(w->accessPoints.size(), 8u);
    std::set<Band> bands;
    unsigned hidden = 0;
    for (const sim::air::ApConfig& ap : w->accessPoints) {
        bands.insert(ap.channel.band);
        hidden += ap.hidden ? 1 : 0;
    }
    EXPECT_EQ(bands.size(), 3u);
    EXPECT_EQ(hidden, 1u);
    // A 6 GHz access point off the preferred scanning channels, announced by a 5 GHz neighbour.
    bool announced = false;
    for (const sim::air::ApConfig& ap : w->accessPoints) {
        if (ap.channel.band != Band::B6G || sim::air::IsPsc(ap.channel)) {
            continue;
        }
        for (const sim::air::ApConfig& other : w->accessPoints) {
            for (const Mac& n : other.neighbours) {
                announced = announced || (n == ap.bssid && other.channel.band != Band::B6G);
            }
        }
    }
    EXPECT_TRUE(announced);
}

TEST(AirWorldFile, AWorldFileThatIsWrongSaysWhereAndWhy)
{
    const std::string ap = "[[ap]]\nssid = \"a\"\nbssid = \"02:00:00:00:00:01\"\nband = \"5\"\nchannel = 36\n";
    struct Row {
        const char* what;
        std::string text;
        const char* says;
    } rows[] = {
        {"not TOML", "[[ap]\n", "line 1"},
        {"unknown key", ap + "colour = 3\n", "unknown key \"colour\""},
        {"unknown top-level key", "wrld = 1\n", "unknown key \"wrld\""},
        {"missing SSID", "[[ap]]\nbssid = \"02:00:00:00:00:01\"\nband = \"5\"\nchannel = 36\n", "\"ssid\" is missing"},
        {"group BSSID", "[[ap]]\nssid = \"a\"\nbssid = \"03:00:00:00:00:01\"\nband = \"5\"\nchannel = 36\n",
         "not an individual MAC address"},
        {"band", "[[ap]]\nssid = \"a\"\nbssid = \"02:00:00:00:00:01\"\nband = \"4\"\nchannel = 36\n", "band \"4\""},
        {"channel of another band", "[[ap]]\nssid = \"a\"\nbssid = \"02:00:00:00:00:01\"\nband = \"2.4\"\nchannel = 36\n",
         "not a channel of the 2.4 GHz band"},
        {"width", ap + "width = 80\nphy = [\"ht\"]\n", "needs VHT or HE"},
        {"SSID too long", "[[ap]]\nssid = \"" + std::string(33, 'x') + "\"\nbssid = \"02:00:00:00:00:01\"\nband = \"5\"\nchannel = 36\n",
         "SSID longer than 32 bytes"},
        {"6 GHz with HT", "[[ap]]\nssid = \"a\"\nbssid = \"02:00:00:00:00:01\"\nband = \"6\"\nchannel = 37\nphy = [\"ht\", \"he\"]\n"
                          "security = \"wpa3-sae\"\n",
         "without HT or VHT"},
        {"WPA3 without PMF", ap + "security = \"wpa3-sae\"\npmf = \"off\"\n", "requires protected management frames"},
        {"security", ap + "security = \"wpa4\"\n", "security \"wpa4\""},
        {"signal as text", ap + "signal = \"loud\"\n", "\"signal\" must be an integer"},
        {"signal out of range", ap + "signal = 20\n", "outside -110..0"},
        {"unknown neighbour", ap + "neighbours = [\"02:00:00:00:00:09\"]\n", "no other access point"},
        {"two with one BSSID", ap + ap, "two access points have BSSID"},
        {"frame of odd hex", "[[frame]]\nband = \"2.4\"\nchannel = 6\nhex = \"800\"\n", "whole bytes"},
    };
    for (const Row& r : rows) {
        std::string error;
        EXPECT_FALSE(sim::air::ParseWorld(r.text, &error)) << r.what;
        EXPECT_NE(error.find(r.says), std::string::npos) << r.what << ": " << error;
    }
    std::string error;
    EXPECT_FALSE(sim::air::LoadWorldFile("/nonexistent/world.toml", &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

TEST(AirPcap, RecordsComeBackWithTheirTimeChannelAndSignal)
{
    const int64_t t0 = 116444736000000000LL + 1700000000LL * 10000000LL;  // some time after 1970
    std::vector<sim::air::PcapRecord> records = {
        {t0, Bytes(30, 0x80), Channel{Band::B2G4, 6}, int8_t{-45}},
        {t0 + 12340, Bytes(40, 0x50), Channel{Band::B6G, 33}, std::nullopt},
        {t0 + 99990, Bytes(24, 0x40), Channel{Band::B5G, 149}, int8_t{-90}},
    };
    const Bytes file = sim::air::EncodePcap(records);
    std::string error;
    std::optional<sim::air::PcapFile> back = sim::air::ParsePcap(file.data(), file.size(), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->linkType, 127u);
    ASSERT_EQ(back->records.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back->records[i].time, records[i].time - records[i].time % 10) << "microseconds kept";
        EXPECT_EQ(back->records[i].frame, records[i].frame);
        EXPECT_EQ(back->records[i].channel, records[i].channel);
        EXPECT_EQ(back->records[i].signalDbm, records[i].signalDbm);
    }

    // Plain 802.11 (105), big-endian, nanosecond time stamps; a radiotap header announcing an FCS.
    Bytes be = {0xA1, 0xB2, 0x3C, 0x4D, 0, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 105};
    const Bytes frame(26, 0x11);
    be.insert(be.end(), {0, 0, 0, 1, 0, 0, 0x03, 0xE8, 0, 0, 0, 26, 0, 0, 0, 26});
    be.insert(be.end(), frame.begin(), frame.end());
    back = sim::air::ParsePcap(be.data(), be.size(), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->linkType, 105u);
    ASSERT_EQ(back->records.size(), 1u);
    EXPECT_EQ(back->records[0].frame, frame);
    EXPECT_EQ(back->records[0].time, 116444736000000000LL + 10000000LL + 10);
    EXPECT_FALSE(back->records[0].channel);

    Bytes fcs = sim::air::EncodePcap({{t0, Bytes(30, 0x80), Channel{Band::B2G4, 1}, std::nullopt}});
    fcs[24 + 16 + 8] = 0x10;  // radiotap flags: an FCS follows the frame
    fcs.insert(fcs.end(), {1, 2, 3, 4});
    Put32(fcs, 24 + 8, Get32(fcs, 24 + 8) + 4);
    Put32(fcs, 24 + 12, Get32(fcs, 24 + 12) + 4);
    back = sim::air::ParsePcap(fcs.data(), fcs.size(), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->records[0].frame, Bytes(30, 0x80));

    struct Bad {
        const char* what;
        Bytes bytes;
        const char* says;
    } bad[] = {
        {"short", Bytes(10, 0), "shorter than a pcap file header"},
        {"magic", Bytes(24, 0), "magic number"},
        {"link type", [&] { Bytes b = file; b[20] = 1; return b; }(), "link type 1"},
        {"record past the end", [&] { Bytes b = file; Put32(b, 24 + 8, 100000); return b; }(), "runs past the end"},
        {"record header cut", [&] { Bytes b = file; b.resize(b.size() - records[2].frame.size() - 30); return b; }(),
         "past the end"},
    };
    for (const Bad& b : bad) {
        EXPECT_FALSE(sim::air::ParsePcap(b.bytes.data(), b.bytes.size(), &error)) << b.what;
        EXPECT_NE(error.find(b.says), std::string::npos) << b.what << ": " << error;
    }
    // A radiotap header that claims more than the record holds is skipped, not read past.
    Bytes lying = sim::air::EncodePcap({records[0]});
    lying[24 + 16 + 2] = 0xF0;
    back = sim::air::ParsePcap(lying.data(), lying.size(), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_TRUE(back->records.empty());
    EXPECT_EQ(back->skipped, 1u);
}

// Scans every channel of the built-in world on a chip of this generation, with the capture on.
class AirCapture : public ManualClock {
protected:
    void ScanEverything(sim::air::World& world, Generation g, RecordingHost& host, const std::string& pcap)
    {
        std::string error;
        if (!pcap.empty()) {
            ASSERT_TRUE(world.StartCapture(pcap, &error)) << error;
        }
        ScanEngine engine(g, host);
        engine.AttachAir(&world.Air());
        std::vector<std::pair<uint8_t, uint8_t>> channels = {{1, 1}, {1, 6}, {1, 11}, {2, 36}, {2, 100}, {2, 149},
                                                             {3, 37}};
        ScanV2 broadcast;
        broadcast.channels = channels;
        broadcast.ssids = {""};
        broadcast.extra = {127, 10, 0, 0, 0x08, 0, 0, 0, 0, 0x40, 0, 0};
        engine.TakeLegacy(Legacy(0x03, broadcast.Payload()), {});
        AdvanceMs(2000);
        ScanV2 directed = broadcast;
        directed.seq = 2;
        directed.ssids = {"Lab"};
        engine.TakeLegacy(Legacy(0x03, directed.Payload()), {});
        AdvanceMs(2000);
        ScanV2 neighbour;
        neighbour.seq = 3;
        neighbour.channels = {{3, 33}};
        neighbour.bssids = {M("02:00:00:06:21:01")};
        neighbour.bssidChannel = {33, 0, 0, 0};
        engine.TakeLegacy(Legacy(0x03, neighbour.Payload()), {});
        AdvanceMs(500);
        engine.AttachAir(nullptr);
        world.StopCapture();
    }
};

TEST_F(AirCapture, TsharkDecodesEveryFrameOfTheAirWithoutAFaultAndReadsWhatTheWorldSays)
{
    if (!HaveTshark()) {
        GTEST_SKIP() << "tshark is not installed (scripts/test installs it)";
    }
    std::unique_ptr<sim::air::World> world = sim::air::World::BuiltIn();
    RecordingHost host;
    const std::string pcap = TempPath("air.pcap");
    ScanEverything(*world, Generation::Third, host, pcap);
    ASSERT_GT(world->CapturedFrames(), 20u);

    // One reading of the whole capture by tshark, one line per frame, fields by tshark's own names.
    const char* const fields[] = {"frame.number", "_ws.malformed", "_ws.expert.severity", "wlan.fc.type_subtype",
                                  "wlan.bssid", "wlan.ssid", "radiotap.channel.freq", "radiotap.dbm_antsignal",
                                  "wlan.rsn.akms.type", "wlan.fixed.capabilities.privacy",
                                  "wlan.rnr.tbtt_info.channel_num", "wlan.rnr.tbtt_info.bssid",
                                  "wlan.rnr.tbtt_info.bss_parameters.same_ssid", "wlan.rnr.tbtt_info.operating_class",
                                  "wlan.tag.number", "wlan.ext_tag.number"};
    std::string args = "-r " + pcap + " -T fields -E occurrence=a";
    for (const char* f : fields) {
        args += std::string(" -e ") + f;
    }
    auto split = [](const std::string& line) {
        std::vector<std::string> out(1);
        for (char c : line) {
            if (c == '\t') {
                out.emplace_back();
            } else {
                out.back() += c;
            }
        }
        return out;
    };
    // tshark shows an SSID as hex, and an empty one as missing.
    auto hex = [](const std::string& s) {
        if (s.empty()) {
            return std::string("<MISSING>");
        }
        std::string out;
        char two[3];
        for (unsigned char c : s) {
            std::snprintf(two, sizeof(two), "%02x", c);
            out += two;
        }
        return out;
    };
    std::set<std::string> networks;
    std::vector<std::string> rnr;
    std::vector<std::string> probes5;
    size_t frames = 0;
    for (const std::string& line : Tshark(args)) {
        const std::vector<std::string> f = split(line);
        ASSERT_EQ(f.size(), std::size(fields)) << line;
        ++frames;
        // No malformed frame, no expert note of warning or error severity (0x600000, 0x800000).
        EXPECT_EQ(f[1], "") << "frame " << f[0] << " is malformed";
        std::stringstream severities(f[2]);
        for (std::string one; std::getline(severities, one, ',');) {
            EXPECT_LT(std::stoul(one), 0x600000u) << "frame " << f[0] << ": expert note of severity " << one;
        }
        // Management subtypes as tshark shows them: 0x0004 probe request, 0x0005 response, 0x0008 beacon.
        if (f[3] == "0x0008" || f[3] == "0x0005") {
            networks.insert(f[4] + " " + f[5] + " " + f[6] + " " + f[7] + " " + f[8] + " " + f[9]);
        }
        if (f[4] == "02:00:00:05:24:01" && f[3] == "0x0008") {
            rnr.push_back(f[10] + " " + f[11] + " " + f[12] + " " + f[13]);
        }
        if (f[3] == "0x0004" && f[6] == "5180") {
            probes5.push_back(f[14] + " " + f[15]);
        }
    }
    EXPECT_EQ(frames, world->CapturedFrames());
    struct Expect {
        const char* bssid;
        const char* ssid;
        const char* rest;  // frequency, signal, AKMs, privacy
    } expects[] = {
        {"02:00:00:24:01:01", "HomeNet", "2412 -45 2 1"},   {"02:00:00:24:06:01", "CoffeeShop", "2437 -62  0"},
        {"02:00:00:24:0b:01", "OldRouter", "2462 -71  1"}, {"02:00:00:05:24:01", "Office", "5180 -52 2,8 1"},
        {"02:00:00:05:24:02", "Lab", "5180 -55 2 1"},      {"02:00:00:05:24:02", "", "5180 -55 2 1"},
        {"02:00:00:05:64:01", "Campus", "5500 -67 8 1"},   {"02:00:00:05:95:01", "Guest", "5745 -60  0"},
        {"02:00:00:06:25:01", "Stadium", "6135 -63 8 1"},  {"02:00:00:06:21:01", "Office", "6115 -58 8 1"},
    };
    for (const Expect& e : expects) {
        const std::string line = std::string(e.bssid) + " " + hex(e.ssid) + " " + e.rest;
        EXPECT_EQ(networks.count(line), 1u) << line;
    }
    EXPECT_EQ(networks.size(), std::size(expects)) << "no other network on the air";
    // The Reduced Neighbor Report of the 5 GHz Office: channel 33, the 6 GHz radio, same SSID, class 133.
    ASSERT_FALSE(rnr.empty());
    EXPECT_EQ(rnr[0], "33 020000062101 1 133");
    // The probe requests the radio sent on 5 GHz: SSID, rates, HT, VHT and HE capabilities and the
    // request's Extended Capabilities.
    ASSERT_FALSE(probes5.empty());
    EXPECT_EQ(probes5[0], "0,1,45,191,255,127 35");
    std::filesystem::remove_all(std::filesystem::path(pcap).parent_path());
}

TEST_F(AirCapture, AReplayedCaptureGivesTheSameFramesAsTheWorldItWasMadeIn)
{
    std::unique_ptr<sim::air::World> world = sim::air::World::BuiltIn();
    RecordingHost live;
    const std::string pcap = TempPath("replay.pcap");
    ScanEverything(*world, Generation::Second, live, pcap);

    std::unique_ptr<sim::air::World> empty = sim::air::World::Empty();
    std::string error;
    ASSERT_TRUE(empty->Replay(pcap, &error)) << error;
    RecordingHost replayed;
    ScanEverything(*empty, Generation::Second, replayed, "");

    auto heard = [](RecordingHost& host) {
        std::set<std::pair<std::string, std::string>> bss;
        for (const Bytes& b : host.Frames()) {
            const RxView v = ParseRx(b, false);
            bss.insert({sim::air::MacText(sim::air::MacAt(v.frame.data() + 16)), SsidOf(v.frame).value_or("?")});
        }
        return bss;
    };
    const auto a = heard(live);
    const auto b = heard(replayed);
    EXPECT_EQ(a, b);
    EXPECT_GE(a.size(), 10u) << "nine access points, the hidden one with and without its name";
    std::filesystem::remove_all(std::filesystem::path(pcap).parent_path());
}

TEST_F(AirCapture, APlainCaptureIsPlacedOnTheChannelsItsFramesAnnounce)
{
    std::unique_ptr<sim::air::World> world = sim::air::World::BuiltIn();
    std::vector<sim::air::PcapRecord> records;
    for (const auto& ap : world->AccessPoints()) {
        records.push_back({start_, ap->BeaconAt(start_), std::nullopt, std::nullopt});
    }
    records.push_back({start_, Bytes(24, 0x40), std::nullopt, std::nullopt});  // a probe request: no channel
    Bytes file = sim::air::EncodePcap({});
    file[20] = 105;
    for (const auto& r : records) {
        Bytes h(16, 0);
        Put32(h, 8, static_cast<uint32_t>(r.frame.size()));
        Put32(h, 12, static_cast<uint32_t>(r.frame.size()));
        file.insert(file.end(), h.begin(), h.end());
        file.insert(file.end(), r.frame.begin(), r.frame.end());
    }
    std::string error;
    std::optional<sim::air::PcapFile> parsed = sim::air::ParsePcap(file.data(), file.size(), &error);
    ASSERT_TRUE(parsed) << error;
    sim::air::ReplaySource source;
    EXPECT_EQ(source.AddCapture(*parsed, std::nullopt), 1u);
    EXPECT_EQ(source.Frames(), world->AccessPoints().size());
    for (const auto& ap : world->AccessPoints()) {
        std::vector<sim::air::Emission> out;
        source.Scheduled(ap->OperatingChannel(), start_, start_ + kMs, &out);
        bool found = false;
        for (const auto& e : out) {
            found = found || sim::air::MacAt(e.frame.data() + 16) == ap->Bssid();
        }
        EXPECT_TRUE(found) << sim::air::MacText(ap->Bssid());
    }
    sim::air::ReplaySource fallback;
    EXPECT_EQ(fallback.AddCapture(*parsed, Channel{Band::B2G4, 1}), 0u);
}

}  // namespace
}  // namespace airtest
