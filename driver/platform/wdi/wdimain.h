// The WDI layer's core: the message header, the dispatch rows of the WDI tasks and properties, the
// task control block that records the one pending task, the completion of a request buffer, the
// single sender of every WDI indication, the abort of the pending task, the per-row parameter
// buffers, the request's port and the name lookups of the traces. Also the intake's own records
// (command history, parameter buffers), which live beside the control block in the adapter.
#pragma once

#include <atomic>

#include "kshim/ke.h"
#include "kshim/wditlv.h"
#include "kshim/wificx_request.h"
#include "platform/wdi/wdimain_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// ---- statuses ------------------------------------------------------------------------------------------------
#define NDIS_STATUS_REQUEST_ABORTED ((NTSTATUS)0xC001000CL)

// ---- message ids and indication codes ------------------------------------------------------------------------
#define WDI_TASK_SCAN 4
#define WDI_TASK_P2P_DISCOVER 5
#define WDI_TASK_CONNECT 6
#define WDI_TASK_DOT11_RESET 7
#define WDI_TASK_DISCONNECT 8
#define WDI_TASK_P2P_SEND_REQUEST_ACTION_FRAME 9
#define WDI_TASK_P2P_SEND_RESPONSE_ACTION_FRAME 10
#define WDI_TASK_SET_RADIO_STATE 11
#define WDI_TASK_START_AP 14
#define WDI_TASK_STOP_AP 15
#define WDI_TASK_SEND_AP_ASSOCIATION_RESPONSE 17
#define WDI_TASK_CHANGE_OPERATION_MODE 90
#define WDI_TASK_ROAM 100
#define WDI_TASK_SEND_REQUEST_ACTION_FRAME 102
#define WDI_TASK_SEND_RESPONSE_ACTION_FRAME 105
#define WDI_GET_STATISTICS 34
#define WDI_ABORT_TASK 75
#define WDI_GET_NEXT_ACTION_FRAME_DIALOG_TOKEN 108

#define WDI_INDICATION_SCAN_COMPLETE 0x4005003Cu
#define WDI_INDICATION_P2P_DISCOVERY_COMPLETE 0x4005003Du
#define WDI_INDICATION_CONNECT_COMPLETE 0x40050040u
#define WDI_INDICATION_DOT11_RESET_COMPLETE 0x4005003Fu
#define WDI_INDICATION_DISCONNECT_COMPLETE 0x40050015u
#define WDI_INDICATION_SET_RADIO_STATE_COMPLETE 0x40050016u
#define WDI_INDICATION_ROAM_COMPLETE 0x40050065u
#define WDI_INDICATION_CHANGE_OPERATION_MODE_COMPLETE 0x4005005Bu
#define WDI_INDICATION_NONE 0xFFFFFFFFu  // the dummy row's

// Modes of WdiEventSendStatusIndicationEx.
#define WDI_INDICATION_MODE_TASK_COMPLETION 0
#define WDI_INDICATION_MODE_UNSOLICITED 1

// ---- dispatch rows ------------------------------------------------------------------------------------------
// A row's TLV parse routine: the TLV part of the request (its length and bytes, behind the header),
// the adapter's TLV context, the parameter record to fill; 0 on success.
typedef NTSTATUS WDI_TLV_PARSE_ROUTINE(ULONG length, const UCHAR* tlvs, const void* tlvContext, PVOID parameters);
// Releases what the parse routine attached to the record.
typedef VOID WDI_TLV_FREE_ROUTINE(PVOID parameters);
// Task and property handlers get the adapter, the request and the parsed record.
typedef NTSTATUS WDI_MESSAGE_HANDLER(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters);
// A task row's abort handler.
typedef NTSTATUS WDI_TASK_ABORT_HANDLER(PMP_ADAPTER adapter, PMP_PORT port);

typedef struct _WDI_TASK_DISPATCH_ENTRY {
    ULONG MessageId;
    PCSTR Name;
    WDI_MESSAGE_HANDLER* Handler;
    WDI_TASK_ABORT_HANDLER* AbortHandler;  // none for most rows
    ULONG CompletionCode;                  // the task's completion indication
    WDI_TLV_PARSE_ROUTINE* Parse;
    WDI_TLV_FREE_ROUTINE* Free;
    ULONG ParameterSize;
} WDI_TASK_DISPATCH_ENTRY, *PWDI_TASK_DISPATCH_ENTRY;

