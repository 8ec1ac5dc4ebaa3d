// The download scenario: the simulated OS loads the driver and prepares a device over a simulated
// chip; the testbed builds what the bring-up would before the firmware download, puts the simulated
// boot ROM with its download model on the chip's rings and makes the model the chip's firmware state
// register. The firmware package comes from a file root: the one given, or a new one into which the
// package builder writes the chip's standard images. Then the driver's own steps run as the bring-up
// runs them: the Wi-Fi container is loaded whole, the chip is prepared for the download (driver own,
// the wait for the ROM), the ROM patch, the Bluetooth patch (where the chip has the step) and the RAM
// code are downloaded. Each step is printed with what the ROM received (sections and regions, bytes,
// pieces, data modes, its checks), then the firmware state the driver reads at the end.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "chip/chip.h"
#include "fw/image_builder.h"
#include "fw/ring_firmware.h"
#include "fw/rom_download.h"
#include "hal/common/fwdownload.h"
#include "hal/common/fwfile.h"
#include "kshim/host/files.h"
#include "platform/ndiscommon/adapter.h"
#include "rig.h"
#include "scenarios.h"

namespace qzlsim {
namespace {

const char16_t kContainerPath[] = u"\\SystemRoot\\System32\\drivers\\qzlwlan.dat";

const char* StateName(ULONG state)
{
    switch (state) {
    case FW_STATE_ROM_NOT_RUNNING:
        return "ROM not running";
    case FW_STATE_ROM_READY:
        return "ROM ready for download";
    case FW_STATE_RAM_RUNNING:
        return "RAM code running";
    default:
        return "unknown";
    }
}

std::string Pieces(const std::vector<uint32_t>& pieces)
{
    if (pieces.empty()) {
        return "no data";
    }
    std::string text = std::to_string(pieces.size()) + (pieces.size() == 1 ? " piece (" : " pieces (");
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i == 3 && pieces.size() > 4) {
            text += ", ..., " + std::to_string(pieces.back());
            break;
        }
        text += (i == 0 ? "" : ", ") + std::to_string(pieces[i]);
    }
    return text + ")";
}

// Prints what the ROM saw since step `from` of its record; returns the new end.
size_t PrintRomSteps(const sim::fw::RomDownload& rom, size_t from, size_t regionsFrom)
{
    std::vector<sim::fw::DownloadStep> steps = rom.Steps();
    std::vector<sim::fw::DownloadRegion> regions = rom.Regions();
    size_t region = regionsFrom;
    for (size_t i = from; i < steps.size(); ++i) {
        const sim::fw::DownloadStep& s = steps[i];
        switch (s.kind) {
        case sim::fw::DownloadStep::Kind::Semaphore:
            std::printf("    ROM: patch semaphore, answer %u\n", s.value);
            break;
        case sim::fw::DownloadStep::Kind::BtQuery:
            std::printf("    ROM: Bluetooth patch query for 0x%08X, status %u\n", s.address, s.value);
            break;
        case sim::fw::DownloadStep::Kind::PatchInit:
        case sim::fw::DownloadStep::Kind::RegionInit:
            if (region < regions.size()) {
                const sim::fw::DownloadRegion& r = regions[region++];
                std::printf("    ROM: %s %s 0x%08X, %u bytes, data mode 0x%08X: %u bytes in %s, %s\n",
                            sim::fw::ImageKindName(r.kind), s.kind == sim::fw::DownloadStep::Kind::PatchInit ? "section" : "region",
                            r.address, r.announced, r.dataMode, r.received, Pieces(r.pieces).c_str(),
                            r.Verified() ? "every byte and the data mode as the image has them" : "NOT as the image has it");
            }
            break;
        case sim::fw::DownloadStep::Kind::PatchFinish:
            std::printf("    ROM: %s finish\n", s.value == 1 ? "Bluetooth patch" : "patch");
            break;
        case sim::fw::DownloadStep::Kind::FwStart:
            std::printf("    ROM: firmware start, option %u, entry 0x%08X\n", s.value, s.address);
            break;
        case sim::fw::DownloadStep::Kind::Data:
            break;
        }
    }
    return steps.size();
}

