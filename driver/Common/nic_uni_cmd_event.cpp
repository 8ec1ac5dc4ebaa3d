// The unified command format: the translation of legacy requests, and the unified event dispatch.
#include "Common/nic_uni_cmd_event.h"

#include "Common/nic_uni_cmd_builder.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/qzevent_handlers.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/trace.h"

#define ROUTE(cmd, uni, ext, builder) {cmd, uni, ext, builder, #builder}

// Row order matters: the lookup takes the first match. Row 39 carries the extended id its legacy
// sender passes although 0xB1 is no extended command; the extended lookup never selects it.
const UNI_CMD_ROUTE UniCmdRouteTable[UNI_CMD_ROUTE_ROWS] = {
    ROUTE(0x8A, 0x0E, 0, nicUniCmdNicCapability),
    ROUTE(0x02, 0x0B, 0, nicUniCmdWsysFwBasicConfig),
    ROUTE(0xC0, 0x0D, 0, nicUniCmdAccessReg),
    ROUTE(0x28, 0x28, 0, nicUniCmdSetMbmc),
    ROUTE(0xCA, 0x0E, 0, nicUniCmdChipCfg),
    ROUTE(0xC5, 0x0B, 0, nicUniCmdWsysFwLog2Host),
    ROUTE(0x0F, 0x15, 0, nicUniCmdSetDomain),
    ROUTE(0x5D, 0x2C, 0, nicUniCmdSetCountryPwrLimitPerRate),
    ROUTE(0x70, 0x0E, 0, nicUniCmdCustomerCfg),
    ROUTE(0x11, 0x01, 0, nicUniCmdBssActivateCtrl),
    ROUTE(0x03, 0x16, 0, nicUniCmdScanReqV2),
    ROUTE(0x1B, 0x16, 0, nicUniCmdScanCancel),
    ROUTE(0x1C, 0x27, 0, nicUniCmdChPrivilege),
    ROUTE(0x05, 0x02, 0, nicUniCmdPowerSaveMode),
    ROUTE(0x17, 0x02, 0, nicUniCmdPmDisable),
    ROUTE(0x12, 0x02, 0, nicUniCmdSetBssInfo),
    ROUTE(0x16, 0x02, 0, nicUniCmdPmEnable),
    ROUTE(0x19, 0x02, 0, nicUniCmdSetBssRlm),
    ROUTE(0x18, 0x02, 0, nicUniCmdBcnContent),
    ROUTE(0x1E, 0x02, 0, nicUniCmdSetWmmPsTestParams),
    ROUTE(0x15, 0x81, 0, nicUniCmdNotSupport),
    ROUTE(0x14, 0x03, 0, nicUniCmdRemoveStaRec),
    ROUTE(0x13, 0x03, 0, nicUniCmdUpdateStaRec),
    ROUTE(0x07, 0x03, 0, nicUniCmdInstallKey),
    ROUTE(0x08, 0x03, 0, nicUniCmdInstallDefaultKey),
    ROUTE(0x1D, 0x04, 0, nicUniCmdUpdateEdcaSet),
    ROUTE(0x0A, 0x08, 0, nicUniCmdSetRxFilter),
    ROUTE(0x81, 0x23, 0, nicUniCmdGetLinkQuality),
    ROUTE(0x85, 0x23, 0, nicUniCmdGetStaStatistics),
    ROUTE(0x61, 0x16, 0, nicUniCmdSchedScanEnable),
    ROUTE(0x62, 0x16, 0, nicUniCmdSchedScanReq),
    ROUTE(0xC4, 0x0E, 0, nicUniCmdSwDbgCtrl),
    ROUTE(0x58, 0x05, 0, nicUniCmdSetSuspendMode),
    ROUTE(0x04, 0x0F, 0, nicUniCmdPowerCtrl),
    ROUTE(0xFC, 0x24, 0, nicUniCmdSetMonitor),
    ROUTE(0x2A, 0x2F, 0, nicUniCmdSetFixRate),
    ROUTE(0x2B, 0x38, 0, nicUniCmdSetPpCap),
    ROUTE(0x79, 0x27, 0, nicUniCmdCnmGetInfo),
    ROUTE(0xB1, 0x25, 0xA8, nicUniCmdUpdateSrParams),
    ROUTE(0xB0, 0x43, 0, nicUniCmdUpdateMuEdca),
    ROUTE(0xF6, 0x07, 0, nicUniCmdHifCtrl),
    ROUTE(0xC1, 0x0A, 0, nicUniCmdSetMultiAddr),
    ROUTE(0xED, 0x2D, 0x21, nicUniCmdEfuseBufferMode),
    ROUTE(0xED, 0x14, 0x94, nicUniCmdTwtArgtUpdate),
    ROUTE(0xED, 0x33, 0x1E, nicUniCmdBFAction),
    ROUTE(0xED, 0x13, 0x81, nicUniCmdSerAction),
    ROUTE(0xED, 0x1A, 0x3C, nicUniCmdGetTsf),
    ROUTE(0xED, 0x25, 0xA8, nicUniCmdSR),
    ROUTE(0xED, 0x7B, 0xBF, nicUniCmdBtCtrl),
    ROUTE(0x93, 0x49, 0, nicUniCmdSetIcsSniffer),
    ROUTE(0x8F, 0x19, 0, nicUniCmdRddOnOffCtrl),
    ROUTE(0x7E, 0x44, 0, nicUniCmdPerfInd),
    ROUTE(0xED, 0x2D, 0x01, nicUniCmdEfuseAccess),
    ROUTE(0xED, 0x2D, 0x4F, nicUniCmdEfuseFreeBlock),
};

