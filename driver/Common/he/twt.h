// Target wake time: a station port negotiates individual, implicit TWT agreements with its access
// point as the requesting side (MLME machine 19), and mirrors every agreement into the adapter's 16
// firmware agreement slots. Setup, information and teardown frames are Unprotected S1G action frames
// (category 22); their transmit status moves the access point entry's TWT state; the firmware learns
// of agreements through the TWT agreement update command and is asked for its TSF before a setup or
// a resume.
#pragma once

#include "Common/mlme/mlme.h"
#include "Common/rlm_types.h"

typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

// TWT state of a station entry.
#define TWT_STATE_IDLE 0
#define TWT_STATE_SETUP_SENT 1          // waiting for the setup frame's transmit status
#define TWT_STATE_SETUP_DELIVERED 2     // waiting for the access point's response
#define TWT_STATE_SUSPEND_SENT 3        // information frame without next TWT sent
#define TWT_STATE_SUSPEND_DELIVERED 4   // transient
#define TWT_STATE_RESUME_SENT 5         // information frame with next TWT sent
#define TWT_STATE_TEARDOWN_SENT 6
#define TWT_STATE_TEARDOWN_RECEIVED 7   // transient

// Messages of machine 19.
#define TWT_MSG_SEND_SETUP 0
#define TWT_MSG_SEND_TEARDOWN 1
#define TWT_MSG_SUSPEND 2
#define TWT_MSG_RESUME 3
#define TWT_MSG_SETUP_DONE 4
#define TWT_MSG_SUSPEND_DONE 5
#define TWT_MSG_RESUME_DONE 6
#define TWT_MSG_TEARDOWN_DONE 7
#define TWT_MSG_SET_TWT 8
#define TWT_MSG_TEST_REQUEST 9

// TWT setup commands.
#define TWT_SETUP_CMD_REQUEST 0
#define TWT_SETUP_CMD_SUGGEST 1
#define TWT_SETUP_CMD_DEMAND 2
#define TWT_SETUP_CMD_ACCEPT 4
#define TWT_SETUP_CMD_ALTERNATE 5
#define TWT_SETUP_CMD_DICTATE 6
#define TWT_SETUP_CMD_REJECT 7

// Packet ids of the TWT frames, whose transmit status the firmware reports.
#define TWT_PID_SETUP 80
#define TWT_PID_INFORMATION 81
#define TWT_PID_TEARDOWN 82

// Commands of the private test request.
#define TWT_TEST_LOCAL_AGREEMENT 1
#define TWT_TEST_SETUP 4
#define TWT_TEST_TEARDOWN 5
#define TWT_TEST_SUSPEND 6
#define TWT_TEST_RESUME 7
#define TWT_TEST_REQUEST_MIN 12

// Firmware agreement update (extended command 0x94): actions and payload.
#define TWT_AGRT_ACTION_ADD 0
#define TWT_AGRT_ACTION_DELETE 2
#define TWT_AGRT_ACTION_PEER 3
#define TWT_AGRT_ACTION_ALL 4
#define TWT_AGRT_UPDATE_LEN 44
#define TWT_EXT_CMD_AGRT_UPDATE 0x94
#define TWT_EXT_CMD_GET_TSF 0x3C

// Frame lengths.
#define TWT_SETUP_FRAME_LEN 44
#define TWT_TEARDOWN_FRAME_LEN 27
#define TWT_INFO_FRAME_MAX 35

// MLME message bodies. A flow reference names the access point's entry by its WLAN index.
typedef struct _TWT_FLOW_MSG {
    ULONG64 EntryRef;      // WLAN index of the entry
    UCHAR FlowId;
} TWT_FLOW_MSG;
typedef struct _TWT_RESUME_MSG {
    ULONG64 EntryRef;
    UCHAR FlowId;
    UCHAR SizeCode;        // 3: an 8-byte next TWT
    ULONG64 NextTwt;
} TWT_RESUME_MSG;
typedef struct _TWT_SET_TWT_MSG {
    UCHAR Unused[8];
    UCHAR FlowId;
    ULONG64 TargetWakeTime;
    UCHAR SizeCode;        // 1 to 3
} TWT_SET_TWT_MSG;
typedef struct _TWT_TEST_MSG {
    UCHAR BssIndex;
    UCHAR Command;
    UCHAR FlowId;
    TWT_PARAMS Params;
} TWT_TEST_MSG;

// The request record that travels with a TSF query as its callback context (pool tag "ZV42").
#define TWT_REQUEST_LOCAL 1
#define TWT_REQUEST_SETUP 2
#define TWT_REQUEST_RESUME 3
typedef struct _TWT_REQUEST_RECORD {
    ULONG Kind;
    UCHAR BssIndex;        // byte 4: the unified TSF query reads it
    UCHAR FlowId;
    UCHAR Zero;
    TWT_PARAMS Params;
} TWT_REQUEST_RECORD, *PTWT_REQUEST_RECORD;

