// The station authentication machines: requests and even-numbered frames, odd-numbered frames and deauthentication.
#pragma once

#include "Common/mlme/mlme.h"

// Body of an authentication request (message 0): the access point, the algorithm (AUTH_REQ_ALGORITHM_*)
// and the wait for the second frame.
#pragma pack(push, 1)
typedef struct _MLME_AUTH_REQ {
    UCHAR Addr[6];
    USHORT Algorithm;
    ULONG TimeoutMs;
} MLME_AUTH_REQ, *PMLME_AUTH_REQ;
#pragma pack(pop)
static_assert(sizeof(MLME_AUTH_REQ) == 12, "authentication request body is 12 bytes");

// Builds the authentication machine (3 states x 3 messages).
VOID MlmeAuthStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
// Builds the authentication-response machine (2 states x 3 messages); it also stamps the port with the current time.
VOID MlmeAuthRspStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
// Sends a deauthentication frame to the peer and records the last disconnect.
NTSTATUS MlmeAuthDeauthReq(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, USHORT reason);
