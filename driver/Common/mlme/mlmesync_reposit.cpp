// The roaming-candidate and preferred-SSID tables.
#include "Common/mlme/mlmesync_reposit.h"

#include <cstddef>
#include <cstring>

#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_chnl.h"
#include "Common/mlme/mlmesync_sort.h"
#include "Common/rlm.h"
#include "Common/rlm_domain.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/trace.h"

PREPOSIT_TABLE RepositTableGet(PMP_ADAPTER adapter)
{
    return adapter != nullptr ? static_cast<PREPOSIT_TABLE>(adapter->Mlme.RepositTable) : nullptr;
}

void MlmeRepositTableInit(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "roaming-candidate table without an adapter");
        return;
    }
    MLME_ADAPTER_BLOCK& mlme = adapter->Mlme;
    mlme.RepositTable = nullptr;
    mlme.RepositTableSize = 0;
    PVOID block = nullptr;
    ULONG size = sizeof(REPOSIT_TABLE);
    // Its own tag keeps the MLME buffer blocks (ZV05) countable on their own.
    if (PlatformAllocateMemory(adapter, &block, size, TAG_ZV06) != STATUS_SUCCESS || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "roaming-candidate table not allocated");
        return;
    }
    auto* table = static_cast<PREPOSIT_TABLE>(block);
    std::memset(table, 0, size);
    table->RepositEntries = table->Entries;
    table->RepositAgeSeconds = adapter->RegistryBlock.BssidRepositTime;
    mlme.RepositTable = table;
    mlme.RepositTableSize = size;
    mlme.RepositBusy = 0;
}

void MlmeResetRepositTable(PMP_ADAPTER adapter)
{
    PREPOSIT_TABLE table = RepositTableGet(adapter);
    if (table == nullptr) {
        return;
    }
    std::memset(table->Entries, 0, sizeof(table->Entries));
    std::memset(table->RepositTime, 0, sizeof(table->RepositTime));
    table->RepositCount = 0;
}

ULONG RepositTableSearchByBand(PMP_ADAPTER adapter, PMP_PORT port, PREPOSIT_TABLE table, ULONG band,
                               const UCHAR* bssid)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    if (table == nullptr) {
        return 0xFFFFFFFFu;
    }
    ULONG count = table->RepositCount < MAX_LEN_OF_BSS_TABLE ? table->RepositCount : MAX_LEN_OF_BSS_TABLE;
    for (ULONG i = 0; i < count; ++i) {
        const BSS_ENTRY& e = table->RepositEntries[i];
        if (static_cast<ULONG>(e.Band) == band && std::memcmp(e.Bssid, bssid, 6) == 0) {
            return i;
        }
    }
    return 0xFFFFFFFFu;
}

namespace {

constexpr ULONG kBusyTries = 100;
constexpr ULONG kBusyDelayUs = 100;
constexpr LONGLONG kTicksPerSecond = 10000000;

LONGLONG Now()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return now.QuadPart;
}

// A slot is old once ageSeconds have passed since its refresh. The whole 64-bit time is compared: a
// table left alone for longer than the low 32 bits can count (about 429 s) still ages.
bool IsOld(LONGLONG now, LONGLONG refreshed, ULONG ageSeconds)
{
    LONGLONG elapsed = now > refreshed ? now - refreshed : 0;
    return elapsed >= static_cast<LONGLONG>(ageSeconds) * kTicksPerSecond;
}

bool TakeBusy(PMP_ADAPTER adapter)
{
    for (ULONG i = 0; i < kBusyTries; ++i) {
        if (InterlockedCompareExchange(&adapter->Mlme.RepositBusy, 1, 0) == 0) {
            return true;
        }
        NdisCommonGenericDelay(kBusyDelayUs);
    }
    return false;
}

void ReleaseBusy(PMP_ADAPTER adapter) { InterlockedExchange(&adapter->Mlme.RepositBusy, 0); }

