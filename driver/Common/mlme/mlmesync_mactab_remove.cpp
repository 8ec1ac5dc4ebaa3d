// The MAC table: removing entries from a port (one peer, or every peer of the port) and telling the OS
// about its peers through the WiFiCx add-peer and remove-peer calls.
#include <cstring>

#include "Common/ap/apmlme.h"
#include "Common/common.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeassoc_types.h"
#include "Common/mlme/mlmeauth.h"
#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmesync_ba.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2p.h"
#include "Common/qzcmd_bss.h"
#include "kshim/irql.h"
#include "kshim/ke.h"
#include "kshim/wificx_peer.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kInternalCmdEntryDeleted = 0x10000029u;
constexpr ULONG kHtOpProtectionBits = 0x03;   // HT Operation information octet 2, bits 0..1
constexpr ULONG kPeerCallTries = 100;
constexpr ULONG kPeerCallRetryUs = 100;
constexpr ULONG kResetDisassocReason = 4;     // disassociated due to inactivity
constexpr ULONG kResetDisassocStatus = 0x20004u;
constexpr ULONG kResetDisassocSource = 57;
constexpr ULONG kResetPeerDelayUs = 10000;
constexpr ULONG kSubtypeDisassoc = 10;

bool IsGroupOwner(PMP_PORT port) { return port->PortType == WFD_GO; }

bool SameAddress(const UCHAR* a, const UCHAR* b) { return std::memcmp(a, b, MAC_ADDR_BYTES) == 0; }

// The association state codes of a Wi-Fi Direct device port's entry that are kept through a table reset.
bool KeptDeviceState(ULONG state) { return state == 0 || state == 29 || state == 32 || state == 33 || state == 35 || state == 36; }

// Takes the adapter's OS peer-call flag: 100 tries 100 microseconds apart, then (the two calls must not
// overlap) waiting on until it is free, with a trace.
void TakePeerCallBusy(PMP_ADAPTER adapter)
{
    ULONG tries = 0;
    while (InterlockedCompareExchange(&adapter->Mlme.PeerCallBusy, 1, 0) != 0) {
        if (++tries == kPeerCallTries) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "OS peer call still busy after %u tries", static_cast<unsigned>(tries));
        }
        NdisCommonGenericDelay(kPeerCallRetryUs);
    }
}

void ReleasePeerCallBusy(PMP_ADAPTER adapter) { InterlockedExchange(&adapter->Mlme.PeerCallBusy, 0); }

// The port's HT operation the protection is computed from: the connected BSS's.
PUCHAR PortHtOperation(PMP_ADAPTER adapter) { return adapter->Mlme.JoinTargetInfo.HtOperation; }

// What the unlocked tail of a deletion needs.
struct DeleteOutcome {
    bool matched = false;
    BOOLEAN removeFromOs = FALSE;
    UCHAR address[MAC_ADDR_BYTES] = {};
    bool hasAddress = false;
};

// Steps 2 and 3 of a deletion: the caller holds the write lock of the MAC table.
bool DeleteLocked(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const UCHAR* address, UCHAR unlink,
                  DeleteOutcome* out)
{
    PMAC_TABLE_ENTRY entry = MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex);
    if (entry == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "port %u has no station entry %u", static_cast<unsigned>(port->PortNumber),
                 static_cast<unsigned>(wlanIndex));
        return false;
    }
    if (address != nullptr) {
        out->hasAddress = true;
        std::memcpy(out->address, address, MAC_ADDR_BYTES);
    }
    if (address == nullptr || !SameAddress(address, entry->Addr)) {
        return true;
    }
    out->matched = true;
    BATableTearRECEntry(adapter, port, 0, wlanIndex, TRUE);
    BATableTearORIEntry(adapter, port, 0, wlanIndex, TRUE, TRUE);
    APFlushPendingTxQueue(adapter, wlanIndex);
    if (unlink == 0) {
        const UCHAR osPeer = entry->OsPeerAdded;
        MacTableSetToInitState(adapter, port, entry, TRUE);
        if (port->PortType == WFD_CLIENT) {
            entry->OsPeerAdded = osPeer;
        }
    }
    entry->Bandwidth = 0xFF;
    if (port->MacTab.PeerCount != 0) {
        --port->MacTab.PeerCount;
    } else {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "port %u: peer count already 0", static_cast<unsigned>(port->PortNumber));
    }
    entry->LastRxSeq = MAC_ENTRY_NO_RX_SEQ;
    for (USHORT& seq : entry->RxSeqCache) {
        seq = MAC_ENTRY_NO_SEQ;
    }
    PlatformZeroMemory(entry->FragCache, sizeof(entry->FragCache));
    PlatformZeroMemory(entry->DupCache, sizeof(entry->DupCache));
    if (unlink == 1) {
        MlmeSyncRemoveMacTab(port, entry, &out->removeFromOs);
    }
    return true;
}

