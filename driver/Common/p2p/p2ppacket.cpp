// Wi-Fi Direct frames: builders and receive handlers, and the group owner's beacon template.
#include "Common/p2p/p2ppacket.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS GOUpdateBeaconFrame(PMP_ADAPTER adapter, PMP_PORT port, UCHAR followStation)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(followStation);
    return NOT_BUILT_YET();
}
