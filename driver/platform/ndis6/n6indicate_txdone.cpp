// The transmit completions of the OS hand-off that the transmit-done reports use.
#include "platform/ndis6/n6indicate_txdone.h"

#include "kshim/ndis.h"
#include "platform/ndis6/n6pci_txqueue.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/trace.h"

namespace {

// Marks the record's NetAdapterCx packet finished and notifies its queue when it asked to be.
void MarkQueuePacketFinished(PTX_DMAQ_DESC record)
{
    PQZCX_TXQUEUE queue = static_cast<PQZCX_TXQUEUE>(record->TxQueueContext);
    PTX_PACKET_SIDE_INFO side = static_cast<PTX_PACKET_SIDE_INFO>(record->SideInfo);
    if (queue == nullptr || side == nullptr) {
        return;
    }
    KeAcquireSpinLock(&queue->Lock, &queue->OldIrql);
    const BOOLEAN alive = static_cast<BOOLEAN>(queue->SideMemory != nullptr);
    if (alive) {
        side->Flags = static_cast<USHORT>(side->Flags | TX_SIDE_FINISHED);
    }
    KIRQL irql = queue->OldIrql;
    KeReleaseSpinLock(&queue->Lock, irql);
    if (alive && InterlockedExchange(reinterpret_cast<volatile LONG*>(&queue->NotificationEnabled), 0) == 1) {
        // The finished packets go back at the queue's next advance; the early drain and the
        // notification come with the transmit queue's completion path.
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "transmit queue %u: completed packets available",
                 static_cast<unsigned>(queue->QueueId));
        (void)NOT_BUILT_YET();
    }
}

}  // namespace

void PlatformIndicateXmitPktToNdis(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, NTSTATUS status)
{
    UNREFERENCED_PARAMETER(status);
    if (record == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "completion of no record");
        return;
    }
    if (record->Origin == TX_DMAQ_ORIGIN_OS && record->OsBufferList != nullptr &&
        static_cast<PNET_BUFFER_LIST>(record->OsBufferList)->Context == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "completion of a buffer list without context word");
        return;
    }
    MarkQueuePacketFinished(record);
    TxDmaqFree(adapter, record);
}

void PlatformIndicateXmitPktToNdisEx(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, NTSTATUS status)
{
    UNREFERENCED_PARAMETER(status);
    if (record == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "completion of no record");
        return;
    }
    MarkQueuePacketFinished(record);
    TxDmaqFree(adapter, record);
}

void N6PlatformIndicateTxSendRestartToWdi(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    // No pause reason is ever stored, so there is nothing to restart.
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "transmit restart: no pause to end");
}
