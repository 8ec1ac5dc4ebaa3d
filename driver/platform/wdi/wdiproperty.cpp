// The handlers of the WDI property rows. Each comes with its own property's code.
#include "platform/wdi/wdiproperty.h"

#include <cstring>

#include "Common/mlme/mlmereq.h"
#include "Common/mlme/mlmesync_reposit.h"
#include "Common/qzcmd_scan.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wdi/ndiswdi.h"
#include "platform/wdi/wdigenerator.h"

NTSTATUS WdiPropertySetP2pListenState(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetPrivacyExemptionList(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const auto* p = static_cast<const WDI_PRIVACY_EXEMPTION_PARAMETERS*>(parameters);
    if (p == nullptr) {
        return NDIS_STATUS_INVALID_DATA;
    }
    if ((p->Presence & WDI_PRIVACY_EXEMPTION_PRESENT_LIST) == 0) {
        return STATUS_SUCCESS;  // the port keeps its list
    }
    PORT_OWNED_BUFFER& list = port->PrivacyExemptionList;
    if (list.Allocated == 1) {
        PlatformFreeMemory(list.Buffer, list.Size);
    }
    list.Buffer = nullptr;
    list.Size = 0;
    list.Allocated = 0;
    const ULONG count = p->pElements != nullptr ? p->ElementCount : 0;
    if (count == 0) {
        return STATUS_SUCCESS;
    }
    // Room for 20 bytes per entry: the 12-byte header and 6 bytes per entry fit it.
    if (count > 0xFFFFFFFFu / 20u) {
        return STATUS_SUCCESS;
    }
    const ULONG size = count * 20u;
    PVOID block = nullptr;
    if (PlatformAllocateMemory(adapter, &block, size, TAG_ZV43) != STATUS_SUCCESS || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "privacy exemption list of %u entries: no memory", static_cast<unsigned>(count));
        return STATUS_SUCCESS;
    }
    auto* out = static_cast<PUCHAR>(block);
    PlatformZeroMemory(out, size);
    auto put16 = [](PUCHAR at, ULONG v) {
        at[0] = static_cast<UCHAR>(v);
        at[1] = static_cast<UCHAR>(v >> 8);
    };
    put16(out + 4, count);
    put16(out + 6, count >> 16);
    put16(out + 8, count);
    put16(out + 10, count >> 16);
    for (ULONG i = 0; i < count; ++i) {
        PUCHAR entry = out + 12 + 6 * i;
        put16(entry, p->pElements[i].EtherType);
        put16(entry + 2, p->pElements[i].ActionType);
        put16(entry + 4, p->pElements[i].PacketType);
    }
    list.Buffer = out;
    list.Size = size;
    list.Allocated = 1;
    return STATUS_SUCCESS;
}

