// MLME requests: scan, connect, disconnect, radio off and on, modern standby, the Wi-Fi Direct listen
// state, the channel time of an action frame, and the decisions the periodic jobs consult.
#include "Common/mlme/mlmereq.h"

#include <cstring>

#include "Common/fwsettings.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeassoc.h"
#include "Common/mlme/mlmeauth.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "Common/mlme/mlmewsc.h"
#include "Common/nic_uni_cmd_direct.h"
#include "Common/p2p/p2p.h"
#include "Common/qzcmd_scan.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndis6/n6platformindicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdimain.h"
#include "platform/ndis6/n6xmit.h"
#include "platform/wdi/wdisend.h"

namespace {

constexpr NTSTATUS kStatusSsidTooLong = static_cast<NTSTATUS>(0xC0010014L);
constexpr NTSTATUS kStatusRefusedWps = static_cast<NTSTATUS>(0xC0232001L);
constexpr NTSTATUS kStatusNotConnecting = static_cast<NTSTATUS>(0xC0000184L);
constexpr NTSTATUS kStatusRadioOffScan = static_cast<NTSTATUS>(0xC0010019L);
constexpr ULONG kCipherWep = 0x101;
constexpr ULONG kAuthOpen = 1;
constexpr ULONG kDisconnectWaitUs = 100 * 1000;
constexpr ULONG kRadioOffWaitUs = 1000;
constexpr ULONG kRadioWaitUs = 10 * 1000;
constexpr ULONG kPeriodicMs = 100;
constexpr ULONG kTxHangMs = 1000;
constexpr ULONG kListenFilter = 0xC000000Cu;
constexpr ULONG kSwitchListenMs = 1000;

ULONG ReadU32(const UCHAR* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<ULONG>(p[3]) << 24);
}

bool IsP2pPort(const MP_PORT* port) { return port->PortType >= WFD_DEVICE && port->PortType <= WFD_CLIENT; }

bool ThirdGeneration(PMP_ADAPTER adapter) { return QzCmdChipGroup(adapter) == FW_CHIP_GROUP_ARVEL3X; }

ULONG64 Now()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return static_cast<ULONG64>(now.QuadPart);
}

// Runs the association machine's disassociation directly: {BSSID, reason} in a temporary element.
void DisassociateDirectly(PMP_ADAPTER adapter, PMP_PORT port, USHORT reason)
{
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, sizeof(MLME_QUEUE_ELEM), TAG_ZV05) != STATUS_SUCCESS ||
        block == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "disassociation: no element, no frame");
        return;
    }
    auto* elem = static_cast<PMLME_QUEUE_ELEM>(block);
    PlatformZeroMemory(elem, sizeof(*elem));
    elem->Machine = MLME_ASSOC_STATE_MACHINE;
    elem->MsgType = MT2_MLME_DISASSOC_REQ;
    elem->PortIndex = port->PortNumber;
    MLME_DISASSOC_REQ_STRUCT body{};
    std::memcpy(body.Addr, port->Bssid, 6);
    body.Reason = reason;
    std::memcpy(elem->Msg, &body, sizeof(body));
    elem->MsgLen = sizeof(body);
    (void)MlmeDisassocReqAction(adapter, elem);
    PlatformFreeMemory(block, sizeof(MLME_QUEUE_ELEM));
}

void LedOff(PMP_ADAPTER adapter)
{
    switch (adapter->RegistryBlock.OemLedMode) {
    case 1: (void)nicUniCmdLedGpioLedCtrl(adapter, 0); break;
    case 2: (void)nicUniCmdRODuduGpioLedCtrl(adapter, 0, 0, 0); break;
    default: break;
    }
}

void LedOn(PMP_ADAPTER adapter)
{
    switch (adapter->RegistryBlock.OemLedMode) {
    case 1: (void)nicUniCmdLedGpioLedCtrl(adapter, 1); break;
    case 2: (void)nicUniCmdRODuduGpioLedCtrl(adapter, 0, 1, 0); break;
    default: break;
    }
}

