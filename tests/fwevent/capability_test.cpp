// The chip capability report: the NIC capability event sets the adapter's addresses and band
// restriction (with a stand-in address for a group or empty one), the chip capability records set
// the PHY, 6 GHz, factory-calibration and permanent-address values through the tag table, on the
// legacy event and on the third generation's unified records alike; a report whose count or lengths
// claim more than the event carries is read up to the event's end and counted.
#include <cstring>

#include "Common/qzevent_capability.h"
#include "Common/qzevent_handlers.h"
#include "fw/capability.h"
#include "fw/events.h"
#include "fw/unified_events.h"
#include "fwcmd/fwcmd_fixture.h"

namespace fwevent {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::fw::CapabilityRecord;

Bytes U32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

Bytes Phy(uint8_t streams, uint8_t txLdpc, uint8_t rxLdpc, uint8_t path, size_t length = 12)
{
    Bytes phy(length, 0);
    const uint8_t at[] = {4, 6, 7, 10};
    const uint8_t values[] = {streams, txLdpc, rxLdpc, path};
    for (int i = 0; i < 4; ++i) {
        if (at[i] < length) {
            phy[at[i]] = values[i];
        }
    }
    return phy;
}

const uint8_t kChipMac[6] = {0x00, 0x0C, 0x43, 0x35, 0x77, 0x10};
const uint8_t kPowerUpMac[6] = {0x02, 0x3F, 0xA7, 0x01, 0x02, 0x03};

class CapabilityTest : public fwcmdtest::FwCmdFixture, public ::testing::WithParamInterface<USHORT> {
protected:
    void SetUp() override
    {
        FwCmdFixture::SetUp();
        SetUpDevice(GetParam(), false);
        adapter_->FwDownloaded = 1;
        std::memcpy(adapter_->PermanentAddress, kPowerUpMac, 6);
        std::memcpy(adapter_->CurrentAddress, kPowerUpMac, 6);
        adapter_->AntennaPath = 0x5A11;
        adapter_->Cap.HwAntennaPath = 0xA511;
    }

    // A chip capability event with these records; the count field says `count` (default: the
    // number of records) and the payload is cut to `cut` bytes when given.
    UCHAR DeliverChipCapability(const std::vector<CapabilityRecord>& records, int count = -1, size_t cut = 0)
    {
        Bytes payload = sim::fw::EncodeChipCapabilityPayload(records);
        if (count >= 0) {
            payload[0] = uint8_t(count);
            payload[1] = uint8_t(count >> 8);
        }
        if (cut != 0) {
            payload.resize(cut);
        }
        return DeliverEvent(RamEvent(0xEC, payload));
    }

