// Block ack on the access point's side: a station's ADDBA request is answered, the access point's own
// requests and Block Ack Requests go out as 802.11 writes them, and the reordered stream plan sends
// every number of the stream inside the window, with duplicates, gaps filled later and the wrap.
#include <map>
#include <set>

#include "air/ap_blockack.h"
#include "air_support.h"

namespace airtest {
namespace {

using sim::air::AccessPoint;
using sim::air::ApConfig;

const Mac kStationMac = M("00:0c:43:35:00:01");

ApConfig Open()
{
    ApConfig c;
    c.ssid = B("ba");
    c.bssid = M("02:00:00:0b:a0:01");
    c.channel = {Band::B2G4, 6};
    return c;
}

class AirBlockAck : public ManualClock {};

struct Station : sim::air::Party {
    bool Hears(Channel c, int64_t) const override { return c == Channel{Band::B2G4, 6}; }
    void Receive(const Bytes& f, const sim::air::Reception&) override
    {
        if (!f.empty() && f[0] != 0x80) {  // beacons aside
            got.push_back(f);
        }
    }
    bool IsDevice() const override { return true; }
    std::vector<Bytes> got;
};

TEST_F(AirBlockAck, AStationsAddbaRequestIsAcceptedWithAWindowOfAtMost64)
{
    sim::air::Medium air;
    AccessPoint ap(Open(), start_);
    ap.SetMedium(&air);
    air.Join(&ap);
    Station station;
    air.Join(&station);
    struct Row {
        uint8_t tid;
        uint16_t asked;
        uint16_t given;
    };
    const Row rows[] = {{0, 32, 32}, {5, 64, 64}, {6, 256, 64}, {7, 0, 64}};
    uint8_t token = 10;
    for (const Row& r : rows) {
        station.got.clear();
        const Bytes request = sim::air::AddbaRequestFrame(ap.Bssid(), kStationMac, ap.Bssid(), ++token, r.tid,
                                                          r.asked, 0, 100, 1);
        // Category 3, action 0, token, parameter set, time-out, starting sequence control.
        ASSERT_EQ(request.size(), 24u + 9u);
        EXPECT_EQ(request[24], 3);
        EXPECT_EQ(request[25], 0);
        EXPECT_EQ(sim::air::Le16(request.data() + 27), 0x0003 | (r.tid << 2) | ((r.asked & 0x3FF) << 6));
        EXPECT_EQ(sim::air::Le16(request.data() + 31), 100 << 4);
        air.Transmit(&station, {Band::B2G4, 6}, start_ + sim::air::kUnitsPerMs, request);
        ASSERT_EQ(station.got.size(), 1u) << int(r.tid);
        const Bytes& answer = station.got[0];
        EXPECT_EQ(sim::air::MacAt(answer.data() + 4), kStationMac);
        std::optional<sim::air::AddbaFields> f = sim::air::ReadAddba(answer.data(), answer.size());
        ASSERT_TRUE(f.has_value());
        EXPECT_EQ(f->action, 1);
        EXPECT_EQ(f->token, token);
        EXPECT_EQ(f->status, 0);
        EXPECT_EQ(f->tid, r.tid);
        EXPECT_EQ(f->window, r.given);
    }
    EXPECT_EQ(ap.GetRecord().addbaRequests, 4u);
    EXPECT_EQ(ap.BlockAckAgreements(false).size(), 4u);
    EXPECT_EQ((ap.BlockAckAgreements(false).at({kStationMac, 6})), 64);

    // The access point's own request, the station's answer, and a Block Ack Request.
    station.got.clear();
    ap.SendAddba(kStationMac, 3, 4000, 64, start_ + 2 * sim::air::kUnitsPerMs);
    ASSERT_EQ(station.got.size(), 1u);
    std::optional<sim::air::AddbaFields> req = sim::air::ReadAddba(station.got[0].data(), station.got[0].size());
    ASSERT_TRUE(req.has_value());
    EXPECT_EQ(req->action, 0);
    EXPECT_EQ(req->tid, 3);
    EXPECT_EQ(req->window, 64);
    EXPECT_EQ(req->startSequence, 4000);
    air.Transmit(&station, {Band::B2G4, 6}, start_ + 3 * sim::air::kUnitsPerMs,
                 sim::air::AddbaResponseFrame(ap.Bssid(), kStationMac, ap.Bssid(), req->token, 0, 3, 48, 0, 2));
    EXPECT_EQ(ap.GetRecord().addbaResponses, 1u);
    EXPECT_EQ((ap.BlockAckAgreements(true).at({kStationMac, 3})), 48);
    station.got.clear();
    ap.SendBar(kStationMac, 3, 4095, start_ + 4 * sim::air::kUnitsPerMs);
    ASSERT_EQ(station.got.size(), 1u);
    EXPECT_EQ(station.got[0], (Bytes{0x84, 0, 0, 0, 0x00, 0x0c, 0x43, 0x35, 0x00, 0x01, 0x02, 0x00, 0x00, 0x0b, 0xa0,
                                     0x01, 0x04, 0x30, 0xF0, 0xFF}));
    air.Leave(&station);
    air.Leave(&ap);
}

// Every number is sent, each burst stays inside the window it started, the held-back numbers of a
// burst close it, about the asked share is sent twice and the numbers wrap from 4095 to 0.
TEST_F(AirBlockAck, TheReorderedStreamSendsEveryNumberInsideTheWindow)
{
    sim::air::StreamPlan plan;
    plan.start = 4000;
    plan.count = 10000;
    plan.burst = 32;
    plan.holdBack = 3;
    plan.duplicatePerMille = 50;
    plan.seed = 7;
    const std::vector<sim::air::StreamFrame> frames = sim::air::PlanReorderedStream(plan);
    std::map<uint32_t, unsigned> sent;
    bool wrapped = false;
    uint32_t burstStart = 0;
    size_t outOfOrder = 0;
    uint32_t last = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        const sim::air::StreamFrame& f = frames[i];
        EXPECT_EQ(f.seq, (4000 + f.tag) & 0xFFF);
        EXPECT_LT(f.tag, 10000u);
        burstStart = f.tag / 32 * 32;
        EXPECT_LT(f.tag - burstStart, 64u) << "inside the window of its burst";
        if (i > 0 && f.tag < last) {
            ++outOfOrder;
        }
        last = f.tag;
        wrapped = wrapped || (i > 0 && f.seq < frames[i - 1].seq && frames[i - 1].seq > 4000 && f.seq < 100);
        ++sent[f.tag];
    }
    ASSERT_EQ(sent.size(), 10000u) << "every number of the stream";
    size_t twice = 0;
    for (const auto& [tag, n] : sent) {
        EXPECT_LE(n, 2u);
        twice += n == 2 ? 1 : 0;
    }
    EXPECT_GT(twice, 300u);
    EXPECT_LT(twice, 700u);
    EXPECT_GT(outOfOrder, 1000u);
    EXPECT_TRUE(wrapped);
    // The bursts never reach back: a number below the burst in flight never comes after it.
    std::set<uint32_t> done;
    for (const sim::air::StreamFrame& f : frames) {
        const uint32_t burst = f.tag / 32;
        EXPECT_TRUE(done.empty() || *done.rbegin() <= burst);
        done.insert(burst);
    }
}

}  // namespace
}  // namespace airtest
