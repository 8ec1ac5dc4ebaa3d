// Wi-Fi Direct frames: the P2P attribute writer. Every P2P attribute the driver sends is written
// here, with the channel entries of a Channel List, the Group Info of a group owner and the Notice
// of Absence of the port's own schedule.
#include "Common/p2p/p2ppacket.h"

#include "Common/p2p/p2p.h"
#include "Common/p2p/p2ppacket_wire.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kWpsNameHead[2] = {0x10, 0x11};

bool IsWfdPort(PMP_PORT port)
{
    return port->PortType == WFD_DEVICE || port->PortType == WFD_GO || port->PortType == WFD_CLIENT;
}

ULONG BandOfChannel(UCHAR channel)
{
    return channel <= 14 ? BAND_24G : BAND_5G;
}

// Country string of the global operating-class table, operating class and channel.
void WriteChannelBody(PUCHAR body, UCHAR channel)
{
    body[0] = 'G';
    body[1] = 'L';
    body[2] = 0x04;
    body[3] = P2pOpClassFromChannel(channel, BandOfChannel(channel), 4);
    body[4] = channel;
}

// The primary device type a P2P Device Info attribute announces, and the secondary types (count and
// list) the OS supplied for a Wi-Fi Direct port.
const UCHAR* DeviceInfoTypes(PMP_ADAPTER adapter, PMP_PORT port, PULONG secondaryCount)
{
    *secondaryCount = 0;
    if (IsWfdPort(port)) {
        const auto& os = port->P2pOsSecondaryDeviceTypes;
        if (os.Count > 0 && os.Types != nullptr) {
            ULONG count = os.Count;
            if (os.ByteLength / P2P_DEVICE_TYPE_LEN < count) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: %u secondary types in %u bytes; none written",
                         __func__, os.Count, os.ByteLength);
                count = 0;
            } else if (count > P2P_OS_SECONDARY_TYPES_WRITTEN) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: %u secondary types cut to %u", __func__, os.Count,
                         P2P_OS_SECONDARY_TYPES_WRITTEN);
                count = P2P_OS_SECONDARY_TYPES_WRITTEN;
            }
            *secondaryCount = count;
        }
        return port->P2pPrimaryDeviceType;
    }
    const UCHAR role = port->P2pRolePortIndex;
    PMP_PORT rolePort = role < MP_MAX_PORTS ? adapter->PortList[role] : nullptr;
    if (rolePort != nullptr && rolePort->OpMode == 3) {
        return port->WscDevInfo[1].PrimaryDeviceType;
    }
    return port->WscDevInfo[0].PrimaryDeviceType;
}

ULONG DeviceNameLength(PMP_PORT port)
{
    return port->P2pDeviceNameLen > P2P_DEVICE_NAME_MAX ? P2P_DEVICE_NAME_MAX : port->P2pDeviceNameLen;
}

// Body of a P2P Device Info attribute; returns its length, 0 when it does not fit room.
ULONG WriteDeviceInfoBody(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* address, PUCHAR body, ULONG room)
{
    ULONG secondaryCount = 0;
    const UCHAR* primary = DeviceInfoTypes(adapter, port, &secondaryCount);
    const ULONG nameLen = DeviceNameLength(port);
    const ULONG bodyLen = 21 + nameLen + secondaryCount * P2P_DEVICE_TYPE_LEN;
    if (bodyLen > room) {
        return 0;
    }
    ULONG offset = 0;
    PlatformMoveMemory(body, address, P2P_ADDR_LEN);
    offset += P2P_ADDR_LEN;
    P2pPutBe16(body + offset, port->P2pWpsConfigMethods);
    offset += 2;
    PlatformMoveMemory(body + offset, primary, P2P_DEVICE_TYPE_LEN);
    offset += P2P_DEVICE_TYPE_LEN;
    body[offset++] = static_cast<UCHAR>(secondaryCount);
    if (secondaryCount > 0) {
        PlatformMoveMemory(body + offset, port->P2pOsSecondaryDeviceTypes.Types,
                           secondaryCount * P2P_DEVICE_TYPE_LEN);
        offset += secondaryCount * P2P_DEVICE_TYPE_LEN;
    }
    body[offset++] = kWpsNameHead[0];
    body[offset++] = kWpsNameHead[1];
    P2pPutBe16(body + offset, static_cast<USHORT>(nameLen));
    offset += 2;
    PlatformMoveMemory(body + offset, port->P2pDeviceName, nameLen);
    return bodyLen;
}

}  // namespace

