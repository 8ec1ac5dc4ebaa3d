// VHT capabilities and operation of a port, the VHT check of the station link, and the shared
// channel-width routines.
#include "Common/rlm_vht.h"

#include "Common/cnm.h"
#include "Common/rlm.h"
#include "Common/rlm_bits.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

// The 5 GHz primary/centre channel table, searched in order.
const VHT_CHANNEL_ROW Vht5GChannelTable[VHT_5G_CHANNEL_ROWS] = {
    // 20 MHz
    {36, 36, 0}, {40, 40, 0}, {44, 44, 0}, {48, 48, 0}, {52, 52, 0}, {56, 56, 0}, {60, 60, 0}, {64, 64, 0},
    {100, 100, 0}, {104, 104, 0}, {108, 108, 0}, {112, 112, 0}, {116, 116, 0}, {120, 120, 0}, {124, 124, 0}, {128, 128, 0},
    {132, 132, 0}, {136, 136, 0}, {140, 140, 0}, {149, 149, 0}, {153, 153, 0}, {157, 157, 0}, {161, 161, 0}, {165, 165, 0},
    {169, 169, 0}, {173, 173, 0}, {177, 177, 0},
    // 40 MHz
    {36, 38, 1}, {40, 38, 1}, {44, 46, 1}, {48, 46, 1}, {52, 54, 1}, {56, 54, 1}, {60, 62, 1}, {64, 62, 1},
    {100, 102, 1}, {104, 102, 1}, {108, 110, 1}, {112, 110, 1}, {116, 118, 1}, {120, 118, 1}, {124, 126, 1}, {128, 126, 1},
    {132, 134, 1}, {136, 134, 1}, {149, 151, 1}, {153, 151, 1}, {157, 159, 1}, {161, 159, 1}, {165, 167, 1}, {169, 167, 1},
    {173, 175, 1}, {177, 175, 1},
    // 80 MHz
    {36, 42, 2}, {40, 42, 2}, {44, 42, 2}, {48, 42, 2}, {52, 58, 2}, {56, 58, 2}, {60, 58, 2}, {64, 58, 2},
    {100, 106, 2}, {104, 106, 2}, {108, 106, 2}, {112, 106, 2}, {116, 122, 2}, {120, 122, 2}, {124, 122, 2}, {128, 122, 2},
    {132, 138, 2}, {136, 138, 2}, {140, 138, 2}, {144, 138, 2}, {149, 155, 2}, {153, 155, 2}, {157, 155, 2}, {161, 155, 2},
    {165, 171, 2}, {169, 171, 2}, {173, 171, 2}, {177, 171, 2},
    // 160 MHz
    {36, 50, 3}, {40, 50, 3}, {44, 50, 3}, {48, 50, 3}, {52, 50, 3}, {56, 50, 3}, {60, 50, 3}, {64, 50, 3},
    {100, 114, 3}, {104, 114, 3}, {108, 114, 3}, {112, 114, 3}, {116, 114, 3}, {120, 114, 3}, {124, 114, 3}, {128, 114, 3},
    {149, 163, 3}, {153, 163, 3}, {157, 163, 3}, {161, 163, 3}, {165, 163, 3}, {169, 163, 3}, {173, 163, 3}, {177, 163, 3},
};

