// The receive packet record as the receive path hands it on: one DMA buffer of a receive ring and
// what the ring service and the descriptor parser learnt about its contents. The pools the records
// live in are built with the rings.
#pragma once

#include "kshim/nt_types.h"
#include "platform/ndiscommon/dmaq_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

#define RX_DMAQ_GROUP_SLOTS 4

typedef struct _RX_DMAQ_DESC {
    LIST_ENTRY Links;         // free list of its pool, or one software queue
    ULONG PoolIndex;          // 0 to 2: the receive ring the buffer serves
    ULONG BufferSize;         // bytes of the DMA buffer
    ULONG BufferLogicalLow;   // bus address of the buffer
    ULONG BufferLogicalHigh;
    PUCHAR BufferVa;          // the buffer; the chip's receive descriptor starts it
    ULONG ReceivedLength;     // bytes the chip wrote (the ring's DMA length); cleared on return
    PUCHAR Frame;             // 802.11 header inside the buffer, set by the descriptor parser
    ULONG FrameLength;
    PUCHAR Descriptor;        // the receive descriptor, then groups 1, 2, 3 and 5 when present
    PUCHAR Groups[RX_DMAQ_GROUP_SLOTS];
    UCHAR Flag;               // cleared on return
} RX_DMAQ_DESC, *PRX_DMAQ_DESC;

// Returns a receive record to the pool of its ring: the per-use fields are cleared, and the record
// goes to the tail of its pool. A pool index above 2 is traced and the record left alone.
void RxDmaqFree(PMP_ADAPTER adapter, PRX_DMAQ_DESC record);
