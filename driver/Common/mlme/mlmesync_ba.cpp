// The block-ack session table of a port.
#include "Common/mlme/mlmesync_ba.h"

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/recv_reorder.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/rxqueue.h"

namespace {

constexpr USHORT kStartUnsetSequence = 0xFFF;

BOOLEAN RefusesBlockAck(PMP_PORT port) { return static_cast<BOOLEAN>((port->Cfg.BaCapability & BA_CFG_REFUSE_MASK) == BA_CFG_REFUSE); }

void Lock(PMP_PORT port, PKIRQL irql) { KeAcquireSpinLock(&port->Ba.Lock, irql); }
void Unlock(PMP_PORT port, KIRQL irql) { KeReleaseSpinLock(&port->Ba.Lock, irql); }

// Posts the DELBA request of one agreement to the port's ACTION machine.
void QueueDelba(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR tid, UCHAR initiator)
{
    UCHAR request[BA_DELBA_REQUEST_SIZE] = {};
    request[0] = entry->WlanIdx;
    PlatformMoveMemory(request + 1, entry->Addr, MAC_ADDR_LEN);
    request[7] = tid;
    request[8] = initiator;
    request[9] = 0;
    const USHORT sequence = entry->TxSeq[tid % MAC_ENTRY_TID_COUNT];
    request[10] = static_cast<UCHAR>(sequence);
    request[11] = static_cast<UCHAR>(sequence >> 8);
    if (!MlmeEnqueue(adapter, port, MLME_ACTION_MACHINE, MLME_ACTION_MSG_DELBA, sizeof(request), request)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "DELBA of WLAN %u TID %u not queued", static_cast<unsigned>(entry->WlanIdx),
                 static_cast<unsigned>(tid));
    }
}

void InsertRecipient(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, USHORT timeout, USHORT startSequence,
                     UCHAR tid, USHORT windowSize)
{
    if (port->Ba.RecipientCount >= BA_TABLE_SLOTS - 1) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "BATableInsertEntry: port %u has no room for a recipient agreement",
                 static_cast<unsigned>(port->PortNumber));
        return;
    }
    const UCHAR existing = entry->BaRecipientSlot[tid];
    if (existing != 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "BATableInsertEntry: WLAN %u TID %u has recipient slot %u (%s)",
                 static_cast<unsigned>(entry->WlanIdx), static_cast<unsigned>(tid), static_cast<unsigned>(existing),
                 port->ReorderSessions[existing].State == REORDER_SESSION_ACTIVE ? "active" : "inactive");
        return;
    }
    KIRQL irql;
    Lock(port, &irql);
    // The slot is chosen under the lock: the firmware event path and the MLME thread may both open one.
    ULONG slot = 0;
    for (ULONG i = 1; i < REORDER_SESSION_COUNT; ++i) {
        if (port->ReorderSessions[i].State == 0) {
            slot = i;
            break;
        }
    }
    if (slot == 0) {
        Unlock(port, irql);
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "BATableInsertEntry: no free recipient slot on port %u",
                 static_cast<unsigned>(port->PortNumber));
        return;
    }
    PREORDER_SESSION s = &port->ReorderSessions[slot];
    ++port->Ba.RecipientCount;
    UCHAR queue = REORDER_QUEUE_NONE;
    for (ULONG q = 0; q < REORDER_QUEUE_COUNT; ++q) {
        if (adapter->ReorderQueueInUse[q] == 0) {
            adapter->ReorderQueueInUse[q] = 1;
            adapter->Ba.QueueSlot[q] = slot;
            adapter->Ba.QueuePort[q] = port;
            queue = static_cast<UCHAR>(q);
            break;
        }
    }
    s->QueueIndex = queue;
    s->WindowSize = windowSize;
    s->Timeout = timeout;
    s->WlanIndex = entry->WlanIdx;
    s->Cleared[0] = 0;
    s->Cleared[1] = 0;
    s->Tid = tid;
    s->DuplicateFlag = 0;
    s->Resync = 0;
    s->AmsduCount = 0;
    s->AmsduState = 0;
    s->LastIndicatedSeq = startSequence;
    s->ArmedSeq = startSequence;
    s->TimerRunning = 0;
    s->StartUnset = static_cast<UCHAR>(startSequence == kStartUnsetSequence ? 1 : 0);
    s->State = REORDER_SESSION_ACTIVE;
    entry->BaRecipientSlot[tid] = static_cast<UCHAR>(slot);
    entry->BaRecipientBitmap = static_cast<USHORT>(entry->BaRecipientBitmap | (1u << tid));
    Unlock(port, irql);
    if (queue == REORDER_QUEUE_NONE) {
        // An agreement without a queue of its own reorders nothing: its frames go to the OS as they come.
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "BATableInsertEntry: every reorder queue is taken (slot %u)",
                 static_cast<unsigned>(slot));
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME,
             "BATableInsertEntry: recipient WLAN %u TID %u slot %u queue %u window %u start %u",
             static_cast<unsigned>(entry->WlanIdx), static_cast<unsigned>(tid), static_cast<unsigned>(slot),
             static_cast<unsigned>(queue), static_cast<unsigned>(windowSize), static_cast<unsigned>(startSequence));
}

