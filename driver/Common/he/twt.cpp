// Target wake time: the requester's machine, its frames, the firmware agreement slots and the TSF.
#include "Common/he/twt.h"

#include "Common/he/he_rlm.h"
#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/qzcmd.h"
#include "Common/qzevent.h"
#include "Common/rlm_bits.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kCategoryUnprotectedS1g = 22;
constexpr UCHAR kActionSetup = 6;
constexpr UCHAR kActionTeardown = 7;
constexpr UCHAR kActionInformation = 11;
constexpr UCHAR kElementTwt = 216;
constexpr UCHAR kTwtElementLength = 15;
constexpr ULONG kSubtypeAction = 13;
constexpr ULONG kFrameOwner = TAG_ZV42;

// Offsets of a received action frame.
constexpr ULONG kCategoryAt = 24;
constexpr ULONG kActionAt = 25;
constexpr ULONG kTeardownFlowAt = 26;
constexpr ULONG kTwtElementAt = 27;
constexpr ULONG kRequestTypeAt = 30;
constexpr ULONG kTargetWakeTimeAt = 32;
constexpr ULONG kDurationAt = 40;
constexpr ULONG kMantissaAt = 41;
constexpr ULONG kSetupMinimum = kMantissaAt + 2;

// Firmware commands.
constexpr UCHAR kFlagsSet = 8;
constexpr UCHAR kFlagsTsfQuery = 0x0D;
constexpr ULONG kTsfQueryLength = 8;
constexpr ULONG kTsfArgument = 24;
constexpr ULONG kTsfAnswerMinimum = 24;
constexpr ULONG64 kLocalAgreementDelayUs = 1000000;
constexpr ULONG64 kSetupDelayUs = 5000000;
constexpr UCHAR kResumeSizeCode = 3;

// HE MAC capability bits of the access point's entry.

constexpr ULONG kEntryTypeStationPeer = 0x40;  // the access point's entry of a station port

void PutU16(PUCHAR p, USHORT v) { RlmPutU16(p, v); }
void PutU32(PUCHAR p, ULONG v)
{
    PutU16(p, static_cast<USHORT>(v));
    PutU16(p + 2, static_cast<USHORT>(v >> 16));
}
void PutU64(PUCHAR p, ULONG64 v)
{
    PutU32(p, static_cast<ULONG>(v));
    PutU32(p + 4, static_cast<ULONG>(v >> 32));
}
ULONG GetU32(const UCHAR* p) { return RlmGetU16(p) | (static_cast<ULONG>(RlmGetU16(p + 2)) << 16); }
ULONG64 GetU64(const UCHAR* p) { return GetU32(p) | (static_cast<ULONG64>(GetU32(p + 4)) << 32); }

PMP_PORT PortOfIndex(PMP_ADAPTER adapter, ULONG index)
{
    return index < MP_MAX_PORTS ? adapter->PortList[index] : nullptr;
}

PMP_PORT PortOfBssIndex(PMP_ADAPTER adapter, UCHAR bssIndex)
{
    for (PMP_PORT port : adapter->PortList) {
        if (port != nullptr && port->BssIndex == bssIndex) {
            return port;
        }
    }
    return nullptr;
}

// The access point's entry of a station port.
PMAC_TABLE_ENTRY AccessPointEntry(PMP_PORT port)
{
    if (port == nullptr) {
        return nullptr;
    }
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_PEER);
    return (entry != nullptr && (entry->EntryType & kEntryTypeStationPeer) != 0) ? entry : nullptr;
}

BOOLEAN IsStationPortsAccessPoint(const MAC_TABLE_ENTRY* entry)
{
    return static_cast<BOOLEAN>((entry->EntryType & kEntryTypeStationPeer) != 0);
}

PMP_PORT PortOfEntry(PMP_ADAPTER adapter, const MAC_TABLE_ENTRY* entry)
{
    return entry != nullptr && entry->OwnerPort != nullptr ? entry->OwnerPort : adapter->PortList[0];
}

// The entry a flow reference names: the port's entry with that WLAN index.
PMAC_TABLE_ENTRY EntryOfReference(PMP_PORT port, ULONG64 reference)
{
    return reference < RLM_WLAN_INDEX_LIMIT ? MlmeSyncMacTabMatchedWlanIdx(port, static_cast<UCHAR>(reference)) : nullptr;
}

USHORT RequestType(const TWT_PARAMS& p, UCHAR flowId)
{
    return static_cast<USHORT>((p.Request & 1u) | ((p.SetupCommand & 7u) << 1) | ((p.Trigger & 1u) << 4) | (1u << 5) |
                               ((p.FlowType & 1u) << 6) | ((flowId & 7u) << 7) | ((p.WakeIntervalExp & 0x1Fu) << 10) |
                               ((p.Protection & 1u) << 15));
}

// Hands a built frame to the management transmit path; the buffer goes back to the pool when the
// frame is not taken.
NTSTATUS SendFrame(PMP_ADAPTER adapter, PUCHAR buffer, ULONG length, UCHAR packetId)
{
    if (length == 0) {
        MlmeFreeMemory(adapter, buffer);
        return STATUS_UNSUCCESSFUL;
    }
    // The transmit path takes the buffer, sent or not.
    NTSTATUS status = NdisCommonHifMiniportMMRequest(adapter->HifContext, buffer, length, packetId);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "TWT frame %u of %u bytes: 0x%08X", static_cast<unsigned>(packetId),
             static_cast<unsigned>(length), static_cast<unsigned>(status));
    return status;
}

