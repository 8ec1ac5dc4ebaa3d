// Shared helpers of the simulated chip's tests: host memory the chip can reach by bus address,
// register access by chip address through the BAR, descriptor writers, and a counter of the
// interrupt messages the chip sends.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

#include "chip/chip.h"
#include "kshim/host/dma.h"

namespace simtest {

using sim::chip::Chip;

// Page-aligned, zeroed host memory registered on the bus for a device of `widthBits`.
class HostMemory {
public:
    explicit HostMemory(size_t length, unsigned widthBits = 32) : length_(length)
    {
        size_t rounded = (length + 4095) & ~size_t{4095};
        data_ = static_cast<uint8_t*>(std::aligned_alloc(4096, rounded));
        std::memset(data_, 0, rounded);
        bus_ = kshim::host::DmaRegister(data_, length, widthBits);
    }
    ~HostMemory()
    {
        if (bus_ != 0) {
            kshim::host::DmaUnregister(bus_);
        }
        std::free(data_);
    }
    HostMemory(const HostMemory&) = delete;
    HostMemory& operator=(const HostMemory&) = delete;

    uint8_t* data() const { return data_; }
    uint64_t bus() const { return bus_; }
    size_t length() const { return length_; }

private:
    uint8_t* data_ = nullptr;
    uint64_t bus_ = 0;
    size_t length_ = 0;
};

inline uint32_t Le32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void PutLe32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// The BAR offset at which the chip shows a register right now (found by decoding every page).
inline uint32_t BarOffsetOf(const Chip& chip, uint32_t chipAddress)
{
    for (uint32_t page = 0; page < chip.BarSize(0); page += 0x1000) {
        std::optional<uint32_t> base = chip.Decode(page);
        if (base && chipAddress >= *base && chipAddress - *base < 0x1000 &&
            chip.Decode(page + (chipAddress - *base)) == chipAddress) {
            return page + (chipAddress - *base);
        }
    }
    ADD_FAILURE() << "no BAR offset shows chip address 0x" << std::hex << chipAddress;
    return 0;
}

// Register access by chip address, as the driver's would be (through the BAR).
class Registers {
public:
    explicit Registers(Chip& chip) : chip_(chip) {}
    uint32_t Read(uint32_t chipAddress) { return static_cast<uint32_t>(chip_.MmioRead(0, Offset(chipAddress), 4)); }
    void Write(uint32_t chipAddress, uint32_t value) { chip_.MmioWrite(0, Offset(chipAddress), 4, value); }
    uint32_t Offset(uint32_t chipAddress)
    {
        auto it = offsets_.find(chipAddress);
        if (it == offsets_.end()) {
            it = offsets_.emplace(chipAddress, BarOffsetOf(chip_, chipAddress)).first;
        }
        return it->second;
    }

private:
    Chip& chip_;
    std::map<uint32_t, uint32_t> offsets_;
};

inline uint32_t TxReg(unsigned ring, uint32_t reg) { return sim::chip::kTxRingBase + 0x10 * ring + reg; }
inline uint32_t RxReg(unsigned ring, uint32_t reg) { return sim::chip::kRxRingBase + 0x10 * ring + reg; }

// Programs a ring as the driver does: base, CPU index (TX 0, RX count - 1), count.
inline void ProgramTxRing(Registers& regs, unsigned ring, uint64_t base, uint32_t count)
{
    regs.Write(TxReg(ring, sim::chip::kRingRegBase), static_cast<uint32_t>(base));
    regs.Write(TxReg(ring, sim::chip::kRingRegCpuIndex), 0);
    regs.Write(TxReg(ring, sim::chip::kRingRegCount), count);
}

inline void ProgramRxRing(Registers& regs, unsigned ring, uint64_t base, uint32_t count)
{
    regs.Write(RxReg(ring, sim::chip::kRingRegBase), static_cast<uint32_t>(base));
    regs.Write(RxReg(ring, sim::chip::kRingRegCpuIndex), count - 1);
    regs.Write(RxReg(ring, sim::chip::kRingRegCount), count);
}

// A transmit descriptor for a buffer (address bits 32-47 in bytes 12-13), DMA done clear.
inline void WriteTxDescriptor(uint8_t* desc, uint64_t address, uint32_t length, bool last = true)
{
    PutLe32(desc, static_cast<uint32_t>(address));
    PutLe32(desc + 4, (length << sim::chip::kDescLengthShift) | (last ? sim::chip::kDescLastSegment : 0));
    PutLe32(desc + 8, 0);
    PutLe32(desc + 12, static_cast<uint32_t>(address >> 32) & 0xFFFF);
}

// A receive descriptor handed to the chip: buffer address (bits 32-63 in word 2) and its size.
inline void WriteRxDescriptor(uint8_t* desc, uint64_t address, uint32_t capacity)
{
    PutLe32(desc, static_cast<uint32_t>(address));
    PutLe32(desc + 4, capacity << sim::chip::kDescLengthShift);
    PutLe32(desc + 8, static_cast<uint32_t>(address >> 32));
    PutLe32(desc + 12, 0);
}

// Counts the interrupt messages the chip sends.
struct MessageCounter {
    explicit MessageCounter(Chip& chip) : chip_(chip)
    {
        chip_.SetInterruptSink([this](uint32_t) { ++count; });
    }
    ~MessageCounter() { chip_.SetInterruptSink(nullptr); }
    int Take() { return count.exchange(0); }

    std::atomic<int> count{0};
    Chip& chip_;
};

}  // namespace simtest
