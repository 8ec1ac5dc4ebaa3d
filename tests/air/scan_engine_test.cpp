// The firmware's scan engine driven by scan, abort, domain, offload and channel commands written in the
// test from the command layouts: the channels it visits and for how long, the probe requests it puts on
// the air, the frames it hands to the host in the generation's receive descriptor, and its events.
#include "air_support.h"

namespace airtest {
namespace {

using sim::chip::Generation;
using sim::fw::ScanEngine;
using sim::fw::ScanEngineRecord;

const char* const kTestWorld = R"(
[[ap]]
ssid = "CoffeeShop"
bssid = "02:00:00:00:06:01"
band = "2.4"
channel = 6
signal = -62
tbtt_offset = 30

[[ap]]
ssid = "Lab"
hidden = true
bssid = "02:00:00:00:24:02"
band = "5"
channel = 36
width = 80
phy = ["ht", "vht"]
security = "wpa2-psk"
signal = -55
tbtt_offset = 40

[[ap]]
ssid = "Office"
bssid = "02:00:00:00:24:01"
band = "5"
channel = 36
width = 80
phy = ["ht", "vht", "he"]
security = "wpa2-wpa3"
signal = -52
tbtt_offset = 70
neighbours = ["02:00:00:00:61:01"]

[[ap]]
ssid = "Campus"
bssid = "02:00:00:00:64:01"
band = "5"
channel = 100
phy = ["ht", "vht", "he"]
security = "wpa3-sae"
signal = -67
tbtt_offset = 20

[[ap]]
ssid = "Office"
bssid = "02:00:00:00:61:01"
band = "6"
channel = 33
width = 80
phy = ["he"]
security = "wpa3-sae"
signal = -58
tbtt_offset = 50
)";

constexpr int64_t kMs = 10000;
const Mac kOwn = {0x00, 0x0C, 0x43, 0x35, 0x00, 0x01};

class ScanEngineTest : public ManualClock {
protected:
    void Make(Generation g, const char* worldText = kTestWorld)
    {
        std::string error;
        world_ = sim::air::World::FromText(worldText, &error);
        ASSERT_TRUE(world_) << error;
        generation_ = g;
        engine_ = std::make_unique<ScanEngine>(g, host_);
        engine_->AttachAir(&world_->Air());
    }
    void TearDown() override
    {
        engine_.reset();
        world_.reset();
        ManualClock::TearDown();
    }
    void Send(uint8_t id, const Bytes& payload)
    {
        engine_->TakeLegacy(Legacy(id, payload), identity_);
        AdvanceUs(0);
    }
    void SendUnified(const sim::fw::UnifiedCommand& c)
    {
        engine_->TakeUnified(c, identity_);
        AdvanceUs(0);
    }
    int64_t Ms(int64_t t) const { return (t - start_) / kMs; }
    bool Third() const { return generation_ == Generation::Third; }
    std::vector<RxView> Delivered()
    {
        std::vector<RxView> out;
        for (const Bytes& b : host_.Frames()) {
            out.push_back(ParseRx(b, Third()));
        }
        return out;
    }
    std::vector<std::string> DeliveredSsids()
    {
        std::vector<std::string> out;
        for (const RxView& v : Delivered()) {
            out.push_back(SsidOf(v.frame).value_or("?"));
        }
        return out;
    }
    // A legacy event buffer: the payload after the second generation's 24-byte descriptor and header.
    static Bytes LegacyPayload(const Bytes& event, uint8_t expectId)
    {
        EXPECT_EQ(event[24 + 4], expectId);
        EXPECT_EQ(sim::air::Le16(event.data() + 24), event.size() - 24);
        EXPECT_EQ(sim::air::Le16(event.data() + 26), 0xE000);
        return Bytes(event.begin() + 36, event.end());
    }

