// The (re)association response: its fields and elements, and what an accepted response changes in the
// adapter, the access point's station entry and the PHY mode.
#include <cstring>

#include "Common/he/eht_rlm.h"
#include "Common/he/he_rlm.h"
#include "Common/fwsettings.h"
#include "Common/mlme/mlmeassoc.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmeinfo_rate.h"
#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2p.h"
#include "Common/qzcmd_bss.h"
#include "Common/rlm_domain.h"
#include "Common/rlm_vht.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kRspFixedEnd = 30;
constexpr UCHAR kIdRates = 1;
constexpr UCHAR kIdExtRates = 50;
constexpr UCHAR kIdHtCap = 45;
constexpr UCHAR kIdHtCapDraft = 52;
constexpr UCHAR kIdHtOp = 61;
constexpr UCHAR kIdHtOpDraft = 53;
constexpr UCHAR kIdSecondaryOffset = 62;
constexpr UCHAR kIdExtCap = 127;
constexpr UCHAR kIdVhtCap = 191;
constexpr UCHAR kIdVhtOp = 192;
constexpr UCHAR kIdVendor = 221;
constexpr UCHAR kIdExtension = 255;
constexpr UCHAR kExtHeCap = 35;
constexpr UCHAR kExtHeOp = 36;
constexpr UCHAR kExtMuEdca = 38;
constexpr UCHAR kExtSrParams = 39;
constexpr UCHAR kExtHe6gCap = 59;
constexpr UCHAR kExtEhtCap = 108;
constexpr UCHAR kExtEhtOp = 106;
const UCHAR kOuiMarker[3] = {0x8C, 0xFD, 0xF0};
const UCHAR kWfaP2p[4] = {0x50, 0x6F, 0x9A, 0x09};
const UCHAR kWmmParam[6] = {0x00, 0x50, 0xF2, 0x02, 0x01, 0x01};

USHORT GetU16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }

bool HtMode(UCHAR mode) { return mode >= 5 && mode <= 14; }

// The WMM parameter element's body (24 bytes) into the EDCA record.
void ParseWmmParameters(const UCHAR* body, EDCA_PARM* edca)
{
    std::memset(edca, 0, sizeof(*edca));
    edca->Valid = 1;
    const UCHAR qos = body[6];
    edca->UapsdCapable = static_cast<UCHAR>((qos & 0x80) != 0 ? 1 : 0);
    edca->ParamSetCount = static_cast<UCHAR>(qos & 0x0F);
    // ACI 0 best effort, 1 background, 2 video, 3 voice: the record's order.
    for (ULONG i = 0; i < 4; ++i) {
        const UCHAR* ac = body + 8 + 4 * i;
        const UCHAR aci = static_cast<UCHAR>((ac[0] >> 5) & 0x3);
        edca->Acm[aci] = static_cast<UCHAR>((ac[0] >> 4) & 0x1);
        edca->Aifsn[aci] = static_cast<UCHAR>(ac[0] & 0x0F);
        edca->CwMin[aci] = static_cast<UCHAR>(ac[1] & 0x0F);
        edca->CwMax[aci] = static_cast<UCHAR>(ac[1] >> 4);
        edca->TxopLimit[aci] = GetU16(ac + 2);
    }
}

void ParseVendor(PMP_PORT port, const UCHAR* element, UCHAR length, PASSOC_RSP_FIELDS f)
{
    const UCHAR* body = element + 2;
    if (length > 4 && std::memcmp(body, kOuiMarker, 3) == 0) {
        f->VendorMarkerSeen = 1;
    }
    if (length >= 4 && std::memcmp(body, kWfaP2p, 4) == 0) {
        f->P2pElementLen = length;
    }
    if (length == 24 && std::memcmp(body, kWmmParam, 6) == 0) {
        ParseWmmParameters(body, &f->Edca);
    }
    UNREFERENCED_PARAMETER(port);
}

