// The transmit-descriptor writers of the three generations against fields read back bit by bit,
// the receive-descriptor parsers' group and header arithmetic, the older chip's receive-vector
// group and the receive rate decoding, on an adapter that only carries the chip identity.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "hal/chips/qzarvel2x.h"
#include "hal/chips/qzarvel3x.h"
#include "hal/common/hal_desc.h"
#include "hal/common/phy_cfg.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"

namespace {

enum Writer { kV1, k2x, k3x };

struct Field {
    ULONG word, first, last, value;
};

class Descriptors : public ::testing::Test {
protected:
    void SetUp() override
    {
        adapter_ = std::make_unique<MP_ADAPTER>();
        adapter_->HalInfo.PhyCfgLayout = PHY_CFG_LAYOUT_2;
        port_.Adapter = adapter_.get();
        port_.PortType = EXTSTA;
        port_.BssIndex = 0xFF;
        adapter_->PortList[0] = &port_;
    }

    void Chip(USHORT code) { adapter_->HalInfo.ChipCode = code; }

    // A frame of the given type/subtype from port 0.
    TX_FRAME_INFO Frame(USHORT type, USHORT subtype, USHORT length = 100)
    {
        TX_FRAME_INFO info{};
        info.Length = length;
        info.HeaderLength = 24;
        info.FrameType = type;
        info.FrameSubtype = subtype;
        info.Port = &port_;
        info.Ack = 1;
        info.Queue = 1;
        return info;
    }

    std::array<UCHAR, TXD_SIZE> Write(Writer w, TX_FRAME_INFO info)
    {
        std::array<UCHAR, TXD_SIZE> d;
        d.fill(0xA5);
        switch (w) {
        case kV1:
            Chip(0x3404);
            XmitWriteTxDv1(adapter_.get(), d.data(), &info);
            break;
        case k2x:
            if (adapter_->HalInfo.ChipCode < 0x3501 || adapter_->HalInfo.ChipCode > 0x3503) {
                Chip(0x3502);
            }
            AsicArvel2xXmitWriteTxD(adapter_.get(), d.data(), &info);
            break;
        case k3x:
            if (adapter_->HalInfo.ChipCode != 0x3601 && adapter_->HalInfo.ChipCode != 0x3602) {
                Chip(0x3602);
            }
            AsicArvel3xXmitWriteTxD(adapter_.get(), d.data(), &info);
            break;
        }
        return d;
    }

    static void Expect(const std::array<UCHAR, TXD_SIZE>& d, std::initializer_list<Field> fields, const char* what)
    {
        for (const Field& f : fields) {
            EXPECT_EQ(TxdGetField(d.data(), f.word, f.first, f.last), f.value)
                << what << ": DW" << f.word << " bits " << f.first << "-" << f.last;
        }
    }

