// The SAE authentication machine.
#pragma once

#include "Common/mlme/mlme.h"

// Clears the kept commit and the resend bytes and cancels "SAETimeoutTimer".
VOID MlmeSAEResendReset(PMP_ADAPTER adapter, PMP_PORT port);
// Frees the buffers the port holds for the OS's SAE parameters.
VOID MlmeSAEFreeParams(PMP_PORT port);
// Builds the SAE machine (5 states x 5 messages) and binds "SAETimeoutTimer".
VOID MlmeSAEStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
// Packs SAE parameters into the self-contained body of SAE messages 0 and 2; FALSE (nothing written)
// when the body would exceed `room` bytes or a length does not fit its u16 field.
BOOLEAN MlmeSaePackParams(const SAE_PARAMS* params, PUCHAR out, ULONG room, PULONG length);
// The body of SAE message 0 or 2: accepted when the packed lengths stay inside `length` and the peer is
// not a group address; gives the peer and algorithm 3.
BOOLEAN MlmeSaeAuthReqSanity(const void* body, ULONG length, PUCHAR addr, PUSHORT alg);
// A received authentication frame on the SAE path: addr2, algorithm, sequence and status (frames shorter
// than 30 bytes are refused with nothing read); then the rules per algorithm.
BOOLEAN PeerSAEAuthSanity(PMP_ADAPTER adapter, PMP_PORT port, const void* frame, ULONG length, PUCHAR addr2,
                          PUSHORT alg, PUSHORT seq, PUSHORT status);

// ---- machine 20 actions --------------------------------------------------------------------------------------
STATE_MACHINE_FUNC MlmeSAESendCommitRequest;
STATE_MACHINE_FUNC MlmeSAEReceiveCommitRequest;
STATE_MACHINE_FUNC MlmeSAESendConfirmRequest;
STATE_MACHINE_FUNC MlmeSAEReceiveConfirmRequest;
STATE_MACHINE_FUNC MlmeSAETimeoutAction;
// "SAETimeoutTimer".
PLATFORM_TIMER_CALLBACK MlmeSAETimeoutTimerCallback;
