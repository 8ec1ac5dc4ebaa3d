// Transmit rate selection.
#include "Common/mlme/mlmeinfo_rate.h"

#include "Common/mlme/mlmesync_chnl.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "hal/common/hal_chip.h"
#include "hal/common/phy_cfg.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kLegacyCodes[12] = {2, 4, 11, 22, 12, 18, 24, 36, 48, 72, 96, 108};
constexpr ULONG kModeCck = 0;
constexpr ULONG kModeOfdm = 1;
constexpr ULONG kModeHtMixed = 2;
constexpr ULONG kModeHtGreenfield = 3;
constexpr ULONG kModeVht = 4;
constexpr ULONG kModeHe = 5;
constexpr ULONG kNetworkAdhoc = 2;
constexpr UCHAR kPortSubtypeStation = 0;
constexpr UCHAR kNotSupported = 3;

// The word of a legacy index: CCK below 4, OFDM from 4.
void SetLegacy(PMP_ADAPTER adapter, PHY_CFG* word, LONG index)
{
    if (index <= RATE_INDEX_CCK_LAST) {
        WRITE_PHY_CFG_MODE(adapter, word, kModeCck);
        WRITE_PHY_CFG_MCS(adapter, word, static_cast<ULONG>(index));
    } else {
        WRITE_PHY_CFG_MODE(adapter, word, kModeOfdm);
        WRITE_PHY_CFG_MCS(adapter, word, static_cast<ULONG>(index - RATE_INDEX_OFDM_FIRST));
    }
}

BOOLEAN ModeFloorIsCck(ULONG mode) { return static_cast<BOOLEAN>(mode == 0 || mode == 1 || mode == 9); }
BOOLEAN ModeFloorIsOfdm(ULONG mode)
{
    return static_cast<BOOLEAN>(mode == 2 || mode == 4 || mode == 6 || mode == 7 || mode == 8 || mode == 10 || mode == 12);
}

BOOLEAN HasLink(PMP_ADAPTER adapter, PMP_PORT port)
{
    PMP_PORT first = adapter->PortList[0];
    return static_cast<BOOLEAN>((port->ConnectionFlags & (PORT_STATUS_INFRA_LINK_UP | PORT_STATUS_ADHOC_LINK_UP)) != 0 ||
                                (first != nullptr && (first->ConnectionFlags & PORT_STATUS_INFRA_LINK_UP) != 0));
}

BOOLEAN HasMcs(const UCHAR* set, ULONG mcs) { return static_cast<BOOLEAN>((set[mcs / 8] & (1u << (mcs % 8))) != 0); }

}  // namespace

LONG RateCodeToIndex(UCHAR code)
{
    const UCHAR c = static_cast<UCHAR>(code & 0x7F);
    for (LONG i = 0; i < 12; ++i) {
        if (kLegacyCodes[i] == c) {
            return i;
        }
    }
    return -1;
}

