// Shell services of the adapter: flag word, BSS slot accessors, platform threads and the adapter's
// worker threads, delays and event waits, software control init, spin-lock set and port reset.
#include "platform/ndiscommon/ndiscommon.h"

#include "Common/cnm.h"
#include "Common/common.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeassoc.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmesync.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2pms.h"
#include "Common/qzcmd.h"
#include "Common/recv.h"
#include "hal/common/hal_services.h"
#include "kshim/rtl.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdisend.h"
#include "platform/wificx/txqueue.h"

// ================================================================================================
// adapter flag word
// ================================================================================================
namespace {

// Callers at or below DISPATCH_LEVEL serialise on the flag lock; the change itself is atomic so that
// an interrupt-level caller, which cannot take the lock, never loses another's update.
void ChangeFlags(PMP_ADAPTER adapter, ULONG bits, bool set, PCSTR caller)
{
    bool locked = KeGetCurrentIrql() <= DISPATCH_LEVEL;
    KIRQL oldIrql = PASSIVE_LEVEL;
    if (locked) {
        KeAcquireSpinLock(&adapter->FlagLock, &oldIrql);
        adapter->FlagLockIrql = oldIrql;
    }
    LONG previous = set ? InterlockedOr(&adapter->Flags, static_cast<LONG>(bits))
                        : InterlockedAnd(&adapter->Flags, static_cast<LONG>(~bits));
    if (locked) {
        KeReleaseSpinLock(&adapter->FlagLock, oldIrql);
    }
    if (bits == ADAPTER_FLAG_MLME_RESTARTING) {
        ULONG now = set ? (static_cast<ULONG>(previous) | bits) : (static_cast<ULONG>(previous) & ~bits);
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_INIT, "%s by %s: flags 0x%08X", set ? "set" : "cleared",
                 caller != nullptr ? caller : "?", static_cast<unsigned>(now));
    }
}

}  // namespace

void AdapterSetFlag(PMP_ADAPTER adapter, ULONG bits, PCSTR caller) { ChangeFlags(adapter, bits, true, caller); }

void AdapterClearFlag(PMP_ADAPTER adapter, ULONG bits, PCSTR caller) { ChangeFlags(adapter, bits, false, caller); }

void AdapterSetFlagUnlocked(PMP_ADAPTER adapter, ULONG bits) { InterlockedOr(&adapter->Flags, static_cast<LONG>(bits)); }

// ================================================================================================
// BSS slots
// ================================================================================================
UCHAR PortGetBssIndex(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    if (port == nullptr || port->BssIndex >= BSS_INDEX_SLOT_COUNT) {
        return BSS_INDEX_NONE;
    }
    return port->BssIndex;
}

PBSS_INDEX_SLOT GetActiveBssIndexSlot(PMP_ADAPTER adapter, UCHAR bssIndex)
{
    if (bssIndex >= BSS_INDEX_SLOT_COUNT || adapter->BssIndexSlots[bssIndex].InUse != 1) {
        return nullptr;
    }
    return &adapter->BssIndexSlots[bssIndex];
}

PBSS_INDEX_SLOT GetBssIndexSlotByPort(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (port == nullptr || port->BssIndex >= BSS_INDEX_SLOT_COUNT) {
        return nullptr;
    }
    return &adapter->BssIndexSlots[port->BssIndex];
}

PMP_PORT GetPortByBssIndex(PMP_ADAPTER adapter, UCHAR bssIndex)
{
    if (bssIndex >= BSS_INDEX_SLOT_COUNT) {
        return nullptr;
    }
    return adapter->BssIndexSlots[bssIndex].Port;
}

// ================================================================================================
// transmit and receive process numbers
// ================================================================================================
void DecideMaxTxRxProcessNumber(PMP_PORT port)
{
    struct Row {
        ULONG TxQuota;
        ULONG AdapterTxCount;
        ULONG RxCount;
    };
    Row row;
    switch (port->Channel.Bandwidth) {
    case BW_20: row = {128, 12, 16}; break;
    case BW_40: row = {128, 12, 64}; break;
    case BW_80: row = {255, 25, 128}; break;
    case BW_160: row = {255, 25, 256}; break;
    case BW_320: row = {1024, 25, 256}; break;
    default: row = {128, 1, 1}; break;
    }
    REGISTRY_BLOCK* registry = &port->Adapter->RegistryBlock;
    port->TxQuota = registry->TpParameter3 != 0 ? registry->TpParameter3 : row.TxQuota;
    port->RxProcessCount = registry->TpParameter2 != 0 ? registry->TpParameter2 : row.RxCount;
    // The adapter's count is kept in "TpParameter1": once computed it stays.
    if (registry->TpParameter1 == 0) {
        registry->TpParameter1 = row.AdapterTxCount;
    }
}

