// WPS below the OS: the device information and its defaults, the probe- and association-request WPS
// elements (byte by byte and as tshark decodes them), the WPS check of a stored BSS, the push-button
// and PIN searches over the scan table (also as the BSS table's search runs them), the EAP-WSC
// message mapping and the WPS stop.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "Common/dot11_ie.h"
#include "Common/mlme/mlmesync_bss.h"
#include "Common/mlme/mlmewsc.h"
#include "Common/p2p/p2p.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/registry_table.h"
#include "tshark.h"
#include "vectors.h"

namespace security {
namespace {

Bytes WpsAttr(uint16_t type, const Bytes& value)
{
    Bytes a{static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type), static_cast<uint8_t>(value.size() >> 8),
            static_cast<uint8_t>(value.size())};
    a.insert(a.end(), value.begin(), value.end());
    return a;
}

Bytes WpsIe(const Bytes& attrs)
{
    Bytes e{221, static_cast<uint8_t>(attrs.size() + 4), 0x00, 0x50, 0xF2, 0x04};
    e.insert(e.end(), attrs.begin(), attrs.end());
    return e;
}

Bytes Version2Extension(uint8_t version2) { return WpsAttr(0x1049, {0x00, 0x37, 0x2A, 0x00, 0x01, version2}); }

// The attributes of the WPS element(s) in bytes, bodies joined as a receiver joins them.
std::vector<std::pair<uint16_t, Bytes>> AttrsOf(const Bytes& elements)
{
    Bytes joined;
    size_t at = 0;
    while (at + 2 <= elements.size()) {
        const size_t size = elements[at + 1] + 2u;
        EXPECT_LE(at + size, elements.size());
        EXPECT_EQ(elements[at], 221);
        EXPECT_EQ(Bytes(elements.begin() + at + 2, elements.begin() + at + 6), (Bytes{0x00, 0x50, 0xF2, 0x04}));
        joined.insert(joined.end(), elements.begin() + at + 6, elements.begin() + at + size);
        at += size;
    }
    EXPECT_EQ(at, elements.size());
    std::vector<std::pair<uint16_t, Bytes>> attrs;
    at = 0;
    while (at + 4 <= joined.size()) {
        const uint16_t type = static_cast<uint16_t>(joined[at] << 8 | joined[at + 1]);
        const size_t len = joined[at + 2] << 8 | joined[at + 3];
        EXPECT_LE(at + 4 + len, joined.size());
        attrs.emplace_back(type, Bytes(joined.begin() + at + 4, joined.begin() + at + 4 + len));
        at += 4 + len;
    }
    EXPECT_EQ(at, joined.size());
    return attrs;
}

std::vector<uint16_t> Types(const std::vector<std::pair<uint16_t, Bytes>>& attrs)
{
    std::vector<uint16_t> t;
    for (const auto& a : attrs) {
        t.push_back(a.first);
    }
    return t;
}

Bytes ValueOf(const std::vector<std::pair<uint16_t, Bytes>>& attrs, uint16_t type)
{
    for (const auto& a : attrs) {
        if (a.first == type) {
            return a.second;
        }
    }
    ADD_FAILURE() << "no attribute " << std::hex << type;
    return {};
}

const Bytes kBssid = Hex("02aabbccdd01");
const Bytes kUuidA = Hex("11111111222233334444555555555555");
const Bytes kUuidB = Hex("aaaaaaaabbbbccccddddeeeeeeeeeeee");

class Wps : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        adapter_ = std::make_unique<MP_ADAPTER>();
        port_ = std::make_unique<MP_PORT>();
        p2p_ = std::make_unique<P2P_CTRL_BLOCK>();
        adapter_->P2pBlock = p2p_.get();
        adapter_->ScanTable = &adapter_->ScanTab;
        port_->Adapter = adapter_.get();
        const UCHAR mac[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
        std::memcpy(port_->MacAddress, mac, 6);
        adapter_->PortList[0] = port_.get();
        Registry(0x20, 8);
        std::memcpy(adapter_->WpsDevName, "Telvar Client", 14);  // the registry's default name
        adapter_->WpsDevNameLength = 14;
    }
    void TearDown() override
    {
        WscFreePort(port_.get());
        kshim::host::ResetDefaults();
    }

