// The management-frame protection machine: SA Query. A station port that got an unprotected
// deauthentication which may be forged asks its access point whether the association still stands:
// a request every 201 ms, each with a new transaction id; a response with the latest id keeps the
// association, none within 1000 ms ends it. Requests of the access point are answered.
#include "Common/mlme/mlmepmf.h"

#include <cstring>

#include "Common/common.h"
#include "Common/mlme/mlmeassoc.h"
#include "Common/mlme/mlmeauth.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmereq.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kSubtypeAction = 13;
constexpr USHORT kFcProtected = 0x4000;
constexpr USHORT kFcTypeMask = 0x000C;
constexpr UCHAR kCategorySaQuery = 8;
constexpr UCHAR kActionRequest = 0;
constexpr UCHAR kActionResponse = 1;
constexpr ULONG kMsgArmConfirm = 3;
constexpr ULONG kRequestPeriodMs = 201;
constexpr ULONG kConfirmMs = 1000;
constexpr ULONG kTransactionIdOffset = 26;
constexpr ULONG kOwnerPmf = 0x504D4653;  // "PMFS"
constexpr ULONG kStateIdle = 0;
constexpr ULONG kStateQuerying = 1;
constexpr ULONG kPowerWorking = 1;

PMP_PORT PortOf(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    if (adapter == nullptr || elem == nullptr || elem->PortIndex >= MP_MAX_PORTS) {
        return nullptr;
    }
    return adapter->PortList[elem->PortIndex];
}

// The transaction id of a received SA Query frame; FALSE for a frame too short to carry it.
bool FrameTransactionId(const MLME_QUEUE_ELEM* elem, USHORT* id)
{
    if (elem->MsgLen < kTransactionIdOffset + 2 || elem->MsgLen > MLME_MSG_SIZE) {
        return false;
    }
    *id = static_cast<USHORT>(elem->Msg[kTransactionIdOffset] | (elem->Msg[kTransactionIdOffset + 1] << 8));
    return true;
}

void Cancel(PPLATFORM_TIMER timer)
{
    UCHAR cancelled = FALSE;
    PlatformCancelTimer(timer, &cancelled);
}

bool PortConnected(const MP_PORT* port) { return (port->ConnectionFlags & PORT_CONN_CONNECTED) != 0; }

}  // namespace

VOID PmfStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    StateMachineInit(machine, port->Mlme.PmfFunc, PMF_MACHINE_STATES, PMF_MACHINE_MSGS, Drop, kStateIdle, 0);
    StateMachineSetAction(machine, kStateIdle, MT2_PMF_SA_QUERY_START, PmfStartSAQueryAction);
    StateMachineSetAction(machine, kStateIdle, MT2_PMF_SA_QUERY_REQ, PmfPeerSAQueryReqAction);
    StateMachineSetAction(machine, kStateQuerying, MT2_PMF_SA_QUERY_RSP, PmfPeerSAQueryRspAction);
    StateMachineSetAction(machine, kStateQuerying, kMsgArmConfirm, PmfArmConfirmTimerAction);
    PMF_SA_QUERY_STATE& pmf = port->Mlme.Pmf;
    pmf.State = kStateIdle;
    pmf.StopRetry = 0;
    PlatformInitTimer(port, &pmf.RequestTimer, PmfReqTimeoutActionTimerCallback, FALSE, "PmfReqTimeoutActionTimer");
    PlatformInitTimer(port, &pmf.ConfirmTimer, PmfConfirmTimeoutActionTimerCallback, FALSE,
                      "PmfConfirmTimeoutActionTimer");
}

VOID PmfSendSAQueryFrame(PMP_ADAPTER adapter, PMP_PORT port, UCHAR action, PUSHORT transactionId)
{
    if (adapter == nullptr || port == nullptr || transactionId == nullptr) {
        return;
    }
    PUCHAR buffer = nullptr;
    if (!NT_SUCCESS(MlmeAllocateMemoryEx(adapter, kOwnerPmf, &buffer)) || buffer == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "SA Query %u not sent: no frame buffer", static_cast<unsigned>(action));
        return;
    }
    if (action == kActionRequest) {
        ++*transactionId;
    }
    HEADER_802_11 header;
    BuildMgmtMacHeader(adapter, port, &header, kSubtypeAction, 0, port->Bssid, port->Bssid);
    header.FrameControl = static_cast<USHORT>(header.FrameControl & ~kFcTypeMask);
    if (MlmeStaMfpInUse(adapter, port, TRUE)) {
        header.FrameControl = static_cast<USHORT>(header.FrameControl | kFcProtected);
    }
    const USHORT id = *transactionId;
    const UCHAR body[4] = {kCategorySaQuery, action, static_cast<UCHAR>(id & 0xFF), static_cast<UCHAR>(id >> 8)};
    ULONG length = 0;
    BuildFrameFromParts(buffer, &length, static_cast<ULONG>(sizeof(header)), &header, static_cast<ULONG>(sizeof(body)),
                        body, END_OF_ARGS);
    (void)MlmeStaSendMgmtFrame(adapter, buffer, length, TRUE);
}

