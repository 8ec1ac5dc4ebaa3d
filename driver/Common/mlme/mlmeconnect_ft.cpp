// The connect machine's fast-transition requests to the OS.
#include "Common/mlme/mlmeconnect.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

VOID MlmeCntlFT2ndAssocParamRequest(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
}