// ================================================================================================
// delays and event waits
// ================================================================================================
BOOLEAN PlatformWaitEvent(PNDIS_EVENT event, ULONG ms)
{
    if (KeGetCurrentIrql() == PASSIVE_LEVEL) {
        BOOLEAN signalled = NdisWaitEvent(event, ms);
        // Every wake event behaves as auto-reset: reset right after the wait.
        NdisResetEvent(event);
        return signalled;
    }
    NdisCommonGenericDelay(ms * 1000);
    return FALSE;
}

void NdisCommonGenericDelay(ULONG microseconds)
{
    if (KeGetCurrentIrql() == PASSIVE_LEVEL) {
        NdisMSleep(microseconds);
        return;
    }
    for (ULONG i = 0; i < microseconds / 10; ++i) {
        KeStallExecutionProcessor(10);
    }
    if (microseconds % 10 != 0) {
        KeStallExecutionProcessor(microseconds % 10);
    }
}

// ================================================================================================
// platform threads
// ================================================================================================
void PlatformInitThread(PMP_ADAPTER adapter, PVOID context, PPLATFORM_THREAD thread, PPLATFORM_THREAD_BODY body,
                        PCSTR name)
{
    if (thread == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "no thread record");
        return;
    }
    if (thread->InitCount != 0 && thread->RunState.load() != PLATFORM_THREAD_FREE) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "thread \"%s\" is already initialised", thread->Name);
        return;
    }
    ++thread->InitCount;
    thread->RunState.store(PLATFORM_THREAD_READY);
    thread->Body = body;
    thread->Context = context;
    thread->Adapter = adapter;
    thread->ThreadHandle = nullptr;
    thread->ThreadObject = nullptr;
    NdisInitializeEvent(&thread->DoneEvent);
    NdisInitializeEvent(&thread->WakeEvent);
    PlatformZeroMemory(thread->Name, sizeof(thread->Name));
    if (name != nullptr) {
        SIZE_T length = std::strlen(name);
        if (length > sizeof(thread->Name) - 1) {
            length = sizeof(thread->Name) - 1;
        }
        PlatformMoveMemory(thread->Name, name, static_cast<ULONG>(length));
    }
}

NTSTATUS PlatformRunThread(PMP_ADAPTER adapter, PPLATFORM_THREAD thread)
{
    UNREFERENCED_PARAMETER(adapter);
    if (thread == nullptr || thread->RunState.load() != PLATFORM_THREAD_READY || thread->Body == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    HANDLE handle = nullptr;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    NTSTATUS status =
        PsCreateSystemThread(&handle, 0, &attributes, nullptr, nullptr, PlatformThreadCallBackFunc, thread);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "thread \"%s\" not created: 0x%08X", thread->Name,
                 static_cast<unsigned>(status));
        return status;
    }
    PVOID object = nullptr;
    status = ObReferenceObjectByHandle(handle, THREAD_ALL_ACCESS, *PsThreadType, KernelMode, &object, nullptr);
    ZwClose(handle);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "thread \"%s\" not referenced: 0x%08X", thread->Name,
                 static_cast<unsigned>(status));
        return status;
    }
    thread->ThreadObject = static_cast<PKTHREAD>(object);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_THREAD, "thread \"%s\" started", thread->Name);
    return STATUS_SUCCESS;
}

void PlatformThreadCallBackFunc(PVOID context)
{
    auto* thread = static_cast<PPLATFORM_THREAD>(context);
    // The halting test is made on the thread's adapter, also for a send thread whose context is its port.
    if (thread == nullptr || thread->Context == nullptr || thread->Adapter == nullptr ||
        AdapterTestFlags(thread->Adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    thread->RunState.store(PLATFORM_THREAD_RUNNING);
    thread->Body(thread->Context);
    thread->RunState.store(PLATFORM_THREAD_READY);
    NdisSetEvent(&thread->DoneEvent);
    PsTerminateSystemThread(STATUS_SUCCESS);
}

void PlatformCancelThread(PMP_ADAPTER adapter, PPLATFORM_THREAD thread)
{
    UNREFERENCED_PARAMETER(adapter);
    if (thread == nullptr || thread->RunState.load() == PLATFORM_THREAD_FREE) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_THREAD, "cancel of a thread that was never initialised");
        return;
    }
    // The wake event is set whatever the state: a thread that has not reached its body yet finds it
    // set at its first wait and sees the stop-threads byte.
    NdisSetEvent(&thread->WakeEvent);
    if (thread->RunState.load() == PLATFORM_THREAD_RUNNING) {
        (void)NdisWaitEvent(&thread->DoneEvent, 0);
    }
    thread->RunState.store(PLATFORM_THREAD_CANCELLED);
}

