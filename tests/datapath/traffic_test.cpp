// Data frames both ways through the driver on a simulated 0x3502 and 0x3602 after a link-up: the
// frames that reach the air and the OS, block-ack reordering against a model of the standard's
// receive reordering, block-ack agreements both ways, and transmission under a full ring, a held
// firmware and a surprise removal.
#include <algorithm>
#include <map>
#include <random>

#include "datapath/traffic_support.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndiscommon/ndiscommonhif.h"

namespace {

using namespace traffic;
using Stream = std::vector<std::pair<std::vector<uint8_t>, sim::chip::RxdFields>>;

// IEEE 802.11 receive reordering of one agreement (the recipient's buffer, WinStartB and WinSizeB),
// written from the standard: a frame inside the window is buffered and the buffer is released from
// WinStartB while it is contiguous; a frame ahead of the window moves it (releasing what falls
// behind, in order); a frame behind it is a duplicate; a Block Ack Request moves WinStartB to its
// starting sequence number; an age-out releases everything held.
class ReorderModel {
public:
    ReorderModel(uint16_t start, uint16_t size) : winStart_(start), winSize_(size) {}

    void Frame(uint16_t sn, uint32_t tag)
    {
        const uint16_t ahead = Dist(winStart_, sn);
        if (ahead >= 2048) {
            return;  // behind the window: an old frame
        }
        if (ahead >= winSize_) {
            const uint16_t newStart = static_cast<uint16_t>((sn - winSize_ + 1) & 0xFFF);
            ReleaseBefore(newStart);
            winStart_ = newStart;
        }
        if (held_.count(sn) == 0) {
            held_[sn] = tag;
        }
        ReleaseContiguous();
    }
    void Bar(uint16_t ssn)
    {
        if (Dist(winStart_, ssn) < 2048) {
            ReleaseBefore(ssn);
            winStart_ = ssn;
            ReleaseContiguous();
        }
    }
    void Ageout()
    {
        while (!held_.empty()) {
            auto first = Oldest();
            out_.push_back(first->second);
            winStart_ = static_cast<uint16_t>((first->first + 1) & 0xFFF);
            held_.erase(first);
        }
    }
    std::vector<uint32_t> Take()
    {
        std::vector<uint32_t> v;
        v.swap(out_);
        return v;
    }

private:
    static uint16_t Dist(uint16_t from, uint16_t to) { return static_cast<uint16_t>((to - from) & 0xFFF); }
    std::map<uint16_t, uint32_t>::iterator Oldest()
    {
        return std::min_element(held_.begin(), held_.end(), [&](const auto& a, const auto& b) {
            return Dist(winStart_, a.first) < Dist(winStart_, b.first);
        });
    }
    void ReleaseBefore(uint16_t limit)
    {
        while (!held_.empty()) {
            auto first = Oldest();
            if (Dist(winStart_, first->first) >= Dist(winStart_, limit)) {
                break;
            }
            out_.push_back(first->second);
            held_.erase(first);
        }
    }
    void ReleaseContiguous()
    {
        for (auto it = held_.find(winStart_); it != held_.end(); it = held_.find(winStart_)) {
            out_.push_back(it->second);
            held_.erase(it);
            winStart_ = static_cast<uint16_t>((winStart_ + 1) & 0xFFF);
        }
    }

