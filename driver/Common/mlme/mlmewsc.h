// WPS of the station: the WPS element check of a stored BSS and the push-button and PIN searches for
// an access point over the scan table.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _BSS_ENTRY BSS_ENTRY, *PBSS_ENTRY;

// Parses the entry's stored WPS element: WpsPresent, WpsVersion2 and the interoperability flag.
void WscCheckWPSAP(PBSS_ENTRY entry);
// Push-button search over the scan table for the BSSID on the channel's band side: the number of
// registrars found; with exactly one, *index is its scan-table index.
ULONG WscPBCModeAPSearch(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* bssid, UCHAR channel, PULONG index);
// The same for PIN mode.
ULONG WscPINModeAPSearch(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* bssid, UCHAR channel, PULONG index);
// Writes the WPS element of the port's probe request; its length, 0 when none.
void WscMakeProbeReqIE(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR out, PULONG length);
// Stops a running WPS search of the port (timers and state).
void WscStop(PMP_ADAPTER adapter, PMP_PORT port);
