// The WDI indication generators: what each puts in its TLVs, what it refuses to send, and what a
// failed encoding leaves the OS with.
#include "wdiind_support.h"

namespace {

using kshim::host::WdiIndication;
using wdiind_test::IndTest;
using wdiind_test::Tlv;
using wdiind_test::U32;

// A management frame: frame control, duration, three addresses, sequence, then the body.
std::vector<uint8_t> Frame(uint8_t frameControl, std::vector<uint8_t> body, uint8_t addr2Tag = 0xA2,
                           uint8_t addr3Tag = 0xA3)
{
    std::vector<uint8_t> f(24, 0);
    f[0] = frameControl;
    for (int i = 0; i < 6; ++i) {
        f[4 + i] = 0xFF;
        f[10 + i] = static_cast<uint8_t>(addr2Tag + i);
        f[16 + i] = static_cast<uint8_t>(addr3Tag + i);
    }
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

TEST_F(IndTest, ABssEntryIsFreshOnceAfterAnUpdateAndCachedAfterwards)
{
    std::vector<uint8_t> probe = Frame(0x50, {0, 1, 2, 3, 4});
    UCHAR indicated = 0;
    WDI_BSS_ENTRY_SOURCE entry{};
    const UCHAR bssid[6] = {2, 0, 0, 0, 0, 9};
    std::memcpy(entry.Bssid, bssid, 6);
    entry.ProbeResponse = probe.data();
    entry.ProbeResponseLength = static_cast<ULONG>(probe.size());
    entry.Rssi = -40;
    entry.Channel = 36;
    entry.Band = BAND_5G;
    entry.HostTimeStamp = 0x1122334455667788ull;
    entry.Indicated = &indicated;
    Adapter()->Ind.ScanDeviceContext = 0xCAFEF00D;

    WdiGeneratorBssEntry(Adapter(), Port(), &entry);
    WdiGeneratorBssEntry(Adapter(), Port(), &entry);
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_BSS_ENTRY_LIST);
    ASSERT_EQ(seen.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(seen[i].TransactionId(), 0u);
        EXPECT_EQ(Tlv(seen[i], WDI_TLV_BSSID), std::vector<uint8_t>(bssid, bssid + 6));
        EXPECT_EQ(Tlv(seen[i], WDI_TLV_PROBE_RESPONSE_FRAME), (std::vector<uint8_t>{0, 1, 2, 3, 4}));
        EXPECT_TRUE(Tlv(seen[i], WDI_TLV_BEACON_FRAME).empty());
        std::vector<uint8_t> channel = Tlv(seen[i], WDI_TLV_CHANNEL_INFO);
        EXPECT_EQ(U32(channel, 0), 36u);
        EXPECT_EQ(U32(channel, 4), static_cast<uint32_t>(WIFI_BAND_ID_5G));
        EXPECT_EQ(U32(Tlv(seen[i], WDI_TLV_SIGNAL_INFO), 0), static_cast<uint32_t>(-40));
        EXPECT_EQ(U32(Tlv(seen[i], WDI_TLV_SIGNAL_INFO), 4), 94u);
        EXPECT_EQ(U32(Tlv(seen[i], WDI_TLV_DEVICE_CONTEXT), 0), 0xCAFEF00Du);
        std::vector<uint8_t> age = Tlv(seen[i], WDI_TLV_BSS_ENTRY_AGE_INFO);
        ASSERT_EQ(age.size(), 9u);
        EXPECT_EQ(age[0], 0x88);
        EXPECT_EQ(age[8], i == 0 ? 0 : 1) << "indication " << i;
    }
    EXPECT_EQ(indicated, 1);
}

TEST_F(IndTest, ABssEntryWithoutAFrameBodyIsNotIndicated)
{
    std::vector<uint8_t> headerOnly = Frame(0x80, {});
    WDI_BSS_ENTRY_SOURCE entry{};
    entry.Beacon = headerOnly.data();
    entry.BeaconLength = static_cast<ULONG>(headerOnly.size());
    WdiGeneratorBssEntry(Adapter(), Port(), &entry);
    EXPECT_TRUE(Seen(WDI_INDICATION_BSS_ENTRY_LIST).empty());
}

// A failed encoding: the disassociation still reaches the OS as a bare header, the link state does
// not reach it at all.
TEST_F(IndTest, AFailedEncodingSendsABareDisassociationAndNoLinkState)
{
    const UCHAR peer[6] = {1, 2, 3, 4, 5, 6};
    kshim::host::FaultArm("pool", "ZV41", 1, STATUS_INSUFFICIENT_RESOURCES, 0);
    WdiGeneratorEventIndicateDisassociation(Adapter(), Port(), peer, 7);
    WDI_LINK_STATE_PARAMETERS state{};
    WdiGeneratorEventIndicateLinkStateChange(Adapter(), Port(), &state, nullptr);
    kshim::host::FaultClearAll();
    std::vector<WdiIndication> disassoc = Seen(WDI_INDICATION_DISASSOCIATION);
    ASSERT_EQ(disassoc.size(), 1u);
    EXPECT_EQ(disassoc[0].bytes.size(), 16u);
    EXPECT_TRUE(Seen(WDI_INDICATION_LINK_STATE_CHANGE).empty());

    WdiGeneratorEventIndicateDisassociation(Adapter(), Port(), peer, 7);
    disassoc = Seen(WDI_INDICATION_DISASSOCIATION);
    ASSERT_EQ(disassoc.size(), 2u);
    std::vector<uint8_t> params = Tlv(disassoc[1], WDI_TLV_DISASSOCIATION_PARAMS);
    EXPECT_EQ(std::vector<uint8_t>(params.begin(), params.begin() + 6), std::vector<uint8_t>(peer, peer + 6));
    EXPECT_EQ(U32(params, 6), 7u);
}

TEST_F(IndTest, ALinkStateWithoutItsListBlockGoesWithoutTheList)
{
    WDI_LINK_STATE_PARAMETERS state{};
    state.TxLinkSpeed = 866000;
    WDI_LINK_QUALITY_ENTRY quality{};
    quality.Rssi = -55;
    // The first ZV40 block is the state's, the second the list's.
    kshim::host::FaultArm("pool", "ZV40", 2, STATUS_INSUFFICIENT_RESOURCES, 6);  // the allocator tries six times
    WdiGeneratorEventIndicateLinkStateChange(Adapter(), Port(), &state, &quality);
    kshim::host::FaultClearAll();
    WdiGeneratorEventIndicateLinkStateChange(Adapter(), Port(), &state, &quality);
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_LINK_STATE_CHANGE);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(U32(Tlv(seen[0], WDI_TLV_LINK_STATE_PARAMS), 6), 866000u);
    EXPECT_TRUE(Tlv(seen[0], WDI_TLV_LINK_QUALITY_ENTRY).empty());
    std::vector<uint8_t> entry = Tlv(seen[1], WDI_TLV_LINK_QUALITY_ENTRY);
    ASSERT_EQ(entry.size(), 40u);
    EXPECT_EQ(U32(entry, 28), static_cast<uint32_t>(-55));
}

