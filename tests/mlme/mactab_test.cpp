// The MAC table: the pool of 20, insertion by port type, the initial state and the lookups.
#include "mlme/mlme_fixture.h"

namespace mlmetest {
namespace {

UCHAR PeerAddress(int i) { return static_cast<UCHAR>(0x40 + i); }

class MacTable : public MlmeTest {
protected:
    void SetUp() override
    {
        MlmeTest::SetUp();
        station_ = AddPort(0, EXTSTA);
        ASSERT_EQ(MlmeSyncInitMacTabPool(adapter_), STATUS_SUCCESS);
    }

    PMAC_TABLE_ENTRY Insert(MP_PORT* port, int i, UCHAR fullReset = TRUE)
    {
        UCHAR address[6] = {0x02, 0x11, 0x22, 0x33, 0x44, PeerAddress(i)};
        return MacTableInsertEntry(adapter_, port, address, fullReset);
    }

    MP_PORT* station_ = nullptr;
};

TEST_F(MacTable, AFreshPoolHandsOutIndexesOneToNineteenThenRefuses)
{
    EXPECT_EQ(adapter_->MacTabPool.FreeCount, 19);
    for (int i = 1; i < MAC_TABLE_POOL_SIZE; ++i) {
        PMAC_TABLE_ENTRY entry = Insert(station_, i);
        ASSERT_NE(entry, nullptr) << i;
        EXPECT_EQ(entry->WlanIdx, i);
        EXPECT_EQ(entry->StaRecIdx, i);
        EXPECT_EQ(entry->FwStaRecIdx, i);
    }
    EXPECT_EQ(Insert(station_, 20), nullptr);  // entry 0 is reserved
    EXPECT_EQ(adapter_->MacTabPool.FreeCount, 0);
    EXPECT_EQ(station_->MacTab.Count, 19);
    EXPECT_EQ(station_->MacTab.PeerCount, 19);
    EXPECT_EQ(adapter_->MacTabPool.Entries[0].Kind, MAC_ENTRY_KIND_UNUSED);
    EXPECT_EQ(adapter_->MacTabPool.Entries[0].Valid, 0);
}

TEST_F(MacTable, KindAndTypeFollowThePortType)
{
    struct Case {
        ULONG portType;
        USHORT kind;
        ULONG type;
    };
    const Case cases[] = {
        {EXTSTA, MAC_ENTRY_KIND_PEER, MAC_ENTRY_TYPE_STA},
        {EXTAP, MAC_ENTRY_KIND_PEER, MAC_ENTRY_TYPE_AP_PEER},
        {WFD_GO, MAC_ENTRY_KIND_GO_CLIENT, MAC_ENTRY_TYPE_GO_CLIENT},
        {WFD_CLIENT, MAC_ENTRY_KIND_CLIENT_GO, MAC_ENTRY_TYPE_CLIENT_GO},
        {WFD_DEVICE, MAC_ENTRY_KIND_PEER, 0},  // keeps the type the entry had (a fresh entry: 0)
    };
    int i = 1;
    for (const Case& c : cases) {
        MP_PORT* port = AddPort(1, c.portType);
        PMAC_TABLE_ENTRY entry = Insert(port, i++);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->Kind, c.kind) << c.portType;
        EXPECT_EQ(entry->EntryType, c.type) << c.portType;
        EXPECT_EQ(entry->OwnerPort, port);
        ASSERT_EQ(MlmeSyncDeInitMacTab(port), STATUS_SUCCESS);
        delete port;
        adapter_->PortList[1] = nullptr;
    }
    EXPECT_EQ(adapter_->MacTabPool.FreeCount, 19);
}

TEST_F(MacTable, PortInitialisationInsertsTheTwoOwnEntries)
{
    ASSERT_EQ(MlmeSyncInitMacTab(station_, TRUE), STATUS_SUCCESS);
    ASSERT_EQ(station_->MacTab.Count, 2);
    EXPECT_EQ(station_->MacTab.PeerCount, 2);
    PMAC_TABLE_ENTRY own = station_->MacTab.Head;
    PMAC_TABLE_ENTRY second = own->Next;
    EXPECT_EQ(own->Kind, MAC_ENTRY_KIND_OWN_BSS);
    EXPECT_EQ(own->EntryType, MAC_ENTRY_TYPE_AP_PEER);
    EXPECT_EQ(second->Kind, MAC_ENTRY_KIND_PEER);
    EXPECT_EQ(second->EntryType, MAC_ENTRY_TYPE_STA);
    EXPECT_EQ(station_->MacTab.OwnWlanIdx, own->WlanIdx);
    EXPECT_EQ(0, std::memcmp(own->Addr, station_->MacAddress, 6));
    EXPECT_EQ(MlmeSyncGetWlanIdxByRoleType(station_, MAC_ENTRY_KIND_OWN_BSS), 1);
    EXPECT_EQ(MlmeSyncGetWlanIdxByRoleType(station_, MAC_ENTRY_KIND_PEER), 2);

    // Without own entries the list is only cleared (its entries are the teardown's to return).
    ASSERT_EQ(MlmeSyncDeInitMacTab(station_), STATUS_SUCCESS);
    ASSERT_EQ(MlmeSyncInitMacTab(station_, FALSE), STATUS_SUCCESS);
    EXPECT_EQ(station_->MacTab.Count, 0);
    EXPECT_EQ(station_->MacTab.Head, nullptr);
}

TEST_F(MacTable, AnEntryTakenAgainKeepsItsIndexAndItsTimer)
{
    PMAC_TABLE_ENTRY first = Insert(station_, 1);
    ASSERT_NE(first, nullptr);
    PlatformInitTimer(station_, &first->EntryTimer, nullptr, 0, "PeerTimer");
    first->AssocState = MAC_ENTRY_ASSOCIATED;
    first->OsPeerAdded = 1;
    ASSERT_EQ(MlmeSyncDeInitMacTab(station_), STATUS_SUCCESS);

    // The free list is first-in first-out: the returned entry comes back after the other 18.
    PMAC_TABLE_ENTRY again = nullptr;
    for (int i = 2; i <= 19; ++i) {
        again = Insert(station_, i);
    }
    EXPECT_EQ(again->WlanIdx, 19);
    again = Insert(station_, 20);
    ASSERT_EQ(again, first);
    EXPECT_EQ(again->WlanIdx, 1);
    EXPECT_EQ(again->StaRecIdx, 1);
    EXPECT_EQ(again->EntryTimer.Initialized, 1);
    EXPECT_STREQ(again->EntryTimer.Name, "PeerTimer");
    EXPECT_EQ(again->EntryTimer.Port, station_);
    EXPECT_EQ(again->AssocState, 0u);
    EXPECT_EQ(again->OsPeerAdded, 0);
    EXPECT_EQ(again->Addr[5], PeerAddress(20));
}

TEST_F(MacTable, InitialStateOfAnEntry)
{
    station_->Cfg.AuthAlgorithm = 7;
    station_->Cfg.PairwiseCipher = 4;
    adapter_->Mlme.ListenInterval = 10;
    PMAC_TABLE_ENTRY entry = Insert(station_, 1);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->Valid, 1);
    EXPECT_EQ(entry->Adapter, adapter_);
    EXPECT_EQ(entry->AuthMode, 7u);
    EXPECT_EQ(entry->CipherMode, 4u);
    EXPECT_EQ(entry->KeyState, 3u);
    EXPECT_EQ(entry->LastRxSeq, 0xFFFu);
    EXPECT_EQ(entry->ListenInterval, 10);
    for (USHORT seq : entry->RxSeqCache) {
        EXPECT_EQ(seq, 0xFFFF);
    }
    for (USHORT seq : entry->TxTidSeq) {
        EXPECT_EQ(seq, 0xFFFF);
    }
    for (UCHAR b : entry->TxTidState) {
        EXPECT_EQ(b, 0);
    }
    EXPECT_EQ(entry->MaxNssWord, 0x00FF);
    EXPECT_EQ(entry->MaxNssByte, 1);
    EXPECT_EQ(entry->PsWord, 2);
    EXPECT_EQ(entry->RateWord, 0x0303);
}

