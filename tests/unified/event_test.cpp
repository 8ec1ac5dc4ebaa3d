// Unified events: each kind reaches its handler, the translated legacy events carry the bytes their
// legacy handlers read, the handlers that act on their own change what they own, and events that
// lie about their lengths are cut short, dropped and counted.
#include <gtest/gtest.h>

#include <string>

#include "unified_fixture.h"
#include "support/crossings.h"

namespace unifiedtest {
namespace {

using kshim::host::TraceContains;
using sim::fw::EncodeUniTlv;

Bytes Body(const Bytes& fixed, std::initializer_list<Bytes> tlvs)
{
    Bytes b(fixed);
    b.resize(4, 0);
    for (const Bytes& t : tlvs) {
        b.insert(b.end(), t.begin(), t.end());
    }
    return b;
}

Bytes Tlv(uint16_t tag, const Bytes& value) { return EncodeUniTlv(tag, value); }

// A TLV header that claims `length` bytes, followed by `value`.
Bytes RawTlv(uint16_t tag, uint16_t length, const Bytes& value = {})
{
    Bytes b(4, 0);
    PutU16(b, 0, tag);
    PutU16(b, 2, length);
    b.insert(b.end(), value.begin(), value.end());
    return b;
}

Bytes Filled(size_t n, uint8_t first = 1)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        b[i] = static_cast<uint8_t>(first + i);
    }
    return b;
}

class UniEvents : public UnifiedTest {
protected:
    void SetUp() override
    {
        UnifiedTest::SetUp();
        SetUpDevice(0x3602, true, false);
    }
    UCHAR Deliver(uint8_t id, const Bytes& body) { return DeliverEvent(UniEvent(id, body)); }
    LONG Malformed() const { return adapter_->UniEvent.UniEventMalformedCount; }
};

// ---- translations into legacy events ---------------------------------------------------------------
struct TranslationCase {
    const char* name;
    uint8_t id;
    Bytes body;
    const char* rebuilt;  // "legacy event 0xID/0xEXT rebuilt, N bytes: payload..." (prefix)
    const char* handler;  // the legacy handler reached
};

void PrintTo(const TranslationCase& c, std::ostream* os) { *os << c.name; }

