// The NetAdapterCx transmit queue.
#include "platform/wificx/txqueue.h"

#include "platform/ndiscommon/trace.h"

void TxNetQueueAdvance(PVOID txQueue)
{
    UNREFERENCED_PARAMETER(txQueue);
    (void)NOT_BUILT_YET();
}
