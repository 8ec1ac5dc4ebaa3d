// The OS's connect, roam, disconnect and dot11 reset tasks, their abort handlers, and the setters of
// the connection settings they share.
#include "platform/wdi/wdiconnect.h"

#include <cstring>

#include "Common/ap/apmlme.h"
#include "Common/common.h"
#include "Common/fwsettings.h"
#include "Common/logevent.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmereq.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "Common/mlme/mlmesync_rnr.h"
#include "Common/qzcmd_bss.h"
#include "Common/qzcmd_scan.h"
#include "Common/rlm.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/ndiswdi.h"
#include "platform/wdi/wdievent.h"
#include "platform/wdi/wdimain.h"
#include "platform/wdi/wditask.h"

namespace {

constexpr ULONG kAuthSae = 9;
constexpr ULONG kAuthOwe = 10;
constexpr ULONG kAuthWpa3Enterprise = 11;
constexpr ULONG kAuthRsna = 6;
constexpr ULONG kAuthIhvRsnaPsk = 0x80000009u;
constexpr ULONG kCipherWep40 = 1;
constexpr ULONG kCipherTkip = 2;
constexpr ULONG kCipherCcmp = 4;
constexpr ULONG kCipherWep104 = 5;
constexpr ULONG kCipherGcmp256 = 9;
constexpr ULONG kCipherWep = 0x101;
constexpr ULONG kCipherIhvCcmp = 0x80000008u;
constexpr ULONG kSubtypeStation = 0;
constexpr ULONG kSubtypeClient = 1;
constexpr ULONG kSubtypeRunningGo = 4;
constexpr UCHAR kRoamRefusedCode = 0x74;
constexpr ULONG kDisassocReasonRoam = 2;
constexpr ULONG kDisassocCodeRoam = 0x6B;
constexpr USHORT kOwnPeerRole = 1;
constexpr ULONG kDeferredWaitPolls = 80000;  // 800 ms in 10-microsecond waits
constexpr NTSTATUS kStatusPending = static_cast<NTSTATUS>(0x103L);
constexpr NTSTATUS kStatusNotConnected = static_cast<NTSTATUS>(0xC0000184L);
constexpr ULONG kMfpCapableBit = 0x2;     // "Hlk_feature_optional" bits
constexpr ULONG kMfpRequiredBit = 0x40;
constexpr ULONG kCertRegOwe = 0x2;        // "CertReg" bit 1
constexpr UCHAR kNativeDisassocPeerType = 0x80;
constexpr UCHAR kNativeDisassocPeerRevision = 1;
constexpr USHORT kNativeDisassocPeerSize = 12;
constexpr UCHAR kGoChannelSwitchFlag = 0x20;

const UCHAR kZeroAddress[6] = {};
const UCHAR kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

bool IsZero(const UCHAR* a, ULONG n)
{
    for (ULONG i = 0; i < n; ++i) {
        if (a[i] != 0) {
            return false;
        }
    }
    return true;
}

bool AtDispatch() { return KeGetCurrentIrql() >= DISPATCH_LEVEL; }

// The station and Wi-Fi Direct ports the station setters serve: subtype 0 or 1, or types 3 to 5.
bool StationLike(PMP_PORT port)
{
    return port->OpMode == kSubtypeStation || port->OpMode == kSubtypeClient ||
           (port->PortType >= WFD_DEVICE && port->PortType <= WFD_CLIENT);
}

bool SoftAp(PMP_PORT port) { return port->PortType == HELPER || port->PortType == EXTAP; }

void FreeOwned(PUCHAR* buffer, ULONG* length)
{
    if (*buffer != nullptr) {
        PlatformFreeMemory(*buffer, *length);
    }
    *buffer = nullptr;
    *length = 0;
}

// A copy of `length` bytes (pool tag "ZV51"); length 0 and no buffer when it cannot be allocated.
void CopyOwned(PMP_ADAPTER adapter, PUCHAR* buffer, ULONG* length, const UCHAR* bytes, ULONG size)
{
    FreeOwned(buffer, length);
    if (size == 0 || bytes == nullptr) {
        return;
    }
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, size, TAG_ZV51) != STATUS_SUCCESS || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "connection settings: no copy of %u element bytes", static_cast<unsigned>(size));
        return;
    }
    std::memcpy(block, bytes, size);
    *buffer = static_cast<PUCHAR>(block);
    *length = size;
}

void FreeFtSlot(PORT_FT_CANDIDATE& slot)
{
    FreeOwned(&slot.Mde, &slot.MdeLength);
    FreeOwned(&slot.Fte, &slot.FteLength);
    std::memset(&slot, 0, sizeof(slot));
}

// The PHY mode a host-FIPS connection runs with.
UCHAR FipsPhyMode(UCHAR mode)
{
    switch (mode) {
    case PHY_11GN_MIXED: return PHY_11G;
    case PHY_11BGN_MIXED: return PHY_11BG_MIXED;
    case PHY_11AN_MIXED:
    case PHY_11VHT5G_ONLY: return PHY_11A;
    default: return PHY_11ABG_MIXED;
    }
}

// The PHY mode without HT for WEP and TKIP.
UCHAR NonHtPhyMode(UCHAR mode)
{
    switch (mode) {
    case PHY_11ABGN_MIXED:
    case PHY_11AGN_MIXED:
    case PHY_11VHT:
    case PHY_11He:
    case PHY_11BE: return PHY_11ABG_MIXED;
    case PHY_11N:
    case PHY_11GN_MIXED: return PHY_11G;
    case PHY_11AN_MIXED: return PHY_11A;
    default: return PHY_11BG_MIXED;
    }
}

// Applies a PHY mode at once (host FIPS) or through the control thread.
void ApplyPhyMode(PMP_ADAPTER adapter, PMP_PORT port, UCHAR mode)
{
    if (port->ConnectConfig.HostFips) {
        (void)MlmeInfoSetPhyMode(adapter, port, mode, 0);
        return;
    }
    const ULONG word = mode;
    (void)QZEnqueueInternalCmd(adapter, port, INTERNAL_CMD_SET_PHY_MODE, &word, sizeof(word));
}

// The extra association-request elements hold a WPS vendor element (00:50:F2 type 4).
bool ExtraIesHoldWps(const PORT_CONNECT_CONFIG& cfg)
{
    const UCHAR* p = cfg.ExtraAssocIes;
    ULONG left = p != nullptr ? cfg.ExtraAssocIesLength : 0;
    while (left >= 2) {
        const ULONG length = p[1];
        if (2u + length > left) {
            break;
        }
        if (p[0] == 0xDD && length >= 4 && p[2] == 0x00 && p[3] == 0x50 && p[4] == 0xF2 && p[5] == 0x04) {
            return true;
        }
        p += 2 + length;
        left -= 2 + length;
    }
    return false;
}

