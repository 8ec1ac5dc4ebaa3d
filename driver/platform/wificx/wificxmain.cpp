// The framework side of the driver: device add, unload and clean-up, the control device, and the
// PnP, power, power-policy and WiFiCx entry points the device registers.
#include "platform/wificx/wificxmain.h"

#include "Common/cnm.h"
#include "Common/logevent.h"
#include "Common/mlme/mlmesync.h"
#include "kshim/netadapter.h"
#include "kshim/rtl.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

UCHAR g_EnableSystemEventLog;
WDFDEVICE g_ControlDevice;

namespace {

// Names of the framework's device power states, for traces.
const PCSTR kPowerStateNames[] = {
    "Invalid", "D0", "D1", "D2", "D3", "D3Final", "PowerDevicePrepareForHibernation", "PowerDeviceMaximum",
};

DECLARE_CONST_UNICODE_STRING(kControlDeviceName, u"\\Device\\QZLWLAN");
DECLARE_CONST_UNICODE_STRING(kControlDeviceLink, u"\\DosDevices\\QZLWLAN");
DECLARE_CONST_UNICODE_STRING(kControlDeviceSddl, u"D:P(A;;GA;;;SY)(A;;GRGWGX;;;BA)(A;;GRGW;;;WD)(A;;GR;;;RC)");

}  // namespace

PCSTR QZCxPowerStateName(WDF_POWER_DEVICE_STATE state)
{
    ULONG index = static_cast<ULONG>(state);
    return index < sizeof(kPowerStateNames) / sizeof(kPowerStateNames[0]) ? kPowerStateNames[index]
                                                                          : "UnKnownPowerState";
}

// ================================================================================================
// device add
// ================================================================================================
namespace {

// Device add after the device exists: WiFiCx, the WDI peer version, power capabilities and policy,
// the wake-support event-log entry and the control device.
NTSTATUS InitializeNewDevice(WDFDEVICE device, PMP_ADAPTER adapter)
{
    WIFI_DEVICE_CONFIG wifi;
    WIFI_DEVICE_CONFIG_INIT(&wifi, QZL_WDI_VERSION, EvtWiFiDeviceSendCommand, EvtWiFiDeviceCreateAdapter,
                            EvtWiFiDeviceCreateDirectDevice);
    NTSTATUS status = WifiDeviceInitialize(device, &wifi);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "device add step 7 (WifiDeviceInitialize) failed: 0x%08X",
                 static_cast<unsigned>(status));
        return status;
    }

    PlatformZeroMemory(&adapter->TlvContext, sizeof(adapter->TlvContext));
    adapter->TlvContext.PeerVersion = WifiDeviceGetOsWdiVersion(device);

    WDF_DEVICE_POWER_CAPABILITIES caps;
    WDF_DEVICE_POWER_CAPABILITIES_INIT(&caps);
    caps.DeviceD1 = WdfFalse;
    caps.DeviceD2 = WdfFalse;
    caps.WakeFromD0 = WdfTrue;
    caps.WakeFromD1 = WdfTrue;
    caps.WakeFromD2 = WdfTrue;
    caps.WakeFromD3 = WdfTrue;
    caps.DeviceState[PowerSystemUnspecified] = PowerDeviceUnspecified;
    caps.DeviceState[PowerSystemWorking] = PowerDeviceD0;
    caps.DeviceState[PowerSystemSleeping1] = PowerDeviceD3;
    caps.DeviceState[PowerSystemSleeping2] = PowerDeviceD3;
    caps.DeviceState[PowerSystemSleeping3] = PowerDeviceD3;
    caps.DeviceState[PowerSystemHibernate] = PowerDeviceD3;
    caps.DeviceState[PowerSystemShutdown] = PowerDeviceMaximum;
    caps.DeviceWake = PowerDeviceD3;
    caps.SystemWake = PowerSystemSleeping3;
    caps.D1Latency = 0xFFFFFFFFu;
    caps.D2Latency = 0xFFFFFFFFu;
    caps.D3Latency = 0xFFFFFFFFu;
    caps.IdealDxStateForSx = PowerDeviceD3;
    (void)WdfDeviceSetPowerCapabilities(device, &caps);

    WDF_DEVICE_POWER_POLICY_WAKE_SETTINGS wake;
    WDF_DEVICE_POWER_POLICY_WAKE_SETTINGS_INIT(&wake);
    wake.DxState = PowerDeviceD3;
    wake.UserControlOfWakeSettings = WakeAllowUserControl;
    wake.Enabled = WdfUseDefault;
    wake.ArmForWakeIfChildrenAreArmedForWake = TRUE;
    wake.IndicateChildWakeOnParentWake = TRUE;
    status = WdfDeviceAssignSxWakeSettings(device, &wake);
    if (NT_SUCCESS(status)) {
        adapter->WakeFromSxSupported = 1;
    } else if (status != STATUS_POWER_STATE_INVALID) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "device add step 10 (Sx wake settings) failed: 0x%08X",
                 static_cast<unsigned>(status));
        return status;
    }

    WDF_DEVICE_POWER_POLICY_IDLE_SETTINGS idle;
    WDF_DEVICE_POWER_POLICY_IDLE_SETTINGS_INIT(&idle, IdleCanWakeFromS0);
    idle.DxState = PowerDeviceMaximum;
    idle.IdleTimeout = QZL_S0_IDLE_TIMEOUT_MS;
    idle.UserControlOfIdleSettings = IdleAllowUserControl;
    idle.Enabled = WdfUseDefault;
    idle.PowerUpIdleDeviceOnSystemWake = WdfUseDefault;
    idle.ExcludeD3Cold = WdfUseDefault;
    idle.IdleTimeoutType = SystemManagedIdleTimeoutWithHint;
    status = WdfDeviceAssignS0IdleSettings(device, &idle);
    if (NT_SUCCESS(status)) {
        adapter->S0IdleSupported = 1;
    } else if (status != STATUS_POWER_STATE_INVALID) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "device add step 11 (S0 idle settings) failed: 0x%08X",
                 static_cast<unsigned>(status));
        return status;
    }

    const UCHAR support[2] = {adapter->WakeFromSxSupported, adapter->S0IdleSupported};
    (void)WriteSystemEventLog(adapter, EVENT_LOG_WAKE_SUPPORT, 0, support, sizeof(support));

    status = QZCxCreateControlDevice(device);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "device add step 13 (control device) failed: 0x%08X",
                 static_cast<unsigned>(status));
    }
    return status;
}

}  // namespace

