// The OS's set-radio-state and change-operation-mode tasks, the operation mode of a port, the OS's
// power-save mode for a station, and the action-frame dialog tokens.
#include <cstring>

#include "Common/cnm.h"
#include "Common/common.h"
#include "Common/logevent.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmereq.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2pms.h"
#include "Common/qzcmd_bss.h"
#include "Common/recv.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndis6/n6xmit.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/ndiswdi.h"
#include "platform/wdi/wdievent.h"
#include "platform/wdi/wdimain.h"
#include "platform/wdi/wdisend.h"
#include "platform/wdi/wditask.h"

namespace {

constexpr NTSTATUS kStatusInvalidDeviceState = static_cast<NTSTATUS>(0xC00000BBL);
constexpr NTSTATUS kStatusNotValidForPort = static_cast<NTSTATUS>(0xC0010017L);
constexpr NTSTATUS kStatusScanRadioOff = static_cast<NTSTATUS>(0xC0010019L);
constexpr ULONG kSubtypeStation = 0;
constexpr ULONG kSubtypeClient = 1;
constexpr ULONG kSubtypeAp = 2;
constexpr ULONG kSubtypeOther = 3;
constexpr ULONG kSubtypeRunningGo = 4;
constexpr ULONG kSubtypeDevice = 5;
constexpr ULONG kPowerModeMax = 24;
constexpr ULONG kP2pConcurrencyFlag = 0x10;
constexpr ULONG kCertRegP2pTest = 0x1;
constexpr ULONG kNewWdiVersionForStation = 0x6001Du;
constexpr ULONG kRoleCodeGo = 2;
constexpr ULONG kRoleCodeDevice = 3;
constexpr ULONG kBssInfrastructure = 1;
const ULONG kDriverOpModes[] = {2, 4, 1, 8, 16, 32};

bool AtDispatch() { return KeGetCurrentIrql() >= DISPATCH_LEVEL; }

bool LinkUp(PMP_PORT port) { return (port->ConnectionFlags & PORT_CONN_CONNECTED) != 0; }

// Applies a power-save mode at once, or through the control thread from dispatch level.
void ApplyPowerMode(PMP_ADAPTER adapter, PMP_PORT port, ULONG mode)
{
    if (AtDispatch()) {
        (void)QZEnqueueInternalCmd(adapter, port, INTERNAL_CMD_POWER_MGMT_MODE, &mode, sizeof(mode));
        return;
    }
    (void)MlmeInfoPnpSetPowerMgmtMode(adapter, port, mode);
}

void StartTimers(PMP_PORT port)
{
    if (port->MlmePeriodicTimer.Initialized) {
        (void)PlatformSetTimer(port, &port->MlmePeriodicTimer, 100);
    }
    if (port->TxHangTimer.Initialized) {
        (void)PlatformSetTimer(port, &port->TxHangTimer, 1000);
    }
}

void CancelTimers(PMP_PORT port)
{
    UCHAR cancelled = 0;
    if (port->MlmePeriodicTimer.Initialized) {
        PlatformCancelTimer(&port->MlmePeriodicTimer, &cancelled);
    }
    if (port->TxHangTimer.Initialized) {
        PlatformCancelTimer(&port->TxHangTimer, &cancelled);
    }
}

// Binds the port to a firmware BSS slot and activates its network when the firmware does not run it.
void BindAndActivate(PMP_ADAPTER adapter, PMP_PORT port, UCHAR deviceFlag)
{
    (void)cnmInitAndGetBssIndexForPort(adapter, port, 1, deviceFlag);
    if (port->NetworkActivation[0] == 0) {
        (void)QzCmdActivateDeactivateNetwork(adapter, port->BssIndex, 1);
    }
}

// The port's own station entry takes an entry type.
void SetOwnEntryType(PMP_PORT port, ULONG type)
{
    PMAC_TABLE_ENTRY own = MlmeSyncMacTabMatchedPort(port, MAC_ENTRY_KIND_OWN_BSS);
    if (own != nullptr) {
        own->EntryType = type;
    }
}

void ClearSsidSetBssid(PMP_PORT port)
{
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    std::memset(cfg.DesiredSsid, 0, sizeof(cfg.DesiredSsid));
    cfg.DesiredSsidLength = 0;
    std::memset(&cfg.DesiredSsidRecord, 0, sizeof(cfg.DesiredSsidRecord));
    port->P2pSsidLen = 0;
    std::memcpy(port->Bssid, port->MacAddress, MAC_ADDR_LEN);
}

}  // namespace

// ================================================================================================
// the set-radio-state task
// ================================================================================================
NTSTATUS NdisWdiTaskSetRadioStateSanity(PMP_ADAPTER adapter, PMP_PORT port, WIFIREQUEST request, PBOOLEAN skip,
                                        UCHAR radioOn)
{
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(radioOn);
    *skip = FALSE;
    if (port->OpMode == kSubtypeRunningGo) {
        *skip = TRUE;
        return kStatusInvalidDeviceState;
    }
    if (adapter->RadioState.HardwareRadioState == 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "radio state: the hardware radio is off, nothing changes");
        *skip = TRUE;
    }
    return STATUS_SUCCESS;
}

