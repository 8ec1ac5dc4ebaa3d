// Frames put on the transmit rings of a started simulated chip: data frames whose transmit packet
// table the device follows to gather the frame from the header copy and the OS fragments, the
// doorbell batching of a port, management frames on the command ring, and the refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "../hif/hif_support.h"
#include "hal/common/hal_desc.h"
#include "platform/ndis6/n6pci.h"
#include "platform/ndis6/n6pci_txqueue.h"

namespace {

using hiftest::Device;
using sim::chip::TxRole;

constexpr ULONG kTxRingRegs = 0x7C024300;

class Submit : public Device {
protected:
    void SetUp() override
    {
        Device::SetUp();
        Prepare(ChipId());
        Start();
        port_.PortNumber = 0;
        port_.PortType = EXTSTA;
        adapter_->PortCount = 1;
        chip_->SetDataFrameConsumer([this](const sim::chip::DataFrame& f) {
            std::lock_guard<std::mutex> lock(mutex_);
            frames_.push_back(f);
        });
        queue_.ScatterVa = scatter_;
        queue_.ScatterEntryCount = kScatter;
        payloadBus_ = kshim::host::DmaRegister(payload_, sizeof(payload_));
        for (size_t i = 0; i < sizeof(payload_); ++i) {
            payload_[i] = static_cast<UCHAR>(i * 7 + 1);
        }
    }
    void TearDown() override
    {
        chip_->SetDataFrameConsumer(nullptr);
        InterruptsOff();
        Stop();
        kshim::host::DmaUnregister(payloadBus_);
        Device::TearDown();
    }

    // A data record whose OS packet has fragments of the given lengths, laid out one after another in
    // the payload memory starting at `at`; its descriptor and header copy are written as the hard
    // transmit would.
    PTX_DMAQ_DESC Data(std::vector<ULONG> fragments, ULONG side = 0, ULONG at = 0)
    {
        PTX_DMAQ_DESC r = TxDmaqAlloc(adapter_, 0);
        EXPECT_NE(r, nullptr);
        ULONG total = 0;
        ULONG first = (side * 4) % kScatter;
        for (size_t k = 0; k < fragments.size(); ++k) {
            TX_SG_ENTRY& e = scatter_[(first + k) % kScatter];
            e = TX_SG_ENTRY{};
            e.VirtualAddress = reinterpret_cast<ULONG64>(payload_ + at + total);
            e.LogicalAddress = payloadBus_ + at + total;
            e.Length = fragments[k];
            e.Flags = static_cast<USHORT>((k == 0 ? TX_SG_FIRST_OF_PACKET : 0) |
                                          (k + 1 == fragments.size() ? TX_SG_LAST_OF_PACKET : 0));
            total += fragments[k];
        }
        sides_[side % kSides] = TX_PACKET_SIDE_INFO{};
        sides_[side % kSides].FirstFragmentIndex = first;
        r->SideInfo = &sides_[side % kSides];
        r->TxQueueContext = &queue_;
        r->Port = &port_;
        r->FrameLength = total;
        // The header copy: the OS frame's first 24 bytes.
        std::memcpy(r->BufferVa + TX_DMAQ_HEADER_COPY_OFFSET, payload_ + at, 24);
        r->BytesUsed = TX_DMAQ_HEADER_COPY_OFFSET + 24;
        TX_FRAME_INFO info{};
        info.Length = static_cast<USHORT>(total);
        info.HeaderLength = 24;
        info.FrameType = TX_FRAME_TYPE_DATA;
        info.Port = &port_;
        XmitWriteTxD(adapter_, r->BufferVa, &info);
        expected_ = std::vector<UCHAR>(payload_ + at, payload_ + at + total);
        return r;
    }

    virtual USHORT ChipId() const { return 0x3502; }

    std::vector<sim::chip::DataFrame> Frames()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return frames_;
    }

    ULONG CpuIndexRegister(TxRole role) const { return kTxRingRegs + 0x10 * chip_->rings().TxRing(role) + 8; }

    USHORT TxpWord(PTX_DMAQ_DESC r, ULONG offset) const
    {
        const UCHAR* p = r->BufferVa + TXP_OFFSET + offset;
        return static_cast<USHORT>(p[0] | (p[1] << 8));
    }

    static constexpr ULONG kScatter = 64;
    static constexpr ULONG kSides = 16;
    TX_SG_ENTRY scatter_[kScatter] = {};
    TX_PACKET_SIDE_INFO sides_[kSides] = {};
    QZCX_TXQUEUE queue_{};
    alignas(16) UCHAR payload_[8192] = {};
    uint64_t payloadBus_ = 0;
    std::vector<UCHAR> expected_;
    std::mutex mutex_;
    std::vector<sim::chip::DataFrame> frames_;
};

