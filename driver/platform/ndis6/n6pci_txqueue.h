// The NetAdapterCx transmit queue's records as the frame ring submission reads them: the queue's
// context, one side record per packet-ring element and the scatter entries of the packets'
// fragments. The transmit queue fills them; the ring submission builds each data frame's transmit
// packet table from them.
#pragma once

#include "kshim/netadapter.h"
#include "kshim/wdf.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

// Flags of a side record.
#define TX_SIDE_TAKEN 0x8000u     // taken by the driver
#define TX_SIDE_FINISHED 0x0800u  // transmission finished

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

typedef struct _TX_SG_ENTRY {
    ULONG64 VirtualAddress;  // the fragment's virtual-address extension plus its offset
    ULONG64 LogicalAddress;  // logical-address extension plus offset
    ULONG Length;            // the fragment's valid length
    USHORT Flags;            // TX_SG_*
    USHORT Unused;
} TX_SG_ENTRY, *PTX_SG_ENTRY;

typedef struct _QZCX_TXQUEUE {
    NETADAPTER NetAdapter;
    PMP_ADAPTER Adapter;
    PMP_PORT Port;
    ULONG PortId;
    volatile ULONG NotificationEnabled;
    UCHAR UserPriority;
    UCHAR AccessCategory;
    PVOID RingCollection;          // the queue's packet and fragment rings
    ULONG QueueId;
    WDFMEMORY SideMemory;
    PTX_PACKET_SIDE_INFO SideInfo; // one per packet-ring element
    ULONG ScatterEntryCount;       // at first the fragment ring's element count
    WDFCOMMONBUFFER ScatterBuffer;
    PTX_SG_ENTRY ScatterVa;
    ULONG ScatterSize;             // bytes
    ULONG ScatterCursor;           // next entry to fill
    PVOID FragmentVaExtension;     // the platform's extensions of the fragment ring and packet ring
    PVOID FragmentLaExtension;
    PVOID ExemptionExtension;
    UCHAR PeerAddress[6];
    PMAC_TABLE_ENTRY Station;
    volatile LONG InFlight;        // handed to the rings and not yet returned (a statistic for traces)
    ULONG Cancelled;
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
} QZCX_TXQUEUE, *PQZCX_TXQUEUE;
