// The simulated device's side of the data rings: what it accepts as a transmit packet table and
// what it refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "chip/txp.h"
#include "kshim/host/dma.h"

namespace {

class SimTxp : public ::testing::Test {
protected:
    void SetUp() override
    {
        bus_ = kshim::host::DmaRegister(memory_, sizeof(memory_));
        for (size_t i = 0; i < sizeof(memory_); ++i) {
            memory_[i] = static_cast<uint8_t>(i);
        }
    }
    void TearDown() override { kshim::host::DmaUnregister(bus_); }

    void Put16(size_t at, uint16_t v)
    {
        buffer_[at] = static_cast<uint8_t>(v);
        buffer_[at + 1] = static_cast<uint8_t>(v >> 8);
    }
    void Put32(size_t at, uint32_t v)
    {
        Put16(at, static_cast<uint16_t>(v));
        Put16(at + 2, static_cast<uint16_t>(v >> 16));
    }
    // Segment k at memory offset `offset`, `length` bytes.
    void Segment(unsigned k, size_t offset, uint16_t length, bool last)
    {
        static const unsigned address[4] = {8, 16, 20, 28};
        static const unsigned word[4] = {12, 14, 24, 26};
        Put32(32 + address[k], static_cast<uint32_t>(bus_ + offset));
        Put16(32 + word[k], static_cast<uint16_t>(length | ((bus_ >> 32) << 12) | (last ? 0x8000 : 0)));
    }
    bool Gather(std::string* error, size_t length = 64)
    {
        sim::chip::TxBuffer b{0, 3, 0x1000, buffer_, length};
        return sim::chip::GatherDataFrame(b, &frame_, error);
    }

    uint8_t memory_[4096] = {};
    uint64_t bus_ = 0;
    uint8_t buffer_[64] = {};
    sim::chip::DataFrame frame_;
};

TEST_F(SimTxp, JoinsTheSegmentsUpToTheLastOne)
{
    Put32(0, 32 + 24 + 100);
    Put16(32, 0x8000 | 77);
    Segment(0, 1000, 24, false);
    Segment(1, 2000, 0, false);
    Segment(2, 3000, 100, true);
    Segment(3, 500, 50, false);  // after the last: not read
    std::string error;
    ASSERT_TRUE(Gather(&error)) << error;
    EXPECT_EQ(frame_.token, 77);
    EXPECT_EQ(frame_.segments, 3u);
    std::vector<uint8_t> expected(memory_ + 1000, memory_ + 1024);
    expected.insert(expected.end(), memory_ + 3000, memory_ + 3100);
    EXPECT_EQ(frame_.frame, expected);
}

TEST_F(SimTxp, RefusesTablesThatDoNotDescribeTheirFrame)
{
    struct Case {
        const char* what;
        uint32_t length;
        uint16_t token;
        bool last;
        size_t bufferLength;
    } const cases[] = {
        {"segments hold 124 bytes, descriptor declares 126", 32 + 126, 0x8001, true, 64},
        {"token without valid bit", 32 + 124, 0x0001, true, 64},
        {"no segment marked last", 32 + 124, 0x8001, false, 64},
        {"descriptor length is not 64", 32 + 124, 0x8001, true, 56},
    };
    for (const Case& c : cases) {
        std::memset(buffer_, 0, sizeof(buffer_));
        Put32(0, c.length);
        Put16(32, c.token);
        Segment(0, 0, 24, false);
        Segment(1, 100, 100, c.last);
        std::string error;
        EXPECT_FALSE(Gather(&error, c.bufferLength)) << c.what;
        EXPECT_NE(error.find(c.what), std::string::npos) << error;
    }
}

}  // namespace
