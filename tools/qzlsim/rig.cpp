// The rig of the scenarios that talk to the simulated firmware.
#include "rig.h"

#include <cstdio>

#include "../../kshim/src/wdf_interrupt_internal.h"
#include "Common/common.h"
#include "Common/qzcmd.h"
#include "kshim/host/dma.h"
#include "kshim/host/os.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/wificx/wificxmain.h"

namespace qzlsim {
namespace {

// The body of "PlatformFWCmdThread" as the shell runs it (without the low-power ownership).
VOID FwCmdThreadBody(PVOID context)
{
    auto* a = static_cast<PMP_ADAPTER>(context);
    while (!PlatformThreadsStopping(a)) {
        (void)PlatformWaitEvent(&a->FwCmdThread.WakeEvent, 0);
        (void)QzCmdDequeueFWCmd(a, 0);
    }
}

// Builds the rig in the bring-up's order; false (printed) on a failure.
bool BuildRig(kshim::host::OsDevice* device, Rig* rig)
{
    PMP_ADAPTER a = QZCxGetAdapter(device->Handle());
    rig->adapter = a;
    a->PortList[0] = &rig->port;
    rig->port.Adapter = a;
    a->RegistryBlock.TxRxThreadMode = 0;  // events served in the interrupt's deferred routine
    QzInitCmdQueue(&a->Cmd.ControlQueue);
    QzInitInternalCmdBuffer(a);
    QzInitMsgCmdBuffer(a);
    rig->pools = true;
    QzCmdInitFWCmdSlotEvents(a);
    QzCmdInitFWCmdQueue(a);
    WDF_DMA_ENABLER_CONFIG dma;
    WDF_DMA_ENABLER_CONFIG_INIT(&dma, WdfDmaProfileScatterGather, 4096);
    if (!NT_SUCCESS(WdfDmaEnablerCreate(device->Handle(), &dma, WDF_NO_OBJECT_ATTRIBUTES, &a->DmaEnabler))) {
        std::printf("DMA enabler not created\n");
        return false;
    }
    NTSTATUS status = NdisCommonHifInitTransmit(a->HifContext, TRUE);
    if (NT_SUCCESS(status)) {
        status = NdisCommonHifInitRecv(a->HifContext, TRUE);
    }
    rig->rings = true;
    if (!NT_SUCCESS(status)) {
        std::printf("rings not created: 0x%08X\n", static_cast<unsigned>(status));
        return false;
    }
    PlatformInitThread(a, a, &a->FwCmdThread, FwCmdThreadBody, "PlatformFWCmdThread");
    if (!NT_SUCCESS(PlatformRunThread(a, &a->FwCmdThread))) {
        std::printf("firmware command thread not started\n");
        return false;
    }
    rig->thread = true;
    UCHAR progress[16] = {};
    status = NdisCommonHifStartTxRx(a->HifContext, progress);
    if (NT_SUCCESS(status)) {
        status = kshim::wdf::InterruptsEnable(device->Handle());
    }
    if (!NT_SUCCESS(status)) {
        std::printf("transmit and receive not started: 0x%08X\n", static_cast<unsigned>(status));
        return false;
    }
    rig->interrupts = true;
    return true;
}

void ReleaseRig(kshim::host::OsDevice* device, Rig* rig)
{
    PMP_ADAPTER a = rig->adapter;
    if (a == nullptr) {
        return;
    }
    if (rig->thread) {
        a->StopThreads.store(1);
        PlatformCancelThread(a, &a->FwCmdThread);
        PlatformFreeThread(a, &a->FwCmdThread);
    }
    if (rig->interrupts) {
        (void)kshim::wdf::InterruptsDisable(device->Handle());
        KeFlushQueuedDpcs();
    }
    if (rig->rings) {
        NdisCommonHifFreeTransmit(a->HifContext);
        NdisCommonHifFreeRecv(a->HifContext);
    }
    if (rig->pools) {
        for (PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(&a->Cmd.ControlQueue); cmd != nullptr;
             cmd = QzDequeueCmdQueueLocked(&a->Cmd.ControlQueue)) {
            QzReturnInternalCmdBuffer(a, cmd);
        }
        QzFreeInternalCmdBuffer(a);
        QzFreeMsgCmdBuffer(a);
    }
    a->PortList[0] = nullptr;
}

}  // namespace

int RunOnRig(sim::chip::Chip& chip, const size_t& violations, const std::function<int(Rig*)>& body)
{
    kshim::host::Os os;
    if (!NT_SUCCESS(os.Load(DriverEntry, u"wdrvcx"))) {
        std::printf("driver entry failed\n");
        return 1;
    }
    kshim::host::DeviceConfig config;
    config.pci = &chip;
    kshim::host::OsDevice* device = os.AddDevice(config);
    int result = 1;
    Rig rig;
    if (NT_SUCCESS(device->AddStatus()) && NT_SUCCESS(os.PrepareHardware(device))) {
        if (BuildRig(device, &rig)) {
            result = body(&rig);
        }
        ReleaseRig(device, &rig);
        (void)os.ReleaseHardware(device);
    } else {
        std::printf("device add or hardware preparation failed\n");
    }
    os.Remove(device);
    kshim::host::UnloadReport report = os.Unload();
    if (!report.clean) {
        std::printf("driver unloaded with leftovers:\n%s", report.text.c_str());
        result = 1;
    } else {
        std::printf("driver unloaded: every allocation, mapping and framework object was returned\n");
    }
    return result == 0 && violations == 0 ? 0 : 1;
}

}  // namespace qzlsim
