// Chip 3601.
#include "platform/ndiscommon/trace.h"
#include "hal/chips/qz3601.h"

#include "platform/ndiscommon/adapter.h"
#include "hal/common/fwdownload.h"
#include "hal/common/hal_remap.h"
#include "hal/chips/qzarvel2x.h"
#include "hal/chips/qzarvel3x.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "hal/chips/dbg_sop_qz3601.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"

// ---- bring-up -------------------------------------------------------------------------------
NTSTATUS QZ3601PreFirmwareDownloadInit(PMP_ADAPTER adapter)
{
    if (adapter->RegistryBlock.RomVer == 0) {
        CHIP_HAL_INFO info;
        QZ3601ChipInfoInit(&info);
        HalChipInfoRefresh(&adapter->HalInfo, &info);
    }
    return HalFwPreDownloadWaitRom(adapter, AsicArvel3xGetFwSyncValue, FW_DL_ROM_READY_READS);
}

NTSTATUS QZ3601QueryHwVersion(PMP_ADAPTER adapter)
{
    return HalQueryHwVersionThroughWindow(adapter, &kQz3601VersionWindow);
}

VOID QZ3601InitHook(PMP_ADAPTER adapter)
{
    AsicSetRegBits(adapter, 0x70026A50, 0xFFF80000u, 0);
    AsicSetRegBits(adapter, 0x70026A6C, 0x1, 0);
    AsicSetRegBits(adapter, 0x7002842C, 0x2, 0);
    NdisCommonGenericDelay(1000);
    AsicSetRegBits(adapter, 0x70026A50, 0, 0xFFF80000u);
    AsicSetRegBits(adapter, 0x70026A6C, 0, 0x1);
    AsicSetRegBits(adapter, 0x7002842C, 0, 0x2);
}

// ---- DMA engine and rings -------------------------------------------------------------------
VOID QZ3601InitTxRxRing(PPCI_HIF_CONTEXT hif)
{
    static const UCHAR kRxHw[3] = {2, 0, 1};
    AsicWfdmaProgramRings(hif, kRxHw, TRUE);
}

VOID QZ3601WpdmaConfig(PMP_ADAPTER adapter, BOOLEAN enable)
{
    AsicArvel3xWpdmaConfigCommon(adapter, enable, 0x04000005);
}

VOID QZ3601WfdmaPrefetchReset(PMP_ADAPTER adapter)
{
    static const struct {
        ULONG reg;
        ULONG value;
    } kWrites[] = {
        {0x7C024680, 0x00000004}, {0x7C024684, 0x00400004}, {0x7C024688, 0x00800004}, {0x7C02468C, 0x00C00004},
        {0x7C024600, 0x01000010}, {0x7C024604, 0x02000010}, {0x7C024608, 0x03000010}, {0x7C02460C, 0x04000010},
        {0x7C02463C, 0x05000004}, {0x7C024640, 0x05400004}, {0x7C024298, 0x00000F00}, {0x7C02429C, 0x00007F00},
    };
    ULONG value = 0;
    (void)HifIoRead32(adapter, ARVEL_WFDMA_GLO_CFG, &value);
    (void)HifIoWrite32(adapter, ARVEL_WFDMA_GLO_CFG, value & ~0x8000u);
    for (const auto& w : kWrites) {
        (void)HifIoWrite32(adapter, w.reg, w.value);
    }
    (void)HifIoWrite32(adapter, ARVEL_WFDMA_TX_PTR_RESET, 0xFFFFFFFF);
    (void)HifIoWrite32(adapter, ARVEL_WFDMA_RX_PTR_RESET, 0xFFFFFFFF);
}

VOID QZ3601HalDmashdlInit(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

// ---- interrupts and host communication ------------------------------------------------------
// The enable mask covers exactly the status bits the handler serves: receive rings 0-3, the
// command ring (bit 25, whose completions would otherwise only ride on other interrupts), the
// download ring and the software interrupt; bit 27, which nothing serves or acknowledges, stays off.
VOID QZ3601ConfigIntMask(PMP_ADAPTER adapter, BOOLEAN enable)
{
    (void)HifIoWrite32(adapter, enable ? ARVEL_HOST_INT_ENABLE_SET : ARVEL_HOST_INT_ENABLE_CLR, QZ3601_INT_ENABLE_MASK);
    ULONG mask = 0;
    (void)HifIoRead32(adapter, ARVEL_HOST_INT_ENABLE, &mask);
    DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_HIF, "interrupt enable 0x%08X", static_cast<unsigned>(mask));
}

NTSTATUS QZ3601PciHandleInterruptCommon(PMP_ADAPTER adapter) { return AsicArvel3xPciHandleInterruptCommon(adapter, FALSE); }

VOID qz3601_ccif_notify_utc_time_to_fw(PMP_ADAPTER adapter, ULONG seconds, ULONG microseconds)
{
    (void)NOT_BUILT_YET();
}

