// The NDIS-6 indication layer: the association result and its record, the connection completion,
// the link figures, the scan end and the bus-hang event.
#include "wdiind_support.h"
#include "hal/common/phy_cfg.h"
#include "kshim/host/wificx_peer.h"
#include "support/crossings.h"

namespace {

using kshim::host::WdiIndication;
using kshim::host::WdiRequest;
using wdiind_test::IndTest;
using wdiind_test::Tlv;
using wdiind_test::U32;

class Ndis6 : public wdiind_test::OwnEntryTest {
protected:
    void TearDown() override
    {
        ADAPTER_INDICATION_BLOCK& ind = Adapter()->Ind;
        ind.Beacon = nullptr;
        ind.AssocRequest = nullptr;
        ind.AssocResponse = nullptr;
        OwnEntryTest::TearDown();
    }

    // Stores the frames of the association as the connect path does.
    void StoreFrames(ULONG requestLength, ULONG responseLength)
    {
        beacon_.assign(24 + 6, 0xBE);
        request_.assign(requestLength, 0x11);
        response_.assign(responseLength, 0x22);
        for (size_t i = 24; i < request_.size(); ++i) {
            request_[i] = static_cast<uint8_t>(i);
        }
        ADAPTER_INDICATION_BLOCK& ind = Adapter()->Ind;
        ind.Beacon = beacon_.data();
        ind.BeaconLength = static_cast<ULONG>(beacon_.size());
        ind.AssocRequest = request_.data();
        ind.AssocRequestLength = requestLength;
        ind.AssocResponse = response_.data();
        ind.AssocResponseLength = responseLength;
    }

    std::vector<uint8_t> beacon_;
    std::vector<uint8_t> request_;
    std::vector<uint8_t> response_;
};

TEST_F(Ndis6, ASuccessfulAssociationSendsItsResultWithTheFrames)
{
    PMP_PORT port = Port();
    port->Mlme.AuthAlgorithm = 7;
    port->Mlme.UnicastCipher = 4;
    port->Ind.MulticastCipher = 4;
    port->Ind.Reassociation = 1;
    StoreFrames(24 + 4, 24 + 3);
    Adapter()->Ind.ScanDeviceContext = 0x55;
    EXPECT_EQ(N6PlatformIndicateAssociationCompletion(Adapter(), port, 0, 1), STATUS_SUCCESS);
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_ASSOCIATION_RESULT);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Status(), 0u);
    std::vector<uint8_t> result = Tlv(seen[0], WDI_TLV_ASSOCIATION_RESULT);
    ASSERT_EQ(result.size(), 52u);
    EXPECT_EQ(U32(result, 0), 0u);
    EXPECT_EQ(U32(result, 4), 1u);   // reassociation
    EXPECT_EQ(U32(result, 8), 7u);   // authentication
    EXPECT_EQ(U32(result, 12), 4u);  // unicast cipher
    EXPECT_EQ(U32(result, 32), 3u);  // DS information
    EXPECT_EQ(Tlv(seen[0], WDI_TLV_ASSOC_REQUEST_FRAME), (std::vector<uint8_t>{24, 25, 26, 27}));
    EXPECT_EQ(Tlv(seen[0], WDI_TLV_ASSOC_RESPONSE_FRAME), (std::vector<uint8_t>{0x22, 0x22, 0x22}));
    EXPECT_EQ(Tlv(seen[0], WDI_TLV_BEACON_FRAME), std::vector<uint8_t>(6, 0xBE));
    EXPECT_EQ(U32(Tlv(seen[0], WDI_TLV_DEVICE_CONTEXT), 0), 0x55u);
    EXPECT_EQ(Adapter()->Ind.AssocRequestLength, 0u) << "the stored lengths are cleared";
    EXPECT_EQ(Adapter()->Ind.AssocResponseLength, 0u);
}