    // The working WPS values the shell derives from "WSCVersion2" and "WSC20Testbed".
    void Registry(UCHAR version2, ULONG testbed)
    {
        adapter_->WorkingCfg.WscVersion2 = version2;
        adapter_->WorkingCfg.WSC20Testbed = testbed;
        RegistryApplyWpsVersionRule(&adapter_->WorkingCfg.WscVersion2, &adapter_->WorkingCfg.WscVersion2Saved,
                                    &adapter_->WorkingCfg.WSC20Testbed);
    }

    Bytes Probe(bool shortForm = false)
    {
        UCHAR buffer[WSC_PROBE_REQ_IE_MAX + 8];
        std::memset(buffer, 0xEE, sizeof(buffer));
        USHORT length = 0xFFFF;
        WscMakeProbeReqIE(A(), P(), shortForm ? TRUE : FALSE, buffer, &length);
        EXPECT_LE(length, WSC_PROBE_REQ_IE_MAX);
        EXPECT_EQ(buffer[length], 0xEE);
        return Bytes(buffer, buffer + length);
    }

    Bytes Assoc()
    {
        UCHAR buffer[WSC_ASSOC_REQ_IE_MAX + 8];
        std::memset(buffer, 0xEE, sizeof(buffer));
        UCHAR length = 0xFF;
        WscMakeAssocReqIE(A(), P(), buffer, &length);
        EXPECT_EQ(buffer[length], 0xEE);
        return Bytes(buffer, buffer + length);
    }

    // A scan-table entry of the BSSID on the channel with the given beacon and probe-response WPS
    // elements.
    ULONG AddEntry(const Bytes& bssid, UCHAR channel, const Bytes& beaconWps, const Bytes& probeWps = {})
    {
        BSS_TABLE& t = adapter_->ScanTab;
        const ULONG i = t.EntryCount++;
        BSS_ENTRY& e = t.BssEntry[i];
        std::memset(&e, 0, sizeof(e));
        std::memcpy(e.Bssid, bssid.data(), 6);
        e.Channel = channel;
        e.Band = channel <= 14 ? 1 : 2;
        std::copy(beaconWps.begin(), beaconWps.end(), e.BeaconWpsIe);
        e.BeaconWpsIeLen = static_cast<USHORT>(beaconWps.size());
        std::copy(probeWps.begin(), probeWps.end(), e.ProbeRspWpsIe);
        e.ProbeRspWpsIeLen = static_cast<USHORT>(probeWps.size());
        return i;
    }

    // The beacon WPS element of an access point with a registrar of the given kind.
    static Bytes ApWps(uint16_t passwordId, const Bytes& uuid, uint8_t version2 = 0x10, bool selectedRegistrar = true)
    {
        Bytes attrs = WpsAttr(0x104A, {0x10});
        attrs = Cat({attrs, WpsAttr(0x1044, {0x02})});
        if (selectedRegistrar) {
            attrs = Cat({attrs, WpsAttr(0x1041, {0x01})});
        }
        attrs = Cat({attrs, WpsAttr(0x1012, {static_cast<uint8_t>(passwordId >> 8), static_cast<uint8_t>(passwordId)}),
                     WpsAttr(0x1047, uuid)});
        if (version2 != 0x10) {
            attrs = Cat({attrs, Version2Extension(version2)});
        }
        return WpsIe(attrs);
    }

    std::pair<ULONG, ULONG> Search(bool pushButton, const Bytes& bssid = kBssid, UCHAR channel = 36)
    {
        ULONG index = 0x12345678;
        const ULONG found = pushButton ? WscPBCModeAPSearch(A(), P(), bssid.data(), channel, &index)
                                       : WscPINModeAPSearch(A(), P(), bssid.data(), channel, &index);
        return {found, index};
    }

    PMP_ADAPTER A() { return adapter_.get(); }
    PMP_PORT P() { return port_.get(); }
    std::unique_ptr<MP_ADAPTER> adapter_;
    std::unique_ptr<MP_PORT> port_;
    std::unique_ptr<P2P_CTRL_BLOCK> p2p_;
};

// ---- device information ------------------------------------------------------------------------------

