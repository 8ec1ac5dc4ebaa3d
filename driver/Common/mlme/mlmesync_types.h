// Records of the sync machine kept in the adapter and the ports: the list of neighbour access points
// with its records (one directed scan each), and the ports' receive reorder sessions.
#pragma once

#include "kshim/ke.h"

// ---- the neighbour-AP list (reduced neighbour reports) ----------------------------------------------------
#define RNR_ELEMENT_ID 201
#define NEIGHBOR_AP_MAX 4               // BSSIDs, channels, SSIDs and short SSIDs of one record
#define NEIGHBOR_AP_EXTRA_IE_MAX 32     // the Short SSID List element
#define NEIGHBOR_AP_SSID_INDEX_NONE 4
#define SHORT_SSID_LIST_EXT_ID 58

// The adapter's neighbour-AP list.
typedef struct _NEIGHBOR_AP_INFO_LIST {
    LIST_ENTRY Head;
    UCHAR PrivateRequest;   // a record was made by a private request
    ULONG Count;
    UCHAR Parsed;           // the scan table's elements were parsed for this cycle
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
} NEIGHBOR_AP_INFO_LIST, *PNEIGHBOR_AP_INFO_LIST;

typedef struct _NEIGHBOR_AP_SSID {
    ULONG Length;
    UCHAR Ssid[32];
} NEIGHBOR_AP_SSID;

typedef struct _NEIGHBOR_AP_CHANNEL {
    ULONG Band;  // 1, 2, 3
    UCHAR Channel;
} NEIGHBOR_AP_CHANNEL;

// The scan parameters of one neighbour-AP record.
typedef struct _NEIGHBOR_AP_SCAN_PARAMS {
    UCHAR ShortSsidCount;
    UCHAR SsidCount;
    NEIGHBOR_AP_SSID Ssids[NEIGHBOR_AP_MAX];
    UCHAR ScanType;         // 1 active
    UCHAR ChannelCount;
    NEIGHBOR_AP_CHANNEL Channels[NEIGHBOR_AP_MAX];
    UCHAR BssIndex;
    UCHAR Bssid[NEIGHBOR_AP_MAX][6];
    UCHAR BssidChannel[NEIGHBOR_AP_MAX];
    UCHAR BssidSsidIndex[NEIGHBOR_AP_MAX];  // NEIGHBOR_AP_SSID_INDEX_NONE: none
    USHORT Timing[3];
    USHORT ExtraIeLen;
    UCHAR ExtraIe[NEIGHBOR_AP_EXTRA_IE_MAX];

} NEIGHBOR_AP_SCAN_PARAMS, *PNEIGHBOR_AP_SCAN_PARAMS;
static_assert(sizeof(NEIGHBOR_AP_SCAN_PARAMS) == 260, "a neighbour-AP record's scan parameters are 260 bytes");

typedef struct _NEIGHBOR_AP_INFO {
    LIST_ENTRY Link;
    UCHAR BssidCount;       // BSSIDs recorded, 0..4
    NEIGHBOR_AP_SCAN_PARAMS Params;
} NEIGHBOR_AP_INFO, *PNEIGHBOR_AP_INFO;
static_assert(sizeof(NEIGHBOR_AP_INFO) == 280, "a neighbour-AP record is 280 bytes");

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
