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

// ================================================================================================
// bandwidth limits and conversions
// ================================================================================================
namespace {

UCHAR Lower(ULONG a, ULONG b) { return static_cast<UCHAR>(a < b ? a : b); }

BOOLEAN IsWifiDirectPort(const MP_PORT* port)
{
    return static_cast<BOOLEAN>(port != nullptr &&
                                (port->PortType == WFD_DEVICE || port->PortType == WFD_GO || port->PortType == WFD_CLIENT));
}

}  // namespace

UCHAR cnmGetMaxBwByBand(PMP_ADAPTER adapter, PMP_PORT port, ULONG band)
{
    const ULONG m = adapter->HalInfo.MaxBandwidth;
    const REGISTRY_BLOCK& reg = adapter->RegistryBlock;
    switch (band) {
    case RLM_BAND_24G:
        return Lower(m, reg.Config_11AX & 0x1);
    case RLM_BAND_5G:
        if (IsWifiDirectPort(port)) {
            return Lower(m, reg.P2P_GO_Band);
        }
        return Lower(m, (reg.Config_11AX >> 1) & 0x7);
    case RLM_BAND_6G: {
        const ULONG setting = (reg.Config_6G >> 1) & 0x7;
        if ((port != nullptr && port->Rlm.Eht.Enabled) || m < MAX_BW_8080) {
            return Lower(m, setting);
        }
        // Without EHT the 6 GHz band stops at 160 MHz.
        return static_cast<UCHAR>(setting >= MAX_BW_160 ? MAX_BW_160 : setting);
    }
    default:
        return MAX_BW_160;
    }
}

UCHAR cnmMapBwToChannelWidth(UCHAR bandwidth)
{
    switch (bandwidth) {
    case MAX_BW_20:
    case MAX_BW_40:
        return CW_20_40;
    case MAX_BW_80:
        return CW_80;
    case MAX_BW_160:
        return CW_160;
    case MAX_BW_8080:
        return CW_8080;
    case MAX_BW_320:
        return CW_320;
    default:
        return CW_80;
    }
}

UCHAR cnmMapChannelWidthToBw(UCHAR channelWidth, ULONG secondaryOffset)
{
    switch (channelWidth) {
    case CW_20_40:
        return (secondaryOffset == 1 || secondaryOffset == 3) ? MAX_BW_40 : MAX_BW_20;
    case CW_80:
        return MAX_BW_80;
    case CW_160:
        return MAX_BW_160;
    case CW_8080:
        return MAX_BW_8080;
    case CW_320:
        return MAX_BW_320;
    default:
        return MAX_BW_20;
    }
}

PBSS_INDEX_SLOT cnmInitAndGetBssIndexForPort(PMP_ADAPTER adapter, PMP_PORT port, UCHAR activate, UCHAR deviceFlag)
{
    UNREFERENCED_PARAMETER(adapter);
    UNREFERENCED_PARAMETER(port);
    UNREFERENCED_PARAMETER(activate);
    UNREFERENCED_PARAMETER(deviceFlag);
    (void)NOT_BUILT_YET();
    return nullptr;
}
