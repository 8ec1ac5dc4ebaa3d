// Channel switch announcements of the connected network.
#include "Common/mlme/mlmesync_csa.h"

#include <cstring>

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeassoc.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "Common/mlme/mlmesync_sanity.h"
#include "Common/p2p/p2p.h"
#include "Common/qzcmd_bss.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/trace.h"

namespace {

// The announcement's fields (Channel Switch Announcement body) and the wide-bandwidth switch.
constexpr ULONG kCsaMode = 0;
constexpr ULONG kCsaNewChannel = 1;
constexpr ULONG kCsaCount = 2;
constexpr UCHAR kWideBwAbsent = 0xFF;

constexpr UCHAR kCsaModeQuiet = 1;             // no transmission until the switch
constexpr UCHAR kImminentCount = 3;            // 802.11h: a count below this takes the link down
constexpr UCHAR kResumeBeacons = 3;            // beacons heard on the target before transmission resumes
constexpr UCHAR kMoveLimitStation = 9;
constexpr UCHAR kMoveLimitP2pClient = 2;
constexpr UCHAR kSwitchHoldCounter = 90;
constexpr ULONG kP2pCsaWaitMs = 300;
constexpr USHORT kRadarFlags = 8;
constexpr USHORT kReasonLeaving = 8;
constexpr ULONG kDisconnectReasonRadarCsa = 9;
constexpr ULONG kCsaIndicationSource = 140;    // the caller code of this module's disassociations
constexpr ULONG kSettleUs = 1000000;
constexpr ULONG kAuthAlgoSharedKeyVariant = 0x80000004u;

// The adapter channel table row of a channel (6 GHz rows left out unless `anyBand`).
const DOMAIN_CHANNEL_ENTRY* FindChannel(PMP_ADAPTER adapter, UCHAR channel, bool anyBand)
{
    const COUNTRY_BLOCK& country = adapter->Country;
    const ULONG count = country.ChannelListCount < DOMAIN_CHANNEL_MAX ? country.ChannelListCount : DOMAIN_CHANNEL_MAX;
    for (ULONG i = 0; i < count; ++i) {
        const DOMAIN_CHANNEL_ENTRY& row = country.ChannelList[i];
        if (row.Channel == channel && (anyBand || row.Band != BAND_6G)) {
            return &row;
        }
    }
    return nullptr;
}

bool LinkUp(PMP_PORT port) { return (port->ConnectionFlags & PORT_CONN_CONNECTED) != 0; }

void HoldTransmission(PMP_ADAPTER adapter)
{
    if (KeGetCurrentIrql() <= DISPATCH_LEVEL) {
        AdapterSetFlag(adapter, ADAPTER_FLAG_TX_HELD, __func__);
    } else {
        AdapterSetFlagUnlocked(adapter, ADAPTER_FLAG_TX_HELD);
    }
}

// A Wi-Fi Direct client waits for its group owner on the new channel: transmission held, the wait timer
// restarted and marked.
void P2pClientWait(PMP_ADAPTER adapter, PMP_PORT port)
{
    HoldTransmission(adapter);
    PlatformCancelTimer(&port->P2pEcsaGcToTimer, nullptr);
    if (PlatformSetTimer(port, &port->P2pEcsaGcToTimer, kP2pCsaWaitMs) != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "channel switch: the client's wait timer of port %u was refused",
                 static_cast<unsigned>(port->PortNumber));
    }
    port->EcsaInProgress = 1;
}

}  // namespace

