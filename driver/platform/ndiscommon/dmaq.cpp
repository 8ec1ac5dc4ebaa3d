// Transmit and receive packet records with their pools, and the software packet queues.
#include "platform/ndiscommon/dmaq.h"

#include "Common/mlme/mlmesync.h"
#include "hal/common/hal_desc.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/trace.h"
#include "platform/ndis6/n6indicate.h"

namespace {

// The pools and queues are the adapter's own (one set per device).
DMAQ_STORE& Store(PMP_ADAPTER adapter) { return adapter->Dmaq; }
DMAQ_STORE& Store(PMP_PORT port) { return port->Adapter->Dmaq; }

constexpr ULONG kPeerAddressOffset = 4;  // receiver address in the 802.11 header
constexpr ULONG kMacAddressLength = 6;
constexpr ULONG kSeqControlOffset = 22;
constexpr ULONG k80211HeaderLength = 24;
constexpr ULONG64 kSystemTimeUnitsPerSecond = 10000000ull;

// ---- the queue family ------------------------------------------------------------------------------------
BOOLEAN QueueExists(const DMAQ_QUEUE* queue)
{
    return static_cast<BOOLEAN>(__atomic_load_n(&queue->Created, __ATOMIC_ACQUIRE) != 0);
}

ULONG QuickCount(const DMAQ_QUEUE* queue) { return __atomic_load_n(&queue->Count, __ATOMIC_RELAXED); }

void SetCount(PDMAQ_QUEUE queue, ULONG count) { __atomic_store_n(&queue->Count, count, __ATOMIC_RELAXED); }

void LockQueue(PDMAQ_QUEUE queue)
{
    KIRQL old;
    KeAcquireSpinLock(&queue->Lock, &old);
    queue->OldIrql = old;
}

void UnlockQueue(PDMAQ_QUEUE queue) { KeReleaseSpinLock(&queue->Lock, queue->OldIrql); }

// Creates a queue with its pool; a queue that still holds records refuses (the pool stays built).
NTSTATUS CreateQueue(PDMAQ_QUEUE queue, PCSTR name, ULONG index)
{
    if (QueueExists(queue) && QuickCount(queue) != 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "%s %u created while it holds %u records", name,
                 static_cast<unsigned>(index), static_cast<unsigned>(QuickCount(queue)));
        return STATUS_DMAQ_POOL_BUILT;
    }
    InitializeListHead(&queue->Head);
    SetCount(queue, 0);
    KeInitializeSpinLock(&queue->Lock);
    __atomic_store_n(&queue->Created, static_cast<UCHAR>(1), __ATOMIC_RELEASE);
    return STATUS_SUCCESS;
}

template <size_t N>
NTSTATUS CreateQueues(DMAQ_QUEUE (&queues)[N], PCSTR name)
{
    for (size_t i = 0; i < N; ++i) {
        NTSTATUS status = CreateQueue(&queues[i], name, static_cast<ULONG>(i));
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
    return STATUS_SUCCESS;
}

void Enqueue(PDMAQ_QUEUE queue, PLIST_ENTRY link, BOOLEAN atHead)
{
    LockQueue(queue);
    if (atHead) {
        InsertHeadList(&queue->Head, link);
    } else {
        InsertTailList(&queue->Head, link);
    }
    SetCount(queue, queue->Count + 1);
    UnlockQueue(queue);
}

// Unlinks an entry of a queue; the caller holds its lock.
void Unlink(PDMAQ_QUEUE queue, PLIST_ENTRY link)
{
    (void)RemoveEntryList(link);
    SetCount(queue, queue->Count - 1);
}

// The first entry (from the head) that `match` accepts, unlinked; null when none. The quick empty
// test reads the count without the lock.
template <typename Match>
PLIST_ENTRY DequeueFirst(PDMAQ_QUEUE queue, Match match)
{
    if (!QueueExists(queue) || QuickCount(queue) == 0) {
        return nullptr;
    }
    PLIST_ENTRY found = nullptr;
    LockQueue(queue);
    for (PLIST_ENTRY e = queue->Head.Flink; e != &queue->Head; e = e->Flink) {
        if (match(e)) {
            Unlink(queue, e);
            found = e;
            break;
        }
    }
    UnlockQueue(queue);
    return found;
}

PLIST_ENTRY DequeueHead(PDMAQ_QUEUE queue)
{
    return DequeueFirst(queue, [](PLIST_ENTRY) { return true; });
}

ULONG LockedCount(PDMAQ_QUEUE queue)
{
    if (!QueueExists(queue)) {
        return 0;
    }
    LockQueue(queue);
    ULONG count = queue->Count;
    UnlockQueue(queue);
    return count;
}

PTX_DMAQ_DESC TxOf(PLIST_ENTRY e) { return e != nullptr ? CONTAINING_RECORD(e, TX_DMAQ_DESC, Link) : nullptr; }
PRX_DMAQ_DESC RxOf(PLIST_ENTRY e) { return e != nullptr ? CONTAINING_RECORD(e, RX_DMAQ_DESC, Links) : nullptr; }

// The record's receiver address is `address` (the 6 bytes at byte 4 of its 802.11 header).
BOOLEAN PeerIs(PLIST_ENTRY e, const UCHAR* address)
{
    PTX_DMAQ_DESC record = TxOf(e);
    return static_cast<BOOLEAN>(address != nullptr && record->Frame != nullptr &&
                                RtlCompareMemory(record->Frame + kPeerAddressOffset, address, kMacAddressLength) ==
                                    kMacAddressLength);
}

BOOLEAN PortIs(PLIST_ENTRY e, USHORT portIndex)
{
    PTX_DMAQ_DESC record = TxOf(e);
    return static_cast<BOOLEAN>(record->Port != nullptr && static_cast<USHORT>(record->Port->PortNumber) == portIndex);
}

// Returns every record of a transmit queue to its pool without completing anything.
void DrainTxQueue(PMP_ADAPTER adapter, PDMAQ_QUEUE queue, PCSTR name, ULONG index)
{
    if (!QueueExists(queue)) {
        return;
    }
    if (QuickCount(queue) != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MEM, "%s %u holds %u records at release", name, static_cast<unsigned>(index),
                 static_cast<unsigned>(QuickCount(queue)));
    }
    for (PTX_DMAQ_DESC record = TxOf(DequeueHead(queue)); record != nullptr; record = TxOf(DequeueHead(queue))) {
        TxDmaqFree(adapter, record);
    }
}

