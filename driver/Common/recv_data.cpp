// Receive processing of unicast data frames: the unicast step, the delivery with its reassembly of
// fragments and the block-ack reordering, and the port stores.
#include "Common/recv.h"

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmesync_ba.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/recv_reorder.h"
#include "Common/wowlan_recv.h"
#include "hal/common/hal_desc.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/trace.h"

namespace {

enum UC_GENERATION : UCHAR { UC_OLDER, UC_SECOND, UC_THIRD };

constexpr ULONG kHeader = 24;
constexpr ULONG kMaxUnicast = 4096;
constexpr ULONG kMaxReassembled = 2346;
constexpr ULONG64 kFragmentAge = 40000000;  // 4 s in 100 ns units
constexpr UCHAR kEapolLlc[8] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x88, 0x8E};
constexpr ULONG kEapolTypeOffset = 33;
constexpr ULONG kEapTypeOffset = 40;
constexpr UCHAR kEapolPacket = 0;
constexpr UCHAR kEapIdentity = 1;
constexpr ULONG kEarlyDataHlkBit = 0x800;
constexpr UCHAR kTagEapIdentity = 0x51;
constexpr UCHAR kTagEarlyFrame = 0x52;

struct UcFamily {
    PCSTR name;
    BOOLEAN (*reorder)(PMP_ADAPTER, PMP_PORT, PRX_DMAQ_DESC, UCHAR);
};

const UcFamily kUc[3] = {
    {"ProcGeneralUcDataPkt", QosBADataParse},
    {"Qz3501ProcGeneralUcDataPkt", Qz3501QosBADataParse},
    {"Arvel3xProcGeneralUcDataPkt", Arvel3xQosBADataParse},
};

BOOLEAN Refuse(PMP_ADAPTER adapter, PCSTR name, PCSTR why)
{
    ++adapter->Recv.DroppedDataFrames;
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "%s: %s", name, why);
    return FALSE;
}

BOOLEAN HasEapolLlc(const UCHAR* frame, ULONG length)
{
    return static_cast<BOOLEAN>(length >= kHeader + sizeof(kEapolLlc) &&
                                RtlCompareMemory(frame + kHeader, kEapolLlc, sizeof(kEapolLlc)) == sizeof(kEapolLlc));
}

USHORT SequenceOf(const UCHAR* frame) { return static_cast<USHORT>((frame[22] | (frame[23] << 8)) >> 4); }

ULONG64 Now()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return static_cast<ULONG64>(now.QuadPart);
}

void ClearSlot(PRX_FRAG_SLOT slot)
{
    slot->InUse = 0;
    slot->Length = 0;
    slot->Sequence = 0;
    slot->LastFragment = 0;
    slot->NextPn = 0;
}

// Keeps a copy of the frame in one of the port's stores (an MLME buffer taken on first use); FALSE
// when the frame does not fit or no buffer can be had.
BOOLEAN Store(PMP_ADAPTER adapter, PUCHAR* buffer, PULONG length, UCHAR tag, const UCHAR* frame, ULONG frameLength)
{
    if (frameLength > RX_PORT_STORE_SIZE) {
        return FALSE;
    }
    if (*buffer == nullptr && !NT_SUCCESS(MlmeAllocateMemoryEx(adapter, tag, buffer))) {
        *buffer = nullptr;
        return FALSE;
    }
    PlatformMoveMemory(*buffer, frame, frameLength);
    *length = frameLength;
    return TRUE;
}

// A frame to the MLME queue (the EAPOL exchange runs there); its length must fit an MLME element.
BOOLEAN ToMlme(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const CHAR* rssi, const UCHAR* frame, ULONG length)
{
    if (length > MLME_MSG_SIZE) {
        return FALSE;
    }
    const UCHAR r0 = rssi != nullptr ? static_cast<UCHAR>(rssi[0]) : 0;
    const UCHAR r1 = rssi != nullptr ? static_cast<UCHAR>(rssi[1]) : 0;
    return MlmeEnqueueForRecv(adapter, port, wlanIndex, r0, r1, 0, length, frame);
}

