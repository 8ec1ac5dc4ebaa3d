// Reduced neighbour reports: the neighbour-AP list, the element parser and the neighbour-AP scan.
#include "Common/mlme/mlmesync_rnr.h"

#include <cstring>

#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmesync_chnl.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kFieldHeader = 4;     // TBTT Information Header (2), operating class, channel
constexpr USHORT kReadAsLength = 12;  // longer unsupported fields are read with this layout

bool SixGhzClass(UCHAR operatingClass) { return operatingClass >= 131 && operatingClass <= 135; }

bool AllZero(const UCHAR* bytes, ULONG length)
{
    for (ULONG i = 0; i < length; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

// The layout a TBTT Information field of length L is read with.
struct TbttLayout {
    bool bssid;
    bool shortSsid;
    bool bssParams;
    UCHAR bssParamsOffset;
};

TbttLayout LayoutOf(USHORT length)
{
    switch (length) {
    case 7: return {true, false, false, 0};
    case 8:
    case 9: return {true, false, true, 7};
    case 11: return {true, true, false, 0};
    case 12: return {true, true, true, 11};
    default: return {false, false, false, 0};
    }
}

void InitRecord(PMP_PORT port, PNEIGHBOR_AP_INFO record)
{
    std::memset(&record->Params, 0, sizeof(record->Params));
    record->Params.ExtraIe[0] = 255;
    record->Params.ExtraIe[1] = 1;
    record->Params.ExtraIe[2] = SHORT_SSID_LIST_EXT_ID;
    record->Params.ExtraIeLen = 3;
    record->Params.ScanType = 1;
    record->Params.BssIndex = port != nullptr ? port->BssIndex : 0;
    for (UCHAR& index : record->Params.BssidSsidIndex) {
        index = NEIGHBOR_AP_SSID_INDEX_NONE;
    }
}

UCHAR FirstFreeBssid(const NEIGHBOR_AP_INFO* record)
{
    for (UCHAR k = 0; k < NEIGHBOR_AP_MAX; ++k) {
        if (AllZero(record->Params.Bssid[k], 6)) {
            return k;
        }
    }
    return NEIGHBOR_AP_MAX;
}

}  // namespace

// ================================================================================================
// the list
// ================================================================================================
void ScanNeighborAPInfoListInit(PMP_ADAPTER adapter, PNEIGHBOR_AP_INFO_LIST list)
{
    UNREFERENCED_PARAMETER(adapter);
    InitializeListHead(&list->Head);
    list->Count = 0;
    list->Parsed = 0;
    list->PrivateRequest = 0;
    KeInitializeSpinLock(&list->Lock);
}

void ScanNeighborAPInfoListDeInit(PMP_ADAPTER adapter, PNEIGHBOR_AP_INFO_LIST list)
{
    ScanNeighborAPInfoListReset(adapter, list);
}

void ScanNeighborAPInfoListReset(PMP_ADAPTER adapter, PNEIGHBOR_AP_INFO_LIST list)
{
    if (list == nullptr) {
        return;
    }
    list->Parsed = 0;
    while (PNEIGHBOR_AP_INFO record = ScanNeighborAPInfoListRemoveHead(adapter, list)) {
        ScanNeighborAPInfoListFreeEntry(adapter, record);
    }
}

PNEIGHBOR_AP_INFO ScanAllocNeighborAPInfo(PMP_ADAPTER adapter)
{
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, sizeof(NEIGHBOR_AP_INFO), TAG_ZV05) != STATUS_SUCCESS) {
        return nullptr;
    }
    std::memset(block, 0, sizeof(NEIGHBOR_AP_INFO));
    return static_cast<PNEIGHBOR_AP_INFO>(block);
}

void ScanNeighborAPInfoListFreeEntry(PMP_ADAPTER adapter, PNEIGHBOR_AP_INFO record)
{
    UNREFERENCED_PARAMETER(adapter);
    if (record != nullptr) {
        PlatformFreeMemory(record, sizeof(NEIGHBOR_AP_INFO));
    }
}

void ScanNeighborAPInfoListInsertTail(PMP_ADAPTER adapter, PNEIGHBOR_AP_INFO_LIST list, PNEIGHBOR_AP_INFO record)
{
    UNREFERENCED_PARAMETER(adapter);
    KIRQL irql;
    KeAcquireSpinLock(&list->Lock, &irql);
    InsertTailList(&list->Head, &record->Link);
    ++list->Count;
    KeReleaseSpinLock(&list->Lock, irql);
}

