// The NDIS-6 indication layer.
#include "platform/ndis6/n6platformindicate.h"

#include <cstring>

#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/p2p/p2p.h"
#include "Common/rlm_vht.h"
#include "hal/common/phy_cfg.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/wdi/ndiswdi.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdievent.h"
#include "platform/wdi/wdigenerator.h"

#define WDI_TASK_FLAG_CONNECTED 0x200000u
#define SPEED_11M 11000000ull
#define SPEED_54M 54000000ull
#define SPEED_150M 150000000ull
#define SPEED_UNIT_500K 500000ull
#define MGMT_CIPHER_BIP 6u
#define MGMT_CIPHER_BIP_GMAC_256 12u
#define CIPHER_CCMP 4u
#define CIPHER_GCMP_256 9u
#define AUTH_RSNA 6u
#define AUTH_WPA3_192 8u
#define AUTH_SAE 9u
#define AUTH_OWE_FROM_OS 11u
#define AUTH_PMF_SUITE 0x80000006u
#define PORT_SUBTYPE_STATION 0u
#define PORT_SUBTYPE_P2P_CLIENT 1u
#define PORT_SUBTYPE_3 3u
#define PORT_SUBTYPE_GO 4u

namespace {

PMP_PORT PortAt(PMP_ADAPTER adapter, ULONG portIndex)
{
    if (adapter == nullptr || portIndex >= MP_MAX_PORTS || adapter->PortList[portIndex] == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "no port %u", static_cast<unsigned>(portIndex));
        return nullptr;
    }
    return adapter->PortList[portIndex];
}

ULONG BodyLength(const UCHAR* frame, ULONG length)
{
    // A stored frame no longer than its MAC header has no body.
    return frame != nullptr && length > WDI_MGMT_HEADER_SIZE ? length - WDI_MGMT_HEADER_SIZE : 0;
}

// The management-frame protection and cipher condition of revision 2 and of the BIP cipher.
bool PmfCipherCondition(PMP_ADAPTER adapter, PMP_PORT port)
{
    const ULONG auth = port->Mlme.AuthAlgorithm;
    return adapter->Mlme.PmfSupported != 0 && port->Mlme.PmfEnabled != 0 &&
           (port->Mlme.UnicastCipher == CIPHER_CCMP || auth == AUTH_WPA3_192 || auth == AUTH_SAE ||
            auth == AUTH_PMF_SUITE);
}

bool StoreIfChanged(ULONG64* field, ULONG64 value)
{
    if (*field == value) {
        return false;
    }
    *field = value;
    return true;
}

ULONG LinkQualityLevel(ULONG quality)
{
    return quality == 0 ? 0 : quality / 5 + 1;
}

// The HT speed: MCS 7, 15 or 23 by the path count (bits 4-7 of the antenna-path word; any count but 1
// and 3 counts as two) at the connection's channel width (20 or 40 MHz) and the guard interval of the
// port's transmit word.
ULONG64 HtSpeed(PMP_PORT port)
{
    PMP_ADAPTER adapter = port->Adapter;
    const ULONG paths = (adapter->AntennaPath >> 4) & 0xF;
    const UCHAR mcs = paths == 1 ? 7 : paths == 3 ? 23 : 15;
    PHY_CFG word = port->Ind.TxRateWord;
    const UCHAR bandwidth = port->Channel.Bandwidth != 0 ? 1 : 0;
    const UCHAR shortGi = READ_PHY_CFG_SHORT_GI(adapter, &word) != 0 ? 1 : 0;
    return MlmeInfoHtTableRate500k(mcs, bandwidth, shortGi) * SPEED_UNIT_500K;
}

// The VHT speed: MCS 7 at the width and guard interval of the port's transmit word, two streams when
// the first path count (bits 0-3 of the antenna-path word) is 2, else one.
ULONG64 VhtSpeed(PMP_PORT port)
{
    PMP_ADAPTER adapter = port->Adapter;
    PHY_CFG word = port->Ind.TxRateWord;
    const ULONG streams = (adapter->AntennaPath & 0xF) == 2 ? 1 : 0;  // the table counts from one stream
    const ULONG index = GetVhtRateTableIdx(adapter, READ_PHY_CFG_BW(adapter, &word), streams,
                                           READ_PHY_CFG_SHORT_GI(adapter, &word), 7);
    return MlmeInfoVhtTableRate500k(index) * SPEED_UNIT_500K;
}

