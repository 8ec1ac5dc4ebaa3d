// The state-machine framework, the MLME handler's dispatch, the thread, the restart of a port's
// machines and the MLME start-up and shut-down.
#include <atomic>

#include "Common/mlme/mlmeconnect.h"
#include "mlme/mlme_fixture.h"

namespace mlmetest {
namespace {

// What the recording actions saw.
struct Seen {
    ULONG machine;
    ULONG message;
    ULONG port;
    ULONG length;
};
std::vector<Seen> g_seen;
std::function<void(PMP_ADAPTER, PMLME_QUEUE_ELEM)> g_onAction;

VOID Record(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    g_seen.push_back({elem->Machine, elem->MsgType, elem->PortIndex, elem->MsgLen});
    if (g_onAction) {
        g_onAction(adapter, elem);
    }
}

// Entry/exit rows that log their calls.
std::vector<std::string> g_calls;
VOID Entry0(PMP_ADAPTER, PMP_PORT) { g_calls.push_back("entry0"); }
VOID Exit0(PMP_ADAPTER, PMP_PORT) { g_calls.push_back("exit0"); }
VOID Entry1(PMP_ADAPTER, PMP_PORT) { g_calls.push_back("entry1"); }
VOID Exit1(PMP_ADAPTER, PMP_PORT) { g_calls.push_back("exit1"); }
VOID Handler1(PMP_ADAPTER, PMLME_QUEUE_ELEM) { g_calls.push_back("handler1"); }
VOID Handler1b(PMP_ADAPTER, PMLME_QUEUE_ELEM) { g_calls.push_back("handler1b"); }

const ENTRY_EXIT_STATE kRows[] = {
    {0, Entry0, nullptr, Exit0},
    {1, nullptr, Handler1, nullptr},
    {1, Entry1, Handler1b, Exit1},
};

class Machines : public MlmeTest {
protected:
    void SetUp() override
    {
        MlmeTest::SetUp();
        g_seen.clear();
        g_calls.clear();
        g_onAction = nullptr;
    }
    void TearDown() override
    {
        g_onAction = nullptr;
        MlmeTest::TearDown();
    }
};

TEST_F(Machines, ATableMachineIgnoresCellsOutsideItsTable)
{
    STATE_MACHINE machine{};
    PSTATE_MACHINE_FUNC table[5 * 11] = {};
    machine.Flag = 9;
    StateMachineInit(&machine, table, 5, 11, Drop, 3, 0);
    EXPECT_EQ(machine.CurrState, 3u);
    EXPECT_EQ(machine.Flag, 0);
    for (PSTATE_MACHINE_FUNC f : table) {
        EXPECT_EQ(f, &Drop);
    }
    StateMachineSetAction(&machine, 5, 0, Record);
    StateMachineSetAction(&machine, 0, 11, Record);
    StateMachineSetAction(&machine, 0xFFFFFFFFu, 0, Record);
    for (PSTATE_MACHINE_FUNC f : table) {
        EXPECT_EQ(f, &Drop);
    }
    StateMachineSetAction(&machine, 4, 10, Record);
    EXPECT_EQ(table[4 * 11 + 10], &Record);

    // With a base, messages below it are outside too.
    StateMachineInit(&machine, table, 1, 3, Drop, 0, 100);
    StateMachineSetAction(&machine, 0, 99, Record);
    StateMachineSetAction(&machine, 0, 103, Record);
    StateMachineSetAction(&machine, 0, 102, Record);
    EXPECT_EQ(table[0], &Drop);
    EXPECT_EQ(table[2], &Record);
}

TEST_F(Machines, EntryExitMachineRunsTheFirstMatchingRows)
{
    MP_PORT* port = AddPort(0, EXTSTA);
    ENTRY_EXIT_STATE_MACHINE machine{port, 3, 0, kRows};
    MLME_QUEUE_ELEM elem{};
    StateMachineHandle(adapter_, &machine, &elem);  // state 0 has no handler
    EXPECT_TRUE(g_calls.empty());

    StateMachineSetState(adapter_, &machine, 1);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"exit0", "entry1"}));
    EXPECT_EQ(StateMachineGetState(&machine), 1u);
    g_calls.clear();
    StateMachineHandle(adapter_, &machine, &elem);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"handler1"}));

    g_calls.clear();
    StateMachineSetState(adapter_, &machine, 1);  // to the same state: exit and entry again
    EXPECT_EQ(g_calls, (std::vector<std::string>{"exit1", "entry1"}));

    g_calls.clear();
    StateMachineSetState(adapter_, &machine, 7);  // no row: only the old state's exit
    EXPECT_EQ(g_calls, (std::vector<std::string>{"exit1"}));
    EXPECT_EQ(StateMachineGetState(&machine), 7u);
}

