// The WDI intake: tasks one at a time, properties on their port's work item, refusals, the
// command history and the flush at teardown.
#include "platform/ndiscommon/ndiscommon.h"
#include "wdi_support.h"

namespace {

using kshim::host::WdiRequest;
using wdi_test::WdiTest;

constexpr NTSTATUS kRefused = static_cast<NTSTATUS>(0xC0000001);
// The fast-transition parameters with status 0: the handler refuses them outside an FT authentication.
const std::vector<uint8_t> kFtStatusZero = kshim::host::WdiTlv(0x0283, {0, 0, 0, 0});

TEST_F(WdiTest, TaskPredicateAndRows)
{
    for (ULONG id : {4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 14u, 15u, 17u, 90u, 92u, 100u, 102u, 105u, 109u, 136u}) {
        EXPECT_TRUE(QZCxIsWdiTaskMessage(id)) << id;
    }
    for (ULONG id : {1u, 29u, 34u, 75u, 255u}) {
        EXPECT_FALSE(QZCxIsWdiTaskMessage(id)) << id;
    }
    EXPECT_EQ(WdiFindTaskRow(92), WDI_TASK_ROW_NONE);
    EXPECT_EQ(WdiFindTaskRow(WDI_TASK_DUMMY_ID), WDI_TASK_ROW_NONE);
    EXPECT_EQ(g_WdiTaskTable[WdiFindTaskRow(WDI_TASK_ROAM)].CompletionCode, WDI_INDICATION_ROAM_COMPLETE);
}

// What the intake refuses before anything runs, and how each refusal is completed.
TEST_F(WdiTest, RefusedRequestsAreCompletedAtOnce)
{
    struct Case {
        const char* what;
        uint16_t id;
        size_t messageBytes;  // 0: the whole header
        size_t output;
        NTSTATUS status;
        uint32_t written;
    };
    const Case cases[] = {
        {"property without a row", 200, 0, 64, kRefused, 16},
        {"task without a row", 92, 0, 64, kRefused, 16},
        {"output shorter than the header", 200, 0, 8, kRefused, 8},
        {"input shorter than the header", 47, 8, 64, STATUS_INVALID_PARAMETER, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> message = kshim::host::WdiMessage(0, 3);
        if (c.messageBytes != 0) {
            message.resize(c.messageBytes);
        }
        WdiRequest r = os_.SendWdiRequest(device_, c.id, message, c.output);
        ASSERT_TRUE(r.Wait()) << c.what;
        EXPECT_EQ(r.Status(), c.status) << c.what;
        EXPECT_EQ(r.BytesWritten(), c.written) << c.what;
        EXPECT_EQ(r.Completions(), 1) << c.what;
    }
    EXPECT_EQ(Block().TaskPending, 0);
}

TEST_F(WdiTest, ASecondTaskIsRefusedWhileOneIsPendingAndItsHistoryStaysOpen)
{
    WdiRequest connect = Make(WDI_TASK_CONNECT, 0, 77);
    Record(connect);
    WdiRequest scan = Send(WDI_TASK_SCAN, 0, 78);
    EXPECT_EQ(scan.Status(), kRefused);
    EXPECT_EQ(scan.BytesWritten(), 16u);
    EXPECT_EQ(Block().PendingMessageId, static_cast<ULONG>(WDI_TASK_CONNECT));
    const WDI_COMMAND_HISTORY_ENTRY* e = FindHistory(WDI_TASK_SCAN, 78);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Done, 0);
    EXPECT_EQ(e->Status, kRefused);

    // A property is still taken.
    WdiRequest property = Send(97, 0, 79);
    EXPECT_TRUE(property.Completed());
    ASSERT_EQ(WdiUpdateCntlBlock(Adapter(), nullptr, WDI_TASK_ROW_NONE), STATUS_SUCCESS);
    WifiRequestComplete(kshim::host::WdiRequestHandle(connect), STATUS_SUCCESS, 0);
}

TEST_F(WdiTest, TasksAreRefusedWhileTheAdapterHalts)
{
    AdapterSetFlag(Adapter(), ADAPTER_FLAG_HALT_IN_PROGRESS, "test");
    WdiRequest scan = Send(WDI_TASK_SCAN, 0, 5);
    AdapterClearFlag(Adapter(), ADAPTER_FLAG_HALT_IN_PROGRESS, "test");
    EXPECT_EQ(scan.Status(), kRefused);
    EXPECT_EQ(Block().TaskPending, 0);
}

// A task taken before the adapter began to halt, whose work item runs after: completed with the
// refusal, and the block is free again.
TEST_F(WdiTest, ATaskWhoseWorkItemRunsAfterTheHaltBeganIsRefusedThere)
{
    kshim::host::SystemWorkersHold(true);
    WdiRequest scan = os_.SendWdiRequest(device_, WDI_TASK_SCAN, kshim::host::WdiMessage(0, 21), 64);
    EXPECT_FALSE(scan.Completed());
    EXPECT_EQ(Block().TaskPending, 1);
    AdapterSetFlag(Adapter(), ADAPTER_FLAG_HALT_IN_PROGRESS, "test");
    kshim::host::SystemWorkersHold(false);
    ASSERT_TRUE(scan.Wait());
    AdapterClearFlag(Adapter(), ADAPTER_FLAG_HALT_IN_PROGRESS, "test");
    EXPECT_EQ(scan.Status(), kRefused);
    EXPECT_EQ(scan.Completions(), 1);
    EXPECT_EQ(Block().TaskPending, 0);
}

// A task whose handler fails before starting the work ends with that failure, once, and the next
// task is taken: a scan without its parameters.
TEST_F(WdiTest, ATaskWhoseHandlerFailsEndsWithItsStatusAndFreesTheBlock)
{
    for (uint32_t transaction : {11u, 12u}) {
        WdiRequest scan = Send(WDI_TASK_SCAN, 0, transaction);
        EXPECT_EQ(scan.Status(), NDIS_STATUS_INVALID_DATA);
        EXPECT_EQ(scan.Completions(), 1);
        KeFlushQueuedDpcs();
        EXPECT_EQ(Block().TaskPending, 0);
        EXPECT_EQ(Block().RowIndex, WDI_TASK_ROW_NONE);
    }
    // The work item marks its history entry when the handler has returned.
    QZCxFlushWorkItem(Adapter());
    const WDI_COMMAND_HISTORY_ENTRY* e = FindHistory(WDI_TASK_SCAN, 12);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Done, 1);
    EXPECT_EQ(e->Status, NDIS_STATUS_INVALID_DATA);
    EXPECT_TRUE(kshim::host::WifiIndications().empty());
}

