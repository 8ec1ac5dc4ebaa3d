// Kernel services: spin locks, events and waits, system threads, time, the processor stall and
// interlocked operations. Every wait, sleep, stall and time read uses the stand-in's one clock.
#pragma once

#include <atomic>

#include "kshim/irql.h"

// ---- spin locks ----------------------------------------------------------------------------------
// Zero-initialised storage is an unlocked lock. Acquiring raises to DISPATCH_LEVEL and hands back
// the previous level; releasing restores it.
typedef struct _KSPIN_LOCK_IMPL {
    std::atomic<ULONG_PTR> Owner;  // 0 free, else the owning thread's token
} KSPIN_LOCK, *PKSPIN_LOCK;

void KeInitializeSpinLock(PKSPIN_LOCK lock);
void KeAcquireSpinLock(PKSPIN_LOCK lock, PKIRQL oldIrql);
KIRQL KeAcquireSpinLockRaiseToDpc(PKSPIN_LOCK lock);
void KeReleaseSpinLock(PKSPIN_LOCK lock, KIRQL newIrql);
void KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK lock);
void KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK lock);
// Used by the framework's interrupt lock, which raises to the device level instead.
void KshimSpinAcquireRaw(PKSPIN_LOCK lock);
void KshimSpinReleaseRaw(PKSPIN_LOCK lock);

// ---- dispatcher objects: events and threads ------------------------------------------------------
typedef enum _EVENT_TYPE { NotificationEvent = 0, SynchronizationEvent = 1 } EVENT_TYPE;

enum : ULONG {
    KSHIM_OBJ_EVENT = 0x45564E54,   // 'EVNT'
    KSHIM_OBJ_THREAD = 0x54485244,  // 'THRD'
};

// The header every waitable object starts with.
typedef struct _DISPATCHER_HEADER {
    ULONG ObjectKind;  // KSHIM_OBJ_*; set by the initialiser
    ULONG EventType;   // EVENT_TYPE for events; threads are notification objects
    std::atomic<LONG> SignalState;
} DISPATCHER_HEADER;

typedef struct _KEVENT {
    DISPATCHER_HEADER Header;
} KEVENT, *PKEVENT, *PRKEVENT;

typedef struct _KTHREAD* PKTHREAD;
typedef PKTHREAD PETHREAD;

typedef LONG KPRIORITY;
typedef enum _KWAIT_REASON { Executive = 0, UserRequest = 6 } KWAIT_REASON;
typedef CHAR KPROCESSOR_MODE;
#define KernelMode 0
#define UserMode 1
#define IO_NO_INCREMENT 0
#define EVENT_INCREMENT 1

void KeInitializeEvent(PRKEVENT event, EVENT_TYPE type, BOOLEAN state);
// Returns the previous state. A notification event wakes every waiter and stays set; a
// synchronization event releases one waiter and clears itself.
LONG KeSetEvent(PRKEVENT event, KPRIORITY increment, BOOLEAN wait);
void KeClearEvent(PRKEVENT event);
LONG KeResetEvent(PRKEVENT event);
LONG KeReadStateEvent(PRKEVENT event);
// timeout: nullptr waits forever, 0 polls, a negative value is relative in 100 ns units, a positive
// value is an absolute system time. Returns STATUS_SUCCESS or STATUS_TIMEOUT. A non-zero time-out
// above APC_LEVEL is a strict-mode failure.
NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON reason, KPROCESSOR_MODE mode,
                               BOOLEAN alertable, PLARGE_INTEGER timeout);

// ---- system threads ------------------------------------------------------------------------------
typedef VOID KSTART_ROUTINE(PVOID context);
typedef KSTART_ROUTINE* PKSTART_ROUTINE;
typedef struct _OBJECT_ATTRIBUTES* POBJECT_ATTRIBUTES;
typedef struct _CLIENT_ID {
    HANDLE UniqueProcess;
    HANDLE UniqueThread;
} CLIENT_ID, *PCLIENT_ID;
typedef struct _OBJECT_TYPE* POBJECT_TYPE;
extern POBJECT_TYPE* PsThreadType;

#define THREAD_ALL_ACCESS 0x001FFFFFu
#define LOW_REALTIME_PRIORITY 16
#define HIGH_PRIORITY 31

// Runs the routine on a new thread at PASSIVE_LEVEL and returns a handle to the thread object.
NTSTATUS PsCreateSystemThread(PHANDLE threadHandle, ULONG desiredAccess,
                              POBJECT_ATTRIBUTES objectAttributes, HANDLE processHandle,
                              PCLIENT_ID clientId, PKSTART_ROUTINE startRoutine, PVOID context);
