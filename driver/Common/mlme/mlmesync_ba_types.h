// The block-ack session table's records: originator agreements, the port's share (counts, locks,
// age-out timers and flush guards of its recipient agreements) and the adapter's reorder-queue owners.
#pragma once

#include "kshim/ke.h"
#include "kshim/nt_types.h"
#include "Common/mlme/mlmesync_types.h"
#include "platform/ndiscommon/ndiscommon_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

#define BA_TABLE_SLOTS 32  // slot 0 is never used
#define BA_TID_COUNT 8

// Originator states.
#define BA_ORI_FREE 0
#define BA_ORI_REQUEST_SENT 1
#define BA_ORI_ESTABLISHED 2
#define BA_ORI_SETUP_WANTED 3
#define BA_ORI_SETUP_STARTED 4

// The port's block-ack configuration word (its HT parameter word): bits 17-18 equal to 2 refuse block
// ack; bit 16 sets torn-down originator agreements up again.
#define BA_CFG_REFUSE_MASK 0x00060000u
#define BA_CFG_REFUSE 0x00040000u
#define BA_CFG_REESTABLISH 0x00010000u

// The DELBA request a tear-down posts to the ACTION machine (machine 8, message 9).
#define BA_DELBA_REQUEST_SIZE 12
#define MLME_ACTION_MACHINE 8
#define MLME_ACTION_MSG_DELBA 9

// One originator agreement.
typedef struct _BA_TABLE {
    UCHAR WlanIndex;
    UCHAR Tid;
    USHORT BufferSize;
    UCHAR SettingUp;       // 1 while the slot is being filled, and after a delete
    ULONG State;           // BA_ORI_*
    UCHAR RetryCount;      // set-up attempts (the originator retry walk)
    PMP_ADAPTER Adapter;
} BA_TABLE, *PBA_TABLE;

// The age-out timer of a reorder session slot ("RxReorderAgeoutTimer") and the flush guard of a
// reorder queue: one flush of a queue at a time.
typedef struct _RX_REORDER_AGEOUT {
    PLATFORM_TIMER Timer;
    UCHAR Armed;
    ULONG Slot;  // the session slot that armed it
} RX_REORDER_AGEOUT, *PRX_REORDER_AGEOUT;

typedef struct _RX_REORDER_FLUSH_GUARD {
    KSPIN_LOCK Lock;
    UCHAR InProgress;
} RX_REORDER_FLUSH_GUARD, *PRX_REORDER_FLUSH_GUARD;

// A port's share: the counts, the originator records, the age-out timers and flush guards of its
// recipient agreements (whose records are the port's REORDER_SESSIONs) and its two spin locks: the
// block-ack lock over slots, counts, bitmaps and queue ownership, and the receive-reorder lock every
// caller of the reordering holds.
typedef struct _PORT_BA_BLOCK {
    KSPIN_LOCK Lock;
    LONG RecipientCount;
    LONG OriginatorCount;  // established originator agreements (state 2)
    BA_TABLE Originator[BA_TABLE_SLOTS];
    KSPIN_LOCK ReorderLock;
    RX_REORDER_AGEOUT Ageout[REORDER_QUEUE_COUNT];
    RX_REORDER_FLUSH_GUARD FlushGuard[REORDER_QUEUE_COUNT];
    UCHAR OriTimeout;      // the originator time-out byte of the retry walk
    UCHAR Ready;           // locks and timers set up
} PORT_BA_BLOCK, *PPORT_BA_BLOCK;

// The adapter's share: which recipient slot owns each reorder queue (the in-use bytes are the
// adapter's ReorderQueueInUse), the duplicate counter of the reordering and the last age-out chosen.
typedef struct _ADAPTER_BA_BLOCK {
    ULONG QueueSlot[REORDER_QUEUE_COUNT];
    PMP_PORT QueuePort[REORDER_QUEUE_COUNT];
    ULONG DuplicateCount;
    ULONG LastAgeoutMs;
    ULONG MiracastMode;    // set by the Miracast mode command: 1 shortens a group owner's age-out
} ADAPTER_BA_BLOCK, *PADAPTER_BA_BLOCK;
