// A firmware download against a simulated chip: the adapter of the firmware command tests with its
// command queue, port 0, "PlatformFWCmdThread" and the host interface stand-in that hands each
// message to the simulated boot ROM, whose download commands and data the ROM's download state
// machine takes over; and a simulated chip under the adapter for every register the download reads
// (firmware state, ownership, the older chip's busy register).
// The firmware package is written into a file root as the bring-up finds it: the Wi-Fi container
// ("qzlwlan.dat") and the separate files (Bluetooth patch, 3404 images) beside the driver.
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
#include "hal/chips/qzarvel2x.h"
#include "hal/chips/qz3404.h"
#include "hal/common/fwdownload.h"
#include "hal/common/fwfile.h"
#include "kshim/host/files.h"
#include "kshim/host/pci_device.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"

namespace fwdl {

constexpr uint64_t kBarBase = 0xD0000000;
inline const char16_t kContainerPath[] = u"\\SystemRoot\\System32\\drivers\\qzlwlan.dat";
inline const char kContainerName[] = "\\SystemRoot\\System32\\drivers\\qzlwlan.dat";
inline std::string DriverFile(const std::string& name) { return "\\SystemRoot\\System32\\drivers\\" + name; }

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
        kshim::host::FilesSetRoot("");
        if (!root_.empty()) {
            std::filesystem::remove_all(root_);
        }
    }

    // The adapter over a simulated chip of this device id, its standard firmware package in the
    // file root ("FWBin" 1), and the boot ROM expecting the package's images.
    void SetUpChip(USHORT deviceId)
    {
        char pattern[] = "/tmp/qzl-fwdl-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        kshim::host::FilesSetRoot(root_);

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
        sim::fw::RomDownload* download = download_.get();
        if (generation_ == sim::chip::Generation::Older) {
            chip_->SetReadHook(QZ3404_FW_STATE_REGISTER,
                               [download](sim::chip::RegisterFile&, uint32_t) { return download->FwState() << 1; });
        } else {
            chip_->SetReadHook(ARVEL_FW_STATE_REGISTER,
                               [download](sim::chip::RegisterFile&, uint32_t) { return download->FwState(); });
        }

        chipCode_ = a->HalInfo.ChipCode;
        for (sim::fw::NamedImage& n : sim::fw::StandardImages(chipCode_)) {
            images_[n.name] = n;
        }
        WritePackage();
        ExpectNamedImages();
    }

    // Replaces one image of the package (by name) in the files and in what the ROM expects, unless
    // the ROM is to expect another image under that name.
    void ReplaceImage(const std::string& name, const sim::fw::Image& image,
                      const std::optional<sim::fw::Image>& romExpects = std::nullopt)
    {
        images_.at(name).image = image;
        if (romExpects) {
            romExpects_[name] = *romExpects;
        }
        WritePackage();
        ExpectNamedImages();
    }

    // Writes the package: the container of every image that belongs in it, the others as files.
    void WritePackage()
    {
        std::vector<sim::fw::ContainerEntry> entries;
        for (const auto& [name, n] : images_) {
            if (n.inContainer) {
                entries.push_back({name, "20240517093000", n.image.bytes});
            } else {
                ASSERT_TRUE(kshim::host::FilesWrite(DriverFile(name), n.image.bytes));
            }
        }
        if (!entries.empty()) {
            ASSERT_TRUE(kshim::host::FilesWrite(kContainerName, sim::fw::BuildContainer(entries)));
        }
    }

    // The ROM expects the images the adapter's descriptor names.
    void ExpectNamedImages()
    {
        const CHIP_HAL_INFO& info = adapter_->HalInfo;
        auto expect = [this](PCSTR name, sim::fw::ImageKind kind) {
            if (name != nullptr && romExpects_.count(name) != 0) {
                download_->Expect(kind, romExpects_.at(name));
            } else if (name != nullptr && images_.count(name) != 0) {
                download_->Expect(kind, images_.at(name).image);
            }
        };
        expect(info.RamCodeFileName, sim::fw::ImageKind::RamCode);
        expect(info.RomPatchFileName, generation_ == sim::chip::Generation::Older ? sim::fw::ImageKind::Qz3404Patch
                                                                                 : sim::fw::ImageKind::RomPatch);
        expect(info.BtPatchFileName, sim::fw::ImageKind::BtPatch);
    }

    // The bring-up's loading of the Wi-Fi container into the adapter (a missing file leaves none).
    void LoadContainer()
    {
        ULONG size = 0;
        PUCHAR buffer = HalLoadBinfromPath(adapter_.get(), kContainerPath, &size);
        HalFwSetContainer(&adapter_->FwFiles, TRUE, buffer, size);
    }

    // Pre-download, ROM patch, Bluetooth patch (when the chip has the slot) and RAM code, as the
    // bring-up runs them; stops at the first failure, whose status it returns.
    NTSTATUS Download()
    {
        MP_ADAPTER* a = adapter_.get();
        NTSTATUS status = a->HalOps.PreFirmwareDownloadInit(a);
        if (NT_SUCCESS(status)) {
            ExpectNamedImages();
            status = a->HalOps.LoadRomPatch(a);
        }
        if (NT_SUCCESS(status) && a->HalOps.LoadBtRomPatch != nullptr) {
            btStatus_ = a->HalOps.LoadBtRomPatch(a);
        }
        if (NT_SUCCESS(status)) {
            status = a->HalOps.LoadFirmware(a);
        }
        return status;
    }

    // Runs a step that polls the chip (1 ms apart) on a clock running 20 times faster than real
    // time; gives its status and the clock's milliseconds it took.
    template <typename F>
    NTSTATUS Polled(F step, int64_t* elapsedMs)
    {
        kshim::host::ClockSetReal(20);
        const int64_t start = kshim::host::ClockNow();
        NTSTATUS status = step();
        *elapsedMs = (kshim::host::ClockNow() - start) / 10000;
        return status;
    }

    // The image names of the adapter's descriptor.
    std::string RamCodeName() { return adapter_->HalInfo.RamCodeFileName; }
    std::string RomPatchName() { return adapter_->HalInfo.RomPatchFileName; }

    sim::fw::RomDownload& DlRom() { return *download_; }
    const sim::fw::Image& ImageNamed(PCSTR name) { return images_.at(name).image; }

    // The regions the ROM received of one kind, in order.
    std::vector<sim::fw::DownloadRegion> RegionsOf(sim::fw::ImageKind kind)
    {
        std::vector<sim::fw::DownloadRegion> out;
        for (const auto& r : DlRom().Regions()) {
            if (r.kind == kind) {
                out.push_back(r);
            }
        }
        return out;
    }

    size_t StepsOf(sim::fw::DownloadStep::Kind kind)
    {
        size_t n = 0;
        for (const auto& s : DlRom().Steps()) {
            n += s.kind == kind ? 1 : 0;
        }
        return n;
    }

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

    std::unique_ptr<sim::chip::Chip> chip_;
    std::unique_ptr<sim::fw::RomDownload> download_;
    std::map<std::string, sim::fw::NamedImage> images_;
    std::map<std::string, sim::fw::Image> romExpects_;
    USHORT chipCode_ = 0;
    NTSTATUS btStatus_ = STATUS_SUCCESS;

private:
    std::string root_;
};

}  // namespace fwdl