TEST_F(Wps, DeviceInformationDefaults)
{
    WSC_DEVICE_INFO info;
    std::memset(&info, 0x77, sizeof(info));
    WscSetDevInfo(A(), P(), &info);
    EXPECT_EQ(info.Version, 0x10);
    EXPECT_EQ(info.Version2, 0x20);
    EXPECT_EQ(Bytes(info.Uuid, info.Uuid + 16), Cat({Str("TelvarWPS-"), Hex("021122334455")}));
    EXPECT_EQ(Bytes(info.MacAddress, info.MacAddress + 6), Hex("021122334455"));
    // No OS attributes, no Wi-Fi Direct device, not an enrollee: the registrar's default name with its
    // terminating zero.
    EXPECT_EQ(info.DeviceNameLen, 20);
    EXPECT_EQ(Bytes(info.DeviceName, info.DeviceName + 20), Cat({Str("Quazil EX-Registrar"), Bytes{0}}));
    EXPECT_EQ(Bytes(info.PrimaryDeviceType, info.PrimaryDeviceType + 8), Hex("0001 0050f204 0001"));
    EXPECT_EQ(Bytes(info.Manufacturer, info.Manufacturer + 12), Cat({Str("Quazel Inc."), Bytes{0}}));
    EXPECT_EQ(Bytes(info.ModelName, info.ModelName + 24), Cat({Str("Quazel Wireless Adapter"), Bytes{0}}));
    EXPECT_EQ(Bytes(info.ModelNumber, info.ModelNumber + 7), Cat({Str("QZ0XXX"), Bytes{0}}));
    EXPECT_EQ(Bytes(info.SerialNumber, info.SerialNumber + 9), Cat({Str("12345678"), Bytes{0}}));
    EXPECT_EQ(info.AssocState, 0);
    EXPECT_EQ(info.ConfigError, 0);
    EXPECT_EQ(info.DevicePasswordId, 0);
    // Version 2 below 0x20 announces 0x10.
    Registry(0x10, 8);
    WscSetDevInfo(A(), P(), &info);
    EXPECT_EQ(info.Version2, 0x10);
}

TEST_F(Wps, DeviceNameSources)
{
    WSC_DEVICE_INFO info;
    // An enrollee: "WPSDevName" with its length.
    P()->Wsc.Role = 1;
    WscSetDevInfo(A(), P(), &info);
    EXPECT_EQ(info.DeviceNameLen, 14);
    EXPECT_EQ(Bytes(info.DeviceName, info.DeviceName + 14), Cat({Str("Telvar Client"), Bytes{0}}));
    // A Wi-Fi Direct device port in discovery: its advertised name, all 32 bytes.
    MP_PORT device{};
    std::memcpy(device.P2pDeviceName, "QZ-Phone", 8);
    device.P2pDiscoState = 1;
    p2p_->DevicePort = &device;
    WscSetDevInfo(A(), P(), &info);
    EXPECT_EQ(info.DeviceNameLen, 32);
    EXPECT_EQ(Bytes(info.DeviceName, info.DeviceName + 32), Cat({Str("QZ-Phone"), Bytes(24, 0)}));
    device.P2pDiscoState = 0;  // not discovering: back to the enrollee's name
    WscSetDevInfo(A(), P(), &info);
    EXPECT_EQ(info.DeviceNameLen, 14);
}