    std::unique_ptr<MP_ADAPTER> adapter_;
    MP_PORT port_{};
};

TEST_F(Descriptors, ManagementFrameHeaderLengthPerLayout)
{
    TX_FRAME_INFO mgmt = Frame(0, 13, 24);
    mgmt.MgmtLayout = 1;
    mgmt.FwQueue = 1;
    Expect(Write(k2x, mgmt), {{0, 0, 15, 56}, {0, 24, 24, 1}, {1, 11, 15, 12}, {1, 16, 17, 2}, {1, 31, 31, 1},
                              {2, 0, 3, 13}, {2, 4, 5, 0}},
           "Arvel2x");
    Expect(Write(kV1, mgmt), {{0, 0, 15, 56}, {0, 31, 31, 1}, {1, 8, 12, 24}, {1, 13, 14, 2}, {1, 15, 15, 1},
                              {1, 24, 25, 2}, {2, 0, 3, 13}},
           "older");
    Expect(Write(k3x, mgmt), {{0, 0, 15, 56}, {1, 14, 15, 2}, {1, 16, 20, 12}, {1, 21, 24, 0}, {2, 0, 3, 13},
                              {6, 3, 3, 1}, {6, 4, 9, 1}},
           "Arvel3x");
}

TEST_F(Descriptors, AcknowledgementAndGroupBits)
{
    TX_FRAME_INFO data = Frame(2, 0);
    data.Ack = 0;
    Expect(Write(kV1, data), {{3, 0, 0, 0}}, "older data without ack");
    Expect(Write(k2x, data), {{3, 0, 0, 0}}, "Arvel2x data without ack");
    Expect(Write(k3x, data), {{3, 0, 0, 0}, {3, 4, 4, 0}, {6, 2, 2, 1}}, "Arvel3x unicast");
    TX_FRAME_INFO ctrl = Frame(1, 8);
    ctrl.Ack = 0;
    Expect(Write(kV1, ctrl), {{3, 0, 0, 1}}, "older control frame without ack");
    data.GroupAddressed = 1;
    Expect(Write(k3x, data), {{3, 0, 0, 1}, {3, 4, 4, 1}, {6, 2, 2, 0}}, "Arvel3x group");
    Expect(Write(k2x, data), {{2, 10, 10, 1}}, "Arvel2x group");
    data.Protection = 4;
    Expect(Write(kV1, data), {{3, 1, 1, 1}}, "older protected");
}

TEST_F(Descriptors, ProbeResponsesOnTheThirdGeneration)
{
    TX_FRAME_INFO probe = Frame(0, 5);
    probe.MgmtLayout = 1;
    Expect(Write(k3x, probe), {{1, 0, 11, 19}, {3, 11, 15, 2}}, "WLAN index 0");
    probe.WlanIndex = 7;
    probe.Queue = 7;
    Expect(Write(k3x, probe), {{1, 0, 11, 7}, {3, 11, 15, 2}}, "WLAN index 7");
    TX_FRAME_INFO beacon = Frame(0, 8);
    beacon.Queue = 7;
    Expect(Write(k3x, beacon), {{3, 11, 15, 7}}, "queue 7");
    Expect(Write(k2x, beacon), {{3, 11, 15, 7}}, "Arvel2x queue 7");
    Expect(Write(kV1, beacon), {{3, 11, 15, 15}}, "older queue 7");
    beacon.Queue = 4;
    Expect(Write(kV1, beacon), {{3, 11, 15, 30}}, "older other queue");
}

struct PacketIdCase {
    USHORT type, subtype;
    UCHAR icmp;
    Writer writer;
    bool carried;
};

TEST_F(Descriptors, PacketIdRule)
{
    const PacketIdCase cases[] = {
        {0, 8, 0, kV1, false}, {0, 8, 0, k2x, false}, {0, 8, 0, k3x, false}, {0, 4, 0, k2x, false},
        {0, 5, 0, k3x, false}, {0, 9, 0, kV1, true},  {0, 9, 0, k2x, true},  {0, 13, 0, k3x, true},
        {2, 0, 1, k3x, true},  {2, 0, 1, k2x, false}, {2, 0, 0, k3x, false}, {1, 8, 0, kV1, false},
    };
    for (const PacketIdCase& c : cases) {
        TX_FRAME_INFO info = Frame(c.type, c.subtype);
        info.PacketId = 5;
        info.IcmpEcho = c.icmp;
        auto d = Write(c.writer, info);
        const ULONG expected = c.carried ? 5u | (3u << 9) : 0u;
        EXPECT_EQ(TxdGetWord(d.data(), 5), expected)
            << "type " << c.type << " subtype " << c.subtype << " icmp " << int(c.icmp) << " writer " << c.writer;
    }
}

TEST_F(Descriptors, DataWithoutStationEntryIsNotAggregated)
{
    TX_FRAME_INFO data = Frame(2, 8);
    data.Tid = 5;
    Expect(Write(kV1, data), {{5, 9, 9, 1}, {7, 30, 30, 0}, {1, 21, 23, 5}, {7, 20, 21, 2}, {7, 16, 19, 8}}, "older");
    Expect(Write(k2x, data), {{5, 10, 10, 1}, {7, 10, 10, 0}, {1, 20, 22, 5}}, "Arvel2x");
    Expect(Write(k3x, data), {{5, 10, 10, 1}, {3, 5, 5, 0}, {1, 21, 24, 5}}, "Arvel3x");
}

TEST_F(Descriptors, FixedRateFramesGetTheLowestOfdmRate)
{
    TX_FRAME_INFO eapol = Frame(2, 8);
    eapol.Eapol = 1;
    Expect(Write(kV1, eapol), {{2, 29, 29, 0}, {2, 31, 31, 1}, {6, 16, 21, 0x0B}, {6, 22, 24, 1}, {6, 31, 31, 0}},
           "older data");
    TX_FRAME_INFO arp = Frame(0, 13);
    arp.MgmtLayout = 1;
    Expect(Write(kV1, arp), {{2, 29, 29, 1}, {2, 31, 31, 1}}, "older management");
    Expect(Write(k2x, arp), {{2, 30, 30, 0}, {2, 31, 31, 1}, {3, 28, 28, 1}, {6, 16, 21, 0x0B}, {6, 22, 25, 1}},
           "Arvel2x management");
    Expect(Write(k2x, eapol), {{3, 28, 28, 0}}, "Arvel2x data");
    Expect(Write(k3x, eapol), {{1, 31, 31, 1}, {3, 28, 28, 1}, {6, 16, 21, 1}, {6, 22, 25, 8}}, "Arvel3x");
    TX_FRAME_INFO ping = Frame(2, 8);
    ping.IcmpEcho = 1;
    Expect(Write(k3x, ping), {{1, 31, 31, 0}}, "ICMP echo without IcmpFixRate");
    adapter_->RegistryBlock.IcmpFixRate = 1;
    Expect(Write(k3x, ping), {{1, 31, 31, 1}, {3, 28, 28, 1}}, "ICMP echo with IcmpFixRate");
}

TEST_F(Descriptors, OfdmRateCodesOfTheSignalField)
{
    const UCHAR codes[8] = {0x0B, 0x0F, 0x0A, 0x0E, 0x09, 0x0D, 0x08, 0x0C};
    for (ULONG mcs = 0; mcs < 8; ++mcs) {
        EXPECT_EQ(TxdOfdmRateCode(mcs), codes[mcs]) << mcs;
    }
    EXPECT_EQ(TxdOfdmRateCode(9), 0x0C);
}

TEST_F(Descriptors, FixedRateOverride)
{
    port_.FixedRateEnable = 1;
    // Layout 2: MCS bits 0-6, bandwidth 7-9, short GI 10, STBC 11, mode 14-16, streams 17-18.
    auto cfg = [](ULONG mode, ULONG mcs, ULONG bw, ULONG sgi, ULONG stbc, ULONG nss) {
        return mcs | (bw << 7) | (sgi << 10) | (stbc << 11) | (mode << 14) | (nss << 17);
    };
    port_.FixedRatePhyCfg = cfg(1, 9, 0, 0, 0, 0);
    TX_FRAME_INFO data = Frame(2, 8);
    Expect(Write(kV1, data), {{6, 16, 21, 0x0C}, {6, 22, 24, 1}, {2, 31, 31, 1}}, "OFDM MCS 9");
    port_.FixedRatePhyCfg = cfg(1, 3, 0, 0, 0, 0);
    Expect(Write(kV1, data), {{6, 16, 21, 0x0E}}, "OFDM 18 Mb/s");
    port_.FixedRatePhyCfg = cfg(2, 7, 1, 1, 1, 1);
    Expect(Write(kV1, data),
           {{6, 16, 21, 7}, {6, 22, 24, 2}, {6, 0, 2, 1}, {6, 30, 30, 1}, {6, 27, 27, 1}, {6, 25, 26, 1}}, "older HT");
    Expect(Write(k2x, data), {{2, 30, 30, 0}, {2, 31, 31, 1}, {6, 16, 21, 7}, {6, 22, 25, 2}, {6, 0, 2, 1},
                              {6, 14, 15, 1}, {6, 29, 29, 1}, {6, 26, 28, 1}},
           "Arvel2x HT");
    // The override comes last: it replaces a fixed-rate frame's rate.
    TX_FRAME_INFO eapol = Frame(2, 8);
    eapol.Eapol = 1;
    port_.FixedRatePhyCfg = cfg(4, 2, 3, 0, 0, 0);
    Expect(Write(k3x, eapol), {{1, 31, 31, 1}, {6, 16, 21, 0}, {6, 22, 25, 3}}, "Arvel3x");
    Expect(Write(k2x, eapol), {{6, 16, 21, 2}, {6, 22, 25, 4}}, "Arvel2x fixed-rate frame");
}

struct QueueCase {
    UCHAR mcc;
    ULONG portType;
    UCHAR group;
    USHORT type;
    USHORT chip;
    ULONG queue;
};

TEST_F(Descriptors, Arvel2xQueueRule)
{
    const QueueCase cases[] = {
        {1, WFD_GO, 0, 2, 0x3502, 4},     {1, WFD_CLIENT, 0, 0, 0x3502, 4}, {1, WFD_CLIENT, 0, 0, 0x3503, 3},
        {1, WFD_GO, 0, 2, 0x3503, 4},     {1, WFD_GO, 1, 2, 0x3502, 1},     {1, EXTSTA, 0, 2, 0x3502, 1},
        {0, WFD_GO, 1, 2, 0x3502, 1},     {0, WFD_GO, 1, 0, 0x3502, 3},     {0, EXTSTA, 1, 2, 0x3502, 3},
        {0, WFD_CLIENT, 0, 2, 0x3501, 3},
    };
    for (const QueueCase& c : cases) {
        adapter_->MccActive = c.mcc;
        port_.PortType = c.portType;
        Chip(c.chip);
        TX_FRAME_INFO info = Frame(c.type, 0);
        info.Queue = 3;
        info.GroupAddressed = c.group;
        auto d = Write(k2x, info);
        EXPECT_EQ(TxdGetField(d.data(), 0, 25, 31), c.queue) << "mcc " << int(c.mcc) << " port " << c.portType
                                                             << " group " << int(c.group) << " type " << c.type;
    }
}

TEST_F(Descriptors, Arvel2xAntennaRule)
{
    TX_FRAME_INFO data = Frame(2, 0);
    adapter_->AntennaPath = 0x0022;
    adapter_->RegistryBlock.Ra1ss1t6g = 1;
    port_.Channel.Band = 3;
    adapter_->Country.RegCountryCode = 0x5355;
    Chip(0x3502);
    Expect(Write(k2x, data), {{7, 11, 15, 0}}, "US 6 GHz on 3502");
    adapter_->Country.RegCountryCode = 0x4544;
    Expect(Write(k2x, data), {{7, 11, 15, 24}}, "another country");
    adapter_->AntennaPath = 0x0012;
    adapter_->Cap.ChipTxPathMask = 0x4;
    adapter_->Cap.TxPathSetting = 0x6;
    Expect(Write(k2x, data), {{7, 11, 15, 1}}, "path mask with bit 2");
    adapter_->Cap.TxPathSetting = 0x3;
    Expect(Write(k2x, data), {{7, 11, 15, 0}}, "path mask without bits 2 and 3");
    adapter_->AntennaPath = 0x0031;
    Expect(Write(k2x, data), {{7, 11, 15, 0}}, "other value");
}

TEST_F(Descriptors, Arvel3xQueueBandAndOwnAddress)
{
    TX_FRAME_INFO data = Frame(2, 0);
    data.OwnMacIndex = 9;
    Chip(0x3602);
    port_.Channel.Band = 2;
    Expect(Write(k3x, data), {{1, 12, 13, 1}, {1, 25, 30, 0}}, "5 GHz, no BSS slot");
    port_.Channel.Band = 1;
    port_.BssIndex = 2;
    adapter_->BssIndexSlots[2].BandIndex = 1;
    Expect(Write(k3x, data), {{1, 12, 13, 0}, {1, 25, 30, 9}}, "2.4 GHz, with a slot");
    Chip(0x3601);
    Expect(Write(k3x, data), {{1, 12, 13, 1}}, "3601: the slot's band index");
    // A Wi-Fi Direct device port without band takes the group owner's.
    MP_PORT device{};
    device.PortType = WFD_DEVICE;
    device.BssIndex = 3;
    adapter_->BssIndexSlots[3].BandIndex = 0xFF;
    MP_PORT go{};
    go.PortType = WFD_GO;
    go.Active = 1;
    go.BssIndex = 4;
    adapter_->BssIndexSlots[4].BandIndex = 1;
    adapter_->PortList[2] = &device;
    adapter_->PortList[3] = &go;
    data.Port = &device;
    Expect(Write(k3x, data), {{1, 12, 13, 1}, {0, 25, 31, 0x11}}, "device port");
}

TEST_F(Descriptors, Arvel3xPowerSavingBit)
{
    TX_FRAME_INFO eapol = Frame(2, 8);
    eapol.Eapol = 1;
    Chip(0x3602);
    Expect(Write(k3x, eapol), {{2, 9, 9, 0}}, "feature off");
    adapter_->RegistryBlock.BatteryLifeImprove = 1;
    adapter_->LowPower.LowPowerMode = 1;
    Expect(Write(k3x, eapol), {{2, 9, 9, 1}, {7, 13, 13, 0}}, "3602");
    Chip(0x3601);
    Expect(Write(k3x, eapol), {{2, 9, 9, 0}, {7, 13, 13, 1}}, "3601");
    port_.PortType = WFD_GO;
    Expect(Write(k3x, eapol), {{7, 13, 13, 0}}, "group owner");
    port_.PortType = EXTSTA;
    TX_FRAME_INFO ping = Frame(2, 8);
    ping.IcmpEcho = 1;
    adapter_->RegistryBlock.IcmpFixRate = 1;
    Expect(Write(k3x, ping), {{7, 13, 13, 1}}, "ICMP echo");
    adapter_->RegistryBlock.SigmaEn = 1;
    Expect(Write(k3x, ping), {{7, 13, 13, 0}}, "ICMP echo while SigmaEn bit 0");
}

TEST_F(Descriptors, DispatchAndSkip)
{
    TX_FRAME_INFO data = Frame(2, 0);
    std::array<UCHAR, TXD_SIZE> d;
    d.fill(0xA5);
    Chip(0x3404);
    XmitWriteTxD(adapter_.get(), d.data(), &data);
    EXPECT_EQ(TxdGetField(d.data(), 1, 15, 15), 1u) << "the older layout without a chip writer";
    adapter_->HalOps.XmitWriteTxD = AsicArvel3xXmitWriteTxD;
    Chip(0x3602);
    XmitWriteTxD(adapter_.get(), d.data(), &data);
    EXPECT_EQ(TxdGetField(d.data(), 6, 4, 9), 1u) << "the chip's writer";
    data.SkipDescriptor = 1;
    d.fill(0xA5);
    XmitWriteTxDv1(adapter_.get(), d.data(), &data);
    for (UCHAR b : d) {
        EXPECT_EQ(b, 0xA5);
    }
}

// ---- receive descriptors ------------------------------------------------------------------------------
struct RxBuffer {
    explicit RxBuffer(ULONG size) : bytes(size, 0) {}
    PRX_DMAQ_DESC Record()
    {
        record = RX_DMAQ_DESC{};
        record.BufferVa = bytes.data();
        record.BufferSize = static_cast<ULONG>(bytes.size());
        return &record;
    }
    void Word(ULONG w, ULONG v) { TxdSetWord(bytes.data(), w, v); }
    std::vector<UCHAR> bytes;
    RX_DMAQ_DESC record{};
};

struct ParseCase {
    UCHAR gen;
    ULONG flagWord, flags;   // group flags
    ULONG offsetWord, offsetBits;
    ULONG frameOffset;       // where the 802.11 header starts
    long g1, g2, g3, g5;     // expected group offsets, -1 absent
};

TEST_F(Descriptors, ParsersFindGroupsHeaderAndLength)
{
    const ParseCase cases[] = {
        // older: base 16; group 4 (bit 28) 16, 1 (25) 16, 2 (26) 8, 3 (27) 24; 2 bytes when DW1 bit 22
        {DESC_GEN_OLDER, 0, 0, 1, 0, 16, -1, -1, -1, -1},
        {DESC_GEN_OLDER, 0, 0xFu << 25, 1, 1u << 22, 16 + 64 + 2, 32, -1, 56, -1},
        // Arvel2x: base 24; group 4 (bit 14) 16, 1 (11) 16, 2 (12) 8, 3 (13) 8, 5 (15) 72; 2 x DW2 14-15
        {DESC_GEN_ARVEL2X, 1, 0x1Fu << 11, 2, 3u << 14, 24 + 120 + 6, 40, 56, 64, 72},
        {DESC_GEN_ARVEL2X, 1, 1u << 13, 2, 1u << 14, 24 + 8 + 2, -1, -1, 24, -1},
        // Arvel3x: base 32; group 4 (bit 19) 16, 1 (16) 16, 2 (17) 16, 3 (18) 16, 5 (20) 96; 2 x DW2 13-15
        {DESC_GEN_ARVEL3X, 1, 0x1Fu << 16, 2, 7u << 13, 32 + 160 + 14, 48, 64, 80, 96},
        {DESC_GEN_ARVEL3X, 1, 1u << 20, 2, 0, 32 + 96, -1, -1, -1, 32},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "generation " << int(c.gen) << " flags 0x" << std::hex << c.flags);
        RxBuffer b(4096);
        const ULONG byteCount = c.frameOffset + 40;
        b.Word(0, byteCount);
        b.Word(c.flagWord, (c.flagWord == 0 ? byteCount : 0) | c.flags);
        b.Word(c.offsetWord, TxdGetWord(b.bytes.data(), c.offsetWord) | c.offsetBits);
        PRX_DMAQ_DESC r = b.Record();
        ASSERT_TRUE(HalRxdParse(adapter_.get(), r, c.gen));
        EXPECT_EQ(r->Descriptor, b.bytes.data());
        EXPECT_EQ(r->Frame - b.bytes.data(), static_cast<long>(c.frameOffset));
        EXPECT_EQ(r->FrameLength, 40u);
        const long expected[4] = {c.g1, c.g2, c.g3, c.g5};
        for (int s = 0; s < 4; ++s) {
            if (c.gen == DESC_GEN_OLDER && (s == 1 || s == 3)) {
                EXPECT_EQ(r->Groups[s], nullptr) << "the older parser records groups 1 and 3 only";
            } else if (expected[s] < 0) {
                EXPECT_EQ(r->Groups[s], nullptr) << "slot " << s;
            } else {
                EXPECT_EQ(r->Groups[s] - b.bytes.data(), expected[s]) << "slot " << s;
            }
        }
    }
}

