// The capability query of the first power-up, end to end: the simulated RAM code's report reaches
// the adapter on a legacy chip (event 0xEC with its nine records) and on the third generation (the
// unified records), and the post-download steps read what it set.
#include <cstring>

#include "bringup/bringup_support.h"

namespace fwevent {
namespace {

class CapabilityBringUp : public bringup::BringUpTest, public ::testing::WithParamInterface<USHORT> {};

INSTANTIATE_TEST_SUITE_P(Devices, CapabilityBringUp, ::testing::Values(USHORT{0x3502}, USHORT{0x3602}),
                         [](const ::testing::TestParamInfo<USHORT>& info) {
                             char text[16];
                             std::snprintf(text, sizeof(text), "dev%04X", static_cast<unsigned>(info.param));
                             return std::string(text);
                         });

TEST_P(CapabilityBringUp, TheFirmwaresReportReachesTheAdapter)
{
    const USHORT id = GetParam();
    AddDevice(id);
    ASSERT_FALSE(HasFailure());
    sim::fw::ChipCapabilities& caps = id == 0x3602 ? Ram().Unified().Settings().capabilities
                                                   : Ram().Settings().capabilities;
    caps.macAddress = {0x00, 0x0C, 0x43, 0x10, 0x20, 0x30};
    caps.streams = 2;
    caps.phyPath = 0x0B;
    caps.sixGhz = 1;
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    Quiesce();
    const MP_ADAPTER* a = Adapter();
    EXPECT_EQ(std::memcmp(a->PermanentAddress, caps.macAddress.data(), 6), 0);
    EXPECT_EQ(a->Cap.ChipStreams, 0x22);
    EXPECT_EQ(a->AntennaPath & 0xFF, 0x22);
    EXPECT_EQ(a->Cap.HwAntennaPath & 0xFF, 0x22);
    EXPECT_EQ(a->Cap.ChipTxPathMask, 0x0B);
    EXPECT_EQ(a->Cap.SixGCapable, 1);
    EXPECT_EQ(a->Cap.FactoryCalCapable, 0);
    EXPECT_EQ(a->Cap.ChipCapMalformedCount, 0);
    if (id == 0x3502) {
        // The second generation copies the path mask and splits the stream byte after the query.
        EXPECT_EQ(a->Cap.TxPathSetting, 0x0B);
        EXPECT_EQ(a->Cap.TxStreamLimit, 2);
        EXPECT_EQ(a->Cap.RxStreamLimit, 2);
        // The legacy report also carries the records of tags 0 to 3 and one the driver skips.
        EXPECT_EQ(a->Cap.ChipCapability.Tag0Present, 1);
        EXPECT_TRUE(kshim::host::TraceContains("ProcessChipCapabilityEvent: 9 records"));
    }
}

}  // namespace
}  // namespace fwevent
