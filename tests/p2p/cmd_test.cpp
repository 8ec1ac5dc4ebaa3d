// The P2P command thread and its command handler.
#include <algorithm>
#include <string>

#include "kshim/host/wificx_peer.h"
#include "p2p/p2p_fixture.h"
#include "support/crossings.h"

namespace {

using p2ptest::Addr;
using p2ptest::Address;
using p2ptest::P2pTest;

class P2pCommands : public P2pTest {
protected:
    void SetUp() override
    {
        P2pTest::SetUp();
        kshim::host::ResetPeerRecords();
        station_ = Port(0, EXTSTA);
        device_ = Port(3, WFD_DEVICE);
    }
    void TearDown() override
    {
        kshim::host::ResetPeerRecords();
        P2pTest::TearDown();
    }
    BOOLEAN Run(MP_PORT* port, ULONG id, const void* payload = nullptr, ULONG length = 0)
    {
        return P2PCmdHandler(A(), port, id, static_cast<PUCHAR>(const_cast<void*>(payload)), length);
    }
    static NETADAPTER FakeNetAdapter(uintptr_t n) { return reinterpret_cast<NETADAPTER>(0x1000 + n); }

    // The firmware took one record, the abort of the grant held on `channel` of band 1; none is held now.
    void ExpectOneAbortOf(UCHAR channel)
    {
        const std::vector<p2ptest::Privilege> taken = Privileges();
        ASSERT_EQ(taken.size(), 1u);
        EXPECT_EQ(taken[0].action, 1);
        EXPECT_EQ(taken[0].channel, channel);
        EXPECT_EQ(taken[0].band, 1);
        EXPECT_EQ(adapter_->ChPrivilegeHeld, 0);
    }

    // The firmware took `count` listen requests in all: channel 6 of band 1 for 4000 ms, request kind 1.
    void ExpectListenRequests(size_t count)
    {
        size_t n = 0;
        for (const p2ptest::Privilege& p : Privileges()) {
            if (p.action != 0) {
                continue;
            }
            ++n;
            EXPECT_EQ(p.channel, 6);
            EXPECT_EQ(p.band, 1);
            EXPECT_EQ(p.kind, 1);
            EXPECT_EQ(p.durationMs, 4000u);
        }
        EXPECT_EQ(n, count);
    }