VOID qz3601_ccif_set_fw_log_read_pointer(PMP_ADAPTER adapter, ULONG ringIndex, ULONG readOffset)
{
    (void)NOT_BUILT_YET();
}

// ---- power and recovery ---------------------------------------------------------------------
VOID QZ3601PcieAspmCtl(PMP_ADAPTER adapter, ULONG mode)
{
    (void)NOT_BUILT_YET();
}

namespace {
// Configuration-space registers of the 3601's connection-subsystem bus (infra) control.
constexpr ULONG kCbInfraControl = 0x494;
constexpr ULONG kCbInfraStatus = 0x488;

// The chip's 6 GHz standard-power rules: 1-93, 97-117, 121-185 and 189-233 with the action for a
// standard-power access point on each (3 refuses it).
constexpr USHORT kSpRuleKeysUs[] = {0x5553};
constexpr SP_RULE_RUN SpRun(UCHAR first, UCHAR count, ULONG action) { return SP_RULE_RUN{{131, 3, 4, first, count, 0, 0}, action}; }
constexpr USHORT kSpRuleKeysCa[] = {0x4341};
constexpr SP_RULE_COUNTRY_PLAN kSpRules[] = {
    {kSpRuleKeysUs, 1, 0, nullptr, {SpRun(1, 24, 0), SpRun(97, 6, 3), SpRun(121, 17, 0), SpRun(189, 12, 3)}},
    {kSpRuleKeysCa, 1, 0, nullptr, {SpRun(1, 24, 0), SpRun(97, 6, 0), SpRun(121, 17, 0), SpRun(189, 12, 3)}},
};

// The countries where the chip allows 802.11be (the first record that holds a country decides).
constexpr auto kEhtAllowed1 = DomainKeysText::Keys(
    "AD AT BE BG CY CZ DK EE FR FI DE GR HU IS IT IE LV LI LT LU MT MC NL NO PL PT RO SK SI ES SE CH HR AU NZ CA US GB "
    "AG AW BH BB BM VG CW DM DO FJ GD JM LA MN PE SA KN LC ZM SR DZ AM AZ BS BI KY CR GQ GN GW HN KG MG MA CG TJ TH TG "
    "AE UZ AS IO CX CC CK SV FK FO GF TF GE GP GU GT VA JE KE KI YT NC NU NF MP PN RE NL SM ST MF PM SC TR VI VA WF");
constexpr auto kEhtDenied1 = DomainKeysText::Keys("MY CL HK MX");
constexpr auto kEhtAllowed2 = DomainKeysText::Keys(
    "TW JP KR BZ KH EG GH IN ID JO KW NP OM PK SN SB ZA VC UY AO BY BJ BO BW BF CM CV CF TD KM DJ EC ET GA GM GY HT IQ "
    "IL CI LB LS LR MW ML MR MD MZ NI NE NG PA PG PY PH QA RU WS RS SL SG SO SY TZ TT TN TM UG UA VU VE YE CD ZW AF AL "
    "AI BD BT CO CU TL ER PF GI IR KZ LY MO MK MV MH MQ MU FM ME MS MM NA NR PW PR RW SS LK SD TC TV VN EH");
constexpr auto kEhtDenied2 = DomainKeysText::Keys("CN AR BR");
constexpr EHT_COUNTRY_RECORD kEhtCountries[] = {
    {kEhtAllowed1.data(), static_cast<USHORT>(kEhtAllowed1.size()), 1},
    {kEhtDenied1.data(), static_cast<USHORT>(kEhtDenied1.size()), 0},
    {kEhtAllowed2.data(), static_cast<USHORT>(kEhtAllowed2.size()), 1},
    {kEhtDenied2.data(), static_cast<USHORT>(kEhtDenied2.size()), 0},
    {nullptr, 0, 0},
};
}  // namespace

VOID QZ3601L0WholeChipReset(PMP_ADAPTER adapter)
{
    NdisCommonGenericDelay(1000000);
    const ULONG value = NdisCommonHifPciReadConfigurationSpace(adapter, kCbInfraControl);
    NdisCommonHifPciWriteConfigurationSpace(adapter, kCbInfraControl, value | 0x1);
}

BOOLEAN QZ3601CheckCbInfraStatus(PMP_ADAPTER adapter)
{
    NdisCommonHifPciWriteConfigurationSpace(adapter, kCbInfraControl, 0xC0000080);
    const ULONG status = NdisCommonHifPciReadConfigurationSpace(adapter, kCbInfraStatus);
    const BOOLEAN fault = static_cast<BOOLEAN>((status & 0x700000) != 0 || (status & 0x80000) == 0);
    if (fault) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "bus infra status 0x%08X: fault", static_cast<unsigned>(status));
    }
    const ULONG control = NdisCommonHifPciReadConfigurationSpace(adapter, kCbInfraControl);
    NdisCommonHifPciWriteConfigurationSpace(adapter, kCbInfraControl, control & 0x3FFFFF7F);
    return fault;
}

