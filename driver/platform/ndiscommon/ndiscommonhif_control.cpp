// The control-thread command executor: the one place where deferred work of timers, interrupt work,
// firmware events and OS requests is carried out at passive level, one internal command at a time, on
// "PlatformControlCmdThread" (ids 0x1000xxxx) and "IcsCmdThread" (ids 0x8000000x). The ICS commands
// touch only the ICS log fields of the adapter and the control commands never do, so the two threads
// share no state here.
#include <cstring>

#include "Common/mlme/mlme.h"
#include "Common/decoders.h"
#include "Common/fwsettings.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/qzcmd.h"
#include "hal/common/hal_services.h"
#include "kshim/files.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "platform/ndiscommon/ndiscommonioctl.h"
#include "platform/ndiscommon/trace.h"

UCHAR g_FactCalCursor;

namespace {

// The chip register whose value the host CSR dump traces after the dump.
constexpr ULONG kHostCsrTraceRegister = 0x820D1808;
// Answers of the chip's firmware recovery that are not worth a trace: done, and not supported.
constexpr NTSTATUS kFwRecoveryNotSupported = static_cast<NTSTATUS>(0xC00000BBL);
// The recovery kind a core dump that ends with its file open asks for, and the stall reason it reports.
constexpr ULONG kCoreDumpRecoveryKind = 6;
constexpr ULONG kCoreDumpStallReason = 8;
// The station entry whose peer is reported to WiFiCx.
constexpr UCHAR kPeerWlanIndex = 1;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr ULONG64 kUnixEpochSeconds = 11644473600ull;

// The u32 of the first four bytes of a payload; FALSE (traced) when the payload is shorter.
BOOLEAN PayloadUlong(ULONG cmdId, const UCHAR* payload, ULONG length, PULONG value)
{
    if (payload == nullptr || length < sizeof(ULONG)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "internal command 0x%08X: %u bytes where a u32 is needed",
                 static_cast<unsigned>(cmdId), static_cast<unsigned>(length));
        return FALSE;
    }
    std::memcpy(value, payload, sizeof(ULONG));
    return TRUE;
}

// The port whose index a command's payload names; none (traced) for an index outside the port array or
// a port that does not exist.
PMP_PORT PayloadPort(PMP_ADAPTER adapter, ULONG cmdId, const UCHAR* payload, ULONG length)
{
    ULONG index = 0;
    if (!PayloadUlong(cmdId, payload, length, &index)) {
        return nullptr;
    }
    if (index >= MP_MAX_PORTS || adapter->PortList[index] == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "internal command 0x%08X: no port %u", static_cast<unsigned>(cmdId),
                 static_cast<unsigned>(index));
        return nullptr;
    }
    return adapter->PortList[index];
}

// ---- link loss ----------------------------------------------------------------------------------------------
void LinkLoss(PMP_ADAPTER adapter, PMP_PORT port)
{
    UCHAR bssid[MAC_ADDR_LEN];
    PlatformMoveMemory(bssid, port->Bssid, MAC_ADDR_LEN);
    PlatformMoveMemory(port->LastBssid, bssid, MAC_ADDR_LEN);
    (void)MlmeCntLinkDown(port, 0);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_THREAD, "link lost on port %u", static_cast<unsigned>(port->PortNumber));
    if (adapter->Wake.PendingWakeIndication != 0) {
        adapter->Wake.PendingWakeIndication = 0;
        (void)WOWLANPacketIndicateFunc(adapter, adapter->PortList[0]);
    }
    PlatformIndicateDisassociation(adapter, port, bssid, LINK_LOSS_REASON, LINK_LOSS_SOURCE);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_THREAD, "disassociation from %02x:%02x:%02x:%02x:%02x:%02x indicated",
             bssid[0], bssid[1], bssid[2], bssid[3], bssid[4], bssid[5]);
}

// ---- core dump ------------------------------------------------------------------------------------------------
void CloseCoreDump(PMP_ADAPTER adapter)
{
    adapter->FwDump.CoreDumpInProgress = 0;
    adapter->FwDump.CoreDumpByteCount = 0;
    (void)PlatformOpenCoreDumpFile(adapter, 0);
    adapter->FwDump.CoreDumpOpen = 0;
}

