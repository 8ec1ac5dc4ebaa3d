// Cipher keys of a station port: what the key installer keeps and what the key command carries to the
// firmware, byte for byte, on the second generation (legacy command 0x07) and the third (the same 64
// bytes inside the unified station-record tag 0x27).
#include <cstring>

#include "security/key_fixture.h"
#include "Common/mlmeinfo_recv.h"
#include "platform/ndiscommon/ndiscommonhif_services.h"

namespace sectest {
namespace {

TEST_P(KeyTest, PairwiseAndGroupCcmpKeysReachTheFirmwareWithTheirBytes)
{
    const KEY_PARAMS pairwise = Params(16, 0xA0);
    ASSERT_EQ(MlmeInfoAddKey(adapter_.get(), port0_, kAp, 0, 0x04, 48, &pairwise, 0, 1), STATUS_SUCCESS);
    const KEY_PARAMS group = Params(16, 0x10);
    ASSERT_EQ(MlmeInfoAddKey(adapter_.get(), port0_, kZero, 1, 0x04, 48, &group, 0, 0), STATUS_SUCCESS);
    const auto sent = KeyPayloads();
    ASSERT_EQ(sent.size(), 2u);
    ExpectHead(sent[0], 1, 1, kAp, 4, 0, 16, ap_->WlanIdx);
    ExpectHead(sent[1], 1, 0, kAp, 4, 1, 16, group_->WlanIdx);
    for (ULONG i = 0; i < 16; ++i) {
        EXPECT_EQ(sent[0][16 + i], 0xA0 + i);
        EXPECT_EQ(sent[1][16 + i], 0x10 + i);
    }
    EXPECT_EQ(Bytes(sent[0].begin() + 32, sent[0].end()), Bytes(32, 0));
    // The records: slot 0 pairwise, slot 1 group, the peer's own record, the station secured.
    EXPECT_EQ(port0_->Keys.SharedKey.Slot[0].KeyKind, 1);
    EXPECT_EQ(port0_->Keys.SharedKey.Slot[1].KeyKind, 2);
    EXPECT_EQ(port0_->Keys.SharedKey.Slot[0].TxTsc, 1u);
    EXPECT_EQ(ap_->PairwiseKey.CipherAlg, 4);
    EXPECT_EQ(ap_->PairwiseKey.KeyLen, 16);
    EXPECT_EQ(ap_->OsCipher, 0x04u);
    EXPECT_EQ(adapter_->Mlme.Conn.PortSecured, 1);
    EXPECT_EQ(adapter_->StaKeyState, 1);
    EXPECT_EQ(MlmeInfoFindKeyMappingKey(adapter_.get(), port0_, kAp), 1u);
}

TEST_P(KeyTest, TkipCarriesKeyLengthPlusSixteenAndBothMicKeys)
{
    KEY_PARAMS p{};
    p.KeyLength = 16;
    p.u.Tkip.MicKeyLength = 16;
    std::memset(p.u.Tkip.Key, 0x33, 16);
    std::memset(p.u.Tkip.TxMic, 0x44, 8);
    std::memset(p.u.Tkip.RxMic, 0x55, 8);
    ASSERT_EQ(MlmeInfoAddKey(adapter_.get(), port0_, kZero, 2, 0x02, 48, &p, 0, 0), STATUS_SUCCESS);
    const auto sent = KeyPayloads();
    ASSERT_EQ(sent.size(), 1u);
    ExpectHead(sent[0], 1, 0, kAp, 2, 2, 32, group_->WlanIdx);
    EXPECT_EQ(Bytes(sent[0].begin() + 16, sent[0].begin() + 32), Bytes(16, 0x33));
    EXPECT_EQ(Bytes(sent[0].begin() + 32, sent[0].begin() + 40), Bytes(8, 0x44));
    EXPECT_EQ(Bytes(sent[0].begin() + 40, sent[0].begin() + 48), Bytes(8, 0x55));
    // A MIC key length other than 16 is refused and nothing is sent.
    ClearSent();
    p.u.Tkip.MicKeyLength = 8;
    EXPECT_EQ(MlmeInfoAddKey(adapter_.get(), port0_, kZero, 2, 0x02, 48, &p, 0, 0), static_cast<NTSTATUS>(0xC0010015));
    EXPECT_TRUE(KeyPayloads().empty());
}

TEST_P(KeyTest, Gcmp256SendsAllThirtyTwoKeyBytes)
{
    const KEY_PARAMS p = Params(32, 0x80);
    ASSERT_EQ(MlmeInfoAddKey(adapter_.get(), port0_, kZero, 1, 0x09, 48, &p, 0, 0), STATUS_SUCCESS);
    const auto sent = KeyPayloads();
    ASSERT_EQ(sent.size(), 1u);
    ExpectHead(sent[0], 1, 0, kAp, 12, 1, 32, group_->WlanIdx);
    for (ULONG i = 0; i < 32; ++i) {
        EXPECT_EQ(sent[0][16 + i], 0x80 + i) << i;
    }
}

TEST_P(KeyTest, LengthsTheCipherDoesNotAcceptAreRefusedWithoutACommand)
{
    struct Case {
        ULONG cipher;
        ULONG keyIndex;
        ULONG length;  // the KEY_PARAMS key length, or the WEP key length
        UCHAR remove;
        NTSTATUS status;
        size_t commands;
    } cases[] = {
        {0x04, 1, 15, 0, static_cast<NTSTATUS>(0xC0010015), 0},  // CCMP not 16
        {0x04, 1, 15, 1, STATUS_SUCCESS, 1},                     // removal: any length, length 0 kept
        {0x09, 1, 16, 0, static_cast<NTSTATUS>(0xC0010015), 0},  // GCMP-256 not 32
        {0x06, 4, 32, 0, static_cast<NTSTATUS>(0xC0010015), 0},  // BIP not 16
        {0x01, 0, 13, 0, static_cast<NTSTATUS>(0xC0010015), 0},  // WEP-40 of 13 bytes
        {0x05, 0, 5, 0, static_cast<NTSTATUS>(0xC0010015), 0},   // WEP-104 of 5 bytes
        {0x101, 0, 7, 0, static_cast<NTSTATUS>(0xC0010015), 0},  // WEP of 7 bytes
        {0x04, 4, 15, 0, static_cast<NTSTATUS>(0xC0010015), 0},  // integrity index, CCMP not 16
    };
    for (const Case& c : cases) {
        ClearSent();
        KEY_PARAMS p = Params(c.length, 1);
        const bool wep = c.cipher == 0x01 || c.cipher == 0x05 || c.cipher == 0x101;
        EXPECT_EQ(MlmeInfoAddKey(adapter_.get(), port0_, kZero, c.keyIndex, c.cipher, wep ? c.length : 48,
                                 wep ? static_cast<const void*>(p.u.Key) : &p, c.remove, 0),
                  c.status)
            << std::hex << c.cipher << " " << c.length;
        EXPECT_EQ(KeyPayloads().size(), c.commands) << std::hex << c.cipher;
    }
    EXPECT_EQ(port0_->Keys.SharedKey.Slot[1].KeyLen, 0) << "a removal stores key length 0";
}

TEST_P(KeyTest, BipKeyOfIndexOneIsKeptUnderIndexFourAndSentOnAProtectedLink)
{
    adapter_->Mlme.Conn.OwnRsnCapabilities = 0x80;
    port0_->Mlme.Conn.ApRsnCapabilities = 0x80;
    port0_->Mlme.UnicastCipher = 0x04;
    const KEY_PARAMS p = Params(16, 0x60);
    ASSERT_EQ(MlmeInfoAddKey(adapter_.get(), port0_, kZero, 1, 0x06, 28, &p, 0, 0), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->Keys.Bip.KeyId, 4);
    EXPECT_EQ(adapter_->Keys.Bip.Key[0][0], 0x60);
    EXPECT_EQ(adapter_->Keys.Bip.Ipn[0][0], 0x21);
    const auto sent = KeyPayloads();
    ASSERT_EQ(sent.size(), 1u);
    ExpectHead(sent[0], 1, 0, kAp, 6, 4, 16, group_->WlanIdx);
    // Without MFPC on both sides the integrity key stays in the driver.
    ClearSent();
    port0_->Mlme.Conn.ApRsnCapabilities = 0;
    ASSERT_EQ(MlmeInfoAddKey(adapter_.get(), port0_, kZero, 5, 0x06, 28, &p, 0, 0), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->Keys.Bip.KeyId, 5);
    EXPECT_TRUE(KeyPayloads().empty());
}

TEST_P(KeyTest, StaticWepKeyIsSentPairwiseAndGroupUntilTheReceivePathSawItKeyMapping)
{
    const UCHAR wep[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(MlmeInfoAddKey(adapter_.get(), port0_, kZero, 0, 0x101, 5, wep, 0, 0), STATUS_SUCCESS);
    auto sent = KeyPayloads();
    ASSERT_EQ(sent.size(), 2u);
    ExpectHead(sent[0], 1, 1, kAp, 1, 0, 5, ap_->WlanIdx);
    ExpectHead(sent[1], 1, 0, kAp, 1, 0, 5, group_->WlanIdx);
    EXPECT_EQ(Bytes(sent[0].begin() + 16, sent[0].begin() + 21), Bytes(wep, wep + 5));
    ClearSent();
    port0_->Keys.SharedKey.Slot[0].KeyMappingUse = 1;
    const UCHAR wep104[13] = {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    ASSERT_EQ(MlmeInfoAddKey(adapter_.get(), port0_, kZero, 0, 0x05, 13, wep104, 0, 0), STATUS_SUCCESS);
    sent = KeyPayloads();
    ASSERT_EQ(sent.size(), 1u);
    ExpectHead(sent[0], 1, 1, kAp, 5, 0, 13, ap_->WlanIdx);
}

TEST_P(KeyTest, AnUnknownCipherIsSentAsCipherZeroWithoutKeyBytes)
{
    const UCHAR raw[16] = {0xEE, 0xEE, 0xEE, 0xEE};
    ASSERT_EQ(MlmeInfoAddKey(adapter_.get(), port0_, kZero, 3, 0x80000000u, 16, raw, 0, 0), STATUS_SUCCESS);
    EXPECT_EQ(port0_->Keys.SharedKey.Slot[3].CipherAlg, 0);
    const auto sent = KeyPayloads();
    ASSERT_EQ(sent.size(), 1u);
    ExpectHead(sent[0], 1, 0, kAp, 0, 3, 0, group_->WlanIdx);
    EXPECT_EQ(Bytes(sent[0].begin() + 16, sent[0].end()), Bytes(48, 0));
}

TEST_P(KeyTest, RemovingEveryKeySendsRemovalsAndClearsTheSlotsAndTheBipCopy)
{
    const KEY_PARAMS pairwise = Params(16, 0xA0);
    ASSERT_EQ(MlmeInfoAddKey(adapter_.get(), port0_, kAp, 0, 0x04, 48, &pairwise, 0, 1), STATUS_SUCCESS);
    const KEY_PARAMS group = Params(16, 0x10);
    ASSERT_EQ(MlmeInfoAddKey(adapter_.get(), port0_, kZero, 2, 0x04, 48, &group, 0, 0), STATUS_SUCCESS);
    ASSERT_EQ(MlmeInfoAddKey(adapter_.get(), port0_, kZero, 5, 0x04, 48, &group, 0, 0), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->Keys.Bip.Key[1][0], 0x10);
    ClearSent();
    ASSERT_EQ(MlmeInfoWPARemoveAllKeys(adapter_.get(), port0_), STATUS_SUCCESS);
    const auto sent = KeyPayloads();
    ASSERT_EQ(sent.size(), 2u);
    ExpectHead(sent[0], 0, 1, kAp, 4, 0, 16, ap_->WlanIdx);
    ExpectHead(sent[1], 0, 0, kAp, 4, 2, 16, group_->WlanIdx);
    for (ULONG i = 0; i < 4; ++i) {
        EXPECT_EQ(port0_->Keys.SharedKey.Slot[i].CipherAlg, 0) << i;
        EXPECT_EQ(port0_->Keys.SharedKey.Slot[i].KeyLen, 0) << i;
    }
    EXPECT_EQ(adapter_->Keys.Bip.Key[1][0], 0);
    EXPECT_EQ(MlmeInfoFindKeyMappingKey(adapter_.get(), port0_, kAp), 0u);
}

TEST_P(KeyTest, DefaultKeyIdGoesToTheFirmwareAndTheAdapterKeyIdByte)
{
    port0_->Keys.DefaultKeyId = 2;
    ASSERT_EQ(MlmeInfoStaOidSetWEPDefaultKeyID(port0_), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->Keys.Bip.KeyId, 2);
    if (GetParam() == kSecondGen) {
        const auto sent = Legacy();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].cmdId, 0x08);
        EXPECT_EQ(sent[0].payload, (Bytes{0, 2, ap_->WlanIdx, 1}));
    } else {
        const auto sent = Unified();
        ASSERT_EQ(sent.size(), 1u);
        const auto* tlv = sent[0].Find(0x18);
        ASSERT_NE(tlv, nullptr);
        EXPECT_EQ(tlv->value[0], 2);
        EXPECT_EQ(tlv->value[1], 1);
    }
}

TEST_P(KeyTest, RestoreReinstallsSavedCcmpKeysAndNothingForGcmp)
{
    adapter_->Keys.Saved.Cipher = 0x04;
    adapter_->Keys.Saved.GroupKeyIndex = 2;
    adapter_->Keys.Saved.Pairwise = Params(16, 0x70);
    adapter_->Keys.Saved.Group = Params(16, 0x30);
    ASSERT_EQ(MlmeRestoreKey(adapter_.get(), port0_, ap_), STATUS_SUCCESS);
    auto sent = KeyPayloads();
    ASSERT_EQ(sent.size(), 2u);
    ExpectHead(sent[0], 1, 1, kAp, 4, 0, 16, ap_->WlanIdx);
    ExpectHead(sent[1], 1, 0, kAp, 4, 2, 16, group_->WlanIdx);
    EXPECT_EQ(sent[0][16], 0x70);
    EXPECT_EQ(sent[1][16], 0x30);
    ClearSent();
    adapter_->Keys.Saved.Cipher = 0x09;
    EXPECT_EQ(MlmeRestoreKey(adapter_.get(), port0_, ap_), STATUS_SUCCESS);
    EXPECT_TRUE(KeyPayloads().empty());
}

TEST_P(KeyTest, KeyMappingLookupIgnoresASlotOfLengthZero)
{
    std::memcpy(port0_->Keys.SharedKey.Slot[1].Addr, kAp, 6);
    port0_->Keys.SharedKey.Slot[1].KeyLen = 0;
    EXPECT_EQ(MlmeInfoFindKeyMappingKey(adapter_.get(), port0_, kAp), 0u);
    port0_->Keys.SharedKey.Slot[2] = port0_->Keys.SharedKey.Slot[1];
    port0_->Keys.SharedKey.Slot[2].KeyLen = 16;
    EXPECT_EQ(MlmeInfoFindKeyMappingKey(adapter_.get(), port0_, kAp), 1u);
    EXPECT_EQ(MlmeInfoFindKeyMappingKey(adapter_.get(), port0_, kZero), 0u);
    EXPECT_EQ(MlmeInfoFindKeyMappingKey(adapter_.get(), nullptr, kAp), 0u);
}

INSTANTIATE_TEST_SUITE_P(Generations, KeyTest, ::testing::Values(kSecondGen, kThirdGen),
                         [](const ::testing::TestParamInfo<USHORT>& info) {
                             return info.param == kSecondGen ? "chip3502" : "chip3602";
                         });

}  // namespace
}  // namespace sectest