void ParseExtension(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* element, UCHAR length, PASSOC_RSP_FIELDS f)
{
    if (length < 1) {
        return;
    }
    switch (element[2]) {
    case kExtHeCap:
        if (heRlmRecHeCapInfo(adapter, port, &f->HeCap, element) != 0) {
            f->HeCapabilityPresent = 1;
        }
        break;
    case kExtHeOp:
        heRlmRecHeOperation(adapter, &f->HeOp, f->He6gOp, element);
        f->HeOperationPresent = 1;
        break;
    case kExtMuEdca:
        if (mqmUpdateMUEdcaParams(port, element, 0)) {
            (void)QZcmdnicQmUpdateMUEdcaParams(adapter, port);
        }
        break;
    case kExtSrParams:
        (void)heRlmRecSRParams(port, element);
        (void)QZcmdnicRlmUpdateSRParams(adapter, port);
        break;
    case kExtHe6gCap:
        if (length >= 3) {
            f->He6gCapability = GetU16(element + 3);
            f->He6gCapabilityPresent = 1;
        }
        break;
    case kExtEhtCap:
        ehtRlmRecCapInfo(adapter, port, &f->EhtCap, f->HeCapabilityPresent ? &f->HeCap : nullptr, element);
        f->EhtCapabilityPresent = 1;
        break;
    case kExtEhtOp:
        ehtRlmRecOperation(adapter, port, &f->EhtOp, element);
        f->EhtOperationPresent = 1;
        break;
    default:
        break;
    }
}

}  // namespace

BOOLEAN PeerAssocRspSanity(PMP_ADAPTER adapter, PMP_PORT port, const void* frame, ULONG length,
                           PASSOC_RSP_FIELDS fields)
{
    const auto* f = static_cast<const UCHAR*>(frame);
    if (fields == nullptr) {
        return FALSE;
    }
    std::memset(fields, 0, sizeof(*fields));
    fields->SecondaryChannelOffset = 0xFF;
    // The fixed fields must be there before they are read.
    if (f == nullptr || port == nullptr || length < kRspFixedEnd) {
        return FALSE;
    }
    std::memcpy(fields->Addr2, f + 10, 6);
    fields->CapabilityInfo = GetU16(f + 24);
    fields->Status = GetU16(f + 26);
    if (fields->Status != 0) {
        return TRUE;
    }
    fields->Aid = static_cast<USHORT>(GetU16(f + 28) & 0x3FFF);
    const bool ht = HtMode(port->WirelessMode);
    DOT11_IE_CURSOR cursor;
    Dot11IeCursorInit(&cursor, f + kRspFixedEnd, length - kRspFixedEnd);
    const UCHAR* element = nullptr;
    UCHAR len = 0;
    while (Dot11IeNext(&cursor, &element, &len)) {
        const UCHAR* body = element + 2;
        switch (element[0]) {
        case kIdRates:
            if (len < 13) {
                std::memcpy(fields->Rates, body, len);
                fields->RatesLen = len;
            }
            break;
        case kIdExtRates:
            if (len < 13) {
                std::memcpy(fields->ExtRates, body, len);
                fields->ExtRatesLen = len;
            }
            break;
        case kIdHtCap:
        case kIdHtCapDraft:
            if (ht && len >= sizeof(fields->HtCapability)) {
                std::memcpy(fields->HtCapability, body, sizeof(fields->HtCapability));
                fields->HtCapabilityLen = sizeof(fields->HtCapability);
            }
            break;
        case kIdHtOp:
        case kIdHtOpDraft:
            if (ht && len >= sizeof(fields->HtOperation)) {
                std::memcpy(fields->HtOperation, body, sizeof(fields->HtOperation));
                fields->HtOperationLen = sizeof(fields->HtOperation);
            }
            break;
        case kIdSecondaryOffset:
            if (ht && len == 1) {
                fields->SecondaryChannelOffset = body[0];
            }
            break;
        case kIdExtCap:
            if (len < 17) {
                std::memcpy(fields->ExtCapabilities, body, len);
                fields->ExtCapabilitiesLen = len;
            }
            break;
        case kIdVhtCap:
            if (len == sizeof(fields->VhtCapability)) {
                std::memcpy(fields->VhtCapability, body, len);
                fields->VhtCapabilityPresent = 1;
            }
            break;
        case kIdVhtOp:
            if (len == sizeof(fields->VhtOperation)) {
                std::memcpy(fields->VhtOperation, body, len);
                fields->VhtOperationPresent = 1;
            }
            break;
        case kIdVendor:
            ParseVendor(port, element, len, fields);
            break;
        case kIdExtension:
            ParseExtension(adapter, port, element, len, fields);
            break;
        default:
            break;
        }
    }
    fields->ElementsTrailing = cursor.Trailing ? 1 : 0;
    // On 2.4 GHz the VHT operation counts only when the request carried VHT capabilities.
    if (port->Channel.Band == BAND_24G && adapter->Mlme.Conn.VhtSent == 0) {
        fields->VhtOperationPresent = 0;
    }
    fields->VhtPresent = static_cast<UCHAR>(fields->VhtCapabilityPresent && fields->VhtOperationPresent);
    fields->HePresent = static_cast<UCHAR>(fields->HeCapabilityPresent && fields->HeOperationPresent);
    fields->EhtPresent = static_cast<UCHAR>(fields->EhtCapabilityPresent && fields->EhtOperationPresent);
    return TRUE;
}

