// The MAC table: the pool of 20 station entries, the ports' lists, insertion and the lookups.
#include "Common/mlme/mlmesync_mactab.h"

#include <cstddef>

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kVendorAuthAlgorithm = 0x80000004u;
constexpr ULONG kKeyStateOpen = 0;
constexpr ULONG kKeyStateProtected = 3;

bool IsActivePort(PMP_PORT port) { return port != nullptr && port->Active != 0; }

bool SameAddress(const UCHAR* a, const UCHAR* b) { return PlatformEqualMemory(a, b, MAC_ADDR_BYTES) != FALSE; }

// Appends an entry at the tail of a singly linked list.
void ListAppend(PMAC_TABLE_ENTRY* head, PMAC_TABLE_ENTRY* tail, PMAC_TABLE_ENTRY entry)
{
    entry->Next = nullptr;
    if (*tail == nullptr) {
        *head = entry;
    } else {
        (*tail)->Next = entry;
    }
    *tail = entry;
}

PMAC_TABLE_ENTRY ListPop(PMAC_TABLE_ENTRY* head, PMAC_TABLE_ENTRY* tail)
{
    PMAC_TABLE_ENTRY entry = *head;
    if (entry != nullptr) {
        *head = entry->Next;
        if (*head == nullptr) {
            *tail = nullptr;
        }
        entry->Next = nullptr;
    }
    return entry;
}

// Transmit streams of the port: the chip's transmit stream count.
ULONG PortStreamCount(PMP_ADAPTER adapter) { return static_cast<ULONG>(adapter->Cap.ChipStreams >> 4); }

// 2 when the peer's HT MCS set has all of MCS 0..15 and the port has two streams, or more streams
// and no MCS 16..23; else 1.
UCHAR DecideMaxNss(PMP_ADAPTER adapter, const MAC_TABLE_ENTRY* entry)
{
    bool twoStreamSet = entry->HtMcsSet[0] == 0xFF && entry->HtMcsSet[1] == 0xFF;
    ULONG streams = PortStreamCount(adapter);
    if (twoStreamSet && (streams == 2 || (streams > 2 && entry->HtMcsSet[2] == 0))) {
        return 2;
    }
    return 1;
}

// Zeroes the entry around its timer: the timer record must survive (a callback may be bound to it).
void ZeroEntryKeepingTimer(PMAC_TABLE_ENTRY entry)
{
    auto* bytes = reinterpret_cast<PUCHAR>(entry);
    constexpr size_t kTimerStart = offsetof(MAC_TABLE_ENTRY, EntryTimer);
    constexpr size_t kTimerEnd = kTimerStart + sizeof(PLATFORM_TIMER);
    PlatformZeroMemory(bytes, static_cast<ULONG>(kTimerStart));
    PlatformZeroMemory(bytes + kTimerEnd, static_cast<ULONG>(sizeof(MAC_TABLE_ENTRY) - kTimerEnd));
}

template <typename Predicate>
PMAC_TABLE_ENTRY FindInPort(PMP_PORT port, Predicate match)
{
    for (PMAC_TABLE_ENTRY entry = port->MacTab.Head; entry != nullptr; entry = entry->Next) {
        if (match(entry)) {
            return entry;
        }
    }
    return nullptr;
}

}  // namespace

NTSTATUS MlmeSyncInitMacTabPool(PMP_ADAPTER adapter)
{
    MAC_TABLE_POOL& pool = adapter->MacTabPool;
    pool.FreeHead = nullptr;
    pool.FreeTail = nullptr;
    pool.FreeCount = 0;
    for (ULONG i = 0; i < MAC_TABLE_POOL_SIZE; ++i) {
        PMAC_TABLE_ENTRY entry = &pool.Entries[i];
        PlatformZeroMemory(entry, sizeof(*entry));
        PLATFORM_RW_LOCK_STATE lockState;
        PlatformAcquireRWLockForWrite(&adapter->MacTabLock, &lockState);
        entry->Kind = MAC_ENTRY_KIND_UNUSED;
        entry->KindHigh = 0;
        entry->ByteAfterValid = 0;
        entry->WlanIdx = static_cast<UCHAR>(i);
        entry->StaRecIdx = static_cast<UCHAR>(i);
        entry->FwStaRecIdx = static_cast<UCHAR>(i);
        entry->Adapter = adapter;
        entry->OwnerPort = adapter->PortList[0];
        // Entry 0 is reserved: it never enters the free list.
        if (i >= 1) {
            ListAppend(&pool.FreeHead, &pool.FreeTail, entry);
            ++pool.FreeCount;
        }
        PlatformReleaseRWLock(&adapter->MacTabLock, &lockState);
    }
    return STATUS_SUCCESS;
}

