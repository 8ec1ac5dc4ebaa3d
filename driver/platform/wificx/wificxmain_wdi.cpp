// The WDI send-command entry point of the device: the command history, the decision between a
// task and a property, the message names of the traces, the intake's parameter buffers and the
// flush of the WDI work items at teardown.
#include <cstring>

#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/wificxmain.h"

namespace {

// Waits of the flush while a task handler runs.
constexpr ULONG kFlushWaits = 20;
constexpr ULONG kFlushWaitUs = 10 * 1000;

// A channel privilege the firmware granted to the port's BSS is given back at a dot11 reset
// (QzCmdChPrivilage with the abort flag); the privilege bookkeeping comes with the channel-privilege
// commands.
void AbortChannelPrivilegeOfPort(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
}

// Before a dot11 reset: the outstanding OS scan or discovery of the pending task ends as aborted.
void EndScanBeforeReset(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (port != nullptr && AdapterTestFlags(adapter, ADAPTER_FLAG_CH_PRIVILEGE)) {
        AbortChannelPrivilegeOfPort(adapter, port);
    }
    const WDI_CNTL_BLOCK& block = adapter->Wdi.CntlBlock;
    if ((block.PendingMessageId == WDI_TASK_SCAN || block.PendingMessageId == WDI_TASK_P2P_DISCOVER) &&
        block.TaskPending != 0 && AdapterTestFlags(adapter, ADAPTER_FLAG_OS_SCAN)) {
        ULONG scanPort = adapter->PendingScanPort < MP_MAX_PORTS ? adapter->PendingScanPort : 0;
        PlatformIndicateScanStatus(adapter, adapter->PortList[scanPort], static_cast<ULONG>(NDIS_STATUS_REQUEST_ABORTED),
                                   1, 0);
    }
}

struct MessageName {
    ULONG Id;
    PCSTR Name;
};

// The WDI names of the messages the traces name.
constexpr MessageName kMessageNames[] = {
    {4, "WDI_TASK_SCAN"},
    {5, "WDI_TASK_P2P_DISCOVER"},
    {6, "WDI_TASK_CONNECT"},
    {7, "WDI_TASK_DOT11_RESET"},
    {8, "WDI_TASK_DISCONNECT"},
    {9, "WDI_TASK_P2P_SEND_REQUEST_ACTION_FRAME"},
    {10, "WDI_TASK_P2P_SEND_RESPONSE_ACTION_FRAME"},
    {11, "WDI_TASK_SET_RADIO_STATE"},
    {14, "WDI_TASK_START_AP"},
    {15, "WDI_TASK_STOP_AP"},
    {17, "WDI_TASK_SEND_AP_ASSOCIATION_RESPONSE"},
    {26, "WDI_SET_P2P_LISTEN_STATE"},
    {28, "WDI_SET_PRIVACY_EXEMPTION_LIST"},
    {29, "WDI_SET_ADD_CIPHER_KEYS"},
    {30, "WDI_SET_DELETE_CIPHER_KEYS"},
    {31, "WDI_SET_DEFAULT_KEY_ID"},
    {32, "WDI_SET_CONNECTION_QUALITY"},
    {34, "WDI_GET_STATISTICS"},
    {41, "WDI_SET_NETWORK_LIST_OFFLOAD"},
    {47, "WDI_GET_BSS_ENTRY_LIST"},
    {75, "WDI_ABORT_TASK"},
    {85, "WDI_SET_ADAPTER_CONFIGURATION"},
    {88, "WDI_GET_PM_PROTOCOL_OFFLOAD"},
    {89, "WDI_SET_ADVERTISEMENT_INFORMATION"},
    {90, "WDI_TASK_CHANGE_OPERATION_MODE"},
    {97, "WDI_SET_FLUSH_BSS_ENTRY"},
    {99, "WDI_SET_ASSOCIATION_PARAMETERS"},
    {100, "WDI_TASK_ROAM"},
    {102, "WDI_TASK_SEND_REQUEST_ACTION_FRAME"},
    {105, "WDI_TASK_SEND_RESPONSE_ACTION_FRAME"},
    {108, "WDI_GET_NEXT_ACTION_FRAME_DIALOG_TOKEN"},
    {123, "WDI_SET_P2P_WPS_ENABLED"},
    {127, "WDI_SET_FAST_BSS_TRANSITION_PARAMETERS"},
    {128, "WDI_SET_NEIGHBOR_REPORT_ENTRIES"},
    {135, "WDI_SET_SAE_AUTH_PARAMS"},
    {138, "WDI_SET_LOCATION_PRIVACY"},
};

}  // namespace

BOOLEAN QZCxIsWdiTaskMessage(ULONG messageId)
{
    switch (messageId) {
    case 4: case 5: case 6: case 7: case 8: case 9: case 10: case 11:
    case 14: case 15: case 17: case 90: case 92: case 100: case 102: case 105: case 109: case 136:
        return TRUE;
    default:
        return FALSE;
    }
}

