// The BSS table: storing, updating, searching and deleting the BSSs heard on the air.
#include "Common/mlme/mlmesync_bss.h"

#include <cstring>

#include "Common/bss.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "Common/mlme/mlmewsc.h"
#include "Common/p2p/p2p.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kWpsVendorExtOui[3] = {0x00, 0x37, 0x2A};
constexpr USHORT kWpsAttrVendorExt = 0x1049;
constexpr USHORT kWpsAttrApSetupLocked = 0x1057;
constexpr USHORT kWpsAttrDevicePasswordId = 0x1012;
constexpr ULONG kWpsWalkStart = 6;  // element header, WPS OUI and type

bool AllZero(const UCHAR* bytes, ULONG len)
{
    for (ULONG i = 0; i < len; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

bool SsidEqual(const BSS_ENTRY& entry, const UCHAR* ssid, UCHAR ssidLen)
{
    return entry.SsidLen == ssidLen && (ssidLen == 0 || std::memcmp(entry.Ssid, ssid, ssidLen) == 0);
}

ULONG TableCount(const BSS_TABLE* table)
{
    return table->EntryCount < MAX_LEN_OF_BSS_TABLE ? table->EntryCount : MAX_LEN_OF_BSS_TABLE;
}

bool PhyModeHasHt(UCHAR mode) { return mode >= PHY_11ABGN_MIXED && mode <= PHY_11BE; }

USHORT ReadBe16(const UCHAR* p) { return static_cast<USHORT>((p[0] << 8) | p[1]); }

// Copies at most `cap` bytes and returns the length copied.
UCHAR CopyCapped(UCHAR* dst, ULONG cap, const UCHAR* src, ULONG len)
{
    ULONG n = len < cap ? len : cap;
    if (n != 0 && src != nullptr) {
        std::memcpy(dst, src, n);
    }
    return static_cast<UCHAR>(src != nullptr ? n : 0);
}

// Walks the WPS attributes of one stored WPS element. Every attribute is bounded by the element:
// one whose length runs past it ends the walk.
void WpsAttributeWalk(PBSS_ENTRY entry, const UCHAR* ie, ULONG len)
{
    ULONG pos = kWpsWalkStart;
    while (pos < len && len - pos > 6) {
        USHORT type = ReadBe16(ie + pos);
        USHORT attrLen = ReadBe16(ie + pos + 2);
        const UCHAR* value = ie + pos + 4;
        if (static_cast<ULONG>(attrLen) > len - pos - 4) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "WPS attribute 0x%04X of length %u runs past the element",
                     type, attrLen);
            break;
        }
        if (type == kWpsAttrVendorExt && attrLen >= 3 && std::memcmp(value, kWpsVendorExtOui, 3) == 0) {
            ULONG sub = 3;
            while (sub < attrLen && attrLen - sub > 2) {
                UCHAR id = value[sub];
                UCHAR subLen = value[sub + 1];
                if (static_cast<ULONG>(subLen) > attrLen - sub - 2) {
                    break;
                }
                if (id == 0 && subLen >= 1) {
                    entry->WpsVersion2 = value[sub + 2];
                }
                sub += 2u + subLen;
            }
        } else if (type == kWpsAttrApSetupLocked && attrLen >= 1) {
            entry->WpsApSetupLocked = value[0];
        } else if (type == kWpsAttrDevicePasswordId && attrLen >= 2) {
            std::memcpy(&entry->WpsDevicePasswordId, value, sizeof(USHORT));
        }
        pos += 4u + attrLen;
    }
}

// The centre channel of a 40 MHz BSS from its HT Operation and HT Capabilities bodies.
UCHAR HtCentralChannel(UCHAR current, const UCHAR* htOp, const UCHAR* htCap)
{
    UCHAR control = htOp[0];
    UCHAR offset = htOp[1] & 0x03;
    bool width40 = (htCap[0] & 0x02) != 0;
    UCHAR central = current;
    if (control > 2 && offset == 3 && width40) {
        central = static_cast<UCHAR>(control - 2);
    } else if (offset == 1 && width40) {
        central = static_cast<UCHAR>(control + 2);
    }
    if (width40) {
        if (control == 13) {
            central = 11;
        } else if (control == 12) {
            central = 10;
        }
    }
    return central;
}

