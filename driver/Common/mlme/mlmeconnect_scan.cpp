// The connect-control machine's scans: the OS scan request, its confirms, the neighbour-AP follow-up
// scans and the small scan-request fillers.
#include <cstring>

#include "Common/mlme/mlmeaction.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_probe.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2ppacket.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndis6/n6platformindicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdimain.h"
#include "platform/ndis6/n6xmit.h"
#include "platform/wdi/wdisend.h"

namespace {

constexpr UCHAR kDirectPrefix[7] = {'D', 'I', 'R', 'E', 'C', 'T', '-'};
constexpr ULONG kListenRestartMs = 4000;
constexpr ULONG kBodyFixedFields = 12;  // time stamp, beacon interval, capability information
constexpr ULONG kRnrWalkLimit = 1024;
constexpr ULONG kWdiVersionSplitHook = 0x6001E;

ULONG ReadU32(const UCHAR* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<ULONG>(p[3]) << 24);
}

bool IsP2pPort(const MP_PORT* port) { return port->PortType >= WFD_DEVICE && port->PortType <= WFD_CLIENT; }

bool ScanAbortRequested(PMP_ADAPTER adapter) { return adapter->Wdi.CntlBlock.AbortRequested.load() != 0; }

// Appends the P2P element of a probe request to the request's extra elements when it fits.
void AppendP2pIe(PMP_ADAPTER adapter, PMP_PORT port, MLME_SCAN_REQ& request)
{
    if (request.ExtraIeLength >= SCAN_REQ_EXTRA_IE_MAX) {
        return;
    }
    ULONG length = 0;
    P2pMakeP2pIE(adapter, port, 0, P2P_FRAME_PROBE_REQ, request.ExtraIe + request.ExtraIeLength,
                 SCAN_REQ_EXTRA_IE_MAX - request.ExtraIeLength, &length);
    request.ExtraIeLength = static_cast<USHORT>(request.ExtraIeLength + length);
}

// The room the OS's elements may take: the P2P element of a Wi-Fi Direct port stays behind them.
ULONG OsIeRoom(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (!IsP2pPort(port)) {
        return SCAN_REQ_EXTRA_IE_MAX;
    }
    UCHAR scratch[SCAN_REQ_EXTRA_IE_MAX];
    ULONG length = 0;
    P2pMakeP2pIE(adapter, port, 0, P2P_FRAME_PROBE_REQ, scratch, sizeof(scratch), &length);
    return length < SCAN_REQ_EXTRA_IE_MAX ? SCAN_REQ_EXTRA_IE_MAX - length : 0;
}

// Keeps a copy of the OS's elements in the port (a previous copy is freed first).
void KeepOsIes(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* ies, ULONG length)
{
    MLME_PORT_SCAN_STATE& ps = port->Mlme.Scan;
    if (ps.OsScanIe != nullptr) {
        PlatformFreeMemory(ps.OsScanIe, ps.OsScanIeLength);
        ps.OsScanIe = nullptr;
        ps.OsScanIeLength = 0;
    }
    PVOID copy = nullptr;
    if (length == 0 || PlatformAllocateMemory(adapter, &copy, length, TAG_ZV06) != STATUS_SUCCESS || copy == nullptr) {
        return;
    }
    std::memcpy(copy, ies, length);
    ps.OsScanIe = static_cast<PUCHAR>(copy);
    ps.OsScanIeLength = length;
}

void ReportScanEnd(PMP_ADAPTER adapter, PMP_PORT port, ULONG status)
{
    (void)MlmeUpdateRepositTabFromScanTab(adapter, FALSE, TRUE);
    port->Mlme.CntlMachine.CurrState = CNTL_IDLE;
    PlatformIndicateScanStatus(adapter, port, status, 1, 0);
    XmitKickPortTx(adapter, port);
    MlmeDumpScanTab(adapter, IsP2pPort(port) ? SCAN_TAB_DUMP_P2P : SCAN_TAB_DUMP_BOTH);
}

ULONG ConfirmStatus(const MLME_QUEUE_ELEM* elem)
{
    ULONG status = 0;
    if (elem->MsgLen >= sizeof(status)) {
        std::memcpy(&status, elem->Msg, sizeof(status));
    }
    return status;
}

}  // namespace