// The HT or VHT speed of a connection: VHT while the port's VHT switch is on or HE is in use.
ULONG64 HtVhtSpeed(PMP_PORT port)
{
    return port->Ind.VhtSwitch != 0 || port->Ind.HeInUse != 0 ? VhtSpeed(port) : HtSpeed(port);
}

ULONG64 RateWordSpeed(PMP_PORT port, ULONG rateWord)
{
    return MlmeInfoRateToLinkSpeed(port->Adapter, port, rateWord);
}

ULONG64 LegacySpeedByRateCount(PMP_PORT port)
{
    return port->Ind.LegacyRateCount < 4 ? SPEED_11M : SPEED_54M;
}

bool WepOrTkip(PMP_PORT port)
{
    const ULONG cipher = port->Mlme.UnicastCipher;
    return cipher == 1 || cipher == 5 || cipher == 0x101 || port->Ind.CipherKind == 3 || port->Ind.CipherKind == 13;
}

ULONG64 LinkUpSpeedStatus1(PMP_ADAPTER adapter, PMP_PORT port)
{
    const ULONG subtype = port->OpMode;
    if (subtype == PORT_SUBTYPE_3 || subtype == PORT_SUBTYPE_GO) {
        if (port->Ind.VhtSwitch != 0) {
            return VhtSpeed(port);
        }
        const ULONG paths = (adapter->AntennaPath >> 4) & 0xF;
        if (paths == 1) {
            return SPEED_150M;
        }
        if (paths == 2 || paths == 3) {
            return HtSpeed(port);
        }
        return port->Ind.TxLinkSpeed;
    }
    if (port->PortType == EXTAP) {
        return port->WirelessMode >= PHY_11ABGN_MIXED ? HtSpeed(port) : LegacySpeedByRateCount(port);
    }
    if ((port->ConnectionFlags & PORT_STATUS_ADHOC_LINK_UP) == 0) {
        if (port->Ind.HtInUse != 0 || port->Ind.HeInUse != 0) {
            return HtVhtSpeed(port);
        }
        return LegacySpeedByRateCount(port);
    }
    if (adapter->WorkingCfg.AdhocNMode != 0 && port->Ind.HtInUse != 0) {
        return port->Ind.VhtSwitch != 0 ? VhtSpeed(port) : HtSpeed(port);
    }
    return SPEED_54M;
}

}  // namespace

