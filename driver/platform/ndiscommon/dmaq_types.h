// The adapter's packet pools and software packet queues: the storage of the transmit and receive
// record pools and of every queue the records travel through, one set per device.
#pragma once

#include "kshim/ke.h"
#include "kshim/wdf.h"

#define TX_DMAQ_POOL_COUNT 2
#define RX_DMAQ_POOL_COUNT 3

typedef struct _TX_DMAQ_POOL {
    LIST_ENTRY FreeList;
    WDFCOMMONBUFFER CommonBuffer;
    PUCHAR BaseVa;
    ULONG64 BaseLa;
    PVOID AuxBuffer;       // always null
    ULONG AuxBufferSize;   // always 0
    ULONG AreaSize;
    ULONG FreeCount;
    ULONG OneBlock;        // 1 when every buffer lies in one common buffer
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
    ULONG RecordCount;     // records built, so that a release can tell whether all are home
} TX_DMAQ_POOL, *PTX_DMAQ_POOL;

typedef struct _RX_DMAQ_POOL {
    LIST_ENTRY FreeList;
    WDFCOMMONBUFFER CommonBuffer;
    PUCHAR BaseVa;
    ULONG64 BaseLa;
    ULONG AreaSize;
    ULONG FreeCount;
    ULONG OneBlock;
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
    ULONG RecordCount;
    BOOLEAN Untouched;  // built from fresh (zeroed) memory, and no record has come back since
} RX_DMAQ_POOL, *PRX_DMAQ_POOL;

// A queue of packet records linked through their list links: its list, its count and its own lock.
// Every list change checks the neighbours (a corrupted list stops the system).
typedef struct _DMAQ_QUEUE {
    LIST_ENTRY Head;
    ULONG Count;
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
    UCHAR Created;         // set once the list head is initialised
} DMAQ_QUEUE, *PDMAQ_QUEUE;

#define TX_PROCQ_COUNT 5      // per access category
#define TX_BMC_PSQ_COUNT 5    // per port index
#define TX_UC_PSQ_COUNT 20    // per station index
#define RX_REORDERQ_COUNT 64  // per block-ack agreement
#define PORT_NBL_QUEUE_COUNT 5

typedef struct _DMAQ_STORE {
    TX_DMAQ_POOL TxDmaqPool[TX_DMAQ_POOL_COUNT];
    RX_DMAQ_POOL RxDmaqPool[RX_DMAQ_POOL_COUNT];
    DMAQ_QUEUE TxProcq[TX_PROCQ_COUNT];
    DMAQ_QUEUE TxDoneWaitq;
    DMAQ_QUEUE TxDWaitq;
    DMAQ_QUEUE TxBmcPsq[TX_BMC_PSQ_COUNT];
    DMAQ_QUEUE TxUcPsq[TX_UC_PSQ_COUNT];
    DMAQ_QUEUE RxProcq[RX_DMAQ_POOL_COUNT];
    DMAQ_QUEUE RxReorderq[RX_REORDERQ_COUNT];
    DMAQ_QUEUE PortNblFreeq[PORT_NBL_QUEUE_COUNT];
    DMAQ_QUEUE PortNblWaitq[PORT_NBL_QUEUE_COUNT];
} DMAQ_STORE, *PDMAQ_STORE;