TEST_F(IndTest, NloDiscoveryTakesBeaconsAndProbeResponsesOnly)
{
    struct Case {
        uint8_t frameControl;
        uint16_t frameTlv;  // 0: nothing sent
    };
    for (const Case& c : {Case{0x80, WDI_TLV_BEACON_FRAME}, Case{0x50, WDI_TLV_PROBE_RESPONSE_FRAME},
                          Case{0x08, 0}, Case{0x88, 0}, Case{0x40, 0}}) {
        kshim::host::WifiClearIndications();
        std::vector<uint8_t> frame = Frame(c.frameControl, {7, 7, 7});
        WdiGeneratorEventIndicateNLODiscovery(Adapter(), Port(), frame.data(), static_cast<ULONG>(frame.size()), -60);
        std::vector<WdiIndication> seen = Seen(WDI_INDICATION_NLO_DISCOVERY);
        if (c.frameTlv == 0) {
            EXPECT_TRUE(seen.empty()) << int(c.frameControl);
            continue;
        }
        ASSERT_EQ(seen.size(), 1u) << int(c.frameControl);
        EXPECT_EQ(Tlv(seen[0], c.frameTlv), (std::vector<uint8_t>{7, 7, 7}));
        EXPECT_EQ(Tlv(seen[0], WDI_TLV_BSSID)[0], 0xA3) << "the third address";
    }
    // A frame shorter than its MAC header, and none.
    std::vector<uint8_t> cut = Frame(0x80, {});
    cut.resize(20);
    WdiGeneratorEventIndicateNLODiscovery(Adapter(), Port(), cut.data(), static_cast<ULONG>(cut.size()), -60);
    WdiGeneratorEventIndicateNLODiscovery(Adapter(), Port(), nullptr, 30, -60);
    EXPECT_TRUE(Seen(WDI_INDICATION_NLO_DISCOVERY).empty());
}

