#include "chip/config_space.h"

#include <cstring>

namespace sim::chip {

namespace {

// Extended capability header: id, version 1, next pointer.
constexpr uint32_t ExtHeader(uint32_t id, uint32_t next) { return (next << 20) | (1u << 16) | id; }

struct Range {
    uint32_t first;
    uint32_t last;
};

// Bytes a driver cannot change: identity, class, header type, subsystem ids, capability pointer,
// capability headers and capability (not control) registers.
constexpr Range kReadOnly[] = {
    {0x00, 0x03}, {0x08, 0x0B}, {0x0E, 0x0E}, {0x2C, 0x2F}, {0x34, 0x34},
    {0x80, 0x87}, {0x8C, 0x8F}, {0x100, 0x103}, {0x108, 0x10B}, {0x110, 0x117},
};

}  // namespace

ConfigSpace::ConfigSpace(const Model& model)
{
    Set16(kCfgVendorId, kVendorId);
    Set16(kCfgDeviceId, model.deviceId);
    Set16(0x06, 0x0010);            // status: capability list present
    Set32(kCfgRevision, 0x02800000);  // class: network controller, other; revision 0
    Set32(kCfgBar0, 0x00000004);    // 64-bit memory BAR, not prefetchable
    Set16(kCfgSubsystemVendorId, kVendorId);
    Set16(kCfgSubsystemId, model.deviceId);
    Set8(kCfgCapabilities, kCfgPcieCapability);
    Set32(kCfgPcieCapability, 0x00020010);  // PCI Express capability, version 2, endpoint, last
    Set32(kCfgPcieCapability + 0x0C, 0x00000C00);  // link capabilities: ASPM L0s and L1
    Set32(0x100, ExtHeader(0x0000, kCfgLtrCapability));
    Set32(kCfgLtrCapability, ExtHeader(0x0018, kCfgL1ssCapability));
    Set32(kCfgL1ssCapability, ExtHeader(0x001E, 0));
    Set32(kCfgL1ssCapability + 4, 0x0000001F);  // every L1 substate supported
}

bool ConfigSpace::Writable(uint32_t offset) const
{
    for (const Range& r : kReadOnly) {
        if (offset >= r.first && offset <= r.last) {
            return false;
        }
    }
    return true;
}

uint32_t ConfigSpace::Read(uint32_t offset, void* buffer, uint32_t length) const
{
    uint32_t n = Transferable(offset, length);
    if (n != 0) {
        std::memcpy(buffer, &bytes_[offset], n);
    }
    return n;
}

uint32_t ConfigSpace::Write(uint32_t offset, const void* buffer, uint32_t length)
{
    uint32_t n = Transferable(offset, length);
    const uint8_t* src = static_cast<const uint8_t*>(buffer);
    for (uint32_t i = 0; i < n; ++i) {
        if (Writable(offset + i)) {
            bytes_[offset + i] = src[i];
        }
    }
    return n;
}

uint16_t ConfigSpace::Get16(uint32_t offset) const
{
    return static_cast<uint16_t>(Get8(offset) | (Get8(offset + 1) << 8));
}

uint32_t ConfigSpace::Get32(uint32_t offset) const
{
    return static_cast<uint32_t>(Get16(offset)) | (static_cast<uint32_t>(Get16(offset + 2)) << 16);
}

void ConfigSpace::Set16(uint32_t offset, uint16_t value)
{
    Set8(offset, static_cast<uint8_t>(value));
    Set8(offset + 1, static_cast<uint8_t>(value >> 8));
}

void ConfigSpace::Set32(uint32_t offset, uint32_t value)
{
    Set16(offset, static_cast<uint16_t>(value));
    Set16(offset + 2, static_cast<uint16_t>(value >> 16));
}

}  // namespace sim::chip