void CoreDumpFile(PMP_ADAPTER adapter, const UCHAR* payload, ULONG length)
{
    if (payload == nullptr || length < 1) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "core-dump file command without its byte");
        return;
    }
    if (payload[0] == 1) {
        NTSTATUS status = PlatformOpenCoreDumpFile(adapter, 1);
        if (NT_SUCCESS(status)) {
            adapter->FwDump.CoreDumpOpen = 1;
        } else {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "core-dump file not opened: 0x%08X", static_cast<unsigned>(status));
        }
        return;
    }
    if (adapter->FwDump.AssertDumpMark) {
        // This dump is reported by its own event; the file only closes.
        adapter->FwDump.AssertDumpMark = 0;
        CloseCoreDump(adapter);
        return;
    }
    if (adapter->FwDump.CoreDumpOpen) {
        CloseCoreDump(adapter);
        (void)PlatformIndicateFirmwareStalled(adapter, kCoreDumpStallReason);
        const ULONG kind = kCoreDumpRecoveryKind;
        NTSTATUS status =
            QZEnqueueInternalCmd(adapter, adapter->PortList[0], INTERNAL_CMD_ERROR_RECOVERY, &kind, sizeof(kind));
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "recovery after the core dump not posted: 0x%08X",
                     static_cast<unsigned>(status));
        }
    }
}

void CoreDumpData(PMP_ADAPTER adapter, PUCHAR payload, ULONG length)
{
    if (!adapter->FwDump.CoreDumpOpen || adapter->FwDump.CoreDumpFile == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_THREAD, "%u core-dump bytes without an open file", static_cast<unsigned>(length));
        return;
    }
    IO_STATUS_BLOCK io = {};
    NTSTATUS status = ZwWriteFile(adapter->FwDump.CoreDumpFile, nullptr, nullptr, nullptr, &io, payload, length, nullptr, nullptr);
    DBGPRINT(NT_SUCCESS(status) ? TRACE_LEVEL_VERBOSE : TRACE_LEVEL_ERROR, DBG_THREAD,
             "core-dump write of %u bytes: 0x%08X", static_cast<unsigned>(length), static_cast<unsigned>(status));
}

// ---- runtime calibration collection ---------------------------------------------------------------------------
void CalibrationCollect(PMP_ADAPTER adapter)
{
    const ULONG count = adapter->HalInfo.FactoryCalIdCount < CHIP_FACTORY_CAL_IDS ? adapter->HalInfo.FactoryCalIdCount
                                                                                   : CHIP_FACTORY_CAL_IDS;
    if (g_FactCalCursor >= count) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_THREAD, "calibration collection: cursor %u of %u, nothing to ask",
                 static_cast<unsigned>(g_FactCalCursor), static_cast<unsigned>(count));
        return;
    }
    while (g_FactCalCursor < count) {
        UCHAR band = 0;
        UCHAR index = 0;
        if (!factCalKeyToBandIndex(adapter->HalInfo.FactoryCalIds[g_FactCalCursor], &band, &index)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "calibration key %u maps to no record",
                     static_cast<unsigned>(adapter->HalInfo.FactoryCalIds[g_FactCalCursor]));
            g_FactCalCursor = FACT_CAL_CURSOR_ENDED;
            return;
        }
        (void)QzCmdFactCalGet(adapter, band, index);
        ++g_FactCalCursor;
    }
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    g_FactCalStore.State = FACT_CAL_STATE_COLLECTED;
    g_FactCalStore.StateTime = now.QuadPart;
    NTSTATUS status = QZEnqueueInternalCmd(adapter, adapter->PortList[0], INTERNAL_CMD_CAL_WRITE, nullptr, 0);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "calibration file write not posted: 0x%08X", static_cast<unsigned>(status));
    }
}

// ---- host CSR dump ------------------------------------------------------------------------------------------------
void HostCsrDump(PMP_ADAPTER adapter)
{
    const BOOLEAN bracket = static_cast<BOOLEAN>(adapter->LowPower.LowPowerMode != 0);
    if (bracket) {
        (void)NdisCommonHifPmSetDriverOwn(adapter);
    }
    HalShowHostCsrInfo(adapter);
    ULONG value = 0;
    (void)HifIoRead32(adapter, kHostCsrTraceRegister, &value);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_THREAD, "register 0x%08X = 0x%08X", static_cast<unsigned>(kHostCsrTraceRegister),
             static_cast<unsigned>(value));
    if (bracket) {
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
    }
}

