// Target wake time: the TWT machine.
#include "Common/he/twt.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

VOID TwtStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    // Until the machine's actions exist every message is dropped.
    StateMachineInit(machine, port->Mlme.TwtFunc, TWT_MACHINE_STATES, TWT_MACHINE_MSGS, Drop, 0, 0);
    (void)NOT_BUILT_YET();
}

VOID twtTxDoneHandler(PMP_ADAPTER adapter, UCHAR wlanIndex, UCHAR status)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(wlanIndex);
    UNREFERENCED_PARAMETER(status);
    (void)NOT_BUILT_YET();
}

VOID twtRecvActionFrame(PMP_ADAPTER adapter, ULONG portIndex, const UCHAR* frame, ULONG length)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(portIndex);
    UNREFERENCED_PARAMETER(frame);
    UNREFERENCED_PARAMETER(length);
    (void)NOT_BUILT_YET();
}
