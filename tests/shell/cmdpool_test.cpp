// Internal command pools, posting and routing, and the sequence numbers.
#include <atomic>
#include <cstring>
#include <thread>

#include "Common/p2p/p2p.h"
#include "Common/qzcmd.h"
#include "shell/shell_fixture.h"

namespace {

using shelltest::ShellTest;

class CommandPools : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        port_ = AddPort(0, EXTSTA);
    }
    MP_PORT* port_ = nullptr;
};

TEST_F(CommandPools, PoolsHoldTheirRecordCounts)
{
    const PINTERNAL_CMD_BLOCK cmd = &adapter_->Cmd;
    struct Case {
        const CMD_BUFFER_POOL* pool;
        ULONG records;
    } cases[] = {{&cmd->FwLogPool, 32}, {&cmd->IcsPool, 64}, {&cmd->IntHandlerPool, 32},
                 {&cmd->InternalPool, 32}, {&cmd->MsgPool, 16}, {&cmd->TxqNetPool, 1024}};
    for (const Case& c : cases) {
        EXPECT_EQ(c.pool->FreeCount, c.records);
        EXPECT_EQ(c.pool->RecordCount, c.records);
    }
    // Only the ICS and internal pools give their records a payload buffer.
    PINTERNAL_CMD ics = QzGetIcsCmdBuffer(adapter_.get());
    PINTERNAL_CMD internal = QzGetInternalCmdBuffer(adapter_.get());
    PINTERNAL_CMD log = QzGetFWLogHandlerCmdBuffer(adapter_.get());
    PINTERNAL_CMD irq = QzGetIntHandlerCmdBuffer(adapter_.get());
    EXPECT_NE(ics->Payload, nullptr);
    EXPECT_NE(internal->Payload, nullptr);
    EXPECT_EQ(log->Payload, nullptr);
    EXPECT_EQ(irq->Payload, nullptr);
    QzReturnIcsCmdBuffer(adapter_.get(), ics);
    QzReturnInternalCmdBuffer(adapter_.get(), internal);
    QzReturnFWLogHandlerCmdBuffer(adapter_.get(), log);
    QzReturnIntHandlerCmdBuffer(adapter_.get(), irq);
    PFW_CMD_MSG msg = QzGetMsgCmdBuffer(adapter_.get());
    ASSERT_NE(msg, nullptr);
    EXPECT_NE(msg->Buffer, nullptr);
    EXPECT_EQ(msg->BufferSize, 256u);
    QzReturnMsgCmdBuffer(adapter_.get(), msg);
}

TEST_F(CommandPools, PartialBuildKeepsTheRecordsBuilt)
{
    QzFreeIcsCmdBuffer(adapter_.get());
    // Record 3's payload buffer fails: that record is freed and the pool holds three.
    kshim::host::FaultArm("pool", "ZV04", 8, STATUS_INSUFFICIENT_RESOURCES, 6);
    QzInitIcsCmdBuffer(adapter_.get());
    kshim::host::FaultClearAll();
    EXPECT_EQ(adapter_->Cmd.IcsPool.FreeCount, 3u);
    EXPECT_EQ(adapter_->Cmd.IcsPool.RecordCount, 3u);
}

