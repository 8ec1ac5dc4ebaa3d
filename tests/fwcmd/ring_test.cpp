// Firmware commands end to end on a simulated chip of each generation: the send call, the command
// thread, the command ring, the simulated boot ROM, the event ring, the receive ring service, the
// software-defined event dispatch and the command queue's completion. Also the host interface's own
// rules for command messages, the firmware erase and the wait for commands and SER to finish.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "ring_fixture.h"

namespace fwcmdtest {
namespace {

using hiftest::CountTraces;
using hiftest::HandlerRuns;
using hiftest::WaitFor;
using sim::fw::Knob;

class Ring : public RingDevice, public ::testing::WithParamInterface<USHORT> {};

INSTANTIATE_TEST_SUITE_P(Generations, Ring, ::testing::Values<USHORT>(0x3502, 0x3602),
                         [](const auto& info) { return "chip" + std::to_string(info.param == 0x3502 ? 3502 : 3602); });

constexpr UCHAR kSemaphore = 0x10;  // the ROM answers with event 0x04 {answer}
constexpr UCHAR kRegisterRead = 0x03;
constexpr UCHAR kRegionInit = 0x01;
constexpr UCHAR kPatchInit = 0x05;
constexpr UCHAR kUnanswered = 0x20;  // the ROM gives the DMA-done report only

std::vector<uint8_t> RegisterRead(uint32_t address)
{
    std::vector<uint8_t> p(4, 0);
    sim::fw::AppendU32(p, address);
    sim::fw::AppendU32(p, 0);
    return p;
}

// ---- the round trip ----------------------------------------------------------------------------------
TEST_P(Ring, PassiveSenderWaitsForItsAnswerThroughTheRings)
{
    Bring(GetParam());
    fw_->Rom().Settings().semaphoreAnswer = 1;
    EXPECT_EQ(Send(kSemaphore, kSemaphore, FW_CMD_FLAG_NEED_ANSWER, {1, 0, 0, 0}, 1), STATUS_SUCCESS);
    // The answer was there before the sender returned.
    EXPECT_EQ(__atomic_load_n(&adapter_->FwEvent.PatchSemaphoreStatus, __ATOMIC_ACQUIRE), 1);
    EXPECT_EQ(SlotsInUse(), 0u);
    // The register read is paired with its answer by command id.
    fw_->Rom().Settings().romVersionWord = 0x00008B00;
    EXPECT_EQ(Send(kRegisterRead, kRegisterRead, FW_CMD_FLAG_NEED_ANSWER, RegisterRead(0x88000004)), STATUS_SUCCESS);
    EXPECT_EQ(__atomic_load_n(&adapter_->FwEvent.RomVersionWord, __ATOMIC_ACQUIRE), 0x00008B00u);

    std::vector<sim::fw::RingExchange> seen = fw_->Exchanges();
    ASSERT_EQ(seen.size(), 2u);
    for (const sim::fw::RingExchange& e : seen) {
        EXPECT_EQ(e.ring, sim::fw::kCommandRing);
        ASSERT_TRUE(e.command);
        EXPECT_EQ(e.events.size(), 1u);
    }
    EXPECT_EQ(seen[0].command->cmdId, kSemaphore);
    EXPECT_EQ(seen[1].command->cmdId, kRegisterRead);
    EXPECT_EQ(fw_->EventsWritten(), 2u);
    // Records, descriptors and event buffers all went home; the event ring moved on by two.
    EXPECT_TRUE(WaitFor([&] { return CommandRingIdle() && EventRecordsHome(); }));
    EXPECT_EQ(RxRingField(1, &PCI_RX_RING::ReadIndex), 2u);
    EXPECT_EQ(TxRingField(PCI_TX_RING_COMMAND, &PCI_TX_RING::CpuIndex), 2u);
    EXPECT_EQ(TxRingField(PCI_TX_RING_COMMAND, &PCI_TX_RING::ReclaimIndex), 2u);
    EXPECT_TRUE(chip_->RingFaults().empty());
}

TEST_P(Ring, DispatchSenderReturnsAtOnceAndItsAnswerStillFreesTheSlot)
{
    Bring(GetParam());
    kshim::host::ClockSetManual();
    fw_->Rom().Arm(Knob::Delay, kSemaphore, 1, 300);
    EXPECT_EQ(SendAtDispatch(kSemaphore, kSemaphore, FW_CMD_FLAG_NEED_ANSWER, {1, 0, 0, 0}), STATUS_SUCCESS);
    // Returned before the command even reached the chip: the slot waits for the answer.
    EXPECT_EQ(SlotsInUse(), 1u);
    EXPECT_TRUE(WaitFor([&] { return fw_->Exchanges().size() == 1 && CommandRingIdle(); }));
    EXPECT_EQ(SlotsInUse(), 1u);
    kshim::host::ClockAdvanceMs(300);
    EXPECT_TRUE(WaitFor([&] { return SlotsInUse() == 0; }));
    EXPECT_EQ(__atomic_load_n(&adapter_->FwEvent.PatchSemaphoreStatus, __ATOMIC_ACQUIRE), 2);
    EXPECT_TRUE(WaitFor([&] { return CommandRingIdle() && EventRecordsHome(); }));
}

TEST_P(Ring, TwentySlotsInUseRefuseTheTwentyFirst)
{
    Bring(GetParam());
    fw_->Rom().Arm(Knob::Drop, sim::fw::kAnyCommand, FW_CMD_SLOT_COUNT);
    for (ULONG i = 0; i < FW_CMD_SLOT_COUNT; ++i) {
        ASSERT_EQ(SendAtDispatch(kSemaphore, kSemaphore, FW_CMD_FLAG_NEED_ANSWER, {1, 0, 0, 0}), STATUS_SUCCESS) << i;
        // The command thread hands it over and gives its message back to the pool.
        ASSERT_TRUE(WaitFor([&] { return fw_->Exchanges().size() == i + 1; }));
    }
    EXPECT_EQ(SendAtDispatch(kSemaphore, kSemaphore, FW_CMD_FLAG_NEED_ANSWER, {1, 0, 0, 0}), STATUS_UNSUCCESSFUL);
    // All twenty reached the chip and were reported sent; their answers never come.
    EXPECT_TRUE(WaitFor([&] { return fw_->Exchanges().size() == FW_CMD_SLOT_COUNT && CommandRingIdle(); }));
    EXPECT_EQ(SlotsInUse(), FW_CMD_SLOT_COUNT);
    EXPECT_EQ(fw_->EventsWritten(), 0u);
    // Once the slots are released the queue takes commands again.
    QzCmdQueueFlushCheck(adapter_);
    EXPECT_EQ(SlotsInUse(), 0u);
    EXPECT_EQ(Send(kSemaphore, kSemaphore, FW_CMD_FLAG_NEED_ANSWER, {1, 0, 0, 0}), STATUS_SUCCESS);
    EXPECT_EQ(fw_->Exchanges().size(), FW_CMD_SLOT_COUNT + 1);
}

TEST_P(Ring, AnAnswerThatNeverComesTimesOutAndAsksForRecovery)
{
    Bring(GetParam());
    fw_->Rom().Arm(Knob::Drop, kSemaphore);
    auto [status, ms] =
        RunWithManualClock([&] { return Send(kSemaphore, kSemaphore, FW_CMD_FLAG_NEED_ANSWER, {1, 0, 0, 0}); });
    EXPECT_EQ(status, STATUS_TIMEOUT);
    // The sent report came at once; the answer wait is 10 s.
    EXPECT_GE(ms, 10000);
    EXPECT_LT(ms, 10000 + 1000);
    EXPECT_EQ(__atomic_load_n(&adapter_->FwCmd.CmdTimeout, __ATOMIC_ACQUIRE), 1);
    // The host register dumps ran (the second generation lacks the first, the third the second).
    EXPECT_EQ(CountTraces(GetParam() == 0x3602 ? "the chip has no ShowHostCsrInfo" : "the chip has no ShowPcieWfdmaInfo"),
              1u);
    EXPECT_EQ(adapter_->DumpInProgress, 0);
    const auto posted = Posted();
    EXPECT_NE(std::find(posted.begin(), posted.end(), std::make_pair(ULONG{0x10000044}, ULONG{2})), posted.end());
    // Until a recovery clears the flag every further command is refused without reaching the chip.
    EXPECT_EQ(Send(kUnanswered, kUnanswered, 8), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(fw_->Exchanges().size(), 1u);
    EXPECT_TRUE(WaitFor([&] { return CommandRingIdle(); }));
}

TEST_P(Ring, AnswersCompleteTheFirstSlotWaitingForTheirEventWhateverTheirSequenceNumber)
{
    Bring(GetParam());
    // Region init and patch section init both wait for event 0x01. The first command's answer is
    // held back; the second's, coming first, completes the first slot that waits for 0x01.
    // The clock stands still until the held answer is let go.
    kshim::host::ClockSetManual();
    fw_->Rom().Arm(Knob::Delay, kRegionInit, 1, 400);
    ASSERT_EQ(SendAtDispatch(kRegionInit, kRegionInit, FW_CMD_FLAG_NEED_ANSWER, {0, 0, 0, 0}), STATUS_SUCCESS);
    ASSERT_EQ(SendAtDispatch(kPatchInit, kPatchInit, FW_CMD_FLAG_NEED_ANSWER, {0, 0, 0, 0}), STATUS_SUCCESS);
    EXPECT_TRUE(WaitFor([&] { return fw_->EventsWritten() == 1 && !SlotInUse(0); }));
    EXPECT_TRUE(SlotInUse(1));
    EXPECT_EQ(fw_->EventsWaiting(), 1u);
    kshim::host::ClockAdvanceMs(400);
    EXPECT_TRUE(WaitFor([&] { return SlotsInUse() == 0; }));
    EXPECT_EQ(fw_->EventsWritten(), 2u);
    // An answer carrying another sequence number still completes its command.
    fw_->Rom().Arm(Knob::WrongSeq, kSemaphore);
    EXPECT_EQ(Send(kSemaphore, kSemaphore, FW_CMD_FLAG_NEED_ANSWER, {1, 0, 0, 0}), STATUS_SUCCESS);
    const auto seen = fw_->Exchanges();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_NE(seen[2].events[0][sim::fw::RxDescriptorLength(generation_) + 5], seen[2].command->seq);
    // An answer nobody waits for changes no slot.
    EXPECT_EQ(Send(kSemaphore, kSemaphore, 8, {1, 0, 0, 0}), STATUS_SUCCESS);
    // (On the third generation the answer may be served before the ring's sent report, which then
    // frees the slot.)
    EXPECT_TRUE(WaitFor([&] { return fw_->EventsWritten() == 4 && EventRecordsHome(); }));
    EXPECT_TRUE(WaitFor([&] { return SlotsInUse() == 0 && CommandRingIdle(); }));
}

// ---- what reaches the chip ---------------------------------------------------------------------------
TEST_P(Ring, GoldenBytesOfALegacyCommandAndItsRingDescriptor)
{
    Bring(GetParam());
    const bool third = GetParam() == 0x3602;
    std::vector<uint8_t> expected(64, 0);
    const std::vector<uint8_t> txd = third ? std::vector<uint8_t>{0x44, 0x00, 0x00, 0x41, 0x00, 0x40, 0x00, 0x00}
                                           : std::vector<uint8_t>{0x44, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x00};
    const std::vector<uint8_t> header = {0x24, 0x00, 0x00, 0x00, 0x10, 0xA0, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};
    std::copy(txd.begin(), txd.end(), expected.begin());
    std::copy(header.begin(), header.end(), expected.begin() + 32);
    expected.insert(expected.end(), {1, 0, 0, 0});
    ASSERT_EQ(Send(kSemaphore, kSemaphore, FW_CMD_FLAG_NEED_ANSWER, {1, 0, 0, 0}, 1), STATUS_SUCCESS);
    const auto seen = fw_->Exchanges();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].bytes, expected);
    ASSERT_TRUE(WaitFor([&] { return CommandRingIdle(); }));
    // The descriptor: the buffer's bus address (bits 32-47 in word 3), length and last segment; the
    // reclaim took its DMA-done bit back.
    const DMA_RING_SLOT& slot = hif_->TxRing[PCI_TX_RING_COMMAND].Slots[0];
    const WPDMA_DESC& d = *slot.DescriptorVa;
    EXPECT_EQ(d.Control, (68u << 16) | WPDMA_CTRL_LAST_SEGMENT);
    EXPECT_EQ(d.Word2, 0u);
    EXPECT_NE(d.BufferLow, 0u);
    EXPECT_EQ(d.Word3 & ~0xFFFFu, 0u);
    EXPECT_EQ(slot.CmdSlotIndex, PCI_RING_NO_CMD_SLOT);
}

TEST_P(Ring, ReclaimKeepsUpAcrossTheRingsWrap)
{
    Bring(GetParam());
    constexpr ULONG kCount = 300;  // more than twice the command ring's 128 descriptors
    for (ULONG i = 0; i < kCount; ++i) {
        ASSERT_EQ(Send(kUnanswered, kUnanswered, 8, {static_cast<uint8_t>(i), 0, 0, 0}), STATUS_SUCCESS) << i;
    }
    EXPECT_TRUE(WaitFor([&] { return CommandRingIdle(); }));
    EXPECT_EQ(fw_->Exchanges().size(), kCount);
    EXPECT_EQ(TxRingField(PCI_TX_RING_COMMAND, &PCI_TX_RING::CpuIndex), kCount % 128);
    EXPECT_EQ(TxRingField(PCI_TX_RING_COMMAND, &PCI_TX_RING::ReclaimIndex), kCount % 128);
    EXPECT_EQ(SlotsInUse(), 0u);
    EXPECT_TRUE(chip_->RingFaults().empty());
}

// ---- events through the event ring ------------------------------------------------------------------------
struct EventCase {
    const char* name;
    uint8_t id;
    const char* handler;  // the handler row the event reaches
};

TEST_P(Ring, RunTimeEventsReachTheirHandlerRow)
{
    Bring(GetParam());
    adapter_->FwDownloaded = 1;
    const EventCase cases[] = {
        {"register access", 0x05, "ProcessAccessReg"},
        {"transmit done", 0x0F, "ProcessTxDoneEvent"},
        {"firmware log", 0x27, "ProcessFwLogEvent"},
        {"extended", 0xED, "ProcessLayer0ExtMagicEvent"},
        {"host-interface control", 0xF6, "ProcessHifControlEvent"},
    };
    const unsigned ring = chip_->rings().RxRing(sim::chip::RxRole::Events);
    for (const EventCase& c : cases) {
        SCOPED_TRACE(c.name);
        kshim::host::TraceClear();
        sim::fw::EventHeader h;
        h.id = c.id;
        auto bytes = sim::fw::EncodeRamEvent(generation_, h, std::vector<uint8_t>(16, 0));
        ASSERT_EQ(chip_->PushRx(ring, bytes.data(), bytes.size()), sim::chip::RxResult::Ok);
        EXPECT_TRUE(WaitFor([&] { return HandlerRuns(c.handler) == 1 && EventRecordsHome(); }));
    }
    EXPECT_EQ(adapter_->FwEvent.FwEventShortCount, 0);
    EXPECT_EQ(adapter_->FwEvent.FwEventUnknownCount, 0);
}

TEST_P(Ring, ShortUnknownAndForeignBuffersAreDroppedAndCounted)
{
    Bring(GetParam());
    adapter_->FwDownloaded = 1;
    const unsigned ring = chip_->rings().RxRing(sim::chip::RxRole::Events);
    const size_t rxd = sim::fw::RxDescriptorLength(generation_);
    auto push = [&](std::vector<uint8_t> bytes) {
        ASSERT_EQ(chip_->PushRx(ring, bytes.data(), bytes.size()), sim::chip::RxResult::Ok);
        ASSERT_TRUE(WaitFor(
            [&] { return EventRecordsHome() && RxRingField(1, &PCI_RX_RING::ReadIndex) == chip_->RxFilled(ring); }));
    };
    sim::fw::EventHeader h;
    h.id = 0x05;
    const std::vector<uint8_t> good = sim::fw::EncodeRamEvent(generation_, h, {1, 2, 3, 4});

    // The descriptor and half a header.
    std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(rxd + 6));
    cut[0] = static_cast<uint8_t>(cut.size());
    push(cut);
    EXPECT_EQ(adapter_->FwEvent.FwEventShortCount, 1);
    // A header whose length claims more than was received.
    std::vector<uint8_t> lying = good;
    lying[rxd] = 200;
    push(lying);
    EXPECT_EQ(adapter_->FwEvent.FwEventShortCount, 2);
    // An id no handler row has.
    h.id = 0x99;
    push(sim::fw::EncodeRamEvent(generation_, h, {}));
    EXPECT_EQ(adapter_->FwEvent.FwEventUnknownCount, 1);
    // A software-defined buffer of another sub-type, and a frame in software-defined form (its
    // processing comes with the data path): neither reaches the event dispatch.
    kshim::host::TraceClear();
    std::vector<uint8_t> other = good;
    other[2] = 0x05;
    push(other);
    std::vector<uint8_t> frame = good;
    frame[2] = 0x01;
    push(frame);
    EXPECT_EQ(HandlerRuns("ProcessAccessReg"), 0u);
    EXPECT_EQ(CountTraces("sub-type 0x3805 dropped"), 1u);
    EXPECT_EQ(HandlerRuns(GetParam() == 0x3602 ? "AsicArvel3xPciProcessRxPacket" : "AsicArvel2xPciProcessRxPacket"),
              1u);
    // A buffer whose byte count reaches 2352 is dropped before its type is looked at.
    std::vector<uint8_t> big = good;
    big[0] = 0x30;
    big[1] = 0x09;
    push(big);
    EXPECT_EQ(CountTraces("receive buffer claims 2352 bytes"), 1u);
    EXPECT_EQ(adapter_->FwEvent.FwEventShortCount, 2);
    EXPECT_EQ(adapter_->FwEvent.FwEventUnknownCount, 1);
}

