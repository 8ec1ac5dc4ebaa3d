// WPS of the station: device information, the probe- and association-request WPS elements, the WPS
// check of a stored BSS, the push-button and PIN searches for an access point, the EAP-WSC message
// mapping and the reset of a port's WPS state.
#include "Common/mlme/mlmewsc.h"

#include <cstring>

#include "Common/dot11_ie.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmesync_bss.h"
#include "Common/p2p/p2p.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kWpsOuiType[4] = {0x00, 0x50, 0xF2, 0x04};
constexpr UCHAR kWfaVendorId[3] = {0x00, 0x37, 0x2A};
constexpr UCHAR kWfaSubVersion2 = 0x00;
constexpr UCHAR kUuidPrefix[10] = {'T', 'e', 'l', 'v', 'a', 'r', 'W', 'P', 'S', '-'};
constexpr UCHAR kDefaultPrimaryType[WSC_DEVICE_TYPE_LEN] = {0x00, 0x01, 0x00, 0x50, 0xF2, 0x04, 0x00, 0x01};
constexpr char kDefaultDeviceName[] = "Quazil EX-Registrar";
constexpr char kDefaultManufacturer[] = "Quazel Inc.";
constexpr char kDefaultModelName[] = "Quazel Wireless Adapter";
constexpr char kDefaultModelNumber[] = "QZ0XXX";
constexpr char kDefaultSerialNumber[] = "12345678";
constexpr UCHAR kTestAttribute[8] = {'V', '5', '.', '7', 'T', 'E', 'S', 'T'};
constexpr UCHAR kVersion = 0x10;
constexpr UCHAR kVersion2Base = 0x20;  // a version 2 of at least this announces WPS 2.0
constexpr USHORT kConfigMethods = 0x228C;
constexpr USHORT kConfigMethodsQtTest = 0x638C;
constexpr ULONG kTestbedTestAttribute = 0x1;  // "WSC20Testbed" bit 0
constexpr ULONG kTestbedSplitElement = 0x2;   // "WSC20Testbed" bit 1
constexpr ULONG kSearchLookLimit = MAX_LEN_OF_BSS_TABLE;

USHORT GetBe16(const UCHAR* p)
{
    return static_cast<USHORT>((p[0] << 8) | p[1]);
}

// Copies a constant text with its terminating zero, cut to the field.
template <size_t N>
void CopyTextWithZero(PUCHAR to, ULONG room, const char (&text)[N])
{
    PlatformMoveMemory(to, text, N < room ? static_cast<ULONG>(N) : room);
}

bool OsAttributesPresent(const WSC_OS_ATTRIBUTES& attributes)
{
    const UCHAR* bytes = reinterpret_cast<const UCHAR*>(&attributes);
    for (ULONG i = 0; i < WSC_OS_ATTRIBUTES_PRESENT_SPAN; ++i) {
        if (bytes[i] != 0) {
            return true;
        }
    }
    return false;
}

// PHY modes whose band is 5 GHz: 11A, 11ABG, 11ABGN, 11AN, 11AGN, 11VHT and 11VHT 5 GHz only.
bool FiveGhzPhyMode(UCHAR mode)
{
    switch (mode) {
    case 2:
    case 3:
    case 5:
    case 8:
    case 10:
    case 11:
    case 12:
        return true;
    default:
        return false;
    }
}

// Writes attributes into a bounded buffer; an attribute that does not fit is not written and marks
// the writer as overflowed (the callers' buffers are sized for their largest element).
struct AttrWriter {
    PUCHAR Buffer;
    ULONG Room;
    ULONG Offset;
    bool Overflow;

