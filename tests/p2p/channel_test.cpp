// The P2P scan and listen channel lists, the listen channel bookkeeping and the Channel List record.
#include <vector>

#include "p2p/p2p_fixture.h"

namespace {

using p2ptest::Addr;
using p2ptest::Address;
using p2ptest::P2pTest;

class P2pChannels : public P2pTest {
protected:
    void SetUp() override
    {
        P2pTest::SetUp();
        station_ = Port(0, EXTSTA);
        device_ = Port(3, WFD_DEVICE);
        P2pDiscoTabInit(A());
    }
    std::vector<UCHAR> List(MP_PORT* port)
    {
        return std::vector<UCHAR>(port->P2pScanChannels, port->P2pScanChannels + port->P2pScanChannelCount);
    }
    MP_PORT* station_ = nullptr;
    MP_PORT* device_ = nullptr;
};

TEST_F(P2pChannels, SocialListIsOneSixElevenRepeated)
{
    device_->P2pScanType = 2;
    P2pScanChannelUpdate(A(), device_);
    std::vector<UCHAR> expected;
    for (int i = 0; i < 8; ++i) {
        expected.insert(expected.end(), {1, 6, 11});
    }
    EXPECT_EQ(List(device_), expected);
    EXPECT_EQ(device_->P2pScanDwell, 25u);
    EXPECT_EQ(device_->P2pScanSingleChannel, 0);
    const P2P_SCAN_REQUEST& request = adapter_->P2pScanRequest;
    EXPECT_EQ(request.ChannelCount, 24);
    EXPECT_EQ(request.ScanKind, static_cast<ULONG>(SCAN_KIND_P2P));
    EXPECT_EQ(request.Channels[1].Channel, 6);
    EXPECT_EQ(request.Channels[1].Band, static_cast<ULONG>(BAND_24G));
    EXPECT_EQ(device_->P2pScanListReady, 1);
    // Once a list is ready, the OS listen channel fills the social list.
    device_->P2pMs.OsListenChannel = 11;
    device_->P2pScanType = 4;
    P2pScanChannelUpdate(A(), device_);
    EXPECT_EQ(List(device_), std::vector<UCHAR>(24, 11));
}

TEST_F(P2pChannels, RequestedDeviceHeardOnAChannelNarrowsTheDiscovery)
{
    Address peer = Addr(0x61);
    UCHAR index = P2pDiscoTabInsert(A(), peer.data(), nullptr, nullptr, 0);
    Block()->DiscoTable[index].Valid = 1;
    Block()->DiscoTable[index].ChannelHeard = 6;
    SetPlanOfCount(20);
    P2P_MS_BLOCK& ms = device_->P2pMs;
    ms.DiscoverFilterFlags = P2P_MS_FILTER_DEVICE_ID;
    ms.DeviceFilterCount = 1;
    std::memcpy(ms.DeviceFilters[0].DeviceAddress, peer.data(), 6);
    ms.DeviceFilters[0].MatchKind = 1;
    device_->P2pScanType = 1;
    device_->P2pScanType2 = 0;
    P2pScanChannelUpdate(A(), device_);
    EXPECT_EQ(List(device_), std::vector<UCHAR>(32, 6));
    EXPECT_EQ(device_->P2pScanSingleChannel, 1);
    EXPECT_EQ(adapter_->P2pScanRequest.ChannelCount, 1);
    EXPECT_EQ(adapter_->P2pScanRequest.Channels[0].Channel, 6);
    EXPECT_EQ(adapter_->P2pScanRequest.ScanKind, static_cast<ULONG>(SCAN_KIND_P2P));
}

TEST_F(P2pChannels, DiscoveryIsNotNarrowedToADeviceAlreadyReportedOrOfAnotherSsid)
{
    Address peer = Addr(0x61);
    UCHAR index = P2pDiscoTabInsert(A(), peer.data(), nullptr, reinterpret_cast<const UCHAR*>("DIRECT-xy"), 9);
    P2P_DISCO_ENTRY& entry = Block()->DiscoTable[index];
    entry.Valid = 1;
    entry.ChannelHeard = 6;
    SetPlanOfCount(9);
    P2P_MS_BLOCK& ms = device_->P2pMs;
    ms.DiscoverFilterFlags = P2P_MS_FILTER_DEVICE_ID;
    ms.DeviceFilterCount = 1000;  // the OS's count: only the records held are read
    std::memcpy(ms.DeviceFilters[0].DeviceAddress, peer.data(), 6);
    ms.DeviceFilters[0].MatchKind = 2;
    ms.DeviceFilters[0].SsidLen = 9;
    std::memcpy(ms.DeviceFilters[0].Ssid, "DIRECT-xz", 9);
    device_->P2pScanType = 1;
    device_->P2pScanType2 = 0;
    struct Case {
        const char* what;
        UCHAR reported;
        const char* ssid;
        UCHAR flags;
        bool narrowed;
    } cases[] = {
        {"other SSID", 0, "DIRECT-xz", P2P_MS_FILTER_DEVICE_ID, false},
        {"matching SSID", 0, "DIRECT-xy", P2P_MS_FILTER_DEVICE_ID, true},
        {"already reported", 1, "DIRECT-xy", P2P_MS_FILTER_DEVICE_ID, false},
        {"no narrowing", 0, "DIRECT-xy", P2P_MS_FILTER_DEVICE_ID | P2P_MS_FILTER_NO_NARROWING, false},
    };
    for (const Case& c : cases) {
        adapter_->P2pScanRequest.ChannelCount = 0;
        entry.Reported = c.reported;
        ms.DiscoverFilterFlags = c.flags;
        std::memcpy(ms.DeviceFilters[0].Ssid, c.ssid, 9);
        P2pScanChannelUpdate(A(), device_);
        EXPECT_EQ(device_->P2pScanSingleChannel, c.narrowed ? 1 : 0) << c.what;
        EXPECT_EQ(adapter_->P2pScanRequest.ChannelCount, c.narrowed ? 1 : 9) << c.what;
    }
}

TEST_F(P2pChannels, DwellFollowsTheListLength)
{
    struct Case {
        ULONG planCount;
        ULONG scanType2;
        ULONG dwell;
    } cases[] = {{20, 0, 40}, {12, 0, 40}, {11, 0, 25}, {9, 0, 25}, {4, 0, 25}, {3, 0, 20}, {20, 1, 20}, {9, 5, 20}};
    for (const Case& c : cases) {
        SetPlanOfCount(c.planCount);
        device_->P2pScanType = 3;
        device_->P2pScanType2 = c.scanType2;
        device_->P2pScanRepeat = 0;
        P2pScanChannelUpdate(A(), device_);
        EXPECT_EQ(device_->P2pScanChannelCount, c.planCount);
        EXPECT_EQ(device_->P2pScanDwell, c.dwell) << c.planCount << "/" << c.scanType2;
        EXPECT_EQ(device_->P2pScanRepeat, c.scanType2 != 0 ? 1 : 0);
        EXPECT_EQ(adapter_->P2pScanRequest.ChannelCount, c.planCount);
    }
}

TEST_F(P2pChannels, TheWholeChannelPlanFitsTheList)
{
    // A plan of 118 channels is handed on whole, not cut and not written past the list.
    SetPlanOfCount(DOMAIN_CHANNEL_MAX);
    device_->P2pScanType = 3;
    P2pScanChannelUpdate(A(), device_);
    EXPECT_EQ(device_->P2pScanChannelCount, DOMAIN_CHANNEL_MAX);
    EXPECT_EQ(adapter_->P2pScanRequest.ChannelCount, DOMAIN_CHANNEL_MAX);
    EXPECT_EQ(adapter_->P2pScanRequest.Channels[DOMAIN_CHANNEL_MAX - 1].Channel,
              adapter_->Country.ChannelList[DOMAIN_CHANNEL_MAX - 1].Channel);
}

TEST_F(P2pChannels, FixedScanListHandsNothingOn)
{
    SetPlanOfCount(20);
    adapter_->FixedScanList = 1;
    for (ULONG type : {1u, 3u}) {
        adapter_->P2pScanRequest.ChannelCount = 0;
        adapter_->P2pScanRequest.ScanKind = 4;
        device_->P2pScanType = type;
        device_->P2pScanChannelCount = 0;
        P2pScanChannelUpdate(A(), device_);
        EXPECT_EQ(adapter_->P2pScanRequest.ChannelCount, 0) << type;
        EXPECT_EQ(adapter_->P2pScanRequest.ScanKind, 0u) << type;
        EXPECT_EQ(device_->P2pScanChannelCount, 0) << type;
    }
}

TEST_F(P2pChannels, FormingBesideAStationSearchesTheSocialChannelsAndItsOwn)
{
    MP_PORT* client = Port(4, WFD_CLIENT);
    client->P2pRolePortIndex = 4;
    client->P2pScanType = 0;
    client->P2pFormationTicks = 10;
    station_->ConnectionFlags = PORT_CONN_CONNECTED;
    adapter_->P2pScanRequest.ChannelCount = 5;
    struct Case {
        UCHAR primary;
        std::vector<UCHAR> list;
    } cases[] = {{6, {1, 6, 11}}, {36, {1, 6, 11, 36}}};
    for (const Case& c : cases) {
        client->Channel.PrimaryChannel = c.primary;
        P2pScanChannelUpdate(A(), client);
        EXPECT_EQ(List(client), c.list);
        EXPECT_EQ(client->P2pScanDwell, 25u);
        EXPECT_EQ(adapter_->P2pScanRequest.ChannelCount, 5);  // nothing handed on
    }
    // After 40 ticks with light traffic the short list widens to the plan.
    SetPlanOfCount(14);
    client->P2pFormationTicks = 41;
    P2pScanChannelUpdate(A(), client);
    EXPECT_EQ(client->P2pScanChannelCount, 14);
    EXPECT_EQ(adapter_->P2pScanRequest.ChannelCount, 14);
    // A group owner with a plan of 12 and more takes 11 of them.
    client->P2pScanChannelCount = 3;
    client->P2pConnectState = P2P_I_AM_GO_OP;
    P2pScanChannelUpdate(A(), client);
    EXPECT_EQ(client->P2pScanChannelCount, 11);
    // A long list becomes the social list, except for an operating client; heavy traffic keeps it.
    client->P2pConnectState = P2P_I_AM_CLIENT_OP;
    P2pScanChannelUpdate(A(), client);
    EXPECT_EQ(client->P2pScanChannelCount, 11);
    client->P2pConnectState = P2P_CONNECT_IDLE;
    adapter_->P2pTrafficCounts[1] = 80;
    P2pScanChannelUpdate(A(), client);
    EXPECT_EQ(client->P2pScanChannelCount, 11);
    adapter_->P2pTrafficCounts[1] = 79;
    P2pScanChannelUpdate(A(), client);
    EXPECT_EQ(client->P2pScanChannelCount, P2P_SOCIAL_LIST_COUNT);
}

TEST_F(P2pChannels, SearchChannelIsTheLastOfTheList)
{
    device_->P2pScanType = 2;
    P2pScanChannelUpdate(A(), device_);
    P2pUpdateSearchChannel(A(), device_);
    EXPECT_EQ(device_->P2pSearchChannel, 11);
    EXPECT_EQ(device_->P2pScanDwell, 40u);
}

TEST_F(P2pChannels, FormingClientGoesBackToItsListenChannelAFormingGroupOwnerDoesNot)
{
    device_->P2pDiscoState = P2P_IDLE;
    MP_PORT* role = Port(2, WFD_CLIENT);
    device_->P2pRolePortIndex = 2;
    role->P2pListenChannel = 6;
    struct Case {
        LONG state;
        UCHAR groupMode;
        bool moved;
    } cases[] = {
        {P2P_DO_GO_NEG_DONE_CLIENT, 7, true}, {P2P_CONNECT_IDLE, 7, true},  {P2P_I_AM_CLIENT_OP, 7, true},
        {P2P_ANY_IN_FORMATION_AS_GO, 7, false}, {P2P_WPS_REGISTRA, 7, false}, {P2P_I_AM_GO_OP, 7, false},
        {P2pMs_STATE_IDLE, 7, false},         {P2P_DO_GO_NEG_DONE_CLIENT, 16, false},
    };
    for (const Case& c : cases) {
        role->Channel = {BAND_5G, 36, 42, BW_80};
        role->P2pConnectState = c.state;
        role->P2pGroupMode = c.groupMode;
        P2pDefaultListenChannel(A(), device_);
        EXPECT_EQ(role->Channel.PrimaryChannel, c.moved ? 6 : 36) << c.state << "/" << int(c.groupMode);
        EXPECT_EQ(role->Channel.Bandwidth, c.moved ? BW_20 : BW_80);
    }
    // Not while a station connection holds the radio in operation mode 3.
    adapter_->OpMode = 3;
    station_->ConnectionFlags = PORT_CONN_CONNECTING;
    role->Channel = {BAND_5G, 36, 42, BW_80};
    role->P2pConnectState = P2P_CONNECT_IDLE;
    role->P2pGroupMode = 7;
    P2pDefaultListenChannel(A(), device_);
    EXPECT_EQ(role->Channel.PrimaryChannel, 36);
}

TEST_F(P2pChannels, ListenChannelFollowsTheStationOrTheConfiguration)
{
    device_->P2pListenChannel = 1;
    device_->P2pOpChannel = 11;
    station_->ConnectionFlags = PORT_CONN_CONNECTED;
    station_->Channel.PrimaryChannel = 36;
    P2PMSSyncListenChannelToPortChannel(A(), device_);
    EXPECT_EQ(device_->P2pGroupChannel, 36);
    EXPECT_EQ(device_->P2pOpChannel, 36);
    EXPECT_EQ(device_->P2pListenChannel, 1);

    station_->ConnectionFlags = 0;
    station_->CntlState = 0;
    device_->P2pOpChannel = 11;
    adapter_->WorkingCfg.P2pMcc.WfdListenChannel = 0;
    P2PMSSyncListenChannelToPortChannel(A(), device_);
    EXPECT_EQ(device_->P2pListenChannel, 8);
    EXPECT_EQ(device_->Channel.PrimaryChannel, 8);
    EXPECT_EQ(device_->Channel.CentreChannel, 8);
    EXPECT_EQ(device_->P2pGroupChannel, 11);
    EXPECT_EQ(station_->Channel.PrimaryChannel, 8);
    EXPECT_EQ(station_->Channel.CentreChannel, 8);

    // A station connecting keeps its channel.
    station_->CntlState = 3;
    station_->Channel.PrimaryChannel = 44;
    adapter_->WorkingCfg.P2pMcc.WfdListenChannel = 6;
    P2PMSSyncListenChannelToPortChannel(A(), device_);
    EXPECT_EQ(device_->P2pListenChannel, 6);
    EXPECT_EQ(station_->Channel.PrimaryChannel, 44);

    // Fixed test channels.
    adapter_->RegistryBlock.Win8WfdWfaControl = 0x80000061u;
    P2PMSSyncListenChannelToPortChannel(A(), device_);
    EXPECT_EQ(device_->P2pListenChannel, 1);
    EXPECT_EQ(device_->P2pOpChannel, 6);
    EXPECT_EQ(device_->P2pGroupChannel, 6);

    // Only the device port is synchronised.
    station_->P2pListenChannel = 3;
    P2PMSSyncListenChannelToPortChannel(A(), station_);
    EXPECT_EQ(station_->P2pListenChannel, 3);
}

TEST_F(P2pChannels, RoleBackToListenChannelOnlyWhenNothingIsConnected)
{
    device_->P2pDiscoState = P2P_IDLE;
    MP_PORT* client = Port(4, WFD_CLIENT);
    Block()->ClientPort = client;
    adapter_->WorkingCfg.P2pMcc.WfdListenChannel = 11;
    client->Channel = {BAND_5G, 36, 42, BW_80};
    station_->ConnectionFlags = PORT_CONN_CONNECTED;
    P2pMsDefaultListenChannel(A(), client);
    EXPECT_EQ(client->Channel.PrimaryChannel, 36);
    station_->ConnectionFlags = 0;
    client->ConnectionFlags = PORT_CONN_CONNECTING;
    P2pMsDefaultListenChannel(A(), client);
    EXPECT_EQ(client->Channel.PrimaryChannel, 36);
    client->ConnectionFlags = 0;
    P2pMsDefaultListenChannel(A(), client);
    EXPECT_EQ(client->Channel.PrimaryChannel, 11);
    EXPECT_EQ(client->Channel.CentreChannel, 11);
    EXPECT_EQ(client->P2pOpChannel, 11);
    EXPECT_EQ(client->P2pGroupChannel, 11);
    EXPECT_EQ(client->Channel.Bandwidth, BW_20);
    EXPECT_EQ(device_->P2pListenChannel, 11);
}

TEST_F(P2pChannels, RestoreChannelReleasesThePrivilegeAndListensAgain)
{
    TakeFirmwareCommands();
    adapter_->ChPrivilegeHeld = 1;
    adapter_->ChPrivilegeChannel = 1;
    adapter_->ChPrivilegeBand = BAND_24G;
    device_->P2pListenChannel = 11;
    device_->P2pDiscoStateBackup = P2P_ENABLE_LISTEN_ONLY;
    P2pMsRestoreChannel(A(), device_, 6);
    // The firmware took the abort of the held grant (channel 1, band 1), then the listen request:
    // the listen channel for 4000 ms, request kind 1, band index 4.
    std::vector<p2ptest::Privilege> taken = Privileges();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].action, 1);
    EXPECT_EQ(taken[0].channel, 1);
    EXPECT_EQ(taken[0].band, 1);
    EXPECT_EQ(taken[0].bandIndex, 4);
    EXPECT_EQ(taken[1].action, 0);
    EXPECT_EQ(taken[1].channel, 11);
    EXPECT_EQ(taken[1].band, 1);
    EXPECT_EQ(taken[1].kind, 1);
    EXPECT_EQ(taken[1].bandIndex, 4);
    EXPECT_EQ(taken[1].durationMs, 4000u);
    EXPECT_EQ(device_->P2pDiscoState, P2P_ENABLE_LISTEN_ONLY);
    // The release gave the privilege back: listening restarts at once.
    EXPECT_EQ(adapter_->ChPrivilegeHeld, 0);
    // With no privilege held, a second restore sends no release and listens again.
    P2pMsRestoreChannel(A(), device_, 6);
    taken = Privileges();
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[2].action, 0);
    EXPECT_EQ(taken[2].channel, 11);
    EXPECT_EQ(taken[2].durationMs, 4000u);
}

TEST_F(P2pChannels, SupportedChannelListLeavesOutSixGigahertz)
{
    SetPlan({{1, BAND_24G}, {6, BAND_24G}, {11, BAND_24G}, {36, BAND_5G}, {37, BAND_6G}});
    device_->P2pChannelList.Count = 99;
    P2pMsFillSupportedChList(A(), device_);
    EXPECT_EQ(device_->P2pChannelList.Count, 4);
    EXPECT_EQ(std::vector<UCHAR>(device_->P2pChannelList.Channels, device_->P2pChannelList.Channels + 4),
              (std::vector<UCHAR>{1, 6, 11, 36}));
    P2pMsFillSupportedChList(A(), nullptr);  // nothing to fill
}

}  // namespace