TEST_F(Machines, StartUpBuildsPort0sMachinesAndTheBufferPool)
{
    StartMlme();
    MP_PORT* port0 = adapter_->PortList[0];
    struct Dim {
        const char* name;
        const STATE_MACHINE& machine;
        ULONG states;
        ULONG messages;
    };
    const MLME_PORT_BLOCK& m = port0->Mlme;
    const Dim dims[] = {
        {"assoc", m.AssocMachine, 4, 11},   {"auth", m.AuthMachine, 3, 3},
        {"sae", m.SaeMachine, 5, 5},        {"auth rsp", m.AuthRspMachine, 2, 3},
        {"sync", m.SyncMachine, 5, 11},     {"twt", m.TwtMachine, 1, 10},
        {"pmf", m.PmfMachine, 2, 4},        {"p2p action", m.P2pActionMachine, 1, 12},
        {"ap assoc", m.ApAssocMachine, 1, 6}, {"ap auth", m.ApAuthMachine, 1, 2},
        {"ap auth rsp", m.ApAuthRspMachine, 1, 3}, {"ap sync", m.ApSyncMachine, 1, 3},
    };
    for (const Dim& d : dims) {
        EXPECT_EQ(d.machine.NrState, d.states) << d.name;
        EXPECT_EQ(d.machine.NrMsg, d.messages) << d.name;
        EXPECT_EQ(d.machine.CurrState, 0u) << d.name;
        EXPECT_EQ(d.machine.Base, 0) << d.name;
        ASSERT_NE(d.machine.TransFunc, nullptr) << d.name;
        // The target-wake-time machine acts on every message of its one state, the authentication
        // machine on the time-out in its last state, the authentication-response machine on a
        // deauthentication in either state and the SA Query machine arms its confirm timer while
        // querying; the others drop their last message.
        const std::string name = d.name;
        if (name != "twt" && name != "auth" && name != "auth rsp" && name != "pmf") {
            EXPECT_EQ(d.machine.TransFunc[d.states * d.messages - 1], &Drop) << d.name;
        } else {
            EXPECT_NE(d.machine.TransFunc[d.states * d.messages - 1], &Drop) << d.name;
        }
    }
    EXPECT_EQ(m.ActionMachine.Port, port0);
    EXPECT_EQ(adapter_->MlmeQueue, &adapter_->Mlme.Queue);
    EXPECT_EQ(adapter_->Mlme.BufferPool.BlocksCreated, 20u);
    EXPECT_EQ(adapter_->Mlme.BufferPool.FreeCount, 20u);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV05"), 20u);
}

TEST_F(Machines, StartUpWithoutBuffersStillBuildsPort0sMachines)
{
    AddPort(0, EXTSTA);
    ASSERT_EQ(MlmeSyncInitMacTabPool(adapter_), STATUS_SUCCESS);
    kshim::host::FaultArm("pool", "ZV05", 4, STATUS_INSUFFICIENT_RESOURCES, 6);
    EXPECT_EQ(MlmeInit(adapter_), STATUS_UNSUCCESSFUL);  // the allocator's status after its retries
    EXPECT_EQ(adapter_->Mlme.BufferPool.BlocksCreated, 3u);
    EXPECT_EQ(adapter_->Mlme.BufferPool.Ready, 1);
    EXPECT_EQ(adapter_->PortList[0]->Mlme.SyncMachine.NrMsg, 11u);
    EXPECT_EQ(adapter_->Mlme.Initialized.load(), 0);
    MlmeHalt(adapter_, adapter_->PortList[0]);  // gives the three blocks back
}