TEST_F(IndTest, SaeIndicationsByType)
{
    const UCHAR peerRecord[7] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x99};
    std::vector<uint8_t> commit = Frame(0xB0, {1, 0, 19, 0, 0xAA});
    // Type 3 without a frame; types 1 and 2 with one; type 0 carries the BSSID and the type only.
    (void)WdiGeneratorEventIndicateSAE(Adapter(), Port(), nullptr, 0, peerRecord, WDI_SAE_INDICATION_TYPE_ERROR);
    (void)WdiGeneratorEventIndicateSAE(Adapter(), Port(), commit.data(), static_cast<ULONG>(commit.size()), peerRecord,
                                       WDI_SAE_INDICATION_TYPE_COMMIT_RESPONSE);
    (void)WdiGeneratorEventIndicateSAE(Adapter(), Port(), commit.data(), static_cast<ULONG>(commit.size()), peerRecord,
                                       WDI_SAE_INDICATION_TYPE_CONFIRM_RESPONSE);
    (void)WdiGeneratorEventIndicateSAE(Adapter(), Port(), nullptr, 0, peerRecord,
                                       WDI_SAE_INDICATION_TYPE_COMMIT_REQUEST_PARAMS_NEEDED);
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_SAE_AUTH_PARAMS_NEEDED);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(U32(Tlv(seen[0], WDI_TLV_SAE_INDICATION_TYPE), 0), 3u);
    EXPECT_EQ(U32(Tlv(seen[0], WDI_TLV_SAE_INDICATION_TYPE), 4), WDI_SAE_ERROR_FLAG);
    EXPECT_EQ(Tlv(seen[0], WDI_TLV_BSSID)[0], 0x10) << "the peer record's address without a frame";
    EXPECT_EQ(Tlv(seen[1], WDI_TLV_BSSID)[0], 0xA2) << "the frame's second address";
    EXPECT_EQ(Tlv(seen[1], WDI_TLV_SAE_COMMIT_FRAME), (std::vector<uint8_t>{1, 0, 19, 0, 0xAA}));
    EXPECT_EQ(Tlv(seen[2], WDI_TLV_SAE_CONFIRM_FRAME).size(), 5u);
    EXPECT_TRUE(Tlv(seen[3], WDI_TLV_SAE_COMMIT_FRAME).empty());
    EXPECT_EQ(U32(Tlv(seen[3], WDI_TLV_SAE_INDICATION_TYPE), 0), 0u);
    EXPECT_STREQ(WdiGeneratorSaeIndicationTypeName(4), "WDI_SAE_INDICATION_TYPE_CONFIRM_REQUEST_RESEND_REQUEST");
    EXPECT_STREQ(WdiGeneratorSaeIndicationTypeName(5), "***UNKNOWN TYPE***");
}

// The hash-to-element walk finds the element length and never looks past the commit's end: an
// element id 255 in the last two bytes is not tested against a byte beyond them.
TEST_F(IndTest, TheHashToElementWalkStaysInsideTheCommit)
{
    Port()->Ind.SaeH2e = 1;
    const UCHAR peerRecord[7] = {};
    struct Case {
        std::vector<uint8_t> body;
        uint8_t expected;
    };
    for (const Case& c : {Case{{1, 2, 255, 33, 93, 0}, 33}, Case{{1, 2, 3, 255, 7}, 0}, Case{{255}, 0}}) {
        Port()->Ind.SaeH2eElementLength = 0;
        std::vector<uint8_t> f = Frame(0xB0, c.body);
        // An exact-size heap copy lets the sanitizer see a read past the end.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[f.size()]);
        std::memcpy(exact.get(), f.data(), f.size());
        (void)WdiGeneratorEventIndicateSAE(Adapter(), Port(), exact.get(), static_cast<ULONG>(f.size()), peerRecord,
                                           WDI_SAE_INDICATION_TYPE_COMMIT_RESPONSE);
        EXPECT_EQ(Port()->Ind.SaeH2eElementLength, c.expected);
    }
    Port()->Ind.SaeH2e = 0;
}

