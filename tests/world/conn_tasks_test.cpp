// The messages of the OS's connection tasks as the Wi-Fi service writes them, read back with the WDI
// TLV library's own parsers at a fake driver: the connect task carries the SSID, the algorithm lists,
// the allow and deny lists, the extra elements and the candidates of the BSS list (only the network's,
// without the denied ones, strongest first); the roam task the same with the roam-request flag; the
// disconnect, reset, radio and operation-mode tasks their few fields.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

#include "kshim/host/control.h"
#include "kshim/host/os.h"
#include "kshim/host/wifi_service.h"
#include "kshim/wdf.h"
#include "kshim/wditlv.h"
#include "kshim/wificx.h"
#include "kshim/wificx_request.h"

// The connection tasks' messages come from the WDI TLV library's connect schema.
#include "kshim/wditlv.h"
namespace {

using Bytes = std::vector<uint8_t>;

struct Seen {
    uint16_t messageId;
    Bytes tlvs;  // behind the 16-byte header
};
std::mutex g_lock;
std::vector<Seen> g_seen;

VOID RecordingSendCommand(WDFDEVICE, WIFIREQUEST request)
{
    UINT in = 0;
    auto* buffer = static_cast<const uint8_t*>(WifiRequestGetInOutBuffer(request, &in, nullptr));
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_seen.push_back({WifiRequestGetMessageId(request), in >= 16 ? Bytes(buffer + 16, buffer + in) : Bytes{}});
    }
    WifiRequestComplete(request, STATUS_SUCCESS, 0);
}
NTSTATUS NoAdapter(WDFDEVICE, NETADAPTER_INIT*) { return STATUS_SUCCESS; }
NTSTATUS NoWifiDirect(WDFDEVICE, WIFIDIRECT_DEVICE_INIT*) { return STATUS_SUCCESS; }
NTSTATUS RecordingDeviceAdd(WDFDRIVER, PWDFDEVICE_INIT init)
{
    NTSTATUS status = NetDeviceInitConfig(init);
    if (NT_SUCCESS(status)) {
        status = WifiDeviceInitConfig(init);
    }
    WDFDEVICE device = nullptr;
    if (NT_SUCCESS(status)) {
        status = WdfDeviceCreate(&init, WDF_NO_OBJECT_ATTRIBUTES, &device);
    }
    if (NT_SUCCESS(status)) {
        WIFI_DEVICE_CONFIG wifi;
        WIFI_DEVICE_CONFIG_INIT(&wifi, 0x20003, RecordingSendCommand, NoAdapter, NoWifiDirect);
        status = WifiDeviceInitialize(device, &wifi);
    }
    return status;
}
NTSTATUS RecordingDriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath)
{
    WDF_DRIVER_CONFIG config;
    WDF_DRIVER_CONFIG_INIT(&config, RecordingDeviceAdd);
    return WdfDriverCreate(driverObject, registryPath, WDF_NO_OBJECT_ATTRIBUTES, &config, WDF_NO_HANDLE);
}

kshim::host::BssListEntry Entry(uint8_t last, const std::string& ssid, int32_t rssi, uint32_t channel)
{
    kshim::host::BssListEntry e;
    e.bssid = {0x02, 0x00, 0x00, 0x05, 0x95, last};
    e.beacon = Bytes(12, 0);
    e.beacon.push_back(0);
    e.beacon.push_back(static_cast<uint8_t>(ssid.size()));
    e.beacon.insert(e.beacon.end(), ssid.begin(), ssid.end());
    e.rssi = rssi;
    e.linkQuality = 70;
    e.channel = channel;
    e.bandId = 2;
    e.deviceContext = {last, 0, 0, 0};
    return e;
}

// A BSS entry indication as the driver sends it after a scan.
void IndicateBss(WDFDEVICE device, const kshim::host::BssListEntry& e)
{
    WDI_BSS_ENTRY_PARAMETERS p{};
    std::memcpy(p.Bssid, e.bssid.data(), 6);
    p.Presence = WDI_BSS_ENTRY_PRESENT_BEACON;
    p.BeaconFrame.ElementCount = static_cast<ULONG>(e.beacon.size());
    p.BeaconFrame.pElements = const_cast<PUCHAR>(e.beacon.data());
    p.Rssi = e.rssi;
    p.LinkQuality = e.linkQuality;
    p.ChannelNumber = e.channel;
    p.BandId = e.bandId;
    ULONG length = 0;
    PUCHAR buffer = nullptr;
    ASSERT_EQ(WdiTlvGenerateBssEntry(&p, 16, nullptr, &length, &buffer), STATUS_SUCCESS);
    WDFMEMORY memory = nullptr;
    PVOID bytes = nullptr;
    ASSERT_EQ(WdfMemoryCreate(WDF_NO_OBJECT_ATTRIBUTES, NonPagedPoolNx, 0, length, &memory, &bytes), STATUS_SUCCESS);
    std::memcpy(bytes, buffer, length);
    WdiTlvFreeGenerated(buffer);
    WifiDeviceReceiveIndication(device, kshim::host::kWdiIndicationBssEntryList, memory);
    WdfObjectDelete(memory);
}

