// The channel list of a scan request, the split of a scan into chunks and the dwell times.
#include "Common/mlme/mlmesync_scan.h"

#include "Common/fwsettings.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_chnl.h"
#include "Common/mlme/mlmesync_sort.h"
#include "Common/p2p/p2p.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kCntlWaitOidSplitScan = 11;

ULONG ChannelTableCount(const MP_ADAPTER* adapter)
{
    return adapter->Country.ChannelListCount <= DOMAIN_CHANNEL_MAX ? adapter->Country.ChannelListCount : DOMAIN_CHANNEL_MAX;
}

// Appends {band, channel} while the request has room.
void Append(MLME_SCAN_REQ& request, ULONG band, UCHAR channel)
{
    if (request.ChannelCount >= SCAN_REQ_CHANNEL_MAX) {
        return;
    }
    request.Channels[request.ChannelCount].Band = band;
    request.Channels[request.ChannelCount].Channel = channel;
    ++request.ChannelCount;
}

// 6 GHz channels a preferred-band scan takes: 5, 21, 37, ... 229 (245 excepted).
bool PreferredScan6Ghz(UCHAR channel) { return channel >= 5 && (channel - 5) % 16 == 0 && channel != 245; }

void AppendBand(PMP_ADAPTER adapter, MLME_SCAN_REQ& request, ULONG band)
{
    const ULONG count = ChannelTableCount(adapter);
    for (ULONG i = 0; i < count; ++i) {
        const DOMAIN_CHANNEL_ENTRY& e = adapter->Country.ChannelList[i];
        if (e.Band == band && (band != BAND_6G || PreferredScan6Ghz(e.Channel))) {
            Append(request, band, e.Channel);
        }
    }
}

bool IsP2pPort(const MP_PORT* port) { return port->PortType >= WFD_DEVICE && port->PortType <= WFD_CLIENT; }

ULONG64 Now()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return static_cast<ULONG64>(now.QuadPart);
}

}  // namespace

BOOLEAN ScanIsDfsChannel(UCHAR channel)
{
    return static_cast<BOOLEAN>((channel >= 50 && channel <= 64) || (channel >= 100 && channel <= 144));
}

UCHAR MlmeSyncBuildChannelListForScan(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(port);
    MLME_SCAN_REQ& request = adapter->Mlme.ScanRequest;
    if (request.ChannelCount == 0) {
        if (adapter->RegistryBlock.FWBuildScnChList == 0) {
            const ULONG count = ChannelTableCount(adapter);
            for (ULONG i = 0; i < count; ++i) {
                Append(request, adapter->Country.ChannelList[i].Band, adapter->Country.ChannelList[i].Channel);
            }
            request.ChannelType = SCAN_CHANNEL_TYPE_LIST;
        } else if (adapter->Only24G) {
            request.ChannelType = SCAN_CHANNEL_TYPE_24G;
        } else {
            switch (adapter->RegistryBlock.BandSelection) {
            case 0:
            case 3:
                request.ChannelType = SCAN_CHANNEL_TYPE_ALL;
                break;
            case 2:
                request.ChannelType = SCAN_CHANNEL_TYPE_5G;
                break;
            default:
                request.ChannelType = SCAN_CHANNEL_TYPE_24G;
                break;
            }
        }
    }
    request.ChunkStart = 0;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "scan channel list: type %u, %u channels",
             static_cast<unsigned>(request.ChannelType), static_cast<unsigned>(request.ChannelCount));
    return request.ChannelCount;
}

void MlmePerBandBuildScanChList(PMP_ADAPTER adapter)
{
    MLME_SCAN_REQ& request = adapter->Mlme.ScanRequest;
    ULONG order[3] = {BAND_24G, BAND_5G, BAND_6G};
    switch (adapter->RegistryBlock.PreferredBand) {
    case 2:
        order[0] = BAND_5G;
        order[1] = BAND_24G;
        break;
    case 3:
        order[0] = BAND_6G;
        order[2] = BAND_24G;
        break;
    default:
        break;
    }
    for (ULONG band : order) {
        AppendBand(adapter, request, band);
    }
    request.ChannelType = SCAN_CHANNEL_TYPE_LIST;
}

NTSTATUS MlmeSyncScanBuildChannelList(PMP_ADAPTER adapter, PMP_PORT port)
{
    PMP_PORT go = adapter != nullptr ? MlmeSyncGetPortByType(adapter, WFD_GO) : nullptr;
    if (port == nullptr || go == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "concurrent scan list: no port or no group owner");
        return STATUS_UNSUCCESSFUL;
    }
    MLME_SCAN_REQ& request = adapter->Mlme.ScanRequest;
    const ULONG count = ChannelTableCount(adapter);
    const UCHAR stationChannel = port->Channel.PrimaryChannel;
    const bool stationOnDfs =
        (port->ConnectionFlags & PORT_CONN_CONNECTED) != 0 && stationChannel > 14 && ScanIsDfsChannel(stationChannel);
    auto all24 = [&] {
        for (ULONG i = 0; i < count; ++i) {
            if (adapter->Country.ChannelList[i].Band == BAND_24G) {
                Append(request, BAND_24G, adapter->Country.ChannelList[i].Channel);
            }
        }
    };
    auto clean5 = [&] {
        for (ULONG i = 0; i < count; ++i) {
            const DOMAIN_CHANNEL_ENTRY& e = adapter->Country.ChannelList[i];
            if (e.Band == BAND_5G && !ScanIsDfsChannel(e.Channel)) {
                Append(request, BAND_5G, e.Channel);
            }
        }
    };
    auto stationDfs = [&] {
        if (stationOnDfs) {
            Append(request, BAND_5G, stationChannel);
        }
    };
    if (go->Channel.PrimaryChannel <= 14) {
        all24();
        clean5();
        stationDfs();
    } else {
        clean5();
        stationDfs();
        all24();
    }
    return STATUS_SUCCESS;
}

