// VHT capabilities and operation of a port, the VHT check of the station link, and the channel-width
// routines the HE and EHT code share: the 5 GHz primary/centre channel table, the rewrite of a
// 160 MHz channel signalled the newer way, the common basic MCS map and the VHT rate-table index.
// (The per-band bandwidth limit and the two bandwidth conversions are in Common/cnm.h; VhtInitCtrl
// is declared in Common/rlm.h.)
#pragma once

#include "Common/rlm_types.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Builds the port's own and advertised VHT Capabilities bodies (zeroed first when clear is TRUE).
void VhtInitCapIE(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN clear);
// Builds the port's own and advertised VHT Operation bodies (zeroed first when clear is TRUE).
void VhtInitOpIE(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN clear);
// Clears the port's five-byte extended BSS load record.
void VhtInitExtBssLoadIE(PMP_ADAPTER adapter, PMP_PORT port);
// Traces the port's MIMO control settings; nothing else.
void VhtInittMimoCtrlField(PMP_ADAPTER adapter, PMP_PORT port);

// The VHT check of the station link, at join and after a successful association, with the access
// point's VHT bodies (either may be missing): writes the negotiated VHT capability and operation and
// the link channel. FALSE (nothing changed) for a WLAN index of 20 or more, a missing port or a port
// whose VHT is off.
BOOLEAN KOVACheckVht(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const VHT_CAP_IE* peerCap,
                     const VHT_OP_IE* peerOp);

// ---- the 5 GHz channel table ---------------------------------------------------------------------------
typedef struct _VHT_CHANNEL_ROW {
    UCHAR Primary;
    UCHAR Centre;
    UCHAR Bandwidth;  // bandwidth code 0-3
} VHT_CHANNEL_ROW;
#define VHT_5G_CHANNEL_ROWS 105
extern const VHT_CHANNEL_ROW Vht5GChannelTable[VHT_5G_CHANNEL_ROWS];

// Writes the bandwidth code of the first row with this primary and centre; writes nothing for a
// primary below 15 or when no row matches.
void Vht5GBwDecisionByChannel(PMP_ADAPTER adapter, UCHAR primary, UCHAR centre, PUCHAR bandwidth);
// Writes 0, then the centre of the first row with this primary and bandwidth code.
void Vht5GCentralChannelDecision(PMP_ADAPTER adapter, UCHAR primary, UCHAR bandwidth, PUCHAR centre);
// A 160 MHz channel given as two 80 MHz centres 8 apart (the second from centre 2, or from the HT
// operation's segment 2 when centre 2 is 0) becomes one centre with width code 2.
void VhtUpdate160CentralChannel(PUCHAR centre1, PUCHAR centre2, UCHAR htSegment2, PUCHAR channelWidth);
// Per stream: 3 when either map has 3 there, else the lower of the two.
void VhtGetCommonMcsMap(PUSHORT out, USHORT mapA, USHORT mapB);
// MCS + 10 x streams + 40 x bandwidth + 160 x short GI; 0 when that is 320 or more.
ULONG GetVhtRateTableIdx(PMP_ADAPTER adapter, ULONG bandwidth, ULONG streams, ULONG shortGi, ULONG mcs);
