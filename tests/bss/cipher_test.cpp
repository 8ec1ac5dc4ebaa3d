// The security summary of a stored BSS from its RSN, WPA, vendor and RSN Extension elements.
#include "bss/bss_fixture.h"

namespace bsstest {
namespace {

// An RSN element: version, group suite type, pairwise types, AKM types, optional capabilities.
Bytes Rsn(UCHAR group, std::initializer_list<UCHAR> pairwise, std::initializer_list<UCHAR> akms, int caps = -1,
          USHORT version = 1, UCHAR groupOui0 = 0x00)
{
    Bytes b{static_cast<UCHAR>(version), static_cast<UCHAR>(version >> 8), groupOui0, 0x0F, 0xAC, group,
            static_cast<UCHAR>(pairwise.size()), 0};
    for (UCHAR p : pairwise) {
        b.insert(b.end(), {0x00, 0x0F, 0xAC, p});
    }
    b.insert(b.end(), {static_cast<UCHAR>(akms.size()), 0});
    for (UCHAR a : akms) {
        b.insert(b.end(), {0x00, 0x0F, 0xAC, a});
    }
    if (caps >= 0) {
        b.insert(b.end(), {static_cast<UCHAR>(caps), static_cast<UCHAR>(caps >> 8)});
    }
    return IeOf(48, b);
}

Bytes Wpa(UCHAR group, std::initializer_list<UCHAR> pairwise, std::initializer_list<UCHAR> akms)
{
    Bytes b{0x00, 0x50, 0xF2, 0x01, 0x01, 0x00, 0x00, 0x50, 0xF2, group, static_cast<UCHAR>(pairwise.size()), 0};
    for (UCHAR p : pairwise) {
        b.insert(b.end(), {0x00, 0x50, 0xF2, p});
    }
    b.insert(b.end(), {static_cast<UCHAR>(akms.size()), 0});
    for (UCHAR a : akms) {
        b.insert(b.end(), {0x00, 0x50, 0xF2, a});
    }
    return IeOf(221, b);
}

class Cipher : public BssTest {
protected:
    BSS_ENTRY& Parse(const Bytes& ies, UCHAR privacy = 1, UCHAR bssType = BSS_INFRA, LONG band = BAND_5G)
    {
        entry_ = BSS_ENTRY{};
        entry_.Privacy = privacy;
        entry_.BssType = bssType;
        entry_.Band = band;
        if (!ies.empty()) {
            std::memcpy(entry_.VarIes, ies.data(), ies.size());
        }
        entry_.VarIeLen = static_cast<USHORT>(ies.size());
        BssCipherParse(adapter_, &entry_);
        return entry_;
    }

