// Beacon and probe-response parsing. Every element is processed only when its header and its whole
// body lie within the frame, and every field of an element is read only when the element holds it.
#include "Common/mlme/mlmesync_sanity.h"

#include <cstring>

#include "Common/mlme/mlmesync_chnl.h"
#include "Common/rlm_power.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kHeaderLen = 24;
constexpr ULONG kFixedEnd = 36;  // header, timestamp, beacon interval, capability
constexpr UCHAR kSubtypeBeacon = 8;
constexpr UCHAR kCertOweSsid[] = "Wi-Fi-5.2.3";
constexpr ULONG kCertOweSsidLen = 11;

// Element ids.
enum : UCHAR {
    IE_SSID = 0,
    IE_SUPP_RATES = 1,
    IE_DS_PARM = 3,
    IE_CF_PARM = 4,
    IE_TIM = 5,
    IE_IBSS_PARM = 6,
    IE_COUNTRY = 7,
    IE_BSS_LOAD = 11,
    IE_POWER_CONSTRAINT = 32,
    IE_CHANNEL_SWITCH = 37,
    IE_ERP = 42,
    IE_HT_CAP = 45,
    IE_EXT_SUPP_RATES = 50,
    IE_MOBILITY_DOMAIN = 54,
    IE_SUPP_OP_CLASSES = 59,
    IE_EXT_CHANNEL_SWITCH = 60,
    IE_HT_OP = 61,
    IE_SECONDARY_CH_OFFSET = 62,
    IE_MULTIPLE_BSSID = 71,
    IE_OBSS_SCAN_PARM = 74,
    IE_MBSSID_INDEX = 85,
    IE_EXT_CAP = 127,
    IE_VHT_CAP = 191,
    IE_VHT_OP = 192,
    IE_WIDE_BW_CHANNEL_SWITCH = 194,
    IE_TX_POWER_ENVELOPE = 195,
    IE_OP_MODE_NOTIF = 199,
    IE_VENDOR = 221,
    IE_EXTENSION = 255,
};

// Extension ids.
enum : UCHAR {
    EXT_HE_CAP = 35,
    EXT_HE_OP = 36,
    EXT_MU_EDCA = 38,
    EXT_SPATIAL_REUSE = 39,
    EXT_EHT_OP = 106,
    EXT_EHT_CAP = 108,
};

constexpr UCHAR kOuiMakerLegacy[3] = {0x02, 0x3F, 0xA7};
constexpr UCHAR kOuiPreStdHt[3] = {0x00, 0x90, 0x4C};
constexpr UCHAR kOuiMs[3] = {0x00, 0x50, 0xF2};
constexpr UCHAR kOuiWfa[3] = {0x50, 0x6F, 0x9A};
constexpr UCHAR kOuiMaker[3] = {0x02, 0xC1, 0x9B};

struct WmmDefault {
    UCHAR aifsn, cwMin, cwMax;
    USHORT txop;
};
constexpr WmmDefault kWmmDefaults[4] = {{7, 4, 10, 0}, {3, 4, 10, 0}, {2, 3, 10, 94}, {2, 2, 9, 47}};

bool PhyModeHasHt(const MP_PORT* port)
{
    return port != nullptr && port->WirelessMode >= PHY_11ABGN_MIXED && port->WirelessMode <= PHY_11BE;
}

USHORT Le16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }

// What the walk has seen so far.
struct ParseState {
    bool ssidSeen = false;
    bool ratesSeen = false;
    bool channelKnown = false;
    bool dsSeen = false;
    bool countrySeen = false;
    bool vhtCapSeen = false;
    bool vhtOpSeen = false;
    bool heCapSeen = false;
    bool heOpSeen = false;
    bool ehtCapSeen = false;
    bool ehtOpSeen = false;
    const UCHAR* country = nullptr;  // the last Country element (header included)
};

struct ParseContext {
    PMP_ADAPTER adapter;
    PMP_PORT port;
    PBEACON_PARSE_RESULT r;
    ParseState seen;
    UCHAR rxBand;
    UCHAR rxChannel;
    bool beacon;
};