// ================================================================================================
// association and connection
// ================================================================================================
NTSTATUS N6PlatformIndicateAssociationCompletion(PMP_ADAPTER adapter, PMP_PORT port, ULONG dot11Status,
                                                 ULONG callerCode)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    ADAPTER_INDICATION_BLOCK& ind = adapter->Ind;
    const ULONG beaconLength = ind.Beacon != nullptr ? ind.BeaconLength : 0;
    const ULONG requestBody = BodyLength(ind.AssocRequest, ind.AssocRequestLength);
    const ULONG responseBody = BodyLength(ind.AssocResponse, ind.AssocResponseLength);
    NTSTATUS result = STATUS_SUCCESS;
    PUCHAR buffer = nullptr;
    ULONG size = 0;
    const ULONG64 wanted =
        static_cast<ULONG64>(DOT11_ASSOC_RECORD_BEACON_OFFSET) + beaconLength + requestBody + responseBody;
    if (wanted <= 0xFFFFFFFFull &&
        NT_SUCCESS(PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&buffer), static_cast<ULONG>(wanted),
                                          TAG_ZV12))) {
        size = static_cast<ULONG>(wanted);
    } else {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "association completion: no record buffer, the fixed record goes alone");
        buffer = ind.FixedRecord;
        size = sizeof(ind.FixedRecord);
        result = STATUS_INSUFFICIENT_RESOURCES;
    }
    std::memset(buffer, 0, size);
    auto* record = reinterpret_cast<PDOT11_ASSOCIATION_COMPLETION_PARAMETERS>(buffer);
    const bool pmf = PmfCipherCondition(adapter, port);
    const ULONG ndisVersion = adapter->CommonBlock != nullptr ? adapter->CommonBlock->NdisVersion : 0;
    const bool revision2 = ndisVersion >= NDIS_VERSION_630 && pmf;
    record->Type = DOT11_ASSOC_RECORD_TYPE;
    record->Revision = revision2 ? 2 : 1;
    record->Size = sizeof(DOT11_ASSOCIATION_COMPLETION_PARAMETERS);
    std::memcpy(record->MacAddr, ind.AssociatingBssid, sizeof(record->MacAddr));

    const ULONG wdiStatus = WdiEventAssocStatusFromDot11(dot11Status);
    if (wdiStatus == 0) {
        // The peer joins the OS: the entry of WLAN index 1 for a station, the group owner's for a client.
        const UCHAR peerIndex = port->PortType == EXTSTA       ? 1
                                : port->PortType == WFD_CLIENT ? P2pGetClientWcid(adapter, port)
                                                               : 0;
        MacTabAddPeer(adapter, port, MlmeSyncMacTabMatchedWlanIdx(port, peerIndex), ind.AssociatingBssid);
    }
    record->uStatus = dot11Status;
    if (port->Mlme.AuthAlgorithm == AUTH_RSNA && port->Ind.AuthMappedFrom11 != 0) {
        port->Mlme.AuthAlgorithm = AUTH_OWE_FROM_OS;
    }
    WDI_ASSOCIATION_RESULT assoc{};
    assoc.AssociationStatus = wdiStatus;
    if (dot11Status == 0) {
        const ULONG auth = port->Mlme.AuthAlgorithm;
        record->AuthAlgo = auth;
        record->UnicastCipher = port->Mlme.UnicastCipher;
        record->MulticastCipher = port->Ind.MulticastCipher;
        record->bFourAddressSupported = 0;
        record->DSInfo = 2;
        const bool authorized = port->Ind.FtState[0] != 0 && port->Ind.FtState[1] != 0 && port->Ind.FtState[2] != 0 &&
                                port->Ind.FtState[3] != 0;
        record->bPortAuthorized = authorized ? 1 : 0;
        record->MulticastMgmtCipher = revision2 ? MGMT_CIPHER_BIP : 0;
        assoc.Reassociation = port->Ind.Reassociation;
        assoc.AuthAlgorithm = auth;
        assoc.UnicastCipher = record->UnicastCipher;
        assoc.MulticastDataCipher = record->MulticastCipher;
        assoc.MulticastMgmtCipher = pmf ? MGMT_CIPHER_BIP : 0;
        assoc.FourAddress = 0;
        assoc.PortAuthorized = record->bPortAuthorized;
        assoc.DsInfo = 3;
        assoc.BandId = NdisWdiGetWdiBandIdFromBand(adapter, port->Channel.Band);
        if (auth == AUTH_WPA3_192 || (auth == AUTH_SAE && record->MulticastCipher == CIPHER_GCMP_256)) {
            record->MulticastMgmtCipher = MGMT_CIPHER_BIP_GMAC_256;
            assoc.MulticastMgmtCipher = MGMT_CIPHER_BIP_GMAC_256;
        }
    }
    if (result == STATUS_SUCCESS) {
        record->uActivePhyListOffset = DOT11_ASSOC_RECORD_PHY_LIST_OFFSET;
        record->uActivePhyListSize = 4;
        std::memcpy(buffer + DOT11_ASSOC_RECORD_PHY_LIST_OFFSET, &ind.ActivePhyType, 4);
        ULONG offset = DOT11_ASSOC_RECORD_BEACON_OFFSET;
        record->uBeaconOffset = offset;
        record->uBeaconSize = beaconLength;
        if (beaconLength != 0) {
            std::memcpy(buffer + offset, ind.Beacon, beaconLength);
        }
        offset += beaconLength;
        if (requestBody != 0) {
            record->uAssocReqOffset = offset;
            record->uAssocReqSize = requestBody;
            std::memcpy(buffer + offset, ind.AssocRequest + WDI_MGMT_HEADER_SIZE, requestBody);
            offset += requestBody;
        }
        if (responseBody != 0) {
            record->uAssocRespOffset = offset;
            record->uAssocRespSize = responseBody;
            std::memcpy(buffer + offset, ind.AssocResponse + WDI_MGMT_HEADER_SIZE, responseBody);
        }
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "association completion of port %u: 802.11 status %u WDI %u caller %u",
             static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(dot11Status),
             static_cast<unsigned>(wdiStatus), static_cast<unsigned>(callerCode));
    WdiGeneratorAssociationCompletion(adapter, port, record, size, &assoc);
    ind.AssocRequestLength = 0;
    ind.AssocResponseLength = 0;
    if (result == STATUS_SUCCESS) {
        PlatformFreeMemory(buffer, size);
    }
    return result;
}

