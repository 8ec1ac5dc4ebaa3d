// The station's (re)association request frame and the association information record's request part.
#include <cstring>

#include "Common/he/eht_rlm.h"
#include "Common/he/he_rlm.h"
#include "Common/mlme/mlmeassoc.h"
#include "Common/mlme/mlmeauth.h"
#include "Common/rlm_domain.h"
#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kSubtypeAssocReq = 0;
constexpr ULONG kSubtypeReassocReq = 2;

// Appends to the one MLME buffer; an item that does not fit is left out whole (traced).
struct FrameWriter {
    PUCHAR Buffer;
    ULONG Length;
    BOOLEAN Add(const void* bytes, ULONG count)
    {
        if (count > MLME_BUFFER_SIZE - Length) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "association request: %u bytes left out (no room)",
                     static_cast<unsigned>(count));
            return FALSE;
        }
        std::memcpy(Buffer + Length, bytes, count);
        Length += count;
        return TRUE;
    }
    BOOLEAN AddElement(UCHAR id, const void* body, UCHAR count)
    {
        if (2u + count > MLME_BUFFER_SIZE - Length) {
            return FALSE;
        }
        const UCHAR header[2] = {id, count};
        (void)Add(header, 2);
        return Add(body, count);
    }
};

// Appends an element to the association information record's request elements when it fits.
void RecordElement(MLME_CONN_ADAPTER_BLOCK& a, USHORT& recorded, const UCHAR* element, ULONG count)
{
    if (count > static_cast<ULONG>(ASSOC_INFO_ELEMENTS_MAX - recorded)) {
        return;
    }
    std::memcpy(a.AssocInfo.RequestIEs + recorded, element, count);
    recorded = static_cast<USHORT>(recorded + count);
}

bool HtMode(UCHAR mode) { return mode >= 5 && mode <= 14; }

UCHAR GroupSuite(PMP_PORT port, bool allowGcmp)
{
    const ULONG group = port->Cfg.GroupCipher;
    if (group == 1 || group == 5 || group == 0x101) {
        return static_cast<UCHAR>(port->Cfg.GroupCipher == 1 ? 1 : 5);
    }
    if (group == 2) {
        return 2;
    }
    if (allowGcmp && group == 9) {
        return 9;
    }
    return 4;
}

// The RSN element of the request (22 to 44 bytes).
ULONG BuildRsn(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR rsn)
{
    const UCHAR kTemplate[22] = {48, 20, 1, 0, 0x00, 0x0F, 0xAC, 2, 1, 0, 0x00, 0x0F, 0xAC, 2,
                                 1, 0, 0x00, 0x0F, 0xAC, 2, 0, 0};
    std::memcpy(rsn, kTemplate, sizeof(kTemplate));
    const ULONG auth = port->Mlme.AuthAlgorithm;
    const bool gcmp = port->Cfg.GroupCipher == 9;
    rsn[7] = GroupSuite(port, true);
    rsn[13] = static_cast<UCHAR>(port->Cfg.PairwiseCipher == 2 ? 2 : 4);
    if (gcmp) {
        rsn[13] = 9;
    }
    const MLME_CONN_PORT_BLOCK& c = port->Mlme.Conn;
    const bool ft = c.FtEnabled != 0 && c.MobilityDomainIeLen != 0;
    const bool pmf = MlmeStaMfpInUse(adapter, port, FALSE) != FALSE;
    UCHAR akm = static_cast<UCHAR>(auth == 7 ? 2 : 1);
    if (gcmp) {
        akm = 12;
    } else if (ft) {
        akm = 3;
    } else if (auth == 10) {
        akm = 18;
    } else if (auth == 9) {
        akm = 8;
    } else if ((pmf && (c.ApRsnCapabilities & RSN_CAP_MFPR) != 0) || adapter->Mlme.Conn.Sha256Akm != 0) {
        akm = static_cast<UCHAR>(akm == 1 ? 5 : 6);
    }
    rsn[19] = akm;
    rsn[20] = static_cast<UCHAR>(adapter->Mlme.Conn.OwnRsnCapabilities & 0xFF);
    rsn[21] = 0;
    ULONG n = 22;
    // PMKID count 0.
    rsn[n++] = 0;
    rsn[n++] = 0;
    if (pmf) {
        const UCHAR group[4] = {0x00, 0x0F, 0xAC, static_cast<UCHAR>(gcmp ? 0x0C : 0x06)};
        std::memcpy(rsn + n, group, 4);
        n += 4;
    }
    rsn[1] = static_cast<UCHAR>(n - 2);
    return n;
}

