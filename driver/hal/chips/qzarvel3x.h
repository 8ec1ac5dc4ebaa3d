// Third-generation chip code (3601 and 3602 with their alias ids), shared by the whole generation.
#pragma once

#include "hal/common/hal_chip.h"

typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// ---- firmware download ----------------------------------------------------------------------
// Loaders of the operations table: ROM patch (slot 1) and RAM code (slot 4); 0 or the status of the
// step that failed.
NTSTATUS AsicArvel3xLoadRomPatch(PMP_ADAPTER adapter);
NTSTATUS AsicArvel3xLoadFirmware(PMP_ADAPTER adapter);
// A running firmware is kept: returns 0xC00000BB, so the bring-up skips the download.
NTSTATUS AsicArvel3xEraseFirmware(PMP_ADAPTER adapter);
// The firmware state register 0x7C0600F0, read whole as on the second generation.
ULONG AsicArvel3xGetFwSyncValue(PMP_ADAPTER adapter);
// The download commands, twins of the second generation's.
NTSTATUS AsicArvel3xPatchSemaphore(PMP_ADAPTER adapter, UCHAR operation);
NTSTATUS AsicArvel3xDownloadInit(PMP_ADAPTER adapter, ULONG address, ULONG length, ULONG dataMode, ULONG kind);
NTSTATUS AsicArvel3xFwScatter(PMP_ADAPTER adapter, const UCHAR* data, ULONG length);
NTSTATUS AsicArvel3xPatchFinish(PMP_ADAPTER adapter);
NTSTATUS AsicArvel3xFwStart(PMP_ADAPTER adapter, BOOLEAN hasEntry, ULONG entryAddress, BOOLEAN optionBit2);
NTSTATUS AsicArvel3xwlanDownloadSectionV2(PMP_ADAPTER adapter, ULONG dataMode, ULONG kind,
                                          struct _PATCH_SECTION_LIST* list);

// ---- post-download initialisation (slot 9) ----------------------------------------------------------
// Capability query, basic configuration, the factory calibration restore, the register write through
// the firmware, the buffer-bin, dual-band concurrency on (0x3602, 0x3603, 0x0C04), then the chip
// configuration texts and the EDCCA antenna gain. 0, or the status of the first step that failed.
NTSTATUS AsicArvel3xPostFwDownloadInit(PMP_ADAPTER adapter);
NTSTATUS AsicArvel3xQueryNicCapability(PMP_ADAPTER adapter);
NTSTATUS AsicArvel3xUpdateFwBasicConfig(PMP_ADAPTER adapter);
NTSTATUS AsicArvel3xDownloadBufferBin(PMP_ADAPTER adapter);
// Chip configuration texts; each returns 0 without sending when its condition does not hold.
NTSTATUS AsicArvel3xSetPassiveToActiveScan(PMP_ADAPTER adapter);
NTSTATUS AsicArvel3xSetFWChipConfig(PMP_ADAPTER adapter);
// "ThermalProtAband" then "ThermalProtGband"; both are sent, the first failure is the result.
NTSTATUS AsicArvel3xUpdateThermalProtConfig(PMP_ADAPTER adapter);
NTSTATUS AsicArvel3xSetLogLevelConfig(PMP_ADAPTER adapter);        // "EvtDrvnLogCatLvl"
NTSTATUS AsicArvel3xUpdatePcieGenSwitchConfig(PMP_ADAPTER adapter); // "PcieGenSwitch" (sent by the bring-up)
// The ROM version from chip register 0x88000004 (low byte; a zero register is traced).
#define ARVEL3X_ROM_VERSION_REGISTER 0x88000004u
VOID AsicArvel3xQueryRomVersion(PMP_ADAPTER adapter);

