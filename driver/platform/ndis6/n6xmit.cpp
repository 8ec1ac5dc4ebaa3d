// The transmit frame checks and the send step.
#include "platform/ndis6/n6xmit.h"

#include "Common/common.h"
#include "Common/logevent.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2p.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/wificx/txqueue.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/trace.h"

namespace {

// The OS's NDIS version from which the low-power tests apply.
constexpr ULONG kNdisVersionLowPowerTests = 0x6001D;
constexpr ULONG kFlagsNotReady = 0x20080u;
constexpr ULONG kWdiMessageStopAp = 15;

BOOLEAN IsApOpMode(ULONG opMode) { return static_cast<BOOLEAN>(opMode >= 2 && opMode <= 4); }

}  // namespace

NTSTATUS XmitCheckHWReadyToSend(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return NDIS_STATUS_INVALID_PORT;
    }
    const ULONG flags = AdapterGetFlags(adapter);
    const ULONG ndisVersion = adapter->CommonBlock != nullptr ? adapter->CommonBlock->NdisVersion : 0;
    if (ndisVersion > kNdisVersionLowPowerTests) {
        if ((flags & ADAPTER_FLAG_PCI_SUSPENDED) != 0) {
            return NDIS_STATUS_LOW_POWER_STATE;
        }
        if ((flags & ADAPTER_FLAG_TX_HELD) != 0 && port->PortType != EXTSTA) {
            return NDIS_STATUS_LOW_POWER_STATE;
        }
    }
    if ((flags & ADAPTER_FLAGS_REGISTER_REFUSED) != 0) {
        return NDIS_STATUS_ADAPTER_REMOVED;
    }
    if ((flags & ADAPTER_FLAG_HALT_IN_PROGRESS) != 0) {
        return NDIS_STATUS_CLOSING;
    }
    if ((flags & kFlagsNotReady) != 0) {
        return STATUS_UNSUCCESSFUL;
    }
    const UCHAR recovery = adapter->Recovery.FwRecoveryState;
    if (recovery == 1 || recovery == 2 || adapter->FwCmd.RecoveryInProgress == 1 || adapter->FwCmd.RecoveryInProgress == 2) {
        return STATUS_UNSUCCESSFUL;
    }
    if (IsApOpMode(port->OpMode)) {
        const BOOLEAN goRunning = static_cast<BOOLEAN>(adapter->P2pBlock != nullptr &&
                                                       (adapter->P2pBlock->Flags & P2P_FLAG_GO_RUNNING) != 0);
        const BOOLEAN stopPending = static_cast<BOOLEAN>(adapter->Wdi.CntlBlock.PendingMessageId == kWdiMessageStopAp);
        if (!goRunning || adapter->TxQueueStartedCount == 0 || stopPending) {
            return STATUS_UNSUCCESSFUL;
        }
    }
    return STATUS_SUCCESS;
}

BOOLEAN XmitIsApOpMode(PMP_PORT port) { return static_cast<BOOLEAN>(port != nullptr && IsApOpMode(port->OpMode)); }

NTSTATUS XmitSendPacket(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    if (record == nullptr || record->Port == nullptr || !IsApOpMode(record->Port->OpMode)) {
        return STATUS_UNSUCCESSFUL;
    }
    return XmitApSendPacket(adapter, record->Port, record);
}

