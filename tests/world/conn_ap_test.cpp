// Access points that accept stations: authentication (open system, shared key), association and
// reassociation with the status the world sets, the frames an access point sends on its own
// timeline (deauthentication, disassociation, a channel switch with its countdown, vanishing,
// narrower operation, a fading signal), and two access points of one network for a roam. A test
// station on the medium sends the frames and reads the answers field by field and through tshark.
#include <set>
#include <sstream>

#include "air/air_support.h"

namespace airtest {
namespace {

using sim::air::AccessPoint;
using sim::air::ApConfig;
using sim::air::ApEvent;
using sim::air::ApEventKind;
using sim::air::Pmf;
using sim::air::Security;

const Mac kSta = {0x00, 0x0C, 0x43, 0x35, 0x00, 0x01};
const Mac kSta2 = {0x00, 0x0C, 0x43, 0x35, 0x00, 0x02};

// A station on the air: it sends the frames a test gives it and keeps what reaches it.
class TestStation : public sim::air::Party {
public:
    TestStation(sim::air::Medium& air, Channel channel) : air_(air), channel_(channel) { air_.Join(this); }
    ~TestStation() override { air_.Leave(this); }

    void Tune(Channel c)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        channel_ = c;
    }
    void Send(const Bytes& frame)
    {
        Channel c;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            c = channel_;
        }
        air_.Transmit(this, c, kshim::host::ClockNow(), frame);
    }
    struct Heard {
        int64_t time;
        Channel channel;
        Bytes frame;
    };
    // Frames other than beacons and probe responses.
    std::vector<Heard> Got()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return got_;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        got_.clear();
    }

    bool Hears(Channel c, int64_t) const override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return c == channel_;
    }
    void Receive(const Bytes& frame, const sim::air::Reception& rx) override
    {
        const uint16_t fc = sim::air::Le16(frame.data());
        if (fc == sim::air::kFcBeacon || fc == sim::air::kFcProbeResp) {
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        got_.push_back({rx.time, rx.channel, frame});
    }

private:
    sim::air::Medium& air_;
    mutable std::mutex mutex_;
    Channel channel_;
    std::vector<Heard> got_;
};

// An access point and a station on a medium of their own (the station on the access point's channel).
struct OnAir {
    OnAir(const ApConfig& c, int64_t epoch) : ap(c, epoch), sta(air, c.channel)
    {
        ap.SetMedium(&air);
        air.Join(&ap);
    }
    AccessPoint ap;
    sim::air::Medium air;
    TestStation sta;
};

ApEvent Event(int64_t atMs, ApEventKind kind, uint16_t reason = 0)
{
    ApEvent e;
    e.at = atMs;
    e.kind = kind;
    e.reason = reason;
    return e;
}

ApConfig Guest()
{
    ApConfig c;
    c.name = "guest";
    c.ssid = B("Guest");
    c.bssid = M("02:00:00:05:95:01");
    c.channel = {Band::B5G, 149};
    c.widthMhz = 80;
    c.ht = c.vht = c.he = true;
    c.tbttOffsetTu = 10;
    return c;
}

Bytes Auth(const Mac& from, const Mac& bssid, uint16_t algorithm, uint16_t seq, uint16_t status = 0)
{
    Bytes f = sim::air::MgmtHeader(sim::air::kFcAuth, bssid, from, bssid, 7);
    sim::air::PutLe16(f, algorithm);
    sim::air::PutLe16(f, seq);
    sim::air::PutLe16(f, status);
    return f;
}

Bytes AssocRequest(const Mac& from, const Mac& bssid, const std::string& ssid, const Mac* current = nullptr)
{
    Bytes f = sim::air::MgmtHeader(current != nullptr ? sim::air::kFcReassocReq : sim::air::kFcAssocReq, bssid, from,
                                   bssid, 8);
    sim::air::PutLe16(f, 0x0011);  // ESS, privacy off
    sim::air::PutLe16(f, 10);      // listen interval
    if (current != nullptr) {
        f.insert(f.end(), current->begin(), current->end());
    }
    sim::air::PutElement(f, 0, B(ssid));
    sim::air::PutElement(f, 1, {0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C});
    return f;
}