// The delivery of one unfragmented frame: straight to the OS, or through the reordering.
BOOLEAN Deliver(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid, const RXD_FIELDS& f,
                UC_GENERATION gen)
{
    const BOOLEAN direct = static_cast<BOOLEAN>((gen == UC_SECOND && WoWLANWakePacketValid(adapter, record)) ||
                                                (gen == UC_OLDER && f.NotAggregate));
    if (direct) {
        (void)NdisCommonReportEthFrameToLLC(adapter, port, record, tid, 0, 0);
        return TRUE;
    }
    KIRQL irql;
    KeAcquireSpinLock(&port->Ba.ReorderLock, &irql);
    adapter->ReorderInProgress = 1;
    const BOOLEAN taken = kUc[gen].reorder(adapter, port, record, tid);
    adapter->ReorderInProgress = 0;
    KeReleaseSpinLock(&port->Ba.ReorderLock, irql);
    return taken;
}

// The last fragment joined the frame: the whole frame goes to the MLME queue (EAPOL while the
// exchange runs there) or, in a fresh receive record, to the OS.
void HandOnReassembled(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const CHAR* rssi, PUCHAR data,
                       ULONG length, UCHAR tid)
{
    data[1] = static_cast<UCHAR>(data[1] & ~0x04);  // the whole frame has no more fragments
    if (HasEapolLlc(data, length) && (adapter->Recv.EapolToMlme != 0 || port->Recv.LinkState >= RX_LINK_STATE_UP)) {
        if (!ToMlme(adapter, port, wlanIndex, rssi, data, length)) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "reassembled EAPOL frame of %u bytes not queued", static_cast<unsigned>(length));
        }
        return;
    }
    PRX_DMAQ_DESC whole = RxDmaqAlloc(adapter, 0);
    if (whole == nullptr || whole->BufferVa == nullptr || whole->BufferSize < length) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_RX, "no receive record for a reassembled frame of %u bytes",
                 static_cast<unsigned>(length));
        if (whole != nullptr) {
            RxDmaqFree(adapter, whole);
        }
        return;
    }
    PlatformMoveMemory(whole->BufferVa, data, length);
    whole->Frame = whole->BufferVa;
    whole->FrameLength = length;
    (void)NdisCommonReportEthFrameToLLC(adapter, port, whole, tid, 0, 0);
}