LONG WorstOf(const BSS_ENTRY* entries, ULONG count)
{
    LONG worst = BSS_NOT_FOUND;
    CHAR lowest = 0;
    for (ULONG i = 0; i < count; ++i) {
        if (entries[i].Rssi < lowest) {
            lowest = entries[i].Rssi;
            worst = static_cast<LONG>(i);
        }
    }
    return worst;
}

ULONG RepositCount(const REPOSIT_TABLE* t)
{
    return t->RepositCount < MAX_LEN_OF_BSS_TABLE ? t->RepositCount : MAX_LEN_OF_BSS_TABLE;
}

// Walks the slots from the last down to the first; a slot the test picks takes the last entry and
// its time, and the count drops (the order of the table changes).
template <typename Pick>
void RemoveWhere(PREPOSIT_TABLE t, Pick pick)
{
    for (LONG i = static_cast<LONG>(RepositCount(t)) - 1; i >= 0; --i) {
        if (!pick(static_cast<ULONG>(i))) {
            continue;
        }
        ULONG last = t->RepositCount - 1u;
        t->RepositEntries[i] = t->RepositEntries[last];
        t->RepositTime[i] = t->RepositTime[last];
        t->RepositCount--;
    }
}

bool SsidMatches(const BSS_ENTRY& e, const UCHAR* ssid, UCHAR ssidLen)
{
    return e.SsidLen == ssidLen && ssidLen <= BSS_SSID_MAX && std::memcmp(e.Ssid, ssid, ssidLen) == 0;
}

// A stored entry refreshed from the scan table keeps the WPS elements the scan entry lacks.
void RefreshEntry(BSS_ENTRY& stored, const BSS_ENTRY& scanned)
{
    static_assert(sizeof(stored.ProbeRspWpsIe) == BSS_IE_BUFFER_SIZE, "WPS copies are 1024 bytes");
    bool keepProbe = stored.ProbeRspWpsIeLen != 0 && scanned.ProbeRspWpsIeLen == 0;
    bool keepBeacon = stored.BeaconWpsIeLen != 0 && scanned.BeaconWpsIeLen == 0;
    if (!keepProbe && !keepBeacon) {
        stored = scanned;
        return;
    }
    // Everything but the WPS copies to keep, field by field around them.
    USHORT probeLen = stored.ProbeRspWpsIeLen;
    USHORT beaconLen = stored.BeaconWpsIeLen;
    auto* dst = reinterpret_cast<UCHAR*>(&stored);
    auto* src = reinterpret_cast<const UCHAR*>(&scanned);
    size_t beaconAt = offsetof(BSS_ENTRY, BeaconWpsIe);
    size_t probeAt = offsetof(BSS_ENTRY, ProbeRspWpsIe);
    size_t end = sizeof(BSS_ENTRY);
    static_assert(offsetof(BSS_ENTRY, BeaconWpsIe) < offsetof(BSS_ENTRY, ProbeRspWpsIe), "field order");
    std::memcpy(dst, src, beaconAt);
    if (!keepBeacon) {
        std::memcpy(dst + beaconAt, src + beaconAt, BSS_IE_BUFFER_SIZE);
    }
    std::memcpy(dst + beaconAt + BSS_IE_BUFFER_SIZE, src + beaconAt + BSS_IE_BUFFER_SIZE,
                probeAt - beaconAt - BSS_IE_BUFFER_SIZE);
    if (!keepProbe) {
        std::memcpy(dst + probeAt, src + probeAt, BSS_IE_BUFFER_SIZE);
    }
    std::memcpy(dst + probeAt + BSS_IE_BUFFER_SIZE, src + probeAt + BSS_IE_BUFFER_SIZE,
                end - probeAt - BSS_IE_BUFFER_SIZE);
    if (keepProbe) {
        stored.ProbeRspWpsIeLen = probeLen;
    }
    if (keepBeacon) {
        stored.BeaconWpsIeLen = beaconLen;
    }
}