// Restarts the port's 100 ms MLME job and 1000 ms transmit-hang check.
void RestartPeriodicTimers(PMP_PORT port)
{
    if (port->MlmePeriodicTimer.Initialized) {
        (void)PlatformSetTimer(port, &port->MlmePeriodicTimer, 100);
    }
    if (port->TxHangTimer.Initialized) {
        (void)PlatformSetTimer(port, &port->TxHangTimer, 1000);
    }
}

// The first SSID of the list as a record (an empty one when longer than 32 bytes), to the port.
void ApplySsid(PMP_ADAPTER adapter, PMP_PORT port, const WDI_CONNECT_PARAMETERS& p)
{
    if (p.SsidList.ElementCount == 0 || p.SsidList.pElements == nullptr) {
        return;
    }
    const WDI_BYTE_ARRAY& first = p.SsidList.pElements[0];
    PORT_SSID_RECORD record{};
    if (first.ElementCount <= PORT_CONNECT_SSID_MAX) {
        record.SsidLength = first.ElementCount;
        if (first.ElementCount != 0) {
            std::memcpy(record.Ssid, first.pElements, first.ElementCount);
        }
    } else {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "connect: SSID of %u bytes taken as empty",
                 static_cast<unsigned>(first.ElementCount));
    }
    WdiSetDesiredSsidList(adapter, port, &record);
}

void ApplyAlgorithms(PMP_ADAPTER adapter, PMP_PORT port, const WDI_CONNECT_PARAMETERS& p)
{
    if (p.AuthAlgorithms.ElementCount != 0 && p.AuthAlgorithms.pElements != nullptr) {
        WdiSetAuthenticationAlgorithm(adapter, port, p.AuthAlgorithms.pElements[0]);
    }
}

void ApplyCiphers(PMP_ADAPTER adapter, PMP_PORT port, const WDI_CONNECT_PARAMETERS& p)
{
    if (p.UnicastCiphers.ElementCount != 0 && p.UnicastCiphers.pElements != nullptr) {
        WdiSettUnicastCipherAlgorithm(adapter, port, p.UnicastCiphers.pElements[0]);
    }
    if (p.MulticastCiphers.ElementCount != 0 && p.MulticastCiphers.pElements != nullptr) {
        WdiSetMulticastCipherAlgorithm(adapter, port, p.MulticastCiphers.ElementCount, p.MulticastCiphers.pElements);
    }
}

void ApplyExtraIes(PMP_ADAPTER adapter, PMP_PORT port, const WDI_CONNECT_PARAMETERS& p)
{
    if ((p.Presence & WDI_CONNECT_PRESENT_EXTRA_IES) == 0 || p.ExtraAssociationRequestIes.ElementCount == 0) {
        return;
    }
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    CopyOwned(adapter, &cfg.ExtraAssocIes, &cfg.ExtraAssocIesLength, p.ExtraAssociationRequestIes.pElements,
              p.ExtraAssociationRequestIes.ElementCount);
    std::memset(cfg.ExtraAssocIesBssid, 0, sizeof(cfg.ExtraAssocIesBssid));
    if (p.BssEntries.ElementCount != 0 && p.BssEntries.pElements != nullptr) {
        std::memcpy(cfg.ExtraAssocIesBssid, p.BssEntries.pElements[0].Bssid, 6);
    }
}

void ApplyPhyType(PMP_PORT port, const WDI_CONNECT_PARAMETERS& p)
{
    if ((p.Presence & WDI_CONNECT_PRESENT_PHY_TYPES) != 0 && p.PhyTypes.ElementCount != 0 && p.PhyTypes.pElements != nullptr) {
        port->ConnectConfig.PhyType = p.PhyTypes.pElements[0];
    }
}

void ApplyDisallowed(PMP_PORT port, const WDI_CONNECT_PARAMETERS& p)
{
    if ((p.Presence & WDI_CONNECT_PRESENT_DISALLOWED) == 0 || p.DisallowedBssids.pElements == nullptr) {
        return;
    }
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    const ULONG count = p.DisallowedBssids.ElementCount < PORT_CONNECT_DISALLOWED ? p.DisallowedBssids.ElementCount
                                                                                   : PORT_CONNECT_DISALLOWED;
    for (ULONG i = 0; i < count; ++i) {
        std::memcpy(cfg.DisallowedBssids[i], p.DisallowedBssids.pElements[i].Address, 6);
        cfg.DisallowedCounter++;
    }
}

// The candidate list from the first eight BSS entries; `requirePmkid` asks for one entry with a PMKID.
void ApplyCandidates(PMP_PORT port, const WDI_CONNECT_PARAMETERS& p, bool requirePmkid)
{
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    const ULONG entries = p.BssEntries.pElements != nullptr ? p.BssEntries.ElementCount : 0;
    const ULONG count = entries < PORT_CONNECT_CANDIDATES ? entries : PORT_CONNECT_CANDIDATES;
    bool take = count != 0 && !IsZero(p.BssEntries.pElements[0].Bssid, 6) &&
                std::memcmp(p.BssEntries.pElements[0].Bssid, kBroadcast, 6) != 0;
    if (take && requirePmkid) {
        bool pmkid = false;
        for (ULONG i = 0; i < count && !pmkid; ++i) {
            const WDI_CONNECT_BSS_ENTRY& e = p.BssEntries.pElements[i];
            pmkid = !IsZero(e.Bssid, 6) && (e.Presence & WDI_CONNECT_BSS_PRESENT_PMKID) != 0;
        }
        take = pmkid;
    }
    if (!take) {
        cfg.AnyBssid = 1;
        return;
    }
    std::memset(cfg.CandidateBssids, 0, sizeof(cfg.CandidateBssids));
    for (ULONG i = 0; i < count; ++i) {
        std::memcpy(cfg.CandidateBssids[i], p.BssEntries.pElements[i].Bssid, 6);
    }
    cfg.CandidateCount = count;
    cfg.AnyBssid = 0;
}

