// The operating-system-driven Wi-Fi Direct routines.
#include "Common/p2p/p2pms.h"

#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

NTSTATUS P2pMsInfoResetRequest(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS P2pMsIndicateDiscoverComplete(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

void P2pMsFreeBuffer(PUCHAR* buffer, PULONG length)
{
    if (*buffer != nullptr) {
        PlatformFreeMemory(*buffer, *length);
        *buffer = nullptr;
    }
    *length = 0;
}
