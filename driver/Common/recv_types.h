// The receive processing's records: the adapter's reassembly slots and data counters, and a port's
// early-frame and EAP-identity stores and receive batch.
#pragma once

#include "kshim/ke.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

#define RX_FRAG_SLOTS 10
#define RX_FRAG_BUFFER 4096
#define RX_PORT_STORE_SIZE 2048   // the early-frame and EAP-identity stores (MLME buffers)
#define RX_LINK_STATE_UP 5        // the connection state from link up on

// A reassembly slot: one fragmented frame of one sender being put together (slot = sequence mod 10).
typedef struct _RX_FRAG_SLOT {
    UCHAR InUse;
    UCHAR Transmitter[6];        // the sender (address 2): fragments of another sender never join
    USHORT Sequence;
    USHORT LastFragment;
    UCHAR SecurityMode;          // of the first fragment (second and third generation)
    UCHAR Tid;
    ULONG Length;                // bytes so far, the 24-byte header included
    ULONG64 NextPn;              // the packet number the next fragment must carry (0: none)
    ULONG64 ArrivalTime;         // system time of the first fragment
    UCHAR Data[RX_FRAG_BUFFER];
} RX_FRAG_SLOT, *PRX_FRAG_SLOT;

// The adapter's share of the receive processing: the reassembly slots (under their own lock), the
// EAPOL-to-MLME value that the Wi-Fi Direct and link-down code write, and the data counters.
typedef struct _ADAPTER_RECV_BLOCK {
    KSPIN_LOCK FragLock;
    UCHAR FragReady;
    RX_FRAG_SLOT FragSlots[RX_FRAG_SLOTS];
    ULONG EapolToMlme;
    ULONG64 UnicastDataFrames;   // unicast data frames that reached the unicast step
    ULONG64 DroppedDataFrames;   // data frames the data steps refused
    ULONG BatchTotals[2];        // frames in the ports' receive batches: all of them, and this pass
} ADAPTER_RECV_BLOCK, *PADAPTER_RECV_BLOCK;

// A port's share: the connection state the receive path tests (the connection code writes it; 5 from
// link up on), the identity-capture byte, the early-frame store (a frame that arrived before the port
// opened, handed on at association) and the EAP-identity store, both MLME buffers taken on first use.
typedef struct _PORT_RECV_BLOCK {
    ULONG LinkState;
    UCHAR IdentityCapture;
    PUCHAR EarlyFrame;
    ULONG EarlyFrameLength;
    UCHAR EarlyFrameTid;
    PUCHAR EapIdentity;
    ULONG EapIdentityLength;
    // The receive batch of the buffer-list hand-off: receive records collected for one indication per
    // ring pass (the NetAdapterCx receive queue takes frames one by one and leaves it empty).
    KSPIN_LOCK BatchLock;
    LIST_ENTRY Batch;
    ULONG BatchCount;
    UCHAR Ready;
} PORT_RECV_BLOCK, *PPORT_RECV_BLOCK;
