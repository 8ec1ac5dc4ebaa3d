// Services of neighbouring subsystems the Wi-Fi Direct routines call, until their owners build them.
#include "Common/p2p/p2p_services.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS ApAuthDeauthFrameSend(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* address, USHORT reason)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(address);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "deauthentication reason %u", static_cast<unsigned>(reason));
    return NOT_BUILT_YET();
}