template <size_t N>
void DrainTxQueues(PMP_ADAPTER adapter, DMAQ_QUEUE (&queues)[N], PCSTR name)
{
    for (size_t i = 0; i < N; ++i) {
        DrainTxQueue(adapter, &queues[i], name, static_cast<ULONG>(i));
    }
}

void DrainRxQueue(PMP_ADAPTER adapter, PDMAQ_QUEUE queue, PCSTR name, ULONG index)
{
    if (!QueueExists(queue)) {
        return;
    }
    if (QuickCount(queue) != 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "%s %u holds %u records at release", name, static_cast<unsigned>(index),
                 static_cast<unsigned>(QuickCount(queue)));
    }
    for (PRX_DMAQ_DESC record = RxOf(DequeueHead(queue)); record != nullptr; record = RxOf(DequeueHead(queue))) {
        RxDmaqFree(adapter, record);
    }
}

// ---- pools ------------------------------------------------------------------------------------------------
template <typename Pool>
void LockPool(Pool* pool)
{
    KIRQL old;
    KeAcquireSpinLock(&pool->Lock, &old);
    pool->OldIrql = old;
}

template <typename Pool>
void UnlockPool(Pool* pool)
{
    KeReleaseSpinLock(&pool->Lock, pool->OldIrql);
}

// One common buffer of `length` bytes; false when the enabler cannot give it.
BOOLEAN CreateArea(PMP_ADAPTER adapter, ULONG64 length, WDFCOMMONBUFFER* buffer, PUCHAR* va, ULONG64* la)
{
    *buffer = nullptr;
    if (adapter == nullptr || adapter->DmaEnabler == nullptr || length == 0 || length > 0xFFFFFFFFull ||
        !NT_SUCCESS(WdfCommonBufferCreate(adapter->DmaEnabler, static_cast<size_t>(length), WDF_NO_OBJECT_ATTRIBUTES,
                                          buffer))) {
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

template <typename Pool>
PUCHAR AllocBufPool(PMP_ADAPTER adapter, Pool* pool, ULONG bufferSize, ULONG count)
{
    const ULONG64 area = static_cast<ULONG64>(count) * bufferSize;
    WDFCOMMONBUFFER buffer = nullptr;
    PUCHAR va = nullptr;
    ULONG64 la = 0;
    if (!CreateArea(adapter, area, &buffer, &va, &la)) {
        return nullptr;
    }
    pool->CommonBuffer = buffer;
    pool->BaseVa = va;
    pool->BaseLa = la;
    pool->AreaSize = static_cast<ULONG>(area);
    return va;
}

// What both pool kinds share: the area, the free list, the lock. Each record is made by
// `makeRecord` (n, buffer va, buffer la), which appends it to the free list.
template <typename Pool, typename MakeRecord>
NTSTATUS BuildPool(PMP_ADAPTER adapter, Pool* pool, ULONG count, ULONG bufferSize, MakeRecord makeRecord)
{
    LockPool(pool);
    const BOOLEAN built = static_cast<BOOLEAN>(pool->FreeCount != 0 || pool->BaseVa != nullptr);
    UnlockPool(pool);
    if (built) {
        return STATUS_DMAQ_POOL_BUILT;
    }
    InitializeListHead(&pool->FreeList);
    KeInitializeSpinLock(&pool->Lock);
    pool->RecordCount = 0;
    pool->OneBlock = 0;
    if (count > 1) {
        if (AllocBufPool(adapter, pool, bufferSize, count) != nullptr) {
            pool->OneBlock = 1;
        } else {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MEM, "pool of %u x %u bytes: one buffer per record",
                     static_cast<unsigned>(count), static_cast<unsigned>(bufferSize));
        }
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
template <typename Pool, typename FreeRecord>
NTSTATUS ReleasePool(Pool* pool, FreeRecord freeRecord)
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

ULONG PortIndexOf(PMP_PORT port)
{
    return port != nullptr ? port->PortNumber : PORT_NBL_QUEUE_COUNT;
}

}  // namespace

// ================================================================================================
// pools
// ================================================================================================
PUCHAR TxDmaqAllocBufPool(PMP_ADAPTER adapter, PTX_DMAQ_POOL pool, ULONG bufferSize, ULONG count)
{
    return pool != nullptr ? AllocBufPool(adapter, pool, bufferSize, count) : nullptr;
}

PUCHAR RxDmaqAllocBufPool(PMP_ADAPTER adapter, PRX_DMAQ_POOL pool, ULONG bufferSize, ULONG count)
{
    return pool != nullptr ? AllocBufPool(adapter, pool, bufferSize, count) : nullptr;
}

NTSTATUS __TxDmaqInit(PMP_ADAPTER adapter, ULONG poolIndex, ULONG count, ULONG bufferSize)
{
    if (poolIndex >= TX_DMAQ_POOL_COUNT) {
        return STATUS_INVALID_PARAMETER;
    }
    PTX_DMAQ_POOL pool = &Store(adapter).TxDmaqPool[poolIndex];
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
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MEM, "transmit pool %u is already built", static_cast<unsigned>(poolIndex));
        return status;
    }
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "transmit pool %u not built", static_cast<unsigned>(poolIndex));
        (void)__TxDmaqFree(adapter, poolIndex);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return STATUS_SUCCESS;
}

