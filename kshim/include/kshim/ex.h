// Executive services: non-paged pool with per-tag accounting, and lists guarded by their own spin
// lock usable up to DISPATCH_LEVEL.
#pragma once

#include "kshim/ke.h"

typedef ULONG64 POOL_FLAGS;
#define POOL_FLAG_NON_PAGED 0x0000000000000040ULL
#define POOL_FLAG_PAGED 0x0000000000000100ULL
#define POOL_FLAG_UNINITIALIZED 0x0000000000000002ULL

typedef enum _POOL_TYPE { NonPagedPool = 0, PagedPool = 1, NonPagedPoolNx = 512 } POOL_TYPE;

// Four-character tags are written as in source, e.g. KSHIM_TAG('Z','V','0','5') reads "ZV05".
#define KSHIM_TAG(a, b, c, d)                                                                       \
    ((ULONG)(UCHAR)(a) | ((ULONG)(UCHAR)(b) << 8) | ((ULONG)(UCHAR)(c) << 16) | ((ULONG)(UCHAR)(d) << 24))

// Zero-filled unless POOL_FLAG_UNINITIALIZED is given. Returns nullptr when the pool (or a fault
// point armed by a test) refuses. Allocation is allowed up to DISPATCH_LEVEL.
PVOID ExAllocatePool2(POOL_FLAGS flags, SIZE_T numberOfBytes, ULONG tag);
// Freeing a block with another tag than it was allocated with is a strict-mode failure.
void ExFreePoolWithTag(PVOID p, ULONG tag);
void ExFreePool(PVOID p);

// Interlocked lists: each operation takes the given spin lock around the change.
PLIST_ENTRY ExInterlockedInsertTailList(PLIST_ENTRY head, PLIST_ENTRY entry, PKSPIN_LOCK lock);
PLIST_ENTRY ExInterlockedInsertHeadList(PLIST_ENTRY head, PLIST_ENTRY entry, PKSPIN_LOCK lock);
PLIST_ENTRY ExInterlockedRemoveHeadList(PLIST_ENTRY head, PKSPIN_LOCK lock);
