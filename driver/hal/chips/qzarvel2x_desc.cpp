// The second generation's transmit and receive descriptors.
#include "Common/cnm.h"
#include "hal/chips/qzarvel2x.h"
#include "hal/common/hal_desc.h"
#include "hal/common/phy_cfg.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr USHORT kCountryUs = 0x5355;  // "US", first letter in the low byte
constexpr ULONG kBand6G = 3;

// The hardware queue: while a second channel is in use, the frames of a Wi-Fi Direct group owner
// or client go to queue 4 and every other frame to queue 1; otherwise group-addressed data of a
// group owner goes to queue 1.
ULONG QueueOf(PMP_ADAPTER adapter, const TX_FRAME_INFO* info)
{
    const ULONG portType = info->Port != nullptr ? info->Port->PortType : 0;
    const BOOLEAN wfdGroup = static_cast<BOOLEAN>(portType == WFD_GO || portType == WFD_CLIENT);
    const BOOLEAN data = static_cast<BOOLEAN>(info->FrameType == TX_FRAME_TYPE_DATA);
    if (adapter->MccActive != 0) {
        if (wfdGroup && info->GroupAddressed == 0) {
            if (data || adapter->HalInfo.ChipCode != 0x3503) {
                return 4;
            }
            return info->Queue;
        }
        return 1;
    }
    if (data && info->GroupAddressed != 0 && portType == WFD_GO) {
        return 1;
    }
    return info->Queue;
}

// DW7 bits 11-15, by the second nibble of the antenna-path word.
ULONG AntennaField(PMP_ADAPTER adapter, const TX_FRAME_INFO* info)
{
    switch ((adapter->AntennaPath >> 4) & 0xF) {
    case 1:
        // The PHY path value of the chip's capability answer against the transmit paths in use.
        return ((adapter->Cap.ChipTxPathMask & adapter->Cap.TxPathSetting) & 0xC) != 0 ? 1 : 0;
    case 2: {
        const BOOLEAN sixGhzUs = static_cast<BOOLEAN>(
            adapter->RegistryBlock.Ra1ss1t6g == 1 && info->Port != nullptr && info->Port->Channel.Band == kBand6G &&
            adapter->Country.RegCountryCode == kCountryUs && adapter->HalInfo.ChipCode == 0x3502);
        return sixGhzUs ? 0 : 24;
    }
    default:
        return 0;
    }
}

}  // namespace

VOID AsicArvel2xXmitWriteTxD(PMP_ADAPTER adapter, PUCHAR d, PTX_FRAME_INFO info)
{
    const BOOLEAN data = static_cast<BOOLEAN>(info->FrameType == TX_FRAME_TYPE_DATA);
    const BOOLEAN fixedRate = static_cast<BOOLEAN>(info->MgmtLayout != 0 || info->SpecialFrame != 0 || info->Eapol != 0);
    RtlZeroMemory(d, TXD_SIZE);
    TxdSetField(d, 0, 0, 15, info->Length + TXD_SIZE);
    TxdSetField(d, 0, 24, 24, data ? 0 : 1);
    TxdSetField(d, 0, 25, 31, QueueOf(adapter, info));
    TxdSetField(d, 1, 0, 9, info->WlanIndex);
    TxdSetField(d, 1, 11, 15, info->HeaderLength / 2u);
    TxdSetField(d, 1, 16, 17, 2);
    TxdSetField(d, 1, 18, 18, info->HeaderPadding != 0 ? 1 : 0);
    TxdSetField(d, 1, 20, 22, info->Tid);
    TxdSetField(d, 1, 24, 29, info->OwnMacIndex);
    TxdSetField(d, 1, 31, 31, 1);
    TxdWriteFrameKind(d, info);
    TxdSetField(d, 3, 11, 15, info->Queue == 7 ? 7 : 30);
    TxdPacketIdOrAggregation(d, info, FALSE, TXD_BIT{7, 10}, TXD_BIT{5, 10});
    if (fixedRate) {
        TxdSetField(d, 2, 30, 30, 0);
        TxdSetField(d, 2, 31, 31, 1);
        TxdSetField(d, 3, 28, 28, data ? 0 : 1);
        TxdSetField(d, 6, 16, 21, 0x0B);
        TxdSetField(d, 6, 22, 25, 1);
        TxdSetField(d, 7, 10, 10, 0);
    }
    TxdSetField(d, 7, 11, 15, AntennaField(adapter, info));
    PMP_PORT fixed = TxdFixedRatePort(adapter);
    if (fixed != nullptr) {
        static constexpr TXD_RATE_FIELDS kArvel2xRate = {{22, 25}, {16, 21}, {0, 2}, {14, 15}, {29, 29}, {26, 28}, {11, 11}};
        TxdSetField(d, 2, 30, 30, 0);
        TxdSetField(d, 2, 31, 31, 1);
        TxdWriteFixedRate(adapter, d, &fixed->FixedRatePhyCfg, &kArvel2xRate);
    }
}

BOOLEAN Qz3501RxdMacHdrParser(PMP_ADAPTER adapter, PRX_DMAQ_DESC record)
{
    return HalRxdParse(adapter, record, DESC_GEN_ARVEL2X);
}