// ================================================================================================
// the OS scan request
// ================================================================================================
UCHAR MlmeCntlGetScanSeqNum(PMP_ADAPTER adapter)
{
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    scan.ScanSeqNum = static_cast<UCHAR>((scan.ScanSeqNum + 1) % 100);
    return scan.ScanSeqNum;
}

VOID MlmeCntScanReqParamFill(PMP_ADAPTER adapter, PMP_PORT port, PMLME_SCAN_REQ request, const UCHAR* ssid,
                             UCHAR ssidLen, UCHAR active)
{
    UNREFERENCED_PARAMETER(adapter);
    const UCHAR length = ssidLen <= SCAN_REQ_SSID_LEN ? ssidLen : SCAN_REQ_SSID_LEN;
    request->ScanType = active;
    request->SsidCount = 1;
    std::memset(request->SsidLength, 0, sizeof(request->SsidLength));
    std::memset(request->Ssid, 0, sizeof(request->Ssid));
    request->SsidLength[0] = length;
    if (length != 0 && ssid != nullptr) {
        std::memcpy(request->Ssid[0], ssid, length);
    }
    request->RequestKind = SCAN_KIND_DIRECTED;
    request->BssIndex = port != nullptr ? port->BssIndex : 0;
    request->ExtraIeLength = 0;
    request->BssidListByte = 0;
    request->Option = 0;
    request->ProbeOption = 0;
}

VOID MlmeScanReqParamFill(PMP_ADAPTER adapter, PMLME_SCAN_REQ request, UCHAR active, ULONG channelType,
                          UCHAR channel, ULONG band, UCHAR seqNum)
{
    UNREFERENCED_PARAMETER(adapter);
    request->ScanType = active;
    request->ChannelType = channelType;
    request->ChannelCount = 1;
    request->Channels[0].Band = band;
    request->Channels[0].Channel = channel;
    request->ChunkStart = 0;
    request->ChunkSize = 0;
    request->ScanSeqNum = seqNum;
    request->Version2 = 1;
    request->Timing1 = 130;
    request->Timing2 = 350;
    request->Timing3 = 110;
}

BOOLEAN MlmeCntlParseOidScanRequest(const UCHAR* body, ULONG length, PMLME_SCAN_REQ request, ULONG ieRoom,
                                    const UCHAR** ies, PULONG iesLength)
{
    *ies = nullptr;
    *iesLength = 0;
    if (body == nullptr || length < OID_SCAN_REQUEST_HEADER) {
        return FALSE;
    }
    // Both lists lie inside the request.
    const ULONG variable = length - OID_SCAN_REQUEST_HEADER;
    const UCHAR* base = body + OID_SCAN_REQUEST_HEADER;
    const ULONG ssidOffset = ReadU32(body + OID_SCAN_SSID_OFFSET_OFFSET);
    const ULONG ssidCount = ReadU32(body + OID_SCAN_SSID_COUNT_OFFSET);
    const ULONG ieOffset = ReadU32(body + OID_SCAN_IE_OFFSET_OFFSET);
    const ULONG ieLength = ReadU32(body + OID_SCAN_IE_LENGTH_OFFSET);
    if (ssidOffset > variable || ssidCount > (variable - ssidOffset) / OID_SCAN_REQUEST_SSID_ENTRY ||
        ieOffset > variable || ieLength > variable - ieOffset) {
        return FALSE;
    }
    const ULONG scanType = ReadU32(body + OID_SCAN_TYPE_OFFSET) & ~OID_SCAN_TYPE_FORCED;
    request->SsidCount = 0;
    std::memset(request->SsidLength, 0, sizeof(request->SsidLength));
    std::memset(request->Ssid, 0, sizeof(request->Ssid));
    if (scanType == 1 || scanType == 3) {
        request->ScanType = 1;
        for (ULONG i = 0; i < ssidCount && i < SCAN_REQ_SSID_MAX; ++i) {
            const UCHAR* entry = base + ssidOffset + i * OID_SCAN_REQUEST_SSID_ENTRY;
            const ULONG ssidLength = ReadU32(entry);
            if (ssidLength == 0 || ssidLength > SCAN_REQ_SSID_LEN) {
                continue;  // an empty or over-long SSID takes no slot
            }
            request->SsidLength[request->SsidCount] = static_cast<UCHAR>(ssidLength);
            std::memcpy(request->Ssid[request->SsidCount], entry + 4, ssidLength);
            ++request->SsidCount;
        }
    } else {
        request->ScanType = scanType == 2 ? 0 : 1;
    }
    if (ieLength != 0) {
        *ies = base + ieOffset;
        *iesLength = ieLength < ieRoom ? ieLength : ieRoom;
    }
    return TRUE;
}

