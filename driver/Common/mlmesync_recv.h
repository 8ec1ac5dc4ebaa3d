// Station-table and signal services of the MLME sync code that the receive dispatch calls.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// The port owning the station entry of this WLAN index (1 to 19), searched over the active ports;
// null when none does.
PMP_PORT MlmeSyncGetPortByWlanIdx(PMP_ADAPTER adapter, UCHAR wlanIndex);
// Per-chain RSSI samples of the port: each sample within -99 to -20 dBm updates its chain's running
// sum (sum += sample - average) and average (sum / 8); others are ignored.
VOID UpdateRssiSampleAvg(PMP_PORT port, CHAR rssi0, CHAR rssi1, CHAR rssi2);