bool FwBuildsChannelLists(const MP_ADAPTER* adapter) { return adapter->RegistryBlock.FWBuildScnChList != 0; }
bool CertMode(const MP_ADAPTER* adapter) { return (adapter->RegistryBlock.CertReg & 0x2u) != 0; }

void EhtElement(ParseContext& c, const UCHAR* element)
{
    UCHAR ext = element[2];
    PBEACON_PARSE_RESULT r = c.r;
    if (ext == EXT_EHT_CAP && !c.seen.ehtCapSeen) {
        c.seen.ehtCapSeen = true;
        ehtRlmRecCapInfo(c.adapter, c.port, &r->EhtCapability, c.seen.heCapSeen ? &r->HeCapability : nullptr,
                         element);
    } else if (ext == EXT_EHT_OP && !c.seen.ehtOpSeen) {
        c.seen.ehtOpSeen = true;
        ehtRlmRecOperation(c.adapter, c.port, &r->EhtOperation, element);
    }
}

// The 6 GHz channel of an HE Operation received on 6 GHz, and the AFC applicability.
void SixGhzChannelStep(ParseContext& c)
{
    PBEACON_PARSE_RESULT r = c.r;
    PMP_ADAPTER a = c.adapter;
    UCHAR primary = r->He6gOperation[0];
    if (c.rxBand != BAND_6G || primary == 0) {
        a->AfcNotApplicable = 1;
        return;
    }
    if (!FwBuildsChannelLists(a) && !ChannelIsInChannelList(a, primary, CHANNEL_SEL_6G)) {
        a->AfcNotApplicable = 1;
        return;
    }
    r->Channel = primary;
    r->Band = BAND_6G;
    c.seen.channelKnown = true;
    a->AfcChannel = primary;
    a->AfcNotApplicable = ((r->He6gOperation[1] >> 3) & 0x07) == 1 ? 0 : 1;
}

void ExtensionElement(ParseContext& c, const UCHAR* element, ULONG len)
{
    if (len < 1) {
        return;
    }
    PBEACON_PARSE_RESULT r = c.r;
    switch (element[2]) {
    case EXT_HE_CAP:
        c.seen.heCapSeen = true;
        heRlmRecHeCapInfo(c.adapter, c.port, &r->HeCapability, element);
        break;
    case EXT_HE_OP:
        c.seen.heOpSeen = true;
        heRlmRecHeOperation(c.adapter, &r->HeOperation, r->He6gOperation, element);
        SixGhzChannelStep(c);
        break;
    case EXT_MU_EDCA:
        r->MuEdcaUpdated = mqmUpdateMUEdcaParams(c.port, element, 0);
        break;
    case EXT_SPATIAL_REUSE:
        r->SpatialReuseUpdated = heRlmRecSRParams(c.port, element);
        break;
    default:
        break;
    }
    EhtElement(c, element);
}

void TransmitPowerEnvelope(ParseContext& c, const UCHAR* body, ULONG len)
{
    PMP_ADAPTER a = c.adapter;
    if (a->RegistryBlock.AFCEnable == 0) {
        a->AfcNotApplicable = 1;
        return;
    }
    if (len < 1) {
        return;
    }
    UCHAR count = body[0] & 0x07;
    UCHAR interpretation = (body[0] >> 3) & 0x07;
    if (interpretation != 1 && interpretation != 3) {
        return;
    }
    AFCArrayInit(a);
    if (count == 0) {
        return;
    }
    if (count <= 5) {
        if (len < 2) {
            return;  // no PSD value in the element
        }
        a->AfcBasePower = static_cast<UCHAR>(body[1] + 26);
        SetAllAFCPwrBuffer(a, a->AfcBasePower);
    } else {
        a->AfcNotApplicable = 1;
    }
}