NTSTATUS MlmeSyncInitMacTab(PMP_PORT port, UCHAR ownEntries)
{
    if (port == nullptr || port->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MAC table of no port");
        return STATUS_UNSUCCESSFUL;
    }
    PMP_ADAPTER adapter = port->Adapter;
    port->MacTab.PeerCount = 0;
    port->MacTab.Head = nullptr;
    port->MacTab.Tail = nullptr;
    port->MacTab.Count = 0;
    if (ownEntries) {
        PMAC_TABLE_ENTRY own = MacTableInsertEntry(adapter, port, port->MacAddress, TRUE);
        if (own != nullptr) {
            own->Kind = MAC_ENTRY_KIND_OWN_BSS;
            own->OwnerPort = port;
            own->EntryType = MAC_ENTRY_TYPE_AP_PEER;
            port->MacTab.OwnWlanIdx = own->WlanIdx;
        }
        PMAC_TABLE_ENTRY second = MacTableInsertEntry(adapter, port, port->MacAddress, TRUE);
        if (second != nullptr) {
            second->Kind = MAC_ENTRY_KIND_PEER;
            second->EntryType = MAC_ENTRY_TYPE_STA;
        }
    }
    MlmeSyncMacTabShow(port);
    return STATUS_SUCCESS;
}

NTSTATUS MlmeSyncDeInitMacTab(PMP_PORT port)
{
    if (port == nullptr || port->Adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "MAC table teardown of no port");
        return STATUS_UNSUCCESSFUL;
    }
    MAC_TABLE_POOL& pool = port->Adapter->MacTabPool;
    while (PMAC_TABLE_ENTRY entry = ListPop(&port->MacTab.Head, &port->MacTab.Tail)) {
        --port->MacTab.Count;
        ListAppend(&pool.FreeHead, &pool.FreeTail, entry);
        ++pool.FreeCount;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "port %u: station entries returned, %d free",
             static_cast<unsigned>(port->PortNumber), static_cast<int>(pool.FreeCount));
    return STATUS_SUCCESS;
}

PMAC_TABLE_ENTRY MacTableInsertEntry(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* address, UCHAR fullReset)
{
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "station entry for no port");
        return nullptr;
    }
    MAC_TABLE_POOL& pool = adapter->MacTabPool;
    PLATFORM_RW_LOCK_STATE lockState;
    PlatformAcquireRWLockForWrite(&adapter->MacTabLock, &lockState);
    PMAC_TABLE_ENTRY entry = ListPop(&pool.FreeHead, &pool.FreeTail);
    if (entry == nullptr) {
        PlatformReleaseRWLock(&adapter->MacTabLock, &lockState);
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "port %u: no free station entry",
                 static_cast<unsigned>(port->PortNumber));
        return nullptr;
    }
    --pool.FreeCount;
    MacTableSetToInitState(adapter, port, entry, fullReset);
    PlatformMoveMemory(entry->Addr, address, MAC_ADDR_BYTES);
    ++port->MacTab.PeerCount;
    entry->Kind = MAC_ENTRY_KIND_PEER;
    switch (port->PortType) {
    case EXTSTA:
        entry->EntryType = MAC_ENTRY_TYPE_STA;
        break;
    case EXTAP:
        entry->EntryType = MAC_ENTRY_TYPE_AP_PEER;
        break;
    case WFD_GO:
        entry->EntryType = MAC_ENTRY_TYPE_GO_CLIENT;
        entry->Kind = MAC_ENTRY_KIND_GO_CLIENT;
        break;
    case WFD_CLIENT:
        entry->EntryType = MAC_ENTRY_TYPE_CLIENT_GO;
        entry->Kind = MAC_ENTRY_KIND_CLIENT_GO;
        break;
    default:
        break;  // other types keep the type the entry had
    }
    ListAppend(&port->MacTab.Head, &port->MacTab.Tail, entry);
    ++port->MacTab.Count;
    MlmeSyncMacTabShow(port);
    PlatformReleaseRWLock(&adapter->MacTabLock, &lockState);
    return entry;
}

