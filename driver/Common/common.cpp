// Internal command pools and queues, posting, and the sequence numbers.
#include "Common/common.h"

#include "Common/p2p/p2p.h"
#include "Common/qzcmd.h"
#include "Common/rlm.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/trace.h"

namespace {

enum class RecordKind { Internal, InternalWithPayload, Msg, TxqNet };

SIZE_T RecordSize(RecordKind kind)
{
    switch (kind) {
    case RecordKind::Msg:
        return sizeof(FW_CMD_MSG);
    case RecordKind::TxqNet:
        return sizeof(TXQ_NET_BUFFER);
    default:
        return sizeof(INTERNAL_CMD);
    }
}

void AppendFree(PCMD_BUFFER_POOL pool, PPOOL_LINK link)
{
    link->Next = nullptr;
    if (pool->FreeTail == nullptr) {
        pool->FreeHead = link;
    } else {
        pool->FreeTail->Next = link;
    }
    pool->FreeTail = link;
    ++pool->FreeCount;
}

PPOOL_LINK TakeFree(PCMD_BUFFER_POOL pool)
{
    PPOOL_LINK link = pool->FreeHead;
    if (link == nullptr) {
        return nullptr;
    }
    pool->FreeHead = link->Next;
    if (pool->FreeHead == nullptr) {
        pool->FreeTail = nullptr;
    }
    link->Next = nullptr;
    --pool->FreeCount;
    return link;
}

// Builds a pool of `count` zero-filled records; stops at the first allocation failure.
void BuildPool(PMP_ADAPTER adapter, PCMD_BUFFER_POOL pool, ULONG count, RecordKind kind, PCSTR name)
{
    pool->FreeHead = nullptr;
    pool->FreeTail = nullptr;
    pool->FreeCount = 0;
    pool->RecordCount = 0;
    for (ULONG i = 0; i < count; ++i) {
        PVOID record = nullptr;
        ULONG size = static_cast<ULONG>(RecordSize(kind));
        if (PlatformAllocateMemory(adapter, &record, size, TAG_ZV04) != STATUS_SUCCESS) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "%s: record %u not allocated", name, static_cast<unsigned>(i));
            break;
        }
        PlatformZeroMemory(record, size);
        if (kind == RecordKind::InternalWithPayload || kind == RecordKind::Msg) {
            ULONG bufferSize = kind == RecordKind::Msg ? MSG_CMD_BUFFER_SIZE : INTERNAL_CMD_PAYLOAD_SIZE;
            PVOID buffer = nullptr;
            if (PlatformAllocateMemory(adapter, &buffer, bufferSize, TAG_ZV04) != STATUS_SUCCESS) {
                DBGPRINT(TRACE_LEVEL_ERROR, DBG_MEM, "%s: buffer of record %u not allocated", name,
                         static_cast<unsigned>(i));
                PlatformFreeMemory(record, size);
                break;
            }
            PlatformZeroMemory(buffer, bufferSize);
            if (kind == RecordKind::Msg) {
                auto* msg = static_cast<PFW_CMD_MSG>(record);
                msg->Buffer = static_cast<PUCHAR>(buffer);
                msg->BufferSize = MSG_CMD_BUFFER_SIZE;
                msg->PoolIndex = static_cast<USHORT>(i);
            } else {
                auto* cmd = static_cast<PINTERNAL_CMD>(record);
                cmd->Payload = static_cast<PUCHAR>(buffer);
                cmd->PoolIndex = static_cast<USHORT>(i);
            }
        } else if (kind == RecordKind::TxqNet) {
            static_cast<PTXQ_NET_BUFFER>(record)->PoolIndex = static_cast<USHORT>(i);
        } else {
            static_cast<PINTERNAL_CMD>(record)->PoolIndex = static_cast<USHORT>(i);
        }
        pool->Records[i] = record;
        pool->RecordCount = i + 1;
        AppendFree(pool, static_cast<PPOOL_LINK>(record));
    }
}