NTSTATUS NdisWdiTaskSetRadioState(PMP_ADAPTER adapter, PMP_PORT port, WIFIREQUEST request, UCHAR radioOn)
{
    UNREFERENCED_PARAMETER(request);
    REGISTRY_RADIO_STATE& radio = adapter->RadioState;
    if (radioOn) {
        radio.SoftwareRadioState = 1;
        radio.RadioOn = radio.HardwareRadioState;
        MlmeRadioOn(adapter, port);
        StartTimers(port);
    } else {
        radio.SoftwareRadioState = 0;
        radio.RadioOn = 0;
        if (AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
            XmitKickPortTx(adapter, port);
            adapter->Mlme.Scan.OsScan = 0;
            const ULONG scanning = adapter->PendingScanPort;
            PMP_PORT scanPort = scanning < MP_MAX_PORTS ? adapter->PortList[scanning] : nullptr;
            PlatformIndicateScanStatus(adapter, scanPort != nullptr ? scanPort : port,
                                       static_cast<ULONG>(kStatusScanRadioOff), 1, 1);
        }
        MlmeRadioOff(adapter, port);
        CancelTimers(port);
    }
    PlatformIndicateCurrentRadioState(adapter, 0, -1);
    (void)Ndis6CommonSetRegistry(adapter, REGISTRY_WRITE_RADIO);
    return STATUS_SUCCESS;
}

NTSTATUS WdiTaskSetRadioState(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    const auto* p = static_cast<const WDI_SET_RADIO_STATE_PARAMETERS*>(parameters);
    if (port == nullptr) {
        (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
        return STATUS_UNSUCCESSFUL;
    }
    if (p == nullptr) {
        (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
        return NDIS_STATUS_INVALID_DATA;
    }
    BOOLEAN skip = FALSE;
    NTSTATUS status = NdisWdiTaskSetRadioStateSanity(adapter, port, request, &skip, p->RadioOn);
    if (!skip) {
        status = NdisWdiTaskSetRadioState(adapter, port, request, p->RadioOn);
    }
    UINT inputLength = 0;
    const auto* buffer = static_cast<const UCHAR*>(WifiRequestGetInOutBuffer(request, &inputLength, nullptr));
    const USHORT portId = buffer != nullptr && inputLength >= WDI_MESSAGE_HEADER_SIZE
                              ? static_cast<USHORT>(buffer[0] | (buffer[1] << 8))
                              : static_cast<USHORT>(port->PortNumber);
    // The completion goes out before the request itself completes.
    WdiEventSetRadioState(adapter, portId, 1, status);
    (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
    return status;
}

// ================================================================================================
// the change-operation-mode task
// ================================================================================================
NTSTATUS NdisWdiSetCurrentOperationMode(PMP_ADAPTER adapter, PMP_PORT port, ULONG wdiOperationMode)
{
    const ULONG code = NdisWdiGetQzlOpModeValue(adapter, wdiOperationMode);
    port->OperationModeCode = code;
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    if (wdiOperationMode > 8) {
        cfg.SecondaryOpMode = code;
        cfg.RoleCode = code;
    }
    PP2P_CTRL_BLOCK p2p = adapter->P2pBlock;
    switch (code) {
    case 1:
        port->PortType = EXTAP;
        port->OpMode = kSubtypeAp;
        ClearSsidSetBssid(port);
        break;
    case 4:
        // The network monitor keeps the port as it is.
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "port %u: network monitor", static_cast<unsigned>(port->PortNumber));
        break;
    case 2:
        if (adapter->TlvContext.PeerVersion > kNewWdiVersionForStation && p2p != nullptr) {
            if (p2p->GoPort == port) {
                p2p->GoPort = nullptr;
            }
            if (p2p->ClientPort == port) {
                p2p->ClientPort = nullptr;
            }
        }
        port->Mlme.Req.DesiredBssType = kBssInfrastructure;
        port->PortType = EXTSTA;
        if (port->OpMode != kSubtypeRunningGo && adapter->OpMode != 3) {
            port->OpMode = kSubtypeStation;
        }
        break;
    case 8:
        P2pUserCfgInit(adapter, port);
        (void)InitHtVhtHeEhtCtrl(adapter, port);
        if ((adapter->RegistryBlock.CertReg & kCertRegP2pTest) != 0) {
            port->P2pConnValues[0] = 32;
            port->P2pConnValues[1] = 0;
        }
        BindAndActivate(adapter, port, 1);
        if (p2p != nullptr) {
            p2p->DevicePort = port;
        }
        port->Mlme.Req.DesiredBssType = kBssInfrastructure;
        port->PortType = WFD_DEVICE;
        port->OpMode = kSubtypeDevice;
        cfg.RoleCode = kRoleCodeDevice;
        (void)P2pMsEnable(adapter, port);
        break;
    case 16:
        P2pUserCfgInit(adapter, port);
        (void)InitHtVhtHeEhtCtrl(adapter, port);
        port->Cfg.P2pMcc.P2pGoBand =
            (port->P2pCfgGoChannel > 14 || port->Cfg.BandWord != 1) ? adapter->RegistryBlock.P2P_GO_Band : 0;
        SetOwnEntryType(port, MAC_ENTRY_TYPE_GO_CLIENT);
        BindAndActivate(adapter, port, 0);
        ClearSsidSetBssid(port);
        port->Mlme.Req.DesiredBssType = kBssInfrastructure;
        port->PortType = WFD_GO;
        cfg.RoleCode = kRoleCodeGo;
        if (p2p != nullptr) {
            p2p->GoPort = port;
        }
        port->P2pRole = 1;
        break;
    case 32:
        P2pUserCfgInit(adapter, port);
        (void)InitHtVhtHeEhtCtrl(adapter, port);
        SetOwnEntryType(port, MAC_ENTRY_TYPE_CLIENT_GO);
        BindAndActivate(adapter, port, 0);
        port->Mlme.Req.DesiredBssType = kBssInfrastructure;
        port->PortType = WFD_CLIENT;
        if (p2p != nullptr) {
            if (p2p->ClientPort == nullptr || p2p->ClientPort == port) {
                p2p->ClientPort = port;
            } else {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "port %u: no free Wi-Fi Direct client slot",
                         static_cast<unsigned>(port->PortNumber));
            }
        }
        port->OpMode = kSubtypeClient;
        cfg.RoleCode = kRoleCodeGo;
        port->P2pRole = 1;
        LogEventP2PClientRole(adapter);
        break;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "operation mode 0x%X (code %u) not taken",
                 static_cast<unsigned>(wdiOperationMode), static_cast<unsigned>(code));
        break;
    }
    Ndis6CommonPortFreeVariableIE(port);
    return STATUS_SUCCESS;
}

