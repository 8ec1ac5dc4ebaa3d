// The simulated world of the scenarios that run the firmware.
#include "world.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "explain.h"
#include "fwnames.h"
#include "kshim/host/files.h"
#include "kshim/host/registry.h"
#include "platform/wificx/wificxmain.h"

namespace qzlsim {
namespace {

// How the simulated RAM code starts its note of a command.
const char kRamNotePrefix[] = "RAM: ";

// The driver's service and the Bluetooth filter's, installed beside each other: the driver finds
// its firmware container beside its own image.
const char kInstalledRegistry[] = R"(
[\Registry\Machine\SYSTEM\CurrentControlSet\Services\wdrvcx]
ImagePath=sz:"\SystemRoot\System32\drivers\qzlwlan.sys"
[\Registry\Machine\SYSTEM\CurrentControlSet\Services\wdrvcx\Parameters]
[\Registry\Machine\SYSTEM\CurrentControlSet\Services\ZUDEVIzirero64]
ImagePath=sz:"\SystemRoot\System32\drivers\qzlbtfilter.sys"
[@device]
)";

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

}  // namespace

World::World(uint16_t deviceId) : chip_(deviceId) {}

World::~World()
{
    firmware_.reset();
    kshim::host::FilesSetRoot("");
    if (made_) {
        std::filesystem::remove_all(root_);
    }
}

bool World::Install(const std::string& files)
{
    root_ = files;
    if (root_.empty()) {
        char pattern[] = "/tmp/qzlsim-firmware-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            std::printf("no folder for the firmware package\n");
            return false;
        }
        root_ = pattern;
        made_ = true;
    }
    kshim::host::FilesSetRoot(root_);
    const uint16_t chipCode = chip_.model().design;
    if (!chip_.rings().present) {
        std::printf("the simulated chip of device id 0x%04X has no ring engine: no firmware runs on it\n",
                    chip_.model().deviceId);
    } else {
        firmware_ = std::make_unique<sim::fw::ChipFirmware>(chip_);
    }
    if (made_ && firmware_ != nullptr) {
        std::vector<sim::fw::NamedImage> images;
        try {
            images = sim::fw::StandardImages(chipCode);
        } catch (const std::invalid_argument&) {
            std::printf("the package builder knows no chip 0x%04X: no firmware package is written\n", chipCode);
            return true;
        }
        if (!sim::fw::WritePackage(images)) {
            std::printf("the firmware package could not be written into %s\n", root_.c_str());
            return false;
        }
        firmware_->Expect(images);
        std::printf("firmware package of chip 0x%04X written with the package builder into %s:\n", chipCode,
                    root_.c_str());
        for (const sim::fw::NamedImage& n : images) {
            std::printf("  %-40s %8zu bytes%s\n", n.name.c_str(), n.image.bytes.size(),
                        n.inContainer ? " (in the Wi-Fi container)" : "");
        }
    } else if (!made_) {
        std::printf("firmware files from %s (the boot ROM checks lengths only)\n", root_.c_str());
    }
    kshim::host::RegistryClear();
    std::string error;
    if (!kshim::host::RegistryLoadText(kInstalledRegistry, &error)) {
        std::printf("registry not loaded: %s\n", error.c_str());
        return false;
    }
    return true;
}

kshim::host::OsDevice* World::AddDevice(const Run& run, kshim::host::Os& os)
{
    const size_t mark = TraceMark();
    const NTSTATUS loaded = os.Load(DriverEntry, kServiceName);
    if (!NT_SUCCESS(loaded)) {
        ExplainFailure(run, {"driver entry", loaded, mark, nullptr});
        return nullptr;
    }
    kshim::host::DeviceConfig config;
    config.pci = &chip_;
    kshim::host::OsDevice* device = os.AddDevice(config);
    if (!NT_SUCCESS(device->AddStatus())) {
        ExplainFailure(run, {"device add", device->AddStatus(), mark, nullptr});
    }
    return device;
}

