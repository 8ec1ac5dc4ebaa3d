// The private country request: reading the country and its channels, one row of the loaded
// power-limit text (falling back to the world's section as "WW"), changing the country only where
// allowed, switching the 6 GHz plans, and the 6 GHz country list.
#include "Common/rlm.h"
#include "fwcmds/fwcmds_fixture.h"
#include "platform/ndiscommon/ndiscommonioctl.h"
#include "support/sku_file.h"

namespace regdomaintest {
using namespace qzltest;

namespace {

class CountryRequestTest : public fwcmdstest::FwCmdsTest {
protected:
    void SetUp() override
    {
        fwcmdstest::FwCmdsTest::SetUp();
        SetUpChip(fwcmdstest::kThirdGen);
        adapter_->WorkingCfg.CountryCode = 'U' | ('S' << 8);
        record_.assign(772, 0);
    }
    void TearDown() override
    {
        skuTableFreePowerTables(adapter_.get());
        fwcmdstest::FwCmdsTest::TearDown();
    }
    NTSTATUS Request(uint32_t operation, const char* country = "\0\0")
    {
        record_[0] = static_cast<uint8_t>(operation);
        record_[4] = static_cast<uint8_t>(country[0]);  // first letter in the high byte
        record_[5] = static_cast<uint8_t>(country[1]);
        std::swap(record_[4], record_[5]);
        ULONG written = 0, needed = 0;
        return FuncCountry(adapter_.get(), nullptr, record_.data(), static_cast<ULONG>(record_.size()), &written, &needed);
    }
    std::string CountryField() const { return {static_cast<char>(record_[5]), static_cast<char>(record_[4])}; }
    std::string Text(size_t at) const { return std::string(reinterpret_cast<const char*>(&record_[at])); }
    void LoadT0(const std::string& text)
    {
        PVOID block = nullptr;
        ASSERT_EQ(PlatformAllocateMemory(adapter_.get(), &block, static_cast<ULONG>(text.size()), TAG_ZVSK), STATUS_SUCCESS);
        std::memcpy(block, text.data(), text.size());
        adapter_->SkuTables.Text[0] = static_cast<PUCHAR>(block);
        adapter_->SkuTables.Length[0] = static_cast<ULONG>(text.size());
    }
    std::vector<uint8_t> record_;
};

TEST_F(CountryRequestTest, ARecordShorterThan772BytesIsRefused)
{
    ULONG written = 0, needed = 0;
    EXPECT_EQ(FuncCountry(adapter_.get(), nullptr, record_.data(), 771, &written, &needed), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(needed, 772u);
    EXPECT_EQ(Request(8), STATUS_INVALID_PARAMETER);
}

TEST_F(CountryRequestTest, ReadsTheCountryAndItsChannels)
{
    ASSERT_EQ(DomainConfigureDomainInfo(adapter_.get(), port0_), STATUS_SUCCESS);
    ASSERT_EQ(Request(0), STATUS_SUCCESS);
    EXPECT_EQ(CountryField(), "US");
    ASSERT_EQ(Request(3), STATUS_SUCCESS);
    const int count = record_[768];
    ASSERT_EQ(count, adapter_->Country.ChannelListCount);
    ASSERT_GT(count, 14);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(record_[412 + i], adapter_->Country.ChannelList[i].Channel);
        EXPECT_EQ(record_[532 + 2 * i] | (record_[533 + 2 * i] << 8), adapter_->Country.ChannelList[i].Flags);
    }
    EXPECT_EQ(record_[412], 1);
}

TEST_F(CountryRequestTest, OnePowerLimitRowOfTheCountryOrOfTheWorld)
{
    LoadT0(SkuText({{"US-D", {{"cck", {"ch001 20 20 20 20"}}, {"ofdm", {"ch001 1 2 3 4 5 6 7 8", "ch036 20,x,-3"}}}},
                    {"00-D", {{"ofdm", {"ch036 9 9 9 9 9 9 9 9"}}}}}));
    std::memcpy(&record_[12], "ofdm", 5);
    record_[8] = 36;
    ASSERT_EQ(Request(1, "US"), STATUS_SUCCESS);
    EXPECT_EQ(Text(12), "<ofdm>");
    EXPECT_EQ(Text(212), "ch036 20,x,-3");
    EXPECT_EQ(CountryField(), "US");
    // No section for the country: the world's, reported as "WW".
    record_.assign(772, 0);
    std::memcpy(&record_[12], "ofdm", 5);
    record_[8] = 36;
    ASSERT_EQ(Request(1, "ZZ"), STATUS_SUCCESS);
    EXPECT_EQ(Text(212), "ch036 9 9 9 9 9 9 9 9");
    EXPECT_EQ(CountryField(), "WW");
    // No row for the channel.
    record_[8] = 40;
    std::memcpy(&record_[12], "ofdm", 5);
    EXPECT_EQ(Request(1, "US"), STATUS_UNSUCCESSFUL);
}

TEST_F(CountryRequestTest, TheCountryChangesOnlyWhereAllowed)
{
    adapter_->RegistryBlock.SmartCountryDecisionEn = 0;
    adapter_->RegistryBlock.DynamicCountryDecisionEn = 1;
    EXPECT_EQ(Request(2, "FR"), STATUS_ACCESS_DENIED);
    EXPECT_EQ(adapter_->WorkingCfg.CountryCode, 'U' | ('S' << 8));
    record_[530] = 1;
    ASSERT_EQ(Request(4), STATUS_SUCCESS);
    ASSERT_EQ(Request(2, "JP"), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->WorkingCfg.CountryCode, 'J' | ('P' << 8));
    EXPECT_EQ(adapter_->Country.ChannelList[13].Channel, 14);  // Japan's plan: 2.4 GHz 1-14
    EXPECT_EQ(adapter_->RegistryBlock.DynamicCountryDecisionEn, 1);
    // Operation 5 keeps the vote off and sets the coexistence type.
    ASSERT_EQ(Request(5, "FR"), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->WorkingCfg.CountryCode, 'F' | ('R' << 8));
    EXPECT_EQ(adapter_->RegistryBlock.DynamicCountryDecisionEn, 0);
    EXPECT_EQ(port0_->CoexType, 2);
}

TEST_F(CountryRequestTest, SixGhzSwitchAndCountryList)
{
    adapter_->RegistryBlock.Country6GEn = 1;
    record_[531] = 1;  // 6 GHz off
    ASSERT_EQ(Request(6), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->RegistryBlock.Country6GEn, 0);
    ASSERT_EQ(Request(6), STATUS_SUCCESS);  // already off: nothing
    EXPECT_EQ(adapter_->RegistryBlock.Country6GEn, 0);
    record_[531] = 0;
    ASSERT_EQ(Request(6), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->RegistryBlock.Country6GEn, 1);
    record_.assign(772, 0);
    record_[8] = 0;  // selector: plans 0 and 1 of the chip's table
    ASSERT_EQ(Request(7), STATUS_SUCCESS);
    ASSERT_GE(record_[9], 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&record_[10]), 6), "USCAKR");  // table A plan 0
}

}  // namespace
}  // namespace regdomaintest
