// The NetAdapterCx hard transmits.
#include "platform/wificx/wificxtx.h"

#include "Common/mlme/mlme.h"
#include "Common/common.h"
#include "Common/logevent.h"
#include "Common/mlme/mlmesync_ba.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/mlmeinfo_recv.h"
#include "Common/p2p/p2p.h"
#include "hal/common/hal_desc.h"
#include "hal/common/phy_cfg.h"
#include "platform/ndis6/n6pci.h"
#include "platform/ndis6/n6xmit.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/txqueue.h"

namespace {

constexpr ULONG kHeader = 24;
constexpr USHORT kEtherEapol = 0x888E;
constexpr USHORT kEtherArp = 0x0806;
constexpr ULONG kEventSendEapol = 0x4002040E;
constexpr UCHAR kSeqClassPid = 3;
constexpr ULONG kApMinLength = 25;
constexpr ULONG kApMaxLength = 2346;
constexpr ULONG kHtControlBit = 0x1000;  // the peer takes the HT control field (Order bit)
constexpr ULONG kNoQosForSpecialBit = 0x2000;
constexpr ULONG kQosStationBit = 0x0001;
constexpr UCHAR kFcProtected = 0x40;
constexpr UCHAR kFcOrder = 0x80;
constexpr USHORT kExemptionNone = 0;
constexpr USHORT kExemptionAlways = 1;
constexpr USHORT kExemptionNoKey = 2;

// The first fragment's length: the header copy needs the whole 24 bytes of it.
ULONG FirstFragmentLength(PTX_DMAQ_DESC record)
{
    auto* q = static_cast<PQZCX_TXQUEUE>(record->TxQueueContext);
    auto* side = static_cast<PTX_PACKET_SIDE_INFO>(record->SideInfo);
    if (q != nullptr && side != nullptr && q->ScatterVa != nullptr && q->ScatterEntryCount != 0) {
        return q->ScatterVa[side->FirstFragmentIndex % q->ScatterEntryCount].Length;
    }
    return record->FirstBufferData != nullptr ? record->FirstBufferLength : record->FrameLength;
}

UCHAR SecurityHeaderLength(ULONG cipher)
{
    switch (cipher) {
    case 1:
    case 2:
        return 8;
    case 3:
        return 20;
    case 4:
        return 16;
    case 13:
        return 12;
    default:
        return 0;
    }
}

BOOLEAN IsWepSuite(ULONG suite)
{
    return static_cast<BOOLEAN>(suite == DOT11_CIPHER_WEP40 || suite == DOT11_CIPHER_WEP104 || suite == DOT11_CIPHER_WEP);
}

NTSTATUS NotSent(PCSTR path, PCSTR why, NTSTATUS status = STATUS_UNSUCCESSFUL)
{
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "%s: frame not sent: %s", path, why);
    return status;
}

// The exemption action of the packet: from the send context of a buffer-list packet; a NetAdapterCx
// packet carries none (the queue's exemption extension is not read).
USHORT ExemptionOf(PTX_DMAQ_DESC record)
{
    if (record->SendContext == nullptr) {
        return kExemptionNone;
    }
    return *static_cast<const USHORT*>(record->SendContext);
}