    RecordingHost host_;
    std::unique_ptr<sim::air::World> world_;
    std::unique_ptr<ScanEngine> engine_;
    sim::fw::RadioIdentity identity_;
    Generation generation_ = Generation::Second;
};

TEST_F(ScanEngineTest, AnActiveScanDwellsLongerWhereSomethingAnsweredProbesEachChannelAndReportsTheScan)
{
    Make(Generation::Second);
    ScanV2 scan;
    scan.seq = 42;
    scan.channels = {{1, 1}, {1, 6}, {1, 11}};
    scan.ssids = {""};
    scan.extra = {127, 8, 0, 0, 0x08, 0, 0, 0, 0, 0x40, 0xDD, 5, 0x00, 0x50, 0xF2, 0x99, 0x01};
    Send(0x03, scan.Payload());
    AdvanceMs(500);

    const ScanEngineRecord r = engine_->Record();
    ASSERT_EQ(r.scans.size(), 1u);
    const sim::fw::ScanRun& run = r.scans[0];
    EXPECT_TRUE(run.done);
    EXPECT_FALSE(run.aborted);
    // Minimum dwell 20 ms where nothing answered, the full 110 ms on channel 6 where CoffeeShop did.
    ASSERT_EQ(run.visits.size(), 3u);
    const int64_t spans[][2] = {{0, 20}, {20, 130}, {130, 150}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Ms(run.visits[i].start), spans[i][0]) << i;
        EXPECT_EQ(Ms(run.visits[i].end), spans[i][1]) << i;
        EXPECT_TRUE(run.visits[i].active);
    }
    // One probe request per channel, 0.5 ms after tuning, with the request's extra elements last.
    ASSERT_EQ(r.transmitted.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        const Bytes& p = r.transmitted[i].frame;
        EXPECT_EQ(r.transmitted[i].time - start_, spans[i][0] * kMs + 5000);
        EXPECT_EQ(sim::air::Le16(p.data()), 0x0040);
        EXPECT_EQ(sim::air::MacAt(p.data() + 4), sim::air::kBroadcast);
        EXPECT_EQ(sim::air::MacAt(p.data() + 10), kOwn);
        EXPECT_EQ(sim::air::MacAt(p.data() + 16), sim::air::kBroadcast);
        EXPECT_EQ(ElementOf(p, 24, 0), Bytes{});
        EXPECT_EQ(ElementOf(p, 24, 1), (Bytes{0x02, 0x04, 0x0B, 0x16, 0x0C, 0x12, 0x18, 0x24}));
        EXPECT_EQ(ElementOf(p, 24, 50), (Bytes{0x30, 0x48, 0x60, 0x6C}));
        EXPECT_EQ(ElementOf(p, 24, 3), (Bytes{r.transmitted[i].channel.number}));
        EXPECT_TRUE(ElementOf(p, 24, 45));
        EXPECT_TRUE(ElementOf(p, 24, 255, 35));
        EXPECT_EQ(Bytes(p.end() - static_cast<std::ptrdiff_t>(scan.extra.size()), p.end()), scan.extra);
        unsigned extCaps = 0;
        sim::air::ElementReader reader(p.data() + 24, p.size() - 24);
        sim::air::Element e;
        while (reader.Next(&e)) {
            extCaps += e.id == 127 ? 1 : 0;
        }
        EXPECT_FALSE(reader.Malformed());
        EXPECT_EQ(extCaps, 1u) << "the request's Extended Capabilities, not a second one";
    }
    // Channel 6: CoffeeShop's probe response (0.5 ms + its delay) and its beacon at 30 TU; nothing else.
    const std::vector<RxView> got = Delivered();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(sim::air::Le16(got[0].frame.data()), 0x0050);
    EXPECT_TRUE(got[0].unicast);
    EXPECT_EQ(sim::air::Le16(got[1].frame.data()), 0x0080);
    EXPECT_TRUE(got[1].group);
    for (const RxView& v : got) {
        EXPECT_EQ(v.channelByte, 6);
        EXPECT_EQ(v.rcpiWord, 0x60606060u) << "RCPI (-62 + 110) x 2 = 96 on every chain";
        EXPECT_EQ(SsidOf(v.frame), "CoffeeShop");
    }
    // Scan done: event 0x0D, sequence 42, complete, the three channels with the frames of each.
    const std::vector<Bytes> events = host_.Events();
    ASSERT_EQ(events.size(), 1u);
    const Bytes p = LegacyPayload(events[0], 0x0D);
    ASSERT_EQ(p.size(), 340u);
    EXPECT_EQ(p[0], 42);
    EXPECT_EQ(p[2], 0) << "complete";
    EXPECT_EQ(p[16], 3);
    EXPECT_EQ(Bytes(p.begin() + 20, p.begin() + 23), (Bytes{1, 6, 11}));
    EXPECT_EQ(sim::air::Le16(p.data() + 84), 0);
    EXPECT_EQ(sim::air::Le16(p.data() + 86), 2);
    EXPECT_EQ(Bytes(p.begin() + 276, p.begin() + 279), (Bytes{1, 1, 1}));
    EXPECT_FALSE(engine_->Scanning());
}