// The PMKID cache from the first eight BSS entries; with `certRule` an entry without a PMKID moves
// the store position back to the recorded count.
void ApplyPmkidCache(PMP_ADAPTER adapter, PMP_PORT port, const WDI_CONNECT_PARAMETERS& p, bool certRule)
{
    STA_CONNECT_ADAPTER_STATE& sta = adapter->StaConnect;
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    const ULONG entries = p.BssEntries.pElements != nullptr ? p.BssEntries.ElementCount : 0;
    const ULONG walk = entries < PMKID_CACHE_ENTRIES ? entries : PMKID_CACHE_ENTRIES;
    ULONG position = 0;
    for (ULONG i = 0; i < walk; ++i) {
        const WDI_CONNECT_BSS_ENTRY& e = p.BssEntries.pElements[i];
        if (!IsZero(e.Bssid, 6) && (e.Presence & WDI_CONNECT_BSS_PRESENT_PMKID) != 0) {
            if (position == 0) {
                sta.PmkidCount = 0;
                std::memset(sta.PmkidCache, 0, sizeof(sta.PmkidCache));
            }
            // The position never passes the cache (it counts stored entries, at most eight).
            if (position < PMKID_CACHE_ENTRIES) {
                std::memcpy(sta.PmkidCache[position].Bssid, e.Bssid, 6);
                std::memcpy(sta.PmkidCache[position].Pmkid, e.Pmkid, PMKID_LENGTH);
                position++;
            }
        } else if (certRule) {
            position = sta.PmkidCount < PMKID_CACHE_ENTRIES ? sta.PmkidCount : PMKID_CACHE_ENTRIES;
        }
    }
    sta.PmkidCount = position;
    if (cfg.AnyBssid != 0 || cfg.CandidateCount == 0) {
        return;
    }
    ULONG i = 0;
    while (i < sta.PmkidCount) {
        bool candidate = false;
        for (ULONG c = 0; c < cfg.CandidateCount && c < PORT_CONNECT_CANDIDATES && !candidate; ++c) {
            candidate = std::memcmp(cfg.CandidateBssids[c], sta.PmkidCache[i].Bssid, 6) == 0;
        }
        if (!candidate) {
            sta.PmkidCache[i] = sta.PmkidCache[sta.PmkidCount - 1];
            std::memset(&sta.PmkidCache[sta.PmkidCount - 1], 0, sizeof(PMKID_CACHE_ENTRY));
            sta.PmkidCount--;
            continue;
        }
        if (port->Cfg.AuthAlgorithm == kAuthSae) {
            cfg.SaeWord = 0x100;
        }
        ++i;
    }
}

void ClearFtSlots(PMP_PORT port, bool bothFurtherBuffers)
{
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    for (PORT_FT_CANDIDATE& slot : cfg.FtCandidates) {
        FreeFtSlot(slot);
    }
    cfg.FtCandidateCount = 0;
    const ULONG buffers = bothFurtherBuffers ? PORT_FT_ELEMENT_BUFFERS : 1;
    for (ULONG i = 0; i < buffers; ++i) {
        FreeOwned(&port->Ind.FtElements[i], &port->Ind.FtElementLengths[i]);
    }
}

// One FT slot from a mobility domain element of exactly five bytes.
void FillFtMde(PMP_ADAPTER adapter, PORT_FT_CANDIDATE& slot, const UCHAR* bssid, const WDI_BYTE_ARRAY& mde)
{
    std::memcpy(slot.Bssid, bssid, 6);
    if (mde.ElementCount != 5 || mde.pElements == nullptr) {
        return;
    }
    std::memcpy(slot.MdIdAndCapability, mde.pElements + 2, 3);
    CopyOwned(adapter, &slot.Mde, &slot.MdeLength, mde.pElements, 5);
}

// The connect task's FT slots: entries whose initial-association parameters carry a 5-byte MDE.
void ApplyFtConnect(PMP_ADAPTER adapter, PMP_PORT port, const WDI_CONNECT_PARAMETERS& p)
{
    ClearFtSlots(port, false);
    const ULONG entries = p.BssEntries.pElements != nullptr ? p.BssEntries.ElementCount : 0;
    if (entries == 0 || adapter->RegistryBlock.FastTransition != 1) {
        return;
    }
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    const ULONG walk = entries < PORT_CONNECT_FT_SLOTS ? entries : PORT_CONNECT_FT_SLOTS;
    for (ULONG i = 0; i < walk; ++i) {
        const WDI_CONNECT_BSS_ENTRY& e = p.BssEntries.pElements[i];
        if ((e.Presence & WDI_CONNECT_BSS_PRESENT_FT_INITIAL) == 0 || (e.FtInitial.Presence & WDI_FT_PRESENT_MDE) == 0 ||
            e.FtInitial.Mde.ElementCount != 5) {
            continue;
        }
        FillFtMde(adapter, cfg.FtCandidates[cfg.FtCandidateCount], e.Bssid, e.FtInitial.Mde);
        cfg.FtCandidateCount++;
    }
}

// The roam task's FT slots: entries that carry reassociation parameters.
void ApplyFtRoam(PMP_ADAPTER adapter, PMP_PORT port, const WDI_CONNECT_PARAMETERS& p)
{
    ClearFtSlots(port, true);
    const ULONG entries = p.BssEntries.pElements != nullptr ? p.BssEntries.ElementCount : 0;
    if (entries == 0 || adapter->RegistryBlock.FastTransition != 1) {
        return;
    }
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    const ULONG walk = entries < PORT_CONNECT_FT_SLOTS ? entries : PORT_CONNECT_FT_SLOTS;
    for (ULONG i = 0; i < walk; ++i) {
        const WDI_CONNECT_BSS_ENTRY& e = p.BssEntries.pElements[i];
        if ((e.Presence & WDI_CONNECT_BSS_PRESENT_FT_REASSOC) == 0) {
            continue;
        }
        PORT_FT_CANDIDATE& slot = cfg.FtCandidates[cfg.FtCandidateCount];
        std::memcpy(slot.Bssid, e.Bssid, 6);
        if ((e.FtReassoc.Presence & WDI_FT_PRESENT_MDE) != 0) {
            FillFtMde(adapter, slot, e.Bssid, e.FtReassoc.Mde);
        }
        if ((e.FtReassoc.Presence & WDI_FT_PRESENT_FTE) != 0) {
            CopyOwned(adapter, &slot.Fte, &slot.FteLength, e.FtReassoc.Fte.pElements, e.FtReassoc.Fte.ElementCount);
        }
        if ((e.FtReassoc.Presence & WDI_FT_PRESENT_PMKR0_NAME) != 0 && !IsZero(e.FtReassoc.PmkR0Name, 16)) {
            std::memcpy(slot.PmkR0Name, e.FtReassoc.PmkR0Name, 16);
        }
        cfg.FtCandidateCount++;
    }
}

// Hotspot 2.0 data of the connect task.
void ApplyHotspot(PMP_ADAPTER adapter, PMP_PORT port, const WDI_CONNECT_PARAMETERS& p)
{
    if ((p.Presence & WDI_CONNECT_PRESENT_HESSID_INFO) == 0 || adapter->RegistryBlock.Hotspot20Enable == 0) {
        return;
    }
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    cfg.AccessNetworkType = p.HessidInfo.AccessNetworkType;
    const WDI_BYTE_ARRAY& element = p.HessidInfo.HotspotIndicationElement;
    if (element.ElementCount != 0 && element.pElements != nullptr) {
        if (element.ElementCount <= PORT_CONNECT_HS20_IE_MAX) {
            WdiSetHS20IE(port, element.pElements, static_cast<UCHAR>(element.ElementCount));
        } else {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "Hotspot 2.0 element of %u bytes not taken",
                     static_cast<unsigned>(element.ElementCount));
        }
    }
    const WDI_MAC_ADDRESS_LIST& hessids = p.HessidInfo.Hessids;
    if (hessids.ElementCount != 0 && hessids.pElements != nullptr) {
        // The count travels as a byte: a longer list keeps its first 255 entries.
        const UCHAR count = static_cast<UCHAR>(hessids.ElementCount < 255 ? hessids.ElementCount : 255);
        WdiSetHS20HESSID(adapter, port, hessids.pElements[0].Address, count);
        cfg.HessidCount = cfg.Hessids != nullptr ? count : 0;
    }
}

