// The OS's roam, disconnect and dot11 reset tasks on a started third-generation device: a refused roam
// and its "Roam Info" entry, a roam that goes on, the abort of a roam, a disconnect of an unknown peer,
// a disconnect after the abort of a connect in progress, and the reset of the connection settings.
#include <gtest/gtest.h>

#include "connect/task_support.h"
#include "support/eventually.h"
#include "Common/mlme/mlmesync_reposit.h"

namespace {

using namespace conn_test;

constexpr uint16_t kTaskConnect = 6;
constexpr uint16_t kTaskReset = 7;
constexpr uint16_t kTaskDisconnect = 8;
constexpr uint16_t kTaskRoam = 100;
constexpr uint16_t kAbortTask = 75;

class RoamTask : public ConnTaskTest {
protected:
    void SetUp() override
    {
        ConnTaskTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        Adapter()->EnableSystemEventLog = 1;
        // Associated to "home": the roaming-candidate table knows no better access point.
        std::memcpy(port0_->CurrentSsid, "home", 4);
        port0_->CurrentSsidLen = 4;
        if (PREPOSIT_TABLE reposit = RepositTableGet(Adapter())) {
            reposit->RepositCount = 0;
        }
    }

    static Bytes RoamTlvs(uint32_t trigger)
    {
        Settings s;
        s.roamTrigger = trigger;
        s.roamingNeededReason = 0x0102;
        s.mfp = 1;
        return ConnectTlvs("home", 7, 4, BssEntry(Mac(9)), s);
    }

    static Bytes DisconnectTlvs(const Bytes& peer, uint16_t reason)
    {
        Bytes v = peer;
        v.push_back(static_cast<uint8_t>(reason));
        v.push_back(static_cast<uint8_t>(reason >> 8));
        return Tlv(WDI_TLV_DISCONNECT_PARAMETERS, v);
    }
};

TEST_F(RoamTask, ARoamWithoutABetterAccessPointIsRefusedAndLogged)
{
    kshim::host::WdiRequest r = Send(kTaskRoam, 0, 31, RoamTlvs(2));
    EXPECT_EQ(r.Status(), STATUS_SUCCESS);
    Quiesce();
    EXPECT_FALSE(WdiTaskIsPending(Adapter(), kTaskRoam)) << "the refused roam ended its task";
    EXPECT_EQ(port0_->ConnectConfig.RefusedRoamCount, 1);
    EXPECT_TRUE(Indications(0x0033).empty()) << "no disassociation for a refused roam";
    std::vector<kshim::host::ErrorLogEntry> log = EventLog(0x40020443u);
    ASSERT_EQ(log.size(), 1u);
    const Bytes& info = log[0].dumpData;
    ASSERT_GE(info.size(), 28u);
    EXPECT_EQ(info[0] | (info[1] << 8), 1) << "the one BSS entry is the candidate list";
    EXPECT_EQ(info[4], 0) << "any-BSSID flag";
    EXPECT_EQ(info[6] | (info[7] << 8), 0x0102);
    EXPECT_EQ(info[10], 2) << "the roam trigger";
    EXPECT_EQ(info[12], 1) << "MFP enabled";
    EXPECT_EQ(info[13], 1) << "refused for lack of a better access point";
    EXPECT_EQ(info[14] | (info[15] << 8), 1) << "refused-roam counter";
}

TEST_F(RoamTask, TriggerOneRoamsEvenWithoutABetterAccessPoint)
{
    kshim::host::WdiRequest r = Send(kTaskRoam, 0, 32, RoamTlvs(1));
    EXPECT_EQ(r.Status(), STATUS_SUCCESS);
    // The failure's completion goes out once the task's work item has returned from the handler.
    (void)QZCxFlushWorkItem(Adapter());
    Quiesce();
    // The old association is indicated as dropped for the roam (reason 2); without the port's own
    // peer entry the roam then fails and its completion carries the failure.
    std::vector<kshim::host::WdiIndication> disassoc = Indications(0x0033);
    ASSERT_EQ(disassoc.size(), 1u);
    std::vector<kshim::host::WdiIndication> done = Indications(0x0065);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].Status(), 0xC0000001u);
    EXPECT_EQ(done[0].TransactionId(), 32u);
    EXPECT_EQ(port0_->ConnectConfig.RefusedRoamCount, 0);
    std::vector<kshim::host::ErrorLogEntry> log = EventLog(0x40020443u);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].dumpData[13], 0);
}

TEST_F(RoamTask, AnAbortOfTheRoamSendsItsCompletionWithStatusZero)
{
    kshim::host::WdiRequest roam = Make(kTaskRoam, 0, 33);
    Record(roam);
    EXPECT_EQ(WdiTaskAbortRoamRequest(Adapter(), port0_), STATUS_SUCCESS);
    std::vector<kshim::host::WdiIndication> done = Indications(0x0065);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].Status(), 0u);
    EXPECT_EQ(done[0].TransactionId(), 33u);
    EXPECT_EQ(WdiTaskAbortRoamRequest(Adapter(), port0_), static_cast<NTSTATUS>(0xC0000001L)) << "no roam pending";
    (void)WdiEventCompleteOid(Adapter(), kshim::host::WdiRequestHandle(roam), nullptr, 0);
}

