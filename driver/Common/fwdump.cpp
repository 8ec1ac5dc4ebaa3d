// The firmware's assert dump, the core-dump files and the ICS log file.
#include "Common/fwdump.h"

#include <cstring>

#include "Common/common.h"
#include "Common/decoders.h"
#include "Common/qzevent.h"
#include "Common/qzevent_services.h"
#include "kshim/files.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr WCHAR kCoreDumpName[] = u"\\SystemRoot\\System32\\drivers\\CoreDump";
constexpr WCHAR kCoreDumpBtName[] = u"\\SystemRoot\\System32\\drivers\\CoreDumpBT";
constexpr WCHAR kIcsLogName[] = u"\\SystemRoot\\System32\\drivers\\IcsLog";
constexpr WCHAR kIcsLogSuffix[] = u".bin";
// The ICS file name is built in 200 bytes.
constexpr USHORT kIcsNameBytes = 200;
// The first chunk of a dump of the Bluetooth side, terminator included.
constexpr char kBtDumpText[] = "bt_coredump";
static_assert(sizeof(kBtDumpText) == 12, "the Bluetooth dump marker is compared over 12 bytes");
// The first five characters of the chunks that end the dump's header ("; more log added here",
// ";[core dump start]").
constexpr char kHeaderEndMore[] = ";more";
constexpr char kHeaderEndCore[] = ";[cor";
constexpr ULONG kHeaderEndLength = 5;

// Opens a file of the dump and log folder for reading and writing, shared for reading only.
NTSTATUS OpenLogFile(PHANDLE handle, PUNICODE_STRING name, ULONG disposition)
{
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
    IO_STATUS_BLOCK io = {};
    return ZwCreateFile(handle, GENERIC_READ | GENERIC_WRITE | SYNCHRONIZE, &attributes, &io, nullptr,
                        FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, disposition,
                        FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_RANDOM_ACCESS, nullptr, 0);
}

void CloseHandleOf(HANDLE* handle)
{
    if (*handle != nullptr) {
        (void)ZwClose(*handle);
        *handle = nullptr;
    }
}

void PostDumpData(PMP_ADAPTER adapter, const UCHAR* data, ULONG length)
{
    // A chunk longer than one internal command goes in several, in order: the control thread writes
    // them one after the other.
    while (length != 0) {
        const ULONG piece = length < INTERNAL_CMD_PAYLOAD_SIZE ? length : INTERNAL_CMD_PAYLOAD_SIZE;
        (void)QZEnqueueInternalCmd(adapter, adapter->PortList[0], INTERNAL_CMD_CORE_DUMP_DATA, data, piece);
        data += piece;
        length -= piece;
    }
}

ULONG BigEndian32(const UCHAR* p)
{
    return (static_cast<ULONG>(p[0]) << 24) | (static_cast<ULONG>(p[1]) << 16) | (static_cast<ULONG>(p[2]) << 8) | p[3];
}

ULONG Little32(const UCHAR* p)
{
    ULONG v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}

BOOLEAN IcsLoggingOn(const MP_ADAPTER* adapter)
{
    return static_cast<BOOLEAN>(adapter->FwDump.IcsLogging[0] != 0 || adapter->FwDump.IcsLogging[1] != 0 ||
                                adapter->FwDump.IcsLoggingDynamic != 0);
}

}  // namespace

NTSTATUS PlatformOpenCoreDumpFile(PMP_ADAPTER adapter, UCHAR open)
{
    if (!open) {
        CloseHandleOf(&adapter->FwDump.CoreDumpFile);
        return STATUS_SUCCESS;
    }
    CloseHandleOf(&adapter->FwDump.CoreDumpFile);
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, adapter->FwDump.AssertDumpMark ? kCoreDumpBtName : kCoreDumpName);
    // Emptied on open: a shorter dump must not keep the tail of the one before.
    HANDLE handle = nullptr;
    const NTSTATUS status = OpenLogFile(&handle, &name, FILE_OVERWRITE_IF);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "core-dump file open failed: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    adapter->FwDump.CoreDumpFile = handle;
    return STATUS_SUCCESS;
}