// The certification test flag: "Wi-Fi-5.2.1" with SAE or "Wi-Fi-5.2.2" with OWE.
void ApplyCertFlag(PMP_PORT port)
{
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    const ULONG algorithm = port->Cfg.AuthAlgorithm;
    const bool sae = std::memcmp(cfg.DesiredSsid, "Wi-Fi-5.2.1", 11) == 0 && algorithm == kAuthSae;
    const bool owe = std::memcmp(cfg.DesiredSsid, "Wi-Fi-5.2.2", 11) == 0 && algorithm == kAuthOwe;
    cfg.CertTestFlag = (sae || owe) ? 1 : 0;
}

void ApplyOweElement(PMP_ADAPTER adapter, PMP_PORT port, const WDI_CONNECT_PARAMETERS& p)
{
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    STA_CONNECT_ADAPTER_STATE& sta = adapter->StaConnect;
    if ((p.Presence & WDI_CONNECT_PRESENT_OWE_DH) != 0 && p.OweDhIe.ElementCount != 0) {
        CopyOwned(adapter, &cfg.OweDhIe, &cfg.OweDhIeLength, p.OweDhIe.pElements, p.OweDhIe.ElementCount);
    }
    const bool cert = (adapter->RegistryBlock.CertReg & kCertRegOwe) != 0 && cfg.DesiredSsidLength == 11 &&
                      std::memcmp(cfg.DesiredSsid, "Wi-Fi-5.2.5", 11) == 0;
    if (!cert) {
        sta.OweCertCounter = 0;
        return;
    }
    if (sta.OweCertCounter == 1 && cfg.OweDhIe != nullptr && cfg.OweDhIeLength > 3) {
        cfg.OweDhIe[3] = 32;
    }
    sta.OweCertCounter = static_cast<UCHAR>((sta.OweCertCounter + 1) % 3);
}

// Clears the port's per-attempt connect state.
void ResetAttemptState(PMP_PORT port)
{
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    cfg.AttemptFlag = 0;
    cfg.AttemptCounter = 0;
    std::memset(cfg.AttemptAddress, 0, sizeof(cfg.AttemptAddress));
    cfg.LinkChange = 0;
}

// Disconnects the port: from dispatch level through the control thread (then an 800 ms wait),
// otherwise at once. `parameters` are the 8 bytes {peer, reason} of an OS disconnect, or none.
NTSTATUS Disconnect(PMP_ADAPTER adapter, PMP_PORT port, const void* parameters, ULONG length)
{
    if (AtDispatch()) {
        (void)QZEnqueueInternalCmd(adapter, port, INTERNAL_CMD_DISCONNECT, parameters, length);
        for (ULONG i = 0; i < kDeferredWaitPolls; ++i) {
            KeStallExecutionProcessor(10);
        }
        return STATUS_SUCCESS;
    }
    ULONG written = 0;
    ULONG needed = 0;
    return DisconnectRequest(adapter, port, &written, &needed, 0, parameters);
}

void PutU32(PUCHAR p, ULONG v)
{
    p[0] = static_cast<UCHAR>(v);
    p[1] = static_cast<UCHAR>(v >> 8);
    p[2] = static_cast<UCHAR>(v >> 16);
    p[3] = static_cast<UCHAR>(v >> 24);
}

// The 28-byte "Roam Info" entry.
void WriteRoamInfo(PMP_ADAPTER adapter, PMP_PORT port, const WDI_CONNECT_PARAMETERS* p, bool refused)
{
    UCHAR record[ROAM_INFO_RECORD_SIZE] = {};
    if (port != nullptr) {
        const PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
        PutU32(record + 0, cfg.CandidateCount);
        record[4] = cfg.AnyBssid;
        record[5] = cfg.RoamRequest;
        record[11] = cfg.FinalSettings;
        record[13] = refused ? 1 : 0;
        record[14] = static_cast<UCHAR>(cfg.RefusedRoamCount);
        record[15] = static_cast<UCHAR>(cfg.RefusedRoamCount >> 8);
        PutU32(record + 16, port->Cfg.AuthAlgorithm);
        PutU32(record + 20, adapter->StaConnect.PmkidCount);
        record[24] = cfg.FtCandidateCount;
        record[25] = port->HiddenNetwork;
        record[26] = port->ExcludeUnencrypted;
        record[27] = cfg.HostFips;
    }
    if (p != nullptr) {
        PutU32(record + 6, p->Settings.RoamingNeededReason);
        record[10] = static_cast<UCHAR>(p->Settings.RoamTrigger);
        record[12] = p->Settings.MfpEnabled;
    }
    (void)WriteSystemEventLog(adapter, EVENT_LOG_ROAM_INFO, 0, record, sizeof(record));
}

// The Miracast mode of a group owner or client port goes off with a disconnect or reset.
void MiracastOff(PMP_ADAPTER adapter, PMP_PORT port)
{
    if ((port->PortType == WFD_GO || port->PortType == WFD_CLIENT) && port->ConnectConfig.MiracastOn) {
        port->ConnectConfig.MiracastOn = 0;
        (void)QZCmdUpdateMiracastMode(adapter, 0);
    }
}

}  // namespace

// ================================================================================================
// setters
// ================================================================================================
UCHAR WdiEncryptionStatusOfCipher(ULONG cipher)
{
    switch (cipher == kCipherIhvCcmp ? kCipherCcmp : cipher) {
    case kCipherCcmp: return ENCRYPTION_STATUS_CCMP;
    case kCipherTkip: return ENCRYPTION_STATUS_TKIP;
    case kCipherWep40: return ENCRYPTION_STATUS_WEP40;
    case kCipherWep104:
    case kCipherWep: return ENCRYPTION_STATUS_WEP104;
    case kCipherGcmp256: return ENCRYPTION_STATUS_GCMP256;
    default: return ENCRYPTION_STATUS_NONE;
    }
}