NTSTATUS PsTerminateSystemThread(NTSTATUS exitStatus);
PKTHREAD KeGetCurrentThread();
HANDLE PsGetCurrentThreadId();
KPRIORITY KeSetPriorityThread(PKTHREAD thread, KPRIORITY priority);
KPRIORITY KeQueryPriorityThread(PKTHREAD thread);
// Handles of threads, registry keys and files are all closed through ZwClose.
NTSTATUS ObReferenceObjectByHandle(HANDLE handle, ACCESS_MASK access, POBJECT_TYPE objectType,
                                   KPROCESSOR_MODE mode, PVOID* object, PVOID handleInfo);
void ObReferenceObject(PVOID object);
void ObDereferenceObject(PVOID object);
LONG_PTR ObfDereferenceObject(PVOID object);
NTSTATUS ZwClose(HANDLE handle);

// ---- time ----------------------------------------------------------------------------------------
// System time is in 100 ns units since 1601-01-01 (UTC).
void KeQuerySystemTime(PLARGE_INTEGER currentTime);
void KeQuerySystemTimePrecise(PLARGE_INTEGER currentTime);
void ExSystemTimeToLocalTime(PLARGE_INTEGER systemTime, PLARGE_INTEGER localTime);
void KeQueryTickCount(PLARGE_INTEGER tickCount);
ULONG KeQueryTimeIncrement();
// 10 MHz performance counter.
LARGE_INTEGER KeQueryPerformanceCounter(PLARGE_INTEGER performanceFrequency);
// Busy-waits; allowed at any level.
void KeStallExecutionProcessor(ULONG microseconds);
// Sleeps at PASSIVE_LEVEL (interval negative = relative, in 100 ns).
NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE mode, BOOLEAN alertable, PLARGE_INTEGER interval);

// Waits until every deferred routine queued before the call has finished (PASSIVE_LEVEL).
void KeFlushQueuedDpcs();

// ---- interlocked operations ----------------------------------------------------------------------
inline LONG InterlockedIncrement(volatile LONG* p) { return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedDecrement(volatile LONG* p) { return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchange(volatile LONG* p, LONG v) { return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST); }
inline LONG InterlockedExchangeAdd(volatile LONG* p, LONG v) { return __atomic_fetch_add(p, v, __ATOMIC_SEQ_CST); }
inline LONG InterlockedAdd(volatile LONG* p, LONG v) { return __atomic_add_fetch(p, v, __ATOMIC_SEQ_CST); }
inline LONG InterlockedOr(volatile LONG* p, LONG v) { return __atomic_fetch_or(p, v, __ATOMIC_SEQ_CST); }
inline LONG InterlockedAnd(volatile LONG* p, LONG v) { return __atomic_fetch_and(p, v, __ATOMIC_SEQ_CST); }
inline LONG InterlockedCompareExchange(volatile LONG* p, LONG exchange, LONG comparand)
{
    __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}
inline LONG64 InterlockedIncrement64(volatile LONG64* p) { return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST); }
inline LONG64 InterlockedDecrement64(volatile LONG64* p) { return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST); }
inline LONG64 InterlockedExchange64(volatile LONG64* p, LONG64 v) { return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST); }
inline LONG64 InterlockedExchangeAdd64(volatile LONG64* p, LONG64 v) { return __atomic_fetch_add(p, v, __ATOMIC_SEQ_CST); }
inline PVOID InterlockedExchangePointer(PVOID volatile* p, PVOID v) { return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST); }
inline PVOID InterlockedCompareExchangePointer(PVOID volatile* p, PVOID exchange, PVOID comparand)
{
    __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}
// Plain 32-bit reads and writes of shared words that other threads change with interlocked calls.
inline LONG ReadNoFence(volatile const LONG* p) { return __atomic_load_n(p, __ATOMIC_RELAXED); }
inline LONG ReadAcquire(volatile const LONG* p) { return __atomic_load_n(p, __ATOMIC_ACQUIRE); }
inline void WriteRelease(volatile LONG* p, LONG v) { __atomic_store_n(p, v, __ATOMIC_RELEASE); }
inline void KeMemoryBarrier() { __atomic_thread_fence(__ATOMIC_SEQ_CST); }
#define MemoryBarrier KeMemoryBarrier
