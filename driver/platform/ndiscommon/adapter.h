// MP_ADAPTER, the one object per device (the framework device context), and MP_PORT, the
// per-port block. The adapter grows module by module: each module's share is a block declared in
// that module's own header.
#pragma once

#include <atomic>

#include "kshim/ke.h"
#include "kshim/ndis.h"
#include "kshim/netadapter.h"
#include "platform/wificx/txqueue.h"
#include "platform/wificx/wificxtx.h"
#include "Common/recv.h"
#include "Common/mlme/mlmeinfo_rate.h"
#include "Common/mlme/mlmesync_ba.h"
#include "Common/mlme/mlmeaction.h"
#include "Common/cnm.h"
#include "Common/common.h"
#include "Common/fwsettings.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmesync_chnl.h"
#include "Common/p2p/p2p.h"
#include "Common/qzcmd.h"
#include "Common/qzevent_capability.h"
#include "hal/common/fwfile.h"
#include "hal/common/hal_chip.h"
#include "hal/common/phy_cfg.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/registry_block.h"
#include "platform/ndiscommon/registry_table.h"
#include "platform/wdi/wdimain.h"
#include "platform/wificx/wificxcaps.h"

#define MP_ADAPTER_SIGNATURE 0xAABBCCDDu
#define MP_MAX_PORTS 5
#define MAC_ADDR_LEN 6
// The adapter's copies of the last beamforming profile data and tag events.
#define BF_PROFILE_DATA_SIZE 136
#define BF_PROFILE_TAG_SIZE 56

// ---- the adapter flag word -----------------------------------------------------------------------------
#define ADAPTER_FLAG_MLME_RESTARTING 0x00000002u    // MLME state machines restarting
#define ADAPTER_FLAG_LOW_POWER_RETURN 0x00000004u   // back from low power, power state not yet restored
#define ADAPTER_FLAG_TX_RINGS_READY 0x00000008u     // transmit rings initialised
#define ADAPTER_FLAG_TX_HELD 0x00000020u            // transmission held for a Wi-Fi Direct switch or absence
#define ADAPTER_FLAG_HALT_IN_PROGRESS 0x00000040u
#define ADAPTER_FLAG_NOT_RESPONDING 0x00000100u     // interrupt status read back all ones
#define ADAPTER_FLAG_FW_RECOVERY 0x00000800u
#define ADAPTER_FLAG_CH_PRIVILEGE 0x00001000u       // channel-privilege request outstanding
#define ADAPTER_FLAG_SCANNING 0x00004000u
#define ADAPTER_FLAG_RADIO_OFF 0x00020000u
#define ADAPTER_FLAG_RESUME_CLEAR 0x00400000u       // cleared at every resume
#define ADAPTER_FLAG_OS_SCAN 0x01000000u            // OS scan or discovery request outstanding
#define ADAPTER_FLAG_SURPRISE_REMOVED 0x10000000u
#define ADAPTER_FLAG_PCI_SUSPENDED 0x40000000u

// Combinations tested elsewhere.
#define ADAPTER_FLAGS_HALTING_OR_REMOVED 0x10000040u  // timer callbacks, thread bodies, work items return
#define ADAPTER_FLAGS_REGISTER_REFUSED 0x10000100u
#define ADAPTER_FLAGS_THREAD_CMD_DROP 0x40000140u     // control and P2P thread commands dropped
#define ADAPTER_FLAGS_MLME_STOP 0x40000042u
#define ADAPTER_FLAGS_MLME_RECV_STOP 0x40000142u

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
    ULONG DeferredDoorbellCount;       // data descriptors queued since the last CPU-index write
    ULONG DoorbellThreshold;           // the CPU index is written at least every threshold / 2 frames
    UCHAR FixedRateEnable;             // port 0: every descriptor gets the fixed rate below
    PHY_CFG FixedRatePhyCfg;
    ULONG RxVectorStore[PORT_RX_VECTOR_WORDS];  // receive vector words (RCPI word 3, rate word 12, ...)
    ULONG NetworkKind;                 // 0 infrastructure; a port reset sets 4
    UCHAR NetworkActive;               // the port's network is active in the firmware
    // Firmware BSS, station-record, key and power-management commands (Common/qzcmd_bss): the values
    // they send, written by the connection, access-point and Wi-Fi Direct code.
    UCHAR NetworkActivation[2];        // the state the last activation command set (sent, answered)
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
    // ---- data path: transmit state, rates, block-ack agreements, receive stores (platform/wificx/wificxtx,
    // Common/mlme/mlmeinfo_rate, Common/mlme/mlmesync_ba, Common/recv) ----
    PORT_XMIT_BLOCK Xmit;
    PORT_RATE_BLOCK Rate;
    PORT_BA_BLOCK Ba;
    PORT_RECV_BLOCK Recv;
    PORT_ACTION_BLOCK Action;
} MP_PORT;

// The multicast list the receive filter sends to the firmware: at most 16 addresses.
#define MULTICAST_LIST_MAX 16
typedef struct _MULTICAST_LIST {
    ULONG Count;
    UCHAR Addresses[MULTICAST_LIST_MAX][MAC_ADDR_LEN];
} MULTICAST_LIST;

// ---- separately allocated adapter blocks ------------------------------------------------------------------
#define ADAPTER_COMMON_BUFFER_SIZE 1024
#define VENDOR_DESC_SIZE 64

// A PHY type's supported and basic rates (500 kb/s units).
#define PHY_RATE_SET_MAX 12
typedef struct _PHY_RATE_SET {
    UCHAR SupportedCount;
    UCHAR Supported[PHY_RATE_SET_MAX];
    UCHAR BasicCount;
    UCHAR Basic[PHY_RATE_SET_MAX];
} PHY_RATE_SET, *PPHY_RATE_SET;

// PHY type codes of the supported-PHY-type list.
#define PHY_TYPE_OFDM 4     // 5 GHz
#define PHY_TYPE_HRDSSS 5
#define PHY_TYPE_ERP 6

typedef struct _ADAPTER_COMMON_BLOCK {
    UCHAR VendorDescLength;
    CHAR VendorDesc[VENDOR_DESC_SIZE];
    ULONG NdisVersion;  // the OS's NDIS version, stored when the resources are allocated
    PUCHAR Buffer;      // ADAPTER_COMMON_BUFFER_SIZE bytes

    // Configuration: the copy of "MultipleIRP" and the count derived from it (5 when set, else 1).
    UCHAR MultipleIrp;
    UCHAR MultipleIrpCount;
    // Supported and basic rate sets per PHY type (500 kb/s units), filled by KOVAInitPhyType.
    PHY_RATE_SET HrDsssRates;
    PHY_RATE_SET ErpRates;
    PHY_RATE_SET OfdmRates;
} ADAPTER_COMMON_BLOCK, *PADAPTER_COMMON_BLOCK;

