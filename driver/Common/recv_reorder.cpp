// Receive block-ack reordering and the reorder age-out timer.
#include "Common/recv_reorder.h"

#include "Common/mlme/mlmesync_ba.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "hal/common/hal_desc.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/rxqueue.h"

namespace {

constexpr USHORT kSeqMask = 0x0FFF;
constexpr USHORT kStartUnset = 4095;
constexpr ULONG kFarAheadSecond = 1024;   // second and third generation, no dual-band concurrency
constexpr USHORT kDbdcBehind = 128;
constexpr USHORT kDbdcAhead = 2048;

enum REORDER_GEN : UCHAR { REORDER_OLDER, REORDER_SECOND, REORDER_THIRD };

USHORT Next(USHORT s) { return static_cast<USHORT>((s + 1) & kSeqMask); }
USHORT Prev(USHORT s) { return static_cast<USHORT>((s - 1) & kSeqMask); }

ULONG SlotOf(PMP_PORT port, PREORDER_SESSION session) { return static_cast<ULONG>(session - port->ReorderSessions); }

void SetLast(PREORDER_SESSION session, USHORT value)
{
    KIRQL irql;
    KeAcquireSpinLock(&session->Lock, &irql);
    session->LastIndicatedSeq = value;
    KeReleaseSpinLock(&session->Lock, irql);
}

// Hands one frame to the OS; L follows it first when `track` (the record belongs to the OS after this).
void Indicate(PMP_ADAPTER adapter, PMP_PORT port, PREORDER_SESSION session, PRX_DMAQ_DESC record, UCHAR tid,
              USHORT sequence, BOOLEAN track)
{
    if (track) {
        SetLast(session, sequence);
    }
    (void)NdisCommonReportEthFrameToLLC(adapter, port, record, static_cast<UCHAR>(tid & 7), 0, 0);
}

ULONG Held(PMP_ADAPTER adapter, PREORDER_SESSION session) { return RxReorderqGetCount(adapter, session); }

void ArmAgeoutOf(PMP_ADAPTER adapter, PMP_PORT port, PREORDER_SESSION session, REORDER_GEN gen)
{
    const ULONG slot = SlotOf(port, session);
    if (slot >= REORDER_QUEUE_COUNT) {
        return;
    }
    PRX_REORDER_AGEOUT ageout = &port->Ba.Ageout[slot];
    if (ageout->Armed) {
        return;
    }
    ageout->Slot = slot;
    ageout->Armed = 1;
    session->ArmedSeq = session->LastIndicatedSeq;
    const REGISTRY_BLOCK& reg = adapter->RegistryBlock;
    ULONG ms = reg.Ageout;
    if (gen != REORDER_OLDER) {
        if (reg.HotspotMCCTputOptimization != 0 && port->PortType == WFD_GO && adapter->Ba.MiracastMode == 1) {
            ms = reg.GOAgeout;
        }
        adapter->Ba.LastAgeoutMs = ms;
    }
    if (!NT_SUCCESS(PlatformSetTimer(port, &ageout->Timer, ms))) {
        ageout->Armed = 0;
        session->ArmedSeq = REORDER_SEQ_NONE;
    }
}

void DisarmAgeoutOf(PMP_PORT port, PREORDER_SESSION session)
{
    const ULONG slot = SlotOf(port, session);
    if (slot >= REORDER_QUEUE_COUNT) {
        return;
    }
    PRX_REORDER_AGEOUT ageout = &port->Ba.Ageout[slot];
    if (ageout->Armed) {
        PlatformCancelTimer(&ageout->Timer, nullptr);
        ageout->Armed = 0;
    }
    session->ArmedSeq = REORDER_SEQ_NONE;
}

// After frames were released: a timer armed for an older L goes, and comes back while frames wait.
void ReevaluateAgeout(PMP_ADAPTER adapter, PMP_PORT port, PREORDER_SESSION session, REORDER_GEN gen)
{
    const ULONG slot = SlotOf(port, session);
    if (slot >= REORDER_QUEUE_COUNT || !port->Ba.Ageout[slot].Armed || session->LastIndicatedSeq == session->ArmedSeq) {
        return;
    }
    DisarmAgeoutOf(port, session);
    if (Held(adapter, session) != 0) {
        ArmAgeoutOf(adapter, port, session, gen);
    }
}

void ReleaseInOrder(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, PREORDER_SESSION session, USHORT first)
{
    USHORT b = static_cast<USHORT>(first & kSeqMask);
    for (;;) {
        PRX_DMAQ_DESC record = RxReorderqDequeue(adapter, session, b, TRUE);
        if (record == nullptr) {
            return;
        }
        UCHAR position = RxdGetAmsduPosition(adapter, record);
        Indicate(adapter, port, session, record, tid, b, TRUE);
        // The subframes of an A-MSDU go together.
        while (position != 0 && position != 1) {
            PRX_DMAQ_DESC more = RxReorderqDequeue(adapter, session, b, TRUE);
            if (more == nullptr) {
                break;
            }
            position = RxdGetAmsduPosition(adapter, more);
            Indicate(adapter, port, session, more, tid, b, TRUE);
        }
        b = Next(b);
    }
}

// A frame whose agreement has no reorder queue of its own (every queue was taken when it opened): it
// goes to the OS as it comes, and L follows it.
BOOLEAN PassThrough(PMP_ADAPTER adapter, PMP_PORT port, PREORDER_SESSION session, PRX_DMAQ_DESC record, UCHAR tid,
                    USHORT sequence)
{
    Indicate(adapter, port, session, record, tid, sequence, TRUE);
    return TRUE;
}

BOOLEAN InWindow(USHORT last, USHORT window, USHORT s)
{
    const USHORT end = static_cast<USHORT>((last + window) & kSeqMask);
    if (end >= last) {
        return static_cast<BOOLEAN>(s > last && s <= end);
    }
    return static_cast<BOOLEAN>(s > last || s <= end);
}

// The session of the sender's agreement for the TID, with the sender's entry; null when the sender
// has no entry.
PREORDER_SESSION SessionOf(PMP_PORT port, const RXD_FIELDS& f, UCHAR tid, PMAC_TABLE_ENTRY* entry)
{
    *entry = f.WlanIndex < MAC_TABLE_POOL_SIZE ? MlmeSyncMacTabMatchedWlanIdx(port, f.WlanIndex) : nullptr;
    if (*entry == nullptr) {
        return nullptr;
    }
    const UCHAR slot = (*entry)->BaRecipientSlot[tid % MAC_ENTRY_TID_COUNT];
    return &port->ReorderSessions[slot < REORDER_SESSION_COUNT ? slot : 0];
}

BOOLEAN ParseNewer(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid, REORDER_GEN gen)
{
    RXD_FIELDS f;
    if (adapter == nullptr || port == nullptr || record == nullptr || !RxdGetFields(adapter, record, &f)) {
        return FALSE;
    }
    PMAC_TABLE_ENTRY entry = nullptr;
    PREORDER_SESSION s = SessionOf(port, f, tid, &entry);
    if (s == nullptr) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "reorder: no station for WLAN index %u", static_cast<unsigned>(f.WlanIndex));
        return FALSE;
    }
    entry->InactivityCount = 0;
    const USHORT seq = RxDmaqGetSeqNum(record);
    const UCHAR position = f.AmsduPosition;
    if (s->WlanIndex != f.WlanIndex) {
        Indicate(adapter, port, s, record, tid, seq, FALSE);
        return TRUE;
    }
    if (s->State != REORDER_SESSION_ACTIVE) {
        Indicate(adapter, port, s, record, tid, seq, TRUE);
        return TRUE;
    }
    if (s->QueueIndex >= REORDER_QUEUE_COUNT) {
        return PassThrough(adapter, port, s, record, tid, seq);
    }
    if (s->Resync) {
        SetLast(s, Prev(seq));
        s->ArmedSeq = s->LastIndicatedSeq;
        s->Resync = 0;
    }
    const USHORT last = s->LastIndicatedSeq;
    if (seq == Next(last)) {
        s->AmsduCount = 1;
        s->AmsduState = REORDER_AMSDU_OPEN;
        Indicate(adapter, port, s, record, tid, seq, TRUE);
        if (position == 0 && Held(adapter, s) != 0) {
            ReleaseInOrder(adapter, port, tid, s, Next(seq));
            ReevaluateAgeout(adapter, port, s, gen);
        }
        return TRUE;
    }
    if (seq == last) {
        if (position == 0 || s->AmsduState == REORDER_AMSDU_DONE) {
            ++adapter->Ba.DuplicateCount;
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "reorder: duplicate %u", static_cast<unsigned>(seq));
            return FALSE;
        }
        if (position == 1) {
            s->AmsduState = REORDER_AMSDU_DONE;
        }
        ++s->AmsduCount;
        Indicate(adapter, port, s, record, tid, seq, FALSE);
        if (position == 1 && Held(adapter, s) != 0) {
            ReleaseInOrder(adapter, port, tid, s, Next(seq));
            ReevaluateAgeout(adapter, port, s, gen);
        }
        return TRUE;
    }
    if (InWindow(last, s->WindowSize, seq)) {
        if (!RxReorderqEnqueue(adapter, record, s)) {
            return FALSE;
        }
        ArmAgeoutOf(adapter, port, s, gen);
        return TRUE;
    }
    const USHORT d = static_cast<USHORT>((seq - last) & kSeqMask);
    BOOLEAN drop;
    if (adapter->UniEvent.DbdcMode == 0) {
        drop = static_cast<BOOLEAN>(d > kFarAheadSecond);
    } else {
        drop = static_cast<BOOLEAN>((seq < last && last - seq < kDbdcBehind) || (seq > last && seq - last > kDbdcAhead));
    }
    if (drop) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "reorder: %u far outside the window of %u dropped", static_cast<unsigned>(seq),
                 static_cast<unsigned>(last));
        return FALSE;
    }
    RxReorderqToSys(adapter, port, tid, s);
    Indicate(adapter, port, s, record, tid, seq, TRUE);
    return TRUE;
}

