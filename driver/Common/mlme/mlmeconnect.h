// The connect-control machine (machine 5): the dispatch by state, the idle procedure, the OS scan
// requests and their confirms, the neighbour-AP follow-up scans, and the entries the shell and the
// MLME core call.
#pragma once

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeassoc.h"
#include "Common/mlme/mlmeauth.h"
#include "Common/mlme/mlmeconnect_types.h"
#include "Common/mlme/mlmesync_rnr.h"

// States.
#define CNTL_IDLE 0
#define CNTL_WAIT_DISASSOC 1
#define CNTL_WAIT_JOIN 2
#define CNTL_WAIT_REASSOC 3
#define CNTL_WAIT_START 4
#define CNTL_WAIT_AUTH 5
#define CNTL_WAIT_ASSOC 6
#define CNTL_WAIT_AUTH2 7
#define CNTL_WAIT_OID_LIST_SCAN 8
#define CNTL_WAIT_LINK_DOWN_DISASSOC 9
#define CNTL_WAIT_CONNECT_SCAN 10
#define CNTL_WAIT_OID_SPLIT_SCAN 11

// Link up of a station or Wi-Fi Direct client port after an association (kind 1: infrastructure).
VOID MlmeCntLinkUp(PMP_PORT port, ULONG kind);
// Link down of a station or Wi-Fi Direct client port; `hookArgument` goes to the client's link-down
// hook only (1 after a peer's disassociation or deauthentication). Nothing but the timers and the
// progress state changes when the port is not linked to an infrastructure network.
NTSTATUS MlmeCntLinkDown(PMP_PORT port, ULONG hookArgument);
// One of the port's four shared-key records is in use.
BOOLEAN MlmeCntHasSharedKey(PMP_PORT port);
// State 0 (idle), reset-request flag clear.
VOID MlmeCntlInit(PMLME_CNTL_MACHINE machine);
// The same effect, at port creation and the adapter's MLME start-up.
VOID MlmeCntResetState(PMP_PORT port, PMLME_CNTL_MACHINE machine);
// Asks the port's connect-control machine to reset (the abort of an OS connect or roam task); called
// from a work item, never from the MLME thread.
VOID MlmeCntlSetSmReset(PMP_ADAPTER adapter, PMP_PORT port);
// Waits until the machine cleared its reset request: at most 50 polls 10 ms apart; FALSE.
BOOLEAN MlmeCntlWaitSmResetDone(PMP_ADAPTER adapter, PMP_PORT port);
// Runs a connect-control message (machine 5) by the machine's state.
VOID MlmeCntlMachinePerformAction(PMP_ADAPTER adapter, PMLME_CNTL_MACHINE machine, PMLME_QUEUE_ELEM elem);
// Resets the connection target of the adapter's port 0 as a reset does: desired BSSID
// FF:FF:FF:FF:FF:FF and the two settings beside it 1 (the WPS stop, the SA Query time-out and the
// disconnect request).
VOID MlmeCntlResetConnectTarget(PMP_ADAPTER adapter);

// ---- state procedures --------------------------------------------------------------------------------------
VOID MlmeCntlIdleProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem);
VOID MlmeCntlOidConnectProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem);
VOID MlmeCntlWaitDisassocProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem);
VOID MlmeCntlWaitJoinProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem);
VOID MlmeCntlWaitReassocProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem);
VOID MlmeCntlWaitAuthProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem);
VOID MlmeCntlWaitAssocProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem);
VOID MlmeCntlWaitAuth2Proc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem);
// The connect-scan confirm (state 10).
VOID MlmeCntlWaitConnectScanProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem);
// The disassociation confirm before link down (state 9).
VOID MlmeCntlWaitLinkDownDisassocProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem);
// Ends a WPS attempt (state idle, give-up message).
VOID MlmeCntlConnectGiveUp(PMP_ADAPTER adapter, PMP_PORT port);
// Joins the candidate at the adapter's candidate index, or ends the attempt when none is left.
VOID MlmeCntlIterateOnBssTab(PMP_PORT port);
// Reassociates with the roaming candidate at the adapter's roaming-candidate index, or ends the walk.
VOID MlmeCntlReassocNextCandidate(PMP_ADAPTER adapter, PMP_PORT port);
// Sets the port's reset-request flag (the OS's abort of a connect or roam task; any thread).
VOID MlmeCntlSetSmReset(PMP_ADAPTER adapter, PMP_PORT port);
// Waits until the MLME thread has taken the reset request: at most 50 polls 10 ms apart; FALSE.
BOOLEAN MlmeCntlWaitSmResetDone(PMP_ADAPTER adapter, PMP_PORT port);

