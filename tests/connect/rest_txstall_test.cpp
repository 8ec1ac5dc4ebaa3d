// The transmit-stall watch: its thresholds in seconds, per port and per transmit queue.
#include "mlme/mlme_fixture.h"

namespace mlmetest {
namespace {

class TxStallWatch : public MlmeTest {
protected:
    void SetUp() override
    {
        MlmeTest::SetUp();
        port_ = AddPort(0, EXTSTA);
        port_->ConnectionFlags = 0x80;  // connected
        adapter_->RegistryBlock.txStallDetect = 1;
        adapter_->RegistryBlock.pktPendingDetect = 1;
    }
    void Tick(int seconds)
    {
        for (int i = 0; i < seconds; ++i) {
            MlmeTxHangPeriodicExecDispatchLevel(adapter_);
        }
    }
    MLME_TX_STALL_BLOCK& Watch() { return adapter_->Mlme.TxStall; }
    MP_PORT* port_ = nullptr;
};

TEST_F(TxStallWatch, APortPendingFourteenSecondsIsAbortedAndCountedWithItsIndexInTheHighHalf)
{
    Watch().Ports[3].PendingMarker = 1;
    Tick(14);
    EXPECT_EQ(Watch().Ports[3].Seconds, 14);  // seconds 7..13 asked for dumps
    EXPECT_EQ(Watch().Ports[3].HangCount, 0u);
    Tick(1);
    EXPECT_EQ(Watch().Ports[3].HangCount, 1u);
    EXPECT_EQ(Watch().Ports[3].PendingMarker, 0);
    EXPECT_EQ(Watch().Ports[3].Seconds, 0);
    // Other markers only count; a cleared marker resets the seconds.
    Watch().Ports[1].PendingMarker = 2;
    Tick(20);
    EXPECT_EQ(Watch().Ports[1].Seconds, 20);
    EXPECT_EQ(Watch().Ports[1].HangCount, 0u);
    Watch().Ports[1].PendingMarker = 0;
    Tick(1);
    EXPECT_EQ(Watch().Ports[1].Seconds, 0);
}

TEST_F(TxStallWatch, NothingIsCountedWithoutAConnectedPortOrWhileHalting)
{
    Watch().Ports[0].PendingMarker = 1;
    port_->ConnectionFlags = 0;
    Tick(3);
    EXPECT_EQ(Watch().Ports[0].Seconds, 0);
    port_->ConnectionFlags = 0x80;
    AdapterSetFlagUnlocked(adapter_, 0x40);  // halting
    Tick(3);
    EXPECT_EQ(Watch().Ports[0].Seconds, 0);
    __atomic_and_fetch(&adapter_->Flags, ~0x40, __ATOMIC_ACQ_REL);
    adapter_->RegistryBlock.txStallDetect = 0;
    Tick(3);
    EXPECT_EQ(Watch().Ports[0].Seconds, 0);
}

TEST_F(TxStallWatch, AStalledQueueSwitchesIcsOnAtTenSecondsAndOffAtTwentyOrWhenItMoves)
{
    adapter_->RegistryBlock.dynamicICSEn = 1;
    MLME_TX_STALL_QUEUE& q = Watch().Queues[2];
    q.Active = 1;
    Tick(9);
    EXPECT_EQ(Watch().DynamicIcsOn, 0);
    Tick(1);
    EXPECT_EQ(q.StallSeconds, 10);
    EXPECT_EQ(Watch().DynamicIcsOn, 1);
    EXPECT_EQ(Watch().DynamicIcsQueue, 2u);
    Tick(9);
    EXPECT_EQ(Watch().DynamicIcsOn, 1);
    Tick(1);
    EXPECT_EQ(q.StallSeconds, 20);
    EXPECT_EQ(Watch().DynamicIcsOn, 0);

    // A new stall: the count moving ends the logging at once and resets the seconds.
    q.StallSeconds = 0;
    Tick(10);
    EXPECT_EQ(Watch().DynamicIcsOn, 1);
    q.CurrentCount = 5;
    Tick(1);
    EXPECT_EQ(Watch().DynamicIcsOn, 0);
    EXPECT_EQ(q.StallSeconds, 0);
    EXPECT_EQ(q.LastCount, 5u);
    // Switching the setting off ends logging another queue started; an inactive queue resets.
    Tick(10);
    EXPECT_EQ(Watch().DynamicIcsOn, 1);
    adapter_->RegistryBlock.dynamicICSEn = 0;
    Tick(1);
    EXPECT_EQ(Watch().DynamicIcsOn, 0);
    q.Active = 0;
    Tick(1);
    EXPECT_EQ(q.StallSeconds, 0);
}

}  // namespace
}  // namespace mlmetest
