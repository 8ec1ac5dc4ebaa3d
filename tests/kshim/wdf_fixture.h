// Shared helpers of the framework and engine tests: a recorder of strict-mode failures, a root
// object to parent timers and work items on, and small synchronisation helpers.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kshim/host/control.h"
#include "kshim/host/os.h"
#include "kshim/host/wait.h"
#include "support/eventually.h"
#include "kshim/wdf.h"

namespace kshim_test {

// Records strict-mode failures instead of failing the test; restores the failing handler after.
class ViolationRecorder {
public:
    ViolationRecorder()
    {
        kshim::host::SetViolationHandler([this](const kshim::host::Violation& v) {
            std::lock_guard<std::mutex> guard(lock_);
            seen_.push_back(v.what + (v.detail.empty() ? "" : ": " + v.detail));
        });
    }
    ~ViolationRecorder()
    {
        kshim::host::SetViolationHandler([](const kshim::host::Violation& v) {
            ADD_FAILURE() << "strict-mode failure: " << v.what << (v.detail.empty() ? "" : ": ") << v.detail;
        });
    }
    ViolationRecorder(const ViolationRecorder&) = delete;
    ViolationRecorder& operator=(const ViolationRecorder&) = delete;

    // How many recorded failures contain the text.
    size_t Count(const std::string& text) const
    {
        std::lock_guard<std::mutex> guard(lock_);
        size_t n = 0;
        for (const std::string& s : seen_) {
            n += s.find(text) != std::string::npos ? 1 : 0;
        }
        return n;
    }
    size_t Total() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return seen_.size();
    }
    std::string All() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::string out;
        for (const std::string& s : seen_) {
            out += s + "\n";
        }
        return out;
    }

private:
    mutable std::mutex lock_;
    std::vector<std::string> seen_;
};

// Waits until pred() holds (support/eventually.h); false after the limit.
template <class Pred>
bool Eventually(Pred pred, int limitMs = 5000)
{
    return qzl_test::Eventually(pred, static_cast<unsigned>(limitMs));
}

// A gate a callback at any IRQL can spin on (no blocking wait) until the test opens it.
struct Gate {
    std::atomic<bool> entered{false};
    std::atomic<bool> open{false};
    void Pass()
    {
        entered.store(true);
        while (!open.load()) {
            std::this_thread::yield();
        }
    }
};

// Tests of the framework objects without a loaded driver: objects hang under a root object that
// the fixture deletes, and the manual clock drives timers.
class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ClockSetManual();
        baseline_ = kshim::host::FrameworkObjectCount();
        ASSERT_EQ(WdfSpinLockCreate(WDF_NO_OBJECT_ATTRIBUTES, &root_), STATUS_SUCCESS);
    }
    void TearDown() override
    {
        kshim::host::SystemWorkersHold(false);
        WdfObjectDelete(root_);
        EXPECT_EQ(kshim::host::FrameworkObjectCount(), baseline_);
        kshim::host::ClockSetReal(1);
        kshim::host::FaultClearAll();
    }
    WDF_OBJECT_ATTRIBUTES UnderRoot()
    {
        WDF_OBJECT_ATTRIBUTES a;
        WDF_OBJECT_ATTRIBUTES_INIT(&a);
        a.ParentObject = root_;
        return a;
    }

    WDFSPINLOCK root_ = nullptr;
    size_t baseline_ = 0;
};

}  // namespace kshim_test
