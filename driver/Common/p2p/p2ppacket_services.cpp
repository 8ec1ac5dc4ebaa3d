// Services of station connection and security that the Wi-Fi Direct frame builders call: the WPS
// device information of a port with its defaults.
#include "Common/p2p/p2ppacket_services.h"

#include <cstring>

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"

namespace {

constexpr UCHAR kUuidPrefix[10] = {0xAB, 0x02, 0xB1, 0xAB, 0x02, 0x24, 0x32, 0x03, 0x28, 0x32};
constexpr UCHAR kDefaultPrimaryType[P2P_DEVICE_TYPE_LEN] = {0x00, 0x01, 0x00, 0x50, 0xF2, 0x04, 0x00, 0x01};
constexpr char kDefaultDeviceName[] = "Quazil EX-Registrar";
constexpr char kDefaultManufacturer[] = "Quazel Inc.";
constexpr char kDefaultModelName[] = "Quazel Wireless Adapter";
constexpr char kDefaultModelNumber[] = "QZ0XXX";
constexpr char kDefaultSerialNumber[] = "12345678";

template <size_t N>
void CopyText(PUCHAR to, ULONG room, const char (&text)[N])
{
    PlatformMoveMemory(to, text, (N - 1) < room ? N - 1 : room);
}

bool Is5gMode(UCHAR mode)
{
    return mode == PHY_11A || mode == PHY_11AN_MIXED || mode == PHY_11VHT5G_ONLY;
}

}  // namespace

void WscSetDevInfo(PMP_ADAPTER adapter, PMP_PORT port, PWSC_DEVICE_INFO record)
{
    if (adapter == nullptr || port == nullptr || record == nullptr) {
        return;
    }
    record->Version = 0x10;
    record->Version2 = adapter->WorkingCfg.WscVersion2 >= 0x20 ? adapter->WorkingCfg.WscVersion2 : 0x10;
    // No UUID is configured for the port: the fixed prefix and the port's address.
    PlatformMoveMemory(record->Uuid, kUuidPrefix, sizeof(kUuidPrefix));
    PlatformMoveMemory(record->Uuid + sizeof(kUuidPrefix), port->MacAddress, P2P_ADDR_LEN);
    PlatformMoveMemory(record->MacAddress, port->MacAddress, P2P_ADDR_LEN);
    if (port->P2pDeviceNameLen > 0) {
        const UCHAR len = port->P2pDeviceNameLen > P2P_DEVICE_NAME_MAX ? P2P_DEVICE_NAME_MAX : port->P2pDeviceNameLen;
        PlatformMoveMemory(record->DeviceName, port->P2pDeviceName, len);
        record->DeviceNameLen = len;
    } else if (adapter->WpsDevNameLength > 0) {
        const UCHAR len = adapter->WpsDevNameLength > WPS_DEV_NAME_SIZE ? WPS_DEV_NAME_SIZE : adapter->WpsDevNameLength;
        PlatformMoveMemory(record->DeviceName, adapter->WpsDevName, len);
        record->DeviceNameLen = len;
    } else {
        CopyText(record->DeviceName, sizeof(record->DeviceName), kDefaultDeviceName);
        record->DeviceNameLen = sizeof(kDefaultDeviceName) - 1;
    }
    PlatformMoveMemory(record->PrimaryDeviceType, kDefaultPrimaryType, sizeof(kDefaultPrimaryType));
    CopyText(record->Manufacturer, sizeof(record->Manufacturer), kDefaultManufacturer);
    CopyText(record->ModelName, sizeof(record->ModelName), kDefaultModelName);
    CopyText(record->ModelNumber, sizeof(record->ModelNumber), kDefaultModelNumber);
    CopyText(record->SerialNumber, sizeof(record->SerialNumber), kDefaultSerialNumber);
    record->RfBands = Is5gMode(port->WirelessMode) ? 2 : 1;
    record->ConfigMethods = port->P2pConfigMethod;
}
