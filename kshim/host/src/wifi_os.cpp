// The OS's Wi-Fi service: WDI requests handed to a device's send-command entry point.
#include "kshim/host/os.h"
#include "kshim/host/wifi.h"
#include "wdf_internal.h"

namespace kshim::host {

WdiRequest Os::SendWdiRequest(OsDevice* device, uint16_t messageId, const std::vector<uint8_t>& message,
                              size_t outputLength)
{
    WdiRequest request = NewWdiRequest(messageId, message, outputLength);
    SendWdiRequest(device, request);
    return request;
}

void Os::SendWdiRequest(OsDevice* device, const WdiRequest& request)
{
    if (KeGetCurrentIrql() != PASSIVE_LEVEL) {
        KshimViolation("the Wi-Fi service was called above PASSIVE_LEVEL", "Os::SendWdiRequest");
    }
    WIFIREQUEST handle = WdiRequestHandle(request);
    PFN_WIFI_DEVICE_SEND_COMMAND send = nullptr;
    if (device != nullptr && device->fx_ != nullptr) {
        std::lock_guard<std::mutex> guard(device->fx_->settingsLock);
        send = device->fx_->settings.wifiInitialized ? device->fx_->settings.wifi.SendCommandHandler : nullptr;
    }
    if (handle == nullptr) {
        return;
    }
    if (send == nullptr) {
        WifiRequestComplete(handle, STATUS_INVALID_DEVICE_STATE, 0);
        return;
    }
    send(device->handle_, handle);
}

NTSTATUS Os::CreateWifiDirectDevice(OsDevice* device, uint16_t portId)
{
    if (KeGetCurrentIrql() != PASSIVE_LEVEL) {
        KshimViolation("the PnP manager was called above PASSIVE_LEVEL", "Os::CreateWifiDirectDevice");
    }
    if (device == nullptr || device->fx_ == nullptr) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    PFN_WIFI_DEVICE_CREATE_WIFIDIRECTDEVICE create = nullptr;
    {
        std::lock_guard<std::mutex> guard(device->fx_->settingsLock);
        create = device->fx_->settings.wifiInitialized ? device->fx_->settings.wifi.CreateWifiDirectDevice : nullptr;
    }
    if (create == nullptr) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    WIFIDIRECT_DEVICE_INIT init;
    init.device = device->fx_;
    init.portId = portId;
    return create(device->handle_, &init);
}

}  // namespace kshim::host
