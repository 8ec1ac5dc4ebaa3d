// The firmware download against the simulated boot ROM: a whole download per chip with every byte
// and data mode confirmed by the ROM, the split of data into pieces, the patch semaphore answers,
// the waits for the ROM and for the RAM code, dropped answers, the image caches, and images the
// loaders refuse before sending anything.
#include <gtest/gtest.h>

#include <functional>

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
    LoadContainer();
    ASSERT_EQ(Download(), STATUS_SUCCESS);

    EXPECT_TRUE(DlRom().Faults().empty()) << ::testing::PrintToString(DlRom().Faults());
    EXPECT_TRUE(DlRom().PatchFinished());
    EXPECT_TRUE(DlRom().RamStarted());
    EXPECT_EQ(a->HalOps.GetFwSyncValue(a), 3u) << "RAM code running";

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
    EXPECT_EQ(a->FwCmd.FwJustDownloaded, 1);
    EXPECT_NE(a->FwStartTime, 0);
    EXPECT_EQ(a->FwIdentText[0], ';');
    EXPECT_EQ(a->FwIdentText[81], '\n') << "82 characters, the last a line end";
    EXPECT_EQ(std::string(a->FwIdentText + 1, 6), a->HalInfo.ChipCode == 0x3602 ? "QZ3602" : "QZ3502");
    EXPECT_TRUE(g_FwRomPatchCache.Valid);
    EXPECT_TRUE(g_FwRamCodeCache.Valid);

    // Steps in the protocol's order: semaphore, sections, finish, regions, start.
    std::vector<uint8_t> ids = CommandIds();
    ASSERT_GE(ids.size(), 7u);
    EXPECT_EQ(ids.front(), 0x10) << "patch semaphore";
    EXPECT_EQ(ids.back(), 0x02) << "firmware start";
}

INSTANTIATE_TEST_SUITE_P(Chips, WholeDownload, ::testing::Values(USHORT(0x3502), USHORT(0x3602)),
                         fwcmdtest::DeviceTestName);

// ---- the split of data into pieces ----------------------------------------------------------------

// Each region's data goes out in pieces of 2048 bytes from its start, the last one the remainder.
TEST_F(DownloadTest, RegionDataGoesOutIn2048BytePieces)
{
    SetUpChip(0x3602);
    const struct {
        uint32_t length;
        std::vector<uint32_t> pieces;
    } cases[] = {
        {1, {1}},       {2047, {2047}},       {2048, {2048}},
        {2049, {2048, 1}}, {4096, {2048, 2048}}, {5000, {2048, 2048, 904}},
    };
    std::vector<sim::fw::RamRegion> regions;
    uint32_t address = 0x00E00000;
    for (const auto& c : cases) {
        regions.push_back({address, c.length, 0x01, 0, 0});
        address += 0x10000;
    }
    ReplaceImage(RamCodeName(), fwdl::RamCodeWith(regions));
    LoadContainer();
    ASSERT_EQ(Download(), STATUS_SUCCESS);
    std::vector<DownloadRegion> got = RegionsOf(ImageKind::RamCode);
    ASSERT_EQ(got.size(), 1 + std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].length);
        EXPECT_EQ(got[i + 1].pieces, cases[i].pieces);
        EXPECT_TRUE(got[i + 1].Verified());
    }
}

// A patch section of no bytes gets its download init and no data.
TEST_F(DownloadTest, EmptySectionSendsInitOnly)
{
    SetUpChip(0x3502);
    sim::fw::RomPatchSpec spec;
    spec.sections = {{2, 0x000E0000, 0, 0x01000002, 0, 1}, {2, 0x000E4000, 300, 0x01000002, 0, 2}};
    ReplaceImage(RomPatchName(), sim::fw::BuildRomPatch(spec));
    LoadContainer();
    ASSERT_EQ(Download(), STATUS_SUCCESS);
    std::vector<DownloadRegion> got = RegionsOf(ImageKind::RomPatch);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].announced, 0u);
    EXPECT_TRUE(got[0].pieces.empty());
    EXPECT_EQ(got[1].pieces, std::vector<uint32_t>{300});
    EXPECT_TRUE(DlRom().Faults().empty()) << ::testing::PrintToString(DlRom().Faults());
}

// ---- the patch semaphore ---------------------------------------------------------------------------

struct SemaphoreCase {
    const char* name;
    uint8_t answer;
    NTSTATUS status;
    size_t sends;
    bool patchSent;
};

class PatchSemaphore : public DownloadTest, public ::testing::WithParamInterface<SemaphoreCase> {};

