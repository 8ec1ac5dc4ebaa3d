// Channel switch announcements of the connected network.
#include "Common/mlme/mlmesync_csa.h"

#include "platform/ndiscommon/trace.h"

BOOLEAN MlmeSyncChSwitch80211h(PMP_ADAPTER adapter, PMP_PORT port, PBEACON_PARSE_RESULT record, LONG candidate)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(record);
    UNREFERENCED_PARAMETER(candidate);
    (void)NOT_BUILT_YET();
    return FALSE;
}

BOOLEAN MlmeSyncChSwitchQuiet(PMP_ADAPTER adapter, PMP_PORT port, PBEACON_PARSE_RESULT record, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(record);
    UNREFERENCED_PARAMETER(elem);
    (void)NOT_BUILT_YET();
    return FALSE;
}

BOOLEAN MlmeSyncChSwitchMove(PMP_ADAPTER adapter, PMP_PORT port, PBEACON_PARSE_RESULT record, LONG candidate,
                             PMAC_TABLE_ENTRY apEntry, PMAC_TABLE_ENTRY goEntry)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(record);
    UNREFERENCED_PARAMETER(candidate);
    UNREFERENCED_PARAMETER(apEntry);
    UNREFERENCED_PARAMETER(goEntry);
    (void)NOT_BUILT_YET();
    return FALSE;
}
