// The receive ring service on a started simulated chip: the pending count from the chip's indexes,
// transmit-done reports in their formats completing the right frames (and only tokens that name a
// record), batching of the completions, the second generation's report refusals, receive reports
// feeding port 0's signal values, the dispatch by packet type and the software interrupt delay.
#include <gtest/gtest.h>

#include "rxpath_support.h"

namespace {

using hiftest::CountTraces;
using rxtest::RxDevice;
using sim::chip::BuildRxReport;
using sim::chip::BuildTxDoneReport;
using sim::chip::RxReportGroups;
using sim::chip::RxRole;

constexpr ULONG kRxRingRegs = 0x7C024500;

class RingService : public RxDevice, public ::testing::WithParamInterface<USHORT> {};

INSTANTIATE_TEST_SUITE_P(Generations, RingService, ::testing::Values<USHORT>(0x3502, 0x3602),
                         [](const auto& info) { return "chip" + std::to_string(info.param == 0x3502 ? 3502 : 3602); });

TEST_P(RingService, PendingCountFollowsTheChipIndexesAcrossTheWrap)
{
    Open(GetParam());
    const unsigned hw = chip_->rings().RxRing(RxRole::Frames);
    const ULONG cpuReg = kRxRingRegs + 0x10 * hw + 8;
    const ULONG savedCpu = chip_->Peek(cpuReg);
    struct Case {
        ULONG cpu, dma, pending;
    } cases[] = {{4094, 5, 5}, {100, 100, 4094}, {10, 20, 9}, {0, 4094, 4093}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "cpu " << c.cpu << " dma " << c.dma);
        chip_->Poke(cpuReg, c.cpu);
        chip_->SetDmaIndexOverride(true, hw, c.dma);
        EXPECT_EQ(N6PciGetRxDmaPendingCnt(hif_, 0), c.pending);
    }
    chip_->SetDmaIndexOverride(true, hw, std::nullopt);
    chip_->Poke(cpuReg, savedCpu);
}

TEST_P(RingService, FormatFiveEntryCompletesBothTokens)
{
    Open(GetParam());
    WaitForReport({3, 5, 11});
    // 0x00058003: bits 0-14 hold 3, bits 15-29 hold 11.
    Deliver(RxRole::Reports, 2, BuildTxDoneReport(generation_, 5, {0x00058003u, 0x40000000u, 0x80000000u}));
    EXPECT_EQ(TxDoneWaitqGetCount(adapter_), 1u);
    PTX_DMAQ_DESC left = TxDoneWaitqDequeue(adapter_, TX_DONE_WAITQ_HEAD);
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->RecordIndex, 5);
    TxDmaqFree(adapter_, left);
    EXPECT_EQ(port_.TxDoneUnicast, 2u);
    EXPECT_EQ(port_.TxDoneByContext[0][0], 2u);
    EXPECT_EQ(port_.TxDoneByContext[1][0], 2u);
    EXPECT_EQ(RxDmaqGetFreeCount(adapter_, 2), RX_DMAQ_POOL2_RECORDS - 768);
}

TEST_P(RingService, EntryFormatsTakeTheirTokensFromTheirBits)
{
    struct Case {
        UCHAR format;
        ULONG entry;
        std::vector<USHORT> completed;
    } cases[] = {
        {3, 0x00070000u, {7}},        // bits 16-30
        {3, 0x80070000u, {}},         // bit 31: no token
        {5, 0x7FFF8002u, {}},         // bit 30 set: a status entry
        {5, 0x003FFF00u | 9u, {}},    // second token 0x7FFF, first 0x7F09 beyond the pool
    };
    const bool second = GetParam() == 0x3502;
    Open(GetParam());
    if (!second) {
        // Formats 0 and 1 are refused only on the second generation.
        WaitForReport({4, 6, 8});
        Deliver(RxRole::Reports, 2, BuildTxDoneReport(generation_, 0, {0x00060004u}));
        Deliver(RxRole::Reports, 2, BuildTxDoneReport(generation_, 1, {0xAAAA0008u}));
        EXPECT_EQ(TxDoneWaitqGetCount(adapter_), 0u);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << static_cast<int>(c.format) << " entry 0x" << std::hex << c.entry);
        WaitForReport({7});
        Deliver(RxRole::Reports, 2, BuildTxDoneReport(generation_, c.format, {c.entry}));
        EXPECT_EQ(TxDoneWaitqGetCount(adapter_), c.completed.empty() ? 1u : 0u);
        PTX_DMAQ_DESC r = TxDoneWaitqDequeue(adapter_, TX_DONE_WAITQ_HEAD);
        if (r != nullptr) {
            TxDmaqFree(adapter_, r);
        }
    }
}

