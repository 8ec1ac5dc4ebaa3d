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

// Under ThreadSanitizer blocks come from the host's heap, whose frees it watches for races with the
// last use of a block; elsewhere from the arena (pool_arena.h).
#if defined(__SANITIZE_THREAD__)
#define KSHIM_POOL_HEAP 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KSHIM_POOL_HEAP 1
#endif
#endif

namespace {

struct Block {
    SIZE_T size;
    ULONG tag;
    kshim::pool::Slab* slab;
};

struct TagCount {
    uint64_t allocations = 0;
    uint64_t frees = 0;
    uint64_t outstandingBytes = 0;
};

// The live blocks by address: an open-addressed table (linear probing, deletion by moving later
// entries back), so that keeping account of a block costs no allocation of its own. A bring-up makes
// tens of thousands of small blocks; a node per block doubled the allocator's work.
class BlockTable {
public:
    struct Entry {
        void* key = nullptr;
        Block block{};
    };

    size_t size() const { return count_; }

    void Insert(void* key, Block block)
    {
        if ((count_ + 1) * 2 > slots_.size()) {
            Grow();
        }
        size_t i = Home(key);
        while (slots_[i].key != nullptr && slots_[i].key != key) {
            i = (i + 1) & (slots_.size() - 1);
        }
        if (slots_[i].key == nullptr) {
            ++count_;
        }
        slots_[i] = Entry{key, block};
    }

    // Takes the entry of `key` out; false when there is none.
    bool Remove(void* key, Block* block)
    {
        if (slots_.empty()) {
            return false;
        }
        const size_t mask = slots_.size() - 1;
        size_t i = Home(key);
        while (slots_[i].key != key) {
            if (slots_[i].key == nullptr) {
                return false;
            }
            i = (i + 1) & mask;
        }
        *block = slots_[i].block;
        // Moves back each later entry of the run that its home allows into the gap.
        size_t gap = i;
        for (size_t j = (i + 1) & mask; slots_[j].key != nullptr; j = (j + 1) & mask) {
            const size_t home = Home(slots_[j].key);
            const bool movable = gap <= j ? (home <= gap || home > j) : (home <= gap && home > j);
            if (movable) {
                slots_[gap] = slots_[j];
                gap = j;
            }
        }
        slots_[gap] = Entry{};
        --count_;
        return true;
    }

    template <class F>
    void ForEach(F f) const
    {
        for (const Entry& e : slots_) {
            if (e.key != nullptr) {
                f(e.key, e.block);
            }
        }
    }

private:
    size_t Home(void* key) const
    {
        uint64_t h = reinterpret_cast<uintptr_t>(key) * 0x9E3779B97F4A7C15ull;
        return static_cast<size_t>(h >> 20) & (slots_.size() - 1);
    }

    void Grow()
    {
        std::vector<Entry> old;
        old.swap(slots_);
        slots_.assign(old.empty() ? 1024 : old.size() * 2, Entry{});
        count_ = 0;
        for (const Entry& e : old) {
            if (e.key != nullptr) {
                Insert(e.key, e.block);
            }
        }
    }

    std::vector<Entry> slots_;  // a power of two in size, at most half full
    size_t count_ = 0;
};

std::mutex g_poolLock;
BlockTable* g_blocks = new BlockTable();
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
    std::lock_guard<std::mutex> guard(g_poolLock);
    kshim::pool::Slab* slab = nullptr;
#if defined(KSHIM_POOL_HEAP)
    void* p = std::calloc(1, numberOfBytes == 0 ? 1 : numberOfBytes);
#else
    void* p = kshim::pool::Carve(numberOfBytes, &slab);
#endif
    if (p == nullptr) {
        return nullptr;
    }
    g_blocks->Insert(p, Block{numberOfBytes, tag, slab});
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
        if (!g_blocks->Remove(p, &block)) {
            KshimViolation("free of memory that is not a live pool block", nullptr);
            return;
        }
        TagCount& c = (*g_tags)[block.tag];
        ++c.frees;
        c.outstandingBytes -= block.size;
#if defined(KSHIM_POOL_HEAP)
        std::free(p);
#else
        kshim::pool::Release(p, block.size, block.slab);
#endif
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
    return g_blocks->size();
}

uint64_t PoolOutstandingBlocksWithTag(const std::string& tag)
{
    std::lock_guard<std::mutex> guard(g_poolLock);
    uint64_t n = 0;
    g_blocks->ForEach([&](void*, const Block& b) {
        char text[5];
        kshim::TagText(b.tag, text);
        n += tag == text ? 1 : 0;
    });
    return n;
}

std::string PoolLeakReport()
{
    std::lock_guard<std::mutex> guard(g_poolLock);
    std::string out;
    g_blocks->ForEach([&](void*, const Block& b) {
        char text[5];
        kshim::TagText(b.tag, text);
        out += text;
        out += " ";
        out += std::to_string(b.size);
        out += "\n";
    });
    return out;
}

}  // namespace kshim::host
