// The MLME core: the MLME queue, the frame classifier, the MLME handler and thread, and the MLME
// start-up and shut-down of the adapter.
#include "Common/mlme/mlme.h"

#include "Common/ap/apmlme.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmesync.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kEnqueueRefusedFlags = 0x40000140u;  // power transition, not responding, halting
constexpr ULONG kRecvRefusedFlags = 0x40000142u;     // the same and a running MLME restart
constexpr ULONG kHandlerStopFlags = ADAPTER_FLAGS_MLME_STOP | ADAPTER_FLAG_NOT_RESPONDING;
constexpr ULONG kWaitTries = 100;
constexpr ULONG kWaitStepUs = 5000;
constexpr ULONG kHaltWaitUs = 500 * 1000;

// Frame fields read by the classifier, as offsets from the frame-control field.
constexpr ULONG kMgmtBodyOffset = 24;
constexpr ULONG kAuthSeqOffset = kMgmtBodyOffset + 2;
constexpr ULONG kReasonOffset = kMgmtBodyOffset;
constexpr ULONG kCategoryOffset = kMgmtBodyOffset;
constexpr ULONG kActionCodeOffset = kMgmtBodyOffset + 1;
constexpr ULONG kDialogTokenOffset = kMgmtBodyOffset + 2;

constexpr UCHAR kFcTypeManagement = 0;
constexpr UCHAR kFcProtectedBit = 0x40;  // bit 14 of the frame control, in its second byte

enum MgmtSubtype : UCHAR {
    SUBTYPE_ASSOC_REQ = 0,
    SUBTYPE_ASSOC_RSP = 1,
    SUBTYPE_REASSOC_REQ = 2,
    SUBTYPE_REASSOC_RSP = 3,
    SUBTYPE_PROBE_REQ = 4,
    SUBTYPE_PROBE_RSP = 5,
    SUBTYPE_BEACON = 8,
    SUBTYPE_ATIM = 9,
    SUBTYPE_DISASSOC = 10,
    SUBTYPE_AUTH = 11,
    SUBTYPE_DEAUTH = 12,
    SUBTYPE_ACTION = 13,
    SUBTYPE_ACTION_NO_ACK = 14,
};

constexpr UCHAR kCategoryDls = 2;
constexpr UCHAR kCategorySaQuery = 8;
constexpr UCHAR kCategoryVendor = 0x7F;
constexpr UCHAR kPublicActionGasComeback = 0x22;

constexpr ULONG kCipherCcmp = 4;
constexpr ULONG kWdiTaskDisconnect = 8;

// Access-point roles of a port (its operation mode).
constexpr ULONG kRoleSoftAp = 2;
constexpr ULONG kRoleGoStarted = 3;
constexpr ULONG kRoleApOther = 4;

inline USHORT ReadLe16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }

PMP_PORT PortOfIndex(PMP_ADAPTER adapter, ULONG index)
{
    return index < MP_MAX_PORTS ? adapter->PortList[index] : nullptr;
}

// Whether the WDI disconnect task is the pending task: known once the WDI task control block exists.
bool WdiDisconnectTaskPending(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(kWdiTaskDisconnect);
    (void)NOT_BUILT_YET();
    return false;
}

// An unprotected deauthentication that starts an SA Query instead of ending the link.
bool DeauthStartsSaQuery(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, USHORT reason)
{
    const MLME_PORT_BLOCK& m = port->Mlme;
    const ULONG auth = m.AuthAlgorithm;
    return adapter->Mlme.PmfSupported && m.PmfEnabled &&
           (m.UnicastCipher == kCipherCcmp || auth == 8 || auth == 9 || auth == 0x80000006u) &&
           adapter->Mlme.PmfSwitch == 1 && (frame[1] & kFcProtectedBit) == 0 && (frame[4] & 0x01) == 0 &&
           (reason == 6 || reason == 7) && (port->ConnectionFlags & 0x1u) != 0 &&
           (m.StatusWord & (PORT_MLME_DISCONNECT_REQUESTED | PORT_MLME_STATUS_BIT_10)) == 0 &&
           !WdiDisconnectTaskPending(adapter);
}

