// The records of the platform thread and timer layer: every worker thread and every timer of the
// driver is one of these, embedded in the adapter or a port.
#pragma once

#include <atomic>

#include "kshim/ke.h"
#include "kshim/ndis.h"
#include "kshim/wdf.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// ---- platform threads ----------------------------------------------------------------------------------
typedef VOID PLATFORM_THREAD_BODY(PVOID context);
typedef PLATFORM_THREAD_BODY* PPLATFORM_THREAD_BODY;

#define PLATFORM_THREAD_NAME_SIZE 64

// Run states of a platform thread.
#define PLATFORM_THREAD_FREE 0       // not initialised, or freed
#define PLATFORM_THREAD_READY 1      // initialised, or its body has finished
#define PLATFORM_THREAD_RUNNING 2    // body running
#define PLATFORM_THREAD_CANCELLED 4

typedef struct _PLATFORM_THREAD {
    HANDLE ThreadHandle;  // closed as soon as the thread object is referenced
    std::atomic<UCHAR> RunState;
    UCHAR InitCount;
    PPLATFORM_THREAD_BODY Body;
    PVOID Context;        // the adapter, or the port for a port's send thread
    PMP_ADAPTER Adapter;  // whose halting bits the start routine tests
    CHAR Name[PLATFORM_THREAD_NAME_SIZE];
    PKTHREAD ThreadObject;
    NDIS_EVENT DoneEvent;  // set by the start routine when the body returns
    NDIS_EVENT WakeEvent;  // set by whoever queues work for the thread, and by cancellation
} PLATFORM_THREAD, *PPLATFORM_THREAD;

// Priority of every worker thread.
#define PLATFORM_THREAD_PRIORITY 16

// ---- platform timers ------------------------------------------------------------------------------------
typedef struct _PLATFORM_TIMER PLATFORM_TIMER, *PPLATFORM_TIMER;
// Called at DISPATCH_LEVEL with (null, the timer's port, the timer, null).
typedef VOID PLATFORM_TIMER_CALLBACK(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                     PVOID systemSpecific3);
typedef PLATFORM_TIMER_CALLBACK* PPLATFORM_TIMER_CALLBACK;

#define PLATFORM_TIMER_NAME_SIZE 40

// A framework timer created on its first arming.
struct _PLATFORM_TIMER {
    UCHAR Initialized;
    WDFTIMER Timer;
    UCHAR Created;
    UCHAR Started;
    ULONG PeriodMs;  // the last armed value
    std::atomic<UCHAR> Pending;  // armed and not yet fired
    UCHAR Periodic;
    PPLATFORM_TIMER_CALLBACK Callback;
    PMP_PORT Port;  // the callback's argument; the adapter is the port's owner
    CHAR Name[PLATFORM_TIMER_NAME_SIZE];  // a 40-character name fills it without terminator
    std::atomic<UCHAR> Arming;  // set while PlatformSetTimer runs
};

// ---- bring-up progress ----------------------------------------------------------------------------------
// The device's bring-up progress: one byte per step, set by the steps of the bring-up and read by the
// teardown, which undoes exactly what was done and clears each byte it undoes.
#define BRINGUP_PROGRESS_BYTES 16
typedef struct _BRINGUP_RECORD {
    UCHAR Progress[BRINGUP_PROGRESS_BYTES];
} BRINGUP_RECORD, *PBRINGUP_RECORD;