VOID WdiSetAuthenticationAlgorithm(PMP_ADAPTER adapter, PMP_PORT port, ULONG algorithm)
{
    if (adapter == nullptr || port == nullptr || SoftAp(port)) {
        return;
    }
    if (!StationLike(port)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "authentication algorithm 0x%X for port type %u not taken",
                 static_cast<unsigned>(algorithm), static_cast<unsigned>(port->PortType));
        return;
    }
    const ULONG stored = algorithm == kAuthIhvRsnaPsk ? 7 : algorithm;
    if (stored != port->Cfg.AuthAlgorithm) {
        port->Cfg.AuthAlgorithm = stored;
        KOVASetDefaultCipher(adapter, port);
    }
    port->Ind.AuthMappedFrom11 = 0;
    if (algorithm == kAuthWpa3Enterprise) {
        port->Cfg.AuthAlgorithm = kAuthRsna;
        port->Ind.AuthMappedFrom11 = 1;
    } else if (algorithm == kAuthSae) {
        port->ConnectConfig.SaeWord = 1;
    }
    port->Mlme.AuthAlgorithm = port->Cfg.AuthAlgorithm;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "port %u authentication algorithm 0x%X stored as %u",
             static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(algorithm),
             static_cast<unsigned>(port->Cfg.AuthAlgorithm));
}

VOID WdiSettUnicastCipherAlgorithm(PMP_ADAPTER adapter, PMP_PORT port, ULONG cipher)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    if (SoftAp(port)) {
        port->Cfg.PairwiseCipher = cipher;
        port->Mlme.UnicastCipher = cipher;
        PMP_PORT device = MlmeSyncGetPortByType(adapter, WFD_DEVICE);
        const bool groupStarted = device != nullptr && device->P2pGoActive != 0;
        if (!(groupStarted && adapter->OpMode == 3)) {
            (void)ApSetWpaRsnIE(adapter, port, port->Cfg.AuthAlgorithm, cipher);
        }
        return;
    }
    if (!StationLike(port)) {
        return;
    }
    const ULONG stored = cipher == kCipherIhvCcmp ? kCipherCcmp : cipher;
    port->Cfg.PairwiseCipher = stored;
    port->Mlme.UnicastCipher = stored;
    for (ULONG& copy : cfg.UnicastCipherCopies) {
        copy = stored;
    }
    cfg.KeyStateWord = 0;
    cfg.EncryptionStatus = WdiEncryptionStatusOfCipher(stored);
    if (port->PortType == EXTSTA && stored == kCipherWep && ExtraIesHoldWps(cfg)) {
        return;
    }
    if (port->PortType >= WFD_DEVICE && port->PortType <= WFD_CLIENT) {
        return;
    }
    if (port->Cfg.ProhibitTKIPonHT == 0 ||
        !MlmeValidateSsid(cfg.DesiredSsidRecord.Ssid,
                          cfg.DesiredSsidRecord.SsidLength <= PORT_CONNECT_SSID_MAX ? cfg.DesiredSsidRecord.SsidLength : 0)) {
        return;
    }
    const bool legacy = stored == kCipherWep40 || stored == kCipherWep104 || stored == kCipherWep ||
                        cfg.EncryptionStatus == ENCRYPTION_STATUS_TKIP ||
                        cfg.EncryptionStatus == ENCRYPTION_STATUS_TKIP_FAMILY;
    STA_CONNECT_ADAPTER_STATE& sta = adapter->StaConnect;
    if (legacy) {
        if (port->WirelessMode >= PHY_11ABGN_MIXED) {
            ApplyPhyMode(adapter, port, NonHtPhyMode(port->WirelessMode));
        }
        if (adapter->WorkingCfg.NetworkType == 2) {
            sta.AdhocHtMode = 0;
        }
    } else {
        ApplyPhyMode(adapter, port, adapter->WorkingCfg.WirelessMode);
        if (adapter->WorkingCfg.NetworkType == 2) {
            sta.AdhocHtMode = sta.AdhocHtModeSaved;
        }
    }
}

VOID WdiSetMulticastCipherAlgorithm(PMP_ADAPTER adapter, PMP_PORT port, ULONG count, const ULONG* list)
{
    if (adapter == nullptr || port == nullptr || list == nullptr || count == 0) {
        return;
    }
    if (SoftAp(port)) {
        port->Cfg.GroupCipher = list[0];
        port->Ind.MulticastCipher = list[0];
        return;
    }
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    // The list has room for six values: a longer one keeps its first six.
    const ULONG kept = count < PORT_CONNECT_MULTICAST_CIPHERS ? count : PORT_CONNECT_MULTICAST_CIPHERS;
    if (count > kept) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "multicast cipher list of %u values: the first %u kept",
                 static_cast<unsigned>(count), static_cast<unsigned>(kept));
    }
    std::memset(cfg.MulticastCiphers, 0, sizeof(cfg.MulticastCiphers));
    std::memcpy(cfg.MulticastCiphers, list, kept * sizeof(ULONG));
    cfg.MulticastCipherCount = kept;
    ULONG group = count == 1 ? list[0] : 0;
    if (group == kCipherIhvCcmp) {
        group = kCipherCcmp;
    }
    port->Cfg.GroupCipher = group;
    port->Ind.MulticastCipher = group;
}

VOID WdiSetDesiredSsidList(PMP_ADAPTER adapter, PMP_PORT port, const PORT_SSID_RECORD* ssid)
{
    if (adapter == nullptr || port == nullptr || ssid == nullptr) {
        return;
    }
    PORT_SSID_RECORD record = *ssid;
    if (record.SsidLength > PORT_CONNECT_SSID_MAX) {
        record.SsidLength = 0;
    }
    if (port->OpMode == kSubtypeRunningGo || port->PortType == EXTAP || port->PortType == WFD_GO) {
        std::memcpy(port->P2pSsid, record.Ssid, record.SsidLength);
        port->P2pSsidLen = static_cast<UCHAR>(record.SsidLength);
    }
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    std::memset(cfg.DesiredSsid, 0, sizeof(cfg.DesiredSsid));
    std::memcpy(cfg.DesiredSsid, record.Ssid, record.SsidLength);
    cfg.DesiredSsidLength = static_cast<UCHAR>(record.SsidLength);
    cfg.DesiredSsidRecord = record;
}

VOID DumpHessid(const UCHAR* hessids, ULONG count)
{
    for (ULONG i = 0; hessids != nullptr && i < count; ++i) {
        const UCHAR* h = hessids + 6 * i;
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "HESSID %u: %02X:%02X:%02X:%02X:%02X:%02X", static_cast<unsigned>(i),
                 h[0], h[1], h[2], h[3], h[4], h[5]);
    }
}

