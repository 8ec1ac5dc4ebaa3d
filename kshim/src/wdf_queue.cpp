// The default I/O queue of a device (sequential dispatch) and its device-control requests.
#include <algorithm>
#include <cstdio>
#include <deque>

#include "internal.h"
#include "wdf_internal.h"

namespace kshim::wdf {

struct FxRequest;

struct FxQueue : FxObject {
    static constexpr Kind kKind = Kind::Queue;
    FxQueue() : FxObject(Kind::Queue) {}
    bool DeletionWaits() const override { return true; }
    void Dispose() override;

    FxDevice* device = nullptr;
    WDF_IO_QUEUE_CONFIG config{};
    engine::Work dispatch;
    // guarded by g_queueLock
    std::deque<FxRequest*> waiting;
    FxRequest* current = nullptr;  // handed to the driver, not completed yet
};

struct FxRequest : FxObject {
    static constexpr Kind kKind = Kind::Request;
    FxRequest() : FxObject(Kind::Request) {}

    std::shared_ptr<RequestRecord> record;
    FxQueue* queue = nullptr;  // guarded by g_queueLock
    std::atomic<bool> completed{false};
    ULONG_PTR information = 0;
    bool buffered = false;  // one system buffer holds the input and receives the output
    std::vector<uint8_t> inputBuffer;
    std::vector<uint8_t> outputBuffer;
    size_t inputLength = 0;
    size_t outputLength = 0;
};

namespace {

std::mutex g_queueLock;
std::atomic<size_t> g_outstanding{0};

// Completed requests keep their storage for a while, so that a second completion is reported
// instead of touching freed memory.
constexpr size_t kRetiredRequests = 256;
std::mutex g_retiredLock;
std::deque<FxRequest*>* g_retired = new std::deque<FxRequest*>();

// An object cancelled from its own callback keeps a reference until the engine is done with it.
void Drop(void* owner) { Release(static_cast<FxObject*>(owner)); }

uint8_t* InputOf(FxRequest* r) { return r->inputBuffer.data(); }
uint8_t* OutputOf(FxRequest* r) { return r->buffered ? r->inputBuffer.data() : r->outputBuffer.data(); }

void Retire(FxRequest* r)
{
    Unlist(r);
    r->magic = kCompletedRequestMagic;
    FxRequest* oldest = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_retiredLock);
        g_retired->push_back(r);
        if (g_retired->size() > kRetiredRequests) {
            oldest = g_retired->front();
            g_retired->pop_front();
        }
    }
    delete oldest;
}

// Records the result for the sender, frees the queue for the next request and retires the
// request object.
void Finish(FxRequest* r, NTSTATUS status, ULONG_PTR information)
{
    {
        std::lock_guard<std::mutex> guard(r->record->lock);
        const uint8_t* out = OutputOf(r);
        r->record->output.assign(out, out + r->outputLength);
        r->record->status = status;
        r->record->information = information;
        r->record->completed = true;
        r->record->done.NotifyAll();
    }
    {
        std::lock_guard<std::mutex> guard(g_queueLock);
        FxQueue* q = r->queue;
        r->queue = nullptr;
        if (q != nullptr && q->current == r) {
            q->current = nullptr;
            if (!q->waiting.empty()) {
                engine::WorkEnqueue(&q->dispatch);
            }
        }
    }
    g_outstanding.fetch_sub(1);
    Retire(r);
}

void Dispatch(engine::Work* w)
{
    auto* q = static_cast<FxQueue*>(w->owner);
    FxRequest* r;
    {
        std::lock_guard<std::mutex> guard(g_queueLock);
        if (q->current != nullptr || q->waiting.empty()) {
            return;
        }
        r = q->waiting.front();
        q->waiting.pop_front();
        q->current = r;
    }
    if (q->config.EvtIoDeviceControl == nullptr) {
        r->completed.store(true);
        Finish(r, STATUS_INVALID_DEVICE_REQUEST, 0);
        return;
    }
    q->config.EvtIoDeviceControl(Handle<WDFQUEUE>(q), Handle<WDFREQUEST>(r), r->outputLength, r->inputLength,
                                 r->record->code);
}

