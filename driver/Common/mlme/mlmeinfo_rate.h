// Transmit rate selection: the HT capability the station advertises after a join or an association,
// and the peer's rates the adapter supports.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// HT intersection with a peer (element bodies may be null) and the HT capability to advertise.
BOOLEAN KOVACheckHt(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const UCHAR* htCap, const UCHAR* htOp,
                    UCHAR peerVht, const UCHAR* vhtCap);
// Removes from a peer's rate list every rate the adapter does not support in its current mode.
VOID KOVAFilterSupportedRates(PMP_ADAPTER adapter, PUCHAR rates, PUCHAR count);
