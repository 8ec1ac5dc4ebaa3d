// The handlers of the WDI property rows. Each comes with its own property's code.
#include "platform/wdi/wdiproperty.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS WdiPropertySetP2pListenState(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetPrivacyExemptionList(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetAddCipherKeys(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetDeleteCipherKeys(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetDefaultKeyId(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetConnectionQuality(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertyGetStatistics(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetNetworkListOffload(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertyGetBssEntryList(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetAdapterConfiguration(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertyGetPmProtocolOffload(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetAdvertisementInfo(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetFlushBssEntry(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetAssociationParameters(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertyGetNextActionFrameDialogToken(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetP2pWpsEnabled(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetFastBssTransitionParameters(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetNeighborReportEntries(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetSAEParams(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetLocationPrivacy(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}
