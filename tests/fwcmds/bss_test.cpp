// Network activation, station-record removal, key removal, EDCA, power-management and beacon template
// commands, and the unified builders and tag lists of the BSS and station-record commands.
#include "Common/mlme/mlmeinfo.h"
#include "Common/nic_uni_cmd_builder.h"
#include "fwcmds/fwcmds_fixture.h"
#include "hal/common/hal_postdl.h"

namespace fwcmdstest {
namespace {

class BssTest : public FwCmdsTest {};

TEST_F(BssTest, DeactivationRemovesEveryStationRecordBeforeTheActivationBytesChange)
{
    SetUpChip(kSecondGen);
    port0_->NetworkActivation[0] = 1;
    ASSERT_EQ(QzCmdActivateDeactivateNetwork(adapter_.get(), 0, 0), STATUS_SUCCESS);
    auto sent = Legacy();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].cmdId, FW_CMD_ID_BSS_ACTIVATE);
    EXPECT_EQ(sent[0].payload[1], 0);
    EXPECT_EQ(sent[1].cmdId, FW_CMD_ID_STA_REC_REMOVE);
    EXPECT_EQ(sent[1].payload, (Bytes{1, 20, 0, 0}));
    EXPECT_EQ(port0_->NetworkActivation[0], 0);

    ClearSent();
    port0_->MacAddress[0] = 0x02;
    ASSERT_EQ(QzCmdActivateDeactivateNetwork(adapter_.get(), 0, 1), STATUS_SUCCESS);
    sent = Legacy();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload[1], 1);
    EXPECT_EQ(sent[0].payload[4], 0x02);
    EXPECT_EQ(port0_->NetworkActivation[0], 1);
    EXPECT_EQ(QzCmdActivateDeactivateNetwork(adapter_.get(), 3, 1), STATUS_UNSUCCESSFUL) << "no port of BSS 3";
}

TEST_F(BssTest, UnifiedActivationOrdersDeviceAndBssInformationByDirection)
{
    SetUpChip(kThirdGen);
    adapter_->BssIndexSlots[4].InUse = 1;
    adapter_->BssIndexSlots[4].Port = port0_;
    port0_->BssIndex = 4;
    ASSERT_EQ(QzCmdActivateDeactivateNetwork(adapter_.get(), 4, 1), STATUS_SUCCESS);
    auto sent = Unified();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].cmdId, 0x01);
    EXPECT_EQ(sent[0].fixed[1], 0xFE) << "BSS 4 is the device's";
    EXPECT_EQ(sent[1].cmdId, 0x02);
    EXPECT_EQ(sent[1].payload.size(), 56u);
    EXPECT_NE(sent[1].Find(0x1A), nullptr) << "an activation carries the MLD tag";

    ClearSent();
    ASSERT_EQ(QzCmdActivateDeactivateNetwork(adapter_.get(), 4, 0), STATUS_SUCCESS);
    sent = Unified();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0].cmdId, 0x02);
    EXPECT_EQ(sent[0].payload.size(), 36u);
    EXPECT_EQ(sent[1].cmdId, 0x01);
}

TEST_F(BssTest, BeaconTemplateLongerThan600BytesIsRefused)
{
    SetUpChip(kSecondGen);
    Bytes frame(601, 0x80);
    EXPECT_EQ(QzCmdUpdateBeacon(adapter_.get(), port0_, 1, frame.data(), 601), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(QzCmdUpdateBeacon(adapter_.get(), port0_, 1, frame.data(), 600), STATUS_SUCCESS);
    auto sent = Legacy();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload.size(), 608u);
    EXPECT_EQ(U16(sent[0].payload, 6), 600);
}

TEST_F(BssTest, EdcaWindowsByGenerationAndTheTxopFloor)
{
    for (USHORT id : {kSecondGen, kThirdGen}) {
        SetUpChip(id);
        adapter_->RegistryBlock.TxopLimit = 94;
        QZ_EDCA_PARAMS edca{};
        edca.Ac[0] = {3, 4, 10, 0, 0};
        edca.Ac[1] = {2, 3, 4, 47, 1};
        ASSERT_EQ(QzCmdSetEdcaParm(adapter_.get(), port0_, &edca), STATUS_SUCCESS);
        Bytes p;
        if (id == kThirdGen) {
            auto sent = Unified();
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_EQ(sent[0].cmdId, 0x04);
            const auto& ac0 = sent[0].tlvs.at(0).value;
            EXPECT_EQ(ac0[2], 4) << "the exponent as it is";
            EXPECT_EQ(ac0[3], 10);
            EXPECT_EQ(ac0[4], 94) << "access category 0 gets at least the configured TXOP";
        } else {
            p = Legacy().at(0).payload;
            ASSERT_EQ(p.size(), 44u);
            EXPECT_EQ(U16(p, 0), 15) << "2^4 - 1";
            EXPECT_EQ(U16(p, 2), 1023);
            EXPECT_EQ(U16(p, 4), 94);
            EXPECT_EQ(U16(p, 14), 47);
            EXPECT_EQ(p[19], 1);
        }
        TearDown();
        SetUp();
    }
}