TEST_F(ScanEngineTest, DwellTimesComeFromTheCommandThenTheChipConfigurationThenTheDefaults)
{
    Make(Generation::Second);
    struct Row {
        const char* what;
        const char* text;  // chip configuration text sent before, or none
        uint16_t word1, word3;
        int64_t empty, answered;  // ms on channel 1 (nobody) and on channel 6 (CoffeeShop answers)
    } rows[] = {
        {"defaults", nullptr, 0, 0, 20, 110},
        {"configured minimum", "ScnChannelDwellTimeMin 42", 0, 0, 42, 110},
        {"command's words", nullptr, 130, 35, 35, 130},
        {"a minimum above the dwell", nullptr, 30, 60, 60, 60},
    };
    uint8_t seq = 1;
    for (const Row& row : rows) {
        if (row.text != nullptr) {
            Bytes text(328, 0);
            const std::string t = row.text;
            Put16(text, 4, static_cast<uint32_t>(t.size()));
            std::copy(t.begin(), t.end(), text.begin() + 8);
            Send(0xCA, text);
        }
        engine_->ClearRecord();
        ScanV2 scan;
        scan.seq = seq++;
        scan.channels = {{1, 1}, {1, 6}};
        scan.word1 = row.word1;
        scan.word3 = row.word3;
        Send(0x03, scan.Payload());
        AdvanceMs(400);
        const ScanEngineRecord r = engine_->Record();
        ASSERT_EQ(r.scans.size(), 1u) << row.what;
        ASSERT_EQ(r.scans[0].visits.size(), 2u) << row.what;
        EXPECT_EQ((r.scans[0].visits[0].end - r.scans[0].visits[0].start) / kMs, row.empty) << row.what;
        EXPECT_EQ((r.scans[0].visits[1].end - r.scans[0].visits[1].start) / kMs, row.answered) << row.what;
    }
}

TEST_F(ScanEngineTest, AHiddenNetworkAnswersOnlyADirectedScanAndItsBeaconsCarryNoName)
{
    Make(Generation::Second);
    ScanV2 broadcast;
    broadcast.seq = 1;
    broadcast.channels = {{2, 36}};
    broadcast.ssids = {""};
    Send(0x03, broadcast.Payload());
    AdvanceMs(300);
    std::vector<std::string> ssids = DeliveredSsids();
    // Office answers; both beacon inside the 110 ms (TBTTs 40 and 70 TU).
    EXPECT_EQ(std::count(ssids.begin(), ssids.end(), "Office"), 2);
    EXPECT_EQ(std::count(ssids.begin(), ssids.end(), ""), 1) << "Lab's beacon";
    EXPECT_EQ(std::count(ssids.begin(), ssids.end(), "Lab"), 0);

    host_.frames.clear();
    ScanV2 directed;
    directed.seq = 2;
    directed.channels = {{2, 36}};
    directed.ssids = {"Lab", "Lab", "Lab", "Lab"};  // the driver repeats its last SSID into every slot
    Send(0x03, directed.Payload());
    AdvanceMs(300);
    ssids = DeliveredSsids();
    EXPECT_EQ(std::count(ssids.begin(), ssids.end(), "Lab"), 1) << "one answer: one probe for the one SSID";
    const ScanEngineRecord r = engine_->Record();
    size_t probesOfSecondScan = 0;
    for (const auto& t : r.transmitted) {
        probesOfSecondScan += SsidOf(t.frame) == "Lab" ? 1 : 0;
    }
    EXPECT_EQ(probesOfSecondScan, 1u);
}

