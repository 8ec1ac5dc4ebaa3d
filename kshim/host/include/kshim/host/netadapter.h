// The harness's view of a device's net adapters: what the driver declared of each, and the OS-side
// calls into an adapter's receive-filter and return-buffer callbacks. Driver code never includes it.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "kshim/netadapter_caps.h"
#include "kshim/wificx_adapter.h"

namespace kshim::host {

struct NetAdapterRecord {
    uint16_t portId = 0;
    uint32_t type = 0;  // WIFI_ADAPTER_TYPE the OS asked for
    bool hasDatapath = false;
    NET_ADAPTER_DATAPATH_CALLBACKS datapath{};
    std::vector<std::pair<uint32_t, uint32_t>> txDemux;  // {type, range} in the order added
    bool wifiInitialized = false;
    bool hasDataPathCapabilities = false;
    NET_ADAPTER_TX_CAPABILITIES tx{};  // DmaCapabilities is null; see txDma
    bool txHasDma = false;
    NET_ADAPTER_DMA_CAPABILITIES txDma{};
    NET_ADAPTER_RX_CAPABILITIES rx{};
    bool hasLinkState = false;
    NET_ADAPTER_LINK_STATE linkState{};
    bool hasLinkLayerCapabilities = false;
    NET_ADAPTER_LINK_LAYER_CAPABILITIES linkLayer{};
    uint32_t mtu = 0;
    std::vector<uint8_t> permanentAddress;
    std::vector<uint8_t> currentAddress;
    bool hasReceiveFilter = false;
    NET_ADAPTER_RECEIVE_FILTER_CAPABILITIES receiveFilter{};
    bool magicPacket = false;
    bool started = false;
};

// The device's net adapters, oldest first.
std::vector<NETADAPTER> NetAdaptersOf(WDFDEVICE device);
bool DescribeNetAdapter(NETADAPTER adapter, NetAdapterRecord* record);
// Calls the adapter's receive-filter callback with a filter of these packet-filter flags and
// multicast addresses (each of its own length); false when the adapter declared none.
bool NetAdapterApplyReceiveFilter(NETADAPTER adapter, uint32_t packetFilter,
                                  const std::vector<std::vector<uint8_t>>& multicast);
// Calls the adapter's return-buffer callback with a return context; false when it declared none.
bool NetAdapterReturnRxBuffer(NETADAPTER adapter, void* returnContext);
// The device's Wi-Fi Direct devices, oldest first.
std::vector<WIFIDIRECTDEVICE> WifiDirectDevicesOf(WDFDEVICE device);

}  // namespace kshim::host
