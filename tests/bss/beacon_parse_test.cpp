// Beacon and probe-response parsing: the element rules, the rejections, the channel decision and
// the side effects on the adapter.
#include <memory>

#include "Common/mlme/mlmesync_sanity.h"
#include "bss/bss_fixture.h"

namespace bsstest {
namespace {

const Bytes kRates = Ie(1, {0x82, 0x84, 0x8B, 0x96});

class BeaconParse : public BssTest {
protected:
    void SetUp() override
    {
        BssTest::SetUp();
        adapter_->RegistryBlock.FWBuildScnChList = 1;
        elem_ = std::make_unique<MLME_QUEUE_ELEM>();
        result_ = std::make_unique<BEACON_PARSE_RESULT>();
    }

    // A frame of the subtype with the given elements; received on the band and channel.
    BOOLEAN Parse(const Bytes& ies, UCHAR rxChannel = 6, UCHAR rxBand = BAND_24G, UCHAR subtype = 8,
                  USHORT capability = 0x0401)
    {
        Bytes f(36, 0);
        f[0] = static_cast<UCHAR>(subtype << 4);
        for (int i = 0; i < 6; ++i) {
            f[10 + i] = static_cast<UCHAR>(0xA0 + i);
            f[16 + i] = static_cast<UCHAR>(0xB0 + i);
        }
        f[24] = 0x11;  // timestamp low byte
        f[32] = 100;   // beacon interval
        f[34] = static_cast<UCHAR>(capability);
        f[35] = static_cast<UCHAR>(capability >> 8);
        f.insert(f.end(), ies.begin(), ies.end());
        frame_ = f;
        *elem_ = MLME_QUEUE_ELEM{};
        std::memcpy(elem_->Msg, f.data(), f.size() < MLME_MSG_SIZE ? f.size() : MLME_MSG_SIZE);
        elem_->Band = rxBand;
        elem_->Channel = rxChannel;
        *result_ = BEACON_PARSE_RESULT{};
        result_->VarIes = varIes_;
        result_->Channel = 0xFF;
        return MlmeSyncPeerBeaconAndProbeRspSanity(adapter_, port_, elem_.get(), static_cast<ULONG>(f.size()),
                                                   result_.get());
    }

    BEACON_PARSE_RESULT& R() { return *result_; }

