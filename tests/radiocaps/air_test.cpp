// Target wake time and the HE parameter sets on the air, on both generations: the driver on a
// simulated chip whose station port is linked to an HE access point of a world; the TWT test request
// of the private control interface sets an agreement up with the access point's TWT responder (which
// accepts, proposes an alternate or rejects, as its world file says), suspends it, resumes it at the
// next aligned wake time and tears it down, from either side; an access point changing its MU EDCA and
// spatial-reuse parameter sets on its timeline reaches the firmware once per change. What crossed the
// boundaries is checked: the TWT frames the access point took and its answers, the agreement updates,
// TSF queries and parameter sets the simulated firmware received, and the air as tshark decodes it.
//
// The connection itself is not run here (its end-to-end path is another area's): the link is set up
// as the data-path tests set it up (traffic_support.h), the access point takes the station through
// open authentication and association sent from the station's address, and the access point's entry
// carries the HE MAC capabilities of the access point's HE Capabilities element. Everything after
// that is the driver's own: its frames go through the chip's command ring and the firmware onto the
// air, the firmware reports their transmit status, the access point's answers come back through the
// frame ring, and the firmware's TSF answers through the event ring. The clock is manual and the
// rings are served by the test.
#include "Common/he/he_rlm.h"
#include "Common/mlme/mlmesync_bss.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "datapath/traffic_support.h"
#include "fw/twt.h"
#include "radiocaps/param_sets.h"
#include "radiocaps/radiocaps_fixture.h"
#include "support/eventually.h"

#include <algorithm>

namespace radiocapstest {
namespace {

const sim::air::Mac kWake = {0x02, 0xA0, 0x00, 0x00, 0x00, 0x01};  // traffic::kAp

std::string World(const std::string& extra)
{
    return R"(
[[ap]]
name = "wake"
ssid = "Wake"
bssid = "02:a0:00:00:00:01"
band = "5"
channel = 36
width = 80
phy = ["ht", "vht", "he"]
signal = -45
)" + extra;
}

// The private request (control code 0x00170002, OID 0x0FFFC202) and its record: argument count,
// command, flow, a byte not used, trigger, protection, flow type, setup command, nominal minimum wake
// duration, wake interval exponent, u16 mantissa.
constexpr ULONG kPrivateIoctl = 0x00170002;
constexpr uint32_t kOidTwtTest = 0x0FFFC202;
Bytes Record(uint8_t count, uint8_t command, uint8_t flow, uint8_t trigger = 0, uint8_t setup = 0, uint8_t duration = 0,
             uint8_t exponent = 0, uint16_t mantissa = 0)
{
    return {count, command, flow, 0, trigger, 0, 0, setup, duration, exponent, static_cast<uint8_t>(mantissa),
            static_cast<uint8_t>(mantissa >> 8)};
}
constexpr uint8_t kCmdSetup = 4;
constexpr uint8_t kCmdTeardown = 5;
constexpr uint8_t kCmdSuspend = 6;
constexpr uint8_t kCmdResume = 7;
// The TWT frames: Unprotected S1G (category 22) setup 6, teardown 7, information 11.
constexpr uint8_t kActionSetup = 6;
constexpr uint8_t kActionTeardown = 7;
constexpr uint8_t kActionInformation = 11;
// Firmware agreement update actions.
constexpr uint8_t kAdd = 0;
constexpr uint8_t kDelete = 2;
constexpr uint8_t kPeer = 3;

// A sender on the air with the station's address (it hears nothing: the chip's radio gets the answers).
class StationVoice : public sim::air::Party {
public:
    explicit StationVoice(sim::air::Medium& air) : air_(air) { air_.Join(this); }
    ~StationVoice() override { air_.Leave(this); }
    void Send(sim::air::Channel c, const Bytes& frame) { air_.Transmit(this, c, kshim::host::ClockNow(), frame); }
    bool Hears(sim::air::Channel, int64_t) const override { return false; }
    void Receive(const Bytes&, const sim::air::Reception&) override {}

private:
    sim::air::Medium& air_;
};

class OnAir : public traffic::TrafficTest {
protected:
    void TearDown() override
    {
        voice_.reset();
        traffic::TrafficTest::TearDown();
    }