    MP_PORT* station_ = nullptr;
    MP_PORT* device_ = nullptr;
};

TEST_F(P2pCommands, ThreadRunsPostedCommandsInOrder)
{
    StartThreads();
    adapter_->P2pCounter = 7;
    ASSERT_EQ(QZEnqueueInternalCmd(A(), device_, P2P_CMD_CLEAR_COUNTER, nullptr, 0), STATUS_SUCCESS);
    // The record back in its pool (under the pool's lock) means the P2P thread is done with it.
    ASSERT_TRUE(Eventually([&] { return FreeCount(&adapter_->Cmd.InternalPool) == INTERNAL_CMD_POOL_SIZE; }));
    ASSERT_EQ(adapter_->P2pCounter, 0u);
    // Unknown ids are traced and their records returned.
    ASSERT_EQ(QZEnqueueInternalCmd(A(), device_, 0x20000011, nullptr, 0), STATUS_SUCCESS);
    ASSERT_EQ(QZEnqueueInternalCmd(A(), device_, 0x20000012, nullptr, 0), STATUS_SUCCESS);
    ASSERT_TRUE(Eventually([&] { return CountTraces("has no handler") == 2; }));
    auto texts = TraceTexts();
    auto first = std::find_if(texts.begin(), texts.end(), [](const std::string& t) { return t.find("0x20000011") != std::string::npos; });
    auto second = std::find_if(texts.begin(), texts.end(), [](const std::string& t) { return t.find("0x20000012") != std::string::npos; });
    EXPECT_LT(first, second);
    EXPECT_TRUE(Eventually([&] { return FreeCount(&adapter_->Cmd.InternalPool) == INTERNAL_CMD_POOL_SIZE; }));
}

TEST_F(P2pCommands, CommandsQueuedBeforeHaltingOrSuspendAreDroppedAndTheirRecordsReturned)
{
    StartThreads();
    // The thread body is running (its start routine no longer looks at the halting bits).
    adapter_->P2pCounter = 7;
    ASSERT_EQ(QZEnqueueInternalCmd(A(), device_, P2P_CMD_CLEAR_COUNTER, nullptr, 0), STATUS_SUCCESS);
    // The record back in its pool (under the pool's lock) means the P2P thread is done with it.
    ASSERT_TRUE(Eventually([&] { return FreeCount(&adapter_->Cmd.InternalPool) == INTERNAL_CMD_POOL_SIZE; }));
    ASSERT_EQ(adapter_->P2pCounter, 0u);
    for (ULONG flag : {ADAPTER_FLAG_HALT_IN_PROGRESS, ADAPTER_FLAG_NOT_RESPONDING, ADAPTER_FLAG_PCI_SUSPENDED}) {
        kshim::host::TraceClear();
        adapter_->P2pCounter = 7;
        // A record queued just before the flag is set.
        PINTERNAL_CMD cmd = QzGetInternalCmdBuffer(A());
        ASSERT_NE(cmd, nullptr);
        cmd->CmdId = P2P_CMD_CLEAR_COUNTER;
        cmd->PortIndex = 3;
        cmd->PayloadLength = 0;
        AdapterSetFlag(A(), flag, "test");
        PCOMMAND_QUEUE queue = &Block()->CmdQueue;
        KIRQL old;
        KeAcquireSpinLock(&queue->Lock, &old);
        cmd->Next = nullptr;
        queue->Head = queue->Tail = cmd;
        queue->Count = 1;
        KeReleaseSpinLock(&queue->Lock, old);
        PlatformSignalThread(&Block()->CmdThread);
        ASSERT_TRUE(Eventually([&] { return CountTraces("P2P command 0x20000005 dropped") == 1; })) << flag;
        EXPECT_TRUE(Eventually([&] { return FreeCount(&adapter_->Cmd.InternalPool) == INTERNAL_CMD_POOL_SIZE; }));
        EXPECT_EQ(adapter_->P2pCounter, 7u);
        AdapterClearFlag(A(), flag, "test");
    }
}

TEST_F(P2pCommands, PostsAreRefusedOnceTheThreadsStop)
{
    StartThreads();
    StopThreads();
    EXPECT_EQ(QZEnqueueInternalCmd(A(), device_, P2P_CMD_TICK, nullptr, 0), STATUS_UNSUCCESSFUL);
}

TEST_F(P2pCommands, AbsenceCommandIsAcceptedWithoutEffect)
{
    station_->P2pConnectState = P2P_I_AM_CLIENT_OP;
    adapter_->P2pCounter = 3;
    kshim::host::TraceClear();
    EXPECT_TRUE(Run(station_, P2P_CMD_NOA_ACCEPT));
    EXPECT_EQ(station_->P2pConnectState, P2P_I_AM_CLIENT_OP);
    EXPECT_EQ(adapter_->P2pCounter, 3u);
    EXPECT_TRUE(kshim::host::TraceSnapshot().empty());
}

TEST_F(P2pCommands, TickAdvancesTheCountersOnlyWhileTheDeviceIsEnabled)
{
    device_->P2pDiscoState = P2P_DISABLE;
    EXPECT_TRUE(Run(device_, P2P_CMD_TICK));
    EXPECT_EQ(device_->P2pStateTicks, 0u);
    device_->P2pDiscoState = P2P_IDLE;
    EXPECT_TRUE(Run(device_, P2P_CMD_TICK));
    EXPECT_EQ(device_->P2pStateTicks, 1u);
    EXPECT_EQ(device_->P2pFormationTicks, 1u);
    for (ULONG t : device_->P2pExtraTicks) {
        EXPECT_EQ(t, 1u);
    }
    // The OS-driven time-out runs on a new enough OS only.
    EXPECT_EQ(CountTraces("P2pMsTimeoutAction"), 1u);
    adapter_->CommonBlock->NdisVersion = NDIS_VERSION_629;
    EXPECT_TRUE(Run(device_, P2P_CMD_TICK));
    EXPECT_EQ(device_->P2pStateTicks, 2u);
    EXPECT_EQ(CountTraces("P2pMsTimeoutAction"), 1u);
}

TEST_F(P2pCommands, FormationEndDeletesFormingPeersAndClearsTheirMarks)
{
    P2pGroupTabInit(A());
    Address a = Addr(1), b = Addr(2), c = Addr(3);
    UCHAR kept = P2pGroupTabInsert(A(), a.data(), P2PSTATE_GO_DISCO_COMMAND, nullptr, 0);    // 8
    UCHAR gone = P2pGroupTabInsert(A(), b.data(), P2PSTATE_INVITE_COMMAND, nullptr, 0);      // 9
    UCHAR gone2 = P2pGroupTabInsert(A(), c.data(), P2PSTATE_GO_OPERATING, nullptr, 0);       // 34
    Block()->GroupTable[kept].FormFlags = 0x1F;
    station_->P2pDiscoState = P2P_SEARCH;
    station_->P2pConnectState = P2P_DO_GO_SCAN_DONE;
    station_->P2pConnRecordFlag = 1;
    station_->P2pConnRecords[1][7] = 9;
    EXPECT_TRUE(Run(station_, P2P_CMD_FORMATION_END));
    EXPECT_EQ(Block()->GroupTable[kept].State, P2PSTATE_GO_DISCO_COMMAND);
    EXPECT_EQ(Block()->GroupTable[kept].FormFlags, 0x07);
    EXPECT_EQ(Block()->GroupTable[gone].State, P2PSTATE_NONE);
    EXPECT_EQ(Block()->GroupTable[gone2].State, P2PSTATE_NONE);
    EXPECT_EQ(Block()->GroupEntryCount, 1);
    EXPECT_EQ(station_->P2pConnectState, P2P_CONNECT_IDLE);
    EXPECT_EQ(station_->P2pDiscoState, P2P_IDLE);
    EXPECT_EQ(station_->P2pWpsDevicePasswordId, 0xFFFF);
    EXPECT_EQ(station_->P2pConnRecordFlag, 0);
    EXPECT_EQ(station_->P2pConnRecords[1][7], 0);
    // P2pGotoIdle (0, 2) set the discovery length.
    EXPECT_EQ(station_->P2pDiscoTicks, 2u);
}

TEST_F(P2pCommands, ConnectionResetReturnsTheDeviceSideToIdle)
{
    station_->P2pDiscoState = P2P_LISTEN;
    station_->P2pConnectState = P2P_I_AM_CLIENT_OP;
    station_->P2pFormationTicks = 55;
    station_->ConnectionFlags = PORT_CONN_CONNECTED;
    EXPECT_TRUE(Run(station_, P2P_CMD_CONNECTION_RESET));
    EXPECT_EQ(station_->P2pConnectState, P2P_CONNECT_IDLE);
    EXPECT_EQ(station_->P2pDiscoState, P2P_IDLE);
    EXPECT_EQ(station_->P2pFormationTicks, 55u);  // kept while the station is connected
    station_->ConnectionFlags = 0;
    EXPECT_TRUE(Run(station_, P2P_CMD_CONNECTION_RESET));
    EXPECT_EQ(station_->P2pFormationTicks, 0u);
    // A device forming as group owner starts its autonomous group again.
    station_->P2pFormState = P2P_ANY_IN_FORMATION_AS_GO;
    EXPECT_TRUE(Run(station_, P2P_CMD_CONNECTION_RESET));
    EXPECT_EQ(qzltest::NotBuiltCalls("P2pStartAutoGo"), 1u);
}

TEST_F(P2pCommands, SendAndAckCommandsSetTheMachineSignalFromByte30)
{
    UCHAR record[39] = {};
    record[P2P_ACTION_SUBTYPE_OFFSET] = 7;
    EXPECT_TRUE(Run(device_, P2P_CMD_ACTION_SEND, record, sizeof(record)));
    EXPECT_EQ(device_->P2pActState, P2P_SEND_STATE);
    EXPECT_EQ(device_->P2pActSignal, 7);
    record[P2P_ACTION_SUBTYPE_OFFSET] = P2P_GOT_ACK;
    device_->P2pActState = 103;
    EXPECT_TRUE(Run(device_, P2P_CMD_ACTION_ACK, record, sizeof(record)));
    EXPECT_EQ(device_->P2pActState, 103);
    EXPECT_EQ(device_->P2pActSignal, P2P_GOT_ACK);
    // A record too short to hold the signal changes nothing.
    EXPECT_TRUE(Run(device_, P2P_CMD_ACTION_SEND, record, P2P_ACTION_SUBTYPE_OFFSET));
    EXPECT_EQ(device_->P2pActState, 103);
    EXPECT_EQ(CountTraces("has no signal"), 1u);
}

TEST_F(P2pCommands, ChannelSwitchNotificationIsCompletedOnceForTwoPosts)
{
    MP_PORT* go = Port(2, WFD_GO);
    go->NetAdapter = FakeNetAdapter(2);
    go->P2pCsaNotifyArmed.store(1);
    EXPECT_TRUE(Run(go, P2P_CMD_ECSA_SWITCH));
    EXPECT_TRUE(Run(go, P2P_CMD_ECSA_SWITCH));
    EXPECT_EQ(kshim::host::ChannelSwitchCompletions(go->NetAdapter), 1u);
    EXPECT_EQ(go->P2pCsaNotifyArmed.load(), 0u);
    // A hotspot group owner, and a group owner without a net adapter, complete nothing.
    go->P2pCsaNotifyArmed.store(1);
    go->HotspotGo = 1;
    EXPECT_TRUE(Run(go, P2P_CMD_ECSA_SWITCH));
    EXPECT_EQ(go->P2pCsaNotifyArmed.load(), 1u);
    go->HotspotGo = 0;
    go->NetAdapter = nullptr;
    EXPECT_TRUE(Run(go, P2P_CMD_ECSA_SWITCH));
    EXPECT_EQ(go->P2pCsaNotifyArmed.load(), 0u);
    EXPECT_EQ(CountTraces("channel-switch notification without a net adapter"), 1u);
}

TEST_F(P2pCommands, GroupOwnerRemovesAPeerWithoutAStationEntry)
{
    MP_PORT* go = Port(2, WFD_GO);
    go->NetAdapter = FakeNetAdapter(2);
    Address peer = Addr(0x42);
    EXPECT_TRUE(Run(go, P2P_CMD_PEER_REMOVE, peer.data(), 6));
    auto calls = kshim::host::PeerCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].add);
    EXPECT_EQ(calls[0].adapter, go->NetAdapter);
    EXPECT_EQ(std::memcmp(calls[0].address.data(), peer.data(), 6), 0);
    // Any other port needs the peer's station entry.
    MP_PORT* client = Port(4, WFD_CLIENT);
    client->NetAdapter = FakeNetAdapter(4);
    EXPECT_TRUE(Run(client, P2P_CMD_PEER_REMOVE, peer.data(), 6));
    EXPECT_TRUE(Run(client, P2P_CMD_PEER_ADD, peer.data(), 6));
    EXPECT_EQ(kshim::host::PeerCalls().size(), 1u);
    // A payload without a whole address is refused.
    EXPECT_TRUE(Run(go, P2P_CMD_PEER_REMOVE, peer.data(), 5));
    EXPECT_EQ(kshim::host::PeerCalls().size(), 1u);
    EXPECT_EQ(CountTraces("has no address"), 1u);
}

