// Wi-Fi Direct port defaults and the idle routines.
#include <string>

#include "p2p/p2p_fixture.h"
#include "support/crossings.h"

namespace {

using p2ptest::Addr;
using p2ptest::Address;
using p2ptest::P2pTest;

class P2pDefaults : public P2pTest {
protected:
    void SetUp() override
    {
        P2pTest::SetUp();
        station_ = Port(0, EXTSTA);
        Address mac = Addr(0xA0);
        std::memcpy(station_->MacAddress, mac.data(), 6);
        device_ = Port(3, WFD_DEVICE);
        device_->Cfg.P2pMcc.WifiDirectControl = 0x663B8B78u;
        device_->Cfg.P2pMcc.WfdListenChannel = 0x106;  // only the low byte is a channel
        device_->Cfg.P2pMcc.WfdGOOperatingChannel = 36;
    }
    MP_PORT* station_ = nullptr;
    MP_PORT* device_ = nullptr;
};

TEST_F(P2pDefaults, UserCfgInitSetsTheStartValues)
{
    std::memset(device_->P2pSsid, 'x', sizeof(device_->P2pSsid));
    device_->P2pTxHold[0] = 1;
    device_->P2pRolePortIndex = 4;
    device_->P2pMs.ExtraIesLen = 99;
    adapter_->CurrentBand = 2;
    P2pUserCfgInit(A(), device_);
    EXPECT_EQ(device_->P2pCfgControl, 0x663B8B78u);
    EXPECT_EQ(device_->P2pGroupMode, 7);  // bits 4-7 of "WifiDirectControl"
    EXPECT_EQ(device_->P2pListenChannel, 6);
    EXPECT_EQ(device_->P2pGroupChannel, 36);
    EXPECT_EQ(device_->P2pOpChannel, 36);
    EXPECT_EQ(device_->P2pTxHold[0], 0);
    EXPECT_EQ(device_->P2pGoWlanIndex, P2P_GO_WLAN_INDEX_NONE);
    EXPECT_EQ(device_->P2pRolePortIndex, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(device_->P2pDeviceName), device_->P2pDeviceNameLen), "Telvar-P2P");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(device_->P2pSsid), device_->P2pSsidLen), "DIRECT-");
    EXPECT_EQ(device_->P2pSsid[7], 0);
    EXPECT_EQ(std::memcmp(device_->P2pGroupBssid, station_->MacAddress, 6), 0);
    EXPECT_EQ(device_->P2pDiscoState, P2P_DISABLE);
    EXPECT_EQ(device_->P2pConnectState, P2P_DISABLE);
    EXPECT_EQ(device_->P2pPresenceState, 31);
    EXPECT_EQ(device_->P2pWpsDevicePasswordId, 0xFFFF);
    EXPECT_EQ(device_->P2pWmmByte, 0xFF);
    EXPECT_EQ(device_->P2pScanDwell, 25u);
    EXPECT_EQ(device_->P2pLongTicks[0], 300u);
    EXPECT_EQ(device_->P2pLongTicks[1], 300u);
    EXPECT_EQ(device_->P2pNoaStartsAbsence, 1);
    EXPECT_EQ(device_->P2pGoWidthSetting, 1);
    EXPECT_EQ(device_->P2pRetryValue, 150u);
    EXPECT_EQ(device_->P2pScanType, 3u);
    EXPECT_EQ(device_->P2pScanType2, 3u);
    EXPECT_EQ(device_->P2pMs.ExtraIesLen, 0u);
    EXPECT_EQ(device_->P2pMs.ListenStateByte, 0xFF);
    EXPECT_EQ(device_->P2pMs.ListenStateWord, 0xFFFFFFu);
    const UCHAR option[4] = {1, 0, 0, 1};
    EXPECT_EQ(std::memcmp(device_->P2pMs.OptionWord, option, 4), 0);
    EXPECT_EQ(device_->P2pMs.TrailingFlag, 1);
    EXPECT_EQ(device_->P2pBand, 2);
    EXPECT_EQ(device_->P2pActState, P2P_NULL_STATE);
    EXPECT_EQ(device_->P2pActPendingSignal, P2P_ACTION_NO_PENDING_SIGNAL);
}

TEST_F(P2pDefaults, TablesAreClearedOnlyForAGroupOwnerOperationMode)
{
    P2pGroupTabInit(A());
    P2pDiscoTabInit(A());
    Address peer = Addr(1);
    struct Case {
        ULONG opMode;
        bool cleared;
    } cases[] = {{4, false}, {1, false}, {8, true}};
    for (const Case& c : cases) {
        ASSERT_NE(P2pGroupTabInsert(A(), peer.data(), P2PSTATE_DISCOVERY, nullptr, 0), P2P_NO_ENTRY);
        UCHAR d = P2pDiscoTabInsert(A(), peer.data(), nullptr, nullptr, 0);
        Block()->DiscoTable[d].Valid = 1;
        Block()->CredentialTable[0].Valid = 1;
        device_->OpMode = c.opMode;
        P2pUserCfgInit(A(), device_);
        EXPECT_EQ(Block()->GroupEntryCount, c.cleared ? 0 : 1) << c.opMode;
        EXPECT_EQ(Block()->DiscoEntryCount, c.cleared ? 0 : 1) << c.opMode;
        EXPECT_EQ(Block()->CredentialTable[0].Valid, c.cleared ? 0 : 1) << c.opMode;
        if (c.cleared) {
            EXPECT_EQ(device_->P2pScanChannelCount, P2P_SOCIAL_LIST_COUNT);
        }
    }
}

