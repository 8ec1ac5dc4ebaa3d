// Inside the framework stand-in: the object model shared by the wdf_*.cpp files, the class
// extensions (netadapter.cpp, wificx.cpp) and the harness's PnP manager (kshim/host/src/os*.cpp).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine.h"
#include "kshim/host/os.h"
#include "kshim/host/wait.h"
#include "kshim/wdf.h"
#include "kshim/wificx.h"
#include "kshim/wificx_adapter.h"

namespace kshim::wdf {

// ================================================================================================
// objects
// ================================================================================================
enum class Kind : uint8_t {
    Driver = 1,
    Device,
    WorkItem,
    Timer,
    SpinLock,
    Memory,
    String,
    Queue,
    Request,
    ResourceList,
    Interrupt,
    DmaEnabler,
    CommonBuffer,
    NetConfiguration,
    NetAdapter,
    WifiDirectDevice,
    NetPacketQueue,
};
const char* KindName(Kind kind);  // "WDFDEVICE", ...

constexpr uint32_t kLiveMagic = 0x4F78464Bu;              // a live framework object
constexpr uint32_t kCompletedRequestMagic = 0x52716443u;  // a request after its completion
constexpr uint32_t kDeadMagic = 0xDEADF0B1u;

struct Context {
    PCWDF_OBJECT_CONTEXT_TYPE_INFO type;
    void* storage;
    size_t size;
};

// Every framework handle points at one of these. The tree (parent, children, deleting) is guarded
// by the framework's tree lock; contexts and callbacks do not change after creation.
struct FxObject {
    explicit FxObject(Kind k);
    virtual ~FxObject();
    // Stops what the framework runs for the object (queued work, timer expiries, request
    // dispatch); called after the children are deleted and before the clean-up callback.
    virtual void Dispose() {}
    // Whether deleting the object may wait (and so must happen at PASSIVE_LEVEL).
    virtual bool DeletionWaits() const { return false; }

