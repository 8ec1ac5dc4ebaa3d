// Records of the station's authentication and association exchanges: the adapter-wide exchange state
// (one exchange at a time per adapter), the association information record and the per-port
// authentication, fast-transition and connection-timer state.
#pragma once

#include <cstddef>

#include "kshim/ke.h"
#include "kshim/nt_types.h"
#include "Common/mlme/mlmesync_bss_types.h"
#include "platform/ndiscommon/ndiscommon_types.h"

// ---- confirm messages to the connect-control machine (body: u16 status) ------------------------------------
#define CNTL_MSG_DEAUTH_CONFIRM 36

// MLME status codes beside the IEEE 802.11 ones.
#define MLME_STATUS_SUCCESS 0
#define MLME_STATUS_TIMEOUT 16
#define MLME_STATUS_MFP_POLICY 31
#define MLME_STATUS_INVALID 81
#define MLME_STATUS_NO_RESOURCE 82
#define MLME_STATUS_REFUSED 83

// Authentication algorithms of MLME_AUTH_REQ and of the MLME authentication algorithm.
#define AUTH_ALG_OPEN 0
#define AUTH_ALG_SHARED_KEY 1
#define AUTH_ALG_FT 2
#define AUTH_ALG_SAE 3

// States of the authentication machine (machine 2).
#define AUTH_STATE_IDLE 0
#define AUTH_STATE_WAIT_SEQ2 1
#define AUTH_STATE_WAIT_SEQ4 2
// Messages of the authentication machine.
#define MT2_MLME_AUTH_REQ 0
#define MT2_AUTH_TIMEOUT 2

// States and messages of the association machine (machine 1).
#define ASSOC_STATE_IDLE 0
#define ASSOC_STATE_WAIT_RSP 1
#define ASSOC_STATE_WAIT_DISASSOC 3
#define MT2_MLME_ASSOC_REQ 0
#define MT2_MLME_REASSOC_REQ 1
#define MT2_DISASSOC_TIMEOUT 8
#define MT2_ASSOC_TIMEOUT 9

// Bits of the port's connection flag word the exchanges read.
#define PORT_LINKED_INFRA 0x00000001u
#define PORT_MEDIA_CONNECTED 0x00000080u

// RSN capability bits of management-frame protection.
#define RSN_CAP_MFPR 0x0040u
#define RSN_CAP_MFPC 0x0080u

#define FT_ELEMENT_MAX 257          // a whole element: header and up to 255 body bytes
#define FT_RSN_PREFIX_LEN 24         // RSN element up to the PMKID count
#define FT_RSN_ELEMENT_MAX 40        // the RSN element kept for FT: prefix and one PMKID
#define FT_PMK_R0_NAME_LEN 16
#define FT_SAVED_FRAME_MAX 2024      // an MLME buffer without the 24-byte header
#define CHALLENGE_TEXT_LEN 128
#define WEP_KEY_MAX 16

// What MlmeInfoSetPhyMode hands to the HT/VHT settings.
typedef struct _PHY_SETTINGS_REQUEST {
    ULONG PhyMode;
    UCHAR TxPath;       // second nibble of the adapter's antenna-path word
    UCHAR HtMode;
    UCHAR ExtChannel;
    UCHAR Mcs;          // 7 bits; VHT modes: low nibble MCS, high nibble spatial streams
    UCHAR Bandwidth;    // the chip's widest bandwidth code, at most 3
    UCHAR Stbc;
    UCHAR ShortGi;
} PHY_SETTINGS_REQUEST, *PPHY_SETTINGS_REQUEST;

#pragma pack(push, 1)
// Body of the authentication request (message 0 of machine 2).
typedef struct _MLME_AUTH_REQ {
    UCHAR Addr[6];
    USHORT Alg;
    ULONG Timeout;  // milliseconds
} MLME_AUTH_REQ, *PMLME_AUTH_REQ;

// Body of the association and reassociation requests (messages 0 and 1 of machine 1).
typedef struct _MLME_ASSOC_REQ {
    UCHAR Addr[6];
    USHORT CapabilityInfo;
    USHORT ListenInterval;
    ULONG Timeout;  // milliseconds
} MLME_ASSOC_REQ, *PMLME_ASSOC_REQ;

// The fixed part of the association information record the OS receives with the association result.
typedef struct _ASSOC_INFO_FIXED {
    ULONG Length;                 // 40
    USHORT AvailableRequestFixedIEs;
    USHORT RequestCapabilityInfo;
    USHORT RequestListenInterval;
    UCHAR CurrentApAddress[6];
    ULONG RequestIELength;
    ULONG OffsetRequestIEs;       // 40
    USHORT AvailableResponseFixedIEs;
    USHORT ResponseCapabilityInfo;
    USHORT ResponseStatusCode;
    USHORT ResponseAssociationId;
    ULONG ResponseIELength;
    ULONG OffsetResponseIEs;
    USHORT RequestIELength2;
} ASSOC_INFO_FIXED, *PASSOC_INFO_FIXED;
#pragma pack(pop)
static_assert(sizeof(MLME_AUTH_REQ) == 12, "the authentication request body is 12 bytes");
static_assert(sizeof(MLME_ASSOC_REQ) == 14, "the association request body is 14 bytes");
static_assert(sizeof(ASSOC_INFO_FIXED) == 42, "fixed part of the association information record");

#define ASSOC_INFO_OFFSET 40
#define ASSOC_INFO_ELEMENTS_MAX 1024
#define ASSOC_FRAME_COPY_MAX 2048

