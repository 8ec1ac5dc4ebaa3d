// Beacon and probe-response parsing: every beacon and probe response that reaches the sync machine
// is walked once into a BEACON_PARSE_RESULT and rejected when it breaks a rule.
#pragma once

#include "Common/he/he_rlm.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync_bss.h"

#define BCN_PARSE_IE_LIMIT 1024  // the element copy and the WPS buffers
#define BCN_EXT_CAP_LEN 16
#define OBSS_SCAN_PARAM_LEN 14

typedef struct _BEACON_PARSE_RESULT {
    UCHAR TransmitterAddress[6];
    UCHAR Bssid[6];
    UCHAR Ssid[BSS_SSID_MAX];
    UCHAR SsidLen;
    UCHAR BssType;
    USHORT BeaconPeriod;
    UCHAR Channel;              // the caller sets it before the call
    ULONG Band;
    UCHAR ChannelSwitch[3];
    UCHAR ExtChannelSwitch[4];
    UCHAR WideBandwidthChannelSwitch[3];
    ULONG64 FrameTimestamp;
    CF_PARM CfParams;
    USHORT AtimWindow;
    USHORT CapabilityInfo;
    UCHAR ErpInfo;
    UCHAR DtimCount;
    UCHAR DtimPeriod;
    UCHAR MulticastBuffered;
    UCHAR UnicastBuffered;
    UCHAR SupportedRates[BSS_RATES_MAX];
    UCHAR SupportedRatesLen;
    UCHAR ExtendedRates[BSS_RATES_MAX];
    UCHAR ExtendedRatesLen;
    EDCA_PARM EdcaParameters;
    QBSS_LOAD_PARM QbssLoad;
    QOS_CAPABILITY_PARM QosCapability;
    ULONG MakerCapability;
    UCHAR HtCapabilityLen;
    UCHAR PreStdHtCapabilityLen;
    UCHAR HtCapability[BSS_HT_CAP_LEN];
    UCHAR VhtPresent;
    UCHAR VhtCapability[BSS_VHT_CAP_LEN];
    UCHAR VhtOperation[BSS_VHT_OP_LEN];
    UCHAR HtOperationLen;
    UCHAR HtOperation[BSS_HT_OP_LEN];
    UCHAR HePresent;
    HE_OPERATION_INFO HeOperation;
    HE_CAPABILITY_INFO HeCapability;
    UCHAR MuEdcaUpdated;
    UCHAR SpatialReuseUpdated;
    UCHAR He6gOperation[HE_6G_OP_INFO_LEN];
    UCHAR EhtPresent;
    EHT_OPERATION_INFO EhtOperation;
    EHT_CAPABILITY_INFO EhtCapability;
    UCHAR ExtCapabilities[BCN_EXT_CAP_LEN];
    UCHAR SecondaryChannelOffset;
    USHORT CountryString;
    USHORT BeaconWpsIeLen;
    UCHAR BeaconWpsIe[BCN_PARSE_IE_LIMIT];
    USHORT ProbeRspWpsIeLen;
    UCHAR ProbeRspWpsIe[BCN_PARSE_IE_LIMIT];
    UCHAR LocalMaxTxPower;
    UCHAR PowerConstraint;
    UCHAR OpModeNotifPresent;
    UCHAR OpModeNotif;
    USHORT VarIeLen;
    PUCHAR VarIes;              // optional: BCN_PARSE_IE_LIMIT bytes the caller provides
    MOBILITY_DOMAIN_PARM MobilityDomain;
    UCHAR MboOcePresent;
    UCHAR OweTransBssid[6];
    UCHAR OweTransSsid[BSS_SSID_MAX];
    UCHAR OweTransSsidLen;
} BEACON_PARSE_RESULT, *PBEACON_PARSE_RESULT;

// Parses the frame in elem->Msg (frameLen bytes, at most the element's body), with the element's band
// and channel of reception; TRUE when the frame is acceptable and the record complete.
BOOLEAN MlmeSyncPeerBeaconAndProbeRspSanity(PMP_ADAPTER adapter, PMP_PORT port, const MLME_QUEUE_ELEM* elem,
                                            ULONG frameLen, PBEACON_PARSE_RESULT result);
// TRUE when an Overlapping BSS Scan Parameters element of length 14 was found; also the current
// operating class of a Supported Operating Classes element.
BOOLEAN MlmeSyncPeerBeaconAndProbeRspSanity2(PMP_ADAPTER adapter, const UCHAR* frame, ULONG frameLen,
                                             PUCHAR obssScanParams, PUCHAR operatingClass);
// The values of a parse record as BssTableSetEntry stores them: the frame of the element, the
// chain-averaged signal `rssi`; the signal is taken as current when the frame came on its own channel.
BSS_ENTRY_INPUT MlmeSyncBeaconEntryInput(const BEACON_PARSE_RESULT& r, const MLME_QUEUE_ELEM* elem, CHAR rssi);
// Marks the members of a Multiple-BSSID set (element header included) in the table.
void scanParsingMBSSIDSubelement(const UCHAR* element, PBSS_TABLE table, const UCHAR* bssid, UCHAR channel);
// The TIM test of a TIM element (header included) for association id aid; always TRUE.
BOOLEAN TimBitmapTest(const UCHAR* element, USHORT aid, PUCHAR timLen, PUCHAR multicastBuffered, PUCHAR dtimCount,
                      PUCHAR dtimPeriod, PUCHAR unicastBuffered);
