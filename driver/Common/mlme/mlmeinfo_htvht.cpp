// The HT and VHT settings of a port's HT-capable PHY mode: its own HT Capabilities and HT Operation
// bodies, the Extended Capabilities bits they imply, the MCS set, bandwidth and centre channels, and
// the transmit configuration and PHY-configuration words.
#include "Common/mlme/mlmeinfo.h"

#include <cstring>

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeassoc_types.h"
#include "Common/mlme/mlmeinfo_rate.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/rlm_vht.h"
#include "hal/common/phy_cfg.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/trace.h"

namespace {

// HT Capability Information (body bytes 0-1).
constexpr USHORT kCapLdpc = 0x0001;
constexpr USHORT kCapWidth40 = 0x0002;
constexpr USHORT kCapSmpsMask = 0x000C;
constexpr USHORT kCapGreenfield = 0x0010;
constexpr USHORT kCapSgi20 = 0x0020;
constexpr USHORT kCapSgi40 = 0x0040;
constexpr USHORT kCapTxStbc = 0x0080;
constexpr USHORT kCapRxStbcMask = 0x0300;
constexpr USHORT kCapRxStbcOne = 0x0100;
constexpr USHORT kCapAmsdu = 0x0800;
// Body offsets.
constexpr ULONG kCapAmpdu = 2;
constexpr ULONG kCapMcs = 3;
constexpr ULONG kCapExt = 19;
constexpr ULONG kOpPrimary = 0;
constexpr ULONG kOpInfo = 1;  // bits 0-1 secondary channel offset, bit 2 STA channel width
constexpr UCHAR kOpOffsetMask = 0x03;
constexpr UCHAR kOpStaWidth = 0x04;
// HT Extended Capabilities.
constexpr USHORT kExtMcsFeedbackMask = 0x0300;
constexpr USHORT kExtMcsFeedbackBoth = 0x0200;
constexpr USHORT kExtHtc = 0x0400;
constexpr USHORT kExtRdResponder = 0x0800;

// The port's HT flags word (same places as the capability information but bit 0 for 40 MHz and the
// two LDPC directions in bits 13 and 14).
constexpr USHORT kFlagWidth40 = 0x0001;
constexpr USHORT kFlagLdpcTx = 0x2000;
constexpr USHORT kFlagLdpcRx = 0x4000;

// The port's HT transmit configuration word.
constexpr ULONG kTxMcsShift = 4;
constexpr ULONG kTxMcsMask = 0x7Fu << kTxMcsShift;
constexpr ULONG kTxBwShift = 11;
constexpr ULONG kTxBwMask = 0x7u << kTxBwShift;
constexpr ULONG kTxSgi = 1u << 14;
constexpr ULONG kTxStbc = 1u << 15;
constexpr ULONG kTxHtModeShift = 18;
constexpr ULONG kTxHtModeMask = 0x7u << kTxHtModeShift;
constexpr ULONG kTxExtShift = 21;
constexpr ULONG kTxExtMask = 0x7u << kTxExtShift;

constexpr UCHAR kExtChannelBelow = 3;

// The EDCA parameters of the access point's own BSS (BE, BK, VI, VO).
constexpr UCHAR kApAifsn[4] = {3, 7, 1, 1};
constexpr UCHAR kApCwMin[4] = {4, 4, 3, 2};
constexpr UCHAR kApCwMax[4] = {6, 10, 4, 3};
constexpr USHORT kApTxop[4] = {0, 0, 94, 47};

// HT transmit mode -> PHY-configuration mode.
constexpr UCHAR kPhyCfgMode[5] = {2, 3, 0, 1, 4};

bool VhtMode(ULONG mode) { return mode >= PHY_11VHT && mode <= PHY_11BE; }

void SetBit16(PUCHAR body, USHORT bits, bool on)
{
    USHORT v = static_cast<USHORT>(body[0] | (body[1] << 8));
    v = on ? static_cast<USHORT>(v | bits) : static_cast<USHORT>(v & ~bits);
    body[0] = static_cast<UCHAR>(v);
    body[1] = static_cast<UCHAR>(v >> 8);
}

void SetFlag(USHORT& word, USHORT bits, bool on) { word = on ? static_cast<USHORT>(word | bits) : static_cast<USHORT>(word & ~bits); }

void SetExtCapBit(PUCHAR ext, ULONG bit, bool on)
{
    const UCHAR mask = static_cast<UCHAR>(1u << (bit % 8));
    ext[bit / 8] = on ? static_cast<UCHAR>(ext[bit / 8] | mask) : static_cast<UCHAR>(ext[bit / 8] & ~mask);
}

// A stream count from the chip's path word, else the adapter's (nibble 0 receive, 1 transmit).
UCHAR StreamCount(PMP_ADAPTER adapter, ULONG nibble)
{
    const ULONG chip = (adapter->Cap.HwAntennaPath >> (4 * nibble)) & 0xF;
    if (chip >= 1 && chip <= 3) {
        return static_cast<UCHAR>(chip);
    }
    const ULONG own = (adapter->AntennaPath >> (4 * nibble)) & 0xF;
    return static_cast<UCHAR>(own == 2 || own == 3 ? own : 1);
}

// The MCS set the port transmits with: one MCS when the fixed MCS lies within the streams, else
// every MCS of the streams (none but MCS 32 for a fixed MCS 32).
void FillMcsSet(PORT_RATE_BLOCK& r, const PHY_SETTINGS_REQUEST& request, UCHAR txStreams)
{
    const bool vht = VhtMode(request.PhyMode);
    const UCHAR mcs = request.Mcs;
    std::memset(r.McsSet, 0, sizeof(r.McsSet));
    r.Mcs32 = 1;
    const UCHAR htLimit = static_cast<UCHAR>(8 * txStreams);
    if ((!vht && mcs < htLimit) || (vht && mcs < 10)) {
        r.McsSet[mcs / 8] = static_cast<UCHAR>(1u << (mcs % 8));
        return;
    }
    if (mcs == 32) {
        return;
    }
    for (UCHAR i = 0; i < txStreams && i < RATE_HT_MCS_BYTES; ++i) {
        r.McsSet[i] = 0xFF;
    }
}

void LoadApEdcaDefaults(PMP_ADAPTER adapter, PMP_PORT port)
{
    port->Cfg.WmmCapable = 1;
    if (port->Mlme.Edca.Valid != 0) {
        return;
    }
    EDCA_PARM edca = {};
    edca.Valid = 1;
    std::memcpy(edca.Aifsn, kApAifsn, sizeof(edca.Aifsn));
    std::memcpy(edca.CwMin, kApCwMin, sizeof(edca.CwMin));
    std::memcpy(edca.CwMax, kApCwMax, sizeof(edca.CwMax));
    std::memcpy(edca.TxopLimit, kApTxop, sizeof(edca.TxopLimit));
    (void)AsicSetEdcaParm(adapter, port, &edca, 1);
}

// The port's transmit PHY-configuration word, and the access point's entry of a station port.
void WritePortPhyCfg(PMP_ADAPTER adapter, PMP_PORT port, const PHY_SETTINGS_REQUEST& request, UCHAR bandwidth)
{
    const bool vht = VhtMode(request.PhyMode);
    PHY_CFG& cfg = port->Cfg.PhyCfg;
    WRITE_PHY_CFG_STBC(adapter, &cfg, request.Stbc);
    WRITE_PHY_CFG_SHORT_GI(adapter, &cfg, request.ShortGi);
    WRITE_PHY_CFG_MCS(adapter, &cfg, vht ? (request.Mcs & 0xF) : request.Mcs);
    const ULONG streams = vht ? ((request.Mcs >> 4) != 0 ? (request.Mcs >> 4) - 1u : 0u) : request.Mcs / 8u;
    WRITE_PHY_CFG_NSS(adapter, &cfg, streams);
    if (request.HtMode < sizeof(kPhyCfgMode)) {
        WRITE_PHY_CFG_MODE(adapter, &cfg, kPhyCfgMode[request.HtMode]);
    }
    WRITE_PHY_CFG_BW(adapter, &cfg, bandwidth);
    if (port->OpMode != 0) {
        return;
    }
    PMAC_TABLE_ENTRY ap = MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_PEER);
    if (ap == nullptr) {
        return;
    }
    PHY_CFG& entry = ap->PhyCfgData;
    WRITE_PHY_CFG_STBC(adapter, &entry, READ_PHY_CFG_STBC(adapter, &cfg));
    WRITE_PHY_CFG_SHORT_GI(adapter, &entry, READ_PHY_CFG_SHORT_GI(adapter, &cfg));
    WRITE_PHY_CFG_MCS(adapter, &entry, READ_PHY_CFG_MCS(adapter, &cfg));
    WRITE_PHY_CFG_MODE(adapter, &entry, READ_PHY_CFG_MODE(adapter, &cfg));
    WRITE_PHY_CFG_BW(adapter, &entry, READ_PHY_CFG_BW(adapter, &cfg));
    WRITE_PHY_CFG_NSS(adapter, &entry, READ_PHY_CFG_NSS(adapter, &cfg));
}

}  // namespace