// Steps 4 to 7 of a deletion, outside the lock.
void DeleteTail(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const DeleteOutcome& outcome)
{
    if (outcome.removeFromOs && outcome.hasAddress && IsGroupOwner(port)) {
        PMAC_TABLE_ENTRY entry = &adapter->MacTabPool.Entries[wlanIndex];
        MacTabRemovePeer(adapter, port, entry, outcome.address);
        entry->OsPeerAdded = 0;
    }
    if (outcome.matched) {
        (void)QZEnqueueInternalCmd(adapter, port, kInternalCmdEntryDeleted, &wlanIndex, 1);
    }
    if (IsGroupOwner(port) && MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_GO_CLIENT) == nullptr) {
        port->ConnectionFlags &= ~PORT_MEDIA_CONNECTED;
        port->MacTab.ClientAssociated = 0;
        (void)QzCmdSetBssInfo(adapter, port, FALSE);
    }
    if (port->MacTab.PeerCount == 0) {
        PUCHAR htOperation = PortHtOperation(adapter);
        htOperation[2] = static_cast<UCHAR>(htOperation[2] & ~kHtOpProtectionBits);
        AsicUpdateProtect(adapter, port, htOperation, 60, 1, static_cast<UCHAR>((htOperation[2] >> 2) & 1));
    }
}

// Sends a disassociation (reason 4) to a peer of the port; FALSE when no MLME buffer is free.
bool SendResetDisassoc(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer)
{
    PUCHAR buffer = nullptr;
    if (!NT_SUCCESS(MlmeAllocateMemoryEx(adapter, 0, &buffer)) || buffer == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "port %u: no MLME buffer for the disassociation",
                 static_cast<unsigned>(port->PortNumber));
        return false;
    }
    HEADER_802_11 header;
    BuildMgmtMacHeader(adapter, port, &header, kSubtypeDisassoc, 0, peer, port->Bssid);
    const USHORT reason = static_cast<USHORT>(kResetDisassocReason);
    ULONG length = 0;
    BuildFrameFromParts(buffer, &length, static_cast<ULONG>(sizeof(header)), &header, static_cast<ULONG>(sizeof(reason)),
                        &reason, END_OF_ARGS);
    (void)MlmeStaSendMgmtFrame(adapter, buffer, length, FALSE);
    return true;
}

}  // namespace

BOOLEAN MacTableDeleteAndResetEntry(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wlanIndex, const UCHAR* address,
                                    UCHAR unlink)
{
    if (adapter == nullptr || port == nullptr || wlanIndex >= MAC_TABLE_POOL_SIZE) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "station entry %u not deleted", static_cast<unsigned>(wlanIndex));
        return FALSE;
    }
    if (IsGroupOwner(port)) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "group owner port %u deletes entry %u",
                 static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(wlanIndex));
    }
    DeleteOutcome outcome;
    PLATFORM_RW_LOCK_STATE lockState;
    PlatformAcquireRWLockForWrite(&adapter->MacTabLock, &lockState);
    const bool found = DeleteLocked(adapter, port, wlanIndex, address, unlink, &outcome);
    PlatformReleaseRWLock(&adapter->MacTabLock, &lockState);
    if (!found) {
        return FALSE;
    }
    DeleteTail(adapter, port, wlanIndex, outcome);
    return TRUE;
}

