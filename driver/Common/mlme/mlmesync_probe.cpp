// Probe requests and the element writers of the scan's probe requests.
#include "Common/mlme/mlmesync_probe.h"

#include <cstring>

#include "Common/he/he_rlm.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmewsc.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2ppacket.h"
#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kOfdmRates[8] = {0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C};
constexpr UCHAR kMboOce[MBO_OCE_IE_LENGTH] = {0xDD, 7, 0x50, 0x6F, 0x9A, 0x16, 3, 1, 3};
constexpr UCHAR kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr UCHAR kWpsOui[4] = {0x00, 0x50, 0xF2, 0x04};
constexpr ULONG kHtFeature2040 = 0x8000000u;  // bit 27 of the port's HT feature word
constexpr ULONG kWdiVersionOsProbeIes = 0x6001E;
constexpr UCHAR kElementSsid = 0;
constexpr UCHAR kElementRates = 1;
constexpr UCHAR kElementHtCap = 45;
constexpr UCHAR kElementExtRates = 50;
constexpr UCHAR kElementInterworking = 107;
constexpr UCHAR kElementExtCap = 127;
constexpr UCHAR kElementVhtCap = 191;

// Appends bytes to the frame while they fit the MLME buffer; an element that does not fit is left out.
struct FrameWriter {
    PUCHAR buffer;
    ULONG used;
    bool Put(const void* data, ULONG length)
    {
        if (length > MLME_BUFFER_SIZE - used) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "probe request: %u bytes left out (frame full)",
                     static_cast<unsigned>(length));
            return false;
        }
        if (length != 0) {
            std::memcpy(buffer + used, data, length);
        }
        used += length;
        return true;
    }
    void Element(UCHAR id, const UCHAR* body, UCHAR length)
    {
        if (2u + length > MLME_BUFFER_SIZE - used) {
            return;
        }
        const UCHAR head[2] = {id, length};
        (void)Put(head, 2);
        (void)Put(body, length);
    }
};

void SetBit(PUCHAR bytes, ULONG bit) { bytes[bit / 8] = static_cast<UCHAR>(bytes[bit / 8] | (1u << (bit % 8))); }

bool PhyModeHasHt(UCHAR mode) { return mode >= PHY_11ABGN_MIXED && mode <= PHY_11BE; }

}  // namespace

BOOLEAN MlmeProbeChipHas6GhzElements(PMP_ADAPTER adapter)
{
    // Every chip of the two newer families has them but the one that never reports the 6 GHz band.
    return static_cast<BOOLEAN>(QzCmdChipGroup(adapter) != FW_CHIP_GROUP_OLDER &&
                                !HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_NO_6GHZ));
}

VOID MakeExtCapIE(PMP_PORT port, PUCHAR out, PULONG length)
{
    PUCHAR stored = port->Mlme.Scan.ExtCapabilities;
    SetBit(stored, 19);
    SetBit(stored, 46);
    UCHAR copy[PROBE_EXT_CAP_LEN];
    std::memcpy(copy, stored, sizeof(copy));
    const UCHAR channel = port->Channel.PrimaryChannel;
    if (channel > 14 && port->Cfg.VhtEnabled) {
        copy[0] = static_cast<UCHAR>(copy[0] & ~1u);
    } else if (channel <= 14 && (port->Cfg.BaCapability & kHtFeature2040) != 0) {
        copy[0] = static_cast<UCHAR>(copy[0] | 1u);
    }
    out[0] = kElementExtCap;
    out[1] = 10;
    std::memcpy(out + 2, copy, 10);
    *length = EXT_CAP_IE_LENGTH;
}

VOID MboMakeNonPrefChnlReport(PMP_ADAPTER adapter, PMP_PORT port, UCHAR form, const UCHAR* list, PULONG length,
                              PUCHAR out)
{
    *length = 0;
    if (port == nullptr || port->PortType != EXTSTA) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "non-preferred channel report only for a station port");
        return;
    }
    const UCHAR count = list != nullptr ? list[0] : 0;
    if (form == 1 && count == 0) {
        const UCHAR empty[6] = {0xDD, 4, 0x50, 0x6F, 0x9A, 2};
        std::memcpy(out, empty, sizeof(empty));
        *length = sizeof(empty);
        return;
    }
    ULONG n = 0;
    for (ULONG i = 0; i < count && i < 16; ++i) {
        const UCHAR* e = list + 1 + 4 * i;
        const UCHAR channel = e[0];
        const UCHAR preference = e[1];
        const UCHAR opClass = e[2];
        const UCHAR reason = e[3];
        const ULONG band = (opClass >= 131 && opClass <= 135) ? BAND_6G : (channel < 15 ? BAND_24G : BAND_5G);
        const UCHAR globalClass = P2pOpClassFromChannel(channel, band, 4);
        if (form == 0) {
            const UCHAR attribute[6] = {2, 4, globalClass, channel, preference, reason};
            std::memcpy(out + n, attribute, sizeof(attribute));
            n += sizeof(attribute);
        } else {
            const UCHAR element[10] = {0xDD, 8, 0x50, 0x6F, 0x9A, 2, globalClass, channel, preference, reason};
            std::memcpy(out + n, element, sizeof(element));
            n += sizeof(element);
        }
    }
    UNREFERENCED_PARAMETER(adapter);
    *length = n;
}

