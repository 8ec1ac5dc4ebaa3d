// Internal commands: fixed-size records that code which may not block (timer callbacks, deferred
// routines, firmware-event handlers) hands to a worker thread, the six fixed pools they come from,
// the per-thread command queues, and the per-adapter sequence numbers.
#pragma once

#include "Common/common_types.h"
#include "kshim/ke.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// ---- pool builders (adapter block initialisation) and their frees (teardown) ------------------------
void QzInitFWLogHandlerCmdBuffer(PMP_ADAPTER adapter);
void QzInitIcsCmdBuffer(PMP_ADAPTER adapter);
void QzInitIntHandlerCmdBuffer(PMP_ADAPTER adapter);
void QzInitInternalCmdBuffer(PMP_ADAPTER adapter);
void QzInitMsgCmdBuffer(PMP_ADAPTER adapter);
void QzInitTXQNetBuffer(PMP_ADAPTER adapter);
void QzFreeFWLogHandlerCmdBuffer(PMP_ADAPTER adapter);
void QzFreeIcsCmdBuffer(PMP_ADAPTER adapter);
void QzFreeIntHandlerCmdBuffer(PMP_ADAPTER adapter);
void QzFreeInternalCmdBuffer(PMP_ADAPTER adapter);
void QzFreeMsgCmdBuffer(PMP_ADAPTER adapter);
void QzFreeTXQNetBuffer(PMP_ADAPTER adapter);

// ---- taking and returning records --------------------------------------------------------------------
// None while the adapter is halting (flag 0x40) or when the pool is empty.
PINTERNAL_CMD QzGetInternalCmdBuffer(PMP_ADAPTER adapter);
PINTERNAL_CMD QzGetIcsCmdBuffer(PMP_ADAPTER adapter);
PINTERNAL_CMD QzGetIntHandlerCmdBuffer(PMP_ADAPTER adapter);
PINTERNAL_CMD QzGetFWLogHandlerCmdBuffer(PMP_ADAPTER adapter);
PTXQ_NET_BUFFER QzGetTXQNetBuffer(PMP_ADAPTER adapter);
void QzReturnInternalCmdBuffer(PMP_ADAPTER adapter, PINTERNAL_CMD cmd);
void QzReturnIcsCmdBuffer(PMP_ADAPTER adapter, PINTERNAL_CMD cmd);
void QzReturnIntHandlerCmdBuffer(PMP_ADAPTER adapter, PINTERNAL_CMD cmd);
void QzReturnFWLogHandlerCmdBuffer(PMP_ADAPTER adapter, PINTERNAL_CMD cmd);
void QzReturnTXQNetBuffer(PMP_ADAPTER adapter, PTXQ_NET_BUFFER buffer);
// The firmware command message pool ignores the adapter flags.
struct _FW_CMD_MSG* QzGetMsgCmdBuffer(PMP_ADAPTER adapter);
void QzReturnMsgCmdBuffer(PMP_ADAPTER adapter, struct _FW_CMD_MSG* msg);

// ---- queues ------------------------------------------------------------------------------------------
void QzInitCmdQueue(PCOMMAND_QUEUE queue);
// Takes the head record (none when empty); the caller holds the queue's lock.
void QzDequeueCmdQueue(PCOMMAND_QUEUE queue, PINTERNAL_CMD* cmd);
// Takes the head record under the queue's lock.
PINTERNAL_CMD QzDequeueCmdQueueLocked(PCOMMAND_QUEUE queue);
PTXQ_NET_BUFFER QzDequeueTXQNetQueue(PTXQ_NET_QUEUE queue);
// Appends a deferred transmit advance and wakes "WINCXTxNetQueueThread".
void QzEnqueueTXQNetBuffer(PMP_ADAPTER adapter, PTXQ_NET_BUFFER buffer);

// ---- posting (0xC0000001 on every refusal; 0xC000000D for an id without the pool's class bit) ----------
NTSTATUS QZEnqueueInternalCmd(PMP_ADAPTER adapter, PMP_PORT port, ULONG cmdId, const void* payload, ULONG length);
NTSTATUS QZEnqueueIcsCmd(PMP_ADAPTER adapter, PMP_PORT port, ULONG cmdId, const void* payload, ULONG length);
NTSTATUS QZEnqueueIntHandlerCmd(PMP_ADAPTER adapter, PMP_PORT port, ULONG cmdId, const void* payload, ULONG length);
NTSTATUS QZEnqueueFWLog(PMP_ADAPTER adapter, PMP_PORT port, ULONG cmdId, const void* payload, ULONG length);

// The class's sequence number, advanced first when `advance` is set: classes 0, 1 and 3 run 1 to 99,
// class 2 runs modulo 128 with 0 and 1 replaced by 111.
UCHAR GetNextSeqNum(PMP_ADAPTER adapter, UCHAR seqClass, BOOLEAN advance);

// Builds the port's VHT, HE and EHT elements; always 0.
NTSTATUS InitHtVhtHeEhtCtrl(PMP_ADAPTER adapter, PMP_PORT port);
