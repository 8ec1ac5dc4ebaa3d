// Transmit and receive packet records with their pools, and the software packet queues.
#include "platform/ndiscommon/dmaq.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

// Driver-wide storage: one set of pools for the driver image.
DMAQ_POOL g_TxDmaqPool[TX_DMAQ_POOL_COUNT];
DMAQ_POOL g_RxDmaqPool[RX_DMAQ_POOL_COUNT];
// The software queues beside them.
DMAQ_QUEUE g_TxDWaitq;
DMAQ_QUEUE g_RxProcq[RX_DMAQ_POOL_COUNT];

void LockQueue(PDMAQ_QUEUE queue)
{
    KIRQL old;
    KeAcquireSpinLock(&queue->Lock, &old);
    queue->OldIrql = old;
}

void UnlockQueue(PDMAQ_QUEUE queue) { KeReleaseSpinLock(&queue->Lock, queue->OldIrql); }

// Whether a queue was created: marked apart from its list, which the queue's users change under
// its lock while others look.
UCHAR g_TxDWaitqCreated;
UCHAR g_RxProcqCreated[RX_DMAQ_POOL_COUNT];

UCHAR* CreatedMark(const DMAQ_QUEUE* queue)
{
    return queue == &g_TxDWaitq ? &g_TxDWaitqCreated : &g_RxProcqCreated[queue - g_RxProcq];
}

BOOLEAN QueueExists(const DMAQ_QUEUE* queue)
{
    return static_cast<BOOLEAN>(__atomic_load_n(CreatedMark(queue), __ATOMIC_ACQUIRE) != 0);
}

// Creates a queue with its pool; a queue that still holds records refuses (the pool stays built).
NTSTATUS CreateQueue(PDMAQ_QUEUE queue, PCSTR name)
{
    if (QueueExists(queue) && queue->Count != 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "%s created while it holds %u records", name,
                 static_cast<unsigned>(queue->Count));
        return STATUS_DMAQ_POOL_BUILT;
    }
    InitializeListHead(&queue->Head);
    queue->Count = 0;
    KeInitializeSpinLock(&queue->Lock);
    __atomic_store_n(CreatedMark(queue), static_cast<UCHAR>(1), __ATOMIC_RELEASE);
    return STATUS_SUCCESS;
}

// Unlinks the head of a queue; the caller holds its lock.
PLIST_ENTRY TakeHead(PDMAQ_QUEUE queue)
{
    if (queue->Count == 0 || IsListEmpty(&queue->Head)) {
        return nullptr;
    }
    --queue->Count;
    return RemoveHeadList(&queue->Head);
}

void LockPool(PDMAQ_POOL pool)
{
    KIRQL old;
    KeAcquireSpinLock(&pool->Lock, &old);
    pool->OldIrql = old;
}

void UnlockPool(PDMAQ_POOL pool) { KeReleaseSpinLock(&pool->Lock, pool->OldIrql); }

// One common buffer of `length` bytes; false (traced) when the enabler cannot give it.
BOOLEAN CreateArea(PMP_ADAPTER adapter, ULONG length, WDFCOMMONBUFFER* buffer, PUCHAR* va, ULONG64* la)
{
    *buffer = nullptr;
    if (adapter->DmaEnabler == nullptr ||
        !NT_SUCCESS(WdfCommonBufferCreate(adapter->DmaEnabler, length, WDF_NO_OBJECT_ATTRIBUTES, buffer))) {
        *buffer = nullptr;
        return FALSE;
    }
    *va = static_cast<PUCHAR>(WdfCommonBufferGetAlignedVirtualAddress(*buffer));
    *la = static_cast<ULONG64>(WdfCommonBufferGetAlignedLogicalAddress(*buffer).QuadPart);
    if (*va == nullptr) {
        WdfObjectDelete(*buffer);
        *buffer = nullptr;
        return FALSE;
    }
    return TRUE;
}

