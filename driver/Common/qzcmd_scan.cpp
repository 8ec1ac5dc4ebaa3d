// Firmware scan, scan abort, channel privilege, network-list offload, radar-detection and domain
// information commands.
#include "Common/qzcmd_scan.h"

#include "Common/fwsettings.h"
#include "Common/logevent.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2pms.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/qzcmd_services.h"
#include "Common/rlm_domain.h"
#include "hal/common/hal_chip.h"
#include "platform/wdi/ndiswdi.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kFlagsNoAnswer = 16;
constexpr UCHAR kFlagsNoAnswer8 = 8;
constexpr UCHAR kFlagsAnswer = 13;
constexpr UCHAR kSeqClassChPrivilege = 1;
constexpr UCHAR kP2pConcurrency = 0x10;

template <typename T>
T Min(T a, T b)
{
    return a < b ? a : b;
}

NTSTATUS SendSet(PMP_PORT port, UCHAR cmdId, UCHAR flags, const void* payload, ULONG length,
                 FW_CMD_CALLBACK callback = nullptr, ULONG64 context = 0, ULONG argument = 0)
{
    return QzCmdSendSetQuery(port, cmdId, FW_CMD_CLASS_NORMAL, 0, 1, flags, payload, static_cast<USHORT>(length),
                             callback, context, argument);
}

BOOLEAN P2pConcurrencyOn(PMP_ADAPTER adapter)
{
    return static_cast<BOOLEAN>(adapter->P2pBlock != nullptr && (adapter->P2pBlock->Flags & kP2pConcurrency) != 0);
}

BOOLEAN PortLinkUp(PMP_PORT port)
{
    return static_cast<BOOLEAN>(port != nullptr && (port->ConnectionFlags & PORT_CONN_CONNECTED) != 0);
}

// The channels a command takes from the request: from the chunk start, the chunk size (or every
// channel left), never past the listed ones.
ULONG ChunkChannels(const MLME_SCAN_REQ* request)
{
    const ULONG listed = Min<ULONG>(request->ChannelCount, SCAN_REQ_CHANNEL_MAX);
    const ULONG start = request->ChunkStart;
    const ULONG left = listed > start ? listed - start : 0;
    const ULONG wanted = request->ChunkSize != 0 ? request->ChunkSize : left;
    return Min(wanted, left);
}

void CopyChannels(SCAN_CHANNEL_WIRE* out, const MLME_SCAN_REQ* request, ULONG first, ULONG count)
{
    for (ULONG i = 0; i < count; ++i) {
        const SCAN_REQ_CHANNEL& channel = request->Channels[request->ChunkStart + first + i];
        out[i].Band = static_cast<UCHAR>(channel.Band);
        out[i].Channel = channel.Channel;
    }
}

// The request (the adapter's when none is given) and the port of its BSS index; none (traced) when
// either is missing.
PMP_PORT ScanRequestPort(PMP_ADAPTER adapter, const MLME_SCAN_REQ** request)
{
    if (adapter == nullptr) {
        return nullptr;
    }
    if (*request == nullptr) {
        *request = adapter->ScanRequest;
    }
    PMP_PORT port = *request != nullptr ? GetPortByBssIndex(adapter, (*request)->BssIndex) : nullptr;
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "scan request without a request or a port of its BSS index");
    }
    return port;
}

USHORT ExtraIeLength(const MLME_SCAN_REQ* request)
{
    return Min<USHORT>(request->ExtraIeLength, SCAN_REQ_EXTRA_IE_MAX);
}

}  // namespace

BOOLEAN QzCmdSixGhzUsable(PMP_ADAPTER adapter)
{
    return static_cast<BOOLEAN>(adapter != nullptr && adapter->Chip6GhzCapable &&
                                (adapter->RegistryBlock.Config_6G & 1) != 0 && !adapter->FwCap6GhzOff);
}

