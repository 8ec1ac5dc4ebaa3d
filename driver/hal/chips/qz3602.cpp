// Chip 3602.
#include "platform/ndiscommon/trace.h"
#include "hal/chips/qz3602.h"

#include "platform/ndiscommon/adapter.h"
#include "hal/common/fwdownload.h"
#include "hal/common/hal_remap.h"
#include "hal/chips/qzarvel2x.h"
#include "hal/chips/qzarvel3x.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "hal/chips/dbg_sop_qz3602.h"

// ---- bring-up -------------------------------------------------------------------------------
NTSTATUS QZ3602PreFirmwareDownloadInit(PMP_ADAPTER adapter)
{
    if (adapter->RegistryBlock.RomVer == 0) {
        CHIP_HAL_INFO info;
        QZ3602ChipInfoInit(&info);
        HalChipInfoRefresh(&adapter->HalInfo, &info);
    }
    return HalFwPreDownloadWaitRom(adapter, AsicArvel3xGetFwSyncValue, FW_DL_ROM_READY_READS);
}

NTSTATUS QZ3602QueryHwVersion(PMP_ADAPTER adapter)
{
    return HalQueryHwVersionThroughWindow(adapter, &kQz3602VersionWindow);
}

// ---- DMA engine and rings -------------------------------------------------------------------
VOID QZ3602InitTxRxRing(PPCI_HIF_CONTEXT hif)
{
    static const UCHAR kRxHw[3] = {4, 6, 7};
    AsicWfdmaProgramRings(hif, kRxHw, TRUE);
}

VOID QZ3602WpdmaConfig(PMP_ADAPTER adapter, BOOLEAN enable) { AsicArvel3xWpdmaConfigCommon(adapter, enable, 0x5); }

VOID QZ3602WfdmaPrefetchReset(PMP_ADAPTER adapter)
{
    static const ULONG kRegisters[] = {0x7C024690, 0x7C024694, 0x7C024698, 0x7C02469C, 0x7C024600,
                                       0x7C024604, 0x7C024608, 0x7C02460C, 0x7C024620, 0x7C024624,
                                       0x7C024628, 0x7C02462C, 0x7C02463C, 0x7C024640};
    ULONG value = 0;
    (void)HifIoRead32(adapter, ARVEL_WFDMA_GLO_CFG, &value);
    (void)HifIoWrite32(adapter, ARVEL_WFDMA_GLO_CFG, value & ~0x8000u);
    ULONG prefetch = 0x00000004;
    for (ULONG reg : kRegisters) {
        (void)HifIoWrite32(adapter, reg, prefetch);
        prefetch += 0x00400000;
    }
    (void)HifIoWrite32(adapter, ARVEL_WFDMA_TX_PTR_RESET, 0xFFFFFFFF);
    (void)HifIoWrite32(adapter, ARVEL_WFDMA_RX_PTR_RESET, 0xFFFFFFFF);
}

VOID QZ3602HalDmashdlInit(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

// ---- interrupts and host communication ------------------------------------------------------
VOID QZ3602ConfigIntMask(PMP_ADAPTER adapter, BOOLEAN enable)
{
    (void)HifIoWrite32(adapter, enable ? ARVEL_HOST_INT_ENABLE_SET : ARVEL_HOST_INT_ENABLE_CLR, QZ3602_INT_ENABLE_MASK);
    ULONG mask = 0;
    (void)HifIoRead32(adapter, ARVEL_HOST_INT_ENABLE, &mask);
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_HIF, "interrupt enable 0x%08X", static_cast<unsigned>(mask));
    ULONG mac = 0;
    (void)HifIoRead32(adapter, ARVEL_MAC_INT_ENABLE, &mac);
    (void)HifIoWrite32(adapter, ARVEL_MAC_INT_ENABLE, enable ? (mac | 0x10000u) : (mac & ~0x10000u));
}

NTSTATUS QZ3602PciHandleInterruptCommon(PMP_ADAPTER adapter) { return AsicArvel3xPciHandleInterruptCommon(adapter, TRUE); }

VOID qz3602_ccif_notify_utc_time_to_fw(PMP_ADAPTER adapter, ULONG seconds, ULONG microseconds)
{
    (void)NOT_BUILT_YET();
}

VOID qz3602_ccif_set_fw_log_read_pointer(PMP_ADAPTER adapter, ULONG ringIndex, ULONG readOffset)
{
    (void)NOT_BUILT_YET();
}

