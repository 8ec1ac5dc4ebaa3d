// The access-point receive entries that the receive dispatch hands frames of access-point ports to.
#include "Common/ap_recv.h"

#include "Common/recv.h"
#include "platform/ndiscommon/trace.h"

// The access-point receive path comes with the access point; until then its frames are returned.
VOID Qz3501ApDataCommonRxPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    RecvReturnUntaken(adapter, record, "Qz3501ApDataCommonRxPacket");
    (void)NOT_BUILT_YET();
}

VOID Arvel3xApDataCommonRxPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    RecvReturnUntaken(adapter, record, "Arvel3xApDataCommonRxPacket");
    (void)NOT_BUILT_YET();
}

VOID ApDataCommonRxPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    RecvReturnUntaken(adapter, record, "ApDataCommonRxPacket");
    (void)NOT_BUILT_YET();
}
