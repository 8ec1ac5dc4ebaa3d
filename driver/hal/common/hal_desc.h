// The transmit and receive descriptors of the three chip generations: the 32-byte transmit
// descriptor every data and management frame carries in front of it, written from a
// TX_FRAME_INFO by the chip's writer, and the receive descriptor, its optional groups and header
// offset in front of every received frame, which the parsers take apart.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _RX_DMAQ_DESC RX_DMAQ_DESC, *PRX_DMAQ_DESC;
typedef struct _TX_FRAME_INFO TX_FRAME_INFO, *PTX_FRAME_INFO;

#define TXD_SIZE 32u

// ---- descriptor words ------------------------------------------------------------------------------------
inline ULONG TxdGetWord(const UCHAR* d, ULONG word)
{
    const UCHAR* p = d + 4 * word;
    return static_cast<ULONG>(p[0]) | (static_cast<ULONG>(p[1]) << 8) | (static_cast<ULONG>(p[2]) << 16) |
           (static_cast<ULONG>(p[3]) << 24);
}
inline void TxdSetWord(UCHAR* d, ULONG word, ULONG value)
{
    UCHAR* p = d + 4 * word;
    p[0] = static_cast<UCHAR>(value);
    p[1] = static_cast<UCHAR>(value >> 8);
    p[2] = static_cast<UCHAR>(value >> 16);
    p[3] = static_cast<UCHAR>(value >> 24);
}
// Bits first..last of word `word` := value (masked to the field).
inline void TxdSetField(UCHAR* d, ULONG word, ULONG first, ULONG last, ULONG value)
{
    const ULONG width = last - first + 1;
    const ULONG mask = (width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1u)) << first;
    TxdSetWord(d, word, (TxdGetWord(d, word) & ~mask) | ((value << first) & mask));
}
inline ULONG TxdGetField(const UCHAR* d, ULONG word, ULONG first, ULONG last)
{
    const ULONG width = last - first + 1;
    const ULONG mask = width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1u);
    return (TxdGetWord(d, word) >> first) & mask;
}

// ---- chip generation of the descriptor formats ------------------------------------------------------------
#define DESC_GEN_OLDER 1   // chip 3404
#define DESC_GEN_ARVEL2X 2 // chips 3501, 3502, 3503
#define DESC_GEN_ARVEL3X 3 // chips 3601, 3602 (and 3603)
#define DESC_GEN_NONE 0
UCHAR HalDescGeneration(PMP_ADAPTER adapter);

// The A-MSDU position the receive descriptor of a parsed record gives: 3 first sub-frame, 2 middle,
// 1 last, 0 a frame outside an A-MSDU (and a record without descriptor).
UCHAR RxdGetAmsduPosition(PMP_ADAPTER adapter, PRX_DMAQ_DESC record);

// ---- transmit descriptors ----------------------------------------------------------------------------------
// Fills the 32-byte descriptor at the start of a DMA buffer from the frame information: the chip's
// XmitWriteTxD operation when it has one, else XmitWriteTxDv1.
VOID XmitWriteTxD(PMP_ADAPTER adapter, PUCHAR descriptor, PTX_FRAME_INFO info);
// The older chip's layout (TXD_V1). A nonzero skip-descriptor byte leaves the descriptor untouched.
VOID XmitWriteTxDv1(PMP_ADAPTER adapter, PUCHAR descriptor, PTX_FRAME_INFO info);

// What the three writers share.
// The 4-bit RATE code of the OFDM SIGNAL field for MCS 0-7 (6 to 54 Mb/s); 0x0C for anything above.
UCHAR TxdOfdmRateCode(ULONG mcs);
// Port 0 when its fixed-rate override is on, else null.
PMP_PORT TxdFixedRatePort(PMP_ADAPTER adapter);
// The MCS field of the fixed-rate override: the OFDM rate code in PHY mode 1, else the MCS.
ULONG TxdFixedRateMcs(PMP_ADAPTER adapter, const ULONG* phyCfg);
// The per-TID aggregation byte of the receiver's station entry (FALSE without an entry).
BOOLEAN TxdAggregationAllowed(PTX_FRAME_INFO info);
// The packet-id rule: a management frame other than a probe request, probe response or beacon
// (and, when `icmpData`, a data frame marked ICMP echo) carries its nonzero packet id.
BOOLEAN TxdPacketIdApplies(const TX_FRAME_INFO* info, BOOLEAN icmpData);
// The packet-id rule (DW5 bits 0-7, 9 and 10), or, for a data frame without packet id, the
// generation's aggregation bit (per-TID flag set) or its no-aggregation bit.
typedef struct _TXD_BIT {
    ULONG word;
    ULONG bit;
} TXD_BIT;
// The older and second-generation layouts: type and subtype in DW2 bits 0-5 (management layout) or
// DW7 bits 16-21, the group-addressed bit DW2 bit 10, no-acknowledgement DW3 bit 0 (never for data
// frames) and the protection bit DW3 bit 1.
VOID TxdWriteFrameKind(PUCHAR d, const TX_FRAME_INFO* info);
// Where a layout keeps the fixed-rate override's fields in DW6: {first bit, last bit} of each.
typedef struct _TXD_RATE_FIELDS {
    ULONG mode[2];
    ULONG mcs[2];
    ULONG bw[2];
    ULONG shortGi[2];
    ULONG stbc[2];
    ULONG nss[2];
    ULONG ldpc[2];
} TXD_RATE_FIELDS;
// Writes port 0's fixed PHY configuration word into DW6 by the layout's fields.
VOID TxdWriteFixedRate(PMP_ADAPTER adapter, PUCHAR d, const ULONG* phyCfg, const TXD_RATE_FIELDS* fields);
VOID TxdPacketIdOrAggregation(PUCHAR d, PTX_FRAME_INFO info, BOOLEAN icmpData, TXD_BIT aggregation,
                              TXD_BIT noAggregation);

