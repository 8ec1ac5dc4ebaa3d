// Framework objects: handles, typed contexts, the object tree and deletion.
#include <algorithm>
#include <cstdio>
#include <new>
#include <unordered_set>

#include "internal.h"
#include "wdf_internal.h"

namespace kshim::wdf {
namespace {

std::mutex g_tree;  // parent/children links, `deleting`, the live set
std::unordered_set<FxObject*>* g_live = new std::unordered_set<FxObject*>();
std::atomic<uint64_t> g_serial{0};

void Report(const char* what, const char* call, const char* extra = nullptr)
{
    char detail[256];
    std::snprintf(detail, sizeof(detail), "%s%s%s", call, extra != nullptr ? ": " : "", extra != nullptr ? extra : "");
    KshimViolation(what, detail);
}

bool SubtreeNeedsPassiveLocked(const FxObject* o)
{
    if (o->DeletionWaits() || o->cleanup != nullptr || o->destroy != nullptr) {
        return true;
    }
    for (const FxObject* c : o->children) {
        if (SubtreeNeedsPassiveLocked(c)) {
            return true;
        }
    }
    return false;
}

std::string Describe(const FxObject* o)
{
    std::string s = KindName(o->kind);
    s += " #" + std::to_string(o->serial);
    for (const Context& c : o->contexts) {
        s += " (context ";
        s += c.type->ContextName != nullptr ? c.type->ContextName : "?";
        s += ")";
    }
    if (o->parent != nullptr) {
        s += " parent ";
        s += KindName(o->parent->kind);
        s += " #" + std::to_string(o->parent->serial);
    }
    return s;
}

void DeleteInternal(FxObject* o)
{
    {
        std::lock_guard<std::mutex> guard(g_tree);
        if (o->deleting) {
            return;
        }
        o->deleting = true;
    }
    // Children first, the latest created first.
    for (;;) {
        FxObject* child = nullptr;
        {
            std::lock_guard<std::mutex> guard(g_tree);
            for (auto it = o->children.rbegin(); it != o->children.rend(); ++it) {
                if (!(*it)->deleting) {
                    child = *it;
                    break;
                }
            }
        }
        if (child == nullptr) {
            break;
        }
        DeleteInternal(child);
    }
    o->Dispose();
    if (o->cleanup != nullptr) {
        PFN_WDF_OBJECT_CONTEXT_CLEANUP cleanup = o->cleanup;
        engine::RunAt(KeGetCurrentIrql(), "object clean-up callback",
                      [cleanup, o] { cleanup(Handle<WDFOBJECT>(o)); });
    }
    {
        std::lock_guard<std::mutex> guard(g_tree);
        if (o->parent != nullptr) {
            auto& siblings = o->parent->children;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), o), siblings.end());
            o->parent = nullptr;
        }
        // Children that are still being deleted elsewhere (their callback holds them) no longer
        // point at this object.
        for (FxObject* c : o->children) {
            c->parent = nullptr;
        }
        o->children.clear();
    }
    Release(o);
}

}  // namespace

const char* KindName(Kind kind)
{
    switch (kind) {
    case Kind::Driver: return "WDFDRIVER";
    case Kind::Device: return "WDFDEVICE";
    case Kind::WorkItem: return "WDFWORKITEM";
    case Kind::Timer: return "WDFTIMER";
    case Kind::SpinLock: return "WDFSPINLOCK";
    case Kind::Memory: return "WDFMEMORY";
    case Kind::String: return "WDFSTRING";
    case Kind::Queue: return "WDFQUEUE";
    case Kind::Request: return "WDFREQUEST";
    case Kind::ResourceList: return "WDFCMRESLIST";
    case Kind::Interrupt: return "WDFINTERRUPT";
    case Kind::DmaEnabler: return "WDFDMAENABLER";
    case Kind::CommonBuffer: return "WDFCOMMONBUFFER";
    case Kind::NetConfiguration: return "NETCONFIGURATION";
    case Kind::NetAdapter: return "NETADAPTER";
    case Kind::WifiDirectDevice: return "WIFIDIRECTDEVICE";
    case Kind::NetPacketQueue: return "NETPACKETQUEUE";
    }
    return "WDFOBJECT";
}

