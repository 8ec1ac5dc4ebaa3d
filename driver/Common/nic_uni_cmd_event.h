// The unified command format of the third generation (once its firmware runs in RAM): the
// translation of legacy requests into unified commands, and the dispatch of unified events.
//
// The rest of the driver builds legacy commands and sends them through QzCmdSendSetQuery. On a
// third-generation chip whose RAM code runs, the send call hands them to QzCmdSendSetQueryCmdHelper:
// the route table names the builder of the legacy command (and extended command); the builder turns
// the legacy payload into one or more unified commands (UNI_CMD_ENTRY), which are written with the
// unified header by QzCmdSendSetQueryUniCmdAdv (Common/qzcmd) and queued in list order.
//
// Unified events carry the 12-byte event header with bit 1 of the option byte set, a 4-byte fixed
// part and a run of TLVs. RamModeUniEventHandler dispatches them by event id through UNI_EVENT_ROUTE;
// most handlers rebuild the legacy event of the same meaning and run its legacy handler, so that
// state changes stay in one place.
#pragma once

#include <cstddef>

#include "Common/qzcmd.h"
#include "Common/qzevent.h"

// ---- wire layouts ----------------------------------------------------------------------------------
#pragma pack(push, 1)
// The 16-byte header behind the 32-byte transmit descriptor of a unified command.
typedef struct _UNI_CMD_HEADER {
    USHORT Length;      // 16 + payload length
    USHORT CmdId;       // unified command id (one byte wide)
    UCHAR Reserved0;
    UCHAR PacketType;   // 0xA0
    UCHAR Reserved1;
    UCHAR SeqNum;       // class-0 sequence number, 1 to 99
    USHORT Reserved2;
    UCHAR Reserved3;
    UCHAR Option;       // UNI_CMD_OPTION_*
    UCHAR Reserved4[4];
} UNI_CMD_HEADER, *PUNI_CMD_HEADER;

// One element of a unified payload after its fixed part; the length counts this header.
typedef struct _UNI_TLV {
    USHORT Tag;
    USHORT Length;
} UNI_TLV, *PUNI_TLV;
#pragma pack(pop)
static_assert(sizeof(UNI_CMD_HEADER) == 16, "the unified command header is 16 bytes");
static_assert(sizeof(UNI_TLV) == 4, "a TLV header is 4 bytes");
static_assert(FW_CMD_UNI_PREFIX_LENGTH == FW_CMD_TXD_LENGTH + sizeof(UNI_CMD_HEADER), "descriptor and header");

#define UNI_CMD_OPTION_QUERY 0x02
#define UNI_CMD_OPTION_SET 0x06
#define UNI_CMD_OPTION_SET_ANSWER 0x07
#define UNI_CMD_NO_ANSWER_TAG 255
#define UNI_CMD_ID_NONE 0x81  // route rows of legacy commands without a unified form

// Statuses of the translation.
#define STATUS_UNI_CMD_NOT_ACCEPTED static_cast<NTSTATUS>(0x00010003L)  // a builder refuses the request
#define STATUS_UNI_CMD_NO_ROUTE static_cast<NTSTATUS>(0xC00000BBL)
#define STATUS_UNI_CMD_INVALID_DATA static_cast<NTSTATUS>(0xC0010015L)

// Unified events: the fixed part after the header, TLVs from here (offsets from the header).
#define UNI_EVENT_FIXED_OFFSET 12
#define UNI_EVENT_TLV_OFFSET 16

// Little-endian fields of unified payloads and events.
inline USHORT UniGetU16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }
inline ULONG UniGetU32(const UCHAR* p) { return UniGetU16(p) | (static_cast<ULONG>(UniGetU16(p + 2)) << 16); }
inline void UniPutU16(PUCHAR p, ULONG value)
{
    p[0] = static_cast<UCHAR>(value);
    p[1] = static_cast<UCHAR>(value >> 8);
}
inline void UniPutU32(PUCHAR p, ULONG value)
{
    UniPutU16(p, value & 0xFFFF);
    UniPutU16(p + 2, value >> 16);
}
// Writes a TLV header at p; the value follows at p + 4.
inline PUCHAR UniPutTlv(PUCHAR p, USHORT tag, USHORT length)
{
    UniPutU16(p, tag);
    UniPutU16(p + 2, length);
    return p + sizeof(UNI_TLV);
}

