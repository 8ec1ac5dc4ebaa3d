// The local time to the firmware: seconds since 1970 and microseconds of the local time, as a chip
// configuration text on the chips whose running firmware takes it as a command.
#include "hal/common/hal_services.h"
#include "periodic/periodic_fixture.h"

namespace periodictest {
namespace {

// 2023-11-14 22:13:20 UTC and 123456 microseconds, one hour ahead locally.
constexpr int64_t kUnixSeconds = 1700000000;
constexpr int64_t kSystemTime = (11644473600LL + kUnixSeconds) * 10000000LL + 1234567;
constexpr int64_t kLocalOffset = 3600LL * 10000000LL;

class TimeSync : public PeriodicTest {};

TEST_F(TimeSync, TheFirmwareGetsTheLocalTimeAsText)
{
    SetUpChip(fwcmdstest::kSecondGen);
    kshim::host::ClockSetSystemTime(kSystemTime);
    kshim::host::ClockSetLocalOffset(kLocalOffset);
    adapter_->FwDownloaded = 0;
    ClearSent();
    EXPECT_EQ(kalSyncTimeToFW(adapter_.get()), STATUS_SUCCESS);
    EXPECT_TRUE(qzl_test::Settle());
    std::vector<std::string> texts;
    for (const sim::fw::LegacyCommand& c : Legacy()) {
        texts.push_back(ChipConfigText(c));
    }
    EXPECT_EQ(texts, std::vector<std::string>{"SyncTime 1700003600 123456"});
    EXPECT_EQ(adapter_->FwDownloaded, 1) << "the firmware runs from RAM";
    kshim::host::ClockSetLocalOffset(0);
}

}  // namespace
}  // namespace periodictest
