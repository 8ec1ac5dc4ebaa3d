// The PHY-configuration word: a transmit rate and its modulation parameters in one 32-bit word,
// read and written only through these accessors. The bit layout follows the chip descriptor's
// PhyCfgLayout: layout 2 (every chip of this driver) or the other layout.
//
//   field          layout 2      other layout
//   MCS            bits 0-6      bits 0-6
//   streams (NSS)  bits 17-18    bits 3-6, read only (the MCS divided by 8)
//   bandwidth      bits 7-9      bit 7
//   short GI       bit 10        bit 8
//   STBC           bit 11        bits 9-10
//   LDPC           none          bit 13
//   PHY mode       bits 14-16    bits 14-15
#pragma once

#include "hal/common/phy_cfg_types.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

#define PHY_CFG_LAYOUT_2 2

// Readers return the field shifted down. In layout 2 the LDPC reader gives the word shifted right by
// 19 (no writer sets those bits, so it reads 0).
ULONG READ_PHY_CFG_MCS(PMP_ADAPTER adapter, const PHY_CFG* cfg);
ULONG READ_PHY_CFG_BW(PMP_ADAPTER adapter, const PHY_CFG* cfg);
ULONG READ_PHY_CFG_NSS(PMP_ADAPTER adapter, const PHY_CFG* cfg);
ULONG READ_PHY_CFG_SHORT_GI(PMP_ADAPTER adapter, const PHY_CFG* cfg);
ULONG READ_PHY_CFG_STBC(PMP_ADAPTER adapter, const PHY_CFG* cfg);
ULONG READ_PHY_CFG_LDPC(PMP_ADAPTER adapter, const PHY_CFG* cfg);
ULONG READ_PHY_CFG_MODE(PMP_ADAPTER adapter, const PHY_CFG* cfg);
ULONG READ_PHY_CFG_DOUBLE_WORD(PMP_ADAPTER adapter, const PHY_CFG* cfg);

// Writers insert the value, cut to the field's width, and leave every other bit unchanged. In
// layout 2 the LDPC writer changes nothing; in the other layout the NSS writer changes nothing.
VOID WRITE_PHY_CFG_MCS(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value);
VOID WRITE_PHY_CFG_BW(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value);
VOID WRITE_PHY_CFG_NSS(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value);
VOID WRITE_PHY_CFG_SHORT_GI(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value);
VOID WRITE_PHY_CFG_STBC(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value);
VOID WRITE_PHY_CFG_LDPC(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value);
VOID WRITE_PHY_CFG_MODE(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value);
VOID WRITE_PHY_CFG_DOUBLE_WORD(PMP_ADAPTER adapter, PPHY_CFG cfg, ULONG value);

// Places a primary 20 MHz channel inside a wider channel. d = centre - primary:
//   40 MHz (code 1): +2 -> 1 (secondary above), -2 -> 3 (secondary below);
//   80 and 160 MHz (codes 2, 3): (14 - d) / 4, the primary's position among the eight 20 MHz
//   channels of a 160 MHz span, for d in {+-2, +-6} (80 MHz) or {+-2, +-6, +-10, +-14} (160 MHz).
// Any other difference leaves *location unchanged; any other bandwidth code is traced as an error
// and leaves it unchanged too. The first argument is not used.
VOID GetPrimaryChannelLocation(PVOID unused, UCHAR primaryChannel, UCHAR bandwidth, UCHAR centreChannel,
                               PUCHAR location);