// Frees every record (and its buffer) of a pool, under the pool's lock.
void FreePool(PCMD_BUFFER_POOL pool, RecordKind kind)
{
    KeAcquireSpinLock(&pool->Lock, &pool->OldIrql);
    for (ULONG i = 0; i < pool->RecordCount; ++i) {
        PVOID record = pool->Records[i];
        if (record == nullptr) {
            continue;
        }
        if (kind == RecordKind::InternalWithPayload) {
            PlatformFreeMemory(static_cast<PINTERNAL_CMD>(record)->Payload, INTERNAL_CMD_PAYLOAD_SIZE);
        } else if (kind == RecordKind::Msg) {
            PlatformFreeMemory(static_cast<PFW_CMD_MSG>(record)->Buffer, MSG_CMD_BUFFER_SIZE);
        }
        PlatformFreeMemory(record, static_cast<ULONG>(RecordSize(kind)));
        pool->Records[i] = nullptr;
    }
    pool->RecordCount = 0;
    pool->FreeHead = nullptr;
    pool->FreeTail = nullptr;
    pool->FreeCount = 0;
    KeReleaseSpinLock(&pool->Lock, pool->OldIrql);
}

// Takes the free-list head; none while the adapter halts (unless `ignoreFlags`) or when empty.
PVOID GetRecord(PMP_ADAPTER adapter, PCMD_BUFFER_POOL pool, BOOLEAN ignoreFlags, PCSTR name)
{
    if (!ignoreFlags && AdapterTestFlags(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS)) {
        return nullptr;
    }
    KeAcquireSpinLock(&pool->Lock, &pool->OldIrql);
    PPOOL_LINK link = TakeFree(pool);
    ULONG freeCount = pool->FreeCount;
    KeReleaseSpinLock(&pool->Lock, pool->OldIrql);
    if (link == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_THREAD, "%s: pool empty, %u free", name, static_cast<unsigned>(freeCount));
    }
    return link;
}

void PutRecord(PCMD_BUFFER_POOL pool, PPOOL_LINK link)
{
    KeAcquireSpinLock(&pool->Lock, &pool->OldIrql);
    AppendFree(pool, link);
    KeReleaseSpinLock(&pool->Lock, pool->OldIrql);
}

void ReturnCmd(PCMD_BUFFER_POOL pool, PINTERNAL_CMD cmd)
{
    if (cmd == nullptr) {
        return;
    }
    if (cmd->Payload != nullptr) {
        PlatformZeroMemory(cmd->Payload, INTERNAL_CMD_PAYLOAD_SIZE);
    }
    cmd->PayloadLength = 0;
    cmd->Posted = 0;
    cmd->PortIndex = 0;
    cmd->CmdId = 0;
    cmd->Next = nullptr;
    PutRecord(pool, &cmd->Link);
}

void EnqueueCmd(PCOMMAND_QUEUE queue, PINTERNAL_CMD cmd)
{
    KeAcquireSpinLock(&queue->Lock, &queue->OldIrql);
    cmd->Next = nullptr;
    if (queue->Tail == nullptr) {
        queue->Head = cmd;
    } else {
        queue->Tail->Next = cmd;
    }
    queue->Tail = cmd;
    ++queue->Count;
    KeReleaseSpinLock(&queue->Lock, queue->OldIrql);
}

typedef PINTERNAL_CMD (*GET_CMD)(PMP_ADAPTER);
typedef void (*RETURN_CMD)(PMP_ADAPTER, PINTERNAL_CMD);

// One destination of a posting operation: the class bit, the queue and the thread to wake.
struct PostRoute {
    ULONG ClassBit;
    PCOMMAND_QUEUE Queue;
    PPLATFORM_THREAD Thread;
};

// Posting, steps common to the four members; `routes` are tested in order.
NTSTATUS Post(PMP_ADAPTER adapter, PMP_PORT port, ULONG cmdId, const void* payload, ULONG length, GET_CMD get,
              RETURN_CMD put, const PostRoute* routes, ULONG routeCount, PCSTR name)
{
    if (adapter == nullptr || adapter->StopThreads.load() == 1 || port == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_THREAD, "%s: 0x%08X refused", name, static_cast<unsigned>(cmdId));
        return STATUS_UNSUCCESSFUL;
    }
    PINTERNAL_CMD cmd = get(adapter);
    if (cmd == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_THREAD, "%s: no record for 0x%08X", name, static_cast<unsigned>(cmdId));
        return STATUS_UNSUCCESSFUL;
    }
    cmd->CmdId = cmdId;
    cmd->PortIndex = port->PortNumber;
    cmd->Posted = 0;
    if (length != 0) {
        if (length > INTERNAL_CMD_PAYLOAD_SIZE) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "%s: 0x%08X payload of %u bytes refused", name,
                     static_cast<unsigned>(cmdId), static_cast<unsigned>(length));
            put(adapter, cmd);
            return STATUS_UNSUCCESSFUL;
        }
        if (cmd->Payload != nullptr) {
            PlatformMoveMemory(cmd->Payload, payload, length);
        }
        cmd->PayloadLength = length;
    }
    for (ULONG i = 0; i < routeCount; ++i) {
        if ((cmdId & routes[i].ClassBit) == 0) {
            continue;
        }
        if (routes[i].Queue == nullptr) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "%s: no queue for 0x%08X", name, static_cast<unsigned>(cmdId));
            put(adapter, cmd);
            return STATUS_UNSUCCESSFUL;
        }
        EnqueueCmd(routes[i].Queue, cmd);
        PlatformSignalThread(routes[i].Thread);
        return STATUS_SUCCESS;
    }
    // An id of another class is queued nowhere; the poster learns that nothing happened.
    DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "%s: 0x%08X has no class bit of this queue", name,
             static_cast<unsigned>(cmdId));
    put(adapter, cmd);
    return STATUS_INVALID_PARAMETER;
}

}  // namespace

