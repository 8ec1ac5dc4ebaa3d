// The MLME core's scan records: the adapter's scan state beside its scan request and the port's scan
// state with what its probe requests carry.
#pragma once

#include "Common/qzcmd_scan_types.h"
#include "kshim/ke.h"
#include "platform/ndiscommon/ndiscommon_types.h"

#define SCAN_TIMEOUT_MS 9000u           // "N6PlatformScanRequestTimeoutTimer": the bound of a whole scan
#define SCAN_RETRY_TIMEOUT_MS 40u       // a failed scan command ends the scan through the time-out
#define SCAN_STAY_TIME_SCANNING 25000u  // home-channel stay time of a connected station while it scans
#define SCAN_STAY_TIME_DEFAULT 60000u
#define SCAN_SPLIT_STEP 3
#define SCAN_SPLIT_MIN_LEFT_MS 100u
#define SCAN_BTM_CANDIDATES 4
#define SCAN_TARGET_BSSIDS 4

// The roaming scan the reboot enhancement replaces by a scan of the last channel.
#define REBOOT_SCAN_IDLE 0
#define REBOOT_SCAN_RETRY 1
#define REBOOT_SCAN_SENT 2
#define REBOOT_SCAN_DONE 3
#define REBOOT_SCAN_OFF 4

// Scan triggers of the OS.
#define SCAN_TRIGGER_BACKGROUND 2
#define SCAN_TRIGGER_ROAM 3
#define SCAN_TRIGGER_CONNECT 4
#define SCAN_TRIGGER_ROAM_2 6

// Request kinds of MLME_SCAN_REQ.
#define SCAN_KIND_WILDCARD 1
#define SCAN_KIND_P2P_WILDCARD 2
#define SCAN_KIND_DIRECTED 4

typedef struct _SCAN_BTM_CANDIDATE {
    UCHAR Channel;
    UCHAR Band;
} SCAN_BTM_CANDIDATE;

// The adapter's scan state beside its scan request (MLME_ADAPTER_BLOCK::ScanRequest).
typedef struct _MLME_SCAN_STATE {
    ULONG64 ScanStartTime;         // set by the scan request
    ULONG64 ScanTime;              // set by each firmware scan command
    PLATFORM_TIMER ScanTimer;      // "N6PlatformScanRequestTimeoutTimer"
    // The connect-control machine's scan bytes: scan in progress, OS scan, connect scan, roam scan.
    UCHAR ScanInProgress;
    UCHAR OsScan;
    UCHAR ConnectScan;
    UCHAR RoamScan;
    UCHAR ScanSeqNum;              // 0..99, stepped for every firmware scan and offload
    UCHAR ScanTableQueried;        // the scan-table-query marker of the scan task
    // What the scan task reads besides the request.
    UCHAR BssListFlushed;
    UCHAR RoamingNeeded;           // the 500 ms job asked the OS to roam
    UCHAR ResumeReconnect;         // set by firmware recovery and the wake-on-WLAN power path
    UCHAR RoamScanAtOnce;          // private: a roam scan completes at once
    UCHAR BtmActive;               // a BSS transition candidate list is active
    SCAN_BTM_CANDIDATE BtmCandidates[SCAN_BTM_CANDIDATES];
    UCHAR RfTestMode;              // private: RF test mode
    UCHAR ScanFilterChannelSet;    // private scan filter by channel (0: full scan)
    UCHAR ScanFilterChannel;
    UCHAR FixedScanChannel;        // private: the legacy and Wi-Fi Direct scan channel (0: none)
    UCHAR ScanFilterSsidLen;       // private scan filter by SSID (with PrivateScanFilterOn)
    UCHAR ScanFilterSsid[SCAN_REQ_SSID_LEN];
    UCHAR ScanFindsNoAp;           // private: a scan done reports 0xC0000001
    UCHAR SplitScanConcurrency[2];
    ULONG ListenPhaseCount;
    // The reboot-scan record.
    UCHAR RebootScanState;
    UCHAR RebootLastChannel;
    UCHAR RebootLastBand;
    UCHAR RebootRetryCount;
    UCHAR CustomDwell;             // 1: apply the registry dwell values once
    // Dwell times last sent to the firmware.
    USHORT MinDwellSent;
    USHORT DfsDwellSent;
    UCHAR Disable6GScan;           // the 6 GHz scan-disable byte
    UCHAR RateSetMode;             // 2: a probe request must offer at least 8 rates
    // The join's probe requests: the target BSSID and the directed-probe flag, the target's HE flag,
    // the ad hoc HT byte, and the cached frame the join re-sends.
    UCHAR JoinTargetBssid[6];
    UCHAR DirectedProbe;
    UCHAR TargetSupportsHe;
    UCHAR AdhocHtAllowed;
    UCHAR JoinFrame[1024];
    ULONG JoinFrameLength;
    UCHAR JoinFrameCached;         // the join asked for its probe request to be kept
    // The MBO non-preferred channel list (a private request sets it): {channel, preference,
    // operating class, reason} per entry.
    UCHAR NonPrefCount;
    UCHAR NonPref[16][4];
    ULONG StayQuotaMs[3];          // multi-channel quotas last sent: group owner, client, station
    PVOID IntakeArea;              // the beacon intake's parse record and element copy
    ULONG IntakeAreaSize;
    UCHAR AfcBaseApplied;          // the AFC base power last applied
} MLME_SCAN_STATE, *PMLME_SCAN_STATE;