TEST_F(Wps, OsAttributesWhenPresent)
{
    WSC_OS_ATTRIBUTES& os = P()->Wsc.OsAttributes;
    std::memcpy(os.Uuid, kUuidA.data(), 16);  // bytes 32-39 of the block: enough to count as present
    std::memcpy(os.DeviceName, "Printer", 7);
    std::memcpy(os.Manufacturer, "Acme", 4);
    std::memcpy(os.ModelName, "P-1", 3);
    std::memcpy(os.ModelNumber, "7", 1);
    std::memcpy(os.SerialNumber, "S9", 2);
    std::memcpy(os.PrimaryDeviceType, Hex("0003 0050f204 0001").data(), 8);
    os.DevicePasswordId[0] = 0x00;
    os.DevicePasswordId[1] = 0x05;
    WSC_DEVICE_INFO info;
    WscSetDevInfo(A(), P(), &info);
    EXPECT_EQ(Bytes(info.Uuid, info.Uuid + 16), kUuidA);
    EXPECT_EQ(Bytes(info.DeviceName, info.DeviceName + 8), Cat({Str("Printer"), Bytes{0}}));
    EXPECT_EQ(info.DeviceNameLen, 0);  // the length is not set from the attributes
    EXPECT_EQ(Bytes(info.Manufacturer, info.Manufacturer + 5), Cat({Str("Acme"), Bytes{0}}));
    EXPECT_EQ(Bytes(info.SerialNumber, info.SerialNumber + 3), Cat({Str("S9"), Bytes{0}}));
    EXPECT_EQ(Bytes(info.PrimaryDeviceType, info.PrimaryDeviceType + 8), Hex("0003 0050f204 0001"));
    EXPECT_EQ(info.DevicePasswordId, 0);  // the attributes' id only with the port's WPS flag
    P()->Wsc.OsElementInUse = 1;
    WscSetDevInfo(A(), P(), &info);
    EXPECT_EQ(info.DevicePasswordId, 5);
    // All-zero in the first 40 bytes: the defaults, whatever follows.
    std::memset(&os, 0, 40);
    WscSetDevInfo(A(), P(), &info);
    EXPECT_EQ(Bytes(info.Uuid, info.Uuid + 10), Str("TelvarWPS-"));
    EXPECT_EQ(Bytes(info.Manufacturer, info.Manufacturer + 11), Str("Quazel Inc."));
}

TEST_F(Wps, RfBandsByPhyMode)
{
    // PHY modes 0..14: 5 GHz for 2, 3, 5, 8, 10, 11 and 12.
    const UCHAR expected[15] = {1, 1, 2, 2, 1, 2, 1, 1, 2, 1, 2, 2, 2, 1, 1};
    for (UCHAR mode = 0; mode < 15; ++mode) {
        P()->WirelessMode = mode;
        WSC_DEVICE_INFO info;
        WscSetDevInfo(A(), P(), &info);
        EXPECT_EQ(info.RfBands, expected[mode]) << "PHY mode " << int(mode);
    }
}

// ---- probe-request element -----------------------------------------------------------------------------

TEST_F(Wps, ProbeRequestElementOfWps2)
{
    const Bytes ie = Probe();
    ASSERT_GE(ie.size(), 6u);
    EXPECT_EQ(ie[1] + 2u, ie.size());
    const auto attrs = AttrsOf(ie);
    EXPECT_EQ(Types(attrs), (std::vector<uint16_t>{0x104A, 0x103A, 0x1008, 0x1048, 0x1054, 0x103C, 0x1002, 0x1009,
                                                   0x1012, 0x1011, 0x1021, 0x1023, 0x1024, 0x1049}));
    EXPECT_EQ(ValueOf(attrs, 0x104A), Bytes{0x10});
    EXPECT_EQ(ValueOf(attrs, 0x103A), Bytes{0x00});
    EXPECT_EQ(ValueOf(attrs, 0x1008), Hex("228c"));
    EXPECT_EQ(ValueOf(attrs, 0x1048), Cat({Str("TelvarWPS-"), Hex("021122334455")}));
    EXPECT_EQ(ValueOf(attrs, 0x1054), Hex("0001 0050f204 0001"));
    EXPECT_EQ(ValueOf(attrs, 0x103C), Bytes{0x01});
    EXPECT_EQ(ValueOf(attrs, 0x1002), Hex("0000"));
    EXPECT_EQ(ValueOf(attrs, 0x1009), Hex("0000"));
    EXPECT_EQ(ValueOf(attrs, 0x1012), Hex("0000"));
    EXPECT_EQ(ValueOf(attrs, 0x1011), Cat({Str("Telvar Client"), Bytes{0}}));
    EXPECT_EQ(ValueOf(attrs, 0x1021), Str("Quazel Inc."));
    EXPECT_EQ(ValueOf(attrs, 0x1023), Str("Quazel Wireless Adapter"));
    EXPECT_EQ(ValueOf(attrs, 0x1024), Str("QZ0XXX"));
    EXPECT_EQ(ValueOf(attrs, 0x1049), Hex("00372a 00 01 20"));
}