VOID MlmeCntlOidScanProc(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    MLME_SCAN_REQ& request = adapter->Mlme.ScanRequest;
    const ULONG previous = port->Mlme.CntlMachine.CurrState;
    if (elem->MsgLen == 0) {
        port->Mlme.CntlMachine.CurrState = CNTL_WAIT_OID_LIST_SCAN;
        if (!MlmeEnqueue(adapter, port, MLME_SYNC_STATE_MACHINE, MT2_SYNC_SCAN_REQ, 0, nullptr)) {
            port->Mlme.CntlMachine.CurrState = previous;
        }
        return;
    }
    const UCHAR* ies = nullptr;
    ULONG iesLength = 0;
    const ULONG bodyLength = elem->MsgLen <= MLME_MSG_SIZE ? elem->MsgLen : MLME_MSG_SIZE;
    if (!MlmeCntlParseOidScanRequest(elem->Msg, bodyLength, &request, OsIeRoom(adapter, port), &ies, &iesLength)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "OS scan request of %u bytes with lists outside it: the scan ends",
                 static_cast<unsigned>(bodyLength));
        PlatformIndicateScanStatus(adapter, port, 0, 1, 0);
        return;
    }
    // 3. The private scan filter.
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    if (adapter->PrivateScanFilterOn) {
        request.ScanType = 1;
        std::memset(request.SsidLength, 0, sizeof(request.SsidLength));
        std::memset(request.Ssid, 0, sizeof(request.Ssid));
        if (scan.ScanFilterSsidLen != 0) {
            request.SsidCount = 1;
            request.SsidLength[0] = scan.ScanFilterSsidLen <= SCAN_REQ_SSID_LEN ? scan.ScanFilterSsidLen : SCAN_REQ_SSID_LEN;
            std::memcpy(request.Ssid[0], scan.ScanFilterSsid, request.SsidLength[0]);
        } else {
            request.SsidCount = 0;
        }
    }
    // 4. Four slots, the request kind.
    const UCHAR given = request.SsidCount;
    if (given >= 1 && given <= 3) {
        for (UCHAR i = given; i < SCAN_REQ_SSID_MAX; ++i) {
            request.SsidLength[i] = request.SsidLength[given - 1];
            std::memcpy(request.Ssid[i], request.Ssid[given - 1], SCAN_REQ_SSID_LEN);
        }
        request.SsidCount = SCAN_REQ_SSID_MAX;
    }
    if (given == 0) {
        request.RequestKind = SCAN_KIND_WILDCARD;
    } else if (request.SsidLength[0] == sizeof(kDirectPrefix) && std::memcmp(request.Ssid[0], kDirectPrefix, sizeof(kDirectPrefix)) == 0) {
        request.RequestKind = SCAN_KIND_P2P_WILDCARD;
    } else {
        request.RequestKind = SCAN_KIND_DIRECTED;
    }
    // 5. The Wi-Fi Direct state moves on; without an SSID the request is one active wildcard.
    if (port->P2pDiscoState == P2P_SEARCH_COMMAND) {
        port->P2pDiscoState = P2P_SEARCH;
    } else if (port->P2pDiscoState == P2P_LISTEN_COMMAND) {
        port->P2pDiscoState = P2P_LISTEN;
    } else if (given == 0) {
        MlmeCntScanReqParamFill(adapter, port, &request, nullptr, 0, 1);
    }
    // 6. The extra elements.
    std::memset(request.ExtraIe, 0, sizeof(request.ExtraIe));
    request.ExtraIeLength = 0;
    request.BssidListByte = 0;
    if (iesLength != 0) {
        KeepOsIes(adapter, port, ies, iesLength);
        std::memcpy(request.ExtraIe, ies, iesLength);
        request.ExtraIeLength = static_cast<USHORT>(iesLength);
        if (request.ChannelType == SCAN_CHANNEL_TYPE_RNR) {
            DOT11_IE_CURSOR cursor;
            Dot11IeCursorInit(&cursor, request.ExtraIe, request.ExtraIeLength);
            const UCHAR* element = nullptr;
            UCHAR length = 0;
            while (Dot11IeNext(&cursor, &element, &length)) {
                if (element[0] == 255 && length > 4 && element[2] == SHORT_SSID_LIST_EXT_ID) {
                    request.BssidListByte = static_cast<UCHAR>((length - 1) / 4);
                    break;
                }
            }
        }
    }
    // 7-8. The P2P element, the dwell fields, the option, the port's BSS index.
    if (IsP2pPort(port)) {
        AppendP2pIe(adapter, port, request);
    }
    request.Timing1 = 0;
    request.Timing2 = 0;
    request.Timing3 = 0;
    if (IsP2pPort(port)) {
        const ULONG dwell = port->Mlme.Req.ListenDwellMs;
        request.Timing2 = static_cast<USHORT>(dwell > 1000 ? dwell - 100 : dwell);
    } else {
        request.Option = 5;
    }
    request.BssIndex = port->BssIndex;
    request.Version2 = 1;
    // 9. The sync machine's scan.
    const ULONG listen = port->Mlme.Req.ListenState;
    port->Mlme.CntlMachine.CurrState =
        IsP2pPort(port) && listen >= 1 && listen <= 3 ? CNTL_WAIT_OID_SPLIT_SCAN : CNTL_WAIT_OID_LIST_SCAN;
    if (!MlmeEnqueue(adapter, port, MLME_SYNC_STATE_MACHINE, MT2_SYNC_SCAN_REQ, 0, nullptr)) {
        port->Mlme.CntlMachine.CurrState = previous;
    }
}

