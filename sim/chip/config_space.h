// The device's 4 KiB PCI configuration space: a standard type-0 header, a PCI Express capability
// at 0x80 and the extended capabilities LTR (0x108) and L1 PM Substates (0x110), laid out so that
// Link Control sits at 0x90, Device Control 2 at 0xA8, the LTR latency at 0x10C and L1 PM Substates
// Control 1 at 0x118. Identity bytes and capability headers are read only; the rest is stored.
#pragma once

#include <array>
#include <cstdint>

#include "chip/model.h"

namespace sim::chip {

// Offsets the driver uses.
constexpr uint32_t kCfgVendorId = 0x00;
constexpr uint32_t kCfgDeviceId = 0x02;
constexpr uint32_t kCfgCommand = 0x04;
constexpr uint32_t kCfgRevision = 0x08;
constexpr uint32_t kCfgBar0 = 0x10;
constexpr uint32_t kCfgSubsystemVendorId = 0x2C;
constexpr uint32_t kCfgSubsystemId = 0x2E;
constexpr uint32_t kCfgCapabilities = 0x34;
constexpr uint32_t kCfgPcieCapability = 0x80;
constexpr uint32_t kCfgLinkControl = 0x90;
constexpr uint32_t kCfgDeviceControl2 = 0xA8;
constexpr uint32_t kCfgLtrCapability = 0x108;
constexpr uint32_t kCfgLtrLatency = 0x10C;
constexpr uint32_t kCfgL1ssCapability = 0x110;
constexpr uint32_t kCfgL1ssControl1 = 0x118;

class ConfigSpace {
public:
    static constexpr uint32_t kSize = 4096;

    explicit ConfigSpace(const Model& model);

    // How many of `length` bytes from `offset` lie inside the space.
    static uint32_t Transferable(uint32_t offset, uint32_t length)
    {
        return offset >= kSize ? 0 : (length < kSize - offset ? length : kSize - offset);
    }

    // Bus-side accesses: bytes outside the space are not transferred (the count says how many
    // were); writes to read-only bytes are dropped.
    uint32_t Read(uint32_t offset, void* buffer, uint32_t length) const;
    uint32_t Write(uint32_t offset, const void* buffer, uint32_t length);

    // Device-side access, read-only bytes included (tests set revision and subsystem ids).
    uint8_t Get8(uint32_t offset) const { return bytes_[offset % kSize]; }
    uint16_t Get16(uint32_t offset) const;
    uint32_t Get32(uint32_t offset) const;
    void Set8(uint32_t offset, uint8_t value) { bytes_[offset % kSize] = value; }
    void Set16(uint32_t offset, uint16_t value);
    void Set32(uint32_t offset, uint32_t value);

private:
    bool Writable(uint32_t offset) const;

    std::array<uint8_t, kSize> bytes_{};
};

}  // namespace sim::chip