void N6PlatformIndicateAssociationStart(PMP_ADAPTER adapter, PMP_PORT port, const void* bssEntry, UCHAR osInitiated,
                                        ULONG callerCode)
{
    UNREFERENCED_PARAMETER(bssEntry);
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    INDICATION_CONNECT_REQUEST& request = adapter->Ind.ConnectRequest;
    if (request.OsInitiated == 1 || osInitiated == 1) {
        // The association-start record only goes to the dot11 status sink, which traces.
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI,
                 "association start of port %u with %02X:%02X:%02X:%02X:%02X:%02X caller %u",
                 static_cast<unsigned>(port->PortNumber), adapter->Ind.AssociatingBssid[0],
                 adapter->Ind.AssociatingBssid[1], adapter->Ind.AssociatingBssid[2], adapter->Ind.AssociatingBssid[3],
                 adapter->Ind.AssociatingBssid[4], adapter->Ind.AssociatingBssid[5], static_cast<unsigned>(callerCode));
        return;
    }
    if (request.ConnectionIndicated != 0) {
        return;
    }
    // The OS has no connection dialogue open for this association: open and close one.
    const ULONG ssidLength = request.SsidLength <= PORT_SSID_MAX ? request.SsidLength : PORT_SSID_MAX;
    PlatformIndicateConnectionStart(adapter, port, adapter->RegistryBlock.NetworkType, request.Bssid, request.Ssid,
                                    ssidLength, callerCode);
    (void)PlatformIndicateConnectionCompletion(adapter, port, 0, callerCode);
    request.ConnectionIndicated = 1;
}

NTSTATUS N6PlatformIndicateConnectionCompletion(PMP_ADAPTER adapter, PMP_PORT port, ULONG status, ULONG callerCode)
{
    if (adapter == nullptr || port == nullptr) {
        return STATUS_SUCCESS;
    }
    const WDI_CNTL_BLOCK& block = adapter->Wdi.CntlBlock;
    const WDI_MESSAGE_HEADER header = block.HeaderCopy;
    const USHORT portId = static_cast<USHORT>(port->PortNumber);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "connection completion of port %u: status %u caller %u",
             static_cast<unsigned>(port->PortNumber), static_cast<unsigned>(status), static_cast<unsigned>(callerCode));
    if (block.PendingMessageId == WDI_TASK_ROAM) {
        port->Ind.RoamWord = 0;
        WdiEventSendStatusIndicationEx(adapter, &header, portId, WDI_INDICATION_ROAM_COMPLETE,
                                       status != 0 ? STATUS_UNSUCCESSFUL : STATUS_SUCCESS, nullptr, 0,
                                       WDI_INDICATION_MODE_TASK_COMPLETION);
    } else if (status == 0) {
        WdiEventSendStatusIndicationEx(adapter, &header, portId, WDI_INDICATION_CONNECT_COMPLETE, STATUS_SUCCESS,
                                       nullptr, 0, WDI_INDICATION_MODE_TASK_COMPLETION);
        adapter->Ind.WdiFlags |= WDI_TASK_FLAG_CONNECTED;
    } else {
        WdiEventSendStatusIndicationEx(adapter, &header, portId, WDI_INDICATION_CONNECT_COMPLETE, STATUS_UNSUCCESSFUL,
                                       nullptr, 0, WDI_INDICATION_MODE_TASK_COMPLETION);
    }
    if (status != 0) {
        port->Ind.ConnectFailed = 1;
    }
    return STATUS_SUCCESS;
}

