// Chip 3503: selection, descriptor, operations table and the chip's own routines.
#pragma once

#include "hal/common/hal_chip.h"

// ---- bring-up -------------------------------------------------------------------------------
// Reads of the firmware state while waiting for the 3503's ROM (1 ms apart).
#define QZ3503_ROM_READY_READS 6u
NTSTATUS QZ3503PreFirmwareDownloadInit(PMP_ADAPTER adapter);
NTSTATUS QZ3503QueryHwVersion(PMP_ADAPTER adapter);

// ---- DMA scheduler --------------------------------------------------------------------------
VOID qz3503HalDmashdlInit(PMP_ADAPTER adapter);

// ---- dumps ----------------------------------------------------------------------------------
VOID qz3503_show_wfdma_info(PMP_ADAPTER adapter);
BOOLEAN qz3503_show_debug_sop_info(PMP_ADAPTER adapter, UCHAR mode);

// ---- chip selection ---------------------------------------------------------------------------
// Fills a descriptor with the 3503 values.
VOID QZ3503ChipInfoInit(PCHIP_HAL_INFO info);
// Builds the 3503 descriptor and operations table in the adapter.
VOID QZ3503ChipInit(PMP_ADAPTER adapter);
// Fills an operations table with the 3503 routines; every other slot is zero.
VOID QZ3503ChipOpsInit(PCHIP_HAL_OPS ops);
