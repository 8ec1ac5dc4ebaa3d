// Services of neighbouring subsystems that the firmware command builders call before their owners
// build them, each listed under its owner. Their bodies trace and return STATUS_NOT_SUPPORTED (or
// the neutral value the caller needs) until the owner's module takes them over.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// ---- Common/p2p (Wi-Fi Direct) -------------------------------------------------------------------------
// Unless the listening port's channel is granted, waits up to 500 ms for the grant, then 40 ms.
void WaitForChannelGrant(PMP_ADAPTER adapter, PMP_PORT listenPort);

// ---- regulatory domain ----------------------------------------------------------------------------------
// One sub-band of the country's channel plan.
typedef struct _CHANNEL_PLAN_SUBBAND {
    UCHAR OperatingClass;
    UCHAR Band;            // 1 2.4 GHz, 2 5 GHz, 3 6 GHz
    UCHAR ChannelSpacing;
    UCHAR FirstChannel;
    UCHAR ChannelCount;
    USHORT Flags;
} CHANNEL_PLAN_SUBBAND;
#define CHANNEL_PLAN_SUBBAND_COUNT 12
typedef struct _DOMAIN_INFO {
    USHORT CountryCode;    // first letter in the low byte
    CHANNEL_PLAN_SUBBAND Subbands[CHANNEL_PLAN_SUBBAND_COUNT];
} DOMAIN_INFO, *PDOMAIN_INFO;
// Rebuilds the adapter's domain (channel plan and channel list) for the current country; none when
// it cannot.
PDOMAIN_INFO DomainGetDomainInfo(PMP_ADAPTER adapter);

// ---- Common/ap (soft access point) ---------------------------------------------------------------------
// Resets the record of this WLAN index (0-20) to its empty values when it is in use.
void MacTabResetWlanIdxRecord(PMP_ADAPTER adapter, UCHAR wlanIndex);
// The firmware authentication mode of an authentication algorithm (OS numbering): 2 -> 1, 3 to 7
// unchanged, anything else 0.
UCHAR AuthModeToFwAuthMode(ULONG authAlgorithm);
