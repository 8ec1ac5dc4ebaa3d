// The state-machine framework, the building of a port's machines and their restart.
#include "Common/ap/apmlme.h"
#include "Common/he/twt.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeaction.h"
#include "Common/mlme/mlmeassoc.h"
#include "Common/mlme/mlmeauth.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmepmf.h"
#include "Common/mlme/mlmesae.h"
#include "Common/mlme/mlmesync.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kRestartClearedFlags[] = {0x2000u, 0x8000u};
constexpr NTSTATUS kScanAborted = static_cast<NTSTATUS>(0xC001000Cu);

// A copy of a queued element of another port, kept whole while the queue is purged: a received
// frame keeps its signal, band, channel and sender index when it is posted again.
void RepostElement(PMP_ADAPTER adapter, const MLME_QUEUE_ELEM& saved)
{
    PMLME_QUEUE queue = &adapter->Mlme.Queue;
    PMP_PORT port = saved.PortIndex < MP_MAX_PORTS ? adapter->PortList[saved.PortIndex] : nullptr;
    if (port == nullptr || (AdapterGetFlags(adapter) & 0x40000140u) != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MLME message (%u, %u) of port %u not posted again",
                 static_cast<unsigned>(saved.Machine), static_cast<unsigned>(saved.MsgType),
                 static_cast<unsigned>(saved.PortIndex));
        return;
    }
    KIRQL oldIrql;
    KeAcquireSpinLock(&queue->Lock, &oldIrql);
    if (queue->Num == MAX_LEN_OF_MLME_QUEUE || queue->Entry[queue->Tail].Occupied) {
        KeReleaseSpinLock(&queue->Lock, oldIrql);
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME queue full: message (%u, %u) lost",
                 static_cast<unsigned>(saved.Machine), static_cast<unsigned>(saved.MsgType));
        return;
    }
    PMLME_QUEUE_ELEM elem = &queue->Entry[queue->Tail];
    ++queue->Num;
    queue->Tail = (queue->Tail + 1) % MAX_LEN_OF_MLME_QUEUE;
    ULONG length = saved.MsgLen <= MLME_MSG_SIZE ? saved.MsgLen : MLME_MSG_SIZE;
    elem->Machine = saved.Machine;
    elem->MsgType = saved.MsgType;
    elem->MsgLen = length;
    elem->PortIndex = saved.PortIndex;
    elem->Rssi0 = saved.Rssi0;
    elem->Rssi1 = saved.Rssi1;
    elem->Rssi2 = saved.Rssi2;
    elem->Band = saved.Band;
    elem->Channel = saved.Channel;
    elem->WlanIdx = saved.WlanIdx;
    elem->Occupied = 1;
    PlatformMoveMemory(elem->Msg, saved.Msg, length);
    KeReleaseSpinLock(&queue->Lock, oldIrql);
    PlatformSignalThread(&adapter->MlmeThread);
}

// Removes the port's messages from the queue; the other ports' messages keep their order.
void PurgePortMessages(PMP_ADAPTER adapter, PMP_PORT port)
{
    PMLME_QUEUE queue = &adapter->Mlme.Queue;
    KIRQL oldIrql;
    KeAcquireSpinLock(&queue->Lock, &oldIrql);
    ULONG queued = queue->Num;
    KeReleaseSpinLock(&queue->Lock, oldIrql);
    if (queued == 0) {
        return;
    }
    PMLME_QUEUE_ELEM kept = nullptr;
    ULONG size = queued * static_cast<ULONG>(sizeof(MLME_QUEUE_ELEM));
    if (PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&kept), size, TAG_ZV05) != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "no memory to purge port %u: every MLME message is discarded",
                 static_cast<unsigned>(port->PortNumber));
        PMLME_QUEUE_ELEM elem = nullptr;
        while (MlmeDequeue(queue, &elem)) {
            MlmeQueueReleaseElem(queue, elem);
        }
        return;
    }
    ULONG keptCount = 0;
    PMLME_QUEUE_ELEM elem = nullptr;
    while (MlmeDequeue(queue, &elem)) {
        if (elem->PortIndex != port->PortNumber) {
            if (AdapterTestFlags(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS)) {
                MlmeQueueReleaseElem(queue, elem);
                break;
            }
            if (keptCount < queued) {
                PlatformMoveMemory(&kept[keptCount], elem, sizeof(MLME_QUEUE_ELEM));
                ++keptCount;
            }
        }
        MlmeQueueReleaseElem(queue, elem);
    }
    for (ULONG i = 0; i < keptCount; ++i) {
        RepostElement(adapter, kept[i]);
    }
    PlatformFreeMemory(kept, size);
}