VOID MlmeUpdateTxRates(PMP_ADAPTER adapter, PMP_PORT port, UCHAR linkUp)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    PORT_RATE_BLOCK& r = port->Rate;
    PMAC_TABLE_ENTRY own0 = MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_OWN_BSS);
    PMAC_TABLE_ENTRY own1 = MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_PEER);
    // 2. The configured list: the carried index starts at 4.
    LONG carried = RATE_INDEX_OFDM_FIRST;
    LONG highestCfg = RATE_INDEX_OFDM_FIRST;
    ULONG recognised = 0;
    for (UCHAR code : r.CfgRates) {
        const LONG i = RateCodeToIndex(code);
        if (i >= 0) {
            carried = i;
            ++recognised;
        }
        highestCfg = carried > highestCfg ? carried : highestCfg;
    }
    // 3. Caps.
    const ULONG mode = port->WirelessMode;
    if (adapter->RegistryBlock.NetworkType == kNetworkAdhoc && mode == 0 && adapter->RegistryBlock.AdhocOfdm == 0 &&
        highestCfg >= RATE_INDEX_OFDM_FIRST && port->OpMode == kPortSubtypeStation) {
        highestCfg = RATE_INDEX_CCK_LAST;
    }
    if (port->Cfg.Ch14BOnly != 0 && port->Channel.PrimaryChannel == 14) {
        highestCfg = RATE_INDEX_CCK_LAST;
    }
    r.MaxCfgIndex = static_cast<UCHAR>(highestCfg);
    // 4.
    r.TxPhy[0] = r.TxPhy[1] = r.TxPhy[2] = 0;
    if (recognised >= 2) {
        r.Status |= RATE_STATUS_OFDM;
    } else {
        r.Status &= ~RATE_STATUS_OFDM;
    }
    r.OfdmInUse = static_cast<UCHAR>((r.Status & RATE_STATUS_OFDM) != 0 ? 1 : 0);
    // 5. The rate lists.
    const BOOLEAN link = HasLink(adapter, port);
    const UCHAR* lists[2] = {link ? adapter->ConnectRates.SupRates : r.SupRates, link ? adapter->ConnectRates.ExtRates : r.ExtRates};
    const UCHAR lengths[2] = {link ? adapter->ConnectRates.SupRatesLen : r.SupRatesLen,
                              link ? adapter->ConnectRates.ExtRatesLen : r.ExtRatesLen};
    LONG lowest = RATE_INDEX_MAX;
    LONG highest = 0;
    for (ULONG l = 0; l < 2; ++l) {
        for (ULONG k = 0; k < lengths[l] && k < RATE_LIST_MAX; ++k) {
            LONG i = RateCodeToIndex(lists[l][k]);
            i = i < 0 ? 0 : i;  // a membership selector or an unknown code counts as index 0
            lowest = i < lowest ? i : lowest;
            highest = i > highest ? i : highest;
        }
    }
    // 6-7.
    const LONG usable = highest < highestCfg ? highest : highestCfg;
    r.MaxIndex = static_cast<UCHAR>(usable);
    r.MinIndex = static_cast<UCHAR>(lowest);
    SetLegacy(adapter, &r.TxPhy[1], usable);
    SetLegacy(adapter, &r.TxPhy[2], lowest);
    r.TxPhy[0] = r.TxPhy[1];
    // 8.
    if (own1 != nullptr) {
        const ULONG entryMode = READ_PHY_CFG_MODE(adapter, &own1->PhyCfgData);
        if ((r.Status & RATE_STATUS_OFDM) == 0 && (entryMode == kModeCck || entryMode == kModeOfdm)) {
            own1->PhyCfgData = r.TxPhy[0];
        }
        if (linkUp != 0 && port->OpMode == kPortSubtypeStation) {
            const ULONG bandwidth = READ_PHY_CFG_BW(adapter, &own1->PhyCfgData);
            own1->PhyCfgData = r.TxPhy[0];
            own1->PhyCfgHighest = r.TxPhy[1];
            own1->PhyCfgLowest = r.TxPhy[2];
            WRITE_PHY_CFG_BW(adapter, &own1->PhyCfgData, bandwidth);
            WRITE_PHY_CFG_BW(adapter, &own1->PhyCfgHighest, bandwidth);
            WRITE_PHY_CFG_BW(adapter, &own1->PhyCfgLowest, bandwidth);
            return;
        }
    }
    // 9. The management rate.
    LONG mgmt = 0;
    if (ModeFloorIsCck(mode)) {
        mgmt = 0;
    } else if (ModeFloorIsOfdm(mode)) {
        mgmt = RATE_INDEX_OFDM_FIRST;
    } else {
        mgmt = (port->Channel.PrimaryChannel <= 14 && port->Channel.Band == BAND_24G) ? 0 : RATE_INDEX_OFDM_FIRST;
    }
    SetLegacy(adapter, &r.MgmtPhy, mgmt);
    r.MgmtIndex = static_cast<UCHAR>(mgmt);
    // 10.
    if (own0 != nullptr) {
        own0->PhyCfgData = r.MgmtPhy;
        WRITE_PHY_CFG_MCS(adapter, &own0->PhyCfgData, READ_PHY_CFG_MODE(adapter, &own0->PhyCfgData) == kModeOfdm ? 4 : 0);
    }
    // 11.
    r.MgmtIndexCopy = r.MgmtIndex;
}