ULONG InsertP2PAttribute(PMP_ADAPTER adapter, PMP_PORT port, UCHAR attributeId, const void* source,
                         PUCHAR destination, ULONG capacity)
{
    if (destination == nullptr || capacity == 0) {
        return 0;
    }
    PlatformZeroMemory(destination, capacity < P2P_ATTR_CLEAR_LEN ? capacity : P2P_ATTR_CLEAR_LEN);
    destination[0] = attributeId;
    if (adapter == nullptr || port == nullptr || capacity < P2P_ATTR_HEAD_LEN) {
        return 0;
    }
    const auto* src = static_cast<const UCHAR*>(source);
    PUCHAR body = destination + P2P_ATTR_HEAD_LEN;
    const ULONG room = capacity - P2P_ATTR_HEAD_LEN;
    ULONG bodyLen = 0;
    // Fixed copies from the source: body length for each id, 0 for the ids built below.
    switch (attributeId) {
    case P2P_ATTR_STATUS:
    case P2P_ATTR_GO_INTENT:
    case P2P_ATTR_INVITATION_FLAGS:
        bodyLen = 1;
        break;
    case P2P_ATTR_CAPABILITY:
    case P2P_ATTR_CONFIG_TIMEOUT:
        bodyLen = 2;
        break;
    case P2P_ATTR_DEVICE_ID:
    case P2P_ATTR_GROUP_BSSID:
    case P2P_ATTR_INTENDED_INTERFACE_ADDR:
        bodyLen = P2P_ADDR_LEN;
        break;
    case P2P_ATTR_LISTEN_CHANNEL:
    case P2P_ATTR_OPERATING_CHANNEL:
    case P2P_ATTR_EXT_LISTEN_TIMING:
    case P2P_ATTR_CHANNEL_LIST:
    case P2P_ATTR_DEVICE_INFO:
    case P2P_ATTR_GROUP_ID:
    case P2P_ATTR_INTERFACE:
        break;
    default:
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_P2P, "%s: attribute %u is not written here", __func__, attributeId);
        return 0;
    }
    const bool sourceIgnored = attributeId == P2P_ATTR_EXT_LISTEN_TIMING ||
                               (attributeId == P2P_ATTR_CHANNEL_LIST && port->PortType != WFD_DEVICE);
    if (src == nullptr && !sourceIgnored) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_P2P, "%s: attribute %u without its source", __func__, attributeId);
        return 0;
    }

    if (bodyLen != 0) {
        if (bodyLen > room) {
            return 0;
        }
        PlatformMoveMemory(body, src, bodyLen);
    } else {
        switch (attributeId) {
        case P2P_ATTR_LISTEN_CHANNEL:
        case P2P_ATTR_OPERATING_CHANNEL:
            bodyLen = 5;
            if (bodyLen > room) {
                return 0;
            }
            if (attributeId == P2P_ATTR_OPERATING_CHANNEL && IsWfdPort(port)) {
                PlatformMoveMemory(body, src, bodyLen);  // the complete body, as the caller built it
            } else {
                WriteChannelBody(body, src[0]);
            }
            break;
        case P2P_ATTR_EXT_LISTEN_TIMING:
            bodyLen = 4;
            if (bodyLen > room) {
                return 0;
            }
            P2pPutLe16(body, P2P_EXT_LISTEN_PERIOD);
            P2pPutLe16(body + 2, P2P_EXT_LISTEN_INTERVAL);
            break;
        case P2P_ATTR_CHANNEL_LIST: {
            if (room < 3) {
                return 0;
            }
            body[0] = 'G';
            body[1] = 'L';
            body[2] = 0x04;
            ULONG entriesLen = 0;
            if (!InsertP2PChannelEntries(adapter, port, src, &entriesLen, body + 3, room - 3)) {
                return 0;
            }
            bodyLen = entriesLen + 3;
            break;
        }
        case P2P_ATTR_DEVICE_INFO:
            bodyLen = WriteDeviceInfoBody(adapter, port, src, body, room);
            if (bodyLen == 0) {
                return 0;
            }
            break;
        case P2P_ATTR_GROUP_ID: {
            const ULONG ssidLen = port->P2pSsidLen > P2P_SSID_MAX ? P2P_SSID_MAX : port->P2pSsidLen;
            bodyLen = P2P_ADDR_LEN + ssidLen;
            if (bodyLen > room) {
                return 0;
            }
            PlatformMoveMemory(body, src, P2P_ADDR_LEN);
            PlatformMoveMemory(body + P2P_ADDR_LEN, port->P2pSsid, ssidLen);
            break;
        }
        case P2P_ATTR_INTERFACE:
            bodyLen = 2 * P2P_ADDR_LEN + 1;
            if (bodyLen > room) {
                return 0;
            }
            PlatformMoveMemory(body, src, P2P_ADDR_LEN);
            body[P2P_ADDR_LEN] = 1;
            PlatformMoveMemory(body + P2P_ADDR_LEN + 1, src, P2P_ADDR_LEN);
            break;
        default:
            return 0;
        }
    }
    P2pPutLe16(destination + 1, static_cast<USHORT>(bodyLen));
    return bodyLen + P2P_ATTR_HEAD_LEN;
}

