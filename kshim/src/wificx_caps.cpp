// Capability records reported to the Wi-Fi class extension, kept for the harness.
#include <map>
#include <mutex>

#include "internal.h"
#include "kshim/host/wifi_caps.h"
#include "kshim/wificx_caps.h"
#include "wdf_internal.h"

namespace {

std::mutex g_lock;
std::map<WDFDEVICE, kshim::host::WifiCapabilitiesRecord> g_reported;  // guarded by g_lock

template <class T>
std::vector<T> CopyList(const T* list, ULONG64 count)
{
    return list != nullptr && count != 0 ? std::vector<T>(list, list + count) : std::vector<T>{};
}

// The common part of every setter: the device, the caller's level, the record and the fault point.
bool Enter(WDFDEVICE device, const void* record, const char* kind, const char* call, NTSTATUS* status)
{
    kshim::wdf::RequirePassive(call);
    if (kshim::wdf::Lookup<kshim::wdf::FxDevice>(device, call) == nullptr || record == nullptr) {
        *status = STATUS_INVALID_PARAMETER;
        return false;
    }
    if (kshim::FaultCheck("wifi.setcapabilities", kind, status)) {
        return false;
    }
    *status = STATUS_SUCCESS;
    return true;
}

}  // namespace

NTSTATUS WifiDeviceSetDeviceCapabilities(WDFDEVICE Device, const WIFI_DEVICE_CAPABILITIES* Capabilities)
{
    NTSTATUS status;
    if (!Enter(Device, Capabilities, "device", "WifiDeviceSetDeviceCapabilities", &status)) {
        return status;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    auto& r = g_reported[Device];
    r.device = *Capabilities;
    r.order.push_back("device");
    return STATUS_SUCCESS;
}

NTSTATUS WifiDeviceSetStationCapabilities(WDFDEVICE Device, const WIFI_STATION_CAPABILITIES* Capabilities)
{
    NTSTATUS status;
    if (!Enter(Device, Capabilities, "station", "WifiDeviceSetStationCapabilities", &status)) {
        return status;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    auto& r = g_reported[Device];
    r.station = *Capabilities;
    r.unicast = CopyList(Capabilities->UnicastAlgorithmsList, Capabilities->NumSupportedUnicastAlgorithms);
    r.multicastData = CopyList(Capabilities->MulticastDataAlgorithmsList, Capabilities->NumSupportedMulticastDataAlgorithms);
    r.multicastMgmt = CopyList(Capabilities->MulticastMgmtAlgorithmsList, Capabilities->NumSupportedMulticastMgmtAlgorithms);
    r.order.push_back("station");
    return STATUS_SUCCESS;
}

NTSTATUS WifiDeviceSetBandCapabilities(WDFDEVICE Device, const WIFI_BAND_CAPABILITIES* Capabilities)
{
    NTSTATUS status;
    if (!Enter(Device, Capabilities, "band", "WifiDeviceSetBandCapabilities", &status)) {
        return status;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    auto& r = g_reported[Device];
    r.band = *Capabilities;
    r.bands.clear();
    for (const WIFI_BAND_INFO& info : CopyList(Capabilities->BandInfoList, Capabilities->NumBands)) {
        kshim::host::WifiBandRecord band;
        band.info = info;
        for (ULONG t : CopyList(info.ValidPhyTypeList, info.NumValidPhyTypes)) {
            band.phyTypes.push_back(t);
        }
        band.channels = CopyList(info.ValidChannelTypes, info.NumValidChannelTypes);
        for (ULONG w : CopyList(info.ChannelWidthList, info.NumChannelWidths)) {
            band.widths.push_back(w);
        }
        r.bands.push_back(std::move(band));
    }
    r.order.push_back("band");
    return STATUS_SUCCESS;
}

NTSTATUS WifiDeviceSetPhyCapabilities(WDFDEVICE Device, const WIFI_PHY_CAPABILITIES* Capabilities)
{
    NTSTATUS status;
    if (!Enter(Device, Capabilities, "phy", "WifiDeviceSetPhyCapabilities", &status)) {
        return status;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    auto& r = g_reported[Device];
    r.phy = *Capabilities;
    r.phys = CopyList(Capabilities->PhyInfoList, Capabilities->NumPhyTypes);
    r.order.push_back("phy");
    return STATUS_SUCCESS;
}

NTSTATUS WifiDeviceSetWiFiDirectCapabilities(WDFDEVICE Device, const WIFI_WIFI_DIRECT_CAPABILITIES* Capabilities)
{
    NTSTATUS status;
    if (!Enter(Device, Capabilities, "wifidirect", "WifiDeviceSetWiFiDirectCapabilities", &status)) {
        return status;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    auto& r = g_reported[Device];
    r.wifiDirect = *Capabilities;
    r.wfdUnicast = CopyList(Capabilities->UnicastAlgorithmsList, Capabilities->NumUnicastAlgorithms);
    r.wfdMulticast = CopyList(Capabilities->MulticastAlgorithmsList, Capabilities->NumMulticastAlgorithms);
    r.wfdInterfaceAddresses.clear();
    if (Capabilities->InterfaceAddressList != nullptr) {
        for (ULONG i = 0; i < Capabilities->InterfaceAddressCount; ++i) {
            std::array<uint8_t, WIFI_MAC_ADDRESS_LENGTH> a{};
            std::memcpy(a.data(), Capabilities->InterfaceAddressList[i], a.size());
            r.wfdInterfaceAddresses.push_back(a);
        }
    }
    r.order.push_back("wifidirect");
    return STATUS_SUCCESS;
}

namespace kshim::host {

WifiCapabilitiesRecord WifiCapabilitiesOf(WDFDEVICE device)
{
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = g_reported.find(device);
    return it != g_reported.end() ? it->second : WifiCapabilitiesRecord{};
}

void WifiClearCapabilities()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_reported.clear();
}

}  // namespace kshim::host