struct Answer {
    uint16_t fc = 0;
    Mac to{};
    Bytes body;  // after the 24-byte header
    uint16_t U16(size_t at) const { return sim::air::Le16(body.data() + at); }
};
Answer Read(const Bytes& f)
{
    Answer a;
    a.fc = sim::air::Le16(f.data());
    a.to = sim::air::MacAt(f.data() + 4);
    a.body.assign(f.begin() + 24, f.end());
    return a;
}

class WorldConnAp : public ManualClock {
protected:
    // Runs the AP's answers: they go out at once on the medium (stamped later); timeline events need the clock.
    void SendAndRead(TestStation& sta, const Bytes& frame, std::vector<Answer>* out)
    {
        const size_t before = sta.Got().size();
        sta.Send(frame);
        const auto got = sta.Got();
        for (size_t i = before; i < got.size(); ++i) {
            out->push_back(Read(got[i].frame));
        }
    }
    std::vector<Answer> Exchange(TestStation& sta, const Bytes& frame)
    {
        std::vector<Answer> out;
        SendAndRead(sta, frame, &out);
        return out;
    }
};

TEST_F(WorldConnAp, OpenSystemAuthenticationThenAssociationGivesAidsInTurnAndTheNetworksElements)
{
    OnAir apNet(Guest(), start_);
    AccessPoint& ap = apNet.ap;
    TestStation& sta = apNet.sta;
    TestStation other(apNet.air, {Band::B5G, 149});

    std::vector<Answer> a = Exchange(sta, Auth(kSta, ap.Bssid(), 0, 1));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].fc, 0x00B0);
    EXPECT_EQ(a[0].to, kSta);
    EXPECT_EQ(a[0].body, (Bytes{0, 0, 2, 0, 0, 0})) << "algorithm 0, sequence 2, status 0, nothing else";

    a = Exchange(sta, AssocRequest(kSta, ap.Bssid(), "Guest"));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].fc, 0x0010);
    EXPECT_EQ(a[0].U16(0), 0x0001) << "capability: ESS, open";
    EXPECT_EQ(a[0].U16(2), 0) << "status";
    EXPECT_EQ(a[0].U16(4), 0xC001) << "AID 1 with the two top bits set";
    // The elements of an association response, in order: rates, HT, extended capabilities, VHT, HE, WMM.
    std::vector<std::pair<int, int>> ids;
    sim::air::ElementReader reader(a[0].body.data() + 6, a[0].body.size() - 6);
    sim::air::Element e;
    while (reader.Next(&e)) {
        ids.push_back({e.id, e.id == 255 ? e.extId : -1});
    }
    EXPECT_FALSE(reader.Malformed());
    const std::vector<std::pair<int, int>> expected = {{1, -1},   {45, -1},  {61, -1}, {127, -1}, {191, -1},
                                                       {192, -1}, {255, 35}, {255, 36}, {221, -1}};
    EXPECT_EQ(ids, expected);

    // The second station gets AID 2; a reassociation of the first keeps AID 1.
    Exchange(other, Auth(kSta2, ap.Bssid(), 0, 1));
    a = Exchange(other, AssocRequest(kSta2, ap.Bssid(), "Guest"));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].U16(4), 0xC002);
    const Mac current = ap.Bssid();
    a = Exchange(sta, AssocRequest(kSta, ap.Bssid(), "Guest", &current));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].fc, 0x0030) << "a reassociation response";
    EXPECT_EQ(a[0].U16(4), 0xC001);

    // A station that deauthenticates is forgotten; its AID goes to the next one.
    Bytes deauth = sim::air::MgmtHeader(sim::air::kFcDeauth, ap.Bssid(), kSta, ap.Bssid(), 9);
    sim::air::PutLe16(deauth, 3);
    EXPECT_TRUE(Exchange(sta, deauth).empty());
    const auto stations = ap.Stations();
    ASSERT_EQ(stations.size(), 1u);
    EXPECT_EQ(stations[0].address, kSta2);
    const auto record = ap.GetRecord();
    EXPECT_EQ(record.authRequests, 2u);
    EXPECT_EQ(record.assocRequests, 2u);
    EXPECT_EQ(record.reassocRequests, 1u);
    EXPECT_EQ(record.deauthsReceived, 1u);
}