    std::atomic<uint32_t> magic{kLiveMagic};
    Kind kind;
    uint64_t serial = 0;  // creation order
    FxObject* parent = nullptr;
    std::vector<FxObject*> children;  // creation order
    std::vector<Context> contexts;
    PFN_WDF_OBJECT_CONTEXT_CLEANUP cleanup = nullptr;
    PFN_WDF_OBJECT_CONTEXT_DESTROY destroy = nullptr;
    WDF_EXECUTION_LEVEL executionLevel = WdfExecutionLevelInheritFromParent;
    WDF_SYNCHRONIZATION_SCOPE synchronizationScope = WdfSynchronizationScopeInheritFromParent;
    std::atomic<int> refs{1};
    bool deleting = false;
};

template <class H>
H Handle(FxObject* o)
{
    return reinterpret_cast<H>(o);
}

inline FxObject* Raw(WDFOBJECT h) { return reinterpret_cast<FxObject*>(h); }

// The object behind a handle, checked: null, deleted and wrong-kind handles are strict-mode
// failures that yield null. `call` names the caller for the report.
FxObject* Lookup(WDFOBJECT handle, Kind kind, const char* call);
template <class T>
T* Lookup(WDFOBJECT handle, const char* call)
{
    return static_cast<T*>(Lookup(handle, T::kKind, call));
}

// Applies the attributes (size, callbacks, context, parent) and links the object into the tree.
// `parent` is the parent to use (already decided by the caller from the attributes and the
// object's rules). On failure the object is not linked and the caller deletes it.
NTSTATUS Register(FxObject* o, PWDF_OBJECT_ATTRIBUTES attributes, FxObject* parent, const char* call);
// The parent named by the attributes (checked), or `fallback` when they name none.
FxObject* ParentFromAttributes(PWDF_OBJECT_ATTRIBUTES attributes, FxObject* fallback, const char* call,
                               bool* invalid);
// Checks the size of an attributes record given by the driver.
bool AttributesValid(PWDF_OBJECT_ATTRIBUTES attributes);

void AddRef(FxObject* o);
void Release(FxObject* o);
// Takes the object out of the live set without freeing it (a completed request).
void Unlist(FxObject* o);
// Deletes the object and its subtree as the framework does (no rules about who may delete what).
void FrameworkDelete(FxObject* o);
// Runs a create-time fault point "wdf.create" keyed by the object kind; true with *status when it
// fires.
bool CreateFault(Kind kind, NTSTATUS* status);

// The object's children now, in creation order (read under the tree lock).
std::vector<FxObject*> ChildrenOf(FxObject* o);
// Framework objects alive now, and a line per object for reports.
size_t LiveObjectCount();
std::vector<std::string> LiveObjectDescriptions(const FxObject* except);
// Clean-up and destroy callbacks run at PASSIVE_LEVEL; this names the IRQL check for reports.
void RequirePassive(const char* call);

// The checks every create call over a one-use initialisation object makes, in the framework's order:
// passive level, the object and its device given, not used before, valid attributes, then the
// create-time fault point of the kind. STATUS_SUCCESS when the object may be created.
template <typename Init>
NTSTATUS CheckCreateFromInit(const char* call, Init* init, const void* out, PWDF_OBJECT_ATTRIBUTES attributes,
                             Kind kind)
{
    RequirePassive(call);
    if (init == nullptr || out == nullptr || init->device == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (init->consumed) {
        KshimViolation((std::string(call) + " with an initialisation object already used").c_str(), nullptr);
        return STATUS_INVALID_DEVICE_STATE;
    }
    if (attributes != nullptr && !AttributesValid(attributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    NTSTATUS status = STATUS_SUCCESS;
    if (CreateFault(kind, &status)) {
        return status;
    }
    return STATUS_SUCCESS;
}

// ================================================================================================
// driver and devices
// ================================================================================================
struct FxDriver;
struct FxDevice;
struct FxQueue;

}  // namespace kshim::wdf

// What the driver fills before WdfDeviceCreate. A PnP initialisation object belongs to the
// framework (it frees it after the device-add callback); a control one to the driver until
// WdfDeviceCreate consumes it.
struct WDFDEVICE_INIT {
    kshim::wdf::FxDriver* driver = nullptr;
    bool control = false;
    bool consumed = false;
    WDF_PNPPOWER_EVENT_CALLBACKS pnp{};
    WDF_POWER_POLICY_EVENT_CALLBACKS policy{};
    PDEVICE_OBJECT pdo = nullptr;
    PDEVICE_OBJECT lower = nullptr;
    std::u16string name;
    std::u16string sddl;
    bool exclusive = false;
    PFN_WDF_DEVICE_SHUTDOWN_NOTIFICATION shutdown = nullptr;
    UCHAR shutdownFlags = 0;
    bool netDevice = false;   // NetDeviceInitConfig done
    bool wifiDevice = false;  // WifiDeviceInitConfig done
    kshim::wdf::FxDevice* created = nullptr;
};

namespace kshim::wdf {

struct FxDriver : FxObject {
    static constexpr Kind kKind = Kind::Driver;
    FxDriver() : FxObject(Kind::Driver) {}
    bool DeletionWaits() const override { return true; }
    void Dispose() override;
    PDRIVER_OBJECT wdm = nullptr;
    WDF_DRIVER_CONFIG config{};
    std::u16string registryPath;
};

struct FxResourceList : FxObject {
    static constexpr Kind kKind = Kind::ResourceList;
    FxResourceList() : FxObject(Kind::ResourceList) {}
    // The descriptors of the device's resources come with the hardware path; the lists are empty
    // until then.
};

struct FxDevice : FxObject {
    static constexpr Kind kKind = Kind::Device;
    FxDevice() : FxObject(Kind::Device) {}
    ~FxDevice() override;
    bool DeletionWaits() const override { return true; }

    FxDriver* driver = nullptr;
    bool control = false;
    WDF_PNPPOWER_EVENT_CALLBACKS pnp{};
    WDF_POWER_POLICY_EVENT_CALLBACKS policy{};
    PDEVICE_OBJECT fdo = nullptr;    // the functional (or control) device object, ours
    PDEVICE_OBJECT pdo = nullptr;    // the harness's
    PDEVICE_OBJECT lower = nullptr;  // the harness's

    PFN_WDF_DEVICE_SHUTDOWN_NOTIFICATION shutdown = nullptr;

    // What the driver set (names, power policy, class extensions), for the harness to read.
    mutable std::mutex settingsLock;
    kshim::host::DeviceRecord settings;  // guarded by settingsLock
    FxQueue* defaultQueue = nullptr;  // guarded by settingsLock
    FxResourceList* rawResources = nullptr;
    FxResourceList* translatedResources = nullptr;
    // Interrupt objects come with WdfInterruptCreate; EnableInterrupts and DisableInterrupts
    // below run their enable and disable callbacks in the power sequence.
};

FxDriver* CurrentDriver();
// The framework's unload routine, installed in the driver object: runs the driver's unload
// callback, notes what is left, then deletes the driver object and its children.
void DriverUnloadRoutine(PDRIVER_OBJECT driverObject);

struct UnloadSnapshot {
    size_t objectsLeft = 0;       // framework objects besides the driver after the unload callback
    std::vector<std::string> objects;
    size_t requestsNotCompleted = 0;
    size_t initsLeft = 0;         // control initialisation objects neither consumed nor freed
};
UnloadSnapshot TakeUnloadSnapshot();
UnloadSnapshot LastUnloadSnapshot();

PWDFDEVICE_INIT NewPnpDeviceInit(FxDriver* driver, PDEVICE_OBJECT pdo, PDEVICE_OBJECT lower);
void FreeDeviceInit(PWDFDEVICE_INIT init);
size_t LiveDeviceInits();

// Control devices by name or symbolic link (case-insensitive); null when none.
FxDevice* FindDevice(const std::u16string& nameOrLink);
std::vector<FxDevice*> ControlDevices();

// The device's interrupt objects (none until WdfInterruptCreate exists): enable callbacks in
// creation order, disable callbacks in reverse order.
NTSTATUS EnableInterrupts(FxDevice* device);
NTSTATUS DisableInterrupts(FxDevice* device);

// ================================================================================================
// queue and requests
// ================================================================================================
// The harness's side of one device-control request.
struct RequestRecord {
    std::mutex lock;
    kshim::host::WaitCond done;
    ULONG code = 0;
    std::vector<uint8_t> input;   // what the sender gave
    std::vector<uint8_t> output;  // the output buffer as the driver left it (valid when completed)
    bool completed = false;
    NTSTATUS status = STATUS_PENDING;
    ULONG_PTR information = 0;
};

// Hands a device-control request to the device's default queue. A request to a device that has
// no queue or is not initialised yet completes at once with a failure. A request that is not
// buffered gets its output buffer filled from `outputContents` first.
std::shared_ptr<RequestRecord> SubmitDeviceControl(FxDevice* device, ULONG code, const std::vector<uint8_t>& input,
                                                   size_t outputLength, const std::vector<uint8_t>& outputContents);
size_t OutstandingRequests();

// ================================================================================================
// class extensions
// ================================================================================================
ULONG OsWdiVersion();
void SetOsWdiVersion(ULONG version);

}  // namespace kshim::wdf

// The initialisation object the OS hands to the create-adapter entry point: the device, the port
// id and the port kind the OS asks for.
struct NETADAPTER_INIT {
    kshim::wdf::FxDevice* device = nullptr;
    USHORT portId = 0;
    ULONG type = 0;
    bool consumed = false;
    // What the driver declares before creating the adapter (netadapter_caps.cpp, wificx_adapter.cpp).
    bool hasDatapath = false;
    NET_ADAPTER_DATAPATH_CALLBACKS datapath{};
    std::vector<WIFI_ADAPTER_TX_DEMUX> txDemux;
    int frees = 0;  // NetAdapterInitFree calls
};

// The initialisation object the OS hands to the create-Wi-Fi-Direct-device entry point.
struct WIFIDIRECT_DEVICE_INIT {
    kshim::wdf::FxDevice* device = nullptr;
    USHORT portId = 0;
    bool consumed = false;
};

namespace kshim::wdf {

struct FxNetAdapter : FxObject {
    static constexpr Kind kKind = Kind::NetAdapter;
    FxNetAdapter() : FxObject(Kind::NetAdapter) {}
    USHORT portId = 0;
    ULONG type = 0;
    // What the driver declared (netadapter_caps.cpp, wificx_adapter.cpp); guarded by `declared`.
    std::mutex declared;
    bool hasDatapath = false;
    NET_ADAPTER_DATAPATH_CALLBACKS datapath{};
    std::vector<WIFI_ADAPTER_TX_DEMUX> txDemux;
    bool wifiInitialized = false;
    bool hasDataPathCapabilities = false;
    NET_ADAPTER_TX_CAPABILITIES tx{};
    NET_ADAPTER_DMA_CAPABILITIES txDma{};
    bool txHasDma = false;
    NET_ADAPTER_RX_CAPABILITIES rx{};
    bool hasLinkState = false;
    NET_ADAPTER_LINK_STATE linkState{};
    bool hasLinkLayerCapabilities = false;
    NET_ADAPTER_LINK_LAYER_CAPABILITIES linkLayer{};
    ULONG mtu = 0;
    NET_ADAPTER_LINK_LAYER_ADDRESS permanentAddress{};
    NET_ADAPTER_LINK_LAYER_ADDRESS currentAddress{};
    bool hasReceiveFilter = false;
    NET_ADAPTER_RECEIVE_FILTER_CAPABILITIES receiveFilter{};
    bool magicPacket = false;
    bool started = false;
};

struct FxWifiDirectDevice : FxObject {
    static constexpr Kind kKind = Kind::WifiDirectDevice;
    FxWifiDirectDevice() : FxObject(Kind::WifiDirectDevice) {}
    USHORT portId = 0;
    bool initialized = false;
};

}  // namespace kshim::wdf