// Stores the tail element under the queue lock (held by the caller) and advances the ring.
PMLME_QUEUE_ELEM TakeTail(PMLME_QUEUE queue)
{
    PMLME_QUEUE_ELEM elem = &queue->Entry[queue->Tail];
    ++queue->Num;
    queue->Tail = (queue->Tail + 1) % MAX_LEN_OF_MLME_QUEUE;
    return elem;
}

void WakeMlmeThread(PMP_ADAPTER adapter) { PlatformSignalThread(&adapter->MlmeThread); }

// Runs one element on the machine it names.
void Dispatch(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    MLME_PORT_BLOCK& m = port->Mlme;
    PSTATE_MACHINE machine = nullptr;
    switch (elem->Machine) {
    case MLME_CNTL_STATE_MACHINE:
        MlmeCntlMachinePerformAction(adapter, &m.CntlMachine, elem);
        return;
    case MLME_ACTION_STATE_MACHINE:
        StateMachineHandle(adapter, &m.ActionMachine, elem);
        return;
    case MLME_ASSOC_STATE_MACHINE: machine = &m.AssocMachine; break;
    case MLME_AUTH_STATE_MACHINE: machine = &m.AuthMachine; break;
    case MLME_AUTH_RSP_STATE_MACHINE: machine = &m.AuthRspMachine; break;
    case MLME_SYNC_STATE_MACHINE: machine = &m.SyncMachine; break;
    case MLME_AP_ASSOC_STATE_MACHINE: machine = &m.ApAssocMachine; break;
    case MLME_AP_AUTH_STATE_MACHINE: machine = &m.ApAuthMachine; break;
    case MLME_AP_AUTH_RSP_STATE_MACHINE: machine = &m.ApAuthRspMachine; break;
    case MLME_AP_SYNC_STATE_MACHINE: machine = &m.ApSyncMachine; break;
    case MLME_P2P_ACTION_STATE_MACHINE: machine = &m.P2pActionMachine; break;
    case MLME_PMF_STATE_MACHINE: machine = &m.PmfMachine; break;
    case MLME_TWT_STATE_MACHINE: machine = &m.TwtMachine; break;
    case MLME_SAE_STATE_MACHINE: machine = &m.SaeMachine; break;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MLME machine %u has no handler: message %u discarded",
                 static_cast<unsigned>(elem->Machine), static_cast<unsigned>(elem->MsgType));
        return;
    }
    // A cell outside the table (a message out of the machine's range, or a machine never built) is
    // discarded rather than read past the table.
    ULONG column = elem->MsgType - static_cast<ULONG>(machine->Base);
    if (machine->TransFunc == nullptr || column >= machine->NrMsg || machine->CurrState >= machine->NrState) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME machine %u state %u: message %u out of range, discarded",
                 static_cast<unsigned>(elem->Machine), static_cast<unsigned>(machine->CurrState),
                 static_cast<unsigned>(elem->MsgType));
        return;
    }
    PSTATE_MACHINE_FUNC action = machine->TransFunc[machine->CurrState * machine->NrMsg + column];
    if (action != nullptr) {
        action(adapter, elem);
    }
}

}  // namespace

// ================================================================================================
// the queue
// ================================================================================================
NTSTATUS MlmeQueueInit(PMLME_QUEUE queue)
{
    if (queue == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "no MLME queue to initialise");
        return STATUS_SUCCESS;
    }
    PlatformAllocateSpinLock(&queue->Lock);
    queue->Num = 0;
    queue->Head = 0;
    queue->Tail = 0;
    for (MLME_QUEUE_ELEM& elem : queue->Entry) {
        elem.MsgLen = 0;
        elem.Occupied = 0;
        PlatformZeroMemory(elem.Msg, sizeof(elem.Msg));
    }
    return STATUS_SUCCESS;
}

void MlmeQueueClear(PMLME_QUEUE queue)
{
    KIRQL oldIrql;
    KeAcquireSpinLock(&queue->Lock, &oldIrql);
    queue->Num = 0;
    queue->Head = 0;
    queue->Tail = 0;
    KeReleaseSpinLock(&queue->Lock, oldIrql);
    PlatformFreeSpinLock(&queue->Lock);
}

