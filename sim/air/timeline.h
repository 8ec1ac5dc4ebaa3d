// Work that the simulated world does at a time of the stand-in's one clock: "run this at simulated
// time T". Nothing polls: one thread per timeline sleeps in a wait of the stand-in's clock until the
// earliest item is due (in manual mode until the clock is advanced; on the automatic clock time moves
// on to it when every thread of the simulation waits). Items run in order of due time (ties in order of scheduling), outside the timeline's
// lock, each given its due time, which is the time the work happens at in the world.
//
// Manual clock: every ClockAdvance runs, before it returns, every item that became due, including
// items those items schedule for times already reached. The thread is started with the first item.
//
//     Timeline t;
//     t.At(kshim::host::ClockNow() + 10 * 10000, [](int64_t due) { ... });  // 10 ms from now
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "air/ieee80211.h"
#include "kshim/host/wait.h"

namespace sim::air {

class Timeline {
public:
    using Id = uint64_t;
    using Work = std::function<void(int64_t due)>;

    Timeline();
    ~Timeline();
    Timeline(const Timeline&) = delete;
    Timeline& operator=(const Timeline&) = delete;

    // Runs `work` once the clock reaches `due` (at once, on the timeline's thread, when it has).
    Id At(int64_t due, Work work);
    // Removes an item that has not started; false when it ran, runs or never existed.
    bool Cancel(Id id);
    // Items not yet run.
    size_t Pending() const;
    // True on the timeline's own thread (inside an item).
    bool OnTimelineThread() const;

    // The manual clock's advance runs what became due on every live timeline, before returning.
    void ServeAdvance();

private:
    void Loop();

    mutable std::mutex mutex_;
    kshim::host::WaitCond wake_;  // a wait the clock knows: its deadline is the earliest item's due time
    std::condition_variable served_;
    std::map<std::pair<int64_t, Id>, Work> items_;
    std::map<Id, int64_t> dueOf_;
    Id next_ = 0;
    bool stop_ = false;
    bool started_ = false;
    uint64_t changes_ = 0;  // items added or cancelled
    uint64_t advanceTicket_ = 0;
    uint64_t servedTicket_ = 0;
    kshim::host::SimThread thread_;
    std::thread::id threadId_;
};

}  // namespace sim::air
