// The connect-control machine's entries the shell and the MLME core call.
#pragma once

#include "Common/mlme/mlme.h"

// Link down of a port.
NTSTATUS MlmeCntLinkDown(PMP_PORT port, ULONG reason);
// State 0 (idle), reset-request flag clear.
VOID MlmeCntlInit(PMLME_CNTL_MACHINE machine);
// The same effect, at port creation and the adapter's MLME start-up.
VOID MlmeCntResetState(PMP_PORT port, PMLME_CNTL_MACHINE machine);
// Runs a connect-control message (machine 5) by the machine's state.
VOID MlmeCntlMachinePerformAction(PMP_ADAPTER adapter, PMLME_CNTL_MACHINE machine, PMLME_QUEUE_ELEM elem);
// Resets the connection target of the adapter's port 0 as a reset does: desired BSSID
// FF:FF:FF:FF:FF:FF and the two settings beside it 1 (the WPS stop, the SA Query time-out and the
// disconnect request).
VOID MlmeCntlResetConnectTarget(PMP_ADAPTER adapter);
