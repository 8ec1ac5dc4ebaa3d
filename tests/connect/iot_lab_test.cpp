// The IoT lab rules at the chip: on the three 1-second ticks after a link up to a lab access point the
// driver writes the fixed register values, on the chips that take them, as the simulated chip records
// the accesses.
#include "Common/bss_iot.h"
#include "hif/hif_support.h"

#include <cstring>
#include <vector>

namespace {

const UCHAR kLabAp[6] = {0x6C, 0xE8, 0x73, 0xFD, 0x0F, 0xC0};

class IotLab : public hiftest::Device {
protected:
    void PrepareConnected(USHORT deviceId)
    {
        Prepare(deviceId);
        adapter_->WorkingCfg.EnDefaultIotApRule = 1;
        std::memcpy(port_.Bssid, kLabAp, 6);
        chip_->ClearTranscript();
    }

    std::vector<uint64_t> WritesTo(ULONG address) const
    {
        std::vector<uint64_t> values;
        for (const sim::chip::Access& a : chip_->AccessesTo(address)) {
            if (a.write) {
                values.push_back(a.value);
            }
        }
        return values;
    }
};

TEST_F(IotLab, TheRegistersAreWrittenOnTheThreeTicksAfterALinkUp)
{
    PrepareConnected(0x3601);
    chip_->Poke(0x820F202C, 0x11111111);
    adapter_->IotLabCounter = 1;  // as the link up leaves it
    for (int tick = 0; tick < 5; ++tick) {
        bssIotLabTick(adapter_, &port_);
    }
    EXPECT_EQ(adapter_->IotLabCounter, 0u);
    const std::vector<uint64_t> three(3, 0x3F7FFFFF);
    EXPECT_EQ(WritesTo(0x820E202C), three);
    EXPECT_EQ(WritesTo(0x820F202C), three) << "the first register's value read back goes to the second";
    EXPECT_TRUE(WritesTo(0x820E40C4).empty()) << "the lab rows carry action 2 only";
    EXPECT_EQ(chip_->Peek(0x820F202C), 0x3F7FFFFFu);
}

TEST_F(IotLab, OtherChipsAndOtherAccessPointsWriteNothing)
{
    const struct {
        USHORT deviceId;
        UCHAR lastByte;
        UCHAR enabled;
    } rows[] = {
        {0x3602, 0xC0, 1},  // a chip without the lab registers
        {0x3601, 0xC1, 1},  // an access point of no lab row
        {0x3601, 0xC0, 0},  // the rules off
    };
    for (const auto& row : rows) {
        if (&row != &rows[0]) {
            TearDown();
            SetUp();
        }
        PrepareConnected(row.deviceId);
        port_.Bssid[5] = row.lastByte;
        adapter_->WorkingCfg.EnDefaultIotApRule = row.enabled;
        adapter_->IotLabCounter = 1;
        for (int tick = 0; tick < 3; ++tick) {
            bssIotLabTick(adapter_, &port_);
        }
        EXPECT_EQ(adapter_->IotLabCounter, 0u) << std::hex << row.deviceId;
        EXPECT_TRUE(WritesTo(0x820E202C).empty()) << std::hex << row.deviceId;
        EXPECT_TRUE(WritesTo(0x820F202C).empty()) << std::hex << row.deviceId;
    }
}

TEST_F(IotLab, TheFirstFlagOrsItsBitsIntoBothRegisters)
{
    PrepareConnected(0x3601);
    chip_->Poke(0x820E40C4, 0x12000001);
    chip_->Poke(0x820F40C4, 0x00000300);
    EXPECT_TRUE(bssProcessIotApActionForLAB(adapter_, &port_, 1));
    EXPECT_EQ(WritesTo(0x820E40C4), std::vector<uint64_t>{0x12FE00FF});
    EXPECT_EQ(WritesTo(0x820F40C4), std::vector<uint64_t>{0x00FE03FE});
    EXPECT_TRUE(WritesTo(0x820E202C).empty());
}

}  // namespace
