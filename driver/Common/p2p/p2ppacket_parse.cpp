// Wi-Fi Direct frames: the P2P attribute parser. The information elements of a received frame (or a
// collected run of them ending in a combined P2P element) are walked; the WPS element and the
// attributes of every P2P element fill the fields of the parsed-attribute record the caller wants.
// Every length read from the frame is checked against the bytes that hold it.
#include "Common/p2p/p2ppacket.h"

#include "Common/p2p/p2p.h"
#include "Common/p2p/p2ppacket_wire.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kOuiLen = 4;
constexpr ULONG kDeviceInfoFixed = 17;  // address, config methods, primary type, secondary count
constexpr ULONG kNameHeadLen = 4;       // u16 type 0x1011, u16 length, both big-endian
constexpr ULONG kGroupIdMin = 7;
constexpr ULONG kGroupIdMax = 38;
constexpr ULONG kChannelAttrLen = 5;

enum class ElementKind { Other, Wps, P2p, Combined };

struct ParseState {
    PP2P_PARSED_ATTRS Record;
    bool DeviceIdSeen;  // a P2P Device ID attribute was met earlier in this call
};

bool Wants(const ParseState& state, ULONG field)
{
    return (state.Record->Wanted & field) != 0;
}

// Kind of the element at e with avail bytes from e to the end of the data; the OUI is compared only
// when the element's own length and the data both hold it.
ElementKind KindOf(const UCHAR* e, ULONG avail)
{
    if (avail >= 2 + kOuiLen && e[1] >= kOuiLen) {
        if (memcmp(e + 2, kWpsOui, kOuiLen) == 0) {
            return ElementKind::Wps;
        }
        if (memcmp(e + 2, kP2pOui, kOuiLen) == 0) {
            return ElementKind::P2p;
        }
    }
    if (avail >= sizeof(P2P_COMBINED_ELEMENT) && P2pGetLe16(e + 1) >= kOuiLen &&
        memcmp(e + 3, kP2pOui, kOuiLen) == 0) {
        return ElementKind::Combined;
    }
    return ElementKind::Other;
}

ULONG SizeOf(const UCHAR* e, ElementKind kind)
{
    return kind == ElementKind::Combined ? P2pGetLe16(e + 1) + 3u : e[1] + 2u;
}

void CopyAddress(PUCHAR to, const UCHAR* from)
{
    PlatformMoveMemory(to, from, P2P_ADDR_LEN);
}

void ParseDeviceInfo(ParseState& state, const UCHAR* body, ULONG length)
{
    PP2P_PARSED_ATTRS rec = state.Record;
    // The whole layout must lie inside the attribute: fixed part, secondary types, name header, name.
    if (length < kDeviceInfoFixed) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: device info of %u bytes skipped", __func__, length);
        return;
    }
    const ULONG count = body[16];
    const ULONG nameAt = kDeviceInfoFixed + count * P2P_DEVICE_TYPE_LEN;
    if (nameAt + kNameHeadLen > length || nameAt + kNameHeadLen + P2pGetBe16(body + nameAt + 2) > length) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: device info with %u secondary types runs past its %u bytes",
                 __func__, count, length);
        return;
    }
    if (Wants(state, P2P_WANT_DEVICE_ADDRESS)) {
        CopyAddress(rec->DeviceAddress, body);
    }
    if (Wants(state, P2P_WANT_CONFIG_METHODS)) {
        rec->ConfigMethods = P2pGetBe16(body + 6);
    }
    if (Wants(state, P2P_WANT_PRIMARY_DEVICE_TYPE)) {
        PlatformMoveMemory(rec->PrimaryDeviceType, body + 8, P2P_DEVICE_TYPE_LEN);
    }
    if (Wants(state, P2P_WANT_SECONDARY_DEVICE_TYPES) && count >= 1 && count <= 127) {
        const ULONG stored = count > P2P_PARSED_SECONDARY_MAX ? P2P_PARSED_SECONDARY_MAX : count;
        rec->SecondaryDeviceTypeCount = static_cast<UCHAR>(stored);
        PlatformMoveMemory(rec->SecondaryDeviceTypes, body + kDeviceInfoFixed, stored * P2P_DEVICE_TYPE_LEN);
    }
    const USHORT nameType = P2pGetBe16(body + nameAt);
    const USHORT nameLen = P2pGetBe16(body + nameAt + 2);
    if (Wants(state, P2P_WANT_DEVICE_NAME) && nameType == WSC_ID_DEVICE_NAME && nameLen <= P2P_DEVICE_NAME_MAX) {
        PlatformMoveMemory(rec->DeviceName, body + nameAt + kNameHeadLen, nameLen);
        rec->DeviceNameLength = static_cast<UCHAR>(nameLen);
    }
}

