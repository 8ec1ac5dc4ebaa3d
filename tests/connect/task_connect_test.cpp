// The OS's connect task on a started third-generation device: what reaches the connect-control machine,
// the connection settings the port keeps (candidates, PMKID cache, algorithms, ciphers, SSID, FT slots,
// management-frame protection), the refusal of messages whose lengths lie, and the abort of a connect
// in progress.
#include <gtest/gtest.h>

#include "connect/task_support.h"

namespace {

using namespace conn_test;

constexpr uint16_t kTaskConnect = 6;
constexpr uint16_t kAbortTask = 75;
constexpr uint32_t kInvalidData = 0xC0010015u;

class ConnectTask : public ConnTaskTest {
protected:
    kshim::host::WdiRequest Connect(const Bytes& tlvs, uint32_t transaction = 21)
    {
        return Send(kTaskConnect, 0, transaction, tlvs);
    }
    const PORT_CONNECT_CONFIG& Cfg() { return port0_->ConnectConfig; }
};

TEST_F(ConnectTask, AConnectPostsTheConnectRequestAndItsAbortEndsTheTask)
{
    HoldMlme();
    kshim::host::WdiRequest r = Connect(ConnectTlvs("home", 1, 0), 77);
    EXPECT_EQ(r.Status(), STATUS_SUCCESS);
    std::vector<Posted> posted = Queued();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].machine, 5u);
    EXPECT_EQ(posted[0].message, 0x0E010181u);
    EXPECT_EQ(posted[0].port, 0u);
    EXPECT_EQ(Cfg().DesiredSsidLength, 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Cfg().DesiredSsid), 4), "home");
    EXPECT_EQ(Cfg().DesiredSsidRecord.SsidLength, 4u);
    EXPECT_EQ(Adapter()->WorkingCfg.NetworkType, 1);
    // The task stays pending until its completion: the abort ends it with status 0 and the
    // connect's transaction id.
    EXPECT_TRUE(WdiTaskIsPending(Adapter(), kTaskConnect));
    EXPECT_TRUE(Indications(0x0040).empty());
    kshim::host::WdiRequest abort = Send(kAbortTask, 0, 78, AbortTlvs(kTaskConnect, 77, 0));
    EXPECT_EQ(abort.Status(), STATUS_SUCCESS);
    std::vector<kshim::host::WdiIndication> done = Indications(0x0040);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].Status(), 0u);
    EXPECT_EQ(done[0].TransactionId(), 77u);
    EXPECT_FALSE(WdiTaskIsPending(Adapter(), kTaskConnect));
}