TEST_P(Ring, BootRomEventsArePublishedWhileTheFirmwareIsNotInRam)
{
    Bring(GetParam());
    const unsigned ring = chip_->rings().RxRing(sim::chip::RxRole::Events);
    // While the ROM runs every software-defined buffer is an event, whatever its sub-type.
    auto bytes = sim::fw::EncodeRomEvent(generation_, 0x04, 7, {3, 0, 0, 0});
    bytes[2] = 0x01;
    ASSERT_EQ(chip_->PushRx(ring, bytes.data(), bytes.size()), sim::chip::RxResult::Ok);
    EXPECT_TRUE(WaitFor([&] { return __atomic_load_n(&adapter_->FwEvent.PatchSemaphoreStatus, __ATOMIC_ACQUIRE) == 3; }));
    EXPECT_TRUE(WaitFor([&] { return EventRecordsHome(); }));
}

// ---- the host interface's rules for command messages --------------------------------------------------------
class Messages : public Ring {
protected:
    // A message as the command layer builds it: a legacy prefix (command id at byte 36), filler.
    PFW_CMD_MSG Message(ULONG length, UCHAR cmdClass, UCHAR cmdId)
    {
        PFW_CMD_MSG msg = QzCmdAllocCmdMsg(adapter_, length);
        EXPECT_NE(msg, nullptr);
        for (ULONG i = 0; i < length; ++i) {
            msg->Buffer[i] = static_cast<UCHAR>(i);
        }
        msg->Buffer[36] = cmdId;
        msg->Class = cmdClass;
        msg->TotalLength = static_cast<USHORT>(length);
        msg->SlotIndex = FW_CMD_SLOT_NONE;
        messages_.push_back({msg, length});
        return msg;
    }
    void TearDown() override
    {
        if (adapter_ != nullptr) {
            for (auto [msg, length] : messages_) {
                QzCmdFreeCmdMsg(adapter_, msg, length);
            }
        }
        Ring::TearDown();
    }
    std::vector<std::pair<PFW_CMD_MSG, ULONG>> messages_;
};

