// Kernel services: spin locks, events and waits, system threads, handles and time.
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "internal.h"
#include "kshim/ke.h"
#include "kshim/host/control.h"

// ================================================================================================
// spin locks
// ================================================================================================
namespace {

thread_local char t_token;  // its address identifies the thread as a lock owner

ULONG_PTR Token() { return reinterpret_cast<ULONG_PTR>(&t_token); }

void SpinAcquire(PKSPIN_LOCK lock)
{
    ULONG_PTR me = Token();
    if (lock->Owner.load(std::memory_order_relaxed) == me) {
        KshimViolation("spin lock acquired twice by its owner", nullptr);
        return;
    }
    unsigned spins = 0;
    for (;;) {
        ULONG_PTR expected = 0;
        if (lock->Owner.compare_exchange_weak(expected, me, std::memory_order_acquire,
                                              std::memory_order_relaxed)) {
            break;
        }
        if (spins == 0) {
            kshim::SchedNotePoint("spin lock", +1);  // a test may wait for a thread to be held here
        }
        if (++spins < 64) {
            __builtin_ia32_pause();
        } else {
            std::this_thread::yield();
        }
    }
    if (spins != 0) {
        kshim::SchedNotePoint("spin lock", -1);
    }
    kshim::NoteSpinLock(+1);
}

void SpinRelease(PKSPIN_LOCK lock)
{
    if (lock->Owner.load(std::memory_order_relaxed) != Token()) {
        KshimViolation("spin lock released by a thread that does not hold it", nullptr);
        return;
    }
    lock->Owner.store(0, std::memory_order_release);
    kshim::NoteSpinLock(-1);
}

}  // namespace

void KeInitializeSpinLock(PKSPIN_LOCK lock) { lock->Owner.store(0, std::memory_order_relaxed); }

void KeAcquireSpinLock(PKSPIN_LOCK lock, PKIRQL oldIrql)
{
    KIRQL old = KeGetCurrentIrql();
    if (old > DISPATCH_LEVEL) {
        KshimViolation("spin lock acquired above DISPATCH_LEVEL", nullptr);
    } else {
        KIRQL ignored;
        KeRaiseIrql(DISPATCH_LEVEL, &ignored);
    }
    SpinAcquire(lock);
    *oldIrql = old;
}

KIRQL KeAcquireSpinLockRaiseToDpc(PKSPIN_LOCK lock)
{
    KIRQL old;
    KeAcquireSpinLock(lock, &old);
    return old;
}

void KeReleaseSpinLock(PKSPIN_LOCK lock, KIRQL newIrql)
{
    SpinRelease(lock);
    KeLowerIrql(newIrql);
}

void KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK lock)
{
    if (KeGetCurrentIrql() < DISPATCH_LEVEL) {
        KshimViolation("KeAcquireSpinLockAtDpcLevel below DISPATCH_LEVEL", nullptr);
    }
    SpinAcquire(lock);
}

void KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK lock) { SpinRelease(lock); }

void KshimSpinAcquireRaw(PKSPIN_LOCK lock) { SpinAcquire(lock); }
void KshimSpinReleaseRaw(PKSPIN_LOCK lock) { SpinRelease(lock); }

// ================================================================================================
// dispatcher objects
// ================================================================================================
namespace {

struct Bucket {
    std::mutex lock;
    kshim::host::WaitCond cv;
};

Bucket g_buckets[64];

Bucket& BucketFor(const void* object)
{
    auto v = reinterpret_cast<uintptr_t>(object);
    v ^= v >> 17;
    v *= 0x9E3779B97F4A7C15ULL;
    return g_buckets[(v >> 58) & 63];
}

DISPATCHER_HEADER* HeaderOf(PVOID object)
{
    auto* header = static_cast<DISPATCHER_HEADER*>(object);
    if (header == nullptr || (header->ObjectKind != KSHIM_OBJ_EVENT && header->ObjectKind != KSHIM_OBJ_THREAD)) {
        KshimViolation("wait on an object that is not an initialised event or thread", nullptr);
        return nullptr;
    }
    return header;
}

}  // namespace

void KeInitializeEvent(PRKEVENT event, EVENT_TYPE type, BOOLEAN state)
{
    event->Header.ObjectKind = KSHIM_OBJ_EVENT;
    event->Header.EventType = static_cast<ULONG>(type);
    event->Header.SignalState.store(state ? 1 : 0, std::memory_order_release);
}