// Appends a WPS element to one of the two buffers: the first whole, later ones without their
// header, OUI and type. What does not fit the buffer is left out.
void WpsMerge(PUCHAR buffer, PUSHORT length, const UCHAR* element, ULONG len)
{
    const UCHAR* src;
    ULONG n;
    if (*length == 0) {
        src = element;
        n = len + 2;
    } else {
        src = element + 6;
        n = len - 4;
    }
    ULONG room = BCN_PARSE_IE_LIMIT - *length;
    if (n > room) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "WPS data of %u bytes cut to %u", static_cast<unsigned>(n),
                 static_cast<unsigned>(room));
        n = room;
    }
    std::memcpy(buffer + *length, src, n);
    *length = static_cast<USHORT>(*length + n);
}

void WmmParameter(PBEACON_PARSE_RESULT r, const UCHAR* body)
{
    EDCA_PARM& e = r->EdcaParameters;
    e.Valid = 1;
    e.ParamSetCount = body[6] & 0x0F;
    e.UapsdCapable = (body[6] >> 7) & 1;
    for (ULONG i = 0; i < 4; ++i) {
        const UCHAR* ac = body + 8 + 4 * i;
        UCHAR index = (ac[0] >> 5) & 0x03;
        e.Acm[index] = (ac[0] >> 4) & 1;
        e.Aifsn[index] = ac[0] & 0x0F;
        e.CwMin[index] = ac[1] & 0x0F;
        e.CwMax[index] = (ac[1] >> 4) & 0x0F;
        e.TxopLimit[index] = Le16(ac + 2);
    }
}

void WmmInformation(PBEACON_PARSE_RESULT r, const UCHAR* body)
{
    EDCA_PARM& e = r->EdcaParameters;
    e.Valid = 1;
    e.ParamSetCount = body[6] & 0x0F;
    e.UapsdCapable = (body[6] >> 7) & 1;
    for (ULONG i = 0; i < 4; ++i) {
        e.Aifsn[i] = kWmmDefaults[i].aifsn;
        e.CwMin[i] = kWmmDefaults[i].cwMin;
        e.CwMax[i] = kWmmDefaults[i].cwMax;
        e.TxopLimit[i] = kWmmDefaults[i].txop;
        e.Acm[i] = 0;
    }
}

// The OWE Transition Mode element's BSSID and SSID, when the element holds them whole.
bool OweTransFields(const UCHAR* body, ULONG len, const UCHAR** bssid, const UCHAR** ssid, UCHAR* ssidLen)
{
    if (len < 11 || body[10] > BSS_SSID_MAX || 11u + body[10] > len) {
        return false;
    }
    *bssid = body + 4;
    *ssidLen = body[10];
    *ssid = body + 11;
    return true;
}

void PreStdEht(ParseContext& c, const UCHAR* body, ULONG len)
{
    const UCHAR* data = body + 7;
    ULONG dataLen = len - 7;
    ULONG pos = 0;
    while (pos + 2 <= dataLen && pos + 2 + data[pos + 1] <= dataLen) {
        UCHAR id = data[pos];
        ULONG subLen = data[pos + 1];
        const UCHAR* sub = data + pos + 2;
        if (id == 2 && subLen >= 2) {
            const UCHAR* list = sub + 2;
            ULONG listLen = subLen - 2;
            ULONG e = 0;
            while (e + 2 <= listLen && e + 2 + list[e + 1] <= listLen) {
                if (list[e + 1] >= 1) {
                    EhtElement(c, list + e);
                }
                e += 2u + list[e + 1];
            }
        }
        pos += 2 + subLen;
    }
}