int Download(sim::chip::Chip& chip, Rig* rig, const std::vector<sim::fw::NamedImage>& known)
{
    PMP_ADAPTER a = rig->adapter;
    const CHIP_HAL_INFO& info = a->HalInfo;
    std::printf("prepared: chip code 0x%04X, rings started, interrupt enabled\n", info.ChipCode);
    sim::fw::RingFirmware firmware(chip);
    sim::fw::RomDownload rom(chip.model().generation);
    rom.AttachTo(firmware.Rom());
    rom.ConnectStateRegister(chip);
    a->RegistryBlock.FWBin = 1;

    ULONG size = 0;
    PUCHAR container = HalLoadBinfromPath(a, kContainerPath, &size);
    HalFwSetContainer(&a->FwFiles, TRUE, container, size);
    std::printf("Wi-Fi container: %s\n", container != nullptr ? (std::to_string(size) + " bytes loaded").c_str() : "none");

    // Each step prints what the ROM received for it, from the ROM's record.
    size_t steps = 0;
    size_t regions = 0;
    auto print = [&](const char* title, NTSTATUS status) {
        std::printf("%s: 0x%08X\n", title, static_cast<unsigned>(status));
        steps = PrintRomSteps(rom, steps, regions);
        regions = rom.Regions().size();
        return status == STATUS_SUCCESS;
    };
    std::printf("firmware state before the download: %s\n", StateName(a->HalOps.GetFwSyncValue(a)));
    bool done = print("pre-download (driver own, wait for the ROM)", a->HalOps.PreFirmwareDownloadInit(a));
    if (done) {
        UCHAR owns = 0;
        a->HalOps.GetOwnStatus(a, &owns);
        auto name = [](PCSTR text) { return std::string(text != nullptr ? text : ""); };
        std::printf("  driver owns the chip: %s; images: RAM code \"%s\", ROM patch \"%s\"\n", owns ? "yes" : "no",
                    name(info.RamCodeFileName).c_str(), name(info.RomPatchFileName).c_str());
        // The ROM checks the images the chip's descriptor names now.
        rom.ExpectNamed(known, name(info.RamCodeFileName), name(info.RomPatchFileName), name(info.BtPatchFileName));
        done = print("ROM patch", a->HalOps.LoadRomPatch(a));
    }
    if (done && a->HalOps.LoadBtRomPatch != nullptr) {
        // A failed Bluetooth patch does not stop the bring-up.
        (void)print(info.BtPatchFileName != nullptr ? "Bluetooth patch"
                                                    : "Bluetooth patch (the chip names none; the bring-up goes on)",
                    a->HalOps.LoadBtRomPatch(a));
    }
    if (done) {
        done = print("RAM code", a->HalOps.LoadFirmware(a));
    }
    int result = done ? 0 : 1;
    (void)firmware.WaitDelivered();
    for (const std::string& fault : rom.Faults()) {
        std::printf("ROM fault: %s\n", fault.c_str());
        result = 1;
    }
    const ULONG state = a->HalOps.GetFwSyncValue(a);
    std::printf("firmware state: %u, %s\n", static_cast<unsigned>(state), StateName(state));
    HalFreeBigFW(&a->FwFiles);
    (void)AsicArvel2xFreeFwImageCache();
    return result == 0 && state == FW_STATE_RAM_RUNNING ? 0 : 1;
}

}  // namespace

int RunDownload(const Options& options, uint16_t deviceId, const std::string& files)
{
    size_t violations = 0;
    BeginRun(options, &violations);
    std::printf("qzlsim download: the firmware download on a simulated chip of device id 0x%04X\n", deviceId);
    sim::chip::Chip chip(deviceId);
    if (!chip.rings().present) {
        std::printf("the simulated chip of device id 0x%04X has no ring engine\n", deviceId);
        return 1;
    }
    std::string root = files;
    std::vector<sim::fw::NamedImage> images;
    bool made = false;
    if (root.empty()) {
        char pattern[] = "/tmp/qzlsim-firmware-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            std::printf("no folder for the firmware package\n");
            return 1;
        }
        root = pattern;
        made = true;
    }
    kshim::host::FilesSetRoot(root);
    const uint16_t chipCode = chip.model().design;
    if (made) {
        images = sim::fw::StandardImages(chipCode);
        if (!sim::fw::WritePackage(images)) {
            std::printf("the firmware package could not be written into %s\n", root.c_str());
            return 1;
        }
        std::printf("firmware package of chip 0x%04X written with the package builder into %s:\n", chipCode, root.c_str());
        for (const sim::fw::NamedImage& n : images) {
            std::printf("  %-40s %8zu bytes%s\n", n.name.c_str(), n.image.bytes.size(),
                        n.inContainer ? " (in the Wi-Fi container)" : "");
        }
    } else {
        std::printf("firmware files from %s (the boot ROM checks lengths only)\n", root.c_str());
    }
    const int result = RunOnRig(chip, violations, [&](Rig* rig) { return Download(chip, rig, images); });
    kshim::host::FilesSetRoot("");
    if (made) {
        std::filesystem::remove_all(root);
    }
    return result;
}

}  // namespace qzlsim
