// The chip's interrupt logic (docs/hardware.md, "Interrupts"): the host interrupt status and enable
// of each generation, the MCU-to-host software interrupt, the PCIe MAC interrupt, and when the
// chip sends its interrupt message.
//
// Runs under the chip's lock on its register file. After every change the chip asks TakeRaise()
// whether a message is due and sends it once the lock is released.
#pragma once

#include <cstdint>

#include "chip/model.h"
#include "chip/register_file.h"

namespace sim::chip {

constexpr uint32_t kHostIntStatus = 0x7C024200;     // write 1 to clear
constexpr uint32_t kHostIntEnable = 0x7C024204;     // second generation: written whole; third: read only
constexpr uint32_t kHostIntEnableSet = 0x7C024228;  // third generation
constexpr uint32_t kHostIntEnableClear = 0x7C02422C;
constexpr uint32_t kSwIntStatus = 0x7C0241F0;       // write 1 to clear
constexpr uint32_t kSwIntEnable = 0x7C0241F4;
constexpr uint32_t kMacIntEnable = 0x74030188;
constexpr uint32_t kMacIntStatus = 0x7403018C;      // write 1 to clear (the driver writes back what it read)
constexpr uint32_t kHostIntSoftware = 1u << 29;     // mirrors (software status & software enable) != 0

class InterruptModel {
public:
    explicit InterruptModel(const Model& model);

    bool Handles(uint32_t address) const;
    uint32_t Read(RegisterFile& r, uint32_t address);
    void Write(RegisterFile& r, uint32_t address, uint32_t value);

    // ---- device side -------------------------------------------------------------------------------
    void SetHostStatus(RegisterFile& r, uint32_t bits);
    void SetSoftwareStatus(RegisterFile& r, uint32_t bits);
    void SetMacStatus(RegisterFile& r, uint32_t bits);

    // Whether an interrupt message is due (cleared by the call).
    bool TakeRaise();
    // What the interrupt line carries now: host status bits that are enabled (bit 29 included) in
    // bits 0-31, PCIe MAC status bits that are enabled in bits 32-63.
    uint64_t Line(const RegisterFile& r) const;

    // Re-assert on unmask (default): a message is sent whenever a bit of the line rises, also when
    // an enable write lets an already pending status bit through. Off: only a status bit set by the
    // device while it is enabled sends a message; enable writes never do.
    void SetReassertOnUnmask(bool on) { reassert_ = on; }

private:
    uint32_t HostStatus(const RegisterFile& r) const;
    uint32_t MacGate(const RegisterFile& r) const;
    // Re-reads the line after a change; `deviceSet` are the line bits the device has just set.
    void Evaluate(const RegisterFile& r, uint64_t deviceSet);

    Model model_;
    bool reassert_ = true;
    uint64_t line_ = 0;
    bool raise_ = false;
};

}  // namespace sim::chip
