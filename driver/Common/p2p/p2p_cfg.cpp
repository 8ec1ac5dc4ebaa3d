// Wi-Fi Direct port defaults, the routines that put the device side back to idle, the take-down of
// every Wi-Fi Direct port, the trace printers of the tables and states, and the P2P scan and
// listen channel lists.
#include "Common/mlme/mlme.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2p_services.h"
#include "Common/p2p/p2pms.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

// The WDI operation mode of a Wi-Fi Direct group owner.
constexpr ULONG kOpModeP2pGo = 8;
constexpr UCHAR kSocialChannels[3] = {1, 6, 11};
constexpr char kDefaultDeviceName[] = "Telvar-P2P";
constexpr char kGroupSsidPrefix[] = "DIRECT-";

PP2P_CTRL_BLOCK BlockOf(PMP_ADAPTER adapter) { return adapter != nullptr ? adapter->P2pBlock : nullptr; }

PMP_PORT PortAt(PMP_ADAPTER adapter, ULONG index) { return index < MP_MAX_PORTS ? adapter->PortList[index] : nullptr; }

// The Wi-Fi Direct device port, when it exists, is active and is not disabled.
PMP_PORT EnabledDevicePort(PMP_ADAPTER adapter)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    PMP_PORT device = block != nullptr ? block->DevicePort : nullptr;
    if (device == nullptr || !device->Active || device->P2pDiscoState == P2P_DISABLE) {
        return nullptr;
    }
    return device;
}

// "xx:xx:xx:xx:xx:xx" of an address, for the trace printers.
struct AddressText {
    char Text[3 * P2P_ADDR_LEN];
};
AddressText FormatAddress(const UCHAR* address)
{
    static const char kHex[] = "0123456789ABCDEF";
    AddressText out = {};
    for (ULONG i = 0; i < P2P_ADDR_LEN; ++i) {
        out.Text[3 * i] = kHex[address[i] >> 4];
        out.Text[3 * i + 1] = kHex[address[i] & 0xF];
        out.Text[3 * i + 2] = i + 1 < P2P_ADDR_LEN ? ':' : '\0';
    }
    return out;
}

void ResetOsDrivenBlock(PMP_PORT port)
{
    P2P_MS_BLOCK& ms = port->P2pMs;
    PlatformZeroMemory(ms.ExtraIes, sizeof(ms.ExtraIes));
    ms.ExtraIesLen = 0;
    ms.ListenStateByte = 0xFF;
    ms.ListenStateWord = 0xFFFFFF;
    ms.ListenStateValue = 0;
    ms.OptionWord[0] = 0x01;
    ms.OptionWord[1] = 0x00;
    ms.OptionWord[2] = 0x00;
    ms.OptionWord[3] = 0x01;
    ms.TrailingFlag = 1;
}

}  // namespace