VOID MlmeUpdateHtVhtTxRates(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    PORT_RATE_BLOCK& r = port->Rate;
    CONNECT_RATES& c = adapter->ConnectRates;
    PHY_CFG& w = r.TxPhy[1];
    // 1. The other side.
    BOOLEAN heMode = FALSE;
    USHORT otherCap;
    const UCHAR* otherMcs;
    ULONG stbc = 0;
    const BOOLEAN heChip = HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_HE_6GHZ);
    if (HasLink(adapter, port)) {
        heMode = static_cast<BOOLEAN>(port->HeEnabled == 1 && heChip && adapter->FwCap6GhzOff == 0 &&
                                      (adapter->RegistryBlock.Config_6G & 1) != 0 && adapter->Chip6GhzCapable != 0 &&
                                      c.HeFlag == 1);
        if (heMode) {
            otherCap = r.HtSetting;
            otherMcs = r.McsSet;
        } else {
            if (c.HtPresent == 0) {
                return;
            }
            otherCap = c.HtCapInfo;
            otherMcs = c.HtMcsSet;
        }
        stbc = ((r.HtSetting & 0x80) != 0 && (otherCap & 0x80) != 0) ? 1 : 0;
    } else {
        if (r.HtEnable == 0) {
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "MlmeUpdateHtVhtTxRates: HT off");
            return;
        }
        otherCap = r.HtSetting;
        otherMcs = r.McsSet;
        const BOOLEAN capable = static_cast<BOOLEAN>((r.VhtEnable == 1 && (r.VhtCap & 0x80) != 0) ||
                                                     (r.HtEnable == 1 && (r.HtSetting & 0x80) != 0));
        stbc = capable && ((adapter->AntennaPath >> 4) & 0xF) >= 2 ? 1 : 0;
    }
    // 2. STBC and mode.
    WRITE_PHY_CFG_STBC(adapter, &w, stbc);
    ULONG mode;
    if (port->HeEnabled == 1 || heMode) {
        mode = kModeHe;
    } else if (r.VhtEnable == 1) {
        mode = kModeVht;
    } else if ((r.HtSetting & 0x10) != 0 && (otherCap & 0x10) != 0) {
        mode = kModeHtGreenfield;
    } else {
        mode = kModeHtMixed;
    }
    WRITE_PHY_CFG_MODE(adapter, &w, mode);
    // 3. Bandwidth.
    if (heMode) {
        WRITE_PHY_CFG_BW(adapter, &w, port->Channel.Bandwidth);
    } else if (r.VhtEnable == 1) {
        const ULONG ownWidth = (r.VhtCap >> 2) & 0x3;
        const ULONG otherWidth = (c.VhtCap >> 2) & 0x3;
        const ULONG cw = ownWidth < otherWidth ? ownWidth : otherWidth;
        if (cw == 1 || cw == 2) {
            WRITE_PHY_CFG_BW(adapter, &w, BW_160);
        } else if (cw == 0) {
            if (HasLink(adapter, port)) {
                WRITE_PHY_CFG_BW(adapter, &w, c.VhtOpWidth != 0 ? BW_80 : ((c.Advertised.CapInfo & 0x2) != 0 ? BW_40 : BW_20));
            } else {
                WRITE_PHY_CFG_BW(adapter, &w, BW_80);
            }
        } else {
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "MlmeUpdateHtVhtTxRates: channel width field 3 leaves the bandwidth");
        }
    } else {
        WRITE_PHY_CFG_BW(adapter, &w, (r.HtEnable == 1 && (c.Advertised.CapInfo & 0x2) != 0) ? BW_40 : BW_20);
    }
    if (port->OpMode == 2 || port->OpMode == 4) {
        WRITE_PHY_CFG_BW(adapter, &w, (r.ApConfigWord >> 11) & 0x7);
    }
    // 4. Short guard interval by the bandwidth now in the word.
    ULONG sgi = 0;
    switch (READ_PHY_CFG_BW(adapter, &w)) {
    case BW_20:
        sgi = ((r.HtSetting & 0x20) != 0 && (otherCap & 0x20) != 0) ? 1 : 0;
        break;
    case BW_40:
        sgi = ((r.HtSetting & 0x40) != 0 && (otherCap & 0x40) != 0) ? 1 : 0;
        break;
    case BW_80:
        sgi = (r.VhtCap & 0x20) != 0 ? 1 : 0;
        break;
    case BW_160:
        sgi = (r.VhtCap & 0x40) != 0 ? 1 : 0;
        break;
    default:
        break;
    }
    WRITE_PHY_CFG_SHORT_GI(adapter, &w, sgi);
    // 5. MCS and streams.
    if (c.LinkVht == 1 || heMode) {
        const USHORT own = heMode ? r.HeMcsMap : r.VhtMcsMap;
        const USHORT other = heMode ? c.HeMcsMap : c.VhtMcsMap;
        ULONG cfield;
        ULONG nss;
        if (((own >> 2) & 3) != kNotSupported && ((other >> 2) & 3) != kNotSupported) {
            const ULONG a = (own >> 2) & 3, b = (other >> 2) & 3;
            cfield = a < b ? a : b;
            nss = 1;
        } else if ((own & 3) != kNotSupported && (other & 3) != kNotSupported) {
            const ULONG a = own & 3, b = other & 3;
            cfield = a < b ? a : b;
            nss = 0;
        } else {
            cfield = 3;
            nss = READ_PHY_CFG_NSS(adapter, &w);
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "MlmeUpdateHtVhtTxRates: no common stream in the MCS maps");
        }
        static constexpr ULONG kMcsVht[4] = {7, 8, 9, 0};
        static constexpr ULONG kMcsHe[4] = {7, 9, 11, 0};
        WRITE_PHY_CFG_MCS(adapter, &w, heMode ? kMcsHe[cfield] : kMcsVht[cfield]);
        WRITE_PHY_CFG_NSS(adapter, &w, nss);
    } else {
        for (LONG mcs = 23; mcs >= 0; --mcs) {
            if (HasMcs(r.McsSet, static_cast<ULONG>(mcs)) && HasMcs(otherMcs, static_cast<ULONG>(mcs))) {
                WRITE_PHY_CFG_MCS(adapter, &w, static_cast<ULONG>(mcs));
                WRITE_PHY_CFG_NSS(adapter, &w, static_cast<ULONG>(mcs / 8));
                break;
            }
        }
    }
    // 6. The lowest-rate word.
    WRITE_PHY_CFG_BW(adapter, &r.TxPhy[2], 0);
    WRITE_PHY_CFG_MCS(adapter, &r.TxPhy[2], 0);
    WRITE_PHY_CFG_STBC(adapter, &r.TxPhy[2], 0);
    WRITE_PHY_CFG_SHORT_GI(adapter, &r.TxPhy[2], 0);
    // 7. Station ports with an HT MCS set of their own.
    if (port->PortType == EXTSTA && r.McsSet[0] != 0xFF) {
        if (r.Mcs32 != 0) {
            WRITE_PHY_CFG_MCS(adapter, &w, 32);
            WRITE_PHY_CFG_MCS(adapter, &r.TxPhy[2], 32);
        }
        for (LONG mcs = 23; mcs >= 0; --mcs) {
            if (HasMcs(r.McsSet, static_cast<ULONG>(mcs)) && HasMcs(otherMcs, static_cast<ULONG>(mcs))) {
                WRITE_PHY_CFG_MCS(adapter, &w, static_cast<ULONG>(mcs));
                WRITE_PHY_CFG_MCS(adapter, &r.TxPhy[2], static_cast<ULONG>(mcs));
                break;
            }
        }
    }
    // 8.
    r.TxPhy[0] = w;
    if (c.LinkVht == 0) {
        WRITE_PHY_CFG_MODE(adapter, &r.TxPhy[0], kModeHtMixed);
    }
    // 9. The peer's entry.
    if (wlanIndex < MAC_TABLE_POOL_SIZE && (port->ConnectionFlags & PORT_STATUS_INFRA_LINK_UP) != 0) {
        PMAC_TABLE_ENTRY entry = &adapter->MacTabPool.Entries[wlanIndex];
        entry->PhyCfgData = r.TxPhy[0];
        entry->PhyCfgHighest = r.TxPhy[1];
        entry->PhyCfgLowest = r.TxPhy[2];
        if (c.LinkVht == 0 && (entry->HtFlags & 0x8000) != 0) {
            if (r.HeCapValid != 0) {
                const USHORT m = r.HeMcsMap;
                if (((m >> 4) & 3) != kNotSupported) {
                    entry->HighestStreamIndex = 2;
                } else if (((m >> 2) & 3) != kNotSupported) {
                    entry->HighestStreamIndex = 1;
                } else if ((m & 3) != kNotSupported) {
                    entry->HighestStreamIndex = 0;
                }
            } else {
                const USHORT m = r.VhtMcsMap;
                if (((m >> 2) & 3) != kNotSupported) {
                    entry->HighestStreamIndex = 1;
                } else if ((m & 3) != kNotSupported) {
                    entry->HighestStreamIndex = 0;
                }
            }
            entry->CapabilityBytes[0] = r.HeCapBytes[0];
            entry->CapabilityBytes[1] = r.HeCapBytes[1];
            entry->Bandwidth = port->Channel.Bandwidth;
        }
    }
}

