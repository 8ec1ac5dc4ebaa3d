// The P2P attribute parser and the WPS element parser: what each attribute fills, the checks that keep
// a caller's presets, elements joined or split, and malformed lengths from the air.
#include "p2pie_fixture.h"

namespace p2pie {
namespace {

constexpr ULONG kAll = 0x0001FFFFu;

const Bytes kDevA{2, 0xAA, 0, 0, 0, 1};
const Bytes kDevB{2, 0xBB, 0, 0, 0, 2};

Bytes DeviceInfo(const Bytes& address, UCHAR secondaryCount, ULONG typesWritten, const std::string& name,
                 USHORT nameType = 0x1011)
{
    Bytes body = Cat({address, {0x01, 0x88}, Bytes(8, 0x0A), {secondaryCount}});
    for (ULONG i = 0; i < typesWritten; ++i) {
        Bytes type(8, static_cast<UCHAR>(0x60 + i));
        body.insert(body.end(), type.begin(), type.end());
    }
    body.push_back(static_cast<UCHAR>(nameType >> 8));
    body.push_back(static_cast<UCHAR>(nameType));
    body.push_back(0);
    body.push_back(static_cast<UCHAR>(name.size()));
    const Bytes n = Str(name);
    body.insert(body.end(), n.begin(), n.end());
    return Attr(P2P_ATTR_DEVICE_INFO, body);
}

// A record with every field wanted and preset to 0xEE.
P2P_PARSED_ATTRS Preset(ULONG wanted = kAll)
{
    P2P_PARSED_ATTRS r;
    memset(&r, 0xEE, sizeof(r));
    r.Wanted = wanted;
    return r;
}

P2P_PARSED_ATTRS Parse(const Bytes& data, UCHAR beacon = 0, ULONG wanted = kAll)
{
    P2P_PARSED_ATTRS r = Preset(wanted);
    // An exact-size copy: a read past the data is an address error under the sanitizer.
    std::unique_ptr<UCHAR[]> copy(new UCHAR[data.size() + 1]);
    memcpy(copy.get(), data.data(), data.size());
    P2pParseSubElmt(nullptr, copy.get(), static_cast<ULONG>(data.size()), beacon, &r);
    return r;
}

Bytes Addr(const UCHAR* a) { return Bytes(a, a + 6); }

TEST(P2pParse, EveryAttributeFillsItsField)
{
    const Bytes attrs = Cat({
        Attr(P2P_ATTR_STATUS, {3}),
        Attr(P2P_ATTR_CAPABILITY, {0x25, 0x0B}),
        Attr(P2P_ATTR_GO_INTENT, {(7 << 1) | 1}),
        Attr(P2P_ATTR_CONFIG_TIMEOUT, {1, 2}),
        Attr(P2P_ATTR_LISTEN_CHANNEL, {'G', 'L', 4, 81, 6}),
        Attr(P2P_ATTR_GROUP_BSSID, kDevB),
        Attr(P2P_ATTR_INTENDED_INTERFACE_ADDR, {2, 0x1F, 0, 0, 0, 9}),
        Attr(P2P_ATTR_CHANNEL_LIST, {'G', 'L', 4, 81, 3, 1, 6, 11, 115, 2, 36, 40}),
        DeviceInfo(kDevA, 1, 1, "Phone"),
        Attr(P2P_ATTR_OPERATING_CHANNEL, {'G', 'L', 4, 115, 44}),
        Attr(P2P_ATTR_INVITATION_FLAGS, {1}),
        Attr(P2P_ATTR_INTERFACE, Cat({kDevA, {1}, kDevA})),
        Attr(40, {9, 9}),
    });
    const P2P_PARSED_ATTRS r = Parse(P2pIe(attrs));
    EXPECT_EQ(r.Status, 3);
    EXPECT_EQ(r.DeviceCapability, 0x25);
    EXPECT_EQ(r.GroupCapability, 0x0B);
    EXPECT_EQ(r.GoIntent, 15);
    EXPECT_EQ(r.ListenChannel, 6);
    EXPECT_EQ(Addr(r.GroupBssid), kDevB);
    EXPECT_EQ(Addr(r.InterfaceAddress), (Bytes{2, 0x1F, 0, 0, 0, 9}));
    EXPECT_EQ(Bytes(r.ChannelNumbers, r.ChannelNumbers + r.ChannelCount), (Bytes{1, 6, 11, 36, 40}));
    EXPECT_EQ(Addr(r.DeviceAddress), kDevA);
    EXPECT_EQ(r.ConfigMethods, 0x0188);
    EXPECT_EQ(Bytes(r.PrimaryDeviceType, r.PrimaryDeviceType + 8), Bytes(8, 0x0A));
    EXPECT_EQ(r.SecondaryDeviceTypeCount, 1);
    EXPECT_EQ(Bytes(r.SecondaryDeviceTypes[0], r.SecondaryDeviceTypes[0] + 8), Bytes(8, 0x60));
    EXPECT_EQ(r.DeviceNameLength, 5);
    EXPECT_EQ(Bytes(r.DeviceName, r.DeviceName + 5), Str("Phone"));
    EXPECT_EQ(r.OperatingChannel, 44);
    EXPECT_EQ(r.InvitationFlags, 1);
    // Fields no attribute fills keep their presets.
    EXPECT_EQ(r.GroupSsidLength, 0xEE);
    EXPECT_EQ(r.DevicePasswordId, 0xEEEE);
    EXPECT_EQ(r.WpsConfigMethods, 0xEEEE);
}

TEST(P2pParse, FieldsNotWantedAreNeverWritten)
{
    const Bytes frame = P2pIe(Cat({Attr(P2P_ATTR_STATUS, {3}), Attr(P2P_ATTR_DEVICE_ID, kDevA),
                                   DeviceInfo(kDevB, 0, 0, "Phone")}));
    const P2P_PARSED_ATTRS r = Parse(frame, 0, P2P_WANT_STATUS);
    P2P_PARSED_ATTRS expected = Preset(P2P_WANT_STATUS);
    expected.Status = 3;
    EXPECT_EQ(0, memcmp(&r, &expected, sizeof(r)));
}

TEST(P2pParse, FailedLengthChecksKeepThePresets)
{
    const Bytes attrs = Cat({
        Attr(P2P_ATTR_STATUS, {3, 0}),
        Attr(P2P_ATTR_CAPABILITY, {0x25}),
        Attr(P2P_ATTR_DEVICE_ID, {1, 2, 3, 4, 5}),
        Attr(P2P_ATTR_GO_INTENT, {}),
        Attr(P2P_ATTR_LISTEN_CHANNEL, {'G', 'L', 4, 81, 6, 0}),
        Attr(P2P_ATTR_GROUP_BSSID, {1, 2, 3, 4, 5, 6, 7}),
        Attr(P2P_ATTR_INTENDED_INTERFACE_ADDR, {1}),
        Attr(P2P_ATTR_CHANNEL_LIST, {'G', 'L', 4, 81, 1}),
        Attr(P2P_ATTR_GROUP_ID, kDevA),  // 6 bytes: no SSID, skipped whole
        Attr(P2P_ATTR_OPERATING_CHANNEL, {'G', 'L', 4, 115}),
        Attr(P2P_ATTR_INVITATION_FLAGS, {1, 1}),
    });
    const P2P_PARSED_ATTRS r = Parse(P2pIe(attrs));
    const P2P_PARSED_ATTRS preset = Preset();
    EXPECT_EQ(0, memcmp(&r, &preset, sizeof(r)));
}

TEST(P2pParse, TwoElementsAreBothDecodedAndTheLaterValueWins)
{
    const Bytes frame = Cat({P2pIe(Cat({Attr(P2P_ATTR_STATUS, {1}), Attr(P2P_ATTR_GO_INTENT, {4})})),
                             Bytes{0, 3, 'a', 'b', 'c'},  // an SSID element between them
                             P2pIe(Attr(P2P_ATTR_STATUS, {2}))});
    const P2P_PARSED_ATTRS r = Parse(frame);
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.GoIntent, 4);
}

TEST(P2pParse, AnAttributeSplitOverTwoElementsReadsOnlyWhenCombined)
{
    const Bytes attrs = Cat({Attr(P2P_ATTR_STATUS, {1}), Attr(P2P_ATTR_DEVICE_ID, kDevA)});
    const Bytes head(attrs.begin(), attrs.begin() + 7);
    const Bytes tail(attrs.begin() + 7, attrs.end());
    P2P_PARSED_ATTRS r = Parse(Cat({P2pIe(head), P2pIe(tail)}));
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(Addr(r.DeviceAddress), Bytes(6, 0xEE));
    r = Parse(Cat({WpsIe(WpsAttr(0x1012, {0, 4})), CombinedIe(Cat({head, tail}))}));
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(Addr(r.DeviceAddress), kDevA);
    EXPECT_EQ(r.DevicePasswordId, 4);
}

TEST(P2pParse, CombinedElementLongerThan255Bytes)
{
    Bytes attrs;
    for (int i = 0; i < 30; ++i) {
        attrs = Cat({attrs, Attr(P2P_ATTR_CONFIG_TIMEOUT, Bytes(6, 0))});
    }
    attrs = Cat({attrs, Attr(P2P_ATTR_STATUS, {5})});
    ASSERT_GT(attrs.size(), 255u);
    EXPECT_EQ(Parse(CombinedIe(attrs)).Status, 5);
    // Bytes after a combined element are not read.
    EXPECT_EQ(Parse(Cat({CombinedIe(Attr(P2P_ATTR_STATUS, {5})), P2pIe(Attr(P2P_ATTR_STATUS, {6}))})).Status, 5);
}

TEST(P2pParse, DeviceAddressFromDeviceIdGroupIdAndDeviceInfo)
{
    const Bytes groupId = Attr(P2P_ATTR_GROUP_ID, Cat({kDevB, Str("DIRECT-xy")}));
    struct Case {
        const char* what;
        Bytes attrs;
        Bytes expected;
    } cases[] = {
        {"device id, then group id", Cat({Attr(P2P_ATTR_DEVICE_ID, kDevA), groupId}), kDevA},
        {"group id alone", groupId, kDevB},
        {"group id, then device id", Cat({groupId, Attr(P2P_ATTR_DEVICE_ID, kDevA)}), kDevA},
        {"device id, then device info", Cat({Attr(P2P_ATTR_DEVICE_ID, kDevA), DeviceInfo(kDevB, 0, 0, "x")}), kDevB},
    };
    for (const auto& c : cases) {
        const P2P_PARSED_ATTRS r = Parse(P2pIe(c.attrs));
        EXPECT_EQ(Addr(r.DeviceAddress), c.expected) << c.what;
    }
    const P2P_PARSED_ATTRS r = Parse(P2pIe(groupId));
    EXPECT_EQ(r.GroupSsidLength, 9);
    EXPECT_EQ(Bytes(r.GroupSsid, r.GroupSsid + 9), Str("DIRECT-xy"));
}

TEST(P2pParse, WpsDeviceNameOnlyForBeacons)
{
    const Bytes wps = WpsIe(Cat({WpsAttr(0x1008, {0x01, 0x08}), WpsAttr(0x1011, Str("WpsName"))}));
    P2P_PARSED_ATTRS r = Parse(Cat({wps, P2pIe(Attr(P2P_ATTR_STATUS, {0}))}), 1);
    EXPECT_EQ(r.DeviceNameLength, 7);
    EXPECT_EQ(Bytes(r.DeviceName, r.DeviceName + 7), Str("WpsName"));
    EXPECT_EQ(r.WpsConfigMethods, 0x0108);
    r = Parse(Cat({wps, P2pIe(Attr(P2P_ATTR_STATUS, {0}))}), 0);
    EXPECT_EQ(r.DeviceNameLength, 0xEE);
    EXPECT_EQ(r.WpsConfigMethods, 0x0108);
    r = Parse(Cat({wps, P2pIe(DeviceInfo(kDevA, 0, 0, "P2pName"))}), 0);
    EXPECT_EQ(Bytes(r.DeviceName, r.DeviceName + 7), Str("P2pName"));
    // A WPS element without a name leaves the preset even for a beacon.
    r = Parse(WpsIe(WpsAttr(0x1012, {0, 1})), 1);
    EXPECT_EQ(r.DeviceNameLength, 0xEE);
}

TEST(P2pParse, DeviceInfoSecondaryTypesAndName)
{
    struct Case {
        UCHAR count;
        UCHAR storedCount;
        std::string name;
        USHORT nameType;
        bool nameStored;
    } cases[] = {
        {6, 4, "SixTypes", 0x1011, true},
        {0, 0xEE, "None", 0x1011, true},
        {2, 2, std::string(33, 'n'), 0x1011, false},  // a name above 32 bytes is not taken
        {1, 1, "Other", 0x1012, false},
    };
    for (const auto& c : cases) {
        const P2P_PARSED_ATTRS r = Parse(P2pIe(DeviceInfo(kDevA, c.count, c.count, c.name, c.nameType)));
        EXPECT_EQ(r.SecondaryDeviceTypeCount, c.storedCount) << c.name;
        EXPECT_EQ(Addr(r.DeviceAddress), kDevA) << c.name;
        if (c.nameStored) {
            EXPECT_EQ(r.DeviceNameLength, c.name.size());
            EXPECT_EQ(Bytes(r.DeviceName, r.DeviceName + c.name.size()), Str(c.name));
        } else {
            EXPECT_EQ(r.DeviceNameLength, 0xEE) << c.name;
        }
    }
    const P2P_PARSED_ATTRS r = Parse(P2pIe(DeviceInfo(kDevA, 6, 6, "Six")));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Bytes(r.SecondaryDeviceTypes[i], r.SecondaryDeviceTypes[i] + 8), Bytes(8, 0x60 + i));
    }
}

