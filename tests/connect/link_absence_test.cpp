// The firmware's absence and presence reports of a BSS (legacy event 0x11 on the second generation,
// unified event 0x29 on the third): the port's absence state, the end of a Wi-Fi Direct channel-switch
// wait and the P2P commands it posts.
#include <memory>

#include "Common/p2p/p2p.h"
#include "connect/join_fixture.h"
#include "fw/link_events.h"
#include "support/crossings.h"

namespace jointest {
namespace {

class LinkAbsenceTest : public JoinTest {
protected:
    void SetUpRole(USHORT deviceId, ULONG type)
    {
        SetUpStation(deviceId);
        kshim::host::TraceClear();
        block_ = adapter_->P2pBlock;
        ASSERT_NE(block_, nullptr);
        port_ = AddPort(1, type);
        port_->BssIndex = 1;
        adapter_->BssIndexSlots[1].InUse = 1;
        adapter_->BssIndexSlots[1].Port = port_;
    }
    void TearDown() override
    {
        if (block_ != nullptr) {
            (void)P2pCommands();
            block_->Flags = 0;
        }
        block_ = nullptr;
        JoinTest::TearDown();
    }
    std::vector<ULONG> P2pCommands()
    {
        std::vector<ULONG> ids;
        while (PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(&block_->CmdQueue)) {
            ids.push_back(cmd->CmdId);
            QzReturnInternalCmdBuffer(adapter_.get(), cmd);
        }
        return ids;
    }
    void Report(UCHAR bss, bool absent, UCHAR second = 0)
    {
        DeliverEvent(sim::fw::AbsencePresenceEvent(generation_, bss, absent, second));
    }
    PP2P_CTRL_BLOCK block_ = nullptr;
    PMP_PORT port_ = nullptr;
};

TEST_F(LinkAbsenceTest, ReportsSetThePortsAbsenceState)
{
    for (USHORT id : {kSecondGen, kThirdGen}) {
        SetUpRole(id, WFD_CLIENT);
        Report(1, true, 7);
        EXPECT_EQ(port_->Grant.BssAbsent, 1) << std::hex << id;
        EXPECT_EQ(port_->BssAbsentSecond, 7);
        Report(1, false, 0);
        EXPECT_EQ(port_->Grant.BssAbsent, 0);
        EXPECT_EQ(port_->BssAbsentSecond, 0);
        // A BSS index without a slot, or above the slots, names no port.
        Report(2, true, 3);
        Report(9, true, 3);
        EXPECT_EQ(port_->Grant.BssAbsent, 0);
        EXPECT_TRUE(P2pCommands().empty()) << "nobody waited for the report";
        TearDown();
        SetUp();
    }
}

TEST_F(LinkAbsenceTest, AClientsPresenceEndsItsChannelSwitchWait)
{
    for (USHORT id : {kSecondGen, kThirdGen}) {
        SetUpRole(id, WFD_CLIENT);
        port_->EcsaInProgress = 1;
        Report(1, true);
        EXPECT_EQ(port_->EcsaInProgress, 1) << "absent: the wait goes on";
        EXPECT_TRUE(P2pCommands().empty());
        Report(1, false);
        EXPECT_EQ(port_->EcsaInProgress, 0) << std::hex << id;
        EXPECT_EQ(P2pCommands(), std::vector<ULONG>{0x20000018u}) << "client channel privilege";
        Report(1, false);
        EXPECT_TRUE(P2pCommands().empty()) << "only once";
        TearDown();
        SetUp();
    }
}

TEST_F(LinkAbsenceTest, AGroupOwnersPresenceUpdatesItsBeaconAndHoldsTransmission)
{
    SetUpRole(kSecondGen, WFD_GO);
    port_->EcsaInProgress = 1;
    Report(1, false);
    // No station port: no peer has frames pending, the wait ends at once.
    EXPECT_EQ(port_->EcsaInProgress, 0);
    EXPECT_EQ(P2pCommands(), std::vector<ULONG>{0x20000016u});
    EXPECT_TRUE(AdapterTestFlags(adapter_.get(), ADAPTER_FLAG_TX_HELD));
}

TEST_F(LinkAbsenceTest, AGroupOwnerWaitingForAbsenceIsWokenByIt)
{
    SetUpRole(kThirdGen, WFD_GO);
    block_->Flags = 0x10;
    port_->P2pGoActive = 1;
    port_->Grant.AbsentWaiter = 1;
    KeInitializeEvent(&port_->Grant.AbsentEvent, NotificationEvent, FALSE);
    Report(1, false);
    EXPECT_EQ(port_->Grant.AbsentWaiter, 1) << "presence is not what it waits for";
    Report(1, true);
    EXPECT_EQ(port_->Grant.AbsentWaiter, 0);
    EXPECT_NE(KeReadStateEvent(&port_->Grant.AbsentEvent), 0);
}

TEST_F(LinkAbsenceTest, UnderMultiChannelConcurrencyTheTransmitRingsFollowThePort)
{
    SetUpRole(kSecondGen, WFD_CLIENT);
    adapter_->MccActive = 1;
    port_->Grant.PresentWaiter = 1;
    KeInitializeEvent(&port_->Grant.PresentEvent, NotificationEvent, FALSE);
    Report(1, true);
    EXPECT_EQ(port_->Grant.PresentWaiter, 1);
    Report(1, false);
    EXPECT_EQ(port_->Grant.PresentWaiter, 0);
    EXPECT_NE(KeReadStateEvent(&port_->Grant.PresentEvent), 0);
    // The pause register's value on each report is the dequeue tests' ring-pause table (this fixture has no
    // register file).
    adapter_->MccActive = 0;
}

}  // namespace
}  // namespace jointest
