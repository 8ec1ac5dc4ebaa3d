// MP_PORT, the per-port block: five per adapter, one per role the driver can run at the same time
// (station, soft access point, Wi-Fi Direct device, group owner, group client), with the types its
// fields are made of. Like the adapter, a port is made of records its layers declare in their own
// headers; this header includes only the platform stand-in and those record headers.
#pragma once

#include <atomic>

#include "kshim/ke.h"
#include "kshim/ndis.h"
#include "kshim/netadapter.h"
#include "kshim/netadapter_queue.h"
#include "Common/mlme/mlme_types.h"
#include "Common/mlme/mlmeaction_types.h"
#include "Common/mlme/mlmeinfo_rate_types.h"
#include "Common/mlme/mlmesync_ba_types.h"
#include "Common/mlme/mlmeinfo_types.h"
#include "Common/mlme/mlmewsc_types.h"
#include "Common/mlme/mlmesync_mactab_types.h"
#include "Common/mlme/mlmesync_types.h"
#include "Common/p2p/p2p_types.h"
#include "Common/recv_types.h"
#include "Common/rlm_types.h"
#include "hal/common/phy_cfg_types.h"
#include "platform/ndis6/n6indicate_types.h"
#include "platform/ndiscommon/ndiscommon_types.h"
#include "platform/ndiscommon/registry_block.h"
#include "platform/wdi/wdiconnect_types.h"
#include "platform/wificx/wificxtx_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;
typedef struct _QZCX_TXQUEUE QZCX_TXQUEUE, *PQZCX_TXQUEUE;

#define MAC_ADDR_LEN 6

// ---- ports ---------------------------------------------------------------------------------------------------
typedef enum _PORT_TYPE {
    HELPER = 0,
    EXTSTA = 1,
    EXTAP = 2,
    WFD_DEVICE = 3,
    WFD_GO = 4,
    WFD_CLIENT = 5,
} PORT_TYPE;

// The access-point operation mode of port 0 when "OpMode" is 1.
#define PORT_OP_MODE_AP 4

// Wireless modes, as the driver names them.
typedef enum _WIRELESS_MODE {
    PHY_11BG_MIXED = 0,
    PHY_11B = 1,
    PHY_11A = 2,
    PHY_11ABG_MIXED = 3,
    PHY_11G = 4,
    PHY_11ABGN_MIXED = 5,
    PHY_11N = 6,
    PHY_11GN_MIXED = 7,
    PHY_11AN_MIXED = 8,
    PHY_11BGN_MIXED = 9,
    PHY_11AGN_MIXED = 10,
    PHY_11VHT = 11,
    PHY_11VHT5G_ONLY = 12,
    PHY_11He = 13,
    PHY_11BE = 14,
} WIRELESS_MODE;

// Bands and bandwidth codes of PORT_CHANNEL_INFO.
#define BAND_24G 1
#define BAND_5G 2
#define BAND_6G 3
#define BW_20 0
#define BW_40 1
#define BW_80 2
#define BW_160 3
#define BW_320 7

#pragma pack(push, 1)
typedef struct _PORT_CHANNEL_INFO {
    ULONG Band;
    UCHAR PrimaryChannel;
    UCHAR CentreChannel;
    UCHAR Bandwidth;
} PORT_CHANNEL_INFO, *PPORT_CHANNEL_INFO;

typedef struct _OBSS_SCAN_PARAMS {
    UCHAR DelayFactor;
    ULONG TriggerScanInterval;
    ULONG Delay;  // interval times factor
    ULONG PassiveDwell;
    ULONG ActiveDwell;
    ULONG PassiveTotalPerChannel;
    ULONG ActiveTotalPerChannel;
    ULONG ActivityThreshold;
} OBSS_SCAN_PARAMS, *POBSS_SCAN_PARAMS;
#pragma pack(pop)

// A buffer a port owns, with its size and allocated flag.
typedef struct _PORT_OWNED_BUFFER {
    PUCHAR Buffer;
    ULONG Size;
    UCHAR Allocated;
} PORT_OWNED_BUFFER, *PPORT_OWNED_BUFFER;

