// The station authentication machines: requests and even-numbered frames, odd-numbered frames and deauthentication.
#pragma once

#include "Common/mlme/mlme.h"

// Builds the authentication machine (3 states x 3 messages).
VOID MlmeAuthStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
// Builds the authentication-response machine (2 states x 3 messages); it also seeds the adapter's
// pseudo-random generator from the system time.
VOID MlmeAuthRspStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
// Sends a deauthentication frame {peer, reason} (protected under management-frame protection), sets the
// authentication state to idle and confirms 36 to the connect machine (0, or 82 without a frame buffer).
NTSTATUS MlmeAuthDeauthReq(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, USHORT reason);

// ---- machine 2 actions --------------------------------------------------------------------------------------
STATE_MACHINE_FUNC MlmeAuthReqAction;
STATE_MACHINE_FUNC MlmeAuthPeerAuthRspAtSeq2Action;
STATE_MACHINE_FUNC MlmeAuthPeerAuthRspAtSeq4Action;  // no action: the exchange ends by its time-out
STATE_MACHINE_FUNC MlmeAuthTimeoutAction;
STATE_MACHINE_FUNC MlmeAuthInvalidStateAuthReq;
// "AuthTimeoutTimer".
PLATFORM_TIMER_CALLBACK MlmeAuthTimeoutTimerCallback;
// A deauthentication with reason 6 to `address`, at most one per second per port.
VOID MlmeAuthClass2ErrDeauth(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* address);
// An authentication request body: algorithm 0-2 toward an individual address.
BOOLEAN MlmeAuthReqSanity(const void* body, ULONG length, PUCHAR addr, PUSHORT alg, PULONG timeout);
// A received authentication frame: addr2, algorithm, sequence, status and (sequence 2 or 3 of a shared-key
// exchange) the 128-byte challenge text. Frames too short for what they must carry are refused.
BOOLEAN PeerAuthSanity(PMP_ADAPTER adapter, const void* frame, ULONG length, PUCHAR addr2, PUSHORT alg,
                       PUSHORT seq, PUSHORT status, PUCHAR challenge);

// ---- machine 3 -----------------------------------------------------------------------------------------------
STATE_MACHINE_FUNC MlmeAuthRspPeerDeauthAction;
// addr2 and the reason code of a deauthentication frame; FALSE for a frame shorter than 26 bytes.
BOOLEAN PeerDeauthSanity(PMP_ADAPTER adapter, const void* frame, ULONG length, PUCHAR addr2, PUSHORT reason);

// ---- shared by the station's exchanges ------------------------------------------------------------------------
// The management-frame protection test of a station port: the adapter's and the access point's RSN
// capabilities both have MFPC and the port's unicast cipher is CCMP or its authentication algorithm is
// 8, 9 or 0x80000006; with `withKey` also the station port-secured state 1.
BOOLEAN MlmeStaMfpInUse(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN withKey);
// Hands a built management frame to the management transmit path with a class-3 packet number (0 when
// `packetNumber` is FALSE); the buffer is returned when the frame is not sent.
NTSTATUS MlmeStaSendMgmtFrame(PMP_ADAPTER adapter, PUCHAR buffer, ULONG length, BOOLEAN packetNumber);
// Posts a confirm {u16 status} to the connect-control machine.
VOID MlmeStaConfirm(PMP_ADAPTER adapter, PMP_PORT port, ULONG message, USHORT status);
// The port's current system time in 100 ns units.
ULONG64 MlmeStaSystemTime();
