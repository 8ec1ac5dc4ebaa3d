// tshark decodes the elements the driver builds: a probe request of each chip with the port's VHT, HE,
// HE 6 GHz Band and EHT Capabilities and the Power Capability element, and a probe response with the
// advertised VHT capabilities, the VHT operation and the HE operation. tshark 4.0 knows the EHT
// elements only by their extension id and length: their bytes are checked against the standard's
// layout in eht_test.cpp.
#include "Common/rlm_power.h"
#include "radiocaps/radiocaps_fixture.h"

namespace radiocapstest {
namespace {

class Tshark : public RadioCapsTest {
protected:
    void SetUp() override
    {
        RadioCapsTest::SetUp();
        if (!TsharkPresent()) {
            GTEST_SKIP() << "tshark is not installed (scripts/lib.sh installs it)";
        }
    }

    Bytes ProbeRequest(MP_PORT* port)
    {
        Bytes body = Cat({Ie(0, {'q', 'z', 'l'}), Ie(1, {0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C}),
                          VhtCapElement(port->Rlm.Vht.OwnCap), HeCapElement(port)});
        if (port->Channel.Band == RLM_BAND_6G) {
            Bytes six(HE_6G_CAP_ELEMENT_LEN);
            USHORT length = 0;
            heRlmGenerateHe6GCap(&A(), port, six.data(), &length);
            body = Cat({body, six});
        }
        body = Cat({body, EhtCapElement(port)});
        Bytes power(POWER_CAPABILITY_ELEMENT_LEN);
        MDSMCreatePowerCapabilityIE(&A(), power.data());
        return MgmtFrame(4, Cat({body, power}));
    }
};

unsigned N(const std::map<std::string, std::string>& f, const std::string& name)
{
    auto it = f.find(name);
    EXPECT_TRUE(it != f.end() && !it->second.empty()) << name << " not decoded";
    if (it == f.end() || it->second.empty()) {
        return 0xFFFFFFFFu;
    }
    return static_cast<unsigned>(TsharkNumber(it->second.substr(0, it->second.find(','))));
}

TEST_F(Tshark, DecodesTheProbeRequestElementsOfEachChip)
{
    struct Row {
        USHORT chip;
        ULONG band;
        unsigned widthSet;   // VHT supported channel width set
        bool wide;           // 160 MHz in the HE capabilities
        unsigned ampduExt;
        unsigned ruMask;
        bool eht;
    };
    const Row rows[] = {
        {kChip3501, RLM_BAND_5G, 0, false, 1, 0x7, false},
        {kChip3502, RLM_BAND_5G, 1, true, 1, 0xF, false},
        {kChip3602, RLM_BAND_5G, 1, true, 3, 0xF, true},
        {kChip3602, RLM_BAND_6G, 1, true, 3, 0xF, true},
    };
    std::vector<Bytes> frames;
    for (const Row& r : rows) {
        Chip(r.chip);
        MDSMCalculateMaxTxPower(&A(), 23, 3);
        frames.push_back(ProbeRequest(Station(PHY_11BE, r.band)));
    }
    const std::string pcap = WritePcap(frames, "probe_requests");
    EXPECT_EQ(TsharkProblems(pcap), "");
    const std::vector<std::string> fields = {
        "wlan.vht.capabilities.maxmpdulength", "wlan.vht.capabilities.supportedchanwidthset",
        "wlan.vht.capabilities.rxldpc", "wlan.vht.capabilities.short80", "wlan.vht.capabilities.short160",
        "wlan.vht.capabilities.txstbc", "wlan.vht.capabilities.rxstbc", "wlan.vht.capabilities.subeamformee",
        "wlan.vht.capabilities.beamformee_sts_cap", "wlan.vht.capabilities.soundingdimensions",
        "wlan.vht.capabilities.mubeamformee", "wlan.vht.capabilities.maxampdu", "wlan.vht.capabilities.rxpatconsist",
        "wlan.vht.capabilities.txpatconsist",
        "wlan.ext_tag.he_mac_cap.htc_he_support", "wlan.ext_tag.he_mac_cap.twt_req_support",
        "wlan.ext_tag.he_mac_cap.twt_rsp_support", "wlan.ext_tag.he_mac_cap.trig_frm_mac_padding_dur",
        "wlan.ext_tag.he_mac_cap.om_control_support", "wlan.ext_tag.he_mac_cap.max_a_mpdu_len_exp_ext",
        "wlan.ext_tag.he_phy_cap.chan_width_set.40_80_in_5ghz", "wlan.ext_tag.he_phy_cap.chan_width_set.160_in_5ghz",
        "wlan.ext_tag.he_phy_cap.device_class", "wlan.ext_tag.he_phy_cap.ldpc_coding_in_payload",
        "wlan.ext_tag.he_phy_cap.su_beamformee", "wlan.ext_tag.he_phy_cap.beamformee_sts_lte_80mhz",
        "wlan.ext_tag.he_phy_cap.beamformee_sts_gt_80mhz", "wlan.ext_tag.he_phy_cap.max_nc",
        "wlan.ext_tag.he_phy_cap.stbc_tx_gt_80_mhz", "wlan.ext_tag.he_phy_cap.ppe_thres_present",
        "wlan.ext_tag.he_mcs_map.max_he_mcs_80_rx_1_ss", "wlan.ext_tag.he_mcs_map.max_he_mcs_80_rx_2_ss",
        "wlan.ext_tag.he_mcs_map.max_he_mcs_80_rx_3_ss", "wlan.ext_tag.he_mcs_map.max_he_mcs_80_tx_2_ss",
        "wlan.ext_tag.he_mcs_map.max_he_mcs_160_rx_2_ss", "wlan.ext_tag.he_ppe_thresholds.nss",
        "wlan.ext_tag.he_ppe_thresholds.ru_index_bitmask", "wlan.ext_tag.he_ppe_thresholds.ppet16",
        "wlan.ext_tag.he_ppe_thresholds.ppet8", "wlan.tag.he_6ghz.cap_inf.b3_b5", "wlan.tag.he_6ghz.cap_inf.b6_b7",
        "wlan.ext_tag.number", "wlan.ext_tag.length", "wlan.powercap.min", "wlan.powercap.max"};
    const auto decoded = TsharkFields(pcap, fields);
    ASSERT_EQ(decoded.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& r = rows[i];
        auto f = decoded[i];
        SCOPED_TRACE(testing::Message() << "chip " << std::hex << r.chip << std::dec << " band " << r.band);
        EXPECT_EQ(N(f, "wlan.vht.capabilities.maxmpdulength"), 2u);
        EXPECT_EQ(N(f, "wlan.vht.capabilities.supportedchanwidthset"), r.widthSet);
        EXPECT_EQ(N(f, "wlan.vht.capabilities.rxldpc"), 1u);
        EXPECT_EQ(N(f, "wlan.vht.capabilities.short80"), 1u);
        EXPECT_EQ(N(f, "wlan.vht.capabilities.short160"), r.widthSet);
        EXPECT_EQ(N(f, "wlan.vht.capabilities.txstbc"), 1u);
        EXPECT_EQ(N(f, "wlan.vht.capabilities.rxstbc"), 1u);
        EXPECT_EQ(N(f, "wlan.vht.capabilities.subeamformee"), 1u);
        EXPECT_EQ(N(f, "wlan.vht.capabilities.beamformee_sts_cap"), 3u);
        EXPECT_EQ(N(f, "wlan.vht.capabilities.soundingdimensions"), 1u);
        EXPECT_EQ(N(f, "wlan.vht.capabilities.mubeamformee"), 1u);
        EXPECT_EQ(N(f, "wlan.vht.capabilities.maxampdu"), 7u);
        EXPECT_EQ(N(f, "wlan.vht.capabilities.rxpatconsist"), 1u);
        EXPECT_EQ(N(f, "wlan.vht.capabilities.txpatconsist"), 1u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_mac_cap.htc_he_support"), 1u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_mac_cap.twt_req_support"), 1u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_mac_cap.twt_rsp_support"), 0u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_mac_cap.trig_frm_mac_padding_dur"), 2u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_mac_cap.om_control_support"), 1u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_mac_cap.max_a_mpdu_len_exp_ext"), r.ampduExt);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_phy_cap.chan_width_set.40_80_in_5ghz"), 1u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_phy_cap.chan_width_set.160_in_5ghz"), r.wide ? 1u : 0u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_phy_cap.device_class"), 1u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_phy_cap.ldpc_coding_in_payload"), 1u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_phy_cap.su_beamformee"), 1u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_phy_cap.beamformee_sts_lte_80mhz"), 3u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_phy_cap.beamformee_sts_gt_80mhz"), r.wide ? 3u : 0u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_phy_cap.max_nc"), 1u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_phy_cap.stbc_tx_gt_80_mhz"), r.wide ? 1u : 0u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_phy_cap.ppe_thres_present"), 1u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_mcs_map.max_he_mcs_80_rx_1_ss"), 2u) << "MCS 0-11";
        EXPECT_EQ(N(f, "wlan.ext_tag.he_mcs_map.max_he_mcs_80_rx_2_ss"), 2u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_mcs_map.max_he_mcs_80_rx_3_ss"), 3u) << "not supported";
        EXPECT_EQ(N(f, "wlan.ext_tag.he_mcs_map.max_he_mcs_80_tx_2_ss"), 2u);
        if (r.wide) {
            EXPECT_EQ(N(f, "wlan.ext_tag.he_mcs_map.max_he_mcs_160_rx_2_ss"), 2u);
        } else {
            EXPECT_EQ(f["wlan.ext_tag.he_mcs_map.max_he_mcs_160_rx_2_ss"], "");
        }
        EXPECT_EQ(N(f, "wlan.ext_tag.he_ppe_thresholds.nss"), 1u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_ppe_thresholds.ru_index_bitmask"), r.ruMask);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_ppe_thresholds.ppet16"), 0u);
        EXPECT_EQ(N(f, "wlan.ext_tag.he_ppe_thresholds.ppet8"), 7u);
        if (r.band == RLM_BAND_6G) {
            EXPECT_EQ(N(f, "wlan.tag.he_6ghz.cap_inf.b3_b5"), 7u) << "maximum A-MPDU length exponent";
            EXPECT_EQ(N(f, "wlan.tag.he_6ghz.cap_inf.b6_b7"), 2u) << "maximum MPDU length";
        }
        // The EHT Capabilities element, last of the extension elements: extension id 108, its body after
        // the extension id (tshark's length) 14 bytes of MAC, PHY and the 80 MHz map, 3 more per map of
        // 160 and 320 MHz.
        const std::string numbers = f["wlan.ext_tag.number"];
        const std::string lengths = f["wlan.ext_tag.length"];
        EXPECT_EQ(numbers.substr(numbers.rfind(',') + 1) == "108", r.eht) << numbers;
        if (r.eht) {
            EXPECT_EQ(lengths.substr(lengths.rfind(',') + 1), r.band == RLM_BAND_6G ? "20" : "17") << lengths;
        }
        EXPECT_EQ(N(f, "wlan.powercap.min"), 0u);
        EXPECT_EQ(N(f, "wlan.powercap.max"), 20u);
    }
}

