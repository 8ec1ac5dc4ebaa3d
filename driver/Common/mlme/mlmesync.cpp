// The sync machine: the scan request sent to the firmware, the end of a scan, the scan and join
// time-outs, the answers to requests in the wrong state; probe-request checks and reception.
#include "Common/mlme/mlmesync.h"

#include <cstring>

#include "Common/ap/apmlme.h"
#include "Common/he/he_rlm.h"
#include "Common/logevent.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmesync_chnl.h"
#include "Common/mlme/mlmesync_probe.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2ppacket.h"
#include "Common/qzcmd_scan.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdimain.h"

#define EVENT_LOG_SCAN_TIMEOUT_INFO 0x400203ECu  // "Scan Timeout Info"

namespace {

constexpr ULONG kCntlWaitOidListScan = 8;
constexpr ULONG kCntlWaitConnectScan = 10;
constexpr ULONG kStatusNotTheRightState = 83;
constexpr ULONG kStatusTimeout = 16;
constexpr ULONG kRefusedFlags = 0x40000182u;   // power transition, resetting, halting, restarting
constexpr ULONG kScanTimeoutGate = 0x11000040u;
constexpr UCHAR kExtCapLength = 18;            // room the scan keeps for the Extended Capabilities
constexpr UCHAR kMboOceLength = 9;

PMP_PORT ElemPort(PMP_ADAPTER adapter, const MLME_QUEUE_ELEM* elem)
{
    return elem->PortIndex < MP_MAX_PORTS ? adapter->PortList[elem->PortIndex] : nullptr;
}

bool IsP2pPort(const MP_PORT* port) { return port->PortType >= WFD_DEVICE && port->PortType <= WFD_CLIENT; }

bool ConnectedStation(const MP_PORT* port)
{
    return port->PortType == EXTSTA && (port->ConnectionFlags & PORT_CONN_CONNECTED) != 0;
}

ULONG64 Now()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return static_cast<ULONG64>(now.QuadPart);
}

// Appends an element to the request's extra elements when the whole of it fits the 600 bytes.
void AppendExtraIe(MLME_SCAN_REQ& request, const UCHAR* ie, ULONG length)
{
    if (length == 0 || request.ExtraIeLength > SCAN_REQ_EXTRA_IE_MAX ||
        length > static_cast<ULONG>(SCAN_REQ_EXTRA_IE_MAX - request.ExtraIeLength)) {
        return;
    }
    PlatformMoveMemory(request.ExtraIe + request.ExtraIeLength, ie, length);
    request.ExtraIeLength = static_cast<USHORT>(request.ExtraIeLength + length);
}

// The HE elements of a station's active scan: a second- or third-generation chip that carries the
// 6 GHz elements, not 2.4-GHz-only, "Config_6G" bit 0 and the adapter's 6 GHz capability.
bool ScanCarriesHe6Ghz(PMP_ADAPTER adapter, PMP_PORT port)
{
    return port->HeEnabled == 1 && QzCmdChipGroup(adapter) != FW_CHIP_GROUP_OLDER &&
           MlmeProbeChipHas6GhzElements(adapter) && !adapter->Only24G &&
           (adapter->RegistryBlock.Config_6G & 1) != 0 && adapter->SixGhzCapable;
}

void AddStationElements(PMP_ADAPTER adapter, PMP_PORT port, MLME_SCAN_REQ& request)
{
    UCHAR element[256];
    if (IsP2pPort(port)) {
        if (request.ExtraIeLength == 0) {
            ULONG length = 0;
            P2pMakeP2pIE(adapter, port, 0, P2P_FRAME_PROBE_REQ, element, sizeof(element), &length);
            AppendExtraIe(request, element, length);
        }
        return;
    }
    if (port->PortType != EXTSTA) {
        return;
    }
    if (request.ExtraIeLength + kExtCapLength < SCAN_REQ_EXTRA_IE_MAX) {
        ULONG length = 0;
        MakeExtCapIE(port, element, &length);
        AppendExtraIe(request, element, length);
    }
    if (request.ScanType == 1 && request.ExtraIeLength + kMboOceLength < SCAN_REQ_EXTRA_IE_MAX) {
        ULONG length = 0;
        MboMakeMBOOceIE(adapter, port, MBO_FRAME_PROBE_REQ, element, &length);
        AppendExtraIe(request, element, length);
    }
    if (request.ScanType == 1 && ScanCarriesHe6Ghz(adapter, port) && request.ExtraIeLength < SCAN_REQ_EXTRA_IE_MAX) {
        USHORT length = 0;
        heRlmGenerateHeCap(adapter, port, element, &length);
        AppendExtraIe(request, element, length);
        if (request.ExtraIeLength < SCAN_REQ_EXTRA_IE_MAX) {
            length = 0;
            heRlmGenerateHe6GCap(adapter, port, element, &length);
            AppendExtraIe(request, element, length);
        }
    }
}

