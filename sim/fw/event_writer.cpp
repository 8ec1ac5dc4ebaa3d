// The firmware's writer of the event ring.
#include "fw/event_writer.h"

#include <chrono>

#include "kshim/host/control.h"

namespace sim::fw {

using sim::chip::RxResult;

namespace {

constexpr int64_t kUnitsPerMs = 10000;

}  // namespace

EventRingWriter::EventRingWriter(sim::chip::Chip& chip, unsigned hwRing) : chip_(chip), hwRing_(hwRing)
{
    delivery_ = std::thread([this] { DeliveryLoop(); });
}

EventRingWriter::~EventRingWriter()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    delivery_.join();
}

void EventRingWriter::Write(std::vector<std::vector<uint8_t>> events, uint32_t delayMs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const int64_t due = kshim::host::ClockNow() + static_cast<int64_t>(delayMs) * kUnitsPerMs;
    for (std::vector<uint8_t>& event : events) {
        // At once when nothing due waits before it and the ring has room; inside a consumption we run
        // under the chip's lock, so the write is part of it.
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
    cv_.notify_all();
}

void EventRingWriter::Deliver()
{
    std::lock_guard<std::mutex> order(deliverMutex_);
    for (;;) {
        std::vector<uint8_t> bytes;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (pending_.empty() || pending_.front().due > kshim::host::ClockNow()) {
                return;
            }
            bytes = pending_.front().bytes;
        }
        // The front stays queued until written, so that a consumption meanwhile queues behind it.
        const RxResult result = chip_.PushRx(hwRing_, bytes.data(), bytes.size());
        std::lock_guard<std::mutex> lock(mutex_);
        if (result == RxResult::Full || result == RxResult::Disabled || result == RxResult::NotProgrammed) {
            return;  // tried again later
        }
        pending_.pop_front();
        if (result == RxResult::Ok) {
            ++written_;
        }
        cv_.notify_all();
    }
}

void EventRingWriter::DeliveryLoop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        if (!pending_.empty()) {
            lock.unlock();
            Deliver();
            lock.lock();
        }
        cv_.wait_for(lock, std::chrono::milliseconds(1));
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
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return pending_.empty(); });
}

}  // namespace sim::fw