void N6PlatformIndicateConnectionStart(PMP_ADAPTER adapter, PMP_PORT port, ULONG callerCode)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "connection start of port %u caller %u",
             port != nullptr ? static_cast<unsigned>(port->PortNumber) : 0u, static_cast<unsigned>(callerCode));
}

void N6PlatformIndicateDot11Status(PMP_ADAPTER adapter, PMP_PORT port, ULONG status)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "dot11 status 0x%08X of port %u", static_cast<unsigned>(status),
             port != nullptr ? static_cast<unsigned>(port->PortNumber) : 0u);
}

void N6PlatformIndicateMlmeAssocDone(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "association done on port %u",
             port != nullptr ? static_cast<unsigned>(port->PortNumber) : 0u);
}

void N6PlatformIndicateMlmeSplitScanDone(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "split scan done on port %u",
             port != nullptr ? static_cast<unsigned>(port->PortNumber) : 0u);
}

// ================================================================================================
// radio
// ================================================================================================
void N6PlatformIndicateCurrentRadioState(PMP_ADAPTER adapter, ULONG state, LONG value)
{
    UNREFERENCED_PARAMETER(state);
    UNREFERENCED_PARAMETER(value);
    // The radio-state sender's unsolicited form: the radio-status indication.
    WdiGeneratorSetRadioState(adapter);
}

void N6PlatformIndicateRadioManually(PMP_ADAPTER adapter)
{
    WdiGeneratorSetRadioState(adapter);
}

// ================================================================================================
// link quality and speed
// ================================================================================================
UCHAR N6PlatformIndicateLinkQuality(PMP_ADAPTER adapter, ULONG portIndex)
{
    PMP_PORT port = PortAt(adapter, portIndex);
    if (port == nullptr) {
        return 0;
    }
    LONG rssi = 0;
    if (port->OpMode == PORT_SUBTYPE_STATION) {
        const ULONG paths = (adapter->AntennaPath >> 4) & 0xF;
        const LONG c0 = port->Ind.ChainRssi[0];
        const LONG c1 = port->Ind.ChainRssi[1];
        const LONG c2 = port->Ind.ChainRssi[2];
        rssi = paths == 3 ? (c0 + c1 + c2) / 3 : paths == 2 ? (c0 + c1) / 2 : c0;
    }
    port->Ind.ReportedRssi = static_cast<CHAR>(rssi);
    const ULONG quality = WdiGeneratorLinkQuality(rssi);
    if (LinkQualityLevel(quality) != LinkQualityLevel(port->Ind.LastLinkQuality)) {
        port->Ind.LastLinkQuality = static_cast<UCHAR>(quality);
        return 1;
    }
    return 0;
}

UCHAR N6PlatformIndicateNewLinkSpeedLinkUp(PMP_ADAPTER adapter, ULONG portIndex)
{
    PMP_PORT port = PortAt(adapter, portIndex);
    if (port == nullptr) {
        return 0;
    }
    const ULONG subtype = port->OpMode;
    ULONG64 speed = port->Ind.TxLinkSpeed;
    switch (adapter->RegistryBlock.LinkSpeedStatus) {
    case 0:
        if (subtype == PORT_SUBTYPE_STATION || subtype == PORT_SUBTYPE_P2P_CLIENT) {
            speed = RateWordSpeed(port, adapter->RegistryBlock.NetworkType == 2 ? port->Ind.AdhocRateWord
                                                                                : port->Ind.TxRateWord);
        } else if ((subtype == PORT_SUBTYPE_GO && port->WirelessMode <= PHY_11G) ||
                   (port->Cfg.ProhibitTKIPonHT != 0 && WepOrTkip(port))) {
            speed = port->WirelessMode == PHY_11B ? SPEED_11M : SPEED_54M;
        } else {
            speed = HtVhtSpeed(port);
        }
        if (port->Cfg.Ch14BOnly != 0 && port->Channel.PrimaryChannel == 14) {
            speed = SPEED_11M;
        }
        break;
    case 1:
        speed = LinkUpSpeedStatus1(adapter, port);
        break;
    case 2:
        if (subtype == PORT_SUBTYPE_3 || subtype == PORT_SUBTYPE_GO) {
            speed = LinkUpSpeedStatus1(adapter, port);
        } else {
            speed = RateWordSpeed(port, port->Ind.TxRateWord2);
        }
        break;
    default:
        break;
    }
    return StoreIfChanged(&port->Ind.TxLinkSpeed, speed) ? 1 : 0;
}

