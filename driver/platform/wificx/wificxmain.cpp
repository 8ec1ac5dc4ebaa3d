// The framework side of the driver: device add, unload and clean-up, the control device, and the
// PnP, power, power-policy and WiFiCx entry points the device registers.
#include "platform/wificx/wificxmain.h"

#include "Common/cnm.h"
#include "Common/logevent.h"
#include "Common/mlme/mlmesync.h"
#include "kshim/netadapter.h"
#include "kshim/rtl.h"
#include "hal/chips/qzarvel2x.h"
#include "hal/chips/qzarvel3x.h"
#include "hal/common/hal_chip.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/ndiscommonioctl.h"
#include "platform/ndiscommon/trace.h"

UCHAR g_EnableSystemEventLog;
WDFDEVICE g_ControlDevice;
ULONG g_NdisVersion;

namespace {

// The devices of the driver that exist, so that the one control device can pass to a device that stays
// when the device it serves goes away. A slot is claimed and given back atomically.
#define QZCX_MAX_DEVICES 8
PMP_ADAPTER g_Devices[QZCX_MAX_DEVICES];

BOOLEAN RememberDevice(PMP_ADAPTER adapter)
{
    for (PMP_ADAPTER& slot : g_Devices) {
        if (InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(&slot), adapter, nullptr) == nullptr) {
            return TRUE;
        }
    }
    return FALSE;
}

void ForgetDevice(PMP_ADAPTER adapter)
{
    for (PMP_ADAPTER& slot : g_Devices) {
        (void)InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(&slot), nullptr, adapter);
    }
}

PMP_ADAPTER AnyDevice()
{
    for (PMP_ADAPTER& slot : g_Devices) {
        PMP_ADAPTER adapter = static_cast<PMP_ADAPTER>(__atomic_load_n(&slot, __ATOMIC_ACQUIRE));
        if (adapter != nullptr) {
            return adapter;
        }
    }
    return nullptr;
}

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
    WdiInitCntlBlock(adapter);

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
    if (!RememberDevice(adapter)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "device add: more than %u devices", static_cast<unsigned>(QZCX_MAX_DEVICES));
        return STATUS_INSUFFICIENT_RESOURCES;
    }
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

// The control device goes with the last device; while other devices stay, the one it served hands it
// to one of them.
VOID EvtDeviceContextCleanup(WDFOBJECT device)
{
    PMP_ADAPTER adapter = QZCxGetAdapter(device);
    ForgetDevice(adapter);
    if (g_ControlDevice != nullptr) {
        PQZCX_CONTROL_DEVICE control = QZCxGetControlDeviceContext(g_ControlDevice);
        PMP_ADAPTER next = AnyDevice();
        if (next == nullptr) {
            WdfObjectDelete(g_ControlDevice);
            g_ControlDevice = nullptr;
        } else if (control->Adapter == adapter) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_PNP, "the control device now serves device 0x%04X",
                     static_cast<unsigned>(next->DeviceId));
            __atomic_store_n(&control->Adapter, next, __ATOMIC_RELEASE);
        }
    }
    LogEventDriverUnload(adapter);
}

// A net adapter goes away: the port it served gives back its station entries (a group owner's) and
// its firmware BSS slot, and forgets the adapter.
VOID EvtAdapterContextCleanup(WDFOBJECT netAdapter)
{
    PQZCX_NET_ADAPTER context = QZCxGetNetAdapterContext(netAdapter);
    PMP_ADAPTER adapter = context->Adapter;
    if (adapter == nullptr) {
        return;
    }
    USHORT portIndex = WifiAdapterGetPortId(reinterpret_cast<NETADAPTER>(netAdapter));
    PMP_PORT port = portIndex < MP_MAX_PORTS ? adapter->PortList[portIndex] : nullptr;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_PNP, "net adapter of port %u goes away", static_cast<unsigned>(portIndex));
    if (port == nullptr) {
        return;
    }
    if (port->PortType == WFD_GO) {
        (void)MlmeSyncDeInitMacTab(port);
    }
    (void)cnmFreeBssInfo(adapter, GetBssIndexSlotByPort(adapter, port));
    port->NetAdapter = nullptr;
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
    // One control device serves the driver: a later device finds it made by an earlier one.
    if (g_ControlDevice != nullptr) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_IOCTL, "the control device exists already");
        return STATUS_SUCCESS;
    }
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
    UNREFERENCED_PARAMETER(outputBufferLength);
    UNREFERENCED_PARAMETER(inputBufferLength);
    WDFDEVICE control = WdfIoQueueGetDevice(queue);
    NdisCommonIoctlDeviceControl(
        control != nullptr ? __atomic_load_n(&QZCxGetControlDeviceContext(control)->Adapter, __ATOMIC_ACQUIRE) : nullptr,
        request, ioControlCode);
}

