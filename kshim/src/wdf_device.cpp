// The framework driver and device objects: creation, device-initialisation objects, the device
// objects beneath a framework device, power capabilities and power policy, control devices.
#include <algorithm>
#include <cstdio>
#include <map>

#include "internal.h"
#include "io_internal.h"
#include "wdf_internal.h"
#include "wdf_interrupt_internal.h"

namespace kshim::wdf {
namespace {

std::atomic<FxDriver*> g_driver{nullptr};
std::atomic<size_t> g_liveInits{0};

std::mutex g_unloadLock;
UnloadSnapshot g_lastUnload;

// The object namespace of device names and symbolic links (case-insensitive).
std::mutex g_namesLock;
std::map<std::u16string, FxDevice*>* g_names = new std::map<std::u16string, FxDevice*>();

std::u16string Fold(const std::u16string& s)
{
    std::u16string out = s;
    for (char16_t& c : out) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return out;
}

std::u16string FromCounted(PCUNICODE_STRING s)
{
    if (s == nullptr || s->Buffer == nullptr) {
        return std::u16string();
    }
    return std::u16string(s->Buffer, s->Length / sizeof(WCHAR));
}

bool ValidCounted(PCUNICODE_STRING s)
{
    return s != nullptr && s->Buffer != nullptr && s->Length != 0 && (s->Length % sizeof(WCHAR)) == 0 &&
           s->Length <= s->MaximumLength;
}

// Claims a name in the namespace; false when another device holds it.
bool ClaimName(const std::u16string& name, FxDevice* device)
{
    std::lock_guard<std::mutex> guard(g_namesLock);
    return g_names->emplace(Fold(name), device).second;
}

void ReleaseNames(FxDevice* device)
{
    std::lock_guard<std::mutex> guard(g_namesLock);
    for (auto it = g_names->begin(); it != g_names->end();) {
        if (it->second == device) {
            it = g_names->erase(it);
        } else {
            ++it;
        }
    }
}

// Records an S0-idle or Sx-wake policy of a PnP device; the platform may refuse it (fault point).
template <class Settings>
NTSTATUS AssignPowerPolicy(WDFDEVICE handle, Settings* settings, const char* call, const char* faultPoint,
                           bool kshim::host::DeviceRecord::*has, Settings kshim::host::DeviceRecord::*field)
{
    RequirePassive(call);
    auto* device = Lookup<FxDevice>(handle, call);
    if (device == nullptr || settings == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (settings->Size != sizeof(Settings)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (device->control) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    NTSTATUS status;
    if (kshim::FaultCheck(faultPoint, nullptr, &status)) {
        return status;
    }
    std::lock_guard<std::mutex> guard(device->settingsLock);
    device->settings.*field = *settings;
    device->settings.*has = true;
    return STATUS_SUCCESS;
}

WDFDEVICE_INIT* CheckInit(PWDFDEVICE_INIT init, const char* call)
{
    if (init == nullptr) {
        KshimViolation("null device-initialisation object", call);
        return nullptr;
    }
    if (init->consumed) {
        KshimViolation("device-initialisation object used after WdfDeviceCreate consumed it", call);
        return nullptr;
    }
    return init;
}

}  // namespace

// ---- driver -------------------------------------------------------------------------------------------
FxDriver* CurrentDriver() { return g_driver.load(std::memory_order_acquire); }

void FxDriver::Dispose()
{
    FxDriver* expected = this;
    g_driver.compare_exchange_strong(expected, nullptr);
}

UnloadSnapshot TakeUnloadSnapshot()
{
    UnloadSnapshot snapshot;
    FxDriver* driver = CurrentDriver();
    snapshot.objects = LiveObjectDescriptions(driver);
    snapshot.objectsLeft = snapshot.objects.size();
    snapshot.requestsNotCompleted = OutstandingRequests();
    snapshot.initsLeft = LiveDeviceInits();
    return snapshot;
}

UnloadSnapshot LastUnloadSnapshot()
{
    std::lock_guard<std::mutex> guard(g_unloadLock);
    return g_lastUnload;
}

void DriverUnloadRoutine(PDRIVER_OBJECT driverObject)
{
    FxDriver* driver = CurrentDriver();
    if (driver == nullptr || driver->wdm != driverObject) {
        KshimViolation("driver unload without the framework driver of this driver object", nullptr);
        return;
    }
    if (driver->config.EvtDriverUnload != nullptr) {
        PFN_WDF_DRIVER_UNLOAD unload = driver->config.EvtDriverUnload;
        engine::RunAt(PASSIVE_LEVEL, "EvtDriverUnload", [unload, driver] { unload(Handle<WDFDRIVER>(driver)); });
    }
    UnloadSnapshot snapshot = TakeUnloadSnapshot();
    {
        std::lock_guard<std::mutex> guard(g_unloadLock);
        g_lastUnload = snapshot;
    }
    FrameworkDelete(driver);
}

// ---- device-initialisation objects ------------------------------------------------------------------
PWDFDEVICE_INIT NewPnpDeviceInit(FxDriver* driver, PDEVICE_OBJECT pdo, PDEVICE_OBJECT lower)
{
    auto* init = new WDFDEVICE_INIT();
    init->driver = driver;
    init->pdo = pdo;
    init->lower = lower;
    g_liveInits.fetch_add(1);
    return init;
}

void FreeDeviceInit(PWDFDEVICE_INIT init)
{
    if (init != nullptr) {
        delete init;
        g_liveInits.fetch_sub(1);
    }
}

size_t LiveDeviceInits() { return g_liveInits.load(); }

// ---- devices ------------------------------------------------------------------------------------------
FxDevice::~FxDevice()
{
    ReleaseNames(this);
    if (fdo != nullptr) {
        if (lower != nullptr && lower->AttachedDevice == fdo) {
            lower->AttachedDevice = nullptr;
        }
        io::FreeDeviceObject(fdo);
    }
}

FxDevice* FindDevice(const std::u16string& nameOrLink)
{
    std::lock_guard<std::mutex> guard(g_namesLock);
    auto it = g_names->find(Fold(nameOrLink));
    return it == g_names->end() ? nullptr : it->second;
}

std::vector<FxDevice*> ControlDevices()
{
    std::vector<FxDevice*> out;
    std::lock_guard<std::mutex> guard(g_namesLock);
    for (const auto& [name, device] : *g_names) {
        if (device->control && std::find(out.begin(), out.end(), device) == out.end()) {
            out.push_back(device);
        }
    }
    return out;
}

NTSTATUS EnableInterrupts(FxDevice* device) { return InterruptsEnable(Handle<WDFDEVICE>(device)); }

NTSTATUS DisableInterrupts(FxDevice* device) { return InterruptsDisable(Handle<WDFDEVICE>(device)); }

}  // namespace kshim::wdf

using namespace kshim::wdf;

// ================================================================================================
// driver
// ================================================================================================
NTSTATUS WdfDriverCreate(PDRIVER_OBJECT DriverObject, PCUNICODE_STRING RegistryPath,
                         PWDF_OBJECT_ATTRIBUTES DriverAttributes, PWDF_DRIVER_CONFIG DriverConfig, WDFDRIVER* Driver)
{
    RequirePassive("WdfDriverCreate");
    if (Driver != nullptr) {
        *Driver = nullptr;
    }
    if (DriverObject == nullptr || DriverConfig == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (DriverConfig->Size != sizeof(WDF_DRIVER_CONFIG) || !AttributesValid(DriverAttributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (CurrentDriver() != nullptr) {
        KshimViolation("WdfDriverCreate called twice", nullptr);
        return STATUS_INVALID_DEVICE_STATE;
    }
    NTSTATUS status;
    if (CreateFault(Kind::Driver, &status)) {
        return status;
    }
    auto* driver = new FxDriver();
    driver->wdm = DriverObject;
    driver->config = *DriverConfig;
    if (driver->config.DriverPoolTag == 0) {
        driver->config.DriverPoolTag = KSHIM_TAG('F', 'x', 'D', 'r');
    }
    if (RegistryPath != nullptr && RegistryPath->Buffer != nullptr) {
        driver->registryPath.assign(RegistryPath->Buffer, RegistryPath->Length / sizeof(WCHAR));
    }
    status = Register(driver, DriverAttributes, nullptr, "WdfDriverCreate");
    if (!NT_SUCCESS(status)) {
        delete driver;
        return status;
    }
    DriverObject->DriverUnload = DriverUnloadRoutine;
    g_driver.store(driver, std::memory_order_release);
    if (Driver != nullptr) {
        *Driver = Handle<WDFDRIVER>(driver);
    }
    return STATUS_SUCCESS;
}

PDRIVER_OBJECT WdfDriverWdmGetDriverObject(WDFDRIVER Driver)
{
    auto* driver = Lookup<FxDriver>(Driver, "WdfDriverWdmGetDriverObject");
    return driver != nullptr ? driver->wdm : nullptr;
}

WDFDRIVER WdfGetDriver() { return Handle<WDFDRIVER>(CurrentDriver()); }

// ================================================================================================
// device initialisation
// ================================================================================================
VOID WdfDeviceInitSetPnpPowerEventCallbacks(PWDFDEVICE_INIT DeviceInit, PWDF_PNPPOWER_EVENT_CALLBACKS Callbacks)
{
    WDFDEVICE_INIT* init = CheckInit(DeviceInit, "WdfDeviceInitSetPnpPowerEventCallbacks");
    if (init == nullptr || Callbacks == nullptr) {
        return;
    }
    if (Callbacks->Size != sizeof(WDF_PNPPOWER_EVENT_CALLBACKS)) {
        KshimViolation("PnP and power callbacks record of the wrong size", nullptr);
        return;
    }
    init->pnp = *Callbacks;
}

VOID WdfDeviceInitSetPowerPolicyEventCallbacks(PWDFDEVICE_INIT DeviceInit, PWDF_POWER_POLICY_EVENT_CALLBACKS Callbacks)
{
    WDFDEVICE_INIT* init = CheckInit(DeviceInit, "WdfDeviceInitSetPowerPolicyEventCallbacks");
    if (init == nullptr || Callbacks == nullptr) {
        return;
    }
    if (Callbacks->Size != sizeof(WDF_POWER_POLICY_EVENT_CALLBACKS)) {
        KshimViolation("power-policy callbacks record of the wrong size", nullptr);
        return;
    }
    init->policy = *Callbacks;
}

PWDFDEVICE_INIT WdfControlDeviceInitAllocate(WDFDRIVER Driver, PCUNICODE_STRING SDDLString)
{
    RequirePassive("WdfControlDeviceInitAllocate");
    auto* driver = Lookup<FxDriver>(Driver, "WdfControlDeviceInitAllocate");
    if (driver == nullptr || !ValidCounted(SDDLString)) {
        return nullptr;
    }
    NTSTATUS ignored;
    if (kshim::FaultCheck("wdf.controlinit", nullptr, &ignored)) {
        return nullptr;
    }
    PWDFDEVICE_INIT init = NewPnpDeviceInit(driver, nullptr, nullptr);
    init->control = true;
    init->sddl = FromCounted(SDDLString);
    return init;
}

VOID WdfDeviceInitSetExclusive(PWDFDEVICE_INIT DeviceInit, BOOLEAN IsExclusive)
{
    if (WDFDEVICE_INIT* init = CheckInit(DeviceInit, "WdfDeviceInitSetExclusive")) {
        init->exclusive = IsExclusive != FALSE;
    }
}

NTSTATUS WdfDeviceInitAssignName(PWDFDEVICE_INIT DeviceInit, PCUNICODE_STRING DeviceName)
{
    WDFDEVICE_INIT* init = CheckInit(DeviceInit, "WdfDeviceInitAssignName");
    if (init == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (DeviceName == nullptr) {
        init->name.clear();
        return STATUS_SUCCESS;
    }
    if (!ValidCounted(DeviceName)) {
        return STATUS_INVALID_PARAMETER;
    }
    init->name = FromCounted(DeviceName);
    return STATUS_SUCCESS;
}

VOID WdfControlDeviceInitSetShutdownNotification(PWDFDEVICE_INIT DeviceInit,
                                                 PFN_WDF_DEVICE_SHUTDOWN_NOTIFICATION Notification, UCHAR Flags)
{
    WDFDEVICE_INIT* init = CheckInit(DeviceInit, "WdfControlDeviceInitSetShutdownNotification");
    if (init == nullptr) {
        return;
    }
    if (!init->control) {
        KshimViolation("shutdown notification set on a PnP device-initialisation object", nullptr);
        return;
    }
    init->shutdown = Notification;
    init->shutdownFlags = Flags;
}

VOID WdfDeviceInitFree(PWDFDEVICE_INIT DeviceInit)
{
    if (DeviceInit == nullptr) {
        return;
    }
    if (!DeviceInit->control) {
        KshimViolation("WdfDeviceInitFree of a PnP device-initialisation object (the framework owns it)", nullptr);
        return;
    }
    if (DeviceInit->consumed) {
        KshimViolation("WdfDeviceInitFree after WdfDeviceCreate consumed the object", nullptr);
        return;
    }
    FreeDeviceInit(DeviceInit);
}

// ================================================================================================
// device creation
// ================================================================================================
NTSTATUS WdfDeviceCreate(PWDFDEVICE_INIT* DeviceInit, PWDF_OBJECT_ATTRIBUTES DeviceAttributes, WDFDEVICE* Device)
{
    RequirePassive("WdfDeviceCreate");
    if (Device != nullptr) {
        *Device = nullptr;
    }
    if (DeviceInit == nullptr || Device == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    WDFDEVICE_INIT* init = CheckInit(*DeviceInit, "WdfDeviceCreate");
    if (init == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (!AttributesValid(DeviceAttributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    NTSTATUS status;
    if (CreateFault(Kind::Device, &status)) {
        return status;
    }
    auto* device = new FxDevice();
    device->driver = init->driver;
    device->control = init->control;
    device->pnp = init->pnp;
    device->policy = init->policy;
    device->pdo = init->pdo;
    device->lower = init->lower;
    device->shutdown = init->shutdown;
    kshim::host::DeviceRecord& settings = device->settings;
    settings.control = init->control;
    settings.name = init->name;
    settings.sddl = init->sddl;
    settings.exclusive = init->exclusive;
    settings.hasShutdownNotification = init->shutdown != nullptr;
    settings.shutdownFlags = init->shutdownFlags;
    settings.netDevice = init->netDevice;
    settings.wifiDevice = init->wifiDevice;
    if (!settings.name.empty() && !ClaimName(settings.name, device)) {
        delete device;
        return STATUS_OBJECT_NAME_COLLISION;
    }
    status = Register(device, DeviceAttributes, init->driver, "WdfDeviceCreate");
    if (!NT_SUCCESS(status)) {
        delete device;
        return status;
    }
    PDRIVER_OBJECT wdm = init->driver != nullptr ? init->driver->wdm : nullptr;
    device->fdo = kshim::io::NewDeviceObject(wdm, init->control ? KshimDeviceControl : KshimDeviceFunctional,
                                             init->netDevice ? FILE_DEVICE_NETWORK : FILE_DEVICE_UNKNOWN);
    if (init->exclusive) {
        device->fdo->Flags |= DO_EXCLUSIVE;
    }
    if (!init->control) {
        if (init->lower != nullptr) {
            kshim::io::AttachDevice(device->fdo, init->lower);
        }
        device->fdo->Flags &= ~DO_DEVICE_INITIALIZING;  // the framework clears it when the add returns
        // The resource lists handed to prepare and release hardware belong to the device.
        device->rawResources = new FxResourceList();
        device->translatedResources = new FxResourceList();
        Register(device->rawResources, nullptr, device, "WdfDeviceCreate");
        Register(device->translatedResources, nullptr, device, "WdfDeviceCreate");
    }
    init->created = device;
    init->consumed = true;
    if (init->control) {
        FreeDeviceInit(init);
    }
    // A PnP initialisation object stays with the framework until the device add returns; the
    // driver's pointer is cleared either way.
    *DeviceInit = nullptr;
    *Device = Handle<WDFDEVICE>(device);
    return STATUS_SUCCESS;
}

PDEVICE_OBJECT WdfDeviceWdmGetDeviceObject(WDFDEVICE Device)
{
    auto* device = Lookup<FxDevice>(Device, "WdfDeviceWdmGetDeviceObject");
    return device != nullptr ? device->fdo : nullptr;
}

PDEVICE_OBJECT WdfDeviceWdmGetPhysicalDevice(WDFDEVICE Device)
{
    auto* device = Lookup<FxDevice>(Device, "WdfDeviceWdmGetPhysicalDevice");
    return device != nullptr ? device->pdo : nullptr;
}

PDEVICE_OBJECT WdfDeviceWdmGetAttachedDevice(WDFDEVICE Device)
{
    auto* device = Lookup<FxDevice>(Device, "WdfDeviceWdmGetAttachedDevice");
    return device != nullptr ? device->lower : nullptr;
}

WDFDRIVER WdfDeviceGetDriver(WDFDEVICE Device)
{
    auto* device = Lookup<FxDevice>(Device, "WdfDeviceGetDriver");
    return device != nullptr ? Handle<WDFDRIVER>(device->driver) : nullptr;
}

// ================================================================================================
// power capabilities and power policy
// ================================================================================================
NTSTATUS WdfDeviceSetPowerCapabilities(WDFDEVICE Device, PWDF_DEVICE_POWER_CAPABILITIES PowerCapabilities)
{
    auto* device = Lookup<FxDevice>(Device, "WdfDeviceSetPowerCapabilities");
    if (device == nullptr || PowerCapabilities == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (PowerCapabilities->Size != sizeof(WDF_DEVICE_POWER_CAPABILITIES)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    std::lock_guard<std::mutex> guard(device->settingsLock);
    device->settings.powerCapabilities = *PowerCapabilities;
    device->settings.hasPowerCapabilities = true;
    return STATUS_SUCCESS;
}

NTSTATUS WdfDeviceAssignS0IdleSettings(WDFDEVICE Device, PWDF_DEVICE_POWER_POLICY_IDLE_SETTINGS Settings)
{
    return AssignPowerPolicy(Device, Settings, "WdfDeviceAssignS0IdleSettings", "wdf.s0idle",
                             &kshim::host::DeviceRecord::hasS0Idle, &kshim::host::DeviceRecord::s0Idle);
}

NTSTATUS WdfDeviceAssignSxWakeSettings(WDFDEVICE Device, PWDF_DEVICE_POWER_POLICY_WAKE_SETTINGS Settings)
{
    return AssignPowerPolicy(Device, Settings, "WdfDeviceAssignSxWakeSettings", "wdf.sxwake",
                             &kshim::host::DeviceRecord::hasSxWake, &kshim::host::DeviceRecord::sxWake);
}

// ================================================================================================
// control device
// ================================================================================================
NTSTATUS WdfDeviceCreateSymbolicLink(WDFDEVICE Device, PCUNICODE_STRING SymbolicLinkName)
{
    RequirePassive("WdfDeviceCreateSymbolicLink");
    auto* device = Lookup<FxDevice>(Device, "WdfDeviceCreateSymbolicLink");
    if (device == nullptr || !ValidCounted(SymbolicLinkName)) {
        return STATUS_INVALID_PARAMETER;
    }
    NTSTATUS status;
    if (kshim::FaultCheck("wdf.symlink", nullptr, &status)) {
        return status;
    }
    std::u16string link = FromCounted(SymbolicLinkName);
    if (!ClaimName(link, device)) {
        return STATUS_OBJECT_NAME_COLLISION;
    }
    std::lock_guard<std::mutex> guard(device->settingsLock);
    device->settings.symbolicLinks.push_back(link);
    return STATUS_SUCCESS;
}

VOID WdfControlFinishInitializing(WDFDEVICE Device)
{
    auto* device = Lookup<FxDevice>(Device, "WdfControlFinishInitializing");
    if (device == nullptr) {
        return;
    }
    if (!device->control) {
        KshimViolation("WdfControlFinishInitializing on a PnP device", nullptr);
        return;
    }
    std::lock_guard<std::mutex> guard(device->settingsLock);
    device->settings.controlFinished = true;
    device->fdo->Flags &= ~DO_DEVICE_INITIALIZING;
}
