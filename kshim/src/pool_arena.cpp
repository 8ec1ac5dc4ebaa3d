// Pool blocks carved out of anonymous mappings (pool_arena.h).
#include "pool_arena.h"

#include <cstdint>

#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#define KSHIM_POOL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KSHIM_POOL_ASAN 1
#endif
#endif

#if defined(KSHIM_POOL_ASAN)
#include <sanitizer/asan_interface.h>
#include <sanitizer/lsan_interface.h>
#endif

namespace kshim::pool {

struct Slab {
    uint8_t* base = nullptr;
    size_t length = 0;
    size_t cursor = 0;    // next free byte
    size_t live = 0;      // blocks carved and not released
    bool retired = false;  // nothing more is carved from it
    Slab* next = nullptr;  // the quarantine's order
};

namespace {

constexpr size_t kPage = 4096;
constexpr size_t kSlabBytes = size_t{1} << 20;
constexpr size_t kOwnSlabAbove = kSlabBytes / 4;  // a larger block gets a mapping of its own
constexpr size_t kQuarantineBytes = size_t{32} << 20;
constexpr size_t kAlign = 16;

Slab* g_current = nullptr;
Slab* g_quarantineHead = nullptr;  // oldest first
Slab* g_quarantineTail = nullptr;
size_t g_quarantinedBytes = 0;
ArenaCounts g_counts;

size_t RoundUp(size_t v, size_t a) { return (v + a - 1) & ~(a - 1); }

// The poisoned gap in front of a block: wider for larger blocks, as the sanitizer's own heap does.
size_t RedZone(size_t size)
{
    size_t rz = kAlign;
    while (rz < 2048 && rz * 8 < size) {
        rz *= 2;
    }
    return rz;
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

Slab* MapSlab(size_t length)
{
    void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) {
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
    ++g_counts.slabs;
    g_counts.mappedBytes += length;
    return slab;
}

void UnmapSlab(Slab* slab)
{
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

void Retire(Slab* slab)
{
    slab->retired = true;
    if (slab->live == 0) {
        Quarantine(slab);
    }
}

}  // namespace

void* Carve(size_t size, Slab** slab)
{
    const size_t rz = RedZone(size);
    const size_t body = RoundUp(size == 0 ? 1 : size, kAlign);
    if (size > kOwnSlabAbove) {
        // A block of its own: red zone, body, and the poisoned rest of the last page behind it.
        Slab* own = MapSlab(RoundUp(rz + body + kAlign, kPage));
        if (own == nullptr) {
            return nullptr;
        }
        own->cursor = own->length;
        own->live = 1;
        own->retired = true;
        uint8_t* p = own->base + rz;
        Unpoison(p, size);
        *slab = own;
        return p;
    }
    // The slab's end stays a poisoned gap of at least kAlign bytes behind the last block.
    if (g_current == nullptr || g_current->cursor + rz + body + kAlign > g_current->length) {
        Slab* fresh = MapSlab(kSlabBytes);
        if (fresh == nullptr) {
            return nullptr;
        }
        if (g_current != nullptr) {
            Retire(g_current);
        }
        g_current = fresh;
    }
    uint8_t* p = g_current->base + g_current->cursor + rz;
    g_current->cursor += rz + body;
    ++g_current->live;
    Unpoison(p, size);
    *slab = g_current;
    return p;
}

void Release(void* block, size_t size, Slab* slab)
{
    Poison(block, RoundUp(size == 0 ? 1 : size, kAlign));
    if (--slab->live == 0 && slab->retired) {
        Quarantine(slab);
    }
}

ArenaCounts Counts() { return g_counts; }

}  // namespace kshim::pool
