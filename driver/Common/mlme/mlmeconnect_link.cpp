// Link up and link down of a station or Wi-Fi Direct client port.
#include <cstring>

#include "Common/mlme/mlme.h"
#include "Common/he/twt.h"
#include "Common/logevent.h"
#include "Common/mlme/mlmeconnect.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmereq.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmesync_chnl.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "Common/nic_uni_cmd_direct.h"
#include "Common/fwsettings.h"
#include "Common/p2p/p2p.h"
#include "Common/p2p/p2pms.h"
#include "Common/qzcmd_bss.h"
#include "Common/qzcmd_scan.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/wdi/wdievent.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kAuthOpen = 1;
constexpr ULONG kAuthWpa = 3;
constexpr ULONG kAuthRsna = 6;
constexpr ULONG kAuthWpa3Ent192 = 8;
constexpr ULONG kAuthSae = 9;
constexpr ULONG kAuthPmfVendor = 0x80000006u;
constexpr ULONG kCipherCcmp = 4;
constexpr ULONG kCipherWep = 0x101;
constexpr ULONG kSuspendFlag = 0x40000000u;
constexpr ULONG kFlagsClearedAtDown = 0x00002004u;   // bits 2 and 13
constexpr ULONG kFlagObssReported = 0x00001000u;     // bit 12
constexpr ULONG kFlag2040Coexist = 0x00100000u;      // bit 20
constexpr UCHAR kPmfCapable = 0x80;
constexpr USHORT kRsnMfpc = 0x0080;
constexpr CHAR kNoSignal = -100;
constexpr ULONG kWpsModeSearch = 2;
constexpr ULONG kWpsStateDone = 18;
constexpr ULONG kWpsStatusLinkDown = 15;
constexpr ULONG kWpsActiveState = 2;

void ResetSignal(PMP_PORT port)
{
    for (int i = 0; i < 3; ++i) {
        port->RssiLastSample[i] = kNoSignal;
        port->RssiAvg[i] = kNoSignal;
        port->RssiSum[i] = kNoSignal;
    }
    for (int i = 0; i < 2; ++i) {
        port->RxReportRssi[i] = kNoSignal;
        port->RxReportRssiAvg[i] = kNoSignal;
        port->RxReportRssiSum[i] = kNoSignal;
    }
}

// Keys go with the link for the WPA family, for protected management frames, and for a WEP station
// with shared keys in use.
bool KeysGoWithTheLink(PMP_ADAPTER adapter, PMP_PORT port)
{
    const ULONG a = port->Mlme.AuthAlgorithm;
    if (a >= kAuthWpa) {
        return true;
    }
    if ((adapter->WorkingCfg.MFPC & kPmfCapable) != 0 && (port->Mlme.Cntl.RsnCapability & kRsnMfpc) != 0 &&
        (port->Mlme.UnicastCipher == kCipherCcmp || a == kAuthWpa3Ent192 || a == kAuthSae || a == kAuthPmfVendor)) {
        return true;
    }
    return a == kAuthOpen && port->Mlme.UnicastCipher == kCipherWep && port->PortType == EXTSTA &&
           MlmeCntHasSharedKey(port);
}

}  // namespace

BOOLEAN MlmeCntHasSharedKey(PMP_PORT port)
{
    for (UCHAR cipher : port->PortKeyCipher) {
        if (cipher != 0) {
            return TRUE;
        }
    }
    return FALSE;
}

