// The operating-system-driven Wi-Fi Direct routines.
#include "Common/p2p/p2pms.h"

#include "Common/p2p/p2p.h"
#include "Common/fwsettings.h"
#include "Common/p2p/p2p_services.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

NTSTATUS P2pMsInfoResetRequest(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS P2pMsIndicateDiscoverComplete(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

void P2pMsFreeBuffer(PUCHAR* buffer, PULONG length)
{
    if (*buffer != nullptr) {
        PlatformFreeMemory(*buffer, *length);
        *buffer = nullptr;
    }
    *length = 0;
}

NTSTATUS P2pMsTimeoutAction(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS P2pMsIndicatePublicActionFrameRecv(PMP_ADAPTER adapter, PMP_PORT port, PUCHAR frame, ULONG length)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(frame);
    UNREFERENCED_PARAMETER(length);
    return NOT_BUILT_YET();
}

NTSTATUS P2pMsHandleEcsaChSwitch(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS P2pMsEcsaGcHdlr(PMP_PORT port)
{
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS P2pMsDown(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

// ================================================================================================
// listen channel and P2P channel bookkeeping
// ================================================================================================
namespace {

// The working "WfdListenChannel"; 8 when it was set to 0.
UCHAR WorkingListenChannel(PMP_ADAPTER adapter)
{
    ULONG channel = adapter->WorkingCfg.P2pMcc.WfdListenChannel;
    return channel != 0 ? static_cast<UCHAR>(channel & 0xFF) : 8;
}

BOOLEAN PortBusy(PMP_PORT port)
{
    return static_cast<BOOLEAN>(port != nullptr &&
                                (port->ConnectionFlags & (PORT_CONN_CONNECTED | PORT_CONN_CONNECTING)) != 0);
}

// No connection attempt of the station is under way.
BOOLEAN StationIdleLike(PMP_PORT station)
{
    ULONG state = station->CntlState;
    return static_cast<BOOLEAN>(state == 0 || state == 1 || state == 4 || state >= 8);
}

}  // namespace

void P2PMSSyncListenChannelToPortChannel(PMP_ADAPTER adapter, PMP_PORT port)
{
    PP2P_CTRL_BLOCK block = adapter != nullptr ? adapter->P2pBlock : nullptr;
    if (block == nullptr || port == nullptr || port != block->DevicePort || block->StationPort == nullptr) {
        return;
    }
    PMP_PORT station = block->StationPort;
    if (station->ConnectionFlags & PORT_CONN_CONNECTED) {
        port->P2pGroupChannel = station->Channel.PrimaryChannel;
        port->P2pOpChannel = station->Channel.PrimaryChannel;
        return;
    }
    UCHAR listen = WorkingListenChannel(adapter);
    port->P2pListenChannel = listen;
    BOOLEAN moveStation = StationIdleLike(station);
    if (moveStation) {
        station->Channel.PrimaryChannel = listen;
    }
    ULONG wfa = adapter->RegistryBlock.Win8WfdWfaControl;
    if (wfa & 0x80000000u) {
        // Fixed test channels.
        port->P2pListenChannel = static_cast<UCHAR>(wfa & 0xF);
        port->P2pOpChannel = static_cast<UCHAR>((wfa >> 4) & 0xFF);
        port->P2pGroupChannel = port->P2pOpChannel;
        return;
    }
    if (moveStation) {
        station->Channel.CentreChannel = listen;
    }
    port->Channel.PrimaryChannel = listen;
    port->Channel.CentreChannel = listen;
    port->Channel.Bandwidth = BW_20;
    port->P2pGroupChannel = port->P2pOpChannel;
}

void P2pMsDefaultListenChannel(PMP_ADAPTER adapter, PMP_PORT port)
{
    PP2P_CTRL_BLOCK block = adapter != nullptr ? adapter->P2pBlock : nullptr;
    if (block == nullptr || port == nullptr) {
        return;
    }
    PMP_PORT device = block->DevicePort;
    if (device == nullptr || !device->Active || device->PortType != WFD_DEVICE || device->P2pDiscoState == P2P_DISABLE) {
        return;
    }
    if (block->StationPort == nullptr || PortBusy(block->StationPort) || PortBusy(block->ClientPort) ||
        PortBusy(block->GoPort)) {
        return;
    }
    PMP_PORT go = block->GoPort;
    if (go != nullptr && go->Active && go->PortType == WFD_GO && port->P2pGoActive) {
        return;
    }
    UCHAR listen = WorkingListenChannel(adapter);
    device->P2pListenChannel = listen;
    port->Channel.PrimaryChannel = listen;
    port->Channel.CentreChannel = listen;
    port->P2pGroupChannel = listen;
    port->P2pOpChannel = listen;
    port->Channel.Bandwidth = BW_20;
    DecideMaxTxRxProcessNumber(port);
}

void P2pMsRestoreChannel(PMP_ADAPTER adapter, PMP_PORT port, UCHAR channel)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "port %u restores its channel after %u",
             static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(channel));
    if (adapter->ChPrivilegeHeld) {
        (void)QzCmdChPrivilage(adapter, port, adapter->ChPrivilegeChannel, adapter->ChPrivilegeBand,
                               CH_PRIVILEGE_RELEASE, 4, 0, nullptr, nullptr, 0, 0);
    }
    PMP_PORT device = adapter->P2pBlock != nullptr ? adapter->P2pBlock->DevicePort : nullptr;
    if (device == nullptr) {
        return;
    }
    if (device->PortType >= WFD_DEVICE && device->PortType <= WFD_CLIENT) {
        device->P2pDiscoState = device->P2pDiscoStateBackup;
    }
    if (device->P2pDiscoState == P2P_ENABLE_LISTEN_ONLY && !adapter->ChPrivilegeHeld) {
        (void)MlmeSyncP2pSetListenState(adapter, port, 0, 0, P2P_LISTEN_RESTART_MS, 1);
    }
}

void P2pMsFillSupportedChList(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    P2P_CHANNEL_LIST& list = port->P2pChannelList;
    ULONG tableCount = adapter->Country.ChannelListCount < DOMAIN_CHANNEL_MAX ? adapter->Country.ChannelListCount : DOMAIN_CHANNEL_MAX;
    UCHAR count = 0;
    for (ULONG i = 0; i < tableCount && count < P2P_CHANNEL_LIST_MAX; ++i) {
        if (adapter->Country.ChannelList[i].Band == BAND_6G) {
            continue;
        }
        list.Channels[count++] = adapter->Country.ChannelList[i].Channel;
    }
    list.Count = count;
}

BOOLEAN MlmeP2pGoDiscoAckDone(PMP_ADAPTER adapter, PMP_PORT port, UCHAR status)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(status);
    (void)NOT_BUILT_YET();
    return FALSE;
}

NTSTATUS MlmeP2pMsPublicActionFrameSend(PMP_ADAPTER adapter, PMP_PORT port, UCHAR signal)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(signal);
    return NOT_BUILT_YET();
}

VOID MlmeP2pMsPublicActionFrameSignalRecv(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* signal, ULONG length)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(length);
    (void)NOT_BUILT_YET();
}

