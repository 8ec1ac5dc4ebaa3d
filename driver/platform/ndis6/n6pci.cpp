// The PCI Express rings of the bus layer.
#include "platform/ndis6/n6pci.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS N6PciProcRxDonePkt(PMP_ADAPTER adapter, ULONG ring)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(ring);
    return NOT_BUILT_YET();
}