// ---- connection-start time-out ---------------------------------------------------------------------------------
void ConnectStartTimeout(PMP_ADAPTER adapter)
{
    if (!AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
        return;
    }
    (void)MlmeUpdateRepositTabFromScanTab(adapter, 1, 0);
    ScanNeighborAPInfoListReset(adapter, &adapter->NeighborApList);
    (void)QzCmdSendAbortScan(adapter);
    AdapterClearFlag(adapter, ADAPTER_FLAG_SCANNING, __func__);
}

// ---- WiFiCx peers ------------------------------------------------------------------------------------------------
void WifiCxPeer(PMP_PORT port, ULONG cmdId, const UCHAR* payload, ULONG length)
{
    if (payload == nullptr || length < MAC_ADDR_LEN) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "WiFiCx peer command 0x%08X without a peer address",
                 static_cast<unsigned>(cmdId));
        return;
    }
    if (port->PortType != EXTSTA || port->NetAdapter == nullptr) {
        return;
    }
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedWlanIdx(port, kPeerWlanIndex);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_THREAD, "WiFiCx peer command 0x%08X: no station entry %u",
                 static_cast<unsigned>(cmdId), static_cast<unsigned>(kPeerWlanIndex));
        return;
    }
    if (cmdId == INTERNAL_CMD_ADD_PEER) {
        MacTabAddPeer(port->Adapter, port, entry, payload);
    } else {
        MacTabRemovePeer(port->Adapter, port, entry, payload);
    }
}

// ---- ICS log ------------------------------------------------------------------------------------------------------
void IcsFile(PMP_ADAPTER adapter, const UCHAR* payload, ULONG length)
{
    const UCHAR open = payload != nullptr && length >= 1 && payload[0] == 1;
    if (open) {
        if (adapter->FwDump.IcsLogOpen) {
            return;
        }
        NTSTATUS status = PlatformOpenIcsLogFile(adapter, 1);
        if (NT_SUCCESS(status)) {
            adapter->FwDump.IcsLogOpen = 1;
        } else {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "ICS log not opened: 0x%08X", static_cast<unsigned>(status));
        }
        return;
    }
    if (adapter->FwDump.IcsLogOpen) {
        adapter->FwDump.IcsLogOpen = 0;
        (void)PlatformOpenIcsLogFile(adapter, 0);
    }
}

void IcsWriteToFile(PMP_ADAPTER adapter, PUCHAR bytes, ULONG length)
{
    if (!adapter->FwDump.IcsLogOpen || adapter->FwDump.IcsLogFile == nullptr) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_THREAD, "ICS log closed: %u bytes not written", static_cast<unsigned>(length));
        return;
    }
    IO_STATUS_BLOCK io = {};
    NTSTATUS status = ZwWriteFile(adapter->FwDump.IcsLogFile, nullptr, nullptr, nullptr, &io, bytes, length, nullptr, nullptr);
    DBGPRINT(NT_SUCCESS(status) ? TRACE_LEVEL_VERBOSE : TRACE_LEVEL_ERROR, DBG_THREAD, "ICS log write of %u bytes: 0x%08X",
             static_cast<unsigned>(length), static_cast<unsigned>(status));
}

void IcsWrite(PMP_ADAPTER adapter, const UCHAR* payload, ULONG length)
{
    // The packet's own first u16 is its length, the length field included; it must lie within what
    // was posted.
    USHORT packetLength = 0;
    if (payload != nullptr && length >= sizeof(USHORT)) {
        std::memcpy(&packetLength, payload, sizeof(USHORT));
    }
    if (packetLength < sizeof(USHORT) || packetLength > length) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "ICS packet of length %u in %u bytes dropped",
                 static_cast<unsigned>(packetLength), static_cast<unsigned>(length));
        return;
    }
    const ULONG recordLength = ICS_RECORD_HEADER_SIZE + packetLength;
    // The time-sync record is written through the same buffer before the record header is built.
    const ULONG bufferSize = recordLength > ICS_TIME_SYNC_SIZE ? recordLength : ICS_TIME_SYNC_SIZE;
    PUCHAR buffer = nullptr;
    NTSTATUS status = PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&buffer), bufferSize, TAG_ZV19);
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "no buffer for an ICS record: 0x%08X", static_cast<unsigned>(status));
        return;
    }
    (void)nicRxWriteIcsTimeSync(adapter, buffer);
    ICS_RECORD_HEADER header = {};
    header.Magic = ICS_RECORD_MAGIC;
    header.Version = 1;
    header.Counter = adapter->FwDump.IcsRecordCounter++;
    header.Type = ICS_RECORD_TYPE_PACKET;
    header.Length = packetLength;
    PlatformMoveMemory(buffer, &header, sizeof(header));
    PlatformMoveMemory(buffer + ICS_RECORD_HEADER_SIZE, payload, packetLength);
    IcsWriteToFile(adapter, buffer, recordLength);
    PlatformFreeMemory(buffer, bufferSize);
}

}  // namespace