    std::unique_ptr<MLME_QUEUE_ELEM> elem_;
    std::unique_ptr<BEACON_PARSE_RESULT> result_;
    UCHAR varIes_[BCN_PARSE_IE_LIMIT] = {};
    Bytes frame_;
};

TEST_F(BeaconParse, TheFixedFieldsAndTheBasicElements)
{
    ASSERT_TRUE(Parse(Cat({SsidIe("home"), kRates, Ie(3, {6}), Ie(11, {5, 0, 40, 0, 0}), Ie(42, {3}),
                           Ie(7, {'U', 'S', ' ', 1, 11, 20}), Ie(32, {3})})));
    EXPECT_EQ(R().TransmitterAddress[0], 0xA0);
    EXPECT_EQ(R().Bssid[5], 0xB5);
    EXPECT_EQ(R().BeaconPeriod, 100);
    EXPECT_EQ(R().FrameTimestamp, 0x11u);
    EXPECT_EQ(R().BssType, BSS_INFRA);
    EXPECT_EQ(R().Channel, 6);
    EXPECT_EQ(R().Band, BAND_24G);
    EXPECT_EQ(R().SsidLen, 4);
    EXPECT_EQ(R().SupportedRatesLen, 4);
    EXPECT_EQ(R().QbssLoad.Valid, 1);
    EXPECT_EQ(R().QbssLoad.StaCount, 5);
    EXPECT_EQ(R().QbssLoad.ChannelUtilization, 40);
    EXPECT_EQ(R().ErpInfo, 3);
    EXPECT_EQ(R().CountryString, 0x5355);
    EXPECT_EQ(R().LocalMaxTxPower, 20);  // channels 1..11
    EXPECT_EQ(R().PowerConstraint, 3);
    EXPECT_EQ(R().SecondaryChannelOffset, 0xFF);
    EXPECT_EQ(R().WideBandwidthChannelSwitch[0], 0xFF);
    EXPECT_EQ(R().VarIeLen, frame_.size() - 36);
    EXPECT_EQ(std::memcmp(varIes_, frame_.data() + 36, R().VarIeLen), 0);
    EXPECT_TRUE(Parse(Cat({SsidIe("adhoc"), kRates}), 6, BAND_24G, 8, 0x0002));
    EXPECT_EQ(R().BssType, BSS_ADHOC);
}

TEST_F(BeaconParse, RejectionsAndIgnoredElements)
{
    Bytes ssid33 = IeOf(0, Bytes(33, 'a'));
    struct Case {
        const char* name;
        Bytes ies;
        bool accepted;
    } cases[] = {
        {"ssid of 33", Cat({ssid33, kRates}), false},
        {"second ssid of 33 ignored", Cat({SsidIe("a"), ssid33, kRates}), true},
        {"rates of 13", Cat({SsidIe("a"), IeOf(1, Bytes(13, 0x82))}), false},
        {"ext rates of 13 ignored", Cat({SsidIe("a"), kRates, IeOf(50, Bytes(13, 0x82))}), true},
        {"ds of length 2", Cat({SsidIe("a"), kRates, Ie(3, {6, 6})}), false},
        {"ds channel 0", Cat({SsidIe("a"), kRates, Ie(3, {0})}), false},
        {"ds channel 255", Cat({SsidIe("a"), kRates, Ie(3, {255})}), false},
        {"cf of length 5", Cat({SsidIe("a"), kRates, Ie(4, {1, 2, 3, 4, 5})}), false},
        {"ibss of length 3", Cat({SsidIe("a"), kRates, Ie(6, {1, 2, 3})}), false},
        {"no rates", SsidIe("a"), false},
        {"no ssid", kRates, false},
        {"no elements", {}, false},
        {"short country ignored", Cat({SsidIe("a"), kRates, Ie(7, {'U', 'S'})}), true},
        {"truncated last element", Cat({SsidIe("a"), kRates, Bytes{221, 50, 1, 2}}), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Parse(c.ies) != FALSE, c.accepted) << c.name;
    }
}

TEST_F(BeaconParse, TwoSsidElementsKeepTheFirstAndBothAreCopied)
{
    Bytes ies = Cat({SsidIe("first"), SsidIe("second"), kRates});
    ASSERT_TRUE(Parse(ies));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(R().Ssid), R().SsidLen), "first");
    EXPECT_EQ(R().VarIeLen, ies.size());
}

TEST_F(BeaconParse, AFrameShorterThanItsFixedFieldsIsRejected)
{
    *elem_ = MLME_QUEUE_ELEM{};
    EXPECT_FALSE(MlmeSyncPeerBeaconAndProbeRspSanity(adapter_, port_, elem_.get(), 35, result_.get()));
}

TEST_F(BeaconParse, ChannelListChecksWhenTheDriverBuildsTheLists)
{
    adapter_->RegistryBlock.FWBuildScnChList = 0;
    SetChannels({{1, BAND_24G}, {6, BAND_24G}, {36, BAND_5G}});
    EXPECT_TRUE(Parse(Cat({SsidIe("a"), kRates, Ie(3, {6})})));
    EXPECT_FALSE(Parse(Cat({SsidIe("a"), kRates, Ie(3, {11})})));
    EXPECT_FALSE(Parse(Cat({SsidIe("a"), kRates}), 149, BAND_5G));  // channel of reception not listed
}

Bytes HtOp(UCHAR primary)
{
    Bytes body(22, 0);
    body[0] = primary;
    return IeOf(61, body);
}

