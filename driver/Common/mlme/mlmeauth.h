// The station authentication machines: requests and even-numbered frames, odd-numbered frames and deauthentication.
#pragma once

#include "Common/mlme/mlme.h"

// Builds the authentication machine (3 states x 3 messages).
VOID MlmeAuthStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
// Builds the authentication-response machine (2 states x 3 messages); it also stamps the port with the current time.
VOID MlmeAuthRspStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
// Sends a deauthentication frame to the peer and records the last disconnect.
NTSTATUS MlmeAuthDeauthReq(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, USHORT reason);