TEST_F(ScanEngineTest, ARadarChannelIsListenedToAndProbedOnlyAfterABeacon)
{
    Make(Generation::Second);
    ScanV2 scan;
    scan.channels = {{2, 100}};
    Send(0x03, scan.Payload());
    AdvanceMs(200);
    ScanEngineRecord r = engine_->Record();
    ASSERT_EQ(r.scans.size(), 1u);
    ASSERT_EQ(r.scans[0].visits.size(), 1u);
    EXPECT_FALSE(r.scans[0].visits[0].active);
    EXPECT_EQ(Ms(r.scans[0].visits[0].end), 110) << "the passive dwell";
    // Campus beacons at 20 TU (20.48 ms); the probe follows 0.2 ms later.
    ASSERT_EQ(r.transmitted.size(), 1u);
    EXPECT_EQ(r.transmitted[0].time - start_, 20 * 10240 + 2000);
    std::vector<std::string> ssids = DeliveredSsids();
    EXPECT_EQ(ssids, (std::vector<std::string>{"Campus", "Campus"})) << "the beacon, then the probe response";

    // A radar-channel dwell from the chip configuration, and a passive scan: no probe at all.
    Bytes text(328, 0);
    const std::string t = "ScnChannelDFSTime 30";
    Put16(text, 4, static_cast<uint32_t>(t.size()));
    std::copy(t.begin(), t.end(), text.begin() + 8);
    Send(0xCA, text);
    engine_->ClearRecord();
    scan.seq = 2;
    scan.type = 0;
    Send(0x03, scan.Payload());
    AdvanceMs(200);
    r = engine_->Record();
    ASSERT_EQ(r.scans.size(), 1u);
    EXPECT_EQ((r.scans[0].visits[0].end - r.scans[0].visits[0].start) / kMs, 30);
    EXPECT_TRUE(r.transmitted.empty());
}

TEST_F(ScanEngineTest, AnAbortEndsTheRunningScanAtOnceAndNothingOfItArrivesAfterwards)
{
    Make(Generation::Second);
    ScanV2 scan;
    scan.seq = 7;
    scan.channels = {{2, 36}, {1, 6}};
    Send(0x03, scan.Payload());
    AdvanceMs(50);
    const size_t before = host_.Frames().size();
    Send(0x1B, {8, 0, 0, 0});  // another scan's number: nothing happens
    EXPECT_TRUE(engine_->Scanning());
    EXPECT_TRUE(host_.Events().empty());
    Send(0x1B, {7, 0, 0, 0});
    EXPECT_FALSE(engine_->Scanning());
    AdvanceMs(500);
    EXPECT_EQ(host_.Frames().size(), before) << "no frame of the aborted scan after the abort";
    const ScanEngineRecord r = engine_->Record();
    ASSERT_EQ(r.scans.size(), 1u);
    EXPECT_TRUE(r.scans[0].aborted);
    EXPECT_EQ(r.scans[0].visits.size(), 1u) << "channel 6 never visited";
    EXPECT_EQ(r.aborts, (std::vector<uint8_t>{8, 7}));
    const std::vector<Bytes> events = host_.Events();
    ASSERT_EQ(events.size(), 1u);
    const Bytes p = LegacyPayload(events[0], 0x0D);
    EXPECT_EQ(p[0], 7);
    EXPECT_EQ(p[2], 1) << "aborted";
    EXPECT_EQ(engine_->Timeline().Pending(), 0u);
}

TEST_F(ScanEngineTest, ANewScanTakesOverFromARunningOne)
{
    Make(Generation::Second);
    ScanV2 first;
    first.seq = 3;
    first.channels = {{1, 1}, {1, 11}};
    Send(0x03, first.Payload());
    AdvanceMs(5);
    ScanV2 second;
    second.seq = 4;
    second.channels = {{1, 6}};
    Send(0x03, second.Payload());
    AdvanceMs(300);
    const std::vector<Bytes> events = host_.Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(LegacyPayload(events[0], 0x0D)[0], 3);
    EXPECT_EQ(LegacyPayload(events[0], 0x0D)[2], 1);
    EXPECT_EQ(LegacyPayload(events[1], 0x0D)[0], 4);
    EXPECT_EQ(LegacyPayload(events[1], 0x0D)[2], 0);
}

