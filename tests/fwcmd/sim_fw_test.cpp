// The simulated firmware on its own: what it accepts as a legacy command, the event buffers it
// writes for each generation, and the boot ROM's answers and knobs.
#include <gtest/gtest.h>

#include "fw/events.h"
#include "fw/legacy_cmd.h"
#include "fw/rom.h"

namespace {

using sim::chip::Generation;
using namespace sim::fw;

// A command as a second- or third-generation driver writes it (descriptor words, header, payload).
std::vector<uint8_t> Command(Generation g, uint8_t cmdId, uint8_t seq, std::vector<uint8_t> payload)
{
    std::vector<uint8_t> b(kLegacyPrefixLength, 0);
    const uint32_t total = static_cast<uint32_t>(b.size() + payload.size());
    uint32_t w0 = total | (1u << 24) | (g == Generation::Third ? 1u << 30 : 0);
    uint32_t w1 = g == Generation::Third ? 1u << 14 : 1u << 16;
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<uint8_t>(w0 >> (8 * i));
        b[4 + i] = static_cast<uint8_t>(w1 >> (8 * i));
    }
    b[32] = static_cast<uint8_t>(total - 32);
    b[33] = static_cast<uint8_t>((total - 32) >> 8);
    b[36] = cmdId;
    b[37] = kCommandPacketType;
    b[39] = seq;
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

TEST(SimLegacyCommand, DecodesHeaderAndPayload)
{
    auto bytes = Command(Generation::Third, 0x21, 42, {1, 2, 3});
    bytes[41] = 0x07;
    auto c = DecodeLegacyCommand(Generation::Third, bytes.data(), bytes.size());
    ASSERT_TRUE(c);
    EXPECT_EQ(c->cmdId, 0x21);
    EXPECT_EQ(c->seq, 42);
    EXPECT_EQ(c->extCmdId, 0x07);
    EXPECT_EQ(c->headerLength, 35);
    EXPECT_EQ(c->payload, (std::vector<uint8_t>{1, 2, 3}));
}

TEST(SimLegacyCommand, RefusesWhatIsNoLegacyCommand)
{
    struct Case {
        const char* name;
        Generation generation;
        void (*spoil)(std::vector<uint8_t>&);
    };
    const Case cases[] = {
        {"too short", Generation::Second, [](std::vector<uint8_t>& b) { b.resize(63); }},
        {"unified header", Generation::Second, [](std::vector<uint8_t>& b) { b[43] = 0x02; }},
        {"descriptor length", Generation::Second, [](std::vector<uint8_t>& b) { b[0] ^= 1; }},
        {"header length", Generation::Second, [](std::vector<uint8_t>& b) { b[32] ^= 1; }},
        {"no bit 24", Generation::Second, [](std::vector<uint8_t>& b) { b[3] &= ~1; }},
        {"no bit 30", Generation::Third, [](std::vector<uint8_t>& b) { b[3] &= ~0x40; }},
        {"packet type", Generation::Third, [](std::vector<uint8_t>& b) { b[37] = 0; }},
    };
    for (const Case& c : cases) {
        auto bytes = Command(c.generation, 0x10, 1, {1, 0, 0, 0});
        c.spoil(bytes);
        std::string why;
        EXPECT_FALSE(DecodeLegacyCommand(c.generation, bytes.data(), bytes.size(), &why)) << c.name;
        EXPECT_FALSE(why.empty()) << c.name;
    }
}

TEST(SimEvents, ReceiveDescriptorAndHeaderPerGeneration)
{
    struct Row {
        Generation generation;
        size_t rxd;
        uint16_t subType;  // the 16 bits at byte 2 of the descriptor
    };
    for (Row row : {Row{Generation::Older, 16, 0xE000}, Row{Generation::Second, 24, 0x3800},
                    Row{Generation::Third, 32, 0x3800}}) {
        EventHeader header;
        header.id = 0xED;
        header.seq = 9;
        header.extId = 0x3C;
        auto e = EncodeRamEvent(row.generation, header, {0xAA, 0xBB});
        ASSERT_EQ(e.size(), row.rxd + 12 + 2);
        EXPECT_EQ(e[0] | (e[1] << 8), static_cast<int>(e.size())) << "byte count";
        EXPECT_EQ(e[2] | (e[3] << 8), row.subType);
        const uint8_t* h = e.data() + row.rxd;
        EXPECT_EQ(h[0] | (h[1] << 8), 14);
        EXPECT_EQ(h[2] | (h[3] << 8), 0xE000);
        EXPECT_EQ(h[4], 0xED);
        EXPECT_EQ(h[5], 9);
        EXPECT_EQ(h[8], 0x3C);
        EXPECT_EQ(h[12], 0xAA);

        auto rom = EncodeRomEvent(row.generation, 0x04, 3, {2});
        ASSERT_EQ(rom.size(), row.rxd + 8 + 1);
        EXPECT_EQ(rom[row.rxd] | (rom[row.rxd + 1] << 8), 9);
        EXPECT_EQ(rom[row.rxd + 4], 0x04);
        EXPECT_EQ(rom[row.rxd + 8], 2);
    }
    EXPECT_THROW(EncodeRamEvent(Generation::Third, {}, std::vector<uint8_t>(kEventRingBufferSize)), std::length_error);
}

TEST(SimRom, AnswersQueriesWithTheCommandsSequenceNumber)
{
    RomFirmware rom(Generation::Third);
    rom.Settings().logBase = 0x70041234;
    std::vector<uint8_t> query(20, 0);
    query[16] = 1;
    auto bytes = Command(Generation::Third, 0x21, 17, query);
    RomAnswer a = rom.Consume(kCommandRing, bytes.data(), bytes.size());
    EXPECT_TRUE(a.dmaDone);
    ASSERT_EQ(a.events.size(), 1u);
    EXPECT_EQ(a.events[0], EncodeRomEvent(Generation::Third, 0x08, 17, {1, 0, 0, 0, 0x34, 0x12, 0x04, 0x70}));

    // The second generation answers the same query with zeros.
    RomFirmware second(Generation::Second);
    bytes = Command(Generation::Second, 0x21, 5, query);
    a = second.Consume(kCommandRing, bytes.data(), bytes.size());
    ASSERT_EQ(a.events.size(), 1u);
    EXPECT_EQ(a.events[0], EncodeRomEvent(Generation::Second, 0x08, 5, std::vector<uint8_t>(8, 0)));
}

TEST(SimRom, RegisterReadsAndDescriptorOnlyCommands)
{
    RomFirmware rom(Generation::Second);
    rom.Settings().readRegister = [](uint32_t address) { return address + 1; };
    std::vector<uint8_t> read = {0, 0, 0, 0, 0x04, 0x00, 0x00, 0x88, 0, 0, 0, 0};
    auto bytes = Command(Generation::Second, 0x03, 1, read);
    RomAnswer a = rom.Consume(kCommandRing, bytes.data(), bytes.size());
    ASSERT_EQ(a.events.size(), 1u);
    EXPECT_EQ(a.events[0], EncodeRomEvent(Generation::Second, 0x02, 1, {0x04, 0, 0, 0x88, 0x00, 0x8A, 0, 0}));
    read[4] = 0x10;
    bytes = Command(Generation::Second, 0x03, 2, read);
    a = rom.Consume(kCommandRing, bytes.data(), bytes.size());
    EXPECT_EQ(a.events[0], EncodeRomEvent(Generation::Second, 0x02, 2, {0x10, 0, 0, 0x88, 0x11, 0, 0, 0x88}));

    bytes = Command(Generation::Second, 0x04, 3, {1, 0, 0, 0});
    a = rom.Consume(kCommandRing, bytes.data(), bytes.size());
    EXPECT_TRUE(a.dmaDone);
    EXPECT_TRUE(a.events.empty());
    a = rom.Consume(kDownloadRing, bytes.data(), bytes.size());
    EXPECT_FALSE(a.command) << "the download ring carries image data";
    EXPECT_TRUE(a.events.empty());
    bytes[43] = 0x02;
    a = rom.Consume(kCommandRing, bytes.data(), bytes.size());
    EXPECT_FALSE(a.command);
    EXPECT_TRUE(a.dmaDone);
    EXPECT_EQ(rom.commandsSeen(), 5u);
}

TEST(SimRom, KnobsApplyToTheChosenCommandsOnly)
{
    RomFirmware rom(Generation::Second);
    rom.Arm(Knob::Drop, 0x10, 2);
    rom.Arm(Knob::WrongSeq, kAnyCommand, 1);
    rom.Arm(Knob::Delay, 0x11, 1, 2500);
    auto semaphore = [&](uint8_t seq) {
        auto bytes = Command(Generation::Second, 0x10, seq, {1, 0, 0, 0});
        return rom.Consume(kCommandRing, bytes.data(), bytes.size());
    };
    auto btQuery = [&](uint8_t seq) {
        auto bytes = Command(Generation::Second, 0x11, seq, {1, 0, 0, 0, 0, 0, 0, 0});
        return rom.Consume(kCommandRing, bytes.data(), bytes.size());
    };
    EXPECT_TRUE(semaphore(1).events.empty());
    EXPECT_TRUE(semaphore(2).events.empty());
    RomAnswer wrong = semaphore(99);  // the drop knob is spent; the wrong-sequence knob applies
    ASSERT_EQ(wrong.events.size(), 1u);
    EXPECT_EQ(wrong.events[0][24 + 5], 1) << "99 is answered with 1";
    RomAnswer delayed = btQuery(4);
    ASSERT_EQ(delayed.events.size(), 1u);
    EXPECT_EQ(delayed.delayMs, 2500u);
    EXPECT_EQ(delayed.events[0][24 + 5], 4);
    RomAnswer plain = semaphore(6);
    EXPECT_EQ(plain.delayMs, 0u);
    EXPECT_EQ(plain.events[0][24 + 5], 6);
}

TEST(SimRom, RegisteredHandlersTakeOverCommandsAndDownloadData)
{
    RomFirmware rom(Generation::Third);
    std::vector<uint8_t> seenCommand;
    // A handler answers a command the ROM would not answer, and replaces the ROM's own answer.
    rom.SetCommandHandler(0x04, [&](const LegacyCommand& c) {
        seenCommand = c.payload;
        return std::optional<RomReply>(RomReply{0x01, {6, 0, 0, 0}});
    });
    rom.SetCommandHandler(0x10, [](const LegacyCommand&) { return std::optional<RomReply>(); });
    size_t downloaded = 0;
    rom.SetDownloadDataHandler([&](const uint8_t*, size_t length) { downloaded += length; });
    rom.Arm(Knob::WrongSeq, 0x04, 1);

    auto bytes = Command(Generation::Third, 0x04, 9, {1, 2, 3, 4});
    RomAnswer a = rom.Consume(kCommandRing, bytes.data(), bytes.size());
    EXPECT_EQ(seenCommand, (std::vector<uint8_t>{1, 2, 3, 4}));
    ASSERT_EQ(a.events.size(), 1u);
    EXPECT_EQ(a.events[0], EncodeRomEvent(Generation::Third, 0x01, 10, {6, 0, 0, 0})) << "knobs still apply";
    bytes = Command(Generation::Third, 0x10, 11, {1, 0, 0, 0});
    EXPECT_TRUE(rom.Consume(kCommandRing, bytes.data(), bytes.size()).events.empty());
    const std::vector<uint8_t> data(300, 0x5A);
    EXPECT_TRUE(rom.Consume(kDownloadRing, data.data(), data.size()).events.empty());
    EXPECT_EQ(downloaded, 300u);
    // An empty handler gives the command back to the ROM.
    rom.SetCommandHandler(0x10, nullptr);
    EXPECT_EQ(rom.Consume(kCommandRing, bytes.data(), bytes.size()).events.size(), 1u);
}

}  // namespace
