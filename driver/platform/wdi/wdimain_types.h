// The WDI layer's records: the message header, the task control block that records the one pending
// task, and the intake's own records (command history, saved requests, parameter buffers), which the
// adapter keeps as its WDI share.
#pragma once

#include <atomic>

#include "kshim/ke.h"
#include "kshim/wificx_request.h"

// ---- the WDI message header ------------------------------------------------------------------------------
#pragma pack(push, 1)
typedef struct _WDI_MESSAGE_HEADER {
    USHORT PortId;         // above 4 (0xFFFF included): port 0
    USHORT Reserved;
    NTSTATUS Status;       // written by the driver in completions and indications
    ULONG TransactionId;   // echoed in a task's completion indication; 0 in unsolicited ones
    ULONG IhvSpecificId;
} WDI_MESSAGE_HEADER, *PWDI_MESSAGE_HEADER;
#pragma pack(pop)
static_assert(sizeof(WDI_MESSAGE_HEADER) == 16, "the WDI message header is 16 bytes");
#define WDI_MESSAGE_HEADER_SIZE 16u
#define WDI_PORT_ID_ADAPTER 0xFFFFu

// Rows of the task and property dispatch tables.
#define WDI_TASK_ROW_COUNT 16  // the last a dummy row with id 255
#define WDI_PROPERTY_ROW_COUNT 21

// ---- the task control block ------------------------------------------------------------------------------
typedef struct _WDI_CNTL_BLOCK {
    ULONG PendingMessageId;          // 0 when none
    UCHAR RequestRecorded;
    WDI_MESSAGE_HEADER HeaderCopy;   // of the recorded task
    WIFIREQUEST PendingRequest;
    USHORT RowIndex;                 // WDI_TASK_ROW_NONE when none; guarded by PendingLock
    UCHAR TaskPending;               // guarded by PendingLock
    std::atomic<UCHAR> HandlerRunning;  // the task work item runs the row's handler
    std::atomic<UCHAR> AbortRequested;
    PUCHAR PrivateCopy;              // the whole input of the recorded request; guarded by CopyLock
    ULONG PrivateCopyLength;
    KSPIN_LOCK PendingLock;
    KSPIN_LOCK CopyLock;
    // Beside the recorded task: its recording number (advanced by every recording) and whether its
    // request was completed (WdiEventCompleteOid on the recorded request). Guarded by PendingLock.
    ULONG Sequence;
    UCHAR RequestCompleted;
} WDI_CNTL_BLOCK, *PWDI_CNTL_BLOCK;
// ---- the intake's records -----------------------------------------------------------------------------
#define WDI_COMMAND_HISTORY_SIZE 10

typedef struct _WDI_COMMAND_HISTORY_ENTRY {
    ULONG64 RequestTimeMs;
    ULONG MessageId;
    ULONG TransactionId;
    UCHAR Done;
    ULONG64 CompletionTimeMs;
    NTSTATUS Status;  // 0xC0000001 until the command's handler has run
} WDI_COMMAND_HISTORY_ENTRY;

typedef struct _WDI_COMMAND_HISTORY {
    WDI_COMMAND_HISTORY_ENTRY Entries[WDI_COMMAND_HISTORY_SIZE];
    ULONG NextIndex;  // 0 to 9
    KSPIN_LOCK Lock;  // the intake records and the work items complete entries from other threads
} WDI_COMMAND_HISTORY;

// The last request of a kind (task or property), for traces and dumps.
typedef struct _WDI_SAVED_REQUEST {
    WIFIREQUEST Request;
    ULONG MessageId;
    PWDI_MESSAGE_HEADER Header;
    ULONG InputLength;
    ULONG OutputLength;
} WDI_SAVED_REQUEST;

// The WDI share of the adapter: the control block, the intake's records and the parameter buffers.
typedef struct _WDI_ADAPTER_STATE {
    WDI_CNTL_BLOCK CntlBlock;
    WDI_COMMAND_HISTORY History;
    WDI_SAVED_REQUEST SavedTask;
    WDI_SAVED_REQUEST SavedProperty;
    // The shared parameter buffers of the intake (largest row size of each table).
    PVOID TaskParamBuffer;
    ULONG TaskParamBufferSize;
    PVOID PropertyParamBuffer;
    ULONG PropertyParamBufferSize;
    // One buffer per row with a parameter size (WDI_OID_PARAM_BUFFER).
    PVOID TaskRowBuffers[WDI_TASK_ROW_COUNT];
    PVOID PropertyRowBuffers[WDI_PROPERTY_ROW_COUNT];
    // Set by the scan abort handler, cleared by the intake before each new task.
    std::atomic<UCHAR> ScanAbortRequested;
} WDI_ADAPTER_STATE;
