// The NDIS subset.
#include <cstdio>
#include <new>
#include <thread>

#include "internal.h"
#include "kshim/host/control.h"
#include "kshim/ex.h"
#include "kshim/ndis.h"

void NdisInitializeEvent(PNDIS_EVENT event) { KeInitializeEvent(&event->Event, NotificationEvent, FALSE); }

void NdisSetEvent(PNDIS_EVENT event) { KeSetEvent(&event->Event, 0, FALSE); }

void NdisResetEvent(PNDIS_EVENT event) { KeResetEvent(&event->Event); }

BOOLEAN NdisWaitEvent(PNDIS_EVENT event, UINT32 msToWait)
{
    KshimMayBlock("NdisWaitEvent");
    LARGE_INTEGER timeout;
    timeout.QuadPart = -static_cast<LONGLONG>(msToWait) * 10000;
    PLARGE_INTEGER wait = msToWait == 0 ? nullptr : &timeout;
    if (KeGetCurrentIrql() > APC_LEVEL) {
        timeout.QuadPart = 0;  // reported above; only look at the state instead of blocking
        wait = &timeout;
    }
    NTSTATUS status = KeWaitForSingleObject(&event->Event, Executive, KernelMode, FALSE, wait);
    return static_cast<BOOLEAN>(status == STATUS_SUCCESS);
}

void NdisMSleep(ULONG microseconds)
{
    KshimMayBlock("NdisMSleep");
    kshim::ClockSleep(static_cast<int64_t>(microseconds) * 10);
}

namespace {
std::atomic<UINT32> g_ndisVersion{0x0006001E};
}

UINT32 NdisGetVersion() { return g_ndisVersion.load(); }

namespace kshim::host {
void SetNdisVersion(uint32_t version) { g_ndisVersion.store(version); }
}  // namespace kshim::host

void NdisInitializeReadWriteLock(PNDIS_RW_LOCK lock) { lock->State.store(0, std::memory_order_relaxed); }

void NdisAcquireReadWriteLock(PNDIS_RW_LOCK lock, BOOLEAN write, PLOCK_STATE lockState)
{
    KIRQL old = KeGetCurrentIrql();
    if (old > DISPATCH_LEVEL) {
        KshimViolation("reader-writer lock acquired above DISPATCH_LEVEL", nullptr);
    } else {
        KIRQL ignored;
        KeRaiseIrql(DISPATCH_LEVEL, &ignored);
    }
    unsigned spins = 0;
    for (;;) {
        LONG state = lock->State.load(std::memory_order_relaxed);
        if (write) {
            if (state == 0 && lock->State.compare_exchange_weak(state, -1, std::memory_order_acquire)) {
                break;
            }
        } else if (state >= 0 && lock->State.compare_exchange_weak(state, state + 1, std::memory_order_acquire)) {
            break;
        }
        if (++spins < 64) {
            __builtin_ia32_pause();
        } else {
            std::this_thread::yield();
        }
    }
    kshim::NoteSpinLock(+1);
    lockState->OldIrql = old;
    lockState->Write = write ? 1 : 0;
}

void NdisReleaseReadWriteLock(PNDIS_RW_LOCK lock, PLOCK_STATE lockState)
{
    if (lockState->Write) {
        if (lock->State.load() != -1) {
            KshimViolation("reader-writer lock released for writing while not held for writing", nullptr);
            return;
        }
        lock->State.store(0, std::memory_order_release);
    } else {
        if (lock->State.load() <= 0) {
            KshimViolation("reader-writer lock released for reading while not held for reading", nullptr);
            return;
        }
        lock->State.fetch_sub(1, std::memory_order_release);
    }
    kshim::NoteSpinLock(-1);
    KeLowerIrql(lockState->OldIrql);
}

// ================================================================================================
// memory descriptor lists
// ================================================================================================
namespace {
constexpr ULONG kMdlTag = KSHIM_TAG('M', 'd', 'l', ' ');
}

