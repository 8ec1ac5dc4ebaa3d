// The port's own HE capabilities and the HE Capabilities, HE Operation and HE 6 GHz Band Capabilities
// elements, per chip, checked against the element layout of IEEE 802.11 (9.4.2.248 to 9.4.2.263).
#include "radiocaps/radiocaps_fixture.h"

namespace radiocapstest {
namespace {

// The PPE Thresholds field as IEEE 802.11 lays it out: NSTS (3 bits), RU Index Bitmask (4 bits), then
// for every stream (NSTS + 1) and every RU size set in the bitmask a PPET16 and a PPET8 of 3 bits.
Bytes PpeField(unsigned nsts, unsigned ruMask, unsigned ppet16, unsigned ppet8)
{
    std::vector<unsigned> bits;
    auto put = [&](unsigned v, unsigned width) {
        for (unsigned i = 0; i < width; ++i) {
            bits.push_back((v >> i) & 1);
        }
    };
    put(nsts, 3);
    put(ruMask, 4);
    unsigned rus = 0;
    for (unsigned m = ruMask; m != 0; m >>= 1) {
        rus += m & 1;
    }
    for (unsigned s = 0; s <= nsts; ++s) {
        for (unsigned r = 0; r < rus; ++r) {
            put(ppet16, 3);
            put(ppet8, 3);
        }
    }
    Bytes out((bits.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits.size(); ++i) {
        out[i / 8] = static_cast<uint8_t>(out[i / 8] | (bits[i] << (i % 8)));
    }
    return out;
}

// An HE Capabilities element taken apart by the standard's layout.
struct HeCapView {
    Bytes macBytes, phyBytes;
    std::vector<uint16_t> maps;  // Rx, Tx up to 80 MHz; then 160; then 80+80 as the width set says
    Bytes ppe;
};
HeCapView TakeApart(const Bytes& e)
{
    HeCapView v;
    EXPECT_EQ(e[0], 255);
    EXPECT_EQ(e[1] + 2u, e.size());
    EXPECT_EQ(e[2], 35);
    v.macBytes.assign(e.begin() + 3, e.begin() + 9);
    v.phyBytes.assign(e.begin() + 9, e.begin() + 20);
    size_t at = 20;
    unsigned pairs = 1 + Bit(v.phyBytes.data(), 3) + Bit(v.phyBytes.data(), 4);
    for (unsigned p = 0; p < 2 * pairs; ++p, at += 2) {
        v.maps.push_back(Le16(&e[at]));
    }
    if (Bit(v.phyBytes.data(), 55)) {
        v.ppe.assign(e.begin() + static_cast<long>(at), e.end());
    }
    return v;
}
// Takes the element apart into a view that keeps its own copy of the octets.
struct HeCap : HeCapView {
    explicit HeCap(const Bytes& e) : HeCapView(TakeApart(e)) {}
    const uint8_t* mac() const { return macBytes.data(); }
    const uint8_t* phy() const { return phyBytes.data(); }
};

class He : public RadioCapsTest {};

TEST_F(He, CapabilitiesElementOfEachChipFieldByField)
{
    struct Row {
        USHORT chip;
        ULONG band;
        unsigned ampduExt;   // maximum A-MPDU length exponent extension
        bool wide;           // the band allows 160 MHz
        size_t length;       // element length with its header
    };
    // Two receive paths; "Config_11AX" 0x7F7: LDPC (bits 7, 8), STBC (5, 6), beamformee (4).
    const Row rows[] = {
        {kChip3501, RLM_BAND_5G, 1, false, 2 + 1 + 21 + 6},      // 80 MHz: three RU sizes, 6 bytes of PPE
        {kChip3502, RLM_BAND_5G, 1, true, 2 + 1 + 21 + 4 + 7},   // 160 MHz: 160 MHz maps, four RU sizes
        {kChip3502, RLM_BAND_24G, 3, false, 2 + 1 + 21 + 4 + 4},  // 2.4 GHz: 40 MHz, two RU sizes
        {kChip3601, RLM_BAND_5G, 3, true, 2 + 1 + 21 + 4 + 7},
        {kChip3602, RLM_BAND_5G, 3, true, 2 + 1 + 21 + 4 + 7},
        {kChip3602, RLM_BAND_6G, 3, true, 2 + 1 + 21 + 4 + 7},
    };
    for (const Row& r : rows) {
        Chip(r.chip);
        MP_PORT* port = Station(PHY_11He, r.band);
        ASSERT_EQ(port->HeEnabled, 1);
        Bytes e = HeCapElement(port);
        SCOPED_TRACE(testing::Message() << "chip " << std::hex << r.chip << std::dec << " band " << r.band);
        ASSERT_EQ(e.size(), r.length);
        HeCap v(e);
        // MAC.
        EXPECT_EQ(Bit(v.mac(), 0), 1u) << "+HTC-HE";
        EXPECT_EQ(Bit(v.mac(), 1), 1u) << "TWT requester";
        EXPECT_EQ(Bit(v.mac(), 2), 0u) << "TWT responder";
        EXPECT_EQ(Field(v.mac(), 10, 2), 2u) << "trigger frame MAC padding 16 us";
        EXPECT_EQ(Bit(v.mac(), 25), 1u) << "OM control";
        EXPECT_EQ(Field(v.mac(), 27, 2), r.ampduExt);
        EXPECT_EQ(Bit(v.mac(), 38), 1u) << "A-MSDU not under BA in ack-enabled A-MPDU";
        for (unsigned bit : {3u, 4u, 5u, 6u, 7u, 8u, 9u, 12u, 15u, 17u, 18u, 19u, 20u, 21u, 30u, 35u}) {
            EXPECT_EQ(Bit(v.mac(), bit), 0u) << "MAC bit " << bit;
        }
        // PHY: the channel width set from the 2.4 and 5 GHz limits (1 and 3 or 2).
        EXPECT_EQ(Bit(v.phy(), 0), 0u);
        EXPECT_EQ(Bit(v.phy(), 1), 1u) << "40 MHz in 2.4 GHz";
        EXPECT_EQ(Bit(v.phy(), 2), 1u) << "40 and 80 MHz in 5/6 GHz";
        EXPECT_EQ(Bit(v.phy(), 3), (r.chip == kChip3501) ? 0u : 1u) << "160 MHz in 5/6 GHz";
        EXPECT_EQ(Bit(v.phy(), 4), 0u) << "80+80 MHz";
        EXPECT_EQ(Field(v.phy(), 8, 4), 0u) << "punctured preamble";
        EXPECT_EQ(Bit(v.phy(), 12), 1u) << "device class A";
        EXPECT_EQ(Bit(v.phy(), 13), 1u) << "LDPC in payload";
        EXPECT_EQ(Bit(v.phy(), 17), 1u) << "NDP with 4x HE-LTF and 3.2 us GI";
        EXPECT_EQ(Bit(v.phy(), 18), 1u) << "STBC Tx up to 80 MHz";
        EXPECT_EQ(Bit(v.phy(), 19), 1u) << "STBC Rx up to 80 MHz";
        EXPECT_EQ(Bit(v.phy(), 22), 1u) << "full-bandwidth UL MU-MIMO";
        EXPECT_EQ(Bit(v.phy(), 23), 1u) << "partial-bandwidth UL MU-MIMO";
        EXPECT_EQ(Bit(v.phy(), 31), 0u) << "SU beamformer";
        EXPECT_EQ(Bit(v.phy(), 32), 1u) << "SU beamformee";
        EXPECT_EQ(Bit(v.phy(), 33), 0u) << "MU beamformer";
        EXPECT_EQ(Field(v.phy(), 34, 3), 3u) << "beamformee STS up to 80 MHz";
        EXPECT_EQ(Field(v.phy(), 37, 3), r.wide ? 3u : 0u) << "beamformee STS above 80 MHz";
        EXPECT_EQ(Field(v.phy(), 48, 5), 0x1Fu) << "codebook sizes and triggered feedback";
        EXPECT_EQ(Bit(v.phy(), 55), 1u) << "PPE thresholds present";
        EXPECT_EQ(Bit(v.phy(), 58), 1u) << "HE SU and MU PPDU with 4x HE-LTF and 0.8 us GI";
        EXPECT_EQ(Field(v.phy(), 59, 3), 1u) << "maximum Nc: two paths";
        EXPECT_EQ(Bit(v.phy(), 62), r.wide ? 1u : 0u) << "STBC Tx above 80 MHz";
        EXPECT_EQ(Bit(v.phy(), 63), r.wide ? 1u : 0u) << "STBC Rx above 80 MHz";
        // MCS maps: MCS 0-11 (value 2) on streams 1 and 2.
        ASSERT_EQ(v.maps.size(), Bit(v.phy(), 3) ? 4u : 2u);
        for (uint16_t map : v.maps) {
            EXPECT_EQ(Stream(map, 1), 2u);
            EXPECT_EQ(Stream(map, 2), 2u);
            EXPECT_EQ(map >> 4, 0xFFFu);
        }
        // PPE thresholds: NSTS 1 (two streams), RU sizes by the band's width, PPET16 0 and PPET8 7.
        const unsigned ruMask = r.band == RLM_BAND_24G ? 0x3 : r.wide ? 0xF : 0x7;
        EXPECT_EQ(v.ppe, PpeField(1, ruMask, 0, 7));
    }
}

TEST_F(He, OnePathMapsAndTheConfigurationSwitches)
{
    Chip(kChip3502);
    A().AntennaPath = 0x11;
    MP_PORT* port = Station(PHY_11He, RLM_BAND_5G);
    EXPECT_EQ(port->Rlm.He.RxMcs80, 0xFFFE);
    EXPECT_EQ(port->Rlm.He.TxMcs80, 0xFFFE);
    HeCap v(HeCapElement(port));
    EXPECT_EQ(Field(v.phy(), 59, 3), 0u) << "maximum Nc: one path";

    // The flag bytes and Block Ack sizes of the configuration; bit 77 of the extended capabilities.
    EXPECT_EQ(port->Rlm.He.Flag10, 1);
    EXPECT_EQ(port->Rlm.He.Flag9, 1);
    EXPECT_EQ(port->Rlm.He.BaSizeHigh, 256);
    EXPECT_EQ(port->Rlm.He.BaSizeLow, 256);
    EXPECT_EQ(Bit(port->Rlm.ExtCapabilities, 77), 1u);

    // Without beamformee (bit 4), STBC (bits 5, 6) and LDPC (bit 8 of 7 and 8).
    Chip(kChip3502);
    A().RegistryBlock.Config_11AX = 0x7F7 & ~(0x10u | 0x20u | 0x40u | 0x100u);
    port = Station(PHY_11He, RLM_BAND_5G);
    v = HeCap(HeCapElement(port));
    EXPECT_EQ(Bit(v.phy(), 13) + Bit(v.phy(), 17) + Bit(v.phy(), 18) + Bit(v.phy(), 19) + Bit(v.phy(), 32), 0u);
    EXPECT_EQ(Field(v.phy(), 34, 3) + Field(v.phy(), 37, 3) + Field(v.phy(), 48, 5) + Bit(v.phy(), 58), 0u);

    // "BWSelection5G" on a 5 GHz port: only the 40 MHz bit.
    Chip(kChip3502);
    A().RegistryBlock.BWSelection5G = 1;
    port = Station(PHY_11He, RLM_BAND_5G);
    EXPECT_EQ(Field(port->Rlm.He.PhyCap, 1, 4), 1u);
}

TEST_F(He, HeIsOffOnTheOlderChipAndBelowPhyModeThirteen)
{
    Chip(kChip3404);
    MP_PORT* port = Station(PHY_11He, RLM_BAND_5G);
    EXPECT_EQ(port->HeEnabled, 0);
    Chip(kChip3502);
    port = Station(PHY_11VHT, RLM_BAND_5G);
    EXPECT_EQ(port->HeEnabled, 0);
    port = Station(PHY_11BE, RLM_BAND_5G);
    EXPECT_EQ(port->HeEnabled, 1);
}

TEST_F(He, ACertificationStationFacingAnEightyMegahertzAccessPointAnnouncesNoOneSixty)
{
    Chip(kChip3502);
    A().RegistryBlock.SigmaEn = 1;
    MP_PORT* port = Station(PHY_11He, RLM_BAND_5G);
    Link().HePhyCap[0] = 1u << 2;  // the access point: 40/80 MHz, not 160 MHz
    HeCap v(HeCapElement(port));
    EXPECT_EQ(Bit(v.phy(), 3), 0u);
    EXPECT_EQ(v.maps.size(), 2u);
    EXPECT_EQ(Bit(v.phy(), 62) + Bit(v.phy(), 63), 0u);
    EXPECT_EQ(v.ppe, PpeField(1, 0x7, 0, 7));

    // Without the certification switch the port stays at 160 MHz.
    A().RegistryBlock.SigmaEn = 0;
    v = HeCap(HeCapElement(port));
    EXPECT_EQ(Bit(v.phy(), 3), 1u);
    EXPECT_EQ(v.maps.size(), 4u);
}

TEST_F(He, AnAccessPointOperatingAtEightyDropsTheOneSixtyMapsButAtOneSixtyKeepsThem)
{
    Chip(kChip3602);
    MP_PORT* port = Station(PHY_11He, RLM_BAND_5G);
    Link().HePhyCap[0] = (1u << 2) | (1u << 3);
    Link().VhtOp = VHT_OP_IE{1, 42, 0, 0};
    HeCap v(HeCapElement(port));
    EXPECT_EQ(Bit(v.phy(), 3), 0u);
    EXPECT_EQ(v.maps.size(), 2u);

    Link().VhtOp = VHT_OP_IE{1, 42, 50, 0};  // 160 MHz
    Bytes e = HeCapElement(port);
    v = HeCap(e);
    EXPECT_EQ(Bit(v.phy(), 3), 1u);
    EXPECT_EQ(v.maps.size(), 4u);
    EXPECT_EQ(v.ppe.size(), 7u);
    EXPECT_EQ(e[1], 1 + 21 + 4 + 7);
}

TEST_F(He, OperationAndSixGigahertzBandCapabilitiesElements)
{
    Bytes op(HE_OP_ELEMENT_LEN + 4, 0xEE);
    USHORT length = 0;
    heRlmGenerateHeOp(op.data(), &length);
    ASSERT_EQ(length, 9);
    op.resize(length);
    EXPECT_EQ(op[0], 255);
    EXPECT_EQ(op[1], 7);
    EXPECT_EQ(op[2], 36);
    const uint32_t params = op[3] | (op[4] << 8) | (op[5] << 16);
    EXPECT_EQ(Field32(params, 0, 3), 0u) << "default PE duration";
    EXPECT_EQ(Field32(params, 3, 1), 0u) << "TWT required";
    EXPECT_EQ(Field32(params, 4, 10), 1023u) << "TXOP duration RTS threshold";
    EXPECT_EQ(Field32(params, 14, 1), 0u) << "VHT operation information present";
    EXPECT_EQ(Field32(params, 15, 1), 0u) << "co-hosted BSS";
    EXPECT_EQ(Field32(params, 16, 1), 1u) << "ER SU disable";
    EXPECT_EQ(Field32(params, 17, 1), 0u) << "6 GHz operation information present";
    EXPECT_EQ(op[6] & 0x3F, 0) << "BSS colour";
    EXPECT_EQ(op[6] >> 7, 1) << "BSS colour disabled";
    const uint16_t basic = Le16(&op[7]);
    EXPECT_EQ(Stream(basic, 1), 0u);
    EXPECT_EQ(Stream(basic, 2), 0u);
    EXPECT_EQ(basic >> 4, 0xFFFu);

    // 6 GHz band capabilities on a chip with the band, as IEEE 802.11 9.4.2.263 lays them out.
    Chip(kChip3602);
    MP_PORT* port = Port(0, EXTSTA, PHY_11He, RLM_BAND_6G);
    port->Cfg.Ht.CapabilityInfo[0] = 3u << 2;  // SM power save disabled
    Build(port);
    Bytes cap(8, 0xEE);
    heRlmGenerateHe6GCap(&A(), port, cap.data(), &length);
    ASSERT_EQ(length, 5);
    EXPECT_EQ(cap[0], 255);
    EXPECT_EQ(cap[1], 3);
    EXPECT_EQ(cap[2], 59);
    const uint16_t info = Le16(&cap[3]);
    EXPECT_EQ(Field32(info, 0, 3), 0u) << "minimum MPDU start spacing";
    EXPECT_EQ(Field32(info, 3, 3), 7u) << "maximum A-MPDU length exponent";
    EXPECT_EQ(Field32(info, 6, 2), 2u) << "maximum MPDU length 11 454";
    EXPECT_EQ(Field32(info, 9, 2), 3u) << "SM power save";
    EXPECT_EQ(Field32(info, 11, 1), 0u) << "RD responder";
    EXPECT_EQ(Field32(info, 12, 1), 1u) << "Rx antenna pattern consistency";
    EXPECT_EQ(Field32(info, 13, 1), 1u) << "Tx antenna pattern consistency";

    // Without the band: nothing to announce.
    for (USHORT chip : {kChip3504}) {
        Chip(chip);
        port = Station(PHY_11He, RLM_BAND_5G);
        EXPECT_EQ(port->Rlm.He.SixGhzCap, 0);
    }
    Chip(kChip3602);
    A().RegistryBlock.Config_6G = 0xAA;  // bit 0 clear
    port = Station(PHY_11He, RLM_BAND_5G);
    EXPECT_EQ(port->Rlm.He.SixGhzCap, 0);
    EXPECT_FALSE(heRlmIs6GUsable(&A()));
    Chip(kChip3602);
    EXPECT_TRUE(heRlmIs6GUsable(&A()));
    A().Only24G = 1;
    EXPECT_FALSE(heRlmIs6GUsable(&A()));
    A().Only24G = 0;
    A().Cap.SixGCapable = 0;
    EXPECT_FALSE(heRlmIs6GUsable(&A()));
}

}  // namespace
}  // namespace radiocapstest
