// Chip selection by PCI device id.
#include "platform/ndiscommon/trace.h"
#include "hal/common/hal_chip.h"

#include "hal/chips/qz3404.h"
#include "hal/chips/qz3501.h"
#include "hal/chips/qz3502.h"
#include "hal/chips/qz3503.h"
#include "hal/chips/qz3601.h"
#include "hal/chips/qz3602.h"
#include "hal/chips/qzarvel3x.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"

// The chip-selection table: one row per PCI device id.
namespace {
constexpr ULONG kFacts3501 = CHIP_FACT_RECOVERS | CHIP_FACT_HE_6GHZ | CHIP_FACT_59G_PLATFORM;
constexpr ULONG kFacts3502 = CHIP_FACT_RECOVERS | CHIP_FACT_WIDE_160 | CHIP_FACT_PCIE_SWITCH_ON_INTEL | CHIP_FACT_HE_6GHZ |
                             CHIP_FACT_US_6G_RA_MODE;
constexpr ULONG kFacts3601 = CHIP_FACT_RECOVERS | CHIP_FACT_SKU_ENHANCE_2G5G | CHIP_FACT_TASAR | CHIP_FACT_DMA_EXTENSION | CHIP_FACT_LOG2AIR | CHIP_FACT_PCIE_SWITCH_ON_INTEL |
                             CHIP_FACT_ASSOC_MAKER_2 | CHIP_FACT_GROUP_BAND_FIRST | CHIP_FACT_HE_6GHZ | CHIP_FACT_6G_PLANS_B |
                             CHIP_FACT_59G_PLATFORM | CHIP_FACT_IOT_LAB_REGISTERS;
constexpr ULONG kFacts3602 = CHIP_FACT_RECOVERS | CHIP_FACT_TIME_BEFORE_RAM_CODE | CHIP_FACT_ASSOC_MAKER_1 | CHIP_FACT_HE_6GHZ |
                             CHIP_FACT_6G_PLANS_A;

constexpr CHIP_ID_ROW kChipIds[] = {
    {0x3501, 0x3501, CHIP_GENERATION_SECOND, 1, kFacts3501},
    {0x3504, 0x3501, CHIP_GENERATION_SECOND, 1, CHIP_FACT_NO_6GHZ | CHIP_FACT_DOMAIN_V1_ONLY},
    {0x0C01, 0x3501, CHIP_GENERATION_SECOND, 1, kFacts3501},
    {0x3502, 0x3502, CHIP_GENERATION_SECOND, 1, kFacts3502},
    {0x0C02, 0x3502, CHIP_GENERATION_SECOND, 1, kFacts3502 | CHIP_FACT_59G_PLATFORM},
    // Refused at hardware preparation; its code and facts stay for the parts that run it.
    {0x3503, 0x3503, CHIP_GENERATION_SECOND, 0,
     CHIP_FACT_RECOVERS | CHIP_FACT_OWN_THROUGHPUT | CHIP_FACT_LARGE_EVENT_RING | CHIP_FACT_HE_6GHZ | CHIP_FACT_59G_PLATFORM},
    {0x3601, 0x3601, CHIP_GENERATION_THIRD, 1, kFacts3601},
    {0x0C03, 0x3601, CHIP_GENERATION_THIRD, 1, kFacts3601},
    {0x3602, 0x3602, CHIP_GENERATION_THIRD, 1, kFacts3602},
    {0x3603, 0x3602, CHIP_GENERATION_THIRD, 1, kFacts3602},
    {0x0C04, 0x3602, CHIP_GENERATION_THIRD, 1, kFacts3602},
    {0x3404, 0x3404, CHIP_GENERATION_OLDER, 1, 0},
    // Accepted at hardware preparation, with no chip code: the descriptor and the table stay all zero.
    {0x3405, 0, CHIP_GENERATION_NONE, 1, 0},
};
}  // namespace

const CHIP_ID_ROW* HalChipIdRow(USHORT deviceId)
{
    for (const CHIP_ID_ROW& row : kChipIds) {
        if (row.DeviceId == deviceId) {
            return &row;
        }
    }
    return nullptr;
}

USHORT HalChipCodeOfDeviceId(USHORT deviceId)
{
    const CHIP_ID_ROW* row = HalChipIdRow(deviceId);
    return row != nullptr ? row->ChipCode : 0;
}

UCHAR HalDeviceGeneration(USHORT deviceId)
{
    const CHIP_ID_ROW* row = HalChipIdRow(deviceId);
    return row != nullptr ? row->Generation : static_cast<UCHAR>(CHIP_GENERATION_NONE);
}

UCHAR HalChipGeneration(USHORT chipCode)
{
    return chipCode != 0 && HalChipCodeOfDeviceId(chipCode) == chipCode ? HalDeviceGeneration(chipCode)
                                                                        : static_cast<UCHAR>(CHIP_GENERATION_NONE);
}

BOOLEAN HalDeviceIdAcceptedAtPreparation(USHORT deviceId)
{
    const CHIP_ID_ROW* row = HalChipIdRow(deviceId);
    return static_cast<BOOLEAN>(row != nullptr && row->Accepted != 0);
}

BOOLEAN HalIsThirdGeneration(USHORT deviceId)
{
    return static_cast<BOOLEAN>(HalDeviceGeneration(deviceId) == CHIP_GENERATION_THIRD);
}

BOOLEAN HalDeviceHasFact(USHORT deviceId, ULONG fact)
{
    const CHIP_ID_ROW* row = HalChipIdRow(deviceId);
    return static_cast<BOOLEAN>(row != nullptr && (row->Facts & fact) == fact);
}