// ================================================================================================
// port defaults and idle routines
// ================================================================================================
void P2pUserCfgInit(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    // The port's copies of the configuration values, from the working values it received.
    port->P2pCfgControl = port->Cfg.P2pMcc.WifiDirectControl;
    port->P2pCfgListenChannel = port->Cfg.P2pMcc.WfdListenChannel;
    port->P2pCfgGoChannel = port->Cfg.P2pMcc.WfdGOOperatingChannel;

    port->P2pListenChannel = static_cast<UCHAR>(port->P2pCfgListenChannel & 0xFF);
    port->P2pGroupChannel = static_cast<UCHAR>(port->P2pCfgGoChannel & 0xFF);
    port->P2pOpChannel = port->P2pGroupChannel;

    PlatformZeroMemory(port->P2pConnValues, sizeof(port->P2pConnValues));
    port->P2pTxHold[0] = 0;
    port->P2pGoWlanIndex = P2P_GO_WLAN_INDEX_NONE;
    port->P2pRolePortIndex = 0;
    PlatformZeroMemory(port->P2pRoleBytes, sizeof(port->P2pRoleBytes));
    port->P2pGoVhtOn = 0;

    PlatformZeroMemory(port->P2pDeviceName, sizeof(port->P2pDeviceName));
    PlatformMoveMemory(port->P2pDeviceName, kDefaultDeviceName, sizeof(kDefaultDeviceName) - 1);
    port->P2pDeviceNameLen = sizeof(kDefaultDeviceName) - 1;
    port->P2pGroupBssidLead = 0;

    port->P2pOwnWlanIndex = MlmeSyncGetWlanIdxByRoleType(port, 1);

    port->P2pDiscoState = P2P_DISABLE;
    port->P2pConnectState = P2P_DISABLE;
    port->P2pPresenceState = P2P_PRESENCE_STATE_RESET;
    port->P2pCounter = 0;
    if (block != nullptr) {
        block->P2pCounter = 0;
    }

    port->P2pWpsDevicePasswordId = 0xFFFF;
    port->P2pWmmByte = 0xFF;
    port->P2pScanDwell = 25;

    if (port->OpMode == kOpModeP2pGo) {
        P2pGroupTabInit(adapter);
        P2pDiscoTabInit(adapter);
        P2pCrednTabInit(adapter);
        P2pSetSocialChannels(adapter, port);
    }

    PlatformZeroMemory(port->P2pSsid, sizeof(port->P2pSsid));
    PlatformMoveMemory(port->P2pSsid, kGroupSsidPrefix, sizeof(kGroupSsidPrefix) - 1);
    port->P2pSsidLen = sizeof(kGroupSsidPrefix) - 1;
    PMP_PORT port0 = adapter->PortList[0];
    if (port0 != nullptr) {
        PlatformMoveMemory(port->P2pGroupBssid, port0->MacAddress, MAC_ADDR_LEN);
    }
    PlatformZeroMemory(port->P2pGroupDeviceAddr, sizeof(port->P2pGroupDeviceAddr));
    port->P2pGroupMode = static_cast<UCHAR>((port->P2pCfgControl >> 4) & 0xF);

    port->P2pLongTicks[0] = 300;
    port->P2pLongTicks[1] = 300;
    port->P2pNoaActive = 0;
    port->P2pNoaStartsAbsence = 1;
    port->P2pNoaAbsent = 0;
    port->P2pNoaIndex = 0;
    port->P2pOppPsActive = 0;
    port->P2pNoaWakePending = 0;
    PlatformZeroMemory(port->P2pNoaBytes, sizeof(port->P2pNoaBytes));
    port->P2pGoCentreChannel = 0;
    port->P2pGoWidthSetting = 1;
    port->P2pRetryValue = 150;
    port->P2pScanType = 3;
    port->P2pScanType2 = 3;
    ResetOsDrivenBlock(port);

    // The public-action-frame machine back in its null state, with no frame pending.
    port->P2pActPrevState = P2P_NULL_STATE;
    port->P2pActState = P2P_NULL_STATE;
    port->P2pActSignal = 0;
    port->P2pActPendingSignal = P2P_ACTION_NO_PENDING_SIGNAL;
    port->P2pBand = adapter->CurrentBand;
}

void P2pGoToListenIdle(PMP_ADAPTER adapter, PMP_PORT port)
{
    port->P2pStateTicks = 0;
    port->P2pDiscoState = P2P_IDLE;
    port->P2pDiscoTicks = 10 + (RandomOctetGet(adapter) % 25);
}

void P2pGotoIdle(PMP_ADAPTER adapter, PMP_PORT port, ULONG scanType, ULONG startTicks)
{
    port->P2pDiscoTicks = startTicks != 0 ? startTicks : 2;
    port->P2pScanType = scanType;
    port->P2pScanRepeat = 0;
    P2pScanChannelUpdate(adapter, port);
    port->P2pStateTicks = 0;
    port->P2pDiscoState = P2P_IDLE;
    port->P2pScanListReady = 1;
}

void P2pResumeIdleState(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (port == nullptr || EnabledDevicePort(adapter) == nullptr) {
        return;
    }
    if (port->P2pDiscoState == P2P_ENABLE_LISTEN_ONLY || port->P2pDiscoState == P2P_IDLE) {
        port->P2pStateTicks = 0;
        port->P2pDiscoState = P2P_IDLE;
    }
    switch (port->P2pConnectState) {
    case P2P_DO_GO_NEG_DONE_CLIENT:
    case P2P_DO_GO_SCAN_BEGIN:
        port->P2pConnectState = P2P_DO_GO_SCAN_DONE;
        break;
    case P2P_DO_GO_SCAN_OP_BEGIN:
        port->P2pConnectState = P2P_DO_GO_SCAN_OP_DONE;
        port->P2pStateTicks = 0;
        break;
    default:
        break;
    }
}