VOID P2PPublicAction(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG length)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(length);
    (void)NOT_BUILT_YET();
}

VOID P2pReceServDiscInitReqAction(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG length)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(length);
    (void)NOT_BUILT_YET();
}

VOID P2pReceServDiscInitRspAction(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG length)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(length);
    (void)NOT_BUILT_YET();
}

VOID P2pReceServDiscComebackReqAction(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG length)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(length);
    (void)NOT_BUILT_YET();
}

VOID P2pReceServDiscComebackRspAction(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* frame, ULONG length)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(length);
    (void)NOT_BUILT_YET();
}

VOID P2pGOHandleDBDCSwitch(PMP_ADAPTER adapter, PMP_PORT port, UCHAR keepFirmware)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(keepFirmware);
    (void)NOT_BUILT_YET();
}

void MultiChannelInitGrant(PMP_PORT port)
{
    MULTI_CHANNEL_GRANT& grant = port->Grant;
    KeInitializeSpinLock(&grant.Lock);
    KeInitializeEvent(&grant.PresentEvent, NotificationEvent, FALSE);
    KeInitializeEvent(&grant.AbsentEvent, NotificationEvent, FALSE);
    grant.BssAbsent = 0;
    grant.PresentWaiter = 0;
    grant.AbsentWaiter = 0;
}

