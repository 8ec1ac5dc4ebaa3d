// The connect-control machine.
#include "Common/mlme/mlmeconnect.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS MlmeCntLinkDown(PMP_PORT port, ULONG reason)
{
    UNREFERENCED_PARAMETER(port);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "MlmeCntLinkDown: reason %u", static_cast<unsigned>(reason));
    return NOT_BUILT_YET();
}
