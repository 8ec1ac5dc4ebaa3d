// Indications to the OS.
#include "platform/ndis6/n6indicate.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/trace.h"

void PlatformIndicateDisassociation(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG reason,
                                    ULONG sourceCode)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI,
             "PlatformIndicateDisassociation: port %u peer %02X:%02X:%02X:%02X:%02X:%02X reason %u source %u",
             port != nullptr ? static_cast<unsigned>(port->PortNumber) : 0u, peer[0], peer[1], peer[2], peer[3],
             peer[4], peer[5], static_cast<unsigned>(reason), static_cast<unsigned>(sourceCode));
    (void)NOT_BUILT_YET();
}

void PlatformIndicateRoamingCompletion(PMP_ADAPTER adapter, PMP_PORT port, ULONG status)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "roaming completion of port %u: status %u",
             port != nullptr ? static_cast<unsigned>(port->PortNumber) : 0u, static_cast<unsigned>(status));
}

void PlatformIndicateCurrentRadioState(PMP_ADAPTER adapter, ULONG portNumber, LONG status)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(portNumber);
    UNREFERENCED_PARAMETER(status);
    (void)NOT_BUILT_YET();
}

void PlatformIndicateScanStatus(PMP_ADAPTER adapter, PMP_PORT port, ULONG status, ULONG done, ULONG reason)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(status);
    UNREFERENCED_PARAMETER(done);
    UNREFERENCED_PARAMETER(reason);
    (void)NOT_BUILT_YET();
}

void PlatformIndicateRejectPendingPackets(PMP_ADAPTER adapter, UCHAR all)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(all);
    (void)NOT_BUILT_YET();
}

void PlatformIndicateXmitPktToNdisWhenSER(PMP_ADAPTER adapter, PTX_DMAQ_DESC record, NTSTATUS status)
{
    UNREFERENCED_PARAMETER(status);
    if (record == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "completion of no record");
        return;
    }
    if (record->TxQueueContext != nullptr) {
        // The NetAdapterCx packet's completion comes with the transmit queue.
        (void)NOT_BUILT_YET();
    }
    TxDmaqFree(adapter, record);
}

void N6PlatformIndicateXmitPktToNdis(PMP_ADAPTER adapter, PNET_BUFFER_LIST chain, ULONG reserved, ULONG flags)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(reserved);
    UNREFERENCED_PARAMETER(flags);
    if (chain == nullptr) {
        return;
    }
    if (chain->Context == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_TX, "send completion of a buffer list without context word");
        return;
    }
    (void)NOT_BUILT_YET();
}

void PlatformIndicateResetAllStatus(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
}
