// The association machine.
#include "Common/mlme/mlmeassoc.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

VOID MlmeAssocStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    // Until the association actions exist every message of the machine is dropped.
    StateMachineInit(machine, port->Mlme.AssocFunc, ASSOC_MACHINE_STATES, ASSOC_MACHINE_MSGS, Drop, 0, 0);
    (void)NOT_BUILT_YET();
}

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

VOID MboMakeNonPrefChnlReport(PMP_ADAPTER adapter, PMP_PORT port, UCHAR form, const void* settings, PULONG length,
                              PUCHAR output)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(form);
    UNREFERENCED_PARAMETER(settings);
    UNREFERENCED_PARAMETER(output);
    if (length != nullptr) {
        *length = 0;
    }
    (void)NOT_BUILT_YET();
}
