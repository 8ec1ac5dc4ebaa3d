// The memory behind pool blocks: blocks carved one after another out of anonymous mappings (slabs),
// so a block reads as zero without being cleared and a bring-up's tens of thousands of small records
// cost no allocator work each. Each block's size and tag sit in a header inside the gap in front of
// it, so keeping account of a block costs no memory of its own.
//
// Under AddressSanitizer a slab is poisoned as a whole when it is mapped; carving unpoisons a block's
// bytes and nothing else, a free poisons them again, so overflows into the gaps between blocks and uses
// after a free are still reported. Under ThreadSanitizer a free writes the whole block, so that a use
// on another thread that the free did not wait for is reported as a race. A freed block is never
// handed out again: a slab whose blocks are all free waits in a quarantine before it is unmapped.
//
// The caller serialises every call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kshim::pool {

struct BlockInfo {
    size_t size = 0;
    uint32_t tag = 0;
};

// Who a block belongs to: the pool's callers, or the stand-in itself (framework object contexts),
// whose blocks the pool's accounting does not see.
enum class Owner : uint32_t { Pool = 1, StandIn = 2 };

// A zeroed block of `size` bytes, 16-byte aligned, or null when no memory could be mapped.
void* Carve(size_t size, uint32_t tag, Owner owner);

// Takes a live block of the owner back and tells what it was; false (and nothing changes) when
// `block` is not such a block.
bool Release(void* block, Owner owner, BlockInfo* info);

// The pool's live blocks.
size_t LiveBlocks();
void ForEachLive(void (*visit)(const BlockInfo& block, void* context), void* context);

// What the arena holds now: mapped slabs, of which quarantined, and their bytes.
struct ArenaCounts {
    size_t slabs = 0;
    size_t quarantined = 0;
    size_t mappedBytes = 0;
};
ArenaCounts Counts();

}  // namespace kshim::pool
