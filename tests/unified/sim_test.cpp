// The simulated RAM code's side of the unified format: what it accepts as a unified command, what it
// refuses, and how it answers the bring-up's commands.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "fw/unified_cmd.h"
#include "fw/unified_events.h"
#include "fw/unified_ram.h"

namespace unifiedtest {
namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

// A well-formed unified command buffer as the driver writes it.
Bytes Command(uint8_t id, uint8_t option, const Bytes& payload, uint8_t seq = 7)
{
    Bytes b(48, 0);
    const uint32_t w0 = static_cast<uint32_t>(48 + payload.size()) | (1u << 24) | (1u << 30);
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(w0 >> (8 * i));
    b[5] = 0x40;  // word 1 bit 14
    Put16(b, 32, static_cast<uint32_t>(16 + payload.size()));
    b[34] = id;
    b[37] = 0xA0;
    b[39] = seq;
    b[43] = option;
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

TEST(UnifiedCommandDecode, WellFormedCommandGivesItsFixedPartAndTlvs)
{
    const Bytes payload = {9, 0, 0, 0, 0x03, 0x00, 0x04, 0x00, 0x02, 0x00, 0x06, 0x00, 0xAA, 0xBB};
    std::string why;
    auto c = sim::fw::DecodeUnifiedCommand(Command(0x0E, 2, payload).data(), 48 + payload.size(), &why);
    ASSERT_TRUE(c) << why;
    EXPECT_EQ(c->cmdId, 0x0E);
    EXPECT_EQ(c->seq, 7);
    EXPECT_TRUE(c->Query());
    EXPECT_EQ(c->fixed, (Bytes{9, 0, 0, 0}));
    ASSERT_EQ(c->tlvs.size(), 2u);
    EXPECT_EQ(c->tlvs[0].tag, 3);
    EXPECT_TRUE(c->tlvs[0].value.empty());
    EXPECT_EQ(c->tlvs[1].value, (Bytes{0xAA, 0xBB}));
}

TEST(UnifiedCommandDecode, BuffersThatBreakARuleAreRefusedWithTheirReason)
{
    const Bytes good = Command(0x0F, 6, {0, 0, 0, 0, 0, 0, 8, 0, 1, 0, 0, 0});
    struct Row {
        const char* why;
        std::function<void(Bytes&)> spoil;
    };
    const Row rows[] = {
        {"shorter than descriptor and unified header", [](Bytes& b) { b.resize(47); }},
        {"not a unified header", [](Bytes& b) { b[43] = 0; }},
        {"option byte is none of query, set, set with answer", [](Bytes& b) { b[43] = 3; }},
        {"descriptor word 0 lacks bit 24 or 30", [](Bytes& b) { b[3] = 0x01; }},
        {"descriptor word 1 lacks bit 14", [](Bytes& b) { b[5] = 0; }},
        {"header packet type is not 0xA0", [](Bytes& b) { b[37] = 0; }},
        {"descriptor length differs from the buffer", [](Bytes& b) { b[0] += 1; }},
        {"header length differs from the buffer", [](Bytes& b) { b[32] += 4; }},
        {"command id wider than a byte", [](Bytes& b) { b[35] = 1; }},
        {"sequence number outside 1..99", [](Bytes& b) { b[39] = 0; }},
        {"payload shorter than its fixed part", [](Bytes& b) { b.resize(50); b[0] = 50; b[32] = 18; }},
        {"bytes after the last TLV", [](Bytes& b) { b.resize(62); b[0] = 62; b[32] = 30; }},
        {"TLV shorter than its header", [](Bytes& b) { b[54] = 2; }},
        {"TLV past the payload's end", [](Bytes& b) { b[54] = 9; }},
    };
    for (const Row& r : rows) {
        Bytes b = good;
        r.spoil(b);
        std::string why;
        EXPECT_FALSE(sim::fw::DecodeUnifiedCommand(b.data(), b.size(), &why)) << r.why;
        EXPECT_EQ(why, r.why);
    }
}

TEST(UnifiedRam, MalformedBufferGetsTheSentReportOnly)
{
    sim::fw::UnifiedRamFirmware fw;
    Bytes b = Command(0x0E, 2, {0, 0, 0, 0, 3, 0, 2, 0});
    sim::fw::UnifiedAnswer answer = fw.Consume(b.data(), b.size());
    EXPECT_TRUE(answer.dmaDone);
    EXPECT_TRUE(answer.events.empty());
    EXPECT_EQ(answer.note, "not a unified command: TLV shorter than its header");
    EXPECT_EQ(fw.Record().malformed, 1u);
}

TEST(UnifiedRam, CapabilityAnswerCarriesTheCommandsSequenceNumber)
{
    sim::fw::UnifiedRamFirmware fw;
    Bytes b = Command(0x0E, 2, {0, 0, 0, 0, 3, 0, 4, 0}, 42);
    sim::fw::UnifiedAnswer answer = fw.Consume(b.data(), b.size());
    ASSERT_EQ(answer.events.size(), 1u);
    const Bytes& e = answer.events[0];
    ASSERT_GE(e.size(), 32u + 16u);
    EXPECT_EQ(e[32 + 4], 0x43);
    EXPECT_EQ(e[32 + 5], 42);
    EXPECT_EQ(e[32 + 6], 0x02);
    // The first record is the MAC address.
    EXPECT_EQ(e[32 + 16], 0x07);
    EXPECT_EQ(e[32 + 18], 10);
}

TEST(UnifiedRam, BufferBinPiecesAddUpAndAreComparedWithTheImage)
{
    auto piece = [](uint8_t pieceByte, const Bytes& data) {
        Bytes v = {1, pieceByte, static_cast<uint8_t>(data.size()), static_cast<uint8_t>(data.size() >> 8)};
        v.insert(v.end(), data.begin(), data.end());
        v.resize(4 + 1024, 0);
        Bytes payload = {0, 0, 0, 0, 2, 0, 0, 0};
        Put16(payload, 6, static_cast<uint32_t>(v.size() + 4));
        payload.insert(payload.end(), v.begin(), v.end());
        return Command(0x2D, 7, payload);
    };
    Bytes image(1024 + 3);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13);
    for (bool spoil : {false, true}) {
        sim::fw::UnifiedRamFirmware fw;
        fw.Settings().expectedBufferBin = image;
        Bytes first(image.begin(), image.begin() + 1024);
        Bytes second(image.begin() + 1024, image.end());
        if (spoil) second[1] ^= 1;
        Bytes b = piece(0x21, first);
        EXPECT_EQ(fw.Consume(b.data(), b.size()).events.size(), 1u);
        EXPECT_FALSE(fw.Record().bufferBinComplete);
        b = piece(0x25, second);
        sim::fw::UnifiedAnswer answer = fw.Consume(b.data(), b.size());
        EXPECT_TRUE(fw.Record().bufferBinComplete);
        EXPECT_EQ(fw.Record().bufferBinMatches, !spoil);
        ASSERT_EQ(answer.events.size(), 1u);
        EXPECT_EQ(answer.events[0][32 + 4], 0x48);
        EXPECT_EQ(answer.events[0][32 + 20], spoil ? 1 : 0);
    }
}

TEST(UnifiedRam, DroppedAnswerStillGetsTheSentReport)
{
    sim::fw::UnifiedRamFirmware fw;
    fw.Arm(sim::fw::Knob::Drop, 0x0E);
    Bytes b = Command(0x0E, 2, {0, 0, 0, 0, 3, 0, 4, 0});
    sim::fw::UnifiedAnswer answer = fw.Consume(b.data(), b.size());
    EXPECT_TRUE(answer.dmaDone);
    EXPECT_TRUE(answer.events.empty());
    // The knob was used up: the next query is answered.
    EXPECT_EQ(fw.Consume(b.data(), b.size()).events.size(), 1u);
}

}  // namespace
}  // namespace unifiedtest