BOOLEAN InsertP2PChannelEntries(PMP_ADAPTER adapter, PMP_PORT port, const void* source, PULONG outLength,
                                PUCHAR destination, ULONG capacity)
{
    *outLength = 0;
    const UCHAR* channels = nullptr;
    ULONG count = 0;
    ULONG stride = 1;
    UCHAR selector = 1;
    if (port->PortType == WFD_DEVICE) {
        const auto* list = static_cast<const P2P_CHANNEL_LIST*>(source);
        if (list != nullptr) {
            channels = list->Channels;
            count = list->Count > P2P_CHANNEL_LIST_MAX ? P2P_CHANNEL_LIST_MAX : list->Count;
        }
        selector = 4;
    } else {
        channels = &adapter->Country.ChannelList[0].Channel;
        stride = sizeof(DOMAIN_CHANNEL_ENTRY);
        count = adapter->Country.ChannelListCount > DOMAIN_CHANNEL_MAX ? DOMAIN_CHANNEL_MAX : adapter->Country.ChannelListCount;
    }

    ULONG offset = 0;
    ULONG entryStart = 0;
    UCHAR entryClass = 0;
    for (ULONG i = 0; i < count; ++i) {
        const UCHAR channel = channels[i * stride];
        const UCHAR opClass = P2pOpClassFromChannel(channel, BandOfChannel(channel), selector);
        if (i == 0 || opClass != entryClass) {
            if (offset + 3 > capacity) {
                return FALSE;
            }
            entryStart = offset;
            entryClass = opClass;
            destination[offset++] = opClass;
            destination[offset++] = 0;
        } else if (offset + 1 > capacity) {
            return FALSE;
        }
        destination[offset++] = channel;
        ++destination[entryStart + 1];
    }
    if (count == 0) {
        if (capacity < 2) {
            return FALSE;
        }
        destination[offset++] = 0;
        destination[offset++] = 0;
    }
    *outLength = offset;
    return TRUE;
}