void P2pShutdownAllPorts(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        return;
    }
    for (ULONG i = 0; i < MP_MAX_PORTS; ++i) {
        PMP_PORT port = adapter->PortList[i];
        if (port == nullptr) {
            continue;
        }
        // The listen-switch timers of the command thread post to the port: they go before it does.
        PlatformFreeTimer(&port->P2pListenSTASwitchTimer);
        PlatformFreeTimer(&port->SwitchP2PListenTimer);
        if (!port->Active) {
            continue;
        }
        if (port->PortType == WFD_DEVICE || port->PortType == WFD_GO || port->PortType == WFD_CLIENT) {
            PMP_PORT target = PortAt(adapter, port->PortNumber);
            if (target != nullptr) {
                (void)P2pMsDown(adapter, target);
            }
        }
    }
}

void P2PPrintDiscoEntry(PMP_ADAPTER adapter, UCHAR index)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block == nullptr || index >= P2P_TABLE_LIMIT) {
        return;
    }
    const P2P_DISCO_ENTRY& e = block->DiscoTable[index];
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P,
             "disco[%u] valid %u device %s interface %s name \"%.*s\" (%u) ssid %u beacon %llu/%llu "
             "probe response %llu/%llu",
             static_cast<unsigned>(index), static_cast<unsigned>(e.Valid), FormatAddress(e.DeviceAddress).Text,
             FormatAddress(e.InterfaceAddress).Text,
             static_cast<int>(e.DeviceNameLen > P2P_DEVICE_NAME_MAX ? P2P_DEVICE_NAME_MAX : e.DeviceNameLen),
             reinterpret_cast<const char*>(e.DeviceName), static_cast<unsigned>(e.DeviceNameLen),
             static_cast<unsigned>(e.SsidLen), static_cast<unsigned long long>(e.BeaconTime),
             static_cast<unsigned long long>(e.PrevBeaconTime), static_cast<unsigned long long>(e.ProbeRspTime),
             static_cast<unsigned long long>(e.PrevProbeRspTime));
}

void P2PPrintGroupEntry(PMP_ADAPTER adapter, UCHAR index)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    if (block == nullptr || index >= P2P_TABLE_LIMIT) {
        return;
    }
    const P2P_GROUP_ENTRY& e = block->GroupTable[index];
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "group[%u] %s device %s interface %s channel %u role %u config methods %s",
             static_cast<unsigned>(index), p2pGroupStateName(e.State), FormatAddress(e.DeviceAddress).Text,
             FormatAddress(e.InterfaceAddress).Text, static_cast<unsigned>(e.OpChannel), static_cast<unsigned>(e.Role),
             P2pConfigMethodName(e.ConfigMethods));
}

void P2PPrintState(PMP_ADAPTER adapter)
{
    PMP_PORT port0 = adapter != nullptr ? adapter->PortList[0] : nullptr;
    if (port0 == nullptr) {
        return;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "port 0: %s / %s", p2pStateName(port0->P2pDiscoState),
             p2pStateName(port0->P2pConnectState));
    PMP_PORT role = PortAt(adapter, port0->P2pRolePortIndex);
    if (role != nullptr && role != port0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "role port %u: %s / %s", static_cast<unsigned>(role->PortNumber),
                 p2pStateName(role->P2pDiscoState), p2pStateName(role->P2pConnectState));
    }
}

void P2PPrintStateOfPort(PMP_ADAPTER adapter, PMP_PORT port)
{
    PP2P_CTRL_BLOCK block = BlockOf(adapter);
    PMP_PORT device = block != nullptr ? block->DevicePort : nullptr;
    if (port == nullptr || device == nullptr || device->P2pDiscoState == P2P_DISABLE) {
        return;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_P2P, "port %u: %s / %s", static_cast<unsigned>(port->PortNumber),
             p2pStateName(port->P2pDiscoState), p2pStateName(port->P2pConnectState));
}

// ================================================================================================
// P2P scan and listen channel lists
// ================================================================================================
namespace {

// The channel plan into the port's list; the list holds the whole plan.
void CopyChannelPlan(PMP_ADAPTER adapter, PMP_PORT port, ULONG limit)
{
    ULONG count = adapter->Country.ChannelListCount;
    if (count > limit) {
        count = limit;
    }
    if (count > P2P_SCAN_LIST_MAX) {
        count = P2P_SCAN_LIST_MAX;
    }
    for (ULONG i = 0; i < count; ++i) {
        port->P2pScanChannels[i] = adapter->Country.ChannelList[i].Channel;
    }
    port->P2pScanChannelCount = static_cast<UCHAR>(count);
    port->P2pScanSingleChannel = 0;
}

// The whole plan becomes the list unless the adapter keeps a fixed scan list; FALSE when no list
// is to be handed on.
BOOLEAN PlanUnlessFixed(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter->FixedScanList) {
        return FALSE;
    }
    CopyChannelPlan(adapter, port, P2P_SCAN_LIST_MAX);
    return TRUE;
}

