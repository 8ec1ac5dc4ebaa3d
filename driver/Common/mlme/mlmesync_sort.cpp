// Candidate sorting: the score of a BSS, the candidate table of a connection or roam, the better-AP
// test, the preferred-SSID table's filling and the marking of an SSID's channels.
#include "Common/mlme/mlmesync_sort.h"

#include "Common/mlme/mlmesync.h"

#include <cstring>

#include "Common/mlme/mlmesync_reposit.h"
#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kCipherTkip = 2;
constexpr ULONG kCipherWep40 = 1;
constexpr ULONG kCipherWep104 = 5;
constexpr ULONG kCipherWep = 0x101;
constexpr ULONG kAuthWpa = 3;
constexpr ULONG kAuthWpaPsk = 4;
constexpr ULONG kAuthRsna = 6;
constexpr ULONG kAuthRsnaPsk = 7;
constexpr ULONG kAuthWpa3_192 = 8;
constexpr ULONG kAuthSae = 9;
constexpr ULONG kAuthOwe = 10;
constexpr ULONG kHlkAnyBssid = 0x2000;
constexpr USHORT kEtherTypeEapol = 0x888E;
constexpr USHORT kCountryUs = 0x5355;  // "US", first letter in the low byte
constexpr LONGLONG kTicksPerSecond = 10000000;

bool SsidEquals(const BSS_ENTRY& e, const UCHAR* ssid, UCHAR ssidLen)
{
    return e.SsidLen == ssidLen && ssidLen <= BSS_SSID_MAX && (ssidLen == 0 || std::memcmp(e.Ssid, ssid, ssidLen) == 0);
}

bool IsWep(ULONG cipher) { return cipher == kCipherWep40 || cipher == kCipherWep104 || cipher == kCipherWep; }

bool IsZeroAddress(const UCHAR* a)
{
    for (int i = 0; i < 6; ++i) {
        if (a[i] != 0) {
            return false;
        }
    }
    return true;
}

bool Offers(const BSS_ENTRY& e, ULONG algorithm) { return e.AuthMode == algorithm || e.AuthModeAux == algorithm; }

// Unless either element announces mixed ciphers, the unicast cipher must be one of the group ciphers.
bool GroupCipherTest(const BSS_ENTRY& e, ULONG u)
{
    if (e.WpaCipher.MixedCipher || e.RsnCipher.MixedCipher) {
        return true;
    }
    return u == e.WpaCipher.GroupCipher || u == e.RsnCipher.GroupCipher;
}

bool RsnGroupTest(const BSS_ENTRY& e, ULONG u)
{
    return !(u < e.RsnCipher.GroupCipher && e.RsnCipher.GroupCipher < 0x100 && e.RsnCipher.MixedCipher != 1);
}

bool WpaGroupTest(const BSS_ENTRY& e, ULONG u) { return !(u < e.WpaCipher.GroupCipher && e.WepGroupCipher == 0); }

// A TKIP profile needs TKIP among the four pairwise values of the two cipher records.
bool TkipTest(const BSS_ENTRY& e, ULONG u)
{
    if (u != kCipherTkip) {
        return true;
    }
    return e.WpaCipher.PairwiseCipher == u || e.WpaCipher.PairwiseCipherAux == u || e.RsnCipher.PairwiseCipher == u ||
           e.RsnCipher.PairwiseCipherAux == u;
}

// The privacy exemption list's first EtherType (as the OS gave it); 0 without a list.
USHORT FirstExemptEtherType(PMP_PORT port)
{
    const PORT_OWNED_BUFFER& list = port->PrivacyExemptionList;
    if (list.Buffer == nullptr || list.Size < 14) {
        return 0;
    }
    const ULONG entries = list.Buffer[4] | (list.Buffer[5] << 8) | (list.Buffer[6] << 16) |
                          (static_cast<ULONG>(list.Buffer[7]) << 24);
    if (entries == 0) {
        return 0;
    }
    return static_cast<USHORT>(list.Buffer[12] | (list.Buffer[13] << 8));
}