void PlatformFreeThread(PMP_ADAPTER adapter, PPLATFORM_THREAD thread)
{
    UNREFERENCED_PARAMETER(adapter);
    if (thread == nullptr || thread->RunState.load() == PLATFORM_THREAD_FREE) {
        return;
    }
    // The record is reset once the thread has ended, so that a start routine still on its way out
    // cannot write its run state into a freed record.
    if (thread->ThreadObject != nullptr) {
        (void)KeWaitForSingleObject(thread->ThreadObject, Executive, KernelMode, FALSE, nullptr);
        ObDereferenceObject(thread->ThreadObject);
        thread->ThreadObject = nullptr;
    }
    thread->RunState.store(PLATFORM_THREAD_FREE);
}

void PlatformSetThreadPriority() { (void)KeSetPriorityThread(KeGetCurrentThread(), PLATFORM_THREAD_PRIORITY); }

BOOLEAN PlatformThreadsStopping(PMP_ADAPTER adapter) { return static_cast<BOOLEAN>(adapter->StopThreads.load() != 0); }

void PlatformCmdQueueThreadLoop(PMP_ADAPTER adapter, PPLATFORM_THREAD thread, PCOMMAND_QUEUE queue,
                                PLATFORM_CMD_HANDLER* handler, PLATFORM_CMD_RETURN* giveBack)
{
    PlatformSetThreadPriority();
    while (!PlatformThreadsStopping(adapter)) {
        (void)PlatformWaitEvent(&thread->WakeEvent, 0);
        for (;;) {
            PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(queue);
            if (cmd == nullptr) {
                break;
            }
            if (!PlatformThreadsStopping(adapter)) {
                handler(adapter, cmd);
            }
            giveBack(adapter, cmd);
        }
    }
}

// ================================================================================================
// platform timers
// ================================================================================================
void PlatformInitTimer(PMP_PORT port, PPLATFORM_TIMER timer, PPLATFORM_TIMER_CALLBACK callback, UCHAR periodic,
                       PCSTR name)
{
    if (timer == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "no timer record");
        return;
    }
    if (timer->Initialized) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_THREAD, "timer is already initialised");
        return;
    }
    timer->Periodic = periodic;
    timer->Port = port;
    timer->Callback = callback;
    timer->Pending.store(0);
    PlatformZeroMemory(timer->Name, sizeof(timer->Name));
    if (name != nullptr) {
        SIZE_T length = std::strlen(name);
        PlatformMoveMemory(timer->Name, name,
                           static_cast<ULONG>(length < sizeof(timer->Name) ? length : sizeof(timer->Name)));
    }
    timer->Initialized = 1;
}

NTSTATUS PlatformSetTimer(PMP_PORT port, PPLATFORM_TIMER timer, ULONG ms)
{
    if (port == nullptr || timer == nullptr || port->Adapter == nullptr || port->Adapter->Device == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "timer not armed: no port, adapter or device");
        return STATUS_UNSUCCESSFUL;
    }
    if (timer->Periodic && ms == 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "periodic timer without a period not armed");
        return STATUS_UNSUCCESSFUL;
    }
    PMP_ADAPTER adapter = port->Adapter;
    if (AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return STATUS_UNSUCCESSFUL;
    }
    timer->Arming.store(1);
    NTSTATUS status = STATUS_SUCCESS;
    if (!timer->Initialized) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "timer was never initialised");
        status = STATUS_UNSUCCESSFUL;
    } else {
        timer->PeriodMs = ms;
        timer->Pending.store(1);
        if (!timer->Created) {
            WDF_TIMER_CONFIG config;
            WDF_TIMER_CONFIG_INIT(&config, PlatformTimerCallBackFunc);
            config.Period = timer->Periodic ? ms : 0;
            config.AutomaticSerialization = TRUE;
            config.TolerableDelay = 0;
            config.UseHighResolutionTimer = FALSE;
            WDF_OBJECT_ATTRIBUTES attributes;
            WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, QZL_TIMER_STRUCT_CX);
            attributes.ParentObject = adapter->Device;
            WDFTIMER created = nullptr;
            status = WdfTimerCreate(&config, &attributes, &created);
            if (NT_SUCCESS(status)) {
                QZCxGetTimerContext(created)->Timer = timer;
                timer->Timer = created;
                timer->Created = 1;
            } else {
                DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "timer \"%.40s\" not created: 0x%08X", timer->Name,
                         static_cast<unsigned>(status));
                timer->Pending.store(0);
            }
        }
        if (timer->Created) {
            (void)WdfTimerStart(timer->Timer, WDF_REL_TIMEOUT_IN_MS(ms));
            timer->Started = 1;
        }
    }
    timer->Arming.store(0);
    return status;
}