void MmBuildMdlForNonPagedPool(PMDL mdl)
{
    mdl->MappedSystemVa = static_cast<PUCHAR>(mdl->StartVa) + mdl->ByteOffset;
    mdl->MdlFlags = static_cast<SHORT>(mdl->MdlFlags | MDL_SOURCE_IS_NONPAGED_POOL | MDL_MAPPED_TO_SYSTEM_VA);
}

PVOID MmGetSystemAddressForMdlSafe(PMDL mdl, ULONG priority)
{
    if (mdl == nullptr) {
        return nullptr;
    }
    if ((mdl->MdlFlags & (MDL_MAPPED_TO_SYSTEM_VA | MDL_SOURCE_IS_NONPAGED_POOL)) == 0) {
        // Host memory is always addressable: mapping is recording the address.
        mdl->MappedSystemVa = static_cast<PUCHAR>(mdl->StartVa) + mdl->ByteOffset;
        mdl->MdlFlags = static_cast<SHORT>(mdl->MdlFlags | MDL_MAPPED_TO_SYSTEM_VA);
    }
    return mdl->MappedSystemVa;
}

PMDL IoAllocateMdl(PVOID virtualAddress, ULONG length, BOOLEAN secondaryBuffer, BOOLEAN chargeQuota,
                   struct _IRP* irp)
{
    if (irp != nullptr || secondaryBuffer) {
        return nullptr;  // MDL chains on requests are not provided by the stand-in
    }
    auto* mdl = static_cast<PMDL>(ExAllocatePool2(POOL_FLAG_NON_PAGED, sizeof(MDL), kMdlTag));
    if (mdl != nullptr) {
        MmInitializeMdl(mdl, virtualAddress, length);
    }
    return mdl;
}

void IoFreeMdl(PMDL mdl) { ExFreePoolWithTag(mdl, kMdlTag); }

PMDL NdisAllocateMdl(NDIS_HANDLE ndisHandle, PVOID virtualAddress, UINT length)
{
    PMDL mdl = IoAllocateMdl(virtualAddress, length, FALSE, FALSE, nullptr);
    if (mdl != nullptr) {
        MmBuildMdlForNonPagedPool(mdl);
    }
    return mdl;
}

void NdisFreeMdl(PMDL mdl) { IoFreeMdl(mdl); }