// NDIS versions the shell compares with.
#define NDIS_VERSION_620 0x00060014u
#define NDIS_VERSION_629 0x0006001Du
#define NDIS_VERSION_630 0x0006001Eu

#define SUPPORTED_PHY_TYPE_MAX 7

typedef struct _SUPPORTED_PHY_TYPES {
    ULONG NumberOfEntries;
    ULONG TotalNumberOfEntries;
    ULONG PhyTypes[SUPPORTED_PHY_TYPE_MAX];
} SUPPORTED_PHY_TYPES, *PSUPPORTED_PHY_TYPES;

// ---- the two packet-pool blocks, built by the adapter block initialisation (ndiscommoninit) -------------
typedef struct _PACKET_RECORD_LIST {
    PVOID Head;
    PVOID Tail;
    ULONG Count;
} PACKET_RECORD_LIST;

#define PACKET_RECORD_COUNT 1024
#define RX_INDICATE_BUFFER_SIZE 8192      // one buffer every receive record describes
#define MGMT_FRAME_BUFFER_SIZE 2346       // each management record's own buffer
#define RX_INDICATE_TABLE_ENTRIES 64
#define PACKET_RECORD_MAGIC 0x0C7B0C7Bu  // receive records

// One OS packet record of either block: its MDL, net buffer and net buffer list (whose
// miniport-reserved area points back at the record) and, for a management record, its own buffer.
#pragma pack(push, 1)
typedef struct _PACKET_RECORD {
    struct _PACKET_RECORD* Next;
    ULONG Index;
    ULONG Magic;             // PACKET_RECORD_MAGIC on receive records
    PMDL Mdl;
    PNET_BUFFER NetBuffer;
    PNET_BUFFER_LIST NetBufferList;
    PUCHAR Buffer;           // management records
    USHORT ShortIndex;       // receive records
} PACKET_RECORD, *PPACKET_RECORD;
#pragma pack(pop)

typedef struct _RX_INDICATE_PORT_ENTRY {
    UCHAR Flag;
    PVOID Pointer;
    ULONG Value;
} RX_INDICATE_PORT_ENTRY;

// The receive indication block: both OS pools, 1,024 records over one shared 8,192-byte buffer.
typedef struct _RX_INDICATE_BLOCK {
    NDIS_HANDLE NblPool;
    NDIS_HANDLE NbPool;
    PACKET_RECORD_LIST RecordList;
    PACKET_RECORD Records[PACKET_RECORD_COUNT];
    PUCHAR SharedBuffer;
    UCHAR IndicateState;     // cleared before the pools are built
    ULONG64 Table[RX_INDICATE_TABLE_ENTRIES];  // the first byte of each entry is cleared at start
    RX_INDICATE_PORT_ENTRY PortEntries[5];
} RX_INDICATE_BLOCK, *PRX_INDICATE_BLOCK;

// The management-frame block: 1,024 records, each with its own 2,346-byte buffer.
typedef struct _MGMT_FRAME_BLOCK {
    PACKET_RECORD_LIST RecordList;
    PACKET_RECORD Records[PACKET_RECORD_COUNT];
} MGMT_FRAME_BLOCK, *PMGMT_FRAME_BLOCK;

// ---- the key-mapping record pool of the security code, built by the adapter block initialisation -------
#define KEY_MAPPING_RECORD_COUNT 256
typedef struct _KEY_MAPPING_RECORD {
    struct _KEY_MAPPING_RECORD* Next;
    ULONG State;  // cleared when the record joins the free list; the rest is the security code's
} KEY_MAPPING_RECORD, *PKEY_MAPPING_RECORD;

typedef struct _KEY_MAPPING_LIST {
    PKEY_MAPPING_RECORD Head;
    PKEY_MAPPING_RECORD Tail;
    ULONG Count;
} KEY_MAPPING_LIST;

typedef struct _KEY_MAPPING_POOL {
    KEY_MAPPING_RECORD Records[KEY_MAPPING_RECORD_COUNT];
    KEY_MAPPING_LIST FreeList;
    KEY_MAPPING_LIST InUseList;
    KSPIN_LOCK Lock;
} KEY_MAPPING_POOL;

typedef struct _PCI_HIF_CONTEXT PCI_HIF_CONTEXT, *PPCI_HIF_CONTEXT;

// An interlocked list of receive return records with its lock.
typedef struct _RX_RETURN_LIST {
    LIST_ENTRY Head;
    KSPIN_LOCK Lock;
} RX_RETURN_LIST, *PRX_RETURN_LIST;

// ---- the adapter ----------------------------------------------------------------------------------------------
#define ADAPTER_CONN_VALUES_SIZE 32
#define ADAPTER_STA_STATE_BYTES 10

// The station defaults of the working configuration restored by NdisCommonResetAdapterCfg.
typedef struct _STA_DEFAULT_CFG {
    UCHAR DefaultMark;
    UCHAR Cleared;
    ULONG SecurityDefault0;  // 6
    ULONG SecurityDefault1;  // 2
    USHORT Word;             // 0x100
    UCHAR ByteAfterWord;
    ULONG64 Value;
} STA_DEFAULT_CFG;

// What every WDI parse and generate call is handed: the allocation context and the peer's (the OS's)
// WDI version.
typedef struct _QZL_TLV_CONTEXT {
    PVOID AllocationContext;
    ULONG PeerVersion;
} QZL_TLV_CONTEXT;


// ---- configuration derived at the first power-up -----------------------------------------------------------
#define WPS_DEV_NAME_SIZE 32
#define DOMAIN_CHANNEL_MAX 118
#define THROUGHPUT_THRESHOLD_COUNT 15  // "HLegacy11g" to "L11xBW40", "HSignal" and "MSignal" aside
#define THERMAL_ADMISSION_COUNT 4

// One channel of the adapter's channel list, which the regulatory domain code builds for the
// current country.
typedef struct _DOMAIN_CHANNEL_ENTRY {
    UCHAR Channel;
    ULONG Band;    // BAND_24G, BAND_5G, BAND_6G
    UCHAR Mark;    // 20/40 coexistence mark
    USHORT Flags;  // 8 radar, 2 passive
} DOMAIN_CHANNEL_ENTRY, *PDOMAIN_CHANNEL_ENTRY;