PNEIGHBOR_AP_INFO ScanNeighborAPInfoListRemoveHead(PMP_ADAPTER adapter, PNEIGHBOR_AP_INFO_LIST list)
{
    UNREFERENCED_PARAMETER(adapter);
    if (list->Count == 0) {
        return nullptr;
    }
    KIRQL irql;
    KeAcquireSpinLock(&list->Lock, &irql);
    PNEIGHBOR_AP_INFO record = nullptr;
    if (!IsListEmpty(&list->Head)) {
        record = CONTAINING_RECORD(RemoveHeadList(&list->Head), NEIGHBOR_AP_INFO, Link);
        --list->Count;
    }
    KeReleaseSpinLock(&list->Lock, irql);
    return record;
}

PNEIGHBOR_AP_INFO ScanNeighborAPInfoListRemoveTail(PMP_ADAPTER adapter, PNEIGHBOR_AP_INFO_LIST list)
{
    UNREFERENCED_PARAMETER(adapter);
    if (list->Count == 0) {
        return nullptr;
    }
    KIRQL irql;
    KeAcquireSpinLock(&list->Lock, &irql);
    PNEIGHBOR_AP_INFO record = nullptr;
    if (!IsListEmpty(&list->Head)) {
        record = CONTAINING_RECORD(RemoveTailList(&list->Head), NEIGHBOR_AP_INFO, Link);
        --list->Count;
    }
    KeReleaseSpinLock(&list->Lock, irql);
    return record;
}

BOOLEAN ScanSrchBssidInCurrNeighborAPInfoList(PMP_ADAPTER adapter, const UCHAR* bssid)
{
    PNEIGHBOR_AP_INFO_LIST list = &adapter->NeighborApList;
    BOOLEAN found = FALSE;
    KIRQL irql;
    KeAcquireSpinLock(&list->Lock, &irql);
    for (PLIST_ENTRY e = list->Head.Flink; e != &list->Head && !found; e = e->Flink) {
        const NEIGHBOR_AP_INFO* record = CONTAINING_RECORD(e, NEIGHBOR_AP_INFO, Link);
        if (record->BssidCount > NEIGHBOR_AP_MAX) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "neighbour record with %u BSSIDs",
                     static_cast<unsigned>(record->BssidCount));
            continue;
        }
        found = ScanNeighborAPInfoHasBssid(&record->Params, bssid, record->BssidCount);
    }
    KeReleaseSpinLock(&list->Lock, irql);
    return found;
}

// ================================================================================================
// the parser
// ================================================================================================
BOOLEAN ScanRnrTbttInfoValid(USHORT tbttInfoLength, UCHAR operatingClass)
{
    if (!SixGhzClass(operatingClass)) {
        return FALSE;
    }
    switch (tbttInfoLength) {
    case 1:
    case 2:
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
    case 11:
    case 12:
        return TRUE;
    default:
        return FALSE;
    }
}

BOOLEAN ScanNeighborAPInfoHasBssid(const NEIGHBOR_AP_SCAN_PARAMS* params, const UCHAR* bssid, UCHAR count)
{
    const UCHAR n = count < NEIGHBOR_AP_MAX ? count : NEIGHBOR_AP_MAX;
    for (UCHAR i = 0; i < n; ++i) {
        if (std::memcmp(params->Bssid[i], bssid, 6) == 0) {
            return TRUE;
        }
    }
    return FALSE;
}

UCHAR scanProcessRnrChannel(PMP_ADAPTER adapter, const UCHAR* field, PNEIGHBOR_AP_SCAN_PARAMS params,
                            UCHAR bssidCount, PUCHAR newChannel)
{
    const UCHAR operatingClass = field[2];
    const UCHAR channel = field[3];
    const ULONG band = SixGhzClass(operatingClass) ? BAND_6G : (operatingClass < 100 ? BAND_24G : BAND_5G);
    const UCHAR c =
        SixGhzClass(operatingClass) && ChannelIsInChannelList(adapter, channel, CHANNEL_SEL_6G) ? channel : 0;
    *newChannel = 0;
    const UCHAR listed = params->ChannelCount < NEIGHBOR_AP_MAX ? params->ChannelCount : NEIGHBOR_AP_MAX;
    for (UCHAR i = 0; i < listed; ++i) {
        if (params->Channels[i].Channel == c) {
            return c;
        }
    }
    if (c != 0 && bssidCount < NEIGHBOR_AP_MAX && params->ChannelCount < NEIGHBOR_AP_MAX) {
        params->Channels[params->ChannelCount].Band = band;
        params->Channels[params->ChannelCount].Channel = c;
        ++params->ChannelCount;
        *newChannel = 1;
    }
    return c;
}