BOOLEAN MlmeSyncChSwitch80211h(PMP_ADAPTER adapter, PMP_PORT port, PBEACON_PARSE_RESULT record, LONG candidate)
{
    const UCHAR newChannel = record->ChannelSwitch[kCsaNewChannel];
    if (port->Cfg.IEEE80211H != 1 || newChannel == 0 || newChannel == record->Channel) {
        return FALSE;
    }
    if (record->ChannelSwitch[kCsaCount] >= kImminentCount) {
        return TRUE;  // a later beacon decides
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "802.11h switch to channel %u: the link goes down",
             static_cast<unsigned>(newChannel));
    UCHAR bssid[MAC_ADDR_LEN];
    std::memcpy(bssid, port->Bssid, sizeof(bssid));
    (void)MlmeCntLinkDown(port, 0);
    // Everything queued is stale now; the element being handled stays with its handler.
    MlmeQueueDiscardPending(&adapter->Mlme.Queue);
    BssTableInit(adapter->ScanTable);
    PREPOSIT_TABLE reposit = RepositTableGet(adapter);
    if (reposit != nullptr) {
        PlatformZeroMemory(reposit->Entries, sizeof(reposit->Entries));
        PlatformZeroMemory(reposit->RepositTime, sizeof(reposit->RepositTime));
        reposit->RepositCount = 0;
    }
    // One second: a sleep where the caller may block, 10-microsecond busy waits elsewhere.
    NdisCommonGenericDelay(kSettleUs);
    const DOMAIN_CHANNEL_ENTRY* row = FindChannel(adapter, newChannel, false);
    if (row == nullptr) {
        return FALSE;
    }
    PBSS_TABLE candidates = &adapter->Mlme.ConnectCandidates;
    if (candidate >= 0 && static_cast<ULONG>(candidate) < MAX_LEN_OF_BSS_TABLE) {
        candidates->BssEntry[candidate].Channel = newChannel;
    }
    port->Channel.PrimaryChannel = newChannel;
    if (row->Flags == kRadarFlags) {
        // The OS hears of it when the timer fires: the access point may still come back.
        (void)PlatformSetTimer(port, &port->Mlme.Conn.DisassocIndTimer,
                               static_cast<ULONG>(adapter->RegistryBlock.DissocIndDelay) * 1000u);
    } else {
        port->ConnectionFlags &= ~PORT_STATUS_MEDIA_CONNECTED;
        PlatformIndicateDisassociation(adapter, port, bssid, kReasonLeaving, kCsaIndicationSource);
    }
    return FALSE;
}

BOOLEAN MlmeSyncChSwitchQuiet(PMP_ADAPTER adapter, PMP_PORT port, PBEACON_PARSE_RESULT record, PMLME_QUEUE_ELEM elem)
{
    MLME_CSA_RECORD& csa = adapter->Mlme.Csa;
    // 1. The access point heard on its new channel.
    if (csa.CsaPending == 1 && record->Channel == csa.CsaTargetChannel) {
        BSS_ENTRY_INPUT in = MlmeSyncBeaconEntryInput(*record, elem, static_cast<CHAR>(elem->Rssi0));
        in.RssiUpdate = 1;
        (void)BssTableSetEntry(adapter, port, adapter->ScanTable, &in);
        (void)MlmeUpdateRepositTabFromScanTab(adapter, TRUE, FALSE);
        if (csa.CsaResumeCountdown == 0) {
            csa.CsaPending = 0;
            (void)MlmeUpdateForceTxStopToFw(adapter, port);
            csa.CsaTargetChannel = 0;
            csa.CsaResumeCountdown = 0xFF;
        } else {
            --csa.CsaResumeCountdown;
        }
    }
    // 2. The start of a quiet switch.
    const UCHAR newChannel = record->ChannelSwitch[kCsaNewChannel];
    if (record->ChannelSwitch[kCsaMode] != kCsaModeQuiet || port->Channel.PrimaryChannel == 0 || newChannel == 0 ||
        newChannel == port->Channel.PrimaryChannel || port->OpMode != 0 || csa.CsaPending != 0 || !LinkUp(port)) {
        return FALSE;
    }
    csa.CsaPending = 1;
    csa.CsaTargetChannel = newChannel;
    (void)MlmeUpdateForceTxStopToFw(adapter, port);
    const DOMAIN_CHANNEL_ENTRY* row = FindChannel(adapter, newChannel, true);
    if (row == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "quiet switch to channel %u outside the channel list",
                 static_cast<unsigned>(newChannel));
        return FALSE;
    }
    if (row->Flags != kRadarFlags) {
        csa.CsaResumeCountdown = kResumeBeacons;
        return FALSE;
    }
    // A radar channel: leave the access point on the channel we still share with it.
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "quiet switch to radar channel %u: disconnecting",
             static_cast<unsigned>(newChannel));
    port->Mlme.Conn.DisconnectReasonState = kDisconnectReasonRadarCsa;
    PMLME_QUEUE_ELEM leave = nullptr;
    if (PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&leave), MLME_QUEUE_ELEM_SIZE, TAG_ZV06) == STATUS_SUCCESS &&
        leave != nullptr) {
        MLME_DISASSOC_REQ_STRUCT request = {};
        std::memcpy(request.Addr, port->Bssid, MAC_ADDR_LEN);
        request.Reason = kReasonLeaving;
        leave->Machine = MLME_ASSOC_STATE_MACHINE;
        leave->MsgType = MT2_MLME_DISASSOC_REQ;
        leave->MsgLen = sizeof(request);
        leave->PortIndex = port->PortNumber;
        std::memcpy(leave->Msg, &request, sizeof(request));
        MlmeSendDisassocAndDeauth(adapter, leave);
        PlatformFreeMemory(leave, MLME_QUEUE_ELEM_SIZE);
    } else {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "quiet switch to a radar channel: no memory for the disassociation");
    }
    NdisCommonGenericDelay(1000);
    MLME_PORT_REQUEST_STATE& req = port->Mlme.Req;
    const LONG found = BssTableSearch(adapter, port, adapter->ScanTable, port->Bssid, port->Channel.PrimaryChannel);
    if (found != BSS_NOT_FOUND) {
        LOCK_STATE lockState;
        NdisAcquireReadWriteLock(&req.SavedBssEntryLock, TRUE, &lockState);
        req.SavedBssEntry = adapter->ScanTable->BssEntry[found];
        req.SavedBssEntry.LastBeaconTime = 0;
        NdisReleaseReadWriteLock(&req.SavedBssEntryLock, &lockState);
    }
    const ULONG auth = port->Mlme.AuthAlgorithm;
    if (auth > 2 && auth != kAuthAlgoSharedKeyVariant) {
        for (ULONG i = 0; i < SHARED_KEY_SLOTS; ++i) {
            port->Keys.SharedKey.Slot[i].KeyLen = 0;
        }
    }
    UCHAR bssid[MAC_ADDR_LEN];
    std::memcpy(bssid, port->Bssid, sizeof(bssid));
    (void)MlmeCntLinkDown(port, 0);
    port->ConnectionFlags &= ~PORT_STATUS_MEDIA_CONNECTED;
    PlatformIndicateDisassociation(adapter, port, bssid, kReasonLeaving, kCsaIndicationSource + 1);
    csa.CsaPending = 0;
    (void)MlmeUpdateForceTxStopToFw(adapter, port);
    return FALSE;
}