// ================================================================================================
// frame bytes
// ================================================================================================
namespace {

// The frame's bytes: one or two pieces.
struct FrameView {
    PUCHAR part[2] = {};
    ULONG length[2] = {};
};

FrameView ViewOf(PTX_DMAQ_DESC record)
{
    FrameView v;
    if (record == nullptr) {
        return v;
    }
    auto* q = static_cast<PQZCX_TXQUEUE>(record->TxQueueContext);
    auto* side = static_cast<PTX_PACKET_SIDE_INFO>(record->SideInfo);
    if (q != nullptr && side != nullptr && q->ScatterVa != nullptr && q->ScatterEntryCount != 0) {
        // A NetAdapterCx packet: its scatter entries over the OS fragments (at most two).
        const TX_SG_ENTRY* e0 = &q->ScatterVa[side->FirstFragmentIndex % q->ScatterEntryCount];
        v.part[0] = reinterpret_cast<PUCHAR>(e0->VirtualAddress);
        v.length[0] = e0->Length;
        if ((e0->Flags & TX_SG_LAST_OF_PACKET) == 0) {
            const TX_SG_ENTRY* e1 = &q->ScatterVa[(side->FirstFragmentIndex + 1) % q->ScatterEntryCount];
            v.part[1] = reinterpret_cast<PUCHAR>(e1->VirtualAddress);
            v.length[1] = e1->Length;
        }
        return v;
    }
    // A buffer-list packet or an internal frame: one piece.
    v.part[0] = record->Frame;
    v.length[0] = record->FirstBufferData != nullptr ? record->FirstBufferLength : record->FrameLength;
    return v;
}

PUCHAR ByteAt(PTX_DMAQ_DESC record, ULONG offset)
{
    FrameView v = ViewOf(record);
    if (v.part[0] != nullptr && offset < v.length[0]) {
        return v.part[0] + offset;
    }
    if (v.part[1] != nullptr && offset >= v.length[0] && offset - v.length[0] < v.length[1]) {
        return v.part[1] + (offset - v.length[0]);
    }
    return nullptr;
}

// The byte, or `fallback` when the frame is shorter.
UCHAR Byte(PTX_DMAQ_DESC record, ULONG offset, UCHAR fallback = 0)
{
    PUCHAR p = ByteAt(record, offset);
    return p != nullptr ? *p : fallback;
}

constexpr USHORT kEtherEapol = 0x888E;
constexpr USHORT kEtherArp = 0x0806;
constexpr USHORT kEtherIpv6 = 0x86DD;
constexpr USHORT kEtherIpv4 = 0x0800;
constexpr ULONG kEventSendDhcp = 0x40020410;
constexpr ULONG kCheckLimit = 1024;
constexpr UCHAR kSeqClassPid = 3;

// The QoS offset: 2 behind a QoS control field.
ULONG QosShift(PTX_DMAQ_DESC record) { return (Byte(record, 0) & 0x80) != 0 ? 2 : 0; }

}  // namespace

BOOLEAN N6XmitGetByteFromMdl(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, ULONG offset, PUCHAR value)
{
    UNREFERENCED_PARAMETER(adapter);
    PUCHAR p = ByteAt(record, offset);
    if (p == nullptr || value == nullptr) {
        return FALSE;
    }
    *value = *p;
    return TRUE;
}

BOOLEAN N6XmitSetByteFromMdl(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, ULONG offset, UCHAR value)
{
    UNREFERENCED_PARAMETER(adapter);
    PUCHAR p = ByteAt(record, offset);
    if (p == nullptr) {
        return FALSE;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "frame byte %u: 0x%02X -> 0x%02X", static_cast<unsigned>(offset),
             static_cast<unsigned>(*p), static_cast<unsigned>(value));
    *p = value;
    return TRUE;
}