NTSTATUS __RxDmaqInit(PMP_ADAPTER adapter, ULONG poolIndex, ULONG count, ULONG bufferSize)
{
    if (poolIndex >= RX_DMAQ_POOL_COUNT) {
        return STATUS_INVALID_PARAMETER;
    }
    PRX_DMAQ_POOL pool = &Store(adapter).RxDmaqPool[poolIndex];
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
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MEM, "receive pool %u is already built", static_cast<unsigned>(poolIndex));
        return status;
    }
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "receive pool %u not built", static_cast<unsigned>(poolIndex));
        (void)__RxDmaqFree(adapter, poolIndex);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    pool->Untouched = TRUE;  // common buffers come zero-filled
    return STATUS_SUCCESS;
}

NTSTATUS __TxDmaqFree(PMP_ADAPTER adapter, ULONG poolIndex)
{
    if (poolIndex >= TX_DMAQ_POOL_COUNT) {
        return STATUS_INVALID_PARAMETER;
    }
    return ReleasePool(&Store(adapter).TxDmaqPool[poolIndex], [](PLIST_ENTRY entry) {
        PlatformFreeMemory(CONTAINING_RECORD(entry, TX_DMAQ_DESC, Link), sizeof(TX_DMAQ_DESC));
    });
}

NTSTATUS __RxDmaqFree(PMP_ADAPTER adapter, ULONG poolIndex)
{
    if (poolIndex >= RX_DMAQ_POOL_COUNT) {
        return STATUS_INVALID_PARAMETER;
    }
    Store(adapter).RxDmaqPool[poolIndex].Untouched = FALSE;
    return ReleasePool(&Store(adapter).RxDmaqPool[poolIndex], [](PLIST_ENTRY entry) {
        PlatformFreeMemory(CONTAINING_RECORD(entry, RX_DMAQ_DESC, Links), sizeof(RX_DMAQ_DESC));
    });
}

NTSTATUS TxDmaqInit(PMP_ADAPTER adapter, ULONG poolIndex, ULONG count, ULONG bufferSize)
{
    NTSTATUS status = __TxDmaqInit(adapter, poolIndex, count, bufferSize);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (poolIndex == 1) {
        return CreateQueue(&Store(adapter).TxDWaitq, "TxDWaitq", 0);
    }
    status = CreateQueues(Store(adapter).TxProcq, "TxProcq");
    if (NT_SUCCESS(status)) {
        status = CreateQueue(&Store(adapter).TxDoneWaitq, "TxDoneWaitq", 0);
    }
    if (NT_SUCCESS(status)) {
        status = CreateQueues(Store(adapter).TxBmcPsq, "TxBmcPsq");
    }
    if (NT_SUCCESS(status)) {
        status = CreateQueues(Store(adapter).TxUcPsq, "TxUcPsq");
    }
    // The ports' buffer-list queues hold entries of the allocator that port termination frees:
    // they are set up once and keep what they hold.
    for (ULONG p = 0; NT_SUCCESS(status) && p < PORT_NBL_QUEUE_COUNT; ++p) {
        if (!QueueExists(&Store(adapter).PortNblFreeq[p])) {
            status = CreateQueue(&Store(adapter).PortNblFreeq[p], "port buffer-list free queue", p);
        }
        if (NT_SUCCESS(status) && !QueueExists(&Store(adapter).PortNblWaitq[p])) {
            status = CreateQueue(&Store(adapter).PortNblWaitq[p], "port buffer-list wait queue", p);
        }
    }
    return status;
}

NTSTATUS RxDmaqInit(PMP_ADAPTER adapter, ULONG poolIndex, ULONG count, ULONG bufferSize)
{
    NTSTATUS status = __RxDmaqInit(adapter, poolIndex, count, bufferSize);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    status = CreateQueue(&Store(adapter).RxProcq[poolIndex], "RxProcq", poolIndex);
    if (NT_SUCCESS(status) && poolIndex == 0) {
        status = CreateQueues(Store(adapter).RxReorderq, "RxReorderq");
    }
    return status;
}

VOID TxDmaqDeInit(PMP_ADAPTER adapter)
{
    DrainTxQueue(adapter, &Store(adapter).TxDWaitq, "TxDWaitq", 0);
    DrainTxQueue(adapter, &Store(adapter).TxDoneWaitq, "TxDoneWaitq", 0);
    DrainTxQueues(adapter, Store(adapter).TxProcq, "TxProcq");
    DrainTxQueues(adapter, Store(adapter).TxBmcPsq, "TxBmcPsq");
    DrainTxQueues(adapter, Store(adapter).TxUcPsq, "TxUcPsq");
    for (ULONG p = 0; p < TX_DMAQ_POOL_COUNT; ++p) {
        (void)__TxDmaqFree(adapter, p);
    }
}