// The port's variable information elements: the general one and eight per-kind pairs.
#define PORT_VARIABLE_IE_COUNT 17
// Owned buffers freed with the privacy exemption list.
#define PORT_EXTRA_BUFFER_COUNT 4

#define PORT_SPIN_LOCKS 6
#define PORT_EXTRA_SPIN_LOCKS 64
#define PORT_EVENTS 2

// Connection flags of a port.
#define PORT_CONN_CONNECTED 0x00000001u
#define PORT_CONN_CONNECTING 0x00000002u
#define PORT_CONN_RESET_CLEAR 0x00000080u

// Progress bits of a port reset.
#define PORT_RESET_DISCONNECTING 0x00000003u
#define PORT_RESET_DISASSOC_SENT 0x00000004u

#define PORT_CONNECT_REQUEST_SIZE 1272
#define PORT_KEY_AREA_SIZE 192
#define PORT_PHY_MODE_OVERRIDE_NONE 255

// ---- working configuration shared by the adapter and its ports ------------------------------------------
// The Wi-Fi Direct and multi-channel values of the working configuration; every port receives a copy.
#define MCC_TIME_COUNT 32  // "MccStaTimeNoGOclient", "MccGOTimeNoGOclient" and the 30 per-case times

typedef struct _WORKING_P2P_MCC_CFG {
    ULONG WifiDirectControl;
    ULONG WfdListenChannel;
    ULONG WfdGOOperatingChannel;
    UCHAR DynamicDbdcEnable;  // "ZivDynamicDbdcEnable"
    UCHAR AAModeDbdcEnable;   // "ZivAAModeDbdcEnable"
    UCHAR SapStayTimeEnable;
    UCHAR MccStayTimeEnable;
    // Quota times in microseconds (the registry gives milliseconds).
    ULONG MccStaQuotaTime;
    ULONG MccP2pGOQuotaTime;
    ULONG MccP2pGOBrakeTime;
    ULONG MccP2pGCQuotaTime;
    ULONG MccP2pStaGCQuotaTime;
    ULONG MccP2pGOMcastConQuotaTime;
    ULONG MccP2pSTAMcastConQuotaTime;
    // Per-case times in microseconds, in table order; set only with "HotspotMCCTputOptimization".
    ULONG MccTimes[MCC_TIME_COUNT];
    ULONG AutoWfdGOOpChannel;
    UCHAR AutoWfdBandEnable;
    UCHAR P2pEcsaEnable;  // channel-switch switch of the group owner
    ULONG P2pGoBand;
} WORKING_P2P_MCC_CFG, *PWORKING_P2P_MCC_CFG;

// The per-port configuration: the working values every port receives from the adapter
// (NdisCommonInitUpdatePortDefaultSetting) and the port's own defaults (NdisCommonInitPortUserCfg).
#define PORT_APSD_AC_COUNT 4  // best effort, background, video, voice
#define PORT_RATE_MASKS 2