// ---- recovery and reset ---------------------------------------------------------------------
// Firmware recovery (slot 10): completes and empties the command queue, returns every pending
// transmit packet, resets the Wi-Fi subsystem, restarts DMA and interrupts, downloads the firmware
// again, re-activates the active networks and, when port 0 is connected, asks the OS to roam. 0, or
// the reset's or download's failure as is.
NTSTATUS AsicArvel3xFwRecovery(PMP_ADAPTER adapter);
// Wi-Fi subsystem reset (slot 11) of chips 3601, 3602 and 3603: 0, or 0xC0000001 ("TestYBFlag" 1,
// init-done never read, another chip).
NTSTATUS AsicArvel3xToggleWfsysRst(PMP_ADAPTER adapter);
// Reads 0x81021604 until it equals 0x1D1E: at most 501 reads 100 microseconds apart; 0 or 0xC0000001.
NTSTATUS AsicArvel3xHalPollWfsysSwInitDone(PMP_ADAPTER adapter);
// The host-to-firmware software interrupt: writes the value to 0x54000108.
VOID AsicArvel3xSetSwIntToMcu(PMP_ADAPTER adapter, ULONG value);
#define ARVEL_HOST_TO_MCU_SW_INT 0x54000108u
// Values of the SER handshake: transmission stopped, DMA initialised again, pending frames returned.
#define ARVEL_SER_HOST_TX_STOPPED 1u
#define ARVEL_SER_HOST_DMA_REINIT 2u
#define ARVEL_SER_HOST_TX_RETURNED 8u
#define ARVEL3X_WFSYS_RESET 0x70028600u        // 3602 code: bit 4; 3601 code: bit 0
#define ARVEL3X_WFSYS_INIT_DONE 0x81021604u    // reads 0x1D1E once the subsystem's software init is done
#define ARVEL3X_WFSYS_INIT_DONE_VALUE 0x1D1Eu

// ---- ownership ------------------------------------------------------------------------------
BOOLEAN AsicArvel3xIsFwReady(PMP_ADAPTER adapter);
NTSTATUS AsicArvel3xHifPciPmSetDriverOwn(PMP_ADAPTER adapter);
NTSTATUS AsicArvel3xEnsureDriverOwn(PMP_ADAPTER adapter);

// ---- DMA engine and rings -------------------------------------------------------------------
BOOLEAN AsicArvel3xHalWpdmaWaitIdle(PMP_ADAPTER adapter, ULONG count, ULONG delayMicroseconds);
NTSTATUS AsicArvel3xPciXmitStartTxRx(PMP_ADAPTER adapter);
// 48 once the firmware-downloaded flag is set, 64 before.
#define ARVEL3X_CMD_TXD_LENGTH_RAM 48
ULONG AsicArvel3xCmdTxdLength(PMP_ADAPTER adapter);

// ---- interrupts -----------------------------------------------------------------------------
VOID AsicArvel3xDisableInterrupt(PMP_ADAPTER adapter);
VOID AsicArvel3xEnableInterrupt(PMP_ADAPTER adapter);
VOID AsicArvel3xPciHandleInterrupt(WDFINTERRUPT interrupt, WDFOBJECT associatedObject);
BOOLEAN AsicArvel3xPciMsr(WDFINTERRUPT interrupt, ULONG messageId);
ULONG AsicArvel3xCcifGetStatus(PMP_ADAPTER adapter);
ULONG AsicArvel3xReadCcifStatusReg(PMP_ADAPTER adapter, ULONG which);

// ---- receive dispatch and statistics events -------------------------------------------------
VOID AsicArvel3xRecvProcessIcsLog(PMP_ADAPTER adapter, ULONG portIndex, PRX_DMAQ_DESC record);
VOID AsicArvel3xPciProcessRxSnifferPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
VOID AsicArvel3xPciProcessRxSwDefinedPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
VOID AsicArvel3xPciProcessRxPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
// Wake-on-WLAN armed: the frame's wake word (descriptor DW5) names the wake reason (a pattern, bit
// 23; a magic-packet kind, bits 24-28; its flag bits 2 and 3); it is recorded and TRUE returned.
BOOLEAN Arvel3xWoWLANWakePacketCheck(PMP_ADAPTER adapter, PRX_DMAQ_DESC record);
// Per BSS index (0-3) of the port: counters of the decoded receive kinds 1 and 2 and the highest
// receive rate / 5 with the RCPI bytes seen with it.
VOID AsicArvel3xRxPerfIndProcessRXV(PMP_ADAPTER adapter, PMP_PORT port, PRX_DMAQ_DESC record, const CHAR* rssi);
VOID AsicArvel3xProcessStaStatistics(PMP_ADAPTER adapter, PUCHAR event);