void AbortHeldPrivilege(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter->ChPrivilegeHeld) {
        (void)QzCmdChPrivilage(adapter, port, adapter->ChPrivilegeChannel, adapter->ChPrivilegeBand,
                               CH_PRIVILEGE_RELEASE, 0, 0, nullptr, nullptr, 0, 0);
    }
}

void SaveP2pState(PMP_ADAPTER adapter)
{
    PMP_PORT device = MlmeSyncGetPortByType(adapter, WFD_DEVICE);
    if (device != nullptr) {
        device->Mlme.Req.P2pSavedState = static_cast<ULONG>(device->P2pDiscoState);
    }
}

}  // namespace

// ================================================================================================
// scan
// ================================================================================================
NTSTATUS MlmeScanRequest(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* request, ULONG length,
                         PULONG bytesWritten, PULONG bytesNeeded)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    *bytesNeeded = OID_SCAN_REQUEST_HEADER;
    if (request == nullptr || length < OID_SCAN_REQUEST_HEADER) {
        return kStatusSsidTooLong;
    }
    *bytesWritten = length;
    // Every SSID entry lies inside the request and holds at most 32 bytes.
    const ULONG variable = length - OID_SCAN_REQUEST_HEADER;
    const ULONG ssidOffset = ReadU32(request + OID_SCAN_SSID_OFFSET_OFFSET);
    const ULONG ssidCount = ReadU32(request + OID_SCAN_SSID_COUNT_OFFSET);
    if (ssidOffset > variable || ssidCount > (variable - ssidOffset) / OID_SCAN_REQUEST_SSID_ENTRY) {
        return kStatusSsidTooLong;
    }
    for (ULONG i = 0; i < ssidCount; ++i) {
        const UCHAR* entry = request + OID_SCAN_REQUEST_HEADER + ssidOffset + i * OID_SCAN_REQUEST_SSID_ENTRY;
        if (ReadU32(entry) > 32) {
            return kStatusSsidTooLong;
        }
    }
    const ULONG bssType = ReadU32(request + OID_SCAN_BSS_TYPE_OFFSET);
    const ULONG scanType = ReadU32(request + OID_SCAN_TYPE_OFFSET) & ~OID_SCAN_TYPE_FORCED;
    if (bssType < 1 || bssType > 3 || scanType < 1 || scanType > 3) {
        return STATUS_NOT_SUPPORTED;
    }
    if (port->Mlme.CntlMachine.CurrState != 0) {
        (void)MlmeRestartStateMachine(adapter, port);
    }
    if (adapter->Wdi.ScanAbortRequested.load() != 0 && !IsP2pPort(port)) {
        MlmeSyncArmScanTimer(adapter, 0);
        return STATUS_UNSUCCESSFUL;
    }
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    scan.ScanStartTime = Now();
    adapter->PendingScanPort = port->PortNumber;
    adapter->Mlme.ScanReqPending = 1;
    scan.OsScan = 1;
    scan.ScanInProgress = 1;
    scan.ConnectScan = 0;
    adapter->Mlme.SplitScanProgress = 0;
    adapter->Mlme.AutoReconnectPending = 0;
    adapter->Mlme.ScanRequest.ChunkIssued = 0;
    ScanNeighborAPInfoListReset(adapter, &adapter->NeighborApList);
    ULONG timeout = SCAN_TIMEOUT_MS;
    if (IsP2pPort(port) && port->Mlme.Req.DiscoveryBudgetMs != 0 && port->Mlme.Req.DiscoveryBudgetMs < timeout) {
        timeout = port->Mlme.Req.DiscoveryBudgetMs;
    }
    MlmeSyncArmScanTimer(adapter, timeout);
    AbortHeldPrivilege(adapter, port);
    SaveP2pState(adapter);
    if (!MlmeEnqueue(adapter, port, MLME_CNTL_STATE_MACHINE, CNTL_MSG_OID_SCAN, length, request)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "scan request not queued: the scan is reported done");
        PlatformIndicateScanStatus(adapter, port, 0, 1, 0);
    }
    return STATUS_SUCCESS;
}