// ---- builders and frees ----------------------------------------------------------------------------------
void QzInitFWLogHandlerCmdBuffer(PMP_ADAPTER adapter)
{
    BuildPool(adapter, &adapter->Cmd.FwLogPool, FW_LOG_CMD_POOL_SIZE, RecordKind::Internal, __func__);
}

void QzInitIcsCmdBuffer(PMP_ADAPTER adapter)
{
    BuildPool(adapter, &adapter->Cmd.IcsPool, ICS_CMD_POOL_SIZE, RecordKind::InternalWithPayload, __func__);
}

void QzInitIntHandlerCmdBuffer(PMP_ADAPTER adapter)
{
    BuildPool(adapter, &adapter->Cmd.IntHandlerPool, INT_HANDLER_CMD_POOL_SIZE, RecordKind::Internal, __func__);
}

void QzInitInternalCmdBuffer(PMP_ADAPTER adapter)
{
    BuildPool(adapter, &adapter->Cmd.InternalPool, INTERNAL_CMD_POOL_SIZE, RecordKind::InternalWithPayload,
              __func__);
}

void QzInitMsgCmdBuffer(PMP_ADAPTER adapter)
{
    BuildPool(adapter, &adapter->Cmd.MsgPool, MSG_CMD_POOL_SIZE, RecordKind::Msg, __func__);
}

void QzInitTXQNetBuffer(PMP_ADAPTER adapter)
{
    BuildPool(adapter, &adapter->Cmd.TxqNetPool, TXQ_NET_POOL_SIZE, RecordKind::TxqNet, __func__);
}

void QzFreeFWLogHandlerCmdBuffer(PMP_ADAPTER adapter) { FreePool(&adapter->Cmd.FwLogPool, RecordKind::Internal); }
void QzFreeIcsCmdBuffer(PMP_ADAPTER adapter) { FreePool(&adapter->Cmd.IcsPool, RecordKind::InternalWithPayload); }
void QzFreeIntHandlerCmdBuffer(PMP_ADAPTER adapter) { FreePool(&adapter->Cmd.IntHandlerPool, RecordKind::Internal); }
void QzFreeInternalCmdBuffer(PMP_ADAPTER adapter)
{
    FreePool(&adapter->Cmd.InternalPool, RecordKind::InternalWithPayload);
}
void QzFreeMsgCmdBuffer(PMP_ADAPTER adapter) { FreePool(&adapter->Cmd.MsgPool, RecordKind::Msg); }
void QzFreeTXQNetBuffer(PMP_ADAPTER adapter) { FreePool(&adapter->Cmd.TxqNetPool, RecordKind::TxqNet); }

// ---- take and return -------------------------------------------------------------------------------------
PINTERNAL_CMD QzGetInternalCmdBuffer(PMP_ADAPTER adapter)
{
    return static_cast<PINTERNAL_CMD>(GetRecord(adapter, &adapter->Cmd.InternalPool, FALSE, __func__));
}

PINTERNAL_CMD QzGetIcsCmdBuffer(PMP_ADAPTER adapter)
{
    return static_cast<PINTERNAL_CMD>(GetRecord(adapter, &adapter->Cmd.IcsPool, FALSE, __func__));
}

PINTERNAL_CMD QzGetIntHandlerCmdBuffer(PMP_ADAPTER adapter)
{
    return static_cast<PINTERNAL_CMD>(GetRecord(adapter, &adapter->Cmd.IntHandlerPool, FALSE, __func__));
}

PINTERNAL_CMD QzGetFWLogHandlerCmdBuffer(PMP_ADAPTER adapter)
{
    return static_cast<PINTERNAL_CMD>(GetRecord(adapter, &adapter->Cmd.FwLogPool, FALSE, __func__));
}