static LONG SignalObject(DISPATCHER_HEADER* header)
{
    Bucket& b = BucketFor(header);
    std::lock_guard<std::mutex> guard(b.lock);
    LONG previous = header->SignalState.exchange(1, std::memory_order_acq_rel);
    b.cv.NotifyAll();
    return previous;
}

LONG KeSetEvent(PRKEVENT event, KPRIORITY increment, BOOLEAN wait)
{
    if (event->Header.ObjectKind != KSHIM_OBJ_EVENT) {
        KshimViolation("KeSetEvent on an uninitialised event", nullptr);
        return 0;
    }
    return SignalObject(&event->Header);
}

LONG KeResetEvent(PRKEVENT event)
{
    Bucket& b = BucketFor(&event->Header);
    std::lock_guard<std::mutex> guard(b.lock);
    return event->Header.SignalState.exchange(0, std::memory_order_acq_rel);
}

void KeClearEvent(PRKEVENT event) { KeResetEvent(event); }

LONG KeReadStateEvent(PRKEVENT event) { return event->Header.SignalState.load(std::memory_order_acquire); }

NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON reason, KPROCESSOR_MODE mode, BOOLEAN alertable,
                               PLARGE_INTEGER timeout)
{
    DISPATCHER_HEADER* header = HeaderOf(object);
    if (header == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    int64_t deadline;
    if (timeout == nullptr) {
        deadline = INT64_MAX;
    } else if (timeout->QuadPart == 0) {
        deadline = 0;  // poll
    } else if (timeout->QuadPart < 0) {
        deadline = kshim::ClockNow() - timeout->QuadPart;
    } else {
        deadline = timeout->QuadPart;
    }
    if (timeout == nullptr || timeout->QuadPart != 0) {
        KshimMayBlock("KeWaitForSingleObject");
    } else if (KeGetCurrentIrql() > DISPATCH_LEVEL) {
        KshimViolation("KeWaitForSingleObject above DISPATCH_LEVEL", nullptr);
    }
    bool synchronization = header->ObjectKind == KSHIM_OBJ_EVENT && header->EventType == SynchronizationEvent;
    Bucket& b = BucketFor(header);
    std::unique_lock<std::mutex> lock(b.lock);
    bool signalled = kshim::ClockWaitUntil(
        lock, b.cv, deadline, [&] { return header->SignalState.load(std::memory_order_acquire) != 0; },
        "KeWaitForSingleObject");
    if (!signalled) {
        return STATUS_TIMEOUT;
    }
    if (synchronization) {
        header->SignalState.store(0, std::memory_order_release);
    }
    return STATUS_SUCCESS;
}

// ================================================================================================
// handles
// ================================================================================================
namespace {

struct HandleSlot {
    kshim::HandleKind kind;
    void* object;
    kshim::HandleCloser closer;
};

std::mutex g_handleLock;
std::vector<HandleSlot> g_handles;  // handle value = (index + 1) * 4

}  // namespace

namespace kshim {

HANDLE HandleCreate(HandleKind kind, void* object, HandleCloser closer)
{
    std::lock_guard<std::mutex> guard(g_handleLock);
    size_t index = 0;
    while (index < g_handles.size() && g_handles[index].object != nullptr) {
        ++index;
    }
    if (index == g_handles.size()) {
        g_handles.push_back({});
    }
    g_handles[index] = HandleSlot{kind, object, closer};
    return reinterpret_cast<HANDLE>((index + 1) * 4);
}

static bool HandleIndex(HANDLE handle, size_t* index)
{
    auto v = reinterpret_cast<uintptr_t>(handle);
    if (v == 0 || (v & 3) != 0) {
        return false;
    }
    *index = v / 4 - 1;
    return *index < g_handles.size() && g_handles[*index].object != nullptr;
}

void* HandleLookup(HANDLE handle, HandleKind kind)
{
    std::lock_guard<std::mutex> guard(g_handleLock);
    size_t index;
    if (!HandleIndex(handle, &index) || g_handles[index].kind != kind) {
        return nullptr;
    }
    return g_handles[index].object;
}

size_t HandleCount()
{
    std::lock_guard<std::mutex> guard(g_handleLock);
    size_t n = 0;
    for (const HandleSlot& s : g_handles) {
        n += s.object != nullptr ? 1 : 0;
    }
    return n;
}

}  // namespace kshim

NTSTATUS ZwClose(HANDLE handle)
{
    HandleSlot slot;
    {
        std::lock_guard<std::mutex> guard(g_handleLock);
        size_t index;
        if (!kshim::HandleIndex(handle, &index)) {
            KshimViolation("ZwClose of an invalid handle", nullptr);
            return STATUS_INVALID_HANDLE;
        }
        slot = g_handles[index];
        g_handles[index] = HandleSlot{};
    }
    if (slot.closer != nullptr) {
        slot.closer(slot.object);
    }
    return STATUS_SUCCESS;
}

// ================================================================================================
// system threads
// ================================================================================================
struct _KTHREAD {
    DISPATCHER_HEADER Header;  // signalled when the thread ends
    std::atomic<LONG> References;
    std::atomic<KPRIORITY> Priority;
    uint32_t Number;
    bool Foreign;  // a thread the stand-in did not create
};

namespace {

std::atomic<uint32_t> g_nextThreadNumber{1};
std::atomic<size_t> g_runningThreads{0};
thread_local PKTHREAD t_thread = nullptr;
thread_local _KTHREAD t_foreign;  // record of a thread the stand-in did not create

struct ThreadExit {};

void DereferenceThread(PKTHREAD thread)
{
    if (thread->References.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete thread;
    }
}

void CloseThreadHandle(void* object) { DereferenceThread(static_cast<PKTHREAD>(object)); }

POBJECT_TYPE g_threadType = reinterpret_cast<POBJECT_TYPE>(0x5448);

}  // namespace

POBJECT_TYPE* PsThreadType = &g_threadType;

PKTHREAD KeGetCurrentThread()
{
    if (t_thread == nullptr) {
        t_foreign.Header.ObjectKind = KSHIM_OBJ_THREAD;
        t_foreign.Header.EventType = NotificationEvent;
        t_foreign.References.store(1);
        t_foreign.Priority.store(8);
        t_foreign.Number = g_nextThreadNumber.fetch_add(1);
        t_foreign.Foreign = true;
        t_thread = &t_foreign;
    }
    return t_thread;
}

namespace kshim {
size_t SystemThreadsRunning() { return g_runningThreads.load(); }
uint32_t CurrentThreadNumber() { return KeGetCurrentThread()->Number; }
}  // namespace kshim

HANDLE PsGetCurrentThreadId() { return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(kshim::CurrentThreadNumber() * 4)); }

