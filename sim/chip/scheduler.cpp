// The chip's firmware thread.
#include "chip/scheduler.h"

#include "kshim/host/control.h"

namespace sim::chip {

namespace {

constexpr int64_t kUnitsPerMs = 10000;

}  // namespace

Scheduler::~Scheduler()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.NotifyAll();
    thread_.Join();
}

void Scheduler::StartLocked()
{
    if (!thread_.Joinable() && !stop_) {
        thread_ = kshim::host::SimThread([this] { Main(); });
    }
}

void Scheduler::RunAt(const void* owner, int64_t due, Task task)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        timed_.emplace(due, Timed{owner, std::move(task)});
        StartLocked();
    }
    changed_.NotifyAll();
}

void Scheduler::RunAfterMs(const void* owner, uint32_t ms, Task task)
{
    RunAt(owner, kshim::host::ClockNow() + static_cast<int64_t>(ms) * kUnitsPerMs, std::move(task));
}

void Scheduler::OnRingWrite(const void* owner, Task handler)
{
    std::lock_guard<std::mutex> lock(mutex_);
    handlers_.push_back(Handler{owner, std::move(handler)});
}

void Scheduler::RingWritten()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (handlers_.empty()) {
            return;
        }
        for (Handler& h : handlers_) {
            h.due = true;
        }
        handlersDue_ = true;
        StartLocked();
    }
    changed_.NotifyAll();
}

void Scheduler::Cancel(const void* owner)
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (auto it = timed_.begin(); it != timed_.end();) {
        it = it->second.owner == owner ? timed_.erase(it) : std::next(it);
    }
    for (auto it = handlers_.begin(); it != handlers_.end();) {
        it = it->owner == owner ? handlers_.erase(it) : std::next(it);
    }
    if (std::this_thread::get_id() == thread_id_) {
        return;
    }
    kshim::host::WaitUntil(lock, changed_, INT64_MAX, [&] { return !running_ || runningOwner_ != owner; });
}

void Scheduler::Main()
{
    std::unique_lock<std::mutex> lock(mutex_);
    thread_id_ = std::this_thread::get_id();
    for (;;) {
        int64_t next = timed_.empty() ? INT64_MAX : timed_.begin()->first;
        kshim::host::WaitUntil(lock, changed_, next, [&] {
            return stop_ || handlersDue_ || (!timed_.empty() && timed_.begin()->first < next);
        });
        if (stop_) {
            return;
        }
        Task task;
        const void* owner = nullptr;
        if (handlersDue_) {
            handlersDue_ = false;
            for (Handler& h : handlers_) {
                if (h.due) {
                    h.due = false;
                    handlersDue_ = true;  // more may be due after this one: look again
                    task = h.task;
                    owner = h.owner;
                    break;
                }
            }
        }
        if (!task && !timed_.empty() && timed_.begin()->first <= kshim::host::ClockNow()) {
            auto first = timed_.begin();
            task = std::move(first->second.task);
            owner = first->second.owner;
            timed_.erase(first);
        }
        if (!task) {
            continue;
        }
        running_ = true;
        runningOwner_ = owner;
        lock.unlock();
        task();
        lock.lock();
        running_ = false;
        runningOwner_ = nullptr;
        changed_.NotifyAll();
    }
}

}  // namespace sim::chip
