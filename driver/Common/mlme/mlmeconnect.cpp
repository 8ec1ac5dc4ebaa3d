// The connect-control machine: dispatch by state, the idle procedure and the procedures of the
// connection steps.
#include "Common/mlme/mlmeconnect.h"

#include "Common/mlme/mlmereq.h"
#include "Common/mlme/mlmesync.h"
#include "Common/qzcmd_scan.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kSuspendFlag = 0x40000000u;
constexpr ULONG kDisassocConfirm = 37;

PMP_PORT ElemPort(PMP_ADAPTER adapter, const MLME_QUEUE_ELEM* elem)
{
    return elem->PortIndex < MP_MAX_PORTS ? adapter->PortList[elem->PortIndex] : nullptr;
}

}  // namespace

NTSTATUS MlmeCntLinkDown(PMP_PORT port, ULONG reason)
{
    UNREFERENCED_PARAMETER(port);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "MlmeCntLinkDown: reason %u", static_cast<unsigned>(reason));
    return NOT_BUILT_YET();
}

VOID MlmeCntlInit(PMLME_CNTL_MACHINE machine)
{
    machine->CurrState = CNTL_IDLE;
    machine->ResetRequest = 0;
}

VOID MlmeCntResetState(PMP_PORT port, PMLME_CNTL_MACHINE machine)
{
    UNREFERENCED_PARAMETER(port);
    machine->CurrState = CNTL_IDLE;
    machine->ResetRequest = 0;
}

VOID MlmeCntlMachinePerformAction(PMP_ADAPTER adapter, PMLME_CNTL_MACHINE machine, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = ElemPort(adapter, elem);
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "connect-control message %u without a port", static_cast<unsigned>(elem->MsgType));
        return;
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS)) {
        return;
    }
    if (machine->ResetRequest) {
        // The message is not handled: the port's machines restart and a running scan is aborted.
        (void)MlmeRestartStateMachine(adapter, port);
        machine->ResetRequest = 0;
        if (AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
            ScanNeighborAPInfoListReset(adapter, &adapter->NeighborApList);
            (void)QzCmdSendAbortScan(adapter);
            AdapterClearFlag(adapter, ADAPTER_FLAG_SCANNING, __func__);
        }
        return;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "MlmeCntlMachinePerformAction: state %u message %u",
             static_cast<unsigned>(machine->CurrState), static_cast<unsigned>(elem->MsgType));
    switch (machine->CurrState) {
    case CNTL_IDLE: MlmeCntlIdleProc(adapter, port, elem); break;
    case CNTL_WAIT_DISASSOC: MlmeCntlWaitDisassocProc(adapter, port, elem); break;
    case CNTL_WAIT_JOIN: MlmeCntlWaitJoinProc(adapter, port, elem); break;
    case CNTL_WAIT_REASSOC: MlmeCntlWaitReassocProc(adapter, port, elem); break;
    case CNTL_WAIT_AUTH: MlmeCntlWaitAuthProc(adapter, port, elem); break;
    case CNTL_WAIT_ASSOC: MlmeCntlWaitAssocProc(adapter, port, elem); break;
    case CNTL_WAIT_AUTH2: MlmeCntlWaitAuth2Proc(adapter, port, elem); break;
    case CNTL_WAIT_OID_LIST_SCAN: MlmeCntlWaitOidListScan(adapter, port, elem); break;
    case CNTL_WAIT_LINK_DOWN_DISASSOC: MlmeCntlWaitLinkDownDisassocProc(adapter, port, elem); break;
    case CNTL_WAIT_CONNECT_SCAN: MlmeCntlWaitConnectScanProc(adapter, port, elem); break;
    case CNTL_WAIT_OID_SPLIT_SCAN: MlmeCntlWaitOidSplitScan(adapter, port, elem); break;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "connect control: state %u drops message 0x%X",
                 static_cast<unsigned>(machine->CurrState), static_cast<unsigned>(elem->MsgType));
        break;
    }
}

VOID MlmeCntlIdleProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_RADIO_OFF)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "connect control: radio off, message 0x%X dropped",
                 static_cast<unsigned>(elem->MsgType));
        return;
    }
    switch (elem->MsgType) {
    case CNTL_MSG_OID_SCAN: MlmeCntlOidScanProc(adapter, port, elem); break;
    case CNTL_MSG_OID_CONNECT: MlmeCntlOidConnectProc(adapter, port, elem); break;
    default:
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "connect control idle: message 0x%X dropped",
                 static_cast<unsigned>(elem->MsgType));
        break;
    }
}

VOID MlmeCntlWaitLinkDownDisassocProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    if (elem->MsgType != kDisassocConfirm) {
        return;
    }
    if (!AdapterTestFlags(adapter, kSuspendFlag)) {
        (void)MlmeCntLinkDown(port, 0);
    }
    port->Mlme.CntlMachine.CurrState = CNTL_IDLE;
}

// ---- the reset request of the OS's aborts -------------------------------------------------------------------
VOID MlmeCntlSetSmReset(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
}

BOOLEAN MlmeCntlWaitSmResetDone(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
    return FALSE;
}

// ---- the connection steps ---------------------------------------------------------------------------------
VOID MlmeCntlOidConnectProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(elem);
    (void)NOT_BUILT_YET();
}

VOID MlmeCntlWaitDisassocProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(elem);
    (void)NOT_BUILT_YET();
}

VOID MlmeCntlWaitJoinProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(elem);
    (void)NOT_BUILT_YET();
}

VOID MlmeCntlWaitReassocProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(elem);
    (void)NOT_BUILT_YET();
}

VOID MlmeCntlWaitAuthProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(elem);
    (void)NOT_BUILT_YET();
}

VOID MlmeCntlWaitAssocProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(elem);
    (void)NOT_BUILT_YET();
}

VOID MlmeCntlWaitAuth2Proc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(elem);
    (void)NOT_BUILT_YET();
}

VOID MlmeCntlWaitConnectScanProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(elem);
    (void)NOT_BUILT_YET();
}

VOID MlmeCntlConnectGiveUp(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
}

VOID MlmeCntlResetConnectTarget(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    // Port 0's desired BSSID lives in the connect-control record.
    (void)NOT_BUILT_YET();
}
