// The WDI layer's core: dispatch rows, the task control block, request completion, the indication
// sender and the abort of the pending task.
#include "platform/wdi/wdimain.h"

#include <cstring>

#include "Common/mlme/mlmesync_rnr.h"
#include "Common/qzcmd_scan.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdiproperty.h"
#include "platform/wdi/wditask.h"

// ================================================================================================
// dispatch rows
// ================================================================================================
const WDI_TASK_DISPATCH_ENTRY g_WdiTaskTable[WDI_TASK_ROW_COUNT] = {
    {WDI_TASK_SCAN, "QZ_WDI_TASK_SCAN", WdiTaskScan, WdiTaskAbortScanRequest, WDI_INDICATION_SCAN_COMPLETE,
     WdiTlvParseTaskScan, WdiTlvCleanupTaskScan, sizeof(WDI_SCAN_PARAMETERS)},
    {WDI_TASK_P2P_DISCOVER, "QZ_WDI_TASK_P2P_DISCOVER", WdiTaskP2pDiscover, WdiTaskAbortScanRequest,
     WDI_INDICATION_P2P_DISCOVERY_COMPLETE, nullptr, nullptr, 0},
    {WDI_TASK_CONNECT, "QZ_WDI_TASK_CONNECT", WdiTaskConnect, WdiTaskAbortConnectRequest,
     WDI_INDICATION_CONNECT_COMPLETE, WdiTlvParseTaskConnect, WdiTlvCleanupTaskConnect, sizeof(WDI_CONNECT_PARAMETERS)},
    {WDI_TASK_DOT11_RESET, "QZ_WDI_TASK_DOT11_RESET", WdiTaskDot11Reset, nullptr, WDI_INDICATION_DOT11_RESET_COMPLETE,
     WdiTlvParseTaskDot11Reset, WdiTlvCleanup, sizeof(WDI_DOT11_RESET_PARAMETERS)},
    {WDI_TASK_DISCONNECT, "QZ_WDI_TASK_DISCONNECT", WdiTaskDisconnect, nullptr, WDI_INDICATION_DISCONNECT_COMPLETE,
     WdiTlvParseTaskDisconnect, WdiTlvCleanup, sizeof(WDI_DISCONNECT_PARAMETERS)},
    {WDI_TASK_P2P_SEND_REQUEST_ACTION_FRAME, "QZ_WDI_TASK_P2P_SEND_REQUEST_ACTION_FRAME",
     WdiTaskP2pSendRequestActionFrame, nullptr, 0x40050041u, nullptr, nullptr, 0},
    {WDI_TASK_P2P_SEND_RESPONSE_ACTION_FRAME, "QZ_WDI_TASK_P2P_SEND_RESPONSE_ACTION_FRAME",
     WdiTaskP2pSendResponseActionFrame, nullptr, 0x40050042u, nullptr, nullptr, 0},
    {WDI_TASK_SET_RADIO_STATE, "QZ_WDI_TASK_SET_RADIO_STATE", WdiTaskSetRadioState, nullptr,
     WDI_INDICATION_SET_RADIO_STATE_COMPLETE, WdiTlvParseTaskSetRadioState, WdiTlvCleanup,
     sizeof(WDI_SET_RADIO_STATE_PARAMETERS)},
    {WDI_TASK_START_AP, "QZ_WDI_TASK_START_AP", WdiTaskStartAp, nullptr, 0x40050046u, nullptr, nullptr, 0},
    {WDI_TASK_STOP_AP, "QZ_WDI_TASK_STOP_AP", WdiTaskStopAp, nullptr, 0x40050047u, nullptr, nullptr, 0},
    {WDI_TASK_SEND_AP_ASSOCIATION_RESPONSE, "QZ_WDI_TASK_SEND_AP_ASSOCIATION_RESPONSE",
     WdiTaskSendApAssociationResponse, nullptr, 0x40050049u, nullptr, nullptr, 0},
    {WDI_TASK_CHANGE_OPERATION_MODE, "QZ_WDI_TASK_CHANGE_OPERATION_MODE", WdiTaskChangeOperationMode, nullptr,
     WDI_INDICATION_CHANGE_OPERATION_MODE_COMPLETE, WdiTlvParseTaskChangeOperationMode, WdiTlvCleanup,
     sizeof(WDI_OPERATION_MODE_PARAMETERS)},
    {WDI_TASK_ROAM, "QZ_WDI_TASK_ROAM", WdiTaskRoam, WdiTaskAbortRoamRequest, WDI_INDICATION_ROAM_COMPLETE,
     WdiTlvParseTaskConnect, WdiTlvCleanupTaskConnect, sizeof(WDI_CONNECT_PARAMETERS)},
    {WDI_TASK_SEND_REQUEST_ACTION_FRAME, "QZ_WDI_TASK_SEND_REQUEST_ACTION_FRAME", WdiTaskSendRequestActionFrame,
     nullptr, 0x4005006Au, WdiTlvParseTaskSendRequestActionFrame, WdiTlvCleanupTaskSendActionFrame,
     sizeof(WDI_SEND_ACTION_FRAME_PARAMETERS)},
    {WDI_TASK_SEND_RESPONSE_ACTION_FRAME, "QZ_WDI_TASK_SEND_RESPONSE_ACTION_FRAME", WdiTaskSendResponseActionFrame,
     nullptr, 0x4005006Bu, WdiTlvParseTaskSendResponseActionFrame, WdiTlvCleanupTaskSendActionFrame,
     sizeof(WDI_SEND_ACTION_FRAME_PARAMETERS)},
    {WDI_TASK_DUMMY_ID, "QZ_WDI_TASK_DUMMY", nullptr, nullptr, WDI_INDICATION_NONE, nullptr, nullptr, 0},
};

