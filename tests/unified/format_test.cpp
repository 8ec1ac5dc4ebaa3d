// The unified command buffers on the wire, byte for byte: the transmit descriptor, the unified
// header, the fixed part and the TLVs of every command the third generation's bring-up sends, as
// the send call translates its legacy form, and of the direct unified commands.
#include <gtest/gtest.h>

#include <string>

#include "Common/nic_uni_cmd_direct.h"
#include "unified_fixture.h"

namespace unifiedtest {
namespace {

constexpr UCHAR kNoAnswer = 8;
constexpr UCHAR kWaitAnswer = 5;

// The whole buffer the chip fetches: descriptor, header (sequence number left 0), payload.
Bytes Wire(uint8_t uniId, uint8_t option, const Bytes& payload)
{
    Bytes b(48, 0);
    PutU32(b, 0, static_cast<uint32_t>(48 + payload.size()) | (1u << 24) | (1u << 30));
    PutU32(b, 4, 1u << 14);
    PutU16(b, 32, static_cast<uint16_t>(16 + payload.size()));
    PutU16(b, 34, uniId);
    b[37] = 0xA0;
    b[43] = option;
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

// The buffer as handed over, with its sequence number checked and cleared.
Bytes WithoutSeq(Bytes bytes)
{
    EXPECT_GE(bytes.size(), 48u);
    if (bytes.size() >= 48) {
        EXPECT_GE(bytes[39], 1);
        EXPECT_LE(bytes[39], 99);
        bytes[39] = 0;
    }
    return bytes;
}

Bytes Legacy(size_t size, std::initializer_list<std::pair<size_t, uint8_t>> bytes)
{
    Bytes b(size, 0);
    for (const auto& [at, value] : bytes) {
        b[at] = value;
    }
    return b;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes b;
    for (const Bytes& p : parts) {
        b.insert(b.end(), p.begin(), p.end());
    }
    return b;
}

struct GoldenCase {
    const char* name;
    UCHAR cmdId;
    UCHAR extCmdId;
    UCHAR setQuery;
    UCHAR flags;
    Bytes legacy;
    uint8_t uniId;
    uint8_t option;
    Bytes payload;
};

const Bytes kChipCfgText = [] {
    const std::string text = "LinkDtSapCheckIntervalP2pGo 240";
    return Bytes(text.begin(), text.end());
}();

std::vector<GoldenCase> Cases()
{
    Bytes chipCfgLegacy(328, 0);
    chipCfgLegacy[4] = static_cast<uint8_t>(kChipCfgText.size());
    std::copy(kChipCfgText.begin(), kChipCfgText.end(), chipCfgLegacy.begin() + 8);
    Bytes chipCfgPayload = Concat({{0, 0, 0, 0, 0x02, 0x00, 0x4C, 0x01, 0, 0, 0, 0, 0x1F, 0, 0, 0}, kChipCfgText});
    chipCfgPayload.resize(336, 0);

    return {
        {"CapabilityQuery", 0x8A, 0, 0, kWaitAnswer, {}, 0x0E, 2, {0, 0, 0, 0, 0x03, 0x00, 0x04, 0x00}},
        {"BasicConfiguration", 0x02, 0, 1, kNoAnswer,
         Legacy(12, {{0, 1}, {1, 0x21}, {4, 0x44}, {5, 0x55}, {6, 0x66}, {7, 0x77}}), 0x0B, 6,
         {0, 0, 0, 0, 0x03, 0x00, 0x0C, 0x00, 0x44, 0x55, 0x66, 0x77, 0x21, 0, 0, 0}},
        {"RegisterWrite", 0xC0, 0, 1, kNoAnswer, {0x00, 0xC8, 0x0C, 0x82, 0x00, 0xC2, 0x03, 0x00}, 0x0D, 6,
         {0, 0, 0, 0, 0x00, 0x00, 0x0C, 0x00, 0x00, 0xC8, 0x0C, 0x82, 0x00, 0xC2, 0x03, 0x00}},
        {"RegisterWriteJustBelow99", 0xC0, 0, 1, kNoAnswer, {0xFF, 0xFF, 0xFF, 0x98, 1, 0, 0, 0}, 0x0D, 6,
         {0, 0, 0, 0, 0x00, 0x00, 0x0C, 0x00, 0xFF, 0xFF, 0xFF, 0x98, 1, 0, 0, 0}},
        {"RegisterWrite99Range", 0xC0, 0, 1, kNoAnswer, {0x34, 0x12, 0xAB, 0x99, 0x78, 0x56, 0x34, 0x12}, 0x0D, 6,
         {0, 0, 0, 0, 0x01, 0x00, 0x10, 0x00, 0xAB, 0x00, 0x00, 0x00, 0x34, 0x12, 0xAB, 0x99, 0x78, 0x56, 0x34, 0x12}},
        {"DualBand", 0x28, 0, 1, kNoAnswer, Legacy(36, {{0, 1}, {1, 0xEE}, {3, 2}}), 0x28, 6,
         {0, 0, 0, 0, 0x00, 0x00, 0x08, 0x00, 0x01, 0x02, 0x00, 0x00}},
        {"ChipConfigurationText", 0xCA, 0, 1, kNoAnswer, chipCfgLegacy, 0x0E, 6, chipCfgPayload},
        {"FirmwareLogLevel", 0xC5, 0, 1, kNoAnswer, {3, 0, 0, 0}, 0x0B, 6,
         {0, 0, 0, 0, 0x00, 0x00, 0x08, 0x00, 0x03, 0x00, 0x00, 0x00}},
        {"PowerControl", 0x04, 0, 1, kNoAnswer, {1, 0, 0, 0}, 0x0F, 6,
         {0, 0, 0, 0, 0x00, 0x00, 0x08, 0x00, 0x01, 0x00, 0x00, 0x00}},
        // The buffer-bin piece is always a set that asks for an answer, whatever its caller's flags.
        {"BufferBinWithoutFile", 0xED, 0x21, 1, 0x10, {0, 0x01, 0, 0}, 0x2D, 7,
         {0, 0, 0, 0, 0x02, 0x00, 0x08, 0x00, 0x00, 0x01, 0x00, 0x00}},
        {"SerActionStop", 0xED, 0x81, 1, kNoAnswer, {4, 4, 0}, 0x13, 6,
         {0, 0, 0, 0, 0x04, 0x00, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00}},
        {"SerActionWidened", 0xED, 0x81, 1, kNoAnswer, {2, 0x7F}, 0x13, 6,
         {0, 0, 0, 0, 0x02, 0x00, 0x08, 0x00, 0x7F, 0x00, 0x00, 0x00}},
        {"SerActionReset", 0xED, 0x81, 1, kNoAnswer, {0}, 0x13, 6, {0, 0, 0, 0, 0x00, 0x00, 0x04, 0x00}},
    };
}

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

class Golden : public UnifiedTest, public ::testing::WithParamInterface<GoldenCase> {};

INSTANTIATE_TEST_SUITE_P(BringUp, Golden, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(Golden, LegacyRequestGoesOutAsThisUnifiedBuffer)
{
    SetUpDevice(0x3602);
    const GoldenCase& c = GetParam();
    EXPECT_EQ(Send(c.cmdId, c.flags, c.legacy, c.extCmdId, c.setQuery), STATUS_SUCCESS);
    std::vector<HandedOver> sent = HandedOverMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(Hex(WithoutSeq(sent[0].bytes)), Hex(Wire(c.uniId, c.option, c.payload)));
    EXPECT_EQ(fw_.Record().malformed, 0u);
    EXPECT_EQ(fw_.Record().commands, 1u);
}

TEST_F(UnifiedTest, HeaderLengthAndDescriptorCountOfATwelveBytePayload)
{
    SetUpDevice(0x3602);
    EXPECT_EQ(Send(0x04, kNoAnswer, {1, 0, 0, 0}), STATUS_SUCCESS);
    Bytes b = HandedOverMessages().at(0).bytes;
    ASSERT_EQ(b.size(), 60u);
    EXPECT_EQ(b[32] | (b[33] << 8), 28);
    EXPECT_EQ(b[0] | (b[1] << 8), 60);
}

TEST_F(UnifiedTest, SequenceNumbersAdvanceFromTheSharedCounterAndSkipZero)
{
    SetUpDevice(0x3602);
    adapter_->Cmd.SeqNum[SEQ_NUM_CLASS_FW_CMD] = 98;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Send(0x04, kNoAnswer, {1, 0, 0, 0}), STATUS_SUCCESS);
    }
    std::vector<HandedOver> sent = HandedOverMessages();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].bytes[39], 99);
    EXPECT_EQ(sent[1].bytes[39], 1);
    EXPECT_EQ(sent[2].bytes[39], 2);
}

