// The management-frame protection machine: SA Query.
#pragma once

#include "Common/mlme/mlme.h"

// Builds the SA Query machine (2 states x 4 messages) and binds the port's two SA Query timers.
VOID PmfStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
// Builds and sends one SA Query frame (action 0 request, 1 response) with the transaction id at
// `transactionId`; for a request the id is incremented first.
VOID PmfSendSAQueryFrame(PMP_ADAPTER adapter, PMP_PORT port, UCHAR action, PUSHORT transactionId);

// ---- machine 18 actions --------------------------------------------------------------------------------------
STATE_MACHINE_FUNC PmfStartSAQueryAction;
STATE_MACHINE_FUNC PmfPeerSAQueryReqAction;
STATE_MACHINE_FUNC PmfPeerSAQueryRspAction;
STATE_MACHINE_FUNC PmfArmConfirmTimerAction;
// The request timer (201 ms while querying) and the confirm timer (1000 ms).
PLATFORM_TIMER_CALLBACK PmfReqTimeoutActionTimerCallback;
PLATFORM_TIMER_CALLBACK PmfConfirmTimeoutActionTimerCallback;
