// Shell services of the adapter: the flag word, the BSS slot accessors, the platform thread and timer
// layer with the adapter's worker threads, delays and event waits, the software control init, the
// spin-lock set and the port reset.
#pragma once

#include <atomic>

#include "kshim/ke.h"
#include "kshim/ndis.h"
#include "kshim/wdf.h"
#include "platform/ndiscommon/ndiscommon_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _BSS_INDEX_SLOT BSS_INDEX_SLOT, *PBSS_INDEX_SLOT;

// ---- platform threads ----------------------------------------------------------------------------------
void PlatformInitThread(PMP_ADAPTER adapter, PVOID context, PPLATFORM_THREAD thread, PPLATFORM_THREAD_BODY body,
                        PCSTR name);
NTSTATUS PlatformRunThread(PMP_ADAPTER adapter, PPLATFORM_THREAD thread);
KSTART_ROUTINE PlatformThreadCallBackFunc;
void PlatformCancelThread(PMP_ADAPTER adapter, PPLATFORM_THREAD thread);
void PlatformFreeThread(PMP_ADAPTER adapter, PPLATFORM_THREAD thread);
// Wakes a worker thread; a record posted before its thread exists waits for the first wake after it.
inline void PlatformSignalThread(PPLATFORM_THREAD thread)
{
    if (thread != nullptr && thread->RunState.load() != PLATFORM_THREAD_FREE) {
        NdisSetEvent(&thread->WakeEvent);
    }
}

// The body of a queue-draining worker thread: priority 16; until the stop-threads byte ends it, waits
// on the thread's wake event, then takes every queued record, runs the handler on it while the byte
// is clear and returns it to its pool.
struct _INTERNAL_CMD;
struct _COMMAND_QUEUE;
typedef void PLATFORM_CMD_HANDLER(PMP_ADAPTER adapter, struct _INTERNAL_CMD* cmd);
typedef void PLATFORM_CMD_RETURN(PMP_ADAPTER adapter, struct _INTERNAL_CMD* cmd);
void PlatformCmdQueueThreadLoop(PMP_ADAPTER adapter, PPLATFORM_THREAD thread, struct _COMMAND_QUEUE* queue,
                                PLATFORM_CMD_HANDLER* handler, PLATFORM_CMD_RETURN* giveBack);
// Raises the calling worker thread to PLATFORM_THREAD_PRIORITY.
void PlatformSetThreadPriority();
// TRUE once the stop-threads byte asks the worker threads to end.
BOOLEAN PlatformThreadsStopping(PMP_ADAPTER adapter);

// At PASSIVE_LEVEL waits (ms 0 = no time-out), resets the event and answers whether it was signalled;
// above it only delays ms milliseconds and answers FALSE.
BOOLEAN PlatformWaitEvent(PNDIS_EVENT event, ULONG ms);
// Sleeps at PASSIVE_LEVEL, busy-waits above it.
void NdisCommonGenericDelay(ULONG microseconds);

// The adapter's worker threads, in order of creation.
NTSTATUS NdisCommonCreateAllThreads(PMP_ADAPTER adapter);
void NdisCommonFreeAllThreads(PMP_ADAPTER adapter);
// Interrupt work posted to "PlatformIntHandlerThread".
void NdisCommonHifIntHandlerThreadHandler(PMP_PORT port, ULONG cmdId);

// ---- platform timers ------------------------------------------------------------------------------------
// The typed context of every framework timer of a platform timer.
typedef struct _QZL_TIMER_STRUCT_CX {
    PPLATFORM_TIMER Timer;
} QZL_TIMER_STRUCT_CX, *PQZL_TIMER_STRUCT_CX;
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(QZL_TIMER_STRUCT_CX, QZCxGetTimerContext);

// Stores the settings of a timer that is not initialised yet; creates nothing.
void PlatformInitTimer(PMP_PORT port, PPLATFORM_TIMER timer, PPLATFORM_TIMER_CALLBACK callback, UCHAR periodic,
                       PCSTR name);
// Arms the timer for ms milliseconds (a periodic timer keeps the period it was created with);
// refused while the adapter halts or is removed. 0 when armed, 0xC0000001 when refused.
NTSTATUS PlatformSetTimer(PMP_PORT port, PPLATFORM_TIMER timer, ULONG ms);
// Stops the timer without waiting for a running callback; *cancelled is written (TRUE when the timer
// was still queued) only when the timer had been started.
void PlatformCancelTimer(PPLATFORM_TIMER timer, PUCHAR cancelled);
// Deletes the framework timer; at PASSIVE_LEVEL it first waits for a running callback.
void PlatformFreeTimer(PPLATFORM_TIMER timer);
EVT_WDF_TIMER PlatformTimerCallBackFunc;

// ---- adapter flag word -------------------------------------------------------------------------------------
// A caller at or below DISPATCH_LEVEL is serialised by the flag spin lock; every change is atomic so
// that a caller above DISPATCH_LEVEL cannot lose another's update.
void AdapterSetFlag(PMP_ADAPTER adapter, ULONG bits, PCSTR caller);
void AdapterClearFlag(PMP_ADAPTER adapter, ULONG bits, PCSTR caller);
void AdapterSetFlagUnlocked(PMP_ADAPTER adapter, ULONG bits);

// ---- BSS slots ------------------------------------------------------------------------------------------------
UCHAR PortGetBssIndex(PMP_ADAPTER adapter, PMP_PORT port);
PBSS_INDEX_SLOT GetActiveBssIndexSlot(PMP_ADAPTER adapter, UCHAR bssIndex);
PBSS_INDEX_SLOT GetBssIndexSlotByPort(PMP_ADAPTER adapter, PMP_PORT port);
PMP_PORT GetPortByBssIndex(PMP_ADAPTER adapter, UCHAR bssIndex);

// Transmit quota, adapter transmit count and receive count by the port's bandwidth.
void DecideMaxTxRxProcessNumber(PMP_PORT port);

// ---- software control init, spin-lock set, port reset ----------------------------------------------------
NTSTATUS NdisCommonInitializeSWCtrl(PMP_ADAPTER adapter, PVOID unused);
NTSTATUS NdisCommonPortInitandCfg(PMP_ADAPTER adapter);
void NdisCommonSpinLockInit(PMP_ADAPTER adapter);
void NdisCommonDeallocateAllSpinLock(PMP_ADAPTER adapter);
void NdisCommonInfoResetHandler(PMP_PORT port);
void NdisCommonResetAdapterCfg(PMP_ADAPTER adapter, PVOID unused, UCHAR keep);
NTSTATUS NdisCommonReturnZero();