TEST_F(P2pCommands, DwellEndResumesTheListenPhase)
{
    TakeFirmwareCommands();
    kshim::host::ClockSetManual();
    device_->P2pResumeListen = 1;
    device_->P2pListenState = 1;
    device_->P2pListenChannel = 6;
    station_->ConnectionFlags = PORT_CONN_CONNECTED;
    EXPECT_TRUE(Run(device_, P2P_CMD_DWELL_END));
    EXPECT_EQ(device_->P2pResumeListen, 0);
    ExpectListenRequests(1);
    EXPECT_EQ(device_->P2pListenSTASwitchTimer.Pending.load(), 1);
    EXPECT_EQ(device_->P2pListenSTASwitchTimer.PeriodMs, 1000u);
    // Its expiry posts the command again.
    kshim::host::ClockAdvanceMs(1000);
    EXPECT_TRUE(Eventually([&] { return QueueCount(&Block()->CmdQueue) == 1; }));
    EXPECT_EQ(Block()->CmdQueue.Head->CmdId, P2P_CMD_DWELL_END);
    // Nothing while a group owner is up.
    device_->P2pResumeListen = 1;
    Block()->P2pRoleFlags = P2P_ROLE_GO_UP;
    EXPECT_TRUE(Run(device_, P2P_CMD_DWELL_END));
    EXPECT_EQ(device_->P2pResumeListen, 1);
    PlatformFreeTimer(&device_->P2pListenSTASwitchTimer);
    while (PINTERNAL_CMD r = QzDequeueCmdQueueLocked(&Block()->CmdQueue)) {
        QzReturnInternalCmdBuffer(A(), r);
    }
}

