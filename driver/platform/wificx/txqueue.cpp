// The NetAdapterCx transmit queue.
#include "platform/wificx/txqueue.h"

#include "platform/ndiscommon/trace.h"

void TxNetQueueAdvance(PVOID txQueue)
{
    UNREFERENCED_PARAMETER(txQueue);
    (void)NOT_BUILT_YET();
}

NTSTATUS EvtAdapterCreateTxQueue(NETADAPTER adapter, NETTXQUEUE_INIT* txQueueInit)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(txQueueInit);
    return NOT_BUILT_YET();
}