INSTANTIATE_TEST_SUITE_P(Generations, Messages, ::testing::Values<USHORT>(0x3502, 0x3602),
                         [](const auto& info) { return "chip" + std::to_string(info.param == 0x3502 ? 3502 : 3602); });

TEST_P(Messages, DownloadDataLeavesItsPrefixAndLengthsAreBounded)
{
    Bring(GetParam());
    EXPECT_EQ(NdisCommonHifPciCmdSendMsg(hif_, Message(2112, FW_CMD_CLASS_DOWNLOAD_DATA, 0), FW_CMD_RING_DOWNLOAD),
              STATUS_SUCCESS);
    EXPECT_EQ(NdisCommonHifPciCmdSendMsg(hif_, Message(4096, FW_CMD_CLASS_NORMAL, 0x20), FW_CMD_RING_COMMAND),
              STATUS_SUCCESS);
    EXPECT_EQ(NdisCommonHifPciCmdSendMsg(hif_, Message(4097, FW_CMD_CLASS_NORMAL, 0x20), FW_CMD_RING_COMMAND),
              STATUS_UNSUCCESSFUL);
    EXPECT_EQ(NdisCommonHifPciCmdSendMsg(hif_, Message(100, FW_CMD_CLASS_NORMAL, 0x20), 2), STATUS_UNSUCCESSFUL);
    ASSERT_TRUE(WaitFor([&] { return CommandRingIdle() && fw_->Exchanges().size() == 2; }));
    const auto seen = fw_->Exchanges();
    EXPECT_EQ(seen[0].ring, sim::fw::kDownloadRing);
    ASSERT_EQ(seen[0].bytes.size(), 2048u);
    EXPECT_EQ(seen[0].bytes[0], 64);  // the data behind the prefix
    EXPECT_EQ(seen[1].ring, sim::fw::kCommandRing);
    EXPECT_EQ(seen[1].bytes.size(), 4096u);
    EXPECT_EQ(TxRingField(PCI_TX_RING_DOWNLOAD, &PCI_TX_RING::CpuIndex), 1u);
}