VOID RxDmaqDeInit(PMP_ADAPTER adapter)
{
    // The records attached to the receive ring slots go home first.
    PPCI_HIF_CONTEXT hif = adapter != nullptr ? adapter->HifContext : nullptr;
    if (hif != nullptr) {
        for (PCI_RX_RING& ring : hif->RxRing) {
            for (DMA_RING_SLOT& slot : ring.Slots) {
                if (slot.Record != nullptr) {
                    RxDmaqFree(adapter, slot.Record);
                    slot.Record = nullptr;
                }
            }
        }
    }
    for (ULONG r = 0; r < RX_DMAQ_POOL_COUNT; ++r) {
        (void)RxProcqFree(adapter, r);
    }
    for (ULONG a = 0; a < RX_REORDERQ_COUNT; ++a) {
        DrainRxQueue(adapter, &Store(adapter).RxReorderq[a], "RxReorderq", a);
    }
    for (ULONG p = 0; p < RX_DMAQ_POOL_COUNT; ++p) {
        (void)__RxDmaqFree(adapter, p);
    }
}

// ================================================================================================
// take and return
// ================================================================================================
PTX_DMAQ_DESC TxDmaqAlloc(PMP_ADAPTER adapter, ULONG poolIndex)
{
    if (poolIndex >= TX_DMAQ_POOL_COUNT) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "transmit pool %u does not exist", static_cast<unsigned>(poolIndex));
        return nullptr;
    }
    PTX_DMAQ_POOL pool = &Store(adapter).TxDmaqPool[poolIndex];
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
    PTX_DMAQ_POOL pool = &Store(adapter).TxDmaqPool[record->PoolIndex];
    LockPool(pool);
    InsertTailList(&pool->FreeList, &record->Link);
    ++pool->FreeCount;
    UnlockPool(pool);
}

ULONG TxDmaqGetFreeCount(PMP_ADAPTER adapter, ULONG poolIndex)
{
    if (poolIndex >= TX_DMAQ_POOL_COUNT) {
        return 0;
    }
    PTX_DMAQ_POOL pool = &Store(adapter).TxDmaqPool[poolIndex];
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
    PRX_DMAQ_POOL pool = &Store(adapter).RxDmaqPool[poolIndex];
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
    PRX_DMAQ_POOL pool = &Store(adapter).RxDmaqPool[record->PoolIndex];
    if (pool->BaseVa == nullptr) {
        // The pool was never built (or is already released): the record is not one of its own.
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "receive record returned to pool %u, which does not exist",
                 static_cast<unsigned>(record->PoolIndex));
        return;
    }
    LockPool(pool);
    InsertTailList(&pool->FreeList, &record->Links);
    ++pool->FreeCount;
    pool->Untouched = FALSE;
    if (__atomic_load_n(&adapter->RxExhaustMask, __ATOMIC_ACQUIRE) != 0) {
        __atomic_fetch_and(&adapter->RxExhaustMask, ~(1u << record->PoolIndex), __ATOMIC_SEQ_CST);
    }
    UnlockPool(pool);
}

BOOLEAN RxDmaqPoolUntouched(PMP_ADAPTER adapter, ULONG poolIndex)
{
    if (poolIndex >= RX_DMAQ_POOL_COUNT) {
        return FALSE;
    }
    PRX_DMAQ_POOL pool = &Store(adapter).RxDmaqPool[poolIndex];
    LockPool(pool);
    const BOOLEAN untouched = pool->Untouched;
    UnlockPool(pool);
    return untouched;
}

ULONG RxDmaqGetFreeCount(PMP_ADAPTER adapter, ULONG poolIndex)
{
    if (poolIndex >= RX_DMAQ_POOL_COUNT) {
        return 0;
    }
    PRX_DMAQ_POOL pool = &Store(adapter).RxDmaqPool[poolIndex];
    LockPool(pool);
    ULONG count = pool->FreeCount;
    UnlockPool(pool);
    return count;
}

// ================================================================================================
// TxProcq
// ================================================================================================
VOID TxProcqEnqueue(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, UCHAR ac, BOOLEAN atHead)
{
    if (record == nullptr || ac >= TX_PROCQ_COUNT || !QueueExists(&Store(adapter).TxProcq[ac])) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "TxProcq %u: no record or no queue", static_cast<unsigned>(ac));
        return;
    }
    Enqueue(&Store(adapter).TxProcq[ac], &record->Link, atHead);
}

PTX_DMAQ_DESC TxProcqDequeue(PMP_ADAPTER adapter, UCHAR ac)
{
    return ac < TX_PROCQ_COUNT ? TxOf(DequeueHead(&Store(adapter).TxProcq[ac])) : nullptr;
}

PTX_DMAQ_DESC TxProcqDequeueByPeerAddr(PMP_ADAPTER adapter, UCHAR ac, const UCHAR* address)
{
    if (ac >= TX_PROCQ_COUNT) {
        return nullptr;
    }
    return TxOf(DequeueFirst(&Store(adapter).TxProcq[ac], [&](PLIST_ENTRY e) { return PeerIs(e, address) != 0; }));
}

PTX_DMAQ_DESC TxProcqDequeueByPort(PMP_ADAPTER adapter, UCHAR ac, USHORT portIndex)
{
    if (ac >= TX_PROCQ_COUNT) {
        return nullptr;
    }
    return TxOf(DequeueFirst(&Store(adapter).TxProcq[ac], [&](PLIST_ENTRY e) { return PortIs(e, portIndex) != 0; }));
}

