// The per-chip operations table and descriptor copied into the adapter at chip selection, and the
// chip selection itself.
//
// HalRegisterChip looks at the adapter's PCI device id and runs that chip's initialiser, which
// builds the chip's descriptor and operations table directly in the adapter. From then on every
// part of the driver that needs chip-specific behaviour calls through the adapter's copy of the
// table or reads its copy of the descriptor. An empty (null) slot means the chip lacks the
// operation: every caller tests the slot and goes on with the value it started from.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _PCI_HIF_CONTEXT PCI_HIF_CONTEXT, *PPCI_HIF_CONTEXT;
typedef struct _RX_DMAQ_DESC RX_DMAQ_DESC, *PRX_DMAQ_DESC;
typedef struct _TX_FRAME_INFO TX_FRAME_INFO, *PTX_FRAME_INFO;
typedef struct _FW_CMD_MSG FW_CMD_MSG, *PFW_CMD_MSG;
typedef struct _DMASHDL_REG_TABLE DMASHDL_REG_TABLE, *PDMASHDL_REG_TABLE;
typedef struct WDFINTERRUPT__* WDFINTERRUPT;
typedef struct WDFOBJECT__* WDFOBJECT;

// ---- bus address remap windows ---------------------------------------------------------------------
// One row of a chip's fixed register-window table; a table ends with an all-zero row and the first
// row that contains an address wins.
typedef struct _BUS_REMAP_ENTRY {
    ULONG ChipBase;   // first chip address of the window
    ULONG BarOffset;  // BAR offset that carries the window's first register
    ULONG Size;       // bytes
} BUS_REMAP_ENTRY, *PBUS_REMAP_ENTRY;
typedef const BUS_REMAP_ENTRY* PCBUS_REMAP_ENTRY;

// A movable register window of the third generation.
typedef struct _BUS_REMAP_WINDOW {
    ULONG SelectRegister;  // chip address of the register that positions the window
    ULONG Mask;            // bits of the select register that hold the position
    ULONG Shift;           // bit position of the position field
    ULONG WindowBase;      // L1: BAR offset of the 64 KB window; L2: chip address of the data port
} BUS_REMAP_WINDOW, *PBUS_REMAP_WINDOW;
typedef const BUS_REMAP_WINDOW* PCBUS_REMAP_WINDOW;

#define BUS_REMAP_WINDOW_L1 0
#define BUS_REMAP_WINDOW_L2 1