void MlmeSyncDecideSplitScanChList(PMP_ADAPTER adapter, PMP_PORT port)
{
    MLME_SCAN_REQ& request = adapter->Mlme.ScanRequest;
    if (port->Mlme.CntlMachine.CurrState != kCntlWaitOidSplitScan) {
        request.ChunkSize = request.ChannelCount;
        request.ChunkStart = 0;
        return;
    }
    if (request.ChannelCount == 0) {
        request.ChunkStart = 0;
        request.ChunkSize = 0;
        return;
    }
    PP2P_CTRL_BLOCK p2p = adapter->P2pBlock;
    if (p2p != nullptr && p2p->StationPort == port) {
        PMP_PORT client = MlmeSyncGetPortByType(adapter, WFD_CLIENT);
        PMP_PORT go = MlmeSyncGetPortByType(adapter, WFD_GO);
        if ((client != nullptr && client->Mlme.Req.ConnectionState == PORT_CONN_STATE_CONNECTING) ||
            (go != nullptr && go->Mlme.Req.ConnectionState == PORT_CONN_STATE_CONNECTING)) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "split scan: the chunk stays while a group is connecting");
            return;
        }
    }
    const ULONG phase = port->Mlme.Req.P2pScanPhase;
    const bool searching = port->P2pDiscoState == P2P_SEARCH;
    if (port->Mlme.SyncMachine.CurrState == 0 && !(searching && phase != 1 && phase != 3)) {
        request.ChunkSize = 0;
        return;
    }
    if (port->Mlme.SyncMachine.CurrState != 0 && searching && (phase == 1 || phase == 3)) {
        port->Mlme.Req.P2pScanPhase = 2;
        P2pScanChannelUpdate(adapter, port);
    }
    request.ChunkStep = SCAN_SPLIT_STEP;
    const ULONG start = static_cast<ULONG>(request.ChunkStart) + SCAN_SPLIT_STEP;
    if (start >= request.ChannelCount) {
        // Past the last channel: the request ends here (no chunk is left to send).
        request.ChunkStart = request.ChannelCount;
        request.ChunkSize = 0;
        return;
    }
    request.ChunkStart = static_cast<UCHAR>(start);
    const ULONG left = request.ChannelCount - start;
    request.ChunkSize = static_cast<UCHAR>(left < SCAN_SPLIT_STEP ? left : SCAN_SPLIT_STEP);
}

BOOLEAN MlmeSyncIsSplitScanAllowed(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return FALSE;
    }
    const MLME_SCAN_REQ& request = adapter->Mlme.ScanRequest;
    const ULONG64 now = Now();
    const ULONG64 start = adapter->Mlme.Scan.ScanStartTime;
    const ULONG64 elapsed = now > start ? (now - start) / 10000 : 0;
    const ULONG64 budget = IsP2pPort(port) ? port->Mlme.Req.DiscoveryBudgetMs : request.Timing2;
    if (elapsed >= budget || budget - elapsed < SCAN_SPLIT_MIN_LEFT_MS) {
        return FALSE;
    }
    if (request.ChunkStart != 0 &&
        static_cast<ULONG>(request.ChunkStart) + request.ChunkStep >= static_cast<ULONG>(request.ChannelCount)) {
        return FALSE;
    }
    return TRUE;
}

void ScanChDwellTimeAdjust(PMP_ADAPTER adapter, USHORT minDwell, USHORT dfsDwell)
{
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    if (scan.MinDwellSent != minDwell) {
        scan.MinDwellSent = minDwell;
        QzCmdSetMinDwellTime(adapter, minDwell);
    }
    if (scan.DfsDwellSent != dfsDwell) {
        scan.DfsDwellSent = dfsDwell;
        QzCmdSetDFSTime(adapter, dfsDwell);
    }
}

ULONG scanCalculateSsidChnlList(PMP_ADAPTER adapter, const UCHAR* ssid, UCHAR ssidLen, ULONG authAlgorithm,
                                ULONG cipher, ULONG entryCount, const SCAN_REQ_CHANNEL* entries,
                                SCAN_REQ_CHANNEL* out, ULONG outCapacity)
{
    ALL_CHANNEL_LIST& list = adapter->ChannelLists.AllList;
    const ULONG records = list.Count < 0 ? 0 : (list.Count < ALL_CHANNEL_MAX ? static_cast<ULONG>(list.Count) : ALL_CHANNEL_MAX);
    for (ULONG i = 0; i < records; ++i) {
        list.Records[i].Seen = 0;
        list.Records[i].Count = 0;
    }
    scanMarkSsidChannels(adapter, ssid, ssidLen, authAlgorithm, cipher);
    for (ULONG e = 0; e < entryCount && entries != nullptr; ++e) {
        for (ULONG i = 0; i < records; ++i) {
            ALL_CHANNEL_RECORD& r = list.Records[i];
            if (r.Channel == entries[e].Channel && r.Band == entries[e].Band) {
                r.Seen = 1;
                ++r.Count;
                break;
            }
        }
    }
    ULONG n = 0;
    for (ULONG i = 0; i < records && n < outCapacity; ++i) {
        const ALL_CHANNEL_RECORD& r = list.Records[i];
        if (r.Channel != 0 && r.Band != 0 && r.Seen == 1) {
            out[n].Band = r.Band;
            out[n].Channel = r.Channel;
            ++n;
        }
    }
    return n;
}
