// The fixed multi-channel quotas: which chip-configuration texts the firmware receives, in order,
// for a group owner beside the connected station (on another channel, or while a client joins it),
// for a Wi-Fi Direct client, and when nothing is sent; the group owner's brake-time text itself.
#include <cstring>
#include <string>

#include "Common/fwsettings.h"
#include "p2p/p2p_fixture.h"

namespace p2ptest {
namespace {

class MccQuotas : public P2pTest {
protected:
    void SetUp() override
    {
        P2pTest::SetUp();
        TakeFirmwareCommands();
        station_ = Port(0, EXTSTA);
        go_ = Port(2, WFD_GO);
        for (MP_PORT* p : {station_, go_}) {
            p->Active = 1;
            WORKING_P2P_MCC_CFG& c = p->Cfg.P2pMcc;
            // The defaults of the configuration, in microseconds.
            c.SapStayTimeEnable = 1;
            c.MccStaQuotaTime = 120000;
            c.MccP2pGOQuotaTime = 120000;
            c.MccP2pGOBrakeTime = 5000;
            c.MccP2pGOMcastConQuotaTime = 320000;
            c.MccP2pSTAMcastConQuotaTime = 30000;
            c.MccP2pGCQuotaTime = 60000;
            c.MccP2pStaGCQuotaTime = 40000;
        }
        station_->ConnectionFlags |= PORT_CONN_CONNECTED;
        station_->Channel.PrimaryChannel = 36;
        go_->P2pGroupChannel = 6;
        Block()->GoPort = go_;
    }

    // The chip-configuration texts sent since the last mark (command 0xCA, 328 bytes: the text at
    // payload byte 8, its length field at byte 4).
    std::vector<std::string> Texts()
    {
        std::vector<std::string> out;
        lengths_.clear();
        const std::vector<sim::fw::LegacyCommand> all = FirmwareCommands();
        for (size_t i = mark_; i < all.size(); ++i) {
            const sim::fw::LegacyCommand& c = all[i];
            if (c.cmdId != 0xCA || c.payload.size() != 328) {
                continue;
            }
            out.emplace_back(reinterpret_cast<const char*>(c.payload.data() + 8));
            lengths_.push_back(c.payload[4] | (c.payload[5] << 8));
        }
        return out;
    }
    void ClearSentForRow() { mark_ = FirmwareCommands().size(); }

    MP_PORT* station_ = nullptr;
    MP_PORT* go_ = nullptr;
    std::vector<unsigned> lengths_;
    size_t mark_ = 0;
};

using Lines = std::vector<std::string>;

TEST_F(MccQuotas, AGroupOwnerOnAnotherChannelGetsItsQuotaAndBrakeThenTheStation)
{
    MultiChannelUpdateMCCStayTime(A());
    EXPECT_EQ(Texts(), (Lines{"MccP2pGoQuotaTimeInUs 120000", "CnmAbsenceMarginInUs 5000", "MccStaQuotaTimeInUs 120000"}));
    // Key length + 7 for a quota, + 5 for the brake time.
    EXPECT_EQ(lengths_, (std::vector<unsigned>{21 + 7, 20 + 5, 19 + 7}));
}

TEST_F(MccQuotas, AJoiningClientGetsTheJoiningQuotasAndMiracastModeFirst)
{
    struct Row {
        const char* what;
        UCHAR goChannel;
        UCHAR goJoin, hotspotJoin, hotspot, optimisation;
        Lines expected;
    };
    const Row rows[] = {
        {"client joining a group owner on the station's channel", 36, 1, 0, 0, 0,
         {"mira 1", "MccP2pGoQuotaTimeInUs 320000", "MccStaQuotaTimeInUs 30000"}},
        {"hotspot client joining, other channel", 6, 0, 1, 1, 0,
         {"mira 1", "MccP2pGoQuotaTimeInUs 320000", "MccStaQuotaTimeInUs 30000"}},
        {"a hotspot without a joining client", 6, 0, 0, 1, 0,
         {"mira 1", "MccP2pGoQuotaTimeInUs 120000", "CnmAbsenceMarginInUs 5000", "MccStaQuotaTimeInUs 120000"}},
        {"throughput optimisation: no Miracast switch", 6, 0, 1, 1, 1,
         {"MccP2pGoQuotaTimeInUs 320000", "MccStaQuotaTimeInUs 30000"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        ClearSentForRow();
        go_->P2pGroupChannel = r.goChannel;
        go_->GoMcastConActive = r.goJoin;
        go_->HotspotMcastConActive = r.hotspotJoin;
        go_->HotspotGo = r.hotspot;
        A()->RegistryBlock.HotspotMCCTputOptimization = r.optimisation;
        station_->Mlme.Scan.LastStayTime = 0;
        go_->Mlme.Scan.LastStayTime = 0;
        MultiChannelUpdateMCCStayTime(A());
        EXPECT_EQ(Texts(), r.expected);
    }
}

TEST_F(MccQuotas, AClientWithoutAGroupOwnerAndTheCasesThatSendNothing)
{
    // The same channel and no joining client: nothing.
    go_->P2pGroupChannel = 36;
    MultiChannelUpdateMCCStayTime(A());
    EXPECT_TRUE(Texts().empty());
    // A Wi-Fi Direct client: its quota, then the station's.
    Block()->GoPort = nullptr;
    MP_PORT* client = Port(3, WFD_CLIENT);
    client->Active = 1;
    client->Cfg.P2pMcc.MccP2pGCQuotaTime = 60000;
    Block()->ClientPort = client;
    MultiChannelUpdateMCCStayTime(A());
    EXPECT_EQ(Texts(), (Lines{"MccP2pGcQuotaTimeInUs 60000", "MccStaQuotaTimeInUs 40000"}));
    // A station that is not connected, or no station port: nothing more.
    ClearSentForRow();
    station_->ConnectionFlags &= ~PORT_CONN_CONNECTED;
    MultiChannelUpdateMCCStayTime(A());
    Block()->StationPort = nullptr;
    MultiChannelUpdateMCCStayTime(A());
    EXPECT_TRUE(Texts().empty());
}

TEST_F(MccQuotas, TheBrakeTimeGoesOnlyForAnActiveGroupOwnerWithoutDualBand)
{
    EXPECT_EQ(QZCmdUpdateGoBrakeTime(A(), station_, 5000), STATUS_UNSUCCESSFUL) << "not a group owner";
    EXPECT_EQ(QZCmdUpdateGoBrakeTime(A(), go_, 0), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(QZCmdUpdateGoBrakeTime(A(), nullptr, 5000), STATUS_UNSUCCESSFUL);
    go_->Active = 0;
    EXPECT_EQ(QZCmdUpdateGoBrakeTime(A(), go_, 5000), STATUS_UNSUCCESSFUL);
    go_->Active = 1;
    A()->UniEvent.DbdcMode = 1;
    EXPECT_EQ(QZCmdUpdateGoBrakeTime(A(), go_, 5000), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(Texts().empty());
    A()->UniEvent.DbdcMode = 0;
    EXPECT_EQ(QZCmdUpdateGoBrakeTime(A(), go_, 7000), STATUS_SUCCESS);
    EXPECT_EQ(Texts(), (Lines{"CnmAbsenceMarginInUs 7000"}));
}

}  // namespace
}  // namespace p2ptest