TEST_F(IndTest, AssociationParametersRequestByReason)
{
    const UCHAR target[6] = {0xB0, 1, 2, 3, 4, 5};
    const UCHAR pending[6] = {0xC0, 1, 2, 3, 4, 5};
    std::memcpy(Port()->Ind.RoamTarget, target, 6);
    std::memcpy(Adapter()->Ind.PendingBssid, pending, 6);
    Port()->Ind.LastLinkQuality = 61;
    struct Case {
        ULONG reason;
        uint8_t firstByte;  // 0: nothing sent
        uint32_t extra1;
        uint32_t extra2;
    };
    for (const Case& c : {Case{64, Port()->Bssid[0], 0, 0}, Case{159, 0xB0, 10, 1}, Case{261, 0xC0, 0, 0},
                          Case{262, 0xC0, 0, 0}, Case{100, 0, 0, 0}}) {
        kshim::host::WifiClearIndications();
        Port()->Ind.ParamsRequested = 0;
        NTSTATUS status = WdiGeneratorEventIndicateAssociationParametersRequest(Adapter(), Port(), c.reason);
        std::vector<WdiIndication> seen = Seen(WDI_INDICATION_ASSOCIATION_PARAMETERS_REQUEST);
        if (c.reason == 100) {
            EXPECT_TRUE(seen.empty());
            EXPECT_NE(status, STATUS_SUCCESS);
            continue;
        }
        ASSERT_EQ(seen.size(), 1u) << c.reason;
        std::vector<uint8_t> bssid = Tlv(seen[0], WDI_TLV_ASSOC_PARAMS_BSSID);
        EXPECT_EQ(bssid[0], c.firstByte) << c.reason;
        EXPECT_EQ(U32(bssid, 6), c.extra1);
        EXPECT_EQ(U32(bssid, 10), c.extra2);
        std::vector<uint8_t> request = Tlv(seen[0], WDI_TLV_ASSOC_PARAMS_REQUEST);
        EXPECT_EQ(U32(request, 0), 2u);
        EXPECT_EQ(U32(request, 8), 61u);
        EXPECT_EQ(Port()->Ind.ParamsRequested, c.reason == 159 ? 1 : 0);
    }
}

TEST_F(IndTest, RadioStatusGoesToTheAdapterPortId)
{
    Adapter()->RadioState.HardwareRadioState = 1;
    Adapter()->RadioState.SoftwareRadioState = 0;
    WdiGeneratorSetRadioState(Adapter());
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_RADIO_STATUS);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].PortId(), WDI_PORT_ID_ADAPTER);
    EXPECT_EQ(Tlv(seen[0], WDI_TLV_RADIO_STATE), (std::vector<uint8_t>{1, 0}));
}

TEST_F(IndTest, LinkQualityOfSignalStrength)
{
    struct Case {
        LONG rssi;
        ULONG quality;
    };
    for (const Case& c : {Case{-20, 100}, Case{-30, 100}, Case{-31, 100}, Case{-40, 94}, Case{-70, 75},
                          Case{-71, 72}, Case{-90, 15}, Case{-95, 0}, Case{-120, 0}}) {
        EXPECT_EQ(WdiGeneratorLinkQuality(c.rssi), c.quality) << c.rssi;
    }
}

// A value longer than a TLV can say is refused, not cut: the frame does not go out.
TEST_F(IndTest, AFrameLongerThanATlvCanCarryIsNotSent)
{
    std::vector<uint8_t> big = Frame(0xD0, std::vector<uint8_t>(0x10000, 0x5A));
    EXPECT_EQ(WdiGeneratorIncomingActionFrame(Adapter(), Port(), 3, 6, big.data(), static_cast<ULONG>(big.size())),
              STATUS_SUCCESS);
    EXPECT_TRUE(Seen(WDI_INDICATION_ACTION_FRAME_RECEIVED).empty());
    std::vector<uint8_t> small = Frame(0xD0, {4, 9});
    EXPECT_EQ(WdiGeneratorIncomingActionFrame(Adapter(), Port(), 3, 149, small.data(),
                                              static_cast<ULONG>(small.size())),
              STATUS_SUCCESS);
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_ACTION_FRAME_RECEIVED);
    ASSERT_EQ(seen.size(), 1u);
    std::vector<uint8_t> info = Tlv(seen[0], WDI_TLV_ACTION_FRAME_INFO);
    EXPECT_EQ(info[0], 0xA2);
    EXPECT_EQ(info[6], 3);
    EXPECT_EQ(U32(info, 7), static_cast<uint32_t>(WIFI_BAND_ID_5G));
    EXPECT_EQ(Tlv(seen[0], WDI_TLV_ACTION_FRAME_BODY), (std::vector<uint8_t>{4, 9}));
}

}  // namespace

