// The simulated chip as a PCI function: configuration space, one memory BAR decoded to chip
// registers, per-register behaviour hooks, a "gone" knob and a transcript of every access.
//
// Registers are plain stored words unless a hook gives one a behaviour. Hooks run under the chip's
// lock and get the register file directly (no hooks, no transcript): they may read and change any
// register, but must not call back into the Chip.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "chip/bar_map.h"
#include "chip/config_space.h"
#include "chip/model.h"
#include "chip/register_file.h"
#include "kshim/host/pci_device.h"

namespace sim::chip {

struct Access {
    enum class Space { Bar, Config };
    Space space = Space::Bar;
    bool write = false;
    unsigned width = 4;                    // bytes
    uint32_t offset = 0;                   // BAR or configuration-space offset
    std::optional<uint32_t> chipAddress;   // BAR accesses: the register of the first byte, if any
    uint64_t value = 0;                    // value read or written (configuration: up to 8 bytes)
};

class Chip : public kshim::host::PciDevice {
public:
    // Returns the value a read of the register gives; `registers.Get(address)` is the stored word.
    using ReadHook = std::function<uint32_t(RegisterFile& registers, uint32_t address)>;
    // Carries out a write of `value` to the register (a plain register stores it).
    using WriteHook = std::function<void(RegisterFile& registers, uint32_t address, uint32_t value)>;

    explicit Chip(uint16_t deviceId);

    const Model& model() const { return model_; }

    // ---- registers, for tests and device-side behaviour (no hooks, no transcript) ------------------
    uint32_t Peek(uint32_t chipAddress) const;
    void Poke(uint32_t chipAddress, uint32_t value);
    void SetReadHook(uint32_t chipAddress, ReadHook hook);
    void SetWriteHook(uint32_t chipAddress, WriteHook hook);
    void ClearHooks(uint32_t chipAddress);
    // The chip address a BAR offset reaches right now (windows as currently positioned).
    std::optional<uint32_t> Decode(uint32_t barOffset) const;

    // ---- configuration space, device side -------------------------------------------------------
    void SetRevision(uint8_t revision);
    void SetSubsystem(uint16_t vendorId, uint16_t subsystemId);
    uint32_t Config32(uint32_t offset) const;
    void SetConfig32(uint32_t offset, uint32_t value);

    // ---- transcript -------------------------------------------------------------------------------
    std::vector<Access> Transcript() const;
    // BAR accesses that reached one register, in order.
    std::vector<Access> AccessesTo(uint32_t chipAddress) const;
    void ClearTranscript();

    // ---- kshim::host::PciDevice -------------------------------------------------------------------
    uint32_t ConfigRead(uint32_t offset, void* buffer, uint32_t length) override;
    uint32_t ConfigWrite(uint32_t offset, const void* buffer, uint32_t length) override;
    uint64_t BarSize(unsigned bar) const override;
    uint64_t MmioRead(unsigned bar, uint64_t offset, unsigned width) override;
    void MmioWrite(unsigned bar, uint64_t offset, unsigned width, uint64_t value) override;

private:
    uint32_t ReadWord(uint32_t barOffset, std::optional<uint32_t>* chipAddress);
    void WriteWord(uint32_t barOffset, uint32_t value);
    void Record(const Access& access);

    Model model_;
    BarMap bar_;
    mutable std::mutex lock_;
    ConfigSpace config_;
    RegisterFile registers_;
    std::unordered_map<uint32_t, ReadHook> readHooks_;
    std::unordered_map<uint32_t, WriteHook> writeHooks_;
    std::vector<Access> transcript_;
};

}  // namespace sim::chip