class SubmitChips : public Submit, public ::testing::WithParamInterface<USHORT> {
protected:
    USHORT ChipId() const override { return GetParam(); }
};
INSTANTIATE_TEST_SUITE_P(Generations, SubmitChips, ::testing::Values<USHORT>(0x3502, 0x3601, 0x3602),
                         [](const auto& info) {
                             char name[16];
                             std::snprintf(name, sizeof(name), "chip%04X", static_cast<unsigned>(info.param));
                             return std::string(name);
                         });

struct GatherCase {
    std::vector<ULONG> fragments;
    unsigned segments;  // the TXP segments the chip walks, the last one included
};

TEST_P(SubmitChips, DeviceGathersTheFrameFromTheTransmitPacketTable)
{
    const GatherCase cases[] = {
        {{124}, 2},
        {{24, 300}, 2},       // the first fragment holds only the header
        {{40, 300}, 3},
        {{60, 8, 1000}, 4},
        {{24, 0, 500}, 4},
    };
    ULONG side = 0;
    for (const GatherCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fragments.size() << " fragments, first " << c.fragments[0]);
        frames_.clear();
        PTX_DMAQ_DESC r = Data(c.fragments, side, 100 * side);
        ++side;
        ASSERT_EQ(N6PciTxSendPkt(hif_, r, 0, FALSE), STATUS_SUCCESS);
        std::vector<sim::chip::DataFrame> got = Frames();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].token, r->RecordIndex);
        EXPECT_EQ(got[0].segments, c.segments);
        EXPECT_EQ(got[0].frame, expected_);
        EXPECT_EQ(std::memcmp(got[0].txd, r->BufferVa, 32), 0);
        EXPECT_EQ(TxpWord(r, 0), r->RecordIndex | 0x8000u);
        EXPECT_EQ(TxpWord(r, 12), 24u) << "segment 0 is the header copy";
        EXPECT_EQ(TxDoneWaitqDequeue(adapter_, r->RecordIndex), r) << "waits for its transmit-done report";
        TxDmaqFree(adapter_, r);
    }
    EXPECT_EQ(adapter_->DataTxInFlight, 5);
    EXPECT_EQ(queue_.InFlight, 5);
    EXPECT_TRUE(chip_->RingFaults().empty());
}

TEST_F(Submit, HeaderOnlyFirstFragmentMakesTheSecondTheLastSegment)
{
    PTX_DMAQ_DESC r = Data({24, 300});
    ASSERT_EQ(N6PciTxSendPkt(hif_, r, 0, FALSE), STATUS_SUCCESS);
    EXPECT_EQ(TxpWord(r, 14), 300u | 0x8000u);  // segment 1: fragment 1, last
    const UCHAR* txp = r->BufferVa + TXP_OFFSET;
    ULONG address = txp[16] | (txp[17] << 8) | (txp[18] << 16) | (static_cast<ULONG>(txp[19]) << 24);
    EXPECT_EQ(address, static_cast<ULONG>(payloadBus_ + 24));
    EXPECT_EQ(TxpWord(r, 24), 0u);
    EXPECT_EQ(TxpWord(r, 26), 0u);
}

TEST_F(Submit, FramesTheTablesCannotDescribeAreRefused)
{
    struct Case {
        std::vector<ULONG> fragments;
        const char* trace;
    } const cases[] = {
        {{24, 10, 10, 10}, "more than 3 fragments"},
        {{20, 100}, "holds no header"},
        {{24, 5000}, "cannot be expressed"},
    };
    const ULONG writesBefore = static_cast<ULONG>(Writes(CpuIndexRegister(TxRole::Data0)));
    for (const Case& c : cases) {
        PTX_DMAQ_DESC r = Data(c.fragments);
        EXPECT_EQ(N6PciTxSendPkt(hif_, r, 0, TRUE), STATUS_UNSUCCESSFUL) << c.trace;
        EXPECT_GE(hiftest::CountTraces(c.trace), 1u) << c.trace;
        TxDmaqFree(adapter_, r);
    }
    PTX_DMAQ_DESC bare = TxDmaqAlloc(adapter_, 0);
    bare->BytesUsed = 88;
    EXPECT_EQ(N6PciTxSendPkt(hif_, bare, 1, TRUE), STATUS_UNSUCCESSFUL) << "no transmit queue";
    TxDmaqFree(adapter_, bare);
    EXPECT_EQ(TxDoneWaitqGetCount(adapter_), 0u);
    EXPECT_EQ(adapter_->DataTxInFlight, 0);
    EXPECT_EQ(Writes(CpuIndexRegister(TxRole::Data0)), writesBefore);
    EXPECT_TRUE(Frames().empty());
}