TEST_F(ConnectTask, MessagesWhoseLengthsLieAreRefusedAndPostNothing)
{
    const Bytes good = ConnectTlvs("home", 1, 0);
    const Bytes settings = Settings{}.Encode();
    const Bytes ssid = Tlv(WDI_TLV_SSID, {'a'});
    const Bytes auth = Tlv(WDI_TLV_AUTH_ALGO_LIST, U32s({1}));
    const Bytes multicast = Tlv(WDI_TLV_MULTICAST_CIPHER_ALGO_LIST, U32s({0}));
    const Bytes unicast = Tlv(WDI_TLV_UNICAST_CIPHER_ALGO_LIST, U32s({0}));
    Bytes truncated = good;
    truncated.resize(truncated.size() - 1);  // the last TLV runs past the message
    Bytes shortSettings = settings;
    shortSettings.resize(shortSettings.size() - 1);
    shortSettings[2] = 13;
    auto withExtra = [](const Bytes& extra) { return ConnectTlvs("home", 1, 0, {}, Settings{}, extra); };
    struct Case {
        const char* what;
        Bytes tlvs;
    } cases[] = {
        {"settings of 13 bytes", Parameters(Cat({shortSettings, ssid, auth, multicast, unicast}))},
        {"no settings", Parameters(Cat({ssid, auth, multicast, unicast}))},
        {"no SSID", Parameters(Cat({settings, auth, multicast, unicast}))},
        {"no parameters container", Cat({settings, ssid, auth, multicast, unicast})},
        {"authentication list of 5 bytes",
         Parameters(Cat({settings, ssid, Tlv(WDI_TLV_AUTH_ALGO_LIST, {1, 0, 0, 0, 0}), multicast, unicast}))},
        {"unicast list of 6 bytes",
         Parameters(Cat({settings, ssid, auth, multicast, Tlv(WDI_TLV_UNICAST_CIPHER_ALGO_LIST, Bytes(6, 0))}))},
        {"disallowed list of 7 bytes", withExtra(Tlv(WDI_TLV_DISALLOWED_BSSIDS_LIST, Bytes(7, 1)))},
        {"HESSID of 5 bytes", withExtra(Tlv(WDI_TLV_HESSID_INFO, Cat({Tlv(WDI_TLV_ACCESS_NETWORK_TYPE, {1}),
                                                                       Tlv(WDI_TLV_HESSID, Bytes(5, 4))})))},
        {"PMKID of 15 bytes", Cat({good, Tlv(WDI_TLV_CONNECT_BSS_ENTRY,
                                             Cat({Tlv(WDI_TLV_BSSID, Mac(1)), Tlv(WDI_TLV_PMKID, Bytes(15, 9))}))})},
        {"BSS entry without BSSID", Cat({good, Tlv(WDI_TLV_CONNECT_BSS_ENTRY, Tlv(WDI_TLV_PMKID, Bytes(16, 9)))})},
        {"BSSID of 5 bytes", Cat({good, Tlv(WDI_TLV_CONNECT_BSS_ENTRY, Tlv(WDI_TLV_BSSID, Bytes(5, 2)))})},
        {"PMKR0 name of 15 bytes",
         Cat({good, BssEntry(Mac(1), false,
                             Tlv(WDI_TLV_FT_REASSOC_PARAMETERS, Tlv(WDI_TLV_FT_PMKR0NAME, Bytes(15, 3))))})},
        {"signal of 7 bytes", Cat({good, BssEntry(Mac(1), false, Tlv(WDI_TLV_SIGNAL_INFO, Bytes(7, 0)))})},
        {"container whose inner TLV runs past it",
         Cat({good, Tlv(WDI_TLV_CONNECT_BSS_ENTRY, Bytes{0x00, 0x01, 0x06, 0x00, 1, 2, 3})})},
        {"message cut inside a TLV", truncated},
    };
    HoldMlme();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        kshim::host::WdiRequest r = Connect(c.tlvs);
        EXPECT_EQ(static_cast<uint32_t>(r.Status()), kInvalidData);
        EXPECT_TRUE(Queued().empty()) << "no connect request is posted";
        EXPECT_FALSE(WdiTaskIsPending(Adapter(), kTaskConnect));
    }
    EXPECT_TRUE(Indications(0x0040).empty());
}

TEST_F(ConnectTask, CandidatesAndThePmkidCacheComeFromTheFirstEightEntries)
{
    HoldMlme();
    // Twelve entries, each with a PMKID: eight candidates, eight cached PMKIDs in order.
    Bytes entries;
    for (uint8_t i = 1; i <= 12; ++i) {
        entries = Cat({entries, BssEntry(Mac(i), true)});
    }
    EXPECT_EQ(Connect(ConnectTlvs("home", 7, 4, entries)).Status(), STATUS_SUCCESS);
    EXPECT_EQ(Cfg().CandidateCount, 8u);
    EXPECT_EQ(Cfg().AnyBssid, 0);
    const STA_CONNECT_ADAPTER_STATE& sta = Adapter()->StaConnect;
    ASSERT_EQ(sta.PmkidCount, 8u);
    for (uint8_t i = 0; i < 8; ++i) {
        EXPECT_EQ(Cfg().CandidateBssids[i][5], i + 1);
        EXPECT_EQ(sta.PmkidCache[i].Bssid[5], i + 1);
        EXPECT_EQ(sta.PmkidCache[i].Pmkid[0], i + 1);
        EXPECT_EQ(sta.PmkidCache[i].Pmkid[15], i + 1 + 15);
    }
    ReleaseMlme();
    Quiesce();
    ASSERT_EQ(Send(kAbortTask, 0, 90, AbortTlvs(kTaskConnect, 21, 0)).Status(), STATUS_SUCCESS);

    // Entries without a PMKID: no candidate list, and the cache is emptied.
    HoldMlme();
    EXPECT_EQ(Connect(ConnectTlvs("home", 7, 4, Cat({BssEntry(Mac(1)), BssEntry(Mac(2))}))).Status(),
              STATUS_SUCCESS);
    EXPECT_EQ(Cfg().AnyBssid, 1);
    EXPECT_EQ(sta.PmkidCount, 0u);
}