BOOLEAN N6XmitCheckDHCPFrame(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, PUSHORT etherType, PUCHAR groupKey,
                             PUCHAR special, PUCHAR eapolStart)
{
    *etherType = 0xFFFF;
    *groupKey = 0;
    *special = 0;
    *eapolStart = 0;
    if (adapter == nullptr || record == nullptr) {
        return FALSE;
    }
    const BOOLEAN data = static_cast<BOOLEAN>(((Byte(record, 0) >> 2) & 0x3) == 2);
    if (adapter->RegistryBlock.BlockEAPStart == 0 && (!data || record->FrameLength >= kCheckLimit)) {
        return FALSE;
    }
    const ULONG q = QosShift(record);
    const USHORT type = static_cast<USHORT>((Byte(record, 30 + q) << 8) | Byte(record, 31 + q));
    *etherType = type;
    if (type == kEtherEapol) {
        const UCHAR packetType = Byte(record, 33 + q, 0xFF);
        if (packetType == 3) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_TX, "EAPOL-Key frame of %u bytes", static_cast<unsigned>(record->FrameLength));
            if ((adapter->RegistryBlock.Hlk_feature_optional & 0x2000) != 0) {
                adapter->EapolReceived = 0;
            }
            if ((Byte(record, 38 + q) & 0x08) == 0) {
                *groupKey = 1;
            } else {
                record->PairwiseEapolKey = 1;
            }
        } else if (packetType == 1) {
            *eapolStart = 1;
        }
        return FALSE;
    }
    if (type == kEtherIpv6) {
        if (Byte(record, 38 + q) == 58) {
            const UCHAR icmp = Byte(record, 72 + q);
            if (icmp == 128 || icmp == 129) {
                *special = 0;
            } else {
                *special = 1;
                PMP_PORT port = record->Port;
                if (port != nullptr && port->Cfg.MPolicy != 1) {
                    port->Xmit.Ipv6NdSeen = 1;
                }
            }
        }
        return FALSE;
    }
    PUCHAR sourcePort = ByteAt(record, 53 + q);
    PUCHAR destinationPort = ByteAt(record, 55 + q);
    const BOOLEAN dhcp = static_cast<BOOLEAN>(sourcePort != nullptr && destinationPort != nullptr &&
                                              ((*sourcePort == 68 && *destinationPort == 67) ||
                                               (*sourcePort == 67 && *destinationPort == 68)));
    if (type == kEtherArp) {
        return TRUE;
    }
    if (dhcp) {
        (void)WriteSystemEventLog(adapter, kEventSendDhcp, 0, &type, sizeof(type));
        return TRUE;
    }
    return FALSE;
}

BOOLEAN N6XmitCheckEAPFrame(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, PUCHAR eapolType)
{
    if (adapter == nullptr || record == nullptr) {
        return FALSE;
    }
    const ULONG q = QosShift(record);
    if (Byte(record, 30 + q) != 0x88 || Byte(record, 31 + q) != 0x8E) {
        return FALSE;
    }
    const UCHAR type = Byte(record, 33 + q, 0xFF);
    if (eapolType != nullptr) {
        *eapolType = type;
    }
    // The fake-CA certification test: an EAP response becomes a TLS fatal alert (unknown CA).
    if (adapter->RegistryBlock.BlockEAPStart == 1 && type == 0 && adapter->CertTlsLengthIncluded == 0 &&
        adapter->CertTlsMoreFragments == 0 && adapter->CertFakeCaSeen == 1) {
        adapter->CertFakeCaSeen = 0;
        static constexpr struct {
            UCHAR offset, value;
        } kAlertHead[] = {{32, 1}, {33, 0}, {34, 0}, {35, 17}, {36, 2}, {38, 0}, {39, 17}, {41, 0x80}};
        static constexpr UCHAR kAlert[11] = {0, 0, 0, 7, 21, 3, 3, 0, 2, 2, 48};
        for (const auto& b : kAlertHead) {
            (void)N6XmitSetByteFromMdl(adapter, record, b.offset + q, b.value);
        }
        for (ULONG i = 0; i < sizeof(kAlert); ++i) {
            (void)N6XmitSetByteFromMdl(adapter, record, 42 + i + q, kAlert[i]);
        }
    }
    return TRUE;
}

VOID N6XmitCheckAndTagSpecificFrame(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, PTX_FRAME_INFO info)
{
    if (adapter == nullptr || record == nullptr || info == nullptr || ((Byte(record, 0) >> 2) & 0x3) != 2) {
        return;
    }
    const USHORT type = static_cast<USHORT>((Byte(record, 30) << 8) | Byte(record, 31));
    if (type != kEtherIpv4 || Byte(record, 41) != 1 || Byte(record, 52, 0xFF) != 8) {
        return;
    }
    info->IcmpEcho = 1;
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    adapter->Xmit.LastEchoRequestTime = static_cast<ULONG64>(now.QuadPart);
    info->PacketId = GetNextSeqNum(adapter, kSeqClassPid, TRUE);
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "ICMP echo request, sequence %u",
             static_cast<unsigned>((Byte(record, 58) << 8) | Byte(record, 59)));
}

