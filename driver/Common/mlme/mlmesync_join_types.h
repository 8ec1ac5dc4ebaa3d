// The join's record: the BSS being joined and then connected.
#pragma once

#include "Common/mlme/mlmesync_bss_types.h"
#include "kshim/ke.h"

#define JOIN_MCS_SET_LEN 16
#define JOIN_EXT_CAP_LEN 16

typedef struct _JOIN_TARGET_INFO {
    UCHAR HtActive;
    UCHAR PreStdHt;
    UCHAR McsSet[JOIN_MCS_SET_LEN];
    UCHAR BssType;
    UCHAR Ssid[32];
    UCHAR SsidLen;
    UCHAR Bssid[6];
    UCHAR Channel;
    UCHAR CentralChannel;
    ULONG Band;
    USHORT CapabilityInfo;
    USHORT BeaconPeriod;
    USHORT CfpMaxDuration;
    USHORT CfpPeriod;
    USHORT AtimWindow;
    UCHAR SupportedRates[BSS_RATES_MAX];
    UCHAR ExtendedRates[BSS_RATES_MAX];
    UCHAR SupportedRatesLen;
    UCHAR ExtendedRatesLen;
    UCHAR HtCapability[BSS_HT_CAP_LEN];
    UCHAR HtCapabilityLen;
    UCHAR HtOperation[BSS_HT_OP_LEN];   // octet 1 bits 0..1: secondary channel offset
    UCHAR ExtCapabilities[JOIN_EXT_CAP_LEN];
    UCHAR SecondaryChannelOffset;       // 0xFF none
    UCHAR VhtPresent;
    UCHAR VhtCapability[BSS_VHT_CAP_LEN];
    UCHAR VhtOperation[BSS_VHT_OP_LEN]; // width, centre segment 0, centre segment 1
    UCHAR HePresent;
    UCHAR HeOperation[6];
    UCHAR HeCapability[21];
    UCHAR He6gInUse;
    USHORT He6gOpWord;                  // the 6 GHz operation fields: width and centres
    UCHAR He6gOpByte;
    ULONG He6gOpValue;
    UCHAR EhtPresent;
    UCHAR EhtOperation[8];
    UCHAR EhtCapability[24];
    UCHAR EhtChannel[3];                // EHT width, centre 0, centre 1
    UCHAR QosCapability[5];
    EDCA_PARM EdcaParameters;
    QBSS_LOAD_PARM QbssLoad;
    ULONG MakerCapability;
} JOIN_TARGET_INFO, *PJOIN_TARGET_INFO;
