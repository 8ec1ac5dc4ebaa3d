// The property road of the WDI intake: each property runs on its port's property work item at
// PASSIVE_LEVEL and is completed with its handler's status.
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/wificxmain.h"

namespace {

// The queries whose handlers complete their request themselves when they succeed.
bool HandlerCompletes(ULONG messageId)
{
    return messageId == WDI_GET_STATISTICS || messageId == WDI_GET_NEXT_ACTION_FRAME_DIALOG_TOKEN;
}

ULONG TransactionIdOf(const UCHAR* buffer, UINT inputLength)
{
    if (buffer == nullptr || inputLength < WDI_MESSAGE_HEADER_SIZE) {
        return 0;
    }
    return reinterpret_cast<const WDI_MESSAGE_HEADER*>(buffer)->TransactionId;
}

}  // namespace

NTSTATUS QZCxPropertyPreCheck(PMP_ADAPTER adapter, ULONG messageId, USHORT rowIndex)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(messageId);
    UNREFERENCED_PARAMETER(rowIndex);
    return STATUS_SUCCESS;
}

NTSTATUS QZCxPropertySendCommand(PMP_ADAPTER adapter, WIFIREQUEST request, ULONG messageId,
                                 const WDI_MESSAGE_HEADER* header)
{
    PMP_PORT port = QZCxGetPortOfWdiHeader(adapter, header);
    USHORT row = WdiFindPropertyRow(messageId);
    if (row == WDI_TASK_ROW_NONE) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "property %u has no row", static_cast<unsigned>(messageId));
        QZCxRefuseRequest(request, WDI_REFUSED_STATUS);
        return WDI_REFUSED_STATUS;
    }
    (void)QZCxPropertyPreCheck(adapter, messageId, row);
    NTSTATUS status = QZCxPropertyQueueWorkItem(adapter, port, request, &g_WdiPropertyTable[row]);
    if (!NT_SUCCESS(status)) {
        // The port's property work item still holds another request (or the port has none): this one
        // is refused rather than lost.
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "property %s refused: the port's work item is busy",
                 QZCxGetWdiMessageName(messageId));
        QZCxRefuseRequest(request, WDI_REFUSED_STATUS);
        return WDI_REFUSED_STATUS;
    }
    return STATUS_SUCCESS;
}

NTSTATUS QZCxPropertyQueueWorkItem(PMP_ADAPTER adapter, PMP_PORT port, WIFIREQUEST request,
                                   const WDI_PROPERTY_DISPATCH_ENTRY* row)
{
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    return QZCxQueueWdiWorkItem(port->PropertyWorkItem, adapter, port, request, nullptr, row);
}

VOID QZCxPropertyProcessWorkItem(WDFWORKITEM workItem)
{
    // The request comes with the work item: each property keeps its own until it is completed.
    PQZCX_TASK_WORKITEM context = QZCxGetTaskWorkItemContext(workItem);
    PMP_ADAPTER adapter = context->Adapter;
    WIFIREQUEST request = context->Request;
    const WDI_PROPERTY_DISPATCH_ENTRY* row = context->PropertyRow;
    context->Queued.store(0);
    if (adapter == nullptr || request == nullptr || row == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "property work item without adapter or request");
        return;
    }
    ULONG messageId = row->MessageId;
    UINT inputLength = 0;
    auto* buffer = static_cast<PUCHAR>(WifiRequestGetInOutBuffer(request, &inputLength, nullptr));
    ULONG transactionId = TransactionIdOf(buffer, inputLength);

    NTSTATUS status = QZCxRunRow(adapter, request, row->Name, row->Parse, row->Handler, row->Free, row->ParameterSize,
                                 adapter->Wdi.PropertyParamBuffer, adapter->Wdi.PropertyParamBufferSize);
    // A failure reaches the OS as a failure; a success without an answer is completed here unless
    // the handler answered itself.
    if (!NT_SUCCESS(status)) {
        QZCxRefuseRequest(request, status);
    } else if (!HandlerCompletes(messageId)) {
        (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
    }
    QZCxHistoryDone(adapter, messageId, transactionId, status);
}