TEST_F(MacTable, KeyStateByAuthenticationAlgorithm)
{
    struct Case {
        ULONG auth;
        ULONG keyState;
    };
    const Case cases[] = {{1, 0}, {2, 0}, {3, 3}, {7, 3}, {9, 3}, {0x80000004u, 0}, {0x80000006u, 3}};
    for (const Case& c : cases) {
        station_->Cfg.AuthAlgorithm = c.auth;
        PMAC_TABLE_ENTRY entry = Insert(station_, 1);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->KeyState, c.keyState) << std::hex << c.auth;
        ASSERT_EQ(MlmeSyncDeInitMacTab(station_), STATUS_SUCCESS);
    }
}

TEST_F(MacTable, MaxNssFromThePeersMcsSetAndThePortsStreams)
{
    struct Case {
        UCHAR streams;
        UCHAR mcs[3];
        UCHAR maxNss;
    };
    const Case cases[] = {
        {2, {0xFF, 0xFF, 0x00}, 2}, {2, {0xFF, 0xFF, 0xFF}, 2}, {3, {0xFF, 0xFF, 0x00}, 2},
        {3, {0xFF, 0xFF, 0xFF}, 1}, {2, {0xFF, 0x7F, 0x00}, 1}, {1, {0xFF, 0xFF, 0x00}, 1},
    };
    for (const Case& c : cases) {
        adapter_->Cap.ChipStreams = static_cast<UCHAR>((c.streams << 4) | c.streams);
        PMAC_TABLE_ENTRY entry = &adapter_->MacTabPool.Entries[5];
        std::memcpy(entry->HtMcsSet, c.mcs, 3);
        MacTableSetToInitState(adapter_, station_, entry, FALSE);  // keeps the peer's MCS set
        EXPECT_EQ(entry->MaxNss, c.maxNss) << int(c.streams) << " " << int(c.mcs[1]) << " " << int(c.mcs[2]);
    }
}

