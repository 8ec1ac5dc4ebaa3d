// The statistics events the firmware event layer hands to the chip: the station statistics of the
// second and third generation (exact payload lengths, running totals, ratios, rate figure, reset)
// and the older chip's MIB record.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Common/qzevent.h"
#include "hal/chips/qz3404.h"
#include "hal/chips/qzarvel2x.h"
#include "hal/chips/qzarvel3x.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); }

// An event of exactly `payload` bytes behind its 12-byte header (no byte more, so that a read past
// the payload is caught).
std::vector<uint8_t> Event(size_t payload)
{
    std::vector<uint8_t> e(FW_EVENT_HEADER_LENGTH + payload, 0);
    const uint16_t total = static_cast<uint16_t>(e.size());
    std::memcpy(e.data(), &total, 2);
    return e;
}

class Stats : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        adapter_ = std::make_unique<MP_ADAPTER>();
    }
    std::unique_ptr<MP_ADAPTER> adapter_;
};

TEST_F(Stats, SecondGenerationAcceptsOnly312Bytes)
{
    for (size_t length : {311u, 313u, 376u}) {
        std::vector<uint8_t> e = Event(length);
        Put32(e, 12 + 32, 1);
        Put32(e, 12 + 200, 7);
        AsicArvel2xProcessStaStatistics(adapter_.get(), e.data());
    }
    EXPECT_EQ(adapter_->Stats.StaStatBandTotals[0][0], 0u);
    EXPECT_EQ(adapter_->Stats.StaStatBandCumulative[0][0], 0u);
}

TEST_F(Stats, TotalsRatiosAndRateOfTheSecondGeneration)
{
    std::vector<uint8_t> e = Event(312);
    const size_t p = FW_EVENT_HEADER_LENGTH;
    Put32(e, p + 32, 1);
    Put32(e, p + 56, 4);       // divisor
    Put32(e, p + 68, 100000);  // (100000 x 32 / 1000) / 4 = 800
    Put32(e, p + 200, 30);     // band 0: first and second counter
    Put32(e, p + 204, 10);
    e[p + 200 + 20] = 5;       // band 0: first u16 counter
    Put32(e, p + 252, 1);      // band 1: first counter, second 0
    e[p + 304] = 0x42;
    AsicArvel2xProcessStaStatistics(adapter_.get(), e.data());
    EXPECT_EQ(adapter_->Stats.StaStatRate, 800u);
    EXPECT_EQ(adapter_->Stats.StaStatBandTotals[0][0], 30u);
    EXPECT_EQ(adapter_->Stats.StaStatBandTotals[0][5], 5u);
    EXPECT_EQ(adapter_->Stats.StaStatBandTotals[1][0], 1u);
    EXPECT_EQ(adapter_->Stats.StaStatRatioEvent[0], 250u);  // 10 / (30 + 10)
    EXPECT_EQ(adapter_->Stats.StaStatRatioCumulative[0], 250u);
    EXPECT_EQ(adapter_->Stats.StaStatRatioEvent[1], 0u);
    EXPECT_EQ(adapter_->Stats.StaStatRecord[304], 0x42);
    // Without the valid bit nothing is added, but the cumulative counters still take the totals.
    Put32(e, p + 32, 0);
    AsicArvel2xProcessStaStatistics(adapter_.get(), e.data());
    EXPECT_EQ(adapter_->Stats.StaStatBandTotals[0][0], 30u);
    EXPECT_EQ(adapter_->Stats.StaStatBandCumulative[0][0], 60u);
    // A reset clears totals and ratios.
    adapter_->Stats.StaStatReset = 1;
    AsicArvel2xProcessStaStatistics(adapter_.get(), e.data());
    EXPECT_EQ(adapter_->Stats.StaStatBandTotals[0][0], 0u);
    EXPECT_EQ(adapter_->Stats.StaStatRatioCumulative[0], 0u);
}

TEST_F(Stats, ThirdGenerationTakes376BytesWith32BitBandCounters)
{
    std::vector<uint8_t> e = Event(376);
    const size_t p = FW_EVENT_HEADER_LENGTH;
    Put32(e, p + 32, 1);
    Put32(e, p + 200 + 20 + 4 * 15, 0x10000);  // band 0: the last of the sixteen counters
    Put32(e, p + 284, 9);                      // band 1: first counter
    e[p + 375] = 0x5A;                         // the payload's last byte, inside the last tail field
    AsicArvel3xProcessStaStatistics(adapter_.get(), e.data());
    EXPECT_EQ(adapter_->Stats.StaStatBandTotals[0][20], 0x10000u);
    EXPECT_EQ(adapter_->Stats.StaStatBandTotals[1][0], 9u);
    EXPECT_EQ(adapter_->Stats.StaStatRecord[375], 0x5A);
    EXPECT_EQ(adapter_->Stats.StaStatRecord[376], 0) << "nothing copied past the payload";
    AsicArvel2xProcessStaStatistics(adapter_.get(), e.data());  // 376 bytes: not a second-generation event
    EXPECT_EQ(adapter_->Stats.StaStatBandTotals[1][0], 9u);
}

TEST_F(Stats, OlderChipMibRecordNeedsTheWholeRecordInThePayload)
{
    std::vector<uint8_t> shortEvent = Event(240);
    QZ3404ProcessGetMIBInfoEvent(adapter_.get(), shortEvent.data());
    EXPECT_EQ(adapter_->Stats.MibRecord[0], 0);
    std::vector<uint8_t> e = Event(246);
    e[FW_EVENT_HEADER_LENGTH + 10] = 0x11;
    e[FW_EVENT_HEADER_LENGTH + 245] = 0x22;
    QZ3404ProcessGetMIBInfoEvent(adapter_.get(), e.data());
    EXPECT_EQ(adapter_->Stats.MibRecord[0], 0x11);
    EXPECT_EQ(adapter_->Stats.MibRecord[235], 0x22);
}

}  // namespace