VOID EvtShutdownNotification(WDFDEVICE device)
{
    PMP_ADAPTER adapter = QZCxGetControlDeviceContext(device)->Adapter;
    if (adapter == nullptr) {
        return;
    }
    adapter->ShutdownNotified = 1;
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_OS_SCAN) && adapter->PendingScanPort < MP_MAX_PORTS &&
        adapter->PortList[adapter->PendingScanPort] != nullptr) {
        PlatformIndicateScanStatus(adapter, adapter->PortList[adapter->PendingScanPort], 0, 1, 0);
    }
}

// ================================================================================================
// hardware preparation and release
// ================================================================================================
namespace {

void InitRxReturnList(PRX_RETURN_LIST list)
{
    InitializeListHead(&list->Head);
    PlatformAllocateSpinLock(&list->Lock);
}

void FreeRxReturnList(PRX_RETURN_LIST list)
{
    if (list->Head.Flink == nullptr) {
        return;  // never initialised
    }
    for (PLIST_ENTRY entry = ExInterlockedRemoveHeadList(&list->Head, &list->Lock); entry != nullptr;
         entry = ExInterlockedRemoveHeadList(&list->Head, &list->Lock)) {
        PlatformFreeMemory(CONTAINING_RECORD(entry, RX_RETURN_CONTEXT, Link), sizeof(RX_RETURN_CONTEXT));
    }
    PlatformFreeSpinLock(&list->Lock);
}

NTSTATUS FillRxReturnFreeList(PMP_ADAPTER adapter)
{
    for (ULONG index = 0; index < RX_RETURN_CONTEXT_COUNT; ++index) {
        PVOID block = nullptr;
        if (!NT_SUCCESS(PlatformAllocateMemory(adapter, &block, sizeof(RX_RETURN_CONTEXT), TAG_ZVA0))) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "receive return record %u not allocated", static_cast<unsigned>(index));
            return STATUS_INSUFFICIENT_RESOURCES;
        }
        auto* record = static_cast<PRX_RETURN_CONTEXT>(block);
        PlatformZeroMemory(record, sizeof(*record));
        record->Adapter = adapter;
        record->Signature = RX_RETURN_CONTEXT_SIGNATURE;
        record->Index = index;
        ExInterlockedInsertTailList(&adapter->RxReturnFree.Head, &record->Link, &adapter->RxReturnFree.Lock);
    }
    return STATUS_SUCCESS;
}

// The first memory resource large enough for the register BAR is mapped; a memory resource after it
// is traced and left alone, so that no mapping is ever lost.
void TakeMemoryResource(PPCI_HIF_CONTEXT hif, PCM_PARTIAL_RESOURCE_DESCRIPTOR d, ULONG index)
{
    ULONG length = d->u.Memory.Length;
    if (length < PCI_BAR_MIN_LENGTH) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_PNP, "memory resource %u of 0x%X bytes is too small", static_cast<unsigned>(index),
                 static_cast<unsigned>(length));
        return;
    }
    if (hif->BarVa != nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_PNP, "memory resource %u ignored: the BAR is already mapped",
                 static_cast<unsigned>(index));
        return;
    }
    PVOID va = MmMapIoSpaceEx(d->u.Memory.Start, length, PAGE_READWRITE | PAGE_NOCACHE);
    if (va == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "memory resource %u not mapped", static_cast<unsigned>(index));
        return;
    }
    hif->BarStart = d->u.Memory.Start;
    hif->BarLength = length;
    hif->BarVa = static_cast<PUCHAR>(va);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_PNP, "BAR at 0x%llX, 0x%X bytes mapped",
             static_cast<unsigned long long>(d->u.Memory.Start.QuadPart), static_cast<unsigned>(length));
}