void PlatformTimerCallBackFunc(WDFTIMER wdfTimer)
{
    PPLATFORM_TIMER timer = QZCxGetTimerContext(wdfTimer)->Timer;
    if (timer == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "timer callback without its record");
        return;
    }
    timer->Pending.store(0);
    PMP_PORT port = timer->Port;
    if (port == nullptr || port->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "timer \"%.40s\" without port or adapter", timer->Name);
        return;
    }
    if (AdapterTestFlags(port->Adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED) || timer->Callback == nullptr) {
        return;
    }
    timer->Callback(nullptr, port, timer, nullptr);
}

void PlatformCancelTimer(PPLATFORM_TIMER timer, PUCHAR cancelled)
{
    if (timer == nullptr || !timer->Initialized) {
        return;
    }
    for (ULONG wait = 0; wait < 10 && timer->Arming.load(); ++wait) {
        NdisCommonGenericDelay(100 * 1000);
    }
    if (timer->Arming.load()) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_THREAD, "timer \"%.40s\" still being armed after 1 s", timer->Name);
    }
    if ((timer->Pending.load() || timer->Periodic) && timer->Started) {
        BOOLEAN removed = WdfTimerStop(timer->Timer, FALSE);
        if (cancelled != nullptr) {
            *cancelled = removed;
        }
        timer->Started = 0;
        if (removed) {
            timer->Pending.store(0);
        }
    }
}

void PlatformFreeTimer(PPLATFORM_TIMER timer)
{
    if (timer == nullptr) {
        return;
    }
    if (timer->Created) {
        // At teardown a running callback may still use the port: wait for it before the timer
        // (and, after it, the port) goes away.
        if (KeGetCurrentIrql() == PASSIVE_LEVEL) {
            (void)WdfTimerStop(timer->Timer, TRUE);
        }
        WdfObjectDelete(timer->Timer);
        timer->Created = 0;
        timer->Started = 0;
    }
    timer->Timer = nullptr;
    timer->Port = nullptr;
    timer->Pending.store(0);
}

// ================================================================================================
// the adapter's worker threads
// ================================================================================================
namespace {

PMP_PORT PortOfIndex(PMP_ADAPTER adapter, ULONG index)
{
    return index < MP_MAX_PORTS ? adapter->PortList[index] : nullptr;
}

void RunIntHandlerCmd(PMP_ADAPTER adapter, PINTERNAL_CMD cmd)
{
    NdisCommonHifIntHandlerThreadHandler(PortOfIndex(adapter, cmd->PortIndex), cmd->CmdId);
}

void RunControlCmd(PMP_ADAPTER adapter, PINTERNAL_CMD cmd)
{
    (void)NdisCommonHifControlThreadHandler(PortOfIndex(adapter, cmd->PortIndex), cmd->CmdId, cmd->Payload,
                                            cmd->PayloadLength);
}

void RunFwLogCmd(PMP_ADAPTER adapter, PINTERNAL_CMD cmd)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(cmd);
    (void)fwLogMmioHandler();
}

void PlatformFWCmdThreadProc(PVOID context)
{
    auto* adapter = static_cast<PMP_ADAPTER>(context);
    PlatformSetThreadPriority();
    while (!PlatformThreadsStopping(adapter)) {
        (void)PlatformWaitEvent(&adapter->FwCmdThread.WakeEvent, 0);
        if (adapter->LowPower.LowPowerMode) {
            (void)NdisCommonHifPmSetDriverOwn(adapter);
        }
        (void)QzCmdDequeueFWCmd(adapter, 0);
        if (adapter->LowPower.LowPowerMode) {
            (void)NdisCommonHifPmSetFwOwn(adapter, 0);
        }
    }
}

void PlatformIntHandlerThreadProc(PVOID context)
{
    auto* adapter = static_cast<PMP_ADAPTER>(context);
    PlatformCmdQueueThreadLoop(adapter, &adapter->IntHandlerThread, &adapter->Cmd.IntHandlerQueue, RunIntHandlerCmd,
                               QzReturnIntHandlerCmdBuffer);
}

void PlatformFWIdxLogThreadProc(PVOID context)
{
    auto* adapter = static_cast<PMP_ADAPTER>(context);
    PlatformCmdQueueThreadLoop(adapter, &adapter->FwIdxLogThread, &adapter->Cmd.FwLogQueue, RunFwLogCmd,
                               QzReturnFWLogHandlerCmdBuffer);
}

void PlatformControlCmdThreadProc(PVOID context)
{
    auto* adapter = static_cast<PMP_ADAPTER>(context);
    PlatformCmdQueueThreadLoop(adapter, &adapter->ControlCmdThread, &adapter->Cmd.ControlQueue, RunControlCmd,
                               QzReturnInternalCmdBuffer);
}

void IcsCmdThreadProc(PVOID context)
{
    auto* adapter = static_cast<PMP_ADAPTER>(context);
    PlatformCmdQueueThreadLoop(adapter, &adapter->IcsCmdThread, &adapter->Cmd.IcsQueue, RunControlCmd,
                               QzReturnIcsCmdBuffer);
}

