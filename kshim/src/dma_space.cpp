// The bus address space of DMA: live regions (common buffers and registered host memory) by bus
// address, their placement, and the device's translation of bus addresses into host memory.
#include "dma_space.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <shared_mutex>

#include <sys/mman.h>

#include "kshim/host/dma.h"
#include "kshim/irql.h"

namespace kshim::dma {
namespace {

constexpr uint64_t kPage = 0x1000;
constexpr uint64_t k4GiB = 0x100000000ull;

struct Region {
    uint64_t span = 0;        // bus bytes reserved from the key on (pages, guard page included)
    uint64_t bus = 0;         // first byte the device may reach
    size_t length = 0;        // bytes the device may reach
    uint8_t* host = nullptr;  // host memory of the first reachable byte
    void* mapping = nullptr;  // the anonymous mapping to release (common buffers)
    size_t mappingLength = 0;
    bool common = false;
};

struct Space {
    std::shared_mutex lock;
    std::map<uint64_t, Region> regions;  // by the first reserved bus address
    kshim::host::DmaPlacement placement;
    uint64_t cursor = 0;      // next placement of the low area (0: from its base)
    uint64_t highCursor = 0;  // next placement of the high area
    size_t limit = 0;
    size_t commonCount = 0;
};

Space& TheSpace()
{
    static Space* space = new Space();
    return *space;
}

uint64_t AlignUp(uint64_t value, uint64_t alignment)
{
    uint64_t mask = alignment - 1;
    return value > UINT64_MAX - mask ? UINT64_MAX : (value + mask) & ~mask;
}

uint64_t EndOfWidth(unsigned widthBits) { return widthBits >= 64 ? UINT64_MAX : (1ull << widthBits); }

// The first range of `span` bus bytes at or after `from`, aligned, ending at or below `end`, clear
// of every reserved span, whose first `dataSize` bytes do not cross a 4 GiB boundary. Caller holds
// the lock exclusively.
bool FindRange(const Space& s, uint64_t from, uint64_t end, uint64_t span, uint64_t dataSize, uint64_t alignment,
               uint64_t* out)
{
    if (dataSize > k4GiB) {
        return false;
    }
    uint64_t p = AlignUp(from, alignment);
    for (;;) {
        if (p == UINT64_MAX || span > end || p > end - span) {
            return false;
        }
        if ((p >> 32) != ((p + dataSize - 1) >> 32)) {
            p = AlignUp(((p >> 32) + 1) << 32, alignment);
            continue;
        }
        uint64_t last = p + span - 1;
        auto next = s.regions.upper_bound(p);
        if (next != s.regions.begin()) {
            auto prev = std::prev(next);
            if (prev->first + prev->second.span > p) {
                p = AlignUp(prev->first + prev->second.span, alignment);
                continue;
            }
        }
        if (next != s.regions.end() && next->first <= last) {
            p = AlignUp(next->first + next->second.span, alignment);
            continue;
        }
        *out = p;
        return true;
    }
}

// Reserves `span` bus bytes (the data pages and a guard page) by the placement rules, next fit
// after the last placement of the area and then from its base; false when nothing fits.
bool PlaceLocked(Space& s, uint64_t span, uint64_t dataSize, unsigned widthBits, uint64_t alignment, uint64_t* out)
{
    const kshim::host::DmaPlacement& pl = s.placement;
    bool high = widthBits > 32 && pl.highBase != 0 && dataSize >= pl.highFromLength;
    uint64_t base = high ? pl.highBase : pl.base;
    uint64_t& cursor = high ? s.highCursor : s.cursor;
    uint64_t end = EndOfWidth(widthBits);
    uint64_t start = cursor > base ? cursor : base;
    uint64_t p = 0;
    if (!FindRange(s, start, end, span, dataSize, alignment, &p) &&
        (start == base || !FindRange(s, base, end, span, dataSize, alignment, &p))) {
        return false;
    }
    cursor = p + span;
    *out = p;
    return true;
}

const Region* FindLocked(const Space& s, uint64_t bus, size_t length)
{
    if (length == 0) {
        length = 1;
    }
    auto it = s.regions.upper_bound(bus);
    if (it == s.regions.begin()) {
        return nullptr;
    }
    --it;
    const Region& r = it->second;
    if (bus < r.bus || bus - r.bus > r.length || length > r.length - (bus - r.bus)) {
        return nullptr;
    }
    return &r;
}

void ReportOutside(const char* what, uint64_t bus, size_t length)
{
    char detail[128];
    std::snprintf(detail, sizeof(detail), "%s of %zu byte(s) at bus address 0x%" PRIx64, what, length, bus);
    KshimViolation("DMA outside any live buffer", detail);
}

// A common buffer's memory is an anonymous mapping, as the OS hands out a contiguous allocation: its
// pages read as zero and cost nothing until first touched, so a large receive pool that the device
// fills slot by slot is not paid for up front. A page with no access rights follows the buffer, so
// that a host-side overrun faults at once instead of reaching a neighbour.
bool MapCommon(size_t rounded, size_t alignment, void** mapping, size_t* mappingLength, uint8_t** memory)
{
    // Over-map by the alignment's excess so that an aligned start lies inside, plus the guard page.
    size_t slack = alignment > kPage ? alignment - kPage : 0;
    if (rounded > SIZE_MAX - slack - kPage) {
        return false;
    }
    size_t length = rounded + slack + kPage;
    void* raw = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (raw == MAP_FAILED) {
        return false;
    }
    auto base = reinterpret_cast<uintptr_t>(raw);
    uintptr_t aligned = static_cast<uintptr_t>(AlignUp(base, alignment));
    if (mprotect(reinterpret_cast<void*>(aligned + rounded), kPage, PROT_NONE) != 0) {
        munmap(raw, length);
        return false;
    }
    *mapping = raw;
    *mappingLength = length;
    *memory = reinterpret_cast<uint8_t*>(aligned);
    return true;
}

}  // namespace

bool AllocateCommon(size_t length, unsigned widthBits, size_t alignment, void** host, uint64_t* bus)
{
    *host = nullptr;
    *bus = 0;
    if (length == 0 || alignment < kPage || (alignment & (alignment - 1)) != 0 || length > SIZE_MAX - alignment) {
        return false;
    }
    size_t rounded = static_cast<size_t>(AlignUp(length, alignment));
    void* mapping = nullptr;
    size_t mappingLength = 0;
    uint8_t* memory = nullptr;
    if (!MapCommon(rounded, alignment, &mapping, &mappingLength, &memory)) {
        return false;
    }
    Space& s = TheSpace();
    std::unique_lock<std::shared_mutex> guard(s.lock);
    uint64_t span = AlignUp(length, kPage) + kPage;
    uint64_t at = 0;
    if (!PlaceLocked(s, span, length, widthBits, alignment, &at)) {
        guard.unlock();
        munmap(mapping, mappingLength);
        return false;
    }
    Region r;
    r.span = span;
    r.bus = at;
    r.length = length;
    r.host = memory;
    r.mapping = mapping;
    r.mappingLength = mappingLength;
    r.common = true;
    s.regions.emplace(at, r);
    ++s.commonCount;
    *host = memory;
    *bus = at;
    return true;
}

void FreeCommon(uint64_t bus)
{
    void* mapping = nullptr;
    size_t mappingLength = 0;
    {
        Space& s = TheSpace();
        std::unique_lock<std::shared_mutex> guard(s.lock);
        auto it = s.regions.find(bus);
        if (it == s.regions.end() || !it->second.common) {
            guard.unlock();
            KshimViolation("common buffer freed twice or never allocated", nullptr);
            return;
        }
        mapping = it->second.mapping;
        mappingLength = it->second.mappingLength;
        s.regions.erase(it);
        --s.commonCount;
    }
    munmap(mapping, mappingLength);
}

size_t CommonBufferLimit()
{
    Space& s = TheSpace();
    std::shared_lock<std::shared_mutex> guard(s.lock);
    return s.limit;
}

}  // namespace kshim::dma

