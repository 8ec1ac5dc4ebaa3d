// The firmware BSS slots.
#include "Common/cnm.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

void cnmInitBssInfo(PMP_ADAPTER adapter)
{
    for (ULONG i = 0; i < BSS_INDEX_SLOT_COUNT; ++i) {
        adapter->BssIndexSlots[i].InUse = 0;
        adapter->BssIndexSlots[i].Port = nullptr;
    }
}

NTSTATUS cnmFreeBssInfo(PMP_ADAPTER adapter, PBSS_INDEX_SLOT slot)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(slot);
    return NOT_BUILT_YET();
}
