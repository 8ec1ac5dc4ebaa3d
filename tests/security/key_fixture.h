// The key tests' fixture: a station port with its access point's entry and the group entry, on either
// chip generation, the firmware answering key adds; the key payloads the firmware received.
#pragma once

#include <cstring>

#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "fw/unified_events.h"
#include "fwcmds/fwcmds_fixture.h"

namespace sectest {

using fwcmdstest::Bytes;
using fwcmdstest::kSecondGen;
using fwcmdstest::kThirdGen;

inline constexpr UCHAR kAp[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
inline constexpr UCHAR kZero[6] = {};

class KeyTest : public fwcmdstest::FwCmdsTest, public ::testing::WithParamInterface<USHORT> {
protected:
    void SetUp() override
    {
        fwcmdstest::FwCmdsTest::SetUp();
        SetUpChip(GetParam());
        ASSERT_EQ(MlmeSyncInitMacTabPool(adapter_.get()), STATUS_SUCCESS);
        ASSERT_EQ(MlmeSyncInitMacTab(port0_, 1), STATUS_SUCCESS);
        ap_ = MlmeSyncMacTabMatchedRoleType(port0_, 1);
        ASSERT_NE(ap_, nullptr);
        std::memcpy(ap_->Addr, kAp, 6);
        std::memcpy(port0_->Bssid, kAp, 6);
        group_ = MlmeSyncMacTabMatchedRoleType(port0_, 0);
        ASSERT_NE(group_, nullptr);
    }

    // The firmware's add-key-done answer to a key add that waits for it: legacy event 0x24 {BSS index,
    // 0, peer}; unified event 0x12, fixed part {BSS index}, tag 0 with the peer at 4 of its value.
    std::vector<Bytes> ExtraAnswers(const Bytes& command, bool unified) override
    {
        if (unified) {
            auto c = sim::fw::DecodeUnifiedCommand(command.data(), command.size());
            const sim::fw::UniTlv* key = c ? c->Find(0x27) : nullptr;
            if (key == nullptr || key->value.size() < 64 || key->value[0] != 1 || key->value[1] != 1) {
                return {};
            }
            Bytes tlv(12, 0);
            std::copy(key->value.begin() + 4, key->value.begin() + 10, tlv.begin());
            return {sim::fw::EncodeUnifiedEvent(0x12, c->seq, {key->value[10], 0, 0, 0}, {{0, tlv}})};
        }
        auto c = sim::fw::DecodeLegacyCommand(generation_, command.data(), command.size());
        if (!c || c->cmdId != 0x07 || c->payload.size() < 64 || c->payload[0] != 1 || c->payload[1] != 1) {
            return {};
        }
        sim::fw::EventHeader header;
        header.id = 0x24;
        header.seq = c->seq;
        Bytes body = {c->payload[10], 0};
        body.insert(body.end(), c->payload.begin() + 4, c->payload.begin() + 10);
        return {sim::fw::EncodeRamEvent(generation_, header, body)};
    }

    // The 64-byte key payloads the firmware received, in order, in either format.
    std::vector<Bytes> KeyPayloads()
    {
        std::vector<Bytes> out;
        if (GetParam() == kThirdGen) {
            for (const auto& c : Unified()) {
                if (const auto* tlv = c.Find(0x27)) {
                    out.push_back(tlv->value);
                }
            }
        } else {
            for (const auto& c : Legacy()) {
                if (c.cmdId == 0x07) {
                    out.push_back(c.payload);
                }
            }
        }
        return out;
    }

    static KEY_PARAMS Params(ULONG length, UCHAR first)
    {
        KEY_PARAMS p{};
        p.Pn[0] = 0x21;
        p.KeyLength = length;
        for (ULONG i = 0; i < sizeof(p.u.Key); ++i) {
            p.u.Key[i] = static_cast<UCHAR>(first + i);
        }
        return p;
    }

    PMAC_TABLE_ENTRY ap_ = nullptr;
    PMAC_TABLE_ENTRY group_ = nullptr;
};

// The key payload the key command carries: add, pairwise twice, peer (the port's BSSID for a group
// key), BSS, firmware cipher, index, length, usage (the entry's WLAN index), then the key bytes at 16.
inline void ExpectHead(const Bytes& p, UCHAR add, UCHAR pairwise, const UCHAR* peer, UCHAR cipher, UCHAR index, UCHAR length,
                UCHAR usage)
{
    ASSERT_GE(p.size(), 64u);
    EXPECT_EQ(p[0], add);
    EXPECT_EQ(p[1], pairwise);
    EXPECT_EQ(p[2], pairwise);
    EXPECT_EQ(Bytes(p.begin() + 4, p.begin() + 10), Bytes(peer, peer + 6));
    EXPECT_EQ(p[10], 0) << "BSS index";
    EXPECT_EQ(p[11], cipher);
    EXPECT_EQ(p[12], index);
    EXPECT_EQ(p[13], length);
    EXPECT_EQ(p[14], usage);
}

}  // namespace sectest
