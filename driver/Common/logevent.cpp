// The system event log.
#include "Common/logevent.h"

#include "kshim/eventlog.h"
#include "kshim/rtl.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "Common/mlme/mlmesync.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/wificxmain.h"

namespace {

constexpr ULONG kEntryFixedSize = sizeof(IO_ERROR_LOG_PACKET);  // 56: the fixed part and 8 dump bytes
constexpr SIZE_T kClientTextSize = 128;

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

// The writers of a fixed text: no adapter, no entry.
void LogFixedText(PMP_ADAPTER adapter, ULONG messageId, PCSTR text, PCSTR caller)
{
    if (adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "%s: no adapter", caller);
        return;
    }
    (void)WriteSystemEventLog(adapter, messageId, 0, text, static_cast<USHORT>(std::strlen(text)));
}

NTSTATUS LogCounter(PMP_ADAPTER adapter, ULONG messageId, const UCHAR* counter, PCSTR caller)
{
    if (adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_INIT, "%s: no adapter", caller);
        return STATUS_SUCCESS;
    }
    return WriteSystemEventLog(adapter, messageId, 0, counter, sizeof(UCHAR));
}

// A client entry of the group owner: the client count, the entry's WLAN index and the peer's address as
// text, logged without its terminator.
void LogClientText(PMP_ADAPTER adapter, ULONG messageId, PCSTR format, PMAC_TABLE_ENTRY entry, const UCHAR* peer)
{
    CHAR text[kClientTextSize] = {};
    if (!NT_SUCCESS(RtlStringCbPrintfA(text, sizeof(text), format, static_cast<int>(adapter->GoClientCount),
                                       static_cast<int>(entry->WlanIdx), peer[0], peer[1], peer[2], peer[3], peer[4],
                                       peer[5]))) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_AP, "client event 0x%08X: text does not fit", static_cast<unsigned>(messageId));
        return;
    }
    (void)WriteSystemEventLog(adapter, messageId, 0, text, static_cast<USHORT>(std::strlen(text)));
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

// ================================================================================================
// clients of the group owner
// ================================================================================================
void LogEventConnectClient(PMP_ADAPTER adapter, PMAC_TABLE_ENTRY entry, const UCHAR* peer)
{
    if (adapter == nullptr || entry == nullptr || peer == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_AP, "%s: no adapter, station entry or address", __func__);
        return;
    }
    ++adapter->GoClientCount;
    LogClientText(adapter, EVENT_LOG_CLIENT_CONNECT, "Connected Clients :%d, PeerId = %d, PeerAddr = %x:%x:%x:%x:%x:%x\n",
                  entry, peer);
}

void LogEventDisconnectClient(PMP_ADAPTER adapter, PMAC_TABLE_ENTRY entry, const UCHAR* peer)
{
    if (adapter == nullptr || entry == nullptr || peer == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_AP, "%s: no adapter, station entry or address", __func__);
        return;
    }
    // A disconnect logged without its connect leaves the count at 0.
    if (adapter->GoClientCount != 0) {
        --adapter->GoClientCount;
    }
    LogClientText(adapter, EVENT_LOG_CLIENT_DISCONNECT,
                  "Remaining Connected Clients :%d, PeerId = %d, PeerAddr = %x:%x:%x:%x:%x:%x\n", entry, peer);
}

// ================================================================================================
// Wi-Fi Direct steps
// ================================================================================================
void LogEventDiscoveryStart(PMP_ADAPTER adapter)
{
    LogFixedText(adapter, EVENT_LOG_DISCOVERY_STARTED, "Discovery Started\n", __func__);
}

void LogEventDiscoveryComplete(PMP_ADAPTER adapter)
{
    LogFixedText(adapter, EVENT_LOG_DISCOVERY_COMPLETED, "Discovery Completed\n", __func__);
}

void LogEventP2PClientRole(PMP_ADAPTER adapter) { LogFixedText(adapter, EVENT_LOG_P2P_CLIENT_ROLE, "GC Role\n", __func__); }