TEST(P2pParse, ShortDeviceInfoIsSkippedWhole)
{
    // Announces 6 secondary types but carries 2, or ends inside its fixed part or its name.
    const Bytes full = DeviceInfo(kDevA, 2, 2, "Name");
    Bytes lying = DeviceInfo(kDevA, 6, 2, "Name");
    Bytes shortName = full;
    shortName[shortName.size() - 5] = 9;  // name length 9, 4 bytes there
    Bytes shortFixed = Attr(P2P_ATTR_DEVICE_INFO, Cat({kDevA, {0x01, 0x88}, Bytes(8, 0x0A)}));
    for (const Bytes& attr : {lying, shortName, shortFixed}) {
        const P2P_PARSED_ATTRS r = Parse(P2pIe(attr));
        const P2P_PARSED_ATTRS preset = Preset();
        EXPECT_EQ(0, memcmp(&r, &preset, sizeof(r)));
    }
}

TEST(P2pParse, ChannelListEntriesAreBoundedByTheAttributeAndTheRecord)
{
    // The second entry announces 9 channels and holds 2: the first entry's channels stay.
    P2P_PARSED_ATTRS r =
        Parse(P2pIe(Attr(P2P_ATTR_CHANNEL_LIST, {'G', 'L', 4, 81, 2, 1, 6, 115, 9, 36, 40})));
    EXPECT_EQ(Bytes(r.ChannelNumbers, r.ChannelNumbers + r.ChannelCount), (Bytes{1, 6}));
    // 240 channel numbers: the record keeps its 118.
    Bytes body{'G', 'L', 4};
    for (int e = 0; e < 2; ++e) {
        body.push_back(115);
        body.push_back(120);
        for (int i = 0; i < 120; ++i) {
            body.push_back(static_cast<UCHAR>(i));
        }
    }
    r = Parse(CombinedIe(Attr(P2P_ATTR_CHANNEL_LIST, body)));
    ASSERT_EQ(r.ChannelCount, P2P_PARSED_CHANNELS_MAX);
    EXPECT_EQ(r.ChannelNumbers[117], 117);
}

