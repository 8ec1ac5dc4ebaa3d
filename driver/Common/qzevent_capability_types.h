// The adapter's records of the chip capability report: the NIC capability event as reported and the
// values of the chip capability records the driver keeps.
#pragma once

#include "kshim/nt_types.h"

// The NIC capability event as reported (only traces read it besides the flags the handler derives).
typedef struct _NIC_CAPABILITY_RECORD {
    USHORT Version[3];
    UCHAR Only24G;
    UCHAR Feature;
    UCHAR MacAddress[6];
    UCHAR Block[16];
    ULONG Words[4];
    UCHAR Tail[4];
    UCHAR Last;
    UCHAR MacValid;  // the reported address was a unicast, nonzero address
    UCHAR Reported;  // an event was taken
} NIC_CAPABILITY_RECORD, *PNIC_CAPABILITY_RECORD;

// The values of tags 0 to 2, kept as reported.
typedef struct _CHIP_CAPABILITY_RECORD {
    ULONG Tag0[4];
    UCHAR Tag0Present;
    ULONG Tag1[2];
    ULONG Tag2;
} CHIP_CAPABILITY_RECORD, *PCHIP_CAPABILITY_RECORD;

// What the firmware's capability answers report: the handlers of the NIC and chip capability events
// write them, and the second generation's capability answer its copies.
typedef struct _CHIP_CAP_BLOCK {
    UCHAR ChipTxPathMask;
    UCHAR ChipStreams;  // high four bits transmit, low four bits receive streams
    UCHAR FactoryCalCapable;
    NIC_CAPABILITY_RECORD NicCapability;
    CHIP_CAPABILITY_RECORD ChipCapability;
    USHORT HwAntennaPath;  // the chip's antenna-path word: limits the peers' stream-count updates
    UCHAR ChipTxLdpc;  // PHY capability: 1 when the chip transmits LDPC
    UCHAR ChipRxLdpc;  // PHY capability: 1 when the chip receives LDPC
    UCHAR SixGCapable;  // the chip reports 6 GHz support
    volatile LONG ChipCapMalformedCount;  // capability records cut short or skipped as too short
    // The second generation's copies of the capability answer.
    UCHAR TxPathSetting;
    UCHAR TxStreamLimit;
    UCHAR RxStreamLimit;
} CHIP_CAP_BLOCK, *PCHIP_CAP_BLOCK;
