// The port timers and the heartbeat: the 100 ms timer posts the periodic work and re-arms itself, the
// 1 s transmit-stall watch and the radio-switch poll beside it; the periodic work's schedule of jobs.
#include "periodic/periodic_fixture.h"

namespace periodictest {
namespace {

constexpr ULONG kPeriodicCmd = 0x10000200;
constexpr ULONG kStaPeriodicCmd = 0x1000001D;
constexpr ULONG kRadioCmd = 0x10000500;
constexpr ULONG kLinkLossCmd = 0x10000034;
constexpr ULONG kCsrDumpCmd = 0x10000048;

class Heartbeat : public PeriodicTest {
protected:
    void SetUp() override
    {
        PeriodicTest::SetUp();
        SetUpChip(fwcmdstest::kSecondGen);
    }
    void Advance(int64_t ms)
    {
        kshim::host::ClockAdvanceMs(ms);
        EXPECT_TRUE(qzl_test::Settle());
    }
};

TEST_F(Heartbeat, TheHundredMillisecondTimerPostsTheWorkAndReArmsItself)
{
    ASSERT_EQ(MlmePortTimeInit(adapter_.get(), port0_), STATUS_SUCCESS);
    Advance(99);
    EXPECT_TRUE(TakePosted().empty());
    Advance(1);
    EXPECT_EQ(TakePosted(), std::vector<ULONG>{kPeriodicCmd});
    Advance(100);
    EXPECT_EQ(TakePosted(), std::vector<ULONG>{kPeriodicCmd});
    // A system error recovery holding transmission stops it: the tick posts nothing and stays stopped.
    adapter_->Recovery.TxStopped = 1;
    Advance(100);
    EXPECT_TRUE(TakePosted().empty());
    adapter_->Recovery.TxStopped = 0;
    Advance(500);
    EXPECT_TRUE(TakePosted().empty()) << "not re-armed";
}

TEST_F(Heartbeat, TheStallWatchRunsEverySecondInItsTimer)
{
    port0_->ConnectionFlags = 0x80;
    adapter_->RegistryBlock.txStallDetect = 1;
    adapter_->Mlme.TxStall.Ports[2].PendingMarker = 1;
    ASSERT_EQ(MlmePortTimeInit(adapter_.get(), port0_), STATUS_SUCCESS);
    Advance(999);
    EXPECT_EQ(adapter_->Mlme.TxStall.Ports[2].Seconds, 0);
    Advance(1);
    EXPECT_EQ(adapter_->Mlme.TxStall.Ports[2].Seconds, 1);
    for (int s = 0; s < 7; ++s) {
        Advance(1000);
    }
    EXPECT_EQ(adapter_->Mlme.TxStall.Ports[2].Seconds, 8);
    EXPECT_EQ(Count(TakePosted(), kCsrDumpCmd), 1u) << "a dump at second 7";
}

TEST_F(Heartbeat, TheRadioPollExistsOnlyWithEthernetDetection)
{
    ASSERT_EQ(MlmePortTimeInit(adapter_.get(), port0_), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->Mlme.Periodic.RadioTimer.Initialized, 0);
    EXPECT_EQ(adapter_->Mlme.Periodic.PowerConsumptionTimer.Initialized, 0);
    (void)MlmePortFreeTimer(adapter_.get(), port0_);

    adapter_->RegistryBlock.EthernetDetection = 1;
    adapter_->RegistryBlock.EthernetDetectionInterval = 5000;
    adapter_->RegistryBlock.PingEnhance = 1;
    ASSERT_EQ(MlmePortTimeInit(adapter_.get(), port0_), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->Mlme.Periodic.PowerConsumptionTimer.Initialized, 1);
    Advance(4999);
    EXPECT_EQ(Count(TakePosted(), kRadioCmd), 0u);
    Advance(1);
    EXPECT_EQ(Count(TakePosted(), kRadioCmd), 1u);
    // One-shot: armed again only by the poll itself.
    Advance(5000);
    EXPECT_EQ(Count(TakePosted(), kRadioCmd), 0u);
}

TEST_F(Heartbeat, AFailedRadioQueryStopsThePollAnotherStateReArmsIt)
{
    adapter_->RegistryBlock.EthernetDetection = 1;
    adapter_->RegistryBlock.EthernetDetectionInterval = 2000;
    ASSERT_EQ(MlmePortTimeInit(adapter_.get(), port0_), STATUS_SUCCESS);
    Advance(2000);
    TakePosted();
    // Hardware not up yet: the poll asks nothing and re-arms.
    adapter_->Running = 0;
    EXPECT_EQ(MlmeRadioPeriodicExecPassivLevel(adapter_.get(), port0_), STATUS_SUCCESS);
    Advance(2000);
    EXPECT_EQ(Count(TakePosted(), kRadioCmd), 1u);
    EXPECT_EQ(LegacyCount(0xED, 0xBD), 0u);
    // Up and powered on a chip without the query (mode 1 is refused off the second and third
    // generations): the poll stops.
    adapter_->Running = 1;
    port0_->Powered = 1;
    adapter_->DeviceId = fwcmdstest::kOlderChip;
    EXPECT_NE(MlmeRadioPeriodicExecPassivLevel(adapter_.get(), port0_), STATUS_SUCCESS);
    Advance(10000);
    EXPECT_EQ(Count(TakePosted(), kRadioCmd), 0u);
}

// ---- the schedule of the periodic work ------------------------------------------------------------------------
class Schedule : public Heartbeat {};

TEST_F(Schedule, TheSecondPostsTheStationJobAndTheHourSyncsTheTime)
{
    port0_->ConnectionFlags = 0x80;
    port0_->OpMode = 0;
    adapter_->IotLabCounter = 1;  // a link up just happened
    std::vector<ULONG> posted;
    for (int tick = 1; tick <= 20; ++tick) {
        ASSERT_EQ(MlmePeriodicExecPassivLevel(adapter_.get(), port0_), STATUS_SUCCESS);
        const size_t n = Count(TakePosted(), kStaPeriodicCmd);
        EXPECT_EQ(n, tick % 10 == 0 ? 1u : 0u) << tick;
    }
    EXPECT_EQ(adapter_->Mlme.Periodic.Seconds, 2u);
    EXPECT_EQ(adapter_->IotLabCounter, 3u) << "each second counts one IoT lab tick";
    EXPECT_EQ(qzltest::NotBuiltCalls("kalSyncTimeToFW"), 0u);
    adapter_->Mlme.Periodic.Ticks = 35999;
    ASSERT_EQ(MlmePeriodicExecPassivLevel(adapter_.get(), port0_), STATUS_SUCCESS);
    EXPECT_EQ(qzltest::NotBuiltCalls("kalSyncTimeToFW"), 1u);
    // Nothing while halting.
    AdapterSetFlag(adapter_.get(), ADAPTER_FLAG_HALT_IN_PROGRESS, "test");
    ASSERT_EQ(MlmePeriodicExecPassivLevel(adapter_.get(), port0_), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->Mlme.Periodic.Ticks, 36000u);
    AdapterClearFlag(adapter_.get(), ADAPTER_FLAG_HALT_IN_PROGRESS, "test");
}

TEST_F(Schedule, TheStationSecondAsksForTheLinkQualityOfAConnectedPortZero)
{
    port0_->Created = 1;
    (void)NdisCommonHifControlThreadHandler(port0_, kStaPeriodicCmd, nullptr, 0);
    EXPECT_EQ(LegacyCount(0x81), 0u) << "not connected";
    port0_->ConnectionFlags = 0x80;
    port0_->Created = 0;
    (void)NdisCommonHifControlThreadHandler(port0_, kStaPeriodicCmd, nullptr, 0);
    EXPECT_EQ(LegacyCount(0x81), 0u) << "port 0 not created";
    port0_->Created = 1;
    (void)NdisCommonHifControlThreadHandler(port0_, kStaPeriodicCmd, nullptr, 0);
    EXPECT_EQ(LegacyCount(0x81), 1u);
    AdapterSetFlag(adapter_.get(), ADAPTER_FLAG_SCANNING, "test");
    (void)NdisCommonHifControlThreadHandler(port0_, kStaPeriodicCmd, nullptr, 0);
    EXPECT_EQ(LegacyCount(0x81), 1u) << "not while scanning";
    AdapterClearFlag(adapter_.get(), ADAPTER_FLAG_SCANNING, "test");
}

TEST_F(Schedule, BeaconLossAsksForRoamsEveryHalfSecondThenTakesTheLinkDown)
{
    port0_->ConnectionFlags = 0x80;
    port0_->Ind.BeaconLost = 1;
    port0_->RoamingNeededCount = 1;  // the beacon time-out event asked once
    kshim::host::WifiClearIndications();
    size_t roams = 0;
    int linkDownAt = 0;
    for (int halfSecond = 1; halfSecond <= 12 && linkDownAt == 0; ++halfSecond) {
        MlmePeriodicExec500ms(adapter_.get());
        const std::vector<ULONG> posted = TakePosted();
        if (Count(posted, kLinkLossCmd) != 0) {
            linkDownAt = halfSecond;
        }
    }
    for (const kshim::host::WdiIndication& i : kshim::host::WifiIndications()) {
        roams += i.code == 0x0034 ? 1 : 0;
    }
    EXPECT_EQ(roams, 9u);
    EXPECT_EQ(linkDownAt, 10);
    EXPECT_EQ(port0_->Ind.BeaconLost, 0);
}

}  // namespace
}  // namespace periodictest