TEST_F(ScanEngineTest, ANeighbourScanProbesEachListedBssidWithTheShortSsidsOfTheRequest)
{
    Make(Generation::Second);
    ScanV2 scan;
    scan.seq = 9;
    scan.channels = {{3, 33}};
    scan.bssids = {M("02:00:00:00:61:01")};
    scan.bssidChannel = {33, 0, 0, 0};
    scan.bssidListByte = 1;
    const uint32_t shortSsid = sim::air::ShortSsid(reinterpret_cast<const uint8_t*>("Office"), 6);
    scan.extra = {255, 5, 58, static_cast<uint8_t>(shortSsid), static_cast<uint8_t>(shortSsid >> 8),
                  static_cast<uint8_t>(shortSsid >> 16), static_cast<uint8_t>(shortSsid >> 24)};
    Send(0x03, scan.Payload());
    AdvanceMs(300);
    const ScanEngineRecord r = engine_->Record();
    ASSERT_EQ(r.transmitted.size(), 1u);
    const Bytes& probe = r.transmitted[0].frame;
    EXPECT_EQ(sim::air::MacAt(probe.data() + 4), M("02:00:00:00:61:01"));
    EXPECT_EQ(sim::air::MacAt(probe.data() + 16), M("02:00:00:00:61:01"));
    EXPECT_EQ(ElementOf(probe, 24, 0), Bytes{});
    EXPECT_FALSE(ElementOf(probe, 24, 45)) << "no HT in 6 GHz";
    EXPECT_TRUE(ElementOf(probe, 24, 255, 59)) << "HE 6 GHz band capabilities";
    const std::vector<RxView> got = Delivered();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(sim::air::Le16(got[0].frame.data()), 0x0050);
    EXPECT_EQ(sim::air::MacAt(got[0].frame.data() + 16), M("02:00:00:00:61:01"));
    for (const RxView& v : got) {
        EXPECT_EQ(v.channelByte, 181 + (33 - 1) / 4) << "the 6 GHz channel byte";
    }
}

TEST_F(ScanEngineTest, TheUnifiedScanOfTheThirdGenerationRunsTheSameAndAnswersInTheUnifiedFormat)
{
    Make(Generation::Third);
    Bytes head(16, 0);  // tag 0x01: type, probe option, flags, 1, u16 words 3, 1, 2, probe count, u32 0
    head[0] = 1;
    head[3] = 1;
    Bytes ssids = {0, 1, 0, 0};
    ssids.resize(4 + 36, 0);  // one wildcard slot
    Bytes channels = {4, 3, 0, 0, 1, 1, 1, 6, 1, 11, 0, 0};
    Bytes bssid = {0, 0, 0, 0, 0, 0, 0x00, 0x04, 0, 0, 0, 0};
    SendUnified(Unified(0x16, {17, 0, 0, 0}, {{0x01, head}, {0x0A, ssids}, {0x0B, bssid}, {0x0C, channels}}));
    AdvanceMs(500);
    const ScanEngineRecord r = engine_->Record();
    ASSERT_EQ(r.scans.size(), 1u);
    ASSERT_EQ(r.scans[0].visits.size(), 3u);
    EXPECT_EQ(Ms(r.scans[0].visits[1].end), 130);
    const std::vector<RxView> got = Delivered();  // third-generation descriptors
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].channelByte, 6);
    const std::vector<Bytes> events = host_.Events();
    ASSERT_EQ(events.size(), 1u);
    const Bytes& e = events[0];
    // 32-byte descriptor, 12-byte header (id 0x0E, unified option), fixed part, tag 1, tag 2.
    EXPECT_EQ(e[32 + 4], 0x0E);
    EXPECT_EQ(e[32 + 6] & 0x02, 0x02);
    EXPECT_EQ(sim::air::Le16(e.data() + 32), e.size() - 32);
    const Bytes body(e.begin() + 44, e.end());
    EXPECT_EQ(body[0], 17);
    EXPECT_EQ(Bytes(body.begin() + 4, body.begin() + 12), (Bytes{1, 0, 8, 0, 0, 0, 0, 3}));
    EXPECT_EQ(sim::air::Le16(body.data() + 12), 2);
    EXPECT_EQ(sim::air::Le16(body.data() + 14), 4 + 4 + 3 * 8);
    EXPECT_EQ(body[16], 3);
    const Bytes six(body.begin() + 20 + 8, body.begin() + 20 + 16);
    EXPECT_EQ(six, (Bytes{6, 1, 1, 0, 2, 0, 0, 0})) << "channel, band, active, -, u16 frames";

    // The unified abort: command 0x16, tag 2, the scan's number in the fixed part.
    host_.events.clear();
    SendUnified(Unified(0x16, {18, 0, 0, 0}, {{0x01, head}, {0x0C, channels}}));
    AdvanceMs(5);
    SendUnified(Unified(0x16, {18, 0, 0, 0}, {{0x02, {0, 0, 0, 0}}}));
    EXPECT_FALSE(engine_->Scanning());
    const std::vector<Bytes> aborted = host_.Events();
    ASSERT_EQ(aborted.size(), 1u);
    EXPECT_EQ(aborted[0][44], 18);
    EXPECT_EQ(aborted[0][44 + 9], 1) << "aborted";
}

