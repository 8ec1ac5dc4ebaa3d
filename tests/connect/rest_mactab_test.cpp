// Removing station entries from a port and telling the OS about its peers.
#include <array>

#include "kshim/host/wificx_peer.h"
#include "kshim/irql.h"
#include "mlme/mlme_fixture.h"
#include "support/crossings.h"

namespace mlmetest {
namespace {

class MacTableRemoval : public MlmeTest {
protected:
    void SetUp() override
    {
        MlmeTest::SetUp();
        kshim::host::ResetPeerRecords();
        station_ = AddPort(0, EXTSTA);
        other_ = AddPort(1, EXTSTA);
        ASSERT_EQ(MlmeSyncInitMacTabPool(adapter_), STATUS_SUCCESS);
    }
    void TearDown() override
    {
        kshim::host::ResetPeerRecords();
        MlmeTest::TearDown();
    }

    PMAC_TABLE_ENTRY Insert(MP_PORT* port, UCHAR last)
    {
        const UCHAR address[6] = {0x02, 0x11, 0x22, 0x33, 0x44, last};
        return MacTableInsertEntry(adapter_, port, address, TRUE);
    }

    static std::vector<UCHAR> Order(MP_PORT* port)
    {
        std::vector<UCHAR> order;
        for (PMAC_TABLE_ENTRY e = port->MacTab.Head; e != nullptr; e = e->Next) {
            order.push_back(e->WlanIdx);
        }
        return order;
    }

