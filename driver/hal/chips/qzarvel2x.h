// Second-generation chip code (3501, 3502, 3503 and their alias ids), shared by the whole
// generation, and the ownership routines the third generation shares with it.
#pragma once

#include "hal/common/hal_chip.h"

// ---- firmware download ----------------------------------------------------------------------
NTSTATUS AsicArvel2xLoadRomPatch(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xLoadBtRomPatch(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xLoadFirmware(PMP_ADAPTER adapter);
// Nothing to erase on this generation: returns 0, so the bring-up downloads again over a firmware
// that already runs.
NTSTATUS AsicArvel2xEraseFirmware(PMP_ADAPTER adapter);
// The firmware state register (0 ROM not running, 1 ROM ready for download, 3 RAM code running).
ULONG AsicArvel2xGetFwSyncValue(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xPostFwDownloadInit(PMP_ADAPTER adapter);

// ---- recovery and reset ---------------------------------------------------------------------
NTSTATUS AsicArvel2xFwRecovery(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xToggleWfsysRst(PMP_ADAPTER adapter);

// ---- ownership ------------------------------------------------------------------------------
BOOLEAN AsicArvel2xIsFwReady(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xHifPciPmSetDriverOwn(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xEnsureDriverOwn(PMP_ADAPTER adapter);
// Second and third generation alike: hands the chip to the firmware; *done = the firmware-own
// status bit.
VOID AsicSetFwOwn(PMP_ADAPTER adapter, PUCHAR done);
VOID AsicGetOwnStatus(PMP_ADAPTER adapter, PUCHAR driverOwns);
VOID AsicRequestDriverOwn(PMP_ADAPTER adapter, PUCHAR driverOwns);

// ---- DMA engine and rings -------------------------------------------------------------------
BOOLEAN AsicArvel2xHalWpdmaWaitIdle(PMP_ADAPTER adapter, ULONG count, ULONG delayMicroseconds);
VOID AsicArvel2xWpdmaConfig(PMP_ADAPTER adapter, BOOLEAN enable);
// Also the third generation's routine.
VOID AsicArvel2xWpdmaTxRxDmaCtl(PMP_ADAPTER adapter, UCHAR stop);
NTSTATUS AsicArvel2xPciXmitStartTxRx(PMP_ADAPTER adapter);
// Bytes of transmit descriptor ahead of a firmware command: 64 (also chip 3404).
ULONG AsicArvel2xCmdTxdLength(PMP_ADAPTER adapter);

// ---- interrupts -----------------------------------------------------------------------------
VOID AsicArvel2xDisableInterrupt(PMP_ADAPTER adapter);
VOID AsicArvel2xEnableInterrupt(PMP_ADAPTER adapter);
VOID AsicArvel2xPciHandleInterrupt(WDFINTERRUPT interrupt, WDFOBJECT associatedObject);
BOOLEAN AsicArvel2xPciMsr(WDFINTERRUPT interrupt, ULONG messageId);

// ---- receive dispatch and statistics events -------------------------------------------------
VOID AsicArvel2xRecvProcessIcsLog(PMP_ADAPTER adapter, ULONG portIndex, PRX_DMAQ_DESC record);
VOID AsicArvel2xPciProcessRxSnifferPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
VOID AsicArvel2xPciProcessRxSwDefinedPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
VOID AsicArvel2xPciProcessRxPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
VOID AsicArvel2xProcessStaStatistics(PMP_ADAPTER adapter, PUCHAR event);
VOID AsicArvel2xProcessGetMIBInfoEvent(PMP_ADAPTER adapter, PUCHAR event);

// ---- transmit descriptor --------------------------------------------------------------------
VOID AsicArvel2xXmitWriteTxD(PMP_ADAPTER adapter, PUCHAR descriptor, PTX_FRAME_INFO info);

// ---- diagnostics ----------------------------------------------------------------------------
VOID AsicArvel2xShowHostCsrInfo(PMP_ADAPTER adapter);

// ---- PCI Express low power ------------------------------------------------------------------
VOID AsicArvel2xPcieCfgSpaceLowPower(PMP_ADAPTER adapter);
// Second and third generation alike.
VOID AsicPcieMacL1ssEnable(PMP_ADAPTER adapter, UCHAR enable);
VOID AsicArvel2xLowPowerEnableInit(PMP_ADAPTER adapter);
VOID AsicArvel2xPcieLTRValue(PMP_ADAPTER adapter, ULONG mode, BOOLEAN alreadyOwn);
// Also chip 3602's routine.
VOID AsicArvel2xPcieDynamicL1(PMP_ADAPTER adapter, BOOLEAN work);
VOID AsicArvel2xPcieAspmCtl(PMP_ADAPTER adapter, ULONG mode);
VOID AsicArvel2xAutoDetectL1ssCap(PMP_ADAPTER adapter);
NTSTATUS AsicArvel2xPcieGenSwitch(PMP_ADAPTER adapter);

#define ARVEL2X_CMD_TXD_LENGTH 64

// ---- operations table ---------------------------------------------------------------------------
// Zeroes a table and stores the routines that every second-generation chip shares; the chip's own
// table filler adds its own.
VOID AsicArvel2xChipOpsInit(PCHIP_HAL_OPS ops);
