// Chip 3502.
#include "platform/ndiscommon/trace.h"
#include "hal/chips/qz3502.h"

#include "platform/ndiscommon/adapter.h"
#include "hal/common/fwdownload.h"
#include "hal/common/hal_remap.h"
#include "hal/chips/qzarvel2x.h"
#include "hal/chips/qz3501.h"

// ---- bring-up -------------------------------------------------------------------------------
NTSTATUS QZ3502PreFirmwareDownloadInit(PMP_ADAPTER adapter)
{
    if (adapter->RegistryBlock.RomVer == 0) {
        CHIP_HAL_INFO info;
        QZ3502ChipInfoInit(&info);
        HalChipInfoRefresh(&adapter->HalInfo, &info);
    }
    return HalFwPreDownloadWaitRom(adapter, AsicArvel2xGetFwSyncValue, FW_DL_ROM_READY_READS);
}

NTSTATUS QZ3502QueryHwVersion(PMP_ADAPTER adapter)
{
    return HalQueryHwVersionThroughWindow(adapter, &kArvel2xVersionWindow);
}

ULONG QZ3502CeckConnsysStatus(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
    return 0;
}

VOID QZ3502ChipInitHook(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

ULONG QZ3502PCIeFormFactor(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
    return 0;
}

// ---- dumps ----------------------------------------------------------------------------------
BOOLEAN qz3502_show_debug_sop_info(PMP_ADAPTER adapter, UCHAR mode)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}

// ---- chip selection ---------------------------------------------------------------------------
VOID QZ3502ChipInfoInit(PCHIP_HAL_INFO info)
{
    HalChipInfoInit(info, 0x3502, ARVEL2X_HIF_RING_DOWNLOAD, QZ3502_HIF_RING_COMMAND);
    info->RamCodeFileName = "WIFI_RAM_CODE_QZ3502_1.bin";
    info->RomPatchFileName = "WIFI_QZ3502_patch_mcu_1_1_hdr.bin";
    info->EepromFileName = "EEPROM_QZ3502_1.bin";
    info->SkuFileName1 = "qzlwl2.dat";
    info->SkuFileName2 = "qzlwl2_2.dat";
    info->SkuFileName1FormFactor = "qzlwl2s.dat";
    info->SkuFileName2FormFactor = "qzlwl2_2s.dat";
    info->SkuCmdVersion = 8;
    info->MaxBandwidth = 3;
    info->PcieGenSwitchCapable = 1;
    info->L1ssCapReg = 0x740303C4;
    info->HwDelayIntValue = 0x13;
    info->CapWord = 0x1F37;
    info->CapBits = 0xF;
}

VOID QZ3502ChipInit(PMP_ADAPTER adapter)
{
    QZ3502ChipInfoInit(&adapter->HalInfo);
    QZ3502ChipOpsInit(&adapter->HalOps);
    HalChipFinishInit(adapter);
}

VOID QZ3502ChipOpsInit(PCHIP_HAL_OPS ops)
{
    AsicArvel2xChipOpsInit(ops);
    ops->PreFirmwareDownloadInit = QZ3502PreFirmwareDownloadInit;
    ops->LoadBtRomPatch = AsicArvel2xLoadBtRomPatch;
    ops->ChipInitHook = QZ3502ChipInitHook;
    ops->DumpPPDebugCr = qz3501_show_wfdma_info;
    ops->ShowPleInfo = qz3501_show_ple_info;
    ops->ShowPseInfo = qz3501_show_pse_info;
    ops->DmashdlInit = qz3501HalDmashdlInit;
    ops->ShowDebugSopInfo = qz3502_show_debug_sop_info;
    ops->BusAddrRemap = QZ3502BusAddrRemap;
    ops->CheckConnsysStatus = QZ3502CeckConnsysStatus;
    ops->RegAccessTraceHook = QZ3502RegAccessTraceHook;
    ops->PcieGenSwitch = AsicArvel2xPcieGenSwitch;
    ops->PCIeFormFactor = QZ3502PCIeFormFactor;
}
