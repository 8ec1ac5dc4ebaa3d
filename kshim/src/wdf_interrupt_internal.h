// Inside the stand-in: how a device's interrupt reaches its interrupt objects, and the framework's
// enable and disable of them in the power sequence. The harness's PnP manager (kshim/host/src/os.cpp)
// calls these; tests of the interrupt objects call them directly.
#pragma once

#include "kshim/wdf.h"

namespace kshim::host {
class PciDevice;
}  // namespace kshim::host

namespace kshim::wdf {

// Routes the interrupt of a simulated PCI function to the device's interrupt objects: message m
// that the function raises goes to the m-th interrupt object created on the device (messages
// without an object are counted and dropped). May come before or after WdfInterruptCreate.
// Connecting another function replaces the first (its sink is removed). PASSIVE_LEVEL.
void InterruptConnect(WDFDEVICE device, kshim::host::PciDevice* pci);
// Removes the route (and the function's sink). Call it before the function goes away.
void InterruptDisconnect(WDFDEVICE device);
// Messages raised while the device had no interrupt object for them.
uint64_t InterruptUnroutedMessages(WDFDEVICE device);

// The framework's side of the power sequence. Enable: each interrupt object of the device in
// creation order, its enable callback at DEVICE_LEVEL under its lock, then delivery of what is
// pending; a failing callback disables the objects enabled before it (reverse order) and its
// status is returned. Disable: in reverse creation order, delivery stops, then the disable callback
// at DEVICE_LEVEL under the lock; the first failure is returned, every object ends disabled.
NTSTATUS InterruptsEnable(WDFDEVICE device);
NTSTATUS InterruptsDisable(WDFDEVICE device);

// Messages of the object raised and not yet served (one bit per message).
uint32_t InterruptPendingMessages(WDFINTERRUPT interrupt);
bool InterruptEnabled(WDFINTERRUPT interrupt);

}  // namespace kshim::wdf
