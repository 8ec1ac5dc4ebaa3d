// The event dispatch's records in the adapter: the values the boot ROM's events report for the
// firmware download, and the counts of events the dispatch dropped.
#pragma once

#include "kshim/nt_types.h"

typedef struct _FW_EVENT_BLOCK {
    ULONG RomVersionWord;  // register-read answer for chip address 0x88000004, polled by the ROM-version query
    UCHAR PatchSemaphoreStatus;
    UCHAR BtPatchStatus;
    ULONG BtPatchValue;
    ULONG FwLogBaseAddress;  // third generation
    // Events the dispatch dropped: shorter than their descriptor and header or than the header
    // says, and events whose id has no handler.
    volatile LONG FwEventShortCount;
    volatile LONG FwEventUnknownCount;
} FW_EVENT_BLOCK, *PFW_EVENT_BLOCK;