TEST_F(BeaconParse, AFiveGigahertzBeaconWithoutDsTakesItsChannelFromHtOperationOrTheReception)
{
    adapter_->CurrentChannel = 36;
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, HtOp(44)}), 40, BAND_5G));
    EXPECT_EQ(R().Channel, 44);
    EXPECT_EQ(R().Band, BAND_5G);
    EXPECT_EQ(R().HtOperationLen, 22);
    adapter_->CurrentChannel = 6;
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, HtOp(44)}), 40, BAND_5G));
    EXPECT_EQ(R().Channel, 40);
}

TEST_F(BeaconParse, AWideBssHeardFarFromItsCentreIsRejected)
{
    Bytes ies = Cat({SsidIe("a"), kRates, Ie(192, {1, 42, 0, 0xFC, 0xFF})});
    EXPECT_FALSE(Parse(ies, 149, BAND_5G));
    ASSERT_TRUE(Parse(ies, 36, BAND_5G));
    EXPECT_EQ(R().Channel, 36);
}

Bytes HeOp6g(UCHAR primary, UCHAR control)
{
    // extension id, parameters with the 6 GHz information bit, colour, basic MCS, 6 GHz information
    return Ie(255, {36, 0x00, 0x00, 0x02, 0x01, 0xFC, 0xFF, primary, control, primary, 0, 6});
}

TEST_F(BeaconParse, OnSixGigahertzTheDsElementIsIgnoredAndHeOperationGivesTheChannel)
{
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, Ie(3, {6}), HeOp6g(37, 0)}), 33, BAND_6G));
    EXPECT_EQ(R().Channel, 37);
    EXPECT_EQ(R().Band, BAND_6G);
    EXPECT_EQ(adapter_->AfcChannel, 37);
    EXPECT_EQ(adapter_->AfcNotApplicable, 1);
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, HeOp6g(37, 1u << 3)}), 33, BAND_6G));
    EXPECT_EQ(adapter_->AfcNotApplicable, 0);  // standard-power access point
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, Ie(3, {6})}), 33, BAND_6G));
    EXPECT_EQ(R().Channel, 33);  // the channel of reception
    EXPECT_EQ(R().Band, BAND_6G);
}

TEST_F(BeaconParse, ASixGigahertzStandardPowerFilterActionThreeRejects)
{
    adapter_->RegistryBlock.SP6GDefaultAction = 3;
    EXPECT_FALSE(Parse(Cat({SsidIe("a"), kRates, HeOp6g(37, 1u << 3)}), 33, BAND_6G));
    adapter_->RegistryBlock.SP6GDefaultAction = 2;
    EXPECT_TRUE(Parse(Cat({SsidIe("a"), kRates, HeOp6g(37, 1u << 3)}), 33, BAND_6G));
}

TEST_F(BeaconParse, TheWalkStopsBeforeTheElementCopyReachesItsLimit)
{
    Bytes filler;
    for (int i = 0; i < 4; ++i) {
        Bytes e = IeOf(221, Bytes(253, 0x01));  // 255 bytes each: 1020 in all
        filler.insert(filler.end(), e.begin(), e.end());
    }
    EXPECT_FALSE(Parse(Cat({filler, SsidIe("a"), kRates})));  // the SSID would reach 1024
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, filler})));
    EXPECT_LT(R().VarIeLen, BCN_PARSE_IE_LIMIT);
}

Bytes Wps(std::initializer_list<UCHAR> data)
{
    Bytes body{0x00, 0x50, 0xF2, 0x04};
    body.insert(body.end(), data.begin(), data.end());
    return IeOf(221, body);
}

