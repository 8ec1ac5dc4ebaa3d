// Channel switch announcements of the connected access point, run stage by stage as the idle beacon
// intake runs them: the 802.11h switch, the quiet switch with its stop and resume of transmission, and
// the move of the connection's channel (the radio-link command the firmware receives).
#include <memory>

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_csa.h"
#include "Common/mlme/mlmesync_sanity.h"
#include "connect/join_fixture.h"
#include "kshim/host/control.h"
#include "kshim/host/eventlog.h"
#include "platform/ndis6/n6indicate.h"
#include "support/crossings.h"

namespace jointest {
namespace {

const UCHAR kAp[6] = {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};

class LinkCsaTest : public JoinTest {
protected:
    void SetUpLink(USHORT deviceId)
    {
        SetUpStation(deviceId);
        MP_ADAPTER* a = adapter_.get();
        a->Fdo = WdfDeviceWdmGetDeviceObject(a->Device);
        a->EnableSystemEventLog = 1;
        kshim::host::ErrorLogClear();
        kshim::host::WifiClearIndications();
        kshim::host::TraceClear();
        if (a->ScanTable == nullptr) {
            a->ScanTable = &a->ScanTab;
        }
        ASSERT_EQ(MlmeQueueInit(&a->Mlme.Queue), STATUS_SUCCESS);
        port0_->OpMode = 0;
        port0_->ConnectionFlags = PORT_CONN_CONNECTED | 0x80u;
        port0_->Channel.PrimaryChannel = 36;
        port0_->Channel.Band = BAND_5G;
        std::memcpy(port0_->Bssid, kAp, 6);
        port0_->Ind.State.AllowedMask = INDICATION_DISASSOCIATION;  // the OS was told of the connection
        // The channel list: 36 and 44, radar channel 100.
        COUNTRY_BLOCK& c = a->Country;
        c.ChannelListCount = 3;
        c.ChannelList[0] = {36, BAND_5G, 0, 0};
        c.ChannelList[1] = {44, BAND_5G, 0, 0};
        c.ChannelList[2] = {100, BAND_5G, 0, 8};
        // The access point is the connect attempt's candidate 0.
        BSS_ENTRY& cand = a->Mlme.ConnectCandidates.BssEntry[0];
        std::memcpy(cand.Bssid, kAp, 6);
        cand.Channel = 36;
        a->Mlme.ConnectCandidates.EntryCount = 1;
        elem_ = std::make_unique<MLME_QUEUE_ELEM>();
    }

    // A beacon of the access point heard on `channel`, announcing (mode, new channel, count) or nothing.
    BEACON_PARSE_RESULT& Beacon(UCHAR channel, UCHAR mode = 0, UCHAR newChannel = 0, UCHAR count = 0)
    {
        record_ = std::make_unique<BEACON_PARSE_RESULT>();
        BEACON_PARSE_RESULT& r = *record_;
        std::memcpy(r.Bssid, kAp, 6);
        std::memcpy(r.TransmitterAddress, kAp, 6);
        r.Channel = channel;
        r.Band = BAND_5G;
        r.BeaconPeriod = 100;
        r.ChannelSwitch[0] = mode;
        r.ChannelSwitch[1] = newChannel;
        r.ChannelSwitch[2] = count;
        r.WideBandwidthChannelSwitch[0] = 0xFF;
        return r;
    }

    BOOLEAN Quiet(BEACON_PARSE_RESULT& r) { return MlmeSyncChSwitchQuiet(adapter_.get(), port0_, &r, elem_.get()); }

    // The "ForceTxStop" pushes so far (the chip-configuration sender is not built yet).
    // The "ForceTxStop" items of the customer-configuration command (0x70, key at byte 16) the firmware
    // received so far.
    size_t ForceTxStopPushes()
    {
        EXPECT_TRUE(qzl_test::Settle());
        size_t n = 0;
        for (const Bytes& p : LegacyPayloads(0x70)) {
            if (p.size() >= 48 && std::string(reinterpret_cast<const char*>(&p[16])) == "ForceTxStop") {
                ++n;
            }
        }
        return n;
    }

