// The ICS log intake of the firmware event layer.
#include "Common/qzevent_ics.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS ProcessIcsLog(PMP_ADAPTER adapter, const UCHAR* buffer, USHORT length)
{
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "ICS log record of %u bytes", static_cast<unsigned>(length));
    return NOT_BUILT_YET();
}