    // The station linked to "Wake" (these world-file lines added to its access point), which took it.
    void ConnectTo(const std::string& extra)
    {
        std::string error;
        world_ = sim::air::World::FromText(World(extra), &error);
        ASSERT_TRUE(world_) << error;
        ap_ = world_->FindAccessPoint(kWake);
        ASSERT_NE(ap_, nullptr);
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        pcap_ = ::testing::TempDir() + "radiocaps_air_" + name + "_" + std::to_string(GetParam()) + ".pcap";
        ASSERT_TRUE(world_->StartCapture(pcap_, &error)) << error;
        world_->Attach(*firmware_);
        const sim::air::Channel home{sim::air::Band::B5G, 36};
        firmware_->Ram().Scan().SetHome(home);
        firmware_->DataRadio().AddPeer(kWake, ownIndex_, 0);
        // The access point takes the station: open authentication, then association.
        const sim::air::Mac own = sim::air::MacAt(port_->MacAddress);
        voice_ = std::make_unique<StationVoice>(world_->Air());
        Bytes auth = sim::air::MgmtHeader(sim::air::kFcAuth, kWake, own, kWake, 1);
        auth.insert(auth.end(), {0, 0, 1, 0, 0, 0});
        voice_->Send(home, auth);
        Bytes assoc = sim::air::MgmtHeader(sim::air::kFcAssocReq, kWake, own, kWake, 2);
        assoc.insert(assoc.end(), {0x01, 0x00, 0x0A, 0x00});
        sim::air::PutElement(assoc, 0, {'W', 'a', 'k', 'e'});
        sim::air::PutElement(assoc, 1, {0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C});
        voice_->Send(home, assoc);
        ASSERT_TRUE(Run([&] {
            const auto stations = ap_->Stations();
            return stations.size() == 1 && stations[0].state == sim::air::StationState::Associated;
        }));
        // What the HE link leaves in the port and the access point's entry.
        port_->WirelessMode = PHY_11He;
        port_->HeEnabled = 1;
        port_->OpMode = 0;
        port_->WmmInUse = 1;
        port_->Active = 1;
        port_->BssIndex = 0;
        port_->OwnMacIndex = 0;
        Adapter()->BssIndexSlots[0].InUse = 1;
        Adapter()->BssIndexSlots[0].Port = port_;
        entry_->AssocState = MAC_ENTRY_ASSOCIATED;
        entry_->Rlm.HeMacCap[0] |= 0x04;  // HE MAC bit 2: TWT responder, as the access point announces
        // The connection's candidate: the access point as the join found it.
        static const UCHAR kSsid[4] = {'W', 'a', 'k', 'e'};
        BSS_ENTRY_INPUT in = {};
        in.Bssid = kWake.data();
        in.Ssid = kSsid;
        in.SsidLen = 4;
        in.BeaconPeriod = 100;
        in.CapabilityInfo = 0x0001;
        in.Channel = 36;
        in.Band = 2;
        in.Rssi = -45;
        ASSERT_GE(BssTableSetEntry(Adapter(), port_, &Adapter()->Mlme.ConnectCandidates, &in), 0);
        std::memcpy(port_->CurrentSsid, kSsid, 4);
        port_->CurrentSsidLen = 4;
        ASSERT_TRUE(Run([] { return true; }));
        mark_ = firmware_->Ram().Exchanges().size();
    }

    // Serves the rings and lets the driver's threads work, a millisecond of simulated time at a time,
    // until pred() holds (false after `ms`).
    bool Run(const std::function<bool()>& pred, int64_t ms = 2000)
    {
        for (int64_t i = 0; i <= ms; ++i) {
            for (int pass = 0; pass < 3; ++pass) {
                EXPECT_TRUE(qzl_test::Settle());
                Pump();
                CommandRingDone();
            }
            if (pred()) {
                return true;
            }
            kshim::host::ClockAdvanceMs(1);
        }
        return false;
    }

    // The command ring's done interrupt: commands and management frames the chip took are reported sent.
    void CommandRingDone()
    {
        const BOOLEAN unified = static_cast<BOOLEAN>(GetParam() == 0x3602 && Adapter()->FwDownloaded == 1);
        KIRQL old;
        KeRaiseIrql(DISPATCH_LEVEL, &old);
        N6PciTxRingCmdDmaDoneInterrupt(Adapter()->HifContext, PCI_TX_RING_COMMAND, unified);
        KeLowerIrql(old);
    }