// ================================================================================================
// net buffer list and net buffer pools
// ================================================================================================
namespace {

constexpr ULONG kNblPoolMagic = 0x4E424C50;  // 'NBLP'
constexpr ULONG kNbPoolMagic = 0x4E424250;   // 'NBBP'

struct PacketPool {
    ULONG magic;
    ULONG tag;
    bool allocateNetBuffer;  // list pools only
    USHORT contextSize;      // list pools only
    std::atomic<LONG> outstanding;
};

// A list allocated with its own net buffer keeps both in one block.
struct ListBlock {
    NET_BUFFER_LIST list;
    NET_BUFFER buffer;
};

PacketPool* PoolFrom(NDIS_HANDLE handle, ULONG magic, const char* call)
{
    auto* pool = static_cast<PacketPool*>(handle);
    if (pool == nullptr || pool->magic != magic) {
        KshimViolation("NDIS packet pool call with a handle that is not a live pool of its kind", call);
        return nullptr;
    }
    return pool;
}

bool ValidHeader(const NDIS_OBJECT_HEADER& header, USHORT size)
{
    return header.Type == NDIS_OBJECT_TYPE_DEFAULT && header.Revision >= 1 && header.Size >= size;
}

PacketPool* NewPool(ULONG magic, ULONG tag)
{
    void* memory = ExAllocatePool2(POOL_FLAG_NON_PAGED, sizeof(PacketPool), tag);
    if (memory == nullptr) {
        return nullptr;
    }
    auto* pool = new (memory) PacketPool();
    pool->magic = magic;
    pool->tag = tag;
    pool->outstanding.store(0);
    return pool;
}

void FreePool(NDIS_HANDLE handle, ULONG magic, const char* call)
{
    PacketPool* pool = PoolFrom(handle, magic, call);
    if (pool == nullptr) {
        return;
    }
    if (pool->outstanding.load() != 0) {
        char detail[64];
        std::snprintf(detail, sizeof(detail), "%s: %d records still out", call, static_cast<int>(pool->outstanding.load()));
        KshimViolation("NDIS packet pool freed while records are still out", detail);
        return;  // kept, so the records out stay valid and can still be freed
    }
    ULONG tag = pool->tag;
    pool->magic = 0;
    pool->~PacketPool();
    ExFreePoolWithTag(pool, tag);
}

void SetUpNetBuffer(PNET_BUFFER nb, PacketPool* pool, PMDL mdlChain, ULONG dataOffset, SIZE_T dataLength)
{
    nb->NdisPoolHandle = pool;
    nb->MdlChain = mdlChain;
    nb->CurrentMdl = mdlChain;
    nb->DataOffset = dataOffset;
    nb->DataLength = static_cast<ULONG>(dataLength);
    // The current MDL is the one the data offset falls in.
    ULONG offset = dataOffset;
    while (nb->CurrentMdl != nullptr && nb->CurrentMdl->Next != nullptr && offset >= nb->CurrentMdl->ByteCount) {
        offset -= nb->CurrentMdl->ByteCount;
        nb->CurrentMdl = nb->CurrentMdl->Next;
    }
    nb->CurrentMdlOffset = offset;
}

PNET_BUFFER_LIST AllocateList(NDIS_HANDLE poolHandle, USHORT contextSize, USHORT contextBackFill, bool withBuffer,
                              PMDL mdlChain, ULONG dataOffset, SIZE_T dataLength, const char* call)
{
    if (KeGetCurrentIrql() > DISPATCH_LEVEL) {
        KshimViolation("net buffer list allocated above DISPATCH_LEVEL", call);
    }
    PacketPool* pool = PoolFrom(poolHandle, kNblPoolMagic, call);
    if (pool == nullptr) {
        return nullptr;
    }
    if (withBuffer && !pool->allocateNetBuffer) {
        KshimViolation("net buffer and list asked of a pool created without net buffers", call);
        return nullptr;
    }
    if (dataLength > 0xFFFFFFFFu) {
        return nullptr;
    }
    auto* block = static_cast<ListBlock*>(ExAllocatePool2(POOL_FLAG_NON_PAGED, sizeof(ListBlock), pool->tag));
    if (block == nullptr) {
        return nullptr;
    }
    PNET_BUFFER_LIST list = &block->list;
    list->NdisPoolHandle = pool;
    // Context: the size asked plus its back-fill room in front, else the pool's preallocated size.
    size_t size = contextSize != 0 ? static_cast<size_t>(contextSize) + contextBackFill : pool->contextSize;
    size_t offset = contextSize != 0 ? contextBackFill : 0;
    if (size > 0xFFFF) {
        ExFreePoolWithTag(block, pool->tag);
        return nullptr;
    }
    if (size != 0) {
        auto* context = static_cast<PNET_BUFFER_LIST_CONTEXT>(
            ExAllocatePool2(POOL_FLAG_NON_PAGED, offsetof(NET_BUFFER_LIST_CONTEXT, ContextData) + size, pool->tag));
        if (context == nullptr) {
            ExFreePoolWithTag(block, pool->tag);
            return nullptr;
        }
        context->Size = static_cast<USHORT>(size);
        context->Offset = static_cast<USHORT>(offset);
        list->Context = context;
    }
    if (withBuffer) {
        SetUpNetBuffer(&block->buffer, pool, mdlChain, dataOffset, dataLength);
        list->FirstNetBuffer = &block->buffer;
    }
    pool->outstanding.fetch_add(1);
    return list;
}

}  // namespace

NDIS_HANDLE NdisAllocateNetBufferListPool(NDIS_HANDLE ndisHandle, PNET_BUFFER_LIST_POOL_PARAMETERS parameters)
{
    if (parameters == nullptr ||
        !ValidHeader(parameters->Header, NDIS_SIZEOF_NET_BUFFER_LIST_POOL_PARAMETERS_REVISION_1) ||
        parameters->DataSize != 0 || parameters->PoolTag == 0) {
        return nullptr;
    }
    PacketPool* pool = NewPool(kNblPoolMagic, parameters->PoolTag);
    if (pool != nullptr) {
        pool->allocateNetBuffer = parameters->fAllocateNetBuffer != 0;
        pool->contextSize = parameters->ContextSize;
    }
    return pool;
}