void MacTableSetToInitState(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, UCHAR fullReset)
{
    PMAC_TABLE_ENTRY next = entry->Next;
    UCHAR wlanIdx = entry->WlanIdx;
    UCHAR staRecIdx = entry->StaRecIdx;
    USHORT kind = entry->Kind;
    ULONG entryType = entry->EntryType;
    if (fullReset && wlanIdx < MAC_TABLE_POOL_SIZE) {
        UCHAR cancelled = FALSE;
        PlatformCancelTimer(&entry->EntryTimer, &cancelled);
        ZeroEntryKeepingTimer(entry);
    }
    entry->Next = next;
    entry->WlanIdx = wlanIdx;
    entry->StaRecIdx = staRecIdx;
    entry->Kind = kind;
    entry->EntryType = entryType;
    entry->FwStaRecIdx = wlanIdx;
    entry->Valid = 1;
    entry->Adapter = adapter;
    entry->OwnerPort = port;
    entry->AssocState = 0;
    entry->PsWord = 2;
    entry->RateWord = 0x0303;
    entry->AuthMode = port->Cfg.AuthAlgorithm;
    entry->CipherMode = port->Cfg.PairwiseCipher;
    entry->KeyState =
        (port->Cfg.AuthAlgorithm < 3 || port->Cfg.AuthAlgorithm == kVendorAuthAlgorithm) ? kKeyStateOpen
                                                                                          : kKeyStateProtected;
    entry->LastRxSeq = MAC_ENTRY_NO_RX_SEQ;
    entry->ListenInterval = adapter->Mlme.ListenInterval;
    for (USHORT& seq : entry->RxSeqCache) {
        seq = MAC_ENTRY_NO_SEQ;
    }
    PlatformZeroMemory(entry->FragCache, sizeof(entry->FragCache));
    PlatformZeroMemory(entry->DupCache, sizeof(entry->DupCache));
    entry->MaxNss = DecideMaxNss(adapter, entry);
    entry->MaxNssWord = 0x00FF;
    entry->MaxNssByte = 1;
    for (USHORT& seq : entry->TxTidSeq) {
        seq = MAC_ENTRY_NO_SEQ;
    }
    PlatformZeroMemory(entry->TxTidState, sizeof(entry->TxTidState));
}

PMAC_TABLE_ENTRY MacTableLookup(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* address)
{
    if (port == nullptr || address == nullptr) {
        return nullptr;
    }
    PLATFORM_RW_LOCK_STATE lockState;
    PlatformAcquireRWLockForRead(&adapter->MacTabLock, &lockState);
    PMAC_TABLE_ENTRY entry = FindInPort(port, [&](PMAC_TABLE_ENTRY e) { return SameAddress(e->Addr, address); });
    PlatformReleaseRWLock(&adapter->MacTabLock, &lockState);
    return entry;
}

PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedBssid(PMP_PORT port, const UCHAR* address)
{
    if (port == nullptr || port->MacTab.Head == nullptr) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "address match: %s", port == nullptr ? "no port" : "empty list");
        return nullptr;
    }
    if (address == nullptr) {
        return nullptr;
    }
    return FindInPort(port, [&](PMAC_TABLE_ENTRY e) { return SameAddress(e->Addr, address); });
}

PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedBssidOnly(PMP_PORT port, const UCHAR* address)
{
    if (port == nullptr || port->Adapter == nullptr || address == nullptr) {
        return nullptr;
    }
    return FindInPort(port, [&](PMAC_TABLE_ENTRY e) { return SameAddress(e->Addr, address); });
}

PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedWlanIdx(PMP_PORT port, UCHAR wlanIndex)
{
    if (port == nullptr) {
        return nullptr;
    }
    return FindInPort(port, [&](PMAC_TABLE_ENTRY e) { return e->WlanIdx == wlanIndex; });
}

PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedRoleType(PMP_PORT port, USHORT kind)
{
    if (port == nullptr) {
        return nullptr;
    }
    return FindInPort(port, [&](PMAC_TABLE_ENTRY e) { return e->Kind == kind; });
}

PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedPort(PMP_PORT port, USHORT kind)
{
    return MlmeSyncMacTabMatchedRoleType(port, kind);
}

