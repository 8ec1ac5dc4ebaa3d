// The MLME core: the MLME thread.
#include "Common/mlme/mlme.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

void MlmeThreadProc(PVOID context)
{
    auto* adapter = static_cast<PMP_ADAPTER>(context);
    PlatformSetThreadPriority();
    while (!PlatformThreadsStopping(adapter)) {
        (void)PlatformWaitEvent(&adapter->MlmeThread.WakeEvent, 0);
        if (PlatformThreadsStopping(adapter)) {
            break;
        }
        (void)MlmeHandler(adapter);
    }
}

NTSTATUS MlmeHandler(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return NOT_BUILT_YET();
}

NTSTATUS MlmeRestartStateMachine(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS MlmePortFreeTimer(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

UCHAR RandomOctetGet(PMP_ADAPTER adapter)
{
    constexpr ULONG kFeedback = 0xC000002Bu;
    if (adapter->RandomSeed == 0) {
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        adapter->RandomSeed = static_cast<ULONG>(now.QuadPart);
    }
    UCHAR result = 0;
    for (int step = 0; step < 8; ++step) {
        ULONG state = adapter->RandomSeed;
        ULONG bit = state & 1u;
        state >>= 1;
        if (bit != 0) {
            state ^= kFeedback;
        }
        adapter->RandomSeed = state;
        result = static_cast<UCHAR>((result << 1) | bit);
    }
    return result;
}

NTSTATUS MlmeInit(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    // The bring-up goes on only when the MLME core is up: until the core exists it has nothing to
    // create and answers 0.
    (void)NOT_BUILT_YET();
    return STATUS_SUCCESS;
}

void MlmeHalt(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
}

void MlmeQueueInit(PMLME_QUEUE queue)
{
    UNREFERENCED_PARAMETER(queue);
    (void)NOT_BUILT_YET();
}

NTSTATUS MlmeUpdateKeepFullPwrToFw(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS MlmeUpdateEnablePcieSwitchToFw(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS MlmeUpdateEnableRekeyOffloadToFw(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS MlmeUpdateEdccaDetectEnableToFw(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS MlmeUpdateFwlogSramEvtBlcok(PMP_ADAPTER adapter, PMP_PORT port, UCHAR value)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(value);
    return NOT_BUILT_YET();
}

NTSTATUS MlmeUpdateFwlogDropFront(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS MlmeUpdateFwlogSemaEn(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}