// Takes a claim on the MLME handler: no handler drains the queue while a claim is held. A claim
// taken inside a machine action nests in the running handler's.
void ClaimHandler(PMP_ADAPTER adapter)
{
    MLME_ADAPTER_BLOCK& mlme = adapter->Mlme;
    KIRQL oldIrql;
    KeAcquireSpinLock(&mlme.HandlerLock, &oldIrql);
    if (mlme.HandlerClaims == 0) {
        mlme.HandlerClaims = 1;
        mlme.HandlerRunning = 1;
        KeReleaseSpinLock(&mlme.HandlerLock, oldIrql);
        return;
    }
    KeReleaseSpinLock(&mlme.HandlerLock, oldIrql);
    (void)MlmeWaitForMlmeHandlerStop(adapter);
    KeAcquireSpinLock(&mlme.HandlerLock, &oldIrql);
    ++mlme.HandlerClaims;
    mlme.HandlerRunning = 1;
    KeReleaseSpinLock(&mlme.HandlerLock, oldIrql);
}

// Gives back one claim; the handler is free again only when no other claim is held.
void ReleaseHandler(PMP_ADAPTER adapter)
{
    MLME_ADAPTER_BLOCK& mlme = adapter->Mlme;
    KIRQL oldIrql;
    KeAcquireSpinLock(&mlme.HandlerLock, &oldIrql);
    if (mlme.HandlerClaims != 0) {
        --mlme.HandlerClaims;
    }
    mlme.HandlerRunning = mlme.HandlerClaims != 0 ? 1 : 0;
    bool free = mlme.HandlerClaims == 0;
    KeReleaseSpinLock(&mlme.HandlerLock, oldIrql);
    // Messages posted again while the claim was held woke a handler that had to leave them: wake the
    // thread once more so that they do not wait for the next message.
    if (free && !MlmeQueueEmpty(&mlme.Queue)) {
        PlatformSignalThread(&adapter->MlmeThread);
    }
}

void CancelRestartTimers(PMP_ADAPTER adapter, PMP_PORT port)
{
    MLME_PORT_BLOCK& m = port->Mlme;
    for (PLATFORM_TIMER* timer : {&m.AssocTimeoutTimer, &m.ReassocTimeoutTimer, &m.DisassocTimeoutTimer,
                                  &m.AuthTimeoutTimer, &m.BeaconTimeoutTimer, &m.SaeTimeoutTimer}) {
        UCHAR cancelled = FALSE;
        PlatformCancelTimer(timer, &cancelled);
    }
    for (ULONG flag : kRestartClearedFlags) {
        if (AdapterTestFlags(adapter, flag)) {
            AdapterClearFlag(adapter, flag, "MlmeRestartStateMachine");
        }
    }
}

void ResetPortMachines(PMP_ADAPTER adapter, PMP_PORT port)
{
    MLME_PORT_BLOCK& m = port->Mlme;
    adapter->Mlme.ConnectRetryCount = 0;
    m.SaeStatus = 0;
    m.SaeRetransCount = 0;
    m.CntlMachine.CurrState = 0;
    m.CntlMachine.ResetRequest = 0;
    m.AssocMachine.CurrState = 0;
    m.AuthMachine.CurrState = 0;
    m.AuthRspMachine.CurrState = 0;
    m.SyncMachine.CurrState = 0;
    m.PmfMachine.CurrState = 0;
    m.SaeMachine.CurrState = 0;
    StateMachineSetState(adapter, &m.ActionMachine, 0);
    m.P2pActionMachine.CurrState = 0;
    m.P2pPublicActionState = 0;
    // The TWT machine and the four access-point machines keep their states.
}

}  // namespace

// ================================================================================================
// the framework
// ================================================================================================
VOID StateMachineInit(PSTATE_MACHINE machine, PSTATE_MACHINE_FUNC* trans, ULONG nrState, ULONG nrMsg,
                      PSTATE_MACHINE_FUNC defaultFunc, ULONG initState, ULONG base)
{
    machine->NrState = nrState;
    machine->NrMsg = nrMsg;
    machine->Base = static_cast<LONG>(base);
    machine->TransFunc = trans;
    for (ULONG i = 0; i < nrState * nrMsg; ++i) {
        trans[i] = defaultFunc;
    }
    machine->CurrState = initState;
    machine->Flag = 0;
}

VOID StateMachineSetAction(PSTATE_MACHINE machine, ULONG state, ULONG msg, PSTATE_MACHINE_FUNC func)
{
    ULONG column = msg - static_cast<ULONG>(machine->Base);
    if (state < machine->NrState && column < machine->NrMsg) {
        machine->TransFunc[state * machine->NrMsg + column] = func;
    }
}

VOID Drop(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    if (elem == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "Drop: no element");
        return;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "Drop: port %u machine %u message %u",
             static_cast<unsigned>(elem->PortIndex), static_cast<unsigned>(elem->Machine),
             static_cast<unsigned>(elem->MsgType));
}