ULONG TxProcqGetCount(PMP_ADAPTER adapter, UCHAR ac)
{
    return ac < TX_PROCQ_COUNT ? LockedCount(&Store(adapter).TxProcq[ac]) : 0;
}

// ================================================================================================
// TxDoneWaitq
// ================================================================================================
VOID TxDoneWaitqEnqueue(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    if (record == nullptr || !QueueExists(&Store(adapter).TxDoneWaitq)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "TxDoneWaitq: no record or no queue");
        return;
    }
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    record->EnqueueTime = static_cast<ULONG64>(now.QuadPart);
    Enqueue(&Store(adapter).TxDoneWaitq, &record->Link, FALSE);
}

PTX_DMAQ_DESC TxDoneWaitqDequeue(PMP_ADAPTER adapter, ULONG key)
{
    PDMAQ_QUEUE queue = &Store(adapter).TxDoneWaitq;
    if (!QueueExists(queue) || QuickCount(queue) == 0) {
        return nullptr;
    }
    PLIST_ENTRY found = nullptr;
    LockQueue(queue);
    for (PLIST_ENTRY e = queue->Head.Flink; e != &queue->Head; e = e->Flink) {
        if (TxOf(e)->RecordIndex == key) {
            found = e;
            break;
        }
    }
    if (found == nullptr && key == TX_DONE_WAITQ_HEAD && !IsListEmpty(&queue->Head)) {
        found = queue->Head.Flink;
    }
    if (found == nullptr && key == TX_DONE_WAITQ_AGEOUT) {
        // Times and the limit in 64 bits: a 32-bit product of the limit would wrap at 430 s, and a
        // 32-bit elapsed time would make a frame older than 429 s look young.
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        const ULONG64 current = static_cast<ULONG64>(now.QuadPart);
        const ULONG64 limit =
            static_cast<ULONG64>(adapter != nullptr ? adapter->RegistryBlock.AgeoutMsduReport : 0) * kSystemTimeUnitsPerSecond;
        for (PLIST_ENTRY e = queue->Head.Flink; e != &queue->Head; e = e->Flink) {
            PTX_DMAQ_DESC record = TxOf(e);
            const ULONG64 elapsed = current >= record->EnqueueTime ? current - record->EnqueueTime : 0;
            if (elapsed >= limit) {
                record->EnqueueTime = 0;
                found = e;
                break;
            }
        }
        if (found == nullptr && adapter != nullptr) {
            adapter->TxDoneAgeSweepTime = current;
        }
    }
    if (found != nullptr) {
        Unlink(queue, found);
    }
    UnlockQueue(queue);
    return TxOf(found);
}

PTX_DMAQ_DESC TxDoneWaitqDequeueTail(PMP_ADAPTER adapter)
{
    PDMAQ_QUEUE queue = &Store(adapter).TxDoneWaitq;
    if (!QueueExists(queue) || QuickCount(queue) == 0) {
        return nullptr;
    }
    PLIST_ENTRY found = nullptr;
    LockQueue(queue);
    if (!IsListEmpty(&queue->Head)) {
        found = queue->Head.Blink;
        Unlink(queue, found);
    }
    UnlockQueue(queue);
    return TxOf(found);
}

PTX_DMAQ_DESC TxDoneWaitqDequeueByPeerAddr(PMP_ADAPTER adapter, const UCHAR* address)
{
    return TxOf(DequeueFirst(&Store(adapter).TxDoneWaitq, [&](PLIST_ENTRY e) { return PeerIs(e, address) != 0; }));
}

PTX_DMAQ_DESC TxDoneWaitqDequeueByPort(PMP_ADAPTER adapter, USHORT portIndex)
{
    return TxOf(DequeueFirst(&Store(adapter).TxDoneWaitq, [&](PLIST_ENTRY e) { return PortIs(e, portIndex) != 0; }));
}

ULONG TxDoneWaitqGetCount(PMP_ADAPTER adapter)
{
    return LockedCount(&Store(adapter).TxDoneWaitq);
}

VOID TxDoneWaitqStat(PMP_ADAPTER adapter)
{
    PDMAQ_QUEUE queue = &Store(adapter).TxDoneWaitq;
    if (!QueueExists(queue)) {
        return;
    }
    ULONG perPort[MP_MAX_PORTS] = {};
    LockQueue(queue);
    for (PLIST_ENTRY e = queue->Head.Flink; e != &queue->Head; e = e->Flink) {
        PMP_PORT port = TxOf(e)->Port;
        if (port != nullptr && port->PortNumber < MP_MAX_PORTS) {
            ++perPort[port->PortNumber];
        }
    }
    UnlockQueue(queue);
    for (ULONG p = 0; p < MP_MAX_PORTS; ++p) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_TX, "TxDoneWaitq: port %u has %u records waiting", static_cast<unsigned>(p),
                 static_cast<unsigned>(perPort[p]));
    }
}