TEST_F(WorldConnAp, AnswersLeaveAfterTheAccessPointsFixedDelay)
{
    OnAir apNet(Guest(), start_);
    AccessPoint& ap = apNet.ap;
    TestStation& sta = apNet.sta;
    const int64_t sent = kshim::host::ClockNow();
    sta.Send(Auth(kSta, ap.Bssid(), 0, 1));
    const auto got = sta.Got();
    ASSERT_EQ(got.size(), 1u);
    // 0.3 ms to 1.2 ms after the request, as probe responses.
    EXPECT_GE(got[0].time - sent, 3000);
    EXPECT_LE(got[0].time - sent, 12000);
}

TEST_F(WorldConnAp, SharedKeySendsA128ByteChallengeAndTakesFrameThreeByItsLength)
{
    ApConfig c = Guest();
    c.security = Security::Wep;
    c.ht = c.vht = c.he = false;
    c.widthMhz = 20;
    c.authAlgorithms = {0, 1};
    OnAir apNet(c, start_);
    AccessPoint& ap = apNet.ap;
    TestStation& sta = apNet.sta;

    std::vector<Answer> a = Exchange(sta, Auth(kSta, ap.Bssid(), 1, 1));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].U16(0), 1);
    EXPECT_EQ(a[0].U16(2), 2);
    EXPECT_EQ(a[0].U16(4), 0);
    ASSERT_EQ(a[0].body.size(), 6u + 2 + 128);
    EXPECT_EQ(a[0].body[6], 16) << "the challenge text element";
    EXPECT_EQ(a[0].body[7], 128);

    // Frame 3, protected: IV (4), algorithm, sequence, status (6), the challenge element (130), ICV (4).
    struct Row {
        size_t length;
        uint16_t status;
    } rows[] = {{144, 0}, {143, 15}};
    for (const Row& r : rows) {
        Exchange(sta, Auth(kSta, ap.Bssid(), 1, 1));
        Bytes third = sim::air::MgmtHeader(sim::air::kFcAuth | 0x4000, ap.Bssid(), kSta, ap.Bssid(), 10);
        third.resize(24 + r.length, 0x5A);
        a = Exchange(sta, third);
        ASSERT_EQ(a.size(), 1u) << r.length;
        EXPECT_EQ(a[0].body, (Bytes{1, 0, 4, 0, static_cast<uint8_t>(r.status), 0})) << r.length;
    }
    // A protected frame with no challenge outstanding is not answered.
    Bytes stray = sim::air::MgmtHeader(sim::air::kFcAuth | 0x4000, ap.Bssid(), kSta, ap.Bssid(), 11);
    stray.resize(24 + 144, 0);
    EXPECT_TRUE(Exchange(sta, stray).empty());

    // An open access point without shared key refuses the algorithm: status 13.
    OnAir open(Guest(), start_);
    a = Exchange(open.sta, Auth(kSta, open.ap.Bssid(), 1, 1));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].body, (Bytes{1, 0, 2, 0, 13, 0}));
}

