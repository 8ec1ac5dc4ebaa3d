// The chip models the simulated device can be, told apart by the PCI device id a test chooses.
#pragma once

#include <cstdint>

namespace sim::chip {

constexpr uint16_t kVendorId = 0x1E7A;

enum class Generation {
    Older,   // the 0x3404 chip
    Second,  // 3501, 3502, 3503 families
    Third,   // 3601, 3602 families
};

// What the device is: its PCI device id, its generation and the design inside it (3404, 3501,
// 3502, 3503, 3601 or 3602). An id no design answers to (0x3405 among others) gets design 0 and
// behaves as a second-generation device, so that a driver can still be offered it.
struct Model {
    uint16_t deviceId = 0;
    Generation generation = Generation::Second;
    uint16_t design = 0;
};

Model ModelForDeviceId(uint16_t deviceId);

// Size of the memory BAR: 1 MiB on the older and the second generation, 2 MiB on the third.
uint32_t BarSizeOf(Generation generation);

}  // namespace sim::chip
