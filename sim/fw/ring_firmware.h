// The firmware's side of the command rings (docs/hardware.md, "The firmware on the rings"): it takes
// every buffer the chip's WFDMA engine consumes from the command ring and the download ring, hands it
// to the firmware model (for now the boot ROM), and writes the model's answer events into the event
// ring, each as one receive buffer (the generation's receive descriptor, then the event header and
// payload). The engine itself sets the descriptor's DMA done and raises the ring's interrupt bit:
// that is the DMA-done report every command gets.
//
// An answer goes out at once, inside the consumption (on the thread that moved the CPU index, under
// the chip's lock), unless the model delays it: then a delivery thread writes it once the stand-in's
// clock has reached its time. An answer that finds the event ring full waits for the host to return
// slots and goes out in order.
//
// Second and third generation only: the older chip has no WFDMA engine in the simulation.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "chip/chip.h"
#include "fw/rom.h"

namespace sim::fw {

// One buffer the firmware took off a ring, and what it made of it.
struct RingExchange {
    unsigned ring = 0;                         // kCommandRing or kDownloadRing
    std::vector<uint8_t> bytes;                // the buffer as fetched
    std::optional<LegacyCommand> command;      // decoded, when it was a legacy command
    std::vector<std::vector<uint8_t>> events;  // the answer events (receive buffers), in order
    uint32_t delayMs = 0;
    std::string note;
};

class RingFirmware {
public:
    // Attaches to the chip's command and download rings. The chip must outlive the object.
    explicit RingFirmware(sim::chip::Chip& chip);
    ~RingFirmware();
    RingFirmware(const RingFirmware&) = delete;
    RingFirmware& operator=(const RingFirmware&) = delete;

    // The boot ROM that answers (its knobs and handlers; changed only while no command is in flight,
    // or from inside a handler).
    RomFirmware& Rom() { return rom_; }

    // Everything taken off the rings so far, in order.
    std::vector<RingExchange> Exchanges() const;
    void ClearExchanges();
    // Events written into the event ring, and events still waiting (delayed, or for room). Every event
    // the host may have served is counted written. Not to be called from inside the chip's lock.
    uint64_t EventsWritten() const;
    size_t EventsWaiting() const;
    // Waits (real time, up to `ms`) until no event waits; false on time-out.
    bool WaitDelivered(unsigned ms = 5000) const;

private:
    struct Pending {
        int64_t due;  // stand-in clock, 100 ns units
        std::vector<uint8_t> bytes;
    };

    void OnBuffer(unsigned ring, const sim::chip::TxBuffer& buffer);
    // Writes what is due, in order, while the event ring has room; the caller holds no lock of ours.
    void Deliver();
    void DeliveryLoop();

    sim::chip::Chip& chip_;
    RomFirmware rom_;
    unsigned hwCommand_ = 0;
    unsigned hwDownload_ = 0;
    unsigned hwEvents_ = 0;
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    // One writer of the event ring at a time, in order; taken before mutex_ and the chip's lock, and
    // by the counts' readers so that they never see an event written and not yet counted.
    mutable std::mutex deliverMutex_;
    std::vector<RingExchange> exchanges_;
    std::deque<Pending> pending_;
    uint64_t written_ = 0;
    bool stop_ = false;
    std::thread delivery_;
};

}  // namespace sim::fw
