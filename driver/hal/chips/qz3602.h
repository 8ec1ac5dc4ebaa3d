// Chip 3602 (PCI ids 0x3602, 0x3603, 0x0C04): selection, descriptor, operations table and the
// chip's own routines.
#pragma once

#include "hal/common/hal_chip.h"

// ---- bring-up -------------------------------------------------------------------------------
NTSTATUS QZ3602PreFirmwareDownloadInit(PMP_ADAPTER adapter);
NTSTATUS QZ3602QueryHwVersion(PMP_ADAPTER adapter);

// ---- DMA engine and rings -------------------------------------------------------------------
VOID QZ3602InitTxRxRing(PPCI_HIF_CONTEXT hif);
VOID QZ3602WpdmaConfig(PMP_ADAPTER adapter, BOOLEAN enable);
VOID QZ3602WfdmaPrefetchReset(PMP_ADAPTER adapter);
VOID QZ3602HalDmashdlInit(PMP_ADAPTER adapter);

// ---- interrupts and host communication ------------------------------------------------------
VOID QZ3602ConfigIntMask(PMP_ADAPTER adapter, BOOLEAN enable);
NTSTATUS QZ3602PciHandleInterruptCommon(PMP_ADAPTER adapter);
// The local time through the host-to-chip registers: seconds, microseconds, then the notify word 4.
#define QZ3602_CCIF_UTC_SECONDS 0x7C03D020u
#define QZ3602_CCIF_UTC_MICROSECONDS 0x7C03D024u
#define QZ3602_CCIF_UTC_NOTIFY 0x7C03D00Cu
#define QZ3602_CCIF_UTC_NOTIFY_TIME 4u
VOID qz3602_ccif_notify_utc_time_to_fw(PMP_ADAPTER adapter, ULONG seconds, ULONG microseconds);
VOID qz3602_ccif_set_fw_log_read_pointer(PMP_ADAPTER adapter, ULONG ringIndex, ULONG readOffset);

// ---- chip selection ---------------------------------------------------------------------------
// Fills a descriptor with the 3602 values.
VOID QZ3602ChipInfoInit(PCHIP_HAL_INFO info);
// Builds the 3602 descriptor and operations table in the adapter.
VOID QZ3602ChipInit(PMP_ADAPTER adapter);
// Fills an operations table with the 3602 routines; every other slot is zero.
VOID QZ3602ChipOpsInit(PCHIP_HAL_OPS ops);