// Properties complete with their handler's status (the fast-transition parameters outside an FT
// authentication are refused by their handler); the statistics query, whose handler answers itself,
// is completed once by the work item when its handler fails, and the dialog-token query, whose
// handler answers, once by its handler.
TEST_F(WdiTest, PropertiesCompleteWithTheirHandlersStatusOnce)
{
    for (uint16_t id : {uint16_t{127}, uint16_t{WDI_GET_STATISTICS}}) {
        WdiRequest r = Send(id, 0, 40 + id, kFtStatusZero);
        EXPECT_EQ(r.Status(), STATUS_NOT_SUPPORTED) << id;
        EXPECT_EQ(r.Completions(), 1) << id;
    }
    WdiRequest token = Send(WDI_GET_NEXT_ACTION_FRAME_DIALOG_TOKEN, 0, 148);
    EXPECT_EQ(token.Status(), STATUS_SUCCESS);
    EXPECT_EQ(token.Completions(), 1);
}

// One property per port at a time: a second one while the first is still queued is refused rather
// than lost; the first still completes.
TEST_F(WdiTest, ASecondPropertyWhileThePortsWorkItemHoldsOneIsRefused)
{
    kshim::host::SystemWorkersHold(true);
    WdiRequest first = os_.SendWdiRequest(device_, 127, kshim::host::WdiMessage(0, 1, kFtStatusZero), 64);
    WdiRequest second = os_.SendWdiRequest(device_, 127, kshim::host::WdiMessage(0, 2, kFtStatusZero), 64);
    EXPECT_FALSE(first.Completed());
    ASSERT_TRUE(second.Completed());
    EXPECT_EQ(second.Status(), kRefused);
    kshim::host::SystemWorkersHold(false);
    ASSERT_TRUE(first.Wait());
    EXPECT_EQ(first.Status(), STATUS_NOT_SUPPORTED);
}

TEST_F(WdiTest, TheEleventhMessageOverwritesTheOldestHistoryEntry)
{
    ULONG start = Adapter()->Wdi.History.NextIndex;
    for (uint32_t i = 0; i < 11; ++i) {
        (void)Send(200, 0, 1000 + i);
    }
    const WDI_COMMAND_HISTORY& h = Adapter()->Wdi.History;
    EXPECT_EQ(h.NextIndex, (start + 11) % WDI_COMMAND_HISTORY_SIZE);
    EXPECT_EQ(h.Entries[start].TransactionId, 1010u);
    EXPECT_EQ(FindHistory(200, 1000), nullptr);
    EXPECT_NE(FindHistory(200, 1001), nullptr);
}

TEST_F(WdiTest, FlushGivesUpWaitingForAStuckHandler)
{
    Adapter()->Wdi.CntlBlock.HandlerRunning.store(1);
    ULONG64 start = QZCxTimeMs();
    EXPECT_EQ(QZCxFlushWorkItem(Adapter()), STATUS_SUCCESS);
    ULONG64 waited = QZCxTimeMs() - start;
    Adapter()->Wdi.CntlBlock.HandlerRunning.store(0);
    EXPECT_GE(waited, 190u);  // twenty waits of 10 ms
    EXPECT_LT(waited, 1000u);
}

TEST_F(WdiTest, ParameterBuffersAreSizedByTheRows)
{
    // The largest parsed parameters: the SAE parameters among the properties, the connect task's
    // among the tasks.
    EXPECT_EQ(Adapter()->Wdi.PropertyParamBufferSize, sizeof(WDI_SAE_PARAMETERS));
    EXPECT_EQ(Adapter()->Wdi.TaskParamBufferSize, sizeof(WDI_CONNECT_PARAMETERS));
    EXPECT_NE(Adapter()->Wdi.PropertyRowBuffers[WdiFindPropertyRow(WDI_ABORT_TASK)], nullptr);
    EXPECT_NE(Adapter()->Wdi.PropertyRowBuffers[WdiFindPropertyRow(41)], nullptr);
    EXPECT_EQ(Adapter()->Wdi.PropertyRowBuffers[WdiFindPropertyRow(97)], nullptr);
}

}  // namespace
