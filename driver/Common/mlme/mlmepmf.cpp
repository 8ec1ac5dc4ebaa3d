// The management-frame protection machine: SA Query.
#include "Common/mlme/mlmepmf.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

VOID PmfStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    // Until the machine's actions exist every message is dropped.
    StateMachineInit(machine, port->Mlme.PmfFunc, PMF_MACHINE_STATES, PMF_MACHINE_MSGS, Drop, 0, 0);
    (void)NOT_BUILT_YET();
}