const WDI_PROPERTY_DISPATCH_ENTRY g_WdiPropertyTable[WDI_PROPERTY_ROW_COUNT] = {
    {26, "QZ_WDI_SET_P2P_LISTEN_STATE", WdiPropertySetP2pListenState, nullptr, nullptr, 0},
    {28, "QZ_WDI_SET_PRIVACY_EXEMPTION_LIST", WdiPropertySetPrivacyExemptionList, WdiTlvParsePrivacyExemptionList,
     WdiTlvCleanupPrivacyExemptionList, sizeof(WDI_PRIVACY_EXEMPTION_PARAMETERS)},
    {29, "QZ_WDI_SET_ADD_CIPHER_KEYS", WdiPropertySetAddCipherKeys, WdiTlvParseSetAddCipherKeys,
     WdiTlvCleanupSetAddCipherKeys, sizeof(WDI_SET_ADD_CIPHER_KEYS_PARAMETERS)},
    {30, "QZ_WDI_SET_DELETE_CIPHER_KEYS", WdiPropertySetDeleteCipherKeys, nullptr, nullptr, 0},
    {31, "QZ_WDI_SET_DEFAULT_KEY_ID", WdiPropertySetDefaultKeyId, WdiTlvParseSetDefaultKeyId, WdiTlvCleanup,
     sizeof(WDI_DEFAULT_KEY_ID_PARAMETERS)},
    {32, "QZ_WDI_SET_CONNECTION_QUALITY", WdiPropertySetConnectionQuality, WdiTlvParseSetConnectionQuality,
     WdiTlvCleanup, sizeof(WDI_CONNECTION_QUALITY_PARAMETERS)},
    {WDI_GET_STATISTICS, "QZ_WDI_GET_STATISTICS", WdiPropertyGetStatistics, nullptr, nullptr, 0},
    {41, "QZ_WDI_SET_NETWORK_LIST_OFFLOAD", WdiPropertySetNetworkListOffload, WdiTlvParseNetworkListOffload,
     WdiTlvCleanupNetworkListOffload, sizeof(WDI_NLO_PARAMETERS)},
    {47, "QZ_WDI_GET_BSS_ENTRY_LIST", WdiPropertyGetBssEntryList, nullptr, nullptr, 0},
    {WDI_ABORT_TASK, "QZ_WDI_ABORT_TASK", WdiPropertySetTaskAbort, WdiTlvParseTaskAbort, WdiTlvCleanup,
     sizeof(WDI_TASK_ABORT_PARAMETERS)},
    {85, "QZ_WDI_SET_ADAPTER_CONFIGURATION", WdiPropertySetAdapterConfiguration, WdiTlvParseAdapterConfiguration,
     WdiTlvCleanup, sizeof(WDI_ADAPTER_CONFIGURATION_PARAMETERS)},
    {88, "QZ_WDI_GET_PM_PROTOCOL_OFFLOAD", WdiPropertyGetPmProtocolOffload, nullptr, nullptr, 0},
    {89, "QZ_WDI_SET_ADVERTISEMENT_INFORMATION", WdiPropertySetAdvertisementInfo, nullptr, nullptr, 0},
    {97, "QZ_WDI_SET_FLUSH_BSS_ENTRY", WdiPropertySetFlushBssEntry, nullptr, nullptr, 0},
    {99, "QZ_WDI_SET_ASSOCIATION_PARAMETERS", WdiPropertySetAssociationParameters, WdiTlvParseSetAssociationParameters,
     WdiTlvCleanupSetAssociationParameters, sizeof(WDI_ASSOCIATION_PARAMETERS)},
    {WDI_GET_NEXT_ACTION_FRAME_DIALOG_TOKEN, "QZ_WDI_GET_NEXT_ACTION_FRAME_DIALOG_TOKEN",
     WdiPropertyGetNextActionFrameDialogToken, nullptr, nullptr, 0},
    {123, "QZ_WDI_SET_P2P_WPS_ENABLED", WdiPropertySetP2pWpsEnabled, nullptr, nullptr, 0},
    {127, "QZ_WDI_SET_FAST_BSS_TRANSITION_PARAMETERS", WdiPropertySetFastBssTransitionParameters,
     WdiTlvParseSetFastBssTransitionParameters, WdiTlvCleanupSetFastBssTransitionParameters,
     sizeof(WDI_FAST_BSS_TRANSITION_PARAMETERS)},
    {128, "QZ_WDI_SET_NEIGHBOR_REPORT_ENTRIES", WdiPropertySetNeighborReportEntries, WdiTlvParseSetNeighborReportEntries,
     WdiTlvCleanupSetNeighborReportEntries, sizeof(WDI_NEIGHBOR_REPORT_PARAMETERS)},
    {135, "QZ_WDI_SET_SAE_AUTH_PARAMS", WdiPropertySetSAEParams, WdiTlvParseSetSaeParams, WdiTlvCleanupSetSaeParams,
     sizeof(WDI_SAE_PARAMETERS)},
    {138, "QZ_WDI_SET_LOCATION_PRIVACY", WdiPropertySetLocationPrivacy, WdiTlvParseLocationPrivacy, WdiTlvCleanup,
     sizeof(WDI_LOCATION_PRIVACY_PARAMETERS)},
};

