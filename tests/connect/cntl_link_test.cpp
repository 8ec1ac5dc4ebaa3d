// Link down of a station port and the machine's disassociation confirms that lead to it.
#include "connect/cntl_fixture.h"

namespace cntltest {
namespace {

class LinkDown : public CntlTest {
protected:
    // Port 0 linked to access point A of "home" on channel 36.
    void Linked()
    {
        port_->ConnectionFlags = 0x81;
        std::memcpy(port_->Bssid, kApA, 6);
        std::memcpy(port_->CurrentSsid, "home", 4);
        port_->CurrentSsidLen = 4;
        port_->Channel.PrimaryChannel = 36;
        port_->Channel.Band = 2;
        adapter_->Mlme.Cntl.PortSecured = 1;
    }
    // The scan table holds A with the given authentication algorithm.
    void Scanned(ULONG authMode = 1)
    {
        ASSERT_NE(adapter_->ScanTable, nullptr);
        BSS_TABLE& t = *adapter_->ScanTable;
        BSS_ENTRY& e = t.BssEntry[0];
        std::memset(&e, 0, sizeof(e));
        std::memcpy(e.Bssid, kApA, 6);
        e.Channel = 36;
        e.Band = 2;
        e.SsidLen = 4;
        std::memcpy(e.Ssid, "home", 4);
        e.AuthMode = authMode;
        e.Valid = 1;
        t.EntryCount = 1;
    }
    bool InScanTable() { return BssTableSearch(adapter_, port_, adapter_->ScanTable, kApA, 36) >= 0; }
};

TEST_F(LinkDown, ALinkedPortIsLeftUnlinkedAndForgetsTheConnection)
{
    Linked();
    EXPECT_EQ(MlmeCntLinkDown(port_, 0), STATUS_SUCCESS);
    EXPECT_EQ(port_->ConnectionFlags & 0x81u, 0u);
    EXPECT_EQ(port_->CurrentSsidLen, 0);
    EXPECT_EQ(port_->Bssid[0] | port_->Bssid[5], 0);
    EXPECT_EQ(port_->LastConnectSsidLen, 4);
    EXPECT_EQ(std::memcmp(port_->LastConnectSsid, "home", 4), 0);
    EXPECT_EQ(std::memcmp(port_->Mlme.Cntl.PrevLinkBssid, kApA, 6), 0);
    EXPECT_EQ(adapter_->Mlme.Cntl.PortSecured, 2);
    EXPECT_EQ(port_->RssiAvg[0], -100);
    EXPECT_EQ(port_->Mlme.Cntl.LinkProgress & 0x30u, 0x30u);
}

TEST_F(LinkDown, ASecondLinkDownChangesNothingOfTheConnection)
{
    Linked();
    ASSERT_EQ(MlmeCntLinkDown(port_, 0), STATUS_SUCCESS);
    std::memcpy(port_->CurrentSsid, "next", 4);  // a new attempt's state is left alone
    port_->CurrentSsidLen = 4;
    adapter_->Mlme.Cntl.PortSecured = 1;
    port_->Mlme.Cntl.LinkProgress = 0;
    EXPECT_EQ(MlmeCntLinkDown(port_, 0), STATUS_SUCCESS);
    EXPECT_EQ(port_->CurrentSsidLen, 4);
    EXPECT_EQ(adapter_->Mlme.Cntl.PortSecured, 1);
    EXPECT_EQ(port_->Mlme.Cntl.LinkProgress, 0u);
}

TEST_F(LinkDown, TheOldAccessPointStaysKnownOnlyForARoamOrAnotherSsid)
{
    struct Case {
        const char* name;
        UCHAR keepOld;
        UCHAR roamRequest;
        ULONG roamParameter;
        bool kept;
    } cases[] = {
        {"plain link down", 0, 0, 0, false},
        {"connect to another SSID", 1, 0, 0, true},
        {"roam with parameter 1", 0, 1, 1, true},
        {"roam with parameter 0", 0, 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Linked();
        Scanned();
        adapter_->Mlme.Cntl.KeepOldEntry = c.keepOld;
        port_->Mlme.Cntl.RoamRequest = c.roamRequest;
        port_->Mlme.Cntl.RoamParameter = c.roamParameter;
        ASSERT_EQ(MlmeCntLinkDown(port_, 0), STATUS_SUCCESS);
        EXPECT_EQ(InScanTable(), c.kept);
        EXPECT_EQ(adapter_->Mlme.Cntl.KeepOldEntry, 0);
    }
}

TEST_F(LinkDown, AnRsnaAccessPointIsKeptAsTheLastBss)
{
    Linked();
    Scanned(6);
    adapter_->Mlme.Cntl.KeepOldEntry = 1;
    ASSERT_EQ(MlmeCntLinkDown(port_, 0), STATUS_SUCCESS);
    EXPECT_EQ(std::memcmp(port_->Mlme.Cntl.LastBss.Bssid, kApA, 6), 0);

    Linked();
    std::memset(&port_->Mlme.Cntl.LastBss, 0, sizeof(BSS_ENTRY));
    adapter_->ScanTable->BssEntry[0].AuthMode = 7;  // RSNA-PSK is not kept
    adapter_->Mlme.Cntl.KeepOldEntry = 1;
    ASSERT_EQ(MlmeCntLinkDown(port_, 0), STATUS_SUCCESS);
    EXPECT_EQ(port_->Mlme.Cntl.LastBss.Bssid[0], 0);
}

TEST_F(LinkDown, ADisassociationConfirmLinksDownAndJoinsTheFirstCandidate)
{
    Linked();
    AddCandidate(kApB);
    SetState(1);
    adapter_->Wdi.CntlBlock.PendingMessageId = 8;  // a disconnect task is pending: ignored
    Confirm(37, 0);
    EXPECT_EQ(State(), 1u);
    EXPECT_EQ(port_->ConnectionFlags & 1u, 1u);

    adapter_->Wdi.CntlBlock.PendingMessageId = 0;
    adapter_->Mlme.Cntl.CandidateIndex = 3;
    Confirm(37, 0);
    EXPECT_EQ(port_->ConnectionFlags & 1u, 0u);
    EXPECT_EQ(State(), 2u);
    auto posted = TakePosted();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].machine, 4u);
    EXPECT_EQ(posted[0].message, 1u);
    EXPECT_EQ(U32(posted[0].body, 0), 0u);
}

TEST_F(LinkDown, TheLinkDownDisassociationConfirmEndsIdle)
{
    Linked();
    SetState(9);
    Confirm(37, 0);
    EXPECT_EQ(State(), 0u);
    EXPECT_EQ(port_->ConnectionFlags & 1u, 0u);
    EXPECT_TRUE(TakePosted().empty());
}

class LinkUp : public CntlTest {};

TEST_F(LinkUp, TheBandwidthAndCentreFollowTheAccessPointsOperation)
{
    struct Row {
        const char* name;
        UCHAR vht;
        UCHAR width;
        UCHAR seg0;
        UCHAR seg1;
        UCHAR maxBw;
        UCHAR portBw;
        UCHAR ht40;
        UCHAR bandwidth;
        UCHAR centre;
    } rows[] = {
        {"VHT 160", 1, 2, 50, 0, 3, 0, 1, 3, 50},
        {"VHT 80", 1, 1, 42, 0, 3, 0, 1, 2, 42},
        {"VHT 80 with a second segment, adapter up to 160", 1, 1, 42, 50, 3, 3, 1, 3, 50},
        {"VHT 80 with a second segment, adapter up to 80", 1, 1, 42, 50, 2, 3, 1, 2, 42},
        {"VHT 20/40 with the HT 40 MHz bit", 1, 0, 0, 0, 3, 0, 1, 1, 38},
        {"VHT 20/40 without the HT 40 MHz bit", 1, 0, 0, 0, 3, 0, 0, 0, 36},
        {"VHT 80+80: nothing", 1, 3, 42, 50, 3, 0, 1, 0, 0},
        {"HT 40", 0, 0, 0, 0, 3, 0, 1, 1, 38},
        {"legacy", 0, 0, 0, 0, 3, 0, 0, 0, 36},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        port_->ConnectionFlags = 0;
        port_->Channel.PrimaryChannel = 36;
        port_->Channel.Bandwidth = r.portBw;
        adapter_->HalInfo.MaxBandwidth = r.maxBw;
        JOIN_TARGET_INFO& j = adapter_->Mlme.JoinTargetInfo;
        j.VhtPresent = r.vht;
        j.VhtOperation[0] = r.width;
        j.VhtOperation[1] = r.seg0;
        j.VhtOperation[2] = r.seg1;
        j.HtCapabilityLen = 26;
        j.HtCapability[0] = r.ht40 ? 0x02 : 0x00;
        j.CentralChannel = 38;
        MlmeCntLinkUp(port_, 1);
        EXPECT_EQ(port_->Channel.Bandwidth, r.bandwidth);
        EXPECT_EQ(port_->Channel.CentreChannel, r.centre);
        EXPECT_EQ(port_->ConnectionFlags & 0x83u, 0x81u);  // linked, media connected, not ad hoc
    }
}

TEST_F(LinkUp, TheFirstLinkUpIsAConnectionAndEveryLaterOneARoam)
{
    std::memcpy(adapter_->Mlme.Cntl.MlmeBssid, kApA, 6);
    std::memcpy(adapter_->Mlme.Cntl.MlmeSsid, "home", 4);
    adapter_->Mlme.Cntl.MlmeSsidLen = 4;
    adapter_->Mlme.Cntl.KeepReconnecting = 1;
    MlmeCntLinkUp(port_, 1);
    EXPECT_EQ(adapter_->Mlme.Cntl.Roaming, 1);
    EXPECT_EQ(adapter_->Mlme.Cntl.KeepReconnecting, 0);
    EXPECT_EQ(std::memcmp(port_->Bssid, kApA, 6), 0);
    EXPECT_EQ(port_->CurrentSsidLen, 4);
    EXPECT_EQ(port_->Mlme.Cntl.LinkProgress & 0x03u, 0x03u);
    EXPECT_EQ(port_->Mlme.Cntl.LinkUpInProgress, 0);
    EXPECT_EQ(adapter_->IotLabCounter, 1u) << "the IoT lab check starts over";
    ASSERT_EQ(MlmeCntLinkDown(port_, 0), STATUS_SUCCESS);
    adapter_->Mlme.Cntl.KeepReconnecting = 1;
    MlmeCntLinkUp(port_, 1);
    EXPECT_EQ(adapter_->Mlme.Cntl.Roaming, 1);
    EXPECT_EQ(adapter_->Mlme.Cntl.KeepReconnecting, 1) << "a roam leaves the reconnect flag";
}

}  // namespace
}  // namespace cntltest