TEST_P(Messages, WhileHaltingOnlyThePowerControlCommandGoesOut)
{
    Bring(GetParam());
    AdapterSetFlag(adapter_, ADAPTER_FLAG_HALT_IN_PROGRESS, __func__);
    EXPECT_EQ(NdisCommonHifPciCmdSendMsg(hif_, Message(68, FW_CMD_CLASS_NORMAL, 0x20), FW_CMD_RING_COMMAND),
              STATUS_UNSUCCESSFUL);
    EXPECT_EQ(NdisCommonHifPciCmdSendMsg(hif_, Message(68, FW_CMD_CLASS_NORMAL, 0x04), FW_CMD_RING_COMMAND),
              STATUS_SUCCESS);
    AdapterClearFlag(adapter_, ADAPTER_FLAG_HALT_IN_PROGRESS, __func__);
    ASSERT_TRUE(WaitFor([&] { return CommandRingIdle(); }));
    const auto seen = fw_->Exchanges();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].bytes[36], 0x04);
}

TEST_P(Messages, ARefusedPlacementWakesTheWaiterWithItsStatus)
{
    Bring(GetParam());
    // A command the queue holds for a passive sender, refused by the host interface at the ring.
    PFW_CMD_MSG msg = Message(68, FW_CMD_CLASS_NORMAL, 0x20);
    msg->Flags = FW_CMD_FLAG_NEED_ANSWER;
    ULONG slot = QzCmdStoreInfo(adapter_, msg);
    ASSERT_LT(slot, FW_CMD_SLOT_COUNT);
    AdapterSetFlag(adapter_, ADAPTER_FLAG_HALT_IN_PROGRESS, __func__);
    EXPECT_EQ(NdisCommonHifPciCmdSendMsg(hif_, msg, FW_CMD_RING_COMMAND), STATUS_UNSUCCESSFUL);
    AdapterClearFlag(adapter_, ADAPTER_FLAG_HALT_IN_PROGRESS, __func__);
    EXPECT_FALSE(SlotInUse(slot));
    EXPECT_EQ(adapter_->FwCmd.FwCmdSlots[slot].Status, STATUS_UNSUCCESSFUL);
    EXPECT_EQ(KeReadStateEvent(&adapter_->FwCmd.FwCmdSentEvents[slot]), 1);
    EXPECT_EQ(KeReadStateEvent(&adapter_->FwCmd.FwCmdRespEvents[slot]), 1);
    EXPECT_TRUE(fw_->Exchanges().empty());
    EXPECT_EQ(TxDmaqGetFreeCount(adapter_, 1), txFreeAtStart_);
}