TEST_F(BssTest, KeyRemovalNamesThePeerAndTheFirmwareCipher)
{
    SetUpChip(kSecondGen);
    CIPHER_KEY key{};
    key.CipherAlg = 2;
    KEY_REQUEST request{};
    request.Install = 0;
    request.BssIndex = 0;
    request.WlanIndex = 3;
    request.KeyKind = KEY_KIND_PAIRWISE;
    request.KeyIndex = 1;
    request.Key = &key;
    request.PeerAddress[5] = 9;
    ASSERT_EQ(QzCmdSetAddDeleteKey(adapter_.get(), &request), STATUS_SUCCESS);
    const Bytes p = Legacy().at(0).payload;
    ASSERT_EQ(p.size(), 64u);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 1);
    EXPECT_EQ(p[9], 9);
    EXPECT_EQ(p[11], 5) << "driver cipher 2 is firmware cipher 5";
    EXPECT_EQ(p[12], 1);
    EXPECT_EQ(p[14], 3);
    const struct {
        UCHAR driver, firmware;
    } ciphers[] = {{1, 1}, {2, 5}, {3, 2}, {4, 4}, {6, 6}, {12, 12}, {17, 17}, {5, 0}, {9, 0}};
    for (const auto& c : ciphers) {
        EXPECT_EQ(QzCmdFwCipher(c.driver), c.firmware) << static_cast<int>(c.driver);
    }
}

// ---- unified builders -------------------------------------------------------------------------------
class BuilderTest : public FwCmdsTest {};

TEST_F(BuilderTest, RadioLinkBandwidthCodes)
{
    SetUpChip(kThirdGen);
    const struct {
        uint8_t legacyWidth, secondaryOffset, unified;
    } rows[] = {{0, 0, 0}, {0, 1, 1}, {1, 0, 2}, {2, 0, 3}, {3, 0, 6}, {4, 0, 7}, {9, 0, 0}};
    for (const auto& r : rows) {
        ClearSent();
        Bytes legacy(22, 0);
        legacy[3] = r.secondaryOffset;
        legacy[15] = r.legacyWidth;
        legacy[14] = 1;
        ASSERT_EQ(Send(0x19, 8, legacy), STATUS_SUCCESS);
        auto sent = Unified();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].Find(2)->value[3], r.unified) << static_cast<int>(r.legacyWidth);
        EXPECT_EQ(U16(sent[0].Find(0x17)->value, 4), 9) << "short slot";
    }
}

TEST_F(BuilderTest, LengthsFromTheLegacyPayloadAreCheckedAgainstIt)
{
    SetUpChip(kThirdGen);
    Bytes beacon(8 + 10, 0);
    beacon[6] = 11;  // one byte more than carried
    Bytes multicast(204, 0);
    multicast[0] = 33;
    Bytes customer(284, 0);
    customer[10] = 0x11;  // 273 bytes
    customer[11] = 0x01;
    const struct {
        const char* what;
        UCHAR cmd;
        Bytes legacy;
    } rows[] = {
        {"beacon template longer than its payload", 0x18, beacon},
        {"more multicast addresses than the list holds", 0xC1, multicast},
        {"customer item longer than its room", 0x70, customer},
        {"monitor setting too short to read", 0xFC, Bytes(10, 0)},
        {"scheduled scan shorter than its request", 0x62, Bytes(1223, 0)},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Send(r.cmd, 8, r.legacy), STATUS_UNI_CMD_NOT_ACCEPTED) << r.what;
    }
    EXPECT_TRUE(Sent().empty());
    multicast[0] = 0;
    EXPECT_EQ(Send(0xC1, 8, multicast), STATUS_SUCCESS);
    EXPECT_EQ(Unified().at(0).payload.size(), 12u) << "no address: the fixed part and one tag";
}

TEST_F(BuilderTest, ScanTagsLeftOutWhenEmptyAndPaddedChannels)
{
    SetUpChip(kThirdGen);
    Bytes legacy(SCAN_V2_PAYLOAD_SIZE, 0);
    ASSERT_EQ(Send(0x03, 16, legacy), STATUS_SUCCESS);
    auto sent = Unified();
    ASSERT_EQ(sent.size(), 1u);
    std::vector<uint16_t> tags;
    for (const auto& t : sent[0].tlvs) {
        tags.push_back(t.tag);
    }
    EXPECT_EQ(tags, (std::vector<uint16_t>{0x01, 0x0B, 0x0E}));

    ClearSent();
    legacy[4] = 9;   // SSIDs asked for
    legacy[158] = 4;
    legacy[159] = 3;
    ASSERT_EQ(Send(0x03, 16, legacy), STATUS_SUCCESS);
    sent = Unified();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Find(0x0C)->value.size() + 4, 16u) << "6 bytes padded to 8, plus 8";
    EXPECT_EQ(sent[0].Find(0x0A)->value[1], 4) << "only four SSIDs";
}

