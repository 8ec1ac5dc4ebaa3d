// The control tool's private scan filter: the 40-byte record {u8 channel, 6-byte BSSID, 32-byte SSID,
// u8 SSID length} becomes the adapter's filter that the OS scan request, the WDI scan handler and the
// scan command read; the reset clears it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonioctl.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Record(uint8_t channel, const uint8_t (&bssid)[6], const char* ssid, uint8_t ssidLength)
{
    Bytes r(40, 0);
    r[0] = channel;
    std::memcpy(r.data() + 1, bssid, 6);
    std::memcpy(r.data() + 7, ssid, std::strlen(ssid));
    r[39] = ssidLength;
    return r;
}

class ScanFilter : public ::testing::Test {
protected:
    std::unique_ptr<MP_ADAPTER> adapter_ = std::make_unique<MP_ADAPTER>();
    ULONG written_ = 0;
    ULONG needed_ = 0;
    NTSTATUS Set(Bytes r, ULONG length)
    {
        return FuncSetScanFilter(adapter_.get(), nullptr, r.data(), length, &written_, &needed_);
    }
};

TEST_F(ScanFilter, TheRecordBecomesTheFilterAndTheResetClearsIt)
{
    const uint8_t bssid[6] = {0x02, 0x00, 0x00, 0x05, 0x24, 0x02};
    EXPECT_EQ(static_cast<uint32_t>(Set(Record(36, bssid, "Lab", 3), 39)), 0x80000005u);
    EXPECT_EQ(needed_, 40u);
    EXPECT_EQ(adapter_->PrivateScanFilterOn, 0) << "a short record leaves the filter off";

    ASSERT_EQ(Set(Record(36, bssid, "Lab", 3), 48), STATUS_SUCCESS);
    EXPECT_EQ(written_, 40u);
    EXPECT_EQ(needed_, 40u);
    const MLME_SCAN_STATE& scan = adapter_->Mlme.Scan;
    EXPECT_EQ(adapter_->PrivateScanFilterOn, 1);
    EXPECT_EQ(std::memcmp(adapter_->PrivateScanFilterAddress, bssid, 6), 0);
    EXPECT_EQ(scan.ScanFilterChannelSet, 1);
    EXPECT_EQ(scan.ScanFilterChannel, 36);
    ASSERT_EQ(scan.ScanFilterSsidLen, 3);
    EXPECT_EQ(std::memcmp(scan.ScanFilterSsid, "Lab", 3), 0);

    ASSERT_EQ(FuncResetScanFilter(adapter_.get(), nullptr, nullptr, 0, &written_, &needed_), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->PrivateScanFilterOn, 0);
    EXPECT_EQ(scan.ScanFilterChannelSet, 0);
    EXPECT_EQ(scan.ScanFilterChannel, 0);
    EXPECT_EQ(scan.ScanFilterSsidLen, 0);
    const uint8_t zero[6] = {};
    EXPECT_EQ(std::memcmp(adapter_->PrivateScanFilterAddress, zero, 6), 0);
}

TEST_F(ScanFilter, AnSsidLengthPastTheSlotIsCutToThirtyTwoBytes)
{
    const uint8_t bssid[6] = {};
    ASSERT_EQ(Set(Record(0, bssid, "0123456789abcdef0123456789abcdef", 200), 40), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->Mlme.Scan.ScanFilterSsidLen, 32);
    EXPECT_EQ(adapter_->Mlme.Scan.ScanFilterChannel, 0) << "channel 0: any channel";
}

}  // namespace