namespace {

// VHT Capabilities Information bits.
constexpr ULONG kMaxMpdu11454 = 2;                 // bits 0-1
constexpr ULONG kChannelWidthSetShift = 2;         // bits 2-3
constexpr ULONG kRxLdpc = 1u << 4;
constexpr ULONG kShortGi80 = 1u << 5;
constexpr ULONG kShortGi160 = 1u << 6;
constexpr ULONG kTxStbc = 1u << 7;
constexpr ULONG kRxStbcShift = 8;                  // bits 8-10
constexpr ULONG kRxStbcMask = 0x7u << kRxStbcShift;
constexpr ULONG kSuBeamformee = 1u << 12;
constexpr ULONG kBeamformeeStsShift = 13;          // bits 13-15
constexpr ULONG kSoundingDimShift = 16;            // bits 16-18
constexpr ULONG kMuBeamformee = 1u << 20;
constexpr ULONG kAmpduExpShift = 23;               // bits 23-25
constexpr ULONG kRxAntennaConsistency = 1u << 28;
constexpr ULONG kTxAntennaConsistency = 1u << 29;
constexpr ULONG kExtNssBwMask = 0x3u << 30;        // bits 30-31: extended NSS bandwidth support
constexpr ULONG kAdvertisedCapInfo = 0x33801121u;

// 160 MHz centre channels of the 5 and 6 GHz bands.
constexpr UCHAR k160Centres[] = {15, 47, 50, 79, 111, 114, 143, 163, 175, 207};

UCHAR ReceivePaths(PMP_ADAPTER adapter) { return KOVAGetAntennaPath(adapter); }
UCHAR TransmitPaths(const MP_ADAPTER* adapter) { return static_cast<UCHAR>((adapter->AntennaPath >> 4) & 0x0F); }

// The MCS map of a path count: MCS 0-9 on stream 1, on stream 2 with two paths or more, no other stream.
USHORT McsMapOfPaths(UCHAR paths) { return paths >= 2 ? 0xFFFA : 0xFFFE; }
// The highest rate (bits 0-12) of a path count, bits 13-15 kept.
USHORT HighestRateOfPaths(USHORT old, UCHAR paths)
{
    return static_cast<USHORT>((old & 0xE000) | (paths >= 2 ? 866 : 390));
}

BOOLEAN IsWifiDirectPort(const MP_PORT* port)
{
    return static_cast<BOOLEAN>(port->PortType == WFD_DEVICE || port->PortType == WFD_GO || port->PortType == WFD_CLIENT);
}

// Per stream: 3 when either map has 3 there, else the first map's value.
USHORT MaskUnsupported(USHORT own, USHORT peer)
{
    USHORT out = own;
    for (ULONG s = 0; s < 8; ++s) {
        const ULONG shift = 2 * s;
        if (((own >> shift) & 3) == 3 || ((peer >> shift) & 3) == 3) {
            out = static_cast<USHORT>(out | (3u << shift));
        }
    }
    return out;
}

}  // namespace

// ================================================================================================
// the port's own bodies
// ================================================================================================
NTSTATUS VhtInitCtrl(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (port->WirelessMode < PHY_11VHT || port->WirelessMode > PHY_11BE) {
        port->Cfg.VhtEnabled = 0;
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "port %u: PHY mode %u, VHT off", static_cast<unsigned>(port->PortNumber),
                 static_cast<unsigned>(port->WirelessMode));
        return STATUS_SUCCESS;
    }
    port->Cfg.VhtEnabled = 1;
    port->Rlm.Vht.AdvertisedSet = 1;
    VhtInittMimoCtrlField(adapter, port);
    VhtInitCapIE(adapter, port, TRUE);
    VhtInitOpIE(adapter, port, TRUE);
    VhtInitExtBssLoadIE(adapter, port);
    return STATUS_SUCCESS;
}

void VhtInittMimoCtrlField(PMP_ADAPTER adapter, PMP_PORT port)
{
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "port %u: antenna paths 0x%02X", static_cast<unsigned>(port->PortNumber),
             static_cast<unsigned>(adapter->AntennaPath & 0xFF));
}