// Copies the OS header behind the descriptor area and makes it the record's frame; with a QoS header
// the QoS control field (TID, acknowledgement policy) and 2 bytes of padding follow it.
void CopyHeader(PTX_DMAQ_DESC record, const UCHAR* source, PTX_FRAME_INFO info, UCHAR noAck, BOOLEAN order,
                BOOLEAN protect)
{
    PUCHAR copy = record->BufferVa + TX_DMAQ_HEADER_COPY_OFFSET;
    PlatformMoveMemory(copy, source, kHeader);
    record->Frame = copy;
    record->BytesUsed = TX_DMAQ_HEADER_COPY_OFFSET + kHeader;
    if (info->QosHeaderWanted) {
        copy[0] = static_cast<UCHAR>((copy[0] & 0x8F) | 0x80);
        copy[kHeader] = static_cast<UCHAR>((info->Tid & 0x0F) | ((noAck & 0x03) << 5));
        copy[kHeader + 1] = 0;
        copy[kHeader + 2] = 0;
        copy[kHeader + 3] = 0;
        info->HeaderLength = kHeader + 2;
        info->HeaderPadding = 2;
        record->BytesUsed += 4;
        record->FrameLength += 4;
        record->QosInserted = 1;
    } else {
        copy[0] = static_cast<UCHAR>(copy[0] & 0x0F);
    }
    copy[1] = static_cast<UCHAR>(order ? copy[1] | kFcOrder : copy[1]);
    copy[1] = static_cast<UCHAR>(protect ? copy[1] | kFcProtected : copy[1] & ~kFcProtected);
}

// Descriptor, sequence counter and the ring: the common end of both hard transmits.
NTSTATUS Submit(PMP_ADAPTER adapter, PPCI_HIF_CONTEXT hif, PTX_DMAQ_DESC record, PTX_FRAME_INFO info,
                PMAC_TABLE_ENTRY entry, ULONG ring, BOOLEAN kick, BOOLEAN countBytes)
{
    const PUCHAR header = record->Frame;
    info->FrameType = static_cast<USHORT>((header[0] >> 2) & 0x3);
    info->FrameSubtype = static_cast<USHORT>(header[0] >> 4);
    info->Length = static_cast<USHORT>(record->FrameLength);
    record->FrameLength += TX_DMAQ_HEADER_COPY_OFFSET;
    if (countBytes) {
        adapter->Xmit.TxBytes += record->FrameLength;
    }
    record->Port->Xmit.LastPhyWord = entry->PhyCfgData;
    XmitWriteTxD(adapter, record->BufferVa, info);
    if ((header[1] & 0x03) != 0) {
        const UCHAR tid = static_cast<UCHAR>(info->Tid % MAC_ENTRY_TID_COUNT);
        entry->TxSeq[tid] = static_cast<USHORT>((entry->TxSeq[tid] + 1) & 0x0FFF);
    }
    return N6PciTxSendPkt(hif, record, ring, kick);
}

}  // namespace

