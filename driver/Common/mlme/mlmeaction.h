// The ACTION machine of a port: action frames sent and received through their own entry/exit machine.
#pragma once

#include "Common/mlme/mlme.h"

// Binds the port's ACTION machine to its three rows (Idle, Sent, WaitResponse) in state Idle.
VOID ActionStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PENTRY_EXIT_STATE_MACHINE machine);