TEST_F(P2pDefaults, GotoIdleAndListenIdle)
{
    device_->P2pStateTicks = 9;
    P2pGotoIdle(A(), device_, 2, 0);
    EXPECT_EQ(device_->P2pDiscoTicks, 2u);
    EXPECT_EQ(device_->P2pScanType, 2u);
    EXPECT_EQ(device_->P2pDiscoState, P2P_IDLE);
    EXPECT_EQ(device_->P2pStateTicks, 0u);
    EXPECT_EQ(device_->P2pScanListReady, 1);
    EXPECT_EQ(device_->P2pScanChannelCount, P2P_SOCIAL_LIST_COUNT);
    P2pGotoIdle(A(), device_, 2, 17);
    EXPECT_EQ(device_->P2pDiscoTicks, 17u);
    for (int i = 0; i < 200; ++i) {
        device_->P2pStateTicks = 5;
        P2pGoToListenIdle(A(), device_);
        ASSERT_GE(device_->P2pDiscoTicks, 10u);
        ASSERT_LE(device_->P2pDiscoTicks, 34u);
        EXPECT_EQ(device_->P2pStateTicks, 0u);
        EXPECT_EQ(device_->P2pDiscoState, P2P_IDLE);
    }
}

TEST_F(P2pDefaults, ResumeIdleStateNeedsAnEnabledDevice)
{
    station_->P2pDiscoState = P2P_ENABLE_LISTEN_ONLY;
    station_->P2pConnectState = P2P_DO_GO_SCAN_BEGIN;
    device_->P2pDiscoState = P2P_DISABLE;
    P2pResumeIdleState(A(), station_);
    EXPECT_EQ(station_->P2pDiscoState, P2P_ENABLE_LISTEN_ONLY);
    EXPECT_EQ(station_->P2pConnectState, P2P_DO_GO_SCAN_BEGIN);

    device_->P2pDiscoState = P2P_IDLE;
    struct Case {
        LONG disco, connect, wantDisco, wantConnect;
    } cases[] = {
        {P2P_ENABLE_LISTEN_ONLY, P2P_DO_GO_NEG_DONE_CLIENT, P2P_IDLE, P2P_DO_GO_SCAN_DONE},
        {P2P_IDLE, P2P_DO_GO_SCAN_BEGIN, P2P_IDLE, P2P_DO_GO_SCAN_DONE},
        {P2P_SEARCH, P2P_DO_GO_SCAN_OP_BEGIN, P2P_SEARCH, P2P_DO_GO_SCAN_OP_DONE},
        {P2P_LISTEN, P2P_I_AM_GO_OP, P2P_LISTEN, P2P_I_AM_GO_OP},
    };
    for (const Case& c : cases) {
        station_->P2pDiscoState = c.disco;
        station_->P2pConnectState = c.connect;
        station_->P2pStateTicks = 8;
        P2pResumeIdleState(A(), station_);
        EXPECT_EQ(station_->P2pDiscoState, c.wantDisco) << c.disco;
        EXPECT_EQ(station_->P2pConnectState, c.wantConnect) << c.connect;
        bool ticksReset = c.disco <= P2P_IDLE || c.connect == P2P_DO_GO_SCAN_OP_BEGIN;
        EXPECT_EQ(station_->P2pStateTicks, ticksReset ? 0u : 8u) << c.disco << "/" << c.connect;
    }
}

TEST_F(P2pDefaults, ShutdownTakesDownEveryActiveWiFiDirectPort)
{
    MP_PORT* go = Port(2, WFD_GO);
    MP_PORT* client = Port(4, WFD_CLIENT);
    client->Active = 0;
    (void)go;
    kshim::host::ClockSetManual();
    PlatformInitTimer(client, &client->SwitchP2PListenTimer, SwitchP2PListenTimeoutCallback, 0, "switch");
    ASSERT_EQ(PlatformSetTimer(client, &client->SwitchP2PListenTimer, 1500), STATUS_SUCCESS);
    P2pShutdownAllPorts(A());
    // The device port and the group owner; not the station, not the inactive client.
    EXPECT_EQ(qzltest::NotBuiltCalls("P2pMsDown"), 2u);
    // The armed timer is gone with its framework timer: nothing is posted when its time comes.
    EXPECT_EQ(client->SwitchP2PListenTimer.Created, 0);
    kshim::host::ClockAdvanceMs(2000);
    EXPECT_EQ(QueueCount(&Block()->CmdQueue), 0u);
}

TEST_F(P2pDefaults, PrintersStayQuietForNoEntry)
{
    kshim::host::TraceClear();
    P2PPrintDiscoEntry(A(), 30);
    P2PPrintGroupEntry(A(), P2P_NO_ENTRY);
    device_->P2pDiscoState = P2P_DISABLE;
    P2PPrintStateOfPort(A(), station_);
    EXPECT_TRUE(kshim::host::TraceSnapshot().empty());
    P2pGroupTabInit(A());
    Address peer = Addr(1);
    UCHAR index = P2pGroupTabInsert(A(), peer.data(), P2PSTATE_GO_OPERATING, nullptr, 0);
    P2PPrintGroupEntry(A(), index);
    EXPECT_EQ(CountTraces("P2PSTATE_GO_OPERATING"), 1u);
    device_->P2pDiscoState = P2P_LISTEN;
    P2PPrintStateOfPort(A(), device_);
    EXPECT_EQ(CountTraces("port 3: P2P_LISTEN / P2P_DISABLE"), 1u);
}

}  // namespace
