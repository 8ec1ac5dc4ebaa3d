// The network adapter class extension's device reset: a driver that finds its device unusable asks
// the OS to reset it. A platform-level reset takes the device's power away and gives it back; the OS
// stops the device and starts it again.
#pragma once

#include "kshim/wdf.h"

typedef enum _NET_DEVICE_RESET_TYPE {
    FunctionLevelDeviceReset = 0,
    PlatformLevelDeviceReset = 1,
} NET_DEVICE_RESET_TYPE;

// Asks the OS to reset the device. Returns at once; PASSIVE_LEVEL only.
VOID NetDeviceRequestReset(WDFDEVICE Device, NET_DEVICE_RESET_TYPE ResetType);