VOID MboMakeMBOOceIE(PMP_ADAPTER adapter, PMP_PORT port, UCHAR frameKind, PUCHAR out, PULONG length)
{
    *length = 0;
    if (port == nullptr || port->PortType != EXTSTA) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "MBO/OCE element only for a station port");
        return;
    }
    std::memcpy(out, kMboOce, sizeof(kMboOce));
    ULONG total = sizeof(kMboOce);
    const MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    if ((frameKind == MBO_FRAME_ASSOC_REQ || frameKind == MBO_FRAME_REASSOC_REQ) && scan.NonPrefCount != 0) {
        UCHAR list[1 + sizeof(scan.NonPref)];
        list[0] = scan.NonPrefCount < 16 ? scan.NonPrefCount : 16;
        std::memcpy(list + 1, scan.NonPref, sizeof(scan.NonPref));
        ULONG report = 0;
        MboMakeNonPrefChnlReport(adapter, port, 0, list, &report, out + total);
        out[1] = static_cast<UCHAR>(out[1] + report);
        total += report;
    }
    *length = total;
}

VOID MlmeProbeRspSanityWpsQtTest(PUCHAR buffer, ULONG length)
{
    if (buffer == nullptr) {
        return;
    }
    for (ULONG k = 0; k + 2 + sizeof(kWpsOui) <= length; ++k) {
        if (buffer[k] != 0xDD || std::memcmp(buffer + k + 2, kWpsOui, sizeof(kWpsOui)) != 0) {
            continue;
        }
        auto write = [&](ULONG at, UCHAR value) {
            if (at < length) {
                buffer[at] = value;
            }
        };
        write(k + 25, 99);
        write(k + 26, 140);
        ULONG position = k + 30;
        for (ULONG visit = 1; visit < 5; ++visit) {
            if (position >= length) {
                return;
            }
            position += static_cast<ULONG>(buffer[position]) + 4;
        }
        if (position >= length) {
            return;
        }
        write(position + 1, 0);
        write(position + 2, 4);
        return;
    }
}