    const MP_ADAPTER& A() const { return *adapter_; }
    LONG Malformed() const { return adapter_->Cap.ChipCapMalformedCount; }
};

INSTANTIATE_TEST_SUITE_P(Devices, CapabilityTest, ::testing::Values(USHORT{0x3404}, USHORT{0x3502}, USHORT{0x3602}),
                         fwcmdtest::DeviceTestName);

// ---- chip capability records ----------------------------------------------------------------------------
TEST_P(CapabilityTest, EveryTaggedRecordReachesItsAdapterField)
{
    Bytes tag0;
    for (uint32_t w : {0x11u, 0x22u, 0x33u, 0x44u}) {
        Bytes b = U32(w);
        tag0.insert(tag0.end(), b.begin(), b.end());
    }
    Bytes tag1 = U32(0x55);
    Bytes w2 = U32(0x66);
    tag1.insert(tag1.end(), w2.begin(), w2.end());
    EXPECT_EQ(DeliverChipCapability({{0x00, tag0},
                                     {0x01, tag1},
                                     {0x02, U32(0x77)},
                                     {0x03, {}},
                                     {0x07, Bytes(kChipMac, kChipMac + 6)},
                                     {0x08, Phy(2, 1, 0, 0x0C)},
                                     {0x18, {1, 0, 0, 0}},
                                     {0x24, {1, 0, 0, 0}}}),
              1);
    EXPECT_EQ(A().Cap.ChipCapability.Tag0Present, 1);
    EXPECT_EQ(A().Cap.ChipCapability.Tag0[3], 0x44u);
    EXPECT_EQ(A().Cap.ChipCapability.Tag1[1], 0x66u);
    EXPECT_EQ(A().Cap.ChipCapability.Tag2, 0x77u);
    EXPECT_EQ(std::memcmp(A().PermanentAddress, kChipMac, 6), 0);
    // Only the chip's own address changes: the address in use stays.
    EXPECT_EQ(std::memcmp(A().CurrentAddress, kPowerUpMac, 6), 0);
    // Two streams in both nibbles of both antenna words, their high bytes kept.
    EXPECT_EQ(A().AntennaPath, 0x5A22);
    EXPECT_EQ(A().Cap.HwAntennaPath, 0xA522);
    EXPECT_EQ(A().Cap.ChipStreams, 0x22);
    EXPECT_EQ(A().Cap.ChipTxLdpc, 1);
    EXPECT_EQ(A().Cap.ChipRxLdpc, 0);
    EXPECT_EQ(A().Cap.ChipTxPathMask, 0x0C);
    EXPECT_EQ(A().Cap.SixGCapable, 1);
    EXPECT_EQ(A().Cap.FactoryCalCapable, 1);
    EXPECT_EQ(Malformed(), 0);
}

TEST_P(CapabilityTest, ZeroRecordsStoreNothing)
{
    EXPECT_EQ(DeliverChipCapability({{0x07, Bytes(kChipMac, kChipMac + 6)}}, 0), 1);
    EXPECT_EQ(std::memcmp(A().PermanentAddress, kPowerUpMac, 6), 0);
    EXPECT_EQ(A().Cap.ChipCapability.Tag0Present, 0);
    EXPECT_EQ(Malformed(), 0);
}

TEST_P(CapabilityTest, UnknownTagIsSkippedByItsLengthAndTheNextRecordIsRead)
{
    EXPECT_EQ(DeliverChipCapability({{0x05, Bytes(9, 0xEE)}, {0x24, {1, 0, 0, 0}}, {0x99, {}}, {0x18, {1}}}), 1);
    EXPECT_EQ(A().Cap.FactoryCalCapable, 1);
    EXPECT_EQ(A().Cap.SixGCapable, 1);
    EXPECT_EQ(Malformed(), 0);
}

TEST_P(CapabilityTest, MoreStreamsThanExpectedAreWarnedAboutAndUsedByTheirLowNibble)
{
    EXPECT_EQ(DeliverChipCapability({{0x08, Phy(0xF3, 1, 1, 7)}}), 1);
    EXPECT_EQ(A().AntennaPath & 0xFF, 0x33);
    EXPECT_EQ(A().Cap.HwAntennaPath & 0xFF, 0x33);
    EXPECT_EQ(A().Cap.ChipStreams, 0x33);
    EXPECT_TRUE(kshim::host::TraceContains("nicCfgChipCapPhyCap: 3 spatial streams reported"));
}

// The firmware's count and lengths are not trusted: the walk ends at the event's end, and a record
// too short for what its handler reads is skipped; what came before stays.
struct LyingCase {
    const char* name;
    std::vector<CapabilityRecord> records;
    int count;         // -1: as many as there are
    size_t cut;        // 0: the whole payload
    bool factoryCal;   // the factory-calibration record before the fault was taken
    bool sixGhz;       // the 6 GHz record after the fault was taken
    UCHAR streams;     // ChipStreams afterwards
};

TEST_P(CapabilityTest, ReportsThatClaimMoreThanTheEventCarriesAreReadToItsEnd)
{
    const CapabilityRecord cal{0x24, {1, 0, 0, 0}};
    const CapabilityRecord sixG{0x18, {1, 0, 0, 0}};
    const LyingCase cases[] = {
        {"count beyond the records", {cal}, 40, 0, true, false, 0},
        {"count of 0xFFFF", {cal, sixG}, 0xFFFF, 0, true, true, 0},
        {"record header cut", {cal, sixG}, -1, 4 + 12 + 5, true, false, 0},
        {"value cut", {cal, {0x08, Phy(2, 1, 1, 3)}}, -1, 4 + 12 + 8 + 6, true, false, 0},
        {"PHY value too short for its path byte", {cal, {0x08, Phy(2, 1, 1, 3, 10)}, sixG}, -1, 0, true, true, 0},
        {"MAC value too short", {cal, {0x07, {0x00, 0x11}}, sixG}, -1, 0, true, true, 0},
        {"tag 0 value too short", {cal, {0x00, Bytes(15, 1)}, sixG}, -1, 0, true, true, 0},
        {"empty 6 GHz value", {cal, {0x18, {}}}, -1, 0, true, false, 0},
        {"payload shorter than the count", {}, -1, 2, false, false, 0},
    };
    for (const LyingCase& c : cases) {
        SCOPED_TRACE(c.name);
        adapter_->Cap.FactoryCalCapable = 0;
        adapter_->Cap.SixGCapable = 0;
        adapter_->Cap.ChipStreams = 0;
        adapter_->Cap.ChipCapability = {};
        std::memcpy(adapter_->PermanentAddress, kPowerUpMac, 6);
        const LONG before = Malformed();
        EXPECT_EQ(DeliverChipCapability(c.records, c.count, c.cut), 1);
        EXPECT_EQ(A().Cap.FactoryCalCapable, c.factoryCal ? 1 : 0);
        EXPECT_EQ(A().Cap.SixGCapable, c.sixGhz ? 1 : 0);
        EXPECT_EQ(A().Cap.ChipStreams, c.streams);
        EXPECT_EQ(A().Cap.ChipCapability.Tag0Present, 0);
        EXPECT_EQ(std::memcmp(A().PermanentAddress, kPowerUpMac, 6), 0);
        EXPECT_EQ(Malformed(), before + 1);
    }
}

TEST_P(CapabilityTest, ValueLengthThatWrapsTheOffsetEndsTheWalk)
{
    // A value length near 2^32 must not wrap the walk back into the event.
    Bytes payload = {2, 0, 0, 0};
    for (const Bytes& b : {U32(0x05), U32(0xFFFFFFF8u), U32(0x24), U32(4), Bytes{1, 0, 0, 0}}) {
        payload.insert(payload.end(), b.begin(), b.end());
    }
    EXPECT_EQ(DeliverEvent(RamEvent(0xEC, payload)), 1);
    EXPECT_EQ(A().Cap.FactoryCalCapable, 0);
    EXPECT_EQ(Malformed(), 1);
}

// ---- NIC capability ---------------------------------------------------------------------------------------
Bytes NicPayload(const uint8_t* mac, uint8_t only24G, size_t length = 57)
{
    Bytes p(length, 0);
    const uint8_t head[] = {0x01, 0x00, 0x02, 0x00, 0x03, 0x00, only24G, 0x09};
    for (size_t i = 0; i < sizeof(head) && i < length; ++i) {
        p[i] = head[i];
    }
    for (size_t i = 0; i < 6 && 8 + i < length; ++i) {
        p[8 + i] = mac[i];
    }
    if (length > 56) {
        p[36] = 0xAA;
        p[56] = 0x5C;
    }
    return p;
}

TEST_P(CapabilityTest, NicCapabilityWithAUnicastAddressSetsBothAddresses)
{
    EXPECT_EQ(DeliverEvent(RamEvent(0x01, NicPayload(kChipMac, 1))), 1);
    EXPECT_EQ(std::memcmp(A().PermanentAddress, kChipMac, 6), 0);
    EXPECT_EQ(std::memcmp(A().CurrentAddress, kChipMac, 6), 0);
    EXPECT_EQ(A().Only24G, 1);
    EXPECT_EQ(A().Cap.NicCapability.MacValid, 1);
    EXPECT_EQ(A().Cap.NicCapability.Version[2], 3);
    EXPECT_EQ(A().Cap.NicCapability.Feature, 9);
    EXPECT_EQ(A().Cap.NicCapability.Words[0], 0xAAu);
    EXPECT_EQ(A().Cap.NicCapability.Last, 0x5C);
}

TEST_P(CapabilityTest, NicCapabilityWithAGroupOrEmptyAddressTakesTheFallback)
{
    const uint8_t group[6] = {0x01, 0, 0, 0, 0, 0};
    const uint8_t zero[6] = {};
    const uint8_t broadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (const uint8_t* mac : {group, zero, broadcast}) {
        std::memcpy(adapter_->PermanentAddress, kPowerUpMac, 6);
        EXPECT_EQ(DeliverEvent(RamEvent(0x01, NicPayload(mac, 0))), 1);
        EXPECT_EQ(A().Cap.NicCapability.MacValid, 0);
        EXPECT_EQ(A().PermanentAddress[0] & 0x03, 0) << "unicast, globally administered";
        const uint8_t tail[5] = {0xC1, 0x9B, 0x33, 0x44, 0x55};
        EXPECT_EQ(std::memcmp(A().PermanentAddress + 1, tail, 5), 0);
        EXPECT_EQ(std::memcmp(A().CurrentAddress, A().PermanentAddress, 6), 0);
        EXPECT_EQ(A().Only24G, 0);
    }
}

TEST_P(CapabilityTest, NicCapabilityShorterThanItsFieldsChangesNothing)
{
    for (size_t length : {size_t{0}, size_t{14}, size_t{56}}) {
        adapter_->Only24G = 0;
        const LONG before = Malformed();
        EXPECT_EQ(DeliverEvent(RamEvent(0x01, NicPayload(kChipMac, 1, length))), 1);
        EXPECT_EQ(std::memcmp(A().PermanentAddress, kPowerUpMac, 6), 0) << length;
        EXPECT_EQ(std::memcmp(A().CurrentAddress, kPowerUpMac, 6), 0) << length;
        EXPECT_EQ(A().Only24G, 0) << length;
        EXPECT_EQ(A().Cap.NicCapability.Reported, 0) << length;
        EXPECT_EQ(Malformed(), before + 1) << length;
    }
}

// ---- the third generation's unified records -------------------------------------------------------------
class UnifiedCapabilityTest : public fwcmdtest::FwCmdFixture {
protected:
    void SetUp() override
    {
        FwCmdFixture::SetUp();
        SetUpDevice(0x3602, false);
        adapter_->FwDownloaded = 1;
    }
};

TEST_F(UnifiedCapabilityTest, UnifiedRecordsGoThroughTheSameTagTable)
{
    sim::fw::ChipCapabilities caps;
    caps.macAddress = {0x00, 0x0C, 0x43, 0x36, 0x02, 0x7E};
    caps.streams = 1;
    caps.phyPath = 1;
    caps.sixGhz = 1;
    caps.factoryCal = 1;
    caps.extra = {{0x05, {1, 2, 3}}, {0x02, U32(0x1234)}};
    std::vector<sim::fw::UniTlv> tlvs;
    for (const CapabilityRecord& r : sim::fw::CapabilityRecords(caps)) {
        tlvs.push_back({static_cast<uint16_t>(r.tag), r.value});
    }
    EXPECT_EQ(DeliverEvent(sim::fw::EncodeUnifiedEvent(0x43, 0, {0, 0, 0, 0}, tlvs)), 1);
    EXPECT_EQ(std::memcmp(adapter_->PermanentAddress, caps.macAddress.data(), 6), 0);
    EXPECT_EQ(adapter_->Cap.ChipStreams, 0x11);
    EXPECT_EQ(adapter_->Cap.ChipTxPathMask, 1);
    EXPECT_EQ(adapter_->Cap.SixGCapable, 1);
    EXPECT_EQ(adapter_->Cap.FactoryCalCapable, 1);
    EXPECT_EQ(adapter_->Cap.ChipCapability.Tag2, 0x1234u);
    EXPECT_EQ(adapter_->Cap.ChipCapMalformedCount, 0);
}

TEST(ChipCapTable, EightRowsOneHandlerEachAndNoneForOtherTags)
{
    const ULONG tags[] = {0x00, 0x01, 0x02, 0x03, 0x07, 0x08, 0x18, 0x24};
    for (ULONG tag : tags) {
        const CHIP_CAP_HANDLER_ENTRY* row = ChipCapGetHandler(tag);
        ASSERT_NE(row, nullptr) << tag;
        EXPECT_NE(row->Handler, nullptr);
    }
    for (ULONG tag : {0x04u, 0x05u, 0x09u, 0x25u, 0xFFFFFFFFu}) {
        EXPECT_EQ(ChipCapGetHandler(tag), nullptr) << tag;
    }
}

}  // namespace
}  // namespace fwevent