    void Raw(const UCHAR* bytes, ULONG length)
    {
        if (Overflow || length > Room - Offset) {
            Overflow = true;
            return;
        }
        PlatformMoveMemory(Buffer + Offset, bytes, length);
        Offset += length;
    }
    void Byte(UCHAR value) { Raw(&value, 1); }
    void Attr(USHORT type, const void* value, ULONG length)
    {
        const UCHAR head[WSC_ATTR_HEADER_SIZE] = {static_cast<UCHAR>(type >> 8), static_cast<UCHAR>(type),
                                                  static_cast<UCHAR>(length >> 8), static_cast<UCHAR>(length)};
        if (Overflow || WSC_ATTR_HEADER_SIZE + length > Room - Offset) {
            Overflow = true;
            return;
        }
        Raw(head, sizeof(head));
        Raw(static_cast<const UCHAR*>(value), length);
    }
    void Attr8(USHORT type, UCHAR value) { Attr(type, &value, 1); }
    void Attr16(USHORT type, USHORT value)
    {
        const UCHAR be[2] = {static_cast<UCHAR>(value >> 8), static_cast<UCHAR>(value)};
        Attr(type, be, 2);
    }
    void Version2Tail(UCHAR version2, ULONG testbed)
    {
        const UCHAR extension[6] = {kWfaVendorId[0], kWfaVendorId[1], kWfaVendorId[2], kWfaSubVersion2, 1, version2};
        Attr(WSC_ID_VENDOR_EXTENSION, extension, sizeof(extension));
        if ((testbed & kTestbedTestAttribute) != 0) {
            Attr(WSC_ID_TEST, kTestAttribute, sizeof(kTestAttribute));
        }
    }
};

// The version 2 of a Vendor Extension attribute value (WFA vendor id, then sub-elements of
// one-byte id and length); FALSE when it carries none.
BOOLEAN VendorExtensionVersion2(const UCHAR* value, USHORT length, PUCHAR version2)
{
    if (length < sizeof(kWfaVendorId) || std::memcmp(value, kWfaVendorId, sizeof(kWfaVendorId)) != 0) {
        return FALSE;
    }
    DOT11_IE_WALK sub;
    Dot11IeWalkInit(&sub, value + sizeof(kWfaVendorId), length - sizeof(kWfaVendorId));
    while (Dot11IeWalkNext(&sub)) {
        if (sub.Id == kWfaSubVersion2 && sub.Length >= 1) {
            *version2 = sub.Body[0];
            return TRUE;
        }
    }
    return FALSE;
}

// What a search reads of an access point's WPS attributes.
struct ApWpsFacts {
    UCHAR Version2;
    bool SelectedRegistrar;
    bool PasswordIdPresent;
    USHORT PasswordId;
    UCHAR UuidE[WSC_UUID_LEN];
};

// Walks the WPS elements of a stored copy (one or more WPS vendor elements, headers included) and
// lets their attributes overwrite the facts gathered so far.
void CollectFacts(const UCHAR* copy, ULONG copyLength, ApWpsFacts* facts)
{
    DOT11_IE_WALK elements;
    Dot11IeWalkInit(&elements, copy, copyLength);
    while (Dot11IeWalkNextVendor(&elements, kWpsOuiType, sizeof(kWpsOuiType))) {
        WSC_ATTR_WALK attrs;
        WscAttrWalkInit(&attrs, elements.Body + sizeof(kWpsOuiType), elements.Length - sizeof(kWpsOuiType));
        while (WscAttrWalkNext(&attrs)) {
            switch (attrs.Type) {
            case WSC_ID_VENDOR_EXTENSION:
                (void)VendorExtensionVersion2(attrs.Value, attrs.Length, &facts->Version2);
                break;
            case WSC_ID_SELECTED_REGISTRAR:
                facts->SelectedRegistrar = true;
                break;
            case WSC_ID_DEVICE_PWD_ID:
                if (attrs.Length >= 2) {
                    facts->PasswordIdPresent = true;
                    facts->PasswordId = GetBe16(attrs.Value);
                }
                break;
            case WSC_ID_UUID_E:
                if (attrs.Length >= WSC_UUID_LEN) {
                    PlatformMoveMemory(facts->UuidE, attrs.Value, WSC_UUID_LEN);
                }
                break;
            default:
                break;
            }
        }
        if (attrs.Truncated) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "WPS attributes run past their element");
        }
    }
}

