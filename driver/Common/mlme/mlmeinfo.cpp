// Key and PHY-mode settings of a port.
#include "Common/mlme/mlmeinfo.h"

#include "platform/ndiscommon/trace.h"

NTSTATUS MlmeInfoWPARemoveAllKeys(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    return NOT_BUILT_YET();
}

NTSTATUS MlmeInfoSetPhyMode(PMP_ADAPTER adapter, PMP_PORT port, UCHAR wirelessMode, UCHAR flag)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "MlmeInfoSetPhyMode: mode %u flag %u",
             static_cast<unsigned>(wirelessMode), static_cast<unsigned>(flag));
    return NOT_BUILT_YET();
}

ULONG MlmeInfoGetRxLinkSpeed(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
    return 0;
}

ULONG MlmeInfoGetMaxLinkSpeed(PMP_ADAPTER adapter, PMP_PORT port)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
    return 0;
}

VOID UpdateBssScanParm(PMP_ADAPTER adapter, const UCHAR* parameters)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(parameters);
    (void)NOT_BUILT_YET();
}

NTSTATUS MlmeInfoAddKey(PMP_ADAPTER adapter, PMP_PORT port, const UCHAR* peer, ULONG keyIndex, ULONG cipher,
                        ULONG materialSize, const void* material, UCHAR isStatic, UCHAR pairwise)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(peer);
    UNREFERENCED_PARAMETER(keyIndex);
    UNREFERENCED_PARAMETER(cipher);
    UNREFERENCED_PARAMETER(materialSize);
    UNREFERENCED_PARAMETER(material);
    UNREFERENCED_PARAMETER(isStatic);
    UNREFERENCED_PARAMETER(pairwise);
    return NOT_BUILT_YET();
}