TEST_F(Ndis6, ARefusedAssociationSendsTheMappedStatusAndAddsNoPeer)
{
    kshim::host::TraceClear();
    EXPECT_EQ(N6PlatformIndicateAssociationCompletion(Adapter(), Port(), 17, 1), STATUS_SUCCESS);
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_ASSOCIATION_RESULT);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Status(), 0xC0000001u);
    EXPECT_EQ(U32(Tlv(seen[0], WDI_TLV_ASSOCIATION_RESULT), 0), 1u);
    EXPECT_EQ(U32(Tlv(seen[0], WDI_TLV_ASSOCIATION_RESULT), 8), 0u) << "no values on a refusal";
    EXPECT_EQ(qzltest::NotBuiltCalls("N6PlatformIndicateAssociationCompletion"), 0u)
        << "the peer is only added after a success";
}

// A stored frame no longer than its MAC header counts as none; it cannot shrink the record's size.
TEST_F(Ndis6, ShortStoredFramesAreLeftOut)
{
    StoreFrames(10, 24);
    EXPECT_EQ(N6PlatformIndicateAssociationCompletion(Adapter(), Port(), 0, 1), STATUS_SUCCESS);
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_ASSOCIATION_RESULT);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(Tlv(seen[0], WDI_TLV_ASSOC_REQUEST_FRAME).empty());
    EXPECT_TRUE(Tlv(seen[0], WDI_TLV_ASSOC_RESPONSE_FRAME).empty());
    EXPECT_EQ(Tlv(seen[0], WDI_TLV_BEACON_FRAME).size(), 6u);
}

TEST_F(Ndis6, WithoutARecordBufferTheResultGoesAloneAndTheCallFails)
{
    StoreFrames(30, 30);
    kshim::host::FaultArm("pool", "ZV12", 1, STATUS_INSUFFICIENT_RESOURCES, 6);
    EXPECT_EQ(N6PlatformIndicateAssociationCompletion(Adapter(), Port(), 0, 1), STATUS_INSUFFICIENT_RESOURCES);
    kshim::host::FaultClearAll();
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_ASSOCIATION_RESULT);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(Tlv(seen[0], WDI_TLV_ASSOCIATION_RESULT).size(), 52u);
    EXPECT_TRUE(Tlv(seen[0], WDI_TLV_ASSOC_REQUEST_FRAME).empty());
    EXPECT_TRUE(Tlv(seen[0], WDI_TLV_BEACON_FRAME).empty());
}

TEST_F(Ndis6, ProtectedManagementCiphers)
{
    PMP_PORT port = Port();
    struct Case {
        ULONG auth;
        ULONG unicast;
        ULONG multicast;
        UCHAR pmf;
        uint32_t mgmt;
    };
    for (const Case& c : {Case{7, 4, 4, 1, 6}, Case{7, 4, 4, 0, 0}, Case{7, 2, 2, 1, 0}, Case{8, 9, 9, 1, 12},
                          Case{9, 4, 9, 1, 12}, Case{9, 4, 4, 1, 6}}) {
        kshim::host::WifiClearIndications();
        Adapter()->Mlme.PmfSupported = c.pmf;
        port->Mlme.PmfEnabled = c.pmf;
        port->Mlme.AuthAlgorithm = c.auth;
        port->Mlme.UnicastCipher = c.unicast;
        port->Ind.MulticastCipher = c.multicast;
        (void)N6PlatformIndicateAssociationCompletion(Adapter(), port, 0, 1);
        std::vector<WdiIndication> seen = Seen(WDI_INDICATION_ASSOCIATION_RESULT);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(U32(Tlv(seen[0], WDI_TLV_ASSOCIATION_RESULT), 20), c.mgmt) << c.auth << " " << c.unicast;
    }
    Adapter()->Mlme.PmfSupported = 0;
    port->Mlme.PmfEnabled = 0;
}

