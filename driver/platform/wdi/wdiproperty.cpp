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
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetAddCipherKeys(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetDeleteCipherKeys(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetDefaultKeyId(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetConnectionQuality(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertyGetStatistics(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
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
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertyGetPmProtocolOffload(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
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

NTSTATUS WdiPropertySetAssociationParameters(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertyGetNextActionFrameDialogToken(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetP2pWpsEnabled(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetFastBssTransitionParameters(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetNeighborReportEntries(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}

NTSTATUS WdiPropertySetSAEParams(PMP_ADAPTER adapter, WIFIREQUEST request, PVOID parameters)
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
    UNREFERENCED_PARAMETER(parameters);
    return NOT_BUILT_YET();
}
