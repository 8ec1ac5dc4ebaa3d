// The NetAdapterCx transmit queue: one queue per (port, peer, user priority). The OS posts 802.11
// data frames in a packet ring and a fragment ring; the advance turns each packet into a transmit
// record with scatter entries over the OS fragments and hands it to a hard transmit; finished
// packets go back to the OS in ring order.
#pragma once

#include "kshim/netadapter_queue.h"
#include "kshim/wdf.h"
#include "kshim/wdf_dma.h"
#include "platform/wificx/txqueue_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

// Flags of a side record.
#define TX_SIDE_TAKEN 0x8000u     // taken by the driver
#define TX_SIDE_FINISHED 0x0800u  // transmission finished

// One per packet-ring element, in the queue's side memory.
typedef struct _TX_PACKET_SIDE_INFO {
    ULONG PacketIndex;
    ULONG FirstFragmentIndex;  // masked with the fragment ring's index mask
    ULONG FragmentsProcessed;
    USHORT Flags;              // TX_SIDE_*; 0 while the slot is idle
    ULONG PortId;
} TX_PACKET_SIDE_INFO, *PTX_PACKET_SIDE_INFO;

// Flags of a scatter entry.
#define TX_SG_LAST_OF_PACKET 0x1000u
#define TX_SG_FIRST_OF_PACKET 0x2000u
#define TX_SG_LAST_ENTRY 0x4000u

// One OS fragment, in the queue's scatter common buffer.
typedef struct _TX_SG_ENTRY {
    ULONG64 VirtualAddress;  // the fragment's virtual-address extension plus its offset
    ULONG64 LogicalAddress;  // logical-address extension plus offset
    ULONG Length;            // the fragment's valid length
    USHORT Flags;            // TX_SG_*
    USHORT Unused;
} TX_SG_ENTRY, *PTX_SG_ENTRY;
static_assert(sizeof(TX_SG_ENTRY) == 24, "scatter entry layout");

// The transmit queue's framework context.
typedef struct _QZCX_TXQUEUE {
    NETADAPTER NetAdapter;
    PMP_ADAPTER Adapter;
    PMP_PORT Port;
    ULONG PortId;
    volatile LONG NotificationEnabled;
    UCHAR UserPriority;
    UCHAR AccessCategory;
    const NET_RING_COLLECTION* RingCollection;  // packet ring and fragment ring
    ULONG QueueId;
    WDFMEMORY SideMemory;
    PTX_PACKET_SIDE_INFO SideInfo;  // one per packet-ring element
    ULONG ScatterEntryCount;        // at first the fragment ring's element count
    WDFCOMMONBUFFER ScatterBuffer;
    PTX_SG_ENTRY ScatterVa;
    ULONG ScatterSize;              // bytes
    ULONG ScatterCursor;            // next entry to fill
    NET_EXTENSION FragmentVaExtension;
    NET_EXTENSION FragmentLaExtension;
    NET_EXTENSION ExemptionExtension;
    UCHAR PeerAddress[6];
    PMAC_TABLE_ENTRY Station;
    volatile LONG InFlight;         // handed to the rings and not yet returned (a statistic for traces)
    ULONG DeferredEndIndex;         // the packet ring's EndIndex when an advance was handed to the thread
    ULONG Cancelled;
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
} QZCX_TXQUEUE, *PQZCX_TXQUEUE;
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(QZCX_TXQUEUE, QZCxGetTxQueueContext);

// User priority (0-7) to access category (0 background, 1 best effort, 2 video, 3 voice).
UCHAR TxQueueAcOfPriority(UCHAR userPriority);

// Creates the transmit queue of a net adapter.
EVT_NET_ADAPTER_CREATE_TXQUEUE EvtAdapterCreateTxQueue;
NTSTATUS QZCxTxQueueInitialize(NETADAPTER netAdapter, NETPACKETQUEUE queue);
EVT_PACKET_QUEUE_ADVANCE EvtTxQueueAdvance;
EVT_PACKET_QUEUE_SET_NOTIFICATION_ENABLED EvtTxQueueSetNotificationEnabled;
EVT_PACKET_QUEUE_CANCEL EvtTxQueueCancel;
EVT_PACKET_QUEUE_START EvtTxQueueStart;
EVT_PACKET_QUEUE_STOP EvtTxQueueStop;
EVT_WDF_OBJECT_CONTEXT_DESTROY EvtTxQueueDestroy;
// The deferred advance of a transmit queue, run by "WINCXTxNetQueueThread".
void TxNetQueueAdvance(PVOID txQueue);

// Returns the queue's finished packets to the OS in ring order from BeginIndex up to the first
// unfinished one; the caller holds the queue's lock. True when at least one packet went back.
BOOLEAN TxQueueReturnFinished(PQZCX_TXQUEUE context);
// Marks every outstanding packet Scratch and hands them all back (BeginIndex := EndIndex on both
// rings); with countInFlight each one also leaves the in-flight counts. The caller holds the lock.
VOID TxQueueReturnAllOutstanding(PQZCX_TXQUEUE context, BOOLEAN countInFlight);