TEST_P(Messages, HeldDescriptorsEachReportTheirOwnSlotOnceFinished)
{
    Bring(GetParam());
    // Three commands held in the chip, then finished together.
    chip_->SetTxHold(true);
    for (ULONG i = 0; i < 3; ++i) {
        ASSERT_EQ(SendAtDispatch(kUnanswered, kUnanswered, 8, {static_cast<uint8_t>(i), 0, 0, 0}), STATUS_SUCCESS);
        ASSERT_TRUE(WaitFor([&] { return TxDWaitqGetCount(adapter_) == i + 1; }));
    }
    // A message without a slot rides along and marks none.
    ASSERT_EQ(NdisCommonHifPciCmdSendMsg(hif_, Message(68, FW_CMD_CLASS_NORMAL, 0x20), FW_CMD_RING_COMMAND),
              STATUS_SUCCESS);
    ASSERT_TRUE(WaitFor([&] { return TxDWaitqGetCount(adapter_) == 4; }));
    EXPECT_EQ(SlotsInUse(), 3u);
    for (ULONG i = 0; i < 3; ++i) {
        EXPECT_EQ(hif_->TxRing[PCI_TX_RING_COMMAND].Slots[i].CmdSlotIndex, i);
    }
    EXPECT_EQ(hif_->TxRing[PCI_TX_RING_COMMAND].Slots[3].CmdSlotIndex, PCI_RING_NO_CMD_SLOT);
    kshim::host::TraceClear();
    chip_->SetTxHold(false);
    EXPECT_TRUE(WaitFor([&] { return CommandRingIdle() && SlotsInUse() == 0; }));
    EXPECT_EQ(fw_->Exchanges().size(), 4u);
}

