// Operation modes between the driver's codes and the OS's WDI values.
#include "platform/wdi/ndiswdi.h"

#include <cstring>

#include "Common/decoders.h"
#include "Common/mlme/mlmereq.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_probe.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "Common/p2p/p2p.h"
#include "Common/recv.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/wdimain.h"

namespace {

// OS WDI versions above this one take the newer operation-mode values.
constexpr ULONG kNewOpModeWdiVersion = 0x60027;

}  // namespace

ULONG NdisWdiGetOpModeValue(PMP_ADAPTER adapter, ULONG code)
{
    bool newer = adapter->TlvContext.PeerVersion > kNewOpModeWdiVersion;
    switch (code) {
    case 1: return newer ? 0 : 0x8;
    case 2: return newer ? 0x1 : 0x4;
    case 4: return newer ? 0 : 0x80000000u;
    case 8: return newer ? 0x8 : 0x10;
    case 16: return 0x20;
    case 32: return newer ? 0x10 : 0x40;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "operation-mode code 0x%X has no WDI value", static_cast<unsigned>(code));
        return 0;
    }
}

ULONG NdisWdiGetQzlOpModeValue(PMP_ADAPTER adapter, ULONG value)
{
    bool newer = adapter->TlvContext.PeerVersion > kNewOpModeWdiVersion;
    switch (value) {
    case 0x1: return newer ? 2 : 0;
    case 0x4: return newer ? 0 : 2;
    case 0x8: return newer ? 8 : 1;
    case 0x10: return newer ? 32 : 8;
    case 0x20: return 16;
    case 0x30: return newer ? 16 : 0;
    case 0x40: return newer ? 0 : 32;
    case 0x80000000u: return newer ? 0 : 4;
    default: return 0;
    }
}

// ================================================================================================
// the scan task's conversion
// ================================================================================================
namespace {

constexpr NTSTATUS kStatusNotValidForPort = static_cast<NTSTATUS>(0xC0010017L);
constexpr NTSTATUS kStatusMonitorMode = static_cast<NTSTATUS>(0xC0232001L);
constexpr NTSTATUS kStatusRadioOff = static_cast<NTSTATUS>(0xC0232002L);
constexpr NTSTATUS kStatusSsidTooLong = static_cast<NTSTATUS>(0xC0010014L);
constexpr ULONG kRequestHeader = 0x38;
constexpr ULONG kSsidSlot = 36;
constexpr ULONG kOpModeMonitor = 4;
constexpr ULONG kSubtypeRunningGo = 4;
constexpr ULONG kPortConnectedBit = 0x80;

void PutU32(PUCHAR p, ULONG v) { std::memcpy(p, &v, sizeof(v)); }

ULONG64 Now()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return static_cast<ULONG64>(now.QuadPart);
}

bool LinkUp(const MP_PORT* port) { return port != nullptr && (port->ConnectionFlags & PORT_CONN_CONNECTED) != 0; }

// A refusal or skip of the request: the OS sees its scan complete at once with the status.
NTSTATUS EndAtOnce(PMP_ADAPTER adapter, PMP_PORT port, NTSTATUS status, PCSTR why)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "scan ends at once (0x%08X): %s", static_cast<unsigned>(status), why);
    PlatformIndicateScanStatus(adapter, port, static_cast<ULONG>(status), 1, 0);
    return status;
}

PCSTR AtOnceCheck(PMP_ADAPTER adapter, PMP_PORT port, NTSTATUS* status)
{
    *status = STATUS_SUCCESS;
    PMP_PORT port0 = adapter->PortList[0];
    if (port->PortType == HELPER) {
        *status = kStatusNotValidForPort;
        return "the port has no role";
    }
    if (port->OpMode == kSubtypeRunningGo) {
        *status = STATUS_INSUFFICIENT_RESOURCES;
        return "a running group owner";
    }
    if (port->OpModeCode == kOpModeMonitor) {
        *status = kStatusMonitorMode;
        return "network monitor mode";
    }
    if (port->PortNumber != 0) {
        return "not port 0";
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_RADIO_OFF)) {
        *status = kStatusRadioOff;
        return "the radio is off";
    }
    if (adapter->Mlme.Scan.RfTestMode) {
        return "RF test mode";
    }
    if (adapter->SnifferMode) {
        BssTableInit(adapter->ScanTable);
        MlmeResetRepositTable(adapter);
        return "sniffer mode";
    }
    if (AdapterTestFlags(adapter, ADAPTER_FLAG_SCANNING)) {
        return "a scan is running";
    }
    if (!P2PIsScanAllowed(adapter, port)) {
        return "a Wi-Fi Direct group forms";
    }
    if (LinkUp(port0)) {
        PMP_PORT device = MlmeSyncGetPortByType(adapter, WFD_DEVICE);
        if (device != nullptr && device->P2pDiscoState == P2P_LISTEN) {
            return "the Wi-Fi Direct device listens";
        }
        PMP_PORT client = MlmeSyncGetPortByType(adapter, WFD_CLIENT);
        if (LinkUp(client)) {
            PMAC_TABLE_ENTRY peer = MlmeSyncMacTabMatchedWlanIdx(client, P2pGetClientWcid(adapter, client));
            if (peer != nullptr && peer->WlanIdx < MAC_TABLE_POOL_SIZE && adapter->MacKeyInstalled[peer->WlanIdx] == 0) {
                return "the Wi-Fi Direct client has no key yet";
            }
        }
    }
    return nullptr;
}