void ScanNeighborAPInfoAddSsid(PNEIGHBOR_AP_SCAN_PARAMS params, UCHAR ssidLen, const UCHAR* ssid, UCHAR position)
{
    if (position == 0 || position > NEIGHBOR_AP_MAX) {
        return;
    }
    const UCHAR length = ssidLen <= 32 ? ssidLen : 32;
    const UCHAR known = params->SsidCount < NEIGHBOR_AP_MAX ? params->SsidCount : NEIGHBOR_AP_MAX;
    for (UCHAR i = 0; i < known; ++i) {
        if (params->Ssids[i].Length == length && std::memcmp(params->Ssids[i].Ssid, ssid, length) == 0) {
            params->BssidSsidIndex[position - 1] = i;
            return;
        }
    }
    if (params->SsidCount >= NEIGHBOR_AP_MAX) {
        return;
    }
    NEIGHBOR_AP_SSID& slot = params->Ssids[params->SsidCount];
    slot.Length = length;
    std::memcpy(slot.Ssid, ssid, length);
    params->BssidSsidIndex[position - 1] = params->SsidCount;
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "neighbour SSID slot %u of %u bytes", static_cast<unsigned>(params->SsidCount),
             static_cast<unsigned>(length));
    ++params->SsidCount;
}

void scanParseRnrElement(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* element, ULONG elementLength,
                         UCHAR ssidLen, const UCHAR* ssid)
{
    if (adapter == nullptr || element == nullptr || elementLength < 2) {
        return;
    }
    const ULONG length = element[1];
    if (2 + length > elementLength) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "neighbour report of %u bytes runs past its %u", static_cast<unsigned>(length),
                 static_cast<unsigned>(elementLength));
        return;
    }
    const UCHAR* body = element + 2;
    PNEIGHBOR_AP_INFO_LIST list = &adapter->NeighborApList;
    ULONG p = 0;
    while (p < length) {
        // The whole Neighbor AP Information field lies inside the element, its header first.
        if (length - p < kFieldHeader) {
            break;
        }
        const UCHAR* field = body + p;
        const USHORT header = static_cast<USHORT>(field[0] | (field[1] << 8));
        const ULONG n = ((header >> 4) & 0x0F) + 1;
        const USHORT fieldLength = field[1];
        const ULONG size = kFieldHeader + n * fieldLength;
        if (size > length - p) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "neighbour field of %u bytes past the element", static_cast<unsigned>(size));
            break;
        }
        USHORT readAs = fieldLength;
        if (!ScanRnrTbttInfoValid(fieldLength, field[2])) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "neighbour field: TBTT length %u, class %u",
                     static_cast<unsigned>(fieldLength), static_cast<unsigned>(field[2]));
            if (fieldLength < 13) {
                break;
            }
            readAs = kReadAsLength;
        }

        PNEIGHBOR_AP_INFO record = ScanNeighborAPInfoListRemoveTail(adapter, list);
        UCHAR k = 0;
        if (record != nullptr) {
            k = FirstFreeBssid(record);
            if (k >= NEIGHBOR_AP_MAX) {
                ScanNeighborAPInfoListInsertTail(adapter, list, record);
                record = nullptr;
            }
        }
        if (record == nullptr) {
            record = ScanAllocNeighborAPInfo(adapter);
            if (record == nullptr) {
                DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "no neighbour record: the element is not read further");
                return;
            }
            InitRecord(port, record);
            k = 0;
        }
        NEIGHBOR_AP_SCAN_PARAMS& params = record->Params;
        UCHAR newChannel = 0;
        const UCHAR c = scanProcessRnrChannel(adapter, field, &params, record->BssidCount, &newChannel);

        bool handled = false;
        bool recordedOnField = false;
        const TbttLayout layout = LayoutOf(readAs);
        for (ULONG i = 0; i < n && layout.bssid; ++i) {
            const UCHAR* tbtt = field + kFieldHeader + i * fieldLength;
            const UCHAR* bssid = tbtt + 1;
            handled = true;
            if (BssTableSearchByBssid(adapter, port, adapter->ScanTable, bssid) != BSS_NOT_FOUND ||
                ScanNeighborAPInfoHasBssid(&params, bssid, k) || ScanSrchBssidInCurrNeighborAPInfoList(adapter, bssid) ||
                AllZero(bssid, 6) || c == 0) {
                continue;
            }
            if (k >= NEIGHBOR_AP_MAX) {
                DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "neighbour record full: the field's other BSSIDs wait");
                break;
            }
            std::memcpy(params.Bssid[k], bssid, 6);
            params.BssidChannel[k] = c;
            ++k;
            recordedOnField = true;
            if (params.ShortSsidCount < NEIGHBOR_AP_MAX && params.ExtraIeLen + 4u <= NEIGHBOR_AP_EXTRA_IE_MAX) {
                if (layout.shortSsid) {
                    std::memcpy(params.ExtraIe + 3 + 4 * params.ShortSsidCount, tbtt + 7, 4);
                    params.ExtraIe[1] = static_cast<UCHAR>(params.ExtraIe[1] + 4);
                    params.ExtraIeLen = static_cast<USHORT>(params.ExtraIeLen + 4);
                    ++params.ShortSsidCount;
                }
                if (layout.bssParams && (tbtt[layout.bssParamsOffset] & 0x02) != 0 && params.SsidCount < NEIGHBOR_AP_MAX &&
                    ssid != nullptr) {
                    ScanNeighborAPInfoAddSsid(&params, ssidLen, ssid, k);
                }
            }
        }
        // Skipped neighbours give back the channel their field added; a field that recorded one keeps
        // it, so every recorded neighbour's channel is one the scan visits.
        if (handled && newChannel == 1 && !recordedOnField && params.ChannelCount != 0) {
            --params.ChannelCount;
            params.Channels[params.ChannelCount] = {};
        }
        p += size;
        if (handled) {
            record->BssidCount = k;
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "neighbour record: %u BSSIDs, %u channels", static_cast<unsigned>(k),
                     static_cast<unsigned>(params.ChannelCount));
        }
        if (record->BssidCount == 0) {
            ScanNeighborAPInfoListFreeEntry(adapter, record);
        } else {
            ScanNeighborAPInfoListInsertTail(adapter, list, record);
        }
    }
}

