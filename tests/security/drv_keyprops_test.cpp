// The cipher key properties: the OS's key TLVs parsed, each key turned into key material and installed,
// observed as the key payload the firmware received; the saved copies; the default key id.
#include <cstring>
#include <vector>

#include "Common/p2p/p2p.h"
#include "kshim/host/wifi.h"
#include "kshim/wditlv.h"
#include "platform/wdi/wdiproperty.h"
#include "security/key_fixture.h"

namespace sectest {
namespace {

// One key of an add-keys request.
struct KeySpec {
    ULONG cipher;
    ULONG keyType;  // 1 pairwise
    ULONG keyId;
    Bytes key;      // the cipher's key bytes (TKIP: the key)
    Bytes rsc = {};  // empty: no receive sequence count
    Bytes mic = {};  // TKIP only
    UCHAR isStatic = 0;
};

class KeyPropTest : public KeyTest {
protected:
    // Generates the add-keys TLVs, parses them as the dispatch does and runs the handler.
    NTSTATUS AddKeys(const std::vector<KeySpec>& keys)
    {
        std::vector<WDI_SET_CIPHER_KEY_INFO> infos(keys.size());
        std::vector<Bytes> store;  // keeps the key bytes alive
        store.reserve(keys.size() * 2);
        for (size_t i = 0; i < keys.size(); ++i) {
            const KeySpec& k = keys[i];
            WDI_SET_CIPHER_KEY_INFO& info = infos[i];
            info = {};
            info.Presence = WDI_CIPHER_KEY_PRESENT_PEER | WDI_CIPHER_KEY_PRESENT_KEY_ID;
            std::memcpy(info.PeerMacAddress, k.keyType == 1 ? kAp : kZero, 6);
            info.CipherKeyId = k.keyId;
            info.CipherKeyTypeInfo = {k.cipher, 0, k.isStatic, k.keyType};
            if (!k.rsc.empty()) {
                info.Presence |= WDI_CIPHER_KEY_PRESENT_RSC;
                std::memcpy(info.ReceiveSequenceCount, k.rsc.data(), 6);
            }
            store.push_back(k.key);
            WDI_BYTE_ARRAY bytes{static_cast<ULONG>(store.back().size()), store.back().data(), 0};
            switch (k.cipher) {
            case 0x01: case 0x05: case 0x101: info.Presence |= WDI_CIPHER_KEY_PRESENT_WEP; info.WepKey = bytes; break;
            case 0x02:
                store.push_back(k.mic);
                info.Presence |= WDI_CIPHER_KEY_PRESENT_TKIP;
                info.TkipInfo.TkipKey = bytes;
                info.TkipInfo.TkipMic = {static_cast<ULONG>(store.back().size()), store.back().data(), 0};
                break;
            case 0x06: info.Presence |= WDI_CIPHER_KEY_PRESENT_BIP; info.BipKey = bytes; break;
            case 0x08: info.Presence |= WDI_CIPHER_KEY_PRESENT_GCMP; info.GcmpKey = bytes; break;
            case 0x09: info.Presence |= WDI_CIPHER_KEY_PRESENT_GCMP_256; info.Gcmp256Key = bytes; break;
            case 0x0C: info.Presence |= WDI_CIPHER_KEY_PRESENT_BIP_GMAC_256; info.BipGmac256Key = bytes; break;
            default: info.Presence |= WDI_CIPHER_KEY_PRESENT_CCMP; info.CcmpKey = bytes; break;
            }
        }
        WDI_SET_ADD_CIPHER_KEYS_PARAMETERS in{static_cast<ULONG>(infos.size()), infos.data(), 0};
        PUCHAR tlvs = nullptr;
        ULONG length = 0;
        EXPECT_EQ(WdiTlvGenerateSetAddCipherKeys(&in, 0, nullptr, &length, &tlvs), STATUS_SUCCESS);
        WDI_SET_ADD_CIPHER_KEYS_PARAMETERS parsed{};
        EXPECT_EQ(WdiTlvParseSetAddCipherKeys(length, tlvs, nullptr, &parsed), STATUS_SUCCESS);
        WdiTlvFreeGenerated(tlvs);
        const NTSTATUS status = Run(29, &parsed);
        WdiTlvCleanupSetAddCipherKeys(&parsed);
        return status;
    }

    NTSTATUS Run(uint16_t messageId, PVOID parameters, uint16_t portId = 0)
    {
        kshim::host::WdiRequest r = kshim::host::NewWdiRequest(messageId, kshim::host::WdiMessage(portId, 1), 0);
        WIFIREQUEST handle = kshim::host::WdiRequestHandle(r);
        NTSTATUS status = STATUS_UNSUCCESSFUL;
        switch (messageId) {
        case 29: status = WdiPropertySetAddCipherKeys(adapter_.get(), handle, parameters); break;
        case 30: status = WdiPropertySetDeleteCipherKeys(adapter_.get(), handle, parameters); break;
        default: status = WdiPropertySetDefaultKeyId(adapter_.get(), handle, parameters); break;
        }
        WifiRequestComplete(handle, status, 0);
        RunCallbacks();
        return status;
    }

