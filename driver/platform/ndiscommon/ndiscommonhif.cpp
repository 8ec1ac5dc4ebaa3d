// The host interface facade: the calls the shell makes into the bus layer, and the interrupt-work
// dispatch of "PlatformIntHandlerThread".
#include "platform/ndiscommon/ndiscommonhif.h"

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

namespace {

enum class ChipGeneration { Older, Second, Third, None };

// Chip groups by PCI device id.
ChipGeneration GenerationOf(USHORT deviceId)
{
    switch (deviceId) {
    case 0x3501: case 0x3504: case 0x0C01: case 0x3502: case 0x0C02: case 0x3503:
        return ChipGeneration::Second;
    case 0x3601: case 0x0C03: case 0x3602: case 0x3603: case 0x0C04:
        return ChipGeneration::Third;
    case 0x3404:
        return ChipGeneration::Older;
    default:
        return ChipGeneration::None;
    }
}

}  // namespace

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
        switch (GenerationOf(adapter->DeviceId)) {
        case ChipGeneration::Second:
            (void)AsicArvel2xPciHandleInterruptInternal(adapter);
            break;
        case ChipGeneration::Third:
            (void)AsicArvel3xPciHandleInterruptInternal(adapter);
            break;
        default:
            break;
        }
        break;
    case INT_HANDLER_CMD_FW_OWN:
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
        break;
    default:
        break;
    }
}