    void TwtRequest(const Bytes& record)
    {
        Bytes oid(4);
        std::memcpy(oid.data(), &kOidTwtTest, 4);
        kshim::host::DeviceControlRequest r =
            os_.SendDeviceControl(u"\\DosDevices\\QZLWLAN", kPrivateIoctl, oid, record.size(), record);
        ASSERT_TRUE(r.Wait());
        EXPECT_EQ(r.Status(), STATUS_SUCCESS);
    }

    // The firmware's commands since the link was set up.
    std::vector<sim::fw::RamExchange> Commands() const
    {
        std::vector<sim::fw::RamExchange> all = firmware_->Ram().Exchanges();
        all.erase(all.begin(), all.begin() + static_cast<long>(std::min(mark_, all.size())));
        return all;
    }
    std::vector<sim::fw::TwtAgreementUpdate> Agreements() const
    {
        std::vector<sim::fw::TwtAgreementUpdate> out;
        for (const sim::fw::RamExchange& e : Commands()) {
            std::optional<sim::fw::TwtAgreementUpdate> u;
            if (e.command) {
                u = sim::fw::DecodeTwtAgreementUpdate(*e.command);
            } else if (e.unifiedCommand) {
                u = sim::fw::DecodeTwtAgreementUpdate(*e.unifiedCommand);
            }
            if (u) {
                out.push_back(*u);
            }
        }
        return out;
    }
    size_t TsfQueries() const
    {
        size_t n = 0;
        for (const sim::fw::RamExchange& e : Commands()) {
            const bool query = (e.command && sim::fw::TsfQueryBssIndex(*e.command)) ||
                               (e.unifiedCommand && sim::fw::TsfQueryBssIndex(*e.unifiedCommand));
            n += query ? 1 : 0;
        }
        return n;
    }
    bool AgreementsReach(size_t n) { return Run([&] { return Agreements().size() >= n; }, 10000); }
    bool ApTook(size_t n) { return Run([&] { return ap_->TwtExchanges().size() >= n; }); }

    // The chip's TSF now (microseconds of the stand-in's clock).
    static uint64_t Tsf() { return static_cast<uint64_t>(kshim::host::ClockNow()) / 10; }

