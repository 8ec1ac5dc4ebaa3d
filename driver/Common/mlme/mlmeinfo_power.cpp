// Power save of the station: the OS's power-management level, the control tool's override, and the end of
// the keep-active period that follows a link up.
#include "Common/mlme/mlmeinfo.h"

#include "Common/fwsettings.h"
#include "Common/mlme/mlme.h"
#include "Common/p2p/p2p.h"
#include "Common/recv.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kStationSubtype = 0;
constexpr ULONG kP2pKeepAwake = 0x10;  // Wi-Fi Direct control flag: keep the station awake

void SetModes(PMP_ADAPTER adapter, ULONG mode)
{
    MLME_PS_ADAPTER_BLOCK& ps = adapter->Ps;
    if (ps.SaveLock == 0) {
        ps.SavedMode = mode;
    }
    ps.CurrentMode = mode;
}

}  // namespace

NTSTATUS MlmeInfoPnpSetPowerMgmtMode(PMP_ADAPTER adapter, PMP_PORT port, ULONG mode)
{
    if (adapter == nullptr || port == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MlmeInfoPnpSetPowerMgmtMode: no port for level %u", static_cast<unsigned>(mode));
        return STATUS_INVALID_PARAMETER;
    }
    MLME_PS_ADAPTER_BLOCK& ps = adapter->Ps;
    if (ps.OverrideOn != 0) {
        switch (ps.OverrideValue) {
        case 0: mode = MLME_PS_LEVEL_NONE; break;
        case 1:
        case 2: mode = MLME_PS_LEVEL_MEDIUM; break;
        default: break;
        }
        if (adapter->PortList[0] != nullptr) {
            port = adapter->PortList[0];
        }
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "power save overridden: level %u", static_cast<unsigned>(mode));
    }
    NTSTATUS status = STATUS_SUCCESS;
    port->ConnectionFlags |= PORT_STATUS_OS_POWER_MODE;
    switch (mode) {
    case MLME_PS_LEVEL_NONE:
        (void)MlmeSetPsmBit(adapter, 0);
        SetModes(adapter, mode);
        status = QzCmdSetPowerCtrl(adapter, port, MLME_FW_PS_ACTIVE);
        break;
    case MLME_PS_LEVEL_MEDIUM:
    case MLME_PS_LEVEL_MAX:
        SetModes(adapter, mode);
        ps.WakeCount = MLME_PS_WAKE_COUNT;
        status = QzCmdSetPowerCtrl(adapter, port, MLME_FW_PS_FAST);
        break;
    default:
        (void)MlmeSetPsmBit(adapter, 0);
        SetModes(adapter, mode);
        break;
    }
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "power save level %u: power control 0x%08X", static_cast<unsigned>(mode),
                 static_cast<unsigned>(status));
    }
    return status;
}

VOID MlmeInfoKeepActivePwrPeriodDone(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    const bool station = port->OpMode == kStationSubtype;
    if (station && (port->ConnectionFlags & PORT_STATUS_INFRA_LINK_UP) != 0) {
        if (IsAnyPortLowLatency(adapter) != 0 ||
            (adapter->P2pBlock != nullptr && (adapter->P2pBlock->Flags & kP2pKeepAwake) != 0)) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "keep-active period done: the station stays awake");
            return;
        }
    }
    if (!(station && adapter->RegistryBlock.PsEnable != 0) && adapter->Ps.CurrentMode == 0) {
        return;
    }
    const NTSTATUS status = QzCmdSetPowerCtrl(adapter, port, MLME_FW_PS_FAST);
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "keep-active period done: power control 0x%08X", static_cast<unsigned>(status));
    }
}

VOID MlmeInfoKeepActivePwrTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer, PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr || AdapterTestFlags(port->Adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    MlmeInfoKeepActivePwrPeriodDone(port->Adapter, port);
}
