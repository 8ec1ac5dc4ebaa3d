// Inside the stand-in: how the harness's PnP manager (kshim/host/src/os.cpp) gives a device its
// resource lists and the PCI function beneath it, and takes them back when the device goes.
#pragma once

#include <vector>

#include "kshim/wdf.h"

namespace kshim::host {
class PciDevice;
}  // namespace kshim::host

namespace kshim::wdf {

struct FxDevice;

// Fills the device's raw and translated resource lists (replacing what they held).
void SetDeviceResources(FxDevice* device, const std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR>& raw,
                        const std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR>& translated);
// The PCI function whose configuration space the device's bus interface reaches (null: no bus
// interface is offered).
void SetDeviceBus(FxDevice* device, kshim::host::PciDevice* pci);
// Forgets the device's lists and bus; call before the device object goes away.
void ForgetDeviceResources(FxDevice* device);
// References the driver holds on the device's bus interface.
int BusInterfaceReferences(FxDevice* device);

}  // namespace kshim::wdf