// A concurrent station: the group owner runs on the main radio beside the connected station.
bool McConcurrentStation(PMP_ADAPTER adapter, PMP_PORT port)
{
    PP2P_CTRL_BLOCK p2p = adapter->P2pBlock;
    PMP_PORT go = MlmeSyncGetPortByType(adapter, WFD_GO);
    return ConnectedStation(port) && go != nullptr && p2p != nullptr && (p2p->Flags & 0x10u) != 0 &&
           go->Mlme.Req.DbdcBandIndex == 0 && (p2p->Flags & 0x1u) != 0;
}

// The reboot enhancement replaces a full scan of a station by a scan of its last channel.
bool RebootScanApplies(PMP_ADAPTER adapter, PMP_PORT port, const MLME_SCAN_REQ& request)
{
    const MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    if ((port->Mlme.StatusWord & 0x22u) == 0x02u || !adapter->RegistryBlock.RebootScanEnhancement ||
        IsP2pPort(port) || scan.RebootLastChannel == 0 || request.ChannelType != SCAN_CHANNEL_TYPE_ALL) {
        return false;
    }
    const UCHAR selector = scan.RebootLastBand == BAND_6G ? CHANNEL_SEL_6G : CHANNEL_SEL_24G_5G;
    return ChannelIsInChannelList(adapter, scan.RebootLastChannel, selector) &&
           scan.RebootRetryCount < adapter->RegistryBlock.RebootScanRetryThreshold &&
           scan.RebootScanState <= REBOOT_SCAN_RETRY;
}

NTSTATUS SendScanCommand(PMP_ADAPTER adapter, PMP_PORT port, MLME_SCAN_REQ& request)
{
    if (request.Version2 == 0) {
        return QzCmdSendScanReqMsg(adapter, &request);
    }
    const ULONG trigger = request.Trigger;
    if (trigger == SCAN_TRIGGER_ROAM || trigger == SCAN_TRIGGER_ROAM_2 ||
        (trigger == SCAN_TRIGGER_CONNECT && request.ChannelCount != 0)) {
        if (request.ChannelType == SCAN_CHANNEL_TYPE_LIST && request.ChannelCount >= 1 && request.ChannelCount <= 6) {
            ScanChDwellTimeAdjust(adapter, 110, 130);
        } else {
            ScanChDwellTimeAdjust(adapter, 42, 0);
        }
        return QzCmdSendScanReqMsgV2(adapter, &request);
    }
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    if (RebootScanApplies(adapter, port, request)) {
        MLME_SCAN_REQ reboot;
        PlatformZeroMemory(&reboot, sizeof(reboot));
        reboot.BssIndex = request.BssIndex;
        MlmeScanReqParamFill(adapter, &reboot, scan.RebootLastBand == BAND_6G ? 0 : 1, SCAN_CHANNEL_TYPE_LIST,
                             scan.RebootLastChannel, scan.RebootLastBand, request.ScanSeqNum);
        scan.RebootScanState = REBOOT_SCAN_SENT;
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "reboot scan of channel %u instead of the full scan",
                 static_cast<unsigned>(scan.RebootLastChannel));
        return QzCmdSendScanReqMsgV2(adapter, &reboot);
    }
    if (scan.CustomDwell == 1 && request.ChannelType == SCAN_CHANNEL_TYPE_ALL) {
        scan.CustomDwell = 2;
        ScanChDwellTimeAdjust(adapter, static_cast<USHORT>(adapter->RegistryBlock.CustomizeMinDwellTime),
                              static_cast<USHORT>(adapter->RegistryBlock.CustomizeDFSTime));
    } else if (ConnectedStation(port) &&
               (request.RequestKind == SCAN_KIND_WILDCARD || request.RequestKind == SCAN_KIND_P2P_WILDCARD)) {
        ScanChDwellTimeAdjust(adapter, 10, 30);
    } else {
        ScanChDwellTimeAdjust(adapter, 42, 0);
    }
    port->Mlme.Scan.ScanStayTime =
        port->Mlme.Scan.HomeStayTime != 0 ? port->Mlme.Scan.HomeStayTime : SCAN_STAY_TIME_DEFAULT;
    if (ConnectedStation(port) && request.RequestKind != 0) {
        (void)QZCmdUpdateStayTime(adapter, port, SCAN_STAY_TIME_SCANNING);
    }
    return QzCmdSendScanReqMsgV2(adapter, &request);
}

}  // namespace