    std::string pcap_;
    sim::air::AccessPoint* ap_ = nullptr;
    std::unique_ptr<StationVoice> voice_;
    size_t mark_ = 0;
};

TEST_P(OnAir, AnAcceptedAgreementIsSuspendedResumedAtTheNextAlignedWakeTimeAndTornDown)
{
    ASSERT_NO_FATAL_FAILURE(ConnectTo("twt = \"accept\"\n"));
    ASSERT_TRUE(Agreements().empty());
    ASSERT_EQ(TsfQueries(), 0u);

    // Setup of flow 1: suggest, trigger-enabled, announced, 64 x 256 us every 512 << 10 us, 5 s after
    // the TSF the firmware gives.
    const uint64_t asked = Tsf();
    ASSERT_NO_FATAL_FAILURE(TwtRequest(Record(10, kCmdSetup, 1, 1, 1, 64, 10, 512)));
    ASSERT_TRUE(AgreementsReach(1));
    EXPECT_EQ(TsfQueries(), 1u);
    std::vector<sim::air::TwtExchange> x = ap_->TwtExchanges();
    ASSERT_EQ(x.size(), 1u);
    const sim::air::TwtParameters& req = x[0].request;
    EXPECT_EQ(x[0].action, kActionSetup);
    EXPECT_TRUE(req.request);
    EXPECT_EQ(req.setupCommand, 1) << "suggest";
    EXPECT_EQ(req.flowId, 1);
    EXPECT_TRUE(req.trigger);
    EXPECT_TRUE(req.implicit);
    EXPECT_FALSE(req.unannounced);
    EXPECT_FALSE(req.protection);
    EXPECT_EQ(req.minWakeDuration, 64);
    EXPECT_EQ(req.exponent, 10);
    EXPECT_EQ(req.mantissa, 512);
    EXPECT_GE(req.targetWakeTime, asked + 5000000u);
    EXPECT_LE(req.targetWakeTime, static_cast<uint64_t>(x[0].time) / 10 + 5000000u);
    ASSERT_TRUE(x[0].answer.has_value());
    EXPECT_EQ(*x[0].answer, 4) << "accept";
    const uint64_t twt = req.targetWakeTime;
    const uint64_t interval = 512ull << 10;

    std::vector<sim::fw::TwtAgreementUpdate> a = Agreements();
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].action, kAdd);
    EXPECT_EQ(a[0].slot, 0);
    EXPECT_EQ(a[0].flowId, 1);
    EXPECT_EQ(a[0].bssIndex, 0);
    EXPECT_EQ(a[0].targetWakeTime, twt);
    EXPECT_EQ(a[0].mantissa, 512);
    EXPECT_EQ(a[0].exponent, 10);
    EXPECT_EQ(a[0].minWakeDuration, 64);
    EXPECT_EQ(a[0].flags, 0x3) << "trigger, announced";
    const uint16_t wlan = a[0].wlanIndex;
    EXPECT_GE(wlan, 1);
    EXPECT_LT(wlan, 20);
    std::vector<sim::air::TwtAgreementInfo> held = ap_->TwtAgreements();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].parameters.targetWakeTime, twt);
    EXPECT_FALSE(held[0].suspended);

    // Suspend: an information frame without a next TWT; once it is delivered the firmware deletes the
    // agreement (its slot stays) and gets the peer action.
    ASSERT_NO_FATAL_FAILURE(TwtRequest(Record(3, kCmdSuspend, 1)));
    ASSERT_TRUE(AgreementsReach(3));
    a = Agreements();
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[1].action, kDelete);
    EXPECT_EQ(a[1].slot, 0);
    EXPECT_EQ(a[1].flowId, 1);
    EXPECT_EQ(a[2].action, kPeer);
    EXPECT_EQ(a[2].wlanIndex, wlan);
    x = ap_->TwtExchanges();
    ASSERT_EQ(x.size(), 2u);
    EXPECT_EQ(x[1].action, kActionInformation);
    EXPECT_EQ(x[1].information, 1) << "flow 1, no next TWT";
    EXPECT_FALSE(x[1].nextTwt.has_value());
    held = ap_->TwtAgreements();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_TRUE(held[0].suspended);

    // Resume: the next TWT is the first service period of the agreement (TWT + n x interval) after
    // the TSF + 5 s, in 8 bytes; once delivered the firmware adds the agreement again as it was.
    const uint64_t resumeAsked = Tsf();
    ASSERT_NO_FATAL_FAILURE(TwtRequest(Record(3, kCmdResume, 1)));
    ASSERT_TRUE(AgreementsReach(4));
    EXPECT_EQ(TsfQueries(), 2u);
    x = ap_->TwtExchanges();
    ASSERT_EQ(x.size(), 3u);
    EXPECT_EQ(x[2].action, kActionInformation);
    EXPECT_EQ(x[2].information, 1 | (3 << 5)) << "flow 1, next TWT of 64 bits";
    ASSERT_TRUE(x[2].nextTwt.has_value());
    const uint64_t next = *x[2].nextTwt;
    EXPECT_EQ((next - twt) % interval, 0u) << "on a service period of the agreement";
    EXPECT_GT(next, resumeAsked + 5000000u);
    EXPECT_LE(next - interval, static_cast<uint64_t>(x[2].time) / 10 + 5000000u) << "the first one after";
    held = ap_->TwtAgreements();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_FALSE(held[0].suspended);
    EXPECT_EQ(held[0].resumeAt, next);
    a = Agreements();
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[3].action, kAdd);
    EXPECT_EQ(a[3].flowId, 1);
    EXPECT_EQ(a[3].targetWakeTime, twt);
    EXPECT_EQ(a[3].exponent, 10);
    EXPECT_EQ(a[3].mantissa, 512);

    // Teardown: the frame names flow 1; the firmware deletes the agreement and its slot.
    ASSERT_NO_FATAL_FAILURE(TwtRequest(Record(3, kCmdTeardown, 1)));
    ASSERT_TRUE(AgreementsReach(6));
    a = Agreements();
    ASSERT_EQ(a.size(), 6u);
    EXPECT_EQ(a[4].action, kDelete);
    EXPECT_EQ(a[4].flowId, 1);
    EXPECT_EQ(a[5].action, kPeer);
    x = ap_->TwtExchanges();
    ASSERT_EQ(x.size(), 4u);
    EXPECT_EQ(x[3].action, kActionTeardown);
    EXPECT_EQ(x[3].information, 1);
    EXPECT_TRUE(ap_->TwtAgreements().empty());
    EXPECT_EQ(ap_->TwtDropped(), 0u);

    // The air as tshark decodes it: request and answer, two information frames, the teardown.
    world_->StopCapture();
    if (!TsharkPresent()) {
        GTEST_SKIP() << "tshark is not installed (scripts/lib.sh installs it)";
    }
    EXPECT_EQ(TsharkProblems(pcap_), "");
    const auto frames = TsharkFields(
        pcap_,
        {"wlan.sa", "wlan.s1g.action", "wlan.twt.requester", "wlan.twt.setup_cmd", "wlan.twt.trigger",
         "wlan.twt.implicit", "wlan.twt.flow_type", "wlan.twt.flow_id", "wlan.twt.wake_interval_exp",
         "wlan.twt.target_wake_time", "wlan.twt.nom_min_twt_wake_duration", "wlan.twt.wake_interval_mantissa",
         "wlan.s1g.twt_information.control.twt_flow_identifier",
         "wlan.s1g.twt_information.control.next_twt_subfield_size", "wlan.s1g.twt_information.next_twt64",
         "wlan.twt.individual_flow_id"},
        "wlan.fixed.category_code == 22");
    ASSERT_EQ(frames.size(), 5u);
    const std::string apAddress = "02:a0:00:00:00:01";
    const struct {
        uint64_t action;
        bool fromAp;
    } order[] = {{6, false}, {6, true}, {11, false}, {11, false}, {7, false}};
    for (size_t i = 0; i < frames.size(); ++i) {
        auto f = frames[i];
        EXPECT_EQ(TsharkNumber(f["wlan.s1g.action"]), order[i].action) << i;
        EXPECT_EQ(f["wlan.sa"] == apAddress, order[i].fromAp) << i;
    }
    for (size_t i : {0u, 1u}) {
        auto f = frames[i];
        EXPECT_EQ(TsharkNumber(f["wlan.twt.requester"]), i == 0 ? 1u : 0u);
        EXPECT_EQ(TsharkNumber(f["wlan.twt.setup_cmd"]), i == 0 ? 1u : 4u);
        EXPECT_EQ(TsharkNumber(f["wlan.twt.trigger"]), 1u);
        EXPECT_EQ(TsharkNumber(f["wlan.twt.implicit"]), 1u);
        EXPECT_EQ(TsharkNumber(f["wlan.twt.flow_type"]), 0u);
        EXPECT_EQ(TsharkNumber(f["wlan.twt.flow_id"]), 1u);
        EXPECT_EQ(TsharkNumber(f["wlan.twt.wake_interval_exp"]), 10u);
        EXPECT_EQ(TsharkNumber(f["wlan.twt.target_wake_time"]), twt);
        EXPECT_EQ(TsharkNumber(f["wlan.twt.nom_min_twt_wake_duration"]), 64u);
        EXPECT_EQ(TsharkNumber(f["wlan.twt.wake_interval_mantissa"]), 512u);
    }
    auto suspend = frames[2];
    EXPECT_EQ(TsharkNumber(suspend["wlan.s1g.twt_information.control.twt_flow_identifier"]), 1u);
    EXPECT_EQ(TsharkNumber(suspend["wlan.s1g.twt_information.control.next_twt_subfield_size"]), 0u);
    auto resume = frames[3];
    EXPECT_EQ(TsharkNumber(resume["wlan.s1g.twt_information.control.next_twt_subfield_size"]), 3u);
    EXPECT_EQ(TsharkNumber(resume["wlan.s1g.twt_information.next_twt64"]), next);
    auto teardown = frames[4];
    EXPECT_EQ(TsharkNumber(teardown["wlan.twt.individual_flow_id"]), 1u);
}