void VhtInitCapIE(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN clear)
{
    VHT_PORT_RECORD& vht = port->Rlm.Vht;
    if (clear) {
        vht.OwnCap = VHT_CAP_IE{};
        vht.AdvertisedCap = VHT_CAP_IE{};
    }
    const UCHAR w = cnmGetMaxBwByBand(adapter, port, RLM_BAND_5G);
    const ULONG g = adapter->RegistryBlock.Config_11AC;
    const UCHAR ldpcDisable = port->Cfg.DisableTxRxLdpc;

    ULONG cap = vht.OwnCap.VhtCapInfo & kExtNssBwMask;
    cap |= kMaxMpdu11454;
    cap |= static_cast<ULONG>(w == MAX_BW_160 ? 1 : w == MAX_BW_8080 ? 2 : 0) << kChannelWidthSetShift;
    cap |= kRxLdpc;
    if (w >= MAX_BW_80) {
        cap |= kShortGi80;
    }
    if (w >= MAX_BW_160) {
        cap |= kShortGi160;
    }
    if (g & 0x1) {
        cap |= kSuBeamformee | (3u << kBeamformeeStsShift) | (1u << kSoundingDimShift);
    }
    if (g & 0x2) {
        cap |= kMuBeamformee;
    }
    if (g & 0x4) {
        cap |= kTxStbc;
    }
    cap |= 7u << kAmpduExpShift;
    cap |= kRxAntennaConsistency | kTxAntennaConsistency;
    if (adapter->Cap.ChipRxLdpc == 1 && (g & 0x20) != 0) {
        vht.LdpcFlags = static_cast<USHORT>((vht.LdpcFlags & ~0x2u) | ((ldpcDisable & 0x4) == 0 ? 0x2u : 0u));
        cap = (vht.LdpcFlags & 0x2) != 0 ? (cap | kRxLdpc) : (cap & ~kRxLdpc);
    }
    if (adapter->Cap.ChipTxLdpc == 1 && (g & 0x10) != 0) {
        vht.LdpcFlags = static_cast<USHORT>((vht.LdpcFlags & ~0x1u) | ((ldpcDisable & 0x8) == 0 ? 0x1u : 0u));
    }
    cap = (cap & ~kRxStbcMask) | ((g & 0x8) != 0 ? (1u << kRxStbcShift) : 0u);
    // Short GI for 80 MHz is always announced (no override of it is kept).
    cap |= kShortGi80;
    vht.OwnCap.VhtCapInfo = cap;

    const UCHAR rx = ReceivePaths(adapter);
    const UCHAR tx = TransmitPaths(adapter);
    vht.OwnCap.RxMcsMap = McsMapOfPaths(rx);
    vht.OwnCap.RxHighestRate = HighestRateOfPaths(vht.OwnCap.RxHighestRate, rx);
    vht.OwnCap.TxMcsMap = McsMapOfPaths(tx);
    vht.OwnCap.TxHighestRate = HighestRateOfPaths(vht.OwnCap.TxHighestRate, tx);

    vht.AdvertisedCap.VhtCapInfo = kAdvertisedCapInfo | (vht.AdvertisedCap.VhtCapInfo & kExtNssBwMask);
    vht.AdvertisedCap.RxMcsMap = McsMapOfPaths(rx);
    vht.AdvertisedCap.RxHighestRate = HighestRateOfPaths(vht.AdvertisedCap.RxHighestRate, rx);
    vht.AdvertisedCap.TxMcsMap = McsMapOfPaths(tx);
    vht.AdvertisedCap.TxHighestRate = HighestRateOfPaths(vht.AdvertisedCap.TxHighestRate, tx);
}

void VhtInitOpIE(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN clear)
{
    VHT_PORT_RECORD& vht = port->Rlm.Vht;
    if (clear) {
        vht.OwnOp = VHT_OP_IE{};
        vht.AdvertisedOp = VHT_OP_IE{};
    }
    const UCHAR m = adapter->HalInfo.MaxBandwidth;
    const USHORT basic = McsMapOfPaths(ReceivePaths(adapter));
    vht.OwnOp.ChannelWidth = m == MAX_BW_80 ? CW_80 : m >= MAX_BW_160 ? CW_160 : CW_20_40;
    vht.OwnOp.CentreSeg0 = 0;
    vht.OwnOp.CentreSeg1 = 0;
    vht.OwnOp.BasicMcsSet = basic;
    vht.AdvertisedOp.ChannelWidth = CW_20_40;
    vht.AdvertisedOp.CentreSeg0 = 0;
    vht.AdvertisedOp.CentreSeg1 = 0;
    vht.AdvertisedOp.BasicMcsSet = basic;
}

