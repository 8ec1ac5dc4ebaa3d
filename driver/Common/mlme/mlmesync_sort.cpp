// Candidate sorting.
#include "Common/mlme/mlmesync_sort.h"

#include "Common/mlme/mlmesync.h"

#include "platform/ndiscommon/trace.h"

void scanSsidTabSort(PMP_ADAPTER adapter, PMP_PORT port, const BSS_TABLE* source, PBSS_TABLE output,
                     const UCHAR* ssid, UCHAR ssidLen)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(source);
    UNREFERENCED_PARAMETER(ssid);
    UNREFERENCED_PARAMETER(ssidLen);
    BssTableInit(output);  // no candidate until the sort exists
    (void)NOT_BUILT_YET();
}
