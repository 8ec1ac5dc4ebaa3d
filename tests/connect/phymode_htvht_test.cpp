// The HT and VHT settings of an HT-capable PHY mode: the MCS set by stream count, the bandwidth and
// centre channels, the own HT Capabilities and Operation bodies and Extended Capabilities bits, the
// request written back into the transmit words, and the access point's EDCA defaults as the firmware
// receives them.
#include "Common/mlme/mlmeassoc_types.h"
#include "Common/mlme/mlmeinfo.h"
#include "connect/join_fixture.h"
#include "hal/common/phy_cfg.h"

#include <array>

namespace jointest {
namespace {

using Mcs3 = std::array<UCHAR, 3>;

class HtVht : public JoinTest {
protected:
    void SetUpHt()
    {
        SetUpStation(kSecondGen);
        adapter_->Cap.HwAntennaPath = 0x22;
        adapter_->AntennaPath = 0x22;
        port0_->Channel.PrimaryChannel = 36;
        port0_->Channel.CentreChannel = 36;
        port0_->Cfg.VhtEnabled = 1;
        ClearSent();
    }

    static PHY_SETTINGS_REQUEST Request(ULONG mode, UCHAR mcs, UCHAR bandwidth = 0, UCHAR htMode = 1, UCHAR ext = 1,
                                        UCHAR stbc = 0, UCHAR sgi = 0)
    {
        PHY_SETTINGS_REQUEST r = {};
        r.PhyMode = mode;
        r.Mcs = mcs;
        r.Bandwidth = bandwidth;
        r.HtMode = htMode;
        r.ExtChannel = ext;
        r.Stbc = stbc;
        r.ShortGi = sgi;
        return r;
    }

    void Apply(const PHY_SETTINGS_REQUEST& r) { MlmeInfoSetHtVht(adapter_.get(), port0_, &r); }

