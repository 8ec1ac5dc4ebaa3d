// The ACTION machine of a port.
#include "Common/mlme/mlmeaction.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

VOID ActionStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PENTRY_EXIT_STATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    // Until the action rows exist the machine has none: it sits in Idle and handles nothing.
    machine->Port = port;
    machine->CurrentState = 0;
    machine->RowCount = 0;
    machine->Rows = nullptr;
    (void)NOT_BUILT_YET();
}

VOID PeerVHTOperatingModeNotificationAction(PMP_ADAPTER adapter, UCHAR wlanIndex, UCHAR channelWidth, UCHAR rxNss,
                                            UCHAR rxNssType)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(wlanIndex);
    UNREFERENCED_PARAMETER(channelWidth);
    UNREFERENCED_PARAMETER(rxNss);
    UNREFERENCED_PARAMETER(rxNssType);
    (void)NOT_BUILT_YET();
}

NTSTATUS PeerNssUpdateAction(PMP_ADAPTER adapter, UCHAR wlanIndex, UCHAR twoStreams)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(wlanIndex);
    UNREFERENCED_PARAMETER(twoStreams);
    return NOT_BUILT_YET();
}
