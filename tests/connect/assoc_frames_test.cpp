// The association request the station builds and the association response it parses: the RSN element
// by security setting, the reassociation's current access point, the response's fields and elements
// against malformed lengths, the EDCA defaults and the PHY mode of the entry's PHY flags.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "connect/assoc_fixture.h"
#include "support/run_command.h"

namespace assoctest {
namespace {

bool TsharkPresent() { return std::system("command -v tshark >/dev/null 2>&1") == 0; }

// tshark's values of the named fields for one frame (linktype 105: 802.11 without radiotap).
std::map<std::string, std::string> TsharkFields(const Bytes& frame, const std::vector<std::string>& names)
{
    const std::string path = ::testing::TempDir() + "assoc_req.pcap";
    {
        std::ofstream out(path, std::ios::binary);
        auto put32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
        auto put16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
        put32(0xA1B2C3D4u);
        put16(2);
        put16(4);
        put32(0);
        put32(0);
        put32(65535);
        put32(105);
        put32(1);
        put32(0);
        put32(static_cast<uint32_t>(frame.size()));
        put32(static_cast<uint32_t>(frame.size()));
        out.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
    }
    std::string command = "tshark -r " + path + " -T fields -E separator=/t -E occurrence=f";
    for (const std::string& n : names) {
        command += " -e " + n;
    }
    std::string line = qzl_test::RunCommand(command + " 2>/dev/null");
    std::remove(path.c_str());
    std::map<std::string, std::string> out;
    if (line.empty()) {
        return out;
    }
    if (line.back() == '\n') {
        line.pop_back();
    }
    size_t start = 0;
    for (const std::string& n : names) {
        const size_t tab = line.find('\t', start);
        out[n] = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
        start = tab == std::string::npos ? line.size() : tab + 1;
    }
    return out;
}

class AssocFrames : public AssocTest {
protected:
    void SetUp() override
    {
        AssocTest::SetUp();
        const char ssid[] = "qzl";
        std::memcpy(A()->Mlme.Cntl.MlmeSsid, ssid, 3);
        A()->Mlme.Cntl.MlmeSsidLen = 3;
        JOIN_TARGET_INFO& join = A()->Mlme.JoinTargetInfo;
        const UCHAR rates[8] = {0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24};
        std::memcpy(join.SupportedRates, rates, 8);
        join.SupportedRatesLen = 8;
        port_->Channel.PrimaryChannel = 6;
        port_->Channel.Band = BAND_24G;
        port_->WirelessMode = 4;
    }

    Bytes Build(UCHAR reassoc = 0)
    {
        PUCHAR buffer = nullptr;
        EXPECT_EQ(MlmeAllocateMemoryEx(A(), 1, &buffer), STATUS_SUCCESS);
        ULONG length = 0;
        MgntPktConstructAsscReqFrame(A(), port_, reassoc, 0x0431, 10, kAp, 0, buffer, &length);
        Bytes out(buffer, buffer + length);
        MlmeFreeMemory(A(), buffer);
        return out;
    }

