// The connect attempt's candidate order (retry filling, the sort by rank score and the dual-band
// concurrency ranking) and the firmware BSS index slots.
#include "connect/cntl_fixture.h"

#include <memory>

#include "Common/cnm.h"
#include "Common/p2p/p2p.h"

namespace cntltest {
namespace {

class Candidates : public CntlTest {
protected:
    std::vector<std::pair<UCHAR, USHORT>> Order()
    {
        std::vector<std::pair<UCHAR, USHORT>> out;
        const BSS_TABLE& t = adapter_->Mlme.ConnectCandidates;
        for (ULONG i = 0; i < t.EntryCount; ++i) {
            out.emplace_back(t.BssEntry[i].Bssid[5], t.BssEntry[i].Score);
        }
        return out;
    }
    void Clear() { ClearCandidates(); }
};

TEST_F(Candidates, ShortListsAreRepeatedUpToFiveAndSortedByScore)
{
    const UCHAR* aps[] = {kApA, kApB, kApC};
    struct Case {
        std::vector<USHORT> scores;
        std::vector<std::pair<UCHAR, USHORT>> expected;
    } cases[] = {
        {{90}, {{0x0A, 90}, {0x0A, 90}, {0x0A, 90}, {0x0A, 90}, {0x0A, 90}}},
        // A B A B A, then sorted: A three times before B.
        {{90, 50}, {{0x0A, 90}, {0x0A, 90}, {0x0A, 90}, {0x0B, 50}, {0x0B, 50}}},
        {{50, 90}, {{0x0B, 90}, {0x0B, 90}, {0x0A, 50}, {0x0A, 50}, {0x0A, 50}}},
        // A B C A B.
        {{10, 30, 20}, {{0x0B, 30}, {0x0B, 30}, {0x0C, 20}, {0x0A, 10}, {0x0A, 10}}},
    };
    for (const Case& c : cases) {
        Clear();
        for (size_t i = 0; i < c.scores.size(); ++i) {
            AddCandidate(aps[i], c.scores[i]);
        }
        ReArrangeConnCandidate(adapter_, &adapter_->Mlme.ConnectCandidates);
        EXPECT_EQ(Order(), c.expected) << c.scores.size() << " candidates";
    }
}

TEST_F(Candidates, FiveOrMoreCandidatesAreLeftAsTheyAre)
{
    const UCHAR* aps[] = {kApA, kApB, kApC, kApA, kApB};
    const USHORT scores[] = {10, 50, 20, 90, 30};
    for (int i = 0; i < 5; ++i) {
        AddCandidate(aps[i], scores[i]);
    }
    const auto before = Order();
    ReArrangeConnCandidate(adapter_, &adapter_->Mlme.ConnectCandidates);
    EXPECT_EQ(Order(), before);
    Clear();
    ReArrangeConnCandidate(adapter_, &adapter_->Mlme.ConnectCandidates);  // empty stays empty
    EXPECT_EQ(adapter_->Mlme.ConnectCandidates.EntryCount, 0);
}

class DualBand : public Candidates {
protected:
    void SetUp() override
    {
        Candidates::SetUp();
        block_ = std::make_unique<P2P_CTRL_BLOCK>();
        adapter_->P2pBlock = block_.get();
        go_ = AddPort(2, WFD_GO);
    }
    void TearDown() override
    {
        adapter_->P2pBlock = nullptr;
        Candidates::TearDown();
    }
    void GroupOn(ULONG band)
    {
        block_->P2pRoleFlags = 0x10;  // the group owner is up
        go_->Channel.Band = band;
        go_->P2pGoActive = 1;
    }
    std::unique_ptr<P2P_CTRL_BLOCK> block_;
    MP_PORT* go_ = nullptr;
};

TEST_F(DualBand, AGroupOnFiveGigahertzBringsTheStationToTwoPointFour)
{
    GroupOn(2);
    AddCandidate(kApA, 40, 1, 6);
    AddCandidate(kApB, 60, 2, 36);
    ReArrangeDbdcConnCandidate(adapter_, port_, &adapter_->Mlme.ConnectCandidates);
    EXPECT_EQ(adapter_->Mlme.ConnectCandidates.BssEntry[0].Score, 80);  // 60 + 20
    ReArrangeConnCandidate(adapter_, &adapter_->Mlme.ConnectCandidates);
    EXPECT_EQ(Order()[0], (std::pair<UCHAR, USHORT>{0x0A, 80}));
}

TEST_F(DualBand, AGroupOnTwoPointFourMovesTheStationAwayWithAFloorOfZero)
{
    GroupOn(1);
    AddCandidate(kApA, 50, 1, 6);
    AddCandidate(kApB, 10, 2, 36);
    ReArrangeDbdcConnCandidate(adapter_, port_, &adapter_->Mlme.ConnectCandidates);
    EXPECT_EQ(adapter_->Mlme.ConnectCandidates.BssEntry[0].Score, 0);  // 10 - 20, not below 0
    EXPECT_EQ(adapter_->Mlme.ConnectCandidates.BssEntry[1].Score, 10);
}

TEST_F(DualBand, NoGroupOrTheCompanionRadioLeavesTheScores)
{
    AddCandidate(kApA, 40, 1, 6);
    AddCandidate(kApB, 60, 2, 36);
    ReArrangeDbdcConnCandidate(adapter_, port_, &adapter_->Mlme.ConnectCandidates);
    EXPECT_EQ(adapter_->Mlme.ConnectCandidates.BssEntry[0].Score, 40);
    GroupOn(2);
    adapter_->Mlme.Cntl.DbdcCompanion = 1;
    ReArrangeDbdcConnCandidate(adapter_, port_, &adapter_->Mlme.ConnectCandidates);
    EXPECT_EQ(adapter_->Mlme.ConnectCandidates.BssEntry[0].Score, 40);
}

class Slots : public mlmetest::MlmeTest {};

TEST_F(Slots, PortsTakeTheLowestFreeSlotAndOwnMacIndex)
{
    MP_PORT* first = AddPort(0, EXTSTA);
    MP_PORT* second = AddPort(1, EXTAP);
    MP_PORT* device = AddPort(2, WFD_DEVICE);
    for (MP_PORT* p : {first, second, device}) {
        p->BssIndex = 0xFF;
    }
    cnmInitBssInfo(adapter_);

    PBSS_INDEX_SLOT s = cnmInitAndGetBssIndexForPort(adapter_, first, 0, FALSE);
    ASSERT_EQ(s, &adapter_->BssIndexSlots[0]);
    EXPECT_EQ(first->BssIndex, 0);
    EXPECT_EQ(first->OwnMacIndex, 0);
    EXPECT_EQ(s->BandIndex, 0xFF);

    s = cnmInitAndGetBssIndexForPort(adapter_, second, 1, FALSE);
    ASSERT_EQ(s, &adapter_->BssIndexSlots[1]);
    EXPECT_EQ(second->BssIndex, 1);
    EXPECT_EQ(second->OwnMacIndex, 1);
    EXPECT_EQ(second->BssIndexValue, 1u);

    // Binding again keeps the slot and changes only the stored value.
    s = cnmInitAndGetBssIndexForPort(adapter_, second, 7, FALSE);
    EXPECT_EQ(s, &adapter_->BssIndexSlots[1]);
    EXPECT_EQ(second->BssIndexValue, 7u);
    EXPECT_EQ(second->OwnMacIndex, 1);

    // The device port always gets slot 4.
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(cnmInitAndGetBssIndexForPort(adapter_, device, 1, TRUE), &adapter_->BssIndexSlots[4]);
    }
    EXPECT_EQ(device->BssIndex, 4);
    EXPECT_EQ(device->OwnMacIndex, 4);

