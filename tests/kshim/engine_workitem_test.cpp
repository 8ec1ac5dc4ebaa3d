// Framework work items on the system worker threads: queueing while queued and while running,
// no overlap of one item, concurrency of two, flush and deletion.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kshim/ke.h"
#include "wdf_fixture.h"

namespace {

using kshim::host::SystemWorkersHold;
using kshim_test::Eventually;
using kshim_test::ViolationRecorder;

struct ItemProbe {
    std::atomic<int> runs{0};
    std::atomic<int> inFlight{0};
    std::atomic<int> maxInFlight{0};
    std::atomic<int> irql{-1};
    std::atomic<bool> onCallerThread{false};
    std::thread::id caller;
    std::atomic<bool> entered{false};
    KEVENT release;  // the first run waits for it when `holdFirstRun`
    bool holdFirstRun = false;
    void (*extra)(WDFWORKITEM) = nullptr;
};

struct ITEM_CONTEXT {
    ItemProbe* probe;
};
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(ITEM_CONTEXT, GetItemContext)

VOID EvtProbeWork(WDFWORKITEM item)
{
    ItemProbe& p = *GetItemContext(item)->probe;
    int now = p.inFlight.fetch_add(1) + 1;
    int seen = p.maxInFlight.load();
    while (now > seen && !p.maxInFlight.compare_exchange_weak(seen, now)) {
    }
    p.irql = KeGetCurrentIrql();
    p.onCallerThread = std::this_thread::get_id() == p.caller;
    bool first = p.runs.load() == 0;
    p.entered = true;
    if (first && p.holdFirstRun) {
        KeWaitForSingleObject(&p.release, Executive, KernelMode, FALSE, nullptr);
    }
    if (p.extra != nullptr) {
        p.extra(item);
    }
    p.inFlight.fetch_sub(1);
    p.runs.fetch_add(1);
}

class WorkItemTest : public kshim_test::FrameworkTest {
protected:
    WDFWORKITEM MakeItem(ItemProbe* probe)
    {
        probe->caller = std::this_thread::get_id();
        KeInitializeEvent(&probe->release, NotificationEvent, FALSE);
        WDF_WORKITEM_CONFIG config;
        WDF_WORKITEM_CONFIG_INIT(&config, EvtProbeWork);
        WDF_OBJECT_ATTRIBUTES attributes = UnderRoot();
        WDF_OBJECT_ATTRIBUTES_SET_CONTEXT_TYPE(&attributes, ITEM_CONTEXT);
        WDFWORKITEM item = nullptr;
        EXPECT_EQ(WdfWorkItemCreate(&config, &attributes, &item), STATUS_SUCCESS);
        GetItemContext(item)->probe = probe;
        return item;
    }
};

TEST_F(WorkItemTest, EnqueueWhileQueuedRunsOnce)
{
    ItemProbe probe;
    WDFWORKITEM item = MakeItem(&probe);
    SystemWorkersHold(true);
    WdfWorkItemEnqueue(item);
    WdfWorkItemEnqueue(item);
    WdfWorkItemEnqueue(item);
    SystemWorkersHold(false);
    WdfWorkItemFlush(item);
    EXPECT_EQ(probe.runs, 1);
}

TEST_F(WorkItemTest, EnqueueWhileRunningRunsOnceMoreAfterwardsNeverOverlapping)
{
    ItemProbe probe;
    probe.holdFirstRun = true;
    WDFWORKITEM item = MakeItem(&probe);
    WdfWorkItemEnqueue(item);
    ASSERT_TRUE(Eventually([&] { return probe.entered.load(); }));
    WdfWorkItemEnqueue(item);
    WdfWorkItemEnqueue(item);
    KeSetEvent(&probe.release, 0, FALSE);
    WdfWorkItemFlush(item);
    EXPECT_EQ(probe.runs, 2);
    EXPECT_EQ(probe.maxInFlight, 1);
}

TEST_F(WorkItemTest, RunsAtPassiveLevelOnAWorkerThread)
{
    ItemProbe probe;
    WDFWORKITEM item = MakeItem(&probe);
    WdfWorkItemEnqueue(item);
    WdfWorkItemFlush(item);
    EXPECT_EQ(probe.runs, 1);
    EXPECT_EQ(probe.irql, PASSIVE_LEVEL);
    EXPECT_FALSE(probe.onCallerThread);
    EXPECT_EQ(WdfWorkItemGetParentObject(item), static_cast<WDFOBJECT>(root_));
}

TEST_F(WorkItemTest, TwoItemsMayRunAtTheSameTime)
{
    ItemProbe a, b;
    a.holdFirstRun = b.holdFirstRun = true;
    WDFWORKITEM itemA = MakeItem(&a);
    WDFWORKITEM itemB = MakeItem(&b);
    WdfWorkItemEnqueue(itemA);
    WdfWorkItemEnqueue(itemB);
    EXPECT_TRUE(Eventually([&] { return a.entered.load() && b.entered.load(); }));
    KeSetEvent(&a.release, 0, FALSE);
    KeSetEvent(&b.release, 0, FALSE);
    WdfWorkItemFlush(itemA);
    WdfWorkItemFlush(itemB);
}

TEST_F(WorkItemTest, FlushReturnsOnlyWhenTheItemIsIdle)
{
    ItemProbe probe;
    probe.holdFirstRun = true;
    WDFWORKITEM item = MakeItem(&probe);
    WdfWorkItemEnqueue(item);
    ASSERT_TRUE(Eventually([&] { return probe.entered.load(); }));
    WdfWorkItemEnqueue(item);  // one more run after the current one
    std::atomic<bool> flushed{false};
    std::thread flusher([&] {
        WdfWorkItemFlush(item);
        flushed = true;
    });
    EXPECT_TRUE(kshim::host::WaitBlockedAt("work.flush"));
    EXPECT_FALSE(flushed.load());
    KeSetEvent(&probe.release, 0, FALSE);
    flusher.join();
    EXPECT_EQ(probe.runs, 2);
}

TEST_F(WorkItemTest, DeleteCancelsAQueuedRunAndWaitsForARunningOne)
{
    ItemProbe queued;
    WDFWORKITEM queuedItem = MakeItem(&queued);
    SystemWorkersHold(true);
    WdfWorkItemEnqueue(queuedItem);
    WdfObjectDelete(queuedItem);
    SystemWorkersHold(false);

    ItemProbe running;
    running.holdFirstRun = true;
    WDFWORKITEM runningItem = MakeItem(&running);
    WdfWorkItemEnqueue(runningItem);
    ASSERT_TRUE(Eventually([&] { return running.entered.load(); }));
    std::atomic<bool> deleted{false};
    std::thread deleter([&] {
        WdfObjectDelete(runningItem);
        deleted = true;
    });
    EXPECT_TRUE(kshim::host::WaitBlockedAt("work.cancel"));
    EXPECT_FALSE(deleted.load());
    KeSetEvent(&running.release, 0, FALSE);
    deleter.join();
    EXPECT_EQ(running.runs, 1);
    EXPECT_EQ(queued.runs, 0);
}

TEST_F(WorkItemTest, AnItemMayDeleteItselfFromItsCallback)
{
    ItemProbe probe;
    probe.extra = [](WDFWORKITEM self) { WdfObjectDelete(self); };
    WDFWORKITEM item = MakeItem(&probe);
    WdfWorkItemEnqueue(item);
    ASSERT_TRUE(Eventually([&] { return probe.runs.load() == 1; }));
    EXPECT_TRUE(Eventually([&] { return kshim::host::FrameworkObjectCount() == baseline_ + 1; }));  // the root
}

TEST_F(WorkItemTest, FlushFromItsOwnCallbackOrAbovePassiveIsReported)
{
    ViolationRecorder recorder;
    ItemProbe probe;
    probe.extra = [](WDFWORKITEM self) { WdfWorkItemFlush(self); };
    WDFWORKITEM item = MakeItem(&probe);
    WdfWorkItemEnqueue(item);
    ASSERT_TRUE(Eventually([&] { return probe.runs.load() == 1; }));
    WdfWorkItemFlush(item);
    EXPECT_EQ(recorder.Count("own callback"), 1u) << recorder.All();

    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    WdfWorkItemFlush(item);
    KeLowerIrql(old);
    EXPECT_EQ(recorder.Count("WdfWorkItemFlush: at IRQL 2"), 1u) << recorder.All();
}

TEST_F(WorkItemTest, CallbackReturningAtARaisedLevelIsReported)
{
    ViolationRecorder recorder;
    ItemProbe probe;
    probe.extra = [](WDFWORKITEM) {
        KIRQL old;
        KeRaiseIrql(DISPATCH_LEVEL, &old);
    };
    WDFWORKITEM item = MakeItem(&probe);
    WdfWorkItemEnqueue(item);
    WdfWorkItemFlush(item);
    EXPECT_EQ(recorder.Count("callback changed the IRQL"), 1u) << recorder.All();
    // The worker is back at PASSIVE_LEVEL for the next run.
    probe.extra = nullptr;
    WdfWorkItemEnqueue(item);
    WdfWorkItemFlush(item);
    EXPECT_EQ(probe.irql, PASSIVE_LEVEL);
}

}  // namespace
