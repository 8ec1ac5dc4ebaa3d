// Framework timers on the manual clock: start and stop results, periods, re-arming, the level
// callbacks run at, and waiting for a running callback.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kshim/ke.h"
#include "wdf_fixture.h"

namespace {

using kshim::host::ClockAdvanceMs;
using kshim_test::Eventually;
using kshim_test::Gate;
using kshim_test::ViolationRecorder;

struct Probe {
    std::atomic<int> fired{0};
    std::atomic<int> inFlight{0};
    std::atomic<int> maxInFlight{0};
    std::atomic<int> irql{-1};
    std::atomic<bool> onCallerThread{false};
    std::thread::id caller;
    std::atomic<int> rearmLimit{0};
    std::atomic<int> rearmResults{0};  // how many re-arms reported an expiry still queued
    Gate* gate = nullptr;
    void (*extra)(WDFTIMER) = nullptr;
};
Probe* g_probe = nullptr;

VOID EvtProbeTimer(WDFTIMER timer)
{
    Probe& p = *g_probe;
    int now = p.inFlight.fetch_add(1) + 1;
    int seen = p.maxInFlight.load();
    while (now > seen && !p.maxInFlight.compare_exchange_weak(seen, now)) {
    }
    p.irql.store(KeGetCurrentIrql());
    p.onCallerThread.store(std::this_thread::get_id() == p.caller);
    if (p.gate != nullptr) {
        p.gate->Pass();
    }
    if (p.extra != nullptr) {
        p.extra(timer);
    }
    int fired = p.fired.fetch_add(1) + 1;
    if (fired < p.rearmLimit.load()) {
        p.rearmResults += WdfTimerStart(timer, WDF_REL_TIMEOUT_IN_MS(10)) ? 1 : 0;
    }
    p.inFlight.fetch_sub(1);
}

class TimerTest : public kshim_test::FrameworkTest {
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        probe_.caller = std::this_thread::get_id();
        g_probe = &probe_;
    }
    WDFTIMER MakeTimer(ULONG periodMs = 0)
    {
        WDF_TIMER_CONFIG config;
        WDF_TIMER_CONFIG_INIT_PERIODIC(&config, EvtProbeTimer, static_cast<LONG>(periodMs));
        WDF_OBJECT_ATTRIBUTES attributes = UnderRoot();
        WDFTIMER timer = nullptr;
        EXPECT_EQ(WdfTimerCreate(&config, &attributes, &timer), STATUS_SUCCESS);
        return timer;
    }
    Probe probe_;
};

TEST_F(TimerTest, StartAndStopReportWhetherAnExpiryWasQueued)
{
    WDFTIMER timer = MakeTimer();
    EXPECT_FALSE(WdfTimerStart(timer, WDF_REL_TIMEOUT_IN_MS(10)));
    EXPECT_TRUE(WdfTimerStart(timer, WDF_REL_TIMEOUT_IN_MS(20)));  // restarted with the new due time
    ClockAdvanceMs(15);
    EXPECT_EQ(probe_.fired, 0);
    ClockAdvanceMs(5);
    EXPECT_EQ(probe_.fired, 1);

    EXPECT_FALSE(WdfTimerStop(timer, FALSE));  // a one-shot that fired has nothing queued
    EXPECT_FALSE(WdfTimerStart(timer, WDF_REL_TIMEOUT_IN_MS(10)));
    EXPECT_TRUE(WdfTimerStop(timer, FALSE));
    EXPECT_FALSE(WdfTimerStop(timer, TRUE));
    ClockAdvanceMs(100);
    EXPECT_EQ(probe_.fired, 1);
}

TEST_F(TimerTest, DueTimesRelativeAbsoluteAndPassed)
{
    WDFTIMER timer = MakeTimer();
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    EXPECT_FALSE(WdfTimerStart(timer, now.QuadPart + 5 * 10000));  // absolute: now + 5 ms
    ClockAdvanceMs(4);
    EXPECT_EQ(probe_.fired, 0);
    ClockAdvanceMs(1);
    EXPECT_EQ(probe_.fired, 1);

    KeQuerySystemTime(&now);
    WdfTimerStart(timer, now.QuadPart - 10000);  // already passed: expires at once
    kshim::host::ClockAdvance(0);
    EXPECT_EQ(probe_.fired, 2);
}

TEST_F(TimerTest, PeriodicTimerKeepsItsCreationPeriod)
{
    WDFTIMER timer = MakeTimer(100);
    EXPECT_FALSE(WdfTimerStart(timer, WDF_REL_TIMEOUT_IN_MS(30)));
    ClockAdvanceMs(29);
    EXPECT_EQ(probe_.fired, 0);
    ClockAdvanceMs(1);
    EXPECT_EQ(probe_.fired, 1);
    ClockAdvanceMs(99);
    EXPECT_EQ(probe_.fired, 1);
    ClockAdvanceMs(1);
    EXPECT_EQ(probe_.fired, 2);

    // A restart with another due time moves the next expiry, not the period.
    EXPECT_TRUE(WdfTimerStart(timer, WDF_REL_TIMEOUT_IN_MS(10)));
    ClockAdvanceMs(10);
    EXPECT_EQ(probe_.fired, 3);
    ClockAdvanceMs(99);
    EXPECT_EQ(probe_.fired, 3);
    ClockAdvanceMs(1);
    EXPECT_EQ(probe_.fired, 4);
    EXPECT_TRUE(WdfTimerStop(timer, TRUE));  // a periodic timer is always queued until stopped
    ClockAdvanceMs(500);
    EXPECT_EQ(probe_.fired, 4);
}