TEST_F(P2pCommands, ListenSwitchRestartsTheListenStateUnlessSuspended)
{
    TakeFirmwareCommands();
    device_->P2pListenState = 1;
    device_->P2pListenChannel = 6;
    EXPECT_TRUE(Run(device_, P2P_CMD_LISTEN_SWITCH));
    ExpectListenRequests(1);
    AdapterSetFlag(A(), ADAPTER_FLAG_PCI_SUSPENDED, "test");
    EXPECT_TRUE(Run(device_, P2P_CMD_LISTEN_SWITCH));
    ExpectListenRequests(1);
    AdapterClearFlag(A(), ADAPTER_FLAG_PCI_SUSPENDED, "test");
}

TEST_F(P2pCommands, PrivilegeEventCompletesAnOutstandingDiscovery)
{
    TakeFirmwareCommands();
    // A grant is held, so the release the event asks for reaches the firmware as an abort.
    adapter_->ChPrivilegeHeld = 1;
    adapter_->ChPrivilegeChannel = 6;
    adapter_->ChPrivilegeBand = BAND_24G;
    device_->Channel = {BAND_24G, 6, 6, BW_20};
    EXPECT_TRUE(Run(device_, P2P_CMD_PRIVILEGE_EVENT));
    EXPECT_TRUE(Privileges().empty());
    adapter_->DiscoveryPrivilege = 1;
    EXPECT_TRUE(Run(device_, P2P_CMD_PRIVILEGE_EVENT));
    EXPECT_EQ(adapter_->DiscoveryPrivilege, 0);
    ExpectOneAbortOf(6);
    EXPECT_EQ(qzltest::NotBuiltCalls("P2pMsIndicateDiscoverComplete"), 1u);
}

