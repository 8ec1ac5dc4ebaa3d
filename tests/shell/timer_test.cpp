// Platform timers over framework timers.
#include <atomic>
#include <string>

#include "shell/shell_fixture.h"

namespace {

using shelltest::ShellTest;

struct Fired {
    std::atomic<int> count{0};
    std::atomic<MP_PORT*> port{nullptr};
    std::atomic<PLATFORM_TIMER*> timer{nullptr};
    std::atomic<int> irql{-1};
    std::atomic<bool> nullArguments{false};
};
Fired g_fired;

VOID CountingCallback(PVOID first, PMP_PORT port, PPLATFORM_TIMER timer, PVOID last)
{
    g_fired.port = port;
    g_fired.timer = timer;
    g_fired.irql = KeGetCurrentIrql();
    g_fired.nullArguments = first == nullptr && last == nullptr;
    ++g_fired.count;
}

VOID OtherCallback(PVOID, PMP_PORT, PPLATFORM_TIMER, PVOID) {}

class PlatformTimers : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        g_fired.count = 0;
        g_fired.irql = -1;
        port_ = AddPort(0, EXTSTA);
        kshim::host::ClockSetManual();
    }
    void TearDown() override
    {
        PlatformFreeTimer(&timer_);
        ShellTest::TearDown();
    }
    void AdvanceMs(int64_t ms) { kshim::host::ClockAdvanceMs(ms); }

    MP_PORT* port_ = nullptr;
    PLATFORM_TIMER timer_{};
};

TEST_F(PlatformTimers, OneShotFiresOnceAtItsDueTimeWithPortAndTimer)
{
    PlatformInitTimer(port_, &timer_, CountingCallback, FALSE, "OneShot");
    EXPECT_EQ(timer_.Created, 0);  // nothing is created before the first arming
    ASSERT_EQ(PlatformSetTimer(port_, &timer_, 50), STATUS_SUCCESS);
    EXPECT_EQ(timer_.Created, 1);
    EXPECT_EQ(timer_.Pending.load(), 1);
    EXPECT_EQ(timer_.PeriodMs, 50u);
    AdvanceMs(49);
    EXPECT_EQ(g_fired.count.load(), 0);
    AdvanceMs(1);
    EXPECT_EQ(g_fired.count.load(), 1);
    EXPECT_EQ(g_fired.port.load(), port_);
    EXPECT_EQ(g_fired.timer.load(), &timer_);
    EXPECT_TRUE(g_fired.nullArguments.load());
    EXPECT_EQ(g_fired.irql.load(), DISPATCH_LEVEL);
    EXPECT_EQ(timer_.Pending.load(), 0);
    AdvanceMs(500);
    EXPECT_EQ(g_fired.count.load(), 1);

    // Armed again, the same framework timer serves.
    WDFTIMER first = timer_.Timer;
    ASSERT_EQ(PlatformSetTimer(port_, &timer_, 10), STATUS_SUCCESS);
    EXPECT_EQ(timer_.Timer, first);
    AdvanceMs(10);
    EXPECT_EQ(g_fired.count.load(), 2);
}

TEST_F(PlatformTimers, PeriodicKeepsFiringUntilCancelled)
{
    PlatformInitTimer(port_, &timer_, CountingCallback, TRUE, "Periodic");
    ASSERT_EQ(PlatformSetTimer(port_, &timer_, 100), STATUS_SUCCESS);
    for (int i = 0; i < 10; ++i) {
        AdvanceMs(100);
    }
    EXPECT_EQ(g_fired.count.load(), 10);
    UCHAR cancelled = 0xAA;
    PlatformCancelTimer(&timer_, &cancelled);
    EXPECT_EQ(cancelled, TRUE);
    EXPECT_EQ(timer_.Started, 0);
    AdvanceMs(1000);
    EXPECT_EQ(g_fired.count.load(), 10);
}

