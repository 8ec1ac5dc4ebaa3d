// The system event log.
#include "Common/logevent.h"

#include "kshim/eventlog.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/wificxmain.h"

namespace {

constexpr ULONG kEntryFixedSize = sizeof(IO_ERROR_LOG_PACKET);  // 56: the fixed part and 8 dump bytes

ULONG RoundUp4(ULONG n) { return (n + 3) & ~3u; }

// The 40-byte record of the driver-life entries.
#pragma pack(push, 1)
struct DriverLifeRecord {
    LONGLONG SystemTime;
    CHAR Version[32];
};
#pragma pack(pop)
static_assert(sizeof(DriverLifeRecord) == 40, "driver-life record is 40 bytes");

void LogDriverLife(PMP_ADAPTER adapter, ULONG messageId, PCSTR caller)
{
    if (adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "%s: no adapter", caller);
        return;
    }
    DriverLifeRecord record = {};
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    record.SystemTime = now.QuadPart;
    SIZE_T length = std::strlen(QZL_DRIVER_VERSION_TEXT);
    PlatformMoveMemory(record.Version, QZL_DRIVER_VERSION_TEXT,
                       static_cast<ULONG>(length < sizeof(record.Version) ? length : sizeof(record.Version)));
    (void)WriteSystemEventLog(adapter, messageId, 0, &record, sizeof(record));
}

}  // namespace

NTSTATUS WriteSystemEventLog(PMP_ADAPTER adapter, ULONG messageId, UCHAR mode, const void* data, USHORT length)
{
    UNREFERENCED_PARAMETER(mode);
    if (adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "event 0x%08X without an adapter", static_cast<unsigned>(messageId));
        return STATUS_SUCCESS;
    }
    if (adapter->EnableSystemEventLog != 1) {
        return STATUS_SUCCESS;
    }
    ULONG serial = static_cast<ULONG>(InterlockedIncrement(&adapter->EventSerialNumber));
    ULONG total = data != nullptr ? length : 0;
    ULONG pieces = total == 0 ? 1 : (total + EVENT_LOG_PIECE_SIZE - 1) / EVENT_LOG_PIECE_SIZE;
    const UCHAR* next = static_cast<const UCHAR*>(data);
    ULONG remaining = total;
    for (ULONG piece = 1; piece <= pieces; ++piece) {
        ULONG size = remaining > EVENT_LOG_PIECE_SIZE ? EVENT_LOG_PIECE_SIZE : remaining;
        ULONG padded = RoundUp4(size);
        if (adapter->Fdo == nullptr) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "event 0x%08X: no device object", static_cast<unsigned>(messageId));
            return EVENT_LOG_WRITE_FAILED;
        }
        auto* entry = static_cast<PIO_ERROR_LOG_PACKET>(
            IoAllocateErrorLogEntry(adapter->Fdo, static_cast<UCHAR>(kEntryFixedSize + padded)));
        if (entry == nullptr) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "event 0x%08X: no entry for piece %u", static_cast<unsigned>(messageId),
                     static_cast<unsigned>(piece));
            return EVENT_LOG_WRITE_FAILED;
        }
        PlatformZeroMemory(entry, kEntryFixedSize + padded);
        entry->ErrorCode = static_cast<NTSTATUS>(messageId);
        entry->SequenceNumber = piece * 0x10000 + pieces;
        entry->IoControlCode = serial;
        entry->DumpDataSize = static_cast<USHORT>(padded + 8);
        PlatformMoveMemory(entry->DumpData, next, size);
        IoWriteErrorLogEntry(entry);
        next = next != nullptr ? next + size : nullptr;
        remaining -= size;
    }
    return STATUS_SUCCESS;
}

void LogEventDriverInit(PMP_ADAPTER adapter) { LogDriverLife(adapter, EVENT_LOG_DRIVER_INIT, __func__); }

void LogEventDriverUnload(PMP_ADAPTER adapter) { LogDriverLife(adapter, EVENT_LOG_DRIVER_UNLOAD, __func__); }
