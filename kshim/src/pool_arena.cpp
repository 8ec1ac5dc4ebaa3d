// Pool blocks carved out of anonymous mappings (pool_arena.h).
//
// A block's footprint in its slab: its header, the rest of its poisoned gap (whose last eight bytes
// repeat the gap's width, so that the header is found from the block), then the block rounded up to
// 16 bytes. The next footprint follows at once; the slab's end is poisoned too.
#include "pool_arena.h"

#include <cstring>
#include <iterator>
#include <map>

#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#define KSHIM_POOL_ASAN 1
#elif defined(__SANITIZE_THREAD__)
#define KSHIM_POOL_TSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KSHIM_POOL_ASAN 1
#elif __has_feature(thread_sanitizer)
#define KSHIM_POOL_TSAN 1
#endif
#endif

#if defined(KSHIM_POOL_ASAN)
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
// Headers live in poisoned memory: only these functions touch them.
#define KSHIM_HEADER_ACCESS __attribute__((no_sanitize_address))
#else
#define KSHIM_HEADER_ACCESS
#endif

namespace kshim::pool {
namespace {

struct Slab {
    uint8_t* base = nullptr;
    size_t length = 0;
    size_t cursor = 0;     // the next footprint's offset
    size_t live = 0;       // blocks carved and not released
    bool retired = false;  // nothing more is carved from it
    bool quarantined = false;
    Slab* next = nullptr;  // the quarantine's order
};

struct Header {
    uint64_t check;  // the block's address ^ kLiveKey while live
    uint64_t size;
    uint32_t tag;
    uint32_t owner;
    uint64_t gap;  // header to block; also the last eight bytes of every gap
};
static_assert(sizeof(Header) == 32, "a header fills the smallest gap");

constexpr uint64_t kLiveKey = 0x5A56706F6F6C4C76ull;
constexpr size_t kPage = 4096;
constexpr size_t kSlabBytes = size_t{2} << 20;  // a huge page
constexpr size_t kOwnSlabAbove = kSlabBytes / 4;  // a larger block gets a mapping of its own
constexpr size_t kQuarantineBytes = size_t{32} << 20;
constexpr size_t kAlign = 16;
constexpr size_t kMinGap = sizeof(Header);
constexpr size_t kMaxGap = 2048;

std::map<uintptr_t, Slab*>* g_slabs = new std::map<uintptr_t, Slab*>();  // by base, quarantined too
Slab* g_current = nullptr;
Slab* g_quarantineHead = nullptr;  // oldest first
Slab* g_quarantineTail = nullptr;
size_t g_quarantinedBytes = 0;
size_t g_live = 0;
ArenaCounts g_counts;

size_t RoundUp(size_t v, size_t a) { return (v + a - 1) & ~(a - 1); }
size_t BodyBytes(size_t size) { return RoundUp(size == 0 ? 1 : size, kAlign); }

// The poisoned gap in front of a block: wider for larger blocks, as the sanitizer's own heap does.
size_t Gap(size_t size)
{
    size_t gap = kMinGap;
    while (gap < kMaxGap && gap * 8 < size) {
        gap *= 2;
    }
    return gap;
}

void Poison(const void* p, size_t n)
{
#if defined(KSHIM_POOL_ASAN)
    ASAN_POISON_MEMORY_REGION(p, n);
#else
    (void)p;
    (void)n;
#endif
}

void Unpoison(const void* p, size_t n)
{
#if defined(KSHIM_POOL_ASAN)
    ASAN_UNPOISON_MEMORY_REGION(p, n);
#else
    (void)p;
    (void)n;
#endif
}

KSHIM_HEADER_ACCESS void WriteHeader(uint8_t* footprint, uint8_t* block, size_t size, uint32_t tag, Owner owner,
                                     size_t gap)
{
    auto* h = reinterpret_cast<Header*>(footprint);
    h->check = reinterpret_cast<uintptr_t>(block) ^ kLiveKey;
    h->size = size;
    h->tag = tag;
    h->owner = static_cast<uint32_t>(owner);
    h->gap = gap;
    reinterpret_cast<uint64_t*>(block)[-1] = gap;
}

// The header of a live block of the owner, or null.
KSHIM_HEADER_ACCESS Header* LiveHeader(const Slab& slab, uint8_t* block, Owner owner)
{
    const uintptr_t at = reinterpret_cast<uintptr_t>(block);
    const uintptr_t base = reinterpret_cast<uintptr_t>(slab.base);
    if (at % kAlign != 0 || at < base + kMinGap || at >= base + slab.cursor) {
        return nullptr;
    }
    const uint64_t gap = reinterpret_cast<const uint64_t*>(block)[-1];
    if (gap < kMinGap || gap > kMaxGap || (gap & (gap - 1)) != 0 || at - gap < base) {
        return nullptr;
    }
    auto* h = reinterpret_cast<Header*>(block - gap);
    return h->check == (at ^ kLiveKey) && h->gap == gap && h->owner == static_cast<uint32_t>(owner) ? h : nullptr;
}

KSHIM_HEADER_ACCESS BlockInfo Retract(Header* h)
{
    h->check = 0;
    return BlockInfo{h->size, h->tag};
}

KSHIM_HEADER_ACCESS void WalkLive(const Slab& slab, void (*visit)(const BlockInfo&, void*), void* context)
{
    for (size_t o = 0; o < slab.cursor;) {
        const auto* h = reinterpret_cast<const Header*>(slab.base + o);
        const uintptr_t block = reinterpret_cast<uintptr_t>(slab.base + o + h->gap);
        if (h->check == (block ^ kLiveKey) && h->owner == static_cast<uint32_t>(Owner::Pool)) {
            visit(BlockInfo{h->size, h->tag}, context);
        }
        o += h->gap + BodyBytes(h->size);
    }
}

// Anonymous memory (zero until written, nothing spent on pages never touched). A shared slab is
// aligned to its size and asks for huge pages: the bring-up fills several of them with small records,
// and one fault per slab costs far less than one per page.
void* MapAnonymous(size_t length, bool slab)
{
    const int prot = PROT_READ | PROT_WRITE;
    const int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
    if (!slab) {
        void* p = mmap(nullptr, length, prot, flags, -1, 0);
        return p == MAP_FAILED ? nullptr : p;
    }
    void* raw = mmap(nullptr, 2 * length, prot, flags, -1, 0);
    if (raw == MAP_FAILED) {
        return nullptr;
    }
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = RoundUp(start, length);
    if (aligned > start) {
        munmap(raw, aligned - start);
    }
    if (aligned + length < start + 2 * length) {
        munmap(reinterpret_cast<void*>(aligned + length), start + length - aligned);
    }
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

Slab* MapSlab(size_t length)
{
    void* p = MapAnonymous(length, length == kSlabBytes);
    if (p == nullptr) {
        return nullptr;
    }
    auto* slab = new Slab();
    slab->base = static_cast<uint8_t*>(p);
    slab->length = length;
    Poison(slab->base, length);
#if defined(KSHIM_POOL_ASAN)
    // Live blocks hold pointers to the host's heap objects (framework handles and the like).
    __lsan_register_root_region(slab->base, length);
#endif
    (*g_slabs)[reinterpret_cast<uintptr_t>(p)] = slab;
    ++g_counts.slabs;
    g_counts.mappedBytes += length;
    return slab;
}

void UnmapSlab(Slab* slab)
{
    g_slabs->erase(reinterpret_cast<uintptr_t>(slab->base));
    // A later mapping at the same addresses must not inherit the poison.
    Unpoison(slab->base, slab->length);
    munmap(slab->base, slab->length);
    --g_counts.slabs;
    g_counts.mappedBytes -= slab->length;
    delete slab;
}

// A slab with nothing live left: its addresses stay poisoned for a while before they are given back,
// so that a late use of a freed block is still reported rather than landing in a new mapping.
void Quarantine(Slab* slab)
{
#if defined(KSHIM_POOL_ASAN)
    // Nothing in it is a root any more: stale pointers of freed blocks must not hide leaks.
    __lsan_unregister_root_region(slab->base, slab->length);
#endif
    slab->quarantined = true;
    slab->next = nullptr;
    if (g_quarantineTail != nullptr) {
        g_quarantineTail->next = slab;
    } else {
        g_quarantineHead = slab;
    }
    g_quarantineTail = slab;
    g_quarantinedBytes += slab->length;
    ++g_counts.quarantined;
    while (g_quarantinedBytes > kQuarantineBytes && g_quarantineHead != nullptr) {
        Slab* oldest = g_quarantineHead;
        g_quarantineHead = oldest->next;
        if (g_quarantineHead == nullptr) {
            g_quarantineTail = nullptr;
        }
        g_quarantinedBytes -= oldest->length;
        --g_counts.quarantined;
        UnmapSlab(oldest);
    }
}

Slab* SlabOf(const void* p)
{
    auto it = g_slabs->upper_bound(reinterpret_cast<uintptr_t>(p));
    if (it == g_slabs->begin()) {
        return nullptr;
    }
    Slab* slab = std::prev(it)->second;
    return static_cast<const uint8_t*>(p) < slab->base + slab->length ? slab : nullptr;
}

}  // namespace

void* Carve(size_t size, uint32_t tag, Owner owner)
{
    const size_t gap = Gap(size);
    const size_t footprint = gap + BodyBytes(size);
    Slab* slab;
    if (size > kOwnSlabAbove) {
        // A mapping of its own: the header and gap, the block, the poisoned rest of the last page.
        slab = MapSlab(RoundUp(footprint + kAlign, kPage));
        if (slab == nullptr) {
            return nullptr;
        }
        slab->retired = true;
    } else {
        // The slab's end stays a poisoned gap of at least kAlign bytes behind the last block.
        if (g_current == nullptr || g_current->cursor + footprint + kAlign > g_current->length) {
            Slab* fresh = MapSlab(kSlabBytes);
            if (fresh == nullptr) {
                return nullptr;
            }
            if (g_current != nullptr) {
                g_current->retired = true;
                if (g_current->live == 0) {
                    Quarantine(g_current);
                }
            }
            g_current = fresh;
        }
        slab = g_current;
    }
    uint8_t* footprintAt = slab->base + slab->cursor;
    uint8_t* block = footprintAt + gap;
    WriteHeader(footprintAt, block, size, tag, owner, gap);
    slab->cursor += footprint;
    ++slab->live;
    g_live += owner == Owner::Pool ? 1 : 0;
    Unpoison(block, size);
    return block;
}

bool Release(void* block, Owner owner, BlockInfo* info)
{
    Slab* slab = SlabOf(block);
    Header* h = slab != nullptr ? LiveHeader(*slab, static_cast<uint8_t*>(block), owner) : nullptr;
    if (h == nullptr) {
        return false;
    }
    *info = Retract(h);
#if defined(KSHIM_POOL_TSAN)
    // What the heap's free does for the race detector: a write of the whole block.
    std::memset(block, 0xDD, info->size);
#endif
    Poison(block, BodyBytes(info->size));
    g_live -= owner == Owner::Pool ? 1 : 0;
    if (--slab->live == 0 && slab->retired) {
        Quarantine(slab);
    }
    return true;
}

size_t LiveBlocks() { return g_live; }

void ForEachLive(void (*visit)(const BlockInfo& block, void* context), void* context)
{
    for (const auto& [base, slab] : *g_slabs) {
        if (!slab->quarantined && slab->live != 0) {
            WalkLive(*slab, visit, context);
        }
    }
}

ArenaCounts Counts() { return g_counts; }

}  // namespace kshim::pool