VOID TxDoneWaitQTailToTxProcessQHead(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        return;
    }
    for (ULONG p = 0; p < adapter->PortCount && p < MP_MAX_PORTS; ++p) {
        PMP_PORT port = adapter->PortList[p];
        if (port == nullptr) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "requeue after recovery: port %u missing", static_cast<unsigned>(p));
            return;
        }
        if (port->PendingNblHead != nullptr) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "requeue after recovery: port %u has a pending chain",
                     static_cast<unsigned>(p));
        }
    }
    // Tail first, each to the head of its access category: the earlier frames stay in front.
    for (PTX_DMAQ_DESC record = TxDoneWaitqDequeueTail(adapter); record != nullptr;
         record = TxDoneWaitqDequeueTail(adapter)) {
        PNET_BUFFER_LIST nbl = static_cast<PNET_BUFFER_LIST>(record->OsBufferList);
        if (nbl != nullptr) {
            nbl->Next = nullptr;
        }
        const UCHAR ac = record->AccessCategory < TX_PROCQ_COUNT ? record->AccessCategory : TX_PROCQ_COUNT - 1;
        TxProcqEnqueue(adapter, record, ac, TRUE);
    }
    BOOLEAN noContext = FALSE;
    for (UCHAR ac = 0; ac < TX_PROCQ_COUNT; ++ac) {
        for (PTX_DMAQ_DESC record = TxProcqDequeue(adapter, ac); record != nullptr; record = TxProcqDequeue(adapter, ac)) {
            PNET_BUFFER_LIST nbl = static_cast<PNET_BUFFER_LIST>(record->OsBufferList);
            if (nbl != nullptr && !noContext && record->Origin == TX_DMAQ_ORIGIN_OS && nbl->Context == nullptr) {
                // From here on nothing is handed back: a list without its context word is not one the
                // buffer-list send path could send again.
                DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "requeue after recovery: buffer list without context word");
                noContext = TRUE;
            }
            PMP_PORT port = record->Port;
            if (nbl == nullptr || noContext || port == nullptr) {
                TxDmaqFree(adapter, record);
                continue;
            }
            nbl->Next = nullptr;
            if (port->PendingNblHead == nullptr) {
                port->PendingNblHead = nbl;
            } else {
                port->PendingNblTail->Next = nbl;
            }
            port->PendingNblTail = nbl;
            PlatformIndicateXmitPktToNdisWhenSER(adapter, record, STATUS_SUCCESS);
        }
    }
}

// ================================================================================================
// TxDWaitq
// ================================================================================================
VOID TxDWaitqEnqueue(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    if (record == nullptr || !QueueExists(&Store(adapter).TxDWaitq)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "TxDWaitq: no record or no queue");
        return;
    }
    Enqueue(&Store(adapter).TxDWaitq, &record->Link, FALSE);
}

PTX_DMAQ_DESC TxDWaitqDequeue(PMP_ADAPTER adapter, PVOID bufferVa)
{
    return TxOf(DequeueFirst(&Store(adapter).TxDWaitq,
                             [&](PLIST_ENTRY e) { return bufferVa == nullptr || TxOf(e)->BufferVa == bufferVa; }));
}

ULONG TxDWaitqGetCount(PMP_ADAPTER adapter)
{
    return LockedCount(&Store(adapter).TxDWaitq);
}

// ================================================================================================
// power-save queues
// ================================================================================================
VOID TxBmcPsqEnqueue(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, ULONG portIndex)
{
    if (record == nullptr || portIndex >= TX_BMC_PSQ_COUNT || !QueueExists(&Store(adapter).TxBmcPsq[portIndex])) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "TxBmcPsq %u: no record or no queue", static_cast<unsigned>(portIndex));
        return;
    }
    Enqueue(&Store(adapter).TxBmcPsq[portIndex], &record->Link, FALSE);
}

PTX_DMAQ_DESC TxBmcPsqDequeue(PMP_ADAPTER adapter, ULONG portIndex)
{
    return portIndex < TX_BMC_PSQ_COUNT ? TxOf(DequeueHead(&Store(adapter).TxBmcPsq[portIndex])) : nullptr;
}

PTX_DMAQ_DESC TxBmcPsqDequeueByPeerAddr(PMP_ADAPTER adapter, ULONG portIndex, const UCHAR* address)
{
    if (portIndex >= TX_BMC_PSQ_COUNT) {
        return nullptr;
    }
    return TxOf(DequeueFirst(&Store(adapter).TxBmcPsq[portIndex], [&](PLIST_ENTRY e) { return PeerIs(e, address) != 0; }));
}

PTX_DMAQ_DESC TxBmcPsqDequeueByPort(PMP_ADAPTER adapter, ULONG portIndex)
{
    if (portIndex >= TX_BMC_PSQ_COUNT) {
        return nullptr;
    }
    return TxOf(DequeueFirst(&Store(adapter).TxBmcPsq[portIndex],
                             [&](PLIST_ENTRY e) { return PortIs(e, static_cast<USHORT>(portIndex)) != 0; }));
}

ULONG TxBmcPsqGetCount(PMP_ADAPTER adapter, ULONG portIndex)
{
    return portIndex < TX_BMC_PSQ_COUNT ? LockedCount(&Store(adapter).TxBmcPsq[portIndex]) : 0;
}

VOID TxUcPsqEnqueue(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, ULONG stationIndex)
{
    if (record == nullptr || stationIndex >= TX_UC_PSQ_COUNT || !QueueExists(&Store(adapter).TxUcPsq[stationIndex])) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "TxUcPsq %u: no record or no queue", static_cast<unsigned>(stationIndex));
        return;
    }
    Enqueue(&Store(adapter).TxUcPsq[stationIndex], &record->Link, FALSE);
}

PTX_DMAQ_DESC TxUcPsqDequeue(PMP_ADAPTER adapter, ULONG stationIndex)
{
    return stationIndex < TX_UC_PSQ_COUNT ? TxOf(DequeueHead(&Store(adapter).TxUcPsq[stationIndex])) : nullptr;
}