BOOLEAN ParseOlder(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid)
{
    RXD_FIELDS f;
    if (adapter == nullptr || port == nullptr || record == nullptr || !RxdGetFields(adapter, record, &f)) {
        return FALSE;
    }
    PMAC_TABLE_ENTRY entry = nullptr;
    PREORDER_SESSION s = SessionOf(port, f, tid, &entry);
    if (s == nullptr) {
        return FALSE;
    }
    const USHORT seq = RxDmaqGetSeqNum(record);
    const UCHAR position = f.AmsduPosition;
    if (s->State != REORDER_SESSION_ACTIVE || s->WlanIndex != f.WlanIndex) {
        Indicate(adapter, port, s, record, tid, seq, static_cast<BOOLEAN>(s->WlanIndex == f.WlanIndex));
        return TRUE;
    }
    if (s->QueueIndex >= REORDER_QUEUE_COUNT) {
        return PassThrough(adapter, port, s, record, tid, seq);
    }
    const USHORT last = s->LastIndicatedSeq;
    if (seq == Next(last)) {
        Indicate(adapter, port, s, record, tid, seq, TRUE);
        if (position == 0 && Held(adapter, s) != 0) {
            ReleaseInOrder(adapter, port, tid, s, Next(seq));
        }
        return TRUE;
    }
    if (seq == last) {
        if (position == 0 || position == 3) {
            ++adapter->Ba.DuplicateCount;
            return FALSE;
        }
        Indicate(adapter, port, s, record, tid, seq, FALSE);
        if (position == 1 && Held(adapter, s) != 0) {
            ReleaseInOrder(adapter, port, tid, s, Next(seq));
        }
        return TRUE;
    }
    if (InWindow(last, s->WindowSize, seq)) {
        if (!RxReorderqEnqueue(adapter, record, s)) {
            return FALSE;
        }
        ReleaseInOrder(adapter, port, tid, s, Next(s->LastIndicatedSeq));
        ArmAgeoutOf(adapter, port, s, REORDER_OLDER);
        return TRUE;
    }
    const USHORT d = static_cast<USHORT>((seq - last) & kSeqMask);
    if (d > 2u * s->WindowSize) {
        return FALSE;
    }
    RxReorderqToSys(adapter, port, tid, s);
    Indicate(adapter, port, s, record, tid, seq, TRUE);
    return TRUE;
}

}  // namespace

