// The older chip 3404: files only, its one-body ROM patch at 0xDC000, its firmware state in bits 1-3
// of its own register, the busy register read before each piece of data, the semaphore answer it
// keeps, and its pre-download sequence reset and DMA restart.
#include <gtest/gtest.h>

#include "download_fixture.h"

namespace {

using fwdl::DownloadTest;
using sim::fw::DownloadRegion;
using sim::fw::DownloadStep;
using sim::fw::ImageKind;

constexpr uint32_t kDmaConfig = 0x50000208;  // the chip address behind BAR offset 0x4208

class OlderChip : public DownloadTest {
protected:
    void SetUp() override
    {
        DownloadTest::SetUp();
        SetUpChip(0x3404);
    }
};

TEST_F(OlderChip, WholeDownloadFromFiles)
{
    MP_ADAPTER* a = adapter_.get();
    ASSERT_EQ(Download(), STATUS_SUCCESS);
    EXPECT_TRUE(DlRom().Faults().empty()) << ::testing::PrintToString(DlRom().Faults());
    EXPECT_EQ(a->HalOps.GetFwSyncValue(a), 3u) << "RAM code running";
    std::vector<DownloadRegion> patch = RegionsOf(ImageKind::Qz3404Patch);
    ASSERT_EQ(patch.size(), 1u);
    EXPECT_EQ(patch[0].address, 0xDC000u);
    EXPECT_EQ(patch[0].dataMode, 0x80000000u);
    EXPECT_TRUE(patch[0].Verified());
    // Region flags 0x31: bit 4 adds nothing on this chip.
    std::vector<DownloadRegion> ram = RegionsOf(ImageKind::RamCode);
    ASSERT_EQ(ram.size(), 2u);
    EXPECT_EQ(ram[0].dataMode, 0x80000000u);
    EXPECT_EQ(ram[1].dataMode, 0x80000009u);
    // No caches, no start mark, no identification text on this chip.
    EXPECT_FALSE(g_FwRomPatchCache.Valid);
    EXPECT_FALSE(g_FwRamCodeCache.Valid);
    EXPECT_EQ(a->FwCmd.FwJustDownloaded, 0);
    EXPECT_EQ(a->FwIdentText[0], 0);
}

// A patch file of 31 bytes: download init for 1 byte at 0xDC000 and one piece of 1 byte.
TEST_F(OlderChip, PatchOf31BytesSendsOneByte)
{
    sim::fw::Qz3404PatchSpec spec;
    spec.bodyLength = 1;
    spec.seed = 9;
    ReplaceImage(RomPatchName(), sim::fw::Build3404RomPatch(spec));
    MP_ADAPTER* a = adapter_.get();
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    ASSERT_EQ(a->HalOps.LoadRomPatch(a), STATUS_SUCCESS);
    std::vector<DownloadRegion> patch = RegionsOf(ImageKind::Qz3404Patch);
    ASSERT_EQ(patch.size(), 1u);
    EXPECT_EQ(patch[0].address, 0xDC000u);
    EXPECT_EQ(patch[0].announced, 1u);
    EXPECT_EQ(patch[0].pieces, std::vector<uint32_t>{1});
    EXPECT_TRUE(DlRom().PatchFinished());

    // 30 bytes (the bare header) are refused before anything is sent.
    spec.bodyLength = 0;
    ReplaceImage(RomPatchName(), sim::fw::Build3404RomPatch(spec));
    DlRom().Reset();
    EXPECT_EQ(a->HalOps.LoadRomPatch(a), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(DlRom().Steps().empty());
}

// Before each piece the busy register is read while its bit 1 is set, at most 10 times 1 ms
// apart; then the piece goes out in any case.
TEST_F(OlderChip, BusyRegisterIsWaitedForThenIgnored)
{
    sim::fw::Qz3404PatchSpec spec;
    spec.bodyLength = 3000;  // two pieces
    ReplaceImage(RomPatchName(), sim::fw::Build3404RomPatch(spec));
    MP_ADAPTER* a = adapter_.get();
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    EXPECT_EQ(a->ScatterBusyRegister, 0x81090108u);
    int busyReads = 3;  // the first piece waits three reads; the second finds it stuck
    chip_->SetReadHook(0x81090108u, [&busyReads](sim::chip::RegisterFile&, uint32_t) {
        return busyReads-- > 0 || busyReads < -1 ? 2u : 0u;
    });
    chip_->ClearTranscript();
    int64_t ms = 0;
    ASSERT_EQ(Polled([a] { return a->HalOps.LoadRomPatch(a); }, &ms), STATUS_SUCCESS);
    EXPECT_EQ(chip_->AccessesTo(0x81090108u).size(), 4u + 10u);
    EXPECT_GE(ms, 13);
    EXPECT_EQ(RegionsOf(ImageKind::Qz3404Patch).at(0).pieces, (std::vector<uint32_t>{2048, 952}));
    EXPECT_TRUE(DlRom().PatchFinished());
}

// The older chip does not clear the semaphore answer before it asks: with the answer lost, an
// earlier "patch present" still counts and nothing is downloaded.
TEST_F(OlderChip, EarlierSemaphoreAnswerCountsUntilANewOneArrives)
{
    MP_ADAPTER* a = adapter_.get();
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    a->FwEvent.PatchSemaphoreStatus = 1;
    Rom().Arm(sim::fw::Knob::Drop, FW_DL_CMD_PATCH_SEMAPHORE);
    auto [status, ms] = fwcmdtest::RunWithManualClock([a] { return a->HalOps.LoadRomPatch(a); });
    EXPECT_EQ(status, STATUS_SUCCESS);
    EXPECT_GE(ms, 5000) << "the semaphore's answer was waited for";
    EXPECT_EQ(StepsOf(DownloadStep::Kind::Semaphore), 1u);
    EXPECT_EQ(StepsOf(DownloadStep::Kind::PatchInit), 0u);
}

// Pre-download: the command sequence restarts and the busy register is known; the DMA engine is
// restarted unless both of its enable bits are set.
TEST_F(OlderChip, PreDownloadRestartsDmaOnlyWhenNotEnabled)
{
    MP_ADAPTER* a = adapter_.get();
    (void)GetNextSeqNum(a, SEQ_NUM_CLASS_FW_CMD, TRUE);
    chip_->Poke(kDmaConfig, 0x5);
    chip_->ClearTranscript();
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    EXPECT_EQ(a->Cmd.SeqNum[SEQ_NUM_CLASS_FW_CMD], 0);
    size_t writes = 0;
    for (const auto& access : chip_->AccessesTo(kDmaConfig)) {
        writes += access.write ? 1 : 0;
    }
    EXPECT_EQ(writes, 0u);

    chip_->Poke(kDmaConfig, 0x1);
    chip_->ClearTranscript();
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    writes = 0;
    for (const auto& access : chip_->AccessesTo(kDmaConfig)) {
        writes += access.write ? 1 : 0;
    }
    EXPECT_GE(writes, 2u) << "configuration off, then on";
    EXPECT_EQ(chip_->Peek(kDmaConfig) & 0x5, 0x5u);
}

// State 0: driver own, then the ROM is waited for; a ROM that never comes up fails the step and
// leaves the DMA engine alone.
TEST_F(OlderChip, RomThatNeverComesUpFailsBeforeTheDmaRestart)
{
    MP_ADAPTER* a = adapter_.get();
    DlRom().Knobs().romNeverReady = true;
    chip_->ClearTranscript();
    int64_t ms = 0;
    EXPECT_EQ(Polled([a] { return a->HalOps.PreFirmwareDownloadInit(a); }, &ms), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(DlRom().StateReads(), 1u + 501u);
    EXPECT_TRUE(chip_->AccessesTo(kDmaConfig).empty());
}

}  // namespace
