// Firmware event reception and dispatch.
#include "Common/qzevent.h"

#include "Common/nic_uni_cmd_event.h"
#include "Common/qzcmd.h"
#include "Common/qzevent_handlers.h"
#include "hal/chips/qzarvel2x.h"
#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonioctl.h"
#include "platform/ndiscommon/trace.h"

const FW_EVENT_HANDLER_ENTRY FwEventHandlerTable[FW_EVENT_HANDLER_TABLE_ROWS] = {
    {0xED, ProcessLayer0ExtMagicEvent},
    {0x10, ProcessChPrivilegeEvent},
    {0x07, ProcessSleepyInfoEvent},
    {0x11, ProcessBssAbsencePresenceEvent},
    {0x0F, ProcessTxDoneEvent},
    {0x05, ProcessAccessReg},
    {0x27, ProcessFwLogEvent},
    {0x2E, ProcessTxAddBA},
    {0x0A, ProcessRxAddBA},
    {0x0B, ProcessRxDelBA},
    {0x13, ProcessBssBeaconTimeout},
    {0x19, ProcessAPClientAgeout},
    {0x24, ProcessAddKeyDone},
    {0x02, ProcessLinkQualityEvent},
    {0x21, ProcessStaStatisticsEvent},
    {0x44, ProcessGetChipReq},
    {0x61, ProcessCsaDoneEvent},
    {0xF6, ProcessHifControlEvent},
    {0x5B, ProcessWoWWakeReasonEvent},
};
const ULONG FwEventHandlerTableCount = FW_EVENT_HANDLER_TABLE_ROWS;

namespace {

USHORT GetU16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }
ULONG GetU32(const UCHAR* p) { return GetU16(p) | (static_cast<ULONG>(GetU16(p + 2)) << 16); }

void CountDropped(PMP_ADAPTER adapter, PCSTR what, ULONG value, ULONG limit)
{
    LONG count = InterlockedIncrement(&adapter->FwEvent.FwEventShortCount);
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "firmware event dropped: %s (%u, limit %u); %d dropped", what,
             static_cast<unsigned>(value), static_cast<unsigned>(limit), static_cast<int>(count));
}

void CountUnknown(PMP_ADAPTER adapter, PCSTR dialect, ULONG eventId)
{
    LONG count = InterlockedIncrement(&adapter->FwEvent.FwEventUnknownCount);
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s event 0x%02X has no handler; %d unknown", dialect,
             static_cast<unsigned>(eventId), static_cast<int>(count));
}

// The event header after the receive descriptor, when the received bytes hold the descriptor and a
// header of at least `minimum` bytes and the header's length claims no more than was received.
PUCHAR CheckedHeader(PMP_ADAPTER adapter, PUCHAR buffer, ULONG receivedLength, ULONG minimum, PULONG headerLength)
{
    const ULONG rxd = FwEventRxdLength(adapter);
    if (buffer == nullptr || receivedLength < rxd + minimum) {
        CountDropped(adapter, "shorter than descriptor and header", receivedLength, rxd + minimum);
        return nullptr;
    }
    PUCHAR header = buffer + rxd;
    const ULONG length = GetU16(header);
    if (length < minimum || length > receivedLength - rxd) {
        CountDropped(adapter, "header length outside the received bytes", length, receivedLength - rxd);
        return nullptr;
    }
    *headerLength = length;
    return header;
}

template <typename T>
void Publish(T* field, T value)
{
    __atomic_store_n(field, value, __ATOMIC_RELEASE);
}

}  // namespace

FW_EVENT_HANDLER FwEventGetHandler(ULONG eventId)
{
    for (ULONG i = 0; i < FwEventHandlerTableCount; ++i) {
        if (FwEventHandlerTable[i].EventId == eventId) {
            return FwEventHandlerTable[i].Handler;
        }
    }
    return nullptr;
}

ULONG FwEventRxdLength(PMP_ADAPTER adapter)
{
    switch (QzCmdChipGroup(adapter)) {
    case FW_CHIP_GROUP_OLDER:
        return FW_EVENT_RXD_LENGTH_OLDER;
    case FW_CHIP_GROUP_ARVEL3X:
        return FW_EVENT_RXD_LENGTH_ARVEL3X;
    default:
        return FW_EVENT_RXD_LENGTH_ARVEL2X;
    }
}

