// The ends of a frame's life toward the OS that the buffer-list path keeps: a relayed frame wrapped in
// a management-frame wrapper and turned into a transmit record, the receive context of a received
// frame, and the completion of the frames a sleeping station's power-save queue holds.
#include "Common/ap/apmlme.h"
#include "kshim/ndis.h"
#include "platform/ndis6/n6indicate.h"
#include "platform/ndis6/ndis6common.h"
#include "txq_support.h"

namespace {

using txq_test::TxqTest;

class HandOff : public TxqTest {
protected:
    ULONG FreeWrappers() { return Adapter()->MgmtFrameBlock->RecordList.Count; }

    static std::vector<uint8_t> DataFrame(size_t length, uint8_t tag)
    {
        std::vector<uint8_t> f(length, tag);
        f[0] = 0x08;
        f[1] = 0x02;
        return f;
    }
};

TEST_F(HandOff, ARelayedFrameIsWrappedIntoARecordAndItsCompletionGivesTheWrapperBack)
{
    struct Row {
        ULONG length;
        bool wrapped;
    };
    const ULONG wrappers = FreeWrappers();
    const ULONG records = TxDmaqGetFreeCount(Adapter(), 0);
    for (const Row& row : {Row{25, true}, Row{2346, true}, Row{2347, false}, Row{4000, false}}) {
        const std::vector<uint8_t> frame = DataFrame(row.length, 0xA5);
        PTX_DMAQ_DESC record = NdisCommonAllocateNdisNetBufferList(Adapter(), 0, frame.data(), row.length);
        ASSERT_EQ(record != nullptr, row.wrapped) << row.length;
        if (record == nullptr) {
            EXPECT_EQ(FreeWrappers(), wrappers) << row.length;
            EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), records) << row.length;
            continue;
        }
        EXPECT_EQ(record->Origin, 2);
        EXPECT_EQ(record->FrameLength, row.length);
        EXPECT_EQ(record->Port, port_);
        EXPECT_EQ(record->DataClass, 1);
        ASSERT_NE(record->Frame, nullptr);
        EXPECT_NE(record->Frame, frame.data());  // a copy in the wrapper's own buffer
        EXPECT_EQ(std::memcmp(record->Frame, frame.data(), row.length), 0);
        auto* nbl = static_cast<PNET_BUFFER_LIST>(record->OsBufferList);
        ASSERT_NE(nbl, nullptr);
        EXPECT_EQ(NET_BUFFER_DATA_LENGTH(NET_BUFFER_LIST_FIRST_NB(nbl)), row.length);
        EXPECT_EQ(MmGetMdlByteCount(NET_BUFFER_CURRENT_MDL(NET_BUFFER_LIST_FIRST_NB(nbl))), row.length);
        EXPECT_EQ(NET_BUFFER_LIST_NEXT_NBL(nbl), nullptr);
        EXPECT_EQ(FreeWrappers(), wrappers - 1);
        EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), records - 1);

        PlatformIndicateXmitPktToNdis(Adapter(), record, STATUS_SUCCESS);
        EXPECT_EQ(FreeWrappers(), wrappers);
        EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), records);
    }
}

TEST_F(HandOff, WithoutATransmitRecordTheWrapperGoesBackToTheTail)
{
    std::vector<PTX_DMAQ_DESC> held;
    while (PTX_DMAQ_DESC r = TxDmaqAlloc(Adapter(), 0)) {
        held.push_back(r);
    }
    const ULONG wrappers = FreeWrappers();
    const auto* head = Adapter()->MgmtFrameBlock->RecordList.Head;
    const std::vector<uint8_t> frame = DataFrame(100, 1);
    EXPECT_EQ(NdisCommonAllocateNdisNetBufferList(Adapter(), 0, frame.data(), 100), nullptr);
    EXPECT_EQ(FreeWrappers(), wrappers);
    EXPECT_EQ(Adapter()->MgmtFrameBlock->RecordList.Tail, head);
    for (PTX_DMAQ_DESC r : held) {
        TxDmaqFree(Adapter(), r);
    }
    // A port that does not exist: refused by the conversion, nothing held.
    EXPECT_EQ(NdisCommonAllocateNdisNetBufferList(Adapter(), 4, frame.data(), 100), nullptr);
    EXPECT_EQ(FreeWrappers(), wrappers);
}

