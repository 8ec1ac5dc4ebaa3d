// Register dumps of chip 3601.
#include "platform/ndiscommon/trace.h"
#include "hal/chips/dbg_sop_qz3601.h"


// ---- dumps ----------------------------------------------------------------------------------
VOID arvel3xDumpPPDebugCr_qz3601(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID arvel3x_show_ple_info_qz3601(PMP_ADAPTER adapter, UCHAR dumpHeadDescriptors)
{
    (void)NOT_BUILT_YET();
}

VOID arvel3x_show_pse_info_qz3601(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

BOOLEAN qz3601_show_debug_sop_info(PMP_ADAPTER adapter, UCHAR mode)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}