#undef ROUTE

namespace {

UCHAR LoadByte(const UCHAR* p) { return __atomic_load_n(p, __ATOMIC_ACQUIRE); }

}  // namespace

// ================================================================================================
// translation of legacy requests
// ================================================================================================
LONG nicUniCmdFindRoute(UCHAR cmdId, UCHAR extCmdId)
{
    const BOOLEAN extended = cmdId == FW_CMD_ID_EXTENDED && extCmdId != 0;
    for (ULONG i = 0; i < UNI_CMD_ROUTE_ROWS; ++i) {
        const UNI_CMD_ROUTE& row = UniCmdRouteTable[i];
        if (row.UniCmdId == UNI_CMD_ID_NONE) {
            continue;
        }
        if (extended ? row.CmdId == FW_CMD_ID_EXTENDED && row.ExtCmdId == extCmdId : row.CmdId == cmdId) {
            return static_cast<LONG>(i);
        }
    }
    return -1;
}

PUNI_CMD_ENTRY nicUniCmdAllocEntry(PMP_PORT port, UCHAR uniCmdId, ULONG payloadLength)
{
    PMP_ADAPTER adapter = port != nullptr ? port->Adapter : nullptr;
    if (adapter == nullptr || payloadLength > 0xFFFF) {
        return nullptr;
    }
    const ULONG size = static_cast<ULONG>(sizeof(UNI_CMD_ENTRY)) + payloadLength;
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, size, TAG_ZV54) != STATUS_SUCCESS || block == nullptr) {
        return nullptr;
    }
    PlatformZeroMemory(block, size);
    auto* entry = static_cast<PUNI_CMD_ENTRY>(block);
    InitializeListHead(&entry->Link);
    entry->CmdId = uniCmdId;
    entry->PayloadLength = payloadLength;
    entry->Payload = reinterpret_cast<PUCHAR>(entry + 1);
    entry->AnswerTag = UNI_CMD_NO_ANSWER_TAG;
    entry->AllocSize = size;
    return entry;
}

void nicUniCmdFreeEntry(PUNI_CMD_ENTRY entry)
{
    if (entry != nullptr) {
        PlatformFreeMemory(entry, entry->AllocSize);
    }
}

void nicUniCmdAppendEntry(PUNI_CMD_REQUEST request, PUNI_CMD_ENTRY entry)
{
    InsertTailList(&request->EntryList, &entry->Link);
    ++request->EntryCount;
}

void nicUniCmdFreeEntries(PUNI_CMD_REQUEST request)
{
    while (!IsListEmpty(&request->EntryList)) {
        PLIST_ENTRY link = RemoveHeadList(&request->EntryList);
        nicUniCmdFreeEntry(CONTAINING_RECORD(link, UNI_CMD_ENTRY, Link));
    }
    request->EntryCount = 0;
}

NTSTATUS QzCmdSendSetQueryCmdHelper(PMP_PORT port, UCHAR cmdId, UCHAR cmdClass, UCHAR extCmdId, UCHAR setQuery,
                                    UCHAR flags, const void* payload, USHORT length, FW_CMD_CALLBACK callback,
                                    ULONG64 callbackContext, ULONG callbackArgument)
{
    UNI_CMD_REQUEST request;
    PlatformZeroMemory(&request, sizeof(request));
    InitializeListHead(&request.EntryList);
    if (port == nullptr || port->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "unified command for 0x%02X without a port", static_cast<unsigned>(cmdId));
        return STATUS_UNSUCCESSFUL;
    }
    PMP_ADAPTER adapter = port->Adapter;
    if (LoadByte(&adapter->FwCmd.RecoveryInProgress) || LoadByte(&adapter->FwCmd.CmdTimeout)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "unified command for 0x%02X refused: recovery %u, command time-out %u",
                 static_cast<unsigned>(cmdId), static_cast<unsigned>(LoadByte(&adapter->FwCmd.RecoveryInProgress)),
                 static_cast<unsigned>(LoadByte(&adapter->FwCmd.CmdTimeout)));
        return STATUS_UNSUCCESSFUL;
    }
    const LONG row = nicUniCmdFindRoute(cmdId, extCmdId);
    if (row < 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "command 0x%02X/0x%02X (class 0x%02X) has no unified route",
                 static_cast<unsigned>(cmdId), static_cast<unsigned>(extCmdId), static_cast<unsigned>(cmdClass));
        return STATUS_UNI_CMD_NO_ROUTE;
    }
    const UNI_CMD_ROUTE& route = UniCmdRouteTable[row];
    request.CmdId = cmdId;
    request.ExtCmdId = extCmdId;
    request.SetQuery = setQuery;
    request.NeedResp = flags == 5 || flags == 13 ? 1 : 0;
    request.Flags = flags;
    request.Callback = callback;
    request.PayloadLength = payload != nullptr ? length : 0;
    request.Payload = static_cast<const UCHAR*>(payload);
    request.CallbackContext = callbackContext;
    request.CallbackArgument = callbackArgument;

    NTSTATUS status = route.Builder(port, &request);
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "%s refused command 0x%02X/0x%02X: 0x%08X", route.BuilderName,
                 static_cast<unsigned>(cmdId), static_cast<unsigned>(extCmdId), static_cast<unsigned>(status));
        nicUniCmdFreeEntries(&request);
        return status;
    }
    // Every entry is sent even when an earlier one failed; the caller learns of the first failure
    // (a later success must not hide it).
    NTSTATUS result = STATUS_SUCCESS;
    for (PLIST_ENTRY link = request.EntryList.Flink; link != &request.EntryList; link = link->Flink) {
        PUNI_CMD_ENTRY entry = CONTAINING_RECORD(link, UNI_CMD_ENTRY, Link);
        NTSTATUS sent = QzCmdSendSetQueryUniCmdAdv(port, entry->CmdId, request.SetQuery, request.NeedResp,
                                                   request.Flags, request.Callback, entry->PayloadLength,
                                                   entry->Payload, request.CallbackContext,
                                                   request.CallbackArgument, entry->AnswerTag);
        if (sent != STATUS_SUCCESS) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "unified command 0x%02X of legacy 0x%02X: 0x%08X",
                     static_cast<unsigned>(entry->CmdId), static_cast<unsigned>(cmdId), static_cast<unsigned>(sent));
            if (result == STATUS_SUCCESS) {
                result = sent;
            }
        }
    }
    nicUniCmdFreeEntries(&request);
    return result;
}

