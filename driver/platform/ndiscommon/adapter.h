// MP_ADAPTER, the one object per device (the framework device context). The adapter is made of the
// records each layer declares in its own header, embedded by value; the per-port block MP_PORT has
// its own header. This header includes only the platform stand-in and those record headers, never a
// header that declares a layer's services.
#pragma once

#include <atomic>

#include "kshim/ke.h"
#include "kshim/ndis.h"
#include "kshim/netadapter.h"
#include "Common/cnm_types.h"
#include "Common/common_types.h"
#include "Common/fwdump_types.h"
#include "Common/mlme/mlme_types.h"
#include "Common/mlme/mlmeaction_types.h"
#include "Common/mlme/mlmeinfo_rate_types.h"
#include "Common/mlme/mlmeinfo_power_types.h"
#include "Common/mlme/mlmeinfo_types.h"
#include "Common/mlme/mlmesync_ba_types.h"
#include "Common/mlme/mlmewep_types.h"
#include "Common/mlme/mlmewsc_types.h"
#include "Common/mlme/mlmesync_bss_types.h"
#include "Common/mlme/mlmesync_chnl_types.h"
#include "Common/mlme/mlmesync_mactab_types.h"
#include "Common/mlme/mlmesync_types.h"
#include "Common/nic_uni_cmd_event_types.h"
#include "Common/p2p/p2p_types.h"
#include "Common/qzcmd_types.h"
#include "Common/qzevent_capability_types.h"
#include "Common/qzevent_handlers_types.h"
#include "Common/qzevent_types.h"
#include "Common/recv_types.h"
#include "Common/rlm_domain_types.h"
#include "Common/rlm_sku_types.h"
#include "Common/rlm_types.h"
#include "hal/common/sar_types.h"
#include "Common/wowlan_types.h"
#include "hal/common/fwfile_types.h"
#include "hal/common/hal_chip_types.h"
#include "platform/ndis6/n6indicate_types.h"
#include "platform/ndiscommon/dmaq_types.h"
#include "platform/ndiscommon/ndiscommon_types.h"
#include "platform/ndiscommon/ndiscommonhif_types.h"
#include "platform/ndiscommon/ndiscommonioctl_types.h"
#include "platform/ndiscommon/port.h"
#include "platform/ndiscommon/registry_block.h"
#include "platform/wdi/wdimain_types.h"
#include "platform/wificx/txqueue_types.h"
#include "platform/wificx/wificxmain_types.h"
#include "platform/wificx/wificxtx_types.h"
#include "platform/wificx/wificxcaps.h"

typedef struct _P2P_CTRL_BLOCK P2P_CTRL_BLOCK, *PP2P_CTRL_BLOCK;

