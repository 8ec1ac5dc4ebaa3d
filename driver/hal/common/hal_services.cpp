// Chip-layer calls of the shell whose code comes with the chip layer.
#include "hal/common/hal_services.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS AsicArvel2xPciHandleInterruptInternal(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return NOT_BUILT_YET();
}

NTSTATUS AsicArvel3xPciHandleInterruptInternal(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return NOT_BUILT_YET();
}

NTSTATUS fwLogMmioHandler() { return NOT_BUILT_YET(); }
