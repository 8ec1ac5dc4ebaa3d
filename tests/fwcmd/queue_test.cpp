// The command queue and the send call through the chip's command-send slot and the simulated boot
// ROM: waits and answers, the dispatch-level path, a full queue, time-outs and the recovery
// request, refusals, the flush, callbacks, and the message's ownership during the hand-over.
#include "fwcmd_fixture.h"

namespace fwcmdtest {
namespace {

constexpr UCHAR kFlagsAnswer = 23;    // download command that waits for its answer
constexpr UCHAR kFlagsNoAnswer = 8;

class QueueTest : public FwCmdFixture, public ::testing::WithParamInterface<USHORT> {
protected:
    void SetUp() override
    {
        FwCmdFixture::SetUp();
        SetUpDevice(GetParam());
    }
};

INSTANTIATE_TEST_SUITE_P(Devices, QueueTest, ::testing::Values(USHORT{0x3502}, USHORT{0x3602}),
                         DeviceTestName);

// ---- PASSIVE_LEVEL: the sender waits for the answer the ROM sends through the event path --------------
struct RomQuery {
    const char* name;
    UCHAR cmdId;
    UCHAR cmdClass;
    std::vector<uint8_t> (*payload)();
};

TEST_P(QueueTest, PassiveSenderReceivesItsAnswer)
{
    MP_ADAPTER* a = adapter_.get();
    Rom().Settings().romVersionWord = 0x00008A01;
    Rom().Settings().logBase = 0x70045000;
    Rom().Settings().btPatchAddress = 0x00900000;

    // The patch semaphore: event 0x04 answers command 0x10 by the expected-event map.
    EXPECT_EQ(Send(0x10, 0x10, kFlagsAnswer, {1, 0, 0, 0}), STATUS_SUCCESS);
    EXPECT_EQ(a->FwEvent.PatchSemaphoreStatus, 2);
    // The ROM version query: event 0x02 answers command 0x03, paired by command id.
    EXPECT_EQ(Send(0x03, 0x03, 0x0D, RegisterReadPayload(0x88000004)), STATUS_SUCCESS);
    EXPECT_EQ(a->FwEvent.RomVersionWord, 0x00008A01u);
    // The Bluetooth patch query: event 0x06 answers command 0x11, paired by command id.
    EXPECT_EQ(Send(0x11, 0x11, kFlagsAnswer, {1, 0, 0, 0, 0, 0, 0, 0}), STATUS_SUCCESS);
    EXPECT_EQ(a->FwEvent.BtPatchStatus, 1);
    EXPECT_EQ(a->FwEvent.BtPatchValue, 0x00900000u);
    // The firmware-log base query: event 0x08; only the third generation keeps the base.
    EXPECT_EQ(Send(0x21, 0x03, 0x0D, LogBaseQueryPayload()), STATUS_SUCCESS);
    EXPECT_EQ(a->FwEvent.FwLogBaseAddress, GetParam() == 0x3602 ? 0x70045000u : 0u);

    EXPECT_EQ(Rom().commandsSeen(), 4u);
    EXPECT_FALSE(QzCmdQueueValidCheck(a));
    EXPECT_EQ(a->FwCmd.CmdTimeout, 0);
    EXPECT_TRUE(TakePosted().empty()) << "no recovery request";
}

TEST_P(QueueTest, PassiveSenderOfACommandWithoutAnswerReturnsOnTheSentReport)
{
    // 0x04 expects no event: the descriptor-done report completes it.
    EXPECT_EQ(Send(0x04, 0x10, kFlagsNoAnswer, {1, 0, 0, 0}), STATUS_SUCCESS);
    EXPECT_EQ(HandedOverCount(), 1u);
    EXPECT_FALSE(QzCmdQueueValidCheck(adapter_.get()));
}

TEST_P(QueueTest, AnswerWithAnotherSequenceNumberStillCompletes)
{
    Rom().Arm(sim::fw::Knob::WrongSeq, 0x10);
    EXPECT_EQ(Send(0x10, 0x10, kFlagsAnswer, {1, 0, 0, 0}), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->FwEvent.PatchSemaphoreStatus, 2);
}

TEST_P(QueueTest, DelayedAnswerIsWaitedFor)
{
    Rom().Arm(sim::fw::Knob::Delay, 0x10, 1, 3000);
    auto [status, elapsedMs] = RunWithManualClock([&] { return Send(0x10, 0x10, kFlagsAnswer, {1, 0, 0, 0}); });
    EXPECT_EQ(status, STATUS_SUCCESS);
    EXPECT_GE(elapsedMs, 3000);
    EXPECT_LT(elapsedMs, 10000);
    EXPECT_EQ(adapter_->FwEvent.PatchSemaphoreStatus, 2);
}

// ---- DISPATCH_LEVEL: the send returns at once; the answer still frees the slot ------------------------
TEST_P(QueueTest, DispatchSenderReturnsAtOnceAndTheAnswerFreesTheSlot)
{
    MP_ADAPTER* a = adapter_.get();
    // Waiting at DISPATCH_LEVEL would be a strict-mode failure: the call must not block.
    EXPECT_EQ(SendAtDispatch(0x10, 0x10, kFlagsAnswer, {1, 0, 0, 0}), STATUS_SUCCESS);
    ASSERT_TRUE(Eventually([&] { return Load(a->FwEvent.PatchSemaphoreStatus) == 2 && !QzCmdQueueValidCheck(a); }));
    // The command thread released the message after its hand-over.
    ASSERT_TRUE(Eventually([&] { return FreeCount(&a->Cmd.MsgPool) == MSG_CMD_POOL_SIZE; }));
}

TEST_P(QueueTest, DispatchSenderWakesTheCommandThreadItself)
{
    // No passive sender follows: the dispatch-level sender's own wake gets the command out.
    EXPECT_EQ(SendAtDispatch(0x04, 0x10, kFlagsNoAnswer, {1, 0, 0, 0}), STATUS_SUCCESS);
    EXPECT_TRUE(Eventually([&] { return HandedOverCount() == 1 && !QzCmdQueueValidCheck(adapter_.get()); }));
}

// ---- 20 slots ----------------------------------------------------------------------------------------
TEST_P(QueueTest, TwentyBusySlotsRefuseTheTwentyFirstCommand)
{
    chipMode_ = ChipMode::Silent;  // every command stays on the ring
    const std::vector<uint8_t> large(200, 0x5A);  // beyond the message pool: allocator messages
    for (int i = 0; i < FW_CMD_SLOT_COUNT; ++i) {
        ASSERT_EQ(SendAtDispatch(0x04, 0x10, kFlagsNoAnswer, large), STATUS_SUCCESS) << i;
    }
    ASSERT_TRUE(WaitHandedOver(FW_CMD_SLOT_COUNT));
    EXPECT_EQ(SlotsInUse(), ULONG{FW_CMD_SLOT_COUNT});
    EXPECT_EQ(SendAtDispatch(0x04, 0x10, kFlagsNoAnswer, large), STATUS_UNSUCCESSFUL);
    const int64_t before = kshim::host::ClockNow();
    EXPECT_EQ(Send(0x04, 0x10, kFlagsNoAnswer, large), STATUS_UNSUCCESSFUL) << "refused at once, not waited for";
    EXPECT_LT(kshim::host::ClockNow() - before, 10000 * 1000);

    // A free slot elsewhere does not help while the slot under the write index is busy.
    EXPECT_EQ(ReportDmaDone(5), 5u);
    EXPECT_EQ(SlotsInUse(), ULONG{FW_CMD_SLOT_COUNT - 1});
    EXPECT_EQ(SendAtDispatch(0x04, 0x10, kFlagsNoAnswer, large), STATUS_UNSUCCESSFUL);
    // Once it is free, the next command takes it.
    EXPECT_EQ(ReportDmaDone(0), 0u);
    EXPECT_EQ(SendAtDispatch(0x04, 0x10, kFlagsNoAnswer, large), STATUS_SUCCESS);
    EXPECT_TRUE(Slot(0).InUse);
    EXPECT_TRUE(WaitHandedOver(FW_CMD_SLOT_COUNT + 1));
}

// ---- time-outs ---------------------------------------------------------------------------------------
struct TimeoutCase {
    const char* name;
    UCHAR cmdId;
    UCHAR cmdClass;
    UCHAR flags;
    bool silentChip;       // no descriptor-done report: the sent wait runs out
    UCHAR justDownloaded;
    UCHAR shuttingDown;
    int64_t waitMs;        // the wait that runs out
};

class TimeoutTest : public FwCmdFixture, public ::testing::WithParamInterface<std::tuple<USHORT, TimeoutCase>> {
protected:
    void SetUp() override
    {
        FwCmdFixture::SetUp();
        SetUpDevice(std::get<0>(GetParam()));
    }
};

void PrintTo(const TimeoutCase& c, std::ostream* os) { *os << c.name; }

const TimeoutCase kTimeoutCases[] = {
    {"AnswerNeverComes", 0x10, 0x10, kFlagsAnswer, false, 0, 0, 10000},
    {"KeyCommandAnswer", 0x07, 0xED, 13, false, 0, 0, 2000},
    {"SentReportNeverComes", 0x04, 0x10, kFlagsNoAnswer, true, 0, 0, 4000},
    {"SentReportAfterDownloadStart", 0x04, 0x10, kFlagsNoAnswer, true, 1, 0, 7000},
    {"AnswerWhileShuttingDown", 0x10, 0x10, kFlagsAnswer, false, 0, 1, 1000},
    {"ExpectsNoEventButWaits", 0x04, 0x10, kFlagsAnswer, false, 0, 0, 10000},
};

INSTANTIATE_TEST_SUITE_P(Cases, TimeoutTest,
                         ::testing::Combine(::testing::Values(USHORT{0x3502}, USHORT{0x3602}),
                                            ::testing::ValuesIn(kTimeoutCases)),
                         DeviceCaseTestName<TimeoutCase>);

TEST_P(TimeoutTest, WaitRunsOutAndRecoveryIsRequested)
{
    const TimeoutCase& c = std::get<1>(GetParam());
    MP_ADAPTER* a = adapter_.get();
    a->FwCmd.FwJustDownloaded = c.justDownloaded;
    a->FwCmd.ShuttingDown = c.shuttingDown;
    chipMode_ = c.silentChip ? ChipMode::Silent : ChipMode::Rom;
    Rom().Arm(sim::fw::Knob::Drop, sim::fw::kAnyCommand);

    auto [status, elapsedMs] = RunWithManualClock([&] { return Send(c.cmdId, c.cmdClass, c.flags, {1, 0, 0, 0}); });
    EXPECT_EQ(status, STATUS_TIMEOUT);
    EXPECT_GE(elapsedMs, c.waitMs);
    EXPECT_LE(elapsedMs, c.waitMs + 1000);  // the clock moves in steps
    EXPECT_EQ(a->FwCmd.CmdTimeout, 1);
    EXPECT_EQ(SlotsInUse(), 0u) << "the slot is freed with the time-out";

    // The recovery request: internal command 0x10000044 for port 0 with the kind 2.
    auto posted = TakePosted(1);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].cmdId, 0x10000044u);
    EXPECT_EQ(posted[0].portIndex, 0u);
    EXPECT_EQ(posted[0].payload, (std::vector<uint8_t>{2, 0, 0, 0}));