std::vector<TranslationCase> Translations()
{
    Bytes channelGrant = {1, 2, 3, 36, 5, 2, 6, 42, 0, 0, 0xFF, 0, 0x44, 0x33, 0x22, 0x11};
    Bytes srC0(40, 0);
    PutU16(srC0, 16, 0xC0);
    for (size_t i = 20; i < 28; ++i) srC0[i] = static_cast<uint8_t>(0xA0 + i - 20);
    for (size_t i = 36; i < 40; ++i) srC0[i] = static_cast<uint8_t>(0xB0 + i - 36);
    Bytes srC9(44, 0);
    PutU16(srC9, 16, 0xC9);
    for (size_t i = 20; i < 44; ++i) srC9[i] = static_cast<uint8_t>(i);
    Bytes statistics = Filled(364);
    Bytes linkQuality = Filled(30, 0x10);
    Bytes txStatus = Filled(28, 0x40);
    return {
        {"FirmwareLog", 0x04, Body({}, {Tlv(0, Bytes{2, 0, 0, 0, 'h', 'e', 'l', 'l', 'o'})}),
         "legacy event 0x27/0x00 rebuilt, 21 bytes: 00 00 02 00 00 00 00 00 05 00 00 00 68 65 6C 6C 6F 00 00 00 00",
         "ProcessFwLogEvent"},
        {"ChannelGrant", 0x27, Body({}, {Tlv(0, channelGrant)}),
         "legacy event 0x10/0x00 rebuilt, 24 bytes: 01 02 03 24 05 02 04 2A 00 00 04 00 44 33 22 11 00",
         "ProcessChPrivilegeEvent"},
        {"RegisterReadFirstForm", 0x06, Body({}, {Tlv(0, Bytes{0x00, 0xC8, 0x0C, 0x82, 0x00, 0xC2, 0x03, 0x00})}),
         "legacy event 0x05/0x00 rebuilt, 8 bytes: 00 C8 0C 82 00 C2 03 00", "ProcessAccessReg"},
        {"RegisterReadSecondForm", 0x06,
         Body({}, {Tlv(1, Bytes{0xAB, 0, 0, 0, 0x34, 0x12, 0xAB, 0x99, 0x78, 0x56, 0x34, 0x12})}),
         "legacy event 0x05/0x00 rebuilt, 8 bytes: 34 12 AB 99 78 56 34 12", "ProcessAccessReg"},
        {"LinkQuality", 0x23, Body({}, {Tlv(1, linkQuality)}),
         "legacy event 0x02/0x00 rebuilt, 32 bytes: 10 11 12 13 14 15 00 00 18 19 1A 1B 1C 1D 00 00 20",
         "ProcessLinkQualityEvent"},
        {"StationStatisticsThirdGeneration", 0x23, Body({}, {Tlv(2, statistics)}),
         "legacy event 0x21/0x00 rebuilt, 364 bytes: 01 02 03", "ProcessStaStatisticsEvent"},
        {"TransmitStatus", 0x2D, Body({}, {Tlv(0, txStatus)}),
         "legacy event 0x0F/0x00 rebuilt, 88 bytes: 40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 00 00 50 51 52 53 54 55 "
         "56 57 58 59 5A 5B 00 00",
         "ProcessTxDoneEvent"},
        {"SleepNotify", 0x0B, Body({}, {Tlv(0, Bytes{1, 0, 0, 0})}), "legacy event 0x07/0x00 rebuilt, 4 bytes: 01 00 00 00",
         "ProcessSleepyInfoEvent"},
        {"BssAbsence", 0x29, Body({3}, {Tlv(0, Bytes{1, 2, 0, 0})}), "legacy event 0x11/0x00 rebuilt, 4 bytes: 03 01 02 00",
         "ProcessBssAbsencePresenceEvent"},
        {"BeaconTimeout", 0x0C, Body({2}, {Tlv(0, Bytes{7, 0, 0, 0})}),
         "legacy event 0x13/0x00 rebuilt, 4 bytes: 02 07 00 00", "ProcessBssBeaconTimeout"},
        {"AccessPointAgeOut", 0x1C, Body({}, {Tlv(0, Bytes{5, 0, 0, 0})}),
         "legacy event 0x19/0x00 rebuilt, 4 bytes: 05 00 00 00", "ProcessAPClientAgeout"},
        {"KeyInstalled", 0x12, Body({1}, {Tlv(0, Bytes{0xDD, 0xCC, 0xBB, 0xAA, 0x22, 0x11, 0, 0})}),
         "legacy event 0x24/0x00 rebuilt, 8 bytes: 01 00 DD CC BB AA 22 11", "ProcessAddKeyDone"},
        {"ChannelSwitchCountdown", 0x09, Body({}, {Tlv(0, Bytes{}), Tlv(1, Bytes{9, 9, 9, 9})}),
         "legacy event 0x61/0x00 rebuilt, 0 bytes: ", "ProcessCsaDoneEvent"},
        {"HostInterfaceControl", 0x03, Body({}, {Tlv(0, Bytes{9, 9, 9, 9, 9, 9, 9, 9, 2, 1, 1, 1})}),
         "legacy event 0xF6/0x00 rebuilt, 36 bytes: 02 01 01 01 00 00", "ProcessHifControlEvent"},
        {"WakeReason", 0x5B, Body({}, {Tlv(0, Bytes{9, 0, 0x34, 0x12})}),
         "legacy event 0x5B/0x00 rebuilt, 6 bytes: 09 00 34 12 00 00", "ProcessWoWWakeReasonEvent"},
        {"SpatialReuseC0", 0x25, srC0,
         "legacy event 0xED/0xA8 rebuilt, 20 bytes: 01 00 00 00 00 00 00 00 A0 A1 A2 A3 A4 A5 A6 A7 B0 B1 B2 B3",
         "ProcessLayer0ExtMagicEvent"},
        {"SpatialReuseC9", 0x25, srC9,
         "legacy event 0xED/0xA8 rebuilt, 32 bytes: 04 00 00 00 00 00 00 00 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F 20",
         "ProcessLayer0ExtMagicEvent"},
        {"ChipConfigurationAnswer", 0x07, Body({}, {Tlv(0, Bytes{}), Tlv(2, Bytes{1, 0, 2, 3, 2, 0, 0, 0, 'o', 'k'})}),
         "legacy event 0x44/0x00 rebuilt, 328 bytes: 01 00 02 03 02 00 00 00 6F 6B 00", "ProcessGetChipReq"},
    };
}