TEST_P(RingService, QueueKeysFromTheChipCompleteNothing)
{
    Open(GetParam());
    if (GetParam() == 0x3502) {
        GTEST_SKIP() << "16-bit token formats are refused on the second generation";
    }
    WaitForReport({0, 1});
    // 0xFFFF and 0xFFFE are the wait queue's own keys (head, age sweep): never tokens.
    Deliver(RxRole::Reports, 2, BuildTxDoneReport(generation_, 0, {0xFFFFFFFEu, 0x3FF83FF8u}));
    EXPECT_EQ(TxDoneWaitqGetCount(adapter_), 2u);
}

TEST_P(RingService, ALengthBeyondTheBufferIsBoundedByTheBytesReceived)
{
    Open(GetParam());
    WaitForReport({2, 3});
    std::vector<uint8_t> report = BuildTxDoneReport(generation_, 5, {0x00018002u /* 2 and 3 */});
    // Word 0 claims 500 words; only three were written.
    report[0] = static_cast<uint8_t>(2000 & 0xFF);
    report[1] = static_cast<uint8_t>(2000 >> 8);
    Deliver(RxRole::Reports, 2, report);
    EXPECT_EQ(TxDoneWaitqGetCount(adapter_), 0u);
    // A report of one word has no entries (its entry count does not wrap).
    WaitForReport({4});
    std::vector<uint8_t> tiny = BuildTxDoneReport(generation_, 5, {});
    tiny.resize(4);
    tiny[0] = 4;
    Deliver(RxRole::Reports, 2, tiny);
    EXPECT_EQ(TxDoneWaitqGetCount(adapter_), 1u);
}

TEST_P(RingService, CompletionsAreHandedOnEveryBatchAndAtTheEnd)
{
    Open(GetParam());
    std::vector<USHORT> tokens;
    for (USHORT t = 0; t < 80; ++t) {
        tokens.push_back(t);
    }
    WaitForReport(tokens);
    kshim::host::TraceClear();
    // 40 entries of two tokens each, TpParameter1 16: hand-offs after entries 16, 32 and 40.
    Deliver(RxRole::Reports, 2, BuildTxDoneReport(generation_, 5, sim::chip::TxDoneFormat5({tokens.begin(), tokens.end()})));
    EXPECT_EQ(TxDoneWaitqGetCount(adapter_), 0u);
    EXPECT_EQ(CountTraces("send completions handed to the OS"), 3u);
    EXPECT_EQ(port_.TxDoneUnicast, 80u);
}

TEST_P(RingService, GroupFramesCountAsMulticast)
{
    Open(GetParam());
    const UCHAR broadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    WaitForReport({1}, broadcast);
    Deliver(RxRole::Reports, 2, BuildTxDoneReport(generation_, 5, sim::chip::TxDoneFormat5({1})));
    EXPECT_EQ(port_.TxDoneMulticast, 1u);
    EXPECT_EQ(port_.TxDoneUnicast, 0u);
}

struct LimitCase {
    UCHAR format;
    size_t entries;
    ULONG limit;
    bool refused;
};

class RingServiceSecond : public RxDevice, public ::testing::WithParamInterface<LimitCase> {};

