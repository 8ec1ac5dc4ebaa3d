// The connection settings the OS's connect and roam tasks leave in a port (PORT_CONNECT_CONFIG), read
// by the connect machines and the frame builders, and the adapter's station-connection bytes the WDI
// tasks and properties write beside them (PMKID cache, management-frame protection, radio, network
// list offload, adapter configuration).
#pragma once

#include "kshim/nt_types.h"

#define PORT_CONNECT_SSID_MAX 32
#define PORT_CONNECT_CANDIDATES 8
#define PORT_CONNECT_DISALLOWED 4
#define PORT_CONNECT_FT_SLOTS 8
#define PORT_CONNECT_MULTICAST_CIPHERS 6
#define PORT_CONNECT_HS20_IE_MAX 255
#define PMKID_CACHE_ENTRIES 8
#define PMKID_LENGTH 16

// Unicast cipher to encryption-status codes.
#define ENCRYPTION_STATUS_NONE 0
#define ENCRYPTION_STATUS_WEP40 1
#define ENCRYPTION_STATUS_WEP104 2
#define ENCRYPTION_STATUS_TKIP 3
#define ENCRYPTION_STATUS_CCMP 4
#define ENCRYPTION_STATUS_GCMP256 12
#define ENCRYPTION_STATUS_TKIP_FAMILY 13

// An SSID as a 36-byte record: u32 length, 32 bytes.
typedef struct _PORT_SSID_RECORD {
    ULONG SsidLength;
    UCHAR Ssid[PORT_CONNECT_SSID_MAX];
} PORT_SSID_RECORD, *PPORT_SSID_RECORD;
static_assert(sizeof(PORT_SSID_RECORD) == 36, "an SSID record is 36 bytes");

// One fast-transition candidate of a connect or roam.
typedef struct _PORT_FT_CANDIDATE {
    UCHAR Bssid[6];
    UCHAR MdIdAndCapability[3];  // bytes 2 to 4 of the mobility domain element
    UCHAR PmkR0Name[16];
    PUCHAR Mde;                  // owned copy of the 5-byte element
    ULONG MdeLength;
    PUCHAR Fte;                  // owned copy of the fast-transition element
    ULONG FteLength;
} PORT_FT_CANDIDATE, *PPORT_FT_CANDIDATE;

// The connection settings of a port.
typedef struct _PORT_CONNECT_CONFIG {
    // Hotspot 2.0.
    UCHAR AccessNetworkType;
    UCHAR Hs20IePresent;
    UCHAR Hs20IeLength;
    UCHAR Hs20Ie[PORT_CONNECT_HS20_IE_MAX];
    PUCHAR Hessids;               // owned, HessidCount x 6 bytes
    ULONG HessidCount;
    // Flags of the OS's settings (the hidden-network and exclude-unencrypted flags are the port's own).
    UCHAR HostFips;
    UCHAR FinalSettings;          // read by the association request builder
    UCHAR SavedPhyMode;           // the PHY mode before the host-FIPS lowering
    UCHAR MfpEnabled;             // the settings' MFP-enabled byte of the last connect or roam
    ULONG RoamingNeededReason;
    // Authentication and ciphers (the algorithm, the cipher and the group cipher are the port's
    // configuration values; the MLME block keeps copies for the frame classifier).
    USHORT SaeWord;               // 1 SAE selected, 0x100 SAE with a cached PMKID of a candidate
    ULONG UnicastCipherCopies[3]; // pairwise and group key handling
    UCHAR EncryptionStatus;       // ENCRYPTION_STATUS_*
    ULONG KeyStateWord;
    ULONG MulticastCiphers[PORT_CONNECT_MULTICAST_CIPHERS];
    ULONG MulticastCipherCount;
    // Elements the OS gave.
    PUCHAR ExtraAssocIes;         // owned
    ULONG ExtraAssocIesLength;
    UCHAR ExtraAssocIesBssid[6];
    PUCHAR OweDhIe;               // owned
    ULONG OweDhIeLength;
    ULONG PhyType;
    // The desired SSID, as bytes and as a record.
    UCHAR DesiredSsid[PORT_CONNECT_SSID_MAX];
    UCHAR DesiredSsidLength;
    PORT_SSID_RECORD DesiredSsidRecord;
    UCHAR CertTestFlag;           // certification SSIDs with SAE or OWE
    ULONG64 LowLatencyTime;       // system time of the last low-latency hint (Wi-Fi Direct device port)
    // Candidates.
    UCHAR CandidateBssids[PORT_CONNECT_CANDIDATES][6];
    ULONG CandidateCount;
    UCHAR AnyBssid;               // 1: no candidate list
    UCHAR DisallowedBssids[PORT_CONNECT_DISALLOWED][6];
    ULONG DisallowedCounter;      // one more for each address stored
    PORT_FT_CANDIDATE FtCandidates[PORT_CONNECT_FT_SLOTS];
    UCHAR FtCandidateCount;
    // Per-attempt connect state.
    UCHAR AttemptFlag;
    ULONG AttemptCounter;
    UCHAR AttemptAddress[6];
    UCHAR LinkChange;
    UCHAR DisassocPending;
    USHORT AssocRetryWord;
    ULONG FtReassocWords[2];
    // Roaming.
    UCHAR RoamRequest;
    ULONG RoamTrigger;
    UCHAR RoamSecondAddress[6];
    USHORT RefusedRoamCount;
    UCHAR RoamingNeeded;          // the port's roaming-needed byte
    UCHAR LinkQualityRoam;        // the link-quality roam flag
    UCHAR RoamInProgress;         // set by the roam task, cleared by a connect request, link up and link down
    // Fast transition of the current association: ready (a fast transition is possible) and the
    // mobility domain of the association, when it had one.
    UCHAR FtReady;
    UCHAR CurrentMdPresent;
    USHORT CurrentMdId;           // as it lies in the frame
    // Operation mode: the secondary operation-mode code and the role code (2 or 3) of the port.
    ULONG SecondaryOpMode;
    ULONG RoleCode;
    // Wi-Fi Direct roles' Miracast byte.
    UCHAR MiracastOn;
    // The frame buffer the port holds for the MLME (released by a reset).
    PVOID HeldMlmeFrame;
    // The access-point side a reset clears: the association-result record and the own element list.
    UCHAR ApAssocResult[108];
    UCHAR ApElements[192];
    ULONG ApElementsLength;
    // Property state.
    LONGLONG LastBssListReportTime;
    UCHAR ActionDialogToken;      // 0 at start; advances 1..255
} PORT_CONNECT_CONFIG, *PPORT_CONNECT_CONFIG;