class WorldConnTasks : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::ClockSetManual();
        {
            std::lock_guard<std::mutex> lock(g_lock);
            g_seen.clear();
        }
        ASSERT_EQ(os_.Load(&RecordingDriverEntry, u"qzlrecord"), STATUS_SUCCESS);
        device_ = os_.AddDevice();
        ASSERT_NE(device_, nullptr);
    }
    void TearDown() override
    {
        const kshim::host::UnloadReport report = os_.Unload();
        EXPECT_TRUE(report.clean) << report.text;
        kshim::host::ResetDefaults();
    }
    Seen Last()
    {
        std::lock_guard<std::mutex> lock(g_lock);
        return g_seen.empty() ? Seen{} : g_seen.back();
    }
    kshim::host::Os os_;
    kshim::host::OsDevice* device_ = nullptr;
};

TEST_F(WorldConnTasks, TheConnectTaskCarriesTheSettingsAndTheNetworksCandidatesStrongestFirst)
{
    kshim::host::WifiService wifi(os_, device_);
    kshim::host::ConnectParameters c;
    c.ssid = {'G', 'u', 'e', 's', 't'};
    c.disallowedBssids = {{0x02, 0x00, 0x00, 0x05, 0x95, 0x03}};
    c.extraIes = {0xDD, 0x04, 0x00, 0x50, 0xF2, 0x04};
    c.hiddenNetwork = true;
    c.candidates = {Entry(1, "Guest", -70, 149), Entry(2, "Guest", -50, 36)};
    ASSERT_EQ(wifi.Connect(c), STATUS_SUCCESS);
    Seen s = Last();
    ASSERT_EQ(s.messageId, 6);
    WDI_CONNECT_PARAMETERS p{};
    ASSERT_EQ(WdiTlvParseTaskConnect(static_cast<ULONG>(s.tlvs.size()), s.tlvs.data(), nullptr, &p), STATUS_SUCCESS);
    EXPECT_EQ(p.Settings.RoamRequest, 0);
    EXPECT_EQ(p.Settings.HiddenNetwork, 1);
    ASSERT_EQ(p.SsidList.ElementCount, 1u);
    EXPECT_EQ(Bytes(p.SsidList.pElements[0].pElements, p.SsidList.pElements[0].pElements + 5), c.ssid);
    ASSERT_EQ(p.AuthAlgorithms.ElementCount, 1u);
    EXPECT_EQ(p.AuthAlgorithms.pElements[0], 1u) << "open system";
    ASSERT_EQ(p.UnicastCiphers.ElementCount, 1u);
    EXPECT_EQ(p.UnicastCiphers.pElements[0], 0u) << "no cipher";
    EXPECT_EQ(p.Presence & (WDI_CONNECT_PRESENT_EXTRA_IES | WDI_CONNECT_PRESENT_DISALLOWED | WDI_CONNECT_PRESENT_ALLOWED),
              WDI_CONNECT_PRESENT_EXTRA_IES | WDI_CONNECT_PRESENT_DISALLOWED);
    EXPECT_EQ(Bytes(p.ExtraAssociationRequestIes.pElements, p.ExtraAssociationRequestIes.pElements + 6), c.extraIes);
    ASSERT_EQ(p.DisallowedBssids.ElementCount, 1u);
    EXPECT_EQ(p.DisallowedBssids.pElements[0].Address[5], 3);
    // The parameters' own candidates go as given.
    ASSERT_EQ(p.BssEntries.ElementCount, 2u);
    EXPECT_EQ(p.BssEntries.pElements[0].Bssid[5], 1);
    EXPECT_EQ(p.BssEntries.pElements[0].Rssi, -70);
    EXPECT_EQ(p.BssEntries.pElements[0].ChannelNumber, 149u);
    EXPECT_EQ(p.BssEntries.pElements[0].BandId, 2u);
    EXPECT_EQ(p.BssEntries.pElements[0].BeaconFrame.ElementCount, 19u);
    EXPECT_EQ(p.BssEntries.pElements[0].DeviceContext.ElementCount, 4u);
    WdiTlvCleanupTaskConnect(&p);
    // A connect task runs: a second one is refused by the service itself.
    EXPECT_EQ(wifi.Connect(c), STATUS_INVALID_DEVICE_STATE);

    // Without candidates of its own the OS takes the BSS list's entries of the network, without the
    // denied one, strongest first.
    kshim::host::WifiService second(os_, device_);
    for (const auto& e : {Entry(1, "Guest", -70, 149), Entry(2, "Guest", -50, 36), Entry(3, "Guest", -40, 44),
                          Entry(4, "Other", -30, 40)}) {
        IndicateBss(device_->Handle(), e);
    }
    second.Poll();
    ASSERT_EQ(second.BssList().size(), 4u);
    c.candidates.clear();
    ASSERT_EQ(second.Connect(c), STATUS_SUCCESS);
    s = Last();
    WDI_CONNECT_PARAMETERS q{};
    ASSERT_EQ(WdiTlvParseTaskConnect(static_cast<ULONG>(s.tlvs.size()), s.tlvs.data(), nullptr, &q), STATUS_SUCCESS);
    ASSERT_EQ(q.BssEntries.ElementCount, 2u);
    EXPECT_EQ(q.BssEntries.pElements[0].Bssid[5], 2);
    EXPECT_EQ(q.BssEntries.pElements[1].Bssid[5], 1);
    WdiTlvCleanupTaskConnect(&q);
}