VOID MlmeSyncRemoveMacTab(PMP_PORT port, PMAC_TABLE_ENTRY entry, PBOOLEAN removeFromOs)
{
    if (removeFromOs != nullptr) {
        *removeFromOs = FALSE;
    }
    if (port == nullptr || entry == nullptr || port->Adapter == nullptr) {
        return;
    }
    MAC_TABLE_POOL& pool = port->Adapter->MacTabPool;
    MAC_TABLE_PORT_LIST& list = port->MacTab;
    // Pop from the head until the entry comes; the entries before it go back at the tail in order.
    PMAC_TABLE_ENTRY popped[MAC_TABLE_POOL_SIZE];
    ULONG poppedCount = 0;
    bool removed = false;
    while (list.Head != nullptr && poppedCount < MAC_TABLE_POOL_SIZE) {
        PMAC_TABLE_ENTRY head = list.Head;
        list.Head = head->Next;
        if (list.Head == nullptr) {
            list.Tail = nullptr;
        }
        head->Next = nullptr;
        --list.Count;
        if (head != entry) {
            popped[poppedCount++] = head;
            continue;
        }
        if (port->PortNumber == 0 && head->Kind == MAC_ENTRY_KIND_OWN_BSS) {
            // The first port's own entry never leaves it.
            popped[poppedCount++] = head;
            break;
        }
        if (pool.FreeTail == nullptr) {
            pool.FreeHead = head;
        } else {
            pool.FreeTail->Next = head;
        }
        pool.FreeTail = head;
        ++pool.FreeCount;
        removed = true;
        if (head->CancelTxOnRemove == 1) {
            APFlushPendingTxQueue(port->Adapter, head->WlanIdx);
            if (head->OsPeerAdded == 1 && removeFromOs != nullptr) {
                *removeFromOs = TRUE;
            }
        }
        break;
    }
    for (ULONG i = 0; i < poppedCount; ++i) {
        PMAC_TABLE_ENTRY e = popped[i];
        e->Next = nullptr;
        if (list.Tail == nullptr) {
            list.Head = e;
        } else {
            list.Tail->Next = e;
        }
        list.Tail = e;
        ++list.Count;
    }
    if (!removed) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "port %u: entry %u stays in the list",
                 static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(entry->WlanIdx));
    }
}

VOID MacTableReset(PMP_ADAPTER adapter, ULONG portIndex)
{
    PMP_PORT port = (adapter != nullptr && portIndex < MP_MAX_PORTS) ? adapter->PortList[portIndex] : nullptr;
    if (port == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "MAC table reset of no port %u", static_cast<unsigned>(portIndex));
        return;
    }
    const bool apLike = port->OpMode == 2 || port->OpMode == 3 || port->OpMode == 4 || IsGroupOwner(port);
    const bool deviceSubtype = port->OpMode == 3;
    PMP_PORT port0 = adapter->PortList[0];
    const bool port0Linked = port0 != nullptr && (port0->ConnectionFlags & PORT_STATUS_INFRA_LINK_UP) != 0;
    const bool p2pHoldsClients = adapter->P2pBlock != nullptr && (adapter->P2pBlock->Flags & 0x4u) != 0;

    bool kept[MAC_TABLE_POOL_SIZE] = {};
    UCHAR deleted[MAC_TABLE_POOL_SIZE];
    DeleteOutcome outcomes[MAC_TABLE_POOL_SIZE];
    ULONG deletedCount = 0;

    PLATFORM_RW_LOCK_STATE lockState;
    PlatformAcquireRWLockForWrite(&adapter->MacTabLock, &lockState);
    APFlushBmcPsQueue(adapter, portIndex);
    PMAC_TABLE_ENTRY entry = port->MacTab.Head;
    bool stopped = false;
    while (entry != nullptr && !stopped) {
        PMAC_TABLE_ENTRY next = entry->Next;
        const UCHAR idx = entry->WlanIdx;
        bool skip = false;
        if (apLike && (entry->Kind == MAC_ENTRY_KIND_OWN_BSS || entry->Kind == MAC_ENTRY_KIND_PEER)) {
            skip = true;
            kept[idx] = true;
        } else if (port0Linked && port == port0 && entry->Kind == MAC_ENTRY_KIND_PEER) {
            skip = true;
        } else if (p2pHoldsClients && entry->Kind == MAC_ENTRY_KIND_GO_CLIENT) {
            skip = true;
        } else if (deviceSubtype && (entry->Valid == 0 || !KeptDeviceState(entry->AssocState))) {
            skip = true;
        }
        if (deviceSubtype && entry->Valid != 0 &&
            (KeptDeviceState(entry->AssocState) ||
             (entry->Kind == MAC_ENTRY_KIND_PEER && entry->KeyReady == 1 &&
              (entry->AssocState == 28 || entry->AssocState == 34)))) {
            kept[idx] = true;
        }
        if (!skip && entry->Valid != 1) {
            skip = true;
        }
        if (skip) {
            entry = next;
            continue;
        }
        UCHAR cancelled = FALSE;
        PlatformCancelTimer(&entry->EntryTimer, &cancelled);
        if (port->OpMode >= 2 && port->OpMode <= 4) {
            APFlushPendingTxQueue(adapter, idx);
        }
        entry->Valid = 0;
        if (port->MacTab.PeerCount != 0) {
            --port->MacTab.PeerCount;
        }
        if (entry->AssocState == MAC_ENTRY_ASSOCIATED) {
            APPlatformIndicateDisassociationStatus(adapter, port, entry->Addr, kResetDisassocStatus, kResetDisassocSource);
            const UCHAR current = adapter->CurrentChannel;
            if (port->Channel.PrimaryChannel == current || port->Channel.CentreChannel == current) {
                if (!SendResetDisassoc(adapter, port, entry->Addr)) {
                    stopped = true;
                    break;
                }
            }
        }
        NdisCommonGenericDelay(kResetPeerDelayUs);
        UCHAR address[MAC_ADDR_BYTES];
        std::memcpy(address, entry->Addr, MAC_ADDR_BYTES);
        if (DeleteLocked(adapter, port, entry->FwStaRecIdx, address, 1, &outcomes[deletedCount])) {
            deleted[deletedCount++] = entry->FwStaRecIdx;
        }
        entry = next;
    }
    if (!stopped) {
        for (PMAC_TABLE_ENTRY e = port->MacTab.Head; e != nullptr; e = e->Next) {
            if (deviceSubtype && kept[e->WlanIdx]) {
                continue;
            }
            UCHAR cancelled = FALSE;
            PlatformCancelTimer(&e->EntryTimer, &cancelled);
            PMAC_TABLE_ENTRY nextEntry = e->Next;
            const UCHAR wlanIdx = e->WlanIdx;
            const USHORT kind = e->Kind;
            const size_t timerStart = offsetof(MAC_TABLE_ENTRY, EntryTimer);
            const size_t timerEnd = timerStart + sizeof(PLATFORM_TIMER);
            auto* bytes = reinterpret_cast<PUCHAR>(e);
            PlatformZeroMemory(bytes, static_cast<ULONG>(timerStart));
            PlatformZeroMemory(bytes + timerEnd, static_cast<ULONG>(sizeof(MAC_TABLE_ENTRY) - timerEnd));
            e->Next = nextEntry;
            e->WlanIdx = wlanIdx;
            e->Kind = kind;
            e->FwStaRecIdx = 0;
            e->OwnerPort = port;
            e->LastRxSeq = MAC_ENTRY_NO_RX_SEQ;
        }
    }
    PlatformReleaseRWLock(&adapter->MacTabLock, &lockState);
    for (ULONG i = 0; i < deletedCount; ++i) {
        DeleteTail(adapter, port, deleted[i], outcomes[i]);
    }
    if (port->MacTab.PeerCount == 0) {
        PUCHAR htOperation = PortHtOperation(adapter);
        htOperation[2] = static_cast<UCHAR>(htOperation[2] & ~kHtOpProtectionBits);
    }
}