ULONG BuildWpa(PMP_PORT port, PUCHAR wpa)
{
    const UCHAR kTemplate[24] = {221, 22, 0x00, 0x50, 0xF2, 0x01, 1, 0, 0x00, 0x50, 0xF2, 0x02,
                                 1, 0, 0x00, 0x50, 0xF2, 0x02, 1, 0, 0x00, 0x50, 0xF2, 0x01};
    std::memcpy(wpa, kTemplate, sizeof(kTemplate));
    wpa[11] = GroupSuite(port, false);
    wpa[17] = static_cast<UCHAR>(port->Cfg.PairwiseCipher == 2 ? 2 : 4);
    wpa[23] = static_cast<UCHAR>(port->Mlme.AuthAlgorithm == 3 ? 1 : 2);
    return sizeof(kTemplate);
}

}  // namespace

VOID FillRrmEnabledCapabilities(PUCHAR capabilities)
{
    std::memset(capabilities, 0, 5);
    capabilities[0] = static_cast<UCHAR>((1u << 1) | (1u << 6));
}

BOOLEAN HSAssocReqHESSIDValid(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* bssid)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(bssid);
    UNREFERENCED_PARAMETER(port);
    // The HESSID list arrives with the OS connect task's Hotspot 2.0 settings.
    (void)NOT_BUILT_YET();
    return FALSE;
}

