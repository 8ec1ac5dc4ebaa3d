// The transmit-stall watch: every second, at dispatch level in its own timer, it counts how long a port
// has had transmit packets pending and how long a transmit queue has not moved, asks for chip state
// dumps, returns stuck packets to the OS and switches the firmware's dynamic ICS logging while a queue
// stalls.
#include "Common/common.h"
#include "Common/fwsettings.h"
#include "Common/logevent.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeassoc_types.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kDumpFromSecond = 7;
constexpr UCHAR kAbortAtSecond = 14;
constexpr UCHAR kQueueDumpAbove = 14;
constexpr UCHAR kIcsOnAt = 10;
constexpr UCHAR kIcsOffAt = 20;
constexpr ULONG kEventLogTxHangCount = 0x40021770u;  // "Tx hang count"
constexpr ULONG kIcsNone = 0xFFFFFFFFu;

bool AnyPortConnected(PMP_ADAPTER adapter)
{
    for (PMP_PORT port : adapter->PortList) {
        if (port != nullptr && (port->ConnectionFlags & PORT_MEDIA_CONNECTED) != 0) {
            return true;
        }
    }
    return false;
}

void Post(PMP_ADAPTER adapter, ULONG cmd)
{
    // A command that cannot be posted is not retried: the counters go on.
    (void)QZEnqueueInternalCmd(adapter, adapter->PortList[0], cmd, nullptr, 0);
}

void WatchPorts(PMP_ADAPTER adapter, MLME_TX_STALL_BLOCK& watch)
{
    for (ULONG i = 0; i < MLME_TX_STALL_RECORDS; ++i) {
        MLME_TX_STALL_PORT& rec = watch.Ports[i];
        if (rec.PendingMarker == 0) {
            rec.Seconds = 0;
            continue;
        }
        if (rec.PendingMarker != 1) {
            ++rec.Seconds;
            continue;
        }
        if (rec.Seconds < kAbortAtSecond) {
            if (rec.Seconds >= kDumpFromSecond) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "port %u: transmit pending for %u s", static_cast<unsigned>(i),
                         static_cast<unsigned>(rec.Seconds));
                Post(adapter, INTERNAL_CMD_HOST_CSR_DUMP);
            }
            ++rec.Seconds;
            continue;
        }
        PlatformIndicateTxAbortPendingPacketsByPort(adapter, static_cast<USHORT>(i));
        ++rec.HangCount;
        rec.PendingMarker = 0;
        rec.Seconds = 0;
        const ULONG data = rec.HangCount + i * 0x10000u;
        (void)WriteSystemEventLog(adapter, kEventLogTxHangCount, 0, &data, static_cast<USHORT>(sizeof(data)));
    }
}

void IcsOff(PMP_ADAPTER adapter, MLME_TX_STALL_BLOCK& watch)
{
    Post(adapter, INTERNAL_CMD_DYNAMIC_ICS_OFF);
    watch.DynamicIcsOn = 0;
    watch.DynamicIcsQueue = kIcsNone;
}

void WatchQueues(PMP_ADAPTER adapter, MLME_TX_STALL_BLOCK& watch)
{
    const bool icsEnabled = adapter->RegistryBlock.dynamicICSEn != 0;
    if (!icsEnabled && watch.DynamicIcsOn) {
        IcsOff(adapter, watch);
    }
    for (ULONG i = 0; i < MLME_TX_STALL_RECORDS; ++i) {
        MLME_TX_STALL_QUEUE& q = watch.Queues[i];
        const bool startedIcs = icsEnabled && watch.DynamicIcsOn && watch.DynamicIcsQueue == i;
        if (q.CurrentCount != q.LastCount) {
            q.LastCount = q.CurrentCount;
            q.StallSeconds = 0;
            if (startedIcs) {
                IcsOff(adapter, watch);
            }
            continue;
        }
        if (!q.Active) {
            q.StallSeconds = 0;
            if (startedIcs) {
                IcsOff(adapter, watch);
            }
            continue;
        }
        if (q.StallSeconds < 0xFF) {
            ++q.StallSeconds;
        }
        if (q.StallSeconds > kQueueDumpAbove) {
            Post(adapter, INTERNAL_CMD_HOST_CSR_DUMP);
        }
        if (icsEnabled) {
            if (q.StallSeconds == kIcsOnAt && !watch.DynamicIcsOn) {
                Post(adapter, INTERNAL_CMD_DYNAMIC_ICS_ON);
                watch.DynamicIcsOn = 1;
                watch.DynamicIcsQueue = i;
            } else if (q.StallSeconds == kIcsOffAt && startedIcs) {
                IcsOff(adapter, watch);
            }
        }
    }
}

}  // namespace

VOID MlmeTxHangPeriodicExecDispatchLevel(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        return;
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS | ADAPTER_FLAG_NOT_RESPONDING |
                                      ADAPTER_FLAG_SURPRISE_REMOVED) ||
        !AnyPortConnected(adapter)) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "transmit-stall watch skipped");
        return;
    }
    MLME_TX_STALL_BLOCK& watch = adapter->Mlme.TxStall;
    if (adapter->RegistryBlock.txStallDetect != 0) {
        WatchPorts(adapter, watch);
    }
    if (adapter->RegistryBlock.pktPendingDetect != 0) {
        WatchQueues(adapter, watch);
    }
}

VOID MlmeTxHangPeriodicExecTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                         PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    PMP_ADAPTER adapter = port != nullptr ? port->Adapter : nullptr;
    if (adapter == nullptr) {
        return;
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "transmit-stall timer while halting or removed");
        return;
    }
    MlmeTxHangPeriodicExecDispatchLevel(adapter);
}

// ================================================================================================
// the radio-switch poll
// ================================================================================================
namespace {

// A poll timer's work runs on the control thread: its command is posted there unless the adapter halts
// or is gone.
VOID PostFromTimer(PMP_PORT port, ULONG command)
{
    PMP_ADAPTER adapter = port != nullptr ? port->Adapter : nullptr;
    if (adapter == nullptr || AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    (void)QZEnqueueInternalCmd(adapter, port, command, nullptr, 0);
}

}  // namespace

VOID MlmeRadioPeriodicExecTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                        PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    PostFromTimer(port, INTERNAL_CMD_RADIO_PERIODIC);
}

NTSTATUS MlmeRadioPeriodicExecPassivLevel(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    PLATFORM_TIMER& timer = adapter->Mlme.Periodic.RadioTimer;
    const ULONG interval = adapter->RegistryBlock.EthernetDetectionInterval;
    if (adapter->RegistryBlock.EthernetDetection != 0 && adapter->Running == 1 && port->Powered != 0 &&
        adapter->Mlme.Scan.RfTestMode == 0) {
        const NTSTATUS status = QzCmdQueryCurrentRadioStatus(adapter, 1);
        if (status != STATUS_SUCCESS) {
            // The poll stops until its timer is armed again.
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "radio-switch query failed (0x%08X): the poll stops",
                     static_cast<unsigned>(status));
            return status;
        }
    }
    return timer.Initialized ? PlatformSetTimer(port, &timer, interval) : STATUS_SUCCESS;
}

// ================================================================================================
// the ping power pacing
// ================================================================================================
namespace {

constexpr UCHAR kPaceOff = 0;
constexpr UCHAR kPaceAwake = 1;
constexpr UCHAR kPaceSleep = 2;
constexpr ULONG kPacePeriodMs = 1000;
constexpr ULONG kPaceWakeDefault = 30;
constexpr LONGLONG kPaceMaxAge = 20000000;  // 2 s in 100 ns

void PaceArm(PMP_ADAPTER adapter, PMP_PORT port, ULONG ms)
{
    PLATFORM_TIMER& timer = adapter->Mlme.Periodic.PowerConsumptionTimer;
    if (timer.Initialized) {
        (void)PlatformSetTimer(port, &timer, ms);
    }
}

// The driver takes the chip and gives it back to the firmware's low-power ownership.
void PaceOwnership(PMP_ADAPTER adapter)
{
    (void)NdisCommonHifPmSetDriverOwn(adapter);
    (void)NdisCommonHifPmSetFwOwn(adapter, 0);
}

}  // namespace

VOID MlmePowerConsumptionCtrlTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                           PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    PostFromTimer(port, INTERNAL_CMD_POWER_CONSUMPTION);
}

VOID MlmePowerConsumptionEnd(PMP_ADAPTER adapter)
{
    PlatformCancelTimer(&adapter->Mlme.Periodic.PowerConsumptionTimer, nullptr);
    adapter->Xmit.PowerConsumptionPeriod = kPaceOff;
}

NTSTATUS MlmePowerConsumptionCtrl(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (adapter->LowPower.LowPowerMode == 0) {
        return STATUS_SUCCESS;
    }
    UCHAR& state = adapter->Xmit.PowerConsumptionPeriod;
    if (port->PortType != EXTSTA || (port->ConnectionFlags & PORT_MEDIA_CONNECTED) == 0 ||
        adapter->Mlme.Periodic.PowerSaveMode != 1) {
        state = kPaceOff;
        return STATUS_SUCCESS;
    }
    ULONG wake = adapter->RegistryBlock.PingWakeTime;
    if (wake > kPacePeriodMs) {
        wake = kPaceWakeDefault;
    }
    const ULONG sleep = kPacePeriodMs - wake;
    switch (state) {
    case kPaceOff:
        state = kPaceAwake;
        PaceArm(adapter, port, wake);
        PaceOwnership(adapter);
        break;
    case kPaceAwake: {
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        const LONGLONG age = now.QuadPart - static_cast<LONGLONG>(adapter->Xmit.LastEchoRequestTime);
        const ULONG elapsedMs = age <= 0 ? 0 : static_cast<ULONG>(age / 10000 > 0xFFFFFFFF ? 0xFFFFFFFF : age / 10000);
        if (elapsedMs <= sleep) {
            state = kPaceSleep;
            PaceArm(adapter, port, sleep - elapsedMs);
        } else if (age < kPaceMaxAge) {
            PaceArm(adapter, port, 2 * wake);
            PaceOwnership(adapter);
        } else {
            state = kPaceOff;
        }
        break;
    }
    default:
        state = kPaceAwake;
        PaceArm(adapter, port, 2 * wake);
        PaceOwnership(adapter);
        break;
    }
    return STATUS_SUCCESS;
}