NTSTATUS PsCreateSystemThread(PHANDLE threadHandle, ULONG desiredAccess, POBJECT_ATTRIBUTES objectAttributes,
                              HANDLE processHandle, PCLIENT_ID clientId, PKSTART_ROUTINE startRoutine,
                              PVOID context)
{
    KshimMayBlock("PsCreateSystemThread");
    NTSTATUS status;
    if (kshim::FaultCheck("thread.create", nullptr, &status)) {
        return status;
    }
    auto* thread = new _KTHREAD();
    thread->Header.ObjectKind = KSHIM_OBJ_THREAD;
    thread->Header.EventType = NotificationEvent;
    thread->Header.SignalState.store(0);
    thread->References.store(2);  // the handle and the running thread
    thread->Priority.store(8);
    thread->Number = g_nextThreadNumber.fetch_add(1);
    thread->Foreign = false;
    g_runningThreads.fetch_add(1);
    kshim::SchedPrecount();
    try {
        std::thread([thread, startRoutine, context] {
            kshim::SchedAdopt();
            t_thread = thread;
            try {
                startRoutine(context);
            } catch (const ThreadExit&) {
            }
            if (KeGetCurrentIrql() != PASSIVE_LEVEL || kshim::HeldSpinLocks() != 0) {
                KshimViolation("system thread ended above PASSIVE_LEVEL or holding a spin lock", nullptr);
            }
            // Stop counting the thread before anyone waiting on it can run on.
            g_runningThreads.fetch_sub(1);
            SignalObject(&thread->Header);
            t_thread = nullptr;
            DereferenceThread(thread);
            kshim::SchedLeave();  // the thread has done all it will do
        }).detach();
    } catch (...) {
        kshim::SchedUncount();
        g_runningThreads.fetch_sub(1);
        delete thread;
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    *threadHandle = kshim::HandleCreate(kshim::HandleThread, thread, CloseThreadHandle);
    if (clientId != nullptr) {
        clientId->UniqueProcess = nullptr;
        clientId->UniqueThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(thread->Number * 4));
    }
    return STATUS_SUCCESS;
}