VOID MgntPktConstructProbeReqFrame(PMP_PORT port, PUCHAR buffer, PULONG length)
{
    *length = 0;
    if (port == nullptr || port->Adapter == nullptr || buffer == nullptr) {
        return;
    }
    PMP_ADAPTER adapter = port->Adapter;
    MLME_PORT_SCAN_STATE& ps = port->Mlme.Scan;
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    const UCHAR channel = port->Channel.PrimaryChannel;
    const ULONG band = port->Channel.Band;

    // 1. The rates.
    const UCHAR* rates = kOfdmRates;
    UCHAR rateCount = sizeof(kOfdmRates);
    const UCHAR* extRates = nullptr;
    UCHAR extCount = 0;
    if (channel <= 14 && band == BAND_24G) {
        rates = ps.SupportedRates;
        rateCount = ps.SupportedRatesLen <= PROBE_RATES_MAX ? ps.SupportedRatesLen : PROBE_RATES_MAX;
        if (port->Cfg.Ch14BOnly && channel == 14) {
            rateCount = rateCount < 4 ? rateCount : 4;
        } else {
            extRates = ps.ExtendedRates;
            extCount = ps.ExtendedRatesLen <= PROBE_RATES_MAX ? ps.ExtendedRatesLen : PROBE_RATES_MAX;
        }
    }

    // 2. The header.
    FrameWriter w{buffer, 0};
    const UCHAR* address = scan.DirectedProbe == 1 ? scan.JoinTargetBssid : kBroadcast;
    HEADER_802_11 header;
    BuildMgmtMacHeader(adapter, port, &header, 4, 0, address, address);
    (void)w.Put(&header, sizeof(header));

    // 3-5. SSID, rates, extended rates.
    const PORT_CONNECT_CONFIG& desired = port->ConnectConfig;
    w.Element(kElementSsid, desired.DesiredSsid, desired.DesiredSsidLength <= 32 ? desired.DesiredSsidLength : 32);
    w.Element(kElementRates, rates, rateCount);
    if (extCount != 0) {
        w.Element(kElementExtRates, extRates, extCount);
    }

    // 6. HT capabilities.
    bool extCapWanted = false;
    if (PhyModeHasHt(port->WirelessMode) && band <= BAND_5G &&
        !(adapter->WorkingCfg.NetworkType == 2 && scan.AdhocHtAllowed == 0)) {
        w.Element(kElementHtCap, ps.HtCapability, PROBE_HT_CAP_LEN);
        if (channel <= 14 && (port->Cfg.BaCapability & kHtFeature2040) != 0) {
            extCapWanted = true;
        }
    }

    // 7. Extended capabilities.
    if (port->PortType == EXTSTA) {
        SetBit(ps.ExtCapabilities, 19);
        SetBit(ps.ExtCapabilities, 46);
    }
    if (extCapWanted || port->PortType == EXTSTA || (ps.P2pGroupFlag != 0 && ps.P2pRoleValue != 0)) {
        w.Element(kElementExtCap, ps.ExtCapabilities, 10);
    }

    // 8. Interworking: the access-network options and the wildcard HESSID.
    if (ps.Interworking) {
        const UCHAR interworking[7] = {ps.AccessNetworkOptions, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        w.Element(kElementInterworking, interworking, sizeof(interworking));
    }

    // 9. MBO/OCE.
    UCHAR element[256];
    if (port->PortType == EXTSTA) {
        ULONG n = 0;
        MboMakeMBOOceIE(adapter, port, MBO_FRAME_PROBE_REQ, element, &n);
        (void)w.Put(element, n);
    }

    // 10. VHT capabilities.
    const UCHAR configured = port->Cfg.WirelessModeCopy[0];
    if (port->Cfg.VhtEnabled && channel > 14 && band == BAND_5G && PhyModeHasHt(configured)) {
        w.Element(kElementVhtCap, ps.VhtCapability, PROBE_VHT_CAP_LEN);
    }

    // 11-13. HE capabilities (once), and the HE 6 GHz band capabilities.
    bool heWritten = false;
    auto writeHeCap = [&] {
        if (heWritten) {
            return;
        }
        USHORT n = 0;
        heRlmGenerateHeCap(adapter, port, element, &n);
        (void)w.Put(element, n);
        heWritten = true;
    };
    if (port->HeEnabled == 1) {
        if (adapter->OpMode == 2 || adapter->OpMode == 3 || port->PortType == EXTSTA) {
            writeHeCap();
        }
        if (scan.TargetSupportsHe && port->PortType == WFD_CLIENT && band == BAND_5G) {
            writeHeCap();
        }
        if (MlmeProbeChipHas6GhzElements(adapter) && !adapter->Only24G && (adapter->RegistryBlock.Config_6G & 1) != 0 &&
            adapter->SixGhzCapable && port->PortType == EXTSTA && band == BAND_6G) {
            writeHeCap();
            USHORT n = 0;
            heRlmGenerateHe6GCap(adapter, port, element, &n);
            (void)w.Put(element, n);
        }
    }

    // 14. The OS's probe-request elements of a Wi-Fi Direct client, else the WPS element.
    if (adapter->TlvContext.PeerVersion >= kWdiVersionOsProbeIes && port->PortType == WFD_CLIENT &&
        ps.OsProbeIe != nullptr) {
        (void)w.Put(ps.OsProbeIe, ps.OsProbeIeLength);
    } else {
        USHORT n = 0;
        WscMakeProbeReqIE(adapter, port, FALSE, element, &n);
        (void)w.Put(element, n < sizeof(element) ? n : 0);
    }

    // 15. The additional elements of the certification setting.
    if ((adapter->RegistryBlock.CertReg & 1) != 0 && ps.AdditionalProbeIe != nullptr) {
        (void)w.Put(ps.AdditionalProbeIe, ps.AdditionalProbeIeLength);
    }

    // 16. The P2P element of a Wi-Fi Direct client.
    if (port->PortType == WFD_CLIENT) {
        ULONG n = 0;
        P2pMakeP2pIE(adapter, port, 0, P2P_FRAME_PROBE_REQ, element, sizeof(element), &n);
        (void)w.Put(element, n);
    }

    // 17. The driver's vendor element.
    // Its class byte is the chip's own, as in the association request.
    const USHORT chip = adapter->HalInfo.ChipCode;
    const UCHAR variable = HalChipHasFact(chip, CHIP_FACT_ASSOC_MAKER_1)   ? 1
                           : HalChipHasFact(chip, CHIP_FACT_ASSOC_MAKER_2) ? 2
                                                                          : 0;
    if (variable != 0) {
        UCHAR vendor[PROBE_VENDOR_IE_LENGTH] = {0xDD, 0x11, 0x02, 0xC1, 0x9B, 0x01, 0x00, 0x00, 0x00, 0x04, 0x08};
        vendor[11] = variable;
        (void)w.Put(vendor, sizeof(vendor));
    }

    // 18. The join's cached copy.
    if (scan.JoinFrameCached) {
        if (w.used <= sizeof(scan.JoinFrame)) {
            std::memcpy(scan.JoinFrame, buffer, w.used);
            scan.JoinFrameLength = w.used;
        } else {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "probe request of %u bytes not cached", static_cast<unsigned>(w.used));
        }
    }
    *length = w.used;
}