// What both pool kinds share: the area, the free list, the lock. The record itself is made by
// `makeRecord` (n, buffer va, buffer la) and appended by the caller through `link`.
template <typename MakeRecord>
NTSTATUS BuildPool(PMP_ADAPTER adapter, PDMAQ_POOL pool, ULONG count, ULONG bufferSize, MakeRecord makeRecord)
{
    if (pool->FreeCount != 0 || pool->BaseVa != nullptr) {
        return STATUS_DMAQ_POOL_BUILT;
    }
    InitializeListHead(&pool->FreeList);
    KeInitializeSpinLock(&pool->Lock);
    pool->RecordCount = 0;
    ULONG64 area = static_cast<ULONG64>(count) * bufferSize;
    pool->OneBlock = 0;
    if (count > 1 && area <= 0xFFFFFFFFull &&
        CreateArea(adapter, static_cast<ULONG>(area), &pool->CommonBuffer, &pool->BaseVa, &pool->BaseLa)) {
        pool->OneBlock = 1;
        pool->AreaSize = static_cast<ULONG>(area);
    } else if (count > 1) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MEM, "pool of %u x %u bytes: one buffer per record",
                 static_cast<unsigned>(count), static_cast<unsigned>(bufferSize));
    }
    for (ULONG n = 0; n < count; ++n) {
        PUCHAR va = nullptr;
        ULONG64 la = 0;
        if (pool->OneBlock != 0) {
            // 64-bit arithmetic: a buffer's bus address carries into the high half when the area
            // crosses a 4 GB boundary.
            va = pool->BaseVa + static_cast<size_t>(n) * bufferSize;
            la = pool->BaseLa + static_cast<ULONG64>(n) * bufferSize;
        } else {
            WDFCOMMONBUFFER own = nullptr;
            if (!CreateArea(adapter, bufferSize, &own, &va, &la)) {
                return STATUS_INSUFFICIENT_RESOURCES;
            }
            // Per-record buffers go with the DMA enabler.
            pool->BaseVa = va;
            pool->BaseLa = la;
            pool->AreaSize = bufferSize;
        }
        if (!makeRecord(n, va, la)) {
            return STATUS_INSUFFICIENT_RESOURCES;
        }
        ++pool->FreeCount;
        ++pool->RecordCount;
    }
    return STATUS_SUCCESS;
}

// Unlinks and frees (freeRecord(entry)) every record on the free list, then the area. 0 also for a
// pool whose records are all out (left as it is).
template <typename FreeRecord>
NTSTATUS ReleasePool(PDMAQ_POOL pool, FreeRecord freeRecord)
{
    if (pool->BaseVa == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (IsListEmpty(&pool->FreeList)) {
        return STATUS_SUCCESS;
    }
    if (pool->FreeCount != pool->RecordCount) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MEM, "pool released with %u of %u records out",
                 static_cast<unsigned>(pool->RecordCount - pool->FreeCount), static_cast<unsigned>(pool->RecordCount));
    }
    while (!IsListEmpty(&pool->FreeList)) {
        freeRecord(RemoveHeadList(&pool->FreeList));
    }
    if (pool->OneBlock != 0 && pool->CommonBuffer != nullptr) {
        WdfObjectDelete(pool->CommonBuffer);
    }
    pool->CommonBuffer = nullptr;
    pool->BaseVa = nullptr;
    pool->BaseLa = 0;
    pool->AreaSize = 0;
    pool->FreeCount = 0;
    pool->RecordCount = 0;
    pool->OneBlock = 0;
    return STATUS_SUCCESS;
}

}  // namespace

// ================================================================================================
// pools
// ================================================================================================
NTSTATUS __TxDmaqInit(PMP_ADAPTER adapter, ULONG poolIndex, ULONG count, ULONG bufferSize)
{
    if (poolIndex >= TX_DMAQ_POOL_COUNT) {
        return STATUS_INVALID_PARAMETER;
    }
    PDMAQ_POOL pool = &g_TxDmaqPool[poolIndex];
    NTSTATUS status = BuildPool(adapter, pool, count, bufferSize, [&](ULONG n, PUCHAR va, ULONG64 la) {
        PTX_DMAQ_DESC record = nullptr;
        if (!NT_SUCCESS(PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&record), sizeof(*record), TAG_ZV50))) {
            return FALSE;
        }
        record->PoolIndex = poolIndex;
        record->RecordIndex = static_cast<USHORT>(n);
        record->ApMark = TX_DMAQ_AP_MARK_FREE;
        record->BufferSize = bufferSize;
        record->BufferVa = va;
        record->BufferLa = la;
        InsertTailList(&pool->FreeList, &record->Link);
        return TRUE;
    });
    if (status == STATUS_DMAQ_POOL_BUILT) {
        return status;
    }
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "transmit pool %u not built", static_cast<unsigned>(poolIndex));
        (void)__TxDmaqFree(adapter, poolIndex);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    // The command pool's records wait on TxDWaitq while their descriptors are on a ring.
    return poolIndex == 1 ? CreateQueue(&g_TxDWaitq, "TxDWaitq") : STATUS_SUCCESS;
}