INSTANTIATE_TEST_SUITE_P(Cases, RingServiceSecond,
                         ::testing::Values(LimitCase{5, 4, 4, false}, LimitCase{5, 5, 4, true}, LimitCase{3, 1, 4, false},
                                           LimitCase{2, 1, 4, true}, LimitCase{1, 1, 4, true}));

TEST_P(RingServiceSecond, ReportsBeyondTheLimitOrOfOldFormatsAreRefused)
{
    const LimitCase c = GetParam();
    Open(0x3502);
    adapter_->TxDoneEntryLimit = c.limit;
    WaitForReport({9});
    const ULONG entry = c.format == 3 ? (9u << 16) : c.format == 5 ? (9u | (0x7FFFu << 15)) : 9u;
    std::vector<uint32_t> entries(c.entries, c.format == 5 ? 0x40000000u : 0x80000000u);
    entries[0] = entry;
    Deliver(RxRole::Reports, 2, BuildTxDoneReport(sim::chip::RxdGeneration::Second, c.format, entries));
    EXPECT_EQ(TxDoneWaitqGetCount(adapter_), c.refused ? 1u : 0u);
}

class RingServiceSweep : public RxDevice {};

TEST_F(RingServiceSweep, SecondGenerationSweepsStaleFramesEveryAgeoutPeriod)
{
    Open(0x3502);
    WaitForReport({7});
    // The frame has waited since the clock's start; the last sweep that found nothing was just now.
    PTX_DMAQ_DESC r = TxDoneWaitqDequeue(adapter_, 7);
    ASSERT_NE(r, nullptr);
    TxDoneWaitqEnqueue(adapter_, r);
    r->EnqueueTime = 0;
    const std::vector<uint8_t> empty = BuildTxDoneReport(sim::chip::RxdGeneration::Second, 5, {});
    Deliver(RxRole::Reports, 2, empty);
    EXPECT_EQ(TxDoneWaitqGetCount(adapter_), 1u);
    // "Ageoutreport2" (600 s) after the last sweep: the stale frame goes back to its pool.
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    adapter_->TxDoneAgeSweepTime = static_cast<ULONG64>(now.QuadPart) - 600ull * 10000000ull;
    const ULONG free0 = TxDmaqGetFreeCount(adapter_, 0);
    Deliver(RxRole::Reports, 2, empty);
    EXPECT_EQ(TxDoneWaitqGetCount(adapter_), 0u);
    EXPECT_EQ(TxDmaqGetFreeCount(adapter_, 0), free0 + 1);
}

TEST_P(RingService, ReceiveReportFeedsPortZeroSignalValues)
{
    Open(GetParam());
    RxReportGroups g;
    g.group1.emplace();
    g.group1->fill(0);
    (*g.group1)[0] = 0x1234;                       // rate word
    (*g.group1)[6] = 0x0B0A64E6u;                  // RCPI0 230, RCPI1 100, then 10 and 11
    g.group2 = std::array<uint32_t, 2>{0xCAFE, 0};
    Deliver(RxRole::Reports, 2, BuildRxReport(generation_, g));
    EXPECT_EQ(port_.RxReportRssi[0], 0);
    EXPECT_EQ(port_.RxReportRssi[1], -60);
    EXPECT_EQ(port_.RxReportRcpi[2], 10);
    EXPECT_EQ(port_.RxReportRcpi[3], 11);
    EXPECT_EQ(port_.RxVectorStore[12], 0x1234u);
    EXPECT_EQ(port_.RxVectorStore[3], 0x0B0A64E6u);
    EXPECT_EQ(port_.RxReportTimeStamp, 0xCAFEu);
    // Running averages: sum += RSSI - average, average = sum >> 3.
    EXPECT_EQ(port_.RxReportRssiSum[1], -60);
    EXPECT_EQ(port_.RxReportRssiAvg[1], -8);
    Deliver(RxRole::Reports, 2, BuildRxReport(generation_, g));
    EXPECT_EQ(port_.RxReportRssiSum[1], -112);
    EXPECT_EQ(port_.RxReportRssiAvg[1], -14);

    // A byte count that misses the groups it announces leaves the port alone.
    std::vector<uint8_t> bad = BuildRxReport(generation_, g);
    bad[0] = static_cast<uint8_t>(bad[0] - 4);
    bad.resize(bad.size() - 4);
    port_.RxReportTimeStamp = 0;
    Deliver(RxRole::Reports, 2, bad);
    EXPECT_EQ(port_.RxReportTimeStamp, 0u);
    EXPECT_EQ(RxDmaqGetFreeCount(adapter_, 2), RX_DMAQ_POOL2_RECORDS - 768);
}