TEST_F(WorldConnAp, AssociationStatusesComeInTheOrderTheWorldGivesThem)
{
    ApConfig c = Guest();
    c.security = Security::Wpa2Psk;
    c.pmf = Pmf::Capable;
    c.assocStatus = {30, 17, 10, 0};
    c.comebackTu = 1500;
    OnAir apNet(c, start_);
    AccessPoint& ap = apNet.ap;
    TestStation& sta = apNet.sta;
    Exchange(sta, Auth(kSta, ap.Bssid(), 0, 1));
    const uint16_t statuses[] = {30, 17, 10, 0, 0};
    for (uint16_t want : statuses) {
        std::vector<Answer> a = Exchange(sta, AssocRequest(kSta, ap.Bssid(), "Guest"));
        ASSERT_EQ(a.size(), 1u);
        EXPECT_EQ(a[0].U16(2), want);
        EXPECT_EQ(a[0].U16(4), want == 0 ? 0xC001 : 0);
        std::optional<sim::air::Element> tie = sim::air::FindElement(a[0].body.data() + 6, a[0].body.size() - 6, 56);
        if (want == 30) {
            ASSERT_TRUE(tie) << "status 30 carries the association comeback time";
            EXPECT_EQ(Bytes(tie->body, tie->body + tie->length), (Bytes{3, 0xDC, 0x05, 0, 0}));
        } else {
            EXPECT_FALSE(tie) << want;
        }
    }
    // Another network's name: status 1. Before authentication: a deauthentication, reason 6.
    std::vector<Answer> a = Exchange(sta, AssocRequest(kSta, ap.Bssid(), "Other"));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].U16(2), 1);
    TestStation stranger(apNet.air, {Band::B5G, 149});
    a = Exchange(stranger, AssocRequest(kSta2, ap.Bssid(), "Guest"));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].fc, 0x00C0);
    EXPECT_EQ(a[0].to, kSta2);
    EXPECT_EQ(a[0].U16(0), 6);

    // Status 30 without protected management frames is not a world the file may describe.
    ApConfig bad = Guest();
    bad.assocStatus = {30};
    EXPECT_NE(sim::air::ValidateApConfig(bad).find("30"), std::string::npos);
}

TEST_F(WorldConnAp, SilentAndForgetfulAccessPointsLeaveRequestsUnanswered)
{
    ApConfig c = Guest();
    c.ignoreAuth = 2;
    c.ignoreAssoc = 1;
    OnAir apNet(c, start_);
    AccessPoint& ap = apNet.ap;
    TestStation& sta = apNet.sta;
    EXPECT_TRUE(Exchange(sta, Auth(kSta, ap.Bssid(), 0, 1)).empty());
    EXPECT_TRUE(Exchange(sta, Auth(kSta, ap.Bssid(), 0, 1)).empty());
    EXPECT_EQ(Exchange(sta, Auth(kSta, ap.Bssid(), 0, 1)).size(), 1u) << "the third attempt is answered";
    EXPECT_TRUE(Exchange(sta, AssocRequest(kSta, ap.Bssid(), "Guest")).empty());
    EXPECT_EQ(Exchange(sta, AssocRequest(kSta, ap.Bssid(), "Guest")).size(), 1u);
    EXPECT_EQ(ap.GetRecord().unanswered, 3u);

    c = Guest();
    c.silent = true;
    OnAir silent(c, start_);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(Exchange(silent.sta, Auth(kSta, silent.ap.Bssid(), 0, 1)).empty());
    }
    std::vector<sim::air::Emission> beacons;
    silent.ap.Scheduled(c.channel, start_, start_ + 300 * sim::air::kUnitsPerMs, &beacons);
    EXPECT_EQ(beacons.size(), 3u) << "a silent access point still beacons";
}

