// Transmit and receive packet records with their fixed pools, and the software packet queues, as
// far as the shell and the bus layer call them.
//
// Every frame that crosses the bus travels in a record taken from a fixed pool: a transmit record
// owns one DMA buffer that holds the transmit descriptor and the 802.11 header, a receive record
// owns one DMA buffer attached to a receive ring slot. The pools and queues are the adapter's
// own (one set per device) and are built by the bus layer when it creates the rings; they never grow.
#pragma once

#include "kshim/ke.h"
#include "kshim/wdf.h"
#include "platform/ndiscommon/dmaq_rx.h"
#include "platform/ndiscommon/dmaq_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;


// Pool sizes fixed by the bus layer. A data record's buffer holds the 32-byte transmit descriptor,
// the 32-byte transmit packet table and the header copy: 24 bytes, or 28 with the QoS control field
// and its 2 bytes of padding. 96 bytes keep every byte a record declares inside its own buffer.
#define TX_DMAQ_POOL0_RECORDS 16376u  // data frames: descriptor and header copy only
#define TX_DMAQ_POOL0_BUFFER 96u
#define TX_DMAQ_POOL1_RECORDS 512u    // firmware commands and management frames
#define TX_DMAQ_POOL1_BUFFER 4096u
#define RX_DMAQ_POOL0_RECORDS 16380u  // receive ring 0: frames
#define RX_DMAQ_POOL0_BUFFER 4096u
#define RX_DMAQ_POOL1_RECORDS 16380u  // receive ring 1: firmware events
#define RX_DMAQ_POOL1_BUFFER 3840u
#define RX_DMAQ_POOL2_RECORDS 3072u   // receive ring 2: transmit-done reports
#define RX_DMAQ_POOL2_BUFFER 3840u

// Bytes of a data record's buffer in front of the header copy: transmit descriptor and TXP.
#define TX_DMAQ_HEADER_COPY_OFFSET 64u

// The access-point mark of a free or untouched transmit record; the access-point send step sets 1.
#define TX_DMAQ_AP_MARK_FREE 4
#define TX_DMAQ_AP_MARK_AP 1

// Origins of a transmit record.
#define TX_DMAQ_ORIGIN_INTERNAL 0
#define TX_DMAQ_ORIGIN_OS 1
#define TX_DMAQ_ORIGIN_WRAPPED 2

#ifndef STATUS_INVALID_PARAMETER
#define STATUS_INVALID_PARAMETER ((NTSTATUS)0xC000000DL)
#endif
// A pool that is already built, or a queue that still holds records when it is created.
#define STATUS_DMAQ_POOL_BUILT ((NTSTATUS)0xC0010014L)

typedef struct _TX_DMAQ_DESC {
    LIST_ENTRY Link;       // on exactly one list at a time, or none while a sender or a ring holds it
    ULONG PoolIndex;       // 0 or 1
    USHORT RecordIndex;    // position in the pool; the transmit-done token of a data frame
    UCHAR Origin;          // TX_DMAQ_ORIGIN_*
    ULONG FrameLength;     // bytes of 802.11 header and body
    PMP_PORT Port;
    UCHAR ApMark;          // TX_DMAQ_AP_MARK_FREE while free
    UCHAR DataClass;       // 1 for data frames from the OS
    UCHAR UserPriority;    // 802.1D priority 0-7
    UCHAR AccessCategory;  // 0 background, 1 best effort, 2 video, 3 voice, 4 other: its TxProcq
    UCHAR QosInserted;
    UCHAR StationIndex;    // firmware WLAN index of the receiver
    PVOID SendContext;     // OS send context of a buffer-list packet
    PUCHAR Frame;          // the 802.11 header: the OS data, after the hard transmit the copy
    PUCHAR FirstBufferData;
    ULONG FirstBufferLength;
    UCHAR MoreFollow;      // further packets of the same advance follow this one
    UCHAR RetryMark;       // put back at the head of its queue when the ring ran out of room
    ULONG BufferSize;
    ULONG64 BufferLa;      // bus address of the record's buffer
    PUCHAR BufferVa;       // descriptor and TXP in the first 64 bytes, the header copy from byte 64
    ULONG BytesUsed;
    PVOID OsBufferList;    // NET_BUFFER_LIST of a buffer-list packet
    PVOID OsBuffer;
    ULONG DataOffset;
    UCHAR PairwiseEapolKey;
    ULONG64 EnqueueTime;   // system time (100 ns) of the entry into TxDoneWaitq
    ULONG PacketIndex;     // index in the NetAdapterCx packet ring
    PVOID TxQueue;         // NetAdapterCx transmit queue and its context
    PVOID TxQueueContext;
    PVOID SideInfo;        // the packet's side record
} TX_DMAQ_DESC, *PTX_DMAQ_DESC;