PTX_DMAQ_DESC TxUcPsqDequeueByPeerAddr(PMP_ADAPTER adapter, ULONG stationIndex, const UCHAR* address)
{
    if (stationIndex >= TX_UC_PSQ_COUNT) {
        return nullptr;
    }
    return TxOf(DequeueFirst(&Store(adapter).TxUcPsq[stationIndex], [&](PLIST_ENTRY e) { return PeerIs(e, address) != 0; }));
}

PTX_DMAQ_DESC TxUcPsqDequeueByPort(PMP_ADAPTER adapter, ULONG stationIndex, USHORT portIndex)
{
    if (stationIndex >= TX_UC_PSQ_COUNT) {
        return nullptr;
    }
    return TxOf(DequeueFirst(&Store(adapter).TxUcPsq[stationIndex], [&](PLIST_ENTRY e) { return PortIs(e, portIndex) != 0; }));
}

// ================================================================================================
// RxProcq
// ================================================================================================
VOID RxProcqEnqueue(PMP_ADAPTER adapter, PRX_DMAQ_DESC record, ULONG ring)
{
    if (ring >= RX_DMAQ_POOL_COUNT || record == nullptr || !QueueExists(&Store(adapter).RxProcq[ring])) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "RxProcq %u: no record or no queue", static_cast<unsigned>(ring));
        return;
    }
    PDMAQ_QUEUE queue = &Store(adapter).RxProcq[ring];
    LockQueue(queue);
    if (queue->Head.Blink->Flink != &queue->Head) {
        // A broken tail: the record stays unqueued rather than the system stopping.
        UnlockQueue(queue);
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "RxProcq %u: broken tail, record not queued", static_cast<unsigned>(ring));
        return;
    }
    InsertTailList(&queue->Head, &record->Links);
    SetCount(queue, queue->Count + 1);
    UnlockQueue(queue);
}

PRX_DMAQ_DESC RxProcqDequeue(PMP_ADAPTER adapter, ULONG ring)
{
    if (ring >= RX_DMAQ_POOL_COUNT || !QueueExists(&Store(adapter).RxProcq[ring])) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "RxProcq %u does not exist", static_cast<unsigned>(ring));
        return nullptr;
    }
    return RxOf(DequeueHead(&Store(adapter).RxProcq[ring]));
}

ULONG RxProcqGetCount(PMP_ADAPTER adapter, ULONG ring)
{
    return ring < RX_DMAQ_POOL_COUNT ? LockedCount(&Store(adapter).RxProcq[ring]) : 0;
}

NTSTATUS RxProcqFree(PMP_ADAPTER adapter, ULONG ring)
{
    if (ring >= RX_DMAQ_POOL_COUNT) {
        return STATUS_INVALID_PARAMETER;
    }
    DrainRxQueue(adapter, &Store(adapter).RxProcq[ring], "RxProcq", ring);
    return STATUS_SUCCESS;
}

// ================================================================================================
// reorder queues
// ================================================================================================
BOOLEAN IsSeqNumBefore(USHORT a, USHORT b)
{
    const ULONG x = a;
    const ULONG y = b;
    if (y >= x + 2048) {
        return FALSE;
    }
    if (y + 2048 < x) {
        return TRUE;
    }
    return static_cast<BOOLEAN>(x < y);
}

USHORT RxDmaqGetSeqNum(PRX_DMAQ_DESC record)
{
    if (record == nullptr || record->Frame == nullptr || record->FrameLength < k80211HeaderLength) {
        return 0;
    }
    const USHORT control = static_cast<USHORT>(record->Frame[kSeqControlOffset] | (record->Frame[kSeqControlOffset + 1] << 8));
    return static_cast<USHORT>(control >> 4);
}

BOOLEAN RxReorderqEnqueue(PMP_ADAPTER adapter, PRX_DMAQ_DESC record, PREORDER_SESSION session)
{
    if (record == nullptr || session == nullptr || session->QueueIndex >= RX_REORDERQ_COUNT ||
        !QueueExists(&Store(adapter).RxReorderq[session->QueueIndex])) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "reorder queue: no record, session or queue");
        return FALSE;
    }
    if (record->Frame == nullptr || record->FrameLength < k80211HeaderLength) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_RX, "reorder queue %u: frame without a complete header",
                 static_cast<unsigned>(session->QueueIndex));
        return FALSE;
    }
    const USHORT number = RxDmaqGetSeqNum(record);
    const UCHAR position = RxdGetAmsduPosition(adapter, record);
    PDMAQ_QUEUE queue = &Store(adapter).RxReorderq[session->QueueIndex];
    LockQueue(queue);
    PLIST_ENTRY after = &queue->Head;  // insert right after this entry; the head: at the front
    for (PLIST_ENTRY e = queue->Head.Blink; e != &queue->Head; e = e->Blink) {
        const USHORT queued = RxDmaqGetSeqNum(RxOf(e));
        if (IsSeqNumBefore(queued, number)) {
            after = e;
            break;
        }
        if (queued == number) {
            if (session->DuplicateFlag == 0 && (position == 1 || position == 2)) {
                // A further sub-frame of the same A-MSDU.
                after = e;
                break;
            }
            if (position == 3) {
                session->DuplicateFlag = 1;
            }
            UnlockQueue(queue);
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "reorder queue %u: sequence %u refused (position %u)",
                     static_cast<unsigned>(session->QueueIndex), static_cast<unsigned>(number),
                     static_cast<unsigned>(position));
            return FALSE;
        }
    }
    InsertHeadList(after, &record->Links);
    SetCount(queue, queue->Count + 1);
    session->DuplicateFlag = 0;
    UnlockQueue(queue);
    return TRUE;
}