VOID MlmeInfoSetHtVht(PMP_ADAPTER adapter, PMP_PORT port, const PHY_SETTINGS_REQUEST* request)
{
    if (adapter == nullptr || port == nullptr || request == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "%s: no adapter, port or request", __func__);
        return;
    }
    PHY_SETTINGS_REQUEST r = *request;
    PORT_RATE_BLOCK& rate = port->Rate;
    const PORT_CFG& cfg = port->Cfg;
    const ULONG ba = cfg.BaCapability;
    const bool vht = VhtMode(r.PhyMode);
    PUCHAR cap = rate.HtCapBody;
    PUCHAR op = rate.HtOpBody;
    PUCHAR ext = port->Rlm.ExtCapabilities;

    // 1. Bandwidth limits.
    if ((cfg.FixAPBW20 != 0 && adapter->OpMode == 1) || port->OpModeCode == 8) {
        r.Bandwidth = BW_20;
    }
    // 2. The element bodies start empty; the Extended Capabilities bits this mode decides.
    std::memset(rate.HtCapBody, 0, sizeof(rate.HtCapBody));
    std::memset(rate.HtOpBody, 0, sizeof(rate.HtOpBody));
    rate.HtBodyFlag = 0;
    SetExtCapBit(ext, 0, ((ba >> 27) & 1) != 0);
    SetExtCapBit(ext, 62, cfg.VhtEnabled != 0);
    SetExtCapBit(ext, 31, port->ConnectConfig.Hs20IePresent != 0);
    SetExtCapBit(ext, 2, cfg.P2pMcc.P2pEcsaEnable == 1 && port->OpMode != 0);
    // 3. HT Extended Capabilities (MCS feedback at the end).
    SetBit16(cap + kCapExt, kExtHtc, true);
    SetBit16(cap + kCapExt, kExtRdResponder, adapter->RegistryBlock.RDG != 0);
    // 4. A-MPDU parameters: the largest length, the configured start spacing.
    const UCHAR ampdu = static_cast<UCHAR>(3u | (((ba >> 19) & 0x7) << 2));
    cap[kCapAmpdu] = ampdu;
    rate.AmpduParams = ampdu;
    // 5. The mode's HT and VHT.
    rate.HtEnable = static_cast<UCHAR>(r.PhyMode >= PHY_11ABGN_MIXED && r.PhyMode <= PHY_11BE ? 1 : 0);
    rate.VhtEnable = static_cast<UCHAR>(vht ? 1 : 0);
    // 6. SM power save and the A-MSDU length.
    const USHORT smps = static_cast<USHORT>(((ba >> 24) & 0x3) << 2);
    const bool amsdu = ((ba >> 23) & 1) != 0;
    SetBit16(cap, kCapSmpsMask, false);
    SetBit16(cap, smps, true);
    SetBit16(cap, kCapAmsdu, amsdu);
    rate.HtSetting = static_cast<USHORT>((rate.HtSetting & ~kCapSmpsMask) | smps);
    SetFlag(rate.HtSetting, kCapAmsdu, amsdu);
    // 7. LDPC in each direction the chip supports, unless the registry turns it off.
    if (adapter->Cap.ChipRxLdpc != 0) {
        const bool rx = (cfg.DisableTxRxLdpc & 0x1) == 0;
        SetFlag(rate.HtSetting, kFlagLdpcRx, rx);
        SetBit16(cap, kCapLdpc, rx);
    }
    if (adapter->Cap.ChipTxLdpc != 0) {
        SetFlag(rate.HtSetting, kFlagLdpcTx, (cfg.DisableTxRxLdpc & 0x2) == 0);
    }
    // 8. Greenfield.
    const bool greenfield = r.HtMode >= 3;
    SetBit16(cap, kCapGreenfield, greenfield);
    SetFlag(rate.HtSetting, kCapGreenfield, greenfield);
    // 9. Ad hoc without 40 MHz.
    if (adapter->WorkingCfg.NetworkType == 2 && port->OpMode == 0 &&
        (adapter->WorkingCfg.LinkSpeedStatus == 1 || adapter->WorkingCfg.AdhocN40MHzAllowed == 0)) {
        r.Bandwidth = BW_20;
        r.ShortGi = 0;
        SetBit16(cap, kCapGreenfield, false);
        SetFlag(rate.HtSetting, kCapGreenfield, false);
    }
    // 10, 11. MCS 32, the transmit MCS set and the receive MCS bitmask of the element.
    const UCHAR txStreams = StreamCount(adapter, 1);
    const UCHAR rxStreams = StreamCount(adapter, 0);
    FillMcsSet(rate, r, txStreams);
    cap[kCapMcs] = 0xFF;
    cap[kCapMcs + 1] = static_cast<UCHAR>(rxStreams >= 2 ? 0xFF : 0);
    cap[kCapMcs + 2] = static_cast<UCHAR>(rxStreams >= 3 ? 0xFF : 0);
    // 12. Bandwidth and centre channels.
    const UCHAR primary = port->Channel.PrimaryChannel;
    const UCHAR offset = static_cast<UCHAR>(r.ExtChannel == kExtChannelBelow ? 3 : 1);
    if (r.Bandwidth >= BW_40 && r.Bandwidth <= BW_160) {
        port->Channel.Bandwidth = r.Bandwidth;
        DecideMaxTxRxProcessNumber(port);
        SetBit16(cap, kCapWidth40, true);
        op[kOpInfo] = static_cast<UCHAR>((op[kOpInfo] & ~kOpOffsetMask) | offset | kOpStaWidth);
        SetFlag(rate.HtSetting, kFlagWidth40, true);
    }
    if (r.Bandwidth == BW_160 || r.Bandwidth == BW_80) {
        if (primary < 15 || !vht) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "port %u: %s MHz on channel %u in mode %u",
                     static_cast<unsigned>(port->PortNumber), r.Bandwidth == BW_160 ? "160" : "80",
                     static_cast<unsigned>(primary), static_cast<unsigned>(r.PhyMode));
        }
        rate.VhtChannelWidth = static_cast<UCHAR>(r.Bandwidth == BW_160 ? 2 : 1);
        Vht5GCentralChannelDecision(adapter, primary, BW_80, &rate.VhtCentre80);
        if (r.Bandwidth == BW_160) {
            Vht5GCentralChannelDecision(adapter, primary, BW_160, &rate.VhtCentre160);
        }
        const UCHAR centre = r.Bandwidth == BW_160 ? rate.VhtCentre160 : rate.VhtCentre80;
        if (centre != 0) {
            port->Channel.CentreChannel = centre;
        }
        if (r.Bandwidth == BW_80) {
            UCHAR location = 0;
            GetPrimaryChannelLocation(nullptr, primary, BW_80, port->Channel.CentreChannel, &location);
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "port %u: 80 MHz centre %u, primary at %u",
                     static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(port->Channel.CentreChannel),
                     static_cast<unsigned>(location));
        }
    } else if (r.Bandwidth == BW_40) {
        if (vht) {
            if (primary >= 1 && primary <= 14) {
                if (r.ExtChannel == kExtChannelBelow) {
                    port->Channel.CentreChannel = static_cast<UCHAR>(primary == 14 ? 13 : primary - 2);
                } else {
                    port->Channel.CentreChannel = static_cast<UCHAR>(primary + 2);
                }
            } else if (primary > 14) {
                Vht5GCentralChannelDecision(adapter, primary, BW_40, &port->Channel.CentreChannel);
            }
        }
    } else {
        op[kOpInfo] = static_cast<UCHAR>(op[kOpInfo] & ~(kOpOffsetMask | kOpStaWidth));
        SetBit16(cap, kCapWidth40, false);
        SetFlag(rate.HtSetting, kFlagWidth40, false);
        if (vht) {
            rate.VhtChannelWidth = 0;
        }
        if (port->OpMode == PORT_OP_MODE_AP || (port->ConnectionFlags & 0x2u) != 0) {
            port->Channel.Bandwidth = BW_20;
            DecideMaxTxRxProcessNumber(port);
        }
        if ((port->ConnectionFlags & 0x1u) == 0) {
            port->Channel.CentreChannel = primary;
        }
    }
    // 13. STBC.
    const bool txStbc = r.Stbc == 1 && ((adapter->AntennaPath >> 4) & 0xF) >= 2;
    const bool rxStbc = r.Stbc == 1 && (adapter->AntennaPath & 0xF) != 0 && (rate.HtCompatFlags & 0x20) == 0;
    SetBit16(cap, kCapTxStbc, txStbc);
    SetFlag(rate.HtSetting, kCapTxStbc, txStbc);
    SetBit16(cap, kCapRxStbcMask, false);
    SetBit16(cap, kCapRxStbcOne, rxStbc);
    rate.HtSetting = static_cast<USHORT>((rate.HtSetting & ~kCapRxStbcMask) | (rxStbc ? kCapRxStbcOne : 0));
    // 14. Short guard interval for 20 and 40 MHz.
    const bool sgi = r.ShortGi == 1;
    SetBit16(cap, kCapSgi20 | kCapSgi40, sgi);
    SetFlag(rate.HtSetting, kCapSgi20 | kCapSgi40, sgi);
    // 15. The operation's primary channel; MCS feedback of the extended capabilities.
    op[kOpPrimary] = primary;
    SetBit16(cap + kCapExt, kExtMcsFeedbackMask, false);
    SetBit16(cap + kCapExt, kExtMcsFeedbackBoth, true);
    // 16. The request back into the transmit configuration word (the bandwidth as asked for).
    ULONG& tx = port->Cfg.TransmitSetting;
    tx &= ~(kTxMcsMask | kTxBwMask | kTxSgi | kTxStbc | kTxHtModeMask | kTxExtMask);
    tx |= (static_cast<ULONG>(r.Mcs) << kTxMcsShift) & kTxMcsMask;
    tx |= (static_cast<ULONG>(request->Bandwidth) << kTxBwShift) & kTxBwMask;
    tx |= r.ShortGi != 0 ? kTxSgi : 0;
    tx |= r.Stbc != 0 ? kTxStbc : 0;
    tx |= (static_cast<ULONG>(r.HtMode) << kTxHtModeShift) & kTxHtModeMask;
    tx |= (static_cast<ULONG>(r.ExtChannel) << kTxExtShift) & kTxExtMask;
    // 17. The access point's own EDCA parameters.
    if (port->OpMode == PORT_OP_MODE_AP) {
        LoadApEdcaDefaults(adapter, port);
    }
    // 18, 19. Transmit rates and PHY-configuration words.
    MlmeUpdateHtVhtTxRates(adapter, port, 0xFF);
    WritePortPhyCfg(adapter, port, r, r.Bandwidth);
}
