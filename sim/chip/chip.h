// The simulated chip as a PCI function: configuration space, one memory BAR decoded to chip
// registers, per-register behaviour hooks, a "gone" knob and a transcript of the latest accesses; and,
// on the second and third generation, the chip's own behaviour: the WFDMA ring engine, the
// interrupt logic that raises the PCI interrupt (message 0), and the driver/firmware ownership
// handshake (docs/hardware.md).
//
// Registers are plain stored words unless a hook or one of the chip's models gives one a
// behaviour; a test's hook takes precedence over the model. Hooks run under the chip's lock and get
// the register file directly (no hooks, no transcript): they may read and change any register, but
// must not call back into the Chip. Peek and Poke reach the stored words without any behaviour.
//
// One lock guards the whole device. It may be taken again by the thread holding it, so that a
// transmit consumer (running under it) can use the device-side calls below. The interrupt message
// is sent after the lock is released.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "chip/bar_map.h"
#include "chip/config_space.h"
#include "chip/interrupts.h"
#include "chip/model.h"
#include "chip/ownership.h"
#include "chip/register_file.h"
#include "chip/ring_map.h"
#include "chip/scheduler.h"
#include "chip/txp.h"
#include "chip/wfdma.h"
#include "chip/wfsys.h"
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

    // ---- the ring engine, device side -------------------------------------------------------------
    // Which hardware rings this design uses for what, and the status bit each raises.
    const RingMap& rings() const { return wfdma_.map(); }
    // Receives the buffers of transmit ring `ring` as the engine consumes them. The consumer runs
    // under the chip's lock on the thread that moved the CPU index, which may be the driver's at
    // DISPATCH_LEVEL holding its spin locks: it must not block or wait.
    void SetTxConsumer(unsigned ring, TxConsumer consumer);
    // Receives the data frames of both data rings, gathered through their transmit packet tables
    // (chip/txp.h). A buffer that does not describe its frame is a ring fault and is not handed on.
    using DataFrameConsumer = std::function<void(const DataFrame&)>;
    void SetDataFrameConsumer(DataFrameConsumer consumer);
    // Writes a buffer into the next free slot of receive ring `ring`, sets its descriptor done,
    // moves the DMA index and raises the ring's status bit.
    RxResult PushRx(unsigned ring, const void* data, size_t length);
    // Runs `f` under the chip's lock, as a consumption runs: for the firmware's writers whose own lock
    // a consumer takes, so that they take it inside the chip's lock too, never the other way round.
    void UnderDeviceLock(const std::function<void()>& f);
    uint64_t TxConsumed(unsigned ring) const;
    uint64_t RxFilled(unsigned ring) const;
    // Knobs: hold transmit consumption; busy bits for `reads` reads (Wfdma::kForever: stuck); a DMA
    // index register that reads `value` (e.g. past the ring's size); faults reported or only noted.
    void SetTxHold(bool hold);
    void SetDmaBusy(bool tx, bool rx, uint32_t reads);
    void SetDmaIndexOverride(bool rx, unsigned ring, std::optional<uint32_t> value);
    void SetStrictRings(bool strict);
    std::vector<std::string> RingFaults() const;

    // ---- interrupts, device side ----------------------------------------------------------------------
    void RaiseHostStatus(uint32_t bits);        // host interrupt status 0x7C024200
    void RaiseSoftwareInterrupt(uint32_t bits); // MCU-to-host status 0x7C0241F0
    void RaiseMacStatus(uint32_t bits);         // PCIe MAC status 0x7403018C
    void SetReassertOnUnmask(bool on);
    // Interrupt messages sent so far.
    uint64_t InterruptsSent() const { return interruptsSent_.load(); }

    // ---- ownership, device side --------------------------------------------------------------------
    bool FirmwareOwns();
    void SetDriverOwnLatency(Latency latency);
    void SetFirmwareOwnLatency(Latency latency);
    // Each time the firmware takes the chip, it loses its ring registers: every ring's base, count
    // and indexes read 0 and bit 1 of the marker 0x54000120 is cleared.
    void SetLoseRingsWhileFirmwareOwns(bool lose);
    uint64_t DriverOwnGrants() const;

    // ---- Wi-Fi subsystem reset and SER, device side (chip/wfsys.h) -----------------------------------
    // Runs (under the chip's lock) each time the subsystem starts again after a reset.
    void SetSubsystemRestartHook(std::function<void()> hook);
    uint64_t SubsystemRestarts() const;
    bool SubsystemInReset() const;
    // The firmware starts a SER; the step it waits for (0: none) and the driver's answers so far.
    void StartSer();
    unsigned SerStep() const;
    std::vector<uint32_t> HostToMcuWrites() const;

    // ---- the firmware thread (chip/scheduler.h) ---------------------------------------------------------
    // Where the firmware models run their delayed and doorbell-driven work; every write of the host to
    // the ring engine's registers (and the Wi-Fi subsystem's) rings its handlers.
    sim::chip::Scheduler& FirmwareThread() { return scheduler_; }

    // ---- transcript -------------------------------------------------------------------------------
    // The transcript keeps the latest kDefaultTranscriptCapacity accesses (a ring: the oldest go first),
    // so that a device left running costs no more memory the longer it runs. A test that needs a longer
    // history sets a larger capacity before the accesses it looks at; 0 records nothing.
    static constexpr size_t kDefaultTranscriptCapacity = 1u << 16;
    void SetTranscriptCapacity(size_t accesses);
    // The accesses kept, oldest first; and how many older ones the ring has dropped.
    std::vector<Access> Transcript() const;
    uint64_t TranscriptDropped() const;
    // BAR accesses that reached one register, in order (of those kept).
    std::vector<Access> AccessesTo(uint32_t chipAddress) const;
    void ClearTranscript();

    // ---- kshim::host::PciDevice -------------------------------------------------------------------
    uint32_t ConfigRead(uint32_t offset, void* buffer, uint32_t length) override;
    uint32_t ConfigWrite(uint32_t offset, const void* buffer, uint32_t length) override;
    uint64_t BarSize(unsigned bar) const override;
    uint64_t MmioRead(unsigned bar, uint64_t offset, unsigned width) override;
    void MmioWrite(unsigned bar, uint64_t offset, unsigned width, uint64_t value) override;

