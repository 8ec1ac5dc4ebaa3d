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

// One receive reorder record of a port (recipient block-ack agreement): the block-ack table opens and
// closes it, the receive reordering moves its window.
#define REORDER_QUEUE_NONE 0xFF  // an agreement opened while every reorder queue was taken
#define REORDER_AMSDU_OPEN 1
#define REORDER_AMSDU_DONE 2
typedef struct _REORDER_SESSION {
    UCHAR WlanIndex;
    UCHAR Tid;
    USHORT WindowSize;      // the agreement's buffer size
    UCHAR Cleared[2];       // cleared when the agreement opens
    USHORT LastIndicatedSeq;  // L: the last sequence number handed to the OS (under Lock)
    USHORT ArmedSeq;        // L when the age-out timer was armed; REORDER_SEQ_NONE when not armed
    USHORT Timeout;         // the agreement's time-out value
    UCHAR StartUnset;       // opened with starting sequence 4095: the next Block Ack Request is taken as is
    UCHAR Resync;           // the next data frame first sets L to its own number minus one
    UCHAR QueueIndex;       // reorder queue 0 to 63, REORDER_QUEUE_NONE for none
    UCHAR DuplicateFlag;
    ULONG State;            // REORDER_SESSION_ACTIVE while an agreement runs
    ULONG AmsduCount;       // subframes of the A-MSDU numbered L handed on so far
    ULONG AmsduState;       // REORDER_AMSDU_OPEN / _DONE for the A-MSDU numbered L
    UCHAR TimerRunning;
    UCHAR Indicating;       // cleared at resume
    UCHAR FlushPending;     // set at resume on an active session
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
} REORDER_SESSION, *PREORDER_SESSION;
