// The NetAdapterCx transmit queue: creation, start and the queue table, the advance and its
// completion sweep in ring order, notification once per enabling, cancel, and the limits of a packet.
#include "txq_support.h"

#include <chrono>
#include <thread>

#include "Common/common.h"
#include "Common/p2p/p2p.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "support/eventually.h"

namespace {

using namespace txq_test;

TEST_F(TxqTest, PriorityGivesTheAccessCategoryAndStartRegistersTheQueue)
{
    struct Case {
        uint8_t priority;
        UCHAR ac;
    };
    const Case cases[] = {{0, 1}, {1, 0}, {2, 0}, {3, 1}, {4, 2}, {5, 2}, {6, 3}, {7, 3}};
    uint32_t id = 0;
    for (const Case& c : cases) {
        NETPACKETQUEUE q = OpenTx(c.priority, id++);
        ASSERT_NE(q, nullptr);
        PQZCX_TXQUEUE ctx = QZCxGetTxQueueContext(q);
        EXPECT_EQ(ctx->UserPriority, c.priority);
        EXPECT_EQ(ctx->AccessCategory, c.ac) << "priority " << int(c.priority);
        EXPECT_EQ(ctx->PortId, 0u);
        EXPECT_EQ(ctx->Port, port_);
        EXPECT_EQ(ctx->ScatterEntryCount, 512u);
        EXPECT_EQ(Adapter()->CurrentTxQueue, q);
    }
    EXPECT_EQ(Adapter()->TxQueueStartedCount, 8u);
    NETPACKETQUEUE first = Adapter()->TxQueueTable[0].Queue;
    host::NetQueueDestroy(first);
    EXPECT_EQ(Adapter()->TxQueueStartedCount, 7u);
    EXPECT_EQ(Adapter()->TxQueueTable[0].InUse, 0);
    EXPECT_EQ(Adapter()->TxQueueTable[0].Queue, nullptr);
}

TEST_F(TxqTest, TheSeventyFourthQueueRunsUnregistered)
{
    for (uint32_t i = 0; i < TX_QUEUE_TABLE_SIZE + 1; ++i) {
        ASSERT_NE(OpenTx(0, i, {16, 16}), nullptr);
    }
    EXPECT_EQ(Adapter()->TxQueueStartedCount, TX_QUEUE_TABLE_SIZE);
    NETPACKETQUEUE last = Adapter()->CurrentTxQueue;
    for (const TX_QUEUE_TABLE_ENTRY& e : Adapter()->TxQueueTable) {
        EXPECT_NE(e.Queue, last);
    }
}

TEST_F(TxqTest, ScatterBufferIsHalvedOnlyFromLargeCounts)
{
    // 8192 entries do not fit, 4096 do.
    host::DmaSetCommonBufferLimit(4096 * sizeof(TX_SG_ENTRY));
    NETPACKETQUEUE q = OpenTx(0, 1, {64, 8192});
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(QZCxGetTxQueueContext(q)->ScatterEntryCount, 4096u);
    EXPECT_EQ(QZCxGetTxQueueContext(q)->ScatterSize, 4096u * sizeof(TX_SG_ENTRY));

    // Nothing fits: 8192 is halved once, 4096 is not halved again.
    host::DmaSetCommonBufferLimit(1024);
    NETPACKETQUEUE failed = nullptr;
    const uint8_t peer[6] = {2, 0, 0, 0, 0, 1};
    EXPECT_EQ(host::NetTxQueueOpen(net_, 2, peer, 0, &failed, {64, 8192}), STATUS_INSUFFICIENT_RESOURCES);
}

TEST_F(TxqTest, AMissingExtensionFailsTheCreation)
{
    for (const char* name : {NET_FRAGMENT_EXTENSION_VIRTUAL_ADDRESS_NAME, NET_FRAGMENT_EXTENSION_LOGICAL_ADDRESS_NAME,
                             NET_PACKET_EXTENSION_WIFI_EXEMPTION_ACTION_NAME}) {
        host::FaultArm("net.extension", name, 1, STATUS_UNSUCCESSFUL);
        NETPACKETQUEUE q = nullptr;
        const uint8_t peer[6] = {2, 0, 0, 0, 0, 1};
        EXPECT_EQ(host::NetTxQueueOpen(net_, 0, peer, 0, &q), STATUS_UNSUCCESSFUL) << name;
        host::FaultClearAll();
    }
    EXPECT_EQ(Adapter()->TxQueueStartedCount, 0u);
}

TEST_F(TxqTest, FramesTheHardTransmitRefusesReturnToTheOsInOrderAndRecordsToTheirPool)
{
    NoReceiver();
    NETPACKETQUEUE q = OpenTx();
    const ULONG free = TxDmaqGetFreeCount(Adapter(), 0);
    ASSERT_EQ(host::NetTxQueuePost(q, Frames(5)), 5u);
    host::NetQueueAdvance(q);
    std::vector<host::TxReturned> back = host::NetTxQueueTakeReturned(q);
    EXPECT_EQ(Tags(back), (std::vector<uint8_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), free);
    NET_RING* fr = host::NetQueueFragmentRing(q);
    EXPECT_EQ(fr->BeginIndex, 5u);
    EXPECT_EQ(fr->NextIndex, 5u);
    EXPECT_EQ(QZCxGetTxQueueContext(q)->SideInfo[2].Flags, 0u);
}

TEST_F(TxqTest, CompletionsReturnInRingOrderOnly)
{
    NETPACKETQUEUE q = OpenTx();
    ASSERT_EQ(host::NetTxQueuePost(q, Frames(8)), 8u);
    std::vector<PTX_DMAQ_DESC> taken = Take(q, 0, 8);
    // Packets 0-4 finish, 5, 6, 7 are on the rings.
    for (int i = 0; i < 5; ++i) {
        PlatformIndicateXmitPktToNdisEx(Adapter(), taken[i], STATUS_SUCCESS);
    }
    host::NetQueueAdvance(q);
    EXPECT_EQ(host::NetTxQueueTakeReturned(q).size(), 5u);

    PlatformIndicateXmitPktToNdisEx(Adapter(), taken[6], STATUS_SUCCESS);
    host::NetQueueAdvance(q);
    EXPECT_TRUE(host::NetTxQueueTakeReturned(q).empty());
    EXPECT_EQ(Adapter()->TxProgress[0].Stalled, 1);

    PlatformIndicateXmitPktToNdisEx(Adapter(), taken[5], STATUS_SUCCESS);
    host::NetQueueAdvance(q);
    EXPECT_EQ(Tags(host::NetTxQueueTakeReturned(q)), (std::vector<uint8_t>{5, 6}));
    EXPECT_EQ(host::NetQueueFragmentRing(q)->BeginIndex, 7u);

    PlatformIndicateXmitPktToNdisEx(Adapter(), taken[7], STATUS_SUCCESS);
    host::NetQueueAdvance(q);
    EXPECT_EQ(Tags(host::NetTxQueueTakeReturned(q)), (std::vector<uint8_t>{7}));
    EXPECT_EQ(Adapter()->TxProgress[0].Stalled, 0);
}

TEST_F(TxqTest, ACompletionNotifiesOncePerEnabling)
{
    NETPACKETQUEUE q = OpenTx();
    ASSERT_EQ(host::NetTxQueuePost(q, Frames(3)), 3u);
    std::vector<PTX_DMAQ_DESC> taken = Take(q, 0, 3);
    host::NetQueueSetNotification(q, true);
    PlatformIndicateXmitPktToNdis(Adapter(), taken[0], STATUS_SUCCESS);
    EXPECT_EQ(host::NetQueueNotifications(q), 1u);
    EXPECT_EQ(QZCxGetTxQueueContext(q)->NotificationEnabled, 0);
    // A second completion before the OS enables notification again stays silent (the harness
    // reports a notification while disabled as a failure).
    PlatformIndicateXmitPktToNdis(Adapter(), taken[1], STATUS_SUCCESS);
    EXPECT_EQ(host::NetQueueNotifications(q), 1u);
    host::NetQueueSetNotification(q, true);
    PlatformIndicateXmitPktToNdisWhenSER(Adapter(), taken[2], STATUS_SUCCESS);
    EXPECT_EQ(host::NetQueueNotifications(q), 2u);
    host::NetQueueAdvance(q);
    EXPECT_EQ(host::NetTxQueueTakeReturned(q).size(), 3u);
}

TEST_F(TxqTest, CancelReturnsEveryOutstandingPacketAndLaterAdvancesSendNothing)
{
    NETPACKETQUEUE q = OpenTx();
    ASSERT_EQ(host::NetTxQueuePost(q, Frames(10)), 10u);
    std::vector<PTX_DMAQ_DESC> taken = Take(q, 0, 4);
    host::NetQueueCancel(q);
    std::vector<host::TxReturned> back = host::NetTxQueueTakeReturned(q);
    ASSERT_EQ(back.size(), 10u);
    for (const host::TxReturned& r : back) {
        EXPECT_NE(r.flags & NET_PACKET_FLAG_SCRATCH, 0);
    }
    EXPECT_EQ(Adapter()->TxQueueTable[0].Cancelled, 1);
    // Records of a cancelled queue still complete (their packets went back already).
    const ULONG free = TxDmaqGetFreeCount(Adapter(), 0);
    for (PTX_DMAQ_DESC r : taken) {
        PlatformIndicateXmitPktToNdisEx(Adapter(), r, STATUS_SUCCESS);
    }
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), free + 4);
    ASSERT_EQ(host::NetTxQueuePost(q, Frames(2, 20)), 2u);
    host::NetQueueAdvance(q);
    EXPECT_TRUE(host::NetTxQueueTakeReturned(q).empty());
    EXPECT_EQ(host::NetQueuePacketRing(q)->NextIndex, 10u);
}