FxObject::FxObject(Kind k) : kind(k) {}

FxObject::~FxObject()
{
    for (Context& c : contexts) {
        ZeroedFree(c.storage);
    }
    magic = kDeadMagic;
}

FxObject* Lookup(WDFOBJECT handle, Kind kind, const char* call)
{
    FxObject* o = Raw(handle);
    if (o == nullptr) {
        Report("null framework handle", call);
        return nullptr;
    }
    if (o->magic == kCompletedRequestMagic) {
        Report("request used after its completion", call);
        return nullptr;
    }
    if (o->magic != kLiveMagic) {
        Report("invalid or deleted framework handle", call);
        return nullptr;
    }
    if (kind != Kind{} && o->kind != kind) {
        char extra[96];
        std::snprintf(extra, sizeof(extra), "%s given where %s is expected", KindName(o->kind), KindName(kind));
        Report("framework handle of the wrong kind", call, extra);
        return nullptr;
    }
    return o;
}

bool AttributesValid(PWDF_OBJECT_ATTRIBUTES attributes)
{
    return attributes == nullptr || attributes->Size == sizeof(WDF_OBJECT_ATTRIBUTES);
}

FxObject* ParentFromAttributes(PWDF_OBJECT_ATTRIBUTES attributes, FxObject* fallback, const char* call, bool* invalid)
{
    *invalid = false;
    if (attributes == nullptr || attributes->ParentObject == nullptr) {
        return fallback;
    }
    FxObject* parent = Lookup(attributes->ParentObject, Kind{}, call);
    if (parent == nullptr) {
        *invalid = true;
    }
    return parent;
}