TEST_F(WorldConnAp, FramesTooShortForTheirFieldsOrLongerThanAnyManagementFrameAreDropped)
{
    OnAir apNet(Guest(), start_);
    AccessPoint& ap = apNet.ap;
    TestStation& sta = apNet.sta;
    Bytes shortAuth = Auth(kSta, ap.Bssid(), 0, 1);
    shortAuth.resize(24 + 5);
    Bytes shortAssoc = AssocRequest(kSta, ap.Bssid(), "Guest");
    shortAssoc.resize(24 + 3);
    Bytes shortReassoc = sim::air::MgmtHeader(sim::air::kFcReassocReq, ap.Bssid(), kSta, ap.Bssid(), 1);
    shortReassoc.resize(24 + 9);
    Bytes shortDeauth = sim::air::MgmtHeader(sim::air::kFcDeauth, ap.Bssid(), kSta, ap.Bssid(), 1);
    shortDeauth.push_back(3);
    Bytes huge = Auth(kSta, ap.Bssid(), 0, 1);
    huge.resize(24 + 2305, 0xDD);
    for (const Bytes& f : {shortAuth, shortAssoc, shortReassoc, shortDeauth, huge}) {
        EXPECT_TRUE(Exchange(sta, f).empty()) << f.size();
    }
    EXPECT_EQ(ap.GetRecord().dropped, 5u);
    // An association request whose elements run past its end answers as a request without an SSID.
    Exchange(sta, Auth(kSta, ap.Bssid(), 0, 1));
    Bytes lying = sim::air::MgmtHeader(sim::air::kFcAssocReq, ap.Bssid(), kSta, ap.Bssid(), 2);
    sim::air::PutLe16(lying, 1);
    sim::air::PutLe16(lying, 10);
    lying.insert(lying.end(), {0, 200, 'G', 'u'});
    std::vector<Answer> a = Exchange(sta, lying);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].U16(2), 1);
}

TEST_F(WorldConnAp, TheTimelineDeauthenticatesAndDisassociatesItsStationsAtTheirTime)
{
    ApConfig c = Guest();
    const ApEvent deauth = Event(800, ApEventKind::Deauth, 2);
    c.events = {Event(500, ApEventKind::Disassoc, 8), deauth};
    OnAir apNet(c, start_);
    AccessPoint& ap = apNet.ap;
    TestStation& sta = apNet.sta;
    Exchange(sta, Auth(kSta, ap.Bssid(), 0, 1));
    Exchange(sta, AssocRequest(kSta, ap.Bssid(), "Guest"));
    sta.Clear();

    AdvanceMs(499);
    EXPECT_TRUE(sta.Got().empty());
    AdvanceMs(1);
    auto got = sta.Got();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].time - start_, 500 * 10000);
    Answer a = Read(got[0].frame);
    EXPECT_EQ(a.fc, 0x00A0);
    EXPECT_EQ(a.to, kSta);
    EXPECT_EQ(a.U16(0), 8);
    ASSERT_EQ(ap.Stations().size(), 1u);
    EXPECT_EQ(ap.Stations()[0].state, sim::air::StationState::Authenticated);

    AdvanceMs(300);
    got = sta.Got();
    ASSERT_EQ(got.size(), 2u);
    a = Read(got[1].frame);
    EXPECT_EQ(a.fc, 0x00C0);
    EXPECT_EQ(a.U16(0), 2);
    EXPECT_TRUE(ap.Stations().empty());

    // With nobody to name the frame goes to everyone; an event added while the world runs too.
    ApEvent later = deauth;
    later.at = kshim::host::ClockNow() + 10 * 10000;
    later.reason = 3;
    ap.Schedule(later);
    AdvanceMs(10);
    got = sta.Got();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(Read(got[2].frame).to, sim::air::kBroadcast);
}

