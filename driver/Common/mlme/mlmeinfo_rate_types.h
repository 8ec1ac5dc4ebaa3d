// The records of transmit rate selection: the port's rate state and what join records of the BSS of
// the connect attempt (in the adapter).
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

#define RATE_CFG_LIST 12       // codes of the configured rate list
#define RATE_LIST_MAX 16       // supported and extended rate lists
#define RATE_HT_MCS_BYTES 3    // MCS 0-7, 8-15, 16-23
#define RATE_HT_CAP_BODY 26    // HT Capabilities element body
#define RATE_HT_OP_BODY 22     // HT Operation element body

// The legacy rate indexes 0-11 (codes 2, 4, 11, 22, 12, 18, 24, 36, 48, 72, 96, 108).
#define RATE_INDEX_CCK_LAST 3
#define RATE_INDEX_OFDM_FIRST 4
#define RATE_INDEX_MAX 11

// Bits of the port's rate status word.
#define RATE_STATUS_OFDM 0x40u

// Bits of the port's rate configuration word.
#define RATE_CFG_FIXED_MCS 0x100u
#define RATE_CFG_NO_MCS32 0x400u

// The HT capability the station advertises (KOVACheckHt writes it).
typedef struct _HT_ADVERTISED {
    USHORT CapInfo;
    UCHAR AmpduParams;
    UCHAR McsSet[RATE_HT_MCS_BYTES];
    UCHAR Mcs32;
    USHORT ExtCap;
    ULONG TxBfCap;
} HT_ADVERTISED, *PHT_ADVERTISED;

// The port's rate state (the PHY mode change loads the configured list; join and link up fill the rest).
typedef struct _PORT_RATE_BLOCK {
    UCHAR CfgRates[RATE_CFG_LIST];
    UCHAR SupRates[RATE_LIST_MAX];
    UCHAR SupRatesLen;
    UCHAR ExtRates[RATE_LIST_MAX];
    UCHAR ExtRatesLen;
    UCHAR MaxCfgIndex;       // highest configured index
    UCHAR MaxIndex;          // highest usable index
    UCHAR MinIndex;
    ULONG TxPhy[3];          // data, highest-rate and lowest-rate words
    ULONG MgmtPhy;
    UCHAR MgmtIndex;         // 0 or 4
    UCHAR MgmtIndexCopy;
    ULONG Status;            // RATE_STATUS_*
    UCHAR OfdmInUse;         // byte copy of RATE_STATUS_OFDM
    // Own HT, VHT and HE capabilities and switches.
    UCHAR HtEnable;
    USHORT HtSetting;        // 0-1 width, 2-3 SM power save, 4 greenfield, 5 SGI 20, 6 SGI 40, 7 TX STBC, 8-9 RX STBC, 11 A-MSDU, 13 LDPC TX, 14 LDPC RX
    UCHAR AmpduParams;       // 0-1 maximum length exponent, 2-4 spacing
    UCHAR McsSet[RATE_HT_MCS_BYTES];
    UCHAR Mcs32;
    UCHAR VhtEnable;
    ULONG VhtCap;
    USHORT VhtMcsMap;
    USHORT HeMcsMap;
    UCHAR HeCapValid;
    UCHAR HeCapBytes[2];     // the highest supported data rate field of the HE capability block
    UCHAR LimitSecondStream;
    UCHAR StreamSetting;     // 3: three streams
    ULONG RateConfig;        // RATE_CFG_*
    UCHAR FixedMcs[RATE_HT_MCS_BYTES];
    USHORT AmpduLimit;       // the configured A-MPDU limit
    UCHAR ExtCapFlag;        // extended HT capabilities in use
    ULONG TxBfCap;
    ULONG ApConfigWord;      // soft access point: bits 11-13 the bandwidth
    // The own HT Capabilities and HT Operation element bodies of the PHY mode (IEEE 802.11 layout)
    // with the flag byte after them, the HT compatibility flags (bit 5: no RX STBC advertised) and the
    // VHT channel of the mode: width (0 20/40, 1 80, 2 160 MHz) and the 80 and 160 MHz centres.
    UCHAR HtCapBody[RATE_HT_CAP_BODY];
    UCHAR HtOpBody[RATE_HT_OP_BODY];
    UCHAR HtBodyFlag;
    UCHAR HtCompatFlags;
    UCHAR VhtChannelWidth;
    UCHAR VhtCentre80;
    UCHAR VhtCentre160;
} PORT_RATE_BLOCK, *PPORT_RATE_BLOCK;

// What join records of the BSS of the connect attempt (in the adapter), and the advertised HT
// capability.
typedef struct _CONNECT_RATES {
    UCHAR SupRates[RATE_LIST_MAX];
    UCHAR SupRatesLen;
    UCHAR ExtRates[RATE_LIST_MAX];
    UCHAR ExtRatesLen;
    UCHAR HtPresent;
    USHORT HtCapInfo;
    UCHAR HtAmpduParams;
    UCHAR HtMcsSet[RATE_HT_MCS_BYTES];
    ULONG VhtCap;
    USHORT VhtMcsMap;
    UCHAR VhtOpWidth;        // the VHT operation's channel width
    UCHAR HeFlag;
    USHORT HeMcsMap;
    UCHAR LinkVht;           // the link uses VHT (link up sets it, link down clears it)
    UCHAR Bw40Switch;        // the adapter's 40 MHz switches: bit 0 for 2.4 GHz, bit 1 for 5 GHz
    HT_ADVERTISED Advertised;
} CONNECT_RATES, *PCONNECT_RATES;