TEST_F(Tshark, TheCheckSeesAnElementCutShort)
{
    // HE Capabilities of 12 bytes: shorter than MAC, PHY and one map pair.
    const Bytes frame = MgmtFrame(4, Cat({Ie(0, {'q', 'z', 'l'}), Ie(1, {0x82}), ExtIe(35, Bytes(11, 0))}));
    EXPECT_NE(TsharkProblems(WritePcap({frame}, "cut_short")), "");
}

TEST_F(Tshark, DecodesTheAdvertisedVhtAndTheOperationElements)
{
    Chip(kChip3502);
    MP_PORT* port = Port(0, EXTAP, PHY_11He, RLM_BAND_5G);
    Build(port);
    Bytes op(HE_OP_ELEMENT_LEN);
    USHORT length = 0;
    heRlmGenerateHeOp(op.data(), &length);
    Bytes body(12, 0);  // timestamp, beacon interval, capability
    body[8] = 100;
    body[10] = 0x01;
    body = Cat({body, Ie(0, {'q', 'z', 'l'}), Ie(1, {0x8C, 0x12, 0x98, 0x24}), VhtCapElement(port->Rlm.Vht.AdvertisedCap),
                VhtOpElement(port->Rlm.Vht.OwnOp), HeCapElement(port), op});
    const std::string pcap = WritePcap({MgmtFrame(5, body, kStaAddr, kApAddr)}, "probe_response");
    EXPECT_EQ(TsharkProblems(pcap), "");
    const auto decoded = TsharkFields(pcap,
                          {"wlan.vht.capabilities.maxmpdulength", "wlan.vht.capabilities.short80",
                           "wlan.vht.capabilities.rxstbc", "wlan.vht.capabilities.subeamformee",
                           "wlan.vht.capabilities.maxampdu", "wlan.vht.op.channelwidth", "wlan.vht.op.channelcenter0",
                           "wlan.vht.op.basicmcsmap.ss1", "wlan.vht.op.basicmcsmap.ss2", "wlan.vht.op.basicmcsmap.ss3",
                           "wlan.ext_tag.he_operation.default_pe_duration", "wlan.ext_tag.he_operation.twt_required",
                           "wlan.ext_tag.he_operation.txop_duration_rts_thresh", "wlan.ext_tag.he_operation.er_su_disable",
                           "wlan.ext_tag.he_operation.6ghz_operation_information_present",
                           "wlan.ext_tag.bss_color_information.bss_color",
                           "wlan.ext_tag.bss_color_information.bss_color_disabled",
                           "wlan.ext_tag.he_operation.max_he_mcs_for_1_ss",
                           "wlan.ext_tag.he_operation.max_he_mcs_for_2_ss",
                           "wlan.ext_tag.he_operation.max_he_mcs_for_3_ss"});
    ASSERT_EQ(decoded.size(), 1u);
    const auto& f = decoded[0];
    EXPECT_EQ(N(f, "wlan.vht.capabilities.maxmpdulength"), 1u) << "7 991 octets";
    EXPECT_EQ(N(f, "wlan.vht.capabilities.short80"), 1u);
    EXPECT_EQ(N(f, "wlan.vht.capabilities.rxstbc"), 1u);
    EXPECT_EQ(N(f, "wlan.vht.capabilities.subeamformee"), 1u);
    EXPECT_EQ(N(f, "wlan.vht.capabilities.maxampdu"), 7u);
    EXPECT_EQ(N(f, "wlan.vht.op.channelwidth"), 2u) << "a 160 MHz chip";
    EXPECT_EQ(N(f, "wlan.vht.op.channelcenter0"), 0u);
    EXPECT_EQ(N(f, "wlan.vht.op.basicmcsmap.ss1"), 2u);
    EXPECT_EQ(N(f, "wlan.vht.op.basicmcsmap.ss2"), 2u);
    EXPECT_EQ(N(f, "wlan.vht.op.basicmcsmap.ss3"), 3u);
    EXPECT_EQ(N(f, "wlan.ext_tag.he_operation.default_pe_duration"), 0u);
    EXPECT_EQ(N(f, "wlan.ext_tag.he_operation.twt_required"), 0u);
    EXPECT_EQ(N(f, "wlan.ext_tag.he_operation.txop_duration_rts_thresh"), 1023u);
    EXPECT_EQ(N(f, "wlan.ext_tag.he_operation.er_su_disable"), 1u);
    EXPECT_EQ(N(f, "wlan.ext_tag.he_operation.6ghz_operation_information_present"), 0u);
    EXPECT_EQ(N(f, "wlan.ext_tag.bss_color_information.bss_color"), 0u);
    EXPECT_EQ(N(f, "wlan.ext_tag.bss_color_information.bss_color_disabled"), 1u);
    EXPECT_EQ(N(f, "wlan.ext_tag.he_operation.max_he_mcs_for_1_ss"), 0u) << "MCS 0-7";
    EXPECT_EQ(N(f, "wlan.ext_tag.he_operation.max_he_mcs_for_2_ss"), 0u);
    EXPECT_EQ(N(f, "wlan.ext_tag.he_operation.max_he_mcs_for_3_ss"), 3u);
}

}  // namespace
}  // namespace radiocapstest
