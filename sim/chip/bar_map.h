// How the device decodes an offset into its memory BAR to a chip address (docs/hardware.md,
// "BAR decoding"): fixed windows per generation, and the movable windows whose position lives in
// chip registers (read from the register file at the moment of the access).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "chip/model.h"
#include "chip/register_file.h"

namespace sim::chip {

// Window-position registers and values (chip addresses).
constexpr uint32_t kGen2VersionWindowReg = 0x7C00E260;   // 0x18007001 shows chip 0x70010000 at BAR 0xE0000
constexpr uint32_t kGen2VersionWindowOn = 0x18007001;
constexpr uint32_t kGen2VersionBlock = 0x70010000;
constexpr uint32_t kGen3VersionWindowReg3602 = 0x7C021000;  // BAR 0x10000: (R >> 16) << 16 when R & 0xFFFF = 0x1840
constexpr uint32_t kGen3VersionWindowReg3601 = 0x7C095000;
constexpr uint32_t kGen3VersionWindowEnable = 0x1840;
constexpr uint32_t kGen3L1Select3602 = 0x7C02100C;  // low 16 bits: bus address >> 16 shown at BAR 0x60000
constexpr uint32_t kGen3L1Select3601 = 0x7C09500C;
constexpr uint32_t kGen3L2Select = 0x830C0120;      // chip address shown through the L2 data port
constexpr uint32_t kGen3L2DataPortBus = 0x18500000;
constexpr uint32_t kOlderLegacySelect = 0x80000504;  // 512 KB block shown at BAR 0x80000

class BarMap {
public:
    explicit BarMap(const Model& model);

    uint32_t Size() const { return size_; }
    // The chip address behind a BAR offset, or nothing when the offset decodes to no register.
    std::optional<uint32_t> Decode(uint32_t barOffset, const RegisterFile& registers) const;

private:
    struct Window {
        uint32_t barOffset;
        uint32_t size;
        uint32_t chipBase;
    };
    std::optional<uint32_t> FixedWindow(uint32_t barOffset) const;

    Model model_;
    uint32_t size_;
    std::vector<Window> windows_;
};

}  // namespace sim::chip
