// The join: the sync machine's join request, the grant routine that probes the target on its
// channel, and the target's beacon or probe response that confirms the join.
#include "Common/mlme/mlmesync_join.h"

#include <cstring>

#include "Common/he/eht_rlm.h"
#include "Common/he/he_rlm.h"
#include "Common/fwsettings.h"
#include "Common/logevent.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmemem.h"
#include "Common/mlme/mlmereq_types.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_probe.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "Common/mlme/mlmesync_sanity.h"
#include "Common/mlme/mlmeinfo_rate.h"
#include "Common/p2p/p2p.h"
#include "Common/qzcmd.h"
#include "Common/qzcmd_bss.h"
#include "Common/qzcmd_scan.h"
#include "Common/rlm_vht.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr ULONG kConnectInfoLogId = 0x40020406;
constexpr ULONG kJoinGrantMs = 4000;
constexpr ULONG kJoinGrantArgument = 0x304CE8;
constexpr ULONG kIndicationConnectionComplete = 8;
constexpr ULONG kMgmtHeader = 24;
constexpr UCHAR kSubtypeBeacon = 8;
constexpr USHORT kCapabilityPrivacy = 0x0010;
constexpr ULONG kStatusWmm = 1;

PMP_PORT ElemPort(PMP_ADAPTER adapter, const MLME_QUEUE_ELEM* elem)
{
    return elem->PortIndex < MP_MAX_PORTS ? adapter->PortList[elem->PortIndex] : nullptr;
}

PMAC_TABLE_ENTRY OwnEntry(PMP_PORT port)
{
    const USHORT role = GetWlanRoleType(port);
    return role == WLAN_ROLE_NONE ? nullptr : MlmeSyncMacTabMatchedRoleType(port, role);
}

// The connect attempt's candidate of an index; none when the index is outside the table.
PBSS_ENTRY Candidate(PMP_ADAPTER adapter, ULONG index)
{
    BSS_TABLE& table = adapter->Mlme.ConnectCandidates;
    if (index >= table.EntryCount || index >= MAX_LEN_OF_BSS_TABLE) {
        return nullptr;
    }
    return &table.BssEntry[index];
}

void CancelTimer(PLATFORM_TIMER& timer)
{
    UCHAR cancelled = 0;
    if (timer.Initialized) {
        PlatformCancelTimer(&timer, &cancelled);
    }
}

bool AllZero(const UCHAR* bytes, ULONG length)
{
    for (ULONG i = 0; i < length; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

void WriteConnectInfo(PMP_ADAPTER adapter, const BSS_ENTRY& e)
{
    UCHAR dump[52] = {};
    std::memcpy(dump, e.Bssid, 6);
    dump[6] = static_cast<UCHAR>(e.Band);
    dump[7] = static_cast<UCHAR>(e.Band);
    dump[8] = e.CentralChannel;
    dump[9] = e.BssType;
    const UCHAR ssidLength = e.SsidLen <= 32 ? e.SsidLen : 32;
    dump[10] = ssidLength;
    std::memcpy(dump + 11, e.Ssid, ssidLength);
    for (ULONG i = 0; i < 4; ++i) {
        dump[43 + i] = static_cast<UCHAR>(e.AuthMode >> (8 * i));
        dump[47 + i] = static_cast<UCHAR>(e.EncryptionStatus >> (8 * i));
    }
    dump[51] = static_cast<UCHAR>(e.Rssi);
    (void)WriteSystemEventLog(adapter, kConnectInfoLogId, 0, dump, sizeof(dump));
}

BOOLEAN HtPhyMode(PMP_PORT port) { return static_cast<BOOLEAN>(port->WirelessMode >= 5 && port->WirelessMode <= 14); }

// WMM off: the port's WMM flag, the target's EDCA, load and QoS records, and the WMM status.
void WmmOff(PMP_PORT port, JOIN_TARGET_INFO& join)
{
    port->WmmInUse = 0;
    std::memset(&join.EdcaParameters, 0, sizeof(join.EdcaParameters));
    std::memset(&join.QbssLoad, 0, sizeof(join.QbssLoad));
    std::memset(join.QosCapability, 0, sizeof(join.QosCapability));
}

// Central channel of an HT BSS: p primary, o secondary offset (1 above, 3 below), w 40 MHz supported.
UCHAR HtCentral(UCHAR p, UCHAR o, bool w, UCHAR fallback)
{
    if (p > 2 && o == 3 && w) {
        return static_cast<UCHAR>(p - 2);
    }
    if (o == 1 && w) {
        return static_cast<UCHAR>(p + 2);
    }
    return fallback;
}

void SendManagementFrame(PMP_ADAPTER adapter, const UCHAR* frame, ULONG length, UCHAR sequence)
{
    PUCHAR buffer = nullptr;
    if (MlmeAllocateMemoryEx(adapter, 0, &buffer) != STATUS_SUCCESS || buffer == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "join: no MLME buffer for a probe request");
        return;
    }
    std::memcpy(buffer, frame, length);
    if (adapter->HifContext == nullptr) {
        MlmeFreeMemory(adapter, buffer);
        return;
    }
    (void)NdisCommonHifMiniportMMRequest(adapter->HifContext, buffer, length, sequence);
}

}  // namespace

VOID MlmeSyncJoinReqAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = ElemPort(adapter, elem);
    if (port == nullptr || elem->MsgLen < sizeof(ULONG)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "join request without a port or a candidate index");
        return;
    }
    CancelTimer(port->Mlme.BeaconTimeoutTimer);
    CancelTimer(port->Mlme.SaeTimeoutTimer);
    ULONG index = 0;
    std::memcpy(&index, elem->Msg, sizeof(index));
    PBSS_ENTRY candidate = Candidate(adapter, index);
    if (candidate == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "join request for candidate %u outside the table", static_cast<unsigned>(index));
        return;
    }
    const BSS_ENTRY& e = *candidate;
    adapter->Mlme.JoinCandidateIndex = index;
    JOIN_TARGET_INFO& join = adapter->Mlme.JoinTargetInfo;
    std::memcpy(join.Bssid, e.Bssid, 6);
    std::memset(join.Ssid, 0, sizeof(join.Ssid));
    join.SsidLen = e.SsidLen <= 32 ? e.SsidLen : 32;
    std::memcpy(join.Ssid, e.Ssid, join.SsidLen);
    join.BssType = e.BssType;
    join.Channel = e.Channel;
    join.Band = static_cast<ULONG>(e.Band);
    join.CentralChannel = e.CentralChannel;
    std::memcpy(adapter->Mlme.Scan.JoinTargetBssid, e.Bssid, 6);
    // The MLME BSSID: the access point the connect machine authenticates and associates with.
    std::memcpy(adapter->Mlme.Cntl.MlmeBssid, e.Bssid, 6);

    if (e.Band == BAND_6G) {
        join.He6gOpWord = 0;
        join.He6gOpByte = 0;
        join.He6gOpValue = 0;
    } else {
        PREPOSIT_TABLE reposit = RepositTableGet(adapter);
        const ULONG found = reposit != nullptr
                                ? RepositTableSearchByBand(adapter, port, reposit, static_cast<ULONG>(e.Band), e.Bssid)
                                : 0xFFFFFFFFu;
        if (found != 0xFFFFFFFFu && found < MAX_LEN_OF_BSS_TABLE) {
            const BSS_ENTRY& r = reposit->Entries[found];
            join.HtOperation[1] = static_cast<UCHAR>((join.HtOperation[1] & ~0x3) | (r.HtOperation[1] & 0x3));
            std::memcpy(join.VhtOperation, r.VhtOperation, 3);
        } else {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "join: target not among the roaming candidates");
            join.HtOperation[1] = static_cast<UCHAR>(join.HtOperation[1] & ~0x3);
            std::memset(join.VhtOperation, 0, 3);
        }
    }
    std::memset(join.EhtChannel, 0, sizeof(join.EhtChannel));
    const UCHAR* afterMdie = reinterpret_cast<const UCHAR*>(&e.MobilityDomain) + sizeof(e.MobilityDomain);
    port->JoinParam[0] = afterMdie[0];
    port->JoinParam[1] = afterMdie[1];
    WriteConnectInfo(adapter, e);

    if (OwnEntry(port) != nullptr) {
        (void)QzCmdSendStaRecRemove(adapter, 1, STA_REC_REMOVE_ALL_WLAN_INDEX, port->BssIndex);
    }
    (void)QzCmdChPrivilage(adapter, port, e.Channel, static_cast<UCHAR>(e.Band), CH_PRIVILEGE_REQUEST,
                           CH_PRIVILEGE_KIND_JOIN, kJoinGrantMs, MlmeCntlProcPendConnectHdlr, port, kJoinGrantArgument,
                           1);
}