NTSTATUS PlatformOpenIcsLogFile(PMP_ADAPTER adapter, UCHAR open)
{
    if (!open) {
        CloseHandleOf(&adapter->FwDump.IcsLogFile);
        return STATUS_SUCCESS;
    }
    WCHAR text[kIcsNameBytes / sizeof(WCHAR)] = {};
    UNICODE_STRING name = {0, kIcsNameBytes, text};
    NTSTATUS status = RtlAppendUnicodeToString(&name, kIcsLogName);
    if (NT_SUCCESS(status)) {
        status = BuildFileNameWithTimeFields(&name);
    }
    if (NT_SUCCESS(status)) {
        status = RtlAppendUnicodeToString(&name, kIcsLogSuffix);
    }
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "ICS log file name not built: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    CloseHandleOf(&adapter->FwDump.IcsLogFile);
    HANDLE handle = nullptr;
    status = OpenLogFile(&handle, &name, FILE_OPEN_IF);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "ICS log file open failed: 0x%08X", static_cast<unsigned>(status));
        return status;
    }
    adapter->FwDump.IcsLogFile = handle;
    return STATUS_SUCCESS;
}

VOID ProcessAssertDumpEvent(PMP_ADAPTER adapter, PUCHAR eventView, PUCHAR payload, ULONG payloadLength)
{
    const UCHAR s2d = eventView[FW_EVENT_VIEW_S2D_OFFSET];
    if (s2d != 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "ProcessAssertDumpEvent: S2D index %u ignored", static_cast<unsigned>(s2d));
        return;
    }
    PMP_PORT port0 = adapter->PortList[0];
    if (port0 == nullptr) {
        // The dump's commands and its end timer belong to port 0.
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_FW, "ProcessAssertDumpEvent: no port 0, %u bytes dropped",
                 static_cast<unsigned>(payloadLength));
        return;
    }
    const BOOLEAN start = static_cast<BOOLEAN>(adapter->FwDump.CoreDumpInProgress == 0);
    if (start) {
        adapter->FwDump.AssertDumpMark = static_cast<UCHAR>(adapter->RegistryBlock.EnableBtCoredumpExport != 0 &&
                                                     payloadLength >= sizeof(kBtDumpText) &&
                                                     std::memcmp(payload, kBtDumpText, sizeof(kBtDumpText)) == 0);
        adapter->FwDump.FwAsserted = 1;
        adapter->FwDump.CoreDumpHeaderPhase = 1;
        const UCHAR openFile = 1;
        (void)QZEnqueueInternalCmd(adapter, adapter->PortList[0], INTERNAL_CMD_CORE_DUMP_FILE, &openFile, sizeof(openFile));
        adapter->FwDump.CoreDumpByteCount = 0;
        adapter->FwDump.CoreDumpInProgress = 1;
        if (adapter->FwDump.AssertDumpMark) {
            (void)QzCmdBtCtrl(adapter, 0);
        } else {
            PostDumpData(adapter, reinterpret_cast<const UCHAR*>(adapter->FwIdentText), FW_IDENT_TEXT_SIZE);
        }
    }
    if (adapter->FwDump.CoreDumpHeaderPhase) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "assert dump: %.*s", static_cast<int>(payloadLength),
                 reinterpret_cast<const char*>(payload));
        if (payloadLength >= kHeaderEndLength && (std::memcmp(payload, kHeaderEndMore, kHeaderEndLength) == 0 ||
                                                  std::memcmp(payload, kHeaderEndCore, kHeaderEndLength) == 0)) {
            adapter->FwDump.CoreDumpHeaderPhase = 0;
        }
    }
    PostDumpData(adapter, payload, payloadLength);
    adapter->FwDump.CoreDumpByteCount += payloadLength;

    if (!adapter->FwDump.CoreDumpTimer.Initialized) {
        PlatformInitTimer(port0, &adapter->FwDump.CoreDumpTimer, McuCorDumpTimeOut, 0, "wlanMcuCorDumpTimer");
    }
    UCHAR cancelled = 0;
    PlatformCancelTimer(&adapter->FwDump.CoreDumpTimer, &cancelled);
    const NTSTATUS armed = PlatformSetTimer(port0, &adapter->FwDump.CoreDumpTimer, CORE_DUMP_END_MS);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "ProcessAssertDumpEvent: %s%s dump, chunk of %u bytes, %u in all; end timer 0x%08X",
             start ? "new " : "", adapter->FwDump.AssertDumpMark ? "Bluetooth" : "Wi-Fi", static_cast<unsigned>(payloadLength),
             static_cast<unsigned>(adapter->FwDump.CoreDumpByteCount), static_cast<unsigned>(armed));
}

