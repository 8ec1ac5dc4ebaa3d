// The join: the request clears the firmware's station records of the BSS and asks for the target's
// channel; the target's beacon confirms the join to the connect-control machine and fills the
// target's record and the peer entry; other frames confirm nothing.
#include <memory>

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmereq_types.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmesync_join.h"
#include "connect/join_fixture.h"

namespace jointest {
namespace {

Bytes Ie(UCHAR id, const Bytes& body)
{
    Bytes b{id, static_cast<UCHAR>(body.size())};
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

const Bytes kBssid = {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};
const char kSsid[] = "qzl-open";

// HT capability body: information 0x01EE, A-MPDU 0x17, MCS 0-15.
Bytes HtCap()
{
    Bytes b(26, 0);
    b[0] = 0xEE;
    b[1] = 0x01;
    b[2] = 0x17;
    b[3] = 0xFF;
    b[4] = 0xFF;
    return b;
}

// HT operation body: primary 6, secondary channel above.
Bytes HtOp(UCHAR primary)
{
    Bytes b(22, 0);
    b[0] = primary;
    b[1] = 0x05;
    return b;
}

class JoinMachineTest : public JoinTest {
protected:
    void SetUpJoin(USHORT deviceId = kSecondGen)
    {
        SetUpStation(deviceId);
        ASSERT_EQ(MlmeQueueInit(&adapter_->Mlme.Queue), STATUS_SUCCESS);
        MlmeBssTableInit(adapter_.get());
        adapter_->RegistryBlock.FWBuildScnChList = 1;  // every channel is one the firmware may report
        port0_->Active = 1;
        port0_->WirelessMode = PHY_11BGN_MIXED;
        port0_->PhyModeOverride = PORT_PHY_MODE_OVERRIDE_NONE;
        port0_->Cfg.Ch14BOnly = 1;
        JOIN_TARGET_INFO& join = adapter_->Mlme.JoinTargetInfo;
        std::memcpy(join.Bssid, kBssid.data(), 6);
        std::memcpy(join.Ssid, kSsid, 8);
        join.SsidLen = 8;
        join.Channel = 6;
        join.Band = 1;
        port0_->Mlme.SyncMachine.CurrState = SYNC_JOIN;
        port0_->Mlme.Scan.JoinProbing = 1;
    }

    void TearDown() override
    {
        MlmeSyncFreeIntakeArea(adapter_.get());
        JoinTest::TearDown();
    }

    // A beacon of `bssid` heard on `channel` with the SSID, eight rates and the HT elements.
    void Deliver(const Bytes& bssid, UCHAR channel, const char* ssid = kSsid, bool ht = true)
    {
        Bytes f(36, 0);
        f[0] = 0x80;
        for (int i = 0; i < 6; ++i) {
            f[10 + i] = bssid[i];
            f[16 + i] = bssid[i];
        }
        f[32] = 100;
        f[34] = 0x11;  // ESS, privacy
        f[35] = 0x04;
        auto add = [&](const Bytes& b) { f.insert(f.end(), b.begin(), b.end()); };
        add(Ie(0, Bytes(ssid, ssid + std::strlen(ssid))));
        add(Ie(1, {0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24}));
        add(Ie(3, {channel}));
        if (ht) {
            add(Ie(45, HtCap()));
            add(Ie(61, HtOp(channel)));
        }
        frame_ = f;
        elem_ = std::make_unique<MLME_QUEUE_ELEM>();
        std::memcpy(elem_->Msg, f.data(), f.size());
        elem_->MsgLen = static_cast<ULONG>(f.size());
        elem_->Machine = MLME_SYNC_STATE_MACHINE;
        elem_->MsgType = 3;
        elem_->PortIndex = 0;
        elem_->Band = 1;
        elem_->Channel = channel;
        elem_->Rssi0 = static_cast<UCHAR>(-40);
        elem_->Rssi1 = static_cast<UCHAR>(-44);
        MlmeSyncPeerBeaconAtJoinAction(adapter_.get(), elem_.get());
    }

    // The messages queued for the machines, in order: (machine, message, body).
    struct Posted {
        ULONG machine;
        ULONG msg;
        Bytes body;
    };
    std::vector<Posted> Drain()
    {
        std::vector<Posted> out;
        PMLME_QUEUE_ELEM elem = nullptr;
        while (MlmeDequeue(&adapter_->Mlme.Queue, &elem)) {
            out.push_back({elem->Machine, elem->MsgType, Bytes(elem->Msg, elem->Msg + elem->MsgLen)});
            MlmeQueueReleaseElem(&adapter_->Mlme.Queue, elem);
        }
        return out;
    }

    std::unique_ptr<MLME_QUEUE_ELEM> elem_;
    Bytes frame_;
};

TEST_F(JoinMachineTest, TheTargetsBeaconConfirmsTheJoinOnceWithItsTransmitter)
{
    SetUpJoin();
    // The rates of the beacon as the rate record folds them: CCK bits 0-3, 6 to 18 Mb/s bits 6-9.
    peer_->SupportedRateBitmap = 0x03CF;
    Deliver(kBssid, 6);
    const auto posted = Drain();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].machine, 5u);
    EXPECT_EQ(posted[0].msg, 40u);
    Bytes expected = {0, 0};
    expected.insert(expected.end(), kBssid.begin(), kBssid.end());
    EXPECT_EQ(posted[0].body, expected) << "status 0 and the transmitter address";
    EXPECT_EQ(port0_->Mlme.SyncMachine.CurrState, 0u);
    EXPECT_EQ(port0_->Mlme.Scan.JoinProbing, 0);

