// The buffer-list send path: a port's buffer lists parked by a firmware recovery are sent again
// (second generation only), handed back to their owner when the port may not send, and the
// conversion of one net buffer into a transmit record refuses what the rings cannot carry.
#include <vector>

#include "platform/ndis6/n6indicate.h"
#include "platform/ndis6/n6xmit.h"
#include "platform/wdi/wdisend.h"
#include "traffic_support.h"

namespace {

using traffic::TrafficTest;

class NblSend : public TrafficTest {
protected:
    void SetUp() override
    {
        TrafficTest::SetUp();
        NET_BUFFER_LIST_POOL_PARAMETERS nblp = {};
        nblp.Header = {NDIS_OBJECT_TYPE_DEFAULT, NET_BUFFER_LIST_POOL_PARAMETERS_REVISION_1,
                       NDIS_SIZEOF_NET_BUFFER_LIST_POOL_PARAMETERS_REVISION_1};
        nblp.fAllocateNetBuffer = TRUE;
        nblp.ContextSize = 16;
        nblp.PoolTag = KSHIM_TAG('N', 'b', 'l', 't');
        nblPool_ = NdisAllocateNetBufferListPool(nullptr, &nblp);
        NET_BUFFER_POOL_PARAMETERS nbp = {};
        nbp.Header = {NDIS_OBJECT_TYPE_DEFAULT, NET_BUFFER_POOL_PARAMETERS_REVISION_1,
                      NDIS_SIZEOF_NET_BUFFER_POOL_PARAMETERS_REVISION_1};
        nbp.PoolTag = KSHIM_TAG('N', 'e', 'b', 't');
        nbPool_ = NdisAllocateNetBufferPool(nullptr, &nbp);
        ASSERT_NE(nblPool_, nullptr);
        ASSERT_NE(nbPool_, nullptr);
    }

    void TearDown() override
    {
        for (PNET_BUFFER nb : extraNbs_) {
            NdisFreeNetBuffer(nb);
        }
        for (PNET_BUFFER_LIST nbl : nbls_) {
            NdisFreeNetBufferList(nbl);
        }
        for (PMDL mdl : mdls_) {
            NdisFreeMdl(mdl);
        }
        NdisFreeNetBufferPool(nbPool_);
        NdisFreeNetBufferListPool(nblPool_);
        TrafficTest::TearDown();
    }

    PMDL Mdl(std::vector<uint8_t>& bytes, ULONG length)
    {
        PMDL mdl = NdisAllocateMdl(nullptr, bytes.data(), length);
        mdls_.push_back(mdl);
        return mdl;
    }

    // A buffer list with a context word and one net buffer per entry of `frames`.
    PNET_BUFFER_LIST List(std::vector<std::vector<uint8_t>>& frames)
    {
        PNET_BUFFER_LIST nbl = NdisAllocateNetBufferAndNetBufferList(nblPool_, 16, 0, Mdl(frames[0], frames[0].size()),
                                                                      0, frames[0].size());
        nbls_.push_back(nbl);
        PNET_BUFFER last = NET_BUFFER_LIST_FIRST_NB(nbl);
        for (size_t i = 1; i < frames.size(); ++i) {
            PNET_BUFFER nb = NdisAllocateNetBuffer(nbPool_, Mdl(frames[i], frames[i].size()), 0, frames[i].size());
            extraNbs_.push_back(nb);
            NET_BUFFER_NEXT_NB(last) = nb;
            last = nb;
        }
        return nbl;
    }

    static std::vector<uint8_t> DataFrame(size_t length)
    {
        std::vector<uint8_t> f(length, 0x5A);
        f[0] = 0x08;
        f[1] = 0x01;
        return f;
    }

    void Park(PNET_BUFFER_LIST chain)
    {
        port_->PendingNblHead = chain;
        PNET_BUFFER_LIST tail = chain;
        while (tail->Next != nullptr) {
            tail = tail->Next;
        }
        port_->PendingNblTail = tail;
    }