TEST_F(TimerTest, AdvanceOverManyPeriodsFiresEachOneWithoutOverlap)
{
    WDFTIMER timer = MakeTimer(1);
    WdfTimerStart(timer, WDF_REL_TIMEOUT_IN_MS(1));
    ClockAdvanceMs(50);
    EXPECT_EQ(probe_.fired, 50);
    EXPECT_EQ(probe_.maxInFlight, 1);
    WdfTimerStop(timer, TRUE);
}

TEST_F(TimerTest, CallbackRunsAtDispatchLevelOnTheTimerThread)
{
    WDFTIMER timer = MakeTimer();
    WdfTimerStart(timer, WDF_REL_TIMEOUT_IN_MS(1));
    ClockAdvanceMs(1);
    ASSERT_EQ(probe_.fired, 1);
    EXPECT_EQ(probe_.irql, DISPATCH_LEVEL);
    EXPECT_FALSE(probe_.onCallerThread);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    WDFOBJECT parent = WdfTimerGetParentObject(timer);
    EXPECT_EQ(parent, static_cast<WDFOBJECT>(root_));
}

TEST_F(TimerTest, CallbackMayRearmItsOwnOneShotTimer)
{
    probe_.rearmLimit = 3;
    WDFTIMER timer = MakeTimer();
    WdfTimerStart(timer, WDF_REL_TIMEOUT_IN_MS(10));
    for (int i = 0; i < 5; ++i) {
        ClockAdvanceMs(10);
    }
    EXPECT_EQ(probe_.fired, 3);
    EXPECT_EQ(probe_.rearmResults, 0);  // a one-shot is no longer queued while its callback runs
}

// Stop without wait returns while the callback still runs; stop with wait and deletion return
// only after it.
TEST_F(TimerTest, StopWithoutWaitReturnsAtOnceStopWithWaitAndDeleteWaitForTheCallback)
{
    for (bool deleteIt : {false, true}) {
        SCOPED_TRACE(deleteIt ? "delete" : "stop with wait");
        Gate gate;
        probe_.gate = &gate;
        WDFTIMER timer = MakeTimer();
        WdfTimerStart(timer, WDF_REL_TIMEOUT_IN_MS(10));
        std::thread advance([] { ClockAdvanceMs(10); });
        ASSERT_TRUE(Eventually([&] { return gate.entered.load(); }));

        EXPECT_FALSE(WdfTimerStop(timer, FALSE));
        EXPECT_FALSE(gate.open.load());

        std::atomic<bool> done{false};
        std::thread waiter([&] {
            if (deleteIt) {
                WdfObjectDelete(timer);
            } else {
                WdfTimerStop(timer, TRUE);
            }
            done = true;
        });
        EXPECT_TRUE(kshim::host::WaitBlockedAt(deleteIt ? "timer.cancel" : "timer.stop"));
        EXPECT_FALSE(done.load());
        gate.open = true;
        waiter.join();
        advance.join();
        EXPECT_TRUE(done.load());
        probe_.gate = nullptr;
    }
}

// Calls that may block are reported when a timer callback (DISPATCH_LEVEL) makes them.
TEST_F(TimerTest, BlockingCallsInsideTheCallbackAreReported)
{
    struct Case {
        const char* name;
        void (*call)(WDFTIMER);
        const char* report;
    };
    static KEVENT s_event;
    const Case cases[] = {
        {"wait with a time-out",
         [](WDFTIMER) {
             LARGE_INTEGER timeout;
             timeout.QuadPart = -10 * 10000;
             KeWaitForSingleObject(&s_event, Executive, KernelMode, FALSE, &timeout);
         },
         "blocking call above APC_LEVEL"},
        {"stop with wait", [](WDFTIMER t) { WdfTimerStop(t, TRUE); }, "WdfTimerStop(Wait = TRUE)"},
        {"flush of deferred routines", [](WDFTIMER) { KeFlushQueuedDpcs(); }, "KeFlushQueuedDpcs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KeInitializeEvent(&s_event, NotificationEvent, TRUE);  // set: the wait itself returns at once
        ViolationRecorder recorder;
        probe_.extra = c.call;
        WDFTIMER timer = MakeTimer();
        WdfTimerStart(timer, WDF_REL_TIMEOUT_IN_MS(1));
        ClockAdvanceMs(1);
        EXPECT_EQ(recorder.Count(c.report), 1u) << recorder.All();
        probe_.extra = nullptr;
        WdfObjectDelete(timer);
    }
}

TEST_F(TimerTest, CreationNeedsAParentAndCanBeFailedByAFaultPoint)
{
    WDF_TIMER_CONFIG config;
    WDF_TIMER_CONFIG_INIT(&config, EvtProbeTimer);
    WDFTIMER timer = nullptr;
    EXPECT_EQ(WdfTimerCreate(&config, WDF_NO_OBJECT_ATTRIBUTES, &timer), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(timer, nullptr);

    kshim::host::FaultArm("wdf.create", "WDFTIMER", 1, STATUS_INSUFFICIENT_RESOURCES);
    WDF_OBJECT_ATTRIBUTES attributes = UnderRoot();
    EXPECT_EQ(WdfTimerCreate(&config, &attributes, &timer), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(WdfTimerCreate(&config, &attributes, &timer), STATUS_SUCCESS);
}

}  // namespace
