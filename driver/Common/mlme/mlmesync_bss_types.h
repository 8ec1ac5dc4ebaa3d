// The BSS table's records: BSS_ENTRY and the table of 256 of them, the 6 GHz standard-power rules of
// the current country and the per-channel AP count of the last scan.
#pragma once

#include <cstddef>

#include "kshim/nt_types.h"

#define MAX_LEN_OF_BSS_TABLE 256
#define BSS_NOT_FOUND (-1)
#define BSS_SSID_MAX 32
#define BSS_RATES_MAX 12
#define BSS_HT_CAP_LEN 26
#define BSS_HT_OP_LEN 22
#define BSS_VHT_CAP_LEN 12
#define BSS_VHT_OP_LEN 5
#define BSS_IE_BUFFER_SIZE 1024  // element copies, WPS elements and frame copies

// BSS types.
#define BSS_INFRA 1
#define BSS_ADHOC 2

// Authentication algorithms (the OS's numbering).
#define BSS_AUTH_OPEN 1
#define BSS_AUTH_SHARED 2
#define BSS_AUTH_WPA 3
#define BSS_AUTH_WPA_PSK 4
#define BSS_AUTH_WPA_NONE 5
#define BSS_AUTH_RSNA 6
#define BSS_AUTH_RSNA_PSK 7
#define BSS_AUTH_WPA3_192 8
#define BSS_AUTH_SAE 9
#define BSS_AUTH_OWE 10

// Ciphers (the OS's numbering).
#define BSS_CIPHER_NONE 0
#define BSS_CIPHER_WEP40 1
#define BSS_CIPHER_TKIP 2
#define BSS_CIPHER_CCMP 4
#define BSS_CIPHER_WEP104 5
#define BSS_CIPHER_GCMP256 9
#define BSS_CIPHER_WEP 0x101

// The EDCA parameter record of a WMM parameter or information element; each array is indexed by
// access category.
typedef struct _EDCA_PARM {
    UCHAR Valid;
    UCHAR Reserved[3];
    UCHAR UapsdCapable;
    UCHAR ParamSetCount;
    UCHAR Aifsn[4];
    UCHAR CwMin[4];
    UCHAR CwMax[4];
    USHORT TxopLimit[4];
    UCHAR Acm[4];
} EDCA_PARM, *PEDCA_PARM;
static_assert(sizeof(EDCA_PARM) == 30, "the EDCA record is 30 bytes");

#pragma pack(push, 1)
typedef struct _QOS_CAPABILITY_PARM {
    UCHAR Valid;
    UCHAR Bytes[4];
} QOS_CAPABILITY_PARM, *PQOS_CAPABILITY_PARM;
static_assert(sizeof(QOS_CAPABILITY_PARM) == 5, "the QoS capability record is 5 bytes");

typedef struct _QBSS_LOAD_PARM {
    UCHAR Valid;
    UCHAR Reserved0;
    USHORT StaCount;
    UCHAR ChannelUtilization;
    UCHAR Reserved1;
} QBSS_LOAD_PARM, *PQBSS_LOAD_PARM;
static_assert(sizeof(QBSS_LOAD_PARM) == 6, "the BSS load record is 6 bytes");

typedef struct _MOBILITY_DOMAIN_PARM {
    UCHAR Present;
    USHORT MdId;  // as it lies in the frame
    UCHAR FtCapPolicy;
} MOBILITY_DOMAIN_PARM, *PMOBILITY_DOMAIN_PARM;
static_assert(sizeof(MOBILITY_DOMAIN_PARM) == 4, "the mobility domain record is 4 bytes");

// CF Parameter Set of a frame.
typedef struct _CF_PARM {
    UCHAR Present;
    UCHAR CfpCount;
    UCHAR CfpPeriod;
    USHORT CfpMaxDuration;
    USHORT CfpDurRemaining;
} CF_PARM, *PCF_PARM;
#pragma pack(pop)

// A cipher summary of a WPA or RSN element.
typedef struct _BSS_CIPHER_INFO {
    ULONG PairwiseCipher;
    ULONG PairwiseCipherAux;
    ULONG GroupCipher;
    USHORT RsnCapability;
    UCHAR Sha256Akm;
    UCHAR FtAkm;
    UCHAR MixedCipher;
    UCHAR PmfRequired;
    UCHAR RsnxeOctet;
    UCHAR Reserved;
} BSS_CIPHER_INFO, *PBSS_CIPHER_INFO;