// An access point that proposes an alternate: the driver asks again with the access point's values
// (twice the interval, at least 64 x 256 us awake) and that request is accepted; the access point then
// tears the agreement down on its timeline.
TEST_P(OnAir, AnAlternateIsAskedForAgainAndTheAccessPointTearsTheAgreementDown)
{
    ASSERT_NO_FATAL_FAILURE(ConnectTo("twt = \"alternate\"\n"));
    ASSERT_NO_FATAL_FAILURE(TwtRequest(Record(10, kCmdSetup, 3, 0, 1, 32, 9, 1000)));
    ASSERT_TRUE(AgreementsReach(1));
    std::vector<sim::air::TwtExchange> x = ap_->TwtExchanges();
    ASSERT_EQ(x.size(), 2u);
    EXPECT_EQ(x[0].request.exponent, 9);
    EXPECT_EQ(x[0].request.minWakeDuration, 32);
    EXPECT_EQ(x[0].answer, std::optional<uint8_t>(5)) << "alternate";
    EXPECT_TRUE(x[1].request.request);
    EXPECT_EQ(x[1].request.setupCommand, 1) << "suggest";
    EXPECT_EQ(x[1].request.flowId, 3);
    EXPECT_EQ(x[1].request.exponent, 10);
    EXPECT_EQ(x[1].request.minWakeDuration, 64);
    EXPECT_EQ(x[1].request.mantissa, 1000);
    EXPECT_EQ(x[1].request.targetWakeTime, x[0].request.targetWakeTime);
    EXPECT_EQ(x[1].answer, std::optional<uint8_t>(4)) << "accept";
    EXPECT_EQ(TsfQueries(), 1u) << "the second request needs no TSF";
    std::vector<sim::fw::TwtAgreementUpdate> a = Agreements();
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].action, kAdd);
    EXPECT_EQ(a[0].flowId, 3);
    EXPECT_EQ(a[0].exponent, 10);
    EXPECT_EQ(a[0].minWakeDuration, 64);
    EXPECT_EQ(a[0].mantissa, 1000);
    EXPECT_EQ(a[0].targetWakeTime, x[0].request.targetWakeTime);

    // The access point's teardown of flow 3: the firmware deletes the agreement, then the peer action.
    sim::air::ApEvent teardown;
    teardown.kind = sim::air::ApEventKind::TwtTeardown;
    teardown.flow = 3;
    teardown.at = kshim::host::ClockNow() + 100 * 10000;
    ap_->Schedule(teardown);
    ASSERT_TRUE(AgreementsReach(3));
    a = Agreements();
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[1].action, kDelete);
    EXPECT_EQ(a[1].flowId, 3);
    EXPECT_EQ(a[2].action, kPeer);
    EXPECT_TRUE(ap_->TwtAgreements().empty());
}