TEST_F(TxqTest, APacketOfThreeFragmentsGoesBackUnsentAndDoesNotHoldUpTheQueue)
{
    NoReceiver();
    NETPACKETQUEUE q = OpenTx();
    std::vector<host::TxFrame> frames = Frames(3);
    frames[1] = Frame(1, 90, 3);
    ASSERT_EQ(host::NetTxQueuePost(q, frames), 3u);
    host::NetQueueAdvance(q);
    std::vector<host::TxReturned> back = host::NetTxQueueTakeReturned(q);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[1].flags & NET_PACKET_FLAG_SCRATCH, NET_PACKET_FLAG_SCRATCH);
    EXPECT_EQ(host::NetQueueFragmentRing(q)->BeginIndex, 5u);
}

TEST_F(TxqTest, TwoFragmentsFillTwoScatterEntriesAtTheirFragmentIndexes)
{
    NoReceiver();
    NETPACKETQUEUE q = OpenTx();
    ASSERT_EQ(host::NetTxQueuePost(q, {Frame(9), Frame(7, 76, 2)}), 2u);
    host::NetQueueAdvance(q);
    PQZCX_TXQUEUE ctx = QZCxGetTxQueueContext(q);
    const TX_SG_ENTRY& a = ctx->ScatterVa[0];
    const TX_SG_ENTRY& b = ctx->ScatterVa[1];
    const TX_SG_ENTRY& c = ctx->ScatterVa[2];
    EXPECT_EQ(a.Flags, TX_SG_FIRST_OF_PACKET | TX_SG_LAST_OF_PACKET);
    EXPECT_EQ(a.Length, 64u);
    EXPECT_EQ(b.Flags, TX_SG_FIRST_OF_PACKET);
    EXPECT_EQ(b.Length, 50u);
    EXPECT_EQ(c.Flags, TX_SG_LAST_OF_PACKET);
    EXPECT_EQ(c.Length, 50u);
    // Addresses: the extensions plus the fragment's offset.
    EXPECT_EQ(c.LogicalAddress - b.LogicalAddress, host::kTxFragmentBuffer);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(b.VirtualAddress)[30], 7);
    EXPECT_EQ(ctx->ScatterCursor, 3u);
    EXPECT_EQ(host::NetTxQueueTakeReturned(q).size(), 2u);
}