// ---- the operations table ----------------------------------------------------------------------------
// The first argument of an operation is the adapter, except where the platform or the receive path
// gives it another context (interrupt routines, ring programming, receive dispatch).
typedef VOID (*PFN_CHIP_UNUSED)(PMP_ADAPTER adapter);
typedef NTSTATUS (*PFN_CHIP_STATUS)(PMP_ADAPTER adapter);
typedef VOID (*PFN_CHIP_VOID)(PMP_ADAPTER adapter);
typedef BOOLEAN (*PFN_CHIP_BOOLEAN)(PMP_ADAPTER adapter);
typedef ULONG (*PFN_CHIP_ULONG)(PMP_ADAPTER adapter);
typedef BOOLEAN (*PFN_CHIP_SEND_MLME_CMD_PKT)(PMP_ADAPTER adapter);
typedef NTSTATUS (*PFN_CHIP_CMD_SEND_MSG)(PMP_ADAPTER adapter, PFW_CMD_MSG message, ULONG ringSelector);
typedef BOOLEAN (*PFN_CHIP_WPDMA_WAIT_IDLE)(PMP_ADAPTER adapter, ULONG count, ULONG delayMicroseconds);
typedef VOID (*PFN_CHIP_INIT_TX_RX_RING)(PPCI_HIF_CONTEXT hif);
typedef VOID (*PFN_CHIP_ENABLE)(PMP_ADAPTER adapter, BOOLEAN enable);
typedef VOID (*PFN_CHIP_BYTE_ARG)(PMP_ADAPTER adapter, UCHAR value);
typedef VOID (*PFN_CHIP_INTERRUPT_DPC)(WDFINTERRUPT interrupt, WDFOBJECT associatedObject);
typedef BOOLEAN (*PFN_CHIP_INTERRUPT_ISR)(WDFINTERRUPT interrupt, ULONG messageId);
typedef BOOLEAN (*PFN_CHIP_SHOW_DEBUG_SOP_INFO)(PMP_ADAPTER adapter, UCHAR mode);
typedef VOID (*PFN_CHIP_RECV_ICS_LOG)(PMP_ADAPTER adapter, ULONG portIndex, PRX_DMAQ_DESC record);
typedef VOID (*PFN_CHIP_RX_PACKET)(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
typedef VOID (*PFN_CHIP_XMIT_WRITE_TXD)(PMP_ADAPTER adapter, PUCHAR descriptor, PTX_FRAME_INFO info);
// The event as the firmware event layer delivers it: a header carrying the u16 payload length,
// then the payload, which the event layer has checked against the received buffer.
typedef VOID (*PFN_CHIP_EVENT)(PMP_ADAPTER adapter, PUCHAR event);
typedef BOOLEAN (*PFN_CHIP_BUS_ADDR_REMAP)(PMP_ADAPTER adapter, ULONG chipAddress, PULONG barOffset);
typedef VOID (*PFN_CHIP_OWN_STATE)(PMP_ADAPTER adapter, PUCHAR state);
typedef VOID (*PFN_CHIP_LTR_VALUE)(PMP_ADAPTER adapter, ULONG mode, BOOLEAN alreadyOwn);
typedef VOID (*PFN_CHIP_ULONG_ARG)(PMP_ADAPTER adapter, ULONG value);
typedef VOID (*PFN_CHIP_TWO_ULONGS)(PMP_ADAPTER adapter, ULONG first, ULONG second);
typedef ULONG (*PFN_CHIP_READ_CCIF_STATUS)(PMP_ADAPTER adapter, ULONG which);

typedef struct _CHIP_HAL_OPS {
    PFN_CHIP_STATUS PreFirmwareDownloadInit;        // 0  power-on, ROM-ready wait, image choice
    PFN_CHIP_STATUS LoadRomPatch;                   // 1
    PFN_CHIP_STATUS LoadBtRomPatch;                 // 2
    PFN_CHIP_UNUSED Unused3;                        // 3  never set, never called
    PFN_CHIP_STATUS LoadFirmware;                   // 4
    PFN_CHIP_STATUS EraseFirmware;                  // 5
    PFN_CHIP_STATUS ReservedOp6;                    // 6  never called
    PFN_CHIP_SEND_MLME_CMD_PKT SendMlmeCmdPkt;      // 7  never called through the table
    PFN_CHIP_CMD_SEND_MSG CmdSendMsg;               // 8
    PFN_CHIP_STATUS PostFwDownloadInit;             // 9
    PFN_CHIP_STATUS FwRecovery;                     // 10
    PFN_CHIP_STATUS ToggleWfsysRst;                 // 11
    PFN_CHIP_VOID ChipInitHook;                     // 12
    PFN_CHIP_BOOLEAN IsFwReady;                     // 13
    PFN_CHIP_WPDMA_WAIT_IDLE HalWpdmaWaitIdle;      // 14
    PFN_CHIP_INIT_TX_RX_RING InitTxRxRing;          // 15
    PFN_CHIP_ENABLE WpdmaConfig;                    // 16
    PFN_CHIP_BYTE_ARG WpdmaTxRxDmaCtl;              // 17
    PFN_CHIP_VOID WfdmaPrefetchReset;               // 18
    PFN_CHIP_VOID ShowPcieWfdmaInfo;                // 19
    PFN_CHIP_VOID ShowHostCsrInfo;                  // 20
    PFN_CHIP_VOID DumpPPDebugCr;                    // 21
    PFN_CHIP_BYTE_ARG ShowPleInfo;                  // 22
    PFN_CHIP_VOID ShowPseInfo;                      // 23
    PFN_CHIP_VOID DisableInterrupt;                 // 24
    PFN_CHIP_VOID EnableInterrupt;                  // 25
    PFN_CHIP_ENABLE ConfigIntMask;                  // 26
    PFN_CHIP_STATUS PciHandleInterruptCommon;       // 27
    PFN_CHIP_INTERRUPT_DPC PciHandleInterrupt;      // 28 the interrupt's deferred routine
    PFN_CHIP_UNUSED Unused29;                       // 29 never set, never called
    PFN_CHIP_INTERRUPT_ISR PciMsr;                  // 30 the interrupt service routine
    PFN_CHIP_VOID DmashdlInit;                      // 31
    PFN_CHIP_SHOW_DEBUG_SOP_INFO ShowDebugSopInfo;  // 32
    PFN_CHIP_RECV_ICS_LOG RecvProcessIcsLog;        // 33
    PFN_CHIP_RX_PACKET PciProcessRxSnifferPacket;   // 34
    PFN_CHIP_RX_PACKET PciProcessRxSwDefinedPacket; // 35
    PFN_CHIP_RX_PACKET PciProcessRxPacket;          // 36
    PFN_CHIP_ULONG CmdTxdLength;                    // 37
    PFN_CHIP_XMIT_WRITE_TXD XmitWriteTxD;           // 38
    PFN_CHIP_EVENT ProcessStaStatistics;            // 39
    PFN_CHIP_EVENT ProcessGetMIBInfoEvent;          // 40
    PFN_CHIP_ULONG GetFwSyncValue;                  // 41
    PFN_CHIP_STATUS HifPciPmSetDriverOwn;           // 42
    PFN_CHIP_BUS_ADDR_REMAP BusAddrRemap;           // 43
    PFN_CHIP_STATUS EnsureDriverOwn;                // 44
    PFN_CHIP_STATUS PciXmitStartTxRx;               // 45
    PFN_CHIP_OWN_STATE SetFwOwn;                    // 46
    PFN_CHIP_OWN_STATE GetOwnStatus;                // 47
    PFN_CHIP_OWN_STATE RequestDriverOwn;            // 48
    PFN_CHIP_VOID PcieCfgSpaceLowPower;             // 49
    PFN_CHIP_BYTE_ARG PcieMacL1ssEnable;            // 50
    PFN_CHIP_VOID LowPowerEnableInit;               // 51
    PFN_CHIP_LTR_VALUE PcieLTRValue;                // 52
    PFN_CHIP_ENABLE PcieDynamicL1;                  // 53
    PFN_CHIP_ULONG_ARG PcieAspmCtl;                 // 54
    PFN_CHIP_ULONG CheckConnsysStatus;              // 55
    PFN_CHIP_VOID AutoDetectL1ssCap;                // 56
    PFN_CHIP_ULONG_ARG RegAccessTraceHook;          // 57
    PFN_CHIP_STATUS PcieGenSwitch;                  // 58
    PFN_CHIP_ULONG PCIeFormFactor;                  // 59
    PFN_CHIP_ULONG CcifGetStatus;                   // 60
    PFN_CHIP_TWO_ULONGS CcifNotifyUtcTime;          // 61 (seconds, microseconds)
    PFN_CHIP_TWO_ULONGS CcifSetFwLogReadPointer;    // 62 (ring index, read offset)
    PFN_CHIP_READ_CCIF_STATUS ReadCcifStatusReg;    // 63
    PFN_CHIP_VOID D0EntryRegSetup;                  // 64
    PFN_CHIP_VOID L0WholeChipReset;                 // 65
    PFN_CHIP_BOOLEAN CheckCbInfraStatus;            // 66 true on a fault
    PFN_CHIP_VOID ErrorRecoveryHook;                // 67
    PFN_CHIP_VOID InitHook;                         // 68
} CHIP_HAL_OPS, *PCHIP_HAL_OPS;

#define CHIP_HAL_OPS_SLOTS 69
static_assert(sizeof(CHIP_HAL_OPS) == CHIP_HAL_OPS_SLOTS * sizeof(void (*)()), "69 operation slots");

// ---- the chip descriptor ------------------------------------------------------------------------------
#define CHIP_FACTORY_CAL_IDS 6

// Not a wire layout: every field keeps its natural alignment, so callers may take its address.
typedef struct _CHIP_HAL_INFO {
    PCSTR RamCodeFileName;   // RAM-code image name inside the firmware container
    PCSTR RomPatchFileName;  // ROM-patch image name
    PCSTR EepromFileName;    // buffer-bin (EEPROM image) name
    PCSTR BtPatchFileName;   // Bluetooth ROM-patch image name
    PCSTR SkuFileName1;      // power-limit files: first and second table, each with a variant
    PCSTR SkuFileName1Ss1t;  // for single-stream single-transmit configurations
    PCSTR SkuFileName2;
    PCSTR SkuFileName2Ss1t;
    UCHAR SkuFileKind;           // power-limit file kind accepted; 0 for every chip
    UCHAR SkuCmdVersion;         // version byte at the head of the per-rate power-limit command
    UCHAR LedGpio;               // LED GPIO of the first LED scheme
    UCHAR LedGpioAlt1;           // the two GPIOs of the second LED scheme
    UCHAR LedGpioAlt2;
    UCHAR CmdExtraLength;        // bytes added to every firmware command message; 0 for every chip
    UCHAR MaxBandwidth;          // widest bandwidth code: 2 = 80, 3 = 160, 5 = wider than 160 MHz
    UCHAR PcieGenSwitchCapable;  // 1 when the PCIe link-speed switch is supported
    ULONG L1ssCapReg;            // chip register read by AutoDetectL1ssCap
    USHORT RxHeaderPad;          // bytes ahead of the Ethernet header of a received data frame
    USHORT HwDelayIntValue;      // written to 0xD7038 when "HwDlyIntEn" is set
    ULONG IntStatusMaskLow;      // third generation: receive interrupt-status mask
    ULONG IntStatusMask;         // third generation: transmit interrupt-status mask
    ULONG CapWord;               // copied into the working configuration
    ULONG CapBits;               // four feature bits copied into the working configuration
    ULONG KeyLayout;             // 2 for every chip
    ULONG PhyCfgLayout;          // 2 for every chip
    const DMASHDL_REG_TABLE* DmaSchedulerTable;  // third generation: DMA-scheduler table
    const void* EhtCountryTable;                 // third generation: countries where EHT is allowed
    const void* SpRuleTable;                     // third generation: standard-power rules
    USHORT SpRuleCount;
    const PCBUS_REMAP_WINDOW* BusRemapTable;     // third generation: {L1, L2} movable windows
    ULONG FactoryCalIds[CHIP_FACTORY_CAL_IDS];   // 3601: factory-calibration records accepted
    ULONG FactoryCalIdCount;

    // Words of the chip layer's own, read by no operation.
    USHORT ChipCode;       // 0x3501, 0x3502, 0x3503, 0x3601, 0x3602 or 0x3404
    UCHAR HifRingDownload;  // hardware ring of software transmit ring 3 (firmware download)
    UCHAR HifRingCommand;   // hardware ring of software transmit ring 2 (firmware commands)
    UCHAR HifRingData0;     // hardware rings of the data rings 0 and 1
    UCHAR HifRingData1;
} CHIP_HAL_INFO, *PCHIP_HAL_INFO;

// Hardware ring numbers of the host interface's software transmit rings, per chip.
#define ARVEL2X_HIF_RING_DOWNLOAD 16
#define QZ3501_HIF_RING_COMMAND 17
#define QZ3502_HIF_RING_COMMAND 17
#define QZ3503_HIF_RING_COMMAND 15
#define ARVEL3X_HIF_RING_DOWNLOAD 16
#define ARVEL3X_HIF_RING_COMMAND 15
#define QZ3404_HIF_RING_DOWNLOAD 3
#define QZ3404_HIF_RING_COMMAND 15
#define HIF_RING_DATA0 0
#define HIF_RING_DATA1 1

// ---- chip selection -------------------------------------------------------------------------------------
// Runs the initialiser of the chip that the adapter's PCI device id selects; an unlisted id does
// nothing, so the adapter's descriptor and table stay all zero.
VOID HalRegisterChip(PMP_ADAPTER adapter);

// The chip code a PCI device id selects, 0 for none. For traces and for the parts that the system
// lets test the id.
USHORT HalChipCodeOfDeviceId(USHORT deviceId);
// The device ids hardware preparation accepts (with the vendor id): every id of the table but 0x3503,
// and 0x3405, which selects no chip.
BOOLEAN HalDeviceIdAcceptedAtPreparation(USHORT deviceId);
// True for the third-generation device ids (0x3601, 0x3602, 0x3603, 0x0C03, 0x0C04).
BOOLEAN HalIsThirdGeneration(USHORT deviceId);

// Chip selection's last steps, run by every chip initialiser once the descriptor and the table are
// in the adapter: the error-recovery state is reset (SER state 0, event word 0, SER handling on,
// firmware recovery idle with count 0; not on the older chip 3404), and the host-interface context,
// when it exists, takes the descriptor's hardware ring numbers.
VOID HalChipFinishInit(PMP_ADAPTER adapter);

// The hardware-version window of a chip: a window register that, while it holds WindowValue, shows
// the chip's version block in the BAR; the version (low 16 bits) and the identity word are read at
// their BAR offsets, two more words only traced (offset 0: none). The window register is restored.
typedef struct _HAL_VERSION_WINDOW {
    ULONG WindowRegister;
    ULONG WindowValue;
    ULONG VersionOffset;
    ULONG IdentityOffset;
    ULONG TracedOffsets[2];
} HAL_VERSION_WINDOW;
inline constexpr HAL_VERSION_WINDOW kArvel2xVersionWindow = {0x7C00E260, 0x18007001, 0xE0200, 0xE0020, {0, 0}};
inline constexpr HAL_VERSION_WINDOW kQz3602VersionWindow = {0x7C021000, 0x70011840, 0x10200, 0x10020,
                                                            {0x10204, 0x10208}};
inline constexpr HAL_VERSION_WINDOW kQz3601VersionWindow = {0x7C095000, 0x70011840, 0x10200, 0x10020,
                                                            {0x10204, 0x10208}};
// Reads the hardware version and identity through the window into the adapter; waits 100
// microseconds after restoring the window register. Always 0.
NTSTATUS HalQueryHwVersionThroughWindow(PMP_ADAPTER adapter, const HAL_VERSION_WINDOW* window);

#ifndef STATUS_NO_SUCH_DEVICE
#define STATUS_NO_SUCH_DEVICE ((NTSTATUS)0xC000009DL)
#endif

// Runs the chip's hardware-version query; 0xC0000001 for an unlisted device id.
NTSTATUS HalQueryHwVersion(PMP_ADAPTER adapter);
// Runs the chip's ROM-version query, unless the registry's "RomVer" already gave the version:
// the 3501 group and 3502 ask the firmware, the third generation reads chip register 0x88000004,
// 3503 and 3404 only trace.
VOID HalQueryRomVersion(PMP_ADAPTER adapter);

// For the chip initialisers: zeroes a descriptor and stores what every chip shares (key and PHY
// word layouts 2, receive header pad 2) with the chip code and its hardware ring numbers (data
// rings 0 and 1 on hardware rings 0 and 1).
VOID HalChipInfoInit(PCHIP_HAL_INFO info, USHORT chipCode, UCHAR downloadRing, UCHAR commandRing);
// For the pre-download routines: copies a chip's static descriptor over the adapter's copy. The
// interrupt path reads that copy (chip code, ring numbers, delayed-interrupt value) while the
// bring-up refreshes it, so the copy is never cleared on the way and only the bytes that differ are
// written: a refresh that finds the chip's own values changes nothing a reader sees.
VOID HalChipInfoRefresh(PCHIP_HAL_INFO target, const CHIP_HAL_INFO* fresh);

// The routine that fills slot 6 of every chip that has it; never called, returns 0xC0000001.
NTSTATUS HalReservedOp6(PMP_ADAPTER adapter);
