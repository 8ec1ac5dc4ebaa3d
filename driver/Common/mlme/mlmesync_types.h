// Records of the sync machine kept in the adapter and the ports: the list of neighbour access points
// and the ports' receive reorder sessions.
#pragma once

#include "kshim/ke.h"

// The adapter's list of neighbour access points.
typedef struct _SCAN_NEIGHBOR_AP_LIST {
    LIST_ENTRY Head;
    ULONG Count;
    KSPIN_LOCK Lock;
} SCAN_NEIGHBOR_AP_LIST, *PSCAN_NEIGHBOR_AP_LIST;

// ---- receive reorder sessions -----------------------------------------------------------------------------
#define REORDER_SESSION_COUNT 32
#define REORDER_QUEUE_COUNT 64
#define REORDER_SESSION_ACTIVE 1
#define REORDER_SEQ_NONE 0xFFFF

// One receive reorder record of a port (the block-ack receive logic keeps it).
typedef struct _REORDER_SESSION {
    UCHAR WlanIndex;
    UCHAR Tid;
    USHORT LastIndicatedSeq;
    USHORT ArmedSeq;        // REORDER_SEQ_NONE when the age-out timer is not armed
    UCHAR QueueIndex;       // reorder queue 0 to 63
    UCHAR DuplicateFlag;
    ULONG State;            // REORDER_SESSION_ACTIVE while an agreement runs
    UCHAR Indicating;       // cleared at resume
    UCHAR FlushPending;     // set at resume on an active session
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
} REORDER_SESSION, *PREORDER_SESSION;
