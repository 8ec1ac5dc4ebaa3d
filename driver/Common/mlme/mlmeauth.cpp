// The station authentication machines: requests and even-numbered frames, odd-numbered frames and deauthentication.
#include "Common/mlme/mlmeauth.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

VOID MlmeAuthStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    // Until the machine's actions exist every message is dropped.
    StateMachineInit(machine, port->Mlme.AuthFunc, AUTH_MACHINE_STATES, AUTH_MACHINE_MSGS, Drop, 0, 0);
    (void)NOT_BUILT_YET();
}

VOID MlmeAuthRspStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    // Until the machine's actions exist every message is dropped.
    StateMachineInit(machine, port->Mlme.AuthRspFunc, AUTH_RSP_MACHINE_STATES, AUTH_RSP_MACHINE_MSGS, Drop, 0, 0);
    (void)NOT_BUILT_YET();
}

NTSTATUS MlmeAuthDeauthReq(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, USHORT reason)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(peer);
    UNREFERENCED_PARAMETER(reason);
    return NOT_BUILT_YET();
}