VOID MgntPktConstructAsscReqFrame(PMP_ADAPTER adapter, PMP_PORT port, UCHAR reassoc, USHORT capability,
                                  USHORT listenInterval, const UCHAR* bssid, USHORT recordOffset, PUCHAR buffer,
                                  PULONG length)
{
    *length = 0;
    if (adapter == nullptr || port == nullptr || buffer == nullptr || bssid == nullptr) {
        return;
    }
    MLME_CONN_ADAPTER_BLOCK& a = adapter->Mlme.Conn;
    const MLME_CONN_PORT_BLOCK& c = port->Mlme.Conn;
    const JOIN_TARGET_INFO& join = adapter->Mlme.JoinTargetInfo;
    const ULONG auth = port->Mlme.AuthAlgorithm;
    const UCHAR channel = port->Channel.PrimaryChannel;
    const bool ch14Rule = port->Cfg.Ch14BOnly != 0 && channel == 14;
    USHORT recorded = recordOffset <= ASSOC_INFO_ELEMENTS_MAX ? recordOffset : ASSOC_INFO_ELEMENTS_MAX;
    a.VhtSent = 0;

    FrameWriter w{buffer, 0};
    HEADER_802_11 header;
    BuildMgmtMacHeader(adapter, port, &header, reassoc ? kSubtypeReassocReq : kSubtypeAssocReq, 0, bssid, bssid);
    (void)w.Add(&header, sizeof(header));
    const UCHAR fixed[4] = {static_cast<UCHAR>(capability & 0xFF), static_cast<UCHAR>(capability >> 8),
                            static_cast<UCHAR>(listenInterval & 0xFF), static_cast<UCHAR>(listenInterval >> 8)};
    (void)w.Add(fixed, sizeof(fixed));
    if (reassoc) {
        (void)w.Add(port->LastBssid, 6);
    }

    // SSID, rates, extended rates.
    const UCHAR ssidLen = adapter->Mlme.Cntl.MlmeSsidLen <= 32 ? adapter->Mlme.Cntl.MlmeSsidLen : 32;
    (void)w.AddElement(0, adapter->Mlme.Cntl.MlmeSsid, ssidLen);
    const UCHAR ratesLen = join.SupportedRatesLen <= sizeof(join.SupportedRates) ? join.SupportedRatesLen : 0;
    (void)w.AddElement(1, join.SupportedRates, ratesLen);
    const UCHAR extLen = join.ExtendedRatesLen <= sizeof(join.ExtendedRates) ? join.ExtendedRatesLen : 0;
    if (extLen != 0) {
        (void)w.AddElement(50, join.ExtendedRates, extLen);
    }

    // RSN.
    if (auth >= 6 && auth <= 10 && (port->WpsState == 0)) {
        UCHAR rsn[48];
        const ULONG n = BuildRsn(adapter, port, rsn);
        (void)w.Add(rsn, n);
        RecordElement(a, recorded, rsn, n);
    }

    // RM Enabled Capabilities on a station port.
    if (port->PortType == EXTSTA) {
        UCHAR rm[5];
        FillRrmEnabledCapabilities(rm);
        (void)w.AddElement(70, rm, sizeof(rm));
    }

    // Fast transition: the mobility domain element.
    if (c.FtEnabled != 0 && c.MobilityDomainIeLen != 0 && c.MobilityDomainIeLen <= FT_ELEMENT_MAX) {
        (void)w.Add(c.MobilityDomainIe, c.MobilityDomainIeLen);
    }

    // Extended Capabilities: bit 22 always; bit 0 cleared above 14 with VHT.
    const bool vhtBand = channel > 14 && port->Cfg.VhtEnabled != 0;
    const bool htItem = !ch14Rule && join.HtActive != 0 && HtMode(port->WirelessMode);
    UCHAR ext[16];
    std::memcpy(ext, port->Rlm.ExtCapabilities, sizeof(ext));
    ext[2] = static_cast<UCHAR>(ext[2] | 0x40);  // bit 22
    if (htItem && vhtBand) {
        ext[0] = static_cast<UCHAR>(ext[0] & ~0x01);
    }
    if (htItem && vhtBand) {
        (void)w.AddElement(127, ext, 10);
    }

    // VHT Capabilities toward an access point that advertised VHT.
    if (!ch14Rule && port->Cfg.VhtEnabled != 0 && (channel > 14 || join.HePresent != 0) && HtMode(port->WirelessMode) &&
        join.VhtPresent != 0) {
        UCHAR vht[12];
        std::memcpy(vht, &port->Rlm.Vht.OwnCap, sizeof(vht));
        if (w.AddElement(191, vht, sizeof(vht))) {
            a.VhtSent = 1;
        }
    }

    // RSN Extension for SAE with hash-to-element.
    if (auth == 9 && port->Ind.SaeH2e != 0) {
        const UCHAR rsnx[3] = {244, 1, 0x20};
        (void)w.Add(rsnx, sizeof(rsnx));
        RecordElement(a, recorded, rsnx, sizeof(rsnx));
    }

    // HE and EHT capabilities.
    if (!ch14Rule && port->HeEnabled != 0 && join.HePresent != 0 && port->PortType == EXTSTA) {
        UCHAR he[64];
        USHORT heLen = 0;
        heRlmGenerateHeCap(adapter, port, he, &heLen);
        if (heLen <= sizeof(he)) {
            (void)w.Add(he, heLen);
        }
        if (port->Channel.Band == BAND_6G) {
            UCHAR six[8];
            USHORT sixLen = 0;
            heRlmGenerateHe6GCap(adapter, port, six, &sixLen);
            if (sixLen <= sizeof(six)) {
                (void)w.Add(six, sixLen);
            }
        }
    }
    if (!ch14Rule && port->Rlm.Eht.Enabled != 0 && join.EhtPresent != 0 && DomainCountrySupport80211be(port)) {
        UCHAR eht[EHT_CAP_ELEMENT_MAX];
        USHORT ehtLen = 0;
        ehtRlmReqGenerateCapIE(adapter, port, eht, &ehtLen);
        if (ehtLen <= sizeof(eht)) {
            (void)w.Add(eht, ehtLen);
        }
    }

    // The station vendor element.
    const UCHAR vendor[9] = {221, 7, 0x02, 0x3F, 0xA7, 0, 0, 0, 0};
    (void)w.Add(vendor, sizeof(vendor));

    // WMM information toward an access point that advertised WMM.
    if (port->Cfg.WmmCapable != 0 && join.EdcaParameters.Valid != 0) {
        UCHAR qos = 0;
        if (port->UapsdEnable != 0 && join.EdcaParameters.UapsdCapable != 0) {
            qos = static_cast<UCHAR>((port->UapsdAc[3] ? 0x01 : 0) | (port->UapsdAc[2] ? 0x02 : 0) |
                                     (port->UapsdAc[1] ? 0x04 : 0) | (port->UapsdAc[0] ? 0x08 : 0) |
                                     ((port->UapsdMaxSp & 0x3) << 5));
        }
        const UCHAR wmm[9] = {221, 7, 0x00, 0x50, 0xF2, 0x02, 0, 1, qos};
        (void)w.Add(wmm, sizeof(wmm));
    }

    // WPA.
    if ((auth == 3 || auth == 4) && port->WpsState == 0) {
        UCHAR wpa[24];
        const ULONG n = BuildWpa(port, wpa);
        (void)w.Add(wpa, n);
        RecordElement(a, recorded, wpa, n);
    }
    a.AssocInfo.Fixed.RequestIELength = recorded;
    a.AssocInfo.Fixed.RequestIELength2 = recorded;
    a.AssocInfo.Fixed.OffsetResponseIEs = static_cast<ULONG>(recorded) + ASSOC_INFO_OFFSET;

    // The maker vendor element of the chips that send one.
    const UCHAR chipClass = HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_ASSOC_MAKER_1)   ? 1
                            : HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_ASSOC_MAKER_2) ? 2
                                                                                          : 0;
    if (chipClass != 0) {
        const UCHAR maker[19] = {221, 17, 0x02, 0xC1, 0x9B, 0x01, 0, 0, 0, 0x04, 0x08, chipClass, 0, 0, 0, 0, 0, 0, 0};
        (void)w.Add(maker, sizeof(maker));
    }

    std::memcpy(a.LastAssocReq, buffer, w.Length);
    a.LastAssocReqLen = static_cast<USHORT>(w.Length);
    *length = w.Length;
}
