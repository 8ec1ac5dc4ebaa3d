// The access point's TWT responder and HE parameter sets as the world file describes them: the answers
// to setup requests (accept, alternate, dictate, reject, none), suspend, resume and teardown of an
// agreement, the frames it drops, and the world-file keys and events with the mistakes they refuse.
#include "air/air_support.h"
#include "air/ap_twt.h"
#include "air/world_file.h"

namespace airtest {
namespace {

using sim::air::ApTwt;
using sim::air::TwtAnswer;
using sim::air::TwtParameters;

const Mac kSta = {0x00, 0x0C, 0x43, 0x35, 0x00, 0x01};

// A requester's setup action body (category 22, action 6, token 9, TWT element of 15 bytes):
// request type = request | command << 1 | implicit | flow << 7 | exponent << 10.
Bytes SetupBody(uint8_t command, uint8_t flow, uint8_t exponent, uint8_t duration, uint64_t twt = 123456789,
            uint8_t control = 0)
{
    const uint16_t type = static_cast<uint16_t>(1 | (command << 1) | (1 << 5) | (flow << 7) | (exponent << 10));
    Bytes b{22, 6, 9, 216, 15, control, static_cast<uint8_t>(type), static_cast<uint8_t>(type >> 8)};
    for (int i = 0; i < 8; ++i) {
        b.push_back(static_cast<uint8_t>(twt >> (8 * i)));
    }
    b.push_back(duration);
    b.push_back(0x00);
    b.push_back(0x02);  // mantissa 512
    b.push_back(0);
    return b;
}

TEST(TwtResponder, SetupRequestsAreAnsweredAsTheWorldSays)
{
    struct Row {
        TwtAnswer mode;
        std::vector<uint8_t> answers;  // setup commands answered to: the request, then the request with the proposal
        size_t agreements;
    };
    const Row rows[] = {
        {TwtAnswer::Accept, {4}, 1},
        {TwtAnswer::Alternate, {5, 4}, 1},
        {TwtAnswer::Dictate, {6, 4}, 1},
        {TwtAnswer::Reject, {7, 7}, 0},
        {TwtAnswer::None, {}, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(sim::air::TwtAnswerText(r.mode));
        ApTwt twt(r.mode);
        std::vector<uint8_t> answered;
        Bytes request = SetupBody(1, 3, 10, 32);
        uint8_t asked = 10;
        for (int round = 0; round < 2 && answered.size() < r.answers.size(); ++round) {
            std::optional<Bytes> a = twt.OnAction(kSta, request.data(), request.size(), 0);
            if (!a) {
                break;
            }
            // The answer: category, action, the request's token, then the element with the request bit clear.
            ASSERT_EQ(a->size(), 3u + 17u);
            EXPECT_EQ(Bytes(a->begin(), a->begin() + 5), (Bytes{22, 6, 9, 216, 15}));
            const uint16_t type = sim::air::Le16(a->data() + 6);
            EXPECT_EQ(type & 1, 0);
            EXPECT_EQ((type >> 7) & 7, 3) << "the flow";
            answered.push_back(static_cast<uint8_t>((type >> 1) & 7));
            const uint8_t exponent = static_cast<uint8_t>((type >> 10) & 0x1F);
            const uint8_t duration = (*a)[16];
            if (answered.back() == 5 || answered.back() == 6) {
                EXPECT_EQ(exponent, 11) << "twice the interval";
                EXPECT_EQ(duration, 64) << "at least 64 x 256 us awake";
            } else {
                EXPECT_EQ(exponent, asked) << "as requested";
            }
            // The requester asks again with the answer's values (suggest).
            request = SetupBody(1, 3, exponent, duration);
            asked = exponent;
        }
        EXPECT_EQ(answered, r.answers);
        EXPECT_EQ(twt.Agreements().size(), r.agreements);
        EXPECT_EQ(twt.Dropped(), 0u);
    }
}

TEST(TwtResponder, SuspendResumeAndTeardownFollowTheRequester)
{
    ApTwt twt(TwtAnswer::Accept);
    for (uint8_t flow : {1, 2}) {
        const Bytes setup = SetupBody(1, flow, 10, 64);
        ASSERT_TRUE(twt.OnAction(kSta, setup.data(), setup.size(), 0));
    }
    const Bytes suspend{22, 11, 1};
    EXPECT_FALSE(twt.OnAction(kSta, suspend.data(), suspend.size(), 0)) << "no answer asked for";
    EXPECT_TRUE(twt.Agreements()[0].suspended);
    const Bytes resume{22, 11, 1 | (3 << 5), 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
    (void)twt.OnAction(kSta, resume.data(), resume.size(), 0);
    EXPECT_FALSE(twt.Agreements()[0].suspended);
    EXPECT_EQ(twt.Agreements()[0].resumeAt, std::optional<uint64_t>(0x1122334455667788ull));
    const Bytes teardown{22, 7, 1};
    (void)twt.OnAction(kSta, teardown.data(), teardown.size(), 0);
    ASSERT_EQ(twt.Agreements().size(), 1u);
    EXPECT_EQ(twt.Agreements()[0].parameters.flowId, 2);
    // Its own teardown of every flow: one frame with Teardown All TWT.
    EXPECT_EQ(twt.Teardown(kSta, std::nullopt), (std::vector<Bytes>{{22, 7, 0x80}}));
    EXPECT_TRUE(twt.Agreements().empty());
    EXPECT_TRUE(twt.Teardown(kSta, 2).empty());
    EXPECT_EQ(twt.Exchanges().size(), 5u);
}

TEST(TwtResponder, FramesThatDoNotHoldTheirFieldsAreDropped)
{
    ApTwt twt(TwtAnswer::Accept);
    Bytes cut = SetupBody(1, 1, 10, 64);
    cut.resize(cut.size() - 1);
    Bytes longer = SetupBody(1, 1, 10, 64);
    longer[4] = 16;  // an element longer than the individual layout
    longer.push_back(0);
    const std::vector<Bytes> frames = {
        cut,
        longer,
        SetupBody(1, 1, 10, 64, 1, 0x01),  // NDP paging
        SetupBody(1, 1, 10, 64, 1, 0x0C),  // broadcast negotiation
        SetupBody(4, 1, 10, 64),           // an accept is no request
        {22, 11, 1 | (3 << 5), 1, 2, 3},  // a next TWT of 8 bytes cut to 3
        {22},
        {22, 99, 0},
    };
    for (const Bytes& f : frames) {
        EXPECT_FALSE(twt.OnAction(kSta, f.data(), f.size(), 0)) << f.size();
    }
    EXPECT_EQ(twt.Dropped(), frames.size());
    EXPECT_TRUE(twt.Agreements().empty());
}

const char kHeAp[] = R"(
[[ap]]
ssid = "Wake"
bssid = "02:00:00:05:24:77"
band = "5"
channel = 36
phy = ["ht", "vht", "he"]
)";

TEST(TwtWorldFile, KeysAndEventsAreReadAndMistakesRefused)
{
    std::string error;
    auto world = sim::air::ParseWorld(std::string(kHeAp) + R"(twt = "dictate"
mu_edca_timer = 8
sr_offset = 20
[[ap.event]]
at_ms = 100
action = "mu_edca"
timer = 16
[[ap.event]]
at_ms = 200
action = "spatial_reuse"
offset = 24
[[ap.event]]
at_ms = 300
action = "twt_teardown"
flow = 3
)",
                                      &error);
    ASSERT_TRUE(world) << error;
    const sim::air::ApConfig& c = world->accessPoints[0];
    EXPECT_EQ(c.twt, TwtAnswer::Dictate);
    EXPECT_EQ(c.muEdcaTimer, std::optional<uint8_t>(8));
    EXPECT_EQ(c.srOffset, std::optional<uint8_t>(20));
    ASSERT_EQ(c.events.size(), 3u);
    EXPECT_EQ(c.events[0].value, 16);
    EXPECT_EQ(c.events[1].value, 24);
    EXPECT_EQ(c.events[2].flow, std::optional<uint8_t>(3));

    const std::string vhtOnly = std::string(kHeAp).replace(std::string(kHeAp).find(", \"he\""), 6, "");
    const struct {
        std::string text;
        const char* why;
    } refused[] = {
        {std::string(kHeAp) + "twt = \"maybe\"\n", "none of none, accept"},
        {vhtOnly + "twt = \"accept\"\n", "need HE"},
        {vhtOnly + "sr_offset = 4\n", "need HE"},
        {std::string(kHeAp) + "[[ap.event]]\nat_ms = 1\naction = \"mu_edca\"\n", "\"timer\" is missing"},
        {std::string(kHeAp) + "[[ap.event]]\nat_ms = 1\naction = \"twt_teardown\"\nflow = 8\n", "outside 0..7"},
    };
    for (const auto& r : refused) {
        error.clear();
        EXPECT_FALSE(sim::air::ParseWorld(r.text, &error)) << r.text;
        EXPECT_NE(error.find(r.why), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace airtest