PCSTR TriggerSkip(PMP_ADAPTER adapter, PMP_PORT port, ULONG trigger)
{
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    const bool lost = adapter->BeaconTimeoutMark == 1;
    if (trigger == SCAN_TRIGGER_ROAM && port->Mlme.Scan.SkipNextRoamScan && scan.ResumeReconnect != 1 && !lost) {
        port->Mlme.Scan.SkipNextRoamScan = 0;
        return "the roam scan after a connect request";
    }
    if ((trigger == SCAN_TRIGGER_ROAM || trigger == SCAN_TRIGGER_ROAM_2) && !IsRoamingAllowed(adapter, port) &&
        scan.ResumeReconnect != 1 && !lost && scan.RoamingNeeded == 1) {
        return "roaming is not allowed";
    }
    if (trigger == SCAN_TRIGGER_BACKGROUND) {
        const ULONG64 now = Now();
        if (IsAnyPortLowLatency(adapter)) {
            const ULONG64 interval = static_cast<ULONG64>(adapter->RegistryBlock.BckScanInterval) * 10000000ull;
            if (now - port->Mlme.Scan.LastScanDoneTime < interval) {
                return "a low-latency port and a recent scan";
            }
        } else {
            PMP_PORT go = MlmeSyncGetPortByType(adapter, WFD_GO);
            PREPOSIT_TABLE reposit = RepositTableGet(adapter);
            const ULONG64 second = 10000000ull;
            bool stationLinked = false;
            for (PMP_PORT p : adapter->PortList) {
                stationLinked = stationLinked || (p != nullptr && p->PortType == EXTSTA && LinkUp(p));
            }
            if (go != nullptr && adapter->P2pBlock != nullptr && (adapter->P2pBlock->Flags & 0x10u) != 0 &&
                now - port->Mlme.Scan.LastBssListFlushTime >= second && now - port->Mlme.Scan.LastBssListQueryTime >= second &&
                reposit != nullptr && reposit->RepositCount != 0 && stationLinked && adapter->GoClientCount != 0) {
                return "a group owner serves clients beside the station";
            }
        }
    }
    return nullptr;
}

PCSTR HandshakeSkip(PMP_ADAPTER adapter, PMP_PORT port, ULONG trigger)
{
    const bool roam = trigger == SCAN_TRIGGER_ROAM || trigger == SCAN_TRIGGER_ROAM_2;
    if (port->OpMode == 0 && !port->Mlme.Scan.HostFips && LinkUp(port) && !roam) {
        PMAC_TABLE_ENTRY own = MlmeSyncMacTabMatchedRoleType(port, GetWlanRoleType(port));
        if (own != nullptr && own->WlanIdx < MAC_TABLE_POOL_SIZE && adapter->MacKeyInstalled[own->WlanIdx] == 0 &&
            port->Mlme.Scan.EncryptionStatus >= 3) {
            return "a key handshake runs";
        }
    }
    const MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    if (scan.BtmActive && !roam && scan.BtmCandidates[0].Channel != 0) {
        return "a BSS transition waits";
    }
    return nullptr;
}

ULONG PhyClass(UCHAR mode)
{
    if (mode >= PHY_11He) {
        return 5;
    }
    if (mode >= PHY_11VHT) {
        return 4;
    }
    return mode >= PHY_11ABGN_MIXED ? 2 : 0;
}

void AppendChannel(MLME_SCAN_REQ& request, ULONG band, UCHAR channel)
{
    if (request.ChannelCount < SCAN_REQ_CHANNEL_MAX) {
        request.Channels[request.ChannelCount].Band = band;
        request.Channels[request.ChannelCount].Channel = channel;
        ++request.ChannelCount;
    }
}