void MlmeQueueDiscardPending(PMLME_QUEUE queue)
{
    KIRQL oldIrql;
    KeAcquireSpinLock(&queue->Lock, &oldIrql);
    ULONG at = queue->Head;
    for (ULONG n = 0; n < queue->Num; ++n) {
        queue->Entry[at].Occupied = 0;
        queue->Entry[at].MsgLen = 0;
        at = (at + 1) % MAX_LEN_OF_MLME_QUEUE;
    }
    queue->Num = 0;
    queue->Head = queue->Tail;
    KeReleaseSpinLock(&queue->Lock, oldIrql);
}

BOOLEAN MlmeQueueEmpty(PMLME_QUEUE queue)
{
    KIRQL oldIrql;
    KeAcquireSpinLock(&queue->Lock, &oldIrql);
    BOOLEAN empty = queue->Num == 0;
    KeReleaseSpinLock(&queue->Lock, oldIrql);
    return empty;
}

BOOLEAN MlmeQueueFull(PMLME_QUEUE queue)
{
    KIRQL oldIrql;
    KeAcquireSpinLock(&queue->Lock, &oldIrql);
    BOOLEAN full = queue->Num == MAX_LEN_OF_MLME_QUEUE || queue->Entry[queue->Tail].Occupied;
    KeReleaseSpinLock(&queue->Lock, oldIrql);
    return full;
}

BOOLEAN MlmeQueueFullForRecv(PMLME_QUEUE queue)
{
    KIRQL oldIrql;
    KeAcquireSpinLock(&queue->Lock, &oldIrql);
    BOOLEAN full = queue->Num >= MLME_QUEUE_RECV_LIMIT || queue->Entry[queue->Tail].Occupied;
    KeReleaseSpinLock(&queue->Lock, oldIrql);
    return full;
}

BOOLEAN MlmeDequeue(PMLME_QUEUE queue, PMLME_QUEUE_ELEM* elem)
{
    KIRQL oldIrql;
    KeAcquireSpinLock(&queue->Lock, &oldIrql);
    if (queue->Num == 0) {
        KeReleaseSpinLock(&queue->Lock, oldIrql);
        return FALSE;
    }
    *elem = &queue->Entry[queue->Head];
    queue->Head = (queue->Head + 1) % MAX_LEN_OF_MLME_QUEUE;
    --queue->Num;
    KeReleaseSpinLock(&queue->Lock, oldIrql);
    return TRUE;
}

void MlmeQueueReleaseElem(PMLME_QUEUE queue, PMLME_QUEUE_ELEM elem)
{
    // Under the queue lock: a sender that finds the element free then sees every use of it finished.
    KIRQL oldIrql;
    KeAcquireSpinLock(&queue->Lock, &oldIrql);
    elem->Occupied = 0;
    elem->MsgLen = 0;
    KeReleaseSpinLock(&queue->Lock, oldIrql);
}

BOOLEAN MlmeEnqueue(PMP_ADAPTER adapter, PMP_PORT port, ULONG machine, ULONG msg, ULONG msgLen, const void* msgBody)
{
    PMLME_QUEUE queue = &adapter->Mlme.Queue;
    ULONG flags = AdapterGetFlags(adapter);
    if ((flags & kEnqueueRefusedFlags) != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MLME message (%u, %u) refused: adapter flags 0x%08X",
                 static_cast<unsigned>(machine), static_cast<unsigned>(msg), static_cast<unsigned>(flags));
        return FALSE;
    }
    if (msgLen > MLME_MSG_SIZE || (msgLen != 0 && msgBody == nullptr)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME message (%u, %u) refused: length %u",
                 static_cast<unsigned>(machine), static_cast<unsigned>(msg), static_cast<unsigned>(msgLen));
        return FALSE;
    }
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME message (%u, %u) for no port", static_cast<unsigned>(machine),
                 static_cast<unsigned>(msg));
        return FALSE;
    }
    KIRQL oldIrql;
    KeAcquireSpinLock(&queue->Lock, &oldIrql);
    if (queue->Num == MAX_LEN_OF_MLME_QUEUE || queue->Entry[queue->Tail].Occupied) {
        ULONG num = queue->Num;
        ULONG head = queue->Head;
        ULONG tail = queue->Tail;
        KeReleaseSpinLock(&queue->Lock, oldIrql);
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME queue full (%u queued, head %u, tail %u): (%u, %u) length %u refused",
                 static_cast<unsigned>(num), static_cast<unsigned>(head), static_cast<unsigned>(tail),
                 static_cast<unsigned>(machine), static_cast<unsigned>(msg), static_cast<unsigned>(msgLen));
        return FALSE;
    }
    PMLME_QUEUE_ELEM elem = TakeTail(queue);
    elem->Machine = machine;
    elem->MsgType = msg;
    elem->MsgLen = msgLen;
    elem->PortIndex = port->PortNumber;
    elem->Channel = port->Channel.PrimaryChannel;
    elem->Occupied = 1;
    PlatformMoveMemory(elem->Msg, msgBody, msgLen);
    KeReleaseSpinLock(&queue->Lock, oldIrql);
    WakeMlmeThread(adapter);
    return TRUE;
}

