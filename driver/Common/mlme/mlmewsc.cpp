// WPS of the station.
#include "Common/mlme/mlmewsc.h"

#include "platform/ndiscommon/trace.h"

void WscCheckWPSAP(PBSS_ENTRY entry)
{
    UNREFERENCED_PARAMETER(entry);
    (void)NOT_BUILT_YET();
}

ULONG WscPBCModeAPSearch(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* bssid, UCHAR channel, PULONG index)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(bssid);
    UNREFERENCED_PARAMETER(channel);
    *index = 0xFFFFFFFFu;
    (void)NOT_BUILT_YET();
    return 0;  // no registrar found
}

ULONG WscPINModeAPSearch(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* bssid, UCHAR channel, PULONG index)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(bssid);
    UNREFERENCED_PARAMETER(channel);
    *index = 0xFFFFFFFFu;
    (void)NOT_BUILT_YET();
    return 0;
}

void WscMakeProbeReqIE(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR out, PULONG length)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(out);
    *length = 0;
    (void)NOT_BUILT_YET();
}

void WscStop(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
}
