// The simulated boot ROM's download model on its own: what it refuses of a download that does not
// match the image it knows, so that the driver's downloads it accepts are known to be exact.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "fw/events.h"
#include "fw/image_builder.h"
#include "fw/rom_download.h"

namespace {

using sim::chip::Generation;
using sim::fw::LegacyCommand;
using sim::fw::RomDownload;

LegacyCommand Command(uint8_t id, std::vector<uint8_t> payload)
{
    LegacyCommand c;
    c.cmdId = id;
    c.payload = std::move(payload);
    return c;
}

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> out;
    for (uint32_t w : words) {
        sim::fw::AppendU32(out, w);
    }
    return out;
}

// A RAM code of one 3000-byte region at 0x00900000 with flags 0x21 (mode 0x80000009, entry).
sim::fw::Image OneRegion()
{
    sim::fw::RamCodeSpec spec;
    spec.regions = {{0x00900000, 3000, 0x21, 0x00900100, 5}};
    return sim::fw::BuildRamCode(spec);
}

struct Sequence {
    const char* name;
    std::function<void(RomDownload&, const sim::fw::Image&)> run;
    const char* fault;  // a text the first fault contains; empty: no fault and the RAM code runs
};

class RomModel : public ::testing::TestWithParam<Sequence> {};

TEST_P(RomModel, RefusesWhatTheImageDoesNotHold)
{
    const Sequence& s = GetParam();
    RomDownload rom(Generation::Second);
    const sim::fw::Image image = OneRegion();
    rom.Expect(sim::fw::ImageKind::RamCode, image);
    ASSERT_EQ(rom.FwState(), sim::fw::kStateRomReady);
    s.run(rom, image);
    std::vector<std::string> faults = rom.Faults();
    if (std::string(s.fault).empty()) {
        EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
        EXPECT_EQ(rom.FwState(), sim::fw::kStateRamRunning);
        return;
    }
    ASSERT_FALSE(faults.empty());
    EXPECT_NE(faults.front().find(s.fault), std::string::npos) << faults.front();
    EXPECT_EQ(rom.FwState(), sim::fw::kStateRomReady) << "the RAM code does not start";
}

const uint8_t* Data(const sim::fw::Image& image) { return image.bytes.data(); }

void Start(RomDownload& rom) { (void)rom.OnCommand(Command(0x02, Words({3, 0x00900100}))); }

INSTANTIATE_TEST_SUITE_P(
    Sequences, RomModel,
    ::testing::Values(
        Sequence{"exact",
                 [](RomDownload& rom, const sim::fw::Image& image) {
                     (void)rom.OnCommand(Command(0x01, Words({0x00900000, 3000, 0x80000009})));
                     (void)rom.OnData(Data(image), 2048);
                     (void)rom.OnData(Data(image) + 2048, 952);
                     Start(rom);
                 },
                 ""},
        Sequence{"wrongDataMode",
                 [](RomDownload& rom, const sim::fw::Image& image) {
                     (void)rom.OnCommand(Command(0x01, Words({0x00900000, 3000, 0x80000049})));
                     (void)rom.OnData(Data(image), 3000);
                     Start(rom);
                 },
                 "data mode 0x80000049, expected 0x80000009"},
        Sequence{"unknownRegion",
                 [](RomDownload& rom, const sim::fw::Image& image) {
                     (void)rom.OnCommand(Command(0x01, Words({0x00900000, 2999, 0x80000009})));
                     (void)rom.OnData(Data(image), 2999);
                     Start(rom);
                 },
                 "has no region 0x00900000 of 2999 bytes"},
        Sequence{"dataPastTheLength",
                 [](RomDownload& rom, const sim::fw::Image& image) {
                     (void)rom.OnCommand(Command(0x01, Words({0x00900000, 3000, 0x80000009})));
                     (void)rom.OnData(Data(image), 2048);
                     (void)rom.OnData(Data(image) + 2048, 953);
                     Start(rom);
                 },
                 "runs 1 bytes past"},
        Sequence{"shortRegion",
                 [](RomDownload& rom, const sim::fw::Image& image) {
                     (void)rom.OnCommand(Command(0x01, Words({0x00900000, 3000, 0x80000009})));
                     (void)rom.OnData(Data(image), 2048);
                     Start(rom);
                 },
                 "got 2048 of 3000 bytes"},
        Sequence{"dataWithoutRegion",
                 [](RomDownload& rom, const sim::fw::Image& image) { (void)rom.OnData(Data(image), 16); },
                 "without a region"},
        Sequence{"wrongEntry",
                 [](RomDownload& rom, const sim::fw::Image& image) {
                     (void)rom.OnCommand(Command(0x01, Words({0x00900000, 3000, 0x80000009})));
                     (void)rom.OnData(Data(image), 3000);
                     (void)rom.OnCommand(Command(0x02, Words({2, 0})));
                 },
                 "firmware start with option 2"}),
    [](const auto& info) { return std::string(info.param.name); });