void InsertOriginator(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR tid, USHORT bufferSize,
                      UCHAR state)
{
    if (port->Ba.OriginatorCount >= BA_TABLE_SLOTS - 1) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "BATableInsertEntry: port %u has no room for an originator agreement",
                 static_cast<unsigned>(port->PortNumber));
        return;
    }
    const UCHAR existing = entry->BaOriginatorSlot[tid];
    if (existing != 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "BATableInsertEntry: WLAN %u TID %u has originator slot %u (state %u)",
                 static_cast<unsigned>(entry->WlanIdx), static_cast<unsigned>(tid), static_cast<unsigned>(existing),
                 static_cast<unsigned>(port->Ba.Originator[existing].State));
        return;
    }
    KIRQL irql;
    Lock(port, &irql);
    ULONG slot = 0;
    for (ULONG i = 1; i < BA_TABLE_SLOTS; ++i) {
        if (port->Ba.Originator[i].State == BA_ORI_FREE) {
            slot = i;
            break;
        }
    }
    if (slot == 0) {
        Unlock(port, irql);
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "BATableInsertEntry: no free originator slot on port %u",
                 static_cast<unsigned>(port->PortNumber));
        return;
    }
    PBA_TABLE r = &port->Ba.Originator[slot];
    entry->BaOriginatorSlot[tid] = static_cast<UCHAR>(slot);
    r->State = state;
    r->BufferSize = bufferSize;
    r->SettingUp = 1;
    r->Adapter = adapter;
    r->Tid = tid;
    r->WlanIndex = entry->WlanIdx;
    r->RetryCount = 0;
    r->SettingUp = 0;
    Unlock(port, irql);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "BATableInsertEntry: originator WLAN %u TID %u slot %u state %u",
             static_cast<unsigned>(entry->WlanIdx), static_cast<unsigned>(tid), static_cast<unsigned>(slot),
             static_cast<unsigned>(state));
}

}  // namespace

VOID BATableInit(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    if (port == nullptr || port->Ba.Ready) {
        return;
    }
    PlatformAllocateSpinLock(&port->Ba.Lock);
    PlatformAllocateSpinLock(&port->Ba.ReorderLock);
    for (ULONG i = 0; i < REORDER_QUEUE_COUNT; ++i) {
        PlatformAllocateSpinLock(&port->Ba.FlushGuard[i].Lock);
        PlatformInitTimer(port, &port->Ba.Ageout[i].Timer, RxReorderPacketAgeoutTimerCallback, 0, "RxReorderAgeoutTimer");
    }
    port->Ba.Ready = 1;
}

VOID BATableDeInit(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    if (port == nullptr || !port->Ba.Ready) {
        return;
    }
    for (ULONG i = 0; i < REORDER_QUEUE_COUNT; ++i) {
        PlatformFreeTimer(&port->Ba.Ageout[i].Timer);
        port->Ba.Ageout[i].Armed = 0;
    }
    port->Ba.Ready = 0;
}