private:
    // Holds the device lock; the outermost holder sends a due interrupt message after releasing it.
    class DeviceLock {
    public:
        explicit DeviceLock(const Chip& chip);
        ~DeviceLock();
        DeviceLock(const DeviceLock&) = delete;
        DeviceLock& operator=(const DeviceLock&) = delete;

    private:
        Chip& chip_;
    };

    uint32_t ReadWord(uint32_t barOffset, std::optional<uint32_t>* chipAddress);
    void WriteWord(uint32_t barOffset, uint32_t value);
    void Record(const Access& access);
    void NoteRaise();

    Model model_;
    BarMap bar_;
    mutable std::recursive_mutex lock_;
    unsigned depth_ = 0;        // nesting of the device lock
    bool raiseWanted_ = false;  // an interrupt message is due once the lock is released
    bool loseRings_ = false;
    std::atomic<uint64_t> interruptsSent_{0};
    ConfigSpace config_;
    RegisterFile registers_;
    InterruptModel interrupts_;
    Wfdma wfdma_;
    Ownership ownership_;
    Wfsys wfsys_;
    std::unordered_map<uint32_t, ReadHook> readHooks_;
    std::unordered_map<uint32_t, WriteHook> writeHooks_;
    std::vector<Access> transcript_;  // a ring once full: transcriptNext_ is the oldest entry
    size_t transcriptCapacity_ = kDefaultTranscriptCapacity;
    size_t transcriptNext_ = 0;
    uint64_t transcriptDropped_ = 0;
    // Last: its thread stops before anything else of the chip goes.
    sim::chip::Scheduler scheduler_;
};

}  // namespace sim::chip