USHORT WdiFindTaskRow(ULONG messageId)
{
    for (USHORT i = 0; i < WDI_TASK_ROW_COUNT; ++i) {
        if (g_WdiTaskTable[i].MessageId == messageId && messageId != WDI_TASK_DUMMY_ID) {
            return i;
        }
    }
    return WDI_TASK_ROW_NONE;
}

USHORT WdiFindPropertyRow(ULONG messageId)
{
    for (USHORT i = 0; i < WDI_PROPERTY_ROW_COUNT; ++i) {
        if (g_WdiPropertyTable[i].MessageId == messageId) {
            return i;
        }
    }
    return WDI_TASK_ROW_NONE;
}

namespace {

PWDI_CNTL_BLOCK Block(PMP_ADAPTER adapter) { return &adapter->Wdi.CntlBlock; }

// The completion code of a task row; WDI_INDICATION_NONE for none.
ULONG RowCompletionCode(USHORT row)
{
    return row < WDI_TASK_ROW_COUNT ? g_WdiTaskTable[row].CompletionCode : WDI_INDICATION_NONE;
}

// Hands one built indication to the OS through a memory object over the buffer.
void DeliverIndication(PMP_ADAPTER adapter, ULONG code, PVOID buffer, ULONG length)
{
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.ParentObject = adapter->Device;
    WDFMEMORY memory = nullptr;
    NTSTATUS status = WdfMemoryCreatePreallocated(&attributes, buffer, length, &memory);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "indication %s (0x%08X) lost: no memory object (0x%08X)",
                 DecodeWdiIndication(code), static_cast<unsigned>(code), static_cast<unsigned>(status));
        return;
    }
    WifiDeviceReceiveIndication(adapter->Device, static_cast<USHORT>(code & 0xFFFF), memory);
    WdfObjectDelete(memory);
}

// What the abort of a connect does while the firmware scans: empties the neighbour-AP list and sends
// the firmware scan abort.
void AbortScanOfConnect(PMP_ADAPTER adapter)
{
    ScanNeighborAPInfoListReset(adapter, &adapter->NeighborApList);
    (void)QzCmdSendAbortScan(adapter);
    AdapterClearFlag(adapter, ADAPTER_FLAG_SCANNING, __func__);
}

