// The chip's WFDMA ring engine (docs/hardware.md, "The WFDMA ring engine"): the global DMA
// configuration with its enable and busy bits, the ring-pointer resets, and per hardware ring the
// base, count, CPU index and DMA index registers. Transmit rings are consumed when the host moves
// a CPU index (reading descriptors and buffers from host memory by bus address); receive rings are
// filled by the device side (the firmware model, tests) through PushRx.
//
// Runs under the chip's lock on its register file: the ring registers live there, so Peek and
// Poke see and change them. Transmit consumers run under the chip's lock too.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "chip/interrupts.h"
#include "chip/model.h"
#include "chip/register_file.h"
#include "chip/ring_map.h"

namespace sim::chip {

constexpr uint32_t kWfdmaGloCfg = 0x7C024208;      // bit 0 TX enable, 1 TX busy, 2 RX enable, 3 RX busy
constexpr uint32_t kWfdmaIdleGen2 = 0x7C024000;    // second generation: busy bits 1 and 3 of engine 0
constexpr uint32_t kWfdmaTxPtrReset = 0x7C02420C;  // bit h: TX ring h's DMA index := 0
constexpr uint32_t kWfdmaRxPtrReset = 0x7C024280;  // bit h: RX ring h's DMA index := 0
constexpr uint32_t kTxRingBase = 0x7C024300;       // + 0x10·h
constexpr uint32_t kRxRingBase = 0x7C024500;       // + 0x10·h
constexpr uint32_t kRingRegBase = 0x0, kRingRegCount = 0x4, kRingRegCpuIndex = 0x8, kRingRegDmaIndex = 0xC;
constexpr uint32_t kGloTxEnable = 0x1, kGloTxBusy = 0x2, kGloRxEnable = 0x4, kGloRxBusy = 0x8;
constexpr uint32_t kRingIndexMask = 0xFFF;  // counts and indexes are 12-bit

// WPDMA_DESC, 16 bytes little-endian: word 0 buffer address bits 0-31; word 1 control (bits 16-29
// length, bit 30 last segment, bit 31 DMA done); word 2 receive: address bits 32-63; word 3
// transmit: bits 0-15 address bits 32-47.
constexpr uint32_t kDescSize = 16;
constexpr uint32_t kDescDmaDone = 1u << 31;
constexpr uint32_t kDescLastSegment = 1u << 30;
constexpr uint32_t kDescLengthShift = 16;
constexpr uint32_t kDescLengthMask = 0x3FFF;

// One transmit buffer the engine consumed.
struct TxBuffer {
    unsigned ring;  // hardware ring
    uint32_t slot;
    uint64_t bus;   // buffer address
    const uint8_t* data;
    size_t length;
};
using TxConsumer = std::function<void(const TxBuffer&)>;

enum class RxResult : uint8_t {
    Ok,
    Full,            // the host has not returned the slot (DMA index = CPU index)
    Disabled,        // RX DMA not enabled
    NotProgrammed,   // count 0, or an index beyond the count
    TooLong,         // longer than the slot's buffer; nothing written
    BadDescriptor,   // buffer length 0
    DmaFault,        // descriptor or buffer outside every live host buffer (reported)
};
const char* RxResultName(RxResult result);

class Wfdma {
public:
    Wfdma(const Model& model, InterruptModel& interrupts);

    bool present() const { return map_.present; }
    const RingMap& map() const { return map_; }

    bool Handles(uint32_t address) const;
    uint32_t Read(RegisterFile& r, uint32_t address);
    void Write(RegisterFile& r, uint32_t address, uint32_t value);

    // ---- device side -------------------------------------------------------------------------------
    // The consumer of a transmit ring's buffers (none: buffers are consumed and dropped). It runs under
    // the chip's lock and may call the chip's device-side calls (PushRx, RaiseSoftwareInterrupt, ...).
    void SetTxConsumer(unsigned ring, TxConsumer consumer);
    RxResult PushRx(RegisterFile& r, unsigned ring, const void* data, size_t length);
    // The ring registers of every ring go back to 0 (the chip lost them).
    void LoseRings(RegisterFile& r);
    uint64_t TxConsumed(unsigned ring) const { return ring < kTxHwRings ? consumed_[ring] : 0; }
    uint64_t RxFilled(unsigned ring) const { return ring < kRxHwRings ? filled_[ring] : 0; }

    // ---- knobs -------------------------------------------------------------------------------------
    // While held, transmit rings are not consumed (the busy bit reads set while slots wait); the
    // release consumes what waits.
    void SetTxHold(RegisterFile& r, bool hold);
    // The busy bits read set for the next `reads` reads of the configuration (and second-generation
    // idle) register; kForever: until cleared with 0.
    static constexpr uint32_t kForever = 0xFFFFFFFFu;
    void SetBusy(bool tx, bool rx, uint32_t reads);
    // Reads of a ring's DMA index register give `value` instead of the engine's index (nullopt ends it).
    void SetDmaIndexOverride(bool rx, unsigned ring, std::optional<uint32_t> value);
    // A malformed descriptor or an index beyond a ring is a strict-mode failure (default) or only
    // noted in Faults().
    void SetStrict(bool strict) { strict_ = strict; }
    const std::vector<std::string>& Faults() const { return faults_; }
    // A fault a consumer of the engine found in what the host handed it (same rules as ring faults).
    void NoteFault(const std::string& what) { Fault(what); }

private:
    static uint32_t TxReg(unsigned ring, uint32_t reg) { return kTxRingBase + 0x10 * ring + reg; }
    static uint32_t RxReg(unsigned ring, uint32_t reg) { return kRxRingBase + 0x10 * ring + reg; }
    uint32_t ReadConfig(const RegisterFile& r, uint32_t address);
    bool TxWaiting(const RegisterFile& r) const;
    void ConsumeTx(RegisterFile& r, unsigned ring);
    void ConsumeAllTx(RegisterFile& r);
    void Fault(const std::string& what);

    Model model_;
    RingMap map_;
    InterruptModel& interrupts_;
    TxConsumer consumers_[kTxHwRings];
    uint64_t consumed_[kTxHwRings] = {};
    uint64_t filled_[kRxHwRings] = {};
    bool consuming_[kTxHwRings] = {};
    std::optional<uint32_t> txIndexOverride_[kTxHwRings];
    std::optional<uint32_t> rxIndexOverride_[kRxHwRings];
    bool txHold_ = false;
    bool busyTx_ = false, busyRx_ = false;
    uint32_t busyReads_ = 0;
    bool strict_ = true;
    std::vector<std::string> faults_;
};

}  // namespace sim::chip