NTSTATUS __RxDmaqInit(PMP_ADAPTER adapter, ULONG poolIndex, ULONG count, ULONG bufferSize)
{
    if (poolIndex >= RX_DMAQ_POOL_COUNT) {
        return STATUS_INVALID_PARAMETER;
    }
    PDMAQ_POOL pool = &g_RxDmaqPool[poolIndex];
    NTSTATUS status = BuildPool(adapter, pool, count, bufferSize, [&](ULONG, PUCHAR va, ULONG64 la) {
        PRX_DMAQ_DESC record = nullptr;
        if (!NT_SUCCESS(PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&record), sizeof(*record), TAG_ZV50))) {
            return FALSE;
        }
        record->PoolIndex = poolIndex;
        record->BufferSize = bufferSize;
        record->BufferVa = va;
        record->BufferLogicalLow = static_cast<ULONG>(la);
        record->BufferLogicalHigh = static_cast<ULONG>(la >> 32);
        InsertTailList(&pool->FreeList, &record->Links);
        return TRUE;
    });
    if (status == STATUS_DMAQ_POOL_BUILT) {
        return status;
    }
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "receive pool %u not built", static_cast<unsigned>(poolIndex));
        (void)__RxDmaqFree(adapter, poolIndex);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return CreateQueue(&g_RxProcq[poolIndex], "RxProcq");
}

NTSTATUS __TxDmaqFree(PMP_ADAPTER adapter, ULONG poolIndex)
{
    UNREFERENCED_PARAMETER(adapter);
    if (poolIndex >= TX_DMAQ_POOL_COUNT) {
        return STATUS_INVALID_PARAMETER;
    }
    if (poolIndex == 1 && QueueExists(&g_TxDWaitq)) {
        // Records whose descriptors were never finished go home without completing anything.
        if (TxDWaitqGetCount(adapter) != 0) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MEM, "TxDWaitq holds %u records at release",
                     static_cast<unsigned>(TxDWaitqGetCount(adapter)));
        }
        for (PTX_DMAQ_DESC record = TxDWaitqDequeue(adapter, nullptr); record != nullptr;
             record = TxDWaitqDequeue(adapter, nullptr)) {
            TxDmaqFree(adapter, record);
        }
    }
    return ReleasePool(&g_TxDmaqPool[poolIndex], [](PLIST_ENTRY entry) {
        PlatformFreeMemory(CONTAINING_RECORD(entry, TX_DMAQ_DESC, Link), sizeof(TX_DMAQ_DESC));
    });
}

NTSTATUS __RxDmaqFree(PMP_ADAPTER adapter, ULONG poolIndex)
{
    UNREFERENCED_PARAMETER(adapter);
    if (poolIndex >= RX_DMAQ_POOL_COUNT) {
        return STATUS_INVALID_PARAMETER;
    }
    (void)RxProcqFree(adapter, poolIndex);
    return ReleasePool(&g_RxDmaqPool[poolIndex], [](PLIST_ENTRY entry) {
        PlatformFreeMemory(CONTAINING_RECORD(entry, RX_DMAQ_DESC, Links), sizeof(RX_DMAQ_DESC));
    });
}

// ================================================================================================
// take and return
// ================================================================================================
PTX_DMAQ_DESC TxDmaqAlloc(PMP_ADAPTER adapter, ULONG poolIndex)
{
    UNREFERENCED_PARAMETER(adapter);
    if (poolIndex >= TX_DMAQ_POOL_COUNT) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "transmit pool %u does not exist", static_cast<unsigned>(poolIndex));
        return nullptr;
    }
    PDMAQ_POOL pool = &g_TxDmaqPool[poolIndex];
    PTX_DMAQ_DESC record = nullptr;
    LockPool(pool);
    if (pool->BaseVa != nullptr && !IsListEmpty(&pool->FreeList)) {
        record = CONTAINING_RECORD(RemoveHeadList(&pool->FreeList), TX_DMAQ_DESC, Link);
        --pool->FreeCount;
    }
    UnlockPool(pool);
    if (record == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MEM, "transmit pool %u is empty", static_cast<unsigned>(poolIndex));
    }
    return record;
}