USHORT ConfigWord(const UCHAR* config, ULONG offset)
{
    return static_cast<USHORT>(config[offset] | (config[offset + 1] << 8));
}

// The prepare steps after the resources; a failure is traced and returned.
NTSTATUS PrepareAfterResources(WDFDEVICE device, PMP_ADAPTER adapter, WDFCMRESLIST raw, WDFCMRESLIST translated)
{
    NTSTATUS status = WdfFdoQueryForInterface(device, &GUID_BUS_INTERFACE_STANDARD,
                                              reinterpret_cast<PINTERFACE>(&adapter->BusInterface),
                                              sizeof(BUS_INTERFACE_STANDARD), 1, nullptr);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "prepare hardware: no PCI bus interface: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    // A configuration without the value keeps its default.
    NTSTATUS flag = Ndis6CommonGetRegistryTestYBFlag(adapter);
    if (!NT_SUCCESS(flag)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_PNP, "\"TestYBFlag\" not read (0x%08X): it stays %u",
                 static_cast<unsigned>(flag), static_cast<unsigned>(adapter->RegistryBlock.TestYBFlag));
    }
    status = QZCxPciInterfaceStart(adapter, raw, translated);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "prepare hardware: PCI interface start failed: 0x%08X",
                 static_cast<unsigned>(status));
        return status;
    }
    adapter->Switches.PciInterfaceStarted = TRUE;

    NdisCommonSpinLockInit(adapter);
    HalRegisterChip(adapter);
    adapter->Switches.SpinLocksAndChipRegistered = TRUE;
    if (!NT_SUCCESS(QZCxHifPciRegisterInterrupt(adapter->HifContext, raw, translated))) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "prepare hardware: interrupt not registered");
        return STATUS_UNSUCCESSFUL;
    }
    adapter->Switches.InterruptRegistered = TRUE;
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS EvtDevicePrepareHardware(WDFDEVICE device, WDFCMRESLIST raw, WDFCMRESLIST translated)
{
    PMP_ADAPTER adapter = QZCxGetAdapter(device);
    NTSTATUS status = QZCxAllocateResource(adapter);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "prepare hardware: resources not allocated: 0x%08X",
                 static_cast<unsigned>(status));
        return status;
    }
    adapter->Switches.ResourcesAllocated = TRUE;
    status = PrepareAfterResources(device, adapter, raw, translated);
    if (NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_PNP, "hardware prepared: device id 0x%04X, chip code 0x%04X",
                 adapter->DeviceId, adapter->HalInfo.ChipCode);
    }
    return status;
}

NTSTATUS EvtDeviceReleaseHardware(WDFDEVICE device, WDFCMRESLIST translated)
{
    UNREFERENCED_PARAMETER(translated);
    PMP_ADAPTER adapter = QZCxGetAdapter(device);
    // A power-up that failed after the first one leaves the framework no D0 exit to call: the NIC that
    // still runs is shut down before its hardware and blocks go.
    if (adapter->NicStarted && !adapter->NicShutDown) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_PNP, "release hardware: the NIC still runs, shut it down first");
        QZCxShutdownNic(adapter);
    }
    if (adapter->Switches.InterruptRegistered) {
        // The framework deletes the interrupt object with the device.
        adapter->Switches.InterruptRegistered = FALSE;
    }
    if (adapter->Switches.SpinLocksAndChipRegistered) {
        NdisCommonDeallocateAllSpinLock(adapter);
        adapter->Switches.SpinLocksAndChipRegistered = FALSE;
    }
    if (adapter->Switches.PciInterfaceStarted) {
        (void)NdisCommonHifIoSpaceUnmap(adapter);
        adapter->Switches.PciInterfaceStarted = FALSE;
    }
    if (adapter->BusInterface.InterfaceDereference != nullptr) {
        adapter->BusInterface.InterfaceDereference(adapter->BusInterface.Context);
    }
    PlatformZeroMemory(&adapter->BusInterface, sizeof(adapter->BusInterface));
    if (adapter->Switches.ResourcesAllocated) {
        QZCxFreeResource(adapter);
        adapter->Switches.ResourcesAllocated = FALSE;
    }
    return STATUS_SUCCESS;
}

