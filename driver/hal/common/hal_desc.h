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
