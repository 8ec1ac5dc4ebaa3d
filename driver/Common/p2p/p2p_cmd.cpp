// The P2P command thread "P2PCmdThread" and its command handler: Wi-Fi Direct work posted by
// timers, firmware events, the receive and transmit paths and the OS command interface runs here
// at passive level, one command at a time in posting order.
#include "Common/mlme/mlme.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2p_services.h"
#include "Common/p2p/p2pms.h"
#include "Common/p2p/p2ppacket.h"
#include "kshim/wificx_peer.h"
#include "platform/wdi/wdimain.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

PMP_PORT PortAt(PMP_ADAPTER adapter, ULONG index) { return index < MP_MAX_PORTS ? adapter->PortList[index] : nullptr; }

PMP_PORT RolePortOf(PMP_ADAPTER adapter, PMP_PORT port) { return PortAt(adapter, port->P2pRolePortIndex); }

BOOLEAN StationConnected(PP2P_CTRL_BLOCK block)
{
    return static_cast<BOOLEAN>(block->StationPort != nullptr &&
                                (block->StationPort->ConnectionFlags & PORT_CONN_CONNECTED) != 0);
}

BOOLEAN Dot11ResetPending(PMP_ADAPTER adapter) { return WdiTaskIsPending(adapter, WDI_TASK_DOT11_RESET); }

// Gives back the channel privilege the adapter holds.
void AbortChannelPrivilege(PMP_ADAPTER adapter, PMP_PORT port, UCHAR channel, UCHAR band)
{
    (void)QzCmdChPrivilage(adapter, port, channel, band, CH_PRIVILEGE_RELEASE, 4, 0, nullptr, nullptr, 0, 0);
}

void AbortHeldPrivilege(PMP_ADAPTER adapter, PMP_PORT port)
{
    AbortChannelPrivilege(adapter, port, adapter->ChPrivilegeChannel, adapter->ChPrivilegeBand);
}

// The device port back to idle after a reset or the end of a formation.
void DeviceSideToIdle(PMP_ADAPTER adapter, PMP_PORT port)
{
    port->P2pConnectState = P2P_CONNECT_IDLE;
    P2pGotoIdle(adapter, port, 0, 2);
    port->P2pWpsDevicePasswordId = 0xFFFF;
}

void ConnectionReset(PMP_ADAPTER adapter, PP2P_CTRL_BLOCK block, PMP_PORT port)
{
    PMP_PORT rolePort = RolePortOf(adapter, port);
    if (rolePort != nullptr) {
        (void)P2pDisconnectReset(adapter, rolePort);
        P2pStopGoReset(adapter, rolePort);
    }
    port->P2pConnectState = P2P_CONNECT_IDLE;
    P2pDefaultListenChannel(adapter, port);
    if (port->P2pDiscoState != P2P_DISABLE) {
        if (!StationConnected(block)) {
            port->P2pFormationTicks = 0;
        }
        DeviceSideToIdle(adapter, port);
    }
    if (port->P2pFormState == P2P_ANY_IN_FORMATION_AS_GO) {
        (void)P2pStartAutoGo(adapter, port);
    }
}

void FormationEnd(PMP_ADAPTER adapter, PP2P_CTRL_BLOCK block, PMP_PORT port)
{
    PMP_PORT rolePort = RolePortOf(adapter, port);
    if (rolePort != nullptr) {
        (void)P2pDisconnectReset(adapter, rolePort);
    }
    port->P2pStateTicks = 0;
    port->P2pConnectState = P2P_CONNECT_IDLE;
    port->P2pDiscoTicks = 10 + (RandomOctetGet(adapter) % 25);
    for (UCHAR i = 0; i < P2P_GROUP_TABLE_SIZE; ++i) {
        P2P_GROUP_ENTRY& entry = block->GroupTable[i];
        if (entry.State >= P2PSTATE_INVITE_COMMAND) {
            (void)P2pGroupTabDelete(adapter, i, nullptr);
        }
        entry.FormFlags &= static_cast<UCHAR>(~(P2P_FORM_FLAG_GO_NEG_STATUS1 | P2P_FORM_FLAG_INVITED_TO_GO));
    }
    LONG state = port->P2pConnectState;
    if ((state >= P2P_INVITE && state <= P2P_I_AM_CLIENT_ASSOC_AUTH) || state > P2P_I_AM_GO_OP) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "port %u leaves %s", static_cast<unsigned>(port->PortNumber),
                 p2pStateName(state));
        port->P2pConnectState = P2P_CONNECT_IDLE;
    }
    if (port->P2pDiscoState != P2P_DISABLE) {
        port->P2pFormationTicks = 0;
        DeviceSideToIdle(adapter, port);
    }
    PlatformZeroMemory(port->P2pConnRecords, sizeof(port->P2pConnRecords));
    port->P2pConnRecordFlag = 0;
}

