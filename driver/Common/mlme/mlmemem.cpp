// MLME frame buffers, the management header and frame builders, and the pseudo-random bytes.
#include "Common/mlme/mlmemem.h"

#include <cstdarg>

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kLfsrFeedback = 0xC000002Bu;

PMLME_BUFFER_POOL PoolOf(PMP_ADAPTER adapter) { return &adapter->Mlme.BufferPool; }

// A new block with its magic, not on any list.
NTSTATUS CreateBlock(PMP_ADAPTER adapter, PMLME_BUFFER_BLOCK* block)
{
    *block = nullptr;
    NTSTATUS status = PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(block), sizeof(MLME_BUFFER_BLOCK),
                                             TAG_ZV05);
    if (status != STATUS_SUCCESS) {
        *block = nullptr;
        return NT_SUCCESS(status) ? STATUS_UNSUCCESSFUL : status;
    }
    (*block)->Magic = MLME_BUFFER_MAGIC;
    (*block)->OwnerTag = 0;
    (*block)->InUse = 0;
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS MlmeInitMemoryHandler(PMP_ADAPTER adapter, ULONG blockCount, ULONG bufferSize)
{
    UNREFERENCED_PARAMETER(bufferSize);
    PMLME_BUFFER_POOL pool = PoolOf(adapter);
    InitializeListHead(&pool->FreeList);
    InitializeListHead(&pool->UsedList);
    PlatformAllocateSpinLock(&pool->Lock);
    pool->BlocksCreated = 0;
    pool->FreeCount = 0;
    pool->UsedCount = 0;
    NTSTATUS status = STATUS_SUCCESS;
    for (ULONG i = 0; i < blockCount; ++i) {
        PMLME_BUFFER_BLOCK block = nullptr;
        status = CreateBlock(adapter, &block);
        if (status != STATUS_SUCCESS) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME buffer %u of %u not made: 0x%08X", static_cast<unsigned>(i),
                     static_cast<unsigned>(blockCount), static_cast<unsigned>(status));
            break;
        }
        InsertTailList(&pool->FreeList, &block->Link);
        ++pool->BlocksCreated;
        ++pool->FreeCount;
    }
    pool->Ready = 1;
    return status;
}

NTSTATUS MlmeAllocateMemoryEx(PMP_ADAPTER adapter, ULONG ownerTag, PUCHAR* buffer)
{
    PMLME_BUFFER_POOL pool = PoolOf(adapter);
    *buffer = nullptr;
    if (!pool->Ready) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME buffer for 0x%08X: pool not ready", static_cast<unsigned>(ownerTag));
        return STATUS_UNSUCCESSFUL;
    }
    PMLME_BUFFER_BLOCK block = nullptr;
    KIRQL oldIrql;
    KeAcquireSpinLock(&pool->Lock, &oldIrql);
    if (!IsListEmpty(&pool->FreeList)) {
        block = CONTAINING_RECORD(RemoveHeadList(&pool->FreeList), MLME_BUFFER_BLOCK, Link);
        --pool->FreeCount;
    } else {
        NTSTATUS status = CreateBlock(adapter, &block);
        if (status != STATUS_SUCCESS) {
            KeReleaseSpinLock(&pool->Lock, oldIrql);
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME pool could not grow: 0x%08X", static_cast<unsigned>(status));
            return status;
        }
        ++pool->BlocksCreated;
    }
    block->InUse = 1;
    InsertTailList(&pool->UsedList, &block->Link);
    ++pool->UsedCount;
    KeReleaseSpinLock(&pool->Lock, oldIrql);
    block->OwnerTag = ownerTag;
    *buffer = block->Buffer;
    return STATUS_SUCCESS;
}

void MlmeFreeMemory(PMP_ADAPTER adapter, PVOID buffer)
{
    PMLME_BUFFER_POOL pool = PoolOf(adapter);
    if (buffer == nullptr || !pool->Ready) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MLME buffer free ignored: %s",
                 buffer == nullptr ? "no buffer" : "pool not ready");
        return;
    }
    PMLME_BUFFER_BLOCK block = CONTAINING_RECORD(buffer, MLME_BUFFER_BLOCK, Buffer);
    KIRQL oldIrql;
    KeAcquireSpinLock(&pool->Lock, &oldIrql);
    if (block->Magic != MLME_BUFFER_MAGIC) {
        KeReleaseSpinLock(&pool->Lock, oldIrql);
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME buffer free ignored: magic 0x%08X",
                 static_cast<unsigned>(block->Magic));
        return;
    }
    // A buffer returned twice would be linked twice and drive the used count below zero.
    if (!block->InUse) {
        KeReleaseSpinLock(&pool->Lock, oldIrql);
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME buffer free ignored: already free");
        return;
    }
    RemoveEntryList(&block->Link);
    block->InUse = 0;
    block->OwnerTag = 0;
    InsertTailList(&pool->FreeList, &block->Link);
    ++pool->FreeCount;
    --pool->UsedCount;
    KeReleaseSpinLock(&pool->Lock, oldIrql);
}

