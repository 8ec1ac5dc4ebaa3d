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

// Runs a call on its own thread so a test can watch whether it has returned yet.
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
    ~Waiter()
    {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    bool Done() const { return done_.load(); }
    // Returns once the call has been entered and had a little real time to block (a relative
    // time-out is measured from when the call reads the clock).
    void Entered()
    {
        while (!started_.load()) {
            std::this_thread::yield();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Waits up to `limit` of real time for the call to return.
    bool Finishes(std::chrono::milliseconds limit = std::chrono::milliseconds(3000))
    {
        auto end = std::chrono::steady_clock::now() + limit;
        while (!done_.load() && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done_.load();
    }
    // The call is still blocked after a little real time.
    bool StillBlocked()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        return !done_.load();
    }
    Result Get()
    {
        thread_.join();
        return result_;
    }

private:
    std::atomic<bool> started_{false};
    std::atomic<bool> done_{false};
    Result result_{};
    std::thread thread_;
};

}  // namespace kshim::test