    // The first element with this id after the fixed fields (header included); empty when none.
    static Bytes Element(const Bytes& frame, UCHAR id, size_t fixedEnd = 28)
    {
        for (size_t at = fixedEnd; at + 2 <= frame.size();) {
            const size_t len = frame[at + 1];
            if (at + 2 + len > frame.size()) {
                break;
            }
            if (frame[at] == id) {
                return Bytes(frame.begin() + static_cast<long>(at), frame.begin() + static_cast<long>(at + 2 + len));
            }
            at += 2 + len;
        }
        return {};
    }
};

TEST_F(AssocFrames, TheRsnElementFollowsTheSecuritySetting)
{
    struct Row {
        ULONG auth;
        ULONG pairwise;
        ULONG group;
        USHORT ap;    // the access point's RSN capabilities
        USHORT own;
        Bytes rsn;
    };
    const Row rows[] = {
        // WPA2-PSK CCMP without protection: the template's 20 bytes plus the PMKID count.
        {7, 4, 4, 0x0000, 0x0000,
         {48, 22, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 2, 0x00, 0, 0, 0}},
        // The access point requires protection: AKM 6 and the group management suite.
        {7, 4, 4, 0x00C0, 0x0080,
         {48, 26, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 6, 0x80, 0, 0, 0,
          0x00, 0x0F, 0xAC, 0x06}},
        // SAE: AKM 8; TKIP pairwise and group.
        {9, 2, 2, 0x0000, 0x0000,
         {48, 22, 1, 0, 0x00, 0x0F, 0xAC, 2, 1, 0, 0x00, 0x0F, 0xAC, 2, 1, 0, 0x00, 0x0F, 0xAC, 8, 0x00, 0, 0, 0}},
        // OWE: AKM 18 even when protection is required.
        {10, 4, 4, 0x00C0, 0x0080,
         {48, 26, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 18, 0x80, 0, 0, 0,
          0x00, 0x0F, 0xAC, 0x06}},
        // GCMP-256 group: pairwise 9, AKM 12, BIP-GMAC-256.
        {6, 4, 9, 0x0080, 0x0080,
         {48, 26, 1, 0, 0x00, 0x0F, 0xAC, 9, 1, 0, 0x00, 0x0F, 0xAC, 9, 1, 0, 0x00, 0x0F, 0xAC, 12, 0x80, 0, 0, 0,
          0x00, 0x0F, 0xAC, 0x0C}},
    };
    for (const Row& row : rows) {
        port_->Mlme.AuthAlgorithm = row.auth;
        port_->Cfg.PairwiseCipher = row.pairwise;
        port_->Cfg.GroupCipher = row.group;
        port_->Mlme.UnicastCipher = row.pairwise;
        port_->Mlme.Conn.ApRsnCapabilities = row.ap;
        A()->Mlme.Conn.OwnRsnCapabilities = row.own;
        const Bytes frame = Build();
        EXPECT_EQ(Element(frame, 48), row.rsn) << "algorithm " << row.auth;
        // The association information record carries the element after the SSID and rates.
        const ASSOC_INFO_FIXED& info = A()->Mlme.Conn.AssocInfo.Fixed;
        EXPECT_EQ(info.RequestIELength, row.rsn.size());
        EXPECT_EQ(info.OffsetResponseIEs, row.rsn.size() + 40);
    }
}

TEST_F(AssocFrames, TheHeaderFixedFieldsAndLegacyElements)
{
    port_->Mlme.AuthAlgorithm = 1;
    const UCHAR last[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    std::memcpy(port_->LastBssid, last, 6);
    const Bytes assoc = Build(0);
    ASSERT_GE(assoc.size(), 28u);
    EXPECT_EQ(assoc[0], 0x00);  // association request
    EXPECT_EQ(Bytes(assoc.begin() + 4, assoc.begin() + 10), Bytes(kAp, kAp + 6));
    EXPECT_EQ(Bytes(assoc.begin() + 16, assoc.begin() + 22), Bytes(kAp, kAp + 6));
    EXPECT_EQ(Bytes(assoc.begin() + 24, assoc.begin() + 28), (Bytes{0x31, 0x04, 10, 0}));
    EXPECT_EQ(Element(assoc, 0), (Bytes{0, 3, 'q', 'z', 'l'}));
    EXPECT_EQ(Element(assoc, 1), (Bytes{1, 8, 0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24}));
    EXPECT_TRUE(Element(assoc, 48).empty());  // open system: no RSN
    EXPECT_EQ(Element(assoc, 70), (Bytes{70, 5, 0x42, 0, 0, 0, 0}));
    EXPECT_EQ(Element(assoc, 221), (Bytes{221, 7, 0x02, 0x3F, 0xA7, 0, 0, 0, 0}));

    const Bytes reassoc = Build(1);
    EXPECT_EQ(reassoc[0], 0x20);  // reassociation request
    EXPECT_EQ(Bytes(reassoc.begin() + 28, reassoc.begin() + 34), Bytes(last, last + 6));
    EXPECT_EQ(Element(reassoc, 0, 34), (Bytes{0, 3, 'q', 'z', 'l'}));
    // The last request is kept.
    EXPECT_EQ(Bytes(A()->Mlme.Conn.LastAssocReq, A()->Mlme.Conn.LastAssocReq + A()->Mlme.Conn.LastAssocReqLen), reassoc);
}

TEST_F(AssocFrames, TsharkDecodesTheRequest)
{
    if (!TsharkPresent()) {
        GTEST_SKIP() << "tshark is not installed";
    }
    port_->Mlme.AuthAlgorithm = 7;
    port_->Cfg.PairwiseCipher = 4;
    port_->Cfg.GroupCipher = 4;
    port_->Mlme.UnicastCipher = 4;
    port_->Mlme.Conn.ApRsnCapabilities = 0x00C0;
    A()->Mlme.Conn.OwnRsnCapabilities = 0x0080;
    const Bytes frame = Build();
    const auto fields = TsharkFields(
        frame, {"wlan.fc.type_subtype", "wlan.fixed.capabilities", "wlan.fixed.listen_ival", "wlan.ssid",
                "wlan.supported_rates", "wlan.rsn.akms.type", "wlan.rsn.pcs.type", "wlan.rsn.gcs.type",
                "wlan.rsn.capabilities.mfpc", "wlan.rsn.gmcs.type", "_ws.malformed", "_ws.expert.severity"});
    ASSERT_FALSE(fields.empty());
    EXPECT_EQ(fields.at("wlan.fc.type_subtype"), "0x0000");
    EXPECT_EQ(fields.at("wlan.fixed.capabilities"), "0x0431");
    EXPECT_EQ(fields.at("wlan.fixed.listen_ival"), "0x000a");
    EXPECT_EQ(fields.at("wlan.rsn.akms.type"), "6");
    EXPECT_EQ(fields.at("wlan.rsn.pcs.type"), "4");
    EXPECT_EQ(fields.at("wlan.rsn.gcs.type"), "4");
    EXPECT_EQ(fields.at("wlan.rsn.capabilities.mfpc"), "1");
    EXPECT_EQ(fields.at("wlan.rsn.gmcs.type"), "6");
    EXPECT_EQ(fields.at("_ws.malformed"), "");
    EXPECT_EQ(fields.at("_ws.expert.severity").find("8388608"), std::string::npos);  // no error-severity note
}

// ---- the response ----------------------------------------------------------------------------------
Bytes Rsp(unsigned status, const Bytes& elements)
{
    return Frame(1, Cat({Le16(0x0431), Le16(status), Le16(0xC005), elements}));
}

TEST_F(AssocFrames, TheResponseParserTakesOnlyWellFormedElements)
{
    port_->WirelessMode = 9;  // HT-capable
    ASSOC_RSP_FIELDS f;
    // A refusal: only address, capability and status.
    Bytes refused = Rsp(17, {1, 2, 0x82, 0x84});
    ASSERT_TRUE(PeerAssocRspSanity(A(), port_, refused.data(), static_cast<ULONG>(refused.size()), &f));
    EXPECT_EQ(f.Status, 17);
    EXPECT_EQ(f.CapabilityInfo, 0x0431);
    EXPECT_EQ(f.Aid, 0);
    EXPECT_EQ(f.RatesLen, 0);

    struct Row {
        const char* what;
        Bytes elements;
        UCHAR rates, ht, htOp, vhtCap, extCap;
        UCHAR secondary;
    };
    Bytes ht26(28, 0);
    ht26[0] = 45;
    ht26[1] = 26;
    Bytes ht25(27, 0);
    ht25[0] = 45;
    ht25[1] = 25;
    Bytes htOp22(24, 0);
    htOp22[0] = 61;
    htOp22[1] = 22;
    Bytes vht12(14, 0);
    vht12[0] = 191;
    vht12[1] = 12;
    Bytes vht13(15, 0);
    vht13[0] = 191;
    vht13[1] = 13;
    Bytes rates13{1, 13};
    rates13.resize(15, 0x82);
    Bytes ext16{127, 16};
    ext16.resize(18, 0);
    Bytes ext17{127, 17};
    ext17.resize(19, 0);
    const Row rows[] = {
        {"rates", {1, 4, 0x82, 0x84, 0x8B, 0x96}, 4, 0, 0, 0, 0, 0xFF},
        {"13 rates ignored", rates13, 0, 0, 0, 0, 0, 0xFF},
        {"HT 26", Cat({ht26, htOp22}), 0, 26, 22, 0, 0, 0xFF},
        {"HT 25 ignored", ht25, 0, 0, 0, 0, 0, 0xFF},
        {"VHT 12", vht12, 0, 0, 0, 1, 0, 0xFF},
        {"VHT 13 ignored", vht13, 0, 0, 0, 0, 0, 0xFF},
        {"ext caps 16", ext16, 0, 0, 0, 0, 16, 0xFF},
        {"ext caps 17 ignored", ext17, 0, 0, 0, 0, 0, 0xFF},
        {"secondary offset", {62, 1, 3}, 0, 0, 0, 0, 0, 3},
        {"secondary offset of 2 ignored", {62, 2, 3, 0}, 0, 0, 0, 0, 0, 0xFF},
        {"element overruns the frame", {1, 4, 0x82, 0x84, 0x8B, 0x96, 45, 26, 0, 0}, 4, 0, 0, 0, 0, 0xFF},
        {"a lone byte", {1, 1, 0x82, 7}, 1, 0, 0, 0, 0, 0xFF},
    };
    for (const Row& row : rows) {
        Bytes frame = Rsp(0, row.elements);
        ASSERT_TRUE(PeerAssocRspSanity(A(), port_, frame.data(), static_cast<ULONG>(frame.size()), &f)) << row.what;
        EXPECT_EQ(f.Aid, 5) << row.what;
        EXPECT_EQ(f.RatesLen, row.rates) << row.what;
        EXPECT_EQ(f.HtCapabilityLen, row.ht) << row.what;
        EXPECT_EQ(f.HtOperationLen, row.htOp) << row.what;
        EXPECT_EQ(f.VhtCapabilityPresent, row.vhtCap) << row.what;
        EXPECT_EQ(f.ExtCapabilitiesLen, row.extCap) << row.what;
        EXPECT_EQ(f.SecondaryChannelOffset, row.secondary) << row.what;
    }
    // A frame without its fixed fields is refused.
    Bytes cut = Rsp(0, {});
    cut.resize(29);
    EXPECT_FALSE(PeerAssocRspSanity(A(), port_, cut.data(), static_cast<ULONG>(cut.size()), &f));
}

TEST_F(AssocFrames, WmmParametersAndVhtOperationOn24Ghz)
{
    port_->WirelessMode = 11;
    // WMM parameter element: QoS info 0x81 (U-APSD, count 1), AC records BE, BK, VI, VO.
    const Bytes wmm{221, 24, 0x00, 0x50, 0xF2, 0x02, 0x01, 0x01, 0x81, 0x00,
                    0x03, 0xA4, 0x00, 0x00,   // ACI 0: AIFSN 3, CW 4/10
                    0x27, 0xA4, 0x00, 0x00,   // ACI 1
                    0x52, 0x43, 0x5E, 0x00,   // ACI 2, ACM: AIFSN 2, CW 3/4, TXOP 94
                    0x62, 0x32, 0x2F, 0x00};  // ACI 3
    Bytes vht12(14, 0);
    vht12[0] = 191;
    vht12[1] = 12;
    const Bytes vhtOp{192, 5, 1, 42, 0, 0, 0};
    Bytes frame = Rsp(0, Cat({wmm, vht12, vhtOp}));
    ASSOC_RSP_FIELDS f;
    A()->Mlme.Conn.VhtSent = 0;
    ASSERT_TRUE(PeerAssocRspSanity(A(), port_, frame.data(), static_cast<ULONG>(frame.size()), &f));
    EXPECT_EQ(f.Edca.Valid, 1);
    EXPECT_EQ(f.Edca.UapsdCapable, 1);
    EXPECT_EQ(f.Edca.ParamSetCount, 1);
    EXPECT_EQ(Bytes(f.Edca.Aifsn, f.Edca.Aifsn + 4), (Bytes{3, 7, 2, 2}));
    EXPECT_EQ(Bytes(f.Edca.CwMin, f.Edca.CwMin + 4), (Bytes{4, 4, 3, 2}));
    EXPECT_EQ(Bytes(f.Edca.CwMax, f.Edca.CwMax + 4), (Bytes{10, 10, 4, 3}));
    EXPECT_EQ(f.Edca.TxopLimit[2], 94);
    EXPECT_EQ(f.Edca.TxopLimit[3], 47);
    EXPECT_EQ(f.Edca.Acm[2], 1);
    // On 2.4 GHz the VHT operation counts only after a request that carried VHT capabilities.
    EXPECT_EQ(f.VhtOperationPresent, 0);
    EXPECT_EQ(f.VhtPresent, 0);
    A()->Mlme.Conn.VhtSent = 1;
    ASSERT_TRUE(PeerAssocRspSanity(A(), port_, frame.data(), static_cast<ULONG>(frame.size()), &f));
    EXPECT_EQ(f.VhtPresent, 1);
}

TEST_F(AssocFrames, HtWithoutWmmGetsTheEdcaDefaults)
{
    port_->WirelessMode = 9;
    Bytes ht26(28, 0);
    ht26[0] = 45;
    ht26[1] = 26;
    Bytes frame = Rsp(0, ht26);
    ASSOC_RSP_FIELDS f;
    ASSERT_TRUE(PeerAssocRspSanity(A(), port_, frame.data(), static_cast<ULONG>(frame.size()), &f));
    MlmeAssocPostProc(A(), port_, &f);
    const EDCA_PARM& e = A()->Mlme.Conn.Edca;
    EXPECT_EQ(e.Valid, 1);
    EXPECT_EQ(Bytes(e.Aifsn, e.Aifsn + 4), (Bytes{3, 7, 2, 2}));
    EXPECT_EQ(Bytes(e.CwMin, e.CwMin + 4), (Bytes{4, 4, 3, 2}));
    EXPECT_EQ(Bytes(e.CwMax, e.CwMax + 4), (Bytes{10, 10, 4, 3}));
    EXPECT_EQ(e.TxopLimit[0], 0);
    EXPECT_EQ(e.TxopLimit[1], 0);
    EXPECT_EQ(e.TxopLimit[2], 94);
    EXPECT_EQ(e.TxopLimit[3], 47);
    EXPECT_EQ(A()->Mlme.Conn.AssociationId, 5);
    EXPECT_EQ(A()->Mlme.Conn.CapabilityInfo, 0x0431 & 0x1533);
}

TEST_F(AssocFrames, ThePhyModeFollowsTheEntrysPhyFlags)
{
    const struct {
        UCHAR flags;
        UCHAR mode;
    } rows[] = {
        {0x93, 14}, {0x53, 13}, {0x33, 11}, {0x1B, 5}, {0x13, 9}, {0x12, 8}, {0x18, 8}, {0x0B, 3},
        {0x03, 0},  {0x08, 2},  {0x01, 1},  {0x10, 6}, {0x02, 5}, {0x00, 5},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(MlmeAssocPhyModeFromFlags(row.flags), row.mode) << std::hex << int(row.flags);
    }
    // Legacy flags from the rate bitmap: CCK bits 0-3, OFDM bits 6-13.
    EXPECT_EQ(MlmeAssocLegacyFlags(0x0FCF, 6, FALSE), 0x03);
    EXPECT_EQ(MlmeAssocLegacyFlags(0x000F, 6, FALSE), 0x01);
    EXPECT_EQ(MlmeAssocLegacyFlags(0x0FC0, 36, FALSE), 0x08);
    EXPECT_EQ(MlmeAssocLegacyFlags(0x0FCF, 6, TRUE), 0x08);
    EXPECT_EQ(MlmeAssocLegacyFlags(0x0030, 6, FALSE), 0x00);
}

}  // namespace
}  // namespace assoctest