// ================================================================================================
// the machine
// ================================================================================================
VOID MlmeSyncStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    StateMachineInit(machine, port->Mlme.SyncFunc, SYNC_MACHINE_STATES, SYNC_MACHINE_MSGS, Drop, SYNC_IDLE, 0);
    StateMachineSetAction(machine, SYNC_IDLE, MT2_SYNC_SCAN_REQ, MlmeSyncScanReqAction);
    StateMachineSetAction(machine, SYNC_IDLE, MT2_SYNC_JOIN_REQ, MlmeSyncJoinReqAction);
    StateMachineSetAction(machine, SYNC_IDLE, MT2_PEER_BEACON, MlmeSyncPeerBeacon);
    StateMachineSetAction(machine, SYNC_IDLE, MT2_PEER_PROBE_RSP, MlmeSyncPeerBeacon);
    StateMachineSetAction(machine, SYNC_IDLE, MT2_PEER_PROBE_REQ, MlmeSyncPeerProbeReqAction);
    StateMachineSetAction(machine, SYNC_JOIN, MT2_SYNC_SCAN_REQ, MlmeSyncInvalidStateWhenScan);
    StateMachineSetAction(machine, SYNC_JOIN, MT2_SYNC_JOIN_REQ, MlmeSyncInvalidStateWhenJoin);
    StateMachineSetAction(machine, SYNC_JOIN, MT2_SYNC_START_REQ, MlmeSyncInvalidStateWhenStart);
    StateMachineSetAction(machine, SYNC_JOIN, MT2_PEER_BEACON, MlmeSyncPeerBeaconAtJoinAction);
    StateMachineSetAction(machine, SYNC_JOIN, MT2_PEER_PROBE_RSP, MlmeSyncPeerBeaconAtJoinAction);
    StateMachineSetAction(machine, SYNC_JOIN, MT2_SYNC_BEACON_TIMEOUT, MlmeSyncBeaconTimeoutAtJoinAction);
    StateMachineSetAction(machine, SYNC_SCAN, MT2_SYNC_SCAN_REQ, MlmeSyncScanReqAction);
    StateMachineSetAction(machine, SYNC_SCAN, MT2_SYNC_JOIN_REQ, MlmeSyncInvalidStateWhenJoin);
    StateMachineSetAction(machine, SYNC_SCAN, MT2_SYNC_START_REQ, MlmeSyncInvalidStateWhenStart);
    StateMachineSetAction(machine, SYNC_SCAN, MT2_PEER_BEACON, MlmeSyncPeerBeaconAtScanAction);
    StateMachineSetAction(machine, SYNC_SCAN, MT2_PEER_PROBE_RSP, MlmeSyncPeerBeaconAtScanAction);
    StateMachineSetAction(machine, SYNC_SCAN, MT2_SYNC_SCAN_WAIT, MlmeSyncScanWaitAction);
    StateMachineSetAction(machine, SYNC_SCAN, MT2_SYNC_SCAN_ABORT, MlmeSyncScanAbortAction);
    StateMachineSetAction(machine, SYNC_SCAN_LISTEN, MT2_SYNC_SCAN_REQ, MlmeSyncScanReqAction);
    StateMachineSetAction(machine, SYNC_SCAN_LISTEN, MT2_PEER_PROBE_REQ, MlmeSyncPeerProbeReqAction);
}

void MlmeSyncBindScanTimer(PMP_ADAPTER adapter)
{
    PLATFORM_TIMER& timer = adapter->Mlme.Scan.ScanTimer;
    PMP_PORT port0 = adapter->PortList[0];
    if (!timer.Initialized && port0 != nullptr) {
        // Normally bound with the MLME port timers; bound here when those have not run.
        PlatformInitTimer(port0, &timer, MlmeSyncScanRequestTimeoutTimerCallback, 0,
                          "N6PlatformScanRequestTimeoutTimer");
    }
}

