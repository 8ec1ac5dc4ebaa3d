// Probe requests: the frame the join sends itself, and the element writers the firmware's scan probe
// requests also carry (Extended Capabilities, the MBO/OCE element and its non-preferred channel
// report); the test-plan rewrite of the WPS element in the OS's probe-request elements.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Frame kinds of the MBO/OCE element.
#define MBO_FRAME_ASSOC_REQ 0
#define MBO_FRAME_REASSOC_REQ 2
#define MBO_FRAME_PROBE_REQ 4

#define EXT_CAP_IE_LENGTH 12   // id, length and 10 capability bytes
#define MBO_OCE_IE_LENGTH 9
#define PROBE_VENDOR_IE_LENGTH 19

// Builds the port's probe request into an MLME buffer (2048 bytes) and stores its length.
VOID MgntPktConstructProbeReqFrame(PMP_PORT port, PUCHAR buffer, PULONG length);
// {127, 10, the port's first 10 extended capability bytes}: bits 19 and 46 forced on in the port;
// bit 0 cleared on a VHT 5 GHz port, set on 2.4 GHz with the port's 20/40 coexistence feature.
VOID MakeExtCapIE(PMP_PORT port, PUCHAR out, PULONG length);
// The MBO/OCE element of a station port (length 0 otherwise); association and reassociation requests
// add the non-preferred channel report.
VOID MboMakeMBOOceIE(PMP_ADAPTER adapter, PMP_PORT port, UCHAR frameKind, PUCHAR out, PULONG length);
// The non-preferred channel report of a station port: form 0 attributes {2, 4, class, channel,
// preference, reason}, form 1 elements {0xDD, 8, 50:6F:9A, 2, class, channel, preference, reason}
// (the empty element {0xDD, 4, 50:6F:9A, 2} for an empty list).
VOID MboMakeNonPrefChnlReport(PMP_ADAPTER adapter, PMP_PORT port, UCHAR form, const UCHAR* list, PULONG length,
                              PUCHAR out);
// Rewrites fixed fields of the first WPS element of the OS's probe-request elements, never writing
// outside `length` bytes.
VOID MlmeProbeRspSanityWpsQtTest(PUCHAR buffer, ULONG length);
// The chip carries the HE and 6 GHz elements in its probe requests (second and third generation
// except device id 0x3504).
BOOLEAN MlmeProbeChipHas6GhzElements(PMP_ADAPTER adapter);