TEST_P(RingService, ByteCountOf2352IsDroppedBeforeDispatch)
{
    Open(GetParam());
    std::vector<uint8_t> big(2352, 0);
    const uint32_t w0 = sim::chip::RxWord0(generation_, 2352, sim::chip::kRxTypeTxDone);
    std::memcpy(big.data(), &w0, 4);
    kshim::host::TraceClear();
    Deliver(RxRole::Reports, 2, big);
    EXPECT_EQ(CountTraces("receive buffer claims 2352 bytes"), 1u);
    EXPECT_EQ(RxDmaqGetFreeCount(adapter_, 2), RX_DMAQ_POOL2_RECORDS - 768);
}

class RingServiceDelay : public RxDevice {};

TEST_F(RingServiceDelay, ThresholdsDecideWhenARingIsServed)
{
    Open(0x3502);
    REGISTRY_BLOCK& r = adapter_->RegistryBlock;
    r.SwDlyIntRxDataCntTh = 4;
    r.SwDlyIntRxDataToTh = 3;
    EXPECT_TRUE(N6PciSwDelayIntRxProc(hif_, 1));  // the event ring: always
    // Nothing pending: deferred twice, served at the third deferral.
    EXPECT_FALSE(N6PciSwDelayIntRxProc(hif_, 0));
    EXPECT_FALSE(N6PciSwDelayIntRxProc(hif_, 0));
    EXPECT_TRUE(N6PciSwDelayIntRxProc(hif_, 0));
    // Serving the ring clears the record: deferred again; four pending buffers are served at once.
    r.SwDlyIntEn = 1;
    (void)N6PciRxDmaDoneInterrupt(hif_, 0);
    EXPECT_FALSE(N6PciSwDelayIntRxProc(hif_, 0));
    const unsigned hw = chip_->rings().RxRing(RxRole::Frames);
    const std::vector<uint8_t> junk = sim::chip::BuildTxDoneReport(generation_, 5, {});
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(chip_->PushRx(hw, junk.data(), junk.size()), sim::chip::RxResult::Ok);
    }
    EXPECT_TRUE(N6PciSwDelayIntRxProc(hif_, 0));
    r.SwDlyIntRxDataCntTh = 0;
    r.SwDlyIntRxDataToTh = 0;
    EXPECT_TRUE(N6PciSwDelayIntRxProc(hif_, 0));
}

}  // namespace

namespace {

TEST_P(RingService, LogPacketLengthIsBoundedByTheBytesReceived)
{
    Open(GetParam());
    // A log packet whose leading u16 (its length for the log intake) claims more than was written.
    std::vector<uint8_t> packet(64, 0);
    const uint32_t w0 = sim::chip::RxWord0(generation_, 64, sim::chip::kRxTypeIcs);
    std::memcpy(packet.data(), &w0, 4);
    packet[0] = 0xF0;  // 0x00F0 bytes claimed, byte count 240 below 2352
    packet.resize(64);
    kshim::host::TraceClear();
    Deliver(RxRole::Frames, 0, packet);
    EXPECT_EQ(CountTraces("log packet claims 240 bytes, 64 received"), 1u);
    // One that fits goes to the log intake (which keeps nothing while ICS logging is off).
    packet[0] = 64;
    Deliver(RxRole::Frames, 0, packet);
    EXPECT_EQ(CountTraces("log packet claims"), 1u);
    EXPECT_EQ(RxDmaqGetFreeCount(adapter_, 0), RX_DMAQ_POOL0_RECORDS - 4095);
}

}  // namespace