class Translation : public UniEvents, public ::testing::WithParamInterface<TranslationCase> {};

INSTANTIATE_TEST_SUITE_P(Kinds, Translation, ::testing::ValuesIn(Translations()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(Translation, ReachesItsLegacyHandlerWithTheLegacyPayload)
{
    const TranslationCase& c = GetParam();
    EXPECT_EQ(Deliver(c.id, c.body), 1);
    EXPECT_TRUE(TraceContains(c.rebuilt)) << c.rebuilt;
    EXPECT_EQ(HandlerRuns(c.handler), 1u);
    EXPECT_EQ(Malformed(), 0);
}

TEST_F(UniEvents, ScanDoneBuildsTheLegacyRecordForTheScanHandler)
{
    Bytes channels = {3, 0, 0, 0};
    for (uint8_t ch : {1, 6, 11}) {
        channels.insert(channels.end(), {ch, 0, 2, 0, static_cast<uint8_t>(ch * 10), 0, 0, 0});
    }
    EXPECT_EQ(Deliver(0x0E, Body({7}, {Tlv(0, Bytes{1, 2, 3, 4, 0x78, 0x56, 0x34, 0x12}), Tlv(1, Bytes{5, 6, 7, 8}),
                                       Tlv(2, channels), Tlv(3, Bytes{})})),
              1);
    EXPECT_TRUE(TraceContains("legacy event 0x0D/0x00 rebuilt, 340 bytes: 07 05 06 07 01 02 03 00 78 56 34 12 04 00 00 "
                              "00 08 00 00 00 01 06 0B 00"));
    EXPECT_EQ(HandlerRuns("ProcessScanDoneEvent"), 1u);
}

// ---- handlers that act on their own ---------------------------------------------------------------------
TEST_F(UniEvents, FailedChannelPrivilegeResultClearsTheRequestFlag)
{
    AdapterSetFlag(adapter_.get(), ADAPTER_FLAG_CH_PRIVILEGE, "test");
    Bytes result(8, 0);
    PutU16(result, 0, 0x16);  // another command's failure leaves the flag
    PutU32(result, 4, 1);
    EXPECT_EQ(Deliver(0x01, result), 1);
    EXPECT_TRUE(AdapterTestFlags(adapter_.get(), ADAPTER_FLAG_CH_PRIVILEGE));
    PutU16(result, 0, 0x27);
    PutU32(result, 4, 0);  // success leaves it
    EXPECT_EQ(Deliver(0x01, result), 1);
    EXPECT_TRUE(AdapterTestFlags(adapter_.get(), ADAPTER_FLAG_CH_PRIVILEGE));
    PutU32(result, 4, 5);
    EXPECT_EQ(Deliver(0x01, result), 1);
    EXPECT_FALSE(AdapterTestFlags(adapter_.get(), ADAPTER_FLAG_CH_PRIVILEGE));
}

TEST_F(UniEvents, DualBandReportSetsTheBandsOfTheBssesItNames)
{
    for (ULONG i = 0; i < 4; ++i) {
        adapter_->BssIndexSlots[i].InUse = i != 3 ? 1 : 0;
        adapter_->BssIndexSlots[i].BandIndex = 0xFF;
    }
    // BSS 0, 2 and 3 named; bands: BSS 0 -> 1, BSS 1 -> 2, BSS 2 -> 3, BSS 3 -> 1.
    const Bytes report = Body({}, {Tlv(0, Bytes{1, 0x0D, 0x79, 0x00})});
    adapter_->UniEvent.DbdcMode = 1;
    EXPECT_EQ(Deliver(0x28, report), 1);
    EXPECT_EQ(adapter_->UniEvent.FwDbdcState, 1);
    EXPECT_EQ(adapter_->BssIndexSlots[0].BandIndex, 0xFF);  // the driver's own dual-band mode wins
    adapter_->UniEvent.DbdcMode = 0;
    EXPECT_EQ(Deliver(0x28, report), 1);
    EXPECT_EQ(adapter_->BssIndexSlots[0].BandIndex, 1);
    EXPECT_EQ(adapter_->BssIndexSlots[1].BandIndex, 0xFF);  // not named
    EXPECT_EQ(adapter_->BssIndexSlots[2].BandIndex, 3);
    EXPECT_EQ(adapter_->BssIndexSlots[3].BandIndex, 0xFF);  // not in use
    EXPECT_EQ(Deliver(0x28, Body({}, {Tlv(0, Bytes{0, 0x0F, 0, 0})})), 1);
    EXPECT_EQ(adapter_->UniEvent.FwDbdcState, 0);
    EXPECT_EQ(adapter_->BssIndexSlots[0].BandIndex, 1);
}

TEST_F(UniEvents, EfuseAnswersFillTheirAdapterFields)
{
    Bytes status(12, 0);
    PutU16(status, 4, 1);
    status[8] = 0x5A;
    status[10] = 0xA5;
    EXPECT_EQ(Deliver(0x48, status), 1);
    EXPECT_EQ(adapter_->UniEvent.EfuseStatus[0], 0x5A);
    EXPECT_EQ(adapter_->UniEvent.EfuseStatus[1], 0xA5);
    Bytes data(64, 0);
    PutU16(data, 4, 2);
    for (size_t i = 48; i < 64; ++i) data[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(Deliver(0x48, data), 1);
    EXPECT_EQ(adapter_->UniEvent.EfuseData[0], 48);
    EXPECT_EQ(adapter_->UniEvent.EfuseData[15], 63);
    // Data announced in an event too short to hold it changes nothing.
    data.resize(63);
    data[47] = 0;
    adapter_->UniEvent.EfuseData[15] = 0;
    EXPECT_EQ(Deliver(0x48, data), 1);
    EXPECT_EQ(adapter_->UniEvent.EfuseData[15], 0);
    EXPECT_EQ(Malformed(), 1);
}

TEST_F(UniEvents, BluetoothStateIsStoredAndItsSixthWordMarksItReady)
{
    Bytes words;
    for (uint32_t v : {1u, 2u, 3u, 4u, 5u, 1u}) sim::fw::AppendU32(words, v);
    EXPECT_EQ(Deliver(0x7B, Body({}, {Tlv(0, words)})), 1);
    EXPECT_EQ(adapter_->UniEvent.BtState[0], 1u);
    EXPECT_EQ(adapter_->UniEvent.BtState[4], 5u);
    EXPECT_EQ(adapter_->UniEvent.BtReady, 1);
}

TEST_F(UniEvents, TracedOnlyAndAnswerOnlyEventsAreHandled)
{
    for (uint8_t id : {0x0F, 0x53, 0x33, 0x1A}) {
        EXPECT_EQ(Deliver(id, Body({}, {Tlv(0, Bytes{1, 2, 3, 4}), Tlv(0x26, Bytes{})})), 1) << int(id);
    }
    EXPECT_EQ(qzltest::NotBuiltCalls(), 0u);
}

TEST_F(UniEvents, HandlersOfServicesNotYetThereSayso)
{
    struct Row {
        uint8_t id;
        const char* handler;
        UCHAR handled;
    };
    const Row rows[] = {{0x2C, "nicUniEventBaOffload", 1},   {0x0A, "nicUniCmdEventCoreDump", 1},
                        {0x30, "nicUniEventPhyIcsRawData", 1}, {0x80, "nicUniEventRadioStatus", 1},
                        {0x7C, "nicUniEventFactCal", 0}};
    for (const Row& r : rows) {
        EXPECT_EQ(Deliver(r.id, Body({}, {Tlv(0, Bytes{0, 0, 0, 0})})), r.handled) << r.handler;
        EXPECT_EQ(qzltest::NotBuiltCalls(r.handler), 1u) << r.handler;
    }
}

// ---- completion of the waiting command ------------------------------------------------------------------
TEST_F(UniEvents, OnlyAHandledEventCompletesTheCommandThatWaitsForIt)
{
    answer_ = false;
    StartThread();
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    EXPECT_EQ(Send(0xC0, 5, {0x00, 0xD0, 0x0C, 0x82, 0, 0, 0, 0}, 0, 0), STATUS_SUCCESS);
    KeLowerIrql(old);
    ASSERT_TRUE(Eventually([&] { return HandedOverMessages().size() == 1; }));
    EXPECT_EQ(SlotsInUseCount(), 1u);
    const LONG unknownBefore = adapter_->FwEvent.FwEventUnknownCount;
    EXPECT_EQ(Deliver(0x99, Body({}, {})), 0);
    EXPECT_EQ(adapter_->FwEvent.FwEventUnknownCount, unknownBefore + 1);
    EXPECT_EQ(Deliver(0x06, Bytes{0, 0}), 0);  // shorter than its fixed part: dropped
    EXPECT_EQ(SlotsInUseCount(), 1u);
    EXPECT_EQ(Deliver(0x06, Body({}, {Tlv(0, Bytes{0x00, 0xD0, 0x0C, 0x82, 1, 0, 0, 0})})), 1);
    EXPECT_EQ(SlotsInUseCount(), 0u);
}

// ---- malformed events -----------------------------------------------------------------------------------
TEST_F(UniEvents, EventShorterThanItsFixedPartIsDroppedAndCounted)
{
    for (size_t n : {0u, 1u, 3u}) {
        EXPECT_EQ(Deliver(0x0B, Bytes(n, 0)), 0) << n;
    }
    EXPECT_EQ(Malformed(), 3);
    EXPECT_EQ(CountTraces("rebuilt"), 0u);
}

struct WalkCase {
    const char* name;
    Bytes tail;  // after one good sleep-notify TLV
};

void PrintTo(const WalkCase& c, std::ostream* os) { *os << c.name; }

class TlvWalk : public UniEvents, public ::testing::WithParamInterface<WalkCase> {};

INSTANTIATE_TEST_SUITE_P(
    Lies, TlvWalk,
    ::testing::Values(WalkCase{"LengthPastTheEnd", RawTlv(0, 40, Bytes{1, 0, 0, 0})},
                      WalkCase{"LengthOneBytePastTheEnd", RawTlv(0, 9, Bytes{1, 0, 0, 0})},
                      WalkCase{"ZeroLength", RawTlv(0, 0, Bytes{1, 0, 0, 0})},
                      WalkCase{"LengthShorterThanItsHeader", RawTlv(0, 3, Bytes{1, 0, 0, 0})},
                      WalkCase{"TwoBytesAfterTheLastTlv", Bytes{0, 0}},
                      WalkCase{"HeaderCutShort", Bytes{0, 0, 8}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(TlvWalk, WalkStopsBeforeTheLieAndCountsIt)
{
    const Bytes body = Body({}, {Tlv(0, Bytes{1, 0, 0, 0}), GetParam().tail});
    EXPECT_EQ(Deliver(0x0B, body), 1);
    // The TLV before the lie was translated, nothing after it.
    EXPECT_EQ(CountTraces("legacy event 0x07/0x00 rebuilt"), 1u);
    EXPECT_EQ(Malformed(), 1);
}

TEST_F(UniEvents, TlvShorterThanTheFieldsItsTranslationReadsIsSkipped)
{
    struct Row {
        uint8_t id;
        uint16_t tag;
        size_t valueLength;  // one byte short of what the translation reads
    };
    const Row rows[] = {{0x27, 0, 15}, {0x06, 0, 7}, {0x06, 1, 11}, {0x23, 1, 29}, {0x23, 2, 363}, {0x2D, 0, 27},
                        {0x0B, 0, 0},  {0x29, 0, 1}, {0x0C, 0, 0},  {0x1C, 0, 0},  {0x12, 0, 5},   {0x03, 0, 11},
                        {0x5B, 0, 3},  {0x07, 2, 7}, {0x7B, 0, 23}, {0x28, 0, 3},  {0x04, 0, 4}};
    LONG expected = 0;
    for (const Row& r : rows) {
        EXPECT_EQ(Deliver(r.id, Body({}, {Tlv(r.tag, Bytes(r.valueLength, 0x11))})), 1) << std::hex << int(r.id);
        EXPECT_EQ(Malformed(), ++expected) << std::hex << int(r.id);
    }
    EXPECT_EQ(CountTraces("rebuilt"), 0u);
    EXPECT_EQ(qzltest::NotBuiltCalls(), 0u);
}

TEST_F(UniEvents, ChipConfigurationTextLongerThanItsTlvIsCut)
{
    EXPECT_EQ(Deliver(0x07, Body({}, {Tlv(2, Bytes{0, 0, 0, 0, 0xFF, 0x7F, 0, 0, 'a', 'b'})})), 1);
    EXPECT_TRUE(TraceContains("legacy event 0x44/0x00 rebuilt, 328 bytes: 00 00 00 00 02 00 00 00 61 62 00"));
    EXPECT_EQ(Malformed(), 1);
}

TEST_F(UniEvents, ScanDoneChannelsStopAtTheRecordAndAtTheirTlv)
{
    Bytes channels = {200, 0, 0, 0};
    for (int i = 0; i < 2; ++i) channels.insert(channels.end(), {36, 0, 2, 0, 9, 0, 0, 0});
    EXPECT_EQ(Deliver(0x0E, Body({1}, {Tlv(2, channels)})), 1);
    EXPECT_TRUE(TraceContains("legacy event 0x0D/0x00 rebuilt, 340 bytes: 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
                              "00 00 00 00 00 24 24 00"));
    EXPECT_EQ(Malformed(), 1);
    // 65 entries present: the record keeps 64.
    Bytes many = {65, 0, 0, 0};
    for (int i = 0; i < 65; ++i) many.insert(many.end(), {static_cast<uint8_t>(i + 1), 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(Deliver(0x0E, Body({1}, {Tlv(2, many)})), 1);
    EXPECT_EQ(Malformed(), 2);
}

TEST_F(UniEvents, SpatialReuseAnswerShortOfItsFieldsIsDropped)
{
    Bytes sr(39, 0);
    PutU16(sr, 16, 0xC0);
    EXPECT_EQ(Deliver(0x25, sr), 1);
    sr.resize(10);
    EXPECT_EQ(Deliver(0x25, sr), 1);
    EXPECT_EQ(Malformed(), 2);
    EXPECT_EQ(CountTraces("rebuilt"), 0u);
}

}  // namespace
}  // namespace unifiedtest