// The association information record: the fixed part, then the request elements and the response
// elements.
typedef struct _ASSOC_INFO_RECORD {
    ASSOC_INFO_FIXED Fixed;
    UCHAR RequestIEs[ASSOC_INFO_ELEMENTS_MAX];
    UCHAR ResponseIEs[ASSOC_INFO_ELEMENTS_MAX];
} ASSOC_INFO_RECORD, *PASSOC_INFO_RECORD;

// The adapter-wide state of the station's exchanges.
typedef struct _MLME_CONN_ADAPTER_BLOCK {
    // The MLME BSSID and SSID the exchanges use are the connect machine's (MLME_CNTL_ADAPTER_BLOCK).
    USHORT MlmeAuthAlgorithm;       // AUTH_ALG_* of the exchange in progress
    UCHAR TkipCounterMeasure;       // set by the transmit path after repeated MIC failures
    UCHAR PortSecured;              // station port-secured state: 1 secured, 2 not secured
    USHORT OwnRsnCapabilities;      // bit 7 MFPC, bit 6 MFPR
    UCHAR Sha256Akm;                // the SHA-256 AKM switch
    // Association parameters the OS set, and the request for them.
    ULONG AssocParamsWord;
    UCHAR AssocParams[224];
    ULONG64 LastLinkLossTime;       // system time, 100 ns units
    // Association bookkeeping.
    ASSOC_INFO_RECORD AssocInfo;
    UCHAR LastAssocReq[ASSOC_FRAME_COPY_MAX];
    USHORT LastAssocReqLen;
    UCHAR LastAssocRsp[ASSOC_FRAME_COPY_MAX];
    USHORT LastAssocRspLen;
    ULONG ConnectionPhyType;        // 4 OFDM, 5 HR/DSSS, 6 ERP, 7 HT, 8 VHT, 10 HE, 11 EHT
    LARGE_INTEGER AssocReqTime;     // local time of the request sent and of the response received
    LARGE_INTEGER AssocRspTime;
    UCHAR ConnectionStarted;        // the OS's connection-start indication was sent
    UCHAR VhtSent;                  // the last request carried VHT capabilities
    UCHAR AssocDone;
    USHORT AssociationId;
    USHORT CapabilityInfo;
    EDCA_PARM Edca;                 // the connection's EDCA parameters
    UCHAR SupportedRates[12];
    UCHAR SupportedRatesLen;
    UCHAR ExtendedRates[12];
    UCHAR ExtendedRatesLen;
} MLME_CONN_ADAPTER_BLOCK, *PMLME_CONN_ADAPTER_BLOCK;

// The per-port state of the station's exchanges.
typedef struct _MLME_CONN_PORT_BLOCK {
    // Fast BSS transition material prepared by the connect side.
    UCHAR RoamRequest;
    UCHAR FtEnabled;
    UCHAR FtSecondAuth;
    UCHAR FtParams;
    UCHAR MobilityDomainIe[FT_ELEMENT_MAX];
    ULONG MobilityDomainIeLen;
    UCHAR FtIe[FT_ELEMENT_MAX];
    ULONG FtIeLen;
    UCHAR RsnPrefix[FT_RSN_ELEMENT_MAX];  // 24 bytes used by the FT authentication
    UCHAR PmkR0Name[FT_PMK_R0_NAME_LEN];
    // The OS's answer to the FT authentication (the reassociation's elements); FtParams marks it valid.
    UCHAR FtParamRsnIe[FT_RSN_ELEMENT_MAX];
    ULONG FtParamRsnIeLen;
    UCHAR FtParamMde[FT_ELEMENT_MAX];
    ULONG FtParamMdeLen;
    UCHAR FtParamFte[FT_ELEMENT_MAX];
    ULONG FtParamFteLen;
    UCHAR SavedFtAuthReq[FT_SAVED_FRAME_MAX];
    USHORT SavedFtAuthReqLen;
    UCHAR SavedFtAuthRsp[FT_SAVED_FRAME_MAX];
    USHORT SavedFtAuthRspLen;
    // Shared-key authentication: the port's default WEP key.
    UCHAR DefaultKeyIndex;
    UCHAR DefaultKey[WEP_KEY_MAX];
    UCHAR DefaultKeyLength;         // 0: no key
    UCHAR IotVendor;                // the access point's OUI is one of the IoT-vendor OUIs
    ULONG64 Class2DeauthTime;       // system time of the last class-2 deauthentication
    USHORT ApRsnCapabilities;       // from the access point's beacon
    UCHAR Reassoc;                  // the request in progress is a reassociation
    UCHAR Associated;               // the port's associated byte of the EAPOL store
    UCHAR SpatialStreams;           // the port's spatial-stream count (link speed)
    UCHAR OsConnectionFlag;         // copied by the connect, roam and start-AP tasks from the OS request
    // The port's rate sets of its PHY mode.
    UCHAR SupRate[12];
    UCHAR SupRateLen;
    UCHAR ExtRate[12];
    UCHAR ExtRateLen;
    UCHAR DesiredRates[12];
    ULONG RateAdaptState;           // the HT/VHT rate adaptation's word, cleared with every PHY mode
    UCHAR AssocParamsRecord[108];   // bytes 4-9: the BSSID the OS is asked association parameters for
    // Connection timers.
    PLATFORM_TIMER DisassocIndTimer;         // "MlmeDissassocIndTimeoutTimerCallbackTimer"
    ULONG DisconnectReasonState;             // 9: left the access point for its switch to a radar channel
    PLATFORM_TIMER ConnectionStartTimer;     // "ConnectionTimeoutTimer"
    PLATFORM_TIMER ConnectionCompleteTimer;  // "ConnectionTimeoutTimer"
} MLME_CONN_PORT_BLOCK, *PMLME_CONN_PORT_BLOCK;