// What the abort of an action-frame task does while the adapter holds a channel privilege: cancels
// the port's two action-frame timers and releases the privilege (QzCmdChPrivilage, abort form);
// both come with the action-frame code.
void AbortActionFramePrivilege(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
}

}  // namespace

// ================================================================================================
// the task control block
// ================================================================================================
VOID WdiInitCntlBlock(PMP_ADAPTER adapter)
{
    PWDI_CNTL_BLOCK block = Block(adapter);
    PlatformAllocateSpinLock(&block->PendingLock);
    PlatformAllocateSpinLock(&block->CopyLock);
    PlatformAllocateSpinLock(&adapter->Wdi.History.Lock);
    block->RowIndex = WDI_TASK_ROW_NONE;
    block->TaskPending = 0;
    block->PendingRequest = nullptr;
    block->PrivateCopy = nullptr;
    block->PrivateCopyLength = 0;
}

NTSTATUS WdiUpdateCntlBlock(PMP_ADAPTER adapter, WIFIREQUEST request, USHORT rowIndex)
{
    PWDI_CNTL_BLOCK block = Block(adapter);
    KIRQL irql;
    if (request != nullptr) {
        ULONG messageId = WifiRequestGetMessageId(request);
        UINT inputLength = 0;
        auto* buffer = static_cast<PUCHAR>(WifiRequestGetInOutBuffer(request, &inputLength, nullptr));
        // The recorded copy begins with the WDI header: a request without one records nothing.
        if (buffer == nullptr || inputLength < WDI_MESSAGE_HEADER_SIZE) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "task %u: no WDI header to record (%u bytes)",
                     static_cast<unsigned>(messageId), static_cast<unsigned>(inputLength));
            return STATUS_INVALID_PARAMETER;
        }
        PVOID copy = nullptr;
        if (!NT_SUCCESS(PlatformAllocateMemory(adapter, &copy, inputLength, TAG_ZV51))) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "task %u not recorded: no copy of %u bytes",
                     static_cast<unsigned>(messageId), static_cast<unsigned>(inputLength));
            return STATUS_INSUFFICIENT_RESOURCES;
        }
        std::memcpy(copy, buffer, inputLength);
        KeAcquireSpinLock(&block->CopyLock, &irql);
        PUCHAR old = block->PrivateCopy;
        ULONG oldLength = block->PrivateCopyLength;
        block->PrivateCopy = static_cast<PUCHAR>(copy);
        block->PrivateCopyLength = inputLength;
        KeReleaseSpinLock(&block->CopyLock, irql);
        PlatformFreeMemory(old, oldLength);

        block->PendingRequest = request;
        std::memcpy(&block->HeaderCopy, buffer, WDI_MESSAGE_HEADER_SIZE);
        block->PendingMessageId = messageId;
        block->RequestRecorded = 1;
        block->AbortRequested.store(0);
        KeAcquireSpinLock(&block->PendingLock, &irql);
        block->TaskPending = 1;
        block->RowIndex = rowIndex;
        block->Sequence++;
        block->RequestCompleted = 0;
        KeReleaseSpinLock(&block->PendingLock, irql);
        return STATUS_SUCCESS;
    }

    KeAcquireSpinLock(&block->CopyLock, &irql);
    PUCHAR copy = block->PrivateCopy;
    ULONG copyLength = block->PrivateCopyLength;
    block->PrivateCopy = nullptr;
    block->PrivateCopyLength = 0;
    KeReleaseSpinLock(&block->CopyLock, irql);
    PlatformFreeMemory(copy, copyLength);
    block->PendingRequest = nullptr;
    block->PendingMessageId = 0;
    block->RequestRecorded = 0;
    KeAcquireSpinLock(&block->PendingLock, &irql);
    block->TaskPending = 0;
    block->RowIndex = rowIndex;
    block->RequestCompleted = 0;
    KeReleaseSpinLock(&block->PendingLock, irql);
    block->AbortRequested.store(0);
    std::memset(&block->HeaderCopy, 0, sizeof(block->HeaderCopy));
    return STATUS_SUCCESS;
}

