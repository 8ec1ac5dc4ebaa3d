// EHT of the station port and of its access point, and the link's channel up to 320 MHz.
#include "Common/he/eht_rlm.h"

#include "Common/cnm.h"
#include "Common/he/he_rlm.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/qzcmd.h"
#include "Common/rlm.h"
#include "Common/rlm_bits.h"
#include "Common/rlm_vht.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kElementExtension = 255;
constexpr UCHAR kExtEhtCap = 108;
constexpr ULONG kEhtCapMinBody = 12;        // extension id, MAC 2, PHY 9
constexpr ULONG kEhtCapMapsOffset = 14;     // from the element's start
constexpr USHORT kEhtBaSize = 1024;

// EHT MAC capability bits.
constexpr ULONG kMacOmControl = 1;
// EHT PHY capability bits.
constexpr ULONG kPhy320In6g = 1;
constexpr ULONG kPhy242ToneRu = 2;
constexpr ULONG kPhyBeamformee80 = 7;       // 3 bits
constexpr ULONG kPhyBeamformee160 = 10;
constexpr ULONG kPhyBeamformee320 = 13;
constexpr ULONG kPhySounding80 = 16;        // 3 bits
constexpr ULONG kPhySounding160 = 19;
constexpr ULONG kPhySounding320 = 22;
constexpr ULONG kPhyMaxNc = 36;             // 4 bits
constexpr ULONG kPhyMcs15First = 51;
constexpr ULONG kPhyAlwaysSet[] = {3, 5, 6, 25, 26, 28, 29, 30, 31, 32, 35, 40, 41, 42, 45, 46, 47, 49, 55, 56};
// HE PHY capability bits (the peer's channel width set).
constexpr ULONG kHePhyWidth80In5 = 2;
constexpr ULONG kHePhyWidth160 = 3;

UCHAR ReceivePaths(PMP_ADAPTER adapter) { return KOVAGetAntennaPath(adapter); }

// The band whose bandwidth limit the EHT capabilities follow: 6 GHz on a 6 GHz port, else 5 GHz.
ULONG CapabilityBand(const MP_PORT* port) { return port->Channel.Band == RLM_BAND_6G ? RLM_BAND_6G : RLM_BAND_5G; }

UCHAR LowerNibbles(UCHAR a, UCHAR b)
{
    const UCHAR low = static_cast<UCHAR>((a & 0x0F) < (b & 0x0F) ? (a & 0x0F) : (b & 0x0F));
    const UCHAR high = static_cast<UCHAR>((a & 0xF0) < (b & 0xF0) ? (a & 0xF0) : (b & 0xF0));
    return static_cast<UCHAR>(low | high);
}

void FillMap(PUCHAR map, ULONG bytes, UCHAR value)
{
    for (ULONG i = 0; i < bytes; ++i) {
        map[i] = value;
    }
}

void CopyBytes(PUCHAR to, const UCHAR* from, ULONG bytes)
{
    for (ULONG i = 0; i < bytes; ++i) {
        to[i] = from[i];
    }
}

}  // namespace

// ================================================================================================
// the port's own EHT
// ================================================================================================
NTSTATUS EhtInitCtrl(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    EHT_CAP_IE& eht = port->Rlm.Eht;
    eht.Enabled = 0;
    if (QzCmdChipGroup(adapter) == FW_CHIP_GROUP_ARVEL3X && port->WirelessMode == PHY_11BE) {
        EhtInitCapIE(adapter, port, TRUE);
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "port %u: EHT %s", static_cast<unsigned>(port->PortNumber),
             eht.Enabled ? "on" : "off");
    return STATUS_SUCCESS;
}

