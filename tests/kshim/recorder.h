// Test helpers of the stand-in's own tests: a strict-mode recorder and a waiter thread.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kshim/host/control.h"
#include "kshim/host/wait.h"
#include "support/eventually.h"

namespace kshim::test {

// Records strict-mode failures instead of failing the test; on destruction the test main's
// behaviour (each failure is a test failure) comes back.
class ViolationRecorder {
public:
    ViolationRecorder()
    {
        kshim::host::SetViolationHandler([this](const kshim::host::Violation& v) {
            std::lock_guard<std::mutex> guard(lock_);
            seen_.push_back(v);
        });
    }
    ~ViolationRecorder()
    {
        kshim::host::SetViolationHandler([](const kshim::host::Violation& v) {
            ADD_FAILURE() << "strict-mode failure: " << v.what << (v.detail.empty() ? "" : ": ") << v.detail;
        });
    }
    std::vector<kshim::host::Violation> Take()
    {
        std::lock_guard<std::mutex> guard(lock_);
        auto out = std::move(seen_);
        seen_.clear();
        return out;
    }

private:
    std::mutex lock_;
    std::vector<kshim::host::Violation> seen_;
};

// Runs a call on its own thread (a thread of the simulation, kshim/host/wait.h) so a test can watch
// whether it has returned yet.
template <class Result>
class Waiter {
public:
    explicit Waiter(std::function<Result()> call)
        : thread_([this, call] {
              started_.store(true);
              result_ = call();
              done_.store(true);
          })
    {
    }
    ~Waiter() { thread_.Join(); }
    bool Done() const { return done_.load(); }
    // Returns once the call has been entered and blocked in its wait (or returned).
    void Entered() { EXPECT_TRUE(qzl_test::Settle()); }
    // Waits (support/eventually.h) up to `limit` for the call to return.
    bool Finishes(std::chrono::milliseconds limit = std::chrono::milliseconds(3000))
    {
        return qzl_test::Eventually([this] { return done_.load(); }, static_cast<unsigned>(limit.count()));
    }
    // The call is still blocked once everything else has settled.
    bool StillBlocked()
    {
        EXPECT_TRUE(qzl_test::Settle());
        return !done_.load();
    }
    Result Get()
    {
        thread_.Join();
        return result_;
    }

private:
    std::atomic<bool> started_{false};
    std::atomic<bool> done_{false};
    Result result_{};
    kshim::host::SimThread thread_;
};

}  // namespace kshim::test