TEST_F(Descriptors, ParserRefusesByteCountsTheBufferCannotHold)
{
    struct Case {
        UCHAR gen;
        ULONG bufferSize, byteCount, flagsWord1, received;
        bool accepted;
    };
    const Case cases[] = {
        {DESC_GEN_ARVEL2X, 4096, 4096, 0, 0, true},
        {DESC_GEN_ARVEL2X, 4096, 4097, 0, 0, false},
        {DESC_GEN_ARVEL3X, 3840, 3841, 0, 0, false},    // beyond the buffer
        {DESC_GEN_ARVEL2X, 4096, 24, 0, 0, true},       // a descriptor without frame
        {DESC_GEN_ARVEL2X, 4096, 23, 0, 0, false},      // shorter than its descriptor
        {DESC_GEN_ARVEL2X, 4096, 90, 1u << 15, 0, false},   // group 5 claims more than was received
        {DESC_GEN_ARVEL2X, 4096, 96, 1u << 15, 0, true},
        {DESC_GEN_ARVEL3X, 4096, 128, 1u << 20, 0, true},
        {DESC_GEN_ARVEL3X, 4096, 500, 0, 400, false},   // more than the ring says was written
    };
    for (const Case& c : cases) {
        RxBuffer b(c.bufferSize);
        b.Word(0, c.byteCount);
        b.Word(1, c.flagsWord1);
        PRX_DMAQ_DESC r = b.Record();
        r->ReceivedLength = c.received;
        const bool accepted = (c.gen == DESC_GEN_ARVEL2X ? Qz3501RxdMacHdrParser(adapter_.get(), r)
                                                          : AsicArvel3xRxdMacHdrParser(adapter_.get(), r)) != 0;
        EXPECT_EQ(accepted, c.accepted) << "generation " << int(c.gen) << " byte count " << c.byteCount;
        if (!accepted) {
            EXPECT_EQ(r->Frame, nullptr);
            EXPECT_EQ(r->FrameLength, 0u);
        }
    }
}