    uint16_t winStart_;
    uint16_t winSize_;
    std::map<uint16_t, uint32_t> held_;
    std::vector<uint32_t> out_;
};

std::vector<uint8_t> Bar(const uint8_t own[6], uint8_t tid, uint16_t ssn)
{
    std::vector<uint8_t> f(20, 0);
    f[0] = 0x84;
    std::memcpy(&f[4], own, 6);
    std::memcpy(&f[10], kAp, 6);
    f[16] = 0x04;  // compressed bitmap
    f[17] = static_cast<uint8_t>(tid << 4);
    f[18] = static_cast<uint8_t>((ssn & 0x0F) << 4);
    f[19] = static_cast<uint8_t>(ssn >> 4);
    return f;
}

class Traffic : public TrafficTest {
protected:
    // Opens a receive agreement of the access point for the TID (the firmware's ADDBA event).
    void OpenAgreement(uint8_t tid, uint16_t startSequence, uint16_t window)
    {
        firmware_->Data().ReportRxAddba(entry_->StaRecIdx, tid, startSequence, window, 0);
        Pump();
        ASSERT_NE(entry_->BaRecipientSlot[tid], 0) << "no agreement opened";
    }
};

// 10,000 frames of 64, 1500 and the largest size (in two fragments) reach the air whole and in order,
// each with its QoS control field and the device's own sequence number; every packet goes back to the
// OS as sent.
TEST_P(Traffic, TenThousandFramesGoOutWholeAndInOrder)
{
    ASSERT_NO_FATAL_FAILURE(OpenQueues(5, {8192, 8192}));
    struct Size {
        size_t body;
        uint32_t fragments;
    };
    uint32_t n = 0;
    for (const Size& s : {Size{64 - 24, 1}, Size{1500 - 24, 1}, Size{2346 - 24, 2}}) {
        std::vector<host::TxFrame> frames;
        const uint32_t count = s.body == 1500 - 24 ? 10000 : 500;
        for (uint32_t i = 0; i < count; ++i) {
            frames.push_back(Frame(n + i, s.body, s.fragments));
        }
        std::vector<host::TxReturned> back = Send(frames);
        ASSERT_EQ(back.size(), frames.size());
        for (const host::TxReturned& r : back) {
            EXPECT_EQ(r.flags & NET_PACKET_FLAG_SCRATCH, 0) << "a packet came back unsent";
        }
        std::vector<sim::fw::SentDataFrame> air = TakeAir();
        ASSERT_EQ(air.size(), frames.size());
        for (uint32_t i = 0; i < count; ++i) {
            const std::vector<uint8_t>& a = air[i].bytes;
            const std::vector<uint8_t>& os = frames[i].bytes;
            ASSERT_EQ(a.size(), os.size() + 2) << "frame " << n + i;  // plus the QoS control field
            EXPECT_EQ(a[0], 0x88);                                      // QoS data
            EXPECT_EQ(a[1] & 0x03, 0x01);                               // to the distribution system
            EXPECT_EQ(a[24] & 0x0F, 5);                                 // TID = user priority 5
            EXPECT_TRUE(std::equal(os.begin() + 24, os.end(), a.begin() + 26)) << "frame " << n + i;
            const uint16_t seq = static_cast<uint16_t>((a[22] | (a[23] << 8)) >> 4);
            EXPECT_EQ(seq, (n + i) & 0xFFF) << "frame " << n + i;
        }
        n += count;
    }
    EXPECT_EQ(firmware_->Data().FramesSent(), n);
}

// Without an agreement 10,000 frames from the access point reach the OS in order, as the 24-byte
// header form the OS takes (QoS control removed).
TEST_P(Traffic, TenThousandFramesArriveInOrder)
{
    ASSERT_NO_FATAL_FAILURE(OpenQueues());
    std::vector<uint32_t> got;
    for (uint32_t i = 0; i < 10000; i += 500) {
        Stream s;
        for (uint32_t k = i; k < i + 500; ++k) {
            s.push_back({DownFrame(port_->MacAddress, static_cast<uint16_t>(k & 0xFFF), 0, k, 1500 - 34), Fields(0)});
        }
        std::vector<uint32_t> part = Deliver(s);
        got.insert(got.end(), part.begin(), part.end());
    }
    ASSERT_EQ(got.size(), 10000u);
    for (uint32_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i], i);
    }
}