NTSTATUS EvtDriverDeviceAdd(WDFDRIVER driver, PWDFDEVICE_INIT deviceInit)
{
    UNREFERENCED_PARAMETER(driver);
    NTSTATUS status = NetDeviceInitConfig(deviceInit);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "device add step 1 (NetDeviceInitConfig) failed: 0x%08X",
                 static_cast<unsigned>(status));
        return status;
    }
    status = WifiDeviceInitConfig(deviceInit);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "device add step 2 (WifiDeviceInitConfig) failed: 0x%08X",
                 static_cast<unsigned>(status));
        return status;
    }

    WDF_PNPPOWER_EVENT_CALLBACKS pnp;
    WDF_PNPPOWER_EVENT_CALLBACKS_INIT(&pnp);
    pnp.EvtDeviceD0Entry = EvtDeviceD0Entry;
    pnp.EvtDeviceD0EntryPostInterruptsEnabled = EvtDeviceD0EntryPostInterruptsEnabled;
    pnp.EvtDeviceD0Exit = EvtDeviceD0Exit;
    pnp.EvtDeviceD0ExitPreInterruptsDisabled = EvtDeviceD0ExitPreInterruptsDisabled;
    pnp.EvtDevicePrepareHardware = EvtDevicePrepareHardware;
    pnp.EvtDeviceReleaseHardware = EvtDeviceReleaseHardware;
    pnp.EvtDeviceSurpriseRemoval = EvtDeviceEvtSurpriseRemoval;
    WdfDeviceInitSetPnpPowerEventCallbacks(deviceInit, &pnp);

    WDF_POWER_POLICY_EVENT_CALLBACKS policy;
    WDF_POWER_POLICY_EVENT_CALLBACKS_INIT(&policy);
    policy.EvtDeviceArmWakeFromS0 = EvtDeviceArmWakeFromS0;
    policy.EvtDeviceDisarmWakeFromS0 = EvtDeviceDisarmWakeFromS0;
    policy.EvtDeviceWakeFromS0Triggered = EvtDeviceWakeFromS0Triggered;
    policy.EvtDeviceArmWakeFromSx = EvtDeviceArmWakeFromSx;
    policy.EvtDeviceDisarmWakeFromSx = EvtDeviceDisarmWakeFromSx;
    policy.EvtDeviceWakeFromSxTriggered = EvtDeviceWakeFromSxTriggered;
    WdfDeviceInitSetPowerPolicyEventCallbacks(deviceInit, &policy);

    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, MP_ADAPTER);
    attributes.EvtCleanupCallback = EvtDeviceContextCleanup;
    WDFDEVICE device = nullptr;
    status = WdfDeviceCreate(&deviceInit, &attributes, &device);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "device add step 5 (WdfDeviceCreate) failed: 0x%08X",
                 static_cast<unsigned>(status));
        return status;
    }

    PMP_ADAPTER adapter = QZCxGetAdapter(device);
    adapter->Device = device;
    adapter->Signature = MP_ADAPTER_SIGNATURE;
    adapter->EnableSystemEventLog = g_EnableSystemEventLog;
    adapter->Pdo = WdfDeviceWdmGetPhysicalDevice(device);
    adapter->Fdo = WdfDeviceWdmGetDeviceObject(device);
    LogEventDriverInit(adapter);

    // Whatever the outcome of the steps after device creation, the OS version is read.
    status = InitializeNewDevice(device, adapter);
    (void)QZCXGetOSVersion(adapter);
    return status;
}

