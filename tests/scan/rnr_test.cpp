// Reduced neighbour reports: the 6 GHz neighbours a 2.4/5 GHz access point announces become
// neighbour-AP records (at most four BSSIDs, channels, SSIDs and short SSIDs each), a neighbour
// already known is skipped and gives back its channel, a malformed field ends the element, and a
// record becomes a directed scan request of channel type 8.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmesync_rnr.h"
#include "bss/bss_fixture.h"
#include "platform/ndiscommon/adapter.h"

namespace {

using bsstest::Bytes;

// One TBTT Information field of a Neighbor AP Information field.
struct Tbtt {
    UCHAR last;             // last byte of the BSSID (the rest is 02:66:00:00:00)
    ULONG shortSsid = 0;    // written for lengths 11 and 12
    UCHAR bssParams = 0;    // written for lengths 8, 9 and 12
};

// A Neighbor AP Information field: header (count in bits 4..7, length in byte 1), operating class,
// channel, then the TBTT Information fields of `length` bytes each.
Bytes Field(UCHAR operatingClass, UCHAR channel, UCHAR length, const std::vector<Tbtt>& entries)
{
    Bytes f{static_cast<UCHAR>((entries.size() - 1) << 4), length, operatingClass, channel};
    for (const Tbtt& t : entries) {
        Bytes info(length, 0);
        if (length >= 7) {
            const UCHAR bssid[6] = {0x02, 0x66, 0, 0, 0, t.last};
            std::memcpy(info.data() + 1, bssid, 6);
        }
        if (length == 8 || length == 9) {
            info[7] = t.bssParams;
        }
        if (length >= 11) {
            std::memcpy(info.data() + 7, &t.shortSsid, 4);
        }
        if (length >= 12) {
            info[11] = t.bssParams;
        }
        f.insert(f.end(), info.begin(), info.end());
    }
    return f;
}

Bytes RnrElement(std::initializer_list<Bytes> fields)
{
    Bytes body = bsstest::Cat(fields);
    return bsstest::IeOf(201, body);
}

class Rnr : public bsstest::BssTest {
protected:
    void SetUp() override
    {
        BssTest::SetUp();
        port_->BssIndex = 3;
        SetChannels({{1, BAND_24G}, {36, BAND_5G}, {5, BAND_6G}, {21, BAND_6G}, {37, BAND_6G}, {53, BAND_6G},
                     {69, BAND_6G}, {85, BAND_6G}});
        ScanNeighborAPInfoListInit(adapter_, &adapter_->NeighborApList);
    }
    void TearDown() override
    {
        ScanNeighborAPInfoListDeInit(adapter_, &adapter_->NeighborApList);
        EXPECT_EQ(adapter_->NeighborApList.Count, 0u);
        BssTest::TearDown();
    }

    void Parse(const Bytes& element, const char* ssid = "home")
    {
        scanParseRnrElement(adapter_, port_, element.data(), static_cast<ULONG>(element.size()),
                            static_cast<UCHAR>(std::strlen(ssid)), reinterpret_cast<const UCHAR*>(ssid));
    }