VOID WdiSetHS20HESSID(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* hessids, UCHAR count)
{
    if (adapter == nullptr || port == nullptr || port->PortType != EXTSTA || hessids == nullptr || count == 0) {
        return;
    }
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    ULONG oldLength = cfg.HessidCount * 6u;
    FreeOwned(&cfg.Hessids, &oldLength);
    cfg.HessidCount = 0;
    const ULONG size = count * 6u;
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, size, TAG_ZV99) != STATUS_SUCCESS || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "no room for %u HESSIDs", static_cast<unsigned>(count));
        return;
    }
    std::memcpy(block, hessids, size);
    cfg.Hessids = static_cast<PUCHAR>(block);
    cfg.HessidCount = count;
    DumpHessid(cfg.Hessids, count);
}

VOID WdiSetHS20IE(PMP_PORT port, const UCHAR* element, UCHAR length)
{
    if (port == nullptr || port->PortType != EXTSTA || element == nullptr) {
        return;
    }
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    cfg.Hs20IePresent = 1;
    cfg.Hs20IeLength = length;
    std::memcpy(cfg.Hs20Ie, element, length);
}

VOID WdiConnectFreePortBuffers(PMP_PORT port)
{
    if (port == nullptr) {
        return;
    }
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    FreeOwned(&cfg.ExtraAssocIes, &cfg.ExtraAssocIesLength);
    FreeOwned(&cfg.OweDhIe, &cfg.OweDhIeLength);
    ULONG hessidLength = cfg.HessidCount * 6u;
    FreeOwned(&cfg.Hessids, &hessidLength);
    cfg.HessidCount = 0;
    ClearFtSlots(port, true);
}