    NDIS_HANDLE nblPool_ = nullptr;
    NDIS_HANDLE nbPool_ = nullptr;
    std::vector<PMDL> mdls_;
    std::vector<PNET_BUFFER_LIST> nbls_;
    std::vector<PNET_BUFFER> extraNbs_;
};

TEST_P(NblSend, ConversionRefusesWhatTheRingsCannotCarry)
{
    struct Row {
        ULONG length;
        bool accepted;
    };
    for (const Row& row : {Row{24, false}, Row{25, true}, Row{2346, true}, Row{2347, false}}) {
        std::vector<std::vector<uint8_t>> frames{DataFrame(row.length)};
        PNET_BUFFER_LIST nbl = List(frames);
        PTX_DMAQ_DESC record = TxDmaqAlloc(Adapter(), 0);
        ASSERT_NE(record, nullptr);
        const NTSTATUS status = N6XmitGetTxbufToDmaq(Adapter(), 0, nbl, NET_BUFFER_LIST_FIRST_NB(nbl), record);
        EXPECT_EQ(status == STATUS_SUCCESS, row.accepted) << row.length;
        if (row.accepted) {
            EXPECT_EQ(record->FrameLength, row.length);
            EXPECT_EQ(record->Frame, frames[0].data());
            EXPECT_EQ(record->OsBufferList, nbl);
        }
        record->OsBufferList = nullptr;
        TxDmaqFree(Adapter(), record);
    }
    // Two memory descriptor lists, both mapped: refused.
    std::vector<std::vector<uint8_t>> frames{DataFrame(100)};
    std::vector<uint8_t> tail(100, 0);
    PNET_BUFFER_LIST nbl = List(frames);
    PNET_BUFFER nb = NET_BUFFER_LIST_FIRST_NB(nbl);
    NDIS_MDL_LINKAGE(NET_BUFFER_CURRENT_MDL(nb)) = Mdl(tail, 100);
    NET_BUFFER_DATA_LENGTH(nb) = 200;
    PTX_DMAQ_DESC record = TxDmaqAlloc(Adapter(), 0);
    EXPECT_EQ(N6XmitGetTxbufToDmaq(Adapter(), 0, nbl, nb, record), STATUS_UNSUCCESSFUL);
    NDIS_MDL_LINKAGE(NET_BUFFER_CURRENT_MDL(nb)) = nullptr;
    record->OsBufferList = nullptr;
    TxDmaqFree(Adapter(), record);
    // A list without a context word.
    PNET_BUFFER_LIST bare = List(frames);
    PNET_BUFFER_LIST_CONTEXT context = bare->Context;
    bare->Context = nullptr;
    record = TxDmaqAlloc(Adapter(), 0);
    EXPECT_EQ(N6XmitGetTxbufToDmaq(Adapter(), 0, bare, NET_BUFFER_LIST_FIRST_NB(bare), record), STATUS_UNSUCCESSFUL);
    bare->Context = context;
    TxDmaqFree(Adapter(), record);
}

// A port that may not send gives its parked wrappers back to the management-frame block at once;
// the third generation does not use the path and leaves the chain where it is.
TEST_P(NblSend, ParkedWrappersGoBackWhenThePortMayNotSend)
{
    PMGMT_FRAME_BLOCK mgmt = Adapter()->MgmtFrameBlock;
    const ULONG freeWrappers = mgmt->RecordList.Count;
    // Two wrappers taken as the wrapping takes them.
    PPACKET_RECORD w1 = static_cast<PPACKET_RECORD>(mgmt->RecordList.Head);
    PPACKET_RECORD w2 = w1->Next;
    mgmt->RecordList.Head = w2->Next;
    mgmt->RecordList.Count -= 2;
    w1->NetBufferList->Next = w2->NetBufferList;
    w2->NetBufferList->Next = nullptr;
    port_->ConnectionFlags &= ~(PORT_CONN_CONNECTED | PORT_CONN_CONNECTING);
    Park(w1->NetBufferList);
    EXPECT_EQ(WdiSendDataProcess(Adapter(), port_), STATUS_SUCCESS);
    if (GetParam() == 0x3602) {
        EXPECT_EQ(port_->PendingNblHead, w1->NetBufferList);
        // Put back what the test took.
        port_->PendingNblHead = port_->PendingNblTail = nullptr;
        N6PlatformIndicateXmitPktToNdis(Adapter(), w1->NetBufferList, 0, 0);
    } else {
        EXPECT_EQ(port_->PendingNblHead, nullptr);
    }
    EXPECT_EQ(mgmt->RecordList.Count, freeWrappers);
    EXPECT_EQ(mgmt->RecordList.Tail, w2);
}

// A station port's parked frames are not access-point frames: each is completed unsent, its record
// back in the pool. A list of 10 net buffers with 9 free records stays queued, nothing of it sent.
TEST_P(NblSend, StationFramesAreCompletedUnsentAndShortPoolsHoldTheList)
{
    if (GetParam() == 0x3602) {
        GTEST_SKIP() << "the third generation does not use the buffer-list send path";
    }
    // The port's send thread is not woken again by the path itself: each pass is the test's.
    Adapter()->RegistryBlock.TxRxThreadMode = 1;
    const ULONG poolFree = TxDmaqGetFreeCount(Adapter(), 0);
    const uint64_t sentBefore = firmware_->Data().FramesSent();
    std::vector<std::vector<uint8_t>> three{DataFrame(100), DataFrame(200), DataFrame(300)};
    Park(List(three));
    EXPECT_EQ(WdiSendDataProcess(Adapter(), port_), STATUS_SUCCESS);
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), poolFree);
    EXPECT_EQ(PortNblWaitqGetCount(port_), 0u);

    std::vector<std::vector<uint8_t>> ten;
    for (int i = 0; i < 10; ++i) {
        ten.push_back(DataFrame(64));
    }
    PNET_BUFFER_LIST big = List(ten);
    std::vector<PTX_DMAQ_DESC> held;
    while (TxDmaqGetFreeCount(Adapter(), 0) > 9) {
        held.push_back(TxDmaqAlloc(Adapter(), 0));
    }
    Park(big);
    EXPECT_EQ(WdiSendDataProcess(Adapter(), port_), STATUS_SUCCESS);
    EXPECT_EQ(PortNblWaitqGetCount(port_), 1u);
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), 9u);
    for (PTX_DMAQ_DESC r : held) {
        TxDmaqFree(Adapter(), r);
    }
    EXPECT_EQ(WdiSendDataProcess(Adapter(), port_), STATUS_SUCCESS);
    EXPECT_EQ(PortNblWaitqGetCount(port_), 0u);
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), poolFree);
    EXPECT_EQ(firmware_->Data().FramesSent(), sentBefore);
}

INSTANTIATE_TEST_SUITE_P(Generations, NblSend, ::testing::Values(USHORT{0x3502}, USHORT{0x3602}),
                         [](const ::testing::TestParamInfo<USHORT>& info) {
                             return info.param == 0x3502 ? std::string("chip3502") : std::string("chip3602");
                         });

}  // namespace