// ---- the firmware erase and the wait for commands and SER ----------------------------------------------------
std::atomic<int> g_syncReads{0};
std::atomic<int> g_syncZeroAt{0};
ULONG SyncValue(PMP_ADAPTER)
{
    int n = ++g_syncReads;
    return g_syncZeroAt != 0 && n >= g_syncZeroAt ? 0u : 3u;
}

// The erase belongs to the older chip, whose firmware takes legacy commands in every state; the
// second generation's rings carry the same commands here.
class Erase : public RingDevice {};

TEST_F(Erase, EndsWhenTheSyncValueReadsZero)
{
    Bring(0x3502);
    adapter_->HalOps.GetFwSyncValue = SyncValue;
    g_syncReads = 0;
    g_syncZeroAt = 3;
    adapter_->FwDownloaded = 1;
    EXPECT_EQ(NdisCommonHifPciEraseFirmware(hif_), STATUS_SUCCESS);
    EXPECT_EQ(g_syncReads.load(), 3);
    EXPECT_EQ(adapter_->FwDownloaded, 0);
    // The power-control command went out with 1.
    const auto seen = fw_->Exchanges();
    ASSERT_EQ(seen.size(), 1u);
    ASSERT_TRUE(seen[0].command);
    EXPECT_EQ(seen[0].command->cmdId, FW_CMD_ID_POWER_CTRL);
    EXPECT_EQ(seen[0].command->payload, (std::vector<uint8_t>{1, 0, 0, 0}));
}

