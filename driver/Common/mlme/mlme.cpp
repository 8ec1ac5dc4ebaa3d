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