TEST_F(TxqTest, BestEffortOnlyRewritesTheQueuePriority)
{
    port_->TxAcBestEffortOnly[2] = 1;
    NETPACKETQUEUE q = OpenTx(5);
    ASSERT_EQ(host::NetTxQueuePost(q, Frames(1)), 1u);
    host::NetQueueAdvance(q);
    EXPECT_EQ(QZCxGetTxQueueContext(q)->UserPriority, 0);
    EXPECT_EQ(QZCxGetTxQueueContext(q)->AccessCategory, 1);
}

TEST_F(TxqTest, ABurstAcrossTheRingWrapIsSentDirectlyOrByTheTransmitQueueThread)
{
    NoReceiver();
    Adapter()->RegistryBlock.TxDirectThreshold = 8;
    for (UCHAR bandwidth : {UCHAR{2}, UCHAR{7}}) {
        port_->Channel.Bandwidth = bandwidth;
        NETPACKETQUEUE q = OpenTx(0, bandwidth);
        // 9 pending across the wrap of a 256-element ring: NextIndex 250, EndIndex 3.
        host::NetQueueReposition(q, 250, 500);
        ASSERT_EQ(host::NetTxQueuePost(q, Frames(9)), 9u);
        ASSERT_EQ(host::NetQueuePacketRing(q)->EndIndex, 3u);
        host::NetQueueAdvance(q);
        std::vector<host::TxReturned> back = host::NetTxQueueTakeReturned(q);
        if (bandwidth == 2) {
            EXPECT_EQ(back.size(), 9u);
            continue;
        }
        // 320 MHz: the advance went to "WINCXTxNetQueueThread", whose advance sends them; the OS
        // sees them on its next advance.
        qzl_test::Eventually([&] {
            host::NetQueueAdvance(q);
            std::vector<host::TxReturned> more = host::NetTxQueueTakeReturned(q);
            back.insert(back.end(), more.begin(), more.end());
            return back.size() >= 9;
        });
        EXPECT_EQ(back.size(), 9u);
    }
}

}  // namespace

