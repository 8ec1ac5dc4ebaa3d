// The records of the internal commands: the fixed-size records, the six fixed pools they come from,
// the per-thread command queues, and the adapter's block of them with its sequence numbers.
#pragma once

#include "kshim/ke.h"

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