NTSTATUS MlmeCntlProcPendConnectHdlr(PMP_ADAPTER adapter, PMP_PORT port, PVOID context)
{
    UNREFERENCED_PARAMETER(context);
    if (adapter == nullptr || port == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (port->Ind.State.LastIndication == kIndicationConnectionComplete) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "join grant after the attempt ended: nothing to do");
        return STATUS_SUCCESS;
    }
    PBSS_ENTRY candidate = Candidate(adapter, adapter->Mlme.JoinCandidateIndex);
    if (candidate == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "join grant without a candidate");
        return STATUS_UNSUCCESSFUL;
    }
    const BSS_ENTRY& e = *candidate;
    port->Mlme.SyncMachine.CurrState = SYNC_JOIN;
    CancelTimer(port->Mlme.BeaconTimeoutTimer);
    JOIN_TARGET_INFO& join = adapter->Mlme.JoinTargetInfo;
    std::memcpy(join.Bssid, e.Bssid, 6);
    std::memset(join.Ssid, 0, sizeof(join.Ssid));
    join.SsidLen = e.SsidLen <= 32 ? e.SsidLen : 32;
    std::memcpy(join.Ssid, e.Ssid, join.SsidLen);
    join.BssType = e.BssType;
    port->Channel.PrimaryChannel = e.Channel;
    port->Channel.Band = static_cast<ULONG>(e.Band);
    port->Channel.CentreChannel = e.CentralChannel;
    MLME_PORT_SCAN_STATE& scan = port->Mlme.Scan;
    scan.JoinProbing = 1;
    // The probe requests of this attempt are built afresh.
    adapter->Mlme.Scan.JoinFrameLength = 0;
    adapter->Mlme.Scan.JoinFrameCached = 0;

    if (PMAC_TABLE_ENTRY own = OwnEntry(port)) {
        std::memcpy(own->Addr, e.Bssid, 6);
        (void)QzCmdSendStaRecUpdate(adapter, port, own, nullptr);
    }

    NTSTATUS status = STATUS_SUCCESS;
    for (ULONG pass = 0; pass < 3; ++pass) {
        if (scan.JoinProbing != 1) {
            if (pass == 0) {
                return STATUS_UNSUCCESSFUL;
            }
            break;
        }
        PUCHAR buffer = nullptr;
        status = MlmeAllocateMemoryEx(adapter, 0, &buffer);
        if (status == STATUS_SUCCESS && buffer != nullptr) {
            ULONG length = 0;
            if (adapter->Mlme.Scan.JoinFrameLength != 0 &&
                adapter->Mlme.Scan.JoinFrameLength <= sizeof(adapter->Mlme.Scan.JoinFrame)) {
                length = adapter->Mlme.Scan.JoinFrameLength;
                std::memcpy(buffer, adapter->Mlme.Scan.JoinFrame, length);
            } else {
                MgntPktConstructProbeReqFrame(port, buffer, &length);
            }
            if (adapter->HifContext != nullptr) {
                (void)NdisCommonHifMiniportMMRequest(adapter->HifContext, buffer, length, GetNextSeqNum(adapter, 3, 1));
            } else {
                MlmeFreeMemory(adapter, buffer);
            }
        }
        NdisCommonGenericDelay(3000);
    }
    for (ULONG wait = 0; wait < 10 && scan.JoinProbing == 1; ++wait) {
        NdisCommonGenericDelay(10000);
    }
    if (scan.JoinProbing == 1) {
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "join: the target did not answer within 100 ms");
        AdapterClearFlag(adapter, ADAPTER_FLAG_SCANNING, __func__);
    }
    (void)PlatformSetTimer(port, &port->Mlme.BeaconTimeoutTimer, 0);
    return status;
}