namespace {

using namespace txq_test;

TEST_F(TxqTest, AbortByPortCompletesThatPortsRecordsAndLeavesOthers)
{
    NETPACKETQUEUE q = OpenTx();
    ASSERT_EQ(host::NetTxQueuePost(q, Frames(3)), 3u);
    std::vector<PTX_DMAQ_DESC> taken = Take(q, 0, 3);
    MP_PORT other{};
    other.PortNumber = 1;
    PTX_DMAQ_DESC foreign = TxDmaqAlloc(Adapter(), 0);
    ASSERT_NE(foreign, nullptr);
    foreign->Port = &other;
    TxProcqEnqueue(Adapter(), taken[0], 1, FALSE);
    TxProcqEnqueue(Adapter(), foreign, 1, FALSE);
    TxProcqEnqueue(Adapter(), taken[1], 3, FALSE);
    TxDoneWaitqEnqueue(Adapter(), taken[2]);

    PlatformIndicateTxAbortPendingPacketsByPort(Adapter(), 0);
    EXPECT_EQ(TxProcqGetCount(Adapter(), 1), 1u);
    EXPECT_EQ(TxProcqGetCount(Adapter(), 3), 0u);
    EXPECT_EQ(TxDoneWaitqGetCount(Adapter()), 0u);
    host::NetQueueAdvance(q);
    EXPECT_EQ(Tags(host::NetTxQueueTakeReturned(q)), (std::vector<uint8_t>{0, 1, 2}));
    EXPECT_EQ(TxProcqDequeue(Adapter(), 1), foreign);
    TxDmaqFree(Adapter(), foreign);
}

TEST_F(TxqTest, StopAbortsThePortsPendingPacketsAndRejectFinishesTheirPackets)
{
    NETPACKETQUEUE q = OpenTx();
    ASSERT_EQ(host::NetTxQueuePost(q, Frames(2)), 2u);
    std::vector<PTX_DMAQ_DESC> taken = Take(q, 0, 2);
    const ULONG free = TxDmaqGetFreeCount(Adapter(), 0);
    TxDoneWaitqEnqueue(Adapter(), taken[0]);
    PlatformIndicateRejectPendingPackets(Adapter(), 1);
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), free + 1);
    host::NetQueueAdvance(q);
    EXPECT_EQ(Tags(host::NetTxQueueTakeReturned(q)), (std::vector<uint8_t>{0}));

    TxDoneWaitqEnqueue(Adapter(), taken[1]);
    host::NetQueueStop(q);
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), free + 2);
    host::NetQueueAdvance(q);
    EXPECT_EQ(Tags(host::NetTxQueueTakeReturned(q)), (std::vector<uint8_t>{1}));
    host::NetQueueCancel(q);
    EXPECT_TRUE(host::NetTxQueueTakeReturned(q).empty());
}

