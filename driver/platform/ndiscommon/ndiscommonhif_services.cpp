// Services of other layers that the control-thread executor calls, until their layers are built.
#include "platform/ndiscommon/ndiscommonhif_services.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS QzCmdFactCalGet(PMP_ADAPTER adapter, UCHAR band, UCHAR index)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(band);
    UNREFERENCED_PARAMETER(index);
    return NOT_BUILT_YET();
}

NTSTATUS writeFactCalfile(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return NOT_BUILT_YET();
}

NTSTATUS PlatformIndicateFirmwareStalled(PMP_ADAPTER adapter, ULONG reason)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(reason);
    return NOT_BUILT_YET();
}

NTSTATUS WOWLANPacketIndicateFunc(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS MultiChannelSwitchExec(PMP_PORT port, PUCHAR record)
{
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(record);
    return NOT_BUILT_YET();
}

NTSTATUS MultiChannelMcastConAbortExec(PMP_PORT port, PUCHAR record)
{
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(record);
    return NOT_BUILT_YET();
}

NTSTATUS MultiBandDisableDbdcDecision(PMP_ADAPTER adapter, PMP_PORT port, UCHAR reason)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(reason);
    return NOT_BUILT_YET();
}

// ---- what the error and firmware recovery call of other layers ------------------------------------------------
NTSTATUS WdiTxSendPauseIndication(PMP_ADAPTER adapter, UCHAR pause, UCHAR reason)
{
    UNREFERENCED_PARAMETER(adapter);
    // The OS's transmit pause and restart entries of the buffer-list data path are never registered
    // in this system: the request is only traced.
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_TX, "transmit %s for reason %u: no buffer-list data path to tell",
             pause != 0 ? "pause" : "restart", static_cast<unsigned>(reason));
    return STATUS_SUCCESS;
}