TEST_F(BeaconParse, WpsElementsOfOneFrameAreMergedAndNotCopiedWithTheOthers)
{
    Bytes first = Wps({0x10, 0x4A, 0x00, 0x01, 0x10});
    Bytes second = Wps({0x10, 0x44, 0x00, 0x01, 0x02});
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, first, second}), 6, BAND_24G, 5));
    ASSERT_EQ(R().ProbeRspWpsIeLen, first.size() + second.size() - 6);
    EXPECT_EQ(std::memcmp(R().ProbeRspWpsIe, first.data(), first.size()), 0);
    EXPECT_EQ(std::memcmp(R().ProbeRspWpsIe + first.size(), second.data() + 6, second.size() - 6), 0);
    EXPECT_EQ(R().BeaconWpsIeLen, 0);
    EXPECT_EQ(R().VarIeLen, SsidIe("a").size() + kRates.size());
}

TEST_F(BeaconParse, ManyWpsElementsAreCutAtTheirBuffer)
{
    Bytes ies = Cat({SsidIe("a"), kRates});
    for (int i = 0; i < 7; ++i) {
        Bytes body{0x00, 0x50, 0xF2, 0x04};
        body.resize(250, 0x33);
        Bytes e = IeOf(221, body);
        ies.insert(ies.end(), e.begin(), e.end());
    }
    ASSERT_TRUE(Parse(ies));
    EXPECT_EQ(R().BeaconWpsIeLen, BCN_PARSE_IE_LIMIT);
}

TEST_F(BeaconParse, HtElementsAndThePreStandardForms)
{
    Bytes htCap = IeOf(45, Bytes(26, 0x6E));
    Bytes preCap{0x00, 0x90, 0x4C, 0x33};
    preCap.resize(30, 0x11);
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, htCap, IeOf(221, preCap)})));
    EXPECT_EQ(R().HtCapabilityLen, 26);
    EXPECT_EQ(R().PreStdHtCapabilityLen, 0);
    EXPECT_EQ(R().HtCapability[0], 0x6E);
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, IeOf(221, preCap)})));
    EXPECT_EQ(R().PreStdHtCapabilityLen, 26);
    EXPECT_EQ(R().HtCapability[0], 0x11);
    port_->WirelessMode = PHY_11G;  // no HT on the port: HT operation is not taken
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, HtOp(6), Ie(62, {1})})));
    EXPECT_EQ(R().HtOperationLen, 0);
    EXPECT_EQ(R().SecondaryChannelOffset, 0xFF);
}

TEST_F(BeaconParse, WmmElementsFillTheEdcaRecord)
{
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, Ie(221, {0x00, 0x50, 0xF2, 0x02, 0x00, 0x01, 0x83})})));
    const EDCA_PARM& d = R().EdcaParameters;
    EXPECT_EQ(d.Valid, 1);
    EXPECT_EQ(d.ParamSetCount, 3);
    EXPECT_EQ(d.UapsdCapable, 1);
    const UCHAR aifsn[4] = {7, 3, 2, 2}, cwMin[4] = {4, 4, 3, 2}, cwMax[4] = {10, 10, 10, 9};
    const USHORT txop[4] = {0, 0, 94, 47};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(d.Aifsn[i], aifsn[i]);
        EXPECT_EQ(d.CwMin[i], cwMin[i]);
        EXPECT_EQ(d.CwMax[i], cwMax[i]);
        EXPECT_EQ(d.TxopLimit[i], txop[i]);
    }
    // A parameter element: AC records in the order VO, BE (with ACM), VI, BK.
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates,
                           Ie(221, {0x00, 0x50, 0xF2, 0x02, 0x01, 0x01, 0x05, 0x00, 0x62, 0x32, 0x2F, 0x00, 0x13,
                                    0xA4, 0x00, 0x00, 0x42, 0x43, 0x5E, 0x00, 0x27, 0xA4, 0x00, 0x00})})));
    const EDCA_PARM& p = R().EdcaParameters;
    EXPECT_EQ(p.ParamSetCount, 5);
    EXPECT_EQ(p.UapsdCapable, 0);
    EXPECT_EQ(p.Aifsn[3], 2);
    EXPECT_EQ(p.TxopLimit[3], 47);
    EXPECT_EQ(p.Acm[0], 1);
    EXPECT_EQ(p.Aifsn[0], 3);
    EXPECT_EQ(p.CwMax[0], 10);
    EXPECT_EQ(p.Aifsn[1], 7);
    EXPECT_EQ(p.TxopLimit[2], 94);
}

