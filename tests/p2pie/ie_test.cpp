// The P2P and WPS elements of probe, association and beacon frames, and the group owner's
// notice-of-absence element.
#include "p2pie_fixture.h"

#include "Common/mlme/mlmewsc.h"

namespace p2pie {
namespace {

using P2pAttrs = std::vector<std::pair<UCHAR, Bytes>>;

class IeTest : public P2pIeTest {
protected:
    void SetUp() override
    {
        P2pIeTest::SetUp();
        sta_ = Port(0, EXTSTA);
        dev_ = Port(1, WFD_DEVICE);
        SetName(dev_, "QZ-Phone");
        SetName(sta_, "QZ-Phone");
        dev_->P2pListenChannel = 6;
        sta_->P2pListenChannel = 11;
    }

    // Writes the P2P element(s) into a 1024-byte buffer and returns the bytes written.
    Bytes P2p(PMP_PORT port, ULONG selector, UCHAR kind, ULONG capacity = 1024)
    {
        buffer_.assign(1024, 0xAA);
        ULONG n = 0xFFFF;
        P2pMakeP2pIE(A(), port, selector, kind, buffer_.data(), capacity, &n);
        return Bytes(buffer_.begin(), buffer_.begin() + n);
    }
    Bytes Wps(PMP_PORT port, USHORT kind, ULONG capacity = 1024)
    {
        buffer_.assign(1024, 0xAA);
        ULONG n = 0xFFFF;
        P2pMakeWpsIE(A(), port, kind, buffer_.data(), capacity, &n);
        return Bytes(buffer_.begin(), buffer_.begin() + n);
    }
    static std::vector<USHORT> Types(const std::vector<std::pair<USHORT, Bytes>>& attrs)
    {
        std::vector<USHORT> types;
        for (const auto& a : attrs) {
            types.push_back(a.first);
        }
        return types;
    }
    static Bytes ValueOf(const std::vector<std::pair<USHORT, Bytes>>& attrs, USHORT type)
    {
        for (const auto& a : attrs) {
            if (a.first == type) {
                return a.second;
            }
        }
        return {};
    }