// Deferred transmit-queue advances. This thread ends only when the stop-threads byte equals 1, and
// runs the advance even while the adapter stops.
void WINCXTxNetQueueThreadProc(PVOID context)
{
    auto* adapter = static_cast<PMP_ADAPTER>(context);
    PlatformSetThreadPriority();
    while (adapter->StopThreads.load() != 1) {
        (void)PlatformWaitEvent(&adapter->TxNetQueueThread.WakeEvent, 0);
        for (;;) {
            PTXQ_NET_BUFFER buffer = QzDequeueTXQNetQueue(&adapter->Cmd.TxqNetQueue);
            if (buffer == nullptr) {
                break;
            }
            if (buffer->TxQueue != nullptr) {
                TxNetQueueAdvance(buffer->TxQueue);
            } else {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_TX, "deferred advance without a queue dropped");
            }
            QzReturnTXQNetBuffer(adapter, buffer);
        }
    }
}

struct WorkerThread {
    PCSTR Name;
    PPLATFORM_THREAD (*Record)(PMP_ADAPTER adapter);
    PPLATFORM_THREAD_BODY Body;
};

PPLATFORM_THREAD P2pThreadOf(PMP_ADAPTER adapter)
{
    return adapter->P2pBlock != nullptr ? &adapter->P2pBlock->CmdThread : nullptr;
}

PPLATFORM_THREAD RxThreadOf(PMP_ADAPTER adapter, ULONG ring)
{
    return adapter->HifContext != nullptr ? &adapter->HifContext->RxThread[ring] : nullptr;
}

// The eleven worker threads in their order of creation.
const WorkerThread kWorkerThreads[] = {
    {"PlatformFWCmdThread", [](PMP_ADAPTER a) { return &a->FwCmdThread; }, PlatformFWCmdThreadProc},
    {"PlatformIntHandlerThread", [](PMP_ADAPTER a) { return &a->IntHandlerThread; }, PlatformIntHandlerThreadProc},
    {"PlatformFWIdxLogThread", [](PMP_ADAPTER a) { return &a->FwIdxLogThread; }, PlatformFWIdxLogThreadProc},
    {"PlatformControlCmdThread", [](PMP_ADAPTER a) { return &a->ControlCmdThread; }, PlatformControlCmdThreadProc},
    {"IcsCmdThread", [](PMP_ADAPTER a) { return &a->IcsCmdThread; }, IcsCmdThreadProc},
    {"P2PCmdThread", P2pThreadOf, P2PCmdThread},
    {"MlmeThread", [](PMP_ADAPTER a) { return &a->MlmeThread; }, MlmeThreadProc},
    {"WINCXTxNetQueueThread", [](PMP_ADAPTER a) { return &a->TxNetQueueThread; }, WINCXTxNetQueueThreadProc},
    {"RxThread0", [](PMP_ADAPTER a) { return RxThreadOf(a, 0); }, RxThreadProc0},
    {"RxThread1", [](PMP_ADAPTER a) { return RxThreadOf(a, 1); }, RxThreadProc1},
    {"RxThread2", [](PMP_ADAPTER a) { return RxThreadOf(a, 2); }, RxThreadProc2},
};

void StopThread(PMP_ADAPTER adapter, PPLATFORM_THREAD thread)
{
    PlatformCancelThread(adapter, thread);
    PlatformFreeThread(adapter, thread);
}

}  // namespace

NTSTATUS NdisCommonCreateAllThreads(PMP_ADAPTER adapter)
{
    for (const WorkerThread& worker : kWorkerThreads) {
        PPLATFORM_THREAD thread = worker.Record(adapter);
        if (thread == nullptr) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "no record for thread \"%s\"", worker.Name);
            return STATUS_UNSUCCESSFUL;
        }
        PlatformInitThread(adapter, adapter, thread, worker.Body, worker.Name);
        if (!NT_SUCCESS(PlatformRunThread(adapter, thread))) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "thread \"%s\" failed to start", worker.Name);
            return STATUS_UNSUCCESSFUL;
        }
    }
    adapter->StopThreads.store(0);
    return STATUS_SUCCESS;
}