    // A freed slot is bound again by the next port; its port reference stayed until then.
    EXPECT_EQ(cnmFreeBssInfo(adapter_, &adapter_->BssIndexSlots[0]), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->BssIndexSlots[0].InUse, 0);
    EXPECT_EQ(adapter_->BssIndexSlots[0].Port, first);
    EXPECT_EQ(cnmFreeBssInfo(adapter_, nullptr), STATUS_SUCCESS);
    MP_PORT* third = AddPort(3, WFD_GO);
    third->BssIndex = 0xFF;
    EXPECT_EQ(cnmInitAndGetBssIndexForPort(adapter_, third, 1, FALSE), &adapter_->BssIndexSlots[0]);
    EXPECT_EQ(third->OwnMacIndex, 0);
}

TEST_F(Slots, AllFourRoleSlotsTakenGivesNone)
{
    cnmInitBssInfo(adapter_);
    for (ULONG i = 0; i < 4; ++i) {
        MP_PORT* p = AddPort(i, EXTSTA);
        p->BssIndex = 0xFF;
        ASSERT_NE(cnmInitAndGetBssIndexForPort(adapter_, p, 0, FALSE), nullptr);
        EXPECT_EQ(p->OwnMacIndex, i);
    }
    MP_PORT* fifth = AddPort(4, WFD_CLIENT);
    fifth->BssIndex = 0xFF;
    EXPECT_EQ(cnmInitAndGetBssIndexForPort(adapter_, fifth, 1, FALSE), nullptr);
    EXPECT_EQ(fifth->BssIndex, 0xFF);  // keeps its previous value
}

}  // namespace
}  // namespace cntltest
