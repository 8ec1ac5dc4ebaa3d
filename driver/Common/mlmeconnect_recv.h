// The block-ack control intake of the connection code that the receive processing feeds.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// A received Block Ack Request (sender WLAN index, frame length, 802.11 header).
VOID CntlEnqueueForRecv(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, ULONG length, const UCHAR* header);