TEST_F(CommandPools, ThirtyThirdPostIsRefusedUntilTheControlThreadDrainsOne)
{
    // The control thread is not running: its queue fills the pool.
    for (ULONG i = 0; i < 32; ++i) {  // the internal pool holds 32 records
        ASSERT_EQ(QZEnqueueInternalCmd(adapter_.get(), port_, 0x10000200, nullptr, 0), STATUS_SUCCESS) << i;
    }
    EXPECT_EQ(adapter_->Cmd.ControlQueue.Count, 32u);
    EXPECT_EQ(QZEnqueueInternalCmd(adapter_.get(), port_, 0x10000200, nullptr, 0), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(kshim::host::TraceContains("QzGetInternalCmdBuffer: pool empty, 0 free"));

    // Records posted before the thread existed wait for its first wake.
    StartThreads();
    PlatformSignalThread(&adapter_->ControlCmdThread);
    ASSERT_TRUE(Eventually([&] { return FreeCount(&adapter_->Cmd.InternalPool) == 32; }));
    EXPECT_EQ(QZEnqueueInternalCmd(adapter_.get(), port_, 0x10000200, nullptr, 0), STATUS_SUCCESS);
    EXPECT_TRUE(Eventually([&] { return CountTraces("internal command 0x10000200 for port 0") == 33; }));
}

TEST_F(CommandPools, PayloadOfMoreThan1280BytesIsRefusedAndTheRecordReturned)
{
    static UCHAR payload[1281];
    std::memset(payload, 0xA5, sizeof(payload));
    EXPECT_EQ(QZEnqueueInternalCmd(adapter_.get(), port_, 0x10000044, payload, 1280), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->Cmd.InternalPool.FreeCount, 31u);
    EXPECT_EQ(QZEnqueueInternalCmd(adapter_.get(), port_, 0x10000044, payload, 1281), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(adapter_->Cmd.InternalPool.FreeCount, 31u);
    EXPECT_EQ(QZEnqueueIcsCmd(adapter_.get(), port_, 0x80000002, payload, 1281), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(adapter_->Cmd.IcsPool.FreeCount, 64u);

    PINTERNAL_CMD queued = QzDequeueCmdQueueLocked(&adapter_->Cmd.ControlQueue);
    ASSERT_NE(queued, nullptr);
    EXPECT_EQ(queued->CmdId, 0x10000044u);
    EXPECT_EQ(queued->PayloadLength, 1280u);
    EXPECT_EQ(std::memcmp(queued->Payload, payload, 1280), 0);
    QzReturnInternalCmdBuffer(adapter_.get(), queued);
}

TEST_F(CommandPools, RoutingByClassBit)
{
    MP_PORT* port3 = AddPort(3, WFD_DEVICE);
    auto* cmd = &adapter_->Cmd;
    const COMMAND_QUEUE* p2p = &adapter_->P2pBlock->CmdQueue;
    struct Case {
        const char* what;
        NTSTATUS (*post)(PMP_ADAPTER, PMP_PORT, ULONG, const void*, ULONG);
        ULONG id;
        NTSTATUS status;
        const COMMAND_QUEUE* queue;  // where the record goes; none when refused
        const CMD_BUFFER_POOL* pool;
    } cases[] = {
        {"internal P2P", QZEnqueueInternalCmd, 0x20000007, STATUS_SUCCESS, p2p, &cmd->InternalPool},
        {"internal both bits", QZEnqueueInternalCmd, 0x30000001, STATUS_SUCCESS, &cmd->ControlQueue,
         &cmd->InternalPool},
        {"internal control", QZEnqueueInternalCmd, 0x10000002, STATUS_SUCCESS, &cmd->ControlQueue, &cmd->InternalPool},
        {"internal no class", QZEnqueueInternalCmd, 0x00000005, STATUS_INVALID_PARAMETER, nullptr, &cmd->InternalPool},
        {"ICS", QZEnqueueIcsCmd, 0x80000001, STATUS_SUCCESS, &cmd->IcsQueue, &cmd->IcsPool},
        {"ICS without its bit", QZEnqueueIcsCmd, 0x10000001, STATUS_INVALID_PARAMETER, nullptr, &cmd->IcsPool},
        {"interrupt work", QZEnqueueIntHandlerCmd, 0x10000600, STATUS_SUCCESS, &cmd->IntHandlerQueue,
         &cmd->IntHandlerPool},
        {"interrupt without its bit", QZEnqueueIntHandlerCmd, 0x20000600, STATUS_INVALID_PARAMETER, nullptr,
         &cmd->IntHandlerPool},
        {"firmware log", QZEnqueueFWLog, 0x10000045, STATUS_SUCCESS, &cmd->FwLogQueue, &cmd->FwLogPool},
        {"firmware log without its bit", QZEnqueueFWLog, 0x80000045, STATUS_INVALID_PARAMETER, nullptr,
         &cmd->FwLogPool},
    };
    for (const Case& c : cases) {
        ULONG freeBefore = c.pool->FreeCount;
        ULONG queuedBefore = c.queue != nullptr ? c.queue->Count : 0;
        EXPECT_EQ(c.post(adapter_.get(), port3, c.id, nullptr, 0), c.status) << c.what;
        if (c.queue != nullptr) {
            EXPECT_EQ(c.queue->Count, queuedBefore + 1) << c.what;
            EXPECT_EQ(c.queue->Tail->CmdId, c.id) << c.what;
            EXPECT_EQ(c.queue->Tail->PortIndex, 3u) << c.what;
            EXPECT_EQ(c.pool->FreeCount, freeBefore - 1) << c.what;
        } else {
            EXPECT_EQ(c.pool->FreeCount, freeBefore) << c.what;
        }
    }
    // Drain for the fixture's teardown accounting.
    for (PCOMMAND_QUEUE q : {&cmd->ControlQueue, &adapter_->P2pBlock->CmdQueue}) {
        while (PINTERNAL_CMD r = QzDequeueCmdQueueLocked(q)) {
            QzReturnInternalCmdBuffer(adapter_.get(), r);
        }
    }
}

TEST_F(CommandPools, RefusalsWithoutAdapterPortOrWhileStoppingOrHalting)
{
    EXPECT_EQ(QZEnqueueInternalCmd(nullptr, port_, 0x10000001, nullptr, 0), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(QZEnqueueInternalCmd(adapter_.get(), nullptr, 0x10000001, nullptr, 0), STATUS_UNSUCCESSFUL);
    adapter_->StopThreads = 1;
    EXPECT_EQ(QZEnqueueIcsCmd(adapter_.get(), port_, 0x80000001, nullptr, 0), STATUS_UNSUCCESSFUL);
    adapter_->StopThreads = 0;

    // Halting: nothing is handed out, except by the firmware command message pool.
    AdapterSetFlag(adapter_.get(), ADAPTER_FLAG_HALT_IN_PROGRESS, __func__);
    EXPECT_EQ(QZEnqueueIntHandlerCmd(adapter_.get(), port_, 0x10000600, nullptr, 0), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(QzGetTXQNetBuffer(adapter_.get()), nullptr);
    PFW_CMD_MSG msg = QzGetMsgCmdBuffer(adapter_.get());
    EXPECT_NE(msg, nullptr);
    QzReturnMsgCmdBuffer(adapter_.get(), msg);
    AdapterClearFlag(adapter_.get(), ADAPTER_FLAG_HALT_IN_PROGRESS, __func__);
    EXPECT_EQ(adapter_->Cmd.IntHandlerPool.FreeCount, 32u);
}

TEST_F(CommandPools, ReturnedRecordCarriesNoStalePayload)
{
    UCHAR payload[64];
    std::memset(payload, 0x5A, sizeof(payload));
    // Fill every record once so that the next taker gets a used one.
    for (ULONG i = 0; i < 32; ++i) {  // the internal pool holds 32 records
        ASSERT_EQ(QZEnqueueInternalCmd(adapter_.get(), port_, 0x10000042, payload, sizeof(payload)), STATUS_SUCCESS);
    }
    while (PINTERNAL_CMD r = QzDequeueCmdQueueLocked(&adapter_->Cmd.ControlQueue)) {
        QzReturnInternalCmdBuffer(adapter_.get(), r);
    }
    PINTERNAL_CMD reused = QzGetInternalCmdBuffer(adapter_.get());
    ASSERT_NE(reused, nullptr);
    EXPECT_EQ(reused->PayloadLength, 0u);
    EXPECT_EQ(reused->CmdId, 0u);
    EXPECT_EQ(reused->PortIndex, 0u);
    static const UCHAR kZero[INTERNAL_CMD_PAYLOAD_SIZE] = {};
    EXPECT_EQ(std::memcmp(reused->Payload, kZero, sizeof(kZero)), 0);
    QzReturnInternalCmdBuffer(adapter_.get(), reused);

    PFW_CMD_MSG msg = QzGetMsgCmdBuffer(adapter_.get());
    std::memset(msg->Buffer, 0x77, 256);
    QzReturnMsgCmdBuffer(adapter_.get(), msg);
    EXPECT_EQ(std::memcmp(msg->Buffer, kZero, 256), 0);
}

TEST_F(CommandPools, ManyProducersLoseNoRecord)
{
    StartThreads();
    constexpr int kProducers = 4;
    constexpr int kPosts = 1000;
    std::atomic<int> accepted{0};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kPosts; ++i) {
                // Alternate between passive and dispatch level, as timer callbacks post too.
                KIRQL old = PASSIVE_LEVEL;
                if ((i & 1) != 0) {
                    KeRaiseIrql(DISPATCH_LEVEL, &old);
                }
                if (QZEnqueueInternalCmd(adapter_.get(), port_, 0x10000200 + static_cast<ULONG>(p), nullptr, 0) ==
                    STATUS_SUCCESS) {
                    ++accepted;
                }
                if ((i & 1) != 0) {
                    KeLowerIrql(old);
                }
            }
        });
    }
    for (auto& t : producers) {
        t.join();
    }
    ASSERT_TRUE(Eventually([&] { return FreeCount(&adapter_->Cmd.InternalPool) == 32; }));
    EXPECT_EQ(QueueCount(&adapter_->Cmd.ControlQueue), 0u);
    EXPECT_GT(accepted.load(), 0);
    EXPECT_EQ(CountTraces("internal command 0x1000020"), static_cast<size_t>(accepted.load()));
}

TEST_F(CommandPools, DeferredTransmitAdvanceReachesItsThread)
{
    StartThreads();
    PTXQ_NET_BUFFER buffer = QzGetTXQNetBuffer(adapter_.get());
    ASSERT_NE(buffer, nullptr);
    buffer->TxQueue = nullptr;
    QzEnqueueTXQNetBuffer(adapter_.get(), buffer);
    PTXQ_NET_BUFFER empty = QzGetTXQNetBuffer(adapter_.get());
    QzEnqueueTXQNetBuffer(adapter_.get(), empty);  // no queue handle: traced and dropped
    ASSERT_TRUE(Eventually([&] { return FreeCount(&adapter_->Cmd.TxqNetPool) == 1024; }));
    // Both reached the thread; a real queue's deferred advance is shown with the transmit queues.
    EXPECT_EQ(CountTraces("deferred advance without a queue dropped"), 2u);
}

TEST_F(CommandPools, SequenceNumbersRunInTheirClassRanges)
{
    struct Case {
        UCHAR seqClass;
        UCHAR start;
        BOOLEAN advance;
        UCHAR expected;
    } cases[] = {
        {3, 99, TRUE, 1},    {3, 5, TRUE, 6},     {0, 98, TRUE, 99},  {1, 99, TRUE, 1},
        {0, 0, FALSE, 1},    {1, 42, FALSE, 42},  {2, 127, TRUE, 111}, {2, 111, TRUE, 112},
        {2, 0, FALSE, 111},  {2, 1, FALSE, 111},  {2, 126, TRUE, 127}, {2, 0, TRUE, 111},
    };
    for (const Case& c : cases) {
        adapter_->Cmd.SeqNum[c.seqClass] = c.start;
        EXPECT_EQ(GetNextSeqNum(adapter_.get(), c.seqClass, c.advance), c.expected)
            << int(c.seqClass) << " from " << int(c.start);
        EXPECT_EQ(adapter_->Cmd.SeqNum[c.seqClass], c.expected);
    }
    EXPECT_EQ(GetNextSeqNum(adapter_.get(), 4, TRUE), 0);
}

TEST_F(CommandPools, ConcurrentSequenceNumbersAreNeverHandedOutTwice)
{
    adapter_->Cmd.SeqNum[3] = 1;
    std::atomic<int> seen[100] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 33; ++i) {
                ++seen[GetNextSeqNum(adapter_.get(), 3, TRUE)];
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    // 99 advances from 1 cover 2..99 and 1 exactly once each.
    EXPECT_EQ(seen[0].load(), 0);
    for (int n = 1; n < 100; ++n) {
        EXPECT_EQ(seen[n].load(), 1) << n;
    }
}

}  // namespace