// A stream with gaps, duplicates, reordering inside the window and the wrap of the sequence number
// reaches the OS exactly as the standard's reordering says, with Block Ack Requests and age-outs.
TEST_P(Traffic, ReorderingFollowsTheStandardAcrossTheWrap)
{
    ASSERT_NO_FATAL_FAILURE(OpenQueues());
    const uint8_t tid = 3;
    const uint16_t start = 4000;
    const uint16_t window = 64;
    Adapter()->RegistryBlock.Ageout = 2;  // ms: every age-out below stays short of the periodic timers
    ASSERT_NO_FATAL_FAILURE(OpenAgreement(tid, start, window));
    ReorderModel model(start, window);
    std::mt19937 rng(GetParam());
    uint32_t tag = 0;
    uint16_t next = start;
    std::vector<uint32_t> got;
    std::vector<uint32_t> expected;
    auto send = [&](uint16_t sn) {
        ++tag;
        model.Frame(sn, tag);
        std::vector<uint32_t> part = Deliver({{DownFrame(port_->MacAddress, sn, tid, tag), Fields(tid)}});
        got.insert(got.end(), part.begin(), part.end());
        std::vector<uint32_t> want = model.Take();
        expected.insert(expected.end(), want.begin(), want.end());
    };
    for (int burst = 0; burst < 60; ++burst) {
        // A burst of 16 numbers, shuffled inside the window, some repeated, some lost.
        std::vector<uint16_t> sns;
        for (int i = 0; i < 16; ++i) {
            sns.push_back(static_cast<uint16_t>((next + i) & 0xFFF));
        }
        next = static_cast<uint16_t>((next + 16) & 0xFFF);
        std::shuffle(sns.begin() + 1, sns.end(), rng);
        for (uint16_t sn : sns) {
            const unsigned roll = rng() % 20;
            if (roll == 0) {
                continue;  // lost
            }
            send(sn);
            if (roll == 1) {
                send(sn);  // repeated
            }
        }
        switch (burst % 3) {
        case 0: {
            // The access point gives up on what was lost.
            model.Bar(next);
            std::vector<uint32_t> part = Deliver({{Bar(port_->MacAddress, tid, next), Fields(tid)}});
            got.insert(got.end(), part.begin(), part.end());
            break;
        }
        case 1: {
            // Nothing fills the gap: the age-out releases the held frames.
            model.Ageout();
            host::ClockAdvanceMs(Adapter()->RegistryBlock.Ageout + 1);
            std::vector<uint32_t> part = Received();
            got.insert(got.end(), part.begin(), part.end());
            break;
        }
        default:
            break;
        }
        std::vector<uint32_t> want = model.Take();
        expected.insert(expected.end(), want.begin(), want.end());
        ASSERT_EQ(got, expected) << "after burst " << burst;
    }
    // The last frames held go with a final age-out (none is left for the teardown's clock change).
    model.Ageout();
    host::ClockAdvanceMs(Adapter()->RegistryBlock.Ageout + 1);
    std::vector<uint32_t> last = Received();
    got.insert(got.end(), last.begin(), last.end());
    std::vector<uint32_t> want = model.Take();
    expected.insert(expected.end(), want.begin(), want.end());
    EXPECT_EQ(got, expected) << "after the last age-out";
    EXPECT_GT(got.size(), 800u);
}

