// Packet records, their pools and the software queues, on the pools the rings of a prepared
// second-generation device were built with: exhaustion and return, the receive exhaustion mask,
// double creation, release with records out, keyed dequeues, the transmit-done age-out on a
// manual clock, the requeue after a firmware recovery, and the reorder queues' 12-bit order with
// A-MSDU duplicates.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../hif/hif_support.h"
#include "Common/mlme/mlmesync.h"
#include "platform/ndiscommon/memory.h"

namespace {

using hiftest::Device;

class Queues : public Device {
protected:
    void SetUp() override
    {
        Device::SetUp();
        Prepare(0x3502);
        port_.PortNumber = 0;
        adapter_->PortCount = 1;
    }
    void TearDown() override
    {
        for (PTX_DMAQ_DESC r : tx_) {
            TxDmaqFree(adapter_, r);
        }
        for (PRX_DMAQ_DESC r : rx_) {
            RxDmaqFree(adapter_, r);
        }
        Device::TearDown();
    }

    // A data record of pool 0 whose 802.11 header copy (receiver `peer`) lies in its buffer.
    PTX_DMAQ_DESC Tx(UCHAR peer = 1, PMP_PORT port = nullptr, UCHAR ac = 1)
    {
        PTX_DMAQ_DESC r = TxDmaqAlloc(adapter_, 0);
        EXPECT_NE(r, nullptr);
        std::memset(r->BufferVa + TX_DMAQ_HEADER_COPY_OFFSET, 0, 24);
        std::memset(r->BufferVa + TX_DMAQ_HEADER_COPY_OFFSET + 4, peer, 6);
        r->Frame = r->BufferVa + TX_DMAQ_HEADER_COPY_OFFSET;
        r->Port = port != nullptr ? port : &port_;
        r->AccessCategory = ac;
        return r;
    }
    // A received frame of receive pool 0 with sequence number `seq` and A-MSDU position `pos`
    // (second-generation descriptor: DW4 bits 0-1).
    PRX_DMAQ_DESC Rx(USHORT seq, UCHAR pos = 0)
    {
        PRX_DMAQ_DESC r = RxDmaqAlloc(adapter_, 0);
        EXPECT_NE(r, nullptr);
        std::memset(r->BufferVa, 0, 128);
        r->Descriptor = r->BufferVa;
        r->Descriptor[16] = pos;
        r->Frame = r->BufferVa + 64;
        r->FrameLength = 24;
        r->Frame[22] = static_cast<UCHAR>(seq << 4);
        r->Frame[23] = static_cast<UCHAR>(seq >> 4);
        return r;
    }

    std::vector<USHORT> ReorderContents(PREORDER_SESSION s)
    {
        std::vector<USHORT> out;
        for (PRX_DMAQ_DESC r = RxReorderqDequeue(adapter_, s, 0xFFFF, FALSE); r != nullptr;
             r = RxReorderqDequeue(adapter_, s, 0xFFFF, FALSE)) {
            out.push_back(RxDmaqGetSeqNum(r));
            rx_.push_back(r);
        }
        return out;
    }

    REORDER_SESSION* Session(UCHAR queue)
    {
        REORDER_SESSION* s = &port_.ReorderSessions[0];
        s->QueueIndex = queue;
        s->DuplicateFlag = 0;
        return s;
    }