VOID BATableInsertEntry(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, USHORT timeout, USHORT startSequence,
                        UCHAR tid, USHORT bufferSize, UCHAR originatorState, UCHAR recipient)
{
    if (adapter == nullptr || port == nullptr || wlanIndex >= MAC_TABLE_POOL_SIZE || tid >= MAC_ENTRY_TID_COUNT) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "BATableInsertEntry: WLAN %u TID %u refused", static_cast<unsigned>(wlanIndex),
                 static_cast<unsigned>(tid));
        return;
    }
    if (RefusesBlockAck(port)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "BATableInsertEntry: port %u refuses block ack",
                 static_cast<unsigned>(port->PortNumber));
        return;
    }
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "BATableInsertEntry: no station with WLAN index %u",
                 static_cast<unsigned>(wlanIndex));
        return;
    }
    if (recipient == 1) {
        InsertRecipient(adapter, port, entry, timeout, startSequence, tid, bufferSize);
    } else {
        InsertOriginator(adapter, port, entry, tid, bufferSize, originatorState);
    }
}

VOID BATableDeleteORIEntry(PMP_ADAPTER adapter, PMP_PORT port, PBA_TABLE record)
{
    if (adapter == nullptr || port == nullptr || record == nullptr) {
        return;
    }
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedWlanIdx(port, record->WlanIndex);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "BATableDeleteORIEntry: no station with WLAN index %u",
                 static_cast<unsigned>(record->WlanIndex));
        return;
    }
    const UCHAR tid = static_cast<UCHAR>(record->Tid % MAC_ENTRY_TID_COUNT);
    KIRQL irql;
    Lock(port, &irql);
    if (record->State == BA_ORI_ESTABLISHED && port->Ba.OriginatorCount > 0) {
        --port->Ba.OriginatorCount;
    }
    entry->BaOriginatorBitmap2 = static_cast<USHORT>(entry->BaOriginatorBitmap2 & ~(1u << tid));
    entry->BaOriginatorSetupBitmap = static_cast<USHORT>(entry->BaOriginatorSetupBitmap & ~(1u << tid));
    entry->BaOriginatorSlot[tid] = 0;
    record->State = BA_ORI_FREE;
    record->SettingUp = 1;
    Unlock(port, irql);
}

PMAC_TABLE_ENTRY BATableDeleteRECEntry(PMP_ADAPTER adapter, PMP_PORT port, PREORDER_SESSION record)
{
    if (adapter == nullptr || port == nullptr || record == nullptr) {
        return nullptr;
    }
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedWlanIdx(port, record->WlanIndex);
    if (entry == nullptr || record->State != REORDER_SESSION_ACTIVE) {
        return nullptr;
    }
    const UCHAR tid = static_cast<UCHAR>(record->Tid % MAC_ENTRY_TID_COUNT);
    // The frames still held go to the OS first, in sequence order; the receive path is kept out while
    // the agreement goes.
    KIRQL reorderIrql;
    KeAcquireSpinLock(&port->Ba.ReorderLock, &reorderIrql);
    KIRQL irql;
    Lock(port, &irql);
    record->State = 0;
    const UCHAR queue = record->QueueIndex;
    if (queue < REORDER_QUEUE_COUNT) {
        while (PRX_DMAQ_DESC frame = RxReorderqDequeue(adapter, record, REORDER_SEQ_NONE, FALSE)) {
            (void)NdisCommonReportEthFrameToLLC(adapter, port, frame, tid, 0, 0);
        }
        adapter->ReorderQueueInUse[queue] = 0;
        adapter->Ba.QueueSlot[queue] = 0;
        adapter->Ba.QueuePort[queue] = nullptr;
    }
    const ULONG slot = static_cast<ULONG>(record - port->ReorderSessions);
    if (slot < REORDER_QUEUE_COUNT && port->Ba.Ageout[slot].Armed) {
        PlatformCancelTimer(&port->Ba.Ageout[slot].Timer, nullptr);
        port->Ba.Ageout[slot].Armed = 0;
    }
    record->QueueIndex = 0;
    record->WindowSize = 0;
    record->TimerRunning = 0;
    record->LastIndicatedSeq = REORDER_SEQ_NONE;
    record->ArmedSeq = REORDER_SEQ_NONE;
    record->DuplicateFlag = 0;
    entry->BaRecipientBitmap = static_cast<USHORT>(entry->BaRecipientBitmap & ~(1u << tid));
    entry->BaRecipientSlot[tid] = 0;
    if (port->Ba.RecipientCount > 0) {
        --port->Ba.RecipientCount;
    }
    Unlock(port, irql);
    KeReleaseSpinLock(&port->Ba.ReorderLock, reorderIrql);
    QZCxRxNotify(adapter);
    return entry;
}