TEST_P(OnAir, ARejectedSetupLeavesNoAgreement)
{
    ASSERT_NO_FATAL_FAILURE(ConnectTo("twt = \"reject\"\n"));
    ASSERT_NO_FATAL_FAILURE(TwtRequest(Record(10, kCmdSetup, 2, 1, 1, 64, 10, 512)));
    ASSERT_TRUE(ApTook(1));
    // The answer's transmission and reception, and whatever the driver does with it.
    const int64_t answered = kshim::host::ClockNow();
    ASSERT_TRUE(Run([&] { return kshim::host::ClockNow() > answered + 50 * 10000; }));
    std::vector<sim::air::TwtExchange> x = ap_->TwtExchanges();
    ASSERT_EQ(x.size(), 1u) << "asked once";
    EXPECT_EQ(x[0].answer, std::optional<uint8_t>(7)) << "reject";
    EXPECT_TRUE(Agreements().empty());
    EXPECT_TRUE(ap_->TwtAgreements().empty());
    // Suspending a flow without an agreement sends nothing.
    ASSERT_NO_FATAL_FAILURE(TwtRequest(Record(3, kCmdSuspend, 2)));
    const int64_t asked = kshim::host::ClockNow();
    ASSERT_TRUE(Run([&] { return kshim::host::ClockNow() > asked + 50 * 10000; }));
    EXPECT_EQ(ap_->TwtExchanges().size(), 1u);
}