void TraceEntry(LONG index, const BSS_ENTRY& e)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME,
             "[%3d] ch %3u %02X:%02X:%02X:%02X:%02X:%02X auth %u enc 0x%X rssi %d", static_cast<int>(index),
             e.Channel, e.Bssid[0], e.Bssid[1], e.Bssid[2], e.Bssid[3], e.Bssid[4], e.Bssid[5],
             static_cast<unsigned>(e.AuthMode), static_cast<unsigned>(e.EncryptionStatus), e.Rssi);
}

void RemoveAt(PBSS_TABLE table, ULONG index, ULONG count)
{
    for (ULONG i = index; i + 1 < count; ++i) {
        table->BssEntry[i] = table->BssEntry[i + 1];
    }
    if (table->EntryCount >= 1 && table->EntryCount <= MAX_LEN_OF_BSS_TABLE) {
        table->EntryCount--;
    }
    std::memset(&table->BssEntry[count - 1], 0, sizeof(BSS_ENTRY));
}

// ---- the table's index ----------------------------------------------------------------------------------
constexpr ULONG kSlotMask = BSS_INDEX_SLOTS - 1;
static_assert((BSS_INDEX_SLOTS & kSlotMask) == 0 && BSS_INDEX_SLOTS >= 2 * MAX_LEN_OF_BSS_TABLE,
              "a power of two with room to spare");

ULONG HashBssid(const UCHAR* bssid)
{
    ULONG h = 2166136261u;
    for (ULONG i = 0; i < MAC_ADDR_LEN; ++i) {
        h = (h ^ bssid[i]) * 16777619u;
    }
    return (h ^ (h >> 15)) & kSlotMask;
}

void IndexAdd(PBSS_TABLE table, ULONG index)
{
    ULONG slot = HashBssid(table->BssEntry[index].Bssid);
    while (table->Index.Slots[slot] != 0) {
        slot = (slot + 1) & kSlotMask;
    }
    table->Index.Slots[slot] = static_cast<USHORT>(index + 1);
}

// Takes the entry out of the BSSID slots (by backward shift, so that every probe run stays whole).
void IndexRemove(PBSS_TABLE table, ULONG index)
{
    BSS_TABLE_INDEX& x = table->Index;
    ULONG hole = HashBssid(table->BssEntry[index].Bssid);
    for (ULONG probes = 0; x.Slots[hole] != index + 1; ++probes) {
        if (x.Slots[hole] == 0 || probes >= BSS_INDEX_SLOTS) {
            return;
        }
        hole = (hole + 1) & kSlotMask;
    }
    ULONG next = hole;
    for (;;) {
        x.Slots[hole] = 0;
        for (;;) {
            next = (next + 1) & kSlotMask;
            if (x.Slots[next] == 0) {
                return;
            }
            const ULONG home = HashBssid(table->BssEntry[x.Slots[next] - 1].Bssid);
            const bool stays = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
            if (!stays) {
                break;
            }
        }
        x.Slots[hole] = x.Slots[next];
        hole = next;
    }
}

void RssiUnfile(PBSS_TABLE table, ULONG index)
{
    BSS_TABLE_INDEX& x = table->Index;
    const CHAR filed = x.FiledRssi[index];
    if (filed >= 0) {
        return;
    }
    const ULONG level = static_cast<ULONG>(-(filed + 1));
    x.RssiMap[level][index / 64] &= ~(1ull << (index % 64));
    bool any = false;
    for (ULONG64 word : x.RssiMap[level]) {
        any = any || word != 0;
    }
    if (!any) {
        x.RssiLevels[level / 64] &= ~(1ull << (level % 64));
    }
    x.FiledRssi[index] = 0;
}

void RssiFile(PBSS_TABLE table, ULONG index)
{
    BSS_TABLE_INDEX& x = table->Index;
    RssiUnfile(table, index);
    const CHAR rssi = table->BssEntry[index].Rssi;
    if (rssi >= 0) {
        return;
    }
    const ULONG level = static_cast<ULONG>(-(rssi + 1));
    x.RssiMap[level][index / 64] |= 1ull << (index % 64);
    x.RssiLevels[level / 64] |= 1ull << (level % 64);
    x.FiledRssi[index] = rssi;
}

void IndexRebuild(PBSS_TABLE table)
{
    std::memset(&table->Index, 0, sizeof(table->Index));
    const ULONG count = TableCount(table);
    for (ULONG i = 0; i < count; ++i) {
        IndexAdd(table, i);
        RssiFile(table, i);
    }
    table->Index.IndexedCount = static_cast<USHORT>(count);
}