namespace {

// The RTP watch shared by both directions: `frame` of `length` bytes with a 24-byte header, `shift`
// bytes of QoS control between header and body.
void CheckRtp(PMP_ADAPTER adapter, const UCHAR* frame, ULONG length, ULONG shift, PCSTR direction)
{
    const ULONG port = adapter->Xmit.RtpMonitorPort;
    if (port == 0 || frame == nullptr || length < 64 + shift) {
        return;
    }
    const UCHAR* f = frame + shift;
    if ((f[32] >> 4) != 4 || f[41] != 17 || static_cast<ULONG>((f[54] << 8) | f[55]) != port) {
        return;
    }
    const USHORT sequence = static_cast<USHORT>((f[62] << 8) | f[63]);
    const ULONG gap = (static_cast<ULONG>(sequence) - adapter->Xmit.RtpExpectedSeq + 0xFFFEu) % 0xFFFEu;
    if (gap != 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_TX, "%s RTP sequence %u, %u expected", direction, static_cast<unsigned>(sequence),
                 static_cast<unsigned>(adapter->Xmit.RtpExpectedSeq));
    }
    adapter->Xmit.RtpExpectedSeq = static_cast<USHORT>(sequence + 1);
}

}  // namespace

VOID N6XmitCheckRTPFrame(PMP_ADAPTER adapter, PTX_DMAQ_DESC record)
{
    if (adapter == nullptr || record == nullptr) {
        return;
    }
    FrameView v = ViewOf(record);
    // The watched fields lie in the first piece of every frame this system sends.
    CheckRtp(adapter, v.part[0], v.length[0], QosShift(record), "transmit");
}

VOID N6RecvCheckRTPFrame(PMP_ADAPTER adapter, struct _RX_DMAQ_DESC* record)
{
    if (adapter == nullptr || record == nullptr) {
        return;
    }
    CheckRtp(adapter, record->Frame, record->FrameLength, 0, "receive");
}

VOID N6RecvCheckSpecificFrame(PMP_ADAPTER adapter, struct _RX_DMAQ_DESC* record)
{
    UNREFERENCED_PARAMETER(adapter);
    if (record == nullptr || record->Frame == nullptr || record->FrameLength < 60) {
        return;
    }
    const UCHAR* f = record->Frame;
    if (((f[30] << 8) | f[31]) == kEtherIpv4 && f[41] == 1 && f[52] == 0) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_RX, "ICMP echo reply, sequence %u", static_cast<unsigned>((f[58] << 8) | f[59]));
    }
}

// ================================================================================================
// the access-point send step
// ================================================================================================
namespace {

constexpr ULONG kBmcPsqLimit = 32;
constexpr ULONG kCmdBeaconTim = 0x10000014;
constexpr ULONG kCmdApPsUpdate = 0x10000013;
constexpr ULONG kPsIndicateLength = 161;
constexpr ULONG kGoOpModeCode = 0x20;

NTSTATUS RefuseAp(PCSTR why)
{
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "XmitApSendPacket: %s", why);
    return STATUS_UNSUCCESSFUL;
}

}  // namespace

