// Transmit rate selection.
#include "Common/mlme/mlmeinfo_rate.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

BOOLEAN KOVACheckHt(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const UCHAR* htCap, const UCHAR* htOp,
                    UCHAR peerVht, const UCHAR* vhtCap)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(wlanIndex);
    UNREFERENCED_PARAMETER(htCap);
    UNREFERENCED_PARAMETER(htOp);
    UNREFERENCED_PARAMETER(peerVht);
    UNREFERENCED_PARAMETER(vhtCap);
    (void)NOT_BUILT_YET();
    return FALSE;
}

VOID KOVAFilterSupportedRates(PMP_ADAPTER adapter, PUCHAR rates, PUCHAR count)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(rates);
    UNREFERENCED_PARAMETER(count);
    (void)NOT_BUILT_YET();
}