VOID TxDmaqFree(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    UNREFERENCED_PARAMETER(adapter);
    if (record == nullptr || record->PoolIndex >= TX_DMAQ_POOL_COUNT) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "transmit record of no pool returned");
        return;
    }
    record->Origin = 0;
    record->FrameLength = 0;
    record->Port = nullptr;
    record->SendContext = nullptr;
    record->Frame = nullptr;
    record->FirstBufferData = nullptr;
    record->FirstBufferLength = 0;
    record->MoreFollow = 0;
    record->BytesUsed = 0;
    record->OsBufferList = nullptr;
    record->OsBuffer = nullptr;
    record->DataOffset = 0;
    record->PairwiseEapolKey = 0;
    record->SideInfo = nullptr;
    record->TxQueue = nullptr;
    record->TxQueueContext = nullptr;
    record->StationIndex = 0;
    record->QosInserted = 0;
    record->ApMark = TX_DMAQ_AP_MARK_FREE;
    record->DataClass = 0;
    record->UserPriority = 0;
    record->AccessCategory = 0;
    PDMAQ_POOL pool = &g_TxDmaqPool[record->PoolIndex];
    LockPool(pool);
    InsertTailList(&pool->FreeList, &record->Link);
    ++pool->FreeCount;
    UnlockPool(pool);
}

ULONG TxDmaqGetFreeCount(PMP_ADAPTER adapter, ULONG poolIndex)
{
    UNREFERENCED_PARAMETER(adapter);
    if (poolIndex >= TX_DMAQ_POOL_COUNT) {
        return 0;
    }
    PDMAQ_POOL pool = &g_TxDmaqPool[poolIndex];
    LockPool(pool);
    ULONG count = pool->FreeCount;
    UnlockPool(pool);
    return count;
}

PRX_DMAQ_DESC RxDmaqAlloc(PMP_ADAPTER adapter, ULONG poolIndex)
{
    if (poolIndex >= RX_DMAQ_POOL_COUNT) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "receive pool %u does not exist", static_cast<unsigned>(poolIndex));
        return nullptr;
    }
    PDMAQ_POOL pool = &g_RxDmaqPool[poolIndex];
    PRX_DMAQ_DESC record = nullptr;
    LockPool(pool);
    if (pool->BaseVa != nullptr && !IsListEmpty(&pool->FreeList)) {
        record = CONTAINING_RECORD(RemoveHeadList(&pool->FreeList), RX_DMAQ_DESC, Links);
        --pool->FreeCount;
    } else {
        adapter->RxAllocFailCount += 0x10000;
        __atomic_fetch_or(&adapter->RxExhaustMask, 1u << poolIndex, __ATOMIC_SEQ_CST);
    }
    UnlockPool(pool);
    return record;
}

VOID RxDmaqReturnToPool(PMP_ADAPTER adapter, PRX_DMAQ_DESC record)
{
    PDMAQ_POOL pool = &g_RxDmaqPool[record->PoolIndex];
    if (pool->BaseVa == nullptr) {
        // The pool was never built (or is already released): the record is not one of its own.
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive record returned to pool %u, which does not exist",
                 static_cast<unsigned>(record->PoolIndex));
        return;
    }
    LockPool(pool);
    InsertTailList(&pool->FreeList, &record->Links);
    ++pool->FreeCount;
    if (__atomic_load_n(&adapter->RxExhaustMask, __ATOMIC_ACQUIRE) != 0) {
        __atomic_fetch_and(&adapter->RxExhaustMask, ~(1u << record->PoolIndex), __ATOMIC_SEQ_CST);
    }
    UnlockPool(pool);
}

ULONG RxDmaqGetFreeCount(PMP_ADAPTER adapter, ULONG poolIndex)
{
    UNREFERENCED_PARAMETER(adapter);
    if (poolIndex >= RX_DMAQ_POOL_COUNT) {
        return 0;
    }
    PDMAQ_POOL pool = &g_RxDmaqPool[poolIndex];
    LockPool(pool);
    ULONG count = pool->FreeCount;
    UnlockPool(pool);
    return count;
}

// ================================================================================================
// software queues
// ================================================================================================
VOID TxDWaitqEnqueue(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    UNREFERENCED_PARAMETER(adapter);
    if (record == nullptr || !QueueExists(&g_TxDWaitq)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "TxDWaitq: no record or no queue");
        return;
    }
    LockQueue(&g_TxDWaitq);
    InsertTailList(&g_TxDWaitq.Head, &record->Link);
    ++g_TxDWaitq.Count;
    UnlockQueue(&g_TxDWaitq);
}

