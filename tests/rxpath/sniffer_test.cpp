// Monitor mode: frames on the frame ring go to the chip's sniffer operation, which counts them by
// type and hands their radio record to the capture; every record goes back to its pool.
#include <gtest/gtest.h>

#include <sstream>

#include "rxpath_support.h"

namespace {

using rxtest::RxDevice;
using sim::chip::RxdFields;
using sim::chip::RxRole;

// The radio record of the last captured frame, read back from the capture's trace.
std::vector<unsigned> LastRadio()
{
    std::vector<unsigned> bytes;
    for (const kshim::host::TraceRecord& r : kshim::host::TraceSnapshot()) {
        const size_t at = r.text.find("radio ");
        if (r.text.find("sniffer frame of") == std::string::npos || at == std::string::npos) {
            continue;
        }
        bytes.clear();
        std::istringstream in(r.text.substr(at + 6));
        unsigned v = 0;
        while (in >> std::hex >> v) {
            bytes.push_back(v);
        }
    }
    return bytes;
}

class Sniffer : public RxDevice {
protected:
    // A data frame with sequence 0x123 carrying the three groups the capture needs; long-vector
    // words as given.
    std::vector<uint8_t> Captured(const std::vector<uint32_t>& longWords, uint32_t rateWord, uint8_t channel = 6)
    {
        RxdFields f;
        f.channel = channel;
        f.timeStamp = std::array<uint8_t, 8>{0x78, 0x56, 0x34, 0x12, 0, 0, 0, 0};
        f.rxVector = std::array<uint32_t, 3>{rateWord, 0, 0};
        std::vector<uint8_t> words(72, 0);
        for (size_t i = 0; i < longWords.size(); ++i) {
            std::memcpy(&words[4 * i], &longWords[i], 4);
        }
        f.longRxVector = words;
        std::vector<uint8_t> frame(40, 0);
        frame[0] = 0x08;
        frame[4] = 0x02;
        frame[22] = 0x30;
        frame[23] = 0x12;
        return sim::chip::BuildRxFrame(generation_, f, frame);
    }
};

TEST_F(Sniffer, OfdmFrameGivesItsRateSignalAndSequence)
{
    Open(0x3502);
    adapter_->SnifferMode = 1;
    const ULONG home = RxDmaqGetFreeCount(adapter_, 0);
    // Mode 1 (OFDM) in long word 0 bits 4-7, guard field 0; RCPI 100 and 230 in long word 6.
    std::vector<uint32_t> longWords(18, 0);
    longWords[0] = 1u << 4;
    longWords[6] = 0xE664;
    kshim::host::TraceClear();
    Deliver(RxRole::Frames, 0, Captured(longWords, 0xC));
    const std::vector<unsigned> radio = LastRadio();
    ASSERT_EQ(radio.size(), 37u);
    EXPECT_EQ(radio[0], 1u);                     // OFDM
    EXPECT_EQ(radio[4] | (radio[5] << 8) | (radio[6] << 16) | (radio[7] << 24), 0x12345678u);
    EXPECT_EQ(radio[10], 1u);                    // DW2 bit 30 clear
    EXPECT_EQ(radio[11], 1u);                    // guard field 0
    EXPECT_EQ(radio[12], 1u);                    // band of channel 6
    EXPECT_EQ(radio[13], 6u);
    EXPECT_EQ(radio[14], 0xC4u);                 // -60 dBm
    EXPECT_EQ(radio[15], 0u);                    // RCPI 230: 0 dBm
    EXPECT_EQ(radio[16] | (radio[17] << 8), 0x123u);
    EXPECT_EQ(radio[20], 108u);                  // OFDM code 12: 54 Mb/s
    EXPECT_EQ(adapter_->SnifferFrameCount[0], 1u);
    EXPECT_EQ(RxDmaqGetFreeCount(adapter_, 0), home);
}

TEST_F(Sniffer, HeFrameFillsTheHeFields)
{
    Open(0x3502);
    adapter_->SnifferMode = 1;
    std::vector<uint32_t> longWords(18, 0);
    longWords[0] = (9u << 4) | (1u << 13) | (2u << 8) | (1u << 31);  // mode 9, guard 1, bandwidth 2
    longWords[9] = 0x00A98700u;  // nibbles 7, 8, 9, 10 from bit 8
    longWords[12] = 0x15 | (1u << 13) | (0x33u << 6) | (1u << 16);
    // Rate word 0xC95: MCS bits 0x15, streams field 1, bits 4, 10 and 11.
    kshim::host::TraceClear();
    Deliver(RxRole::Frames, 0, Captured(longWords, 0x0C95 | (1u << 7)));
    const std::vector<unsigned> radio = LastRadio();
    ASSERT_EQ(radio.size(), 37u);
    EXPECT_EQ(radio[0], 6u);
    EXPECT_EQ(radio[11], 2u);
    EXPECT_EQ(radio[18], 2u);
    EXPECT_EQ(radio[19], 1u);
    EXPECT_EQ(radio[21], 0x15u);
    EXPECT_EQ(radio[22], 1u);
    EXPECT_EQ(radio[23], 1u);
    EXPECT_EQ(radio[24], 0x10u);
    EXPECT_EQ(radio[26], 7u);
    EXPECT_EQ(radio[27], 8u);
    EXPECT_EQ(radio[28], 9u);
    EXPECT_EQ(radio[29], 10u);
    EXPECT_EQ(radio[34], 2u);  // streams field 1: two streams
    EXPECT_EQ(radio[35], 1u);
    EXPECT_EQ(radio[36], 0x33u);
}

TEST_F(Sniffer, AFrameWithoutItsReceiveVectorsIsOnlyReturned)
{
    Open(0x3502);
    adapter_->SnifferMode = 1;
    const ULONG home = RxDmaqGetFreeCount(adapter_, 0);
    kshim::host::TraceClear();
    std::vector<uint8_t> frame(40, 0);
    frame[0] = 0x08;
    frame[4] = 0x02;
    Deliver(RxRole::Frames, 0, sim::chip::BuildRxFrame(generation_, RxdFields{}, frame));
    EXPECT_TRUE(LastRadio().empty());
    EXPECT_EQ(adapter_->SnifferFrameCount[0], 0u);
    EXPECT_EQ(RxDmaqGetFreeCount(adapter_, 0), home);
}

}  // namespace