void IndexEnsure(const BSS_TABLE* table)
{
    if (table->Index.IndexedCount != TableCount(table)) {
        IndexRebuild(const_cast<PBSS_TABLE>(table));
    }
}

// The lowest entry index with this BSSID that `accept` takes; BSS_NOT_FOUND when none.
template <typename Accept>
LONG FindByBssid(const BSS_TABLE* table, const UCHAR* bssid, Accept&& accept)
{
    if (table == nullptr || bssid == nullptr) {
        return BSS_NOT_FOUND;
    }
    IndexEnsure(table);
    const ULONG count = TableCount(table);
    LONG best = BSS_NOT_FOUND;
    ULONG slot = HashBssid(bssid);
    for (ULONG probes = 0; probes < BSS_INDEX_SLOTS && table->Index.Slots[slot] != 0; ++probes) {
        const ULONG index = table->Index.Slots[slot] - 1u;
        if (index >= count) {
            // An index that does not match its table is rebuilt, and the search repeated.
            IndexRebuild(const_cast<PBSS_TABLE>(table));
            return FindByBssid(table, bssid, accept);
        }
        const BSS_ENTRY& e = table->BssEntry[index];
        if (std::memcmp(e.Bssid, bssid, MAC_ADDR_LEN) == 0 && accept(e) &&
            (best == BSS_NOT_FOUND || static_cast<LONG>(index) < best)) {
            best = static_cast<LONG>(index);
        }
        slot = (slot + 1) & kSlotMask;
    }
    return best;
}

// Lowest set bit index of a word array, or -1.
LONG FirstSet(const ULONG64* words, ULONG count)
{
    for (ULONG w = 0; w < count; ++w) {
        if (words[w] != 0) {
            return static_cast<LONG>(w * 64 + __builtin_ctzll(words[w]));
        }
    }
    return -1;
}

}  // namespace

// ================================================================================================
// clearing
// ================================================================================================
void BssTableInit(PBSS_TABLE table)
{
    if (table == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "BSS table clear without a table");
        return;
    }
    ULONG zero = 0;
    std::memcpy(&table->EntryCount, &zero, sizeof(zero));  // the count and the overflow slot together
    std::memset(table->BssEntry, 0, sizeof(table->BssEntry));
    std::memset(&table->Index, 0, sizeof(table->Index));
}

void MlmeBssTableInit(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "scan table clear without an adapter");
        return;
    }
    adapter->ScanTable = &adapter->ScanTab;
    BssTableInit(adapter->ScanTable);
}

// ================================================================================================
// searches
// ================================================================================================
LONG BssTableSearchByBssid(PMP_ADAPTER adapter, PMP_PORT port, const BSS_TABLE* table, const UCHAR* bssid)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return FindByBssid(table, bssid, [](const BSS_ENTRY&) { return true; });
}

LONG BssTableFindBssidOnBand(const BSS_TABLE* table, const UCHAR* bssid, UCHAR channel)
{
    return FindByBssid(table, bssid, [channel](const BSS_ENTRY& e) { return BssSameBandSide(e.Channel, channel); });
}

LONG BssTableSearch(PMP_ADAPTER adapter, PMP_PORT port, const BSS_TABLE* table, const UCHAR* bssid, UCHAR channel)
{
    if (port != nullptr && port->WpsMode == 2 && port->WpsState == 3) {
        ULONG found = 0;
        ULONG index = 0xFFFFFFFFu;
        bool search = true;
        if (port->WpsMethod == WPS_METHOD_PBC) {
            found = WscPBCModeAPSearch(adapter, port, bssid, channel, &index);
        } else if (port->WpsMethod == WPS_METHOD_PIN || port->WpsMethod == WPS_METHOD_PIN_2 ||
                   port->WpsMethod == WPS_METHOD_PIN_3) {
            found = WscPINModeAPSearch(adapter, port, bssid, channel, &index);
        } else {
            search = false;
        }
        if (search && found == 1 && index < MAX_LEN_OF_BSS_TABLE) {
            const BSS_ENTRY& e = table->BssEntry[index];
            if (BssSameBandSide(e.Channel, channel) && std::memcmp(e.Bssid, bssid, MAC_ADDR_LEN) == 0) {
                return static_cast<LONG>(index);
            }
            return BSS_NOT_FOUND;
        }
    }
    return BssTableFindBssidOnBand(table, bssid, channel);
}

