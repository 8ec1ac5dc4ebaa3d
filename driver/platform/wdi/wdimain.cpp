// The WDI task control block.
#include "platform/wdi/wdimain.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS WdiUpdateCntlBlock(PMP_ADAPTER adapter, WIFIREQUEST request, USHORT rowIndex)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(rowIndex);
    return NOT_BUILT_YET();
}