// ================================================================================================
// scan
// ================================================================================================
NTSTATUS QzCmdSendScanReqMsgV2(PMP_ADAPTER adapter, const MLME_SCAN_REQ* request)
{
    PMP_PORT port = ScanRequestPort(adapter, &request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    SCAN_REQ_V2_WIRE wire;
    PlatformZeroMemory(&wire, sizeof(wire));
    wire.SeqNum = request->ScanSeqNum;
    wire.BssIndex = request->BssIndex;
    wire.ScanType = static_cast<UCHAR>(request->ScanType);
    wire.Option = request->Option;
    wire.SsidCount = Min<UCHAR>(request->SsidCount, SCAN_REQ_SSID_MAX);
    wire.ProbeOption = request->ProbeOption;
    if (port->PortType == EXTSTA && PortLinkUp(port) && request->RequestKind != 0 && adapter->BeaconTimeoutMark == 0) {
        wire.Flags |= SCAN_V2_FLAG_CONNECTED_STA;
    }
    for (ULONG i = 0; i < wire.SsidCount; ++i) {
        const UCHAR length = Min<UCHAR>(request->SsidLength[i], SCAN_REQ_SSID_LEN);
        wire.Ssids[i].Length = length;
        PlatformMoveMemory(wire.Ssids[i].Ssid, request->Ssid[i], length);
    }
    wire.ProbeCount = request->ProbeCount;
    ULONG channelType = request->ChannelType;
    if (channelType == SCAN_CHANNEL_TYPE_RNR && request->ChannelCount != 0) {
        const ULONG bssids = Min<ULONG>(request->BssidCount, SCAN_REQ_BSSID_MAX);
        for (ULONG i = 0; i < bssids; ++i) {
            PlatformMoveMemory(wire.BssidList[i], request->Bssid[i], MAC_ADDR_LEN);
        }
        wire.Flags |= SCAN_V2_FLAG_BSSID_LIST;
        PlatformMoveMemory(wire.BssidScanParams, request->BssidScanParams, sizeof(wire.BssidScanParams));
        channelType = SCAN_CHANNEL_TYPE_LIST;
    }
    wire.ChannelType = static_cast<UCHAR>(channelType);
    if (channelType == SCAN_CHANNEL_TYPE_LIST) {
        ULONG count = ChunkChannels(request);
        if (count > SCAN_V2_CHANNEL_MAX) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "scan of %u channels is more than %u: no channel list",
                     static_cast<unsigned>(count), static_cast<unsigned>(SCAN_V2_CHANNEL_MAX));
            count = 0;
        }
        if (count == 0) {
            wire.ChannelType = 0;
        }
        const ULONG first = Min<ULONG>(count, SCAN_V2_LIST_CHANNELS);
        wire.ChannelCount = static_cast<UCHAR>(count);
        CopyChannels(wire.Channels, request, 0, first);
        if (count > SCAN_V2_LIST_CHANNELS) {
            wire.ManyChannels = 1;
            wire.ChannelsBeyond32 = static_cast<UCHAR>(count - SCAN_V2_LIST_CHANNELS);
            CopyChannels(wire.Channels2, request, SCAN_V2_LIST_CHANNELS, count - SCAN_V2_LIST_CHANNELS);
        }
    }
    wire.Timing1 = request->Timing1;
    wire.Timing2 = request->Timing2;
    wire.Timing3 = request->Timing3;
    wire.ExtraIeLength = ExtraIeLength(request);
    PlatformMoveMemory(wire.ExtraIe, request->ExtraIe, wire.ExtraIeLength);
    if (adapter->PrivateScanFilterOn) {
        PlatformMoveMemory(wire.FilterAddress, adapter->PrivateScanFilterAddress, MAC_ADDR_LEN);
    }
    wire.BssidListByte = request->BssidListByte;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "scan %u: type %u, %u SSIDs, channel type %u, %u channels",
             static_cast<unsigned>(wire.SeqNum), static_cast<unsigned>(wire.ScanType),
             static_cast<unsigned>(wire.SsidCount), static_cast<unsigned>(wire.ChannelType),
             static_cast<unsigned>(wire.ChannelCount));
    return SendSet(port, FW_CMD_ID_SCAN_REQ_V2, kFlagsNoAnswer, &wire, sizeof(wire));
}