// The adapter-wide working configuration, derived from the registry block.
typedef struct _ADAPTER_WORKING_CFG {
    ULONG TransmitSetting;
    UCHAR WirelessMode;       // from "CurrPhyMode"
    UCHAR WirelessModeCopy;
    ULONG BaCapability;
    UCHAR WmmCapable;
    USHORT L1IdleTime;        // "ConnIdleTimeForL1"
    USHORT CountryCode;       // first letter in the low byte
    WORKING_P2P_MCC_CFG P2pMcc;
    UCHAR Hotspot2gCh;
    UCHAR Hotspot5gCh;

    // Scan and roaming.
    UCHAR ChannelMode;        // 1 after bring-up whatever "ChannelMode" says
    UCHAR PreferABand;
    UCHAR SmartScan;
    UCHAR FastRoamingSensitivity;
    ULONG BeaconLostTime;
    ULONG KeepReconnectCnt;
    ULONGLONG StaBcnLostTime;  // 100-nanosecond units
    UCHAR ScanListByRssi;
    ULONG SuppressScan;
    ULONG AutoChannelSelect;
    ULONG ScanAgeOutTime;
    UCHAR RssiDelta;

    // WPS.
    UCHAR WscVersion2;
    UCHAR WscVersion2Saved;
    UCHAR WscHwPBCMode;
    ULONG WSC20Testbed;

    // LEDs.
    UCHAR LEDCtlBySW;
    UCHAR LEDMode;
    USHORT LEDConfig;
    USHORT LEDAct;
    USHORT LEDPolarity;
    USHORT LedCustMode;

    // Beamforming.
    ULONG ETxBfEn;
    ULONG ETxBfTimeout;
    ULONG ETxBfNonCompressedFeedback;

    // Other station values.
    UCHAR AutoReconnect;
    UCHAR NetworkType;        // 1 infrastructure, 2 ad hoc
    ULONG AdhocOfdm;
    UCHAR AdhocNMode;
    ULONG AdhocNForceMulticastRate;
    UCHAR Adhoc5GDisable;
    UCHAR AdhocN40MHzAllowed;
    UCHAR AdhocN14Ch40MHzAllowed;
    ULONG PSMode;
    UCHAR LinkSpeedStatus;
    UCHAR MFPC;
    USHORT LinkQualitySetting;
    ULONG Feature11n;

    // Throughput thresholds: each word's high and low 16 bits, in table order.
    USHORT ThroughputHigh[THROUGHPUT_THRESHOLD_COUNT];
    USHORT ThroughputLow[THROUGHPUT_THRESHOLD_COUNT];
    ULONG HSignal;
    ULONG MSignal;
    ULONG IdleThreshold;
    ULONG TherAdm[THERMAL_ADMISSION_COUNT];  // the four bytes of "TherAdm"

    UCHAR LastChannel;        // written back on link up
    UCHAR LastBand;
    ULONG FixedValue;         // always 42

    // Start values of UserCfgInit.
    UCHAR UserWirelessMode;
    UCHAR AMPDUTx;
    UCHAR AMPDURx;
    UCHAR AMSDUTx;
    UCHAR AMSDURx;
    ULONG CapWord;            // the chip descriptor's
    UCHAR CapBits[4];         // the chip descriptor's four feature bits, one per byte
    UCHAR EnDefaultIotApRule;
    ULONG IcsTimeSyncCnt;
} ADAPTER_WORKING_CFG, *PADAPTER_WORKING_CFG;

// ---- adapter-block values of the bring-up ----------------------------------------------------------------
#define ADAPTER_TRAFFIC_COUNTERS 12
#define NEIGHBOR_REPORT_SIZE 118

// The receive performance indicator block (its values are the receive path's).
typedef struct _RX_PERF_INDICATOR {
    ULONG Values[16];
} RX_PERF_INDICATOR;

// Receive path of the adapter: the (RSSI0, RSSI1) sample ring, the duplicate debug ring, and the
// receive-check state kept per sender WLAN index (the station table's 20 entries).
#define RX_RSSI_SAMPLES 30
#define RX_DUP_RING_RECORDS 32
#define RX_STA_ENTRIES 20
#define STA_STAT_RECORD_SIZE 384
#define MIB_RECORD_SIZE 236
// Firmware status and wake events: the wake-pattern slots (20 handed out, 2 kept for the firmware's own
// wake kinds), the statistics record of a chip without its own statistics operation, and the sizes of
// the PHY status records, the WLAN-information record and the assert-dump identification line.
#define WOW_PATTERN_SLOTS 22
typedef struct _WOW_PATTERN_ENTRY {
    UCHAR InUse;
    ULONG Kind;          // 1 bitmap pattern, 2 magic packet, 3 media disconnect
    ULONG OsPatternId;   // the OS's pattern id (1 for the two other kinds)
    UCHAR Mask[16];
    ULONG MaskSize;
    UCHAR Pattern[128];
    ULONG PatternSize;
} WOW_PATTERN_ENTRY, *PWOW_PATTERN_ENTRY;
#define STA_STAT_ORI_PAYLOAD_SIZE 296
#define STA_STAT_ORI_BAND_BLOCK_SIZE 52
typedef struct _STA_STAT_BAND {
    ULONG Running32[5];   // the firmware block's five u32 counters, summed over the events
    ULONG Running16[8];   // its eight u16 counters, summed
    ULONG64 Totals[5];    // running counters summed at every event
    ULONG Last[3];        // running counters 0, 1 and 2 as the last event left them
    ULONG TotalRatio;     // thousandths: total1 / (total0 + total1)
    ULONG EventRatio;     // thousandths: c1 / (c0 + c1) of the event's own block
} STA_STAT_BAND;
typedef struct _STA_STAT_ORI_RECORD {
    UCHAR Fields[STA_STAT_ORI_PAYLOAD_SIZE];  // the copied payload fields at their payload offsets
    ULONG AirTime;                            // (u32 at 0x28 x 32 / 1000) / u32 at 0x1C
    STA_STAT_BAND Band[2];
} STA_STAT_ORI_RECORD;
#define WLAN_INFO_RECORD_SIZE 156
#define PHY_STATUS_RECORD_SMALL 20
#define PHY_STATUS_RECORD_LARGE 32