// Not granted on every one of the 50 sends: the patch goes in anyway. Present: nothing is sent and
// the cache is not marked complete. Refused (3, or an unknown answer): the patch fails.
TEST_P(PatchSemaphore, AnswerDecidesWhatFollows)
{
    const SemaphoreCase& c = GetParam();
    SetUpChip(0x3502);
    DlRom().Knobs().semaphoreAnswer = c.answer;
    LoadContainer();
    MP_ADAPTER* a = adapter_.get();
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    EXPECT_EQ(a->HalOps.LoadRomPatch(a), c.status);
    EXPECT_EQ(StepsOf(DownloadStep::Kind::Semaphore), c.sends);
    EXPECT_EQ(StepsOf(DownloadStep::Kind::PatchInit) != 0, c.patchSent);
    EXPECT_EQ(DlRom().PatchFinished(), c.patchSent);
    EXPECT_EQ(g_FwRomPatchCache.Valid != 0, c.patchSent);
    EXPECT_NE(g_FwRomPatchCache.Buffer, nullptr) << "the image stays cached, complete or not";
}

INSTANTIATE_TEST_SUITE_P(Answers, PatchSemaphore,
                         ::testing::Values(SemaphoreCase{"granted", 2, STATUS_SUCCESS, 1, true},
                                           SemaphoreCase{"notGranted", 0, STATUS_SUCCESS, 50, true},
                                           SemaphoreCase{"present", 1, STATUS_SUCCESS, 1, false},
                                           SemaphoreCase{"refused", 3, STATUS_UNSUCCESSFUL, 1, false},
                                           SemaphoreCase{"unknown", 9, STATUS_UNSUCCESSFUL, 1, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The third generation clears the answer before it asks; the older chip does not (its own test).
TEST_F(DownloadTest, SemaphoreAnswerIsClearedBeforeTheFirstSend)
{
    SetUpChip(0x3602);
    MP_ADAPTER* a = adapter_.get();
    a->FwEvent.PatchSemaphoreStatus = 1;  // an earlier download's answer
    DlRom().Knobs().semaphoreAnswer = 0;
    LoadContainer();
    ASSERT_EQ(a->HalOps.LoadRomPatch(a), STATUS_SUCCESS);
    EXPECT_EQ(StepsOf(DownloadStep::Kind::Semaphore), 50u);
    EXPECT_TRUE(DlRom().PatchFinished());
}

// ---- waiting for the RAM code, failed steps ----------------------------------------------------------

// RAM code that never comes up: 500 reads 1 ms apart, then the download fails and nothing is kept.
TEST_F(DownloadTest, RamCodeThatNeverRunsFailsAfter500Reads)
{
    SetUpChip(0x3602);
    DlRom().Knobs().ramNeverRuns = true;
    LoadContainer();
    MP_ADAPTER* a = adapter_.get();
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    ASSERT_EQ(a->HalOps.LoadRomPatch(a), STATUS_SUCCESS);
    const uint64_t before = DlRom().StateReads();
    int64_t ms = 0;
    EXPECT_EQ(Polled([a] { return a->HalOps.LoadFirmware(a); }, &ms), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(DlRom().StateReads() - before, 1u + 500u);  // the ROM check, then the wait
    EXPECT_GE(ms, 500);
    EXPECT_TRUE(DlRom().RamStarted()) << "the ROM accepted the start";
    EXPECT_EQ(a->FwCmd.FwJustDownloaded, 0);
    EXPECT_FALSE(g_FwRamCodeCache.Valid);
}

// The RAM code comes up on the 200th read after the start: the wait sees it.
TEST_F(DownloadTest, RamCodeThatComesUpLateIsWaitedFor)
{
    SetUpChip(0x3502);
    DlRom().Knobs().ramRunsAfterReads = 199;
    LoadContainer();
    int64_t ms = 0;
    EXPECT_EQ(Polled([this] { return Download(); }, &ms), STATUS_SUCCESS);
    EXPECT_GE(ms, 199);
    EXPECT_TRUE(g_FwRamCodeCache.Valid);
}

// A region whose bytes differ from the image the ROM knows: the ROM does not start the RAM code
// and the download fails.
TEST_F(DownloadTest, CorruptedRegionKeepsTheRamCodeFromRunning)
{
    SetUpChip(0x3602);
    sim::fw::Image good = ImageNamed(RamCodeName().c_str());
    sim::fw::Image bad = good;
    bad.bytes[good.pieces[1].fileOffset + 77] ^= 0x40;
    ReplaceImage(RamCodeName(), bad, good);
    LoadContainer();
    int64_t ms = 0;
    EXPECT_EQ(Polled([this] { return Download(); }, &ms), STATUS_UNSUCCESSFUL);
    EXPECT_FALSE(DlRom().RamStarted());
    std::vector<std::string> faults = DlRom().Faults();
    ASSERT_FALSE(faults.empty());
    EXPECT_NE(faults.front().find("byte 77 differs"), std::string::npos) << faults.front();
}

// A dropped answer to a region init: the send times out, the loader returns that status, and the
// command layer asks for recovery.
TEST_F(DownloadTest, DroppedAnswerFailsTheStepWithItsStatus)
{
    SetUpChip(0x3502);
    LoadContainer();
    MP_ADAPTER* a = adapter_.get();
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    ASSERT_EQ(a->HalOps.LoadRomPatch(a), STATUS_SUCCESS);
    Rom().Arm(sim::fw::Knob::Drop, FW_DL_CMD_REGION_INIT);
    auto [status, ms] = fwcmdtest::RunWithManualClock([a] { return a->HalOps.LoadFirmware(a); });
    EXPECT_EQ(status, STATUS_TIMEOUT);
    EXPECT_GE(ms, 5000);
    EXPECT_EQ(RegionsOf(ImageKind::RamCode).size(), 1u);
    EXPECT_TRUE(RegionsOf(ImageKind::RamCode).front().pieces.empty()) << "no data after the failed init";
    EXPECT_EQ(Load(a->FwCmd.CmdTimeout), 1);
    bool recovery = false;
    for (const auto& p : TakePosted(1)) {
        recovery = recovery || p.cmdId == INTERNAL_CMD_ERROR_RECOVERY;
    }
    EXPECT_TRUE(recovery);
    EXPECT_FALSE(g_FwRamCodeCache.Valid);
}

// ---- the image caches ---------------------------------------------------------------------------------

// A second bring-up after a complete download sends the same commands from the caches, with no
// container loaded and no file left to read.
TEST_F(DownloadTest, SecondDownloadUsesTheCachedImages)
{
    SetUpChip(0x3602);
    LoadContainer();
    ASSERT_EQ(Download(), STATUS_SUCCESS);
    const std::vector<DownloadStep> first = DlRom().Steps();

    HalFreeBigFW(&adapter_->FwFiles);
    ASSERT_TRUE(kshim::host::FilesRemove(sim::fw::kWifiContainerName));
    DlRom().Reset();
    adapter_->FwCmd.FwJustDownloaded = 0;
    ASSERT_EQ(Download(), STATUS_SUCCESS);
    const std::vector<DownloadStep> second = DlRom().Steps();
    ASSERT_EQ(second.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(second[i].kind, first[i].kind) << i;
        EXPECT_EQ(second[i].address, first[i].address) << i;
        EXPECT_EQ(second[i].length, first[i].length) << i;
        EXPECT_EQ(second[i].value, first[i].value) << i;
    }
    EXPECT_TRUE(DlRom().Faults().empty()) << ::testing::PrintToString(DlRom().Faults());
    EXPECT_EQ(adapter_->FwCmd.FwJustDownloaded, 1);
}

struct SourceCase {
    const char* name;
    ULONG fwBin;
    bool inContainer;
    bool asFile;
    NTSTATUS status;
};

class ImageSource : public DownloadTest, public ::testing::WithParamInterface<SourceCase> {};

// With "FWBin" 1 the container is the only source; otherwise a file of the image's name stands in
// for a missing container entry.
TEST_P(ImageSource, ContainerOrFileByFwBin)
{
    const SourceCase& c = GetParam();
    SetUpChip(0x3502);
    package_.SetInContainer(RomPatchName(), c.inContainer);
    if (!c.asFile) {
        kshim::host::FilesRemove(fwdl::DriverFile(RomPatchName()));
    }
    adapter_->RegistryBlock.FWBin = c.fwBin;
    LoadContainer();
    MP_ADAPTER* a = adapter_.get();
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    EXPECT_EQ(a->HalOps.LoadRomPatch(a), c.status);
    EXPECT_EQ(DlRom().PatchFinished(), NT_SUCCESS(c.status));
    if (!NT_SUCCESS(c.status)) {
        EXPECT_EQ(StepsOf(DownloadStep::Kind::Semaphore), 0u) << "nothing is sent without an image";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, ImageSource,
    ::testing::Values(SourceCase{"containerOnly", 1, true, false, STATUS_SUCCESS},
                      SourceCase{"fileIgnoredWithFwBin1", 1, false, true, STATUS_UNSUCCESSFUL},
                      SourceCase{"fileWithFwBin0", 0, false, true, STATUS_SUCCESS},
                      SourceCase{"containerFirstWithFwBin0", 0, true, false, STATUS_SUCCESS},
                      SourceCase{"neither", 0, false, false, STATUS_UNSUCCESSFUL}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- images refused before anything is downloaded ----------------------------------------------------

struct RefusedCase {
    const char* name;
    bool ramCode;  // else the ROM patch
    std::function<sim::fw::Image()> image;
};

class RefusedImage : public DownloadTest, public ::testing::WithParamInterface<std::tuple<USHORT, RefusedCase>> {};

TEST_P(RefusedImage, NoInitIsSent)
{
    const auto& [device, c] = GetParam();
    SetUpChip(device);
    ReplaceImage(c.ramCode ? RamCodeName() : RomPatchName(), c.image());
    LoadContainer();
    MP_ADAPTER* a = adapter_.get();
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    EXPECT_EQ(c.ramCode ? a->HalOps.LoadFirmware(a) : a->HalOps.LoadRomPatch(a), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(StepsOf(DownloadStep::Kind::PatchInit) + StepsOf(DownloadStep::Kind::RegionInit), 0u);
    EXPECT_EQ(StepsOf(DownloadStep::Kind::Data), 0u);
}

sim::fw::Image SmallRamCode()
{
    sim::fw::RamCodeSpec spec;
    spec.regions = {{0x00900000, 0x1000, 0x01, 0, 1}};
    return sim::fw::BuildRamCode(spec);
}

sim::fw::Image PatchOfBytes(size_t n)
{
    sim::fw::Image image;
    image.bytes = sim::fw::Pattern(5, n);
    return image;
}

sim::fw::Image BrokenPatch(sim::fw::RomPatchFault fault)
{
    sim::fw::RomPatchSpec spec;
    spec.sections = {{2, 0x000E0000, 0x800, 0x01000002, 0, 1}, {2, 0x000E4000, 0x400, 0, 0, 2}};
    return sim::fw::BuildRomPatch(spec, fault);
}

INSTANTIATE_TEST_SUITE_P(
    Images, RefusedImage,
    ::testing::Combine(
        ::testing::Values(USHORT(0x3502), USHORT(0x3602)),
        ::testing::Values(
            RefusedCase{"elevenRegions", true,
                        [] { return fwdl::RamCodeWith({{0xE00000, 16, 1, 0, 0}}, sim::fw::RamCodeFault::TooManyRegions); }},
            RefusedCase{"regionPastTable", true,
                        [] { return fwdl::RamCodeWith({}, sim::fw::RamCodeFault::RegionDataPastTable); }},
            RefusedCase{"noIdentificationText", true, SmallRamCode},
            RefusedCase{"patchOf30Bytes", false, [] { return PatchOfBytes(30); }},
            RefusedCase{"patchTruncatedTable", false,
                        [] { return BrokenPatch(sim::fw::RomPatchFault::TruncatedSectionTable); }},
            RefusedCase{"patchSectionPastEnd", false,
                        [] { return BrokenPatch(sim::fw::RomPatchFault::SectionDataPastEnd); }})),
    [](const auto& info) {
        return std::string(std::get<1>(info.param).name) + "_" + fwcmdtest::DeviceName(std::get<0>(info.param));
    });

// The second generation refuses to download above passive level; the third does not test it.
TEST_F(DownloadTest, SecondGenerationRefusesAtDispatchLevel)
{
    SetUpChip(0x3502);
    LoadContainer();
    MP_ADAPTER* a = adapter_.get();
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    NTSTATUS patch = a->HalOps.LoadRomPatch(a);
    NTSTATUS ram = a->HalOps.LoadFirmware(a);
    KeLowerIrql(old);
    EXPECT_EQ(patch, STATUS_UNSUCCESSFUL);
    EXPECT_EQ(ram, STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(DlRom().Steps().empty());
}

TEST_F(DownloadTest, DeviceNotRespondingOrNoNameFailsThePatch)
{
    SetUpChip(0x3602);
    LoadContainer();
    MP_ADAPTER* a = adapter_.get();
    AdapterSetFlag(a, ADAPTER_FLAG_NOT_RESPONDING, "test");
    EXPECT_EQ(a->HalOps.LoadRomPatch(a), STATUS_UNSUCCESSFUL);
    AdapterClearFlag(a, ADAPTER_FLAG_NOT_RESPONDING, "test");
    a->HalInfo.RomPatchFileName = nullptr;
    EXPECT_EQ(a->HalOps.LoadRomPatch(a), STATUS_UNSUCCESSFUL);
    a->HalInfo.RamCodeFileName = nullptr;
    EXPECT_EQ(a->HalOps.LoadFirmware(a), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(DlRom().Steps().empty());
}

}  // namespace
