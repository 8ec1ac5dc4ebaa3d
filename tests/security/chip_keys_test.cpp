// Keys the driver installs, used by the simulated chip on the air, on both generations: the pairwise
// key goes through the driver's key command to the firmware (which answers the add), the data the OS
// sends leaves the chip protected and opens with that key and no other; protected frames heard from
// the access point reach the OS once, a replayed packet number does not.
//
// The link is up as the data path tests set it (traffic_support.h), with the port's transmit key
// state set as a secured link-up leaves it (the key installer does not set it yet).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Common/mlme/mlmeinfo.h"
#include "air/ap_rsn_cipher.h"
#include "datapath/traffic_support.h"
#include "platform/wificx/wificxtx_types.h"
#include "support/eventually.h"

namespace security {
namespace {

namespace rsn = sim::air::rsn;
using sim::air::Bytes;

const Bytes kTk = {0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87, 0x98, 0xA9, 0xBA, 0xCB, 0xDC, 0xED, 0xFE, 0x0F};

// A device on the air of an open access point that echoes nothing; a station of the test sends its
// frames as the access point would.
class ChipKeys : public traffic::TrafficTest {
protected:
    class Sender : public sim::air::Party {
    public:
        bool Hears(sim::air::Channel, int64_t) const override { return false; }
        void Receive(const Bytes&, const sim::air::Reception&) override {}
    };

    void SetUp() override
    {
        traffic::TrafficTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_NO_FATAL_FAILURE(JoinWorld(false));
        world_->Air().Join(&sender_);
        OpenQueues();
    }
    void TearDown() override
    {
        if (world_) {
            world_->Air().Leave(&sender_);
        }
        traffic::TrafficTest::TearDown();
    }

    // The driver's installer, as the key property calls it: the pairwise add waits for the firmware's
    // answer, which the test's ring service delivers.
    void InstallPairwise()
    {
        // The BSS activation of the link-up binds the port to its BSS index.
        port_->BssIndex = 0;
        Adapter()->BssIndexSlots[port_->BssIndex].InUse = 1;
        Adapter()->BssIndexSlots[port_->BssIndex].Port = port_;
        KEY_PARAMS p{};
        p.KeyLength = 16;
        std::copy(kTk.begin(), kTk.end(), p.u.Key);
        std::atomic<bool> done{false};
        NTSTATUS status = STATUS_UNSUCCESSFUL;
        std::thread installer([&] {
            status = MlmeInfoAddKey(Adapter(), port_, traffic::kAp, 0, 0x04, sizeof(p), &p, 0, 1);
            done = true;
        });
        // The answer comes once the test serves the rings after the command went out.
        const bool answered = qzl_test::Eventually([&] {
            Pump();
            return done.load();
        });
        if (!answered) {
            kshim::host::ClockAdvanceMs(10000);  // the driver's waits end
        }
        installer.join();
        ASSERT_TRUE(answered);
        ASSERT_EQ(status, STATUS_SUCCESS);
        // What a secured link-up leaves in the transmit state.
        port_->CipherSetting = DOT11_CIPHER_CCMP;
        port_->Xmit.PairwiseSuite = DOT11_CIPHER_CCMP;
        port_->Xmit.GroupSuite = DOT11_CIPHER_CCMP;
        port_->Xmit.KeyValid[0] = 1;
        port_->PortKeyCipher[0] = 4;
    }

    // The access point sends a data frame protected with packet number `pn`.
    void FromAp(uint32_t n, uint64_t pn)
    {
        const Bytes f = *rsn::Protect(rsn::Cipher::Ccmp128, kTk, 0, pn, DownFrame(port_->MacAddress, static_cast<uint16_t>(n), 0, n));
        world_->Air().Transmit(&sender_, sim::air::Channel{sim::air::Band::B2G4, 1}, kshim::host::ClockNow(), f);
        // The frame reaches the frame ring at its time on the air.
        kshim::host::ClockAdvanceMs(1);
        ASSERT_TRUE(qzl_test::Settle());
        Pump();
    }

    Sender sender_;
};

TEST_P(ChipKeys, TheChipProtectsTheOsDataWithTheKeyTheDriverInstalled)
{
    ASSERT_NO_FATAL_FAILURE(InstallPairwise());
    const auto keys = firmware_->Ram().Cipher().Keys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].command.cipher, 4);
    EXPECT_EQ(keys[0].command.key, kTk);
    EXPECT_EQ(keys[0].command.wlanIndex, ownIndex_);

    std::vector<kshim::host::TxFrame> frames;
    for (uint32_t n = 1; n <= 3; ++n) {
        frames.push_back(Frame(n, 100));
    }
    ASSERT_EQ(Send(frames).size(), frames.size());
    std::vector<sim::fw::SentDataFrame> air = TakeAir();
    ASSERT_EQ(air.size(), frames.size());
    for (size_t i = 0; i < air.size(); ++i) {
        SCOPED_TRACE(i);
        const auto open = rsn::Unprotect(rsn::Cipher::Ccmp128, kTk, air[i].bytes);
        ASSERT_TRUE(open.has_value());
        EXPECT_EQ(open->pn, i + 1);
        const size_t h = rsn::MacHeaderLength(open->frame);
        EXPECT_EQ(Bytes(open->frame.begin() + static_cast<long>(h), open->frame.end()),
                  Bytes(frames[i].bytes.begin() + 24, frames[i].bytes.end()));
        Bytes wrong = kTk;
        wrong[15] ^= 0x01;
        EXPECT_FALSE(rsn::Unprotect(rsn::Cipher::Ccmp128, wrong, air[i].bytes).has_value());
    }
    EXPECT_EQ(firmware_->Ram().Cipher().Record().protectedOut, frames.size());
}

TEST_P(ChipKeys, ProtectedFramesFromTheAccessPointReachTheOsOnceAndAReplayNever)
{
    ASSERT_NO_FATAL_FAILURE(InstallPairwise());
    ASSERT_NO_FATAL_FAILURE(FromAp(1, 1));
    ASSERT_NO_FATAL_FAILURE(FromAp(2, 2));
    ASSERT_NO_FATAL_FAILURE(FromAp(3, 2));  // packet number 2 again
    ASSERT_NO_FATAL_FAILURE(FromAp(4, 3));
    EXPECT_EQ(Received(), (std::vector<uint32_t>{1, 2, 4}));
    const sim::fw::FrameCipherRecord r = firmware_->Ram().Cipher().Record();
    EXPECT_EQ(r.decrypted, 3u);
    EXPECT_EQ(r.replays, 1u);
}

INSTANTIATE_TEST_SUITE_P(BothGenerations, ChipKeys, ::testing::Values(USHORT{0x3502}, USHORT{0x3602}));

}  // namespace
}  // namespace security
