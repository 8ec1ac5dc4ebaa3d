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
#include "scenarios.h"
#include "world.h"

namespace qzlsim {

int RunDownload(const Options& options, uint16_t deviceId, const std::string& files)
{
    size_t violations = 0;
    BeginRun(options, &violations);
    std::printf("qzlsim download: the firmware download on a simulated chip of device id 0x%04X\n", deviceId);
    World world(deviceId);
    kshim::host::Os os;
    kshim::host::OsDevice* device = nullptr;
    const NTSTATUS started = world.Start(os, files, &device);
    if (device == nullptr) {
        return 1;
    }
    std::printf("what the boot ROM received:\n");
    (void)PrintRomSteps(world.Firmware().Download(), 0, 0);
    const bool running = world.Firmware().Download().RamStarted();
    std::printf("firmware state: %s\n", FwStateName(running ? 3 : 1));
    std::printf("the bring-up after the download: 0x%08X%s\n", static_cast<unsigned>(started),
                started == STATUS_NOT_SUPPORTED ? " (it called a service of a later step that is not built yet)" : "");
    const size_t faults = PrintFirmwareFaults(world.Firmware());
    (void)os.Stop(device);
    const bool clean = RemoveAndUnload(os, device);
    return running && faults == 0 && clean && violations == 0 ? 0 : 1;
}

}  // namespace qzlsim
