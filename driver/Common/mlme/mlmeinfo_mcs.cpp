// The supported-rate and MCS record of a peer.
#include "Common/mlme/mlmeinfo.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

VOID MlmeInfoSetSupportMCS(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN legacyOnly, PMAC_TABLE_ENTRY entry,
                           const UCHAR* rates, UCHAR rateCount, const UCHAR* extRates, UCHAR extRateCount,
                           PVOID unused1, PVOID unused2, const UCHAR* htCapability, UCHAR htPresent)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(legacyOnly);
    UNREFERENCED_PARAMETER(entry);
    UNREFERENCED_PARAMETER(rates);
    UNREFERENCED_PARAMETER(rateCount);
    UNREFERENCED_PARAMETER(extRates);
    UNREFERENCED_PARAMETER(extRateCount);
    UNREFERENCED_PARAMETER(unused1);
    UNREFERENCED_PARAMETER(unused2);
    UNREFERENCED_PARAMETER(htCapability);
    UNREFERENCED_PARAMETER(htPresent);
    (void)NOT_BUILT_YET();
}
