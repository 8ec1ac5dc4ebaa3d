// The device's power life: D0 entry and exit, the first power-up's bring-up and capability report,
// the move between D0 and a low-power state, wake arming, surprise removal, and the DMA enabler of the
// adapter block.
#include "platform/wificx/wificxmain.h"

#include "Common/common.h"
#include "Common/fwsettings.h"
#include "Common/nic_uni_cmd_direct.h"
#include "Common/logevent.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "hal/common/hal_chip.h"
#include "hal/common/hal_services.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/ndiscommon/trace.h"


namespace {

void LocalNow(PLARGE_INTEGER local)
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    ExSystemTimeToLocalTime(&now, local);
}

// Undoes a resume's leftovers of the sleep: flags, tables, reorder sessions, MLME queue, counters.
void ResumeSoftware(PMP_ADAPTER adapter)
{
    AdapterSetFlag(adapter, ADAPTER_FLAG_LOW_POWER_RETURN, __func__);
    PMP_PORT port0 = adapter->PortList[0];
    if (port0 != nullptr) {
        PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedBssid(port0, port0->Bssid);
        if (entry != nullptr) {
            PlatformZeroMemory(entry->RxUnicastPn, sizeof(entry->RxUnicastPn));
            PlatformZeroMemory(entry->RxGroupPn, sizeof(entry->RxGroupPn));
        }
        if (!adapter->Wake.WowArmed && port0->LowPowerMarker) {
            port0->PowerSaveByte = port0->SavedPowerSaveByte;
            port0->SavedPowerValue = 0;
        }
    }
    BssTableInit(adapter->ScanTable);
    MlmeResetRepositTable(adapter);
    if (port0 != nullptr) {
        for (ULONG i = 0; i < REORDER_SESSION_COUNT; ++i) {
            adapter->ReorderQueueInUse[i] = 0;
            REORDER_SESSION& session = port0->ReorderSessions[i];
            KIRQL oldIrql;
            KeAcquireSpinLock(&session.Lock, &oldIrql);
            session.Indicating = 0;
            if (session.State == REORDER_SESSION_ACTIVE) {
                session.FlushPending = 1;
            }
            KeReleaseSpinLock(&session.Lock, oldIrql);
        }
    }
    MlmeQueueInit(adapter->MlmeQueue);
    AdapterClearFlag(adapter, ADAPTER_FLAG_MLME_RESTARTING, __func__);
    AdapterClearFlag(adapter, ADAPTER_FLAG_NOT_RESPONDING, __func__);
    AdapterClearFlag(adapter, ADAPTER_FLAG_PCI_SUSPENDED, __func__);
    AdapterClearFlag(adapter, ADAPTER_FLAG_RESUME_CLEAR, __func__);
    adapter->PowerUpCounters[0] = 0;
    adapter->PowerUpCounters[1] = 0;
    if (port0 != nullptr) {
        port0->PowerUpCounter = 0;
    }
}

// Reports the capabilities in their order; the first failure's status (0 when all went through).
NTSTATUS ReportCapabilities(WDFDEVICE device, PMP_ADAPTER adapter)
{
    QZCxInitWiFiCapabilities(device);
    struct Setter {
        PCSTR Name;
        NTSTATUS (*Call)(WDFDEVICE);
    };
    const Setter setters[] = {
        {"device", QZCxSetDeviceCapabilites},
        {"station", QZCxSetStationCapabilities},
        {"band", QZCxSetBandCapabilities},
        {"PHY", QZCxSetPhyCapabilities},
        {"Wi-Fi Direct", QZCxSetWiFiDirectCapabilities},
    };
    for (const Setter& setter : setters) {
        if (setter.Call == QZCxSetWiFiDirectCapabilities &&
            (adapter->RegistryBlock.Hlk_feature_optional & HLK_FEATURE_WIFI_DIRECT) == 0) {
            continue;
        }
        NTSTATUS status = setter.Call(device);
        if (status != STATUS_SUCCESS) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_POWER, "%s capabilities not reported: 0x%08X", setter.Name,
                     static_cast<unsigned>(status));
            return status;
        }
    }
    return STATUS_SUCCESS;
}