typedef struct _MP_ADAPTER {
    // Framework handles and the device objects beneath the device.
    WDFDEVICE Device;
    PDEVICE_OBJECT Pdo;  // the bus's physical device object
    PDEVICE_OBJECT Fdo;  // the functional device object: the source of the event-log entries

    // Adapter state.
    ULONG OpMode;     // copy of "OpMode"
    ULONG Signature;  // MP_ADAPTER_SIGNATURE once bring-up has run
    volatile LONG Flags;  // changed only through AdapterSetFlag / AdapterClearFlag / AdapterSetFlagUnlocked
    ULONG Running;        // 1 once bring-up has completed

    // Ports and BSS slots.
    PMP_PORT PortList[MP_MAX_PORTS];
    ULONG PortCount;
    ULONG PortCountCompanion;
    BSS_INDEX_SLOT BssIndexSlots[BSS_INDEX_SLOT_COUNT];

    // Device identity: the PCI device id that selects the chip.
    USHORT DeviceId;

    // Separately allocated blocks.
    PADAPTER_COMMON_BLOCK CommonBlock;
    PPCI_HIF_CONTEXT HifContext;
    PP2P_CTRL_BLOCK P2pBlock;
    PRX_INDICATE_BLOCK RxIndicateBlock;
    PMGMT_FRAME_BLOCK MgmtFrameBlock;
    PSUPPORTED_PHY_TYPES SupportedPhyTypes;
    ULONG SupportedPhyTypesSize;

    // What device add learnt of the platform.
    QZL_TLV_CONTEXT TlvContext;
    UCHAR WakeFromSxSupported;  // 1 when the wake-from-Sx settings were accepted
    UCHAR S0IdleSupported;      // 1 when the S0-idle settings were accepted
    ULONG OsBuildNumber;

    // System event log.
    UCHAR EnableSystemEventLog;  // copy of the service value "EnableSystemEventLog"
    volatile LONG EventSerialNumber;

    // Working configuration.
    UCHAR WfdPhyMode;  // working copy of "WfdPhyMode"
    STA_DEFAULT_CFG StaDefaults;

    // Chip operations table and descriptor copies.
    CHIP_HAL_OPS HalOps;
    CHIP_HAL_INFO HalInfo;

    // Chip identity, read by the version queries of the chip layer.
    ULONG HwVersion;   // low 16 bits of the chip's hardware-version register
    ULONG HwIdentity;  // hardware identity word (bit 7: the "1a" revision of the 3501 group)
    ULONG RomVersion;  // ROM version (low byte only)

    // Error recovery: the state chip selection resets, and the run of failed register reads.
    UCHAR SerState;         // 0 idle, 1 transmit stopped, 2 DMA re-initialised, 3 transmit resumed
    ULONG SerEventWord;
    UCHAR SerEnabled;       // 1: the chip's system-error recovery is handled
    UCHAR FwRecoveryState;  // 0 idle; 1 or 2 while a firmware recovery runs
    ULONG FwRecoveryCount;
    ULONG IoErrorCount;     // consecutive register reads that found the device removed
    UCHAR FwDownloaded;     // 1 once the RAM code runs: RAM-mode events, unified commands on the third generation

    // ---- error recovery, SER steps and firmware recovery (ndiscommonhif, hal/common/hal_ser) ------------------
    // Counters of the recovery kinds 1 to 4 (kind 5 counts in RecoveryIoFailCount, the L0.5 recoveries in
    // RecoveryL05Count, the platform-level resets in RecoveryBusHangCount); the L0.5-done mark is
    // RecoveryInProgress.
    UCHAR RecoveryKindCount[4];
    LONG64 L05StartTime;           // system time the running L0.5 started; 0 when none
    UCHAR PldrMark;                // a platform-level device reset was requested
    LONG64 PldrStartTime;          // system time of that request
    UCHAR TxStopped;               // the SER transmit-stop check found every dequeue idle
    // Per access category: a dequeue of TxProcq[ac] runs (1), under the category's dequeue lock.
    UCHAR AcDequeueInProgress[5];
    KSPIN_LOCK AcDequeueLock[5];
    ULONG SerIntCount;             // SER step interrupts served
    ULONG RecoveryStage;           // 2 while a SER runs
    KEVENT SerDoneEvent;           // set when a SER has passed all its steps
    PLATFORM_TIMER SerCheckTxStopTimer;  // "rSerCheckTxStopTimer"
    UCHAR RoamAfterRecovery;       // the scan, connect and roam tasks roam once after a firmware recovery
    UCHAR PmfEnabled;              // protected management frames are in use on the connection

    UCHAR PermanentAddress[MAC_ADDR_LEN];
    UCHAR CurrentAddress[MAC_ADDR_LEN];

    // One field per configuration row.
    REGISTRY_BLOCK RegistryBlock;

    // ---- configuration: what the reader derives besides the registry block ----
    REGISTRY_RADIO_STATE RadioState;  // "Radio" split into the software, hardware, radio-on and firmware bytes
    ULONG FwToHost;                   // "FWToHost" of the firmware-log autologger
    USHORT RegCountryCode;            // parsed "CountryRegionString"
    UCHAR CssCode;                    // power-limit variant letter ("CSSCode")
    UCHAR WpsDevNameLength;
    CHAR WpsDevName[WPS_DEV_NAME_SIZE];
    UCHAR AddressConfigured;          // 1 when "NetworkAddress" gave the current address
    UCHAR Only24G;                    // 2.4-GHz-only flag of the chip's capability report
    ULONG BandWord;                   // 1 on a 2.4 GHz-only adapter, 2 otherwise
    UCHAR DefaultChannel;             // 36 on a dual-band adapter
    USHORT AntennaPath;               // low nibble first path count, next nibble second
    ULONG RandomSeed;                 // pseudo-random generator state; 0 = not yet seeded
    UCHAR ChannelListCount;
    DOMAIN_CHANNEL_ENTRY ChannelList[DOMAIN_CHANNEL_MAX];
    ADAPTER_WORKING_CFG WorkingCfg;
    // Values of other subsystems written here: the SAR sensor state (mode and value, for the
    // companion Bluetooth driver), and the start values set by UserCfgInit.
    UCHAR SarSensorMode;
    ULONG SarSensorValue;
    LONGLONG LastIcmpEchoTime;        // when the last ICMP echo request was sent
    UCHAR PingEnhanceActive;
    UCHAR ScanPhase[2];               // the scan machine's two phase bytes
    UCHAR IotApRuleMatched;           // a matched IoT access-point rule

    // Worker threads, internal commands, firmware command slots.
    std::atomic<UCHAR> StopThreads;  // 1 asks every worker thread to end
    PLATFORM_THREAD FwCmdThread;       // "PlatformFWCmdThread"
    PLATFORM_THREAD IntHandlerThread;  // "PlatformIntHandlerThread"
    PLATFORM_THREAD FwIdxLogThread;    // "PlatformFWIdxLogThread"
    PLATFORM_THREAD ControlCmdThread;  // "PlatformControlCmdThread"
    PLATFORM_THREAD IcsCmdThread;      // "IcsCmdThread"
    PLATFORM_THREAD MlmeThread;        // "MlmeThread"; its wake event is the MLME event
    PLATFORM_THREAD TxNetQueueThread;  // "WINCXTxNetQueueThread"
    PLATFORM_THREAD SendAfterSerThread;  // "WdiSendDataThreadAfterSER"; its wake event is the send-restart event
    INTERNAL_CMD_BLOCK Cmd;
    FW_CMD_SLOT FwCmdSlots[FW_CMD_SLOT_COUNT];
    KSPIN_LOCK FwCmdSlotLock;
    UCHAR LowPowerMode;  // the chip's low-power ownership feature is in use
    SCAN_NEIGHBOR_AP_LIST NeighborApList;
    NDIS_RW_LOCK MacTabLock;

    // Flag word lock.
    KSPIN_LOCK FlagLock;
    KIRQL FlagLockIrql;

    // Hardware preparation: what the prepare-hardware callback takes and the release gives back.
    BUS_INTERFACE_STANDARD BusInterface;  // the PCI bus interface (configuration space)
    WDFSPINLOCK TxQueueLock;              // taken by the transmit queue's start callback
    LARGE_INTEGER ResourceAllocTime;      // local time at which the resources were allocated
    RX_RETURN_LIST RxReturnFree;          // RX_RETURN_CONTEXT_COUNT records at start
    RX_RETURN_LIST RxReturnSta;           // frames indicated on a station adapter
    RX_RETURN_LIST RxReturnAp;            // frames indicated on an access-point adapter
    LIST_ENTRY PendingRequestList;        // parked private requests (PENDING_OID_REQUEST)
    KSPIN_LOCK PendingRequestLock;
    UCHAR PendingRequestListReady;        // set (release) once the list and its lock are initialised
    volatile LONG PendingRequestCount;

    // Port reset state.
    ULONG ResetState;
    UCHAR ResetDisconnectMark;
    UCHAR OsScanPendingAtReset;
    UCHAR RoamingMark;
    USHORT ConnValueWord;
    UCHAR ConnValues[ADAPTER_CONN_VALUES_SIZE];
    UCHAR StaStateBytes[ADAPTER_STA_STATE_BYTES];
    ULONG ResetValues[2];

    // ---- firmware commands and events (Common/qzcmd, Common/qzevent) ---------------------------------
    // The command queue beside FwCmdSlots and FwCmdSlotLock: its two ring indices and the two events of
    // each slot. The command thread's wake event is FwCmdThread's.
    UCHAR FwCmdWriteIndex;
    UCHAR FwCmdReadIndex;
    UCHAR FwCmdQueuedCount;  // slots taken that the command thread has not yet passed (20 when all are)
    ULONG FwCmdQueueEpoch;   // advanced each time the queue is emptied
    KEVENT FwCmdSentEvents[FW_CMD_SLOT_COUNT];
    KEVENT FwCmdRespEvents[FW_CMD_SLOT_COUNT];
    // Firmware state the send call and the event dispatch follow.
    UCHAR RecoveryInProgress;  // a firmware-level (L0.5) recovery runs: every command is refused
    UCHAR CmdTimeout;          // a command got no answer in time: every command is refused until recovery
    UCHAR FwJustDownloaded;    // set when a download starts, cleared 10 s later: 7 s sent waits
    UCHAR ShuttingDown;        // 1 s waits
    ULONG RefusedCmdCount;     // commands refused by class while a firmware recovery runs
    // Values the boot ROM's events report, read by the firmware download.
    ULONG RomVersionWord;      // register-read answer for chip address 0x88000004, polled by the ROM-version query
    UCHAR PatchSemaphoreStatus;
    UCHAR BtPatchStatus;
    ULONG BtPatchValue;
    ULONG FwLogBaseAddress;    // third generation
    // Events the dispatch dropped: shorter than their descriptor and header or than the header
    // says, and events whose id has no handler.
    volatile LONG FwEventShortCount;
    volatile LONG FwEventUnknownCount;

    // ---- unified commands and events (Common/nic_uni_cmd_event) ---------------------------------------
    // Unified events, or TLVs inside them, that lie about their length (shorter than their fixed
    // part or fields, a TLV length below 4 or past the event's end), and TLVs no handler uses.
    volatile LONG UniEventMalformedCount;
    volatile LONG UniEventUnknownTagCount;
    UCHAR FwDbdcState;   // the firmware's dual-band state, as its dual-band report last gave it
    UCHAR DbdcMode;      // dual-band mode chosen by the driver: the firmware's report then leaves the BSS bands alone
    ULONG BtState[6];    // the six words of the firmware's Bluetooth state report
    UCHAR BtReady;       // the Bluetooth side reported ready (sixth word 1)
    UCHAR EfuseStatus[2];
    UCHAR EfuseData[16];

    // ---- firmware files and download (hal/common/fwfile, hal/common/fwdownload) -----------------------
    FW_FILE_BLOCK FwFiles;                  // both loaded containers, the last image's time stamp
    CHAR FwIdentText[FW_IDENT_TEXT_SIZE];   // ";" + the RAM code's identification text + line feed
    LONG64 FwStartTime;                     // system time the RAM code came up (with FwJustDownloaded)
    ULONG ScatterBusyRegister;              // 3404: read before each piece of download data

    // ---- host interface: DMA, interrupts and chip ownership ----------------------------------------
    // (kept together by the bus layer and the chip layer; the DMA enabler is created by the adapter
    // block initialisation)
    WDFDMAENABLER DmaEnabler;
    // The receive-pending mask: bits 0x1, 0x2, 0x4 set while receive pool 0, 1, 2 ran dry (and while
    // ring 0, 1, 2 had work left after a pass); 0x8: ring 0 had more work than one pass. Changed only
    // with atomic operations. Each failed take of a receive record adds 0x10000 to the failure count.
    ULONG RxExhaustMask;
    ULONG RxAllocFailCount;
    // Interrupts.
    // Bytes read by the interrupt routines on other processors: accessed with atomic loads and stores.
    UCHAR InterruptsDisabled;    // 1 after the interrupt object's disable callback, 0 after enable
    UCHAR SleepFlag;             // set by the power-by-port code while the device sleeps
    ULONG RxPassCount[2];        // receive passes that left work behind (ring 0; rings 1 and 2)
    ULONG RxThroughput[2];       // the periodic job's receive throughput figures (ring 0, ring 2)
    ULONG SavedSwIntStatus;      // the MCU-to-host software interrupt status last served
    ULONG PcieErrorCount;        // counted with atomic operations
    ULONG FwAssertCount;
    UCHAR IntRecoveryPending[2]; // both set to 1 when the interrupt path asked for firmware recovery
    UCHAR FwLogPending;          // the firmware said its log ring holds data
    // Ownership of the chip: driver own or firmware own.
    KSPIN_LOCK OwnLock;
    KIRQL OwnLockIrql;
    alignas(2) UCHAR FwOwn[2];   // FwOwn[0]: 1 while the firmware owns the chip; both cleared together
    UCHAR LowPowerRestore;       // PCIe low-power settings were changed when ownership was given away
    volatile LONG OwnInProgress; // driver-own polls running with the own lock released
    volatile LONG OwnCallBalance;

    // ---- firmware commands on the rings and the receive ring service (platform/ndis6/n6pci) ----------
    volatile LONG RxFrameCount;  // buffers taken off receive ring 0 (interlocked)
    UCHAR DumpInProgress;        // 1 while the chip's register dumps run (hal/common/hal_services)
    // ---- data path: packet queues, transmit descriptors, frame ring submission (dmaq, hal_desc, n6pci) ----
    ULONG64 TxDoneAgeSweepTime;        // system time of the last age sweep that found nothing old
    volatile LONG DataTxInFlight;      // data frames on the data rings (interlocked)
    volatile LONG GoTxInFlight;        // of them, frames of a group-owner port (interlocked)
    UCHAR MccActive;                   // multi-channel concurrency: a second channel is in use

    // ---- adapter block: counters, pools and lists built by NdisCommonInitAdapterBlock (ndiscommoninit) ----
    ULONG64 TrafficCounters[ADAPTER_TRAFFIC_COUNTERS];  // incremented by the data path
    RX_PERF_INDICATOR RxPerfIndicator;                  // cleared every second when "fgPerfIndicatorEn"
    KEY_MAPPING_POOL KeyMappingPool;
    LIST_ENTRY AdapterList;

    // ---- firmware bring-up (hal/common/hal_bringup, hal/common/hal_postdl) -----------------------------
    ULONG CpuVendor;                   // HAL_CPU_VENDOR_*: the processor's vendor, read at bring-up
    UCHAR KeepRunningFw;               // the firmware stayed alive through a low-power state: keep it
    UCHAR ChannelPrivilegeSupported;
    // What the firmware's capability answer reports (its event handler writes them).
    UCHAR ChipTxPathMask;
    UCHAR ChipStreams;                 // high four bits transmit, low four bits receive streams
    UCHAR FactoryCalCapable;
    // The chip capability report beyond the bring-up's copies (Common/qzevent_capability).
    NIC_CAPABILITY_RECORD NicCapability;
    CHIP_CAPABILITY_RECORD ChipCapability;
    USHORT HwAntennaPath;              // the chip's antenna-path word: limits the peers' stream-count updates
    UCHAR ChipTxLdpc;                  // PHY capability: 1 when the chip transmits LDPC
    UCHAR ChipRxLdpc;                  // PHY capability: 1 when the chip receives LDPC
    UCHAR SixGCapable;                 // the chip reports 6 GHz support
    volatile LONG ChipCapMalformedCount;  // capability records cut short or skipped as too short
    // The second generation's copies of the capability answer.
    UCHAR TxPathSetting;
    UCHAR TxStreamLimit;
    UCHAR RxStreamLimit;
    UCHAR DualBand;                    // 1 when both the 2.4 GHz and the 5 GHz band are enabled
    UCHAR PlatformPcieSwitch;          // the platform's PCIe-switch flag, read with the SAR tables
    // The MLME core's queue and BSS table (MlmeInit creates them).
    struct _MLME_QUEUE* MlmeQueue;
    PBSS_TABLE ScanTable;
    NLO_OFFLOAD_RECORD NloOffload;     // the network-list offload set for sleep
    // Firmware scan, channel-privilege and domain commands (Common/qzcmd_scan): the BSS index of the
    // held grant, the completion waiting for a grant, the scan request the abort reads, the WDI layer's
    // scan-aborted mark, the private scan filter, the offload's sequence number and the 6 GHz reports.
    UCHAR ChPrivilegeBssIndex;
    PVOID ChPrivilegeCompletion;           // QZ_CMD_COMPLETION of the outstanding request
    PMP_PORT ChPrivilegeCompletionPort;
    PVOID ChPrivilegeCompletionContext;
    struct _MLME_SCAN_REQ* ScanRequest;    // the adapter's current scan request (the sync machine's record)
    UCHAR ScanTaskAborted;                 // the OS scan task of the current request was aborted
    UCHAR BeaconTimeoutMark;               // a beacon time-out is being handled
    UCHAR PrivateScanFilterOn;
    UCHAR PrivateScanFilterAddress[MAC_ADDR_LEN];
    UCHAR NloScanSeqNum;
    UCHAR Chip6GhzCapable;                 // the chip reports the 6 GHz band
    UCHAR FwCap6GhzOff;                    // the firmware's capability report turns 6 GHz off

    // ---- Wi-Fi Direct: scan request, channel privilege and working values (Common/p2p) ---------------------
    P2P_SCAN_REQUEST P2pScanRequest;   // the scan request the Wi-Fi Direct channel lists fill for the sync machine
    UCHAR FixedScanList;               // 1: the channel plan is not copied into P2P scan lists
    ULONG P2pTrafficCounts[2];         // the periodic statistics' traffic counters (below 80: light traffic)
    UCHAR ChPrivilegeHeld;             // the held channel privilege
    UCHAR ChPrivilegeChannel;
    UCHAR ChPrivilegeBand;
    UCHAR DiscoveryPrivilege;          // a discovery's channel privilege is outstanding
    UCHAR CurrentBand;                 // the adapter's current band byte
    ULONG P2pCounter;                  // the adapter counter P2P command 0x20000005 clears

    // ---- bring-up, teardown and power transitions (ndiscommoninit, wificxmain) -------------------------
    UCHAR InitFinished;                // set at the end of every bring-up, failed or not
    UCHAR NicStarted;                  // the first power-up brought the NIC up; cleared when it is shut down
    UCHAR NicShutDown;
    UCHAR ShutdownNotified;            // the system is shutting down
    UCHAR IcsLogging[2];               // the two ICS logging bytes
    UCHAR OsScanRequest;               // an OS scan request is recorded (the WDI layer sets it)
    ULONG PendingScanPort;             // port number of the pending OS scan
    ULONG CurrentPowerState;           // 1 D0 (working), 2 D1, 3 D2, 4 D3 (sleep)
    ULONG PowerUpFailed;               // 1 when the last power-up from D3 failed
    UCHAR WowArmed;
    UCHAR WowPatternCount;             // installed wake patterns
    UCHAR WowOffloadCount;             // installed protocol offloads
    UCHAR LowPowerCountdownActive;
    ULONG LowPowerCountdown;           // 100 ms ticks left before the station periodic job rests
    LARGE_INTEGER LastD0Time;          // local time of the last return to D0
    LARGE_INTEGER LastLowPowerTime;    // local time of the last entry to low power
    ULONG PowerUpCounters[2];          // cleared at every resume (with port 0's)
    ULONG StartCounter;                // cleared after a good first power-up
    UCHAR NeighborReportCount;         // the WDI property handlers' neighbour-report store
    UCHAR NeighborReport[NEIGHBOR_REPORT_SIZE];
    UCHAR ReorderQueueInUse[REORDER_QUEUE_COUNT];  // in-use bytes of the receive reorder queues
    PLATFORM_TIMER WowRxResumeTimer;   // the receive-ring resume timer (the wake-on-WLAN set-up creates it)

    // ---- control-thread executor, system event log, private requests (ndiscommonhif_control, logevent,
    // ndiscommonioctl) ----------------------------------------------------------------------------------------
    // Core-dump file: open mark, the assert-dump mark, the dump-in-progress mark and byte count of the
    // assert-dump event, and the file handle.
    UCHAR CoreDumpOpen;
    UCHAR AssertDumpMark;
    UCHAR CoreDumpInProgress;
    ULONG CoreDumpByteCount;
    HANDLE CoreDumpFile;
    // ICS log file: open mark, handle, and the record counter of its record headers.
    UCHAR IcsLogOpen;
    HANDLE IcsLogFile;
    USHORT IcsRecordCounter;
    ULONG PendingWakeIndication;  // a wake reason still to be indicated at the next link loss
    // System event log: clients connected to the group owner, and the three recovery counters.
    ULONG GoClientCount;
    UCHAR RecoveryIoFailCount;
    UCHAR RecoveryL05Count;
    UCHAR RecoveryBusHangCount;
    // Private requests: when the last one was accepted (ms), the last beamforming profile events, and the
    // last register-access answers for two registers of the second generation.
    ULONG64 LastPrivateRequestTime;
    UCHAR BfProfileData[BF_PROFILE_DATA_SIZE];
    UCHAR BfProfileTag[BF_PROFILE_TAG_SIZE];
    ULONG LatchedReg83086040;
    ULONG LatchedReg830860F8;
    // ---- MLME core: the station-entry pool, the MLME queue, handler and buffer pool (Common/mlme) -------
    MAC_TABLE_POOL MacTabPool;
    MLME_ADAPTER_BLOCK Mlme;
    // ---- WDI task control block, request intake and parameter buffers; net adapters; capabilities (platform/wdi, platform/wificx) ----
    WDI_ADAPTER_STATE Wdi;
    ULONG WifiAdapterType;            // WiFiCx adapter type of the last net adapter created (1 station, 2 AP)
    ULONG TxFragRingLimit;            // the transmit fragment-ring limit handed to NetAdapterCx
    ULONG DataPathAdapterType;        // adapter type and port number of the last data-path set-up
    ULONG DataPathPortNumber;
    UCHAR ApAddressUsed[3];           // MAC indexes 3, 4 and 5 of access-point ports (never given back)
    UCHAR SecondRoleAddressUsed;      // MAC index 6
    MULTICAST_LIST MulticastList;     // the OS's multicast addresses as last sent to the firmware
    WIFI_CAPABILITY_RECORDS WifiCaps; // the capability records reported to WiFiCx
    UCHAR SixGhzCapable;              // the chip can use the 6 GHz band (set from its capability report)
    // ---- BSS table, channel lists and beacon parsing (Common/mlme/mlmesync_bss, _chnl, _sanity) ---------
    BSS_TABLE ScanTab;                 // the scan table's storage (ScanTable points to it)
    SCAN_AP_NUM_TABLE ScanApNum;       // APs per channel found by the last scan
    SP_RULE_PLAN SpRulePlan;           // 6 GHz standard-power rules of the current country
    UCHAR ConnectTargetBssid[MAC_ADDR_LEN];  // the connect attempt's target
    UCHAR ConnectTargetSsid[32];
    UCHAR ConnectTargetSsidLen;
    UCHAR CurrentChannel;              // the channel the adapter is tuned to
    UCHAR AfcNotApplicable;            // 1: the AFC power table must not be used
    UCHAR AfcChannel;                  // 6 GHz primary channel the AFC state belongs to
    UCHAR AfcBasePower;
    UCHAR CertOweTransPending;         // certification: a hidden OWE-transition network is awaited
    UCHAR CertOweTransSsid[32];
    UCHAR CertOweTransSsidLen;
    UCHAR CertOweTransBssid[MAC_ADDR_LEN];
    MLME_CHANNEL_LISTS ChannelLists;   // 5 GHz, all-channel and group-owner lists
    CHAR RssiPeak;                     // the RSSI monitor: peak and lowest RSSI since the peak
    CHAR RssiLowest;
    UCHAR CountryFixed;                // the country was fixed by a private request
    UCHAR ScanDoneSinceRequest;        // a scan-done event arrived since the last scan request

    // ---- receive ring service, per-chip receive dispatch and receive checks (n6pci, hal/chips, Common/recv,
    // Common/recv_check) ------------------------------------------------------------------------------------
    UCHAR SnifferMode;                 // monitor mode: frames go to the chip's sniffer operation
    UCHAR RxMorePending;               // more records of the batch follow: hand the batch on after the last
    ULONG TxDoneEntryLimit;            // second generation: most entries a transmit-done report may carry
    PNET_BUFFER_LIST PendingTxCompletions;  // buffer-list send completions waiting to be handed to the OS
    ULONG TxDoneContextIndex;          // the adapter's current channel context (row of the done counters)
    ULONG LastRxBand;
    UCHAR LastRxChannel;
    LONG RssiSamples[RX_RSSI_SAMPLES][2];  // (RSSI0, RSSI1) sample pairs
    UCHAR RssiSampleIndex;             // advanced modulo "GetRssiAvgCount"
    ULONG SnifferFrameCount[3];        // data, management, control
    UCHAR RxTestMode;                  // receive test: every frame counted
    UCHAR RxPerPhyCounting;            // group frames also counted in the multicast statistics
    UCHAR StaKeyState;                 // 1 once the station's keys are installed
    UCHAR WowPatternCode;              // code of the pattern the firmware matched
    UCHAR WakePacketSeen;
    UCHAR WakeReasonKind;
    UCHAR WakeReasonCode;
    USHORT RxPerfHighRate[4];          // per BSS index: highest receive rate / 5
    UCHAR RxPerfRcpi[4][2];            // the two RCPI bytes seen with it
    UCHAR RxPerfKindCount[4][2];       // saturating counters of the decoded kinds 1 and 2
    UCHAR RxDupRing[RX_DUP_RING_RECORDS][8];  // duplicate debug records {retry, seq lo, seq hi, frag, verdict, row, wlan, 0}
    UCHAR RxDupRingIndex;
    USHORT RxDupHistory[RX_STA_ENTRIES][9][8];  // per sender WLAN index: 9 rows of 8 sequence numbers
    UCHAR RxDupWriteIndex[RX_STA_ENTRIES][9];
    UCHAR RxDupLastIndex[RX_STA_ENTRIES][9];
    UCHAR RxAmsduBad[RX_STA_ENTRIES][17];       // per sender WLAN index and TID row (16 non-QoS)
    USHORT RxAmsduSeq[RX_STA_ENTRIES][17];
    UCHAR StaStatRecord[STA_STAT_RECORD_SIZE];  // the statistics event's fixed fields at their payload offsets
    ULONG64 StaStatBandTotals[2][21];           // per band: running totals of the block's counters
    ULONG64 StaStatBandCumulative[2][5];
    ULONG StaStatRatioCumulative[2];            // thousandths
    ULONG StaStatRatioEvent[2];
    ULONG StaStatRate;
    ULONG64 StaStatCounters[2];
    UCHAR StaStatReset;                          // the statistics are being reset
    UCHAR MibRecord[MIB_RECORD_SIZE];
    ULONG64 RxFrameTotal;              // frames that reached the receive processing
    ULONG64 RxGoodFrames;              // of them, frames the error check passed
    ULONG64 LastBeaconTime;            // system time of the last beacon of a connected BSS
    ULONG64 RxUnicastBytes;            // bytes of unicast data frames received
    UCHAR EapolReceived;               // an EAPOL frame arrived
    UCHAR ReorderInProgress;           // the block-ack reorder step is handing frames on
    UCHAR RxPnPresent;                 // the last data frame carried a packet number
    ULONG64 RxGroupDataFrames;
    ULONG64 RxUnicastDataFrames;
    // ---- indication layers: the connection dialogue bytes and the association's frames (platform/ndis6/n6indicate) ----
    ADAPTER_INDICATION_BLOCK Ind;
    // ---- firmware status, statistics and wake events; assert dump and ICS log (Common/qzevent_handlers, Common/fwdump) ----
    UCHAR RadioOffBySwitch;           // the radio was switched off by the hardware radio switch
    UCHAR PhyStatusSmall[PHY_STATUS_RECORD_SMALL];  // PHY status record of kind 1
    UCHAR PhyStatusLarge[PHY_STATUS_RECORD_LARGE];  // PHY status record of kind 4
    UCHAR FwAskedToSleep;             // the firmware's sleep notification was served
    ULONG WakeReason;                 // NDIS wake-reason type, read by the wake indication
    ULONG WakePatternIndex;           // pattern slot, then the OS pattern id
    ULONG WakePacketWord;
    ULONG LinkLossCause;              // 1: beacon loss or a disconnect wake
    WOW_PATTERN_ENTRY WowPatterns[WOW_PATTERN_SLOTS];
    STA_STAT_ORI_RECORD StaStatOri;
    UCHAR StaInfoResetRequested;      // the last station-information query asked for the counters to be reset
    UCHAR WlanInfo[WLAN_INFO_RECORD_SIZE];
    UCHAR FwAsserted;                 // the firmware sent an assert dump; cleared by error recovery
    // (AssertDumpMark above marks a dump of the Bluetooth side, written to the Bluetooth file.)
    UCHAR CoreDumpHeaderPhase;        // the dump's header chunks are traced
    UCHAR IcsLoggingDynamic;          // the third ICS-logging flag (dynamic ICS logging), beside IcsLogging[2]
    PLATFORM_TIMER CoreDumpTimer;     // "wlanMcuCorDumpTimer": the dump ends 500 ms after its last chunk
    // Legacy event handlers: the channel grant and current-channel records, and per station entry (WLAN
    // index) the key-installed flag, the block-ack quirk flag and the reorder start of the last agreement.
    UCHAR ChGrantGranted;
    UCHAR ChGrantBssIndex;
    UCHAR ChGrantToken;
    UCHAR CurrentChannelRecord[5];    // primary channel, 1, primary channel, BSS index, band
    UCHAR BssSlotGrantValue[5];       // per BSS-index slot: the value byte of its last channel grant
    UCHAR MacKeyInstalled[MAC_TABLE_POOL_SIZE];
    UCHAR MacBaQuirk[MAC_TABLE_POOL_SIZE];
    USHORT MacReorderStart[MAC_TABLE_POOL_SIZE];
    // ---- NetAdapterCx transmit and receive queues (platform/wificx, platform/ndis6/n6indicate) ----
    NETPACKETQUEUE CurrentTxQueue;    // the most recently initialised transmit queue
    PQZCX_TXQUEUE CurrentTxQueueContext;
    ULONG64 LastTxTime;               // system time of the last packet handed to a hard transmit
    volatile LONG ApTxInFlight;       // packets of access-point ports in flight (a statistic)
    TX_PORT_PROGRESS TxProgress[MP_MAX_PORTS];
    TX_PORT_WATCH TxWatch[MP_MAX_PORTS];
    TX_QUEUE_TABLE_ENTRY TxQueueTable[TX_QUEUE_TABLE_SIZE];
    UCHAR TxQueueStartedCount;
    KSPIN_LOCK TxQueueTableLock;      // guards the table and the started count
    volatile LONG RxNotifySta;        // notification enabled on the station receive list
    volatile LONG RxNotifyAp;         // notification enabled on the access-point receive list
    UCHAR CertEapIdentifier;          // of the last EAP frame examined for the test certificate
    UCHAR CertEapType;
    UCHAR CertTlsLengthIncluded;      // 0x80 or 0
    UCHAR CertTlsMoreFragments;       // 0x40 or 0
    UCHAR CertFakeCaSeen;             // the Hotspot 2.0 test authority's certificate was seen
    // ---- data path: transmit state, the connect attempt's rates, block-ack queues, reassembly
    // (platform/wificx/wificxtx, Common/mlme/mlmeinfo_rate, Common/mlme/mlmesync_ba, Common/recv) ----
    ADAPTER_XMIT_BLOCK Xmit;
    CONNECT_RATES ConnectRates;
    ADAPTER_BA_BLOCK Ba;
    ADAPTER_RECV_BLOCK Recv;
    ADAPTER_ACTION_BLOCK Action;
} MP_ADAPTER;

// Reads the flag word without a lock.
inline ULONG AdapterGetFlags(const MP_ADAPTER* adapter)
{
    return static_cast<ULONG>(__atomic_load_n(&adapter->Flags, __ATOMIC_ACQUIRE));
}
inline BOOLEAN AdapterTestFlags(const MP_ADAPTER* adapter, ULONG bits)
{
    return static_cast<BOOLEAN>((AdapterGetFlags(adapter) & bits) != 0);
}

// Interrupt-handler queue records.
#define INT_HANDLER_CMD_INTERRUPT_WORK 0x10000600u
#define INT_HANDLER_CMD_FW_OWN 0x10000700u
