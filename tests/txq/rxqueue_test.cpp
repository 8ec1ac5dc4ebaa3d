// The NetAdapterCx receive queue and the hand-off of received frames: frames reach the OS in place
// and their buffers come back, both rings bound an advance, notification once per enabling and not
// while stopped, cancel, destroy keeping the return records, drops, and the test-certificate check.
#include "txq_support.h"

#include "platform/ndis6/n6indicate.h"

namespace {

using namespace txq_test;

class RxqTest : public TxqTest {
protected:
    void SetUp() override
    {
        TxqTest::SetUp();
        ASSERT_EQ(host::NetRxQueueOpen(net_, 0, &rxq_, {64, 64}), STATUS_SUCCESS);
        ASSERT_EQ(port_->RxQueue, rxq_);
    }
    void TearDown() override
    {
        for (PRX_DMAQ_DESC r : held_) {
            RxDmaqFree(Adapter(), r);
        }
        TxqTest::TearDown();
    }

    // A received data frame of `length` bytes (byte 30 = tag) in a record of receive pool 0.
    PRX_DMAQ_DESC Received(uint8_t tag, ULONG length = 64)
    {
        PRX_DMAQ_DESC r = RxDmaqAlloc(Adapter(), 0);
        EXPECT_NE(r, nullptr);
        if (r == nullptr) {
            return nullptr;
        }
        EXPECT_LE(length + 64, r->BufferSize);
        r->Frame = r->BufferVa + 64;
        r->FrameLength = length;
        std::memset(r->Frame, tag, length);
        r->Frame[0] = 0x08;
        r->Frame[1] = 0x02;
        return r;
    }

    size_t FreeReturnRecords()
    {
        size_t n = 0;
        RX_RETURN_LIST& list = Adapter()->RxReturnFree;
        for (PLIST_ENTRY e = list.Head.Flink; e != &list.Head; e = e->Flink) {
            ++n;
        }
        return n;
    }

    NETPACKETQUEUE rxq_ = nullptr;
    std::vector<PRX_DMAQ_DESC> held_;
};

TEST_F(RxqTest, FramesReachTheOsInPlaceAndTheirBuffersComeBack)
{
    const ULONG poolFree = RxDmaqGetFreeCount(Adapter(), 0);
    const size_t returnFree = FreeReturnRecords();
    for (uint8_t i = 0; i < 8; ++i) {
        EXPECT_TRUE(NdisCommonReportEthFrameToLLC(Adapter(), port_, Received(i), 0, 0, 0));
    }
    // Five free slots take five frames; three wait for the next advance.
    std::vector<host::RxReceived> got = host::NetRxQueueReceive(rxq_, 5);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[3].bytes.size(), 64u);
    EXPECT_EQ(got[3].bytes[30], 3);
    std::vector<host::RxReceived> rest = host::NetRxQueueReceive(rxq_);
    ASSERT_EQ(rest.size(), 3u);
    EXPECT_EQ(rest[2].bytes[30], 7);
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_EQ(RxDmaqGetFreeCount(Adapter(), 0), poolFree - 8);
    for (const host::RxReceived& r : got) {
        ASSERT_TRUE(host::NetAdapterReturnRxBuffer(net_, r.returnContext));
    }
    EXPECT_EQ(RxDmaqGetFreeCount(Adapter(), 0), poolFree);
    EXPECT_EQ(FreeReturnRecords(), returnFree);
}

TEST_F(RxqTest, WithNoFreeReturnRecordTheFrameIsDroppedAndItsRecordReturned)
{
    std::vector<PLIST_ENTRY> taken;
    RX_RETURN_LIST& free = Adapter()->RxReturnFree;
    while (PLIST_ENTRY e = ExInterlockedRemoveHeadList(&free.Head, &free.Lock)) {
        taken.push_back(e);
    }
    EXPECT_EQ(taken.size(), static_cast<size_t>(RX_RETURN_CONTEXT_COUNT));
    const ULONG poolFree = RxDmaqGetFreeCount(Adapter(), 0);
    EXPECT_FALSE(NdisCommonReportEthFrameToLLC(Adapter(), port_, Received(1), 0, 0, 0));
    EXPECT_EQ(RxDmaqGetFreeCount(Adapter(), 0), poolFree);
    for (PLIST_ENTRY e : taken) {
        ExInterlockedInsertTailList(&free.Head, e, &free.Lock);
    }
}

TEST_F(RxqTest, AFrameForAPortWithoutReceiveQueueIsDropped)
{
    port_->RxQueue = nullptr;
    const ULONG poolFree = RxDmaqGetFreeCount(Adapter(), 0);
    EXPECT_FALSE(NdisCommonReportEthFrameToLLC(Adapter(), port_, Received(1), 0, 0, 0));
    EXPECT_EQ(RxDmaqGetFreeCount(Adapter(), 0), poolFree);
    port_->RxQueue = rxq_;
}