NTSTATUS QZCXGetOSVersion(PMP_ADAPTER adapter)
{
    RTL_OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    NTSTATUS status = RtlGetVersion(&version);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "OS version not read: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_INIT, "OS version %u.%u build %u", static_cast<unsigned>(version.dwMajorVersion),
             static_cast<unsigned>(version.dwMinorVersion), static_cast<unsigned>(version.dwBuildNumber));
    adapter->OsBuildNumber = version.dwBuildNumber;
    return STATUS_SUCCESS;
}

// ================================================================================================
// unload and clean-up
// ================================================================================================
VOID EvtDriverUnload(WDFDRIVER driver)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_INIT, "driver unload");
    WPP_CLEANUP(WdfDriverWdmGetDriverObject(driver));
}

VOID EvtDeviceContextCleanup(WDFOBJECT device)
{
    if (g_ControlDevice != nullptr) {
        WdfObjectDelete(g_ControlDevice);
        g_ControlDevice = nullptr;
    }
    LogEventDriverUnload(QZCxGetAdapter(device));
}

VOID EvtWifiDirectDeviceContextCleanup(WDFOBJECT wifiDirectDevice)
{
    PMP_ADAPTER adapter = QZCxGetWifiDirectDeviceContext(wifiDirectDevice)->Adapter;
    if (adapter == nullptr) {
        return;
    }
    PMP_PORT port = MlmeSyncGetPortByType(adapter, WFD_DEVICE);
    if (port == nullptr) {
        return;
    }
    (void)MlmeSyncDeInitMacTab(port);
    (void)cnmFreeBssInfo(adapter, GetBssIndexSlotByPort(adapter, port));
}

// ================================================================================================
// control device
// ================================================================================================
namespace {

// Control device creation after its initialisation object exists: name, shutdown notification,
// the device with its context, the symbolic link and the sequential default queue. On return *init
// is null once the framework device consumed it, and *control is the device once created.
NTSTATUS BuildControlDevice(PMP_ADAPTER adapter, PWDFDEVICE_INIT* init, WDFDEVICE* control)
{
    WdfDeviceInitSetExclusive(*init, FALSE);
    NTSTATUS status = WdfDeviceInitAssignName(*init, &kControlDeviceName);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    WdfControlDeviceInitSetShutdownNotification(*init, EvtShutdownNotification, WdfDeviceShutdown);
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, QZCX_CONTROL_DEVICE);
    status = WdfDeviceCreate(init, &attributes, control);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    QZCxGetControlDeviceContext(*control)->Adapter = adapter;
    status = WdfDeviceCreateSymbolicLink(*control, &kControlDeviceLink);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    WDF_IO_QUEUE_CONFIG queue;
    WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(&queue, WdfIoQueueDispatchSequential);
    queue.PowerManaged = WdfUseDefault;
    queue.AllowZeroLengthRequests = FALSE;
    queue.EvtIoDeviceControl = QZCxEvtIoDeviceControl;
    return WdfIoQueueCreate(*control, &queue, WDF_NO_OBJECT_ATTRIBUTES, nullptr);
}

}  // namespace

NTSTATUS QZCxCreateControlDevice(WDFDEVICE device)
{
    PMP_ADAPTER adapter = QZCxGetAdapter(device);
    WDFDRIVER driver = WdfDeviceGetDriver(device);
    PWDFDEVICE_INIT init = WdfControlDeviceInitAllocate(driver, &kControlDeviceSddl);
    if (init == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_IOCTL, "no control device initialisation object");
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    WDFDEVICE control = nullptr;
    NTSTATUS status = BuildControlDevice(adapter, &init, &control);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_IOCTL, "control device not created: 0x%08X", static_cast<unsigned>(status));
        if (init != nullptr) {
            WdfDeviceInitFree(init);
        }
        if (control != nullptr) {
            WdfObjectDelete(control);
        }
        return status;
    }
    WdfControlFinishInitializing(control);
    g_ControlDevice = control;
    return STATUS_SUCCESS;
}

VOID QZCxEvtIoDeviceControl(WDFQUEUE queue, WDFREQUEST request, size_t outputBufferLength, size_t inputBufferLength,
                            ULONG ioControlCode)
{
    UNREFERENCED_PARAMETER(queue);
    UNREFERENCED_PARAMETER(outputBufferLength);
    UNREFERENCED_PARAMETER(inputBufferLength);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_IOCTL, "private request 0x%08X", static_cast<unsigned>(ioControlCode));
    WdfRequestComplete(request, NOT_BUILT_YET());
}