// An MLME frame buffer, when there is a bus context to send it on.
NTSTATUS FrameBuffer(PMP_ADAPTER adapter, PUCHAR* buffer)
{
    if (adapter->HifContext == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "TWT frame without a bus context");
        return STATUS_UNSUCCESSFUL;
    }
    return MlmeAllocateMemoryEx(adapter, kFrameOwner, buffer);
}

ULONG ActionHeader(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, PUCHAR buffer)
{
    BuildMgmtMacHeader(adapter, port, reinterpret_cast<PHEADER_802_11>(buffer), kSubtypeAction, 0, entry->Addr,
                       entry->Addr);
    return MGMT_HEADER_SIZE;
}

// The firmware agreement update.
NTSTATUS SendAgreementUpdate(PMP_PORT port, const UCHAR* payload)
{
    return QzCmdSendSetQuery(port, FW_CMD_ID_EXTENDED, FW_CMD_CLASS_NORMAL, TWT_EXT_CMD_AGRT_UPDATE, 1, kFlagsSet, payload,
                             TWT_AGRT_UPDATE_LEN, nullptr, 0, 0);
}

USHORT WlanIndexOf(const MAC_TABLE_ENTRY* entry) { return entry != nullptr ? entry->WlanIdx : 1; }

// Action 0 (add) with the parameters of a slot.
NTSTATUS SendAdd(PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR slotIndex, UCHAR flowId, const TWT_PARAMS& p)
{
    UCHAR payload[TWT_AGRT_UPDATE_LEN] = {};
    payload[0] = slotIndex;
    payload[1] = TWT_AGRT_ACTION_ADD;
    payload[2] = port->OwnMacIndex;
    payload[3] = flowId;
    PutU16(payload + 4, WlanIndexOf(entry));
    payload[6] = p.MinWakeDuration;
    payload[7] = port->BssIndex;
    PutU32(payload + 8, static_cast<ULONG>(p.TargetWakeTime));
    PutU32(payload + 12, static_cast<ULONG>(p.TargetWakeTime >> 32));
    PutU16(payload + 16, p.WakeIntervalMantissa);
    payload[18] = p.WakeIntervalExp;
    payload[20] = static_cast<UCHAR>((p.Trigger ? 0x1 : 0) | (p.FlowType == 0 ? 0x2 : 0) | (p.Protection ? 0x4 : 0));
    return SendAgreementUpdate(port, payload);
}

// A message body copied out of the element (whose body has no particular alignment); FALSE when the
// element is shorter than the body.
template <typename T>
BOOLEAN MessageBody(PMLME_QUEUE_ELEM elem, T* body)
{
    if (elem->MsgLen < sizeof(T)) {
        return FALSE;
    }
    PlatformMoveMemory(body, elem->Msg, sizeof(T));
    return TRUE;
}

// The port and entry of a flow-reference message; FALSE (traced) when either is gone or the flow id is
// out of range.
BOOLEAN FlowTarget(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem, PMP_PORT* port, PMAC_TABLE_ENTRY* entry, UCHAR* flowId)
{
    TWT_FLOW_MSG msg{};
    const BOOLEAN present = MessageBody(elem, &msg);
    *port = PortOfIndex(adapter, elem->PortIndex);
    *entry = (present && *port != nullptr) ? EntryOfReference(*port, msg.EntryRef) : nullptr;
    if (*entry == nullptr || msg.FlowId >= TWT_FLOWS) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "TWT message %u: no entry or flow", static_cast<unsigned>(elem->MsgType));
        return FALSE;
    }
    *flowId = msg.FlowId;
    return TRUE;
}

void FreeRecord(PTWT_REQUEST_RECORD record)
{
    PlatformFreeMemory(record, sizeof(*record));
}

}  // namespace

// ================================================================================================
// the machine
// ================================================================================================
VOID TwtStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    StateMachineInit(machine, port->Mlme.TwtFunc, TWT_MACHINE_STATES, TWT_MACHINE_MSGS, Drop, 0, 0);
    StateMachineSetAction(machine, 0, TWT_MSG_SEND_SETUP, twtActSendSetup);
    StateMachineSetAction(machine, 0, TWT_MSG_SEND_TEARDOWN, twtActSendTeardown);
    StateMachineSetAction(machine, 0, TWT_MSG_SUSPEND, twtActSuspend);
    StateMachineSetAction(machine, 0, TWT_MSG_RESUME, twtActResume);
    StateMachineSetAction(machine, 0, TWT_MSG_SETUP_DONE, twtActSetupDone);
    StateMachineSetAction(machine, 0, TWT_MSG_SUSPEND_DONE, twtActSuspendDone);
    StateMachineSetAction(machine, 0, TWT_MSG_RESUME_DONE, twtActResumeDone);
    StateMachineSetAction(machine, 0, TWT_MSG_TEARDOWN_DONE, twtActTeardownDone);
    StateMachineSetAction(machine, 0, TWT_MSG_SET_TWT, twtActSetTwt);
    StateMachineSetAction(machine, 0, TWT_MSG_TEST_REQUEST, twtActTestRequest);
}

