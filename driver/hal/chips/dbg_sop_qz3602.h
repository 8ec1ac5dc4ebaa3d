// Register dumps of chip 3602 (also 3603 and 0x0C04): PCIe and DMA, packet processor, transmit-queue
// and packet-buffer memory, and the debug procedure.
#pragma once

#include "hal/common/hal_chip.h"

// ---- dumps ----------------------------------------------------------------------------------
VOID arvel3x_show_pcie_wfdma_info(PMP_ADAPTER adapter);
VOID arvel3xDumpPPDebugCr(PMP_ADAPTER adapter);
VOID arvel3x_show_ple_info(PMP_ADAPTER adapter, UCHAR dumpHeadDescriptors);
VOID arvel3x_show_pse_info(PMP_ADAPTER adapter);
BOOLEAN qz3602_show_debug_sop_info(PMP_ADAPTER adapter, UCHAR mode);