void NdisCommonFreeAllThreads(PMP_ADAPTER adapter)
{
    adapter->StopThreads.store(1);
    for (ULONG i = 0; i < FW_CMD_SLOT_COUNT; ++i) {
        if (adapter->FwCmd.FwCmdSlots[i].InUse) {
            NdisCommonGenericDelay(50 * 1000);
        }
    }
    StopThread(adapter, &adapter->FwCmdThread);
    StopThread(adapter, &adapter->ControlCmdThread);
    StopThread(adapter, &adapter->IntHandlerThread);
    StopThread(adapter, &adapter->FwIdxLogThread);
    StopThread(adapter, &adapter->MlmeThread);
    for (ULONG i = 0; i < MP_MAX_PORTS; ++i) {
        PMP_PORT port = adapter->PortList[i];
        if (port == nullptr) {
            continue;
        }
        if (port->SendThread.RunState.load() == PLATFORM_THREAD_FREE) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_THREAD, "port %u has no send thread", static_cast<unsigned>(i));
            continue;
        }
        StopThread(adapter, &port->SendThread);
    }
    StopThread(adapter, &adapter->IcsCmdThread);
    StopThread(adapter, &adapter->TxNetQueueThread);
    if (adapter->P2pBlock != nullptr) {
        StopThread(adapter, &adapter->P2pBlock->CmdThread);
    }
    if (adapter->HifContext != nullptr) {
        for (ULONG ring = 0; ring < PCI_RX_RING_COUNT; ++ring) {
            StopThread(adapter, &adapter->HifContext->RxThread[ring]);
        }
    }
    StopThread(adapter, &adapter->SendAfterSerThread);
}

// ================================================================================================
// software control init
// ================================================================================================
NTSTATUS NdisCommonPortInitandCfg(PMP_ADAPTER adapter)
{
    PMP_PORT port = nullptr;
    NTSTATUS status = STATUS_SUCCESS;
    constexpr ULONG kAttempts = 3;
    for (ULONG attempt = 1; attempt <= kAttempts; ++attempt) {
        status = NdisCommonInitAllocPort(adapter, EXTSTA, 0, &port);
        if (NT_SUCCESS(status)) {
            break;
        }
        if (attempt == kAttempts) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "port 0 not allocated after %u attempts: 0x%08X",
                     static_cast<unsigned>(attempt), static_cast<unsigned>(status));
            return status;
        }
        // Give the pool 2 s before the next attempt.
        for (ULONG i = 0; i < 200000; ++i) {
            KeStallExecutionProcessor(10);
        }
    }
    port->PortNumber = 0;
    port->Adapter = adapter;
    ++adapter->PortCount;
    adapter->PortCountCompanion = 0;
    adapter->PortList[0] = port;
    if (adapter->P2pBlock != nullptr) {
        adapter->P2pBlock->StationPort = port;
    }
    status = NdisCommonInitPort(port);
    if (!NT_SUCCESS(status)) {
        // The port stays in the port array: the teardown frees it.
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "port 0 initialisation failed: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    NdisCommonInitPortUserCfg(port, 0);
    port->Created = 1;
    port->State = 0;
    return STATUS_SUCCESS;
}

NTSTATUS NdisCommonInitializeSWCtrl(PMP_ADAPTER adapter, PVOID unused)
{
    UNREFERENCED_PARAMETER(unused);
    cnmInitBssInfo(adapter);
    NTSTATUS status = NdisCommonPortInitandCfg(adapter);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "port 0 not created: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    (void)MlmeSyncInitMacTabPool(adapter);
    ScanNeighborAPInfoListInit(adapter, &adapter->NeighborApList);
    status = NdisCommonCreateAllThreads(adapter);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "worker threads not created: 0x%08X", static_cast<unsigned>(status));
    }
    return status;
}

// ================================================================================================
// spin-lock set
// ================================================================================================
namespace {

void InitPoolLocks(PINTERNAL_CMD_BLOCK cmd)
{
    PlatformAllocateSpinLock(&cmd->FwLogPool.Lock);
    PlatformAllocateSpinLock(&cmd->IcsPool.Lock);
    PlatformAllocateSpinLock(&cmd->IntHandlerPool.Lock);
    PlatformAllocateSpinLock(&cmd->InternalPool.Lock);
    PlatformAllocateSpinLock(&cmd->TxqNetPool.Lock);
    PlatformAllocateSpinLock(&cmd->ControlQueue.Lock);
    PlatformAllocateSpinLock(&cmd->IcsQueue.Lock);
    PlatformAllocateSpinLock(&cmd->IntHandlerQueue.Lock);
    PlatformAllocateSpinLock(&cmd->FwLogQueue.Lock);
    PlatformAllocateSpinLock(&cmd->TxqNetQueue.Lock);
}

void FreePoolLocks(PINTERNAL_CMD_BLOCK cmd)
{
    PlatformFreeSpinLock(&cmd->FwLogPool.Lock);
    PlatformFreeSpinLock(&cmd->IcsPool.Lock);
    PlatformFreeSpinLock(&cmd->IntHandlerPool.Lock);
    PlatformFreeSpinLock(&cmd->InternalPool.Lock);
    PlatformFreeSpinLock(&cmd->TxqNetPool.Lock);
    PlatformFreeSpinLock(&cmd->ControlQueue.Lock);
    PlatformFreeSpinLock(&cmd->IcsQueue.Lock);
    PlatformFreeSpinLock(&cmd->IntHandlerQueue.Lock);
    PlatformFreeSpinLock(&cmd->FwLogQueue.Lock);
    PlatformFreeSpinLock(&cmd->TxqNetQueue.Lock);
}

}  // namespace