VOID MlmeSyncPeerBeaconAtJoinAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = ElemPort(adapter, elem);
    if (port == nullptr) {
        return;
    }
    PMAC_TABLE_ENTRY kindOne = MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_PEER);
    UCHAR wlanIndex = kindOne != nullptr ? kindOne->WlanIdx : static_cast<UCHAR>(WLAN_INDEX_NONE);
    PBEACON_PARSE_RESULT record = MlmeSyncTakeIntakeRecord(adapter);
    if (record == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "join intake: no parse area, frame dropped");
        return;
    }
    BEACON_PARSE_RESULT& r = *record;
    r.LocalMaxTxPower = 0xFF;
    r.PowerConstraint = 0xFF;
    port->WmmInUse = adapter->RegistryBlock.WMMCapable;
    const ULONG frameLength = elem->MsgLen <= MLME_MSG_SIZE ? elem->MsgLen : MLME_MSG_SIZE;
    if (!MlmeSyncPeerBeaconAndProbeRspSanity(adapter, port, elem, frameLength, &r)) {
        return;
    }
    const bool beacon = ((elem->Msg[0] >> 4) & 0x0F) == kSubtypeBeacon;
    // SSID completion of a hidden network in certification mode.
    if ((adapter->RegistryBlock.CertReg & 2) != 0 && beacon && (r.SsidLen == 0 || AllZero(r.Ssid, r.SsidLen)) &&
        std::memcmp(r.Bssid, adapter->CertOweTransBssid, 6) == 0) {
        r.SsidLen = adapter->CertOweTransSsidLen <= 32 ? adapter->CertOweTransSsidLen : 32;
        std::memcpy(r.Ssid, adapter->CertOweTransSsid, r.SsidLen);
    }

    JOIN_TARGET_INFO& join = adapter->Mlme.JoinTargetInfo;
    MLME_PORT_SCAN_STATE& scan = port->Mlme.Scan;
    const UCHAR ssidLength = r.SsidLen <= 32 ? r.SsidLen : 32;
    const bool target = join.SsidLen == ssidLength && std::memcmp(join.Ssid, r.Ssid, ssidLength) == 0 &&
                        (port->Mlme.CntlMachine.CurrState == 10 || std::memcmp(r.Bssid, join.Bssid, 6) == 0);
    if (!target) {
        // Another BSS: the cached probe request goes out again while the join still probes.
        MLME_SCAN_STATE& cache = adapter->Mlme.Scan;
        if (scan.JoinProbing == 1 && cache.JoinFrameLength != 0 && cache.JoinFrameLength <= sizeof(cache.JoinFrame)) {
            SendManagementFrame(adapter, cache.JoinFrame, cache.JoinFrameLength, 0);
        }
        return;
    }

    // J6: the timer stops; the signal records start from this frame.
    CancelTimer(port->Mlme.BeaconTimeoutTimer);
    const CHAR chains[3] = {static_cast<CHAR>(elem->Rssi0), static_cast<CHAR>(elem->Rssi1), static_cast<CHAR>(elem->Rssi2)};
    for (ULONG i = 0; i < 3; ++i) {
        port->RssiLastSample[i] = chains[i];
        port->RssiAvg[i] = chains[i];
        port->RssiSum[i] = static_cast<SHORT>(chains[i] * 8);
    }

    // J7: the scan-table entry of the target.
    USHORT capability = r.CapabilityInfo;
    if (adapter->ScanTable != nullptr) {
        LONG found = BssSearchWithSsid(adapter->ScanTable, r.Bssid, join.Ssid, join.SsidLen, r.Channel);
        if (found == BSS_NOT_FOUND) {
            MlmeSyncPeerBeaconAtScanAction(adapter, elem);
            found = BssSearchWithSsid(adapter->ScanTable, r.Bssid, join.Ssid, join.SsidLen, r.Channel);
            // The scan intake reused the parse record: parse the frame again.
            std::memset(&r, 0, sizeof(r));
            PBEACON_PARSE_RESULT again = MlmeSyncTakeIntakeRecord(adapter);
            if (again == nullptr || !MlmeSyncPeerBeaconAndProbeRspSanity(adapter, port, elem, frameLength, again)) {
                return;
            }
        }
        if (join.SsidLen == 0) {
            join.SsidLen = ssidLength;
            std::memcpy(join.Ssid, r.Ssid, ssidLength);
        } else if (found != BSS_NOT_FOUND) {
            BSS_ENTRY& entry = adapter->ScanTable->BssEntry[found];
            if (entry.CapabilityInfo != r.CapabilityInfo && (entry.CapabilityInfo & kCapabilityPrivacy) == 0 &&
                (r.CapabilityInfo & kCapabilityPrivacy) != 0) {
                entry.CapabilityInfo = static_cast<USHORT>(entry.CapabilityInfo | kCapabilityPrivacy);
            }
            capability = entry.CapabilityInfo;
            if (beacon) {
                entry.HiddenBeacon = (r.SsidLen != 0 && !AllZero(r.Ssid, ssidLength)) ? 0 : 1;
            }
        }
    }

    // J8: the target's parameters.
    std::memcpy(join.Bssid, r.Bssid, 6);
    join.CapabilityInfo = static_cast<USHORT>(capability & 0x1533);
    join.BssType = r.BssType;
    join.BeaconPeriod = r.BeaconPeriod;
    join.AtimWindow = r.AtimWindow;
    join.CfpPeriod = r.CfParams.CfpPeriod;
    join.CfpMaxDuration = r.CfParams.CfpMaxDuration;
    join.MakerCapability = r.MakerCapability;
    join.SupportedRatesLen = r.SupportedRatesLen <= BSS_RATES_MAX ? r.SupportedRatesLen : BSS_RATES_MAX;
    std::memcpy(join.SupportedRates, r.SupportedRates, join.SupportedRatesLen);
    join.ExtendedRatesLen = r.ExtendedRatesLen <= BSS_RATES_MAX ? r.ExtendedRatesLen : BSS_RATES_MAX;
    std::memcpy(join.ExtendedRates, r.ExtendedRates, join.ExtendedRatesLen);
    KOVAFilterSupportedRates(adapter, join.SupportedRates, &join.SupportedRatesLen);
    KOVAFilterSupportedRates(adapter, join.ExtendedRates, &join.ExtendedRatesLen);
    port->Channel.PrimaryChannel = r.Channel;
    UCHAR htLength = r.HtCapabilityLen;
    if (r.Channel == 14 && port->Cfg.Ch14BOnly) {
        join.SupportedRatesLen = join.SupportedRatesLen < 4 ? join.SupportedRatesLen : 4;
        join.ExtendedRatesLen = 0;
        htLength = 0;
    }
    join.SecondaryChannelOffset = r.SecondaryChannelOffset;
    join.HtCapabilityLen = htLength;

    // J9: the peer entry.
    if (port->Mlme.Req.P2pSwitch == 1 && (port->PortType == WFD_CLIENT ||
                                          (port->PortNumber != 0 && port->PortType < WFD_DEVICE && port->OpMode == 1 &&
                                           adapter->OpMode == 3))) {
        wlanIndex = P2pGetClientWcid(adapter, port);
    }
    PMAC_TABLE_ENTRY peer = MlmeSyncMacTabMatchedWlanIdx(port, wlanIndex);
    if (peer == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "join: no peer entry of WLAN index %u", static_cast<unsigned>(wlanIndex));
        return;
    }
    peer->PhyModeFlags = 0;

    // J10: rates and MCS, mobility domain, MBO-OCE.
    MlmeInfoSetSupportMCS(adapter, port, FALSE, peer, join.SupportedRates, join.SupportedRatesLen, join.ExtendedRates,
                          join.ExtendedRatesLen, nullptr, nullptr, r.HtCapability, htLength);
    if (r.MobilityDomain.Present) {
        std::memcpy(adapter->Mlme.JoinMobilityDomain, &r.MobilityDomain, sizeof(r.MobilityDomain));
    } else {
        std::memset(adapter->Mlme.JoinMobilityDomain, 0, sizeof(adapter->Mlme.JoinMobilityDomain));
    }
    adapter->Mlme.JoinMboOce = r.MboOcePresent;

    // J11-J13: HT, VHT, HE and EHT.
    const bool heAllowed = port->HeEnabled != 0 && (adapter->WfdPhyMode == 2 || adapter->WfdPhyMode == 3 ||
                                                    port->PortType == EXTSTA);
    const bool htUsable = htLength != 0 && HtPhyMode(port) &&
                          !(r.BssType == 2 && adapter->RegistryBlock.AdhocNMode != 1) && join.Band != BAND_6G;
    if (!htUsable) {
        join.CentralChannel = join.Channel;
        std::memset(join.HtCapability, 0, sizeof(join.HtCapability));
        std::memset(join.HtOperation, 0, sizeof(join.HtOperation));
        std::memset(join.VhtCapability, 0, sizeof(join.VhtCapability));
        std::memset(join.VhtOperation, 0, sizeof(join.VhtOperation));
        if (htLength == 0 || !HtPhyMode(port)) {
            std::memset(join.McsSet, 0, sizeof(join.McsSet));
            join.HtActive = 0;
            if (!HtPhyMode(port)) {
                join.HtCapabilityLen = 0;
            }
            join.VhtPresent = 0;
            bool sixGhz = false;
            if (join.Band == BAND_6G && (port->WirelessMode == 13 || port->WirelessMode == 14) && r.HePresent &&
                heAllowed) {
                (void)QZCheckHe(adapter, port, wlanIndex, &r.HeCapability, &r.HeOperation, TRUE, r.He6gOperation,
                                nullptr);
                peer->PhyModeFlags |= MAC_ENTRY_PHY_HE;
                HeUpdateMacTable(adapter, port, peer);
                join.HePresent = 1;
                join.He6gInUse = adapter->Rlm.Link.He6gOpPresent;
                sixGhz = join.He6gInUse == 1;
                if (sixGhz && port->WirelessMode == 14 && port->Rlm.Eht.Enabled && r.EhtPresent) {
                    (void)QZCheckEht(adapter, port, wlanIndex, &r.EhtCapability, &r.EhtOperation, TRUE);
                    peer->PhyModeFlags |= MAC_ENTRY_PHY_EHT;
                    EhtUpdateMacTable(adapter, port, peer);
                    join.EhtPresent = 1;
                }
            }
            if (!sixGhz) {
                join.HePresent = 0;
                std::memset(join.HeOperation, 0, sizeof(join.HeOperation));
                std::memset(join.HeCapability, 0, sizeof(join.HeCapability));
                if ((join.Channel <= 14 && (adapter->RegistryBlock.Hlk_feature_optional & 0x80) == 0) ||
                    port->PhyModeOverride != PORT_PHY_MODE_OVERRIDE_NONE) {
                    WmmOff(port, join);
                }
            }
        }
    } else {
        // J12: HT in use.
        std::memset(join.HtCapability, 0, sizeof(join.HtCapability));
        std::memcpy(join.HtOperation, r.HtOperation, sizeof(join.HtOperation));
        std::memcpy(join.ExtCapabilities, r.ExtCapabilities,
                    sizeof(join.ExtCapabilities) < sizeof(r.ExtCapabilities) ? sizeof(join.ExtCapabilities)
                                                                             : sizeof(r.ExtCapabilities));
        PMP_PORT port0 = adapter->PortList[0];
        if (port0 != nullptr && (port0->ConnectionFlags & 0x3) == 0) {
            std::memcpy(join.McsSet, r.HtCapability + 3, sizeof(join.McsSet));
        }
        peer->PhyModeFlags |= MAC_ENTRY_PHY_HT;
        std::memcpy(peer->PeerHtCapability, r.HtCapability, sizeof(peer->PeerHtCapability));
        std::memcpy(peer->PeerHtOperation, r.HtOperation, sizeof(peer->PeerHtOperation));
        join.HtCapabilityLen = BSS_HT_CAP_LEN;
        join.HtActive = 1;
        if (r.PreStdHtCapabilityLen != 0) {
            join.PreStdHt = 1;
        }
        const UCHAR p = r.HtOperation[0];
        const UCHAR o = r.HtOperation[1] & 0x3;
        const bool w = (r.HtCapability[0] & 0x02) != 0;
        const bool vht = port->Cfg.VhtEnabled != 0 && r.VhtPresent != 0;
        if (vht) {
            switch (r.VhtOperation[0]) {
            case 2:
                join.CentralChannel = r.VhtOperation[2];
                break;
            case 1:
                join.CentralChannel = r.VhtOperation[1];
                break;
            case 0:
                join.CentralChannel = HtCentral(p, o, w, join.Channel);
                break;
            default:
                break;
            }
        } else if (r.HtOperationLen != 0) {
            join.CentralChannel = HtCentral(p, o, w, p);
        }
        std::memcpy(join.HtCapability, r.HtCapability, sizeof(join.HtCapability));
        (void)KOVACheckHt(adapter, port, wlanIndex, join.HtCapability, join.HtOperation, r.VhtPresent, r.VhtCapability);

        // J13: VHT, HE, EHT.
        if (vht) {
            join.VhtPresent = 1;
            std::memcpy(join.VhtCapability, r.VhtCapability, sizeof(join.VhtCapability));
            std::memcpy(join.VhtOperation, r.VhtOperation, sizeof(join.VhtOperation));
            VHT_CAP_IE cap;
            VHT_OP_IE op;
            std::memcpy(&cap, r.VhtCapability, sizeof(cap));
            std::memcpy(&op, r.VhtOperation, sizeof(op));
            (void)KOVACheckVht(adapter, port, wlanIndex, &cap, &op);
            peer->PhyModeFlags |= MAC_ENTRY_PHY_VHT;
            std::memcpy(peer->PeerVhtCapability, r.VhtCapability, sizeof(peer->PeerVhtCapability));
            std::memcpy(peer->PeerVhtOperation, r.VhtOperation, sizeof(peer->PeerVhtOperation));
            const UCHAR width = join.VhtOperation[0];
            peer->PeerVhtBandwidth = width == 2 || width == 3 ? 3 : width == 1 ? 2 : (w ? 1 : 0);
            peer->PeerVhtStreams = 0xFF;
        } else {
            join.VhtPresent = 0;
            std::memset(join.VhtCapability, 0, sizeof(join.VhtCapability));
            std::memset(join.VhtOperation, 0, sizeof(join.VhtOperation));
        }
        if (heAllowed && r.HePresent) {
            (void)QZCheckHe(adapter, port, wlanIndex, &r.HeCapability, &r.HeOperation, TRUE, nullptr, nullptr);
            peer->PhyModeFlags |= MAC_ENTRY_PHY_HE;
            HeUpdateMacTable(adapter, port, peer);
            join.HePresent = 1;
            join.He6gInUse = 0;
        } else {
            join.HePresent = 0;
            std::memset(join.HeOperation, 0, sizeof(join.HeOperation));
            std::memset(join.HeCapability, 0, sizeof(join.HeCapability));
        }
        if (port->Rlm.Eht.Enabled && r.EhtPresent) {
            (void)QZCheckEht(adapter, port, wlanIndex, &r.EhtCapability, &r.EhtOperation, TRUE);
            peer->PhyModeFlags |= MAC_ENTRY_PHY_EHT;
            EhtUpdateMacTable(adapter, port, peer);
            join.EhtPresent = 1;
        } else {
            join.EhtPresent = 0;
        }
    }

    // J14-J15: rate classes and the first transmit rate.
    KOVAUpdateMlmeRate(adapter, r.Channel);
    const USHORT rates = peer->SupportedRateBitmap;
    const bool ofdm = (rates & 0x3FC0) != 0;
    const bool cck = (rates & 0x000F) != 0;
    if (r.Channel <= 14 && join.He6gInUse == 0) {
        peer->PhyModeFlags |= (ofdm ? MAC_ENTRY_PHY_ERP : 0) | (cck ? MAC_ENTRY_PHY_CCK : 0);
    } else if (ofdm) {
        peer->PhyModeFlags |= MAC_ENTRY_PHY_OFDM;
    }
    peer->PhyModeFlagsCopy = peer->PhyModeFlags;
    if ((peer->PhyModeFlags & MAC_ENTRY_PHY_CCK) != 0) {
        peer->InitialTxRate = 0;
    } else if ((peer->PhyModeFlags & (MAC_ENTRY_PHY_ERP | MAC_ENTRY_PHY_OFDM)) != 0) {
        peer->InitialTxRate = 0x4B;
    } else if ((peer->PhyModeFlags & MAC_ENTRY_PHY_HT) != 0) {
        peer->InitialTxRate = 0x80;
    }
    peer->LegacyRateBitmap = static_cast<USHORT>(rates & 0x3FCF);

    // J16: WMM.
    if (HtPhyMode(port) || port->WmmInUse != 0) {
        join.EdcaParameters = r.EdcaParameters;
        join.QbssLoad = r.QbssLoad;
        std::memcpy(join.QosCapability, &r.QosCapability, sizeof(join.QosCapability));
        if (r.EdcaParameters.Valid) {
            port->WmmInUse = kStatusWmm;
        }
    } else {
        std::memset(&join.EdcaParameters, 0, sizeof(join.EdcaParameters));
        std::memset(&join.QbssLoad, 0, sizeof(join.QbssLoad));
        std::memset(join.QosCapability, 0, sizeof(join.QosCapability));
    }
    if (port->PhyModeOverride == 0) {
        WmmOff(port, join);
    }

    // J18: the body of the confirming frame.
    const ULONG body = frameLength > kMgmtHeader ? frameLength - kMgmtHeader : 0;
    adapter->Mlme.JoinFrameBodyLength = static_cast<USHORT>(body);
    std::memcpy(adapter->Mlme.JoinFrameBody, elem->Msg + kMgmtHeader, body);

    // J20: the confirm.
    if (port->Mlme.CntlMachine.CurrState != 10) {
        port->Mlme.SyncMachine.CurrState = SYNC_IDLE;
    }
    UCHAR confirm[8] = {};
    std::memcpy(confirm + 2, r.TransmitterAddress, 6);
    (void)MlmeEnqueue(adapter, port, MLME_CNTL_STATE_MACHINE, CNTL_MSG_JOIN_CONFIRM, sizeof(confirm), confirm);
    scan.JoinProbing = 0;
}
