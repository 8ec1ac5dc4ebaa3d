// Firmware event reception and dispatch.
//
// The receive path hands every event packet, still in its receive buffer, to RecvProcessFwEvent.
// The buffer starts with the chip's receive descriptor (16 bytes on the older chip, 24 on the
// second generation, 32 on the third), then the FW_EVENT_HEADER, then the payload. While the boot
// ROM runs (the firmware is not yet in RAM) the events use the ROM dialect: only the first eight
// header bytes, the payload at header offset 8. Once the RAM code runs they use the full header.
//
// Every length is checked before use: the header must lie inside the received bytes and its
// length field (header and payload) must not claim more than was received; an event that fails is
// dropped and counted. Legacy handlers receive an event view that starts 16 bytes before the
// header, whatever the generation's descriptor length.
#pragma once

#include "kshim/nt_types.h"
#include "platform/ndiscommon/dmaq_rx.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

#pragma pack(push, 1)
typedef struct _FW_EVENT_HEADER {
    USHORT Length;      // header and payload; the receive descriptor is not counted
    USHORT PacketType;  // 0xE000 on the events of the older chip
    UCHAR EventId;
    UCHAR SeqNum;
    UCHAR Option;       // bit 1: unified event (third generation)
    UCHAR Reserved0;
    UCHAR ExtEventId;   // sub-id of event 0xED
    UCHAR Reserved1[2];
    UCHAR S2DIndex;
} FW_EVENT_HEADER, *PFW_EVENT_HEADER;
#pragma pack(pop)
static_assert(sizeof(FW_EVENT_HEADER) == 12, "the firmware event header is 12 bytes");

#define FW_EVENT_HEADER_LENGTH 12
#define FW_ROM_EVENT_HEADER_LENGTH 8  // length, packet type, event id, sequence number, two bytes
#define FW_EVENT_OPTION_UNIFIED 0x02
#define FW_EVENT_PACKET_TYPE_OLDER 0xE000

// The event view: offsets from its start.
#define FW_EVENT_VIEW_HEADER_OFFSET 16
#define FW_EVENT_VIEW_ID_OFFSET 20
#define FW_EVENT_VIEW_SEQ_OFFSET 21
#define FW_EVENT_VIEW_EXT_ID_OFFSET 24
#define FW_EVENT_VIEW_S2D_OFFSET 27
#define FW_EVENT_VIEW_PAYLOAD_OFFSET 28

// Receive descriptor lengths of the three chip groups.
#define FW_EVENT_RXD_LENGTH_OLDER 16
#define FW_EVENT_RXD_LENGTH_ARVEL2X 24
#define FW_EVENT_RXD_LENGTH_ARVEL3X 32

// Chip address of the register-read answer the boot ROM reports as its version.
#define FW_ROM_VERSION_ADDRESS 0x88000004u

// One row of the legacy event table: the handlers that the unified event dispatch hands its
// rebuilt legacy events to. The table is searched linearly; the first matching row is used.
typedef VOID (*FW_EVENT_HANDLER)(PMP_ADAPTER adapter, PUCHAR eventView);
typedef struct _FW_EVENT_HANDLER_ENTRY {
    ULONG EventId;
    FW_EVENT_HANDLER Handler;
} FW_EVENT_HANDLER_ENTRY, *PFW_EVENT_HANDLER_ENTRY;

#define FW_EVENT_HANDLER_TABLE_ROWS 19
extern const FW_EVENT_HANDLER_ENTRY FwEventHandlerTable[FW_EVENT_HANDLER_TABLE_ROWS];
extern const ULONG FwEventHandlerTableCount;
// The handler of the first row with this id; none when no row has it.
FW_EVENT_HANDLER FwEventGetHandler(ULONG eventId);

// Receive descriptor length of the adapter's chip group.
ULONG FwEventRxdLength(PMP_ADAPTER adapter);

// Payload bytes of an event view whose header the dispatch has checked.
inline ULONG FwEventViewPayloadLength(const UCHAR* eventView)
{
    ULONG length = eventView[FW_EVENT_VIEW_HEADER_OFFSET] | (eventView[FW_EVENT_VIEW_HEADER_OFFSET + 1] << 8);
    return length > FW_EVENT_HEADER_LENGTH ? length - FW_EVENT_HEADER_LENGTH : 0;
}

// The event entry: dispatches the record's buffer (received length bytes) in the dialect the
// firmware speaks, returns the record to its pool, and answers whether the event was handled.
UCHAR RecvProcessFwEvent(PMP_ADAPTER adapter, PRX_DMAQ_DESC record);
// The run-time dialect; a buffer of receivedLength bytes, receive descriptor first.
UCHAR RamModeEventHandler(PMP_ADAPTER adapter, PUCHAR buffer, ULONG receivedLength);
// The boot ROM's dialect; a buffer of receivedLength bytes, receive descriptor first.
UCHAR RomModeEventHandler(PMP_ADAPTER adapter, PUCHAR buffer, ULONG receivedLength);