ULONG BandOfChannel(UCHAR channel) { return channel <= 14 ? BAND_24G : BAND_5G; }

// Step 1 of an OS discovery: a requested device already heard and not yet reported narrows the
// scan to the channel it was heard on. TRUE when it did.
BOOLEAN NarrowToRequestedDevice(PMP_ADAPTER adapter, PMP_PORT port)
{
    const P2P_MS_BLOCK& ms = port->P2pMs;
    PP2P_SCAN_REQUEST request = &adapter->P2pScanRequest;
    if (ms.DiscoverFilterFlags == 0 || (ms.DiscoverFilterFlags & P2P_MS_FILTER_DEVICE_ID) == 0 ||
        ms.DeviceFilterCount == 0 || (ms.DeviceFilters[0].MatchKind != 1 && ms.DeviceFilters[0].MatchKind != 2) ||
        (ms.DiscoverFilterFlags & P2P_MS_FILTER_NO_NARROWING) != 0 || request->ChannelCount != 0) {
        return FALSE;
    }
    // The OS gives the count; only the records the block holds are looked at.
    ULONG records = ms.DeviceFilterCount < P2P_MS_DEVICE_FILTER_MAX ? ms.DeviceFilterCount : P2P_MS_DEVICE_FILTER_MAX;
    for (ULONG r = 0; r < records; ++r) {
        const P2P_MS_DEVICE_FILTER& filter = ms.DeviceFilters[r];
        UCHAR index = P2pDiscoTabSearch(adapter, filter.DeviceAddress, nullptr, nullptr);
        if (index >= P2P_TABLE_LIMIT) {
            continue;
        }
        const P2P_DISCO_ENTRY& entry = adapter->P2pBlock->DiscoTable[index];
        if (entry.Reported) {
            continue;
        }
        if (filter.MatchKind == 2 &&
            (filter.SsidLen != entry.SsidLen || filter.SsidLen > P2P_SSID_MAX ||
             !PlatformEqualMemory(filter.Ssid, entry.Ssid, filter.SsidLen))) {
            continue;
        }
        request->Channels[0].Band = BandOfChannel(entry.ChannelHeard);
        request->Channels[0].Channel = entry.ChannelHeard;
        request->ChannelCount = 1;
        return TRUE;
    }
    return FALSE;
}

void SetDwell(PMP_PORT port)
{
    if (port->P2pScanType2 != 0) {
        port->P2pScanDwell = 20;
        ++port->P2pScanRepeat;
    } else if (port->P2pScanChannelCount >= 12) {
        port->P2pScanDwell = 40;
    } else if (port->P2pScanChannelCount >= 4) {
        port->P2pScanDwell = 25;
    } else {
        port->P2pScanDwell = 20;
    }
}

// Hands the port's list to the adapter's scan request; without a list the request is emptied.
void HandOn(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN withList)
{
    PP2P_SCAN_REQUEST request = &adapter->P2pScanRequest;
    if (withList && port->P2pScanSingleChannel) {
        // The narrowed request keeps its one channel.
        port->P2pScanListReady = 1;
    } else if (withList) {
        for (ULONG i = 0; i < port->P2pScanChannelCount; ++i) {
            UCHAR channel = port->P2pScanChannels[i];
            request->Channels[i].Band = BandOfChannel(channel);
            request->Channels[i].Channel = channel;
        }
        request->ChannelCount = port->P2pScanChannelCount;
        port->P2pScanListReady = 1;
    } else {
        request->ChannelCount = 0;
    }
    request->ByteAfterList = 0;
    request->ScanKind = request->ChannelCount != 0 ? SCAN_KIND_P2P : 0;
}

}  // namespace

void P2pSetSocialChannels(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UCHAR osListen = port->P2pMs.OsListenChannel;
    for (ULONG i = 0; i < P2P_SOCIAL_LIST_COUNT; ++i) {
        port->P2pScanChannels[i] = (port->P2pScanListReady && osListen != 0) ? osListen : kSocialChannels[i % 3];
    }
    port->P2pScanChannelCount = P2P_SOCIAL_LIST_COUNT;
    port->P2pScanSingleChannel = 0;
    port->P2pScanDwell = 25;
}