// ================================================================================================
// unified events
// ================================================================================================
const UNI_EVENT_ROUTE UniEventRouteTable[UNI_EVENT_ROUTE_ROWS] = {
    {0x01, nicUniCmdEventResultToHif},
    {0x43, nicUniCmdEventQueryNicCapabilityV2},
    {0x04, nicUniEventFwLog2Host},
    {0x0E, nicUniEventScanDone},
    {0x27, nicUniCmdEventChMngrHandleChEvent},
    {0x06, nicUniCmdEventQueryMcrRead},
    {0x23, nicUniCmdEventStatistics},
    {0x07, nicUniCmdEventQueryChipCfg},
    {0x2D, nicUniEventStatusToHost},
    {0x0B, nicUniEventSleepNotify},
    {0x29, nicUniEventBssIsAbsence},
    {0x2C, nicUniEventBaOffload},
    {0x0C, nicUniEventBeaconTimeout},
    {0x1C, nicUniEventSap},
    {0x12, nicUniEventAddKeyDone},
    {0x09, nicUniEventCountdown},
    {0x0F, nicUniEventStaRec},
    {0x53, nicUniEventBssER},
    {0x03, nicUniEventHifCtrl},
    {0x5B, nicUniEventWow},
    {0x33, nicUniCmdEventBF},
    {0x25, nicUniCmdEventQuerySRInfo},
    {0x0A, nicUniCmdEventCoreDump},
    {0x30, nicUniEventPhyIcsRawData},
    {0x28, nicUniEventDbdcCtrl},
    {0x7B, nicUniEventBtCtrl},
    {0x7C, nullptr},  // factory calibration: the dispatch treats it itself
    {0x80, nicUniEventRadioStatus},
    {0x48, nicUniEventEfuseCtrl},
    // The answer of the TSF query, which has an answer callback: handled only so that the waiting
    // command completes with the event.
    {0x1A, nicUniEventTsf},
};

namespace {

constexpr UCHAR kEventIdFactCal = 0x7C;
constexpr ULONG kViewPrefix = FW_EVENT_VIEW_HEADER_OFFSET;

void CountMalformed(PMP_ADAPTER adapter, const UCHAR* header, PCSTR what, ULONG value, ULONG limit)
{
    LONG count = InterlockedIncrement(&adapter->UniEvent.UniEventMalformedCount);
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "unified event 0x%02X: %s (%u, limit %u); %d malformed",
             static_cast<unsigned>(header[4]), what, static_cast<unsigned>(value), static_cast<unsigned>(limit),
             static_cast<int>(count));
}

void CountUnknownTag(PMP_ADAPTER adapter, const UCHAR* header, ULONG tag, ULONG tlvLength)
{
    LONG count = InterlockedIncrement(&adapter->UniEvent.UniEventUnknownTagCount);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "unified event 0x%02X: tag 0x%02X of %u bytes not used; %d unused",
             static_cast<unsigned>(header[4]), static_cast<unsigned>(tag), static_cast<unsigned>(tlvLength),
             static_cast<int>(count));
}

// Walks the TLVs from byte 16 up to the event's checked length. A TLV is taken while its 4-byte
// header fits and its length (at least 4) fits in what remains; anything else ends the walk and is
// counted (unless `quiet`: a second walk of the same event). `visit` gets (tag, tlv, tlv length) and
// answers FALSE to end the walk.
template <typename Visit>
void WalkTlvs(PMP_ADAPTER adapter, PUCHAR header, ULONG length, Visit visit, BOOLEAN quiet = FALSE)
{
    ULONG offset = UNI_EVENT_TLV_OFFSET;
    while (offset < length) {
        const ULONG remaining = length - offset;
        if (remaining < sizeof(UNI_TLV)) {
            if (!quiet) {
                CountMalformed(adapter, header, "bytes after the last TLV", remaining, sizeof(UNI_TLV));
            }
            return;
        }
        PUCHAR tlv = header + offset;
        const ULONG tlvLength = UniGetU16(tlv + 2);
        if (tlvLength < sizeof(UNI_TLV) || tlvLength > remaining) {
            if (!quiet) {
                CountMalformed(adapter, header, "TLV length outside the event", tlvLength, remaining);
            }
            return;
        }
        if (!visit(UniGetU16(tlv), tlv, tlvLength)) {
            return;
        }
        offset += tlvLength;
    }
}

// A TLV shorter than the bytes its translation reads is skipped and counted.
BOOLEAN TlvHolds(PMP_ADAPTER adapter, const UCHAR* header, ULONG tlvLength, ULONG needed)
{
    if (tlvLength < needed) {
        CountMalformed(adapter, header, "TLV shorter than its fields", tlvLength, needed);
        return FALSE;
    }
    return TRUE;
}