UCHAR MlmeAssocPhyModeFromFlags(UCHAR flags)
{
    auto all = [flags](UCHAR bits) { return (flags & bits) == bits; };
    if (flags & 0x80) {
        return 14;
    }
    if (flags & 0x40) {
        return 13;
    }
    if (flags & 0x20) {
        return 11;
    }
    if (all(0x1B)) {
        return 5;
    }
    if (all(0x13)) {
        return 9;
    }
    if (all(0x12) || all(0x18)) {
        return 8;
    }
    if (all(0x0B)) {
        return 3;
    }
    if (all(0x03)) {
        return 0;
    }
    if (flags & 0x08) {
        return 2;
    }
    if (flags & 0x01) {
        return 1;
    }
    if (flags & 0x10) {
        return 6;
    }
    return 5;
}

UCHAR MlmeAssocLegacyFlags(USHORT rateBitmap, UCHAR channel, BOOLEAN heInUse)
{
    const bool ofdm = (rateBitmap & 0x3FC0) != 0;  // bits 6-13
    const bool cck = (rateBitmap & 0x000F) != 0;   // bits 0-3
    if (channel <= 14 && !heInUse) {
        return static_cast<UCHAR>((ofdm ? 0x02 : 0) | (cck ? 0x01 : 0));
    }
    return static_cast<UCHAR>(ofdm ? 0x08 : 0);
}