TEST_F(Descriptors, AbsentGroupSlotsClearedOnlyByTheThirdGeneration)
{
    UCHAR marker = 0;
    for (UCHAR gen : {UCHAR{DESC_GEN_ARVEL2X}, UCHAR{DESC_GEN_ARVEL3X}}) {
        RxBuffer b(4096);
        b.Word(0, 200);
        PRX_DMAQ_DESC r = b.Record();
        for (PUCHAR& slot : r->Groups) {
            slot = &marker;
        }
        ASSERT_TRUE(HalRxdParse(adapter_.get(), r, gen));
        for (PUCHAR slot : r->Groups) {
            EXPECT_EQ(slot, gen == DESC_GEN_ARVEL3X ? nullptr : &marker) << "generation " << int(gen);
        }
    }
}

TEST_F(Descriptors, AmsduPositionByGeneration)
{
    RxBuffer b(4096);
    PRX_DMAQ_DESC r = b.Record();
    r->Descriptor = b.bytes.data();
    b.Word(1, 2u << 24);
    b.Word(4, 3u);
    Chip(0x3404);
    EXPECT_EQ(RxdGetAmsduPosition(adapter_.get(), r), 2);
    Chip(0x3501);
    EXPECT_EQ(RxdGetAmsduPosition(adapter_.get(), r), 3);
    Chip(0x3601);
    EXPECT_EQ(RxdGetAmsduPosition(adapter_.get(), r), 3);
}