// The access point's DELBA hands the held frames to the OS and ends the agreement; the device's own
// agreement (TX ADDBA) marks the TID for aggregation.
TEST_P(Traffic, BlockAckAgreementsBothWays)
{
    ASSERT_NO_FATAL_FAILURE(OpenQueues());
    const uint8_t tid = 0;
    ASSERT_NO_FATAL_FAILURE(OpenAgreement(tid, 100, 32));
    // 100 is lost: 101 and 102 wait.
    EXPECT_TRUE(Deliver({{DownFrame(port_->MacAddress, 101, tid, 1), Fields(tid)},
                         {DownFrame(port_->MacAddress, 102, tid, 2), Fields(tid)}})
                    .empty());
    firmware_->Data().ReportRxDelba(entry_->StaRecIdx, tid);
    Pump();
    EXPECT_EQ(Received(), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(entry_->BaRecipientSlot[tid], 0);
    // Without the agreement frames go straight through, whatever their number.
    EXPECT_EQ(Deliver({{DownFrame(port_->MacAddress, 7, tid, 3), Fields(tid)}}), (std::vector<uint32_t>{3}));

    EXPECT_EQ(entry_->TxAggregation[5], 0);
    firmware_->Data().ReportTxAddba(entry_->StaRecIdx, 5, 64);
    Pump();
    EXPECT_EQ(entry_->TxAggregation[5], 1);
}

// Frames the driver cannot take are dropped, counted and their buffers returned: an unknown sender,
// a frame of a header only, and a descriptor whose groups claim more than was received.
TEST_P(Traffic, BadFramesAreDroppedAndCounted)
{
    ASSERT_NO_FATAL_FAILURE(OpenQueues());
    const ULONG poolFree = RxDmaqGetFreeCount(Adapter(), 0);
    const ULONG64 dropped = Adapter()->Recv.DroppedDataFrames;
    sim::chip::RxdFields stranger = Fields(0);
    stranger.wlanIndex = 7;  // no station entry
    std::vector<uint8_t> fromStranger = DownFrame(port_->MacAddress, 1, 0, 1);
    fromStranger[10] = 0x0E;
    std::vector<uint8_t> headerOnly = DownFrame(port_->MacAddress, 2, 0, 2);
    headerOnly.resize(24);
    EXPECT_TRUE(Deliver({{fromStranger, stranger}, {headerOnly, Fields(0)}}).empty());
    EXPECT_GE(Adapter()->Recv.DroppedDataFrames, dropped + 1);
    // A buffer whose descriptor announces groups the buffer does not hold.
    std::vector<uint8_t> buffer = sim::chip::BuildRxFrame(
        GetParam() == 0x3602 ? sim::chip::RxdGeneration::Third : sim::chip::RxdGeneration::Second, Fields(0),
        DownFrame(port_->MacAddress, 3, 0, 3));
    buffer[4 + 1] = static_cast<uint8_t>(buffer[4 + 1] | (GetParam() == 0x3602 ? 0x1F : 0xF8));
    ASSERT_EQ(chip_->PushRx(chip_->rings().RxRing(sim::chip::RxRole::Frames), buffer.data(), 60),
              sim::chip::RxResult::Ok);
    Pump();
    EXPECT_TRUE(Received().empty());
    EXPECT_EQ(RxDmaqGetFreeCount(Adapter(), 0), poolFree);
    // The path still works.
    EXPECT_EQ(Deliver({{DownFrame(port_->MacAddress, 4, 0, 4), Fields(0)}}), (std::vector<uint32_t>{4}));
}

// A full data ring holds the frames in the OS's ring, a firmware that holds its reports holds the
// packets; once both let go every frame goes out and every packet comes back, none lost.
TEST_P(Traffic, FullRingAndHeldReportsLoseNothing)
{
    ASSERT_NO_FATAL_FAILURE(OpenQueues(0, {8192, 8192}));
    chip_->SetTxHold(true);
    firmware_->Data().HoldReports(true);
    std::vector<host::TxFrame> frames;
    for (uint32_t i = 0; i < 5000; ++i) {
        frames.push_back(Frame(i, 100));
    }
    ASSERT_EQ(host::NetTxQueuePost(tx_, frames), frames.size());
    for (int i = 0; i < 3; ++i) {
        host::NetQueueAdvance(tx_);
        Pump();
    }
    EXPECT_TRUE(host::NetTxQueueTakeReturned(tx_).empty());
    EXPECT_LT(host::NetQueuePacketRing(tx_)->NextIndex, 5000u) << "the ring should have filled up";
    chip_->SetTxHold(false);
    for (int i = 0; i < 4; ++i) {
        host::NetQueueAdvance(tx_);
        Pump();
    }
    EXPECT_EQ(firmware_->Data().FramesSent(), 5000u);
    EXPECT_TRUE(host::NetTxQueueTakeReturned(tx_).empty()) << "reports are held";
    firmware_->Data().HoldReports(false);
    Pump();
    host::NetQueueAdvance(tx_);
    std::vector<host::TxReturned> back = host::NetTxQueueTakeReturned(tx_);
    ASSERT_EQ(back.size(), 5000u);
    for (const host::TxReturned& r : back) {
        EXPECT_EQ(r.flags & NET_PACKET_FLAG_SCRATCH, 0);
    }
    EXPECT_EQ(TakeAir().size(), 5000u);
}

// A device surprise-removed with frames on the rings returns every OS packet.
TEST_P(Traffic, SurpriseRemovalReturnsEveryPacket)
{
    ASSERT_NO_FATAL_FAILURE(OpenQueues());
    firmware_->Data().HoldReports(true);
    std::vector<host::TxFrame> frames;
    for (uint32_t i = 0; i < 100; ++i) {
        frames.push_back(Frame(i, 200));
    }
    ASSERT_EQ(host::NetTxQueuePost(tx_, frames), 100u);
    host::NetQueueAdvance(tx_);
    Pump();
    EXPECT_TRUE(host::NetTxQueueTakeReturned(tx_).empty());
    EXPECT_EQ(kshim::wdf::InterruptsEnable(device_->Handle()), STATUS_SUCCESS);
    interruptsOff_ = false;
    host::ClockSetReal();
    (void)os_.SurpriseRemove(device_);
    EXPECT_EQ(host::NetTxQueueTakeReturned(tx_).size(), 100u);
}

// Frames on the rings when the pending packets are rejected (as a firmware recovery does before it
// resets the chip): every OS packet comes back on the next advance, not only at a cancel, and their
// records return to the pool.
TEST_P(Traffic, RejectingPendingPacketsReturnsFramesInFlightWithoutACancel)
{
    ASSERT_NO_FATAL_FAILURE(OpenQueues());
    firmware_->Data().HoldReports(true);
    const ULONG free = TxDmaqGetFreeCount(Adapter(), 0);
    std::vector<host::TxFrame> frames;
    for (uint32_t i = 0; i < 40; ++i) {
        frames.push_back(Frame(i, 200));
    }
    ASSERT_EQ(host::NetTxQueuePost(tx_, frames), 40u);
    host::NetQueueAdvance(tx_);
    Pump();
    EXPECT_TRUE(host::NetTxQueueTakeReturned(tx_).empty());
    ASSERT_EQ(TxDoneWaitqGetCount(Adapter()), 40u) << "the frames wait for their transmit done";
    PlatformIndicateRejectPendingPackets(Adapter(), 1);
    EXPECT_EQ(TxDoneWaitqGetCount(Adapter()), 0u);
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), free);
    host::NetQueueAdvance(tx_);
    std::vector<host::TxReturned> back = host::NetTxQueueTakeReturned(tx_);
    ASSERT_EQ(back.size(), 40u);
    for (uint32_t i = 0; i < 40; ++i) {
        EXPECT_EQ(back[i].bytes, frames[i].bytes) << i;
    }
}

