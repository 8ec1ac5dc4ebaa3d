// The management-frame protection machine: SA Query.
#pragma once

#include "Common/mlme/mlme.h"

// Builds the SA Query machine (2 states x 4 messages).
VOID PmfStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
