// The chip capability report: once the RAM code runs, the firmware describes the chip in two events.
//
// The NIC capability event (0x01) carries version and feature words, the chip's MAC address and the
// 2.4-GHz-only band restriction. The chip capability event (0xEC, and the third generation's unified
// capability records rebuilt as 0xEC) carries a list of tagged records {u32 tag, u32 value length,
// value}: PHY capability, 6 GHz capability, factory-calibration capability, MAC address and others.
// Both handlers store what they find in the adapter; nothing else reads the events.
//
// The firmware's lengths are never trusted: the record walk stops at the end of the event whatever
// its record count says, a record whose value runs past the event ends the walk, and a record too
// short for what its handler reads is skipped. Each such case is counted in the adapter.
#pragma once

#include "Common/qzevent_capability_types.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// NIC capability payload (event 0x01): byte offsets and the bytes the record needs.
#define NIC_CAP_OFFSET_VERSION 0       // three u16
#define NIC_CAP_OFFSET_ONLY_24G 6      // u8: nonzero, the chip works on 2.4 GHz only
#define NIC_CAP_OFFSET_FEATURE 7       // u8
#define NIC_CAP_OFFSET_MAC 8           // six bytes
#define NIC_CAP_OFFSET_BLOCK 20        // 16 bytes
#define NIC_CAP_OFFSET_WORDS 36        // four u32
#define NIC_CAP_OFFSET_TAIL 52         // four bytes
#define NIC_CAP_OFFSET_LAST 56         // u8
#define NIC_CAP_PAYLOAD_LENGTH 57

// The address the adapter uses when the firmware's is a group address or all zero: byte 0 comes
// from the performance counter (two low bits cleared), bytes 1 and 2 are those of the default address
// 02:C1:9B:00:00:00, bytes 3 to 5 fixed.
#define NIC_CAP_FALLBACK_BYTE1 0xC1
#define NIC_CAP_FALLBACK_BYTE2 0x9B
#define NIC_CAP_FALLBACK_BYTE3 0x33
#define NIC_CAP_FALLBACK_BYTE4 0x44
#define NIC_CAP_FALLBACK_BYTE5 0x55

// Chip capability payload (event 0xEC): u16 record count, two reserved bytes, then the records.
#define CHIP_CAP_HEADER_LENGTH 4
#define CHIP_CAP_RECORD_HEADER_LENGTH 8  // u32 tag, u32 value length

// Record tags with a handler.
#define CHIP_CAP_TAG_0 0x00
#define CHIP_CAP_TAG_1 0x01
#define CHIP_CAP_TAG_2 0x02
#define CHIP_CAP_TAG_3 0x03
#define CHIP_CAP_TAG_MAC_ADDRESS 0x07
#define CHIP_CAP_TAG_PHY 0x08
#define CHIP_CAP_TAG_6G 0x18
#define CHIP_CAP_TAG_FACTORY_CAL 0x24

// PHY capability value (tag 0x08): byte offsets.
#define CHIP_CAP_PHY_STREAMS 4    // spatial streams, low four bits
#define CHIP_CAP_PHY_TX_LDPC 6    // 1: the chip transmits LDPC
#define CHIP_CAP_PHY_RX_LDPC 7    // 1: the chip receives LDPC
#define CHIP_CAP_PHY_PATH 10      // the transmit path mask the transmit descriptor writer reads
#define CHIP_CAP_PHY_LENGTH 11
#define CHIP_CAP_MAX_EXPECTED_STREAMS 2

// One row of the chip-capability table: the record's tag, the value bytes its handler reads, and
// the handler (adapter, value). A tag without a row is skipped.
typedef VOID (*CHIP_CAP_HANDLER)(PMP_ADAPTER adapter, const UCHAR* value);
typedef struct _CHIP_CAP_HANDLER_ENTRY {
    ULONG Tag;
    ULONG MinLength;
    CHIP_CAP_HANDLER Handler;
} CHIP_CAP_HANDLER_ENTRY, *PCHIP_CAP_HANDLER_ENTRY;

#define CHIP_CAP_HANDLER_TABLE_ROWS 8
extern const CHIP_CAP_HANDLER_ENTRY ChipCapHandlerTable[CHIP_CAP_HANDLER_TABLE_ROWS];
// The row of a tag; none when the table has no row for it.
const CHIP_CAP_HANDLER_ENTRY* ChipCapGetHandler(ULONG tag);

// The tag handlers: each gets at least its row's MinLength value bytes.
VOID nicCfgChipCapTag0(PMP_ADAPTER adapter, const UCHAR* value);
VOID nicCfgChipCapTag1(PMP_ADAPTER adapter, const UCHAR* value);
VOID nicCfgChipCapTag2(PMP_ADAPTER adapter, const UCHAR* value);
VOID nicCfgChipCapTag3(PMP_ADAPTER adapter, const UCHAR* value);
VOID nicCmdEventMACAddrFromFW(PMP_ADAPTER adapter, const UCHAR* value);
VOID nicCfgChipCapPhyCap(PMP_ADAPTER adapter, const UCHAR* value);
VOID nicCfgChipCap6GCap(PMP_ADAPTER adapter, const UCHAR* value);
VOID nicCfgChipCapFactoryCalCap(PMP_ADAPTER adapter, const UCHAR* value);

// ProcessNicCapabilityEvent and ProcessChipCapabilityEvent are declared with the other event
// handlers (Common/qzevent_handlers.h).