// A legacy event record in the event-view form the legacy handlers take: 16 zero bytes, the legacy
// header, the payload. Zeroed; none when the allocation fails.
PUCHAR AllocLegacyRecord(PMP_ADAPTER adapter, const UCHAR* uniHeader, UCHAR legacyEventId, UCHAR extEventId,
                         ULONG payloadLength, PULONG recordSize)
{
    const ULONG size = payloadLength + kViewPrefix + FW_EVENT_HEADER_LENGTH;
    if (payloadLength > 0xFFFF - FW_EVENT_HEADER_LENGTH) {
        return nullptr;
    }
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, size, TAG_ZV54) != STATUS_SUCCESS || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "legacy event 0x%02X of %u bytes not allocated",
                 static_cast<unsigned>(legacyEventId), static_cast<unsigned>(size));
        return nullptr;
    }
    PUCHAR record = static_cast<PUCHAR>(block);
    PlatformZeroMemory(record, size);
    PUCHAR h = record + kViewPrefix;
    UniPutU16(h, payloadLength + FW_EVENT_HEADER_LENGTH);
    UniPutU16(h + 2, UniGetU16(uniHeader + 2));
    h[4] = legacyEventId;
    h[5] = uniHeader[5];
    h[6] = uniHeader[6];
    h[8] = extEventId;
    h[11] = uniHeader[11];
    *recordSize = size;
    return record;
}

// Traces a rebuilt legacy event: its id and the first bytes of its payload.
void TraceLegacyRecord(const UCHAR* record)
{
    constexpr ULONG kShown = 40;
    const ULONG payloadLength = FwEventViewPayloadLength(record);
    const ULONG shown = payloadLength < kShown ? payloadLength : kShown;
    static const char kHex[] = "0123456789ABCDEF";
    char text[kShown * 3 + 1];
    ULONG at = 0;
    for (ULONG i = 0; i < shown; ++i) {
        const UCHAR b = record[FW_EVENT_VIEW_PAYLOAD_OFFSET + i];
        text[at++] = kHex[b >> 4];
        text[at++] = kHex[b & 0xF];
        text[at++] = i + 1 < shown ? ' ' : '\0';
    }
    text[at] = '\0';
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "legacy event 0x%02X/0x%02X rebuilt, %u bytes: %s",
             static_cast<unsigned>(record[FW_EVENT_VIEW_ID_OFFSET]),
             static_cast<unsigned>(record[FW_EVENT_VIEW_EXT_ID_OFFSET]), static_cast<unsigned>(payloadLength), text);
}

void RunLegacyRecord(PMP_ADAPTER adapter, PUCHAR record, ULONG recordSize)
{
    TraceLegacyRecord(record);
    const UCHAR legacyEventId = record[FW_EVENT_VIEW_ID_OFFSET];
    FW_EVENT_HANDLER handler = FwEventGetHandler(legacyEventId);
    if (handler != nullptr) {
        handler(adapter, record);
    } else {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "legacy event 0x%02X has no handler", static_cast<unsigned>(legacyEventId));
    }
    PlatformFreeMemory(record, recordSize);
}

// Rebuilds a legacy event whose payload the caller fills in place.
template <typename Fill>
void Translate(PMP_ADAPTER adapter, PUCHAR uniHeader, UCHAR legacyEventId, UCHAR extEventId, ULONG payloadLength,
               Fill fill)
{
    ULONG size = 0;
    PUCHAR record = AllocLegacyRecord(adapter, uniHeader, legacyEventId, extEventId, payloadLength, &size);
    if (record == nullptr) {
        return;
    }
    fill(record + FW_EVENT_VIEW_PAYLOAD_OFFSET);
    RunLegacyRecord(adapter, record, size);
}

// The common shape of most handlers: tag 0 (at least `needed` bytes) becomes one legacy event of
// `legacyLength` payload bytes that `fill` writes; other tags are counted.
template <typename Fill>
void TranslateTag0(PMP_ADAPTER adapter, PUCHAR header, ULONG length, ULONG needed, UCHAR legacyEventId,
                   ULONG legacyLength, Fill fill)
{
    WalkTlvs(adapter, header, length, [&](ULONG tag, PUCHAR tlv, ULONG tlvLength) {
        if (tag != 0) {
            CountUnknownTag(adapter, header, tag, tlvLength);
        } else if (TlvHolds(adapter, header, tlvLength, needed)) {
            Translate(adapter, header, legacyEventId, 0, legacyLength, [&](PUCHAR out) { fill(out, tlv); });
        }
        return TRUE;
    });
}

// Traces every TLV of an event nobody acts on.
void TraceTlvs(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    WalkTlvs(adapter, header, length, [&](ULONG tag, PUCHAR, ULONG tlvLength) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "unified event 0x%02X: tag 0x%02X, %u bytes",
                 static_cast<unsigned>(header[4]), static_cast<unsigned>(tag), static_cast<unsigned>(tlvLength));
        return TRUE;
    });
}

const UNI_EVENT_ROUTE* FindEventRoute(UCHAR eventId)
{
    for (const UNI_EVENT_ROUTE& row : UniEventRouteTable) {
        if (row.EventId == eventId) {
            return &row;
        }
    }
    return nullptr;
}

}  // namespace

