// The firmware command layer: the command message, the adapter's queue of 20 command slots with
// their waits and completions, the legacy command format and the one send call through which every
// part of the driver sends a firmware command.
//
// A command travels as one message (FW_CMD_MSG): a descriptor and one buffer holding the chip's
// transmit descriptor, the command header and the payload. The sender takes a slot for it; the
// firmware command thread ("PlatformFWCmdThread") hands queued messages to the chip's CmdSendMsg
// operation; the host interface reports when the command left its ring (a pseudo event with the
// slot index) and the event dispatch reports answer events, and both complete the slot through
// QzCmdEventCompleteWaitingFwCmd. A sender at PASSIVE_LEVEL blocks on its slot's events; above it
// the send returns at once.
#pragma once

#include <cstddef>

#include "Common/common.h"
#include "Common/qzcmd_types.h"

// Command classes.
#define FW_CMD_CLASS_NORMAL 0xED         // every ordinary and extended command
#define FW_CMD_CLASS_DOWNLOAD_DATA 0xEE  // firmware download data: download ring, no command id
#define FW_CMD_ID_EXTENDED 0xED          // command id of an extended command
#define FW_CMD_ID_KEY 0x07               // the key command (shorter answer wait)

// Flags of the send call.
#define FW_CMD_FLAG_NEED_ANSWER 0x01  // the sender waits for the answer event

// Event ids the queue gives a meaning to.
#define FW_CMD_EVENT_DMA_DONE 0xFE      // legacy sent report; as an expected event: only the sent report completes
#define FW_CMD_UNI_EVENT_DMA_DONE 0x81  // unified sent report, and the unified "no answer"
#define FW_CMD_EVENT_EXTENDED 0xED      // answer of an extended command, told apart by its extended id
#define FW_CMD_EXT_EVENT_NONE 0xFF
#define FW_CMD_ID_EMPTY 0xFD            // command id of an empty slot
#define FW_CMD_UNI_TAG_LEGACY 0xFF

// Queue ids of the message descriptor (QzCmdGetPqId).
#define FW_CMD_PQ_ID_COMMAND 0x8000
#define FW_CMD_PQ_ID_DOWNLOAD 0xC000

// Ring selectors.
#define FW_CMD_RING_DOWNLOAD 0
#define FW_CMD_RING_COMMAND 1

// Messages under this size (with the chip's extra command length) come from the adapter's message
// pool; larger ones from the allocator.
#define FW_CMD_MSG_POOL_LIMIT MSG_CMD_BUFFER_SIZE

// The internal command that runs a command's callback on "PlatformControlCmdThread", and the one
// that asks for an error recovery (u32 kind), with the kind a command time-out asks for.
#define INTERNAL_CMD_FW_CMD_CALLBACK 0x10000039u
#define INTERNAL_CMD_ERROR_RECOVERY 0x10000044u
#define RECOVERY_KIND_FW_CMD_TIMEOUT 2u

// ---- the command message ---------------------------------------------------------------------------
typedef struct _FW_CMD_MSG {
    POOL_LINK Link;  // free-list link while the descriptor is in the message pool
    UCHAR InUse;     // 1 from allocation until release
    USHORT Reserved0;
    UCHAR Class;     // the send call's class; 0xEE marks firmware download data
    UCHAR ExtCmdId;
    UCHAR Flags;     // the send call's flags; bit 0: the sender waits for the answer event
    ULONG Reserved1;
    ULONG64 CallbackContext;
    ULONG CallbackArgument;
    FW_CMD_CALLBACK Callback;
    UCHAR Reserved2;
    USHORT PqId;         // FW_CMD_PQ_ID_*
    PMP_ADAPTER Adapter;
    PUCHAR Buffer;       // transmit descriptor, command header, payload
    USHORT TotalLength;  // bytes of the buffer in use
    ULONG RingSelector;  // FW_CMD_RING_*
    PMP_PORT Port;
    ULONG SlotIndex;     // the slot holding the message, FW_CMD_SLOT_NONE for none
    USHORT UniTag;       // set by the unified translation

    // Bookkeeping of the descriptor's own.
    ULONG BufferSize;     // bytes of the attached buffer
    USHORT PoolIndex;     // position in the message pool
    UCHAR FromPool;       // the descriptor and its buffer belong to the message pool
    UCHAR HandOverBusy;   // the command thread is handing the message to the host interface
    UCHAR ReleaseByThread;  // the command thread releases the message after its hand-over
} FW_CMD_MSG, *PFW_CMD_MSG;

