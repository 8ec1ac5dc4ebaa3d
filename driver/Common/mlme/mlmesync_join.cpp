// The join (its sync-machine actions and the grant routine).
#include "Common/mlme/mlmesync_join.h"

#include "Common/mlme/mlmesync.h"
#include "platform/ndiscommon/trace.h"

VOID MlmeSyncJoinReqAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(elem);
    (void)NOT_BUILT_YET();
}

VOID MlmeSyncPeerBeaconAtJoinAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(elem);
    (void)NOT_BUILT_YET();
}

NTSTATUS MlmeCntlProcPendConnectHdlr(PMP_ADAPTER adapter, PMP_PORT port, PVOID context)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(context);
    return NOT_BUILT_YET();
}
