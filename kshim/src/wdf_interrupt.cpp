// Framework interrupt objects on top of the dispatch engine's interrupt thread and DPC queue, and
// the route from a simulated PCI function's interrupt to them.
//
// Locks, outermost first: a device's route lock (DeviceLine::lock), then the engine's. The
// interrupt lock of an object (a spin lock at DEVICE_LEVEL) is never held while either is taken by
// the framework; callbacks under it may reach the device's registers, whose handlers may raise the
// interrupt again, which only takes the route lock and the engine's.
#include <cstdio>
#include <map>
#include <memory>

#include "internal.h"
#include "kshim/host/pci_device.h"
#include "wdf_interrupt_internal.h"
#include "wdf_internal.h"

namespace kshim::wdf {

struct FxInterrupt;

namespace {

constexpr Kind kKindInterrupt = Kind::Interrupt;

// The interrupt route of one device: the simulated function raising it and the device's interrupt
// objects in creation order (message m goes to objects[m]).
struct DeviceLine {
    std::mutex lock;
    uint64_t deviceSerial = 0;  // tells a later device at the same address apart
    kshim::host::PciDevice* pci = nullptr;
    std::vector<FxInterrupt*> objects;
    uint64_t unrouted = 0;
};

std::mutex g_linesLock;
std::map<const FxDevice*, std::shared_ptr<DeviceLine>>* g_lines =
    new std::map<const FxDevice*, std::shared_ptr<DeviceLine>>();

// The route of a device, created when `create` (a stale one of an earlier device at the same
// address is replaced).
std::shared_ptr<DeviceLine> LineOf(const FxDevice* device, bool create)
{
    std::lock_guard<std::mutex> guard(g_linesLock);
    auto it = g_lines->find(device);
    if (it != g_lines->end() && it->second->deviceSerial == device->serial) {
        return it->second;
    }
    if (!create) {
        return nullptr;
    }
    auto line = std::make_shared<DeviceLine>();
    line->deviceSerial = device->serial;
    (*g_lines)[device] = line;
    return line;
}

void ForgetLineIfUnused(const FxDevice* device, const std::shared_ptr<DeviceLine>& line)
{
    {
        std::lock_guard<std::mutex> guard(line->lock);
        if (line->pci != nullptr || !line->objects.empty()) {
            return;
        }
    }
    std::lock_guard<std::mutex> guard(g_linesLock);
    auto it = g_lines->find(device);
    if (it != g_lines->end() && it->second == line) {
        g_lines->erase(it);
    }
}

void RequireAtMost(KIRQL level, const char* call)
{
    KIRQL irql = KeGetCurrentIrql();
    if (irql > level) {
        char detail[96];
        std::snprintf(detail, sizeof(detail), "%s at IRQL %u", call, static_cast<unsigned>(irql));
        KshimViolation(level == DISPATCH_LEVEL ? "call above DISPATCH_LEVEL" : "call above DEVICE_LEVEL", detail);
    }
}

}  // namespace

struct FxInterrupt : FxObject {
    FxInterrupt() : FxObject(kKindInterrupt) {}
    bool DeletionWaits() const override { return true; }
    void Dispose() override;

    static bool Deliver(engine::Interrupt* line, uint32_t message);
    static void RunDpc(engine::Dpc* dpc);