    std::unique_ptr<MLME_QUEUE_ELEM> elem_;
    std::unique_ptr<BEACON_PARSE_RESULT> record_;
};

TEST_F(LinkCsaTest, QuietSwitchStopsTransmissionAndResumesOnTheFourthBeaconOnTheTarget)
{
    SetUpLink(kSecondGen);
    const MLME_CSA_RECORD& csa = adapter_->Mlme.Csa;
    EXPECT_FALSE(Quiet(Beacon(36, 1, 44, 5)));
    EXPECT_EQ(csa.CsaPending, 1);
    EXPECT_EQ(csa.CsaTargetChannel, 44);
    EXPECT_EQ(csa.CsaResumeCountdown, 3);
    EXPECT_EQ(ForceTxStopPushes(), 1u) << "transmission stops";
    // Further announcements on the old channel neither count nor start again.
    EXPECT_FALSE(Quiet(Beacon(36, 1, 44, 4)));
    EXPECT_EQ(csa.CsaResumeCountdown, 3);
    EXPECT_EQ(ForceTxStopPushes(), 1u);
    // Beacons on the new channel count down 3, 2, 1; the fourth resumes transmission.
    port0_->Channel.PrimaryChannel = 44;
    for (UCHAR expected : {2, 1, 0}) {
        EXPECT_FALSE(Quiet(Beacon(44)));
        EXPECT_EQ(csa.CsaPending, 1);
        EXPECT_EQ(csa.CsaResumeCountdown, expected);
    }
    EXPECT_EQ(ForceTxStopPushes(), 1u);
    EXPECT_FALSE(Quiet(Beacon(44)));
    EXPECT_EQ(csa.CsaPending, 0);
    EXPECT_EQ(csa.CsaTargetChannel, 0);
    EXPECT_EQ(csa.CsaResumeCountdown, 0xFF);
    EXPECT_EQ(ForceTxStopPushes(), 2u) << "transmission resumes";
    EXPECT_NE(BssTableSearch(adapter_.get(), port0_, adapter_->ScanTable, kAp, 44), BSS_NOT_FOUND)
        << "the access point heard on its new channel is in the scan table";
    EXPECT_TRUE(qzltest::Disassociations().empty());
}

TEST_F(LinkCsaTest, QuietSwitchOnlyStartsForAConnectedStationAndAnAnnouncedNewChannel)
{
    SetUpLink(kSecondGen);
    const struct {
        UCHAR mode;
        UCHAR newChannel;
        ULONG opMode;
        ULONG flags;
    } refused[] = {
        {0, 44, 0, PORT_CONN_CONNECTED},  // transmission may go on
        {1, 0, 0, PORT_CONN_CONNECTED},   // no new channel
        {1, 36, 0, PORT_CONN_CONNECTED},  // the channel it is on
        {1, 44, 1, PORT_CONN_CONNECTED},  // not a station
        {1, 44, 0, 0},                    // no link
    };
    for (const auto& row : refused) {
        port0_->OpMode = row.opMode;
        port0_->ConnectionFlags = row.flags;
        EXPECT_FALSE(Quiet(Beacon(36, row.mode, row.newChannel, 5)));
        EXPECT_EQ(adapter_->Mlme.Csa.CsaPending, 0) << int(row.mode) << " " << int(row.newChannel);
    }
    EXPECT_EQ(ForceTxStopPushes(), 0u);
    // A channel outside the list stops transmission until the access point is heard there.
    port0_->OpMode = 0;
    port0_->ConnectionFlags = PORT_CONN_CONNECTED;
    EXPECT_FALSE(Quiet(Beacon(36, 1, 165, 5)));
    EXPECT_EQ(adapter_->Mlme.Csa.CsaPending, 1);
    EXPECT_EQ(adapter_->Mlme.Csa.CsaResumeCountdown, 0);
}

TEST_F(LinkCsaTest, QuietSwitchToARadarChannelLeavesTheAccessPoint)
{
    SetUpLink(kSecondGen);
    port0_->Mlme.AuthAlgorithm = 7;  // RSNA-PSK: the keys go
    port0_->Keys.SharedKey.Slot[1].KeyLen = 16;
    EXPECT_FALSE(Quiet(Beacon(36, 1, 100, 5)));
    const MLME_CSA_RECORD& csa = adapter_->Mlme.Csa;
    EXPECT_EQ(csa.CsaPending, 0);
    EXPECT_EQ(ForceTxStopPushes(), 2u) << "stopped, then resumed for the next connection";
    EXPECT_EQ(port0_->Mlme.Conn.DisconnectReasonState, 9u);
    EXPECT_EQ(port0_->Keys.SharedKey.Slot[1].KeyLen, 0);
    EXPECT_EQ(port0_->ConnectionFlags & 0x80u, 0u);
    const auto left = qzltest::Disassociations();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].peer, std::vector<uint8_t>(kAp, kAp + 6));
}

