// The download scenario: the simulated OS starts a device over a simulated chip whose boot ROM, with
// its download model, checks everything the driver downloads. The firmware package comes from a file
// root: the one given, or a new one into which the package builder writes the chip's standard images.
// The driver's bring-up loads the Wi-Fi container whole, prepares the chip for the download (driver
// own, the wait for the ROM) and downloads the ROM patch, the Bluetooth patch (where the chip has the
// step) and the RAM code; the testbed prints what the ROM received (sections and regions, bytes,
// pieces, data modes, its checks) and the firmware state at the end. What the bring-up does after the
// download is the boot scenario's.
#include <cstdint>
#include <cstdio>
#include <string>

#include "kshim/host/os.h"
#include "explain.h"
#include "scenario.h"
#include "world.h"

namespace qzlsim {
namespace {

int RunDownload(const Run& run)
{
    size_t violations = 0;
    BeginRun(run, &violations);
    std::printf("qzlsim download: the firmware download on a simulated chip of device id %s\n",
                run.device.Text().c_str());
    World world(run.device.id);
    kshim::host::Os os;
    kshim::host::OsDevice* device = nullptr;
    const NTSTATUS started = world.Start(run, os, &device);
    if (device == nullptr) {
        return 1;
    }
    bool running = false;
    size_t faults = 0;
    if (world.Firmware() != nullptr) {
        std::printf("what the boot ROM received:\n");
        (void)PrintRomSteps(world.Firmware()->Download(), 0, 0);
        running = world.Firmware()->Download().RamStarted();
        std::printf("firmware state: %s\n", FwStateName(running ? 3 : 1));
        faults = PrintFirmwareFaults(*world.Firmware());
    }
    std::printf("the device's start: %s\n", StatusText(started).c_str());
    (void)os.Stop(device);
    const bool clean = RemoveAndUnload(os, device);
    return running && faults == 0 && clean && violations == 0 ? 0 : 1;
}

const Registration kDownload({
    .name = "download",
    .summary = "the firmware download through the rings, step by step, as the boot ROM checked it",
    .details = "The device is started through the OS; its bring-up loads the Wi-Fi container and downloads the\n"
               "ROM patch, the Bluetooth patch and the RAM code. Prints the sections, regions, bytes and data\n"
               "modes the ROM received and the final firmware state; exit status 0 when the RAM code runs\n"
               "(second and third generation).",
    .order = 40,
    .uses = kUsesDevice | kUsesFiles,
    .run = RunDownload,
});

}  // namespace
}  // namespace qzlsim