// ---- entry points ----------------------------------------------------------------------------------------
// Builds the TWT machine (1 state x 10 messages, default action Drop).
VOID TwtStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine);
// The private test request (at least TWT_TEST_REQUEST_MIN bytes): checked and posted to port 0 as
// message 9; a request that breaks the rules is dropped (FALSE).
BOOLEAN twtTestRequest(PMP_ADAPTER adapter, const UCHAR* request, ULONG length);
// A received category-22 action frame of the port (length bytes, MAC header first).
VOID twtRecvActionFrame(PMP_ADAPTER adapter, ULONG portIndex, const UCHAR* frame, ULONG length);
// The transmit status (0 delivered) of a TWT frame to the peer of this WLAN index; 0xC0000001 when no
// port or entry has the index.
NTSTATUS twtTxDoneHandler(PMP_ADAPTER adapter, UCHAR wlanIndex, UCHAR status);
// Link down: one firmware "all" action for the access point's entry, then every slot cleared;
// 0xC0000001 when no slot is used.
NTSTATUS twtTeardownAllAgreements(PMP_ADAPTER adapter, PMAC_TABLE_ENTRY entry);

// ---- the agreement slots and the firmware --------------------------------------------------------------
NTSTATUS twtAgrtSlotAlloc(PMP_ADAPTER adapter, UCHAR bssIndex, UCHAR flowId, const TWT_PARAMS* params, PUCHAR index);
NTSTATUS twtAgrtSlotFind(PMP_ADAPTER adapter, UCHAR bssIndex, UCHAR flowId, PUCHAR index, PTWT_PARAMS params);
NTSTATUS twtAgrtSlotSetTwt(PMP_ADAPTER adapter, UCHAR bssIndex, UCHAR flowId, ULONG64 targetWakeTime, UCHAR sizeCode,
                           PUCHAR index, PTWT_PARAMS params);
NTSTATUS twtAgrtAdd(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, const TWT_PARAMS* params, UCHAR flowId);
NTSTATUS twtAgrtReAdd(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId);
NTSTATUS twtAgrtDelete(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId, BOOLEAN clear);
NTSTATUS twtAgrtPeerCmd(PMP_ADAPTER adapter, PMAC_TABLE_ENTRY entry);
// Asks the firmware for the port's TSF; the record goes with the query and twtGetTsfDone frees it.
NTSTATUS twtGetTsf(PMP_ADAPTER adapter, PMP_PORT port, PTWT_REQUEST_RECORD record);
NTSTATUS twtGetTsfDone(PMP_ADAPTER adapter, ULONG64 context, ULONG argument, PUCHAR answerEvent);
// The next service period of the flow's agreement at or after t: t + interval - ((t - TWT) mod interval);
// the target wake time itself when t is before it; 0 without an interval.
ULONG64 twtGetNextTwt(PMP_ADAPTER adapter, UCHAR bssIndex, UCHAR flowId, ULONG64 t);

// ---- flow state, messages and frames -------------------------------------------------------------------
// Moves the entry to newState and does what the state asks (send a frame, post a message); `data` is
// the setup parameters (state 1) or the next TWT (state 5).
VOID twtSetFlowState(PMP_ADAPTER adapter, PMAC_TABLE_ENTRY entry, ULONG newState, UCHAR flowId, const void* data);
BOOLEAN twtPostMsg(PMP_ADAPTER adapter, PMAC_TABLE_ENTRY entry, ULONG msg, UCHAR flowId);
VOID twtRecvSetupResponse(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, const UCHAR* frame, ULONG length);
VOID twtRecvTeardown(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, const UCHAR* frame, ULONG length);
// The frames: each builder writes the whole frame into buffer (MLME buffer size) and returns its length;
// each sender builds it in an MLME buffer and hands it to the management transmit path.
ULONG twtBuildSetupFrame(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId,
                         const TWT_PARAMS* params, PUCHAR buffer);
ULONG twtBuildInfoFrame(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId, UCHAR sizeCode,
                        ULONG64 nextTwt, PUCHAR buffer);
ULONG twtBuildTeardownFrame(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId, PUCHAR buffer);
NTSTATUS twtSendSetupFrame(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId,
                           const TWT_PARAMS* params);
NTSTATUS twtSendInfoFrame(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId, UCHAR sizeCode,
                          ULONG64 nextTwt);
NTSTATUS twtSendTeardownFrame(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR flowId);

// ---- machine 19's actions ------------------------------------------------------------------------------
STATE_MACHINE_FUNC twtActSendSetup;
STATE_MACHINE_FUNC twtActSendTeardown;
STATE_MACHINE_FUNC twtActSuspend;
STATE_MACHINE_FUNC twtActResume;
STATE_MACHINE_FUNC twtActSetupDone;
STATE_MACHINE_FUNC twtActSuspendDone;
STATE_MACHINE_FUNC twtActResumeDone;
STATE_MACHINE_FUNC twtActTeardownDone;
STATE_MACHINE_FUNC twtActSetTwt;
STATE_MACHINE_FUNC twtActTestRequest;