TEST_F(RoamTask, ADisconnectOfAnUnknownPeerCompletesAtOnce)
{
    kshim::host::WdiRequest r = Send(kTaskDisconnect, 0, 41, DisconnectTlvs(Mac(7), 3));
    EXPECT_EQ(r.Status(), STATUS_SUCCESS);
    Quiesce();
    std::vector<kshim::host::WdiIndication> done = Indications(0x0015);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].TransactionId(), 41u);
    EXPECT_FALSE(WdiTaskIsPending(Adapter(), kTaskDisconnect));
    EXPECT_EQ(port0_->Ind.DisconnectWaiting, 0);
}

TEST_F(RoamTask, DisconnectAndResetParametersWithShortLengthsAreRefused)
{
    const struct {
        uint16_t task;
        Bytes tlvs;
    } cases[] = {
        {kTaskDisconnect, Tlv(WDI_TLV_DISCONNECT_PARAMETERS, Bytes(7, 1))},
        {kTaskDisconnect, {}},
        {kTaskReset, Tlv(WDI_TLV_DOT11_RESET_PARAMETERS, {})},
        {kTaskReset, Cat({Tlv(WDI_TLV_DOT11_RESET_PARAMETERS, {0}), Tlv(WDI_TLV_CONFIGURED_MAC_ADDRESS, Bytes(5, 2))})},
        {kTaskRoam, Tlv(WDI_TLV_CONNECTION_SETTINGS, Bytes(14, 0))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.task);
        kshim::host::WdiRequest r = Send(c.task, 0, 50, c.tlvs);
        EXPECT_EQ(static_cast<uint32_t>(r.Status()), 0xC0010015u);
    }
    Quiesce();
    EXPECT_TRUE(kshim::host::WifiIndications().empty());
}

TEST_F(RoamTask, ADisconnectCompletesAfterTheConnectInProgressIsAborted)
{
    HoldMlme();
    ASSERT_EQ(Send(kTaskConnect, 0, 60, ConnectTlvs("home", 1, 0)).Status(), STATUS_SUCCESS);
    // Another task waits while the connect is pending.
    EXPECT_NE(Send(kTaskDisconnect, 0, 61, DisconnectTlvs(Mac(7), 3)).Status(), STATUS_SUCCESS);
    ASSERT_EQ(Send(kAbortTask, 0, 62, AbortTlvs(kTaskConnect, 60, 0)).Status(), STATUS_SUCCESS);
    ReleaseMlme();
    Quiesce();
    EXPECT_EQ(Send(kTaskDisconnect, 0, 63, DisconnectTlvs(Mac(7), 3)).Status(), STATUS_SUCCESS);
    Quiesce();
    std::vector<kshim::host::WdiIndication> done = Indications(0x0015);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].TransactionId(), 63u);
}

TEST_F(RoamTask, AResetReturnsTheConnectionSettingsToAnyNetwork)
{
    HoldMlme();
    ASSERT_EQ(Send(kTaskConnect, 0, 70, ConnectTlvs("home", 1, 0, BssEntry(Mac(1), true))).Status(), STATUS_SUCCESS);
    ASSERT_EQ(Send(kAbortTask, 0, 71, AbortTlvs(kTaskConnect, 70, 0)).Status(), STATUS_SUCCESS);
    ReleaseMlme();
    Quiesce();
    ASSERT_EQ(port0_->ConnectConfig.AnyBssid, 0);
    const Bytes sameMac(port0_->MacAddress, port0_->MacAddress + 6);
    kshim::host::WdiRequest r =
        Send(kTaskReset, 0, 72, Cat({Tlv(WDI_TLV_DOT11_RESET_PARAMETERS, {1}), Tlv(WDI_TLV_CONFIGURED_MAC_ADDRESS, sameMac)}));
    EXPECT_EQ(r.Status(), STATUS_SUCCESS);
    // The reset completes once connect control reports its machines reset, on the MLME thread.
    EXPECT_TRUE(qzl_test::Eventually([&] { return !Indications(0x003F).empty(); }));
    Quiesce();
    std::vector<kshim::host::WdiIndication> done = Indications(0x003F);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].Status(), 0u);
    EXPECT_EQ(done[0].TransactionId(), 72u);
    const PORT_CONNECT_CONFIG& cfg = port0_->ConnectConfig;
    EXPECT_EQ(cfg.DesiredSsidRecord.SsidLength, 0u);
    EXPECT_EQ(cfg.CandidateCount, 1u);
    EXPECT_EQ(cfg.AnyBssid, 1);
    EXPECT_EQ(Bytes(cfg.CandidateBssids[0], cfg.CandidateBssids[0] + 6), Bytes(6, 0xFF));
    EXPECT_EQ(Bytes(port0_->MacAddress, port0_->MacAddress + 6), sameMac);
    EXPECT_EQ(Adapter()->StaConnect.ResetRequest, 1);
}

}  // namespace