    static Bytes Seq(size_t n, UCHAR first)
    {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i) {
            b[i] = static_cast<UCHAR>(first + i);
        }
        return b;
    }
};

const Bytes kRsc = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

TEST_P(KeyPropTest, EveryKeyOfTheRequestIsInstalledAndAPairwiseKeyTakesIndexZero)
{
    ASSERT_EQ(AddKeys({{0x04, 1, 3, Seq(16, 0xA0), kRsc}, {0x04, 2, 2, Seq(16, 0x10), kRsc}}), STATUS_SUCCESS);
    const auto sent = KeyPayloads();
    ASSERT_EQ(sent.size(), 2u);
    ExpectHead(sent[0], 1, 1, kAp, 4, 0, 16, ap_->WlanIdx);
    ExpectHead(sent[1], 1, 0, kAp, 4, 2, 16, group_->WlanIdx);
    EXPECT_EQ(Bytes(sent[0].begin() + 16, sent[0].begin() + 32), Seq(16, 0xA0));
    EXPECT_EQ(Bytes(sent[1].begin() + 16, sent[1].begin() + 32), Seq(16, 0x10));
    // The saved copies for the re-installation after a recovery.
    const SAVED_KEY_SET& saved = adapter_->Keys.Saved;
    EXPECT_EQ(saved.Cipher, 0x04u);
    EXPECT_EQ(saved.GroupKeyIndex, 2);
    EXPECT_EQ(Bytes(saved.Pairwise.u.Key, saved.Pairwise.u.Key + 16), Seq(16, 0xA0));
    EXPECT_EQ(Bytes(saved.Group.Pn, saved.Group.Pn + 6), kRsc);
    EXPECT_EQ(saved.Group.KeyLength, 16u);
}

TEST_P(KeyPropTest, KeysMissingWhatTheirInstallerNeedsAreNotInstalledYetTheRequestSucceeds)
{
    const KeySpec refused[] = {
        {0x04, 2, 1, Seq(16, 1), {}},     // CCMP without a receive sequence count
        {0x04, 2, 1, Seq(17, 1), kRsc},   // CCMP over 16 bytes
        {0x08, 2, 1, Seq(16, 1), kRsc},   // GCMP-128: no installer
        {0x0A, 2, 1, Seq(32, 1), kRsc},   // CCMP-256: no installer
        {0x09, 2, 1, Seq(33, 1), kRsc},   // GCMP-256 over 32 bytes
        {0x02, 2, 1, Seq(16, 1), {}, {}}, // TKIP without its MIC key
        {0x06, 2, 4, Seq(17, 1), {}},     // BIP over 16 bytes
    };
    for (const KeySpec& k : refused) {
        ClearSent();
        EXPECT_EQ(AddKeys({k}), STATUS_SUCCESS) << std::hex << k.cipher;
        EXPECT_TRUE(KeyPayloads().empty()) << std::hex << k.cipher << " " << k.key.size();
    }
    EXPECT_EQ(adapter_->Keys.Saved.Cipher, 0u);
}

TEST_P(KeyPropTest, TkipAndGcmp256CarryTheirBytesToTheFirmware)
{
    ASSERT_EQ(AddKeys({{0x02, 2, 1, Seq(16, 0x30), kRsc, Seq(16, 0x80)}, {0x09, 2, 2, Seq(32, 0x40), kRsc}}),
              STATUS_SUCCESS);
    const auto sent = KeyPayloads();
    ASSERT_EQ(sent.size(), 2u);
    ExpectHead(sent[0], 1, 0, kAp, 2, 1, 32, group_->WlanIdx);
    EXPECT_EQ(Bytes(sent[0].begin() + 16, sent[0].begin() + 32), Seq(16, 0x30));
    EXPECT_EQ(Bytes(sent[0].begin() + 32, sent[0].begin() + 48), Seq(16, 0x80));
    ExpectHead(sent[1], 1, 0, kAp, 12, 2, 32, group_->WlanIdx);
    EXPECT_EQ(Bytes(sent[1].begin() + 16, sent[1].begin() + 48), Seq(32, 0x40));
    // The TKIP form was saved first: a zero receive counter.
    EXPECT_EQ(adapter_->Keys.Saved.Cipher, 0x09u);
}

TEST_P(KeyPropTest, BipStartsItsIpnAtZeroWhileBipGmac256TakesTheReceiveSequenceCount)
{
    ASSERT_EQ(AddKeys({{0x06, 2, 4, Seq(16, 0x60), kRsc}}), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->Keys.Bip.KeyId, 4);
    EXPECT_EQ(Bytes(adapter_->Keys.Bip.Ipn[0], adapter_->Keys.Bip.Ipn[0] + 6), Bytes(6, 0));
    EXPECT_EQ(Bytes(adapter_->Keys.Bip.Key[0], adapter_->Keys.Bip.Key[0] + 16), Seq(16, 0x60));
    EXPECT_EQ(adapter_->Keys.Saved.BipKeyIndex, 4);
    EXPECT_EQ(adapter_->Keys.Saved.Cipher, 0x06u);

    ASSERT_EQ(AddKeys({{0x0C, 2, 5, Seq(32, 0x70), kRsc}}), STATUS_SUCCESS);
    const PORT_BIP_GMAC_KEY& own = port0_->BipGmac;
    EXPECT_EQ(own.Present, 1);
    EXPECT_EQ(Bytes(own.Key.Ipn, own.Key.Ipn + 6), kRsc);
    EXPECT_EQ(own.Key.KeyLength, 32u);
    EXPECT_EQ(Bytes(own.Key.aucIGTK, own.Key.aucIGTK + 32), Seq(32, 0x70));
    EXPECT_EQ(port0_->Keys.SharedKey.Slot[4].CipherAlg, 17);
    EXPECT_EQ(adapter_->Keys.Saved.BipKeyIndex, 5);
    EXPECT_EQ(Bytes(adapter_->Keys.Saved.Group.Pn, adapter_->Keys.Saved.Group.Pn + 6), kRsc);
}

TEST_P(KeyPropTest, AStaticWepKeyIsSavedOnlyWhenItIsFiveOrThirteenBytes)
{
    struct Case {
        size_t length;
        UCHAR isStatic;
        UCHAR saved;
    } cases[] = {{5, 1, 1}, {13, 1, 1}, {7, 1, 0}, {5, 0, 0}};
    for (const Case& c : cases) {
        adapter_->Keys.SavedStaticWep = {};
        adapter_->Keys.SavedStaticWep.ReinstallPending = 1;
        ClearSent();
        KeySpec k{0x101, 2, 1, Seq(c.length, 0x21), {}};
        k.isStatic = c.isStatic;
        ASSERT_EQ(AddKeys({k}), STATUS_SUCCESS);
        const SAVED_STATIC_WEP_KEY& wep = adapter_->Keys.SavedStaticWep;
        EXPECT_EQ(wep.Saved, c.saved) << c.length;
        EXPECT_EQ(KeyPayloads().empty(), c.length == 7) << "a 7-byte key is refused by the installer";
        if (c.saved) {
            EXPECT_EQ(wep.ReinstallPending, 0);
            EXPECT_EQ(wep.KeyIndex, 1u);
            EXPECT_EQ(wep.CipherAlgorithm, 0x101u);
            EXPECT_EQ(wep.KeyLength, c.length);
            EXPECT_EQ(Bytes(wep.Key, wep.Key + c.length), Seq(c.length, 0x21));
        }
    }
}

TEST_P(KeyPropTest, DeleteLeavesTheKeysAndMissingParametersAreRefused)
{
    ASSERT_EQ(AddKeys({{0x04, 2, 1, Seq(16, 0x10), kRsc}}), STATUS_SUCCESS);
    ClearSent();
    EXPECT_EQ(Run(30, nullptr), STATUS_SUCCESS);
    EXPECT_TRUE(KeyPayloads().empty());
    EXPECT_EQ(port0_->Keys.SharedKey.Slot[1].KeyLen, 16);
    EXPECT_EQ(Run(29, nullptr), static_cast<NTSTATUS>(0xC0010015));
    EXPECT_EQ(Run(31, nullptr), static_cast<NTSTATUS>(0xC0010015));
}

TEST_P(KeyPropTest, TheDefaultKeyIdIsTheLowByteOrOneForAGroupOwnerInAssociation)
{
    Bytes tlvs = kshim::host::WdiTlv(WDI_TLV_DEFAULT_TX_KEY_ID_PARAMETERS, {0x02, 0x01, 0, 0});
    WDI_DEFAULT_KEY_ID_PARAMETERS p{};
    ASSERT_EQ(WdiTlvParseSetDefaultKeyId(static_cast<ULONG>(tlvs.size()), tlvs.data(), nullptr, &p), STATUS_SUCCESS);
    EXPECT_EQ(Run(31, &p), STATUS_SUCCESS);
    EXPECT_EQ(port0_->Keys.DefaultKeyId, 2);
    port0_->P2pConnectState = P2P_GO_ASSOC_AUTH;
    EXPECT_EQ(Run(31, &p), STATUS_SUCCESS);
    EXPECT_EQ(port0_->Keys.DefaultKeyId, 1);
    // A short value fails the parse.
    tlvs = kshim::host::WdiTlv(WDI_TLV_DEFAULT_TX_KEY_ID_PARAMETERS, {0x02});
    EXPECT_EQ(WdiTlvParseSetDefaultKeyId(static_cast<ULONG>(tlvs.size()), tlvs.data(), nullptr, &p),
              static_cast<NTSTATUS>(0xC0010015));
}

INSTANTIATE_TEST_SUITE_P(Generations, KeyPropTest, ::testing::Values(kSecondGen, kThirdGen),
                         [](const ::testing::TestParamInfo<USHORT>& info) {
                             return info.param == kSecondGen ? "chip3502" : "chip3602";
                         });

}  // namespace
}  // namespace sectest
