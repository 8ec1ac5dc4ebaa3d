// Transmit and receive packet records with their fixed pools, and the software packet queues, as
// far as the shell and the bus layer call them.
//
// Every frame that crosses the bus travels in a record taken from a fixed pool: a transmit record
// owns one DMA buffer that holds the transmit descriptor and the 802.11 header, a receive record
// owns one DMA buffer attached to a receive ring slot. The pools live in driver-wide storage and
// are built once by the bus layer when it creates the rings; they never grow.
#pragma once

#include "kshim/ke.h"
#include "kshim/wdf.h"
#include "platform/ndiscommon/dmaq_rx.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

#define TX_DMAQ_POOL_COUNT 2

// Pool sizes fixed by the bus layer.
#define TX_DMAQ_POOL0_RECORDS 16376u  // data frames: descriptor and header copy only
#define TX_DMAQ_POOL0_BUFFER 90u
#define TX_DMAQ_POOL1_RECORDS 512u    // firmware commands and management frames
#define TX_DMAQ_POOL1_BUFFER 4096u
#define RX_DMAQ_POOL0_RECORDS 16380u  // receive ring 0: frames
#define RX_DMAQ_POOL0_BUFFER 4096u
#define RX_DMAQ_POOL1_RECORDS 16380u  // receive ring 1: firmware events
#define RX_DMAQ_POOL1_BUFFER 3840u
#define RX_DMAQ_POOL2_RECORDS 3072u   // receive ring 2: transmit-done reports
#define RX_DMAQ_POOL2_BUFFER 3840u

// The access-point mark of a free or untouched transmit record.
#define TX_DMAQ_AP_MARK_FREE 4

#ifndef STATUS_INVALID_PARAMETER
#define STATUS_INVALID_PARAMETER ((NTSTATUS)0xC000000DL)
#endif
// A pool that is already built.
#define STATUS_DMAQ_POOL_BUILT ((NTSTATUS)0xC0010014L)

typedef struct _TX_DMAQ_DESC {
    LIST_ENTRY Link;       // on exactly one list at a time, or none while a sender or a ring holds it
    ULONG PoolIndex;       // 0 or 1
    USHORT RecordIndex;    // position in the pool; the transmit-done token of a data frame
    UCHAR Origin;          // 0 internal, 1 from the OS, 2 wrapped buffer list
    ULONG FrameLength;
    PMP_PORT Port;
    UCHAR ApMark;          // TX_DMAQ_AP_MARK_FREE while free
    UCHAR DataClass;
    UCHAR UserPriority;
    UCHAR AccessCategory;
    UCHAR QosInserted;
    UCHAR StationIndex;
    PVOID SendContext;
    PUCHAR Frame;
    PUCHAR FirstBufferData;
    ULONG FirstBufferLength;
    UCHAR MoreFollow;
    ULONG BufferSize;
    ULONG64 BufferLa;      // bus address of the record's buffer
    PUCHAR BufferVa;
    ULONG BytesUsed;
    PVOID OsBufferList;
    PVOID OsBuffer;
    ULONG DataOffset;
    UCHAR PairwiseEapolKey;
    ULONG64 EnqueueTime;
    ULONG PacketIndex;
    PVOID TxQueue;
    PVOID TxQueueContext;
    PVOID SideInfo;
} TX_DMAQ_DESC, *PTX_DMAQ_DESC;

// One pool: its free list, its buffer area and its lock.
typedef struct _DMAQ_POOL {
    LIST_ENTRY FreeList;
    WDFCOMMONBUFFER CommonBuffer;
    PUCHAR BaseVa;
    ULONG64 BaseLa;
    ULONG AreaSize;
    ULONG FreeCount;
    ULONG OneBlock;        // 1 when every buffer lies in one common buffer
    ULONG RecordCount;     // records built (so that the release can tell all are home)
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
} DMAQ_POOL, *PDMAQ_POOL;

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

// ---- software queues ------------------------------------------------------------------------------------
// A queue of packet records linked through their list links: its list, its count and its own lock.
// Every list change checks the neighbours (a corrupted list stops the system).
typedef struct _DMAQ_QUEUE {
    LIST_ENTRY Head;
    ULONG Count;
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
} DMAQ_QUEUE, *PDMAQ_QUEUE;

// TxDWaitq: command records on the command and download rings, waiting for their descriptor's DMA
// done. Created with transmit pool 1; drained into the pool when the pool is released.
VOID TxDWaitqEnqueue(PMP_ADAPTER adapter, PTX_DMAQ_DESC record);
// The record whose buffer virtual address is `bufferVa`; null: the head. Null when none.
PTX_DMAQ_DESC TxDWaitqDequeue(PMP_ADAPTER adapter, PVOID bufferVa);
ULONG TxDWaitqGetCount(PMP_ADAPTER adapter);

// RxProcq[ring]: received records of a receive ring waiting for processing. Created with the
// ring's receive pool; a ring of 3 or more is traced and ignored.
VOID RxProcqEnqueue(PMP_ADAPTER adapter, PRX_DMAQ_DESC record, ULONG ring);
PRX_DMAQ_DESC RxProcqDequeue(PMP_ADAPTER adapter, ULONG ring);
ULONG RxProcqGetCount(PMP_ADAPTER adapter, ULONG ring);
// Returns every record of the queue to its pool: 0xC000000D for a ring of 3 or more.
NTSTATUS RxProcqFree(PMP_ADAPTER adapter, ULONG ring);

// ---- port buffer-list queues ------------------------------------------------------------------------
// Hands every buffer-list chain still waiting in the port's NBL wait queue back to the OS.
NTSTATUS PortNblWaitqFlush(PMP_ADAPTER adapter, PMP_PORT port);
// Frees every entry of the port's NBL free queue.
NTSTATUS PortNblFreeqDeInit(PMP_PORT port);