// The security filter for an authentication algorithm of 3 or more (entry SSID matching).
bool SecurityFilterRsn(PMP_PORT port, const BSS_ENTRY& e, ULONG a, ULONG u)
{
    const bool rsnFamily = a == kAuthRsna || a == kAuthRsnaPsk;
    if (!rsnFamily && !Offers(e, a)) {
        return false;
    }
    if (rsnFamily) {
        if (!GroupCipherTest(e, u) || !RsnGroupTest(e, u) || !TkipTest(e, u)) {
            return false;
        }
        const PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
        if (cfg.RoamRequest && cfg.FtReady) {
            if (!e.RsnCipher.FtAkm || !e.MobilityDomain.Present) {
                return false;
            }
            if (cfg.CurrentMdPresent && e.MobilityDomain.MdId != cfg.CurrentMdId) {
                return false;
            }
        }
        return true;
    }
    switch (a) {
    case kAuthWpa:
    case kAuthWpaPsk:
    case kAuthWpa3_192:
    case kAuthSae:
    case kAuthOwe:
        return GroupCipherTest(e, u) && WpaGroupTest(e, u) && TkipTest(e, u);
    default:
        return false;
    }
}

// The security filter for an algorithm below 3; `mismatch` is set when a WEP profile takes a BSS of
// another encryption.
bool SecurityFilterLegacy(PMP_ADAPTER adapter, PMP_PORT port, const BSS_ENTRY& e, ULONG u, bool* mismatch)
{
    if (IsWep(u)) {
        if (!port->ExcludeUnencrypted) {
            return true;
        }
        if (!e.Privacy) {
            return false;
        }
        if (e.EncryptionStatus == u) {
            return true;
        }
        if (adapter->RegistryBlock.WepConnectCheckEncry == 0) {
            *mismatch = true;
            return true;
        }
        if (IsWep(e.EncryptionStatus)) {
            return true;
        }
        if (FirstExemptEtherType(port) == kEtherTypeEapol) {
            *mismatch = true;
            return true;
        }
        return false;
    }
    if (u == 0) {
        return !e.Privacy;
    }
    return true;
}

// The wildcard rule for an entry of another SSID when no SSID is wanted.
bool WildcardFilter(const BSS_ENTRY& e, ULONG a, ULONG u)
{
    if (a < kAuthWpa) {
        return e.EncryptionStatus == u;
    }
    if (!Offers(e, a)) {
        return false;
    }
    switch (a) {
    case kAuthWpa:
    case kAuthWpaPsk:
    case kAuthSae:
        return GroupCipherTest(e, u) && WpaGroupTest(e, u) && TkipTest(e, u);
    case kAuthRsna:
    case kAuthRsnaPsk:
        return GroupCipherTest(e, u) && RsnGroupTest(e, u) && TkipTest(e, u);
    default:
        return false;
    }
}

// The 6 GHz security rule: which entries of the 6 GHz band a chip that reports the band may join.
bool SixGhzSecurityApplies(PMP_ADAPTER adapter, const BSS_ENTRY& e)
{
    const UCHAR generation = HalDeviceGeneration(adapter->DeviceId);
    if ((generation != CHIP_GENERATION_SECOND && generation != CHIP_GENERATION_THIRD) ||
        HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_NO_6GHZ)) {
        return false;
    }
    const ULONG config = adapter->RegistryBlock.Config_6G;
    return (config & 0x1) != 0 && (config & 0x10) != 0 && adapter->SixGhzCapable != 0 && e.Band == BAND_6G;
}

