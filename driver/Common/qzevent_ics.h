// The ICS log intake of the firmware event layer that the receive dispatch feeds.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// Queues an ICS log record of `length` bytes at `buffer` for the ICS thread; nonzero: not taken.
NTSTATUS ProcessIcsLog(PMP_ADAPTER adapter, const UCHAR* buffer, USHORT length);