// The data of internal command 0x10000039: the copied slot and a copy of its answer event (the
// receive buffer is returned before the control thread runs), 0 bytes when there is none.
typedef struct _FW_CMD_CALLBACK_RECORD {
    FW_CMD_SLOT Slot;
    ULONG AnswerEventLength;
    UCHAR AnswerEvent[1];
} FW_CMD_CALLBACK_RECORD, *PFW_CMD_CALLBACK_RECORD;
#define FW_CMD_CALLBACK_RECORD_EVENT_ROOM                                                          \
    (INTERNAL_CMD_PAYLOAD_SIZE - static_cast<ULONG>(offsetof(FW_CMD_CALLBACK_RECORD, AnswerEvent)))
static_assert(offsetof(FW_CMD_CALLBACK_RECORD, AnswerEvent) < INTERNAL_CMD_PAYLOAD_SIZE / 2,
              "a copied slot leaves room for its answer event");

// ---- the legacy command format ---------------------------------------------------------------------
#define FW_CMD_TXD_LENGTH 32
#define FW_CMD_LEGACY_PREFIX_LENGTH 64  // transmit descriptor + command header
#define FW_CMD_UNI_PREFIX_LENGTH 48
#define FW_CMD_HEADER_PACKET_TYPE 0xA0
#define FW_CMD_OPTION_UNIFIED 0x02      // bit of the option byte that marks a unified header

// The 32-byte legacy command header behind the transmit descriptor.
#pragma pack(push, 1)
typedef struct _FW_CMD_HEADER {
    USHORT Length;      // payload length + 32
    USHORT PqId;        // 0x8000 for class 0xED once the firmware runs in RAM (always on the older chip), else 0
    UCHAR CmdId;        // 0 for class 0xEE
    UCHAR PacketType;   // 0xA0
    UCHAR SetQuery;     // 1 set, 0 query; once the firmware runs in RAM
    UCHAR SeqNum;       // 1 to 99; 0 for class 0xEE
    UCHAR Reserved0;
    UCHAR ExtCmdId;     // class 0xED
    UCHAR Reserved1;    // 3 on the older chip once its firmware runs in RAM
    UCHAR Option;       // 0; bit 1 marks a unified header
    UCHAR Reserved2[20];
} FW_CMD_HEADER, *PFW_CMD_HEADER;
#pragma pack(pop)
static_assert(sizeof(FW_CMD_HEADER) == 32, "the legacy command header is 32 bytes");

// The chip groups whose formats differ: the older chip (0x3404), the second generation and the
// third generation.
typedef enum _FW_CHIP_GROUP {
    FW_CHIP_GROUP_OLDER = 1,
    FW_CHIP_GROUP_ARVEL2X = 2,
    FW_CHIP_GROUP_ARVEL3X = 3,
} FW_CHIP_GROUP;
FW_CHIP_GROUP QzCmdChipGroup(PMP_ADAPTER adapter);

// ---- the message -----------------------------------------------------------------------------------
// Allocates a zeroed message whose buffer holds `length` bytes (plus the chip's extra command
// length); none on failure.
PFW_CMD_MSG QzCmdAllocCmdMsg(PMP_ADAPTER adapter, ULONG length);
// Releases a message: nothing for a null message or one not in use.
void QzCmdFreeCmdMsg(PMP_ADAPTER adapter, PFW_CMD_MSG msg, ULONG length);
USHORT QzCmdGetPqId(UCHAR cmdClass);

// ---- the queue -------------------------------------------------------------------------------------
// Creates the 20 sent events and 20 response events of the slots (synchronization events, not
// signalled). Run once when the chip layer initialises the adapter, before the queue is used.
void QzCmdInitFWCmdSlotEvents(PMP_ADAPTER adapter);
// Empties the queue: both indices 0, every slot free (command id 0xFD, expected event 0xFE).
void QzCmdInitFWCmdQueue(PMP_ADAPTER adapter);
// Takes the slot under the write index for the message; FW_CMD_SLOT_NONE when the queue is full.
ULONG QzCmdStoreInfo(PMP_ADAPTER adapter, PFW_CMD_MSG msg);
// Queues the message and, at PASSIVE_LEVEL, waits for it: 0, 259 (queued above passive level),
// 258 (time-out), 0xC0000001 (refused, queue full), or the status the completion recorded.
NTSTATUS QzCmdEnqueueFWCmd(PMP_ADAPTER adapter, PMP_PORT port, PFW_CMD_MSG msg);
// Hands every queued message to the host interface; run by "PlatformFWCmdThread" after its wake
// event. The status of the last hand-over (0 when nothing was sent).
NTSTATUS QzCmdDequeueFWCmd(PMP_ADAPTER adapter, ULONG reserved);
// Waits on a slot event (time-out in 100 ns units, negative relative, 0 means 30 s). On a time-out
// the adapter's command-time-out flag is set, the chip's state is dumped and, on the second and
// third generation, an error recovery is requested.
NTSTATUS QzCmdEventWait(PMP_ADAPTER adapter, PKEVENT event, LONGLONG timeout);
// Completes the slot that waits for this event: the host interface reports a sent command with the
// pseudo event (0xFE legacy, 0x81 unified) and its slot index; the event dispatch reports answers
// with the event id, the event (the event view) and FW_CMD_SLOT_NONE. Returns the slot used,
// FW_CMD_SLOT_NONE when none.
ULONG QzCmdEventCompleteWaitingFwCmd(PMP_ADAPTER adapter, USHORT eventId, PUCHAR eventRecord, ULONG slotIndex,
                                     NTSTATUS status, BOOLEAN unified);