    BSS_ENTRY entry_{};
};

TEST_F(Cipher, AuthenticationAndCiphersFromRsnAndWpa)
{
    struct Case {
        const char* name;
        Bytes ies;
        ULONG auth, authAux, enc, pairwise, pairwiseAux, group;
    } cases[] = {
        {"wpa2-psk ccmp", Rsn(4, {4}, {2}), 7, 1, 4, 4, 4, 4},
        {"psk and sae", Rsn(4, {4}, {2, 8}), 9, 7, 4, 4, 4, 4},
        {"sae and psk", Rsn(4, {4}, {8, 2}), 9, 7, 4, 4, 4, 4},
        {"ft-psk only", Rsn(4, {4}, {4}), 1, 1, 4, 4, 4, 4},
        {"tkip then ccmp", Rsn(2, {2, 4}, {2}), 7, 1, 4, 4, 4, 2},
        {"ccmp then tkip", Rsn(2, {4, 2}, {2}), 7, 1, 4, 4, 2, 2},
        {"suite b", Rsn(9, {9}, {12}), 8, 8, 9, 9, 9, 9},
        {"owe", Rsn(4, {4}, {18}), 10, 1, 4, 4, 4, 4},
        {"8021x and sha256", Rsn(4, {4}, {1, 5}), 6, 6, 4, 4, 4, 4},
        {"rsn version 2 ignored", Rsn(4, {4}, {2}, -1, 2), 1, 1, 0x101, 4, 0, 4},
        {"vendor group oui ignored", Rsn(4, {4}, {2}, -1, 1, 0x50), 1, 1, 0x101, 4, 0, 4},
        {"wep group", Rsn(1, {4}, {2}), 7, 1, 4, 4, 4, 1},
    };
    for (const Case& c : cases) {
        BSS_ENTRY& e = Parse(c.ies);
        EXPECT_EQ(e.AuthMode, c.auth) << c.name;
        EXPECT_EQ(e.AuthModeAux, c.authAux) << c.name;
        EXPECT_EQ(e.EncryptionStatus, c.enc) << c.name;
        EXPECT_EQ(e.RsnCipher.PairwiseCipher, c.pairwise) << c.name;
        EXPECT_EQ(e.RsnCipher.PairwiseCipherAux, c.pairwiseAux) << c.name;
        EXPECT_EQ(e.RsnCipher.GroupCipher, c.group) << c.name;
    }
    EXPECT_EQ(Parse(Rsn(1, {4}, {2})).WepGroupCipher, 1u);
    EXPECT_EQ(Parse(Rsn(4, {4}, {3})).RsnCipher.FtAkm, 1);
    EXPECT_EQ(Parse(Rsn(4, {4}, {6})).RsnCipher.Sha256Akm, 1);
}

TEST_F(Cipher, WpaFoldsPairwiseSuitesTheSameWayInEitherOrder)
{
    for (auto order : {Wpa(2, {2, 4}, {2}), Wpa(2, {4, 2}, {2})}) {
        BSS_ENTRY& e = Parse(order);
        EXPECT_EQ(e.WpaCipher.PairwiseCipher, 4u);
        EXPECT_EQ(e.WpaCipher.PairwiseCipherAux, 2u);
        EXPECT_EQ(e.WpaCipher.MixedCipher, 1);
        EXPECT_EQ(e.AuthMode, 4u);
        EXPECT_EQ(e.EncryptionStatus, 4u);
    }
}

TEST_F(Cipher, AnAdHocWpaNetworkIsWpaNoneWithItsGroupCipher)
{
    BSS_ENTRY& e = Parse(Wpa(2, {}, {2}), 1, BSS_ADHOC);
    EXPECT_EQ(e.AuthMode, 5u);
    EXPECT_EQ(e.AuthModeAux, 5u);
    EXPECT_EQ(e.EncryptionStatus, 2u);
    EXPECT_EQ(e.WpaCipher.PairwiseCipher, 2u);
}

TEST_F(Cipher, OpenAndWepWithoutElements)
{
    EXPECT_EQ(Parse({}, 0).EncryptionStatus, 0u);
    EXPECT_EQ(Parse({}, 1).EncryptionStatus, 0x101u);
    EXPECT_EQ(Parse({}, 1).AuthMode, 1u);
}

TEST_F(Cipher, ManagementFrameProtectionRequired)
{
    struct Case {
        const char* name;
        Bytes ies;
        LONG band;
        UCHAR pmf;
    } cases[] = {
        {"rsna ccmp", Rsn(4, {4}, {1}, 0xC0), BAND_5G, 1},
        {"sae ccmp", Rsn(4, {4}, {8}, 0xC0), BAND_5G, 1},
        {"suite b", Rsn(9, {9}, {12}, 0xC0), BAND_5G, 1},
        {"psk only capable", Rsn(4, {4}, {2}, 0xC0), BAND_5G, 0},
        {"psk on 6 GHz", Rsn(4, {4}, {2}, 0xC0), BAND_6G, 1},
        {"mfpc alone on 6 GHz", Rsn(4, {4}, {2}, 0x80), BAND_6G, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Parse(c.ies, 1, BSS_INFRA, c.band).RsnCipher.PmfRequired, c.pmf) << c.name;
    }
}

TEST_F(Cipher, TheMixedModeCapabilityCutIsWrittenBackIntoTheStoredElement)
{
    adapter_->RegistryBlock.MFPM3 = 1;
    Bytes ies = Rsn(2, {4}, {2}, 0x00CC);
    BSS_ENTRY& e = Parse(ies);
    EXPECT_EQ(e.RsnCipher.RsnCapability, 0x40);
    EXPECT_EQ(e.VarIes[ies.size() - 2], 0x40);
    EXPECT_EQ(e.VarIes[ies.size() - 1], 0x00);
}

TEST_F(Cipher, VendorAndRsnExtensionMarks)
{
    BSS_ENTRY& e = Parse(Cat({Ie(221, {0x00, 0x90, 0x4C, 1, 2, 3, 4}), Ie(244, {0x20})}));
    EXPECT_EQ(e.VendorOui904cSeen, 1);
    EXPECT_EQ(e.RsnCipher.RsnxeOctet, 0x20);
}

TEST_F(Cipher, CountsFromTheAirNeverReadPastTheElement)
{
    // Pairwise count 200 with one suite, AKM list cut off, then an element running past the block.
    Bytes rsn = {48, 12, 1, 0, 0x00, 0x0F, 0xAC, 4, 200, 0, 0x00, 0x0F, 0xAC, 2};
    Bytes ies = Cat({rsn, Bytes{221, 200, 0x00, 0x50, 0xF2, 0x01}});
    BSS_ENTRY& e = Parse(ies);
    EXPECT_EQ(e.RsnCipher.PairwiseCipherAux, 2u);
    EXPECT_EQ(e.AuthMode, 1u);
    EXPECT_EQ(e.WpaCipher.GroupCipher, 0u);
}

}  // namespace
}  // namespace bsstest
