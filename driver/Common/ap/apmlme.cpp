// The soft access point's MLME side.
#include "Common/ap/apmlme.h"

#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/trace.h"

BOOLEAN ApMlmeMsgTypeSubst(PMP_ADAPTER adapter, PMP_PORT port, const void* frame, ULONG frameLen, PULONG machine,
                           PULONG msg)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(frame);
    UNREFERENCED_PARAMETER(frameLen);
    UNREFERENCED_PARAMETER(machine);
    UNREFERENCED_PARAMETER(msg);
    // Without the access-point classifier every frame of such a port is dropped.
    (void)NOT_BUILT_YET();
    return FALSE;
}

// Until the access-point actions exist every message of these machines is dropped.
VOID ApAssocStateMachineInit(PMP_ADAPTER adapter, PSTATE_MACHINE machine, PSTATE_MACHINE_FUNC* trans)
{
    UNREFERENCED_PARAMETER(adapter);
    StateMachineInit(machine, trans, AP_ASSOC_MACHINE_STATES, AP_ASSOC_MACHINE_MSGS, Drop, 0, 0);
    (void)NOT_BUILT_YET();
}

VOID ApAuthStateMachineInit(PMP_ADAPTER adapter, PSTATE_MACHINE machine, PSTATE_MACHINE_FUNC* trans)
{
    UNREFERENCED_PARAMETER(adapter);
    StateMachineInit(machine, trans, AP_AUTH_MACHINE_STATES, AP_AUTH_MACHINE_MSGS, Drop, 0, 0);
    (void)NOT_BUILT_YET();
}

VOID ApAuthRspStateMachineInit(PMP_ADAPTER adapter, PSTATE_MACHINE machine, PSTATE_MACHINE_FUNC* trans)
{
    UNREFERENCED_PARAMETER(adapter);
    StateMachineInit(machine, trans, AP_AUTH_RSP_MACHINE_STATES, AP_AUTH_RSP_MACHINE_MSGS, Drop, 0, 0);
    (void)NOT_BUILT_YET();
}

VOID ApSyncStateMachineInit(PMP_ADAPTER adapter, PSTATE_MACHINE machine, PSTATE_MACHINE_FUNC* trans)
{
    UNREFERENCED_PARAMETER(adapter);
    StateMachineInit(machine, trans, AP_SYNC_MACHINE_STATES, AP_SYNC_MACHINE_MSGS, Drop, 0, 0);
    (void)NOT_BUILT_YET();
}

VOID MgntPktConstructIBSSProbRspFrame(PMP_PORT port, const UCHAR* destination, PUCHAR buffer, PULONG length)
{
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(destination);
    UNREFERENCED_PARAMETER(buffer);
    *length = 0;
    (void)NOT_BUILT_YET();
}

NTSTATUS ApOidDisassociatePeerRequest(PMP_ADAPTER adapter, ULONG portNumber, const void* request, ULONG length,
                                      PULONG bytesRead)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(portNumber);
    UNREFERENCED_PARAMETER(request);
    UNREFERENCED_PARAMETER(length);
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    return NOT_BUILT_YET();
}

NTSTATUS ApSetWpaRsnIE(PMP_ADAPTER adapter, PMP_PORT port, ULONG authAlgorithm, ULONG cipher)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(authAlgorithm);
    UNREFERENCED_PARAMETER(cipher);
    return NOT_BUILT_YET();
}

VOID APFlushBmcPsQueue(PMP_ADAPTER adapter, ULONG portIndex)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(portIndex);
    (void)NOT_BUILT_YET();
}

namespace {

// Completes, as failed, every frame the dequeue hands out of the station's power-save queue.
template <class Dequeue>
VOID FlushPsQueue(PMP_ADAPTER adapter, ULONG queueIndex, Dequeue dequeue)
{
    if (adapter == nullptr || queueIndex >= TX_UC_PSQ_COUNT) {
        return;
    }
    while (PTX_DMAQ_DESC record = dequeue()) {
        PlatformIndicateXmitPktToNdis(adapter, record, STATUS_UNSUCCESSFUL);
    }
}

}  // namespace

VOID APFlushPendingTxQueue(PMP_ADAPTER adapter, ULONG queueIndex)
{
    FlushPsQueue(adapter, queueIndex, [&] { return TxUcPsqDequeue(adapter, queueIndex); });
}

VOID APFlushPendingTxQueueByPort(PMP_ADAPTER adapter, ULONG queueIndex, USHORT portIndex)
{
    FlushPsQueue(adapter, queueIndex, [&] { return TxUcPsqDequeueByPort(adapter, queueIndex, portIndex); });
}

VOID APFlushPendingTxQueueByPeer(PMP_ADAPTER adapter, ULONG queueIndex, USHORT portIndex, const UCHAR* address)
{
    UNREFERENCED_PARAMETER(portIndex);
    if (address == nullptr) {
        return;
    }
    FlushPsQueue(adapter, queueIndex, [&] { return TxUcPsqDequeueByPeerAddr(adapter, queueIndex, address); });
}

VOID APPlatformIndicateDisassociationStatus(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG status,
                                            ULONG sourceCode)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(peer);
    UNREFERENCED_PARAMETER(status);
    UNREFERENCED_PARAMETER(sourceCode);
    (void)NOT_BUILT_YET();
}
