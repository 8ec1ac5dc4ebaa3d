// The host interface facade: the calls the shell makes into the bus layer, and the interrupt-work
// dispatch of "PlatformIntHandlerThread".
#include "platform/ndiscommon/ndiscommonhif.h"

#include "hal/common/hal_chip.h"
#include "hal/common/hal_services.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

NTSTATUS NdisCommonHifPmSetDriverOwn(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return NOT_BUILT_YET();
}

NTSTATUS NdisCommonHifPmSetFwOwn(PMP_ADAPTER adapter, ULONG flags)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(flags);
    return NOT_BUILT_YET();
}

void NdisCommonHifAllocateSpinLock(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

NTSTATUS NdisCommonHifControlThreadHandler(PMP_PORT port, ULONG cmdId, PUCHAR payload, ULONG length)
{
    UNREFERENCED_PARAMETER(payload);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_THREAD, "internal command 0x%08X for port %u, %u bytes",
             static_cast<unsigned>(cmdId), port != nullptr ? static_cast<unsigned>(port->PortNumber) : 0u,
             static_cast<unsigned>(length));
    return NOT_BUILT_YET();
}


void NdisCommonHifIntHandlerThreadHandler(PMP_PORT port, ULONG cmdId)
{
    if (port == nullptr || port->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_THREAD, "interrupt work 0x%08X without a port", static_cast<unsigned>(cmdId));
        return;
    }
    PMP_ADAPTER adapter = port->Adapter;
    if (AdapterTestFlags(adapter, ADAPTER_FLAGS_THREAD_CMD_DROP)) {
        return;
    }
    switch (cmdId) {
    case INT_HANDLER_CMD_INTERRUPT_WORK:
        if (HalIsThirdGeneration(adapter->DeviceId)) {
            (void)AsicArvel3xPciHandleInterruptInternal(adapter);
        } else if (HalChipCodeOfDeviceId(adapter->DeviceId) / 0x100 == 0x35) {
            // The second generation: chip codes 0x3501, 0x3502, 0x3503.
            (void)AsicArvel2xPciHandleInterruptInternal(adapter);
        }
        break;
    case INT_HANDLER_CMD_FW_OWN:
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
        break;
    default:
        break;
    }
}