bool SixGhzSecurityKeeps(const BSS_ENTRY& e)
{
    switch (e.AuthMode) {
    case kAuthSae: return e.RsnCipher.PmfRequired && (e.RsnCipher.RsnxeOctet & 0x20) != 0;
    case kAuthRsna: return e.RsnCipher.PmfRequired != 0;
    case kAuthOwe:
    case kAuthWpa3_192:
        return e.HiddenBeacon == 0 && (e.RsnCipher.RsnCapability & 0xC0) == 0xC0;
    default: return false;
    }
}

// The port's excluded BSSIDs hold the address.
bool Excluded(PMP_PORT port, const UCHAR* bssid)
{
    const PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    const ULONG count = cfg.DisallowedCounter < PORT_CONNECT_DISALLOWED ? cfg.DisallowedCounter : PORT_CONNECT_DISALLOWED;
    for (ULONG i = 0; i < count; ++i) {
        if (std::memcmp(cfg.DisallowedBssids[i], bssid, 6) == 0) {
            return true;
        }
    }
    return false;
}

bool Desired(PMP_PORT port, const UCHAR* bssid)
{
    const PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    const ULONG count = cfg.CandidateCount < PORT_CONNECT_CANDIDATES ? cfg.CandidateCount : PORT_CONNECT_CANDIDATES;
    for (ULONG i = 0; i < count; ++i) {
        if (std::memcmp(cfg.CandidateBssids[i], bssid, 6) == 0) {
            return true;
        }
    }
    return false;
}

void Append(PBSS_TABLE out, const BSS_ENTRY& e)
{
    out->BssEntry[out->EntryCount] = e;
    out->EntryCount++;
}

void SwapEntries(PBSS_ENTRY a, PBSS_ENTRY b, PBSS_ENTRY temporary)
{
    *temporary = *a;
    *a = *b;
    *b = *temporary;
}

LONGLONG Now()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return now.QuadPart;
}

}  // namespace

// ================================================================================================
// scores
// ================================================================================================
USHORT scanCalculateScoreByBand(PMP_ADAPTER adapter, const BSS_ENTRY* entry)
{
    const UCHAR preferred = adapter->RegistryBlock.PreferredBand;
    if (entry->Band != BAND_5G && entry->Band != BAND_6G) {
        if (preferred != 1) {
            return 0;
        }
        return adapter->RegistryBlock.isTPPreferBand != 0 ? 600 : 120;
    }
    if (entry->Rssi >= -69) {
        return 200;
    }
    if (entry->Rssi < -89) {
        return 0;
    }
    return (preferred == 2 || preferred == 3) ? 60 : 20;
}

USHORT scanCalculateScoreByBandwidth(PMP_ADAPTER adapter, const BSS_ENTRY* entry)
{
    UNREFERENCED_PARAMETER(adapter);
    USHORT score = 20;
    if (entry->HtCapabilityLen != 0) {
        score = (entry->HtCapability[0] & 0x02) != 0 ? 60 : 40;
    }
    if (entry->VhtPresent) {
        switch (entry->VhtOperation[0]) {
        case 0: score = 60; break;
        case 1: score = 80; break;
        case 2:
        case 3: score = 100; break;
        default: break;
        }
    }
    if (entry->HePresent && entry->Band == BAND_6G) {
        score = 80;
    }
    return score;
}

USHORT scanCalculateScoreByClientCnt(USHORT stationCount)
{
    if (stationCount <= 10) {
        return static_cast<USHORT>(100 - stationCount);
    }
    return stationCount < 30 ? 50 : 0;
}

USHORT scanCalculateScoreByChnlInfo(PMP_ADAPTER adapter, UCHAR channel)
{
    const SCAN_AP_NUM_TABLE& table = adapter->ScanApNum;
    const ULONG rows = table.RowCount < 118 ? table.RowCount : 118;
    ULONG position = 0;
    ULONG count = 0;
    for (; position < rows; ++position) {
        if (table.Rows[position].Channel == channel) {
            count = table.Rows[position].ApCount;
            break;
        }
    }
    if (position == adapter->Country.ChannelListCount) {
        return 0;
    }
    return count < 100 ? static_cast<USHORT>(100 - count) : 0;
}