TEST_F(BeaconParse, OweTransitionElementsWithinTheirBounds)
{
    Bytes good{0x50, 0x6F, 0x9A, 0x1C, 1, 2, 3, 4, 5, 6, 3, 'o', 'w', 'e'};
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, IeOf(221, good)})));
    EXPECT_EQ(R().OweTransSsidLen, 3);
    EXPECT_EQ(R().OweTransBssid[5], 6);
    Bytes long33{0x50, 0x6F, 0x9A, 0x1C, 1, 2, 3, 4, 5, 6, 33};
    long33.resize(long33.size() + 33, 'x');
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, IeOf(221, long33)})));
    EXPECT_EQ(R().OweTransSsidLen, 0);
    Bytes cut{0x50, 0x6F, 0x9A, 0x1C, 1, 2, 3, 4, 5, 6, 20, 'o'};  // names more SSID than it holds
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, IeOf(221, cut)})));
    EXPECT_EQ(R().OweTransSsidLen, 0);
}

TEST_F(BeaconParse, TheCertificationRecordOfAHiddenOweNetwork)
{
    adapter_->RegistryBlock.CertReg = 0x2;
    Bytes owe{0x50, 0x6F, 0x9A, 0x1C, 1, 2, 3, 4, 5, 6, 4, 'h', 'i', 'd', 'e'};
    ASSERT_TRUE(Parse(Cat({SsidIe("Wi-Fi-5.2.3-open"), kRates, IeOf(221, owe)})));
    EXPECT_EQ(adapter_->CertOweTransPending, 0);
    EXPECT_EQ(adapter_->CertOweTransSsidLen, 4);
    EXPECT_EQ(std::memcmp(adapter_->CertOweTransSsid, "hide", 4), 0);
    EXPECT_EQ(adapter_->CertOweTransBssid[0], 1);
}

TEST_F(BeaconParse, TransmitPowerEnvelopeAndTheAfcBasePower)
{
    adapter_->RegistryBlock.AFCEnable = 1;
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, Ie(195, {0x0A, 10, 10, 10, 10})})));  // count 2, local EIRP PSD
    EXPECT_EQ(adapter_->AfcBasePower, 36);
    adapter_->AfcNotApplicable = 0;
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, Ie(195, {0x0E})})));  // count 6
    EXPECT_EQ(adapter_->AfcNotApplicable, 1);
    adapter_->RegistryBlock.AFCEnable = 0;
    adapter_->AfcNotApplicable = 0;
    adapter_->AfcBasePower = 0;
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, Ie(195, {0x0A, 50})})));
    EXPECT_EQ(adapter_->AfcNotApplicable, 1);
    EXPECT_EQ(adapter_->AfcBasePower, 0);
}

TEST_F(BeaconParse, TimBitmapOfTheConnectedPort)
{
    port_->ConnectionFlags |= PORT_CONN_CONNECTED;
    port_->Aid = 0xC000 | 17;  // the two high bits are not part of the id
    // DTIM count 0, period 3, bitmap control: offset 2 octets and group traffic; octets 2..4.
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, Ie(5, {0, 3, 0x03, 0x02, 0x00, 0x00})})));
    EXPECT_EQ(R().DtimPeriod, 3);
    EXPECT_EQ(R().MulticastBuffered, 1);
    EXPECT_EQ(R().UnicastBuffered, 1);  // id 17: octet 2 (the first of the partial bitmap), bit 1
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, Ie(5, {0, 3, 0x02, 0x00, 0x00, 0x00})})));
    EXPECT_EQ(R().UnicastBuffered, 0);
    port_->Aid = 200;  // beyond the partial bitmap
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, Ie(5, {1, 3, 0x03, 0xFF})})));
    EXPECT_EQ(R().UnicastBuffered, 0);
    EXPECT_EQ(R().MulticastBuffered, 0);  // not a DTIM
}

