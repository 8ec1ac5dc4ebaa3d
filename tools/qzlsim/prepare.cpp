// The prepare scenario: the simulated OS loads the driver, adds one device over a simulated chip of
// the chosen PCI device id, prepares its hardware and releases it, then removes the device and
// unloads the driver. The testbed prints the chip the driver selected, or the refusal and its
// status.
#include <cstdint>
#include <cstdio>
#include <string>

#include "chip/chip.h"
#include "hal/common/hal_chip.h"
#include "kshim/host/control.h"
#include "kshim/host/os.h"
#include "kshim/host/registry.h"
#include "kshim/trace.h"
#include "platform/wificx/wificxmain.h"
#include "devices.h"
#include "explain.h"
#include "scenario.h"
#include "world.h"

namespace qzlsim {
namespace {

const char* NameOrNone(PCSTR name) { return name != nullptr ? name : "(none)"; }

void PrintChip(const MP_ADAPTER* adapter)
{
    const CHIP_HAL_INFO& info = adapter->HalInfo;
    std::printf("chip selected: device id 0x%04X, %s generation, chip code 0x%04X\n", adapter->DeviceId,
                FactsOf(adapter->DeviceId).generation, info.ChipCode);
    std::printf("  RAM code        %s\n", NameOrNone(info.RamCodeFileName));
    std::printf("  ROM patch       %s\n", NameOrNone(info.RomPatchFileName));
    std::printf("  EEPROM image    %s\n", NameOrNone(info.EepromFileName));
    std::printf("  Bluetooth patch %s\n", NameOrNone(info.BtPatchFileName));
}

void PrintOsLog(kshim::host::Os& os)
{
    for (const kshim::host::OsLogEntry& entry : os.Log()) {
        std::printf("os: %s\n", entry.ToString().c_str());
    }
    os.ClearLog();
}

int RunPrepare(const Run& run)
{
    size_t violations = 0;
    BeginRun(run, &violations);
    std::printf("qzlsim prepare: hardware preparation and release on a simulated chip of device id %s\n",
                run.device.Text().c_str());
    sim::chip::Chip chip(run.device.id);
    kshim::host::Os os;
    size_t mark = TraceMark();
    NTSTATUS status = os.Load(DriverEntry, kServiceName);
    PrintOsLog(os);
    if (!NT_SUCCESS(status)) {
        ExplainFailure(run, {"driver entry", status, mark, nullptr});
        return 1;
    }
    kshim::host::DeviceConfig config;
    config.pci = &chip;
    mark = TraceMark();
    kshim::host::OsDevice* device = os.AddDevice(config);
    PrintOsLog(os);
    bool prepared = false;
    if (!NT_SUCCESS(device->AddStatus())) {
        ExplainFailure(run, {"device add", device->AddStatus(), mark, nullptr});
    } else {
        mark = TraceMark();
        status = os.PrepareHardware(device);
        PrintOsLog(os);
        if (NT_SUCCESS(status)) {
            prepared = true;
            PrintChip(QZCxGetAdapter(device->Handle()));
            status = os.ReleaseHardware(device);
        } else {
            ExplainFailure(run, {"hardware preparation", status, mark, nullptr});
        }
        PrintOsLog(os);
    }
    os.Remove(device);
    PrintOsLog(os);
    kshim::host::UnloadReport report = os.Unload();
    PrintOsLog(os);
    if (report.clean) {
        std::printf("driver unloaded: every allocation, mapping and framework object was returned\n");
    } else {
        std::printf("driver unloaded with leftovers:\n%s", report.text.c_str());
    }
    size_t mappings = kshim::host::MmioMappingCount();
    if (mappings != 0) {
        std::printf("%zu device memory mapping(s) left\n", mappings);
    }
    return prepared && report.clean && mappings == 0 && violations == 0 ? 0 : 1;
}

const Registration kPrepare({
    .name = "prepare",
    .summary = "hardware preparation and release on a simulated chip: the chip selected, or the refusal",
    .order = 20,
    .uses = kUsesDevice,
    .run = RunPrepare,
});

}  // namespace
}  // namespace qzlsim