// The vendor tests in order; the first that matches consumes the element. WPS elements set *wps
// (they go to the WPS buffers only).
void VendorElement(ParseContext& c, const UCHAR* element, ULONG len, bool* wps)
{
    PBEACON_PARSE_RESULT r = c.r;
    PMP_ADAPTER a = c.adapter;
    const UCHAR* body = element + 2;
    if (len < 3) {
        return;
    }
    if (len == 7 && std::memcmp(body, kOuiMakerLegacy, 3) == 0) {
        LONG cap = static_cast<LONG>(static_cast<signed char>(body[3]));
        r->MakerCapability = cap == 0 ? 0xF0000000u : static_cast<ULONG>(cap);
        return;
    }
    if (PhyModeHasHt(c.port) && len >= 4 && std::memcmp(body, kOuiPreStdHt, 3) == 0) {
        if (body[3] == 0x33 && len >= 30 && r->HtCapabilityLen == 0) {
            std::memcpy(r->HtCapability, body + 4, BSS_HT_CAP_LEN);
            r->PreStdHtCapabilityLen = BSS_HT_CAP_LEN;
        } else if (body[3] == 0x34 && len >= 26 && r->HtOperationLen == 0) {
            std::memcpy(r->HtOperation, body + 4, BSS_HT_OP_LEN);
            r->HtOperationLen = BSS_HT_OP_LEN;
        }
        return;
    }
    if (len == 24 && std::memcmp(body, kOuiMs, 3) == 0 && body[3] == 2 && body[4] == 1 && body[5] == 1) {
        WmmParameter(r, body);
        return;
    }
    if (len == 7 && std::memcmp(body, kOuiMs, 3) == 0 && body[3] == 2 && body[4] == 0 && body[5] == 1) {
        WmmInformation(r, body);
        return;
    }
    if (len >= 4 && std::memcmp(body, kOuiMs, 3) == 0 && body[3] == 4) {
        if (c.beacon) {
            WpsMerge(r->BeaconWpsIe, &r->BeaconWpsIeLen, element, len);
        } else {
            WpsMerge(r->ProbeRspWpsIe, &r->ProbeRspWpsIeLen, element, len);
        }
        *wps = true;
        return;
    }
    if (len >= 4 && std::memcmp(body, kOuiWfa, 3) == 0 && body[3] == 0x16) {
        r->MboOcePresent = 1;
        return;
    }
    if (len >= 4 && std::memcmp(body, kOuiWfa, 3) == 0 && body[3] == 0x1C) {
        const UCHAR* bssid = nullptr;
        const UCHAR* ssid = nullptr;
        UCHAR ssidLen = 0;
        bool whole = OweTransFields(body, len, &bssid, &ssid, &ssidLen);
        if (CertMode(a) && c.beacon && a->CertOweTransPending == 1) {
            a->CertOweTransPending = 0;
            std::memset(a->CertOweTransSsid, 0, sizeof(a->CertOweTransSsid));
            if (whole) {
                a->CertOweTransSsidLen = ssidLen;
                std::memcpy(a->CertOweTransBssid, bssid, MAC_ADDR_LEN);
                std::memcpy(a->CertOweTransSsid, ssid, ssidLen);
            } else {
                a->CertOweTransSsidLen = 0;
            }
        }
        if (whole) {
            std::memcpy(r->OweTransBssid, bssid, MAC_ADDR_LEN);
            r->OweTransSsidLen = ssidLen;
            std::memcpy(r->OweTransSsid, ssid, ssidLen);
        }
        return;
    }
    if (len >= 7 && std::memcmp(body, kOuiMaker, 3) == 0 && (body[3] & 1) != 0) {
        PreStdEht(c, body, len);
    }
}

