// The OS side of the device reset requests: each request is recorded; a test carries the reset out
// itself (a stop and start of the device) when it wants one.
#pragma once

#include <cstdint>
#include <vector>

#include "kshim/netadapter_reset.h"

namespace kshim::host {

struct DeviceResetRequest {
    WDFDEVICE device = nullptr;
    NET_DEVICE_RESET_TYPE type = FunctionLevelDeviceReset;
    int64_t time = 0;  // the stand-in's clock, 100 ns units
};

std::vector<DeviceResetRequest> DeviceResetRequests();
void DeviceResetClear();

}  // namespace kshim::host