void MlmeSyncArmScanTimer(PMP_ADAPTER adapter, ULONG ms)
{
    MlmeSyncBindScanTimer(adapter);
    PLATFORM_TIMER& timer = adapter->Mlme.Scan.ScanTimer;
    UCHAR cancelled = 0;
    PlatformCancelTimer(&timer, &cancelled);
    PMP_PORT port0 = adapter->PortList[0];
    const NTSTATUS status = port0 != nullptr ? PlatformSetTimer(port0, &timer, ms) : STATUS_UNSUCCESSFUL;
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "scan timer of %u ms not armed: 0x%08X", static_cast<unsigned>(ms),
                 static_cast<unsigned>(status));
    }
}

// ================================================================================================
// the scan request
// ================================================================================================
VOID MlmeSyncScanReqAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = ElemPort(adapter, elem);
    MLME_SCAN_REQ& request = adapter->Mlme.ScanRequest;
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    NTSTATUS status = STATUS_SUCCESS;

    if (AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
        (void)MlmeUpdateRepositTabFromScanTab(adapter, TRUE, FALSE);
        (void)QzCmdSendAbortScan(adapter);
        AdapterClearFlag(adapter, ADAPTER_FLAG_SCANNING, __func__);
    }
    AdapterSetFlag(adapter, ADAPTER_FLAG_SCANNING, __func__);

    if (port == nullptr) {
        status = STATUS_UNSUCCESSFUL;
    } else {
        AddStationElements(adapter, port, request);
        if (IsP2pPort(port) && port->Mlme.Req.P2pScanPhase == 4) {
            request.ChannelType = SCAN_CHANNEL_TYPE_SOCIAL;
        } else {
            MlmeSyncDecideSplitScanChList(adapter, port);
        }
        if (request.ChannelCount == 0 && adapter->RegistryBlock.PreferredBand != 0) {
            MlmePerBandBuildScanChList(adapter);
        }
        if (McConcurrentStation(adapter, port)) {
            request.ChannelCount = 0;
            request.ChannelType = SCAN_CHANNEL_TYPE_LIST;
            status = MlmeSyncScanBuildChannelList(adapter, port);
        }
    }
    if (NT_SUCCESS(status)) {
        request.ScanSeqNum = MlmeCntlGetScanSeqNum(adapter);
        adapter->PendingScanPort = port->PortNumber;
        scan.ScanTime = Now();
        UCHAR cancelled = 0;
        PlatformCancelTimer(&port->Mlme.BeaconTimeoutTimer, &cancelled);
        if (adapter->Wdi.ScanAbortRequested.load() != 0 && !IsP2pPort(port)) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "scan request after the OS aborted the scan: not sent");
            status = STATUS_UNSUCCESSFUL;
        }
    }
    if (NT_SUCCESS(status) && request.ChunkStart >= request.ChannelCount && request.ChannelCount != 0) {
        // A split scan that has passed its last channel sends nothing more.
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "split scan past its %u channels: no command",
                 static_cast<unsigned>(request.ChannelCount));
        status = STATUS_UNSUCCESSFUL;
    }
    if (NT_SUCCESS(status)) {
        status = SendScanCommand(adapter, port, request);
    }
    if (!NT_SUCCESS(status)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "scan request failed 0x%08X: the scan ends by its time-out",
                 static_cast<unsigned>(status));
        MlmeSyncArmScanTimer(adapter, SCAN_RETRY_TIMEOUT_MS);
        return;
    }
    ++request.ChunkIssued;
    if (!IsP2pPort(port) && !IsRnrScanreq(adapter, port)) {
        MlmeBssTableInit(adapter);
    }
    port->Mlme.SyncMachine.CurrState = port->Mlme.CntlMachine.CurrState == kCntlWaitConnectScan ? SYNC_JOIN : SYNC_SCAN;
}

