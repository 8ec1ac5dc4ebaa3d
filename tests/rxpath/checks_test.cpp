// The receive checks on parsed records built the way the chip writes them: the older chip's
// descriptor-error matrix with its statistics, the duplicate history, the packet-number rule, the
// privacy exemption list and the A-MSDU subframe rule.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Common/recv.h"
#include "chip/rx_build.h"
#include "frames.h"
#include "hal/common/hal_desc.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq_rx.h"

namespace {

using sim::chip::BuildRxFrame;
using sim::chip::RxdFields;
using sim::chip::RxdGeneration;

using rxtest::Frame;
using rxtest::kOther;
constexpr const uint8_t* kOwn = rxtest::kOwn0;
constexpr const uint8_t* kAp = rxtest::kAp0;

class Checks : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        adapter_ = std::make_unique<MP_ADAPTER>();
        adapter_->HalInfo.ChipCode = 0x3404;
        port_ = std::make_unique<MP_PORT>();
        port_->Adapter = adapter_.get();
        std::memcpy(port_->MacAddress, kOwn, 6);
        std::memcpy(port_->Bssid, kAp, 6);
    }
    // A record parsed from the buffer the chip would write.
    PRX_DMAQ_DESC Parse(USHORT chip, const RxdFields& fields, const std::vector<uint8_t>& frame)
    {
        adapter_->HalInfo.ChipCode = chip;
        const RxdGeneration gen = chip == 0x3404 ? RxdGeneration::Older
                                  : chip == 0x3502 ? RxdGeneration::Second
                                                   : RxdGeneration::Third;
        buffer_ = BuildRxFrame(gen, fields, frame);
        buffer_.resize(4096);
        record_ = RX_DMAQ_DESC{};
        record_.PoolIndex = 0;
        record_.BufferSize = 4096;
        record_.BufferVa = buffer_.data();
        record_.ReceivedLength = static_cast<ULONG>(buffer_[0] | (buffer_[1] << 8));
        EXPECT_TRUE(HalRxdParse(adapter_.get(), &record_, HalDescGeneration(adapter_.get())));
        return &record_;
    }
    ULONG64 Mac(ULONG block, ULONG counter) const { return port_->MacFrameStats[block][counter]; }
    ULONG64 Phy(ULONG counter) const { return port_->PhyFrameStats[0][counter]; }

    std::unique_ptr<MP_ADAPTER> adapter_;
    std::unique_ptr<MP_PORT> port_;
    std::vector<uint8_t> buffer_;
    RX_DMAQ_DESC record_{};
};

// ---- the older chip's descriptor errors ----------------------------------------------------------------
struct ErrorCase {
    const char* name;
    uint32_t errors;      // DW2 bits 17-25
    bool protectedFrame;
    ULONG portCipher;
    UCHAR keyCipher;      // of key 0
    const UCHAR* address3;
    NTSTATUS verdict;
    std::vector<std::pair<ULONG, ULONG64>> unicastCounters;  // {MAC counter, value}
    ULONG64 fcsErrors;
};

class OlderErrors : public Checks, public ::testing::WithParamInterface<ErrorCase> {};

constexpr uint32_t kFcs = 1u << 17, kMismatch = 1u << 18, kLength = 1u << 19, kIcv = 1u << 20, kMic = 1u << 21;
constexpr NTSTATUS kDrop = static_cast<NTSTATUS>(0xC0000001L);