NTSTATUS Register(FxObject* o, PWDF_OBJECT_ATTRIBUTES attributes, FxObject* parent, const char* call)
{
    if (!AttributesValid(attributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (attributes != nullptr) {
        o->cleanup = attributes->EvtCleanupCallback;
        o->destroy = attributes->EvtDestroyCallback;
        o->executionLevel = attributes->ExecutionLevel;
        o->synchronizationScope = attributes->SynchronizationScope;
        PCWDF_OBJECT_CONTEXT_TYPE_INFO info = attributes->ContextTypeInfo;
        if (info != nullptr) {
            if (info->Size != sizeof(WDF_OBJECT_CONTEXT_TYPE_INFO)) {
                return STATUS_INFO_LENGTH_MISMATCH;
            }
            PCWDF_OBJECT_CONTEXT_TYPE_INFO type = info->UniqueType != nullptr ? info->UniqueType : info;
            size_t size = std::max(type->ContextSize, attributes->ContextSizeOverride);
            if (size == 0) {
                size = 1;
            }
            // Handed out zeroed, as the framework does.
            void* storage = ZeroedAllocate(size);
            if (storage == nullptr) {
                return STATUS_INSUFFICIENT_RESOURCES;
            }
            o->contexts.push_back(Context{type, storage, size});
        }
    }
    std::lock_guard<std::mutex> guard(g_tree);
    if (parent != nullptr) {
        if (parent->deleting) {
            Report("object created under a parent that is being deleted", call);
            return STATUS_INVALID_DEVICE_STATE;
        }
        parent->children.push_back(o);
        o->parent = parent;
    }
    o->serial = ++g_serial;
    g_live->insert(o);
    return STATUS_SUCCESS;
}

void AddRef(FxObject* o) { o->refs.fetch_add(1, std::memory_order_relaxed); }

void Release(FxObject* o)
{
    if (o->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) {
        return;
    }
    if (o->destroy != nullptr) {
        PFN_WDF_OBJECT_CONTEXT_DESTROY destroy = o->destroy;
        engine::RunAt(KeGetCurrentIrql(), "object destroy callback", [destroy, o] { destroy(Handle<WDFOBJECT>(o)); });
    }
    {
        std::lock_guard<std::mutex> guard(g_tree);
        g_live->erase(o);
    }
    delete o;
}

void Unlist(FxObject* o)
{
    std::lock_guard<std::mutex> guard(g_tree);
    g_live->erase(o);
}

void FrameworkDelete(FxObject* o)
{
    if (o != nullptr) {
        DeleteInternal(o);
    }
}

bool CreateFault(Kind kind, NTSTATUS* status) { return kshim::FaultCheck("wdf.create", KindName(kind), status); }

size_t LiveObjectCount()
{
    std::lock_guard<std::mutex> guard(g_tree);
    return g_live->size();
}

std::vector<std::string> LiveObjectDescriptions(const FxObject* except)
{
    std::vector<const FxObject*> objects;
    std::lock_guard<std::mutex> guard(g_tree);
    for (const FxObject* o : *g_live) {
        if (o != except) {
            objects.push_back(o);
        }
    }
    std::sort(objects.begin(), objects.end(), [](const FxObject* a, const FxObject* b) { return a->serial < b->serial; });
    std::vector<std::string> out;
    for (const FxObject* o : objects) {
        out.push_back(Describe(o));
    }
    return out;
}

void RequirePassive(const char* call)
{
    KIRQL irql = KeGetCurrentIrql();
    if (irql > PASSIVE_LEVEL) {
        char extra[32];
        std::snprintf(extra, sizeof(extra), "at IRQL %u", static_cast<unsigned>(irql));
        Report("PASSIVE_LEVEL call above PASSIVE_LEVEL", call, extra);
    }
}

}  // namespace kshim::wdf

using namespace kshim::wdf;

PVOID WdfObjectGetTypedContextWorker(WDFOBJECT Handle, PCWDF_OBJECT_CONTEXT_TYPE_INFO TypeInfo)
{
    FxObject* o = Lookup(Handle, Kind{}, "WdfObjectGetTypedContext");
    if (o == nullptr) {
        return nullptr;
    }
    PCWDF_OBJECT_CONTEXT_TYPE_INFO wanted = TypeInfo != nullptr && TypeInfo->UniqueType != nullptr ? TypeInfo->UniqueType
                                                                                                   : TypeInfo;
    for (const Context& c : o->contexts) {
        if (c.type == wanted) {
            return c.storage;
        }
    }
    char detail[192];
    std::snprintf(detail, sizeof(detail), "%s #%llu has no context of type %s", KindName(o->kind),
                  static_cast<unsigned long long>(o->serial),
                  wanted != nullptr && wanted->ContextName != nullptr ? wanted->ContextName : "(none)");
    KshimViolation("context of the wrong type asked for", detail);
    return nullptr;
}

VOID WdfObjectDelete(WDFOBJECT Object)
{
    FxObject* o = Lookup(Object, Kind{}, "WdfObjectDelete");
    if (o == nullptr) {
        return;
    }
    switch (o->kind) {
    case Kind::Driver:
    case Kind::ResourceList:
        KshimViolation("WdfObjectDelete of an object only the framework deletes", KindName(o->kind));
        return;
    case Kind::Request:
        KshimViolation("WdfObjectDelete of a request (requests are completed)", nullptr);
        return;
    case Kind::Device:
        if (!static_cast<FxDevice*>(o)->control) {
            KshimViolation("WdfObjectDelete of a PnP device (the framework deletes it at removal)", nullptr);
            return;
        }
        break;
    default:
        break;
    }
    KIRQL irql = KeGetCurrentIrql();
    if (irql > DISPATCH_LEVEL) {
        KshimViolation("WdfObjectDelete above DISPATCH_LEVEL", KindName(o->kind));
    } else if (irql > PASSIVE_LEVEL) {
        bool needsPassive;
        {
            std::lock_guard<std::mutex> guard(g_tree);
            needsPassive = SubtreeNeedsPassiveLocked(o);
        }
        if (needsPassive) {
            char detail[128];
            std::snprintf(detail, sizeof(detail), "%s with callbacks or waits deleted at IRQL %u", KindName(o->kind),
                          static_cast<unsigned>(irql));
            KshimViolation("WdfObjectDelete that must run at PASSIVE_LEVEL", detail);
        }
    }
    DeleteInternal(o);
}

namespace kshim::wdf {

std::vector<FxObject*> ChildrenOf(FxObject* o)
{
    std::lock_guard<std::mutex> guard(g_tree);
    return o != nullptr ? o->children : std::vector<FxObject*>{};
}

}  // namespace kshim::wdf