TEST_F(PlatformTimers, PeriodicWithoutPeriodArmsNothing)
{
    PlatformInitTimer(port_, &timer_, CountingCallback, TRUE, "Periodic");
    EXPECT_EQ(PlatformSetTimer(port_, &timer_, 0), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(timer_.Created, 0);
    EXPECT_EQ(timer_.Pending.load(), 0);
}

TEST_F(PlatformTimers, ReArmingAPendingTimerRestartsIt)
{
    PlatformInitTimer(port_, &timer_, CountingCallback, FALSE, "Restart");
    ASSERT_EQ(PlatformSetTimer(port_, &timer_, 100), STATUS_SUCCESS);
    AdvanceMs(60);
    ASSERT_EQ(PlatformSetTimer(port_, &timer_, 100), STATUS_SUCCESS);
    AdvanceMs(60);  // 120 ms after the first arming, 60 after the second
    EXPECT_EQ(g_fired.count.load(), 0);
    AdvanceMs(40);
    EXPECT_EQ(g_fired.count.load(), 1);
}

TEST_F(PlatformTimers, HaltingOrRemovedRefusesArmingAndSilencesCallbacks)
{
    PlatformInitTimer(port_, &timer_, CountingCallback, FALSE, "Halting");
    for (ULONG flag : {ADAPTER_FLAG_HALT_IN_PROGRESS, ADAPTER_FLAG_SURPRISE_REMOVED}) {
        AdapterSetFlag(adapter_.get(), flag, __func__);
        EXPECT_EQ(PlatformSetTimer(port_, &timer_, 10), STATUS_UNSUCCESSFUL);
        EXPECT_EQ(timer_.Pending.load(), 0);
        AdapterClearFlag(adapter_.get(), flag, __func__);
    }
    EXPECT_EQ(timer_.Created, 0);

    // Armed, then the adapter starts halting: the timer fires without calling back.
    ASSERT_EQ(PlatformSetTimer(port_, &timer_, 10), STATUS_SUCCESS);
    AdapterSetFlag(adapter_.get(), ADAPTER_FLAG_HALT_IN_PROGRESS, __func__);
    AdvanceMs(10);
    EXPECT_EQ(timer_.Pending.load(), 0);
    EXPECT_EQ(g_fired.count.load(), 0);
    AdapterClearFlag(adapter_.get(), ADAPTER_FLAG_HALT_IN_PROGRESS, __func__);
}

TEST_F(PlatformTimers, ArmingNeedsPortAdapterDeviceAndAnInitialisedRecord)
{
    EXPECT_EQ(PlatformSetTimer(port_, &timer_, 10), STATUS_UNSUCCESSFUL);  // never initialised
    EXPECT_EQ(timer_.Created, 0);
    EXPECT_EQ(timer_.Arming.load(), 0);
    PlatformInitTimer(port_, &timer_, CountingCallback, FALSE, "T");
    EXPECT_EQ(PlatformSetTimer(nullptr, &timer_, 10), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(PlatformSetTimer(port_, nullptr, 10), STATUS_UNSUCCESSFUL);
    MP_PORT orphan = {};
    EXPECT_EQ(PlatformSetTimer(&orphan, &timer_, 10), STATUS_UNSUCCESSFUL);
    WDFDEVICE device = adapter_->Device;
    adapter_->Device = nullptr;
    EXPECT_EQ(PlatformSetTimer(port_, &timer_, 10), STATUS_UNSUCCESSFUL);
    adapter_->Device = device;
    EXPECT_EQ(timer_.Created, 0);
}

TEST_F(PlatformTimers, CancelReportsOnlyForAStartedTimer)
{
    PlatformInitTimer(port_, &timer_, CountingCallback, FALSE, "Cancel");
    UCHAR cancelled = 0xAA;
    PlatformCancelTimer(&timer_, &cancelled);  // never armed
    EXPECT_EQ(cancelled, 0xAA);

    ASSERT_EQ(PlatformSetTimer(port_, &timer_, 30), STATUS_SUCCESS);
    PlatformCancelTimer(&timer_, &cancelled);
    EXPECT_EQ(cancelled, TRUE);
    EXPECT_EQ(timer_.Pending.load(), 0);
    AdvanceMs(100);
    EXPECT_EQ(g_fired.count.load(), 0);

    // A one-shot that has fired is neither pending nor periodic: cancelled keeps the caller's value.
    ASSERT_EQ(PlatformSetTimer(port_, &timer_, 30), STATUS_SUCCESS);
    AdvanceMs(30);
    ASSERT_EQ(g_fired.count.load(), 1);
    cancelled = 0xAA;
    PlatformCancelTimer(&timer_, &cancelled);
    EXPECT_EQ(cancelled, 0xAA);

    PLATFORM_TIMER uninitialised{};
    PlatformCancelTimer(&uninitialised, &cancelled);
    EXPECT_EQ(cancelled, 0xAA);
}

TEST_F(PlatformTimers, CancelWaitsAtMostOneSecondForAnArmingInProgress)
{
    kshim::host::ClockSetAuto();  // the 1 s of system time passes while nothing runs
    PlatformInitTimer(port_, &timer_, CountingCallback, FALSE, "Arming");
    timer_.Arming = 1;  // a PlatformSetTimer that never finishes
    int64_t start = kshim::host::ClockNow();
    UCHAR cancelled = 0xAA;
    PlatformCancelTimer(&timer_, &cancelled);
    int64_t waited = kshim::host::ClockNow() - start;
    EXPECT_GE(waited, 1000 * 10000);
    EXPECT_LT(waited, 5000 * 10000);  // bounded: it gives up instead of waiting for ever
    EXPECT_TRUE(kshim::host::TraceContains("timer \"Arming\" still being armed after 1 s"));
    timer_.Arming = 0;
}

TEST_F(PlatformTimers, SecondInitialisationKeepsTheFirstAndNamesFill40Characters)
{
    std::string longName(45, 'x');
    PlatformInitTimer(port_, &timer_, CountingCallback, TRUE, longName.c_str());
    PlatformInitTimer(nullptr, &timer_, OtherCallback, FALSE, "second");
    EXPECT_EQ(timer_.Callback, CountingCallback);
    EXPECT_EQ(timer_.Periodic, TRUE);
    EXPECT_EQ(timer_.Port, port_);
    EXPECT_EQ(std::string(timer_.Name, sizeof(timer_.Name)), std::string(40, 'x'));
}

TEST_F(PlatformTimers, FreeDeletesTheFrameworkTimer)
{
    PlatformInitTimer(port_, &timer_, CountingCallback, TRUE, "Free");
    size_t objects = kshim::host::FrameworkObjectCount();
    ASSERT_EQ(PlatformSetTimer(port_, &timer_, 20), STATUS_SUCCESS);
    EXPECT_EQ(kshim::host::FrameworkObjectCount(), objects + 1);
    PlatformFreeTimer(&timer_);
    EXPECT_EQ(kshim::host::FrameworkObjectCount(), objects);
    EXPECT_EQ(timer_.Timer, nullptr);
    EXPECT_EQ(timer_.Port, nullptr);
    AdvanceMs(100);
    EXPECT_EQ(g_fired.count.load(), 0);
}

TEST_F(PlatformTimers, ResetOfAStationPortCancelsItsTwoTimers)
{
    for (PLATFORM_TIMER& t : port_->StaStateTimers) {
        PlatformInitTimer(port_, &t, CountingCallback, FALSE, "Station");
        ASSERT_EQ(PlatformSetTimer(port_, &t, 100), STATUS_SUCCESS);
    }
    NdisCommonInfoResetHandler(port_);
    AdvanceMs(200);
    EXPECT_EQ(g_fired.count.load(), 0);
    for (PLATFORM_TIMER& t : port_->StaStateTimers) {
        PlatformFreeTimer(&t);
    }
}

}  // namespace