#define MP_ADAPTER_SIGNATURE 0xAABBCCDDu
#define MP_MAX_PORTS 5
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
    KSPIN_LOCK Lock;  // the free list, taken by the wrapping and the send completion
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
#define THROUGHPUT_THRESHOLD_COUNT 15  // "HLegacy11g" to "L11xBW40", "HSignal" and "MSignal" aside
#define THERMAL_ADMISSION_COUNT 4

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

    UCHAR FwDownloaded;     // 1 once the RAM code runs: RAM-mode events, unified commands on the third generation

    // Error recovery, SER steps and firmware recovery (platform/ndiscommon/ndiscommonhif_types.h).
    RECOVERY_BLOCK Recovery;
    // Chip ownership, PCIe low power and the power-by-port rests (platform/ndiscommon/ndiscommonhif_types.h).
    LOW_POWER_BLOCK LowPower;

    UCHAR PmfEnabled;              // protected management frames are in use on the connection

    UCHAR PermanentAddress[MAC_ADDR_LEN];
    UCHAR CurrentAddress[MAC_ADDR_LEN];

    // One field per configuration row.
    REGISTRY_BLOCK RegistryBlock;

    // ---- configuration: what the reader derives besides the registry block ----
    REGISTRY_RADIO_STATE RadioState;  // "Radio" split into the software, hardware, radio-on and firmware bytes
    ULONG FwToHost;                   // "FWToHost" of the firmware-log autologger
    UCHAR WpsDevNameLength;
    CHAR WpsDevName[WPS_DEV_NAME_SIZE];
    UCHAR AddressConfigured;          // 1 when "NetworkAddress" gave the current address
    UCHAR Only24G;                    // 2.4-GHz-only flag of the chip's capability report
    ULONG BandWord;                   // 1 on a 2.4 GHz-only adapter, 2 otherwise
    UCHAR DefaultChannel;             // 36 on a dual-band adapter
    USHORT AntennaPath;               // low nibble first path count, next nibble second
    ULONG RandomSeed;                 // pseudo-random generator state; 0 = not yet seeded
    ADAPTER_WORKING_CFG WorkingCfg;
    // The country and the adapter's channel list for it (Common/rlm_domain_types.h).
    COUNTRY_BLOCK Country;
    // The platform's regulatory data (Common/rlm_domain_types.h) and the loaded power-limit files
    // (Common/rlm_sku_types.h).
    SAR_BIOS_TABLES SarRegulatory;
    SKU_FILE_TABLES SkuTables;
    // Values of other subsystems written here: the SAR sensor state (mode and value, for the
    // companion Bluetooth driver), and the start values set by UserCfgInit.
    UCHAR SarSensorMode;
    ULONG SarSensorValue;
    LONGLONG LastIcmpEchoTime;        // when the last ICMP echo request was sent
    UCHAR PingEnhanceActive;
    UCHAR ScanPhase[2];               // the scan machine's two phase bytes
    UCHAR IotApRuleMatched;           // a matched IoT access-point rule
    ULONG IotLabCounter;              // IoT lab-rule ticks after a link up: 1 at link up, 0 when done
    UCHAR GoHidingOption;             // the private group-owner hiding option (1 on)
    UCHAR RoamAfterBeaconLoss;        // a beacon loss asked the OS for a roam

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
    NEIGHBOR_AP_INFO_LIST NeighborApList;
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

    // Port reset state.
    ULONG ResetState;
    UCHAR ResetDisconnectMark;
    UCHAR OsScanPendingAtReset;
    UCHAR RoamingMark;
    USHORT ConnValueWord;
    UCHAR ConnValues[ADAPTER_CONN_VALUES_SIZE];
    UCHAR StaStateBytes[ADAPTER_STA_STATE_BYTES];
    ULONG ResetValues[2];

    // Firmware commands and events: the command queue (Common/qzcmd_types.h), the event dispatch's values
    // (Common/qzevent_types.h) and the unified event handlers' (Common/nic_uni_cmd_event_types.h).
    FW_CMD_BLOCK FwCmd;
    FW_EVENT_BLOCK FwEvent;
    UNI_EVENT_BLOCK UniEvent;

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
    // Interrupts. Read by the interrupt routines on other processors: accessed with atomic loads and stores.
    UCHAR InterruptsDisabled;    // 1 after the interrupt object's disable callback, 0 after enable
    ULONG RxPassCount[2];        // receive passes that left work behind (ring 0; rings 1 and 2)
    ULONG RxThroughput[2];       // the periodic job's receive throughput figures (ring 0, ring 2)
    ULONG SavedSwIntStatus;      // the MCU-to-host software interrupt status last served
    ULONG PcieErrorCount;        // counted with atomic operations
    ULONG FwAssertCount;
    UCHAR FwLogPending;          // the firmware said its log ring holds data

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
    UCHAR ChannelPrivilegeSupported;
    // What the firmware's capability answers report (Common/qzevent_capability_types.h).
    CHIP_CAP_BLOCK Cap;
    UCHAR DualBand;                    // 1 when both the 2.4 GHz and the 5 GHz band are enabled
    UCHAR PlatformPcieSwitch;          // the platform's PCIe-switch flag, read with the SAR tables
    // The MLME core's queue and BSS table (MlmeInit creates them).
    struct _MLME_QUEUE* MlmeQueue;
    PBSS_TABLE ScanTable;
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
    UCHAR OsScanRequest;               // an OS scan request is recorded (the WDI layer sets it)
    ULONG PendingScanPort;             // port number of the pending OS scan
    ULONG CurrentPowerState;           // 1 D0 (working), 2 D1, 3 D2, 4 D3 (sleep)
    ULONG PowerUpFailed;               // 1 when the last power-up from D3 failed
    ULONG PowerUpCounters[2];          // cleared at every resume (with port 0's)
    ULONG StartCounter;                // cleared after a good first power-up
    UCHAR NeighborReportCount;         // the WDI property handlers' neighbour-report store
    UCHAR NeighborReport[NEIGHBOR_REPORT_SIZE];
    UCHAR ReorderQueueInUse[REORDER_QUEUE_COUNT];  // in-use bytes of the receive reorder queues

    // ---- system event log, firmware dumps, private requests (logevent, fwdump, ndiscommonioctl) ----------
    ULONG GoClientCount;               // system event log: clients connected to the group owner
    FW_DUMP_BLOCK FwDump;              // assert dump, core-dump and ICS log files (Common/fwdump_types.h)
    PRIVATE_REQUEST_BLOCK Ioctl;       // private requests (platform/ndiscommon/ndiscommonioctl_types.h)
    // ---- MLME core: the station-entry pool, the MLME queue, handler and buffer pool (Common/mlme) -------
    MAC_TABLE_POOL MacTabPool;
    MLME_ADAPTER_BLOCK Mlme;
    // ---- WDI task control block, request intake and parameter buffers; net adapters; capabilities (platform/wdi, platform/wificx) ----
    WDI_ADAPTER_STATE Wdi;
    // The station-connection bytes of the WDI tasks and properties (platform/wdi).
    STA_CONNECT_ADAPTER_STATE StaConnect;
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
    ULONG64 RxFrameTotal;              // frames that reached the receive processing
    ULONG64 RxGoodFrames;              // of them, frames the error check passed
    ULONG64 LastBeaconTime;            // system time of the last beacon of a connected BSS
    ULONG64 RxUnicastBytes;            // bytes of unicast data frames received
    UCHAR EapolReceived;               // an EAPOL frame arrived
    UCHAR ReorderInProgress;           // the block-ack reorder step is handing frames on
    UCHAR RxPnPresent;                 // the last data frame carried a packet number
    ULONG64 RxGroupDataFrames;
    ULONG64 RxUnicastDataFrames;
    ULONG64 RxOwnBssBeacons;           // group-addressed beacons of port 0's BSS the management step passed
    // ---- indication layers: the connection dialogue bytes and the association's frames (platform/ndis6/n6indicate) ----
    ADAPTER_INDICATION_BLOCK Ind;
    // ---- firmware status, statistics and wake events (Common/qzevent_handlers) -------------------------------
    UCHAR RadioOffBySwitch;           // the radio was switched off by the hardware radio switch
    UCHAR FwAskedToSleep;             // the firmware's sleep notification was served
    // ---- device preparation and bring-up progress (platform/wificx, platform/ndiscommon/ndiscommoninit) ----
    QZCX_DEVICE_SWITCHES Switches;    // done switches of the preparation steps, first-power-up mark
    BRINGUP_RECORD BringUp;           // the bring-up's progress bytes
    // ---- packet pools and software packet queues (platform/ndiscommon/dmaq_types.h) ----
    DMAQ_STORE Dmaq;
    STATISTICS_BLOCK Stats;           // the statistics events' records (Common/qzevent_handlers_types.h)
    WAKE_BLOCK Wake;                  // wake patterns, offloads and the wake reason (Common/wowlan_types.h)
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
    // ---- data path: transmit state, the connect attempt's rates, block-ack queues, reassembly, action
    // exchanges (platform/wificx/wificxtx, Common/mlme/mlmeinfo_rate, Common/mlme/mlmesync_ba,
    // Common/recv, Common/mlme/mlmeaction) ----
    ADAPTER_XMIT_BLOCK Xmit;
    CONNECT_RATES ConnectRates;
    ADAPTER_BA_BLOCK Ba;
    ADAPTER_RECV_BLOCK Recv;
    ADAPTER_ACTION_BLOCK Action;
    // ---- security: the software WEP packet of a shared-key authentication (Common/mlme/mlmewep) ----
    WEP_CRYPT_STATE WepCrypt;
    // ---- security: BIP key copy, saved keys for recovery (Common/mlme/mlmeinfo_key) ----
    MLME_KEY_ADAPTER_BLOCK Keys;
    // ---- power save of the station and the keep-active period after link up (Common/mlme/mlmeinfo_power) ----
    MLME_PS_ADAPTER_BLOCK Ps;
    // ---- WPS: the access point the last search settled on (Common/mlme/mlmewsc) ----
    WSC_ADAPTER_BLOCK Wsc;
    // ---- the station link's agreed capabilities, TWT agreement slots, AFC power table (Common/rlm_vht, Common/he, Common/rlm_power) ----
    RLM_ADAPTER_BLOCK Rlm;
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