PRX_DMAQ_DESC RxReorderqDequeue(PMP_ADAPTER adapter, PREORDER_SESSION session, USHORT number, BOOLEAN exact)
{
    if (session == nullptr || session->QueueIndex >= RX_REORDERQ_COUNT) {
        return nullptr;
    }
    PDMAQ_QUEUE queue = &Store(adapter).RxReorderq[session->QueueIndex];
    if (!QueueExists(queue) || QuickCount(queue) == 0) {
        return nullptr;
    }
    PLIST_ENTRY found = nullptr;
    LockQueue(queue);
    if (!IsListEmpty(&queue->Head)) {
        if (number == 0xFFFF) {
            found = queue->Head.Flink;
        } else if (exact) {
            for (PLIST_ENTRY e = queue->Head.Flink; e != &queue->Head; e = e->Flink) {
                const USHORT queued = RxDmaqGetSeqNum(RxOf(e));
                if (queued == number) {
                    found = e;
                    break;
                }
                if (IsSeqNumBefore(number, queued)) {
                    break;
                }
            }
        } else if (!IsSeqNumBefore(number, RxDmaqGetSeqNum(RxOf(queue->Head.Flink)))) {
            found = queue->Head.Flink;
        }
    }
    if (found != nullptr) {
        Unlink(queue, found);
    }
    UnlockQueue(queue);
    return RxOf(found);
}

ULONG RxReorderqGetCount(PMP_ADAPTER adapter, PREORDER_SESSION session)
{
    if (session == nullptr || session->QueueIndex >= RX_REORDERQ_COUNT) {
        return 0;
    }
    return LockedCount(&Store(adapter).RxReorderq[session->QueueIndex]);
}

// ================================================================================================
// port buffer-list queues
// ================================================================================================
VOID PortNblFreeqEnqueue(PMP_PORT port, PPORT_NBL_QUEUE_ENTRY entry)
{
    const ULONG p = PortIndexOf(port);
    if (entry == nullptr || p >= PORT_NBL_QUEUE_COUNT || !QueueExists(&Store(port).PortNblFreeq[p])) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "port buffer-list free queue %u: no entry or no queue", static_cast<unsigned>(p));
        return;
    }
    Enqueue(&Store(port).PortNblFreeq[p], &entry->Links, FALSE);
}

PPORT_NBL_QUEUE_ENTRY PortNblFreeqDequeue(PMP_PORT port)
{
    const ULONG p = PortIndexOf(port);
    if (p >= PORT_NBL_QUEUE_COUNT) {
        return nullptr;
    }
    PLIST_ENTRY e = DequeueHead(&Store(port).PortNblFreeq[p]);
    return e != nullptr ? CONTAINING_RECORD(e, PORT_NBL_QUEUE_ENTRY, Links) : nullptr;
}

ULONG PortNblFreeqGetCount(PMP_PORT port)
{
    const ULONG p = PortIndexOf(port);
    return p < PORT_NBL_QUEUE_COUNT ? LockedCount(&Store(port).PortNblFreeq[p]) : 0;
}

VOID PortNblWaitqEnqueue(PMP_PORT port, PPORT_NBL_QUEUE_ENTRY entry, BOOLEAN atHead)
{
    const ULONG p = PortIndexOf(port);
    if (entry == nullptr || p >= PORT_NBL_QUEUE_COUNT || !QueueExists(&Store(port).PortNblWaitq[p])) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "port buffer-list wait queue %u: no entry or no queue", static_cast<unsigned>(p));
        return;
    }
    Enqueue(&Store(port).PortNblWaitq[p], &entry->Links, atHead);
}

PPORT_NBL_QUEUE_ENTRY PortNblWaitqDequeue(PMP_PORT port)
{
    const ULONG p = PortIndexOf(port);
    if (p >= PORT_NBL_QUEUE_COUNT) {
        return nullptr;
    }
    PLIST_ENTRY e = DequeueHead(&Store(port).PortNblWaitq[p]);
    return e != nullptr ? CONTAINING_RECORD(e, PORT_NBL_QUEUE_ENTRY, Links) : nullptr;
}

ULONG PortNblWaitqGetCount(PMP_PORT port)
{
    const ULONG p = PortIndexOf(port);
    return p < PORT_NBL_QUEUE_COUNT ? LockedCount(&Store(port).PortNblWaitq[p]) : 0;
}

NTSTATUS PortNblWaitqFlush(PMP_ADAPTER adapter, PMP_PORT port)
{
    while (PortNblWaitqGetCount(port) != 0) {
        PPORT_NBL_QUEUE_ENTRY entry = PortNblWaitqDequeue(port);
        if (entry == nullptr) {
            break;
        }
        N6PlatformIndicateXmitPktToNdis(adapter, static_cast<PNET_BUFFER_LIST>(entry->NblChain), 0, 0);
        entry->NblChain = nullptr;
        PortNblFreeqEnqueue(port, entry);
    }
    return STATUS_SUCCESS;
}

NTSTATUS PortNblFreeqDeInit(PMP_PORT port)
{
    for (PPORT_NBL_QUEUE_ENTRY entry = PortNblFreeqDequeue(port); entry != nullptr; entry = PortNblFreeqDequeue(port)) {
        PlatformFreeMemory(entry, sizeof(*entry));
    }
    return STATUS_SUCCESS;
}
