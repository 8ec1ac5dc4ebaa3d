// The sync machine's station table and port lookups.
#include "Common/mlme/mlmesync.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

NTSTATUS MlmeSyncInitMacTabPool(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return NOT_BUILT_YET();
}

NTSTATUS MlmeSyncDeInitMacTab(PMP_PORT port)
{
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

PMP_PORT MlmeSyncGetPortByType(PMP_ADAPTER adapter, ULONG portType)
{
    for (ULONG i = 0; i < MP_MAX_PORTS; ++i) {
        PMP_PORT port = adapter->PortList[i];
        if (port != nullptr && port->Active && port->PortType == portType) {
            return port;
        }
    }
    return nullptr;
}

void ScanNeighborAPInfoListInit(PMP_ADAPTER adapter, PSCAN_NEIGHBOR_AP_LIST list)
{
    UNREFERENCED_PARAMETER(adapter);
    InitializeListHead(&list->Head);
    list->Count = 0;
    KeInitializeSpinLock(&list->Lock);
}

void BssTableInit(PBSS_TABLE table)
{
    UNREFERENCED_PARAMETER(table);
    (void)NOT_BUILT_YET();
}

void MlmeResetRepositTable(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

void ScanNeighborAPInfoListDeInit(PMP_ADAPTER adapter, PSCAN_NEIGHBOR_AP_LIST list)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(list);
    (void)NOT_BUILT_YET();
}
