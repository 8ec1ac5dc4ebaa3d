// The NDIS subset: events, sleep, the reader-writer lock, the version, and (with their own
// sections) net buffer list, net buffer and MDL records and pools, and the NDIS file calls.
#pragma once

#include "kshim/ke.h"

// ---- events ----------------------------------------------------------------------------------------
typedef struct _NDIS_EVENT {
    KEVENT Event;  // a notification event
} NDIS_EVENT, *PNDIS_EVENT;

void NdisInitializeEvent(PNDIS_EVENT event);
void NdisSetEvent(PNDIS_EVENT event);
void NdisResetEvent(PNDIS_EVENT event);
// msToWait 0 waits forever. TRUE only when the event was signalled. PASSIVE_LEVEL only.
BOOLEAN NdisWaitEvent(PNDIS_EVENT event, UINT32 msToWait);

// Sleeps at PASSIVE_LEVEL.
void NdisMSleep(ULONG microseconds);

// The NDIS version of the running OS: major in the high 16 bits (e.g. 0x0006001E).
UINT32 NdisGetVersion();

// ---- reader-writer lock ------------------------------------------------------------------------------
// Zero-initialised storage is an unlocked lock. Acquiring raises to DISPATCH_LEVEL; the lock state
// keeps the previous level and the kind of hold.
typedef struct _NDIS_RW_LOCK {
    std::atomic<LONG> State;  // -1 held for writing, else the number of readers
} NDIS_RW_LOCK, *PNDIS_RW_LOCK;

typedef struct _LOCK_STATE {
    KIRQL OldIrql;
    UCHAR Write;
} LOCK_STATE, *PLOCK_STATE;

void NdisInitializeReadWriteLock(PNDIS_RW_LOCK lock);
void NdisAcquireReadWriteLock(PNDIS_RW_LOCK lock, BOOLEAN write, PLOCK_STATE lockState);
void NdisReleaseReadWriteLock(PNDIS_RW_LOCK lock, PLOCK_STATE lockState);
