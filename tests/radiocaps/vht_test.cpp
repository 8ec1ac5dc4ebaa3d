// VHT capabilities and operation of a port per chip, the VHT check of the station link, the 5 GHz
// channel table against the channelisation formula, and the bandwidth limits and conversions.
#include "radiocaps/radiocaps_fixture.h"

namespace radiocapstest {
namespace {

class Vht : public RadioCapsTest {};

TEST_F(Vht, WidestBandwidthPerBandFollowsTheChipAndTheConfiguration)
{
    struct Row {
        USHORT chip;
        ULONG portType;
        ULONG band;
        ULONG config6g;
        bool eht;
        UCHAR expected;
    };
    // Chip maxima: 3501 80 MHz (2), 3502 160 MHz (3), 3602 320 MHz (5). "Config_11AX" 0x7F7: bit 0 = 1,
    // bits 1-3 = 3; "Config_6G" 0xAB: bits 1-3 = 5; "P2P_GO_Band" 2.
    const Row rows[] = {
        {kChip3602, EXTSTA, 1, 0xAB, false, 1},      {kChip3602, EXTSTA, 2, 0xAB, false, 3},
        {kChip3602, WFD_GO, 2, 0xAB, false, 2},      {kChip3602, WFD_CLIENT, 2, 0xAB, false, 2},
        {kChip3602, EXTSTA, 3, 0xAB, false, 3},      {kChip3602, EXTSTA, 3, 0xAB, true, 5},
        {kChip3602, EXTSTA, 3, 0x05, false, 2},      {kChip3602, EXTSTA, 0, 0xAB, false, 3},
        {kChip3501, EXTSTA, 2, 0xAB, false, 2},      {kChip3501, EXTSTA, 3, 0xAB, false, 2},
        {kChip3502, EXTSTA, 3, 0xAB, false, 3},      {kChip3502, EXTSTA, 3, 0xAB, true, 3},
    };
    for (const Row& r : rows) {
        Chip(r.chip);
        A().RegistryBlock.Config_6G = r.config6g;
        MP_PORT* port = Port(0, r.portType, PHY_11BE, r.band);
        port->Rlm.Eht.Enabled = r.eht ? 1 : 0;
        EXPECT_EQ(cnmGetMaxBwByBand(&A(), port, r.band), r.expected)
            << "chip " << std::hex << r.chip << std::dec << " port type " << r.portType << " band " << r.band;
    }
}

TEST_F(Vht, BandwidthAndChannelWidthCodesConvert)
{
    const UCHAR toWidth[][2] = {{0, 0}, {1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 1}, {255, 1}};
    for (auto& r : toWidth) {
        EXPECT_EQ(cnmMapBwToChannelWidth(r[0]), r[1]) << static_cast<int>(r[0]);
    }
    struct {
        UCHAR width;
        ULONG offset;
        UCHAR bw;
    } toBw[] = {{0, 0, 0}, {0, 1, 1}, {0, 3, 1}, {0, 2, 0}, {1, 0, 2}, {2, 0, 3}, {3, 0, 4}, {4, 0, 5}, {5, 0, 0}};
    for (auto& r : toBw) {
        EXPECT_EQ(cnmMapChannelWidthToBw(r.width, r.offset), r.bw) << static_cast<int>(r.width) << "/" << r.offset;
    }
}

// The VHT Capabilities Information field of IEEE 802.11 (9.4.2.157.2), field by field.
struct VhtCapFields {
    unsigned maxMpdu, widthSet, rxLdpc, sgi80, sgi160, txStbc, rxStbc, suBfer, suBfee, bfeeSts, sounding, muBfer,
        muBfee, txopPs, htcVht, ampduExp, linkAdapt, rxPattern, txPattern, extNss;
};
VhtCapFields Decode(uint32_t info)
{
    return {Field32(info, 0, 2),  Field32(info, 2, 2),  Field32(info, 4, 1),  Field32(info, 5, 1),
            Field32(info, 6, 1),  Field32(info, 7, 1),  Field32(info, 8, 3),  Field32(info, 11, 1),
            Field32(info, 12, 1), Field32(info, 13, 3), Field32(info, 16, 3), Field32(info, 19, 1),
            Field32(info, 20, 1), Field32(info, 21, 1), Field32(info, 22, 1), Field32(info, 23, 3),
            Field32(info, 26, 2), Field32(info, 28, 1), Field32(info, 29, 1), Field32(info, 30, 2)};
}

TEST_F(Vht, OwnCapabilitiesOfEachChipFieldByField)
{
    struct Row {
        USHORT chip;
        unsigned widthSet;  // 1: 160 MHz, 0: up to 80 MHz
        unsigned sgi160;
    };
    for (const Row& r : {Row{kChip3404, 0, 0}, Row{kChip3501, 0, 0}, Row{kChip3502, 1, 1}, Row{kChip3601, 1, 1},
                         Row{kChip3602, 1, 1}}) {
        Chip(r.chip);
        MP_PORT* port = Station(PHY_11VHT, RLM_BAND_5G);
        ASSERT_EQ(port->Cfg.VhtEnabled, 1);
        const VHT_CAP_IE& cap = port->Rlm.Vht.OwnCap;
        VhtCapFields f = Decode(cap.VhtCapInfo);
        SCOPED_TRACE(testing::Message() << "chip " << std::hex << r.chip);
        EXPECT_EQ(f.maxMpdu, 2u) << "11 454 octets";
        EXPECT_EQ(f.widthSet, r.widthSet);
        EXPECT_EQ(f.rxLdpc, 1u);
        EXPECT_EQ(f.sgi80, 1u);
        EXPECT_EQ(f.sgi160, r.sgi160);
        EXPECT_EQ(f.txStbc, 1u);
        EXPECT_EQ(f.rxStbc, 1u);
        EXPECT_EQ(f.suBfer, 0u);
        EXPECT_EQ(f.suBfee, 1u);
        EXPECT_EQ(f.bfeeSts, 3u);
        EXPECT_EQ(f.sounding, 1u);
        EXPECT_EQ(f.muBfer, 0u);
        EXPECT_EQ(f.muBfee, 1u);
        EXPECT_EQ(f.txopPs, 0u);
        EXPECT_EQ(f.htcVht, 0u);
        EXPECT_EQ(f.ampduExp, 7u);
        EXPECT_EQ(f.linkAdapt, 0u);
        EXPECT_EQ(f.rxPattern, 1u);
        EXPECT_EQ(f.txPattern, 1u);
        EXPECT_EQ(f.extNss, 0u);
        // Two paths: MCS 0-9 (value 2) on streams 1 and 2, none on 3-8; 866 Mb/s.
        for (uint16_t map : {cap.RxMcsMap, cap.TxMcsMap}) {
            EXPECT_EQ(Stream(map, 1), 2u);
            EXPECT_EQ(Stream(map, 2), 2u);
            for (unsigned s = 3; s <= 8; ++s) {
                EXPECT_EQ(Stream(map, s), 3u);
            }
        }
        EXPECT_EQ(cap.RxHighestRate & 0x1FFF, 866);
        EXPECT_EQ(cap.TxHighestRate & 0x1FFF, 866);
        EXPECT_EQ(port->Rlm.Vht.LdpcFlags, 3);
    }
}

TEST_F(Vht, EightyPlusEightyOnePathAndTheSwitchesOfTheConfiguration)
{
    Chip(kChip3602);
    A().RegistryBlock.Config_11AX = (0x7F7 & ~0xEu) | (4u << 1);  // 80+80 MHz on 5 GHz
    A().AntennaPath = 0x11;
    MP_PORT* port = Station(PHY_11He, RLM_BAND_5G);
    VhtCapFields f = Decode(port->Rlm.Vht.OwnCap.VhtCapInfo);
    EXPECT_EQ(f.widthSet, 2u) << "160 and 80+80 MHz";
    EXPECT_EQ(f.sgi160, 1u);
    EXPECT_EQ(port->Rlm.Vht.OwnCap.RxMcsMap, 0xFFFE);
    EXPECT_EQ(port->Rlm.Vht.OwnCap.RxHighestRate, 390);
    EXPECT_EQ(port->Rlm.Vht.OwnCap.TxMcsMap, 0xFFFE);

    // "Config_11AC" 0: no beamformee, no MU beamformee, no STBC; receive LDPC is still announced.
    Chip(kChip3502);
    A().RegistryBlock.Config_11AC = 0;
    port = Station(PHY_11VHT, RLM_BAND_5G);
    f = Decode(port->Rlm.Vht.OwnCap.VhtCapInfo);
    EXPECT_EQ(f.suBfee + f.bfeeSts + f.sounding + f.muBfee + f.txStbc + f.rxStbc, 0u);
    EXPECT_EQ(f.rxLdpc, 1u);
    EXPECT_EQ(port->Rlm.Vht.LdpcFlags, 0) << "the LDPC flags follow only with bits 4 and 5";

    // "DisableTxRxLdpc" bit 2 takes receive LDPC away, bit 3 transmit LDPC.
    Chip(kChip3502);
    port = Port(0, EXTSTA, PHY_11VHT, RLM_BAND_5G);
    port->Cfg.DisableTxRxLdpc = 0x4;
    Build(port);
    EXPECT_EQ(Decode(port->Rlm.Vht.OwnCap.VhtCapInfo).rxLdpc, 0u);
    EXPECT_EQ(port->Rlm.Vht.LdpcFlags, 1);
    port->Cfg.DisableTxRxLdpc = 0x8;
    Build(port);
    EXPECT_EQ(Decode(port->Rlm.Vht.OwnCap.VhtCapInfo).rxLdpc, 1u);
    EXPECT_EQ(port->Rlm.Vht.LdpcFlags, 2);
}

TEST_F(Vht, AdvertisedCapabilitiesAndOperationOfEachChip)
{
    struct Row {
        USHORT chip;
        UCHAR ownWidth;  // channel-width code of the chip's maximum: 80 MHz -> 1, 160 MHz or more -> 2
    };
    for (const Row& r : {Row{kChip3404, 1}, Row{kChip3501, 1}, Row{kChip3502, 2}, Row{kChip3602, 2}}) {
        Chip(r.chip);
        MP_PORT* port = Station(PHY_11VHT, RLM_BAND_5G);
        SCOPED_TRACE(testing::Message() << "chip " << std::hex << r.chip);
        const VHT_PORT_RECORD& vht = port->Rlm.Vht;
        EXPECT_EQ(vht.AdvertisedSet, 1);
        EXPECT_EQ(vht.AdvertisedCap.VhtCapInfo, 0x33801121u);
        VhtCapFields f = Decode(vht.AdvertisedCap.VhtCapInfo);
        EXPECT_EQ(f.maxMpdu, 1u) << "7 991 octets";
        EXPECT_EQ(f.widthSet, 0u);
        EXPECT_EQ(f.sgi80, 1u);
        EXPECT_EQ(f.rxStbc, 1u);
        EXPECT_EQ(f.suBfee, 1u);
        EXPECT_EQ(f.ampduExp, 7u);
        EXPECT_EQ(f.rxPattern + f.txPattern, 2u);
        EXPECT_EQ(vht.AdvertisedCap.RxMcsMap, 0xFFFA);
        EXPECT_EQ(vht.OwnOp.ChannelWidth, r.ownWidth);
        EXPECT_EQ(vht.OwnOp.CentreSeg0, 0);
        EXPECT_EQ(vht.OwnOp.CentreSeg1, 0);
        EXPECT_EQ(USHORT(vht.OwnOp.BasicMcsSet), 0xFFFA);
        EXPECT_EQ(vht.AdvertisedOp.ChannelWidth, 0);
        EXPECT_EQ(USHORT(vht.AdvertisedOp.BasicMcsSet), 0xFFFA);
    }
}

TEST_F(Vht, APhyModeBelowElevenHasNoVhtAndTheCheckRefuses)
{
    Chip(kChip3502);
    MP_PORT* port = Station(PHY_11AGN_MIXED, RLM_BAND_5G);
    EXPECT_EQ(port->Cfg.VhtEnabled, 0);
    const VHT_OP_IE op{1, 42, 0, 0xFFFA};
    EXPECT_FALSE(KOVACheckVht(&A(), port, 1, nullptr, &op));
    EXPECT_EQ(Link().VhtInUse, 0);
}

class VhtCheck : public RadioCapsTest {
protected:
    MP_PORT* Ready(USHORT chip, ULONG type = EXTSTA)
    {
        Chip(chip);
        MP_PORT* port = Port(0, type, PHY_11VHT, RLM_BAND_5G);
        Build(port);
        return port;
    }
};

TEST_F(VhtCheck, RefusesAWlanIndexOutsideTheTableAndChangesNothing)
{
    MP_PORT* port = Ready(kChip3502);
    const VHT_OP_IE op{1, 42, 0, 0xFFFA};
    EXPECT_FALSE(KOVACheckVht(&A(), port, 20, nullptr, &op));
    EXPECT_FALSE(KOVACheckVht(&A(), nullptr, 1, nullptr, &op));
    EXPECT_EQ(Link().VhtInUse, 0);
    EXPECT_EQ(Link().LinkChannel.ChannelWidth, 0);
    EXPECT_TRUE(KOVACheckVht(&A(), port, 19, nullptr, &op));
}

TEST_F(VhtCheck, LinkWidthAgainstTheAccessPointsOperation)
{
    struct Row {
        VHT_OP_IE peer;
        UCHAR opWidth;        // the negotiated operation's width
        RLM_LINK_CHANNEL link;
    };
    // Own width 2 (160 MHz) on a 160 MHz chip.
    const Row rows[] = {
        {{3, 42, 58, 0}, 1, {1, 42, 58}},   // 80+80 against 160 is taken as 80 MHz
        {{1, 42, 50, 0}, 1, {2, 50, 0}},    // 160 MHz signalled with two centres: 50 is the 160 MHz centre
        {{1, 50, 42, 0}, 1, {2, 50, 0}},
        {{1, 106, 114, 0}, 1, {2, 114, 0}},
        {{1, 42, 0, 0}, 1, {1, 42, 0}},
        {{2, 50, 0, 0}, 2, {2, 50, 0}},
        {{0, 0, 0, 0}, 0, {0, 0, 0}},
    };
    for (const Row& r : rows) {
        MP_PORT* port = Ready(kChip3502);
        ASSERT_TRUE(KOVACheckVht(&A(), port, 1, nullptr, &r.peer));
        SCOPED_TRACE(testing::Message() << "peer " << int(r.peer.ChannelWidth) << "/" << int(r.peer.CentreSeg0) << "/"
                                        << int(r.peer.CentreSeg1));
        EXPECT_EQ(Link().VhtInUse, 1) << "an operation element alone puts VHT in use";
        EXPECT_EQ(Link().VhtOp.ChannelWidth, r.opWidth);
        EXPECT_EQ(Link().VhtOp.CentreSeg0, r.peer.CentreSeg0);
        EXPECT_EQ(Link().VhtOp.CentreSeg1, r.peer.CentreSeg1);
        EXPECT_EQ(Link().LinkChannel.ChannelWidth, r.link.ChannelWidth);
        EXPECT_EQ(Link().LinkChannel.Centre1, r.link.Centre1);
        EXPECT_EQ(Link().LinkChannel.Centre2, r.link.Centre2);
    }
    // An 80 MHz chip (own width 1) takes 160 MHz as 80.
    MP_PORT* port = Ready(kChip3501);
    const VHT_OP_IE wide{2, 50, 0, 0};
    ASSERT_TRUE(KOVACheckVht(&A(), port, 1, nullptr, &wide));
    EXPECT_EQ(Link().VhtOp.ChannelWidth, 1);
}

TEST_F(VhtCheck, CapabilitiesAreIntersectedWithThePeers)
{
    MP_PORT* port = Ready(kChip3502);
    VHT_CAP_IE peer{};
    // One stream each way, Rx STBC 1, Rx LDPC, extended NSS bandwidth support 2.
    peer.VhtCapInfo = (1u << 8) | (1u << 4) | (2u << 30);
    peer.RxMcsMap = 0xFFFE;
    peer.TxMcsMap = 0xFFFE;
    ASSERT_TRUE(KOVACheckVht(&A(), port, 1, &peer, nullptr));
    const VHT_CAP_IE& n = Link().VhtCap;
    EXPECT_EQ(Stream(n.RxMcsMap, 1), 2u);
    EXPECT_EQ(Stream(n.RxMcsMap, 2), 3u);
    EXPECT_EQ(Stream(n.TxMcsMap, 2), 3u);
    VhtCapFields f = Decode(n.VhtCapInfo);
    EXPECT_EQ(f.extNss, 2u) << "the peer's";
    EXPECT_EQ(f.rxStbc, 1u) << "own Tx STBC and the peer's Rx STBC";
    EXPECT_EQ(f.rxLdpc, 1u);
    EXPECT_EQ(f.widthSet, 1u) << "the own";
    EXPECT_EQ(Link().HtCapInfo & 1, 1);

    peer.VhtCapInfo = 0;
    ASSERT_TRUE(KOVACheckVht(&A(), port, 1, &peer, nullptr));
    f = Decode(Link().VhtCap.VhtCapInfo);
    EXPECT_EQ(f.rxStbc, 0u);
    EXPECT_EQ(f.rxLdpc, 0u);
    EXPECT_EQ(f.extNss, 0u);
    EXPECT_EQ(Link().HtCapInfo & 1, 0);
}

TEST_F(VhtCheck, EightyMegahertzBecomesOneSixtyWhereBothSidesAllowIt)
{
    // A Wi-Fi Direct port whose own and peer width sets are 160 MHz takes the second segment as the
    // 160 MHz centre.
    MP_PORT* port = nullptr;
    Chip(kChip3502);
    A().RegistryBlock.P2P_GO_Band = 3;
    port = Port(0, WFD_CLIENT, PHY_11VHT, RLM_BAND_5G);
    Build(port);
    VHT_CAP_IE peer{};
    peer.VhtCapInfo = 1u << 2;
    const VHT_OP_IE op{1, 42, 50, 0};
    ASSERT_TRUE(KOVACheckVht(&A(), port, 2, &peer, &op));
    EXPECT_EQ(Link().VhtOp.ChannelWidth, 2);
    EXPECT_EQ(Link().VhtOp.CentreSeg0, 50);
    EXPECT_EQ(Link().VhtOp.CentreSeg1, 0);

    // A station whose access point signals 160 MHz by extended NSS bandwidth: segment 2 of the HT
    // operation becomes the negotiated segment 1.
    port = Ready(kChip3502);
    Link().HtOpInfo23 = static_cast<USHORT>(50u << 5);
    peer.VhtCapInfo = 1u << 30;
    const VHT_OP_IE eighty{1, 42, 0, 0};
    ASSERT_TRUE(KOVACheckVht(&A(), port, 1, &peer, &eighty));
    EXPECT_EQ(Link().VhtOp.ChannelWidth, 1);
    EXPECT_EQ(Link().VhtOp.CentreSeg1, 50);
    EXPECT_EQ(Link().LinkChannel.ChannelWidth, 2);
    EXPECT_EQ(Link().LinkChannel.Centre1, 50);

    // Not on an 80 MHz chip.
    port = Ready(kChip3501);
    Link().HtOpInfo23 = static_cast<USHORT>(50u << 5);
    ASSERT_TRUE(KOVACheckVht(&A(), port, 1, &peer, &eighty));
    EXPECT_EQ(Link().VhtOp.CentreSeg1, 0);
}

TEST_F(Vht, OneSixtyRewriteOfTwoCentres)
{
    struct Row {
        UCHAR c1, c2, seg2, width;
        UCHAR outC1, outC2, outWidth;
    };
    const Row rows[] = {
        {42, 50, 0, 1, 50, 0, 2},   {50, 42, 0, 1, 50, 0, 2},    {42, 0, 50, 1, 50, 0, 2},
        {155, 163, 0, 1, 163, 0, 2}, {7, 15, 0, 1, 15, 0, 2},    {15, 7, 0, 1, 15, 0, 2},
        {42, 58, 0, 1, 42, 58, 1},   {0, 50, 0, 1, 0, 50, 1},    {42, 0, 0, 1, 42, 0, 1},
    };
    for (const Row& r : rows) {
        UCHAR c1 = r.c1, c2 = r.c2, width = r.width;
        VhtUpdate160CentralChannel(&c1, &c2, r.seg2, &width);
        EXPECT_EQ(c1, r.outC1) << int(r.c1) << "/" << int(r.c2) << "/" << int(r.seg2);
        EXPECT_EQ(c2, r.outC2);
        EXPECT_EQ(width, r.outWidth);
    }
}

// The 5 GHz channelisation: a channel of 20 x 2^bw MHz covering 2^bw 20 MHz channels from s has the
// centre frequency index s + 2 (2^bw - 1); the blocks start at the lowest channel of each group of the
// band plan (36-64, 100-144, 149-177).
UCHAR FormulaCentre(UCHAR primary, UCHAR bw)
{
    static const std::vector<std::vector<int>> kBlockStarts = {
        {},
        {36, 44, 52, 60, 100, 108, 116, 124, 132, 140, 149, 157, 165, 173},
        {36, 52, 100, 116, 132, 149, 165},
        {36, 100, 149},
    };
    if (bw == 0) {
        return primary;
    }
    const int n = 1 << bw;
    for (int s : kBlockStarts[bw]) {
        if (primary >= s && primary <= s + 4 * (n - 1) && (primary - s) % 4 == 0) {
            return static_cast<UCHAR>(s + 2 * (n - 1));
        }
    }
    return 0;
}

bool Is5GhzChannel(int c) { return ((c >= 36 && c <= 64) || (c >= 100 && c <= 144) || (c >= 149 && c <= 177)) && c % 4 == (c < 149 ? 0 : 1); }

TEST_F(Vht, EveryRowOfTheFiveGigahertzTableAgreesWithTheChannelisation)
{
    int rowsPerWidth[4] = {};
    for (const VHT_CHANNEL_ROW& row : Vht5GChannelTable) {
        ASSERT_LE(row.Bandwidth, 3);
        EXPECT_TRUE(Is5GhzChannel(row.Primary)) << int(row.Primary);
        EXPECT_EQ(row.Centre, FormulaCentre(row.Primary, row.Bandwidth))
            << "primary " << int(row.Primary) << " bandwidth " << int(row.Bandwidth);
        ++rowsPerWidth[row.Bandwidth];
    }
    EXPECT_EQ(rowsPerWidth[0], 27);
    EXPECT_EQ(rowsPerWidth[1], 26);
    EXPECT_EQ(rowsPerWidth[2], 28);
    EXPECT_EQ(rowsPerWidth[3], 24);

    // Every 5 GHz channel and width: the formula's centre (0 where no channel of that width covers it:
    // 132-144 at 160 MHz), but for the rows the table leaves out (144 at 20 MHz, 140 and 144 at 40 MHz).
    for (int c = 36; c <= 177; ++c) {
        if (!Is5GhzChannel(c)) {
            continue;
        }
        for (UCHAR bw = 0; bw <= 3; ++bw) {
            const bool missing = (bw == 0 && c == 144) || (bw == 1 && (c == 140 || c == 144));
            UCHAR centre = 0xEE;
            Vht5GCentralChannelDecision(&A(), static_cast<UCHAR>(c), bw, &centre);
            EXPECT_EQ(centre, missing ? 0 : FormulaCentre(static_cast<UCHAR>(c), bw)) << c << " bw " << int(bw);
            if (!missing && FormulaCentre(static_cast<UCHAR>(c), bw) != 0) {
                UCHAR found = 0xEE;
                Vht5GBwDecisionByChannel(&A(), static_cast<UCHAR>(c), FormulaCentre(static_cast<UCHAR>(c), bw), &found);
                EXPECT_EQ(found, bw) << c << " bw " << int(bw);
            }
        }
    }
    UCHAR centre = 0xEE;
    Vht5GCentralChannelDecision(&A(), 144, 2, &centre);
    EXPECT_EQ(centre, 138);
    Vht5GCentralChannelDecision(&A(), 144, 1, &centre);
    EXPECT_EQ(centre, 0);
    Vht5GCentralChannelDecision(&A(), 11, 0, &centre);
    EXPECT_EQ(centre, 0) << "2.4 GHz";
    UCHAR bw = 0xEE;
    Vht5GBwDecisionByChannel(&A(), 11, 11, &bw);
    Vht5GBwDecisionByChannel(&A(), 36, 40, &bw);
    EXPECT_EQ(bw, 0xEE) << "nothing written without a row";
}

TEST_F(Vht, RateTableIndexAndCommonMcsMap)
{
    EXPECT_EQ(GetVhtRateTableIdx(&A(), 3, 1, 1, 9), 299u);
    EXPECT_EQ(GetVhtRateTableIdx(&A(), 0, 0, 0, 0), 0u);
    EXPECT_EQ(GetVhtRateTableIdx(&A(), 3, 3, 1, 9), 319u);
    EXPECT_EQ(GetVhtRateTableIdx(&A(), 3, 3, 1, 10), 0u) << "index 320 is past the table";
    EXPECT_EQ(GetVhtRateTableIdx(&A(), 0xFFFFFFFFu, 1, 1, 1), 0u);

    USHORT out = 0;
    VhtGetCommonMcsMap(&out, 0xFFFA, 0xFFFE);
    EXPECT_EQ(out, 0xFFFE);
    VhtGetCommonMcsMap(&out, 0xFFF9, 0xFFF2);  // stream 1: 1 vs 2 -> 1; stream 2: 2 vs 0 -> 0
    EXPECT_EQ(out, 0xFFF1);
    VhtGetCommonMcsMap(&out, 0xFFF0, 0xFFFF);
    EXPECT_EQ(out, 0xFFFF);
}

}  // namespace
}  // namespace radiocapstest