TEST(P2pParse, MalformedElementsEndTheWalk)
{
    const Bytes status = Attr(P2P_ATTR_STATUS, {7});
    struct Case {
        const char* what;
        Bytes data;
        UCHAR status;
    } cases[] = {
        {"bare body of 6 bytes", {221, 6, 0x50, 0x6F, 0x9A, 0x09, 0, 1}, 0xEE},
        {"OUI cut by the data", {221, 4, 0x50, 0x6F, 0x9A}, 0xEE},
        {"element shorter than the OUI", {221, 2, 0x50, 0x6F, 0x9A, 0x09, 0, 1, 0, 7}, 0xEE},
        {"element past the data", Cat({P2pIe(status), {221, 40, 0x50, 0x6F, 0x9A, 0x09, 0, 1, 0, 8}}), 7},
        {"attribute past its element", Cat({P2pIe(Cat({status, {0, 9, 0, 8}})), P2pIe(Attr(1, {}))}), 7},
        {"combined element past the data", {221, 9, 0, 0x50, 0x6F, 0x9A, 0x09, 0, 1, 0}, 0xEE},
        {"one byte", {221}, 0xEE},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Parse(c.data).Status, c.status) << c.what;
    }
}

TEST(P2pParse, EmptyBufferReturnsAtOnce)
{
    P2P_PARSED_ATTRS r = Preset();
    const UCHAR one = 221;
    P2pParseSubElmt(nullptr, &one, 0, 1, &r);
    const P2P_PARSED_ATTRS preset = Preset();
    EXPECT_EQ(0, memcmp(&r, &preset, sizeof(r)));
}