bool QualifiesForPushButton(const ApWpsFacts& f)
{
    if (!f.PasswordIdPresent || f.PasswordId != WSC_DPID_PUSH_BUTTON) {
        return false;
    }
    return f.Version2 <= kVersion || (f.Version2 >= kVersion2Base && f.SelectedRegistrar);
}

bool QualifiesForPin(const ApWpsFacts& f)
{
    if (!f.PasswordIdPresent) {
        return false;
    }
    const bool pinKind = f.PasswordId == WSC_DPID_PIN || f.PasswordId == WSC_DPID_USER_SPECIFIED ||
                         f.PasswordId == WSC_DPID_REGISTRAR_SPECIFIED;
    return pinKind && f.Version2 <= kVersion;
}

PWSC_CANDIDATES PortCandidates(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (port->Wsc.Candidates == nullptr) {
        PVOID block = nullptr;
        if (PlatformAllocateMemory(adapter, &block, sizeof(WSC_CANDIDATES), TAG_ZV06) != STATUS_SUCCESS) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "no memory for the WPS candidate table");
            return nullptr;
        }
        port->Wsc.Candidates = static_cast<PWSC_CANDIDATES>(block);
    }
    return port->Wsc.Candidates;
}

bool UuidIsZero(const UCHAR* uuid)
{
    for (ULONG i = 0; i < WSC_UUID_LEN; ++i) {
        if (uuid[i] != 0) {
            return false;
        }
    }
    return true;
}

ULONG ApSearch(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* bssid, UCHAR channel, PULONG index, bool pushButton)
{
    if (index != nullptr) {
        *index = 0xFFFFFFFFu;
    }
    if (adapter == nullptr || port == nullptr || bssid == nullptr || index == nullptr) {
        return 0;
    }
    adapter->Wsc.SelectedBssValid = 0;
    PBSS_TABLE scan = adapter->ScanTable;
    PWSC_CANDIDATES candidates = PortCandidates(adapter, port);
    if (scan == nullptr || candidates == nullptr) {
        return 0;
    }
    candidates->Table.EntryCount = 0;
    const ULONG entries = scan->EntryCount < MAX_LEN_OF_BSS_TABLE ? scan->EntryCount : MAX_LEN_OF_BSS_TABLE;
    ULONG found = 0;
    ULONG lastIndex = 0xFFFFFFFFu;
    for (ULONG i = 0; i < entries && i < kSearchLookLimit && found < MAX_LEN_OF_BSS_TABLE; ++i) {
        BSS_ENTRY& entry = scan->BssEntry[i];
        if (std::memcmp(entry.Bssid, bssid, WSC_MAC_LEN) != 0 || !BssSameBandSide(entry.Channel, channel) ||
            (entry.BeaconWpsIeLen == 0 && entry.ProbeRspWpsIeLen == 0)) {
            continue;
        }
        ApWpsFacts facts{};
        facts.Version2 = kVersion;
        const ULONG beaconLength = entry.BeaconWpsIeLen < BSS_IE_BUFFER_SIZE ? entry.BeaconWpsIeLen : BSS_IE_BUFFER_SIZE;
        CollectFacts(entry.BeaconWpsIe, beaconLength, &facts);
        bool qualifies = pushButton ? QualifiesForPushButton(facts) : QualifiesForPin(facts);
        if (!qualifies && entry.ProbeRspWpsIeLen != 0) {
            const ULONG probeLength =
                entry.ProbeRspWpsIeLen < BSS_IE_BUFFER_SIZE ? entry.ProbeRspWpsIeLen : BSS_IE_BUFFER_SIZE;
            CollectFacts(entry.ProbeRspWpsIe, probeLength, &facts);
            qualifies = pushButton ? QualifiesForPushButton(facts) : QualifiesForPin(facts);
        }
        entry.WpsVersion2 = facts.Version2;
        if (!qualifies) {
            continue;
        }
        PlatformMoveMemory(&candidates->Table.BssEntry[found], &entry, sizeof(BSS_ENTRY));
        PlatformMoveMemory(candidates->Uuid[found], facts.UuidE, WSC_UUID_LEN);
        ++found;
        lastIndex = i;
    }
    candidates->Table.EntryCount = static_cast<USHORT>(found);
    // A registrar seen in several entries (one UUID-E) counts once; different registrars answering at
    // once are an overlap.
    ULONG repeats = 0;
    for (ULONG i = 1; i < found; ++i) {
        for (ULONG j = 0; j < i; ++j) {
            if (!UuidIsZero(candidates->Uuid[i]) &&
                std::memcmp(candidates->Uuid[i], candidates->Uuid[j], WSC_UUID_LEN) == 0) {
                ++repeats;
                break;
            }
        }
    }
    const ULONG registrars = found - repeats;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "%s search: %u candidates, %u registrars",
             pushButton ? "push-button" : "PIN", static_cast<unsigned>(found), static_cast<unsigned>(registrars));
    if (registrars == 1) {
        *index = lastIndex;
        adapter->Wsc.SelectedBssValid = 1;
        adapter->Wsc.SelectedBssIndex = lastIndex;
    }
    return registrars;
}

}  // namespace