TEST_F(Wps, ProbeRequestElementVariants)
{
    // "WSCVersion2" 0x10: no name, manufacturer, model or vendor extension; the rule marks bit 2.
    Registry(0x10, 8);
    EXPECT_EQ(adapter_->WorkingCfg.WSC20Testbed & 4u, 4u);
    EXPECT_EQ(Types(AttrsOf(Probe())),
              (std::vector<uint16_t>{0x104A, 0x103A, 0x1008, 0x1048, 0x1054, 0x103C, 0x1002, 0x1009, 0x1012}));
    // The short form leaves out RF bands, association state, configuration error and password id.
    EXPECT_EQ(Types(AttrsOf(Probe(true))), (std::vector<uint16_t>{0x104A, 0x103A, 0x1008, 0x1048, 0x1054}));
    // "WpsQtTestEnable": methods 0x638C and the push-button password id.
    adapter_->RegistryBlock.WpsQtTestEnable = 1;
    auto attrs = AttrsOf(Probe());
    EXPECT_EQ(ValueOf(attrs, 0x1008), Hex("638c"));
    EXPECT_EQ(ValueOf(attrs, 0x1012), Hex("0004"));
    adapter_->RegistryBlock.WpsQtTestEnable = 0;
    // "WSC20Testbed" bit 0: version 2 announced as 0x57 and the test attribute closes the element.
    Registry(0x20, 9);
    attrs = AttrsOf(Probe());
    EXPECT_EQ(ValueOf(attrs, 0x1049), Hex("00372a 00 01 57"));
    EXPECT_EQ(attrs.back(), std::make_pair(uint16_t{0x10FE}, Str("V5.7TEST")));
    // The password id of the access point the last search settled on.
    Registry(0x20, 8);
    AddEntry(kBssid, 36, ApWps(4, kUuidA));
    adapter_->ScanTab.BssEntry[0].WpsDevicePasswordId = 0x0400;  // as the BSS table stores it: bytes 00 04
    ASSERT_EQ(Search(true).first, 1u);
    EXPECT_EQ(ValueOf(AttrsOf(Probe()), 0x1012), Hex("0004"));
}

TEST_F(Wps, ProbeRequestSplitElement)
{
    // "WSC20Testbed" bit 1 with WPS 2.0: a first element with the first byte of the Version attribute.
    Registry(0x20, 8 | 2);
    const Bytes ie = Probe();
    ASSERT_GE(ie.size(), 18u);
    EXPECT_EQ(Bytes(ie.begin(), ie.begin() + 7), Hex("dd05 0050f204 10"));
    EXPECT_EQ(Bytes(ie.begin() + 7, ie.begin() + 17), Cat({Hex("dd"), Bytes{static_cast<uint8_t>(ie.size() - 9)},
                                                            Hex("0050f204 4a0001 10")}));
    const auto attrs = AttrsOf(ie);  // the two bodies joined carry the whole attribute list
    EXPECT_EQ(Types(attrs).front(), 0x104A);
    EXPECT_EQ(Types(attrs).back(), 0x1049);
    // Without WPS 2.0 the bit does not split.
    Registry(0x10, 8 | 2);
    EXPECT_EQ(Probe()[1] + 2u, Probe().size());
}

TEST_F(Wps, TsharkDecodesTheProbeRequestElement)
{
    if (!TsharkPresent()) {
        GTEST_SKIP() << "tshark is not installed";
    }
    // A broadcast probe request with a wildcard SSID, rates and the WPS element.
    const Bytes frame = Cat({Hex("4000 0000 ffffffffffff 021122334455 ffffffffffff 1000 0000 010482848b96"), Probe()});
    const std::string out = Tshark("wps_probe", {frame},
                                   "-T fields -E separator=, -e wps.version -e wps.request_type -e wps.config_methods "
                                   "-e wps.uuid_r -e wps.rf_bands -e wps.device_password_id -e wps.device_name "
                                   "-e wps.manufacturer -e wps.model_name -e wps.model_number -e wps.ext.version2 "
                                   "-e _ws.malformed -e _ws.expert.severity");
    EXPECT_EQ(out,
              "0x10,0x00,0x228c,54656c7661725750532d021122334455,0x01,0x0000,Telvar Client,Quazel Inc.,"
              "Quazel Wireless Adapter,QZ0XXX,0x20,,\n")
        << out;
}

// ---- association-request element -----------------------------------------------------------------------

