// The records of the firmware command queue: the adapter's 20 command slots and the callbacks a
// command carries.
#pragma once

#include "kshim/ke.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _FW_CMD_MSG FW_CMD_MSG, *PFW_CMD_MSG;

#define FW_CMD_SLOT_COUNT 20
#define FW_CMD_SLOT_NONE FW_CMD_SLOT_COUNT  // a message without a slot / "find the slot by the event"

// ---- callbacks -------------------------------------------------------------------------------------
// A command's callback runs on the control thread once the command is complete. The send call takes
// one callback; the queue decides by the command which form it has: the answer form for the unified
// command that expects event 0x1A and for the extended command 0x3C, the completion form otherwise.
// Their results are not used.
typedef NTSTATUS (*FW_CMD_COMPLETION_CALLBACK)(ULONG64 context, ULONG argument);
typedef NTSTATUS (*FW_CMD_ANSWER_CALLBACK)(PMP_ADAPTER adapter, ULONG64 context, ULONG argument,
                                           PUCHAR answerEvent);
typedef void (*FW_CMD_CALLBACK)(void);
inline FW_CMD_CALLBACK FwCmdCompletionCallback(FW_CMD_COMPLETION_CALLBACK callback)
{
    return reinterpret_cast<FW_CMD_CALLBACK>(callback);
}
inline FW_CMD_CALLBACK FwCmdAnswerCallback(FW_CMD_ANSWER_CALLBACK callback)
{
    return reinterpret_cast<FW_CMD_CALLBACK>(callback);
}

// ---- the command slot ------------------------------------------------------------------------------
typedef struct _FW_CMD_SLOT {
    volatile UCHAR InUse;
    PMP_PORT Port;
    USHORT CmdId;             // legacy command id, or unified command id
    USHORT ExpectedEventId;   // FW_CMD_EVENT_DMA_DONE / FW_CMD_UNI_EVENT_DMA_DONE: only the sent report completes it
    UCHAR Class;
    UCHAR SeqNum;             // from the command header
    UCHAR NeedAnswer;
    volatile UCHAR Answered;
    volatile UCHAR Sent;      // the host interface reported the command sent (or a completion stood for it)
    ULONG64 CallbackContext;
    ULONG CallbackArgument;
    FW_CMD_COMPLETION_CALLBACK CompletionCallback;
    FW_CMD_ANSWER_CALLBACK AnswerCallback;
    PFW_CMD_MSG Message;      // none once the command thread has released a message nobody waits for
    NTSTATUS Status;          // 0xC0000001 when taken; the command's final status
    volatile UCHAR OnRing;    // set by the host interface once the message is on a ring
    USHORT ExpectedExtEventId;
    PUCHAR AnswerEvent;       // the event that answered; valid only while the event is being dispatched
    UCHAR Unified;
    USHORT UniTag;            // FW_CMD_UNI_TAG_LEGACY for a legacy message
    UCHAR WaiterPresent;      // a sender at passive level has not yet read the slot's result
} FW_CMD_SLOT, *PFW_CMD_SLOT;

// The adapter's command queue: the 20 slots under one lock, the two ring indices, the two events of
// each slot, and the firmware state the send call follows. The command thread's wake event is that
// of "PlatformFWCmdThread".
typedef struct _FW_CMD_BLOCK {
    FW_CMD_SLOT FwCmdSlots[FW_CMD_SLOT_COUNT];
    KSPIN_LOCK FwCmdSlotLock;
    UCHAR FwCmdWriteIndex;
    UCHAR FwCmdReadIndex;
    UCHAR FwCmdQueuedCount;  // slots taken that the command thread has not yet passed (20 when all are)
    ULONG FwCmdQueueEpoch;  // advanced each time the queue is emptied
    KEVENT FwCmdSentEvents[FW_CMD_SLOT_COUNT];
    KEVENT FwCmdRespEvents[FW_CMD_SLOT_COUNT];
    UCHAR RecoveryInProgress;  // a firmware-level (L0.5) recovery runs: every command is refused
    UCHAR CmdTimeout;  // a command got no answer in time: every command is refused until recovery
    UCHAR FwJustDownloaded;  // set when a download starts, cleared 10 s later: 7 s sent waits
    UCHAR ShuttingDown;  // 1 s waits
    ULONG RefusedCmdCount;  // commands refused by class while a firmware recovery runs
} FW_CMD_BLOCK, *PFW_CMD_BLOCK;