    Mcs3 McsSet() const { return {port0_->Rate.McsSet[0], port0_->Rate.McsSet[1], port0_->Rate.McsSet[2]}; }
    USHORT CapInfo() const { return static_cast<USHORT>(port0_->Rate.HtCapBody[0] | (port0_->Rate.HtCapBody[1] << 8)); }
    bool ExtCapBit(unsigned bit) const { return ((port0_->Rlm.ExtCapabilities[bit / 8] >> (bit % 8)) & 1) != 0; }
};

TEST_F(HtVht, TheMcsSetFollowsTheStreamsAndTheFixedMcs)
{
    const struct {
        USHORT chipPaths;
        USHORT ownPaths;
        ULONG mode;
        UCHAR mcs;
        Mcs3 set;
        Mcs3 rxMask;  // the element's receive MCS bitmask, bytes 0-2
    } rows[] = {
        {0x11, 0x11, 9, 7, {0x80, 0, 0}, {0xFF, 0, 0}},
        {0x11, 0x11, 9, 8, {0xFF, 0, 0}, {0xFF, 0, 0}},
        {0x11, 0x11, 9, 32, {0, 0, 0}, {0xFF, 0, 0}},
        {0x22, 0x11, 9, 15, {0, 0x80, 0}, {0xFF, 0xFF, 0}},
        {0x22, 0x11, 9, 16, {0xFF, 0xFF, 0}, {0xFF, 0xFF, 0}},
        {0x22, 0x11, 11, 9, {0, 0x02, 0}, {0xFF, 0xFF, 0}},    // VHT: MCS 9 alone
        {0x22, 0x11, 11, 0x29, {0xFF, 0xFF, 0}, {0xFF, 0xFF, 0}},
        {0x33, 0x11, 9, 23, {0, 0, 0x80}, {0xFF, 0xFF, 0xFF}},
        {0x33, 0x11, 9, 33, {0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF}},
        {0x33, 0x11, 9, 32, {0, 0, 0}, {0xFF, 0xFF, 0xFF}},
        // The chip's word names no count from 1 to 3: the adapter's word, and 1 when it names neither 2 nor 3.
        {0x00, 0x33, 9, 40, {0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF}},
        {0x44, 0x11, 9, 40, {0xFF, 0, 0}, {0xFF, 0, 0}},
        {0x00, 0x04, 9, 40, {0xFF, 0, 0}, {0xFF, 0, 0}},
    };
    SetUpHt();
    for (const auto& row : rows) {
        adapter_->Cap.HwAntennaPath = row.chipPaths;
        adapter_->AntennaPath = row.ownPaths;
        port0_->Rate.Mcs32 = 0;
        Apply(Request(row.mode, row.mcs));
        EXPECT_EQ(McsSet(), row.set) << "paths " << std::hex << row.chipPaths << " mcs " << int(row.mcs);
        EXPECT_EQ(port0_->Rate.Mcs32, 1) << "MCS 32 is always there";
        const UCHAR* mask = port0_->Rate.HtCapBody + 3;
        EXPECT_EQ((Mcs3{mask[0], mask[1], mask[2]}), row.rxMask) << "paths " << std::hex << row.chipPaths;
    }
}

TEST_F(HtVht, TheBandwidthDecidesTheCentreChannelAndTheOperationBody)
{
    const struct {
        UCHAR primary;
        ULONG mode;
        UCHAR bandwidth;
        UCHAR ext;
        UCHAR portBandwidth;  // 9: unchanged
        UCHAR centre;
        UCHAR vhtWidth;       // 9: unchanged
        UCHAR opInfo;         // HT Operation byte 1
        bool capWidth;
    } rows[] = {
        {14, 11, 1, 3, 1, 13, 9, 0x07, true},    // channel 14 below: 13
        {6, 11, 1, 3, 1, 4, 9, 0x07, true},
        {6, 11, 1, 1, 1, 8, 9, 0x05, true},
        {6, 9, 1, 1, 1, 6, 9, 0x05, true},       // HT mode: the centre stays
        {44, 11, 1, 1, 1, 46, 9, 0x05, true},
        {36, 11, 2, 1, 2, 42, 1, 0x05, true},
        {149, 12, 2, 1, 2, 155, 1, 0x05, true},
        {36, 11, 3, 1, 3, 50, 2, 0x05, true},
        {36, 11, 0, 1, 9, 36, 0, 0x00, false},   // 20 MHz: the station keeps its bandwidth code
    };
    SetUpHt();
    for (const auto& row : rows) {
        port0_->Channel.PrimaryChannel = row.primary;
        port0_->Channel.CentreChannel = row.primary;
        port0_->Channel.Bandwidth = 9;
        port0_->Rate.VhtChannelWidth = 9;
        Apply(Request(row.mode, 0, row.bandwidth, 1, row.ext));
        const std::string at = "channel " + std::to_string(row.primary) + " bw " + std::to_string(row.bandwidth);
        EXPECT_EQ(port0_->Channel.Bandwidth, row.portBandwidth) << at;
        EXPECT_EQ(port0_->Channel.CentreChannel, row.centre) << at;
        EXPECT_EQ(port0_->Rate.VhtChannelWidth, row.vhtWidth) << at;
        EXPECT_EQ(port0_->Rate.HtOpBody[0], row.primary) << at;
        EXPECT_EQ(port0_->Rate.HtOpBody[1], row.opInfo) << at;
        EXPECT_EQ((CapInfo() & 0x2) != 0, row.capWidth) << at;
        EXPECT_EQ((port0_->Rate.HtSetting & 0x1) != 0, row.capWidth) << at;
    }
    // An access point's port at 20 MHz takes bandwidth code 0.
    port0_->OpMode = 4;
    port0_->Mlme.Edca.Valid = 1;
    port0_->Channel.Bandwidth = 2;
    Apply(Request(11, 0, 0));
    EXPECT_EQ(port0_->Channel.Bandwidth, 0);
}

TEST_F(HtVht, TheCapabilityBodyCarriesTheConfiguredFeatures)
{
    SetUpHt();
    adapter_->Cap.ChipRxLdpc = 1;
    adapter_->Cap.ChipTxLdpc = 1;
    adapter_->RegistryBlock.RDG = 1;
    port0_->Cfg.BaCapability = (5u << 19) | (1u << 23) | (1u << 24) | (1u << 27);
    port0_->ConnectConfig.Hs20IePresent = 1;
    port0_->Cfg.P2pMcc.P2pEcsaEnable = 1;  // only for a port not in station mode
    port0_->Cfg.DisableTxRxLdpc = 0;
    port0_->Rate.HtSetting = 0;
    Apply(Request(11, 0, 0, 3, 1, 1, 1));
    // LDPC, SM power save 1, greenfield, short GI 20 and 40, TX STBC, one RX STBC stream, A-MSDU 7935.
    EXPECT_EQ(CapInfo(), 0x09F5);
    EXPECT_EQ(port0_->Rate.HtCapBody[2], 0x17) << "length exponent 3, start spacing 5";
    EXPECT_EQ(port0_->Rate.AmpduParams, 0x17);
    // HT Extended Capabilities: MCS feedback 2, +HTC, RD responder.
    EXPECT_EQ(port0_->Rate.HtCapBody[19], 0x00);
    EXPECT_EQ(port0_->Rate.HtCapBody[20], 0x0E);
    EXPECT_EQ(port0_->Rate.HtSetting, 0x69F4) << "the flags word: LDPC in both directions, no 40 MHz";
    EXPECT_TRUE(ExtCapBit(0));
    EXPECT_FALSE(ExtCapBit(2));
    EXPECT_TRUE(ExtCapBit(31));
    EXPECT_TRUE(ExtCapBit(62));
    EXPECT_EQ(port0_->Rate.HtEnable, 1);
    EXPECT_EQ(port0_->Rate.VhtEnable, 1);

    // Everything off again: the registry turns LDPC off, no STBC, no short GI, HT mode 2, no RD.
    adapter_->RegistryBlock.RDG = 0;
    port0_->Cfg.DisableTxRxLdpc = 3;
    port0_->Cfg.BaCapability = 0;
    port0_->ConnectConfig.Hs20IePresent = 0;
    port0_->Cfg.VhtEnabled = 0;
    port0_->OpMode = 1;
    port0_->Rate.HtCompatFlags = 0x20;
    Apply(Request(9, 0, 0, 2, 1, 1, 0));
    EXPECT_EQ(CapInfo(), 0x0080) << "only TX STBC: the compatibility flag keeps RX STBC out";
    EXPECT_EQ(port0_->Rate.HtCapBody[2], 0x03);
    EXPECT_EQ(port0_->Rate.HtCapBody[20], 0x06);
    EXPECT_EQ(port0_->Rate.HtSetting, 0x0080);
    EXPECT_FALSE(ExtCapBit(0));
    EXPECT_TRUE(ExtCapBit(2)) << "extended channel switching outside station mode";
    EXPECT_FALSE(ExtCapBit(31));
    EXPECT_FALSE(ExtCapBit(62));
    EXPECT_EQ(port0_->Rate.VhtEnable, 0);
    // One transmit path: no TX STBC.
    adapter_->AntennaPath = 0x12;
    Apply(Request(9, 0, 0, 2, 1, 1, 0));
    EXPECT_EQ(CapInfo() & 0x0380, 0x0000);
}

TEST_F(HtVht, TheRequestIsWrittenBackIntoTheTransmitWords)
{
    SetUpHt();
    adapter_->HalInfo.PhyCfgLayout = PHY_CFG_LAYOUT_2;
    // A Wi-Fi Direct device port runs at 20 MHz whatever was asked; the word keeps the request's width.
    port0_->OpModeCode = 8;
    port0_->Cfg.TransmitSetting = 0xAB03000Fu;
    port0_->ConnectionFlags |= 0x1;  // linked: the centre stays
    Apply(Request(9, 7, 2, 1, 3, 0, 1));
    EXPECT_EQ(port0_->Cfg.TransmitSetting,
              0xAB03000Fu | (7u << 4) | (2u << 11) | (1u << 14) | (1u << 18) | (3u << 21));
    PHY_CFG cfg = port0_->Cfg.PhyCfg;
    EXPECT_EQ(READ_PHY_CFG_MCS(adapter_.get(), &cfg), 7u);
    EXPECT_EQ(READ_PHY_CFG_BW(adapter_.get(), &cfg), 0u);
    EXPECT_EQ(READ_PHY_CFG_SHORT_GI(adapter_.get(), &cfg), 1u);
    EXPECT_EQ(READ_PHY_CFG_STBC(adapter_.get(), &cfg), 0u);
    EXPECT_EQ(READ_PHY_CFG_MODE(adapter_.get(), &cfg), 3u) << "HT mode 1 is PHY mode 3";
    // The access point's entry of the station takes the same word.
    PHY_CFG entry = peer_->PhyCfgData;
    EXPECT_EQ(READ_PHY_CFG_MCS(adapter_.get(), &entry), 7u);
    EXPECT_EQ(READ_PHY_CFG_MODE(adapter_.get(), &entry), 3u);
    EXPECT_EQ(READ_PHY_CFG_SHORT_GI(adapter_.get(), &entry), 1u);
    // HT modes 0 to 4 map to 2, 3, 0, 1, 4.
    const UCHAR modes[5] = {2, 3, 0, 1, 4};
    for (UCHAR htMode = 0; htMode < 5; ++htMode) {
        Apply(Request(9, 7, 0, htMode));
        cfg = port0_->Cfg.PhyCfg;
        EXPECT_EQ(READ_PHY_CFG_MODE(adapter_.get(), &cfg), modes[htMode]) << int(htMode);
    }
}

TEST_F(HtVht, AnAdHocStationWithoutFortyMegahertzDropsWidthShortGiAndGreenfield)
{
    for (bool linkSpeedRule : {true, false}) {
        SetUpHt();
        adapter_->WorkingCfg.NetworkType = 2;
        adapter_->WorkingCfg.LinkSpeedStatus = linkSpeedRule ? 1 : 0;
        adapter_->WorkingCfg.AdhocN40MHzAllowed = linkSpeedRule ? 1 : 0;
        port0_->Channel.Bandwidth = 9;
        Apply(Request(11, 0, 2, 3, 1, 0, 1));
        EXPECT_EQ(CapInfo() & 0x0072, 0) << "no 40 MHz, greenfield or short GI";
        EXPECT_EQ(port0_->Rate.HtOpBody[1], 0);
        EXPECT_EQ(port0_->Channel.Bandwidth, 9);
        // Allowed: the request stands.
        adapter_->WorkingCfg.LinkSpeedStatus = 0;
        adapter_->WorkingCfg.AdhocN40MHzAllowed = 1;
        Apply(Request(11, 0, 2, 3, 1, 0, 1));
        EXPECT_EQ(CapInfo() & 0x0072, 0x0072);
        EXPECT_EQ(port0_->Channel.Bandwidth, 2);
        TearDown();
        SetUp();
    }
}

TEST_F(HtVht, AnAccessPointLoadsItsOwnEdcaParametersOnce)
{
    SetUpHt();
    port0_->OpMode = 4;
    Apply(Request(11, 0, 0));
    EXPECT_EQ(port0_->Cfg.WmmCapable, 1);
    const EDCA_PARM& e = port0_->Mlme.Edca;
    EXPECT_EQ(e.Valid, 1);
    EXPECT_EQ((std::array<UCHAR, 4>{e.Aifsn[0], e.Aifsn[1], e.Aifsn[2], e.Aifsn[3]}), (std::array<UCHAR, 4>{3, 7, 1, 1}));
    EXPECT_EQ((std::array<UCHAR, 4>{e.CwMin[0], e.CwMin[1], e.CwMin[2], e.CwMin[3]}), (std::array<UCHAR, 4>{4, 4, 3, 2}));
    EXPECT_EQ((std::array<UCHAR, 4>{e.CwMax[0], e.CwMax[1], e.CwMax[2], e.CwMax[3]}), (std::array<UCHAR, 4>{6, 10, 4, 3}));
    EXPECT_EQ((std::array<USHORT, 4>{e.TxopLimit[0], e.TxopLimit[1], e.TxopLimit[2], e.TxopLimit[3]}),
              (std::array<USHORT, 4>{0, 0, 94, 47}));
    EXPECT_TRUE(qzl_test::Settle());
    EXPECT_EQ(LegacyPayloads(0x1D).size(), 1u) << "the parameters went to the firmware";
    ClearSent();
    // A valid set stays as it is.
    Apply(Request(11, 0, 0));
    EXPECT_TRUE(qzl_test::Settle());
    EXPECT_TRUE(LegacyPayloads(0x1D).empty());
    // A station loads nothing.
    port0_->OpMode = 0;
    port0_->Mlme.Edca.Valid = 0;
    Apply(Request(11, 0, 0));
    EXPECT_TRUE(qzl_test::Settle());
    EXPECT_TRUE(LegacyPayloads(0x1D).empty());
}

}  // namespace
}  // namespace jointest
