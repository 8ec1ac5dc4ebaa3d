// Inside the stand-in: creation and release of driver and device objects (the framework and the
// harness's PnP manager own them; the driver never creates one itself).
#pragma once

#include <string>

#include "kshim/io.h"

namespace kshim::io {

// A driver object named "\Driver\<serviceName>".
PDRIVER_OBJECT NewDriverObject(const std::u16string& serviceName, PDRIVER_INITIALIZE entry);
void FreeDriverObject(PDRIVER_OBJECT driver);

// A device object of the role; a functional or control device is chained to its driver.
PDEVICE_OBJECT NewDeviceObject(PDRIVER_OBJECT driver, KSHIM_DEVICE_ROLE role, DEVICE_TYPE type);
void FreeDeviceObject(PDEVICE_OBJECT device);
// Attaches `upper` on top of `lower` (lower->AttachedDevice = upper).
void AttachDevice(PDEVICE_OBJECT upper, PDEVICE_OBJECT lower);

// Device objects alive now (every role).
size_t LiveDeviceObjects();

}  // namespace kshim::io