void FillChannelFields(PMP_ADAPTER adapter, PMP_PORT port, const WDI_SCAN_PARAMETERS* p)
{
    MLME_SCAN_REQ& request = adapter->Mlme.ScanRequest;
    MLME_SCAN_STATE& scan = adapter->Mlme.Scan;
    const ULONG trigger = p->ScanMode.ScanTrigger;
    request.ChannelCount = 0;
    request.Trigger = trigger;
    if ((p->Presence & WDI_SCAN_PRESENT_BAND_CHANNEL) != 0) {
        for (ULONG b = 0; b < p->BandChannelList.ElementCount && p->BandChannelList.pElements != nullptr; ++b) {
            const WDI_BAND_CHANNEL_ENTRY& entry = p->BandChannelList.pElements[b];
            const ULONG band = NdisWdiGetBandFromWdiBandId(entry.BandId);
            for (ULONG c = 0; c < entry.ChannelList.ElementCount && entry.ChannelList.pElements != nullptr; ++c) {
                AppendChannel(request, band, static_cast<UCHAR>(entry.ChannelList.pElements[c]));
            }
        }
        request.ChannelType = SCAN_CHANNEL_TYPE_LIST;
    }
    if ((p->Presence & WDI_SCAN_PRESENT_6GHZ) != 0) {
        request.BssidCount = 0;
        const ULONG targets = p->SixGhzList.ElementCount < SCAN_TARGET_BSSIDS ? p->SixGhzList.ElementCount : SCAN_TARGET_BSSIDS;
        for (ULONG i = 0; i < targets && p->SixGhzList.pElements != nullptr; ++i) {
            const WDI_6GHZ_CHANNEL_ENTRY& e = p->SixGhzList.pElements[i];
            AppendChannel(request, BAND_6G, e.ChannelNumber);
            if (request.BssidCount < SCAN_REQ_BSSID_MAX) {
                std::memcpy(request.Bssid[request.BssidCount], e.Bssid, 6);
                request.BssidScanParams[request.BssidCount] = e.ChannelNumber;
                ++request.BssidCount;
            }
            DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_WDI, "6 GHz target on %u (%u, %u)", static_cast<unsigned>(e.ChannelNumber),
                     static_cast<unsigned>(e.ChannelInfo[0]), static_cast<unsigned>(e.ChannelInfo[1]));
        }
        request.ChannelType = SCAN_CHANNEL_TYPE_RNR;
    }
    const bool roam = trigger == SCAN_TRIGGER_ROAM || trigger == SCAN_TRIGGER_ROAM_2;
    if (scan.BtmActive && roam && scan.BtmCandidates[0].Channel != 0 && request.ChannelCount < 114) {
        for (const SCAN_BTM_CANDIDATE& c : scan.BtmCandidates) {
            if (c.Channel == 0) {
                break;
            }
            bool known = false;
            for (UCHAR i = 0; i < request.ChannelCount; ++i) {
                known = known || (request.Channels[i].Channel == c.Channel && request.Channels[i].Band == c.Band);
            }
            if (!known) {
                AppendChannel(request, c.Band, c.Channel);
            }
        }
        request.ChannelType = SCAN_CHANNEL_TYPE_LIST;
    } else {
        const bool lost = adapter->BeaconTimeoutMark == 1;
        const ULONG limit = adapter->RegistryBlock.SsidCLNum;
        if (limit != 0 && (roam || (lost && trigger == SCAN_TRIGGER_CONNECT))) {
            (void)MlmeUpdatePreferSsidTab(adapter, TRUE, TRUE);
            SCAN_REQ_CHANNEL found[SCAN_REQ_CHANNEL_MAX];
            const ULONG n = scanCalculateSsidChnlList(adapter, port->CurrentSsid, port->CurrentSsidLen,
                                                      port->Mlme.AuthAlgorithm, port->Mlme.UnicastCipher,
                                                      request.ChannelCount, request.Channels, found, SCAN_REQ_CHANNEL_MAX);
            const ULONG cap = limit < SCAN_REQ_CHANNEL_MAX ? limit : SCAN_REQ_CHANNEL_MAX;
            if (n > 0 && n < cap &&
                (scan.RoamingNeeded == 1 || request.ChannelCount != 0 || (lost && trigger == SCAN_TRIGGER_CONNECT))) {
                std::memcpy(request.Channels, found, n * sizeof(found[0]));
                request.ChannelCount = static_cast<UCHAR>(n);
                request.ChannelType = SCAN_CHANNEL_TYPE_LIST;
            }
        }
    }
    auto single = [&](UCHAR channel) {
        request.ChannelCount = 0;
        AppendChannel(request, channel <= 14 ? BAND_24G : BAND_5G, channel);
        request.ChannelType = SCAN_CHANNEL_TYPE_LIST;
    };
    if (scan.ScanFilterChannelSet) {
        if (scan.ScanFilterChannel == 0) {
            request.ChannelCount = 0;
            request.ChannelType = SCAN_CHANNEL_TYPE_LIST;
        } else {
            single(scan.ScanFilterChannel);
        }
    }
    if (scan.FixedScanChannel != 0) {
        single(scan.FixedScanChannel);
    }
}

}  // namespace