TEST_F(Wps, AssociationRequestElement)
{
    WSC_DEVICE_INFO& enrollee = P()->WscDevInfo[0];
    WSC_DEVICE_INFO& other = P()->WscDevInfo[1];
    enrollee.Version = 0x10;
    enrollee.Version2 = 0x20;
    other.Version = 0x10;
    other.Version2 = 0x10;
    P()->Wsc.Role = 1;
    EXPECT_EQ(Assoc(), Hex("dd18 0050f204 104a000110 103a000101 1049000600372a000120"));
    Registry(0x20, 9);  // test attribute
    EXPECT_EQ(Assoc(), Hex("dd24 0050f204 104a000110 103a000101 1049000600372a000120 10fe00085635 2e3754455354"));
    P()->Wsc.Role = 2;  // the other record: version 2 0x10, request type 3
    EXPECT_EQ(Assoc(), Hex("dd0e 0050f204 104a000110 103a000103"));
}

// ---- the WPS check of a stored BSS ----------------------------------------------------------------------------

TEST_F(Wps, CheckOfAStoredBss)
{
    BSS_ENTRY entry{};
    auto check = [&](const Bytes& elements) {
        std::copy(elements.begin(), elements.end(), entry.VarIes);
        entry.VarIeLen = static_cast<USHORT>(elements.size());
        entry.WpsPresent = 0x77;
        entry.WpsVersion2 = 0x77;
        WscCheckWPSAP(&entry);
        return std::make_pair(int(entry.WpsPresent), int(entry.WpsVersion2));
    };
    const Bytes ssid = Hex("0003 616263");
    const Bytes wpa = Hex("dd06 0050f201 0100");
    EXPECT_EQ(check(Cat({ssid, wpa})), std::make_pair(0, 0x10));
    EXPECT_EQ(check(Cat({ssid, WpsIe(WpsAttr(0x104A, {0x10}))})), std::make_pair(1, 0x10));
    EXPECT_EQ(check(Cat({ssid, wpa, WpsIe(Cat({WpsAttr(0x104A, {0x10}), Version2Extension(0x20)}))})),
              std::make_pair(1, 0x20));
    // Only the first WPS element is read.
    EXPECT_EQ(check(Cat({WpsIe(WpsAttr(0x104A, {0x10})), WpsIe(Version2Extension(0x20))})), std::make_pair(1, 0x10));
    // A vendor extension of another vendor, or one whose sub-element is cut, gives nothing.
    EXPECT_EQ(check(WpsIe(WpsAttr(0x1049, Hex("0050f2 00 01 20")))), std::make_pair(1, 0x10));
    EXPECT_EQ(check(WpsIe(WpsAttr(0x1049, Hex("00372a 00 02 20")))), std::make_pair(1, 0x10));
    // An attribute whose length runs past its element ends the walk; an element cut at the end of the
    // stored bytes is no element.
    EXPECT_EQ(check(WpsIe(Cat({Hex("1049 00ff 00372a"), Version2Extension(0x20)}))), std::make_pair(1, 0x10));
    Bytes cut = WpsIe(Version2Extension(0x20));
    cut.pop_back();
    EXPECT_EQ(check(Cat({ssid, cut})), std::make_pair(0, 0x10));
    // An element block without WPS from another frame than the stored WPS copy leaves the copy's marks.
    entry.BeaconWpsIeLen = 20;
    EXPECT_EQ(check(ssid), std::make_pair(0x77, 0x77));
    EXPECT_EQ(check(Cat({ssid, WpsIe(WpsAttr(0x104A, {0x10}))})), std::make_pair(1, 0x10));
    entry.BeaconWpsIeLen = 0;
    // A stored length above the buffer is bounded by it.
    entry.VarIeLen = 0xFFFF;
    WscCheckWPSAP(&entry);
    WscCheckWPSAP(nullptr);
}

// ---- access-point searches -------------------------------------------------------------------------------