NTSTATUS QzCmdSendScanReqMsg(PMP_ADAPTER adapter, const MLME_SCAN_REQ* request)
{
    if (adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (!AdapterTestFlags(adapter, ADAPTER_FLAG_OS_SCAN) || adapter->ScanTaskAborted) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "scan request refused: no OS scan in progress or its task was aborted");
        return STATUS_UNSUCCESSFUL;
    }
    PMP_PORT port = ScanRequestPort(adapter, &request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    SCAN_REQ_V1_WIRE wire;
    PlatformZeroMemory(&wire, sizeof(wire));
    wire.SeqNum = request->ScanSeqNum;
    wire.BssIndex = request->BssIndex;
    wire.ScanType = static_cast<UCHAR>(request->ScanType);
    wire.Option = request->Option;
    if (request->SsidCount == 1) {
        wire.SsidLength = Min<UCHAR>(request->SsidLength[0], SCAN_REQ_SSID_LEN);
        PlatformMoveMemory(wire.Ssid, request->Ssid[0], wire.SsidLength);
    }
    wire.Timing1 = request->Timing1;
    wire.Timing2 = request->Timing2;
    wire.ChannelType = static_cast<UCHAR>(request->ChannelType);
    if (request->ChannelType == SCAN_CHANNEL_TYPE_LIST) {
        // Version 1 has no chunk size: every channel left from the chunk start, at most 32.
        const ULONG listed = Min<ULONG>(request->ChannelCount, SCAN_REQ_CHANNEL_MAX);
        const ULONG left = listed > request->ChunkStart ? listed - request->ChunkStart : 0;
        const ULONG count = Min<ULONG>(left, SCAN_V1_CHANNEL_MAX);
        wire.ChannelCount = static_cast<UCHAR>(count);
        CopyChannels(wire.Channels, request, 0, count);
    }
    wire.ExtraIeLength = ExtraIeLength(request);
    PlatformMoveMemory(wire.ExtraIe, request->ExtraIe, wire.ExtraIeLength);
    return SendSet(port, FW_CMD_ID_SCAN_REQ_V1, kFlagsNoAnswer, &wire, sizeof(wire));
}

NTSTATUS QzCmdSendAbortScan(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    PMP_PORT port0 = adapter->PortList[0];
    if (!AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
        const ULONG pending = adapter->PendingScanPort;
        PMP_PORT scanPort = pending < MP_MAX_PORTS && adapter->PortList[pending] != nullptr ? adapter->PortList[pending]
                                                                                             : port0;
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "scan abort while the firmware is not scanning: scan completed");
        (void)WdiScanComplete(adapter, scanPort, STATUS_SUCCESS);
        return STATUS_UNSUCCESSFUL;
    }
    if (port0 == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "scan abort without port 0");
        return STATUS_UNSUCCESSFUL;
    }
    UCHAR payload[4] = {};
    payload[0] = adapter->ScanRequest != nullptr ? adapter->ScanRequest->ScanSeqNum : 0;
    if (P2pConcurrencyOn(adapter) && adapter->P2pBlock->DevicePort != nullptr) {
        WaitForChannelGrant(adapter, adapter->P2pBlock->DevicePort);
    }
    const NTSTATUS status = SendSet(port0, FW_CMD_ID_SCAN_ABORT, kFlagsNoAnswer, payload, sizeof(payload));
    (void)WriteSystemEventLog(adapter, EVENT_LOG_SCAN_ABORT, 0, payload, 1);
    return status;
}