TEST_F(UnifiedTest, ChipConfigurationQueryWaitsForItsTextAnswer)
{
    SetUpDevice(0x3602);
    Bytes legacy(328, 0);
    legacy[4] = static_cast<uint8_t>(kChipCfgText.size());
    std::copy(kChipCfgText.begin(), kChipCfgText.end(), legacy.begin() + 8);
    EXPECT_EQ(Send(0xCA, kWaitAnswer, legacy, 0, 0), STATUS_SUCCESS);
    EXPECT_EQ(HandedOverMessages().at(0).bytes[43], 2);
    // The answer (event 0x07, tag 2) was rebuilt as the legacy chip-configuration answer 0x44.
    EXPECT_TRUE(kshim::host::TraceContains("legacy event 0x44/0x00 rebuilt, 328 bytes: 00 00 00 00 1F 00 00 00 4C 69"));
    EXPECT_EQ(SlotsInUseCount(), 0u);
}

TEST_F(UnifiedTest, BufferBinPieceCarriesItsWholeDataWhenReadFromTheFile)
{
    SetUpDevice(0x3602);
    adapter_->RegistryBlock.BinMode = 1;
    Bytes legacy(1028, 0);
    legacy[0] = 1;
    legacy[1] = 0x21;  // piece 0 of 2
    PutU16(legacy, 2, 1024);
    for (size_t i = 0; i < 1024; ++i) {
        legacy[4 + i] = static_cast<uint8_t>(i * 7);
    }
    EXPECT_EQ(Send(0xED, 0x10, legacy, 0x21), STATUS_SUCCESS);
    Bytes b = HandedOverMessages().at(0).bytes;
    ASSERT_EQ(b.size(), 48u + 1036u);
    EXPECT_EQ(b[43], 7);
    EXPECT_EQ(b[52] | (b[53] << 8), 2);
    EXPECT_EQ(b[54] | (b[55] << 8), 1032);
    EXPECT_TRUE(std::equal(legacy.begin(), legacy.end(), b.begin() + 56));
    EXPECT_EQ(fw_.Record().bufferBin.size(), 1024u);
    EXPECT_FALSE(fw_.Record().bufferBinComplete);
    // A piece that announces data its legacy payload does not hold is refused before anything is sent.
    legacy.resize(4);
    EXPECT_EQ(Send(0xED, 0x10, legacy, 0x21), STATUS_UNI_CMD_NOT_ACCEPTED);
    EXPECT_EQ(HandedOverMessages().size(), 1u);
}