TEST_F(MacTable, LookupsAndTheirAnswersWhenAbsent)
{
    MP_PORT* go = AddPort(2, WFD_GO);
    PMAC_TABLE_ENTRY a = Insert(station_, 1);
    PMAC_TABLE_ENTRY b = Insert(go, 2);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    UCHAR address[6] = {0x02, 0x11, 0x22, 0x33, 0x44, PeerAddress(2)};
    UCHAR absent[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x01};

    EXPECT_EQ(MacTableLookup(adapter_, go, address), b);
    EXPECT_EQ(MacTableLookup(adapter_, station_, address), nullptr);
    EXPECT_EQ(MlmeSyncMacTabMatchedBssid(go, address), b);
    EXPECT_EQ(MlmeSyncMacTabMatchedBssid(go, absent), nullptr);
    EXPECT_EQ(MlmeSyncMacTabMatchedBssid(nullptr, address), nullptr);
    EXPECT_EQ(MlmeSyncMacTabMatchedBssidOnly(go, address), b);
    EXPECT_EQ(MlmeSyncMacTabMatchedWlanIdx(go, 2), b);
    EXPECT_EQ(MlmeSyncMacTabMatchedWlanIdx(go, 1), nullptr);
    EXPECT_EQ(MlmeSyncMacTabMatchedRoleType(go, MAC_ENTRY_KIND_GO_CLIENT), b);
    EXPECT_EQ(MlmeSyncMacTabMatchedPort(station_, MAC_ENTRY_KIND_PEER), a);
    EXPECT_EQ(MlmeSyncMacTabMatchedStaRecIdx(adapter_, 2), b);
    EXPECT_EQ(MlmeSyncMacTabMatchedStaRecIdx(adapter_, 20), nullptr);

    EXPECT_EQ(MlmeSyncGetRoleTypeByWlanIdx(go, 2), MAC_ENTRY_KIND_GO_CLIENT);
    EXPECT_EQ(MlmeSyncGetRoleTypeByWlanIdx(go, 7), WLAN_ROLE_NONE);
    EXPECT_EQ(MlmeSyncGetWlanIdxByRoleType(go, MAC_ENTRY_KIND_GO_CLIENT), 2);
    EXPECT_EQ(MlmeSyncGetWlanIdxByRoleType(go, MAC_ENTRY_KIND_CLIENT_GO), WLAN_INDEX_NONE);

    EXPECT_EQ(MlmeSyncGetPortByWlanIdx(adapter_, 2), go);
    EXPECT_EQ(MlmeSyncGetPortByWlanIdx(adapter_, 1), station_);
    go->Active = 0;  // only active ports are searched
    EXPECT_EQ(MlmeSyncGetPortByWlanIdx(adapter_, 2), nullptr);
    EXPECT_EQ(MlmeSyncGetPortByWlanIdx(adapter_, 9), nullptr);
}