TEST_F(Machines, TheHandlerRunsEachMessageOnItsMachineInOrder)
{
    StartMlme();
    MP_PORT* port0 = adapter_->PortList[0];
    MP_PORT* port1 = AddPort(1, EXTSTA);
    InitPort(port1);
    port0->Mlme.SyncMachine.CurrState = 2;
    StateMachineSetAction(&port0->Mlme.SyncMachine, 2, 3, Record);
    StateMachineSetAction(&port1->Mlme.AssocMachine, 0, 2, Record);
    StateMachineSetAction(&port1->Mlme.SaeMachine, 0, 4, Record);

    const UCHAR body[8] = {};
    ASSERT_TRUE(MlmeEnqueue(adapter_, port0, MLME_SYNC_STATE_MACHINE, 3, 5, body));
    ASSERT_TRUE(MlmeEnqueue(adapter_, port1, MLME_WPS_STATE_MACHINE, 1, 0, nullptr));  // no handler
    ASSERT_TRUE(MlmeEnqueue(adapter_, port1, MLME_ASSOC_STATE_MACHINE, 2, 8, body));
    ASSERT_TRUE(MlmeEnqueue(adapter_, port0, MLME_SYNC_STATE_MACHINE, 5, 0, nullptr));  // a Drop cell
    ASSERT_TRUE(MlmeEnqueue(adapter_, port1, MLME_SAE_STATE_MACHINE, 4, 1, body));
    ASSERT_EQ(MlmeHandler(adapter_), STATUS_SUCCESS);

    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[0].machine, 4u);
    EXPECT_EQ(g_seen[0].message, 3u);
    EXPECT_EQ(g_seen[0].port, 0u);
    EXPECT_EQ(g_seen[0].length, 5u);
    EXPECT_EQ(g_seen[1].machine, 1u);
    EXPECT_EQ(g_seen[1].port, 1u);
    EXPECT_EQ(g_seen[2].machine, 20u);
    EXPECT_EQ(Queued(), 0u);
    EXPECT_EQ(CountTraces("MLME machine 9 has no handler"), 1u);
    EXPECT_EQ(CountTraces("Drop: port 0 machine 4 message 5"), 1u);
    for (const MLME_QUEUE_ELEM& elem : adapter_->Mlme.Queue.Entry) {
        EXPECT_EQ(elem.Occupied, 0);
        EXPECT_EQ(elem.MsgLen, 0u);
    }
    EXPECT_EQ(adapter_->Mlme.HandlerRunning, 0);
}

TEST_F(Machines, MessagesOutsideTheMachineAndForConnectControlOrActions)
{
    StartMlme();
    MP_PORT* port0 = adapter_->PortList[0];
    ASSERT_TRUE(MlmeEnqueue(adapter_, port0, MLME_SYNC_STATE_MACHINE, 11, 0, nullptr));
    ASSERT_TRUE(MlmeEnqueue(adapter_, port0, MLME_CNTL_STATE_MACHINE, 41, 0, nullptr));
    ASSERT_TRUE(MlmeEnqueue(adapter_, port0, MLME_ACTION_STATE_MACHINE, 4, 0, nullptr));
    ASSERT_EQ(MlmeHandler(adapter_), STATUS_SUCCESS);
    EXPECT_EQ(CountTraces("message 11 out of range, discarded"), 1u);
    EXPECT_EQ(CountTraces("MlmeCntlMachinePerformAction: state 0 message 41"), 1u);
    EXPECT_EQ(Queued(), 0u);
}

