// Shared helpers of the chip-layer tests.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/ndiscommon/adapter.h"

namespace haltest {

// A zeroed adapter with the given PCI device id.
inline std::unique_ptr<MP_ADAPTER> MakeAdapter(USHORT deviceId)
{
    auto adapter = std::make_unique<MP_ADAPTER>();
    adapter->DeviceId = deviceId;
    return adapter;
}

// The 69 slots of a table as addresses (0 for an empty slot).
inline std::array<uintptr_t, CHIP_HAL_OPS_SLOTS> Slots(const CHIP_HAL_OPS& ops)
{
    std::array<uintptr_t, CHIP_HAL_OPS_SLOTS> slots{};
    std::memcpy(slots.data(), &ops, sizeof(ops));
    return slots;
}

}  // namespace haltest