BOOLEAN HalChipHasFact(USHORT chipCode, ULONG fact)
{
    return static_cast<BOOLEAN>(chipCode != 0 && HalChipCodeOfDeviceId(chipCode) == chipCode &&
                                HalDeviceHasFact(chipCode, fact));
}

VOID HalRegisterChip(PMP_ADAPTER adapter)
{
    USHORT code = HalChipCodeOfDeviceId(adapter->DeviceId);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "device id 0x%04X selects chip code 0x%04X", adapter->DeviceId, code);
    switch (code) {
    case 0x3501:
        QZ3501ChipInit(adapter);
        break;
    case 0x3502:
        QZ3502ChipInit(adapter);
        break;
    case 0x3503:
        QZ3503ChipInit(adapter);
        break;
    case 0x3601:
        QZ3601ChipInit(adapter);
        break;
    case 0x3602:
        QZ3602ChipInit(adapter);
        break;
    case 0x3404:
        QZ3404ChipInit(adapter);
        break;
    default:
        // No chip code: the descriptor and the table stay all zero, so every operation is absent.
        break;
    }
}

VOID HalChipInfoInit(PCHIP_HAL_INFO info, USHORT chipCode, UCHAR downloadRing, UCHAR commandRing)
{
    RtlZeroMemory(info, sizeof(*info));
    info->RxHeaderPad = 2;
    info->KeyLayout = 2;
    info->PhyCfgLayout = 2;
    info->ChipCode = chipCode;
    info->HifRingDownload = downloadRing;
    info->HifRingCommand = commandRing;
    info->HifRingData0 = HIF_RING_DATA0;
    info->HifRingData1 = HIF_RING_DATA1;
}

VOID HalChipInfoRefresh(PCHIP_HAL_INFO target, const CHIP_HAL_INFO* fresh)
{
    PUCHAR to = reinterpret_cast<PUCHAR>(target);
    const UCHAR* from = reinterpret_cast<const UCHAR*>(fresh);
    for (size_t i = 0; i < sizeof(*target); ++i) {
        if (to[i] != from[i]) {
            to[i] = from[i];
        }
    }
}

NTSTATUS HalQueryHwVersion(PMP_ADAPTER adapter)
{
    switch (HalChipCodeOfDeviceId(adapter->DeviceId)) {
    case 0x3501:
        return QZ3501QueryHwVersion(adapter);
    case 0x3502:
        return QZ3502QueryHwVersion(adapter);
    case 0x3503:
        return QZ3503QueryHwVersion(adapter);
    case 0x3601:
        return QZ3601QueryHwVersion(adapter);
    case 0x3602:
        return QZ3602QueryHwVersion(adapter);
    case 0x3404:
        return QZ3404QueryHwVersion(adapter);
    default:
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "no hardware-version query for device id 0x%04X", adapter->DeviceId);
        return STATUS_UNSUCCESSFUL;
    }
}

VOID HalQueryRomVersion(PMP_ADAPTER adapter)
{
    if (adapter->RegistryBlock.RomVer != 0) {
        // The configuration has already given the version ("RomVer" - 1).
        return;
    }
    switch (adapter->DeviceId) {
    case 0x3501:
    case 0x3504:
    case 0x0C01:
    case 0x3502:
    case 0x0C02:
        QZ3501QueryRomVersion(adapter);
        break;
    default:
        if (HalIsThirdGeneration(adapter->DeviceId)) {
            AsicArvel3xQueryRomVersion(adapter);
        } else {
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "device id 0x%04X: no ROM-version query", adapter->DeviceId);
        }
        break;
    }
}

VOID HalChipFinishInit(PMP_ADAPTER adapter)
{
    const CHIP_HAL_INFO& info = adapter->HalInfo;
    if (info.ChipCode != 0x3404) {
        adapter->Recovery.SerState = 0;
        adapter->Recovery.SerEventWord = 0;
        adapter->Recovery.SerEnabled = 1;
        adapter->Recovery.FwRecoveryState = 0;
        adapter->Recovery.FwRecoveryCount = 0;
    }
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    if (hif != nullptr) {
        hif->HwRingDownload = info.HifRingDownload;
        hif->HwRingCommand = info.HifRingCommand;
        hif->HwRingData0 = info.HifRingData0;
        hif->HwRingData1 = info.HifRingData1;
    }
}

NTSTATUS HalQueryHwVersionThroughWindow(PMP_ADAPTER adapter, const HAL_VERSION_WINDOW* window)
{
    ULONG saved = 0;
    ULONG version = 0;
    ULONG identity = 0;
    (void)HifIoRead32(adapter, window->WindowRegister, &saved);
    (void)HifIoWrite32(adapter, window->WindowRegister, window->WindowValue);
    (void)HifIoRead32(adapter, window->VersionOffset, &version);
    for (ULONG offset : window->TracedOffsets) {
        if (offset != 0) {
            ULONG word = 0;
            (void)HifIoRead32(adapter, offset, &word);
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "version block 0x%X: 0x%08X", static_cast<unsigned>(offset),
                     static_cast<unsigned>(word));
        }
    }
    (void)HifIoRead32(adapter, window->IdentityOffset, &identity);
    (void)HifIoWrite32(adapter, window->WindowRegister, saved);
    KeStallExecutionProcessor(100);
    adapter->HwVersion = version & 0xFFFF;
    adapter->HwIdentity = identity;
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "hardware version 0x%04X, identity 0x%08X",
             static_cast<unsigned>(adapter->HwVersion), static_cast<unsigned>(identity));
    return STATUS_SUCCESS;
}

NTSTATUS HalReservedOp6(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return STATUS_UNSUCCESSFUL;
}