BOOLEAN nicRxWriteIcsTimeSync(PMP_ADAPTER adapter, PUCHAR buffer)
{
    // An "IcsTimeSyncCnt" of 0 means no time-sync records.
    const ULONG every = adapter->RegistryBlock.IcsTimeSyncCnt;
    if (every == 0 || adapter->FwDump.IcsRecordCounter % every != 0) {
        return FALSE;
    }
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    ICS_TIME_SYNC_RECORD record = {};
    record.Magic = ICS_RECORD_MAGIC;
    record.Version = 1;
    record.Counter = adapter->FwDump.IcsRecordCounter++;
    record.Type = ICS_RECORD_TYPE_TIME_SYNC;
    record.Length = sizeof(ULONG64);
    record.UnixTimeNs = static_cast<ULONG64>(now.QuadPart) * 100 - kUnixEpochSeconds * 1000000000ull;
    PlatformMoveMemory(buffer, &record, sizeof(record));
    if (adapter->FwDump.IcsLogOpen && adapter->FwDump.IcsLogFile != nullptr) {
        IO_STATUS_BLOCK io = {};
        NTSTATUS status =
            ZwWriteFile(adapter->FwDump.IcsLogFile, nullptr, nullptr, nullptr, &io, buffer, sizeof(record), nullptr, nullptr);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "ICS time-sync write: 0x%08X", static_cast<unsigned>(status));
        }
    }
    return TRUE;
}