BOOLEAN twtPostMsg(PMP_ADAPTER adapter, PMAC_TABLE_ENTRY entry, ULONG msg, UCHAR flowId)
{
    TWT_FLOW_MSG body{};
    body.EntryRef = entry->WlanIdx;
    body.FlowId = flowId;
    return MlmeEnqueue(adapter, PortOfEntry(adapter, entry), MLME_TWT_STATE_MACHINE, msg, sizeof(body), &body);
}

VOID twtSetFlowState(PMP_ADAPTER adapter, PMAC_TABLE_ENTRY entry, ULONG newState, UCHAR flowId, const void* data)
{
    const ULONG left = entry->Rlm.TwtState;
    entry->Rlm.TwtState = newState;
    PMP_PORT port = PortOfEntry(adapter, entry);
    NTSTATUS sent = STATUS_SUCCESS;
    switch (newState) {
    case TWT_STATE_IDLE:
        if (left == TWT_STATE_SETUP_DELIVERED) {
            (void)twtPostMsg(adapter, entry, TWT_MSG_SETUP_DONE, flowId);
        } else if (left == TWT_STATE_RESUME_SENT) {
            (void)twtPostMsg(adapter, entry, TWT_MSG_RESUME_DONE, flowId);
        } else if (left == TWT_STATE_TEARDOWN_SENT) {
            (void)twtPostMsg(adapter, entry, TWT_MSG_TEARDOWN_DONE, flowId);
        }
        return;
    case TWT_STATE_SETUP_SENT:
        if (data == nullptr) {
            return;
        }
        sent = twtSendSetupFrame(adapter, port, entry, flowId, static_cast<const TWT_PARAMS*>(data));
        break;
    case TWT_STATE_SUSPEND_SENT:
        sent = twtSendInfoFrame(adapter, port, entry, flowId, 0, 0);
        break;
    case TWT_STATE_RESUME_SENT:
        sent = data != nullptr ? twtSendInfoFrame(adapter, port, entry, flowId, kResumeSizeCode,
                                                  *static_cast<const ULONG64*>(data))
                               : STATUS_INVALID_PARAMETER;
        break;
    case TWT_STATE_TEARDOWN_SENT:
        sent = twtSendTeardownFrame(adapter, port, entry, flowId);
        break;
    case TWT_STATE_SUSPEND_DELIVERED:
        (void)twtPostMsg(adapter, entry, TWT_MSG_SUSPEND_DONE, flowId);
        return;
    case TWT_STATE_TEARDOWN_RECEIVED:
        (void)twtPostMsg(adapter, entry, TWT_MSG_TEARDOWN_DONE, flowId);
        return;
    default:
        return;
    }
    if (!NT_SUCCESS(sent)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "TWT flow %u: frame of state %u not sent (0x%08X)",
                 static_cast<unsigned>(flowId), static_cast<unsigned>(newState), static_cast<unsigned>(sent));
        twtSetFlowState(adapter, entry, TWT_STATE_IDLE, flowId, nullptr);
    }
}

VOID twtActSendSetup(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port;
    PMAC_TABLE_ENTRY entry;
    UCHAR flow;
    if (FlowTarget(adapter, elem, &port, &entry, &flow)) {
        twtSetFlowState(adapter, entry, TWT_STATE_SETUP_SENT, flow, &entry->Rlm.TwtFlows[flow].Request);
    }
}

namespace {

// The flow of a flow-reference message moves to the state (whose frame goes out).
void FlowToState(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem, ULONG state)
{
    PMP_PORT port;
    PMAC_TABLE_ENTRY entry;
    UCHAR flow;
    if (FlowTarget(adapter, elem, &port, &entry, &flow)) {
        twtSetFlowState(adapter, entry, state, flow, nullptr);
    }
}

}  // namespace

VOID twtActSendTeardown(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem) { FlowToState(adapter, elem, TWT_STATE_TEARDOWN_SENT); }

VOID twtActSuspend(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem) { FlowToState(adapter, elem, TWT_STATE_SUSPEND_SENT); }

VOID twtActResume(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port;
    PMAC_TABLE_ENTRY entry;
    UCHAR flow;
    TWT_RESUME_MSG msg{};
    if (!MessageBody(elem, &msg) || !FlowTarget(adapter, elem, &port, &entry, &flow)) {
        return;
    }
    const ULONG64 next = msg.NextTwt;
    twtSetFlowState(adapter, entry, TWT_STATE_RESUME_SENT, flow, &next);
}

VOID twtActSetupDone(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port;
    PMAC_TABLE_ENTRY entry;
    UCHAR flow;
    if (!FlowTarget(adapter, elem, &port, &entry, &flow)) {
        return;
    }
    TWT_FLOW& f = entry->Rlm.TwtFlows[flow];
    switch (f.Response.SetupCommand) {
    case TWT_SETUP_CMD_ACCEPT:
        (void)twtAgrtAdd(adapter, port, entry, &f.Response, flow);
        break;
    case TWT_SETUP_CMD_ALTERNATE:
    case TWT_SETUP_CMD_DICTATE:
        // A new request with the access point's values.
        f.Request = f.Response;
        f.Request.Request = 1;
        f.Request.SetupCommand = TWT_SETUP_CMD_SUGGEST;
        (void)twtPostMsg(adapter, entry, TWT_MSG_SEND_SETUP, flow);
        break;
    default:
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "TWT flow %u: setup command %u from the access point",
                 static_cast<unsigned>(flow), static_cast<unsigned>(f.Response.SetupCommand));
        break;
    }
}

