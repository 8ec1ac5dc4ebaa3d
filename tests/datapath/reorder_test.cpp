// The receive reordering's own rules at their edges (the window across 4095, duplicates, the
// resynchronise flag, the far-ahead limit, Block Ack Requests, a stale age-out) and the block-ack
// table's limits, on both generations' receive descriptors.
#include "Common/mlme/mlmeaction.h"
#include "Common/mlme/mlmesync_ba.h"
#include "Common/mlmeconnect_recv.h"
#include "datapath/traffic_support.h"

namespace {

using namespace traffic;

class Reorder : public TrafficTest {
protected:
    void SetUp() override
    {
        TrafficTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(OpenQueues());
    }
    PREORDER_SESSION Open(uint8_t tid, uint16_t startSequence, uint16_t window)
    {
        firmware_->Data().ReportRxAddba(entry_->StaRecIdx, tid, startSequence, window, 0);
        Pump();
        const UCHAR slot = entry_->BaRecipientSlot[tid];
        EXPECT_NE(slot, 0);
        return &port_->ReorderSessions[slot];
    }
    std::vector<uint32_t> In(uint16_t sn, uint32_t tag, uint8_t tid = 0, uint8_t position = 0)
    {
        return Deliver({{DownFrame(port_->MacAddress, sn, tid, tag), Fields(tid, position)}});
    }
    std::vector<uint8_t> BarFrame(uint8_t tid, uint16_t ssn, size_t length = 20)
    {
        std::vector<uint8_t> f(length, 0);
        f[0] = 0x84;
        std::memcpy(&f[4], port_->MacAddress, 6);
        std::memcpy(&f[10], kAp, 6);
        f[16] = 0x04;
        f[17] = static_cast<uint8_t>(tid << 4);
        f[18] = static_cast<uint8_t>((ssn & 0x0F) << 4);
        f[19] = static_cast<uint8_t>(ssn >> 4);
        return f;
    }
    using V = std::vector<uint32_t>;
};

// L = 4090, window 64: 4092 and 10 are held; 4091 releases 4092; 10 waits until 4093-9 arrive.
TEST_P(Reorder, TheWindowCrossesTheWrap)
{
    PREORDER_SESSION s = Open(0, 4091, 64);  // the agreement starts at 4091: L = 4090
    EXPECT_EQ(s->LastIndicatedSeq, 4090);
    EXPECT_EQ(In(4092, 1), V{});
    EXPECT_EQ(In(10, 2), V{});
    EXPECT_EQ(In(4091, 3), (V{3, 1}));
    std::vector<uint32_t> got;
    for (uint16_t sn = 4093; sn != 10; sn = static_cast<uint16_t>((sn + 1) & 0xFFF)) {
        std::vector<uint32_t> part = In(sn, 100 + sn);
        got.insert(got.end(), part.begin(), part.end());
    }
    EXPECT_EQ(got.back(), 2u) << "10 comes right after 9";
    EXPECT_EQ(got.size(), 14u);
    EXPECT_EQ(s->LastIndicatedSeq, 10);
}

// A repetition of L is a duplicate and counted; a repetition of a held frame is refused.
TEST_P(Reorder, DuplicatesAreCountedAndDropped)
{
    Open(0, 100, 16);
    EXPECT_EQ(In(100, 1), V{1});
    const ULONG before = Adapter()->Ba.DuplicateCount;
    EXPECT_EQ(In(100, 2), V{});
    EXPECT_EQ(Adapter()->Ba.DuplicateCount, before + 1);
    EXPECT_EQ(In(103, 3), V{});
    EXPECT_EQ(In(103, 4), V{});  // already held
    EXPECT_EQ(In(101, 5), V{5});
    EXPECT_EQ(In(102, 6), (V{6, 3}));
}

// With the resynchronise flag the first frame is in order whatever its number.
TEST_P(Reorder, TheResynchroniseFlagTakesTheNextFrameAsInOrder)
{
    PREORDER_SESSION s = Open(0, 100, 16);
    s->Resync = 1;
    EXPECT_EQ(In(3000, 1), V{1});
    EXPECT_EQ(In(3001, 2), V{2});
    EXPECT_EQ(s->Resync, 0);
}

// Window 64 on the second and third generation without dual-band concurrency: a frame 1025 ahead of
// L is dropped; one 1024 ahead flushes what is held and restarts the window there.
TEST_P(Reorder, FarAheadFramesAreDroppedOrRestartTheWindow)
{
    PREORDER_SESSION s = Open(0, 1, 64);  // L = 0
    EXPECT_EQ(In(5, 1), V{});              // held
    EXPECT_EQ(In(1025, 2), V{});           // 1025 ahead: dropped
    EXPECT_EQ(In(1024, 3), (V{1, 3}));     // 1024 ahead: the held frame, then this one
    EXPECT_EQ(s->LastIndicatedSeq, 1024);
}

// A Block Ack Request releases what it passes and moves the window; one of 21 bytes is not taken,
// one behind the window changes nothing.
TEST_P(Reorder, BlockAckRequestsMoveTheWindow)
{
    PREORDER_SESSION s = Open(2, 200, 32);
    EXPECT_EQ(In(203, 1, 2), V{});
    EXPECT_EQ(In(205, 2, 2), V{});
    EXPECT_FALSE(CntlEnqueueForRecv(Adapter(), port_, ownIndex_, 21, BarFrame(2, 204, 21).data()));
    EXPECT_EQ(Deliver({{BarFrame(2, 204), Fields(2)}}), (V{1}));
    EXPECT_EQ(s->LastIndicatedSeq, 203);
    EXPECT_EQ(In(204, 3, 2), (V{3, 2}));
    EXPECT_EQ(Deliver({{BarFrame(2, 100), Fields(2)}}), V{});
    EXPECT_EQ(s->LastIndicatedSeq, 205);
}

// The age-out timer follows the window: a frame that moves L arms it again for the new L, and when it
// runs out what is still held goes to the OS.
TEST_P(Reorder, TheAgeoutFollowsTheWindow)
{
    Adapter()->RegistryBlock.Ageout = 5;
    PREORDER_SESSION s = Open(0, 50, 32);
    EXPECT_EQ(In(52, 1), V{});  // armed at L = 49
    EXPECT_EQ(In(54, 2), V{});
    EXPECT_EQ(In(50, 3), V{3});  // L = 50: the timer is armed again for L = 50
    EXPECT_EQ(s->ArmedSeq, 50);
    host::ClockAdvanceMs(6);
    EXPECT_EQ(Received(), (V{1, 2}));
    EXPECT_EQ(s->ArmedSeq, REORDER_SEQ_NONE);
}

// Thirty-one recipient agreements fill a port; the thirty-second is refused; a second ADDBA for a
// TID leaves its agreement as it is; tearing down a TID without an agreement posts no DELBA.
TEST_P(Reorder, TheBlockAckTableHasItsLimits)
{
    PMP_ADAPTER a = Adapter();
    for (UCHAR tid = 0; tid < 8; ++tid) {
        BATableInsertEntry(a, port_, ownIndex_, 0, 10, tid, 64, 0, 1);
    }
    const UCHAR slot = entry_->BaRecipientSlot[3];
    BATableInsertEntry(a, port_, ownIndex_, 0, 500, 3, 16, 0, 1);
    EXPECT_EQ(entry_->BaRecipientSlot[3], slot);
    EXPECT_EQ(port_->ReorderSessions[slot].WindowSize, 64);
    // Fill the rest of the port's slots with the TIDs 8-15 of other entries.
    std::vector<PMAC_TABLE_ENTRY> peers;
    for (int i = 0; i < 3; ++i) {
        uint8_t address[6] = {0x02, 0xC0, 0, 0, 0, static_cast<uint8_t>(i)};
        PMAC_TABLE_ENTRY e = MacTableInsertEntry(a, port_, address, 1);
        ASSERT_NE(e, nullptr);
        peers.push_back(e);
        for (UCHAR tid = 0; tid < 8; ++tid) {
            BATableInsertEntry(a, port_, e->WlanIdx, 0, 10, tid, 64, 0, 1);
        }
    }
    EXPECT_EQ(port_->Ba.RecipientCount, 31);
    EXPECT_EQ(peers[2]->BaRecipientSlot[7], 0) << "the thirty-second agreement was refused";
    // No agreement on the originator side: no DELBA is asked for (the MLME queue's tail stays).
    const ULONG tail = a->Mlme.Queue.Tail;
    BATableTearORIEntry(a, port_, 5, ownIndex_, 1, 0);
    EXPECT_EQ(a->Mlme.Queue.Tail, tail);
    // A recipient tear-down asks for one DELBA and frees the slot and its queue.
    const UCHAR queue = port_->ReorderSessions[entry_->BaRecipientSlot[1]].QueueIndex;
    BATableTearRECEntry(a, port_, 1, ownIndex_, 0);
    EXPECT_EQ(a->Mlme.Queue.Tail, (tail + 1) % MAX_LEN_OF_MLME_QUEUE);
    EXPECT_EQ(entry_->BaRecipientSlot[1], 0);
    EXPECT_EQ(a->ReorderQueueInUse[queue], 0);
}

INSTANTIATE_TEST_SUITE_P(Generations, Reorder, ::testing::Values(USHORT{0x3502}, USHORT{0x3602}),
                         [](const ::testing::TestParamInfo<USHORT>& info) {
                             return info.param == 0x3502 ? std::string("chip3502") : std::string("chip3602");
                         });

}  // namespace