VOID EvtShutdownNotification(WDFDEVICE device)
{
    UNREFERENCED_PARAMETER(device);
    (void)NOT_BUILT_YET();
}

// ================================================================================================
// callbacks whose code comes with the hardware, power, adapter and WDI parts of the shell
// ================================================================================================
NTSTATUS EvtDevicePrepareHardware(WDFDEVICE device, WDFCMRESLIST raw, WDFCMRESLIST translated)
{
    UNREFERENCED_PARAMETER(device);
    UNREFERENCED_PARAMETER(raw);
    UNREFERENCED_PARAMETER(translated);
    return NOT_BUILT_YET();
}

NTSTATUS EvtDeviceReleaseHardware(WDFDEVICE device, WDFCMRESLIST translated)
{
    UNREFERENCED_PARAMETER(device);
    UNREFERENCED_PARAMETER(translated);
    return NOT_BUILT_YET();
}

NTSTATUS EvtDeviceD0Entry(WDFDEVICE device, WDF_POWER_DEVICE_STATE previousState)
{
    UNREFERENCED_PARAMETER(device);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "D0 entry from %s", QZCxPowerStateName(previousState));
    return NOT_BUILT_YET();
}

NTSTATUS EvtDeviceD0EntryPostInterruptsEnabled(WDFDEVICE device, WDF_POWER_DEVICE_STATE previousState)
{
    UNREFERENCED_PARAMETER(device);
    UNREFERENCED_PARAMETER(previousState);
    return NOT_BUILT_YET();
}

NTSTATUS EvtDeviceD0Exit(WDFDEVICE device, WDF_POWER_DEVICE_STATE targetState)
{
    UNREFERENCED_PARAMETER(device);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "D0 exit to %s", QZCxPowerStateName(targetState));
    return NOT_BUILT_YET();
}

NTSTATUS EvtDeviceD0ExitPreInterruptsDisabled(WDFDEVICE device, WDF_POWER_DEVICE_STATE targetState)
{
    UNREFERENCED_PARAMETER(device);
    UNREFERENCED_PARAMETER(targetState);
    return NOT_BUILT_YET();
}

VOID EvtDeviceEvtSurpriseRemoval(WDFDEVICE device)
{
    UNREFERENCED_PARAMETER(device);
    (void)NOT_BUILT_YET();
}

NTSTATUS EvtDeviceArmWakeFromS0(WDFDEVICE device)
{
    UNREFERENCED_PARAMETER(device);
    return NOT_BUILT_YET();
}

VOID EvtDeviceDisarmWakeFromS0(WDFDEVICE device)
{
    UNREFERENCED_PARAMETER(device);
    (void)NOT_BUILT_YET();
}

VOID EvtDeviceWakeFromS0Triggered(WDFDEVICE device)
{
    UNREFERENCED_PARAMETER(device);
    (void)NOT_BUILT_YET();
}

NTSTATUS EvtDeviceArmWakeFromSx(WDFDEVICE device)
{
    UNREFERENCED_PARAMETER(device);
    return NOT_BUILT_YET();
}

VOID EvtDeviceDisarmWakeFromSx(WDFDEVICE device)
{
    UNREFERENCED_PARAMETER(device);
    (void)NOT_BUILT_YET();
}

VOID EvtDeviceWakeFromSxTriggered(WDFDEVICE device)
{
    UNREFERENCED_PARAMETER(device);
    (void)NOT_BUILT_YET();
}

VOID EvtWiFiDeviceSendCommand(WDFDEVICE device, WIFIREQUEST request)
{
    UNREFERENCED_PARAMETER(device);
    UNREFERENCED_PARAMETER(request);
    (void)NOT_BUILT_YET();
}

NTSTATUS EvtWiFiDeviceCreateAdapter(WDFDEVICE device, NETADAPTER_INIT* adapterInit)
{
    UNREFERENCED_PARAMETER(device);
    UNREFERENCED_PARAMETER(adapterInit);
    return NOT_BUILT_YET();
}

NTSTATUS EvtWiFiDeviceCreateDirectDevice(WDFDEVICE device, WIFIDIRECT_DEVICE_INIT* wfdDeviceInit)
{
    UNREFERENCED_PARAMETER(device);
    UNREFERENCED_PARAMETER(wfdDeviceInit);
    return NOT_BUILT_YET();
}

VOID QZCxTaskProcessWorkItem(WDFWORKITEM workItem)
{
    UNREFERENCED_PARAMETER(workItem);
    (void)NOT_BUILT_YET();
}

VOID QZCxPropertyProcessWorkItem(WDFWORKITEM workItem)
{
    UNREFERENCED_PARAMETER(workItem);
    (void)NOT_BUILT_YET();
}