void SwitchLedsOn(PMP_ADAPTER adapter)
{
    const PMP_PORT port0 = adapter->PortList[0];
    UCHAR connected = 1;
    UCHAR wide = port0 != nullptr && port0->Channel.Bandwidth == BW_320 ? 1 : 0;
    if (port0 != nullptr && (port0->StatusFlags & 0x2) != 0) {
        connected = 0;
        wide = 0;
    }
    QZCxLedOn(adapter, connected, wide);
}

void ArmRxResumeTimer(PMP_ADAPTER adapter, ULONG ms)
{
    PMP_PORT port0 = adapter->PortList[0];
    if (port0 == nullptr || !NT_SUCCESS(PlatformSetTimer(port0, &adapter->Wake.WowRxResumeTimer, ms))) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_POWER, "receive-ring resume timer not armed");
    }
}

UCHAR LoadOwnState(PMP_ADAPTER adapter) { return __atomic_load_n(&adapter->LowPower.FwOwn[0], __ATOMIC_ACQUIRE); }

// The chip goes to the firmware at a D0 exit; the hand-over is retried while the chip does not take it.
void GiveChipToFirmware(PMP_ADAPTER adapter)
{
    __atomic_store_n(&adapter->LowPower.FwOwn[1], static_cast<UCHAR>(1), __ATOMIC_RELEASE);
    (void)NdisCommonHifPmSetFwOwn(adapter, 0);
    bool sawOwn = false;
    ULONG pass = 0;
    for (; pass < D0_EXIT_FW_OWN_PASSES; ++pass) {
        const bool busy = __atomic_load_n(&adapter->LowPower.OwnCallBalance, __ATOMIC_ACQUIRE) != 0 || LoadOwnState(adapter) != 1;
        if (!busy && !sawOwn) {
            break;
        }
        (void)NdisCommonHifPmSetDriverOwn(adapter);
        sawOwn = LoadOwnState(adapter) != 0;
        NdisCommonGenericDelay(1000);
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
    }
    if (pass == D0_EXIT_FW_OWN_PASSES) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_POWER, "D0 exit: the chip did not go to the firmware after %u passes",
                 static_cast<unsigned>(pass));
    }
}

}  // namespace

// ================================================================================================
// D0 entry
// ================================================================================================
NTSTATUS EvtDeviceD0Entry(WDFDEVICE device, WDF_POWER_DEVICE_STATE previousState)
{
    PMP_ADAPTER adapter = QZCxGetAdapter(device);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "D0 entry from %s", QZCxPowerStateName(previousState));
    NTSTATUS status = STATUS_SUCCESS;
    if (previousState == WdfPowerDeviceD3Final) {
        __atomic_store_n(&adapter->LowPower.FwOwn[0], static_cast<UCHAR>(1), __ATOMIC_RELEASE);
        if (!NT_SUCCESS(NdisCommonHifPmSetDriverOwn(adapter))) {
            status = STATUS_UNSUCCESSFUL;
        }
        adapter->Switches.FirstPowerUp = TRUE;
    } else {
        ResumeSoftware(adapter);
        if (adapter->LowPower.LowPowerMode) {
            if (LoadOwnState(adapter) == 0 || __atomic_load_n(&adapter->LowPower.OwnCallBalance, __ATOMIC_ACQUIRE) != 0) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_POWER, "resume: own state %u, driver-own count %d",
                         static_cast<unsigned>(LoadOwnState(adapter)),
                         static_cast<int>(__atomic_load_n(&adapter->LowPower.OwnCallBalance, __ATOMIC_ACQUIRE)));
                __atomic_store_n(&adapter->LowPower.FwOwn[0], static_cast<UCHAR>(1), __ATOMIC_RELEASE);
                __atomic_store_n(&adapter->LowPower.OwnCallBalance, 0, __ATOMIC_RELEASE);
            }
            if (!NT_SUCCESS(NdisCommonHifPmSetDriverOwn(adapter))) {
                status = STATUS_UNSUCCESSFUL;
            }
        }
    }
    (void)HalCallOptional(adapter->HalOps.D0EntryRegSetup, adapter);
    (void)HalCallOptional(adapter->HalOps.AutoDetectL1ssCap, adapter);
    adapter->PowerUpFailed = status == STATUS_UNSUCCESSFUL && previousState == WdfPowerDeviceD3 ? 1 : 0;
    return status;
}

