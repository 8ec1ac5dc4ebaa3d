// A peer's HE elements, the HE check of the station link with its 6 GHz channel, the 6 GHz centre
// channels against the channelisation formula, and the station entry's HE copy.
#include "Common/mlme/mlmesync_mactab.h"
#include "radiocaps/radiocaps_fixture.h"

namespace radiocapstest {
namespace {

// An access point's HE Capabilities element: MAC, PHY (width set bits 2-4 from `widthSet`), the maps
// the width set announces, no PPE thresholds.
Bytes PeerHeCap(unsigned widthSet, std::vector<uint16_t> maps, Bytes mac = Bytes(6, 0), Bytes phy = Bytes(11, 0))
{
    phy[0] = static_cast<uint8_t>((phy[0] & ~0x1Cu) | (widthSet << 2));
    Bytes body = Cat({mac, phy});
    for (uint16_t m : maps) {
        body.push_back(static_cast<uint8_t>(m));
        body.push_back(static_cast<uint8_t>(m >> 8));
    }
    return ExtIe(35, body);
}

// An HE Operation element: parameters (24 bits), colour, basic MCS set, then what follows.
Bytes PeerHeOp(uint32_t params, const Bytes& tail = {})
{
    Bytes body{static_cast<uint8_t>(params), static_cast<uint8_t>(params >> 8), static_cast<uint8_t>(params >> 16),
               0x01, 0xFC, 0xFF};
    body.insert(body.end(), tail.begin(), tail.end());
    return ExtIe(36, body);
}

constexpr uint32_t kVhtInfoPresent = 1u << 14;
constexpr uint32_t kCoHosted = 1u << 15;
constexpr uint32_t k6gInfoPresent = 1u << 17;

class HePeer : public RadioCapsTest {};

TEST_F(HePeer, CapabilitiesAndMapsAreRecordedAsFarAsBothSidesAndTheElementAllow)
{
    struct Row {
        USHORT chip;           // the own chip: 3502 has 160 MHz, 3501 not
        unsigned peerWidthSet; // bits 2-4 of the peer's width set
        size_t mapsSent;       // map pairs in the element
        ULONG returned;
        uint16_t rx160;
    };
    const Row rows[] = {
        {kChip3502, 0x1, 1, 24, 0xFFFF},  // 80 MHz peer
        {kChip3502, 0x3, 2, 28, 0xFFF6},  // 160 MHz peer, 160 MHz port: stored, streams 3-8 forced off
        {kChip3501, 0x3, 2, 28, 0xFFFF},  // an 80 MHz port keeps no 160 MHz map
        {kChip3502, 0x7, 3, 32, 0xFFF6},  // 80+80: passed over, not stored
    };
    for (const Row& r : rows) {
        Chip(r.chip);
        MP_PORT* port = Station(PHY_11He, RLM_BAND_5G);
        std::vector<uint16_t> maps;
        for (size_t i = 0; i < r.mapsSent; ++i) {
            maps.push_back(0xAAA6);
            maps.push_back(0xAAA6);
        }
        Bytes e = PeerHeCap(r.peerWidthSet, maps);
        HE_CAPABILITY_INFO rec{};
        EXPECT_EQ(heRlmRecHeCapInfo(&A(), port, &rec, e.data()), r.returned);
        EXPECT_EQ(rec.McsMap[HE_MCS_RX_80], 0xFFF6);
        EXPECT_EQ(rec.McsMap[HE_MCS_TX_80], 0xFFF6);
        EXPECT_EQ(rec.McsMap[HE_MCS_RX_160], r.rx160);
        EXPECT_EQ(rec.McsMap[HE_MCS_RX_8080], 0xFFFF);
        EXPECT_EQ(Link().HeMcsMap[HE_MCS_RX_80], 0xFFF6);
        EXPECT_EQ(Link().HeMcsMap[HE_MCS_RX_160], r.rx160);
    }
}

TEST_F(HePeer, ACapabilitiesElementThatLiesAboutItsMapsIsReadOnlyAsFarAsItGoes)
{
    Chip(kChip3502);
    MP_PORT* port = Station(PHY_11He, RLM_BAND_5G);
    HE_CAPABILITY_INFO rec{};
    rec.MacCap[0] = 0x5A;
    Bytes shortElement = ExtIe(35, Bytes(20, 0xFF));  // one byte short of MAC, PHY and the 80 MHz maps
    EXPECT_EQ(heRlmRecHeCapInfo(&A(), port, &rec, shortElement.data()), 0u);
    EXPECT_EQ(rec.MacCap[0], 0x5A) << "untouched";
    // 160 MHz announced, its maps missing: recorded as none.
    Bytes cut = PeerHeCap(0x3, {0xFFFA, 0xFFFA});
    EXPECT_EQ(heRlmRecHeCapInfo(&A(), port, &rec, cut.data()), 24u);
    EXPECT_EQ(rec.McsMap[HE_MCS_RX_160], 0xFFFF);
    // Without beamformee support of its own the driver drops the peer's beamformer bits (31, 33).
    A().RegistryBlock.Config_11AX = 0x7F7 & ~0x10u;
    Bytes phy(11, 0);
    phy[3] = 0x80;  // bit 31
    phy[4] = 0x03;  // bits 32 and 33
    Bytes withBf = PeerHeCap(0x1, {0xFFFA, 0xFFFA}, Bytes(6, 0), phy);
    heRlmRecHeCapInfo(&A(), port, &rec, withBf.data());
    EXPECT_EQ(Bit(rec.PhyCap, 31), 0u);
    EXPECT_EQ(Bit(rec.PhyCap, 32), 1u);
    EXPECT_EQ(Bit(rec.PhyCap, 33), 0u);
}

TEST_F(HePeer, OperationAndItsSixGigahertzInformation)
{
    const Bytes info{37, 0x02, 39, 0, 6};  // primary 37, 80 MHz, centre 39, minimum rate 6
    struct Row {
        uint32_t params;
        Bytes tail;
        bool sixGhz;
    };
    const Row rows[] = {
        {k6gInfoPresent, info, true},
        {k6gInfoPresent | kCoHosted, Cat({Bytes{0x07}, info}), true},   // one byte of co-hosted BSS first
        {k6gInfoPresent | kVhtInfoPresent, Cat({Bytes{1, 42, 0}, info}), false},
        {0, info, false},
        {k6gInfoPresent, Bytes(info.begin(), info.begin() + 4), false},  // cut inside the information
        {k6gInfoPresent | kCoHosted, info, false},                      // the co-hosted byte makes it short
    };
    for (const Row& r : rows) {
        Bytes e = PeerHeOp(r.params, r.tail);
        HE_OPERATION_INFO op{};
        UCHAR sixGhz[HE_6G_OP_INFO_LEN] = {};
        heRlmRecHeOperation(&A(), &op, sixGhz, e.data());
        EXPECT_EQ(op.Params[0] | (op.Params[1] << 8) | (op.Params[2] << 16), static_cast<int>(r.params));
        EXPECT_EQ(op.BssColorInfo, 0x01);
        EXPECT_EQ(USHORT(op.BasicHeMcsNss), 0xFFFC);
        EXPECT_EQ(sixGhz[0], r.sixGhz ? 37 : 0) << std::hex << r.params;
        if (r.sixGhz) {
            EXPECT_EQ(Bytes(sixGhz, sixGhz + 5), info);
        }
    }
    HE_OPERATION_INFO op{};
    op.BssColorInfo = 0x33;
    Bytes tooShort = ExtIe(36, {0, 0, 0, 1, 2});
    heRlmRecHeOperation(&A(), &op, nullptr, tooShort.data());
    EXPECT_EQ(op.BssColorInfo, 0x33);
}

TEST_F(HePeer, SpatialReuseParametersAreStoredAndChangesAreReported)
{
    Chip(kChip3602);
    MP_PORT* port = Station(PHY_11He, RLM_BAND_5G);
    Bytes colours{1, 2, 3, 4, 5, 6, 7, 8};
    Bytes bssids{9, 10, 11, 12, 13, 14, 15, 16};
    // SR control 0x0C: non-SRG offset and SRG information present.
    Bytes full = ExtIe(39, Cat({Bytes{0x0C, 20, 5, 30}, colours, bssids}));
    EXPECT_TRUE(heRlmRecSRParams(port, full.data()));
    EXPECT_EQ(Bytes(port->SrControl, port->SrControl + 4), (Bytes{0x0C, 20, 5, 30}));
    EXPECT_EQ(port->SrBssColorBitmap, 0x0807060504030201ull);
    EXPECT_EQ(port->SrPartialBssidBitmap, 0x100F0E0D0C0B0A09ull);
    EXPECT_FALSE(heRlmRecSRParams(port, full.data())) << "nothing changed";
    // Only the non-SRG offset: the SRG fields are cleared.
    Bytes nonSrg = ExtIe(39, {0x04, 25});
    EXPECT_TRUE(heRlmRecSRParams(port, nonSrg.data()));
    EXPECT_EQ(Bytes(port->SrControl, port->SrControl + 4), (Bytes{0x04, 25, 0, 0}));
    EXPECT_EQ(port->SrBssColorBitmap, 0u);
    // A control byte announcing parts the element does not hold: refused, nothing stored.
    Bytes lying = ExtIe(39, {0x08, 1, 2});
    EXPECT_FALSE(heRlmRecSRParams(port, lying.data()));
    EXPECT_EQ(port->SrControl[0], 0x04);
    Bytes bare = ExtIe(39, {0x00});
    EXPECT_TRUE(heRlmRecSRParams(port, bare.data()));
    EXPECT_EQ(Bytes(port->SrControl, port->SrControl + 4), (Bytes{0, 0, 0, 0}));
}

TEST_F(HePeer, MuEdcaParametersAreStoredOncePerChange)
{
    Chip(kChip3602);
    MP_PORT* port = Station(PHY_11He, RLM_BAND_5G);
    // QoS Info (update count 3), then per AC {ACI/AIFSN, ECWmin/ECWmax, timer}: BE, BK, VI, VO.
    Bytes set = ExtIe(38, {0x03, 0x08, 0xA4, 0x10, 0x27, 0xA4, 0x11, 0x42, 0x43, 0x12, 0x72, 0x32, 0x13});
    EXPECT_TRUE(mqmUpdateMUEdcaParams(port, set.data(), 0));
    EXPECT_EQ(port->Rlm.MuEdcaUpdateCount, 3);
    // Per access category the port keeps {ECWmin, ECWmax, AIFSN, ACM, timer} in 8-byte slots.
    const Bytes expected[4] = {{4, 10, 8, 0, 0x10}, {4, 10, 7, 0, 0x11}, {3, 4, 2, 0, 0x12}, {2, 3, 2, 1, 0x13}};
    for (int ac = 0; ac < 4; ++ac) {
        EXPECT_EQ(Bytes(port->MuEdcaParams + 8 * ac, port->MuEdcaParams + 8 * ac + 5), expected[ac]) << ac;
    }
    EXPECT_FALSE(mqmUpdateMUEdcaParams(port, set.data(), 0)) << "the same set again";
    EXPECT_TRUE(mqmUpdateMUEdcaParams(port, set.data(), 1)) << "forced";
    Bytes counted = set;
    counted[3] = 0x04;
    EXPECT_TRUE(mqmUpdateMUEdcaParams(port, counted.data(), 0)) << "a new update count";
    Bytes timer = counted;
    timer[15] = 0x14;
    EXPECT_TRUE(mqmUpdateMUEdcaParams(port, timer.data(), 0)) << "a new timer";
    Bytes wrongLength = ExtIe(38, Bytes(14, 0));
    EXPECT_FALSE(mqmUpdateMUEdcaParams(port, wrongLength.data(), 0));
    EXPECT_EQ(port->MuEdcaParams[8 * 3 + 4], 0x14);
}

// The HE check of the station link.
class HeCheck : public RadioCapsTest {
protected:
    MP_PORT* Joining(USHORT chip, ULONG band, UCHAR primary = 37)
    {
        Chip(chip);
        MP_PORT* port = Station(PHY_11He, band, primary);
        Link().JoinBand = static_cast<UCHAR>(band);
        return port;
    }

