// The firmware's side of the command rings.
#include "fw/ring_firmware.h"

#include <chrono>

#include "kshim/host/control.h"

namespace sim::fw {

using sim::chip::RxResult;
using sim::chip::RxRole;
using sim::chip::TxRole;

namespace {

constexpr int64_t kUnitsPerMs = 10000;

}  // namespace

RingFirmware::RingFirmware(sim::chip::Chip& chip) : chip_(chip), rom_(chip.model().generation)
{
    const sim::chip::RingMap& map = chip_.rings();
    hwCommand_ = map.TxRing(TxRole::Command);
    hwDownload_ = map.TxRing(TxRole::Download);
    hwEvents_ = map.RxRing(RxRole::Events);
    if (map.present) {
        chip_.SetTxConsumer(hwCommand_, [this](const sim::chip::TxBuffer& b) { OnBuffer(kCommandRing, b); });
        chip_.SetTxConsumer(hwDownload_, [this](const sim::chip::TxBuffer& b) { OnBuffer(kDownloadRing, b); });
    }
    delivery_ = std::thread([this] { DeliveryLoop(); });
}

RingFirmware::~RingFirmware()
{
    if (chip_.rings().present) {
        chip_.SetTxConsumer(hwCommand_, nullptr);
        chip_.SetTxConsumer(hwDownload_, nullptr);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    delivery_.join();
}

void RingFirmware::OnBuffer(unsigned ring, const sim::chip::TxBuffer& buffer)
{
    RomAnswer answer = rom_.Consume(ring, buffer.data, buffer.length);
    RingExchange exchange;
    exchange.ring = ring;
    exchange.bytes.assign(buffer.data, buffer.data + buffer.length);
    exchange.command = answer.command;
    exchange.events = answer.events;
    exchange.delayMs = answer.delayMs;
    exchange.note = answer.note;

    std::lock_guard<std::mutex> lock(mutex_);
    exchanges_.push_back(std::move(exchange));
    const int64_t now = kshim::host::ClockNow();
    const int64_t due = now + static_cast<int64_t>(answer.delayMs) * kUnitsPerMs;
    for (std::vector<uint8_t>& event : answer.events) {
        // At once when nothing due waits before it and the ring has room; we run under the chip's
        // lock, so the write is part of the consumption.
        const bool dueBefore = !pending_.empty() && pending_.front().due <= due;
        if (answer.delayMs == 0 && !dueBefore && chip_.PushRx(hwEvents_, event.data(), event.size()) == RxResult::Ok) {
            ++written_;
            continue;
        }
        // Kept in order of due time, after everything due no later.
        auto it = pending_.begin();
        while (it != pending_.end() && it->due <= due) {
            ++it;
        }
        pending_.insert(it, Pending{due, std::move(event)});
    }
    cv_.notify_all();
}

void RingFirmware::Deliver()
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
        RxResult result = chip_.PushRx(hwEvents_, bytes.data(), bytes.size());
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

void RingFirmware::DeliveryLoop()
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

std::vector<RingExchange> RingFirmware::Exchanges() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return exchanges_;
}

void RingFirmware::ClearExchanges()
{
    std::lock_guard<std::mutex> lock(mutex_);
    exchanges_.clear();
}

uint64_t RingFirmware::EventsWritten() const
{
    // A delayed answer is counted after the chip wrote it, and the host may serve it in between:
    // a delivery under way is waited for, so that what the host has seen is counted.
    std::lock_guard<std::mutex> order(deliverMutex_);
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

size_t RingFirmware::EventsWaiting() const
{
    std::lock_guard<std::mutex> order(deliverMutex_);
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.size();
}

bool RingFirmware::WaitDelivered(unsigned ms) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return pending_.empty(); });
}

}  // namespace sim::fw