// One element; false rejects the frame.
bool Element(ParseContext& c, const UCHAR* element, ULONG len, bool* wps)
{
    PBEACON_PARSE_RESULT r = c.r;
    PMP_ADAPTER a = c.adapter;
    const UCHAR* body = element + 2;
    switch (element[0]) {
    case IE_SSID:
        if (c.seen.ssidSeen) {
            break;
        }
        if (len > BSS_SSID_MAX) {
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "SSID of %u bytes: frame dropped", static_cast<unsigned>(len));
            return false;
        }
        std::memset(r->Ssid, 0, sizeof(r->Ssid));
        std::memcpy(r->Ssid, body, len);
        r->SsidLen = static_cast<UCHAR>(len);
        c.seen.ssidSeen = true;
        if (CertMode(a) && c.beacon) {
            if (len != 0 && len >= kCertOweSsidLen && std::memcmp(body, kCertOweSsid, kCertOweSsidLen) == 0) {
                a->CertOweTransPending = 1;
            } else if (len == 0) {
                a->CertOweTransPending = 0;
            }
        }
        break;
    case IE_SUPP_RATES:
        if (len > BSS_RATES_MAX) {
            return false;
        }
        std::memcpy(r->SupportedRates, body, len);
        r->SupportedRatesLen = static_cast<UCHAR>(len);
        c.seen.ratesSeen = true;
        break;
    case IE_DS_PARM:
        if (len != 1) {
            return false;
        }
        if (c.rxBand == BAND_6G) {
            break;
        }
        r->Channel = body[0];
        if (!FwBuildsChannelLists(a) && !ChannelIsInChannelList(a, r->Channel, CHANNEL_SEL_24G_5G)) {
            return false;
        }
        if (r->Channel == 0 || r->Channel == 255) {
            return false;
        }
        c.seen.dsSeen = true;
        c.seen.channelKnown = true;
        r->Band = r->Channel <= 14 ? BAND_24G : BAND_5G;
        break;
    case IE_CF_PARM:
        if (len != 6) {
            return false;
        }
        r->CfParams.Present = 1;
        r->CfParams.CfpCount = body[0];
        r->CfParams.CfpPeriod = body[1];
        r->CfParams.CfpMaxDuration = Le16(body + 2);
        r->CfParams.CfpDurRemaining = Le16(body + 4);
        break;
    case IE_TIM:
        if (c.port != nullptr && (c.port->ConnectionFlags & PORT_CONN_CONNECTED) != 0 && c.beacon) {
            UCHAR timLen = 0;
            (void)TimBitmapTest(element, static_cast<USHORT>(c.port->Aid & 0x3FFF), &timLen, &r->MulticastBuffered,
                                &r->DtimCount, &r->DtimPeriod, &r->UnicastBuffered);
        }
        break;
    case IE_IBSS_PARM:
        if (len != 2) {
            return false;
        }
        r->AtimWindow = Le16(body);
        break;
    case IE_COUNTRY:
        if (len >= 6) {
            c.seen.countrySeen = true;
            c.seen.country = element;
            r->CountryString = Le16(body);
        }
        break;
    case IE_BSS_LOAD:
        if (len == 5) {
            r->QbssLoad.Valid = 1;
            r->QbssLoad.StaCount = Le16(body);
            r->QbssLoad.ChannelUtilization = body[2];
        }
        break;
    case IE_POWER_CONSTRAINT:
        if (len >= 1) {
            r->PowerConstraint = body[0];
        }
        break;
    case IE_CHANNEL_SWITCH:
        if (len == 3) {
            std::memcpy(r->ChannelSwitch, body, 3);
        }
        break;
    case IE_ERP:
        if (len == 1) {
            r->ErpInfo = body[0];
        }
        break;
    case IE_HT_CAP:
        if (len >= BSS_HT_CAP_LEN) {
            std::memcpy(r->HtCapability, body, BSS_HT_CAP_LEN);
            r->HtCapabilityLen = BSS_HT_CAP_LEN;
            r->PreStdHtCapabilityLen = 0;
        }
        break;
    case IE_EXT_SUPP_RATES:
        if (len <= BSS_RATES_MAX) {
            std::memcpy(r->ExtendedRates, body, len);
            r->ExtendedRatesLen = static_cast<UCHAR>(len);
        }
        break;
    case IE_MOBILITY_DOMAIN:
        if (a->RegistryBlock.FastTransition != 0 && len == 3) {
            r->MobilityDomain.Present = 1;
            std::memcpy(&r->MobilityDomain.MdId, body, 2);
            r->MobilityDomain.FtCapPolicy = body[2];
        }
        break;
    case IE_EXT_CHANNEL_SWITCH:
        if (len == 4) {
            std::memcpy(r->ExtChannelSwitch, body, 4);
        }
        break;
    case IE_HT_OP:
        if (PhyModeHasHt(c.port) && len >= BSS_HT_OP_LEN) {
            std::memcpy(r->HtOperation, body, BSS_HT_OP_LEN);
            r->HtOperationLen = BSS_HT_OP_LEN;
            if (a->CurrentChannel > 14 && c.rxBand == BAND_5G) {
                r->Channel = body[0];
                r->Band = BAND_5G;
                c.seen.channelKnown = true;
            }
        }
        break;
    case IE_SECONDARY_CH_OFFSET:
        if (PhyModeHasHt(c.port) && len == 1) {
            r->SecondaryChannelOffset = body[0];
        }
        break;
    case IE_MULTIPLE_BSSID:
        if (len >= 1 && body[0] >= 1 && body[0] <= 8) {
            scanParsingMBSSIDSubelement(element, a->ScanTable, r->Bssid, r->Channel);
        }
        break;
    case IE_EXT_CAP:
        if (len >= 1) {
            std::memcpy(r->ExtCapabilities, body, len < BCN_EXT_CAP_LEN ? len : BCN_EXT_CAP_LEN);
        }
        break;
    case IE_VHT_CAP:
        if (c.port != nullptr && c.port->Cfg.VhtEnabled == 1) {
            c.seen.vhtCapSeen = true;
            if (len == BSS_VHT_CAP_LEN) {
                std::memcpy(r->VhtCapability, body, BSS_VHT_CAP_LEN);
            }
        }
        break;
    case IE_VHT_OP:
        if (c.port != nullptr && c.port->Cfg.VhtEnabled == 1) {
            c.seen.vhtOpSeen = true;
            if (len == BSS_VHT_OP_LEN) {
                std::memcpy(r->VhtOperation, body, BSS_VHT_OP_LEN);
            }
        }
        break;
    case IE_WIDE_BW_CHANNEL_SWITCH:
        if (len == 3) {
            std::memcpy(r->WideBandwidthChannelSwitch, body, 3);
        }
        break;
    case IE_TX_POWER_ENVELOPE:
        TransmitPowerEnvelope(c, body, len);
        break;
    case IE_OP_MODE_NOTIF:
        if (len == 1) {
            r->OpModeNotifPresent = 1;
            r->OpModeNotif = body[0];
        }
        break;
    case IE_VENDOR:
        VendorElement(c, element, len, wps);
        break;
    case IE_EXTENSION:
        ExtensionElement(c, element, len);
        break;
    default:
        break;
    }
    r->VhtPresent = static_cast<UCHAR>(c.seen.vhtCapSeen && c.seen.vhtOpSeen);
    r->HePresent = static_cast<UCHAR>(c.seen.heCapSeen && c.seen.heOpSeen);
    r->EhtPresent = static_cast<UCHAR>(c.seen.ehtCapSeen && c.seen.ehtOpSeen);
    return true;
}

