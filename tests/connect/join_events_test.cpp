// Link events the simulated firmware raises while a station is connected: beacon time-out and link
// quality, on the second generation (legacy events) and the third (unified events).
#include "Common/common.h"
#include "Common/mlme/mlmesync.h"
#include "connect/join_fixture.h"
#include "fw/link_events.h"

namespace jointest {
namespace {

class LinkEventTest : public JoinTest {
protected:
    void SetUpLink(USHORT deviceId)
    {
        SetUpStation(deviceId);
        port0_->OpMode = 0;
        port0_->ConnectionFlags |= PORT_CONN_CONNECTED;
    }

    LONG64 Now()
    {
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        return now.QuadPart;
    }

    // The internal commands posted to the control thread: (id, first payload byte).
    std::vector<std::pair<ULONG, ULONG>> ControlCommands()
    {
        std::vector<std::pair<ULONG, ULONG>> out;
        for (PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(&adapter_->Cmd.ControlQueue); cmd != nullptr;
             cmd = QzDequeueCmdQueueLocked(&adapter_->Cmd.ControlQueue)) {
            ULONG value = 0;
            std::memcpy(&value, cmd->Payload, cmd->PayloadLength < 4 ? cmd->PayloadLength : 4);
            out.emplace_back(cmd->CmdId, value);
            QzReturnInternalCmdBuffer(adapter_.get(), cmd);
        }
        return out;
    }
};

TEST_F(LinkEventTest, BeaconTimeoutHandsTheLostLinkToTheControlThreadAfterTheGraceTime)
{
    for (USHORT id : {kSecondGen, kThirdGen}) {
        SetUpLink(id);
        adapter_->WorkingCfg.BeaconLostTime = 3;  // seconds
        // The last beacon 0.5 s ago: with 3 s of grace that is more than 2 s ahead of now.
        port0_->Mlme.Req.SavedBssEntry.LastBeaconTime = static_cast<ULONG64>(Now() - 5000000);
        DeliverEvent(sim::fw::BeaconTimeoutEvent(generation_, 0, 1));
        EXPECT_TRUE(ControlCommands().empty()) << id;

        // The last beacon just over 1 s ago: the grace ends less than 2 s ahead.
        port0_->Mlme.Req.SavedBssEntry.LastBeaconTime = static_cast<ULONG64>(Now() - 10000001);
        DeliverEvent(sim::fw::BeaconTimeoutEvent(generation_, 0, 1));
        const auto posted = ControlCommands();
        ASSERT_EQ(posted.size(), 1u) << id;
        EXPECT_EQ(posted[0].first, 0x10000034u);
        EXPECT_EQ(posted[0].second, 0u) << "the port's number";
        EXPECT_EQ(adapter_->BeaconTimeoutMark, 1);
        EXPECT_EQ(adapter_->Wake.LinkLossCause, 1u);

        // A BSS index above 4 names no port.
        DeliverEvent(sim::fw::BeaconTimeoutEvent(generation_, 5, 1));
        EXPECT_TRUE(ControlCommands().empty());
        TearDown();
        SetUp();
    }
}

TEST_F(LinkEventTest, LinkQualityRecordsReachThePortsTheyName)
{
    for (USHORT id : {kSecondGen, kThirdGen}) {
        SetUpLink(id);
        std::array<sim::fw::LinkQualityRecord, 4> records{};
        records[0] = {-55, 0x0120, true};
        records[1] = {-30, 0x0300, false};
        DeliverEvent(sim::fw::LinkQualityEvent(generation_, records));
        EXPECT_EQ(port0_->LinkRate, 0x0120) << id;
        EXPECT_EQ(port0_->Ind.SignalStrength, -55);
        EXPECT_EQ(port0_->Ind.ChainRssi[0], -55);
        EXPECT_EQ(port0_->Ind.ReportedRssi, -55) << "the quality the OS is given comes from the record";

        // After a beacon loss the station reports no rate and -100 dBm.
        port0_->Ind.BeaconLost = 1;
        DeliverEvent(sim::fw::LinkQualityEvent(generation_, records));
        EXPECT_EQ(port0_->LinkRate, 0);
        EXPECT_EQ(port0_->Ind.ChainRssi[0], -100);
        TearDown();
        SetUp();
    }
}

TEST_F(LinkEventTest, ChannelSwitchDoneIsTakenOnceByTheGroupOwner)
{
    for (USHORT id : {kSecondGen, kThirdGen}) {
        SetUpLink(id);
        DeliverEvent(sim::fw::CsaDoneEvent(generation_));  // no group owner: nothing
        PMP_PORT go = AddPort(1, WFD_GO);
        go->Active = 1;
        go->P2pEcsaRetryCount = 3;
        DeliverEvent(sim::fw::CsaDoneEvent(generation_));
        EXPECT_EQ(go->P2pCsaDone, 1) << id;
        EXPECT_EQ(go->P2pEcsaRetryCount, 0);
        go->P2pEcsaRetryCount = 2;
        DeliverEvent(sim::fw::CsaDoneEvent(generation_));
        EXPECT_EQ(go->P2pEcsaRetryCount, 2) << "a second report only rebuilds the beacon";
        TearDown();
        SetUp();
    }
}

}  // namespace
}  // namespace jointest
