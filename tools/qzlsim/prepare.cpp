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
#include "scenarios.h"
#include "world.h"

namespace qzlsim {
namespace {

const char* GenerationOf(const CHIP_HAL_INFO& info, USHORT deviceId)
{
    if (info.ChipCode == 0) {
        return "none";
    }
    if (HalIsThirdGeneration(deviceId)) {
        return "third";
    }
    return info.ChipCode == 0x3404 ? "older" : "second";
}

const char* NameOrNone(PCSTR name) { return name != nullptr ? name : "(none)"; }

void PrintChip(const MP_ADAPTER* adapter)
{
    const CHIP_HAL_INFO& info = adapter->HalInfo;
    std::printf("chip selected: device id 0x%04X, %s generation, chip code 0x%04X\n", adapter->DeviceId,
                GenerationOf(info, adapter->DeviceId), info.ChipCode);
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

}  // namespace

int RunPrepare(const Options& options, uint16_t deviceId)
{
    size_t violations = 0;
    BeginRun(options, &violations);
    std::printf("qzlsim prepare: hardware preparation and release on a simulated chip of device id 0x%04X\n",
                deviceId);
    sim::chip::Chip chip(deviceId);
    kshim::host::Os os;
    NTSTATUS status = os.Load(DriverEntry, kServiceName);
    PrintOsLog(os);
    if (!NT_SUCCESS(status)) {
        std::printf("driver entry failed: 0x%08X\n", static_cast<unsigned>(status));
        return 1;
    }
    kshim::host::DeviceConfig config;
    config.pci = &chip;
    kshim::host::OsDevice* device = os.AddDevice(config);
    PrintOsLog(os);
    bool prepared = false;
    if (!NT_SUCCESS(device->AddStatus())) {
        std::printf("%s: device add failed: 0x%08X\n", device->Name().c_str(), static_cast<unsigned>(device->AddStatus()));
    } else {
        status = os.PrepareHardware(device);
        PrintOsLog(os);
        if (NT_SUCCESS(status)) {
            prepared = true;
            PrintChip(QZCxGetAdapter(device->Handle()));
            status = os.ReleaseHardware(device);
        } else {
            std::printf("preparation refused: 0x%08X (device id 0x%04X)\n", static_cast<unsigned>(status), deviceId);
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

}  // namespace qzlsim