// ---- pools ---------------------------------------------------------------------------------------------
// Builds a pool of `count` records of `bufferSize` bytes on the adapter's DMA enabler: one common
// buffer for the whole pool, or one per record when that fails. 0xC000000D for a bad index,
// 0xC0010014 for a pool already built, 0xC000009A when memory runs out (the pool is released).
NTSTATUS __TxDmaqInit(PMP_ADAPTER adapter, ULONG poolIndex, ULONG count, ULONG bufferSize);
NTSTATUS __RxDmaqInit(PMP_ADAPTER adapter, ULONG poolIndex, ULONG count, ULONG bufferSize);
// Frees every record on the free list and the pool's common buffer. 0xC000000D bad index,
// 0xC0000001 pool never built; a pool whose records are all out is left as it is (0).
NTSTATUS __TxDmaqFree(PMP_ADAPTER adapter, ULONG poolIndex);
NTSTATUS __RxDmaqFree(PMP_ADAPTER adapter, ULONG poolIndex);
// One common buffer of count x bufferSize bytes for the pool: its base virtual address (handle and
// addresses stored in the pool), or null when the enabler cannot give it.
PUCHAR TxDmaqAllocBufPool(PMP_ADAPTER adapter, PTX_DMAQ_POOL pool, ULONG bufferSize, ULONG count);
PUCHAR RxDmaqAllocBufPool(PMP_ADAPTER adapter, PRX_DMAQ_POOL pool, ULONG bufferSize, ULONG count);
// The pool, then the software queues that belong with it: pool 1 TxDWaitq; pool 0 the five
// TxProcq, TxDoneWaitq, the five TxBmcPsq, the twenty TxUcPsq and the port buffer-list queues;
// receive pool r its RxProcq, and pool 0 the 64 RxReorderq. A queue that still holds records
// refuses with 0xC0010014 (the pool stays built).
NTSTATUS TxDmaqInit(PMP_ADAPTER adapter, ULONG poolIndex, ULONG count, ULONG bufferSize);
NTSTATUS RxDmaqInit(PMP_ADAPTER adapter, ULONG poolIndex, ULONG count, ULONG bufferSize);
// Drains every transmit queue into the pools without completing anything, then releases both
// transmit pools.
VOID TxDmaqDeInit(PMP_ADAPTER adapter);
// Returns the records still attached to receive ring slots, frees RxProcq 0-2 and the reorder
// queues into the pools, then releases the three receive pools.
VOID RxDmaqDeInit(PMP_ADAPTER adapter);

// Take and return (any IRQL up to DISPATCH_LEVEL).
PTX_DMAQ_DESC TxDmaqAlloc(PMP_ADAPTER adapter, ULONG poolIndex);
VOID TxDmaqFree(PMP_ADAPTER adapter, PTX_DMAQ_DESC record);
ULONG TxDmaqGetFreeCount(PMP_ADAPTER adapter, ULONG poolIndex);
// An empty pool sets its bit in the adapter's exhaustion mask and adds 0x10000 to the failure count.
PRX_DMAQ_DESC RxDmaqAlloc(PMP_ADAPTER adapter, ULONG poolIndex);
// The last step of RxDmaqFree: the record goes to the tail of its pool and the pool's exhaustion
// bit is cleared.
VOID RxDmaqReturnToPool(PMP_ADAPTER adapter, PRX_DMAQ_DESC record);
ULONG RxDmaqGetFreeCount(PMP_ADAPTER adapter, ULONG poolIndex);
// Whether every buffer of the pool still holds the zeros of its fresh common buffer (no record has come
// back to the pool since it was built): a ring set up from it need not zero them again.
BOOLEAN RxDmaqPoolUntouched(PMP_ADAPTER adapter, ULONG poolIndex);