// ================================================================================================
// completions and indications
// ================================================================================================
NTSTATUS WdiEventCompleteOid(PMP_ADAPTER adapter, WIFIREQUEST request, const void* payload, ULONG payloadLength)
{
    PWDI_CNTL_BLOCK block = Block(adapter);
    // The recorded task's request is marked completed before its handle goes away.
    KIRQL irql;
    KeAcquireSpinLock(&block->PendingLock, &irql);
    if (block->TaskPending != 0 && block->PendingRequest == request) {
        block->RequestCompleted = 1;
    }
    KeReleaseSpinLock(&block->PendingLock, irql);

    UINT outputLength = 0;
    auto* buffer = static_cast<PUCHAR>(WifiRequestGetInOutBuffer(request, nullptr, &outputLength));
    if (buffer == nullptr) {
        WifiRequestComplete(request, STATUS_INSUFFICIENT_RESOURCES, 0);
        return STATUS_UNSUCCESSFUL;
    }
    if (payload == nullptr) {
        payloadLength = 0;
    }
    // Computed in 64 bits: a payload length near the top of its range does not wrap.
    ULONG64 needed = static_cast<ULONG64>(payloadLength) + WDI_MESSAGE_HEADER_SIZE;
    if (outputLength < needed) {
        WifiRequestSetBytesNeeded(request, static_cast<UINT>(needed > 0xFFFFFFFFull ? 0xFFFFFFFFull : needed));
        WifiRequestComplete(request, STATUS_BUFFER_OVERFLOW, 0);
        return STATUS_UNSUCCESSFUL;
    }
    auto* header = reinterpret_cast<PWDI_MESSAGE_HEADER>(buffer);
    header->Status = STATUS_SUCCESS;
    if (payloadLength != 0) {
        std::memcpy(buffer + WDI_MESSAGE_HEADER_SIZE, payload, payloadLength);
    }
    WifiRequestComplete(request, STATUS_SUCCESS, static_cast<UINT>(needed));
    return STATUS_SUCCESS;
}

VOID WdiEventSendStatusIndicationEx(PMP_ADAPTER adapter, const WDI_MESSAGE_HEADER* header, USHORT portId, ULONG code,
                                    NTSTATUS status, const void* payload, ULONG payloadLength, ULONG mode)
{
    PWDI_CNTL_BLOCK block = Block(adapter);
    if (payload == nullptr) {
        payloadLength = 0;
    }
    UCHAR headerOnly[WDI_MESSAGE_HEADER_SIZE];
    PUCHAR buffer = nullptr;
    ULONG length = WDI_MESSAGE_HEADER_SIZE;
    bool allocated = false;
    if (payloadLength <= 0xFFFFFFFFu - WDI_MESSAGE_HEADER_SIZE &&
        NT_SUCCESS(PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&buffer),
                                          payloadLength + WDI_MESSAGE_HEADER_SIZE, TAG_ZV42))) {
        allocated = true;
        length = payloadLength + WDI_MESSAGE_HEADER_SIZE;
    } else {
        // The indication still goes out, as a bare header with the status.
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "indication 0x%08X: no buffer for %u payload bytes, header only",
                 static_cast<unsigned>(code), static_cast<unsigned>(payloadLength));
        buffer = headerOnly;
    }
    WDI_MESSAGE_HEADER source{};
    if (header != nullptr) {
        std::memcpy(&source, header, sizeof(source));
    } else {
        source.PortId = portId;
    }
    source.Status = status;
    std::memcpy(buffer, &source, sizeof(source));
    if (allocated && payloadLength != 0) {
        std::memcpy(buffer + WDI_MESSAGE_HEADER_SIZE, payload, payloadLength);
    }
    auto* out = reinterpret_cast<PWDI_MESSAGE_HEADER>(buffer);

    bool send = false;
    bool release = false;
    KIRQL irql;
    KeAcquireSpinLock(&block->PendingLock, &irql);
    if (mode == WDI_INDICATION_MODE_TASK_COMPLETION && block->TaskPending != 0) {
        if (RowCompletionCode(block->RowIndex) == code) {
            block->TaskPending = 0;
            out->TransactionId = header != nullptr ? source.TransactionId : 0;
            out->PortId = portId;
            out->Status = status;
            send = true;
            release = true;
        }
    } else if (mode == WDI_INDICATION_MODE_UNSOLICITED) {
        out->TransactionId = 0;
        out->PortId = portId;
        out->Status = status;
        send = true;
    }
    KeReleaseSpinLock(&block->PendingLock, irql);

    if (release) {
        (void)WdiUpdateCntlBlock(adapter, nullptr, WDI_TASK_ROW_NONE);
    }
    if (send) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "indication %s (0x%08X) port %u status 0x%08X transaction %u",
                 DecodeWdiIndication(code), static_cast<unsigned>(code), static_cast<unsigned>(portId),
                 static_cast<unsigned>(status), static_cast<unsigned>(out->TransactionId));
        DeliverIndication(adapter, code, buffer, length);
    } else {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "indication %s (0x%08X) mode %u not sent: no matching task",
                 DecodeWdiIndication(code), static_cast<unsigned>(code), static_cast<unsigned>(mode));
    }
    if (allocated) {
        PlatformFreeMemory(buffer, length);
    }
}

