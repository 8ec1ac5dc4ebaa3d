// Link speed and link quality of a port: the 802.11 data-rate tables, the maximum link speed of the
// port's PHY mode and bandwidth, and the quality of a signal strength.
#include "Common/mlme/mlmeinfo.h"

#include <array>

#include "Common/rlm_vht.h"
#include "hal/common/hal_desc.h"
#include "hal/common/phy_cfg.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

// Bits per subcarrier and code rate (numerator, denominator) of MCS 0 to 13.
struct Modulation {
    unsigned bits;
    unsigned num;
    unsigned den;
};
constexpr Modulation kMcs[14] = {{1, 1, 2}, {2, 1, 2}, {2, 3, 4}, {4, 1, 2}, {4, 3, 4},  {6, 2, 3},  {6, 3, 4},
                                 {6, 5, 6}, {8, 3, 4}, {8, 5, 6}, {10, 3, 4}, {10, 5, 6}, {12, 3, 4}, {12, 5, 6}};
// Data subcarriers by bandwidth (20, 40, 80, 160, 320 MHz): VHT-style symbols and HE/EHT symbols.
constexpr unsigned kVhtSubcarriers[4] = {52, 108, 234, 468};
constexpr unsigned kHeSubcarriers[5] = {234, 468, 980, 1960, 3920};

// Rate in 100 kbit/s (or, with unitsPerMbit 2, in 500 kbit/s), rounded to the nearest: subcarriers x
// bits x rate x streams / symbol time, with the symbol time given in tenths of a microsecond.
constexpr USHORT Rate(unsigned subcarriers, const Modulation& m, unsigned streams, unsigned symbolTenthsUs,
                      unsigned unitsPerMbit = 10)
{
    // bits per symbol / symbol (us) = Mbit/s; x units per Mbit/s; symbol in tenths: x 10 more.
    const unsigned long long numerator = 10ull * unitsPerMbit * subcarriers * m.bits * m.num * streams;
    const unsigned long long denominator = static_cast<unsigned long long>(m.den) * symbolTenthsUs;
    return static_cast<USHORT>((2 * numerator + denominator) / (2 * denominator));
}

// The OFDM SIGNAL rate codes (6, 9, 12, 18, 24, 36, 48, 54 Mbit/s).
constexpr USHORT OfdmByCode(UCHAR code)
{
    switch (code) {
    case 0xB: return 60;
    case 0xF: return 90;
    case 0xA: return 120;
    case 0xE: return 180;
    case 0x9: return 240;
    case 0xD: return 360;
    case 0x8: return 480;
    case 0xC: return 540;
    default: return 0;
    }
}

constexpr USHORT kCckRates[4] = {10, 20, 55, 110};

// The tables of transmit-rate words, in 500 kbit/s. HT: entries 0-11 the legacy rates; from 16 four
// groups of MCS 0-15 (20 MHz long GI, 40 MHz long GI, 20 MHz short GI, 40 MHz short GI); from 80 the same
// four groups of MCS 16-31. VHT: MCS + 10 x (streams - 1) + 40 x bandwidth + 160 x short GI, with 0 where
// the standard allows no such rate.
constexpr ULONG kHtTableSize = 256;
constexpr ULONG kVhtTableSize = 320;
constexpr UCHAR kLegacy500k[12] = {2, 4, 11, 22, 12, 18, 24, 36, 48, 72, 96, 108};

constexpr std::array<USHORT, kHtTableSize> MakeHtTable()
{
    std::array<USHORT, kHtTableSize> t = {};
    for (unsigned i = 0; i < 12; ++i) {
        t[i] = kLegacy500k[i];
    }
    for (unsigned group = 0; group < 4; ++group) {
        const unsigned bw = group & 1;
        const unsigned symbol = (group >> 1) != 0 ? 36 : 40;
        for (unsigned mcs = 0; mcs < 32; ++mcs) {
            const unsigned at = mcs < 16 ? 16 + group * 16 + mcs : 64 + group * 16 + mcs;
            t[at] = Rate(kVhtSubcarriers[bw], kMcs[mcs % 8], mcs / 8 + 1, symbol, 2);
        }
    }
    return t;
}