VOID QZ3601ErrorRecoveryHook(PMP_ADAPTER adapter)
{
    for (ULONG reg : {0x70026A58u, 0x70026A68u, 0x70026A64u, 0x7002842Cu, 0x70028430u, 0x70028434u}) {
        ULONG value = 0;
        (void)HifIoRead32(adapter, reg, &value);
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "recovery register 0x%08X = 0x%08X", static_cast<unsigned>(reg),
                 static_cast<unsigned>(value));
    }
}

// ---- chip selection ---------------------------------------------------------------------------
VOID QZ3601ChipInfoInit(PCHIP_HAL_INFO info)
{
    static const ULONG factoryCalIds[CHIP_FACTORY_CAL_IDS] = {100, 101, 102, 200, 208, 216};
    HalChipInfoInit(info, 0x3601, ARVEL3X_HIF_RING_DOWNLOAD, ARVEL3X_HIF_RING_COMMAND);
    info->RamCodeFileName = "WIFI_RAM_CODE_QZ3601_1_1.bin";
    info->RomPatchFileName = "WIFI_QZ3601_PATCH_MCU_1_1_hdr.bin";
    info->EepromFileName = "EEPROM_QZ3601.bin";
    info->SkuFileName1 = "qzlwl3601.dat";
    info->SkuFileName1Ss1t = "qzlwl3601_1ss1t.dat";
    info->SkuFileName2 = "qzlwl3601_2.dat";
    info->SkuFileName2Ss1t = "qzlwl3601_2_1ss1t.dat";
    info->SkuCmdVersion = 3;
    info->LedGpio = 9;
    info->MaxBandwidth = 3;
    info->PcieGenSwitchCapable = 1;
    info->L1ssCapReg = 0x74030D04;
    info->HwDelayIntValue = 0x33;
    info->IntStatusMaskLow = 0x0000000F;
    info->IntStatusMask = 0x260000F0;
    info->CapWord = 0x2CBE;
    info->CapBits = 0xF;
    info->BusRemapTable = g_Qz3601BusRemapWindows;
    for (ULONG i = 0; i < CHIP_FACTORY_CAL_IDS; ++i) {
        info->FactoryCalIds[i] = factoryCalIds[i];
    }
    info->FactoryCalIdCount = CHIP_FACTORY_CAL_IDS;
    info->SpRuleTable = kSpRules;
    info->EhtCountryTable = kEhtCountries;
    info->SpRuleCount = sizeof(kSpRules) / sizeof(kSpRules[0]);
}

VOID QZ3601ChipInit(PMP_ADAPTER adapter)
{
    QZ3601ChipInfoInit(&adapter->HalInfo);
    QZ3601ChipOpsInit(&adapter->HalOps);
    HalChipFinishInit(adapter);
}

VOID QZ3601ChipOpsInit(PCHIP_HAL_OPS ops)
{
    AsicArvel3xChipOpsInit(ops);
    ops->PreFirmwareDownloadInit = QZ3601PreFirmwareDownloadInit;
    ops->InitTxRxRing = QZ3601InitTxRxRing;
    ops->WpdmaConfig = QZ3601WpdmaConfig;
    ops->WfdmaPrefetchReset = QZ3601WfdmaPrefetchReset;
    ops->DumpPPDebugCr = arvel3xDumpPPDebugCr_qz3601;
    ops->ShowPleInfo = arvel3x_show_ple_info_qz3601;
    ops->ShowPseInfo = arvel3x_show_pse_info_qz3601;
    ops->ConfigIntMask = QZ3601ConfigIntMask;
    ops->PciHandleInterruptCommon = QZ3601PciHandleInterruptCommon;
    ops->DmashdlInit = QZ3601HalDmashdlInit;
    ops->ShowDebugSopInfo = qz3601_show_debug_sop_info;
    ops->PciProcessRxSnifferPacket = AsicArvel3xPciProcessRxSnifferPacket;
    ops->BusAddrRemap = QZ3601BusAddrRemap;
    ops->PcieAspmCtl = QZ3601PcieAspmCtl;
    ops->CcifNotifyUtcTime = qz3601_ccif_notify_utc_time_to_fw;
    ops->CcifSetFwLogReadPointer = qz3601_ccif_set_fw_log_read_pointer;
    ops->L0WholeChipReset = QZ3601L0WholeChipReset;
    ops->CheckCbInfraStatus = QZ3601CheckCbInfraStatus;
    ops->ErrorRecoveryHook = QZ3601ErrorRecoveryHook;
    ops->InitHook = QZ3601InitHook;
}