// ================================================================================================
// connect and disconnect
// ================================================================================================
NTSTATUS MlmeConnectRequest(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    MLME_REQUEST_STATE& req = adapter->Mlme.Req;
    LARGE_INTEGER local;
    KeQuerySystemTime(&local);
    req.ConnectRequestTime = static_cast<ULONG64>(local.QuadPart);
    PlatformZeroMemory(req.ConnectProgress, sizeof(req.ConnectProgress));
    if (req.WpsSearchRunning || adapter->SnifferMode) {
        return kStatusRefusedWps;
    }
    if (req.SavedWepPending[0] && req.SavedWepPending[1] && port->PortType == EXTSTA &&
        port->Mlme.AuthAlgorithm == kAuthOpen && port->Mlme.UnicastCipher == kCipherWep) {
        static const UCHAR kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        (void)MlmeInfoAddKey(adapter, port, kBroadcast, req.SavedWepKeyIndex, req.SavedWepCipher, req.SavedWepKeyLength,
                             req.SavedWepKey, 0, 0);
        (void)MlmeInfoStaOidSetWEPDefaultKeyID(port);
    }
    req.JoinSsidLen = 32;
    PlatformZeroMemory(req.JoinSsid, sizeof(req.JoinSsid));
    req.JoinByte = 0;
    port->Mlme.StatusWord = 0;
    if (adapter->RegistryBlock.RebootScanEnhancement) {
        adapter->Mlme.Scan.RebootRetryCount = adapter->RegistryBlock.RebootScanRetryThreshold;
        adapter->Mlme.Scan.RebootScanState = REBOOT_SCAN_OFF;
    }
    if (port->Mlme.CntlMachine.CurrState != 0 && !AdapterTestFlags(adapter, ADAPTER_FLAG_RADIO_OFF)) {
        (void)MlmeRestartStateMachine(adapter, port);
    }
    switch (port->Mlme.Req.DesiredBssType) {
    case 4: port->Mlme.Req.BssTypeCode = 6; break;
    case 3: port->Mlme.Req.BssTypeCode = 4; break;
    case 1:
    case 2: port->Mlme.Req.BssTypeCode = 0; break;
    default: port->Mlme.Req.BssTypeCode = 1; break;
    }
    req.JoinTimeoutCount = 0;
    req.ConnectActive = 1;
    req.JoinResult = 0;
    AbortHeldPrivilege(adapter, port);
    SaveP2pState(adapter);
    adapter->Ind.ConnectionStartPending = 1;
    req.JoinByte = 0;
    req.ConnectingPort = port->PortNumber;
    PPLATFORM_TIMER timer = &port->Ind.ConnectionTimeoutTimer[1];
    if (timer->Initialized) {
        (void)PlatformSetTimer(port, timer, CONNECTION_TIMEOUT_MS);
    }
    (void)MlmeEnqueue(adapter, port, MLME_CNTL_STATE_MACHINE, CNTL_MSG_OID_CONNECT, 0, nullptr);
    port->Mlme.Req.ConnectionState = PORT_CONN_STATE_CONNECTING;
    return STATUS_SUCCESS;
}

