// Device reset requests: recorded for the OS side.
#include <mutex>

#include "internal.h"
#include "kshim/host/control.h"
#include "kshim/host/device_reset.h"
#include "kshim/irql.h"
#include "kshim/netadapter_reset.h"

namespace {

std::mutex g_resetMutex;
std::vector<kshim::host::DeviceResetRequest> g_resetRequests;

}  // namespace

VOID NetDeviceRequestReset(WDFDEVICE Device, NET_DEVICE_RESET_TYPE ResetType)
{
    KshimMayBlock("NetDeviceRequestReset");
    std::lock_guard<std::mutex> lock(g_resetMutex);
    g_resetRequests.push_back({Device, ResetType, kshim::host::ClockNow()});
}

namespace kshim::host {

std::vector<DeviceResetRequest> DeviceResetRequests()
{
    std::lock_guard<std::mutex> lock(g_resetMutex);
    return g_resetRequests;
}

void DeviceResetClear()
{
    std::lock_guard<std::mutex> lock(g_resetMutex);
    g_resetRequests.clear();
}

}  // namespace kshim::host
