// Link speeds of rate words and receive-rate reports, the PHY-type index of the connection, and a
// peer's rate record: the 802.11 rates pinned row by row, the three receive-report layouts per chip.
#include <gtest/gtest.h>

#include <memory>

#include "Common/mlme/mlmeinfo.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

namespace {

class LinkSpeed : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        adapter_ = std::make_unique<MP_ADAPTER>();
        port_ = std::make_unique<MP_PORT>();
        port_->Adapter = adapter_.get();
        adapter_->HalInfo.PhyCfgLayout = 2;
    }
    // A transmit word of the layout every chip uses: MCS bits 0-6, bandwidth 7-9, short GI 10, streams
    // (minus 1) 17-18, transmission mode 14-16.
    static ULONG Word(ULONG mode, ULONG mcs, ULONG bw = 0, ULONG sgi = 0, ULONG nss = 0)
    {
        return mcs | (bw << 7) | (sgi << 10) | (mode << 14) | (nss << 17);
    }
    std::unique_ptr<MP_ADAPTER> adapter_;
    std::unique_ptr<MP_PORT> port_;
};

TEST_F(LinkSpeed, RateWordsGiveTheirDataRates)
{
    const struct {
        ULONG word;
        ULONG64 bps;
    } rows[] = {
        {Word(0, 0), 1000000},          // CCK 1 Mbit/s
        {Word(0, 1), 2000000},
        {Word(0, 2), 5500000},
        {Word(0, 3), 11000000},
        {Word(0, 5), 1000000},          // unknown CCK code: 1 Mbit/s
        {Word(1, 0), 6000000},          // OFDM
        {Word(1, 4), 24000000},
        {Word(1, 7), 54000000},
        {Word(1, 8), 1000000},
        {Word(2, 0), 6500000},          // HT MCS 0, 20 MHz
        {Word(2, 7), 65000000},         // HT MCS 7, 20 MHz, long GI
        {Word(2, 7, 0, 1), 72000000},   // 72.2 Mbit/s in 500 kbit/s steps
        {Word(3, 15, 1, 1), 300000000}, // HT MCS 15, 40 MHz, short GI
        {Word(2, 23, 1, 0), 405000000}, // HT MCS 23 (3 streams), 40 MHz
        {Word(2, 31, 1, 1), 600000000}, // HT MCS 31 (4 streams), 40 MHz, short GI
        {Word(2, 100, 7, 1), 1000000},  // index 335 outside the table: entry 0
        {Word(4, 0), 6500000},          // VHT MCS 0, 1 stream, 20 MHz
        {Word(4, 9, 2, 1), 433500000},  // VHT MCS 9, 80 MHz, short GI (433.3)
        {Word(4, 9, 0, 0), 78000000},   // MCS 9 at 20 MHz with one stream does not exist: MCS 8
        {Word(4, 9, 0, 0, 2), 260000000},  // three streams have it
        {Word(4, 6, 2, 0, 2), 702000000},  // 80 MHz MCS 6 with three streams does not exist: MCS 5
        {Word(4, 9, 3, 1, 3), 3466500000ull},  // 160 MHz, 4 streams, short GI (3466.7)
        {Word(4, 10, 3, 1, 3), 6500000},       // index 320 outside the table: entry 0
    };
    port_->OpMode = 0;
    for (const auto& row : rows) {
        EXPECT_EQ(MlmeInfoRateToLinkSpeed(adapter_.get(), port_.get(), row.word), row.bps) << std::hex << row.word;
    }
    // A Wi-Fi Direct client reads the tables as a station; an access point gets their first entry.
    port_->OpMode = 1;
    EXPECT_EQ(MlmeInfoRateToLinkSpeed(adapter_.get(), port_.get(), Word(3, 15, 1, 1)), 300000000u);
    port_->OpMode = 2;
    EXPECT_EQ(MlmeInfoRateToLinkSpeed(adapter_.get(), port_.get(), Word(3, 15, 1, 1)), 1000000u);
    EXPECT_EQ(MlmeInfoRateToLinkSpeed(adapter_.get(), port_.get(), Word(4, 9, 2, 1)), 6500000u);
    EXPECT_EQ(MlmeInfoRateToLinkSpeed(adapter_.get(), port_.get(), Word(1, 7)), 54000000u);
}

