// The connect-control machine.
#include "Common/mlme/mlmeconnect.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS MlmeCntLinkDown(PMP_PORT port, ULONG reason)
{
    UNREFERENCED_PARAMETER(port);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "MlmeCntLinkDown: reason %u", static_cast<unsigned>(reason));
    return NOT_BUILT_YET();
}

VOID MlmeCntlInit(PMLME_CNTL_MACHINE machine)
{
    machine->CurrState = 0;
    machine->ResetRequest = 0;
}

VOID MlmeCntResetState(PMP_PORT port, PMLME_CNTL_MACHINE machine)
{
    UNREFERENCED_PARAMETER(port);
    machine->CurrState = 0;
    machine->ResetRequest = 0;
}

VOID MlmeCntlMachinePerformAction(PMP_ADAPTER adapter, PMLME_CNTL_MACHINE machine, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "MlmeCntlMachinePerformAction: state %u message %u",
             static_cast<unsigned>(machine->CurrState), static_cast<unsigned>(elem->MsgType));
    (void)NOT_BUILT_YET();
}

VOID MlmeCntlResetConnectTarget(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    // Port 0's desired BSSID lives in the connect-control record.
    (void)NOT_BUILT_YET();
}
