// The supported-rate bitmaps of a BSS or a peer: each rate code's bit, the basic rates, the basic
// rates outside the table and the selectors.
#include <gtest/gtest.h>

#include <vector>

#include "Common/bss.h"

namespace {

struct RatesCase {
    const char* name;
    std::vector<UCHAR> rates;
    std::vector<UCHAR> extended;
    USHORT supported;
    USHORT basic;
    UCHAR otherBasic;
};

TEST(RateBitmaps, EachRateCodeFoldsIntoItsBit)
{
    // The table's 16 codes with a bit, one at a time, as a plain and as a basic rate.
    const UCHAR codes[16] = {0x02, 0x04, 0x0B, 0x16, 0x2C, 0x42, 0x0C, 0x12,
                             0x18, 0x24, 0x30, 0x48, 0x60, 0x6C, 0x7E, 0x7F};
    for (int bit = 0; bit < 16; ++bit) {
        for (UCHAR basicBit : {UCHAR(0), UCHAR(0x80)}) {
            const UCHAR rate = static_cast<UCHAR>(codes[bit] | basicBit);
            USHORT supported = 0xFFFF, basic = 0xFFFF;
            UCHAR other = 0xFF;
            bssParseSupportedRates(&rate, 1, nullptr, 0, &supported, &basic, &other);
            EXPECT_EQ(supported, 1u << bit) << "code " << std::hex << int(rate);
            EXPECT_EQ(basic, basicBit != 0 ? 1u << bit : 0u) << "code " << std::hex << int(rate);
            EXPECT_EQ(other, 0) << "code " << std::hex << int(rate);
        }
    }
}

TEST(RateBitmaps, ElementsFoldTogether)
{
    const RatesCase cases[] = {
        {"11b basic with OFDM", {0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24}, {}, 0x03CF, 0x000F, 0},
        {"basic 0.5 Mbit/s is outside the table", {0x81}, {}, 0x0000, 0x0000, 1},
        {"a plain unknown rate is skipped", {0x01, 0x03}, {}, 0x0000, 0x0000, 0},
        {"the SAE selector is known and has no bit", {0xFB}, {}, 0x0000, 0x0000, 0},
        {"the HT and VHT selectors", {0xFF, 0xFE}, {}, 0xC000, 0xC000, 0},
        {"a rate in both elements counts once", {0x82, 0x0C}, {0x0C, 0x6C}, 0x2041, 0x0001, 0},
        {"extended rates alone", {}, {0x30, 0xE0}, 0x1400, 0x1000, 0},
        {"an unknown basic rate in the extended element", {0x82}, {0x90}, 0x0001, 0x0001, 1},
    };
    for (const RatesCase& c : cases) {
        USHORT supported = 0xFFFF, basic = 0xFFFF;
        UCHAR other = 0xFF;
        bssParseSupportedRates(c.rates.empty() ? nullptr : c.rates.data(), static_cast<UCHAR>(c.rates.size()),
                               c.extended.empty() ? nullptr : c.extended.data(), static_cast<UCHAR>(c.extended.size()),
                               &supported, &basic, &other);
        EXPECT_EQ(supported, c.supported) << c.name;
        EXPECT_EQ(basic, c.basic) << c.name;
        EXPECT_EQ(other, c.otherBasic) << c.name;
    }
}

TEST(RateBitmaps, AnAbsentElementOrALengthOfZeroReadsNothing)
{
    const UCHAR rates[] = {0x82, 0x84};
    USHORT supported = 0xFFFF, basic = 0xFFFF;
    UCHAR other = 0xFF;
    bssParseSupportedRates(rates, 0, nullptr, 5, &supported, &basic, &other);
    EXPECT_EQ(supported, 0u);
    EXPECT_EQ(basic, 0u);
    EXPECT_EQ(other, 0);
}

}  // namespace