void MlmeFreeMemoryHandler(PMP_ADAPTER adapter)
{
    PMLME_BUFFER_POOL pool = PoolOf(adapter);
    if (pool->FreeList.Flink == nullptr) {
        return;  // never created
    }
    pool->Ready = 0;
    ULONG freed = 0;
    KIRQL oldIrql;
    KeAcquireSpinLock(&pool->Lock, &oldIrql);
    while (!IsListEmpty(&pool->UsedList)) {
        PMLME_BUFFER_BLOCK block = CONTAINING_RECORD(RemoveHeadList(&pool->UsedList), MLME_BUFFER_BLOCK, Link);
        if (block->Magic == MLME_BUFFER_MAGIC) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MLME buffer of 0x%08X still in use at halt",
                     static_cast<unsigned>(block->OwnerTag));
        } else {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME buffer with magic 0x%08X in use at halt",
                     static_cast<unsigned>(block->Magic));
        }
        block->InUse = 0;
        block->OwnerTag = 0;
        InsertTailList(&pool->FreeList, &block->Link);
        ++pool->FreeCount;
        --pool->UsedCount;
    }
    while (!IsListEmpty(&pool->FreeList)) {
        PMLME_BUFFER_BLOCK block = CONTAINING_RECORD(RemoveHeadList(&pool->FreeList), MLME_BUFFER_BLOCK, Link);
        --pool->FreeCount;
        if (block->Magic == MLME_BUFFER_MAGIC) {
            PlatformFreeMemory(block, sizeof(MLME_BUFFER_BLOCK));
            ++freed;
        }
    }
    KeReleaseSpinLock(&pool->Lock, oldIrql);
    if (freed != pool->BlocksCreated) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MLME buffers freed %u, created %u", static_cast<unsigned>(freed),
                 static_cast<unsigned>(pool->BlocksCreated));
    }
    pool->BlocksCreated = 0;
    PlatformFreeSpinLock(&pool->Lock);
}

VOID BuildMgmtMacHeader(PMP_ADAPTER adapter, PMP_PORT port, PHEADER_802_11 header, ULONG subtype, ULONG toDs,
                        const UCHAR* addr1, const UCHAR* addr3)
{
    UNREFERENCED_PARAMETER(adapter);
    PlatformZeroMemory(header, sizeof(*header));
    header->FrameControl = static_cast<USHORT>(((subtype & 0xF) << 4) | ((toDs & 1) << 8));
    PlatformMoveMemory(header->Addr1, addr1, sizeof(header->Addr1));
    PlatformMoveMemory(header->Addr2, port->MacAddress, sizeof(header->Addr2));
    PlatformMoveMemory(header->Addr3, addr3, sizeof(header->Addr3));
}

ULONG BuildFrameFromParts(PUCHAR buffer, PULONG frameLen, ...)
{
    // First pass: the total, so that a frame that would not fit is refused before anything is copied.
    ULONG64 total = 0;
    va_list args;
    va_start(args, frameLen);
    for (ULONG length = va_arg(args, ULONG); length != END_OF_ARGS; length = va_arg(args, ULONG)) {
        (void)va_arg(args, const void*);
        total += length;
    }
    va_end(args);
    if (total > MLME_BUFFER_SIZE) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "frame of %llu bytes refused", static_cast<unsigned long long>(total));
        *frameLen = 0;
        return 0;
    }
    ULONG offset = 0;
    va_start(args, frameLen);
    for (ULONG length = va_arg(args, ULONG); length != END_OF_ARGS; length = va_arg(args, ULONG)) {
        const void* piece = va_arg(args, const void*);
        PlatformMoveMemory(buffer + offset, piece, length);
        offset += length;
    }
    va_end(args);
    *frameLen = offset;
    return offset;
}

VOID LfsrSeedSet(PMP_ADAPTER adapter, ULONG seed) { adapter->RandomSeed = seed != 0 ? seed : 1; }

UCHAR RandomOctetGet(PMP_ADAPTER adapter)
{
    if (adapter->RandomSeed == 0) {
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        adapter->RandomSeed = static_cast<ULONG>(now.QuadPart);
        if (adapter->RandomSeed == 0) {
            adapter->RandomSeed = 1;  // a zero state would stay zero
        }
    }
    UCHAR result = 0;
    for (int step = 0; step < 8; ++step) {
        ULONG state = adapter->RandomSeed;
        ULONG bit = state & 1u;
        state >>= 1;
        if (bit != 0) {
            state ^= kLfsrFeedback;
        }
        adapter->RandomSeed = state;
        result = static_cast<UCHAR>((result << 1) | bit);
    }
    return result;
}

// ================================================================================================
// walking 802.11 elements
// ================================================================================================
VOID Dot11IeCursorInit(DOT11_IE_CURSOR* cursor, const UCHAR* bytes, ULONG length)
{
    cursor->Bytes = bytes;
    cursor->Length = bytes != nullptr ? length : 0;
    cursor->Offset = 0;
    cursor->Trailing = FALSE;
}

BOOLEAN Dot11IeNext(DOT11_IE_CURSOR* cursor, const UCHAR** element, PUCHAR bodyLength)
{
    if (cursor->Trailing || cursor->Offset >= cursor->Length) {
        return FALSE;
    }
    const ULONG left = cursor->Length - cursor->Offset;
    const UCHAR* p = cursor->Bytes + cursor->Offset;
    if (left < 2 || static_cast<ULONG>(p[1]) > left - 2) {
        cursor->Trailing = TRUE;
        return FALSE;
    }
    *element = p;
    *bodyLength = p[1];
    cursor->Offset += 2u + p[1];
    return TRUE;
}
