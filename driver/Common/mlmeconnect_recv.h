// The block-ack control intake of the connection code that the receive processing feeds.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// A received Block Ack Request (sender WLAN index or 255, frame length, the frame): held frames up to
// its starting sequence number minus one go to the OS and the agreement's window moves there. FALSE for
// a frame it does not take (halting adapter, a length other than 20, unknown peer, TID of 8 or more);
// the caller frees the frame in every case.
BOOLEAN CntlEnqueueForRecv(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, ULONG length, const UCHAR* header);