void InitialValues(PBEACON_PARSE_RESULT r, const UCHAR* frame)
{
    std::memcpy(r->TransmitterAddress, frame + 10, 6);
    std::memcpy(r->Bssid, frame + 16, 6);
    r->SsidLen = 0;
    std::memcpy(&r->FrameTimestamp, frame + kHeaderLen, 8);
    r->BeaconPeriod = Le16(frame + 32);
    r->CapabilityInfo = Le16(frame + 34);
    r->BssType = (r->CapabilityInfo & 0x0002) != 0 ? BSS_ADHOC : BSS_INFRA;
    r->ChannelSwitch[0] = 0;
    r->ChannelSwitch[1] = 0;
    r->ExtChannelSwitch[0] = 0;
    r->ExtChannelSwitch[2] = 0;
    r->WideBandwidthChannelSwitch[0] = 0xFF;
    r->CfParams.Present = 0;
    r->AtimWindow = 0;
    r->ErpInfo = 0;
    r->DtimCount = 0;
    r->DtimPeriod = 0;
    r->MulticastBuffered = 0;
    r->UnicastBuffered = 0;
    r->SupportedRatesLen = 0;
    r->ExtendedRatesLen = 0;
    std::memset(&r->EdcaParameters, 0, sizeof(r->EdcaParameters));
    r->QbssLoad.Valid = 0;
    r->QosCapability.Valid = 0;
    r->MakerCapability = 0;
    r->HtCapabilityLen = 0;
    r->PreStdHtCapabilityLen = 0;
    r->VhtPresent = 0;
    r->HtOperationLen = 0;
    r->HePresent = 0;
    r->EhtPresent = 0;
    std::memset(r->ExtCapabilities, 0, sizeof(r->ExtCapabilities));
    r->SecondaryChannelOffset = 0xFF;
    r->CountryString = 0;
    r->BeaconWpsIeLen = 0;
    r->ProbeRspWpsIeLen = 0;
    r->LocalMaxTxPower = 0xFF;
    r->PowerConstraint = 0xFF;
    r->OpModeNotifPresent = 0;
    r->VarIeLen = 0;
    r->MobilityDomain.Present = 0;
    r->MboOcePresent = 0;
}

