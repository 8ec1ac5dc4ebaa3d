// The air's building blocks: channels and their numbers, the element reader, the timeline on the
// manual clock, and the medium's delivery rules.
#include "air_support.h"

#include <atomic>

#include "air/medium.h"
#include "air/timeline.h"

namespace airtest {
namespace {

using sim::air::Element;
using sim::air::ElementReader;

TEST(AirChannels, FrequenciesCentresAndOperatingClassesFollowTheBandPlans)
{
    struct Row {
        Band band;
        uint8_t channel;
        uint32_t mhz;
    } rows[] = {
        {Band::B2G4, 1, 2412},  {Band::B2G4, 13, 2472}, {Band::B2G4, 14, 2484}, {Band::B5G, 36, 5180},
        {Band::B5G, 144, 5720}, {Band::B5G, 165, 5825}, {Band::B5G, 177, 5885}, {Band::B6G, 1, 5955},
        {Band::B6G, 2, 5935},   {Band::B6G, 33, 6115},  {Band::B6G, 233, 7115},
    };
    for (const Row& r : rows) {
        const Channel c{r.band, r.channel};
        EXPECT_EQ(sim::air::FrequencyMhz(c), r.mhz) << int(r.channel);
        EXPECT_EQ(sim::air::ChannelOfFrequency(r.mhz), c) << r.mhz;
    }
    for (uint32_t mhz : {2400u, 2417u + 1, 5170u, 5945u, 7120u}) {
        EXPECT_FALSE(sim::air::ChannelOfFrequency(mhz)) << mhz;
    }
    EXPECT_FALSE(sim::air::ValidChannel({Band::B5G, 38}));
    EXPECT_FALSE(sim::air::ValidChannel({Band::B6G, 3}));
    EXPECT_FALSE(sim::air::ValidChannel({Band::B2G4, 15}));

    struct Width {
        Band band;
        uint8_t channel;
        unsigned width;
        uint8_t centre;
        uint8_t opClass;
    } widths[] = {
        {Band::B2G4, 1, 40, 3, 83},   {Band::B2G4, 11, 40, 9, 84},   {Band::B2G4, 6, 20, 6, 81},
        {Band::B2G4, 14, 20, 14, 82}, {Band::B5G, 36, 20, 36, 115},  {Band::B5G, 40, 40, 38, 117},
        {Band::B5G, 36, 80, 42, 128}, {Band::B5G, 64, 80, 58, 128},  {Band::B5G, 100, 160, 114, 129},
        {Band::B5G, 149, 80, 155, 128}, {Band::B5G, 165, 80, 171, 128}, {Band::B5G, 100, 20, 100, 121},
        {Band::B5G, 149, 20, 149, 124}, {Band::B5G, 165, 20, 165, 125}, {Band::B6G, 33, 80, 39, 133},
        {Band::B6G, 37, 160, 47, 134},  {Band::B6G, 1, 320, 31, 137},  {Band::B6G, 5, 20, 5, 131},
    };
    for (const Width& w : widths) {
        const Channel c{w.band, w.channel};
        EXPECT_TRUE(sim::air::ValidWidth(c, w.width)) << int(w.channel) << "/" << w.width;
        EXPECT_EQ(sim::air::CentreChannel(c, w.width), w.centre) << int(w.channel) << "/" << w.width;
        EXPECT_EQ(sim::air::OperatingClass(c, w.width), w.opClass) << int(w.channel) << "/" << w.width;
    }
    EXPECT_FALSE(sim::air::ValidWidth({Band::B2G4, 14}, 40));
    EXPECT_FALSE(sim::air::ValidWidth({Band::B5G, 132}, 160));
    EXPECT_FALSE(sim::air::ValidWidth({Band::B6G, 225}, 80));
    EXPECT_FALSE(sim::air::ValidWidth({Band::B6G, 193}, 320));
    EXPECT_TRUE(sim::air::IsPsc({Band::B6G, 37}));
    EXPECT_FALSE(sim::air::IsPsc({Band::B6G, 33}));
    EXPECT_TRUE(sim::air::IsDfs({Band::B5G, 100}));
    EXPECT_FALSE(sim::air::IsDfs({Band::B5G, 149}));
}

TEST(AirElements, TheReaderYieldsWholeElementsOnlyAndReportsWhatDoesNotFit)
{
    // The short SSID is the CRC-32 of the FCS; its check value is that of "123456789".
    const std::string check = "123456789";
    EXPECT_EQ(sim::air::ShortSsid(reinterpret_cast<const uint8_t*>(check.data()), check.size()), 0xCBF43926u);

    struct Row {
        const char* what;
        Bytes run;
        std::vector<uint8_t> ids;
        bool malformed;
    } rows[] = {
        {"two whole elements", {0, 2, 'h', 'i', 3, 1, 6}, {0, 3}, false},
        {"one trailing byte", {0, 0, 1}, {0}, true},
        {"length past the end", {0, 1, 'x', 1, 8, 2, 4}, {0}, true},
        {"extension element without its id", {0, 0, 255, 0}, {0}, true},
        {"extension element", {255, 3, 35, 0xAA, 0xBB}, {255}, false},
        {"empty run", {}, {}, false},
    };
    for (const Row& r : rows) {
        ElementReader reader(r.run.data(), r.run.size());
        Element e;
        std::vector<uint8_t> ids;
        while (reader.Next(&e)) {
            ids.push_back(e.id);
            if (e.id == 255) {
                EXPECT_EQ(e.extId, 35);
                EXPECT_EQ(e.length, 2u);
            }
        }
        EXPECT_EQ(ids, r.ids) << r.what;
        EXPECT_EQ(reader.Malformed(), r.malformed) << r.what;
    }
}

class AirTimeline : public ManualClock {};

TEST_F(AirTimeline, ItemsRunInTimeOrderWhenTheClockReachesThemAndNotBefore)
{
    sim::air::Timeline t;
    std::mutex m;
    std::vector<std::pair<int, int64_t>> ran;
    auto note = [&](int id) {
        return [&, id](int64_t due) {
            std::lock_guard<std::mutex> lock(m);
            ran.push_back({id, due - start_});
        };
    };
    t.At(start_ + 30 * 10000, note(3));
    t.At(start_ + 10 * 10000, note(1));
    const auto cancelled = t.At(start_ + 20 * 10000, note(99));
    t.At(start_ + 20 * 10000, [&](int64_t due) {
        note(2)(due);
        t.At(due - 1, note(4));  // already due: runs within the same advance
    });
    EXPECT_TRUE(t.Cancel(cancelled));
    EXPECT_FALSE(t.Cancel(cancelled));
    AdvanceMs(9);
    {
        std::lock_guard<std::mutex> lock(m);
        EXPECT_TRUE(ran.empty());
    }
    AdvanceMs(11);
    {
        std::lock_guard<std::mutex> lock(m);
        EXPECT_EQ(ran, (std::vector<std::pair<int, int64_t>>{{1, 100000}, {2, 200000}, {4, 199999}}));
    }
    AdvanceMs(10);
    std::lock_guard<std::mutex> lock(m);
    ASSERT_EQ(ran.size(), 4u);
    EXPECT_EQ(ran.back(), (std::pair<int, int64_t>{3, 300000}));
    EXPECT_EQ(t.Pending(), 0u);
}

// A device on the medium that keeps what it receives.
struct Ear : sim::air::Party {
    explicit Ear(Channel c) : channel(c) {}
    bool Hears(Channel c, int64_t) const override { return c == channel; }
    void Receive(const Bytes& frame, const sim::air::Reception& rx) override
    {
        std::lock_guard<std::mutex> lock(m);
        got.push_back({frame, rx});
    }
    bool IsDevice() const override { return true; }
    Channel channel;
    std::mutex m;
    std::vector<std::pair<Bytes, sim::air::Reception>> got;
};

struct Capture : sim::air::CaptureSink {
    void Captured(const Bytes& frame, Channel c, int64_t time, std::optional<int8_t> signal) override
    {
        std::lock_guard<std::mutex> lock(m);
        frames.push_back({c, signal});
    }
    std::mutex m;
    std::vector<std::pair<Channel, std::optional<int8_t>>> frames;
};

class AirMedium : public ManualClock {};

TEST_F(AirMedium, AListenerGetsTheBeaconsOfItsChannelInTimeOrderWithEachPeersSignal)
{
    auto ap = [&](const char* bssid, uint8_t channel, int8_t signal, int tbtt) {
        sim::air::ApConfig c;
        c.ssid = B("n");
        c.bssid = M(bssid);
        c.channel = {Band::B2G4, channel};
        c.signalDbm = signal;
        c.chainOffsets = {0, -3, 0, 0};
        c.tbttOffsetTu = tbtt;
        return std::make_unique<sim::air::AccessPoint>(c, start_);
    };
    sim::air::Medium air;
    auto near = ap("02:00:00:00:00:01", 6, -40, 50);
    auto far = ap("02:00:00:00:00:02", 6, -70, 10);
    auto faint = ap("02:00:00:00:00:03", 6, -100, 20);
    auto elsewhere = ap("02:00:00:00:00:04", 1, -40, 30);
    for (auto* p : {near.get(), far.get(), faint.get(), elsewhere.get()}) {
        air.Join(p);
        p->SetMedium(&air);
    }
    auto capture = std::make_shared<Capture>();
    air.SetCapture(capture);
    Ear ear({Band::B2G4, 6});
    air.Join(&ear);
    air.Listen(&ear, {Band::B2G4, 6}, start_, start_ + 205 * sim::air::kUnitsPerTu);

    // TBTTs 10, 110 (far) and 50, 150 (near); -100 dBm is below what a radio hears.
    ASSERT_EQ(ear.got.size(), 4u);
    const int64_t tu = sim::air::kUnitsPerTu;
    const std::vector<int64_t> times = {10 * tu, 50 * tu, 110 * tu, 150 * tu};
    const std::vector<int8_t> signals = {-70, -40, -70, -40};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(ear.got[i].second.time - start_, times[i]);
        EXPECT_EQ(ear.got[i].second.signalDbm, signals[i]);
        EXPECT_EQ(ear.got[i].second.chainDbm[1], signals[i] - 3);
    }
    ASSERT_EQ(capture->frames.size(), 4u);
    EXPECT_EQ(capture->frames[0].second, std::optional<int8_t>(-70));
    air.Leave(&ear);
    for (auto* p : {near.get(), far.get(), faint.get(), elsewhere.get()}) {
        air.Leave(p);
    }
}

}  // namespace
}  // namespace airtest
