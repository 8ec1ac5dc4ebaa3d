// Transmit rate selection of the station link.
#include "Common/mlme/mlmetxrate.h"

#include "platform/ndiscommon/trace.h"

BOOLEAN KOVACheckHt(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, PUCHAR htCapability,
                    const UCHAR* htOperation, UCHAR vhtPresent, const UCHAR* vhtCapability)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(wlanIndex);
    UNREFERENCED_PARAMETER(htCapability);
    UNREFERENCED_PARAMETER(htOperation);
    UNREFERENCED_PARAMETER(vhtPresent);
    UNREFERENCED_PARAMETER(vhtCapability);
    (void)NOT_BUILT_YET();
    return FALSE;
}

VOID KOVAUpdateMlmeRate(PMP_ADAPTER adapter, UCHAR channel)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(channel);
    (void)NOT_BUILT_YET();
}