namespace {

TEST_F(CommandPools, HeElementsOnlyForStationPortsOrWiFiDirectPhyModes2And3)
{
    struct Case {
        ULONG portType;
        UCHAR wfdPhyMode;
        bool he;
    } cases[] = {{EXTSTA, 0, true}, {EXTAP, 2, true}, {WFD_GO, 3, true}, {EXTAP, 1, false}, {WFD_CLIENT, 4, false}};
    adapter_->DeviceId = 0x3502;  // a second-generation chip: HE in PHY mode 13
    for (const Case& c : cases) {
        port_->PortType = c.portType;
        port_->WirelessMode = PHY_11He;
        port_->HeEnabled = 0;
        port_->Cfg.VhtEnabled = 0;
        adapter_->WfdPhyMode = c.wfdPhyMode;
        EXPECT_EQ(InitHtVhtHeEhtCtrl(adapter_.get(), port_), STATUS_SUCCESS);
        EXPECT_EQ(port_->Cfg.VhtEnabled, 1) << c.portType << "/" << int(c.wfdPhyMode);
        EXPECT_EQ(port_->HeEnabled, c.he ? 1 : 0) << c.portType << "/" << int(c.wfdPhyMode);
        EXPECT_EQ(port_->Rlm.Eht.Enabled, 0) << "no EHT on the second generation";
    }
}

}  // namespace