TEST_F(Descriptors, ReceiveVectorGroupOfTheOlderChip)
{
    std::array<UCHAR, RX_VGROUP_OLDER_SIZE> group{};
    for (ULONG i = 0; i < group.size(); ++i) {
        group[i] = static_cast<UCHAR>(i);
    }
    const UCHAR rcpiAt12[4] = {230, 100, 0, 220};
    std::memcpy(&group[12], rcpiAt12, 4);
    const UCHAR rcpiAt20[4] = {110, 120, 130, 140};
    std::memcpy(&group[20], rcpiAt20, 4);
    std::array<UCHAR, RX_VGROUP_OUTPUT_SIZE> out{};
    ParseRxVGroup(adapter_.get(), 2, out.data(), group.data());
    EXPECT_EQ(static_cast<signed char>(out[0]), 0);    // RCPI 230 is taken as 220: 0 dBm
    EXPECT_EQ(static_cast<signed char>(out[1]), -60);  // RCPI 100
    EXPECT_EQ(std::vector<UCHAR>(out.begin() + 7, out.end()), std::vector<UCHAR>(rcpiAt12, rcpiAt12 + 4));
    EXPECT_EQ(port_.RxVectorStore[3], TxdGetWord(group.data(), 3));
    EXPECT_EQ(port_.RxVectorStore[5], TxdGetWord(group.data(), 5));
    ParseRxVGroup(adapter_.get(), 1, out.data(), group.data());
    EXPECT_EQ(static_cast<signed char>(out[0]), -55);
    EXPECT_EQ(out[10], 140);
    out.fill(0x77);
    ParseRxVGroup(adapter_.get(), 3, out.data(), group.data());
    EXPECT_EQ(out[0], 0x77);
}

