// The transmit queues' records kept in the adapter: the table of started transmit queues and the
// per-port progress and watch records of the transmit-hang check.
#pragma once

#include "kshim/netadapter_queue.h"
#include "kshim/nt_types.h"

typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;
typedef struct _QZCX_TXQUEUE QZCX_TXQUEUE, *PQZCX_TXQUEUE;

// One started transmit queue in the adapter's table.
#define TX_QUEUE_TABLE_SIZE 73
typedef struct _TX_QUEUE_TABLE_ENTRY {
    NETPACKETQUEUE Queue;
    UCHAR InUse;
    UCHAR Cancelled;
    PMAC_TABLE_ENTRY Station;
    UCHAR GroupQueue;  // 1 for the access-point port's queue of the broadcast peer
    UCHAR AccessCategory;
    ULONG PortId;
    PQZCX_TXQUEUE Context;
} TX_QUEUE_TABLE_ENTRY, *PTX_QUEUE_TABLE_ENTRY;

// Per-port progress and watch records read by the transmit-hang check.
typedef struct _TX_PORT_PROGRESS {
    UCHAR Stalled;
    UCHAR StallTicks;
    ULONG HangCount;
} TX_PORT_PROGRESS;
typedef struct _TX_PORT_WATCH {
    UCHAR Watching;
    ULONG WatchIndex;
    ULONG LastSeen;
    UCHAR Ticks;
} TX_PORT_WATCH;
