// What a person wants to know of a device that came up: the chip and its capabilities as the OS
// received them (bands, streams, widths, PHY types), the MAC address and where it came from, and the
// country. For every scenario that brings a device up.
#pragma once

#include "kshim/host/os.h"

namespace sim::fw {
class ChipFirmware;
}

namespace qzlsim {

// Prints the summary of a started device. `firmware` is the chip's simulated firmware (null when
// none runs): what it reported tells where the MAC address came from.
void PrintDeviceSummary(kshim::host::OsDevice* device, sim::fw::ChipFirmware* firmware);

}  // namespace qzlsim
