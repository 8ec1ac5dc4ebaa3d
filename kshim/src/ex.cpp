// Non-paged pool with per-tag accounting, and interlocked lists.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "internal.h"
#include "kshim/ex.h"
#include "kshim/host/control.h"
#include "pool_arena.h"

namespace {

struct TagCount {
    uint64_t allocations = 0;
    uint64_t frees = 0;
    uint64_t outstandingBytes = 0;
};

// Serialises the arena (pool_arena.h) and the tag counts.
std::mutex g_poolLock;
std::map<ULONG, TagCount>* g_tags = new std::map<ULONG, TagCount>();

}  // namespace

namespace kshim {

void* ZeroedAllocate(size_t size)
{
    std::lock_guard<std::mutex> guard(g_poolLock);
    return pool::Carve(size, 0, pool::Owner::StandIn);
}

void ZeroedFree(void* p)
{
    std::lock_guard<std::mutex> guard(g_poolLock);
    pool::BlockInfo ignored;
    if (!pool::Release(p, pool::Owner::StandIn, &ignored)) {
        KshimViolation("free of memory that is not the stand-in's zeroed block", nullptr);
    }
}

void TagText(ULONG tag, char out[5])
{
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
        out[i] = (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    out[4] = 0;
}

}  // namespace kshim

PVOID ExAllocatePool2(POOL_FLAGS flags, SIZE_T numberOfBytes, ULONG tag)
{
    if (KeGetCurrentIrql() > DISPATCH_LEVEL) {
        KshimViolation("pool allocation above DISPATCH_LEVEL", nullptr);
    }
    if (tag == 0) {
        KshimViolation("pool allocation without a tag", nullptr);
    }
    char text[5];
    kshim::TagText(tag, text);
    NTSTATUS ignored;
    if (kshim::FaultCheck("pool", text, &ignored)) {
        return nullptr;
    }
    // Always zero-filled; POOL_FLAG_UNINITIALIZED only allows garbage.
    std::lock_guard<std::mutex> guard(g_poolLock);
    void* p = kshim::pool::Carve(numberOfBytes, tag, kshim::pool::Owner::Pool);
    if (p == nullptr) {
        return nullptr;
    }
    TagCount& c = (*g_tags)[tag];
    ++c.allocations;
    c.outstandingBytes += numberOfBytes;
    return p;
}

static void FreeBlock(PVOID p, const ULONG* expectedTag)
{
    if (p == nullptr) {
        KshimViolation("free of a null pool block", nullptr);
        return;
    }
    if (KeGetCurrentIrql() > DISPATCH_LEVEL) {
        KshimViolation("pool free above DISPATCH_LEVEL", nullptr);
    }
    kshim::pool::BlockInfo block;
    {
        std::lock_guard<std::mutex> guard(g_poolLock);
        if (!kshim::pool::Release(p, kshim::pool::Owner::Pool, &block)) {
            KshimViolation("free of memory that is not a live pool block", nullptr);
            return;
        }
        TagCount& c = (*g_tags)[block.tag];
        ++c.frees;
        c.outstandingBytes -= block.size;
    }
    if (expectedTag != nullptr && *expectedTag != block.tag) {
        char a[5], b[5], detail[64];
        kshim::TagText(block.tag, a);
        kshim::TagText(*expectedTag, b);
        std::snprintf(detail, sizeof(detail), "allocated with %s, freed with %s", a, b);
        KshimViolation("pool block freed with another tag", detail);
    }
}

void ExFreePoolWithTag(PVOID p, ULONG tag) { FreeBlock(p, &tag); }

void ExFreePool(PVOID p) { FreeBlock(p, nullptr); }

PLIST_ENTRY ExInterlockedInsertTailList(PLIST_ENTRY head, PLIST_ENTRY entry, PKSPIN_LOCK lock)
{
    KIRQL old;
    KeAcquireSpinLock(lock, &old);
    PLIST_ENTRY first = IsListEmpty(head) ? nullptr : head->Flink;
    InsertTailList(head, entry);
    KeReleaseSpinLock(lock, old);
    return first;
}

PLIST_ENTRY ExInterlockedInsertHeadList(PLIST_ENTRY head, PLIST_ENTRY entry, PKSPIN_LOCK lock)
{
    KIRQL old;
    KeAcquireSpinLock(lock, &old);
    PLIST_ENTRY first = IsListEmpty(head) ? nullptr : head->Flink;
    InsertHeadList(head, entry);
    KeReleaseSpinLock(lock, old);
    return first;
}

PLIST_ENTRY ExInterlockedRemoveHeadList(PLIST_ENTRY head, PKSPIN_LOCK lock)
{
    KIRQL old;
    KeAcquireSpinLock(lock, &old);
    PLIST_ENTRY entry = IsListEmpty(head) ? nullptr : RemoveHeadList(head);
    KeReleaseSpinLock(lock, old);
    return entry;
}

namespace kshim::host {

std::vector<PoolTagCount> PoolCounts()
{
    std::lock_guard<std::mutex> guard(g_poolLock);
    std::vector<PoolTagCount> out;
    for (const auto& [tag, c] : *g_tags) {
        char text[5];
        kshim::TagText(tag, text);
        out.push_back(PoolTagCount{text, c.allocations, c.frees, c.outstandingBytes});
    }
    return out;
}

uint64_t PoolOutstandingBlocks()
{
    std::lock_guard<std::mutex> guard(g_poolLock);
    return kshim::pool::LiveBlocks();
}

uint64_t PoolOutstandingBlocksWithTag(const std::string& tag)
{
    struct Count {
        const std::string& tag;
        uint64_t n;
    } count{tag, 0};
    std::lock_guard<std::mutex> guard(g_poolLock);
    kshim::pool::ForEachLive(
        [](const kshim::pool::BlockInfo& b, void* context) {
            auto* c = static_cast<Count*>(context);
            char text[5];
            kshim::TagText(b.tag, text);
            c->n += c->tag == text ? 1 : 0;
        },
        &count);
    return count.n;
}

std::string PoolLeakReport()
{
    std::string out;
    std::lock_guard<std::mutex> guard(g_poolLock);
    kshim::pool::ForEachLive(
        [](const kshim::pool::BlockInfo& b, void* context) {
            auto* text = static_cast<std::string*>(context);
            char tag[5];
            kshim::TagText(b.tag, tag);
            *text += tag;
            *text += " ";
            *text += std::to_string(b.size);
            *text += "\n";
        },
        &out);
    return out;
}

}  // namespace kshim::host
