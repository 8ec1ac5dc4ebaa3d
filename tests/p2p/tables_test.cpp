// The Wi-Fi Direct control block's tables, the state and WPS names and the operating classes.
#include <string>

#include "Common/mlme/mlme.h"
#include "p2p/p2p_fixture.h"
#include "support/crossings.h"

namespace {

using p2ptest::Addr;
using p2ptest::Address;
using p2ptest::P2pTest;

class P2pTables : public P2pTest {
protected:
    void SetUp() override
    {
        P2pTest::SetUp();
        P2pGroupTabInit(A());
        P2pDiscoTabInit(A());
        P2pCrednTabInit(A());
    }
    UCHAR GroupInsert(const Address& a, LONG state, const char* ssid = nullptr)
    {
        return P2pGroupTabInsert(A(), a.data(), state, reinterpret_cast<const UCHAR*>(ssid),
                                 static_cast<UCHAR>(ssid != nullptr ? std::strlen(ssid) : 0));
    }
    // A discovery entry as the scan path makes it.
    UCHAR DiscoAdd(const Address& device, const Address* iface = nullptr)
    {
        UCHAR index = P2pDiscoTabInsert(A(), device.data(), iface != nullptr ? iface->data() : nullptr, nullptr, 0);
        if (index < P2P_TABLE_LIMIT) {
            Block()->DiscoTable[index].Valid = 1;
        }
        return index;
    }
};

TEST_F(P2pTables, GroupInsertOfAKnownAddressUpdatesItsEntry)
{
    Address peer = Addr(1);
    UCHAR first = GroupInsert(peer, P2PSTATE_DISCOVERY, "DIRECT-ab");
    ASSERT_EQ(first, 0);
    EXPECT_EQ(Block()->GroupEntryCount, 1);
    // Same address again: same entry, no new count; state 0 keeps the state but the length is taken.
    EXPECT_EQ(GroupInsert(peer, P2PSTATE_NONE), first);
    EXPECT_EQ(Block()->GroupEntryCount, 1);
    const P2P_GROUP_ENTRY& entry = Block()->GroupTable[first];
    EXPECT_EQ(entry.State, P2PSTATE_DISCOVERY);
    EXPECT_EQ(entry.SsidLen, 0);
    EXPECT_EQ(GroupInsert(peer, P2PSTATE_INVITE_COMMAND, "x"), first);
    EXPECT_EQ(entry.State, P2PSTATE_INVITE_COMMAND);
    EXPECT_EQ(entry.SsidLen, 1);
}

TEST_F(P2pTables, NewGroupEntryStartValues)
{
    UCHAR go = GroupInsert(Addr(1), P2PSTATE_DISCOVERY_GO);
    UCHAR client = GroupInsert(Addr(2), P2PSTATE_DISCOVERY_CLIENT);
    const P2P_GROUP_ENTRY& g = Block()->GroupTable[go];
    const P2P_GROUP_ENTRY& c = Block()->GroupTable[client];
    EXPECT_EQ(g.Role, P2P_ROLE_GO);
    EXPECT_EQ(c.Role, P2P_ROLE_DEVICE);
    EXPECT_EQ(g.GoEntryIndex, P2P_NO_ENTRY);
    EXPECT_EQ(g.AssocValue, 0xFFFF);
    EXPECT_EQ(g.FormFlags, 0);
    EXPECT_NE(g.DialogToken, 0);
}

TEST_F(P2pTables, DialogTokenOfZeroOrAbove245BecomesSix)
{
    // Find seeds whose first random byte is out of range and one whose byte is in range.
    ULONG badSeed = 0;
    ULONG goodSeed = 0;
    UCHAR goodByte = 0;
    for (ULONG seed = 1; seed < 100000 && (badSeed == 0 || goodSeed == 0); ++seed) {
        adapter_->RandomSeed = seed;
        UCHAR b = RandomOctetGet(A());
        if ((b == 0 || b > 245) && badSeed == 0) {
            badSeed = seed;
        } else if (b != 0 && b <= 245 && goodSeed == 0) {
            goodSeed = seed;
            goodByte = b;
        }
    }
    ASSERT_NE(badSeed, 0u);
    adapter_->RandomSeed = badSeed;
    EXPECT_EQ(Block()->GroupTable[GroupInsert(Addr(1), 1)].DialogToken, 6);
    adapter_->RandomSeed = goodSeed;
    EXPECT_EQ(Block()->GroupTable[GroupInsert(Addr(2), 1)].DialogToken, goodByte);
}

TEST_F(P2pTables, AnAddressBehindAFreedEntryGetsASecondEntry)
{
    Address a = Addr(1);
    Address b = Addr(2);
    ASSERT_EQ(GroupInsert(a, P2PSTATE_DISCOVERY), 0);
    ASSERT_EQ(GroupInsert(b, P2PSTATE_DISCOVERY), 1);
    EXPECT_EQ(P2pGroupTabDelete(A(), 0, nullptr), 0);
    EXPECT_EQ(GroupInsert(b, P2PSTATE_DISCOVERY), 0);
    EXPECT_EQ(Block()->GroupEntryCount, 2);
    // Search returns the last match.
    EXPECT_EQ(P2pGroupTabSearch(A(), b.data()), 1);
}

TEST_F(P2pTables, GroupDeleteTwiceCountsOnceAndDeleteByAddressSearches)
{
    ASSERT_EQ(GroupInsert(Addr(1), P2PSTATE_DISCOVERY), 0);
    ASSERT_EQ(GroupInsert(Addr(2), P2PSTATE_DISCOVERY), 1);
    EXPECT_EQ(P2pGroupTabDelete(A(), 0, nullptr), 0);
    EXPECT_EQ(P2pGroupTabDelete(A(), 0, nullptr), 0);
    EXPECT_EQ(Block()->GroupEntryCount, 1);
    Address two = Addr(2);
    EXPECT_EQ(P2pGroupTabDelete(A(), P2P_NO_ENTRY, two.data()), 1);
    EXPECT_EQ(Block()->GroupEntryCount, 0);
    const P2P_GROUP_ENTRY& e = Block()->GroupTable[1];
    EXPECT_EQ(e.State, 0);
    EXPECT_EQ(e.Role, P2P_ROLE_DEVICE);
    EXPECT_EQ(e.AssocValue, 0xFFFF);
    // An unknown address, or an index of 30 and more without one, is given back unchanged.
    EXPECT_EQ(P2pGroupTabDelete(A(), P2P_NO_ENTRY, two.data()), P2P_NO_ENTRY);
    EXPECT_EQ(P2pGroupTabDelete(A(), 30, nullptr), 30);
}

TEST_F(P2pTables, GroupSearchMatchesAnyOfTheThreeAddressesOfALiveEntry)
{
    UCHAR index = GroupInsert(Addr(1), P2PSTATE_DISCOVERY);
    Address iface = Addr(0x21);
    Address bssid = Addr(0x31);
    std::memcpy(Block()->GroupTable[index].InterfaceAddress, iface.data(), 6);
    std::memcpy(Block()->GroupTable[index].GroupBssid, bssid.data(), 6);
    EXPECT_EQ(P2pGroupTabSearch(A(), iface.data()), index);
    EXPECT_EQ(P2pGroupTabSearch(A(), bssid.data()), index);
    Block()->GroupTable[index].State = 0;
    EXPECT_EQ(P2pGroupTabSearch(A(), iface.data()), P2P_NO_ENTRY);
}

TEST_F(P2pTables, RefusedAddresses)
{
    Address group = Addr(1, 0x03);
    Address zero{};
    Address broadcast{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    for (const Address* a : {&group, &zero, &broadcast}) {
        EXPECT_EQ(GroupInsert(*a, P2PSTATE_DISCOVERY), P2P_NO_ENTRY);
        EXPECT_EQ(P2pDiscoTabInsert(A(), a->data(), nullptr, nullptr, 0), P2P_NO_ENTRY);
        EXPECT_EQ(P2pGroupTabSearch(A(), a->data()), P2P_NO_ENTRY);
        EXPECT_EQ(P2pDiscoTabSearch(A(), a->data(), nullptr, nullptr), P2P_NO_ENTRY);
        UCHAR index = 0x55;
        EXPECT_FALSE(P2pCrednEntrySearch(A(), a->data(), &index));
        EXPECT_EQ(index, 0x55);
    }
    EXPECT_EQ(Block()->GroupEntryCount, 0);
    EXPECT_EQ(Block()->DiscoEntryCount, 0);
}

TEST_F(P2pTables, FullTablesRefuseWithoutEvicting)
{
    for (UCHAR i = 0; i < 30; ++i) {
        ASSERT_EQ(GroupInsert(Addr(i + 1), P2PSTATE_DISCOVERY), i);
        ASSERT_EQ(DiscoAdd(Addr(i + 1)), i);
    }
    EXPECT_EQ(GroupInsert(Addr(100), P2PSTATE_DISCOVERY), P2P_NO_ENTRY);
    EXPECT_EQ(DiscoAdd(Addr(100)), P2P_NO_ENTRY);
    EXPECT_EQ(Block()->GroupEntryCount, 30);
    EXPECT_EQ(Block()->DiscoEntryCount, 30);
    Address first = Addr(1);
    EXPECT_EQ(P2pGroupTabSearch(A(), first.data()), 0);
}

TEST_F(P2pTables, SsidLongerThanItsFieldIsCutToThirtyTwoBytes)
{
    // A caller's SSID of 40 bytes: only 32 are taken and the length says so.
    UCHAR ssid[40];
    std::memset(ssid, 'S', sizeof(ssid));
    Address peer = Addr(1);
    UCHAR g = P2pGroupTabInsert(A(), peer.data(), P2PSTATE_DISCOVERY, ssid, sizeof(ssid));
    UCHAR d = P2pDiscoTabInsert(A(), peer.data(), nullptr, ssid, sizeof(ssid));
    EXPECT_EQ(Block()->GroupTable[g].SsidLen, 32);
    EXPECT_EQ(Block()->DiscoTable[d].SsidLen, 32);
    EXPECT_EQ(std::memcmp(Block()->GroupTable[g].Ssid, ssid, 32), 0);
    // A shorter SSID leaves no bytes of the longer one behind.
    UCHAR shorter[3] = {'a', 'b', 'c'};
    (void)P2pGroupTabInsert(A(), peer.data(), P2PSTATE_NONE, shorter, 3);
    EXPECT_EQ(Block()->GroupTable[g].SsidLen, 3);
    EXPECT_EQ(Block()->GroupTable[g].Ssid[3], 0);
}

TEST_F(P2pTables, DiscoInsertOfAKnownDeviceKeepsItsEntryAndTakesANewInterface)
{
    Address dev = Addr(1);
    Address if1 = Addr(0x21);
    Address if2 = Addr(0x22);
    UCHAR index = DiscoAdd(dev, &if1);
    ASSERT_EQ(index, 0);
    EXPECT_EQ(P2pDiscoTabInsert(A(), dev.data(), nullptr, nullptr, 0), index);
    EXPECT_EQ(std::memcmp(Block()->DiscoTable[index].InterfaceAddress, if1.data(), 6), 0);
    EXPECT_EQ(P2pDiscoTabInsert(A(), dev.data(), if2.data(), nullptr, 0), index);
    EXPECT_EQ(std::memcmp(Block()->DiscoTable[index].InterfaceAddress, if2.data(), 6), 0);
    EXPECT_EQ(Block()->DiscoEntryCount, 1);
}

TEST_F(P2pTables, DiscoSearchByInterfaceRecordsSevenAndReturnsTheEighth)
{
    Address iface = Addr(0x77);
    for (UCHAR i = 0; i < 9; ++i) {
        ASSERT_EQ(DiscoAdd(Addr(i + 1), &iface), i);
    }
    UCHAR indexes[P2P_DISCO_SEARCH_INDEXES + 1];
    std::memset(indexes, 0xEE, sizeof(indexes));
    EXPECT_EQ(P2pDiscoTabSearch(A(), nullptr, iface.data(), indexes), 7);
    for (UCHAR i = 0; i < P2P_DISCO_SEARCH_INDEXES; ++i) {
        EXPECT_EQ(indexes[i], i);
    }
    EXPECT_EQ(indexes[P2P_DISCO_SEARCH_INDEXES], 0xEE);
    // Three matches: the last one, with the three indexes recorded.
    P2pDiscoTabFlush(A());
    EXPECT_EQ(Block()->DiscoEntryCount, 0);
    for (UCHAR i = 0; i < 3; ++i) {
        (void)DiscoAdd(Addr(i + 1), &iface);
    }
    EXPECT_EQ(P2pDiscoTabSearch(A(), nullptr, iface.data(), indexes), 2);
    EXPECT_EQ(indexes[2], 2);
}

TEST_F(P2pTables, DiscoDeleteTwiceCountsOnce)
{
    Address dev = Addr(1);
    (void)DiscoAdd(dev);
    (void)DiscoAdd(Addr(2));
    EXPECT_EQ(P2pDiscoTabDelete(A(), P2P_NO_ENTRY, dev.data()), 0);
    EXPECT_EQ(P2pDiscoTabDelete(A(), 0, nullptr), 0);
    EXPECT_EQ(Block()->DiscoEntryCount, 1);
    EXPECT_EQ(Block()->DiscoTable[0].Valid, 0);
}

TEST_F(P2pTables, ClearNewFlagReportsEveryDeviceAgain)
{
    UCHAR a = DiscoAdd(Addr(1));
    UCHAR b = DiscoAdd(Addr(2));
    Block()->DiscoTable[a].Reported = 1;
    Block()->DiscoTable[b].Reported = 1;
    Block()->DiscoTable[5].Reported = 1;  // not valid: left alone
    P2pDiscoTabClearNewFlag(A());
    EXPECT_EQ(Block()->DiscoTable[a].Reported, 0);
    EXPECT_EQ(Block()->DiscoTable[b].Reported, 0);
    EXPECT_EQ(Block()->DiscoTable[5].Reported, 1);
}

TEST_F(P2pTables, StaleEntryIsOneNotHeardSinceItWasMade)
{
    UCHAR index = DiscoAdd(Addr(1));
    EXPECT_FALSE(P2PCheckStaleEntry(A(), index));
    P2P_DISCO_ENTRY& e = Block()->DiscoTable[index];
    e.PrevBeaconTime = e.BeaconTime;
    e.BeaconTime = 1234;
    EXPECT_TRUE(P2PCheckStaleEntry(A(), index));
    e.PrevBeaconTime = e.BeaconTime;
    e.ProbeRspTime = 99;
    EXPECT_TRUE(P2PCheckStaleEntry(A(), index));
    e.PrevProbeRspTime = 99;
    EXPECT_FALSE(P2PCheckStaleEntry(A(), index));
    EXPECT_FALSE(P2PCheckStaleEntry(A(), 5));   // free
    EXPECT_FALSE(P2PCheckStaleEntry(A(), 30));  // none
    EXPECT_FALSE(P2PCheckStaleEntry(A(), P2P_NO_ENTRY));
}

TEST_F(P2pTables, CredentialSearchGivesTheLastValidEntry)
{
    Address peer = Addr(9);
    for (UCHAR i = 0; i < P2P_CREDN_TABLE_SIZE; ++i) {
        Block()->CredentialTable[i].Valid = 1;
        std::memcpy(Block()->CredentialTable[i].PeerAddress, peer.data(), 6);
    }
    UCHAR index = 0xFF;
    EXPECT_TRUE(P2pCrednEntrySearch(A(), peer.data(), &index));
    EXPECT_EQ(index, 1);
    Block()->CredentialTable[1].Valid = 0;
    EXPECT_TRUE(P2pCrednEntrySearch(A(), peer.data(), &index));
    EXPECT_EQ(index, 0);
    P2pCrednTabInit(A());
    EXPECT_FALSE(P2pCrednEntrySearch(A(), peer.data(), &index));
}

TEST_F(P2pTables, MacAddrGreaterOrEqualComparesEveryByte)
{
    struct Case {
        Address first, second;
        bool expected;
    } cases[] = {
        {{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}, true},
        {{1, 2, 3, 4, 5, 6}, {2, 3, 4, 5, 6, 7}, true},
        // Lexicographically greater, but one byte is smaller.
        {{1, 2, 3, 4, 5, 6}, {2, 0, 0, 0, 0, 0}, false},
        {{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 5}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MacAddrGreaterOrEqual(c.first.data(), c.second.data()), c.expected ? TRUE : FALSE);
    }
}

TEST_F(P2pTables, ConfigMethodAndWpsInfoFromTheControlValue)
{
    MP_PORT* port = Port(3, WFD_DEVICE);
    struct Case {
        ULONG bits;
        USHORT method;
    } cases[] = {{0x1000, 0x0004}, {0x2000, 0x0008}, {0x3000, 0x0100}, {0x4000, 0x0080},
                 {0x0000, 0x0188}, {0x5000, 0x0188}, {0x7000, 0x0188}};
    for (const Case& c : cases) {
        port->P2pCfgControl = 0x663B8078u | c.bits;
        P2PConfigMethodSet(A(), port);
        EXPECT_EQ(port->P2pConfigMethod, c.method) << std::hex << c.bits;
    }
    port->P2pCfgControl = 0x3000;
    std::memset(&port->P2pWpsExchange, 0xAA, sizeof(port->P2pWpsExchange));
    std::memset(port->P2pWpsCredentialRef, 0xAA, sizeof(port->P2pWpsCredentialRef));
    port->P2pWpsStatusByte = 0xAA;
    port->P2pFormState = P2P_ANY_IN_FORMATION_AS_GO;
    P2PInitWpsInfo(A(), port);
    EXPECT_EQ(port->P2pWpsExchange.Mode, 3u);
    EXPECT_EQ(port->P2pWpsExchange.PasswordWord, 0xFFFF);
    EXPECT_EQ(port->P2pWpsExchange.Rest[0], 0);
    EXPECT_EQ(port->P2pWpsCredentialRef[0], 0xAA);  // kept while forming as group owner
    port->P2pFormState = P2P_IDLE;
    P2PInitWpsInfo(A(), port);
    EXPECT_EQ(port->P2pWpsCredentialRef[0], 0);
    EXPECT_EQ(port->P2pWpsStatusByte, 0);
}

TEST_F(P2pTables, AnOperatingClientLeavesItsGroupOwnerThroughItsRolePort)
{
    MP_PORT* device = Port(3, WFD_DEVICE);
    (void)Port(4, WFD_CLIENT);
    device->P2pRolePortIndex = 4;
    device->P2pConnectState = P2P_I_AM_CLIENT_OP;
    // The client asks its role port's association machine; the group owner's peer walk is not used.
    EXPECT_NE(P2pDisconnectAllPeers(A(), device, 0), STATUS_NOT_SUPPORTED);
    EXPECT_EQ(qzltest::NotBuiltCalls("P2pDisconnectAllPeers"), 0u);
    // Nothing at all while the adapter halts.
    device->P2pConnectState = P2P_I_AM_GO_OP;
    AdapterSetFlag(A(), ADAPTER_FLAG_HALT_IN_PROGRESS, "test");
    EXPECT_EQ(P2pDisconnectAllPeers(A(), device, 1), STATUS_SUCCESS);
    EXPECT_EQ(qzltest::NotBuiltCalls("P2pDisconnectAllPeers"), 0u);
    AdapterClearFlag(A(), ADAPTER_FLAG_HALT_IN_PROGRESS, "test");
    EXPECT_EQ(P2pDisconnectAllPeers(A(), device, 4), STATUS_INVALID_PARAMETER);
}

TEST(P2pNames, StatesConfigMethodsAndPasswordIds)
{
    EXPECT_STREQ(p2pGroupStateName(0), "P2PSTATE_NONE");
    EXPECT_STREQ(p2pGroupStateName(20), "P2PSTATE_WAIT_GO_COMFIRM");
    EXPECT_STREQ(p2pGroupStateName(36), "P2PSTATE_NONP2P_WPS");
    EXPECT_STREQ(p2pGroupStateName(37), "***UNKNOWN state***");
    EXPECT_STREQ(p2pGroupStateName(-1), "***UNKNOWN state***");
    EXPECT_STREQ(p2pStateName(0), "P2P_DISABLE");
    EXPECT_STREQ(p2pStateName(17), "GroupForming as Client");
    EXPECT_STREQ(p2pStateName(30), "P2P_I_AM_GO_OP");
    EXPECT_STREQ(p2pStateName(45), "P2pMs_STATE_PROVISIONING");
    for (LONG unnamed : {9, 10, 11, 12, 14, 31, 40, 46}) {
        EXPECT_STREQ(p2pStateName(unnamed), "***UNKNOWN state***") << unnamed;
    }
    EXPECT_STREQ(MlmeP2pMsStateName(101), "P2P_NULL_STATE");
    EXPECT_STREQ(MlmeP2pMsStateName(104), "P2P_WAIT_RSP_STATE");
    EXPECT_STREQ(MlmeP2pMsStateName(100), "P2P_STATE_UNKNOWN");
    EXPECT_STREQ(MlmeP2pMsSignalName(0), "GO_NEGOCIATION_REQ");
    EXPECT_STREQ(MlmeP2pMsSignalName(8), "P2P_PROVISION_RSP");
    EXPECT_STREQ(MlmeP2pMsSignalName(9), "P2P_SIGNAL_UNKNOWN");
    EXPECT_STREQ(MlmeP2pMsSignalName(100), "P2P_GOT_ACK");
    EXPECT_STREQ(P2pConfigMethodName(0), "NOT SPECIFY CONFIG METHOD ");
    EXPECT_STREQ(P2pConfigMethodName(4), "LABEL  LABEL ");
    EXPECT_STREQ(P2pConfigMethodName(128), "PBC   PBC");
    EXPECT_STREQ(P2pConfigMethodName(0x188), "***Multiple ConfigMethod***");
    EXPECT_STREQ(P2pDevPasswordIdName(0), "DEV_PASS_ID_PIN    ");
    EXPECT_STREQ(P2pDevPasswordIdName(5), "DEV_PASS_ID_REGISTRA_SPECIFIED");
    EXPECT_STREQ(P2pDevPasswordIdName(0xFFFF), "***UNKNOWN dpid***");
}

TEST(P2pOperatingClass, ByChannelAndBand)
{
    struct Case {
        UCHAR channel;
        ULONG band;
        UCHAR selector;
        UCHAR expected;
    } cases[] = {
        {1, 1, 4, 81},   {13, 1, 4, 81},  {14, 1, 4, 82},  {15, 1, 4, 1},    {36, 2, 4, 115}, {48, 2, 4, 115},
        {52, 2, 4, 118}, {64, 2, 4, 118}, {100, 2, 4, 121}, {144, 2, 4, 121}, {149, 2, 4, 124}, {165, 2, 4, 125},
        {169, 2, 4, 125}, {173, 2, 4, 124}, {1, 3, 4, 131},  {3, 3, 4, 132},   {7, 3, 4, 133},  {15, 3, 4, 134},
        {31, 3, 4, 131}, {6, 0, 4, 81},   {6, 1, 1, 81},    {11, 2, 1, 81},   {12, 1, 1, 115}, {64, 0, 1, 118},
        {140, 0, 1, 121}, {144, 0, 1, 124}, {165, 0, 1, 125}, {6, 1, 2, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(P2pOpClassFromChannel(c.channel, c.band, c.selector), c.expected)
            << int(c.channel) << " band " << c.band << " selector " << int(c.selector);
    }
}

TEST(P2pOperatingClass, WithBandwidth)
{
    struct Case {
        UCHAR channel;
        ULONG band;
        UCHAR bw;
        UCHAR expected;
    } cases[] = {
        {6, 1, 0, 81},     {14, 1, 0, 82},   {15, 1, 0, 1},    {9, 1, 1, 83},    {10, 1, 1, 84},  {6, 1, 2, 1},
        {36, 2, 0, 115},   {173, 2, 0, 125}, {177, 2, 0, 124}, {36, 2, 1, 116},  {48, 2, 1, 117}, {60, 2, 1, 119},
        {64, 2, 1, 120},   {140, 2, 1, 122}, {144, 2, 1, 123}, {165, 2, 1, 126}, {173, 2, 1, 127}, {161, 2, 1, 127},
        {36, 2, 2, 128},   {36, 2, 3, 129},  {36, 2, 7, 1},    {36, 3, 0, 81},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(P2pOpClassFromChannelBw(c.channel, c.band, 4, c.bw), c.expected)
            << int(c.channel) << " band " << c.band << " bw " << int(c.bw);
    }
    EXPECT_EQ(P2pOpClassFromChannelBw(36, 2, 1, 0), 1);
}

}  // namespace