void ParseChannelList(ParseState& state, const UCHAR* body, ULONG length)
{
    PP2P_PARSED_ATTRS rec = state.Record;
    rec->ChannelCount = 0;
    ULONG at = 3;  // after the country string
    while (at + 2 <= length) {
        const ULONG count = body[at + 1];
        if (at + 2 + count > length) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: entry of class %u with %u channels runs past the list",
                     __func__, body[at], count);
            break;
        }
        for (ULONG i = 0; i < count; ++i) {
            if (rec->ChannelCount >= P2P_PARSED_CHANNELS_MAX) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: channels beyond %u dropped", __func__,
                         P2P_PARSED_CHANNELS_MAX);
                return;
            }
            rec->ChannelNumbers[rec->ChannelCount++] = body[at + 2 + i];
        }
        at += 2 + count;
        if (length - at <= 2) {
            break;
        }
    }
}

void ParseAttribute(ParseState& state, UCHAR id, const UCHAR* body, ULONG length)
{
    PP2P_PARSED_ATTRS rec = state.Record;
    switch (id) {
    case P2P_ATTR_STATUS:
        if (length == 1 && Wants(state, P2P_WANT_STATUS)) {
            rec->Status = body[0];
        }
        break;
    case P2P_ATTR_CAPABILITY:
        if (length == 2 && Wants(state, P2P_WANT_CAPABILITY)) {
            rec->DeviceCapability = body[0];
            rec->GroupCapability = body[1];
        }
        break;
    case P2P_ATTR_DEVICE_ID:
        if (length == P2P_ADDR_LEN) {
            state.DeviceIdSeen = true;
            if (Wants(state, P2P_WANT_DEVICE_ADDRESS)) {
                CopyAddress(rec->DeviceAddress, body);
            }
        }
        break;
    case P2P_ATTR_GO_INTENT:
        if (length == 1 && Wants(state, P2P_WANT_GO_INTENT)) {
            rec->GoIntent = body[0];
        }
        break;
    case P2P_ATTR_LISTEN_CHANNEL:
        if (length == kChannelAttrLen && Wants(state, P2P_WANT_LISTEN_CHANNEL)) {
            rec->ListenChannel = body[4];
        }
        break;
    case P2P_ATTR_GROUP_BSSID:
        if (length == P2P_ADDR_LEN && Wants(state, P2P_WANT_GROUP_BSSID)) {
            CopyAddress(rec->GroupBssid, body);
        }
        break;
    case P2P_ATTR_INTENDED_INTERFACE_ADDR:
        if (length == P2P_ADDR_LEN && Wants(state, P2P_WANT_INTERFACE_ADDRESS)) {
            CopyAddress(rec->InterfaceAddress, body);
        }
        break;
    case P2P_ATTR_CHANNEL_LIST:
        if (length >= 6 && Wants(state, P2P_WANT_CHANNEL_NUMBERS)) {
            ParseChannelList(state, body, length);
        }
        break;
    case P2P_ATTR_DEVICE_INFO:
        ParseDeviceInfo(state, body, length);
        break;
    case P2P_ATTR_GROUP_ID:
        if (length < kGroupIdMin || length > kGroupIdMax) {
            break;
        }
        if (Wants(state, P2P_WANT_GROUP_SSID)) {
            rec->GroupSsidLength = static_cast<UCHAR>(length - P2P_ADDR_LEN);
            PlatformMoveMemory(rec->GroupSsid, body + P2P_ADDR_LEN, length - P2P_ADDR_LEN);
        }
        if (!state.DeviceIdSeen && Wants(state, P2P_WANT_DEVICE_ADDRESS)) {
            CopyAddress(rec->DeviceAddress, body);
        }
        break;
    case P2P_ATTR_OPERATING_CHANNEL:
        if (length == kChannelAttrLen && Wants(state, P2P_WANT_OPERATING_CHANNEL)) {
            rec->OperatingChannel = body[4];
        }
        break;
    case P2P_ATTR_INVITATION_FLAGS:
        if (length == 1 && Wants(state, P2P_WANT_INVITATION_FLAGS)) {
            rec->InvitationFlags = body[0];
        }
        break;
    case P2P_ATTR_CONFIG_TIMEOUT:
    case P2P_ATTR_EXT_LISTEN_TIMING:
    case P2P_ATTR_MANAGEABILITY:
    case P2P_ATTR_NOTICE_OF_ABSENCE:
    case P2P_ATTR_GROUP_INFO:
        break;
    default:
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_P2P, "%s: unknown attribute %u of %u bytes", __func__, id, length);
        break;
    }
}

