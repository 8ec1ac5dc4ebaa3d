// Non-paged pool with per-tag accounting, and interlocked lists.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

#include "internal.h"
#include "kshim/ex.h"
#include "kshim/host/control.h"

namespace {

struct Block {
    SIZE_T size;
    ULONG tag;
};

struct TagCount {
    uint64_t allocations = 0;
    uint64_t frees = 0;
    uint64_t outstandingBytes = 0;
};

std::mutex g_poolLock;
std::unordered_map<void*, Block>* g_blocks = new std::unordered_map<void*, Block>();
std::map<ULONG, TagCount>* g_tags = new std::map<ULONG, TagCount>();

}  // namespace

namespace kshim {

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
    void* p = std::calloc(1, numberOfBytes == 0 ? 1 : numberOfBytes);
    if (p == nullptr) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(g_poolLock);
    (*g_blocks)[p] = Block{numberOfBytes, tag};
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
    Block block;
    {
        std::lock_guard<std::mutex> guard(g_poolLock);
        auto it = g_blocks->find(p);
        if (it == g_blocks->end()) {
            KshimViolation("free of memory that is not a live pool block", nullptr);
            return;
        }
        block = it->second;
        g_blocks->erase(it);
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
    std::free(p);
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
    return g_blocks->size();
}

uint64_t PoolOutstandingBlocksWithTag(const std::string& tag)
{
    std::lock_guard<std::mutex> guard(g_poolLock);
    uint64_t n = 0;
    for (const auto& [p, b] : *g_blocks) {
        char text[5];
        kshim::TagText(b.tag, text);
        n += tag == text ? 1 : 0;
    }
    return n;
}

std::string PoolLeakReport()
{
    std::lock_guard<std::mutex> guard(g_poolLock);
    std::string out;
    for (const auto& [p, b] : *g_blocks) {
        char text[5];
        kshim::TagText(b.tag, text);
        out += text;
        out += " ";
        out += std::to_string(b.size);
        out += "\n";
    }
    return out;
}

}  // namespace kshim::host
