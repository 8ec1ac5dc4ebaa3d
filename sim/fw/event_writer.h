// The firmware's writer of the event ring (docs/hardware.md, "The firmware on the rings"): every
// model that answers commands hands its answer events here, each one receive buffer (the
// generation's receive descriptor, then the event header and payload).
//
// An answer goes out at once, inside the consumption that produced it (on the thread that moved the
// CPU index, under the chip's lock), when it is not delayed, nothing due before it waits and the ring
// has room; otherwise it waits in order of due time, after everything due no later, and the chip's
// firmware thread (chip/scheduler.h) writes it once the stand-in's clock has reached its time and the
// host has returned a slot (a write to the ring engine's registers rings the writer again).
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "chip/chip.h"
#include "kshim/host/wait.h"

namespace sim::fw {

class EventRingWriter {
public:
    // Writes into the chip's receive ring `hwRing`. The chip must outlive the object.
    EventRingWriter(sim::chip::Chip& chip, unsigned hwRing);
    ~EventRingWriter();
    EventRingWriter(const EventRingWriter&) = delete;
    EventRingWriter& operator=(const EventRingWriter&) = delete;

    // The events of one answer, in order, due `delayMs` from now (stand-in clock). May run inside the
    // chip's consumption.
    void Write(std::vector<std::vector<uint8_t>> events, uint32_t delayMs);
    // Events written into the ring, and events still waiting (delayed, or for room). Every event the
    // host may have served is counted written. Not to be called from inside the chip's lock.
    uint64_t Written() const;
    size_t Waiting() const;
    // Waits until no event waits (a wait of the stand-in: delayed answers go out on its clock); false when
    // `ms` of host time pass first.
    bool WaitDelivered(unsigned ms) const;

private:
    struct Pending {
        int64_t due;  // stand-in clock, 100 ns units
        std::vector<uint8_t> bytes;
    };

    // Writes what is due, in order, while the ring has room; the caller holds no lock of ours. Runs on
    // the firmware thread.
    void Deliver();
    // Asks the firmware thread to deliver when the front is due (mutex_ held).
    void ScheduleLocked();
    void WriteUnderDeviceLock(std::vector<std::vector<uint8_t>>& events, uint32_t delayMs);

    sim::chip::Chip& chip_;
    unsigned hwRing_;
    mutable std::mutex mutex_;
    mutable kshim::host::WaitCond cv_;
    // One writer of the ring at a time, in order; taken before mutex_ and the chip's lock, and by the
    // counts' readers so that they never see an event written and not yet counted.
    mutable std::mutex deliverMutex_;
    std::deque<Pending> pending_;
    uint64_t written_ = 0;
    int64_t scheduledFor_ = INT64_MAX;  // the time of the delivery already asked for
};

}  // namespace sim::fw