// ---- receive descriptors -----------------------------------------------------------------------------------
#define RXD_BASE_OLDER 16u
#define RXD_BASE_ARVEL2X 24u
#define RXD_BASE_ARVEL3X 32u
#define RXD_MAX_BYTE_COUNT 4096u
// Group slots of a receive record: groups 1, 2, 3 and 5.
#define RXD_SLOT_GROUP1 0
#define RXD_SLOT_GROUP2 1
#define RXD_SLOT_GROUP3 2
#define RXD_SLOT_GROUP5 3

// The parsers record the descriptor, the groups, the 802.11 header and the frame length in the
// record. A byte count beyond 4096 or the record's buffer or the bytes the chip wrote, or below the
// descriptor, groups and header offset it announces, is refused: FALSE, the frame left unset.
BOOLEAN RxdMacHdrParser(PMP_ADAPTER adapter, PRX_DMAQ_DESC record);

// The older chip's 24-byte receive-vector group: kind 2 first keeps the group in words 0-5 of port
// 0's receive-vector store and reads the RCPI at byte 12, kind 1 at byte 20. The output record
// gets the RSSI of chains 0 and 1 in dBm (bytes 0 and 1) and the four raw RCPI values (bytes 7-10).
#define RX_VGROUP_OUTPUT_SIZE 11u
#define RX_VGROUP_OLDER_SIZE 24u
VOID ParseRxVGroup(PMP_ADAPTER adapter, ULONG kind, PUCHAR output, const UCHAR* group);
// RSSI in dBm of an RCPI value.
CHAR RcpiToRssi(UCHAR rcpi);

// The receive rate of a connected infrastructure station port from its receive-vector store:
// the 8-byte record {u32 PHY mode, streams, bandwidth, guard interval, MCS}, and the current and
// maximum receive link speed. 0, or 0xFFFFFFFF for a missing argument or another kind of port.
#define RX_RATE_RECORD_SIZE 8u
ULONG ProcessGetRxRate(PMP_PORT port, PMP_ADAPTER adapter, PUCHAR record, PULONG rxLinkSpeed, PULONG maxLinkSpeed);
// The fields of the port's last receive-rate report (its receive-vector store: words 12 and 13 on the
// second and third generation, words 6 and 7 on the older chip), as each generation lays them out.
// Streams is the stream count minus 1; Mode the transmission mode (0 CCK, 1 OFDM, 2-3 HT, 4 VHT, 8-11 HE).
typedef struct _RX_RATE_FIELDS {
    ULONG Mcs;
    ULONG Streams;
    ULONG Mode;
    ULONG Bandwidth;
    ULONG Gi;
} RX_RATE_FIELDS, *PRX_RATE_FIELDS;
VOID HalDecodeRxRateReport(PMP_ADAPTER adapter, PMP_PORT port, PRX_RATE_FIELDS fields);

// The parser of a generation's layout, shared by the chips' parsers.
BOOLEAN HalRxdParse(PMP_ADAPTER adapter, PRX_DMAQ_DESC record, UCHAR generation);

// The receive-descriptor fields the receive path reads, by generation (a parsed record).
typedef struct _RXD_FIELDS {
    UCHAR WlanIndex;      // sender's station index, 255 none
    UCHAR BssIndex;       // 15 no match
    UCHAR Tid;            // 3 bits
    UCHAR Tid4;           // the TID with the bit above it (the A-MSDU check's row)
    UCHAR KeyIndex;
    UCHAR AmsduPosition;  // 0 none, 3 first, 2 middle, 1 last
    UCHAR SecurityMode;   // 0 none (older chip: always 0)
    UCHAR Channel;        // the channel byte (byte 12)
    BOOLEAN Unicast;      // to an own address
    BOOLEAN Group;        // group-addressed
    BOOLEAN Wake;         // wake packet
    BOOLEAN Translated;   // header translated by the chip
    BOOLEAN Fragment;
    BOOLEAN NotAggregate; // older chip: not part of an aggregate
    ULONG Errors;         // older chip: DW2 (error bits 17-25)
    ULONG Word1;          // DW1 and DW3 as received
    ULONG Word3;
} RXD_FIELDS, *PRXD_FIELDS;
#define RXD_CHANNEL_OFFSET 12u
#define RXD_WLAN_NONE 255u
#define RXD_BSS_NONE 15u
// FALSE when the record has no parsed descriptor or the chip's generation is unknown.
BOOLEAN RxdGetFields(PMP_ADAPTER adapter, const RX_DMAQ_DESC* record, PRXD_FIELDS fields);
// The 48-bit packet number of group 1 (FALSE when the group is absent).
BOOLEAN RxdGetPacketNumber(const RX_DMAQ_DESC* record, ULONG64* number);