void EhtInitCapIE(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN clear)
{
    EHT_CAP_IE& eht = port->Rlm.Eht;
    if (clear) {
        eht.Operation = EHT_OPERATION_INFO{};
        eht.Cap = EHT_CAPABILITY_INFO{};
    }
    const ULONG be = adapter->RegistryBlock.Config_11BE;
    if (port->PortNumber != 0 || QzCmdChipGroup(adapter) != FW_CHIP_GROUP_ARVEL3X || (be & 0x1) == 0) {
        return;
    }
    eht.Enabled = 1;
    ehtRlmFillCapIE(adapter, port);
    ehtRlmFillOpIE(adapter, port);
    eht.Flag4 = static_cast<UCHAR>((be >> 4) & 1);
    eht.Flag5 = static_cast<UCHAR>((be >> 5) & 1);
    eht.BaSize[0] = kEhtBaSize;
    eht.BaSize[1] = kEhtBaSize;
    if (port->PortType == EXTSTA) {
        eht.Flag6 = static_cast<UCHAR>((be >> 6) & 1);
        eht.Flag7 = static_cast<UCHAR>((be >> 7) & 1);
    }
}

void ehtRlmFillMcsNssByBw(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR map)
{
    UNREFERENCED_PARAMETER(port);
    FillMap(map, 3, static_cast<UCHAR>(ReceivePaths(adapter) * 0x11));
}

void ehtRlmFillCapIE(PMP_ADAPTER adapter, PMP_PORT port)
{
    EHT_CAP_IE& eht = port->Rlm.Eht;
    if (!eht.Enabled) {
        return;
    }
    EHT_CAPABILITY_INFO& cap = eht.Cap;
    cap = EHT_CAPABILITY_INFO{};
    const UCHAR n = ReceivePaths(adapter);
    const ULONG sounding = n >= 2 ? n - 1u : 0u;
    const UCHAR w = cnmGetMaxBwByBand(adapter, port, CapabilityBand(port));

    RlmSetBit(cap.MacCap, kMacOmControl, TRUE);

    if (port->Channel.Band == RLM_BAND_6G && cnmGetMaxBwByBand(adapter, port, RLM_BAND_6G) == MAX_BW_320) {
        RlmSetBit(cap.PhyCap, kPhy320In6g, TRUE);
    }
    if (port->PortType != WFD_GO) {
        RlmSetBit(cap.PhyCap, kPhy242ToneRu, static_cast<BOOLEAN>(w != 0));
    }
    if (w != 0) {
        RlmSetField(cap.PhyCap, kPhyBeamformee80, 3, 3);
        RlmSetField(cap.PhyCap, kPhySounding80, 3, sounding);
    }
    if (w >= MAX_BW_160) {
        RlmSetField(cap.PhyCap, kPhyBeamformee160, 3, 3);
        RlmSetField(cap.PhyCap, kPhySounding160, 3, sounding);
    }
    if (w == MAX_BW_320) {
        RlmSetField(cap.PhyCap, kPhyBeamformee320, 3, 3);
        RlmSetField(cap.PhyCap, kPhySounding320, 3, sounding);
    }
    for (ULONG bit : kPhyAlwaysSet) {
        RlmSetBit(cap.PhyCap, bit, TRUE);
    }
    RlmSetField(cap.PhyCap, kPhyMaxNc, 4, n > 0 ? n - 1u : 0u);
    RlmSetBit(cap.PhyCap, kPhyMcs15First, TRUE);
    RlmSetBit(cap.PhyCap, kPhyMcs15First + 1, static_cast<BOOLEAN>(w != 0));
    RlmSetBit(cap.PhyCap, kPhyMcs15First + 2, static_cast<BOOLEAN>(w >= MAX_BW_160));
    RlmSetBit(cap.PhyCap, kPhyMcs15First + 3, static_cast<BOOLEAN>(w == MAX_BW_320));

    if (w == 0) {
        FillMap(cap.Mcs20Only, 4, static_cast<UCHAR>(n * 0x11));
        return;
    }
    ehtRlmFillMcsNssByBw(adapter, port, cap.Mcs80);
    if (w >= MAX_BW_160) {
        ehtRlmFillMcsNssByBw(adapter, port, cap.Mcs160);
    }
    if (w == MAX_BW_320) {
        ehtRlmFillMcsNssByBw(adapter, port, cap.Mcs320);
    }
}