TEST_F(WorldConnAp, AChannelSwitchCountsDownInTheBeaconsThenTheAccessPointMoves)
{
    ApConfig c = Guest();
    c.channel = {Band::B5G, 36};
    // TBTTs every 102.4 ms from 10.24 ms: the first to announce is the 4th (317.44 ms).
    ApEvent sw = Event(250, ApEventKind::ChannelSwitch);
    sw.channel = 149;
    sw.count = 3;
    sw.mode = 1;
    c.events = {sw};
    AccessPoint ap(c, start_);
    const int64_t ms = sim::air::kUnitsPerMs;
    std::vector<sim::air::Emission> old36, new149;
    ap.Scheduled({Band::B5G, 36}, start_, start_ + 1000 * ms, &old36);
    ap.Scheduled({Band::B5G, 149}, start_, start_ + 1000 * ms, &new149);
    // Beacons 0-5 on 36 (3, 4 and 5 counting 3, 2, 1), from beacon 6 on 149 without the element.
    ASSERT_EQ(old36.size(), 6u);
    ASSERT_EQ(new149.size(), 4u);
    const std::optional<int> counts[] = {std::nullopt, std::nullopt, std::nullopt, 3, 2, 1};
    for (size_t k = 0; k < old36.size(); ++k) {
        std::optional<Bytes> csa = ElementOf(old36[k].frame, 36, 37);
        if (!counts[k]) {
            EXPECT_FALSE(csa) << k;
            continue;
        }
        ASSERT_TRUE(csa) << k;
        EXPECT_EQ(*csa, (Bytes{1, 149, static_cast<uint8_t>(*counts[k])})) << k;
    }
    EXPECT_EQ(new149[0].time - start_, (10 + 600) * 10240);
    EXPECT_FALSE(ElementOf(new149[0].frame, 36, 37));
    EXPECT_EQ(ElementOf(new149[0].frame, 36, sim::air::kEidHtOperation)->at(0), 149);
    // It hears where it is: before the switch on 36, after it on 149 (80 MHz fits 149-161).
    EXPECT_TRUE(ap.Hears({Band::B5G, 36}, start_ + 600 * ms));
    EXPECT_TRUE(ap.Hears({Band::B5G, 149}, start_ + 700 * ms));
    EXPECT_FALSE(ap.Hears({Band::B5G, 36}, start_ + 700 * ms));
    EXPECT_EQ(ap.StateAt(start_ + 700 * ms).widthMhz, 80u);
}

TEST_F(WorldConnAp, VanishingNarrowingAndFadingFollowTheTimeline)
{
    ApConfig c = Guest();
    c.signalDbm = -50;
    ApEvent fade = Event(100, ApEventKind::Signal);
    fade.signalDbm = -80;
    fade.rampMs = 300;
    ApEvent narrow = Event(200, ApEventKind::Width);
    narrow.widthMhz = 20;
    c.events = {fade, narrow, Event(600, ApEventKind::Vanish), Event(900, ApEventKind::Appear)};
    AccessPoint ap(c, start_);
    const int64_t ms = sim::air::kUnitsPerMs;
    struct Row {
        int64_t ms;
        int8_t signal;
    } rows[] = {{0, -50}, {100, -50}, {250, -65}, {400, -80}, {500, -80}};
    for (const Row& r : rows) {
        EXPECT_EQ(ap.PathSignalDbm(start_ + r.ms * ms), r.signal) << r.ms;
    }
    // HT operation: secondary channel offset and the 40 MHz bit go with the narrowing; VHT width 0.
    const Bytes wide = ap.BeaconAt(start_ + 150 * ms);
    const Bytes narrowed = ap.BeaconAt(start_ + 250 * ms);
    EXPECT_EQ(ElementOf(wide, 36, 61)->at(1), 0x05) << "secondary above, any width";
    EXPECT_EQ(ElementOf(narrowed, 36, 61)->at(1), 0x00);
    EXPECT_EQ(ElementOf(wide, 36, 192)->at(0), 1);
    EXPECT_EQ(ElementOf(narrowed, 36, 192)->at(0), 0);
    // Gone from 600 ms to 900 ms: no beacons, deaf.
    std::vector<sim::air::Emission> beacons;
    ap.Scheduled(c.channel, start_ + 500 * ms, start_ + 1100 * ms, &beacons);
    std::vector<int64_t> at;
    for (const auto& b : beacons) {
        at.push_back((b.time - start_) / 10240);
    }
    EXPECT_EQ(at, (std::vector<int64_t>{510, 910, 1010}));
    EXPECT_FALSE(ap.Hears(c.channel, start_ + 700 * ms));
    EXPECT_TRUE(ap.Hears(c.channel, start_ + 950 * ms));
}