typedef struct _WDI_PROPERTY_DISPATCH_ENTRY {
    ULONG MessageId;
    PCSTR Name;
    WDI_MESSAGE_HANDLER* Handler;
    WDI_TLV_PARSE_ROUTINE* Parse;
    WDI_TLV_FREE_ROUTINE* Free;
    ULONG ParameterSize;
} WDI_PROPERTY_DISPATCH_ENTRY, *PWDI_PROPERTY_DISPATCH_ENTRY;

#define WDI_TASK_ROW_NONE 255
#define WDI_TASK_DUMMY_ID 255

extern const WDI_TASK_DISPATCH_ENTRY g_WdiTaskTable[WDI_TASK_ROW_COUNT];
extern const WDI_PROPERTY_DISPATCH_ENTRY g_WdiPropertyTable[WDI_PROPERTY_ROW_COUNT];
// The first row of the message id (the dummy row never matches); WDI_TASK_ROW_NONE when none.
USHORT WdiFindTaskRow(ULONG messageId);
USHORT WdiFindPropertyRow(ULONG messageId);

// ---- the task control block ------------------------------------------------------------------------------
// TRUE while the OS has a task with this WDI message id pending (read under the pending lock).
BOOLEAN WdiTaskIsPending(PMP_ADAPTER adapter, ULONG messageId);

// ---- services -------------------------------------------------------------------------------------------
// Initialises the control block's locks and empties it (device add).
VOID WdiInitCntlBlock(PMP_ADAPTER adapter);
// With a request: records it as the pending task with its dispatch-table row (0xC000009A when its
// copy cannot be allocated: nothing is recorded). Without one (null): releases the block and stores
// the row index (every caller passes WDI_TASK_ROW_NONE); never fails.
NTSTATUS WdiUpdateCntlBlock(PMP_ADAPTER adapter, WIFIREQUEST request, USHORT rowIndex);
// Completes a request with its WDI header (Status 0) and an optional payload behind it; 0, or
// 0xC0000001 when the buffer is missing (completed 0xC000009A) or too small (completed 0x80000005 with
// the bytes needed).
NTSTATUS WdiEventCompleteOid(PMP_ADAPTER adapter, WIFIREQUEST request, const void* payload, ULONG payloadLength);
// Sends one WDI indication. Mode 1: unsolicited (TransactionId 0). Mode 0: the completion of the
// pending task, sent only when `code` is the pending row's completion code; it releases the block.
// `header` may be null (a zeroed header with `portId`).
VOID WdiEventSendStatusIndicationEx(PMP_ADAPTER adapter, const WDI_MESSAGE_HEADER* header, USHORT portId, ULONG code,
                                    NTSTATUS status, const void* payload, ULONG payloadLength, ULONG mode);
// Handler of the abort-task property row.
WDI_MESSAGE_HANDLER WdiPropertySetTaskAbort;
NTSTATUS WdiAbortCmdSanity(PMP_ADAPTER adapter, WIFIREQUEST request, ULONG messageId);
NTSTATUS WdiTaskAbort(PMP_ADAPTER adapter, WIFIREQUEST request, PWDI_TASK_ABORT_PARAMETERS parameters);
// The per-row parameter buffers; the free is safe on a partly allocated set.
NTSTATUS WdiAllocateOidParamBuffer(PMP_ADAPTER adapter);
VOID WdiFreeOidParamBuffer(PMP_ADAPTER adapter);
// The port the request's header names (above 4: port 0); null without a buffer or a header.
PMP_PORT NdisWdiGetMpPortPtr(PMP_ADAPTER adapter, WIFIREQUEST request);
// Trace names.
PCSTR DecodeWdiMessageId(ULONG id);
PCSTR DecodeWdiIndication(ULONG code);

// The TLV part of a request of `inputLength` bytes: its length, 0 when the input is no longer than
// the header.
inline ULONG WdiTlvLength(ULONG inputLength)
{
    return inputLength > WDI_MESSAGE_HEADER_SIZE ? inputLength - WDI_MESSAGE_HEADER_SIZE : 0;
}
