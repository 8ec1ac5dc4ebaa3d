// The WDI send path.
#include "platform/wdi/wdisend.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

void WdiSendDataThreadProc(PVOID context)
{
    auto* port = static_cast<PMP_PORT>(context);
    PMP_ADAPTER adapter = port->Adapter;
    PlatformSetThreadPriority();
    while (adapter->StopThreads.load() != 1) {
        if (AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
            break;
        }
        (void)PlatformWaitEvent(&port->SendThread.WakeEvent, 0);
        if (adapter->StopThreads.load() == 1) {
            break;
        }
        (void)WdiSendDataProcess(adapter, port);
    }
}

void WdiSendDataThreadAfterSERProc(PVOID context)
{
    auto* adapter = static_cast<PMP_ADAPTER>(context);
    PlatformSetThreadPriority();
    while (adapter->StopThreads.load() == 0) {
        if (AdapterTestFlags(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS)) {
            break;
        }
        (void)PlatformWaitEvent(&adapter->SendAfterSerThread.WakeEvent, 0);
        if (adapter->StopThreads.load() != 0) {
            break;
        }
        // The resend of port 0's frames after a recovery comes with the send path.
        (void)NOT_BUILT_YET();
    }
}

NTSTATUS WdiSendDataProcess(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}