VOID RxReorderArmAgeout(PMP_ADAPTER adapter, PMP_PORT port, PREORDER_SESSION session)
{
    const UCHAR generation = HalDescGeneration(adapter);
    ArmAgeoutOf(adapter, port, session, generation <= 1 ? REORDER_OLDER : REORDER_SECOND);
}

VOID RxReorderDisarmAgeout(PMP_PORT port, PREORDER_SESSION session) { DisarmAgeoutOf(port, session); }

BOOLEAN QosBADataParse(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid)
{
    return ParseOlder(adapter, port, record, tid);
}

BOOLEAN Qz3501QosBADataParse(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid)
{
    return ParseNewer(adapter, port, record, tid, REORDER_SECOND);
}

BOOLEAN Arvel3xQosBADataParse(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid)
{
    return ParseNewer(adapter, port, record, tid, REORDER_THIRD);
}

VOID ReorderqProc(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, PREORDER_SESSION session, USHORT first)
{
    ReleaseInOrder(adapter, port, tid, session, first);
}

VOID Qz3501ReorderqProc(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, PREORDER_SESSION session, USHORT first)
{
    ReleaseInOrder(adapter, port, tid, session, first);
}

VOID Arvel3xReorderqProc(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, PREORDER_SESSION session, USHORT first)
{
    ReleaseInOrder(adapter, port, tid, session, first);
}

