// The toy driver (see toy_driver.h).
#include "toy_driver.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "kshim/ex.h"
#include "kshim/trace.h"

namespace toy {

Behaviour g_behaviour;

namespace {

constexpr ULONG kPoolTag = KSHIM_TAG('T', 'o', 'y', '0');
constexpr ULONG kHardwareTag = KSHIM_TAG('T', 'o', 'y', '1');

std::mutex g_lock;
std::vector<std::string> g_calls;
std::atomic<size_t> g_shutdowns{0};
std::atomic<size_t> g_requests{0};
std::atomic<WDFREQUEST> g_parked{nullptr};
WDFDEVICE g_control = nullptr;

void Note(const char* what, int state = -1)
{
    char text[96];
    if (state >= 0) {
        std::snprintf(text, sizeof(text), "%s(%d)@%u", what, state, static_cast<unsigned>(KeGetCurrentIrql()));
    } else {
        std::snprintf(text, sizeof(text), "%s@%u", what, static_cast<unsigned>(KeGetCurrentIrql()));
    }
    std::lock_guard<std::mutex> guard(g_lock);
    g_calls.push_back(text);
}

DECLARE_CONST_UNICODE_STRING(kSddl, u"D:P(A;;GA;;;SY)(A;;GRGWGX;;;BA)(A;;GRGW;;;WD)(A;;GR;;;RC)");
DECLARE_CONST_UNICODE_STRING(kControlName, u"\\Device\\QZLWLAN");
DECLARE_CONST_UNICODE_STRING(kControlLink, u"\\DosDevices\\QZLWLAN");

// ---- control device -------------------------------------------------------------------------------
VOID ToyShutdown(WDFDEVICE device)
{
    Note("EvtShutdownNotification");
    if (ToyGetControl(device) != nullptr) {
        ++g_shutdowns;
    }
}

VOID ToyIoDeviceControl(WDFQUEUE queue, WDFREQUEST request, size_t outputLength, size_t inputLength, ULONG code)
{
    ++g_requests;
    if (WdfIoQueueGetDevice(queue) == nullptr) {
        WdfRequestComplete(request, STATUS_INVALID_PARAMETER);
        return;
    }
    if (code != kToyIoctl) {
        WdfRequestComplete(request, STATUS_SUCCESS);
        return;
    }
    PVOID input = nullptr;
    size_t length = 0;
    NTSTATUS status = WdfRequestRetrieveInputBuffer(request, 4, &input, &length);
    if (!NT_SUCCESS(status)) {
        WdfRequestComplete(request, status);
        return;
    }
    ULONG command;
    std::memcpy(&command, input, sizeof(command));
    switch (command) {
    case kCommandEcho: {
        PVOID output = nullptr;
        size_t outLength = 0;
        status = WdfRequestRetrieveOutputBuffer(request, length, &output, &outLength);
        if (NT_SUCCESS(status)) {
            std::memmove(output, input, length);
            WdfRequestSetInformation(request, length);
        }
        WdfRequestComplete(request, status);
        break;
    }
    case kCommandKeepOutput: {
        PVOID output = nullptr;
        size_t outLength = 0;
        status = WdfRequestRetrieveOutputBuffer(request, 0, &output, &outLength);
        WdfRequestCompleteWithInformation(request, status, NT_SUCCESS(status) ? outLength : 0);
        break;
    }
    case kCommandPark:
        g_parked.store(request);
        break;
    case kCommandCompleteTwice:
        WdfRequestComplete(request, STATUS_SUCCESS);
        WdfRequestComplete(request, STATUS_SUCCESS);
        break;
    case kCommandNeedEight:
        status = WdfRequestRetrieveInputBuffer(request, 8, &input, &length);
        WdfRequestCompleteWithInformation(request, status, 0);
        break;
    default:
        WdfRequestComplete(request, STATUS_INVALID_PARAMETER);
        break;
    }
    UNREFERENCED_PARAMETER(outputLength);
    UNREFERENCED_PARAMETER(inputLength);
}

NTSTATUS CreateControlDevice(WDFDEVICE device)
{
    PWDFDEVICE_INIT init = WdfControlDeviceInitAllocate(WdfDeviceGetDriver(device), &kSddl);
    if (init == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    WdfDeviceInitSetExclusive(init, FALSE);
    NTSTATUS status = WdfDeviceInitAssignName(init, &kControlName);
    WDFDEVICE control = nullptr;
    if (NT_SUCCESS(status)) {
        WdfControlDeviceInitSetShutdownNotification(init, ToyShutdown, WdfDeviceShutdown);
        WDF_OBJECT_ATTRIBUTES attributes;
        WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, TOY_CONTROL);
        status = WdfDeviceCreate(&init, &attributes, &control);
    }
    if (NT_SUCCESS(status)) {
        ToyGetControl(control)->device = device;
        status = WdfDeviceCreateSymbolicLink(control, &kControlLink);
    }
    if (NT_SUCCESS(status)) {
        WDF_IO_QUEUE_CONFIG config;
        WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(&config, WdfIoQueueDispatchSequential);
        config.EvtIoDeviceControl = ToyIoDeviceControl;
        status = WdfIoQueueCreate(control, &config, WDF_NO_OBJECT_ATTRIBUTES, nullptr);
    }
    if (NT_SUCCESS(status)) {
        WdfControlFinishInitializing(control);
        g_control = control;
        return STATUS_SUCCESS;
    }
    if (init != nullptr) {
        WdfDeviceInitFree(init);
    }
    if (control != nullptr) {
        WdfObjectDelete(control);
    }
    return status;
}

// ---- device ---------------------------------------------------------------------------------------------
VOID ToyTimer(WDFTIMER timer)
{
    auto* ctx = ToyGetDevice(WdfTimerGetParentObject(timer));
    InterlockedIncrement(&ctx->timerFired);
}

VOID ToyWork(WDFWORKITEM item)
{
    auto* ctx = ToyGetDevice(WdfWorkItemGetParentObject(item));
    WdfSpinLockAcquire(ctx->lock);
    ++ctx->workRuns;
    WdfSpinLockRelease(ctx->lock);
}

NTSTATUS ToyPrepareHardware(WDFDEVICE device, WDFCMRESLIST raw, WDFCMRESLIST translated)
{
    Note("EvtDevicePrepareHardware");
    if (raw == nullptr || translated == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    auto* ctx = ToyGetDevice(device);
    ctx->hardware = ExAllocatePool2(POOL_FLAG_NON_PAGED, 64, kHardwareTag);
    if (ctx->hardware == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (g_behaviour.leakPool) {
        ExAllocatePool2(POOL_FLAG_NON_PAGED, 32, KSHIM_TAG('T', 'o', 'y', 'L'));
    }
    return g_behaviour.prepareStatus;
}

NTSTATUS ToyReleaseHardware(WDFDEVICE device, WDFCMRESLIST translated)
{
    Note("EvtDeviceReleaseHardware");
    auto* ctx = ToyGetDevice(device);
    if (ctx->hardware != nullptr) {
        ExFreePoolWithTag(ctx->hardware, kHardwareTag);
        ctx->hardware = nullptr;
    }
    UNREFERENCED_PARAMETER(translated);
    return STATUS_SUCCESS;
}

NTSTATUS ToyD0Entry(WDFDEVICE device, WDF_POWER_DEVICE_STATE previous)
{
    Note("EvtDeviceD0Entry", previous);
    if (!NT_SUCCESS(g_behaviour.d0EntryStatus)) {
        return g_behaviour.d0EntryStatus;
    }
    WdfTimerStart(ToyGetDevice(device)->timer, WDF_REL_TIMEOUT_IN_MS(100));
    return STATUS_SUCCESS;
}

NTSTATUS ToyD0EntryPostInterruptsEnabled(WDFDEVICE device, WDF_POWER_DEVICE_STATE previous)
{
    Note("EvtDeviceD0EntryPostInterruptsEnabled", previous);
    WdfWorkItemEnqueue(ToyGetDevice(device)->work);
    return g_behaviour.postInterruptsStatus;
}

NTSTATUS ToyD0ExitPreInterruptsDisabled(WDFDEVICE device, WDF_POWER_DEVICE_STATE target)
{
    Note("EvtDeviceD0ExitPreInterruptsDisabled", target);
    UNREFERENCED_PARAMETER(device);
    return STATUS_SUCCESS;
}

NTSTATUS ToyD0Exit(WDFDEVICE device, WDF_POWER_DEVICE_STATE target)
{
    Note("EvtDeviceD0Exit", target);
    auto* ctx = ToyGetDevice(device);
    WdfTimerStop(ctx->timer, TRUE);
    WdfWorkItemFlush(ctx->work);
    return STATUS_SUCCESS;
}

VOID ToySurpriseRemoval(WDFDEVICE device)
{
    Note("EvtDeviceSurpriseRemoval");
    UNREFERENCED_PARAMETER(device);
}

NTSTATUS ToyArmWakeFromSx(WDFDEVICE device)
{
    Note("EvtDeviceArmWakeFromSx");
    UNREFERENCED_PARAMETER(device);
    return g_behaviour.armWakeStatus;
}

VOID ToyDisarmWakeFromSx(WDFDEVICE device)
{
    Note("EvtDeviceDisarmWakeFromSx");
    UNREFERENCED_PARAMETER(device);
}

VOID ToyWakeFromSxTriggered(WDFDEVICE device)
{
    Note("EvtDeviceWakeFromSxTriggered");
    UNREFERENCED_PARAMETER(device);
}

VOID ToyDeviceCleanup(WDFOBJECT object)
{
    Note("EvtDeviceContextCleanup");
    if (g_control != nullptr && ToyGetControl(g_control)->device == object) {
        WdfObjectDelete(g_control);
        g_control = nullptr;
    }
}

VOID ToySendCommand(WDFDEVICE, WIFIREQUEST) {}
NTSTATUS ToyCreateAdapter(WDFDEVICE, NETADAPTER_INIT*) { return STATUS_SUCCESS; }
NTSTATUS ToyCreateWifiDirectDevice(WDFDEVICE, WIFIDIRECT_DEVICE_INIT*) { return STATUS_SUCCESS; }

NTSTATUS ToyDeviceAdd(WDFDRIVER driver, PWDFDEVICE_INIT init)
{
    Note("EvtDriverDeviceAdd");
    NTSTATUS status = NetDeviceInitConfig(init);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    status = WifiDeviceInitConfig(init);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    WDF_PNPPOWER_EVENT_CALLBACKS pnp;
    WDF_PNPPOWER_EVENT_CALLBACKS_INIT(&pnp);
    pnp.EvtDevicePrepareHardware = ToyPrepareHardware;
    pnp.EvtDeviceReleaseHardware = ToyReleaseHardware;
    pnp.EvtDeviceD0Entry = ToyD0Entry;
    pnp.EvtDeviceD0EntryPostInterruptsEnabled = ToyD0EntryPostInterruptsEnabled;
    pnp.EvtDeviceD0ExitPreInterruptsDisabled = ToyD0ExitPreInterruptsDisabled;
    pnp.EvtDeviceD0Exit = ToyD0Exit;
    pnp.EvtDeviceSurpriseRemoval = ToySurpriseRemoval;
    WdfDeviceInitSetPnpPowerEventCallbacks(init, &pnp);
    WDF_POWER_POLICY_EVENT_CALLBACKS policy;
    WDF_POWER_POLICY_EVENT_CALLBACKS_INIT(&policy);
    policy.EvtDeviceArmWakeFromSx = ToyArmWakeFromSx;
    policy.EvtDeviceDisarmWakeFromSx = ToyDisarmWakeFromSx;
    policy.EvtDeviceWakeFromSxTriggered = ToyWakeFromSxTriggered;
    WdfDeviceInitSetPowerPolicyEventCallbacks(init, &policy);

    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, TOY_DEVICE);
    attributes.EvtCleanupCallback = ToyDeviceCleanup;
    WDFDEVICE device = nullptr;
    status = WdfDeviceCreate(&init, &attributes, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    TOY_DEVICE* ctx = ToyGetDevice(device);
    ctx->contextWasZero = TRUE;
    for (size_t i = 0; i < sizeof(TOY_DEVICE); ++i) {
        if (reinterpret_cast<const UCHAR*>(ctx)[i] != 0 && i != offsetof(TOY_DEVICE, contextWasZero)) {
            ctx->contextWasZero = FALSE;
        }
    }
    ctx->signature = 0xAABBCCDD;

    WIFI_DEVICE_CONFIG wifi;
    WIFI_DEVICE_CONFIG_INIT(&wifi, 0x20003, ToySendCommand, ToyCreateAdapter, ToyCreateWifiDirectDevice);
    status = WifiDeviceInitialize(device, &wifi);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    ctx->osWdiVersion = WifiDeviceGetOsWdiVersion(device);

    WDF_DEVICE_POWER_CAPABILITIES caps;
    WDF_DEVICE_POWER_CAPABILITIES_INIT(&caps);
    caps.DeviceD1 = WdfFalse;
    caps.DeviceD2 = WdfFalse;
    caps.WakeFromD3 = WdfTrue;
    caps.DeviceState[PowerSystemWorking] = PowerDeviceD0;
    caps.DeviceWake = PowerDeviceD3;
    caps.SystemWake = PowerSystemSleeping3;
    WdfDeviceSetPowerCapabilities(device, &caps);
    WDF_DEVICE_POWER_POLICY_WAKE_SETTINGS wake;
    WDF_DEVICE_POWER_POLICY_WAKE_SETTINGS_INIT(&wake);
    wake.DxState = PowerDeviceD3;
    ctx->sxWakeStatus = WdfDeviceAssignSxWakeSettings(device, &wake);
    WDF_DEVICE_POWER_POLICY_IDLE_SETTINGS idle;
    WDF_DEVICE_POWER_POLICY_IDLE_SETTINGS_INIT(&idle, IdleCanWakeFromS0);
    idle.IdleTimeout = 5000;
    idle.IdleTimeoutType = SystemManagedIdleTimeoutWithHint;
    ctx->s0IdleStatus = WdfDeviceAssignS0IdleSettings(device, &idle);

    WDF_OBJECT_ATTRIBUTES child;
    WDF_OBJECT_ATTRIBUTES_INIT(&child);
    child.ParentObject = device;
    WDF_TIMER_CONFIG timerConfig;
    WDF_TIMER_CONFIG_INIT_PERIODIC(&timerConfig, ToyTimer, 100);
    status = WdfTimerCreate(&timerConfig, &child, &ctx->timer);
    if (NT_SUCCESS(status)) {
        WDF_WORKITEM_CONFIG workConfig;
        WDF_WORKITEM_CONFIG_INIT(&workConfig, ToyWork);
        status = WdfWorkItemCreate(&workConfig, &child, &ctx->work);
    }
    if (NT_SUCCESS(status)) {
        status = WdfSpinLockCreate(&child, &ctx->lock);
    }
    if (NT_SUCCESS(status) && g_behaviour.leakObject) {
        WDFMEMORY leaked;
        PVOID buffer;
        status = WdfMemoryCreate(WDF_NO_OBJECT_ATTRIBUTES, NonPagedPoolNx, 0, 16, &leaked, &buffer);
    }
    if (NT_SUCCESS(status) && g_behaviour.controlDevice) {
        status = CreateControlDevice(device);
    }
    if (NT_SUCCESS(status)) {
        status = g_behaviour.addStatus;
    }
    UNREFERENCED_PARAMETER(driver);
    return status;
}

VOID ToyUnload(WDFDRIVER driver)
{
    Note("EvtDriverUnload");
    if (!g_behaviour.keepTraceSession) {
        WPP_CLEANUP(WdfDriverWdmGetDriverObject(driver));
    }
}

}  // namespace

void Reset()
{
    g_behaviour = Behaviour();
    std::lock_guard<std::mutex> guard(g_lock);
    g_calls.clear();
    g_shutdowns = 0;
    g_requests = 0;
    g_parked = nullptr;
}

std::vector<std::string> Calls()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_calls;
}

size_t ShutdownNotifications() { return g_shutdowns.load(); }
size_t ControlRequestsSeen() { return g_requests.load(); }

void CompleteParked(NTSTATUS status)
{
    WDFREQUEST request = g_parked.exchange(nullptr);
    if (request != nullptr) {
        KIRQL old;
        KeRaiseIrql(DISPATCH_LEVEL, &old);
        WdfRequestComplete(request, status);
        KeLowerIrql(old);
    }
}

NTSTATUS ToyDriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath)
{
    WPP_INIT_TRACING(driverObject, registryPath);
    WDF_DRIVER_CONFIG config;
    WDF_DRIVER_CONFIG_INIT(&config, ToyDeviceAdd);
    config.EvtDriverUnload = ToyUnload;
    config.DriverPoolTag = kPoolTag;
    NTSTATUS status = WdfDriverCreate(driverObject, registryPath, WDF_NO_OBJECT_ATTRIBUTES, &config, WDF_NO_HANDLE);
    if (NT_SUCCESS(status)) {
        status = g_behaviour.entryStatus;
    }
    if (!NT_SUCCESS(status)) {
        WPP_CLEANUP(driverObject);
    }
    return status;
}

}  // namespace toy