    MP_PORT* station_ = nullptr;
    MP_PORT* other_ = nullptr;
};

TEST_F(MacTableRemoval, AnIndexOfAnotherPortOrOfTwentyIsRefusedAndChangesNothing)
{
    PMAC_TABLE_ENTRY mine = Insert(station_, 1);
    PMAC_TABLE_ENTRY theirs = Insert(other_, 2);
    ASSERT_NE(mine, nullptr);
    ASSERT_NE(theirs, nullptr);
    const auto before0 = Order(station_);
    const auto before1 = Order(other_);
    const LONG freeBefore = adapter_->MacTabPool.FreeCount;

    EXPECT_FALSE(MacTableDeleteAndResetEntry(adapter_, station_, theirs->WlanIdx, theirs->Addr, 1));
    EXPECT_FALSE(MacTableDeleteAndResetEntry(adapter_, station_, 20, mine->Addr, 1));
    EXPECT_EQ(Order(station_), before0);
    EXPECT_EQ(Order(other_), before1);
    EXPECT_EQ(adapter_->MacTabPool.FreeCount, freeBefore);
}

TEST_F(MacTableRemoval, RemovingTheThirdOfFourLeavesTheLaterFirstAndTheEarlierAtTheEnd)
{
    PMAC_TABLE_ENTRY e[4];
    for (int i = 0; i < 4; ++i) {
        e[i] = Insert(station_, static_cast<UCHAR>(0x40 + i));
        ASSERT_NE(e[i], nullptr);
    }
    const LONG freeBefore = adapter_->MacTabPool.FreeCount;
    ASSERT_TRUE(MacTableDeleteAndResetEntry(adapter_, station_, e[2]->WlanIdx, e[2]->Addr, 1));
    EXPECT_EQ(Order(station_), (std::vector<UCHAR>{e[3]->WlanIdx, e[0]->WlanIdx, e[1]->WlanIdx}));
    EXPECT_EQ(station_->MacTab.Count, 3);
    EXPECT_EQ(station_->MacTab.PeerCount, 3);
    EXPECT_EQ(adapter_->MacTabPool.FreeCount, freeBefore + 1);
    EXPECT_EQ(adapter_->MacTabPool.FreeTail, e[2]);
    // The removed entry's receive state is back at its start values.
    EXPECT_EQ(e[2]->LastRxSeq, 0xFFFu);
    EXPECT_EQ(e[2]->RxSeqCache[0], 0xFFFF);
    EXPECT_EQ(e[2]->Bandwidth, 0xFF);
}

TEST_F(MacTableRemoval, ResetWithoutUnlinkKeepsTheEntryInItsPortWithItsStartValues)
{
    PMAC_TABLE_ENTRY entry = Insert(station_, 0x50);
    ASSERT_NE(entry, nullptr);
    entry->AssocState = 2;
    entry->LastRxSeq = 17;
    ASSERT_TRUE(MacTableDeleteAndResetEntry(adapter_, station_, entry->WlanIdx, entry->Addr, 0));
    EXPECT_EQ(Order(station_), (std::vector<UCHAR>{entry->WlanIdx}));
    EXPECT_EQ(entry->AssocState, 0u);
    EXPECT_EQ(entry->LastRxSeq, 0xFFFu);
    EXPECT_EQ(station_->MacTab.PeerCount, 0);
    // A wrong address finds the entry but leaves it alone.
    const UCHAR stranger[6] = {0x02, 0x99, 0x99, 0x99, 0x99, 0x99};
    entry->LastRxSeq = 5;
    EXPECT_TRUE(MacTableDeleteAndResetEntry(adapter_, station_, entry->WlanIdx, stranger, 1));
    EXPECT_EQ(entry->LastRxSeq, 5u);
    EXPECT_EQ(Order(station_).size(), 1u);
}

TEST_F(MacTableRemoval, TheFirstPortsOwnEntryOfKindZeroSurvivesRemoval)
{
    ASSERT_EQ(MlmeSyncInitMacTab(station_, 1), STATUS_SUCCESS);
    PMAC_TABLE_ENTRY own = MlmeSyncMacTabMatchedRoleType(station_, 0);
    ASSERT_NE(own, nullptr);
    PMAC_TABLE_ENTRY peer = Insert(station_, 0x60);
    ASSERT_NE(peer, nullptr);
    const LONG freeBefore = adapter_->MacTabPool.FreeCount;
    BOOLEAN removeFromOs = TRUE;
    MlmeSyncRemoveMacTab(station_, own, &removeFromOs);
    EXPECT_FALSE(removeFromOs);
    EXPECT_EQ(station_->MacTab.Count, 3);
    EXPECT_EQ(adapter_->MacTabPool.FreeCount, freeBefore);
    EXPECT_NE(MlmeSyncMacTabMatchedWlanIdx(station_, own->WlanIdx), nullptr);

    // Another port's kind-0 entry does leave.
    ASSERT_EQ(MlmeSyncInitMacTab(other_, 1), STATUS_SUCCESS);
    PMAC_TABLE_ENTRY otherOwn = MlmeSyncMacTabMatchedRoleType(other_, 0);
    ASSERT_NE(otherOwn, nullptr);
    MlmeSyncRemoveMacTab(other_, otherOwn, &removeFromOs);
    EXPECT_EQ(MlmeSyncMacTabMatchedWlanIdx(other_, otherOwn->WlanIdx), nullptr);
}

TEST_F(MacTableRemoval, CancelledTransmissionsOfAPeerKnownToTheOsAskForItsRemoval)
{
    PMAC_TABLE_ENTRY entry = Insert(station_, 0x70);
    ASSERT_NE(entry, nullptr);
    struct Case {
        UCHAR cancel;
        UCHAR osPeer;
        BOOLEAN expected;
    };
    const Case cases[] = {{1, 1, TRUE}, {1, 0, FALSE}, {0, 1, FALSE}};
    for (const Case& c : cases) {
        PMAC_TABLE_ENTRY e = Insert(station_, 0x71);
        ASSERT_NE(e, nullptr);
        e->CancelTxOnRemove = c.cancel;
        e->OsPeerAdded = c.osPeer;
        BOOLEAN removeFromOs = !c.expected;
        MlmeSyncRemoveMacTab(station_, e, &removeFromOs);
        EXPECT_EQ(removeFromOs, c.expected) << int(c.cancel) << int(c.osPeer);
    }
}

TEST_F(MacTableRemoval, TheOsLearnsOfAPeerOnceAndForgetsItOnceAtPassiveLevel)
{
    PMAC_TABLE_ENTRY entry = Insert(station_, 0x80);
    ASSERT_NE(entry, nullptr);
    station_->NetAdapter = reinterpret_cast<NETADAPTER>(uintptr_t{0x1000});
    MacTabAddPeer(adapter_, station_, entry, entry->Addr);
    MacTabAddPeer(adapter_, station_, entry, entry->Addr);  // already known: no second call
    EXPECT_EQ(entry->OsPeerAdded, 1);
    EXPECT_EQ(station_->ConnectionFlags & 0x200000u, 0x200000u);
    MacTabRemovePeer(adapter_, station_, entry, entry->Addr);
    MacTabRemovePeer(adapter_, station_, entry, entry->Addr);  // no longer known: no call
    EXPECT_EQ(entry->OsPeerAdded, 0);
    EXPECT_EQ(station_->ConnectionFlags & 0x200000u, 0u);

    const auto calls = kshim::host::PeerCalls();
    ASSERT_EQ(calls.size(), 2u);
    const std::array<uint8_t, 6> addr = {0x02, 0x11, 0x22, 0x33, 0x44, 0x80};
    EXPECT_TRUE(calls[0].add);
    EXPECT_FALSE(calls[1].add);
    EXPECT_EQ(calls[0].address, addr);
    EXPECT_EQ(calls[1].address, addr);
    EXPECT_EQ(calls[0].adapter, station_->NetAdapter);
    EXPECT_EQ(adapter_->Mlme.PeerCallBusy, 0);
    station_->NetAdapter = nullptr;
}

TEST_F(MacTableRemoval, AtDispatchLevelThePeerCallsAreLeftToThePassiveThreads)
{
    PMAC_TABLE_ENTRY entry = Insert(station_, 0x90);
    ASSERT_NE(entry, nullptr);
    station_->NetAdapter = reinterpret_cast<NETADAPTER>(uintptr_t{0x1000});
    KIRQL old = 0;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    MacTabAddPeer(adapter_, station_, entry, entry->Addr);
    entry->OsPeerAdded = 1;
    MacTabRemovePeer(adapter_, station_, entry, entry->Addr);
    KeLowerIrql(old);
    EXPECT_TRUE(kshim::host::PeerCalls().empty());
    EXPECT_EQ(entry->OsPeerAdded, 1);
    EXPECT_EQ(adapter_->Mlme.PeerCallBusy, 0);
    station_->NetAdapter = nullptr;
}

TEST_F(MacTableRemoval, AGroupOwnerRemovesAPeerFromTheOsWhateverItsMarkSays)
{
    MP_PORT* go = AddPort(2, WFD_GO);
    PMAC_TABLE_ENTRY entry = Insert(go, 0xA0);
    ASSERT_NE(entry, nullptr);
    go->NetAdapter = reinterpret_cast<NETADAPTER>(uintptr_t{0x2000});
    entry->OsPeerAdded = 0;
    MacTabRemovePeer(adapter_, go, entry, entry->Addr);
    MacTabAddPeer(adapter_, go, entry, entry->Addr);
    const auto calls = kshim::host::PeerCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_FALSE(calls[0].add);
    EXPECT_TRUE(calls[1].add);
    EXPECT_EQ(go->ConnectionFlags & 0x200000u, 0u);  // a group owner's status keeps no peer bit
    go->NetAdapter = nullptr;
}

}  // namespace
}  // namespace mlmetest