// ---- the WPS element parser --------------------------------------------------------------------------

struct WpsOut {
    USHORT pwd = 0xEEEE;
    USHORT methods = 0xEEEE;
    UCHAR name[32] = {};
    UCHAR nameLen = 0xEE;
    UCHAR selReg = 0xEE;
    UCHAR count = 0xEE;
    UCHAR types[5 * 8] = {};
    BOOLEAN result = FALSE;
};

WpsOut ParseWps(const Bytes& element, bool requested)
{
    WpsOut o;
    std::unique_ptr<UCHAR[]> copy(new UCHAR[element.size() + 1]);
    memcpy(copy.get(), element.data(), element.size());
    o.result = P2PParseWPSIE(copy.get(), static_cast<ULONG>(element.size()), &o.pwd, &o.methods, o.name, &o.nameLen,
                             &o.selReg, requested ? &o.count : nullptr, o.types);
    return o;
}

TEST(WpsParse, ShortAndForeignElements)
{
    WpsOut o = ParseWps({221, 7, 0x00, 0x50, 0xF2, 0x04, 0x10, 0x4A, 0}, true);
    EXPECT_TRUE(o.result);
    EXPECT_EQ(o.nameLen, 0);
    EXPECT_EQ(o.count, 0);
    EXPECT_EQ(o.pwd, 0xEEEE);
    EXPECT_FALSE(ParseWps({221, 3, 0x00, 0x50, 0xF2}, true).result);
    EXPECT_FALSE(ParseWps({221, 8, 0x50, 0x6F, 0x9A, 0x09, 0, 1, 0, 1}, true).result);
    EXPECT_FALSE(ParseWps({48, 8, 0x00, 0x50, 0xF2, 0x04, 0, 1, 0, 1}, true).result);
}