NTSTATUS WdiTaskChangeOperationMode(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    const auto* p = static_cast<const WDI_OPERATION_MODE_PARAMETERS*>(parameters);
    if (port == nullptr || p == nullptr) {
        (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
        return port == nullptr ? STATUS_UNSUCCESSFUL : NDIS_STATUS_INVALID_DATA;
    }
    bool known = false;
    for (ULONG code : kDriverOpModes) {
        known = known || NdisWdiGetOpModeValue(adapter, code) == p->OperationMode;
    }
    const NTSTATUS result = known ? NdisWdiSetCurrentOperationMode(adapter, port, p->OperationMode)
                                  : NDIS_STATUS_INVALID_DATA;
    WDI_MESSAGE_HEADER header = adapter->Wdi.CntlBlock.HeaderCopy;
    WdiEventSendStatusIndicationEx(adapter, &header, static_cast<USHORT>(port->PortNumber),
                                   WDI_INDICATION_CHANGE_OPERATION_MODE_COMPLETE, result, nullptr, 0,
                                   WDI_INDICATION_MODE_TASK_COMPLETION);
    (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
    return result;
}

// ================================================================================================
// power management and dialog tokens
// ================================================================================================
NTSTATUS NdisWdiSetOidDot11PowerMgmtRequest(PMP_ADAPTER adapter, PMP_PORT port, const ULONG* powerMode, ULONG length,
                                            PULONG bytesNeeded)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (port->PortType == HELPER || port->PortType == EXTAP) {
        return kStatusNotValidForPort;
    }
    if (powerMode == nullptr || length < sizeof(ULONG)) {
        if (bytesNeeded != nullptr) {
            *bytesNeeded = sizeof(ULONG);
        }
        return STATUS_BUFFER_OVERFLOW;
    }
    const ULONG mode = *powerMode;
    if (mode > kPowerModeMax) {
        return NDIS_STATUS_INVALID_DATA;
    }
    if (port->OpMode == kSubtypeStation && IsAnyPortLowLatency(adapter) == 0) {
        const bool concurrency = adapter->P2pBlock != nullptr && (adapter->P2pBlock->Flags & kP2pConcurrencyFlag) != 0;
        ApplyPowerMode(adapter, port, concurrency ? 0 : mode);
        return STATUS_SUCCESS;
    }
    if (port->OpMode == kSubtypeClient || port->OpMode == kSubtypeOther) {
        PMP_PORT station = MlmeSyncGetPortByType(adapter, EXTSTA);
        if (station != nullptr && LinkUp(station)) {
            ApplyPowerMode(adapter, station, 0);
        } else if (port->OpMode == kSubtypeClient && LinkUp(port)) {
            ApplyPowerMode(adapter, port, 0);
        }
    }
    return STATUS_SUCCESS;
}

UCHAR NdisWdiGenerateActionDialogToken(PMP_PORT port)
{
    if (port == nullptr) {
        return 1;
    }
    UCHAR& token = port->ConnectConfig.ActionDialogToken;
    token = token >= 255 ? 1 : static_cast<UCHAR>(token + 1);
    return token;
}

UCHAR NdisWdiGetCurrentActionDialogToken(PMP_PORT port)
{
    return port != nullptr ? port->ConnectConfig.ActionDialogToken : 1;
}