USHORT scanCalculateTotalScore(PMP_ADAPTER adapter, const BSS_ENTRY* entry, CHAR rssi)
{
    if (adapter->StaConnect.GoPreferredBand != 0 && entry->Band == BAND_6G) {
        return 0;
    }
    const USHORT band = scanCalculateScoreByBand(adapter, entry);
    const USHORT bandwidth = scanCalculateScoreByBandwidth(adapter, entry);
    const USHORT clients = scanCalculateScoreByClientCnt(entry->QbssLoad.Valid ? entry->QbssLoad.StaCount : 0);
    const USHORT channel = scanCalculateScoreByChnlInfo(adapter, entry->Channel);
    const USHORT phy = entry->HePresent ? 100 : (entry->VhtPresent ? 80 : 20);
    USHORT signal = 0;
    if (rssi >= -48) {
        signal = 200;
    } else if (rssi >= -97) {
        signal = static_cast<USHORT>(4 * (rssi + 98));
    }
    return static_cast<USHORT>(phy + signal + clients + channel + bandwidth + band);
}

USHORT BssEntAddRssiWeight(PMP_ADAPTER adapter, const BSS_ENTRY* entry, CHAR rssi)
{
    if (adapter == nullptr || entry == nullptr) {
        return 0;
    }
    return scanCalculateTotalScore(adapter, entry, rssi == 0 ? entry->Rssi : rssi);
}

// ================================================================================================
// ordering
// ================================================================================================
void BssTableSortByRssi(PMP_ADAPTER adapter, PBSS_TABLE table)
{
    if (adapter == nullptr || table == nullptr) {
        return;
    }
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, sizeof(BSS_ENTRY), TAG_ZV05) != STATUS_SUCCESS || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "candidate sort: no temporary entry, the table stays as it is");
        return;
    }
    auto* temporary = static_cast<PBSS_ENTRY>(block);
    const ULONG count = table->EntryCount < MAX_LEN_OF_BSS_TABLE ? table->EntryCount : MAX_LEN_OF_BSS_TABLE;
    for (ULONG i = 0; i < count; ++i) {
        table->BssEntry[i].Score = BssEntAddRssiWeight(adapter, &table->BssEntry[i], 0);
    }
    for (ULONG i = 0; i + 1 < count; ++i) {
        for (ULONG j = i + 1; j < count; ++j) {
            if (table->BssEntry[i].Score < table->BssEntry[j].Score) {
                SwapEntries(&table->BssEntry[i], &table->BssEntry[j], temporary);
            }
        }
    }
    PlatformFreeMemory(block, sizeof(BSS_ENTRY));
    BssTableReindex(table);
}

void BssTableABandFirst(PMP_ADAPTER adapter, PBSS_TABLE table)
{
    if (adapter == nullptr || table == nullptr) {
        return;
    }
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, sizeof(BSS_TABLE), TAG_ZV05) != STATUS_SUCCESS || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "5 GHz first: no temporary table, the order stays");
        return;
    }
    auto* copy = static_cast<PBSS_TABLE>(block);
    const ULONG count = table->EntryCount < MAX_LEN_OF_BSS_TABLE ? table->EntryCount : MAX_LEN_OF_BSS_TABLE;
    std::memcpy(copy->BssEntry, table->BssEntry, count * sizeof(BSS_ENTRY));
    ULONG next = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (ULONG i = 0; i < count; ++i) {
            const bool low = copy->BssEntry[i].Band == BAND_24G;
            if (low == (pass == 1)) {
                table->BssEntry[next++] = copy->BssEntry[i];
            }
        }
    }
    PlatformFreeMemory(block, sizeof(BSS_TABLE));
    BssTableReindex(table);
}