namespace kshim::host {

using kshim::dma::Region;

void DmaSetPlacement(const DmaPlacement& placement)
{
    auto& s = kshim::dma::TheSpace();
    std::unique_lock<std::shared_mutex> guard(s.lock);
    s.placement = placement;
    s.cursor = 0;
    s.highCursor = 0;
}

void DmaSetCommonBufferLimit(size_t maxLength)
{
    auto& s = kshim::dma::TheSpace();
    std::unique_lock<std::shared_mutex> guard(s.lock);
    s.limit = maxLength;
}

void DmaResetDefaults()
{
    DmaSetPlacement(DmaPlacement{});
    DmaSetCommonBufferLimit(0);
}

void* DmaTranslate(uint64_t bus, size_t length)
{
    auto& s = kshim::dma::TheSpace();
    {
        std::shared_lock<std::shared_mutex> guard(s.lock);
        if (const Region* r = kshim::dma::FindLocked(s, bus, length)) {
            return r->host + (bus - r->bus);
        }
    }
    kshim::dma::ReportOutside("translation", bus, length);
    return nullptr;
}

bool DmaRead(uint64_t bus, void* buffer, size_t length)
{
    auto& s = kshim::dma::TheSpace();
    {
        std::shared_lock<std::shared_mutex> guard(s.lock);
        if (const Region* r = kshim::dma::FindLocked(s, bus, length)) {
            std::memcpy(buffer, r->host + (bus - r->bus), length);
            return true;
        }
    }
    kshim::dma::ReportOutside("device read", bus, length);
    return false;
}

bool DmaWrite(uint64_t bus, const void* data, size_t length)
{
    auto& s = kshim::dma::TheSpace();
    {
        std::shared_lock<std::shared_mutex> guard(s.lock);
        if (const Region* r = kshim::dma::FindLocked(s, bus, length)) {
            std::memcpy(r->host + (bus - r->bus), data, length);
            return true;
        }
    }
    kshim::dma::ReportOutside("device write", bus, length);
    return false;
}

bool DmaIsMapped(uint64_t bus, size_t length)
{
    auto& s = kshim::dma::TheSpace();
    std::shared_lock<std::shared_mutex> guard(s.lock);
    return kshim::dma::FindLocked(s, bus, length) != nullptr;
}

uint64_t DmaRegister(void* host, size_t length, unsigned widthBits)
{
    if (host == nullptr || length == 0) {
        return 0;
    }
    uint64_t offset = reinterpret_cast<uintptr_t>(host) & (kshim::dma::kPage - 1);
    auto& s = kshim::dma::TheSpace();
    std::unique_lock<std::shared_mutex> guard(s.lock);
    uint64_t span = kshim::dma::AlignUp(offset + length, kshim::dma::kPage) + kshim::dma::kPage;
    uint64_t at = 0;
    if (!kshim::dma::PlaceLocked(s, span, offset + length, widthBits, kshim::dma::kPage, &at)) {
        return 0;
    }
    Region r;
    r.span = span;
    r.bus = at + offset;
    r.length = length;
    r.host = static_cast<uint8_t*>(host);
    s.regions.emplace(at, r);
    return r.bus;
}

void DmaUnregister(uint64_t bus)
{
    auto& s = kshim::dma::TheSpace();
    std::unique_lock<std::shared_mutex> guard(s.lock);
    auto it = s.regions.find(bus & ~(kshim::dma::kPage - 1));
    if (it == s.regions.end() || it->second.common || it->second.bus != bus) {
        guard.unlock();
        KshimViolation("DmaUnregister of memory that is not registered", nullptr);
        return;
    }
    s.regions.erase(it);
}

size_t DmaLiveCommonBuffers()
{
    auto& s = kshim::dma::TheSpace();
    std::shared_lock<std::shared_mutex> guard(s.lock);
    return s.commonCount;
}

size_t DmaLiveRegions()
{
    auto& s = kshim::dma::TheSpace();
    std::shared_lock<std::shared_mutex> guard(s.lock);
    return s.regions.size();
}

}  // namespace kshim::host