BOOLEAN MlmeSyncChSwitchMove(PMP_ADAPTER adapter, PMP_PORT port, PBEACON_PARSE_RESULT record, LONG candidate,
                             PMAC_TABLE_ENTRY apEntry, PMAC_TABLE_ENTRY goEntry)
{
    const UCHAR newChannel = record->ChannelSwitch[kCsaNewChannel];
    const UCHAR* wide = record->WideBandwidthChannelSwitch;
    PBSS_TABLE candidates = &adapter->Mlme.ConnectCandidates;
    const bool validCandidate = candidate >= 0 && static_cast<ULONG>(candidate) < MAX_LEN_OF_BSS_TABLE;
    const bool p2pClient = port->PortType == WFD_CLIENT;
    if (newChannel != 0 && newChannel != record->Channel) {
        const UCHAR limit = p2pClient ? kMoveLimitP2pClient : kMoveLimitStation;
        if (record->ChannelSwitch[kCsaCount] <= limit) {
            if (apEntry != nullptr && port->Channel.PrimaryChannel != newChannel && port->OpMode == 0 && LinkUp(port)) {
                if (validCandidate) {
                    candidates->BssEntry[candidate].Channel = newChannel;
                }
                port->Channel.PrimaryChannel = newChannel;
                port->Channel.CentreChannel = wide[1];
                std::memset(apEntry->BcnVhtOperation, 0, 3);
                apEntry->BcnHtOpBits = 0;
                apEntry->BcnSecondaryOffset = 0;
                if (wide[0] != kWideBwAbsent) {
                    std::memcpy(apEntry->BcnVhtOperation, wide, 3);
                }
                port->Mlme.Req.ChSwitchHold = kSwitchHoldCounter;
                (void)QzCmdSetBssRlmParam(adapter, port);
                return TRUE;
            }
            if (goEntry != nullptr && port->Channel.PrimaryChannel != newChannel && p2pClient) {
                P2pClientWait(adapter, port);
                if (validCandidate) {
                    PeerP2pBeaconCSABackup(adapter, port, &candidates->BssEntry[candidate], record->ChannelSwitch, wide,
                                           static_cast<ULONG>(candidate));
                }
                return TRUE;
            }
        }
    }
    if (newChannel != 0 && goEntry != nullptr && p2pClient) {
        P2pClientWait(adapter, port);
        if (port->Channel.PrimaryChannel != newChannel && validCandidate) {
            PeerP2pBeaconCSABackup(adapter, port, &candidates->BssEntry[candidate], record->ChannelSwitch, wide,
                                   static_cast<ULONG>(candidate));
        }
    }
    return FALSE;
}
