// Beacons and probe responses reaching the sync machine outside scan and join (the connected network's
// beacons) and while scanning (the scan table).
#include <cstring>

#include "Common/mlme/mlme.h"
#include "Common/he/he_rlm.h"
#include "Common/mlme/mlmeaction.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_chnl.h"
#include "Common/mlme/mlmesync_csa.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "Common/mlme/mlmesync_sanity.h"
#include "Common/p2p/p2p.h"
#include "Common/qzcmd_bss.h"
#include "Common/rlm.h"
#include "Common/rlm_power.h"
#include "hal/common/phy_cfg.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdimain.h"

namespace {

constexpr UCHAR kSubtypeBeacon = 8;
constexpr ULONG kStatisticsBeacons = 0x4;
constexpr UCHAR kDirectPrefix[7] = {'D', 'I', 'R', 'E', 'C', 'T', '-'};

// The parse record and its element copy: one area per adapter, used by the MLME thread only.
struct IntakeArea {
    BEACON_PARSE_RESULT record;
    UCHAR varIes[BCN_PARSE_IE_LIMIT];
};

IntakeArea* TakeArea(PMP_ADAPTER adapter)
{
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    if (scan.IntakeArea == nullptr) {
        PVOID block = nullptr;
        if (PlatformAllocateMemory(adapter, &block, sizeof(IntakeArea), TAG_ZV05) != STATUS_SUCCESS || block == nullptr) {
            return nullptr;
        }
        scan.IntakeArea = block;
        scan.IntakeAreaSize = sizeof(IntakeArea);
    }
    auto* area = static_cast<IntakeArea*>(scan.IntakeArea);
    std::memset(&area->record, 0, sizeof(area->record));
    area->record.VarIes = area->varIes;
    area->record.Channel = 0xFF;
    area->record.SecondaryChannelOffset = 0xFF;
    return area;
}

PMP_PORT ElemPort(PMP_ADAPTER adapter, const MLME_QUEUE_ELEM* elem)
{
    return elem->PortIndex < MP_MAX_PORTS ? adapter->PortList[elem->PortIndex] : nullptr;
}

ULONG ElemFrameLength(const MLME_QUEUE_ELEM* elem) { return elem->MsgLen <= MLME_MSG_SIZE ? elem->MsgLen : MLME_MSG_SIZE; }

bool AllZero(const UCHAR* bytes, ULONG length)
{
    for (ULONG i = 0; i < length; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

bool EmptySsid(const BEACON_PARSE_RESULT& r) { return r.SsidLen == 0 || AllZero(r.Ssid, r.SsidLen <= 32 ? r.SsidLen : 32); }

ULONG64 Now()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return static_cast<ULONG64>(now.QuadPart);
}

// Hidden networks named by their OWE transition partners.
void NameHidden(PMP_ADAPTER adapter, PMP_PORT port, BEACON_PARSE_RESULT& r, bool beacon)
{
    if ((adapter->RegistryBlock.CertReg & 2) != 0 && EmptySsid(r) && beacon &&
        std::memcmp(r.Bssid, adapter->CertOweTransBssid, 6) == 0) {
        r.SsidLen = adapter->CertOweTransSsidLen <= 32 ? adapter->CertOweTransSsidLen : 32;
        std::memcpy(r.Ssid, adapter->CertOweTransSsid, r.SsidLen);
    }
    if (AllZero(r.OweTransBssid, 6)) {
        return;
    }
    const LONG partner = BssTableSearchByBssid(adapter, port, adapter->ScanTable, r.OweTransBssid);
    if (partner == BSS_NOT_FOUND) {
        return;
    }
    BSS_ENTRY& entry = adapter->ScanTable->BssEntry[partner];
    if (EmptySsid(r)) {
        if (std::memcmp(entry.OweTransBssid, r.Bssid, 6) == 0) {
            r.SsidLen = entry.OweTransSsidLen <= 32 ? entry.OweTransSsidLen : 32;
            std::memcpy(r.Ssid, entry.OweTransSsid, r.SsidLen);
        }
    } else if (entry.SsidLen == 0) {
        entry.SsidLen = r.OweTransSsidLen <= 32 ? r.OweTransSsidLen : 32;
        std::memcpy(entry.Ssid, r.OweTransSsid, entry.SsidLen);
    }
}

bool ActsAsP2pClient(PMP_ADAPTER adapter, PMP_PORT port)
{
    return port->Mlme.Req.P2pSwitch == 1 &&
           (port->PortType == WFD_CLIENT ||
            (port->PortNumber != 0 && port->PortType < WFD_DEVICE && port->OpMode == 1 && adapter->OpMode == 3));
}

}  // namespace

BSS_ENTRY_INPUT MlmeSyncBeaconEntryInput(const BEACON_PARSE_RESULT& r, const MLME_QUEUE_ELEM* elem, CHAR rssi)
{
    BSS_ENTRY_INPUT in{};
    in.Bssid = r.Bssid;
    in.Ssid = r.Ssid;
    in.SsidLen = r.SsidLen;
    in.BssType = r.BssType;
    in.BeaconPeriod = r.BeaconPeriod;
    in.CfParams = &r.CfParams;
    in.AtimWindow = r.AtimWindow;
    in.CapabilityInfo = r.CapabilityInfo;
    in.SupportedRates = r.SupportedRates;
    in.SupportedRatesLen = r.SupportedRatesLen;
    in.ExtendedRates = r.ExtendedRates;
    in.ExtendedRatesLen = r.ExtendedRatesLen;
    in.HtCapability = r.HtCapability;
    in.VhtCapability = r.VhtCapability;
    in.VhtOperation = r.VhtOperation;
    in.HtOperation = r.HtOperation;
    in.HtCapabilityLen = (r.HtCapabilityLen != 0 || r.PreStdHtCapabilityLen != 0) ? BSS_HT_CAP_LEN : 0;
    in.HtOperationLen = r.HtOperationLen;
    in.HePresent = r.HePresent;
    in.He6gRegulatoryInfo = static_cast<UCHAR>((r.He6gOperation[1] >> 3) & 7);
    in.SecondaryChannelOffset = r.SecondaryChannelOffset;
    in.CountryString = r.CountryString;
    in.Channel = r.Channel;
    in.Band = static_cast<LONG>(r.Band);
    in.Rssi = rssi;
    in.Rssi0 = static_cast<CHAR>(elem->Rssi0);
    in.Rssi1 = static_cast<CHAR>(elem->Rssi1);
    in.RssiUpdate = r.Channel == elem->Channel ? 1 : 0;
    in.FrameTimestamp = r.FrameTimestamp;
    in.Edca = &r.EdcaParameters;
    in.QosCapability = &r.QosCapability;
    in.QbssLoad = &r.QbssLoad;
    in.BeaconWpsIe = r.BeaconWpsIe;
    in.BeaconWpsIeLen = r.BeaconWpsIeLen;
    in.ProbeRspWpsIe = r.ProbeRspWpsIe;
    in.ProbeRspWpsIeLen = r.ProbeRspWpsIeLen;
    in.VarIes = r.VarIes;
    in.VarIeLen = r.VarIeLen;
    in.MobilityDomain = &r.MobilityDomain;
    in.OweTransBssid = r.OweTransBssid;
    in.OweTransSsid = r.OweTransSsid;
    in.OweTransSsidLen = r.OweTransSsidLen;
    in.IsBeacon = ((elem->Msg[0] >> 4) & 0x0F) == kSubtypeBeacon ? 1 : 0;
    in.Frame = elem->Msg;
    in.FrameLen = ElemFrameLength(elem);
    return in;
}

PBEACON_PARSE_RESULT MlmeSyncTakeIntakeRecord(PMP_ADAPTER adapter)
{
    IntakeArea* area = TakeArea(adapter);
    return area != nullptr ? &area->record : nullptr;
}

void MlmeSyncFreeIntakeArea(PMP_ADAPTER adapter)
{
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    if (scan.IntakeArea != nullptr) {
        PlatformFreeMemory(scan.IntakeArea, scan.IntakeAreaSize);
        scan.IntakeArea = nullptr;
        scan.IntakeAreaSize = 0;
    }
}

CHAR RssiAverageByChains(PMP_ADAPTER adapter, CHAR rssi0, CHAR rssi1, CHAR rssi2)
{
    const ULONG chains = adapter != nullptr ? (adapter->AntennaPath & 0x0F) : 0;
    LONG r = -127;
    auto average = [&](std::initializer_list<CHAR> values) {
        LONG sum = 0;
        LONG k = 0;
        for (CHAR v : values) {
            if (v != 0) {
                sum += v;
                ++k;
            }
        }
        if (k > 0) {
            r = sum / k;
        }
    };
    switch (chains) {
    case 1:
        if (rssi0 != 0) {
            r = rssi0;
        }
        break;
    case 2: average({rssi0, rssi1}); break;
    case 3: average({rssi0, rssi1, rssi2}); break;
    default: break;
    }
    return r == -127 ? 0 : static_cast<CHAR>(r);
}

// ================================================================================================
// while scanning
// ================================================================================================
VOID MlmeSyncPeerBeaconAtScanAction(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = ElemPort(adapter, elem);
    IntakeArea* area = TakeArea(adapter);
    if (area == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "scan intake: no element copy, frame dropped");
        return;
    }
    BEACON_PARSE_RESULT& r = area->record;
    const ULONG frameLength = ElemFrameLength(elem);
    const bool beacon = frameLength >= 1 && ((elem->Msg[0] >> 4) & 0x0F) == kSubtypeBeacon;
    if (MlmeSyncPeerBeaconAndProbeRspSanity(adapter, port, elem, frameLength, &r)) {
        const CHAR rssi = RssiAverageByChains(adapter, static_cast<CHAR>(elem->Rssi0), static_cast<CHAR>(elem->Rssi1),
                                              static_cast<CHAR>(elem->Rssi2));
        NameHidden(adapter, port, r, beacon);

        UCHAR p2pFlag = 0;
        PP2P_CTRL_BLOCK p2p = adapter->P2pBlock;
        PMP_PORT device = p2p != nullptr ? p2p->DevicePort : nullptr;
        if (device != nullptr && device->P2pDiscoState > P2P_DISABLE) {
            P2P_DISCO_ENTRY* discovered = nullptr;
            p2pFlag = PeerP2pBeaconProbeRspAtScan(adapter, port, elem, r.CapabilityInfo, r.Channel, &discovered);
            const ULONG ndis = adapter->CommonBlock != nullptr ? adapter->CommonBlock->NdisVersion : 0;
            if (discovered != nullptr &&
                (p2pFlag == 1 || (ndis > NDIS_VERSION_629 && (device->P2pState.DiscoveryFlags & 0x8) != 0))) {
                discovered->ScanValue = rssi;
                discovered->ScanWord = r.BeaconPeriod;
                discovered->ScanWord2 = r.CapabilityInfo;
                discovered->ScanByte = r.BssType;
                const ULONG body = frameLength > MGMT_HEADER_SIZE ? frameLength - MGMT_HEADER_SIZE : 0;
                const USHORT kept = static_cast<USHORT>(body < P2P_DISCO_IES_MAX ? body : P2P_DISCO_IES_MAX);
                if (beacon) {
                    discovered->PrevBeaconTime = discovered->BeaconTime;
                    discovered->BeaconTime = Now();
                    if (discovered->BeaconIesLen != kept) {
                        discovered->Reported = 0;
                    }
                    std::memcpy(discovered->BeaconIes, elem->Msg + MGMT_HEADER_SIZE, kept);
                    discovered->BeaconIesLen = kept;
                } else {
                    discovered->PrevProbeRspTime = discovered->ProbeRspTime;
                    discovered->ProbeRspTime = Now();
                    if (discovered->ProbeRspIesLen != kept) {
                        discovered->Reported = 0;
                    }
                    std::memcpy(discovered->ProbeRspIes, elem->Msg + MGMT_HEADER_SIZE, kept);
                    discovered->ProbeRspIesLen = kept;
                }
            }
            if (p2pFlag != 0 && WdiTaskIsPending(adapter, WDI_TASK_P2P_DISCOVER)) {
                P2pMsIndicateWfdDeviceDiscoveryList(adapter, device);
            }
        }
        if (p2pFlag != 0 && r.SsidLen == sizeof(kDirectPrefix) && std::memcmp(r.Ssid, kDirectPrefix, sizeof(kDirectPrefix)) == 0) {
            return;  // a Wi-Fi Direct device's "DIRECT-" wildcard is not a network
        }

        BSS_ENTRY_INPUT in = MlmeSyncBeaconEntryInput(r, elem, rssi);
        const LONG index = BssTableSetEntry(adapter, port, adapter->ScanTable, &in);

        // 20/40 coexistence: the gating row is the first of the channel table.
        if (adapter->Country.ChannelListCount != 0 && adapter->Country.ChannelList[0].Mark == 1 && port != nullptr &&
            ChannelIsInChannelList(adapter, r.Channel, CHANNEL_SEL_24G_5G)) {
            UCHAR obss[OBSS_SCAN_PARAM_LEN];
            UCHAR operatingClass = 0;
            (void)MlmeSyncPeerBeaconAndProbeRspSanity2(adapter, elem->Msg, frameLength, obss, &operatingClass);
            TriEventTableSetEntry(adapter, port, r.Bssid, r.HtCapability, in.HtCapabilityLen, operatingClass, r.Channel);
        }
        if (index != BSS_NOT_FOUND) {
            BSS_ENTRY& entry = adapter->ScanTable->BssEntry[index];
            entry.P2pDeviceSeen = p2pFlag != 0 ? 1 : 0;
            if (beacon) {
                entry.HiddenBeacon = (r.SsidLen >= 1 && r.SsidLen <= 32 && !AllZero(r.Ssid, r.SsidLen)) ? 0 : 1;
            }
        }
        if (r.SsidLen <= 32 && device != nullptr && device->P2pDiscoState > P2P_DISABLE &&
            device->P2pMsState == P2pMs_STATE_PROVISIONING && std::memcmp(r.Bssid, device->P2pGroupBssid, 6) == 0 &&
            r.SsidLen == device->P2pSsidLen && std::memcmp(r.Ssid, device->P2pSsid, r.SsidLen) == 0) {
            device->P2pScanRepeat = device->P2pScanChannelCount;  // the search over further channels ends
        }
    }
    if (adapter->ScanTable != nullptr && adapter->ScanTable->EntryCount % 10 == 0) {
        (void)MlmeUpdateRepositTabFromScanTab(adapter, TRUE, FALSE);
    }
}

