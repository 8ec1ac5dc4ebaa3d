// The task road of the WDI intake: one task at a time, recorded as the pending task and run on the
// port's task work item at PASSIVE_LEVEL.
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/wificxmain.h"

namespace {

// Ends a task whose work item could not run it, or whose parser or handler failed before the work
// started, unless the task already ended (a later recording, or its completion indication). The OS
// learns the failure once: through the request when it is still open, otherwise through the row's
// completion indication; either way the pending record is released.
void EndFailedTask(PMP_ADAPTER adapter, WIFIREQUEST request, ULONG sequence, NTSTATUS status)
{
    PWDI_CNTL_BLOCK block = &adapter->Wdi.CntlBlock;
    KIRQL irql;
    KeAcquireSpinLock(&block->PendingLock, &irql);
    bool ours = block->TaskPending != 0 && block->Sequence == sequence && block->PendingRequest == request;
    bool completed = block->RequestCompleted != 0;
    USHORT row = block->RowIndex;
    KeReleaseSpinLock(&block->PendingLock, irql);
    if (!ours) {
        return;
    }
    DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "task %s ends with 0x%08X", DecodeWdiMessageId(block->PendingMessageId),
             static_cast<unsigned>(status));
    if (!completed) {
        (void)WdiUpdateCntlBlock(adapter, nullptr, WDI_TASK_ROW_NONE);
        QZCxRefuseRequest(request, status);
        return;
    }
    WDI_MESSAGE_HEADER header = block->HeaderCopy;
    ULONG code = row < WDI_TASK_ROW_COUNT ? g_WdiTaskTable[row].CompletionCode : WDI_INDICATION_NONE;
    WdiEventSendStatusIndicationEx(adapter, &header, header.PortId, code, status, nullptr, 0,
                                   WDI_INDICATION_MODE_TASK_COMPLETION);
}

}  // namespace

NTSTATUS QZCxTaskSendCommand(PMP_ADAPTER adapter, WIFIREQUEST request, ULONG messageId,
                             const WDI_MESSAGE_HEADER* header)
{
    PMP_PORT port = QZCxGetPortOfWdiHeader(adapter, header);
    PWDI_CNTL_BLOCK block = &adapter->Wdi.CntlBlock;
    KIRQL irql;
    KeAcquireSpinLock(&block->PendingLock, &irql);
    bool pending = block->TaskPending != 0;
    KeReleaseSpinLock(&block->PendingLock, irql);
    if (pending || AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "task %s refused: pending %s, halting %u, removed %u",
                 QZCxGetWdiMessageName(messageId), DecodeWdiMessageId(block->PendingMessageId),
                 static_cast<unsigned>(AdapterTestFlags(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS)),
                 static_cast<unsigned>(AdapterTestFlags(adapter, ADAPTER_FLAG_SURPRISE_REMOVED)));
        QZCxRefuseRequest(request, WDI_REFUSED_STATUS);
        return WDI_REFUSED_STATUS;
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_LOW_POWER_RETURN)) {
        UCHAR cancelled = 0;
        PlatformCancelTimer(&adapter->Wake.WowRxResumeTimer, &cancelled);
        AdapterClearFlag(adapter, ADAPTER_FLAG_LOW_POWER_RETURN, __func__);
    }
    USHORT row = WdiFindTaskRow(messageId);
    if (row == WDI_TASK_ROW_NONE) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "task %u has no row", static_cast<unsigned>(messageId));
        QZCxRefuseRequest(request, WDI_REFUSED_STATUS);
        return WDI_REFUSED_STATUS;
    }
    adapter->Wdi.ScanAbortRequested.store(0);
    NTSTATUS status = WdiUpdateCntlBlock(adapter, request, row);
    if (!NT_SUCCESS(status)) {
        // Nothing was recorded: the work item would find no task to run.
        QZCxRefuseRequest(request, WDI_REFUSED_STATUS);
        return WDI_REFUSED_STATUS;
    }
    status = QZCxTaskQueueWorkItem(adapter, port, request, &g_WdiTaskTable[row]);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "task %s: the port's work item cannot take it",
                 QZCxGetWdiMessageName(messageId));
        (void)WdiUpdateCntlBlock(adapter, nullptr, WDI_TASK_ROW_NONE);
        QZCxRefuseRequest(request, WDI_REFUSED_STATUS);
        return WDI_REFUSED_STATUS;
    }
    return STATUS_SUCCESS;
}

NTSTATUS QZCxTaskQueueWorkItem(PMP_ADAPTER adapter, PMP_PORT port, WIFIREQUEST request,
                               const WDI_TASK_DISPATCH_ENTRY* row)
{
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    return QZCxQueueWdiWorkItem(port->TaskWorkItem, adapter, port, request, row, nullptr);
}

VOID QZCxTaskProcessWorkItem(WDFWORKITEM workItem)
{
    PQZCX_TASK_WORKITEM context = QZCxGetTaskWorkItemContext(workItem);
    PMP_ADAPTER adapter = context->Adapter;
    PMP_PORT port = context->Port;
    WIFIREQUEST request = context->Request;
    const WDI_TASK_DISPATCH_ENTRY* row = context->Row;
    context->Queued.store(0);
    if (adapter == nullptr || port == nullptr || request == nullptr || row == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "task work item without adapter, port or request");
        return;
    }
    PWDI_CNTL_BLOCK block = &adapter->Wdi.CntlBlock;
    KIRQL irql;
    KeAcquireSpinLock(&block->PendingLock, &irql);
    ULONG sequence = block->Sequence;
    USHORT rowIndex = block->RowIndex;
    KeReleaseSpinLock(&block->PendingLock, irql);
    ULONG messageId = block->PendingMessageId;
    ULONG transactionId = block->HeaderCopy.TransactionId;

    if (AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "task %s not run: the adapter halts", row->Name);
        EndFailedTask(adapter, request, sequence, WDI_REFUSED_STATUS);
        return;
    }
    if (adapter->Signature != MP_ADAPTER_SIGNATURE || rowIndex == WDI_TASK_ROW_NONE) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "task %s not run: signature 0x%08X, row %u", row->Name,
                 static_cast<unsigned>(adapter->Signature), static_cast<unsigned>(rowIndex));
        EndFailedTask(adapter, request, sequence, WDI_REFUSED_STATUS);
        return;
    }

    block->HandlerRunning.store(1);
    NTSTATUS status = QZCxRunRow(adapter, request, row->Name, row->Parse, row->Handler, row->Free, row->ParameterSize,
                                 adapter->Wdi.TaskParamBuffer, adapter->Wdi.TaskParamBufferSize);
    block->HandlerRunning.store(0);
    if (!NT_SUCCESS(status)) {
        EndFailedTask(adapter, request, sequence, status);
    }
    QZCxHistoryDone(adapter, messageId, transactionId, status);
}
