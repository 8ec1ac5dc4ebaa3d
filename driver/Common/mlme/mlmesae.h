// The SAE authentication machine.
#pragma once

#include "Common/mlme/mlme.h"

// Clears the SAE retransmission state and cancels the SAE timer.
VOID MlmeSAEResendReset(PMP_ADAPTER adapter, PMP_PORT port);
// Builds the SAE machine (5 states x 5 messages).
VOID MlmeSAEStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
