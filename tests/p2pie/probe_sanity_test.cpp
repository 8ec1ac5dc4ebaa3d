// The check of a received probe request that the P2P device may answer, and the bound of the element
// collections it keeps.
#include "p2pie_fixture.h"

namespace p2pie {
namespace {

const Bytes kTransmitter{2, 0x77, 0, 0, 0, 5};

Bytes Header()
{
    Bytes h{0x40, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    h.insert(h.end(), kTransmitter.begin(), kTransmitter.end());
    const Bytes rest{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0};
    h.insert(h.end(), rest.begin(), rest.end());
    return h;
}

Bytes Ie(UCHAR id, const Bytes& body)
{
    Bytes e{id, static_cast<UCHAR>(body.size())};
    e.insert(e.end(), body.begin(), body.end());
    return e;
}

const Bytes kOfdmRates = Ie(1, {0x8C, 0x12, 0x98, 0x24});
const Bytes kDsssRates = Ie(1, {0x82, 0x84, 0x8B, 0x96});
const Bytes kP2p = P2pIe(Attr(P2P_ATTR_CAPABILITY, {0x25, 0}));
const Bytes kWps = WpsIe(WpsAttr(0x1012, {0, 4}));

class ProbeSanityTest : public P2pIeTest {
protected:
    void SetUp() override
    {
        P2pIeTest::SetUp();
        dev_ = Port(1, WFD_DEVICE);
    }
    BOOLEAN Check(const Bytes& body)
    {
        frame_ = Cat({Header(), body});
        std::unique_ptr<UCHAR[]> copy(new UCHAR[frame_.size()]);
        memcpy(copy.get(), frame_.data(), frame_.size());
        p2p_.assign(P2P_PROBE_P2P_BUFFER_SIZE, 0);
        wps_.assign(P2P_PROBE_WPS_BUFFER_SIZE, 0);
        return PeerP2pProbeReqSanity(A(), dev_, copy.get(), static_cast<ULONG>(frame_.size()), transmitter_, ssid_,
                                     &ssidLen_, &p2pLen_, p2p_.data(), &wpsLen_, wps_.data());
    }

    PMP_PORT dev_ = nullptr;
    Bytes frame_;
    Bytes p2p_;
    Bytes wps_;
    UCHAR transmitter_[6] = {};
    UCHAR ssid_[32] = {};
    UCHAR ssidLen_ = 0;
    ULONG p2pLen_ = 0;
    ULONG wpsLen_ = 0;
};

TEST_F(ProbeSanityTest, WhichRequestsAreAnswered)
{
    struct Case {
        const char* what;
        Bytes body;
        BOOLEAN answered;
    } cases[] = {
        {"wildcard P2P SSID and a P2P element", Cat({Ie(0, Str("DIRECT-")), kOfdmRates, kWps, kP2p}), TRUE},
        {"a group's SSID", Cat({Ie(0, Str("DIRECT-xy-Phone")), kOfdmRates, kP2p}), TRUE},
        {"wildcard (empty) SSID", Cat({Ie(0, {}), kOfdmRates, kP2p}), FALSE},
        {"another SSID", Cat({Ie(0, Str("HomeNet")), kOfdmRates, kP2p}), FALSE},
        {"only 802.11b rates", Cat({Ie(0, Str("DIRECT-")), kDsssRates, kP2p}), FALSE},
        {"11b rates and one OFDM extended rate", Cat({Ie(0, Str("DIRECT-")), kDsssRates, Ie(50, {0x0C}), kP2p}), TRUE},
        {"no rates", Cat({Ie(0, Str("DIRECT-")), kP2p}), FALSE},
        {"no P2P element", Cat({Ie(0, Str("DIRECT-")), kOfdmRates, kWps}), FALSE},
        {"P2P element of only its OUI", Cat({Ie(0, Str("DIRECT-")), kOfdmRates, Ie(221, {0x50, 0x6F, 0x9A, 0x09})}),
         FALSE},
        {"SSID longer than 32 bytes", Cat({Ie(0, Bytes(33, 'D')), kOfdmRates, kP2p}), FALSE},
        {"first element past the frame", {0, 9, 'D', 'I'}, FALSE},
        {"no element", {}, FALSE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Check(c.body), c.answered) << c.what;
        EXPECT_EQ(Bytes(transmitter_, transmitter_ + 6), kTransmitter) << c.what;
    }
}

TEST_F(ProbeSanityTest, ElementsAreCollected)
{
    const Bytes p2pA = P2pIe(Attr(P2P_ATTR_CAPABILITY, {0x25, 0}));
    const Bytes p2pB = P2pIe(Attr(P2P_ATTR_DEVICE_ID, {1, 2, 3, 4, 5, 6}));
    const Bytes wpsB = WpsIe(WpsAttr(0x1011, Str("name")));
    ASSERT_TRUE(Check(Cat({Ie(0, Str("DIRECT-")), kOfdmRates, kWps, p2pA, wpsB, p2pB})));
    EXPECT_EQ(ssidLen_, 7);
    EXPECT_EQ(Bytes(p2p_.begin(), p2p_.begin() + p2pLen_),
              Cat({Bytes(p2pA.begin() + 2, p2pA.end()), Bytes(p2pB.begin() + 6, p2pB.end())}));
    EXPECT_EQ(Bytes(wps_.begin(), wps_.begin() + wpsLen_), Cat({kWps, Bytes(wpsB.begin() + 6, wpsB.end())}));
}

TEST_F(ProbeSanityTest, CollectionsStopAtTheirBuffers)
{
    // 12 WPS elements of 255 bytes and 12 P2P elements: more than 1024 and 2048 bytes.
    Bytes body = Cat({Ie(0, Str("DIRECT-")), kOfdmRates});
    for (int i = 0; i < 12; ++i) {
        body = Cat({body, Ie(221, Cat({{0x00, 0x50, 0xF2, 0x04}, Bytes(251, 0x10)})),
                    Ie(221, Cat({{0x50, 0x6F, 0x9A, 0x09}, Bytes(251, 0x20)}))});
    }
    ASSERT_TRUE(Check(body));
    EXPECT_LE(wpsLen_, ULONG(P2P_PROBE_WPS_BUFFER_SIZE));
    EXPECT_LE(p2pLen_, ULONG(P2P_PROBE_P2P_BUFFER_SIZE));
    EXPECT_EQ(wpsLen_, 257u + 3 * 251u);
    EXPECT_EQ(p2pLen_, 255u + 7 * 251u);
}

TEST_F(ProbeSanityTest, CertificationGroupOwnerDoesNotAnswer)
{
    const Bytes body = Cat({Ie(0, Str("DIRECT-")), kOfdmRates, kP2p});
    dev_->P2pRole = P2P_ROLE_GROUP_OWNER;
    EXPECT_TRUE(Check(body));
    adapter_->RegistryBlock.CertReg = 1;
    EXPECT_FALSE(Check(body));
    dev_->P2pRole = P2P_ROLE_CLIENT;
    EXPECT_TRUE(Check(body));
}

TEST_F(ProbeSanityTest, FrameShorterThanAHeader)
{
    UCHAR frame[20] = {};
    ULONG p2pLen = 9;
    ULONG wpsLen = 9;
    UCHAR ssidLen = 9;
    UCHAR tx[6];
    UCHAR ssid[32];
    UCHAR p2p[8];
    UCHAR wps[8];
    EXPECT_FALSE(PeerP2pProbeReqSanity(A(), dev_, frame, sizeof(frame), tx, ssid, &ssidLen, &p2pLen, p2p, &wpsLen, wps));
    EXPECT_EQ(p2pLen + wpsLen + ssidLen, 0u);
}

}  // namespace
}  // namespace p2pie