NTSTATUS DisconnectRequest(PMP_ADAPTER adapter, PMP_PORT port, PULONG bytesWritten, PULONG bytesNeeded,
                           UCHAR sourceFlag, const void* disassocParameters)
{
    if (bytesWritten != nullptr) {
        *bytesWritten = 0;
    }
    if (bytesNeeded != nullptr) {
        *bytesNeeded = 0;
    }
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    MLME_REQUEST_STATE& req = adapter->Mlme.Req;
    req.JoinSsidLen = 32;
    PlatformZeroMemory(req.JoinSsid, sizeof(req.JoinSsid));
    WscStop(adapter, port);
    if (req.ForgetLastNetwork == 1) {
        MlmeCntlResetConnectTarget(adapter);
    }
    port->Mlme.Req.TestModeDisconnect = 0;
    if (port->Mlme.Req.ConnectionState != PORT_CONN_STATE_CONNECTING) {
        return kStatusNotConnecting;
    }
    port->Mlme.Req.ConnectionState = PORT_CONN_STATE_IDLE;
    req.DisconnectInProgress = 1;
    port->Mlme.StatusWord |= PORT_MLME_DISCONNECT_REQUESTED;
    if ((port->ConnectionFlags & PORT_STATUS_INFRA_LINK_UP) != 0) {
        req.DisconnectByOs = 1;
        port->Mlme.Req.DisconnectInProgress = 1;
        if (port->Mlme.CntlMachine.CurrState != 0) {
            (void)MlmeRestartStateMachine(adapter, port);
        }
        if (IsP2pPort(port) && port->P2pConnectState == 0x1D) {
            port->P2pConnectState = 0x18;
        }
        USHORT reason = REASON_DISASSOC_STA_LEAVING;
        if (disassocParameters != nullptr) {
            std::memcpy(&reason, static_cast<const UCHAR*>(disassocParameters) + 6, sizeof(reason));
        }
        DisassociateDirectly(adapter, port, reason);
        NdisCommonGenericDelay(kDisconnectWaitUs);
        (void)MlmeCntLinkDown(port, 0);
        port->Mlme.Req.DisconnectInProgress = 0;
        PlatformIndicateDisassociation(adapter, port, port->Bssid, sourceFlag == 1 ? 3 : 7,
                                       sourceFlag == 1 ? 0x6E : 0x6F);
    }
    if ((port->ConnectionFlags & PORT_STATUS_ADHOC_LINK_UP) != 0) {
        static const UCHAR kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        (void)MlmeAuthDeauthReq(adapter, port, kBroadcast, 3);
        (void)MlmeCntLinkDown(port, 0);
        PlatformIndicateDisassociation(adapter, port, kBroadcast, sourceFlag == 1 ? 3 : 7, sourceFlag == 1 ? 0x70 : 0x71);
        adapter->WorkingCfg.NetworkType = 1;
        port->SavedChannel = port->Channel;
    }
    PMP_PORT device = MlmeSyncGetPortByType(adapter, WFD_DEVICE);
    if (device != nullptr) {
        device->P2pDiscoState = static_cast<LONG>(device->Mlme.Req.P2pSavedState);
        if (device->Mlme.Req.P2pSavedState == 1 && !adapter->ChPrivilegeHeld && device->SwitchP2PListenTimer.Initialized) {
            (void)PlatformSetTimer(device, &device->SwitchP2PListenTimer, kSwitchListenMs);
        }
    }
    port->Mlme.StatusWord |= PORT_MLME_DISCONNECT_DONE;
    return STATUS_SUCCESS;
}

BOOLEAN MlmeValidateSsid(const UCHAR* ssid, ULONG length)
{
    if (length > 32 || (length != 0 && ssid == nullptr)) {
        return FALSE;
    }
    for (ULONG i = 0; i < length; ++i) {
        if (ssid[i] < 0x20) {
            return FALSE;
        }
    }
    return TRUE;
}

VOID MlmeAutoReconnectLastSSID(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr || AdapterTestFlags(adapter, ADAPTER_FLAG_RADIO_OFF)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "no automatic reconnection: no port or the radio is off");
        return;
    }
    if (port->WpsState >= 2 && port->WpsState <= 17) {
        MlmeCntlConnectGiveUp(adapter, port);
        return;
    }
    if ((port->ConnectionFlags & PORT_STATUS_INFRA_LINK_UP) != 0 || port->Mlme.CntlMachine.CurrState != 0) {
        return;
    }
    MLME_REQUEST_STATE& req = adapter->Mlme.Req;
    if (!MlmeValidateSsid(req.JoinSsid, req.JoinSsidLen)) {
        if (port->PortType != WFD_CLIENT || !MlmeValidateSsid(port->P2pSsid, port->P2pSsidLen)) {
            return;
        }
    }
    req.AutoReconnect = 1;
    port->Mlme.Req.ConnectionState = PORT_CONN_STATE_CONNECTING;
    adapter->Mlme.Scan.OsScan = 1;
    (void)MlmeEnqueue(adapter, port, MLME_CNTL_STATE_MACHINE, CNTL_MSG_OID_CONNECT, 0, nullptr);
}