// ================================================================================================
// the connect task
// ================================================================================================
NTSTATUS WdiTaskConnect(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    const auto* p = static_cast<const WDI_CONNECT_PARAMETERS*>(parameters);
    if (port == nullptr || p == nullptr) {
        (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
        return port == nullptr ? STATUS_UNSUCCESSFUL : NDIS_STATUS_INVALID_DATA;
    }
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    STA_CONNECT_ADAPTER_STATE& sta = adapter->StaConnect;
    adapter->Mlme.Scan.ResumeReconnect = 0;
    port->Ind.BeaconLost = 0;
    adapter->WorkingCfg.NetworkType = 1;
    cfg.HostFips = p->Settings.HostFipsMode == 1 ? 1 : 0;
    ApplyHotspot(adapter, port, *p);
    ResetAttemptState(port);
    adapter->Mlme.Scan.RoamingNeeded = 0;
    cfg.FinalSettings = p->Settings.FinalSettings == 1 ? 1 : 0;
    cfg.MfpEnabled = p->Settings.MfpEnabled;
    cfg.RoamingNeededReason = p->Settings.RoamingNeededReason;
    cfg.RoamRequest = 0;
    cfg.RoamInProgress = 0;
    ApplyAlgorithms(adapter, port, *p);
    ApplyExtraIes(adapter, port, *p);
    ApplyCiphers(adapter, port, *p);
    ApplyPhyType(port, *p);
    ApplySsid(adapter, port, *p);
    ApplyCertFlag(port);
    ApplyOweElement(adapter, port, *p);
    ApplyCandidates(port, *p, true);
    ApplyDisallowed(port, *p);
    ApplyFtConnect(adapter, port, *p);
    if (p->BssEntries.ElementCount != 0) {
        ApplyPmkidCache(adapter, port, *p, (adapter->RegistryBlock.CertReg & kCertRegOwe) != 0);
    }
    port->HiddenNetwork = p->Settings.HiddenNetwork;
    port->ExcludeUnencrypted = p->Settings.ExcludeUnencrypted;
    if (cfg.HostFips) {
        cfg.SavedPhyMode = port->WirelessMode;
        (void)MlmeInfoSetPhyMode(adapter, port, FipsPhyMode(port->WirelessMode), 0);
    }
    const ULONG hlk = adapter->RegistryBlock.Hlk_feature_optional;
    if (p->Settings.MfpEnabled) {
        sta.MfpByte = static_cast<UCHAR>((sta.MfpByte & ~(STA_MFP_CAPABLE | STA_MFP_REQUIRED)) |
                                         ((hlk & kMfpCapableBit) != 0 ? STA_MFP_CAPABLE : 0) |
                                         ((hlk & kMfpRequiredBit) != 0 ? STA_MFP_REQUIRED : 0));
    } else {
        sta.MfpByte = static_cast<UCHAR>(sta.MfpByte & ~STA_MFP_CAPABLE);
    }
    RestartPeriodicTimers(port);
    const NTSTATUS status = MlmeConnectRequest(adapter, port);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "connect on port %u: SSID of %u bytes, %u candidates, status 0x%08X",
             static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(cfg.DesiredSsidLength),
             static_cast<unsigned>(cfg.CandidateCount), static_cast<unsigned>(status));
    (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
    return status;
}

NTSTATUS WdiTaskAbortConnectRequest(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    PMP_PORT go = MlmeSyncGetPortByType(adapter, WFD_GO);
    if (go != nullptr && go->P2pCsaNotifyArmed.load() != 0) {
        go->P2pCsaNotifyArmed.store(0);
        adapter->StaConnect.GoChannelSwitchFlags &= static_cast<UCHAR>(~kGoChannelSwitchFlag);
    }
    if (!WdiTaskIsPending(adapter, WDI_TASK_CONNECT)) {
        return STATUS_UNSUCCESSFUL;
    }
    MlmeCntlSetSmReset(adapter, port);
    (void)MlmeCntlWaitSmResetDone(adapter, port);
    WDI_MESSAGE_HEADER header = adapter->Wdi.CntlBlock.HeaderCopy;
    WdiEventSendStatusIndicationEx(adapter, &header, header.PortId, WDI_INDICATION_CONNECT_COMPLETE, STATUS_SUCCESS,
                                   nullptr, 0, WDI_INDICATION_MODE_TASK_COMPLETION);
    return STATUS_SUCCESS;
}

// ================================================================================================
// the roam task
// ================================================================================================
NTSTATUS WdiTaskRoam(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    const auto* p = static_cast<const WDI_CONNECT_PARAMETERS*>(parameters);
    NTSTATUS status = STATUS_SUCCESS;
    bool refused = false;
    if (port == nullptr) {
        status = STATUS_UNSUCCESSFUL;
    } else {
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        adapter->StaConnect.RoamStartTime = static_cast<ULONG64>(now.QuadPart);
        std::memset(adapter->StaConnect.RoamStats, 0, sizeof(adapter->StaConnect.RoamStats));
        port->ConnectConfig.LinkQualityRoam = 0;
        if (p == nullptr) {
            status = NDIS_STATUS_INVALID_DATA;
        }
    }
    while (NT_SUCCESS(status)) {
        PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
        const ULONG entries = p->BssEntries.pElements != nullptr ? p->BssEntries.ElementCount : 0;
        if (port->Ind.BeaconLost != 1 && entries != 0 && !IsZero(p->BssEntries.pElements[0].Bssid, 6) &&
            std::memcmp(p->BssEntries.pElements[0].Bssid, kBroadcast, 6) != 0) {
            ApplyCandidates(port, *p, false);
        } else {
            cfg.AnyBssid = 1;
        }
        if (!CheckHasBetterAp(adapter, port) && p->Settings.RoamTrigger != 1 && adapter->Mlme.Scan.ResumeReconnect != 1) {
            cfg.RefusedRoamCount++;
            port->Ind.RefusedRoam = 1;
            refused = true;
            (void)PlatformIndicateConnectionCompletion(adapter, port, 0, kRoamRefusedCode);
            break;
        }
        port->Ind.RefusedRoam = 0;
        cfg.RefusedRoamCount = 0;
        adapter->Mlme.Scan.ResumeReconnect = 0;
        port->Ind.BeaconLost = 0;
        adapter->Mlme.Scan.RoamingNeeded = 0;
        cfg.RoamRequest = p->Settings.RoamRequest;
        cfg.RoamTrigger = p->Settings.RoamTrigger;
        cfg.RoamingNeeded = 0;
        cfg.RoamInProgress = 1;
        WdiEventIndicationDisassociation(adapter, port, port->Bssid, kDisassocReasonRoam, kDisassocCodeRoam);
        adapter->StaConnect.GoPreferredBand = 0;
        if (MlmeSyncMacTabMatchedRoleType(port, kOwnPeerRole) == nullptr) {
            status = STATUS_UNSUCCESSFUL;
            break;
        }
        if ((port->ConnectionFlags & PORT_CONN_CONNECTED) != 0) {
            port->Ind.DisconnectWaiting = 0;
            (void)Disconnect(adapter, port, nullptr, 0);
        }
        if (cfg.RoamRequest == 1 && cfg.AnyBssid == 0 && entries != 0) {
            std::memcpy(port->Ind.RoamTarget, p->BssEntries.pElements[0].Bssid, 6);
        }
        std::memset(cfg.RoamSecondAddress, 0, sizeof(cfg.RoamSecondAddress));
        adapter->Mlme.Scan.RoamScanAtOnce = 0;
        cfg.LinkChange = 1;
        // The connection parameters, as the connect task takes them.
        cfg.FinalSettings = p->Settings.FinalSettings == 1 ? 1 : 0;
        cfg.MfpEnabled = p->Settings.MfpEnabled;
        cfg.RoamingNeededReason = p->Settings.RoamingNeededReason;
        adapter->WorkingCfg.NetworkType = 1;
        ApplyAlgorithms(adapter, port, *p);
        ApplyCiphers(adapter, port, *p);
        ApplyPhyType(port, *p);
        ApplySsid(adapter, port, *p);
        ApplyExtraIes(adapter, port, *p);
        ApplyDisallowed(port, *p);
        if (entries != 0) {
            ApplyPmkidCache(adapter, port, *p, false);
        }
        ApplyFtRoam(adapter, port, *p);
        port->HiddenNetwork = p->Settings.HiddenNetwork;
        port->ExcludeUnencrypted = p->Settings.ExcludeUnencrypted;
        cfg.HostFips = p->Settings.HostFipsMode == 1 ? 1 : 0;
        STA_CONNECT_ADAPTER_STATE& sta = adapter->StaConnect;
        if (p->Settings.MfpEnabled) {
            const bool required = (adapter->RegistryBlock.Hlk_feature_optional & kMfpRequiredBit) != 0;
            sta.MfpByte = static_cast<UCHAR>((sta.MfpByte & ~STA_MFP_REQUIRED) | STA_MFP_CAPABLE |
                                             (required ? STA_MFP_REQUIRED : 0));
        } else {
            sta.MfpByte = static_cast<UCHAR>(sta.MfpByte & ~STA_MFP_CAPABLE);
        }
        RestartPeriodicTimers(port);
        status = MlmeConnectRequest(adapter, port);
        break;
    }
    WriteRoamInfo(adapter, port, p, refused);
    (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
    return status;
}

NTSTATUS WdiTaskAbortRoamRequest(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || !WdiTaskIsPending(adapter, WDI_TASK_ROAM)) {
        return STATUS_UNSUCCESSFUL;
    }
    MlmeCntlSetSmReset(adapter, port);
    (void)MlmeCntlWaitSmResetDone(adapter, port);
    WDI_MESSAGE_HEADER header = adapter->Wdi.CntlBlock.HeaderCopy;
    WdiEventSendStatusIndicationEx(adapter, &header, header.PortId, WDI_INDICATION_ROAM_COMPLETE, STATUS_SUCCESS,
                                   nullptr, 0, WDI_INDICATION_MODE_TASK_COMPLETION);
    return STATUS_SUCCESS;
}

// ================================================================================================
// the disconnect task
// ================================================================================================
NTSTATUS NdisWdiSetOidDot11DisassociatePeerRequest(PMP_ADAPTER adapter, WIFIREQUEST request, const UCHAR* peer,
                                                   USHORT reason)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr || peer == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (port->PortType != WFD_GO) {
        return STATUS_SUCCESS;
    }
    UCHAR native[kNativeDisassocPeerSize] = {};
    native[0] = kNativeDisassocPeerType;
    native[1] = kNativeDisassocPeerRevision;
    native[2] = static_cast<UCHAR>(kNativeDisassocPeerSize);
    native[3] = static_cast<UCHAR>(kNativeDisassocPeerSize >> 8);
    std::memcpy(native + 4, peer, 6);
    native[10] = static_cast<UCHAR>(reason);
    native[11] = static_cast<UCHAR>(reason >> 8);
    ULONG read = 0;
    return ApOidDisassociatePeerRequest(adapter, port->PortNumber, native, sizeof(native), &read);
}