// ================================================================================================
// abort
// ================================================================================================
NTSTATUS WdiPropertySetTaskAbort(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(parameters);
    USHORT row = WdiFindPropertyRow(WifiRequestGetMessageId(request));
    if (row == WDI_TASK_ROW_NONE) {
        return STATUS_UNSUCCESSFUL;
    }
    UINT inputLength = 0;
    auto* buffer = static_cast<PUCHAR>(WifiRequestGetInOutBuffer(request, &inputLength, nullptr));
    if (buffer == nullptr || inputLength < WDI_MESSAGE_HEADER_SIZE) {
        return STATUS_UNSUCCESSFUL;
    }
    const WDI_PROPERTY_DISPATCH_ENTRY& entry = g_WdiPropertyTable[row];
    PVOID own = adapter->Wdi.PropertyRowBuffers[row];
    PWDI_TASK_ABORT_PARAMETERS abort = nullptr;
    if (own != nullptr) {
        std::memset(own, 0, entry.ParameterSize);
        NTSTATUS parsed = WdiTlvParseTaskAbort(WdiTlvLength(inputLength), buffer + WDI_MESSAGE_HEADER_SIZE,
                                               &adapter->TlvContext, own);
        if (NT_SUCCESS(parsed)) {
            abort = static_cast<PWDI_TASK_ABORT_PARAMETERS>(own);
        } else {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "abort-task parameters not parsed: 0x%08X", static_cast<unsigned>(parsed));
        }
    }
    NTSTATUS status = WdiTaskAbort(adapter, request, abort);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "abort of task %u: 0x%08X",
             static_cast<unsigned>(abort != nullptr ? abort->MessageId : 0), static_cast<unsigned>(status));
    if (own != nullptr) {
        WdiTlvCleanup(own);
    }
    return STATUS_SUCCESS;
}

NTSTATUS WdiAbortCmdSanity(PMP_ADAPTER adapter, WIFIREQUEST request, ULONG messageId)
{
    UNREFERENCED_PARAMETER(request);
    PWDI_CNTL_BLOCK block = Block(adapter);
    if (block->TaskPending == 0 || block->RequestRecorded == 0 || block->PendingMessageId != messageId) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "abort of task %u refused: pending %u (recorded %u, pending %u)",
                 static_cast<unsigned>(messageId), static_cast<unsigned>(block->PendingMessageId),
                 static_cast<unsigned>(block->RequestRecorded), static_cast<unsigned>(block->TaskPending));
        return STATUS_UNSUCCESSFUL;
    }
    if (messageId == WDI_TASK_SCAN || messageId == WDI_TASK_P2P_DISCOVER) {
        // Marks the scan as running so that the firmware scan abort goes out.
        AdapterSetFlag(adapter, ADAPTER_FLAG_SCANNING | ADAPTER_FLAG_OS_SCAN, __func__);
    }
    return STATUS_SUCCESS;
}

NTSTATUS WdiTaskAbort(PMP_ADAPTER adapter, WIFIREQUEST request, PWDI_TASK_ABORT_PARAMETERS parameters)
{
    if (parameters == nullptr) {
        return NDIS_STATUS_INVALID_DATA;
    }
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    NTSTATUS status = WdiAbortCmdSanity(adapter, request, parameters->MessageId);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (parameters->MessageId == WDI_TASK_CONNECT && AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
        AbortScanOfConnect(adapter);
    }
    if ((parameters->MessageId == WDI_TASK_SEND_REQUEST_ACTION_FRAME ||
         parameters->MessageId == WDI_TASK_SEND_RESPONSE_ACTION_FRAME) &&
        AdapterTestFlags(adapter, ADAPTER_FLAG_CH_PRIVILEGE)) {
        AbortActionFramePrivilege(adapter, port);
    }
    PWDI_CNTL_BLOCK block = Block(adapter);
    block->AbortRequested.store(1);

    KIRQL irql;
    KeAcquireSpinLock(&block->PendingLock, &irql);
    bool pending = block->TaskPending != 0;
    USHORT row = block->RowIndex;
    KeReleaseSpinLock(&block->PendingLock, irql);
    if (!pending) {
        return STATUS_SUCCESS;
    }
    WDI_TASK_ABORT_HANDLER* handler = row < WDI_TASK_ROW_COUNT ? g_WdiTaskTable[row].AbortHandler : nullptr;
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS | ADAPTER_FLAG_NOT_RESPONDING) ||
        row == WDI_TASK_ROW_NONE || handler == nullptr) {
        WDI_MESSAGE_HEADER header = block->HeaderCopy;
        WdiEventSendStatusIndicationEx(adapter, &header, header.PortId, RowCompletionCode(row), STATUS_SUCCESS, nullptr,
                                       0, WDI_INDICATION_MODE_TASK_COMPLETION);
        return STATUS_SUCCESS;
    }
    return handler(adapter, port);
}

