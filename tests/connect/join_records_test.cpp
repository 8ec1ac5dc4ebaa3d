// The station record, BSS information and radio-link parameters the firmware receives, on the second
// generation (legacy payloads, byte for byte) and the third (unified commands, read back through the
// firmware's records).
#include "connect/join_fixture.h"

namespace jointest {
namespace {

using fwcmdstest::U16;

const UCHAR kApAddress[6] = {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};

// An HT access point: HT capability information 0x01EE (40 MHz bit 1 set), A-MPDU parameters 0x17,
// MCS 0-15, extended capabilities 0x0400, transmit beamforming 0x11223344, antenna selection 0x05.
void MakeHtPeer(PMAC_TABLE_ENTRY e)
{
    std::memcpy(e->Addr, kApAddress, 6);
    e->PeerHtCapability[0] = 0xEE;
    e->PeerHtCapability[1] = 0x01;
    e->PeerHtCapability[2] = 0x17;
    e->PeerHtCapability[3] = 0xFF;
    e->PeerHtCapability[4] = 0xFF;
    e->PeerHtCapability[19] = 0x00;
    e->PeerHtCapability[20] = 0x04;
    e->PeerHtCapability[21] = 0x44;
    e->PeerHtCapability[22] = 0x33;
    e->PeerHtCapability[23] = 0x22;
    e->PeerHtCapability[24] = 0x11;
    e->PeerHtCapability[25] = 0x05;
    e->PhyModeFlags = 0x10 | 0x02 | 0x01;
    e->SupportedRateBitmap = 0x3FCF;
    e->LegacyRateBitmap = 0x3FCF;
    e->BasicRateBitmap = 0x000F;
    e->InitialTxRate = 0x4B;
    e->Dot11State = 3;
    e->Aid = 5;
}

class StaRecTest : public JoinTest {};

TEST_F(StaRecTest, SecondGenerationSends202BytesWithTheHtPeerAsTheTextLaysItOut)
{
    SetUpStation(kSecondGen);
    MakeHtPeer(peer_);
    port0_->WmmInUse = 1;
    port0_->BaWindowLimit = 64;
    adapter_->Mlme.ListenInterval = 10;
    ASSERT_EQ(QzCmdSendStaRecUpdate(adapter_.get(), port0_, nullptr, nullptr), STATUS_SUCCESS);
    const auto sent = LegacyPayloads(0x13);
    ASSERT_EQ(sent.size(), 1u);
    const Bytes& p = sent[0];
    ASSERT_EQ(p.size(), 202u);
    EXPECT_EQ(p[0], peer_->StaRecIdx);
    EXPECT_EQ(p[1], 0x41);
    EXPECT_EQ(Bytes(p.begin() + 2, p.begin() + 8), Bytes(kApAddress, kApAddress + 6));
    EXPECT_EQ(U16(p, 8), 5) << "association id";
    EXPECT_EQ(U16(p, 10), 10) << "the adapter's own listen interval for a station port";
    EXPECT_EQ(p[12], 0);
    EXPECT_EQ(p[13], 0x13);
    EXPECT_EQ(U16(p, 14), 0x3FCF);
    EXPECT_EQ(U16(p, 16), 0x000F);
    EXPECT_EQ(p[18], 1);
    EXPECT_EQ(p[20], 2) << "associated";
    EXPECT_EQ(p[21], 0xFF);
    EXPECT_EQ(p[22], 0);
    EXPECT_EQ(p[23], 1);
    EXPECT_EQ(Bytes(p.begin() + 24, p.begin() + 34), (Bytes{0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(U16(p, 40), 0x01EE);
    EXPECT_EQ(U16(p, 42), 0x0400);
    EXPECT_EQ(U32(p, 44), 0x11223344u);
    EXPECT_EQ(p[48], 0x17);
    EXPECT_EQ(p[49], 0x05);
    EXPECT_EQ(p[51], 1);
    EXPECT_EQ(p[54], peer_->WlanIdx);
    EXPECT_EQ(p[55], 0xFF);
    EXPECT_EQ(p[68], 3);
    EXPECT_EQ(p[69], 0) << "not a VHT peer";
    EXPECT_EQ(U16(p, 74), 0x4B);
    EXPECT_EQ(p[92], 64) << "an HT peer carries the port's block-ack size twice";
    EXPECT_EQ(p[93], 64);
    EXPECT_EQ(U16(p, 94), 0);
}

TEST_F(StaRecTest, BlockAckWindowsByPeerKind)
{
    struct Row {
        UCHAR phy;
        uint16_t first;
        uint16_t second;
    };
    // HE: the two halves of "BaSize_11AX" (256 each by default); EHT: 1024 and 1024.
    const Row rows[] = {{0x10 | 0x40, 256, 256}, {0x10 | 0x40 | 0x80, 1024, 1024}};
    for (const Row& row : rows) {
        SetUpStation(kSecondGen);
        ClearSent();
        MakeHtPeer(peer_);
        peer_->PhyModeFlags = row.phy;
        port0_->Rlm.He.BaSizeLow = 256;
        port0_->Rlm.He.BaSizeHigh = 256;
        ASSERT_EQ(QzCmdSendStaRecUpdate(adapter_.get(), port0_, peer_, nullptr), STATUS_SUCCESS);
        const Bytes p = LegacyPayloads(0x13).at(0);
        EXPECT_EQ(U16(p, 92), row.first) << int(row.phy);
        EXPECT_EQ(U16(p, 94), row.second) << int(row.phy);
        TearDown();
        SetUp();
    }
}

TEST_F(StaRecTest, BandwidthSelectionClearsThe40MhzBitInTheEntryItself)
{
    SetUpStation(kSecondGen);
    MakeHtPeer(peer_);
    port0_->Channel.Band = 1;
    adapter_->RegistryBlock.BWSelection24G = 1;
    ASSERT_EQ(QzCmdSendStaRecUpdate(adapter_.get(), port0_, peer_, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(U16(LegacyPayloads(0x13).at(0), 40), 0x01EC);
    EXPECT_EQ(peer_->PeerHtCapability[0], 0xEC) << "a later user of the entry sees the bit cleared";

    // The 5 GHz setting leaves a 2.4 GHz peer alone.
    ClearSent();
    peer_->PeerHtCapability[0] = 0xEE;
    adapter_->RegistryBlock.BWSelection24G = 0;
    adapter_->RegistryBlock.BWSelection5G = 1;
    ASSERT_EQ(QzCmdSendStaRecUpdate(adapter_.get(), port0_, peer_, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(U16(LegacyPayloads(0x13).at(0), 40), 0x01EE);
}

TEST_F(StaRecTest, TheNamedTelevisionGetsNoAmsduUnlessTheHotspotOptimisationIsOn)
{
    SetUpStation(kSecondGen);
    MakeHtPeer(peer_);
    adapter_->WorkingCfg.AMSDUTx = 1;
    adapter_->WorkingCfg.AMSDURx = 1;
    port0_->WirelessMode = 9;
    ASSERT_EQ(QzCmdSendStaRecUpdate(adapter_.get(), port0_, peer_, nullptr), STATUS_SUCCESS);
    Bytes p = LegacyPayloads(0x13).at(0);
    EXPECT_EQ(p[128], 1);
    EXPECT_EQ(p[129], 1);

    const char name[] = "[LG] webOS TV UK6320PWE";
    std::memcpy(peer_->DeviceName, name, sizeof(name) - 1);
    peer_->DeviceNameLen = sizeof(name) - 1;
    ClearSent();
    ASSERT_EQ(QzCmdSendStaRecUpdate(adapter_.get(), port0_, peer_, nullptr), STATUS_SUCCESS);
    p = LegacyPayloads(0x13).at(0);
    EXPECT_EQ(p[128], 0);
    EXPECT_EQ(p[129], 0);

    adapter_->RegistryBlock.HotspotMCCTputOptimization = 1;
    ClearSent();
    ASSERT_EQ(QzCmdSendStaRecUpdate(adapter_.get(), port0_, peer_, nullptr), STATUS_SUCCESS);
    p = LegacyPayloads(0x13).at(0);
    EXPECT_EQ(p[128], 0);
    EXPECT_EQ(p[129], 1);
}

TEST_F(StaRecTest, ThirdGenerationRecordReachesTheFirmwareAsUnifiedTags)
{
    SetUpStation(kThirdGen);
    MakeHtPeer(peer_);
    port0_->BaWindowLimit = 64;
    ASSERT_EQ(QzCmdSendStaRecUpdate(adapter_.get(), port0_, peer_, nullptr), STATUS_SUCCESS);
    const auto& records = Records();
    auto sta = records.Station(peer_->WlanIdx);
    ASSERT_TRUE(sta.has_value());
    EXPECT_TRUE(sta->unified);
    EXPECT_EQ(sta->address, (std::array<uint8_t, 6>{0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x01}));
    EXPECT_EQ(sta->bssIndex, 0);
    EXPECT_EQ(sta->state, 2);
    EXPECT_EQ(sta->htCapInfo, 0x01EE);
    EXPECT_EQ(sta->baWindow[0], 64);
    EXPECT_EQ(sta->baWindow[1], 64);
    EXPECT_EQ(records.Malformed(), 0u);
}

TEST_F(StaRecTest, NoEntryIsRefusedWithNothingSent)
{
    SetUpChip(kSecondGen);
    EXPECT_EQ(QzCmdSendStaRecUpdate(adapter_.get(), port0_, nullptr, nullptr), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(QzCmdSetBssInfo(adapter_.get(), port0_, 0), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(QzCmdSetBssRlmParam(adapter_.get(), port0_), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(Sent().empty());
}

class BssInfoTest : public JoinTest {
protected:
    void FiveGhzPeer()
    {
        MakeHtPeer(peer_);
        port0_->Channel.Band = 2;
        port0_->Channel.PrimaryChannel = 36;
        // HT operation: primary 36, secondary above, RIFS, protection bytes 2-3 = 0x0006.
        peer_->PeerHtOperation[0] = 36;
        peer_->PeerHtOperation[1] = 0x09;
        peer_->PeerHtOperation[2] = 0x06;
        peer_->PeerHtOperation[4] = 0x01;
        peer_->ErpProtection = 0;
        peer_->HtProtectionMode = 2;
        peer_->RifsMode = 1;
    }
};

TEST_F(BssInfoTest, RadioLinkWidthOf160MhzSignalledThroughSegmentOne)
{
    SetUpStation(kSecondGen);
    FiveGhzPeer();
    adapter_->HalInfo.MaxBandwidth = 3;
    adapter_->Cap.ChipStreams = 0x22;
    peer_->PhyModeFlags |= 0x20 | 0x40;
    peer_->Rlm.HePhyCap[0] = 0x0C;  // 40/80 and 160 MHz in 5 GHz
    // VHT operation: width 1 with centre 42 and centre 50.
    peer_->PeerVhtOperation[0] = 1;
    peer_->PeerVhtOperation[1] = 42;
    peer_->PeerVhtOperation[2] = 50;
    ASSERT_EQ(QzCmdSetBssRlmParam(adapter_.get(), port0_), STATUS_SUCCESS);
    const Bytes p = LegacyPayloads(0x19).at(0);
    ASSERT_EQ(p.size(), 22u);
    const Bytes expected = {0, 2, 36, 1, 0, 2, 0, 1, 0x01, 0x00, 0x06, 0x00, 0x09, 0, 1, 2, 50, 0, 0x0F, 0x00, 2, 2};
    EXPECT_EQ(p, expected);

    // A chip whose widest bandwidth is 80 MHz keeps the announced 80 MHz.
    ClearSent();
    adapter_->HalInfo.MaxBandwidth = 2;
    ASSERT_EQ(QzCmdSetBssRlmParam(adapter_.get(), port0_), STATUS_SUCCESS);
    const Bytes q = LegacyPayloads(0x19).at(0);
    EXPECT_EQ(q[15], 1);
    EXPECT_EQ(q[16], 42);
    EXPECT_EQ(q[17], 0);
}

TEST_F(BssInfoTest, RadioLinkOfBssIndexFourIsNotSent)
{
    SetUpStation(kSecondGen);
    FiveGhzPeer();
    port0_->BssIndex = 4;
    EXPECT_EQ(QzCmdSetBssRlmParam(adapter_.get(), port0_), STATUS_SUCCESS);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(BssInfoTest, BssInformationBeforeLinkUpCarriesTheNetworkAndCapsTheStreams)
{
    SetUpStation(kSecondGen);
    FiveGhzPeer();
    const char ssid[] = "qzl-open";
    std::memcpy(port0_->CurrentSsid, ssid, 8);
    port0_->CurrentSsidLen = 8;
    std::memcpy(port0_->Bssid, kApAddress, 6);
    port0_->WmmInUse = 1;
    port0_->ConnectionType = 1;
    peer_->AuthMode = 2;  // shared key: firmware mode 1
    peer_->PhyModeFlagsCopy = 0x18;
    adapter_->Cap.ChipStreams = 0x11;  // one transmit stream
    ASSERT_EQ(QzCmdSetBssInfo(adapter_.get(), port0_, 0), STATUS_SUCCESS);
    const Bytes p = LegacyPayloads(0x12).at(0);
    ASSERT_EQ(p.size(), 116u);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 1) << "link not up yet";
    EXPECT_EQ(p[2], 0);
    EXPECT_EQ(p[3], 8);
    EXPECT_EQ(Bytes(p.begin() + 4, p.begin() + 12), Bytes(ssid, ssid + 8));
    EXPECT_EQ(Bytes(p.begin() + 36, p.begin() + 42), Bytes(kApAddress, kApAddress + 6));
    EXPECT_EQ(p[42], 1);
    EXPECT_EQ(U16(p, 44), 0x3FCF);
    EXPECT_EQ(U16(p, 46), 0x000F);
    EXPECT_EQ(p[48], peer_->StaRecIdx);
    EXPECT_EQ(U16(p, 50), 0x4B);
    EXPECT_EQ(p[53], 1);
    EXPECT_EQ(p[54], 1);
    EXPECT_EQ(p[55], 0x18);
    EXPECT_EQ(p[58], port0_->MacTab.OwnWlanIdx);
    EXPECT_EQ(p[61], 0);
    EXPECT_EQ(p[68 + 2], 36);
    EXPECT_EQ(p[68 + 20], 1) << "radio-link streams capped by the chip";
    EXPECT_EQ(p[90], 4);
    EXPECT_EQ(p[93], 1) << "two streams offered, one allowed";
    EXPECT_EQ(peer_->PeerHtCapability[4], 0) << "capping clears the entry's MCS 8-15";
    EXPECT_EQ(port0_->StreamCount, 1);

    // Third generation: the firmware's BSS record holds the BSSID and the radio link.
    TearDown();
    SetUp();
    SetUpStation(kThirdGen);
    ClearSent();
    FiveGhzPeer();
    std::memcpy(port0_->Bssid, kApAddress, 6);
    ASSERT_EQ(QzCmdSetBssInfo(adapter_.get(), port0_, 0), STATUS_SUCCESS);
    auto bss = Records().Bss(0);
    ASSERT_TRUE(bss.has_value());
    EXPECT_TRUE(bss->unified);
    EXPECT_EQ(bss->bssid, (std::array<uint8_t, 6>{0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x01}));
    EXPECT_EQ(bss->primaryChannel, 36);
    EXPECT_EQ(bss->band, 2);
}

}  // namespace
}  // namespace jointest