NTSTATUS WdiPropertyGetStatistics(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(parameters);
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const ULONG phyTypes = adapter->SupportedPhyTypes != nullptr
                               ? (adapter->SupportedPhyTypes->NumberOfEntries < SUPPORTED_PHY_TYPE_MAX
                                      ? adapter->SupportedPhyTypes->NumberOfEntries
                                      : SUPPORTED_PHY_TYPE_MAX)
                               : 0;
    const ULONG size = (2u * DOT11_MAC_STAT_COUNTERS + phyTypes * DOT11_PHY_STAT_COUNTERS) * sizeof(ULONG64);
    PVOID area = nullptr;
    if (PlatformAllocateMemory(adapter, &area, size, TAG_ZV43) != STATUS_SUCCESS || area == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    PlatformZeroMemory(area, size);
    PUCHAR answer = nullptr;
    ULONG answerLength = 0;
    NTSTATUS status = WdiGeneratorGetStatistics(adapter, port, area, 2, phyTypes, &answer, &answerLength);
    if (NT_SUCCESS(status)) {
        status = WdiEventCompleteOid(adapter, request, answer, answerLength);
        if (!NT_SUCCESS(status)) {
            status = STATUS_SUCCESS;  // the request was completed with the failure already
        }
    }
    if (answer != nullptr) {
        WdiTlvFreeGenerated(answer);
    }
    PlatformFreeMemory(area, size);
    return status;
}

NTSTATUS WdiPropertySetNetworkListOffload(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const auto* p = static_cast<const WDI_NLO_PARAMETERS*>(parameters);
    if (p == nullptr) {
        return NDIS_STATUS_INVALID_DATA;
    }
    NLO_OFFLOAD_RECORD& nlo = adapter->Wake.NloOffload;
    const bool profiles = (p->Presence & WDI_NLO_PRESENT_SSID_OFFLOAD) != 0;
    nlo.Configured = profiles ? 1 : 0;
    if (nlo.Active == 1) {
        (void)QzCmdEnableNLO(adapter, port, &nlo, 1);
    }
    if (!profiles) {
        return STATUS_SUCCESS;
    }
    const ULONG count = p->SsidOffloads.ElementCount < NLO_NETWORK_MAX ? p->SsidOffloads.ElementCount : NLO_NETWORK_MAX;
    const ULONG size = count * sizeof(NLO_NETWORK);
    PVOID block = nullptr;
    if (count != 0 && (PlatformAllocateMemory(adapter, &block, size, TAG_ZV43) != STATUS_SUCCESS || block == nullptr)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_WDI, "network list offload: no room for %u networks", static_cast<unsigned>(count));
        return STATUS_SUCCESS;
    }
    auto* networks = static_cast<NLO_NETWORK*>(block);
    for (ULONG i = 0; i < count; ++i) {
        const WDI_SSID_OFFLOAD_ENTRY& in = p->SsidOffloads.pElements[i];
        NLO_NETWORK& out = networks[i];
        PlatformZeroMemory(&out, sizeof(out));
        out.SsidLength = static_cast<UCHAR>(in.Ssid.ElementCount <= SCAN_REQ_SSID_LEN ? in.Ssid.ElementCount : SCAN_REQ_SSID_LEN);
        if (out.SsidLength != 0) {
            std::memcpy(out.Ssid, in.Ssid.pElements, out.SsidLength);
        }
        out.Hidden = in.Hidden;
        out.PairCount = static_cast<UCHAR>(in.PairCount < NLO_ALGO_PAIR_MAX ? in.PairCount : NLO_ALGO_PAIR_MAX);
        for (ULONG k = 0; k < out.PairCount; ++k) {
            out.Pairs[k].AuthAlgorithm = in.pPairs[k].AuthAlgorithm;
            out.Pairs[k].CipherAlgorithm = in.pPairs[k].CipherAlgorithm;
        }
        out.HintCount = static_cast<UCHAR>(in.HintCount < NLO_NETWORK_HINT_MAX ? in.HintCount : NLO_NETWORK_HINT_MAX);
        for (ULONG k = 0; k < out.HintCount; ++k) {
            out.Hints[k].WdiBandId = in.pHints[k].BandId;
            out.Hints[k].Channel = static_cast<UCHAR>(in.pHints[k].ChannelNumber);
        }
    }
    NLO_REQUEST nloRequest{p->Config[0], p->Config[1], p->Config[2], p->Config[3], count, networks};
    const NTSTATUS status = QzCmdConfigNLO(adapter, port, &nloRequest);
    if (NT_SUCCESS(status) && (nlo.Flags & 1) != 0) {
        (void)QzCmdEnableNLO(adapter, port, &nlo, 0);
    }
    if (block != nullptr) {
        PlatformFreeMemory(block, size);
    }
    return STATUS_SUCCESS;
}

NTSTATUS WdiPropertyGetBssEntryList(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    PMP_PORT port0 = adapter->PortList[0];
    // The roaming-candidate table when it holds entries (under its busy flag), else the scan table.
    PREPOSIT_TABLE reposit = RepositTableGet(adapter);
    bool held = false;
    const BSS_ENTRY* entries = nullptr;
    ULONG count = 0;
    if (reposit != nullptr && reposit->RepositCount != 0) {
        for (ULONG tries = 0; tries < 100 && !held; ++tries) {
            held = InterlockedCompareExchange(&adapter->Mlme.RepositBusy, 1, 0) == 0;
            if (!held) {
                NdisCommonGenericDelay(100);
            }
        }
        if (held) {
            entries = reposit->Entries;
            count = reposit->RepositCount;
        } else {
            DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "BSS list: roaming-candidate table busy, the scan table is reported");
        }
    }
    if (entries == nullptr && adapter->ScanTable != nullptr) {
        entries = adapter->ScanTable->BssEntry;
        count = adapter->ScanTable->EntryCount;
    }
    count = count < MAX_LEN_OF_BSS_TABLE ? count : MAX_LEN_OF_BSS_TABLE;
    ULONG order[MAX_LEN_OF_BSS_TABLE];
    // The order is used when it covers the same table.
    const ULONG sortedCount = MlmeSortBssListByRssi(adapter, order);
    const bool sortUsesReposit = reposit != nullptr && reposit->RepositCount != 0;
    const bool sorted = sortedCount == count && count != 0 && sortUsesReposit == held;
    static const UCHAR kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const ULONG bandSelection = adapter->RegistryBlock.BandSelection;
    for (ULONG i = 0; i < count; ++i) {
        BSS_ENTRY& e = const_cast<BSS_ENTRY&>(entries[sorted ? order[i] : i]);
        if (std::memcmp(e.Bssid, kBroadcast, 6) == 0 || (bandSelection != 0 && static_cast<ULONG>(e.Band) != bandSelection)) {
            continue;
        }
        WDI_BSS_ENTRY_SOURCE source{};
        std::memcpy(source.Bssid, e.Bssid, 6);
        source.ProbeResponse = e.ProbeRspFrame;
        source.ProbeResponseLength = e.ProbeRspFrameLen <= BSS_IE_BUFFER_SIZE ? e.ProbeRspFrameLen : BSS_IE_BUFFER_SIZE;
        source.Beacon = e.BeaconFrame;
        source.BeaconLength = e.BeaconFrameLen <= BSS_IE_BUFFER_SIZE ? e.BeaconFrameLen : BSS_IE_BUFFER_SIZE;
        source.Rssi = e.Rssi;
        source.Channel = e.Channel;
        source.Band = static_cast<ULONG>(e.Band);
        source.HostTimeStamp = e.LastUpdateTime;
        source.Indicated = &e.IndicatedSinceUpdate;
        WdiGeneratorBssEntry(adapter, port0, &source);
    }
    if (held) {
        InterlockedExchange(&adapter->Mlme.RepositBusy, 0);
    }
    if (port0 != nullptr) {
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        port0->Mlme.Scan.LastBssListQueryTime = static_cast<ULONG64>(now.QuadPart);
    }
    return STATUS_SUCCESS;
}