TEST_F(ScanEngineTest, AFullScanTakesTheDomainsChannelsAndItsPassiveMarks)
{
    Make(Generation::Second);
    // Domain, list form: country, counts 2 / 2 / 1 at bytes 8-10, then {u16 channel, u16 0, u32 flags}.
    Bytes domain(12, 0);
    domain[0] = 'U';
    domain[1] = 'S';
    domain[8] = 2;
    domain[9] = 2;
    domain[10] = 1;
    auto entry = [&](uint16_t ch, uint32_t flags) {
        Bytes e(8, 0);
        Put16(e, 0, ch);
        Put32(e, 4, flags);
        domain.insert(domain.end(), e.begin(), e.end());
    };
    entry(1, 0);
    entry(6, 0);
    entry(36, 0);
    entry(149, 2);  // passive
    entry(37, 0);
    Send(0x0F, domain);
    ScanV2 all;
    all.channels = {};
    Send(0x03, all.Payload());
    AdvanceMs(1000);
    ScanEngineRecord r = engine_->Record();
    ASSERT_TRUE(r.domain);
    EXPECT_EQ(r.domain->country, "US");
    ASSERT_EQ(r.scans.size(), 1u);
    std::vector<std::pair<uint8_t, bool>> visits;
    for (const auto& v : r.scans[0].visits) {
        visits.push_back({v.channel.number, v.active});
    }
    EXPECT_EQ(visits, (std::vector<std::pair<uint8_t, bool>>{{1, true}, {6, true}, {36, true}, {149, false}, {37, true}}));

    struct Type {
        uint8_t type;
        std::vector<uint8_t> channels;
    } types[] = {{1, {1, 6}}, {2, {36, 149}}, {3, {1, 6}}};
    uint8_t seq = 2;
    for (const Type& t : types) {
        engine_->ClearRecord();
        ScanV2 s;
        s.seq = seq++;
        s.channelType = t.type;
        Send(0x03, s.Payload());
        AdvanceMs(1000);
        r = engine_->Record();
        ASSERT_EQ(r.scans.size(), 1u);
        std::vector<uint8_t> got;
        for (const auto& v : r.scans[0].visits) {
            got.push_back(v.channel.number);
        }
        EXPECT_EQ(got, t.channels) << "channel type " << int(t.type);
    }

    // The plan form (104 bytes): sub-bands {class, band, spacing, first, count}; radar from the channel.
    Bytes plan(104, 0);
    plan[0] = 'D';
    plan[1] = 'E';
    const uint8_t subbands[][5] = {{81, 1, 1, 1, 3}, {118, 2, 4, 52, 2}};
    for (size_t i = 0; i < 2; ++i) {
        std::copy(subbands[i], subbands[i] + 5, plan.begin() + 4 + 8 * i);
    }
    Send(0x0F, plan);
    engine_->ClearRecord();
    ScanV2 s;
    s.seq = 9;
    Send(0x03, s.Payload());
    AdvanceMs(1000);
    r = engine_->Record();
    ASSERT_EQ(r.scans.size(), 1u);
    visits.clear();
    for (const auto& v : r.scans[0].visits) {
        visits.push_back({v.channel.number, v.active});
    }
    EXPECT_EQ(visits, (std::vector<std::pair<uint8_t, bool>>{{1, true}, {2, true}, {3, true}, {52, false}, {56, false}}));
}