void CompleteRecordOnly(const std::shared_ptr<RequestRecord>& record, NTSTATUS status)
{
    std::lock_guard<std::mutex> guard(record->lock);
    record->status = status;
    record->completed = true;
    record->done.NotifyAll();
}

NTSTATUS RetrieveBuffer(WDFREQUEST Request, size_t minimum, PVOID* buffer, size_t* length, bool output,
                        const char* call)
{
    if (buffer != nullptr) {
        *buffer = nullptr;
    }
    if (length != nullptr) {
        *length = 0;
    }
    auto* r = Lookup<FxRequest>(Request, call);
    if (r == nullptr || buffer == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    size_t size = output ? r->outputLength : r->inputLength;
    if (size == 0 || size < minimum) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    *buffer = output ? OutputOf(r) : InputOf(r);
    if (length != nullptr) {
        *length = size;
    }
    return STATUS_SUCCESS;
}

void Complete(WDFREQUEST Request, NTSTATUS status, const ULONG_PTR* information, const char* call)
{
    auto* raw = reinterpret_cast<FxObject*>(Request);
    if (raw != nullptr && raw->magic == kCompletedRequestMagic) {
        KshimViolation("request completed twice", call);
        return;
    }
    auto* r = Lookup<FxRequest>(Request, call);
    if (r == nullptr) {
        return;
    }
    if (KeGetCurrentIrql() > DISPATCH_LEVEL) {
        KshimViolation("request completed above DISPATCH_LEVEL", call);
    }
    if (r->completed.exchange(true)) {
        KshimViolation("request completed twice", call);
        return;
    }
    Finish(r, status, information != nullptr ? *information : r->information);
}

}  // namespace

void FxQueue::Dispose()
{
    if (engine::WorkCancel(&dispatch)) {
        AddRef(this);  // deleted from its own request callback: dropped when that is over
    }
    std::deque<FxRequest*> cancelled;
    {
        std::lock_guard<std::mutex> guard(g_queueLock);
        cancelled.swap(waiting);
        for (FxRequest* r : cancelled) {
            r->queue = nullptr;
        }
        // A request the driver holds stays outstanding; the driver may still complete it, and
        // one never completed is reported at unload.
        if (current != nullptr) {
            current->queue = nullptr;
            current = nullptr;
        }
    }
    // Requests the driver never saw are cancelled by the framework.
    for (FxRequest* r : cancelled) {
        r->completed.store(true);
        Finish(r, STATUS_CANCELLED, 0);
    }
    if (device != nullptr) {
        std::lock_guard<std::mutex> guard(device->settingsLock);
        if (device->defaultQueue == this) {
            device->defaultQueue = nullptr;
        }
    }
}

std::shared_ptr<RequestRecord> SubmitDeviceControl(FxDevice* device, ULONG code, const std::vector<uint8_t>& input,
                                                   size_t outputLength, const std::vector<uint8_t>& outputContents)
{
    auto record = std::make_shared<RequestRecord>();
    record->code = code;
    record->input = input;
    FxQueue* queue;
    bool ready;
    {
        std::lock_guard<std::mutex> guard(device->settingsLock);
        queue = device->defaultQueue;
        ready = !device->control || device->settings.controlFinished;
    }
    if (!ready) {
        CompleteRecordOnly(record, STATUS_DEVICE_NOT_READY);
        return record;
    }
    if (queue == nullptr) {
        CompleteRecordOnly(record, STATUS_INVALID_DEVICE_REQUEST);
        return record;
    }
    auto* r = new FxRequest();
    r->record = record;
    r->inputLength = input.size();
    r->outputLength = outputLength;
    r->buffered = (code & 3u) == 0;  // METHOD_BUFFERED: one system buffer for both directions
    if (r->buffered) {
        r->inputBuffer.assign(std::max(input.size(), outputLength), 0);
    } else {
        r->inputBuffer.assign(input.size(), 0);
        r->outputBuffer.assign(outputLength, 0);
        std::copy_n(outputContents.begin(), std::min(outputContents.size(), outputLength), r->outputBuffer.begin());
    }
    std::copy(input.begin(), input.end(), r->inputBuffer.begin());
    Register(r, nullptr, nullptr, "device-control request");
    g_outstanding.fetch_add(1);
    {
        std::lock_guard<std::mutex> guard(g_queueLock);
        r->queue = queue;
        queue->waiting.push_back(r);
        engine::WorkEnqueue(&queue->dispatch);
    }
    return record;
}

