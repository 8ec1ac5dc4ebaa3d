// Third-generation chip code.
#include "platform/ndiscommon/trace.h"
#include "hal/chips/qzarvel3x.h"
#include "platform/ndiscommon/ndiscommonhif.h"

#include "hal/chips/qzarvel2x.h"
#include "platform/ndiscommon/adapter.h"

// ---- firmware download ----------------------------------------------------------------------
NTSTATUS AsicArvel3xLoadRomPatch(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

NTSTATUS AsicArvel3xLoadFirmware(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

NTSTATUS AsicArvel3xEraseFirmware(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return STATUS_NOT_SUPPORTED;
}

ULONG AsicArvel3xGetFwSyncValue(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
    return 0;
}

NTSTATUS AsicArvel3xPostFwDownloadInit(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

VOID AsicArvel3xQueryRomVersion(PMP_ADAPTER adapter)
{
    ULONG value = 0;
    (void)HifIoRead32(adapter, ARVEL3X_ROM_VERSION_REGISTER, &value);
    if (value == 0) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "ROM version register reads 0");
    }
    adapter->RomVersion = value & 0xFF;
}

// ---- recovery and reset ---------------------------------------------------------------------
NTSTATUS AsicArvel3xFwRecovery(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

NTSTATUS AsicArvel3xToggleWfsysRst(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

// ---- ownership ------------------------------------------------------------------------------
BOOLEAN AsicArvel3xIsFwReady(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}

NTSTATUS AsicArvel3xHifPciPmSetDriverOwn(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

NTSTATUS AsicArvel3xEnsureDriverOwn(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

// ---- DMA engine and rings -------------------------------------------------------------------
BOOLEAN AsicArvel3xHalWpdmaWaitIdle(PMP_ADAPTER adapter, ULONG count, ULONG delayMicroseconds)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}

NTSTATUS AsicArvel3xPciXmitStartTxRx(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

ULONG AsicArvel3xCmdTxdLength(PMP_ADAPTER adapter)
{
    return adapter->FwDownloaded == 1 ? ARVEL3X_CMD_TXD_LENGTH_RAM : ARVEL2X_CMD_TXD_LENGTH;
}

// ---- interrupts -----------------------------------------------------------------------------
VOID AsicArvel3xDisableInterrupt(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xEnableInterrupt(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xPciHandleInterrupt(WDFINTERRUPT interrupt, WDFOBJECT associatedObject)
{
    (void)NOT_BUILT_YET();
}

BOOLEAN AsicArvel3xPciMsr(WDFINTERRUPT interrupt, ULONG messageId)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}

ULONG AsicArvel3xCcifGetStatus(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
    return 0;
}

ULONG AsicArvel3xReadCcifStatusReg(PMP_ADAPTER adapter, ULONG which)
{
    (void)NOT_BUILT_YET();
    return 0;
}

// ---- receive dispatch and statistics events -------------------------------------------------
VOID AsicArvel3xRecvProcessIcsLog(PMP_ADAPTER adapter, ULONG portIndex, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xPciProcessRxSnifferPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xPciProcessRxSwDefinedPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xPciProcessRxPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xProcessStaStatistics(PMP_ADAPTER adapter, PUCHAR event)
{
    (void)NOT_BUILT_YET();
}

// ---- transmit descriptor --------------------------------------------------------------------
VOID AsicArvel3xXmitWriteTxD(PMP_ADAPTER adapter, PUCHAR descriptor, PTX_FRAME_INFO info)
{
    (void)NOT_BUILT_YET();
}

// ---- PCI Express low power and power-up set-up ----------------------------------------------
VOID AsicArvel3xPcieCfgSpaceLowPower(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xLowPowerEnableInit(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xPcieLTRValue(PMP_ADAPTER adapter, ULONG mode, BOOLEAN alreadyOwn)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xPcieAspmCtl(PMP_ADAPTER adapter, ULONG mode)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xAutoDetectL1ssCap(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel3xD0EntryRegSetup(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

// ---- operations table ---------------------------------------------------------------------------
VOID AsicArvel3xChipOpsInit(PCHIP_HAL_OPS ops)
{
    RtlZeroMemory(ops, sizeof(*ops));
    ops->LoadRomPatch = AsicArvel3xLoadRomPatch;
    ops->LoadFirmware = AsicArvel3xLoadFirmware;
    ops->EraseFirmware = AsicArvel3xEraseFirmware;
    ops->CmdSendMsg = NdisCommonHifCmdSendMsg;
    ops->PostFwDownloadInit = AsicArvel3xPostFwDownloadInit;
    ops->FwRecovery = AsicArvel3xFwRecovery;
    ops->ToggleWfsysRst = AsicArvel3xToggleWfsysRst;
    ops->IsFwReady = AsicArvel3xIsFwReady;
    ops->HalWpdmaWaitIdle = AsicArvel3xHalWpdmaWaitIdle;
    ops->WpdmaTxRxDmaCtl = AsicArvel2xWpdmaTxRxDmaCtl;
    ops->DisableInterrupt = AsicArvel3xDisableInterrupt;
    ops->EnableInterrupt = AsicArvel3xEnableInterrupt;
    ops->PciHandleInterrupt = AsicArvel3xPciHandleInterrupt;
    ops->PciMsr = AsicArvel3xPciMsr;
    ops->RecvProcessIcsLog = AsicArvel3xRecvProcessIcsLog;
    ops->PciProcessRxSwDefinedPacket = AsicArvel3xPciProcessRxSwDefinedPacket;
    ops->PciProcessRxPacket = AsicArvel3xPciProcessRxPacket;
    ops->CmdTxdLength = AsicArvel3xCmdTxdLength;
    ops->XmitWriteTxD = AsicArvel3xXmitWriteTxD;
    ops->ProcessStaStatistics = AsicArvel3xProcessStaStatistics;
    ops->GetFwSyncValue = AsicArvel3xGetFwSyncValue;
    ops->HifPciPmSetDriverOwn = AsicArvel3xHifPciPmSetDriverOwn;
    ops->EnsureDriverOwn = AsicArvel3xEnsureDriverOwn;
    ops->PciXmitStartTxRx = AsicArvel3xPciXmitStartTxRx;
    ops->SetFwOwn = AsicSetFwOwn;
    ops->GetOwnStatus = AsicGetOwnStatus;
    ops->RequestDriverOwn = AsicRequestDriverOwn;
    ops->PcieCfgSpaceLowPower = AsicArvel3xPcieCfgSpaceLowPower;
    ops->PcieMacL1ssEnable = AsicPcieMacL1ssEnable;
    ops->LowPowerEnableInit = AsicArvel3xLowPowerEnableInit;
    ops->PcieLTRValue = AsicArvel3xPcieLTRValue;
    ops->AutoDetectL1ssCap = AsicArvel3xAutoDetectL1ssCap;
    ops->CcifGetStatus = AsicArvel3xCcifGetStatus;
    ops->ReadCcifStatusReg = AsicArvel3xReadCcifStatusReg;
    ops->D0EntryRegSetup = AsicArvel3xD0EntryRegSetup;
}