BOOLEAN MsgTypeSubst(PMP_ADAPTER adapter, PMP_PORT port, const void* frame, ULONG frameLen, PULONG machine,
                     PULONG msg)
{
    const auto* f = static_cast<const UCHAR*>(frame);
    if (frameLen < kMgmtBodyOffset || ((f[0] >> 2) & 0x3) != kFcTypeManagement) {
        return FALSE;
    }
    const UCHAR subtype = static_cast<UCHAR>(f[0] >> 4);
    switch (subtype) {
    case SUBTYPE_ASSOC_REQ: *machine = MLME_ASSOC_STATE_MACHINE; *msg = MT2_PEER_ASSOC_REQ; return TRUE;
    case SUBTYPE_ASSOC_RSP: *machine = MLME_ASSOC_STATE_MACHINE; *msg = MT2_PEER_ASSOC_RSP; return TRUE;
    case SUBTYPE_REASSOC_REQ: *machine = MLME_ASSOC_STATE_MACHINE; *msg = MT2_PEER_REASSOC_REQ; return TRUE;
    case SUBTYPE_REASSOC_RSP: *machine = MLME_ASSOC_STATE_MACHINE; *msg = MT2_PEER_REASSOC_RSP; return TRUE;
    case SUBTYPE_PROBE_REQ: *machine = MLME_SYNC_STATE_MACHINE; *msg = MT2_PEER_PROBE_REQ; return TRUE;
    case SUBTYPE_PROBE_RSP: *machine = MLME_SYNC_STATE_MACHINE; *msg = MT2_PEER_PROBE_RSP; return TRUE;
    case SUBTYPE_BEACON: *machine = MLME_SYNC_STATE_MACHINE; *msg = MT2_PEER_BEACON; return TRUE;
    case SUBTYPE_ATIM: *machine = MLME_SYNC_STATE_MACHINE; *msg = MT2_PEER_ATIM; return TRUE;
    case SUBTYPE_DISASSOC: *machine = MLME_ASSOC_STATE_MACHINE; *msg = MT2_PEER_DISASSOC_REQ; return TRUE;
    case SUBTYPE_AUTH: {
        // The transaction sequence number follows the algorithm number.
        if (frameLen < kAuthSeqOffset + 2) {
            return FALSE;
        }
        USHORT seq = ReadLe16(f + kAuthSeqOffset);
        bool odd = seq == 1 || seq == 3;
        bool even = seq == 2 || seq == 4;
        if (!odd && !even) {
            return FALSE;
        }
        if (port->Mlme.SaeInUse == 1) {
            *machine = MLME_SAE_STATE_MACHINE;
            *msg = odd ? MT2_SAE_PEER_COMMIT : MT2_SAE_PEER_CONFIRM;
        } else if (odd) {
            *machine = MLME_AUTH_RSP_STATE_MACHINE;
            *msg = MT2_PEER_AUTH_ODD;
        } else {
            *machine = MLME_AUTH_STATE_MACHINE;
            *msg = MT2_PEER_AUTH_EVEN;
        }
        return TRUE;
    }
    case SUBTYPE_DEAUTH: {
        if (frameLen < kReasonOffset + 2) {
            return FALSE;
        }
        USHORT reason = ReadLe16(f + kReasonOffset);
        if (DeauthStartsSaQuery(adapter, port, f, reason)) {
            *machine = MLME_PMF_STATE_MACHINE;
            *msg = MT2_PMF_SA_QUERY_START;
        } else {
            *machine = MLME_AUTH_RSP_STATE_MACHINE;
            *msg = MT2_PEER_DEAUTH;
        }
        return TRUE;
    }
    case SUBTYPE_ACTION:
    case SUBTYPE_ACTION_NO_ACK: {
        if (frameLen < kCategoryOffset + 1) {
            return FALSE;
        }
        UCHAR category = f[kCategoryOffset];
        if (category == kCategoryDls || category == kCategorySaQuery) {
            if (frameLen < kActionCodeOffset + 1) {
                return FALSE;
            }
            UCHAR action = f[kActionCodeOffset];
            if (category == kCategoryDls) {
                static constexpr ULONG kDlsMessage[] = {1, 2, 4};
                if (action >= 3) {
                    DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "direct-link action %u not classified",
                             static_cast<unsigned>(action));
                    return FALSE;
                }
                *machine = MLME_DLS_STATE_MACHINE;
                *msg = kDlsMessage[action];
                return TRUE;
            }
            if (action > 1) {
                return FALSE;
            }
            *machine = MLME_PMF_STATE_MACHINE;
            *msg = action == 0 ? MT2_PMF_SA_QUERY_REQ : MT2_PMF_SA_QUERY_RSP;
            return TRUE;
        }
        UCHAR c = static_cast<UCHAR>(category & 0x7F);
        if (c == kCategoryVendor) {
            return FALSE;
        }
        *machine = MLME_ACTION_STATE_MACHINE;
        *msg = c <= MT2_ACTION_CATEGORY_MAX ? c : MT2_ACTION_VENDOR_OTHER;
        return TRUE;
    }
    default:
        return FALSE;
    }
}