VOID MlmeCntlWaitOidListScan(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    if (elem->MsgType != CNTL_MSG_SCAN_CONFIRM) {
        return;
    }
    MLME_SCAN_REQ& request = adapter->Mlme.ScanRequest;
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    const ULONG config = adapter->RegistryBlock.Config_6G;
    PNEIGHBOR_AP_INFO_LIST list = &adapter->NeighborApList;
    // 1. The neighbour-AP follow-up scans.
    if (WdiTaskIsPending(adapter, WDI_TASK_SCAN) && !ScanAbortRequested(adapter) && adapter->RegistryBlock.TpTestMode == 0 &&
        scan.RoamScan == 0 && ((config & 0x20) != 0 || ((config & 0x40) != 0 && list->PrivateRequest != 0))) {
        if ((config & 0x20) != 0 && list->Parsed == 0) {
            MlmeCntCollectRnrFromScanTab(adapter, port, list);
        }
        if (MlmeCntRnrScanProc(adapter, port, list) == STATUS_SUCCESS) {
            return;
        }
    }
    // 2. Neighbours left over are dropped.
    if (MlmeProbeChipHas6GhzElements(adapter) && scan.Disable6GScan == 0 && (config & 0x21) == 0x21 &&
        adapter->SixGhzCapable) {
        ScanNeighborAPInfoListReset(adapter, list);
    }
    // 3. The roam-scan byte survives only a roaming scan that found a better access point.
    port->Mlme.SyncMachine.CurrState = SYNC_IDLE;
    scan.ScanInProgress = 0;
    scan.ConnectScan = 0;
    if ((port->ConnectionFlags & PORT_CONN_CONNECTED) != 0 && scan.RoamScan == 1 &&
        (request.Trigger == SCAN_TRIGGER_ROAM || request.Trigger == SCAN_TRIGGER_ROAM_2)) {
        scan.RoamScan = CheckHasBetterAp(adapter, port) ? 1 : 0;
    } else {
        scan.RoamScan = 0;
    }
    // 4. The Wi-Fi Direct device goes back to what it did.
    PMP_PORT device = MlmeSyncGetPortByType(adapter, WFD_DEVICE);
    if (device != nullptr) {
        device->P2pDiscoState = static_cast<LONG>(device->Mlme.Req.P2pSavedState);
        if (IsP2pPort(port) && WdiTaskIsPending(adapter, WDI_TASK_P2P_DISCOVER) && !ScanAbortRequested(adapter) &&
            device->Mlme.Req.ListenStop == 0) {
            (void)MlmeEnqueue(adapter, port, MLME_SYNC_STATE_MACHINE, MT2_SYNC_SCAN_REQ, 0, nullptr);
            return;
        }
        if (device->Mlme.Req.P2pSavedState == 1 && !adapter->ChPrivilegeHeld) {
            (void)MlmeSyncP2pSetListenState(adapter, device, device->P2pListenChannel, 1, kListenRestartMs, 1);
        }
    }
    // 5. The 20/40 coexistence report of a linked port.
    request.ExtraIeLength = 0;
    if ((port->Mlme.Scan.CoexScan & 1) != 0 && (port->ConnectionFlags & 0x100000u) != 0 &&
        (port->ConnectionFlags & PORT_CONN_CONNECTED) != 0) {
        const UCHAR peer = port->PortType == WFD_CLIENT ? P2pGetClientWcid(adapter, port) : 1;
        TriEventSend2040Coexist(adapter, port, peer, 1);
    }
    // 6. The end of the scan.
    ReportScanEnd(adapter, port, ConfirmStatus(elem));
}