void Tick(PMP_ADAPTER adapter, PP2P_CTRL_BLOCK block, PMP_PORT port)
{
    PMP_PORT device = block->DevicePort;
    if (device == nullptr || device->P2pDiscoState <= P2P_DISABLE) {
        return;
    }
    ++port->P2pStateTicks;
    ++port->P2pFormationTicks;
    for (ULONG& ticks : port->P2pExtraTicks) {
        ++ticks;
    }
    ULONG version = adapter->CommonBlock != nullptr ? adapter->CommonBlock->NdisVersion : 0;
    if (version >= P2P_MS_MIN_NDIS_VERSION) {
        (void)P2pMsTimeoutAction(adapter, port);
    }
}

void GoBeaconUpdate(PMP_ADAPTER adapter, PMP_PORT port)
{
    PMP_PORT go = PortAt(adapter, port->P2pGoPortIndex);
    if (go == nullptr || !go->Active || go->PortType != WFD_GO) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "no running group owner at port %u",
                 static_cast<unsigned>(port->P2pGoPortIndex));
        return;
    }
    (void)GOUpdateBeaconFrame(adapter, go, 0);
}

// The action-frame commands that set the machine's signal carry it at the frame's subtype byte.
BOOLEAN ActionSignalOf(PUCHAR payload, ULONG length, PUCHAR signal)
{
    if (payload == nullptr || length <= P2P_ACTION_SUBTYPE_OFFSET) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "action command of %u bytes has no signal",
                 static_cast<unsigned>(length));
        return FALSE;
    }
    *signal = payload[P2P_ACTION_SUBTYPE_OFFSET];
    return TRUE;
}

void DwellEnd(PMP_ADAPTER adapter, PP2P_CTRL_BLOCK block, PMP_PORT port)
{
    if (adapter->ChPrivilegeHeld && !Dot11ResetPending(adapter)) {
        AbortHeldPrivilege(adapter, port);
    }
    if (block->P2pRoleFlags & (P2P_ROLE_CLIENT_UP | P2P_ROLE_GO_UP)) {
        return;
    }
    PMP_PORT device = block->DevicePort;
    if (device == nullptr || Dot11ResetPending(adapter) || !device->P2pResumeListen || !device->P2pListenState) {
        return;
    }
    if (StationConnected(block)) {
        if (!port->P2pListenSTASwitchTimer.Initialized) {
            PlatformInitTimer(port, &port->P2pListenSTASwitchTimer, P2pListenSTASwitchTimeoutCallback, 0,
                              "P2pListenSTASwitchTimeoutCallback");
        }
        (void)PlatformSetTimer(port, &port->P2pListenSTASwitchTimer, 1000);
    }
    (void)MlmeSyncP2pSetListenState(adapter, device, 0, 0, P2P_LISTEN_RESTART_MS, 1);
    device->P2pResumeListen = 0;
}

void ListenSwitch(PMP_ADAPTER adapter, PP2P_CTRL_BLOCK block, PMP_PORT port)
{
    PMP_PORT device = block->DevicePort;
    if (device == nullptr || !device->P2pListenState || AdapterTestFlags(adapter, ADAPTER_FLAG_PCI_SUSPENDED)) {
        return;
    }
    if (Dot11ResetPending(adapter)) {
        if (!port->SwitchP2PListenTimer.Initialized) {
            PlatformInitTimer(port, &port->SwitchP2PListenTimer, SwitchP2PListenTimeoutCallback, 0,
                              "SwitchP2PListenTimeoutCallback");
        }
        (void)PlatformSetTimer(port, &port->SwitchP2PListenTimer, 1500);
        return;
    }
    (void)MlmeSyncP2pSetListenState(adapter, device, 0, 0, P2P_LISTEN_RESTART_MS, 1);
}

void EcsaSwitch(PMP_ADAPTER adapter, PMP_PORT port)
{
    (void)P2pMsHandleEcsaChSwitch(adapter, port);
    if (port->PortType != WFD_GO || port->HotspotGo) {
        return;
    }
    // The firmware event and the switch timer may both post this command: the notification is
    // completed by whoever takes its armed flag.
    ULONG armed = 1;
    if (!port->P2pCsaNotifyArmed.compare_exchange_strong(armed, 0)) {
        return;
    }
    if (port->NetAdapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "port %u: channel-switch notification without a net adapter",
                 static_cast<unsigned>(port->PortNumber));
        return;
    }
    NetAdapterCompleteChannelSwitchNotification(port->NetAdapter);
}

