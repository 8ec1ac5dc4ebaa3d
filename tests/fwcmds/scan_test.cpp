// Scan, scan abort, channel privilege, network-list offload and domain commands, in the legacy form
// (second generation, older chip) and the unified form (third generation with its RAM code).
#include <memory>

#include "fwcmds/fwcmds_fixture.h"
#include "Common/rlm_domain.h"
#include "kshim/host/control.h"
#include "kshim/host/registry.h"
#include "kshim/host/wifi.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/wdi/wdimain.h"

namespace fwcmdstest {
namespace {

std::unique_ptr<MLME_SCAN_REQ> Request(ULONG channels)
{
    auto r = std::make_unique<MLME_SCAN_REQ>();
    *r = MLME_SCAN_REQ{};
    r->ScanType = 1;
    r->ScanSeqNum = 7;
    r->ChannelType = SCAN_CHANNEL_TYPE_LIST;
    r->ChannelCount = static_cast<UCHAR>(channels);
    for (ULONG i = 0; i < channels && i < SCAN_REQ_CHANNEL_MAX; ++i) {
        r->Channels[i] = {BAND_5G, static_cast<UCHAR>(100 + i)};
    }
    return r;
}

class ScanTest : public FwCmdsTest {};

TEST_F(ScanTest, VersionTwoTakesTheChunkAndSplitsTheListAt32)
{
    SetUpChip(kSecondGen);
    struct Row {
        const char* what;
        ULONG listed, start, size;
        uint8_t count, type, many, beyond, firstChannel;
    } rows[] = {
        {"33 channels: 32 in the first list, 1 in the second", 33, 0, 0, 33, 4, 1, 1, 100},
        {"a split scan sends only its chunk from the chunk start", 10, 3, 3, 3, 4, 0, 0, 103},
        {"a chunk reaching past the list stops at its end", 2, 1, 3, 1, 4, 0, 0, 101},
        {"a chunk start past the list leaves no channel list", 2, 3, 3, 0, 0, 0, 0, 0},
        {"more than 64 channels are sent as none", 70, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const Row& r : rows) {
        ClearSent();
        auto request = Request(r.listed);
        request->ChunkStart = static_cast<UCHAR>(r.start);
        request->ChunkSize = static_cast<UCHAR>(r.size);
        ASSERT_EQ(QzCmdSendScanReqMsgV2(adapter_.get(), request.get()), STATUS_SUCCESS) << r.what;
        auto sent = Legacy();
        ASSERT_EQ(sent.size(), 1u) << r.what;
        const Bytes& p = sent[0].payload;
        ASSERT_EQ(p.size(), SCAN_V2_PAYLOAD_SIZE);
        EXPECT_EQ(sent[0].cmdId, FW_CMD_ID_SCAN_REQ_V2);
        EXPECT_EQ(p[159], r.count) << r.what;
        EXPECT_EQ(p[158], r.type) << r.what;
        EXPECT_EQ(p[7], r.many) << r.what;
        EXPECT_EQ(p[826], r.beyond) << r.what;
        EXPECT_EQ(p[161], r.firstChannel) << r.what;
        if (r.beyond != 0) {
            EXPECT_EQ(p[830], 2) << "band of channel 33";
            EXPECT_EQ(p[831], 132) << "channel 33 opens the second list";
        }
    }
}

TEST_F(ScanTest, VersionTwoKeepsCountsAndLengthsWithinThePayload)
{
    SetUpChip(kSecondGen);
    auto request = Request(1);
    request->SsidCount = 9;
    request->SsidLength[0] = 40;
    request->ExtraIeLength = 700;
    request->ChannelType = SCAN_CHANNEL_TYPE_RNR;
    request->BssidCount = 9;
    request->Bssid[0][0] = 0xAA;
    ASSERT_EQ(QzCmdSendScanReqMsgV2(adapter_.get(), request.get()), STATUS_SUCCESS);
    const Bytes p = Legacy().at(0).payload;
    EXPECT_EQ(p[4], 4) << "four SSID slots";
    EXPECT_EQ(p[8], 32) << "an SSID is at most 32 bytes";
    EXPECT_EQ(U16(p, 224), 600) << "extra elements are cut to 600 bytes";
    EXPECT_EQ(p[6] & SCAN_V2_FLAG_BSSID_LIST, SCAN_V2_FLAG_BSSID_LIST);
    EXPECT_EQ(p[158], SCAN_CHANNEL_TYPE_LIST) << "a BSSID-list scan goes out as a channel-list scan";
    EXPECT_EQ(p[1124], 0xAA);
}

TEST_F(ScanTest, VersionTwoWithoutAPortOfItsBssIndexIsRefused)
{
    SetUpChip(kSecondGen);
    auto request = Request(1);
    request->BssIndex = 3;
    EXPECT_EQ(QzCmdSendScanReqMsgV2(adapter_.get(), request.get()), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(QzCmdSendScanReqMsgV2(adapter_.get(), nullptr), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(ScanTest, VersionOneOnlyDuringAnOsScanAndNeverPastTheList)
{
    SetUpChip(kOlderChip);
    auto request = Request(10);
    request->ChunkStart = 8;
    request->SsidCount = 1;
    request->SsidLength[0] = 3;
    EXPECT_EQ(QzCmdSendScanReqMsg(adapter_.get(), request.get()), STATUS_UNSUCCESSFUL);
    AdapterSetFlag(adapter_.get(), ADAPTER_FLAG_OS_SCAN, "test");
    adapter_->ScanTaskAborted = 1;
    EXPECT_EQ(QzCmdSendScanReqMsg(adapter_.get(), request.get()), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(Sent().empty());
    adapter_->ScanTaskAborted = 0;
    ASSERT_EQ(QzCmdSendScanReqMsg(adapter_.get(), request.get()), STATUS_SUCCESS);
    const Bytes p = Legacy().at(0).payload;
    ASSERT_EQ(p.size(), SCAN_V1_PAYLOAD_SIZE);
    EXPECT_EQ(p[4], 3);
    EXPECT_EQ(p[45], 2) << "the two channels left after the chunk start";
    EXPECT_EQ(p[49], 108);
    EXPECT_EQ(p[53], 0) << "nothing past the list";
}

TEST_F(ScanTest, AbortWhileScanningSendsTheRunningScansNumberElseCompletesTheTask)
{
    SetUpChip(kSecondGen);
    auto request = Request(0);
    request->ScanSeqNum = 42;
    adapter_->ScanRequest = request.get();
    // The OS's scan task is pending (transaction 31).
    kshim::host::WifiClearIndications();
    adapter_->Wdi.CntlBlock.HeaderCopy.TransactionId = 31;
    adapter_->Wdi.CntlBlock.RowIndex = WdiFindTaskRow(WDI_TASK_SCAN);
    adapter_->Wdi.CntlBlock.TaskPending = 1;
    EXPECT_EQ(QzCmdSendAbortScan(adapter_.get()), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(Sent().empty());
    // With no scan running in the firmware, the OS's scan task ends here: its completion reaches the OS.
    std::vector<kshim::host::WdiIndication> seen = kshim::host::WifiIndications();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].code, 0x003C) << "scan complete";
    EXPECT_EQ(seen[0].TransactionId(), 31u);
    EXPECT_EQ(adapter_->Wdi.CntlBlock.TaskPending, 0);
    kshim::host::WifiClearIndications();
    AdapterSetFlag(adapter_.get(), ADAPTER_FLAG_SCANNING, "test");
    EXPECT_EQ(QzCmdSendAbortScan(adapter_.get()), STATUS_SUCCESS);
    auto sent = Legacy();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].cmdId, FW_CMD_ID_SCAN_ABORT);
    EXPECT_EQ(sent[0].payload, (Bytes{42, 0, 0, 0}));
    adapter_->ScanRequest = nullptr;
}

// ---- channel privilege ------------------------------------------------------------------------------
struct Completed {
    PMP_ADAPTER adapter = nullptr;
    PMP_PORT port = nullptr;
    PVOID context = nullptr;
    int count = 0;
};
Completed g_completed;

NTSTATUS RecordGrant(PMP_ADAPTER adapter, PMP_PORT port, PVOID context)
{
    g_completed.adapter = adapter;
    g_completed.port = port;
    g_completed.context = context;
    ++g_completed.count;
    return STATUS_SUCCESS;
}

class ChPrivilegeTest : public FwCmdsTest, public ::testing::WithParamInterface<USHORT> {};

TEST_P(ChPrivilegeTest, ARequestWaitsForTheGrantAndItsCompletionRunsOnTheControlThread)
{
    SetUpChip(GetParam());
    g_completed = {};
    int context = 0;
    EXPECT_EQ(QzCmdChPrivilage(adapter_.get(), port0_, 36, BAND_5G, CH_PRIVILEGE_REQUEST, 1, 300, RecordGrant,
                               &context, 0, 9),
              STATUS_SUCCESS);
    EXPECT_EQ(g_completed.count, 0) << "never in the completion itself";
    RunCallbacks();
    EXPECT_EQ(g_completed.count, 1);
    // The grant event ended the request in flight and recorded the held grant.
    EXPECT_FALSE(AdapterTestFlags(adapter_.get(), ADAPTER_FLAG_CH_PRIVILEGE));
    EXPECT_EQ(adapter_->ChPrivilegeHeld, 1);
    EXPECT_EQ(adapter_->ChPrivilegeChannel, 36);
    EXPECT_EQ(g_completed.adapter, adapter_.get());
    EXPECT_EQ(g_completed.port, port0_);
    EXPECT_EQ(g_completed.context, &context);
    if (GetParam() == kThirdGen) {
        auto sent = Unified();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].cmdId, 0x27);
        const sim::fw::UniTlv* t = sent[0].Find(0);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->value[2], 36);
        EXPECT_EQ(t->value[4], BAND_5G);
        EXPECT_EQ(t->value[11], 1) << "request kind";
        EXPECT_EQ(t->value[12], 44) << "300 ms";
        EXPECT_EQ(t->value[13], 1);
        EXPECT_EQ(t->value[16], 0xFF) << "band index 4 in its unified code";
        EXPECT_EQ(t->value[17], 9);
    } else {
        auto sent = Legacy();
        ASSERT_EQ(sent.size(), 1u);
        const Bytes& p = sent[0].payload;
        ASSERT_EQ(p.size(), 24u);
        EXPECT_EQ(p[2], 0);
        EXPECT_EQ(p[3], 36);
        EXPECT_EQ(p[9], 1);
        EXPECT_EQ(p[10], 4);
        EXPECT_EQ(p[11], 9);
        EXPECT_EQ(p[12] | (p[13] << 8), 300);
    }
}

TEST_P(ChPrivilegeTest, ASecondRequestFirstGivesBackTheHeldGrant)
{
    SetUpChip(GetParam());
    ASSERT_EQ(QzCmdChPrivilage(adapter_.get(), port0_, 6, BAND_24G, CH_PRIVILEGE_REQUEST, 2, 0, nullptr, nullptr, 0, 0),
              STATUS_SUCCESS);
    const UCHAR firstToken = GetNextSeqNum(adapter_.get(), 1, FALSE);
    // The grant event records the held privilege.
    QzCmdChPrivilegeRecordGrant(adapter_.get(), 0, 6, BAND_24G);
    ClearSent();
    ASSERT_EQ(QzCmdChPrivilage(adapter_.get(), port0_, 11, BAND_24G, CH_PRIVILEGE_REQUEST, 3, 0, nullptr, nullptr, 0, 0),
              STATUS_SUCCESS);
    // The held grant was given back; the new request's own grant is the one held now.
    EXPECT_TRUE(Eventually([&] { return __atomic_load_n(&adapter_->ChPrivilegeChannel, __ATOMIC_ACQUIRE) == 11; }));
    if (GetParam() == kThirdGen) {
        auto sent = Unified();
        ASSERT_EQ(sent.size(), 2u);
        ASSERT_NE(sent[0].Find(1), nullptr) << "the abort first";
        EXPECT_EQ(sent[0].Find(1)->value[1], firstToken) << "an abort repeats the held token";
        ASSERT_NE(sent[1].Find(0), nullptr);
        EXPECT_EQ(sent[1].Find(0)->value[2], 11);
    } else {
        auto sent = Legacy();
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(sent[0].payload[2], 1) << "the abort first";
        EXPECT_EQ(sent[0].payload[1], firstToken) << "an abort repeats the held token";
        EXPECT_EQ(sent[0].payload[3], 6);
        EXPECT_EQ(sent[1].payload[2], 0);
        EXPECT_EQ(sent[1].payload[1], firstToken % 99 + 1);
        EXPECT_EQ(sent[1].payload[9], 3);
    }
}

TEST_P(ChPrivilegeTest, AReleaseWithNothingHeldAndBadArgumentsAreRefused)
{
    SetUpChip(GetParam());
    EXPECT_EQ(QzCmdChPrivilage(adapter_.get(), port0_, 6, 1, CH_PRIVILEGE_RELEASE, 4, 0, nullptr, nullptr, 0, 0),
              STATUS_UNSUCCESSFUL);
    EXPECT_EQ(QzCmdChPrivilage(adapter_.get(), nullptr, 6, 1, CH_PRIVILEGE_REQUEST, 1, 0, nullptr, nullptr, 0, 0),
              STATUS_UNSUCCESSFUL);
    EXPECT_EQ(QzCmdChPrivilage(adapter_.get(), port0_, 6, 1, 2, 1, 0, nullptr, nullptr, 0, 0), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(Sent().empty());
}

// A new port asks for the remembered last channel: only with "EnableWHQLConnectionEnhance" on and a
// channel of its band; the request is kind 2 for that channel and band, and the grant it got is
// given back at once.
TEST_P(ChPrivilegeTest, ChannelRestoreAsksForAValidLastChannelOnly)
{
    SetUpChip(GetParam());
    struct Row {
        const char* what;
        UCHAR enable, channel, band;
        bool sent;
    } rows[] = {
        {"switched off", 0, 36, 2, false},
        {"130 is no 5 GHz channel", 1, 130, 2, false},
        {"31 is no 6 GHz channel", 1, 31, 3, false},
        {"channel 36 of 5 GHz", 1, 36, 2, true},
        {"channel 14 of 2.4 GHz", 1, 14, 1, true},
    };
    for (const Row& r : rows) {
        ClearSent();
        adapter_->ChPrivilegeHeld = 0;
        adapter_->RegistryBlock.EnableWHQLConnectionEnhance = r.enable;
        adapter_->RegistryBlock.LastChannel = r.channel;
        adapter_->RegistryBlock.LastBand = r.band;
        (void)DoRestoreChannelPrivilege(adapter_.get(), port0_);
        RunCallbacks();
        if (GetParam() == kThirdGen) {
            auto sent = Unified();
            ASSERT_EQ(sent.size(), r.sent ? 2u : 0u) << r.what;
            if (r.sent) {
                EXPECT_NE(sent[1].Find(1), nullptr) << r.what << ": the release";
                const sim::fw::UniTlv* t = sent[0].Find(0);
                ASSERT_NE(t, nullptr) << r.what;
                EXPECT_EQ(t->value[2], r.channel) << r.what;
                EXPECT_EQ(t->value[4], r.band) << r.what;
                EXPECT_EQ(t->value[11], 2) << r.what;
            }
        } else {
            auto sent = Legacy();
            ASSERT_EQ(sent.size(), r.sent ? 2u : 0u) << r.what;
            if (r.sent) {
                EXPECT_EQ(sent[1].payload[2], 1) << r.what << ": the release";
                EXPECT_EQ(sent[1].payload[3], r.channel) << r.what;
                EXPECT_EQ(sent[0].payload[2], 0) << r.what;
                EXPECT_EQ(sent[0].payload[3], r.channel) << r.what;
                EXPECT_EQ(sent[0].payload[9], 2) << r.what;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothFormats, ChPrivilegeTest, ::testing::Values(kSecondGen, kThirdGen));

// ---- network-list offload ---------------------------------------------------------------------------
class NloTest : public FwCmdsTest {};

TEST_F(NloTest, ProfilesPerAlgorithmPairStopAtThePayloadsRoom)
{
    SetUpChip(kSecondGen);
    struct Row {
        ULONG networks, pairs;
        UCHAR hidden;
        uint8_t profiles, hiddenSsids;
    } rows[] = {{3, 2, 0, 6, 0}, {20, 1, 1, 16, 10}};
    for (const Row& r : rows) {
        ClearSent();
        std::vector<NLO_NETWORK> networks(r.networks);
        for (ULONG i = 0; i < r.networks; ++i) {
            networks[i] = NLO_NETWORK{};
            networks[i].SsidLength = 4;
            std::memcpy(networks[i].Ssid, "home", 4);
            networks[i].Hidden = r.hidden;
            networks[i].PairCount = static_cast<UCHAR>(r.pairs);
            for (ULONG p = 0; p < r.pairs; ++p) {
                networks[i].Pairs[p] = {7, 4};
            }
        }
        networks[0].HintCount = 2;
        networks[0].Hints[0] = {5, 37};
        networks[0].Hints[1] = {1, 0};
        NLO_REQUEST request{1, 2, 3, 4, r.networks, networks.data()};
        ASSERT_EQ(QzCmdConfigNLO(adapter_.get(), port0_, &request), STATUS_SUCCESS);
        const Bytes p = Legacy().at(0).payload;
        ASSERT_EQ(p.size(), 1224u);
        EXPECT_EQ(p[3], r.networks);
        ULONG profiles = 0;
        for (ULONG i = 0; i < NLO_PROFILE_MAX; ++i) {
            profiles += p[368 + 40 * i + 36] != 0 ? 1 : 0;
        }
        EXPECT_EQ(profiles, r.profiles);
        EXPECT_EQ(p[368 + 37], (r.hidden ? 0x80 : 0) | 7);
        ULONG hidden = 0;
        for (ULONG i = 0; i < NLO_HIDDEN_SSID_MAX; ++i) {
            hidden += p[8 + 36 * i] != 0 ? 1 : 0;
        }
        EXPECT_EQ(hidden, r.hiddenSsids);
        EXPECT_EQ(p[1008], 4);
        EXPECT_EQ(p[1009], 1) << "a zero channel is no hint";
        EXPECT_EQ(p[1012], 3) << "WDI band 5 is the 6 GHz band";
        EXPECT_EQ(p[1164], 1);
        EXPECT_EQ(p[1168], 3);
        EXPECT_EQ(p[1172], 2);
    }
}

TEST_F(NloTest, EnableMarksTheOffloadRunningOnlyForAStart)
{
    SetUpChip(kSecondGen);
    NLO_OFFLOAD_RECORD record{};
    EXPECT_EQ(QzCmdEnableNLO(adapter_.get(), port0_, &record, 0), STATUS_SUCCESS);
    EXPECT_EQ(record.Active, 1);
    EXPECT_EQ(QzCmdEnableNLO(adapter_.get(), port0_, &record, 1), STATUS_SUCCESS);
    EXPECT_EQ(record.Active, 0);
    auto sent = Legacy();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].payload, (Bytes{1, 0, 0, 0}));
}

TEST_F(NloTest, UnifiedScheduledScanCarriesUnpaddedHintsAndTheParameters)
{
    SetUpChip(kThirdGen);
    NLO_NETWORK network{};
    network.SsidLength = 2;
    network.PairCount = 1;
    network.HintCount = 3;
    network.Hints[0] = {1, 1};
    network.Hints[1] = {1, 6};
    network.Hints[2] = {2, 36};
    NLO_REQUEST request{10, 20, 30, 40, 1, &network};
    ASSERT_EQ(QzCmdConfigNLO(adapter_.get(), port0_, &request), STATUS_SUCCESS);
    auto sent = Unified();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].cmdId, 0x16);
    const sim::fw::UniTlv* hints = sent[0].Find(0x0C);
    ASSERT_NE(hints, nullptr);
    EXPECT_EQ(hints->value.size() + 4, 14u) << "3 hints, not padded";
    const sim::fw::UniTlv* params = sent[0].Find(0x05);
    ASSERT_NE(params, nullptr);
    EXPECT_EQ(params->value[0], 10);
    EXPECT_EQ(params->value[4], 30);
    EXPECT_EQ(params->value[8], 20);
    ASSERT_NE(sent[0].Find(0x0F), nullptr) << "one match set";
}

// ---- domain ----------------------------------------------------------------------------------------
// The domain command rebuilds the channel plan and list of the current country first: Japan, with the
// first-issue 6 GHz plan (channels 1-93), gives 14 channels of 2.4 GHz, 20 of 5 GHz and 24 of 6 GHz.
class DomainTest : public FwCmdsTest {
protected:
    void Japan()
    {
        adapter_->WorkingCfg.CountryCode = 0x504A;  // "JP" in text order
        adapter_->RegistryBlock.Country6GEn = 0;
        adapter_->Chip6GhzCapable = 1;
        adapter_->Cap.SixGCapable = 1;
        adapter_->RegistryBlock.Config_6G = 1;
    }
};

TEST_F(DomainTest, VersionTwoListsOnlyThe6GhzChannelsOfItsGrid)
{
    SetUpChip(kSecondGen);
    Japan();
    ASSERT_EQ(QzCmdSendDomainInfoCmd(adapter_.get(), port0_), STATUS_SUCCESS);
    const Bytes p = Legacy().at(0).payload;
    ASSERT_EQ(p.size(), 12u + 8 * (14 + 20 + 6));
    EXPECT_EQ(p[0], 'J');
    EXPECT_EQ(p[1], 'P');
    EXPECT_EQ(p[8], 14);
    EXPECT_EQ(p[9], 20);
    EXPECT_EQ(p[10], 6) << "of 1-93 only 5, 21, 37, 53, 69 and 85 are sent";
    EXPECT_EQ(p[12 + 8 * 13], 14);
    EXPECT_EQ(p[12 + 8 * 13 + 4], 2) << "channel 14 is restricted";
    EXPECT_EQ(p[12 + 8 * 18], 52);
    EXPECT_EQ(p[12 + 8 * 18 + 4], 8) << "the radar flag of channel 52";
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(p[12 + 8 * (34 + i)], 5 + 16 * i);
    }
}

