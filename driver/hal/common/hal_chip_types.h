// The per-chip operations table (CHIP_HAL_OPS) and descriptor (CHIP_HAL_INFO) that chip selection
// copies into the adapter, with the bus address remap records the descriptor points to.
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
    PCSTR SkuFileName1FormFactor;  // the first and second table instead, when the form-factor operation answers 1
    PCSTR SkuFileName2FormFactor;
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