VOID MlmeCntlWaitOidSplitScan(PMP_ADAPTER adapter, PMP_PORT port, PMLME_QUEUE_ELEM elem)
{
    if (elem->MsgType != CNTL_MSG_SCAN_CONFIRM) {
        return;
    }
    const bool aborted = (WdiTaskIsPending(adapter, WDI_TASK_SCAN) || WdiTaskIsPending(adapter, WDI_TASK_P2P_DISCOVER)) &&
                         ScanAbortRequested(adapter);
    if (!aborted && MlmeSyncIsSplitScanAllowed(adapter, port)) {
        port->Mlme.SyncMachine.CurrState = SYNC_SCAN_LISTEN;
        if (!IsP2pPort(port)) {
            (void)MlmeEnqueue(adapter, port, MLME_SYNC_STATE_MACHINE, MT2_SYNC_SCAN_REQ, 0, nullptr);
            return;
        }
        MLME_PORT_REQUEST_STATE& req = port->Mlme.Req;
        req.ListenDwellMs = (static_cast<ULONG>(RandomOctetGet(adapter)) % 3 + 1) * 100;
        if (req.ListenState == 1) {
            port->P2pDiscoState = P2P_SEARCH;
            if (req.KeepListen == 0) {
                req.ListenState = 4;
            }
            (void)MlmeEnqueue(adapter, port, MLME_SYNC_STATE_MACHINE, MT2_SYNC_SCAN_REQ, 0, nullptr);
            return;
        }
        if (MlmeP2PIsListenAllowed(adapter, port) &&
            MlmeSyncP2pSetListenState(adapter, port, port->P2pListenChannel, 1, req.ListenDwellMs, 1) == STATUS_SUCCESS) {
            ++adapter->Mlme.Scan.ListenPhaseCount;
            port->P2pDiscoState = P2P_LISTEN;
            return;
        }
    }
    // Finish.
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    scan.ScanInProgress = 0;
    scan.ConnectScan = 0;
    port->Mlme.SyncMachine.CurrState = SYNC_IDLE;
    if (IsP2pPort(port) && port->P2pDiscoState == P2P_SEARCH) {
        ScanNeighborAPInfoListReset(adapter, &adapter->NeighborApList);
        (void)QzCmdSendAbortScan(adapter);
    }
    PMP_PORT device = MlmeSyncGetPortByType(adapter, WFD_DEVICE);
    if (device != nullptr) {
        device->P2pDiscoState = static_cast<LONG>(device->Mlme.Req.P2pSavedState);
        if (device->Mlme.Req.ListenRestart == 1) {
            (void)MlmeSyncP2pSetListenState(adapter, port, port->P2pListenChannel, 1, kListenRestartMs, 1);
        } else {
            (void)MlmeSyncP2pSetListenState(adapter, port, port->P2pListenChannel, 0, port->Mlme.Req.ListenDwellMs, 1);
        }
    }
    if (!IsP2pPort(port) && adapter->TlvContext.PeerVersion >= kWdiVersionSplitHook && scan.SplitScanConcurrency[0] &&
        scan.SplitScanConcurrency[1]) {
        scan.SplitScanConcurrency[1] = 0;
        N6PlatformIndicateMlmeSplitScanDone(adapter, port);
    }
    adapter->Mlme.ScanRequest.ExtraIeLength = 0;
    ReportScanEnd(adapter, port, 0);
}