LONG BssTableSearchBySsid(const BSS_TABLE* table, const UCHAR* ssid, UCHAR ssidLen)
{
    if (ssidLen > BSS_SSID_MAX) {
        return BSS_NOT_FOUND;
    }
    ULONG count = TableCount(table);
    for (ULONG i = 0; i < count; ++i) {
        if (SsidEqual(table->BssEntry[i], ssid, ssidLen)) {
            return static_cast<LONG>(i);
        }
    }
    return BSS_NOT_FOUND;
}

LONG BssSearchWithSsid(const BSS_TABLE* table, const UCHAR* bssid, const UCHAR* ssid, UCHAR ssidLen, UCHAR channel)
{
    return FindByBssid(table, bssid, [&](const BSS_ENTRY& e) {
        return SsidEqual(e, ssid, ssidLen) && BssSameBandSide(e.Channel, channel);
    });
}

LONG BssTableFindBssidInBand(PMP_ADAPTER adapter, PMP_PORT port, const BSS_TABLE* table, LONG band,
                             const UCHAR* bssid)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return FindByBssid(table, bssid, [band](const BSS_ENTRY& e) { return e.Band == band; });
}

LONG BssTableFindBssidSsid(const BSS_TABLE* table, const UCHAR* bssid, const UCHAR* ssid, UCHAR ssidLen,
                           UCHAR channel)
{
    if (ssidLen > BSS_SSID_MAX) {
        return BSS_NOT_FOUND;
    }
    const bool wantedHidden = AllZero(ssid, ssidLen);
    return FindByBssid(table, bssid, [&](const BSS_ENTRY& e) {
        if (!BssSameBandSide(e.Channel, channel)) {
            return false;
        }
        const bool entryHidden = AllZero(e.Ssid, e.SsidLen <= BSS_SSID_MAX ? e.SsidLen : BSS_SSID_MAX);
        return SsidEqual(e, ssid, ssidLen) || wantedHidden || entryHidden;
    });
}

LONG MlmeGetWorstRssiBssFromBssTab(const BSS_TABLE* table)
{
    if (table == nullptr) {
        return BSS_NOT_FOUND;
    }
    IndexEnsure(table);
    const BSS_TABLE_INDEX& x = table->Index;
    // The lowest value is the highest level with an entry; its first entry wins ties.
    for (LONG word = BSS_RSSI_LEVELS / 64 - 1; word >= 0; --word) {
        if (x.RssiLevels[word] == 0) {
            continue;
        }
        const LONG level = word * 64 + 63 - __builtin_clzll(x.RssiLevels[word]);
        const LONG index = FirstSet(x.RssiMap[level], MAX_LEN_OF_BSS_TABLE / 64);
        if (index >= 0 && static_cast<ULONG>(index) < TableCount(table) &&
            table->BssEntry[index].Rssi == x.FiledRssi[index]) {
            return index;
        }
        // The index does not match the entries (a signal written past the table's writers).
        IndexRebuild(const_cast<PBSS_TABLE>(table));
        return MlmeGetWorstRssiBssFromBssTab(table);
    }
    return BSS_NOT_FOUND;
}