// A patch init before the patch semaphore, and a patch finish with a section missing.
TEST(RomModelPatch, SemaphoreFirstAndEverySectionBeforeTheFinish)
{
    RomDownload rom(Generation::Third);
    sim::fw::RomPatchSpec spec;
    spec.sections = {{2, 0x000E0000, 100, 0x01000002, 0, 1}, {2, 0x000E4000, 50, 0x01000002, 0, 2}};
    const sim::fw::Image patch = sim::fw::BuildRomPatch(spec);
    rom.Expect(sim::fw::ImageKind::RomPatch, patch);
    std::optional<RomDownload::Reply> reply = rom.OnCommand(Command(0x05, Words({0x000E0000, 100, 0x8000000D})));
    ASSERT_TRUE(reply && reply->answered);
    EXPECT_EQ(reply->eventId, 0x01);
    (void)rom.OnData(patch.bytes.data() + patch.pieces[0].fileOffset, 100);
    reply = rom.OnCommand(Command(0x07, {0, 0, 0, 0}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->payload[0], 1) << "finish refused";
    EXPECT_FALSE(rom.PatchFinished());
    std::vector<std::string> faults = rom.Faults();
    ASSERT_EQ(faults.size(), 2u);
    EXPECT_NE(faults[0].find("without the patch semaphore"), std::string::npos);
    EXPECT_NE(faults[1].find("0x000E4000 (50 bytes) not received intact"), std::string::npos);
}

// The ROM that reads 0 answers nothing; once the RAM code runs the ROM takes no download command.
TEST(RomModelState, NotRunningAnswersNothingAndRunningRamTakesNoMore)
{
    RomDownload rom(Generation::Second);
    rom.Knobs().romReadyAfterReads = 2;
    std::optional<RomDownload::Reply> reply = rom.OnCommand(Command(0x10, {1, 0, 0, 0}));
    ASSERT_TRUE(reply);
    EXPECT_FALSE(reply->answered);
    EXPECT_EQ(rom.FwState(), sim::fw::kStateRomNotRunning);
    EXPECT_EQ(rom.FwState(), sim::fw::kStateRomNotRunning);
    EXPECT_EQ(rom.FwState(), sim::fw::kStateRomReady);
    reply = rom.OnCommand(Command(0x10, {1, 0, 0, 0}));
    ASSERT_TRUE(reply && reply->answered);
    EXPECT_EQ(reply->payload[0], 2);

    const sim::fw::Image image = OneRegion();
    rom.Expect(sim::fw::ImageKind::RamCode, image);
    (void)rom.OnCommand(Command(0x01, Words({0x00900000, 3000, 0x80000009})));
    (void)rom.OnData(image.bytes.data(), 3000);
    Start(rom);
    EXPECT_EQ(rom.FwState(), sim::fw::kStateRamRunning);
    EXPECT_FALSE(rom.OnCommand(Command(0x01, Words({0x00900000, 3000, 0x80000009}))));
    EXPECT_FALSE(rom.OnCommand(Command(0x03, Words({0, 0x88000004, 0}))));
}

}  // namespace
