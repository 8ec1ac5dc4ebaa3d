// A station connection end to end on both generations: the OS's Wi-Fi service scans, connects, and
// follows the link while the world's access points answer, refuse, fall silent, deauthenticate,
// vanish, switch channel or fade so that a second access point of the network is better. Each test
// observes the boundaries: the indications the OS received, the frames the access points received
// and sent, the air as tshark decodes it.
#include <sstream>
#include <vector>

#include "air/access_point.h"
#include "e2e_support.h"
#include "support/run_command.h"

// The connection tasks' messages come from the WDI TLV library's connect schema.
#include "kshim/wditlv.h"
namespace {

using kshim::host::ConnectionState;
using sim::air::ApEvent;
using sim::air::ApEventKind;

const char kGuest[] = R"(
[[ap]]
name = "guest"
ssid = "Guest"
bssid = "02:00:00:05:95:01"
band = "5"
channel = 149
phy = ["ht", "vht", "he"]
signal = -50
)";

const sim::air::Mac kGuestBssid = {0x02, 0x00, 0x00, 0x05, 0x95, 0x01};
const kshim::host::MacAddress kGuestMac = {0x02, 0x00, 0x00, 0x05, 0x95, 0x01};

// The OS's connect budget: a connection that takes longer than this is a failed one to the user.
constexpr int64_t kConnectBudgetMs = 5000;

class Connect : public e2e::EndToEnd {
protected:
    int64_t Now() const { return kshim::host::ClockNow(); }
    sim::air::AccessPoint* Ap(const sim::air::Mac& bssid) { return world_->FindAccessPoint(bssid); }
    // Schedules an event of an access point `ms` from now.
    void After(sim::air::AccessPoint* ap, int64_t ms, ApEvent e)
    {
        e.at = Now() + ms * 10000;
        ap->Schedule(e);
    }
    // The position of the first step named `what` (Steps().size() when none).
    size_t StepIndex(const std::string& what) const
    {
        const auto& steps = wifi_->Steps();
        for (size_t i = 0; i < steps.size(); ++i) {
            if (steps[i].what == what) {
                return i;
            }
        }
        return steps.size();
    }
};

TEST_P(Connect, AnOpenNetworkEndsWithTheLinkUpAndTheIndicationsInOrderWithinTheBudget)
{
    ASSERT_NO_FATAL_FAILURE(StartIn(GetParam(), kGuest));
    const std::string pcap = root_ + "/connect.pcap";
    std::string error;
    ASSERT_TRUE(world_->StartCapture(pcap, &error)) << error;
    const Outcome o = ScanAndConnect("Guest");
    E2E_REQUIRE(o.completed, o.stoppedAt, E2E_CONNECT);
    EXPECT_EQ(wifi_->TaskStatus(kshim::host::kWdiTaskConnect), STATUS_SUCCESS);
    ASSERT_EQ(wifi_->Connection().state, ConnectionState::Connected);
    EXPECT_EQ(wifi_->Connection().bssid, kGuestMac);
    // Association result, link state, connect complete: in this order.
    const size_t association = StepIndex("association result");
    const size_t link = StepIndex("link state");
    const size_t complete = StepIndex("connect complete");
    EXPECT_LT(association, link);
    EXPECT_LT(link, complete + 1);
    ASSERT_LT(complete, wifi_->Steps().size());
    EXPECT_LE(wifi_->Steps()[complete].time - wifi_->Steps()[StepIndex("connect task")].time, kConnectBudgetMs * 10000);
    ASSERT_TRUE(wifi_->Connection().link);
    EXPECT_GT(wifi_->Connection().link->txKbps, 0u);
    // The access point authenticated and associated our station once, with AID 1.
    const auto record = Ap(kGuestBssid)->GetRecord();
    EXPECT_EQ(record.authRequests, 1u);
    EXPECT_EQ(record.assocRequests, 1u);
    const auto stations = Ap(kGuestBssid)->Stations();
    ASSERT_EQ(stations.size(), 1u);
    EXPECT_EQ(stations[0].aid, 1);

    // The air as tshark reads it: what our station sent decodes without a fault.
    world_->StopCapture();
    const std::string out = qzl_test::RunCommand(
        "tshark -r " + pcap + " -Y 'wlan.sa != 02:00:00:05:95:01 && (wlan.fc.type_subtype == 0x000b || "
        "wlan.fc.type_subtype == 0x0000)' -T fields -e wlan.fc.type_subtype -e _ws.malformed -e _ws.expert.severity "
        "-e wlan.fixed.capabilities.ess -e wlan.ssid 2>/dev/null");
    std::istringstream lines(out);
    size_t frames = 0;
    for (std::string line; std::getline(lines, line);) {
        ++frames;
        // The fields in order: subtype, malformed, expert severity, the ESS capability bit, SSID.
        std::vector<std::string> fields;
        std::istringstream columns(line);
        for (std::string field; std::getline(columns, field, '\t');) {
            fields.push_back(field);
        }
        fields.resize(5);
        EXPECT_TRUE(fields[1].empty()) << "malformed: " << line;
        EXPECT_EQ(fields[2].find("8388608"), std::string::npos) << "error-severity expert note: " << line;
        if (fields[0] == "0x0000") {  // the association request
            EXPECT_EQ(fields[3], "1") << "a station to an infrastructure network: " << line;
            EXPECT_EQ(fields[4], "4775657374") << "the SSID \"Guest\": " << line;
        }
    }
    EXPECT_GE(frames, 2u) << "an authentication and an association request on the air";
}