size_t OutstandingRequests() { return g_outstanding.load(); }

}  // namespace kshim::wdf

using namespace kshim::wdf;

NTSTATUS WdfIoQueueCreate(WDFDEVICE Device, PWDF_IO_QUEUE_CONFIG Config, PWDF_OBJECT_ATTRIBUTES QueueAttributes,
                          WDFQUEUE* Queue)
{
    RequirePassive("WdfIoQueueCreate");
    if (Queue != nullptr) {
        *Queue = nullptr;
    }
    auto* device = Lookup<FxDevice>(Device, "WdfIoQueueCreate");
    if (device == nullptr || Config == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (Config->Size != sizeof(WDF_IO_QUEUE_CONFIG) || !AttributesValid(QueueAttributes)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (Config->DispatchType != WdfIoQueueDispatchSequential || !Config->DefaultQueue) {
        // Only the sequential default queue is offered.
        return STATUS_NOT_SUPPORTED;
    }
    NTSTATUS status;
    if (CreateFault(Kind::Queue, &status)) {
        return status;
    }
    auto* queue = new FxQueue();
    queue->device = device;
    queue->config = *Config;
    queue->dispatch.routine = Dispatch;
    queue->dispatch.owner = queue;
    queue->dispatch.release = Drop;
    {
        std::lock_guard<std::mutex> guard(device->settingsLock);
        if (device->defaultQueue != nullptr) {
            delete queue;
            return STATUS_INVALID_DEVICE_STATE;
        }
        device->defaultQueue = queue;
    }
    status = Register(queue, QueueAttributes, device, "WdfIoQueueCreate");
    if (!NT_SUCCESS(status)) {
        std::lock_guard<std::mutex> guard(device->settingsLock);
        device->defaultQueue = nullptr;
        delete queue;
        return status;
    }
    if (Queue != nullptr) {
        *Queue = Handle<WDFQUEUE>(queue);
    }
    return STATUS_SUCCESS;
}

WDFDEVICE WdfIoQueueGetDevice(WDFQUEUE Queue)
{
    auto* queue = Lookup<FxQueue>(Queue, "WdfIoQueueGetDevice");
    return queue != nullptr ? Handle<WDFDEVICE>(queue->device) : nullptr;
}

NTSTATUS WdfRequestRetrieveInputBuffer(WDFREQUEST Request, size_t MinimumRequiredSize, PVOID* Buffer, size_t* Length)
{
    return RetrieveBuffer(Request, MinimumRequiredSize, Buffer, Length, false, "WdfRequestRetrieveInputBuffer");
}

NTSTATUS WdfRequestRetrieveOutputBuffer(WDFREQUEST Request, size_t MinimumRequiredSize, PVOID* Buffer, size_t* Length)
{
    return RetrieveBuffer(Request, MinimumRequiredSize, Buffer, Length, true, "WdfRequestRetrieveOutputBuffer");
}

VOID WdfRequestSetInformation(WDFREQUEST Request, ULONG_PTR Information)
{
    if (auto* r = Lookup<FxRequest>(Request, "WdfRequestSetInformation")) {
        r->information = Information;
    }
}

VOID WdfRequestComplete(WDFREQUEST Request, NTSTATUS Status)
{
    Complete(Request, Status, nullptr, "WdfRequestComplete");
}

VOID WdfRequestCompleteWithInformation(WDFREQUEST Request, NTSTATUS Status, ULONG_PTR Information)
{
    Complete(Request, Status, &Information, "WdfRequestCompleteWithInformation");
}
