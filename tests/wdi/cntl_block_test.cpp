// The pending WDI task: its recording and release, the completion of a request buffer, the one
// sender of indications matching a task's completion, and the abort of the pending task.
#include <cstring>

#include "platform/ndiscommon/ndiscommon.h"
#include "wdi_support.h"

namespace {

using kshim::host::WdiIndication;
using kshim::host::WdiRequest;
using wdi_test::WdiTest;

constexpr NTSTATUS kRefused = static_cast<NTSTATUS>(0xC0000001);

TEST_F(WdiTest, RecordingKeepsTheHeaderAndACopyAndTheReleaseEmptiesTheBlock)
{
    WdiRequest connect = Make(WDI_TASK_CONNECT, 0, 77, 64, {1, 2, 3, 4});
    Record(connect);
    EXPECT_EQ(Block().TaskPending, 1);
    EXPECT_EQ(Block().RequestRecorded, 1);
    EXPECT_EQ(Block().PendingMessageId, static_cast<ULONG>(WDI_TASK_CONNECT));
    const ULONG recorded = Block().HeaderCopy.TransactionId;
    EXPECT_EQ(recorded, 77u);
    EXPECT_EQ(Block().RowIndex, WdiFindTaskRow(WDI_TASK_CONNECT));
    ASSERT_EQ(Block().PrivateCopyLength, 20u);
    EXPECT_EQ(Block().PrivateCopy[19], 4);

    EXPECT_EQ(WdiUpdateCntlBlock(Adapter(), nullptr, WDI_TASK_ROW_NONE), STATUS_SUCCESS);
    EXPECT_EQ(Block().TaskPending, 0);
    EXPECT_EQ(Block().RequestRecorded, 0);
    EXPECT_EQ(Block().PendingMessageId, 0u);
    EXPECT_EQ(Block().RowIndex, WDI_TASK_ROW_NONE);
    EXPECT_EQ(Block().PrivateCopy, nullptr);
    const ULONG cleared = Block().HeaderCopy.TransactionId;
    EXPECT_EQ(cleared, 0u);
    WifiRequestComplete(kshim::host::WdiRequestHandle(connect), STATUS_SUCCESS, 0);
}

TEST_F(WdiTest, ACopyThatCannotBeAllocatedRecordsNothing)
{
    WdiRequest scan = Make(WDI_TASK_SCAN, 0, 5);
    kshim::host::FaultArm("pool", "ZV51", 1, STATUS_INSUFFICIENT_RESOURCES, 0);
    EXPECT_EQ(WdiUpdateCntlBlock(Adapter(), kshim::host::WdiRequestHandle(scan), WdiFindTaskRow(WDI_TASK_SCAN)),
              STATUS_INSUFFICIENT_RESOURCES);
    kshim::host::FaultClearAll();
    EXPECT_EQ(Block().TaskPending, 0);
    EXPECT_EQ(Block().RowIndex, WDI_TASK_ROW_NONE);
    WifiRequestComplete(kshim::host::WdiRequestHandle(scan), STATUS_SUCCESS, 0);
}

// A completion with a payload needs the header and the payload in the output buffer.
TEST_F(WdiTest, CompletionFitsThePayloadBehindTheHeaderOrAsksForTheBytesNeeded)
{
    const UCHAR payload[8] = {9, 8, 7, 6, 5, 4, 3, 2};
    struct Case {
        size_t output;
        NTSTATUS result;
        NTSTATUS completion;
        uint32_t written;
    };
    for (const Case& c : {Case{24, STATUS_SUCCESS, STATUS_SUCCESS, 24}, Case{23, kRefused, STATUS_BUFFER_OVERFLOW, 0}}) {
        WdiRequest r = Make(47, 2, 31, c.output);
        EXPECT_EQ(WdiEventCompleteOid(Adapter(), kshim::host::WdiRequestHandle(r), payload, sizeof(payload)), c.result);
        ASSERT_TRUE(r.Completed());
        EXPECT_EQ(r.Status(), c.completion) << c.output;
        EXPECT_EQ(r.BytesWritten(), c.written);
        std::vector<uint8_t> out = r.Buffer();
        if (c.result == STATUS_SUCCESS) {
            EXPECT_EQ(out[0], 2);   // the header keeps what the OS sent
            EXPECT_EQ(out[8], 31);
            EXPECT_EQ(out[4], 0);   // with status 0
            EXPECT_EQ(std::memcmp(out.data() + 16, payload, sizeof(payload)), 0);
        } else {
            EXPECT_TRUE(r.BytesNeededSet());
            EXPECT_EQ(r.BytesNeeded(), 24u);
        }
    }
    WdiRequest none = kshim::host::NewWdiRequest(47, kshim::host::WdiMessage(0, 1), 64, true);
    EXPECT_EQ(WdiEventCompleteOid(Adapter(), kshim::host::WdiRequestHandle(none), nullptr, 0), kRefused);
    EXPECT_EQ(none.Status(), STATUS_INSUFFICIENT_RESOURCES);
}

// Which indications go out while a connect (transaction 77) is pending, and what they carry.
TEST_F(WdiTest, OnlyThePendingRowsCompletionEndsTheTaskAndUnsolicitedOnesCarryTransactionZero)
{
    WdiRequest connect = Make(WDI_TASK_CONNECT, 0, 77);
    Record(connect);
    WDI_MESSAGE_HEADER header = Block().HeaderCopy;
    const UCHAR payload[3] = {0xAA, 0xBB, 0xCC};
    struct Case {
        ULONG code;
        ULONG mode;
        bool sent;
        uint32_t transaction;
        bool stillPending;
    };
    const Case cases[] = {
        {0x4005003E, WDI_INDICATION_MODE_TASK_COMPLETION, false, 0, true},  // a BSS entry is no connect completion
        {0x40050035, WDI_INDICATION_MODE_UNSOLICITED, true, 0, true},
        {0x40050035, 2, false, 0, true},                                    // no such mode
        {WDI_INDICATION_CONNECT_COMPLETE, WDI_INDICATION_MODE_TASK_COMPLETION, true, 77, false},
        {WDI_INDICATION_CONNECT_COMPLETE, WDI_INDICATION_MODE_TASK_COMPLETION, false, 0, false},  // ended already
    };
    for (const Case& c : cases) {
        kshim::host::WifiClearIndications();
        WdiEventSendStatusIndicationEx(Adapter(), &header, 3, c.code, static_cast<NTSTATUS>(0xC0000001), payload,
                                       sizeof(payload), c.mode);
        std::vector<WdiIndication> seen = kshim::host::WifiIndications();
        ASSERT_EQ(seen.size(), c.sent ? 1u : 0u) << std::hex << c.code << " mode " << c.mode;
        if (c.sent) {
            EXPECT_EQ(seen[0].code, static_cast<uint16_t>(c.code & 0xFFFF));
            EXPECT_EQ(seen[0].TransactionId(), c.transaction);
            EXPECT_EQ(seen[0].PortId(), 3);
            EXPECT_EQ(seen[0].Status(), 0xC0000001u);
            ASSERT_EQ(seen[0].bytes.size(), 19u);
            EXPECT_EQ(seen[0].bytes[18], 0xCC);
        }
        EXPECT_EQ(Block().TaskPending, c.stillPending ? 1 : 0);
    }
    EXPECT_EQ(Block().RequestRecorded, 0);
    WifiRequestComplete(kshim::host::WdiRequestHandle(connect), STATUS_SUCCESS, 0);
}

TEST_F(WdiTest, AnIndicationWithoutABufferGoesOutAsABareHeader)
{
    const UCHAR payload[40] = {};
    kshim::host::FaultArm("pool", "ZV42", 1, STATUS_INSUFFICIENT_RESOURCES, 0);
    WdiEventSendStatusIndicationEx(Adapter(), nullptr, 1, 0x40050079, STATUS_SUCCESS, payload, sizeof(payload),
                                   WDI_INDICATION_MODE_UNSOLICITED);
    kshim::host::FaultClearAll();
    std::vector<WdiIndication> seen = kshim::host::WifiIndications();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].bytes.size(), 16u);
    EXPECT_EQ(seen[0].PortId(), 1);
}

