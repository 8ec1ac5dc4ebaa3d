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

PBSS_INDEX_SLOT cnmInitAndGetBssIndexForPort(PMP_ADAPTER adapter, PMP_PORT port, ULONG indexValue, BOOLEAN devicePort)
{
    constexpr ULONG kDeviceSlot = 4;
    constexpr ULONG kRoleSlots = 4;
    if (adapter == nullptr || port == nullptr) {
        return nullptr;
    }
    BSS_INDEX_SLOT* slots = adapter->BssIndexSlots;
    if (devicePort) {
        slots[kDeviceSlot].Port = port;
        slots[kDeviceSlot].InUse = 1;
        port->BssIndex = static_cast<UCHAR>(kDeviceSlot);
        port->OwnMacIndex = static_cast<UCHAR>(kDeviceSlot);
        port->BssIndexValue = indexValue;
        return &slots[kDeviceSlot];
    }
    // A port already bound keeps its slot.
    if (port->BssIndex <= kDeviceSlot) {
        for (ULONG k = 0; k < kRoleSlots; ++k) {
            if (slots[k].InUse && slots[k].Port != nullptr && slots[k].Port->BssIndex == port->BssIndex) {
                slots[k].Port->BssIndexValue = indexValue;
                return &slots[k];
            }
        }
    }
    // The lowest own-MAC index no bound port uses.
    ULONG ownMac = kRoleSlots;
    for (ULONG i = 0; i < kRoleSlots && ownMac == kRoleSlots; ++i) {
        bool taken = false;
        for (ULONG k = 0; k < kRoleSlots; ++k) {
            const MP_PORT* bound = slots[k].Port;
            if (slots[k].InUse && bound != nullptr && bound->BssIndex == k && bound->OwnMacIndex == i) {
                taken = true;
            }
        }
        if (!taken) {
            ownMac = i;
        }
    }
    if (ownMac == kRoleSlots) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_INIT, "no own-MAC index left for port %u", static_cast<unsigned>(port->PortNumber));
        return nullptr;
    }
    for (ULONG k = 0; k < kRoleSlots; ++k) {
        if (!slots[k].InUse) {
            slots[k].Port = port;
            slots[k].InUse = 1;
            slots[k].BandIndex = 0xFF;
            port->BssIndex = static_cast<UCHAR>(k);
            port->BssIndexValue = indexValue;
            port->OwnMacIndex = static_cast<UCHAR>(ownMac);
            return &slots[k];
        }
    }
    DBGPRINT(TRACE_LEVEL_WARNING, DBG_INIT, "no BSS slot left for port %u", static_cast<unsigned>(port->PortNumber));
    return nullptr;
}

NTSTATUS cnmFreeBssInfo(PMP_ADAPTER adapter, PBSS_INDEX_SLOT slot)
{
    UNREFERENCED_PARAMETER(adapter);
    if (slot == nullptr) {
        return STATUS_SUCCESS;
    }
    // The port reference stays until the slot is bound again.
    slot->InUse = 0;
    return STATUS_SUCCESS;
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