constexpr bool VhtAllowed(unsigned mcs, unsigned bw, unsigned streams)
{
    return !((bw == 0 && mcs == 9 && streams != 3) || (bw == 2 && mcs == 6 && streams == 3) ||
             (bw == 3 && mcs == 9 && streams == 3));
}

constexpr std::array<USHORT, kVhtTableSize> MakeVhtTable()
{
    std::array<USHORT, kVhtTableSize> t = {};
    for (unsigned sgi = 0; sgi < 2; ++sgi) {
        for (unsigned bw = 0; bw < 4; ++bw) {
            for (unsigned nss = 0; nss < 4; ++nss) {
                for (unsigned mcs = 0; mcs < 10; ++mcs) {
                    t[mcs + 10 * nss + 40 * bw + 160 * sgi] =
                        VhtAllowed(mcs, bw, nss + 1) ? Rate(kVhtSubcarriers[bw], kMcs[mcs], nss + 1, sgi != 0 ? 36 : 40, 2) : 0;
                }
            }
        }
    }
    return t;
}

constexpr std::array<USHORT, kHtTableSize> kHtTable500k = MakeHtTable();
constexpr std::array<USHORT, kVhtTableSize> kVhtTable500k = MakeVhtTable();

constexpr ULONG kTxModeCck = 0;
constexpr ULONG kTxModeOfdm = 1;
constexpr ULONG kTxModeHtMixed = 2;
constexpr ULONG kTxModeHtGreenfield = 3;
constexpr ULONG kTxModeVht = 4;
constexpr ULONG kTxModeHeFirst = 8;
constexpr ULONG kTxModeHeLast = 11;
constexpr ULONG kOsBuildCapped = 22621;
constexpr ULONG kCapSpeed = 40000;  // 4 Gbit/s

}  // namespace

USHORT MlmeInfoOfdmRate(UCHAR rateCode) { return OfdmByCode(rateCode); }

USHORT MlmeInfoVhtRate(UCHAR mcs, UCHAR bandwidth, UCHAR streams, UCHAR shortGi)
{
    if (mcs > 11 || bandwidth > 3 || streams < 1 || streams > 2 || shortGi > 1) {
        return 0;
    }
    return Rate(kVhtSubcarriers[bandwidth], kMcs[mcs], streams, shortGi ? 36 : 40);
}

USHORT MlmeInfoHtRate(UCHAR mcs, UCHAR bandwidth, UCHAR shortGi)
{
    if (mcs > 15 || bandwidth > 1) {
        return 0;
    }
    // HT MCS 0-7 are rows 0-7 of the 1-stream table, MCS 8-15 rows 0-7 of the 2-stream table.
    return MlmeInfoVhtRate(static_cast<UCHAR>(mcs % 8), bandwidth, static_cast<UCHAR>(mcs / 8 + 1), shortGi);
}

USHORT MlmeInfoHeRate(UCHAR mcs, UCHAR bandwidth, UCHAR streams, UCHAR gi)
{
    if (mcs > 11 || bandwidth > 3 || streams < 1 || streams > 2 || gi > 2) {
        return 0;
    }
    constexpr unsigned kSymbol[3] = {136, 144, 160};  // 12.8 us plus 0.8, 1.6, 3.2 us
    return Rate(kHeSubcarriers[bandwidth], kMcs[mcs], streams, kSymbol[gi]);
}

USHORT MlmeInfoEhtRate(UCHAR mcs, UCHAR bandwidth, UCHAR streams, UCHAR gi)
{
    if (mcs > 13 || bandwidth > 4 || streams < 1 || streams > 2 || gi > 2) {
        return 0;
    }
    constexpr unsigned kSymbol[3] = {136, 144, 160};
    return Rate(kHeSubcarriers[bandwidth], kMcs[mcs], streams, kSymbol[gi]);
}

