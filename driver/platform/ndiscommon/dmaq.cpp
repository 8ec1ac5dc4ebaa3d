// The software packet queues.
#include "platform/ndiscommon/dmaq.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS PortNblWaitqFlush(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS PortNblFreeqDeInit(PMP_PORT port)
{
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}
