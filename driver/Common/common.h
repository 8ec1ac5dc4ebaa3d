// Internal commands: fixed-size records that code which may not block (timer callbacks, deferred
// routines, firmware-event handlers) hands to a worker thread, the six fixed pools they come from,
// the per-thread command queues, and the per-adapter sequence numbers.
#pragma once

#include "kshim/ke.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Leading field of every pooled record: the link of its pool's free list.
typedef struct _POOL_LINK {
    struct _POOL_LINK* Next;
} POOL_LINK, *PPOOL_LINK;

#define INTERNAL_CMD_PAYLOAD_SIZE 1280

typedef struct _INTERNAL_CMD {
    POOL_LINK Link;  // free-list link while the record is in its pool
    ULONG CmdId;
    ULONG PortIndex;   // the posting port's number
    PUCHAR Payload;    // INTERNAL_CMD_PAYLOAD_SIZE bytes owned by the record (ICS and internal pools)
    ULONG PayloadLength;
    UCHAR Posted;      // cleared when posted and when returned
    USHORT PoolIndex;  // position in its pool, fixed when the pool is built
    struct _INTERNAL_CMD* Next;  // queue link
} INTERNAL_CMD, *PINTERNAL_CMD;

// A deferred transmit-queue advance, drained by "WINCXTxNetQueueThread".
typedef struct _TXQ_NET_BUFFER {
    POOL_LINK Link;
    PVOID TxQueue;  // the NetAdapterCx transmit queue whose advance is deferred
    ULONG Value0;   // cleared on return
    ULONG Value1;   // cleared on return
    USHORT PoolIndex;
    struct _TXQ_NET_BUFFER* Next;
} TXQ_NET_BUFFER, *PTXQ_NET_BUFFER;

// Record counts of the six pools.
#define FW_LOG_CMD_POOL_SIZE 32
#define ICS_CMD_POOL_SIZE 64
#define INT_HANDLER_CMD_POOL_SIZE 32
#define INTERNAL_CMD_POOL_SIZE 32
#define MSG_CMD_POOL_SIZE 16
#define TXQ_NET_POOL_SIZE 1024
#define CMD_POOL_MAX_RECORDS TXQ_NET_POOL_SIZE

#define MSG_CMD_BUFFER_SIZE 256

typedef struct _CMD_BUFFER_POOL {
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
    PPOOL_LINK FreeHead;
    PPOOL_LINK FreeTail;
    ULONG FreeCount;
    ULONG RecordCount;                   // records built (a failed build leaves a smaller pool)
    PVOID Records[CMD_POOL_MAX_RECORDS];  // every record of the pool, for freeing at teardown
} CMD_BUFFER_POOL, *PCMD_BUFFER_POOL;

// The queue of one worker thread; the thread's wake event is set after each post.
typedef struct _COMMAND_QUEUE {
    ULONG Count;
    PINTERNAL_CMD Head;
    PINTERNAL_CMD Tail;
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
} COMMAND_QUEUE, *PCOMMAND_QUEUE;

// The deferred transmit-advance list drained by "WINCXTxNetQueueThread".
typedef struct _TXQ_NET_QUEUE {
    ULONG Count;
    PTXQ_NET_BUFFER Head;
    PTXQ_NET_BUFFER Tail;
    KSPIN_LOCK Lock;
    KIRQL OldIrql;
} TXQ_NET_QUEUE, *PTXQ_NET_QUEUE;

// Class bits that route an internal command id to its thread.
#define INTERNAL_CMD_CLASS_CONTROL 0x10000000u  // "PlatformControlCmdThread" (and the other 0x1000xxxx queues)
#define INTERNAL_CMD_CLASS_P2P 0x20000000u      // "P2PCmdThread"
#define INTERNAL_CMD_CLASS_ICS 0x80000000u      // "IcsCmdThread"

// Sequence-number classes of GetNextSeqNum.
#define SEQ_NUM_CLASS_FW_CMD 0
#define SEQ_NUM_CLASS_CH_PRIVILEGE 1
#define SEQ_NUM_CLASS_ACTION_FRAME 2
#define SEQ_NUM_CLASS_TX_DONE 3
#define SEQ_NUM_CLASSES 4

// The pools and queues an adapter owns.
typedef struct _INTERNAL_CMD_BLOCK {
    CMD_BUFFER_POOL FwLogPool;
    CMD_BUFFER_POOL IcsPool;
    CMD_BUFFER_POOL IntHandlerPool;
    CMD_BUFFER_POOL InternalPool;
    CMD_BUFFER_POOL MsgPool;
    CMD_BUFFER_POOL TxqNetPool;
    COMMAND_QUEUE ControlQueue;     // "PlatformControlCmdThread"
    COMMAND_QUEUE IcsQueue;         // "IcsCmdThread"
    COMMAND_QUEUE IntHandlerQueue;  // "PlatformIntHandlerThread"
    COMMAND_QUEUE FwLogQueue;       // "PlatformFWIdxLogThread"
    TXQ_NET_QUEUE TxqNetQueue;      // "WINCXTxNetQueueThread"
    volatile UCHAR SeqNum[SEQ_NUM_CLASSES];
} INTERNAL_CMD_BLOCK, *PINTERNAL_CMD_BLOCK;

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
