// What the scenarios that talk to the simulated firmware share: the simulated OS loads the driver
// and prepares a device over a simulated chip, and the testbed builds what the bring-up would before
// the firmware download (DMA enabler, command pools and queue, the firmware command thread, the
// rings, started, and the interrupt); afterwards everything is released and the driver unloaded.
#pragma once

#include <functional>

#include "chip/chip.h"
#include "platform/ndiscommon/adapter.h"
#include "scenarios.h"

namespace qzlsim {

// The bring-up's share that talking to the firmware needs.
struct Rig {
    PMP_ADAPTER adapter = nullptr;
    MP_PORT port{};
    bool pools = false;
    bool rings = false;
    bool thread = false;
    bool interrupts = false;
};

// Loads the driver, adds and prepares a device over `chip`, builds the rig and runs `body` on it;
// then releases everything and unloads the driver. The body's result (1 when the rig could not be
// built), or 1 when the unload found leftovers or strict mode found a failure (`violations`, as
// BeginRun counts them).
int RunOnRig(sim::chip::Chip& chip, const size_t& violations, const std::function<int(Rig*)>& body);

}  // namespace qzlsim