PTXQ_NET_BUFFER QzGetTXQNetBuffer(PMP_ADAPTER adapter)
{
    return static_cast<PTXQ_NET_BUFFER>(GetRecord(adapter, &adapter->Cmd.TxqNetPool, FALSE, __func__));
}

PFW_CMD_MSG QzGetMsgCmdBuffer(PMP_ADAPTER adapter)
{
    return static_cast<PFW_CMD_MSG>(GetRecord(adapter, &adapter->Cmd.MsgPool, TRUE, __func__));
}

void QzReturnInternalCmdBuffer(PMP_ADAPTER adapter, PINTERNAL_CMD cmd) { ReturnCmd(&adapter->Cmd.InternalPool, cmd); }
void QzReturnIcsCmdBuffer(PMP_ADAPTER adapter, PINTERNAL_CMD cmd) { ReturnCmd(&adapter->Cmd.IcsPool, cmd); }
void QzReturnIntHandlerCmdBuffer(PMP_ADAPTER adapter, PINTERNAL_CMD cmd)
{
    ReturnCmd(&adapter->Cmd.IntHandlerPool, cmd);
}
void QzReturnFWLogHandlerCmdBuffer(PMP_ADAPTER adapter, PINTERNAL_CMD cmd) { ReturnCmd(&adapter->Cmd.FwLogPool, cmd); }

void QzReturnMsgCmdBuffer(PMP_ADAPTER adapter, PFW_CMD_MSG msg)
{
    if (msg == nullptr) {
        return;
    }
    PlatformZeroMemory(msg->Buffer, MSG_CMD_BUFFER_SIZE);
    PutRecord(&adapter->Cmd.MsgPool, &msg->Link);
}

void QzReturnTXQNetBuffer(PMP_ADAPTER adapter, PTXQ_NET_BUFFER buffer)
{
    if (buffer == nullptr) {
        return;
    }
    buffer->TxQueue = nullptr;
    buffer->Value0 = 0;
    buffer->Value1 = 0;
    buffer->Next = nullptr;
    PutRecord(&adapter->Cmd.TxqNetPool, &buffer->Link);
}

// ---- queues ----------------------------------------------------------------------------------------------
void QzInitCmdQueue(PCOMMAND_QUEUE queue)
{
    queue->Count = 0;
    queue->Head = nullptr;
    queue->Tail = nullptr;
}

void QzDequeueCmdQueue(PCOMMAND_QUEUE queue, PINTERNAL_CMD* cmd)
{
    PINTERNAL_CMD head = queue->Head;
    if (head != nullptr) {
        queue->Head = head->Next;
        if (queue->Head == nullptr) {
            queue->Tail = nullptr;
        }
        head->Next = nullptr;
        --queue->Count;
    }
    *cmd = head;
}

PINTERNAL_CMD QzDequeueCmdQueueLocked(PCOMMAND_QUEUE queue)
{
    PINTERNAL_CMD cmd;
    KeAcquireSpinLock(&queue->Lock, &queue->OldIrql);
    QzDequeueCmdQueue(queue, &cmd);
    KeReleaseSpinLock(&queue->Lock, queue->OldIrql);
    return cmd;
}

PTXQ_NET_BUFFER QzDequeueTXQNetQueue(PTXQ_NET_QUEUE queue)
{
    KeAcquireSpinLock(&queue->Lock, &queue->OldIrql);
    PTXQ_NET_BUFFER head = queue->Head;
    if (head != nullptr) {
        queue->Head = head->Next;
        if (queue->Head == nullptr) {
            queue->Tail = nullptr;
        }
        head->Next = nullptr;
        --queue->Count;
    }
    KeReleaseSpinLock(&queue->Lock, queue->OldIrql);
    return head;
}

void QzEnqueueTXQNetBuffer(PMP_ADAPTER adapter, PTXQ_NET_BUFFER buffer)
{
    PTXQ_NET_QUEUE queue = &adapter->Cmd.TxqNetQueue;
    KeAcquireSpinLock(&queue->Lock, &queue->OldIrql);
    buffer->Next = nullptr;
    if (queue->Tail == nullptr) {
        queue->Head = buffer;
    } else {
        queue->Tail->Next = buffer;
    }
    queue->Tail = buffer;
    ++queue->Count;
    KeReleaseSpinLock(&queue->Lock, queue->OldIrql);
    PlatformSignalThread(&adapter->TxNetQueueThread);
}