TEST_F(Machines, AMessageForAMissingPortStopsTheDrain)
{
    StartMlme();
    MP_PORT* port0 = adapter_->PortList[0];
    MP_PORT* port2 = AddPort(2, EXTSTA);
    InitPort(port2);
    StateMachineSetAction(&port0->Mlme.SyncMachine, 0, 1, Record);
    ASSERT_TRUE(MlmeEnqueue(adapter_, port2, MLME_SYNC_STATE_MACHINE, 1, 0, nullptr));
    ASSERT_TRUE(MlmeEnqueue(adapter_, port0, MLME_SYNC_STATE_MACHINE, 1, 0, nullptr));
    adapter_->PortList[2] = nullptr;
    ASSERT_EQ(MlmeHandler(adapter_), STATUS_SUCCESS);
    EXPECT_TRUE(g_seen.empty());
    EXPECT_EQ(Queued(), 1u);  // the drain stopped; the next run takes port 0's message
    EXPECT_EQ(adapter_->Mlme.Queue.Entry[0].Occupied, 0);
    ASSERT_EQ(MlmeHandler(adapter_), STATUS_SUCCESS);
    EXPECT_EQ(g_seen.size(), 1u);
    delete port2;
}

TEST_F(Machines, WhileARestartRunsMessagesQueueButAreNotRun)
{
    StartMlme();
    MP_PORT* port0 = adapter_->PortList[0];
    StateMachineSetAction(&port0->Mlme.SyncMachine, 0, 1, Record);
    AdapterSetFlag(adapter_, ADAPTER_FLAG_MLME_RESTARTING, "test");
    ASSERT_TRUE(MlmeEnqueue(adapter_, port0, MLME_SYNC_STATE_MACHINE, 1, 0, nullptr));
    EXPECT_FALSE(MlmeEnqueueForRecv(adapter_, port0, 1, 0, 0, 0, 24, MgmtFrame(8).data()));
    ASSERT_EQ(MlmeHandler(adapter_), STATUS_SUCCESS);
    EXPECT_TRUE(g_seen.empty());
    EXPECT_EQ(Queued(), 1u);
    AdapterClearFlag(adapter_, ADAPTER_FLAG_MLME_RESTARTING, "test");
    ASSERT_EQ(MlmeHandler(adapter_), STATUS_SUCCESS);
    EXPECT_EQ(g_seen.size(), 1u);
}

TEST_F(Machines, TheMlmeThreadRunsPostedMessages)
{
    StartMlme();
    MP_PORT* port0 = adapter_->PortList[0];
    std::atomic<int> runs{0};
    StateMachineSetAction(&port0->Mlme.SyncMachine, 0, 2, Record);
    g_onAction = [&](PMP_ADAPTER, PMLME_QUEUE_ELEM) { runs.fetch_add(1); };
    PlatformInitThread(adapter_, adapter_, &adapter_->MlmeThread, MlmeThreadProc, "MlmeThread");
    ASSERT_EQ(PlatformRunThread(adapter_, &adapter_->MlmeThread), STATUS_SUCCESS);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(MlmeEnqueue(adapter_, port0, MLME_SYNC_STATE_MACHINE, 2, 0, nullptr));
    }
    EXPECT_TRUE(Eventually([&] { return runs.load() == 5; }));
    EXPECT_TRUE(Eventually([&] { return Queued() == 0; }));
}

TEST_F(Machines, FourProducersAndTheMlmeThreadLoseNothingAndKeepEachProducersOrder)
{
    StartMlme();
    MP_PORT* port0 = adapter_->PortList[0];
    constexpr int kProducers = 4;
    constexpr ULONG kEach = 400;
    std::atomic<ULONG> total{0};
    std::vector<ULONG> next(kProducers, 0);
    std::atomic<int> outOfOrder{0};
    StateMachineSetAction(&port0->Mlme.SyncMachine, 0, 6, Record);
    g_onAction = [&](PMP_ADAPTER, PMLME_QUEUE_ELEM elem) {
        ULONG producer = elem->Msg[0];
        ULONG sequence = 0;
        std::memcpy(&sequence, elem->Msg + 1, 4);
        if (producer >= kProducers || sequence != next[producer]) {
            outOfOrder.fetch_add(1);
        } else {
            ++next[producer];
        }
        total.fetch_add(1);
    };
    g_seen.reserve(kProducers * kEach);
    PlatformInitThread(adapter_, adapter_, &adapter_->MlmeThread, MlmeThreadProc, "MlmeThread");
    ASSERT_EQ(PlatformRunThread(adapter_, &adapter_->MlmeThread), STATUS_SUCCESS);
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (ULONG i = 0; i < kEach; ++i) {
                UCHAR body[5] = {static_cast<UCHAR>(p)};
                std::memcpy(body + 1, &i, 4);
                while (!MlmeEnqueue(adapter_, port0, MLME_SYNC_STATE_MACHINE, 6, sizeof(body), body)) {
                    std::this_thread::yield();  // full: the MLME thread makes room
                }
            }
        });
    }
    for (std::thread& t : producers) {
        t.join();
    }
    EXPECT_TRUE(Eventually([&] { return total.load() == kProducers * kEach; }));
    EXPECT_EQ(outOfOrder.load(), 0);
}