// MU EDCA Parameter Set records as the access point sends them (AC_BE, AC_BK, AC_VI, AC_VO: AIFSN 8, 15,
// 5, 5; ECWmin/ECWmax 9/10, 9/10, 7/9, 6/7; no ACM) with this timer, as the firmware gets them per AC
// {ECWmin, ECWmax, AIFSN, ACM, timer}; the spatial-reuse fields with the non-SRG offset present only.
Bytes MuEdcaRecords(uint8_t timer)
{
    return {9, 10, 8, 0, timer, 9, 10, 15, 0, timer, 7, 9, 5, 0, timer, 6, 7, 5, 0, timer};
}
Bytes SrFields(uint8_t offset)
{
    Bytes b{0x04, offset, 0, 0};
    b.resize(20, 0);
    return b;
}

TEST_P(OnAir, AnAccessPointChangingItsHeParameterSetsReachesTheFirmwareOncePerChange)
{
    // The changes come after the link is up; one of them repeats the timer in force.
    ASSERT_NO_FATAL_FAILURE(ConnectTo(R"(mu_edca_timer = 8
sr_offset = 20
[[ap.event]]
at_ms = 300
action = "mu_edca"
timer = 16
[[ap.event]]
at_ms = 500
action = "spatial_reuse"
offset = 24
[[ap.event]]
at_ms = 700
action = "mu_edca"
timer = 16
[[ap.event]]
at_ms = 800
action = "mu_edca"
timer = 32
)"));
    const int64_t epoch = world_->Epoch();
    ASSERT_LT(kshim::host::ClockNow(), epoch + 200 * 10000LL) << "linked before the first change";
    ASSERT_TRUE(Run([&] { return kshim::host::ClockNow() > epoch + 1000 * 10000LL; }, 1200));

    std::vector<sim::fw::LegacyCommand> legacy;
    std::vector<sim::fw::UnifiedCommand> unified;
    for (const sim::fw::RamExchange& e : Commands()) {
        if (e.command) {
            legacy.push_back(*e.command);
        } else if (e.unifiedCommand) {
            unified.push_back(*e.unifiedCommand);
        }
    }
    // The first beacon of the link brings both sets (the port had none), then each change once; the
    // repeated timer is not sent again.
    const ParamSetsSent sent = ParamSets(legacy, unified);
    EXPECT_EQ(sent.muEdca, (std::vector<Bytes>{MuEdcaRecords(8), MuEdcaRecords(16), MuEdcaRecords(32)}));
    EXPECT_EQ(sent.sr, (std::vector<Bytes>{SrFields(20), SrFields(24)}));

    // The beacons as tshark decodes them, in time order: the sets change at their times, and the
    // update count goes up with each change of the MU EDCA set (not with the repeated timer).
    world_->StopCapture();
    if (!TsharkPresent()) {
        GTEST_SKIP() << "tshark is not installed (scripts/lib.sh installs it)";
    }
    EXPECT_EQ(TsharkProblems(pcap_), "");
    const std::string timer = "wlan.ext_tag.mu_edca_parameter_set.mu_edca_timer";
    const std::string count = "wlan.fixed.qosinfo.ap.edcaupdate";
    const std::string offset = "wlan.ext_tag.spatial_reuse.non_srg_obss_pd_max_offset";
    const auto beacons =
        TsharkFields(pcap_, {timer, count, offset}, "wlan.fc.type_subtype == 8 && wlan.bssid == 02:a0:00:00:00:01");
    std::vector<std::string> seen;
    for (auto b : beacons) {
        const std::string row = b[timer] + " / " + b[count] + " / " + b[offset];
        if (seen.empty() || seen.back() != row) {
            seen.push_back(row);
        }
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"0x08,0x08,0x08,0x08 / 0x00 / 20", "0x10,0x10,0x10,0x10 / 0x01 / 20",
                                              "0x10,0x10,0x10,0x10 / 0x01 / 24", "0x20,0x20,0x20,0x20 / 0x02 / 24"}));
}

INSTANTIATE_TEST_SUITE_P(BothGenerations, OnAir, ::testing::Values(USHORT{0x3502}, USHORT{0x3602}),
                         [](const ::testing::TestParamInfo<USHORT>& info) {
                             return info.param == 0x3502 ? std::string("Gen2_0x3502") : std::string("Gen3_0x3602");
                         });

}  // namespace
}  // namespace radiocapstest