NTSTATUS World::Start(const Run& run, kshim::host::Os& os, kshim::host::OsDevice** device)
{
    *device = nullptr;
    if (!Install(run.files)) {
        return STATUS_UNSUCCESSFUL;
    }
    kshim::host::OsDevice* added = AddDevice(run, os);
    if (added == nullptr || !NT_SUCCESS(added->AddStatus())) {
        (void)RemoveAndUnload(os, added);
        return STATUS_UNSUCCESSFUL;
    }
    *device = added;
    std::printf("the OS starts the device:\n");
    const size_t mark = TraceMark();
    const NTSTATUS status = os.Start(added);
    (void)PrintOsLog(os, 0);
    if (firmware_ != nullptr) {
        (void)firmware_->WaitDelivered();
    }
    if (!NT_SUCCESS(status) || added->State() != kshim::host::DeviceState::Started) {
        ExplainFailure(run, {"the device's start", status, mark, QZCxGetAdapter(added->Handle())});
    }
    return status;
}

size_t PrintOsLog(const kshim::host::Os& os, size_t from)
{
    std::vector<kshim::host::OsLogEntry> log = os.Log();
    for (size_t i = from; i < log.size(); ++i) {
        std::printf("  %s\n", log[i].ToString().c_str());
    }
    return log.size();
}

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
                            sim::fw::ImageKindName(r.kind),
                            s.kind == sim::fw::DownloadStep::Kind::PatchInit ? "section" : "region", r.address,
                            r.announced, r.dataMode, r.received, Pieces(r.pieces).c_str(),
                            r.Verified() ? "every byte and the data mode as the image has them"
                                         : "NOT as the image has it");
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

void PrintRamCommands(const sim::fw::RamFirmware& ram)
{
    for (const sim::fw::RamExchange& e : ram.Exchanges()) {
        if (!e.ramPhase) {
            continue;
        }
        std::string name;
        if (e.unifiedCommand) {
            const sim::fw::UnifiedCommand& c = *e.unifiedCommand;
            name = UnifiedCommandName(c.cmdId, c.tlvs.empty() ? -1 : c.tlvs[0].tag);
        } else if (e.command) {
            name = LegacyCommandName(e.command->cmdId, e.command->extCmdId);
        }
        // The firmware's note, after its "RAM: "; a configuration text may end with its own line feed.
        std::string note;
        const size_t from = e.note.rfind(kRamNotePrefix, 0) == 0 ? sizeof(kRamNotePrefix) - 1 : 0;
        for (size_t i = from; i < e.note.size(); ++i) {
            note += e.note[i] == '\n' ? std::string("\\n") : std::string(1, e.note[i]);
        }
        std::printf("    RAM: %s%s%s\n", name.empty() ? "" : name.c_str(), name.empty() ? "" : ": ", note.c_str());
    }
}

size_t PrintFirmwareFaults(const sim::fw::ChipFirmware& firmware)
{
    std::vector<std::string> faults = firmware.Faults();
    for (const std::string& fault : faults) {
        std::printf("firmware fault: %s\n", fault.c_str());
    }
    return faults.size();
}

bool RemoveAndUnload(kshim::host::Os& os, kshim::host::OsDevice* device)
{
    if (device != nullptr) {
        os.Remove(device);
    }
    kshim::host::UnloadReport report = os.Unload();
    if (!report.clean) {
        std::printf("driver unloaded with leftovers:\n%s", report.text.c_str());
        return false;
    }
    std::printf("driver unloaded: every allocation, mapping, thread and framework object was returned\n");
    return true;
}

const char* FwStateName(uint32_t state)
{
    switch (state) {
    case 0:
        return "ROM not running";
    case 1:
        return "ROM ready for download";
    case 3:
        return "RAM code running";
    default:
        return "unknown";
    }
}

}  // namespace qzlsim