// One receive-rate report in each generation's layout.
struct Report {
    ULONG mode, mcs, streams, bw, gi;
    ULONG speed;  // 100 kbit/s
};

void Store(MP_PORT* port, USHORT deviceId, const Report& r)
{
    ULONG* v = port->RxVectorStore;
    for (ULONG i = 0; i < PORT_RX_VECTOR_WORDS; ++i) {
        v[i] = 0;
    }
    switch (deviceId) {
    case 0x3502:  // word 0: MCS 0-6, streams-1 7-9, bandwidth 12-14, GI 15-16, mode 24-27
        v[12] = r.mcs | ((r.streams - 1) << 7) | (r.bw << 12) | (r.gi << 15) | (r.mode << 24);
        break;
    case 0x3602:  // word 0: MCS, streams-1 7-10; word 1: bandwidth 0-2, GI 3-4, mode 11-14
        v[12] = r.mcs | ((r.streams - 1) << 7);
        v[13] = r.bw | (r.gi << 3) | (r.mode << 11);
        break;
    default:  // older chip: word A MCS 0-6, mode 12-14, bandwidth 15-16; word B streams-1 27-29
        v[6] = r.mcs | (r.mode << 12) | (r.bw << 15);
        v[7] = (r.streams - 1) << 27;
        break;
    }
}

TEST_F(LinkSpeed, ReceiveReportsOfEachGeneration)
{
    const Report common[] = {
        {0, 3, 1, 0, 0, 110},   // CCK 11 Mbit/s
        {0, 5, 1, 0, 0, 0},     // no such CCK rate
        {1, 0xC, 1, 0, 0, 540}, // OFDM by its SIGNAL rate code: 54 Mbit/s
        {1, 0xB, 1, 0, 0, 60},
        {2, 7, 1, 0, 0, 650},   // HT MCS 7, 20 MHz
        {3, 15, 2, 1, 0, 2700}, // HT MCS 15, 40 MHz
        {4, 9, 2, 2, 0, 7800},  // VHT MCS 9, 2 streams, 80 MHz
        {6, 7, 1, 0, 0, 0},     // mode 6 has no rate
    };
    // Guard intervals exist only in the second and third generation's reports, HE modes in theirs.
    const Report withGi[] = {
        {2, 7, 1, 0, 1, 722},      // HT MCS 7, short GI
        {4, 9, 2, 2, 1, 8667},     // VHT MCS 9, 2 streams, 80 MHz, short GI
        {8, 11, 2, 3, 0, 24020},   // HE MCS 11, 2 streams, 160 MHz, 0.8 us
        {11, 7, 1, 1, 1, 1625},    // HE MCS 7, 40 MHz, 1.6 us
        {9, 0, 1, 0, 2, 73},       // HE MCS 0, 20 MHz, 3.2 us
        {12, 0, 1, 0, 0, 0},
    };
    for (USHORT id : {USHORT{0x3502}, USHORT{0x3602}, USHORT{0x3404}}) {
        adapter_->DeviceId = id;
        for (const Report& r : common) {
            Store(port_.get(), id, r);
            EXPECT_EQ(MlmeInfoGetRxLinkSpeed(adapter_.get(), port_.get()), r.speed) << std::hex << id << " mode " << r.mode;
        }
        if (id == 0x3404) {
            continue;
        }
        for (const Report& r : withGi) {
            Store(port_.get(), id, r);
            EXPECT_EQ(MlmeInfoGetRxLinkSpeed(adapter_.get(), port_.get()), r.speed) << std::hex << id << " mode " << r.mode;
        }
    }
}

