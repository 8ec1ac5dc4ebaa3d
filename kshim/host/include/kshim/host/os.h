// The OS side of the framework: loads a driver, adds its devices and runs PnP and power in the
// framework's order, sends device-control requests to control devices, notifies shutdown and
// unloads the driver with the strict checks of a clean unload. Tests and the testbed use it;
// driver code never includes it.
//
//     kshim::host::Os os;
//     os.Load(&ToyDriverEntry, u"qzlwlan");
//     kshim::host::OsDevice* dev = os.AddDevice();
//     os.Start(dev);  ...  os.Stop(dev);
//     os.Remove(dev);
//     kshim::host::UnloadReport report = os.Unload();
//     std::fputs(os.LogText().c_str(), stdout);
//
// Every call runs the driver's callbacks on the calling thread, which must be at PASSIVE_LEVEL,
// one at a time, and logs each callback with its result.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kshim/io.h"
#include "kshim/wdf.h"
#include "kshim/host/wifi.h"
#include "kshim/wificx.h"

namespace kshim::wdf {
struct FxDevice;
struct RequestRecord;
struct UnloadSnapshot;
}  // namespace kshim::wdf
namespace kshim::engine {
struct Dpc;
}  // namespace kshim::engine

namespace kshim::host {

class PciDevice;

// ---- options of the simulated OS ----------------------------------------------------------------------
// The WDI version WifiDeviceGetOsWdiVersion reports (default 0x00060030, a current OS).
void SetOsWdiVersion(uint32_t version);
uint32_t OsWdiVersion();

// ---- the sequencer's log --------------------------------------------------------------------------------
enum class OsStep : uint8_t {
    DriverEntry,
    DeviceAdd,
    PrepareHardware,
    D0Entry,
    D0EntryPostInterruptsEnabled,
    ArmWakeFromSx,
    WakeFromSxTriggered,
    DisarmWakeFromSx,
    D0ExitPreInterruptsDisabled,
    FlushDpcs,
    D0Exit,
    ReleaseHardware,
    SurpriseRemoval,
    ShutdownNotification,
    DeviceDelete,  // the framework deletes the device (its clean-up callbacks run)
    DriverUnload,
    CreateAdapter,
};
const char* OsStepName(OsStep step);  // the callback's name, e.g. "EvtDeviceD0Entry"
const char* PowerStateName(WDF_POWER_DEVICE_STATE state);  // "D0", "D3Final", ...

struct OsLogEntry {
    std::string device;                                      // the device's name ("" for the driver)
    OsStep step;
    WDF_POWER_DEVICE_STATE state = WdfPowerDeviceInvalid;    // previous (entry) or target (exit) state
    NTSTATUS status = STATUS_SUCCESS;                        // the callback's result
    // e.g. "device0: EvtDeviceD0Entry (previous D3Final) -> 0x00000000"
    std::string ToString() const;
};

// ---- devices --------------------------------------------------------------------------------------------
// The PCI function beneath a device, and the resources the bus assigns it. With a function, device
// add puts its BAR 0 on the bus (PciAttach) at a physical base, the device's bus interface reaches
// its configuration space, and the raw and translated resource lists handed to prepare and release
// hardware hold, in this order: the extra descriptors, then one message-signalled interrupt and one
// memory range covering the BAR (or the memory range first, when asked). Remove takes the function
// off the bus (PciDetach). Without a function both lists are empty and no bus interface is offered.
struct DeviceConfig {
    std::string name = "device0";  // for the log
    kshim::host::PciDevice* pci = nullptr;  // must outlive the device's removal
    // Physical address of BAR 0; 0 chooses one for the device (distinct per added device).
    uint64_t barPhysicalBase = 0;
    // Length of the memory descriptor; 0 gives the BAR's size (a smaller length offers a small BAR).
    uint32_t barLength = 0;
    bool memoryBeforeInterrupt = false;
    bool noInterrupt = false;
    uint16_t interruptMessages = 1;  // messages the interrupt descriptor allows
    // Descriptors put ahead of the device's own, the same in both lists.
    std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR> extraDescriptors;
};
// The vector and level of the device's interrupt in the translated list (the raw list carries
// message data 0 and level 0).
constexpr ULONG kTranslatedInterruptVector = 0x70;
constexpr ULONG kTranslatedInterruptLevel = 11;

enum class DeviceState : uint8_t {
    Added,            // device add succeeded; not started
    Started,          // in D0
    Sleeping,         // in a low-power state, hardware kept
    Stopped,          // hardware released; may be started again
    SurpriseRemoved,  // gone; only Remove is left
    Failed,           // device add or a power-up failed; only Remove is left
    Removed,
};

enum class SurpriseRemovalOrder : uint8_t {
    BeforeD0Exit,  // EvtDeviceSurpriseRemoval, then the power-down callbacks
    AfterD0Exit,   // the power-down callbacks, then EvtDeviceSurpriseRemoval
};

struct SleepOptions {
    // D1, D2, D3 or WdfPowerDevicePrepareForHibernation.
    WDF_POWER_DEVICE_STATE target = WdfPowerDeviceD3;
    // Arm wake from Sx around the sleep. Default: when the driver's Sx-wake settings were accepted
    // and not disabled (Enabled != WdfFalse).
    enum class Wake : uint8_t { Default, Arm, DoNotArm } wake = Wake::Default;
    // The device woke the system: EvtDeviceWakeFromSxTriggered runs on resume before the disarm.
    bool wakeTriggered = false;
};

class OsDevice {
public:
    WDFDEVICE Handle() const { return handle_; }
    DeviceState State() const { return state_; }
    NTSTATUS AddStatus() const { return addStatus_; }
    const std::string& Name() const { return name_; }
    PDEVICE_OBJECT PhysicalDevice() const { return pdo_; }
    PDEVICE_OBJECT LowerDevice() const { return lower_; }
    bool HardwarePrepared() const { return hardwarePrepared_; }
    // The PCI function beneath the device and where its BAR 0 sits (null and 0 without one).
    kshim::host::PciDevice* Pci() const { return pci_; }
    uint64_t BarPhysicalBase() const { return barBase_; }
    // References the driver holds on the device's bus interface.
    int BusInterfaceReferences() const;

private:
    friend class Os;
    std::string name_;
    kshim::host::PciDevice* pci_ = nullptr;
    uint64_t barBase_ = 0;
    kshim::wdf::FxDevice* fx_ = nullptr;
    WDFDEVICE handle_ = nullptr;
    PDEVICE_OBJECT pdo_ = nullptr;
    PDEVICE_OBJECT lower_ = nullptr;
    DeviceState state_ = DeviceState::Added;
    NTSTATUS addStatus_ = STATUS_SUCCESS;
    bool hardwarePrepared_ = false;
    bool inD0_ = false;
    bool wakeArmed_ = false;
    bool wakeTriggered_ = false;
    WDF_POWER_DEVICE_STATE lowPower_ = WdfPowerDeviceD3Final;  // the state the next power-up comes from
};

// ---- device-control requests ------------------------------------------------------------------------------
class DeviceControlRequest {
public:
    // Waits (real time) for the completion; true when completed.
    bool Wait(unsigned realMs = 10000) const;
    bool Completed() const;
    NTSTATUS Status() const;
    ULONG_PTR Information() const;
    std::vector<uint8_t> Output() const;  // the whole output buffer as the driver left it

