// The P2P attribute writer: fixed attributes, channel attributes and lists, device info, group id,
// group info and notice of absence, and the bound of the destination.
#include "p2pie_fixture.h"

namespace p2pie {
namespace {

class AttrWriterTest : public P2pIeTest {
protected:
    // Writes one attribute into a 300-byte buffer pre-filled with 0xAA and returns what was written.
    Bytes Write(PMP_PORT port, UCHAR id, const void* source, ULONG capacity = 300)
    {
        buffer_.assign(300, 0xAA);
        const ULONG n = InsertP2PAttribute(A(), port, id, source, buffer_.data(), capacity);
        return Bytes(buffer_.begin(), buffer_.begin() + n);
    }
    Bytes buffer_;
};

TEST_F(AttrWriterTest, FixedAttributesCopyTheirSource)
{
    PMP_PORT sta = Port(0, EXTSTA);
    const UCHAR addr[6] = {0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
    const UCHAR pair[2] = {0x25, 0x0B};
    const UCHAR one = 0x0F;
    const Bytes a(addr, addr + 6);
    struct Case {
        UCHAR id;
        const void* source;
        Bytes expected;
    } cases[] = {
        {P2P_ATTR_STATUS, &one, {0, 1, 0, 0x0F}},
        {P2P_ATTR_CAPABILITY, pair, {2, 2, 0, 0x25, 0x0B}},
        {P2P_ATTR_DEVICE_ID, addr, Cat({{3, 6, 0}, a})},
        {P2P_ATTR_GO_INTENT, &one, {4, 1, 0, 0x0F}},
        {P2P_ATTR_CONFIG_TIMEOUT, pair, {5, 2, 0, 0x25, 0x0B}},
        {P2P_ATTR_GROUP_BSSID, addr, Cat({{7, 6, 0}, a})},
        {P2P_ATTR_EXT_LISTEN_TIMING, nullptr, {8, 4, 0, 0xE8, 0x03, 0xA0, 0x0F}},
        {P2P_ATTR_INTENDED_INTERFACE_ADDR, addr, Cat({{9, 6, 0}, a})},
        {P2P_ATTR_INTERFACE, addr, Cat({{16, 13, 0}, a, {1}, a})},
        {P2P_ATTR_INVITATION_FLAGS, &one, {18, 1, 0, 0x0F}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Write(sta, c.id, c.source), c.expected) << "attribute " << int(c.id);
    }
}

TEST_F(AttrWriterTest, UnsupportedIdsWriteNothingButClearTheDestination)
{
    PMP_PORT sta = Port(0, EXTSTA);
    const UCHAR source[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (UCHAR id : {UCHAR(1), UCHAR(10), UCHAR(12), UCHAR(14), UCHAR(19), UCHAR(200)}) {
        EXPECT_TRUE(Write(sta, id, source).empty()) << int(id);
        EXPECT_EQ(buffer_[0], id);
        for (size_t i = 1; i < 255; ++i) {
            ASSERT_EQ(buffer_[i], 0) << "byte " << i << " of id " << int(id);
        }
        EXPECT_EQ(buffer_[255], 0xAA) << "only 255 bytes are cleared";
    }
}

TEST_F(AttrWriterTest, NeverWritesPastItsCapacity)
{
    PMP_PORT sta = Port(0, EXTSTA);
    const UCHAR addr[6] = {1, 2, 3, 4, 5, 6};
    // The clearing stops at the capacity, and an attribute that does not fit is not written.
    EXPECT_TRUE(Write(sta, P2P_ATTR_DEVICE_ID, addr, 8).empty());
    EXPECT_EQ(buffer_[0], P2P_ATTR_DEVICE_ID);
    EXPECT_EQ(buffer_[8], 0xAA);
    EXPECT_EQ(Write(sta, P2P_ATTR_DEVICE_ID, addr, 9).size(), 9u);
    EXPECT_EQ(buffer_[9], 0xAA);
    EXPECT_TRUE(Write(sta, P2P_ATTR_EXT_LISTEN_TIMING, nullptr, 6).empty());
    EXPECT_EQ(buffer_[6], 0xAA);
}

TEST_F(AttrWriterTest, ListenAndOperatingChannelCarryCountryStringAndClass)
{
    PMP_PORT sta = Port(0, EXTSTA);
    PMP_PORT dev = Port(1, WFD_DEVICE);
    const UCHAR ch6 = 6;
    const UCHAR ch36 = 36;
    const UCHAR ch149 = 149;
    EXPECT_EQ(Write(sta, P2P_ATTR_LISTEN_CHANNEL, &ch6), (Bytes{6, 5, 0, 'G', 'L', 4, 81, 6}));
    EXPECT_EQ(Write(dev, P2P_ATTR_LISTEN_CHANNEL, &ch36), (Bytes{6, 5, 0, 'G', 'L', 4, 115, 36}));
    EXPECT_EQ(Write(sta, P2P_ATTR_OPERATING_CHANNEL, &ch6), (Bytes{17, 5, 0, 'G', 'L', 4, 81, 6}));
    EXPECT_EQ(Write(sta, P2P_ATTR_OPERATING_CHANNEL, &ch149), (Bytes{17, 5, 0, 'G', 'L', 4, 124, 149}));
    // A Wi-Fi Direct port hands the complete body, which is copied as it stands.
    const UCHAR body[5] = {'X', 'Y', 0x04, 116, 36};
    EXPECT_EQ(Write(dev, P2P_ATTR_OPERATING_CHANNEL, body), (Bytes{17, 5, 0, 'X', 'Y', 4, 116, 36}));
}

TEST_F(AttrWriterTest, ChannelListOfTheAdapterTableStartsAnEntryAtEveryClassChange)
{
    PMP_PORT sta = Port(0, EXTSTA);
    SetChannelTable({1, 6, 36, 40, 11, 149});
    const Bytes got = Write(sta, P2P_ATTR_CHANNEL_LIST, nullptr);
    const Bytes entries{81, 2, 1, 6, 115, 2, 36, 40, 81, 1, 11, 124, 1, 149};
    EXPECT_EQ(got, Cat({{11, static_cast<UCHAR>(entries.size() + 3), 0, 'G', 'L', 4}, entries}));
}

TEST_F(AttrWriterTest, ChannelListOfTheDevicePortComesFromItsRecord)
{
    PMP_PORT dev = Port(1, WFD_DEVICE);
    SetChannelTable({1});  // not read for the device port
    P2P_CHANNEL_LIST list{};
    list.Count = 4;
    const UCHAR channels[4] = {1, 11, 36, 161};
    memcpy(list.Channels, channels, 4);
    EXPECT_EQ(Write(dev, P2P_ATTR_CHANNEL_LIST, &list),
              (Bytes{11, 13, 0, 'G', 'L', 4, 81, 2, 1, 11, 115, 1, 36, 124, 1, 161}));
    // No channels at all: one empty entry.
    list.Count = 0;
    EXPECT_EQ(Write(dev, P2P_ATTR_CHANNEL_LIST, &list), (Bytes{11, 5, 0, 'G', 'L', 4, 0, 0}));
}

TEST_F(AttrWriterTest, LongChannelListKeepsItsFullLength)
{
    PMP_PORT dev = Port(1, WFD_DEVICE);
    P2P_CHANNEL_LIST list{};
    list.Count = P2P_CHANNEL_LIST_MAX;
    for (ULONG i = 0; i < P2P_CHANNEL_LIST_MAX; ++i) {
        list.Channels[i] = (i % 2) ? 36 : 1;  // every channel its own entry
    }
    std::vector<UCHAR> out(600, 0xAA);
    const ULONG n = InsertP2PAttribute(A(), dev, P2P_ATTR_CHANNEL_LIST, &list, out.data(), 600);
    EXPECT_EQ(n, 6u + 3u * P2P_CHANNEL_LIST_MAX);
    EXPECT_EQ(out[1] | (out[2] << 8), 3 + 3 * P2P_CHANNEL_LIST_MAX);
    // The same list in a destination too small for it is not written.
    EXPECT_EQ(InsertP2PAttribute(A(), dev, P2P_ATTR_CHANNEL_LIST, &list, out.data(), 200), 0u);
}

TEST_F(AttrWriterTest, DeviceInfoOfAWiFiDirectPortCarriesTheOsTypes)
{
    PMP_PORT dev = Port(1, WFD_DEVICE);
    SetName(dev, "Phone");
    dev->P2pWpsConfigMethods = 0x0188;
    const Bytes primary{0, 10, 0, 0x50, 0xF2, 4, 0, 5};
    memcpy(dev->P2pPrimaryDeviceType, primary.data(), 8);
    Bytes secondary(16);
    for (size_t i = 0; i < secondary.size(); ++i) {
        secondary[i] = static_cast<UCHAR>(0x40 + i);
    }
    dev->P2pOsSecondaryDeviceTypes = {secondary.data(), 16, 2};
    const UCHAR addr[6] = {2, 9, 9, 9, 9, 9};
    const Bytes got = Write(dev, P2P_ATTR_DEVICE_INFO, addr);
    const Bytes body = Cat({Bytes(addr, addr + 6), {0x01, 0x88}, primary, {2}, secondary, {0x10, 0x11, 0, 5},
                            Str("Phone")});
    EXPECT_EQ(got, Cat({{13, static_cast<UCHAR>(body.size()), 0}, body}));
    EXPECT_EQ(got.size(), 5u + 24u + 16u);
}

TEST_F(AttrWriterTest, DeviceInfoBoundsTheOsTypes)
{
    PMP_PORT dev = Port(1, WFD_DEVICE);
    SetName(dev, "Phone");
    Bytes types(8 * 40, 0x33);
    const UCHAR addr[6] = {2, 9, 9, 9, 9, 9};
    struct Case {
        ULONG byteLength;
        ULONG count;
        UCHAR written;
    } cases[] = {
        {16, 3, 0},                                    // fewer bytes than the count says: no types
        {8 * 40, 40, P2P_OS_SECONDARY_TYPES_WRITTEN},  // cut so the element stays within its u8 length
        {8, 1, 1},
    };
    for (const auto& c : cases) {
        dev->P2pOsSecondaryDeviceTypes = {types.data(), c.byteLength, c.count};
        const Bytes got = Write(dev, P2P_ATTR_DEVICE_INFO, addr);
        ASSERT_GE(got.size(), 20u);
        EXPECT_EQ(got[3 + 16], c.written) << c.count;
        EXPECT_EQ(got.size(), 3u + 21u + 5u + 8u * c.written);
    }
}

TEST_F(AttrWriterTest, DeviceInfoOfAStationPortTakesTheWpsRecordOfItsRole)
{
    PMP_PORT sta = Port(0, EXTSTA);
    PMP_PORT go = Port(2, WFD_GO);
    SetName(sta, "Laptop");
    memset(sta->WscDevInfo[0].PrimaryDeviceType, 0x11, 8);
    memset(sta->WscDevInfo[1].PrimaryDeviceType, 0x22, 8);
    Bytes types(8, 0x33);
    sta->P2pOsSecondaryDeviceTypes = {types.data(), 8, 1};  // not read on a station port
    sta->P2pRolePortIndex = 2;
    const UCHAR addr[6] = {2, 1, 1, 1, 1, 1};
    go->OpMode = 1;
    Bytes got = Write(sta, P2P_ATTR_DEVICE_INFO, addr);
    EXPECT_EQ(Bytes(got.begin() + 11, got.begin() + 19), Bytes(8, 0x11));
    EXPECT_EQ(got[19], 0);
    go->OpMode = 3;
    got = Write(sta, P2P_ATTR_DEVICE_INFO, addr);
    EXPECT_EQ(Bytes(got.begin() + 11, got.begin() + 19), Bytes(8, 0x22));
    EXPECT_EQ(got.size(), 6u + 24u);
}

TEST_F(AttrWriterTest, GroupIdIsTheDeviceAddressAndTheGroupSsid)
{
    PMP_PORT go = Port(2, WFD_GO);
    const Bytes ssid = Str("DIRECT-ab-Phone");
    memcpy(go->P2pSsid, ssid.data(), ssid.size());
    go->P2pSsidLen = static_cast<UCHAR>(ssid.size());
    const UCHAR addr[6] = {2, 7, 7, 7, 7, 7};
    EXPECT_EQ(Write(go, P2P_ATTR_GROUP_ID, addr),
              Cat({{15, static_cast<UCHAR>(ssid.size() + 6), 0}, Bytes(addr, addr + 6), ssid}));
}

TEST_F(AttrWriterTest, NoticeOfAbsenceHasOneDescriptor)
{
    PMP_PORT go = Port(2, WFD_GO);
    go->P2pNoaIndex = 7;
    go->P2pNoaCount = 255;
    go->P2pNoaDuration = 0x00001388;
    go->P2pNoaInterval = 0x000186A0;
    UCHAR out[18];
    ASSERT_EQ(P2PInsertNoAAttribute(A(), go, 0x11223344, out, sizeof(out)), 18u);
    EXPECT_EQ(Bytes(out, out + 18), (Bytes{12, 15, 0, 7, 0, 255, 0x88, 0x13, 0, 0, 0xA0, 0x86, 0x01, 0, 0x44,
                                           0x33, 0x22, 0x11}));
    EXPECT_EQ(P2PInsertNoAAttribute(A(), go, 0, out, 17), 0u);
}

P2P_CLIENT_INFO Client(UCHAR last, const std::string& name, UCHAR secondary)
{
    P2P_CLIENT_INFO c{};
    const UCHAR dev[6] = {2, 0xDD, 0, 0, 0, last};
    const UCHAR ifa[6] = {2, 0x1F, 0, 0, 0, last};
    memcpy(c.DeviceAddress, dev, 6);
    memcpy(c.InterfaceAddress, ifa, 6);
    c.DeviceCapability = 0x25;
    c.ConfigMethods = 0x8801;
    memset(c.PrimaryDeviceType, 0x0A, 8);
    c.SecondaryTypeCount = secondary;
    for (int i = 0; i < P2P_GROUP_INFO_SECONDARY_MAX; ++i) {
        memset(c.SecondaryTypes[i], 0x50 + i, 8);
    }
    memcpy(c.DeviceName, name.data(), name.size());
    c.DeviceNameLen = static_cast<UCHAR>(name.size());
    return c;
}

TEST_F(AttrWriterTest, GroupInfoWritesOneDescriptorPerClient)
{
    P2P_CLIENT_INFO clients[2] = {Client(1, "Cam", 1), Client(2, "Tablet", 6)};
    clients[1].ClientDiscoverable = 1;
    UCHAR out[400];
    const ULONG n = P2pWriteGroupInfoAttribute(clients, 2, out, sizeof(out));
    const ULONG first = 1 + 28 + 8 + 3;
    const ULONG second = 1 + 28 + 32 + 6;  // six secondary types, four written
    ASSERT_EQ(n, 3 + first + second);
    EXPECT_EQ(out[0], P2P_ATTR_GROUP_INFO);
    EXPECT_EQ(out[1] | (out[2] << 8), int(first + second));
    const UCHAR* d1 = out + 3;
    EXPECT_EQ(d1[0], first - 1);
    EXPECT_EQ(Bytes(d1 + 1, d1 + 7), (Bytes{2, 0xDD, 0, 0, 0, 1}));
    EXPECT_EQ(Bytes(d1 + 7, d1 + 13), (Bytes{2, 0x1F, 0, 0, 0, 1}));
    EXPECT_EQ(d1[13], 0x25);
    EXPECT_EQ(Bytes(d1 + 14, d1 + 16), (Bytes{0x01, 0x88}));  // as recorded
    EXPECT_EQ(d1[24], 1);
    EXPECT_EQ(Bytes(d1 + 33, d1 + 40), Cat({{0x10, 0x11, 0, 3}, Str("Cam")}));
    const UCHAR* d2 = d1 + first;
    EXPECT_EQ(d2[0], second - 1);
    EXPECT_EQ(d2[13], 0x25 | P2P_DEVCAP_CLIENT_DISCOVERABILITY);
    EXPECT_EQ(d2[24], 4);
    EXPECT_EQ(Bytes(d2 + 25 + 24, d2 + 25 + 32), Bytes(8, 0x53));  // the fourth type is the last
    EXPECT_EQ(Bytes(d2 + 57, d2 + 67), Cat({{0x10, 0x11, 0, 6}, Str("Tablet")}));
}

TEST_F(AttrWriterTest, GroupInfoWithoutClientsIsNotWritten)
{
    UCHAR out[8];
    memset(out, 0xAA, sizeof(out));
    EXPECT_EQ(P2pWriteGroupInfoAttribute(nullptr, 0, out, sizeof(out)), 0u);
    EXPECT_EQ(out[0], 0);
}

TEST_F(AttrWriterTest, GroupInfoOfManyClientsHasItsFullLengthAndStopsAtTheCapacity)
{
    std::vector<P2P_CLIENT_INFO> clients;
    for (UCHAR i = 0; i < 5; ++i) {
        clients.push_back(Client(i, std::string(32, 'n'), 4));
    }
    const ULONG each = 1 + 28 + 32 + 32;
    std::vector<UCHAR> out(600, 0xAA);
    EXPECT_EQ(P2pWriteGroupInfoAttribute(clients.data(), 5, out.data(), 600), 3 + 5 * each);
    EXPECT_EQ(out[1] | (out[2] << 8), int(5 * each));
    // Room for two descriptors: two are written, nothing past the capacity.
    out.assign(600, 0xAA);
    EXPECT_EQ(P2pWriteGroupInfoAttribute(clients.data(), 5, out.data(), 3 + 2 * each + 10), 3 + 2 * each);
    EXPECT_EQ(out[3 + 2 * each + 10], 0xAA);
}

}  // namespace
}  // namespace p2pie