UCHAR RamModeUniEventHandler(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    if (adapter == nullptr || header == nullptr) {
        return 0;
    }
    // The caller checked the header's length against the received bytes; the fixed part must be there.
    if (length < UNI_EVENT_TLV_OFFSET || UniGetU16(header) < length) {
        LONG count = InterlockedIncrement(&adapter->UniEvent.UniEventMalformedCount);
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "unified event of %u bytes dropped; %d malformed",
                 static_cast<unsigned>(length), static_cast<int>(count));
        return 0;
    }
    const UCHAR eventId = header[4];
    const UNI_EVENT_ROUTE* row = FindEventRoute(eventId);
    if (row == nullptr) {
        LONG count = InterlockedIncrement(&adapter->FwEvent.FwEventUnknownCount);
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "unified event 0x%02X has no handler; %d unknown",
                 static_cast<unsigned>(eventId), static_cast<int>(count));
        return 0;
    }
    if (eventId == kEventIdFactCal) {
        if (!nicUniEventFactCal(adapter, header, length)) {
            return 0;
        }
    } else {
        row->Handler(adapter, header, length);
    }
    // The waiting command gets the event in the event-view form (16 bytes before the header, which
    // the receive descriptor in front of it provides).
    (void)QzCmdEventCompleteWaitingFwCmd(adapter, eventId, header - kViewPrefix, FW_CMD_SLOT_NONE, STATUS_SUCCESS,
                                         TRUE);
    return 1;
}

VOID nicUniEventHelper(PMP_ADAPTER adapter, PUCHAR uniHeader, UCHAR legacyEventId, UCHAR extEventId,
                       const UCHAR* payload, ULONG payloadLength)
{
    if (adapter == nullptr || uniHeader == nullptr || (payload == nullptr && payloadLength != 0)) {
        return;
    }
    Translate(adapter, uniHeader, legacyEventId, extEventId, payloadLength, [&](PUCHAR out) {
        if (payloadLength != 0) {
            PlatformMoveMemory(out, payload, payloadLength);
        }
    });
}

// ---- handlers ---------------------------------------------------------------------------------------
VOID nicUniCmdEventResultToHif(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    constexpr ULONG kNeeded = 20;
    if (length < kNeeded) {
        CountMalformed(adapter, header, "command result shorter than its fields", length, kNeeded);
        return;
    }
    const USHORT uniCmdId = UniGetU16(header + 12);
    const ULONG status = UniGetU32(header + 16);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "unified command 0x%02X result 0x%08X", static_cast<unsigned>(uniCmdId),
             static_cast<unsigned>(status));
    if (uniCmdId == 0x27 && status != 0) {
        // The channel-privilege request failed: no grant will come. AdapterClearFlag takes the flag
        // lock itself where the level allows it.
        AdapterClearFlag(adapter, ADAPTER_FLAG_CH_PRIVILEGE, __func__);
    }
}

VOID nicUniCmdEventQueryNicCapabilityV2(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    // The records go to the chip-capability table of the legacy report as its records {u32 tag, u32
    // value length, value}: one walk counts them, a second writes them.
    ULONG count = 0;
    ULONG bytes = 4;
    WalkTlvs(adapter, header, length, [&](ULONG, PUCHAR, ULONG tlvLength) {
        ++count;
        bytes += 8 + (tlvLength - sizeof(UNI_TLV));
        return TRUE;
    });
    ULONG size = 0;
    PUCHAR record = AllocLegacyRecord(adapter, header, 0xEC, 0, bytes, &size);
    if (record == nullptr) {
        return;
    }
    PUCHAR out = record + FW_EVENT_VIEW_PAYLOAD_OFFSET;
    UniPutU16(out, count);
    ULONG offset = 4;
    ULONG written = 0;
    WalkTlvs(adapter, header, length, [&](ULONG tag, PUCHAR tlv, ULONG tlvLength) {
        const ULONG valueLength = tlvLength - sizeof(UNI_TLV);
        if (written == count || offset + 8 + valueLength > bytes) {
            return FALSE;
        }
        UniPutU32(out + offset, tag);
        UniPutU32(out + offset + 4, valueLength);
        PlatformMoveMemory(out + offset + 8, tlv + sizeof(UNI_TLV), valueLength);
        offset += 8 + valueLength;
        ++written;
        return TRUE;
    }, TRUE);
    TraceLegacyRecord(record);
    ProcessChipCapabilityEvent(adapter, record);
    PlatformFreeMemory(record, size);
}

VOID nicUniEventFwLog2Host(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    constexpr ULONG kNeeded = 9;
    WalkTlvs(adapter, header, length, [&](ULONG tag, PUCHAR tlv, ULONG tlvLength) {
        if (tag != 0) {
            CountUnknownTag(adapter, header, tag, tlvLength);
            return TRUE;
        }
        if (tlvLength < kNeeded) {
            CountMalformed(adapter, header, "log text TLV too short", tlvLength, kNeeded);
            return FALSE;
        }
        const ULONG textLength = tlvLength - 8;
        ULONG size = 0;
        PUCHAR record = AllocLegacyRecord(adapter, header, 0x27, 0, tlvLength + 8, &size);
        if (record == nullptr) {
            return FALSE;
        }
        PUCHAR out = record + FW_EVENT_VIEW_PAYLOAD_OFFSET;
        out[2] = tlv[4];
        UniPutU16(out + 8, textLength);
        PlatformMoveMemory(out + 12, tlv + 8, textLength);
        RunLegacyRecord(adapter, record, size);
        return TRUE;
    });
}