// ---- restart ---------------------------------------------------------------------------------------------
class Restart : public Machines {
protected:
    void SetUp() override
    {
        Machines::SetUp();
        StartMlme();
        port0_ = adapter_->PortList[0];
        port1_ = AddPort(1, EXTSTA);
        InitPort(port1_);
    }
    MP_PORT* port0_ = nullptr;
    MP_PORT* port1_ = nullptr;
};

TEST_F(Restart, OnlyThePortsMessagesLeaveTheQueueTheOthersKeepOrderAndReceiveData)
{
    adapter_->LastRxBand = BAND_5G;
    adapter_->LastRxChannel = 100;
    auto beacon = MgmtFrame(8, {0xB0});
    ULONG value = 0;
    ASSERT_TRUE(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, 1, 4, &(value = 1)));
    ASSERT_TRUE(MlmeEnqueue(adapter_, port1_, MLME_SYNC_STATE_MACHINE, 1, 4, &(value = 2)));
    ASSERT_TRUE(MlmeEnqueueForRecv(adapter_, port0_, 7, 0xC1, 0xC2, 0xC3, static_cast<ULONG>(beacon.size()),
                                   beacon.data()));
    ASSERT_TRUE(MlmeEnqueue(adapter_, port1_, MLME_ASSOC_STATE_MACHINE, 2, 4, &(value = 4)));
    ASSERT_TRUE(MlmeEnqueue(adapter_, port0_, MLME_AUTH_STATE_MACHINE, 0, 4, &(value = 5)));
    adapter_->LastRxChannel = 36;

    ASSERT_EQ(MlmeRestartStateMachine(adapter_, port1_), STATUS_SUCCESS);

    auto elems = QueuedElements();
    ASSERT_EQ(elems.size(), 3u);
    ULONG first = 0;
    std::memcpy(&first, elems[0]->Msg, 4);
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(elems[1]->Machine, 4u);
    EXPECT_EQ(elems[1]->MsgType, 3u);
    EXPECT_EQ(elems[1]->WlanIdx, 7);
    EXPECT_EQ(elems[1]->Rssi0, 0xC1);
    EXPECT_EQ(elems[1]->Rssi2, 0xC3);
    EXPECT_EQ(elems[1]->Band, BAND_5G);
    EXPECT_EQ(elems[1]->Channel, 100);  // the channel it was received on, not the port's
    EXPECT_EQ(elems[1]->MsgLen, beacon.size());
    EXPECT_EQ(elems[1]->Msg[24], 0xB0);
    ULONG last = 0;
    std::memcpy(&last, elems[2]->Msg, 4);
    EXPECT_EQ(last, 5u);
    for (const MLME_QUEUE_ELEM* e : elems) {
        EXPECT_EQ(e->PortIndex, 0u);
    }
    EXPECT_FALSE(AdapterTestFlags(adapter_, ADAPTER_FLAG_MLME_RESTARTING));
    EXPECT_EQ(adapter_->Mlme.HandlerRunning, 0);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV05"), 20u);  // the purge's copy is freed
}

