// Candidate sorting.
#include "Common/mlme/mlmesync_sort.h"

#include "Common/mlme/mlmesync.h"

#include <cstring>

#include "Common/mlme/mlmesync_reposit.h"
#include "platform/ndiscommon/adapter.h"

#include "platform/ndiscommon/trace.h"

void scanSsidTabSort(PMP_ADAPTER adapter, PMP_PORT port, const BSS_TABLE* source, PBSS_TABLE output,
                     const UCHAR* ssid, UCHAR ssidLen)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(source);
    UNREFERENCED_PARAMETER(ssid);
    UNREFERENCED_PARAMETER(ssidLen);
    BssTableInit(output);  // no candidate until the sort exists
    (void)NOT_BUILT_YET();
}

void BssTableSsidSort(PMP_ADAPTER adapter, PMP_PORT port, PBSS_TABLE candidates, const UCHAR* ssid, UCHAR ssidLen)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(candidates);
    UNREFERENCED_PARAMETER(ssid);
    UNREFERENCED_PARAMETER(ssidLen);
    (void)NOT_BUILT_YET();
}

void scanMarkSsidChannels(PMP_ADAPTER adapter, const UCHAR* ssid, UCHAR ssidLen, ULONG authAlgorithm, ULONG cipher)
{
    PREPOSIT_TABLE reposit = RepositTableGet(adapter);
    if (reposit == nullptr || ssidLen > BSS_SSID_MAX) {
        return;
    }
    const BSS_TABLE& table = reposit->PreferSsid.Table;
    ALL_CHANNEL_LIST& list = adapter->ChannelLists.AllList;
    const ULONG records = list.Count < 0 ? 0 : (list.Count < ALL_CHANNEL_MAX ? static_cast<ULONG>(list.Count) : ALL_CHANNEL_MAX);
    const ULONG count = table.EntryCount < MAX_LEN_OF_BSS_TABLE ? table.EntryCount : MAX_LEN_OF_BSS_TABLE;
    PMP_PORT port0 = adapter->PortList[0];
    const bool connected = port0 != nullptr && (port0->ConnectionFlags & PORT_CONN_CONNECTED) != 0;
    for (ULONG i = 0; i < count; ++i) {
        const BSS_ENTRY& e = table.BssEntry[i];
        if (connected && (e.AuthMode != authAlgorithm || e.EncryptionStatus != cipher)) {
            continue;
        }
        if (e.SsidLen != ssidLen || (ssidLen != 0 && std::memcmp(e.Ssid, ssid, ssidLen) != 0)) {
            continue;
        }
        for (ULONG r = 0; r < records; ++r) {
            ALL_CHANNEL_RECORD& rec = list.Records[r];
            if (rec.Channel == e.Channel && rec.Band == static_cast<UCHAR>(e.Band)) {
                rec.Seen = 1;
                ++rec.Count;
            }
        }
    }
}