void ehtRlmFillOpIE(PMP_ADAPTER adapter, PMP_PORT port)
{
    EHT_OPERATION_INFO& op = port->Rlm.Eht.Operation;
    const ULONG band = port->Channel.Band == 0 ? RLM_BAND_5G : port->Channel.Band;
    op.Params = 1;
    FillMap(op.BasicMcsNss, 4, 0);
    op.Control = ehtRlmGetEhtOpBwByBw(cnmGetMaxBwByBand(adapter, port, band));
    op.CentreSeg0 = port->Rlm.Vht.OwnOp.CentreSeg0;
    op.CentreSeg1 = port->Rlm.Vht.OwnOp.CentreSeg1;
}

ULONG ehtRlmCalculateCapIELen(PMP_ADAPTER adapter, PMP_PORT port)
{
    const UCHAR w = cnmGetMaxBwByBand(adapter, port, CapabilityBand(port));
    if (w == 0) {
        return 18;
    }
    return 17 + (w >= MAX_BW_160 ? 3u : 0u) + (w == MAX_BW_320 ? 3u : 0u);
}

void ehtRlmReqGenerateCapIE(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR buffer, PUSHORT length)
{
    *length = 0;
    if (!port->Rlm.Eht.Enabled) {
        return;
    }
    ehtRlmFillCapIE(adapter, port);
    const EHT_CAPABILITY_INFO& cap = port->Rlm.Eht.Cap;
    const UCHAR w = cnmGetMaxBwByBand(adapter, port, CapabilityBand(port));
    const ULONG total = ehtRlmCalculateCapIELen(adapter, port);
    buffer[0] = kElementExtension;
    buffer[1] = static_cast<UCHAR>(total - 2);
    buffer[2] = kExtEhtCap;
    CopyBytes(buffer + 3, cap.MacCap, 2);
    CopyBytes(buffer + 5, cap.PhyCap, 9);
    ULONG at = kEhtCapMapsOffset;
    if (w == 0) {
        CopyBytes(buffer + at, cap.Mcs20Only, 4);
        at += 4;
    } else {
        CopyBytes(buffer + at, cap.Mcs80, 3);
        at += 3;
        if (w >= MAX_BW_160) {
            CopyBytes(buffer + at, cap.Mcs160, 3);
            at += 3;
        }
        if (w == MAX_BW_320) {
            CopyBytes(buffer + at, cap.Mcs320, 3);
            at += 3;
        }
    }
    *length = static_cast<USHORT>(at);
}

// ================================================================================================
// an access point's EHT elements
// ================================================================================================
void ehtRlmRecCapInfo(PMP_ADAPTER adapter, PMP_PORT port, PEHT_CAPABILITY_INFO ehtCap,
                      const HE_CAPABILITY_INFO* heCap, const UCHAR* element)
{
    if (adapter == nullptr || ehtCap == nullptr || element == nullptr) {
        return;
    }
    if (element[1] < kEhtCapMinBody) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "EHT Capabilities of length %u ignored", static_cast<unsigned>(element[1]));
        return;
    }
    CopyBytes(ehtCap->MacCap, element + 3, 2);
    CopyBytes(ehtCap->PhyCap, element + 5, 9);
    UCHAR bandwidth;
    if (heCap != nullptr) {
        if (RlmGetBit(ehtCap->PhyCap, kPhy320In6g)) {
            bandwidth = MAX_BW_320;
        } else if (RlmGetBit(heCap->PhyCap, kHePhyWidth160)) {
            bandwidth = MAX_BW_160;
        } else if (RlmGetBit(heCap->PhyCap, kHePhyWidth80In5)) {
            bandwidth = MAX_BW_80;
        } else {
            bandwidth = MAX_BW_160;
        }
    } else {
        bandwidth = port != nullptr ? cnmGetMaxBwByBand(adapter, port, CapabilityBand(port))
                                    : cnmGetMaxBwByBand(adapter, port, RLM_BAND_5G);
    }
    ehtRlmRecMcsMap(ehtCap, bandwidth, element);
}

