// Waits and their time-out units.
#include <gtest/gtest.h>

#include <thread>

#include "kshim/host/control.h"
#include "kshim/ke.h"

namespace {

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

}  // namespace