void MergeScanTable(PMP_ADAPTER adapter, PREPOSIT_TABLE t)
{
    const BSS_TABLE* scan = adapter->ScanTable;
    LONGLONG now = Now();
    ULONG scanCount = scan->EntryCount < MAX_LEN_OF_BSS_TABLE ? scan->EntryCount : MAX_LEN_OF_BSS_TABLE;
    for (ULONG i = 0; i < scanCount; ++i) {
        const BSS_ENTRY& s = scan->BssEntry[i];
        ULONG found = RepositTableSearchByBand(adapter, nullptr, t, static_cast<ULONG>(s.Band), s.Bssid);
        if (found != 0xFFFFFFFFu) {
            RefreshEntry(t->RepositEntries[found], s);
            t->RepositTime[found] = now;
        } else if (t->RepositCount < MAX_LEN_OF_BSS_TABLE) {
            t->RepositEntries[t->RepositCount] = s;
            t->RepositTime[t->RepositCount] = now;
            t->RepositCount++;
        } else {
            LONG worst = WorstOf(t->RepositEntries, RepositCount(t));
            if (worst != BSS_NOT_FOUND && t->RepositEntries[worst].Rssi < s.Rssi) {
                t->RepositEntries[worst] = s;
                t->RepositTime[worst] = now;
            }
        }
    }
}

}  // namespace

BOOLEAN MlmeUpdateRepositTabFromScanTab(PMP_ADAPTER adapter, BOOLEAN force, BOOLEAN decideCountry)
{
    PREPOSIT_TABLE t = RepositTableGet(adapter);
    if (t == nullptr || adapter->ScanTable == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "roaming-candidate merge without storage");
        return FALSE;
    }
    // The merge never runs beside another holder of the table: without the flag it gives up.
    if (!TakeBusy(adapter)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "roaming-candidate table busy: merge skipped");
        return FALSE;
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_HALT_IN_PROGRESS)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "adapter halting: no roaming-candidate merge");
        ReleaseBusy(adapter);
        return FALSE;
    }
    if (force || t->RepositUpdateNeeded || adapter->ScanTable->EntryCount != t->RepositCount) {
        MlmeUpdateABCleanChannelList(adapter);
        MlmeUpdateGoPreferredCleanChannelList(adapter);
        if (adapter->RegistryBlock.SsidCLNum != 0) {
            (void)MlmeUpdatePreferSsidTab(adapter, TRUE, FALSE);
        }
        MergeScanTable(adapter, t);
        MlmeRemoveAgeOutScanEntry(adapter);
        if (!force) {
            t->RepositUpdateNeeded = 0;
        }
    } else {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "roaming-candidate table up to date");
    }
    ReleaseBusy(adapter);

    if (!adapter->Country.CountryFixed && decideCountry && adapter->ScanDoneSinceRequest &&
        adapter->RegistryBlock.DynamicCountryDecisionEn) {
        USHORT country = 0;
        DomainCountryDecisionByBcn(adapter, &country);
        if (country != 0 && country != adapter->WorkingCfg.CountryCode) {
            adapter->WorkingCfg.CountryCode = country;
            (void)DomainConfigureDomainInfo(adapter, adapter->PortList[0]);
        }
    }
    if (adapter->RegistryBlock.BandSelection == 3) {
        RepositTableCompact(adapter);
    }
    return TRUE;
}

void MlmeRemoveAgeOutScanEntry(PMP_ADAPTER adapter)
{
    PREPOSIT_TABLE t = RepositTableGet(adapter);
    if (t == nullptr || t->RepositCount == 0) {
        return;
    }
    LONGLONG now = Now();
    RemoveWhere(t, [&](ULONG i) { return IsOld(now, t->RepositTime[i], t->RepositAgeSeconds); });
    MlmeDumpScanTab(adapter, SCAN_TAB_DUMP_BOTH);
}

void RepositTableCompact(PMP_ADAPTER adapter)
{
    PREPOSIT_TABLE t = RepositTableGet(adapter);
    if (t == nullptr) {
        return;
    }
    RemoveWhere(t, [&](ULONG i) { return t->RepositEntries[i].Band != BAND_6G; });
    MlmeDumpScanTab(adapter, SCAN_TAB_DUMP_REPOSIT);
}

