// Capability and operation elements of a port.
#include "Common/rlm.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS VhtInitCtrl(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS HeInitCtrl(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS EhtInitCtrl(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}