// Rejecting the pending packets (teardown, surprise removal, firmware recovery) finishes every OS
// packet wherever its record waits, so the queue hands them all back in order without a cancel and
// runs on afterwards; records of the driver's own go back to their pools.
TEST_F(TxqTest, RejectFinishesThePacketsOfEveryQueueAndTheQueueRunsOn)
{
    NETPACKETQUEUE q = OpenTx();
    ASSERT_EQ(host::NetTxQueuePost(q, Frames(7)), 7u);
    std::vector<PTX_DMAQ_DESC> taken = Take(q, 0, 7);
    const ULONG free0 = TxDmaqGetFreeCount(Adapter(), 0);
    const ULONG free1 = TxDmaqGetFreeCount(Adapter(), 1);
    TxProcqEnqueue(Adapter(), taken[0], 1, FALSE);
    TxProcqEnqueue(Adapter(), taken[1], 4, FALSE);
    TxDoneWaitqEnqueue(Adapter(), taken[2]);
    TxBmcPsqEnqueue(Adapter(), taken[3], 0);
    TxBmcPsqEnqueue(Adapter(), taken[4], 2);  // another port's group queue
    TxUcPsqEnqueue(Adapter(), taken[5], 7);   // a station no port 0 entry names
    TxUcPsqEnqueue(Adapter(), taken[6], 19);
    PTX_DMAQ_DESC own = TxDmaqAlloc(Adapter(), 0);  // a frame of the driver's own
    PTX_DMAQ_DESC command = TxDmaqAlloc(Adapter(), 1);
    ASSERT_NE(own, nullptr);
    ASSERT_NE(command, nullptr);
    own->Port = port_;
    TxProcqEnqueue(Adapter(), own, 1, FALSE);
    TxDWaitqEnqueue(Adapter(), command);

    PlatformIndicateRejectPendingPackets(Adapter(), 1);
    for (UCHAR ac = 0; ac < 5; ++ac) {
        EXPECT_EQ(TxProcqGetCount(Adapter(), ac), 0u) << int(ac);
    }
    EXPECT_EQ(TxDoneWaitqGetCount(Adapter()), 0u);
    EXPECT_EQ(TxBmcPsqGetCount(Adapter(), 2), 0u);
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), free0 + 7);
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 1), free1);
    host::NetQueueAdvance(q);
    std::vector<host::TxReturned> back = host::NetTxQueueTakeReturned(q);
    EXPECT_EQ(Tags(back), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Adapter()->TxProgress[0].Stalled, 0);

    // The queue is not stalled: the next packets go out and come back.
    NoReceiver();
    ASSERT_EQ(host::NetTxQueuePost(q, Frames(2, 10)), 2u);
    host::NetQueueAdvance(q);
    EXPECT_EQ(Tags(host::NetTxQueueTakeReturned(q)), (std::vector<uint8_t>{10, 11}));
}

}  // namespace

