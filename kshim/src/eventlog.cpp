// The system event log: error-log entries kept in memory in write order, echoed on request.
#include "kshim/eventlog.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "internal.h"
#include "kshim/host/eventlog.h"
#include "kshim/irql.h"

namespace {

constexpr uint64_t kEntryMagic = 0x454C4F47454E5452ull;  // "ELOGENTR"

// Kept in front of every entry handed out.
struct alignas(16) EntryHeader {
    uint64_t magic;
    const void* ioObject;
    uint8_t entrySize;
};

std::mutex g_lock;
std::vector<kshim::host::ErrorLogEntry>* g_entries = new std::vector<kshim::host::ErrorLogEntry>();
uint64_t g_order = 0;
std::atomic<bool> g_echo{false};
std::atomic<size_t> g_outstanding{0};

}  // namespace

PVOID IoAllocateErrorLogEntry(PVOID ioObject, UCHAR entrySize)
{
    if (KeGetCurrentIrql() > DISPATCH_LEVEL) {
        KshimViolation("IoAllocateErrorLogEntry above DISPATCH_LEVEL", nullptr);
    }
    if (ioObject == nullptr || entrySize > ERROR_LOG_MAXIMUM_SIZE || entrySize < sizeof(IO_ERROR_LOG_PACKET)) {
        return nullptr;
    }
    NTSTATUS ignored;
    if (kshim::FaultCheck("errorlog.alloc", nullptr, &ignored)) {
        return nullptr;
    }
    auto* block = static_cast<uint8_t*>(std::calloc(1, sizeof(EntryHeader) + entrySize));
    if (block == nullptr) {
        return nullptr;
    }
    auto* header = reinterpret_cast<EntryHeader*>(block);
    header->magic = kEntryMagic;
    header->ioObject = ioObject;
    header->entrySize = entrySize;
    g_outstanding.fetch_add(1);
    return block + sizeof(EntryHeader);
}

void IoWriteErrorLogEntry(PVOID elEntry)
{
    if (KeGetCurrentIrql() > DISPATCH_LEVEL) {
        KshimViolation("IoWriteErrorLogEntry above DISPATCH_LEVEL", nullptr);
    }
    if (elEntry == nullptr) {
        KshimViolation("IoWriteErrorLogEntry of a null entry", nullptr);
        return;
    }
    auto* header = reinterpret_cast<EntryHeader*>(static_cast<uint8_t*>(elEntry) - sizeof(EntryHeader));
    if (header->magic != kEntryMagic) {
        KshimViolation("IoWriteErrorLogEntry of memory that is not an allocated entry", nullptr);
        return;
    }
    auto* packet = static_cast<PIO_ERROR_LOG_PACKET>(elEntry);
    size_t room = header->entrySize - offsetof(IO_ERROR_LOG_PACKET, DumpData);
    size_t dumpBytes = packet->DumpDataSize;
    if (dumpBytes > room) {
        char detail[96];
        std::snprintf(detail, sizeof(detail), "dump data size %zu, entry holds %zu", dumpBytes, room);
        KshimViolation("error-log entry claims more dump data than it holds", detail);
        dumpBytes = room;
    }
    kshim::host::ErrorLogEntry e;
    e.ioObject = header->ioObject;
    e.entrySize = header->entrySize;
    e.majorFunctionCode = packet->MajorFunctionCode;
    e.retryCount = packet->RetryCount;
    e.eventCategory = packet->EventCategory;
    e.errorCode = static_cast<uint32_t>(packet->ErrorCode);
    e.uniqueErrorValue = packet->UniqueErrorValue;
    e.finalStatus = packet->FinalStatus;
    e.sequenceNumber = packet->SequenceNumber;
    e.ioControlCode = packet->IoControlCode;
    e.deviceOffset = packet->DeviceOffset.QuadPart;
    e.time = kshim::ClockNow();
    e.dumpDataSize = packet->DumpDataSize;
    auto* dump = reinterpret_cast<const uint8_t*>(packet->DumpData);
    e.dumpData.assign(dump, dump + dumpBytes);
    header->magic = 0;
    std::free(header);
    g_outstanding.fetch_sub(1);
    std::lock_guard<std::mutex> guard(g_lock);
    e.order = ++g_order;
    if (g_echo.load()) {
        std::fprintf(stderr, "eventlog #%llu: code 0x%08X seq 0x%08X control %u dump %zu bytes\n",
                     static_cast<unsigned long long>(e.order), e.errorCode, e.sequenceNumber, e.ioControlCode,
                     e.dumpData.size());
    }
    g_entries->push_back(std::move(e));
}

namespace kshim::host {

std::vector<ErrorLogEntry> ErrorLogSnapshot()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return *g_entries;
}

void ErrorLogClear()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_entries->clear();
}

void ErrorLogSetEcho(bool on) { g_echo.store(on); }

size_t ErrorLogOutstanding() { return g_outstanding.load(); }

}  // namespace kshim::host
