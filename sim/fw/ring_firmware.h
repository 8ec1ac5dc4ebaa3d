// The firmware's side of the command rings (docs/hardware.md, "The firmware on the rings"): it takes
// every buffer the chip's WFDMA engine consumes from the command ring and the download ring, hands it
// to the firmware model (for now the boot ROM), and hands the model's answer events to the event
// ring's writer (fw/event_writer: at once inside the consumption, or later when delayed or the ring
// is full, in order). The engine itself sets the descriptor's DMA done and raises the ring's interrupt
// bit: that is the DMA-done report every command gets.
//
// Second and third generation only: the older chip has no WFDMA engine in the simulation.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "chip/chip.h"
#include "fw/event_writer.h"
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
    void OnBuffer(unsigned ring, const sim::chip::TxBuffer& buffer);

    sim::chip::Chip& chip_;
    RomFirmware rom_;
    unsigned hwCommand_ = 0;
    unsigned hwDownload_ = 0;
    mutable std::mutex mutex_;  // the exchanges; taken before the writer's locks
    std::vector<RingExchange> exchanges_;
    EventRingWriter events_;
};

}  // namespace sim::fw
