// The simulated world of the scenarios that run the firmware: a file root holding the chip's firmware
// package, the registry of an installed driver, the simulated chip and its whole firmware (the boot
// ROM with its download model, then the RAM code), and the printing of what the firmware received.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "chip/chip.h"
#include "fw/image_builder.h"
#include "fw/ram.h"
#include "kshim/host/os.h"
#include "scenario.h"

namespace qzlsim {

// The driver's service name as the OS installed it.
inline const char16_t kServiceName[] = u"wdrvcx";

class World {
public:
    explicit World(uint16_t deviceId);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // The firmware package (the folder `files`, or the chip's standard package written by the
    // package builder into a new file root) and the registry of an installed driver; prints what it
    // did. A chip without a ring engine runs no firmware (the driver refuses it before it would need
    // one). False (printed) when the package cannot be written.
    bool Install(const std::string& files);

    sim::chip::Chip& Chip() { return chip_; }
    // The chip's firmware; null for a chip without a ring engine.
    sim::fw::ChipFirmware* Firmware() { return firmware_.get(); }

    // Loads the driver and adds one device over the chip; null (printed and explained) on a failure.
    kshim::host::OsDevice* AddDevice(const Run& run, kshim::host::Os& os);
    // Install, AddDevice, then the OS starts the device and its callbacks are printed. The start's
    // status; *device is the device (null when none was added). A world that could not be set up
    // gives STATUS_UNSUCCESSFUL with the driver unloaded again. A start that fails is explained.
    NTSTATUS Start(const Run& run, kshim::host::Os& os, kshim::host::OsDevice** device);

private:
    sim::chip::Chip chip_;
    std::unique_ptr<sim::fw::ChipFirmware> firmware_;
    std::string root_;
    bool made_ = false;
};

// The OS's log lines from entry `from` on, indented; returns the new end.
size_t PrintOsLog(const kshim::host::Os& os, size_t from);
// What the boot ROM's download model received, from step `from` and region `regionsFrom` on;
// returns the new end of its steps.
size_t PrintRomSteps(const sim::fw::RomDownload& rom, size_t from, size_t regionsFrom);
// Every command the RAM code received, by name, with what it made of it.
void PrintRamCommands(const sim::fw::RamFirmware& ram);
// The firmware models' faults, printed; the number of them.
size_t PrintFirmwareFaults(const sim::fw::ChipFirmware& firmware);
// Removes the device, unloads the driver and prints whether everything was given back; true when it
// was.
bool RemoveAndUnload(kshim::host::Os& os, kshim::host::OsDevice* device);
const char* FwStateName(uint32_t state);

}  // namespace qzlsim