BOOLEAN KOVACheckHt(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const UCHAR* htCap, const UCHAR* htOp,
                    UCHAR peerVht, const UCHAR* vhtCap)
{
    if (adapter == nullptr || port == nullptr || wlanIndex >= MAC_TABLE_POOL_SIZE || htCap == nullptr) {
        return FALSE;
    }
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "KOVACheckHt: no entry for WLAN index %u", static_cast<unsigned>(wlanIndex));
        return FALSE;
    }
    PORT_RATE_BLOCK& r = port->Rate;
    HT_ADVERTISED& adv = adapter->ConnectRates.Advertised;
    // The HT Capabilities body: capability information (2), A-MPDU parameters (1), MCS set (16),
    // extended capabilities (2), beamforming (4), ASEL (1).
    const USHORT peerInfo = static_cast<USHORT>(htCap[0] | (htCap[1] << 8));
    const UCHAR peerAmpdu = htCap[2];
    const USHORT peerExt = static_cast<USHORT>(htCap[19] | (htCap[20] << 8));
    // 2. Entry flags.
    ULONG flags = entry->HtFlags;
    if ((r.HtSetting & 0x400) != 0) {
        flags |= 0x8;
    }
    flags |= (peerInfo & 0x20) != 0 ? 0x10 : 0;
    flags |= (peerInfo & 0x40) != 0 ? 0x20 : 0;
    flags |= (peerInfo & 0x80) != 0 ? 0x100 : 0;
    flags |= (peerInfo & 0x300) != 0 ? 0x200 : 0;
    if (r.ExtCapFlag != 0 && (peerExt & 0x800) != 0) {
        flags |= 0x1000;
    }
    entry->HtFlags = flags;
    // 3. Minimum MPDU start spacing.
    const UCHAR spacing = static_cast<UCHAR>((peerAmpdu >> 2) & 0x7);
    entry->MinMpduStartSpacing = spacing >= 5 ? spacing : 5;
    // 4. The A-MPDU limit (the block-ack buffer size).
    if ((port->OpMode == 0 && MlmeSyncGetRoleTypeByWlanIdx(port, wlanIndex) == MAC_ENTRY_KIND_PEER) || port->OpMode == 1) {
        static constexpr USHORT kLimits[4] = {8, 16, 32, 64};
        const USHORT peerLimit = kLimits[peerAmpdu & 0x3];
        entry->AmpduLimit = r.AmpduLimit != 0 && r.AmpduLimit < peerLimit ? r.AmpduLimit : peerLimit;
    }
    // 5. The advertised MCS set.
    const ULONG txPaths = adapter->AntennaPath & 0xF;
    adv.McsSet[0] = 0xFF;
    adv.McsSet[2] = 0;
    adv.Mcs32 = 1;
    if (txPaths >= 2) {
        adv.McsSet[1] = r.LimitSecondStream != 0 ? 0x3F : 0xFF;
        if (r.LimitSecondStream == 0 && r.StreamSetting == 3) {
            adv.McsSet[2] = 0xFF;
        }
    } else {
        adv.McsSet[1] = 0;
    }
    if ((r.RateConfig & RATE_CFG_FIXED_MCS) != 0) {
        adv.McsSet[0] = r.FixedMcs[0];
        if (txPaths >= 2) {
            adv.McsSet[1] = r.FixedMcs[1];
        }
        if (txPaths >= 3) {
            adv.McsSet[2] = r.FixedMcs[2];
        }
    }
    if ((r.RateConfig & RATE_CFG_NO_MCS32) != 0) {
        adv.Mcs32 = 0;
    }
    USHORT info = 0;
    // 6. LDPC.
    if (adapter->Cap.ChipTxLdpc == 1 && (r.HtSetting & 0x2000) != 0) {
        info |= 0x1;
    }
    // 7. 40 MHz.
    BOOLEAN forty = static_cast<BOOLEAN>(htOp != nullptr && (htOp[1] & 0x04) != 0 && (r.HtSetting & 0x1) != 0);
    if (forty && port->WirelessMode >= 5 && port->WirelessMode <= 14) {
        const UCHAR bit = static_cast<UCHAR>(port->Channel.PrimaryChannel > 14 ? 0x2 : 0x1);
        forty = static_cast<BOOLEAN>((adapter->ConnectRates.Bw40Switch & bit) != 0);
    }
    if (forty && port->Channel.Band == BAND_24G &&
        !KOVACheck40MhzChannels(adapter, port->Channel.CentreChannel, port->Channel.PrimaryChannel)) {
        forty = FALSE;
        r.HtSetting = static_cast<USHORT>(r.HtSetting & ~0x3);
        port->Channel.CentreChannel = port->Channel.PrimaryChannel;
    }
    if (forty) {
        info |= 0x2;
    }
    // 8. The other advertised fields.
    info |= static_cast<USHORT>(peerInfo & r.HtSetting & 0x30);
    if ((peerInfo & r.HtSetting & 0x40) != 0 && r.LimitSecondStream == 0) {
        info |= 0x40;
    }
    info |= static_cast<USHORT>(r.HtSetting & 0x080C);
    if ((peerInfo & 0x100) != 0 && (r.HtSetting & 0x80) != 0) {
        info |= 0x80;
    }
    if ((peerInfo & 0x80) != 0 && (r.HtSetting & 0x100) != 0) {
        info |= 0x100;
    }
    adv.CapInfo = info;
    adv.AmpduParams = static_cast<UCHAR>(r.AmpduParams & 0x1F);
    adv.ExtCap = static_cast<USHORT>(peerExt & 0x400);
    entry->HtExtCapability = adv.ExtCap;
    if (r.ExtCapFlag != 0) {
        adv.ExtCap = static_cast<USHORT>(adv.ExtCap | (peerExt & 0x800));
        if ((adv.ExtCap & 0x800) != 0) {
            entry->HtExtCapability = static_cast<USHORT>(entry->HtExtCapability | 0x400);
        }
    }
    adv.TxBfCap = r.TxBfCap;
    for (ULONG i = 0; i < MAC_ENTRY_TXBF_CAP_SIZE; ++i) {
        entry->TxBfCapability[i] = htCap[21 + i];
    }
    if (!forty) {
        adv.Mcs32 = 0;
    }
    // 9. VHT.
    if (r.VhtEnable == 1 && peerVht == 1 && vhtCap != nullptr) {
        entry->VhtPresent = 1;
        for (ULONG i = 0; i < MAC_ENTRY_VHT_CAP_SIZE; ++i) {
            entry->VhtCapability[i] = vhtCap[i];
        }
    }
    return TRUE;
}

