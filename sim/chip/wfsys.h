// The chip's Wi-Fi subsystem reset and the firmware's side of the SER handshake (docs/hardware.md,
// "Subsystem reset and SER").
//
// Second generation: the reset register 0x7C062600 acts only while the key register 0x7C00E260 holds
// the unlock key 0x18007000 (writes are dropped otherwise); bit 0 set holds the subsystem in reset,
// bit 0 cleared lets it start again. The software-init-done bit 4 of 0x7C000140 reads set except
// while the subsystem is held in reset.
// Third generation: bit 4 (3602 design) or bit 0 (3601 design) of 0x70028600 holds the subsystem
// in reset; 0x81021604 reads 0x1D1E except while it is held.
//
// When the subsystem starts again: its WFDMA has lost every ring register and bit 1 of the ring
// marker 0x54000120, the driver owns the chip, and the restart hook runs (the firmware goes back to
// its boot ROM). The hook runs under the chip's lock.
//
// SER: a test starts one (software interrupt bit 2); each value the driver writes to the
// host-to-MCU register 0x54000108 answers a step and the firmware raises the next: 1 -> bit 3,
// 2 -> bit 4, 8 -> bit 5 (the SER ends). A value out of order is only recorded.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "chip/interrupts.h"
#include "chip/model.h"
#include "chip/register_file.h"
#include "chip/wfdma.h"

namespace sim::chip {

constexpr uint32_t kGen2ResetKeyRegister = 0x7C00E260;
constexpr uint32_t kGen2ResetKey = 0x18007000;
constexpr uint32_t kGen2WfsysReset = 0x7C062600;
constexpr uint32_t kGen2InitDone = 0x7C000140;
constexpr uint32_t kGen2InitDoneBit = 0x10;
constexpr uint32_t kGen3WfsysReset = 0x70028600;
constexpr uint32_t kGen3InitDone = 0x81021604;
constexpr uint32_t kGen3InitDoneValue = 0x1D1E;
constexpr uint32_t kHostToMcuSwInt = 0x54000108;

class Wfsys {
public:
    Wfsys(const Model& model, InterruptModel& interrupts, Wfdma& wfdma);

    bool Handles(uint32_t address) const;
    uint32_t Read(RegisterFile& r, uint32_t address);
    void Write(RegisterFile& r, uint32_t address, uint32_t value);

    // ---- device side -----------------------------------------------------------------------------
    void OnRestart(std::function<void()> hook) { onRestart_ = std::move(hook); }
    bool InReset() const { return inReset_; }
    uint64_t Restarts() const { return restarts_; }
    // The firmware starts a SER: software interrupt bit 2.
    void StartSer(RegisterFile& r);
    // The SER step the firmware waits for an answer to (0: none running).
    unsigned SerStep() const { return serStep_; }
    // Values the driver wrote to the host-to-MCU register, in order.
    const std::vector<uint32_t>& HostToMcuWrites() const { return hostToMcu_; }

private:
    uint32_t ResetBit() const;
    void Restart(RegisterFile& r);

    Model model_;
    InterruptModel& interrupts_;
    Wfdma& wfdma_;
    bool inReset_ = false;
    uint64_t restarts_ = 0;
    unsigned serStep_ = 0;
    std::vector<uint32_t> hostToMcu_;
    std::function<void()> onRestart_;
};

}  // namespace sim::chip