// ================================================================================================
// writing
// ================================================================================================
void BssEntrySet(PMP_ADAPTER adapter, PMP_PORT port, PBSS_ENTRY entry, const BSS_ENTRY_INPUT* in)
{
    UCHAR phyMode = port != nullptr ? port->WirelessMode : 0;
    std::memcpy(entry->Bssid, in->Bssid, MAC_ADDR_LEN);

    // A hidden-SSID frame does not erase a known SSID.
    if (in->SsidLen >= 1 && in->SsidLen <= BSS_SSID_MAX && in->Ssid != nullptr && !AllZero(in->Ssid, in->SsidLen)) {
        std::memset(entry->Ssid, 0, sizeof(entry->Ssid));
        std::memcpy(entry->Ssid, in->Ssid, in->SsidLen);
        entry->SsidLen = in->SsidLen;
    }

    entry->BssType = in->BssType;
    entry->BeaconPeriod = in->BeaconPeriod;
    if (in->BssType == BSS_INFRA) {
        if (in->CfParams != nullptr && in->CfParams->Present) {
            entry->CfpCount = in->CfParams->CfpCount;
            entry->CfpPeriod = in->CfParams->CfpPeriod;
            entry->CfpMaxDuration = in->CfParams->CfpMaxDuration;
            entry->CfpDurRemaining = in->CfParams->CfpDurRemaining;
        }
    } else {
        entry->AtimWindow = in->AtimWindow;
    }
    entry->CapabilityInfo = in->CapabilityInfo;
    entry->Privacy = static_cast<UCHAR>((in->CapabilityInfo >> 4) & 1u);

    // The stored lengths never exceed what the fields hold.
    entry->SupportedRatesLen = CopyCapped(entry->SupportedRates, BSS_RATES_MAX, in->SupportedRates,
                                          in->SupportedRatesLen);
    entry->ExtendedRatesLen = CopyCapped(entry->ExtendedRates, BSS_RATES_MAX, in->ExtendedRates,
                                         in->ExtendedRatesLen);
    UCHAR htCapLen = CopyCapped(entry->HtCapability, BSS_HT_CAP_LEN, in->HtCapability, in->HtCapabilityLen);
    UCHAR htOpLen = CopyCapped(entry->HtOperation, BSS_HT_OP_LEN, in->HtOperation, in->HtOperationLen);
    entry->HePresent = in->HePresent;
    entry->Channel = in->Channel;
    entry->CentralChannel = in->Channel;
    entry->SecondaryChannelOffset = in->SecondaryChannelOffset;
    entry->CountryString = in->CountryString;
    entry->WpsApSetupLocked = 0;

    if (in->OweTransSsidLen <= BSS_SSID_MAX) {
        if (in->OweTransBssid != nullptr) {
            std::memcpy(entry->OweTransBssid, in->OweTransBssid, MAC_ADDR_LEN);
        }
        std::memset(entry->OweTransSsid, 0, sizeof(entry->OweTransSsid));
        entry->OweTransSsidLen = CopyCapped(entry->OweTransSsid, BSS_SSID_MAX, in->OweTransSsid, in->OweTransSsidLen);
    }

    if (in->Band > 0) {
        entry->Band = in->Band;
    } else {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "BSS entry without a band (%d): band left as %d",
                 static_cast<int>(in->Band), static_cast<int>(entry->Band));
    }
    if (entry->HePresent != 0 && entry->Band == BAND_6G) {
        entry->He6gRegulatoryInfo = in->He6gRegulatoryInfo;
    }

    bssParseSupportedRates(entry->SupportedRates, entry->SupportedRatesLen, entry->ExtendedRates,
                           entry->ExtendedRatesLen, &entry->RateBitmap, &entry->BasicRateBitmap,
                           &entry->OtherBasicRate);

    if (in->RssiUpdate == 1 || entry->Rssi == 0) {
        entry->Rssi = in->Rssi;
        entry->Rssi0 = in->Rssi0;
        entry->Rssi1 = in->Rssi1;
    }

    if (in->MobilityDomain != nullptr) {
        entry->MobilityDomain = *in->MobilityDomain;
    } else {
        std::memset(&entry->MobilityDomain, 0, sizeof(entry->MobilityDomain));
    }
    entry->FrameTimestamp = in->FrameTimestamp;
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    entry->LastUpdateTime = static_cast<ULONG64>(now.QuadPart);
    entry->IndicatedSinceUpdate = 0;
    entry->Valid = 1;

    // WPS elements: each kind is replaced only by a frame that brings one.
    if (in->BeaconWpsIeLen != 0 && in->BeaconWpsIe != nullptr) {
        ULONG n = in->BeaconWpsIeLen < BSS_IE_BUFFER_SIZE ? in->BeaconWpsIeLen : BSS_IE_BUFFER_SIZE;
        std::memcpy(entry->BeaconWpsIe, in->BeaconWpsIe, n);
        entry->BeaconWpsIeLen = static_cast<USHORT>(n);
    }
    if (in->ProbeRspWpsIeLen != 0 && in->ProbeRspWpsIe != nullptr) {
        ULONG n = in->ProbeRspWpsIeLen < BSS_IE_BUFFER_SIZE ? in->ProbeRspWpsIeLen : BSS_IE_BUFFER_SIZE;
        std::memcpy(entry->ProbeRspWpsIe, in->ProbeRspWpsIe, n);
        entry->ProbeRspWpsIeLen = static_cast<USHORT>(n);
    }
    if (entry->ProbeRspWpsIeLen != 0) {
        WpsAttributeWalk(entry, entry->ProbeRspWpsIe, entry->ProbeRspWpsIeLen);
    } else if (entry->BeaconWpsIeLen != 0) {
        WpsAttributeWalk(entry, entry->BeaconWpsIe, entry->BeaconWpsIeLen);
    }

    // The element block is replaced only by a longer one (or any one during a WPS search).
    if (in->VarIeLen != 0 && in->VarIes != nullptr) {
        ULONG n = in->VarIeLen < BSS_IE_BUFFER_SIZE ? in->VarIeLen : BSS_IE_BUFFER_SIZE;
        ULONG wpsMode = port != nullptr ? port->WpsMode : 0;
        if (n > entry->VarIeLen || wpsMode != 0) {
            std::memcpy(entry->VarIes, in->VarIes, n);
            entry->VarIeLen = static_cast<USHORT>(n);
        }
    } else if (in->VarIeLen == 0) {
        entry->VarIeLen = 0;
    }

    if (PhyModeHasHt(phyMode) && htCapLen != 0) {
        entry->HtCapabilityLen = htCapLen;
        if (htOpLen != 0) {
            entry->HtOperationLen = htOpLen;
            if (htOpLen >= 2) {
                entry->CentralChannel = HtCentralChannel(entry->CentralChannel, entry->HtOperation,
                                                         entry->HtCapability);
            }
        } else {
            entry->HtOperationLen = 0;
        }
    } else {
        entry->HtCapabilityLen = 0;
    }

    if (port != nullptr && port->Cfg.VhtEnabled == 1) {
        if (in->VhtCapability != nullptr) {
            std::memcpy(entry->VhtCapability, in->VhtCapability, BSS_VHT_CAP_LEN);
        } else {
            std::memset(entry->VhtCapability, 0, BSS_VHT_CAP_LEN);
        }
        if (in->VhtOperation != nullptr) {
            std::memcpy(entry->VhtOperation, in->VhtOperation, BSS_VHT_OP_LEN);
        } else {
            std::memset(entry->VhtOperation, 0, BSS_VHT_OP_LEN);
        }
        entry->VhtPresent = static_cast<UCHAR>(!AllZero(entry->VhtCapability, BSS_VHT_CAP_LEN) &&
                                               !AllZero(entry->VhtOperation, BSS_VHT_OP_LEN));
    }

    BssCipherParse(adapter, entry);

    if (in->Edca != nullptr) {
        entry->EdcaParameters = *in->Edca;
    } else {
        entry->EdcaParameters.Valid = 0;
    }
    if (in->QosCapability != nullptr) {
        entry->QosCapability = *in->QosCapability;
    } else {
        entry->QosCapability.Valid = 0;
    }
    if (in->QbssLoad != nullptr) {
        entry->QbssLoad = *in->QbssLoad;
    } else {
        entry->QbssLoad.Valid = 0;
    }

    if (in->BeaconWpsIeLen != 0 || in->ProbeRspWpsIeLen != 0) {
        entry->WpsPresent = 1;
    }

    if (in->FrameLen != 0 && in->Frame != nullptr) {
        ULONG n = in->FrameLen < BSS_IE_BUFFER_SIZE ? in->FrameLen : BSS_IE_BUFFER_SIZE;
        if (in->IsBeacon) {
            std::memcpy(entry->BeaconFrame, in->Frame, n);
            entry->BeaconFrameLen = static_cast<USHORT>(n);
        } else {
            std::memcpy(entry->ProbeRspFrame, in->Frame, n);
            entry->ProbeRspFrameLen = static_cast<USHORT>(n);
        }
    }
}