TEST_F(Ndis6, LinkUpSpeedByConfiguration)
{
    PMP_PORT port = Port();
    const ULONG savedSubtype = port->OpMode;
    struct Case {
        const char* what;
        UCHAR linkSpeedStatus;
        ULONG subtype;
        UCHAR wirelessMode;
        ULONG cipher;
        UCHAR prohibit;
        UCHAR channel;
        ULONG flags;
        uint64_t speed;
    };
    for (const Case& c : {Case{"WEP, prohibited on HT", 0, 2, PHY_11N, 1, 1, 6, 0, 54000000},
                          Case{"WEP, prohibited on HT, 11b", 0, 2, PHY_11B, 5, 1, 6, 0, 11000000},
                          Case{"group owner without HT", 0, 4, PHY_11G, 4, 0, 6, 0, 54000000},
                          Case{"channel 14", 0, 4, PHY_11G, 4, 0, 14, 0, 11000000},
                          Case{"ad hoc without its N mode", 1, 0, PHY_11N, 4, 0, 6, PORT_STATUS_ADHOC_LINK_UP, 54000000},
                          Case{"legacy station", 1, 0, PHY_11G, 4, 0, 6, 0, 54000000}}) {
        Adapter()->RegistryBlock.LinkSpeedStatus = c.linkSpeedStatus;
        Adapter()->WorkingCfg.AdhocNMode = 0;
        port->OpMode = c.subtype;
        port->WirelessMode = c.wirelessMode;
        port->Mlme.UnicastCipher = c.cipher;
        port->Cfg.ProhibitTKIPonHT = c.prohibit;
        port->Cfg.Ch14BOnly = 1;
        port->Channel.PrimaryChannel = c.channel;
        port->ConnectionFlags = c.flags;
        port->Ind.LegacyRateCount = 8;
        port->Ind.HtInUse = 0;
        port->Ind.TxLinkSpeed = 1;
        EXPECT_EQ(N6PlatformIndicateNewLinkSpeedLinkUp(Adapter(), 0), 1) << c.what;
        EXPECT_EQ(port->Ind.TxLinkSpeed, c.speed) << c.what;
        EXPECT_EQ(N6PlatformIndicateNewLinkSpeedLinkUp(Adapter(), 0), 0) << c.what << ": unchanged the second time";
    }
    port->OpMode = savedSubtype;
    port->ConnectionFlags = 0;
    EXPECT_EQ(N6PlatformIndicateNewLinkSpeedLinkUp(Adapter(), 7), 0) << "no such port";
}

// The HT speed (MCS 7, 15 or 23 by the path count, at the channel width and the transmit word's guard
// interval), the VHT speed (MCS 7 at the transmit word's width and guard interval, one or two streams)
// and the speed of the transmit word itself, all from the rate tables in 500 kb/s.
TEST_F(Ndis6, HtVhtAndRateWordSpeedsAtLinkUp)
{
    PMP_PORT port = Port();
    PMP_ADAPTER a = Adapter();
    const ULONG savedSubtype = port->OpMode;
    const USHORT savedPaths = a->AntennaPath;
    // A transmit word of this mode, MCS, bandwidth code and guard interval.
    auto word = [&](ULONG mode, ULONG mcs, ULONG bw, ULONG sgi) {
        PHY_CFG w = 0;
        WRITE_PHY_CFG_MODE(a, &w, mode);
        WRITE_PHY_CFG_MCS(a, &w, mcs);
        WRITE_PHY_CFG_BW(a, &w, bw);
        WRITE_PHY_CFG_SHORT_GI(a, &w, sgi);
        return static_cast<ULONG>(w);
    };
    struct Case {
        const char* what;
        UCHAR linkSpeedStatus;
        USHORT antennaPath;
        UCHAR vhtSwitch;
        UCHAR channelWidth;
        ULONG txWord;
        uint64_t speed;
    };
    for (const Case& c : {Case{"HT, one path: MCS 7, 20 MHz", 1, 0x11, 0, 0, word(2, 0, 0, 0), 65000000},
                          Case{"HT, one path, short guard interval (72.2 in 500 kb/s units)", 1, 0x11, 0, 0,
                               word(2, 0, 0, 1), 72000000},
                          Case{"HT, two paths: MCS 15, 40 MHz", 1, 0x22, 0, 1, word(2, 0, 0, 0), 270000000},
                          Case{"HT, three paths: MCS 23, 20 MHz", 1, 0x33, 0, 0, word(2, 0, 0, 0), 195000000},
                          Case{"HT, no path count: as two", 1, 0x00, 0, 0, word(2, 0, 0, 0), 130000000},
                          Case{"VHT, one stream, 80 MHz", 1, 0x11, 1, 2, word(4, 0, 2, 0), 292500000},
                          Case{"VHT, two streams, 20 MHz", 1, 0x22, 1, 0, word(4, 0, 0, 0), 130000000},
                          Case{"VHT, two streams, 40 MHz, short guard interval", 1, 0x22, 1, 1, word(4, 0, 1, 1),
                               300000000},
                          Case{"the station's transmit word: CCK 11 Mb/s", 0, 0x22, 1, 0, word(0, 3, 0, 0), 11000000},
                          Case{"the station's transmit word: OFDM 54 Mb/s", 0, 0x22, 1, 0, word(1, 7, 0, 0), 54000000},
                          Case{"the station's transmit word: HT MCS 7, 40 MHz, short guard interval", 0, 0x22, 0, 1,
                               word(2, 7, 1, 1), 150000000}}) {
        a->RegistryBlock.LinkSpeedStatus = c.linkSpeedStatus;
        a->RegistryBlock.NetworkType = 1;
        a->AntennaPath = c.antennaPath;
        port->OpMode = 0;
        port->ConnectionFlags = 0;
        port->Cfg.Ch14BOnly = 1;
        port->Channel.PrimaryChannel = 36;
        port->Channel.Bandwidth = c.channelWidth;
        port->Ind.HtInUse = 1;
        port->Ind.HeInUse = 0;
        port->Ind.VhtSwitch = c.vhtSwitch;
        port->Ind.TxRateWord = c.txWord;
        port->Ind.TxLinkSpeed = 1;
        EXPECT_EQ(N6PlatformIndicateNewLinkSpeedLinkUp(a, 0), 1) << c.what;
        EXPECT_EQ(port->Ind.TxLinkSpeed, c.speed) << c.what;
    }
    port->OpMode = savedSubtype;
    a->AntennaPath = savedPaths;
    port->Ind.HtInUse = 0;
    port->Ind.VhtSwitch = 0;
}