NTSTATUS EvtDeviceD0EntryPostInterruptsEnabled(WDFDEVICE device, WDF_POWER_DEVICE_STATE previousState)
{
    PMP_ADAPTER adapter = device != nullptr ? QZCxGetAdapter(device) : nullptr;
    if (adapter == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    NTSTATUS status;
    WDF_POWER_DEVICE_STATE recorded;
    if (previousState == WdfPowerDeviceD3Final) {
        adapter->CurrentPowerState = 1;
        status = NdisWdiInitFwHwSw(adapter);
        if (!NT_SUCCESS(status)) {
            recorded = WdfPowerDeviceD3Final;
        } else {
            adapter->NicShutDown = 0;
            adapter->ShutdownNotified = 0;
            adapter->StartCounter = 0;
            adapter->NicStarted = 1;
            (void)NdisCommonInitCheckMacAddress(adapter);
            adapter->NeighborReportCount = 0;
            PlatformZeroMemory(adapter->NeighborReport, sizeof(adapter->NeighborReport));
            status = ReportCapabilities(device, adapter);
            if (status != STATUS_SUCCESS) {
                QZCxShutdownNic(adapter);
                recorded = NT_SUCCESS(status) ? WdfPowerDeviceD0 : WdfPowerDeviceD3Final;
            } else {
                recorded = WdfPowerDeviceD0;
            }
        }
    } else {
        status = QZCxSetPowerState(adapter, 1);
        if (!NT_SUCCESS(status)) {
            adapter->PowerUpFailed = 1;
            (void)NdisCommonHifDisableInterrupt(adapter->HifContext);
            recorded = WdfPowerDeviceD3;
        } else {
            recorded = WdfPowerDeviceD0;
        }
    }
    (void)Ndis6CommonSetRegistryPowerState(adapter, recorded);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "D0 entry after interrupts (from %s): 0x%08X",
             QZCxPowerStateName(previousState), static_cast<unsigned>(status));
    return status;
}

// ================================================================================================
// D0 exit
// ================================================================================================
NTSTATUS EvtDeviceD0ExitPreInterruptsDisabled(WDFDEVICE device, WDF_POWER_DEVICE_STATE targetState)
{
    PMP_ADAPTER adapter = QZCxGetAdapter(device);
    // Prepare-for-hibernation is refused by the writer: nothing is recorded for it.
    (void)Ndis6CommonSetRegistryPowerState(adapter, targetState);
    switch (targetState) {
    case WdfPowerDeviceD1:
    case WdfPowerDeviceD2:
    case WdfPowerDeviceD3:
        return QZCxSetPowerState(adapter, static_cast<ULONG>(targetState));
    case WdfPowerDeviceD3Final:
        QZCxShutdownNic(adapter);
        return STATUS_SUCCESS;
    case WdfPowerDevicePrepareForHibernation:
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "D0 exit towards hibernation: nothing to do");
        return STATUS_SUCCESS;
    default:
        return STATUS_SUCCESS;
    }
}

NTSTATUS EvtDeviceD0Exit(WDFDEVICE device, WDF_POWER_DEVICE_STATE targetState)
{
    PMP_ADAPTER adapter = QZCxGetAdapter(device);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "D0 exit to %s", QZCxPowerStateName(targetState));
    if (targetState != WdfPowerDeviceD3Final) {
        if (adapter->RegistryBlock.FWIndexLogCheck) {
            QZCxDrainFwLogCmdQueue(adapter);
            (void)fwLogMmioHandler();
        }
        if (adapter->LowPower.LowPowerMode) {
            GiveChipToFirmware(adapter);
        }
        return STATUS_SUCCESS;
    }
    if (adapter->Switches.FirstPowerUp) {
        const USHORT deInitLp = adapter->RegistryBlock.DeInitLP;
        if (deInitLp != 0 && !AdapterTestFlags(adapter, ADAPTER_FLAG_SURPRISE_REMOVED) &&
            (adapter->ShutdownNotified || deInitLp == 2)) {
            __atomic_store_n(&adapter->LowPower.FwOwn[1], static_cast<UCHAR>(1), __ATOMIC_RELEASE);
            (void)NdisCommonHifPmSetFwOwn(adapter, 0);
        }
        adapter->Switches.FirstPowerUp = FALSE;
    }
    return STATUS_SUCCESS;
}

