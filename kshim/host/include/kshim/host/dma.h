// The DMA side of the machine for the harness and the simulated devices: the bus address space in
// which common buffers live, the device's only way into host memory (translation of bus addresses),
// other host memory the harness makes reachable (the OS's packet buffers), and accounting.
//
// A bus region is a live common buffer or a registered piece of host memory. A device access to a
// range that does not lie inside one live region (a stale descriptor, a buffer already freed, an
// address computed wrongly) is a strict-mode failure "DMA outside any live buffer".
#pragma once

#include <cstddef>
#include <cstdint>

namespace kshim::host {

// ---- where common buffers go on the bus --------------------------------------------------------------
// Buffers are placed upward from `base`, each at the first free page-aligned range after the last
// placement (the space is reused from `base` again only once the top is reached, so that a stale bus
// address keeps pointing at nothing for as long as possible), with an unused guard page after each.
// A buffer never crosses a 4 GiB boundary and ends below 2^(the enabler's address width); when no
// such range is left the creation fails with STATUS_INSUFFICIENT_RESOURCES.
// Buffers of at least `highFromLength` bytes on enablers wider than 32 bits go upward from `highBase`
// instead (a test places the large packet pools above 4 GiB while rings stay below).
struct DmaPlacement {
    uint64_t base = 0x10000000;
    uint64_t highBase = 0;
    size_t highFromLength = SIZE_MAX;
};
void DmaSetPlacement(const DmaPlacement& placement);
// Common buffers longer than this fail with STATUS_INSUFFICIENT_RESOURCES (0: no limit), as on a
// machine short of contiguous memory.
void DmaSetCommonBufferLimit(size_t maxLength);
// Placement and limit back to their defaults.
void DmaResetDefaults();

// ---- the device's view of host memory ----------------------------------------------------------------
// The host memory behind [bus, bus + length) (length 0 counts as 1) when the range lies inside one live
// region; else nullptr and a strict-mode failure. The pointer is valid while the region lives: a
// device model that may race with the driver freeing the buffer uses DmaRead and DmaWrite instead.
void* DmaTranslate(uint64_t bus, size_t length);
// Copy from or to host memory under the space's lock, so that the region cannot go away in the
// middle. False (and a strict-mode failure, nothing copied) outside every live region.
bool DmaRead(uint64_t bus, void* buffer, size_t length);
bool DmaWrite(uint64_t bus, const void* data, size_t length);
// Whether the range lies inside one live region (no report).
bool DmaIsMapped(uint64_t bus, size_t length);

// ---- other host memory --------------------------------------------------------------------------------
// Makes [host, host + length) reachable by the device and returns its bus address, placed as a common
// buffer of an enabler of `widthBits` would be (below 2^widthBits, not across 4 GiB), keeping the
// offset of `host` within its page. 0 when no range is left. The harness keeps the memory alive until
// DmaUnregister.
uint64_t DmaRegister(void* host, size_t length, unsigned widthBits = 64);
void DmaUnregister(uint64_t bus);

// ---- accounting -----------------------------------------------------------------------------------------
// Common buffers alive now (the unload check compares it with the count before the load).
size_t DmaLiveCommonBuffers();
// Every live region: common buffers and registered memory.
size_t DmaLiveRegions();

}  // namespace kshim::host
