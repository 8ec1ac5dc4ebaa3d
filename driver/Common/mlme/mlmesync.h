// The sync machine's station table and port lookups the shell calls.
#pragma once

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "kshim/ke.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// The adapter's list of neighbour access points.
typedef struct _SCAN_NEIGHBOR_AP_LIST {
    LIST_ENTRY Head;
    ULONG Count;
    KSPIN_LOCK Lock;
} SCAN_NEIGHBOR_AP_LIST, *PSCAN_NEIGHBOR_AP_LIST;

// The first active port of the given type, or none.
PMP_PORT MlmeSyncGetPortByType(PMP_ADAPTER adapter, ULONG portType);
// Builds the sync machine (5 states x 11 messages).
VOID MlmeSyncStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
// Empty list, count 0, its spin lock initialised.
void ScanNeighborAPInfoListInit(PMP_ADAPTER adapter, PSCAN_NEIGHBOR_AP_LIST list);

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

// ---- the BSS and roaming-candidate tables ------------------------------------------------------------------
typedef struct _BSS_TABLE BSS_TABLE, *PBSS_TABLE;
// Count 0 and all 256 entries zeroed.
void BssTableInit(PBSS_TABLE table);
// The adapter's BSS tables at MLME start-up.
void MlmeBssTableInit(PMP_ADAPTER adapter);
// The roaming-candidate table at MLME start-up.
void MlmeRepositTableInit(PMP_ADAPTER adapter);
// Empties the roaming-candidate table.
void MlmeResetRepositTable(PMP_ADAPTER adapter);
// Releases the neighbour-AP list.
void ScanNeighborAPInfoListDeInit(PMP_ADAPTER adapter, PSCAN_NEIGHBOR_AP_LIST list);