// ================================================================================================
// power state, shutdown, surprise removal
// ================================================================================================
NTSTATUS QZCxSetPowerState(PMP_ADAPTER adapter, ULONG state)
{
    if (state < 1 || state > 4) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_POWER, "power state %u refused", static_cast<unsigned>(state));
        return STATUS_QZL_POWER_STATE_REFUSED;
    }
    if (state == adapter->CurrentPowerState) {
        return STATUS_SUCCESS;
    }
    PMP_PORT port0 = adapter->PortList[0];
    NTSTATUS status;
    if (state == 1) {
        LocalNow(&adapter->LowPower.LastD0Time);
        adapter->LowPower.LowPowerCountdownActive = 0;
        status = NdisCommonHifSetPowerbyPortWOWLan(port0, 1);
        if (status != STATUS_SUCCESS) {
            AdapterClearFlag(adapter, ADAPTER_FLAG_LOW_POWER_RETURN, __func__);
        }
        if ((adapter->RegistryBlock.Hlk_feature_optional & HLK_FEATURE_RX_RESUME_TIMER) != 0) {
            ArmRxResumeTimer(adapter, 0);
            NdisCommonGenericDelay(30 * 1000);
        }
        SwitchLedsOn(adapter);
        if (AdapterTestFlags(adapter, ADAPTER_FLAG_LOW_POWER_RETURN)) {
            ArmRxResumeTimer(adapter, 1);
        }
        return status;
    }
    // Wake is armed only with both something to wake on and something to answer; a sleep without
    // them does not keep the arming of an earlier one.
    adapter->Wake.WowArmed = adapter->Wake.WowPatternCount != 0 && adapter->Wake.WowOffloadCount != 0 ? 1 : 0;
    if (!adapter->Wake.WowArmed) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "low power without wake-on-WLAN (%u patterns, %u offloads)",
                 static_cast<unsigned>(adapter->Wake.WowPatternCount), static_cast<unsigned>(adapter->Wake.WowOffloadCount));
    }
    QZCxLedOff(adapter);
    adapter->LowPower.LowPowerCountdownActive = 1;
    adapter->LowPower.LowPowerCountdown = LOW_POWER_COUNTDOWN_TICKS;
    LocalNow(&adapter->LowPower.LastLowPowerTime);
    status = NdisCommonHifSetPowerbyPortWOWLan(port0, state);
    return status;
}

VOID QZCxShutdownNic(PMP_ADAPTER adapter)
{
    // The framework's D0 exit towards D3Final follows a surprise removal that already shut the NIC
    // down: the teardown runs once.
    if (adapter->NicShutDown) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "the NIC is already shut down");
        return;
    }
    adapter->NicShutDown = 1;
    (void)DeInitStopIcs(adapter);
    adapter->NicStarted = 0;
}

VOID QZCxLedOn(PMP_ADAPTER adapter, UCHAR connected, UCHAR wide)
{
    switch (adapter->RegistryBlock.OemLedMode) {
    case 1:
        (void)nicUniCmdLedGpioEnable(adapter, 1);
        (void)nicUniCmdLedGpioLedCtrl(adapter, adapter->DualBand);
        break;
    case 2:
        (void)nicUniCmdRODuduGpioEnable(adapter, 1);
        (void)nicUniCmdRODuduGpioLedCtrl(adapter, connected, adapter->DualBand, wide);
        break;
    default:
        break;
    }
}

VOID QZCxLedOff(PMP_ADAPTER adapter)
{
    switch (adapter->RegistryBlock.OemLedMode) {
    case 1:
        (void)nicUniCmdLedGpioLedCtrl(adapter, 0);
        break;
    case 2:
        (void)nicUniCmdRODuduGpioLedCtrl(adapter, 0, 0, 0);
        break;
    default:
        break;
    }
}

VOID QZCxDrainFwLogCmdQueue(PMP_ADAPTER adapter)
{
    for (PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(&adapter->Cmd.FwLogQueue); cmd != nullptr;
         cmd = QzDequeueCmdQueueLocked(&adapter->Cmd.FwLogQueue)) {
        QzReturnFWLogHandlerCmdBuffer(adapter, cmd);
    }
}

VOID EvtDeviceEvtSurpriseRemoval(WDFDEVICE device)
{
    PMP_ADAPTER adapter = QZCxGetAdapter(device);
    (void)WriteSystemEventLog(adapter, EVENT_LOG_SURPRISE_REMOVE, 0, nullptr, 0);
    SurpriseRemovedHandler(adapter);
}

