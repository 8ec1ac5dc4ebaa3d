// The older chip 3404: selection, descriptor, operations table and the chip's own routines.
#pragma once

#include "hal/common/hal_chip.h"

// ---- bring-up and firmware download ---------------------------------------------------------
NTSTATUS QZ3404PreFirmwareDownloadInit(PMP_ADAPTER adapter);
NTSTATUS QZ3404QueryHwVersion(PMP_ADAPTER adapter);
// Loaders of the operations table (files only, no image caches): the ROM patch, one body after a
// 30-byte header, goes to 0xDC000; the RAM code as on the other generations.
NTSTATUS QZ3404LoadRomPatch(PMP_ADAPTER adapter);
NTSTATUS QZ3404LoadFirmware(PMP_ADAPTER adapter);
// Bits 1-3 of chip register 0x81021140.
#define QZ3404_FW_STATE_REGISTER 0x81021140u
ULONG QZ3404GetFwSyncValue(PMP_ADAPTER adapter);
// Read before each piece of download data while its bit 1 is set (at most 10 reads 1 ms apart).
#define QZ3404_SCATTER_BUSY_REGISTER 0x81090108u
// The download commands: the semaphore keeps an earlier answer (no clearing), download init takes
// the patch init command for address 0xDC000 and the region init for any other, download data
// waits for the scatter-busy register first.
NTSTATUS QZ3404PatchSemaphore(PMP_ADAPTER adapter, UCHAR operation);
NTSTATUS QZ3404DownloadInit(PMP_ADAPTER adapter, ULONG address, ULONG length, ULONG dataMode, ULONG kind);
NTSTATUS QZ3404FwScatter(PMP_ADAPTER adapter, const UCHAR* data, ULONG length);
NTSTATUS QZ3404PatchFinish(PMP_ADAPTER adapter);
NTSTATUS QZ3404FwStart(PMP_ADAPTER adapter, BOOLEAN hasEntry, ULONG entryAddress, BOOLEAN optionBit2);
// Post-download initialisation (slot 9): extended command 0x00, capability query, basic
// configuration, buffer-bin, then the two downgrade texts; 0 or the first failing step's status.
NTSTATUS QZ3404PostFwDownloadInit(PMP_ADAPTER adapter);
NTSTATUS QZ3404SendExtCmd0(PMP_ADAPTER adapter);
NTSTATUS QZ3404QueryNicCapability(PMP_ADAPTER adapter);
NTSTATUS QZ3404UpdateFwBasicConfig(PMP_ADAPTER adapter);
NTSTATUS QZ3404DownloadBufferBin(PMP_ADAPTER adapter);
// "DowngradeTxStreamLowTemp" and "DowngradeTxStreamHighTemp", each when enabled; both are sent, the
// first failure is the result.
NTSTATUS QZ3404UpdateThermalThreshold(PMP_ADAPTER adapter);

// ---- ownership ------------------------------------------------------------------------------
BOOLEAN QZ3404IsFwReady(PMP_ADAPTER adapter);
NTSTATUS QZ3404HifPciPmSetDriverOwn(PMP_ADAPTER adapter);
NTSTATUS QZ3404EnsureDriverOwn(PMP_ADAPTER adapter);
VOID QZ3404SetFwOwn(PMP_ADAPTER adapter, PUCHAR done);
VOID QZ3404GetOwnStatus(PMP_ADAPTER adapter, PUCHAR driverOwns);
VOID QZ3404RequestDriverOwn(PMP_ADAPTER adapter, PUCHAR driverOwns);

// ---- DMA engine and interrupts --------------------------------------------------------------
BOOLEAN QZ3404HalWpdmaWaitIdle(PMP_ADAPTER adapter, ULONG count, ULONG delayMicroseconds);
VOID QZ3404WpdmaConfig(PMP_ADAPTER adapter, BOOLEAN enable);
NTSTATUS QZ3404PciXmitStartTxRx(PMP_ADAPTER adapter);
// Resets the older chip's PDMA (time-outs of its polls are not reported).
VOID HalResetPDMA(PMP_ADAPTER adapter);
VOID QZ3404DisableInterrupt(PMP_ADAPTER adapter);
VOID QZ3404EnableInterrupt(PMP_ADAPTER adapter);

// ---- receive dispatch and statistics events -------------------------------------------------
// The chip has no monitor mode: the record goes straight back to its receive pool.
VOID Qz3404PciProcessRxSnifferPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
VOID Qz3404PciProcessRxSwDefinedPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
VOID Qz3404PciProcessRxPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record);
VOID QZ3404ProcessStaStatistics(PMP_ADAPTER adapter, PUCHAR event);
VOID QZ3404ProcessGetMIBInfoEvent(PMP_ADAPTER adapter, PUCHAR event);

// ---- PCI Express low power ------------------------------------------------------------------
VOID QZ3404PcieMacL1ssEnable(PMP_ADAPTER adapter, UCHAR enable);

// ---- chip selection ---------------------------------------------------------------------------
// The ROM-patch image for a ROM version: 0 "qz3404_patch_e1_hdr.bin", 1 "qz3404_patch_e2_hdr.bin",
// any other none (nullptr).
PCSTR QZ3404RomPatchFileName(ULONG romVersion);
// Builds the 3404 descriptor and operations table in the adapter.
VOID QZ3404ChipInit(PMP_ADAPTER adapter);
// Fills an operations table with the 3404 routines; every other slot is zero.
VOID QZ3404ChipOpsInit(PCHIP_HAL_OPS ops);