// Firmware events and timers indicate at DISPATCH_LEVEL.
TEST_F(WdiTest, IndicationsMayBeSentAtDispatchLevel)
{
    WdiRequest scan = Make(WDI_TASK_SCAN, 0, 55);
    Record(scan);
    WDI_MESSAGE_HEADER header = Block().HeaderCopy;
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL irql;
    KeAcquireSpinLock(&lock, &irql);
    WdiEventSendStatusIndicationEx(Adapter(), &header, 0, WDI_INDICATION_SCAN_COMPLETE, STATUS_SUCCESS, nullptr, 0,
                                   WDI_INDICATION_MODE_TASK_COMPLETION);
    KeReleaseSpinLock(&lock, irql);
    std::vector<WdiIndication> seen = kshim::host::WifiIndications();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].TransactionId(), 55u);
    EXPECT_EQ(Block().TaskPending, 0);
    EXPECT_EQ(Block().PrivateCopy, nullptr);
    WifiRequestComplete(kshim::host::WdiRequestHandle(scan), STATUS_SUCCESS, 0);
}

TEST_F(WdiTest, AHeaderPortAboveFourMeansPortZero)
{
    for (uint16_t portId : {uint16_t{0}, uint16_t{5}, uint16_t{7}, uint16_t{0xFFFF}}) {
        WdiRequest r = Make(47, portId, 1);
        EXPECT_EQ(NdisWdiGetMpPortPtr(Adapter(), kshim::host::WdiRequestHandle(r)), Adapter()->PortList[0]) << portId;
        WifiRequestComplete(kshim::host::WdiRequestHandle(r), STATUS_SUCCESS, 0);
    }
    WdiRequest r = Make(47, 2, 1);  // a port that does not exist
    EXPECT_EQ(NdisWdiGetMpPortPtr(Adapter(), kshim::host::WdiRequestHandle(r)), nullptr);
    WifiRequestComplete(kshim::host::WdiRequestHandle(r), STATUS_SUCCESS, 0);
}

