// Deferred routines: one run per queueing, the level they run at, and KeFlushQueuedDpcs.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kshim/ke.h"
#include "wdf_fixture.h"

namespace {

using kshim::host::HostDpc;
using kshim_test::Eventually;
using kshim_test::Gate;
using kshim_test::ViolationRecorder;

TEST(DeferredRoutines, QueueWhileQueuedRunsOnceAtDispatchLevel)
{
    Gate gate;
    HostDpc blocker([&] { gate.Pass(); });
    std::atomic<int> runs{0};
    std::atomic<int> irql{-1};
    HostDpc dpc([&] {
        irql = KeGetCurrentIrql();
        ++runs;
    });
    ASSERT_TRUE(blocker.Queue());
    ASSERT_TRUE(Eventually([&] { return gate.entered.load(); }));
    EXPECT_TRUE(dpc.Queue());
    EXPECT_FALSE(dpc.Queue());
    gate.open = true;
    KeFlushQueuedDpcs();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(irql, DISPATCH_LEVEL);
    EXPECT_TRUE(dpc.Queue());  // queued again after it ran
    KeFlushQueuedDpcs();
    EXPECT_EQ(runs, 2);
}

TEST(DeferredRoutines, FlushWaitsForEveryRoutineQueuedBeforeIt)
{
    Gate gate;
    HostDpc blocker([&] { gate.Pass(); });
    std::atomic<int> runs{0};
    HostDpc first([&] { ++runs; });
    HostDpc second([&] { ++runs; });
    blocker.Queue();
    ASSERT_TRUE(Eventually([&] { return gate.entered.load(); }));
    first.Queue();
    second.Queue();
    std::atomic<bool> flushed{false};
    std::thread flusher([&] {
        KeFlushQueuedDpcs();
        flushed = true;
    });
    EXPECT_TRUE(kshim::host::WaitBlockedAt("dpc.flush"));
    EXPECT_FALSE(flushed.load());
    gate.open = true;
    flusher.join();
    EXPECT_EQ(runs, 2);
}

TEST(DeferredRoutines, RemovedRoutineDoesNotRunNorHoldTheFlush)
{
    Gate gate;
    HostDpc blocker([&] { gate.Pass(); });
    std::atomic<int> runs{0};
    HostDpc dpc([&] { ++runs; });
    blocker.Queue();
    ASSERT_TRUE(Eventually([&] { return gate.entered.load(); }));
    dpc.Queue();
    EXPECT_TRUE(dpc.Remove());
    EXPECT_FALSE(dpc.Remove());
    gate.open = true;
    KeFlushQueuedDpcs();
    EXPECT_EQ(runs, 0);
}

TEST(DeferredRoutines, FlushAbovePassiveAndRoutinesChangingTheLevelAreReported)
{
    ViolationRecorder recorder;
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    KeFlushQueuedDpcs();
    KeLowerIrql(old);
    EXPECT_EQ(recorder.Count("KeFlushQueuedDpcs at IRQL 2"), 1u) << recorder.All();

    HostDpc raiser([] {
        KIRQL ignored;
        KeRaiseIrql(HIGH_LEVEL, &ignored);
    });
    raiser.Queue();
    KeFlushQueuedDpcs();
    EXPECT_EQ(recorder.Count("deferred routine returned at IRQL 15"), 1u) << recorder.All();

    std::atomic<int> irql{-1};
    HostDpc next([&] { irql = KeGetCurrentIrql(); });
    next.Queue();
    KeFlushQueuedDpcs();
    EXPECT_EQ(irql, DISPATCH_LEVEL);  // the dispatch thread was put back
}

}  // namespace
