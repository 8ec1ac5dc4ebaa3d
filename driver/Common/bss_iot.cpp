// The built-in IoT access-point rules.
#include "Common/bss_iot.h"

#include "platform/ndiscommon/trace.h"

ULONG bssGetIotApAction(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
    return 0;
}