ULONG NdisWdiGetBandFromWdiBandId(ULONG wdiBandId)
{
    switch (wdiBandId) {
    case 2:
        return BAND_5G;
    case 5:
        return BAND_6G;
    default:
        return BAND_24G;
    }
}

ULONG NdisWdiGetWdiBandIdFromBand(PMP_ADAPTER adapter, ULONG band)
{
    UNREFERENCED_PARAMETER(adapter);
    switch (band) {
    case BAND_5G:
        return 2;
    case BAND_6G:
        return 5;
    default:
        return 1;
    }
}

ULONG NdisWdiDot11ScanRequestSize(const WDI_SCAN_PARAMETERS* p)
{
    const ULONG ssids = p->SsidList.ElementCount != 0 ? p->SsidList.ElementCount : 1;
    const ULONG ies = (p->Presence & WDI_SCAN_PRESENT_VENDOR_IES) != 0 ? p->VendorIes.ElementCount : 0;
    return kRequestHeader + kSsidSlot * ssids + ies;
}

NTSTATUS NdisWdiFillDot11ScanRequest(const WDI_SCAN_PARAMETERS* p, PUCHAR buffer, ULONG size)
{
    if (p == nullptr || buffer == nullptr || size < NdisWdiDot11ScanRequestSize(p)) {
        return STATUS_INVALID_PARAMETER;
    }
    const ULONG ssids = p->SsidList.ElementCount != 0 ? p->SsidList.ElementCount : 1;
    for (ULONG i = 0; i < p->SsidList.ElementCount; ++i) {
        if (p->SsidList.pElements == nullptr || p->SsidList.pElements[i].ElementCount > 32) {
            return kStatusSsidTooLong;  // an SSID that does not fit its slot is refused
        }
    }
    std::memset(buffer, 0, size);
    PutU32(buffer + 0x00, 3);
    std::memcpy(buffer + 0x04, p->Bssid, 6);
    PutU32(buffer + 0x0C, WdiConvertScanType(p->ScanMode.ScanType));
    PutU32(buffer + 0x18, ssids);
    PutU32(buffer + 0x30, kSsidSlot * ssids);
    const ULONG ies = (p->Presence & WDI_SCAN_PRESENT_VENDOR_IES) != 0 ? p->VendorIes.ElementCount : 0;
    PutU32(buffer + 0x34, ies);
    for (ULONG i = 0; i < p->SsidList.ElementCount; ++i) {
        const WDI_BYTE_ARRAY& ssid = p->SsidList.pElements[i];
        PUCHAR slot = buffer + kRequestHeader + kSsidSlot * i;
        PutU32(slot, ssid.ElementCount);
        if (ssid.ElementCount != 0) {
            std::memcpy(slot + 4, ssid.pElements, ssid.ElementCount);
        }
    }
    if (ies != 0) {
        std::memcpy(buffer + kRequestHeader + kSsidSlot * ssids, p->VendorIes.pElements, ies);
    }
    return STATUS_SUCCESS;
}

