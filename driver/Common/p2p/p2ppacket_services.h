// Services of station connection and security (Common/mlme) that the Wi-Fi Direct frame builders call
// before their owner module builds them. The owner takes the declaration and the body over.
#pragma once

#include "Common/p2p/p2p.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Fills a zeroed WPS device-information record with the port's values and the WPS defaults.
void WscSetDevInfo(PMP_ADAPTER adapter, PMP_PORT port, PWSC_DEVICE_INFO record);