LONG BssTableSetEntry(PMP_ADAPTER adapter, PMP_PORT port, PBSS_TABLE table, const BSS_ENTRY_INPUT* in)
{
    UCHAR ssidLen = in->SsidLen <= BSS_SSID_MAX ? in->SsidLen : 0;
    LONG index = BssTableFindBssidSsid(table, in->Bssid, in->Ssid, ssidLen, in->Channel);
    if (index == BSS_NOT_FOUND) {
        index = BssTableFindBssidInBand(adapter, port, table, in->Band, in->Bssid);
    }
    if (index > MAX_LEN_OF_BSS_TABLE - 1) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "BSS index %d out of range", static_cast<int>(index));
        return BSS_NOT_FOUND;
    }
    if (index != BSS_NOT_FOUND) {
        PBSS_ENTRY entry = &table->BssEntry[index];
        // On 6 GHz a probe response without SSID does not touch an entry that has one.
        if (in->SsidLen == 0 && entry->SsidLen != 0 && entry->Band == BAND_6G && !in->IsBeacon) {
            return index;
        }
        BssEntrySet(adapter, port, entry, in);
        RssiFile(table, static_cast<ULONG>(index));
        return index;
    }
    if (table->EntryCount < MAX_LEN_OF_BSS_TABLE) {
        LONG slot = table->EntryCount;
        BssEntrySet(adapter, port, &table->BssEntry[slot], in);
        table->EntryCount++;
        if (table->Index.IndexedCount + 1u == table->EntryCount) {
            IndexAdd(table, static_cast<ULONG>(slot));
            RssiFile(table, static_cast<ULONG>(slot));
            table->Index.IndexedCount = table->EntryCount;
        }
        return slot;
    }

    // A full table still takes the connect attempt's target, in a rotating slot.
    bool connected = port != nullptr && (port->ConnectionFlags & PORT_CONN_CONNECTED) != 0;
    if (!connected && adapter != nullptr) {
        bool target = std::memcmp(in->Bssid, adapter->ConnectTargetBssid, MAC_ADDR_LEN) == 0 ||
                      (in->SsidLen != 0 && in->SsidLen == adapter->ConnectTargetSsidLen &&
                       in->SsidLen <= BSS_SSID_MAX && std::memcmp(in->Ssid, adapter->ConnectTargetSsid, in->SsidLen) == 0);
        if (target) {
            table->OverflowSlot = static_cast<USHORT>((table->OverflowSlot + 1) & 0xFF);
            const ULONG slot = table->OverflowSlot;
            IndexRemove(table, slot);
            RssiUnfile(table, slot);
            PBSS_ENTRY entry = &table->BssEntry[slot];
            std::memset(entry, 0, sizeof(*entry));
            BssEntrySet(adapter, port, entry, in);
            IndexAdd(table, slot);
            RssiFile(table, slot);
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "BSS table full: connect target in slot %u",
                     table->OverflowSlot);
            return static_cast<LONG>(slot);
        }
    }
    LONG worst = MlmeGetWorstRssiBssFromBssTab(table);
    if (worst == BSS_NOT_FOUND || in->Rssi <= table->BssEntry[worst].Rssi) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "BSS table full: frame of rssi %d not stored", in->Rssi);
        return BSS_NOT_FOUND;
    }
    IndexRemove(table, static_cast<ULONG>(worst));
    RssiUnfile(table, static_cast<ULONG>(worst));
    PBSS_ENTRY entry = &table->BssEntry[worst];
    std::memset(entry, 0, sizeof(*entry));
    BssEntrySet(adapter, port, entry, in);
    IndexAdd(table, static_cast<ULONG>(worst));
    RssiFile(table, static_cast<ULONG>(worst));
    return worst;
}

