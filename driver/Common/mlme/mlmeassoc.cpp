// The association machine.
#include "Common/mlme/mlmeassoc.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS MlmeDisassocReqAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    MLME_DISASSOC_REQ_STRUCT request = {};
    if (elem->MsgLen >= sizeof(request)) {
        std::memcpy(&request, elem->Msg, sizeof(request));
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME,
             "MlmeDisassocReqAction: machine %u message %u port %u peer %02X:%02X:%02X:%02X:%02X:%02X reason %u",
             static_cast<unsigned>(elem->Machine), static_cast<unsigned>(elem->MsgType),
             static_cast<unsigned>(elem->PortIndex), request.Addr[0], request.Addr[1], request.Addr[2],
             request.Addr[3], request.Addr[4], request.Addr[5], static_cast<unsigned>(request.Reason));
    return NOT_BUILT_YET();
}
