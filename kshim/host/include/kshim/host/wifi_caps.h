// The capability records a device reported to the Wi-Fi class extension, as copies the harness keeps
// (lists copied out of the driver's memory). Driver code never includes it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "kshim/wificx_caps.h"

namespace kshim::host {

struct WifiBandRecord {
    WIFI_BAND_INFO info{};  // its list pointers are not to be followed
    std::vector<uint32_t> phyTypes;
    std::vector<WIFI_CHANNEL_MAPPING_ENTRY> channels;
    std::vector<uint32_t> widths;
};

struct WifiCapabilitiesRecord {
    std::optional<WIFI_DEVICE_CAPABILITIES> device;
    std::optional<WIFI_STATION_CAPABILITIES> station;  // list pointers not to be followed
    std::vector<DOT11_AUTH_CIPHER_PAIR> unicast, multicastData, multicastMgmt;
    std::optional<WIFI_BAND_CAPABILITIES> band;
    std::vector<WifiBandRecord> bands;
    std::optional<WIFI_PHY_CAPABILITIES> phy;
    std::vector<WIFI_PHY_INFO> phys;
    std::optional<WIFI_WIFI_DIRECT_CAPABILITIES> wifiDirect;
    std::vector<DOT11_AUTH_CIPHER_PAIR> wfdUnicast, wfdMulticast;
    std::vector<std::array<uint8_t, WIFI_MAC_ADDRESS_LENGTH>> wfdInterfaceAddresses;
    std::vector<const char*> order;  // "device", "station", ... in the order reported
};

// What the device reported (an empty record for a device that reported nothing).
WifiCapabilitiesRecord WifiCapabilitiesOf(WDFDEVICE device);
void WifiClearCapabilities();

}  // namespace kshim::host