    // The records of the list, taken off it in order (freed by the caller's unique_ptr deleter).
    struct Free {
        MP_ADAPTER* adapter;
        void operator()(NEIGHBOR_AP_INFO* r) const { ScanNeighborAPInfoListFreeEntry(adapter, r); }
    };
    using Record = std::unique_ptr<NEIGHBOR_AP_INFO, Free>;
    std::vector<Record> Take()
    {
        std::vector<Record> out;
        while (PNEIGHBOR_AP_INFO r = ScanNeighborAPInfoListRemoveHead(adapter_, &adapter_->NeighborApList)) {
            out.emplace_back(r, Free{adapter_});
        }
        return out;
    }
};

TEST_F(Rnr, FiveNeighboursMakeTwoRecordsOfAtMostFourChannelsAndShortSsids)
{
    const UCHAR channels[5] = {5, 21, 37, 53, 69};
    Bytes body;
    for (UCHAR i = 0; i < 5; ++i) {
        const Bytes f = Field(131, channels[i], 11, {{static_cast<UCHAR>(0x10 + i), 0xA0A0A0A0u + i}});
        body.insert(body.end(), f.begin(), f.end());
    }
    Parse(bsstest::IeOf(201, body));
    auto records = Take();
    ASSERT_EQ(records.size(), 2u);
    const NEIGHBOR_AP_INFO& first = *records[0];
    EXPECT_EQ(first.BssidCount, 4);
    ASSERT_EQ(first.Params.ChannelCount, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(first.Params.Channels[i].Band, 3u) << i;
        EXPECT_EQ(first.Params.Channels[i].Channel, channels[i]) << i;
        EXPECT_EQ(first.Params.Bssid[i][5], 0x10 + i) << i;
        EXPECT_EQ(first.Params.BssidChannel[i], channels[i]) << i;
        EXPECT_EQ(first.Params.BssidSsidIndex[i], 4) << "no SSID without the Same SSID bit";
    }
    EXPECT_EQ(first.Params.ScanType, 1);
    EXPECT_EQ(first.Params.BssIndex, 3);
    EXPECT_EQ(first.Params.SsidCount, 0);
    // The Short SSID List element: 255, 1 + 4 per short SSID, 58, the short SSIDs in order.
    ASSERT_EQ(first.Params.ShortSsidCount, 4);
    ASSERT_EQ(first.Params.ExtraIeLen, 19);
    EXPECT_EQ(first.Params.ExtraIe[0], 255);
    EXPECT_EQ(first.Params.ExtraIe[1], 17);
    EXPECT_EQ(first.Params.ExtraIe[2], 58);
    ULONG s3 = 0;
    std::memcpy(&s3, first.Params.ExtraIe + 3 + 12, 4);
    EXPECT_EQ(s3, 0xA0A0A0A3u);
    const NEIGHBOR_AP_INFO& second = *records[1];
    EXPECT_EQ(second.BssidCount, 1);
    ASSERT_EQ(second.Params.ChannelCount, 1);
    EXPECT_EQ(second.Params.Channels[0].Channel, 69);
    EXPECT_EQ(second.Params.Bssid[0][5], 0x14);
    EXPECT_EQ(second.Params.ExtraIeLen, 7);
}

TEST_F(Rnr, TheSameSsidBitRecordsTheAnnouncersSsidOnceForEveryNeighbour)
{
    Parse(RnrElement({Field(133, 37, 12, {{0x21, 1, 0x02}, {0x22, 2, 0x02}, {0x23, 3, 0x00}})}), "office");
    auto records = Take();
    ASSERT_EQ(records.size(), 1u);
    const NEIGHBOR_AP_SCAN_PARAMS& p = records[0]->Params;
    EXPECT_EQ(records[0]->BssidCount, 3);
    ASSERT_EQ(p.SsidCount, 1);
    EXPECT_EQ(p.Ssids[0].Length, 6u);
    EXPECT_EQ(std::memcmp(p.Ssids[0].Ssid, "office", 6), 0);
    EXPECT_EQ(p.BssidSsidIndex[0], 0);
    EXPECT_EQ(p.BssidSsidIndex[1], 0);
    EXPECT_EQ(p.BssidSsidIndex[2], 4) << "the third neighbour has another SSID";
    EXPECT_EQ(p.ChannelCount, 1) << "three neighbours on one channel";
}

TEST_F(Rnr, UnsupportedAndOversizedFieldsEndOrSkip)
{
    const Bytes good = Field(131, 21, 7, {{0x31}});
    // A 5 GHz class with length 12 ends the element: the good field after it is not read.
    Parse(RnrElement({Field(115, 36, 12, {{0x30}}), good}));
    EXPECT_TRUE(Take().empty());
    // Length 13 is read (as 12): channel 0, nothing recorded, and the good field after it is read.
    Parse(RnrElement({Field(115, 36, 13, {{0x30}}), good}));
    auto records = Take();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->BssidCount, 1);
    EXPECT_EQ(records[0]->Params.Bssid[0][5], 0x31);
    ASSERT_EQ(records[0]->Params.ChannelCount, 1);
    EXPECT_EQ(records[0]->Params.Channels[0].Channel, 21);
    // A field claiming more TBTT entries than the element holds ends it; the fields before it stay.
    Bytes truncated = Field(131, 37, 7, {{0x41}, {0x42}});
    truncated[0] = 0x30;  // four entries claimed, two present
    Parse(RnrElement({good, truncated}));
    records = Take();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->BssidCount, 1);
    // An element whose length runs past the bytes given is not read at all; a lone header neither.
    Bytes pastEnd = RnrElement({good});
    pastEnd[1] = static_cast<UCHAR>(pastEnd[1] + 1);
    Parse(pastEnd);
    Parse(Bytes{201, 3, 0x00, 7, 131});
    Parse(Bytes{201});
    EXPECT_TRUE(Take().empty());
    // A channel outside the 6 GHz list records nothing.
    Parse(RnrElement({Field(131, 229, 7, {{0x51}})}));
    EXPECT_TRUE(Take().empty());
}