    std::shared_ptr<kshim::wdf::RequestRecord> record;
};

// ---- unload ---------------------------------------------------------------------------------------------
struct UnloadReport {
    bool clean = true;
    size_t frameworkObjects = 0;      // left after the unload callback (besides the driver)
    size_t requestsNotCompleted = 0;
    size_t deviceInits = 0;           // initialisation objects neither used nor freed
    uint64_t poolBlocks = 0;          // pool blocks allocated since the load and not freed
    size_t handles = 0;               // handles opened since the load and not closed
    size_t systemThreads = 0;         // system threads still running
    bool traceSessionActive = false;
    std::string text;                 // one line per finding
};

// ---- the OS ---------------------------------------------------------------------------------------------
class Os {
public:
    Os();
    ~Os();
    Os(const Os&) = delete;
    Os& operator=(const Os&) = delete;

    // Calls the image entry with a driver object "\Driver\<serviceName>" and the registry path
    // "\Registry\Machine\System\CurrentControlSet\Services\<serviceName>". A failed entry leaves
    // the driver unloaded (with the strict checks of an unload) and returns its status.
    NTSTATUS Load(PDRIVER_INITIALIZE driverEntry, const std::u16string& serviceName);
    bool Loaded() const { return loaded_; }
    PDRIVER_OBJECT DriverObject() const { return driverObject_; }
    const std::u16string& RegistryPath() const { return registryPath_; }