void NdisCommonSpinLockInit(PMP_ADAPTER adapter)
{
    PlatformAllocateSpinLock(&adapter->Cmd.MsgPool.Lock);
    PlatformAllocateSpinLock(&adapter->FwCmd.FwCmdSlotLock);
    InitPoolLocks(&adapter->Cmd);
    NdisCommonHifAllocateSpinLock(adapter);
    if (adapter->P2pBlock != nullptr) {
        PlatformAllocateSpinLock(&adapter->P2pBlock->CmdQueue.Lock);
    }
    NdisInitializeReadWriteLock(&adapter->MacTabLock);
    PlatformAllocateSpinLock(&adapter->FlagLock);
}

void NdisCommonDeallocateAllSpinLock(PMP_ADAPTER adapter)
{
    PlatformFreeSpinLock(&adapter->Cmd.MsgPool.Lock);
    PlatformFreeSpinLock(&adapter->FwCmd.FwCmdSlotLock);
    FreePoolLocks(&adapter->Cmd);
    if (adapter->P2pBlock != nullptr) {
        PlatformFreeSpinLock(&adapter->P2pBlock->CmdQueue.Lock);
    }
    PlatformFreeSpinLock(&adapter->FlagLock);
}

// ================================================================================================
// port reset
// ================================================================================================
namespace {

ULONG NdisVersionOf(PMP_ADAPTER adapter)
{
    return adapter->CommonBlock != nullptr ? adapter->CommonBlock->NdisVersion : 0;
}

// Sends the disassociation (reason 8) of a connected port, then takes its link down and tells the OS.
void ResetConnectedPort(PMP_ADAPTER adapter, PMP_PORT port)
{
    UCHAR bssid[MAC_ADDR_LEN];
    PlatformMoveMemory(bssid, port->Bssid, sizeof(bssid));
    port->ResetProgress |= PORT_RESET_DISCONNECTING;
    PMLME_QUEUE_ELEM elem = nullptr;
    if (PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&elem), MLME_QUEUE_ELEM_SIZE, TAG_ZV19) ==
        STATUS_SUCCESS) {
        PlatformZeroMemory(elem, MLME_QUEUE_ELEM_SIZE);
        elem->Machine = MLME_ASSOC_STATE_MACHINE;
        elem->MsgType = MT2_MLME_DISASSOC_REQ;
        elem->PortIndex = port->PortNumber;
        MLME_DISASSOC_REQ_STRUCT request;
        PlatformMoveMemory(request.Addr, bssid, sizeof(request.Addr));
        request.Reason = REASON_DISASSOC_STA_LEAVING;
        PlatformMoveMemory(elem->Msg, &request, sizeof(request));
        elem->MsgLen = sizeof(request);
        (void)MlmeDisassocReqAction(adapter, elem);
        PlatformFreeMemory(elem, MLME_QUEUE_ELEM_SIZE);
        // Let the disassociation frame leave before the link goes down.
        for (ULONG i = 0; i < 2500; ++i) {
            KeStallExecutionProcessor(10);
        }
    } else {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "port %u: no element for the disassociation",
                 static_cast<unsigned>(port->PortNumber));
    }
    port->PendingCount = 0;
    port->ResetProgress |= PORT_RESET_DISASSOC_SENT;
    adapter->ResetDisconnectMark = 1;
    (void)MlmeCntLinkDown(port, 0);
    if (port->PortType == WFD_CLIENT ||
        (adapter->P2pBlock != nullptr && adapter->P2pBlock->State == P2P_I_AM_CLIENT_ASSOC_AUTH)) {
        (void)P2pGetClientWcid(adapter, port);
    }
    PlatformIndicateDisassociation(adapter, port, bssid, 9, 115);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "port %u disassociated from %02X:%02X:%02X:%02X:%02X:%02X",
             static_cast<unsigned>(port->PortNumber), bssid[0], bssid[1], bssid[2], bssid[3], bssid[4], bssid[5]);
}

// Ends a discovery the station's companion Wi-Fi Direct device port has pending.
void EndCompanionDiscovery(PMP_ADAPTER adapter, PMP_PORT port)
{
    PMP_PORT device = adapter->P2pBlock != nullptr ? adapter->P2pBlock->DevicePort : nullptr;
    if (device == nullptr || !device->Created || device->PortType != WFD_DEVICE ||
        (device->P2pState.DiscoveryFlags & P2P_DISCOVERY_PENDING) == 0) {
        return;
    }
    device->P2pState.StateValue = P2P_STATE_IDLE;
    P2pSetModeValue(adapter, device, 3);
    (void)P2pMsIndicateDiscoverComplete(adapter, device);
    device->P2pState.DiscoveryFlags &= ~P2P_DISCOVERY_PENDING;
    if (adapter->P2pBlock->State == P2P_I_AM_CLIENT_ASSOC_AUTH && port->P2pState.RoleIndex == 2) {
        port->Channel = port->SavedChannel;
    }
}

}  // namespace

