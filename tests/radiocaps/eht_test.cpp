// EHT: the station port's own capabilities and its EHT Capabilities element per chip and band, checked
// against the element layout of IEEE 802.11be (9.4.2.313), the access point's EHT elements recorded,
// the EHT check of the link and the 320 MHz channel against the 6 GHz channelisation.
#include "Common/mlme/mlmesync_mactab.h"
#include "radiocaps/radiocaps_fixture.h"

namespace radiocapstest {
namespace {

class Eht : public RadioCapsTest {};

TEST_F(Eht, CapabilitiesElementOfEachChipAndBandFieldByField)
{
    struct Row {
        USHORT chip;
        ULONG band;
        ULONG config11ax;
        unsigned width;      // the widest bandwidth code the element announces
        uint8_t lengthByte;
        uint8_t opControl;   // the own operation record's width
    };
    const Row rows[] = {
        {kChip3602, RLM_BAND_6G, 0x7F7, 5, 21, 4},                 // 320 MHz: maps of 80, 160 and 320 MHz
        {kChip3602, RLM_BAND_5G, 0x7F7, 3, 18, 3},                 // 160 MHz on 5 GHz
        {kChip3601, RLM_BAND_6G, 0x7F7, 3, 18, 3},                 // a 160 MHz chip on 6 GHz
        {kChip3602, RLM_BAND_5G, 0x7F7 & ~0xEu, 0, 16, 0},         // 20 MHz only: the 20 MHz-only map
        {kChip3602, RLM_BAND_5G, (0x7F7 & ~0xEu) | (2u << 1), 2, 15, 2},  // 80 MHz
    };
    for (const Row& r : rows) {
        Chip(r.chip);
        A().RegistryBlock.Config_11AX = r.config11ax;
        MP_PORT* port = Station(PHY_11BE, r.band);
        ASSERT_EQ(port->Rlm.Eht.Enabled, 1);
        SCOPED_TRACE(testing::Message() << "chip " << std::hex << r.chip << std::dec << " band " << r.band);
        Bytes e = EhtCapElement(port);
        ASSERT_EQ(e.size(), r.lengthByte + 2u);
        EXPECT_EQ(e[0], 255);
        EXPECT_EQ(e[1], r.lengthByte);
        EXPECT_EQ(e[2], 108);
        EXPECT_EQ(ehtRlmCalculateCapIELen(&A(), port), e.size());
        const uint8_t* mac = &e[3];
        const uint8_t* phy = &e[5];
        EXPECT_EQ(Le16(mac), 0x0002) << "EHT OM control only";
        const unsigned n1 = 1;  // two receive paths: sounding dimensions and maximum Nc 1
        EXPECT_EQ(Bit(phy, 0), 0u);
        EXPECT_EQ(Bit(phy, 1), r.width == 5 ? 1u : 0u) << "320 MHz in 6 GHz";
        EXPECT_EQ(Bit(phy, 2), r.width != 0 ? 1u : 0u) << "242-tone RU wider than 20 MHz";
        EXPECT_EQ(Bit(phy, 3), 1u) << "NDP with 4x EHT-LTF and 3.2 us GI";
        EXPECT_EQ(Bit(phy, 4), 0u) << "partial-bandwidth UL MU-MIMO";
        EXPECT_EQ(Bit(phy, 5), 1u) << "SU beamformer";
        EXPECT_EQ(Bit(phy, 6), 1u) << "SU beamformee";
        EXPECT_EQ(Field(phy, 7, 3), r.width != 0 ? 3u : 0u) << "beamformee SS up to 80 MHz";
        EXPECT_EQ(Field(phy, 10, 3), r.width >= 3 ? 3u : 0u) << "beamformee SS 160 MHz";
        EXPECT_EQ(Field(phy, 13, 3), r.width == 5 ? 3u : 0u) << "beamformee SS 320 MHz";
        EXPECT_EQ(Field(phy, 16, 3), r.width != 0 ? n1 : 0u) << "sounding dimensions up to 80 MHz";
        EXPECT_EQ(Field(phy, 19, 3), r.width >= 3 ? n1 : 0u) << "sounding dimensions 160 MHz";
        EXPECT_EQ(Field(phy, 22, 3), r.width == 5 ? n1 : 0u) << "sounding dimensions 320 MHz";
        EXPECT_EQ(Field(phy, 25, 7), 0x7Bu) << "Ng 16 SU and MU, codebook 7,5 MU, triggered SU, MU and CQI feedback";
        EXPECT_EQ(Bit(phy, 32), 1u) << "partial-bandwidth DL MU-MIMO";
        EXPECT_EQ(Bit(phy, 33) + Bit(phy, 34), 0u);
        EXPECT_EQ(Bit(phy, 35), 1u) << "EHT MU PPDU with 4x EHT-LTF and 0.8 us GI";
        EXPECT_EQ(Field(phy, 36, 4), n1) << "maximum Nc";
        EXPECT_EQ(Field(phy, 40, 3), 7u) << "non-triggered CQI feedback, 1024/4096-QAM below 242-tone RU";
        EXPECT_EQ(Bit(phy, 43), 0u) << "PPE thresholds present";
        EXPECT_EQ(Field(phy, 44, 2), 2u) << "common nominal packet padding";
        EXPECT_EQ(Field(phy, 46, 5), 11u) << "maximum number of EHT-LTFs";
        EXPECT_EQ(Field(phy, 51, 4), 1u | (r.width != 0 ? 2u : 0u) | (r.width >= 3 ? 4u : 0u) | (r.width == 5 ? 8u : 0u))
            << "MCS 15";
        EXPECT_EQ(Bit(phy, 55), 1u) << "EHT DUP in 6 GHz";
        EXPECT_EQ(Bit(phy, 56), 1u) << "20 MHz station receiving a wider NDP";
        EXPECT_EQ(Field(phy, 57, 7), 0u);
        EXPECT_EQ(phy[8], 0);
        // EHT-MCS maps: receive and transmit NSS 2 for every MCS range.
        Bytes maps(e.begin() + 14, e.end());
        const size_t mapBytes = r.width == 0 ? 4 : 3 + (r.width >= 3 ? 3 : 0) + (r.width == 5 ? 3 : 0);
        EXPECT_EQ(maps, Bytes(mapBytes, 0x22));
        // The own operation record.
        const EHT_OPERATION_INFO& op = port->Rlm.Eht.Operation;
        EXPECT_EQ(op.Params, 1);
        EXPECT_EQ(op.Control, r.opControl);
        EXPECT_EQ(Bytes(op.BasicMcsNss, op.BasicMcsNss + 4), Bytes(4, 0));
    }
}

TEST_F(Eht, OnlyPortZeroOfTheThirdGenerationInPhyModeFourteenHasEht)
{
    struct Row {
        USHORT chip;
        ULONG number;
        UCHAR phyMode;
        ULONG config11be;
        bool eht;
    };
    const Row rows[] = {
        {kChip3602, 0, PHY_11BE, 0x71, true},   {kChip3601, 0, PHY_11BE, 0x71, true},
        {kChip3502, 0, PHY_11BE, 0x71, false},  {kChip3602, 1, PHY_11BE, 0x71, false},
        {kChip3602, 0, PHY_11He, 0x71, false},  {kChip3602, 0, PHY_11BE, 0x70, false},
    };
    for (const Row& r : rows) {
        Chip(r.chip);
        A().RegistryBlock.Config_11BE = r.config11be;
        MP_PORT* port = Port(r.number, EXTSTA, r.phyMode, RLM_BAND_5G);
        Build(port);
        EXPECT_EQ(port->Rlm.Eht.Enabled, r.eht ? 1 : 0) << std::hex << r.chip << " port " << r.number;
        EXPECT_EQ(EhtCapElement(port).size(), r.eht ? 20u : 0u) << "no element without EHT";
        const EHT_CAPABILITY_INFO cap{};
        const EHT_OPERATION_INFO op{1, {}, 4, 0, 31};
        EXPECT_EQ(QZCheckEht(&A(), port, 1, &cap, &op, TRUE), r.eht ? TRUE : FALSE);
    }
    // Flags from "Config_11BE" 0x71 (bits 4, 5, 6 set, 7 clear) and the Block Ack sizes.
    Chip(kChip3602);
    MP_PORT* port = Station(PHY_11BE, RLM_BAND_5G);
    const EHT_CAP_IE& eht = port->Rlm.Eht;
    EXPECT_EQ(eht.Flag4, 1);
    EXPECT_EQ(eht.Flag5, 1);
    EXPECT_EQ(eht.Flag6, 1);
    EXPECT_EQ(eht.Flag7, 0);
    EXPECT_EQ(eht.BaSize[0], 1024);
    EXPECT_EQ(eht.BaSize[1], 1024);
}

// An access point's EHT Capabilities element: MAC, PHY (bit 1 for 320 MHz), then the map bytes given.
Bytes PeerEhtCap(bool has320, const Bytes& maps)
{
    Bytes phy(9, 0);
    phy[0] = has320 ? 0x02 : 0x00;
    return ExtIe(108, Cat({Bytes{0x02, 0x00}, phy, maps}));
}

TEST_F(Eht, TheAccessPointsCapabilitiesAreRecordedForTheWidthItsHeCapabilitiesAnnounce)
{
    Chip(kChip3602);
    MP_PORT* port = Station(PHY_11BE, RLM_BAND_6G);
    const Bytes three = {0x11, 0x11, 0x11, 0x22, 0x22, 0x22, 0x33, 0x33, 0x33};
    HE_CAPABILITY_INFO he{};
    struct Row {
        unsigned heWidthSet;  // HE PHY bits 2-4
        bool has320;
        size_t mapBytes;      // of `three` in the element
        Bytes m80, m160, m320;
    };
    const Bytes none(3, 0);
    const Row rows[] = {
        {0x1, false, 9, {0x11, 0x11, 0x11}, none, none},                          // 80 MHz
        {0x3, false, 9, {0x11, 0x11, 0x11}, {0x22, 0x22, 0x22}, none},            // 160 MHz
        {0x3, true, 9, {0x11, 0x11, 0x11}, {0x22, 0x22, 0x22}, {0x33, 0x33, 0x33}},  // 320 MHz
        {0x3, true, 7, {0x11, 0x11, 0x11}, {0x22, 0x22, 0x22}, none},            // 320 announced, its map cut
        {0x0, false, 6, {0x11, 0x11, 0x11}, {0x22, 0x22, 0x22}, none},            // neither bit: 160 MHz
    };
    for (const Row& r : rows) {
        he.PhyCap[0] = static_cast<uint8_t>(r.heWidthSet << 2);
        Bytes e = PeerEhtCap(r.has320, Bytes(three.begin(), three.begin() + static_cast<long>(r.mapBytes)));
        EHT_CAPABILITY_INFO rec{};
        ehtRlmRecCapInfo(&A(), port, &rec, &he, e.data());
        EXPECT_EQ(rec.MacCap[0], 0x02);
        EXPECT_EQ(Bit(rec.PhyCap, 1), r.has320 ? 1u : 0u);
        EXPECT_EQ(Bytes(rec.Mcs80, rec.Mcs80 + 3), r.m80) << r.heWidthSet << "/" << r.has320 << "/" << r.mapBytes;
        EXPECT_EQ(Bytes(rec.Mcs160, rec.Mcs160 + 3), r.m160);
        EXPECT_EQ(Bytes(rec.Mcs320, rec.Mcs320 + 3), r.m320);
        EXPECT_EQ(Bytes(rec.Mcs20Only, rec.Mcs20Only + 4), Bytes(4, 0));
    }
    // Without the HE record the port's own width decides: a 20 MHz-only port takes the 20 MHz-only map.
    Chip(kChip3602);
    A().RegistryBlock.Config_11AX = 0x7F7 & ~0xEu;
    port = Station(PHY_11BE, RLM_BAND_5G);
    EHT_CAPABILITY_INFO rec{};
    Bytes e = PeerEhtCap(false, {0x44, 0x44, 0x44, 0x44});
    ehtRlmRecCapInfo(&A(), port, &rec, nullptr, e.data());
    EXPECT_EQ(Bytes(rec.Mcs20Only, rec.Mcs20Only + 4), Bytes(4, 0x44));
    // An element of fewer than 12 body bytes is ignored.
    rec.MacCap[0] = 0x5A;
    Bytes shortElement = ExtIe(108, Bytes(10, 0xFF));
    ehtRlmRecCapInfo(&A(), port, &rec, nullptr, shortElement.data());
    EXPECT_EQ(rec.MacCap[0], 0x5A);
}

TEST_F(Eht, OperationLayoutsByTheirLength)
{
    struct Row {
        Bytes body;  // after the extension id
        bool refused;
        uint8_t params, control, seg0, seg1;
    };
    const Row rows[] = {
        {{0x01, 0x04, 31, 63}, false, 1, 4, 31, 63},                          // body 5: no basic MCS set
        {{0x01, 0x04, 31, 63, 0xAA, 0xBB}, false, 1, 4, 31, 63},              // body 7: with a disabled-subchannel bitmap
        {{0x01, 0x11, 0x11, 0x11, 0x11, 0x03, 47, 0}, false, 1, 3, 47, 0},  // body 9: basic MCS set first
        {{0x00, 0x11, 0x11, 0x11, 0x11, 0x03, 47, 0}, false, 0, 0, 0, 0},   // no operation information
        {{0x01, 0x11, 0x11, 0x11, 0x11}, false, 1, 0, 0, 0},                  // body 6: the information is missing
        {{0x01, 0x04, 31}, true, 0, 0, 0, 0},                                 // body 4
    };
    for (const Row& r : rows) {
        EHT_OPERATION_INFO op{};
        Bytes e = ExtIe(106, r.body);
        ehtRlmRecOperation(&A(), nullptr, &op, e.data());
        EXPECT_EQ(op.Params, r.params) << e.size();
        EXPECT_EQ(op.Control, r.control) << e.size();
        EXPECT_EQ(op.CentreSeg0, r.seg0);
        EXPECT_EQ(op.CentreSeg1, r.seg1);
        EXPECT_EQ(Bytes(op.BasicMcsNss, op.BasicMcsNss + 4), Bytes(4, 0)) << "the basic MCS set is not kept";
    }
}

TEST_F(Eht, TheCheckTakesThePeersCapabilitiesAtJoinAndTheCommonOnesAfterAssociation)
{
    Chip(kChip3602);
    MP_PORT* port = Station(PHY_11BE, RLM_BAND_6G, 69);
    EHT_CAPABILITY_INFO peer{};
    peer.MacCap[0] = 0x03;
    for (auto& b : peer.PhyCap) {
        b = 0xFF;
    }
    peer.PhyCap[4] = 0x0F;  // maximum Nc (bits 36-39) 0, bits 32-35 set
    const Bytes m80{0x13, 0x44, 0x21};
    std::memcpy(peer.Mcs80, m80.data(), 3);
    ASSERT_TRUE(QZCheckEht(&A(), port, 1, &peer, nullptr, TRUE));
    EXPECT_EQ(Link().EhtInUse, 1);
    EXPECT_EQ(Link().EhtCap.MacCap[0], 0x03);
    EXPECT_EQ(Bytes(Link().EhtCap.Mcs80, Link().EhtCap.Mcs80 + 3), m80);

    ASSERT_TRUE(QZCheckEht(&A(), port, 1, &peer, nullptr, FALSE));
    EXPECT_EQ(Link().EhtCap.MacCap[0], 0x02) << "own AND peer";
    EXPECT_EQ(Field(Link().EhtCap.PhyCap, 36, 4), 0u) << "the lower maximum Nc";
    EXPECT_EQ(Bit(Link().EhtCap.PhyCap, 4), 0u) << "a bit the port lacks";
    // Receive and transmit NSS each the lower of the two (own 2/2).
    EXPECT_EQ(Bytes(Link().EhtCap.Mcs80, Link().EhtCap.Mcs80 + 3), (Bytes{0x12, 0x22, 0x21}));
    EXPECT_EQ(Bytes(Link().EhtCap.Mcs320, Link().EhtCap.Mcs320 + 3), Bytes(3, 0)) << "the peer has none";

    EXPECT_FALSE(QZCheckEht(&A(), port, 20, &peer, nullptr, TRUE));
}

TEST_F(Eht, TheLinksChannelUpToThreeHundredTwentyMegahertz)
{
    struct Row {
        USHORT chip;
        ULONG band;
        UCHAR primary;
        uint8_t control, seg0, seg1;
        UCHAR width, centre;
    };
    const Row rows[] = {
        {kChip3602, RLM_BAND_6G, 69, 4, 79, 95, 4, 95},    // first 320 MHz channelisation
        {kChip3602, RLM_BAND_6G, 101, 4, 111, 127, 4, 127},  // second channelisation (segment 1 names it)
        {kChip3602, RLM_BAND_6G, 37, 4, 47, 63, 4, 63},
        {kChip3602, RLM_BAND_6G, 37, 3, 47, 0, 2, 47},      // 160 MHz: the primary's 160 MHz centre
        {kChip3602, RLM_BAND_6G, 37, 2, 39, 0, 1, 39},
        {kChip3601, RLM_BAND_6G, 101, 4, 111, 127, 2, 111},  // a 160 MHz chip: 160 MHz
        {kChip3602, RLM_BAND_5G, 36, 3, 42, 50, 2, 50},     // 5 GHz by the VHT channel table
        {kChip3602, RLM_BAND_5G, 149, 2, 155, 0, 1, 155},
        {kChip3602, RLM_BAND_5G, 36, 1, 38, 0, 0, 0},       // 40 MHz: no centre from here
    };
    for (const Row& r : rows) {
        Chip(r.chip);
        MP_PORT* port = Station(PHY_11BE, r.band, r.primary);
        const EHT_OPERATION_INFO op{1, {}, r.control, r.seg0, r.seg1};
        Link().LinkChannel.Centre2 = 9;
        ASSERT_TRUE(QZCheckEht(&A(), port, 1, nullptr, &op, TRUE));
        SCOPED_TRACE(testing::Message() << "chip " << std::hex << r.chip << std::dec << " primary " << int(r.primary)
                                        << " control " << int(r.control));
        EXPECT_EQ(Link().EhtOp.Control, r.control);
        EXPECT_EQ(Link().LinkChannel.ChannelWidth, r.width);
        EXPECT_EQ(Link().LinkChannel.Centre1, r.centre);
        EXPECT_EQ(Link().LinkChannel.Centre2, 0);
    }
}

// 320 MHz on 6 GHz: 16 channels of 20 MHz from s, centre index s + 30; the first channelisation starts
// at 1, 65, 129 and the second at 33, 97, 161, both within channels 1-233.
UCHAR Formula320(int primary, bool second)
{
    for (int s = second ? 33 : 1; s + 60 <= 233; s += 64) {
        if (primary >= s && primary <= s + 60) {
            return static_cast<UCHAR>(s + 30);
        }
    }
    return 0;
}

TEST_F(Eht, ThreeHundredTwentyMegahertzCentresAgreeWithTheChannelisation)
{
    Chip(kChip3602);
    for (int primary = 1; primary <= 233; primary += 4) {
        for (bool second : {false, true}) {
            const UCHAR seg1 = second ? Formula320(primary, true) : 0;
            if (second && seg1 == 0) {
                continue;
            }
            EXPECT_EQ(EhtCentralChannelDecision(&A(), RLM_BAND_6G, static_cast<UCHAR>(primary), CW_320, 0, seg1),
                      Formula320(primary, second))
                << primary << (second ? " second" : " first");
        }
    }
    EXPECT_EQ(EhtCentralChannelDecision(&A(), RLM_BAND_6G, 37, CW_20_40, 0, 0), 0);
}

TEST_F(Eht, WidthConversionsAndTheStationEntry)
{
    const UCHAR toEht[][2] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 0}, {5, 4}, {9, 0}};
    for (auto& r : toEht) {
        EXPECT_EQ(ehtRlmGetEhtOpBwByBw(r[0]), r[1]) << int(r[0]);
    }
    const UCHAR toVht[][2] = {{0, 0}, {1, 0}, {2, 1}, {3, 2}, {4, 4}, {5, 1}};
    for (auto& r : toVht) {
        EXPECT_EQ(ehtRlmGetVhtOpBwByEhtOpBw(r[0]), r[1]) << int(r[0]);
    }
    Chip(kChip3602);
    MP_PORT* port = Station(PHY_11BE, RLM_BAND_6G, 69);
    EHT_CAPABILITY_INFO peer{};
    peer.PhyCap[0] = 0x02;
    const EHT_OPERATION_INFO op{1, {}, 4, 79, 95};
    ASSERT_TRUE(QZCheckEht(&A(), port, 1, &peer, &op, TRUE));
    auto entry = std::make_unique<MAC_TABLE_ENTRY>();
    EhtUpdateMacTable(&A(), port, entry.get());
    EXPECT_EQ(entry->Rlm.EhtOn, 1);
    EXPECT_EQ(entry->Rlm.EhtOp.CentreSeg1, 95);
    EXPECT_EQ(entry->Rlm.EhtCap.PhyCap[0], 0x02);
}

}  // namespace
}  // namespace radiocapstest
