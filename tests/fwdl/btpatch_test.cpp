// The Bluetooth ROM patch of 3501 and 3502: a file (never the container or a cache), asked about
// first, downloaded to where the ROM answers, finished with payload byte 1 set.
#include <gtest/gtest.h>

#include "download_fixture.h"

namespace {

using fwdl::DownloadTest;
using sim::fw::DownloadRegion;
using sim::fw::DownloadStep;
using sim::fw::ImageKind;

class BtPatch : public DownloadTest {
protected:
    void SetUp() override
    {
        DownloadTest::SetUp();
        SetUpChip(0x3501);
        adapter_->RegistryBlock.LoadBtPatchEn = 1;
        ASSERT_EQ(adapter_->HalOps.PreFirmwareDownloadInit(adapter_.get()), STATUS_SUCCESS);
    }
    NTSTATUS Load() { return adapter_->HalOps.LoadBtRomPatch(adapter_.get()); }
    std::string BtName() { return adapter_->HalInfo.BtPatchFileName; }
};

TEST_F(BtPatch, AbsentPatchIsDownloadedAndFinished)
{
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    EXPECT_TRUE(DlRom().Faults().empty()) << ::testing::PrintToString(DlRom().Faults());
    EXPECT_TRUE(DlRom().BtPatchFinished());
    std::vector<DownloadRegion> bt = RegionsOf(ImageKind::BtPatch);
    ASSERT_EQ(bt.size(), 1u);  // the last section of target kind 2 only
    EXPECT_EQ(bt[0].address, 0x00900000u);
    EXPECT_EQ(bt[0].dataMode, 0x80000049u) << "information word 0x02000000";
    EXPECT_TRUE(bt[0].Verified());
    std::vector<DownloadStep> steps = DlRom().Steps();
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back().kind, DownloadStep::Kind::PatchFinish);
    EXPECT_EQ(steps.back().value, 1u) << "finish with payload byte 1 set";
    EXPECT_FALSE(g_FwRomPatchCache.Valid) << "no cache for the Bluetooth patch";

    // Asked again, the ROM says it is present: nothing more is sent.
    const size_t before = DlRom().Steps().size();
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    EXPECT_EQ(DlRom().Steps().size(), before + 1);
    EXPECT_EQ(DlRom().Steps().back().kind, DownloadStep::Kind::BtQuery);
}

// The ROM answers where the patch goes: the section is sent there.
TEST_F(BtPatch, PatchGoesWhereTheRomSays)
{
    DlRom().Knobs().btPatchAddress = 0x00A40000;
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    std::vector<DownloadRegion> bt = RegionsOf(ImageKind::BtPatch);
    ASSERT_EQ(bt.size(), 1u);
    EXPECT_EQ(bt[0].address, 0x00A40000u);
    EXPECT_TRUE(bt[0].Verified());
    EXPECT_TRUE(DlRom().BtPatchFinished());
}

// While the ROM answers status 0 it is asked again, 100 microseconds apart, 51 times in all; the
// patch then goes where the last answer said.
TEST_F(BtPatch, StatusZeroIsAskedAgain51Times)
{
    DlRom().Knobs().btPatchStatus = 0;
    DlRom().Knobs().btPatchAddress = 0x00A80000;
    ASSERT_EQ(Load(), STATUS_SUCCESS);
    EXPECT_EQ(StepsOf(DownloadStep::Kind::BtQuery), 51u);
    std::vector<DownloadRegion> bt = RegionsOf(ImageKind::BtPatch);
    ASSERT_EQ(bt.size(), 1u);
    EXPECT_EQ(bt[0].address, 0x00A80000u);
    EXPECT_TRUE(DlRom().BtPatchFinished());
}

TEST_F(BtPatch, DisabledSendsNothing)
{
    adapter_->RegistryBlock.LoadBtPatchEn = 0;
    EXPECT_EQ(Load(), STATUS_SUCCESS);
    EXPECT_TRUE(DlRom().Steps().empty());
}

// A missing file, a file of 30 bytes and a file without the Bluetooth mark are refused before
// anything is sent; so is a chip that names no Bluetooth patch.
TEST_F(BtPatch, RefusalsSendNothing)
{
    ASSERT_TRUE(kshim::host::FilesRemove(fwdl::DriverFile(BtName())));
    EXPECT_EQ(Load(), STATUS_UNSUCCESSFUL);

    sim::fw::Image small;
    small.bytes = sim::fw::Pattern(3, 30);
    ReplaceImage(BtName(), small);
    EXPECT_EQ(Load(), STATUS_UNSUCCESSFUL);

    sim::fw::RomPatchSpec spec;
    spec.bluetooth = true;
    spec.sections = {{2, 0x00900000, 0x100, 0, 2, 4}};
    ReplaceImage(BtName(), sim::fw::BuildRomPatch(spec, sim::fw::RomPatchFault::BtWrongMark));
    EXPECT_EQ(Load(), STATUS_UNSUCCESSFUL);

    adapter_->HalInfo.BtPatchFileName = nullptr;
    EXPECT_EQ(Load(), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(DlRom().Steps().empty());
}

}  // namespace
