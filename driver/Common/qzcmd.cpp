// The firmware command layer.
#include "Common/qzcmd.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS QzCmdDequeueFWCmd(PMP_ADAPTER adapter, ULONG reserved)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(reserved);
    return NOT_BUILT_YET();
}
