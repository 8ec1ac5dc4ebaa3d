// Chip 3503.
#include "platform/ndiscommon/trace.h"
#include "hal/chips/qz3503.h"

#include "platform/ndiscommon/adapter.h"
#include "hal/common/fwdownload.h"
#include "hal/common/hal_remap.h"
#include "hal/chips/qzarvel2x.h"
#include "hal/chips/qz3501.h"

// ---- bring-up -------------------------------------------------------------------------------
NTSTATUS QZ3503PreFirmwareDownloadInit(PMP_ADAPTER adapter)
{
    if (adapter->RegistryBlock.RomVer == 0) {
        CHIP_HAL_INFO info;
        QZ3503ChipInfoInit(&info);
        HalChipInfoRefresh(&adapter->HalInfo, &info);
    }
    return HalFwPreDownloadWaitRom(adapter, AsicArvel2xGetFwSyncValue, QZ3503_ROM_READY_READS);
}

NTSTATUS QZ3503QueryHwVersion(PMP_ADAPTER adapter)
{
    return HalQueryHwVersionThroughWindow(adapter, &kArvel2xVersionWindow);
}

// ---- DMA scheduler --------------------------------------------------------------------------
VOID qz3503HalDmashdlInit(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

// ---- dumps ----------------------------------------------------------------------------------
VOID qz3503_show_wfdma_info(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

BOOLEAN qz3503_show_debug_sop_info(PMP_ADAPTER adapter, UCHAR mode)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}

// ---- chip selection ---------------------------------------------------------------------------
VOID QZ3503ChipInfoInit(PCHIP_HAL_INFO info)
{
    HalChipInfoInit(info, 0x3503, ARVEL2X_HIF_RING_DOWNLOAD, QZ3503_HIF_RING_COMMAND);
    info->RamCodeFileName = "WIFI_RAM_CODE_QZ3503_1.bin";
    info->RomPatchFileName = "WIFI_QZ3503_patch_mcu_1_1_hdr.bin";
    info->EepromFileName = "EEPROM_QZ3503_1.bin";
    info->SkuFileName1 = "qzlwl3.dat";
    info->SkuFileName2 = "qzlwl3_2.dat";
    info->SkuCmdVersion = 8;
    info->MaxBandwidth = 3;
    info->PcieGenSwitchCapable = 1;
    info->L1ssCapReg = 0x74030D04;
    info->HwDelayIntValue = 0x13;
    info->CapWord = 0x1F37;
    info->CapBits = 0xF;
}

VOID QZ3503ChipInit(PMP_ADAPTER adapter)
{
    QZ3503ChipInfoInit(&adapter->HalInfo);
    QZ3503ChipOpsInit(&adapter->HalOps);
    HalChipFinishInit(adapter);
}

VOID QZ3503ChipOpsInit(PCHIP_HAL_OPS ops)
{
    AsicArvel2xChipOpsInit(ops);
    ops->PreFirmwareDownloadInit = QZ3503PreFirmwareDownloadInit;
    ops->DumpPPDebugCr = qz3503_show_wfdma_info;
    ops->ShowPleInfo = qz3501_show_ple_info;
    ops->ShowPseInfo = qz3501_show_pse_info;
    ops->DmashdlInit = qz3503HalDmashdlInit;
    ops->ShowDebugSopInfo = qz3503_show_debug_sop_info;
    ops->BusAddrRemap = QZ3503BusAddrRemap;
    ops->RegAccessTraceHook = QZ3503RegAccessTraceHook;
    ops->PcieGenSwitch = AsicArvel2xPcieGenSwitch;
}
