// The rig of the scenario that talks to the boot ROM.
#include "rig.h"

#include <cstdio>

#include "../../kshim/src/wdf_interrupt_internal.h"
#include "hal/common/hal_bringup.h"
#include "kshim/host/os.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/wificx/wificxmain.h"
#include "world.h"

namespace qzlsim {
namespace {

// The bring-up's steps before the download; false (printed) on a failure.
bool BuildRig(kshim::host::OsDevice* device, Rig* rig)
{
    PMP_ADAPTER a = QZCxGetAdapter(device->Handle());
    rig->adapter = a;
    rig->built = true;
    NTSTATUS status = NdisCommonInitializeSWCtrl(a, g_BringUpProgress);
    g_BringUpProgress[BRINGUP_SW_CTRL] = 1;
    if (NT_SUCCESS(status)) {
        HalInitHwCtrlEvents(a);
        status = NdisCommonInitNICReadRegParameters(a);
    }
    if (NT_SUCCESS(status)) {
        status = NdisCommonInitAdapterBlock(a, g_BringUpProgress);
    }
    if (NT_SUCCESS(status)) {
        status = NdisCommonHifStartTxRx(a->HifContext, g_BringUpProgress);
    }
    if (NT_SUCCESS(status)) {
        status = kshim::wdf::InterruptsEnable(device->Handle());
    }
    if (!NT_SUCCESS(status)) {
        std::printf("the bring-up's steps before the download failed: 0x%08X\n", static_cast<unsigned>(status));
        return false;
    }
    rig->interrupts = true;
    rig->port = a->PortList[0];
    return true;
}

void ReleaseRig(kshim::host::OsDevice* device, Rig* rig)
{
    if (rig->interrupts) {
        (void)kshim::wdf::InterruptsDisable(device->Handle());
        KeFlushQueuedDpcs();
    }
    if (rig->built) {
        (void)DeInitStopIcs(rig->adapter);
    }
}

}  // namespace

int RunOnRig(sim::chip::Chip& chip, const size_t& violations, const std::function<int(Rig*)>& body)
{
    kshim::host::Os os;
    if (!NT_SUCCESS(os.Load(DriverEntry, kServiceName))) {
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
    const bool clean = RemoveAndUnload(os, device);
    return result == 0 && clean && violations == 0 ? 0 : 1;
}

}  // namespace qzlsim