TEST_F(Wps, PushButtonSearchQualification)
{
    struct Row {
        const char* what;
        Bytes beacon;
        Bytes probe;
        ULONG found;
    } rows[] = {
        {"WPS 1.0 push button", ApWps(4, kUuidA), {}, 1},
        {"WPS 1.0 push button without selected registrar", ApWps(4, kUuidA, 0x10, false), {}, 1},
        {"WPS 2.0 push button with selected registrar", ApWps(4, kUuidA, 0x20), {}, 1},
        {"WPS 2.0 push button without selected registrar", ApWps(4, kUuidA, 0x20, false), {}, 0},
        {"PIN registrar", ApWps(0, kUuidA), {}, 0},
        {"no password id", WpsIe(Cat({WpsAttr(0x104A, {0x10}), WpsAttr(0x1047, kUuidA)})), {}, 0},
        {"the probe response completes a beacon without a registrar", WpsIe(WpsAttr(0x104A, {0x10})),
         ApWps(4, kUuidA), 1},
        {"only a probe response", {}, ApWps(4, kUuidA), 1},
    };
    for (const Row& row : rows) {
        adapter_->ScanTab.EntryCount = 0;
        AddEntry(Hex("02aabbccdd77"), 36, ApWps(4, kUuidB));  // another BSSID
        AddEntry(kBssid, 6, ApWps(4, kUuidB));                // the BSSID on the other band side
        AddEntry(kBssid, 40, {}, {});                         // no WPS element at all
        const ULONG index = AddEntry(kBssid, 36, row.beacon, row.probe);
        const auto [found, got] = Search(true);
        EXPECT_EQ(found, row.found) << row.what;
        EXPECT_EQ(got, row.found == 1 ? index : 0xFFFFFFFFu) << row.what;
        EXPECT_EQ(P()->Wsc.Candidates->Table.EntryCount, row.found) << row.what;
    }
}

TEST_F(Wps, PushButtonOverlap)
{
    // Two registrars with different UUIDs: an overlap, no index.
    AddEntry(kBssid, 36, ApWps(4, kUuidA));
    AddEntry(kBssid, 149, ApWps(4, kUuidB));
    EXPECT_EQ(Search(true), std::make_pair(ULONG{2}, ULONG{0xFFFFFFFFu}));
    EXPECT_EQ(adapter_->Wsc.SelectedBssValid, 0);
    // The same registrar in both entries counts once; the index is the last one's.
    adapter_->ScanTab.EntryCount = 0;
    AddEntry(kBssid, 36, ApWps(4, kUuidA));
    AddEntry(kBssid, 149, ApWps(4, kUuidA));
    EXPECT_EQ(Search(true), std::make_pair(ULONG{1}, ULONG{1}));
    EXPECT_EQ(adapter_->Wsc.SelectedBssValid, 1);
    EXPECT_EQ(adapter_->Wsc.SelectedBssIndex, 1u);
    // Three entries of one registrar are still one.
    AddEntry(kBssid, 161, ApWps(4, kUuidA));
    EXPECT_EQ(Search(true), std::make_pair(ULONG{1}, ULONG{2}));
    // All-zero UUIDs are never taken for the same registrar.
    adapter_->ScanTab.EntryCount = 0;
    AddEntry(kBssid, 36, ApWps(4, Bytes(16, 0)));
    AddEntry(kBssid, 149, ApWps(4, Bytes(16, 0)));
    EXPECT_EQ(Search(true).first, 2u);
}

TEST_F(Wps, PinSearchQualification)
{
    struct Row {
        uint16_t passwordId;
        uint8_t version2;
        ULONG found;
    } rows[] = {{0, 0x10, 1}, {1, 0x10, 1}, {5, 0x10, 1}, {4, 0x10, 0}, {2, 0x10, 0},
                {0, 0x20, 0}, {1, 0x20, 0}, {5, 0x20, 0}};
    for (const Row& row : rows) {
        adapter_->ScanTab.EntryCount = 0;
        const ULONG index = AddEntry(kBssid, 36, ApWps(row.passwordId, kUuidA, row.version2));
        const auto [found, got] = Search(false);
        EXPECT_EQ(found, row.found) << row.passwordId << " " << int(row.version2);
        EXPECT_EQ(got, row.found == 1 ? index : 0xFFFFFFFFu);
        // The version 2 the search read is recorded in the scan entry.
        EXPECT_EQ(adapter_->ScanTab.BssEntry[index].WpsVersion2, row.version2);
    }
}

