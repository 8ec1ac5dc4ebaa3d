// The firmware download against the simulated boot ROM: a whole download per chip with every byte
// and data mode confirmed by the ROM, the split of data into pieces, the patch semaphore answers,
// the waits for the ROM and for the RAM code, dropped answers, the image caches, and images the
// loaders refuse before sending anything.
#include <gtest/gtest.h>

#include "download_fixture.h"

namespace {

using fwdl::DownloadTest;
using sim::fw::DownloadRegion;
using sim::fw::DownloadStep;
using sim::fw::ImageKind;

// ---- a whole download ----------------------------------------------------------------------------

class WholeDownload : public DownloadTest, public ::testing::WithParamInterface<USHORT> {};

TEST_P(WholeDownload, EveryByteAndDataModeIsConfirmedAndTheRamCodeRuns)
{
    SetUpChip(GetParam());
    MP_ADAPTER* a = adapter_.get();
    a->RegistryBlock.LoadBtPatchEn = 1;
    LoadContainer();
    ASSERT_EQ(Download(), STATUS_SUCCESS);
    EXPECT_EQ(btStatus_, a->HalInfo.BtPatchFileName != nullptr || a->HalOps.LoadBtRomPatch == nullptr
                             ? STATUS_SUCCESS
                             : STATUS_UNSUCCESSFUL);

    EXPECT_TRUE(DlRom().Faults().empty()) << ::testing::PrintToString(DlRom().Faults());
    EXPECT_TRUE(DlRom().PatchFinished());
    EXPECT_TRUE(DlRom().RamStarted());
    EXPECT_EQ(a->HalOps.GetFwSyncValue(a), FW_STATE_RAM_RUNNING);

    // Every downloaded piece of both images arrived whole, with the data mode of its flags.
    const sim::fw::Image& ram = ImageNamed(a->HalInfo.RamCodeFileName);
    std::vector<DownloadRegion> regions = RegionsOf(ImageKind::RamCode);
    ASSERT_EQ(regions.size(), 3u);  // the standard RAM code skips its third region
    const uint32_t modes[3] = {0x80000009, 0x80000009, 0x8000004F};  // flags 0x01, 0x21, 0x17
    size_t next = 0;
    for (const sim::fw::Piece& p : ram.pieces) {
        if (!p.downloaded) {
            continue;
        }
        SCOPED_TRACE(next);
        EXPECT_EQ(regions[next].address, p.address);
        EXPECT_EQ(regions[next].received, p.length);
        EXPECT_EQ(regions[next].dataMode, modes[next]);
        EXPECT_TRUE(regions[next].Verified());
        ++next;
    }
    std::vector<DownloadRegion> patch = RegionsOf(ImageKind::RomPatch);
    ASSERT_EQ(patch.size(), 2u);  // the middle section is not of type 2
    for (const DownloadRegion& r : patch) {
        EXPECT_EQ(r.dataMode, 0x8000000Du) << "information word 0x01000002";
        EXPECT_TRUE(r.Verified());
    }
    EXPECT_EQ(DlRom().StartOption(), 3u);
    EXPECT_EQ(DlRom().EntryAddress(), ram.entryAddress);

    // The driver's side: the start mark, the identification text, both caches complete.
    EXPECT_EQ(a->FwJustDownloaded, 1);
    EXPECT_NE(a->FwStartTime, 0);
    EXPECT_EQ(a->FwIdentText[0], ';');
    EXPECT_EQ(a->FwIdentText[FW_IDENT_TEXT_SIZE - 1], '\n');
    EXPECT_EQ(std::string(a->FwIdentText + 1, 6), a->HalInfo.ChipCode == 0x3602 ? "QZ3602" : "QZ3502");
    EXPECT_TRUE(g_FwRomPatchCache.Valid);
    EXPECT_TRUE(g_FwRamCodeCache.Valid);

    // Steps in the protocol's order: semaphore, sections, finish, regions, start.
    std::vector<uint8_t> ids = CommandIds();
    ASSERT_GE(ids.size(), 7u);
    EXPECT_EQ(ids.front(), FW_DL_CMD_PATCH_SEMAPHORE);
    EXPECT_EQ(ids.back(), FW_DL_CMD_FW_START);
}

INSTANTIATE_TEST_SUITE_P(Chips, WholeDownload, ::testing::Values(USHORT(0x3502), USHORT(0x3602)),
                         fwcmdtest::DeviceTestName);

}  // namespace