TEST_F(P2pCommands, SendTaskAbortReleasesThePrivilegeAndPostsTheAcknowledgement)
{
    TakeFirmwareCommands();
    adapter_->ChPrivilegeHeld = 1;
    adapter_->ChPrivilegeChannel = 11;
    adapter_->ChPrivilegeBand = BAND_24G;
    EXPECT_TRUE(Run(device_, P2P_CMD_SEND_TASK_ABORT));
    ExpectOneAbortOf(11);
    ASSERT_EQ(QueueCount(&Block()->CmdQueue), 1u);
    PINTERNAL_CMD posted = QzDequeueCmdQueueLocked(&Block()->CmdQueue);
    EXPECT_EQ(posted->CmdId, P2P_CMD_ACTION_GOT_ACK);
    EXPECT_EQ(posted->PortIndex, 3u);
    QzReturnInternalCmdBuffer(A(), posted);
    // Without a frame waiting for its status the acknowledgement is only traced.
    EXPECT_TRUE(Run(device_, P2P_CMD_ACTION_GOT_ACK));
    EXPECT_EQ(CountTraces("transmit status without a frame waiting for it"), 1u);
}

TEST_F(P2pCommands, GroupOwnerBeaconUpdateNeedsARunningGroupOwner)
{
    station_->P2pGoPortIndex = 2;
    EXPECT_TRUE(Run(station_, P2P_CMD_GO_UPDATE_BEACON));
    EXPECT_EQ(CountTraces("no running group owner at port 2"), 1u);
    MP_PORT* go = Port(2, WFD_GO);
    EXPECT_TRUE(Run(station_, P2P_CMD_GO_UPDATE_BEACON_NOA));
    EXPECT_EQ(qzltest::NotBuiltCalls("GOUpdateBeaconFrame"), 1u);
    go->Active = 0;
    EXPECT_TRUE(Run(station_, P2P_CMD_GO_UPDATE_BEACON));
    EXPECT_EQ(CountTraces("no running group owner at port 2"), 2u);
}

}  // namespace
