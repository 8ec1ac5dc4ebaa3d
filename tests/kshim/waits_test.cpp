// Waits and their time-out units, events, the manual clock and the speed-up.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

#include "kshim/host/control.h"
#include "kshim/ke.h"
#include "kshim/ndis.h"
#include "recorder.h"

namespace {

using kshim::test::Waiter;

class ManualClock : public ::testing::Test {
protected:
    void SetUp() override { kshim::host::ClockSetManual(); }
    void TearDown() override { kshim::host::ClockSetReal(1); }
};

TEST(Waits, NotificationEventStaysSetAndSynchronizationEventReleasesOne)
{
    KEVENT n, s;
    KeInitializeEvent(&n, NotificationEvent, FALSE);
    KeInitializeEvent(&s, SynchronizationEvent, FALSE);
    EXPECT_EQ(KeSetEvent(&n, 0, FALSE), 0);
    EXPECT_EQ(KeSetEvent(&n, 0, FALSE), 1);
    LARGE_INTEGER poll{};
    EXPECT_EQ(KeWaitForSingleObject(&n, Executive, KernelMode, FALSE, &poll), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(&n, Executive, KernelMode, FALSE, &poll), STATUS_SUCCESS);
    KeSetEvent(&s, 0, FALSE);
    EXPECT_EQ(KeWaitForSingleObject(&s, Executive, KernelMode, FALSE, &poll), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(&s, Executive, KernelMode, FALSE, &poll), STATUS_TIMEOUT);
}

TEST(Waits, RelativeTimeoutIsInHundredNanosecondUnits)
{
    KEVENT e;
    KeInitializeEvent(&e, NotificationEvent, FALSE);
    LARGE_INTEGER start, end, timeout;
    timeout.QuadPart = -50 * 10000;  // 50 ms
    KeQuerySystemTime(&start);
    EXPECT_EQ(KeWaitForSingleObject(&e, Executive, KernelMode, FALSE, &timeout), STATUS_TIMEOUT);
    KeQuerySystemTime(&end);
    EXPECT_GE(end.QuadPart - start.QuadPart, 50 * 10000);
}

TEST(Waits, SetAndResetReturnThePreviousState)
{
    KEVENT e;
    KeInitializeEvent(&e, NotificationEvent, TRUE);
    EXPECT_EQ(KeSetEvent(&e, 0, FALSE), 1);
    EXPECT_EQ(KeResetEvent(&e), 1);
    EXPECT_EQ(KeResetEvent(&e), 0);
    EXPECT_EQ(KeSetEvent(&e, 0, FALSE), 0);
    EXPECT_EQ(KeReadStateEvent(&e), 1);
}

// Each form of the time-out on an event nobody sets, under the manual clock: how much system time
// must pass before the wait gives up (nullopt: it never does).
struct TimeoutCase {
    const char* name;
    bool nullTimeout;
    int64_t relativeMs;  // used when not null: < 0 relative, 0 poll, > 0 absolute (now + value)
    std::optional<int64_t> givesUpAfterMs;
};

void PrintTo(const TimeoutCase& c, std::ostream* os) { *os << c.name; }

class WaitTimeouts : public ManualClock, public ::testing::WithParamInterface<TimeoutCase> {};

TEST_P(WaitTimeouts, GiveUpExactlyWhenTheirTimeHasPassed)
{
    const TimeoutCase& c = GetParam();
    KEVENT e;
    KeInitializeEvent(&e, NotificationEvent, FALSE);
    LARGE_INTEGER timeout;
    timeout.QuadPart = c.relativeMs > 0 ? kshim::host::ClockNow() + c.relativeMs * 10000 : c.relativeMs * 10000;
    PLARGE_INTEGER arg = c.nullTimeout ? nullptr : &timeout;
    Waiter<NTSTATUS> w([&] { return KeWaitForSingleObject(&e, Executive, KernelMode, FALSE, arg); });
    w.Entered();
    if (c.givesUpAfterMs == 0) {
        ASSERT_TRUE(w.Finishes());
        EXPECT_EQ(w.Get(), STATUS_TIMEOUT);
        return;
    }
    if (c.givesUpAfterMs) {
        kshim::host::ClockAdvanceMs(*c.givesUpAfterMs - 1);
        EXPECT_TRUE(w.StillBlocked()) << "gave up 1 ms early";
        kshim::host::ClockAdvanceMs(1);
        ASSERT_TRUE(w.Finishes());
        EXPECT_EQ(w.Get(), STATUS_TIMEOUT);
    } else {
        kshim::host::ClockAdvanceMs(3600 * 1000);
        EXPECT_TRUE(w.StillBlocked()) << "a wait without time-out gave up";
        KeSetEvent(&e, 0, FALSE);
        ASSERT_TRUE(w.Finishes());
        EXPECT_EQ(w.Get(), STATUS_SUCCESS);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, WaitTimeouts,
                         ::testing::Values(TimeoutCase{"null_waits_forever", true, 0, std::nullopt},
                                           TimeoutCase{"zero_polls", false, 0, 0},
                                           TimeoutCase{"negative_is_relative", false, -50, 50},
                                           TimeoutCase{"positive_is_absolute", false, 80, 80}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ManualClock, NdisWaitEventZeroWaitsForeverAndOtherValuesAreMilliseconds)
{
    NDIS_EVENT e;
    NdisInitializeEvent(&e);
    Waiter<BOOLEAN> forever([&] { return NdisWaitEvent(&e, 0); });
    forever.Entered();
    kshim::host::ClockAdvanceMs(3600 * 1000);
    EXPECT_TRUE(forever.StillBlocked());
    NdisSetEvent(&e);
    ASSERT_TRUE(forever.Finishes());
    EXPECT_EQ(forever.Get(), TRUE);

    NdisResetEvent(&e);
    Waiter<BOOLEAN> timed([&] { return NdisWaitEvent(&e, 50); });
    timed.Entered();
    kshim::host::ClockAdvanceMs(49);
    EXPECT_TRUE(timed.StillBlocked());
    kshim::host::ClockAdvanceMs(1);
    ASSERT_TRUE(timed.Finishes());
    EXPECT_EQ(timed.Get(), FALSE);
}

TEST(Waits, ASetBeforeTheWaitIsNotLost)
{
    KEVENT s;
    KeInitializeEvent(&s, SynchronizationEvent, FALSE);
    KeSetEvent(&s, 0, FALSE);
    Waiter<NTSTATUS> w([&] { return KeWaitForSingleObject(&s, Executive, KernelMode, FALSE, nullptr); });
    ASSERT_TRUE(w.Finishes());
    EXPECT_EQ(w.Get(), STATUS_SUCCESS);

    NDIS_EVENT n;
    NdisInitializeEvent(&n);
    NdisSetEvent(&n);
    Waiter<BOOLEAN> nw([&] { return NdisWaitEvent(&n, 0); });
    ASSERT_TRUE(nw.Finishes());
    EXPECT_EQ(nw.Get(), TRUE);
}

TEST(Waits, SynchronizationEventReleasesExactlyOneOfTwoWaitersNotificationReleasesBoth)
{
    KEVENT s;
    KeInitializeEvent(&s, SynchronizationEvent, FALSE);
    auto wait = [&] { return KeWaitForSingleObject(&s, Executive, KernelMode, FALSE, nullptr); };
    Waiter<NTSTATUS> a(wait), b(wait);
    EXPECT_TRUE(a.StillBlocked());
    EXPECT_TRUE(b.StillBlocked());
    KeSetEvent(&s, 0, FALSE);
    EXPECT_TRUE(qzl_test::Settle());
    EXPECT_EQ(static_cast<int>(a.Done()) + static_cast<int>(b.Done()), 1);
    EXPECT_EQ(KeReadStateEvent(&s), 0) << "a synchronization event clears itself when it releases a waiter";
    KeSetEvent(&s, 0, FALSE);
    EXPECT_TRUE(a.Finishes());
    EXPECT_TRUE(b.Finishes());

    KEVENT n;
    KeInitializeEvent(&n, NotificationEvent, FALSE);
    auto waitN = [&] { return KeWaitForSingleObject(&n, Executive, KernelMode, FALSE, nullptr); };
    Waiter<NTSTATUS> c(waitN), d(waitN);
    EXPECT_TRUE(c.StillBlocked());
    KeSetEvent(&n, 0, FALSE);
    EXPECT_TRUE(c.Finishes());
    EXPECT_TRUE(d.Finishes());
    EXPECT_EQ(KeReadStateEvent(&n), 1);
}

TEST_F(ManualClock, StallAdvancesManualTimeAndSleepWaitsForIt)
{
    int64_t start = kshim::host::ClockNow();
    KeStallExecutionProcessor(250);
    EXPECT_EQ(kshim::host::ClockNow() - start, 2500);

    Waiter<int> sleeper([] {
        NdisMSleep(10000);  // 10 ms
        return 1;
    });
    sleeper.Entered();
    kshim::host::ClockAdvanceMs(9);
    EXPECT_TRUE(sleeper.StillBlocked());
    kshim::host::ClockAdvanceMs(1);
    EXPECT_TRUE(sleeper.Finishes());
}

TEST(Waits, SpeedUpScalesWaitsButSystemTimeMovesTheFullSpan)
{
    kshim::host::ClockSetReal(10);
    KEVENT e;
    KeInitializeEvent(&e, NotificationEvent, FALSE);
    LARGE_INTEGER timeout, start, end;
    timeout.QuadPart = -200 * 10000;
    KeQuerySystemTime(&start);
    auto realStart = std::chrono::steady_clock::now();
    EXPECT_EQ(KeWaitForSingleObject(&e, Executive, KernelMode, FALSE, &timeout), STATUS_TIMEOUT);
    auto realMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - realStart).count();
    KeQuerySystemTime(&end);
    kshim::host::ClockSetReal(1);
    EXPECT_GE(end.QuadPart - start.QuadPart, 200 * 10000);
    EXPECT_GE(realMs, 19);
    EXPECT_LT(realMs, 150) << "a 200 ms wait at x10 should take about 20 ms";
}

}  // namespace