VOID BATableTearORIEntry(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, UCHAR wlanIndex, UCHAR keep, UCHAR allTids)
{
    if (adapter == nullptr || port == nullptr || wlanIndex >= MAC_TABLE_POOL_SIZE) {
        return;
    }
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "BATableTearORIEntry: no station with WLAN index %u",
                 static_cast<unsigned>(wlanIndex));
        return;
    }
    const UCHAR first = allTids == 1 ? 0 : tid;
    const UCHAR last = allTids == 1 ? BA_TID_COUNT - 1 : tid;
    if (last >= MAC_ENTRY_TID_COUNT) {
        return;
    }
    for (UCHAR t = first; t <= last; ++t) {
        const UCHAR slot = entry->BaOriginatorSlot[t];
        if (slot == 0 || slot >= BA_TABLE_SLOTS) {
            continue;  // no agreement: no DELBA
        }
        PBA_TABLE record = &port->Ba.Originator[slot];
        if (allTids != 1 || record->State == BA_ORI_ESTABLISHED) {
            PMAC_TABLE_ENTRY peer = MlmeSyncMacTabMatchedWlanIdx(port, record->WlanIndex);
            if (peer == nullptr) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "BATableTearORIEntry: the record's WLAN index %u has no station",
                         static_cast<unsigned>(record->WlanIndex));
                break;
            }
            QueueDelba(adapter, port, peer, record->Tid, 1);
        }
        if (record->Tid == t) {
            BATableDeleteORIEntry(adapter, port, record);
        }
        if ((port->Cfg.BaCapability & BA_CFG_REESTABLISH) != 0 && keep == 0) {
            InsertOriginator(adapter, port, entry, t, entry->AmpduLimit, BA_ORI_SETUP_WANTED);
            entry->BaOriginatorSetupBitmap = static_cast<USHORT>(entry->BaOriginatorSetupBitmap | (1u << t));
        }
    }
}

VOID BATableTearRECEntry(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, UCHAR wlanIndex, UCHAR allTids)
{
    if (adapter == nullptr || port == nullptr || wlanIndex >= MAC_TABLE_POOL_SIZE) {
        return;
    }
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "BATableTearRECEntry: no station with WLAN index %u",
                 static_cast<unsigned>(wlanIndex));
        return;
    }
    const UCHAR first = allTids == 1 ? 0 : tid;
    const UCHAR last = allTids == 1 ? BA_TID_COUNT - 1 : tid;
    if (last >= MAC_ENTRY_TID_COUNT) {
        return;
    }
    for (UCHAR t = first; t <= last; ++t) {
        const UCHAR slot = entry->BaRecipientSlot[t];
        if (slot == 0 || slot >= REORDER_SESSION_COUNT) {
            continue;
        }
        PREORDER_SESSION record = &port->ReorderSessions[slot];
        if (allTids != 1 || record->State == REORDER_SESSION_ACTIVE) {
            PMAC_TABLE_ENTRY peer = MlmeSyncMacTabMatchedWlanIdx(port, record->WlanIndex);
            if (peer == nullptr) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "BATableTearRECEntry: the record's WLAN index %u has no station",
                         static_cast<unsigned>(record->WlanIndex));
                break;
            }
            QueueDelba(adapter, port, peer, record->Tid, 0);
        }
        if (record->Tid == t) {
            (void)BATableDeleteRECEntry(adapter, port, record);
        }
    }
}