// ================================================================================================
// radio
// ================================================================================================
VOID MlmeRadioOff(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    const bool linked = (port->ConnectionFlags & (PORT_STATUS_INFRA_LINK_UP | PORT_STATUS_ADHOC_LINK_UP)) != 0;
    if (!AdapterTestFlags(adapter, ADAPTER_FLAG_NOT_RESPONDING) && linked) {
        DisassociateDirectly(adapter, port, REASON_DISASSOC_STA_LEAVING);
        NdisCommonGenericDelay(kRadioOffWaitUs);
    }
    LedOff(adapter);
    if (ThirdGeneration(adapter)) {
        (void)nicUniCmdBandGapClockReq(adapter, 0);
    } else {
        (void)QzCmdSetRadioPowerState(adapter, 0);
    }
    AdapterSetFlag(adapter, ADAPTER_FLAG_RADIO_OFF, __func__);
    if (linked) {
        (void)MlmeCntLinkDown(port, 0);
    }
    NdisCommonGenericDelay(kRadioWaitUs);
    BssTableInit(adapter->ScanTable);
    if (adapter->OpMode == 2) {
        adapter->OpMode = 0;
    }
}

VOID MlmeRadioOn(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(port);
    if (adapter == nullptr || !AdapterTestFlags(adapter, ADAPTER_FLAG_RADIO_OFF)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "radio on: the radio is not off");
        return;
    }
    NdisCommonGenericDelay(kRadioWaitUs);
    AdapterClearFlag(adapter, ADAPTER_FLAG_RADIO_OFF, __func__);
    if (ThirdGeneration(adapter)) {
        (void)nicUniCmdBandGapClockReq(adapter, 1);
    } else {
        (void)QzCmdSetRadioPowerState(adapter, 1);
    }
    LedOn(adapter);
}

VOID MlmeRadioOffManually(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    REGISTRY_RADIO_STATE& radio = adapter->RadioState;
    if (radio.SoftwareRadioState && radio.HardwareRadioState) {
        radio.RadioOn = 1;
        return;
    }
    if (!radio.RadioOn) {
        radio.RadioOn = 0;
        return;
    }
    radio.RadioOn = 0;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "radio switched off");
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
        XmitKickPortTx(adapter, port);
        adapter->Mlme.ScanReqPending = 0;
        PlatformIndicateScanStatus(adapter, port, static_cast<ULONG>(kStatusRadioOffScan), 1, 1);
    }
    MlmeRadioOff(adapter, port);
    PMP_PORT port0 = adapter->PortList[0];
    if (port0 != nullptr) {
        UCHAR cancelled = 0;
        PlatformCancelTimer(&port0->MlmePeriodicTimer, &cancelled);
        PlatformCancelTimer(&port0->TxHangTimer, &cancelled);
    }
    N6PlatformIndicateRadioManually(adapter);
    (void)WdiUpdateCntlBlock(adapter, nullptr, WDI_TASK_ROW_NONE);
}

VOID MlmeRadioOnManually(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    REGISTRY_RADIO_STATE& radio = adapter->RadioState;
    if (radio.SoftwareRadioState && radio.HardwareRadioState && !radio.RadioOn) {
        radio.RadioOn = 1;
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "radio switched on");
        MlmeRadioOn(adapter, port);
        PMP_PORT port0 = adapter->PortList[0];
        if (port0 != nullptr) {
            if (port0->MlmePeriodicTimer.Initialized) {
                (void)PlatformSetTimer(port0, &port0->MlmePeriodicTimer, kPeriodicMs);
            }
            if (port0->TxHangTimer.Initialized) {
                (void)PlatformSetTimer(port0, &port0->TxHangTimer, kTxHangMs);
            }
        }
        N6PlatformIndicateRadioManually(adapter);
        (void)WdiUpdateCntlBlock(adapter, nullptr, WDI_TASK_ROW_NONE);
        return;
    }
    radio.RadioOn = static_cast<UCHAR>(radio.SoftwareRadioState && radio.HardwareRadioState);
}

