// The unified event handlers' records in the adapter: the counts of unified events and TLVs that
// lie about their length or that no handler uses, and the firmware's dual-band, Bluetooth and efuse
// reports.
#pragma once

#include "kshim/nt_types.h"

typedef struct _UNI_EVENT_BLOCK {
    volatile LONG UniEventMalformedCount;
    volatile LONG UniEventUnknownTagCount;
    UCHAR FwDbdcState;  // the firmware's dual-band state, as its dual-band report last gave it
    UCHAR DbdcMode;  // dual-band mode chosen by the driver: the firmware's report then leaves the BSS bands alone
    ULONG BtState[6];  // the six words of the firmware's Bluetooth state report
    UCHAR BtReady;  // the Bluetooth side reported ready (sixth word 1)
    UCHAR EfuseStatus[2];
    UCHAR EfuseData[16];
} UNI_EVENT_BLOCK, *PUNI_EVENT_BLOCK;