// ================================================================================================
// channel privilege
// ================================================================================================
namespace {

// The completion of the request: run on the control thread once the grant answered the command.
NTSTATUS ChPrivilegeGranted(ULONG64 context, ULONG argument)
{
    UNREFERENCED_PARAMETER(argument);
    auto* adapter = reinterpret_cast<PMP_ADAPTER>(context);
    if (adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    auto* completion = reinterpret_cast<QZ_CMD_COMPLETION*>(adapter->ChPrivilegeCompletion);
    PMP_PORT port = adapter->ChPrivilegeCompletionPort;
    PVOID completionContext = adapter->ChPrivilegeCompletionContext;
    adapter->ChPrivilegeCompletion = nullptr;
    adapter->ChPrivilegeCompletionPort = nullptr;
    adapter->ChPrivilegeCompletionContext = nullptr;
    return completion != nullptr ? completion(adapter, port, completionContext) : STATUS_SUCCESS;
}

// Gives back the held grant without waiting; the record is cleared whatever the send returns.
NTSTATUS AbortHeldGrant(PMP_ADAPTER adapter, PMP_PORT port)
{
    CH_PRIVILEGE_WIRE wire;
    PlatformZeroMemory(&wire, sizeof(wire));
    wire.BssIndex = adapter->ChPrivilegeBssIndex;
    wire.Token = GetNextSeqNum(adapter, kSeqClassChPrivilege, FALSE);
    wire.Action = CH_PRIVILEGE_RELEASE;
    wire.PrimaryChannel = adapter->ChPrivilegeChannel;
    wire.Band = adapter->ChPrivilegeBand;
    wire.BandIndex = 4;
    const NTSTATUS status = SendSet(port, FW_CMD_ID_CH_PRIVILEGE, kFlagsNoAnswer8, &wire, sizeof(wire));
    adapter->ChPrivilegeChannel = 0;
    adapter->ChPrivilegeHeld = 0;
    return status;
}

ULONG JoinDuration(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (port->PortType == WFD_CLIENT) {
        return PortLinkUp(adapter->PortList[0]) ? 4000 : 0;
    }
    if (port->PortType == EXTSTA && P2pConcurrencyOn(adapter)) {
        if (port->ResetRequest != 0) {
            return 2000;
        }
        return PortLinkUp(port) ? 500 : 200;
    }
    return 0;
}

}  // namespace

NTSTATUS QzCmdChPrivilage(PMP_ADAPTER adapter, PMP_PORT port, UCHAR channel, UCHAR band, UCHAR action,
                          UCHAR requestKind, ULONG durationMs, QZ_CMD_COMPLETION* completion, PVOID context,
                          ULONG contextSize, UCHAR option)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "channel privilege action %u kind %u on %u (band %u) for %u ms",
             static_cast<unsigned>(action), static_cast<unsigned>(requestKind), static_cast<unsigned>(channel),
             static_cast<unsigned>(band), static_cast<unsigned>(durationMs));
    if (adapter == nullptr || port == nullptr || action > CH_PRIVILEGE_RELEASE) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "channel privilege refused: no port or action %u",
                 static_cast<unsigned>(action));
        return STATUS_UNSUCCESSFUL;
    }
    NTSTATUS abortStatus = STATUS_UNSUCCESSFUL;
    if (adapter->ChPrivilegeHeld) {
        abortStatus = AbortHeldGrant(adapter, port);
    }
    if (action == CH_PRIVILEGE_RELEASE) {
        return abortStatus;
    }

    AdapterSetFlag(adapter, ADAPTER_FLAG_CH_PRIVILEGE, __func__);
    CH_PRIVILEGE_WIRE wire;
    PlatformZeroMemory(&wire, sizeof(wire));
    wire.BssIndex = port->BssIndex;
    wire.Token = GetNextSeqNum(adapter, kSeqClassChPrivilege, TRUE);
    wire.Action = CH_PRIVILEGE_REQUEST;
    wire.PrimaryChannel = channel;
    wire.Band = band;
    wire.BandIndex = 4;
    wire.Extra = option;
    switch (requestKind) {
    case CH_PRIVILEGE_KIND_JOIN:
        // The secondary offset, width and centre channels are those of the BSS being joined; that
        // record belongs to the join, which is not built yet: the request is for the primary channel.
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "channel privilege for a join: primary channel %u only",
                 static_cast<unsigned>(channel));
        wire.DurationMs = JoinDuration(adapter, port);
        break;
    case 2:
        wire.RequestKind = requestKind;
        wire.DurationMs = 500;
        break;
    case 3:
        wire.RequestKind = requestKind;
        wire.DurationMs = 0;
        break;
    default:
        wire.RequestKind = requestKind;
        wire.DurationMs = durationMs;
        break;
    }
    adapter->ChPrivilegeCompletion = reinterpret_cast<PVOID>(completion);
    adapter->ChPrivilegeCompletionPort = port;
    adapter->ChPrivilegeCompletionContext = context;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CMD, "channel privilege %u: BSS %u channel %u band %u kind %u for %u ms",
             static_cast<unsigned>(wire.Token), static_cast<unsigned>(wire.BssIndex), static_cast<unsigned>(channel),
             static_cast<unsigned>(band), static_cast<unsigned>(requestKind), static_cast<unsigned>(wire.DurationMs));
    const NTSTATUS status = SendSet(port, FW_CMD_ID_CH_PRIVILEGE, kFlagsAnswer, &wire, sizeof(wire),
                                    FwCmdCompletionCallback(ChPrivilegeGranted),
                                    reinterpret_cast<ULONG64>(adapter), contextSize);
    if (status != STATUS_SUCCESS) {
        // Nothing is in flight after a refused or failed request.
        AdapterClearFlag(adapter, ADAPTER_FLAG_CH_PRIVILEGE, __func__);
    }
    return status;
}

