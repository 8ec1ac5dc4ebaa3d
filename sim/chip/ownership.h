// Who owns the chip's Wi-Fi subsystem, the driver or the firmware (docs/hardware.md, "Ownership"):
// the low-power control register 0x7C060010 of the second and third generation. Writing 1 asks for
// firmware own, writing 2 for driver own; bit 2 reads set while the firmware owns. Each hand-over
// completes after a latency on the stand-in's clock (immediate, a duration, or never).
//
// Runs under the chip's lock. The state is bit 2 of the stored register word (power-on: the driver
// owns; a test may Poke the word). A pending hand-over completes when the register is next touched
// or the state is asked for, once it is due: an immediate one shows at the next read.
#pragma once

#include <cstdint>
#include <functional>

#include "chip/model.h"
#include "chip/register_file.h"

namespace sim::chip {

constexpr uint32_t kLowPowerControl = 0x7C060010;
constexpr uint32_t kLpFirmwareOwnRequest = 1;
constexpr uint32_t kLpDriverOwnRequest = 2;
constexpr uint32_t kLpFirmwareOwns = 0x4;
constexpr uint32_t kRingMarker = 0x54000120;  // bit 1: ring registers present (the driver sets it)
constexpr uint32_t kRingMarkerPresent = 0x2;

// How long a hand-over takes.
struct Latency {
    int64_t units100ns = 0;
    bool never = false;
    static Latency Immediate() { return Latency{}; }
    static Latency Microseconds(int64_t us) { return Latency{us * 10, false}; }
    static Latency Milliseconds(int64_t ms) { return Latency{ms * 10000, false}; }
    static Latency Never() { return Latency{0, true}; }
};

class Ownership {
public:
    explicit Ownership(const Model& model);

    bool Handles(uint32_t address) const;
    uint32_t Read(RegisterFile& r, uint32_t address);
    void Write(RegisterFile& r, uint32_t address, uint32_t value);

    bool FirmwareOwns(RegisterFile& r);
    void SetDriverOwnLatency(Latency latency) { driverOwnLatency_ = latency; }
    void SetFirmwareOwnLatency(Latency latency) { firmwareOwnLatency_ = latency; }
    // Called (under the chip's lock) each time the firmware takes the chip.
    void OnFirmwareOwn(std::function<void(RegisterFile&)> hook) { onFirmwareOwn_ = std::move(hook); }
    // How many times each hand-over completed.
    uint64_t DriverOwnGrants() const { return driverGrants_; }
    uint64_t FirmwareOwnGrants() const { return firmwareGrants_; }

private:
    enum class Pending : uint8_t { None, ToDriver, ToFirmware };
    void Settle(RegisterFile& r);

    Model model_;
    Pending pending_ = Pending::None;
    int64_t due_ = 0;
    bool dueNever_ = false;
    Latency driverOwnLatency_;
    Latency firmwareOwnLatency_;
    std::function<void(RegisterFile&)> onFirmwareOwn_;
    uint64_t driverGrants_ = 0;
    uint64_t firmwareGrants_ = 0;
};

}  // namespace sim::chip
