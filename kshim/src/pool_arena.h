// The memory behind pool blocks: blocks carved one after another out of anonymous mappings (slabs),
// so a block reads as zero without being cleared and a bring-up's tens of thousands of small records
// cost no allocator work each. Under AddressSanitizer a slab is poisoned as a whole when it is mapped;
// carving unpoisons a block's bytes and nothing else, a free poisons them again, so overflows into the
// gaps between blocks and uses after a free are still reported. A freed block is never handed out
// again: a slab whose blocks are all free waits in a quarantine before it is unmapped.
#pragma once

#include <cstddef>

namespace kshim::pool {

struct Slab;

// A zeroed block of `size` bytes, 16-byte aligned; *slab gets the slab to give to Release. Null when
// no memory could be mapped. The caller serialises calls of Carve and Release.
void* Carve(size_t size, Slab** slab);

// Gives a block back: its bytes are poisoned, and its slab is quarantined once nothing of it is live.
void Release(void* block, size_t size, Slab* slab);

// What the arena holds now (tests): mapped slabs, of which quarantined.
struct ArenaCounts {
    size_t slabs = 0;
    size_t quarantined = 0;
    size_t mappedBytes = 0;
};
ArenaCounts Counts();

}  // namespace kshim::pool
