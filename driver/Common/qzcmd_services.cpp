// Services of neighbouring subsystems the firmware command builders call, until their owners build them.
#include "Common/qzcmd_services.h"

#include "platform/ndiscommon/trace.h"

void MacTabResetWlanIdxRecord(PMP_ADAPTER adapter, UCHAR wlanIndex)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(wlanIndex);
    (void)NOT_BUILT_YET();
}

UCHAR AuthModeToFwAuthMode(ULONG authAlgorithm)
{
    if (authAlgorithm == 2) {
        return 1;
    }
    return authAlgorithm >= 3 && authAlgorithm <= 7 ? static_cast<UCHAR>(authAlgorithm) : 0;
}