TEST_P(Connect, ARefusedAssociationEndsTheConnectWithoutALink)
{
    ASSERT_NO_FATAL_FAILURE(StartIn(GetParam(), std::string(kGuest) + "assoc_status = 17\n"));
    const Outcome o = ScanAndConnect("Guest");
    E2E_KNOWN_GAP(o.completed, o.stoppedAt, "a refused association does not end the connect task");
    E2E_REQUIRE(!wifi_->AssociationResults().empty(), "no association result", E2E_CONNECT);
    EXPECT_EQ(wifi_->Connection().state, ConnectionState::Disconnected);
    EXPECT_NE(wifi_->AssociationResults().back().associationStatus, 0u);
    EXPECT_FALSE(wifi_->Connection().link);
    EXPECT_GE(Ap(kGuestBssid)->GetRecord().assocRequests, 1u);
}

TEST_P(Connect, ASilentAccessPointEndsTheConnectAfterTheDriversRetries)
{
    ASSERT_NO_FATAL_FAILURE(StartIn(GetParam(), std::string(kGuest) + "silent = true\n"));
    const Outcome o = ScanAndConnect("Guest");
    E2E_KNOWN_GAP(o.completed, o.stoppedAt, "unanswered authentications do not end the connect task");
    EXPECT_NE(wifi_->TaskStatus(kshim::host::kWdiTaskConnect), STATUS_SUCCESS);
    EXPECT_EQ(wifi_->Connection().state, ConnectionState::Disconnected);
    const auto record = Ap(kGuestBssid)->GetRecord();
    EXPECT_GE(record.authRequests, 2u) << "the authentication is retried";
    EXPECT_EQ(record.assocRequests, 0u);
}

TEST_P(Connect, ADeauthenticationByTheAccessPointTakesTheLinkDown)
{
    ASSERT_NO_FATAL_FAILURE(StartIn(GetParam(), kGuest));
    const Outcome o = ScanAndConnect("Guest");
    E2E_REQUIRE(o.completed && wifi_->Connection().state == ConnectionState::Connected, o.stoppedAt, E2E_CONNECT);
    ApEvent deauth;
    deauth.kind = ApEventKind::Deauth;
    deauth.reason = 3;
    After(Ap(kGuestBssid), 200, deauth);
    E2E_REQUIRE(wifi_->WaitState(ConnectionState::Disconnected, 20000), "no disassociation indication", E2E_LINK);
    ASSERT_FALSE(wifi_->Disassociations().empty());
    EXPECT_EQ(wifi_->Disassociations().back().peer, kGuestMac);
}

TEST_P(Connect, BeaconLossTakesTheLinkDown)
{
    ASSERT_NO_FATAL_FAILURE(StartIn(GetParam(), kGuest));
    const Outcome o = ScanAndConnect("Guest");
    E2E_REQUIRE(o.completed && wifi_->Connection().state == ConnectionState::Connected, o.stoppedAt, E2E_CONNECT);
    ApEvent vanish;
    vanish.kind = ApEventKind::Vanish;
    After(Ap(kGuestBssid), 100, vanish);
    E2E_KNOWN_GAP(wifi_->WaitState(ConnectionState::Disconnected, 30000), "the link stayed up without beacons",
                  "the beacon loss does not take the link down");
    ASSERT_FALSE(wifi_->Disassociations().empty());
}