ULONG MlmeInfoGetMaxLinkSpeed(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return 0;
    }
    const REGISTRY_BLOCK& reg = adapter->RegistryBlock;
    const ULONG band = port->Channel.Band;
    if ((band == BAND_24G && reg.BWSelection24G != 0) || (band == BAND_5G && reg.BWSelection5G != 0) ||
        (band == BAND_6G && reg.BWSelection6G != 0)) {
        port->Channel.Bandwidth = BW_20;
    }
    UCHAR bw = 0;
    switch (port->Channel.Bandwidth) {
    case BW_20: bw = 0; break;
    case BW_40: bw = 1; break;
    case BW_80: bw = 2; break;
    case BW_160: bw = 3; break;
    case BW_320: bw = 4; break;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "maximum link speed: bandwidth code %u",
                 static_cast<unsigned>(port->Channel.Bandwidth));
        return 0;
    }
    const UCHAR streams = port->Mlme.Conn.SpatialStreams;
    auto htModes = [&]() -> ULONG {
        return bw <= 1 ? MlmeInfoHtRate(static_cast<UCHAR>(streams <= 1 ? 7 : 15), bw, 1) : 0;
    };
    ULONG speed = 0;
    switch (port->WirelessMode) {
    case 13:
        speed = MlmeInfoHeRate(11, bw, streams, 0);
        break;
    case 14:
        speed = reg.bHideWiFi7CapOS == 1 ? MlmeInfoHeRate(11, bw, streams, 0) : MlmeInfoEhtRate(13, bw, streams, 0);
        break;
    case 11:
        speed = band == BAND_24G ? htModes() : MlmeInfoVhtRate(static_cast<UCHAR>(bw == 0 ? 8 : 9), bw, streams, 1);
        break;
    case 5: case 6: case 7: case 8: case 9: case 10:
        speed = htModes();
        break;
    case 1:
        speed = kCckRates[3];
        break;
    case 0: case 2: case 3: case 4:
        speed = OfdmByCode(0xC);
        break;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "maximum link speed: PHY mode %u", static_cast<unsigned>(port->WirelessMode));
        return 0;
    }
    if (speed > kCapSpeed && adapter->OsBuildNumber <= kOsBuildCapped) {
        speed = kCapSpeed;
    }
    return speed;
}

ULONG MlmeInfoGetLinkQuality(PMP_ADAPTER adapter, CHAR signalDbm)
{
    UNREFERENCED_PARAMETER(adapter);
    const LONG x = static_cast<UCHAR>(-static_cast<LONG>(signalDbm));
    LONG quality = 0;
    if (x < 31) {
        quality = 100;
    } else if (x <= 70) {
        quality = 100 + (30 - x) * 25 / 40;
    } else {
        quality = 75 + (70 - x) * 45 / 15;
    }
    return quality < 1 ? 0 : static_cast<ULONG>(quality);
}

ULONG MlmeInfoGetLinkQualityLevel(ULONG quality) { return quality == 0 ? 0 : quality / 5 + 1; }

ULONG MlmeInfoGetRxLinkSpeed(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return 0;
    }
    RX_RATE_FIELDS f = {};
    HalDecodeRxRateReport(adapter, port, &f);
    const UCHAR mcs = static_cast<UCHAR>(f.Mcs);
    const UCHAR streams = static_cast<UCHAR>(f.Streams + 1);
    const UCHAR bw = static_cast<UCHAR>(f.Bandwidth > 0xFF ? 0xFF : f.Bandwidth);
    const UCHAR gi = static_cast<UCHAR>(f.Gi);
    switch (f.Mode) {
    case kTxModeCck:
        return (mcs & 0x7) < 4 ? kCckRates[mcs & 0x7] : 0;
    case kTxModeOfdm:
        return OfdmByCode(mcs);
    case kTxModeHtMixed:
    case kTxModeHtGreenfield:
        return MlmeInfoHtRate(mcs, bw, gi);
    case kTxModeVht:
        return MlmeInfoVhtRate(mcs, bw, streams, gi);
    default:
        if (f.Mode >= kTxModeHeFirst && f.Mode <= kTxModeHeLast) {
            return MlmeInfoHeRate(mcs, bw, streams, gi);
        }
        return 0;
    }
}