    // Creates the physical and lower device objects and calls the driver's device-add callback
    // with a fresh initialisation object. A failed add leaves a record in state Failed (with
    // AddStatus) and no framework device.
    OsDevice* AddDevice(const DeviceConfig& config = {});

    // Prepare hardware alone, on an added (or stopped) device: the device stays in its state with its
    // hardware prepared. A failed preparation is followed by release hardware, as the framework
    // does, and leaves the device Failed.
    NTSTATUS PrepareHardware(OsDevice* device);
    // Release hardware of a device whose hardware is prepared and that is not in D0.
    NTSTATUS ReleaseHardware(OsDevice* device);

    // Prepare hardware, then D0 entry (previous D3Final), [interrupt enable callbacks],
    // D0 entry after interrupts enabled. A failing step is undone as the framework does: the
    // steps that succeeded are reversed (no D0-exit-before-interrupts-disabled, since the device
    // never completed its power-up), and release hardware follows even a failed prepare hardware;
    // the device is then Failed.
    NTSTATUS Start(OsDevice* device);
    // D0 exit before interrupts disabled (D3Final), [interrupt disable callbacks], flush of the
    // deferred routines, D0 exit (D3Final), release hardware. Every step runs; the first failure is
    // returned.
    NTSTATUS Stop(OsDevice* device);
    // [Arm wake from Sx], D0 exit before interrupts disabled (target), [interrupt disable],
    // flush of deferred routines, D0 exit (target).
    NTSTATUS Sleep(OsDevice* device, const SleepOptions& options = {});
    // D0 entry (previous: the sleep's target), [interrupt enable], D0 entry after interrupts
    // enabled, [wake from Sx triggered], [disarm wake from Sx]. A failed power-up leaves the
    // device Failed with its hardware (Remove releases it).
    NTSTATUS Resume(OsDevice* device);
    // The surprise-removal callback and the stop sequence, in the given order.
    NTSTATUS SurpriseRemove(OsDevice* device, SurpriseRemovalOrder order = SurpriseRemovalOrder::BeforeD0Exit);
    // Stops the device if it runs, then the framework deletes it.
    void Remove(OsDevice* device);
    // System shutdown: the shutdown notification of every control device that asked for it.
    void Shutdown();
    // Removes the devices left, calls the driver's unload (through the driver object), then
    // checks: framework objects, requests, pool blocks, handles, system threads and the trace
    // session left behind are strict-mode failures, listed in the report.
    UnloadReport Unload();

    // WiFiCx asks the driver, through its create-adapter entry point, for a net adapter on WDI port
    // `portId` of kind `type`; returns the entry point's status. The initialisation object lives
    // only during the call. A test may hand its own entry point instead of the driver's.
    using CreateAdapterEntry = std::function<NTSTATUS(WDFDEVICE, NETADAPTER_INIT*)>;
    NTSTATUS CreateAdapter(OsDevice* device, uint16_t portId, WIFI_ADAPTER_TYPE type,
                           CreateAdapterEntry entry = nullptr);

    // WiFiCx asks the driver, through its create-Wi-Fi-Direct-device entry point, for the Wi-Fi
    // Direct device of WDI port `portId`; returns the entry point's status (the initialisation object
    // lives only during the call).
    NTSTATUS CreateWifiDirectDevice(OsDevice* device, uint16_t portId);

    // The OS's Wi-Fi service sends a WDI message (header and TLVs) to the device's send-command entry
    // point, on the calling thread at PASSIVE_LEVEL; the request's buffer holds max(message size,
    // outputLength) bytes (see kshim/host/wifi.h). A device without the entry point gets a request
    // completed at once with STATUS_INVALID_DEVICE_STATE.
    WdiRequest SendWdiRequest(OsDevice* device, uint16_t messageId, const std::vector<uint8_t>& message,
                              size_t outputLength);
    // Sends an already made request (NewWdiRequest) the same way.
    void SendWdiRequest(OsDevice* device, const WdiRequest& request);