// The maximum transmit power of the Country element's triplet that covers the channel.
void LocalMaxPower(PBEACON_PARSE_RESULT r, const UCHAR* country)
{
    ULONG len = country[1];
    const UCHAR* body = country + 2;
    ULONG triplets = (len - 3) / 3;
    for (ULONG i = 0; i < triplets; ++i) {
        const UCHAR* t = body + 3 + 3 * i;
        int first = t[0];
        int last = first <= 14 ? first + t[1] - 1 : first + 4 * t[1] - 4;
        if (first <= r->Channel && r->Channel <= last) {
            r->LocalMaxTxPower = t[2];
            return;
        }
    }
}

}  // namespace

BOOLEAN TimBitmapTest(const UCHAR* element, USHORT aid, PUCHAR timLen, PUCHAR multicastBuffered, PUCHAR dtimCount,
                      PUCHAR dtimPeriod, PUCHAR unicastBuffered)
{
    ULONG len = element[1];
    const UCHAR* body = element + 2;
    *timLen = static_cast<UCHAR>(len);
    *multicastBuffered = 0;
    *unicastBuffered = 0;
    if (len < 3) {
        return TRUE;  // no bitmap control: nothing is buffered
    }
    *dtimCount = body[0];
    *dtimPeriod = body[1];
    ULONG n1 = body[2] & 0xFEu;
    *multicastBuffered = (*dtimCount == 0 && (body[2] & 1u) != 0) ? 1 : 0;
    ULONG a = aid;
    if (len >= 4 && 8 * n1 <= a && a < 8 * (n1 + len - 4) + 8) {
        ULONG octet = a / 8 - n1;
        *unicastBuffered = (body[3 + octet] >> (a % 8)) & 1u;
    }
    return TRUE;
}

void scanParsingMBSSIDSubelement(const UCHAR* element, PBSS_TABLE table, const UCHAR* bssid, UCHAR channel)
{
    ULONG len = element[1];
    const UCHAR* body = element + 2;
    if (len < 1 || table == nullptr) {
        return;
    }
    UCHAR n = body[0];
    if (n == 0 || n > 8) {
        return;
    }
    const UCHAR* subs = body + 1;
    ULONG subsLen = len - 1;
    ULONG pos = 0;
    while (pos + 2 <= subsLen && pos + 2 + subs[pos + 1] <= subsLen) {
        UCHAR id = subs[pos];
        ULONG subLen = subs[pos + 1];
        const UCHAR* profile = subs + pos + 2;
        if (id == 0) {
            ULONG e = 0;
            while (e + 2 <= subLen && e + 2 + profile[e + 1] <= subLen) {
                if (profile[e] == IE_MBSSID_INDEX && profile[e + 1] >= 1) {
                    UCHAR index = profile[e + 2];
                    UCHAR mask = static_cast<UCHAR>((1u << n) - 1u);
                    UCHAR member[6];
                    std::memcpy(member, bssid, 6);
                    member[5] = static_cast<UCHAR>((member[5] & ~mask) | (((member[5] & mask) + index) & mask));
                    LONG found = BssTableFindBssidOnBand(table, member, channel);
                    if (found != BSS_NOT_FOUND) {
                        table->BssEntry[found].MbssidIndicator = n;
                        table->BssEntry[found].MbssidIndex = index;
                    }
                    break;
                }
                e += 2u + profile[e + 1];
            }
        }
        pos += 2 + subLen;
    }
}