void WscAttrWalkInit(PWSC_ATTR_WALK walk, const UCHAR* attributes, ULONG length)
{
    walk->Cursor = attributes;
    walk->Remaining = attributes != nullptr ? length : 0;
    walk->Type = 0;
    walk->Length = 0;
    walk->Value = nullptr;
    walk->Truncated = FALSE;
}

BOOLEAN WscAttrWalkNext(PWSC_ATTR_WALK walk)
{
    if (walk->Remaining == 0) {
        return FALSE;
    }
    if (walk->Remaining < WSC_ATTR_HEADER_SIZE ||
        static_cast<ULONG>(GetBe16(walk->Cursor + 2)) > walk->Remaining - WSC_ATTR_HEADER_SIZE) {
        walk->Truncated = TRUE;
        walk->Remaining = 0;
        return FALSE;
    }
    walk->Type = GetBe16(walk->Cursor);
    walk->Length = GetBe16(walk->Cursor + 2);
    walk->Value = walk->Cursor + WSC_ATTR_HEADER_SIZE;
    walk->Cursor += WSC_ATTR_HEADER_SIZE + walk->Length;
    walk->Remaining -= WSC_ATTR_HEADER_SIZE + walk->Length;
    return TRUE;
}

void WscSetDevInfo(PMP_ADAPTER adapter, PMP_PORT port, PWSC_DEVICE_INFO record)
{
    if (adapter == nullptr || port == nullptr || record == nullptr) {
        return;
    }
    PlatformZeroMemory(record, sizeof(*record));
    const WSC_OS_ATTRIBUTES& os = port->Wsc.OsAttributes;
    const bool present = OsAttributesPresent(os);
    record->Version = kVersion;
    record->Version2 = adapter->WorkingCfg.WscVersion2 >= kVersion2Base ? adapter->WorkingCfg.WscVersion2 : kVersion;
    if (present) {
        PlatformMoveMemory(record->Uuid, os.Uuid, WSC_UUID_LEN);
    } else {
        PlatformMoveMemory(record->Uuid, kUuidPrefix, sizeof(kUuidPrefix));
        PlatformMoveMemory(record->Uuid + sizeof(kUuidPrefix), port->MacAddress, WSC_MAC_LEN);
    }
    PlatformMoveMemory(record->MacAddress, port->MacAddress, WSC_MAC_LEN);

    const PMP_PORT devicePort = adapter->P2pBlock != nullptr ? adapter->P2pBlock->DevicePort : nullptr;
    if (present) {
        PlatformMoveMemory(record->DeviceName, os.DeviceName, WSC_DEVICE_NAME_MAX);
    } else if (devicePort != nullptr && devicePort->P2pDiscoState >= 1) {
        PlatformMoveMemory(record->DeviceName, devicePort->P2pDeviceName, WSC_DEVICE_NAME_MAX);
        record->DeviceNameLen = WSC_DEVICE_NAME_MAX;
    } else if (port->Wsc.Role == 1) {
        const UCHAR length = adapter->WpsDevNameLength < WSC_DEVICE_NAME_MAX ? adapter->WpsDevNameLength
                                                                              : static_cast<UCHAR>(WSC_DEVICE_NAME_MAX);
        PlatformMoveMemory(record->DeviceName, adapter->WpsDevName, length);
        record->DeviceNameLen = length;
    } else {
        CopyTextWithZero(record->DeviceName, WSC_DEVICE_NAME_MAX, kDefaultDeviceName);
        record->DeviceNameLen = sizeof(kDefaultDeviceName);
    }

    if (present) {
        PlatformMoveMemory(record->Manufacturer, os.Manufacturer, WSC_MANUFACTURER_MAX);
        PlatformMoveMemory(record->ModelName, os.ModelName, WSC_MODEL_NAME_MAX);
        PlatformMoveMemory(record->ModelNumber, os.ModelNumber, WSC_MODEL_NUMBER_MAX);
        PlatformMoveMemory(record->SerialNumber, os.SerialNumber, WSC_SERIAL_NUMBER_MAX);
        PlatformMoveMemory(record->PrimaryDeviceType, os.PrimaryDeviceType, WSC_DEVICE_TYPE_LEN);
    } else {
        CopyTextWithZero(record->Manufacturer, WSC_MANUFACTURER_MAX, kDefaultManufacturer);
        CopyTextWithZero(record->ModelName, WSC_MODEL_NAME_MAX, kDefaultModelName);
        CopyTextWithZero(record->ModelNumber, WSC_MODEL_NUMBER_MAX, kDefaultModelNumber);
        CopyTextWithZero(record->SerialNumber, WSC_SERIAL_NUMBER_MAX, kDefaultSerialNumber);
        PlatformMoveMemory(record->PrimaryDeviceType, kDefaultPrimaryType, WSC_DEVICE_TYPE_LEN);
    }
    record->RfBands = FiveGhzPhyMode(port->WirelessMode) ? 2 : 1;

    // The access point's device password id, as its WPS element gave it.
    const BSS_TABLE* scan = adapter->ScanTable;
    if (adapter->Wsc.SelectedBssValid != 0 && scan != nullptr && adapter->Wsc.SelectedBssIndex < scan->EntryCount &&
        adapter->Wsc.SelectedBssIndex < MAX_LEN_OF_BSS_TABLE) {
        const USHORT stored = scan->BssEntry[adapter->Wsc.SelectedBssIndex].WpsDevicePasswordId;
        record->DevicePasswordId = GetBe16(reinterpret_cast<const UCHAR*>(&stored));
    }
    if (port->Wsc.OsElementInUse != 0 && present) {
        record->DevicePasswordId = GetBe16(os.DevicePasswordId);
    }
}

