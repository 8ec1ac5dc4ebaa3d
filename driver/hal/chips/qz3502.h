// Chip 3502 (PCI ids 0x3502, 0x0C02): selection, descriptor, operations table and the chip's own
// routines.
#pragma once

#include "hal/common/hal_chip.h"

// ---- bring-up -------------------------------------------------------------------------------
NTSTATUS QZ3502PreFirmwareDownloadInit(PMP_ADAPTER adapter);
NTSTATUS QZ3502QueryHwVersion(PMP_ADAPTER adapter);
// Connection-subsystem bus health: 0 healthy, 2 bus clock or hang fault.
ULONG QZ3502CeckConnsysStatus(PMP_ADAPTER adapter);
// Register set-up at the end of bring-up.
VOID QZ3502ChipInitHook(PMP_ADAPTER adapter);
// The form-factor code (0-15) the firmware reports.
ULONG QZ3502PCIeFormFactor(PMP_ADAPTER adapter);

// ---- dumps ----------------------------------------------------------------------------------
BOOLEAN qz3502_show_debug_sop_info(PMP_ADAPTER adapter, UCHAR mode);

// ---- chip selection ---------------------------------------------------------------------------
// Fills a descriptor with the 3502 values.
VOID QZ3502ChipInfoInit(PCHIP_HAL_INFO info);
// Builds the 3502 descriptor and operations table in the adapter.
VOID QZ3502ChipInit(PMP_ADAPTER adapter);
// Fills an operations table with the 3502 routines; every other slot is zero.
VOID QZ3502ChipOpsInit(PCHIP_HAL_OPS ops);