NTSTATUS QZCxHifPciXmitHardTransmit(PPCI_HIF_CONTEXT hif, PTX_DMAQ_DESC record, ULONG ring)
{
    static constexpr PCSTR kPath = "QZCxHifPciXmitHardTransmit";
    PMP_ADAPTER adapter = hif != nullptr ? hif->Adapter : nullptr;
    PMP_PORT port = record != nullptr ? record->Port : nullptr;
    if (adapter == nullptr || port == nullptr || record->Frame == nullptr || record->BufferVa == nullptr) {
        return NotSent(kPath, "no port or frame");
    }
    if (FirstFragmentLength(record) < kHeader) {
        return NotSent(kPath, "first fragment shorter than the 802.11 header");
    }
    const PORT_XMIT_BLOCK& px = port->Xmit;
    // 1-2. The receiver's entry and the link's key state.
    const BOOLEAN clientOfGroup =
        static_cast<BOOLEAN>(port->Active != 0 &&
                             (port->PortType == WFD_CLIENT ||
                              (port->PortNumber != 0 && (port->PortType == EXTSTA || port->PortType == EXTAP) &&
                               port->State == 1 && adapter->Xmit.WfdMode == 3)));
    const UCHAR wlanIndex = clientOfGroup ? P2pGetClientWcid(adapter, port) : MlmeSyncGetWlanIdxByRoleType(port, MAC_ENTRY_KIND_PEER);
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex);
    if (entry == nullptr) {
        return NotSent(kPath, "no station entry for the receiver");
    }
    UCHAR keyState = clientOfGroup ? static_cast<UCHAR>(entry->KeyState) : adapter->StaKeyState;
    // 3. Frame information.
    TX_FRAME_INFO info = {};
    info.Port = port;
    info.Queue = record->AccessCategory;
    info.FwQueue = 0;
    info.HeaderLength = kHeader;
    info.BssIndex = port->BssIndex;
    info.OwnMacIndex = port->OwnMacIndex;
    info.Tid = record->UserPriority;
    info.Ack = 1;
    info.AggregationAllowed = 1;
    info.WlanIndex = wlanIndex;
    info.WfdPort = static_cast<UCHAR>(port->PortType >= WFD_DEVICE && port->PortType <= WFD_CLIENT ? 1 : 0);
    info.GroupAddressed = static_cast<UCHAR>(wlanIndex == MlmeSyncGetWlanIdxByRoleType(port, MAC_ENTRY_KIND_OWN_BSS));
    info.KeyIndex = 0xFF;
    const PUCHAR os = record->Frame;
    const BOOLEAN toDs = static_cast<BOOLEAN>((os[1] & 0x01) != 0);
    const BOOLEAN group = static_cast<BOOLEAN>(((toDs ? os[16] : os[4]) & 0x01) != 0);
    const BOOLEAN fourAddress = static_cast<BOOLEAN>((os[1] & 0x03) == 0x03);
    // 4-7. Frame checks.
    UCHAR eapolStart = 0;
    BOOLEAN dhcpOrArp = N6XmitCheckDHCPFrame(adapter, record, &info.EtherType, &info.FrameCheckResults[0],
                                             &info.FrameCheckResults[1], &eapolStart);
    if (dhcpOrArp && group) {
        info.SpecialFrame = 1;
        info.PacketId = GetNextSeqNum(adapter, kSeqClassPid, TRUE);
    }
    if (adapter->Xmit.RtpMonitorPort != 0 && info.WfdPort) {
        N6XmitCheckRTPFrame(adapter, record);
    }
    if (eapolStart != 0 && adapter->RegistryBlock.BlockEAPStart == 1) {
        return NotSent(kPath, "EAPOL-Start held back");
    }
    BOOLEAN eapol = FALSE;
    if (info.EtherType == kEtherEapol) {
        eapol = TRUE;
        info.Eapol = 1;
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_TX, "%s: EAPOL frame of %u bytes", kPath, static_cast<unsigned>(record->FrameLength));
        (void)WriteSystemEventLog(adapter, kEventSendEapol, 0, nullptr, 0);
        if (adapter->RegistryBlock.fgCertSCV == 1 || adapter->RegistryBlock.BlockEAPStart == 1) {
            (void)N6XmitCheckEAPFrame(adapter, record, nullptr);
        }
    } else if (info.EtherType == kEtherArp) {
        dhcpOrArp = TRUE;
    }
    if (!eapol && !dhcpOrArp) {
        N6XmitCheckAndTagSpecificFrame(adapter, record, &info);
    } else {
        info.AggregationAllowed = 0;
    }
    if (info.IcmpEcho) {
        info.AggregationAllowed = 0;
        if (adapter->RegistryBlock.PingEnhance != 0 && port->PortType == EXTSTA && adapter->Xmit.PowerConsumptionPeriod == 0) {
            (void)MlmePowerConsumptionCtrl(adapter, port);
        }
    }
    // 8. Block ack of the TID.
    const UCHAR tid = static_cast<UCHAR>(record->UserPriority & 0x07);
    const USHORT bit = static_cast<USHORT>(1u << tid);
    const BOOLEAN blockAckTraffic = static_cast<BOOLEAN>(!group || (px.LinkFlags & PORT_LINK_FLAG_BIT0) != 0);
    const UCHAR bandwidth = port->Channel.Bandwidth;
    const ULONG mcs = READ_PHY_CFG_MCS(adapter, &entry->PhyCfgData);
    if ((entry->BaOriginatorSetupBitmap & bit) != 0 && info.AggregationAllowed && blockAckTraffic) {
        if ((bandwidth == BW_40 && mcs != 0) || (bandwidth == BW_20 && mcs > 1) || bandwidth == BW_80) {
            entry->BaOriginatorSetupBitmap = static_cast<USHORT>(entry->BaOriginatorSetupBitmap & ~bit);
            const UCHAR slot = entry->BaOriginatorSlot[tid];
            if (slot != 0 && slot < BA_TABLE_SLOTS) {
                port->Ba.Originator[slot].State = BA_ORI_SETUP_STARTED;
            }
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_TX, "%s: block-ack set-up of TID %u starts", kPath, static_cast<unsigned>(tid));
        }
    } else if ((entry->BaOriginatorBitmap2 & bit) != 0 && info.AggregationAllowed && blockAckTraffic) {
        if ((bandwidth == BW_40 && mcs == 0) || (bandwidth == BW_20 && mcs < 2)) {
            BATableTearORIEntry(adapter, port, 0, wlanIndex, 0, 1);
        } else {
            info.BlockAckActive = 1;
        }
    }
    // 9. Acknowledgement and the cipher suite.
    const UCHAR ac = static_cast<UCHAR>(record->AccessCategory % PORT_TX_ACS);
    port->Xmit.NoAck[ac] = 0;
    if (info.BlockAckActive || (!group && !fourAddress)) {
        info.Ack = 1;
        info.SecuritySuite = px.PairwiseSuite;
    } else {
        info.Ack = 0;
        info.SecuritySuite = px.GroupSuite;
        info.GroupKey = 1;
        ++adapter->Xmit.GroupFrames;
    }
    // 10. Power save and a fixed legacy rate.
    const BOOLEAN ready = static_cast<BOOLEAN>(px.Ready[0] != 0 && px.Ready[1] != 0 && px.Ready[2] != 0);
    if ((!ready || eapol) && adapter->Xmit.PsmBitMode == 1) {
        (void)MlmeSetPsmBit(adapter, 0);
    }
    if (adapter->Xmit.FixedLegacyRate != 0) {
        info.AggregationAllowed = 0;
    }
    // 11. QoS.
    BOOLEAN order = FALSE;
    if ((px.LinkFlags & PORT_LINK_FLAG_EDCA) != 0 && px.Wmm != 0) {
        info.QosHeaderWanted = 1;
        const ULONG flags = entry->HtFlags;
        if ((flags & kHtControlBit) != 0 && info.AggregationAllowed && !dhcpOrArp && !eapol) {
            order = TRUE;
        }
        const BOOLEAN restrictive = static_cast<BOOLEAN>(
            ((flags & (kHtControlBit | kNoQosForSpecialBit)) == (kHtControlBit | kNoQosForSpecialBit)) ||
            ((flags & kNoQosForSpecialBit) != 0 && READ_PHY_CFG_MODE(adapter, &entry->PhyCfgData) > 1));
        if (restrictive && (dhcpOrArp || eapol || (adapter->RegistryBlock.IcmpFixRate != 0 && info.IcmpEcho))) {
            info.QosHeaderWanted = 0;
        }
    }
    // 12. The key.
    if (eapol) {
        if (port->PortKeyCipher[0] != 0 && px.KeyValid[0] != 0 && adapter->StaKeyState == 1) {
            info.KeyIndex = 0;
        }
    } else if (IsWepSuite(info.SecuritySuite)) {
        info.KeyIndex = px.DefaultKeyIndex;
        keyState = 1;
    } else if (info.SecuritySuite == DOT11_CIPHER_TKIP || info.SecuritySuite == DOT11_CIPHER_CCMP ||
               info.SecuritySuite == DOT11_CIPHER_GCMP256) {
        info.KeyIndex = (!group && px.KeyValid[0] != 0) ? 0 : px.DefaultKeyIndex;
    }
    info.KeyState = keyState;
    const BOOLEAN keyValid = static_cast<BOOLEAN>(info.KeyIndex < PORT_TX_KEYS && px.KeyValid[info.KeyIndex] != 0);
    // 13. The protection bit.
    BOOLEAN protect = FALSE;
    if (port->CipherSetting != 0 && px.ProtectionOverride == 0) {
        const USHORT exemption = ExemptionOf(record);
        info.PortControlState = exemption;
        switch (exemption) {
        case kExemptionAlways:
            protect = FALSE;
            break;
        case kExemptionNoKey:
            protect = static_cast<BOOLEAN>(info.KeyIndex != 0xFF && keyValid &&
                                           MlmeInfoFindKeyMappingKey(adapter, port, os + 4) == 1);
            if (eapol && port->PortType == WFD_CLIENT) {
                protect = FALSE;
            }
            break;
        default:
            protect = TRUE;
            break;
        }
        if (keyState != 1) {
            protect = FALSE;
        } else if ((port->CipherSetting == DOT11_CIPHER_TKIP || port->CipherSetting == DOT11_CIPHER_CCMP) &&
                   exemption != kExemptionAlways) {
            protect = TRUE;
        }
        if (protect && !keyValid) {
            if (!group && record->DataClass == 1) {
                return NotSent(kPath, "protected unicast frame without a valid key");
            }
            protect = FALSE;
        }
        if (eapol && record->PairwiseEapolKey != 0 && px.EapolKeyProtect == 0) {
            protect = FALSE;
        }
    }
    // 14.
    info.Protection = static_cast<UCHAR>(protect && keyValid ? port->PortKeyCipher[info.KeyIndex] : 0);
    info.SecurityHeaderLength = SecurityHeaderLength(info.Protection);
    // 15. Ring space.
    if (!NT_SUCCESS(NdisCommonHifFreeDescriptorRequest(adapter, static_cast<UCHAR>(ring), 1))) {
        return NotSent(kPath, "ring full", STATUS_INSUFFICIENT_RESOURCES);
    }
    // 16-19. Header copy, descriptor, sequence counter, ring.
    CopyHeader(record, record->Frame, &info, port->Xmit.NoAck[ac], order, protect);
    info.Kick = static_cast<UCHAR>((entry->TxModeByte & 0xF0) == 0 ? 1 : 0);
    const BOOLEAN kick = static_cast<BOOLEAN>(info.Kick || info.SpecialFrame || info.IcmpEcho || eapol);
    const NTSTATUS status = Submit(adapter, hif, record, &info, entry, ring, kick, TRUE);
    if (NT_SUCCESS(status) && port->PortNumber == 0) {
        (void)InterlockedIncrement(&port->TxInFlight);
    }
    return status;
}