void WscMakeProbeReqIE(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN shortForm, PUCHAR buffer, PUSHORT length)
{
    if (length != nullptr) {
        *length = 0;
    }
    if (adapter == nullptr || port == nullptr || buffer == nullptr || length == nullptr) {
        return;
    }
    WSC_DEVICE_INFO info;
    WscSetDevInfo(adapter, port, &info);
    const ULONG testbed = adapter->WorkingCfg.WSC20Testbed;
    const bool wps2 = info.Version2 >= kVersion2Base;
    const bool qtTest = adapter->RegistryBlock.WpsQtTestEnable != 0;
    const bool split = (testbed & kTestbedSplitElement) != 0 && wps2;

    UCHAR element[WSC_PROBE_REQ_IE_MAX];
    AttrWriter w{element, sizeof(element), 0, false};
    ULONG secondElement = 0;  // where the element whose length covers the attributes starts
    if (split) {
        // A first element carries only the first byte of the Version attribute; the second goes on
        // with the rest of it.
        const UCHAR first[7] = {DOT11_IE_VENDOR, 5, kWpsOuiType[0], kWpsOuiType[1], kWpsOuiType[2], kWpsOuiType[3],
                                static_cast<UCHAR>(WSC_ID_VERSION >> 8)};
        w.Raw(first, sizeof(first));
        secondElement = w.Offset;
        const UCHAR head[WSC_IE_HEADER_SIZE] = {DOT11_IE_VENDOR, 0, kWpsOuiType[0], kWpsOuiType[1], kWpsOuiType[2],
                                                kWpsOuiType[3]};
        w.Raw(head, sizeof(head));
        const UCHAR rest[4] = {static_cast<UCHAR>(WSC_ID_VERSION), 0, 1, info.Version};
        w.Raw(rest, sizeof(rest));
    } else {
        const UCHAR head[WSC_IE_HEADER_SIZE] = {DOT11_IE_VENDOR, 0, kWpsOuiType[0], kWpsOuiType[1], kWpsOuiType[2],
                                                kWpsOuiType[3]};
        w.Raw(head, sizeof(head));
        w.Attr8(WSC_ID_VERSION, info.Version);
    }
    w.Attr8(WSC_ID_REQUEST_TYPE, 0);  // enrollee, information only
    w.Attr16(WSC_ID_CONFIG_METHODS, qtTest ? kConfigMethodsQtTest : kConfigMethods);
    w.Attr(WSC_ID_UUID_R, info.Uuid, WSC_UUID_LEN);
    w.Attr(WSC_ID_PRIMARY_DEVICE_TYPE, info.PrimaryDeviceType, WSC_DEVICE_TYPE_LEN);
    if (!shortForm) {
        w.Attr8(WSC_ID_RF_BANDS, info.RfBands);
        w.Attr16(WSC_ID_ASSOC_STATE, info.AssocState);
        w.Attr16(WSC_ID_CONFIG_ERROR, info.ConfigError);
        w.Attr16(WSC_ID_DEVICE_PWD_ID, qtTest ? WSC_DPID_PUSH_BUTTON : info.DevicePasswordId);
    }
    if (wps2) {
        const ULONG nameLength =
            adapter->WpsDevNameLength < WSC_DEVICE_NAME_MAX ? adapter->WpsDevNameLength : WSC_DEVICE_NAME_MAX;
        w.Attr(WSC_ID_DEVICE_NAME, adapter->WpsDevName, nameLength);
        w.Attr(WSC_ID_MANUFACTURER, kDefaultManufacturer, sizeof(kDefaultManufacturer) - 1);
        w.Attr(WSC_ID_MODEL_NAME, kDefaultModelName, sizeof(kDefaultModelName) - 1);
        w.Attr(WSC_ID_MODEL_NUMBER, kDefaultModelNumber, sizeof(kDefaultModelNumber) - 1);
        w.Version2Tail(info.Version2, testbed);
    }
    const ULONG elementLength = w.Offset - secondElement - 2;
    if (w.Overflow || elementLength > 255) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "%s: the WPS element does not fit", __func__);
        return;
    }
    element[secondElement + 1] = static_cast<UCHAR>(elementLength);
    PlatformMoveMemory(buffer, element, w.Offset);
    *length = static_cast<USHORT>(w.Offset);
}