BOOLEAN MlmeSyncPeerBeaconAndProbeRspSanity(PMP_ADAPTER adapter, PMP_PORT port, const MLME_QUEUE_ELEM* elem,
                                            ULONG frameLen, PBEACON_PARSE_RESULT result)
{
    const UCHAR* frame = elem->Msg;
    ULONG len = frameLen < MLME_MSG_SIZE ? frameLen : MLME_MSG_SIZE;
    if (len < kFixedEnd) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "beacon or probe response of %u bytes: too short",
                 static_cast<unsigned>(len));
        return FALSE;
    }
    ParseContext c{adapter, port, result, {}, elem->Band, elem->Channel, ((frame[0] >> 4) & 0x0F) == kSubtypeBeacon};
    InitialValues(result, frame);

    ULONG pos = kFixedEnd;
    while (pos + 2 <= len) {
        const UCHAR* element = frame + pos;
        ULONG elen = element[1];
        if (pos + 2 + elen > len) {
            break;  // the first element that does not fit ends the walk
        }
        if (result->VarIeLen + 2u + elen >= BCN_PARSE_IE_LIMIT) {
            break;
        }
        bool wps = false;
        if (!Element(c, element, elen, &wps)) {
            return FALSE;
        }
        if (!wps && result->VarIes != nullptr) {
            std::memcpy(result->VarIes + result->VarIeLen, element, 2 + elen);
            result->VarIeLen = static_cast<USHORT>(result->VarIeLen + 2 + elen);
        }
        pos += 2 + elen;
    }

    if (c.seen.dsSeen && c.seen.countrySeen) {
        LocalMaxPower(result, c.seen.country);
    }
    if (!c.seen.channelKnown) {
        if (c.seen.vhtOpSeen && result->VhtOperation[0] != 0) {
            int distance = static_cast<int>(c.rxChannel) - static_cast<int>(result->VhtOperation[1]);
            if (distance > 6 || distance < -6) {
                DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "frame heard on channel %u away from its centre %u",
                         c.rxChannel, result->VhtOperation[1]);
                return FALSE;
            }
        }
        result->Channel = c.rxChannel;
        result->Band = c.rxBand;
        c.seen.channelKnown = true;
    }
    if (!FwBuildsChannelLists(adapter) && !ChannelIsInChannelList(adapter, result->Channel, CHANNEL_SEL_24G_5G) &&
        !ChannelIsInChannelList(adapter, result->Channel, CHANNEL_SEL_6G)) {
        return FALSE;
    }
    if (result->Channel == 0 || result->Channel == 255) {
        return FALSE;
    }
    if (result->Band == BAND_6G) {
        ULONG action = 0;
        BSSCheck6GFilterAction(adapter, port, result->Channel, BAND_6G, result->He6gOperation, &action);
        if (action == 3) {
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "6 GHz standard-power BSS on channel %u filtered",
                     result->Channel);
            return FALSE;
        }
    }
    return static_cast<BOOLEAN>(c.seen.ssidSeen && c.seen.ratesSeen);
}

BOOLEAN MlmeSyncPeerBeaconAndProbeRspSanity2(PMP_ADAPTER adapter, const UCHAR* frame, ULONG frameLen,
                                             PUCHAR obssScanParams, PUCHAR operatingClass)
{
    UNREFERENCED_PARAMETER(adapter);
    std::memset(obssScanParams, 0, OBSS_SCAN_PARAM_LEN);
    *operatingClass = 0;
    BOOLEAN found = FALSE;
    ULONG pos = kFixedEnd;
    while (pos + 2 <= frameLen && pos + 2 + frame[pos + 1] <= frameLen) {
        UCHAR id = frame[pos];
        ULONG len = frame[pos + 1];
        const UCHAR* body = frame + pos + 2;
        if (id == IE_SUPP_OP_CLASSES && len != 0) {
            *operatingClass = body[0];
        } else if (id == IE_OBSS_SCAN_PARM && len == OBSS_SCAN_PARAM_LEN) {
            std::memcpy(obssScanParams, body, OBSS_SCAN_PARAM_LEN);
            found = TRUE;
        } else if (id == IE_EXT_CHANNEL_SWITCH) {
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "extended channel switch of length %u", static_cast<unsigned>(len));
        }
        pos += 2 + len;
    }
    return found;
}