namespace {

constexpr UCHAR kHtCap40 = 0x02;            // HT capability information bit 1: 40 MHz
constexpr ULONG kEventPowerSave = 0x40021B59u;
constexpr ULONG kEventPhyAndBandwidth = 0x40021771u;
constexpr ULONG kWpsLinked = 5;
constexpr ULONG kWpsStatusLinked = 4;

// Bandwidth code and centre channel of the link from the access point's VHT operation or HT
// capability (the 2.4 and 5 GHz bands).
void DecideBandwidth(PMP_ADAPTER adapter, PMP_PORT port, const JOIN_TARGET_INFO& joined, UCHAR* bandwidth, UCHAR* centre)
{
    const UCHAR primary = port->Channel.PrimaryChannel;
    const bool ht40 = joined.HtCapabilityLen != 0 && (joined.HtCapability[0] & kHtCap40) != 0;
    if (joined.VhtPresent) {
        const UCHAR width = joined.VhtOperation[0];
        const UCHAR seg0 = joined.VhtOperation[1];
        const UCHAR seg1 = joined.VhtOperation[2];
        switch (width) {
        case 2:
            *bandwidth = BW_160;
            *centre = seg0;
            return;
        case 1: {
            *bandwidth = BW_80;
            *centre = seg0;
            const bool he160 = (adapter->Mlme.JoinTargetInfo.HeCapability[0] & 0x08) != 0;
            if (seg1 != 0 && adapter->HalInfo.MaxBandwidth >= BW_160 && (he160 || port->Channel.Bandwidth == BW_160)) {
                *bandwidth = BW_160;
                *centre = seg1;
            }
            return;
        }
        case 0:
            if (ht40) {
                *bandwidth = BW_40;
                *centre = joined.CentralChannel != 0 ? joined.CentralChannel : primary;
            } else {
                *bandwidth = BW_20;
                *centre = primary;
            }
            return;
        default:
            // 80+80 MHz or an unknown width: neither a bandwidth nor a centre.
            *bandwidth = 0;
            *centre = 0;
            return;
        }
    }
    if (ht40) {
        *bandwidth = BW_40;
        *centre = joined.CentralChannel != 0 ? joined.CentralChannel : primary;
        return;
    }
    *bandwidth = BW_20;
    *centre = primary;
}

}  // namespace