    PMP_PORT sta_ = nullptr;
    PMP_PORT dev_ = nullptr;
    Bytes buffer_;
};

TEST_F(IeTest, ClientAssociationRequestCarriesCapabilityAndInterface)
{
    PMP_PORT client = Port(3, WFD_CLIENT);
    client->P2pOsCapability[0] = 0x25;
    client->P2pOsCapability[1] = 0x0A;
    const Bytes ie = P2p(client, 0, P2P_FRAME_ASSOC_REQ);
    ASSERT_EQ(ie.size(), 27u);
    EXPECT_EQ(ie[1], 25);
    const P2pAttrs attrs = P2pAttrsOf(ie.data(), ie.size());
    EXPECT_EQ(IdsOf(attrs), (std::vector<UCHAR>{P2P_ATTR_CAPABILITY, P2P_ATTR_INTERFACE}));
    EXPECT_EQ(attrs[0].second, (Bytes{0x25, 0x0A}));
    const Bytes own(client->MacAddress, client->MacAddress + 6);
    EXPECT_EQ(attrs[1].second, Cat({own, {1}, own}));

    // A station port speaks for its role port; the older OS interface marks infrastructure management.
    common_->NdisVersion = P2P_NDIS_VERSION_620;
    sta_->P2pRolePortIndex = 3;
    const P2pAttrs staAttrs = P2pAttrsOf(P2p(sta_, 0, P2P_FRAME_ASSOC_REQ).data(), 27);
    EXPECT_EQ(staAttrs[0].second[0], P2P_DEVCAP_INFRA_MANAGED);
    EXPECT_EQ(staAttrs[1].second, Cat({own, {1}, own}));
}

TEST_F(IeTest, AssociationResponseCarriesAtMostExtendedListenTiming)
{
    EXPECT_EQ(P2p(sta_, 3, P2P_FRAME_ASSOC_RSP), (Bytes{221, 4, 0x50, 0x6F, 0x9A, 0x09}));
    sta_->P2pExtListenPeriod = 100;
    sta_->P2pExtListenInterval = 200;
    EXPECT_EQ(P2p(sta_, 3, P2P_FRAME_ASSOC_RSP).size(), 6u) << "bit 21 of the adapter's control value is clear";
    adapter_->WorkingCfg.P2pMcc.WifiDirectControl = 0x200000;
    EXPECT_EQ(P2p(sta_, 3, P2P_FRAME_ASSOC_RSP),
              (Bytes{221, 11, 0x50, 0x6F, 0x9A, 0x09, 8, 4, 0, 0xE8, 0x03, 0xA0, 0x0F}));
    EXPECT_EQ(P2p(dev_, 3, P2P_FRAME_ASSOC_RSP).size(), 6u) << "never on a Wi-Fi Direct port";
}

TEST_F(IeTest, ProbeRequestOfAStationPort)
{
    sta_->P2pCapability[0] = 0x21;
    sta_->P2pCapability[1] = 0x0B;
    Bytes ie = P2p(sta_, 0, P2P_FRAME_PROBE_REQ);
    P2pAttrs attrs = P2pAttrsOf(ie.data(), ie.size());
    EXPECT_EQ(IdsOf(attrs), (std::vector<UCHAR>{P2P_ATTR_CAPABILITY, P2P_ATTR_LISTEN_CHANNEL}));
    EXPECT_EQ(attrs[0].second, (Bytes{0x21, 0x00}));
    EXPECT_EQ(attrs[1].second, (Bytes{'G', 'L', 4, 81, 11}));
    EXPECT_EQ(ie[1] + 2u, ie.size());

    sta_->P2pCfgControl = 0x300000;  // client discoverability and extended listen timing
    attrs = P2pAttrsOf(P2p(sta_, 0, P2P_FRAME_PROBE_REQ).data(), 6 + 5 + 8 + 7);
    EXPECT_EQ(IdsOf(attrs),
              (std::vector<UCHAR>{P2P_ATTR_CAPABILITY, P2P_ATTR_LISTEN_CHANNEL, P2P_ATTR_EXT_LISTEN_TIMING}));
    EXPECT_EQ(attrs[0].second[0], 0x21 | P2P_DEVCAP_CLIENT_DISCOVERABILITY);
    EXPECT_EQ(attrs[2].second, (Bytes{0xE8, 0x03, 0xA0, 0x0F}));
}

TEST_F(IeTest, ProbeRequestOfTheDevicePortNamesTheSoughtDevice)
{
    dev_->P2pOsCapability[0] = 0x27;
    dev_->P2pOsCapability[1] = 0x01;
    const Bytes sought{2, 0x5E, 0, 0, 0, 7};
    memcpy(dev_->P2pMs.DeviceFilters[0].DeviceAddress, sought.data(), 6);
    dev_->P2pMs.DeviceFilterCount = 1;
    dev_->P2pMs.DiscoverFilterFlags = P2P_MS_FILTER_DEVICE_ID;
    dev_->OpMode = 3;
    dev_->P2pGroupChannel = 36;
    const Bytes ie = P2p(dev_, 3, P2P_FRAME_PROBE_REQ);
    const P2pAttrs attrs = P2pAttrsOf(ie.data(), ie.size());
    EXPECT_EQ(IdsOf(attrs), (std::vector<UCHAR>{P2P_ATTR_CAPABILITY, P2P_ATTR_DEVICE_ID, P2P_ATTR_LISTEN_CHANNEL,
                                                P2P_ATTR_OPERATING_CHANNEL}));
    EXPECT_EQ(attrs[0].second, (Bytes{0x27, 0x00}));
    EXPECT_EQ(attrs[1].second, sought);
    EXPECT_EQ(attrs[3].second, (Bytes{'G', 'L', 4, 115, 36}));
}

TEST_F(IeTest, ProbeResponseAndItsNoticeOfAbsence)
{
    PMP_PORT go = Port(2, WFD_GO);
    SetName(go, "QZ-Phone");
    go->P2pOsCapability[0] = 0x25;
    go->P2pOsCapability[1] = 0x0B;
    const Bytes ie = P2p(go, 3, P2P_FRAME_PROBE_RSP);
    const P2pAttrs attrs = P2pAttrsOf(ie.data(), ie.size());
    EXPECT_EQ(IdsOf(attrs), (std::vector<UCHAR>{P2P_ATTR_CAPABILITY, P2P_ATTR_DEVICE_ID, P2P_ATTR_DEVICE_INFO}));
    EXPECT_EQ(attrs[0].second, (Bytes{0x25, 0x0B}));
    const Bytes devAddr(dev_->MacAddress, dev_->MacAddress + 6);
    EXPECT_EQ(attrs[1].second, devAddr);
    EXPECT_EQ(Bytes(attrs[2].second.begin(), attrs[2].second.begin() + 6), devAddr);

    // Selector 1: no device id. A running group owner with a schedule appends its absence element.
    go->P2pConnectState = P2P_I_AM_GO_OP;
    go->P2pNoaActive = 1;
    go->P2pNoaIndex = 3;
    go->P2pNoaCount = 255;
    go->P2pNoaDuration = 40000;
    go->P2pNoaInterval = 100000;
    go->P2pNoaStartTime = 0x01020304;
    const Bytes withNoa = P2p(go, 1, P2P_FRAME_PROBE_RSP);
    const size_t p2pLen = withNoa[1] + 2u;
    ASSERT_EQ(withNoa.size(), p2pLen + 24);
    EXPECT_EQ(IdsOf(P2pAttrsOf(withNoa.data(), p2pLen)),
              (std::vector<UCHAR>{P2P_ATTR_CAPABILITY, P2P_ATTR_DEVICE_INFO}));
    EXPECT_EQ(Bytes(withNoa.begin() + p2pLen, withNoa.end()),
              (Bytes{221, 22, 0x50, 0x6F, 0x9A, 0x09, 12, 15, 0, 3, 0, 255, 0x40, 0x9C, 0, 0, 0xA0, 0x86, 0x01, 0,
                     0x04, 0x03, 0x02, 0x01}));
    // Opportunistic power save alone: the short form with the CTWindow byte.
    go->P2pNoaActive = 0;
    go->P2pCtWindow = 0x8A;
    const Bytes oppPs = P2p(go, 1, P2P_FRAME_PROBE_RSP);
    EXPECT_EQ(Bytes(oppPs.begin() + p2pLen, oppPs.end()),
              (Bytes{221, 9, 0x50, 0x6F, 0x9A, 0x09, 12, 2, 0, 3, 0x8A}));
    // Neither: nothing after the P2P element.
    go->P2pCtWindow = 0x0A;
    EXPECT_EQ(P2p(go, 1, P2P_FRAME_PROBE_RSP).size(), p2pLen);
}

TEST_F(IeTest, WrittenProbeResponseParsesBack)
{
    dev_->P2pOsCapability[0] = 0x25;
    dev_->P2pOsCapability[1] = 0x00;
    dev_->P2pWpsConfigMethods = 0x0188;
    memset(dev_->P2pPrimaryDeviceType, 0x0A, 8);
    Bytes types(24, 0x0B);
    dev_->P2pOsSecondaryDeviceTypes = {types.data(), 24, 3};
    const Bytes ie = P2p(dev_, 3, P2P_FRAME_PROBE_RSP);
    P2P_PARSED_ATTRS r;
    memset(&r, 0, sizeof(r));
    r.Wanted = 0x0001FFFFu;
    P2pParseSubElmt(A(), ie.data(), static_cast<ULONG>(ie.size()), 0, &r);
    EXPECT_EQ(r.DeviceCapability, 0x25);
    EXPECT_EQ(Bytes(r.DeviceAddress, r.DeviceAddress + 6), Bytes(dev_->MacAddress, dev_->MacAddress + 6));
    EXPECT_EQ(r.ConfigMethods, 0x0188);
    EXPECT_EQ(r.SecondaryDeviceTypeCount, 3);
    EXPECT_EQ(r.DeviceNameLength, 8);
    EXPECT_EQ(Bytes(r.DeviceName, r.DeviceName + 8), Str("QZ-Phone"));
}

TEST_F(IeTest, P2pElementThatDoesNotFitIsNotWritten)
{
    const ULONG full = static_cast<ULONG>(P2p(sta_, 0, P2P_FRAME_PROBE_REQ).size());
    for (ULONG capacity : {0u, 5u, 6u, full - 1}) {
        EXPECT_TRUE(P2p(sta_, 0, P2P_FRAME_PROBE_REQ, capacity).empty()) << capacity;
        EXPECT_EQ(buffer_[capacity], 0xAA) << capacity;
    }
    EXPECT_EQ(P2p(sta_, 0, P2P_FRAME_PROBE_REQ, full).size(), full);
}

TEST_F(IeTest, NoPortWritesNothing)
{
    UCHAR out[16];
    ULONG n = 7;
    P2pMakeP2pIE(A(), nullptr, 0, P2P_FRAME_PROBE_REQ, out, sizeof(out), &n);
    EXPECT_EQ(n, 0u);
}

// ---- WPS elements ----------------------------------------------------------------------------------------

TEST_F(IeTest, WpsProbeRequestWithTheDefaultRecord)
{
    dev_->P2pWpsDevicePasswordId = 4;
    const Bytes ie = Wps(dev_, P2P_FRAME_PROBE_REQ);
    const auto attrs = WpsAttrsOf(ie.data(), ie.size());
    EXPECT_EQ(Types(attrs), (std::vector<USHORT>{0x104A, 0x103A, 0x1008, 0x1047, 0x1054, 0x103C, 0x1002, 0x1009,
                                                 0x1012, 0x1011, 0x1021, 0x1023, 0x1024, 0x1049}));
    EXPECT_EQ(ValueOf(attrs, 0x104A), (Bytes{0x10}));
    EXPECT_EQ(ValueOf(attrs, 0x1008), (Bytes{0x01, 0x88}));
    // UUID-E: "TelvarWPS-" and the port's address.
    EXPECT_EQ(ValueOf(attrs, 0x1047), Cat({Str("TelvarWPS-"), Bytes(dev_->MacAddress, dev_->MacAddress + 6)}));
    EXPECT_EQ(ValueOf(attrs, 0x1054), (Bytes{0, 1, 0, 0x50, 0xF2, 4, 0, 1}));
    EXPECT_EQ(ValueOf(attrs, 0x1002), (Bytes{0, 0}));
    EXPECT_EQ(ValueOf(attrs, 0x1012), (Bytes{0, 4}));
    EXPECT_EQ(ValueOf(attrs, 0x1011), Str("QZ-Phone"));
    EXPECT_EQ(ValueOf(attrs, 0x1021), Str("Quazel Inc."));
    EXPECT_EQ(ValueOf(attrs, 0x1023), Str("Quazel Wireless Adapter"));
    EXPECT_EQ(ValueOf(attrs, 0x1024), Str("QZ0XXX"));
    EXPECT_EQ(ValueOf(attrs, 0x1049), (Bytes{0x00, 0x37, 0x2A, 0x00, 0x01, 0x20}));
}

TEST_F(IeTest, WpsVersionBelow20HasNoVendorExtensionNorModelAttributes)
{
    adapter_->WorkingCfg.WscVersion2 = 0x10;
    const Bytes ie = Wps(dev_, P2P_FRAME_PROBE_REQ);
    EXPECT_EQ(Types(WpsAttrsOf(ie.data(), ie.size())),
              (std::vector<USHORT>{0x104A, 0x103A, 0x1008, 0x1047, 0x1054, 0x103C, 0x1002, 0x1009, 0x1012, 0x1011}));
}

TEST_F(IeTest, WpsProbeResponseOfAFormingGroupOwner)
{
    dev_->P2pWpsEnabled = 1;
    dev_->P2pWpsMode = 2;
    WscSetDevInfo(A(), dev_, &dev_->WscDevInfo[1]);
    // A configured manufacturer longer than the default is cut to the default's length.
    memcpy(dev_->WscDevInfo[1].Manufacturer, "Quazel Incorporated Worldwide", 29);
    dev_->P2pWpsDevicePasswordId = 5;
    struct Case {
        LONG state;
        UCHAR groupMode;
        bool owner;
    } cases[] = {{P2P_ANY_IN_FORMATION_AS_GO, 7, true}, {P2P_WPS_REGISTRA, 7, true}, {P2P_I_AM_GO_OP, 7, true},
                 {P2P_IDLE, 16, true},  {P2P_IDLE, 7, false},     {P2P_I_AM_CLIENT_OP, 7, false}};
    for (const auto& c : cases) {
        dev_->P2pConnectState = c.state;
        dev_->P2pGroupMode = c.groupMode;
        const Bytes ie = Wps(dev_, P2P_FRAME_PROBE_RSP);
        const auto attrs = WpsAttrsOf(ie.data(), ie.size());
        std::vector<USHORT> expected{0x104A, 0x1044};
        if (c.owner) {
            expected.insert(expected.end(), {0x1041, 0x1012, 0x1053});
        }
        expected.insert(expected.end(),
                        {0x103B, 0x1047, 0x103C, 0x1021, 0x1023, 0x1024, 0x1042, 0x1054, 0x1011, 0x1008, 0x1049});
        EXPECT_EQ(Types(attrs), expected) << c.state;
        EXPECT_EQ(ValueOf(attrs, 0x103B), (Bytes{static_cast<UCHAR>(c.owner ? 2 : 0)}));
        EXPECT_EQ(ValueOf(attrs, 0x1021), Str("Quazel Inco"));
    }
    dev_->OpMode = 3;
    const Bytes ie = Wps(dev_, P2P_FRAME_PROBE_RSP);
    EXPECT_EQ(ValueOf(WpsAttrsOf(ie.data(), ie.size()), 0x1008), (Bytes{0x01, 0x08}));
}

TEST_F(IeTest, WpsTestBedAddsTheTestAttribute)
{
    adapter_->WorkingCfg.WSC20Testbed = 1;
    const Bytes ie = Wps(dev_, P2P_FRAME_PROBE_RSP);
    const auto attrs = WpsAttrsOf(ie.data(), ie.size());
    EXPECT_EQ(attrs.back().first, 0x10FE);
    EXPECT_EQ(attrs.back().second, Str("V5.7TEST"));
}

TEST_F(IeTest, BeaconWpsElementLengths)
{
    PMP_PORT go = Port(2, WFD_GO);
    SetName(go, "QZ-Phone");
    ULONG n = 0;
    UCHAR out[256];
    struct Case {
        UCHAR version;
        ULONG testbed;
        USHORT passwordId;
        ULONG total;
    } cases[] = {
        {0x10, 0, 0xFFFF, 57 + 8},
        {0x10, 0, 4, 74 + 8},
        {0x20, 0, 0xFFFF, 57 + 8 + 10},
        {0x20, 1, 4, 74 + 8 + 10 + 12},
    };
    for (const auto& c : cases) {
        adapter_->WorkingCfg.WscVersion2 = c.version;
        adapter_->WorkingCfg.WSC20Testbed = c.testbed;
        go->P2pWpsDevicePasswordId = c.passwordId;
        P2pMakeBeaconWpsIE(A(), go, out, sizeof(out), &n);
        EXPECT_EQ(n, c.total);
        const auto attrs = WpsAttrsOf(out, n);
        EXPECT_EQ(ValueOf(attrs, 0x1011), Str("QZ-Phone"));
    }
    // Too small a destination: nothing reported.
    P2pMakeBeaconWpsIE(A(), go, out, 40, &n);
    EXPECT_EQ(n, 0u);
}

TEST_F(IeTest, WpsElementThatDoesNotFitIsNotReported)
{
    const ULONG full = static_cast<ULONG>(Wps(dev_, P2P_FRAME_PROBE_REQ).size());
    EXPECT_TRUE(Wps(dev_, P2P_FRAME_PROBE_REQ, full - 1).empty());
    EXPECT_EQ(buffer_[full - 1], 0xAA);
}

}  // namespace
}  // namespace p2pie