typedef struct _PORT_CFG {
    ULONG TxSetting;                  // the adapter's working transmit setting
    UCHAR WirelessModeCopy[2];        // the two copies beside the port's wireless mode
    ULONG BaCapability;               // block-ack and HT parameter word
    UCHAR WmmCapable;
    USHORT CountryCode;
    ULONG CalibrationOption;
    UCHAR DynamicTxEnhanceSwitching;
    UCHAR PMEnable;
    UCHAR EDCCAEnable;
    UCHAR EDCCADebug;
    UCHAR Auth360;
    UCHAR DisableTxRxLdpc;
    UCHAR FixAPBW20;
    UCHAR Enable256QamOn24G;          // "2G256QAM"
    UCHAR DisableVirtualPort;
    ULONG SWChannel;
    ULONG SWChannel5G;
    UCHAR APTGN;
    USHORT RtsThreshold;
    USHORT FragThreshold;
    ULONG BGProtection;
    UCHAR ShortSlot;
    UCHAR IEEE80211H;
    UCHAR CarrierDetect;
    UCHAR TXBurst;
    UCHAR ApsdCapable;
    UCHAR ApsdAc[PORT_APSD_AC_COUNT];
    ULONG TransmitSetting;            // "TransmitSetting" as read
    UCHAR DLSCapable;
    ULONG DirectMode;
    UCHAR PSPXlink;
    WORKING_P2P_MCC_CFG P2pMcc;
    UCHAR ProhibitTKIPonHT;
    UCHAR Ch14BOnly;
    ULONG TxPowerDefault;
    UCHAR WepConnectCheckEncry;
    ULONG MPolicy;
    UCHAR EnablePPAD;
    UCHAR RxCheckDupFrame;
    ULONG EnduranceTest;

    // The port's own defaults.
    ULONG RateMask[PORT_RATE_MASKS];
    USHORT UserWord;                  // 0xFF00
    ULONG UserState;                  // 1
    ULONG SupportedOpModes;           // OR of the WDI operation modes the port may take
    ULONG UserValue;                  // 4
    USHORT CapabilityWord;            // bits 5, 10 and 15 cleared by the defaults
    PHY_CFG PhyCfg;                   // the port's transmit rate word
    ULONG BandWord;                   // the adapter's band word (1 or 2)

    // HT capability areas: the capability words and A-MPDU parameter bytes, the density byte
    // (bits 2-4: minimum MPDU start spacing), and the HT and VHT switches.
    REGISTRY_HT_SETTINGS Ht;
    UCHAR HtDensity;
    UCHAR HtEnabled;
    UCHAR VhtEnabled;

    // Default ciphers (KOVASetDefaultCipher), DOT11 values.
    ULONG AuthAlgorithm;
    ULONG PairwiseCipher;
    ULONG GroupCipher;
    ULONG ExtraCipher[2];
    UCHAR ExtraCipherFlag;
    ULONG CipherPolicy;
    ULONG GroupCipherDefault;
} PORT_CFG, *PPORT_CFG;

// Words of a port's receive-vector store.
#define PORT_RX_VECTOR_WORDS 16
// Receive path of the port: rows of transmit-done counters (channel contexts), PHY-type statistics
// entries, and the counters of the platform's DOT11_PHY_FRAME_STATISTICS and DOT11_MAC_FRAME_STATISTICS.
#define PORT_TX_DONE_CONTEXTS 2
#define PORT_PHY_STAT_ENTRIES 8
#define DOT11_PHY_STAT_COUNTERS 18
#define DOT11_MAC_STAT_COUNTERS 14

// The transmit bookkeeping entry of a port, cleared with the adapter's traffic counters.
typedef struct _PORT_TX_BOOKKEEPING {
    ULONG Count;
    ULONG64 Value;
    UCHAR Flag;
} PORT_TX_BOOKKEEPING;