    // Sends a device-control request to a control device by name or symbolic link. The request
    // is delivered through the device's queue on a system worker thread; see
    // DeviceControlRequest::Wait. For a code whose transfer type is not buffered, the output buffer
    // starts with `outputContents` (the caller's own buffer as it hands it in; zeros after it).
    DeviceControlRequest SendDeviceControl(const std::u16string& deviceName, ULONG code,
                                           const std::vector<uint8_t>& input, size_t outputLength,
                                           const std::vector<uint8_t>& outputContents = {});

    std::vector<OsLogEntry> Log() const;
    std::string LogText() const;  // one entry per line
    void ClearLog();

private:
    NTSTATUS Call(OsDevice* device, OsStep step, WDF_POWER_DEVICE_STATE state, const std::function<NTSTATUS()>& fn);
    NTSTATUS PowerUp(OsDevice* device, WDF_POWER_DEVICE_STATE previous);
    NTSTATUS PowerDown(OsDevice* device, WDF_POWER_DEVICE_STATE target);
    NTSTATUS CallPrepareHardware(OsDevice* device);
    NTSTATUS CallReleaseHardware(OsDevice* device);
    void GiveResources(OsDevice* device, const DeviceConfig& config);
    void DeleteDevice(OsDevice* device);
    void FreeStack(OsDevice* device);
    UnloadReport Check(const kshim::wdf::UnloadSnapshot& snapshot);

    bool loaded_ = false;
    PDRIVER_OBJECT driverObject_ = nullptr;
    PDRIVER_OBJECT busDriver_ = nullptr;
    std::u16string registryPath_;
    std::vector<std::unique_ptr<OsDevice>> devices_;
    unsigned devicesWithBar_ = 0;
    uint64_t poolBaseline_ = 0;
    size_t handleBaseline_ = 0;
    size_t dmaBaseline_ = 0;
    size_t threadBaseline_ = 0;
    mutable std::mutex logLock_;
    std::vector<OsLogEntry> log_;
};

// ---- what the framework recorded ------------------------------------------------------------------------
struct DeviceRecord {
    bool control = false;
    std::u16string name;
    std::u16string sddl;
    std::vector<std::u16string> symbolicLinks;
    bool exclusive = false;
    bool controlFinished = false;
    bool hasShutdownNotification = false;
    UCHAR shutdownFlags = 0;
    bool hasPowerCapabilities = false;
    WDF_DEVICE_POWER_CAPABILITIES powerCapabilities{};
    bool hasS0Idle = false;
    WDF_DEVICE_POWER_POLICY_IDLE_SETTINGS s0Idle{};
    bool hasSxWake = false;
    WDF_DEVICE_POWER_POLICY_WAKE_SETTINGS sxWake{};
    bool netDevice = false;
    bool wifiDevice = false;
    bool wifiInitialized = false;
    WIFI_DEVICE_CONFIG wifi{};  // the driver's three entry points and WDI version
    bool hasDefaultQueue = false;
};
bool DescribeDevice(WDFDEVICE device, DeviceRecord* record);
// A named device (control devices) by name or symbolic link; null when none.
WDFDEVICE FindDevice(const std::u16string& nameOrLink);
size_t FrameworkObjectCount();
std::vector<std::string> FrameworkObjects();  // one line per live object, oldest first

// ---- the dispatch engine --------------------------------------------------------------------------------
// While held, the system worker threads start no queued work item (tests of queueing); a run
// already going continues.
void SystemWorkersHold(bool hold);

// A deferred routine of the harness (the simulator's, the tests'): runs at DISPATCH_LEVEL on the
// dispatch thread, once per queueing. KeFlushQueuedDpcs waits for it like for the driver's.
class HostDpc {
public:
    explicit HostDpc(std::function<void()> routine);
    ~HostDpc();  // removes a queued run and waits for a running one
    HostDpc(const HostDpc&) = delete;
    HostDpc& operator=(const HostDpc&) = delete;
    bool Queue();   // false when already queued
    bool Remove();  // true when a queued run was removed

private:
    std::function<void()> routine_;
    std::unique_ptr<kshim::engine::Dpc> dpc_;
};

}  // namespace kshim::host