// ---- commands without a legacy form -----------------------------------------------------------------
TEST_F(UnifiedTest, FirmwareLogReadPositionOfRingThree)
{
    SetUpDevice(0x3602);
    EXPECT_EQ(nicUniCmdFwLogUpdateRead(adapter_.get(), 3, 0x1234), STATUS_SUCCESS);
    Bytes payload = {0, 0, 0, 0, 0x05, 0x00, 0x18, 0x00, 0, 0, 0, 0, 0, 0, 0, 0,
                     0x34, 0x12, 0, 0, 0, 0, 0, 0, 0x08, 0, 0, 0};
    EXPECT_EQ(Hex(WithoutSeq(HandedOverMessages().at(0).bytes)), Hex(Wire(0x0B, 6, payload)));
    EXPECT_EQ(fw_.Record().logReadPointers[2], 0x1234u);
    for (ULONG ring : {0u, 5u}) {
        EXPECT_EQ(nicUniCmdFwLogUpdateRead(adapter_.get(), ring, 1), STATUS_UNSUCCESSFUL);
    }
    EXPECT_EQ(HandedOverMessages().size(), 1u);
}

TEST_F(UnifiedTest, LedCommandsNameTheirGpioAndNeverGoOutWithoutOne)
{
    SetUpDevice(0x3602);
    adapter_->HalInfo.LedGpio = 0;
    adapter_->HalInfo.LedGpioAlt1 = 0;
    adapter_->HalInfo.LedGpioAlt2 = 9;
    EXPECT_EQ(nicUniCmdLedGpioEnable(adapter_.get(), 1), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(nicUniCmdLedGpioLedCtrl(adapter_.get(), 1), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(nicUniCmdRODuduGpioEnable(adapter_.get(), 1), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(nicUniCmdRODuduGpioLedCtrl(adapter_.get(), 1, 1, 0), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(HandedOverMessages().empty());

    adapter_->HalInfo.LedGpio = 5;
    EXPECT_EQ(nicUniCmdLedGpioLedCtrl(adapter_.get(), 0), STATUS_SUCCESS);
    EXPECT_EQ(Hex(WithoutSeq(HandedOverMessages().at(0).bytes)),
              Hex(Wire(0x2A, 6, {5, 0, 0, 0, 0x01, 0x00, 0x08, 0x00, 3, 0, 0, 0})));

    // Two-LED scheme: (connected, radio, link kind) -> values for the first and second GPIO.
    adapter_->HalInfo.LedGpioAlt1 = 7;
    struct Row {
        UCHAR connected, radio, link;
        uint8_t first, second;
    };
    const Row rows[] = {{0, 0, 0, 1, 1}, {0, 1, 0, 1, 3}, {1, 0, 1, 3, 1}, {1, 1, 0, 3, 3}};
    for (const Row& r : rows) {
        const size_t before = HandedOverMessages().size();
        EXPECT_EQ(nicUniCmdRODuduGpioLedCtrl(adapter_.get(), r.connected, r.radio, r.link), STATUS_SUCCESS);
        std::vector<HandedOver> sent = HandedOverMessages();
        ASSERT_EQ(sent.size(), before + 2);
        EXPECT_EQ(sent[before].bytes[48], 7);
        EXPECT_EQ(sent[before].bytes[56], r.first);
        EXPECT_EQ(sent[before + 1].bytes[48], 9);
        EXPECT_EQ(sent[before + 1].bytes[56], r.second);
    }
}

TEST_F(UnifiedTest, DirectSendWithoutPayloadIsRefused)
{
    SetUpDevice(0x3602);
    const UCHAR payload[4] = {};
    EXPECT_EQ(QzCmdSendSetQueryUniCmdAdv(port0_, 0x0F, 1, 0, 16, nullptr, 0, payload, 0, 0, 255),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(QzCmdSendSetQueryUniCmdAdv(port0_, 0x0F, 1, 0, 16, nullptr, 4, nullptr, 0, 0, 255),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_TRUE(HandedOverMessages().empty());
}

}  // namespace
}  // namespace unifiedtest