    FxDevice* device = nullptr;
    std::shared_ptr<DeviceLine> route;
    WDF_INTERRUPT_CONFIG config{};
    KSPIN_LOCK lock{};             // the interrupt lock
    KIRQL lockIrql = PASSIVE_LEVEL;  // level WdfInterruptAcquireLock came from (written by the holder)
    bool enabled = false;            // by the framework; changed and read under `lock`
    engine::Interrupt line;
    engine::Dpc dpc;
};

namespace {

FxInterrupt* LookupInterrupt(WDFINTERRUPT handle, const char* call)
{
    return static_cast<FxInterrupt*>(Lookup(handle, kKindInterrupt, call));
}

// An object deleted from its own deferred routine keeps a reference until the engine is done.
void Drop(void* owner) { Release(static_cast<FxObject*>(owner)); }

// Runs `fn` at DEVICE_LEVEL holding the object's interrupt lock.
template <class F>
void UnderInterruptLock(FxInterrupt* fx, const char* what, F&& fn)
{
    engine::RunAt(DEVICE_LEVEL, what, [&] {
        KshimSpinAcquireRaw(&fx->lock);
        fn();
        KshimSpinReleaseRaw(&fx->lock);
    });
}

// The token by which spin locks know their holder: learnt from a probe lock.
ULONG_PTR ThisThreadToken()
{
    KSPIN_LOCK probe{};
    KshimSpinAcquireRaw(&probe);
    ULONG_PTR me = probe.Owner.load(std::memory_order_relaxed);
    KshimSpinReleaseRaw(&probe);
    return me;
}

bool HeldByThisThread(FxInterrupt* fx) { return fx->lock.Owner.load(std::memory_order_relaxed) == ThisThreadToken(); }

// Whether the calling thread holds the object's interrupt lock already (it would spin on it for
// ever); reported.
bool HoldsLock(FxInterrupt* fx, const char* call)
{
    if (!HeldByThisThread(fx)) {
        return false;
    }
    char detail[128];
    std::snprintf(detail, sizeof(detail), "%s while holding the interrupt lock (it would wait for itself)", call);
    KshimViolation("interrupt lock taken twice by its holder", detail);
    return true;
}

}  // namespace

bool FxInterrupt::Deliver(engine::Interrupt* line, uint32_t message)
{
    auto* fx = static_cast<FxInterrupt*>(line->owner);
    KshimSpinAcquireRaw(&fx->lock);
    if (!fx->enabled) {
        KshimSpinReleaseRaw(&fx->lock);
        return false;
    }
    fx->config.EvtInterruptIsr(Handle<WDFINTERRUPT>(fx), message);
    KshimSpinReleaseRaw(&fx->lock);
    return true;
}

void FxInterrupt::RunDpc(engine::Dpc* dpc)
{
    auto* fx = static_cast<FxInterrupt*>(dpc->owner);
    fx->config.EvtInterruptDpc(Handle<WDFINTERRUPT>(fx), Handle<WDFOBJECT>(fx->device));
}

void FxInterrupt::Dispose()
{
    // No raise reaches the object any more, then no delivery runs, then no deferred routine.
    if (route) {
        std::lock_guard<std::mutex> guard(route->lock);
        auto& objects = route->objects;
        for (auto it = objects.begin(); it != objects.end(); ++it) {
            if (*it == this) {
                objects.erase(it);
                break;
            }
        }
    }
    bool stillEnabled = false;
    UnderInterruptLock(this, "interrupt object deletion", [&] { stillEnabled = enabled; });
    if (stillEnabled) {
        KshimViolation("interrupt object deleted while enabled", nullptr);
    }
    engine::InterruptCancel(&line);
    if (engine::DpcCancel(&dpc)) {
        AddRef(this);  // deleted from its own deferred routine: dropped when the run is over
    }
    if (route) {
        ForgetLineIfUnused(device, route);
        route.reset();
    }
}

// ================================================================================================
// routes and the power sequence
// ================================================================================================
void InterruptConnect(WDFDEVICE handle, kshim::host::PciDevice* pci)
{
    RequirePassive("InterruptConnect");
    auto* device = Lookup<FxDevice>(handle, "InterruptConnect");
    if (device == nullptr) {
        return;
    }
    std::shared_ptr<DeviceLine> line = LineOf(device, true);
    kshim::host::PciDevice* previous;
    {
        std::lock_guard<std::mutex> guard(line->lock);
        previous = line->pci;
        line->pci = pci;
    }
    if (previous != nullptr && previous != pci) {
        previous->SetInterruptSink(nullptr);
    }
    if (pci == nullptr) {
        ForgetLineIfUnused(device, line);
        return;
    }
    std::weak_ptr<DeviceLine> weak = line;
    pci->SetInterruptSink([weak](uint32_t message) {
        std::shared_ptr<DeviceLine> l = weak.lock();
        if (!l) {
            return;
        }
        std::lock_guard<std::mutex> guard(l->lock);
        if (message < l->objects.size() && message < engine::kInterruptMessages) {
            engine::InterruptRaise(&l->objects[message]->line, message);
        } else {
            ++l->unrouted;
        }
    });
}

void InterruptDisconnect(WDFDEVICE handle)
{
    auto* device = Lookup<FxDevice>(handle, "InterruptDisconnect");
    if (device == nullptr) {
        return;
    }
    std::shared_ptr<DeviceLine> line = LineOf(device, false);
    if (!line) {
        return;
    }
    kshim::host::PciDevice* pci;
    {
        std::lock_guard<std::mutex> guard(line->lock);
        pci = line->pci;
        line->pci = nullptr;
    }
    if (pci != nullptr) {
        pci->SetInterruptSink(nullptr);
    }
    ForgetLineIfUnused(device, line);
}

uint64_t InterruptUnroutedMessages(WDFDEVICE handle)
{
    auto* device = Lookup<FxDevice>(handle, "InterruptUnroutedMessages");
    std::shared_ptr<DeviceLine> line = device != nullptr ? LineOf(device, false) : nullptr;
    if (!line) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(line->lock);
    return line->unrouted;
}

namespace {

// The device's interrupt objects in creation order, each held by a reference while in use.
std::vector<FxInterrupt*> HoldObjects(FxDevice* device)
{
    std::vector<FxInterrupt*> out;
    std::shared_ptr<DeviceLine> line = LineOf(device, false);
    if (!line) {
        return out;
    }
    std::lock_guard<std::mutex> guard(line->lock);
    out = line->objects;
    for (FxInterrupt* fx : out) {
        AddRef(fx);
    }
    return out;
}

void DropObjects(const std::vector<FxInterrupt*>& objects)
{
    for (FxInterrupt* fx : objects) {
        Release(fx);
    }
}

NTSTATUS DisableOne(FxInterrupt* fx)
{
    engine::InterruptSetEnabled(&fx->line, false);
    NTSTATUS status = STATUS_SUCCESS;
    UnderInterruptLock(fx, "EvtInterruptDisable", [&] {
        if (fx->enabled && fx->config.EvtInterruptDisable != nullptr) {
            status = fx->config.EvtInterruptDisable(Handle<WDFINTERRUPT>(fx), Handle<WDFDEVICE>(fx->device));
        }
        fx->enabled = false;
    });
    return status;
}

}  // namespace

namespace {

// Runs fn(device, objects) on the device's interrupt objects, held while it runs.
template <class F>
NTSTATUS WithObjects(WDFDEVICE handle, const char* call, F&& fn)
{
    RequirePassive(call);
    auto* device = Lookup<FxDevice>(handle, call);
    if (device == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    std::vector<FxInterrupt*> objects = HoldObjects(device);
    NTSTATUS status = fn(device, objects);
    DropObjects(objects);
    return status;
}

}  // namespace

NTSTATUS InterruptsEnable(WDFDEVICE handle)
{
    return WithObjects(handle, "InterruptsEnable", [](FxDevice* device, const std::vector<FxInterrupt*>& objects) {
        for (size_t i = 0; i < objects.size(); ++i) {
            FxInterrupt* fx = objects[i];
            NTSTATUS status = STATUS_SUCCESS;
            UnderInterruptLock(fx, "EvtInterruptEnable", [&] {
                if (fx->enabled) {
                    return;
                }
                if (fx->config.EvtInterruptEnable != nullptr) {
                    status = fx->config.EvtInterruptEnable(Handle<WDFINTERRUPT>(fx), Handle<WDFDEVICE>(device));
                }
                fx->enabled = NT_SUCCESS(status);
            });
            if (!NT_SUCCESS(status)) {
                for (size_t j = i; j-- > 0;) {
                    DisableOne(objects[j]);
                }
                return status;
            }
            engine::InterruptSetEnabled(&fx->line, true);
        }
        return STATUS_SUCCESS;
    });
}

NTSTATUS InterruptsDisable(WDFDEVICE handle)
{
    return WithObjects(handle, "InterruptsDisable", [](FxDevice*, const std::vector<FxInterrupt*>& objects) {
        NTSTATUS first = STATUS_SUCCESS;
        for (size_t i = objects.size(); i-- > 0;) {
            NTSTATUS status = DisableOne(objects[i]);
            if (NT_SUCCESS(first) && !NT_SUCCESS(status)) {
                first = status;
            }
        }
        return first;
    });
}

uint32_t InterruptPendingMessages(WDFINTERRUPT handle)
{
    FxInterrupt* fx = LookupInterrupt(handle, "InterruptPendingMessages");
    return fx != nullptr ? engine::InterruptPending(&fx->line) : 0;
}

bool InterruptEnabled(WDFINTERRUPT handle)
{
    FxInterrupt* fx = LookupInterrupt(handle, "InterruptEnabled");
    if (fx == nullptr) {
        return false;
    }
    bool enabled = false;
    UnderInterruptLock(fx, "InterruptEnabled", [&] { enabled = fx->enabled; });
    return enabled;
}

}  // namespace kshim::wdf

using namespace kshim::wdf;

// ================================================================================================
// the interrupt object
// ================================================================================================
NTSTATUS WdfInterruptCreate(WDFDEVICE Device, PWDF_INTERRUPT_CONFIG Configuration, PWDF_OBJECT_ATTRIBUTES Attributes,
                            WDFINTERRUPT* Interrupt)
{
    RequirePassive("WdfInterruptCreate");
    if (Interrupt == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *Interrupt = nullptr;
    auto* device = Lookup<FxDevice>(Device, "WdfInterruptCreate");
    if (device == nullptr || Configuration == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (Configuration->Size != sizeof(WDF_INTERRUPT_CONFIG) || !AttributesValid(Attributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (Configuration->EvtInterruptIsr == nullptr || device->control) {
        return STATUS_INVALID_PARAMETER;
    }
    if (Attributes != nullptr && Attributes->ParentObject != nullptr && Raw(Attributes->ParentObject) != device) {
        return STATUS_INVALID_PARAMETER;  // an interrupt object always belongs to its device
    }
    NTSTATUS status;
    if (kshim::FaultCheck("wdf.interruptcreate", nullptr, &status)) {
        return status;
    }
    std::shared_ptr<DeviceLine> route = LineOf(device, true);
    {
        std::lock_guard<std::mutex> guard(route->lock);
        if (route->objects.size() >= kshim::engine::kInterruptMessages) {
            return STATUS_INSUFFICIENT_RESOURCES;
        }
    }
    auto* fx = new FxInterrupt();
    fx->device = device;
    fx->config = *Configuration;
    KeInitializeSpinLock(&fx->lock);
    fx->line.deliver = FxInterrupt::Deliver;
    fx->line.owner = fx;
    fx->dpc.routine = FxInterrupt::RunDpc;
    fx->dpc.owner = fx;
    fx->dpc.release = Drop;
    status = Register(fx, Attributes, device, "WdfInterruptCreate");
    if (!NT_SUCCESS(status)) {
        delete fx;
        ForgetLineIfUnused(device, route);
        return status;
    }
    fx->route = route;
    {
        std::lock_guard<std::mutex> guard(route->lock);
        route->objects.push_back(fx);
    }
    *Interrupt = Handle<WDFINTERRUPT>(fx);
    return STATUS_SUCCESS;
}

BOOLEAN WdfInterruptQueueDpcForIsr(WDFINTERRUPT Interrupt)
{
    RequireAtMost(DEVICE_LEVEL, "WdfInterruptQueueDpcForIsr");
    FxInterrupt* fx = LookupInterrupt(Interrupt, "WdfInterruptQueueDpcForIsr");
    if (fx == nullptr) {
        return FALSE;
    }
    if (fx->config.EvtInterruptDpc == nullptr) {
        KshimViolation("WdfInterruptQueueDpcForIsr on an interrupt object without a deferred routine", nullptr);
        return FALSE;
    }
    return kshim::engine::DpcQueue(&fx->dpc) ? TRUE : FALSE;
}

BOOLEAN WdfInterruptSynchronize(WDFINTERRUPT Interrupt, PFN_WDF_INTERRUPT_SYNCHRONIZE Callback, WDFCONTEXT Context)
{
    RequireAtMost(DEVICE_LEVEL, "WdfInterruptSynchronize");
    FxInterrupt* fx = LookupInterrupt(Interrupt, "WdfInterruptSynchronize");
    if (fx == nullptr || Callback == nullptr) {
        return FALSE;
    }
    if (HoldsLock(fx, "WdfInterruptSynchronize")) {
        return FALSE;
    }
    BOOLEAN result = FALSE;
    UnderInterruptLock(fx, "synchronised callback", [&] { result = Callback(Interrupt, Context); });
    return result;
}

VOID WdfInterruptAcquireLock(WDFINTERRUPT Interrupt)
{
    RequireAtMost(DEVICE_LEVEL, "WdfInterruptAcquireLock");
    FxInterrupt* fx = LookupInterrupt(Interrupt, "WdfInterruptAcquireLock");
    if (fx == nullptr || HoldsLock(fx, "WdfInterruptAcquireLock")) {
        return;
    }
    KIRQL old = KeGetCurrentIrql();
    if (old < DEVICE_LEVEL) {
        KIRQL ignored;
        KeRaiseIrql(DEVICE_LEVEL, &ignored);
    }
    KshimSpinAcquireRaw(&fx->lock);
    fx->lockIrql = old;
}

VOID WdfInterruptReleaseLock(WDFINTERRUPT Interrupt)
{
    FxInterrupt* fx = LookupInterrupt(Interrupt, "WdfInterruptReleaseLock");
    if (fx == nullptr) {
        return;
    }
    if (!HeldByThisThread(fx)) {
        KshimViolation("WdfInterruptReleaseLock by a thread that does not hold the interrupt lock", nullptr);
        return;
    }
    KIRQL old = fx->lockIrql;
    KshimSpinReleaseRaw(&fx->lock);
    if (old < KeGetCurrentIrql()) {
        KeLowerIrql(old);
    }
}

WDFDEVICE WdfInterruptGetDevice(WDFINTERRUPT Interrupt)
{
    FxInterrupt* fx = LookupInterrupt(Interrupt, "WdfInterruptGetDevice");
    return fx != nullptr ? Handle<WDFDEVICE>(fx->device) : nullptr;
}
