// IRQL rules: spin locks raise and restore, blocking above APC_LEVEL is a strict-mode failure,
// busy-waits and polls are allowed at DISPATCH_LEVEL.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "kshim/files.h"
#include "kshim/host/control.h"
#include "kshim/ke.h"
#include "kshim/ndis.h"
#include "kshim/registry.h"
#include "recorder.h"

namespace {

using kshim::test::ViolationRecorder;

TEST(Irql, NestedSpinLocksRestoreTheLevelOnlyAtTheOutermostRelease)
{
    KSPIN_LOCK a, b;
    KeInitializeSpinLock(&a);
    KeInitializeSpinLock(&b);
    ASSERT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    KIRQL oldA, oldB;
    KeAcquireSpinLock(&a, &oldA);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    oldB = KeAcquireSpinLockRaiseToDpc(&b);
    EXPECT_EQ(oldA, PASSIVE_LEVEL);
    EXPECT_EQ(oldB, DISPATCH_LEVEL);
    KeReleaseSpinLock(&b, oldB);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL) << "releasing the inner lock keeps DISPATCH_LEVEL";
    KeReleaseSpinLock(&a, oldA);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

TEST(Irql, ReaderWriterLockRaisesAndRestores)
{
    NDIS_RW_LOCK lock;
    NdisInitializeReadWriteLock(&lock);
    LOCK_STATE first, second;
    NdisAcquireReadWriteLock(&lock, FALSE, &first);
    NdisAcquireReadWriteLock(&lock, FALSE, &second);  // readers share
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    NdisReleaseReadWriteLock(&lock, &second);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    NdisReleaseReadWriteLock(&lock, &first);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

// Every call that may block, made at DISPATCH_LEVEL, is reported once with its name. The objects
// are prepared so that the calls return at once after the report.
struct BlockingCall {
    const char* name;
    std::function<void()> call;
};

TEST(Irql, BlockingCallsAtDispatchLevelAreReported)
{
    static KEVENT set;
    KeInitializeEvent(&set, NotificationEvent, TRUE);
    static NDIS_EVENT ndisSet;
    NdisInitializeEvent(&ndisSet);
    NdisSetEvent(&ndisSet);
    static UNICODE_STRING missing = RTL_CONSTANT_STRING(u"\\Registry\\Machine\\Nowhere");
    const BlockingCall calls[] = {
        {"KeWaitForSingleObject",
         [] {
             LARGE_INTEGER t;
             t.QuadPart = -10000;
             KeWaitForSingleObject(&set, Executive, KernelMode, FALSE, &t);
         }},
        {"NdisWaitEvent", [] { NdisWaitEvent(&ndisSet, 10); }},
        {"NdisMSleep", [] { NdisMSleep(1); }},
        {"KeDelayExecutionThread",
         [] {
             LARGE_INTEGER t;
             t.QuadPart = -1;
             KeDelayExecutionThread(KernelMode, FALSE, &t);
         }},
        {"ZwOpenKey",
         [] {
             OBJECT_ATTRIBUTES oa;
             InitializeObjectAttributes(&oa, &missing, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
             HANDLE h;
             ZwOpenKey(&h, KEY_READ, &oa);
         }},
        {"ZwCreateFile",
         [] {
             OBJECT_ATTRIBUTES oa;
             InitializeObjectAttributes(&oa, &missing, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
             HANDLE h;
             IO_STATUS_BLOCK io;
             ZwCreateFile(&h, GENERIC_READ, &oa, &io, nullptr, 0, FILE_SHARE_READ, FILE_OPEN,
                          FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
         }},
    };
    for (const BlockingCall& c : calls) {
        SCOPED_TRACE(c.name);
        ViolationRecorder recorder;
        KSPIN_LOCK lock;
        KeInitializeSpinLock(&lock);
        KIRQL old;
        KeAcquireSpinLock(&lock, &old);
        c.call();
        KeReleaseSpinLock(&lock, old);
        auto seen = recorder.Take();
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].what, "blocking call above APC_LEVEL");
        EXPECT_NE(seen[0].detail.find(c.name), std::string::npos) << seen[0].detail;
    }
}

TEST(Irql, StallAndPollAreAllowedAtDispatchLevel)
{
    ViolationRecorder recorder;
    KEVENT e;
    KeInitializeEvent(&e, NotificationEvent, FALSE);
    KIRQL old = KeRaiseIrqlToDpcLevel();
    KeStallExecutionProcessor(20);
    LARGE_INTEGER poll{};
    EXPECT_EQ(KeWaitForSingleObject(&e, Executive, KernelMode, FALSE, &poll), STATUS_TIMEOUT);
    KeSetEvent(&e, 0, FALSE);
    KeLowerIrql(old);
    EXPECT_TRUE(recorder.Take().empty());
}

TEST(Irql, SpinLockMisuseIsReported)
{
    ViolationRecorder recorder;
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL old;
    KeAcquireSpinLock(&lock, &old);
    std::thread([&] {
        KeReleaseSpinLockFromDpcLevel(&lock);  // not the owner
    }).join();
    KIRQL again;
    KeAcquireSpinLock(&lock, &again);  // the owner again: would hang a processor
    KeReleaseSpinLock(&lock, old);
    auto seen = recorder.Take();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].what, "spin lock released by a thread that does not hold it");
    EXPECT_EQ(seen[1].what, "spin lock acquired twice by its owner");
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

}  // namespace