// ---- software queues ------------------------------------------------------------------------------------


// Keys of TxDoneWaitqDequeue besides a transmit-done token.
#define TX_DONE_WAITQ_HEAD 0xFFFFu
#define TX_DONE_WAITQ_AGEOUT 0xFFFEu

// TxProcq[ac]: data records waiting for ring space.
VOID TxProcqEnqueue(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, UCHAR ac, BOOLEAN atHead);
PTX_DMAQ_DESC TxProcqDequeue(PMP_ADAPTER adapter, UCHAR ac);
PTX_DMAQ_DESC TxProcqDequeueByPeerAddr(PMP_ADAPTER adapter, UCHAR ac, const UCHAR* address);
PTX_DMAQ_DESC TxProcqDequeueByPort(PMP_ADAPTER adapter, UCHAR ac, USHORT portIndex);
ULONG TxProcqGetCount(PMP_ADAPTER adapter, UCHAR ac);

// TxDoneWaitq: data records on a data ring, waiting for their transmit-done report.
// Enqueue at the tail stamps the enqueue time. Dequeue(key): the record whose token is the key;
// else the head for TX_DONE_WAITQ_HEAD; else, for TX_DONE_WAITQ_AGEOUT, the first record that
// waited at least "AgeoutMsduReport" seconds (none: the sweep time is stored in the adapter).
VOID TxDoneWaitqEnqueue(PMP_ADAPTER adapter, PTX_DMAQ_DESC record);
PTX_DMAQ_DESC TxDoneWaitqDequeue(PMP_ADAPTER adapter, ULONG key);
PTX_DMAQ_DESC TxDoneWaitqDequeueTail(PMP_ADAPTER adapter);
PTX_DMAQ_DESC TxDoneWaitqDequeueByPeerAddr(PMP_ADAPTER adapter, const UCHAR* address);
PTX_DMAQ_DESC TxDoneWaitqDequeueByPort(PMP_ADAPTER adapter, USHORT portIndex);
ULONG TxDoneWaitqGetCount(PMP_ADAPTER adapter);
// Traces how many records of each port (0-4) wait for their transmit-done report.
VOID TxDoneWaitqStat(PMP_ADAPTER adapter);
// After a firmware recovery: the frames on the rings go back in front of TxProcq, and every
// buffer-list frame then moves to its port's pending chain to be sent again.
VOID TxDoneWaitQTailToTxProcessQHead(PMP_ADAPTER adapter);

// TxDWaitq: command and management records on the command and download rings, waiting for their
// descriptor's DMA done.
VOID TxDWaitqEnqueue(PMP_ADAPTER adapter, PTX_DMAQ_DESC record);
// The record whose buffer virtual address is `bufferVa`; null: the head. Null when none.
PTX_DMAQ_DESC TxDWaitqDequeue(PMP_ADAPTER adapter, PVOID bufferVa);
ULONG TxDWaitqGetCount(PMP_ADAPTER adapter);

// TxBmcPsq[port]: group-addressed frames held while stations of an access-point port sleep. A port
// index of 5 or more gives null, or leaves the record where it was.
VOID TxBmcPsqEnqueue(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, ULONG portIndex);
PTX_DMAQ_DESC TxBmcPsqDequeue(PMP_ADAPTER adapter, ULONG portIndex);
PTX_DMAQ_DESC TxBmcPsqDequeueByPeerAddr(PMP_ADAPTER adapter, ULONG portIndex, const UCHAR* address);
PTX_DMAQ_DESC TxBmcPsqDequeueByPort(PMP_ADAPTER adapter, ULONG portIndex);
ULONG TxBmcPsqGetCount(PMP_ADAPTER adapter, ULONG portIndex);