BOOLEAN General(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid, BOOLEAN early, const CHAR* rssi,
                UCHAR wlanIndex, UC_GENERATION gen)
{
    PCSTR name = kUc[gen].name;
    RXD_FIELDS f;
    if (record == nullptr || record->Frame == nullptr || record->FrameLength < kHeader || !RxdGetFields(adapter, record, &f)) {
        return Refuse(adapter, name, "no frame");
    }
    if (wlanIndex >= MAC_TABLE_POOL_SIZE || MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex) == nullptr) {
        return Refuse(adapter, name, "no station for the sender");
    }
    PUCHAR frame = record->Frame;
    const ULONG length = record->FrameLength;
    const UCHAR fragment = static_cast<UCHAR>(frame[22] & 0x0F);
    const BOOLEAN more = static_cast<BOOLEAN>((frame[1] & 0x04) != 0);
    const USHORT sequence = SequenceOf(frame);
    ULONG64 pn = 0;
    const BOOLEAN hasPn = static_cast<BOOLEAN>(gen != UC_OLDER && (fragment != 0 || more) && RxdGetPacketNumber(record, &pn));
    const BOOLEAN hostCipher = static_cast<BOOLEAN>(port->HostCipher != 0);
    PADAPTER_RECV_BLOCK rx = &adapter->Recv;

    if (fragment == 0 || hostCipher) {
        if (more && !hostCipher) {
            // The first fragment: a reassembly starts in the slot of its number.
            KIRQL irql;
            KeAcquireSpinLock(&rx->FragLock, &irql);
            PRX_FRAG_SLOT slot = &rx->FragSlots[sequence % RX_FRAG_SLOTS];
            PlatformMoveMemory(slot->Data, frame, length);
            slot->Length = length;
            slot->Sequence = sequence;
            slot->LastFragment = 0;
            slot->SecurityMode = f.SecurityMode;
            slot->Tid = tid;
            PlatformMoveMemory(slot->Transmitter, frame + 10, sizeof(slot->Transmitter));
            slot->ArrivalTime = Now();
            slot->NextPn = (f.SecurityMode != 0 && hasPn) ? pn + 1 : 0;
            slot->InUse = 1;
            KeReleaseSpinLock(&rx->FragLock, irql);
            RxDmaqFree(adapter, record);
            return TRUE;
        }
        if ((adapter->RegistryBlock.Hlk_feature_optional & kEarlyDataHlkBit) != 0 && port->PortType == EXTSTA && early) {
            if (!Store(adapter, &port->Recv.EarlyFrame, &port->Recv.EarlyFrameLength, kTagEarlyFrame, frame, length)) {
                return Refuse(adapter, name, "early frame not kept");
            }
            port->Recv.EarlyFrameTid = tid;
            RxDmaqFree(adapter, record);
            return TRUE;
        }
        if (!Deliver(adapter, port, record, tid, f, gen)) {
            return Refuse(adapter, name, "not taken by the reordering");
        }
        if (gen != UC_OLDER) {
            // An unfragmented frame ends every reassembly in progress.
            Qz3501ClearRxFrag(adapter, TRUE, 0);
        }
        return TRUE;
    }

    // A later fragment.
    KIRQL irql;
    KeAcquireSpinLock(&rx->FragLock, &irql);
    if (gen != UC_OLDER) {
        const ULONG64 now = Now();
        for (RX_FRAG_SLOT& s : rx->FragSlots) {
            if (s.InUse && now - s.ArrivalTime > kFragmentAge) {
                ClearSlot(&s);
            }
        }
    }
    PRX_FRAG_SLOT slot = &rx->FragSlots[sequence % RX_FRAG_SLOTS];
    const ULONG body = length - kHeader;
    BOOLEAN match = static_cast<BOOLEAN>(
        slot->InUse && slot->Sequence == sequence && slot->LastFragment + 1 == fragment &&
        RtlCompareMemory(slot->Transmitter, frame + 10, sizeof(slot->Transmitter)) == sizeof(slot->Transmitter) &&
        slot->Length + body <= kMaxReassembled);
    if (match && gen != UC_OLDER) {
        match = static_cast<BOOLEAN>((!hasPn || pn == slot->NextPn) && f.SecurityMode == slot->SecurityMode);
    }
    if (!match) {
        ClearSlot(slot);
        KeReleaseSpinLock(&rx->FragLock, irql);
        return Refuse(adapter, name, "fragment does not continue its frame");
    }
    PlatformMoveMemory(slot->Data + slot->Length, frame + kHeader, body);
    slot->Length += body;
    if (slot->SecurityMode != 0) {
        ++slot->NextPn;
    }
    slot->LastFragment = fragment;
    RxDmaqFree(adapter, record);
    if (more) {
        KeReleaseSpinLock(&rx->FragLock, irql);
        return TRUE;
    }
    HandOnReassembled(adapter, port, wlanIndex, rssi, slot->Data, slot->Length, slot->Tid);
    ClearSlot(slot);
    KeReleaseSpinLock(&rx->FragLock, irql);
    return TRUE;
}

