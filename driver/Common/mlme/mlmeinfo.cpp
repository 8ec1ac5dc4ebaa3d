// Key and PHY-mode settings of a port.
#include "Common/mlme/mlmeinfo.h"

#include <cstring>

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/trace.h"

namespace {

// The mode used instead of an HT-capable mode under the legacy-cipher rule (modes 5 to 14).
constexpr UCHAR kLegacyCipherMode[10] = {3, 4, 4, 2, 0, 4, 3, 2, 3, 3};
constexpr UCHAR kRatesB[4] = {0x82, 0x84, 0x8B, 0x96};
constexpr UCHAR kRatesBg[8] = {0x82, 0x84, 0x8B, 0x96, 0x12, 0x24, 0x48, 0x6C};
constexpr UCHAR kExtRatesBg[4] = {0x0C, 0x18, 0x30, 0x60};
constexpr UCHAR kRatesA[8] = {0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C};
constexpr UCHAR kDesiredB[4] = {0x02, 0x04, 0x0B, 0x16};
constexpr UCHAR kDesiredBg[12] = {0x02, 0x04, 0x0B, 0x16, 0x0C, 0x12, 0x18, 0x24, 0x30, 0x48, 0x60, 0x6C};
constexpr UCHAR kDesiredA[8] = {0x0C, 0x12, 0x18, 0x24, 0x30, 0x48, 0x60, 0x6C};

bool LegacyCipher(ULONG cipher) { return cipher == 1 || cipher == 2 || cipher == 5 || cipher == 0x101; }

}  // namespace

NTSTATUS MlmeInfoSetPhyMode(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wirelessMode, UCHAR flag)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "MlmeInfoSetPhyMode: mode %u flag %u",
             static_cast<unsigned>(wirelessMode), static_cast<unsigned>(flag));
    if (adapter == nullptr || port == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    MLME_CONN_PORT_BLOCK& c = port->Mlme.Conn;
    UCHAR mode = wirelessMode;
    // What the port can do.
    if (port->Cfg.VhtEnabled != 1) {
        if (mode >= 11 && mode <= 14) {
            mode = 5;
        }
    } else if (port->Rlm.Eht.Enabled != 1 && mode == 14) {
        mode = 13;
    }
    if (mode > 14) {
        mode = 9;
    }
    // Legacy ciphers keep a port off HT where the switch says so.
    const bool applies = (c.OsConnectionFlag == 0 && port->OpMode == 4) || (c.OsConnectionFlag != 0 && port->OpMode != 1);
    if (applies && port->Cfg.ProhibitTKIPonHT != 0 && LegacyCipher(port->Mlme.UnicastCipher) && mode >= 5 && mode <= 14) {
        mode = kLegacyCipherMode[mode - 5];
    }
    if (mode == port->WirelessMode && !flag) {
        return STATUS_SUCCESS;
    }
    port->WirelessMode = mode;
    port->Cfg.WirelessModeCopy[0] = mode;
    adapter->WorkingCfg.WirelessMode = mode;

    std::memset(c.SupRate, 0, sizeof(c.SupRate));
    std::memset(c.ExtRate, 0, sizeof(c.ExtRate));
    std::memset(c.DesiredRates, 0, sizeof(c.DesiredRates));
    c.SupRateLen = 0;
    c.ExtRateLen = 0;
    if (mode == 1) {
        std::memcpy(c.SupRate, kRatesB, sizeof(kRatesB));
        c.SupRateLen = sizeof(kRatesB);
        std::memcpy(c.DesiredRates, kDesiredB, sizeof(kDesiredB));
    } else if (mode == 2 || mode == 8 || mode == 10 || mode == 12) {
        std::memcpy(c.SupRate, kRatesA, sizeof(kRatesA));
        c.SupRateLen = sizeof(kRatesA);
        std::memcpy(c.DesiredRates, kDesiredA, sizeof(kDesiredA));
    } else {
        std::memcpy(c.SupRate, kRatesBg, sizeof(kRatesBg));
        c.SupRateLen = sizeof(kRatesBg);
        std::memcpy(c.ExtRate, kExtRatesBg, sizeof(kExtRatesBg));
        c.ExtRateLen = sizeof(kExtRatesBg);
        std::memcpy(c.DesiredRates, kDesiredBg, sizeof(kDesiredBg));
    }

    const ULONG tx = port->Cfg.TransmitSetting;
    PHY_SETTINGS_REQUEST request = {};
    request.PhyMode = mode;
    request.TxPath = static_cast<UCHAR>((adapter->AntennaPath >> 4) & 0x0F);
    request.Mcs = static_cast<UCHAR>((tx >> 4) & 0x7F);
    request.ShortGi = static_cast<UCHAR>((tx >> 14) & 0x1);
    request.Stbc = static_cast<UCHAR>((tx >> 15) & 0x1);
    request.HtMode = static_cast<UCHAR>((tx >> 18) & 0x7);
    request.ExtChannel = static_cast<UCHAR>((tx >> 21) & 0x7);
    request.Bandwidth = static_cast<UCHAR>(adapter->HalInfo.MaxBandwidth > 3 ? 3 : adapter->HalInfo.MaxBandwidth);
    if (mode >= 5 && mode <= 14) {
        MlmeInfoSetHtVht(adapter, port, &request);
    } else {
        port->Channel.Bandwidth = BW_20;
        DecideMaxTxRxProcessNumber(port);
    }
    c.RateAdaptState = 0;
    return STATUS_SUCCESS;
}

VOID UpdateBssScanParm(PMP_ADAPTER adapter, const UCHAR* parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(parameters);
    (void)NOT_BUILT_YET();
}