VOID MlmeCntLinkUp(PMP_PORT port, ULONG kind)
{
    if (port == nullptr || port->Adapter == nullptr) {
        return;
    }
    PMP_ADAPTER adapter = port->Adapter;
    MLME_CNTL_ADAPTER_BLOCK& c = adapter->Mlme.Cntl;
    MLME_CNTL_PORT_BLOCK& p = port->Mlme.Cntl;
    const JOIN_TARGET_INFO& joined = adapter->Mlme.JoinTargetInfo;

    // 1. Start.
    p.LinkProgress |= LINK_PROGRESS_UP_STARTED;
    p.LinkUpInProgress = 1;
    adapter->Mlme.Scan.OsScan = 0;
    UCHAR cancelled = 0;
    if (port->Mlme.DisassocTimeoutTimer.Initialized) {
        PlatformCancelTimer(&port->Mlme.DisassocTimeoutTimer, &cancelled);
    }
    p.FtSecondAuth = 0;
    p.FtParams = 0;
    if (p.AssocDelay.Valid && std::memcmp(p.AssocDelay.Bssid, c.MlmeBssid, 6) == 0) {
        std::memset(&p.AssocDelay, 0, sizeof(p.AssocDelay));
    }

    // 2. The peer: the access point of a station, the group owner of a client.
    PMAC_TABLE_ENTRY peer = nullptr;
    if (port->OpMode == 1) {
        peer = MlmeSyncMacTabMatchedWlanIdx(port, P2pGetClientWcid(adapter, port));
    } else {
        peer = MlmeSyncMacTabMatchedRoleType(port, WLAN_ROLE_STA);
    }
    if (peer == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "link up of port %u without the peer's entry",
                 static_cast<unsigned>(port->PortNumber));
    }

    // 3. The join's record becomes the port's connection.
    PMP_PORT port0 = adapter->PortList[0];
    const bool port0Linked =
        port0 != nullptr && (port0->ConnectionFlags & (PORT_STATUS_INFRA_LINK_UP | PORT_STATUS_ADHOC_LINK_UP)) != 0;
    if (port == port0 || !port0Linked || port->PortType == WFD_CLIENT) {
        std::memset(port->CurrentSsid, 0, sizeof(port->CurrentSsid));
        std::memcpy(port->CurrentSsid, c.MlmeSsid, c.MlmeSsidLen);
        port->CurrentSsidLen = c.MlmeSsidLen;
        std::memcpy(port->Bssid, c.MlmeBssid, 6);
        port->SavedChannel = port->Channel;
    }

    // 6. Linked to an infrastructure network.
    port->ConnectionFlags |= PORT_STATUS_INFRA_LINK_UP;
    port->ConnectionFlags &= ~PORT_STATUS_ADHOC_LINK_UP;

    // 9. Bandwidth and centre channel.
    UCHAR bandwidth = BW_20;
    UCHAR centre = port->Channel.PrimaryChannel;
    DecideBandwidth(adapter, port, joined, &bandwidth, &centre);
    if (port->Channel.Bandwidth != bandwidth) {
        port->Channel.Bandwidth = bandwidth;
        DecideMaxTxRxProcessNumber(port);
    }
    port->Channel.CentreChannel = centre;
    adapter->WorkingCfg.Feature11n &= ~0x2u;

    // 10.-11. Media connected.
    (void)AsicSetEdcaParm(adapter, port, const_cast<EDCA_PARM*>(&joined.EdcaParameters), 1);
    port->ConnectionFlags |= PORT_STATUS_MEDIA_CONNECTED;

    // 13. The firmware learns the BSS and the station.
    if (!NT_SUCCESS(QzCmdSetBssInfo(adapter, port, 0))) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "link up: BSS information not sent");
    }
    if (peer != nullptr && !NT_SUCCESS(QzCmdSendStaRecUpdate(adapter, port, peer, nullptr))) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "link up: station record not sent");
    }

    // 16. The peer entry, then the link reported to the OS.
    if (peer != nullptr) {
        std::memcpy(peer->Addr, port->Bssid, 6);
        peer->AssocState = MAC_ENTRY_ASSOCIATED;
        peer->Adapter = adapter;
        if (joined.MakerCapability != 0) {
            peer->HtFlags |= 0x2000;
        }
        (void)PlatformIndicateLinkQuality(adapter, port->PortNumber);
        (void)PlatformIndicateNewLinkSpeed(adapter, port->PortNumber, 0, 1);
        WdiEventIndicateLinkStateChange(adapter, port);
        std::memcpy(p.PrevLinkBssid, port->Bssid, 6);
        if (port->WpsState == kWpsActiveState) {
            port->WpsState = kWpsLinked;
            p.WpsStatus = kWpsStatusLinked;
            NdisCommonGenericDelay(100000);
        }
    }

    // 17. A connection, or a roam once a connection has completed.
    if (kind == 1) {
        if (c.Roaming) {
            PlatformIndicateRoamingCompletion(adapter, port, 0);
        } else {
            (void)PlatformIndicateConnectionCompletion(adapter, port, 0, 78);
            c.Roaming = 1;
            c.KeepReconnecting = 0;
        }
    }

    // 18. Done: the IoT lab check starts over, then the two event-log records.
    p.LinkProgress |= LINK_PROGRESS_UP_DONE;
    p.LinkUpInProgress = 0;
    adapter->IotLabCounter = 1;
    const UCHAR powerSave = static_cast<UCHAR>(adapter->WorkingCfg.PSMode);
    (void)WriteSystemEventLog(adapter, kEventPowerSave, 0, &powerSave, sizeof(powerSave));
    const ULONG phyAndBandwidth = (static_cast<ULONG>(port->WirelessMode) << 16) + port->Channel.Bandwidth;
    (void)WriteSystemEventLog(adapter, kEventPhyAndBandwidth, 0, &phyAndBandwidth, sizeof(phyAndBandwidth));
}