TEST_F(MacTable, PortLookups)
{
    MP_PORT* client = AddPort(3, WFD_CLIENT);
    MP_PORT* ap = AddPort(1, EXTAP);
    EXPECT_EQ(MlmeSyncGetPortByType(adapter_, EXTAP), ap);
    EXPECT_EQ(MlmeSyncGetPortByType(adapter_, WFD_GO), nullptr);

    // No link anywhere: the adapter's current port.
    EXPECT_EQ(MlmeSyncGetConnectedStaPort(adapter_), station_);
    client->ConnectionFlags = PORT_STATUS_INFRA_LINK_UP;
    EXPECT_EQ(MlmeSyncGetConnectedStaPort(adapter_), client);
    ap->ConnectionFlags = PORT_STATUS_INFRA_LINK_UP;  // not a station port
    client->Active = 0;
    EXPECT_EQ(MlmeSyncGetConnectedStaPort(adapter_), station_);
    station_->ConnectionFlags = PORT_STATUS_ADHOC_LINK_UP;
    EXPECT_EQ(MlmeSyncGetConnectedStaPort(adapter_), station_);

    EXPECT_EQ(MlmeSyncGetP2pRolePort(adapter_, 2), nullptr);
}

TEST_F(MacTable, RoleForFirmwareCommands)
{
    struct Case {
        ULONG type;
        ULONG flags;
        UCHAR opMode;
        USHORT role;
    };
    const Case cases[] = {
        {EXTSTA, 0, 0, WLAN_ROLE_STA},         {EXTSTA, PORT_STATUS_ADHOC_LINK_UP, 0, WLAN_ROLE_ADHOC},
        {EXTSTA, 0, 1, WLAN_ROLE_ADHOC},       {EXTAP, 0, 0, WLAN_ROLE_STA},
        {WFD_GO, 0, 0, WLAN_ROLE_STA},         {WFD_CLIENT, 0, 0, WLAN_ROLE_P2P_CLIENT},
        {WFD_DEVICE, 0, 0, WLAN_ROLE_P2P_DEVICE}, {HELPER, 0, 0, WLAN_ROLE_NONE},
    };
    for (const Case& c : cases) {
        station_->PortType = c.type;
        station_->ConnectionFlags = c.flags;
        adapter_->RegistryBlock.OpMode = c.opMode;
        EXPECT_EQ(GetWlanRoleType(station_), c.role) << c.type << " " << c.flags << " " << int(c.opMode);
    }
    EXPECT_EQ(GetWlanRoleType(nullptr), WLAN_ROLE_NONE);
}

TEST_F(MacTable, InsertionWithoutAPortTakesNothing)
{
    UCHAR address[6] = {};
    EXPECT_EQ(MacTableInsertEntry(adapter_, nullptr, address, TRUE), nullptr);
    EXPECT_EQ(adapter_->MacTabPool.FreeCount, 19);
}

}  // namespace
}  // namespace mlmetest
