// The firmware BSS slots: five per adapter, bound to ports by the concurrent network management of
// the radio subsystem. The shell clears them at software control init and reads them through its
// slot accessors.
#pragma once

#include "Common/cnm_types.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Clears the five firmware BSS slots (used flag and port).
void cnmInitBssInfo(PMP_ADAPTER adapter);
// Binds the port to a firmware BSS slot and own-MAC index: slot 4 for the Wi-Fi Direct device port,
// the port's own slot again when it holds one, else the lowest free slot 0-3 with the lowest free
// own-MAC index. Null when slots or own-MAC indexes 0-3 are all taken.
PBSS_INDEX_SLOT cnmInitAndGetBssIndexForPort(PMP_ADAPTER adapter, PMP_PORT port, ULONG indexValue, BOOLEAN devicePort);
// Releases the port's firmware BSS slot (nothing for no slot); the slot keeps its port reference.
NTSTATUS cnmFreeBssInfo(PMP_ADAPTER adapter, PBSS_INDEX_SLOT slot);

// ---- bandwidth limits and conversions of the radio capabilities ----------------------------------------
// The widest bandwidth code (MAX_BW_*) the port may use on a band (1 2.4 GHz, 2 5 GHz, 3 6 GHz), from
// the adapter's maximum and "Config_11AX", "P2P_GO_Band" or "Config_6G"; 3 for any other band.
UCHAR cnmGetMaxBwByBand(PMP_ADAPTER adapter, PMP_PORT port, ULONG band);
// Bandwidth code (0-5) to channel-width code: 0 and 1 -> 0, 2 -> 1, 3 -> 2, 4 -> 3, 5 -> 4, other -> 1.
UCHAR cnmMapBwToChannelWidth(UCHAR bandwidth);
// Channel-width code to bandwidth code: 0 -> 1 with a secondary-channel offset of 1 or 3, else 0;
// 1 -> 2, 2 -> 3, 3 -> 4, 4 -> 5; other -> 0.
UCHAR cnmMapChannelWidthToBw(UCHAR channelWidth, ULONG secondaryOffset);