ULONG P2pWriteGroupInfoAttribute(const P2P_CLIENT_INFO* clients, ULONG clientCount, PUCHAR destination,
                                 ULONG capacity)
{
    if (destination == nullptr || capacity < P2P_ATTR_HEAD_LEN) {
        return 0;
    }
    destination[0] = P2P_ATTR_GROUP_INFO;
    destination[1] = 0;
    destination[2] = 0;
    ULONG offset = P2P_ATTR_HEAD_LEN;
    for (ULONG i = 0; i < clientCount; ++i) {
        const P2P_CLIENT_INFO& client = clients[i];
        const ULONG types = client.SecondaryTypeCount > P2P_GROUP_INFO_SECONDARY_MAX ? P2P_GROUP_INFO_SECONDARY_MAX
                                                                                     : client.SecondaryTypeCount;
        const ULONG nameLen = client.DeviceNameLen > P2P_DEVICE_NAME_MAX ? P2P_DEVICE_NAME_MAX : client.DeviceNameLen;
        const ULONG descLen = nameLen + 28 + types * P2P_DEVICE_TYPE_LEN;
        if (offset + 1 + descLen > capacity || offset + 1 + descLen - P2P_ATTR_HEAD_LEN > 0xFFFF) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "%s: clients from %u on do not fit", __func__, i);
            break;
        }
        PUCHAR d = destination + offset;
        d[0] = static_cast<UCHAR>(descLen);
        PlatformMoveMemory(d + 1, client.DeviceAddress, P2P_ADDR_LEN);
        PlatformMoveMemory(d + 7, client.InterfaceAddress, P2P_ADDR_LEN);
        d[13] = static_cast<UCHAR>(client.DeviceCapability |
                                   (client.ClientDiscoverable ? P2P_DEVCAP_CLIENT_DISCOVERABILITY : 0));
        PlatformMoveMemory(d + 14, &client.ConfigMethods, 2);
        PlatformMoveMemory(d + 16, client.PrimaryDeviceType, P2P_DEVICE_TYPE_LEN);
        d[24] = static_cast<UCHAR>(types);
        ULONG at = 25;
        PlatformMoveMemory(d + at, client.SecondaryTypes, types * P2P_DEVICE_TYPE_LEN);
        at += types * P2P_DEVICE_TYPE_LEN;
        d[at++] = kWpsNameHead[0];
        d[at++] = kWpsNameHead[1];
        P2pPutBe16(d + at, static_cast<USHORT>(nameLen));
        at += 2;
        PlatformMoveMemory(d + at, client.DeviceName, nameLen);
        offset += 1 + descLen;
    }
    if (offset == P2P_ATTR_HEAD_LEN) {
        destination[0] = 0;
        return 0;
    }
    P2pPutLe16(destination + 1, static_cast<USHORT>(offset - P2P_ATTR_HEAD_LEN));
    return offset;
}

NTSTATUS P2pGoGetClientInfo(PMP_ADAPTER adapter, PMP_PORT port, PP2P_CLIENT_INFO clients, ULONG maxClients,
                            PULONG clientCount)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(clients);
    UNREFERENCED_PARAMETER(maxClients);
    *clientCount = 0;
    // The station entries do not carry a client's P2P records yet.
    return NOT_BUILT_YET();
}

ULONG GoMakeGroupInfoAttribute(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR destination, ULONG capacity)
{
    if (adapter == nullptr) {
        return 0;
    }
    if (port == nullptr) {
        port = adapter->PortList[0];
    }
    if (port == nullptr) {
        return 0;
    }
    // Every station entry of a port comes from the adapter's pool of 20.
    P2P_CLIENT_INFO clients[20];
    ULONG clientCount = 0;
    if (!NT_SUCCESS(P2pGoGetClientInfo(adapter, port, clients, 20, &clientCount))) {
        return 0;
    }
    return P2pWriteGroupInfoAttribute(clients, clientCount, destination, capacity);
}

ULONG P2PInsertNoAAttribute(PMP_ADAPTER adapter, PMP_PORT port, ULONG startTime, PUCHAR destination,
                            ULONG capacity)
{
    UNREFERENCED_PARAMETER(adapter);
    if (port == nullptr || destination == nullptr || capacity < P2P_NOA_ATTR_LEN) {
        return 0;
    }
    destination[0] = P2P_ATTR_NOTICE_OF_ABSENCE;
    P2pPutLe16(destination + 1, P2P_NOA_ATTR_LEN - P2P_ATTR_HEAD_LEN);
    destination[3] = port->P2pNoaIndex;
    destination[4] = 0;
    destination[5] = port->P2pNoaCount;
    P2pPutLe32(destination + 6, port->P2pNoaDuration);
    P2pPutLe32(destination + 10, port->P2pNoaInterval);
    P2pPutLe32(destination + 14, startTime);
    return P2P_NOA_ATTR_LEN;
}