void WscMakeAssocReqIE(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR buffer, PUCHAR length)
{
    if (length != nullptr) {
        *length = 0;
    }
    if (adapter == nullptr || port == nullptr || buffer == nullptr || length == nullptr) {
        return;
    }
    const bool enrollee = port->Wsc.Role == 1;
    const WSC_DEVICE_INFO& record = enrollee ? port->WscDevInfo[0] : port->WscDevInfo[1];
    UCHAR element[WSC_ASSOC_REQ_IE_MAX];
    AttrWriter w{element, sizeof(element), 0, false};
    const UCHAR head[WSC_IE_HEADER_SIZE] = {DOT11_IE_VENDOR, 0, kWpsOuiType[0], kWpsOuiType[1], kWpsOuiType[2],
                                            kWpsOuiType[3]};
    w.Raw(head, sizeof(head));
    w.Attr8(WSC_ID_VERSION, record.Version);
    w.Attr8(WSC_ID_REQUEST_TYPE, enrollee ? 1 : 3);
    if (record.Version2 >= kVersion2Base) {
        w.Version2Tail(record.Version2, adapter->WorkingCfg.WSC20Testbed);
    }
    if (w.Overflow) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "%s: the WPS element does not fit", __func__);
        return;
    }
    element[1] = static_cast<UCHAR>(w.Offset - 2);
    PlatformMoveMemory(buffer, element, w.Offset);
    *length = static_cast<UCHAR>(w.Offset);
}