BOOLEAN MlmeSyncScanDone(PMP_ADAPTER adapter, PMP_PORT port, ULONG status)
{
    if (adapter == nullptr || port == nullptr) {
        return FALSE;
    }
    MLME_PORT_SCAN_STATE& portScan = port->Mlme.Scan;
    if ((adapter->RegistryBlock.CertReg & 1) != 0 && !IsP2pPort(port) && portScan.AdditionalProbeIe != nullptr) {
        PlatformFreeMemory(portScan.AdditionalProbeIe, portScan.AdditionalProbeIeLength);
        portScan.AdditionalProbeIe = nullptr;
        portScan.AdditionalProbeIeLength = 0;
    }
    if (ConnectedStation(port)) {
        (void)QZCmdUpdateStayTime(adapter, port, portScan.ScanStayTime);
    }
    return MlmeEnqueue(adapter, port, MLME_CNTL_STATE_MACHINE, CNTL_MSG_SCAN_CONFIRM, sizeof(status), &status);
}

// ================================================================================================
// the other actions
// ================================================================================================
VOID MlmeSyncScanAbortAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = ElemPort(adapter, elem);
    if (port != nullptr && AdapterTestFlags(adapter, kRefusedFlags)) {
        port->Mlme.SyncMachine.CurrState = SYNC_IDLE;
    }
}

VOID MlmeSyncInvalidStateWhenScan(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "port %u: scan request while joining, dropped",
             static_cast<unsigned>(elem->PortIndex));
}

VOID MlmeSyncInvalidStateWhenJoin(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "port %u: join request in the wrong state, dropped",
             static_cast<unsigned>(elem->PortIndex));
}

VOID MlmeSyncInvalidStateWhenStart(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = ElemPort(adapter, elem);
    if (port == nullptr) {
        return;
    }
    port->Mlme.SyncMachine.CurrState = SYNC_IDLE;
    const USHORT status = kStatusNotTheRightState;
    (void)MlmeEnqueue(adapter, port, MLME_CNTL_STATE_MACHINE, CNTL_MSG_START_CONFIRM, sizeof(status), &status);
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
        AdapterClearFlag(adapter, ADAPTER_FLAG_SCANNING, __func__);
    }
}

VOID MlmeSyncBeaconTimeoutAtJoinAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = ElemPort(adapter, elem);
    if (port == nullptr) {
        return;
    }
    port->Mlme.SyncMachine.CurrState = SYNC_IDLE;
    const USHORT status = kStatusTimeout;
    (void)MlmeEnqueue(adapter, port, MLME_CNTL_STATE_MACHINE, CNTL_MSG_JOIN_CONFIRM, sizeof(status), &status);
}

VOID MlmeSyncScanWaitAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "port %u: scan wait", static_cast<unsigned>(elem->PortIndex));
}

// ================================================================================================
// time-outs
// ================================================================================================
VOID MlmeSyncBeaconTimeoutTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                        PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    if (port == nullptr || port->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "join beacon time-out without a port");
        return;
    }
    if (port->Mlme.Scan.JoinProbing == 1) {
        port->Mlme.Scan.JoinProbing = 0;
    }
    if (!AdapterTestFlags(port->Adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        (void)MlmeEnqueue(port->Adapter, port, MLME_SYNC_STATE_MACHINE, MT2_SYNC_BEACON_TIMEOUT, 0, nullptr);
    }
}

VOID MlmeSyncScanRequestTimeoutTimerCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                             PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    PMP_ADAPTER adapter = port != nullptr ? port->Adapter : nullptr;
    if (adapter == nullptr) {
        return;
    }
    const ULONG scanning = adapter->PendingScanPort;
    PMP_PORT s = scanning < MP_MAX_PORTS ? adapter->PortList[scanning] : nullptr;
    (void)WriteSystemEventLog(adapter, EVENT_LOG_SCAN_TIMEOUT_INFO, 0, &adapter->Mlme.ScanRequest,
                              sizeof(adapter->Mlme.ScanRequest));
    adapter->Mlme.Scan.ScanTableQueried = 0;
    if ((AdapterGetFlags(adapter) & kScanTimeoutGate) != ADAPTER_FLAG_OS_SCAN) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "scan time-out without an OS scan");
        return;
    }
    if (s == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "scan time-out without the scanning port");
        return;
    }
    if (WdiTaskIsPending(adapter, WDI_TASK_SCAN) && s->PortType == EXTSTA &&
        s->Mlme.CntlMachine.CurrState != kCntlWaitOidListScan) {
        s->Mlme.CntlMachine.CurrState = kCntlWaitOidListScan;
    }
    if (WdiTaskIsPending(adapter, WDI_TASK_P2P_DISCOVER)) {
        s = MlmeSyncGetPortByType(adapter, WFD_DEVICE);
        if (s != nullptr) {
            s->P2pState.DiscoveryFlags = 0;
        }
        adapter->Mlme.ScanReqPending = 1;
        if (s == nullptr) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "discovery time-out without the device port");
            return;
        }
        if (s->PortType != EXTSTA && s->Mlme.CntlMachine.CurrState != kCntlWaitOidListScan) {
            s->Mlme.CntlMachine.CurrState = kCntlWaitOidListScan;
        }
    }
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "scan of port %u timed out", static_cast<unsigned>(s->PortNumber));
    (void)MlmeSyncScanDone(adapter, s, 0);
}

