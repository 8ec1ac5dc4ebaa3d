// The OS side of the framework: driver load and unload, device add, and the PnP and power
// sequence in the framework's order.
#include "kshim/host/net_queue.h"
#include "kshim/host/os.h"

#include <cstdio>

#include "engine.h"
#include "internal.h"
#include "io_internal.h"
#include "kshim/host/control.h"
#include "kshim/host/dma.h"
#include "kshim/host/pci_device.h"
#include "wdf_internal.h"
#include "wdf_interrupt_internal.h"
#include "wdf_resources_internal.h"

namespace kshim::host {
namespace {

size_t RunningThreads() { return kshim::SystemThreadsRunning(); }

// Where device add places the BARs of the devices whose configuration chose no base.
constexpr uint64_t kBarWindowBase = 0xE0000000;
constexpr uint64_t kBarWindowStride = 0x01000000;

void RequirePassiveCaller(const char* call)
{
    if (KeGetCurrentIrql() != PASSIVE_LEVEL) {
        KshimViolation("the PnP manager was called above PASSIVE_LEVEL", call);
    }
}

}  // namespace

// ================================================================================================
// options and names
// ================================================================================================
void SetOsWdiVersion(uint32_t version) { kshim::wdf::SetOsWdiVersion(version); }
uint32_t OsWdiVersion() { return kshim::wdf::OsWdiVersion(); }

const char* OsStepName(OsStep step)
{
    switch (step) {
    case OsStep::DriverEntry: return "DriverEntry";
    case OsStep::DeviceAdd: return "EvtDriverDeviceAdd";
    case OsStep::PrepareHardware: return "EvtDevicePrepareHardware";
    case OsStep::D0Entry: return "EvtDeviceD0Entry";
    case OsStep::D0EntryPostInterruptsEnabled: return "EvtDeviceD0EntryPostInterruptsEnabled";
    case OsStep::ArmWakeFromSx: return "EvtDeviceArmWakeFromSx";
    case OsStep::WakeFromSxTriggered: return "EvtDeviceWakeFromSxTriggered";
    case OsStep::DisarmWakeFromSx: return "EvtDeviceDisarmWakeFromSx";
    case OsStep::D0ExitPreInterruptsDisabled: return "EvtDeviceD0ExitPreInterruptsDisabled";
    case OsStep::FlushDpcs: return "KeFlushQueuedDpcs";
    case OsStep::D0Exit: return "EvtDeviceD0Exit";
    case OsStep::ReleaseHardware: return "EvtDeviceReleaseHardware";
    case OsStep::SurpriseRemoval: return "EvtDeviceSurpriseRemoval";
    case OsStep::ShutdownNotification: return "EvtDeviceShutdownNotification";
    case OsStep::DeviceDelete: return "device deleted";
    case OsStep::DriverUnload: return "EvtDriverUnload";
    case OsStep::CreateAdapter: return "EvtWifiDeviceCreateAdapter";
    }
    return "?";
}

const char* PowerStateName(WDF_POWER_DEVICE_STATE state)
{
    switch (state) {
    case WdfPowerDeviceInvalid: return "Invalid";
    case WdfPowerDeviceD0: return "D0";
    case WdfPowerDeviceD1: return "D1";
    case WdfPowerDeviceD2: return "D2";
    case WdfPowerDeviceD3: return "D3";
    case WdfPowerDeviceD3Final: return "D3Final";
    case WdfPowerDevicePrepareForHibernation: return "PrepareForHibernation";
    case WdfPowerDeviceMaximum: return "Maximum";
    }
    return "?";
}

std::string OsLogEntry::ToString() const
{
    char text[192];
    const char* direction = nullptr;
    switch (step) {
    case OsStep::D0Entry:
    case OsStep::D0EntryPostInterruptsEnabled: direction = "previous"; break;
    case OsStep::D0ExitPreInterruptsDisabled:
    case OsStep::D0Exit: direction = "target"; break;
    default: break;
    }
    char state_text[48] = "";
    if (direction != nullptr) {
        std::snprintf(state_text, sizeof(state_text), " (%s %s)", direction, PowerStateName(state));
    }
    std::snprintf(text, sizeof(text), "%s%s%s%s -> 0x%08X", device.c_str(), device.empty() ? "" : ": ",
                  OsStepName(step), state_text, static_cast<unsigned>(status));
    return text;
}

// ================================================================================================
// the OS
// ================================================================================================
Os::Os() = default;

// A driver still loaded stays loaded (its objects stay valid) until the process ends.
Os::~Os()
{
    if (loaded_) {
        return;
    }
    for (auto& device : devices_) {
        if (device->pdo_ != nullptr) {
            return;  // a stack still references the bus driver
        }
    }
    kshim::io::FreeDriverObject(busDriver_);
}

NTSTATUS Os::Call(OsDevice* device, OsStep step, WDF_POWER_DEVICE_STATE state, const std::function<NTSTATUS()>& fn)
{
    NTSTATUS status = STATUS_SUCCESS;
    kshim::engine::RunAt(PASSIVE_LEVEL, OsStepName(step), [&] { status = fn(); });
    std::lock_guard<std::mutex> guard(logLock_);
    log_.push_back(OsLogEntry{device != nullptr ? device->name_ : std::string(), step, state, status});
    return status;
}

NTSTATUS Os::Load(PDRIVER_INITIALIZE driverEntry, const std::u16string& serviceName)
{
    RequirePassiveCaller("Os::Load");
    if (loaded_ || kshim::wdf::CurrentDriver() != nullptr) {
        KshimViolation("a driver is already loaded", nullptr);
        return STATUS_INVALID_DEVICE_STATE;
    }
    poolBaseline_ = PoolOutstandingBlocks();
    handleBaseline_ = kshim::HandleCount();
    dmaBaseline_ = DmaLiveCommonBuffers();
    threadBaseline_ = RunningThreads();
    driverObject_ = kshim::io::NewDriverObject(serviceName, driverEntry);
    if (busDriver_ == nullptr) {
        busDriver_ = kshim::io::NewDriverObject(u"pci", nullptr);
    }
    registryPath_ = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\" + serviceName;
    UNICODE_STRING path;
    path.Buffer = registryPath_.data();
    path.Length = static_cast<USHORT>(registryPath_.size() * sizeof(WCHAR));
    path.MaximumLength = path.Length;
    PDRIVER_OBJECT driverObject = driverObject_;
    NTSTATUS status = Call(nullptr, OsStep::DriverEntry, WdfPowerDeviceInvalid,
                           [&] { return driverEntry(driverObject, &path); });
    if (!NT_SUCCESS(status)) {
        // The image goes away: the framework deletes a driver object it created, and whatever the
        // driver left behind is reported as at an unload.
        kshim::wdf::UnloadSnapshot snapshot = kshim::wdf::TakeUnloadSnapshot();
        if (kshim::wdf::FxDriver* driver = kshim::wdf::CurrentDriver()) {
            kshim::wdf::FrameworkDelete(driver);
        }
        Check(snapshot);
        kshim::io::FreeDriverObject(driverObject_);
        driverObject_ = nullptr;
        return status;
    }
    loaded_ = true;
    return status;
}

OsDevice* Os::AddDevice(const DeviceConfig& config)
{
    RequirePassiveCaller("Os::AddDevice");
    devices_.push_back(std::make_unique<OsDevice>());
    OsDevice* device = devices_.back().get();
    device->name_ = config.name;
    if (config.pci != nullptr) {
        uint64_t base = config.barPhysicalBase;
        if (base == 0) {
            base = kBarWindowBase + kBarWindowStride * devicesWithBar_++;
        }
        if (PciAttach(config.pci, base, 0)) {
            device->pci_ = config.pci;
            device->barBase_ = base;
        } else {
            KshimViolation("the device's BAR overlaps another device's", config.name.c_str());
        }
    }
    kshim::wdf::FxDriver* driver = kshim::wdf::CurrentDriver();
    if (!loaded_ || driver == nullptr || driver->config.EvtDriverDeviceAdd == nullptr) {
        device->addStatus_ = STATUS_INVALID_DEVICE_REQUEST;
        device->state_ = DeviceState::Failed;
        return device;
    }
    // The bus's device and the filter above it, to which the driver's device will be attached.
    device->pdo_ = kshim::io::NewDeviceObject(busDriver_, KshimDevicePhysical, FILE_DEVICE_BUS_EXTENDER);
    device->lower_ = kshim::io::NewDeviceObject(busDriver_, KshimDeviceLower, FILE_DEVICE_BUS_EXTENDER);
    device->pdo_->Flags &= ~DO_DEVICE_INITIALIZING;
    device->lower_->Flags &= ~DO_DEVICE_INITIALIZING;
    kshim::io::AttachDevice(device->lower_, device->pdo_);

    PWDFDEVICE_INIT init = kshim::wdf::NewPnpDeviceInit(driver, device->pdo_, device->lower_);
    PFN_WDF_DRIVER_DEVICE_ADD add = driver->config.EvtDriverDeviceAdd;
    NTSTATUS status = Call(device, OsStep::DeviceAdd, WdfPowerDeviceInvalid,
                           [&] { return add(kshim::wdf::Handle<WDFDRIVER>(driver), init); });
    kshim::wdf::FxDevice* created = init->created;
    if (NT_SUCCESS(status) && created == nullptr) {
        // A successful add must have created the device.
        status = STATUS_INVALID_DEVICE_STATE;
    }
    kshim::wdf::FreeDeviceInit(init);
    device->addStatus_ = status;
    if (!NT_SUCCESS(status)) {
        // The framework deletes a device created by a failed add.
        if (created != nullptr) {
            device->fx_ = created;
            DeleteDevice(device);
        }
        FreeStack(device);
        device->state_ = DeviceState::Failed;
        return device;
    }
    device->fx_ = created;
    device->handle_ = kshim::wdf::Handle<WDFDEVICE>(created);
    device->state_ = DeviceState::Added;
    GiveResources(device, config);
    if (device->pci_ != nullptr) {
        // The function's interrupt messages go to the device's interrupt objects.
        kshim::wdf::InterruptConnect(device->handle_, device->pci_);
    }
    return device;
}

NTSTATUS Os::CallReleaseHardware(OsDevice* device)
{
    kshim::wdf::FxDevice* fx = device->fx_;
    device->hardwarePrepared_ = false;
    if (fx->pnp.EvtDeviceReleaseHardware == nullptr) {
        return STATUS_SUCCESS;
    }
    return Call(device, OsStep::ReleaseHardware, WdfPowerDeviceInvalid, [&] {
        return fx->pnp.EvtDeviceReleaseHardware(device->handle_,
                                                kshim::wdf::Handle<WDFCMRESLIST>(fx->translatedResources));
    });
}

NTSTATUS Os::CallPrepareHardware(OsDevice* device)
{
    kshim::wdf::FxDevice* fx = device->fx_;
    device->hardwarePrepared_ = true;
    if (fx->pnp.EvtDevicePrepareHardware == nullptr) {
        return STATUS_SUCCESS;
    }
    return Call(device, OsStep::PrepareHardware, WdfPowerDeviceInvalid, [&] {
        return fx->pnp.EvtDevicePrepareHardware(device->handle_, kshim::wdf::Handle<WDFCMRESLIST>(fx->rawResources),
                                                kshim::wdf::Handle<WDFCMRESLIST>(fx->translatedResources));
    });
}

NTSTATUS Os::PrepareHardware(OsDevice* device)
{
    RequirePassiveCaller("Os::PrepareHardware");
    if (device == nullptr || device->fx_ == nullptr || device->hardwarePrepared_ ||
        (device->state_ != DeviceState::Added && device->state_ != DeviceState::Stopped)) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    NTSTATUS status = CallPrepareHardware(device);
    if (!NT_SUCCESS(status)) {
        CallReleaseHardware(device);
        device->state_ = DeviceState::Failed;
    }
    return status;
}

NTSTATUS Os::ReleaseHardware(OsDevice* device)
{
    RequirePassiveCaller("Os::ReleaseHardware");
    if (device == nullptr || device->fx_ == nullptr || !device->hardwarePrepared_ || device->inD0_) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    return CallReleaseHardware(device);
}

NTSTATUS Os::PowerUp(OsDevice* device, WDF_POWER_DEVICE_STATE previous)
{
    kshim::wdf::FxDevice* fx = device->fx_;
    WDFDEVICE h = device->handle_;
    NTSTATUS status = STATUS_SUCCESS;
    if (fx->pnp.EvtDeviceD0Entry != nullptr) {
        status = Call(device, OsStep::D0Entry, previous, [&] { return fx->pnp.EvtDeviceD0Entry(h, previous); });
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
    auto undoD0Entry = [&] {
        if (fx->pnp.EvtDeviceD0Exit != nullptr) {
            Call(device, OsStep::D0Exit, WdfPowerDeviceD3Final,
                 [&] { return fx->pnp.EvtDeviceD0Exit(h, WdfPowerDeviceD3Final); });
        }
    };
    status = kshim::wdf::EnableInterrupts(fx);
    if (!NT_SUCCESS(status)) {
        undoD0Entry();
        return status;
    }
    if (fx->pnp.EvtDeviceD0EntryPostInterruptsEnabled != nullptr) {
        status = Call(device, OsStep::D0EntryPostInterruptsEnabled, previous,
                      [&] { return fx->pnp.EvtDeviceD0EntryPostInterruptsEnabled(h, previous); });
        if (!NT_SUCCESS(status)) {
            kshim::wdf::DisableInterrupts(fx);
            Call(device, OsStep::FlushDpcs, WdfPowerDeviceInvalid, [] {
                KeFlushQueuedDpcs();
                return STATUS_SUCCESS;
            });
            undoD0Entry();
            return status;
        }
    }
    device->inD0_ = true;
    return STATUS_SUCCESS;
}

NTSTATUS Os::PowerDown(OsDevice* device, WDF_POWER_DEVICE_STATE target)
{
    kshim::wdf::FxDevice* fx = device->fx_;
    WDFDEVICE h = device->handle_;
    NTSTATUS first = STATUS_SUCCESS;
    auto note = [&first](NTSTATUS s) {
        if (NT_SUCCESS(first) && !NT_SUCCESS(s)) {
            first = s;
        }
    };
    if (target == WdfPowerDeviceD3Final) {
        // The network adapters' data path stops before the device leaves D0 for good.
        NetQueuesStopAll();
    }
    if (fx->pnp.EvtDeviceD0ExitPreInterruptsDisabled != nullptr) {
        note(Call(device, OsStep::D0ExitPreInterruptsDisabled, target,
                  [&] { return fx->pnp.EvtDeviceD0ExitPreInterruptsDisabled(h, target); }));
    }
    note(kshim::wdf::DisableInterrupts(fx));
    // No deferred routine of the device runs after its power-down.
    Call(device, OsStep::FlushDpcs, WdfPowerDeviceInvalid, [] {
        KeFlushQueuedDpcs();
        return STATUS_SUCCESS;
    });
    if (fx->pnp.EvtDeviceD0Exit != nullptr) {
        note(Call(device, OsStep::D0Exit, target, [&] { return fx->pnp.EvtDeviceD0Exit(h, target); }));
    }
    device->inD0_ = false;
    return first;
}

NTSTATUS Os::Start(OsDevice* device)
{
    RequirePassiveCaller("Os::Start");
    if (device == nullptr || (device->state_ != DeviceState::Added && device->state_ != DeviceState::Stopped)) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    NTSTATUS status = CallPrepareHardware(device);
    if (NT_SUCCESS(status)) {
        status = PowerUp(device, WdfPowerDeviceD3Final);
    }
    if (!NT_SUCCESS(status)) {
        // Release hardware follows a failed preparation too: the driver undoes what it did.
        CallReleaseHardware(device);
        device->state_ = DeviceState::Failed;
        return status;
    }
    device->state_ = DeviceState::Started;
    device->lowPower_ = WdfPowerDeviceD3Final;
    return STATUS_SUCCESS;
}

NTSTATUS Os::Stop(OsDevice* device)
{
    RequirePassiveCaller("Os::Stop");
    if (device == nullptr || (device->state_ != DeviceState::Started && device->state_ != DeviceState::Sleeping &&
                              device->state_ != DeviceState::Failed)) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    if (device->fx_ == nullptr) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    NTSTATUS status = STATUS_SUCCESS;
    if (device->inD0_) {
        status = PowerDown(device, WdfPowerDeviceD3Final);
    }
    if (device->hardwarePrepared_) {
        NTSTATUS released = CallReleaseHardware(device);
        if (NT_SUCCESS(status)) {
            status = released;
        }
    }
    device->wakeArmed_ = false;
    device->state_ = DeviceState::Stopped;
    return status;
}

NTSTATUS Os::Sleep(OsDevice* device, const SleepOptions& options)
{
    RequirePassiveCaller("Os::Sleep");
    if (device == nullptr || device->state_ != DeviceState::Started) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    WDF_POWER_DEVICE_STATE target = options.target;
    if (target != WdfPowerDeviceD1 && target != WdfPowerDeviceD2 && target != WdfPowerDeviceD3 &&
        target != WdfPowerDevicePrepareForHibernation) {
        return STATUS_INVALID_PARAMETER;
    }
    kshim::wdf::FxDevice* fx = device->fx_;
    bool arm;
    switch (options.wake) {
    case SleepOptions::Wake::Arm: arm = true; break;
    case SleepOptions::Wake::DoNotArm: arm = false; break;
    default: {
        std::lock_guard<std::mutex> guard(fx->settingsLock);
        arm = fx->settings.hasSxWake && fx->settings.sxWake.Enabled != WdfFalse;
        break;
    }
    }
    NTSTATUS first = STATUS_SUCCESS;
    device->wakeArmed_ = false;
    if (arm) {
        NTSTATUS armed = STATUS_SUCCESS;
        if (fx->policy.EvtDeviceArmWakeFromSx != nullptr) {
            armed = Call(device, OsStep::ArmWakeFromSx, WdfPowerDeviceInvalid,
                         [&] { return fx->policy.EvtDeviceArmWakeFromSx(device->handle_); });
        }
        // A device that cannot be armed still goes to sleep, without wake.
        device->wakeArmed_ = NT_SUCCESS(armed);
        first = armed;
    }
    NTSTATUS down = PowerDown(device, target);
    if (NT_SUCCESS(first)) {
        first = down;
    }
    device->wakeTriggered_ = options.wakeTriggered;
    device->lowPower_ = target == WdfPowerDevicePrepareForHibernation ? WdfPowerDeviceD3 : target;
    device->state_ = DeviceState::Sleeping;
    return first;
}

NTSTATUS Os::Resume(OsDevice* device)
{
    RequirePassiveCaller("Os::Resume");
    if (device == nullptr || device->state_ != DeviceState::Sleeping) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    kshim::wdf::FxDevice* fx = device->fx_;
    NTSTATUS status = PowerUp(device, device->lowPower_);
    if (!NT_SUCCESS(status)) {
        device->state_ = DeviceState::Failed;
        return status;
    }
    device->state_ = DeviceState::Started;
    if (device->wakeArmed_) {
        if (device->wakeTriggered_ && fx->policy.EvtDeviceWakeFromSxTriggered != nullptr) {
            Call(device, OsStep::WakeFromSxTriggered, WdfPowerDeviceInvalid, [&] {
                fx->policy.EvtDeviceWakeFromSxTriggered(device->handle_);
                return STATUS_SUCCESS;
            });
        }
        if (fx->policy.EvtDeviceDisarmWakeFromSx != nullptr) {
            Call(device, OsStep::DisarmWakeFromSx, WdfPowerDeviceInvalid, [&] {
                fx->policy.EvtDeviceDisarmWakeFromSx(device->handle_);
                return STATUS_SUCCESS;
            });
        }
        device->wakeArmed_ = false;
    }
    device->wakeTriggered_ = false;
    return STATUS_SUCCESS;
}

NTSTATUS Os::SurpriseRemove(OsDevice* device, SurpriseRemovalOrder order)
{
    RequirePassiveCaller("Os::SurpriseRemove");
    if (device == nullptr || device->fx_ == nullptr || device->state_ == DeviceState::Removed ||
        device->state_ == DeviceState::SurpriseRemoved) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    kshim::wdf::FxDevice* fx = device->fx_;
    auto surprise = [&] {
        if (fx->pnp.EvtDeviceSurpriseRemoval != nullptr) {
            Call(device, OsStep::SurpriseRemoval, WdfPowerDeviceInvalid, [&] {
                fx->pnp.EvtDeviceSurpriseRemoval(device->handle_);
                return STATUS_SUCCESS;
            });
        }
    };
    NTSTATUS status = STATUS_SUCCESS;
    if (order == SurpriseRemovalOrder::BeforeD0Exit) {
        surprise();
    }
    if (device->inD0_) {
        status = PowerDown(device, WdfPowerDeviceD3Final);
    }
    if (order == SurpriseRemovalOrder::AfterD0Exit) {
        surprise();
    }
    if (device->hardwarePrepared_) {
        NTSTATUS released = CallReleaseHardware(device);
        if (NT_SUCCESS(status)) {
            status = released;
        }
    }
    device->wakeArmed_ = false;
    device->state_ = DeviceState::SurpriseRemoved;
    return status;
}

void Os::GiveResources(OsDevice* device, const DeviceConfig& config)
{
    if (device->pci_ == nullptr) {
        return;
    }
    std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR> raw = config.extraDescriptors;
    std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR> translated = config.extraDescriptors;

    CM_PARTIAL_RESOURCE_DESCRIPTOR memory{};
    memory.Type = CmResourceTypeMemory;
    memory.ShareDisposition = CmResourceShareDeviceExclusive;
    memory.Flags = CM_RESOURCE_MEMORY_READ_WRITE;
    memory.u.Memory.Start.QuadPart = static_cast<LONGLONG>(device->barBase_);
    uint64_t barSize = device->pci_->BarSize(0);
    memory.u.Memory.Length = config.barLength != 0 ? config.barLength : static_cast<ULONG>(barSize);

    CM_PARTIAL_RESOURCE_DESCRIPTOR rawInterrupt{};
    rawInterrupt.Type = CmResourceTypeInterrupt;
    rawInterrupt.ShareDisposition = CmResourceShareDeviceExclusive;
    rawInterrupt.Flags = CM_RESOURCE_INTERRUPT_LATCHED | CM_RESOURCE_INTERRUPT_MESSAGE;
    rawInterrupt.u.MessageInterrupt.Raw.MessageCount = config.interruptMessages;
    rawInterrupt.u.MessageInterrupt.Raw.Vector = 0;
    rawInterrupt.u.MessageInterrupt.Raw.Affinity = 1;
    CM_PARTIAL_RESOURCE_DESCRIPTOR translatedInterrupt = rawInterrupt;
    translatedInterrupt.u.MessageInterrupt.Translated.Level = kTranslatedInterruptLevel;
    translatedInterrupt.u.MessageInterrupt.Translated.Vector = kTranslatedInterruptVector;
    translatedInterrupt.u.MessageInterrupt.Translated.Affinity = 1;

    auto addMemory = [&] {
        raw.push_back(memory);
        translated.push_back(memory);
    };
    if (config.memoryBeforeInterrupt) {
        addMemory();
    }
    if (!config.noInterrupt) {
        raw.push_back(rawInterrupt);
        translated.push_back(translatedInterrupt);
    }
    if (!config.memoryBeforeInterrupt) {
        addMemory();
    }
    kshim::wdf::SetDeviceResources(device->fx_, raw, translated);
    kshim::wdf::SetDeviceBus(device->fx_, device->pci_);
}

int OsDevice::BusInterfaceReferences() const
{
    return fx_ != nullptr ? kshim::wdf::BusInterfaceReferences(fx_) : 0;
}

void Os::DeleteDevice(OsDevice* device)
{
    kshim::wdf::FxDevice* fx = device->fx_;
    if (device->pci_ != nullptr) {
        kshim::wdf::InterruptDisconnect(device->handle_);
    }
    kshim::wdf::ForgetDeviceResources(fx);
    Call(device, OsStep::DeviceDelete, WdfPowerDeviceInvalid, [fx] {
        kshim::wdf::FrameworkDelete(fx);
        return STATUS_SUCCESS;
    });
    device->fx_ = nullptr;
    device->handle_ = nullptr;
}

void Os::FreeStack(OsDevice* device)
{
    if (device->pci_ != nullptr) {
        PciDetach(device->pci_);
        device->pci_ = nullptr;
    }
    kshim::io::FreeDeviceObject(device->lower_);
    kshim::io::FreeDeviceObject(device->pdo_);
    device->lower_ = nullptr;
    device->pdo_ = nullptr;
}

void Os::Remove(OsDevice* device)
{
    RequirePassiveCaller("Os::Remove");
    if (device == nullptr || device->state_ == DeviceState::Removed) {
        return;
    }
    if (device->fx_ != nullptr) {
        if (device->inD0_) {
            PowerDown(device, WdfPowerDeviceD3Final);
        }
        if (device->hardwarePrepared_) {
            CallReleaseHardware(device);
        }
        DeleteDevice(device);
    }
    FreeStack(device);
    device->state_ = DeviceState::Removed;
}

void Os::Shutdown()
{
    RequirePassiveCaller("Os::Shutdown");
    for (kshim::wdf::FxDevice* fx : kshim::wdf::ControlDevices()) {
        PFN_WDF_DEVICE_SHUTDOWN_NOTIFICATION notify;
        UCHAR flags;
        {
            std::lock_guard<std::mutex> guard(fx->settingsLock);
            notify = fx->shutdown;
            flags = fx->settings.shutdownFlags;
        }
        if (notify != nullptr && (flags & WdfDeviceShutdown) != 0) {
            Call(nullptr, OsStep::ShutdownNotification, WdfPowerDeviceInvalid, [&] {
                notify(kshim::wdf::Handle<WDFDEVICE>(fx));
                return STATUS_SUCCESS;
            });
        }
    }
}

UnloadReport Os::Unload()
{
    RequirePassiveCaller("Os::Unload");
    if (!loaded_) {
        UnloadReport report;
        report.clean = false;
        report.text = "no driver loaded\n";
        return report;
    }
    for (auto& device : devices_) {
        Remove(device.get());
    }
    PDRIVER_OBJECT driverObject = driverObject_;
    kshim::wdf::UnloadSnapshot snapshot;
    if (driverObject->DriverUnload != nullptr) {
        Call(nullptr, OsStep::DriverUnload, WdfPowerDeviceInvalid, [driverObject] {
            driverObject->DriverUnload(driverObject);
            return STATUS_SUCCESS;
        });
        snapshot = kshim::wdf::LastUnloadSnapshot();  // taken after the driver's unload callback
    } else {
        snapshot = kshim::wdf::TakeUnloadSnapshot();
    }
    UnloadReport report = Check(snapshot);
    kshim::io::FreeDriverObject(driverObject_);
    driverObject_ = nullptr;
    loaded_ = false;
    return report;
}

UnloadReport Os::Check(const kshim::wdf::UnloadSnapshot& snapshot)
{
    UnloadReport report;
    auto finding = [&report](const char* what, const std::string& detail) {
        report.clean = false;
        report.text += what;
        if (!detail.empty()) {
            report.text += ": " + detail;
        }
        report.text += "\n";
        KshimViolation(what, detail.c_str());
    };
    report.frameworkObjects = snapshot.objectsLeft;
    if (snapshot.objectsLeft != 0) {
        std::string list;
        for (const std::string& line : snapshot.objects) {
            list += (list.empty() ? "" : "; ") + line;
        }
        finding("framework objects left at unload", list);
    }
    // Objects outside the driver's tree survive its deletion.
    size_t survivors = kshim::wdf::LiveObjectCount();
    if (survivors != 0 && snapshot.objectsLeft == 0) {
        report.frameworkObjects = survivors;
        std::string list;
        for (const std::string& line : kshim::wdf::LiveObjectDescriptions(nullptr)) {
            list += (list.empty() ? "" : "; ") + line;
        }
        finding("framework objects left at unload", list);
    }
    report.requestsNotCompleted = snapshot.requestsNotCompleted;
    if (snapshot.requestsNotCompleted != 0) {
        finding("request never completed", std::to_string(snapshot.requestsNotCompleted) + " request(s)");
    }
    report.deviceInits = snapshot.initsLeft;
    if (snapshot.initsLeft != 0) {
        finding("device-initialisation object neither used nor freed", std::to_string(snapshot.initsLeft));
    }
    uint64_t pool = PoolOutstandingBlocks();
    report.poolBlocks = pool > poolBaseline_ ? pool - poolBaseline_ : 0;
    if (report.poolBlocks != 0) {
        std::string leaks = PoolLeakReport();
        for (char& c : leaks) {
            c = c == '\n' ? ';' : c;
        }
        finding("pool blocks left at unload", std::to_string(report.poolBlocks) + " block(s): " + leaks);
    }
    size_t buffers = DmaLiveCommonBuffers();
    if (buffers > dmaBaseline_) {
        finding("common buffers left at unload", std::to_string(buffers - dmaBaseline_));
    }
    size_t handles = kshim::HandleCount();
    report.handles = handles > handleBaseline_ ? handles - handleBaseline_ : 0;
    if (report.handles != 0) {
        finding("handles left open at unload", std::to_string(report.handles));
    }
    size_t threads = RunningThreads();
    report.systemThreads = threads > threadBaseline_ ? threads - threadBaseline_ : 0;
    if (report.systemThreads != 0) {
        finding("system threads still running at unload", std::to_string(report.systemThreads));
    }
    report.traceSessionActive = TraceSessionActive();
    if (report.traceSessionActive) {
        finding("trace session still active at unload", "");
    }
    return report;
}

// ================================================================================================
// device-control requests
// ================================================================================================
NTSTATUS Os::CreateAdapter(OsDevice* device, uint16_t portId, WIFI_ADAPTER_TYPE type, CreateAdapterEntry entry)
{
    RequirePassiveCaller("Os::CreateAdapter");
    if (device == nullptr || device->fx_ == nullptr) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    PFN_WIFI_DEVICE_CREATE_ADAPTER create;
    {
        std::lock_guard<std::mutex> guard(device->fx_->settingsLock);
        create = device->fx_->settings.wifiInitialized ? device->fx_->settings.wifi.CreateAdapter : nullptr;
    }
    if (!entry) {
        if (create == nullptr) {
            return STATUS_INVALID_DEVICE_STATE;
        }
        entry = create;
    }
    NETADAPTER_INIT init;
    init.device = device->fx_;
    init.portId = portId;
    init.type = static_cast<ULONG>(type);
    return Call(device, OsStep::CreateAdapter, WdfPowerDeviceInvalid,
                [&] { return entry(device->handle_, &init); });
}

DeviceControlRequest Os::SendDeviceControl(const std::u16string& deviceName, ULONG code,
                                           const std::vector<uint8_t>& input, size_t outputLength,
                                           const std::vector<uint8_t>& outputContents)
{
    DeviceControlRequest request;
    kshim::wdf::FxDevice* fx = kshim::wdf::FindDevice(deviceName);
    if (fx == nullptr) {
        request.record = std::make_shared<kshim::wdf::RequestRecord>();
        request.record->code = code;
        request.record->input = input;
        request.record->completed = true;
        request.record->status = STATUS_OBJECT_NAME_NOT_FOUND;
        return request;
    }
    request.record = kshim::wdf::SubmitDeviceControl(fx, code, input, outputLength, outputContents);
    return request;
}

bool DeviceControlRequest::Wait(unsigned realMs) const
{
    std::unique_lock<std::mutex> lock(record->lock);
    return kshim::host::WaitUntil(lock, record->done, INT64_MAX, [&] { return record->completed; },
                                  std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs));
}

bool DeviceControlRequest::Completed() const
{
    std::lock_guard<std::mutex> guard(record->lock);
    return record->completed;
}

NTSTATUS DeviceControlRequest::Status() const
{
    std::lock_guard<std::mutex> guard(record->lock);
    return record->status;
}

ULONG_PTR DeviceControlRequest::Information() const
{
    std::lock_guard<std::mutex> guard(record->lock);
    return record->information;
}

std::vector<uint8_t> DeviceControlRequest::Output() const
{
    std::lock_guard<std::mutex> guard(record->lock);
    return record->output;
}

// ================================================================================================
// the log
// ================================================================================================
std::vector<OsLogEntry> Os::Log() const
{
    std::lock_guard<std::mutex> guard(logLock_);
    return log_;
}

std::string Os::LogText() const
{
    std::string out;
    for (const OsLogEntry& e : Log()) {
        out += e.ToString();
        out += "\n";
    }
    return out;
}

void Os::ClearLog()
{
    std::lock_guard<std::mutex> guard(logLock_);
    log_.clear();
}

// ================================================================================================
// what the framework recorded
// ================================================================================================
bool DescribeDevice(WDFDEVICE device, DeviceRecord* record)
{
    auto* fx = kshim::wdf::Lookup<kshim::wdf::FxDevice>(device, "DescribeDevice");
    if (fx == nullptr || record == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> guard(fx->settingsLock);
    *record = fx->settings;
    record->hasDefaultQueue = fx->defaultQueue != nullptr;
    return true;
}

WDFDEVICE FindDevice(const std::u16string& nameOrLink)
{
    return kshim::wdf::Handle<WDFDEVICE>(kshim::wdf::FindDevice(nameOrLink));
}

size_t FrameworkObjectCount() { return kshim::wdf::LiveObjectCount(); }

std::vector<std::string> FrameworkObjects() { return kshim::wdf::LiveObjectDescriptions(nullptr); }

// ================================================================================================
// the dispatch engine
// ================================================================================================
void SystemWorkersHold(bool hold) { kshim::engine::WorkHold(hold); }

// ================================================================================================
// deferred routines of the harness
// ================================================================================================
HostDpc::HostDpc(std::function<void()> routine) : routine_(std::move(routine)), dpc_(new kshim::engine::Dpc())
{
    dpc_->owner = this;
    dpc_->routine = [](kshim::engine::Dpc* d) { static_cast<HostDpc*>(d->owner)->routine_(); };
}

HostDpc::~HostDpc() { kshim::engine::DpcCancel(dpc_.get()); }

bool HostDpc::Queue() { return kshim::engine::DpcQueue(dpc_.get()); }

bool HostDpc::Remove() { return kshim::engine::DpcRemove(dpc_.get()); }

}  // namespace kshim::host