void P2pScanChannelUpdate(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    BOOLEAN withList = TRUE;
    switch (port->P2pScanType & 0xF) {
    case 1:
        (void)NarrowToRequestedDevice(adapter, port);
        if (adapter->P2pScanRequest.ChannelCount == 1) {
            UCHAR channel = adapter->P2pScanRequest.Channels[0].Channel;
            for (ULONG i = 0; i < P2P_SINGLE_LIST_COUNT; ++i) {
                port->P2pScanChannels[i] = channel;
            }
            port->P2pScanChannelCount = P2P_SINGLE_LIST_COUNT;
            port->P2pScanSingleChannel = 1;
        } else {
            port->P2pScanSingleChannel = 0;
            withList = PlanUnlessFixed(adapter, port);
        }
        SetDwell(port);
        break;
    case 2:
    case 4:
        P2pSetSocialChannels(adapter, port);
        break;
    case 3:
        withList = PlanUnlessFixed(adapter, port);
        SetDwell(port);
        break;
    default:
        if (port->P2pFormationTicks <= 40) {
            // While a group forms beside a station connection only the social channels and the
            // port's own channel are searched; nothing is handed on.
            PMP_PORT rolePort = PortAt(adapter, port->P2pRolePortIndex);
            PMP_PORT port0 = adapter->PortList[0];
            if (rolePort != nullptr && rolePort->Active && rolePort->PortNumber != 0 && port0 != nullptr &&
                (port0->ConnectionFlags & PORT_CONN_CONNECTED)) {
                UCHAR primary = port->Channel.PrimaryChannel;
                port->P2pScanChannels[0] = 1;
                port->P2pScanChannels[1] = 6;
                port->P2pScanChannels[2] = 11;
                port->P2pScanChannelCount = 3;
                if (primary != 1 && primary != 6 && primary != 11) {
                    port->P2pScanChannels[3] = primary;
                    port->P2pScanChannelCount = 4;
                }
                port->P2pScanDwell = 25;
                port->P2pScanSingleChannel = 0;
            }
            return;
        }
        if (adapter->P2pTrafficCounts[0] < 80 && adapter->P2pTrafficCounts[1] < 80) {
            if (port->P2pScanChannelCount == 3 || port->P2pScanChannelCount == 4) {
                ULONG limit = P2P_SCAN_LIST_MAX;
                if (port->P2pConnectState >= P2P_I_AM_GO_OP && adapter->Country.ChannelListCount >= 12) {
                    limit = 11;
                }
                CopyChannelPlan(adapter, port, limit);
            } else if (port->P2pScanChannelCount > 4 && port->P2pConnectState != P2P_I_AM_CLIENT_OP) {
                P2pSetSocialChannels(adapter, port);
            }
        }
        SetDwell(port);
        break;
    }
    HandOn(adapter, port, withList);
}

void P2pUpdateSearchChannel(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    if (port->P2pScanChannelCount != 0) {
        port->P2pSearchChannel = port->P2pScanChannels[port->P2pScanChannelCount - 1];
    }
    port->P2pScanDwell = 40;
}

void P2pDefaultListenChannel(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr || EnabledDevicePort(adapter) == nullptr) {
        return;
    }
    PMP_PORT rolePort = PortAt(adapter, port->P2pRolePortIndex);
    if (rolePort == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_P2P, "port %u: no role port %u", static_cast<unsigned>(port->PortNumber),
                 static_cast<unsigned>(port->P2pRolePortIndex));
        return;
    }
    PMP_PORT port0 = adapter->PortList[0];
    if (adapter->OpMode == 3 && rolePort->Active && rolePort->PortNumber != 0 && port0 != nullptr &&
        (port0->ConnectionFlags & (PORT_CONN_CONNECTED | PORT_CONN_CONNECTING))) {
        return;
    }
    // A port that acts as group owner stays on its group's channel.
    LONG state = rolePort->P2pConnectState;
    BOOLEAN actsAsGo = state == P2P_ANY_IN_FORMATION_AS_GO || state == P2P_WPS_REGISTRA ||
                       state == P2P_GO_ASSOC_AUTH || state == P2P_I_AM_GO_OP;
    if (state > P2P_I_AM_CLIENT_OP || actsAsGo || rolePort->P2pGroupMode == 16) {
        return;
    }
    rolePort->Channel.PrimaryChannel = rolePort->P2pListenChannel;
    rolePort->Channel.CentreChannel = rolePort->P2pListenChannel;
    rolePort->Channel.Bandwidth = BW_20;
    DecideMaxTxRxProcessNumber(rolePort);
}
