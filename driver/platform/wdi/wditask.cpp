// The handlers of the WDI task rows. Each comes with its own task's code.
#include "platform/wdi/wditask.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS WdiTaskScan(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskP2pDiscover(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskConnect(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskDot11Reset(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskDisconnect(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskP2pSendRequestActionFrame(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskP2pSendResponseActionFrame(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskSetRadioState(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskStartAp(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskStopAp(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskSendApAssociationResponse(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskChangeOperationMode(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskRoam(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskSendRequestActionFrame(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskSendResponseActionFrame(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskAbortScanRequest(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskAbortConnectRequest(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS WdiTaskAbortRoamRequest(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}