TEST_F(Erase, GivesUpWithThePowerCommandsStatus)
{
    Bring(0x3502);
    adapter_->HalOps.GetFwSyncValue = SyncValue;
    g_syncReads = 0;
    g_syncZeroAt = 0;
    adapter_->FwDownloaded = 1;
    adapter_->FwCmd.CmdTimeout = 1;  // the power-control command is refused
    auto [status, ms] = RunWithManualClock([&] { return NdisCommonHifPciEraseFirmware(hif_); });
    EXPECT_EQ(status, STATUS_UNSUCCESSFUL);
    EXPECT_EQ(g_syncReads.load(), 500);
    EXPECT_GE(ms, 500);
    EXPECT_EQ(adapter_->FwDownloaded, 1);
}

TEST_P(Ring, WaitForCommandsAndSerEndsAtOnceWhenIdleAndAfterItsLimitOtherwise)
{
    Bring(GetParam());
    // Idle: no time passes (the clock stands still).
    kshim::host::ClockSetManual();
    const int64_t before = kshim::host::ClockNow();
    WaitFwCmdAndSerFinish(adapter_);
    EXPECT_EQ(kshim::host::ClockNow(), before);
    // A SER step that never ends: 2 s.
    __atomic_store_n(&adapter_->Recovery.SerState, static_cast<UCHAR>(1), __ATOMIC_RELEASE);
    auto [ser, serMs] = RunWithManualClock(
        [&] {
            WaitFwCmdAndSerFinish(adapter_);
            return STATUS_SUCCESS;
        },
        20);
    (void)ser;
    EXPECT_GE(serMs, 2000);
    EXPECT_LT(serMs, 3000);
    __atomic_store_n(&adapter_->Recovery.SerState, static_cast<UCHAR>(0), __ATOMIC_RELEASE);
}

}  // namespace
}  // namespace fwcmdtest