UCHAR N6PlatformIndicatePeriodicLinkSpeed(PMP_ADAPTER adapter, ULONG portIndex)
{
    PMP_PORT port = PortAt(adapter, portIndex);
    if (port == nullptr) {
        return 0;
    }
    ULONG64 tx;
    ULONG64 rx;
    if (adapter->RegistryBlock.LinkSpeedMode == 1 && port->Ind.LastLinkQuality > 75 &&
        port->OpMode == PORT_SUBTYPE_STATION && adapter->RegistryBlock.NetworkType == 1) {
        tx = static_cast<ULONG64>(MlmeInfoGetMaxLinkSpeed(adapter, port)) * 100000ull;
        rx = static_cast<ULONG64>(MlmeInfoGetMaxLinkSpeed(adapter, port)) * 100000ull;
    } else {
        tx = static_cast<ULONG64>(port->Ind.LastEventRate) * 500000ull;
        rx = static_cast<ULONG64>(MlmeInfoGetRxLinkSpeed(adapter, port)) * 100000ull;
    }
    const bool txChanged = StoreIfChanged(&port->Ind.TxLinkSpeed, tx);
    // A receive speed of 0 is not stored.
    const bool rxChanged = rx != 0 && StoreIfChanged(&port->Ind.RxLinkSpeed, rx);
    return txChanged || rxChanged ? 1 : 0;
}

// ================================================================================================
// scan and bus
// ================================================================================================
void N6PlatformIndicateScanStatus(PMP_ADAPTER adapter, PMP_PORT port, ULONG status, ULONG clearFlags,
                                  ULONG resetSyncState)
{
    if (adapter == nullptr || port == nullptr) {
        return;
    }
    if (clearFlags != 0) {
        AdapterClearFlag(adapter, ADAPTER_FLAG_SCANNING, __func__);
        AdapterClearFlag(adapter, ADAPTER_FLAG_OS_SCAN, __func__);
    }
    if (adapter->OsScanRequest == 0) {
        return;
    }
    adapter->OsScanRequest = 0;
    if (port->PortNumber == 0) {
        adapter->Mlme.ScanReqPending = 0;
    }
    (void)WdiScanComplete(adapter, port, static_cast<NTSTATUS>(status));
    UCHAR cancelled = 0;
    PlatformCancelTimer(&adapter->Mlme.Scan.ScanTimer, &cancelled);
    if (resetSyncState != 0) {
        port->Mlme.SyncMachine.CurrState = 0;
    }
}

void N6PlatformIndicateBusHang(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        return;
    }
    PUCHAR body = nullptr;
    const ULONG size = WDI_TLV_HEADER_SIZE + BUS_HANG_IHV_BODY_SIZE;
    if (!NT_SUCCESS(PlatformAllocateMemory(adapter, reinterpret_cast<PVOID*>(&body), size, TAG_ZV40))) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "bus hang: no body, nothing indicated");
        return;
    }
    // One IHV event TLV: {u16 189, u16 1, u8 0}.
    body[0] = static_cast<UCHAR>(WDI_TLV_IHV_EVENT);
    body[1] = static_cast<UCHAR>(WDI_TLV_IHV_EVENT >> 8);
    body[2] = BUS_HANG_IHV_BODY_SIZE;
    body[3] = 0;
    body[4] = 189;
    body[5] = 0;
    body[6] = 1;
    body[7] = 0;
    body[8] = 0;
    WdiEventSendStatusIndicationEx(adapter, nullptr, 0, WDI_INDICATION_IHV_EVENT, STATUS_SUCCESS, body, size,
                                   WDI_INDICATION_MODE_UNSOLICITED);
    PlatformFreeMemory(body, size);
}