TEST_F(Restart, WithoutMemoryForThePurgeEveryMessageIsDiscarded)
{
    ASSERT_TRUE(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, 1, 0, nullptr));
    ASSERT_TRUE(MlmeEnqueue(adapter_, port1_, MLME_SYNC_STATE_MACHINE, 1, 0, nullptr));
    kshim::host::FaultArm("pool", "ZV05", 1, STATUS_INSUFFICIENT_RESOURCES, 6);
    ASSERT_EQ(MlmeRestartStateMachine(adapter_, port1_), STATUS_SUCCESS);
    EXPECT_EQ(Queued(), 0u);
    for (const MLME_QUEUE_ELEM& elem : adapter_->Mlme.Queue.Entry) {
        EXPECT_EQ(elem.Occupied, 0);
    }
}

TEST_F(Restart, MachinesReturnToIdleExceptTwtAndTheAccessPointMachines)
{
    for (MP_PORT* port : {port0_, port1_}) {
        MLME_PORT_BLOCK& m = port->Mlme;
        m.CntlMachine.CurrState = 8;
        m.CntlMachine.ResetRequest = 1;
        m.AssocMachine.CurrState = 3;
        m.AuthMachine.CurrState = 2;
        m.AuthRspMachine.CurrState = 1;
        m.SyncMachine.CurrState = 4;
        m.PmfMachine.CurrState = 1;
        m.SaeMachine.CurrState = 4;
        m.P2pActionMachine.CurrState = 1;
        m.TwtMachine.CurrState = 1;
        m.ApSyncMachine.CurrState = 1;
        m.SaeStatus = 77;
        m.SaeRetransCount = 3;
        m.P2pPublicActionState = 5;
    }
    port1_->Mlme.ActionMachine = {port1_, 3, 1, kRows};
    adapter_->Mlme.ConnectRetryCount = 4;

    ASSERT_EQ(MlmeRestartStateMachine(adapter_, port1_), STATUS_SUCCESS);
    const MLME_PORT_BLOCK& m = port1_->Mlme;
    EXPECT_EQ(m.CntlMachine.CurrState, 0u);
    EXPECT_EQ(m.CntlMachine.ResetRequest, 0);
    for (ULONG state : {m.AssocMachine.CurrState, m.AuthMachine.CurrState, m.AuthRspMachine.CurrState,
                        m.SyncMachine.CurrState, m.PmfMachine.CurrState, m.SaeMachine.CurrState,
                        m.P2pActionMachine.CurrState, m.ActionMachine.CurrentState}) {
        EXPECT_EQ(state, 0u);
    }
    EXPECT_EQ(g_calls, (std::vector<std::string>{"exit1", "entry0"}));
    EXPECT_EQ(m.TwtMachine.CurrState, 1u);
    EXPECT_EQ(m.ApSyncMachine.CurrState, 1u);
    EXPECT_EQ(m.SaeStatus, 0);
    EXPECT_EQ(m.SaeRetransCount, 0);
    EXPECT_EQ(m.P2pPublicActionState, 0u);
    EXPECT_EQ(adapter_->Mlme.ConnectRetryCount, 0u);
    EXPECT_EQ(port0_->Mlme.SyncMachine.CurrState, 4u);  // another port is left alone
}

TEST_F(Restart, Port0AlsoEndsAnOwedScanAndClearsItsAdapterState)
{
    struct Case {
        MP_PORT* port;
        bool port0Steps;
    };
    for (Case c : {Case{port1_, false}, Case{port0_, true}}) {
        kshim::host::TraceClear();
        adapter_->OsScanRequest = 1;
        adapter_->PendingScanPort = 0;
        adapter_->Mlme.AutoReconnectPending = 1;
        adapter_->Mlme.SplitScanProgress = 3;
        AdapterSetFlag(adapter_, 0x2000u | 0x8000u, "test");
        ASSERT_EQ(MlmeRestartStateMachine(adapter_, c.port), STATUS_SUCCESS);
        EXPECT_EQ(adapter_->OsScanRequest, c.port0Steps ? 0 : 1) << "the owed scan completion was indicated";
        EXPECT_EQ(adapter_->Mlme.AutoReconnectPending, c.port0Steps ? 0 : 1);
        EXPECT_EQ(adapter_->Mlme.SplitScanProgress, c.port0Steps ? 0 : 3);
        EXPECT_EQ(AdapterTestFlags(adapter_, 0x2000u | 0x8000u), !c.port0Steps);
    }
    // The hold flag keeps the auto-reconnect; a scan of another port is not port 0's to end.
    kshim::host::TraceClear();
    adapter_->Mlme.AutoReconnectPending = 1;
    adapter_->Mlme.AutoReconnectHold = 1;
    adapter_->PendingScanPort = 1;
    adapter_->OsScanRequest = 1;
    ASSERT_EQ(MlmeRestartStateMachine(adapter_, port0_), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->Mlme.AutoReconnectPending, 1);
    EXPECT_EQ(adapter_->OsScanRequest, 1);
    adapter_->OsScanRequest = 0;
}