    std::vector<PTX_DMAQ_DESC> tx_;  // records the test still holds
    std::vector<PRX_DMAQ_DESC> rx_;
};

TEST_F(Queues, DataPoolRunsDryAndRecoversWithItsIndexes)
{
    ASSERT_EQ(TxDmaqGetFreeCount(adapter_, 0), TX_DMAQ_POOL0_RECORDS);
    std::vector<bool> seen(TX_DMAQ_POOL0_RECORDS, false);
    for (ULONG n = 0; n < TX_DMAQ_POOL0_RECORDS; ++n) {
        PTX_DMAQ_DESC r = TxDmaqAlloc(adapter_, 0);
        ASSERT_NE(r, nullptr);
        ASSERT_LT(r->RecordIndex, TX_DMAQ_POOL0_RECORDS);
        EXPECT_FALSE(seen[r->RecordIndex]);
        seen[r->RecordIndex] = true;
        EXPECT_EQ(r->BufferSize, TX_DMAQ_POOL0_BUFFER);
        EXPECT_EQ(r->ApMark, TX_DMAQ_AP_MARK_FREE);
        tx_.push_back(r);
    }
    EXPECT_EQ(TxDmaqAlloc(adapter_, 0), nullptr);
    EXPECT_EQ(TxDmaqGetFreeCount(adapter_, 0), 0u);
    // Neighbouring records' buffers never overlap: every byte a QoS data record declares (64 + 28)
    // lies inside its own buffer.
    PTX_DMAQ_DESC a = tx_[0];
    PTX_DMAQ_DESC b = tx_[1];
    EXPECT_GE(static_cast<size_t>(b->BufferVa > a->BufferVa ? b->BufferVa - a->BufferVa : a->BufferVa - b->BufferVa),
              TX_DMAQ_HEADER_COPY_OFFSET + 28u);
    EXPECT_EQ(b->BufferLa - a->BufferLa, static_cast<ULONG64>(b->BufferVa - a->BufferVa));

    PTX_DMAQ_DESC back = tx_.back();
    const USHORT index = back->RecordIndex;
    back->ApMark = TX_DMAQ_AP_MARK_AP;
    back->AccessCategory = 3;
    back->UserPriority = 7;
    back->Origin = TX_DMAQ_ORIGIN_OS;
    TxDmaqFree(adapter_, back);
    tx_.pop_back();
    PTX_DMAQ_DESC again = TxDmaqAlloc(adapter_, 0);
    ASSERT_EQ(again, back);
    EXPECT_EQ(again->RecordIndex, index);
    EXPECT_EQ(again->ApMark, TX_DMAQ_AP_MARK_FREE);
    EXPECT_EQ(again->AccessCategory, 0);
    EXPECT_EQ(again->UserPriority, 0);
    EXPECT_EQ(again->Origin, 0);
    tx_.push_back(again);
}

TEST_F(Queues, EmptyReceivePoolSetsItsExhaustionBitUntilARecordReturns)
{
    const ULONG failuresBefore = adapter_->RxAllocFailCount;
    const ULONG free1 = RxDmaqGetFreeCount(adapter_, 1);
    for (ULONG n = 0; n < free1; ++n) {
        rx_.push_back(RxDmaqAlloc(adapter_, 1));
        ASSERT_NE(rx_.back(), nullptr);
    }
    EXPECT_EQ(adapter_->RxExhaustMask & 0x7u, 0u);
    EXPECT_EQ(RxDmaqAlloc(adapter_, 1), nullptr);
    EXPECT_EQ(adapter_->RxExhaustMask & 0x7u, 2u);
    EXPECT_EQ(adapter_->RxAllocFailCount, failuresBefore + 0x10000);
    // A pool-0 return leaves pool 1's bit; a pool-1 return clears it.
    RxDmaqFree(adapter_, RxDmaqAlloc(adapter_, 0));
    EXPECT_EQ(adapter_->RxExhaustMask & 0x7u, 2u);
    RxDmaqFree(adapter_, rx_.back());
    rx_.pop_back();
    EXPECT_EQ(adapter_->RxExhaustMask & 0x7u, 0u);
    EXPECT_EQ(RxDmaqAlloc(adapter_, 3), nullptr);
    EXPECT_EQ(TxDmaqAlloc(adapter_, 2), nullptr);
}

TEST_F(Queues, CreatingABuiltPoolIsRefusedAndReleasingWithRecordsOutKeepsIt)
{
    EXPECT_EQ(__TxDmaqInit(adapter_, 0, 8, 96), STATUS_DMAQ_POOL_BUILT);
    EXPECT_EQ(TxDmaqInit(adapter_, 0, 8, 96), STATUS_DMAQ_POOL_BUILT);
    EXPECT_EQ(TxDmaqGetFreeCount(adapter_, 0), TX_DMAQ_POOL0_RECORDS);
    EXPECT_EQ(__TxDmaqInit(adapter_, 2, 8, 96), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(__RxDmaqInit(adapter_, 3, 8, 96), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(__TxDmaqFree(adapter_, 2), STATUS_INVALID_PARAMETER);

    // Every command record out: the release leaves the pool as it is.
    const ULONG free1 = TxDmaqGetFreeCount(adapter_, 1);
    for (ULONG n = 0; n < free1; ++n) {
        tx_.push_back(TxDmaqAlloc(adapter_, 1));
    }
    EXPECT_EQ(__TxDmaqFree(adapter_, 1), STATUS_SUCCESS);
    for (PTX_DMAQ_DESC r : tx_) {
        TxDmaqFree(adapter_, r);
    }
    tx_.clear();
    EXPECT_EQ(TxDmaqGetFreeCount(adapter_, 1), free1);
    PTX_DMAQ_DESC r = TxDmaqAlloc(adapter_, 1);
    ASSERT_NE(r, nullptr);
    tx_.push_back(r);
}

TEST_F(Queues, PoolFallsBackToOneBufferPerRecord)
{
    // A released pool built again while no large buffer can be had.
    TxDmaqDeInit(adapter_);
    kshim::host::DmaSetCommonBufferLimit(4096);
    ASSERT_EQ(TxDmaqInit(adapter_, 0, 16, TX_DMAQ_POOL0_BUFFER), STATUS_SUCCESS);
    ASSERT_EQ(TxDmaqInit(adapter_, 1, 4, TX_DMAQ_POOL1_BUFFER), STATUS_SUCCESS);
    EXPECT_EQ(TxDmaqGetFreeCount(adapter_, 0), 16u);
    PTX_DMAQ_DESC a = Tx();
    PTX_DMAQ_DESC b = Tx();
    tx_ = {a, b};
    EXPECT_TRUE(kshim::host::DmaIsMapped(a->BufferLa, TX_DMAQ_POOL0_BUFFER));
    EXPECT_TRUE(kshim::host::DmaIsMapped(b->BufferLa, TX_DMAQ_POOL0_BUFFER));
    EXPECT_EQ(kshim::host::DmaTranslate(a->BufferLa, TX_DMAQ_POOL0_BUFFER), a->BufferVa);
    kshim::host::DmaSetCommonBufferLimit(0);
}

TEST_F(Queues, OutOfMemoryWhileBuildingReleasesThePoolAndTheIndexesComeBack)
{
    TxDmaqDeInit(adapter_);
    kshim::host::FaultArm("pool", "ZV50", 3, STATUS_INSUFFICIENT_RESOURCES, 1000);
    EXPECT_EQ(TxDmaqInit(adapter_, 0, 16, TX_DMAQ_POOL0_BUFFER), STATUS_INSUFFICIENT_RESOURCES);
    kshim::host::FaultClearAll();
    EXPECT_EQ(TxDmaqGetFreeCount(adapter_, 0), 0u);
    EXPECT_EQ(TxDmaqAlloc(adapter_, 0), nullptr);
    // The WDI tasks' and properties' parameter buffers share the tag: count the ones the adapter holds.
    size_t parameterBuffers = 0;
    for (PVOID b : adapter_->Wdi.TaskRowBuffers) {
        parameterBuffers += b != nullptr ? 1 : 0;
    }
    for (PVOID b : adapter_->Wdi.PropertyRowBuffers) {
        parameterBuffers += b != nullptr ? 1 : 0;
    }
    EXPECT_GE(parameterBuffers, 3u) << "the scan and abort-scan tasks and the network-list offload property at least";
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV50"), 16380u + 16380u + 3072u + parameterBuffers)
        << "only the receive records and the WDI parameter buffers are left";
    // Built again, the pool hands out the same tokens.
    ASSERT_EQ(TxDmaqInit(adapter_, 0, 16, TX_DMAQ_POOL0_BUFFER), STATUS_SUCCESS);
    ASSERT_EQ(TxDmaqInit(adapter_, 1, 4, TX_DMAQ_POOL1_BUFFER), STATUS_SUCCESS);
    std::vector<USHORT> tokens;
    for (PTX_DMAQ_DESC r = TxDmaqAlloc(adapter_, 0); r != nullptr; r = TxDmaqAlloc(adapter_, 0)) {
        tokens.push_back(r->RecordIndex);
        tx_.push_back(r);
    }
    std::vector<USHORT> expected;
    for (USHORT i = 0; i < 16; ++i) {
        expected.push_back(i);
    }
    EXPECT_EQ(tokens, expected);
}

TEST_F(Queues, KeyedDequeuesFindTheirRecordAnywhere)
{
    MP_PORT other{};
    other.PortNumber = 3;
    PTX_DMAQ_DESC r1 = Tx(0x11);
    PTX_DMAQ_DESC r2 = Tx(0x22, &other);
    PTX_DMAQ_DESC r3 = Tx(0x33);
    tx_ = {r1, r2, r3};
    for (PTX_DMAQ_DESC r : tx_) {
        TxProcqEnqueue(adapter_, r, 2, FALSE);
    }
    const UCHAR peer3[6] = {0x33, 0x33, 0x33, 0x33, 0x33, 0x33};
    const UCHAR nobody[6] = {0x44, 0x44, 0x44, 0x44, 0x44, 0x44};
    EXPECT_EQ(TxProcqGetCount(adapter_, 2), 3u);
    EXPECT_EQ(TxProcqDequeueByPeerAddr(adapter_, 2, nobody), nullptr);
    EXPECT_EQ(TxProcqDequeueByPeerAddr(adapter_, 2, peer3), r3);
    EXPECT_EQ(TxProcqDequeueByPort(adapter_, 2, 3), r2);
    EXPECT_EQ(TxProcqDequeueByPort(adapter_, 2, 3), nullptr);
    // Enqueue at the head makes the record the next one out.
    TxProcqEnqueue(adapter_, r3, 2, TRUE);
    EXPECT_EQ(TxProcqDequeue(adapter_, 2), r3);
    EXPECT_EQ(TxProcqDequeue(adapter_, 2), r1);
    EXPECT_EQ(TxProcqDequeue(adapter_, 2), nullptr);

    // Transmit done by token, from the middle.
    for (PTX_DMAQ_DESC r : tx_) {
        TxDoneWaitqEnqueue(adapter_, r);
    }
    EXPECT_EQ(TxDoneWaitqDequeue(adapter_, r2->RecordIndex), r2);
    EXPECT_EQ(TxDoneWaitqDequeue(adapter_, r2->RecordIndex), nullptr);
    EXPECT_EQ(TxDoneWaitqDequeueTail(adapter_), r3);
    EXPECT_EQ(TxDoneWaitqDequeue(adapter_, TX_DONE_WAITQ_HEAD), r1);
    EXPECT_EQ(TxDoneWaitqGetCount(adapter_), 0u);

    // Power-save queues: indexes beyond the tables give nothing and take nothing.
    EXPECT_EQ(TxBmcPsqDequeue(adapter_, 5), nullptr);
    EXPECT_EQ(TxUcPsqDequeue(adapter_, 20), nullptr);
    TxBmcPsqEnqueue(adapter_, r1, 5);
    TxUcPsqEnqueue(adapter_, r1, 20);
    TxBmcPsqEnqueue(adapter_, r2, 4);
    TxUcPsqEnqueue(adapter_, r3, 19);
    EXPECT_EQ(TxBmcPsqGetCount(adapter_, 4), 1u);
    EXPECT_EQ(TxBmcPsqGetCount(adapter_, 5), 0u);
    EXPECT_EQ(TxUcPsqDequeueByPort(adapter_, 19, 3), nullptr);
    EXPECT_EQ(TxUcPsqDequeueByPeerAddr(adapter_, 19, peer3), r3);
    EXPECT_EQ(TxBmcPsqDequeue(adapter_, 4), r2);
}

TEST_F(Queues, TeardownDrainsEveryQueueIntoThePools)
{
    // Records left on the queues go home at release without anything completed (the fixture's
    // unload checks that no record leaked).
    PTX_DMAQ_DESC a = TxDmaqAlloc(adapter_, 0);
    PTX_DMAQ_DESC b = TxDmaqAlloc(adapter_, 0);
    PTX_DMAQ_DESC c = TxDmaqAlloc(adapter_, 0);
    PTX_DMAQ_DESC d = TxDmaqAlloc(adapter_, 0);
    TxProcqEnqueue(adapter_, a, 4, FALSE);
    TxDoneWaitqEnqueue(adapter_, b);
    TxBmcPsqEnqueue(adapter_, c, 2);
    TxUcPsqEnqueue(adapter_, d, 7);
    PRX_DMAQ_DESC e = Rx(5);
    RxProcqEnqueue(adapter_, e, 0);
    PRX_DMAQ_DESC f = Rx(6);
    EXPECT_TRUE(RxReorderqEnqueue(adapter_, f, Session(9)));
    Stop();
    EXPECT_TRUE(hiftest::CountTraces("TxProcq 4 holds 1 records at release") == 1);
    EXPECT_TRUE(hiftest::CountTraces("RxReorderq 9 holds 1 records at release") == 1);
}

struct SeqCase {
    USHORT a, b;
    bool before;
};

TEST(SeqNum, TwelveBitOrderAcrossTheWrap)
{
    const SeqCase cases[] = {{4000, 10, true}, {10, 4000, false}, {100, 2148, false}, {100, 2147, true},
                             {0, 0, false},    {4095, 0, true},   {0, 4095, false},   {2047, 4094, true},
                             {5, 6, true},     {6, 5, false}};
    for (const SeqCase& c : cases) {
        EXPECT_EQ(IsSeqNumBefore(c.a, c.b) != 0, c.before) << c.a << " before " << c.b;
    }
    // Against the modulo-4096 half-window rule: a precedes b when (b - a) mod 4096 is 1..2047.
    for (USHORT a = 0; a < 4096; a += 37) {
        for (USHORT b = 0; b < 4096; b += 29) {
            const unsigned d = (b + 4096u - a) % 4096u;
            EXPECT_EQ(IsSeqNumBefore(a, b) != 0, d >= 1 && d <= 2047) << a << " " << b;
        }
    }
}

TEST_F(Queues, ReorderQueueKeepsSequenceOrderAcrossTheWrap)
{
    REORDER_SESSION* s = Session(5);
    for (USHORT seq : {USHORT{4094}, USHORT{2}, USHORT{4095}, USHORT{0}}) {
        ASSERT_TRUE(RxReorderqEnqueue(adapter_, Rx(seq), s));
    }
    EXPECT_EQ(RxReorderqGetCount(adapter_, s), 4u);
    EXPECT_EQ(ReorderContents(s), (std::vector<USHORT>{4094, 4095, 0, 2}));
}

TEST_F(Queues, RepeatedAmsduIsRefusedUntilTheNextNumber)
{
    REORDER_SESSION* s = Session(7);
    struct Step {
        USHORT seq;
        UCHAR pos;
        bool accepted;
        UCHAR flagAfter;
    };
    const Step steps[] = {
        {100, 3, true, 0},   // first sub-frame
        {100, 2, true, 0},   // middle
        {100, 1, true, 0},   // last
        {100, 3, false, 1},  // the A-MSDU again: refused, flag set
        {100, 2, false, 1},
        {100, 1, false, 1},
        {101, 0, true, 0},   // the next number clears the flag
        {101, 0, false, 0},  // a plain duplicate
    };
    std::vector<PRX_DMAQ_DESC> refused;
    for (const Step& step : steps) {
        PRX_DMAQ_DESC r = Rx(step.seq, step.pos);
        const bool accepted = RxReorderqEnqueue(adapter_, r, s) != 0;
        EXPECT_EQ(accepted, step.accepted) << step.seq << "/" << int(step.pos);
        EXPECT_EQ(s->DuplicateFlag, step.flagAfter) << step.seq << "/" << int(step.pos);
        if (!accepted) {
            rx_.push_back(r);
        }
    }
    EXPECT_EQ(RxReorderqGetCount(adapter_, s), 4u);
    // Out of range agreements.
    REORDER_SESSION bad{};
    bad.QueueIndex = 64;
    PRX_DMAQ_DESC r = Rx(1);
    rx_.push_back(r);
    EXPECT_FALSE(RxReorderqEnqueue(adapter_, r, &bad));
    EXPECT_EQ(RxReorderqDequeue(adapter_, &bad, 0xFFFF, FALSE), nullptr);
    EXPECT_EQ(RxReorderqGetCount(adapter_, &bad), 0u);
}

TEST_F(Queues, ReorderDequeueExactAndNotExact)
{
    REORDER_SESSION* s = Session(3);
    PRX_DMAQ_DESC r60 = Rx(60);
    PRX_DMAQ_DESC r62 = Rx(62);
    ASSERT_TRUE(RxReorderqEnqueue(adapter_, r60, s));
    ASSERT_TRUE(RxReorderqEnqueue(adapter_, r62, s));
    EXPECT_EQ(RxReorderqDequeue(adapter_, s, 50, FALSE), nullptr);  // 50 precedes the head 60
    EXPECT_EQ(RxReorderqDequeue(adapter_, s, 61, TRUE), nullptr);   // the walk ends at 62
    EXPECT_EQ(RxReorderqDequeue(adapter_, s, 62, TRUE), r62);
    EXPECT_EQ(RxReorderqDequeue(adapter_, s, 70, FALSE), r60);      // the head precedes 70
    PRX_DMAQ_DESC r40 = Rx(40);
    ASSERT_TRUE(RxReorderqEnqueue(adapter_, r40, s));
    EXPECT_EQ(RxReorderqDequeue(adapter_, s, 50, FALSE), r40);
    rx_ = {r60, r62, r40};
}

class AgeOut : public Queues, public ::testing::WithParamInterface<ULONG> {};
INSTANTIATE_TEST_SUITE_P(Limits, AgeOut, ::testing::Values<ULONG>(300, 600));

TEST_P(AgeOut, OnlyFramesOlderThanTheLimitAgeOut)
{
    const ULONG limit = GetParam();
    adapter_->RegistryBlock.AgeoutMsduReport = limit;
    kshim::host::ClockSetManual();
    PTX_DMAQ_DESC old = Tx();
    PTX_DMAQ_DESC young = Tx();
    tx_ = {old, young};
    TxDoneWaitqEnqueue(adapter_, old);
    kshim::host::ClockAdvanceMs((limit - 100) * 1000ull);
    TxDoneWaitqEnqueue(adapter_, young);
    EXPECT_EQ(TxDoneWaitqDequeue(adapter_, TX_DONE_WAITQ_AGEOUT), nullptr);
    EXPECT_EQ(adapter_->TxDoneAgeSweepTime, static_cast<ULONG64>(kshim::host::ClockNow()));
    kshim::host::ClockAdvanceMs(100 * 1000ull);
    EXPECT_EQ(TxDoneWaitqDequeue(adapter_, TX_DONE_WAITQ_AGEOUT), old);
    EXPECT_EQ(old->EnqueueTime, 0u);
    EXPECT_EQ(TxDoneWaitqDequeue(adapter_, TX_DONE_WAITQ_AGEOUT), nullptr);
    // A frame that waited far longer than 429 s still counts as old.
    kshim::host::ClockAdvanceMs(500 * 1000ull);
    EXPECT_EQ(TxDoneWaitqDequeue(adapter_, TX_DONE_WAITQ_AGEOUT), young);
}

TEST_F(Queues, RequeueAfterRecoveryKeepsEachCategoryInOrder)
{
    NET_BUFFER_LIST_CONTEXT context{};
    NET_BUFFER_LIST nbl[6] = {};
    for (NET_BUFFER_LIST& n : nbl) {
        n.Context = &context;
    }
    auto make = [&](int i, UCHAR ac) {
        PTX_DMAQ_DESC r = Tx(1, &port_, ac);
        r->Origin = TX_DMAQ_ORIGIN_OS;
        r->OsBufferList = &nbl[i];
        return r;
    };
    // On the rings: 0 and 1 (category 1), 4 (category 2). Still waiting: 2 and 3 (category 1).
    PTX_DMAQ_DESC r0 = make(0, 1), r1 = make(1, 1), r4 = make(4, 2), r2 = make(2, 1), r3 = make(3, 1);
    PTX_DMAQ_DESC internal = Tx(1, &port_, 0);  // no buffer list: back to the pool
    TxDoneWaitqEnqueue(adapter_, r0);
    TxDoneWaitqEnqueue(adapter_, r4);
    TxDoneWaitqEnqueue(adapter_, r1);
    TxProcqEnqueue(adapter_, r2, 1, FALSE);
    TxProcqEnqueue(adapter_, r3, 1, FALSE);
    TxProcqEnqueue(adapter_, internal, 0, FALSE);
    nbl[0].Next = &nbl[5];  // a stale link is cut
    const ULONG freeBefore = TxDmaqGetFreeCount(adapter_, 0);

    TxDoneWaitQTailToTxProcessQHead(adapter_);

    EXPECT_EQ(TxDoneWaitqGetCount(adapter_), 0u);
    for (UCHAR ac = 0; ac < TX_PROCQ_COUNT; ++ac) {
        EXPECT_EQ(TxProcqGetCount(adapter_, ac), 0u);
    }
    EXPECT_EQ(TxDmaqGetFreeCount(adapter_, 0), freeBefore + 6);
    std::vector<PNET_BUFFER_LIST> chain;
    for (PNET_BUFFER_LIST n = port_.PendingNblHead; n != nullptr && chain.size() < 10; n = n->Next) {
        chain.push_back(n);
    }
    EXPECT_EQ(chain, (std::vector<PNET_BUFFER_LIST>{&nbl[0], &nbl[1], &nbl[2], &nbl[3], &nbl[4]}));
    EXPECT_EQ(port_.PendingNblTail, &nbl[4]);
}

TEST_F(Queues, RequeueStopsHandingBackAfterAListWithoutContext)
{
    NET_BUFFER_LIST_CONTEXT context{};
    NET_BUFFER_LIST nbl[3] = {};
    nbl[0].Context = &context;
    nbl[2].Context = &context;  // nbl[1] has none: it and everything after go back to the pool
    for (int i = 0; i < 3; ++i) {
        PTX_DMAQ_DESC r = Tx(1, &port_, 1);
        r->Origin = TX_DMAQ_ORIGIN_OS;
        r->OsBufferList = &nbl[i];
        TxProcqEnqueue(adapter_, r, 1, FALSE);
    }
    const ULONG freeBefore = TxDmaqGetFreeCount(adapter_, 0);
    TxDoneWaitQTailToTxProcessQHead(adapter_);
    EXPECT_EQ(TxDmaqGetFreeCount(adapter_, 0), freeBefore + 3);
    EXPECT_EQ(port_.PendingNblHead, &nbl[0]);
    EXPECT_EQ(nbl[0].Next, nullptr);
    EXPECT_EQ(hiftest::CountTraces("buffer list without context word"), 1u);
}

TEST_F(Queues, PortWaitQueueFlushMovesEntriesToTheFreeQueue)
{
    PORT_NBL_QUEUE_ENTRY* entries[3] = {};
    for (PORT_NBL_QUEUE_ENTRY*& e : entries) {
        ASSERT_EQ(PlatformAllocateMemory(adapter_, reinterpret_cast<PVOID*>(&e), sizeof(*e), TAG_ZV50), STATUS_SUCCESS);
        e->NblChain = nullptr;
    }
    PortNblWaitqEnqueue(&port_, entries[0], FALSE);
    PortNblWaitqEnqueue(&port_, entries[1], FALSE);
    PortNblWaitqEnqueue(&port_, entries[2], TRUE);
    EXPECT_EQ(PortNblWaitqGetCount(&port_), 3u);
    EXPECT_EQ(PortNblWaitqDequeue(&port_), entries[2]);
    PortNblWaitqEnqueue(&port_, entries[2], TRUE);
    EXPECT_EQ(PortNblWaitqFlush(adapter_, &port_), STATUS_SUCCESS);
    EXPECT_EQ(PortNblWaitqGetCount(&port_), 0u);
    EXPECT_EQ(PortNblFreeqGetCount(&port_), 3u);
    EXPECT_EQ(PortNblFreeqDeInit(&port_), STATUS_SUCCESS);
    EXPECT_EQ(PortNblFreeqGetCount(&port_), 0u);
}

}  // namespace
