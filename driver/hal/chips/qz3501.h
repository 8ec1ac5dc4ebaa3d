// Chip 3501 (PCI ids 0x3501, 0x3504, 0x0C01): selection, descriptor, operations table and the
// chip's own routines.
#pragma once

#include "hal/common/hal_chip.h"

// ---- bring-up -------------------------------------------------------------------------------
NTSTATUS QZ3501PreFirmwareDownloadInit(PMP_ADAPTER adapter);
NTSTATUS QZ3501QueryHwVersion(PMP_ADAPTER adapter);
// The ROM version of the 3501 group, asked of the firmware.
VOID QZ3501QueryRomVersion(PMP_ADAPTER adapter);
// Connection-subsystem bus health: 0 healthy, 2 bus clock or hang fault.
ULONG QZ3501CeckConnsysStatus(PMP_ADAPTER adapter);

// ---- rings ----------------------------------------------------------------------------------
// Programs the rings of the second generation (receive rings on hardware rings 2, 0 and 4; 3503:
// 2, 0 and 1). Called directly by the ring initialisation of every second-generation chip.
VOID QZ3501InitTxRxRing(PPCI_HIF_CONTEXT hif);

// ---- DMA scheduler --------------------------------------------------------------------------
// Also chip 3502's routine.
VOID qz3501HalDmashdlInit(PMP_ADAPTER adapter);

// ---- dumps ----------------------------------------------------------------------------------
// Also chip 3502's routine.
VOID qz3501_show_wfdma_info(PMP_ADAPTER adapter);
// Also chips 3502 and 3503.
VOID qz3501_show_ple_info(PMP_ADAPTER adapter, UCHAR dumpHeadDescriptors);
// Also chips 3502 and 3503.
VOID qz3501_show_pse_info(PMP_ADAPTER adapter);
BOOLEAN qz3501_show_debug_sop_info(PMP_ADAPTER adapter, UCHAR mode);
// Traces the descriptors of the three receive rings (second generation, DMA error interrupt).
VOID qz3501_show_rx_ring_info(PMP_ADAPTER adapter);
// Reads and traces the ten SER state registers 0x400E00 to 0x400E24 (chips 3501, 3502, 3503).
VOID qz3501DumpSerDummyCR(PMP_ADAPTER adapter);

// ---- chip selection ---------------------------------------------------------------------------
// Fills a descriptor with the 3501 values (image names as for identity 0 and ROM version 0).
VOID QZ3501ChipInfoInit(PCHIP_HAL_INFO info);
// Chooses the 3501 group's RAM-code, ROM-patch and Bluetooth image names by revision. Hardware
// identity bit 7 marks the "1a" revision: its RAM code is "..._1a.bin" and ROM version 1 selects the
// "1a_2" patch and Bluetooth images (ROM version 0 keeps the names already set). Otherwise the RAM
// code is "..._1.bin" and ROM version 0 or 1 selects the "1_1" or "1_2" images. Any other ROM
// version leaves the patch and Bluetooth names as they are.
VOID QZ3501FwBinSelect(PCHIP_HAL_INFO info, ULONG hwIdentity, ULONG romVersion);
#define QZ3501_HW_IDENTITY_1A 0x80u
// Builds the 3501 descriptor and operations table in the adapter.
VOID QZ3501ChipInit(PMP_ADAPTER adapter);
// Fills an operations table with the 3501 routines; every other slot is zero.
VOID QZ3501ChipOpsInit(PCHIP_HAL_OPS ops);
