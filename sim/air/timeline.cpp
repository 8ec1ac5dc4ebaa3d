// Work at a time of the stand-in's clock.
#include "air/timeline.h"

#include <chrono>
#include <set>

#include "kshim/host/control.h"

namespace sim::air {

namespace {

// Every live timeline, for the manual clock's advance. The listener is registered once per process
// (the clock keeps its listeners for ever).
struct Registry {
    std::mutex mutex;
    std::set<Timeline*> live;
    bool listening = false;
};

Registry& Reg()
{
    static Registry* r = new Registry();
    return *r;
}

void OnAdvance(int64_t)
{
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (Timeline* t : r.live) {
        t->ServeAdvance();
    }
}

constexpr auto kMaxSlice = std::chrono::milliseconds(20);
// How long an advance waits for a timeline that does not finish (a deadlocked item): long enough
// for any item, short enough that a fault shows as a slow test rather than a hang.
constexpr auto kServeLimit = std::chrono::seconds(5);

}  // namespace

Timeline::Timeline()
{
    Registry& r = Reg();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.live.insert(this);
    if (!r.listening) {
        r.listening = true;
        kshim::host::ClockOnAdvance(OnAdvance);
    }
}

Timeline::~Timeline()
{
    {
        Registry& r = Reg();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.live.erase(this);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            thread_.join();
        }
    }
}

Timeline::Id Timeline::At(int64_t due, Work work)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Id id = ++next_;
    items_.emplace(std::make_pair(due, id), std::move(work));
    dueOf_.emplace(id, due);
    ++changes_;
    if (!started_) {
        started_ = true;
        thread_ = std::thread([this] { Loop(); });
    }
    wake_.notify_all();
    return id;
}

bool Timeline::Cancel(Id id)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = dueOf_.find(id);
    if (it == dueOf_.end()) {
        return false;
    }
    items_.erase(std::make_pair(it->second, id));
    dueOf_.erase(it);
    ++changes_;
    return true;
}

size_t Timeline::Pending() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return items_.size();
}

bool Timeline::OnTimelineThread() const { return thread_.get_id() == std::this_thread::get_id(); }

void Timeline::ServeAdvance()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!started_ || stop_ || OnTimelineThread()) {
        return;
    }
    const uint64_t ticket = ++advanceTicket_;
    wake_.notify_all();
    served_.wait_for(lock, kServeLimit, [&] { return servedTicket_ >= ticket || stop_; });
}

void Timeline::Loop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        const uint64_t ticket = advanceTicket_;
        const int64_t now = kshim::host::ClockNow();
        auto first = items_.begin();
        if (first != items_.end() && first->first.first <= now) {
            const int64_t due = first->first.first;
            Work work = std::move(first->second);
            dueOf_.erase(first->first.second);
            items_.erase(first);
            lock.unlock();
            work(due);
            lock.lock();
            continue;
        }
        servedTicket_ = ticket;
        served_.notify_all();
        const uint64_t changes = changes_;
        auto woken = [&] { return stop_ || advanceTicket_ != ticket || changes_ != changes; };
        if (first == items_.end() || kshim::host::ClockIsManual()) {
            // Nothing can become due without an advance or a new item. A switch of the clock to
            // real time is seen at the next slice.
            wake_.wait_for(lock, kMaxSlice * 50, woken);
            continue;
        }
        const int64_t remaining = first->first.first - now;
        const unsigned speedup = kshim::host::ClockSpeedup() == 0 ? 1 : kshim::host::ClockSpeedup();
        auto slice = std::chrono::nanoseconds(remaining * 100 / speedup);
        if (slice > kMaxSlice) {
            slice = kMaxSlice;
        }
        if (slice < std::chrono::microseconds(1)) {
            slice = std::chrono::microseconds(1);
        }
        wake_.wait_for(lock, slice, woken);
    }
}

}  // namespace sim::air
