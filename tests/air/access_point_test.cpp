// The simulated access points as IEEE 802.11 has them behave: beacons on time, probe requests answered
// by the rules of 11.1.4.3.4 (wildcard, directed, hidden SSID, SSID lists, short SSIDs), and the elements
// a real access point of each kind carries.
#include "air_support.h"

namespace airtest {
namespace {

using sim::air::AccessPoint;
using sim::air::ApConfig;
using sim::air::Pmf;
using sim::air::Security;

constexpr size_t kElements = 36;  // beacon and probe response: header 24, time stamp 8, interval 2, capability 2

ApConfig Office()
{
    ApConfig c;
    c.ssid = B("Office");
    c.bssid = M("02:00:00:05:24:01");
    c.channel = {Band::B5G, 36};
    c.widthMhz = 80;
    c.security = Security::Wpa2Wpa3;
    c.pmf = Pmf::Capable;
    c.ht = c.vht = c.he = true;
    c.tbttOffsetTu = 10;
    return c;
}

// A probe request: SSID element (none when `ssid` is null), then the given elements.
Bytes Probe(const Mac& a1, const Mac& a3, const char* ssid, const Bytes& more = {})
{
    Bytes f = sim::air::MgmtHeader(sim::air::kFcProbeReq, a1, M("00:0c:43:35:00:01"), a3, 1);
    if (ssid != nullptr) {
        sim::air::PutElement(f, 0, B(ssid));
    }
    sim::air::PutElement(f, 1, {0x0C, 0x12, 0x18, 0x24});
    f.insert(f.end(), more.begin(), more.end());
    return f;
}

Bytes ShortSsidList(std::vector<std::string> ssids)
{
    Bytes body;
    for (const std::string& s : ssids) {
        sim::air::PutLe32(body, sim::air::ShortSsid(reinterpret_cast<const uint8_t*>(s.data()), s.size()));
    }
    Bytes e;
    sim::air::PutExtElement(e, sim::air::kExtShortSsidList, body);
    return e;
}

class AirAccessPoint : public ManualClock {};

TEST_F(AirAccessPoint, BeaconsLeaveAtEveryTbttWithTheTsfOfThatMomentAndTheDtimCount)
{
    ApConfig c = Office();
    c.dtimPeriod = 3;
    AccessPoint ap(c, start_);
    std::vector<sim::air::Emission> out;
    ap.Scheduled(c.channel, start_, start_ + 1000 * sim::air::kUnitsPerMs, &out);
    ap.Scheduled({Band::B5G, 40}, start_, start_ + 1000 * sim::air::kUnitsPerMs, &out);
    // 10 TU phase, 100 TU (102.4 ms) interval: 10 beacons in the first second, none on another channel.
    ASSERT_EQ(out.size(), 10u);
    uint64_t previous = 0;
    const uint8_t dtimCounts[] = {0, 2, 1, 0, 2, 1, 0, 2, 1, 0};
    for (size_t k = 0; k < out.size(); ++k) {
        EXPECT_EQ(out[k].time - start_, static_cast<int64_t>(10 + 100 * k) * 10240) << k;
        const Bytes& f = out[k].frame;
        EXPECT_EQ(sim::air::Le16(f.data()), 0x0080);
        EXPECT_EQ(sim::air::MacAt(f.data() + 4), sim::air::kBroadcast);
        EXPECT_EQ(sim::air::MacAt(f.data() + 10), c.bssid);
        EXPECT_EQ(sim::air::MacAt(f.data() + 16), c.bssid);
        const uint64_t tsf = Get32(f, 24) | (static_cast<uint64_t>(Get32(f, 28)) << 32);
        EXPECT_EQ(tsf % 102400, 0u) << "the TSF at a TBTT is a whole number of beacon intervals";
        if (k > 0) {
            EXPECT_EQ(tsf - previous, 102400u);
        }
        previous = tsf;
        EXPECT_EQ(sim::air::Le16(f.data() + 32), 100);
        std::optional<Bytes> tim = ElementOf(f, kElements, sim::air::kEidTim);
        ASSERT_TRUE(tim);
        EXPECT_EQ((*tim)[0], dtimCounts[k]) << k;
        EXPECT_EQ((*tim)[1], 3);
    }
    EXPECT_EQ(ap.GetRecord().beacons, 10u);
}

TEST_F(AirAccessPoint, ProbeRequestsAreAnsweredByTheRulesOfTheStandard)
{
    const Mac bssid = M("02:00:00:05:24:01");
    const Mac other = M("02:00:00:05:24:09");
    const Mac bc = sim::air::kBroadcast;
    const Bytes ds36 = {3, 1, 36};
    const Bytes ds40 = {3, 1, 40};
    Bytes ssidList;
    {
        Bytes inner;
        sim::air::PutElement(inner, 0, B("Elsewhere"));
        sim::air::PutElement(inner, 0, B("Office"));
        sim::air::PutElement(ssidList, sim::air::kEidSsidList, inner);
    }
    Bytes longSsid = sim::air::MgmtHeader(sim::air::kFcProbeReq, bc, M("00:0c:43:35:00:01"), bc, 1);
    longSsid.insert(longSsid.end(), {0, 33});
    longSsid.insert(longSsid.end(), 33, 'x');

    struct Row {
        const char* what;
        Bytes probe;
        bool office;  // the visible "Office" answers
        bool lab;     // the hidden "Lab" on the same channel answers
    } rows[] = {
        {"wildcard SSID, broadcast", Probe(bc, bc, ""), true, false},
        {"its SSID", Probe(bc, bc, "Office"), true, false},
        {"the hidden SSID", Probe(bc, bc, "Lab"), false, true},
        {"another SSID", Probe(bc, bc, "Elsewhere"), false, false},
        {"wildcard to its BSSID", Probe(bssid, bssid, ""), true, false},
        {"wildcard, another BSSID in address 3", Probe(bc, other, ""), false, false},
        {"to another station's address", Probe(other, bc, ""), false, false},
        {"DSSS parameter set of its channel", Probe(bc, bc, "", ds36), true, false},
        {"DSSS parameter set of another channel", Probe(bc, bc, "", ds40), false, false},
        {"wildcard with its short SSID", Probe(bc, bc, "", ShortSsidList({"Office"})), true, false},
        {"wildcard with the hidden one's short SSID", Probe(bc, bc, "", ShortSsidList({"Lab"})), false, true},
        {"wildcard with other short SSIDs only", Probe(bc, bc, "", ShortSsidList({"Elsewhere"})), false, false},
        {"SSID list holding its SSID", Probe(bc, bc, "Elsewhere", ssidList), true, false},
        {"no SSID element", Probe(bc, bc, nullptr), false, false},
        {"SSID element of 33 bytes", longSsid, false, false},
        {"a frame too short for a header", Bytes(20, 0), false, false},
    };
    AccessPoint office(Office(), start_);
    ApConfig labConfig = Office();
    labConfig.ssid = B("Lab");
    labConfig.bssid = M("02:00:00:05:24:02");
    labConfig.hidden = true;
    AccessPoint lab(labConfig, start_);
    for (const Row& r : rows) {
        EXPECT_EQ(office.AnswersProbe(r.probe, {Band::B5G, 36}), r.office) << r.what;
        EXPECT_EQ(lab.AnswersProbe(r.probe, {Band::B5G, 36}), r.lab) << r.what;
    }
    EXPECT_FALSE(office.AnswersProbe(Probe(bc, bc, ""), {Band::B5G, 40})) << "heard beside its channel";
}

TEST_F(AirAccessPoint, AProbeResponseGoesToTheRequesterThroughTheAirWithTheRealSsid)
{
    sim::air::Medium air;
    ApConfig c = Office();
    c.ssid = B("Lab");
    c.hidden = true;
    c.signalDbm = -61;
    AccessPoint ap(c, start_);
    ap.SetMedium(&air);
    air.Join(&ap);
    struct Station : sim::air::Party {
        bool Hears(Channel c, int64_t) const override { return c == Channel{Band::B5G, 36}; }
        void Receive(const Bytes& f, const sim::air::Reception& rx) override { got.push_back({f, rx}); }
        bool IsDevice() const override { return true; }
        std::vector<std::pair<Bytes, sim::air::Reception>> got;
    } station;
    air.Join(&station);
    const int64_t sent = start_ + 5 * sim::air::kUnitsPerMs;
    air.Transmit(&station, {Band::B5G, 36}, sent, Probe(sim::air::kBroadcast, sim::air::kBroadcast, "Lab"));
    air.Transmit(&station, {Band::B5G, 36}, sent, Probe(sim::air::kBroadcast, sim::air::kBroadcast, ""));
    ASSERT_EQ(station.got.size(), 1u) << "one answer: the wildcard probe is not for a hidden network";
    const Bytes& f = station.got[0].first;
    EXPECT_EQ(sim::air::Le16(f.data()), 0x0050);
    EXPECT_EQ(sim::air::MacAt(f.data() + 4), M("00:0c:43:35:00:01"));
    EXPECT_EQ(SsidOf(f), "Lab");
    const int64_t delay = station.got[0].second.time - sent;
    EXPECT_GE(delay, 3000);
    EXPECT_LE(delay, 12000) << "answered 0.3 to 1.2 ms after the request";
    EXPECT_EQ(station.got[0].second.signalDbm, -61);
    EXPECT_EQ(ap.GetRecord().probeRequests, 2u);
    EXPECT_EQ(ap.GetRecord().probeResponses, 1u);
    air.Leave(&station);
    air.Leave(&ap);
}

TEST_F(AirAccessPoint, EachKindOfAccessPointCarriesItsElements)
{
    // RSN element bodies, written from the suite selectors (00-0F-AC: 2 TKIP, 4 CCMP, 6 BIP-CMAC-128;
    // AKM 2 PSK, 8 SAE) and the RSN capabilities (16 replay counters 0x000C, MFPR 0x40, MFPC 0x80).
    const Bytes wpa2 = {1, 0, 0, 0x0F, 0xAC, 4, 1, 0, 0, 0x0F, 0xAC, 4, 1, 0, 0, 0x0F, 0xAC, 2, 0x0C, 0};
    const Bytes wpa3 = {1, 0, 0, 0x0F, 0xAC, 4, 1, 0, 0, 0x0F, 0xAC, 4, 1, 0, 0, 0x0F, 0xAC, 8,
                        0xCC, 0, 0, 0, 0, 0x0F, 0xAC, 6};
    const Bytes mixed = {1, 0, 0, 0x0F, 0xAC, 4, 1, 0, 0, 0x0F, 0xAC, 4, 2, 0, 0, 0x0F, 0xAC, 2,
                         0, 0x0F, 0xAC, 8, 0x8C, 0, 0, 0, 0, 0x0F, 0xAC, 6};
    const Bytes wpaWpa2 = {1, 0, 0, 0x0F, 0xAC, 2, 2, 0, 0, 0x0F, 0xAC, 4, 0, 0x0F, 0xAC, 2,
                           1, 0, 0, 0x0F, 0xAC, 2, 0x0C, 0};
    struct Row {
        const char* what;
        ApConfig config;
        bool privacy;
        std::optional<Bytes> rsn;
        bool wpaVendor;
    };
    auto make = [](Band band, uint8_t ch, unsigned width, Security s, bool ht, bool vht, bool he, bool eht) {
        ApConfig c;
        c.ssid = B("n");
        c.bssid = M("02:00:00:00:00:07");
        c.channel = {band, ch};
        c.widthMhz = width;
        c.security = s;
        c.pmf = s == Security::Wpa3Sae ? Pmf::Required : s == Security::Wpa2Wpa3 ? Pmf::Capable : Pmf::Off;
        c.ht = ht;
        c.vht = vht;
        c.he = he;
        c.eht = eht;
        EXPECT_EQ(sim::air::ValidateApConfig(c), "");
        return c;
    };
    Row rows[] = {
        {"open 2.4 GHz HT", make(Band::B2G4, 6, 20, Security::Open, true, false, false, false), false, std::nullopt, false},
        {"WEP 2.4 GHz, no HT", make(Band::B2G4, 11, 20, Security::Wep, false, false, false, false), true, std::nullopt, false},
        {"WPA/WPA2 mixed", make(Band::B2G4, 1, 40, Security::WpaWpa2, true, false, false, false), true, wpaWpa2, true},
        {"WPA2-PSK 5 GHz VHT 80", make(Band::B5G, 36, 80, Security::Wpa2Psk, true, true, false, false), true, wpa2, false},
        {"WPA2/WPA3 5 GHz HE 160", make(Band::B5G, 100, 160, Security::Wpa2Wpa3, true, true, true, false), true, mixed, false},
        {"WPA3-SAE 6 GHz HE 80", make(Band::B6G, 33, 80, Security::Wpa3Sae, false, false, true, false), true, wpa3, false},
        {"WPA3-SAE 6 GHz EHT 320", make(Band::B6G, 1, 320, Security::Wpa3Sae, false, false, true, true), true, wpa3, false},
    };
    for (const Row& r : rows) {
        AccessPoint ap(r.config, start_);
        const Bytes f = ap.BeaconAt(start_);
        const ApConfig& c = r.config;
        SCOPED_TRACE(r.what);
        EXPECT_EQ((sim::air::Le16(f.data() + 34) & 0x0010) != 0, r.privacy);
        EXPECT_EQ(ElementOf(f, kElements, sim::air::kEidRsn), r.rsn);
        const bool g24 = c.channel.band == Band::B2G4;
        const bool g6 = c.channel.band == Band::B6G;
        const Bytes rates24 = {0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24};
        const Bytes ratesOfdm = {0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C};
        EXPECT_EQ(ElementOf(f, kElements, sim::air::kEidRates), g24 ? rates24 : ratesOfdm);
        EXPECT_EQ(ElementOf(f, kElements, sim::air::kEidExtRates).has_value(), g24);
        EXPECT_EQ(ElementOf(f, kElements, sim::air::kEidErp).has_value(), g24);
        EXPECT_EQ(ElementOf(f, kElements, sim::air::kEidDsParams),
                  g6 ? std::nullopt : std::optional<Bytes>(Bytes{c.channel.number}));
        EXPECT_EQ(ElementOf(f, kElements, sim::air::kEidHtCaps).has_value(), c.ht);
        EXPECT_EQ(ElementOf(f, kElements, sim::air::kEidVhtCaps).has_value(), c.vht);
        EXPECT_EQ(ElementOf(f, kElements, sim::air::kEidExtension, sim::air::kExtHeCaps).has_value(), c.he);
        EXPECT_EQ(ElementOf(f, kElements, sim::air::kEidExtension, sim::air::kExtEhtOperation).has_value(), c.eht);
        EXPECT_EQ(ElementOf(f, kElements, sim::air::kEidExtension, sim::air::kExtHe6GhzCaps).has_value(), g6);
        std::optional<Bytes> country = ElementOf(f, kElements, sim::air::kEidCountry);
        ASSERT_TRUE(country);
        EXPECT_EQ(country->size() % 2, 0u);
        EXPECT_EQ((*country)[0], 'U');
        if (c.ht) {
            std::optional<Bytes> op = ElementOf(f, kElements, sim::air::kEidHtOperation);
            ASSERT_TRUE(op);
            EXPECT_EQ((*op)[0], c.channel.number);
            EXPECT_EQ((*op)[1] & 3, sim::air::SecondaryOffset(c.channel, c.widthMhz));
        }
        bool wpa = false;
        sim::air::ElementReader reader(f.data() + kElements, f.size() - kElements);
        sim::air::Element e;
        while (reader.Next(&e)) {
            wpa = wpa || (e.id == 221 && e.length >= 4 && e.body[3] == 1 && e.body[0] == 0x00 && e.body[2] == 0xF2);
        }
        EXPECT_FALSE(reader.Malformed());
        EXPECT_EQ(wpa, r.wpaVendor);
    }

    // The channel fields of the wider kinds.
    AccessPoint vht160(rows[4].config, start_);
    EXPECT_EQ(ElementOf(vht160.BeaconAt(start_), kElements, sim::air::kEidVhtOperation), (Bytes{1, 106, 114, 0xFC, 0xFF}));
    AccessPoint he6(rows[5].config, start_);
    std::optional<Bytes> heOp = ElementOf(he6.BeaconAt(start_), kElements, sim::air::kEidExtension, sim::air::kExtHeOperation);
    ASSERT_TRUE(heOp);
    ASSERT_EQ(heOp->size(), 11u);
    EXPECT_EQ((*heOp)[2] & 0x02, 0x02) << "6 GHz operation information present (bit 17)";
    EXPECT_EQ(Bytes(heOp->begin() + 6, heOp->end()), (Bytes{33, 2, 39, 0, 6}));
    AccessPoint eht320(rows[6].config, start_);
    std::optional<Bytes> ehtOp = ElementOf(eht320.BeaconAt(start_), kElements, sim::air::kEidExtension,
                                           sim::air::kExtEhtOperation);
    ASSERT_TRUE(ehtOp);
    EXPECT_EQ(Bytes(ehtOp->begin() + 5, ehtOp->end()), (Bytes{4, 15, 31}));
}

TEST_F(AirAccessPoint, AHiddenAccessPointKeepsItsNameOutOfBeaconsOnly)
{
    ApConfig c = Office();
    c.ssid = B("Lab");
    c.hidden = true;
    AccessPoint empty(c, start_);
    EXPECT_EQ(SsidOf(empty.BeaconAt(start_)), "");
    EXPECT_EQ(SsidOf(empty.ProbeResponseTo(M("00:0c:43:35:00:01"), start_)), "Lab");
    c.hiddenZeros = true;
    AccessPoint zeros(c, start_);
    EXPECT_EQ(SsidOf(zeros.BeaconAt(start_)), std::string(3, '\0'));
}

TEST_F(AirAccessPoint, TheBuiltInOfficeAnnouncesIts6GhzRadioInAReducedNeighbourReport)
{
    std::unique_ptr<sim::air::World> world = sim::air::World::BuiltIn();
    sim::air::AccessPoint* office5 = world->FindAccessPoint(M("02:00:00:05:24:01"));
    sim::air::AccessPoint* office6 = world->FindAccessPoint(M("02:00:00:06:21:01"));
    ASSERT_NE(office5, nullptr);
    ASSERT_NE(office6, nullptr);
    std::optional<Bytes> rnr = ElementOf(office5->BeaconAt(world->Epoch()), kElements, sim::air::kEidRnr);
    ASSERT_TRUE(rnr);
    // TBTT information header (one field, length 12), operating class 133 (6 GHz, 80 MHz), channel 33;
    // then TBTT offset, BSSID, short SSID, BSS parameters (same SSID 0x02, co-located 0x40).
    ASSERT_EQ(rnr->size(), 16u);
    EXPECT_EQ(Bytes(rnr->begin(), rnr->begin() + 4), (Bytes{0x00, 12, 133, 33}));
    const int offset = (office6->Config().tbttOffsetTu - office5->Config().tbttOffsetTu + 100) % 100;
    EXPECT_EQ((*rnr)[4], offset);
    EXPECT_EQ(sim::air::MacAt(rnr->data() + 5), M("02:00:00:06:21:01"));
    EXPECT_EQ(Get32(*rnr, 11), sim::air::ShortSsid(reinterpret_cast<const uint8_t*>("Office"), 6));
    EXPECT_EQ((*rnr)[15], 0x42);
    // Only the 5 GHz radio announces it.
    for (const auto& ap : world->AccessPoints()) {
        if (ap.get() != office5) {
            EXPECT_FALSE(ElementOf(ap->BeaconAt(world->Epoch()), kElements, sim::air::kEidRnr));
        }
    }
}

}  // namespace
}  // namespace airtest