TEST_F(LinkCsaTest, An80211hSwitchWaitsForCountTwoThenTakesTheLinkDown)
{
    for (UCHAR target : {UCHAR{44}, UCHAR{100}}) {
        SetUpLink(kSecondGen);
        port0_->Cfg.IEEE80211H = 1;
        adapter_->RegistryBlock.DissocIndDelay = 64;
        // Count 3: nothing on this beacon.
        EXPECT_TRUE(MlmeSyncChSwitch80211h(adapter_.get(), port0_, &Beacon(36, 0, target, 3), 0));
        EXPECT_EQ(port0_->Channel.PrimaryChannel, 36);
        // Count 2: queued messages, the scan table and the link are gone.
        ASSERT_TRUE(MlmeEnqueue(adapter_.get(), port0_, 4, 0, 0, nullptr));
        ASSERT_TRUE(MlmeEnqueue(adapter_.get(), port0_, 4, 1, 0, nullptr));
        adapter_->ScanTable->EntryCount = 3;
        EXPECT_FALSE(MlmeSyncChSwitch80211h(adapter_.get(), port0_, &Beacon(36, 0, target, 2), 0));
        EXPECT_TRUE(MlmeQueueEmpty(&adapter_->Mlme.Queue));
        EXPECT_FALSE(MlmeQueueFull(&adapter_->Mlme.Queue));
        EXPECT_EQ(adapter_->ScanTable->EntryCount, 0);
        EXPECT_EQ(port0_->Channel.PrimaryChannel, target);
        EXPECT_EQ(adapter_->Mlme.ConnectCandidates.BssEntry[0].Channel, target);
        // The OS learns at once of a switch to channel 44, of radar channel 100 only when the timer fires.
        EXPECT_EQ(qzltest::Disassociations().size(), target == 100 ? 0u : 1u) << int(target);
        TearDown();
        SetUp();
    }
}

TEST_F(LinkCsaTest, AnAnnouncementWithoutIeee80211hOrWithTheSameChannelIsNotAn80211hSwitch)
{
    SetUpLink(kSecondGen);
    EXPECT_FALSE(MlmeSyncChSwitch80211h(adapter_.get(), port0_, &Beacon(36, 0, 44, 2), 0));
    port0_->Cfg.IEEE80211H = 1;
    EXPECT_FALSE(MlmeSyncChSwitch80211h(adapter_.get(), port0_, &Beacon(44, 0, 44, 0), 0));
    EXPECT_EQ(port0_->Channel.PrimaryChannel, 36);
    EXPECT_TRUE(qzltest::Disassociations().empty());
}