NTSTATUS QZCxAllocateResource(PMP_ADAPTER adapter)
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    ExSystemTimeToLocalTime(&now, &adapter->ResourceAllocTime);
    // The lists first, so that the release of a partly built adapter finds them valid.
    InitRxReturnList(&adapter->RxReturnFree);
    InitRxReturnList(&adapter->RxReturnSta);
    InitRxReturnList(&adapter->RxReturnAp);
    InitializeListHead(&adapter->Ioctl.PendingRequestList);
    PlatformAllocateSpinLock(&adapter->Ioctl.PendingRequestLock);
    adapter->Ioctl.PendingRequestCount = 0;
    __atomic_store_n(&adapter->Ioctl.PendingRequestListReady, static_cast<UCHAR>(1), __ATOMIC_RELEASE);

    NTSTATUS status = Ndis6CommonAllocAdapterBlock(adapter);
    if (!NT_SUCCESS(status)) {
        QZCxFreeResource(adapter);
        return STATUS_NO_MEMORY;
    }
    g_NdisVersion = NdisGetVersion();
    adapter->CommonBlock->NdisVersion = g_NdisVersion;

    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.ParentObject = adapter->Device;
    status = WdfSpinLockCreate(&attributes, &adapter->TxQueueLock);
    if (NT_SUCCESS(status)) {
        status = QZCxAllocateOidParamBuffer(adapter);
    }
    if (NT_SUCCESS(status)) {
        status = WdiAllocateOidParamBuffer(adapter);
    }
    if (NT_SUCCESS(status)) {
        status = FillRxReturnFreeList(adapter);
    }
    if (!NT_SUCCESS(status)) {
        QZCxFreeResource(adapter);
    }
    // The firmware-log control block comes with the firmware log.
    return status;
}

void QZCxFreeResource(PMP_ADAPTER adapter)
{
    // Every parked request is completed: none may stay behind its freed entry.
    if (adapter->Ioctl.PendingRequestList.Flink != nullptr) {
        while (!IsListEmpty(&adapter->Ioctl.PendingRequestList)) {
            QZCxCancelPendingRequest(adapter);
        }
    }
    Ndis6CommonDeallocAdapterBlock(adapter);
    WdiFreeOidParamBuffer(adapter);
    QZCxFreeOidParamBuffer(adapter);
    QZCxFreeBandCapabilityLists(adapter);
    FreeRxReturnList(&adapter->RxReturnFree);
    FreeRxReturnList(&adapter->RxReturnSta);
    FreeRxReturnList(&adapter->RxReturnAp);
    if (adapter->TxQueueLock != nullptr) {
        WdfObjectDelete(adapter->TxQueueLock);
        adapter->TxQueueLock = nullptr;
    }
}