NTSTATUS EcsaClientGranted(PMP_ADAPTER adapter, PMP_PORT port, PVOID context)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(context);
    return P2pMsEcsaGcHdlr(port);
}

void EcsaClient(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (port->PortType != WFD_CLIENT || port->Cfg.P2pMcc.P2pEcsaEnable != 1) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "port %u does not follow a channel switch",
                 static_cast<unsigned>(port->PortNumber));
        return;
    }
    (void)QzCmdChPrivilage(adapter, port, port->Channel.PrimaryChannel, static_cast<UCHAR>(port->Channel.Band),
                           CH_PRIVILEGE_REQUEST, 1, P2P_LISTEN_RESTART_MS, EcsaClientGranted, nullptr, 0, 0);
}

BOOLEAN PeerAddressOf(PUCHAR payload, ULONG length)
{
    if (payload == nullptr || length < P2P_ADDR_LEN) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "peer command of %u bytes has no address",
                 static_cast<unsigned>(length));
        return FALSE;
    }
    return TRUE;
}

void PeerAdd(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR address)
{
    PMAC_TABLE_ENTRY entry = MacTableLookup(adapter, port, address);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "port %u: no station entry for the peer to add",
                 static_cast<unsigned>(port->PortNumber));
        return;
    }
    // The entry's WiFiCx peer-added flag is kept by the station table.
    (void)NOT_BUILT_YET();
}

void PeerRemove(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR address)
{
    if (port->PortType == WFD_GO) {
        // A group owner removes the peer whether or not its station entry is still there.
        if (port->NetAdapter != nullptr) {
            (void)WifiAdapterRemovePeer(port->NetAdapter, address);
        } else {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "group owner port %u has no net adapter",
                     static_cast<unsigned>(port->PortNumber));
        }
        return;
    }
    PMAC_TABLE_ENTRY entry = MacTableLookup(adapter, port, address);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "port %u: no station entry for the peer to remove",
                 static_cast<unsigned>(port->PortNumber));
        return;
    }
    // The entry's WiFiCx peer-added flag is kept by the station table.
    (void)NOT_BUILT_YET();
}

void DiscoveryPrivilegeEvent(PMP_ADAPTER adapter, PP2P_CTRL_BLOCK block)
{
    PMP_PORT device = block->DevicePort;
    if (device == nullptr || !adapter->DiscoveryPrivilege) {
        return;
    }
    adapter->DiscoveryPrivilege = 0;
    AbortChannelPrivilege(adapter, device, device->Channel.CentreChannel, static_cast<UCHAR>(device->Channel.Band));
    (void)P2pMsIndicateDiscoverComplete(adapter, device);
}

}  // namespace

