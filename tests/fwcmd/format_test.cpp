// The legacy command format: golden bytes of the transmit descriptor and the command header per
// chip group and firmware phase, the ring each message is meant for, sequence numbers, and the
// simulated firmware's reading of what the driver writes.
#include <array>

#include "fwcmd_fixture.h"

namespace fwcmdtest {
namespace {

struct GoldenCase {
    const char* name;
    USHORT device;
    UCHAR inRam;
    UCHAR cmdId;
    UCHAR cmdClass;
    UCHAR extCmdId;
    UCHAR setQuery;
    std::vector<uint8_t> payload;
    std::array<uint8_t, 8> txd;      // bytes 0-7 of the transmit descriptor; 8-31 are 0
    std::array<uint8_t, 12> header;  // bytes 32-43; 44-63 are 0
    ULONG ring;
};

std::vector<uint8_t> Bytes(size_t n, uint8_t first = 0)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<uint8_t>(first + i);
    }
    return v;
}

std::vector<uint8_t> FormFactorQuery()
{
    std::vector<uint8_t> p(24, 0);
    p[0] = 0x50;
    p[1] = 0x05;
    return p;
}

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

const GoldenCase kGolden[] = {
    {"Arvel2xRomSemaphore", 0x3502, 0, 0x10, 0x10, 0, 1, {1, 0, 0, 0},
     {0x44, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00},
     {0x24, 0x00, 0x00, 0x00, 0x10, 0xA0, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}, FW_CMD_RING_COMMAND},
    {"Arvel2xRomEmptyPayload", 0x3502, 0, 0x02, 0x02, 0, 1, {},
     {0x40, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00},
     {0x20, 0x00, 0x00, 0x00, 0x02, 0xA0, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}, FW_CMD_RING_COMMAND},
    {"Arvel2xRamExtendedQuery", 0x3502, 1, 0xED, 0xED, 0x01, 0, FormFactorQuery(),
     {0x58, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00},
     {0x38, 0x00, 0x00, 0x80, 0xED, 0xA0, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00}, FW_CMD_RING_COMMAND},
    {"Arvel2xRamSet", 0x3502, 1, 0x04, 0xED, 0, 1, {1, 0, 0, 0},
     {0x44, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00},
     {0x24, 0x00, 0x00, 0x80, 0x04, 0xA0, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00}, FW_CMD_RING_COMMAND},
    {"Arvel2xRamDownloadClass", 0x3502, 1, 0x04, 0x10, 0x09, 1, {1, 0, 0, 0},
     {0x44, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00},
     {0x24, 0x00, 0x00, 0x00, 0x04, 0xA0, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00}, FW_CMD_RING_COMMAND},
    {"Arvel3xRomLogBase", 0x3602, 0, 0x21, 0x03, 0, 0, LogBaseQueryPayload(),
     {0x54, 0x00, 0x00, 0x41, 0x00, 0x40, 0x00, 0x00},
     {0x34, 0x00, 0x00, 0x00, 0x21, 0xA0, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}, FW_CMD_RING_COMMAND},
    {"Arvel3xRomExtendedKeepsNoExtId", 0x3602, 0, 0xED, 0xED, 0x01, 1, {9, 9},
     {0x42, 0x00, 0x00, 0x41, 0x00, 0x40, 0x00, 0x00},
     {0x22, 0x00, 0x00, 0x00, 0xED, 0xA0, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}, FW_CMD_RING_COMMAND},
    {"Arvel3xDownloadData", 0x3602, 0, 0x55, 0xEE, 0, 1, Bytes(16),
     {0x50, 0x00, 0x80, 0x41, 0x00, 0x40, 0x00, 0x00},
     {0x30, 0x00, 0x00, 0x00, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, FW_CMD_RING_DOWNLOAD},
    {"Arvel2xDownloadData", 0x3502, 0, 0x00, 0xEE, 0, 1, Bytes(8, 0x80),
     {0x48, 0x00, 0x80, 0x01, 0x00, 0x00, 0x01, 0x00},
     {0x28, 0x00, 0x00, 0x00, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, FW_CMD_RING_DOWNLOAD},
    {"OlderRomSemaphore", 0x3404, 0, 0x10, 0x10, 0, 1, {1, 0, 0, 0},
     {0x44, 0x00, 0x00, 0x80, 0x00, 0xA0, 0x00, 0x02},
     {0x00, 0x00, 0x00, 0x00, 0x10, 0xA0, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}, FW_CMD_RING_DOWNLOAD},
    {"OlderRomExtended", 0x3404, 0, 0xED, 0xED, 0x07, 1, {1, 2},
     {0x42, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
     {0x00, 0x00, 0x00, 0x80, 0xED, 0x00, 0x00, 0x01, 0x00, 0x07, 0x00, 0x00}, FW_CMD_RING_DOWNLOAD},
    {"OlderRomDownloadData", 0x3404, 0, 0x00, 0xEE, 0, 1, Bytes(4),
     {0x44, 0x00, 0x00, 0xF8, 0x00, 0xA0, 0x00, 0x03},
     {0x00, 0x00, 0x00, 0x00, 0x00, 0xA0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, FW_CMD_RING_DOWNLOAD},
    {"OlderRam", 0x3404, 1, 0x04, 0xED, 0, 1, {1, 0, 0, 0},
     {0x44, 0x00, 0x00, 0x80, 0x00, 0xA0, 0x00, 0x02},
     {0x24, 0x00, 0x00, 0x80, 0x04, 0xA0, 0x01, 0x01, 0x00, 0x00, 0x03, 0x00}, FW_CMD_RING_COMMAND},
};

class GoldenTest : public FwCmdFixture, public ::testing::WithParamInterface<GoldenCase> {};

INSTANTIATE_TEST_SUITE_P(Cases, GoldenTest, ::testing::ValuesIn(kGolden),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(GoldenTest, MessageBytesAndRing)
{
    const GoldenCase& c = GetParam();
    SetUpDevice(c.device);
    adapter_->FwDownloaded = c.inRam;
    chipMode_ = ChipMode::Silent;
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    NTSTATUS status = QzCmdSendSetQuery(port0_, c.cmdId, c.cmdClass, c.extCmdId, c.setQuery, 8,
                                        c.payload.empty() ? nullptr : c.payload.data(),
                                        static_cast<USHORT>(c.payload.size()), nullptr, 0, 0);
    KeLowerIrql(old);
    ASSERT_EQ(status, STATUS_SUCCESS);
    ASSERT_TRUE(WaitHandedOver(1));
    HandedOver sent = HandedOverMessages()[0];

    std::vector<uint8_t> expected(64, 0);
    std::copy(c.txd.begin(), c.txd.end(), expected.begin());
    std::copy(c.header.begin(), c.header.end(), expected.begin() + 32);
    expected.insert(expected.end(), c.payload.begin(), c.payload.end());
    EXPECT_EQ(sent.bytes, expected);
    EXPECT_EQ(sent.ringSelector, c.ring);
    EXPECT_EQ(sent.cmdClass, c.cmdClass);

    // What the firmware reads of it on the ring it fetches from.
    if (c.cmdClass != FW_CMD_CLASS_DOWNLOAD_DATA) {
        std::string why;
        auto decoded = sim::fw::DecodeLegacyCommand(generation_, sent.bytes.data(), sent.bytes.size(), &why);
        ASSERT_TRUE(decoded) << why;
        EXPECT_EQ(decoded->cmdId, c.cmdId);
        EXPECT_EQ(decoded->payload, c.payload);
        EXPECT_EQ(decoded->seq, 1);
    }
}

TEST_F(FwCmdFixture, SequenceNumbersRunOneToNinetyNineAndSkipDownloadData)
{
    SetUpDevice(0x3502);
    for (int i = 0; i < 99; ++i) {
        ASSERT_EQ(Send(0x04, 0x10, 8, {1, 0, 0, 0}), STATUS_SUCCESS) << i;
    }
    ASSERT_EQ(Send(0x00, FW_CMD_CLASS_DOWNLOAD_DATA, 8, {1, 2, 3, 4}), STATUS_SUCCESS);
    ASSERT_EQ(Send(0x04, 0x10, 8, {1, 0, 0, 0}), STATUS_SUCCESS);
    std::vector<HandedOver> sent = HandedOverMessages();
    ASSERT_EQ(sent.size(), 101u);
    for (int i = 0; i < 99; ++i) {
        EXPECT_EQ(sent[i].bytes[39], i + 1);
    }
    EXPECT_EQ(sent[99].bytes[39], 0) << "download data carries no sequence number";
    EXPECT_EQ(sent[100].bytes[39], 1) << "the 100th numbered command starts again at 1";
    EXPECT_EQ(Rom().commandsSeen(), 101u);
}

}  // namespace
}  // namespace fwcmdtest