NTSTATUS MlmeCntLinkDown(PMP_PORT port, ULONG hookArgument)
{
    if (port == nullptr || port->Adapter == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    PMP_ADAPTER adapter = port->Adapter;
    MLME_CNTL_ADAPTER_BLOCK& c = adapter->Mlme.Cntl;
    MLME_CNTL_PORT_BLOCK& p = port->Mlme.Cntl;

    // 1. The peer: the access point (or the ad hoc peer) of a station, the group owner of a client.
    PMP_PORT go = MlmeSyncGetPortByType(adapter, WFD_GO);
    PMAC_TABLE_ENTRY peerEntry = nullptr;
    if (port->PortType == EXTSTA) {
        const USHORT role = (port->ConnectionFlags & PORT_STATUS_ADHOC_LINK_UP) != 0 ? WLAN_ROLE_ADHOC : WLAN_ROLE_STA;
        peerEntry = MlmeSyncMacTabMatchedRoleType(port, role);
    } else if (port->PortType == WFD_CLIENT) {
        peerEntry = MlmeSyncMacTabMatchedRoleType(port, WLAN_ROLE_P2P_CLIENT);
        MlmeResetGCTxPendingPktCount(adapter);
    } else {
        peerEntry = MlmeSyncMacTabMatchedWlanIdx(port, 1);
    }
    const UCHAR peerIndex = peerEntry != nullptr ? peerEntry->WlanIdx : WLAN_INDEX_NONE;

    // 2. Timers and the connection's bytes, linked or not.
    UCHAR cancelled = 0;
    if (port->Mlme.DisassocTimeoutTimer.Initialized) {
        PlatformCancelTimer(&port->Mlme.DisassocTimeoutTimer, &cancelled);
    }
    adapter->WorkingCfg.Feature11n &= ~0x2u;
    p.LinkUpInProgress = 0;

    // 3. Nothing more unless linked to an infrastructure network.
    if ((port->ConnectionFlags & PORT_STATUS_INFRA_LINK_UP) == 0) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "link down of port %u: not linked", static_cast<unsigned>(port->PortNumber));
        return STATUS_SUCCESS;
    }
    UCHAR bssid[6];
    std::memcpy(bssid, port->Bssid, sizeof(bssid));
    const UCHAR channel = port->Channel.PrimaryChannel;

    // 4. An RSNA access point stays known in the port for a later connection.
    if (adapter->ScanTable != nullptr) {
        const LONG i = BssTableSearch(adapter, port, adapter->ScanTable, bssid, channel);
        if (i >= 0 && i < MAX_LEN_OF_BSS_TABLE && adapter->ScanTable->BssEntry[i].AuthMode == kAuthRsna) {
            std::memcpy(&p.LastBss, &adapter->ScanTable->BssEntry[i], sizeof(BSS_ENTRY));
        }
    }

    // 6. The peer entry's timer.
    if (peerEntry != nullptr && peerEntry->EntryTimer.Initialized) {
        PlatformCancelTimer(&peerEntry->EntryTimer, &cancelled);
    }

    // 7. The SSID and BSSID become the previous ones.
    std::memcpy(port->LastConnectSsid, port->CurrentSsid, sizeof(port->LastConnectSsid));
    port->LastConnectSsidLen = port->CurrentSsidLen;
    port->ConnectionFlags &= ~(PORT_STATUS_INFRA_LINK_UP | PORT_STATUS_MEDIA_CONNECTED);
    std::memcpy(p.PrevLinkBssid, bssid, 6);

    // 8. The old access point's scan entries stay for a roam or a connect to another SSID.
    if (c.KeepOldEntry) {
        c.KeepOldEntry = 0;
    } else if (!(p.RoamRequest == 1 && p.RoamParameter == 1)) {
        if (adapter->ScanTable != nullptr) {
            BssTableDeleteEntryEx(adapter->ScanTable, bssid, channel, port->CurrentSsid, port->CurrentSsidLen);
        }
        BssRepositTableDeleteEntryEx(adapter, bssid, channel, port->CurrentSsid, port->CurrentSsidLen);
    }

    // 9.-10. Progress, then the firmware.
    port->ConnectionFlags &= ~kFlagsClearedAtDown;
    p.LinkProgress |= LINK_PROGRESS_DOWN_STARTED;
    (void)QzCmdPmDisable(adapter, port);
    (void)QzCmdSetBssInfo(adapter, port, 0);

    // 11. The access point's entry.
    static const UCHAR kZero[6] = {};
    if (std::memcmp(bssid, kZero, 6) != 0) {
        PMAC_TABLE_ENTRY entry = MacTableLookup(adapter, port, bssid);
        if (entry != nullptr) {
            (void)twtTeardownAllAgreements(adapter, entry);
            (void)MacTableDeleteAndResetEntry(adapter, port, entry->WlanIdx, bssid, 0);
        }
    }

    // 12. Keys.
    if (KeysGoWithTheLink(adapter, port)) {
        (void)MlmeInfoWPARemoveAllKeys(adapter, port);
    }

    // 13.-14. Antennas, dual-band concurrency and the frames still waiting.
    KOVAsetAntennaPath(adapter, 2, 2);
    if (c.DbdcActive) {
        (void)MultiBandDisableDbdcDecision(adapter, port, 0);
        c.DbdcActive = 0;
        c.DbdcCompanion = 0;
        if (port->PortType == EXTSTA) {
            PlatformIndicateTxAbortPendingPacketsByPort(adapter, static_cast<USHORT>(port->PortNumber));
            port->Mlme.Req.TxPendingCount = 0;
            if (go != nullptr && go->P2pGoActive) {
                PlatformIndicateTxAbortPendingPacketsByPort(adapter, static_cast<USHORT>(go->PortNumber));
                MlmeClearPktCount(adapter, go);
            }
        }
    } else {
        if (adapter->ChPrivilegeHeld) {
            (void)QzCmdChPrivilage(adapter, port, adapter->ChPrivilegeChannel, adapter->ChPrivilegeBand,
                                   CH_PRIVILEGE_RELEASE, 0, 0, nullptr, nullptr, 0, 0);
        }
        PlatformIndicateTxAbortPendingPacketsByPort(adapter, static_cast<USHORT>(port->PortNumber));
        port->Mlme.Req.TxPendingCount = 0;
    }

    // 15. The firmware's station record.
    if (MlmeSyncMacTabMatchedRoleType(port, GetWlanRoleType(port)) != nullptr) {
        (void)QzCmdSendStaRecRemove(adapter, 1, STA_REC_REMOVE_ALL_WLAN_INDEX, port->BssIndex);
    }

    // 16. The connection state of the port and of the adapter.
    std::memset(port->CurrentSsid, 0, sizeof(port->CurrentSsid));
    port->CurrentSsidLen = 0;
    std::memset(port->Bssid, 0, sizeof(port->Bssid));
    port->Channel.Band = 0;
    JOIN_TARGET_INFO& joined = adapter->Mlme.JoinTargetInfo;
    std::memset(joined.HtCapability, 0, sizeof(joined.HtCapability));
    std::memset(joined.HtOperation, 0, sizeof(joined.HtOperation));
    joined.VhtPresent = 0;
    std::memset(joined.VhtCapability, 0, sizeof(joined.VhtCapability));
    std::memset(joined.VhtOperation, 0, sizeof(joined.VhtOperation));
    std::memset(joined.ExtCapabilities, 0, sizeof(joined.ExtCapabilities));
    joined.SsidLen = 0;
    c.PortSecured = PORT_NOT_SECURED;
    ResetSignal(port);

    // 17. Protection without the access point's HT operation.
    if (!AdapterTestFlags(adapter, kSuspendFlag)) {
        AsicUpdateProtect(adapter, port, joined.HtOperation, 0x3F, 1, 0);
    }

    // 18. Overlapping-BSS upkeep ends with the link.
    p.ConnectionPhase = PORT_CONN_STATE_IDLE;
    const bool coexisting = (port->ConnectionFlags & kFlag2040Coexist) != 0;
    port->ConnectionFlags &= ~kFlagObssReported;
    if (coexisting) {
        port->ConnectionFlags &= ~kFlag2040Coexist;
        MlmeSyncEraseChnlObssMark(adapter);
    }

    // 19. Wi-Fi Direct.
    if (port->PortType == WFD_CLIENT) {
        P2pMsMlmeCntLinkDown(port, hookArgument);
    } else {
        P2pMlmeCntLinkDown(port);
    }

    // 20.-21. WPS, signal, progress and the link LED.
    if (port->WpsMode == kWpsModeSearch && port->WpsState == kWpsStateDone) {
        p.WpsStatus = kWpsStatusLinkDown;
        port->WpsState = 0;
    }
    ResetSignal(port);
    p.LinkProgress |= LINK_PROGRESS_DOWN_DONE;
    if (adapter->RegistryBlock.OemLedMode == 2) {
        (void)nicUniCmdRODuduGpioLedCtrl(adapter, 0, 0, 0);
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "link down of port %u (peer index %u)",
             static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(peerIndex));
    return STATUS_SUCCESS;
}