void BssTableRestoreEntry(PBSS_TABLE table, const BSS_ENTRY* entry)
{
    BssTableInit(table);
    if (table == nullptr || entry == nullptr) {
        return;
    }
    table->BssEntry[0] = *entry;
    table->EntryCount = 1;
    IndexRebuild(table);
}

void BssTableReindex(PBSS_TABLE table)
{
    if (table != nullptr) {
        IndexRebuild(table);
    }
}

void BssTableSetRssi(PBSS_TABLE table, ULONG index, CHAR rssi)
{
    if (table == nullptr || index >= TableCount(table)) {
        return;
    }
    table->BssEntry[index].Rssi = rssi;
    if (table->Index.IndexedCount == TableCount(table)) {
        RssiFile(table, index);
    }
}

// ================================================================================================
// deleting
// ================================================================================================
void BssTableDeleteEntry(PBSS_TABLE table, const UCHAR* bssid, UCHAR channel)
{
    ULONG count = TableCount(table);
    for (ULONG i = 0; i < count; ++i) {
        const BSS_ENTRY& e = table->BssEntry[i];
        if (e.Channel == channel && std::memcmp(e.Bssid, bssid, MAC_ADDR_LEN) == 0) {
            RemoveAt(table, i, count);
            return;
        }
    }
}

