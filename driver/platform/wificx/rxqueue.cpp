// The NetAdapterCx receive queue.
#include "platform/wificx/rxqueue.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS EvtAdapterCreateRxQueue(NETADAPTER adapter, NETRXQUEUE_INIT* rxQueueInit)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(rxQueueInit);
    return NOT_BUILT_YET();
}