UCHAR RecvProcessFwEvent(PMP_ADAPTER adapter, PRX_DMAQ_DESC record)
{
    if (adapter == nullptr || record == nullptr) {
        return 0;
    }
    UCHAR handled = 0;
    if (record->BufferVa == nullptr || record->ReceivedLength > record->BufferSize) {
        CountDropped(adapter, "received length beyond the buffer", record->ReceivedLength, record->BufferSize);
    } else if (__atomic_load_n(&adapter->FwDownloaded, __ATOMIC_ACQUIRE)) {
        handled = RamModeEventHandler(adapter, record->BufferVa, record->ReceivedLength);
    } else {
        handled = RomModeEventHandler(adapter, record->BufferVa, record->ReceivedLength);
    }
    RxDmaqFree(adapter, record);
    return handled;
}

UCHAR RamModeEventHandler(PMP_ADAPTER adapter, PUCHAR buffer, ULONG receivedLength)
{
    ULONG headerLength = 0;
    PUCHAR header = CheckedHeader(adapter, buffer, receivedLength, FW_EVENT_HEADER_LENGTH, &headerLength);
    if (header == nullptr) {
        return 0;
    }
    auto* fields = reinterpret_cast<PFW_EVENT_HEADER>(header);
    PUCHAR view = header - FW_EVENT_VIEW_HEADER_OFFSET;
    const FW_CHIP_GROUP group = QzCmdChipGroup(adapter);
    if (group == FW_CHIP_GROUP_ARVEL3X && (fields->Option & FW_EVENT_OPTION_UNIFIED) != 0) {
        return RamModeUniEventHandler(adapter, header, headerLength);
    }
    if (group == FW_CHIP_GROUP_OLDER && fields->PacketType != FW_EVENT_PACKET_TYPE_OLDER) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "event packet type 0x%04X is not an event",
                 static_cast<unsigned>(fields->PacketType));
        return 0;
    }

    const UCHAR eventId = fields->EventId;
    PUCHAR payload = header + FW_EVENT_HEADER_LENGTH;
    const ULONG payloadLength = headerLength - FW_EVENT_HEADER_LENGTH;
    UCHAR handled = 1;
    switch (eventId) {
    case 0x01: ProcessNicCapabilityEvent(adapter, payload, payloadLength); break;
    case 0x02: ProcessLinkQualityEvent(adapter, view); break;
    case 0x05: ProcessAccessReg(adapter, view); break;
    case 0x07: ProcessSleepyInfoEvent(adapter, view); break;
    case 0x0A: ProcessRxAddBA(adapter, view); break;
    case 0x0B: ProcessRxDelBA(adapter, view); break;
    case 0x0C: break;
    case 0x0D: ProcessScanDoneEvent(adapter, payload, payloadLength, 1); break;
    case 0x0F: ProcessTxDoneEvent(adapter, view); break;
    case 0x10: ProcessChPrivilegeEvent(adapter, view); break;
    case 0x11: ProcessBssAbsencePresenceEvent(adapter, view); break;
    case 0x13: ProcessBssBeaconTimeout(adapter, view); break;
    case 0x19: ProcessAPClientAgeout(adapter, view); break;
    case 0x1B:
    case 0x71:
    case 0x72: ProcessWowEvent(adapter, eventId); break;
    case 0x21:
        // The chip's statistics operations get the header: its length (header and payload) and
        // the payload behind it.
        if (HalCallOptional(adapter->HalOps.ProcessStaStatistics, adapter, header) == STATUS_NOT_SUPPORTED) {
            ProcessStaStatisticsOri(adapter, view);
        }
        break;
    case 0x23: ProcessNLOEvent(adapter, view); break;
    case 0x24: ProcessAddKeyDone(adapter, view); break;
    case 0x27: ProcessFwLogEvent(adapter, view); break;
    case 0x2E: ProcessTxAddBA(adapter, view); break;
    case 0x3C: break;
    case 0x44: ProcessGetChipReq(adapter, view); break;
    case 0x61: ProcessCsaDoneEvent(adapter, view); break;
    case 0x62: ProcessWoWWakeReasonEvent(adapter, view); break;
    case 0x7C: ProcessCoexCtrl(adapter, view); break;
    case 0xCD: ProcessWlanInfo(adapter, view); break;
    case 0xCE:
        if (HalCallOptional(adapter->HalOps.ProcessGetMIBInfoEvent, adapter, header) == STATUS_NOT_SUPPORTED) {
            AsicArvel2xProcessGetMIBInfoEvent(adapter, header);
        }
        break;
    case 0xDA: ProcesPcieEnteredLinkStateCounterEvent(adapter, view); break;
    case 0xEC: ProcessChipCapabilityEvent(adapter, view); break;
    case 0xED: ProcessLayer0ExtMagicEvent(adapter, view); break;
    case 0xF0: ProcessAssertDumpEvent(adapter, view, payload, payloadLength); break;
    case 0xF6: ProcessHifControlEvent(adapter, view); break;
    case 0xFD: ProcessInitEventCmdResult(adapter, buffer, receivedLength); break;
    default:
        handled = 0;
        CountUnknown(adapter, "RAM-mode", eventId);
        break;
    }
    // Handled or not, the event may answer a waiting command.
    (void)QzCmdEventCompleteWaitingFwCmd(adapter, eventId, view, FW_CMD_SLOT_NONE, STATUS_SUCCESS, FALSE);
    return handled;
}

