// Operation modes between the driver's codes and the OS's WDI values.
#pragma once

#include "kshim/nt_types.h"
#include "kshim/wditlv.h"
#include "kshim/wificx_request.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// The WDI operation-mode value of a driver operation-mode code (1, 2, 4, 8, 16 or 32), by the OS's
// WDI version; any other code is traced and gives 0.
ULONG NdisWdiGetOpModeValue(PMP_ADAPTER adapter, ULONG code);
// The driver operation-mode code of a WDI operation-mode value, by the OS's WDI version; 0 for a
// value without a code.
ULONG NdisWdiGetQzlOpModeValue(PMP_ADAPTER adapter, ULONG value);

// ---- the scan task's conversion (the OS's scan parameters into the core's scan request) --------------------
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// WDI band id 1 -> 1 (2.4 GHz), 2 -> 2 (5 GHz), 5 -> 3 (6 GHz), anything else -> 1.
ULONG NdisWdiGetBandFromWdiBandId(ULONG wdiBandId);
// The WDI band id of a driver band: 1 -> 1 (2.4 GHz), 2 -> 2 (5 GHz), 3 -> 5 (6 GHz), anything else -> 1.
ULONG NdisWdiGetWdiBandIdFromBand(PMP_ADAPTER adapter, ULONG band);
// The scan task's conversion: checks, skips, the channel fields of the adapter's scan request and the
// core scan request handed to MlmeScanRequest.
NTSTATUS NdisWdiSetOidDot11ScanRequest(PMP_ADAPTER adapter, WIFIREQUEST request, const WDI_SCAN_PARAMETERS* parameters);
// The size of the core scan request of the parameters: 56 + 36 per SSID (36 without any) + the
// vendor elements.
ULONG NdisWdiDot11ScanRequestSize(const WDI_SCAN_PARAMETERS* parameters);
// Writes the core scan request into `buffer` (at least NdisWdiDot11ScanRequestSize bytes):
// 0xC0010014 when an SSID does not fit its 32-byte slot.
NTSTATUS NdisWdiFillDot11ScanRequest(const WDI_SCAN_PARAMETERS* parameters, PUCHAR buffer, ULONG size);
// The scan-complete indication that ends the port's OS scan task.
NTSTATUS WdiScanComplete(PMP_ADAPTER adapter, PMP_PORT port, NTSTATUS status);
// Empties the BSS list but for the access point the port is associated with.
VOID NdisWdiFlushBssList(PMP_ADAPTER adapter, PMP_PORT port);
