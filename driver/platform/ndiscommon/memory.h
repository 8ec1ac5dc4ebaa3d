// The tagged allocator and the memory and lock wrappers every other module calls.
#pragma once

#include "kshim/ex.h"
#include "kshim/ndis.h"

struct _MP_ADAPTER;

// Header in front of every allocator block; a 5-byte trailer follows the caller's bytes.
#pragma pack(push, 1)
typedef struct _ALLOCATION_HEADER {
    CHAR Magic[4];  // "3405"
    UCHAR Zero0;
    CHAR FileTail[10];  // last 10 characters of the allocating source path
    UCHAR Zero1;
    ULONG Line;
    ULONG Zero2;
    ULONG64 ThreadId;
    ULONG TotalSize;  // requested size + ALLOCATION_OVERHEAD
    ULONG Zero3;
} ALLOCATION_HEADER, *PALLOCATION_HEADER;
#pragma pack(pop)
static_assert(sizeof(ALLOCATION_HEADER) == 40, "allocation header is 40 bytes");

#define ALLOCATION_TRAILER_SIZE 5
#define ALLOCATION_OVERHEAD (sizeof(ALLOCATION_HEADER) + ALLOCATION_TRAILER_SIZE)

// Pool tags: "ZV" plus two characters, as a rule one per source module.
#define QZL_TAG(c, d) KSHIM_TAG('Z', 'V', (c), (d))
#define TAG_ZV00 QZL_TAG('0', '0')
#define TAG_ZV02 QZL_TAG('0', '2')
#define TAG_ZV04 QZL_TAG('0', '4')
#define TAG_ZV05 QZL_TAG('0', '5')
#define TAG_ZV06 QZL_TAG('0', '6')
#define TAG_ZV07 QZL_TAG('0', '7')
#define TAG_ZV08 QZL_TAG('0', '8')
#define TAG_ZV0R QZL_TAG('0', 'R')
#define TAG_ZV0T QZL_TAG('0', 'T')
#define TAG_ZV10 QZL_TAG('1', '0')
#define TAG_ZV12 QZL_TAG('1', '2')
#define TAG_ZV17 QZL_TAG('1', '7')
#define TAG_ZV19 QZL_TAG('1', '9')
#define TAG_ZV20 QZL_TAG('2', '0')
#define TAG_ZV21 QZL_TAG('2', '1')
#define TAG_ZV28 QZL_TAG('2', '8')
#define TAG_ZV29 QZL_TAG('2', '9')
#define TAG_ZV40 QZL_TAG('4', '0')
#define TAG_ZV42 QZL_TAG('4', '2')
#define TAG_ZV43 QZL_TAG('4', '3')
#define TAG_ZV46 QZL_TAG('4', '6')
#define TAG_ZV47 QZL_TAG('4', '7')
#define TAG_ZV48 QZL_TAG('4', '8')
#define TAG_ZV49 QZL_TAG('4', '9')
#define TAG_ZV50 QZL_TAG('5', '0')
#define TAG_ZV51 QZL_TAG('5', '1')
#define TAG_ZV52 QZL_TAG('5', '2')
#define TAG_ZV53 QZL_TAG('5', '3')
#define TAG_ZV54 QZL_TAG('5', '4')
#define TAG_ZV70 QZL_TAG('7', '0')
#define TAG_ZV88 QZL_TAG('8', '8')
#define TAG_ZV89 QZL_TAG('8', '9')
#define TAG_ZV99 QZL_TAG('9', '9')
#define TAG_ZVA0 QZL_TAG('A', '0')
#define TAG_ZVA5 QZL_TAG('A', '5')
#define TAG_ZVCx QZL_TAG('C', 'x')
#define TAG_ZVSK QZL_TAG('S', 'K')  // power-limit files and tables
#define TAG_ZVSR QZL_TAG('S', 'R')  // SAR from ACPI

// Driver-wide diagnostic counters of successful allocations and of frees.
extern ULONG g_AllocationCount;
extern ULONG g_FreeCount;

// Allocates size bytes of non-paged pool behind an ALLOCATION_HEADER; the pool hands the block out
// zero-filled. Size 0, or a size whose total would not fit in 32 bits, gives 0xC000000D; a pool that
// refuses six attempts gives 0xC0000001. On failure *block is null.
NTSTATUS AllocationMemoryWithMetaData(struct _MP_ADAPTER* adapter, PVOID* block, ULONG size, ULONG tag,
                                      PCSTR sourcePath, ULONG line);
// The natural call form: the call site's file and line go into the header.
#define PlatformAllocateMemory(adapter, block, size, tag)                                          \
    AllocationMemoryWithMetaData((adapter), (block), (size), (tag), __FILE__, __LINE__)

// Frees a block of the allocator; a null block does nothing.
void PlatformFreeMemory(PVOID block, ULONG size);
// Replaces *block by a block of newSize (zero-filled when `zero`), copying what fits of the old
// contents when `copy`. 0xC0000001 for a null block pointer, an old size without an old block, or a
// failed allocation (the old block then stays).
NTSTATUS PlatformReallocateMemory(struct _MP_ADAPTER* adapter, PVOID* block, ULONG oldSize, ULONG newSize,
                                  BOOLEAN copy, BOOLEAN zero, ULONG tag);
void PlatformMoveMemory(PVOID destination, const void* source, ULONG length);
void PlatformZeroMemory(PVOID buffer, ULONG length);
void PlatformFillMemory(PVOID buffer, ULONG length, UCHAR value);
BOOLEAN PlatformEqualMemory(const void* a, const void* b, ULONG length);
// 0 equal; 2 when at the first difference a's byte is smaller; 1 when it is larger.
ULONG CompareMemoryBytes(const void* a, const void* b, ULONG length);

void PlatformAllocateSpinLock(PKSPIN_LOCK lock);
void PlatformFreeSpinLock(PKSPIN_LOCK lock);

// An NDIS reader-writer lock hold: the NDIS lock state and the kind of hold (1 read, 0 write).
typedef struct _PLATFORM_RW_LOCK_STATE {
    LOCK_STATE LockState;
    UCHAR ReadHold;
} PLATFORM_RW_LOCK_STATE, *PPLATFORM_RW_LOCK_STATE;

void PlatformAcquireRWLockForRead(PNDIS_RW_LOCK lock, PPLATFORM_RW_LOCK_STATE state);
void PlatformAcquireRWLockForWrite(PNDIS_RW_LOCK lock, PPLATFORM_RW_LOCK_STATE state);
void PlatformReleaseRWLock(PNDIS_RW_LOCK lock, PPLATFORM_RW_LOCK_STATE state);
