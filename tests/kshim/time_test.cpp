// Time: the 1601 epoch, local time, time fields, the performance counter.
#include <gtest/gtest.h>

#include "kshim/host/control.h"
#include "kshim/ke.h"
#include "kshim/rtl.h"

namespace {

constexpr int64_t kUnixEpoch = 116444736000000000LL;  // 1970-01-01 in 100 ns units since 1601

class ManualTime : public ::testing::Test {
protected:
    void SetUp() override { kshim::host::ClockSetManual(); }
    void TearDown() override
    {
        kshim::host::ClockSetLocalOffset(0);
        kshim::host::ClockSetReal(1);
    }
};

TEST_F(ManualTime, SystemTimeCountsFrom1601AndLocalTimeAddsTheOffset)
{
    kshim::host::ClockSetSystemTime(kUnixEpoch + 15000000);  // 1.5 s after 1970
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    EXPECT_EQ(now.QuadPart / 10000000 - 11644473600LL, 1) << "seconds since 1970";

    // 1970-01-01 00:00:01.5 local time on a machine two hours east of UTC.
    constexpr int64_t kTwoHours = 2LL * 3600 * 10000000;
    kshim::host::ClockSetLocalOffset(kTwoHours);
    kshim::host::ClockSetSystemTime(kUnixEpoch + 15000000 - kTwoHours);
    LARGE_INTEGER system, local;
    KeQuerySystemTime(&system);
    ExSystemTimeToLocalTime(&system, &local);
    EXPECT_EQ(local.QuadPart - system.QuadPart, kTwoHours);
    TIME_FIELDS f;
    RtlTimeToTimeFields(&local, &f);
    EXPECT_EQ(f.Year, 1970);
    EXPECT_EQ(f.Month, 1);
    EXPECT_EQ(f.Day, 1);
    EXPECT_EQ(f.Hour, 0);
    EXPECT_EQ(f.Minute, 0);
    EXPECT_EQ(f.Second, 1);
    EXPECT_EQ(f.Milliseconds, 500);
}

struct Instant {
    int64_t time;
    TIME_FIELDS fields;
};

TEST(TimeFields, KnownInstantsConvertBothWays)
{
    const Instant cases[] = {
        {0, {1601, 1, 1, 0, 0, 0, 0, 1}},
        {kUnixEpoch, {1970, 1, 1, 0, 0, 0, 0, 4}},
        {125963012967890000LL, {2000, 2, 29, 12, 34, 56, 789, 2}},
        {133801631999990000LL, {2024, 12, 31, 23, 59, 59, 999, 2}},
    };
    for (const Instant& c : cases) {
        SCOPED_TRACE(c.fields.Year);
        LARGE_INTEGER t;
        t.QuadPart = c.time;
        TIME_FIELDS f;
        RtlTimeToTimeFields(&t, &f);
        EXPECT_EQ(std::memcmp(&f, &c.fields, sizeof(f)), 0)
            << f.Year << "-" << f.Month << "-" << f.Day << " " << f.Hour << ":" << f.Minute << ":" << f.Second << "."
            << f.Milliseconds << " weekday " << f.Weekday;
        LARGE_INTEGER back;
        ASSERT_TRUE(RtlTimeFieldsToTime(&f, &back));
        EXPECT_EQ(back.QuadPart, c.time);
    }
}

TEST(TimeFields, FieldsOutOfRangeAreRefused)
{
    const TIME_FIELDS bad[] = {
        {2023, 2, 29, 0, 0, 0, 0, 0},   // not a leap year
        {1900, 2, 29, 0, 0, 0, 0, 0},   // century, not a leap year
        {2024, 13, 1, 0, 0, 0, 0, 0},
        {2024, 4, 31, 0, 0, 0, 0, 0},
        {2024, 1, 1, 24, 0, 0, 0, 0},
        {2024, 1, 1, 0, 0, 60, 0, 0},
        {2024, 1, 1, 0, 0, 0, 1000, 0},
        {1600, 12, 31, 0, 0, 0, 0, 0},  // before the epoch
    };
    for (TIME_FIELDS f : bad) {
        LARGE_INTEGER t;
        EXPECT_FALSE(RtlTimeFieldsToTime(&f, &t)) << f.Year << "-" << f.Month << "-" << f.Day;
    }
}

TEST(Time, PerformanceCounterRunsAtTenMegahertzAndNeverGoesBack)
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER a = KeQueryPerformanceCounter(&frequency);
    KeStallExecutionProcessor(100);
    LARGE_INTEGER b = KeQueryPerformanceCounter(nullptr);
    EXPECT_EQ(frequency.QuadPart, 10000000);
    EXPECT_GE(b.QuadPart - a.QuadPart, 1000) << "100 us at 10 MHz";
}

}  // namespace
