// The third generation's transmit and receive descriptors.
#include "Common/cnm.h"
#include "Common/mlme/mlmesync.h"
#include "hal/chips/qzarvel3x.h"
#include "hal/common/hal_desc.h"
#include "hal/common/phy_cfg.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kProbeResponse = 5;
constexpr UCHAR kProbeResponseWlanIndex = 0x13;
constexpr ULONG kWfdDeviceQueue = 0x11;
constexpr UCHAR kNoBand = 0xFF;
constexpr ULONG kBand24G = 1;

BOOLEAN IsProbeResponse(const TX_FRAME_INFO* info)
{
    return static_cast<BOOLEAN>(info->FrameType == TX_FRAME_TYPE_MGMT && info->FrameSubtype == kProbeResponse);
}

// DW1 bits 12-13.
ULONG BandIndex(PMP_ADAPTER adapter, const TX_FRAME_INFO* info, PBSS_INDEX_SLOT slot)
{
    PMP_PORT port = info->Port;
    const BOOLEAN wfdDevice = static_cast<BOOLEAN>(port != nullptr && port->PortType == WFD_DEVICE);
    if (adapter->HalInfo.ChipCode == 0x3601) {
        // A port without a BSS slot has no band index of its own: 0.
        UCHAR band = slot != nullptr ? slot->BandIndex : 0;
        if (wfdDevice && slot != nullptr && band == kNoBand) {
            PMP_PORT go = MlmeSyncGetPortByType(adapter, WFD_GO);
            PBSS_INDEX_SLOT goSlot = go != nullptr ? GetBssIndexSlotByPort(adapter, go) : nullptr;
            if (goSlot != nullptr) {
                band = goSlot->BandIndex;
            }
        }
        return band;
    }
    // The adapter's current band is port 0's.
    PMP_PORT source = wfdDevice ? adapter->PortList[0] : port;
    const ULONG band = source != nullptr ? source->Channel.Band : kBand24G;
    return band == kBand24G ? 0 : 1;
}

// The power-saving bit: DW2 bit 9 on chip 3602 (ids 0x3602, 0x3603, 0x0C04), DW7 bit 13 on 3601.
void SetPowerSavingBit(PMP_ADAPTER adapter, PUCHAR d)
{
    if (adapter->HalInfo.ChipCode == 0x3602) {
        TxdSetField(d, 2, 9, 9, 1);
    } else {
        TxdSetField(d, 7, 13, 13, 1);
    }
}

}  // namespace

VOID AsicArvel3xXmitWriteTxD(PMP_ADAPTER adapter, PUCHAR d, PTX_FRAME_INFO info)
{
    const REGISTRY_BLOCK& reg = adapter->RegistryBlock;
    const BOOLEAN data = static_cast<BOOLEAN>(info->FrameType == TX_FRAME_TYPE_DATA);
    const BOOLEAN icmpFixed = static_cast<BOOLEAN>(info->IcmpEcho != 0 && reg.IcmpFixRate != 0);
    const BOOLEAN fixedRate =
        static_cast<BOOLEAN>(info->MgmtLayout != 0 || info->SpecialFrame != 0 || info->Eapol != 0 || icmpFixed);
    PMP_PORT port = info->Port;
    const ULONG portType = port != nullptr ? port->PortType : 0;
    PBSS_INDEX_SLOT slot = port != nullptr ? GetBssIndexSlotByPort(adapter, port) : nullptr;
    PMP_PORT fixed = TxdFixedRatePort(adapter);

    RtlZeroMemory(d, TXD_SIZE);
    TxdSetField(d, 0, 0, 15, info->Length + TXD_SIZE);
    TxdSetField(d, 0, 24, 24, data ? 0 : 1);
    TxdSetField(d, 0, 25, 31, portType == WFD_DEVICE ? kWfdDeviceQueue : info->Queue);
    const UCHAR wlan = IsProbeResponse(info) && info->WlanIndex == 0 ? kProbeResponseWlanIndex : info->WlanIndex;
    TxdSetField(d, 1, 0, 11, wlan);
    TxdSetField(d, 1, 14, 15, 2);
    TxdSetField(d, 1, 16, 20, info->HeaderLength / 2u);
    if (info->MgmtLayout == 0) {
        TxdSetField(d, 1, 21, 24, info->Tid);
    }
    if (slot != nullptr) {
        TxdSetField(d, 1, 25, 30, info->OwnMacIndex);
    }
    TxdSetField(d, 2, 0, 3, info->FrameSubtype);
    TxdSetField(d, 2, 4, 5, info->FrameType);
    TxdSetField(d, 2, 10, 11, info->HeaderPadding != 0 ? 1 : 0);
    if (info->GroupAddressed != 0) {
        TxdSetField(d, 3, 0, 0, 1);
        TxdSetField(d, 3, 4, 4, 1);
    }
    TxdSetField(d, 3, 1, 1, info->Protection != 0 ? 1 : 0);
    TxdSetField(d, 3, 11, 15, IsProbeResponse(info) ? 2 : (info->Queue == 7 ? 7 : 30));
    TxdPacketIdOrAggregation(d, info, TRUE, TXD_BIT{3, 5}, TXD_BIT{5, 10});
    TxdSetField(d, 6, 2, 2, info->GroupAddressed == 0 ? 1 : 0);
    TxdSetField(d, 6, 3, 3, info->FrameType == TX_FRAME_TYPE_MGMT ? 1 : 0);
    TxdSetField(d, 6, 4, 9, 1);
    if (fixedRate) {
        TxdSetField(d, 1, 31, 31, 1);
        TxdSetField(d, 3, 5, 5, 0);
        TxdSetField(d, 3, 28, 28, 1);
        TxdSetField(d, 6, 16, 21, 1);
        TxdSetField(d, 6, 22, 25, 8);
    }
    TxdSetField(d, 1, 12, 13, BandIndex(adapter, info, slot));
    // Frames that must get through quickly while the chip saves power.
    const BOOLEAN powerSaving = static_cast<BOOLEAN>(reg.BatteryLifeImprove != 0 && adapter->LowPower.LowPowerMode != 0);
    const BOOLEAN urgent = static_cast<BOOLEAN>(info->SpecialFrame != 0 || info->Eapol != 0 ||
                                                (info->IcmpEcho != 0 && reg.IcmpFixRate != 0 && (reg.SigmaEn & 1) == 0));
    if (powerSaving && urgent && portType != WFD_GO && portType != WFD_CLIENT) {
        SetPowerSavingBit(adapter, d);
    }
    if (fixed != nullptr) {
        TxdSetField(d, 1, 31, 31, 1);
        TxdSetField(d, 6, 16, 25, 0);
        TxdSetField(d, 6, 22, 25, READ_PHY_CFG_BW(adapter, &fixed->FixedRatePhyCfg));
        if (powerSaving) {
            SetPowerSavingBit(adapter, d);
        }
    }
}

BOOLEAN AsicArvel3xRxdMacHdrParser(PMP_ADAPTER adapter, PRX_DMAQ_DESC record)
{
    return HalRxdParse(adapter, record, DESC_GEN_ARVEL3X);
}