namespace {

constexpr LONGLONG kGrantWait100ns = -500LL * 10000;  // 500 ms, relative
constexpr ULONG kAfterAbsentSleepUs = 40 * 1000;

// Clears the event; unless the port's absence already is `wanted`, marks the waiter and waits for the
// event at most 500 ms. STATUS_SUCCESS at once when nothing had to be waited for.
NTSTATUS WaitForAbsence(MULTI_CHANNEL_GRANT& grant, UCHAR wanted, PKEVENT event, PUCHAR waiter)
{
    KIRQL irql;
    KeAcquireSpinLock(&grant.Lock, &irql);
    KeClearEvent(event);
    if (grant.BssAbsent == wanted) {
        KeReleaseSpinLock(&grant.Lock, irql);
        return STATUS_SUCCESS;
    }
    *waiter = 1;
    KeReleaseSpinLock(&grant.Lock, irql);
    LARGE_INTEGER timeout;
    timeout.QuadPart = kGrantWait100ns;
    const NTSTATUS status = KeWaitForSingleObject(event, Executive, KernelMode, FALSE, &timeout);
    KeAcquireSpinLock(&grant.Lock, &irql);
    *waiter = 0;
    KeReleaseSpinLock(&grant.Lock, irql);
    return status;
}

}  // namespace

NTSTATUS MultiChannelWaitForChannelGrant(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    MULTI_CHANNEL_GRANT& grant = port->Grant;
    const NTSTATUS status = WaitForAbsence(grant, 0, &grant.PresentEvent, &grant.PresentWaiter);
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "port %u: no channel grant: 0x%08X", static_cast<unsigned>(port->PortNumber),
                 static_cast<unsigned>(status));
    }
    return status;
}

void WaitForChannelGrant(PMP_ADAPTER adapter, PMP_PORT listenPort)
{
    if (adapter == nullptr || listenPort == nullptr) {
        return;
    }
    MULTI_CHANNEL_GRANT& grant = listenPort->Grant;
    KIRQL irql;
    KeAcquireSpinLock(&grant.Lock, &irql);
    const BOOLEAN alreadyAbsent = static_cast<BOOLEAN>(grant.BssAbsent != 0);
    KeReleaseSpinLock(&grant.Lock, irql);
    if (alreadyAbsent) {
        return;
    }
    if (WaitForAbsence(grant, 1, &grant.AbsentEvent, &grant.AbsentWaiter) == STATUS_SUCCESS) {
        NdisMSleep(kAfterAbsentSleepUs);
    }
}

NTSTATUS P2pMsEnable(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}
void P2pMsMlmeCntLinkDown(PMP_PORT port, ULONG hookArgument)
{
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(hookArgument);
    (void)NOT_BUILT_YET();
}

void MultiChannelUpdateMCCStayTime(PMP_ADAPTER adapter)
{
    PP2P_CTRL_BLOCK block = adapter != nullptr ? adapter->P2pBlock : nullptr;
    PMP_PORT station = block != nullptr ? block->StationPort : nullptr;
    if (station == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "multi-channel quotas: no station port");
        return;
    }
    if ((station->ConnectionFlags & PORT_CONN_CONNECTED) == 0) {
        return;
    }
    const WORKING_P2P_MCC_CFG& sta = station->Cfg.P2pMcc;
    PMP_PORT go = block->GoPort;
    if (go != nullptr) {
        const UCHAR staChannel = station->Channel.PrimaryChannel;
        const UCHAR goChannel = go->P2pGroupChannel;
        const BOOLEAN twoChannels = static_cast<BOOLEAN>(staChannel != goChannel && staChannel != 0 && goChannel != 0);
        if (!twoChannels && go->GoMcastConActive == 0) {
            return;
        }
        const WORKING_P2P_MCC_CFG& g = go->Cfg.P2pMcc;
        const BOOLEAN joining = static_cast<BOOLEAN>(go->GoMcastConActive != 0 || go->HotspotMcastConActive != 0);
        if (adapter->RegistryBlock.HotspotMCCTputOptimization == 0 && (go->HotspotGo != 0 || joining) &&
            g.SapStayTimeEnable == 1) {
            (void)QZCmdUpdateMiracastMode(adapter, 1);
        }
        if (joining) {
            (void)QZCmdUpdateStayTime(adapter, go, g.MccP2pGOMcastConQuotaTime);
            (void)QZCmdUpdateStayTime(adapter, station, sta.MccP2pSTAMcastConQuotaTime);
        } else {
            (void)QZCmdUpdateStayTime(adapter, go, g.MccP2pGOQuotaTime);
            (void)QZCmdUpdateGoBrakeTime(adapter, go, g.MccP2pGOBrakeTime);
            (void)QZCmdUpdateStayTime(adapter, station, sta.MccStaQuotaTime);
        }
        return;
    }
    PMP_PORT client = block->ClientPort;
    if (client != nullptr) {
        (void)QZCmdUpdateStayTime(adapter, client, client->Cfg.P2pMcc.MccP2pGCQuotaTime);
        (void)QZCmdUpdateStayTime(adapter, station, sta.MccP2pStaGCQuotaTime);
    }
}