TEST(WpsParse, AttributesFillTheirOutputs)
{
    const Bytes e = WpsIe(Cat({WpsAttr(0x104A, {0x10}), WpsAttr(0x1008, {0x01, 0x88}), WpsAttr(0x1012, {0, 4}),
                               WpsAttr(0x1041, {1}), WpsAttr(0x1054, Bytes(8, 0x0A)),
                               WpsAttr(0x1011, Str("Device"))}));
    WpsOut o = ParseWps(e, false);
    EXPECT_TRUE(o.result);
    EXPECT_EQ(o.methods, 0x0188);
    EXPECT_EQ(o.pwd, 4);
    EXPECT_EQ(o.selReg, 1);
    EXPECT_EQ(Bytes(o.types, o.types + 8), Bytes(8, 0x0A));
    EXPECT_EQ(o.nameLen, 6);
    EXPECT_EQ(Bytes(o.name, o.name + 6), Str("Device"));
    // With a requested-type counter the primary type is not stored.
    o = ParseWps(e, true);
    EXPECT_EQ(o.count, 0);
    EXPECT_EQ(Bytes(o.types, o.types + 8), Bytes(8, 0));
}

TEST(WpsParse, SixRequestedTypesStoreFive)
{
    Bytes attrs;
    for (int i = 0; i < 6; ++i) {
        attrs = Cat({attrs, WpsAttr(0x106A, Bytes(8, static_cast<UCHAR>(i + 1)))});
    }
    const WpsOut o = ParseWps(WpsIe(attrs), true);
    EXPECT_EQ(o.count, 5);
    EXPECT_EQ(Bytes(o.types + 32, o.types + 40), Bytes(8, 5));
}

TEST(WpsParse, ForeignTypeOrOverrunEndsTheWalk)
{
    WpsOut o = ParseWps(WpsIe(Cat({WpsAttr(0x2001, {0}), WpsAttr(0x1012, {0, 4})})), false);
    EXPECT_TRUE(o.result);
    EXPECT_EQ(o.pwd, 0xEEEE);
    // An attribute running past the element is not read, nor anything after it.
    Bytes e = WpsIe(Cat({WpsAttr(0x1012, {0, 4}), WpsAttr(0x1011, Str("abcdef"))}));
    e[e.size() - 7] = 40;  // the name claims 40 bytes
    o = ParseWps(e, false);
    EXPECT_EQ(o.pwd, 4);
    EXPECT_EQ(o.nameLen, 0);
}

TEST(WpsParse, LongDeviceNameIsCutTo32)
{
    const WpsOut o = ParseWps(WpsIe(WpsAttr(0x1011, Bytes(40, 'n'))), false);
    EXPECT_EQ(o.nameLen, 32);
    EXPECT_EQ(Bytes(o.name, o.name + 32), Bytes(32, 'n'));
}

}  // namespace
}  // namespace p2pie
