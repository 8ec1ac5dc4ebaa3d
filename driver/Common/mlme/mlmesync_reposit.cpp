// The roaming-candidate and preferred-SSID tables.
#include "Common/mlme/mlmesync_reposit.h"

#include <cstring>

#include "Common/mlme/mlmemem.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

PREPOSIT_TABLE RepositTableGet(PMP_ADAPTER adapter)
{
    return adapter != nullptr ? static_cast<PREPOSIT_TABLE>(adapter->Mlme.RepositTable) : nullptr;
}

void MlmeRepositTableInit(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_MLME, "roaming-candidate table without an adapter");
        return;
    }
    MLME_ADAPTER_BLOCK& mlme = adapter->Mlme;
    mlme.RepositTable = nullptr;
    mlme.RepositTableSize = 0;
    PVOID block = nullptr;
    ULONG size = sizeof(REPOSIT_TABLE);
    // Its own tag keeps the MLME buffer blocks (ZV05) countable on their own.
    if (PlatformAllocateMemory(adapter, &block, size, TAG_ZV06) != STATUS_SUCCESS || block == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "roaming-candidate table not allocated");
        return;
    }
    auto* table = static_cast<PREPOSIT_TABLE>(block);
    std::memset(table, 0, size);
    table->RepositEntries = table->Entries;
    table->RepositAgeSeconds = adapter->RegistryBlock.BssidRepositTime;
    mlme.RepositTable = table;
    mlme.RepositTableSize = size;
    mlme.RepositBusy = 0;
}

void MlmeResetRepositTable(PMP_ADAPTER adapter)
{
    PREPOSIT_TABLE table = RepositTableGet(adapter);
    if (table == nullptr) {
        return;
    }
    std::memset(table->Entries, 0, sizeof(table->Entries));
    std::memset(table->RepositTime, 0, sizeof(table->RepositTime));
    table->RepositCount = 0;
}

ULONG RepositTableSearchByBand(PMP_ADAPTER adapter, PMP_PORT port, PREPOSIT_TABLE table, ULONG band,
                               const UCHAR* bssid)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    if (table == nullptr) {
        return 0xFFFFFFFFu;
    }
    ULONG count = table->RepositCount < MAX_LEN_OF_BSS_TABLE ? table->RepositCount : MAX_LEN_OF_BSS_TABLE;
    for (ULONG i = 0; i < count; ++i) {
        const BSS_ENTRY& e = table->RepositEntries[i];
        if (static_cast<ULONG>(e.Band) == band && std::memcmp(e.Bssid, bssid, 6) == 0) {
            return i;
        }
    }
    return 0xFFFFFFFFu;
}