TEST_F(BuilderTest, StationRecordWithoutHeOrEhtLeavesTheirTagsOut)
{
    SetUpChip(kThirdGen);
    Bytes legacy(236, 0);
    legacy[1] = 0x41;
    legacy[12] = 0;
    legacy[54] = 5;
    legacy[40] = 0x02;
    ASSERT_EQ(Send(0x13, 8, legacy), STATUS_SUCCESS);
    auto sent = Unified();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].cmdId, 0x03);
    EXPECT_EQ(sent[0].fixed[1], 5) << "the WLAN index in the station head";
    EXPECT_EQ(sent[0].Find(0x19), nullptr);
    EXPECT_EQ(sent[0].Find(0x17), nullptr);
    EXPECT_EQ(sent[0].Find(0x22), nullptr);
    EXPECT_EQ(sent[0].Find(0x0A), nullptr) << "no VHT";
    ASSERT_NE(sent[0].Find(0x09), nullptr);
    EXPECT_EQ(sent[0].Find(0x00)->value[0], 0x02) << "entry type 0x41: connection type 0x10002";
    EXPECT_EQ(sent[0].Find(0x00)->value[2], 0x01);
}

TEST_F(BuilderTest, PhyTypeSetAndConnectionTypes)
{
    SetUpChip(kThirdGen);
    EXPECT_EQ(nicUniCmdBssInfoPhyTypeSet(0x01), 0x002);
    EXPECT_EQ(nicUniCmdBssInfoPhyTypeSet(0x04), 0x000);
    EXPECT_EQ(nicUniCmdBssInfoPhyTypeSet(0xFF), 0x002 | 0x004 | 0x001 | 0x018 | 0x020 | 0x1C0 | 0xE00);
    port0_->PortType = EXTSTA;
    port0_->FwModeWord = 0;
    EXPECT_EQ(nicUniCmdBssInfoConnType(port0_), 0x10001u);
    port0_->FwModeWord = 1;
    port0_->OperationModeCode = 8;
    EXPECT_EQ(nicUniCmdBssInfoConnType(port0_), 0x20000u);
    port0_->OperationModeCode = 16;
    EXPECT_EQ(nicUniCmdBssInfoConnType(port0_), 0x20002u);
    EXPECT_EQ(nicUniCmdStaRecConnType(0x22), 0x20001u);
    EXPECT_EQ(nicUniCmdStaRecConnType(0x99), 0x10001u);
}

TEST_F(BuilderTest, StationRemovalNeedsAKnownStationRecord)
{
    SetUpChip(kThirdGen);
    EXPECT_EQ(Send(0x14, 8, {0, 25, 0, 0}), STATUS_UNI_CMD_INVALID_DATA);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Send(0x14, 8, {1, 20, 0, 0}), STATUS_SUCCESS);
    auto sent = Unified();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].fixed[1], 0);
    EXPECT_EQ(sent[0].Find(0x25)->value[0], 1);
}

}  // namespace
}  // namespace fwcmdstest

namespace fwcmdstest {
namespace {

TEST_F(BssTest, SpatialReuseTravelsAsTheUnifiedSpatialReuseCommandOfItsOwnBuilder)
{
    SetUpChip(kThirdGen);
    port0_->SrControl[0] = 0x11;
    port0_->SrBssColorBitmap = 0x0102030405060708ull;
    ASSERT_EQ(QZcmdnicRlmUpdateSRParams(adapter_.get(), port0_), STATUS_SUCCESS);
    auto sent = Unified();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].cmdId, 0x25);
    const sim::fw::UniTlv* t = sent[0].Find(0x87);
    ASSERT_NE(t, nullptr) << "legacy 0xB1 reaches its own builder, not the extended 0xA8 one";
    EXPECT_EQ(t->value[5], 0x11);
    EXPECT_EQ(t->value[12], 0x08);
    EXPECT_EQ(t->value[19], 0x01);
}

TEST_F(BssTest, MuEdcaCarriesThePortsRecord)
{
    SetUpChip(kSecondGen);
    port0_->MuEdcaParams[0] = 0x2F;
    port0_->WmmInUse = 1;
    ASSERT_EQ(QZcmdnicQmUpdateMUEdcaParams(adapter_.get(), port0_), STATUS_SUCCESS);
    const Bytes p = Legacy().at(0).payload;
    ASSERT_EQ(p.size(), 72u);
    EXPECT_EQ(p[5], 1);
    EXPECT_EQ(p[8], 0x2F);
}

}  // namespace
}  // namespace fwcmdstest