NTSTATUS NdisCommonHifControlThreadHandler(PMP_PORT port, ULONG cmdId, PUCHAR payload, ULONG length)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_THREAD, "internal command 0x%08X for port %u, %u bytes",
             static_cast<unsigned>(cmdId), port != nullptr ? static_cast<unsigned>(port->PortNumber) : 0u,
             static_cast<unsigned>(length));
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "no port for internal command id 0x%08X", static_cast<unsigned>(cmdId));
        return STATUS_INVALID_PARAMETER;
    }
    PMP_ADAPTER adapter = port->Adapter;
    if (adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "no adapter for internal command id 0x%08X", static_cast<unsigned>(cmdId));
        return STATUS_INVALID_PARAMETER;
    }
    // Closing the ICS log is never dropped: the teardown closes it this way, and a file handle must not
    // outlive the adapter because the device stopped answering.
    const BOOLEAN icsClose = static_cast<BOOLEAN>(cmdId == INTERNAL_CMD_ICS_FILE && (payload == nullptr || length < 1 ||
                                                                                     payload[0] != 1));
    if (AdapterTestFlags(adapter, ADAPTER_FLAGS_THREAD_CMD_DROP) && !icsClose) {
        return STATUS_SUCCESS;
    }
    ULONG value = 0;
    PMP_PORT target = nullptr;
    switch (cmdId) {
    case INTERNAL_CMD_RESET:
        if ((target = PayloadPort(adapter, cmdId, payload, length)) != nullptr) {
            NdisCommonInfoResetHandler(target);
        }
        break;
    case INTERNAL_CMD_DEFAULT_KEY_ID:
        if ((target = PayloadPort(adapter, cmdId, payload, length)) != nullptr) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_THREAD, "default key id of port %u",
                     static_cast<unsigned>(target->PortNumber));
            (void)MlmeInfoStaOidSetWEPDefaultKeyID(target);
        }
        break;
    case INTERNAL_CMD_POWER_MGMT_MODE:
        if (PayloadUlong(cmdId, payload, length, &value)) {
            (void)MlmeInfoPnpSetPowerMgmtMode(adapter, port, value);
        }
        break;
    case INTERNAL_CMD_STA_PERIODIC:
        if (adapter->PortList[0] != nullptr && adapter->PortList[0]->Created) {
            (void)STAMlmePeriodicExec(adapter);
        }
        break;
    case INTERNAL_CMD_SET_PHY_MODE:
        if (PayloadUlong(cmdId, payload, length, &value)) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_THREAD, "wireless mode %s for port %u", DecodePhyMode(value),
                     static_cast<unsigned>(port->PortNumber));
            (void)MlmeInfoSetPhyMode(adapter, port, static_cast<UCHAR>(value), 1);
        }
        break;
    case INTERNAL_CMD_LINK_LOSS:
        if ((target = PayloadPort(adapter, cmdId, payload, length)) != nullptr) {
            LinkLoss(adapter, target);
        }
        break;
    case INTERNAL_CMD_FW_CMD_CALLBACK:
        QzCmdSlotCallbackHandler(adapter, payload, length);
        break;
    case INTERNAL_CMD_CORE_DUMP_FILE:
        CoreDumpFile(adapter, payload, length);
        break;
    case INTERNAL_CMD_CORE_DUMP_DATA:
        CoreDumpData(adapter, payload, length);
        break;
    case INTERNAL_CMD_FW_RECOVERY:
        if (adapter->HalOps.FwRecovery != nullptr) {
            NTSTATUS status = adapter->HalOps.FwRecovery(adapter);
            if (status != STATUS_SUCCESS && status != kFwRecoveryNotSupported) {
                DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "firmware recovery: 0x%08X", static_cast<unsigned>(status));
            }
        }
        break;
    case INTERNAL_CMD_ERROR_RECOVERY:
        if (payload != nullptr && length == sizeof(ULONG)) {
            std::memcpy(&value, payload, sizeof(ULONG));
            (void)ErrorRecoveryProc(adapter, value);
        } else {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "recovery request of %u bytes ignored", static_cast<unsigned>(length));
        }
        break;
    case INTERNAL_CMD_CAL_COLLECT:
        CalibrationCollect(adapter);
        break;
    case INTERNAL_CMD_CAL_WRITE:
        g_FactCalStore.State = FACT_CAL_STATE_WRITTEN;
        (void)writeFactCalfile(adapter);
        break;
    case INTERNAL_CMD_HOST_CSR_DUMP:
        HostCsrDump(adapter);
        break;
    case INTERNAL_CMD_DYNAMIC_ICS_ON:
        (void)setDynamicICS(adapter, 1, 0);
        (void)setDynamicICS(adapter, 1, 1);
        break;
    case INTERNAL_CMD_DYNAMIC_ICS_OFF:
        (void)setDynamicICS(adapter, 0, 0);
        break;
    case INTERNAL_CMD_MCC_SWITCH:
        (void)MultiChannelSwitchExec(port, payload);
        break;
    case INTERNAL_CMD_MLME_PERIODIC:
        (void)MlmePeriodicExecPassivLevel(adapter, port);
        break;
    case INTERNAL_CMD_POWER_CONSUMPTION:
        (void)MlmePowerConsumptionCtrl(adapter, port);
        break;
    case INTERNAL_CMD_RESTORE_CH_PRIVILEGE:
        (void)DoRestoreChannelPrivilege(adapter, port);
        break;
    case INTERNAL_CMD_CONNECT_START_TIMEOUT:
        ConnectStartTimeout(adapter);
        break;
    case INTERNAL_CMD_DBDC_DISABLE:
        (void)MultiBandDisableDbdcDecision(adapter, port, 0);
        break;
    case INTERNAL_CMD_DISCONNECT: {
        ULONG written = 0;
        ULONG needed = 0;
        (void)DisconnectRequest(adapter, port, &written, &needed, 0, payload);
        break;
    }
    case INTERNAL_CMD_RADIO_PERIODIC:
        (void)MlmeRadioPeriodicExecPassivLevel(adapter, port);
        break;
    case INTERNAL_CMD_MCAST_CON_ABORT:
        (void)MultiChannelMcastConAbortExec(port, payload);
        break;
    case INTERNAL_CMD_REMOVE_PEER:
    case INTERNAL_CMD_ADD_PEER:
        WifiCxPeer(port, cmdId, payload, length);
        break;
    case INTERNAL_CMD_ICS_FILE:
        IcsFile(adapter, payload, length);
        break;
    case INTERNAL_CMD_ICS_WRITE:
        IcsWrite(adapter, payload, length);
        break;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_THREAD, "unknown internal command id 0x%08X dropped", static_cast<unsigned>(cmdId));
        break;
    }
    return STATUS_SUCCESS;
}