TEST_F(LinkSpeed, PhyTypeIndexOfTheConnection)
{
    SUPPORTED_PHY_TYPES list = {};
    list.NumberOfEntries = 4;
    list.PhyTypes[0] = 4;  // OFDM
    list.PhyTypes[1] = 5;  // HR/DSSS
    list.PhyTypes[2] = 6;  // ERP
    list.PhyTypes[3] = 7;  // HT
    adapter_->SupportedPhyTypes = &list;
    CONNECT_RATES& c = adapter_->ConnectRates;
    const struct {
        UCHAR mode;
        UCHAR ht;
        UCHAR rates;
        UCHAR ext;
        UCHAR channel;
        ULONG index;
    } rows[] = {
        {9, 1, 8, 4, 6, 3},    // HT mode and an HT connection
        {9, 0, 8, 4, 6, 2},    // HT mode, legacy connection: ERP on 2.4 GHz
        {4, 1, 8, 4, 6, 2},    // a legacy mode stays legacy
        {2, 0, 8, 0, 36, 0},   // OFDM above channel 14
        {1, 0, 4, 0, 6, 1},    // four rates and no extended ones: HR/DSSS
        {1, 0, 4, 1, 6, 2},
    };
    for (const auto& row : rows) {
        adapter_->WorkingCfg.WirelessMode = row.mode;
        c.HtPresent = row.ht;
        c.SupRatesLen = row.rates;
        c.ExtRatesLen = row.ext;
        EXPECT_EQ(MlmeInfoGetPhyTypeIndex(adapter_.get(), row.channel), row.index) << int(row.mode) << " ch " << int(row.channel);
    }
    list.NumberOfEntries = 3;  // without HT
    adapter_->WorkingCfg.WirelessMode = 9;
    c.HtPresent = 1;
    EXPECT_EQ(MlmeInfoGetPhyTypeIndex(adapter_.get(), 6), 0x80000000u);
    adapter_->SupportedPhyTypes = nullptr;
}

TEST_F(LinkSpeed, PeerRatesAndTheMcsBothSidesSupport)
{
    MAC_TABLE_ENTRY entry = {};
    // Thirteen supported rates are not believed: the eight defaults, then extended rates up to twelve.
    const UCHAR many[13] = {0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24, 0x30, 0x48, 0x60, 0x6C, 0x6C};
    const UCHAR ext[6] = {0x0C, 0x18, 0x30, 0x60, 0x2C, 0x42};
    UCHAR ht[26] = {};
    ht[3] = 0xFF;  // peer MCS 0-7
    ht[4] = 0x0F;  // and MCS 8-11
    ht[5] = 0xFF;  // and MCS 16-23
    port_->Rate.McsSet[0] = 0xFF;
    port_->Rate.McsSet[1] = 0xFF;  // own MCS 0-15
    MlmeInfoSetSupportMCS(adapter_.get(), port_.get(), FALSE, &entry, many, 13, ext, 6, nullptr, nullptr, ht, 1);
    const UCHAR expected[12] = {0x82, 0x84, 0x8B, 0x96, 0x12, 0x24, 0x48, 0x6C, 0x0C, 0x18, 0x30, 0x60};
    ASSERT_EQ(entry.PeerRateCount, 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(entry.PeerRates[i], expected[i]) << i;
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(entry.PeerCckFlags[i], 1) << i;
    }
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(entry.PeerOfdmFlags[i], 1) << i;
    }
    for (int mcs = 0; mcs < 24; ++mcs) {
        EXPECT_EQ(entry.PeerHtMcsFlags[mcs], mcs < 12 ? 1 : 0) << mcs;
    }
    EXPECT_EQ(entry.PeerRateClass, 0x07);

    // An 802.11b peer, legacy only: no OFDM and no HT class whatever the elements say.
    const UCHAR b[4] = {0x82, 0x84, 0x0B, 0x16};
    MlmeInfoSetSupportMCS(adapter_.get(), port_.get(), TRUE, &entry, b, 4, nullptr, 0, nullptr, nullptr, ht, 1);
    EXPECT_EQ(entry.PeerRateCount, 4);
    EXPECT_EQ(entry.PeerRateClass, 0x01);
    EXPECT_EQ(entry.PeerOfdmFlags[0], 0);
    EXPECT_EQ(entry.PeerHtMcsFlags[0], 0);
    // Rates 9 and 18 Mbit/s set their own flags only.
    const UCHAR a[2] = {0x12, 0x24};
    MlmeInfoSetSupportMCS(adapter_.get(), port_.get(), FALSE, &entry, a, 2, nullptr, 0, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(entry.PeerRateClass, 0x02);
    EXPECT_EQ(entry.PeerOfdmFlags[1] + entry.PeerOfdmFlags[3], 2);
    EXPECT_EQ(entry.PeerOfdmFlags[0] + entry.PeerOfdmFlags[2], 0);
}

}  // namespace