void QzCmdChPrivilegeRecordGrant(PMP_ADAPTER adapter, UCHAR bssIndex, UCHAR channel, UCHAR band)
{
    if (adapter == nullptr) {
        return;
    }
    adapter->ChPrivilegeBssIndex = bssIndex;
    adapter->ChPrivilegeChannel = channel;
    adapter->ChPrivilegeBand = band;
    adapter->ChPrivilegeHeld = 1;
}

// ================================================================================================
// network-list offload
// ================================================================================================
NTSTATUS QzCmdConfigNLO(PMP_ADAPTER adapter, PMP_PORT port, const NLO_REQUEST* request)
{
    if (adapter == nullptr || port == nullptr || request == nullptr ||
        (request->NetworkCount != 0 && request->Networks == nullptr)) {
        return STATUS_UNSUCCESSFUL;
    }
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, sizeof(NLO_CONFIG_WIRE), TAG_ZV47) != STATUS_SUCCESS ||
        block == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "network list offload: no payload");
        return STATUS_UNSUCCESSFUL;
    }
    auto* wire = static_cast<NLO_CONFIG_WIRE*>(block);
    PlatformZeroMemory(wire, sizeof(*wire));
    const ULONG networks = Min<ULONG>(request->NetworkCount, NLO_NETWORK_MAX);
    wire->Version = 2;
    wire->SeqNum = MlmeCntlGetScanSeqNum(adapter);
    adapter->NloScanSeqNum = wire->SeqNum;
    wire->One = 1;
    wire->NetworkCount = static_cast<UCHAR>(networks);
    wire->NetworkCount2 = static_cast<UCHAR>(networks);
    wire->BssIndex = port->BssIndex;
    wire->Param1 = request->Param1;
    wire->Param3 = request->Param3;
    wire->Param2 = request->Param2;
    wire->Param4 = request->Param4;

    ULONG profiles = 0;
    ULONG hints = 0;
    BOOLEAN full = FALSE;
    for (ULONG n = 0; n < networks; ++n) {
        const NLO_NETWORK& network = request->Networks[n];
        const UCHAR ssidLength = Min<UCHAR>(network.SsidLength, SCAN_REQ_SSID_LEN);
        const ULONG pairs = Min<ULONG>(network.PairCount, NLO_ALGO_PAIR_MAX);
        for (ULONG p = 0; p < pairs; ++p) {
            if (profiles >= NLO_PROFILE_MAX) {
                full = TRUE;
                break;
            }
            NLO_PROFILE_WIRE& profile = wire->Profiles[profiles];
            PlatformMoveMemory(profile.Ssid, network.Ssid, ssidLength);
            profile.SsidLength = ssidLength;
            profile.Flags = static_cast<UCHAR>((network.Hidden ? 0x80 : 0) | (network.Pairs[p].AuthAlgorithm & 0xFF));
            profile.Cipher = static_cast<USHORT>(network.Pairs[p].CipherAlgorithm);
            if (network.Hidden) {
                if (profiles < NLO_HIDDEN_SSID_MAX) {
                    wire->HiddenSsids[profiles].Length = ssidLength;
                    PlatformMoveMemory(wire->HiddenSsids[profiles].Ssid, network.Ssid, ssidLength);
                } else {
                    full = TRUE;
                }
            }
            ++profiles;
        }
        const ULONG networkHints = Min<ULONG>(network.HintCount, NLO_NETWORK_HINT_MAX);
        for (ULONG h = 0; h < networkHints; ++h) {
            if (network.Hints[h].Channel == 0) {
                continue;
            }
            if (hints >= NLO_CHANNEL_HINT_MAX) {
                full = TRUE;
                break;
            }
            wire->Hints[hints].Band = static_cast<UCHAR>(NdisWdiGetBandFromWdiBandId(network.Hints[h].WdiBandId));
            wire->Hints[hints].Channel = network.Hints[h].Channel;
            ++hints;
        }
    }
    if (full) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "network list offload: %u networks do not all fit: %u profiles, %u hints",
                 static_cast<unsigned>(networks), static_cast<unsigned>(profiles), static_cast<unsigned>(hints));
    }
    wire->HintFlag = hints != 0 ? 4 : 0;
    wire->HintCount = static_cast<UCHAR>(hints);
    const NTSTATUS status = SendSet(port, FW_CMD_ID_NLO_CONFIG, kFlagsNoAnswer, wire, sizeof(*wire));
    PlatformFreeMemory(block, sizeof(NLO_CONFIG_WIRE));
    return status;
}

