// Chip 3501.
#include "platform/ndiscommon/trace.h"
#include "hal/chips/qz3501.h"

#include "platform/ndiscommon/adapter.h"
#include "hal/common/fwdownload.h"
#include "hal/common/hal_remap.h"
#include "hal/chips/qzarvel2x.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/ndiscommonhif.h"

// ---- bring-up -------------------------------------------------------------------------------
NTSTATUS QZ3501PreFirmwareDownloadInit(PMP_ADAPTER adapter)
{
    if (adapter->RegistryBlock.RomVer == 0) {
        // The image names follow the revision the chip reported; the rest of the descriptor is the
        // chip's own again.
        CHIP_HAL_INFO info;
        QZ3501ChipInfoInit(&info);
        QZ3501FwBinSelect(&info, adapter->HwIdentity, adapter->RomVersion);
        HalChipInfoRefresh(&adapter->HalInfo, &info);
    }
    return HalFwPreDownloadWaitRom(adapter, AsicArvel2xGetFwSyncValue, FW_DL_ROM_READY_READS);
}

NTSTATUS QZ3501QueryHwVersion(PMP_ADAPTER adapter)
{
    return HalQueryHwVersionThroughWindow(adapter, &kArvel2xVersionWindow);
}

VOID QZ3501QueryRomVersion(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

ULONG QZ3501CeckConnsysStatus(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
    return 0;
}

// ---- rings ----------------------------------------------------------------------------------
VOID QZ3501InitTxRxRing(PPCI_HIF_CONTEXT hif)
{
    static const UCHAR kRxHw[3] = {2, 0, 4};
    static const UCHAR kRxHwQz3503[3] = {2, 0, 1};
    AsicWfdmaProgramRings(hif, hif->Adapter->HalInfo.ChipCode == 0x3503 ? kRxHwQz3503 : kRxHw, FALSE);
}

// ---- DMA scheduler --------------------------------------------------------------------------
VOID qz3501HalDmashdlInit(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

// ---- dumps ----------------------------------------------------------------------------------
VOID qz3501_show_wfdma_info(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID qz3501_show_ple_info(PMP_ADAPTER adapter, UCHAR dumpHeadDescriptors)
{
    (void)NOT_BUILT_YET();
}

VOID qz3501_show_pse_info(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID qz3501_show_rx_ring_info(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    (void)NOT_BUILT_YET();
}

BOOLEAN qz3501_show_debug_sop_info(PMP_ADAPTER adapter, UCHAR mode)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}

// ---- chip selection ---------------------------------------------------------------------------
VOID QZ3501FwBinSelect(PCHIP_HAL_INFO info, ULONG hwIdentity, ULONG romVersion)
{
    if ((hwIdentity & QZ3501_HW_IDENTITY_1A) != 0) {
        info->RamCodeFileName = "WIFI_RAM_CODE_QZ3501_1a.bin";
        if (romVersion == 1) {
            info->RomPatchFileName = "WIFI_QZ3501_patch_mcu_1a_2_hdr.bin";
            info->BtPatchFileName = "BT_RAM_CODE_QZ3501_1a_2_hdr.bin";
        }
        return;
    }
    info->RamCodeFileName = "WIFI_RAM_CODE_QZ3501_1.bin";
    if (romVersion == 0) {
        info->RomPatchFileName = "WIFI_QZ3501_patch_mcu_1_1_hdr.bin";
        info->BtPatchFileName = "BT_RAM_CODE_QZ3501_1_1_hdr.bin";
    } else if (romVersion == 1) {
        info->RomPatchFileName = "WIFI_QZ3501_patch_mcu_1_2_hdr.bin";
        info->BtPatchFileName = "BT_RAM_CODE_QZ3501_1_2_hdr.bin";
    }
}

VOID QZ3501ChipInfoInit(PCHIP_HAL_INFO info)
{
    HalChipInfoInit(info, 0x3501, ARVEL2X_HIF_RING_DOWNLOAD, QZ3501_HIF_RING_COMMAND);
    info->RamCodeFileName = "WIFI_RAM_CODE_QZ3501_1.bin";
    info->RomPatchFileName = "WIFI_QZ3501_patch_mcu_1_1_hdr.bin";
    info->EepromFileName = "EEPROM_QZ3501_1.bin";
    info->BtPatchFileName = "BT_RAM_CODE_QZ3501_1_1_hdr.bin";
    info->SkuFileName1 = "qzlwl1.dat";
    info->SkuFileName2 = "qzlwl1_2.dat";
    info->SkuCmdVersion = 8;
    info->MaxBandwidth = 2;
    info->L1ssCapReg = 0x740303C4;
    info->HwDelayIntValue = 0x4F;
    info->CapWord = 0x1F37;
    info->CapBits = 0xF;
    // At selection the chip has not been asked for its revision yet: the adapter holds identity 0
    // and ROM version 0. The pre-download step chooses again once the versions are known.
    QZ3501FwBinSelect(info, 0, 0);
}

VOID QZ3501ChipInit(PMP_ADAPTER adapter)
{
    QZ3501ChipInfoInit(&adapter->HalInfo);
    QZ3501ChipOpsInit(&adapter->HalOps);
    HalChipFinishInit(adapter);
}

VOID QZ3501ChipOpsInit(PCHIP_HAL_OPS ops)
{
    AsicArvel2xChipOpsInit(ops);
    ops->PreFirmwareDownloadInit = QZ3501PreFirmwareDownloadInit;
    ops->LoadBtRomPatch = AsicArvel2xLoadBtRomPatch;
    ops->DumpPPDebugCr = qz3501_show_wfdma_info;
    ops->ShowPleInfo = qz3501_show_ple_info;
    ops->ShowPseInfo = qz3501_show_pse_info;
    ops->DmashdlInit = qz3501HalDmashdlInit;
    ops->ShowDebugSopInfo = qz3501_show_debug_sop_info;
    ops->BusAddrRemap = QZ3501BusAddrRemap;
    ops->CheckConnsysStatus = QZ3501CeckConnsysStatus;
    ops->RegAccessTraceHook = QZ3501RegAccessTraceHook;
}

// ---- SER ------------------------------------------------------------------------------------
VOID qz3501DumpSerDummyCR(PMP_ADAPTER adapter)
{
    for (ULONG reg = 0x400E00; reg <= 0x400E24; reg += 4) {
        ULONG value = 0;
        (void)HifIoRead32(adapter, reg, &value);
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "SER register 0x%06X = 0x%08X", static_cast<unsigned>(reg),
                 static_cast<unsigned>(value));
    }
}