NTSTATUS PsTerminateSystemThread(NTSTATUS exitStatus)
{
    if (t_thread == nullptr || t_thread->Foreign) {
        KshimViolation("PsTerminateSystemThread outside a system thread", nullptr);
        return STATUS_INVALID_PARAMETER;
    }
    throw ThreadExit{};
}

KPRIORITY KeSetPriorityThread(PKTHREAD thread, KPRIORITY priority)
{
    return thread->Priority.exchange(priority);
}

KPRIORITY KeQueryPriorityThread(PKTHREAD thread) { return thread->Priority.load(); }

NTSTATUS ObReferenceObjectByHandle(HANDLE handle, ACCESS_MASK access, POBJECT_TYPE objectType,
                                   KPROCESSOR_MODE mode, PVOID* object, PVOID handleInfo)
{
    std::lock_guard<std::mutex> guard(g_handleLock);
    size_t index;
    if (!kshim::HandleIndex(handle, &index)) {
        return STATUS_INVALID_HANDLE;
    }
    if (g_handles[index].kind != kshim::HandleThread) {
        return STATUS_OBJECT_TYPE_MISMATCH;
    }
    auto* thread = static_cast<PKTHREAD>(g_handles[index].object);
    thread->References.fetch_add(1);
    *object = thread;
    return STATUS_SUCCESS;
}

void ObReferenceObject(PVOID object)
{
    auto* thread = static_cast<PKTHREAD>(object);
    if (thread->Header.ObjectKind != KSHIM_OBJ_THREAD) {
        KshimViolation("ObReferenceObject on an object the stand-in does not reference-count", nullptr);
        return;
    }
    thread->References.fetch_add(1);
}

LONG_PTR ObfDereferenceObject(PVOID object)
{
    auto* thread = static_cast<PKTHREAD>(object);
    if (thread == nullptr || thread->Header.ObjectKind != KSHIM_OBJ_THREAD || thread->Foreign) {
        KshimViolation("ObDereferenceObject on an object the stand-in does not reference-count", nullptr);
        return 0;
    }
    LONG_PTR left = thread->References.load() - 1;
    DereferenceThread(thread);
    return left;
}

void ObDereferenceObject(PVOID object) { ObfDereferenceObject(object); }

// ================================================================================================
// time
// ================================================================================================
void KeQuerySystemTime(PLARGE_INTEGER currentTime) { currentTime->QuadPart = kshim::ClockNow(); }
void KeQuerySystemTimePrecise(PLARGE_INTEGER currentTime) { currentTime->QuadPart = kshim::ClockNow(); }

void ExSystemTimeToLocalTime(PLARGE_INTEGER systemTime, PLARGE_INTEGER localTime)
{
    localTime->QuadPart = systemTime->QuadPart + kshim::ClockLocalOffset();
}

static constexpr ULONG kTimeIncrement = 156250;  // 15.625 ms per tick

void KeQueryTickCount(PLARGE_INTEGER tickCount) { tickCount->QuadPart = kshim::ClockNow() / kTimeIncrement; }

ULONG KeQueryTimeIncrement() { return kTimeIncrement; }

LARGE_INTEGER KeQueryPerformanceCounter(PLARGE_INTEGER performanceFrequency)
{
    if (performanceFrequency != nullptr) {
        performanceFrequency->QuadPart = 10000000;
    }
    LARGE_INTEGER v;
    v.QuadPart = kshim::ClockNow();
    return v;
}

void KeStallExecutionProcessor(ULONG microseconds) { kshim::ClockStall(static_cast<int64_t>(microseconds) * 10); }

NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE mode, BOOLEAN alertable, PLARGE_INTEGER interval)
{
    KshimMayBlock("KeDelayExecutionThread");
    int64_t span = interval->QuadPart < 0 ? -interval->QuadPart : interval->QuadPart - kshim::ClockNow();
    if (span > 0) {
        kshim::ClockSleep(span);
    }
    return STATUS_SUCCESS;
}