// ================================================================================================
// wake
// ================================================================================================
NTSTATUS EvtDeviceArmWakeFromS0(WDFDEVICE device)
{
    (void)QZCxAddWowWakeupPattern(device);
    (void)QZCxAddWowOffloadProtocol(device);
    return STATUS_SUCCESS;
}

NTSTATUS EvtDeviceArmWakeFromSx(WDFDEVICE device) { return EvtDeviceArmWakeFromS0(device); }

VOID EvtDeviceDisarmWakeFromS0(WDFDEVICE device)
{
    PMP_ADAPTER adapter = QZCxGetAdapter(device);
    QZCxIndicateWowWakeReasonToNetAdapterCx(adapter, adapter->PortList[0]);
    QZCxRemoveWowWakeupPattern(adapter);
    QZCxRemoveWowOffloadProtocol(adapter);
}

VOID EvtDeviceDisarmWakeFromSx(WDFDEVICE device) { EvtDeviceDisarmWakeFromS0(device); }

VOID EvtDeviceWakeFromS0Triggered(WDFDEVICE device)
{
    UNREFERENCED_PARAMETER(device);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "wake from S0 triggered");
}

VOID EvtDeviceWakeFromSxTriggered(WDFDEVICE device)
{
    UNREFERENCED_PARAMETER(device);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "wake from Sx triggered");
}

// ================================================================================================
// the DMA enabler of the adapter block
// ================================================================================================
NTSTATUS QZCxInitWdfDma(PMP_ADAPTER adapter)
{
    WdfDeviceSetAlignmentRequirement(adapter->Device, QZL_DMA_ALIGNMENT);
    const USHORT id = adapter->DeviceId;
    const bool extended = adapter->RegistryBlock.DMAExtension && HalDeviceHasFact(id, CHIP_FACT_DMA_EXTENSION);
    WDF_DMA_ENABLER_CONFIG config;
    WDF_DMA_ENABLER_CONFIG_INIT(&config, extended ? WdfDmaProfileScatterGather64 : WdfDmaProfileScatterGather,
                                QZL_DMA_MAX_LENGTH);
    config.AddressWidthOverride = extended ? QZL_DMA_EXTENDED_WIDTH : 32;
    config.WdmDmaVersionOverride = 3;
    config.Flags = 2;
    NTSTATUS status = WdfDmaEnablerCreate(adapter->Device, &config, WDF_NO_OBJECT_ATTRIBUTES, &adapter->DmaEnabler);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "DMA enabler not created: 0x%08X", static_cast<unsigned>(status));
        adapter->DmaEnabler = nullptr;
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_INIT, "DMA: %u-bit addresses, fragments %u/%u bytes, maximum %u",
             static_cast<unsigned>(config.AddressWidthOverride),
             static_cast<unsigned>(WdfDmaEnablerGetFragmentLength(adapter->DmaEnabler, WdfDmaDirectionReadFromDevice)),
             static_cast<unsigned>(WdfDmaEnablerGetFragmentLength(adapter->DmaEnabler, WdfDmaDirectionWriteToDevice)),
             static_cast<unsigned>(WdfDmaEnablerGetMaximumLength(adapter->DmaEnabler)));
    WdfDmaEnablerSetMaximumScatterGatherElements(adapter->DmaEnabler, 2);
    return STATUS_SUCCESS;
}

// ================================================================================================
// services of the WDI intake, the capability report and the wake patterns
// ================================================================================================
NTSTATUS QZCxSetWakeUpCapabilities(NETADAPTER netAdapter)
{
    UNREFERENCED_PARAMETER(netAdapter);
    return NOT_BUILT_YET();
}

NTSTATUS QZCxSetOffloadCapabilities(NETADAPTER netAdapter)
{
    UNREFERENCED_PARAMETER(netAdapter);
    return NOT_BUILT_YET();
}

NTSTATUS QZCxAddWowWakeupPattern(WDFDEVICE device)
{
    UNREFERENCED_PARAMETER(device);
    return NOT_BUILT_YET();
}

NTSTATUS QZCxAddWowOffloadProtocol(WDFDEVICE device)
{
    UNREFERENCED_PARAMETER(device);
    return NOT_BUILT_YET();
}

VOID QZCxRemoveWowWakeupPattern(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

VOID QZCxRemoveWowOffloadProtocol(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

VOID QZCxIndicateWowWakeReasonToNetAdapterCx(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
}