#define PROBE_RATES_MAX 12
#define PROBE_HT_CAP_LEN 26
#define PROBE_VHT_CAP_LEN 12
#define PROBE_EXT_CAP_LEN 16

// The port's scan state, and what its probe requests carry.
typedef struct _MLME_PORT_SCAN_STATE {
    ULONG64 LastScanDoneTime;
    ULONG64 LastBssListFlushTime;
    ULONG64 LastBssListQueryTime;
    UCHAR SkipNextRoamScan;        // set by the connect request, cleared at link down
    UCHAR HostFips;                // from the connection settings of the connect and roam tasks
    UCHAR EncryptionStatus;        // 3 and above: a key handshake is in progress
    UCHAR JoinProbing;             // the join sends probe requests
    ULONG HomeStayTime;            // configured home-channel stay time (0: the default)
    ULONG ScanStayTime;
    // The OS's probe-request elements and the additional elements of the certification setting.
    PUCHAR OsProbeIe;
    ULONG OsProbeIeLength;
    PUCHAR AdditionalProbeIe;
    ULONG AdditionalProbeIeLength;
    // The copy of the OS's extra elements of the last scan request (pool tag "ZV06").
    PUCHAR OsScanIe;
    ULONG OsScanIeLength;
    UCHAR CoexScan;                // bit 0: the 20/40 coexistence report is due after the scan
    ULONG LastStayTime;            // the multi-channel quota last sent for the port (microseconds)
    // Probe-request inputs: the port's rates, capabilities and interworking byte (the desired SSID is
    // the port's connect configuration's).
    UCHAR SupportedRates[PROBE_RATES_MAX];
    UCHAR SupportedRatesLen;
    UCHAR ExtendedRates[PROBE_RATES_MAX];
    UCHAR ExtendedRatesLen;
    UCHAR HtCapability[PROBE_HT_CAP_LEN];
    UCHAR VhtCapability[PROBE_VHT_CAP_LEN];
    UCHAR ExtCapabilities[PROBE_EXT_CAP_LEN];
    UCHAR Interworking;
    UCHAR AccessNetworkOptions;
    UCHAR P2pGroupFlag;            // set when the port starts as group owner
    UCHAR P2pRoleValue;
} MLME_PORT_SCAN_STATE, *PMLME_PORT_SCAN_STATE;