VOID nicUniEventScanDone(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    constexpr ULONG kRecordSize = 340;
    constexpr ULONG kChannels = 64;
    ULONG size = 0;
    PUCHAR record = AllocLegacyRecord(adapter, header, 0x0D, 0, kRecordSize, &size);
    if (record == nullptr) {
        return;
    }
    PUCHAR out = record + FW_EVENT_VIEW_PAYLOAD_OFFSET;
    out[0] = header[UNI_EVENT_FIXED_OFFSET];
    WalkTlvs(adapter, header, length, [&](ULONG tag, PUCHAR tlv, ULONG tlvLength) {
        switch (tag) {
        case 0:
            if (TlvHolds(adapter, header, tlvLength, 12)) {
                out[4] = tlv[4];
                out[5] = tlv[5];
                out[6] = tlv[6];
                out[12] = tlv[7];
                UniPutU32(out + 8, UniGetU32(tlv + 8));
            }
            break;
        case 1:
            if (TlvHolds(adapter, header, tlvLength, 8)) {
                out[1] = tlv[4];
                out[2] = tlv[5];
                out[3] = tlv[6];
                out[16] = tlv[7];
            }
            break;
        case 2: {
            if (!TlvHolds(adapter, header, tlvLength, 8)) {
                break;
            }
            // The record holds 64 channels; the entries must also lie inside the TLV.
            ULONG n = tlv[4];
            const ULONG present = (tlvLength - 8) / 8;
            if (n > present || n > kChannels) {
                CountMalformed(adapter, header, "scan-done channel entries beyond the record or the TLV", n,
                               present < kChannels ? present : kChannels);
                n = present < kChannels ? present : kChannels;
            }
            for (ULONG i = 0; i < n; ++i) {
                const UCHAR* entry = tlv + 8 + 8 * i;
                out[20 + i] = entry[0];
                UniPutU16(out + 84 + 2 * i, UniGetU16(entry + 4));
                out[276 + i] = entry[2];
            }
            break;
        }
        case 3:
            break;
        default:
            CountUnknownTag(adapter, header, tag, tlvLength);
            break;
        }
        return TRUE;
    });
    // The record is the handler's payload: it reads no more than the record holds.
    const ULONG payloadLength = length - FW_EVENT_HEADER_LENGTH < kRecordSize ? length - FW_EVENT_HEADER_LENGTH
                                                                               : kRecordSize;
    TraceLegacyRecord(record);
    ProcessScanDoneEvent(adapter, out, payloadLength, 1);
    PlatformFreeMemory(record, size);
}

VOID nicUniCmdEventChMngrHandleChEvent(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    TranslateTag0(adapter, header, length, 20, 0x10, 24, [](PUCHAR out, const UCHAR* tlv) {
        PlatformMoveMemory(out, tlv + 4, 6);
        const UCHAR width = tlv[10];
        out[6] = width >= 1 && width <= 3 ? width : width == 6 ? 4 : 0;
        PlatformMoveMemory(out + 7, tlv + 11, 3);
        const UCHAR band = tlv[14];
        out[10] = band == 0xFF ? 4 : band == 0xFE ? 3 : band;
        UniPutU32(out + 12, UniGetU32(tlv + 16));
    });
}

VOID nicUniCmdEventQueryMcrRead(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    // Only the first TLV: tag 0 carries {address, value} at once, the 0x99xxxxxx form after a word.
    BOOLEAN first = TRUE;
    WalkTlvs(adapter, header, length, [&](ULONG tag, PUCHAR tlv, ULONG tlvLength) {
        if (!first) {
            return FALSE;
        }
        first = FALSE;
        const ULONG at = tag == 0 ? 4 : 8;
        if (TlvHolds(adapter, header, tlvLength, at + 8)) {
            Translate(adapter, header, 0x05, 0, 8, [&](PUCHAR out) {
                UniPutU32(out, UniGetU32(tlv + at));
                UniPutU32(out + 4, UniGetU32(tlv + at + 4));
            });
        }
        return FALSE;
    });
}

VOID nicUniCmdEventStatistics(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    const ULONG statisticsLength = QzCmdChipGroup(adapter) == FW_CHIP_GROUP_ARVEL3X ? 364 : 296;
    WalkTlvs(adapter, header, length, [&](ULONG tag, PUCHAR tlv, ULONG tlvLength) {
        if (tag == 1) {
            if (TlvHolds(adapter, header, tlvLength, 4 + 8 * 3 + 6)) {
                Translate(adapter, header, 0x02, 0, 32, [&](PUCHAR out) {
                    for (ULONG i = 0; i < 4; ++i) {
                        PlatformMoveMemory(out + 8 * i, tlv + 4 + 8 * i, 6);
                    }
                });
            }
        } else if (tag == 2) {
            if (TlvHolds(adapter, header, tlvLength, 4 + statisticsLength)) {
                nicUniEventHelper(adapter, header, 0x21, 0, tlv + 4, statisticsLength);
            }
        } else {
            CountUnknownTag(adapter, header, tag, tlvLength);
        }
        return TRUE;
    });
}

VOID nicUniCmdEventQueryChipCfg(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    constexpr ULONG kTextRoom = 320;
    WalkTlvs(adapter, header, length, [&](ULONG tag, PUCHAR tlv, ULONG tlvLength) {
        if (tag != 2) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "chip configuration answer: tag %u, %u bytes",
                     static_cast<unsigned>(tag), static_cast<unsigned>(tlvLength));
            return TRUE;
        }
        if (!TlvHolds(adapter, header, tlvLength, 12)) {
            return TRUE;
        }
        ULONG textLength = UniGetU16(tlv + 8);
        if (textLength > kTextRoom || textLength > tlvLength - 12) {
            CountMalformed(adapter, header, "chip configuration text beyond its room or its TLV", textLength,
                           tlvLength - 12 < kTextRoom ? tlvLength - 12 : kTextRoom);
            textLength = tlvLength - 12 < kTextRoom ? tlvLength - 12 : kTextRoom;
        }
        Translate(adapter, header, 0x44, 0, 328, [&](PUCHAR out) {
            UniPutU16(out, UniGetU16(tlv + 4));
            out[2] = tlv[6];
            out[3] = tlv[7];
            UniPutU16(out + 4, textLength);
            PlatformMoveMemory(out + 8, tlv + 12, textLength);
        });
        return TRUE;
    });
}

