// Station table lookups of the sync machine.
#include "Common/mlme/mlmesync_mactab.h"

#include "platform/ndiscommon/trace.h"

USHORT GetWlanRoleType(PMP_PORT port)
{
    (void)NOT_BUILT_YET();
    return WLAN_ROLE_NONE;
}

PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedRoleType(PMP_PORT port, USHORT kind)
{
    (void)NOT_BUILT_YET();
    return nullptr;
}

PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedBssid(PMP_PORT port, const UCHAR* address)
{
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(address);
    (void)NOT_BUILT_YET();
    return nullptr;
}

PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedWlanIdx(PMP_PORT port, UCHAR wlanIndex)
{
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(wlanIndex);
    (void)NOT_BUILT_YET();
    return nullptr;
}