BOOLEAN MlmeEnqueueForRecv(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIdx, UCHAR rssi0, UCHAR rssi1, UCHAR rssi2,
                           ULONG msgLen, const void* frame)
{
    PMLME_QUEUE queue = &adapter->Mlme.Queue;
    ULONG flags = AdapterGetFlags(adapter);
    if ((flags & kRecvRefusedFlags) != 0 || msgLen > MLME_MSG_SIZE || port == nullptr || frame == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "received frame refused: flags 0x%08X length %u",
                 static_cast<unsigned>(flags), static_cast<unsigned>(msgLen));
        return FALSE;
    }
    if (MlmeQueueFullForRecv(queue)) {
        WakeMlmeThread(adapter);  // a stalled handler is woken all the same
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MLME queue full for received frames");
        return FALSE;
    }
    const auto* f = static_cast<const UCHAR*>(frame);
    const UCHAR subtype = msgLen >= 1 ? static_cast<UCHAR>(f[0] >> 4) : 0;
    ULONG machine = 0;
    ULONG msg = 0;
    const ULONG role = port->OpMode;
    if (role == kRoleSoftAp || role == kRoleGoStarted || role == kRoleApOther) {
        const MLME_PORT_BLOCK& m = port->Mlme;
        if ((m.GoStarted == 1 && role != kRoleGoStarted) || (m.ApStarted == 1 && role == kRoleGoStarted)) {
            return FALSE;
        }
        if (!ApMlmeMsgTypeSubst(adapter, port, frame, msgLen, &machine, &msg)) {
            return FALSE;
        }
        if (msg == 0) {
            if (((role == kRoleSoftAp || role == kRoleApOther) && m.ApStarted == 0) ||
                (role == kRoleGoStarted && m.GoStarted == 0)) {
                return FALSE;
            }
        } else if (subtype == SUBTYPE_BEACON) {
            return FALSE;
        }
    } else {
        if (!MsgTypeSubst(adapter, port, frame, msgLen, &machine, &msg)) {
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "port %u: frame subtype %u not classified",
                     static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(subtype));
            return FALSE;
        }
        if (port->PortNumber == 0 && msg == MT2_PEER_PROBE_REQ) {
            return FALSE;
        }
        if (msg == MT2_ACTION_PUBLIC && machine == MLME_ACTION_STATE_MACHINE &&
            StateMachineGetState(&port->Mlme.ActionMachine) == ACTION_STATE_SENT &&
            msgLen > kDialogTokenOffset && f[kDialogTokenOffset] != port->Mlme.PendingActionToken &&
            f[kActionCodeOffset] != kPublicActionGasComeback) {
            msg = MT2_ACTION_OTHER_DIALOG;
        }
        if (port->PortNumber != 0 && adapter->LastRxBand == BAND_6G && (f[4] & 0x01) != 0 &&
            (msg == MT2_PEER_BEACON || msg == MT2_PEER_PROBE_RSP)) {
            return FALSE;
        }
    }
    KIRQL oldIrql;
    KeAcquireSpinLock(&queue->Lock, &oldIrql);
    // Other senders may have filled the queue since the test above: the element at the tail is
    // taken only while it is still free.
    if (queue->Num >= MLME_QUEUE_RECV_LIMIT || queue->Entry[queue->Tail].Occupied) {
        KeReleaseSpinLock(&queue->Lock, oldIrql);
        WakeMlmeThread(adapter);
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MLME queue filled up: received frame dropped");
        return FALSE;
    }
    PMLME_QUEUE_ELEM elem = TakeTail(queue);
    elem->Machine = machine;
    elem->MsgType = msg;
    elem->Rssi0 = rssi0;
    elem->Rssi1 = rssi1;
    elem->Rssi2 = rssi2;
    elem->Occupied = 1;
    elem->MsgLen = msgLen;
    elem->Band = static_cast<UCHAR>(adapter->LastRxBand);
    elem->Channel = adapter->LastRxChannel;
    elem->WlanIdx = wlanIdx;
    elem->PortIndex = port->PortNumber;
    PlatformMoveMemory(elem->Msg, frame, msgLen);
    KeReleaseSpinLock(&queue->Lock, oldIrql);
    WakeMlmeThread(adapter);
    return TRUE;
}