TEST_F(ScanEngineTest, TheScanDoneWaitsForTheHostToTakeTheScansFramesAndFramesWithoutRoomAreLost)
{
    Make(Generation::Second);
    host_.framesTaken = false;
    ScanV2 scan;
    scan.channels = {{1, 6}};
    Send(0x03, scan.Payload());
    AdvanceMs(110);
    EXPECT_TRUE(host_.Events().empty()) << "the frame ring still holds the scan's frames";
    AdvanceMs(10);
    EXPECT_TRUE(host_.Events().empty());
    {
        std::lock_guard<std::mutex> lock(host_.mutex);
        host_.framesTaken = true;
    }
    AdvanceMs(1);
    EXPECT_EQ(host_.Events().size(), 1u);

    // Never taken: the scan done goes out after 50 checks 1 ms apart anyway.
    host_.framesTaken = false;
    host_.refuseFrames = true;
    scan.seq = 2;
    Send(0x03, scan.Payload());
    AdvanceMs(110 + 49);
    EXPECT_EQ(host_.Events().size(), 1u);
    AdvanceMs(1);
    EXPECT_EQ(host_.Events().size(), 2u);
    EXPECT_EQ(engine_->Record().framesRefused, 2u) << "the second scan's two frames found no room";
}

TEST_F(ScanEngineTest, ACommandThatOverrunsItsRoomIsAFaultAndIsCutToTheRoom)
{
    Make(Generation::Second);
    Bytes p = ScanV2{}.Payload();
    p[4] = 9;            // SSIDs: room for 4
    Put16(p, 224, 700);  // extra elements: room for 600
    p[158] = 4;
    p[159] = 70;         // channels: room for 64
    for (size_t i = 0; i < 32; ++i) {
        p[160 + 2 * i] = 1;
        p[161 + 2 * i] = static_cast<uint8_t>(1 + i % 11);
    }
    Send(0x03, p);
    Send(0x03, Bytes(100, 0));  // far too short: not scanned
    AdvanceMs(2000);
    const ScanEngineRecord r = engine_->Record();
    ASSERT_EQ(r.scans.size(), 1u);
    EXPECT_EQ(r.scans[0].request.ssids.size(), 4u);
    EXPECT_EQ(r.scans[0].request.extraIes.size(), 600u);
    EXPECT_EQ(r.scans[0].request.channels.size(), 32u);
    std::string faults;
    for (const std::string& f : r.faults) {
        faults += f + "\n";
    }
    EXPECT_NE(faults.find("9 SSIDs"), std::string::npos) << faults;
    EXPECT_NE(faults.find("700 bytes of extra elements"), std::string::npos) << faults;
    EXPECT_NE(faults.find("70 channels"), std::string::npos) << faults;
    EXPECT_NE(faults.find("100 bytes"), std::string::npos) << faults;
}

