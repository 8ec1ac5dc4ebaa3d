// The local time to a chip that takes it from its host-to-chip registers, before its RAM code runs:
// seconds since 1970, microseconds, then the notify word 4.
#include "hal/common/hal_services.h"
#include "hif/hif_support.h"

namespace hiftest {
namespace {

constexpr int64_t kSystemTime = (11644473600LL + 1700000000LL) * 10000000LL + 1234567;
constexpr int64_t kLocalOffset = -2LL * 3600 * 10000000LL;

class TimeSyncRegisters : public Device {};

TEST_F(TimeSyncRegisters, SecondsMicrosecondsThenTheNotifyWord)
{
    for (USHORT id : {USHORT(0x3602), USHORT(0x3603), USHORT(0x0C04)}) {
        if (id != 0x3602) {
            TearDown();
            SetUp();
        }
        Prepare(id);
        kshim::host::ClockSetManual();
        kshim::host::ClockSetSystemTime(kSystemTime);
        kshim::host::ClockSetLocalOffset(kLocalOffset);
        adapter_->FwDownloaded = 0;
        chip_->ClearTranscript();
        EXPECT_EQ(kalSyncTimeToFW(adapter_), STATUS_SUCCESS);
        std::vector<std::pair<uint32_t, uint64_t>> writes;
        for (uint32_t address : {0x7C03D020u, 0x7C03D024u, 0x7C03D00Cu}) {
            for (const sim::chip::Access& a : chip_->AccessesTo(address)) {
                if (a.write) {
                    writes.emplace_back(address, a.value);
                }
            }
        }
        const std::vector<std::pair<uint32_t, uint64_t>> expected = {
            {0x7C03D020u, 1700000000u - 7200u}, {0x7C03D024u, 123456u}, {0x7C03D00Cu, 4u}};
        EXPECT_EQ(writes, expected) << std::hex << id;
        EXPECT_EQ(adapter_->FwDownloaded, 0) << "the RAM code need not run yet";
        kshim::host::ClockSetLocalOffset(0);
    }
}

}  // namespace
}  // namespace hiftest