NTSTATUS MlmeModernStandbyEnable(PMP_ADAPTER adapter, PMP_PORT port, UCHAR enable)
{
    if (adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (!adapter->Mlme.Req.PowerControlOff) {
        const NTSTATUS status = QzCmdSetPowerCtrl(adapter, port, enable == 1 ? 2 : 0);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "power control for modern standby: 0x%08X", static_cast<unsigned>(status));
        }
    }
    return QZCmdSetSuspendMode(adapter, port, enable);
}

// ================================================================================================
// Wi-Fi Direct listen state and action-frame channel time
// ================================================================================================
NTSTATUS MlmeSyncP2pSetListenState(PMP_ADAPTER adapter, PMP_PORT port, ULONG listenChannel, ULONG keep,
                                   ULONG durationMs, UCHAR start)
{
    UNREFERENCED_PARAMETER(listenChannel);
    UNREFERENCED_PARAMETER(keep);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "listen state %u for %u ms", static_cast<unsigned>(start),
             static_cast<unsigned>(durationMs));
    PMP_PORT device = adapter != nullptr && adapter->P2pBlock != nullptr ? adapter->P2pBlock->DevicePort : nullptr;
    if (device == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (port == device) {
        PMP_PORT client = MlmeSyncGetPortByType(adapter, WFD_CLIENT);
        PMP_PORT go = MlmeSyncGetPortByType(adapter, WFD_GO);
        if ((client != nullptr && client->Mlme.Req.ConnectionState == PORT_CONN_STATE_CONNECTING) ||
            (go != nullptr && go->Mlme.Req.ConnectionState == PORT_CONN_STATE_CONNECTING)) {
            if (start) {
                MlmeP2PListenPhaseStartCallback(device, 0);
            }
            return STATUS_SUCCESS;
        }
    }
    if (start) {
        (void)QzCmdSetCurrentPacketFilter(adapter, device, kListenFilter);
        const UCHAR channel = device->P2pListenChannel;
        const NTSTATUS status = QzCmdChPrivilage(adapter, device, channel, channel < 15 ? BAND_24G : BAND_5G,
                                                 CH_PRIVILEGE_REQUEST, 1, durationMs, nullptr, nullptr, 0, 0);
        if (NT_SUCCESS(status)) {
            MlmeP2PListenPhaseStartCallback(device, 0);
            if (device->Mlme.Req.ListenOnChannel != 0 && device->P2pListenSTASwitchTimer.Initialized) {
                UCHAR cancelled = 0;
                PlatformCancelTimer(&device->P2pListenSTASwitchTimer, &cancelled);
                (void)PlatformSetTimer(device, &device->P2pListenSTASwitchTimer, durationMs);
            }
        }
        return status;
    }
    NTSTATUS status = STATUS_SUCCESS;
    if (adapter->ChPrivilegeHeld) {
        status = QzCmdChPrivilage(adapter, device, adapter->ChPrivilegeChannel, adapter->ChPrivilegeBand,
                                  CH_PRIVILEGE_RELEASE, 0, 0, nullptr, nullptr, 0, 0);
    }
    if (device->Mlme.Req.ListenOnChannel == 0) {
        UCHAR cancelled = 0;
        PlatformCancelTimer(&device->P2pListenSTASwitchTimer, &cancelled);
    }
    if (device->P2pDiscoState != P2P_SEARCH && device->P2pDiscoState != P2P_LISTEN) {
        return QzCmdSetCurrentPacketFilter(adapter, device, device->Mlme.Req.SavedPacketFilter);
    }
    return status;
}