TEST_F(Wps, TheBssTableSearchRunsTheWpsSearch)
{
    AddEntry(kBssid, 36, ApWps(4, kUuidB), ApWps(4, kUuidB));
    const ULONG wanted = AddEntry(kBssid, 36, ApWps(4, kUuidA, 0x20));
    P()->WpsMethod = WPS_METHOD_PBC;
    P()->WpsMode = 2;
    P()->WpsState = 3;
    // Two registrars: the plain BSSID search decides (the first entry).
    EXPECT_EQ(BssTableSearch(A(), P(), adapter_->ScanTable, kBssid.data(), 36), 0);
    adapter_->ScanTab.BssEntry[0].BeaconWpsIeLen = 0;
    adapter_->ScanTab.BssEntry[0].ProbeRspWpsIeLen = 0;
    EXPECT_EQ(BssTableSearch(A(), P(), adapter_->ScanTable, kBssid.data(), 36), static_cast<LONG>(wanted));
}

TEST_F(Wps, SearchWithoutMemoryFindsNothing)
{
    AddEntry(kBssid, 36, ApWps(4, kUuidA));
    kshim::host::FaultArm("pool", "ZV06", 1, STATUS_INSUFFICIENT_RESOURCES, 6);  // the allocator tries six times
    EXPECT_EQ(Search(true), std::make_pair(ULONG{0}, ULONG{0xFFFFFFFFu}));
    EXPECT_EQ(P()->Wsc.Candidates, nullptr);
    EXPECT_EQ(Search(true), std::make_pair(ULONG{1}, ULONG{0}));
}

TEST_F(Wps, MalformedStoredElementsAreWalkedSafely)
{
    // Lengths that run past the stored copy, an element cut in its header, a zero-length WPS element.
    const Bytes registrar = ApWps(4, kUuidA);
    Bytes overlong = registrar;
    overlong[1] = 0xFF;
    AddEntry(kBssid, 36, overlong);
    AddEntry(kBssid, 36, Cat({registrar, Hex("dd")}));
    AddEntry(kBssid, 36, Hex("dd04 0050f204"));
    AddEntry(kBssid, 36, WpsIe(Cat({WpsAttr(0x1012, {0x00}), Hex("1047 0010 1111")})));
    const auto [found, index] = Search(true);
    EXPECT_EQ(found, 1u);  // only the whole element of the second entry qualifies
    EXPECT_EQ(index, 1u);
}

// ---- EAP-WSC mapping and stop ------------------------------------------------------------------------------

TEST(WpsMessages, EapolAndEapCodes)
{
    struct Row {
        UCHAR type, code;
        BOOLEAN mapped;
        ULONG message;
    } rows[] = {{0, 1, TRUE, 0x22}, {0, 2, TRUE, 0x23}, {0, 4, TRUE, 0x24}, {0, 3, FALSE, 0},
                {0, 0, FALSE, 0},    {1, 0, TRUE, 0x22}, {1, 9, TRUE, 0x22}, {3, 1, FALSE, 0}, {2, 1, FALSE, 0}};
    for (const Row& row : rows) {
        ULONG message = 0;
        EXPECT_EQ(WscMsgTypeSubst(row.type, row.code, &message), row.mapped) << int(row.type) << "/" << int(row.code);
        EXPECT_EQ(message, row.message);
    }
    EXPECT_FALSE(WscMsgTypeSubst(0, 1, nullptr));
}

TEST_F(Wps, StopClearsTheSearch)
{
    AddEntry(kBssid, 36, ApWps(4, kUuidA));
    ASSERT_EQ(Search(true).first, 1u);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV06"), 1u);
    P()->WpsState = 2;
    P()->WpsMode = 3;
    P()->Wsc.OsElementInUse = 1;
    P()->Wsc.P2pRecordLength = 3;
    P()->Wsc.P2pRecord[0] = 0xAB;
    P()->Wsc.Role = 1;
    WscStop(A(), P());
    EXPECT_EQ(P()->WpsState, 0u);
    EXPECT_EQ(P()->WpsMode, 0u);
    EXPECT_EQ(P()->Wsc.OsElementInUse, 0);
    EXPECT_EQ(P()->Wsc.P2pRecordLength, 0u);
    EXPECT_EQ(P()->Wsc.P2pRecord[0], 0);
    EXPECT_EQ(P()->Wsc.Candidates, nullptr);
    EXPECT_EQ(adapter_->Wsc.SelectedBssValid, 0);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV06"), 0u);
    EXPECT_EQ(P()->Wsc.Role, 1u);  // the role belongs to whoever set it
    WscStop(A(), P());             // a second stop finds nothing to release
    WscStop(nullptr, nullptr);
}

}  // namespace
}  // namespace security
