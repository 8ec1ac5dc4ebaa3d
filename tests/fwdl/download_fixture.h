// A firmware download against a simulated chip: the adapter of the firmware command tests with its
// command queue, port 0, "PlatformFWCmdThread" and the host interface stand-in that hands each
// message to the simulated boot ROM, whose download commands and data the ROM's download state
// machine takes over; and a simulated chip under the adapter for every register the download reads
// (firmware state, ownership, the older chip's busy register). The firmware package is written into
// a file root as the bring-up finds it: the Wi-Fi container ("qzlwlan.dat") and the separate files
// (Bluetooth patch, 3404 images) beside the driver.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "chip/chip.h"
#include "fw/image_builder.h"
#include "fw/rom_download.h"
#include "fwcmd/fwcmd_fixture.h"
#include "hal/chips/qz3404.h"
#include "hal/chips/qzarvel2x.h"
#include "hal/common/fwdownload.h"
#include "hal/common/fwfile.h"
#include "kshim/host/files.h"
#include "kshim/host/pci_device.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"

namespace fwdl {

constexpr uint64_t kBarBase = 0xD0000000;
inline const char16_t kContainerPath[] = u"\\SystemRoot\\System32\\drivers\\qzlwlan.dat";
inline std::string DriverFile(const std::string& name) { return sim::fw::kPackageFolder + name; }

// A second- or third-generation RAM code: a first region that carries the identification text, then
// `more` regions (seeds of their own).
inline sim::fw::Image RamCodeWith(std::vector<sim::fw::RamRegion> more,
                                  sim::fw::RamCodeFault fault = sim::fw::RamCodeFault::None)
{
    sim::fw::RamCodeSpec spec;
    spec.identificationText = "QZTEST WLAN RAM code";
    spec.regions.push_back({0x00900000, 0xA0000, 0x01, 0, 7});
    uint32_t seed = 100;
    for (sim::fw::RamRegion r : more) {
        r.seed = seed++;
        spec.regions.push_back(r);
    }
    return sim::fw::BuildRamCode(spec, fault);
}

// A chip's firmware package in a file root of its own, and what the boot ROM is told to expect.
class Package {
public:
    ~Package()
    {
        if (!root_.empty()) {
            kshim::host::FilesSetRoot("");
            std::filesystem::remove_all(root_);
        }
    }

    // A new file root holding the chip's standard package.
    void Create(USHORT chipCode)
    {
        char pattern[] = "/tmp/qzl-fwdl-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        kshim::host::FilesSetRoot(root_);
        images_ = sim::fw::StandardImages(chipCode);
        ASSERT_TRUE(sim::fw::WritePackage(images_));
    }

    // Replaces one image (by name) in the files; the ROM expects `romExpects` under that name when
    // given, the new image otherwise.
    void Replace(const std::string& name, const sim::fw::Image& image,
                 const std::optional<sim::fw::Image>& romExpects = std::nullopt)
    {
        for (sim::fw::NamedImage& n : images_) {
            if (n.name == name) {
                n.image = image;
            }
        }
        if (romExpects) {
            romExpects_[name] = *romExpects;
        } else {
            romExpects_.erase(name);
        }
        ASSERT_TRUE(sim::fw::WritePackage(images_));
    }

    void SetInContainer(const std::string& name, bool inContainer)
    {
        for (sim::fw::NamedImage& n : images_) {
            if (n.name == name) {
                n.inContainer = inContainer;
            }
        }
        ASSERT_TRUE(sim::fw::WritePackage(images_));
    }

    // The ROM expects the images the descriptor names.
    void ExpectIn(sim::fw::RomDownload& rom, const CHIP_HAL_INFO& info) const
    {
        std::vector<sim::fw::NamedImage> expected = images_;
        for (sim::fw::NamedImage& n : expected) {
            if (romExpects_.count(n.name) != 0) {
                n.image = romExpects_.at(n.name);
            }
        }
        auto name = [](PCSTR text) { return std::string(text != nullptr ? text : ""); };
        rom.ExpectNamed(expected, name(info.RamCodeFileName), name(info.RomPatchFileName), name(info.BtPatchFileName));
    }

    const sim::fw::Image& Named(const std::string& name) const
    {
        for (const sim::fw::NamedImage& n : images_) {
            if (n.name == name) {
                return n.image;
            }
        }
        throw std::out_of_range(name);
    }

private:
    std::string root_;
    std::vector<sim::fw::NamedImage> images_;
    std::map<std::string, sim::fw::Image> romExpects_;
};

// The bring-up's loading of the Wi-Fi container into the adapter (a missing file leaves none).
inline void LoadContainer(PMP_ADAPTER adapter)
{
    ULONG size = 0;
    PUCHAR buffer = HalLoadBinfromPath(adapter, kContainerPath, &size);
    HalFwSetContainer(&adapter->FwFiles, TRUE, buffer, size);
}

// The regions the ROM received of one kind, in order; the steps of one kind it saw.
inline std::vector<sim::fw::DownloadRegion> RegionsOf(const sim::fw::RomDownload& rom, sim::fw::ImageKind kind)
{
    std::vector<sim::fw::DownloadRegion> out;
    for (const auto& r : rom.Regions()) {
        if (r.kind == kind) {
            out.push_back(r);
        }
    }
    return out;
}
inline size_t StepsOf(const sim::fw::RomDownload& rom, sim::fw::DownloadStep::Kind kind)
{
    size_t n = 0;
    for (const auto& s : rom.Steps()) {
        n += s.kind == kind ? 1 : 0;
    }
    return n;
}

class DownloadTest : public fwcmdtest::FwCmdFixture {
protected:
    void TearDown() override
    {
        MP_ADAPTER* a = adapter_.get();
        if (chip_) {
            (void)NdisCommonHifIoSpaceUnmap(a);
        }
        HalFreeBigFW(&a->FwFiles);
        AsicArvel2xFreeFwImageCache();
        fwcmdtest::FwCmdFixture::TearDown();
        if (chip_) {
            kshim::host::PciDetach(chip_.get());
        }
        EXPECT_EQ(kshim::host::FilesOpenHandles(), 0u) << "a file was left open";
    }