void WscCheckWPSAP(PBSS_ENTRY entry)
{
    if (entry == nullptr) {
        return;
    }
    const ULONG length = entry->VarIeLen < BSS_IE_BUFFER_SIZE ? entry->VarIeLen : BSS_IE_BUFFER_SIZE;
    DOT11_IE_WALK elements;
    Dot11IeWalkInit(&elements, entry->VarIes, length);
    if (!Dot11IeWalkNextVendor(&elements, kWpsOuiType, sizeof(kWpsOuiType))) {
        // The element block kept may come from another frame than the WPS copies the BSS table
        // stored; while it holds such a copy, its marks stand.
        if (entry->BeaconWpsIeLen == 0 && entry->ProbeRspWpsIeLen == 0) {
            entry->WpsPresent = 0;
            entry->WpsVersion2 = kVersion;
        }
        return;
    }
    entry->WpsPresent = 1;
    entry->WpsVersion2 = kVersion;
    WSC_ATTR_WALK attrs;
    WscAttrWalkInit(&attrs, elements.Body + sizeof(kWpsOuiType), elements.Length - sizeof(kWpsOuiType));
    while (WscAttrWalkNext(&attrs)) {
        if (attrs.Type == WSC_ID_VENDOR_EXTENSION &&
            VendorExtensionVersion2(attrs.Value, attrs.Length, &entry->WpsVersion2)) {
            break;
        }
    }
}

ULONG WscPBCModeAPSearch(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* bssid, UCHAR channel, PULONG index)
{
    return ApSearch(adapter, port, bssid, channel, index, true);
}

ULONG WscPINModeAPSearch(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* bssid, UCHAR channel, PULONG index)
{
    return ApSearch(adapter, port, bssid, channel, index, false);
}

BOOLEAN WscMsgTypeSubst(UCHAR eapolType, UCHAR eapCode, PULONG message)
{
    constexpr UCHAR kEapolEapPacket = 0;
    constexpr UCHAR kEapolStart = 1;
    if (message == nullptr) {
        return FALSE;
    }
    switch (eapolType) {
    case kEapolEapPacket:
        switch (eapCode) {
        case 1:  // request
            *message = WSC_MSG_EAP_REQUEST;
            return TRUE;
        case 2:  // response
            *message = WSC_MSG_EAP_RESPONSE;
            return TRUE;
        case 4:  // failure
            *message = WSC_MSG_EAP_FAILURE;
            return TRUE;
        default:
            return FALSE;
        }
    case kEapolStart:
        *message = WSC_MSG_EAP_REQUEST;
        return TRUE;
    default:
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "%s: EAPOL packet type %u maps to no WSC message", __func__,
                 eapolType);
        return FALSE;
    }
}

void WscStop(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    for (PLATFORM_TIMER& timer : port->Wsc.Timers) {
        UCHAR cancelled = FALSE;
        PlatformCancelTimer(&timer, &cancelled);
    }
    port->WpsState = 0;
    port->WpsMode = 0;
    port->Wsc.OsElementInUse = 0;
    PlatformZeroMemory(port->Wsc.P2pRecord, sizeof(port->Wsc.P2pRecord));
    port->Wsc.P2pRecordLength = 0;
    MlmeCntlResetConnectTarget(adapter);
    // The search's bookkeeping: the candidates and the access point it settled on.
    WscFreePort(port);
    adapter->Wsc.SelectedBssValid = 0;
}

void WscFreePort(PMP_PORT port)
{
    if (port != nullptr && port->Wsc.Candidates != nullptr) {
        PlatformFreeMemory(port->Wsc.Candidates, sizeof(WSC_CANDIDATES));
        port->Wsc.Candidates = nullptr;
    }
}
