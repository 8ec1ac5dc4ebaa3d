// The tagged allocator and the memory and lock wrappers.
#include "platform/ndiscommon/memory.h"

#include "platform/ndiscommon/trace.h"

ULONG g_AllocationCount;
ULONG g_FreeCount;

namespace {

constexpr CHAR kMagic[4] = {'3', '4', '0', '5'};
constexpr int kAttempts = 6;

void FillHeader(PALLOCATION_HEADER header, ULONG size, PCSTR sourcePath, ULONG line)
{
    std::memset(header, 0, sizeof(*header));
    std::memcpy(header->Magic, kMagic, sizeof(kMagic));
    if (sourcePath != nullptr) {
        SIZE_T length = std::strlen(sourcePath);
        PCSTR tail = length >= sizeof(header->FileTail) ? sourcePath + length - sizeof(header->FileTail) : sourcePath;
        SIZE_T copy = length < sizeof(header->FileTail) ? length : sizeof(header->FileTail);
        std::memcpy(header->FileTail, tail, copy);
    }
    header->Line = line;
    header->ThreadId = reinterpret_cast<ULONG_PTR>(PsGetCurrentThreadId());
    header->TotalSize = size + static_cast<ULONG>(ALLOCATION_OVERHEAD);
}

}  // namespace

NTSTATUS AllocationMemoryWithMetaData(struct _MP_ADAPTER* adapter, PVOID* block, ULONG size, ULONG tag,
                                      PCSTR sourcePath, ULONG line)
{
    UNREFERENCED_PARAMETER(adapter);
    if (block != nullptr) {
        *block = nullptr;
    }
    if (block == nullptr || size == 0) {
        return STATUS_INVALID_PARAMETER;
    }
    // The header records the total in 32 bits: a size whose total would not fit is refused.
    if (size > 0xFFFFFFFFu - ALLOCATION_OVERHEAD) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "AllocationMemoryWithMetaData: size %u too large",
                 static_cast<unsigned>(size));
        return STATUS_INVALID_PARAMETER;
    }
    SIZE_T total = static_cast<SIZE_T>(size) + ALLOCATION_OVERHEAD;
    PUCHAR raw = nullptr;
    for (int attempt = 0; attempt < kAttempts && raw == nullptr; ++attempt) {
        raw = static_cast<PUCHAR>(ExAllocatePool2(POOL_FLAG_NON_PAGED, total, tag));
    }
    if (raw == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "AllocationMemoryWithMetaData: pool refused %u bytes",
                 static_cast<unsigned>(total));
        return STATUS_UNSUCCESSFUL;
    }
    FillHeader(reinterpret_cast<PALLOCATION_HEADER>(raw), size, sourcePath, line);
    PUCHAR trailer = raw + sizeof(ALLOCATION_HEADER) + size;
    std::memcpy(trailer, kMagic, sizeof(kMagic));
    trailer[4] = 0;
    __atomic_fetch_add(&g_AllocationCount, 1u, __ATOMIC_RELAXED);  // diagnostic only: no ordering
    *block = raw + sizeof(ALLOCATION_HEADER);
    return STATUS_SUCCESS;
}

void PlatformFreeMemory(PVOID block, ULONG size)
{
    UNREFERENCED_PARAMETER(size);
    if (block == nullptr) {
        return;
    }
    ExFreePool(static_cast<PUCHAR>(block) - sizeof(ALLOCATION_HEADER));
    __atomic_fetch_add(&g_FreeCount, 1u, __ATOMIC_RELAXED);
}

NTSTATUS PlatformReallocateMemory(struct _MP_ADAPTER* adapter, PVOID* block, ULONG oldSize, ULONG newSize,
                                  BOOLEAN copy, BOOLEAN zero, ULONG tag)
{
    if (block == nullptr || (oldSize != 0 && *block == nullptr)) {
        return STATUS_UNSUCCESSFUL;
    }
    PVOID fresh = nullptr;
    if (AllocationMemoryWithMetaData(adapter, &fresh, newSize, tag, __FILE__, __LINE__) != STATUS_SUCCESS) {
        return STATUS_UNSUCCESSFUL;
    }
    if (zero && newSize != 0) {
        std::memset(fresh, 0, newSize);
    }
    if (copy && *block != nullptr && oldSize != 0) {
        // A smaller block keeps what fits of the old contents.
        std::memcpy(fresh, *block, oldSize < newSize ? oldSize : newSize);
    }
    if (*block != nullptr) {
        PlatformFreeMemory(*block, oldSize);
    }
    *block = fresh;
    return STATUS_SUCCESS;
}

void PlatformMoveMemory(PVOID destination, const void* source, ULONG length)
{
    if (destination == nullptr || source == nullptr || length == 0) {
        return;
    }
    std::memmove(destination, source, length);
}

void PlatformZeroMemory(PVOID buffer, ULONG length)
{
    if (buffer == nullptr || length == 0) {
        return;
    }
    std::memset(buffer, 0, length);
}

void PlatformFillMemory(PVOID buffer, ULONG length, UCHAR value)
{
    if (buffer == nullptr) {
        return;
    }
    std::memset(buffer, value, length);
}

BOOLEAN PlatformEqualMemory(const void* a, const void* b, ULONG length)
{
    return static_cast<BOOLEAN>(length == 0 || std::memcmp(a, b, length) == 0);
}

ULONG CompareMemoryBytes(const void* a, const void* b, ULONG length)
{
    const UCHAR* pa = static_cast<const UCHAR*>(a);
    const UCHAR* pb = static_cast<const UCHAR*>(b);
    for (ULONG i = 0; i < length; ++i) {
        if (pa[i] != pb[i]) {
            return pa[i] < pb[i] ? 2 : 1;
        }
    }
    return 0;
}

void PlatformAllocateSpinLock(PKSPIN_LOCK lock) { KeInitializeSpinLock(lock); }

void PlatformFreeSpinLock(PKSPIN_LOCK lock) { UNREFERENCED_PARAMETER(lock); }

void PlatformAcquireRWLockForRead(PNDIS_RW_LOCK lock, PPLATFORM_RW_LOCK_STATE state)
{
    NdisAcquireReadWriteLock(lock, FALSE, &state->LockState);
    state->ReadHold = 1;
}

void PlatformAcquireRWLockForWrite(PNDIS_RW_LOCK lock, PPLATFORM_RW_LOCK_STATE state)
{
    NdisAcquireReadWriteLock(lock, TRUE, &state->LockState);
    state->ReadHold = 0;
}

void PlatformReleaseRWLock(PNDIS_RW_LOCK lock, PPLATFORM_RW_LOCK_STATE state)
{
    NdisReleaseReadWriteLock(lock, &state->LockState);
}