// Completes every slot in use so that no sender stays blocked.
void QzCmdQueueFlushCheck(PMP_ADAPTER adapter);
// TRUE while any slot is in use.
BOOLEAN QzCmdQueueValidCheck(PMP_ADAPTER adapter);

// The event that answers a legacy command, an extended command and a unified command.
USHORT QzCmdGetEventIDForFwCmdID(PMP_ADAPTER adapter, UCHAR cmdId);
USHORT QzCmdGetExtEventIDForExtFwCmdID(UCHAR cmdId, UCHAR extCmdId);
// `buffer` is the unified message (`length` bytes); command 0x03 is told apart by its payload.
USHORT QzCmdGetRespEventIDForUniCmdID(PMP_ADAPTER adapter, USHORT uniCmdId, const UCHAR* buffer, ULONG length,
                                      USHORT uniTag);

// Runs the callback of a completed command from the data of internal command 0x10000039; the
// control thread's executor calls it.
void QzCmdSlotCallbackHandler(PMP_ADAPTER adapter, PUCHAR payload, ULONG length);

// ---- the send call ---------------------------------------------------------------------------------
// The one call that sends a firmware command: the unified form on a third-generation chip whose
// firmware runs in RAM, the legacy form otherwise. 0, 0xC0000001, 0xC000009A, 258, or the status the
// command's completion recorded; a caller above passive level gets 0 as soon as it is queued.
NTSTATUS QzCmdSendSetQuery(PMP_PORT port, UCHAR cmdId, UCHAR cmdClass, UCHAR extCmdId, UCHAR setQuery, UCHAR flags,
                           const void* payload, USHORT length, FW_CMD_CALLBACK callback, ULONG64 callbackContext,
                           ULONG callbackArgument);
// The unified writer: writes one unified command (transmit descriptor, unified header, the payload
// copied to byte 48) and queues it. The unified translation sends each command it built through it,
// and the few commands without a legacy form call it directly. Option byte: query 2, set 6, set with
// an answer requested 7. 0, 0xC0000001 (refused), 0xC000009A (no payload, no message), or the
// queue's status; a caller above passive level gets 0 once the command is queued.
NTSTATUS QzCmdSendSetQueryUniCmdAdv(PMP_PORT port, UCHAR uniCmdId, UCHAR setQuery, UCHAR needResp, UCHAR flags,
                                    FW_CMD_CALLBACK callback, ULONG payloadLength, const void* payload,
                                    ULONG64 callbackContext, ULONG callbackArgument, USHORT answerTag);
// The legacy writer; called only by the send call.
NTSTATUS QzCmdSendSetQueryCmdAdv(PMP_PORT port, UCHAR cmdId, UCHAR cmdClass, UCHAR extCmdId, UCHAR setQuery,
                                 UCHAR flags, const void* payload, USHORT length, FW_CMD_CALLBACK callback,
                                 ULONG64 callbackContext, ULONG callbackArgument);

// ---- builders the bus layer sends ----------------------------------------------------------------
// Firmware power control: command 4 (set, no answer awaited) with the payload {value, 0, 0, 0},
// for port 0; 0xC0000001 when port 0 does not exist. The firmware erase sends 1.
#define FW_CMD_ID_POWER_CTRL 0x04
NTSTATUS QzCmdSendFwPowerCtrl(PMP_ADAPTER adapter, ULONG value);

// The per-family command builders.
#include "Common/qzcmd_bss.h"
#include "Common/qzcmd_scan.h"