PMAC_TABLE_ENTRY MlmeSyncMacTabMatchedStaRecIdx(PMP_ADAPTER adapter, UCHAR staRecIdx)
{
    for (MAC_TABLE_ENTRY& entry : adapter->MacTabPool.Entries) {
        if (entry.StaRecIdx == staRecIdx) {
            return &entry;
        }
    }
    return nullptr;
}

PMP_PORT MlmeSyncGetPortByWlanIdx(PMP_ADAPTER adapter, UCHAR wlanIndex)
{
    for (PMP_PORT port : adapter->PortList) {
        if (!IsActivePort(port)) {
            continue;
        }
        PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex);
        if (entry != nullptr) {
            return entry->OwnerPort;
        }
    }
    return nullptr;
}

USHORT MlmeSyncGetRoleTypeByWlanIdx(PMP_PORT port, UCHAR wlanIndex)
{
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex);
    return entry != nullptr ? entry->Kind : static_cast<USHORT>(WLAN_ROLE_NONE);
}

UCHAR MlmeSyncGetWlanIdxByRoleType(PMP_PORT port, USHORT kind)
{
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedRoleType(port, kind);
    return entry != nullptr ? entry->WlanIdx : static_cast<UCHAR>(WLAN_INDEX_NONE);
}

PMP_PORT MlmeSyncGetPortByType(PMP_ADAPTER adapter, ULONG portType)
{
    for (PMP_PORT port : adapter->PortList) {
        if (IsActivePort(port) && port->PortType == portType) {
            return port;
        }
    }
    return nullptr;
}

PMP_PORT MlmeSyncGetConnectedStaPort(PMP_ADAPTER adapter)
{
    for (PMP_PORT port : adapter->PortList) {
        if (IsActivePort(port) && (port->PortType == EXTSTA || port->PortType == WFD_CLIENT) &&
            (port->ConnectionFlags & (PORT_STATUS_INFRA_LINK_UP | PORT_STATUS_ADHOC_LINK_UP)) != 0) {
            return port;
        }
    }
    return adapter->PortList[0];
}

PMP_PORT MlmeSyncGetP2pRolePort(PMP_ADAPTER adapter, UCHAR role)
{
    UNREFERENCED_PARAMETER(adapter);
    if (role > 1) {
        return nullptr;
    }
    // The Wi-Fi Direct context does not keep its role ports yet.
    (void)NOT_BUILT_YET();
    return nullptr;
}

USHORT GetWlanRoleType(PMP_PORT port)
{
    if (port == nullptr) {
        return WLAN_ROLE_NONE;
    }
    switch (port->PortType) {
    case EXTSTA:
        if ((port->ConnectionFlags & PORT_STATUS_ADHOC_LINK_UP) != 0 ||
            (port->Adapter != nullptr && port->Adapter->RegistryBlock.OpMode == 1)) {
            return WLAN_ROLE_ADHOC;
        }
        return WLAN_ROLE_STA;
    case WFD_CLIENT:
        return WLAN_ROLE_P2P_CLIENT;
    case WFD_DEVICE:
        return WLAN_ROLE_P2P_DEVICE;
    case EXTAP:
    case WFD_GO:
        return WLAN_ROLE_STA;
    default:
        return WLAN_ROLE_NONE;
    }
}

void MlmeSyncMacTabShow(PMP_PORT port)
{
    if (port == nullptr || !KTRACE_ENABLED(TRACE_LEVEL_VERBOSE, DBG_MLME)) {
        return;
    }
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME, "port %u: %d station entries, %u inserted",
             static_cast<unsigned>(port->PortNumber), static_cast<int>(port->MacTab.Count),
             static_cast<unsigned>(port->MacTab.PeerCount));
    for (PMAC_TABLE_ENTRY e = port->MacTab.Head; e != nullptr; e = e->Next) {
        DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_MLME,
                 "  WLAN index %u kind %u type 0x%02X record %u %02X:%02X:%02X:%02X:%02X:%02X",
                 static_cast<unsigned>(e->WlanIdx), static_cast<unsigned>(e->Kind),
                 static_cast<unsigned>(e->EntryType), static_cast<unsigned>(e->StaRecIdx), e->Addr[0], e->Addr[1],
                 e->Addr[2], e->Addr[3], e->Addr[4], e->Addr[5]);
    }
}