// ---- request fillers ---------------------------------------------------------------------------------------
// Authentication request with the 200 ms wait.
VOID MlmeCntAuthParamFill(PMP_PORT port, PMLME_AUTH_REQ request, const UCHAR* address, USHORT algorithm);
// Association or reassociation request: capability information AND 0x1533, the adapter's listen
// interval, 250 ms.
VOID MlmeCntAssocParamFill(PMP_ADAPTER adapter, PMLME_ASSOC_REQ request, const UCHAR* address, USHORT capabilityInfo);
VOID MlmeCntDisassocParamFill(PMP_ADAPTER adapter, PMLME_DISASSOC_REQ_STRUCT request, const UCHAR* address,
                              USHORT reason);
// Ad hoc start request: the SSID (at most 32 bytes) and its length.
VOID MlmeCntStartParamFill(PMLME_START_REQ request, const UCHAR* ssid, UCHAR ssidLen);

// ---- candidate order ---------------------------------------------------------------------------------------
// Under dual-band concurrency: ranks the candidates by the band the other role uses.
VOID ReArrangeDbdcConnCandidate(PMP_ADAPTER adapter, PMP_PORT port, PBSS_TABLE candidates);
// Pads a short list for retries and sorts the candidates by rank score.
VOID ReArrangeConnCandidate(PMP_ADAPTER adapter, PBSS_TABLE candidates);

// ---- OS scan requests ------------------------------------------------------------------------------------
// CNTL_MSG_OID_SCAN in the idle state: the OS's request into the adapter's scan request, then the sync
// machine's scan.
VOID MlmeCntlOidScanProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem);
// The scan confirms of states 8 and 11.
VOID MlmeCntlWaitOidListScan(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem);
VOID MlmeCntlWaitOidSplitScan(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem);
// Steps the adapter's scan sequence number (0..99, 99 wraps to 0) and returns it.
UCHAR MlmeCntlGetScanSeqNum(PMP_ADAPTER adapter);
// A one-SSID scan request: active flag, SSID count 1, request kind 4, the port's BSS index; the extra
// elements, the short-SSID count and the option bytes cleared.
VOID MlmeCntScanReqParamFill(PMP_ADAPTER adapter, PMP_PORT port, PMLME_SCAN_REQ request, const UCHAR* ssid,
                             UCHAR ssidLen, UCHAR active);
// A one-channel scan request: active flag, channel type, the channel and its band, the sequence number;
// version 2 and the dwell fields 130, 350 and 110.
VOID MlmeScanReqParamFill(PMP_ADAPTER adapter, PMLME_SCAN_REQ request, UCHAR active, ULONG channelType,
                          UCHAR channel, ULONG band, UCHAR seqNum);
// Takes the OS's native scan request (body of CNTL_MSG_OID_SCAN) into the scan request: SSIDs, request
// kind, extra elements (at most `ieRoom` bytes) and the short-SSID count. FALSE for a body whose
// offsets or lengths do not fit it (nothing taken). `ieCopy` gets the element bytes (may be null).
BOOLEAN MlmeCntlParseOidScanRequest(const UCHAR* body, ULONG length, PMLME_SCAN_REQ request, ULONG ieRoom,
                                    const UCHAR** ies, PULONG iesLength);

// ---- fast transition ------------------------------------------------------------------------------------
// After the access point's FT authentication answer: "FT Needed" in the event log and the OS's FT
// association-parameters indication.
VOID MlmeCntlFT2ndAssocParamRequest(PMP_ADAPTER adapter, PMP_PORT port);

// ---- neighbour-AP follow-up scans ---------------------------------------------------------------------------
VOID MlmeCntCollectRnrFromScanTab(PMP_ADAPTER adapter, PMP_PORT port, PNEIGHBOR_AP_INFO_LIST list);
VOID MlmeCntParseBcnRnrIE(PMP_ADAPTER adapter, PMP_PORT port, const BSS_ENTRY* entry, const UCHAR* body,
                          ULONG bodyLength);
// 0 when a follow-up scan was started, 0xC0000001 otherwise.
NTSTATUS MlmeCntRnrScanProc(PMP_ADAPTER adapter, PMP_PORT port, PNEIGHBOR_AP_INFO_LIST list);