namespace {

TEST_F(IndTest, TheAccessPointsResponseCompletionEndsItsTask)
{
    kshim::host::WdiRequest task = Pending(WDI_TASK_SEND_AP_ASSOCIATION_RESPONSE, 17);
    MAC_TABLE_ENTRY entry{};
    entry.AuthMode = 7;
    entry.CipherMode = 4;
    const UCHAR peer[6] = {0x0A, 1, 2, 3, 4, 5};
    const UCHAR response[3] = {0x31, 0x32, 0x33};
    WdiGeneratorApSendAssociationResponseComplete(Adapter(), Port(), &entry, peer, 0, sizeof(response), response);
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_SEND_AP_ASSOCIATION_RESPONSE_COMPLETE);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].TransactionId(), 17u);
    std::vector<uint8_t> summary = Tlv(seen[0], WDI_TLV_AP_ASSOC_RESPONSE_RESULT);
    ASSERT_EQ(summary.size(), 16u);
    EXPECT_EQ(summary[0], 0x0A);
    EXPECT_EQ(U32(summary, 8), 7u);
    EXPECT_EQ(U32(summary, 12), 4u);
    EXPECT_EQ(Tlv(seen[0], WDI_TLV_ASSOC_RESPONSE_FRAME), std::vector<uint8_t>(response, response + 3));
    EXPECT_EQ(Block().TaskPending, 0);
    Finish(task);
}

TEST_F(IndTest, TheGroupOperatingChannelAttribute)
{
    Port()->Channel.PrimaryChannel = 6;
    Port()->Channel.Band = BAND_24G;
    WdiGeneratorEventP2PGroupOperatingChannel(Adapter(), Port());
    WdiGeneratorEventP2PGroupOperatingChannel(Adapter(), nullptr);
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_P2P_GROUP_OPERATING_CHANNEL);
    ASSERT_EQ(seen.size(), 1u);
    std::vector<uint8_t> a = Tlv(seen[0], WDI_TLV_P2P_GROUP_CHANNEL);
    ASSERT_EQ(a.size(), 10u);
    EXPECT_EQ(std::vector<uint8_t>(a.begin(), a.begin() + 3), (std::vector<uint8_t>{'X', 'X', 4}));
    EXPECT_EQ(a[3], P2pOpClassFromChannel(6, BAND_24G, 4));
    EXPECT_EQ(a[4], 6);
    EXPECT_EQ(a[5], 1);
    EXPECT_EQ(U32(a, 6), static_cast<uint32_t>(WIFI_BAND_ID_2G));
}

TEST_F(IndTest, AWiFiDirectActionFrameCarriesItsInformationBodyAndExtraElements)
{
    UCHAR info[WDI_P2P_ACTION_FRAME_INFO_SIZE] = {3, 0, 0, 0, 9};
    const UCHAR body[2] = {0x04, 0x09};
    const UCHAR extra[3] = {0xDD, 0x01, 0x00};
    WdiGeneratorP2PIncomingActionFrame(Adapter(), Port(), info, body, sizeof(body), extra, sizeof(extra));
    WdiGeneratorP2PIncomingActionFrame(Adapter(), Port(), info, nullptr, 0, nullptr, 0);
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_P2P_ACTION_FRAME_RECEIVED);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(Tlv(seen[0], WDI_TLV_P2P_ACTION_FRAME_INFO), std::vector<uint8_t>(info, info + 12));
    EXPECT_EQ(Tlv(seen[0], WDI_TLV_ACTION_FRAME_BODY), std::vector<uint8_t>(body, body + 2));
    EXPECT_EQ(Tlv(seen[0], WDI_TLV_P2P_EXTRA_IES), std::vector<uint8_t>(extra, extra + 3));
    EXPECT_TRUE(Tlv(seen[1], WDI_TLV_ACTION_FRAME_BODY).empty());
    EXPECT_TRUE(Tlv(seen[1], WDI_TLV_P2P_EXTRA_IES).empty());
}

}  // namespace