void NdisFreeNetBufferListPool(NDIS_HANDLE poolHandle)
{
    FreePool(poolHandle, kNblPoolMagic, "NdisFreeNetBufferListPool");
}

NDIS_HANDLE NdisAllocateNetBufferPool(NDIS_HANDLE ndisHandle, PNET_BUFFER_POOL_PARAMETERS parameters)
{
    if (parameters == nullptr || !ValidHeader(parameters->Header, NDIS_SIZEOF_NET_BUFFER_POOL_PARAMETERS_REVISION_1) ||
        parameters->DataSize != 0 || parameters->PoolTag == 0) {
        return nullptr;
    }
    return NewPool(kNbPoolMagic, parameters->PoolTag);
}

void NdisFreeNetBufferPool(NDIS_HANDLE poolHandle) { FreePool(poolHandle, kNbPoolMagic, "NdisFreeNetBufferPool"); }

PNET_BUFFER_LIST NdisAllocateNetBufferList(NDIS_HANDLE poolHandle, USHORT contextSize, USHORT contextBackFill)
{
    return AllocateList(poolHandle, contextSize, contextBackFill, false, nullptr, 0, 0, "NdisAllocateNetBufferList");
}

PNET_BUFFER_LIST NdisAllocateNetBufferAndNetBufferList(NDIS_HANDLE poolHandle, USHORT contextSize,
                                                       USHORT contextBackFill, PMDL mdlChain, ULONG dataOffset,
                                                       SIZE_T dataLength)
{
    return AllocateList(poolHandle, contextSize, contextBackFill, true, mdlChain, dataOffset, dataLength,
                        "NdisAllocateNetBufferAndNetBufferList");
}

void NdisFreeNetBufferList(PNET_BUFFER_LIST netBufferList)
{
    if (netBufferList == nullptr) {
        KshimViolation("NdisFreeNetBufferList of a null list", nullptr);
        return;
    }
    PacketPool* pool = PoolFrom(netBufferList->NdisPoolHandle, kNblPoolMagic, "NdisFreeNetBufferList");
    if (pool == nullptr) {
        return;
    }
    if (netBufferList->Context != nullptr) {
        ExFreePoolWithTag(netBufferList->Context, pool->tag);
    }
    netBufferList->NdisPoolHandle = nullptr;
    pool->outstanding.fetch_sub(1);
    ExFreePoolWithTag(CONTAINING_RECORD(netBufferList, ListBlock, list), pool->tag);
}

PNET_BUFFER NdisAllocateNetBuffer(NDIS_HANDLE poolHandle, PMDL mdlChain, ULONG dataOffset, SIZE_T dataLength)
{
    if (KeGetCurrentIrql() > DISPATCH_LEVEL) {
        KshimViolation("net buffer allocated above DISPATCH_LEVEL", nullptr);
    }
    PacketPool* pool = PoolFrom(poolHandle, kNbPoolMagic, "NdisAllocateNetBuffer");
    if (pool == nullptr || dataLength > 0xFFFFFFFFu) {
        return nullptr;
    }
    auto* nb = static_cast<PNET_BUFFER>(ExAllocatePool2(POOL_FLAG_NON_PAGED, sizeof(NET_BUFFER), pool->tag));
    if (nb == nullptr) {
        return nullptr;
    }
    SetUpNetBuffer(nb, pool, mdlChain, dataOffset, dataLength);
    pool->outstanding.fetch_add(1);
    return nb;
}

void NdisFreeNetBuffer(PNET_BUFFER netBuffer)
{
    if (netBuffer == nullptr) {
        KshimViolation("NdisFreeNetBuffer of a null net buffer", nullptr);
        return;
    }
    PacketPool* pool = PoolFrom(netBuffer->NdisPoolHandle, kNbPoolMagic, "NdisFreeNetBuffer");
    if (pool == nullptr) {
        return;
    }
    netBuffer->NdisPoolHandle = nullptr;
    pool->outstanding.fetch_sub(1);
    ExFreePoolWithTag(netBuffer, pool->tag);
}