TEST_F(ConnectTask, WithTheCertificationSettingAnEntryWithoutPmkidKeepsTheCache)
{
    Adapter()->RegistryBlock.CertReg = 0x2;
    Adapter()->StaConnect.PmkidCount = 3;
    HoldMlme();
    EXPECT_EQ(Connect(ConnectTlvs("home", 7, 4, BssEntry(Mac(1)))).Status(), STATUS_SUCCESS);
    EXPECT_EQ(Adapter()->StaConnect.PmkidCount, 3u);
}

TEST_F(ConnectTask, OnlyCachedPmkidsOfCandidatesStayAndSaeMarksThem)
{
    HoldMlme();
    // Entry 1 has a PMKID, entries 2 and 3 are the candidates (entry 1 is one too: the first 8).
    EXPECT_EQ(Connect(ConnectTlvs("home", 9, 4, Cat({BssEntry(Mac(1), true), BssEntry(Mac(2))}))).Status(),
              STATUS_SUCCESS);
    EXPECT_EQ(Adapter()->StaConnect.PmkidCount, 1u);
    EXPECT_EQ(Cfg().SaeWord, 0x100) << "SAE with a cached PMKID of a candidate";
}

TEST_F(ConnectTask, AuthenticationAlgorithmsAreStoredAsTheOsNumbersThem)
{
    struct Row {
        uint32_t given;
        uint32_t stored;
        uint8_t marker;
        uint16_t saeWord;
    } rows[] = {
        {1, 1, 0, 0}, {7, 7, 0, 0}, {11, 6, 1, 0}, {0x80000009u, 7, 0, 0}, {9, 9, 0, 1},
    };
    HoldMlme();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.given);
        port0_->ConnectConfig.SaeWord = 0;
        EXPECT_EQ(Connect(ConnectTlvs("home", row.given, 4)).Status(), STATUS_SUCCESS);
        EXPECT_EQ(port0_->Cfg.AuthAlgorithm, row.stored);
        EXPECT_EQ(port0_->Mlme.AuthAlgorithm, row.stored);
        EXPECT_EQ(port0_->Ind.AuthMappedFrom11, row.marker);
        EXPECT_EQ(Cfg().SaeWord, row.saeWord);
        ReleaseMlme();
        Quiesce();
        ASSERT_EQ(Send(kAbortTask, 0, 90, AbortTlvs(kTaskConnect, 21, 0)).Status(), STATUS_SUCCESS);
        HoldMlme();
    }
}

TEST_F(ConnectTask, UnicastCiphersMapToTheirEncryptionStatus)
{
    struct Row {
        uint32_t cipher;
        uint32_t stored;
        uint8_t code;
    } rows[] = {
        {4, 4, 4}, {0x80000008u, 4, 4}, {2, 2, 3}, {1, 1, 1}, {5, 5, 2}, {0x101, 0x101, 2}, {9, 9, 12}, {0, 0, 0},
        {6, 6, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.cipher);
        WdiSettUnicastCipherAlgorithm(Adapter(), port0_, row.cipher);
        EXPECT_EQ(port0_->Mlme.UnicastCipher, row.stored);
        EXPECT_EQ(Cfg().EncryptionStatus, row.code);
        EXPECT_EQ(Cfg().UnicastCipherCopies[2], row.stored);
    }
}

TEST_F(ConnectTask, MulticastListsKeepSixValuesAndAGroupCipherOnlyForOne)
{
    const ULONG eight[] = {1, 2, 4, 5, 9, 0x101, 6, 7};
    WdiSetMulticastCipherAlgorithm(Adapter(), port0_, 8, eight);
    EXPECT_EQ(Cfg().MulticastCipherCount, 6u);
    EXPECT_EQ(Cfg().MulticastCiphers[5], 0x101u);
    EXPECT_EQ(port0_->Cfg.GroupCipher, 0u);
    const ULONG one[] = {0x80000008u};
    WdiSetMulticastCipherAlgorithm(Adapter(), port0_, 1, one);
    EXPECT_EQ(Cfg().MulticastCipherCount, 1u);
    EXPECT_EQ(Cfg().MulticastCiphers[0], 0x80000008u);
    EXPECT_EQ(port0_->Cfg.GroupCipher, 4u);
}