BOOLEAN UnicastStep(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid, BOOLEAN early,
                    const CHAR* rssi, UC_GENERATION gen)
{
    PCSTR name = gen == UC_OLDER ? "RecvProcessUnicastDataPkt"
                 : gen == UC_SECOND ? "Qz3501RecvProcessUnicastDataPkt"
                                    : "Arvel3xRecvProcessUnicastDataPkt";
    RXD_FIELDS f;
    if (adapter == nullptr || port == nullptr || record == nullptr || record->Frame == nullptr ||
        !RxdGetFields(adapter, record, &f)) {
        return FALSE;
    }
    UCHAR wlanIndex = f.WlanIndex;
    if (wlanIndex == RXD_WLAN_NONE) {
        wlanIndex = MlmeSyncGetWlanIdxByRoleType(port, MAC_ENTRY_KIND_PEER);
    }
    const ULONG length = record->FrameLength;
    if (length <= kHeader || length > kMaxUnicast) {
        return Refuse(adapter, name, "frame of a header only, or too long");
    }
    ++adapter->Recv.UnicastDataFrames;
    const UCHAR* frame = record->Frame;
    if (!HasEapolLlc(frame, length)) {
        return General(adapter, port, record, tid, early, rssi, wlanIndex, gen);
    }
    if (adapter->Recv.EapolToMlme == 0 && port->Recv.LinkState < RX_LINK_STATE_UP) {
        const BOOLEAN identity = static_cast<BOOLEAN>(length > kEapTypeOffset && frame[kEapolTypeOffset] == kEapolPacket &&
                                                      frame[kEapTypeOffset] == kEapIdentity);
        if (identity && port->Recv.LinkState >= 1) {
            if (port->Recv.IdentityCapture != 0 &&
                !Store(adapter, &port->Recv.EapIdentity, &port->Recv.EapIdentityLength, kTagEapIdentity, frame, length)) {
                return Refuse(adapter, name, "EAP identity not kept");
            }
            RxDmaqFree(adapter, record);
            return TRUE;
        }
        return General(adapter, port, record, tid, early, rssi, wlanIndex, gen);
    }
    if (!ToMlme(adapter, port, wlanIndex, rssi, frame, length)) {
        return Refuse(adapter, name, "EAPOL frame not queued for the MLME");
    }
    RxDmaqFree(adapter, record);
    return TRUE;
}

}  // namespace

BOOLEAN RecvProcessUnicastDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid, BOOLEAN early,
                                  const CHAR* rssi)
{
    return UnicastStep(adapter, port, record, tid, early, rssi, UC_OLDER);
}

BOOLEAN Qz3501RecvProcessUnicastDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid,
                                        BOOLEAN early, const CHAR* rssi)
{
    return UnicastStep(adapter, port, record, tid, early, rssi, UC_SECOND);
}

BOOLEAN Arvel3xRecvProcessUnicastDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid,
                                         BOOLEAN early, const CHAR* rssi)
{
    return UnicastStep(adapter, port, record, tid, early, rssi, UC_THIRD);
}

namespace {

UCHAR SenderOf(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record)
{
    RXD_FIELDS f;
    if (record == nullptr || !RxdGetFields(adapter, record, &f)) {
        return RXD_WLAN_NONE;
    }
    return f.WlanIndex != RXD_WLAN_NONE ? f.WlanIndex : MlmeSyncGetWlanIdxByRoleType(port, MAC_ENTRY_KIND_PEER);
}

}  // namespace

BOOLEAN ProcGeneralUcDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid, BOOLEAN early,
                             const CHAR* rssi)
{
    return General(adapter, port, record, tid, early, rssi, SenderOf(adapter, port, record), UC_OLDER);
}

BOOLEAN Qz3501ProcGeneralUcDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid,
                                   BOOLEAN early, const CHAR* rssi)
{
    return General(adapter, port, record, tid, early, rssi, SenderOf(adapter, port, record), UC_SECOND);
}

BOOLEAN Arvel3xProcGeneralUcDataPkt(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, UCHAR tid,
                                    BOOLEAN early, const CHAR* rssi)
{
    return General(adapter, port, record, tid, early, rssi, SenderOf(adapter, port, record), UC_THIRD);
}

VOID Qz3501ClearRxFrag(PMP_ADAPTER adapter, BOOLEAN all, ULONG index)
{
    if (adapter == nullptr) {
        return;
    }
    KIRQL irql;
    KeAcquireSpinLock(&adapter->Recv.FragLock, &irql);
    if (all) {
        for (RX_FRAG_SLOT& s : adapter->Recv.FragSlots) {
            if (s.InUse) {
                ClearSlot(&s);
            }
        }
    } else if (index < RX_FRAG_SLOTS) {
        ClearSlot(&adapter->Recv.FragSlots[index]);
    }
    KeReleaseSpinLock(&adapter->Recv.FragLock, irql);
}

VOID RecvFreePortStores(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    for (PUCHAR* buffer : {&port->Recv.EarlyFrame, &port->Recv.EapIdentity}) {
        if (*buffer != nullptr) {
            MlmeFreeMemory(adapter, *buffer);
            *buffer = nullptr;
        }
    }
    port->Recv.EarlyFrameLength = 0;
    port->Recv.EapIdentityLength = 0;
}