VOID McuCorDumpTimeOut(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer, PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr) {
        return;
    }
    const UCHAR end = 0;
    const NTSTATUS status = QZEnqueueInternalCmd(port->Adapter, port, INTERNAL_CMD_CORE_DUMP_FILE, &end, sizeof(end));
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "core dump ended: 0x%08X", static_cast<unsigned>(status));
}

NTSTATUS ProcessIcsLog(PMP_ADAPTER adapter, const UCHAR* buffer, USHORT length)
{
    if (!IcsLoggingOn(adapter)) {
        return STATUS_SUCCESS;
    }
    if (!adapter->FwDump.IcsLogOpen) {
        const UCHAR openFile = 1;
        const NTSTATUS status = QZEnqueueIcsCmd(adapter, adapter->PortList[0], INTERNAL_CMD_ICS_FILE, &openFile, sizeof(openFile));
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
    return QZEnqueueIcsCmd(adapter, adapter->PortList[0], INTERNAL_CMD_ICS_WRITE, buffer, length);
}

VOID nicExtEventPhyIcsRawData(PMP_ADAPTER adapter, PUCHAR payload, ULONG payloadLength)
{
    constexpr ULONG kDataBytes = ICS_PHY_RAW_WORDS * sizeof(ULONG);
    if (payloadLength < ICS_PHY_RAW_DATA_OFFSET) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_FW, "PHY raw data of %u bytes dropped", static_cast<unsigned>(payloadLength));
        return;
    }
    // The words present: the count the firmware gives, at most the 256 of the data area and what the
    // event carries.
    const ULONG carried = (payloadLength - ICS_PHY_RAW_DATA_OFFSET) / sizeof(ULONG);
    ULONG n = Little32(payload + ICS_PHY_RAW_COUNT_OFFSET);
    n = n < ICS_PHY_RAW_WORDS ? n : ICS_PHY_RAW_WORDS;
    n = n < carried ? n : carried;
    const ULONG recordLength = ICS_RECORD_HEADER_SIZE + n * sizeof(ULONG);
    static_assert(ICS_RECORD_HEADER_SIZE + kDataBytes <= 0xFFFF, "a PHY raw record fits its u16 length");
    if (KeGetCurrentIrql() > PASSIVE_LEVEL) {
        // Files are written at passive level only: the record is dropped, and the log is opened on the
        // ICS thread for the records that follow.
        if (!adapter->FwDump.IcsLogOpen) {
            const UCHAR openFile = 1;
            (void)QZEnqueueIcsCmd(adapter, adapter->PortList[0], INTERNAL_CMD_ICS_FILE, &openFile, sizeof(openFile));
        }
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_FW, "PHY raw record of %u bytes dropped above passive level",
                 static_cast<unsigned>(recordLength));
        return;
    }
    PUCHAR record = nullptr;
    NTSTATUS status = PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&record), recordLength, TAG_ZV20);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "no memory for a PHY raw record: 0x%08X", static_cast<unsigned>(status));
        return;
    }
    ICS_RECORD_HEADER header = {};
    header.Magic = ICS_RECORD_MAGIC;
    header.Reserved = Little32(payload + ICS_PHY_RAW_TAG_OFFSET);
    header.Type = ICS_RECORD_TYPE_PHY_RAW;
    header.Length = static_cast<USHORT>(n * sizeof(ULONG));
    std::memcpy(record, &header, sizeof(header));
    for (ULONG i = 0; i < n; ++i) {
        const ULONG word = BigEndian32(payload + ICS_PHY_RAW_DATA_OFFSET + i * sizeof(ULONG));
        std::memcpy(record + ICS_RECORD_HEADER_SIZE + i * sizeof(ULONG), &word, sizeof(word));
    }
    if (!adapter->FwDump.IcsLogOpen) {
        status = PlatformOpenIcsLogFile(adapter, 1);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "ICS log not opened for a PHY raw record: 0x%08X", static_cast<unsigned>(status));
            PlatformFreeMemory(record, recordLength);
            return;
        }
        adapter->FwDump.IcsLogOpen = 1;
    }
    IO_STATUS_BLOCK io = {};
    status = ZwWriteFile(adapter->FwDump.IcsLogFile, nullptr, nullptr, nullptr, &io, record, recordLength, nullptr, nullptr);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "PHY raw record write failed: 0x%08X", static_cast<unsigned>(status));
    }
    PlatformFreeMemory(record, recordLength);
}
