// Framework work items, timers and spin locks, on top of the dispatch engine.
#include <cstdio>

#include "internal.h"
#include "wdf_internal.h"

namespace kshim::wdf {
namespace {

// An object cancelled from its own callback keeps a reference until the engine is done with it.
void Drop(void* owner) { Release(static_cast<FxObject*>(owner)); }

void RequireAtMostDispatch(const char* call)
{
    KIRQL irql = KeGetCurrentIrql();
    if (irql > DISPATCH_LEVEL) {
        char detail[96];
        std::snprintf(detail, sizeof(detail), "%s at IRQL %u", call, static_cast<unsigned>(irql));
        KshimViolation("call above DISPATCH_LEVEL", detail);
    }
}

// The parent a work item or timer names in its attributes (required).
NTSTATUS RequiredParent(PWDF_OBJECT_ATTRIBUTES attributes, const char* call, FxObject** parent)
{
    if (!AttributesValid(attributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (attributes == nullptr || attributes->ParentObject == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    bool invalid;
    *parent = ParentFromAttributes(attributes, nullptr, call, &invalid);
    return invalid ? STATUS_INVALID_HANDLE : STATUS_SUCCESS;
}

}  // namespace

struct FxWorkItem : FxObject {
    static constexpr Kind kKind = Kind::WorkItem;
    FxWorkItem() : FxObject(Kind::WorkItem) {}
    bool DeletionWaits() const override { return true; }
    void Dispose() override
    {
        if (engine::WorkCancel(&work)) {
            AddRef(this);  // deleted from its own callback: dropped when the run is over
        }
    }

    static void Run(engine::Work* w)
    {
        auto* item = static_cast<FxWorkItem*>(w->owner);
        item->config.EvtWorkItemFunc(Handle<WDFWORKITEM>(item));
    }

    WDF_WORKITEM_CONFIG config{};
    engine::Work work;
};

struct FxTimer : FxObject {
    static constexpr Kind kKind = Kind::Timer;
    FxTimer() : FxObject(Kind::Timer) {}
    bool DeletionWaits() const override { return true; }
    void Dispose() override
    {
        if (engine::TimerCancel(&timer)) {
            AddRef(this);  // deleted from its own callback: dropped when the run is over
        }
    }

    static void Run(engine::Timer* t)
    {
        auto* fx = static_cast<FxTimer*>(t->owner);
        fx->config.EvtTimerFunc(Handle<WDFTIMER>(fx));
    }

    WDF_TIMER_CONFIG config{};
    engine::Timer timer;
};

struct FxSpinLock : FxObject {
    static constexpr Kind kKind = Kind::SpinLock;
    FxSpinLock() : FxObject(Kind::SpinLock) {}
    void Dispose() override
    {
        if (lock.Owner.load() != 0) {
            KshimViolation("spin lock deleted while held", nullptr);
        }
    }

    KSPIN_LOCK lock{};
    KIRQL oldIrql = PASSIVE_LEVEL;  // written by the holder
};

namespace {

// Creates a work item or a timer: the configuration with its callback, the required parent, the
// fault point, then `setup` ties the object to its engine record.
template <class Fx, class Config, class Callback, class H, class Setup>
NTSTATUS CreateDispatched(Config* config, Callback Config::*callback, PWDF_OBJECT_ATTRIBUTES attributes, H* out,
                          const char* call, Setup setup)
{
    RequireAtMostDispatch(call);
    if (out == nullptr || config == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *out = nullptr;
    if (config->Size != sizeof(Config)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (config->*callback == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    FxObject* parent = nullptr;
    NTSTATUS status = RequiredParent(attributes, call, &parent);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (CreateFault(Fx::kKind, &status)) {
        return status;
    }
    auto* fx = new Fx();
    fx->config = *config;
    setup(fx);
    status = Register(fx, attributes, parent, call);
    if (!NT_SUCCESS(status)) {
        delete fx;
        return status;
    }
    *out = Handle<H>(fx);
    return STATUS_SUCCESS;
}

}  // namespace
}  // namespace kshim::wdf

using namespace kshim::wdf;

// ================================================================================================
// work items
// ================================================================================================
NTSTATUS WdfWorkItemCreate(PWDF_WORKITEM_CONFIG Config, PWDF_OBJECT_ATTRIBUTES Attributes, WDFWORKITEM* WorkItem)
{
    return CreateDispatched<FxWorkItem>(Config, &WDF_WORKITEM_CONFIG::EvtWorkItemFunc, Attributes, WorkItem,
                                        "WdfWorkItemCreate", [](FxWorkItem* item) {
                                            item->work.routine = FxWorkItem::Run;
                                            item->work.owner = item;
                                            item->work.release = Drop;
                                        });
}

VOID WdfWorkItemEnqueue(WDFWORKITEM WorkItem)
{
    RequireAtMostDispatch("WdfWorkItemEnqueue");
    if (auto* item = Lookup<FxWorkItem>(WorkItem, "WdfWorkItemEnqueue")) {
        kshim::engine::WorkEnqueue(&item->work);
    }
}

VOID WdfWorkItemFlush(WDFWORKITEM WorkItem)
{
    auto* item = Lookup<FxWorkItem>(WorkItem, "WdfWorkItemFlush");
    if (item == nullptr) {
        return;
    }
    if (KeGetCurrentIrql() > PASSIVE_LEVEL) {
        RequirePassive("WdfWorkItemFlush");
        return;
    }
    if (!kshim::engine::WorkFlush(&item->work)) {
        KshimViolation("WdfWorkItemFlush from the work item's own callback (it would wait for itself)", nullptr);
    }
}

WDFOBJECT WdfWorkItemGetParentObject(WDFWORKITEM WorkItem)
{
    auto* item = Lookup<FxWorkItem>(WorkItem, "WdfWorkItemGetParentObject");
    return item != nullptr ? Handle<WDFOBJECT>(item->parent) : nullptr;
}

// ================================================================================================
// timers
// ================================================================================================
NTSTATUS WdfTimerCreate(PWDF_TIMER_CONFIG Config, PWDF_OBJECT_ATTRIBUTES Attributes, WDFTIMER* Timer)
{
    return CreateDispatched<FxTimer>(Config, &WDF_TIMER_CONFIG::EvtTimerFunc, Attributes, Timer, "WdfTimerCreate",
                                     [](FxTimer* timer) {
                                         timer->timer.routine = FxTimer::Run;
                                         timer->timer.owner = timer;
                                         timer->timer.release = Drop;
                                         timer->timer.period = static_cast<int64_t>(timer->config.Period) * 10000;
                                     });
}

BOOLEAN WdfTimerStart(WDFTIMER Timer, LONGLONG DueTime)
{
    RequireAtMostDispatch("WdfTimerStart");
    auto* timer = Lookup<FxTimer>(Timer, "WdfTimerStart");
    if (timer == nullptr) {
        return FALSE;
    }
    int64_t now = kshim::ClockNow();
    int64_t due = DueTime < 0 ? now - DueTime : (DueTime == 0 ? now : DueTime);
    return kshim::engine::TimerStart(&timer->timer, due) ? TRUE : FALSE;
}

BOOLEAN WdfTimerStop(WDFTIMER Timer, BOOLEAN Wait)
{
    auto* timer = Lookup<FxTimer>(Timer, "WdfTimerStop");
    if (timer == nullptr) {
        return FALSE;
    }
    bool wait = Wait != FALSE;
    if (wait && KeGetCurrentIrql() > PASSIVE_LEVEL) {
        RequirePassive("WdfTimerStop(Wait = TRUE)");
        wait = false;
    } else {
        RequireAtMostDispatch("WdfTimerStop");
    }
    return kshim::engine::TimerStop(&timer->timer, wait) ? TRUE : FALSE;
}

WDFOBJECT WdfTimerGetParentObject(WDFTIMER Timer)
{
    auto* timer = Lookup<FxTimer>(Timer, "WdfTimerGetParentObject");
    return timer != nullptr ? Handle<WDFOBJECT>(timer->parent) : nullptr;
}

// ================================================================================================
// spin locks
// ================================================================================================
NTSTATUS WdfSpinLockCreate(PWDF_OBJECT_ATTRIBUTES SpinLockAttributes, WDFSPINLOCK* SpinLock)
{
    RequireAtMostDispatch("WdfSpinLockCreate");
    if (SpinLock == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    *SpinLock = nullptr;
    if (!AttributesValid(SpinLockAttributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    bool invalid;
    FxObject* parent = ParentFromAttributes(SpinLockAttributes, CurrentDriver(), "WdfSpinLockCreate", &invalid);
    if (invalid) {
        return STATUS_INVALID_HANDLE;
    }
    NTSTATUS status;
    if (CreateFault(Kind::SpinLock, &status)) {
        return status;
    }
    auto* lock = new FxSpinLock();
    KeInitializeSpinLock(&lock->lock);
    status = Register(lock, SpinLockAttributes, parent, "WdfSpinLockCreate");
    if (!NT_SUCCESS(status)) {
        delete lock;
        return status;
    }
    *SpinLock = Handle<WDFSPINLOCK>(lock);
    return STATUS_SUCCESS;
}

VOID WdfSpinLockAcquire(WDFSPINLOCK SpinLock)
{
    if (auto* lock = Lookup<FxSpinLock>(SpinLock, "WdfSpinLockAcquire")) {
        KIRQL old;
        KeAcquireSpinLock(&lock->lock, &old);
        lock->oldIrql = old;
    }
}

VOID WdfSpinLockRelease(WDFSPINLOCK SpinLock)
{
    if (auto* lock = Lookup<FxSpinLock>(SpinLock, "WdfSpinLockRelease")) {
        KIRQL old = lock->oldIrql;
        KeReleaseSpinLock(&lock->lock, old);
    }
}