TEST_F(Rnr, KnownNeighboursAreSkippedAndGiveBackTheirChannel)
{
    // 02:66:00:00:00:61 is already in the scan table.
    bsstest::Bytes ssid{'x'};
    BSS_ENTRY_INPUT in{};
    const UCHAR known[6] = {0x02, 0x66, 0, 0, 0, 0x61};
    in.Bssid = known;
    in.Ssid = ssid.data();
    in.SsidLen = 1;
    in.BssType = BSS_INFRA;
    in.BeaconPeriod = 100;
    in.Channel = 53;
    in.Band = BAND_6G;
    ASSERT_NE(BssTableSetEntry(adapter_, port_, adapter_->ScanTable, &in), BSS_NOT_FOUND);
    Parse(RnrElement({Field(131, 21, 7, {{0x60}}), Field(131, 53, 7, {{0x61}}), Field(131, 69, 7, {{0x60}})}));
    auto records = Take();
    ASSERT_EQ(records.size(), 1u);
    const NEIGHBOR_AP_SCAN_PARAMS& p = records[0]->Params;
    EXPECT_EQ(records[0]->BssidCount, 1) << "the known one and the repeated one are skipped";
    ASSERT_EQ(p.ChannelCount, 1) << "channels 53 and 69 were withdrawn";
    EXPECT_EQ(p.Channels[0].Channel, 21);
    EXPECT_EQ(p.Channels[1].Channel, 0);
    // A second element later adds to the record on the list and keeps what it had; a BSSID already on
    // the list is not recorded again.
    ScanNeighborAPInfoListInsertTail(adapter_, &adapter_->NeighborApList, records[0].release());
    Parse(RnrElement({Field(131, 85, 11, {{0x60, 7}, {0x62, 8}})}));
    records = Take();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]->BssidCount, 2);
    EXPECT_EQ(records[0]->Params.Bssid[1][5], 0x62);
    EXPECT_EQ(records[0]->Params.BssidChannel[1], 85);
    ASSERT_EQ(records[0]->Params.ChannelCount, 2) << "the skipped neighbour does not take the recorded one's channel";
    EXPECT_EQ(records[0]->Params.Channels[1].Channel, 85);
    EXPECT_EQ(records[0]->Params.ShortSsidCount, 1);
}

TEST_F(Rnr, ARecordBecomesADirectedScanOfChannelTypeEight)
{
    Parse(RnrElement({Field(131, 5, 12, {{0x71, 0x11223344u, 0x02}}), Field(132, 37, 12, {{0x72, 0x55667788u, 0x00}})}),
          "cafe");
    auto records = Take();
    ASSERT_EQ(records.size(), 1u);
    auto request = std::make_unique<MLME_SCAN_REQ>();
    std::memset(request.get(), 0xCC, sizeof(*request));
    scanFillRnrScanRequest(adapter_, port_, records[0].get(), &records[0]->Params, request.get());
    EXPECT_EQ(request->ChannelType, 8u);
    EXPECT_EQ(request->ScanType, 1);
    EXPECT_EQ(request->Version2, 1);
    EXPECT_EQ(request->BssIndex, 3);
    EXPECT_EQ(request->Option, 4);
    ASSERT_EQ(request->SsidCount, 1);
    EXPECT_EQ(request->SsidLength[0], 4);
    EXPECT_EQ(std::memcmp(request->Ssid[0], "cafe", 4), 0);
    EXPECT_EQ(request->BssidCount, 2);
    EXPECT_EQ(request->Bssid[1][5], 0x72);
    const UCHAR params[8] = {5, 37, 0, 0, 0, 4, 4, 4};
    EXPECT_EQ(std::memcmp(request->BssidScanParams, params, 8), 0);
    EXPECT_EQ(request->BssidListByte, 2);
    ASSERT_EQ(request->ExtraIeLength, 11);
    const UCHAR list[11] = {255, 9, 58, 0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55};
    EXPECT_EQ(std::memcmp(request->ExtraIe, list, 11), 0);
    ASSERT_EQ(request->ChannelCount, 2);
    EXPECT_EQ(request->Channels[0].Band, 3u);
    EXPECT_EQ(request->Channels[1].Channel, 37);
    EXPECT_EQ(request->Timing1, 0);
    EXPECT_EQ(request->Timing3, 0);
    // The adapter's request is a neighbour-AP scan for a station port only.
    std::memcpy(&adapter_->Mlme.ScanRequest, request.get(), sizeof(*request));
    EXPECT_TRUE(IsRnrScanreq(adapter_, port_));
    port_->PortType = WFD_DEVICE;
    EXPECT_FALSE(IsRnrScanreq(adapter_, port_));
    port_->PortType = EXTSTA;
    adapter_->Mlme.ScanRequest.BssidScanParams[0] = 0;
    adapter_->Mlme.ScanRequest.BssidScanParams[1] = 0;
    EXPECT_FALSE(IsRnrScanreq(adapter_, port_)) << "no per-BSSID channel";
}

}  // namespace