BOOLEAN Qz3501ReorderqIndToEndSeq(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, PREORDER_SESSION session,
                                  USHORT last)
{
    BOOLEAN any = FALSE;
    while (PRX_DMAQ_DESC record = RxReorderqDequeue(adapter, session, static_cast<USHORT>(last & kSeqMask), FALSE)) {
        Indicate(adapter, port, session, record, tid, RxDmaqGetSeqNum(record), TRUE);
        any = TRUE;
    }
    return any;
}

VOID RxReorderqToSys(PMP_ADAPTER adapter, PMP_PORT port, UCHAR tid, PREORDER_SESSION session)
{
    if (adapter == nullptr || port == nullptr || session == nullptr || session->QueueIndex >= REORDER_QUEUE_COUNT) {
        return;
    }
    PRX_REORDER_FLUSH_GUARD guard = &port->Ba.FlushGuard[session->QueueIndex];
    KIRQL irql;
    KeAcquireSpinLock(&guard->Lock, &irql);
    if (guard->InProgress) {
        KeReleaseSpinLock(&guard->Lock, irql);
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "reorder queue %u: a flush is already running",
                 static_cast<unsigned>(session->QueueIndex));
        return;
    }
    guard->InProgress = 1;
    KeReleaseSpinLock(&guard->Lock, irql);
    while (PRX_DMAQ_DESC record = RxReorderqDequeue(adapter, session, REORDER_SEQ_NONE, FALSE)) {
        Indicate(adapter, port, session, record, tid, 0, FALSE);
    }
    DisarmAgeoutOf(port, session);
    KeAcquireSpinLock(&guard->Lock, &irql);
    guard->InProgress = 0;
    KeReleaseSpinLock(&guard->Lock, irql);
}

VOID RxReorderPacketAgeoutTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                        PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (timer == nullptr) {
        return;
    }
    auto* ageout = CONTAINING_RECORD(timer, RX_REORDER_AGEOUT, Timer);
    PMP_ADAPTER adapter = port != nullptr ? port->Adapter : nullptr;
    if (port == nullptr || adapter == nullptr) {
        ageout->Armed = 0;
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "reorder age-out without port or adapter");
        return;
    }
    // The receive path moves the window under the port's reorder lock: the age-out takes it too, so
    // that the two never release frames of one agreement at once.
    KIRQL reorderIrql;
    KeAcquireSpinLock(&port->Ba.ReorderLock, &reorderIrql);
    const ULONG slot = ageout->Slot < REORDER_SESSION_COUNT ? ageout->Slot : 0;
    PREORDER_SESSION session = &port->ReorderSessions[slot];
    if (session->QueueIndex >= REORDER_QUEUE_COUNT) {
        ageout->Armed = 0;
        session->ArmedSeq = REORDER_SEQ_NONE;
        KeReleaseSpinLock(&port->Ba.ReorderLock, reorderIrql);
        return;
    }
    PRX_REORDER_FLUSH_GUARD guard = &port->Ba.FlushGuard[session->QueueIndex];
    KIRQL irql;
    KeAcquireSpinLock(&guard->Lock, &irql);
    if (guard->InProgress) {
        KeReleaseSpinLock(&guard->Lock, irql);
        ageout->Armed = 0;
        KeReleaseSpinLock(&port->Ba.ReorderLock, reorderIrql);
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "reorder age-out: queue %u is being flushed",
                 static_cast<unsigned>(session->QueueIndex));
        return;
    }
    guard->InProgress = 1;
    KeReleaseSpinLock(&guard->Lock, irql);
    BOOLEAN released = FALSE;
    if (RxReorderqGetCount(adapter, session) != 0 && ageout->Armed && session->LastIndicatedSeq == session->ArmedSeq) {
        const UCHAR tid = session->Tid;
        while (PRX_DMAQ_DESC record = RxReorderqDequeue(adapter, session, REORDER_SEQ_NONE, FALSE)) {
            adapter->ReorderInProgress = 0;
            Indicate(adapter, port, session, record, tid, RxDmaqGetSeqNum(record), TRUE);
            released = TRUE;
        }
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "reorder age-out: slot %u released up to %u", static_cast<unsigned>(slot),
                 static_cast<unsigned>(session->LastIndicatedSeq));
    }
    ageout->Armed = 0;
    session->ArmedSeq = REORDER_SEQ_NONE;
    KeAcquireSpinLock(&guard->Lock, &irql);
    guard->InProgress = 0;
    KeReleaseSpinLock(&guard->Lock, irql);
    KeReleaseSpinLock(&port->Ba.ReorderLock, reorderIrql);
    if (released) {
        QZCxRxNotify(adapter);
    }
}
