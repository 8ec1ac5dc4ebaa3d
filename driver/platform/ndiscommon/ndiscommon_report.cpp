// The receive hand-off to the OS.
#include "platform/ndiscommon/ndiscommon_report.h"

#include "platform/ndiscommon/dmaq_rx.h"
#include "platform/ndiscommon/trace.h"

NTSTATUS NdisCommonReportEthFrameToLLC(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR userPriority,
                                       UCHAR accessPoint, UCHAR immediate)
{
    // The receive queue comes with the NetAdapterCx receive path; the frame is returned meanwhile.
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "frame of %u bytes for the OS, priority %u",
             static_cast<unsigned>(record != nullptr ? record->FrameLength : 0), static_cast<unsigned>(userPriority));
    if (record != nullptr) {
        RxDmaqFree(adapter, record);
    }
    return NOT_BUILT_YET();
}