LONG MlmeGetWorstRssiBssFromRepositTab(PMP_ADAPTER adapter)
{
    PREPOSIT_TABLE t = RepositTableGet(adapter);
    return t != nullptr ? WorstOf(t->RepositEntries, RepositCount(t)) : BSS_NOT_FOUND;
}

void BssRepositTableDeleteEntryEx(PMP_ADAPTER adapter, const UCHAR* bssid, UCHAR channel, const UCHAR* ssid,
                                  UCHAR ssidLen)
{
    PREPOSIT_TABLE t = RepositTableGet(adapter);
    if (t == nullptr) {
        return;
    }
    ULONG count = RepositCount(t);
    for (ULONG i = 0; i < count; ++i) {
        const BSS_ENTRY& e = t->RepositEntries[i];
        if (e.Channel != channel || std::memcmp(e.Bssid, bssid, 6) != 0 || !SsidMatches(e, ssid, ssidLen)) {
            continue;
        }
        for (ULONG j = i; j + 1 < count; ++j) {
            t->RepositEntries[j] = t->RepositEntries[j + 1];
            t->RepositTime[j] = t->RepositTime[j + 1];
        }
        if (t->RepositCount >= 1 && t->RepositCount <= MAX_LEN_OF_BSS_TABLE) {
            t->RepositCount--;
        }
        std::memset(&t->RepositEntries[count - 1], 0, sizeof(BSS_ENTRY));
        t->RepositTime[count - 1] = 0;
        return;
    }
}

BOOLEAN MlmeChkHasValidRoamAp(PMP_ADAPTER adapter, PMP_PORT port)
{
    PREPOSIT_TABLE t = RepositTableGet(adapter);
    if (t == nullptr || port == nullptr) {
        return FALSE;
    }
    const BSS_TABLE& prefer = t->PreferSsid.Table;
    bool repositValid = t->RepositCount >= 1 && t->RepositCount <= MAX_LEN_OF_BSS_TABLE;
    bool preferValid = prefer.EntryCount >= 1 && prefer.EntryCount <= MAX_LEN_OF_BSS_TABLE;
    if (!repositValid && !preferValid) {
        return FALSE;
    }
    auto usable = [&](const BSS_ENTRY& e) {
        return std::memcmp(e.Bssid, port->Bssid, 6) != 0 && SsidMatches(e, port->CurrentSsid, port->CurrentSsidLen) &&
               e.AuthMode == port->Mlme.AuthAlgorithm;
    };
    for (ULONG i = 0; i < RepositCount(t); ++i) {
        if (usable(t->RepositEntries[i])) {
            return TRUE;
        }
    }
    ULONG preferCount = prefer.EntryCount < MAX_LEN_OF_BSS_TABLE ? prefer.EntryCount : MAX_LEN_OF_BSS_TABLE;
    for (ULONG i = 0; i < preferCount; ++i) {
        if (usable(prefer.BssEntry[i])) {
            return TRUE;
        }
    }
    return FALSE;
}

