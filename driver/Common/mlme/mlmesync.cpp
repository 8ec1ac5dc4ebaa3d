// The sync machine's station table and port lookups.
#include "Common/mlme/mlmesync.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

VOID MlmeSyncStateMachineInit(PMP_ADAPTER adapter, PMP_PORT port, PSTATE_MACHINE machine)
{
    UNREFERENCED_PARAMETER(adapter);
    // Until the sync actions exist every message of the machine is dropped.
    StateMachineInit(machine, port->Mlme.SyncFunc, SYNC_MACHINE_STATES, SYNC_MACHINE_MSGS, Drop, 0, 0);
    (void)NOT_BUILT_YET();
}

void ScanNeighborAPInfoListInit(PMP_ADAPTER adapter, PSCAN_NEIGHBOR_AP_LIST list)
{
    UNREFERENCED_PARAMETER(adapter);
    InitializeListHead(&list->Head);
    list->Count = 0;
    KeInitializeSpinLock(&list->Lock);
}

void ScanNeighborAPInfoListDeInit(PMP_ADAPTER adapter, PSCAN_NEIGHBOR_AP_LIST list)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(list);
    (void)NOT_BUILT_YET();
}