void BssTableWPSAPFirst(PMP_ADAPTER adapter, PMP_PORT port, PBSS_TABLE table)
{
    if (adapter == nullptr || port == nullptr || table == nullptr) {
        return;
    }
    const ULONG count = table->EntryCount < MAX_LEN_OF_BSS_TABLE ? table->EntryCount : MAX_LEN_OF_BSS_TABLE;
    const UCHAR* target = port->P2pGroupBssid;
    if (IsZeroAddress(target)) {
        return;
    }
    bool moved = false;
    for (ULONG i = 1; i < count; ++i) {
        if (std::memcmp(table->BssEntry[i].Bssid, target, 6) != 0) {
            continue;
        }
        PVOID block = nullptr;
        if (PlatformAllocateMemory(adapter, &block, sizeof(BSS_ENTRY), TAG_ZV05) != STATUS_SUCCESS || block == nullptr) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "target first: no temporary entry");
            break;
        }
        SwapEntries(&table->BssEntry[i], &table->BssEntry[0], static_cast<PBSS_ENTRY>(block));
        PlatformFreeMemory(block, sizeof(BSS_ENTRY));
        moved = true;
    }
    if (moved) {
        BssTableReindex(table);
    }
}

// ================================================================================================
// the candidate table
// ================================================================================================
void BssTableSsidSort(PMP_ADAPTER adapter, PMP_PORT port, PBSS_TABLE out, const UCHAR* ssid, UCHAR ssidLen)
{
    if (adapter == nullptr || port == nullptr || out == nullptr) {
        return;
    }
    BssTableInit(out);
    adapter->StaConnect.WepMismatchAccepted = 0;
    if (ssidLen > BSS_SSID_MAX || (ssidLen != 0 && ssid == nullptr)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "candidate sort: SSID of %u bytes", static_cast<unsigned>(ssidLen));
        return;
    }
    PREPOSIT_TABLE reposit = RepositTableGet(adapter);
    if (reposit == nullptr || reposit->RepositEntries == nullptr) {
        return;
    }
    if (reposit->RepositCount > MAX_LEN_OF_BSS_TABLE) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "candidate sort: %u roaming candidates", static_cast<unsigned>(reposit->RepositCount));
        return;
    }
    const ULONG desiredType = adapter->WorkingCfg.NetworkType == BSS_ADHOC ? BSS_ADHOC : BSS_INFRA;
    const ULONG a = port->Cfg.AuthAlgorithm;
    const ULONG u = port->Cfg.PairwiseCipher;
    const PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    const LONGLONG now = Now();
    const LONGLONG roamAge = static_cast<LONGLONG>(adapter->RegistryBlock.RoamScanPeriod) * kTicksPerSecond;
    const UCHAR bandSelection = adapter->RegistryBlock.BandSelection;
    bool mismatch = false;
    for (ULONG i = 0; i < reposit->RepositCount && out->EntryCount < MAX_LEN_OF_BSS_TABLE; ++i) {
        const BSS_ENTRY& e = reposit->RepositEntries[i];
        if (desiredType == BSS_ADHOC && adapter->RegistryBlock.IEEE80211H &&
            (e.Channel == 52 || e.Channel == 56 || e.Channel == 60 || e.Channel == 64)) {
            continue;
        }
        if (cfg.RoamInProgress && now - static_cast<LONGLONG>(e.LastUpdateTime) > roamAge) {
            continue;
        }
        if (bandSelection != 0 && e.Band != bandSelection) {
            continue;
        }
        if (e.BssType != desiredType || !SsidEquals(e, ssid, ssidLen)) {
            if (ssidLen == 0 && e.BssType == desiredType && WildcardFilter(e, a, u)) {
                Append(out, e);
            }
            continue;
        }
        if (port->WpsMode != 0) {
            port->Cfg.AuthAlgorithm = e.AuthMode;
            port->Cfg.PairwiseCipher = e.EncryptionStatus;
            if (e.AuthMode >= kAuthRsna) {
                port->Cfg.PairwiseCipher = e.RsnCipher.PairwiseCipher;
                port->Cfg.GroupCipher = e.RsnCipher.GroupCipher;
            } else if (e.AuthMode >= kAuthWpa) {
                port->Cfg.PairwiseCipher = e.WpaCipher.PairwiseCipher;
                port->Cfg.GroupCipher = e.WpaCipher.GroupCipher;
            }
            port->Mlme.AuthAlgorithm = port->Cfg.AuthAlgorithm;
            port->Mlme.UnicastCipher = port->Cfg.PairwiseCipher;
            Append(out, e);
            continue;
        }
        if ((adapter->RegistryBlock.Hlk_feature_optional & kHlkAnyBssid) == 0 && !cfg.AnyBssid && !Desired(port, e.Bssid)) {
            continue;
        }
        if (Excluded(port, e.Bssid)) {
            continue;
        }
        if (!IsZeroAddress(port->Ind.RoamTarget) && !cfg.RoamRequest && std::memcmp(e.Bssid, port->Ind.RoamTarget, 6) != 0) {
            continue;
        }
        if (SixGhzSecurityApplies(adapter, e) && !SixGhzSecurityKeeps(e)) {
            continue;
        }
        if (adapter->RegistryBlock.DualClientEnable == 0 && adapter->WorkingCfg.CountryCode == kCountryUs &&
            e.He6gRegulatoryInfo == 1 && adapter->RegistryBlock.fgSkipRegulatory == 0) {
            continue;
        }
        bool entryMismatch = false;
        const bool keep = a >= kAuthWpa ? SecurityFilterRsn(port, e, a, u)
                                        : SecurityFilterLegacy(adapter, port, e, u, &entryMismatch);
        if (!keep) {
            continue;
        }
        if (ssidLen != 0) {
            mismatch = mismatch || entryMismatch;
            Append(out, e);
        }
    }
    if (mismatch) {
        adapter->StaConnect.WepMismatchAccepted = 1;
    }
    BssTableReindex(out);
    BssTableSortByRssi(adapter, out);
    if (adapter->WorkingCfg.PreferABand && out->EntryCount != 0 && adapter->WorkingCfg.ChannelMode == 1 &&
        port->PortNumber == 0) {
        BssTableABandFirst(adapter, out);
    }
    BssTableWPSAPFirst(adapter, port, out);
}