namespace p2pie {
namespace {

TEST(P2pWrap, LongContentIsSplitOverSeveralElements)
{
    struct Case {
        ULONG attrLen;
        std::vector<UCHAR> lengthBytes;  // the length byte of each element written
    } cases[] = {
        {0, {4}},
        {251, {255}},
        {252, {255, 5}},
        {600, {255, 255, 102}},
    };
    for (const auto& c : cases) {
        Bytes content(c.attrLen);
        for (ULONG i = 0; i < c.attrLen; ++i) {
            content[i] = static_cast<UCHAR>(i * 7);
        }
        const ULONG total = c.attrLen + 6 * static_cast<ULONG>(c.lengthBytes.size());
        Bytes out(total + 8, 0xAA);
        std::copy(content.begin(), content.end(), out.begin() + 6);
        ASSERT_EQ(P2pWrapP2pElements(out.data(), c.attrLen, total), total) << c.attrLen;
        EXPECT_EQ(out[total], 0xAA);
        Bytes joined;
        size_t at = 0;
        for (UCHAR lengthByte : c.lengthBytes) {
            EXPECT_EQ(Bytes(out.begin() + at, out.begin() + at + 6),
                      (Bytes{221, lengthByte, 0x50, 0x6F, 0x9A, 0x09}))
                << c.attrLen;
            joined.insert(joined.end(), out.begin() + at + 6, out.begin() + at + 2 + lengthByte);
            at += 2u + lengthByte;
        }
        EXPECT_EQ(joined, content) << c.attrLen;
        // One byte less room than the heads need: nothing is wrapped.
        EXPECT_EQ(P2pWrapP2pElements(out.data(), c.attrLen, total - 1), 0u);
    }
}

}  // namespace
}  // namespace p2pie