typedef struct _BSS_ENTRY {
    UCHAR Bssid[6];
    LONG Band;  // 1 2.4 GHz, 2 5 GHz, 3 6 GHz
    UCHAR Channel;
    UCHAR CentralChannel;
    UCHAR BssType;
    USHORT AtimWindow;
    USHORT BeaconPeriod;
    ULONG64 FrameTimestamp;
    ULONG64 LastUpdateTime;
    UCHAR Valid;
    UCHAR SupportedRates[BSS_RATES_MAX];
    UCHAR SupportedRatesLen;
    UCHAR ExtendedRates[BSS_RATES_MAX];
    UCHAR ExtendedRatesLen;
    USHORT RateBitmap;
    USHORT BasicRateBitmap;
    UCHAR OtherBasicRate;
    UCHAR HtCapability[BSS_HT_CAP_LEN];
    UCHAR HtCapabilityLen;
    UCHAR HtOperation[BSS_HT_OP_LEN];
    UCHAR HtOperationLen;
    UCHAR HePresent;
    UCHAR He6gRegulatoryInfo;
    UCHAR SecondaryChannelOffset;  // 0xFF when none
    USHORT CountryString;          // first letter in the low byte; 0 without a Country element
    CHAR Rssi;
    USHORT Score;
    CHAR Rssi0;
    CHAR Rssi1;
    UCHAR Privacy;
    UCHAR HiddenBeacon;
    USHORT DtimPeriod;
    USHORT CapabilityInfo;
    USHORT CfpCount;
    USHORT CfpPeriod;
    USHORT CfpMaxDuration;
    USHORT CfpDurRemaining;
    UCHAR SsidLen;
    UCHAR Ssid[BSS_SSID_MAX];
    ULONG64 LastBeaconTime;
    UCHAR VendorOui904cSeen;
    BSS_CIPHER_INFO WpaCipher;
    BSS_CIPHER_INFO RsnCipher;
    ULONG WepGroupCipher;
    ULONG AuthModeAux;
    ULONG AuthMode;
    ULONG EncryptionStatus;
    USHORT VarIeLen;
    UCHAR VarIes[BSS_IE_BUFFER_SIZE];
    UCHAR BeaconWpsIe[BSS_IE_BUFFER_SIZE];
    USHORT BeaconWpsIeLen;
    UCHAR ProbeRspWpsIe[BSS_IE_BUFFER_SIZE];
    USHORT ProbeRspWpsIeLen;
    EDCA_PARM EdcaParameters;
    QOS_CAPABILITY_PARM QosCapability;
    QBSS_LOAD_PARM QbssLoad;
    UCHAR WpsPresent;
    UCHAR WpsVersion2;
    UCHAR WpsApSetupLocked;
    USHORT WpsDevicePasswordId;
    UCHAR P2pDeviceSeen;
    UCHAR WpsInteropFlag;
    UCHAR VhtPresent;
    UCHAR VhtCapability[BSS_VHT_CAP_LEN];
    UCHAR VhtOperation[BSS_VHT_OP_LEN];
    UCHAR BeaconFrame[BSS_IE_BUFFER_SIZE];
    USHORT BeaconFrameLen;
    UCHAR ProbeRspFrame[BSS_IE_BUFFER_SIZE];
    USHORT ProbeRspFrameLen;
    MOBILITY_DOMAIN_PARM MobilityDomain;
    UCHAR OweTransBssid[6];
    UCHAR OweTransSsid[BSS_SSID_MAX];
    UCHAR OweTransSsidLen;
    UCHAR MbssidIndicator;
    UCHAR MbssidIndex;
    UCHAR IndicatedSinceUpdate;
} BSS_ENTRY, *PBSS_ENTRY;

// The index of a table, so that a stored frame costs the same whatever the table's fill: its entries
// by BSSID (open addressing, entry index + 1 per slot, 0 free), and by signal strength (per negative
// RSSI value a bit per entry, with a bit per value that holds any). It is kept by the table's own
// writers and rebuilt whenever it does not cover the table's count; every hit is checked against the
// entry it names.
#define BSS_INDEX_SLOTS 512
#define BSS_RSSI_LEVELS 128
typedef struct _BSS_TABLE_INDEX {
    USHORT IndexedCount;
    USHORT Slots[BSS_INDEX_SLOTS];
    ULONG64 RssiMap[BSS_RSSI_LEVELS][MAX_LEN_OF_BSS_TABLE / 64];
    ULONG64 RssiLevels[BSS_RSSI_LEVELS / 64];
    CHAR FiledRssi[MAX_LEN_OF_BSS_TABLE];  // the value each entry is filed under (0: not filed)
} BSS_TABLE_INDEX;

typedef struct _BSS_TABLE {
    USHORT EntryCount;
    USHORT OverflowSlot;
    BSS_ENTRY BssEntry[MAX_LEN_OF_BSS_TABLE];
    BSS_TABLE_INDEX Index;
} BSS_TABLE, *PBSS_TABLE;
static_assert(offsetof(BSS_TABLE, OverflowSlot) == 2, "count and overflow slot share one 32-bit word");

// The 6 GHz standard-power rules of the current country (the regulatory code fills them).
#define SP_RULE_MAX 12
typedef struct _SP_RULE_RECORD {
    UCHAR Reserved0;
    UCHAR Band;          // 3 = 6 GHz; 0 ends the list
    UCHAR ChannelCount;
    UCHAR FirstChannel;
    UCHAR ChannelSpacing;
    UCHAR Reserved1[3];
    ULONG PowerMode;
} SP_RULE_RECORD;
static_assert(sizeof(SP_RULE_RECORD) == 12, "a standard-power record is 12 bytes");
typedef struct _SP_RULE_PLAN {
    ULONG RecordCount;
    SP_RULE_RECORD Records[SP_RULE_MAX];
} SP_RULE_PLAN, *PSP_RULE_PLAN;

// The per-channel AP count that a scan leaves behind.
typedef struct _SCAN_AP_NUM_ROW {
    UCHAR Channel;
    UCHAR Reserved;
    USHORT ApCount;
} SCAN_AP_NUM_ROW;
typedef struct _SCAN_AP_NUM_TABLE {
    USHORT RowCount;
    SCAN_AP_NUM_ROW Rows[118];
} SCAN_AP_NUM_TABLE, *PSCAN_AP_NUM_TABLE;