PCSTR QZCxGetWdiMessageName(ULONG messageId)
{
    for (const MessageName& entry : kMessageNames) {
        if (entry.Id == messageId) {
            return entry.Name;
        }
    }
    return "<** UNKNOWN OID **>";
}

PMP_PORT QZCxGetPortOfWdiHeader(PMP_ADAPTER adapter, const WDI_MESSAGE_HEADER* header)
{
    // Only ports 0 to 4 exist: 0xFFFF (the adapter) and any larger id mean port 0.
    USHORT portId = header != nullptr ? header->PortId : 0;
    return adapter->PortList[portId < MP_MAX_PORTS ? portId : 0];
}

ULONG64 QZCxTimeMs()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return static_cast<ULONG64>(now.QuadPart) / 10000u;
}

VOID QZCxRefuseRequest(WIFIREQUEST request, NTSTATUS status)
{
    UINT outputLength = 0;
    (void)WifiRequestGetInOutBuffer(request, nullptr, &outputLength);
    UINT written = outputLength < WDI_MESSAGE_HEADER_SIZE ? outputLength : WDI_MESSAGE_HEADER_SIZE;
    WifiRequestComplete(request, status, written);
}

VOID QZCxHistoryDone(PMP_ADAPTER adapter, ULONG messageId, ULONG transactionId, NTSTATUS status)
{
    ULONG64 now = QZCxTimeMs();
    KIRQL irql;
    KeAcquireSpinLock(&adapter->Wdi.History.Lock, &irql);
    for (WDI_COMMAND_HISTORY_ENTRY& entry : adapter->Wdi.History.Entries) {
        if (entry.MessageId == messageId && entry.TransactionId == transactionId) {
            entry.Done = 1;
            entry.Status = status;
            entry.CompletionTimeMs = now;
        }
    }
    KeReleaseSpinLock(&adapter->Wdi.History.Lock, irql);
}

NTSTATUS QZCxQueueWdiWorkItem(WDFWORKITEM workItem, PMP_ADAPTER adapter, PMP_PORT port, WIFIREQUEST request,
                              const WDI_TASK_DISPATCH_ENTRY* taskRow, const WDI_PROPERTY_DISPATCH_ENTRY* propertyRow)
{
    if (workItem == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    PQZCX_TASK_WORKITEM context = QZCxGetTaskWorkItemContext(workItem);
    LONG idle = 0;
    if (!context->Queued.compare_exchange_strong(idle, 1)) {
        return STATUS_UNSUCCESSFUL;
    }
    context->Adapter = adapter;
    context->Port = port;
    context->Request = request;
    context->Row = taskRow;
    context->PropertyRow = propertyRow;
    WdfWorkItemEnqueue(workItem);
    return STATUS_SUCCESS;
}

NTSTATUS QZCxRunRow(PMP_ADAPTER adapter, WIFIREQUEST request, PCSTR name, WDI_TLV_PARSE_ROUTINE* parse,
                    WDI_MESSAGE_HANDLER* handler, WDI_TLV_FREE_ROUTINE* free, ULONG parameterSize, PVOID parameters,
                    ULONG parametersCapacity)
{
    if (handler == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    UINT inputLength = 0;
    auto* buffer = static_cast<PUCHAR>(WifiRequestGetInOutBuffer(request, &inputLength, nullptr));
    if (parse != nullptr && parameters != nullptr && buffer != nullptr && inputLength != 0) {
        std::memset(parameters, 0, parameterSize < parametersCapacity ? parameterSize : parametersCapacity);
        NTSTATUS status = parse(WdiTlvLength(inputLength), buffer + WDI_MESSAGE_HEADER_SIZE, &adapter->TlvContext,
                                parameters);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "%s: parameters not parsed: 0x%08X", name, static_cast<unsigned>(status));
            if (free != nullptr) {
                free(parameters);
            }
            return status;
        }
    }
    NTSTATUS status = handler(adapter, request, parameters);
    if (free != nullptr && parameters != nullptr) {
        free(parameters);
    }
    return status;
}

