// Net adapters and Wi-Fi Direct devices of the Wi-Fi class extension.
#include "internal.h"
#include "kshim/host/netadapter.h"
#include "kshim/wificx_adapter.h"
#include "wdf_internal.h"

using namespace kshim::wdf;

NTSTATUS WifiAdapterInitAddTxDemux(NETADAPTER_INIT* AdapterInit, const WIFI_ADAPTER_TX_DEMUX* Demux)
{
    RequirePassive("WifiAdapterInitAddTxDemux");
    if (AdapterInit == nullptr || Demux == nullptr || Demux->Size != sizeof(WIFI_ADAPTER_TX_DEMUX)) {
        return STATUS_INVALID_PARAMETER;
    }
    if (AdapterInit->consumed) {
        KshimViolation("WifiAdapterInitAddTxDemux after NetAdapterCreate", nullptr);
        return STATUS_INVALID_DEVICE_STATE;
    }
    AdapterInit->txDemux.push_back(*Demux);
    return STATUS_SUCCESS;
}

NTSTATUS WifiAdapterInitialize(NETADAPTER Adapter)
{
    RequirePassive("WifiAdapterInitialize");
    auto* adapter = Lookup<FxNetAdapter>(Adapter, "WifiAdapterInitialize");
    if (adapter == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    NTSTATUS status;
    if (kshim::FaultCheck("wifi.adapterinitialize", nullptr, &status)) {
        return status;
    }
    std::lock_guard<std::mutex> guard(adapter->declared);
    if (adapter->wifiInitialized) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    adapter->wifiInitialized = true;
    return STATUS_SUCCESS;
}

NTSTATUS WifiDirectDeviceCreate(WIFIDIRECT_DEVICE_INIT* WfdDeviceInit, PWDF_OBJECT_ATTRIBUTES Attributes,
                                WIFIDIRECTDEVICE* WifiDirectDevice)
{
    NTSTATUS status =
        CheckCreateFromInit("WifiDirectDeviceCreate", WfdDeviceInit, WifiDirectDevice, Attributes, Kind::WifiDirectDevice);
    if (status != STATUS_SUCCESS) {
        return status;
    }
    auto* device = new FxWifiDirectDevice();
    device->portId = WfdDeviceInit->portId;
    PWDF_OBJECT_ATTRIBUTES attributes = Attributes;
    WDF_OBJECT_ATTRIBUTES copy;
    if (Attributes != nullptr && Attributes->ParentObject != nullptr) {
        copy = *Attributes;
        copy.ParentObject = nullptr;
        attributes = &copy;
    }
    status = Register(device, attributes, WfdDeviceInit->device, "WifiDirectDeviceCreate");
    if (!NT_SUCCESS(status)) {
        delete device;
        return status;
    }
    WfdDeviceInit->consumed = true;
    *WifiDirectDevice = Handle<WIFIDIRECTDEVICE>(device);
    return STATUS_SUCCESS;
}

NTSTATUS WifiDirectDeviceInitialize(WIFIDIRECTDEVICE WifiDirectDevice)
{
    RequirePassive("WifiDirectDeviceInitialize");
    auto* device = Lookup<FxWifiDirectDevice>(WifiDirectDevice, "WifiDirectDeviceInitialize");
    if (device == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    NTSTATUS status;
    if (kshim::FaultCheck("wifi.directdeviceinitialize", nullptr, &status)) {
        return status;
    }
    if (device->initialized) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    device->initialized = true;
    return STATUS_SUCCESS;
}

USHORT WifiDirectDeviceGetPortId(WIFIDIRECTDEVICE WifiDirectDevice)
{
    auto* device = Lookup<FxWifiDirectDevice>(WifiDirectDevice, "WifiDirectDeviceGetPortId");
    return device != nullptr ? device->portId : 0;
}

namespace kshim::host {

std::vector<WIFIDIRECTDEVICE> WifiDirectDevicesOf(WDFDEVICE device)
{
    std::vector<WIFIDIRECTDEVICE> out;
    for (FxObject* child : ChildrenOf(Raw(device))) {
        if (child->kind == Kind::WifiDirectDevice) {
            out.push_back(Handle<WIFIDIRECTDEVICE>(child));
        }
    }
    return out;
}

}  // namespace kshim::host
