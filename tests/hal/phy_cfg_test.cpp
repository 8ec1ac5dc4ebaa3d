// The PHY-configuration word accessors in both layouts and the primary-channel location.
#include <gtest/gtest.h>

#include "hal/common/hal_chip.h"
#include "hal/common/phy_cfg.h"
#include "hal_support.h"

namespace {

using haltest::MakeAdapter;

std::unique_ptr<MP_ADAPTER> AdapterWithLayout(ULONG layout)
{
    auto adapter = MakeAdapter(0x3602);
    HalRegisterChip(adapter.get());
    adapter->HalInfo.PhyCfgLayout = layout;
    return adapter;
}

TEST(PhyCfg, EveryChipUsesLayoutTwo)
{
    for (USHORT id : {0x3501, 0x3502, 0x3503, 0x3601, 0x3602, 0x3404}) {
        auto adapter = MakeAdapter(id);
        HalRegisterChip(adapter.get());
        EXPECT_EQ(adapter->HalInfo.PhyCfgLayout, static_cast<ULONG>(PHY_CFG_LAYOUT_2)) << std::hex << id;
    }
}

TEST(PhyCfg, LayoutTwoMcs15ThenBandwidth2)
{
    auto a = AdapterWithLayout(2);
    PHY_CFG cfg = 0;
    WRITE_PHY_CFG_MCS(a.get(), &cfg, 15);
    WRITE_PHY_CFG_BW(a.get(), &cfg, 2);
    EXPECT_EQ(cfg, 0x10Fu);
    EXPECT_EQ(READ_PHY_CFG_NSS(a.get(), &cfg), 0u);
    EXPECT_EQ(READ_PHY_CFG_MCS(a.get(), &cfg), 15u);
    EXPECT_EQ(READ_PHY_CFG_BW(a.get(), &cfg), 2u);
}

TEST(PhyCfg, LayoutTwoHasNoLdpcBit)
{
    auto a = AdapterWithLayout(2);
    PHY_CFG cfg = 0x0007FFFF;  // every layout-2 field set
    WRITE_PHY_CFG_LDPC(a.get(), &cfg, 1);
    EXPECT_EQ(cfg, 0x0007FFFFu);
    EXPECT_EQ(READ_PHY_CFG_LDPC(a.get(), &cfg), 0u);
    // The reader looks from bit 19 up, which only a whole-word write can fill.
    WRITE_PHY_CFG_DOUBLE_WORD(a.get(), &cfg, 0x00180000);
    EXPECT_EQ(READ_PHY_CFG_LDPC(a.get(), &cfg), 3u);
    EXPECT_EQ(READ_PHY_CFG_DOUBLE_WORD(a.get(), &cfg), 0x00180000u);
}

struct FieldCase {
    const char* name;
    void (*write)(PMP_ADAPTER, PPHY_CFG, ULONG);
    ULONG (*read)(PMP_ADAPTER, const PHY_CFG*);
    ULONG mask;  // the field's bits in the word; 0 = the writer changes nothing
};

// Writing all ones sets exactly the field's bits (the value is cut to the field's width), clearing
// with 0 leaves every other bit, and the reader gives the field back shifted down.
void CheckFields(ULONG layout, const FieldCase* cases, size_t count)
{
    auto a = AdapterWithLayout(layout);
    for (size_t k = 0; k < count; ++k) {
        const FieldCase& c = cases[k];
        SCOPED_TRACE(testing::Message() << "layout " << layout << " " << c.name);
        PHY_CFG cfg = 0;
        c.write(a.get(), &cfg, 0xFFFFFFFF);
        EXPECT_EQ(cfg, c.mask);
        PHY_CFG full = 0xFFFFFFFF;
        c.write(a.get(), &full, 0);
        EXPECT_EQ(full, ~c.mask);
        if (c.mask != 0) {
            ULONG shift = static_cast<ULONG>(__builtin_ctz(c.mask));
            EXPECT_EQ(c.read(a.get(), &cfg), c.mask >> shift);
        }
    }
}

TEST(PhyCfg, LayoutTwoFieldWidths)
{
    const FieldCase cases[] = {
        {"MCS", WRITE_PHY_CFG_MCS, READ_PHY_CFG_MCS, 0x0000007F},
        {"BW", WRITE_PHY_CFG_BW, READ_PHY_CFG_BW, 0x00000380},
        {"SGI", WRITE_PHY_CFG_SHORT_GI, READ_PHY_CFG_SHORT_GI, 0x00000400},
        {"STBC", WRITE_PHY_CFG_STBC, READ_PHY_CFG_STBC, 0x00000800},
        {"MODE", WRITE_PHY_CFG_MODE, READ_PHY_CFG_MODE, 0x0001C000},
        {"NSS", WRITE_PHY_CFG_NSS, READ_PHY_CFG_NSS, 0x00060000},
        {"LDPC", WRITE_PHY_CFG_LDPC, READ_PHY_CFG_LDPC, 0},
    };
    CheckFields(2, cases, RTL_NUMBER_OF(cases));
}

TEST(PhyCfg, OtherLayoutFieldWidths)
{
    const FieldCase cases[] = {
        {"MCS", WRITE_PHY_CFG_MCS, READ_PHY_CFG_MCS, 0x0000007F},
        {"BW", WRITE_PHY_CFG_BW, READ_PHY_CFG_BW, 0x00000080},
        {"SGI", WRITE_PHY_CFG_SHORT_GI, READ_PHY_CFG_SHORT_GI, 0x00000100},
        {"STBC", WRITE_PHY_CFG_STBC, READ_PHY_CFG_STBC, 0x00000600},
        {"LDPC", WRITE_PHY_CFG_LDPC, READ_PHY_CFG_LDPC, 0x00002000},
        {"MODE", WRITE_PHY_CFG_MODE, READ_PHY_CFG_MODE, 0x0000C000},
        {"NSS", WRITE_PHY_CFG_NSS, READ_PHY_CFG_NSS, 0},
    };
    CheckFields(1, cases, RTL_NUMBER_OF(cases));
}

TEST(PhyCfg, OtherLayoutReadsStreamsFromTheMcs)
{
    auto a = AdapterWithLayout(0);
    PHY_CFG cfg = 0;
    WRITE_PHY_CFG_MCS(a.get(), &cfg, 23);  // three streams of MCS 7
    EXPECT_EQ(READ_PHY_CFG_NSS(a.get(), &cfg), 2u);
}

TEST(PhyCfg, GuardIntervalWriterKeepsOnlyBitZero)
{
    auto a = AdapterWithLayout(2);
    PHY_CFG cfg = 0;
    WRITE_PHY_CFG_SHORT_GI(a.get(), &cfg, 2);
    EXPECT_EQ(cfg, 0u);
    WRITE_PHY_CFG_SHORT_GI(a.get(), &cfg, 3);
    EXPECT_EQ(cfg, 0x400u);
}

struct LocationCase {
    UCHAR primary;
    UCHAR bandwidth;
    UCHAR centre;
    UCHAR expected;  // 0xEE: unchanged
};

TEST(PhyCfg, PrimaryChannelLocation)
{
    const LocationCase cases[] = {
        {36, 2, 42, 2},      {40, 2, 42, 3},    {44, 2, 42, 4},   {48, 2, 42, 5},  // 80 MHz
        {36, 1, 38, 1},      {40, 1, 38, 3},    {36, 1, 42, 0xEE},                  // 40 MHz
        {36, 3, 50, 0},      {40, 3, 50, 1},    {60, 3, 50, 6},   {64, 3, 50, 7},  // 160 MHz
        {100, 2, 114, 0xEE}, {36, 2, 36, 0xEE}, {36, 3, 51, 0xEE},                 // no place
        {36, 0, 36, 0xEE},   {1, 7, 31, 0xEE},                                      // other codes
    };
    for (const LocationCase& c : cases) {
        UCHAR location = 0xEE;
        GetPrimaryChannelLocation(nullptr, c.primary, c.bandwidth, c.centre, &location);
        EXPECT_EQ(location, c.expected) << int(c.primary) << "/" << int(c.bandwidth) << "/" << int(c.centre);
    }
}

}  // namespace
