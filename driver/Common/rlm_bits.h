// Bit fields of the capability octet strings of 802.11 elements: bit n is bit n % 8 of octet n / 8.
#pragma once

#include "kshim/nt_types.h"

inline BOOLEAN RlmGetBit(const UCHAR* octets, ULONG bit)
{
    return static_cast<BOOLEAN>((octets[bit / 8] >> (bit % 8)) & 1);
}

inline void RlmSetBit(PUCHAR octets, ULONG bit, BOOLEAN value)
{
    const UCHAR mask = static_cast<UCHAR>(1u << (bit % 8));
    octets[bit / 8] = static_cast<UCHAR>(value ? (octets[bit / 8] | mask) : (octets[bit / 8] & ~mask));
}

// A field of `width` bits from bit `first` on (it may cross octets).
inline ULONG RlmGetField(const UCHAR* octets, ULONG first, ULONG width)
{
    ULONG value = 0;
    for (ULONG i = 0; i < width; ++i) {
        value |= static_cast<ULONG>(RlmGetBit(octets, first + i)) << i;
    }
    return value;
}

inline void RlmSetField(PUCHAR octets, ULONG first, ULONG width, ULONG value)
{
    for (ULONG i = 0; i < width; ++i) {
        RlmSetBit(octets, first + i, static_cast<BOOLEAN>((value >> i) & 1));
    }
}

// TRUE when the table holds the value.
template <ULONG N>
inline BOOLEAN RlmContains(const UCHAR (&table)[N], UCHAR value)
{
    for (UCHAR entry : table) {
        if (entry == value) {
            return TRUE;
        }
    }
    return FALSE;
}

inline USHORT RlmGetU16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }
inline void RlmPutU16(PUCHAR p, USHORT v)
{
    p[0] = static_cast<UCHAR>(v);
    p[1] = static_cast<UCHAR>(v >> 8);
}