    const JOIN_TARGET_INFO& join = adapter_->Mlme.JoinTargetInfo;
    EXPECT_EQ(join.CapabilityInfo, 0x0411 & 0x1533);
    EXPECT_EQ(join.BeaconPeriod, 100);
    EXPECT_EQ(join.SupportedRatesLen, 8);
    EXPECT_EQ(join.HtActive, 1);
    EXPECT_EQ(join.HtCapabilityLen, 26);
    EXPECT_EQ(join.McsSet[0], 0xFF);
    EXPECT_EQ(join.CentralChannel, 8) << "primary 6 with the secondary channel above";
    EXPECT_EQ(peer_->PhyModeFlags, 0x10 | 0x02 | 0x01);
    EXPECT_EQ(peer_->PhyModeFlagsCopy, peer_->PhyModeFlags);
    EXPECT_EQ(peer_->InitialTxRate, 0);
    EXPECT_EQ(peer_->LegacyRateBitmap, 0x03CF);
    EXPECT_EQ(Bytes(peer_->PeerHtCapability, peer_->PeerHtCapability + 26), HtCap());
    EXPECT_EQ(adapter_->Mlme.JoinFrameBodyLength, frame_.size() - 24);
    EXPECT_EQ(port0_->RssiSum[0], -320);
}

TEST_F(JoinMachineTest, BeaconsOfOtherNetworksConfirmNothing)
{
    SetUpJoin();
    Deliver({0x02, 0x11, 0x11, 0x11, 0x11, 0x11}, 6);
    Deliver(kBssid, 6, "other");
    EXPECT_TRUE(Drain().empty());
    EXPECT_EQ(port0_->Mlme.SyncMachine.CurrState, 1u);
    EXPECT_EQ(port0_->Mlme.Scan.JoinProbing, 1);
    EXPECT_TRUE(Sent().empty()) << "no cached probe request to send again";
}

TEST_F(JoinMachineTest, ChannelFourteenWithTheBOnlySettingKeepsFourRatesAndNoHt)
{
    SetUpJoin();
    adapter_->Mlme.JoinTargetInfo.Channel = 14;
    peer_->SupportedRateBitmap = 0x000F;
    Deliver(kBssid, 14);
    ASSERT_EQ(Drain().size(), 1u);
    const JOIN_TARGET_INFO& join = adapter_->Mlme.JoinTargetInfo;
    EXPECT_EQ(join.SupportedRatesLen, 4);
    EXPECT_EQ(join.ExtendedRatesLen, 0);
    EXPECT_EQ(join.HtActive, 0);
    EXPECT_EQ(peer_->PhyModeFlags & 0x10, 0);
    EXPECT_EQ(peer_->PhyModeFlags, 0x01);
}

TEST_F(JoinMachineTest, TheTargetWithoutAPeerEntryIsDroppedForTheTimeOut)
{
    SetUpJoin();
    ASSERT_EQ(MlmeSyncInitMacTab(port0_, FALSE), STATUS_SUCCESS);  // no entries left
    Deliver(kBssid, 6);
    EXPECT_TRUE(Drain().empty());
    EXPECT_EQ(port0_->Mlme.SyncMachine.CurrState, 1u);
}

TEST_F(JoinMachineTest, TheRequestClearsTheBssRecordsAndAsksForTheTargetsChannel)
{
    SetUpJoin();
    port0_->Mlme.SyncMachine.CurrState = SYNC_IDLE;
    BSS_TABLE& candidates = adapter_->Mlme.ConnectCandidates;
    candidates.EntryCount = 2;
    BSS_ENTRY& e = candidates.BssEntry[1];
    std::memcpy(e.Bssid, kBssid.data(), 6);
    std::memcpy(e.Ssid, kSsid, 8);
    e.SsidLen = 8;
    e.Channel = 36;
    e.CentralChannel = 42;
    e.Band = 2;
    e.BssType = 1;
    const ULONG index = 1;
    MLME_QUEUE_ELEM elem{};
    std::memcpy(elem.Msg, &index, sizeof(index));
    elem.MsgLen = sizeof(index);
    MlmeSyncJoinReqAction(adapter_.get(), &elem);

    const JOIN_TARGET_INFO& join = adapter_->Mlme.JoinTargetInfo;
    EXPECT_EQ(join.Channel, 36);
    EXPECT_EQ(join.CentralChannel, 42);
    EXPECT_EQ(join.Band, 2u);
    EXPECT_EQ(port0_->Mlme.SyncMachine.CurrState, 0u) << "the sync machine waits for the grant in its idle state";
    const auto removals = Records().Removals();
    ASSERT_EQ(removals.size(), 1u);
    EXPECT_TRUE(removals[0].all);
    EXPECT_EQ(removals[0].wlanIndex, 20);
    bool privilege = false;
    for (const auto& c : Legacy()) {
        privilege = privilege || c.cmdId == 0x1C;
    }
    EXPECT_TRUE(privilege) << "the channel privilege of the target's channel is asked for";

    // A candidate index outside the table is dropped.
    ClearSent();
    const ULONG outside = 5;
    std::memcpy(elem.Msg, &outside, sizeof(outside));
    MlmeSyncJoinReqAction(adapter_.get(), &elem);
    EXPECT_TRUE(Sent().empty());
}

}  // namespace
}  // namespace jointest