VOID PmfStartSAQueryAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr || adapter->CurrentPowerState != kPowerWorking) {
        return;
    }
    PmfSendSAQueryFrame(adapter, port, kActionRequest, &adapter->Mlme.SaQueryTransactionId);
    PMF_SA_QUERY_STATE& pmf = port->Mlme.Pmf;
    pmf.State = kStateQuerying;
    port->Mlme.PmfMachine.CurrState = kStateQuerying;
    pmf.StopRetry = 0;
    (void)PlatformSetTimer(port, &pmf.RequestTimer, kRequestPeriodMs);
    const ULONG length = elem->MsgLen <= MLME_MSG_SIZE ? elem->MsgLen : MLME_MSG_SIZE;
    (void)MlmeEnqueue(adapter, port, MLME_PMF_STATE_MACHINE, kMsgArmConfirm, length, elem->Msg);
}

VOID PmfArmConfirmTimerAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return;
    }
    (void)PlatformSetTimer(port, &port->Mlme.Pmf.ConfirmTimer, kConfirmMs);
}

VOID PmfPeerSAQueryRspAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return;
    }
    PMF_SA_QUERY_STATE& pmf = port->Mlme.Pmf;
    USHORT id = 0;
    if (pmf.State != kStateQuerying) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "SA Query response while not querying: ignored");
        return;
    }
    if (!FrameTransactionId(elem, &id) || id != adapter->Mlme.SaQueryTransactionId) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "SA Query response with another transaction id: ignored");
        return;
    }
    Cancel(&pmf.RequestTimer);
    Cancel(&pmf.ConfirmTimer);
    pmf.State = kStateIdle;
    port->Mlme.PmfMachine.CurrState = kStateIdle;
}

VOID PmfPeerSAQueryReqAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = PortOf(adapter, elem);
    if (port == nullptr) {
        return;
    }
    const ULONG assocState = port->Mlme.AssocMachine.CurrState;
    if (assocState == 1 || assocState == 2) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "SA Query request during an association: not answered");
        return;
    }
    USHORT id = 0;
    if (!FrameTransactionId(elem, &id)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "SA Query request of %u bytes: dropped",
                 static_cast<unsigned>(elem->MsgLen));
        return;
    }
    PmfSendSAQueryFrame(adapter, port, kActionResponse, &id);
}

VOID PmfReqTimeoutActionTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                      PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "SA Query request timer without a port");
        return;
    }
    PMP_ADAPTER adapter = port->Adapter;
    if (!PortConnected(port)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "SA Query request timer: port not connected");
        return;
    }
    if (port->Mlme.Pmf.StopRetry == 1 || AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    (void)PlatformSetTimer(port, &port->Mlme.Pmf.RequestTimer, kRequestPeriodMs);
    PmfSendSAQueryFrame(adapter, port, kActionRequest, &adapter->Mlme.SaQueryTransactionId);
}

VOID PmfConfirmTimeoutActionTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                          PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "SA Query confirm timer without a port");
        return;
    }
    PMP_ADAPTER adapter = port->Adapter;
    PMF_SA_QUERY_STATE& pmf = port->Mlme.Pmf;
    Cancel(&pmf.RequestTimer);
    if (!PortConnected(port)) {
        return;
    }
    pmf.StopRetry = 1;
    if (AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "SA Query confirm timer during halt: stopped");
        return;
    }
    pmf.State = kStateIdle;
    port->Mlme.PmfMachine.CurrState = kStateIdle;
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "no SA Query response within 1000 ms: the association ends");
    // The connection target of port 0 goes back to "any", as a reset leaves it.
    MlmeCntlResetConnectTarget(adapter);
    adapter->Mlme.Req.ForgetLastNetwork = 0;
    if (KeGetCurrentIrql() >= DISPATCH_LEVEL) {
        (void)QZEnqueueInternalCmd(adapter, port, INTERNAL_CMD_DISCONNECT, nullptr, 0);
    } else {
        ULONG written = 0;
        ULONG needed = 0;
        (void)DisconnectRequest(adapter, port, &written, &needed, 0, nullptr);
    }
}