VOID MlmeAssocPostProc(PMP_ADAPTER adapter, PMP_PORT port, const ASSOC_RSP_FIELDS* f)
{
    if (port == nullptr || f == nullptr) {
        return;
    }
    MLME_CONN_ADAPTER_BLOCK& a = adapter->Mlme.Conn;
    UCHAR wlanIndex = MlmeSyncGetWlanIdxByRoleType(port, WLAN_ROLE_STA);
    a.AssocDone = 1;
    std::memcpy(adapter->Mlme.Cntl.MlmeBssid, f->Addr2, 6);
    a.AssociationId = f->Aid;
    a.CapabilityInfo = static_cast<USHORT>(f->CapabilityInfo & 0x1533);
    EDCA_PARM edca = f->Edca;
    if (f->HtCapabilityLen != 0 && !edca.Valid) {
        const UCHAR aifsn[4] = {3, 7, 2, 2};
        const UCHAR cwMin[4] = {4, 4, 3, 2};
        const UCHAR cwMax[4] = {10, 10, 4, 3};
        const USHORT txop[4] = {0, 0, 94, 47};
        std::memcpy(edca.Aifsn, aifsn, 4);
        std::memcpy(edca.CwMin, cwMin, 4);
        std::memcpy(edca.CwMax, cwMax, 4);
        std::memcpy(edca.TxopLimit, txop, sizeof(txop));
        edca.Valid = 1;
    }
    a.Edca = edca;
    std::memcpy(a.SupportedRates, f->Rates, f->RatesLen);
    a.SupportedRatesLen = f->RatesLen;
    std::memcpy(a.ExtendedRates, f->ExtRates, f->ExtRatesLen);
    a.ExtendedRatesLen = f->ExtRatesLen;
    KOVAFilterSupportedRates(adapter, a.SupportedRates, &a.SupportedRatesLen);
    KOVAFilterSupportedRates(adapter, a.ExtendedRates, &a.ExtendedRatesLen);
    if (port->PortType == WFD_CLIENT) {
        wlanIndex = P2pGetClientWcid(adapter, port);
    }
    if (wlanIndex >= RLM_WLAN_INDEX_LIMIT) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "association post-processing: WLAN index %u", wlanIndex);
        return;
    }
    const bool sixGhz = port->Channel.Band == BAND_6G;
    if (f->HtCapabilityLen != 0) {
        (void)KOVACheckHt(adapter, port, wlanIndex, f->HtCapability, f->HtOperationLen ? f->HtOperation : nullptr,
                          f->VhtPresent, f->VhtCapability);
    }
    const bool vht = port->Cfg.VhtEnabled && f->VhtPresent && !sixGhz;
    if (vht) {
        VHT_CAP_IE cap;
        VHT_OP_IE op;
        std::memcpy(&cap, f->VhtCapability, sizeof(cap) < sizeof(f->VhtCapability) ? sizeof(cap) : sizeof(f->VhtCapability));
        std::memcpy(&op, f->VhtOperation, sizeof(op) < sizeof(f->VhtOperation) ? sizeof(op) : sizeof(f->VhtOperation));
        (void)KOVACheckVht(adapter, port, wlanIndex, &cap, &op);
    }
    const bool heAllowed = port->HeEnabled && f->HePresent && port->PortType == EXTSTA;
    bool heInUse = false;
    if (heAllowed) {
        heInUse = QZCheckHe(adapter, port, wlanIndex, &f->HeCap, &f->HeOp, FALSE, f->He6gOp,
                            f->He6gCapabilityPresent ? &f->He6gCapability : nullptr) != FALSE;
    }
    const bool eht = port->Rlm.Eht.Enabled && f->EhtPresent && DomainCountrySupport80211be(port);
    if (eht) {
        (void)QZCheckEht(adapter, port, wlanIndex, &f->EhtCap, &f->EhtOp, FALSE);
    }

    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex);
    // The response part of the association information record, with the access point's stored elements.
    const LONG bss = BssTableSearch(adapter, port, adapter->ScanTable, f->Addr2, port->Channel.PrimaryChannel);
    if (bss >= 0 && adapter->ScanTable != nullptr) {
        ASSOC_INFO_RECORD& r = a.AssocInfo;
        const BSS_ENTRY& b = adapter->ScanTable->BssEntry[bss];
        r.Fixed.AvailableResponseFixedIEs = 7;
        r.Fixed.ResponseCapabilityInfo = f->CapabilityInfo;
        r.Fixed.ResponseStatusCode = 0;
        r.Fixed.ResponseAssociationId = f->Aid;
        r.Fixed.Length = ASSOC_INFO_OFFSET;
        const ULONG n = b.VarIeLen <= ASSOC_INFO_ELEMENTS_MAX ? b.VarIeLen : ASSOC_INFO_ELEMENTS_MAX;
        std::memcpy(r.ResponseIEs, b.VarIes, n);
        r.Fixed.ResponseIELength = n;
    }
    adapter->Mlme.ConnectRetryCount = 3;
    if (entry == nullptr) {
        return;
    }
    MlmeInfoSetSupportMCS(adapter, port, FALSE, entry, f->Rates, f->RatesLen, f->ExtRates, f->ExtRatesLen, nullptr, nullptr,
                          f->HtCapability, static_cast<UCHAR>(f->HtCapabilityLen != 0));
    UCHAR flags = 0;
    if (f->HtCapabilityLen != 0) {
        flags |= 0x10;
        const UCHAR spacing = static_cast<UCHAR>((f->HtCapability[2] >> 2) & 0x7);
        entry->MinMpduStartSpacing = spacing > 4 ? spacing : 5;
    }
    if (vht) {
        flags |= 0x20;
    }
    if (heInUse) {
        flags |= 0x40;
    }
    if (eht) {
        flags |= 0x80;
    }
    flags |= MlmeAssocLegacyFlags(entry->RateWord, port->Channel.PrimaryChannel, heInUse ? TRUE : FALSE);
    (void)MlmeInfoSetPhyMode(adapter, port, MlmeAssocPhyModeFromFlags(flags), TRUE);
}
