// WDI requests and indications of the Wi-Fi class extension, and the harness's view of them.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>

#include "internal.h"
#include "kshim/host/wifi.h"
#include "kshim/wificx_request.h"
#include "wdf_internal.h"

namespace kshim::wifi {

// The harness's side of one request; the driver holds a handle to it until the completion.
struct RequestRecord {
    std::mutex lock;
    kshim::host::WaitCond done;
    uint16_t messageId = 0;
    std::vector<uint8_t> buffer;
    uint32_t inputLength = 0;
    uint32_t outputLength = 0;
    bool noBuffer = false;
    int completions = 0;
    NTSTATUS status = STATUS_PENDING;
    uint32_t bytesWritten = 0;
    bool bytesNeededSet = false;
    uint32_t bytesNeeded = 0;
};

namespace {

constexpr uint32_t kLiveRequestMagic = 0x57694671u;

// What a WIFIREQUEST handle points at.
struct RequestObject : WIFIREQUEST__ {
    uint32_t magic = kLiveRequestMagic;
    std::shared_ptr<RequestRecord> record;
};

std::mutex g_lock;
kshim::host::WaitCond g_indicated;
std::set<RequestObject*> g_live;                // guarded by g_lock
std::vector<kshim::host::WdiIndication> g_seen;  // guarded by g_lock

// The live request behind a handle; a stale or foreign handle is a strict-mode failure.
std::shared_ptr<RequestRecord> Find(WIFIREQUEST request, const char* call)
{
    std::lock_guard<std::mutex> guard(g_lock);
    auto* object = static_cast<RequestObject*>(request);
    if (request == nullptr || g_live.count(object) == 0) {
        KshimViolation("a WDI request handle that is not live (completed or never created)", call);
        return nullptr;
    }
    return object->record;
}

uint32_t ReadU32(const std::vector<uint8_t>& bytes, size_t offset)
{
    if (bytes.size() < offset + 4) {
        return 0;
    }
    return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) |
           (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

}  // namespace
}  // namespace kshim::wifi

using namespace kshim::wifi;

USHORT WifiRequestGetMessageId(WIFIREQUEST Request)
{
    auto record = Find(Request, "WifiRequestGetMessageId");
    return record != nullptr ? record->messageId : 0;
}

PVOID WifiRequestGetInOutBuffer(WIFIREQUEST Request, PUINT InputBufferLength, PUINT OutputBufferLength)
{
    auto record = Find(Request, "WifiRequestGetInOutBuffer");
    bool none = record == nullptr || record->noBuffer;
    if (InputBufferLength != nullptr) {
        *InputBufferLength = none ? 0 : record->inputLength;
    }
    if (OutputBufferLength != nullptr) {
        *OutputBufferLength = none ? 0 : record->outputLength;
    }
    return none ? nullptr : record->buffer.data();
}

VOID WifiRequestSetBytesNeeded(WIFIREQUEST Request, UINT BytesNeeded)
{
    auto record = Find(Request, "WifiRequestSetBytesNeeded");
    if (record == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> guard(record->lock);
    record->bytesNeededSet = true;
    record->bytesNeeded = BytesNeeded;
}

VOID WifiRequestComplete(WIFIREQUEST Request, NTSTATUS NtStatus, UINT BytesWritten)
{
    std::shared_ptr<RequestRecord> record;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        auto* object = static_cast<RequestObject*>(Request);
        if (Request == nullptr || g_live.count(object) == 0) {
            KshimViolation("a WDI request completed twice or never created", "WifiRequestComplete");
            return;
        }
        g_live.erase(object);
        record = object->record;
        object->magic = 0;
        delete object;
    }
    if (BytesWritten > record->outputLength) {
        KshimViolation("a WDI request completed with more bytes than its output buffer holds", "WifiRequestComplete");
    }
    std::lock_guard<std::mutex> guard(record->lock);
    record->completions++;
    record->status = NtStatus;
    record->bytesWritten = BytesWritten;
    record->done.NotifyAll();
}

VOID WifiDeviceReceiveIndication(WDFDEVICE Device, USHORT IndicationType, WDFMEMORY Data)
{
    kshim::wdf::Lookup<kshim::wdf::FxDevice>(Device, "WifiDeviceReceiveIndication");
    size_t size = 0;
    auto* bytes = static_cast<const uint8_t*>(WdfMemoryGetBuffer(Data, &size));
    kshim::host::WdiIndication indication;
    indication.device = Device;
    indication.code = IndicationType;
    indication.time = kshim::ClockNow();
    if (bytes != nullptr) {
        indication.bytes.assign(bytes, bytes + size);
    }
    std::lock_guard<std::mutex> guard(g_lock);
    g_seen.push_back(std::move(indication));
    g_indicated.NotifyAll();
}

namespace kshim::host {

std::vector<uint8_t> WdiMessage(uint16_t portId, uint32_t transactionId, const std::vector<uint8_t>& tlvs)
{
    std::vector<uint8_t> out(16, 0);
    out.reserve(16 + tlvs.size());
    out[0] = static_cast<uint8_t>(portId);
    out[1] = static_cast<uint8_t>(portId >> 8);
    for (int i = 0; i < 4; ++i) {
        out[8 + i] = static_cast<uint8_t>(transactionId >> (8 * i));
    }
    // Byte by byte: GCC 12 at -O3 misreads a range insert after the fixed header as out of bounds.
    for (uint8_t b : tlvs) {
        out.push_back(b);
    }
    return out;
}

std::vector<uint8_t> WdiTlv(uint16_t type, const std::vector<uint8_t>& value)
{
    std::vector<uint8_t> out{static_cast<uint8_t>(type), static_cast<uint8_t>(type >> 8),
                             static_cast<uint8_t>(value.size()), static_cast<uint8_t>(value.size() >> 8)};
    out.reserve(4 + value.size());
    for (uint8_t b : value) {
        out.push_back(b);
    }
    return out;
}

WdiRequest NewWdiRequest(uint16_t messageId, const std::vector<uint8_t>& message, size_t outputLength,
                         bool noBuffer)
{
    WdiRequest request;
    request.record = std::make_shared<RequestRecord>();
    request.record->messageId = messageId;
    request.record->buffer = message;
    request.record->buffer.resize(std::max(message.size(), outputLength));
    request.record->inputLength = static_cast<uint32_t>(message.size());
    request.record->outputLength = static_cast<uint32_t>(outputLength);
    request.record->noBuffer = noBuffer;
    auto* object = new RequestObject();
    object->record = request.record;
    std::lock_guard<std::mutex> guard(g_lock);
    g_live.insert(object);
    return request;
}

WIFIREQUEST WdiRequestHandle(const WdiRequest& request)
{
    std::lock_guard<std::mutex> guard(g_lock);
    for (RequestObject* object : g_live) {
        if (object->record == request.record) {
            return object;
        }
    }
    return nullptr;
}

size_t WdiRequestsOutstanding()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_live.size();
}

bool WdiRequest::Wait(unsigned realMs) const
{
    std::unique_lock<std::mutex> lock(record->lock);
    return kshim::host::WaitUntil(lock, record->done, INT64_MAX, [&] { return record->completions > 0; },
                                  std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs));
}

