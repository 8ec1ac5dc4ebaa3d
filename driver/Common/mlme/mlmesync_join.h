// The join: the adapter's record of the BSS being joined and then connected (JoinTargetInfo), the
// join request, the grant routine and the target's beacon while joining.
#pragma once

#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmesync_join_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

typedef struct _MLME_QUEUE_ELEM MLME_QUEUE_ELEM, *PMLME_QUEUE_ELEM;

// The completion of the join's channel privilege: on the control thread, sends the directed probe
// requests and waits for the target.
NTSTATUS MlmeCntlProcPendConnectHdlr(PMP_ADAPTER adapter, PMP_PORT port, PVOID context);