// Only a successful association makes the access point the OS's peer (the entry of WLAN index 1).
class Ndis6Peer : public IndTest {};

TEST_F(Ndis6Peer, ASuccessfulAssociationAddsTheAccessPointAsTheOsPeer)
{
    ASSERT_EQ(os_.CreateAdapter(device_, 0, WIFI_ADAPTER_WLAN_STATION), STATUS_SUCCESS);
    Quiesce();
    PMP_PORT port = Port();
    ASSERT_NE(port->NetAdapter, nullptr);
    const uint8_t ap[6] = {0x02, 0x00, 0x00, 0x05, 0x95, 0x01};
    std::memcpy(Adapter()->Ind.AssociatingBssid, ap, 6);
    kshim::host::ResetPeerRecords();
    EXPECT_EQ(N6PlatformIndicateAssociationCompletion(Adapter(), port, 17, 1), STATUS_SUCCESS);
    EXPECT_TRUE(kshim::host::PeerCalls().empty()) << "a refused association adds no peer";
    EXPECT_EQ(N6PlatformIndicateAssociationCompletion(Adapter(), port, 0, 1), STATUS_SUCCESS);
    const std::vector<kshim::host::PeerCall> calls = kshim::host::PeerCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].add);
    EXPECT_EQ(calls[0].adapter, port->NetAdapter);
    EXPECT_EQ(calls[0].address, (std::array<uint8_t, 6>{0x02, 0x00, 0x00, 0x05, 0x95, 0x01}));
    EXPECT_EQ(MlmeSyncMacTabMatchedWlanIdx(port, 1)->OsPeerAdded, 1);
    kshim::host::ResetPeerRecords();
}

// Above quality 75 (with "LinkSpeedMode" 1) the maximum link speed counts, else the firmware's rate.
TEST_F(Ndis6, PeriodicLinkSpeedByQuality)
{
    PMP_PORT port = Port();
    Adapter()->RegistryBlock.LinkSpeedMode = 1;
    Adapter()->RegistryBlock.NetworkType = 1;
    port->OpMode = 0;
    port->Ind.LastEventRate = 130;  // 65 Mb/s
    port->Ind.LastLinkQuality = 75;
    port->Ind.TxLinkSpeed = 0;
    EXPECT_EQ(N6PlatformIndicatePeriodicLinkSpeed(Adapter(), 0), 1);
    EXPECT_EQ(port->Ind.TxLinkSpeed, 65000000u);
    EXPECT_EQ(N6PlatformIndicatePeriodicLinkSpeed(Adapter(), 0), 0);
    port->Ind.LastLinkQuality = 76;
    port->WirelessMode = 4;  // 11g: a maximum of 54 Mb/s
    port->Channel.Bandwidth = 0;
    kshim::host::TraceClear();
    (void)N6PlatformIndicatePeriodicLinkSpeed(Adapter(), 0);
    EXPECT_EQ(port->Ind.TxLinkSpeed, 54000000u);
    EXPECT_EQ(port->Ind.RxLinkSpeed, 54000000u);
}