void LogEventP2PStartGO(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_P2P, "%s: no adapter or port", __func__);
        return;
    }
    if (port->HotspotGo) {
        LogEventHotspotGO(adapter, port);
    } else {
        LogEventMiracastGO(adapter, port);
    }
}

void LogEventHotspotGO(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_P2P, "%s: no port", __func__);
        return;
    }
    LogFixedText(adapter, EVENT_LOG_HOTSPOT_GO, "GO Enabled For Hotspot\n", __func__);
}

void LogEventMiracastGO(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_P2P, "%s: no port", __func__);
        return;
    }
    LogFixedText(adapter, EVENT_LOG_MIRACAST_GO, "GO Enabled For Miracast\n", __func__);
}

void LogEventStopGO(PMP_ADAPTER adapter) { LogFixedText(adapter, EVENT_LOG_STOP_GO, "STOP GO \n", __func__); }

void LogEventP2PGoNegoReqRecv(PMP_ADAPTER adapter)
{
    LogFixedText(adapter, EVENT_LOG_GO_NEGO_REQ_RECV, "GO Negotiation Request Received", __func__);
}

void LogEventP2PGoNegoRspRecv(PMP_ADAPTER adapter)
{
    LogFixedText(adapter, EVENT_LOG_GO_NEGO_RSP_RECV, "GO Negotiation Response Received", __func__);
}

void LogEventP2PGoNegoCnfRecv(PMP_ADAPTER adapter)
{
    LogFixedText(adapter, EVENT_LOG_GO_NEGO_CNF_RECV, "GO Negotiation Confirmation Received", __func__);
}

void LogEventP2PGoNegoReqSend(PMP_ADAPTER adapter)
{
    LogFixedText(adapter, EVENT_LOG_GO_NEGO_REQ_SEND, "GO Negotiation Request Send", __func__);
}

void LogEventP2PGoNegoRspSend(PMP_ADAPTER adapter)
{
    LogFixedText(adapter, EVENT_LOG_GO_NEGO_RSP_SEND, "GO Negotiation Response Send", __func__);
}

void LogEventP2PGoNegoCnfSend(PMP_ADAPTER adapter)
{
    LogFixedText(adapter, EVENT_LOG_GO_NEGO_CNF_SEND, "GO Negotiation Confirmation Send", __func__);
}

void LogEventP2PPersistentGroup(PMP_ADAPTER adapter)
{
    LogFixedText(adapter, EVENT_LOG_PERSISTENT_GROUP, "Persistent Group Invite", __func__);
}

void LogEventP2PConnection(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_P2P, "%s: no adapter or port", __func__);
        return;
    }
    PMP_PORT station = MlmeSyncGetPortByType(adapter, EXTSTA);
    if (station == nullptr) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "%s: no station port", __func__);
        return;
    }
    // The kind of connection follows the multi-channel and dual-band state and the channels of the
    // Wi-Fi Direct client and group owner, which come with the concurrency decisions.
    (void)NOT_BUILT_YET();
}

// ================================================================================================
// recovery counters
// ================================================================================================
NTSTATUS LogEventDriverIOFail(PMP_ADAPTER adapter)
{
    return LogCounter(adapter, EVENT_LOG_IO_FAIL, adapter != nullptr ? &adapter->Recovery.RecoveryIoFailCount : nullptr, __func__);
}

NTSTATUS LogEventDriverSerCount(PMP_ADAPTER adapter)
{
    return LogCounter(adapter, EVENT_LOG_SER_COUNT, adapter != nullptr ? &adapter->Recovery.RecoveryL05Count : nullptr, __func__);
}

NTSTATUS LogEventDriverBusHang(PMP_ADAPTER adapter)
{
    return LogCounter(adapter, EVENT_LOG_BUS_HANG, adapter != nullptr ? &adapter->Recovery.RecoveryBusHangCount : nullptr,
                      __func__);
}