// The abort-task property: what it does to the pending task, and that the abort itself succeeds.
TEST_F(WdiTest, AbortOfATaskWithoutAbortHandlerSendsItsCompletionAtOnce)
{
    WdiRequest disconnect = Make(WDI_TASK_DISCONNECT, 0, 4242);
    Record(disconnect);
    WdiRequest abort = Send(WDI_ABORT_TASK, 0, 9, AbortTlvs(WDI_TASK_DISCONNECT, 4242, 0));
    EXPECT_EQ(abort.Status(), STATUS_SUCCESS);
    EXPECT_EQ(abort.BytesWritten(), 16u);
    std::vector<WdiIndication> seen = kshim::host::WifiIndications();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].code, 0x0015);
    EXPECT_EQ(seen[0].TransactionId(), 4242u);
    EXPECT_EQ(seen[0].Status(), 0u);
    EXPECT_EQ(Block().TaskPending, 0);
    WifiRequestComplete(kshim::host::WdiRequestHandle(disconnect), STATUS_SUCCESS, 0);
}

TEST_F(WdiTest, AbortNamingAnotherTaskChangesNothing)
{
    WdiRequest connect = Make(WDI_TASK_CONNECT, 0, 77);
    Record(connect);
    WdiRequest abort = Send(WDI_ABORT_TASK, 0, 9, AbortTlvs(WDI_TASK_SCAN, 1, 0));
    EXPECT_EQ(abort.Status(), STATUS_SUCCESS);
    EXPECT_TRUE(kshim::host::WifiIndications().empty());
    EXPECT_EQ(Block().TaskPending, 1);
    EXPECT_EQ(Block().AbortRequested.load(), 0);
    EXPECT_FALSE(AdapterTestFlags(Adapter(), ADAPTER_FLAG_SCANNING));
    ASSERT_EQ(WdiUpdateCntlBlock(Adapter(), nullptr, WDI_TASK_ROW_NONE), STATUS_SUCCESS);
    WifiRequestComplete(kshim::host::WdiRequestHandle(connect), STATUS_SUCCESS, 0);
}

