// The SAE authentication machine.
#include "Common/mlme/mlmesae.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

VOID MlmeSAEStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    // Until the machine's actions exist every message is dropped.
    StateMachineInit(machine, port->Mlme.SaeFunc, SAE_MACHINE_STATES, SAE_MACHINE_MSGS, Drop, 0, 0);
    (void)NOT_BUILT_YET();
}

VOID MlmeSAEResendReset(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
}