UCHAR RomModeEventHandler(PMP_ADAPTER adapter, PUCHAR buffer, ULONG receivedLength)
{
    ULONG headerLength = 0;
    PUCHAR header = CheckedHeader(adapter, buffer, receivedLength, FW_ROM_EVENT_HEADER_LENGTH, &headerLength);
    if (header == nullptr) {
        return 0;
    }
    const UCHAR eventId = header[4];
    const PUCHAR payload = header + FW_ROM_EVENT_HEADER_LENGTH;
    const ULONG payloadLength = headerLength - FW_ROM_EVENT_HEADER_LENGTH;
    const FW_CHIP_GROUP group = QzCmdChipGroup(adapter);

    // The payload bytes an event's action reads; a shorter event is dropped before it is acted on
    // or offered to the command queue.
    ULONG needed = 0;
    switch (eventId) {
    case 0x01:
    case 0x04:
        needed = 1;
        break;
    case 0x02:
    case 0x06:
        needed = group != FW_CHIP_GROUP_OLDER ? 8 : 0;
        break;
    case 0x08:
        needed = group == FW_CHIP_GROUP_ARVEL3X ? 8 : 0;
        break;
    default:
        break;
    }
    if (payloadLength < needed) {
        CountDropped(adapter, "ROM event payload too short", payloadLength, needed);
        return 0;
    }

    UCHAR handled = 1;
    switch (eventId) {
    case 0x01:
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "ROM command result: status %u", static_cast<unsigned>(payload[0]));
        if (payload[0] == 6) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_FW, "ROM command result 6");
        }
        break;
    case 0x02:
        if (group != FW_CHIP_GROUP_OLDER) {
            const ULONG address = GetU32(payload);
            const ULONG value = GetU32(payload + 4);
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "ROM register read 0x%08X = 0x%08X", static_cast<unsigned>(address),
                     static_cast<unsigned>(value));
            if (address == FW_ROM_VERSION_ADDRESS) {
                Publish(&adapter->FwEvent.RomVersionWord, value);
            }
        }
        break;
    case 0x03:
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "ROM event 3");
        handled = 0;
        break;
    case 0x04:
        Publish(&adapter->FwEvent.PatchSemaphoreStatus, payload[0]);
        break;
    case 0x06:
        if (group != FW_CHIP_GROUP_OLDER) {
            Publish(&adapter->FwEvent.BtPatchStatus, payload[0]);
            Publish(&adapter->FwEvent.BtPatchValue, GetU32(payload + 4));
        }
        break;
    case 0x08:
        if (group == FW_CHIP_GROUP_ARVEL3X) {
            if (payload[1] == 0 && payload[0] == 1) {
                Publish(&adapter->FwEvent.FwLogBaseAddress, GetU32(payload + 4));
            } else {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_FW, "ROM log-base answer %u/%u ignored",
                         static_cast<unsigned>(payload[0]), static_cast<unsigned>(payload[1]));
            }
        }
        break;
    default:
        handled = 0;
        CountUnknown(adapter, "ROM-mode", eventId);
        break;
    }
    (void)QzCmdEventCompleteWaitingFwCmd(adapter, eventId, nullptr, FW_CMD_SLOT_NONE, STATUS_SUCCESS, FALSE);
    return handled;
}
