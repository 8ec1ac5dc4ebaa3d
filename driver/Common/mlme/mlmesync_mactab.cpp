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