// TxUcPsq[station]: unicast frames held while that station sleeps; a station index of 20 or more
// gives null, or leaves the record where it was.
VOID TxUcPsqEnqueue(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, ULONG stationIndex);
PTX_DMAQ_DESC TxUcPsqDequeue(PMP_ADAPTER adapter, ULONG stationIndex);
PTX_DMAQ_DESC TxUcPsqDequeueByPeerAddr(PMP_ADAPTER adapter, ULONG stationIndex, const UCHAR* address);
PTX_DMAQ_DESC TxUcPsqDequeueByPort(PMP_ADAPTER adapter, ULONG stationIndex, USHORT portIndex);

// RxProcq[ring]: received records of a receive ring waiting for processing. A ring of 3 or more
// is traced and ignored.
VOID RxProcqEnqueue(PMP_ADAPTER adapter, PRX_DMAQ_DESC record, ULONG ring);
PRX_DMAQ_DESC RxProcqDequeue(PMP_ADAPTER adapter, ULONG ring);
ULONG RxProcqGetCount(PMP_ADAPTER adapter, ULONG ring);
// Returns every record of the queue to its pool: 0xC000000D for a ring of 3 or more.
NTSTATUS RxProcqFree(PMP_ADAPTER adapter, ULONG ring);

// 12-bit sequence numbers: a precedes b when b lies in the 2047 numbers after a, across the wrap.
BOOLEAN IsSeqNumBefore(USHORT a, USHORT b);

typedef struct _REORDER_SESSION REORDER_SESSION, *PREORDER_SESSION;
// RxReorderq[session's queue index]: received frames of a block-ack agreement in sequence order.
// Enqueue returns TRUE when the frame was taken (a refused frame stays with the caller); the
// session's duplicate flag keeps the sub-frames of a repeated A-MSDU out.
BOOLEAN RxReorderqEnqueue(PMP_ADAPTER adapter, PRX_DMAQ_DESC record, PREORDER_SESSION session);
// number 0xFFFF: the head. exact: the first frame with that number (the walk ends at the first
// frame the number precedes). Not exact: the head, when its number is the given one or precedes it.
PRX_DMAQ_DESC RxReorderqDequeue(PMP_ADAPTER adapter, PREORDER_SESSION session, USHORT number, BOOLEAN exact);
ULONG RxReorderqGetCount(PMP_ADAPTER adapter, PREORDER_SESSION session);
// The 12-bit sequence number of a received frame, from its parsed 802.11 header (0 when the record
// holds no complete header).
USHORT RxDmaqGetSeqNum(PRX_DMAQ_DESC record);

// ---- port buffer-list queues ------------------------------------------------------------------------
// An entry of a port's buffer-list queues: a chain of OS buffer lists waiting for ring space.
typedef struct _PORT_NBL_QUEUE_ENTRY {
    LIST_ENTRY Links;
    PVOID NblChain;  // NET_BUFFER_LIST chain
} PORT_NBL_QUEUE_ENTRY, *PPORT_NBL_QUEUE_ENTRY;

VOID PortNblFreeqEnqueue(PMP_PORT port, PPORT_NBL_QUEUE_ENTRY entry);
PPORT_NBL_QUEUE_ENTRY PortNblFreeqDequeue(PMP_PORT port);
ULONG PortNblFreeqGetCount(PMP_PORT port);
VOID PortNblWaitqEnqueue(PMP_PORT port, PPORT_NBL_QUEUE_ENTRY entry, BOOLEAN atHead);
PPORT_NBL_QUEUE_ENTRY PortNblWaitqDequeue(PMP_PORT port);
ULONG PortNblWaitqGetCount(PMP_PORT port);
// Hands every buffer-list chain still waiting in the port's NBL wait queue back to the OS.
NTSTATUS PortNblWaitqFlush(PMP_ADAPTER adapter, PMP_PORT port);
// Frees every entry of the port's NBL free queue to the allocator.
NTSTATUS PortNblFreeqDeInit(PMP_PORT port);