// ---- transmit descriptor --------------------------------------------------------------------
// The 32-byte transmit descriptor of the generation from the frame information.
VOID AsicArvel3xXmitWriteTxD(PMP_ADAPTER adapter, PUCHAR descriptor, PTX_FRAME_INFO info);
// The receive descriptor of the generation: TRUE when the byte count is acceptable (the frame, its
// length and the groups are then set in the record), FALSE otherwise.
BOOLEAN AsicArvel3xRxdMacHdrParser(PMP_ADAPTER adapter, PRX_DMAQ_DESC record);

// ---- PCI Express low power and power-up set-up ----------------------------------------------
VOID AsicArvel3xPcieCfgSpaceLowPower(PMP_ADAPTER adapter);
VOID AsicArvel3xLowPowerEnableInit(PMP_ADAPTER adapter);
VOID AsicArvel3xPcieLTRValue(PMP_ADAPTER adapter, ULONG mode, BOOLEAN alreadyOwn);
VOID AsicArvel3xPcieAspmCtl(PMP_ADAPTER adapter, ULONG mode);
VOID AsicArvel3xAutoDetectL1ssCap(PMP_ADAPTER adapter);
VOID AsicArvel3xD0EntryRegSetup(PMP_ADAPTER adapter);

// ---- shared by 3601 and 3602 code -------------------------------------------------------------
// Engine 0's DMA configuration: enable ORs 0x50001070 | 0x208000; disable ANDs 0xE7DF7FFA, waits
// for idle (100 reads, 1000 microseconds) and resets both ring pointers.
VOID AsicArvel3xWfdmaControl(PMP_ADAPTER adapter, ULONG engine, BOOLEAN enable);
BOOLEAN AsicArvel3xWfdmaWaitIdle(PMP_ADAPTER adapter, ULONG engine, ULONG count, ULONG delayMicroseconds);
BOOLEAN AsicArvel3xWfdmaPollingAllIdle(PMP_ADAPTER adapter);
// The chip's WpdmaConfig after the engine control: the firmware-log set-up ("FWIndexLogCheck"),
// the enable bits (`enableBits`) and bit 28 of 0x7C0242B4.
VOID AsicArvel3xWpdmaConfigCommon(PMP_ADAPTER adapter, BOOLEAN enable, ULONG enableBits);
// Configuration disabled, rings programmed, prefetch, configuration enabled (through the table).
VOID AsicArvel3xWpdmaInitRing(PMP_ADAPTER adapter);
VOID AsicArvel3xRestoreRingsAfterFwOwn(PMP_ADAPTER adapter);
// The interrupt handler common to 3601 and 3602 code.
NTSTATUS AsicArvel3xPciHandleInterruptCommon(PMP_ADAPTER adapter, BOOLEAN qz3602);
VOID AsicArvel3xProcessSoftwareInterrupt(PMP_ADAPTER adapter);
// Host interrupt status bits of the third generation.
#define ARVEL3X_INT_TX2_DONE 0x02000000u
#define ARVEL3X_INT_TX3_DONE 0x04000000u
#define QZ3602_INT_ENABLE_MASK 0x2600F000u
// 3601: receive rings 0-3, transmit rings 2 and 3, software interrupt.
#define QZ3601_INT_ENABLE_MASK 0x2600000Fu

// ---- operations table ---------------------------------------------------------------------------
// Zeroes a table and stores the routines that every third-generation chip shares; the chip's own
// table filler adds its own.
VOID AsicArvel3xChipOpsInit(PCHIP_HAL_OPS ops);
