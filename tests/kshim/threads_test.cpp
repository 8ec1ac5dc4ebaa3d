// System threads: start at PASSIVE_LEVEL, the thread object is signalled at exit, priority,
// creation failure, and a thread that ends holding a lock.
#include <gtest/gtest.h>

#include "kshim/host/control.h"
#include "kshim/ke.h"
#include "recorder.h"

namespace {

using kshim::test::ViolationRecorder;

struct ThreadContext {
    KEVENT go;
    KIRQL irql = 0xFF;
    KPRIORITY before = -1;
    KPRIORITY after = -1;
};

VOID Body(PVOID p)
{
    auto* c = static_cast<ThreadContext*>(p);
    c->irql = KeGetCurrentIrql();
    c->before = KeSetPriorityThread(KeGetCurrentThread(), LOW_REALTIME_PRIORITY);
    c->after = KeQueryPriorityThread(KeGetCurrentThread());
    KeWaitForSingleObject(&c->go, Executive, KernelMode, FALSE, nullptr);
}

TEST(Threads, ThreadObjectIsSignalledWhenTheRoutineReturns)
{
    ThreadContext c;
    KeInitializeEvent(&c.go, NotificationEvent, FALSE);
    HANDLE handle = nullptr;
    ASSERT_EQ(PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, nullptr, nullptr, Body, &c), STATUS_SUCCESS);
    PVOID thread = nullptr;
    ASSERT_EQ(ObReferenceObjectByHandle(handle, THREAD_ALL_ACCESS, *PsThreadType, KernelMode, &thread, nullptr),
              STATUS_SUCCESS);
    EXPECT_EQ(ZwClose(handle), STATUS_SUCCESS);

    LARGE_INTEGER poll{};
    EXPECT_EQ(KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, &poll), STATUS_TIMEOUT)
        << "the routine is still waiting for its go";
    KeSetEvent(&c.go, 0, FALSE);
    EXPECT_EQ(KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    ObDereferenceObject(thread);
    EXPECT_EQ(c.irql, PASSIVE_LEVEL);
    EXPECT_EQ(c.before, 8) << "threads start at the default priority";
    EXPECT_EQ(c.after, LOW_REALTIME_PRIORITY);
}

TEST(Threads, CreationFaultReturnsItsStatusAndStartsNothing)
{
    kshim::host::FaultArm("thread.create", "", 1, STATUS_INSUFFICIENT_RESOURCES);
    HANDLE handle = nullptr;
    bool ran = false;
    EXPECT_EQ(PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, nullptr, nullptr,
                                   [](PVOID p) { *static_cast<bool*>(p) = true; }, &ran),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(kshim::host::FaultFired("thread.create"), 1u);
    kshim::host::FaultClearAll();
    EXPECT_FALSE(ran);
}

VOID EndsHoldingALock(PVOID p)
{
    KIRQL old;
    KeAcquireSpinLock(static_cast<PKSPIN_LOCK>(p), &old);
}

TEST(Threads, AThreadThatEndsHoldingASpinLockIsReported)
{
    ViolationRecorder recorder;
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    HANDLE handle;
    ASSERT_EQ(PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, nullptr, nullptr, EndsHoldingALock, &lock),
              STATUS_SUCCESS);
    PVOID thread;
    ASSERT_EQ(ObReferenceObjectByHandle(handle, THREAD_ALL_ACCESS, *PsThreadType, KernelMode, &thread, nullptr),
              STATUS_SUCCESS);
    ZwClose(handle);
    KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
    ObDereferenceObject(thread);
    auto seen = recorder.Take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].what, "system thread ended above PASSIVE_LEVEL or holding a spin lock");
}

}  // namespace
