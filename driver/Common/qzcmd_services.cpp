// Services of neighbouring subsystems the firmware command builders call, until their owners build them.
#include "Common/qzcmd_services.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS WdiScanComplete(PMP_ADAPTER adapter, PMP_PORT port, NTSTATUS status)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "scan complete 0x%08X", static_cast<unsigned>(status));
    return NOT_BUILT_YET();
}

ULONG NdisWdiGetBandFromWdiBandId(ULONG wdiBandId)
{
    switch (wdiBandId) {
    case 2:
        return 2;
    case 5:
        return 3;
    default:
        return 1;
    }
}

void WaitForChannelGrant(PMP_ADAPTER adapter, PMP_PORT listenPort)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(listenPort);
    (void)NOT_BUILT_YET();
}

UCHAR MlmeCntlGetScanSeqNum(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
    return 0;
}

PDOMAIN_INFO DomainGetDomainInfo(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
    return nullptr;
}

void MacTabResetWlanIdxRecord(PMP_ADAPTER adapter, UCHAR wlanIndex)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(wlanIndex);
    (void)NOT_BUILT_YET();
}