// ---- posting ---------------------------------------------------------------------------------------------
NTSTATUS QZEnqueueInternalCmd(PMP_ADAPTER adapter, PMP_PORT port, ULONG cmdId, const void* payload, ULONG length)
{
    PostRoute routes[2] = {};
    ULONG count = 0;
    if (adapter != nullptr) {
        routes[0] = {INTERNAL_CMD_CLASS_CONTROL, &adapter->Cmd.ControlQueue, &adapter->ControlCmdThread};
        PP2P_CTRL_BLOCK p2p = adapter->P2pBlock;
        routes[1] = {INTERNAL_CMD_CLASS_P2P, p2p != nullptr ? &p2p->CmdQueue : nullptr,
                     p2p != nullptr ? &p2p->CmdThread : nullptr};
        count = 2;
    }
    return Post(adapter, port, cmdId, payload, length, QzGetInternalCmdBuffer, QzReturnInternalCmdBuffer, routes,
                count, __func__);
}

NTSTATUS QZEnqueueIcsCmd(PMP_ADAPTER adapter, PMP_PORT port, ULONG cmdId, const void* payload, ULONG length)
{
    PostRoute route = {};
    if (adapter != nullptr) {
        route = {INTERNAL_CMD_CLASS_ICS, &adapter->Cmd.IcsQueue, &adapter->IcsCmdThread};
    }
    return Post(adapter, port, cmdId, payload, length, QzGetIcsCmdBuffer, QzReturnIcsCmdBuffer, &route, 1, __func__);
}

NTSTATUS QZEnqueueIntHandlerCmd(PMP_ADAPTER adapter, PMP_PORT port, ULONG cmdId, const void* payload, ULONG length)
{
    PostRoute route = {};
    if (adapter != nullptr) {
        route = {INTERNAL_CMD_CLASS_CONTROL, &adapter->Cmd.IntHandlerQueue, &adapter->IntHandlerThread};
    }
    return Post(adapter, port, cmdId, payload, length, QzGetIntHandlerCmdBuffer, QzReturnIntHandlerCmdBuffer,
                &route, 1, __func__);
}

NTSTATUS QZEnqueueFWLog(PMP_ADAPTER adapter, PMP_PORT port, ULONG cmdId, const void* payload, ULONG length)
{
    PostRoute route = {};
    if (adapter != nullptr) {
        route = {INTERNAL_CMD_CLASS_CONTROL, &adapter->Cmd.FwLogQueue, &adapter->FwIdxLogThread};
    }
    return Post(adapter, port, cmdId, payload, length, QzGetFWLogHandlerCmdBuffer, QzReturnFWLogHandlerCmdBuffer,
                &route, 1, __func__);
}

// ---- sequence numbers ------------------------------------------------------------------------------------
UCHAR GetNextSeqNum(PMP_ADAPTER adapter, UCHAR seqClass, BOOLEAN advance)
{
    if (adapter == nullptr || seqClass >= SEQ_NUM_CLASSES) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "GetNextSeqNum: class %u refused", static_cast<unsigned>(seqClass));
        return 0;
    }
    volatile UCHAR* counter = &adapter->Cmd.SeqNum[seqClass];
    // Several threads number their frames and commands: each update is one atomic exchange, so no
    // number is handed out twice.
    UCHAR current = __atomic_load_n(counter, __ATOMIC_RELAXED);
    for (;;) {
        UCHAR next = current;
        if (seqClass == SEQ_NUM_CLASS_ACTION_FRAME) {
            if (advance) {
                next = static_cast<UCHAR>((next + 1) % 128);
            }
            if (next == 0 || next == 1) {
                next = 111;
            }
        } else {
            if (advance) {
                next = static_cast<UCHAR>((next + 1) % 100);
            }
            if (next == 0) {
                next = 1;
            }
        }
        if (next == current ||
            __atomic_compare_exchange_n(counter, &current, next, false, __ATOMIC_ACQ_REL, __ATOMIC_RELAXED)) {
            return next;
        }
    }
}

NTSTATUS InitHtVhtHeEhtCtrl(PMP_ADAPTER adapter, PMP_PORT port)
{
    (void)VhtInitCtrl(adapter, port);
    if (port->PortType == EXTSTA || adapter->WfdPhyMode == 2 || adapter->WfdPhyMode == 3) {
        (void)HeInitCtrl(adapter, port);
    }
    (void)EhtInitCtrl(adapter, port);
    return STATUS_SUCCESS;
}
