// Wi-Fi Direct frames: byte-order helpers and the vendor OUIs of the P2P and WPS elements.
#pragma once

#include "kshim/nt_types.h"

inline constexpr UCHAR kP2pOui[4] = {0x50, 0x6F, 0x9A, 0x09};
inline constexpr UCHAR kWpsOui[4] = {0x00, 0x50, 0xF2, 0x04};

inline void P2pPutLe16(PUCHAR at, USHORT value)
{
    at[0] = static_cast<UCHAR>(value);
    at[1] = static_cast<UCHAR>(value >> 8);
}

inline void P2pPutLe32(PUCHAR at, ULONG value)
{
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<UCHAR>(value >> (8 * i));
    }
}

inline void P2pPutBe16(PUCHAR at, USHORT value)
{
    at[0] = static_cast<UCHAR>(value >> 8);
    at[1] = static_cast<UCHAR>(value);
}

inline USHORT P2pGetLe16(const UCHAR* at)
{
    return static_cast<USHORT>(at[0] | (at[1] << 8));
}

inline USHORT P2pGetBe16(const UCHAR* at)
{
    return static_cast<USHORT>((at[0] << 8) | at[1]);
}