TEST_F(Descriptors, ReceiveRateOfAConnectedStation)
{
    std::array<UCHAR, RX_RATE_RECORD_SIZE> rate{};
    ULONG speed = 1, max = 1;
    EXPECT_EQ(ProcessGetRxRate(&port_, adapter_.get(), rate.data(), &speed, &max), 0xFFFFFFFFu) << "network not active";
    EXPECT_EQ(speed, 0u);
    port_.NetworkActivation[0] = 1;
    adapter_->DeviceId = 0x3602;
    // Third generation: rate word (12) bits 0-6 MCS, 7-10 streams; word 13 mode 11-14, bw 0-2, GI 3-4.
    port_.RxVectorStore[12] = 9 | (1u << 7);
    port_.RxVectorStore[13] = 2 | (1u << 3) | (8u << 11);
    EXPECT_EQ(ProcessGetRxRate(&port_, adapter_.get(), rate.data(), &speed, &max), 0u);
    EXPECT_EQ(TxdGetWord(rate.data(), 0), 8u);
    EXPECT_EQ(rate[4], 2);
    EXPECT_EQ(rate[5], 2);
    EXPECT_EQ(rate[6], 1);
    EXPECT_EQ(rate[7], 9);
    // Second generation: mode in the rate word's bits 24-27.
    adapter_->DeviceId = 0x0C01;
    port_.RxVectorStore[12] = 7 | (0u << 7) | (1u << 12) | (2u << 15) | (4u << 24);
    EXPECT_EQ(ProcessGetRxRate(&port_, adapter_.get(), rate.data(), nullptr, nullptr), 0u);
    EXPECT_EQ(TxdGetWord(rate.data(), 0), 4u);
    EXPECT_EQ(rate[4], 1);
    EXPECT_EQ(rate[5], 1);
    EXPECT_EQ(rate[6], 2);
    EXPECT_EQ(rate[7], 7);
    port_.PortType = EXTAP;
    EXPECT_EQ(ProcessGetRxRate(&port_, adapter_.get(), rate.data(), nullptr, nullptr), 0xFFFFFFFFu);
    EXPECT_EQ(ProcessGetRxRate(nullptr, adapter_.get(), rate.data(), nullptr, nullptr), 0xFFFFFFFFu);
}

}  // namespace
