// Inside the stand-in: the bus address space of DMA (kshim/host/dma.h is the harness's view of it).
// The framework's common buffers take their memory and bus ranges from here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kshim::dma {

// Allocates zero-filled host memory of `length` bytes aligned to `alignment` (a power of two, at
// least a page) and a bus range for it that satisfies the placement rules for an enabler of
// `widthBits`. False when the memory or a bus range cannot be had. The memory is an anonymous
// mapping: zero pages cost nothing until touched.
bool AllocateCommon(size_t length, unsigned widthBits, size_t alignment, void** host, uint64_t* bus);
// Frees a buffer of AllocateCommon (its memory and its bus range).
void FreeCommon(uint64_t bus);
// The limit of DmaSetCommonBufferLimit (0: none).
size_t CommonBufferLimit();

}  // namespace kshim::dma