// ================================================================================================
// the handler and the thread
// ================================================================================================
NTSTATUS MlmeHandler(PMP_ADAPTER adapter)
{
    MLME_ADAPTER_BLOCK& mlme = adapter->Mlme;
    if (!mlme.Initialized) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MLME handler before the MLME core exists");
        return STATUS_UNSUCCESSFUL;
    }
    KIRQL oldIrql;
    KeAcquireSpinLock(&mlme.HandlerLock, &oldIrql);
    if (mlme.HandlerClaims != 0) {
        KeReleaseSpinLock(&mlme.HandlerLock, oldIrql);
        return STATUS_SUCCESS;  // another thread drains
    }
    mlme.HandlerClaims = 1;
    mlme.HandlerRunning = 1;
    KeReleaseSpinLock(&mlme.HandlerLock, oldIrql);

    while (!MlmeQueueEmpty(&mlme.Queue)) {
        ULONG flags = AdapterGetFlags(adapter);
        if ((flags & kHandlerStopFlags) != 0) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MLME handler stops draining: adapter flags 0x%08X",
                     static_cast<unsigned>(flags));
            break;
        }
        PMLME_QUEUE_ELEM elem = nullptr;
        if (!MlmeDequeue(&mlme.Queue, &elem)) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MLME dequeue failed");
            continue;
        }
        PMP_PORT port = PortOfIndex(adapter, elem->PortIndex);
        if (port == nullptr) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME message (%u, %u) for missing port %u",
                     static_cast<unsigned>(elem->Machine), static_cast<unsigned>(elem->MsgType),
                     static_cast<unsigned>(elem->PortIndex));
            MlmeQueueReleaseElem(&mlme.Queue, elem);
            break;
        }
        Dispatch(adapter, port, elem);
        MlmeQueueReleaseElem(&mlme.Queue, elem);
    }

    KeAcquireSpinLock(&mlme.HandlerLock, &oldIrql);
    --mlme.HandlerClaims;
    mlme.HandlerRunning = mlme.HandlerClaims != 0 ? 1 : 0;
    KeReleaseSpinLock(&mlme.HandlerLock, oldIrql);
    return STATUS_SUCCESS;
}