// ================================================================================================
// parameter buffers and ports
// ================================================================================================
NTSTATUS WdiAllocateOidParamBuffer(PMP_ADAPTER adapter)
{
    for (ULONG i = 0; i < WDI_TASK_ROW_COUNT; ++i) {
        ULONG size = g_WdiTaskTable[i].ParameterSize;
        if (size != 0 && !NT_SUCCESS(PlatformAllocateMemory(adapter, &adapter->Wdi.TaskRowBuffers[i], size, TAG_ZV50))) {
            WdiFreeOidParamBuffer(adapter);
            return STATUS_UNSUCCESSFUL;
        }
    }
    for (ULONG i = 0; i < WDI_PROPERTY_ROW_COUNT; ++i) {
        ULONG size = g_WdiPropertyTable[i].ParameterSize;
        if (size != 0 &&
            !NT_SUCCESS(PlatformAllocateMemory(adapter, &adapter->Wdi.PropertyRowBuffers[i], size, TAG_ZV50))) {
            WdiFreeOidParamBuffer(adapter);
            return STATUS_UNSUCCESSFUL;
        }
    }
    return STATUS_SUCCESS;
}

VOID WdiFreeOidParamBuffer(PMP_ADAPTER adapter)
{
    for (ULONG i = 0; i < WDI_TASK_ROW_COUNT; ++i) {
        PlatformFreeMemory(adapter->Wdi.TaskRowBuffers[i], g_WdiTaskTable[i].ParameterSize);
        adapter->Wdi.TaskRowBuffers[i] = nullptr;
    }
    for (ULONG i = 0; i < WDI_PROPERTY_ROW_COUNT; ++i) {
        PlatformFreeMemory(adapter->Wdi.PropertyRowBuffers[i], g_WdiPropertyTable[i].ParameterSize);
        adapter->Wdi.PropertyRowBuffers[i] = nullptr;
    }
}

PMP_PORT NdisWdiGetMpPortPtr(PMP_ADAPTER adapter, WIFIREQUEST request)
{
    UINT inputLength = 0;
    auto* buffer = static_cast<PUCHAR>(WifiRequestGetInOutBuffer(request, &inputLength, nullptr));
    if (buffer == nullptr || inputLength < sizeof(USHORT)) {
        return nullptr;
    }
    USHORT portId = static_cast<USHORT>(buffer[0] | (buffer[1] << 8));
    return adapter->PortList[portId < MP_MAX_PORTS ? portId : 0];
}

// ================================================================================================
// trace names
// ================================================================================================
PCSTR DecodeWdiMessageId(ULONG id)
{
    USHORT row = WdiFindTaskRow(id);
    if (row != WDI_TASK_ROW_NONE) {
        return g_WdiTaskTable[row].Name;
    }
    row = WdiFindPropertyRow(id);
    if (row != WDI_TASK_ROW_NONE) {
        return g_WdiPropertyTable[row].Name;
    }
    PCSTR indication = DecodeWdiIndication(id);
    return indication[0] != '<' ? indication : "<** UNKNOWN OID/INDICATION **>";
}

