// The firmware's writer of the event ring.
#include "fw/event_writer.h"

#include <chrono>

#include "kshim/host/control.h"
#include "kshim/host/wait.h"

namespace sim::fw {

using sim::chip::RxResult;

namespace {

constexpr int64_t kUnitsPerMs = 10000;

}  // namespace

EventRingWriter::EventRingWriter(sim::chip::Chip& chip, unsigned hwRing) : chip_(chip), hwRing_(hwRing)
{
    // A slot the host returns, a ring it programs or DMA it enables may let a waiting event out.
    chip_.FirmwareThread().OnRingWrite(this, [this] {
        bool waiting;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            waiting = !pending_.empty();
        }
        if (waiting) {
            Deliver();
        }
    });
}

EventRingWriter::~EventRingWriter() { chip_.FirmwareThread().Cancel(this); }

void EventRingWriter::ScheduleLocked()
{
    if (pending_.empty()) {
        return;
    }
    const int64_t due = pending_.front().due;
    if (due >= scheduledFor_) {
        return;  // a delivery no later is asked for already
    }
    scheduledFor_ = due;
    chip_.FirmwareThread().RunAt(this, due, [this] {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            scheduledFor_ = INT64_MAX;
        }
        Deliver();
    });
}

void EventRingWriter::Write(std::vector<std::vector<uint8_t>> events, uint32_t delayMs)
{
    // A consumption runs under the chip's lock and writes its answers here: the writer's lock is
    // always taken inside the chip's, so a write from another thread takes the chip's lock first.
    chip_.UnderDeviceLock([&] { WriteUnderDeviceLock(events, delayMs); });
}

void EventRingWriter::WriteUnderDeviceLock(std::vector<std::vector<uint8_t>>& events, uint32_t delayMs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const int64_t due = kshim::host::ClockNow() + static_cast<int64_t>(delayMs) * kUnitsPerMs;
    for (std::vector<uint8_t>& event : events) {
        // At once when nothing due waits before it and the ring has room, as part of what the chip's
        // lock covers (a consumption's answer lands with it).
        const bool dueBefore = !pending_.empty() && pending_.front().due <= due;
        if (delayMs == 0 && !dueBefore && chip_.PushRx(hwRing_, event.data(), event.size()) == RxResult::Ok) {
            ++written_;
            continue;
        }
        auto it = pending_.begin();
        while (it != pending_.end() && it->due <= due) {
            ++it;
        }
        pending_.insert(it, Pending{due, std::move(event)});
    }
    ScheduleLocked();
    cv_.NotifyAll();
}

void EventRingWriter::Deliver()
{
    std::lock_guard<std::mutex> order(deliverMutex_);
    for (;;) {
        std::vector<uint8_t> bytes;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (pending_.empty()) {
                return;
            }
            if (pending_.front().due > kshim::host::ClockNow()) {
                ScheduleLocked();
                return;
            }
            bytes = pending_.front().bytes;
        }
        // The front stays queued until written, so that a consumption meanwhile queues behind it.
        const RxResult result = chip_.PushRx(hwRing_, bytes.data(), bytes.size());
        std::lock_guard<std::mutex> lock(mutex_);
        if (result == RxResult::Full || result == RxResult::Disabled || result == RxResult::NotProgrammed) {
            return;  // tried again when the host next writes the ring engine
        }
        pending_.pop_front();
        if (result == RxResult::Ok) {
            ++written_;
        }
        cv_.NotifyAll();
    }
}

uint64_t EventRingWriter::Written() const
{
    // A delayed answer is counted after the chip wrote it, and the host may serve it in between: a
    // delivery under way is waited for, so that what the host has seen is counted.
    std::lock_guard<std::mutex> order(deliverMutex_);
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

size_t EventRingWriter::Waiting() const
{
    std::lock_guard<std::mutex> order(deliverMutex_);
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.size();
}

bool EventRingWriter::WaitDelivered(unsigned ms) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return kshim::host::WaitUntil(lock, cv_, INT64_MAX, [this] { return pending_.empty(); },
                                  std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
}

}  // namespace sim::fw