BOOLEAN MlmeUpdatePreferSsidTab(PMP_ADAPTER adapter, BOOLEAN update, BOOLEAN ageOut)
{
    PREPOSIT_TABLE t = RepositTableGet(adapter);
    PMP_PORT port0 = adapter != nullptr ? adapter->PortList[0] : nullptr;
    if (t == nullptr || port0 == nullptr || adapter->ScanTable == nullptr) {
        return FALSE;
    }
    BssTableInit(&t->SsidWorkTable);
    const UCHAR* ssid = port0->CurrentSsid;
    UCHAR ssidLen = port0->CurrentSsidLen;
    if (ssidLen == 0) {
        ssid = port0->LastConnectSsid;
        ssidLen = port0->LastConnectSsidLen;
    }
    if (ssidLen == 0 || ssidLen > BSS_SSID_MAX) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "preferred-SSID table: no SSID");
        return FALSE;
    }
    scanSsidTabSort(adapter, port0, adapter->ScanTable, &t->SsidWorkTable, ssid, ssidLen);
    if (update) {
        PREFER_SSID_TABLE& p = t->PreferSsid;
        BSS_TABLE& table = p.Table;
        if ((port0->ConnectionFlags & PORT_CONN_CONNECTED) != 0 && table.EntryCount != 0 &&
            !SsidMatches(table.BssEntry[0], port0->CurrentSsid, port0->CurrentSsidLen)) {
            BssTableInit(&table);
            std::memset(p.Time, 0, sizeof(p.Time));
        }
        LONGLONG now = Now();
        ULONG work = t->SsidWorkTable.EntryCount < MAX_LEN_OF_BSS_TABLE ? t->SsidWorkTable.EntryCount
                                                                        : MAX_LEN_OF_BSS_TABLE;
        for (ULONG i = 0; i < work; ++i) {
            const BSS_ENTRY& e = t->SsidWorkTable.BssEntry[i];
            LONG found = BssTableFindBssidInBand(adapter, port0, &table, e.Band, e.Bssid);
            if (found != BSS_NOT_FOUND) {
                table.BssEntry[found] = e;
                p.Time[found] = now;
            } else if (table.EntryCount >= MAX_LEN_OF_BSS_TABLE) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "preferred-SSID table full");
                break;
            } else {
                table.BssEntry[table.EntryCount] = e;
                p.Time[table.EntryCount] = now;
                table.EntryCount++;
            }
        }
        if (ageOut) {
            MlmeRemoveAgeOutPreferSsidTab(adapter);
        }
    }
    return TRUE;
}

void MlmeRemoveAgeOutPreferSsidTab(PMP_ADAPTER adapter)
{
    PREPOSIT_TABLE t = RepositTableGet(adapter);
    if (t == nullptr) {
        return;
    }
    PREFER_SSID_TABLE& p = t->PreferSsid;
    LONGLONG now = Now();
    ULONG count = p.Table.EntryCount < MAX_LEN_OF_BSS_TABLE ? p.Table.EntryCount : MAX_LEN_OF_BSS_TABLE;
    for (LONG i = static_cast<LONG>(count) - 1; i >= 0; --i) {
        if (!IsOld(now, p.Time[i], adapter->RegistryBlock.SsidUpTime)) {
            continue;
        }
        ULONG last = p.Table.EntryCount - 1u;
        p.Table.BssEntry[i] = p.Table.BssEntry[last];
        p.Time[i] = p.Time[last];
        p.Table.EntryCount--;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "SSID work table %u entries, preferred-SSID table %u entries",
             t->SsidWorkTable.EntryCount, p.Table.EntryCount);
}

void UpdateRssiSampleAvg(PMP_PORT port, CHAR rssi0, CHAR rssi1, CHAR rssi2)
{
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "RSSI sample without a port");
        return;
    }
    const CHAR samples[3] = {rssi0, rssi1, rssi2};
    for (int i = 0; i < 3; ++i) {
        CHAR s = samples[i];
        if (static_cast<UCHAR>(s + 99) >= 80) {
            continue;  // outside -99..-20 dBm
        }
        port->RssiLastSample[i] = s;
        port->RssiSum[i] = static_cast<SHORT>(port->RssiSum[i] + s - port->RssiAvg[i]);
        port->RssiAvg[i] = static_cast<CHAR>(port->RssiSum[i] >> 3);
    }
}

BOOLEAN RssiChangeMonitorForScan(PMP_ADAPTER adapter, CHAR rssi)
{
    if (rssi > adapter->RssiPeak) {
        adapter->RssiPeak = rssi;
        adapter->RssiLowest = rssi;
    }
    if (rssi < adapter->RssiLowest) {
        adapter->RssiLowest = rssi;
    }
    if (adapter->RssiPeak != 0 && adapter->RssiLowest != 0 && !AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
        if (rssi >= -65) {
            return FALSE;
        }
        if (static_cast<LONG>(adapter->RssiPeak) - adapter->RssiLowest <=
            static_cast<LONG>(adapter->RegistryBlock.RoamingRssiReduce)) {
            return FALSE;
        }
        adapter->RssiPeak = 0;
        adapter->RssiLowest = 0;
        return TRUE;
    }
    adapter->RssiPeak = rssi;
    adapter->RssiLowest = rssi;
    return FALSE;
}