void VhtInitExtBssLoadIE(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    for (UCHAR& b : port->Rlm.Vht.ExtBssLoad) {
        b = 0;
    }
}

// ================================================================================================
// the station link's check
// ================================================================================================
BOOLEAN KOVACheckVht(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const VHT_CAP_IE* peerCap,
                     const VHT_OP_IE* peerOp)
{
    if (adapter == nullptr || port == nullptr || wlanIndex >= RLM_WLAN_INDEX_LIMIT || port->Cfg.VhtEnabled == 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "VHT check refused: WLAN index %u, port %p",
                 static_cast<unsigned>(wlanIndex), static_cast<void*>(port));
        return FALSE;
    }
    NEGOTIATED_LINK_CAPS& link = adapter->Rlm.Link;
    const VHT_PORT_RECORD& own = port->Rlm.Vht;
    const UCHAR m = adapter->HalInfo.MaxBandwidth;
    const UCHAR htSegment2 = static_cast<UCHAR>((link.HtOpInfo23 >> 5) & 0xFF);
    link.VhtInUse = 1;

    if (peerCap != nullptr) {
        VHT_CAP_IE cap = own.OwnCap;
        cap.TxMcsMap = MaskUnsupported(own.OwnCap.TxMcsMap, peerCap->TxMcsMap);
        cap.RxMcsMap = MaskUnsupported(own.OwnCap.RxMcsMap, peerCap->RxMcsMap);
        ULONG info = (own.OwnCap.VhtCapInfo & ~kExtNssBwMask) | (peerCap->VhtCapInfo & kExtNssBwMask);
        info &= ~kRxStbcMask;
        if ((own.OwnCap.VhtCapInfo & kTxStbc) != 0 && (peerCap->VhtCapInfo & (1u << kRxStbcShift)) != 0) {
            info |= 1u << kRxStbcShift;
        }
        info &= ~kRxLdpc;
        if ((own.LdpcFlags & 0x2) != 0 && (peerCap->VhtCapInfo & kRxLdpc) != 0) {
            info |= kRxLdpc;
        }
        cap.VhtCapInfo = info;
        link.VhtCap = cap;
        const BOOLEAN ldpc = static_cast<BOOLEAN>((own.OwnCap.VhtCapInfo & kRxLdpc) != 0 &&
                                                  (peerCap->VhtCapInfo & kRxLdpc) != 0);
        link.HtCapInfo = static_cast<USHORT>((link.HtCapInfo & ~0x1u) | (ldpc ? 1u : 0u));
    }

    if (peerOp != nullptr) {
        VHT_OP_IE op = *peerOp;
        const UCHAR ownWidth = own.OwnOp.ChannelWidth;
        if (peerOp->ChannelWidth == CW_8080 && ownWidth == CW_160) {
            op.ChannelWidth = CW_80;
        } else {
            op.ChannelWidth = peerOp->ChannelWidth < ownWidth ? peerOp->ChannelWidth : ownWidth;
        }
        link.VhtOp = op;
        link.LinkChannel.ChannelWidth = op.ChannelWidth;
        link.LinkChannel.Centre1 = op.CentreSeg0;
        link.LinkChannel.Centre2 = op.CentreSeg1;
        VhtUpdate160CentralChannel(&link.LinkChannel.Centre1, &link.LinkChannel.Centre2, htSegment2,
                                   &link.LinkChannel.ChannelWidth);
    }

    if (link.VhtOp.ChannelWidth == CW_80) {
        const ULONG peerWidthSet = peerCap != nullptr ? (peerCap->VhtCapInfo >> kChannelWidthSetShift) & 3 : 0;
        const ULONG ownWidthSet = (link.VhtCap.VhtCapInfo >> kChannelWidthSetShift) & 3;
        if (IsWifiDirectPort(port) && m > MAX_BW_80 && peerCap != nullptr && ownWidthSet == 1 && peerWidthSet == 1) {
            link.VhtOp.ChannelWidth = CW_160;
            if (link.VhtOp.CentreSeg1 != 0) {
                link.VhtOp.CentreSeg0 = link.VhtOp.CentreSeg1;
            }
            link.VhtOp.CentreSeg1 = 0;
        } else if (m > MAX_BW_80 && peerCap != nullptr && peerOp != nullptr && peerWidthSet == 0 &&
                   peerOp->CentreSeg1 == 0 && (peerCap->VhtCapInfo & kExtNssBwMask) != 0 && htSegment2 != 0) {
            link.VhtOp.CentreSeg1 = htSegment2;
        }
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "VHT in use: width %u, link channel %u/%u/%u",
             static_cast<unsigned>(link.VhtOp.ChannelWidth), static_cast<unsigned>(link.LinkChannel.ChannelWidth),
             static_cast<unsigned>(link.LinkChannel.Centre1), static_cast<unsigned>(link.LinkChannel.Centre2));
    return TRUE;
}