typedef struct _MP_PORT {
    // Identity.
    PMP_ADAPTER Adapter;
    ULONG PortType;  // PORT_TYPE
    ULONG OpMode;    // selects the access-point transmit (2, 3, 4) and receive (2, 3) paths
    ULONG PortNumber;
    UCHAR Active;
    UCHAR Created;
    ULONG State;
    UCHAR BssIndex;     // BSS_INDEX_NONE when unbound
    UCHAR OwnMacIndex;  // 255 when unbound
    ULONG BssIndexValue;  // given at binding (0 the first port, 1 the Wi-Fi Direct roles); network activation sends it
    ULONG PendingWork;  // work items pending

    // The OS's net adapter of the port (null while it has none).
    NETADAPTER NetAdapter;

    // WDI work items of the port (task and property).
    WDFWORKITEM TaskWorkItem;
    WDFWORKITEM PropertyWorkItem;

    // Channel and address.
    PORT_CHANNEL_INFO Channel;
    PORT_CHANNEL_INFO SavedChannel;
    ULONG BringUpDone;  // 1 on port 0 at the end of bring-up
    UCHAR MacAddress[MAC_ADDR_LEN];
    ULONG CurrentPacketFilter;  // the OS's receive packet filter as last given to the firmware

    // Connection, security and capability state.
    ULONG ConnectionFlags;
    UCHAR Bssid[MAC_ADDR_LEN];
    UCHAR HiddenNetwork;         // filled by the connect and roam tasks
    UCHAR ExcludeUnencrypted;    // filled by the connect and roam tasks
    UCHAR ConnectRequest[PORT_CONNECT_REQUEST_SIZE];
    ULONG SecurityState;
    ULONG KeyCount;
    UCHAR KeyArea[PORT_KEY_AREA_SIZE];
    UCHAR KeyInstalled;
    UCHAR WirelessMode;  // WIRELESS_MODE
    UCHAR PhyModeChangePending;
    UCHAR PendingPhyMode;
    UCHAR PhyModeOverride;  // PORT_PHY_MODE_OVERRIDE_NONE when none
    UCHAR StaResetState[16];
    PLATFORM_TIMER StaStateTimers[2];  // the two station timers a reset cancels
    PORT_OWNED_BUFFER VariableIe[PORT_VARIABLE_IE_COUNT];
    PORT_OWNED_BUFFER PrivacyExemptionList;
    PORT_OWNED_BUFFER ExtraBuffers[PORT_EXTRA_BUFFER_COUNT];
    PUCHAR P2pPoolBuffer;  // the port's Wi-Fi Direct pool buffer
    ULONG P2pPoolBufferLength;
    OBSS_SCAN_PARAMS ObssScanParams;
    P2P_PORT_STATE P2pState;

    // Configuration: working values copied from the adapter and the port's own defaults.
    PORT_CFG Cfg;

    // Reset state.
    ULONG ResetState;
    ULONG ResetProgress;
    ULONG PendingCount;
    UCHAR ResetRequest;

    // Locks and events.
    KSPIN_LOCK SpinLocks[PORT_SPIN_LOCKS];
    NDIS_RW_LOCK RwLock;
    KSPIN_LOCK ExtraSpinLocks[PORT_EXTRA_SPIN_LOCKS];
    NDIS_EVENT Events[PORT_EVENTS];

    // Send thread and transmit/receive quotas.
    PLATFORM_THREAD SendThread;  // "WdiSendDataThread0" to "WdiSendDataThread4"
    ULONG TxQuota;
    ULONG RxProcessCount;
    // ---- data path: packet queues, transmit descriptors, frame ring submission (dmaq, hal_desc, n6pci) ----
    PNET_BUFFER_LIST PendingNblHead;   // buffer lists to send again after a firmware recovery
    PNET_BUFFER_LIST PendingNblTail;
    ULONG SendNblPassLimit;            // net buffers the buffer-list send path handles per pass (0: no limit)
    ULONG DeferredDoorbellCount;       // data descriptors queued since the last CPU-index write
    ULONG DoorbellThreshold;           // the CPU index is written at least every threshold / 2 frames
    UCHAR FixedRateEnable;             // port 0: every descriptor gets the fixed rate below
    PHY_CFG FixedRatePhyCfg;
    ULONG RxVectorStore[PORT_RX_VECTOR_WORDS];  // receive vector words (RCPI word 3, rate word 12, ...)
    ULONG NetworkKind;                 // 0 infrastructure; a port reset sets 4
    // Firmware BSS, station-record, key and power-management commands (Common/qzcmd_bss): the values
    // they send, written by the connection, access-point and Wi-Fi Direct code.
    UCHAR NetworkActivation[2];        // the state the last activation command set (sent, answered):
                                       // [0] non-zero while the port's network is active in the firmware
    UCHAR WmmInUse;
    USHORT BeaconInterval;
    UCHAR DtimPeriod;
    USHORT AssociationId;
    USHORT SecondTimingWord;
    UCHAR UapsdEnable;
    UCHAR UapsdAc[4];                  // per access category, in their stored order
    UCHAR UapsdMaxSp;
    UCHAR FwModeWord;                  // 1 for the Wi-Fi Direct and access-point roles in the firmware
    ULONG OperationModeCode;           // driver operation-mode code (1 AP, 2 station, 8 device, 16 GO, 32 client)
    UCHAR StartedAsGo;
    UCHAR CapabilityInfoLow;           // low byte of the port's capability information
    UCHAR MuEdcaParams[32];            // the MU EDCA parameter record of the BSS
    UCHAR SrControl[4];                // spatial-reuse control bytes
    ULONG64 SrBssColorBitmap;
    ULONG64 SrPartialBssidBitmap;
    UCHAR ConnectionType;              // set by the connect request
    UCHAR ConnectOption;               // the connect option byte
    UCHAR JoinParam[2];                // the two candidate octets the join request copies
    UCHAR StreamCount;                 // transmit streams the last BSS information gave the firmware
    // The firmware's link events (Common/qzevent_handlers): link rate and quality drop of the last
    // link-quality report, and the roaming-needed reports sent after a beacon loss.
    USHORT LinkRate;                   // 500 kb/s
    UCHAR LinkQualityDrop;
    UCHAR RoamingNeededCount;
    // The group owner's channel switch: the firmware's countdown-done report and the timers of the
    // switch ("P2pEcsaChSwitchTimer", "P2pEcsaChSwitchTimeout"), bound by the Wi-Fi Direct code.
    UCHAR P2pCsaDone;
    UCHAR P2pEcsaRetryCount;
    PLATFORM_TIMER P2pEcsaChSwitchTimer;
    PLATFORM_TIMER P2pEcsaChSwitchTimeoutTimer;
    // A Wi-Fi Direct client following its group owner's switch: "P2pEcsaGCTOCallback" and the mark that it
    // waits for the firmware's presence report; a group owner counts the reports that found frames pending.
    PLATFORM_TIMER P2pEcsaGcToTimer;
    UCHAR EcsaInProgress;
    UCHAR EcsaPendingReports;
    // The firmware's second absence byte of the port's BSS; the absent flag and the waits for the next
    // absence or presence are the channel-grant record (Grant).
    UCHAR BssAbsentSecond;
    // ---- periodic timers a firmware recovery re-arms (set up with the MLME port timers) ----------------------
    PLATFORM_TIMER MlmePeriodicTimer;  // 100 ms MLME periodic job
    PLATFORM_TIMER TxHangTimer;        // 1000 ms transmit-hang check

    // ---- Wi-Fi Direct state, defaults and channel lists (Common/p2p) --------------------------------------
    LONG P2pDiscoState;        // P2P_PORT_STATE_VALUE of the device side
    LONG P2pConnectState;      // P2P_PORT_STATE_VALUE of the connection side
    LONG P2pMsState;           // P2pMs_STATE_IDLE .. P2pMs_STATE_PROVISIONING
    LONG P2pDiscoStateBackup;
    UCHAR P2pFormState;
    LONG P2pPresenceState;
    ULONG P2pCfgControl;       // copy of "WifiDirectControl"
    ULONG P2pCfgListenChannel; // copy of "WfdListenChannel"
    ULONG P2pCfgGoChannel;     // copy of "WfdGOOperatingChannel"
    UCHAR P2pListenChannel;
    UCHAR P2pGroupChannel;
    UCHAR P2pOpChannel;
    UCHAR P2pSsid[32];
    UCHAR P2pSsidLen;
    UCHAR P2pDeviceName[32];
    UCHAR P2pDeviceNameLen;
    UCHAR P2pGroupBssidLead;   // the byte before P2pGroupBssid
    UCHAR P2pGroupBssid[MAC_ADDR_LEN];
    UCHAR P2pGroupDeviceAddr[MAC_ADDR_LEN];
    UCHAR P2pGroupMode;        // own GO intent 0..15; 16 an autonomous group owner
    UCHAR P2pRolePortIndex;
    UCHAR P2pRoleBytes[3];     // the three bytes after P2pRolePortIndex
    UCHAR P2pGoPortIndex;
    UCHAR P2pGoWlanIndex;      // P2P_GO_WLAN_INDEX_NONE when none
    UCHAR P2pOwnWlanIndex;
    UCHAR P2pTxHold[2];
    UCHAR P2pGoVhtOn;
    UCHAR P2pConnValues[8];    // per-connection values cleared by the defaults
    UCHAR P2pConnRecords[2][8];  // the two connection records cleared at the end of a formation
    UCHAR P2pConnRecordFlag;
    ULONG P2pStateTicks;       // 100 ms ticks of the current state
    ULONG P2pFormationTicks;
    ULONG P2pDiscoTicks;       // length of the next discovery phase in 100 ms ticks
    ULONG P2pExtraTicks[3];    // the three further 100 ms tick counters
    ULONG P2pLongTicks[2];     // two 100 ms counters the defaults set to 300
    ULONG P2pCounter;
    USHORT P2pWpsDevicePasswordId;  // 0xFFFF none
    USHORT P2pConfigMethod;
    P2P_WPS_EXCHANGE P2pWpsExchange;
    UCHAR P2pWpsCredentialRef[8];
    UCHAR P2pWpsStatusByte;
    UCHAR P2pWmmByte;
    UCHAR P2pNoaActive;
    UCHAR P2pNoaStartsAbsence;
    UCHAR P2pNoaAbsent;
    UCHAR P2pNoaIndex;
    UCHAR P2pOppPsActive;
    UCHAR P2pNoaWakePending;
    UCHAR P2pNoaBytes[2];
    UCHAR P2pGoCentreChannel;  // the recorded GO centre channel
    UCHAR P2pGoWidthSetting;   // 1: 20 MHz
    ULONG P2pRetryValue;
    ULONG P2pScanType;         // low 4 bits select the list P2pScanChannelUpdate builds
    ULONG P2pScanType2;        // not 0 while a special search runs
    ULONG P2pScanDwell;        // per-channel dwell: 20, 25 or 40
    UCHAR P2pScanChannels[P2P_SCAN_LIST_MAX];
    UCHAR P2pScanChannelCount;
    UCHAR P2pScanSingleChannel;
    UCHAR P2pScanRepeat;
    UCHAR P2pScanListReady;
    UCHAR P2pSearchChannel;
    UCHAR P2pBand;             // copy of the adapter's current band byte
    UCHAR P2pResumeListen;     // device port: the listen phase is to be resumed
    UCHAR P2pListenState;      // device port: the listen state is on
    UCHAR P2pGoActive;         // the group owner of this port runs
    ULONG CntlState;           // the station's connect-control state (0, 1, 4 idle-like; 2-7 connecting)
    std::atomic<ULONG> P2pCsaNotifyArmed;  // the pending channel-switch notification
    UCHAR P2pActPrevState;     // public-action-frame machine: previous P2P_ACTION_SM_STATE
    UCHAR P2pActState;         // public-action-frame machine: current P2P_ACTION_SM_STATE
    UCHAR P2pActPendingSignal; // subtype of the frame sent and not yet completed; 9 none
    UCHAR P2pActSignal;        // public-action-frame machine: current P2P_ACTION_SIGNAL
    PUCHAR P2pActAckFrame;     // copy of a sent public action frame waiting for its transmit status
    ULONG P2pActAckFrameLen;
    P2P_MS_BLOCK P2pMs;
    P2P_CHANNEL_LIST P2pChannelList;  // the Channel List attribute's record
    PLATFORM_TIMER P2pListenSTASwitchTimer;  // "P2pListenSTASwitchTimeoutCallback"
    PLATFORM_TIMER SwitchP2PListenTimer;     // "SwitchP2PListenTimeoutCallback"
    // ---- Wi-Fi Direct frame elements: what the P2P attribute, P2P IE and WPS IE writers read (p2ppacket) ----
    UCHAR P2pPortActive;                 // 1 once the port was created for the OS
    UCHAR P2pCapability[2];              // device and group capability of station and soft-AP ports
    UCHAR P2pOsCapability[2];            // the same, set by the OS, of Wi-Fi Direct ports
    USHORT P2pExtListenPeriod;
    USHORT P2pExtListenInterval;
    USHORT P2pWpsConfigMethods;
    UCHAR P2pPrimaryDeviceType[P2P_DEVICE_TYPE_LEN];
    struct {
        PUCHAR Types;      // 8-byte WPS device types
        ULONG ByteLength;
        ULONG Count;
    } P2pOsSecondaryDeviceTypes;
    UCHAR P2pCtWindow;                   // CTWindow in bits 0-6, OppPS in bit 7
    UCHAR P2pNoaCount;                   // count or type of the own absence schedule
    ULONG P2pNoaDuration;
    ULONG P2pNoaInterval;
    ULONG P2pNoaStartTime;
    ULONG P2pWpsEnabled;
    ULONG P2pWpsMode;                    // 1 first record, 2 or 3 second record
    WSC_DEVICE_INFO WscDevInfo[2];       // the port's two WPS device-information records
    ULONG P2pRole;                       // P2P role of a station port: 1 client, 3 group owner

    // ---- bring-up and power transitions (ndiscommoninit, wificxmain) ------------------------------------
    UCHAR CoexType;              // coexistence type (set by the private country request)
    UCHAR Powered;               // 1 from the end of bring-up; the power transitions by port change it
    USHORT StatusFlags;          // bit 0x2: the LED shows no connection at power-up
    PORT_TX_BOOKKEEPING TxBook;  // cleared by the adapter block initialisation
    // The saving of the power change by port, undone by a resume that finds the marker set.
    UCHAR LowPowerMarker;
    UCHAR PowerSaveByte;
    UCHAR SavedPowerSaveByte;
    ULONG64 SavedPowerValue;
    ULONG PowerUpCounter;        // cleared at every resume
    // The port's receive reorder sessions (the MLME core keeps them; a resume resets them).
    REORDER_SESSION ReorderSessions[REORDER_SESSION_COUNT];

    // ---- control-thread executor and system event log (ndiscommonhif_control, logevent) ---------------
    UCHAR LastBssid[MAC_ADDR_LEN];  // the BSSID the last link loss took down
    UCHAR HotspotGo;                // 1 while the port's group owner serves a hotspot
    // A client is joining the port's group owner (non-hotspot / hotspot): its multi-channel quotas apply.
    UCHAR GoMcastConActive;
    UCHAR HotspotMcastConActive;
    // ---- MLME core: the port's station-entry list, its state machines and MLME state (Common/mlme) ----
    MAC_TABLE_PORT_LIST MacTab;
    MLME_PORT_BLOCK Mlme;
    // ---- net adapter of the port (wificxmain) ----
    ULONG WifiAdapterType;  // 1 station, 2 access point
    ULONG TxFragRingLimit;  // with "OptimizeFragIndLimitEn": read by the transmit advance
    // The driver operation-mode code the port was created for (1 soft access point, 2 station, 8
    // Wi-Fi Direct device, 16 group owner, 32 Wi-Fi Direct client); OpMode above is the subtype.
    ULONG OpModeCode;
    // ---- BSS table and beacon parsing: the port state they read (Common/mlme/mlmesync_bss, _sanity) ----
    UCHAR HeEnabled;           // the port's HE switch (1 = HE enabled)
    ULONG WpsMethod;           // WPS_METHOD_*: push-button or PIN search
    ULONG WpsMode;             // 2 while a WPS search runs
    ULONG WpsState;            // 3 while the search looks for its access point
    USHORT Aid;                // own association id (low 14 bits used)
    UCHAR CurrentSsid[32];     // the SSID of the current connection
    UCHAR CurrentSsidLen;
    UCHAR LastConnectSsid[32]; // the SSID of the last connection (saved at link down)
    UCHAR LastConnectSsidLen;
    CHAR RssiLastSample[3];    // per receive chain: last sample, average (weight 1/8) and running sum
    CHAR RssiAvg[3];
    SHORT RssiSum[3];

    // ---- receive path: signal values, receive reports, transmit-done counts, receive statistics and
    // receive-check state (n6pci, hal/chips receive dispatch, Common/recv, Common/recv_check) ------------
    ULONG RxReportTimeStamp;           // group 2 of the last receive report
    UCHAR RxReportRcpi[4];             // group 1 word 6: RCPI0, RCPI1 and the two bytes after them
    CHAR RxReportRssi[2];              // dBm of RCPI0 and RCPI1
    SHORT RxReportRssiSum[2];          // running sums: sum += RSSI - average
    CHAR RxReportRssiAvg[2];           // sum >> 3
    SHORT RxThirdSignalAvg;            // a third running signal value no receive report feeds
    UCHAR RxRcpi[4];                   // the four raw RCPI bytes of the last frame from the peer
    LONG RxRssiSum[3];                 // per-chain running sums kept by UpdateRssiSampleAvg
    LONG RxRssiAvg[3];                 // their averages
    UCHAR RxRssiAvgByte[3];            // running sum / 8, as bytes
    volatile LONG TxInFlight;          // port 0: data frames waiting for their transmit-done report
    ULONG64 TxDoneUnicast;
    ULONG64 TxDoneMulticast;
    ULONG TxDoneByContext[PORT_TX_DONE_CONTEXTS][2];
    UCHAR RxQueueStopping;
    ULONG PhyTypeIndex;                // current entry of PhyFrameStats
    ULONG64 PhyFrameStats[PORT_PHY_STAT_ENTRIES][DOT11_PHY_STAT_COUNTERS];
    ULONG64 MacFrameStats[2][DOT11_MAC_STAT_COUNTERS];  // [0] unicast, [1] multicast
    ULONG TkipMicFailureTotal;
    ULONG ExcludedUnicast;
    ULONG ExcludedGroup;
    ULONG CipherSetting;               // DOT11_CIPHER_ALGORITHM of the connection
    ULONG AuthMode;                    // 1 open
    UCHAR HostCipher;                  // the host encrypts and decrypts
    UCHAR KeyExchangeState;            // 3 or 4 while the keys are being exchanged
    UCHAR PortKeyCipher[4];            // cipher of port key 0-3: 1/2 WEP, 3 TKIP, 4 AES
    UCHAR MissedBeaconCount;
    UCHAR LowLatency;                  // Wi-Fi Direct group owner or client in low-latency mode
    UCHAR EarlyData;                   // a frame passed the port gate before the port was open
    USHORT EapolSequence;              // sequence number of the last EAPOL frame received
    UCHAR EapolProtected;              // the last EAPOL frame on a station port was protected
    // ---- indication layers: the connection dialogue with the OS, its history, the link figures (platform/ndis6/n6indicate) ----
    PORT_INDICATION_BLOCK Ind;
    // ---- legacy firmware event handlers: block-ack window, channel-time wait (Common/qzevent_handlers) ----
    USHORT BaWindowLimit;        // block-ack window limit; its low byte bounds a receive agreement's window
    UCHAR BaQuirk;               // a peer asked for window 0 with time-out 5000 and the immediate policy
    UCHAR PendingActionFrame;    // an action frame waits for channel time: its MLME message body is kept
    PVOID PendingActionBody;     // MLME buffer (MlmeFreeMemory)
    ULONG PendingActionLength;
    // ---- NetAdapterCx transmit and receive queues of the port (platform/wificx) ----
    UCHAR TxAcBestEffortOnly[5];     // per access category: its queues send as best effort
    UCHAR WfdGoFlag;                 // the Wi-Fi Direct group owner runs on this port
    NETPACKETQUEUE TxVideoQueue;     // access-point port: its queue of access category 2
    PQZCX_TXQUEUE TxVideoQueueContext;
    NETPACKETQUEUE TxGroupQueue;     // access-point port: its queue of the broadcast peer
    NETPACKETQUEUE RxQueue;          // the port's receive queue (null while it has none)
    UCHAR RxStopped;                 // 1 between the receive queue's stop and start
    // ---- data path: transmit state, rates, block-ack agreements, receive stores, action exchanges
    // (platform/wificx/wificxtx, Common/mlme/mlmeinfo_rate, Common/mlme/mlmesync_ba, Common/recv,
    // Common/mlme/mlmeaction) ----
    PORT_XMIT_BLOCK Xmit;
    PORT_RATE_BLOCK Rate;
    PORT_BA_BLOCK Ba;
    PORT_RECV_BLOCK Recv;
    PORT_ACTION_BLOCK Action;
    // ---- security: the BIP-GMAC-256 key and its receive check (Common/mlme/mlmeinfo, mlmeaes) ----
    PORT_BIP_GMAC_KEY BipGmac;
    // ---- security: shared key slots, BIP key record, default key index (Common/mlme/mlmeinfo_key) ----
    MLME_KEY_PORT_BLOCK Keys;
    // ---- WPS: device information sources, the OS's element, the search's candidates (Common/mlme/mlmewsc) ----
    WSC_PORT_BLOCK Wsc;
    // ---- VHT, HE and EHT capability and operation records, the access point's HE parameters (Common/rlm_vht, Common/he) ----
    RLM_PORT_BLOCK Rlm;
    // ---- connection settings of the OS's connect and roam tasks (platform/wdi) ----
    PORT_CONNECT_CONFIG ConnectConfig;
    // ---- multi-channel concurrency: the channel grant (Common/p2p/p2pms) ----
    MULTI_CHANNEL_GRANT Grant;
} MP_PORT;