// ---- the translation records ----------------------------------------------------------------------
// One unified command a builder produced; allocated with its payload in one zeroed block.
typedef struct _UNI_CMD_ENTRY {
    LIST_ENTRY Link;
    UCHAR CmdId;
    ULONG PayloadLength;
    PUCHAR Payload;      // the bytes right after the entry
    USHORT AnswerTag;    // UNI_CMD_NO_ANSWER_TAG, or the TLV tag whose answer completes the command
    ULONG AllocSize;     // bytes of the block (entry and payload)
} UNI_CMD_ENTRY, *PUNI_CMD_ENTRY;

// One legacy request during its translation; on the sender's stack, zeroed before use.
typedef struct _UNI_CMD_REQUEST {
    UCHAR CmdId;
    UCHAR ExtCmdId;
    UCHAR SetQuery;   // non-zero: set
    UCHAR NeedResp;   // 1 when the send call's flags are 5 or 13; a builder may force it
    UCHAR Flags;
    FW_CMD_CALLBACK Callback;
    ULONG PayloadLength;
    const UCHAR* Payload;
    ULONG64 CallbackContext;
    ULONG CallbackArgument;
    LIST_ENTRY EntryList;
    ULONG EntryCount;
} UNI_CMD_REQUEST, *PUNI_CMD_REQUEST;

// A builder: checks the request, appends its entries to the request's list in send order. 0,
// STATUS_UNI_CMD_NOT_ACCEPTED (nothing appended), STATUS_INSUFFICIENT_RESOURCES (its entries freed),
// or a status of its own.
typedef NTSTATUS (*UNI_CMD_BUILDER)(PMP_PORT port, PUNI_CMD_REQUEST request);

// One row of the route table.
typedef struct _UNI_CMD_ROUTE {
    USHORT CmdId;
    USHORT UniCmdId;   // UNI_CMD_ID_NONE: no unified form
    UCHAR ExtCmdId;    // 0: none
    UNI_CMD_BUILDER Builder;
    PCSTR BuilderName;
} UNI_CMD_ROUTE, *PUNI_CMD_ROUTE;

#define UNI_CMD_ROUTE_ROWS 54
extern const UNI_CMD_ROUTE UniCmdRouteTable[UNI_CMD_ROUTE_ROWS];

// ---- the translation ------------------------------------------------------------------------------
// Sends a legacy request in the unified form; the send call's arguments. The class is only traced.
NTSTATUS QzCmdSendSetQueryCmdHelper(PMP_PORT port, UCHAR cmdId, UCHAR cmdClass, UCHAR extCmdId, UCHAR setQuery,
                                    UCHAR flags, const void* payload, USHORT length, FW_CMD_CALLBACK callback,
                                    ULONG64 callbackContext, ULONG callbackArgument);
// The route row of a legacy command (extended id compared only for command 0xED with a non-zero
// extended id; rows without a unified form never match); -1 when none.
LONG nicUniCmdFindRoute(UCHAR cmdId, UCHAR extCmdId);
// An entry with a zeroed payload of `payloadLength` bytes and no answer tag; none on failure.
PUNI_CMD_ENTRY nicUniCmdAllocEntry(PMP_PORT port, UCHAR uniCmdId, ULONG payloadLength);
void nicUniCmdFreeEntry(PUNI_CMD_ENTRY entry);
// Appends the entry to the request's list.
void nicUniCmdAppendEntry(PUNI_CMD_REQUEST request, PUNI_CMD_ENTRY entry);
// Unlinks and frees every entry of the request.
void nicUniCmdFreeEntries(PUNI_CMD_REQUEST request);