BOOLEAN CheckHasBetterAp(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr) {
        return FALSE;
    }
    if (port->CurrentSsidLen == 0) {
        return TRUE;
    }
    PREPOSIT_TABLE reposit = RepositTableGet(adapter);
    if (reposit == nullptr || reposit->RepositEntries == nullptr || reposit->RepositCount == 0 ||
        reposit->RepositCount > MAX_LEN_OF_BSS_TABLE) {
        return FALSE;
    }
    const UCHAR ssidLen = port->CurrentSsidLen <= BSS_SSID_MAX ? port->CurrentSsidLen : BSS_SSID_MAX;
    USHORT current = 0;
    for (ULONG i = 0; i < reposit->RepositCount; ++i) {
        const BSS_ENTRY& e = reposit->RepositEntries[i];
        if (std::memcmp(e.Bssid, port->Bssid, 6) == 0 && SsidEquals(e, port->CurrentSsid, ssidLen) &&
            static_cast<ULONG>(e.Band) == port->Channel.Band) {
            current = BssEntAddRssiWeight(adapter, &e, 0);
            break;
        }
    }
    const LONGLONG now = Now();
    const LONGLONG roamAge = static_cast<LONGLONG>(adapter->RegistryBlock.RoamScanPeriod) * kTicksPerSecond;
    for (ULONG i = 0; i < reposit->RepositCount; ++i) {
        const BSS_ENTRY& e = reposit->RepositEntries[i];
        if (std::memcmp(e.Bssid, port->Bssid, 6) == 0 || !SsidEquals(e, port->CurrentSsid, ssidLen) ||
            e.AuthMode != port->Cfg.AuthAlgorithm || now - static_cast<LONGLONG>(e.LastUpdateTime) > roamAge) {
            continue;
        }
        if (BssEntAddRssiWeight(adapter, &e, 0) > current) {
            return TRUE;
        }
    }
    return FALSE;
}