TEST_F(WorldConnAp, TheWorldFileDescribesAnswersAndTimelineAndANetworkOfTwoAccessPointsForARoam)
{
    const char* text = R"(
[[ap]]
name = "hall"
ssid = "Roam"
bssid = "02:00:00:05:24:0a"
band = "5"
channel = 36
signal = -50
assoc_status = [17, 0]
[[ap.event]]
at_ms = 1000
action = "signal"
signal = -85
over_ms = 2000
[[ap.event]]
at_ms = 5000
action = "switch"
channel = 44
count = 3

[[ap]]
name = "lab"
ssid = "Roam"
bssid = "02:00:00:05:24:0b"
band = "5"
channel = 36
signal = -60
ignore_auth = 1
)";
    std::string error;
    std::unique_ptr<sim::air::World> world = sim::air::World::FromText(text, &error);
    ASSERT_TRUE(world) << error;
    AccessPoint* hall = world->FindAccessPoint(M("02:00:00:05:24:0a"));
    AccessPoint* lab = world->FindAccessPoint(M("02:00:00:05:24:0b"));
    ASSERT_TRUE(hall && lab);
    EXPECT_EQ(hall->Config().assocStatus, (std::vector<uint16_t>{17, 0}));
    EXPECT_EQ(lab->Config().ignoreAuth, 1u);
    EXPECT_EQ(hall->PathSignalDbm(world->Epoch() + 3000 * sim::air::kUnitsPerMs), -85);

    TestStation sta(world->Air(), {Band::B5G, 36});
    Exchange(sta, Auth(kSta, hall->Bssid(), 0, 1));
    EXPECT_EQ(Exchange(sta, AssocRequest(kSta, hall->Bssid(), "Roam"))[0].U16(2), 17);
    EXPECT_EQ(Exchange(sta, AssocRequest(kSta, hall->Bssid(), "Roam"))[0].U16(2), 0);
    ASSERT_EQ(hall->Stations().size(), 1u);
    // The roam: authentication with the second access point (its first attempt ignored), then a
    // reassociation naming the first; the first forgets the station.
    EXPECT_TRUE(Exchange(sta, Auth(kSta, lab->Bssid(), 0, 1)).empty());
    Exchange(sta, Auth(kSta, lab->Bssid(), 0, 1));
    const Mac current = hall->Bssid();
    std::vector<Answer> a = Exchange(sta, AssocRequest(kSta, lab->Bssid(), "Roam", &current));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].fc, 0x0030);
    EXPECT_EQ(a[0].U16(2), 0);
    EXPECT_TRUE(hall->Stations().empty());
    ASSERT_EQ(lab->Stations().size(), 1u);
    EXPECT_TRUE(lab->Stations()[0].reassociated);

    // Mistakes in the file are named.
    const std::pair<const char*, const char*> bad[] = {
        {"[[ap]]\nssid=\"a\"\nbssid=\"02:00:00:00:00:01\"\nband=\"5\"\nchannel=36\nassoc_status=30\n", "30"},
        {"[[ap]]\nssid=\"a\"\nbssid=\"02:00:00:00:00:01\"\nband=\"5\"\nchannel=36\n[[ap.event]]\nat_ms=1\naction=\"jump\"\n",
         "jump"},
        {"[[ap]]\nssid=\"a\"\nbssid=\"02:00:00:00:00:01\"\nband=\"5\"\nchannel=36\n[[ap.event]]\nat_ms=1\naction=\"switch\"\nchannel=14\n",
         "channel 14"},
        {"[[ap]]\nssid=\"a\"\nbssid=\"02:00:00:00:00:01\"\nband=\"5\"\nchannel=36\nauth_algorithms=[\"shared\"]\n", "WEP"},
    };
    for (const auto& [world_text, why] : bad) {
        std::string e;
        EXPECT_FALSE(sim::air::World::FromText(world_text, &e)) << world_text;
        EXPECT_NE(e.find(why), std::string::npos) << e;
    }
}