    // The adapter over a simulated chip of this device id, its standard firmware package in the
    // file root ("FWBin" 1), and the boot ROM expecting the package's images.
    void SetUpChip(USHORT deviceId)
    {
        chip_ = std::make_unique<sim::chip::Chip>(deviceId);
        ASSERT_TRUE(kshim::host::PciAttach(chip_.get(), kBarBase));
        SetUpDevice(deviceId);
        MP_ADAPTER* a = adapter_.get();
        a->RegistryBlock.FWBin = 1;
        PPCI_HIF_CONTEXT hif = a->HifContext;
        hif->Adapter = a;
        hif->BarLength = static_cast<ULONG>(chip_->BarSize(0));
        PHYSICAL_ADDRESS start;
        start.QuadPart = static_cast<LONGLONG>(kBarBase);
        hif->BarVa = static_cast<PUCHAR>(MmMapIoSpaceEx(start, hif->BarLength, PAGE_READWRITE | PAGE_NOCACHE));
        ASSERT_NE(hif->BarVa, nullptr);

        download_ = std::make_unique<sim::fw::RomDownload>(generation_);
        download_->AttachTo(Rom());
        download_->ConnectStateRegister(*chip_);
        package_.Create(a->HalInfo.ChipCode);
        ExpectNamedImages();
    }

    void ReplaceImage(const std::string& name, const sim::fw::Image& image,
                      const std::optional<sim::fw::Image>& romExpects = std::nullopt)
    {
        package_.Replace(name, image, romExpects);
        ExpectNamedImages();
    }
    void ExpectNamedImages() { package_.ExpectIn(*download_, adapter_->HalInfo); }
    void LoadContainer() { fwdl::LoadContainer(adapter_.get()); }

    // Pre-download, ROM patch, Bluetooth patch (when the chip has the slot) and RAM code, as the
    // bring-up runs them; stops at the first failure, whose status it returns.
    NTSTATUS Download()
    {
        MP_ADAPTER* a = adapter_.get();
        NTSTATUS status = a->HalOps.PreFirmwareDownloadInit(a);
        if (status == STATUS_SUCCESS) {
            ExpectNamedImages();
            status = a->HalOps.LoadRomPatch(a);
        }
        if (status == STATUS_SUCCESS && a->HalOps.LoadBtRomPatch != nullptr) {
            btStatus_ = a->HalOps.LoadBtRomPatch(a);
        }
        if (status == STATUS_SUCCESS) {
            status = a->HalOps.LoadFirmware(a);
        }
        return status;
    }

    // Runs a step that polls the chip (1 ms apart) on a clock running 20 times faster than real
    // time; gives its status and the clock's milliseconds it took.
    template <typename F>
    NTSTATUS Polled(F step, int64_t* elapsedMs)
    {
        kshim::host::ClockSetAuto();
        const int64_t start = kshim::host::ClockNow();
        NTSTATUS status = step();
        *elapsedMs = (kshim::host::ClockNow() - start) / 10000;
        return status;
    }

    // The image names of the adapter's descriptor.
    std::string RamCodeName() { return adapter_->HalInfo.RamCodeFileName; }
    std::string RomPatchName() { return adapter_->HalInfo.RomPatchFileName; }

    sim::fw::RomDownload& DlRom() { return *download_; }
    const sim::fw::Image& ImageNamed(const std::string& name) { return package_.Named(name); }
    std::vector<sim::fw::DownloadRegion> RegionsOf(sim::fw::ImageKind kind) { return fwdl::RegionsOf(*download_, kind); }
    size_t StepsOf(sim::fw::DownloadStep::Kind kind) { return fwdl::StepsOf(*download_, kind); }

    // Download commands the host interface was handed (the download data excepted): their ids.
    std::vector<uint8_t> CommandIds()
    {
        std::vector<uint8_t> ids;
        for (const auto& h : HandedOverMessages()) {
            if (h.cmdClass != FW_CMD_CLASS_DOWNLOAD_DATA && h.bytes.size() > FW_CMD_TXD_LENGTH + 4) {
                ids.push_back(h.bytes[FW_CMD_TXD_LENGTH + 4]);
            }
        }
        return ids;
    }

    Package package_;
    std::unique_ptr<sim::chip::Chip> chip_;
    std::unique_ptr<sim::fw::RomDownload> download_;
    NTSTATUS btStatus_ = STATUS_SUCCESS;
};

}  // namespace fwdl