VOID StateMachineHandle(PMP_ADAPTER adapter, PENTRY_EXIT_STATE_MACHINE machine, PMLME_QUEUE_ELEM elem)
{
    for (ULONG i = 0; i < machine->RowCount && machine->Rows != nullptr; ++i) {
        const ENTRY_EXIT_STATE& row = machine->Rows[i];
        if (row.StateId == machine->CurrentState && row.Handler != nullptr) {
            row.Handler(adapter, elem);
            return;
        }
    }
}

VOID StateMachineSetState(PMP_ADAPTER adapter, PENTRY_EXIT_STATE_MACHINE machine, ULONG newState)
{
    for (ULONG i = 0; i < machine->RowCount && machine->Rows != nullptr; ++i) {
        const ENTRY_EXIT_STATE& row = machine->Rows[i];
        if (row.StateId == machine->CurrentState && row.Exit != nullptr) {
            row.Exit(adapter, machine->Port);
            break;
        }
    }
    for (ULONG i = 0; i < machine->RowCount && machine->Rows != nullptr; ++i) {
        const ENTRY_EXIT_STATE& row = machine->Rows[i];
        if (row.StateId == newState && row.Entry != nullptr) {
            row.Entry(adapter, machine->Port);
            break;
        }
    }
    machine->CurrentState = newState;
}

ULONG StateMachineGetState(PENTRY_EXIT_STATE_MACHINE machine) { return machine->CurrentState; }

// ================================================================================================
// the port's machines
// ================================================================================================
NTSTATUS MlmePortInit(PMP_ADAPTER adapter, PMP_PORT port)
{
    MLME_PORT_BLOCK& m = port->Mlme;
    MlmeAssocStateMachineInit(adapter, port, &m.AssocMachine);
    MlmeAuthStateMachineInit(adapter, port, &m.AuthMachine);
    MlmeSAEStateMachineInit(adapter, port, &m.SaeMachine);
    MlmeAuthRspStateMachineInit(adapter, port, &m.AuthRspMachine);
    MlmeSyncStateMachineInit(adapter, port, &m.SyncMachine);
    TwtStateMachineInit(adapter, port, &m.TwtMachine);
    ActionStateMachineInit(adapter, port, &m.ActionMachine);
    PmfStateMachineInit(adapter, port, &m.PmfMachine);
    P2pActionStateMachineInit(adapter, port, &m.P2pActionMachine);
    MlmeCntlInit(&m.CntlMachine);
    ApAssocStateMachineInit(adapter, &m.ApAssocMachine, m.ApAssocFunc);
    ApAuthStateMachineInit(adapter, &m.ApAuthMachine, m.ApAuthFunc);
    ApAuthRspStateMachineInit(adapter, &m.ApAuthRspMachine, m.ApAuthRspFunc);
    ApSyncStateMachineInit(adapter, &m.ApSyncMachine, m.ApSyncFunc);
    (void)MlmePortTimeInit(adapter, port);
    (void)MlmePortWorkItemInit(adapter, port);
    return STATUS_SUCCESS;
}

VOID P2pActionStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    // Until the Wi-Fi Direct presence actions exist every message of the machine is dropped.
    StateMachineInit(machine, port->Mlme.P2pActionFunc, P2P_ACTION_MACHINE_STATES, P2P_ACTION_MACHINE_MSGS, Drop, 0,
                     0);
    (void)NOT_BUILT_YET();
}

NTSTATUS MlmeRestartStateMachine(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME restart without a port");
        return STATUS_UNSUCCESSFUL;
    }
    const bool running = adapter->Mlme.Initialized != 0;
    if (running) {
        ClaimHandler(adapter);
        AdapterSetFlag(adapter, ADAPTER_FLAG_MLME_RESTARTING, "MlmeRestartStateMachine");
        PurgePortMessages(adapter, port);
    } else {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "port %u: MLME restart before the MLME queue exists",
                 static_cast<unsigned>(port->PortNumber));
    }

    if (port->PortNumber == 0 || port->PortType == WFD_CLIENT) {
        CancelRestartTimers(adapter, port);
    }
    if (port->PortNumber == 0) {
        if (adapter->OsScanRequest && adapter->PendingScanPort == 0) {
            PlatformIndicateScanStatus(adapter, port, static_cast<ULONG>(kScanAborted), 1, 0);
        }
        if (!adapter->Mlme.AutoReconnectHold) {
            adapter->Mlme.AutoReconnectPending = 0;
        }
        adapter->Mlme.SplitScanProgress = 0;
    }
    ResetPortMachines(adapter, port);

    if (running) {
        AdapterClearFlag(adapter, ADAPTER_FLAG_MLME_RESTARTING, "MlmeRestartStateMachine");
        ReleaseHandler(adapter);
    }
    return STATUS_SUCCESS;
}