NTSTATUS WdiTaskDisconnect(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    const auto* p = static_cast<const WDI_DISCONNECT_PARAMETERS*>(parameters);
    if (port == nullptr || p == nullptr) {
        (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
        return STATUS_UNSUCCESSFUL;
    }
    const bool broadcast = std::memcmp(p->MacAddress, kBroadcast, 6) == 0;
    NTSTATUS status = STATUS_SUCCESS;
    do {
        if (MlmeSyncMacTabMatchedBssid(port, p->MacAddress) == nullptr && !(broadcast && port->PortType == WFD_GO)) {
            WdiEventIndicationDisconnectComplete(adapter, port);
            status = STATUS_UNSUCCESSFUL;
            break;
        }
        port->Ind.DisconnectWaiting = 1;
        MiracastOff(adapter, port);
        if (port->PortType == WFD_GO) {
            status = NdisWdiSetOidDot11DisassociatePeerRequest(adapter, request, p->MacAddress, p->Reason);
            if (NT_SUCCESS(status) && broadcast) {
                if (port->Ind.DisconnectWaiting) {
                    WdiEventIndicationDisconnectComplete(adapter, port);
                }
            } else {
                const bool clear = !NT_SUCCESS(status) && status != kStatusPending && !AtDispatch();
                WdiEventIndicationDisconnectComplete(adapter, port);
                if (clear) {
                    port->Ind.DisconnectWaiting = 0;
                }
            }
        } else {
            UCHAR deferred[8];
            std::memcpy(deferred, p->MacAddress, 6);
            deferred[6] = static_cast<UCHAR>(p->Reason);
            deferred[7] = static_cast<UCHAR>(p->Reason >> 8);
            status = Disconnect(adapter, port, deferred, sizeof(deferred));
            if (status == kStatusNotConnected) {
                WdiEventIndicationDisconnectComplete(adapter, port);
            } else if (!NT_SUCCESS(status) && status != kStatusPending) {
                port->Ind.DisconnectWaiting = 0;
            }
            if (status == kStatusPending) {
                status = STATUS_SUCCESS;
            }
        }
        STA_CONNECT_ADAPTER_STATE& sta = adapter->StaConnect;
        sta.PowerLimitRefresh = 1;
        if (sta.HeAssociation && adapter->RegistryBlock.AFCEnable && adapter->RegistryBlock.CountryRoamingEn) {
            (void)skuTableSendPwrLimitCmd(adapter, 1);
        }
    } while (false);
    (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
    return status;
}

// ================================================================================================
// the dot11 reset task
// ================================================================================================
NTSTATUS NdisWdiMPInfoResetRequest(PMP_ADAPTER adapter, PMP_PORT port, UCHAR setDefaultMib)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_SUCCESS;
    }
    adapter->StaConnect.ResetRequest = 1;
    if (port->PortNumber == 0 && port->PortType == EXTSTA) {
        NdisCommonResetAdapterCfg(adapter, nullptr, setDefaultMib);
    }
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    std::memset(&cfg.DesiredSsidRecord, 0, sizeof(cfg.DesiredSsidRecord));
    std::memset(cfg.DesiredSsid, 0, sizeof(cfg.DesiredSsid));
    cfg.DesiredSsidLength = 0;
    std::memset(cfg.CandidateBssids, 0, sizeof(cfg.CandidateBssids));
    std::memcpy(cfg.CandidateBssids[0], kBroadcast, 6);
    cfg.CandidateCount = 1;
    cfg.AnyBssid = 1;
    cfg.DisassocPending = 0;
    cfg.SaeWord = 0;
    cfg.AssocRetryWord = 0;
    std::memset(cfg.DisallowedBssids, 0, sizeof(cfg.DisallowedBssids));
    if (adapter->TlvContext.PeerVersion > 0x60027u) {
        std::memset(adapter->Mlme.Req.JoinSsid, 0, sizeof(adapter->Mlme.Req.JoinSsid));
        adapter->Mlme.Req.JoinSsidLen = 32;
    }
    Ndis6CommonPortFreeVariableIE(port);
    Ndis6CommonPortFreePrivacyExemptionList(port);
    N6ResetPortConnectFlags(port);
    PlatformIndicateResetAllStatus(adapter, port);
    if (AtDispatch()) {
        const ULONG number = port->PortNumber;
        (void)QZEnqueueInternalCmd(adapter, port, INTERNAL_CMD_RESET, &number, sizeof(number));
    } else {
        NdisCommonInfoResetHandler(port);
    }
    ResetAttemptState(port);
    std::memset(cfg.FtReassocWords, 0, sizeof(cfg.FtReassocWords));
    if (cfg.HeldMlmeFrame != nullptr) {
        MlmeFreeMemory(adapter, cfg.HeldMlmeFrame);
        cfg.HeldMlmeFrame = nullptr;
    }
    return STATUS_SUCCESS;
}

NTSTATUS NdisWdiApInfoResetRequest(PMP_ADAPTER adapter, PMP_PORT port, ULONG portNumber)
{
    UNREFERENCED_PARAMETER(portNumber);
    if (adapter == nullptr || port == nullptr) {
        return STATUS_SUCCESS;
    }
    PORT_CONNECT_CONFIG& cfg = port->ConnectConfig;
    std::memset(cfg.ApAssocResult, 0, sizeof(cfg.ApAssocResult));
    STA_CONNECT_ADAPTER_STATE& sta = adapter->StaConnect;
    if (sta.PmkidCount != 0) {
        sta.PmkidCount = 0;
        std::memset(sta.PmkidCache, 0, sizeof(sta.PmkidCache));
        port->ExcludeUnencrypted = 0;
    }
    if (adapter->RegistryBlock.MPolicy != 2) {
        std::memset(cfg.ApElements, 0, sizeof(cfg.ApElements));
        cfg.ApElementsLength = 0;
    }
    AdapterClearFlag(adapter, 0x80000000u, __func__);
    port->ConnectionFlags &= ~((1u << 7) | (1u << 18));
    return STATUS_SUCCESS;
}

NTSTATUS WdiTaskDot11Reset(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    const auto* p = static_cast<const WDI_DOT11_RESET_PARAMETERS*>(parameters);
    if (port == nullptr || p == nullptr) {
        (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
        return STATUS_UNSUCCESSFUL;
    }
    if ((p->Presence & WDI_RESET_PRESENT_CONFIGURED_MAC) != 0 && port->NetworkActivation[0] != 0 &&
        std::memcmp(p->ConfiguredMacAddress, port->MacAddress, 6) != 0) {
        (void)QzCmdActivateDeactivateNetwork(adapter, port->BssIndex, 0);
        std::memcpy(port->MacAddress, p->ConfiguredMacAddress, 6);
        (void)QzCmdActivateDeactivateNetwork(adapter, port->BssIndex, 1);
    }
    NTSTATUS result;
    if (SoftAp(port)) {
        result = NdisWdiApInfoResetRequest(adapter, port, port->PortNumber);
    } else {
        MiracastOff(adapter, port);
        if (port->PortType == EXTSTA && AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
            ScanNeighborAPInfoListReset(adapter, &adapter->NeighborApList);
            (void)QzCmdSendAbortScan(adapter);
            MlmeSyncArmScanTimer(adapter, 0);
            AdapterClearFlag(adapter, ADAPTER_FLAG_SCANNING, __func__);
            adapter->Mlme.SplitScanProgress = 0;
        }
        result = NdisWdiMPInfoResetRequest(adapter, port, p->SetDefaultMib);
    }
    WDI_MESSAGE_HEADER header = adapter->Wdi.CntlBlock.HeaderCopy;
    (void)WdiEventCompleteOid(adapter, request, nullptr, 0);
    WdiEventSendStatusIndicationEx(adapter, &header, static_cast<USHORT>(port->PortNumber),
                                   WDI_INDICATION_DOT11_RESET_COMPLETE, result, nullptr, 0,
                                   WDI_INDICATION_MODE_TASK_COMPLETION);
    return result;
}
