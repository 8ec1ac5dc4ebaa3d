// The firmware download end to end on a simulated chip of each generation: the real driver with its
// rings started and its interrupt enabled, the download commands on the command ring, the image data
// on the download ring, the boot ROM's answers on the event ring, and the ROM's download model
// checking every region, byte and data mode and reporting the firmware state.
#include <gtest/gtest.h>

#include "download_fixture.h"
#include "fwcmd/ring_fixture.h"

namespace {

using sim::fw::DownloadRegion;
using sim::fw::DownloadStep;
using sim::fw::ImageKind;

class RingDownload : public fwcmdtest::RingDevice, public ::testing::WithParamInterface<USHORT> {
protected:
    void SetUp() override
    {
        fwcmdtest::RingDevice::SetUp();
        Bring(GetParam());
        if (HasFailure()) {
            return;
        }
        adapter_->RegistryBlock.FWBin = 1;
        download_ = std::make_unique<sim::fw::RomDownload>(generation_);
        download_->AttachTo(fw_->Rom());
        download_->ConnectStateRegister(*chip_);
        package_.Create(adapter_->HalInfo.ChipCode);
        package_.ExpectIn(*download_, adapter_->HalInfo);
        fwdl::LoadContainer(adapter_);
    }

    void TearDown() override
    {
        if (adapter_ != nullptr) {
            HalFreeBigFW(&adapter_->FwFiles);
        }
        AsicArvel2xFreeFwImageCache();
        fwcmdtest::RingDevice::TearDown();
        EXPECT_EQ(kshim::host::FilesOpenHandles(), 0u);
    }

    NTSTATUS Download()
    {
        NTSTATUS status = adapter_->HalOps.PreFirmwareDownloadInit(adapter_);
        if (status == STATUS_SUCCESS) {
            status = adapter_->HalOps.LoadRomPatch(adapter_);
        }
        if (status == STATUS_SUCCESS) {
            status = adapter_->HalOps.LoadFirmware(adapter_);
        }
        (void)fw_->WaitDelivered();
        return status;
    }

    fwdl::Package package_;
    std::unique_ptr<sim::fw::RomDownload> download_;
};

INSTANTIATE_TEST_SUITE_P(Generations, RingDownload, ::testing::Values<USHORT>(0x3502, 0x3602),
                         fwcmdtest::DeviceTestName);

TEST_P(RingDownload, RamCodeRunsWithEveryByteConfirmed)
{
    ASSERT_EQ(Download(), STATUS_SUCCESS);
    EXPECT_TRUE(download_->Faults().empty()) << ::testing::PrintToString(download_->Faults());
    EXPECT_EQ(adapter_->HalOps.GetFwSyncValue(adapter_), 3u) << "RAM code running";
    std::vector<DownloadRegion> patch = fwdl::RegionsOf(*download_, ImageKind::RomPatch);
    std::vector<DownloadRegion> ram = fwdl::RegionsOf(*download_, ImageKind::RamCode);
    ASSERT_EQ(patch.size(), 2u);
    ASSERT_EQ(ram.size(), 3u);
    for (const DownloadRegion& r : patch) {
        EXPECT_TRUE(r.Verified()) << std::hex << r.address;
        EXPECT_EQ(r.dataMode, 0x8000000Du);
    }
    for (const DownloadRegion& r : ram) {
        EXPECT_TRUE(r.Verified()) << std::hex << r.address;
    }
    EXPECT_EQ(ram[2].pieces, (std::vector<uint32_t>{2048, 2048, 904})) << "5000 bytes";
    EXPECT_EQ(ram[2].dataMode, 0x8000004Fu);
    EXPECT_TRUE(download_->PatchFinished());

    // Every command went over the command ring and every piece of data over the download ring.
    size_t commands = 0;
    size_t data = 0;
    for (const sim::fw::RingExchange& e : fw_->Exchanges()) {
        (e.ring == sim::fw::kCommandRing ? commands : data) += 1;
    }
    EXPECT_EQ(data, fwdl::StepsOf(*download_, DownloadStep::Kind::Data));
    EXPECT_EQ(commands, download_->Steps().size() - data);
    EXPECT_TRUE(hiftest::WaitFor([this] { return CommandRingIdle() && EventRecordsHome(); }));
    EXPECT_EQ(SlotsInUse(), 0u);
}

// A second download takes both images from the caches: no container, no file.
TEST_P(RingDownload, SecondDownloadComesFromTheCaches)
{
    ASSERT_EQ(Download(), STATUS_SUCCESS);
    const size_t firstSteps = download_->Steps().size();
    HalFreeBigFW(&adapter_->FwFiles);
    ASSERT_TRUE(kshim::host::FilesRemove(sim::fw::kWifiContainerName));
    download_->Reset();
    ASSERT_EQ(Download(), STATUS_SUCCESS);
    EXPECT_EQ(download_->Steps().size(), firstSteps);
    EXPECT_TRUE(download_->Faults().empty()) << ::testing::PrintToString(download_->Faults());
    EXPECT_TRUE(download_->RamStarted());
}

// A RAM code that never starts: the wait for it ends the download with 0xC0000001.
TEST_P(RingDownload, RamCodeThatNeverRunsFailsTheDownload)
{
    download_->Knobs().ramNeverRuns = true;
    EXPECT_EQ(Download(), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(download_->RamStarted());
    EXPECT_FALSE(g_FwRamCodeCache.Valid);
}

}  // namespace
