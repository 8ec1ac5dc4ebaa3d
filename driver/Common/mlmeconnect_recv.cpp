// The block-ack control intake of the connection code.
#include "Common/mlmeconnect_recv.h"

#include "Common/mlme/mlmesync_ba.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/recv_reorder.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/rxqueue.h"

namespace {

constexpr ULONG kBarLength = 20;
constexpr ULONG kBarControlOffset = 16;
constexpr ULONG kBarStartOffset = 18;
constexpr USHORT kStartUnset = 4095;
constexpr UCHAR kUnknownSender = 0xFF;

USHORT Le16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }

}  // namespace

BOOLEAN CntlEnqueueForRecv(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, ULONG length, const UCHAR* header)
{
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "Block Ack Request of WLAN index %u, %u bytes", static_cast<unsigned>(wlanIndex),
             static_cast<unsigned>(length));
    if (adapter == nullptr || port == nullptr || header == nullptr ||
        AdapterTestFlags(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS) || length != kBarLength) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "Block Ack Request of %u bytes not taken", static_cast<unsigned>(length));
        return FALSE;
    }
    PMAC_TABLE_ENTRY entry = nullptr;
    if (wlanIndex == kUnknownSender) {
        entry = MlmeSyncMacTabMatchedBssid(port, header + 10);
    } else if (wlanIndex < MAC_TABLE_POOL_SIZE) {
        entry = MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex);
    }
    if (entry == nullptr || entry->WlanIdx >= MAC_TABLE_POOL_SIZE) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "Block Ack Request of an unknown peer (index %u)", static_cast<unsigned>(wlanIndex));
        return FALSE;
    }
    const USHORT control = Le16(header + kBarControlOffset);
    const UCHAR tid = static_cast<UCHAR>(control >> 12);
    if (tid >= BA_TID_COUNT) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "Block Ack Request for TID %u", static_cast<unsigned>(tid));
        return FALSE;
    }
    const USHORT start = static_cast<USHORT>(Le16(header + kBarStartOffset) >> 4);
    if (start == entry->LastBarSequence && (control & 0x0FF8) != 0 && (control & 0x0004) == 0) {
        ++entry->BarRepeatCount;
    }
    entry->LastBarSequence = start;
    const UCHAR slot = entry->BaRecipientSlot[tid];
    PREORDER_SESSION s = slot < REORDER_SESSION_COUNT ? &port->ReorderSessions[slot] : nullptr;
    if (slot == 0 || s == nullptr || s->State != REORDER_SESSION_ACTIVE || s->WlanIndex != entry->WlanIdx) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "Block Ack Request of WLAN %u TID %u without an agreement",
                 static_cast<unsigned>(entry->WlanIdx), static_cast<unsigned>(tid));
        return TRUE;
    }
    const USHORT target = static_cast<USHORT>((start - 1) & 0x0FFF);
    KIRQL irql;
    KeAcquireSpinLock(&port->Ba.ReorderLock, &irql);
    BOOLEAN released = Qz3501ReorderqIndToEndSeq(adapter, port, tid, s, target);
    if (released) {
        if (s->ArmedSeq != s->LastIndicatedSeq) {
            RxReorderDisarmAgeout(port, s);
        }
        if (RxReorderqGetCount(adapter, s) != 0) {
            Qz3501ReorderqProc(adapter, port, tid, s, static_cast<USHORT>((target + 1) & 0x0FFF));
        }
        if (RxReorderqGetCount(adapter, s) != 0) {
            RxReorderArmAgeout(adapter, port, s);
        }
    }
    if ((s->StartUnset && s->LastIndicatedSeq == kStartUnset) || IsSeqNumBefore(s->LastIndicatedSeq, target)) {
        KIRQL sessionIrql;
        KeAcquireSpinLock(&s->Lock, &sessionIrql);
        s->LastIndicatedSeq = target;
        KeReleaseSpinLock(&s->Lock, sessionIrql);
        s->StartUnset = 0;
    } else {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "Block Ack Request to %u behind the window at %u", static_cast<unsigned>(start),
                 static_cast<unsigned>(s->LastIndicatedSeq));
    }
    KeReleaseSpinLock(&port->Ba.ReorderLock, irql);
    if (released) {
        QZCxRxNotify(adapter);
    }
    return TRUE;
}