// The attributes of one P2P element; body points at its OUI, bodyLen counts the OUI.
void ParseAttributes(ParseState& state, const UCHAR* body, ULONG bodyLen)
{
    ULONG consumed = kOuiLen;
    while (consumed + P2P_ATTR_HEAD_LEN <= bodyLen) {
        const UCHAR id = body[consumed];
        const ULONG length = P2pGetLe16(body + consumed + 1);
        if (consumed + P2P_ATTR_HEAD_LEN + length > bodyLen) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: attribute %u of %u bytes runs past its element", __func__,
                     id, length);
            return;
        }
        ParseAttribute(state, id, body + consumed + P2P_ATTR_HEAD_LEN, length);
        consumed += P2P_ATTR_HEAD_LEN + length;
    }
}

void ParseWps(ParseState& state, const UCHAR* element, ULONG size, UCHAR beaconFlag)
{
    PP2P_PARSED_ATTRS rec = state.Record;
    const bool wantPwd = Wants(state, P2P_WANT_DEVICE_PASSWORD_ID);
    const bool wantMethods = Wants(state, P2P_WANT_WPS_CONFIG_METHODS);
    const bool wantName = beaconFlag != 0 && Wants(state, P2P_WANT_DEVICE_NAME);
    USHORT passwordId = rec->DevicePasswordId;
    USHORT methods = rec->WpsConfigMethods;
    UCHAR name[P2P_DEVICE_NAME_MAX];
    UCHAR nameLen = 0;
    P2PParseWPSIE(element, size, wantPwd ? &passwordId : nullptr, wantMethods ? &methods : nullptr,
                  wantName ? name : nullptr, wantName ? &nameLen : nullptr, nullptr, nullptr, nullptr);
    if (wantPwd) {
        rec->DevicePasswordId = passwordId;
    }
    if (wantMethods) {
        rec->WpsConfigMethods = methods;
    }
    if (wantName && nameLen > 0) {
        PlatformMoveMemory(rec->DeviceName, name, nameLen);
        rec->DeviceNameLength = nameLen;
    }
}

}  // namespace

void P2pParseSubElmt(PMP_ADAPTER adapter, const UCHAR* buffer, ULONG length, UCHAR beaconFlag,
                     PP2P_PARSED_ATTRS record)
{
    UNREFERENCED_PARAMETER(adapter);
    if (buffer == nullptr || record == nullptr || length == 0) {
        return;
    }
    ParseState state{record, false};
    ULONG offset = 0;
    while (offset + 2 <= length) {
        const UCHAR* e = buffer + offset;
        const ElementKind kind = KindOf(e, length - offset);
        const ULONG size = SizeOf(e, kind);
        if (size > length - offset) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: element %u of %u bytes runs past the %u bytes", __func__,
                     e[0], size, length);
            return;
        }
        switch (kind) {
        case ElementKind::Wps:
            ParseWps(state, e, size, beaconFlag);
            break;
        case ElementKind::P2p:
            ParseAttributes(state, e + 2, size - 2);
            break;
        case ElementKind::Combined:
            ParseAttributes(state, e + 3, size - 3);
            if (offset + size < length) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: bytes after the combined element ignored", __func__);
            }
            return;
        case ElementKind::Other:
            break;
        }
        offset += size;
    }
}
