// The Wi-Fi class extension: device initialisation and the OS's WDI version.
#include "internal.h"
#include "kshim/wificx.h"
#include "wdf_internal.h"

namespace kshim::wdf {
namespace {
// A current OS: above every version threshold the driver tests.
std::atomic<ULONG> g_osWdiVersion{0x00060030};
}  // namespace

ULONG OsWdiVersion() { return g_osWdiVersion.load(); }
void SetOsWdiVersion(ULONG version) { g_osWdiVersion.store(version); }

}  // namespace kshim::wdf

using namespace kshim::wdf;

NTSTATUS WifiDeviceInitConfig(PWDFDEVICE_INIT DeviceInit)
{
    RequirePassive("WifiDeviceInitConfig");
    if (DeviceInit == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (DeviceInit->consumed) {
        KshimViolation("WifiDeviceInitConfig after WdfDeviceCreate", nullptr);
        return STATUS_INVALID_DEVICE_STATE;
    }
    if (!DeviceInit->netDevice) {
        // The Wi-Fi extension sits on the network one: NetDeviceInitConfig comes first.
        return STATUS_INVALID_DEVICE_STATE;
    }
    NTSTATUS status;
    if (kshim::FaultCheck("wifi.deviceinitconfig", nullptr, &status)) {
        return status;
    }
    DeviceInit->wifiDevice = true;
    return STATUS_SUCCESS;
}

NTSTATUS WifiDeviceInitialize(WDFDEVICE Device, WIFI_DEVICE_CONFIG* Config)
{
    RequirePassive("WifiDeviceInitialize");
    auto* device = Lookup<FxDevice>(Device, "WifiDeviceInitialize");
    if (device == nullptr || Config == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (Config->Size != sizeof(WIFI_DEVICE_CONFIG)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (Config->SendCommandHandler == nullptr || Config->CreateAdapter == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    NTSTATUS status;
    if (kshim::FaultCheck("wifi.deviceinitialize", nullptr, &status)) {
        return status;
    }
    std::lock_guard<std::mutex> guard(device->settingsLock);
    if (!device->settings.wifiDevice || device->settings.wifiInitialized) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    device->settings.wifi = *Config;
    device->settings.wifiInitialized = true;
    return STATUS_SUCCESS;
}

ULONG WifiDeviceGetOsWdiVersion(WDFDEVICE Device)
{
    Lookup<FxDevice>(Device, "WifiDeviceGetOsWdiVersion");
    return OsWdiVersion();
}

WIFI_ADAPTER_TYPE WifiAdapterInitGetType(NETADAPTER_INIT* AdapterInit)
{
    return AdapterInit != nullptr ? static_cast<WIFI_ADAPTER_TYPE>(AdapterInit->type) : WIFI_ADAPTER_WLAN_STATION;
}

USHORT WifiAdapterGetPortId(NETADAPTER Adapter)
{
    auto* adapter = Lookup<FxNetAdapter>(Adapter, "WifiAdapterGetPortId");
    return adapter != nullptr ? adapter->portId : 0;
}

WIFI_ADAPTER_TYPE WifiAdapterGetType(NETADAPTER Adapter)
{
    auto* adapter = Lookup<FxNetAdapter>(Adapter, "WifiAdapterGetType");
    return adapter != nullptr ? static_cast<WIFI_ADAPTER_TYPE>(adapter->type) : WIFI_ADAPTER_WLAN_STATION;
}