TEST_F(RxqTest, NotificationOncePerEnablingAndNotWhileStopped)
{
    host::NetQueueSetNotification(rxq_, true);
    QZCxRxNotify(Adapter());  // nothing waits yet
    EXPECT_EQ(host::NetQueueNotifications(rxq_), 0u);
    ASSERT_TRUE(QZCxRxEnqueu(Adapter(), port_, Received(1)));
    QZCxRxNotify(Adapter());
    EXPECT_EQ(host::NetQueueNotifications(rxq_), 1u);
    ASSERT_TRUE(QZCxRxEnqueu(Adapter(), port_, Received(2)));
    QZCxRxNotify(Adapter());
    EXPECT_EQ(host::NetQueueNotifications(rxq_), 1u);

    host::NetQueueStop(rxq_);
    EXPECT_EQ(port_->RxStopped, 1);
    // The OS enables notification while the queue is stopped: nothing is sent.
    Adapter()->RxNotifySta = 1;
    QZCxRxNotify(Adapter());
    EXPECT_EQ(host::NetQueueNotifications(rxq_), 1u);

    host::NetQueueStart(rxq_);
    host::NetQueueSetNotification(rxq_, true);
    ASSERT_TRUE(QZCxRxEnqueu(Adapter(), port_, Received(3)));
    QZCxRxNotify(Adapter());
    EXPECT_EQ(host::NetQueueNotifications(rxq_), 2u);
    for (const host::RxReceived& r : host::NetRxQueueReceive(rxq_)) {
        ASSERT_TRUE(host::NetAdapterReturnRxBuffer(net_, r.returnContext));
    }
}

TEST_F(RxqTest, CancelMarksPostedPacketsIgnoreAndBuffersStillComeBack)
{
    ASSERT_TRUE(QZCxRxEnqueu(Adapter(), port_, Received(1)));
    ASSERT_TRUE(QZCxRxEnqueu(Adapter(), port_, Received(2)));
    std::vector<host::RxReceived> got = host::NetRxQueueReceive(rxq_);
    ASSERT_EQ(got.size(), 2u);
    host::NetQueueCancel(rxq_);
    std::vector<host::RxReceived> cancelled = host::NetRxQueueTakePosted(rxq_);
    ASSERT_EQ(cancelled.size(), 61u);  // the rest of the 63 slots the OS had given
    for (const host::RxReceived& r : cancelled) {
        EXPECT_EQ(r.flags & NET_PACKET_FLAG_IGNORE, NET_PACKET_FLAG_IGNORE);
    }
    const ULONG poolFree = RxDmaqGetFreeCount(Adapter(), 0);
    for (const host::RxReceived& r : got) {
        ASSERT_TRUE(host::NetAdapterReturnRxBuffer(net_, r.returnContext));
    }
    EXPECT_EQ(RxDmaqGetFreeCount(Adapter(), 0), poolFree + 2);
}

TEST_F(RxqTest, DestroyDropsWaitingFramesAndKeepsTheReturnRecords)
{
    const size_t returnFree = FreeReturnRecords();
    const ULONG poolFree = RxDmaqGetFreeCount(Adapter(), 0);
    for (uint8_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(QZCxRxEnqueu(Adapter(), port_, Received(i)));
    }
    host::NetQueueDestroy(rxq_);
    EXPECT_EQ(port_->RxQueue, nullptr);
    EXPECT_EQ(FreeReturnRecords(), returnFree);
    EXPECT_EQ(RxDmaqGetFreeCount(Adapter(), 0), poolFree);
    // A new queue finds the whole set.
    NETPACKETQUEUE again = nullptr;
    ASSERT_EQ(host::NetRxQueueOpen(net_, 1, &again), STATUS_SUCCESS);
    EXPECT_EQ(port_->RxQueue, again);
}

TEST_F(RxqTest, TheTestAuthorityCertificateIsRecognisedInLongEapolFrames)
{
    static const char kName[] = "Hotspot 2.0 Intermediate CA";
    struct Case {
        const char* what;
        ULONG length;
        uint8_t eapType;
        bool leadingSpace;
        bool tail;  // the 32 bytes sit at length - 36 instead of byte 203
        UCHAR blockEapStart;
        UCHAR seen;
    };
    const Case cases[] = {
        {"PEAP at 203", 600, 25, false, false, 1, 1},
        {"issuer name at the tail", 600, 13, true, true, 1, 1},
        {"not PEAP: 203 not looked at", 600, 13, false, false, 1, 0},
        {"500 bytes are not examined", 500, 25, false, false, 1, 0},
        {"BlockEAPStart 0", 600, 25, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        Adapter()->CertFakeCaSeen = 0;
        Adapter()->RegistryBlock.BlockEAPStart = c.blockEapStart;
        PRX_DMAQ_DESC r = Received(0, c.length);
        ASSERT_NE(r, nullptr);
        std::memset(r->Frame + 24, 0, c.length - 24);
        r->Frame[30] = 0x88;
        r->Frame[31] = 0x8E;
        r->Frame[37] = 0x42;
        r->Frame[40] = c.eapType;
        r->Frame[41] = 0xC0;
        UCHAR* at = r->Frame + (c.tail ? c.length - 36 : 203);
        size_t n = 0;
        if (c.leadingSpace) {
            at[n++] = ' ';
        }
        std::memcpy(at + n, kName, sizeof(kName) - 1);
        n += sizeof(kName) - 1;
        const uint8_t tls[] = {0x16, 0x03, 0x03, 0x00, 0x04};
        const uint8_t asn[] = {0x30, 0x1E, 0x17, 0x0D};
        if (c.leadingSpace) {
            std::memcpy(at + n, asn, sizeof(asn));
        } else {
            std::memcpy(at + n, tls, sizeof(tls));
        }
        port_->RxQueue = nullptr;  // dropped after the check
        (void)NdisCommonReportEthFrameToLLC(Adapter(), port_, r, 0, 0, 0);
        port_->RxQueue = rxq_;
        EXPECT_EQ(Adapter()->CertFakeCaSeen, c.seen) << c.what;
        if (c.seen) {
            EXPECT_EQ(Adapter()->CertEapIdentifier, 0x42);
            EXPECT_EQ(Adapter()->CertTlsLengthIncluded, 0x80);
            EXPECT_EQ(Adapter()->CertTlsMoreFragments, 0x40);
        }
    }
}

}  // namespace