NTSTATUS QZCxHifPciApXmitHardTransmit(PPCI_HIF_CONTEXT hif, PTX_DMAQ_DESC record, ULONG ring)
{
    static constexpr PCSTR kPath = "QZCxHifPciApXmitHardTransmit";
    PMP_ADAPTER adapter = hif != nullptr ? hif->Adapter : nullptr;
    PMP_PORT port = record != nullptr ? record->Port : nullptr;
    if (adapter == nullptr || port == nullptr || record->Frame == nullptr || record->BufferVa == nullptr ||
        record->FrameLength < kApMinLength || record->FrameLength > kApMaxLength) {
        return NotSent(kPath, "no port, or a frame length outside 25-2346");
    }
    if (FirstFragmentLength(record) < kHeader) {
        return NotSent(kPath, "first fragment shorter than the 802.11 header");
    }
    const PORT_XMIT_BLOCK& px = port->Xmit;
    TX_FRAME_INFO info = {};
    info.Port = port;
    info.Queue = record->AccessCategory;
    info.HeaderLength = kHeader;
    info.OwnMacIndex = port->OwnMacIndex;
    info.Tid = record->UserPriority;
    info.Ack = 1;
    info.AggregationAllowed = 1;
    info.WlanIndex = record->StationIndex;
    info.GroupAddressed = static_cast<UCHAR>(record->StationIndex == MlmeSyncGetWlanIdxByRoleType(port, MAC_ENTRY_KIND_OWN_BSS));
    info.KeyState = adapter->StaKeyState;
    info.WfdPort = static_cast<UCHAR>(port->PortType >= WFD_DEVICE && port->PortType <= WFD_CLIENT ? 1 : 0);
    info.KeyIndex = 0xFF;
    // 2. The station.
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedWlanIdx(port, record->StationIndex);
    if (entry == nullptr || entry->InactivityCount >= adapter->RegistryBlock.P2PAgeout) {
        return NotSent(kPath, "no station, or the station aged out");
    }
    const BOOLEAN takesPart = static_cast<BOOLEAN>(entry->NoBuffering == 0);
    // 3. Frame checks.
    UCHAR eapolStart = 0;
    const BOOLEAN dhcpOrArp = N6XmitCheckDHCPFrame(adapter, record, &info.EtherType, &info.FrameCheckResults[0],
                                                   &info.FrameCheckResults[1], &eapolStart);
    if (dhcpOrArp) {
        info.SpecialFrame = 1;
    }
    if (adapter->Xmit.RtpMonitorPort != 0 && info.WfdPort) {
        N6XmitCheckRTPFrame(adapter, record);
    }
    const BOOLEAN eapol = static_cast<BOOLEAN>(info.EtherType == kEtherEapol);
    info.Eapol = eapol ? 1 : 0;
    if (info.SpecialFrame || eapol) {
        info.AggregationAllowed = 0;
    }
    // 4. Block ack.
    const UCHAR tid = static_cast<UCHAR>(record->UserPriority & 0x07);
    const USHORT bit = static_cast<USHORT>(1u << tid);
    if (takesPart && info.AggregationAllowed) {
        if ((entry->BaOriginatorBitmap2 & bit) != 0) {
            info.BlockAckActive = static_cast<UCHAR>(entry->BaAgreementCount == 0 ? 1 : 0);
        } else if ((entry->BaOriginatorSetupBitmap & bit) != 0) {
            entry->BaOriginatorSetupBitmap = static_cast<USHORT>(entry->BaOriginatorSetupBitmap & ~bit);
            const UCHAR slot = entry->BaOriginatorSlot[tid];
            if (slot != 0 && slot < BA_TABLE_SLOTS) {
                port->Ba.Originator[slot].State = BA_ORI_SETUP_STARTED;
            }
        }
    }
    // 5. Addressing: from the distribution system, address 3 the port's BSSID (in the copy of the
    // header that goes out; the OS's packet stays as the OS wrote it).
    UCHAR os[kHeader];
    PlatformMoveMemory(os, record->Frame, kHeader);
    if (record->Origin == TX_DMAQ_ORIGIN_OS) {
        os[1] = static_cast<UCHAR>((os[1] & 0xFE) | 0x02);
    }
    if (port->Active != 0 && port->PortNumber != 0 && (port->PortType == EXTSTA || port->PortType == EXTAP) &&
        port->State == 3 && adapter->Xmit.WfdMode == 3) {
        PlatformMoveMemory(os + 4, os + 16, MAC_ADDR_LEN);
    }
    PlatformMoveMemory(os + 16, port->Bssid, MAC_ADDR_LEN);
    // 6. Acknowledgement.
    const BOOLEAN group = static_cast<BOOLEAN>((os[4] & 0x01) != 0);
    const UCHAR ac = static_cast<UCHAR>(record->AccessCategory % PORT_TX_ACS);
    if (!group) {
        info.Ack = static_cast<UCHAR>(px.NoAck[ac] == 0 ? 1 : 0);
        info.GroupKey = 0;
    } else {
        info.Ack = 0;
        info.GroupKey = 1;
        ++adapter->Xmit.GroupFrames;
        if ((px.GroupPhyWord & (1u << 28)) != 0) {
            const ULONG upper = px.GroupPhyWord >> 16;
            if (upper == 0x1010 || (upper == 0x1001 && READ_PHY_CFG_MODE(adapter, &px.GroupPhyWord) < 2)) {
                info.AggregationAllowed = 0;
            }
        }
    }
    // 7. A fixed legacy rate.
    if (adapter->Xmit.FixedLegacyRate != 0) {
        info.AggregationAllowed = 0;
    }
    // 8. QoS, never for a group frame.
    if ((px.LinkFlags & PORT_LINK_FLAG_EDCA) != 0 && takesPart && !group &&
        (info.AggregationAllowed || (entry->HtFlags & kQosStationBit) != 0)) {
        info.QosHeaderWanted = 1;
        const ULONG flags = entry->HtFlags;
        const BOOLEAN restrictive = static_cast<BOOLEAN>(
            ((flags & (kHtControlBit | kNoQosForSpecialBit)) == (kHtControlBit | kNoQosForSpecialBit)) ||
            ((flags & kNoQosForSpecialBit) != 0 && (READ_PHY_CFG_MODE(adapter, &entry->PhyCfgData) & 0x2) != 0));
        if (restrictive && (info.SpecialFrame || eapol)) {
            info.QosHeaderWanted = 0;
        }
    }
    // 9. The cipher.
    const ULONG setting = port->CipherSetting;
    UCHAR cipher = 0;
    if ((!eapol && (setting == DOT11_CIPHER_TKIP || setting == DOT11_CIPHER_CCMP || setting == DOT11_CIPHER_IHV_START)) ||
        (eapol && port->PortType != WFD_GO)) {
        if (!group) {
            PMAC_TABLE_ENTRY again = MlmeSyncMacTabMatchedWlanIdx(port, record->StationIndex);
            if (again == nullptr) {
                return NotSent(kPath, "no station for a protected unicast frame");
            }
            cipher = again->PairwiseCipher;
        } else if (px.DefaultKeyIndex < PORT_TX_KEYS) {
            cipher = port->PortKeyCipher[px.DefaultKeyIndex];
        }
    } else if (!eapol && IsWepSuite(setting) && px.DefaultKeyIndex < PORT_TX_KEYS) {
        cipher = port->PortKeyCipher[px.DefaultKeyIndex];
    }
    // 10. The protection bit.
    const USHORT exemption = ExemptionOf(record);
    info.PortControlState = exemption;
    const BOOLEAN protect = static_cast<BOOLEAN>(exemption != kExemptionAlways && cipher != 0);
    info.SecurityHeaderLength = protect ? SecurityHeaderLength(cipher) : 0;
    info.Protection = protect ? cipher : 0;
    // 11. The firmware numbers the frame.
    os[22] = 0;
    os[23] = 0;
    // 12. Ring space.
    if (!NT_SUCCESS(NdisCommonHifFreeDescriptorRequest(adapter, static_cast<UCHAR>(ring), 1))) {
        return NotSent(kPath, "ring full", STATUS_INSUFFICIENT_RESOURCES);
    }
    // 13. Header copy; the first buffer then starts behind the header.
    CopyHeader(record, os, &info, port->Xmit.NoAck[ac], FALSE, protect);
    if (record->FirstBufferData != nullptr && record->FirstBufferLength >= kHeader) {
        record->FirstBufferData += kHeader;
        record->FirstBufferLength -= kHeader;
    }
    const BOOLEAN kick = static_cast<BOOLEAN>(eapol || info.SpecialFrame);
    return Submit(adapter, hif, record, &info, entry, ring, kick, FALSE);
}