namespace {

// The firmware forgets the flow's agreement (the slot stays for a resume unless `clear`), then the peer
// action; the transient state that led here ends: the flow is idle again (else no later response or
// teardown of the access point would be taken).
void AgreementGone(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem, BOOLEAN clear, ULONG transientState)
{
    PMP_PORT port;
    PMAC_TABLE_ENTRY entry;
    UCHAR flow;
    if (FlowTarget(adapter, elem, &port, &entry, &flow)) {
        (void)twtAgrtDelete(adapter, port, entry, flow, clear);
        (void)twtAgrtPeerCmd(adapter, entry);
        if (entry->Rlm.TwtState == transientState) {
            entry->Rlm.TwtState = TWT_STATE_IDLE;
        }
    }
}

}  // namespace

VOID twtActSuspendDone(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    AgreementGone(adapter, elem, FALSE, TWT_STATE_SUSPEND_DELIVERED);
}

VOID twtActResumeDone(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port;
    PMAC_TABLE_ENTRY entry;
    UCHAR flow;
    if (FlowTarget(adapter, elem, &port, &entry, &flow)) {
        (void)twtAgrtReAdd(adapter, port, entry, flow);
    }
}

VOID twtActTeardownDone(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    AgreementGone(adapter, elem, TRUE, TWT_STATE_TEARDOWN_RECEIVED);
}

VOID twtActSetTwt(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOfIndex(adapter, elem->PortIndex);
    TWT_SET_TWT_MSG msg{};
    if (port == nullptr || !MessageBody(elem, &msg)) {
        return;
    }
    UCHAR index = 0;
    TWT_PARAMS params{};
    (void)twtAgrtSlotSetTwt(adapter, port->BssIndex, msg.FlowId, msg.TargetWakeTime, msg.SizeCode, &index, &params);
}

VOID twtActTestRequest(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOfIndex(adapter, elem->PortIndex);
    TWT_TEST_MSG body{};
    if (port == nullptr || !MessageBody(elem, &body)) {
        return;
    }
    const TWT_TEST_MSG* msg = &body;
    PMAC_TABLE_ENTRY entry = AccessPointEntry(port);
    if (port->OpMode != 0 || (port->ConnectionFlags & PORT_CONN_CONNECTED) == 0 || entry == nullptr ||
        msg->FlowId >= TWT_FLOWS) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "TWT request %u: port %u is no connected station",
                 static_cast<unsigned>(msg->Command), static_cast<unsigned>(port->PortNumber));
        return;
    }
    auto query = [&](ULONG kind, const TWT_PARAMS* params) {
        PTWT_REQUEST_RECORD record = nullptr;
        if (!NT_SUCCESS(PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&record), sizeof(*record), TAG_ZV42))) {
            return;
        }
        record->Kind = kind;
        record->BssIndex = msg->BssIndex;
        record->FlowId = msg->FlowId;
        if (params != nullptr) {
            record->Params = *params;
        }
        entry->Rlm.TwtCurrentFlowId = msg->FlowId;
        (void)twtGetTsf(adapter, port, record);
    };
    if (msg->Command == TWT_TEST_LOCAL_AGREEMENT) {
        query(TWT_REQUEST_LOCAL, &msg->Params);
        return;
    }
    if (!RlmGetBit(entry->Rlm.HeMacCap, HE_MAC_TWT_RESPONDER)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "TWT request %u: the access point is no TWT responder",
                 static_cast<unsigned>(msg->Command));
        return;
    }
    UCHAR index = 0;
    TWT_PARAMS stored{};
    const BOOLEAN slot = static_cast<BOOLEAN>(NT_SUCCESS(twtAgrtSlotFind(adapter, msg->BssIndex, msg->FlowId, &index, &stored)));
    switch (msg->Command) {
    case TWT_TEST_SETUP:
        if (!slot) {
            query(TWT_REQUEST_SETUP, &msg->Params);
        }
        break;
    case TWT_TEST_TEARDOWN:
        if (slot) {
            entry->Rlm.TwtCurrentFlowId = msg->FlowId;
            (void)twtPostMsg(adapter, entry, TWT_MSG_SEND_TEARDOWN, msg->FlowId);
        }
        break;
    case TWT_TEST_SUSPEND:
        if (slot) {
            entry->Rlm.TwtCurrentFlowId = msg->FlowId;
            (void)twtPostMsg(adapter, entry, TWT_MSG_SUSPEND, msg->FlowId);
        }
        break;
    case TWT_TEST_RESUME:
        if (slot) {
            query(TWT_REQUEST_RESUME, nullptr);
        }
        break;
    default:
        break;
    }
}