VOID MacTabAddPeer(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, const UCHAR* address)
{
    if (adapter == nullptr || port == nullptr || entry == nullptr || address == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "OS peer add without adapter, port, entry or address");
        return;
    }
    TakePeerCallBusy(adapter);
    if (KeGetCurrentIrql() > PASSIVE_LEVEL) {
        const ULONG cmd = port->PortType == EXTSTA ? INTERNAL_CMD_ADD_PEER : P2P_CMD_PEER_ADD;
        (void)QZEnqueueInternalCmd(adapter, port, cmd, address, MAC_ADDR_BYTES);
    } else if (entry->OsPeerAdded == 0 && port->NetAdapter != nullptr) {
        const NTSTATUS status = WifiAdapterAddPeer(port->NetAdapter, address);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "OS peer add: 0x%08X", static_cast<unsigned>(status));
        }
        entry->OsPeerAdded = 1;
        if (!IsGroupOwner(port)) {
            port->ConnectionFlags |= PORT_PEER_KNOWN_TO_OS;
        }
    }
    ReleasePeerCallBusy(adapter);
}

VOID MacTabRemovePeer(PMP_ADAPTER adapter, PMP_PORT port, PMAC_TABLE_ENTRY entry, const UCHAR* address)
{
    if (adapter == nullptr || port == nullptr || entry == nullptr || address == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "OS peer removal without adapter, port, entry or address");
        return;
    }
    TakePeerCallBusy(adapter);
    if (KeGetCurrentIrql() > PASSIVE_LEVEL) {
        const ULONG cmd = port->PortType == EXTSTA ? INTERNAL_CMD_REMOVE_PEER : P2P_CMD_PEER_REMOVE;
        (void)QZEnqueueInternalCmd(adapter, port, cmd, address, MAC_ADDR_BYTES);
    } else if (IsGroupOwner(port)) {
        if (port->NetAdapter != nullptr) {
            (void)WifiAdapterRemovePeer(port->NetAdapter, address);
        }
    } else if (entry->OsPeerAdded != 0 && port->NetAdapter != nullptr) {
        entry->OsPeerAdded = 0;
        (void)WifiAdapterRemovePeer(port->NetAdapter, address);
        port->ConnectionFlags &= ~PORT_PEER_KNOWN_TO_OS;
    }
    ReleasePeerCallBusy(adapter);
}
