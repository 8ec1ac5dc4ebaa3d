// The NetAdapterCx hard transmits.
#include "platform/wificx/wificxtx.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS QZCxHifPciXmitHardTransmit(PPCI_HIF_CONTEXT hif, PTX_DMAQ_DESC record, ULONG ring)
{
    UNREFERENCED_PARAMETER(hif);
    UNREFERENCED_PARAMETER(record);
    UNREFERENCED_PARAMETER(ring);
    return NOT_BUILT_YET();
}

NTSTATUS QZCxHifPciApXmitHardTransmit(PPCI_HIF_CONTEXT hif, PTX_DMAQ_DESC record, ULONG ring)
{
    UNREFERENCED_PARAMETER(hif);
    UNREFERENCED_PARAMETER(record);
    UNREFERENCED_PARAMETER(ring);
    return NOT_BUILT_YET();
}