// ================================================================================================
// the preferred-SSID table and the SSID's channels
// ================================================================================================
void scanSsidTabSort(PMP_ADAPTER adapter, PMP_PORT port, const BSS_TABLE* source, PBSS_TABLE output,
                     const UCHAR* ssid, UCHAR ssidLen)
{
    if (output == nullptr) {
        return;
    }
    BssTableInit(output);
    if (adapter == nullptr || port == nullptr || source == nullptr || ssidLen == 0 || ssidLen > BSS_SSID_MAX ||
        ssid == nullptr) {
        return;
    }
    const ULONG a = port->Cfg.AuthAlgorithm;
    const ULONG u = port->Cfg.PairwiseCipher;
    const ULONG count = source->EntryCount < MAX_LEN_OF_BSS_TABLE ? source->EntryCount : MAX_LEN_OF_BSS_TABLE;
    for (ULONG i = 0; i < count; ++i) {
        const BSS_ENTRY& e = source->BssEntry[i];
        if (e.BssType == BSS_ADHOC || !SsidEquals(e, ssid, ssidLen) || !Offers(e, a)) {
            continue;
        }
        const bool cipherOk = a > kAuthOwe || a <= 2 || a == 5 || a == kAuthWpa3_192 || e.WpaCipher.MixedCipher ||
                              e.RsnCipher.MixedCipher || u == e.WpaCipher.GroupCipher || u == e.RsnCipher.GroupCipher;
        if (!cipherOk) {
            continue;
        }
        if (output->EntryCount >= MAX_LEN_OF_BSS_TABLE) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "preferred-SSID sort: the table is full");
            break;
        }
        Append(output, e);
    }
    BssTableReindex(output);
}

void scanMarkSsidChannels(PMP_ADAPTER adapter, const UCHAR* ssid, UCHAR ssidLen, ULONG authAlgorithm, ULONG cipher)
{
    PREPOSIT_TABLE reposit = RepositTableGet(adapter);
    if (reposit == nullptr || ssidLen > BSS_SSID_MAX) {
        return;
    }
    const BSS_TABLE& table = reposit->PreferSsid.Table;
    ALL_CHANNEL_LIST& list = adapter->ChannelLists.AllList;
    const ULONG records = list.Count < 0 ? 0 : (list.Count < ALL_CHANNEL_MAX ? static_cast<ULONG>(list.Count) : ALL_CHANNEL_MAX);
    const ULONG count = table.EntryCount < MAX_LEN_OF_BSS_TABLE ? table.EntryCount : MAX_LEN_OF_BSS_TABLE;
    PMP_PORT port0 = adapter->PortList[0];
    const bool connected = port0 != nullptr && (port0->ConnectionFlags & PORT_CONN_CONNECTED) != 0;
    for (ULONG i = 0; i < count; ++i) {
        const BSS_ENTRY& e = table.BssEntry[i];
        if (connected && (e.AuthMode != authAlgorithm || e.EncryptionStatus != cipher)) {
            continue;
        }
        if (e.SsidLen != ssidLen || (ssidLen != 0 && std::memcmp(e.Ssid, ssid, ssidLen) != 0)) {
            continue;
        }
        for (ULONG r = 0; r < records; ++r) {
            ALL_CHANNEL_RECORD& rec = list.Records[r];
            if (rec.Channel == e.Channel && rec.Band == static_cast<UCHAR>(e.Band)) {
                rec.Seen = 1;
                ++rec.Count;
            }
        }
    }
}