NTSTATUS QzCmdEnableNLO(PMP_ADAPTER adapter, PMP_PORT port, PNLO_OFFLOAD_RECORD record, UCHAR value)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (record != nullptr) {
        record->Active = value == 0 ? 1 : 0;
    }
    const UCHAR payload[4] = {value, 0, 0, 0};
    return SendSet(port, FW_CMD_ID_NLO_ENABLE, kFlagsNoAnswer, payload, sizeof(payload));
}

// ================================================================================================
// radar detection and domain information
// ================================================================================================
NTSTATUS QzCmdDfsRddCtrl(PMP_ADAPTER adapter, UCHAR control)
{
    PMP_PORT port0 = adapter != nullptr ? adapter->PortList[0] : nullptr;
    if (port0 == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const UCHAR payload[8] = {control};
    return SendSet(port0, FW_CMD_ID_RDD_CTRL, kFlagsNoAnswer8, payload, sizeof(payload));
}

namespace {

void PutCountry(PMP_ADAPTER adapter, PUCHAR out)
{
    const USHORT country = adapter->WorkingCfg.CountryCode;
    out[0] = static_cast<UCHAR>(country);
    out[1] = static_cast<UCHAR>(country >> 8);
}

// The 6 GHz channels the domain names: 5, 21, 37, ...
BOOLEAN Listed6GhzChannel(UCHAR channel) { return static_cast<BOOLEAN>(channel >= 5 && (channel - 5) % 16 == 0); }

}  // namespace

NTSTATUS QzCmdSendDomainInfoCmd_V2(PMP_ADAPTER adapter, PMP_PORT port, BOOLEAN with6G)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const ULONG listed = Min<ULONG>(adapter->Country.ChannelListCount, DOMAIN_CHANNEL_MAX);
    UCHAR counts[3] = {};
    for (ULONG i = 0; i < listed; ++i) {
        const DOMAIN_CHANNEL_ENTRY& entry = adapter->Country.ChannelList[i];
        if (entry.Band == BAND_24G || entry.Band == BAND_5G) {
            ++counts[entry.Band - 1];
        } else if (entry.Band == BAND_6G && with6G && Listed6GhzChannel(entry.Channel)) {
            ++counts[2];
        }
    }
    const ULONG n = static_cast<ULONG>(counts[0]) + counts[1] + counts[2];
    const ULONG size = sizeof(DOMAIN_INFO_V2_HEAD_WIRE) + n * sizeof(DOMAIN_CHANNEL_WIRE);
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, size, TAG_ZV47) != STATUS_SUCCESS || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_CMD, "domain information: no payload of %u bytes", static_cast<unsigned>(size));
        return STATUS_UNSUCCESSFUL;
    }
    auto* payload = static_cast<PUCHAR>(block);
    PlatformZeroMemory(payload, size);
    auto* head = reinterpret_cast<DOMAIN_INFO_V2_HEAD_WIRE*>(payload);
    PutCountry(adapter, head->Country);
    head->Count24G = counts[0];
    head->Count5G = counts[1];
    head->Count6G = counts[2];
    // Channels go out band by band: 2.4 GHz, 5 GHz, then the listed 6 GHz channels.
    PUCHAR out = payload + sizeof(DOMAIN_INFO_V2_HEAD_WIRE);
    for (ULONG band = BAND_24G; band <= BAND_6G; ++band) {
        for (ULONG i = 0; i < listed; ++i) {
            const DOMAIN_CHANNEL_ENTRY& entry = adapter->Country.ChannelList[i];
            if (entry.Band != band || (band == BAND_6G && (!with6G || !Listed6GhzChannel(entry.Channel)))) {
                continue;
            }
            DOMAIN_CHANNEL_WIRE channel{};
            channel.Channel = entry.Channel;
            channel.Flags = entry.Flags;
            PlatformMoveMemory(out, &channel, sizeof(channel));
            out += sizeof(channel);
        }
    }
    const NTSTATUS status = SendSet(port, FW_CMD_ID_DOMAIN_INFO, kFlagsNoAnswer8, payload, size);
    PlatformFreeMemory(block, size);
    return status;
}