TEST_F(HandOff, TheReceiveContextDescribesTheFrameOfThePort)
{
    struct Row {
        ULONG portType;
        ULONG band;
        UCHAR centre;
        ULONG64 timestamp;
        ULONG flags;
        ULONG frequency;
    };
    const Row rows[] = {
        {1, 1, 6, 0, 0, 2437},                  // station, 2.4 GHz
        {4, 2, 42, 0, 1, 5210},                 // group owner: the raw-packet flag
        {1, 2, 149, 0x1122334455ull, 4, 5745},  // a timestamp is flagged and kept
        {4, 1, 1, 7, 5, 2412},
    };
    MP_PORT port{};
    port.PhyTypeIndex = 3;
    port.RssiAvg[0] = -47;
    for (const Row& row : rows) {
        port.PortType = static_cast<decltype(port.PortType)>(row.portType);
        port.Channel.Band = row.band;
        port.Channel.CentreChannel = row.centre;
        DOT11_EXTSTA_RECV_CONTEXT c;
        std::memset(&c, 0xEE, sizeof(c));
        Ndis6CommonFillReceiveContext(Adapter(), &port, &c, row.timestamp);
        EXPECT_EQ(c.Header.Type, 0x80);
        EXPECT_EQ(c.Header.Revision, 1);
        EXPECT_EQ(c.Header.Size, 48);
        EXPECT_EQ(c.uReceiveFlags, row.flags) << row.portType << " " << row.timestamp;
        EXPECT_EQ(c.uPhyId, 3u);
        EXPECT_EQ(c.uChCenterFrequency, row.frequency) << static_cast<int>(row.centre);
        EXPECT_EQ(c.lRSSI, -47);
        EXPECT_EQ(c.usNumberOfMPDUsReceived, 1);
        EXPECT_EQ(c.ucDataRate, 7);
        EXPECT_EQ(c.uSizeMediaSpecificInfo, 0u);
        EXPECT_EQ(c.pvMediaSpecificInfo, nullptr);
        EXPECT_EQ(c.ullTimestamp, row.timestamp);
    }
}

// A sleeping station's queue: flushed by port, by peer or whole; what is flushed goes back to its
// pool, the rest stays in order.
TEST_F(HandOff, APowerSaveQueueIsFlushedByPortByPeerOrWhole)
{
    constexpr ULONG kStation = 3;
    static constexpr uint8_t kPeerA[6] = {0x02, 0, 0, 0, 0, 0xA};
    static constexpr uint8_t kPeerB[6] = {0x02, 0, 0, 0, 0, 0xB};
    MP_PORT other{};
    other.PortNumber = 1;
    std::vector<std::vector<uint8_t>> headers;
    struct Item {
        PMP_PORT port;
        const uint8_t* peer;
    };
    const Item items[] = {{port_, kPeerA}, {&other, kPeerA}, {port_, kPeerB}, {&other, kPeerB}};
    std::vector<PTX_DMAQ_DESC> records;
    headers.reserve(4);
    for (const Item& item : items) {
        headers.push_back(DataFrame(40, 0));
        std::memcpy(headers.back().data() + 4, item.peer, 6);
        PTX_DMAQ_DESC r = TxDmaqAlloc(Adapter(), 0);
        ASSERT_NE(r, nullptr);
        r->Port = item.port;
        r->Frame = headers.back().data();
        r->FrameLength = 40;
        TxUcPsqEnqueue(Adapter(), r, kStation);
        records.push_back(r);
    }
    const ULONG free = TxDmaqGetFreeCount(Adapter(), 0);

    APFlushPendingTxQueueByPort(Adapter(), kStation, 1);  // records 1 and 3
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), free + 2);
    APFlushPendingTxQueueByPeer(Adapter(), kStation, 0, kPeerB);  // record 2
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), free + 3);
    EXPECT_EQ(TxUcPsqDequeue(Adapter(), kStation), records[0]);
    EXPECT_EQ(TxUcPsqDequeue(Adapter(), kStation), nullptr);
    TxUcPsqEnqueue(Adapter(), records[0], kStation);
    APFlushPendingTxQueue(Adapter(), 20);  // no such queue
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), free + 3);
    APFlushPendingTxQueue(Adapter(), kStation);
    EXPECT_EQ(TxDmaqGetFreeCount(Adapter(), 0), free + 4);
    EXPECT_EQ(TxUcPsqDequeue(Adapter(), kStation), nullptr);
}

}  // namespace
