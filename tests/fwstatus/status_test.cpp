// The firmware's status, statistics and wake events: the extended event's sub-ids (EFUSE answers, the
// hardware radio switch, Bluetooth control, PHY status records), the power handshakes, the log text,
// the wake reasons and the statistics records.
#include "fwstatus_fixture.h"
#include "kshim/host/wifi.h"
#include "support/crossings.h"

namespace fwstatustest {
namespace {

using kshim::host::TraceContains;

class ExtEvent : public FwStatusTest {
protected:
    void Ext(UCHAR subId, const Bytes& payload)
    {
        Bytes view = View(0xED, payload, subId);
        ProcessLayer0ExtMagicEvent(adapter_.get(), view.data());
    }
    void Radio(UCHAR position) { Ext(0x9A, {position}); }
    void SetUp() override
    {
        FwStatusTest::SetUp();
        kshim::host::WifiClearIndications();
    }
    // Radio-status indications the OS received: code 0x0043, one TLV 0x0111 {hardware, software state};
    // the radio is off unless both states are on.
    size_t RadioIndications(bool on)
    {
        size_t n = 0;
        for (const kshim::host::WdiIndication& i : kshim::host::WifiIndications()) {
            if (i.code != 0x0043) {
                continue;
            }
            const std::vector<uint8_t>& b = i.bytes;
            EXPECT_EQ(b.size(), 22u);
            if (b.size() == 22 && b[16] == 0x11 && b[17] == 0x01 && b[18] == 2 && b[19] == 0 &&
                (b[20] != 0 && b[21] != 0) == on) {
                ++n;
            }
        }
        return n;
    }
    size_t RadioOffs() { return RadioIndications(false); }
    size_t RadioOns() { return RadioIndications(true); }
};

// ---- hardware radio switch ---------------------------------------------------------------------------------
TEST_F(ExtEvent, TwoSwitchOffReportsInARowSwitchTheRadioOffOnce)
{
    adapter_->RadioState.SoftwareRadioState = 1;
    adapter_->RadioState.HardwareRadioState = 0;
    adapter_->RadioState.RadioOn = 1;
    adapter_->RadioState.FirmwareRadioState = 1;
    Radio(0);
    EXPECT_EQ(RadioOffs(), 1u);
    EXPECT_EQ(adapter_->RadioOffBySwitch, 1);
    EXPECT_EQ(adapter_->RadioState.FirmwareRadioState, 0);
    EXPECT_EQ(adapter_->RadioState.RadioOn, 0);
    EXPECT_TRUE(AdapterTestFlags(adapter_.get(), ADAPTER_FLAG_RADIO_OFF));
    EXPECT_EQ(adapter_->Wdi.CntlBlock.TaskPending, 0) << "the radio change ends the task it marked";
    // The radio is off: the same report changes nothing.
    Radio(0);
    EXPECT_EQ(RadioOffs(), 1u);
    EXPECT_EQ(kshim::host::WifiIndications().size(), 1u) << "nothing more reached the OS";
    EXPECT_EQ(adapter_->RadioState.FirmwareRadioState, 0);
    // While a task is pending, a report is dropped and decides nothing.
    adapter_->Wdi.CntlBlock.TaskPending = 1;
    adapter_->RadioState.RadioOn = 1;
    adapter_->RadioState.FirmwareRadioState = 1;
    Radio(0);
    EXPECT_EQ(RadioOffs(), 1u);
    EXPECT_EQ(kshim::host::WifiIndications().size(), 1u) << "nothing more reached the OS";
    EXPECT_EQ(adapter_->RadioState.FirmwareRadioState, 1);
    EXPECT_EQ(adapter_->RadioState.RadioOn, 1);
    EXPECT_EQ(adapter_->Wdi.CntlBlock.TaskPending, 1) << "the pending task is not the radio change's";
    adapter_->Wdi.CntlBlock.TaskPending = 0;
}

TEST_F(ExtEvent, ASwitchOffWhileBothRadioStatesAreOnKeepsTheRadioOn)
{
    adapter_->RadioState.SoftwareRadioState = 1;
    adapter_->RadioState.HardwareRadioState = 1;
    adapter_->RadioState.RadioOn = 1;
    adapter_->RadioState.FirmwareRadioState = 1;
    Radio(0);
    EXPECT_EQ(RadioOffs(), 0u);
    EXPECT_EQ(adapter_->RadioState.RadioOn, 1);
    EXPECT_FALSE(AdapterTestFlags(adapter_.get(), ADAPTER_FLAG_RADIO_OFF));
    EXPECT_EQ(adapter_->Wdi.CntlBlock.TaskPending, 1) << "nothing ended the task";
    adapter_->Wdi.CntlBlock.TaskPending = 0;
}

TEST_F(ExtEvent, SwitchingOnFollowsOnlyARadioTheSwitchTurnedOff)
{
    adapter_->RadioState.SoftwareRadioState = 1;
    adapter_->RadioState.HardwareRadioState = 1;
    // The user turned the radio off: the switch's "on" is only recorded.
    adapter_->RadioState.RadioOn = 0;
    adapter_->RadioState.FirmwareRadioState = 0;
    Radio(1);
    EXPECT_EQ(RadioOns(), 0u);
    EXPECT_EQ(adapter_->RadioState.FirmwareRadioState, 1);
    EXPECT_EQ(adapter_->Wdi.CntlBlock.TaskPending, 0);
    // Switched off by the switch: switched on again by it.
    adapter_->RadioOffBySwitch = 1;
    AdapterSetFlag(adapter_.get(), ADAPTER_FLAG_RADIO_OFF, "test");
    Radio(1);
    EXPECT_EQ(RadioOns(), 1u);
    EXPECT_EQ(adapter_->RadioOffBySwitch, 0);
    EXPECT_EQ(adapter_->RadioState.RadioOn, 1);
    EXPECT_FALSE(AdapterTestFlags(adapter_.get(), ADAPTER_FLAG_RADIO_OFF));
    EXPECT_EQ(adapter_->Wdi.CntlBlock.TaskPending, 0);
}

// ---- the other sub-ids -----------------------------------------------------------------------------------------
TEST_F(ExtEvent, BluetoothAcknowledgedSetsTheFlagWithoutCommandsElseTheControlIsPulsed)
{
    Bytes values(24, 0);
    for (ULONG i = 0; i < 6; ++i) PutU32(values, 4 * i, i + 1);
    PutU32(values, 20, 1);
    Ext(0x9C, values);
    EXPECT_EQ(adapter_->UniEvent.BtReady, 1);
    EXPECT_EQ(adapter_->UniEvent.BtState[2], 3u);
    EXPECT_EQ(qzltest::NotBuiltCalls("QzCmdBtCtrl"), 0u);
    EXPECT_EQ(CountTraces("Bluetooth control acknowledged"), 1u);
    Ext(0x9C, values);
    EXPECT_EQ(CountTraces("Bluetooth control acknowledged"), 1u) << "traced the first time only";
    PutU32(values, 20, 0);
    Ext(0x9C, values);
    EXPECT_EQ(qzltest::NotBuiltCalls("QzCmdBtCtrl"), 2u) << "on, then off";
    EXPECT_EQ(adapter_->UniEvent.BtState[5], 0u);
}

TEST_F(ExtEvent, EachSubIdReadsOnlyWhatItsPayloadHolds)
{
    // EFUSE answer: 16 bytes at payload offset 8.
    Bytes efuse(24, 0);
    for (size_t i = 0; i < 16; ++i) efuse[8 + i] = static_cast<UCHAR>(0x40 + i);
    Ext(0x01, efuse);
    EXPECT_EQ(adapter_->UniEvent.EfuseData[0], 0x40);
    EXPECT_EQ(adapter_->UniEvent.EfuseData[15], 0x4F);
    // One byte short: dropped, the answer stays.
    efuse.resize(23);
    efuse[8] = 0x99;
    Ext(0x01, efuse);
    EXPECT_EQ(adapter_->UniEvent.EfuseData[0], 0x40);
    // EFUSE free blocks: bytes 0 and 2.
    Ext(0x4D, {7, 0, 9});
    EXPECT_EQ(adapter_->UniEvent.EfuseStatus[0], 7);
    EXPECT_EQ(adapter_->UniEvent.EfuseStatus[1], 9);
    // PHY status records by kind; a kind-4 record needs 32 bytes.
    Bytes small(20, 0x11);
    small[0] = 1;
    Ext(0xA8, small);
    EXPECT_EQ(adapter_->Stats.PhyStatusSmall[19], 0x11);
    Bytes large(31, 0x22);
    large[0] = 4;
    Ext(0xA8, large);
    EXPECT_EQ(adapter_->Stats.PhyStatusLarge[0], 0);
    large.push_back(0x22);
    Ext(0xA8, large);
    EXPECT_EQ(adapter_->Stats.PhyStatusLarge[31], 0x22);
    // Empty payloads of the sub-ids that read byte 0.
    const REGISTRY_RADIO_STATE radio = adapter_->RadioState;
    for (UCHAR subId : {0x35, 0x9A, 0x9C, 0xA8}) {
        Ext(subId, {});
    }
    // Each was dropped: nothing reached the OS, no Bluetooth command went out, every copy is as it was.
    EXPECT_TRUE(kshim::host::WifiIndications().empty());
    EXPECT_EQ(qzltest::NotBuiltCalls("QzCmdBtCtrl"), 0u);
    EXPECT_EQ(adapter_->UniEvent.BtReady, 0);
    EXPECT_EQ(adapter_->RadioState.RadioOn, radio.RadioOn);
    EXPECT_EQ(adapter_->RadioState.FirmwareRadioState, radio.FirmwareRadioState);
    EXPECT_EQ(adapter_->Ioctl.BfProfileTag[1], 0);
    EXPECT_EQ(adapter_->Stats.PhyStatusSmall[19], 0x11);
    EXPECT_EQ(adapter_->Stats.PhyStatusLarge[31], 0x22);
    EXPECT_EQ(adapter_->UniEvent.EfuseData[0], 0x40);
}

TEST_F(ExtEvent, BeamformingProfileAnswersGoToTheirPrivateCopies)
{
    Bytes tag(56, 0x5A);
    tag[0] = 16;
    Ext(0x35, tag);
    EXPECT_EQ(adapter_->Ioctl.BfProfileTag[1], 0x5A);
    Bytes other(56, 0x6B);
    other[0] = 18;
    Ext(0x35, other);
    EXPECT_EQ(adapter_->Ioctl.BfProfileData[1], 0);
    EXPECT_EQ(adapter_->Ioctl.BfProfileTag[1], 0x5A) << "the tag answer is kept";
}

// ---- power handshakes ---------------------------------------------------------------------------------------------
TEST_F(FwStatusTest, SleepIsIgnoredUnderMultiChannelAndWithoutLowPowerOwnership)
{
    Bytes view = View(0x07, {1, 0, 0, 0});
    adapter_->LowPower.LowPowerMode = 1;
    adapter_->MccActive = 1;
    ProcessSleepyInfoEvent(adapter_.get(), view.data());
    EXPECT_TRUE(TraceContains("ProcessSleepyInfoEvent: ignored"));
    EXPECT_EQ(adapter_->FwAskedToSleep, 0);
    adapter_->MccActive = 0;
    adapter_->LowPower.LowPowerMode = 0;
    ProcessSleepyInfoEvent(adapter_.get(), view.data());
    EXPECT_EQ(adapter_->FwAskedToSleep, 0);
}

TEST_F(FwStatusTest, TheHostInterfaceEventGivesSuspendOrResume)
{
    ASSERT_NE(adapter_->HifContext, nullptr);
    PCI_HIF_CONTEXT& hif = *adapter_->HifContext;
    Bytes view = View(0xF6, {0, 0, 0, 1});
    ProcessHifControlEvent(adapter_.get(), view.data());
    EXPECT_EQ(hif.SuspendState, 1u);
    view = View(0xF6, {9, 9, 9, 0});
    ProcessHifControlEvent(adapter_.get(), view.data());
    EXPECT_EQ(hif.SuspendState, 4u);
    view = View(0xF6, {0, 0, 1});
    ProcessHifControlEvent(adapter_.get(), view.data());
    EXPECT_EQ(hif.SuspendState, 4u) << "a short event is dropped";
}

TEST_F(FwStatusTest, LinkStateReportsCountByTheirMasks)
{
    const ULONG before[2] = {g_PcieLinkStateCount[0], g_PcieLinkStateCount[1]};
    for (ULONG code : {0x11110001u, 0x33330002u, 0x22220003u, 0x12340004u}) {
        Bytes payload(4, 0);
        PutU32(payload, 0, code);
        Bytes view = View(0xDA, payload);
        ProcesPcieEnteredLinkStateCounterEvent(adapter_.get(), view.data());
    }
    // 0x3333 matches the first mask.
    EXPECT_EQ(g_PcieLinkStateCount[0] - before[0], 2u);
    EXPECT_EQ(g_PcieLinkStateCount[1] - before[1], 1u);
    EXPECT_TRUE(TraceContains("ProcesPcieEnteredLinkStateCounterEvent: kind 9, 0x0004"));
}

// ---- firmware log ---------------------------------------------------------------------------------------------------
Bytes LogPayload(UCHAR kind, const std::string& text, size_t n)
{
    Bytes payload(12 + n + 32, 0);  // header length = 12 + payload = 56 + n
    payload[2] = kind;
    std::memcpy(payload.data() + 12, text.data(), std::min(text.size(), n));
    return payload;
}

TEST_F(FwStatusTest, LogTextEndsAtItsNulOrLosesItsLastByte)
{
    struct Case {
        std::string text;
        size_t n;
        std::string traced;
    };
    const Case cases[] = {
        {std::string("hello\n\0junk", 11), 11, "ProcessFwLogEvent: hello"},
        {"abcdef", 6, "ProcessFwLogEvent: abcde"},
        {std::string("x\0", 2), 2, "ProcessFwLogEvent: x"},
    };
    for (const Case& c : cases) {
        kshim::host::TraceClear();
        Bytes view = View(0x27, LogPayload(3, c.text, c.n));
        ProcessFwLogEvent(adapter_.get(), view.data());
        ASSERT_EQ(CountTraces("ProcessFwLogEvent: "), 1u);
        auto records = kshim::host::TraceSnapshot();
        bool exact = false;
        for (const auto& r : records) {
            const std::string& m = r.text;
            if (m.size() >= c.traced.size() && m.compare(m.size() - c.traced.size(), c.traced.size(), c.traced) == 0) {
                exact = true;
            }
        }
        EXPECT_TRUE(exact) << c.traced;
    }
}

TEST_F(FwStatusTest, LogEventsOutsideTheirLengthsAreDropped)
{
    for (int headerLength : {55, 1257, 0xFFFF}) {
        kshim::host::TraceClear();
        Bytes view = View(0x27, LogPayload(3, "text", 4), 0, 0, headerLength);
        view.resize(std::max<size_t>(view.size(), 16 + (headerLength & 0xFFFF)));
        ProcessFwLogEvent(adapter_.get(), view.data());
        EXPECT_TRUE(TraceContains("bytes of log dropped")) << headerLength;
    }
    // The largest text: 1200 bytes.
    kshim::host::TraceClear();
    Bytes view = View(0x27, LogPayload(3, std::string(1200, 'a'), 1200));
    ProcessFwLogEvent(adapter_.get(), view.data());
    EXPECT_TRUE(TraceContains(std::string(100, 'a')));
    EXPECT_FALSE(TraceContains("dropped"));
}

// ---- wake reasons -------------------------------------------------------------------------------------------------------
TEST_F(FwStatusTest, WakeReasonCodesMapToNdisWakeTypesAndAlwaysReachTheEventLog)
{
    adapter_->EnableSystemEventLog = 1;
    const std::pair<UCHAR, ULONG> cases[] = {{0, 1},       {1, 1},       {15, 1},      {16, 1}, {3, 0x1002},
                                             {8, 2},       {13, 0x1001}, {21, 0x1000}, {9, 0x7777}, {255, 0x7777}};
    for (const auto& [code, reason] : cases) {
        kshim::host::ErrorLogClear();
        adapter_->Wake.WakeReason = 0x7777;
        Bytes view = View(0x62, {code});
        ProcessWoWWakeReasonEvent(adapter_.get(), view.data());
        EXPECT_EQ(adapter_->Wake.WakeReason, reason) << int(code);
        auto entries = kshim::host::ErrorLogSnapshot();
        ASSERT_EQ(entries.size(), 1u) << int(code);
        EXPECT_EQ(entries[0].errorCode, 0x400207D4u);
        ASSERT_FALSE(entries[0].dumpData.empty());
        EXPECT_EQ(entries[0].dumpData[0], code);
    }
}

TEST_F(FwStatusTest, APatternWakeReportsTheOsPatternIdOfAnInstalledSlot)
{
    adapter_->Wake.WowPatterns[3].InUse = 1;
    adapter_->Wake.WowPatterns[3].OsPatternId = 77;
    adapter_->Wake.WakePatternIndex = 3;
    Bytes view = View(0x62, {1});
    ProcessWoWWakeReasonEvent(adapter_.get(), view.data());
    EXPECT_EQ(adapter_->Wake.WakePatternIndex, 77u);
    // A free slot, and an index past the table, stay as they are.
    adapter_->Wake.WakePatternIndex = 4;
    ProcessWoWWakeReasonEvent(adapter_.get(), view.data());
    EXPECT_EQ(adapter_->Wake.WakePatternIndex, 4u);
    adapter_->Wake.WakePatternIndex = 1000;
    ProcessWoWWakeReasonEvent(adapter_.get(), view.data());
    EXPECT_EQ(adapter_->Wake.WakePatternIndex, 1000u);
}

TEST_F(FwStatusTest, WakeEventsStoreTheirReasonAndPostTheLinkLossOfPortZero)
{
    const std::pair<UCHAR, ULONG> cases[] = {{0x1B, 2}, {0x71, 0x1001}, {0x72, 0x1002}};
    for (const auto& [id, reason] : cases) {
        adapter_->Wake.WakePatternIndex = 5;
        adapter_->Wake.WakePacketWord = 6;
        ProcessWowEvent(adapter_.get(), id);
        EXPECT_EQ(adapter_->Wake.WakeReason, reason);
        EXPECT_EQ(adapter_->Wake.WakePatternIndex, 0u);
        EXPECT_EQ(adapter_->Wake.WakePacketWord, 0u);
        EXPECT_EQ(adapter_->Wake.PendingWakeIndication, 1u);
        EXPECT_EQ(adapter_->Wake.LinkLossCause, 1u);
        auto posted = TakeControl();
        ASSERT_EQ(posted.size(), 1u);
        EXPECT_EQ(posted[0].id, INTERNAL_CMD_LINK_LOSS);
        EXPECT_EQ(posted[0].payload, (Bytes{0, 0, 0, 0}));
    }
}

// ---- statistics and WLAN information ---------------------------------------------------------------------------------------
Bytes Statistics(bool valid, ULONG c0, ULONG c1)
{
    Bytes p(STA_STAT_ORI_PAYLOAD_SIZE, 0);
    PutU32(p, 4, valid ? 1 : 0);
    p[0x12] = 0x12;
    PutU32(p, 0x2C, 100);  // transmitted
    PutU32(p, 0x30, 7);    // failed
    PutU32(p, 0x1C, 2);
    PutU32(p, 0x28, 1000);
    PutU32(p, 0x88, 0x88);
    for (ULONG band = 0; band < 2; ++band) {
        PutU32(p, 0xA8 + 52 * band, c0);
        PutU32(p, 0xA8 + 52 * band + 4, c1);
        PutU16(p, 0xA8 + 52 * band + 20, 3);
    }
    return p;
}

TEST_F(FwStatusTest, StatisticsOfAChipWithoutItsOwnOperationAreKeptAndSummed)
{
    adapter_->HalOps.ProcessStaStatistics = nullptr;
    Bytes view = View(0x21, Statistics(true, 30, 10));
    ProcessStaStatisticsEvent(adapter_.get(), view.data());
    ProcessStaStatisticsEvent(adapter_.get(), view.data());
    const STA_STAT_ORI_RECORD& r = adapter_->Stats.StaStatOri;
    EXPECT_EQ(r.Fields[0x2C], 100);
    EXPECT_EQ(r.AirTime, 16u);  // 1000 x 32 / 1000 / 2
    EXPECT_EQ(r.Band[1].Running32[0], 60u);
    EXPECT_EQ(r.Band[1].Running16[0], 6u);
    EXPECT_EQ(r.Band[1].Totals[0], 90u);  // 30, then 60
    EXPECT_EQ(r.Band[1].Last[1], 20u);
    EXPECT_EQ(r.Band[1].TotalRatio, 250u);  // 30 / (90 + 30)
    EXPECT_EQ(r.Band[1].EventRatio, 250u);
    // Without bit 0 the counters are not taken; the totals still grow by the running counters.
    view = View(0x21, Statistics(false, 1, 1));
    ProcessStaStatisticsEvent(adapter_.get(), view.data());
    EXPECT_EQ(r.Band[0].Totals[0], 150u);
    EXPECT_EQ(r.Band[0].EventRatio, 500u);
    // Any other length is dropped.
    Bytes shorter = Statistics(true, 5, 5);
    shorter.pop_back();
    view = View(0x21, shorter);
    const STA_STAT_ORI_RECORD before = r;
    ProcessStaStatisticsEvent(adapter_.get(), view.data());
    EXPECT_EQ(r.Band[0].Totals[0], 150u);
    EXPECT_EQ(std::memcmp(&before, &r, sizeof(r)), 0) << "295 bytes of 296: nothing taken or summed";
}

TEST_F(FwStatusTest, WithTheResetRequestTheTotalsReadZeroAfterEveryEvent)
{
    adapter_->HalOps.ProcessStaStatistics = nullptr;
    adapter_->Stats.StaInfoResetRequested = 1;
    for (int i = 0; i < 2; ++i) {
        Bytes view = View(0x21, Statistics(true, 30, 10));
        ProcessStaStatisticsOri(adapter_.get(), view.data());
        const STA_STAT_ORI_RECORD& r = adapter_->Stats.StaStatOri;
        for (const STA_STAT_BAND& band : r.Band) {
            EXPECT_EQ(band.Totals[0] + band.Totals[1] + band.Last[0] + band.TotalRatio + band.EventRatio, 0u);
        }
        EXPECT_EQ(r.Fields[0x2C] + r.Fields[0x30] + r.Fields[0x88] + r.Fields[0x12], 0);
    }
}

TEST_F(FwStatusTest, WlanInformationOnlyOfItsOwnLength)
{
    Bytes info(WLAN_INFO_RECORD_SIZE, 0xC3);
    Bytes view = View(0xCD, Bytes(info.begin(), info.end() - 1));
    ProcessWlanInfo(adapter_.get(), view.data());
    EXPECT_EQ(adapter_->Stats.WlanInfo[0], 0);
    view = View(0xCD, info);
    ProcessWlanInfo(adapter_.get(), view.data());
    EXPECT_EQ(adapter_->Stats.WlanInfo[155], 0xC3);
}

}  // namespace
}  // namespace fwstatustest