TEST_F(ScanEngineTest, TheOffloadWakesTheHostWithTheFramesOfANetworkItAskedForThenStops)
{
    Make(Generation::Second);
    Bytes nlo(1224, 0);
    nlo[0] = 2;
    nlo[1] = 33;  // sequence number
    nlo[2] = 1;
    nlo[3] = nlo[4] = 1;
    const std::string ssid = "CoffeeShop";
    std::copy(ssid.begin(), ssid.end(), nlo.begin() + 368 + 4);
    nlo[368 + 36] = static_cast<uint8_t>(ssid.size());
    nlo[1008] = 4;
    nlo[1009] = 2;
    nlo[1012] = 1;
    nlo[1013] = 1;
    nlo[1014] = 1;
    nlo[1015] = 6;
    Put32(nlo, 1164, 5);  // a scan every 5 s
    Send(0x62, nlo);
    Send(0x61, {0, 0, 0, 0});
    AdvanceMs(300);
    const std::vector<RxView> got = Delivered();
    ASSERT_FALSE(got.empty());
    for (const RxView& v : got) {
        EXPECT_TRUE(v.wake);
        EXPECT_EQ(SsidOf(v.frame), "CoffeeShop");
    }
    const std::vector<Bytes> events = host_.Events();
    ASSERT_EQ(events.size(), 1u) << "no scan done for an offload scan, one offload event";
    EXPECT_EQ(LegacyPayload(events[0], 0x23), (Bytes{33, 1, 0, 0}));
    EXPECT_FALSE(engine_->Record().nloRunning);

    // A network that is not there: nothing reaches the host, and the offload looks again 5 s later.
    std::fill(nlo.begin() + 368, nlo.begin() + 408, 0);
    nlo[368 + 4] = 'X';
    nlo[368 + 36] = 1;
    host_.frames.clear();
    Send(0x62, nlo);
    Send(0x61, {0, 0, 0, 0});
    AdvanceMs(5200);
    EXPECT_TRUE(host_.Frames().empty());
    EXPECT_EQ(engine_->Record().nloScans, 2u + 1u);
    Send(0x61, {1, 0, 0, 0});
    AdvanceMs(20000);
    EXPECT_EQ(engine_->Record().nloScans, 3u);
}

TEST_F(ScanEngineTest, AfterAChannelGrantTheRadioStaysOnThatChannelOutsideScans)
{
    Make(Generation::Second);
    // Channel privilege request: BSS 0, token 1, request, primary 6, offset 0, band 1.
    Bytes grant(24, 0);
    grant[1] = 1;
    grant[3] = 6;
    grant[5] = 1;
    Send(0x1C, grant);
    AdvanceMs(1000);
    EXPECT_EQ(host_.Frames().size(), 10u) << "CoffeeShop's beacons of one second";
    ScanV2 scan;
    scan.channels = {{1, 1}};
    Send(0x03, scan.Payload());
    AdvanceMs(20);
    const size_t afterScan = host_.Frames().size();
    EXPECT_LE(afterScan, 10u + 1u);
    AdvanceMs(1000);
    EXPECT_GE(host_.Frames().size(), afterScan + 9) << "back on channel 6 after the scan";
    for (const RxView& v : Delivered()) {
        EXPECT_EQ(v.channelByte, 6);
    }
}

TEST_F(ScanEngineTest, OnlyFramesForAGroupOrForTheChipsOwnAddressesReachTheHost)
{
    Make(Generation::Second, "");
    auto probeResponseTo = [](const Mac& to) {
        Bytes f = sim::air::MgmtHeader(sim::air::kFcProbeResp, to, M("02:00:00:00:77:01"), M("02:00:00:00:77:01"), 1);
        f.resize(36, 0);
        sim::air::PutElement(f, 0, B("x"));
        return f;
    };
    // An address the host gave a BSS (legacy BSS activation: BSS 1, active, own MAC index 0, address).
    const Mac other = M("02:aa:bb:cc:dd:ee");
    Bytes activate(12, 0);
    activate[0] = 1;
    activate[1] = 1;
    std::copy(other.begin(), other.end(), activate.begin() + 4);
    Send(0x11, activate);
    world_->AddFrames({{{Band::B2G4, 6}, -50, probeResponseTo(kOwn)},
                       {{Band::B2G4, 6}, -50, probeResponseTo(other)},
                       {{Band::B2G4, 6}, -50, probeResponseTo(M("02:00:00:00:00:99"))},
                       {{Band::B2G4, 6}, -50, probeResponseTo(sim::air::kBroadcast)}});
    ScanV2 scan;
    scan.channels = {{1, 6}};
    scan.type = 0;
    Send(0x03, scan.Payload());
    AdvanceMs(200);
    std::vector<Mac> to;
    for (const RxView& v : Delivered()) {
        to.push_back(sim::air::MacAt(v.frame.data() + 4));
    }
    EXPECT_EQ(to, (std::vector<Mac>{kOwn, other, sim::air::kBroadcast}));
    EXPECT_EQ(engine_->Record().framesFiltered, 1u);
}

}  // namespace
}  // namespace airtest