// The abort of the pending task by what is pending and the adapter's state.
TEST_F(WdiTest, AbortGoesToTheRowsAbortHandlerUnlessTheAdapterHalts)
{
    struct Case {
        const char* what;
        uint16_t task;
        ULONG flags;            // adapter flags set around the abort
        bool indicatedAtOnce;   // the row's completion indication goes out at once
        ULONG flagsAfter;       // flags expected set after the abort
        ULONG flagsCleared;     // flags expected clear after the abort
    };
    const Case cases[] = {
        // The scan's abort handler runs (it comes with the scan code); the scan is marked running so
        // that the firmware scan abort goes out.
        {"scan", WDI_TASK_SCAN, 0, false, ADAPTER_FLAG_SCANNING | ADAPTER_FLAG_OS_SCAN, 0},
        {"connect while halting", WDI_TASK_CONNECT, ADAPTER_FLAG_HALT_IN_PROGRESS, true, 0, 0},
        // The connect's abort handler resets the connect machine and ends the task with status 0.
        {"connect while the firmware scans", WDI_TASK_CONNECT, ADAPTER_FLAG_SCANNING, true, 0, ADAPTER_FLAG_SCANNING},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kshim::host::WifiClearIndications();
        WdiRequest task = Make(c.task, 0, 600 + c.task);
        Record(task);
        if (c.flags != 0) {
            AdapterSetFlag(Adapter(), c.flags, "test");
        }
        WdiRequest abort = Send(WDI_ABORT_TASK, 0, 9, AbortTlvs(c.task, 600 + c.task, 0));
        EXPECT_EQ(abort.Status(), STATUS_SUCCESS);
        ULONG flags = AdapterGetFlags(Adapter());
        AdapterClearFlag(Adapter(), c.flags | ADAPTER_FLAG_SCANNING | ADAPTER_FLAG_OS_SCAN, "test");
        EXPECT_EQ(flags & c.flagsAfter, c.flagsAfter);
        EXPECT_EQ(flags & c.flagsCleared, 0u);
        std::vector<WdiIndication> seen = kshim::host::WifiIndications();
        ASSERT_EQ(seen.size(), c.indicatedAtOnce ? 1u : 0u);
        if (c.indicatedAtOnce) {
            EXPECT_EQ(seen[0].code, static_cast<uint16_t>(g_WdiTaskTable[WdiFindTaskRow(c.task)].CompletionCode));
            EXPECT_EQ(seen[0].TransactionId(), 600u + c.task);
            EXPECT_EQ(Block().TaskPending, 0);
        } else {
            EXPECT_EQ(Block().TaskPending, 1);
            EXPECT_EQ(Block().AbortRequested.load(), 1);
            ASSERT_EQ(WdiUpdateCntlBlock(Adapter(), nullptr, WDI_TASK_ROW_NONE), STATUS_SUCCESS);
        }
        WifiRequestComplete(kshim::host::WdiRequestHandle(task), STATUS_SUCCESS, 0);
    }
}

