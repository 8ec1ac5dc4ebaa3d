// EHT of a port and of its access point: the station port's own EHT capabilities and operation
// record, the EHT Capabilities element of association requests, the recorders of an access point's
// EHT elements, the EHT check of the station link with its channel up to 320 MHz, and the station
// entry's EHT copy. EhtInitCtrl is declared in Common/rlm.h.
#pragma once

#include "Common/rlm_types.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

#define EHT_CAP_ELEMENT_MAX 23  // id, length, extension id, MAC 2, PHY 9, maps of 80, 160 and 320 MHz

// Clears the port's EHT records (clear TRUE) and, for port 0 of a third-generation chip with bit 0 of
// "Config_11BE", enables EHT and fills its capabilities, operation record, flags and Block Ack sizes.
void EhtInitCapIE(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN clear);
// The own EHT capabilities and maps; nothing while EHT is off.
void ehtRlmFillCapIE(PMP_ADAPTER adapter, PMP_PORT port);
// The own EHT operation record.
void ehtRlmFillOpIE(PMP_ADAPTER adapter, PMP_PORT port);
// One three-byte map: every byte = receive paths x 0x11.
void ehtRlmFillMcsNssByBw(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR map);
// Refills the own capabilities, then writes the EHT Capabilities element (EHT_CAP_ELEMENT_MAX bytes of
// room) and its length with the header; length 0 and nothing written while the port's EHT is off.
void ehtRlmReqGenerateCapIE(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR buffer, PUSHORT length);
// The length ehtRlmReqGenerateCapIE writes (header included) for the port's band.
ULONG ehtRlmCalculateCapIELen(PMP_ADAPTER adapter, PMP_PORT port);

// Records an access point's EHT Capabilities element (whole element, header included) into ehtCap,
// choosing its maps from the peer's HE capabilities (heCap, or none). An element with fewer than 12
// bytes of body is ignored; maps are copied only as far as the element holds them.
void ehtRlmRecCapInfo(PMP_ADAPTER adapter, PMP_PORT port, PEHT_CAPABILITY_INFO ehtCap,
                      const HE_CAPABILITY_INFO* heCap, const UCHAR* element);
// The maps of an EHT Capabilities element for a bandwidth code, bounded by the element's length.
void ehtRlmRecMcsMap(PEHT_CAPABILITY_INFO ehtCap, UCHAR bandwidth, const UCHAR* element);
// Records an EHT Operation element (whole element) into ehtOp; a body shorter than 6 bytes (other
// than 5) is refused.
void ehtRlmRecOperation(PMP_ADAPTER adapter, PMP_PORT port, PEHT_OPERATION_INFO ehtOp, const UCHAR* element);

// The EHT check at join (join TRUE) and after association. FALSE for a WLAN index of 20 or more or a
// port whose EHT is off.
BOOLEAN QZCheckEht(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const EHT_CAPABILITY_INFO* peerCap,
                   const EHT_OPERATION_INFO* peerOp, BOOLEAN join);
// Copies the negotiated EHT operation and capabilities into the access point's station entry.
void EhtUpdateMacTable(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry);

// Bandwidth code to EHT operation width: 0..3 as they are, 5 -> 4, other -> 0.
UCHAR ehtRlmGetEhtOpBwByBw(UCHAR bandwidth);
// EHT operation width to channel-width code: 0, 1 -> 0; 2 -> 1; 3 -> 2; 4 -> 4; other -> 1.
UCHAR ehtRlmGetVhtOpBwByEhtOpBw(UCHAR ehtWidth);
// The centre channel of the link for a band, primary channel and channel-width code (320 MHz on
// 6 GHz by the access point's segment 1); 0 when none.
UCHAR EhtCentralChannelDecision(PMP_ADAPTER adapter, ULONG band, UCHAR primary, UCHAR channelWidth, UCHAR seg0,
                                UCHAR seg1);