// ================================================================================================
// channel-width routines
// ================================================================================================
void Vht5GBwDecisionByChannel(PMP_ADAPTER adapter, UCHAR primary, UCHAR centre, PUCHAR bandwidth)
{
    UNREFERENCED_PARAMETER(adapter);
    if (bandwidth == nullptr || primary < 15) {
        return;
    }
    for (const VHT_CHANNEL_ROW& row : Vht5GChannelTable) {
        if (row.Primary == primary && row.Centre == centre) {
            *bandwidth = row.Bandwidth;
            return;
        }
    }
}

void Vht5GCentralChannelDecision(PMP_ADAPTER adapter, UCHAR primary, UCHAR bandwidth, PUCHAR centre)
{
    UNREFERENCED_PARAMETER(adapter);
    if (centre == nullptr) {
        return;
    }
    *centre = 0;
    if (primary < 15) {
        return;
    }
    for (const VHT_CHANNEL_ROW& row : Vht5GChannelTable) {
        if (row.Primary == primary && row.Bandwidth == bandwidth) {
            *centre = row.Centre;
            return;
        }
    }
}

void VhtUpdate160CentralChannel(PUCHAR centre1, PUCHAR centre2, UCHAR htSegment2, PUCHAR channelWidth)
{
    UCHAR a = *centre1;
    UCHAR b = *centre2 != 0 ? *centre2 : htSegment2;
    if (a == 0 || b == 0) {
        a = 0;
        b = 0;
    }
    const int difference = static_cast<int>(a) - static_cast<int>(b);
    if (difference == 8 || difference == -8) {
        *centre1 = RlmContains(k160Centres, a) ? a : b;
        *centre2 = 0;
        *channelWidth = CW_160;
    }
}

void VhtGetCommonMcsMap(PUSHORT out, USHORT mapA, USHORT mapB)
{
    USHORT map = 0;
    for (ULONG s = 0; s < 8; ++s) {
        const ULONG shift = 2 * s;
        const ULONG a = (mapA >> shift) & 3;
        const ULONG b = (mapB >> shift) & 3;
        const ULONG v = (a == 3 || b == 3) ? 3 : (a < b ? a : b);
        map = static_cast<USHORT>(map | (v << shift));
    }
    *out = map;
}

ULONG GetVhtRateTableIdx(PMP_ADAPTER adapter, ULONG bandwidth, ULONG streams, ULONG shortGi, ULONG mcs)
{
    UNREFERENCED_PARAMETER(adapter);
    const ULONG64 index = static_cast<ULONG64>(mcs) + 10ull * streams + 40ull * bandwidth + 160ull * shortGi;
    return index >= 320 ? 0 : static_cast<ULONG>(index);
}