ULONG64 MlmeInfoRateToLinkSpeed(PMP_ADAPTER adapter, PMP_PORT port, PHY_CFG word)
{
    constexpr ULONG64 kMbit = 1000000;
    constexpr ULONG64 kUnit = 500000;
    const ULONG mode = READ_PHY_CFG_MODE(adapter, &word);
    const ULONG mcs = READ_PHY_CFG_MCS(adapter, &word);
    if (mode == kTxModeCck) {
        switch (mcs) {
        case 1: return 2 * kMbit;
        case 2: return 5500000;
        case 3: return 11 * kMbit;
        default: return kMbit;
        }
    }
    if (mode == kTxModeOfdm) {
        constexpr ULONG kOfdm[8] = {6, 9, 12, 18, 24, 36, 48, 54};
        return mcs < 8 ? kOfdm[mcs] * kMbit : kMbit;
    }
    const ULONG bw = READ_PHY_CFG_BW(adapter, &word);
    const ULONG sgi = READ_PHY_CFG_SHORT_GI(adapter, &word);
    const bool ownRates = port != nullptr && (port->OpMode == 0 || port->OpMode == 1);
    if (mode == kTxModeVht) {
        const ULONG index = ownRates ? GetVhtRateTableIdx(adapter, bw, READ_PHY_CFG_NSS(adapter, &word), sgi, mcs) : 0;
        return MlmeInfoVhtTableRate500k(index) * kUnit;
    }
    ULONG index = 0;
    if (ownRates) {
        index = (bw + 2 * sgi) * 16 + mcs + (mcs < 16 ? 16 : 64);
        if (index >= kHtTableSize) {
            index = 0;
        }
    }
    return kHtTable500k[index] * kUnit;
}

ULONG MlmeInfoGetPhyTypeIndex(PMP_ADAPTER adapter, UCHAR channel)
{
    constexpr ULONG kPhyOfdm = 4;
    constexpr ULONG kPhyHrDsss = 5;
    constexpr ULONG kPhyErp = 6;
    constexpr ULONG kPhyHt = 7;
    constexpr ULONG kAbsent = 0x80000000u;
    constexpr ULONG kAsked = 5;
    if (adapter == nullptr) {
        return kAbsent;
    }
    const ULONG mode = adapter->WorkingCfg.WirelessMode;
    const CONNECT_RATES& c = adapter->ConnectRates;
    ULONG type = 0;
    if (mode >= 5 && mode <= 14 && c.HtPresent != 0) {
        type = kPhyHt;
    } else {
        type = channel <= 14 ? kPhyErp : kPhyOfdm;
        if (c.SupRatesLen <= 4 && c.ExtRatesLen == 0) {
            type = kPhyHrDsss;
        }
    }
    SUPPORTED_PHY_TYPES list = {};
    (void)Ndis6CommonQuerySupportedPhyTypes(adapter, kAsked, &list);
    for (ULONG i = 0; i < list.NumberOfEntries && i < kAsked; ++i) {
        if (list.PhyTypes[i] == type) {
            return i;
        }
    }
    return kAbsent;
}

USHORT MlmeInfoHtTableRate500k(UCHAR mcs, UCHAR bandwidth, UCHAR shortGi)
{
    if (mcs > 31 || bandwidth > 1 || shortGi > 1) {
        return 0;
    }
    return kHtTable500k[(bandwidth + 2u * shortGi) * 16 + mcs + (mcs < 16 ? 16 : 64)];
}

USHORT MlmeInfoVhtTableRate500k(ULONG index)
{
    if (index >= kVhtTableSize) {
        index = 0;
    }
    // A combination the standard does not allow takes the rate below it.
    if (kVhtTable500k[index] == 0 && index != 0) {
        --index;
    }
    return kVhtTable500k[index];
}