VOID nicUniEventStatusToHost(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    TranslateTag0(adapter, header, length, 32, 0x0F, 88, [](PUCHAR out, const UCHAR* tlv) {
        PlatformMoveMemory(out, tlv + 4, 14);
        UniPutU32(out + 16, UniGetU32(tlv + 20));
        UniPutU32(out + 20, UniGetU32(tlv + 24));
        UniPutU32(out + 24, UniGetU32(tlv + 28));
    });
}

VOID nicUniEventSleepNotify(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    TranslateTag0(adapter, header, length, 5, 0x07, 4, [](PUCHAR out, const UCHAR* tlv) { out[0] = tlv[4]; });
}

VOID nicUniEventBssIsAbsence(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    const UCHAR bssIndex = header[UNI_EVENT_FIXED_OFFSET];
    TranslateTag0(adapter, header, length, 6, 0x11, 4, [&](PUCHAR out, const UCHAR* tlv) {
        out[0] = bssIndex;
        out[1] = tlv[4];
        out[2] = tlv[5];
    });
}

VOID nicUniEventBaOffload(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    // Tag 0: receive agreement (legacy 0x0A); tag 1: receive agreement deleted (0x0B); tag 2: transmit
    // agreement (0x2E). Each names the station record at tag byte 4; a record no station entry carries is
    // skipped.
    static constexpr ULONG kNeeded[3] = {14, 7, 15};
    WalkTlvs(adapter, header, length, [&](ULONG tag, PUCHAR tlv, ULONG tlvLength) {
        if (tag > 2) {
            CountUnknownTag(adapter, header, tag, tlvLength);
            return TRUE;
        }
        if (!TlvHolds(adapter, header, tlvLength, kNeeded[tag])) {
            return TRUE;
        }
        PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedStaRecIdx(adapter, tlv[4]);
        if (entry == nullptr) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "unified event 0x2C: tag %u of station record %u without an entry",
                     static_cast<unsigned>(tag), static_cast<unsigned>(tlv[4]));
            return TRUE;
        }
        const UCHAR record = entry->StaRecIdx;
        switch (tag) {
        case 0:
            Translate(adapter, header, 0x0A, 0, 12, [&](PUCHAR out) {
                const ULONG window = UniGetU16(tlv + 6);
                out[0] = record;
                out[1] = tlv[12];
                const USHORT parameters = static_cast<USHORT>((((window << 4) | tlv[13]) << 2) & 0xFFFF);
                UniPutU16(out + 2, parameters);
                UniPutU16(out + 4, UniGetU16(tlv + 8));
                UniPutU16(out + 6, UniGetU16(tlv + 10));
                UniPutU16(out + 8, static_cast<USHORT>(window >> 10));
            });
            break;
        case 1:
            Translate(adapter, header, 0x0B, 0, 4, [&](PUCHAR out) {
                out[0] = record;
                out[1] = tlv[6];
            });
            break;
        default:
            Translate(adapter, header, 0x2E, 0, 32, [&](PUCHAR out) {
                out[0] = record;
                out[1] = tlv[10];
                out[2] = tlv[6];
                out[3] = tlv[11];
                UniPutU16(out + 4, UniGetU16(tlv + 8));
                out[6] = tlv[14];
                UniPutU32(out + 8, tlv[12]);
                UniPutU32(out + 12, tlv[13]);
            });
            break;
        }
        return TRUE;
    });
}

VOID nicUniEventBeaconTimeout(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    const UCHAR bssIndex = header[UNI_EVENT_FIXED_OFFSET];
    TranslateTag0(adapter, header, length, 5, 0x13, 4, [&](PUCHAR out, const UCHAR* tlv) {
        out[0] = bssIndex;
        out[1] = tlv[4];
    });
}

VOID nicUniEventSap(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    TranslateTag0(adapter, header, length, 5, 0x19, 4, [](PUCHAR out, const UCHAR* tlv) { out[0] = tlv[4]; });
}

VOID nicUniEventAddKeyDone(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    const UCHAR bssIndex = header[UNI_EVENT_FIXED_OFFSET];
    TranslateTag0(adapter, header, length, 10, 0x24, 8, [&](PUCHAR out, const UCHAR* tlv) {
        out[0] = bssIndex;
        PlatformMoveMemory(out + 2, tlv + 4, 6);
    });
}

VOID nicUniEventCountdown(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    WalkTlvs(adapter, header, length, [&](ULONG tag, PUCHAR, ULONG) {
        if (tag == 0) {
            nicUniEventHelper(adapter, header, 0x61, 0, nullptr, 0);
        }
        return TRUE;
    });
}

VOID nicUniEventStaRec(PMP_ADAPTER adapter, PUCHAR header, ULONG length) { TraceTlvs(adapter, header, length); }

VOID nicUniEventBssER(PMP_ADAPTER adapter, PUCHAR header, ULONG length) { TraceTlvs(adapter, header, length); }

VOID nicUniEventHifCtrl(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    TranslateTag0(adapter, header, length, 16, 0xF6, 36,
                  [](PUCHAR out, const UCHAR* tlv) { PlatformMoveMemory(out, tlv + 12, 4); });
}

VOID nicUniEventWow(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    TranslateTag0(adapter, header, length, 8, 0x5B, 6, [](PUCHAR out, const UCHAR* tlv) {
        out[0] = tlv[4];
        UniPutU16(out + 2, UniGetU16(tlv + 6));
    });
}