namespace {

using namespace txq_test;

TEST_F(TxqTest, WhileAGroupOwnerRunsFinishedPacketsGoBackWithTheirCompletion)
{
    ASSERT_NE(Adapter()->P2pBlock, nullptr);
    const ULONG saved = Adapter()->P2pBlock->Flags;
    NETPACKETQUEUE q = OpenTx();
    ASSERT_EQ(host::NetTxQueuePost(q, Frames(3)), 3u);
    std::vector<PTX_DMAQ_DESC> taken = Take(q, 0, 3);
    // Without the group owner the packet waits for the next advance.
    PlatformIndicateXmitPktToNdisEx(Adapter(), taken[0], STATUS_SUCCESS);
    EXPECT_TRUE(host::NetTxQueueTakeReturned(q).empty());
    Adapter()->P2pBlock->Flags |= P2P_FLAG_GO_RUNNING;
    PlatformIndicateXmitPktToNdisEx(Adapter(), taken[2], STATUS_SUCCESS);
    EXPECT_EQ(Tags(host::NetTxQueueTakeReturned(q)), (std::vector<uint8_t>{0}));
    PlatformIndicateXmitPktToNdisEx(Adapter(), taken[1], STATUS_SUCCESS);
    EXPECT_EQ(Tags(host::NetTxQueueTakeReturned(q)), (std::vector<uint8_t>{1, 2}));
    Adapter()->P2pBlock->Flags = saved;
}

TEST_F(TxqTest, CancellingAQueuesPacketsReturnsThemAllAtOnce)
{
    NETPACKETQUEUE q = OpenTx();
    ASSERT_EQ(host::NetTxQueuePost(q, Frames(10)), 10u);
    std::vector<PTX_DMAQ_DESC> taken = Take(q, 0, 6);
    PlatformCancelTxQueuePkts(q);
    EXPECT_EQ(host::NetTxQueueTakeReturned(q).size(), 10u);
    EXPECT_EQ(QZCxGetTxQueueContext(q)->InFlight, -10);
    EXPECT_EQ(host::NetQueueFragmentRing(q)->BeginIndex, 10u);
    // Their records complete later; the packets are not returned twice.
    for (PTX_DMAQ_DESC r : taken) {
        PlatformIndicateXmitPktToNdisEx(Adapter(), r, STATUS_SUCCESS);
    }
    host::NetQueueAdvance(q);
    EXPECT_TRUE(host::NetTxQueueTakeReturned(q).empty());
}

}  // namespace

namespace {

using namespace txq_test;

TEST_F(TxqTest, ADeferredAdvanceOfADestroyedQueueIsDropped)
{
    NETPACKETQUEUE q = OpenTx();
    PTXQ_NET_BUFFER b = QzGetTXQNetBuffer(Adapter());
    ASSERT_NE(b, nullptr);
    b->TxQueue = q;
    // Waiting on the thread's list, the thread not woken yet.
    PTXQ_NET_QUEUE list = &Adapter()->Cmd.TxqNetQueue;
    KIRQL irql;
    KeAcquireSpinLock(&list->Lock, &irql);
    b->Next = nullptr;
    if (list->Tail == nullptr) {
        list->Head = b;
    } else {
        list->Tail->Next = b;
    }
    list->Tail = b;
    ++list->Count;
    KeReleaseSpinLock(&list->Lock, irql);

    host::NetQueueDestroy(q);
    EXPECT_EQ(b->TxQueue, nullptr);
    PlatformSignalThread(&Adapter()->TxNetQueueThread);
    // The count is the list's own: read it under the list's lock.
    auto waiting = [list] {
        KIRQL irql;
        KeAcquireSpinLock(&list->Lock, &irql);
        const ULONG n = list->Count;
        KeReleaseSpinLock(&list->Lock, irql);
        return n;
    };
    qzl_test::Eventually([&] { return waiting() == 0; });
    EXPECT_EQ(waiting(), 0u);
}

}  // namespace

namespace {

using namespace txq_test;

TEST_F(TxqTest, AnAdapterThatCannotSendKeepsPacketsQueuedUntilItCan)
{
    NoReceiver();
    struct Case {
        const char* what;
        ULONG flag;
    };
    const Case cases[] = {
        {"halting", ADAPTER_FLAG_HALT_IN_PROGRESS},
        {"radio off", ADAPTER_FLAG_RADIO_OFF},
        {"not responding", ADAPTER_FLAG_NOT_RESPONDING},
    };
    uint32_t id = 0;
    for (const Case& c : cases) {
        NETPACKETQUEUE q = OpenTx(0, id++);
        ASSERT_EQ(host::NetTxQueuePost(q, Frames(2)), 2u);
        AdapterSetFlag(Adapter(), c.flag, "test");
        host::NetQueueAdvance(q);
        EXPECT_TRUE(host::NetTxQueueTakeReturned(q).empty()) << c.what;
        EXPECT_EQ(host::NetQueuePacketRing(q)->NextIndex, 0u) << c.what;
        AdapterClearFlag(Adapter(), c.flag, "test");
        host::NetQueueAdvance(q);
        EXPECT_EQ(host::NetTxQueueTakeReturned(q).size(), 2u) << c.what;
    }
}

}  // namespace
