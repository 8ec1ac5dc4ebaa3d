// HE of a port and of its peers: the port's own HE capabilities and the HE Capabilities, HE Operation
// and HE 6 GHz Band Capabilities elements it writes (he_cap.cpp); the recorders of a peer's HE
// elements (capabilities, operation, MU EDCA and spatial-reuse parameter sets), the HE check of the
// station link with its 6 GHz channel, the station entry's HE copy and the firmware's spatial-reuse
// switch (he_rlm.cpp). HeInitCtrl is declared in Common/rlm.h.
#pragma once

#include "Common/cnm.h"
#include "Common/he/eht_rlm.h"
#include "Common/rlm_power.h"
#include "Common/rlm_types.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _MAC_TABLE_ENTRY MAC_TABLE_ENTRY, *PMAC_TABLE_ENTRY;

// Longest elements the writers produce, header included.
#define HE_CAP_ELEMENT_MAX 48   // 2 + 22 + two map pairs + 16 bytes of PPE thresholds
#define HE_OP_ELEMENT_LEN 9
#define HE_6G_CAP_ELEMENT_LEN 5
#define HE_PPE_THRESHOLD_MAX 16

// Bit positions in the HE MAC (6 octets) and PHY (11 octets) capability fields that the element
// writers, the peer recorders and the TWT requester all read.
#define HE_MAC_TWT_RESPONDER 2
#define HE_MAC_AMPDU_EXP_EXT 27      // 2 bits
#define HE_MAC_FLEXIBLE_TWT 30
#define HE_PHY_WIDTH_160 3
#define HE_PHY_WIDTH_8080 4
#define HE_PHY_MAX_NC 59             // 3 bits

// The 6 GHz band is usable: a chip that has it, the 5 GHz band not reported disabled, bit 0 of
// "Config_6G", and the chip's capability report says 6 GHz. The one test of the channel list, the
// firmware domain and the HE capabilities.
BOOLEAN heRlmIs6GUsable(PMP_ADAPTER adapter);

// The widest bandwidth the HE capabilities deal with on a band: the port's limit, 320 MHz counted as 160.
inline UCHAR heRlmCapBandwidth(PMP_ADAPTER adapter, PMP_PORT port, ULONG band)
{
    const UCHAR w = cnmGetMaxBwByBand(adapter, port, band);
    return w == MAX_BW_320 ? MAX_BW_160 : w;
}

// ---- the port's own capabilities and elements ---------------------------------------------------------
// Builds the port's own HE record (zeroed first when clear is TRUE).
void HeInitCapIE(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN clear);
// Rx and Tx maps (four bytes): MCS 0-11 for every stream below the receive-path count, none above.
void heInitMcsMapByNss(PMP_ADAPTER adapter, PUCHAR maps);
// Writes the HE Capabilities element (id 255, extension 35) into buffer (HE_CAP_ELEMENT_MAX bytes of
// room) and its length with the header. Also sets the port's A-MPDU exponent extension and its
// above-80 MHz STBC and beamformee bits for the band, as the element announces them.
void heRlmGenerateHeCap(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR buffer, PUSHORT length);
// The access point's and group owner's HE Operation element (9 bytes).
void heRlmGenerateHeOp(PUCHAR buffer, PUSHORT length);
// The HE 6 GHz Band Capabilities element (5 bytes).
void heRlmGenerateHe6GCap(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR buffer, PUSHORT length);
// The PPE Thresholds field (HE_PPE_THRESHOLD_MAX bytes of room, zeroed first); its length.
ULONG heRlmFillPPEThreshold(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR buffer);

// ---- a peer's elements ----------------------------------------------------------------------------------
// Each recorder gets the whole element (header included: id 255, length, extension id first in the
// body) and reads only what the element's length holds.
//
// Copies a peer's MAC and PHY capabilities into heCap and records its MCS maps (into heCap and the
// negotiated record); the offset past the maps, 0 when the element is too short to record.
ULONG heRlmRecHeCapInfo(PMP_ADAPTER adapter, PMP_PORT port, PHE_CAPABILITY_INFO heCap, const UCHAR* element);
// The maps of a peer's HE Capabilities element (from its MAC byte 0 on, bodyLength bytes); the offset
// past them counted from that byte, 0 when a map pair the element announces does not fit.
ULONG heRlmRecHeMcsMap(PMP_ADAPTER adapter, PMP_PORT port, PHE_CAPABILITY_INFO heCap, const UCHAR* body,
                       ULONG bodyLength);
// Records the HE Operation into heOp and, when he6gOp is given and the element carries it without VHT
// Operation Information, its 6 GHz Operation Information (HE_6G_OP_INFO_LEN bytes).
void heRlmRecHeOperation(PMP_ADAPTER adapter, PHE_OPERATION_INFO heOp, PUCHAR he6gOp, const UCHAR* element);
// Records the Spatial Reuse Parameter Set into the port; TRUE when a stored value changed.
BOOLEAN heRlmRecSRParams(PMP_PORT port, const UCHAR* element);
// Records the MU EDCA Parameter Set (length 14 only) into the port; TRUE when it was stored (a set equal
// to the stored one is stored only when forced).
BOOLEAN mqmUpdateMUEdcaParams(PMP_PORT port, const UCHAR* element, UCHAR force);



// ---- the station link --------------------------------------------------------------------------------
// The HE check at join (join TRUE) and after association: the negotiated HE capabilities, maps,
// operation and 6 GHz channel. FALSE only for a WLAN index of 20 or more or a port whose HE is off.
BOOLEAN QZCheckHe(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const HE_CAPABILITY_INFO* peerCap,
                  const HE_OPERATION_INFO* peerOp, BOOLEAN join, const UCHAR* peer6gOp, const USHORT* peer6gCap);
// Copies the negotiated HE values into the access point's station entry.
void HeUpdateMacTable(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry);
// The 6 GHz centre channel of a primary for a channel-width code (width 0: the given centre); 0 when none.
void he6GCentralChannelDecision(UCHAR primary, UCHAR channelWidth, UCHAR centre, PUCHAR out);
// The channel-width code of a 6 GHz Operation Information control width, limited by the port's
// widest 6 GHz bandwidth.
UCHAR heRlmRec6GChannelWidth(PMP_ADAPTER adapter, PMP_PORT port, UCHAR controlWidth);
// Normalises the 6 GHz centre segments for the width code (primary channel given).
void heRlmModifyHE6GBwPara(UCHAR primary, UCHAR channelWidth, PUCHAR seg0, PUCHAR seg1);

// The firmware's spatial-reuse switch (extended command 0xA8, set, 20 bytes: 1 at 0, the value at 8).
NTSTATUS rlmSetSrControl(PMP_PORT port, UCHAR value);