void ehtRlmRecMcsMap(PEHT_CAPABILITY_INFO ehtCap, UCHAR bandwidth, const UCHAR* element)
{
    const ULONG total = 2u + element[1];
    FillMap(ehtCap->Mcs20Only, 4, 0);
    FillMap(ehtCap->Mcs80, 3, 0);
    FillMap(ehtCap->Mcs160, 3, 0);
    FillMap(ehtCap->Mcs320, 3, 0);
    const UCHAR* maps = element + kEhtCapMapsOffset;
    if (bandwidth == MAX_BW_20) {
        if (total >= kEhtCapMapsOffset + 4) {
            CopyBytes(ehtCap->Mcs20Only, maps, 4);
        }
        return;
    }
    if (total >= kEhtCapMapsOffset + 3) {
        CopyBytes(ehtCap->Mcs80, maps, 3);
    }
    if (bandwidth >= MAX_BW_160 && total >= kEhtCapMapsOffset + 6) {
        CopyBytes(ehtCap->Mcs160, maps + 3, 3);
    }
    if (bandwidth == MAX_BW_320 && total >= kEhtCapMapsOffset + 9) {
        CopyBytes(ehtCap->Mcs320, maps + 6, 3);
    }
}

void ehtRlmRecOperation(PMP_ADAPTER adapter, PMP_PORT port, PEHT_OPERATION_INFO ehtOp, const UCHAR* element)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    if (ehtOp == nullptr || element == nullptr) {
        return;
    }
    const ULONG bodyLength = element[1];
    ULONG infoAt;
    if (bodyLength == 5 || bodyLength == 7) {
        infoAt = 4;  // no basic MCS set: the information follows the parameters
    } else if (bodyLength < 6) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "EHT Operation of length %u refused", static_cast<unsigned>(bodyLength));
        return;
    } else {
        infoAt = 8;
    }
    ehtOp->Params = element[3];
    if ((ehtOp->Params & 0x1) == 0) {
        return;
    }
    if (infoAt + 3 > 2 + bodyLength) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "EHT Operation of length %u cut inside its information",
                 static_cast<unsigned>(bodyLength));
        return;
    }
    ehtOp->Control = element[infoAt];
    ehtOp->CentreSeg0 = element[infoAt + 1];
    ehtOp->CentreSeg1 = element[infoAt + 2];
}

// ================================================================================================
// the station link
// ================================================================================================
BOOLEAN QZCheckEht(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const EHT_CAPABILITY_INFO* peerCap,
                   const EHT_OPERATION_INFO* peerOp, BOOLEAN join)
{
    if (adapter == nullptr || port == nullptr || wlanIndex >= RLM_WLAN_INDEX_LIMIT || !port->Rlm.Eht.Enabled) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "EHT check refused: WLAN index %u", static_cast<unsigned>(wlanIndex));
        return FALSE;
    }
    NEGOTIATED_LINK_CAPS& link = adapter->Rlm.Link;
    const EHT_CAPABILITY_INFO& own = port->Rlm.Eht.Cap;
    link.EhtInUse = 1;
    if (peerCap != nullptr) {
        if (join) {
            link.EhtCap = *peerCap;
        } else {
            EHT_CAPABILITY_INFO cap{};
            for (ULONG i = 0; i < 2; ++i) {
                cap.MacCap[i] = static_cast<UCHAR>(own.MacCap[i] & peerCap->MacCap[i]);
            }
            for (ULONG i = 0; i < 9; ++i) {
                cap.PhyCap[i] = static_cast<UCHAR>(own.PhyCap[i] & peerCap->PhyCap[i]);
            }
            const ULONG ownNc = RlmGetField(own.PhyCap, kPhyMaxNc, 4);
            const ULONG peerNc = RlmGetField(peerCap->PhyCap, kPhyMaxNc, 4);
            RlmSetField(cap.PhyCap, kPhyMaxNc, 4, ownNc < peerNc ? ownNc : peerNc);
            // Each map byte holds a receive and a transmit count: each is the lower of the two sides'.
            for (ULONG i = 0; i < 4; ++i) {
                cap.Mcs20Only[i] = LowerNibbles(own.Mcs20Only[i], peerCap->Mcs20Only[i]);
            }
            for (ULONG i = 0; i < 3; ++i) {
                cap.Mcs80[i] = LowerNibbles(own.Mcs80[i], peerCap->Mcs80[i]);
                cap.Mcs160[i] = LowerNibbles(own.Mcs160[i], peerCap->Mcs160[i]);
                cap.Mcs320[i] = LowerNibbles(own.Mcs320[i], peerCap->Mcs320[i]);
            }
            link.EhtCap = cap;
        }
    }
    if (peerOp != nullptr) {
        link.EhtOp = *peerOp;
        const UCHAR ownWidth = ehtRlmGetEhtOpBwByBw(cnmGetMaxBwByBand(adapter, port, port->Channel.Band));
        const UCHAR peerWidth = static_cast<UCHAR>(peerOp->Control & 0x7);
        const UCHAR width = peerWidth < ownWidth ? peerWidth : ownWidth;
        link.LinkChannel.ChannelWidth = ehtRlmGetVhtOpBwByEhtOpBw(width);
        link.LinkChannel.Centre1 = EhtCentralChannelDecision(adapter, port->Channel.Band, port->Channel.PrimaryChannel,
                                                             link.LinkChannel.ChannelWidth, peerOp->CentreSeg0,
                                                             peerOp->CentreSeg1);
        link.LinkChannel.Centre2 = 0;
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "EHT link: width %u, centre %u",
                 static_cast<unsigned>(link.LinkChannel.ChannelWidth), static_cast<unsigned>(link.LinkChannel.Centre1));
    }
    return TRUE;
}