    HE_CAPABILITY_INFO PeerCap()
    {
        HE_CAPABILITY_INFO cap{};
        for (auto& b : cap.MacCap) {
            b = 0xFF;
        }
        for (auto& b : cap.PhyCap) {
            b = 0xFF;
        }
        RlmSetFieldForTest(cap.MacCap, 27, 2, 0);  // A-MPDU exponent extension 0
        RlmSetFieldForTest(cap.PhyCap, 59, 3, 7);  // maximum Nc 7
        cap.McsMap[HE_MCS_RX_80] = 0xFFFE;
        cap.McsMap[HE_MCS_TX_80] = 0xFFFC;
        return cap;
    }

    static void RlmSetFieldForTest(uint8_t* octets, unsigned first, unsigned width, unsigned value)
    {
        for (unsigned i = 0; i < width; ++i) {
            const unsigned bit = first + i;
            octets[bit / 8] = static_cast<uint8_t>((octets[bit / 8] & ~(1u << (bit % 8))) | (((value >> i) & 1u) << (bit % 8)));
        }
    }
};

TEST_F(HeCheck, RefusesAPortWithoutHeOrAnIndexOutsideTheTable)
{
    Chip(kChip3502);
    MP_PORT* port = Station(PHY_11VHT, RLM_BAND_5G);
    HE_CAPABILITY_INFO cap{};
    cap.MacCap[0] = 0x77;
    EXPECT_FALSE(QZCheckHe(&A(), port, 1, &cap, nullptr, TRUE, nullptr, nullptr));
    EXPECT_EQ(Link().HeInUse, 0);
    EXPECT_EQ(Link().HeMacCap[0], 0);
    port = Station(PHY_11He, RLM_BAND_5G);
    EXPECT_FALSE(QZCheckHe(&A(), port, 20, &cap, nullptr, TRUE, nullptr, nullptr));
    EXPECT_EQ(Link().HeMacCap[0], 0);
    EXPECT_TRUE(QZCheckHe(&A(), port, 19, &cap, nullptr, TRUE, nullptr, nullptr));
    EXPECT_EQ(Link().HeMacCap[0], 0x77);
}

TEST_F(HeCheck, AtJoinThePeersCapabilitiesAfterAssociationTheCommonOnes)
{
    MP_PORT* port = Joining(kChip3502, RLM_BAND_5G);
    HE_CAPABILITY_INFO peer = PeerCap();
    ASSERT_TRUE(QZCheckHe(&A(), port, 1, &peer, nullptr, TRUE, nullptr, nullptr));
    EXPECT_EQ(Link().HeInUse, 1);
    EXPECT_EQ(Bytes(Link().HeMacCap, Link().HeMacCap + 6), Bytes(peer.MacCap, peer.MacCap + 6));
    EXPECT_EQ(Le16(Link().HeMcs80), 0xFFFE) << "the peer's maps";
    EXPECT_EQ(Le16(Link().HeMcs80 + 2), 0xFFFC);

    ASSERT_TRUE(QZCheckHe(&A(), port, 1, &peer, nullptr, FALSE, nullptr, nullptr));
    const HE_CAP_IE& own = port->Rlm.He;
    for (unsigned bit : {0u, 1u, 25u, 38u}) {
        EXPECT_EQ(Bit(Link().HeMacCap, bit), 1u) << bit;
    }
    EXPECT_EQ(Bit(Link().HeMacCap, 2), 1u) << "the access point's TWT responder role is kept";
    EXPECT_EQ(Bit(own.MacCap, 2), 0u);
    EXPECT_EQ(Field(Link().HeMacCap, 27, 2), 0u) << "the lower A-MPDU exponent extension";
    EXPECT_EQ(Field(Link().HePhyCap, 59, 3), 1u) << "the lower maximum Nc (two paths)";
    EXPECT_EQ(Bit(Link().HePhyCap, 31), 0u) << "own bits only";
    EXPECT_EQ(Le16(Link().HeMcs80), 0xFFFA) << "the port's own maps";
}

TEST_F(HeCheck, TheSixGigahertzChannelOfTheAccessPoint)
{
    struct Row {
        USHORT chip;
        UCHAR primary;
        uint8_t control;      // bits 0-1 width, bits 3-5 regulatory info
        uint8_t seg0, seg1;
        UCHAR width, outSeg0, outSeg1;
        ULONG secondary;
    };
    const Row rows[] = {
        {kChip3602, 1, 0x03, 7, 15, 2, 15, 0, 0},     // 160 MHz as two centres 8 apart
        {kChip3602, 1, 0x03, 15, 7, 2, 15, 0, 0},
        {kChip3602, 37, 0x03, 39, 0, 2, 47, 0, 0},    // 160 MHz by the primary
        {kChip3602, 37, 0x02, 0, 0, 1, 39, 0, 0},     // 80 MHz: the primary's 80 MHz centre
        {kChip3602, 37, 0x01, 39, 0, 0, 39, 0, 1},    // 40 MHz, secondary above
        {kChip3602, 41, 0x01, 39, 0, 0, 39, 0, 3},    // 40 MHz, secondary below
        {kChip3602, 37, 0x00, 37, 45, 0, 0, 0, 0},    // 20 MHz with a second segment: both cleared
        {kChip3501, 37, 0x03, 39, 47, 1, 39, 0, 0},   // an 80 MHz chip takes 160 as 80
    };
    for (const Row& r : rows) {
        MP_PORT* port = Joining(r.chip, RLM_BAND_6G, r.primary);
        const HE_OPERATION_INFO op{{0, 0, 0x02}, 0, 0xFFFC};
        const UCHAR info[5] = {r.primary, static_cast<UCHAR>(r.control | (1u << 3)), r.seg0, r.seg1, 6};
        ASSERT_TRUE(QZCheckHe(&A(), port, 1, nullptr, &op, TRUE, info, nullptr));
        SCOPED_TRACE(testing::Message() << "primary " << int(r.primary) << " control " << int(r.control) << " segments "
                                        << int(r.seg0) << "/" << int(r.seg1));
        EXPECT_EQ(Link().He6gOpPresent, 1);
        EXPECT_EQ(Link().He6gChannelWidth, r.width);
        EXPECT_EQ(Link().He6gSeg0, r.outSeg0);
        EXPECT_EQ(Link().He6gSeg1, r.outSeg1);
        EXPECT_EQ(Link().SecondaryOffset, r.secondary);
        EXPECT_EQ(Link().LinkChannel.ChannelWidth, r.width);
        EXPECT_EQ(Link().LinkChannel.Centre1, r.outSeg0);
        EXPECT_EQ(port->Rlm.SixGhzPrimaryChannel, r.primary);
        EXPECT_EQ(port->Rlm.SixGhzRegulatoryInfo, 1);
    }
}

TEST_F(HeCheck, NoSixGigahertzChannelWhereTheOperationOrTheAdapterDoesNotAllowIt)
{
    const UCHAR info[5] = {37, 0x02, 39, 0, 6};
    const HE_OPERATION_INFO withVht{{0, 0x40, 0x02}, 0, 0xFFFC};  // VHT operation information present
    MP_PORT* port = Joining(kChip3602, RLM_BAND_6G);
    ASSERT_TRUE(QZCheckHe(&A(), port, 1, nullptr, &withVht, TRUE, info, nullptr));
    EXPECT_EQ(Link().He6gOpPresent, 0);
    EXPECT_EQ(Link().LinkChannel.Centre1, 0);
    EXPECT_EQ(Link().HeOp.Params[1], 0x40) << "the operation record is kept";

    const HE_OPERATION_INFO no6g{{0, 0x80, 0x00}, 0, 0xFFFC};  // co-hosted, no 6 GHz information
    port = Joining(kChip3602, RLM_BAND_6G);
    Link().He6gOpPresent = 1;
    ASSERT_TRUE(QZCheckHe(&A(), port, 1, nullptr, &no6g, TRUE, info, nullptr));
    EXPECT_EQ(Link().CoHostedBss, 1);
    EXPECT_EQ(Link().He6gOpPresent, 0);

    const HE_OPERATION_INFO op{{0, 0, 0x02}, 0, 0xFFFC};
    port = Joining(kChip3602, RLM_BAND_5G);  // joining on 5 GHz
    ASSERT_TRUE(QZCheckHe(&A(), port, 1, nullptr, &op, TRUE, info, nullptr));
    EXPECT_EQ(Link().He6gOpPresent, 0);
    port = Joining(kChip3504, RLM_BAND_6G);  // a chip without the band
    ASSERT_TRUE(QZCheckHe(&A(), port, 1, nullptr, &op, TRUE, info, nullptr));
    EXPECT_EQ(Link().He6gOpPresent, 0);
}

TEST_F(HeCheck, AfterAssociationTheCentreChannelAndTheCommonSixGigahertzCapabilities)
{
    const HE_OPERATION_INFO op{{0, 0, 0x02}, 0, 0xFFFC};
    const UCHAR info[5] = {37, 0x03, 39, 0, 6};
    struct Row {
        uint16_t peerCap;
        unsigned spacing, ampduExp, mpdu;
    };
    // Own: spacing 0, A-MPDU exponent 7, MPDU length 2.
    const Row rows[] = {{(2u << 0) | (5u << 3) | (1u << 6), 5, 5, 1}, {(6u << 0) | (7u << 3) | (2u << 6), 6, 7, 2}};
    for (const Row& r : rows) {
        MP_PORT* port = Joining(kChip3602, RLM_BAND_6G);
        const USHORT peer = r.peerCap;
        ASSERT_TRUE(QZCheckHe(&A(), port, 1, nullptr, &op, FALSE, info, &peer));
        EXPECT_EQ(port->Rlm.SixGhzCentreChannel, 47);
        const uint16_t cap = Link().He6gCap;
        EXPECT_EQ(Field32(cap, 0, 3), r.spacing) << "the peer's start spacing, at least 5";
        EXPECT_EQ(Field32(cap, 3, 3), r.ampduExp);
        EXPECT_EQ(Field32(cap, 6, 2), r.mpdu);
        EXPECT_EQ(Field32(cap, 12, 2), 3u) << "own antenna pattern consistency";
    }
}

// 6 GHz channelisation: channel n at 5950 + 5n MHz; a channel of 2^bw 20 MHz channels from s (s one of
// 1, 17, 33, ... for 80 MHz, 1, 33, 65, ... for 160 MHz) has the centre index s + 2 (2^bw - 1).
UCHAR SixGhzFormulaCentre(int primary, int bw)
{
    const int n = 1 << bw;
    const int block = 4 * n;
    if (primary < 1 || primary > 233 || (primary - 1) % 4 != 0) {
        return 0;
    }
    const int s = 1 + ((primary - 1) / block) * block;
    const int centre = s + 2 * (n - 1);
    return centre + 2 * (n - 1) <= 233 ? static_cast<UCHAR>(centre) : 0;
}

TEST_F(HePeer, SixGigahertzCentreChannelsAgreeWithTheChannelisation)
{
    for (int primary = 1; primary <= 233; primary += 4) {
        UCHAR out = 0xEE;
        // The band plan has no 80 MHz channel over 225-233; the driver's table runs one block further
        // (centre 231) for those primaries.
        const UCHAR eighty = primary >= 225 ? 231 : SixGhzFormulaCentre(primary, 2);
        he6GCentralChannelDecision(static_cast<UCHAR>(primary), CW_80, 0, &out);
        EXPECT_EQ(out, eighty) << primary << " at 80 MHz";
        he6GCentralChannelDecision(static_cast<UCHAR>(primary), CW_8080, 0, &out);
        EXPECT_EQ(out, eighty) << primary << " at 80+80 MHz";
        he6GCentralChannelDecision(static_cast<UCHAR>(primary), CW_160, 0, &out);
        EXPECT_EQ(out, SixGhzFormulaCentre(primary, 3)) << primary << " at 160 MHz";
        he6GCentralChannelDecision(static_cast<UCHAR>(primary), CW_20_40, 99, &out);
        EXPECT_EQ(out, 99) << "the given centre";
        he6GCentralChannelDecision(static_cast<UCHAR>(primary), CW_320, 0, &out);
        EXPECT_EQ(out, 0);
    }
    UCHAR out = 0;
    he6GCentralChannelDecision(37, CW_80, 0, &out);
    EXPECT_EQ(out, 39);
    he6GCentralChannelDecision(37, CW_160, 0, &out);
    EXPECT_EQ(out, 47);
}

TEST_F(HeCheck, TheStationEntryGetsTheNegotiatedValues)
{
    MP_PORT* port = Joining(kChip3602, RLM_BAND_6G);
    HE_CAPABILITY_INFO peer = PeerCap();
    const HE_OPERATION_INFO op{{0, 0, 0x02}, 0x05, 0xFFFC};
    const UCHAR info[5] = {37, 0x02, 39, 0, 6};
    Bytes e = PeerHeCap(0x3, {0xFFFA, 0xFFFA, 0xFFFE, 0xFFFE});
    HE_CAPABILITY_INFO rec{};
    heRlmRecHeCapInfo(&A(), port, &rec, e.data());
    ASSERT_TRUE(QZCheckHe(&A(), port, 1, &peer, &op, TRUE, info, nullptr));
    auto entry = std::make_unique<MAC_TABLE_ENTRY>();
    HeUpdateMacTable(&A(), port, entry.get());
    EXPECT_EQ(entry->Rlm.HeOn, 1);
    EXPECT_EQ(entry->Rlm.HeOp.BssColorInfo, 0x05);
    EXPECT_EQ(Bytes(entry->Rlm.HePhyCap, entry->Rlm.HePhyCap + 11), Bytes(peer.PhyCap, peer.PhyCap + 11));
    EXPECT_EQ(entry->Rlm.HeMcsMap[HE_MCS_RX_160], 0xFFFE);
    EXPECT_EQ(entry->Rlm.He6gPresent, 1);
    EXPECT_EQ(entry->Rlm.He6gChannelWidth, 1);
    EXPECT_EQ(entry->Rlm.He6gSeg0, 39);

    A().Cap.SixGCapable = 0;
    HeUpdateMacTable(&A(), port, entry.get());
    EXPECT_EQ(entry->Rlm.He6gPresent, 0);
}

}  // namespace
}  // namespace radiocapstest
