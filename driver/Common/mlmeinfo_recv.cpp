// Key and security indications of the connection code that the receive checks call.
#include "Common/mlmeinfo_recv.h"

#include "platform/ndiscommon/trace.h"

VOID PlatformIndicateMICFailure(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* transmitter, UCHAR keyIndex,
                                BOOLEAN groupKey)
{
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "MIC failure: key %u, %s key", static_cast<unsigned>(keyIndex),
             groupKey ? "group" : "pairwise");
    (void)NOT_BUILT_YET();
}