NTSTATUS QZCxPciInterfaceStart(PMP_ADAPTER adapter, WDFCMRESLIST raw, WDFCMRESLIST translated)
{
    UNREFERENCED_PARAMETER(raw);
    if (adapter == nullptr || adapter->HifContext == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "PCI interface start without a bus context");
        return STATUS_UNSUCCESSFUL;
    }
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    hif->Adapter = adapter;
    hif->Pdo = WdfDeviceWdmGetPhysicalDevice(adapter->Device);
    hif->Fdo = WdfDeviceWdmGetDeviceObject(adapter->Device);
    hif->NextLowerDevice = WdfDeviceWdmGetAttachedDevice(adapter->Device);

    UCHAR config[PCI_IDENTITY_BYTES] = {};
    PBUS_INTERFACE_STANDARD bus = &adapter->BusInterface;
    ULONG moved = bus->GetBusData != nullptr ? bus->GetBusData(bus->Context, PCI_WHICHSPACE_CONFIG, config, 0, sizeof(config)) : 0;
    if (moved != sizeof(config)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "configuration space: %u of %u bytes read", static_cast<unsigned>(moved),
                 static_cast<unsigned>(sizeof(config)));
        return STATUS_UNSUCCESSFUL;
    }
    USHORT vendorId = ConfigWord(config, 0x00);
    USHORT deviceId = ConfigWord(config, 0x02);
    if (vendorId != QZL_PCI_VENDOR_ID || !HalDeviceIdAcceptedAtPreparation(deviceId)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "vendor id 0x%04X, device id 0x%04X: not this driver's device", vendorId,
                 deviceId);
        return STATUS_UNSUCCESSFUL;
    }
    hif->RevisionId = config[0x08];
    hif->VendorId = vendorId;
    hif->DeviceId = deviceId;
    hif->SubsystemVendorId = ConfigWord(config, 0x2C);
    hif->SubsystemId = ConfigWord(config, 0x2E);
    adapter->DeviceId = deviceId;

    BOOLEAN interruptSeen = FALSE;
    ULONG count = WdfCmResourceListGetCount(translated);
    for (ULONG index = 0; index < count; ++index) {
        PCM_PARTIAL_RESOURCE_DESCRIPTOR d = WdfCmResourceListGetDescriptor(translated, index);
        if (d == nullptr) {
            continue;
        }
        switch (d->Type) {
        case CmResourceTypeInterrupt:
            interruptSeen = TRUE;
            hif->InterruptVector = d->u.Interrupt.Vector;
            hif->InterruptIndex = index;
            hif->InterruptTranslated = d;
            hif->InterruptRaw = WdfCmResourceListGetDescriptor(raw, index);
            break;
        case CmResourceTypeMemory:
            TakeMemoryResource(hif, d, index);
            break;
        default:
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_PNP, "resource %u of type %u ignored", static_cast<unsigned>(index),
                     static_cast<unsigned>(d->Type));
            break;
        }
    }
    if (!interruptSeen || hif->BarVa == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_PNP, "resources: %s", !interruptSeen ? "no interrupt" : "no register BAR");
        // The mapping would otherwise outlive the failed start: its done switch stays clear.
        (void)NdisCommonHifIoSpaceUnmap(adapter);
        return STATUS_UNSUCCESSFUL;
    }
    return STATUS_SUCCESS;
}

BOOLEAN QZCxSyncEnableInterrupt(WDFINTERRUPT interrupt, PVOID context)
{
    UNREFERENCED_PARAMETER(interrupt);
    auto* adapter = static_cast<PMP_ADAPTER>(context);
    (void)HalCallOptional(adapter->HalOps.EnableInterrupt, adapter);
    return TRUE;
}

NTSTATUS QZCxInterruptEnable(WDFINTERRUPT interrupt, WDFDEVICE associatedDevice)
{
    UNREFERENCED_PARAMETER(associatedDevice);
    PMP_ADAPTER adapter = QZCxGetInterruptContext(interrupt)->Adapter;
    (void)HalCallOptional(adapter->HalOps.EnableInterrupt, adapter);
    __atomic_store_n(&adapter->InterruptsDisabled, 0, __ATOMIC_RELEASE);
    return STATUS_SUCCESS;
}

NTSTATUS QZCxInterruptDisable(WDFINTERRUPT interrupt, WDFDEVICE associatedDevice)
{
    UNREFERENCED_PARAMETER(associatedDevice);
    PMP_ADAPTER adapter = QZCxGetInterruptContext(interrupt)->Adapter;
    (void)HalCallOptional(adapter->HalOps.DisableInterrupt, adapter);
    __atomic_store_n(&adapter->InterruptsDisabled, 1, __ATOMIC_RELEASE);
    return STATUS_SUCCESS;
}

// ---- parked private requests ----------------------------------------------------------------------------
void QZCxCancelPendingRequest(PMP_ADAPTER adapter)
{
    PLIST_ENTRY entry = ExInterlockedRemoveHeadList(&adapter->Ioctl.PendingRequestList, &adapter->Ioctl.PendingRequestLock);
    if (entry == nullptr) {
        return;
    }
    InterlockedDecrement(&adapter->Ioctl.PendingRequestCount);
    auto* pending = CONTAINING_RECORD(entry, PENDING_OID_REQUEST, Link);
    WdfRequestComplete(pending->Request, STATUS_CANCELLED);
    PlatformFreeMemory(pending, sizeof(*pending));
}