TEST_F(DomainTest, VersionOneCarriesThePlanForDevice3504AndWithout6Ghz)
{
    for (USHORT id : {USHORT{0x3504}, kSecondGen}) {
        SetUpChip(id);
        Japan();
        if (id == kSecondGen) {
            adapter_->FwCap6GhzOff = 1;
        }
        ASSERT_EQ(QzCmdSendDomainInfoCmd(adapter_.get(), port0_), STATUS_SUCCESS);
        const Bytes p = Legacy().at(0).payload;
        ASSERT_EQ(p.size(), 104u);
        EXPECT_EQ(p[0], 'J');
        EXPECT_EQ(p[1], 'P');
        // {class, band, spacing, first, count} per slot, 8 bytes each from byte 4.
        const uint8_t slots[][5] = {{81, 1, 1, 1, 13}, {81, 1, 1, 14, 1}, {115, 2, 4, 36, 4},
                                    {118, 2, 4, 52, 4}, {121, 2, 4, 100, 12}, {131, 3, 4, 1, 24}};
        for (size_t s = 0; s < 6; ++s) {
            for (size_t f = 0; f < 5; ++f) {
                EXPECT_EQ(p[4 + 8 * s + f], slots[s][f]) << "slot " << s << " field " << f;
            }
        }
        EXPECT_EQ(p[4 + 8 * 6 + 1], 0) << "slot 6 is empty";
        TearDown();
        SetUp();
    }
}

