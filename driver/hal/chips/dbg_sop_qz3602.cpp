// Register dumps of chip 3602.
#include "platform/ndiscommon/trace.h"
#include "hal/chips/dbg_sop_qz3602.h"


// ---- dumps ----------------------------------------------------------------------------------
VOID arvel3x_show_pcie_wfdma_info(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID arvel3xDumpPPDebugCr(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID arvel3x_show_ple_info(PMP_ADAPTER adapter, UCHAR dumpHeadDescriptors)
{
    (void)NOT_BUILT_YET();
}

VOID arvel3x_show_pse_info(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

BOOLEAN qz3602_show_debug_sop_info(PMP_ADAPTER adapter, UCHAR mode)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}
