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
    wake_.NotifyAll();
    if (thread_.Joinable() && threadId_ != std::this_thread::get_id()) {
        thread_.Join();
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
        thread_ = kshim::host::SimThread([this] { Loop(); });
    }
    wake_.NotifyAll();
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

bool Timeline::OnTimelineThread() const { return threadId_ == std::this_thread::get_id(); }

void Timeline::ServeAdvance()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!started_ || stop_ || OnTimelineThread()) {
        return;
    }
    const uint64_t ticket = ++advanceTicket_;
    wake_.NotifyAll();
    served_.wait_for(lock, kServeLimit, [&] { return servedTicket_ >= ticket || stop_; });
}

void Timeline::Loop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    threadId_ = std::this_thread::get_id();
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
        // The wait's deadline is the earliest item's due time: the clock wakes it then (in manual
        // mode when an advance reaches it), and the automatic clock moves on to it when every thread
        // of the simulation waits.
        const int64_t deadline = first == items_.end() ? INT64_MAX : first->first.first;
        kshim::host::WaitUntil(lock, wake_, deadline, woken);
    }
}

}  // namespace sim::air
