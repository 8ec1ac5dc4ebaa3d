// The SER step handler of the second and third generation.
#include "hal/common/hal_ser.h"

#include "hal/chips/qz3501.h"
#include "hal/chips/qzarvel2x.h"
#include "hal/chips/qzarvel3x.h"
#include "hal/common/hal_chip.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"
#include "platform/ndiscommon/trace.h"

namespace {

BOOLEAN DumpsSerRegisters(USHORT chipCode)
{
    return static_cast<BOOLEAN>(HalChipGeneration(chipCode) == CHIP_GENERATION_SECOND);
}

void SetSerState(PMP_ADAPTER adapter, UCHAR state)
{
    __atomic_store_n(&adapter->Recovery.SerState, state, __ATOMIC_RELEASE);
}

// State 0, bit 2: stop transmission; the transmit-stop check finishes the step.
void SerStart(PMP_ADAPTER adapter)
{
    if (DumpsSerRegisters(adapter->HalInfo.ChipCode)) {
        qz3501DumpSerDummyCR(adapter);
    }
    adapter->Recovery.RecoveryStage = SER_RECOVERY_STAGE;
    PMP_PORT port0 = adapter->PortList[0];
    if (port0 == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "SER start without port 0: transmit-stop check not armed");
        return;
    }
    if (!adapter->Recovery.SerCheckTxStopTimer.Initialized) {
        // Normally bound with the MLME port timers; bound here when those have not run.
        PlatformInitTimer(port0, &adapter->Recovery.SerCheckTxStopTimer, SerCheckTxStopTimeOut, 0, "rSerCheckTxStopTimer");
    }
    NTSTATUS status = PlatformSetTimer(port0, &adapter->Recovery.SerCheckTxStopTimer, SER_TX_STOP_CHECK_MS);
    if (status != STATUS_SUCCESS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_HAL, "SER transmit-stop check not armed: 0x%08X", static_cast<unsigned>(status));
    }
}

// State 1, bit 3: the firmware re-initialised its DMA; the driver restores its side.
void SerDmaReinit(PMP_ADAPTER adapter)
{
    (void)HalCallOptional(adapter->HalOps.DmashdlInit, adapter);
    if (HalIsThirdGeneration(adapter->DeviceId)) {
        AsicArvel3xRestoreRingsAfterFwOwn(adapter);
    } else {
        AsicArvel2xRestoreRingsAfterFwOwn(adapter);
    }
    (void)NdisCommonHifEnableInterrupt(adapter->HifContext);
    SetSerState(adapter, SER_STATE_DMA_REINIT);
    AsicArvel3xSetSwIntToMcu(adapter, ARVEL_SER_HOST_DMA_REINIT);
}

// State 2, bit 4: the frames the firmware dropped go back (second generation) or to the OS (third).
void SerTxResume(PMP_ADAPTER adapter)
{
    SetSerState(adapter, SER_STATE_TX_RESUMED);
    if (HalIsThirdGeneration(adapter->DeviceId)) {
        for (PMP_PORT port : adapter->PortList) {
            if (port != nullptr) {
                PlatformIndicateTxAbortPendingPacketsByPort(adapter, static_cast<USHORT>(port->PortNumber));
            }
        }
    } else {
        TxDoneWaitQTailToTxProcessQHead(adapter);
    }
    AsicArvel3xSetSwIntToMcu(adapter, ARVEL_SER_HOST_TX_RETURNED);
}

// State 3, bit 5: the SER is over.
void SerDone(PMP_ADAPTER adapter)
{
    if (!HalIsThirdGeneration(adapter->DeviceId)) {
        (void)WdiTxSendPauseIndication(adapter, 0, 2);
    }
    adapter->Recovery.RecoveryStage = 0;
    __atomic_store_n(&adapter->Recovery.TxStopped, static_cast<UCHAR>(0), __ATOMIC_RELEASE);
    SetSerState(adapter, SER_STATE_IDLE);
    (void)KeSetEvent(&adapter->Recovery.SerDoneEvent, 0, FALSE);
}

}  // namespace

VOID SerStepHandler(PMP_ADAPTER adapter)
{
    const ULONG s = __atomic_exchange_n(&adapter->SavedSwIntStatus, 0u, __ATOMIC_ACQ_REL);
    const UCHAR state = __atomic_load_n(&adapter->Recovery.SerState, __ATOMIC_ACQUIRE);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_HAL, "SerStepHandler: state %u, status 0x%08X", static_cast<unsigned>(state),
             static_cast<unsigned>(s));
    if (adapter->Recovery.SerEnabled == 0) {
        return;
    }
    ++adapter->Recovery.SerIntCount;
    if (state == SER_STATE_IDLE && (s & SER_INT_START) != 0) {
        SerStart(adapter);
    } else if (state == SER_STATE_TX_STOPPED && (s & SER_INT_DMA_REINIT) != 0) {
        SerDmaReinit(adapter);
    } else if (state == SER_STATE_DMA_REINIT && (s & SER_INT_TX_RESUME) != 0) {
        SerTxResume(adapter);
    } else if (state == SER_STATE_TX_RESUMED && (s & SER_INT_DONE) != 0) {
        SerDone(adapter);
    } else {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_HAL, "SER step ignored: state %u, status 0x%08X", static_cast<unsigned>(state),
                 static_cast<unsigned>(s));
    }
}