TEST_F(BeaconParse, MultipleBssidMembersAreMarkedInTheScanTable)
{
    BSS_TABLE* t = adapter_->ScanTable;
    t->EntryCount = 1;
    BSS_ENTRY& member = t->BssEntry[0];
    member.Channel = 6;
    const UCHAR memberBssid[6] = {0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB6};  // 0xB5 with index 1 in 2 bits
    std::memcpy(member.Bssid, memberBssid, 6);
    // Indicator 2; one profile with an SSID and a Multiple BSSID-Index element of index 1.
    Bytes mbssid = Ie(71, {2, 0, 7, 0, 2, 'm', 'b', 85, 1, 1});
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, Ie(3, {6}), mbssid})));
    EXPECT_EQ(member.MbssidIndicator, 2);
    EXPECT_EQ(member.MbssidIndex, 1);
}

TEST_F(BeaconParse, OverlappingBssScanParametersAndTheOperatingClass)
{
    Bytes obss = IeOf(74, Bytes(14, 0x05));
    Parse(Cat({SsidIe("a"), kRates, Ie(59, {81, 83}), obss}));
    UCHAR params[OBSS_SCAN_PARAM_LEN];
    UCHAR opClass = 0;
    EXPECT_TRUE(MlmeSyncPeerBeaconAndProbeRspSanity2(adapter_, frame_.data(), static_cast<ULONG>(frame_.size()),
                                                     params, &opClass));
    EXPECT_EQ(opClass, 81);
    EXPECT_EQ(params[13], 0x05);
    Parse(Cat({SsidIe("a"), kRates, IeOf(74, Bytes(13, 0x05))}));
    EXPECT_FALSE(MlmeSyncPeerBeaconAndProbeRspSanity2(adapter_, frame_.data(), static_cast<ULONG>(frame_.size()),
                                                      params, &opClass));
}

TEST_F(BeaconParse, VhtAndOtherSmallElements)
{
    Bytes vhtCap = IeOf(191, Bytes(12, 0x31));
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, vhtCap, Ie(192, {0, 0, 0, 0, 0}), Ie(37, {1, 44, 5}),
                           Ie(60, {1, 115, 44, 5}), Ie(194, {1, 42, 0}), Ie(199, {0x12}), Ie(127, {1, 2, 3}),
                           Ie(54, {0x34, 0x12, 0x01})})));
    EXPECT_EQ(R().VhtPresent, 1);
    EXPECT_EQ(R().VhtCapability[0], 0x31);
    EXPECT_EQ(R().ChannelSwitch[1], 44);
    EXPECT_EQ(R().ExtChannelSwitch[1], 115);
    EXPECT_EQ(R().WideBandwidthChannelSwitch[1], 42);
    EXPECT_EQ(R().OpModeNotifPresent, 1);
    EXPECT_EQ(R().OpModeNotif, 0x12);
    EXPECT_EQ(R().ExtCapabilities[2], 3);
    EXPECT_EQ(R().MobilityDomain.Present, 0);  // fast transition off
    adapter_->RegistryBlock.FastTransition = 1;
    port_->Cfg.VhtEnabled = 0;
    ASSERT_TRUE(Parse(Cat({SsidIe("a"), kRates, vhtCap, Ie(192, {0, 0, 0, 0, 0}), Ie(54, {0x34, 0x12, 0x01})})));
    EXPECT_EQ(R().VhtPresent, 0);
    EXPECT_EQ(R().MobilityDomain.Present, 1);
    EXPECT_EQ(R().MobilityDomain.FtCapPolicy, 1);
}

}  // namespace
}  // namespace bsstest
