// The soft access point's MLME side: its frame classifier and its four table machines.
#pragma once

#include "Common/mlme/mlme.h"

// (machine, message) of a frame received on an access-point-like port; FALSE drops the frame.
BOOLEAN ApMlmeMsgTypeSubst(PMP_ADAPTER adapter, PMP_PORT port, const void* frame, ULONG frameLen, PULONG machine,
                           PULONG msg);
// Build the access-point machines with the port's action tables.
VOID ApAssocStateMachineInit(PMP_ADAPTER adapter, PSTATE_MACHINE machine, PSTATE_MACHINE_FUNC* trans);
VOID ApAuthStateMachineInit(PMP_ADAPTER adapter, PSTATE_MACHINE machine, PSTATE_MACHINE_FUNC* trans);
VOID ApAuthRspStateMachineInit(PMP_ADAPTER adapter, PSTATE_MACHINE machine, PSTATE_MACHINE_FUNC* trans);
VOID ApSyncStateMachineInit(PMP_ADAPTER adapter, PSTATE_MACHINE machine, PSTATE_MACHINE_FUNC* trans);
// Builds the ad hoc probe response to `destination` into an MLME buffer and stores its length.
VOID MgntPktConstructIBSSProbRspFrame(PMP_PORT port, const UCHAR* destination, PUCHAR buffer, PULONG length);

// ---- services of the access-point code for the OS command interface ----------------------------------------
// Disassociates one peer of the access-point port (or every peer for the broadcast address) from the
// 12-byte native disassociate-peer request; `bytesRead` gets what was taken.
NTSTATUS ApOidDisassociatePeerRequest(PMP_ADAPTER adapter, ULONG portNumber, const void* request, ULONG length,
                                      PULONG bytesRead);
// Builds the access-point port's own WPA and RSN elements for the authentication algorithm and cipher.
NTSTATUS ApSetWpaRsnIE(PMP_ADAPTER adapter, PMP_PORT port, ULONG authAlgorithm, ULONG cipher);

// ---- services of the access-point code for the station table's removal --------------------------------------
// Completes every packet of the port's broadcast/multicast power-save queue with the general failure status.
VOID APFlushBmcPsQueue(PMP_ADAPTER adapter, ULONG portIndex);
// Completes every packet of one pending transmit queue (the power-save queue of WLAN index 0..19)
// as failed; APFlushPendingTxQueueByPort only the packets of the port, APFlushPendingTxQueueByPeer only
// those addressed to the peer. An index without a queue does nothing.
VOID APFlushPendingTxQueue(PMP_ADAPTER adapter, ULONG queueIndex);
VOID APFlushPendingTxQueueByPort(PMP_ADAPTER adapter, ULONG queueIndex, USHORT portIndex);
VOID APFlushPendingTxQueueByPeer(PMP_ADAPTER adapter, ULONG queueIndex, USHORT portIndex, const UCHAR* address);
// Indicates a peer's disassociation from the access-point-like port to the OS with the status.
VOID APPlatformIndicateDisassociationStatus(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG status,
                                            ULONG sourceCode);