NTSTATUS XmitApSendPacket(PMP_ADAPTER adapter, PMP_PORT port, PTX_DMAQ_DESC record)
{
    if (adapter == nullptr || port == nullptr || record == nullptr || record->Frame == nullptr) {
        return RefuseAp("no port or frame");
    }
    if ((port->Xmit.TxBlock[0] != 0 && port->Xmit.TxBlock[1] != 0) ||
        (port->Mlme.ApStarted == 0 && port->Mlme.GoStarted == 0)) {
        return RefuseAp("transmission blocked or the access point is not started");
    }
    UCHAR header[24];
    for (ULONG i = 0; i < sizeof(header); ++i) {
        if (!N6XmitGetByteFromMdl(adapter, record, i, &header[i])) {
            return RefuseAp("frame shorter than its header");
        }
    }
    const UCHAR* destination = (header[1] & 0x01) != 0 ? header + 16 : header + 4;
    const BOOLEAN group = static_cast<BOOLEAN>((destination[0] & 0x01) != 0);
    PMAC_TABLE_ENTRY peer = group ? nullptr : MacTableLookup(adapter, port, destination);
    if (peer != nullptr && peer->InactivityCount >= adapter->RegistryBlock.P2PAgeout) {
        return RefuseAp("station aged out");
    }
    if (!group && (peer == nullptr || peer->Kind != MAC_ENTRY_KIND_GO_CLIENT)) {
        return RefuseAp("unknown receiver");
    }
    const UCHAR wlanIndex = group ? MlmeSyncGetWlanIdxByRoleType(port, MAC_ENTRY_KIND_OWN_BSS) : peer->WlanIdx;
    record->StationIndex = wlanIndex;
    PMAC_TABLE_ENTRY station = MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex);
    if (station == nullptr) {
        return RefuseAp("no station entry");
    }
    // The 4-way handshake of a secured access point goes in the voice queue until the keys are in.
    UCHAR type = 0;
    const BOOLEAN eapol = N6XmitCheckEAPFrame(adapter, record, &type);
    PMAC_TABLE_ENTRY own = MlmeSyncMacTabMatchedRoleType(port, GetWlanRoleType(port));
    if (port->Mlme.GoStarted == 0 && port->AuthMode != 1 && eapol && own != nullptr && own->KeyReady != 1) {
        record->AccessCategory = 3;
    }
    record->ApMark = TX_DMAQ_AP_MARK_AP;
    NTSTATUS result = STATUS_SUCCESS;
    if (station->NoBuffering == 0) {
        if (group && port->Xmit.GroupBuffering != 0) {
            const ULONG portIndex = port->PortNumber;
            if (TxBmcPsqGetCount(adapter, portIndex) >= kBmcPsqLimit) {
                return RefuseAp("group power-save queue full");
            }
            TxBmcPsqEnqueue(adapter, record, portIndex);
            (void)InterlockedIncrement(&adapter->Xmit.PsFrames);
            const BOOLEAN fresh = static_cast<BOOLEAN>((port->Xmit.Tim[0] & 1u) == 0);
            port->Xmit.Tim[0] |= 1u;
            if (fresh) {
                (void)QZEnqueueInternalCmd(adapter, port, kCmdBeaconTim, nullptr, 0);
            }
            if (port->PortType != WFD_GO) {
                (void)QZEnqueueInternalCmd(adapter, port, kCmdApPsUpdate, nullptr, 0);
            }
            result = STATUS_PENDING;
        } else if (!group && peer->Kind == MAC_ENTRY_KIND_GO_CLIENT && peer->PsWord == 1) {
            TxUcPsqEnqueue(adapter, record, peer->WlanIdx);
            (void)InterlockedIncrement(&adapter->Xmit.PsFrames);
            const ULONG n = peer->WlanIdx;
            ULONG& word = port->Xmit.Tim[n < 32 ? 0 : 1];
            const ULONG bit = 1u << (n % 32);
            const BOOLEAN fresh = static_cast<BOOLEAN>((word & bit) == 0);
            word |= bit;
            if (fresh) {
                (void)QZEnqueueInternalCmd(adapter, port, kCmdBeaconTim, nullptr, 0);
            }
            result = STATUS_PENDING;
        }
    }
    if (port->OpModeCode >= kGoOpModeCode && record->FrameLength == kPsIndicateLength) {
        port->Xmit.PsIndicate = 1;
    }
    return result;
}

VOID XmitKickPortTx(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr || AdapterTestFlags(adapter, 0x201C0u)) {
        return;
    }
    P2pResumeIdleState(adapter, port);
    PlatformSignalThread(&port->SendThread);
}

// ================================================================================================
// buffer-list packets
// ================================================================================================
namespace {

constexpr ULONG kMinNetBufferLength = 25;
constexpr ULONG kMaxNetBufferLength = 2346;
constexpr ULONG kHeaderBytes = 24;

}  // namespace

