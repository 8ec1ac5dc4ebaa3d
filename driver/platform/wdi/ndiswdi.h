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

// ---- the disconnect and reset tasks' services ------------------------------------------------------------
// A group owner's disassociation of one peer (or every peer for the broadcast address) through the
// access-point code, as a 12-byte native request {type 0x80, revision 1, size 12, peer, reason}; other
// ports 0. 0xC0000001 without the request's port.
NTSTATUS NdisWdiSetOidDot11DisassociatePeerRequest(PMP_ADAPTER adapter, WIFIREQUEST request, const UCHAR* peer,
                                                   USHORT reason);
// The station side of a dot11 reset: the connection settings back to "any network", the port's
// elements and connect flags released, the port reset. Always 0.
NTSTATUS NdisWdiMPInfoResetRequest(PMP_ADAPTER adapter, PMP_PORT port, UCHAR setDefaultMib);
// The access-point side of a dot11 reset. Always 0.
NTSTATUS NdisWdiApInfoResetRequest(PMP_ADAPTER adapter, PMP_PORT port, ULONG portNumber);

// ---- radio state, operation mode, power management and dialog tokens ---------------------------------------
// The set-radio-state task's checks: a running group owner refuses (0xC00000BB, skip); with the
// hardware radio off nothing can change (0, skip).
NTSTATUS NdisWdiTaskSetRadioStateSanity(PMP_ADAPTER adapter, PMP_PORT port, WIFIREQUEST request, PBOOLEAN skip,
                                        UCHAR radioOn);
// Turns the radio on or off for the OS: the radio bytes, the MLME radio request, the periodic timers,
// the end of a running scan, the radio-state indication and the registry value "Radio". Always 0.
NTSTATUS NdisWdiTaskSetRadioState(PMP_ADAPTER adapter, PMP_PORT port, WIFIREQUEST request, UCHAR radioOn);
// Takes the operation mode of a WDI value into the port (type, subtype, role, firmware BSS). Always 0.
NTSTATUS NdisWdiSetCurrentOperationMode(PMP_ADAPTER adapter, PMP_PORT port, ULONG wdiOperationMode);
// The OS's power-save mode for a station (0 to 24): 0xC0010017 on a soft access point, 0x80000005 with
// 4 bytes needed for a shorter buffer, 0xC0010015 above 24.
NTSTATUS NdisWdiSetOidDot11PowerMgmtRequest(PMP_ADAPTER adapter, PMP_PORT port, const ULONG* powerMode, ULONG length,
                                            PULONG bytesNeeded);
// The port's action-frame dialog token advanced (255 wraps to 1) and returned; 1 without a port.
UCHAR NdisWdiGenerateActionDialogToken(PMP_PORT port);
// The port's current action-frame dialog token; 1 without a port.
UCHAR NdisWdiGetCurrentActionDialogToken(PMP_PORT port);

// ---- the OS's action frames ---------------------------------------------------------------------------------
// Builds the frame (header to the destination, the OS's body) and hands it to the port's action-frame
// machine, at once on the current channel or on the connected station port, otherwise after the
// firmware grants the requested channel (the frame waits on the port). The request sender keeps a
// dwell time above 80 ms as 80 ms less. 0xC000009A while the previous frame is on its way or without a
// frame buffer; 0xC0000001 for a peer the connected station does not know.
NTSTATUS NdisWdiSendRequestActionFrame(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SEND_ACTION_FRAME_PARAMETERS* p);
NTSTATUS NdisWdiSendResponseActionFrame(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SEND_ACTION_FRAME_PARAMETERS* p);
// Traces the radio-measurement and BSS-transition frames the OS sends (request 1, response 0); a BSS
// transition response ends the port's transition wait and, when it refuses the held target, drops it.
void NdisWdiTraceActionFrameRawData(PMP_ADAPTER adapter, PMP_PORT port, UCHAR request, const UCHAR* frame,
                                    ULONG length);