VOID MlmeP2pListenPhaseStopCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer, PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    PMP_ADAPTER adapter = port != nullptr ? port->Adapter : nullptr;
    if (adapter == nullptr ||
        AdapterTestFlags(adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED | ADAPTER_FLAG_NOT_RESPONDING)) {
        return;
    }
    if ((WdiTaskIsPending(adapter, WDI_TASK_SCAN) || WdiTaskIsPending(adapter, WDI_TASK_P2P_DISCOVER)) &&
        adapter->Wdi.CntlBlock.AbortRequested.load() != 0) {
        return;
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
        const ULONG scanning = adapter->PendingScanPort;
        PMP_PORT scanPort = scanning < MP_MAX_PORTS ? adapter->PortList[scanning] : nullptr;
        if (scanPort == nullptr || !NT_SUCCESS(QZEnqueueInternalCmd(adapter, scanPort, 0x20000014u, nullptr, 0))) {
            (void)p2pStopListenPhase(adapter, scanPort != nullptr ? scanPort : port);
        }
    }
}

NTSTATUS MlmeTxActionFrameChPrivilege(PMP_ADAPTER adapter, PMP_PORT port, UCHAR channel, UCHAR band,
                                      ULONG durationMs, UCHAR arm)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    PLATFORM_TIMER* timer = &port->Mlme.Req.ActionChannelTimer;
    if (arm) {
        port->Mlme.Req.ActionTransmitArmed = 1;
        if (timer->Initialized) {
            (void)PlatformSetTimer(port, timer, durationMs);
        }
    }
    const NTSTATUS status = QzCmdChPrivilage(adapter, port, channel, band, CH_PRIVILEGE_REQUEST, 1, durationMs, nullptr,
                                             nullptr, 0, 0);
    if (!NT_SUCCESS(status) && arm) {
        port->Mlme.Req.ActionTransmitArmed = 0;
        UCHAR cancelled = 0;
        PlatformCancelTimer(timer, &cancelled);
    }
    return status;
}

// ================================================================================================
// decisions
// ================================================================================================
BOOLEAN IsRoamingAllowed(PMP_ADAPTER adapter, PMP_PORT port)
{
    switch (adapter->RegistryBlock.RoamingCheckAlgorithm) {
    case 0: return MlmeChkHasValidRoamAp(adapter, port);
    case 2: return TRUE;
    default: return FALSE;
    }
}

BOOLEAN NeedRoamBadAvgRssi(PMP_ADAPTER adapter, PMP_PORT port, CHAR averageRssi)
{
    const ULONG threshold = adapter->RegistryBlock.RoamNeedIndicateTh;
    if (threshold == 0 || averageRssi == -100) {
        return FALSE;
    }
    LONG quality;
    if (averageRssi <= -98) {
        quality = 0;
    } else if (averageRssi >= -48) {
        quality = 200;
    } else {
        quality = (averageRssi + 98) * 4;
    }
    if (quality >= 160) {
        return FALSE;
    }
    if (quality <= 30) {
        return TRUE;
    }
    const ULONG retries = port != nullptr ? port->Mlme.Req.RoamRetryCount : 0;
    return static_cast<BOOLEAN>(static_cast<ULONG>(-averageRssi) > threshold + 5 * retries);
}

BOOLEAN MlmeIgnoreScanByThroughput(PMP_ADAPTER adapter, PMP_PORT port, ULONG phyClass, ULONG scanKind)
{
    UNREFERENCED_PARAMETER(port);
    const REGISTRY_BLOCK& reg = adapter->RegistryBlock;
    ULONG phyThreshold = 0;
    switch (phyClass) {
    case 0:
    case 1: phyThreshold = reg.TputLegacy; break;
    case 2:
    case 3: phyThreshold = reg.TputHT; break;
    case 4: phyThreshold = reg.TputVHT; break;
    case 5: phyThreshold = reg.TputHE; break;
    default: return FALSE;
    }
    if (scanKind == SCAN_TRIGGER_ROAM || scanKind == SCAN_TRIGGER_ROAM_2) {
        return FALSE;
    }
    const ULONG threshold = (scanKind == 1 || scanKind == 4) ? phyThreshold : reg.TputScenario;
    return static_cast<BOOLEAN>(adapter->Mlme.Req.CurrentThroughputMbps >= threshold);
}