INSTANTIATE_TEST_SUITE_P(
    Matrix, OlderErrors,
    ::testing::Values(
        ErrorCase{"clean", 0, false, 0, 0, kAp, 0, {{MAC_STAT_DECRYPT_SUCCESS, 1}, {MAC_STAT_RECEIVED_FRAMES, 1}}, 0},
        ErrorCase{"lengthMismatchUnprotected", kLength, false, 0, 0, kAp, 0,
                  {{MAC_STAT_DECRYPT_SUCCESS, 0}, {MAC_STAT_WEP_UNDECRYPTABLE, 0}}, 0},
        ErrorCase{"lengthMismatchProtectedTkip", kLength, true, 2, 3, kAp, kDrop,
                  {{MAC_STAT_WEP_UNDECRYPTABLE, 1}, {MAC_STAT_TKIP_ICV_ERRORS, 0}, {MAC_STAT_DECRYPT_FAILURE, 1}}, 0},
        ErrorCase{"fcs", kFcs, false, 0, 0, kAp, kDrop, {{MAC_STAT_RECEIVED_FRAMES, 1}}, 1},
        ErrorCase{"undecryptable", 1u << 25, true, 4, 4, kAp, kDrop, {{MAC_STAT_WEP_UNDECRYPTABLE, 1}}, 0},
        ErrorCase{"foreignBssPasses", kIcv, true, 4, 4, kOther, 0, {{MAC_STAT_CCMP_DECRYPT_ERRORS, 0}}, 0},
        ErrorCase{"icvOnCcmp", kIcv, true, 4, 4, kAp, kDrop,
                  {{MAC_STAT_CCMP_DECRYPT_ERRORS, 1}, {MAC_STAT_WEP_UNDECRYPTABLE, 1}, {MAC_STAT_RECEIVED_FRAMES, 0}}, 0},
        ErrorCase{"micOnCcmpPort", kMic, true, 4, 4, kAp, kDrop, {{MAC_STAT_TKIP_LOCAL_MIC_FAILURES, 0}}, 0},
        ErrorCase{"micOnTkip", kMic, true, 2, 3, kAp, kDrop, {{MAC_STAT_TKIP_LOCAL_MIC_FAILURES, 1}}, 0},
        ErrorCase{"icvWithoutCipher", kIcv, true, 0, 0, kAp, kDrop, {{MAC_STAT_WEP_UNDECRYPTABLE, 1}}, 0},
        ErrorCase{"icvOnWep", kIcv | kMismatch, true, 1, 1, kAp, kDrop, {{MAC_STAT_WEP_ICV_ERRORS, 1}}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(OlderErrors, VerdictAndCounters)
{
    const ErrorCase& c = GetParam();
    port_->CipherSetting = c.portCipher;
    port_->PortKeyCipher[0] = c.keyCipher;
    RxdFields f;
    f.olderErrors = c.errors;
    f.bssIndex = 0;
    PRX_DMAQ_DESC r = Parse(0x3404, f, Frame(0x08, c.protectedFrame ? 0x40 : 0x00, kOwn, kAp, c.address3, 16));
    EXPECT_EQ(RecvCheckRxError(adapter_.get(), port_.get(), r), c.verdict);
    for (const auto& [counter, value] : c.unicastCounters) {
        EXPECT_EQ(Mac(RX_MAC_STATS_UNICAST, counter), value) << "counter " << counter;
    }
    EXPECT_EQ(Phy(PHY_STAT_FCS_ERRORS), c.fcsErrors);
    EXPECT_EQ(port_->TkipMicFailureTotal, Mac(RX_MAC_STATS_UNICAST, MAC_STAT_TKIP_LOCAL_MIC_FAILURES));
}

TEST_F(Checks, OlderChipRefusesFramesToTheDistributionSystemOnAStationPort)
{
    PRX_DMAQ_DESC r = Parse(0x3404, RxdFields{}, Frame(0x08, 0x01, kAp, kOther, kAp, 16));
    EXPECT_EQ(RecvCheckRxError(adapter_.get(), port_.get(), r), kDrop);
    port_->OpMode = 2;
    EXPECT_EQ(RecvCheckRxError(adapter_.get(), port_.get(), r), 0);
}

TEST_F(Checks, LaterGenerationsDropOnlyAFrameWithoutHeader)
{
    PRX_DMAQ_DESC r = Parse(0x3602, RxdFields{}, Frame(0x08, 0x40, kOwn, kAp, kAp, 16));
    EXPECT_EQ(Arvel3xRecvCheckRxError(adapter_.get(), port_.get(), r), 0);
    EXPECT_EQ(Phy(PHY_STAT_RECEIVED_FRAMES), 0u);
    r->Frame = nullptr;
    EXPECT_EQ(Arvel3xRecvCheckRxError(adapter_.get(), port_.get(), r), kDrop);
    EXPECT_EQ(Phy(PHY_STAT_RECEIVED_FRAMES), 1u);
    adapter_->HalInfo.ChipCode = 0x3502;
    r = Parse(0x3502, RxdFields{}, Frame(0x08, 0, kOwn, kAp, kAp, 16));
    adapter_->RxTestMode = 1;
    EXPECT_EQ(Qz3501RecvCheckRxError(adapter_.get(), port_.get(), r), 0);
    EXPECT_EQ(Phy(PHY_STAT_RECEIVED_FRAMES), 2u);
}

// ---- duplicates ---------------------------------------------------------------------------------------------
TEST_F(Checks, DuplicateHistoryKeepsTheLastEightNumbersPerRow)
{
    // Sequence 0 is not taken for a number seen before: the history starts empty.
    EXPECT_FALSE(RecvDupHistorySeen(adapter_.get(), 3, 8, 0));
    EXPECT_TRUE(RecvDupHistorySeen(adapter_.get(), 3, 8, 0));
    // Another row and another sender have their own history.
    EXPECT_FALSE(RecvDupHistorySeen(adapter_.get(), 3, 0, 0));
    EXPECT_FALSE(RecvDupHistorySeen(adapter_.get(), 4, 8, 0));
    for (USHORT s = 1; s <= 8; ++s) {
        EXPECT_FALSE(RecvDupHistorySeen(adapter_.get(), 3, 8, s));
    }
    // Eight newer numbers pushed 0 out.
    EXPECT_FALSE(RecvDupHistorySeen(adapter_.get(), 3, 8, 0));
    EXPECT_TRUE(RecvDupHistorySeen(adapter_.get(), 3, 8, 8));
    EXPECT_FALSE(RecvDupHistorySeen(adapter_.get(), 20, 8, 8)) << "WLAN index 20 names no station";
}

TEST_F(Checks, DuplicateCheckContinuesWithoutAStationEntry)
{
    port_->Cfg.RxCheckDupFrame = 1;
    RxdFields f;
    f.wlanIndex = 2;
    PRX_DMAQ_DESC r = Parse(0x3602, f, Frame(0x08, 0, kOwn, kAp, kAp, 16, 77));
    EXPECT_EQ(Arvel3xRecvCheckDuplicatePkt(adapter_.get(), port_.get(), r->Descriptor, r->Frame, r), 0u);
    EXPECT_EQ(Arvel3xRecvCheckDuplicatePkt(adapter_.get(), port_.get(), r->Descriptor, r->Frame, r), 0u);
}

// ---- packet numbers -----------------------------------------------------------------------------------------
TEST(PacketNumber, NumbersMustClimbExceptForLaterSubframes)
{
    struct Case {
        ULONG64 last, pn;
        UCHAR position;
        bool allowed;
        ULONG64 lastAfter;
    } cases[] = {
        {5, 6, 0, true, 6},          {5, 9, 0, true, 9},         {5, 5, 0, false, 5},
        {5, 5, 3, false, 5},         {5, 5, 1, true, 5},         {5, 5, 2, true, 5},
        {0xFFFFFFFFFFFEull, 0, 0, true, 0},  // the expected number after 0xFFFFFFFFFFFE is 0
        {0xFFFFFFFFFFFDull, 0, 0, false, 0xFFFFFFFFFFFDull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "last " << c.last << " pn " << c.pn << " position " << int(c.position));
        ULONG64 last = c.last;
        EXPECT_EQ(RecvPnAdvance(&last, c.pn, c.position) != FALSE, c.allowed);
        EXPECT_EQ(last, c.lastAfter);
    }
}

TEST_F(Checks, UnprotectedFramesAndUnknownSendersPassThePacketNumberCheck)
{
    port_->AuthMode = 6;
    PRX_DMAQ_DESC r = Parse(0x3502, RxdFields{}, Frame(0x08, 0x00, kOwn, kAp, kAp, 16));
    EXPECT_EQ(Qz3501RecvCheckRxPktPnAllowed(adapter_.get(), port_.get(), r->Frame, r, 0, 0), 1u);
    r = Parse(0x3502, RxdFields{}, Frame(0x08, 0x40, kOwn, kAp, kAp, 16));
    EXPECT_EQ(Qz3501RecvCheckRxPktPnAllowed(adapter_.get(), port_.get(), r->Frame, r, 0, 0), 1u);
}

// ---- exemption list -----------------------------------------------------------------------------------------
struct ExemptionCase {
    const char* name;
    USHORT action, kind;
    bool protectedFrame, group, exclude;
    ULONG verdict;
};

class Exemption : public Checks, public ::testing::WithParamInterface<ExemptionCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cases, Exemption,
    ::testing::Values(ExemptionCase{"dropProtected", 1, 3, true, false, false, RX_EXEMPTION_DROP},
                      ExemptionCase{"passUnprotected", 1, 3, false, false, true, 0},
                      ExemptionCase{"unicastEntryIgnoresGroup", 1, 1, true, true, false, 0},
                      ExemptionCase{"groupEntryTakesGroup", 1, 2, true, true, false, RX_EXEMPTION_DROP},
                      ExemptionCase{"actionTwoPasses", 2, 3, false, false, true, 0},
                      ExemptionCase{"otherActionEndsTheSearch", 7, 3, false, false, true, RX_EXEMPTION_DROP},
                      ExemptionCase{"noEntryExcluded", 1, 2, false, false, true, RX_EXEMPTION_DROP},
                      ExemptionCase{"protectedNotExcluded", 1, 2, true, false, true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(Exemption, EntryActionsAndTheExcludeRule)
{
    const ExemptionCase& c = GetParam();
    // One entry for ethertype 0x888E as stored in the frame (88 8E).
    UCHAR list[4 + 6] = {1, 0, 0, 0, 0x88, 0x8E, static_cast<UCHAR>(c.action), 0, static_cast<UCHAR>(c.kind), 0};
    port_->PrivacyExemptionList.Buffer = list;
    port_->PrivacyExemptionList.Size = sizeof(list);
    port_->ExcludeUnencrypted = c.exclude ? 1 : 0;
    std::vector<uint8_t> f = Frame(0x08, c.protectedFrame ? 0x40 : 0, c.group ? rxtest::kBroadcast : kOwn, kAp, kAp, 16);
    const UCHAR llc[8] = {0xAA, 0xAA, 0x03, 0, 0, 0, 0x88, 0x8E};
    std::memcpy(&f[24], llc, 8);
    EXPECT_EQ(RecvCheckExemptionList(adapter_.get(), port_.get(), f.data(), static_cast<ULONG>(f.size()), 0), c.verdict);
    EXPECT_EQ(port_->ExcludedUnicast + port_->ExcludedGroup, c.verdict != 0 && c.exclude ? 1u : 0u);
    port_->PrivacyExemptionList.Buffer = nullptr;
}

TEST_F(Checks, ExemptionListReadsNoEthertypeBeyondTheFrame)
{
    UCHAR list[4 + 6] = {1, 0, 0, 0, 0x00, 0x00, 1, 0, 3, 0};
    port_->PrivacyExemptionList.Buffer = list;
    port_->PrivacyExemptionList.Size = sizeof(list);
    // 30 bytes: bytes 30-31 (the ethertype) are not part of the frame; its zeros past the end must
    // not match the entry for ethertype 0.
    std::vector<uint8_t> f = Frame(0x08, 0x40, kOwn, kAp, kAp, 6);
    EXPECT_EQ(RecvCheckExemptionList(adapter_.get(), port_.get(), f.data(), 30, 0), 0u);
    // Fragments are not excluded.
    port_->ExcludeUnencrypted = 1;
    f = Frame(0x08, 0x04, kOwn, kAp, kAp, 16);
    EXPECT_EQ(RecvCheckExemptionList(adapter_.get(), port_.get(), f.data(), 40, 0), 0u);
    port_->PrivacyExemptionList.Buffer = nullptr;
}

// ---- A-MSDU subframes ---------------------------------------------------------------------------------------
TEST_F(Checks, AForgedFirstSubframeCondemnsItsAmsduOnly)
{
    auto sub = [&](UCHAR position, uint16_t sequence, const UCHAR* innerDestination) {
        RxdFields f;
        f.wlanIndex = 1;
        f.tid = 5;
        f.amsduPosition = position;
        // QoS data from the distribution system: QoS control (A-MSDU bit), then the subframe header.
        std::vector<uint8_t> frame = Frame(0x88, 0x02, kOwn, kAp, kOther, 40, sequence);
        frame[24] = 0x85;
        std::memcpy(&frame[26], innerDestination, 6);
        return Parse(0x3602, f, frame);
    };
    EXPECT_EQ(RecvAmsduSubframeCheck(adapter_.get(), port_.get(), sub(3, 10, kOther), 2), 1u);
    EXPECT_EQ(RecvAmsduSubframeCheck(adapter_.get(), port_.get(), sub(2, 10, kOwn), 2), 1u);
    EXPECT_EQ(RecvAmsduSubframeCheck(adapter_.get(), port_.get(), sub(1, 10, kOwn), 2), 1u);
    // The next A-MSDU of the TID is checked afresh.
    EXPECT_EQ(RecvAmsduSubframeCheck(adapter_.get(), port_.get(), sub(3, 11, kOwn), 2), 0u);
    EXPECT_EQ(RecvAmsduSubframeCheck(adapter_.get(), port_.get(), sub(1, 11, kOwn), 2), 0u);
    // An announced A-MSDU without a position is an attack.
    EXPECT_EQ(RecvAmsduSubframeCheck(adapter_.get(), port_.get(), sub(0, 12, kOwn), 2), 1u);
}

TEST_F(Checks, InvalidEapolDropsFramesOfUnknownSenders)
{
    PRX_DMAQ_DESC r = Parse(0x3502, RxdFields{}, Frame(0x08, 0x00, kOwn, kAp, kAp, 16));
    EXPECT_EQ(Qz3501DetectRxInvalidEAPOL(adapter_.get(), nullptr, r, r->Frame + 24), 0u);
    EXPECT_EQ(Qz3501DetectRxInvalidEAPOL(adapter_.get(), port_.get(), r, r->Frame + 24), 1u);
}

}  // namespace