// ================================================================================================
// entry points
// ================================================================================================
BOOLEAN twtTestRequest(PMP_ADAPTER adapter, const UCHAR* request, ULONG length)
{
    PMP_PORT port0 = adapter != nullptr ? adapter->PortList[0] : nullptr;
    if (port0 == nullptr || request == nullptr || length < TWT_TEST_REQUEST_MIN) {
        return FALSE;
    }
    const UCHAR count = request[0];
    const UCHAR command = request[1];
    const UCHAR flow = request[2];
    TWT_TEST_MSG msg{};
    msg.BssIndex = port0->BssIndex;
    msg.Command = command;
    msg.FlowId = flow;
    if (count == 3 && (command == TWT_TEST_TEARDOWN || command == TWT_TEST_SUSPEND || command == TWT_TEST_RESUME) &&
        flow < TWT_FLOWS) {
        // The parameters stay zero.
    } else if (count == 10 && flow < TWT_FLOWS && request[7] <= TWT_SETUP_CMD_DEMAND && request[9] <= 31) {
        msg.Params.Request = 1;
        msg.Params.Trigger = request[4] != 0 ? 1 : 0;
        msg.Params.Protection = request[5] != 0 ? 1 : 0;
        msg.Params.FlowType = request[6] != 0 ? 1 : 0;
        msg.Params.SetupCommand = request[7];
        msg.Params.MinWakeDuration = request[8];
        msg.Params.WakeIntervalExp = request[9];
        msg.Params.WakeIntervalMantissa = RlmGetU16(request + 10);
    } else {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "TWT request of %u arguments, command %u, flow %u dropped",
                 static_cast<unsigned>(count), static_cast<unsigned>(command), static_cast<unsigned>(flow));
        return FALSE;
    }
    return MlmeEnqueue(adapter, port0, MLME_TWT_STATE_MACHINE, TWT_MSG_TEST_REQUEST, sizeof(msg), &msg);
}

VOID twtRecvActionFrame(PMP_ADAPTER adapter, ULONG portIndex, const UCHAR* frame, ULONG length)
{
    PMP_PORT port = adapter != nullptr ? PortOfIndex(adapter, portIndex) : nullptr;
    if (port == nullptr || frame == nullptr || length <= kActionAt || frame[kCategoryAt] != kCategoryUnprotectedS1g) {
        return;
    }
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedBssid(port, frame + 10);
    if (entry == nullptr || entry->AssocState != MAC_ENTRY_ASSOCIATED) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "TWT frame from a station that is not associated");
        return;
    }
    switch (frame[kActionAt]) {
    case kActionSetup:
        twtRecvSetupResponse(adapter, port, entry, frame, length);
        break;
    case kActionTeardown:
        twtRecvTeardown(adapter, port, entry, frame, length);
        break;
    default:
        break;
    }
}

VOID twtRecvSetupResponse(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, const UCHAR* frame, ULONG length)
{
    UNREFERENCED_PARAMETER(port);
    if (length < kSetupMinimum || frame[kTwtElementAt] != kElementTwt ||
        kTwtElementAt + 2u + frame[kTwtElementAt + 1] < kSetupMinimum) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "TWT setup frame of %u bytes without a whole TWT element",
                 static_cast<unsigned>(length));
        return;
    }
    const USHORT requestType = RlmGetU16(frame + kRequestTypeAt);
    const UCHAR flow = static_cast<UCHAR>((requestType >> 7) & 0x7);
    TWT_PARAMS& r = entry->Rlm.TwtFlows[flow].Response;
    r.Request = static_cast<UCHAR>(requestType & 0x1);
    r.SetupCommand = static_cast<UCHAR>((requestType >> 1) & 0x7);
    r.Trigger = static_cast<UCHAR>((requestType >> 4) & 0x1);
    r.FlowType = static_cast<UCHAR>((requestType >> 6) & 0x1);
    r.WakeIntervalExp = static_cast<UCHAR>((requestType >> 10) & 0x1F);
    r.Protection = static_cast<UCHAR>((requestType >> 15) & 0x1);
    r.TargetWakeTime = GetU64(frame + kTargetWakeTimeAt);
    r.MinWakeDuration = frame[kDurationAt];
    r.WakeIntervalMantissa = RlmGetU16(frame + kMantissaAt);
    if (r.Request) {
        return;  // a request of the access point's own: nothing this side answers
    }
    if (IsStationPortsAccessPoint(entry) && entry->Rlm.TwtState == TWT_STATE_SETUP_DELIVERED) {
        entry->Rlm.TwtCurrentFlowId = flow;
        twtSetFlowState(adapter, entry, TWT_STATE_IDLE, flow, nullptr);
    }
}

VOID twtRecvTeardown(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, const UCHAR* frame, ULONG length)
{
    if (length <= kTeardownFlowAt) {
        return;
    }
    const UCHAR flowByte = frame[kTeardownFlowAt];
    if ((flowByte & 0x60) != 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "TWT teardown of negotiation type %u ignored",
                 static_cast<unsigned>((flowByte >> 5) & 3));
        return;  // not an individual agreement
    }
    if (!IsStationPortsAccessPoint(entry) || entry->Rlm.TwtState != TWT_STATE_IDLE) {
        return;
    }
    if ((flowByte & 0x80) == 0) {
        twtSetFlowState(adapter, entry, TWT_STATE_TEARDOWN_RECEIVED, static_cast<UCHAR>(flowByte & 0x7), nullptr);
        return;
    }
    // Teardown of every agreement with the access point.
    for (UCHAR flow = 0; flow < TWT_FLOWS; ++flow) {
        UCHAR index = 0;
        TWT_PARAMS params{};
        if (NT_SUCCESS(twtAgrtSlotFind(adapter, port->BssIndex, flow, &index, &params))) {
            twtSetFlowState(adapter, entry, TWT_STATE_TEARDOWN_RECEIVED, flow, nullptr);
        }
    }
}

