// The handlers of the WDI task rows. Each comes with its own task's code (the connect, roam,
// disconnect and reset tasks in wdiconnect.cpp, the radio and operation-mode tasks in wdiradio.cpp).
#include "platform/wdi/wditask.h"

#include "Common/mlme/mlmereq.h"
#include "Common/mlme/mlmesync.h"
#include "Common/qzcmd_scan.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/ndiswdi.h"
#include "platform/wdi/wdievent.h"
#include "Common/mlme/mlmemem.h"

NTSTATUS WdiTaskScan(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    const NTSTATUS status =
        NdisWdiSetOidDot11ScanRequest(adapter, request, static_cast<const WDI_SCAN_PARAMETERS*>(parameters));
    (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
    return status;
}

NTSTATUS WdiTaskP2pDiscover(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskP2pSendRequestActionFrame(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskP2pSendResponseActionFrame(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskStartAp(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskStopAp(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskSendApAssociationResponse(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

namespace {

// The largest body an MLME buffer holds behind the 24-byte header.
constexpr ULONG kActionBodyMax = MLME_BUFFER_SIZE - MGMT_HEADER_SIZE;

using ActionSender = NTSTATUS (*)(PMP_ADAPTER, PMP_PORT, const WDI_SEND_ACTION_FRAME_PARAMETERS*);

// Both action-frame tasks: the request is completed at once; a frame not sent ends the task with
// its send-complete indication, a frame sent ends it when its transmit status comes back.
NTSTATUS SendActionFrameTask(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters, ActionSender send,
                             UCHAR direction)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const auto* p = static_cast<const WDI_SEND_ACTION_FRAME_PARAMETERS*>(parameters);
    NTSTATUS status;
    if (p == nullptr || p->FrameBody.pElements == nullptr || p->FrameBody.ElementCount < 2 ||
        p->FrameBody.ElementCount > kActionBodyMax) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "action frame with a body of %u bytes refused",
                 p != nullptr ? static_cast<unsigned>(p->FrameBody.ElementCount) : 0u);
        status = NDIS_STATUS_INVALID_DATA;
    } else {
        status = send(adapter, port, p);
    }
    (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
    if (!NT_SUCCESS(status)) {
        WdiEventIndicationSendActionComplete(adapter, port, direction, STATUS_UNSUCCESSFUL);
    }
    return status;
}

}  // namespace

NTSTATUS WdiTaskSendRequestActionFrame(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    return SendActionFrameTask(adapter, request, parameters, NdisWdiSendRequestActionFrame, 1);
}

NTSTATUS WdiTaskSendResponseActionFrame(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    return SendActionFrameTask(adapter, request, parameters, NdisWdiSendResponseActionFrame, 0);
}

NTSTATUS WdiTaskAbortScanRequest(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (!AdapterTestFlags(adapter, ADAPTER_FLAG_OS_SCAN) && !WdiTaskIsPending(adapter, WDI_TASK_SCAN)) {
        return STATUS_UNSUCCESSFUL;
    }
    if (WdiTaskIsPending(adapter, WDI_TASK_P2P_DISCOVER) && AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
        (void)MlmeSyncP2pSetListenState(adapter, port, port->P2pListenChannel, 0, 0, 0);
        UCHAR cancelled = 0;
        PlatformCancelTimer(&port->P2pListenSTASwitchTimer, &cancelled);
    }
    ScanNeighborAPInfoListReset(adapter, &adapter->NeighborApList);
    adapter->Mlme.Scan.RoamingNeeded = 0;
    UCHAR cancelled = 0;
    PlatformCancelTimer(&adapter->Mlme.Scan.ScanTimer, &cancelled);
    const bool p2p = port->PortType >= WFD_DEVICE && port->PortType <= WFD_CLIENT;
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    if (adapter->RegistryBlock.RebootScanEnhancement && !p2p &&
        (scan.RebootScanState == REBOOT_SCAN_SENT || scan.RebootScanState == REBOOT_SCAN_DONE)) {
        scan.RebootScanState = REBOOT_SCAN_IDLE;
    }
    // The firmware is told to cancel while the adapter still marks the scan running: the scan-done
    // confirm queued below ends the scan on the MLME thread and clears that mark, after which the
    // cancel would be refused and the firmware would scan on. The aborted byte is set first so the
    // confirm starts no follow-up scan.
    adapter->Wdi.ScanAbortRequested.store(1);
    const NTSTATUS status = QzCmdSendAbortScan(adapter);
    (void)MlmeSyncScanDone(adapter, port, 0);
    return status;
}
