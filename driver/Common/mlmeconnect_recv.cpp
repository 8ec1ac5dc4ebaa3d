// The block-ack control intake of the connection code.
#include "Common/mlmeconnect_recv.h"

#include "platform/ndiscommon/trace.h"

VOID CntlEnqueueForRecv(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, ULONG length, const UCHAR* header)
{
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "Block Ack Request of WLAN index %u, %u bytes", static_cast<unsigned>(wlanIndex),
             static_cast<unsigned>(length));
    (void)NOT_BUILT_YET();
}