NTSTATUS twtTxDoneHandler(PMP_ADAPTER adapter, UCHAR wlanIndex, UCHAR status)
{
    PMP_PORT port = adapter != nullptr ? MlmeSyncGetPortByWlanIdx(adapter, wlanIndex) : nullptr;
    PMAC_TABLE_ENTRY entry = port != nullptr ? MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex) : nullptr;
    if (entry == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const UCHAR flow = entry->Rlm.TwtCurrentFlowId;
    const BOOLEAN delivered = static_cast<BOOLEAN>(status == 0);
    switch (entry->Rlm.TwtState) {
    case TWT_STATE_SETUP_SENT:
        twtSetFlowState(adapter, entry, delivered ? TWT_STATE_SETUP_DELIVERED : TWT_STATE_IDLE, flow, nullptr);
        break;
    case TWT_STATE_SUSPEND_SENT:
        // Delivered: the suspension takes effect; lost: the information frame goes again.
        twtSetFlowState(adapter, entry, delivered ? TWT_STATE_SUSPEND_DELIVERED : TWT_STATE_SUSPEND_SENT, flow, nullptr);
        break;
    case TWT_STATE_RESUME_SENT:
        // A lost resume cannot be rebuilt (its next TWT is not kept): the flow waits in state 5.
        if (delivered) {
            twtSetFlowState(adapter, entry, TWT_STATE_IDLE, flow, nullptr);
        }
        break;
    case TWT_STATE_TEARDOWN_SENT:
        twtSetFlowState(adapter, entry, delivered ? TWT_STATE_IDLE : TWT_STATE_TEARDOWN_SENT, flow, nullptr);
        break;
    default:
        break;
    }
    return STATUS_SUCCESS;
}

NTSTATUS twtTeardownAllAgreements(PMP_ADAPTER adapter, PMAC_TABLE_ENTRY entry)
{
    BOOLEAN any = FALSE;
    for (const TWT_AGRT_SLOT& slot : adapter->Rlm.TwtSlots) {
        any = static_cast<BOOLEAN>(any || slot.Used);
    }
    if (!any) {
        return STATUS_UNSUCCESSFUL;
    }
    PMP_PORT port = PortOfEntry(adapter, entry);
    UCHAR payload[TWT_AGRT_UPDATE_LEN] = {};
    payload[1] = TWT_AGRT_ACTION_ALL;
    PutU16(payload + 4, WlanIndexOf(entry));
    payload[7] = port != nullptr ? port->BssIndex : 0;
    const NTSTATUS status = SendAgreementUpdate(port, payload);
    for (TWT_AGRT_SLOT& slot : adapter->Rlm.TwtSlots) {
        slot = TWT_AGRT_SLOT{};
    }
    return status;
}

// ================================================================================================
// slots and firmware commands
// ================================================================================================
NTSTATUS twtAgrtSlotAlloc(PMP_ADAPTER adapter, UCHAR bssIndex, UCHAR flowId, const TWT_PARAMS* params, PUCHAR index)
{
    for (UCHAR i = 0; i < TWT_AGRT_SLOTS; ++i) {
        TWT_AGRT_SLOT& slot = adapter->Rlm.TwtSlots[i];
        if (!slot.Used) {
            slot.Used = 1;
            slot.Index = i;
            slot.BssIndex = bssIndex;
            slot.FlowId = flowId;
            slot.Params = *params;
            *index = i;
            return STATUS_SUCCESS;
        }
    }
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "no free TWT agreement slot");
    return STATUS_UNSUCCESSFUL;
}

