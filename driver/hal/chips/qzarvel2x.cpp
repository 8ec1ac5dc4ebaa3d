// Second-generation chip code.
#include "platform/ndiscommon/trace.h"
#include "hal/chips/qzarvel2x.h"
#include "platform/ndiscommon/ndiscommonhif.h"


// ---- firmware download ----------------------------------------------------------------------
NTSTATUS AsicArvel2xLoadRomPatch(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

NTSTATUS AsicArvel2xLoadBtRomPatch(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

NTSTATUS AsicArvel2xLoadFirmware(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

NTSTATUS AsicArvel2xEraseFirmware(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return STATUS_SUCCESS;
}

ULONG AsicArvel2xGetFwSyncValue(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
    return 0;
}

NTSTATUS AsicArvel2xPostFwDownloadInit(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

// ---- recovery and reset ---------------------------------------------------------------------
NTSTATUS AsicArvel2xFwRecovery(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

NTSTATUS AsicArvel2xToggleWfsysRst(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

// ---- ownership ------------------------------------------------------------------------------
BOOLEAN AsicArvel2xIsFwReady(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}

NTSTATUS AsicArvel2xHifPciPmSetDriverOwn(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

NTSTATUS AsicArvel2xEnsureDriverOwn(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

VOID AsicSetFwOwn(PMP_ADAPTER adapter, PUCHAR done)
{
    (void)NOT_BUILT_YET();
}

VOID AsicGetOwnStatus(PMP_ADAPTER adapter, PUCHAR driverOwns)
{
    (void)NOT_BUILT_YET();
}

VOID AsicRequestDriverOwn(PMP_ADAPTER adapter, PUCHAR driverOwns)
{
    (void)NOT_BUILT_YET();
}

// ---- DMA engine and rings -------------------------------------------------------------------
BOOLEAN AsicArvel2xHalWpdmaWaitIdle(PMP_ADAPTER adapter, ULONG count, ULONG delayMicroseconds)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}

VOID AsicArvel2xWpdmaConfig(PMP_ADAPTER adapter, BOOLEAN enable)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xWpdmaTxRxDmaCtl(PMP_ADAPTER adapter, UCHAR stop)
{
    (void)NOT_BUILT_YET();
}

NTSTATUS AsicArvel2xPciXmitStartTxRx(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

ULONG AsicArvel2xCmdTxdLength(PMP_ADAPTER adapter)
{
    UNREFERENCED_PARAMETER(adapter);
    return ARVEL2X_CMD_TXD_LENGTH;
}

// ---- interrupts -----------------------------------------------------------------------------
VOID AsicArvel2xDisableInterrupt(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xEnableInterrupt(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xPciHandleInterrupt(WDFINTERRUPT interrupt, WDFOBJECT associatedObject)
{
    (void)NOT_BUILT_YET();
}

BOOLEAN AsicArvel2xPciMsr(WDFINTERRUPT interrupt, ULONG messageId)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}

// ---- receive dispatch and statistics events -------------------------------------------------
VOID AsicArvel2xRecvProcessIcsLog(PMP_ADAPTER adapter, ULONG portIndex, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xPciProcessRxSnifferPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xPciProcessRxSwDefinedPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xPciProcessRxPacket(PPCI_HIF_CONTEXT hif, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xProcessStaStatistics(PMP_ADAPTER adapter, PUCHAR event)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xProcessGetMIBInfoEvent(PMP_ADAPTER adapter, PUCHAR event)
{
    (void)NOT_BUILT_YET();
}

// ---- transmit descriptor --------------------------------------------------------------------
VOID AsicArvel2xXmitWriteTxD(PMP_ADAPTER adapter, PUCHAR descriptor, PTX_FRAME_INFO info)
{
    (void)NOT_BUILT_YET();
}

// ---- diagnostics ----------------------------------------------------------------------------
VOID AsicArvel2xShowHostCsrInfo(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

// ---- PCI Express low power ------------------------------------------------------------------
VOID AsicArvel2xPcieCfgSpaceLowPower(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID AsicPcieMacL1ssEnable(PMP_ADAPTER adapter, UCHAR enable)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xLowPowerEnableInit(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xPcieLTRValue(PMP_ADAPTER adapter, ULONG mode, BOOLEAN alreadyOwn)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xPcieDynamicL1(PMP_ADAPTER adapter, BOOLEAN work)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xPcieAspmCtl(PMP_ADAPTER adapter, ULONG mode)
{
    (void)NOT_BUILT_YET();
}

VOID AsicArvel2xAutoDetectL1ssCap(PMP_ADAPTER adapter)
{
    (void)NOT_BUILT_YET();
}

NTSTATUS AsicArvel2xPcieGenSwitch(PMP_ADAPTER adapter)
{
    return NOT_BUILT_YET();
}

// ---- operations table ---------------------------------------------------------------------------
VOID AsicArvel2xChipOpsInit(PCHIP_HAL_OPS ops)
{
    RtlZeroMemory(ops, sizeof(*ops));
    ops->LoadRomPatch = AsicArvel2xLoadRomPatch;
    ops->LoadFirmware = AsicArvel2xLoadFirmware;
    ops->EraseFirmware = AsicArvel2xEraseFirmware;
    ops->ReservedOp6 = HalReservedOp6;
    ops->SendMlmeCmdPkt = NdisCommonHifSendMlmeCmdPkt;
    ops->CmdSendMsg = NdisCommonHifCmdSendMsg;
    ops->PostFwDownloadInit = AsicArvel2xPostFwDownloadInit;
    ops->FwRecovery = AsicArvel2xFwRecovery;
    ops->ToggleWfsysRst = AsicArvel2xToggleWfsysRst;
    ops->IsFwReady = AsicArvel2xIsFwReady;
    ops->HalWpdmaWaitIdle = AsicArvel2xHalWpdmaWaitIdle;
    ops->WpdmaConfig = AsicArvel2xWpdmaConfig;
    ops->WpdmaTxRxDmaCtl = AsicArvel2xWpdmaTxRxDmaCtl;
    ops->ShowHostCsrInfo = AsicArvel2xShowHostCsrInfo;
    ops->DisableInterrupt = AsicArvel2xDisableInterrupt;
    ops->EnableInterrupt = AsicArvel2xEnableInterrupt;
    ops->PciHandleInterrupt = AsicArvel2xPciHandleInterrupt;
    ops->PciMsr = AsicArvel2xPciMsr;
    ops->RecvProcessIcsLog = AsicArvel2xRecvProcessIcsLog;
    ops->PciProcessRxSnifferPacket = AsicArvel2xPciProcessRxSnifferPacket;
    ops->PciProcessRxSwDefinedPacket = AsicArvel2xPciProcessRxSwDefinedPacket;
    ops->PciProcessRxPacket = AsicArvel2xPciProcessRxPacket;
    ops->CmdTxdLength = AsicArvel2xCmdTxdLength;
    ops->XmitWriteTxD = AsicArvel2xXmitWriteTxD;
    ops->ProcessStaStatistics = AsicArvel2xProcessStaStatistics;
    ops->ProcessGetMIBInfoEvent = AsicArvel2xProcessGetMIBInfoEvent;
    ops->GetFwSyncValue = AsicArvel2xGetFwSyncValue;
    ops->HifPciPmSetDriverOwn = AsicArvel2xHifPciPmSetDriverOwn;
    ops->EnsureDriverOwn = AsicArvel2xEnsureDriverOwn;
    ops->PciXmitStartTxRx = AsicArvel2xPciXmitStartTxRx;
    ops->SetFwOwn = AsicSetFwOwn;
    ops->GetOwnStatus = AsicGetOwnStatus;
    ops->RequestDriverOwn = AsicRequestDriverOwn;
    ops->PcieCfgSpaceLowPower = AsicArvel2xPcieCfgSpaceLowPower;
    ops->PcieMacL1ssEnable = AsicPcieMacL1ssEnable;
    ops->LowPowerEnableInit = AsicArvel2xLowPowerEnableInit;
    ops->PcieLTRValue = AsicArvel2xPcieLTRValue;
    ops->PcieDynamicL1 = AsicArvel2xPcieDynamicL1;
    ops->PcieAspmCtl = AsicArvel2xPcieAspmCtl;
    ops->AutoDetectL1ssCap = AsicArvel2xAutoDetectL1ssCap;
}