TEST_F(Ndis6, LinkQualityReportsOnlyALevelChange)
{
    PMP_PORT port = Port();
    port->OpMode = 0;
    Adapter()->AntennaPath = 0x22;
    port->Ind.LastLinkQuality = 0;
    port->Ind.ChainRssi[0] = -40;
    port->Ind.ChainRssi[1] = -50;  // average -45: quality 91
    EXPECT_EQ(N6PlatformIndicateLinkQuality(Adapter(), 0), 1);
    EXPECT_EQ(port->Ind.ReportedRssi, -45);
    EXPECT_EQ(port->Ind.LastLinkQuality, 91);
    port->Ind.ChainRssi[0] = -44;
    port->Ind.ChainRssi[1] = -44;  // quality 92: the same level
    EXPECT_EQ(N6PlatformIndicateLinkQuality(Adapter(), 0), 0);
    EXPECT_EQ(port->Ind.LastLinkQuality, 91);
}

TEST_F(Ndis6, AScanEndCompletesTheScanTaskOnlyWhenAScanIsPending)
{
    WdiRequest scan = Pending(WDI_TASK_SCAN, 33);
    Adapter()->OsScanRequest = 0;
    AdapterSetFlag(Adapter(), ADAPTER_FLAG_OS_SCAN, "test");
    PlatformIndicateScanStatus(Adapter(), Port(), 0, 1, 0);
    EXPECT_FALSE(AdapterTestFlags(Adapter(), ADAPTER_FLAG_OS_SCAN));
    EXPECT_TRUE(Seen(WDI_INDICATION_SCAN_COMPLETE).empty());
    EXPECT_EQ(Block().TaskPending, 1);

    Adapter()->OsScanRequest = 1;
    Port()->Mlme.SyncMachine.CurrState = 2;
    PlatformIndicateScanStatus(Adapter(), Port(), 0, 0, 1);
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_SCAN_COMPLETE);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].TransactionId(), 33u);
    EXPECT_EQ(Adapter()->OsScanRequest, 0);
    EXPECT_EQ(Port()->Mlme.SyncMachine.CurrState, 0u);
    Finish(scan);
}

TEST_F(Ndis6, ABusHangIsAnIhvEvent)
{
    N6PlatformIndicateBusHang(Adapter());
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_IHV_EVENT);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(Tlv(seen[0], WDI_TLV_IHV_EVENT), (std::vector<uint8_t>{189, 0, 1, 0, 0}));
    kshim::host::FaultArm("pool", "ZV40", 1, STATUS_INSUFFICIENT_RESOURCES, 6);
    N6PlatformIndicateBusHang(Adapter());
    kshim::host::FaultClearAll();
    EXPECT_EQ(Seen(WDI_INDICATION_IHV_EVENT).size(), 1u);
}

TEST_F(Ndis6, AnAssociationStartOutsideAnOsConnectionOpensAndClosesOneDialogue)
{
    Adapter()->Ind.ConnectRequest.OsInitiated = 0;
    Adapter()->Ind.ConnectRequest.ConnectionIndicated = 0;
    Adapter()->Ind.ConnectionStartPending = 1;
    N6PlatformIndicateAssociationStart(Adapter(), Port(), nullptr, 0, 5);
    EXPECT_EQ(Adapter()->Ind.ConnectRequest.ConnectionIndicated, 1);
    EXPECT_EQ(Port()->Ind.State.AllowedMask, INDICATION_ALLOWED_IDLE) << "started and completed";
    const UCHAR next = Port()->Ind.History.NextIndex;
    N6PlatformIndicateAssociationStart(Adapter(), Port(), nullptr, 0, 5);
    EXPECT_EQ(Port()->Ind.History.NextIndex, next) << "once only";
}

}  // namespace