TEST_F(LinkCsaTest, TheConnectionMovesWhenTheCountReachesNine)
{
    for (USHORT id : {kSecondGen, kThirdGen}) {
        SetUpLink(id);
        port0_->Channel.CentreChannel = 38;
        peer_->BcnHtOpBits = 5;
        peer_->BcnSecondaryOffset = 1;
        EXPECT_FALSE(MlmeSyncChSwitchMove(adapter_.get(), port0_, &Beacon(36, 0, 44, 10), 0, peer_, nullptr));
        EXPECT_EQ(port0_->Channel.PrimaryChannel, 36) << "count 10 changes nothing";
        EXPECT_TRUE(Records().Bss(0) == std::nullopt || Records().Bss(0)->primaryChannel != 44);

        BEACON_PARSE_RESULT& r = Beacon(36, 0, 44, 9);
        const UCHAR wide[3] = {1, 42, 0};  // 80 MHz around 42
        std::memcpy(r.WideBandwidthChannelSwitch, wide, 3);
        EXPECT_TRUE(MlmeSyncChSwitchMove(adapter_.get(), port0_, &r, 0, peer_, nullptr));
        EXPECT_EQ(port0_->Channel.PrimaryChannel, 44) << std::hex << id;
        EXPECT_EQ(port0_->Channel.CentreChannel, 42);
        EXPECT_EQ(adapter_->Mlme.ConnectCandidates.BssEntry[0].Channel, 44);
        EXPECT_EQ(peer_->BcnVhtOperation[0], 1);
        EXPECT_EQ(peer_->BcnVhtOperation[1], 42);
        EXPECT_EQ(peer_->BcnHtOpBits, 0);
        EXPECT_EQ(peer_->BcnSecondaryOffset, 0);
        EXPECT_EQ(port0_->Mlme.Req.ChSwitchHold, 90);
        EXPECT_TRUE(qzl_test::Settle());
        const auto bss = Records().Bss(0);
        ASSERT_TRUE(bss.has_value()) << "the radio-link parameters reached the firmware";
        EXPECT_EQ(bss->primaryChannel, 44);
        TearDown();
        SetUp();
    }
}

TEST_F(LinkCsaTest, AWifiDirectClientFollowsItsGroupOwnerFromCountTwo)
{
    SetUpLink(kSecondGen);
    port0_->PortType = WFD_CLIENT;
    port0_->OpMode = 1;
    MAC_TABLE_ENTRY go = {};
    EXPECT_FALSE(MlmeSyncChSwitchMove(adapter_.get(), port0_, &Beacon(36, 0, 44, 3), 0, nullptr, &go));
    EXPECT_EQ(port0_->Channel.PrimaryChannel, 44) << "above the limit the client still follows at once";
    EXPECT_EQ(port0_->EcsaInProgress, 1);
    EXPECT_TRUE(AdapterTestFlags(adapter_.get(), ADAPTER_FLAG_TX_HELD));

    port0_->EcsaInProgress = 0;
    BEACON_PARSE_RESULT& r = Beacon(44, 0, 149, 2);
    const UCHAR secondary[3] = {1, 151, 0};
    std::memcpy(r.WideBandwidthChannelSwitch, secondary, 3);
    EXPECT_TRUE(MlmeSyncChSwitchMove(adapter_.get(), port0_, &r, 0, nullptr, &go));
    EXPECT_EQ(port0_->Channel.PrimaryChannel, 149);
    EXPECT_EQ(port0_->Channel.CentreChannel, 151);
    EXPECT_EQ(port0_->Channel.Band, static_cast<ULONG>(BAND_5G));
    const BSS_ENTRY& cand = adapter_->Mlme.ConnectCandidates.BssEntry[0];
    EXPECT_EQ(cand.Channel, 149);
    EXPECT_EQ(cand.SecondaryChannelOffset, 1);
    EXPECT_EQ(cand.CentralChannel, 151);
    EXPECT_EQ(port0_->EcsaInProgress, 1);
    EXPECT_EQ(port0_->Mlme.Req.ChSwitchHold, 90);
}

}  // namespace
}  // namespace jointest
