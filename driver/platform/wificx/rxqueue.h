// The NetAdapterCx receive queue: one per net adapter. A received frame stays in its receive
// record's DMA buffer; a return record carries it to the queue, the advance posts it to the OS as a
// one-fragment packet and the OS gives the buffer back through the adapter's return callback.
#pragma once

#include "kshim/netadapter_queue.h"
#include "kshim/wdf.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
struct _RX_DMAQ_DESC;

// The receive queue's framework context.
typedef struct _QZCX_RXQUEUE {
    NETADAPTER NetAdapter;
    PMP_ADAPTER Adapter;
    PMP_PORT Port;
    const NET_RING_COLLECTION* RingCollection;
    WDFOBJECT Extra;  // deleted at destroy when set
    ULONG QueueId;
    NET_EXTENSION FragmentVaExtension;
    NET_EXTENSION FragmentLaExtension;
    NET_EXTENSION ReturnContextExtension;
} QZCX_RXQUEUE, *PQZCX_RXQUEUE;
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(QZCX_RXQUEUE, QZCxGetRxQueueContext);

// Creates the receive queue of a net adapter.
EVT_NET_ADAPTER_CREATE_RXQUEUE EvtAdapterCreateRxQueue;
NTSTATUS QZRxQueueInitialize(NETADAPTER netAdapter, NETPACKETQUEUE queue);
EVT_PACKET_QUEUE_ADVANCE EvtRxQueueAdvance;
EVT_PACKET_QUEUE_SET_NOTIFICATION_ENABLED EvtRxQueueSetNotificationEnabled;
EVT_PACKET_QUEUE_CANCEL EvtRxQueueCancel;
EVT_PACKET_QUEUE_START EvtRxQueueStart;
EVT_PACKET_QUEUE_STOP EvtRxQueueStop;
EVT_WDF_OBJECT_CONTEXT_DESTROY EvtRxQueueDestroy;

// Queues a received frame for the port's receive queue: TRUE when queued, FALSE when no return
// record was free (the caller still owns the receive record).
BOOLEAN QZCxRxEnqueu(PMP_ADAPTER adapter, PMP_PORT port, struct _RX_DMAQ_DESC* record);
// After a batch of QZCxRxEnqueu: notifies the receive queue of each list that has frames waiting,
// once per enabling of notification by the OS.
VOID QZCxRxNotify(PMP_ADAPTER adapter);