BOOLEAN MlmeWaitForMlmeHandlerStop(PMP_ADAPTER adapter)
{
    MLME_ADAPTER_BLOCK& mlme = adapter->Mlme;
    for (ULONG i = 0; i < kWaitTries; ++i) {
        if (MlmeQueueEmpty(&mlme.Queue)) {
            return TRUE;
        }
        KIRQL oldIrql;
        KeAcquireSpinLock(&mlme.HandlerLock, &oldIrql);
        UCHAR running = mlme.HandlerRunning;
        KeReleaseSpinLock(&mlme.HandlerLock, oldIrql);
        if (running == 0) {
            return TRUE;
        }
        NdisCommonGenericDelay(kWaitStepUs);
    }
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MLME handler still running after %u ms",
             static_cast<unsigned>(kWaitTries * kWaitStepUs / 1000));
    return TRUE;
}

void MlmeThreadProc(PVOID context)
{
    auto* adapter = static_cast<PMP_ADAPTER>(context);
    PlatformSetThreadPriority();
    while (!PlatformThreadsStopping(adapter)) {
        (void)PlatformWaitEvent(&adapter->MlmeThread.WakeEvent, 0);
        if (PlatformThreadsStopping(adapter)) {
            break;
        }
        (void)MlmeHandler(adapter);
    }
}

// ================================================================================================
// start-up and shut-down
// ================================================================================================
NTSTATUS MlmeInit(PMP_ADAPTER adapter)
{
    MLME_ADAPTER_BLOCK& mlme = adapter->Mlme;
    (void)MlmeQueueInit(&mlme.Queue);
    adapter->MlmeQueue = &mlme.Queue;
    NTSTATUS status = MlmeInitMemoryHandler(adapter, MLME_BUFFER_INITIAL_BLOCKS, MLME_BUFFER_SIZE);
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME buffer pool not created: 0x%08X", static_cast<unsigned>(status));
        MlmeQueueClear(&mlme.Queue);
    } else {
        mlme.HandlerRunning = 0;
        mlme.HandlerClaims = 0;
        PlatformAllocateSpinLock(&mlme.HandlerLock);
        mlme.Initialized = 1;
        mlme.ScanReqPending = 0;
        PlatformZeroMemory(&mlme.ScanRequest, sizeof(mlme.ScanRequest));
        adapter->ScanRequest = &mlme.ScanRequest;
        MlmeBssTableInit(adapter);
        MlmeRepositTableInit(adapter);
    }
    PMP_PORT port0 = adapter->PortList[0];
    if (port0 == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME start-up without port 0");
        return NT_SUCCESS(status) ? STATUS_UNSUCCESSFUL : status;
    }
    (void)MlmePortInit(adapter, port0);
    MlmeCntResetState(port0, &port0->Mlme.CntlMachine);
    PlatformIndicateResetAllStatus(adapter, port0);
    port0->Mlme.PendingActionToken = 0;
    return status;
}

void MlmeHalt(PMP_ADAPTER adapter, PMP_PORT port)
{
    MLME_ADAPTER_BLOCK& mlme = adapter->Mlme;
    (void)MlmePortFreeWorkItem(adapter, port);
    (void)MlmePortFreeTimer(adapter, port);
    if (!mlme.Initialized) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MLME halt before the MLME core exists");
        MlmeFreeMemoryHandler(adapter);
        return;
    }
    MlmeQueueClear(&mlme.Queue);
    NdisCommonGenericDelay(kHaltWaitUs);
    PlatformFreeSpinLock(&mlme.HandlerLock);
    mlme.Initialized = 0;
    MlmeFreeRepositTable(adapter);
    MlmeSyncFreeIntakeArea(adapter);
    MlmeFreeMemoryHandler(adapter);
}

void MlmeFreeRepositTable(PMP_ADAPTER adapter)
{
    MLME_ADAPTER_BLOCK& mlme = adapter->Mlme;
    // The table is freed only once its busy flag is held: a merge that holds it past the usual 100
    // tries would otherwise walk freed storage.
    ULONG tries = 0;
    while (InterlockedCompareExchange(&mlme.RepositBusy, 1, 0) != 0) {
        if (++tries % 100 == 0) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "roaming-candidate table still busy after %u tries",
                     static_cast<unsigned>(tries));
        }
        NdisCommonGenericDelay(100);
    }
    if (mlme.RepositTable != nullptr) {
        PlatformFreeMemory(mlme.RepositTable, mlme.RepositTableSize);
        mlme.RepositTable = nullptr;
        mlme.RepositTableSize = 0;
    }
    InterlockedExchange(&mlme.RepositBusy, 0);
}