VOID KOVAUpdateMlmeRate(PMP_ADAPTER adapter, UCHAR channel)
{
    PMP_PORT port = adapter != nullptr ? adapter->PortList[0] : nullptr;
    PMAC_TABLE_ENTRY own0 = port != nullptr ? MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_OWN_BSS) : nullptr;
    if (own0 == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "KOVAUpdateMlmeRate: no own entry");
        return;
    }
    const ULONG mode = port->WirelessMode;
    LONG floor;
    if (mode == 0 || mode == 1 || mode == 9 || mode >= 13) {
        floor = 0;
    } else if (mode == 3 || mode == 5 || mode == 11) {
        floor = channel <= 14 ? 0 : RATE_INDEX_OFDM_FIRST;
    } else {
        floor = RATE_INDEX_OFDM_FIRST;
    }
    LONG index = RATE_INDEX_MAX;
    const CONNECT_RATES& c = adapter->ConnectRates;
    const UCHAR* lists[2] = {c.SupRates, c.ExtRates};
    const UCHAR lengths[2] = {c.SupRatesLen, c.ExtRatesLen};
    for (ULONG l = 0; l < 2; ++l) {
        for (ULONG k = 0; k < lengths[l] && k < RATE_LIST_MAX && index != floor; ++k) {
            const LONG g = RateCodeToIndex(lists[l][k]);
            if (g >= 0 && (g < index || g == floor)) {
                index = g;
            }
        }
    }
    SetLegacy(adapter, &port->Rate.MgmtPhy, index);
    own0->PhyCfgData = port->Rate.MgmtPhy;
    WRITE_PHY_CFG_MCS(adapter, &own0->PhyCfgData, 0);
}

BOOLEAN KOVACheck40MhzChannels(PMP_ADAPTER adapter, UCHAR centre, UCHAR primary)
{
    if (centre == primary) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "KOVACheck40MhzChannels: centre is the primary channel %u",
                 static_cast<unsigned>(primary));
        return FALSE;
    }
    UCHAR other;
    if (centre < primary) {
        other = static_cast<UCHAR>(centre <= 2 ? 0 : centre - 2);
    } else {
        other = static_cast<UCHAR>(centre + 2);
    }
    return static_cast<BOOLEAN>(other != 0 && ChannelIsInChannelList(adapter, primary, 1) &&
                                ChannelIsInChannelList(adapter, other, 1));
}