TEST_F(WorldConnTasks, TheRoamTaskCarriesTheRoamRequestAndADisconnectMayEndIt)
{
    kshim::host::WifiService wifi(os_, device_);
    kshim::host::ConnectParameters c;
    c.ssid = {'R', 'o', 'a', 'm'};
    c.roamTrigger = 2;
    c.allowedBssids = {{0x02, 0x00, 0x00, 0x05, 0x30, 0x0b}};
    ASSERT_EQ(wifi.Roam(c), STATUS_SUCCESS);
    Seen s = Last();
    ASSERT_EQ(s.messageId, 100);
    WDI_CONNECT_PARAMETERS p{};
    ASSERT_EQ(WdiTlvParseTaskConnect(static_cast<ULONG>(s.tlvs.size()), s.tlvs.data(), nullptr, &p), STATUS_SUCCESS);
    EXPECT_EQ(p.Settings.RoamRequest, 1);
    EXPECT_EQ(p.Settings.RoamTrigger, 2u);
    EXPECT_EQ(p.Presence & WDI_CONNECT_PRESENT_ALLOWED, WDI_CONNECT_PRESENT_ALLOWED);
    EXPECT_EQ(p.BssEntries.ElementCount, 0u) << "an empty BSS list gives no candidates";
    WdiTlvCleanupTaskConnect(&p);

    // A disconnect may end the roam in progress.
    ASSERT_EQ(wifi.Disconnect(kshim::host::MacAddress{0x02, 0x00, 0x00, 0x05, 0x24, 0x0a}, 8), STATUS_SUCCESS);
    s = Last();
    ASSERT_EQ(s.messageId, 8);
    WDI_DISCONNECT_PARAMETERS d{};
    ASSERT_EQ(WdiTlvParseTaskDisconnect(static_cast<ULONG>(s.tlvs.size()), s.tlvs.data(), nullptr, &d), STATUS_SUCCESS);
    EXPECT_EQ(d.MacAddress[5], 0x0a);
    EXPECT_EQ(d.Reason, 8);
}

TEST_F(WorldConnTasks, TheResetRadioAndOperationModeTasksCarryTheirFields)
{
    kshim::host::WifiService wifi(os_, device_);
    ASSERT_EQ(wifi.Reset(true, kshim::host::MacAddress{0x00, 0x0C, 0x43, 0x35, 0x00, 0x07}), STATUS_SUCCESS);
    Seen s = Last();
    ASSERT_EQ(s.messageId, 7);
    WDI_DOT11_RESET_PARAMETERS r{};
    ASSERT_EQ(WdiTlvParseTaskDot11Reset(static_cast<ULONG>(s.tlvs.size()), s.tlvs.data(), nullptr, &r), STATUS_SUCCESS);
    EXPECT_EQ(r.SetDefaultMib, 1);
    EXPECT_EQ(r.Presence & WDI_RESET_PRESENT_CONFIGURED_MAC, WDI_RESET_PRESENT_CONFIGURED_MAC);
    EXPECT_EQ(r.ConfiguredMacAddress[5], 7);
    // The reset's completion never comes from this fake: the next tasks wait for none.
    kshim::host::WifiService radio(os_, device_);
    ASSERT_EQ(radio.SetRadio(false), STATUS_SUCCESS);
    s = Last();
    ASSERT_EQ(s.messageId, 11);
    WDI_SET_RADIO_STATE_PARAMETERS on{};
    ASSERT_EQ(WdiTlvParseTaskSetRadioState(static_cast<ULONG>(s.tlvs.size()), s.tlvs.data(), nullptr, &on), STATUS_SUCCESS);
    EXPECT_EQ(on.RadioOn, 0);
    kshim::host::WifiService mode(os_, device_);
    ASSERT_EQ(mode.SetOperationMode(kshim::host::kWdiOperationModeStation), STATUS_SUCCESS);
    s = Last();
    ASSERT_EQ(s.messageId, 90);
    WDI_OPERATION_MODE_PARAMETERS m{};
    ASSERT_EQ(WdiTlvParseTaskChangeOperationMode(static_cast<ULONG>(s.tlvs.size()), s.tlvs.data(), nullptr, &m),
              STATUS_SUCCESS);
    EXPECT_EQ(m.OperationMode, 1u);
}

}  // namespace