NTSTATUS twtAgrtSlotFind(PMP_ADAPTER adapter, UCHAR bssIndex, UCHAR flowId, PUCHAR index, PTWT_PARAMS params)
{
    if (index == nullptr || params == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    for (const TWT_AGRT_SLOT& slot : adapter->Rlm.TwtSlots) {
        if (slot.Used && slot.FlowId == flowId && slot.BssIndex == bssIndex) {
            *index = slot.Index;
            *params = slot.Params;
            return STATUS_SUCCESS;
        }
    }
    return STATUS_UNSUCCESSFUL;
}

NTSTATUS twtAgrtSlotSetTwt(PMP_ADAPTER adapter, UCHAR bssIndex, UCHAR flowId, ULONG64 targetWakeTime, UCHAR sizeCode,
                           PUCHAR index, PTWT_PARAMS params)
{
    if (sizeCode < 1 || sizeCode > 3 || !NT_SUCCESS(twtAgrtSlotFind(adapter, bssIndex, flowId, index, params))) {
        return STATUS_UNSUCCESSFUL;
    }
    adapter->Rlm.TwtSlots[*index].Params.TargetWakeTime = targetWakeTime;
    params->TargetWakeTime = targetWakeTime;
    return STATUS_SUCCESS;
}

NTSTATUS twtAgrtAdd(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, const TWT_PARAMS* params, UCHAR flowId)
{
    UCHAR index = 0;
    if (!NT_SUCCESS(twtAgrtSlotAlloc(adapter, port->BssIndex, flowId, params, &index))) {
        return STATUS_UNSUCCESSFUL;
    }
    return SendAdd(port, entry, index, flowId, *params);
}

NTSTATUS twtAgrtReAdd(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId)
{
    UCHAR index = 0;
    TWT_PARAMS params{};
    if (!NT_SUCCESS(twtAgrtSlotFind(adapter, port->BssIndex, flowId, &index, &params))) {
        return STATUS_UNSUCCESSFUL;
    }
    return SendAdd(port, entry, index, flowId, params);
}

NTSTATUS twtAgrtDelete(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId, BOOLEAN clear)
{
    UCHAR index = 0;
    TWT_PARAMS params{};
    if (!NT_SUCCESS(twtAgrtSlotFind(adapter, port->BssIndex, flowId, &index, &params))) {
        return STATUS_UNSUCCESSFUL;
    }
    if (clear) {
        adapter->Rlm.TwtSlots[index] = TWT_AGRT_SLOT{};
    }
    UCHAR payload[TWT_AGRT_UPDATE_LEN] = {};
    payload[0] = index;
    payload[1] = TWT_AGRT_ACTION_DELETE;
    payload[2] = port->OwnMacIndex;
    payload[3] = flowId;
    PutU16(payload + 4, WlanIndexOf(entry));
    payload[7] = port->BssIndex;
    return SendAgreementUpdate(port, payload);
}

NTSTATUS twtAgrtPeerCmd(PMP_ADAPTER adapter, PMAC_TABLE_ENTRY entry)
{
    PMP_PORT port = PortOfEntry(adapter, entry);
    UCHAR payload[TWT_AGRT_UPDATE_LEN] = {};
    payload[1] = TWT_AGRT_ACTION_PEER;
    PutU16(payload + 4, WlanIndexOf(entry));
    payload[7] = port != nullptr ? port->BssIndex : 0;
    return SendAgreementUpdate(port, payload);
}

NTSTATUS twtGetTsf(PMP_ADAPTER adapter, PMP_PORT port, PTWT_REQUEST_RECORD record)
{
    UCHAR payload[kTsfQueryLength] = {};
    PutU16(payload, 2);
    payload[4] = record->BssIndex;
    const NTSTATUS status =
        QzCmdSendSetQuery(port, FW_CMD_ID_EXTENDED, FW_CMD_CLASS_NORMAL, TWT_EXT_CMD_GET_TSF, 0, kFlagsTsfQuery, payload,
                          kTsfQueryLength, FwCmdAnswerCallback(twtGetTsfDone), reinterpret_cast<ULONG64>(record),
                          kTsfArgument);
    if (!NT_SUCCESS(status)) {
        // A refused or failed query never reaches its answer callback: the record goes here.
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "TSF query: 0x%08X", static_cast<unsigned>(status));
        FreeRecord(record);
    }
    UNREFERENCED_PARAMETER(adapter);
    return status;
}

NTSTATUS twtGetTsfDone(PMP_ADAPTER adapter, ULONG64 context, ULONG argument, PUCHAR answerEvent)
{
    UNREFERENCED_PARAMETER(argument);
    auto* record = reinterpret_cast<PTWT_REQUEST_RECORD>(context);
    if (record == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    PMP_PORT port = adapter != nullptr ? PortOfBssIndex(adapter, record->BssIndex) : nullptr;
    PMAC_TABLE_ENTRY entry = AccessPointEntry(port);
    const ULONG payloadLength = answerEvent != nullptr ? FwEventViewPayloadLength(answerEvent) : 0;
    const BOOLEAN third = static_cast<BOOLEAN>(adapter != nullptr && QzCmdChipGroup(adapter) == FW_CHIP_GROUP_ARVEL3X);
    // The TSF sits at payload offset 24 (two u32) on the third generation, at 32 (u64) on the others.
    const ULONG tsfEnd = third ? 32 : 40;
    if (port == nullptr || entry == nullptr || payloadLength < kTsfAnswerMinimum || payloadLength < tsfEnd ||
        record->FlowId >= TWT_FLOWS) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "TSF answer of %u bytes dropped (kind %u)", static_cast<unsigned>(payloadLength),
                 static_cast<unsigned>(record->Kind));
        FreeRecord(record);
        return STATUS_UNSUCCESSFUL;
    }
    const PUCHAR payload = answerEvent + FW_EVENT_VIEW_PAYLOAD_OFFSET;
    const ULONG64 tsf = third ? (GetU32(payload + 24) | (static_cast<ULONG64>(GetU32(payload + 28)) << 32))
                              : GetU64(payload + 32);
    const UCHAR flow = record->FlowId;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "TSF %llu for TWT request %u of flow %u",
             static_cast<unsigned long long>(tsf), static_cast<unsigned>(record->Kind), static_cast<unsigned>(flow));
    switch (record->Kind) {
    case TWT_REQUEST_LOCAL: {
        TWT_PARAMS params = record->Params;
        params.TargetWakeTime = tsf + kLocalAgreementDelayUs;
        (void)twtAgrtAdd(adapter, port, entry, &params, flow);
        break;
    }
    case TWT_REQUEST_SETUP:
        entry->Rlm.TwtFlows[flow].Request = record->Params;
        entry->Rlm.TwtFlows[flow].Request.TargetWakeTime = tsf + kSetupDelayUs;
        (void)twtPostMsg(adapter, entry, TWT_MSG_SEND_SETUP, flow);
        break;
    case TWT_REQUEST_RESUME: {
        ULONG64 next = tsf + kSetupDelayUs;
        if (!RlmGetBit(entry->Rlm.HeMacCap, HE_MAC_FLEXIBLE_TWT)) {
            next = twtGetNextTwt(adapter, record->BssIndex, flow, next);
        }
        TWT_RESUME_MSG msg{};
        msg.EntryRef = entry->WlanIdx;
        msg.FlowId = flow;
        msg.SizeCode = kResumeSizeCode;
        msg.NextTwt = next;
        (void)MlmeEnqueue(adapter, port, MLME_TWT_STATE_MACHINE, TWT_MSG_RESUME, sizeof(msg), &msg);
        break;
    }
    default:
        break;
    }
    FreeRecord(record);
    return STATUS_SUCCESS;
}