PCSTR DecodeWdiIndication(ULONG code)
{
    switch (code) {
    case 0x40050015: return "NDIS_STATUS_WDI_INDICATION_DISCONNECT_COMPLETE";
    case 0x40050016: return "NDIS_STATUS_WDI_INDICATION_SET_RADIO_STATE_COMPLETE";
    case 0x40050033: return "NDIS_STATUS_WDI_INDICATION_DISASSOCIATION";
    case 0x40050034: return "NDIS_STATUS_WDI_INDICATION_ROAMING_NEEDED";
    case 0x40050035: return "NDIS_STATUS_WDI_INDICATION_LINK_STATE_CHANGE";
    case 0x40050036: return "NDIS_STATUS_WDI_INDICATION_P2P_ACTION_FRAME_RECEIVED";
    case 0x40050037: return "NDIS_STATUS_WDI_INDICATION_AP_ASSOCIATION_REQUEST_RECEIVED";
    case 0x40050038: return "NDIS_STATUS_WDI_INDICATION_NLO_DISCOVERY";
    case 0x40050039: return "NDIS_STATUS_WDI_INDICATION_WAKE_REASON";
    case 0x4005003B: return "NDIS_STATUS_WDI_INDICATION_TKIP_MIC_FAILURE";
    case 0x4005003C: return "NDIS_STATUS_WDI_INDICATION_SCAN_COMPLETE";
    case 0x4005003D: return "NDIS_STATUS_WDI_INDICATION_P2P_DISCOVERY_COMPLETE";
    case 0x4005003E: return "NDIS_STATUS_WDI_INDICATION_BSS_ENTRY_LIST";
    case 0x4005003F: return "NDIS_STATUS_WDI_INDICATION_DOT11_RESET_COMPLETE";
    case 0x40050040: return "NDIS_STATUS_WDI_INDICATION_CONNECT_COMPLETE";
    case 0x40050041: return "NDIS_STATUS_WDI_INDICATION_P2P_SEND_REQUEST_ACTION_FRAME_COMPLETE";
    case 0x40050042: return "NDIS_STATUS_WDI_INDICATION_P2P_SEND_RESPONSE_ACTION_FRAME_COMPLETE";
    case 0x40050043: return "NDIS_STATUS_WDI_INDICATION_RADIO_STATUS";
    case 0x40050046: return "NDIS_STATUS_WDI_INDICATION_START_AP_COMPLETE";
    case 0x40050047: return "NDIS_STATUS_WDI_INDICATION_STOP_AP_COMPLETE";
    case 0x40050049: return "NDIS_STATUS_WDI_INDICATION_SEND_AP_ASSOCIATION_RESPONSE_COMPLETE";
    case 0x4005004C: return "NDIS_STATUS_WDI_INDICATION_ASSOCIATION_RESULT";
    case 0x40050054: return "NDIS_STATUS_WDI_INDICATION_P2P_GROUP_OPERATING_CHANNEL";
    case 0x4005005B: return "NDIS_STATUS_WDI_INDICATION_CHANGE_OPERATION_MODE_COMPLETE";
    case 0x4005005E: return "NDIS_STATUS_WDI_INDICATION_IHV_EVENT";
    case 0x40050062: return "NDIS_STATUS_WDI_INDICATION_ASSOCIATION_PARAMETERS_REQUEST";
    case 0x40050065: return "NDIS_STATUS_WDI_INDICATION_ROAM_COMPLETE";
    case 0x40050067: return "NDIS_STATUS_WDI_INDICATION_ACTION_FRAME_RECEIVED";
    case 0x4005006A: return "NDIS_STATUS_WDI_INDICATION_SEND_REQUEST_ACTION_FRAME_COMPLETE";
    case 0x4005006B: return "NDIS_STATUS_WDI_INDICATION_SEND_RESPONSE_ACTION_FRAME_COMPLETE";
    case 0x40050079: return "NDIS_STATUS_WDI_INDICATION_FIRMWARE_STALLED";
    case 0x4005007E: return "NDIS_STATUS_WDI_INDICATION_FT_ASSOC_PARAMS_NEEDED";
    case 0x40050086: return "NDIS_STATUS_WDI_INDICATION_SAE_AUTH_PARAMS_NEEDED";
    default: return "<** UNKNOWN **>";
    }
}

BOOLEAN WdiTaskIsPending(PMP_ADAPTER adapter, ULONG messageId)
{
    if (adapter == nullptr) {
        return FALSE;
    }
    WDI_CNTL_BLOCK* block = &adapter->Wdi.CntlBlock;
    KIRQL irql;
    KeAcquireSpinLock(&block->PendingLock, &irql);
    BOOLEAN pending = block->TaskPending != 0 && block->PendingMessageId == messageId ? TRUE : FALSE;
    KeReleaseSpinLock(&block->PendingLock, irql);
    return pending;
}