// ---- chip selection ---------------------------------------------------------------------------
namespace {
// The chip's 6 GHz standard-power rules: 1-93, 97-117, 121-185 and 189-233 with the action for a
// standard-power access point on each (3 refuses it).
constexpr USHORT kSpRuleKeysUs[] = {0x5553};
constexpr SP_RULE_RUN SpRun(UCHAR first, UCHAR count, ULONG action) { return SP_RULE_RUN{{131, 3, 4, first, count, 0, 0}, action}; }
constexpr SP_RULE_COUNTRY_PLAN kSpRules[] = {
    {kSpRuleKeysUs, 1, 0, nullptr, {SpRun(1, 24, 0), SpRun(97, 6, 3), SpRun(121, 17, 0), SpRun(189, 12, 3)}},
    {nullptr, 0, 0, nullptr, {}},  // a rule of no country
};

// The countries where the chip allows 802.11be (the first record that holds a country decides).
constexpr auto kEhtAllowed1 = DomainKeysText::Keys(
    "AD AT BE BG CY CZ DK EE FR FI DE GR HU IS IT IE LV LI LT LU MT NL NO PL PT RO SK SI ES SE CH MC HR US CA AU NZ GB");
constexpr auto kEhtAllowed2 = DomainKeysText::Keys("TW JP KR IN ID SG PH");
constexpr auto kEhtDenied = DomainKeysText::Keys("CN");
constexpr EHT_COUNTRY_RECORD kEhtCountries[] = {
    {kEhtAllowed1.data(), static_cast<USHORT>(kEhtAllowed1.size()), 1},
    {kEhtAllowed2.data(), static_cast<USHORT>(kEhtAllowed2.size()), 1},
    {kEhtDenied.data(), static_cast<USHORT>(kEhtDenied.size()), 0},
    {nullptr, 0, 0},
};
}  // namespace

VOID QZ3602ChipInfoInit(PCHIP_HAL_INFO info)
{
    HalChipInfoInit(info, 0x3602, ARVEL3X_HIF_RING_DOWNLOAD, ARVEL3X_HIF_RING_COMMAND);
    info->RamCodeFileName = "WIFI_RAM_CODE_QZ3602_2_1.bin";
    info->RomPatchFileName = "WIFI_QZ3602_PATCH_MCU_2_1_hdr.bin";
    info->EepromFileName = "EEPROM_QZ3602.bin";
    info->SkuFileName1 = "qzlwl3603.dat";
    info->SkuFileName2 = "qzlwl3603_2.dat";
    info->SkuFileName2Ss1t = "qzlwl3603_2_1ss1t.dat";
    info->SpRuleTable = kSpRules;
    info->EhtCountryTable = kEhtCountries;
    info->SpRuleCount = sizeof(kSpRules) / sizeof(kSpRules[0]);
    info->SkuCmdVersion = 3;
    info->LedGpioAlt1 = 53;
    info->LedGpioAlt2 = 54;
    info->MaxBandwidth = 5;
    info->PcieGenSwitchCapable = 1;
    info->L1ssCapReg = 0x74030D04;
    info->HwDelayIntValue = 0x33;
    info->IntStatusMaskLow = 0x0000F000;
    info->IntStatusMask = 0x260000F0;
    info->CapWord = 0x2CBE;
    info->CapBits = 0xF;
    info->BusRemapTable = g_Qz3602BusRemapWindows;
}

VOID QZ3602ChipInit(PMP_ADAPTER adapter)
{
    QZ3602ChipInfoInit(&adapter->HalInfo);
    QZ3602ChipOpsInit(&adapter->HalOps);
    HalChipFinishInit(adapter);
}

VOID QZ3602ChipOpsInit(PCHIP_HAL_OPS ops)
{
    AsicArvel3xChipOpsInit(ops);
    ops->PreFirmwareDownloadInit = QZ3602PreFirmwareDownloadInit;
    ops->InitTxRxRing = QZ3602InitTxRxRing;
    ops->WpdmaConfig = QZ3602WpdmaConfig;
    ops->WfdmaPrefetchReset = QZ3602WfdmaPrefetchReset;
    ops->ShowPcieWfdmaInfo = arvel3x_show_pcie_wfdma_info;
    ops->DumpPPDebugCr = arvel3xDumpPPDebugCr;
    ops->ShowPleInfo = arvel3x_show_ple_info;
    ops->ShowPseInfo = arvel3x_show_pse_info;
    ops->ConfigIntMask = QZ3602ConfigIntMask;
    ops->PciHandleInterruptCommon = QZ3602PciHandleInterruptCommon;
    ops->DmashdlInit = QZ3602HalDmashdlInit;
    ops->ShowDebugSopInfo = qz3602_show_debug_sop_info;
    ops->BusAddrRemap = QZ3602BusAddrRemap;
    ops->PcieDynamicL1 = AsicArvel2xPcieDynamicL1;
    ops->PcieAspmCtl = AsicArvel3xPcieAspmCtl;
    ops->CcifNotifyUtcTime = qz3602_ccif_notify_utc_time_to_fw;
    ops->CcifSetFwLogReadPointer = qz3602_ccif_set_fw_log_read_pointer;
}