BOOLEAN P2PCmdHandler(PMP_ADAPTER adapter, PMP_PORT port, ULONG cmdId, PUCHAR payload, ULONG length)
{
    PP2P_CTRL_BLOCK block = adapter != nullptr ? adapter->P2pBlock : nullptr;
    if (block == nullptr || port == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "P2P command 0x%08X without its port", static_cast<unsigned>(cmdId));
        return TRUE;
    }
    UCHAR signal = 0;
    switch (cmdId) {
    case P2P_CMD_CONNECTION_RESET:
        ConnectionReset(adapter, block, port);
        break;
    case P2P_CMD_FORMATION_END:
        FormationEnd(adapter, block, port);
        break;
    case P2P_CMD_TICK:
        Tick(adapter, block, port);
        break;
    case P2P_CMD_GP_TIMEOUT:
        (void)P2pGPTimeOutHandle(adapter);
        break;
    case P2P_CMD_CLEAR_COUNTER:
        adapter->P2pCounter = 0;
        break;
    case P2P_CMD_GO_UPDATE_BEACON:
    case P2P_CMD_GO_UPDATE_BEACON_NOA:
        GoBeaconUpdate(adapter, port);
        break;
    case P2P_CMD_ACTION_GOT_ACK:
        if (port->P2pActAckFrame != nullptr) {
            (void)MlmeP2pMsPublicActionFrameGotAck(adapter, port);
        } else {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "transmit status without a frame waiting for it");
        }
        break;
    case P2P_CMD_ACTION_INDICATE_RECV:
        (void)P2pMsIndicatePublicActionFrameRecv(adapter, port, payload, length);
        break;
    case P2P_CMD_ACTION_RECV:
        (void)MlmeP2pMsPublicActionFrameStateMachineExec(adapter, port, payload, length);
        break;
    case P2P_CMD_ACTION_SEND:
        if (ActionSignalOf(payload, length, &signal)) {
            port->P2pActState = P2P_SEND_STATE;
            port->P2pActSignal = signal;
            (void)MlmeP2pMsPublicActionFrameStateMachineExec(adapter, port, payload, length);
        }
        break;
    case P2P_CMD_ACTION_ACK:
        if (ActionSignalOf(payload, length, &signal)) {
            port->P2pActSignal = signal;
            (void)MlmeP2pMsPublicActionFrameStateMachineExec(adapter, port, payload, length);
        }
        break;
    case P2P_CMD_ACTION_WAIT_TIMEOUT:
        (void)P2pMsPublicActionFrameWaitTimerTimeoutExec(port);
        break;
    case P2P_CMD_ACTION_MATCHED:
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "port %u: public action exchange matched",
                 static_cast<unsigned>(port->PortNumber));
        break;
    case P2P_CMD_NOA_ACCEPT:
        break;
    case P2P_CMD_DWELL_END:
        DwellEnd(adapter, block, port);
        break;
    case P2P_CMD_LISTEN_SWITCH:
        ListenSwitch(adapter, block, port);
        break;
    case P2P_CMD_STOP_LISTEN:
        (void)p2pStopListenPhase(adapter, port);
        break;
    case P2P_CMD_SEND_TASK_ABORT:
        if (adapter->ChPrivilegeHeld) {
            AbortHeldPrivilege(adapter, port);
        }
        (void)QZEnqueueInternalCmd(adapter, port, P2P_CMD_ACTION_GOT_ACK, nullptr, 0);
        break;
    case P2P_CMD_ECSA_SWITCH:
        EcsaSwitch(adapter, port);
        break;
    case P2P_CMD_ECSA_GC:
        EcsaClient(adapter, port);
        break;
    case P2P_CMD_PEER_REMOVE:
        if (PeerAddressOf(payload, length)) {
            PeerRemove(adapter, port, payload);
        }
        break;
    case P2P_CMD_PEER_ADD:
        if (PeerAddressOf(payload, length)) {
            PeerAdd(adapter, port, payload);
        }
        break;
    case P2P_CMD_PRIVILEGE_EVENT:
        DiscoveryPrivilegeEvent(adapter, block);
        break;
    default:
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "P2P command 0x%08X has no handler", static_cast<unsigned>(cmdId));
        break;
    }
    return TRUE;
}

void P2PCmdThread(PVOID context)
{
    auto* adapter = static_cast<PMP_ADAPTER>(context);
    PP2P_CTRL_BLOCK block = adapter->P2pBlock;
    PlatformSetThreadPriority();
    while (adapter->StopThreads.load() != 1) {
        (void)PlatformWaitEvent(&block->CmdThread.WakeEvent, 0);
        for (;;) {
            PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(&block->CmdQueue);
            if (cmd == nullptr) {
                break;
            }
            // While the adapter halts, has lost its device or is suspended, commands are dropped.
            if (!AdapterTestFlags(adapter, ADAPTER_FLAGS_THREAD_CMD_DROP)) {
                (void)P2PCmdHandler(adapter, PortAt(adapter, cmd->PortIndex), cmd->CmdId, cmd->Payload,
                                    cmd->PayloadLength);
            } else {
                DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "P2P command 0x%08X dropped",
                         static_cast<unsigned>(cmd->CmdId));
            }
            QzReturnInternalCmdBuffer(adapter, cmd);
        }
    }
}

namespace {

// A timer routine only posts its P2P command again.
void PostFromTimer(PMP_PORT port, ULONG cmdId)
{
    if (port == nullptr || port->Adapter == nullptr ||
        AdapterTestFlags(port->Adapter, ADAPTER_FLAGS_HALTING_OR_REMOVED)) {
        return;
    }
    (void)QZEnqueueInternalCmd(port->Adapter, port, cmdId, nullptr, 0);
}

}  // namespace

void P2pListenSTASwitchTimeoutCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                       PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    PostFromTimer(port, P2P_CMD_DWELL_END);
}

void SwitchP2PListenTimeoutCallback(PVOID systemSpecific1, PMP_PORT port, PPLATFORM_TIMER timer,
                                    PVOID systemSpecific3)
{
    UNREFERENCED_PARAMETER(systemSpecific1);
    UNREFERENCED_PARAMETER(timer);
    UNREFERENCED_PARAMETER(systemSpecific3);
    PostFromTimer(port, P2P_CMD_LISTEN_SWITCH);
}