TEST_F(Restart, ARestartInsideAnActionLeavesTheHandlerClaimedUntilItEnds)
{
    StateMachineSetAction(&port0_->Mlme.SyncMachine, 0, 1, Record);
    std::vector<UCHAR> runningAfterRestart;
    g_onAction = [&](PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem) {
        if (elem->MsgType == 1 && elem->Msg[0] == 1) {
            (void)MlmeRestartStateMachine(adapter, port1_);
            runningAfterRestart.push_back(adapter->Mlme.HandlerRunning);
            // A second handler (another thread's) must find the handler still claimed.
            EXPECT_EQ(MlmeHandler(adapter), STATUS_SUCCESS);
            EXPECT_EQ(g_seen.size(), 1u);
        }
    };
    const UCHAR first = 1;
    const UCHAR second = 2;
    ASSERT_TRUE(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, 1, 1, &first));
    ASSERT_TRUE(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, 1, 1, &second));
    ASSERT_EQ(MlmeHandler(adapter_), STATUS_SUCCESS);
    EXPECT_EQ(runningAfterRestart, (std::vector<UCHAR>{1}));
    ASSERT_EQ(g_seen.size(), 2u);  // the outer handler went on with the second message
    EXPECT_EQ(adapter_->Mlme.HandlerRunning, 0);
    EXPECT_EQ(adapter_->Mlme.HandlerClaims, 0u);
}

TEST_F(Restart, BeforeTheMlmeCoreExistsOnlyTheMachineStatesAreReset)
{
    MlmeTest::TearDown();  // a fresh adapter without MlmeInit
    MlmeTest::SetUp();
    started_ = false;
    MP_PORT* port = AddPort(0, EXTSTA);
    port->Mlme.CntlMachine.CurrState = 3;
    ASSERT_EQ(MlmeRestartStateMachine(adapter_, port), STATUS_SUCCESS);
    EXPECT_EQ(port->Mlme.CntlMachine.CurrState, 0u);
    EXPECT_FALSE(AdapterTestFlags(adapter_, ADAPTER_FLAG_MLME_RESTARTING));
    EXPECT_EQ(MlmeRestartStateMachine(adapter_, nullptr), STATUS_UNSUCCESSFUL);
}

TEST_F(Restart, TheHandlerWaitGivesUpAfterAboutHalfASecond)
{
    kshim::host::ClockSetManual();
    adapter_->Mlme.HandlerRunning = 1;
    ASSERT_TRUE(MlmeEnqueue(adapter_, port0_, MLME_SYNC_STATE_MACHINE, 1, 0, nullptr));
    std::atomic<bool> done{false};
    int64_t start = kshim::host::ClockNow();
    kshim::host::SimThread waiter([&] {
        EXPECT_TRUE(MlmeWaitForMlmeHandlerStop(adapter_));
        done = true;
    });
    // Each step of the manual clock once the waiter has blocked again.
    while (qzl_test::Settle() && !done.load()) {
        kshim::host::ClockAdvanceMs(5);
    }
    waiter.Join();
    EXPECT_GE(kshim::host::ClockNow() - start, 500 * 10000);
    EXPECT_TRUE(kshim::host::TraceContains("MLME handler still running after 500 ms"));
    adapter_->Mlme.HandlerRunning = 0;
    EXPECT_TRUE(MlmeWaitForMlmeHandlerStop(adapter_));  // not running: at once
    kshim::host::ClockSetAuto();
}

}  // namespace
}  // namespace mlmetest
