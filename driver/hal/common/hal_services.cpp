// Chip-layer calls of the shell whose code comes with the chip layer.
#include "hal/common/hal_services.h"

#include "platform/ndiscommon/trace.h"

VOID SerStepHandler(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

NTSTATUS fwLogMmioHandler() { return NOT_BUILT_YET(); }
