// Target wake time: the TWT machine.
#pragma once

#include "Common/mlme/mlme.h"

// Builds the TWT machine (1 state x 10 messages).
VOID TwtStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