NTSTATUS N6XmitGetTxbufToDmaq(PMP_ADAPTER adapter, ULONG portIndex, PNET_BUFFER_LIST nbl, PNET_BUFFER nb,
                              PTX_DMAQ_DESC record)
{
    if (adapter == nullptr || nbl == nullptr || nb == nullptr || record == nullptr || nbl->Context == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "N6XmitGetTxbufToDmaq line %d: no buffer list, record or context word",
                 __LINE__);
        return STATUS_UNSUCCESSFUL;
    }
    const ULONG length = NET_BUFFER_DATA_LENGTH(nb);
    if (length < kMinNetBufferLength || length > kMaxNetBufferLength) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "N6XmitGetTxbufToDmaq line %d: data length %u", __LINE__,
                 static_cast<unsigned>(length));
        return STATUS_UNSUCCESSFUL;
    }
    PMP_PORT port = portIndex < MP_MAX_PORTS ? adapter->PortList[portIndex] : nullptr;
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "N6XmitGetTxbufToDmaq line %d: no port %u", __LINE__,
                 static_cast<unsigned>(portIndex));
        return STATUS_UNSUCCESSFUL;
    }
    PMDL mdl = NET_BUFFER_CURRENT_MDL(nb);
    const ULONG offset = NET_BUFFER_CURRENT_MDL_OFFSET(nb);
    if (mdl == nullptr || MmGetMdlByteCount(mdl) < offset || MmGetMdlByteCount(mdl) - offset < kHeaderBytes) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "N6XmitGetTxbufToDmaq line %d: first buffer shorter than a header",
                 __LINE__);
        return STATUS_UNSUCCESSFUL;
    }
    const ULONG firstLength = MmGetMdlByteCount(mdl) - offset;
    if (firstLength > length && port->HostCipher == 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "N6XmitGetTxbufToDmaq line %d: first buffer %u longer than the data %u",
                 __LINE__, static_cast<unsigned>(firstLength), static_cast<unsigned>(length));
        return STATUS_UNSUCCESSFUL;
    }
    if (NDIS_MDL_LINKAGE(mdl) != nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "N6XmitGetTxbufToDmaq line %d: more than one memory descriptor list",
                 __LINE__);
        return STATUS_UNSUCCESSFUL;
    }
    auto* base = static_cast<PUCHAR>(MmGetSystemAddressForMdlSafe(mdl, 0));
    if (base == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "N6XmitGetTxbufToDmaq line %d: buffer not mapped", __LINE__);
        return STATUS_UNSUCCESSFUL;
    }
    record->Origin = TX_DMAQ_ORIGIN_OS;
    record->DataClass = 1;
    record->FrameLength = length;
    record->Port = port;
    record->OsBufferList = nbl;
    record->OsBuffer = nb;
    const UCHAR priority = static_cast<UCHAR>(NET_BUFFER_LIST_USER_PRIORITY(nbl) & 0x0F);
    record->UserPriority = priority;
    record->AccessCategory = priority < 8 ? TxQueueAcOfPriority(priority) : 0;
    // Only the bytes of the first buffer may be read through the frame pointer.
    record->FirstBufferLength = firstLength < length ? firstLength : length;
    record->Frame = base + offset;
    record->FirstBufferData = record->Frame;
    record->DataOffset = offset;
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    adapter->LastTxTime = static_cast<ULONG64>(now.QuadPart);
    return STATUS_SUCCESS;
}

namespace {

intptr_t* OutstandingOf(PNET_BUFFER_LIST nbl) { return reinterpret_cast<intptr_t*>(&NET_BUFFER_LIST_MINIPORT_RESERVED(nbl)[1]); }

}  // namespace

VOID N6XmitSetNblOutstanding(PNET_BUFFER_LIST nbl, LONG count)
{
    if (nbl != nullptr) {
        __atomic_store_n(OutstandingOf(nbl), static_cast<intptr_t>(count), __ATOMIC_RELEASE);
    }
}

LONG N6XmitNblOutstandingRelease(PNET_BUFFER_LIST nbl)
{
    if (nbl == nullptr) {
        return 0;
    }
    intptr_t left = __atomic_sub_fetch(OutstandingOf(nbl), 1, __ATOMIC_ACQ_REL);
    if (left < 0) {
        // A list released more often than it was counted: it is done.
        __atomic_store_n(OutstandingOf(nbl), 0, __ATOMIC_RELEASE);
        left = 0;
    }
    return static_cast<LONG>(left);
}