TEST_P(Connect, AChannelSwitchKeepsTheLinkOnTheNewChannel)
{
    ASSERT_NO_FATAL_FAILURE(StartIn(GetParam(), kGuest));
    const Outcome o = ScanAndConnect("Guest");
    E2E_REQUIRE(o.completed && wifi_->Connection().state == ConnectionState::Connected, o.stoppedAt, E2E_CONNECT);
    ApEvent sw;
    sw.kind = ApEventKind::ChannelSwitch;
    sw.channel = 36;
    sw.count = 3;
    After(Ap(kGuestBssid), 50, sw);
    // After the switch the access point deauthenticates on its new channel: the driver hears it only
    // when it moved along.
    ApEvent deauth;
    deauth.kind = ApEventKind::Deauth;
    deauth.reason = 3;
    After(Ap(kGuestBssid), 1500, deauth);
    E2E_KNOWN_GAP(wifi_->WaitState(ConnectionState::Disconnected, 30000), "the driver did not follow the switch",
                  "the channel switch announcement is not followed");
    EXPECT_EQ(Ap(kGuestBssid)->StateAt(Now()).channel.number, 36);
    EXPECT_EQ(wifi_->Disassociations().size(), 1u) << "the switch itself did not take the link down";
}

TEST_P(Connect, AFadingAccessPointLeadsToARoamToTheStrongerOneOfTheNetwork)
{
    const char* roamWorld = R"(
[[ap]]
name = "hall"
ssid = "Roam"
bssid = "02:00:00:05:24:0a"
band = "5"
channel = 36
signal = -45

[[ap]]
name = "lab"
ssid = "Roam"
bssid = "02:00:00:05:30:0b"
band = "5"
channel = 44
signal = -62
)";
    ASSERT_NO_FATAL_FAILURE(StartIn(GetParam(), roamWorld));
    const sim::air::Mac hall = {0x02, 0x00, 0x00, 0x05, 0x24, 0x0a};
    const kshim::host::MacAddress lab = {0x02, 0x00, 0x00, 0x05, 0x30, 0x0b};
    const Outcome o = ScanAndConnect("Roam");
    E2E_REQUIRE(o.completed && wifi_->Connection().state == ConnectionState::Connected, o.stoppedAt, E2E_CONNECT);
    EXPECT_EQ(wifi_->Connection().bssid[5], 0x0a) << "the stronger access point first";
    ApEvent fade;
    fade.kind = ApEventKind::Signal;
    fade.signalDbm = -88;
    fade.rampMs = 2000;
    After(Ap(hall), 0, fade);
    E2E_REQUIRE(wifi_->WaitIndication(kshim::host::kWdiIndicationRoamingNeeded, 30000), "no roaming-needed indication",
                E2E_LINK);
    // The OS scans again and roams with the network's candidates.
    ASSERT_TRUE(ScanAll());
    kshim::host::ConnectParameters roam;
    roam.ssid = {'R', 'o', 'a', 'm'};
    roam.roamTrigger = 2;
    ASSERT_EQ(wifi_->Roam(roam), STATUS_SUCCESS);
    E2E_REQUIRE(wifi_->WaitTask(30000), "the roam task did not complete", E2E_LINK, "WdiTaskRoam");
    E2E_KNOWN_GAP(wifi_->Connection().bssid == lab, "the roam ended on the fading access point",
                  "the roam task does not reassociate with the stronger candidate");
    EXPECT_EQ(wifi_->Connection().state, ConnectionState::Connected);
    EXPECT_EQ(wifi_->Connection().bssid, lab);
    EXPECT_EQ(wifi_->Connection().roams, 1u) << "a roam, not a new connection";
    EXPECT_EQ(Ap(sim::air::Mac{0x02, 0x00, 0x00, 0x05, 0x30, 0x0b})->GetRecord().reassocRequests, 1u);
    EXPECT_TRUE(Ap(hall)->Stations().empty());
}

TEST_P(Connect, DisconnectAndResetCompleteWhileAConnectionIsInProgress)
{
    ASSERT_NO_FATAL_FAILURE(StartIn(GetParam(), std::string(kGuest) + "silent = true\n"));
    ASSERT_TRUE(ScanAll() && !wifi_->BssList().empty()) << "the scan found no network";
    kshim::host::ConnectParameters c;
    c.ssid = {'G', 'u', 'e', 's', 't'};
    E2E_REQUIRE(wifi_->Connect(c) == STATUS_SUCCESS, "the driver refused the connect task", E2E_CONNECT);
    // The OS gives up on it: a reset ends the attempt and the connect task.
    (void)wifi_->Reset();
    E2E_KNOWN_GAP(wifi_->WaitTask(10000), "the connect task did not end", "a reset does not end a connect task in progress");
    EXPECT_EQ(wifi_->Connection().state, ConnectionState::Disconnected);
}

INSTANTIATE_TEST_SUITE_P(BothGenerations, Connect, ::testing::Values(uint16_t{0x3502}, uint16_t{0x3602}),
                         [](const ::testing::TestParamInfo<uint16_t>& info) {
                             return info.param == 0x3502 ? std::string("Gen2_0x3502") : std::string("Gen3_0x3602");
                         });

}  // namespace