VOID nicUniCmdEventBF(PMP_ADAPTER adapter, PUCHAR header, ULONG length) { TraceTlvs(adapter, header, length); }

VOID nicUniCmdEventQuerySRInfo(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    constexpr UCHAR kExtEventSr = 0xA8;
    if (length < 30) {
        CountMalformed(adapter, header, "spatial-reuse answer without its sub-id", length, 30);
        return;
    }
    const USHORT subId = UniGetU16(header + 28);
    if (subId == 0xC0) {
        if (length < 52) {
            CountMalformed(adapter, header, "spatial-reuse answer shorter than its fields", length, 52);
            return;
        }
        Translate(adapter, header, FW_CMD_EVENT_EXTENDED, kExtEventSr, 20, [&](PUCHAR out) {
            UniPutU32(out, 1);
            PlatformMoveMemory(out + 8, header + 32, 8);
            PlatformMoveMemory(out + 16, header + 48, 4);
        });
    } else if (subId == 0xC9) {
        if (length < 56) {
            CountMalformed(adapter, header, "spatial-reuse answer shorter than its fields", length, 56);
            return;
        }
        Translate(adapter, header, FW_CMD_EVENT_EXTENDED, kExtEventSr, 32, [&](PUCHAR out) {
            UniPutU32(out, 4);
            PlatformMoveMemory(out + 8, header + 32, 24);
        });
    } else {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "spatial-reuse answer with sub-id 0x%02X dropped",
                 static_cast<unsigned>(subId));
    }
}

VOID nicUniCmdEventCoreDump(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    // The dump's state, its file writer and its end timer belong to the core-dump files.
    (void)NOT_BUILT_YET();
}

VOID nicUniEventPhyIcsRawData(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    // Tag 2 goes to the ICS log writer.
    (void)NOT_BUILT_YET();
}

VOID nicUniEventDbdcCtrl(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    WalkTlvs(adapter, header, length, [&](ULONG tag, PUCHAR tlv, ULONG tlvLength) {
        if (tag != 0) {
            CountUnknownTag(adapter, header, tag, tlvLength);
            return TRUE;
        }
        if (!TlvHolds(adapter, header, tlvLength, 8)) {
            return TRUE;
        }
        const UCHAR state = tlv[4];
        __atomic_store_n(&adapter->UniEvent.FwDbdcState, state, __ATOMIC_RELEASE);
        if (__atomic_load_n(&adapter->UniEvent.DbdcMode, __ATOMIC_ACQUIRE) == 0 && state == 1) {
            const UCHAR bssMask = tlv[5];
            const USHORT bands = UniGetU16(tlv + 6);
            for (ULONG i = 0; i < 4; ++i) {
                PBSS_INDEX_SLOT slot = &adapter->BssIndexSlots[i];
                if ((bssMask & (1u << i)) != 0 && slot->InUse) {
                    slot->BandIndex = static_cast<UCHAR>((bands >> (2 * i)) & 0x3);
                }
            }
        }
        return TRUE;
    });
}

VOID nicUniEventBtCtrl(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    constexpr ULONG kValues = 6;
    WalkTlvs(adapter, header, length, [&](ULONG tag, PUCHAR tlv, ULONG tlvLength) {
        if (tag != 0) {
            CountUnknownTag(adapter, header, tag, tlvLength);
            return TRUE;
        }
        if (!TlvHolds(adapter, header, tlvLength, 4 + 4 * kValues)) {
            return TRUE;
        }
        for (ULONG i = 0; i < kValues; ++i) {
            __atomic_store_n(&adapter->UniEvent.BtState[i], UniGetU32(tlv + 4 + 4 * i), __ATOMIC_RELEASE);
        }
        if (adapter->UniEvent.BtState[kValues - 1] == 1) {
            __atomic_store_n(&adapter->UniEvent.BtReady, static_cast<UCHAR>(1), __ATOMIC_RELEASE);
        } else {
            // The Bluetooth control pulse (value 1, 10 ms, value 0) is sent by the device commands.
            (void)NOT_BUILT_YET();
        }
        return TRUE;
    });
}

VOID nicUniEventRadioStatus(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    // The radio is switched on and off by the MLME requests.
    (void)NOT_BUILT_YET();
}

VOID nicUniEventEfuseCtrl(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    constexpr ULONG kKindAt = 16;
    if (length < kKindAt + 2) {
        CountMalformed(adapter, header, "eFuse answer without its kind", length, kKindAt + 2);
        return;
    }
    switch (UniGetU16(header + kKindAt)) {
    case 0:
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "eFuse buffer mode answered");
        break;
    case 1:
        if (length < 23) {
            CountMalformed(adapter, header, "eFuse status shorter than its fields", length, 23);
            break;
        }
        adapter->UniEvent.EfuseStatus[0] = header[20];
        adapter->UniEvent.EfuseStatus[1] = header[22];
        break;
    case 2:
        if (length < 76) {
            CountMalformed(adapter, header, "eFuse data shorter than its fields", length, 76);
            break;
        }
        PlatformMoveMemory(adapter->UniEvent.EfuseData, header + 60, sizeof(adapter->UniEvent.EfuseData));
        break;
    default:
        break;
    }
}

VOID nicUniEventTsf(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_CMD, "TSF answer of %u bytes", static_cast<unsigned>(length));
    UNREFERENCED_PARAMETER(header);
}

BOOLEAN nicUniEventFactCal(PMP_ADAPTER adapter, PUCHAR header, ULONG length)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}