ULONG64 twtGetNextTwt(PMP_ADAPTER adapter, UCHAR bssIndex, UCHAR flowId, ULONG64 t)
{
    UCHAR index = 0;
    TWT_PARAMS params{};
    (void)twtAgrtSlotFind(adapter, bssIndex, flowId, &index, &params);
    // Computed in 64 bits: an exponent up to 31 shifts the mantissa past 32 bits.
    const ULONG64 interval = params.WakeIntervalExp < 48
                                 ? static_cast<ULONG64>(params.WakeIntervalMantissa) << params.WakeIntervalExp
                                 : 0;
    if (interval == 0) {
        return 0;
    }
    if (t < params.TargetWakeTime) {
        return params.TargetWakeTime;
    }
    return t + interval - ((t - params.TargetWakeTime) % interval);
}

// ================================================================================================
// frames
// ================================================================================================
ULONG twtBuildSetupFrame(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId,
                         const TWT_PARAMS* params, PUCHAR buffer)
{
    UCHAR header[MGMT_HEADER_SIZE];
    (void)ActionHeader(adapter, port, entry, header);
    UCHAR body[TWT_SETUP_FRAME_LEN - MGMT_HEADER_SIZE] = {};
    body[0] = kCategoryUnprotectedS1g;
    body[1] = kActionSetup;
    body[2] = 0;  // dialog token
    body[3] = kElementTwt;
    body[4] = kTwtElementLength;
    body[5] = 0;  // control
    PutU16(body + 6, RequestType(*params, flowId));
    PutU64(body + 8, params->TargetWakeTime);
    body[16] = params->MinWakeDuration;
    PutU16(body + 17, params->WakeIntervalMantissa);
    body[19] = 0;  // TWT channel
    ULONG length = 0;
    return BuildFrameFromParts(buffer, &length, static_cast<ULONG>(MGMT_HEADER_SIZE), header,
                               static_cast<ULONG>(sizeof(body)), body, END_OF_ARGS);
}

ULONG twtBuildInfoFrame(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId, UCHAR sizeCode,
                        ULONG64 nextTwt, PUCHAR buffer)
{
    static const UCHAR kNextTwtBytes[4] = {0, 4, 6, 8};
    UCHAR header[MGMT_HEADER_SIZE];
    (void)ActionHeader(adapter, port, entry, header);
    UCHAR body[3 + 8] = {};
    body[0] = kCategoryUnprotectedS1g;
    body[1] = kActionInformation;
    body[2] = static_cast<UCHAR>((flowId & 0x7) | ((sizeCode & 0x3) << 5));
    PutU64(body + 3, nextTwt);
    ULONG length = 0;
    return BuildFrameFromParts(buffer, &length, static_cast<ULONG>(MGMT_HEADER_SIZE), header,
                               static_cast<ULONG>(3 + kNextTwtBytes[sizeCode & 0x3]), body, END_OF_ARGS);
}

ULONG twtBuildTeardownFrame(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId, PUCHAR buffer)
{
    UCHAR header[MGMT_HEADER_SIZE];
    (void)ActionHeader(adapter, port, entry, header);
    const UCHAR body[3] = {kCategoryUnprotectedS1g, kActionTeardown, flowId};
    ULONG length = 0;
    return BuildFrameFromParts(buffer, &length, static_cast<ULONG>(MGMT_HEADER_SIZE), header,
                               static_cast<ULONG>(sizeof(body)), body, END_OF_ARGS);
}

NTSTATUS twtSendSetupFrame(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId,
                           const TWT_PARAMS* params)
{
    PUCHAR buffer = nullptr;
    NTSTATUS status = FrameBuffer(adapter, &buffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    return SendFrame(adapter, buffer, twtBuildSetupFrame(adapter, port, entry, flowId, params, buffer), TWT_PID_SETUP);
}

NTSTATUS twtSendInfoFrame(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId, UCHAR sizeCode,
                          ULONG64 nextTwt)
{
    PUCHAR buffer = nullptr;
    NTSTATUS status = FrameBuffer(adapter, &buffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    return SendFrame(adapter, buffer, twtBuildInfoFrame(adapter, port, entry, flowId, sizeCode, nextTwt, buffer),
                     TWT_PID_INFORMATION);
}

NTSTATUS twtSendTeardownFrame(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId)
{
    PUCHAR buffer = nullptr;
    NTSTATUS status = FrameBuffer(adapter, &buffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    return SendFrame(adapter, buffer, twtBuildTeardownFrame(adapter, port, entry, flowId, buffer), TWT_PID_TEARDOWN);
}
