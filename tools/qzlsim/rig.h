// What the fwcmd scenario needs to talk to the boot ROM: the simulated OS loads the driver and
// prepares a device over a simulated chip, then the testbed runs the bring-up's own steps that come
// before the firmware download (port 0 and the worker threads, the command events, the configuration,
// the adapter block with its pools, command queue, DMA enabler and rings, the start of transmit and
// receive) and enables the interrupt; afterwards the bring-up's teardown gives everything back and the
// driver is unloaded.
#pragma once

#include <functional>

#include "chip/chip.h"
#include "platform/ndiscommon/adapter.h"
#include "scenario.h"

namespace qzlsim {

struct Rig {
    PMP_ADAPTER adapter = nullptr;
    PMP_PORT port = nullptr;  // port 0
    bool built = false;
    bool interrupts = false;
};

// Loads the driver, adds and prepares a device over `chip`, builds the rig and runs `body` on it;
// then releases everything and unloads the driver. The body's result (1 when the rig could not be
// built, which is explained), or 1 when the unload found leftovers or strict mode found a failure (`violations`, as
// BeginRun counts them).
int RunOnRig(const Run& run, sim::chip::Chip& chip, const size_t& violations, const std::function<int(Rig*)>& body);

}  // namespace qzlsim