void BssTableDeleteEntryEx(PBSS_TABLE table, const UCHAR* bssid, UCHAR channel, const UCHAR* ssid, UCHAR ssidLen)
{
    ULONG count = TableCount(table);
    for (ULONG i = 0; i < count; ++i) {
        const BSS_ENTRY& e = table->BssEntry[i];
        if (e.Channel == channel && std::memcmp(e.Bssid, bssid, MAC_ADDR_LEN) == 0 && SsidEqual(e, ssid, ssidLen)) {
            RemoveAt(table, i, count);
            return;
        }
    }
}

// ================================================================================================
// 6 GHz standard power
// ================================================================================================
void BSSCheck6GFilterAction(PMP_ADAPTER adapter, PMP_PORT port, UCHAR channel, LONG band, const UCHAR* heOp6g,
                            PULONG action)
{
    if (adapter == nullptr || port == nullptr || heOp6g == nullptr || port->HeEnabled != 1 || band != BAND_6G ||
        ((heOp6g[1] >> 3) & 0x07) != 1) {
        *action = 0;
        return;
    }
    const SP_RULE_PLAN& plan = adapter->SpRulePlan;
    if (plan.RecordCount == 0) {
        *action = adapter->RegistryBlock.SP6GDefaultAction;
        return;
    }
    ULONG records = plan.RecordCount < SP_RULE_MAX ? plan.RecordCount : SP_RULE_MAX;
    for (ULONG i = 0; i < records; ++i) {
        const SP_RULE_RECORD& r = plan.Records[i];
        if (r.Band == 0) {
            break;
        }
        UCHAR last = static_cast<UCHAR>(r.FirstChannel + r.ChannelSpacing * r.ChannelCount);
        if (r.Band == BAND_6G && r.FirstChannel <= channel && channel < last) {
            *action = r.PowerMode;
            return;
        }
    }
}

// ================================================================================================
// tracing and the per-channel AP count
// ================================================================================================
void MlmeDumpScanTab(PMP_ADAPTER adapter, ULONG kind)
{
    if (adapter == nullptr) {
        return;
    }
    if ((kind == SCAN_TAB_DUMP_SCAN || kind == SCAN_TAB_DUMP_BOTH) && adapter->ScanTable != nullptr) {
        const BSS_TABLE* table = adapter->ScanTable;
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "scan table: %u entries", table->EntryCount);
        for (ULONG i = 0; i < TableCount(table); ++i) {
            TraceEntry(static_cast<LONG>(i), table->BssEntry[i]);
        }
    }
    if (kind == SCAN_TAB_DUMP_REPOSIT || kind == SCAN_TAB_DUMP_BOTH) {
        PREPOSIT_TABLE reposit = RepositTableGet(adapter);
        if (reposit != nullptr) {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "roaming-candidate table: %u entries", reposit->RepositCount);
            for (ULONG i = 0; i < reposit->RepositCount && i < MAX_LEN_OF_BSS_TABLE; ++i) {
                TraceEntry(static_cast<LONG>(i), reposit->RepositEntries[i]);
            }
        }
    }
    if (kind == SCAN_TAB_DUMP_P2P) {
        P2PPrintDiscoEntry(adapter, 30);
    }
}

void ScanTblApNumInit(PMP_ADAPTER adapter)
{
    SCAN_AP_NUM_TABLE& t = adapter->ScanApNum;
    ULONG count = adapter->Country.ChannelListCount <= DOMAIN_CHANNEL_MAX ? adapter->Country.ChannelListCount : DOMAIN_CHANNEL_MAX;
    std::memset(&t, 0, sizeof(t));
    for (ULONG i = 0; i < count; ++i) {
        t.Rows[i].Channel = adapter->Country.ChannelList[i].Channel;
    }
    t.RowCount = static_cast<USHORT>(count);
}

void ScanTblApNumOfCh(PMP_ADAPTER adapter)
{
    SCAN_AP_NUM_TABLE& t = adapter->ScanApNum;
    const BSS_TABLE* table = adapter->ScanTable;
    if (table == nullptr) {
        return;
    }
    ULONG rows = t.RowCount <= DOMAIN_CHANNEL_MAX ? t.RowCount : DOMAIN_CHANNEL_MAX;
    for (ULONG r = 0; r < rows; ++r) {
        for (ULONG i = 0; i < TableCount(table); ++i) {
            if (table->BssEntry[i].Channel == t.Rows[r].Channel) {
                t.Rows[r].ApCount++;
            }
        }
    }
}