// ---- event dispatch --------------------------------------------------------------------------------
// Dispatches a unified event: `header` is its FW_EVENT_HEADER, preceded in its receive buffer by the
// receive descriptor; `length` is the header's checked length (header, fixed part and TLVs). 1 when
// handled, 0 when dropped (shorter than header and fixed part, an id without a row, a calibration
// piece that is not the last).
UCHAR RamModeUniEventHandler(PMP_ADAPTER adapter, PUCHAR header, ULONG length);
// Rebuilds the legacy event of the same meaning and runs its handler of the legacy event table.
VOID nicUniEventHelper(PMP_ADAPTER adapter, PUCHAR uniHeader, UCHAR legacyEventId, UCHAR extEventId,
                       const UCHAR* payload, ULONG payloadLength);

// A unified event handler: the event header and its checked length.
typedef VOID (*UNI_EVENT_HANDLER)(PMP_ADAPTER adapter, PUCHAR header, ULONG length);
typedef struct _UNI_EVENT_ROUTE {
    USHORT EventId;
    UNI_EVENT_HANDLER Handler;
} UNI_EVENT_ROUTE, *PUNI_EVENT_ROUTE;
#define UNI_EVENT_ROUTE_ROWS 30  // the 29 rows of events with a meaning, and the TSF answer
extern const UNI_EVENT_ROUTE UniEventRouteTable[UNI_EVENT_ROUTE_ROWS];

VOID nicUniCmdEventResultToHif(PMP_ADAPTER adapter, PUCHAR header, ULONG length);            // 0x01
VOID nicUniCmdEventQueryNicCapabilityV2(PMP_ADAPTER adapter, PUCHAR header, ULONG length);   // 0x43
VOID nicUniEventFwLog2Host(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                // 0x04
VOID nicUniEventScanDone(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                  // 0x0E
VOID nicUniCmdEventChMngrHandleChEvent(PMP_ADAPTER adapter, PUCHAR header, ULONG length);    // 0x27
VOID nicUniCmdEventQueryMcrRead(PMP_ADAPTER adapter, PUCHAR header, ULONG length);           // 0x06
VOID nicUniCmdEventStatistics(PMP_ADAPTER adapter, PUCHAR header, ULONG length);             // 0x23
VOID nicUniCmdEventQueryChipCfg(PMP_ADAPTER adapter, PUCHAR header, ULONG length);           // 0x07
VOID nicUniEventStatusToHost(PMP_ADAPTER adapter, PUCHAR header, ULONG length);              // 0x2D
VOID nicUniEventSleepNotify(PMP_ADAPTER adapter, PUCHAR header, ULONG length);               // 0x0B
VOID nicUniEventBssIsAbsence(PMP_ADAPTER adapter, PUCHAR header, ULONG length);              // 0x29
VOID nicUniEventBaOffload(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                 // 0x2C
VOID nicUniEventBeaconTimeout(PMP_ADAPTER adapter, PUCHAR header, ULONG length);             // 0x0C
VOID nicUniEventSap(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                       // 0x1C
VOID nicUniEventAddKeyDone(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                // 0x12
VOID nicUniEventCountdown(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                 // 0x09
VOID nicUniEventStaRec(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                    // 0x0F
VOID nicUniEventBssER(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                     // 0x53
VOID nicUniEventHifCtrl(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                   // 0x03
VOID nicUniEventWow(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                       // 0x5B
VOID nicUniCmdEventBF(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                     // 0x33
VOID nicUniCmdEventQuerySRInfo(PMP_ADAPTER adapter, PUCHAR header, ULONG length);            // 0x25
VOID nicUniCmdEventCoreDump(PMP_ADAPTER adapter, PUCHAR header, ULONG length);               // 0x0A
VOID nicUniEventPhyIcsRawData(PMP_ADAPTER adapter, PUCHAR header, ULONG length);             // 0x30
VOID nicUniEventDbdcCtrl(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                  // 0x28
VOID nicUniEventBtCtrl(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                    // 0x7B
VOID nicUniEventRadioStatus(PMP_ADAPTER adapter, PUCHAR header, ULONG length);               // 0x80
VOID nicUniEventEfuseCtrl(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                 // 0x48
VOID nicUniEventTsf(PMP_ADAPTER adapter, PUCHAR header, ULONG length);                       // 0x1A
// Factory calibration data (event 0x7C): TRUE when the piece was the last one.
BOOLEAN nicUniEventFactCal(PMP_ADAPTER adapter, PUCHAR header, ULONG length);
