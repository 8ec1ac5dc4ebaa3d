// Event reception: events in each generation's receive buffer reach their handler, the ROM dialect
// stores what the download needs, events that lie about their length or have no handler are
// dropped and counted, and answers are matched to slots by event id (and extended id), never by
// sequence number.
#include "Common/qzevent_handlers.h"
#include "fwcmd_fixture.h"
#include "support/crossings.h"

namespace fwcmdtest {
namespace {

using kshim::host::TraceContains;

// ---- the run-time dispatch, per generation ----------------------------------------------------------------
struct HandlerRow {
    uint8_t id;
    const char* handler;  // the handler that the event reaches; empty: handled without action
};

const HandlerRow kRows[] = {
    {0x01, "ProcessNicCapabilityEvent"}, {0x02, "ProcessLinkQualityEvent"},   {0x05, "ProcessAccessReg"},
    {0x07, "ProcessSleepyInfoEvent"},    {0x0A, "ProcessRxAddBA"},            {0x0B, "ProcessRxDelBA"},
    {0x0C, ""},                          {0x0D, "ProcessScanDoneEvent"},      {0x0F, "ProcessTxDoneEvent"},
    {0x10, "ProcessChPrivilegeEvent"},   {0x11, "ProcessBssAbsencePresenceEvent"},
    {0x13, "ProcessBssBeaconTimeout"},   {0x19, "ProcessAPClientAgeout"},     {0x1B, "ProcessWowEvent"},
    {0x23, "ProcessNLOEvent"},           {0x24, "ProcessAddKeyDone"},         {0x27, "ProcessFwLogEvent"},
    {0x2E, "ProcessTxAddBA"},            {0x3C, ""},                          {0x44, "ProcessGetChipReq"},
    {0x61, "ProcessCsaDoneEvent"},       {0x62, "ProcessWoWWakeReasonEvent"}, {0x71, "ProcessWowEvent"},
    {0x72, "ProcessWowEvent"},           {0x7C, "ProcessCoexCtrl"},           {0xCD, "ProcessWlanInfo"},
    {0xDA, "ProcesPcieEnteredLinkStateCounterEvent"},                         {0xEC, "ProcessChipCapabilityEvent"},
    {0xED, "ProcessLayer0ExtMagicEvent"},                                     {0xF0, "ProcessAssertDumpEvent"},
    {0xF6, "ProcessHifControlEvent"},    {0xFD, "ProcessInitEventCmdResult"},
};

class RamDispatchTest : public FwCmdFixture, public ::testing::WithParamInterface<USHORT> {
protected:
    void SetUp() override
    {
        FwCmdFixture::SetUp();
        SetUpDevice(GetParam(), false);
        adapter_->FwDownloaded = 1;
    }
};

INSTANTIATE_TEST_SUITE_P(Devices, RamDispatchTest, ::testing::Values(USHORT{0x3404}, USHORT{0x3502}, USHORT{0x3602}),
                         DeviceTestName);

TEST_P(RamDispatchTest, EveryListedEventReachesItsHandler)
{
    for (const HandlerRow& row : kRows) {
        kshim::host::TraceClear();
        EXPECT_EQ(DeliverEvent(RamEvent(row.id, {0, 0, 0, 0, 0, 0, 0, 0})), 1) << std::hex << int(row.id);
        if (row.handler[0] != '\0') {
            EXPECT_GE(HandlerRuns(row.handler), 1u) << std::hex << int(row.id) << " " << row.handler;
        } else {
            EXPECT_EQ(qzltest::NotBuiltCalls(), qzltest::NotBuiltCalls("RxDmaqFree")) << std::hex << int(row.id);
        }
    }
    // Statistics and MIB information go to the chip's own operations where it has them.
    struct ChipRow {
        USHORT device;
        const char* statistics;
        const char* mib;
    };
    const ChipRow chips[] = {
        {0x3404, "QZ3404ProcessStaStatistics", "QZ3404ProcessGetMIBInfoEvent"},
        {0x3502, "AsicArvel2xProcessStaStatistics", "AsicArvel2xProcessGetMIBInfoEvent"},
        {0x3602, "AsicArvel3xProcessStaStatistics", "AsicArvel2xProcessGetMIBInfoEvent"},
    };
    for (const ChipRow& chip : chips) {
        if (chip.device != GetParam()) {
            continue;
        }
        kshim::host::TraceClear();
        EXPECT_EQ(DeliverEvent(RamEvent(0x21)), 1);
        EXPECT_GE(HandlerRuns(chip.statistics), 1u);
        kshim::host::TraceClear();
        EXPECT_EQ(DeliverEvent(RamEvent(0xCE)), 1);
        EXPECT_GE(HandlerRuns(chip.mib), 1u);
    }
    adapter_->HalOps.ProcessStaStatistics = nullptr;
    kshim::host::TraceClear();
    EXPECT_EQ(DeliverEvent(RamEvent(0x21)), 1);
    // The common record's handler runs and drops an event shorter than its 296 bytes.
    EXPECT_EQ(HandlerRuns("ProcessStaStatisticsOri"), 1u);
    EXPECT_TRUE(TraceContains("ProcessStaStatisticsOri: 0 payload bytes dropped"));
    EXPECT_EQ(adapter_->FwEvent.FwEventUnknownCount, 0);
    EXPECT_EQ(adapter_->FwEvent.FwEventShortCount, 0);
}

TEST_P(RamDispatchTest, UnknownIdIsCountedAndStillAnswersItsCommand)
{
    // Command 0x21 expects event 0x08, which has no run-time handler. (Taken as a legacy command:
    // the third generation sends the unified form once its firmware runs in RAM.)
    adapter_->FwDownloaded = 0;
    ASSERT_EQ(SendAtDispatch(0x21, 0xED, 13, LogBaseQueryPayload()), STATUS_SUCCESS);
    adapter_->FwDownloaded = 1;
    MarkOnRing(0);
    EXPECT_EQ(DeliverEvent(RamEvent(0x08, {1, 0, 0, 0})), 0);
    EXPECT_EQ(adapter_->FwEvent.FwEventUnknownCount, 1);
    EXPECT_TRUE(TraceContains("event 0x08 has no handler"));
    EXPECT_TRUE(Slot(0).Answered);
    EXPECT_FALSE(Slot(0).InUse);
}

TEST_P(RamDispatchTest, TheHeaderLengthBoundsWhatHandlersSee)
{
    // A receive buffer padded beyond the event: handlers learn the header's length, not the buffer's.
    std::vector<uint8_t> event = RamEvent(0x0D, {7, 1, 2});
    EXPECT_EQ(DeliverEvent(event, static_cast<ULONG>(event.size() + 8), static_cast<ULONG>(event.size() + 8)), 1);
    EXPECT_EQ(adapter_->FwEvent.FwEventShortCount, 0);
}

TEST_F(FwCmdFixture, UnifiedEventGoesOnlyToTheUnifiedDispatch)
{
    SetUpDevice(0x3602, false);
    adapter_->FwDownloaded = 1;
    EXPECT_EQ(DeliverEvent(RamEvent(0x10, {0, 0, 0, 0}, 0, FW_EVENT_OPTION_UNIFIED)), 0);
    // The unified dispatch has no row for 0x10 (its channel grant is unified event 0x27).
    EXPECT_TRUE(TraceContains("unified event 0x10 has no handler"));
    EXPECT_EQ(qzltest::NotBuiltCalls("ProcessChPrivilegeEvent"), 0u);
}

TEST_F(FwCmdFixture, OlderChipDropsAnEventWithoutItsPacketType)
{
    SetUpDevice(0x3404, false);
    adapter_->FwDownloaded = 1;
    ASSERT_EQ(SendAtDispatch(0x1C, 0xED, 13, {0, 0, 0, 0}), STATUS_SUCCESS);  // expects event 0x10
    MarkOnRing(0);
    sim::fw::EventHeader header;
    header.id = 0x10;
    header.packetType = 0x1234;
    EXPECT_EQ(DeliverEvent(sim::fw::EncodeRamEvent(generation_, header, {0, 0, 0, 0})), 0);
    EXPECT_EQ(qzltest::NotBuiltCalls("ProcessChPrivilegeEvent"), 0u);
    EXPECT_TRUE(Slot(0).InUse) << "it answers nothing";
    EXPECT_EQ(DeliverEvent(RamEvent(0x10, {0, 0, 0, 0})), 1);
    EXPECT_FALSE(Slot(0).InUse);
}

TEST_F(FwCmdFixture, LegacyEventTable)
{
    EXPECT_EQ(FwEventHandlerTableCount, 19u);
    EXPECT_EQ(FwEventGetHandler(0xED), &ProcessLayer0ExtMagicEvent);
    EXPECT_EQ(FwEventGetHandler(0x21), &ProcessStaStatisticsEvent);
    EXPECT_EQ(FwEventGetHandler(0x5B), &ProcessWoWWakeReasonEvent);
    EXPECT_EQ(FwEventGetHandler(0x62), nullptr) << "0x62 reaches the wake reason only through the run-time dispatch";
}

// ---- lengths ---------------------------------------------------------------------------------------
struct Malformed {
    const char* name;
    bool rom;
    std::vector<uint8_t> (*build)(sim::chip::Generation generation);
    ULONG receivedDelta;  // added to the buffer's size as the received length
};

std::vector<uint8_t> OnlyDescriptor(sim::chip::Generation g) { return sim::fw::RxDescriptor(g, 0); }
std::vector<uint8_t> HeaderCut(sim::chip::Generation g)
{
    auto e = sim::fw::EncodeRamEvent(g, {0x10, 1}, {1, 2, 3, 4});
    e.resize(sim::fw::RxDescriptorLength(g) + 11);
    return e;
}
std::vector<uint8_t> LengthBeyondReceived(sim::chip::Generation g)
{
    auto e = sim::fw::EncodeRamEvent(g, {0x10, 1}, {1, 2, 3, 4});
    e.resize(e.size() - 1);  // the header still says 16
    return e;
}
std::vector<uint8_t> LengthBelowHeader(sim::chip::Generation g)
{
    auto e = sim::fw::EncodeRamEvent(g, {0x10, 1}, {1, 2, 3, 4});
    e[sim::fw::RxDescriptorLength(g)] = 11;
    return e;
}
std::vector<uint8_t> RomHeaderCut(sim::chip::Generation g)
{
    auto e = sim::fw::EncodeRomEvent(g, 0x04, 1, {2});
    e.resize(sim::fw::RxDescriptorLength(g) + 7);
    return e;
}
std::vector<uint8_t> RomSemaphoreWithoutPayload(sim::chip::Generation g) { return sim::fw::EncodeRomEvent(g, 0x04, 1, {}); }
std::vector<uint8_t> RomRegisterReadCut(sim::chip::Generation g)
{
    return sim::fw::EncodeRomEvent(g, 0x02, 1, {0x04, 0x00, 0x00, 0x88, 0x01, 0x8A});
}
std::vector<uint8_t> ReceivedBeyondBuffer(sim::chip::Generation g) { return sim::fw::EncodeRamEvent(g, {0x10, 1}, {1}); }

void PrintTo(const Malformed& m, std::ostream* os) { *os << m.name; }

const Malformed kMalformed[] = {
    {"OnlyDescriptor", false, OnlyDescriptor, 0},
    {"HeaderCut", false, HeaderCut, 0},
    {"LengthBeyondReceived", false, LengthBeyondReceived, 0},
    {"LengthBelowHeader", false, LengthBelowHeader, 0},
    {"ReceivedBeyondBuffer", false, ReceivedBeyondBuffer, 1},
    {"RomHeaderCut", true, RomHeaderCut, 0},
    {"RomSemaphoreWithoutPayload", true, RomSemaphoreWithoutPayload, 0},
    {"RomRegisterReadCut", true, RomRegisterReadCut, 0},
};

class MalformedTest : public FwCmdFixture,
                      public ::testing::WithParamInterface<std::tuple<USHORT, Malformed>> {};

INSTANTIATE_TEST_SUITE_P(Cases, MalformedTest,
                         ::testing::Combine(::testing::Values(USHORT{0x3502}, USHORT{0x3602}),
                                            ::testing::ValuesIn(kMalformed)),
                         DeviceCaseTestName<Malformed>);

TEST_P(MalformedTest, IsDroppedAndCountedAndAnswersNothing)
{
    const Malformed& m = std::get<1>(GetParam());
    SetUpDevice(std::get<0>(GetParam()), false);
    // A command waiting for the event id the bytes carry (0x10 run-time, 0x04 / 0x02 ROM).
    ASSERT_EQ(SendAtDispatch(0x10, 0x10, 23, {1, 0, 0, 0}), STATUS_SUCCESS);
    ASSERT_EQ(SendAtDispatch(0x1C, 0xED, 13, {0, 0, 0, 0}), STATUS_SUCCESS);
    ASSERT_EQ(SendAtDispatch(0x03, 0x03, 13, RegisterReadPayload(0x88000004)), STATUS_SUCCESS);
    MarkOnRing(0);
    MarkOnRing(1);
    MarkOnRing(2);
    adapter_->FwDownloaded = m.rom ? 0 : 1;
    adapter_->FwEvent.RomVersionWord = 0x55;
    kshim::host::TraceClear();
    std::vector<uint8_t> bytes = m.build(generation_);
    // The receive buffer is exactly the bytes: reading past them is an address error.
    EXPECT_EQ(DeliverEvent(bytes, static_cast<ULONG>(bytes.size()) + m.receivedDelta), 0);
    EXPECT_EQ(adapter_->FwEvent.FwEventShortCount, 1);
    EXPECT_EQ(adapter_->FwEvent.FwEventUnknownCount, 0);
    EXPECT_EQ(SlotsInUse(), 3u);
    EXPECT_EQ(adapter_->FwEvent.PatchSemaphoreStatus, 0);
    EXPECT_EQ(adapter_->FwEvent.RomVersionWord, 0x55u);
    EXPECT_EQ(qzltest::NotBuiltCalls(), qzltest::NotBuiltCalls("RxDmaqFree")) << "no handler ran";
}

// ---- the ROM dialect ----------------------------------------------------------------------------------
struct RomRow {
    const char* name;
    uint8_t id;
    std::vector<uint8_t> payload;
    UCHAR handled;
};

class RomDispatchTest : public FwCmdFixture, public ::testing::WithParamInterface<USHORT> {
protected:
    void SetUp() override
    {
        FwCmdFixture::SetUp();
        SetUpDevice(GetParam(), false);
    }
    UCHAR Rom(uint8_t id, std::vector<uint8_t> payload)
    {
        return DeliverEvent(sim::fw::EncodeRomEvent(generation_, id, 1, payload));
    }
};

INSTANTIATE_TEST_SUITE_P(Devices, RomDispatchTest, ::testing::Values(USHORT{0x3404}, USHORT{0x3502}, USHORT{0x3602}),
                         DeviceTestName);

TEST_P(RomDispatchTest, StoresWhatTheDownloadReads)
{
    MP_ADAPTER* a = adapter_.get();
    const bool older = GetParam() == 0x3404;
    const bool third = GetParam() == 0x3602;

    EXPECT_EQ(Rom(0x01, {6}), 1);
    EXPECT_EQ(Rom(0x02, {0x00, 0x10, 0x00, 0x80, 0x11, 0x22, 0x33, 0x44}), 1);
    EXPECT_EQ(a->FwEvent.RomVersionWord, 0u) << "another address changes nothing";
    EXPECT_EQ(Rom(0x02, {0x04, 0x00, 0x00, 0x88, 0x01, 0x8A, 0x00, 0x00}), 1);
    EXPECT_EQ(a->FwEvent.RomVersionWord, older ? 0u : 0x8A01u);
    EXPECT_EQ(Rom(0x03, {}), 0);
    EXPECT_EQ(Rom(0x04, {3}), 1);
    EXPECT_EQ(a->FwEvent.PatchSemaphoreStatus, 3);
    EXPECT_EQ(Rom(0x06, {1, 0, 0, 0, 0x78, 0x56, 0x34, 0x12}), 1);
    EXPECT_EQ(a->FwEvent.BtPatchStatus, older ? 0 : 1);
    EXPECT_EQ(a->FwEvent.BtPatchValue, older ? 0u : 0x12345678u);
    EXPECT_EQ(Rom(0x08, {0, 1, 0, 0, 0xEF, 0xBE, 0xAD, 0xDE}), 1);
    EXPECT_EQ(a->FwEvent.FwLogBaseAddress, 0u) << "bytes 0 and 1 must read 1 and 0";
    EXPECT_EQ(Rom(0x08, {1, 0, 0, 0, 0xEF, 0xBE, 0xAD, 0xDE}), 1);
    EXPECT_EQ(a->FwEvent.FwLogBaseAddress, third ? 0xDEADBEEFu : 0u);
    EXPECT_EQ(Rom(0x77, {}), 0);
    EXPECT_EQ(a->FwEvent.FwEventUnknownCount, 1);
    EXPECT_EQ(a->FwEvent.FwEventShortCount, 0);
}

// ---- matching answers to slots ---------------------------------------------------------------------
class MatchTest : public FwCmdFixture, public ::testing::WithParamInterface<USHORT> {
protected:
    void SetUp() override
    {
        FwCmdFixture::SetUp();
        SetUpDevice(GetParam(), false);
    }
    // Takes slots in order 0, 1, ...; each is placed on the ring.
    ULONG Take(UCHAR cmdId, UCHAR cmdClass, UCHAR flags, UCHAR extCmdId = 0)
    {
        ULONG index = adapter_->FwCmd.FwCmdWriteIndex;
        EXPECT_EQ(SendAtDispatch(cmdId, cmdClass, flags, {0, 0, 0, 0}, extCmdId), STATUS_SUCCESS);
        MarkOnRing(index);
        return index;
    }
    ULONG Answer(uint8_t id, uint8_t extId = 0, uint8_t seq = 0)
    {
        sim::fw::EventHeader header;
        header.id = id;
        header.extId = extId;
        header.seq = seq;
        std::vector<uint8_t> event = sim::fw::EncodeRamEvent(generation_, header, {});
        PUCHAR view = event.data() + sim::fw::RxDescriptorLength(generation_) - FW_EVENT_VIEW_HEADER_OFFSET;
        return QzCmdEventCompleteWaitingFwCmd(adapter_.get(), id, view, FW_CMD_SLOT_NONE, STATUS_SUCCESS, FALSE);
    }
};

INSTANTIATE_TEST_SUITE_P(Devices, MatchTest, ::testing::Values(USHORT{0x3404}, USHORT{0x3502}, USHORT{0x3602}),
                         DeviceTestName);

TEST_P(MatchTest, LowerSlotFirstAndSequenceNumbersTakeNoPart)
{
    ULONG first = Take(0x10, 0x10, 23);
    ULONG second = Take(0x10, 0x10, 23);
    EXPECT_EQ(Answer(0x04, 0, 77), first);
    EXPECT_EQ(Answer(0x04, 0, 0), second);
    EXPECT_EQ(Answer(0x04), ULONG{FW_CMD_SLOT_NONE}) << "nobody waits any more";
}

TEST_P(MatchTest, ExtendedAnswersNeedTheirExtendedId)
{
    ULONG slot = Take(0xED, 0xED, 5, 0x1E);  // expects extended event 0x35
    EXPECT_EQ(Answer(0xED, 0x36), ULONG{FW_CMD_SLOT_NONE});
    EXPECT_TRUE(Slot(slot).InUse);
    EXPECT_EQ(Answer(0xED, 0x35), slot);
    EXPECT_FALSE(Slot(slot).InUse);
}

TEST_P(MatchTest, PairsByCommandIdOnTheSecondAndThirdGeneration)
{
    const bool paired = GetParam() != 0x3404;
    ULONG btQuery = Take(0x11, 0x11, 23);  // expects no event by the map
    ULONG romVersion = Take(0x03, 0x03, 13);
    EXPECT_EQ(Answer(0x06), paired ? btQuery : ULONG{FW_CMD_SLOT_NONE});
    EXPECT_EQ(Answer(0x02), paired ? romVersion : ULONG{FW_CMD_SLOT_NONE});
}

TEST_P(MatchTest, ReportsThatCompleteNothing)
{
    ULONG slot = Take(0x10, 0x10, 23);
    // The firmware-log event, a pseudo event without a slot, the sent report of a free slot.
    EXPECT_EQ(QzCmdEventCompleteWaitingFwCmd(adapter_.get(), 0x27, nullptr, FW_CMD_SLOT_NONE, 0, FALSE),
              ULONG{FW_CMD_SLOT_NONE});
    EXPECT_EQ(ReportDmaDone(FW_CMD_SLOT_NONE), ULONG{FW_CMD_SLOT_NONE});
    EXPECT_EQ(ReportDmaDone(7), ULONG{FW_CMD_SLOT_NONE});
    // The sent report of a command that waits for an answer leaves the slot in use.
    EXPECT_EQ(ReportDmaDone(slot), slot);
    EXPECT_TRUE(Slot(slot).Sent);
    EXPECT_TRUE(Slot(slot).InUse);
    // A success report for a slot not yet on a ring changes nothing.
    ULONG notOnRing = adapter_->FwCmd.FwCmdWriteIndex;
    ASSERT_EQ(SendAtDispatch(0x04, 0x10, 8, {1}), STATUS_SUCCESS);
    EXPECT_EQ(ReportDmaDone(notOnRing), notOnRing);
    EXPECT_FALSE(Slot(notOnRing).Sent);
    EXPECT_TRUE(Slot(notOnRing).InUse);
}

}  // namespace
}  // namespace fwcmdtest