PTX_DMAQ_DESC TxDWaitqDequeue(PMP_ADAPTER adapter, PVOID bufferVa)
{
    UNREFERENCED_PARAMETER(adapter);
    if (!QueueExists(&g_TxDWaitq)) {
        return nullptr;
    }
    PTX_DMAQ_DESC found = nullptr;
    LockQueue(&g_TxDWaitq);
    if (bufferVa == nullptr) {
        PLIST_ENTRY entry = TakeHead(&g_TxDWaitq);
        found = entry != nullptr ? CONTAINING_RECORD(entry, TX_DMAQ_DESC, Link) : nullptr;
    } else {
        for (PLIST_ENTRY e = g_TxDWaitq.Head.Flink; e != &g_TxDWaitq.Head; e = e->Flink) {
            PTX_DMAQ_DESC record = CONTAINING_RECORD(e, TX_DMAQ_DESC, Link);
            if (record->BufferVa == bufferVa) {
                (void)RemoveEntryList(e);
                --g_TxDWaitq.Count;
                found = record;
                break;
            }
        }
    }
    UnlockQueue(&g_TxDWaitq);
    return found;
}

ULONG TxDWaitqGetCount(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    if (!QueueExists(&g_TxDWaitq)) {
        return 0;
    }
    LockQueue(&g_TxDWaitq);
    ULONG count = g_TxDWaitq.Count;
    UnlockQueue(&g_TxDWaitq);
    return count;
}

VOID RxProcqEnqueue(PMP_ADAPTER adapter, PRX_DMAQ_DESC record, ULONG ring)
{
    UNREFERENCED_PARAMETER(adapter);
    if (ring >= RX_DMAQ_POOL_COUNT || record == nullptr || !QueueExists(&g_RxProcq[ring])) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "RxProcq %u: no record or no queue", static_cast<unsigned>(ring));
        return;
    }
    PDMAQ_QUEUE queue = &g_RxProcq[ring];
    LockQueue(queue);
    if (queue->Head.Blink->Flink != &queue->Head) {
        // A broken tail: the record stays unqueued rather than the system stopping.
        UnlockQueue(queue);
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "RxProcq %u: broken tail, record not queued", static_cast<unsigned>(ring));
        return;
    }
    InsertTailList(&queue->Head, &record->Links);
    ++queue->Count;
    UnlockQueue(queue);
}

PRX_DMAQ_DESC RxProcqDequeue(PMP_ADAPTER adapter, ULONG ring)
{
    UNREFERENCED_PARAMETER(adapter);
    if (ring >= RX_DMAQ_POOL_COUNT || !QueueExists(&g_RxProcq[ring])) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "RxProcq %u does not exist", static_cast<unsigned>(ring));
        return nullptr;
    }
    PDMAQ_QUEUE queue = &g_RxProcq[ring];
    LockQueue(queue);
    PLIST_ENTRY entry = TakeHead(queue);
    UnlockQueue(queue);
    return entry != nullptr ? CONTAINING_RECORD(entry, RX_DMAQ_DESC, Links) : nullptr;
}

ULONG RxProcqGetCount(PMP_ADAPTER adapter, ULONG ring)
{
    UNREFERENCED_PARAMETER(adapter);
    if (ring >= RX_DMAQ_POOL_COUNT || !QueueExists(&g_RxProcq[ring])) {
        return 0;
    }
    LockQueue(&g_RxProcq[ring]);
    ULONG count = g_RxProcq[ring].Count;
    UnlockQueue(&g_RxProcq[ring]);
    return count;
}

NTSTATUS RxProcqFree(PMP_ADAPTER adapter, ULONG ring)
{
    if (ring >= RX_DMAQ_POOL_COUNT) {
        return STATUS_INVALID_PARAMETER;
    }
    if (!QueueExists(&g_RxProcq[ring])) {
        return STATUS_SUCCESS;
    }
    if (RxProcqGetCount(adapter, ring) != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "RxProcq %u holds %u records at release", static_cast<unsigned>(ring),
                 static_cast<unsigned>(RxProcqGetCount(adapter, ring)));
    }
    for (PRX_DMAQ_DESC record = RxProcqDequeue(adapter, ring); record != nullptr;
         record = RxProcqDequeue(adapter, ring)) {
        RxDmaqFree(adapter, record);
    }
    return STATUS_SUCCESS;
}

// ================================================================================================
// port buffer-list queues
// ================================================================================================
NTSTATUS PortNblWaitqFlush(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS PortNblFreeqDeInit(PMP_PORT port)
{
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}
