// The access-point receive entries that the receive dispatch hands frames of access-point ports to.
#include "Common/ap_recv.h"

#include "platform/ndiscommon/dmaq_rx.h"
#include "platform/ndiscommon/trace.h"

namespace {

// The access-point receive path comes with the access point; until then its frames are returned.
VOID ApNotBuilt(PMP_ADAPTER adapter, PRX_DMAQ_DESC record, PCSTR name)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_RX, "%s: frame of an access-point port returned", name);
    if (record != nullptr) {
        RxDmaqFree(adapter, record);
    }
    (void)NOT_BUILT_YET();
}

}  // namespace

VOID Qz3501ApDataCommonRxPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    ApNotBuilt(adapter, record, "Qz3501ApDataCommonRxPacket");
}

VOID Arvel3xApDataCommonRxPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    ApNotBuilt(adapter, record, "Arvel3xApDataCommonRxPacket");
}

VOID ApDataCommonRxPacket(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi)
{
    ApNotBuilt(adapter, record, "ApDataCommonRxPacket");
}