NTSTATUS WdiPropertySetAdapterConfiguration(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    const USHORT row = WdiFindPropertyRow(WifiRequestGetMessageId(request));
    if (row == WDI_TASK_ROW_NONE) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_WDI, "adapter configuration without a row");
        return STATUS_SUCCESS;
    }
    const auto* p = static_cast<const WDI_ADAPTER_CONFIGURATION_PARAMETERS*>(parameters);
    if (p == nullptr) {
        return NDIS_STATUS_INVALID_DATA;
    }
    STA_CONNECT_ADAPTER_STATE& sta = adapter->StaConnect;
    STA_ADAPTER_CONFIGURATION& copy = sta.Configuration;
    copy.Presence = p->Presence;
    std::memcpy(copy.ConfiguredMacAddress, p->ConfiguredMacAddress, 6);
    copy.UnreachableDetectionThreshold = p->UnreachableDetectionThreshold;
    copy.PldrSupport = p->PldrSupport;
    if ((p->Presence & WDI_ADAPTER_CONFIG_PRESENT_MAC) != 0) {
        std::memcpy(sta.ConfiguredMacAddress, p->ConfiguredMacAddress, 6);
    }
    if ((p->Presence & WDI_ADAPTER_CONFIG_PRESENT_UNREACHABLE) == 0) {
        copy.UnreachableDetectionThreshold = 30000000;
    }
    if (p->PldrSupport != 0) {
        sta.PldrSupported = 1;
    }
    return STATUS_SUCCESS;
}

NTSTATUS WdiPropertyGetPmProtocolOffload(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "protocol-offload query: no offloads to report");
    return STATUS_SUCCESS;
}

NTSTATUS WdiPropertySetAdvertisementInfo(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetFlushBssEntry(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(parameters);
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (port->PortType != HELPER && port->PortType != EXTAP) {
        NdisWdiFlushBssList(adapter, port);
    }
    return STATUS_SUCCESS;
}

NTSTATUS WdiPropertyGetNextActionFrameDialogToken(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(parameters);
    PMP_PORT port = NdisWdiGetMpPortPtr(adapter, request);
    if (port == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const UCHAR token = NdisWdiGenerateActionDialogToken(port);
    PUCHAR answer = nullptr;
    ULONG answerLength = 0;
    NTSTATUS status = WdiTlvGenerateNextDialogToken(token, 0, &adapter->TlvContext, &answerLength, &answer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    // A failure of the completion was reported on the request itself.
    (void)WdiEventCompleteOid(adapter, request, answer, answerLength);
    WdiTlvFreeGenerated(answer);
    return STATUS_SUCCESS;
}

NTSTATUS WdiPropertySetP2pWpsEnabled(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetLocationPrivacy(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    const auto* p = static_cast<const WDI_LOCATION_PRIVACY_PARAMETERS*>(parameters);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_WDI, "location privacy %u", static_cast<unsigned>(p != nullptr ? p->Value : 0));
    return STATUS_SUCCESS;
}