bool WdiRequest::Completed() const
{
    std::lock_guard<std::mutex> guard(record->lock);
    return record->completions > 0;
}

int WdiRequest::Completions() const
{
    std::lock_guard<std::mutex> guard(record->lock);
    return record->completions;
}

NTSTATUS WdiRequest::Status() const
{
    std::lock_guard<std::mutex> guard(record->lock);
    return record->status;
}

uint32_t WdiRequest::BytesWritten() const
{
    std::lock_guard<std::mutex> guard(record->lock);
    return record->bytesWritten;
}

bool WdiRequest::BytesNeededSet() const
{
    std::lock_guard<std::mutex> guard(record->lock);
    return record->bytesNeededSet;
}

uint32_t WdiRequest::BytesNeeded() const
{
    std::lock_guard<std::mutex> guard(record->lock);
    return record->bytesNeeded;
}

std::vector<uint8_t> WdiRequest::Buffer() const
{
    std::lock_guard<std::mutex> guard(record->lock);
    return record->buffer;
}

uint16_t WdiRequest::MessageId() const { return record->messageId; }

uint16_t WdiIndication::PortId() const
{
    return bytes.size() >= 2 ? static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)) : 0;
}
uint32_t WdiIndication::Status() const { return kshim::wifi::ReadU32(bytes, 4); }
uint32_t WdiIndication::TransactionId() const { return kshim::wifi::ReadU32(bytes, 8); }

std::vector<WdiIndication> WifiIndications()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_seen;
}

void WifiClearIndications()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_seen.clear();
}

bool WifiWaitIndications(size_t count, unsigned realMs)
{
    std::unique_lock<std::mutex> lock(g_lock);
    return kshim::host::WaitUntil(lock, g_indicated, INT64_MAX, [&] { return g_seen.size() >= count; },
                                  std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs));
}

}  // namespace kshim::host
