// Transmit rate selection: after a join or a link up the port decides its legacy rates, the HT, VHT or
// HE setting of its data frames, the rate of its management frames and the HT capability it
// advertises, as PHY-configuration words (read and written only through the PHY_CFG accessors) in the
// port and in its station entries.
#pragma once

#include "kshim/nt_types.h"
#include "Common/mlme/mlmeinfo_rate_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Legacy rates, management rate and the own entries' words; link up passes linkUp 1.
VOID MlmeUpdateTxRates(PMP_ADAPTER adapter, PMP_PORT port, UCHAR linkUp);
// HT, VHT or HE data word of the port and of the peer's entry (255: none).
VOID MlmeUpdateHtVhtTxRates(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex);
// HT intersection with a peer (element bodies may be null) and the HT capability to advertise.
BOOLEAN KOVACheckHt(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const UCHAR* htCap, const UCHAR* htOp,
                    UCHAR peerVht, const UCHAR* vhtCap);
// Management rate of the first port from the connect attempt's rate lists.
VOID KOVAUpdateMlmeRate(PMP_ADAPTER adapter, UCHAR channel);
// Whether both 20 MHz channels of the 40 MHz pair (centre, primary) are in the adapter's channel list
// (outside 6 GHz): the other channel is centre - 2 (0 at or below 2) below the primary, centre + 2 above.
BOOLEAN KOVACheck40MhzChannels(PMP_ADAPTER adapter, UCHAR centre, UCHAR primary);
// The legacy index of a rate code (the basic bit masked off); -1 when the code is not a legacy rate.
LONG RateCodeToIndex(UCHAR code);