// Without a memory object the indication is lost, but a matched completion still ends the task.
TEST_F(WdiTest, AnIndicationWithoutAMemoryObjectIsLostAndStillEndsTheTask)
{
    WdiRequest scan = Make(WDI_TASK_SCAN, 0, 8);
    Record(scan);
    WDI_MESSAGE_HEADER header = Block().HeaderCopy;
    kshim::host::FaultArm("wdf.create", "WDFMEMORY", 1, STATUS_INSUFFICIENT_RESOURCES);
    WdiEventSendStatusIndicationEx(Adapter(), &header, 0, WDI_INDICATION_SCAN_COMPLETE, STATUS_SUCCESS, nullptr, 0,
                                   WDI_INDICATION_MODE_TASK_COMPLETION);
    kshim::host::FaultClearAll();
    EXPECT_TRUE(kshim::host::WifiIndications().empty());
    EXPECT_EQ(Block().TaskPending, 0);
    WifiRequestComplete(kshim::host::WdiRequestHandle(scan), STATUS_SUCCESS, 0);
}

TEST_F(WdiTest, AbortDirectCallsRefuseMissingParametersAndAnIdleBlock)
{
    WdiRequest r = Make(WDI_ABORT_TASK, 0, 1);
    WIFIREQUEST handle = kshim::host::WdiRequestHandle(r);
    EXPECT_EQ(WdiTaskAbort(Adapter(), handle, nullptr), NDIS_STATUS_INVALID_DATA);
    WDI_TASK_ABORT_PARAMETERS parameters{};
    parameters.MessageId = WDI_TASK_SCAN;
    EXPECT_EQ(WdiTaskAbort(Adapter(), handle, &parameters), kRefused);  // nothing pending
    EXPECT_EQ(WdiAbortCmdSanity(Adapter(), handle, WDI_TASK_SCAN), kRefused);
    WifiRequestComplete(handle, STATUS_SUCCESS, 0);
}

TEST_F(WdiTest, AnAbortWhoseParametersDoNotParseIsCompletedWithTheParsersFailure)
{
    WdiRequest connect = Make(WDI_TASK_CONNECT, 0, 77);
    Record(connect);
    // The TLV claims more bytes than the message holds.
    std::vector<uint8_t> lying = AbortTlvs(WDI_TASK_CONNECT, 77, 0);
    lying[2] = 0x40;
    WdiRequest abort = Send(WDI_ABORT_TASK, 0, 9, lying);
    EXPECT_EQ(abort.Status(), NDIS_STATUS_INVALID_DATA);
    QZCxFlushWorkItem(Adapter());
    const WDI_COMMAND_HISTORY_ENTRY* e = FindHistory(WDI_ABORT_TASK, 9);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Done, 1);
    EXPECT_EQ(e->Status, NDIS_STATUS_INVALID_DATA);
    EXPECT_EQ(Block().TaskPending, 1);
    ASSERT_EQ(WdiUpdateCntlBlock(Adapter(), nullptr, WDI_TASK_ROW_NONE), STATUS_SUCCESS);
    WifiRequestComplete(kshim::host::WdiRequestHandle(connect), STATUS_SUCCESS, 0);
}

TEST_F(WdiTest, TraceNamesOfMessagesAndIndications)
{
    EXPECT_STREQ(DecodeWdiMessageId(4), "QZ_WDI_TASK_SCAN");
    EXPECT_STREQ(DecodeWdiMessageId(75), "QZ_WDI_ABORT_TASK");
    EXPECT_STREQ(DecodeWdiMessageId(0x4005003C), "NDIS_STATUS_WDI_INDICATION_SCAN_COMPLETE");
    EXPECT_STREQ(DecodeWdiMessageId(255), "<** UNKNOWN OID/INDICATION **>");
    EXPECT_STREQ(DecodeWdiIndication(0x40050040), "NDIS_STATUS_WDI_INDICATION_CONNECT_COMPLETE");
    EXPECT_STREQ(DecodeWdiIndication(0x40050099), "<** UNKNOWN **>");
    EXPECT_STREQ(QZCxGetWdiMessageName(138), "WDI_SET_LOCATION_PRIVACY");
    EXPECT_STREQ(QZCxGetWdiMessageName(3), "<** UNKNOWN OID **>");
}

}  // namespace
