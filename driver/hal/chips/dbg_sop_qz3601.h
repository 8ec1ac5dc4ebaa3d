// Register dumps of chip 3601 (also 0x0C03).
#pragma once

#include "hal/common/hal_chip.h"

// ---- dumps ----------------------------------------------------------------------------------
VOID arvel3xDumpPPDebugCr_qz3601(PMP_ADAPTER adapter);
VOID arvel3x_show_ple_info_qz3601(PMP_ADAPTER adapter, UCHAR dumpHeadDescriptors);
VOID arvel3x_show_pse_info_qz3601(PMP_ADAPTER adapter);
BOOLEAN qz3601_show_debug_sop_info(PMP_ADAPTER adapter, UCHAR mode);