TEST_F(ConnectTask, SettingsFlagsSsidDisallowedListAndProtection)
{
    Adapter()->RegistryBlock.Hlk_feature_optional = 0x2 | 0x40;
    HoldMlme();
    Settings s;
    s.hidden = 1;
    s.excludeUnencrypted = 1;
    s.mfp = 1;
    s.finalSettings = 1;
    Bytes disallowed;
    for (uint8_t i = 1; i <= 6; ++i) {
        Bytes m = Mac(0x40 + i);
        disallowed.insert(disallowed.end(), m.begin(), m.end());
    }
    const std::string longSsid(33, 'x');
    EXPECT_EQ(Connect(ConnectTlvs(longSsid, 1, 0, {}, s, Tlv(WDI_TLV_DISALLOWED_BSSIDS_LIST, disallowed))).Status(),
              STATUS_SUCCESS);
    EXPECT_EQ(Cfg().DesiredSsidRecord.SsidLength, 0u) << "an SSID over 32 bytes becomes the empty SSID";
    EXPECT_EQ(port0_->HiddenNetwork, 1);
    EXPECT_EQ(port0_->ExcludeUnencrypted, 1);
    EXPECT_EQ(Cfg().FinalSettings, 1);
    EXPECT_EQ(Cfg().DisallowedCounter, 4u);
    EXPECT_EQ(Cfg().DisallowedBssids[3][5], 0x44);
    EXPECT_EQ(Adapter()->StaConnect.MfpByte & 0xC0, 0xC0);
    ReleaseMlme();
    Quiesce();
    ASSERT_EQ(Send(kAbortTask, 0, 90, AbortTlvs(kTaskConnect, 21, 0)).Status(), STATUS_SUCCESS);
    // Protection off clears the capable bit only.
    HoldMlme();
    EXPECT_EQ(Connect(ConnectTlvs("home", 1, 0)).Status(), STATUS_SUCCESS);
    EXPECT_EQ(Adapter()->StaConnect.MfpByte & 0xC0, 0x40);
}

TEST_F(ConnectTask, FastTransitionSlotsTakeFiveByteMobilityDomainsOnly)
{
    Adapter()->RegistryBlock.FastTransition = 1;
    HoldMlme();
    const Bytes mde5 = {0x36, 0x03, 0xAB, 0xCD, 0x01};
    const Bytes mde4 = {0x36, 0x02, 0xAB, 0xCD};
    Bytes entries = Cat({BssEntry(Mac(1), false, Tlv(WDI_TLV_FT_INITIAL_ASSOC_PARAMETERS, Tlv(WDI_TLV_FT_MDE, mde5))),
                         BssEntry(Mac(2), false, Tlv(WDI_TLV_FT_INITIAL_ASSOC_PARAMETERS, Tlv(WDI_TLV_FT_MDE, mde4))),
                         BssEntry(Mac(3), false, Tlv(WDI_TLV_FT_INITIAL_ASSOC_PARAMETERS, Tlv(WDI_TLV_FT_MDE, mde5)))});
    EXPECT_EQ(Connect(ConnectTlvs("home", 7, 4, entries)).Status(), STATUS_SUCCESS);
    ASSERT_EQ(Cfg().FtCandidateCount, 2);
    EXPECT_EQ(Cfg().FtCandidates[0].Bssid[5], 1);
    EXPECT_EQ(Cfg().FtCandidates[1].Bssid[5], 3);
    EXPECT_EQ(Cfg().FtCandidates[1].MdeLength, 5u);
    EXPECT_EQ(Cfg().FtCandidates[1].MdIdAndCapability[0], 0xAB);
    EXPECT_EQ(Cfg().FtCandidates[1].MdIdAndCapability[2], 0x01);
}

TEST_F(ConnectTask, AnAbortWithoutAConnectPendingIsRefusedAndSendsNothing)
{
    EXPECT_EQ(WdiTaskAbortConnectRequest(Adapter(), port0_), static_cast<NTSTATUS>(0xC0000001L));
    EXPECT_TRUE(Indications(0x0040).empty());
}

}  // namespace