TEST_F(Submit, NothingGoesOutWhileTheAdapterHaltsOrTheRadioIsOff)
{
    for (ULONG flag : {ADAPTER_FLAG_HALT_IN_PROGRESS, ADAPTER_FLAG_RADIO_OFF, ADAPTER_FLAG_PCI_SUSPENDED}) {
        AdapterSetFlag(adapter_, flag, "test");
        PTX_DMAQ_DESC r = Data({124});
        EXPECT_EQ(N6PciTxSendPkt(hif_, r, 0, TRUE), STATUS_UNSUCCESSFUL);
        EXPECT_EQ(TxDoneWaitqGetCount(adapter_), 0u);
        TxDmaqFree(adapter_, r);
        AdapterClearFlag(adapter_, flag, "test");
    }
    EXPECT_TRUE(Frames().empty());
}

TEST_F(Submit, DoorbellWaitsForHalfThePortThreshold)
{
    port_.DoorbellThreshold = 128;
    const size_t before = Writes(CpuIndexRegister(TxRole::Data0));
    for (ULONG n = 0; n < 64; ++n) {
        PTX_DMAQ_DESC r = Data({124}, n);
        r->MoreFollow = 1;
        ASSERT_EQ(N6PciTxSendPkt(hif_, r, 0, FALSE), STATUS_SUCCESS);
    }
    EXPECT_EQ(Writes(CpuIndexRegister(TxRole::Data0)), before) << "64 descriptors deferred";
    EXPECT_EQ(port_.DeferredDoorbellCount, 64u);
    EXPECT_TRUE(Frames().empty());
    PTX_DMAQ_DESC r = Data({124}, 64);
    r->MoreFollow = 1;
    ASSERT_EQ(N6PciTxSendPkt(hif_, r, 0, FALSE), STATUS_SUCCESS);
    EXPECT_EQ(Writes(CpuIndexRegister(TxRole::Data0)), before + 1);
    EXPECT_EQ(port_.DeferredDoorbellCount, 0u);
    EXPECT_EQ(Frames().size(), 65u) << "one write covers every deferred descriptor";

    // The last packet of a batch, and a kick, write it at once.
    const size_t before1 = Writes(CpuIndexRegister(TxRole::Data1));
    PTX_DMAQ_DESC last = Data({124}, 65);
    last->MoreFollow = 0;
    ASSERT_EQ(N6PciTxSendPkt(hif_, last, 1, FALSE), STATUS_SUCCESS);
    PTX_DMAQ_DESC kicked = Data({124}, 66);
    kicked->MoreFollow = 1;
    ASSERT_EQ(N6PciTxSendPkt(hif_, kicked, 1, TRUE), STATUS_SUCCESS);
    EXPECT_EQ(Writes(CpuIndexRegister(TxRole::Data1)), before1 + 2);
    EXPECT_EQ(Frames().size(), 67u);
    EXPECT_EQ(TxDoneWaitqGetCount(adapter_), 67u);
}

TEST_F(Submit, ManagementFrameOnTheCommandRingAlwaysRingsAndComesHomeOnDmaDone)
{
    port_.DoorbellThreshold = 128;
    port_.DeferredDoorbellCount = 5;
    const ULONG freeBefore = TxDmaqGetFreeCount(adapter_, 1);
    std::vector<std::vector<UCHAR>> seen;
    std::mutex seenLock;
    chip_->SetTxConsumer(chip_->rings().TxRing(TxRole::Command), [&](const sim::chip::TxBuffer& b) {
        std::lock_guard<std::mutex> lock(seenLock);
        seen.emplace_back(b.data, b.data + b.length);
    });
    const size_t writesBefore = Writes(CpuIndexRegister(TxRole::Command));
    PTX_DMAQ_DESC r = TxDmaqAlloc(adapter_, 1);
    TX_FRAME_INFO info{};
    info.Length = 24;
    info.HeaderLength = 24;
    info.FrameType = TX_FRAME_TYPE_MGMT;
    info.FrameSubtype = 4;
    info.MgmtLayout = 1;
    info.Port = &port_;
    XmitWriteTxD(adapter_, r->BufferVa, &info);
    std::memset(r->BufferVa + 32, 0x40, 24);
    r->BytesUsed = 56;
    r->Port = &port_;
    r->MoreFollow = 1;
    ASSERT_EQ(N6PciTxSendPkt(hif_, r, PCI_TX_RING_COMMAND, TRUE), STATUS_SUCCESS);
    EXPECT_EQ(port_.DeferredDoorbellCount, 0u);
    EXPECT_EQ(Writes(CpuIndexRegister(TxRole::Command)), writesBefore + 1);
    {
        std::lock_guard<std::mutex> lock(seenLock);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].size(), 56u);
        EXPECT_EQ(seen[0][0] | (seen[0][1] << 8), 56);  // DW0: frame length + 32
    }
    // The chip's DMA done brings the record home through the command ring's completion.
    EXPECT_TRUE(hiftest::WaitFor([&] { return TxDWaitqGetCount(adapter_) == 0 && TxDmaqGetFreeCount(adapter_, 1) == freeBefore; }));
    chip_->SetTxConsumer(chip_->rings().TxRing(TxRole::Command), nullptr);
    EXPECT_EQ(adapter_->DataTxInFlight, 0);
}

}  // namespace