// Frames put back in front of the process queue go out again through the
// per-port dequeue: min(queued, burst limit, free descriptors) of them per pass, all but the last
// marked as followed by more when the peer aggregates the TID; a frame the hard transmit refuses ends
// the pass and goes back to the OS; a second caller while the category is dequeued moves nothing.
TEST_P(Traffic, DequeueMovesAtMostTheBurstLimitAndARefusalEndsThePass)
{
    ASSERT_NO_FATAL_FAILURE(OpenQueues());
    firmware_->Data().HoldReports(true);
    entry_->TxAggregation[0] = 1;
    struct Row {
        const char* what;
        ULONG quota;
        UCHAR ctWindow;
        ULONG moved;
    } rows[] = {
        {"transmit quota 6", 6, 0, 6},
        {"CT window 45 with opportunistic power save: 4", 100, 0x80 | 45, 4},
        {"CT window without opportunistic power save: the quota", 3, 45, 3},
    };
    // The frames on the ring go back in front of their process queue, earlier ones first, as the
    // advance built them (the OS fragment as the frame, no header copy yet).
    auto requeue = [this] {
        while (PTX_DMAQ_DESC r = TxDoneWaitqDequeueTail(Adapter())) {
            auto* q = static_cast<PQZCX_TXQUEUE>(r->TxQueueContext);
            auto* side = static_cast<PTX_PACKET_SIDE_INFO>(r->SideInfo);
            const TX_SG_ENTRY& sg = q->ScatterVa[side->FirstFragmentIndex % q->ScatterEntryCount];
            r->Frame = reinterpret_cast<PUCHAR>(sg.VirtualAddress);
            r->FrameLength = sg.Length;
            r->QosInserted = 0;
            r->BytesUsed = 0;
            TxProcqEnqueue(Adapter(), r, r->AccessCategory, TRUE);
        }
    };
    uint32_t n = 0;
    for (const Row& row : rows) {
        std::vector<host::TxFrame> frames;
        for (uint32_t i = 0; i < 10; ++i) {
            frames.push_back(Frame(n++, 100));
        }
        ASSERT_EQ(host::NetTxQueuePost(tx_, frames), 10u);
        host::NetQueueAdvance(tx_);
        Pump();
        ASSERT_EQ(TxDoneWaitqGetCount(Adapter()), 10u) << row.what;
        requeue();
        ASSERT_EQ(TxProcqGetCount(Adapter(), 1), 10u) << row.what;
        port_->TxQuota = row.quota;
        port_->P2pCtWindow = row.ctWindow;
        NdisCommonHifDeQueuePacketByPort(port_, 1);
        EXPECT_EQ(TxDoneWaitqGetCount(Adapter()), row.moved) << row.what;
        EXPECT_EQ(TxProcqGetCount(Adapter(), 1), 10 - row.moved) << row.what;
        ULONG followed = 0;
        PTX_DMAQ_DESC last = nullptr;
        while (PTX_DMAQ_DESC r = TxDoneWaitqDequeue(Adapter(), TX_DONE_WAITQ_HEAD)) {
            followed += r->MoreFollow;
            last = r;
            PlatformIndicateXmitPktToNdisEx(Adapter(), r, STATUS_SUCCESS);
        }
        ASSERT_NE(last, nullptr);
        EXPECT_EQ(followed, row.moved - 1) << row.what;
        EXPECT_EQ(Adapter()->Recovery.AcDequeueInProgress[1], 0) << row.what;
        PlatformIndicateRejectPendingPackets(Adapter(), 1);
        host::NetQueueAdvance(tx_);
        EXPECT_EQ(host::NetTxQueueTakeReturned(tx_).size(), 10u) << row.what;
    }
    port_->P2pCtWindow = 0;
    port_->TxQuota = 8;

    std::vector<host::TxFrame> frames;
    for (uint32_t i = 0; i < 3; ++i) {
        frames.push_back(Frame(n++, 100));
    }
    ASSERT_EQ(host::NetTxQueuePost(tx_, frames), 3u);
    host::NetQueueAdvance(tx_);
    Pump();
    requeue();
    // A second caller while the category is being dequeued leaves the queue alone.
    Adapter()->Recovery.AcDequeueInProgress[1] = 1;
    NdisCommonHifDeQueuePacketByPort(port_, 1);
    EXPECT_EQ(TxProcqGetCount(Adapter(), 1), 3u);
    Adapter()->Recovery.AcDequeueInProgress[1] = 0;
    // A group owner's absence holds the port.
    port_->P2pNoaAbsent = 1;
    NdisCommonHifDeQueuePacketByPort(port_, 1);
    EXPECT_EQ(TxProcqGetCount(Adapter(), 1), 3u);
    port_->P2pNoaAbsent = 0;
    // The second frame has lost its port: the hard transmit refuses it, it is completed and the
    // pass ends with the third still queued.
    PTX_DMAQ_DESC first = TxProcqDequeue(Adapter(), 1);
    PTX_DMAQ_DESC second = TxProcqDequeue(Adapter(), 1);
    ASSERT_NE(second, nullptr);
    second->Port = nullptr;
    TxProcqEnqueue(Adapter(), second, 1, TRUE);
    TxProcqEnqueue(Adapter(), first, 1, TRUE);
    const ULONG free = TxDmaqGetFreeCount(Adapter(), 0);
    NdisCommonHifDeQueuePacketByPort(port_, 1);
    EXPECT_EQ(TxDoneWaitqGetCount(Adapter()), 1u);
    EXPECT_EQ(TxProcqGetCount(Adapter(), 1), 1u);
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), free + 1);
    PlatformIndicateRejectPendingPackets(Adapter(), 1);
    host::NetQueueAdvance(tx_);
    EXPECT_EQ(host::NetTxQueueTakeReturned(tx_).size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Generations, Traffic, ::testing::Values(USHORT{0x3502}, USHORT{0x3602}),
                         [](const ::testing::TestParamInfo<USHORT>& info) {
                             return info.param == 0x3502 ? std::string("chip3502") : std::string("chip3602");
                         });

}  // namespace