// One PMKID cache entry.
typedef struct _PMKID_CACHE_ENTRY {
    UCHAR Bssid[6];
    UCHAR Pmkid[PMKID_LENGTH];
} PMKID_CACHE_ENTRY, *PPMKID_CACHE_ENTRY;

// The management-frame-protection byte of the adapter.
#define STA_MFP_CAPABLE 0x80u
#define STA_MFP_REQUIRED 0x40u

// "Roam Info" event-log record (28 bytes, little-endian).
#define ROAM_INFO_RECORD_SIZE 28
#define EVENT_LOG_ROAM_INFO 0x40020443u

// The adapter's configuration copy of the OS's adapter-configuration property.
typedef struct _STA_ADAPTER_CONFIGURATION {
    ULONG Presence;
    UCHAR ConfiguredMacAddress[6];
    ULONG UnreachableDetectionThreshold;
    UCHAR PldrSupport;
} STA_ADAPTER_CONFIGURATION;

// The adapter's station-connection bytes.
typedef struct _STA_CONNECT_ADAPTER_STATE {
    UCHAR MfpByte;                // STA_MFP_*
    PMKID_CACHE_ENTRY PmkidCache[PMKID_CACHE_ENTRIES];
    ULONG PmkidCount;
    UCHAR OweCertCounter;
    UCHAR ResetRequest;           // read by the scan, reconnect and connect paths
    UCHAR PowerLimitRefresh;      // read by the transmit-power code
    UCHAR GoPreferredBand;        // set by the private control interface, cleared by a roam
    UCHAR GoChannelSwitchFlags;   // 0x20: a group owner's channel switch is pending
    UCHAR AdhocHtMode;            // "AdhocNMode" as in force
    UCHAR AdhocHtModeSaved;
    UCHAR HeAssociation;          // the association used HE
    ULONG64 RoamStartTime;
    UCHAR RoamStats[32];          // cleared by every roam task
    UCHAR MiracastMode;           // the firmware's Miracast mode as last set
    UCHAR WepMismatchAccepted;    // a WEP profile accepted a BSS of another encryption (candidate sorting)
    // Adapter configuration.
    STA_ADAPTER_CONFIGURATION Configuration;
    UCHAR ConfiguredMacAddress[6];
    UCHAR PldrSupported;
    // Connection quality: the power-save hint of the last hint, and when a low-latency hint came.
    UCHAR PowerSaveHint;
    ULONG64 LowLatencyTime;
} STA_CONNECT_ADAPTER_STATE, *PSTA_CONNECT_ADAPTER_STATE;