    // Until a recovery clears the mark, every command fails at once without touching the queue.
    const size_t handed = HandedOverCount();
    const UCHAR writeIndex = a->FwCmd.FwCmdWriteIndex;
    EXPECT_EQ(Send(0x04, 0x10, kFlagsNoAnswer, {1, 0, 0, 0}), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(SendAtDispatch(0x04, 0x10, kFlagsNoAnswer, {1, 0, 0, 0}), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(a->FwCmd.FwCmdWriteIndex, writeIndex);
    a->FwCmd.CmdTimeout = 0;
    chipMode_ = ChipMode::Rom;
    EXPECT_EQ(Send(0x04, 0x10, kFlagsNoAnswer, {1, 0, 0, 0}), STATUS_SUCCESS);
    EXPECT_GT(HandedOverCount(), handed);
}

TEST_F(FwCmdFixture, OlderChipTimesOutWithoutRecoveryRequest)
{
    SetUpDevice(0x3404);
    Rom().Arm(sim::fw::Knob::Drop, 0x10);
    auto [status, elapsedMs] = RunWithManualClock([&] { return Send(0x10, 0x10, kFlagsAnswer, {1, 0, 0, 0}); });
    EXPECT_EQ(status, STATUS_TIMEOUT);
    EXPECT_EQ(adapter_->FwCmd.CmdTimeout, 1);
    EXPECT_TRUE(TakePosted().empty());
    // Before its RAM code runs the older chip takes every command on the download ring.
    ASSERT_EQ(HandedOverCount(), 1u);
    EXPECT_EQ(HandedOverMessages()[0].ringSelector, ULONG{FW_CMD_RING_DOWNLOAD});
}

TEST_P(QueueTest, SentWaitRetriesOnceWithoutRecoveryEnabled)
{
    adapter_->RegistryBlock.SysRcvyEn = 0;
    chipMode_ = ChipMode::Silent;
    HoldNextHandOver();  // never placed on a ring
    auto [status, elapsedMs] = RunWithManualClock([&] { return Send(0x04, 0x10, kFlagsNoAnswer, {1, 0, 0, 0}); });
    ReleaseHeldHandOver();
    EXPECT_EQ(status, STATUS_TIMEOUT);
    EXPECT_GE(elapsedMs, 8000);
    EXPECT_LE(elapsedMs, 9000);
}

// ---- refusals ----------------------------------------------------------------------------------------
TEST_P(QueueTest, RecoveryStateLetsOnlyDownloadClassesThrough)
{
    MP_ADAPTER* a = adapter_.get();
    a->Recovery.FwRecoveryState = 2;
    EXPECT_EQ(Send(0x04, 0xED, kFlagsNoAnswer, {1, 0, 0, 0}), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(Send(0xCA, 0xED, kFlagsNoAnswer, {1, 0, 0, 0}), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(a->FwCmd.RefusedCmdCount, 2u);
    EXPECT_EQ(HandedOverCount(), 0u);
    for (UCHAR cmdClass : {0x01, 0x02, 0x05, 0x07, 0x10, 0x11, 0xEF}) {
        EXPECT_EQ(Send(0x04, cmdClass, kFlagsNoAnswer, {1, 0, 0, 0}), STATUS_SUCCESS) << int(cmdClass);
    }
    EXPECT_EQ(a->FwCmd.RefusedCmdCount, 2u);
    // Once the firmware runs in RAM the class filter no longer applies (second generation: legacy).
    if (GetParam() == 0x3502) {
        a->FwDownloaded = 1;
        EXPECT_EQ(Send(0x04, 0xED, kFlagsNoAnswer, {1, 0, 0, 0}), STATUS_SUCCESS);
    }
}

TEST_P(QueueTest, RefusalsQueueNothing)
{
    MP_ADAPTER* a = adapter_.get();
    EXPECT_EQ(QzCmdSendSetQuery(nullptr, 0x04, 0x10, 0, 0, kFlagsNoAnswer, nullptr, 0, nullptr, 0, 0),
              STATUS_UNSUCCESSFUL);
    a->FwCmd.RecoveryInProgress = 1;
    EXPECT_EQ(Send(0x04, 0x10, kFlagsNoAnswer), STATUS_UNSUCCESSFUL);
    a->FwCmd.RecoveryInProgress = 0;
    AdapterSetFlag(a, ADAPTER_FLAG_HALT_IN_PROGRESS, "test");
    EXPECT_EQ(Send(0x04, 0x10, kFlagsNoAnswer), STATUS_UNSUCCESSFUL);
    AdapterClearFlag(a, ADAPTER_FLAG_HALT_IN_PROGRESS, "test");
    a->Signature = 0;
    EXPECT_EQ(Send(0x04, 0x10, kFlagsNoAnswer), STATUS_UNSUCCESSFUL);
    a->Signature = MP_ADAPTER_SIGNATURE;
    EXPECT_EQ(a->FwCmd.FwCmdWriteIndex, 0);
    EXPECT_EQ(HandedOverCount(), 0u);
}

TEST_P(QueueTest, ChipWithoutSendOperationFailsTheCommandAtOnce)
{
    adapter_->HalOps.CmdSendMsg = nullptr;
    const int64_t before = kshim::host::ClockNow();
    EXPECT_EQ(Send(0x10, 0x10, kFlagsAnswer, {1, 0, 0, 0}), STATUS_NOT_SUPPORTED);
    EXPECT_LT(kshim::host::ClockNow() - before, 10000 * 1000);
    EXPECT_EQ(adapter_->FwCmd.CmdTimeout, 0);
    EXPECT_EQ(SlotsInUse(), 0u);
}

TEST_P(QueueTest, HostInterfaceFailureBeforeTheRingWakesTheSenderWithIt)
{
    HoldNextHandOver();
    std::atomic<NTSTATUS> status{STATUS_PENDING};
    std::thread sender([&] { status = Send(0x10, 0x10, kFlagsAnswer, {1, 0, 0, 0}); });
    ASSERT_TRUE(Eventually([&] { return HandOverHeld(); }));
    // The host interface could not place it: it reports the failure for the slot.
    EXPECT_EQ(ReportDmaDone(0, STATUS_INSUFFICIENT_RESOURCES), 0u);
    sender.join();
    EXPECT_EQ(status.load(), STATUS_INSUFFICIENT_RESOURCES);
    ReleaseHeldHandOver();
    EXPECT_EQ(SlotsInUse(), 0u);
}

// ---- the flush --------------------------------------------------------------------------------------
TEST_P(QueueTest, FlushReleasesEveryWaiter)
{
    chipMode_ = ChipMode::Silent;
    std::atomic<NTSTATUS> notSent{STATUS_PENDING};
    // The senders are threads of the simulation, so the clock does not move past their waits before
    // the flush comes.
    kshim::host::SimThread first([&] { notSent = Send(0x04, 0x10, kFlagsNoAnswer, {1, 0, 0, 0}); });
    ASSERT_TRUE(WaitHandedOver(1));
    std::atomic<NTSTATUS> waitingForAnswer{STATUS_PENDING};
    kshim::host::SimThread second([&] { waitingForAnswer = Send(0x10, 0x10, kFlagsAnswer, {1, 0, 0, 0}); });
    ASSERT_TRUE(WaitHandedOver(2));
    ASSERT_TRUE(qzl_test::Settle());  // the command thread has put the second on the ring
    EXPECT_EQ(ReportDmaDone(1), 1u);  // the second is sent and waits for its answer
    EXPECT_TRUE(qzl_test::Settle());
    QzCmdQueueFlushCheck(adapter_.get());
    first.Join();
    second.Join();
    EXPECT_EQ(notSent.load(), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(waitingForAnswer.load(), STATUS_SUCCESS);
    EXPECT_EQ(SlotsInUse(), 0u);
}

// ---- the hand-over owns the message until it returns ------------------------------------------------------
TEST_P(QueueTest, SenderTimingOutDuringTheHandOverLeavesTheMessageToTheThread)
{
    HoldNextHandOver();
    auto [status, elapsedMs] =
        RunWithManualClock([&] { return Send(0x04, 0x10, kFlagsNoAnswer, std::vector<uint8_t>(300, 0x11)); });
    EXPECT_EQ(status, STATUS_TIMEOUT);
    ASSERT_TRUE(HandOverHeld());
    // The host interface goes on reading the message after the sender gave up (checked in the
    // stand-in); the command thread then releases it (the leak check of the teardown).
    ReleaseHeldHandOver();
    TakePosted();
    ASSERT_TRUE(Eventually([&] { return kshim::host::PoolOutstandingBlocksWithTag("ZV0T") == 0; }));
}

// ---- callbacks ---------------------------------------------------------------------------------------
struct CallbackLog {
    std::vector<std::pair<ULONG64, ULONG>> completions;
    std::vector<std::vector<uint8_t>> answers;
};
CallbackLog g_callbacks;

NTSTATUS RecordCompletion(ULONG64 context, ULONG argument)
{
    g_callbacks.completions.push_back({context, argument});
    return STATUS_SUCCESS;
}

NTSTATUS RecordAnswer(PMP_ADAPTER, ULONG64 context, ULONG argument, PUCHAR answerEvent)
{
    g_callbacks.completions.push_back({context, argument});
    if (answerEvent != nullptr) {
        ULONG length = FW_EVENT_VIEW_HEADER_OFFSET + (answerEvent[16] | (answerEvent[17] << 8));
        g_callbacks.answers.emplace_back(answerEvent, answerEvent + length);
    }
    return STATUS_SUCCESS;
}

TEST_P(QueueTest, CompletionCallbackRunsFromTheControlThreadsCommand)
{
    g_callbacks = {};
    EXPECT_EQ(Send(0x10, 0x10, kFlagsAnswer, {1, 0, 0, 0}, 0, 0, FwCmdCompletionCallback(RecordCompletion), 0x1234,
                   77),
              STATUS_SUCCESS);
    auto posted = TakePosted(1);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].cmdId, 0x10000039u);
    EXPECT_TRUE(g_callbacks.completions.empty()) << "never run in the completion itself";
    QzCmdSlotCallbackHandler(adapter_.get(), posted[0].payload.data(), static_cast<ULONG>(posted[0].payload.size()));
    ASSERT_EQ(g_callbacks.completions.size(), 1u);
    EXPECT_EQ(g_callbacks.completions[0], (std::pair<ULONG64, ULONG>{0x1234, 77}));
}

TEST_F(FwCmdFixture, AnswerCallbackGetsACopyOfTheAnswerEvent)
{
    SetUpDevice(0x3502, false);
    MP_ADAPTER* a = adapter_.get();
    a->FwDownloaded = 1;
    g_callbacks = {};
    // The extended command 0x3C waits for extended event 0x3C; its callback has the answer form.
    ASSERT_EQ(SendAtDispatch(0xED, 0xED, 5, {1, 2, 3, 4}, 0x3C, FwCmdAnswerCallback(RecordAnswer), 99),
              STATUS_SUCCESS);
    MarkOnRing(0);
    std::vector<uint8_t> event = RamEvent(0xED, {0xA1, 0xA2, 0xA3}, 0x3C);
    EXPECT_EQ(DeliverEvent(event), 1);
    auto posted = TakePosted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_FALSE(Slot(0).InUse);
    // The receive buffer is long gone when the control thread runs the callback.
    QzCmdSlotCallbackHandler(a, posted[0].payload.data(), static_cast<ULONG>(posted[0].payload.size()));
    ASSERT_EQ(g_callbacks.answers.size(), 1u);
    const std::vector<uint8_t>& copy = g_callbacks.answers[0];
    ASSERT_EQ(copy.size(), 16u + 12u + 3u);
    EXPECT_EQ(copy[FW_EVENT_VIEW_ID_OFFSET], 0xED);
    EXPECT_EQ(copy[FW_EVENT_VIEW_EXT_ID_OFFSET], 0x3C);
    EXPECT_EQ(std::vector<uint8_t>(copy.end() - 3, copy.end()), (std::vector<uint8_t>{0xA1, 0xA2, 0xA3}));
}

}  // namespace
}  // namespace fwcmdtest
