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
#include "explain.h"
#include "world.h"

namespace qzlsim {
namespace {

// The bring-up's steps before the download; false (printed) on a failure.
bool BuildRig(const Run& run, kshim::host::OsDevice* device, Rig* rig)
{
    const size_t mark = TraceMark();
    PMP_ADAPTER a = QZCxGetAdapter(device->Handle());
    rig->adapter = a;
    rig->built = true;
    NTSTATUS status = NdisCommonInitializeSWCtrl(a, a->BringUp.Progress);
    a->BringUp.Progress[BRINGUP_SW_CTRL] = 1;
    if (NT_SUCCESS(status)) {
        HalInitHwCtrlEvents(a);
        status = NdisCommonInitNICReadRegParameters(a);
    }
    if (NT_SUCCESS(status)) {
        status = NdisCommonInitAdapterBlock(a, a->BringUp.Progress);
    }
    if (NT_SUCCESS(status)) {
        status = NdisCommonHifStartTxRx(a->HifContext, a->BringUp.Progress);
    }
    if (NT_SUCCESS(status)) {
        status = kshim::wdf::InterruptsEnable(device->Handle());
    }
    if (!NT_SUCCESS(status)) {
        ExplainFailure(run, {"the bring-up's steps before the download", status, mark, a});
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

int RunOnRig(const Run& run, sim::chip::Chip& chip, const size_t& violations, const std::function<int(Rig*)>& body)
{
    kshim::host::Os os;
    size_t mark = TraceMark();
    const NTSTATUS loaded = os.Load(DriverEntry, kServiceName);
    if (!NT_SUCCESS(loaded)) {
        ExplainFailure(run, {"driver entry", loaded, mark, nullptr});
        return 1;
    }
    kshim::host::DeviceConfig config;
    config.pci = &chip;
    mark = TraceMark();
    kshim::host::OsDevice* device = os.AddDevice(config);
    int result = 1;
    Rig rig;
    NTSTATUS status = device->AddStatus();
    if (NT_SUCCESS(status)) {
        status = os.PrepareHardware(device);
    }
    if (NT_SUCCESS(status)) {
        if (BuildRig(run, device, &rig)) {
            result = body(&rig);
        }
        ReleaseRig(device, &rig);
        (void)os.ReleaseHardware(device);
    } else {
        ExplainFailure(run, {NT_SUCCESS(device->AddStatus()) ? "hardware preparation" : "device add", status, mark,
                             nullptr});
    }
    const bool clean = RemoveAndUnload(os, device);
    return result == 0 && clean && violations == 0 ? 0 : 1;
}

}  // namespace qzlsim