NTSTATUS NdisWdiSetOidDot11ScanRequest(PMP_ADAPTER adapter, WIFIREQUEST request, const WDI_SCAN_PARAMETERS* parameters)
{
    AdapterSetFlag(adapter, ADAPTER_FLAG_OS_SCAN, __func__);
    adapter->OsScanRequest = 1;
    NTSTATUS result = STATUS_UNSUCCESSFUL;
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port != nullptr) {
        NTSTATUS status = STATUS_SUCCESS;
        if (PCSTR why = AtOnceCheck(adapter, port, &status)) {
            return EndAtOnce(adapter, port, status, why);
        }
        if (parameters == nullptr) {
            result = NDIS_STATUS_INVALID_DATA;
        } else {
            const ULONG trigger = parameters->ScanMode.ScanTrigger;
            if (PCSTR why = TriggerSkip(adapter, port, trigger)) {
                return EndAtOnce(adapter, port, STATUS_SUCCESS, why);
            }
            if (PCSTR why = HandshakeSkip(adapter, port, trigger)) {
                return EndAtOnce(adapter, port, STATUS_SUCCESS, why);
            }
            if ((port->ConnectionFlags & PORT_CONN_CONNECTED) != 0 && (port->ConnectionFlags & kPortConnectedBit) != 0 &&
                MlmeIgnoreScanByThroughput(adapter, port, PhyClass(port->WirelessMode), trigger)) {
                return EndAtOnce(adapter, port, STATUS_SUCCESS, "the link is busy");
            }
            FillChannelFields(adapter, port, parameters);
            const ULONG size = NdisWdiDot11ScanRequestSize(parameters);
            PVOID block = nullptr;
            if (PlatformAllocateMemory(adapter, &block, size, TAG_ZV46) != STATUS_SUCCESS || block == nullptr) {
                result = STATUS_UNSUCCESSFUL;
            } else {
                auto* core = static_cast<PUCHAR>(block);
                result = NdisWdiFillDot11ScanRequest(parameters, core, size);
                if (NT_SUCCESS(result)) {
                    const ULONG ies = NdisWdiDot11ScanRequestSize(parameters) - kRequestHeader -
                                      kSsidSlot * (parameters->SsidList.ElementCount != 0 ? parameters->SsidList.ElementCount : 1);
                    if (adapter->RegistryBlock.WpsQtTestEnable && ies != 0) {
                        MlmeProbeRspSanityWpsQtTest(core + size - ies, ies);
                    }
                    (void)MlmeSyncBuildChannelListForScan(adapter, port);
                    ScanTblApNumInit(adapter);
                    adapter->ScanDoneSinceRequest = 0;
                    ULONG written = 0;
                    ULONG needed = 0;
                    result = MlmeScanRequest(adapter, port, core, size, &written, &needed);
                    if (adapter->Mlme.Scan.RoamScanAtOnce == 1 && trigger == SCAN_TRIGGER_ROAM &&
                        parameters->SsidList.ElementCount != 0 && adapter->Mlme.ScanRequest.ChannelCount == 0) {
                        PlatformIndicateScanStatus(adapter, port, static_cast<ULONG>(result), 1, 0);
                    }
                }
                PlatformFreeMemory(block, size);
            }
        }
    }
    if (!NT_SUCCESS(result)) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "scan request refused 0x%08X", static_cast<unsigned>(result));
        AdapterClearFlag(adapter, ADAPTER_FLAG_OS_SCAN, __func__);
    }
    return result;
}

NTSTATUS WdiScanComplete(PMP_ADAPTER adapter, PMP_PORT port, NTSTATUS status)
{
    if (adapter == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    WDI_MESSAGE_HEADER header = adapter->Wdi.CntlBlock.HeaderCopy;
    const USHORT portId = static_cast<USHORT>(port != nullptr ? port->PortNumber : 0);
    WdiEventSendStatusIndicationEx(adapter, &header, portId, WDI_INDICATION_SCAN_COMPLETE, status, nullptr, 0,
                                   WDI_INDICATION_MODE_TASK_COMPLETION);
    return STATUS_SUCCESS;
}

VOID NdisWdiFlushBssList(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr || port == nullptr || !P2PIsScanAllowed(adapter, port)) {
        return;
    }
    adapter->Mlme.Scan.BssListFlushed = 1;
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, sizeof(BSS_ENTRY), TAG_ZV46) != STATUS_SUCCESS || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "BSS list flush: no room for the current access point, table kept");
        return;
    }
    auto* kept = static_cast<PBSS_ENTRY>(block);
    LONG found = BSS_NOT_FOUND;
    if ((port->ConnectionFlags & kPortConnectedBit) != 0) {
        found = BssSearchWithSsid(adapter->ScanTable, port->Bssid, port->CurrentSsid, port->CurrentSsidLen,
                                  port->Channel.PrimaryChannel);
        if (found != BSS_NOT_FOUND) {
            std::memcpy(kept, &adapter->ScanTable->BssEntry[found], sizeof(*kept));
        }
    }
    MlmeBssTableInit(adapter);
    if (found != BSS_NOT_FOUND) {
        BssTableRestoreEntry(adapter->ScanTable, kept);
    }
    PlatformFreeMemory(block, sizeof(BSS_ENTRY));
    if (port->PortNumber == 0) {
        port->Mlme.Scan.LastBssListFlushTime = Now();
    }
}