void NdisCommonInfoResetHandler(PMP_PORT port)
{
    if (port == nullptr || port->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "reset without a port");
        return;
    }
    PMP_ADAPTER adapter = port->Adapter;
    ULONG ndisVersion = NdisVersionOf(adapter);
    port->ResetState = 1;
    adapter->ResetState = 1;

    if (port->ConnectionFlags & PORT_CONN_CONNECTED) {
        ResetConnectedPort(adapter, port);
    } else if (port->ConnectionFlags & PORT_CONN_CONNECTING) {
        (void)MlmeCntLinkDown(port, 0);
        if (ndisVersion < NDIS_VERSION_630) {
            static const UCHAR kZero[MAC_ADDR_LEN] = {};
            PlatformIndicateDisassociation(adapter, port, kZero, 7, 166);
        }
    }
    if (ndisVersion >= NDIS_VERSION_630) {
        (void)P2pMsInfoResetRequest(adapter, port);
    }

    PlatformZeroMemory(port->ConnectRequest, sizeof(port->ConnectRequest));
    (void)MlmeRestartStateMachine(adapter, port);

    if (port->PortNumber == 0) {
        adapter->OsScanPendingAtReset = AdapterTestFlags(adapter, ADAPTER_FLAG_OS_SCAN) ? 1 : 0;
        if (ndisVersion >= NDIS_VERSION_630) {
            EndCompanionDiscovery(adapter, port);
        }
    }

    port->ConnectionFlags &= ~PORT_CONN_RESET_CLEAR;
    if (port->SecurityState != 2) {
        port->KeyCount = 0;
        PlatformZeroMemory(port->KeyArea, sizeof(port->KeyArea));
    }
    if (port->State < 2) {
        PMP_PORT port0 = adapter->PortList[0];
        if (port0 != nullptr && (port0->ConnectionFlags & PORT_CONN_CONNECTED)) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "port 0 connected: keys of port %u kept",
                     static_cast<unsigned>(port->PortNumber));
        } else if (adapter->P2pBlock != nullptr && (adapter->P2pBlock->Flags & P2P_FLAG_GO_ACTIVE)) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "group owner active: keys of port %u kept",
                     static_cast<unsigned>(port->PortNumber));
        } else {
            (void)MlmeInfoWPARemoveAllKeys(adapter, port);
            port->KeyInstalled = 0;
        }
    }

    if (port->PortNumber != 0 &&
        (ndisVersion >= NDIS_VERSION_630 || (ndisVersion == NDIS_VERSION_620 && port->Created))) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "port %u reset ends here", static_cast<unsigned>(port->PortNumber));
        return;
    }

    adapter->ConnValueWord = 32;
    PlatformZeroMemory(adapter->ConnValues, sizeof(adapter->ConnValues));
    if (adapter->RoamingMark && adapter->PortList[0] != nullptr) {
        PlatformIndicateRoamingCompletion(adapter, adapter->PortList[0], 6);
    }
    if (port->PortType == EXTSTA) {
        PlatformZeroMemory(port->StaResetState, sizeof(port->StaResetState));
        for (PLATFORM_TIMER& timer : port->StaStateTimers) {
            UCHAR cancelled = FALSE;
            PlatformCancelTimer(&timer, &cancelled);
        }
        PlatformZeroMemory(adapter->StaStateBytes, sizeof(adapter->StaStateBytes));
    }
    if (port->PhyModeChangePending) {
        if (port->PhyModeOverride == 0) {
            (void)MlmeInfoSetPhyMode(adapter, port, port->PendingPhyMode, 1);
        }
        port->PhyModeChangePending = 0;
        port->PhyModeOverride = PORT_PHY_MODE_OVERRIDE_NONE;
    }
    adapter->ResetValues[0] = 0;
    adapter->ResetValues[1] = 0;
    port->ResetRequest = 0;
}

void NdisCommonResetAdapterCfg(PMP_ADAPTER adapter, PVOID unused, UCHAR keep)
{
    UNREFERENCED_PARAMETER(unused);
    STA_DEFAULT_CFG* cfg = &adapter->StaDefaults;
    cfg->DefaultMark = 1;
    cfg->Cleared = 0;
    cfg->SecurityDefault0 = 6;
    cfg->SecurityDefault1 = 2;
    cfg->Word = 0x100;
    cfg->ByteAfterWord = 0;
    if (!keep) {
        cfg->Value = 0;
    }
}

NTSTATUS NdisCommonReturnZero() { return STATUS_SUCCESS; }