TEST_F(WorldConnAp, TsharkDecodesEveryAnswerWithoutAFaultAndReadsItsFields)
{
    if (!HaveTshark()) {
        GTEST_SKIP() << "tshark is not installed (scripts/test installs it)";
    }
    ApConfig c = Guest();
    c.security = Security::Wpa2Psk;
    c.pmf = Pmf::Capable;
    c.assocStatus = {30, 17, 10, 0};
    ApEvent sw = Event(0, ApEventKind::ChannelSwitch);
    sw.channel = 36;
    sw.count = 5;
    c.events = {sw, Event(50, ApEventKind::Deauth, 3)};
    OnAir apNet(c, start_);
    AccessPoint& ap = apNet.ap;
    TestStation& sta = apNet.sta;
    Exchange(sta, Auth(kSta, ap.Bssid(), 0, 1));
    for (int i = 0; i < 4; ++i) {
        Exchange(sta, AssocRequest(kSta, ap.Bssid(), "Guest"));
    }
    AdvanceMs(60);
    std::vector<sim::air::PcapRecord> records;
    for (const auto& h : sta.Got()) {
        records.push_back({h.time, h.frame, h.channel, -50});
    }
    records.push_back({start_ + 10240 * 10, ap.BeaconAt(ap.Tbtt(1)), Channel{Band::B5G, 149}, -50});
    ASSERT_EQ(records.size(), 7u);
    const std::string pcap = TempPath("answers.pcap");
    const Bytes file = sim::air::EncodePcap(records);
    FILE* f = std::fopen(pcap.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);

    const char* const fields[] = {"_ws.malformed",       "_ws.expert.severity",   "wlan.fc.type_subtype",
                                  "wlan.fixed.auth_seq", "wlan.fixed.status_code", "wlan.fixed.aid",
                                  "wlan.fixed.reason_code", "wlan.csa.channel_switch.count", "wlan.timeout_int.type"};
    std::string args = "-r " + pcap + " -T fields -E occurrence=f";
    for (const char* field : fields) {
        args += std::string(" -e ") + field;
    }
    std::vector<std::string> rows;
    for (const std::string& line : Tshark(args)) {
        std::vector<std::string> v(1);
        for (char ch : line) {
            if (ch == '\t') {
                v.emplace_back();
            } else {
                v.back() += ch;
            }
        }
        ASSERT_EQ(v.size(), std::size(fields)) << line;
        EXPECT_EQ(v[0], "") << line;
        std::stringstream severities(v[1]);
        for (std::string one; std::getline(severities, one, ',');) {
            EXPECT_LT(std::stoul(one), 0x800000u) << line;
        }
        std::string row;
        for (size_t i = 2; i < v.size(); ++i) {
            row += (i > 2 ? " " : "") + (v[i].empty() ? std::string("-") : v[i]);
        }
        rows.push_back(row);
    }
    const std::vector<std::string> expected = {
        "0x000b 0x0002 0x0000 - - - -",   // authentication, sequence 2, success
        "0x0001 - 0x001e 0x0000 - - 3",   // refused temporarily, with the comeback time
        "0x0001 - 0x0011 0x0000 - - -",   // AP full
        "0x0001 - 0x000a 0x0000 - - -",   // capabilities unsupported
        "0x0001 - 0x0000 0x0001 - - -",   // success, AID 1
        "0x000c - - - 0x0003 - -",        // deauthentication, reason 3
        "0x0008 - - - - 4 -",             // a beacon counting down
    };
    EXPECT_EQ(rows, expected);
}

}  // namespace
}  // namespace airtest
