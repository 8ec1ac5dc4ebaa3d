// Chip 3601 (PCI ids 0x3601, 0x0C03): selection, descriptor, operations table and the chip's own
// routines.
#pragma once

#include "hal/common/hal_chip.h"

// ---- bring-up -------------------------------------------------------------------------------
NTSTATUS QZ3601PreFirmwareDownloadInit(PMP_ADAPTER adapter);
NTSTATUS QZ3601QueryHwVersion(PMP_ADAPTER adapter);
// Register set-up at the start of bring-up.
VOID QZ3601InitHook(PMP_ADAPTER adapter);

// ---- DMA engine and rings -------------------------------------------------------------------
VOID QZ3601InitTxRxRing(PPCI_HIF_CONTEXT hif);
VOID QZ3601WpdmaConfig(PMP_ADAPTER adapter, BOOLEAN enable);
VOID QZ3601WfdmaPrefetchReset(PMP_ADAPTER adapter);
VOID QZ3601HalDmashdlInit(PMP_ADAPTER adapter);

// ---- interrupts and host communication ------------------------------------------------------
VOID QZ3601ConfigIntMask(PMP_ADAPTER adapter, BOOLEAN enable);
NTSTATUS QZ3601PciHandleInterruptCommon(PMP_ADAPTER adapter);
VOID qz3601_ccif_notify_utc_time_to_fw(PMP_ADAPTER adapter, ULONG seconds, ULONG microseconds);
VOID qz3601_ccif_set_fw_log_read_pointer(PMP_ADAPTER adapter, ULONG ringIndex, ULONG readOffset);

// ---- power and recovery ---------------------------------------------------------------------
VOID QZ3601PcieAspmCtl(PMP_ADAPTER adapter, ULONG mode);
VOID QZ3601L0WholeChipReset(PMP_ADAPTER adapter);
// True when the infrastructure reports a fault.
BOOLEAN QZ3601CheckCbInfraStatus(PMP_ADAPTER adapter);
VOID QZ3601ErrorRecoveryHook(PMP_ADAPTER adapter);

// ---- chip selection ---------------------------------------------------------------------------
// Fills a descriptor with the 3601 values.
VOID QZ3601ChipInfoInit(PCHIP_HAL_INFO info);
// Builds the 3601 descriptor and operations table in the adapter.
VOID QZ3601ChipInit(PMP_ADAPTER adapter);
// Fills an operations table with the 3601 routines; every other slot is zero.
VOID QZ3601ChipOpsInit(PCHIP_HAL_OPS ops);