void EhtUpdateMacTable(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry)
{
    UNREFERENCED_PARAMETER(port);
    if (adapter == nullptr || entry == nullptr) {
        return;
    }
    entry->Rlm.EhtOn = 1;
    entry->Rlm.EhtOp = adapter->Rlm.Link.EhtOp;
    entry->Rlm.EhtCap = adapter->Rlm.Link.EhtCap;
}

UCHAR ehtRlmGetEhtOpBwByBw(UCHAR bandwidth)
{
    switch (bandwidth) {
    case MAX_BW_20:
        return EHT_OP_BW_20;
    case MAX_BW_40:
        return EHT_OP_BW_40;
    case MAX_BW_80:
        return EHT_OP_BW_80;
    case MAX_BW_160:
        return EHT_OP_BW_160;
    case MAX_BW_320:
        return EHT_OP_BW_320;
    default:
        return EHT_OP_BW_20;
    }
}

UCHAR ehtRlmGetVhtOpBwByEhtOpBw(UCHAR ehtWidth)
{
    switch (ehtWidth) {
    case EHT_OP_BW_20:
    case EHT_OP_BW_40:
        return CW_20_40;
    case EHT_OP_BW_80:
        return CW_80;
    case EHT_OP_BW_160:
        return CW_160;
    case EHT_OP_BW_320:
        return CW_320;
    default:
        return CW_80;
    }
}

UCHAR EhtCentralChannelDecision(PMP_ADAPTER adapter, ULONG band, UCHAR primary, UCHAR channelWidth, UCHAR seg0,
                                UCHAR seg1)
{
    UNREFERENCED_PARAMETER(seg0);
    if (channelWidth == CW_20_40) {
        return 0;
    }
    if (band == RLM_BAND_6G) {
        if (channelWidth == CW_320) {
            struct Block {
                UCHAR first;
                UCHAR last;
                UCHAR centre;
            };
            // The two 320 MHz channelisations: centres 63, 127, 191 (the access point names one of
            // them in segment 1) or 31, 95, 159.
            static const Block kSecond[] = {{33, 93, 63}, {97, 157, 127}, {161, 221, 191}};
            static const Block kFirst[] = {{1, 61, 31}, {65, 125, 95}, {129, 189, 159}};
            const BOOLEAN second = static_cast<BOOLEAN>(seg1 == 63 || seg1 == 127 || seg1 == 191);
            const Block* blocks = second ? kSecond : kFirst;
            for (ULONG i = 0; i < 3; ++i) {
                if (primary >= blocks[i].first && primary <= blocks[i].last) {
                    return blocks[i].centre;
                }
            }
            return 0;
        }
        UCHAR centre = 0;
        he6GCentralChannelDecision(primary, channelWidth, 0, &centre);
        return centre;
    }
    UCHAR centre = 0;
    Vht5GCentralChannelDecision(adapter, primary, channelWidth == CW_80 ? MAX_BW_80 : MAX_BW_160, &centre);
    return centre;
}