NTSTATUS QzCmdSendDomainInfoCmd(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    PCOUNTRY_CHANNEL_PLAN domain = DomainGetDomainInfo(adapter);
    const FW_CHIP_GROUP group = QzCmdChipGroup(adapter);
    const BOOLEAN sixGhz = QzCmdSixGhzUsable(adapter);
    // The unified form knows only the channel-list version: a third generation in RAM always gets it.
    if (group == FW_CHIP_GROUP_ARVEL3X && adapter->FwDownloaded == 1) {
        return QzCmdSendDomainInfoCmd_V2(adapter, port, sixGhz);
    }
    if (group != FW_CHIP_GROUP_OLDER && !HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_DOMAIN_V1_ONLY) && sixGhz) {
        return QzCmdSendDomainInfoCmd_V2(adapter, port, TRUE);
    }
    if (domain == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CMD, "domain information: the channel plan is not available");
        return STATUS_NOT_SUPPORTED;
    }
    DOMAIN_INFO_V1_WIRE wire;
    PlatformZeroMemory(&wire, sizeof(wire));
    PutCountry(adapter, wire.Country);
    for (ULONG i = 0; i < DOMAIN_SUBBAND_COUNT; ++i) {
        const CHANNEL_PLAN_SUBBAND& subband = domain->Subbands[i];
        wire.Subbands[i].OperatingClass = subband.OperatingClass;
        wire.Subbands[i].Band = subband.Band;
        if (subband.Band >= 1 && subband.Band <= 3) {
            wire.Subbands[i].ChannelSpacing = subband.ChannelSpacing;
            wire.Subbands[i].FirstChannel = subband.FirstChannel;
            wire.Subbands[i].ChannelCount = subband.ChannelCount;
        }
    }
    return SendSet(port, FW_CMD_ID_DOMAIN_INFO, kFlagsNoAnswer8, &wire, sizeof(wire));
}