// ================================================================================================
// the scan
// ================================================================================================
void scanFillRnrScanRequest(PMP_ADAPTER adapter, PMP_PORT port, const NEIGHBOR_AP_INFO* record,
                            const NEIGHBOR_AP_SCAN_PARAMS* params, PMLME_SCAN_REQ request)
{
    UNREFERENCED_PARAMETER(adapter);
    std::memset(request, 0, sizeof(*request));
    request->ScanType = params->ScanType;
    request->ChannelType = SCAN_CHANNEL_TYPE_RNR;
    request->Version2 = 1;
    request->BssIndex = port != nullptr ? port->BssIndex : params->BssIndex;
    if (params->SsidCount != 0) {
        request->Option = 4;
        request->SsidCount = params->SsidCount < SCAN_REQ_SSID_MAX ? params->SsidCount : SCAN_REQ_SSID_MAX;
        for (UCHAR i = 0; i < request->SsidCount; ++i) {
            const ULONG length = params->Ssids[i].Length <= SCAN_REQ_SSID_LEN ? params->Ssids[i].Length : SCAN_REQ_SSID_LEN;
            std::memcpy(request->Ssid[i], params->Ssids[i].Ssid, length);
            request->SsidLength[i] = static_cast<UCHAR>(length);
        }
    }
    request->BssidCount = record->BssidCount < SCAN_REQ_BSSID_MAX ? record->BssidCount : SCAN_REQ_BSSID_MAX;
    for (ULONG i = 0; i < SCAN_REQ_BSSID_MAX; ++i) {
        std::memcpy(request->Bssid[i], params->Bssid[i], 6);
        request->BssidScanParams[i] = params->BssidChannel[i];
        request->BssidScanParams[4 + i] = params->BssidSsidIndex[i];
    }
    if (params->ShortSsidCount != 0) {
        request->BssidListByte = params->ShortSsidCount;
        const USHORT length = params->ExtraIeLen <= NEIGHBOR_AP_EXTRA_IE_MAX ? params->ExtraIeLen : NEIGHBOR_AP_EXTRA_IE_MAX;
        request->ExtraIeLength = length;
        std::memcpy(request->ExtraIe, params->ExtraIe, length);
    }
    request->ChannelCount = params->ChannelCount < NEIGHBOR_AP_MAX ? params->ChannelCount : NEIGHBOR_AP_MAX;
    for (UCHAR i = 0; i < request->ChannelCount; ++i) {
        request->Channels[i].Band = params->Channels[i].Band;
        request->Channels[i].Channel = params->Channels[i].Channel;
    }
    request->Timing1 = params->Timing[0];
    request->Timing2 = params->Timing[1];
    request->Timing3 = params->Timing[2];
}

BOOLEAN IsRnrScanreq(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr || port->PortType != EXTSTA) {
        return FALSE;
    }
    const MLME_SCAN_REQ& request = adapter->Mlme.ScanRequest;
    if (request.BssidCount == 0 || request.ChannelCount == 0) {
        return FALSE;
    }
    for (ULONG i = 0; i < 4; ++i) {
        if (request.BssidScanParams[i] != 0) {
            return TRUE;
        }
    }
    return FALSE;
}