TEST_F(DomainTest, UnifiedFormAlwaysCarriesTheChannelList)
{
    SetUpChip(kThirdGen);
    Japan();
    adapter_->FwCap6GhzOff = 1;
    ASSERT_EQ(QzCmdSendDomainInfoCmd(adapter_.get(), port0_), STATUS_SUCCESS);
    auto sent = Unified();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].cmdId, 0x15);
    const sim::fw::UniTlv* t = sent[0].Find(2);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->value.size() + 4, 8u * (14 + 20 + 1)) << "the 2.4 and 5 GHz channels without 6 GHz";
}

// One domain configuration: the firmware receives the rebuilt domain, the standard-power rule follows
// the country, and the Bluetooth companion reads the country from its registry key.
TEST_F(DomainTest, ConfiguringTheDomainSendsPublishesAndSelectsTheRule)
{
    const std::string btKey = "\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001\\Services\\ZUDEVIzirerO64\\Parameters\\qzlbt\\region";
    struct Row {
        USHORT country;  // text order
        const char* text;
        UCHAR roaming;
        ULONG ruleRecords;
    } rows[] = {{0x5355, "US", 0, 4}, {0x4644, "DF", 1, 0}, {0x5246, "FR", 0, 0}};
    for (const Row& r : rows) {
        SetUpChip(kSecondGen);
        ClearSent();
        kshim::host::RegistryCreateKey(btKey.substr(0, btKey.rfind('\\')));  // the companion is installed
        Japan();
        adapter_->WorkingCfg.CountryCode = r.country;
        adapter_->RegistryBlock.Country6GSPEn = 2;
        adapter_->RegistryBlock.CountryRoamingEn = r.roaming;
        EXPECT_EQ(DomainConfigureDomainInfo(adapter_.get(), port0_), STATUS_SUCCESS) << r.text;
        auto sent = Legacy();
        ASSERT_EQ(sent.size(), 1u) << r.text << ": only the domain, no power limits";
        EXPECT_EQ(sent[0].payload.at(0), r.text[0]);
        EXPECT_EQ(sent[0].payload.at(1), r.text[1]);
        EXPECT_EQ(kshim::host::RegistryGetString(btKey, "country").value_or("none"), r.text);
        EXPECT_EQ(adapter_->SpRulePlan.RecordCount, r.ruleRecords) << r.text;
        if (r.ruleRecords != 0) {
            // 1-93, 97-117, 121-185 accepted; 189-233 refused.
            const UCHAR first[] = {1, 97, 121, 189};
            const UCHAR count[] = {24, 6, 17, 12};
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(adapter_->SpRulePlan.Records[i].Band, 3);
                EXPECT_EQ(adapter_->SpRulePlan.Records[i].FirstChannel, first[i]);
                EXPECT_EQ(adapter_->SpRulePlan.Records[i].ChannelCount, count[i]);
                EXPECT_EQ(adapter_->SpRulePlan.Records[i].ChannelSpacing, 4);
                EXPECT_EQ(adapter_->SpRulePlan.Records[i].PowerMode, i == 3 ? 3u : 0u);
            }
        }
        TearDown();
        SetUp();
    }
}

TEST_F(DomainTest, UnifiedDomainBuilderBoundsItsChannelCount)
{
    SetUpChip(kThirdGen);
    struct Row {
        uint8_t a, b, c;
        NTSTATUS status;
    } rows[] = {{100, 100, 56, STATUS_INSUFFICIENT_RESOURCES}, {100, 100, 55, STATUS_SUCCESS}};
    for (const Row& r : rows) {
        ClearSent();
        const size_t n = static_cast<size_t>(r.a) + r.b + r.c;
        Bytes legacy(12 + 8 * n, 0);
        legacy[8] = r.a;
        legacy[9] = r.b;
        legacy[10] = r.c;
        EXPECT_EQ(Send(0x0F, 8, legacy), r.status);
        if (r.status == STATUS_SUCCESS) {
            auto sent = Unified();
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_EQ(sent[0].Find(2)->value.size() + 4, 2048u);
        }
    }
    ClearSent();
    EXPECT_EQ(Send(0x0F, 8, Bytes(104, 0)), STATUS_UNI_CMD_NOT_ACCEPTED) << "the sub-band form has no unified form";
    EXPECT_TRUE(Sent().empty());
}

}  // namespace
}  // namespace fwcmdstest