// ================================================================================================
// neighbour-AP follow-up scans
// ================================================================================================
VOID MlmeCntCollectRnrFromScanTab(PMP_ADAPTER adapter, PMP_PORT port, PNEIGHBOR_AP_INFO_LIST list)
{
    if (port->HeEnabled != 1 || !MlmeProbeChipHas6GhzElements(adapter) || adapter->Mlme.Scan.Disable6GScan != 0 ||
        (adapter->RegistryBlock.Config_6G & 1) == 0 || !adapter->SixGhzCapable) {
        return;
    }
    const BSS_TABLE* table = adapter->ScanTable;
    const ULONG count = table->EntryCount < MAX_LEN_OF_BSS_TABLE ? table->EntryCount : MAX_LEN_OF_BSS_TABLE;
    static const UCHAR kZero[6] = {};
    for (ULONG i = 0; i < count; ++i) {
        const BSS_ENTRY& entry = table->BssEntry[i];
        if ((entry.Band != BAND_24G && entry.Band != BAND_5G) || std::memcmp(entry.Bssid, kZero, 6) == 0) {
            continue;
        }
        const UCHAR* frame = nullptr;
        ULONG length = 0;
        if (entry.BeaconFrameLen >= MGMT_HEADER_SIZE) {
            frame = entry.BeaconFrame;
            length = entry.BeaconFrameLen;
        } else if (entry.ProbeRspFrameLen >= MGMT_HEADER_SIZE) {
            frame = entry.ProbeRspFrame;
            length = entry.ProbeRspFrameLen;
        }
        length = length <= BSS_IE_BUFFER_SIZE ? length : BSS_IE_BUFFER_SIZE;
        if (frame != nullptr && length > MGMT_HEADER_SIZE) {
            MlmeCntParseBcnRnrIE(adapter, port, &entry, frame + MGMT_HEADER_SIZE, length - MGMT_HEADER_SIZE);
        }
    }
    list->Parsed = 1;
}

VOID MlmeCntParseBcnRnrIE(PMP_ADAPTER adapter, PMP_PORT port, const BSS_ENTRY* entry, const UCHAR* body,
                          ULONG bodyLength)
{
    if (bodyLength <= kBodyFixedFields) {
        return;
    }
    ULONG walked = bodyLength - kBodyFixedFields;
    walked = walked < kRnrWalkLimit - kBodyFixedFields ? walked : kRnrWalkLimit - kBodyFixedFields;
    DOT11_IE_CURSOR cursor;
    Dot11IeCursorInit(&cursor, body + kBodyFixedFields, walked);
    const UCHAR* element = nullptr;
    UCHAR length = 0;
    while (Dot11IeNext(&cursor, &element, &length)) {
        if (element[0] == RNR_ELEMENT_ID) {
            scanParseRnrElement(adapter, port, element, 2u + length, entry->SsidLen <= 32 ? entry->SsidLen : 32,
                                entry->Ssid);
            return;
        }
    }
}

NTSTATUS MlmeCntRnrScanProc(PMP_ADAPTER adapter, PMP_PORT port, PNEIGHBOR_AP_INFO_LIST list)
{
    if (IsP2pPort(port)) {
        ScanNeighborAPInfoListReset(adapter, list);
        return STATUS_UNSUCCESSFUL;
    }
    PNEIGHBOR_AP_INFO record = ScanNeighborAPInfoListRemoveHead(adapter, list);
    if (record == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    MLME_SCAN_REQ& request = adapter->Mlme.ScanRequest;
    const ULONG trigger = request.Trigger;
    scanFillRnrScanRequest(adapter, port, record, &record->Params, &request);
    request.Trigger = trigger;
    port->Mlme.CntlMachine.CurrState = CNTL_WAIT_OID_LIST_SCAN;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "neighbour-AP scan of %u BSSIDs on %u channels",
             static_cast<unsigned>(request.BssidCount), static_cast<unsigned>(request.ChannelCount));
    (void)MlmeEnqueue(adapter, port, MLME_SYNC_STATE_MACHINE, MT2_SYNC_SCAN_REQ, 0, nullptr);
    ScanNeighborAPInfoListFreeEntry(adapter, record);
    return STATUS_SUCCESS;
}