// ================================================================================================
// probe requests
// ================================================================================================
BOOLEAN PeerProbeReqSanity(PMP_ADAPTER adapter, const UCHAR* frame, ULONG frameLength, PUCHAR transmitter,
                           PUCHAR ssid, PUCHAR ssidLength)
{
    if (frame == nullptr || frameLength < MGMT_HEADER_SIZE) {
        return FALSE;
    }
    PlatformMoveMemory(transmitter, frame + 10, MAC_ADDR_LEN);
    const UCHAR* body = frame + MGMT_HEADER_SIZE;
    const ULONG bodyLength = frameLength - MGMT_HEADER_SIZE;
    // The SSID first, then the supported rates, each whole inside the frame.
    if (bodyLength < 2 || body[0] != 0 || body[1] > BSS_SSID_MAX || 2u + body[1] > bodyLength) {
        return FALSE;
    }
    const UCHAR length = body[1];
    PlatformMoveMemory(ssid, body + 2, length);
    *ssidLength = length;
    const ULONG rates = 2u + length;
    if (bodyLength - rates < 2 || body[rates] != 1 || 2u + body[rates + 1] > bodyLength - rates) {
        return FALSE;
    }
    if (adapter != nullptr && adapter->Mlme.Scan.RateSetMode == 2 && body[rates + 1] < 8) {
        return FALSE;
    }
    return TRUE;
}

VOID MlmeSyncPeerProbeReqAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = ElemPort(adapter, elem);
    if (port == nullptr) {
        return;
    }
    const LONG d = port->P2pDiscoState;
    PMP_PORT port0 = adapter->PortList[0];
    if (d == P2P_SEARCH) {
        PeerP2pProbeReq(adapter, elem, 0);
    } else if (d == P2P_LISTEN ||
               ((d == P2P_ENABLE_LISTEN_ONLY || d == P2P_IDLE) && !AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) ||
               (adapter->P2pBlock != nullptr && (adapter->P2pBlock->Flags & 0x800000u) != 0) ||
               (port0 != nullptr && (port0->ConnectionFlags & PORT_CONN_CONNECTED) != 0 &&
                (port->P2pConnectState == P2P_CONNECT_IDLE || port->P2pConnectState == P2P_CONNECT_IDLE + 1))) {
        PeerP2pProbeReq(adapter, elem, 1);
    }
    if ((port->ConnectionFlags & PORT_STATUS_ADHOC_LINK_UP) == 0) {
        return;
    }
    UCHAR transmitter[MAC_ADDR_LEN];
    UCHAR ssid[BSS_SSID_MAX];
    UCHAR ssidLength = 0;
    const ULONG length = elem->MsgLen <= MLME_MSG_SIZE ? elem->MsgLen : MLME_MSG_SIZE;
    if (!PeerProbeReqSanity(adapter, elem->Msg, length, transmitter, ssid, &ssidLength)) {
        return;
    }
    if (ssidLength != 0 && (ssidLength != port->CurrentSsidLen || std::memcmp(ssid, port->CurrentSsid, ssidLength) != 0)) {
        return;
    }
    PUCHAR buffer = nullptr;
    if (!NT_SUCCESS(MlmeAllocateMemoryEx(adapter, 0, &buffer)) || buffer == nullptr) {
        return;
    }
    ULONG frameLength = 0;
    MgntPktConstructIBSSProbRspFrame(port, transmitter, buffer, &frameLength);
    if (frameLength == 0) {
        MlmeFreeMemory(adapter, buffer);
        return;
    }
    // The transmit path takes the buffer, sent or not.
    (void)NdisCommonHifMiniportMMRequest(adapter->HifContext, buffer, frameLength, 0);
}