ULONG MlmeSortBssListByRssi(PMP_ADAPTER adapter, PULONG order)
{
    if (!adapter->Mlme.Req.BssListSortOn || order == nullptr) {
        return 0;
    }
    PREPOSIT_TABLE reposit = RepositTableGet(adapter);
    const BSS_ENTRY* entries = nullptr;
    ULONG count = 0;
    if (reposit != nullptr && reposit->RepositCount != 0) {
        entries = reposit->Entries;
        count = reposit->RepositCount;
    } else if (adapter->ScanTable != nullptr) {
        entries = adapter->ScanTable->BssEntry;
        count = adapter->ScanTable->EntryCount;
    }
    count = count < MAX_LEN_OF_BSS_TABLE ? count : MAX_LEN_OF_BSS_TABLE;
    CHAR rssi[MAX_LEN_OF_BSS_TABLE];
    PMP_PORT port0 = adapter->PortList[0];
    LONG current = -1;
    for (ULONG i = 0; i < count; ++i) {
        order[i] = i;
        rssi[i] = entries[i].Rssi;
        if (port0 != nullptr && entries[i].SsidLen == port0->CurrentSsidLen && port0->CurrentSsidLen != 0 &&
            std::memcmp(entries[i].Ssid, port0->CurrentSsid, port0->CurrentSsidLen) == 0) {
            current = static_cast<LONG>(i);
        }
    }
    if (current >= 0) {
        rssi[current] = 99;
    }
    for (ULONG j = 0; j < count; ++j) {
        ULONG best = j;
        for (ULONG k = j + 1; k < count; ++k) {
            if (rssi[order[k]] > -99 && rssi[order[k]] > rssi[order[best]]) {
                best = k;
            }
        }
        if (best != j && rssi[order[best]] > -99) {
            const ULONG t = order[j];
            order[j] = order[best];
            order[best] = t;
        }
    }
    return count;
}

// ================================================================================================
// transmit-pending bookkeeping
// ================================================================================================
VOID MlmeClearPktCount(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    if (port == nullptr) {
        return;
    }
    for (PMAC_TABLE_ENTRY e = port->MacTab.Head; e != nullptr; e = e->Next) {
        e->TxPendingCount = 0;
    }
}

VOID MlmeResetGCTxPendingPktCount(PMP_ADAPTER adapter) { MlmeClearPktCount(adapter, MlmeSyncGetPortByType(adapter, WFD_CLIENT)); }

BOOLEAN MlmeDumpTXPendingPktbyWcid(PMP_ADAPTER adapter)
{
    if (MlmeSyncGetPortByType(adapter, EXTSTA) == nullptr) {
        return FALSE;
    }
    PMP_PORT port = MlmeSyncGetPortByType(adapter, WFD_GO);
    if (port == nullptr) {
        port = MlmeSyncGetPortByType(adapter, WFD_CLIENT);
    }
    if (port == nullptr) {
        return FALSE;
    }
    BOOLEAN pending = FALSE;
    for (PMAC_TABLE_ENTRY e = port->MacTab.Head; e != nullptr; e = e->Next) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "entry %u: %u frames pending", static_cast<unsigned>(e->WlanIdx),
                 static_cast<unsigned>(e->TxPendingCount));
        pending = static_cast<BOOLEAN>(pending || e->TxPendingCount != 0);
    }
    return pending;
}

VOID MlmeDumpTXPendingPktbyTxQ(PMP_ADAPTER adapter)
{
    for (ULONG q = 0; q < TX_QUEUE_TABLE_SIZE; ++q) {
        const TX_QUEUE_TABLE_ENTRY& entry = adapter->TxQueueTable[q];
        if (entry.InUse != 0) {
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "transmit queue %u of port %u in use", static_cast<unsigned>(q),
                     static_cast<unsigned>(entry.PortId));
        }
    }
}