VOID EvtWiFiDeviceSendCommand(WDFDEVICE device, WIFIREQUEST request)
{
    PMP_ADAPTER adapter = QZCxGetAdapter(device);
    ULONG messageId = WifiRequestGetMessageId(request);
    UINT inputLength = 0;
    UINT outputLength = 0;
    auto* buffer = static_cast<PUCHAR>(WifiRequestGetInOutBuffer(request, &inputLength, &outputLength));
    const WDI_MESSAGE_HEADER* header = nullptr;
    if (buffer != nullptr && inputLength >= WDI_MESSAGE_HEADER_SIZE) {
        header = reinterpret_cast<const WDI_MESSAGE_HEADER*>(buffer);
    }
    ULONG transactionId = header != nullptr ? header->TransactionId : 0;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "%s (%u) port 0x%X request %p in %u out %u transaction %u",
             QZCxGetWdiMessageName(messageId), static_cast<unsigned>(messageId),
             static_cast<unsigned>(header != nullptr ? header->PortId : 0), static_cast<void*>(request),
             static_cast<unsigned>(inputLength), static_cast<unsigned>(outputLength),
             static_cast<unsigned>(transactionId));

    WDI_COMMAND_HISTORY& history = adapter->Wdi.History;
    const ULONG64 requestTime = QZCxTimeMs();
    KIRQL historyIrql;
    KeAcquireSpinLock(&history.Lock, &historyIrql);
    WDI_COMMAND_HISTORY_ENTRY& entry = history.Entries[history.NextIndex % WDI_COMMAND_HISTORY_SIZE];
    entry.RequestTimeMs = requestTime;
    entry.MessageId = messageId;
    entry.TransactionId = transactionId;
    entry.Done = 0;
    entry.CompletionTimeMs = 0;
    entry.Status = STATUS_UNSUCCESSFUL;
    history.NextIndex = (history.NextIndex + 1) % WDI_COMMAND_HISTORY_SIZE;
    KeReleaseSpinLock(&history.Lock, historyIrql);

    // Every message starts with its WDI header; one that does not carry a whole header is refused
    // before anything reads it.
    if (header == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "%s: %u input bytes, no WDI header", QZCxGetWdiMessageName(messageId),
                 static_cast<unsigned>(inputLength));
        WifiRequestComplete(request, STATUS_INVALID_PARAMETER, 0);
        return;
    }

    PMP_PORT port = QZCxGetPortOfWdiHeader(adapter, header);
    if (messageId == WDI_TASK_DOT11_RESET) {
        EndScanBeforeReset(adapter, port);
    }

    NTSTATUS status;
    BOOLEAN task = QZCxIsWdiTaskMessage(messageId);
    WDI_SAVED_REQUEST& saved = task ? adapter->Wdi.SavedTask : adapter->Wdi.SavedProperty;
    saved.Request = request;
    saved.MessageId = messageId;
    saved.Header = reinterpret_cast<PWDI_MESSAGE_HEADER>(buffer);
    saved.InputLength = inputLength;
    saved.OutputLength = outputLength;
    if (task) {
        status = QZCxTaskSendCommand(adapter, request, messageId, header);
    } else {
        status = QZCxPropertySendCommand(adapter, request, messageId, header);
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_WDI, "%s taken: 0x%08X", QZCxGetWdiMessageName(messageId),
             static_cast<unsigned>(status));
}

// ================================================================================================
// parameter buffers and the flush
// ================================================================================================
NTSTATUS QZCxAllocateOidParamBuffer(PMP_ADAPTER adapter)
{
    ULONG taskSize = 0;
    for (const WDI_TASK_DISPATCH_ENTRY& row : g_WdiTaskTable) {
        taskSize = row.ParameterSize > taskSize ? row.ParameterSize : taskSize;
    }
    ULONG propertySize = 0;
    for (const WDI_PROPERTY_DISPATCH_ENTRY& row : g_WdiPropertyTable) {
        propertySize = row.ParameterSize > propertySize ? row.ParameterSize : propertySize;
    }
    WDI_ADAPTER_STATE& wdi = adapter->Wdi;
    if (taskSize != 0 && !NT_SUCCESS(PlatformAllocateMemory(adapter, &wdi.TaskParamBuffer, taskSize, TAG_ZVA0))) {
        return STATUS_UNSUCCESSFUL;
    }
    wdi.TaskParamBufferSize = taskSize;
    if (propertySize != 0 &&
        !NT_SUCCESS(PlatformAllocateMemory(adapter, &wdi.PropertyParamBuffer, propertySize, TAG_ZVA0))) {
        QZCxFreeOidParamBuffer(adapter);
        return STATUS_UNSUCCESSFUL;
    }
    wdi.PropertyParamBufferSize = propertySize;
    return STATUS_SUCCESS;
}

void QZCxFreeOidParamBuffer(PMP_ADAPTER adapter)
{
    WDI_ADAPTER_STATE& wdi = adapter->Wdi;
    PlatformFreeMemory(wdi.TaskParamBuffer, wdi.TaskParamBufferSize);
    wdi.TaskParamBuffer = nullptr;
    wdi.TaskParamBufferSize = 0;
    PlatformFreeMemory(wdi.PropertyParamBuffer, wdi.PropertyParamBufferSize);
    wdi.PropertyParamBuffer = nullptr;
    wdi.PropertyParamBufferSize = 0;
}

NTSTATUS QZCxFlushWorkItem(PMP_ADAPTER adapter)
{
    for (ULONG wait = 0; wait < kFlushWaits && adapter->Wdi.CntlBlock.HandlerRunning.load() == 1; ++wait) {
        NdisCommonGenericDelay(kFlushWaitUs);
    }
    for (PMP_PORT port : adapter->PortList) {
        if (port == nullptr) {
            continue;
        }
        for (WDFWORKITEM item : {port->TaskWorkItem, port->PropertyWorkItem}) {
            if (item != nullptr) {
                WdfWorkItemFlush(item);
            }
        }
    }
    return STATUS_SUCCESS;
}
