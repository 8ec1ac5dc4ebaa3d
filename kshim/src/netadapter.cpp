// The network adapter class extension: device initialisation.
#include "internal.h"
#include "kshim/netadapter.h"
#include "wdf_internal.h"

NTSTATUS NetDeviceInitConfig(PWDFDEVICE_INIT DeviceInit)
{
    kshim::wdf::RequirePassive("NetDeviceInitConfig");
    if (DeviceInit == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (DeviceInit->consumed) {
        KshimViolation("NetDeviceInitConfig after WdfDeviceCreate", nullptr);
        return STATUS_INVALID_DEVICE_STATE;
    }
    if (DeviceInit->control) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    NTSTATUS status;
    if (kshim::FaultCheck("net.deviceinitconfig", nullptr, &status)) {
        return status;
    }
    DeviceInit->netDevice = true;
    return STATUS_SUCCESS;
}