// ================================================================================================
// outside scan and join
// ================================================================================================
VOID MlmeSyncPeerBeacon(PMP_ADAPTER adapter, PMLME_QUEUE_ELEM elem)
{
    PMP_PORT port = ElemPort(adapter, elem);
    if (port == nullptr || port->PortType == EXTAP) {
        return;
    }
    IntakeArea* area = TakeArea(adapter);
    if (area == nullptr) {
        return;
    }
    BEACON_PARSE_RESULT& r = area->record;
    r.Channel = 0;
    const ULONG frameLength = ElemFrameLength(elem);
    const bool beacon = frameLength >= 1 && ((elem->Msg[0] >> 4) & 0x0F) == kSubtypeBeacon;
    if (!MlmeSyncPeerBeaconAndProbeRspSanity(adapter, port, elem, frameLength, &r)) {
        return;
    }
    const CHAR rssi = RssiAverageByChains(adapter, static_cast<CHAR>(elem->Rssi0), static_cast<CHAR>(elem->Rssi1),
                                          static_cast<CHAR>(elem->Rssi2));
    NameHidden(adapter, port, r, beacon);
    PP2P_CTRL_BLOCK p2p = adapter->P2pBlock;
    if ((port->P2pDiscoState == P2P_I_AM_CLIENT_OP || (p2p != nullptr && (p2p->Flags & 0x4u) != 0)) &&
        (port->OpMode == 1 || port->OpMode == 3)) {
        PeerP2pBeacon(adapter, port, r.TransmitterAddress, elem);
    }
    MLME_PORT_REQUEST_STATE& req = port->Mlme.Req;
    const ULONG64 now = Now();
    // 4. A sleeping port only tracks its access point.
    if (req.LowPower) {
        LOCK_STATE lockState;
        NdisAcquireReadWriteLock(&req.SavedBssEntryLock, TRUE, &lockState);
        if (std::memcmp(r.Bssid, req.SavedBssEntry.Bssid, 6) == 0) {
            req.SavedBssEntry.LastBeaconTime = now;
        } else if (r.SsidLen == port->CurrentSsidLen && std::memcmp(r.Ssid, port->CurrentSsid, r.SsidLen) == 0) {
            req.SavedBssEntry.LastBeaconTime = now;
            std::memcpy(req.SavedBssEntry.Bssid, r.Bssid, 6);
        }
        NdisReleaseReadWriteLock(&req.SavedBssEntryLock, &lockState);
        return;
    }
    // 5. Own network?
    const bool mineBssid = std::memcmp(r.Bssid, port->Bssid, 6) == 0;
    const bool mineSsid = r.SsidLen == port->CurrentSsidLen && std::memcmp(r.Ssid, port->CurrentSsid, r.SsidLen) == 0;
    const bool statistics = (req.StatisticsWord & kStatisticsBeacons) != 0;
    if (!mineBssid && !mineSsid) {
        if (statistics) {
            ++req.ForeignBeaconCount;
        }
        return;
    }
    if (ActsAsP2pClient(adapter, port) && req.P2pHtSwitch == 0) {
        r.HtOperationLen = 0;
    }
    if (r.HtOperationLen != 0) {
        r.Channel = r.HtOperation[0];
    }
    // 8. The connect attempt's candidate.
    PBSS_TABLE candidates = &adapter->Mlme.ConnectCandidates;
    const LONG candidate = BssTableSearch(adapter, port, candidates, r.Bssid, r.Channel);
    if (candidate == BSS_NOT_FOUND) {
        if (mineSsid) {
            BSS_ENTRY_INPUT in = MlmeSyncBeaconEntryInput(r, elem, rssi);
            (void)BssTableSetEntry(adapter, port, adapter->ScanTable, &in);
        }
        return;
    }
    if (MlmeSyncChSwitch80211h(adapter, port, &r, candidate)) {
        return;
    }
    BSS_ENTRY& cand = candidates->BssEntry[candidate];
    BssTableSetRssi(candidates, static_cast<ULONG>(candidate), static_cast<CHAR>(rssi + adapter->Mlme.Req.RssiOffset));
    cand.LastBeaconTime = now;
    cand.BeaconPeriod = r.BeaconPeriod;
    cand.DtimPeriod = r.DtimPeriod;
    cand.AtimWindow = r.AtimWindow;
    if (!mineBssid) {
        return;
    }
    // 12. The group owner's and the access point's entries.
    PMAC_TABLE_ENTRY goEntry = nullptr;
    if (ActsAsP2pClient(adapter, port)) {
        goEntry = MlmeSyncMacTabMatchedWlanIdx(port, P2pGetClientWcid(adapter, port));
    }
    PMAC_TABLE_ENTRY apEntry = MlmeSyncMacTabMatchedRoleType(port, MAC_ENTRY_KIND_PEER);
    UCHAR obss[OBSS_SCAN_PARAM_LEN];
    UCHAR operatingClass = 0;
    if (MlmeSyncPeerBeaconAndProbeRspSanity2(adapter, elem->Msg, frameLength, obss, &operatingClass)) {
        UpdateBssScanParm(adapter, obss);
    }
    // 14. AFC.
    if (adapter->RegistryBlock.AFCEnable && adapter->AfcNotApplicable == 0 && adapter->Mlme.Scan.AfcBaseApplied != adapter->AfcBasePower) {
        adapter->Mlme.Scan.AfcBaseApplied = adapter->AfcBasePower;
        if (adapter->SixGhzCapable == 1 && adapter->RegistryBlock.CountryRoamingEn) {
            (void)skuTableSendPwrLimitCmd(adapter, 1);
        }
    }
    // 15. Last beacon time.
    if (ActsAsP2pClient(adapter, port) && goEntry != nullptr && elem->WlanIdx == goEntry->WlanIdx) {
        goEntry->LastBeaconTime = now;
    } else {
        adapter->LastBeaconTime = now;
    }
    const bool linkUp = (port->ConnectionFlags & PORT_CONN_CONNECTED) != 0;
    // 16. Spatial streams.
    if (apEntry != nullptr) {
        MLME_REQUEST_STATE& areq = adapter->Mlme.Req;
        if (port->Cfg.VhtEnabled && r.OpModeNotifPresent && linkUp && apEntry->VhtPeer) {
            PeerVHTOperatingModeNotificationAction(adapter, apEntry->WlanIdx, static_cast<UCHAR>(r.OpModeNotif & 3),
                                                   static_cast<UCHAR>((r.OpModeNotif >> 4) & 7),
                                                   static_cast<UCHAR>((r.OpModeNotif >> 7) & 1));
        } else if (linkUp) {
            const bool ht = r.HtCapabilityLen != 0 || r.PreStdHtCapabilityLen != 0;
            const UCHAR mcs2 = r.HtCapability[4];
            const USHORT vhtMap = static_cast<USHORT>(r.VhtCapability[4] | (r.VhtCapability[5] << 8));
            if (ht && mcs2 != apEntry->BcnMcs2) {
                if (PeerNssUpdateAction(adapter, apEntry->WlanIdx, mcs2 != 0 ? 1 : 0) == STATUS_SUCCESS) {
                    apEntry->BcnMcs2 = mcs2;
                }
            } else if (port->Cfg.VhtEnabled && r.VhtPresent && ((vhtMap >> 2) & 3) != ((areq.ApVhtRxMcsMap >> 2) & 3)) {
                if (PeerNssUpdateAction(adapter, apEntry->WlanIdx, ((vhtMap >> 2) & 3) != 3 ? 1 : 0) == STATUS_SUCCESS) {
                    areq.ApVhtRxMcsMap = static_cast<USHORT>((areq.ApVhtRxMcsMap & ~0xCu) | (vhtMap & 0xCu));
                }
            } else if (r.HePresent && (areq.ApHeMcsMap[0] & 0xF) != (areq.ApHeMcsMap[1] & 0xF)) {
                const USHORT heMap = areq.ApHeMcsMap[1];
                (void)PeerNssUpdateAction(adapter, apEntry->WlanIdx, ((heMap >> 2) & 3) != 3 ? 1 : 0);
            }
        }
    }
    // 17. The channel switch of the connection.
    if (MlmeSyncChSwitchQuiet(adapter, port, &r, elem) ||
        MlmeSyncChSwitchMove(adapter, port, &r, candidate, apEntry, goEntry)) {
        return;
    }
    bool rlmUpdate = false;
    // 18-19. HT and VHT operation.
    if (apEntry != nullptr && apEntry->He6gBandCap == 0 && r.HtOperationLen != 0) {
        const UCHAR bits = static_cast<UCHAR>(r.HtOperation[1] & 0x07);
        if (bits != apEntry->BcnHtOpBits) {
            rlmUpdate = true;
            apEntry->BcnHtOpBits = bits;
            apEntry->BcnSecondaryOffset = static_cast<UCHAR>(bits & 0x03);
        }
    }
    if (apEntry != nullptr && r.VhtPresent) {
        const UCHAR* op = r.VhtOperation;
        UCHAR* rec = apEntry->BcnVhtOperation;
        if (op[0] != rec[0] || op[1] != rec[1] || op[2] != rec[2]) {
            const USHORT segment2 = static_cast<USHORT>((r.HtOperation[2] | (r.HtOperation[3] << 8)) >> 5);
            const ULONG vhtCapInfo = static_cast<ULONG>(r.VhtCapability[0] | (r.VhtCapability[1] << 8) |
                                                        (r.VhtCapability[2] << 16) | (r.VhtCapability[3] << 24));
            const bool extNss = op[0] == 1 && op[1] == rec[1] && op[2] == 0 && rec[2] != 0 && (vhtCapInfo >> 30) != 0 &&
                                ((vhtCapInfo >> 2) & 3) == 0 && rec[2] == (segment2 & 0xFF);
            if (!extNss) {
                rlmUpdate = true;
                std::memcpy(rec, op, 3);
            }
        }
    }
    // 20. The saved copy and the DTIM period.
    {
        LOCK_STATE lockState;
        NdisAcquireReadWriteLock(&req.SavedBssEntryLock, TRUE, &lockState);
        std::memcpy(&req.SavedBssEntry, &cand, sizeof(cand));
        NdisReleaseReadWriteLock(&req.SavedBssEntryLock, &lockState);
    }
    if (apEntry != nullptr && apEntry->BcnDtimPeriod != cand.DtimPeriod && linkUp) {
        apEntry->BcnDtimPeriod = static_cast<UCHAR>(cand.DtimPeriod);
        if (port->OpMode == 0) {
            (void)MlmeUpdateDynamicDtimToFw(adapter, port);
        }
        if (port->OpMode == 0 || (adapter->RegistryBlock.CertReg & 4) != 0) {
            (void)QzCmdSetPmIndicateBssConnected(adapter, port);
        }
        rlmUpdate = true;
    }
    if (statistics) {
        ++req.OwnBeaconCount;
    }
    // 22. Power constraint.
    if (adapter->Mlme.Req.MaxPowerSwitch == 1 && r.LocalMaxTxPower != 0xFF &&
        MDSMCalculateMaxTxPower(adapter, r.LocalMaxTxPower, r.PowerConstraint) == 1) {
        req.PowerConstraintInForce = 1;
    } else {
        req.PowerConstraintInForce = 0;
        req.TxPowerSetting = port->Cfg.TxPowerDefault;
    }
    // 23. With the link up.
    if (linkUp) {
        PMAC_TABLE_ENTRY own = ActsAsP2pClient(adapter, port) ? goEntry
                                                             : MlmeSyncMacTabMatchedRoleType(port, GetWlanRoleType(port));
        if (own == nullptr) {
            if (rlmUpdate) {
                (void)QzCmdSetBssRlmParam(adapter, port);
            }
            return;
        }
        JOIN_TARGET_INFO& join = adapter->Mlme.JoinTargetInfo;
        const ULONG bg = port->Cfg.BGProtection;
        bool wanted = bg == 1 || (bg == 0 && (r.ErpInfo & 0x02) != 0);
        if (port->Channel.PrimaryChannel > 14) {
            wanted = false;
        }
        const bool inUse = (port->ConnectionFlags & 0x4u) != 0;
        if (port->Mlme.Req.ChSwitchHold == 0 && wanted != inUse && (port->OpMode != 0 || own->ProtectionLock != 1) &&
            port->Mlme.Req.HighestRateIndex > 3) {
            if (wanted) {
                port->ConnectionFlags |= 0x4u;
            } else {
                port->ConnectionFlags &= ~(0x4u | 0x2000u);
            }
            AsicUpdateProtect(adapter, port, join.HtOperation, 0x3F, 0, static_cast<UCHAR>((join.HtOperation[2] >> 2) & 1));
            rlmUpdate = true;
        }
        if ((port->ConnectionFlags & 0x4u) != 0 && (r.ErpInfo & 0x01) != 0) {
            port->ConnectionFlags |= 0x2000u;
        }
        if (r.HtOperationLen != 0 && (r.HtOperation[2] & 0x07) != (join.HtOperation[2] & 0x07)) {
            join.HtOperation[2] = static_cast<UCHAR>((join.HtOperation[2] & ~0x07u) | (r.HtOperation[2] & 0x07));
            AsicUpdateProtect(adapter, port, join.HtOperation, 0x3C, 0, static_cast<UCHAR>((join.HtOperation[2] >> 2) & 1));
            rlmUpdate = true;
        }
        if ((port->ConnectionFlags & 0x100u) != 0 && r.EdcaParameters.Valid &&
            r.EdcaParameters.ParamSetCount != port->Mlme.Req.EdcaCount) {
            port->Mlme.Req.EdcaCount = r.EdcaParameters.ParamSetCount;
            (void)AsicSetEdcaParm(adapter, port, &r.EdcaParameters, 1);
        }
        std::memcpy(port->Mlme.Req.QbssLoad, &r.QbssLoad, sizeof(port->Mlme.Req.QbssLoad));
        std::memcpy(port->Mlme.Req.QosCapability, &r.QosCapability, sizeof(port->Mlme.Req.QosCapability));
        if (req.McsWatch && (r.HtCapabilityLen != 0 || r.PreStdHtCapabilityLen != 0) &&
            std::memcmp(join.McsSet, r.HtCapability + 3, 2) != 0) {
            req.McsWatch = 0;
        }
        // Bandwidth tracking.
        MLME_REQUEST_STATE& areq = adapter->Mlme.Req;
        if (r.HtOperationLen != 0 && port->WirelessMode >= PHY_11ABGN_MIXED && port->WirelessMode <= PHY_11BE &&
            req.BandwidthLock >= 0 && areq.BandwidthOverride == 0 && port->Channel.Bandwidth != BW_80) {
            const UCHAR offset = static_cast<UCHAR>(r.HtOperation[1] & 0x03);
            const bool staWidth = (r.HtOperation[1] & 0x04) != 0;
            if (port->Channel.Bandwidth == BW_40 &&
                ((offset == 0 && !staWidth) || r.SecondaryChannelOffset == 0)) {
                if (apEntry == nullptr) {
                    return;
                }
                port->Channel.CentreChannel = port->Channel.PrimaryChannel;
                WRITE_PHY_CFG_BW(adapter, &apEntry->PhyCfgData, 0);
                areq.OperatingBandwidth = 0;
                areq.ExtChannelOffset = 0;
                port->Channel.Bandwidth = BW_20;
                rlmUpdate = true;
            } else if ((port->Channel.Bandwidth == BW_20 || r.SecondaryChannelOffset != 0) &&
                       (req.BandwidthCapability & 3) != 0 && offset != 0 && staWidth && (r.HtCapability[0] & 0x02) != 0) {
                const UCHAR primary = r.HtOperation[0];
                bool changed = false;
                if (offset == 3 && primary >= 3) {
                    port->Channel.CentreChannel = static_cast<UCHAR>(primary - 2);
                    areq.ExtChannelOffset = 3;
                    changed = true;
                } else if (offset == 1) {
                    port->Channel.CentreChannel = static_cast<UCHAR>(primary + 2);
                    areq.ExtChannelOffset = 1;
                    changed = true;
                }
                if (changed) {
                    port->Channel.PrimaryChannel = primary;
                    if (apEntry != nullptr) {
                        WRITE_PHY_CFG_BW(adapter, &apEntry->PhyCfgData, 1);
                    }
                    areq.OperatingBandwidth = 1;
                    port->Channel.Bandwidth = BW_40;
                }
            }
        }
    }
    if (rlmUpdate) {
        (void)QzCmdSetBssRlmParam(adapter, port);
    }
    if (linkUp) {
        if (r.MuEdcaUpdated) {
            (void)QZcmdnicQmUpdateMUEdcaParams(adapter, port);
        }
        if (r.SpatialReuseUpdated) {
            (void)QZcmdnicRlmUpdateSRParams(adapter, port);
        }
    }
}
