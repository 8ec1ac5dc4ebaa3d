// The OS's Wi-Fi service follows a connection as the OS does: it sends the connection tasks and
// reads the indications a driver hands back (association results, link states, disassociations,
// roaming needed, task completions), keeping the connection's state and each step's time on the
// stand-in's clock. A small fake driver answers the tasks with the indications a test scripts, so
// the service is checked at the boundary without the driver's connection machines.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <mutex>

#include "kshim/host/control.h"
#include "kshim/host/os.h"
#include "kshim/host/wifi_service.h"
#include "kshim/wdf.h"
#include "kshim/wditlv.h"
#include "kshim/wificx.h"
#include "kshim/wificx_request.h"

namespace {

using kshim::host::ConnectionState;
using kshim::host::MacAddress;
using kshim::host::WifiService;

using Bytes = std::vector<uint8_t>;

// ---- the fake driver ---------------------------------------------------------------------------------
struct Request {
    WDFDEVICE device;
    WIFIREQUEST request;
    uint16_t messageId;
    uint32_t transaction;
    Bytes message;
};
std::mutex g_lock;
std::function<void(const Request&)> g_script;
std::vector<Request> g_seen;

VOID FakeSendCommand(WDFDEVICE device, WIFIREQUEST request)
{
    UINT in = 0;
    UINT out = 0;
    auto* buffer = static_cast<const uint8_t*>(WifiRequestGetInOutBuffer(request, &in, &out));
    Request r{device, request, WifiRequestGetMessageId(request), 0, Bytes(buffer, buffer + in)};
    if (in >= 12) {
        std::memcpy(&r.transaction, buffer + 8, 4);
    }
    std::function<void(const Request&)> script;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_seen.push_back(r);
        script = g_script;
    }
    if (script) {
        script(r);
    } else {
        WifiRequestComplete(request, STATUS_SUCCESS, 0);
    }
}
NTSTATUS FakeCreateAdapter(WDFDEVICE, NETADAPTER_INIT*) { return STATUS_SUCCESS; }
NTSTATUS FakeCreateWifiDirectDevice(WDFDEVICE, WIFIDIRECT_DEVICE_INIT*) { return STATUS_SUCCESS; }

NTSTATUS FakeDeviceAdd(WDFDRIVER, PWDFDEVICE_INIT init)
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
        WIFI_DEVICE_CONFIG_INIT(&wifi, 0x20003, FakeSendCommand, FakeCreateAdapter, FakeCreateWifiDirectDevice);
        status = WifiDeviceInitialize(device, &wifi);
    }
    return status;
}

NTSTATUS FakeDriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath)
{
    WDF_DRIVER_CONFIG config;
    WDF_DRIVER_CONFIG_INIT(&config, FakeDeviceAdd);
    return WdfDriverCreate(driverObject, registryPath, WDF_NO_OBJECT_ATTRIBUTES, &config, WDF_NO_HANDLE);
}

// An indication as a driver hands it over: WDI header {port, status, transaction}, then TLVs.
void Indicate(WDFDEVICE device, uint16_t code, uint32_t status, uint32_t transaction, const Bytes& tlvs)
{
    Bytes bytes = kshim::host::WdiMessage(0, transaction, tlvs);
    std::memcpy(bytes.data() + 4, &status, 4);
    WDFMEMORY memory = nullptr;
    PVOID buffer = nullptr;
    ASSERT_EQ(WdfMemoryCreate(WDF_NO_OBJECT_ATTRIBUTES, NonPagedPoolNx, 0, bytes.size(), &memory, &buffer),
              STATUS_SUCCESS);
    std::memcpy(buffer, bytes.data(), bytes.size());
    WifiDeviceReceiveIndication(device, code, memory);
    WdfObjectDelete(memory);
}

Bytes U32s(std::initializer_list<uint32_t> values)
{
    Bytes out;
    for (uint32_t v : values) {
        for (int i = 0; i < 4; ++i) {
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
    return out;
}
Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const MacAddress kApA = {0x02, 0x00, 0x00, 0x05, 0x95, 0x01};
const MacAddress kApB = {0x02, 0x00, 0x00, 0x05, 0x95, 0x02};

// The TLVs of an association result: BSSID, the 52-byte result (status, reassociation, algorithm,
// ciphers, ..., band id at 36), the request and response bodies.
Bytes AssociationResult(const MacAddress& bssid, uint32_t status, uint32_t reassociation)
{
    Bytes result = U32s({status, reassociation, 1, 0, 0, 0, 0, 1, 3, 2});
    result.resize(52, 0);
    return Cat(Cat(kshim::host::WdiTlv(WDI_TLV_BSSID, Bytes(bssid.begin(), bssid.end())),
                   kshim::host::WdiTlv(WDI_TLV_ASSOCIATION_RESULT, result)),
               Cat(kshim::host::WdiTlv(WDI_TLV_ASSOC_REQUEST_FRAME, {0x11, 0x00, 0x0A, 0x00}),
                   kshim::host::WdiTlv(WDI_TLV_ASSOC_RESPONSE_FRAME, {0x11, 0x00, 0x00, 0x00, 0x01, 0xC0})));
}
Bytes LinkState(const MacAddress& peer, uint32_t tx, uint32_t rx, uint8_t quality, int32_t rssi)
{
    Bytes state(peer.begin(), peer.end());
    state = Cat(state, U32s({tx, rx}));
    state.push_back(quality);
    state.resize(20, 0);
    Bytes entry(28, 0);
    entry = Cat(entry, U32s({static_cast<uint32_t>(rssi), 80, 9}));
    return Cat(kshim::host::WdiTlv(WDI_TLV_LINK_STATE_PARAMS, state), kshim::host::WdiTlv(WDI_TLV_LINK_QUALITY_ENTRY, entry));
}
Bytes Disassociation(const MacAddress& peer, uint32_t status)
{
    return kshim::host::WdiTlv(WDI_TLV_DISASSOCIATION_PARAMS, Cat(Bytes(peer.begin(), peer.end()), U32s({status})));
}

class WorldConnService : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::ClockSetManual();
        kshim::host::WifiClearIndications();
        {
            std::lock_guard<std::mutex> lock(g_lock);
            g_script = nullptr;
            g_seen.clear();
        }
        ASSERT_EQ(os_.Load(&FakeDriverEntry, u"qzlfake"), STATUS_SUCCESS);
        device_ = os_.AddDevice();
        ASSERT_NE(device_, nullptr);
        start_ = kshim::host::ClockNow();
    }
    void TearDown() override
    {
        {
            std::lock_guard<std::mutex> lock(g_lock);
            g_script = nullptr;
        }
        const kshim::host::UnloadReport report = os_.Unload();
        EXPECT_TRUE(report.clean) << report.text;
        kshim::host::ResetDefaults();
    }
    void Script(std::function<void(const Request&)> script)
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_script = std::move(script);
    }
    std::vector<Request> Seen()
    {
        std::lock_guard<std::mutex> lock(g_lock);
        return g_seen;
    }
    // Steps as "what status @ms" from the start.
    std::vector<std::string> Steps(const WifiService& wifi) const
    {
        std::vector<std::string> out;
        for (const auto& s : wifi.Steps()) {
            out.push_back(s.what + " " + std::to_string(s.status) + " @" + std::to_string((s.time - start_) / 10000));
        }
        return out;
    }

    kshim::host::Os os_;
    kshim::host::OsDevice* device_ = nullptr;
    int64_t start_ = 0;
};

TEST_F(WorldConnService, AnOpenConnectEndsConnectedWithEachStepAtTheTimeTheDriverIndicatedIt)
{
    // The driver takes the task, associates 40 ms later, the link comes up 2 ms after that, and the
    // task completes at once.
    Script([](const Request& r) {
        WifiRequestComplete(r.request, STATUS_SUCCESS, 0);
        kshim::host::ClockAdvanceMs(40);
        Indicate(r.device, kshim::host::kWdiIndicationAssociationResult, 0, 0, AssociationResult(kApA, 0, 0));
        kshim::host::ClockAdvanceMs(2);
        Indicate(r.device, kshim::host::kWdiIndicationLinkStateChange, 0, 0, LinkState(kApA, 866000, 866000, 90, -52));
        Indicate(r.device, kshim::host::kWdiIndicationConnectComplete, 0, r.transaction, {});
    });
    WifiService wifi(os_, device_);
    ASSERT_EQ(wifi.StartTask(kshim::host::kWdiTaskConnect, 0, {}), STATUS_SUCCESS);
    ASSERT_TRUE(wifi.WaitTask());
    EXPECT_EQ(wifi.TaskStatus(kshim::host::kWdiTaskConnect), STATUS_SUCCESS);
    EXPECT_EQ(wifi.Connection().state, ConnectionState::Connected);
    EXPECT_EQ(wifi.Connection().bssid, kApA);
    ASSERT_TRUE(wifi.Connection().link);
    EXPECT_EQ(wifi.Connection().link->txKbps, 866000u);
    EXPECT_EQ(wifi.Connection().link->quality, 90);
    EXPECT_EQ(wifi.Connection().link->rssi, -52);
    EXPECT_EQ(wifi.Connection().link->bandwidth, 80u);
    EXPECT_EQ(wifi.Connection().link->mcs, 9u);
    const std::vector<std::string> expected = {"connect task 0 @0", "association result 0 @40", "link state 0 @42",
                                               "connect complete 0 @42"};
    EXPECT_EQ(Steps(wifi), expected);
    ASSERT_EQ(wifi.AssociationResults().size(), 1u);
    const auto& a = wifi.AssociationResults()[0];
    EXPECT_EQ(a.authAlgorithm, 1u);
    EXPECT_EQ(a.bandId, 2u);
    EXPECT_EQ(a.requestBody, (Bytes{0x11, 0x00, 0x0A, 0x00}));
    EXPECT_EQ(a.responseBody.size(), 6u);
    // The task reached the driver as message 6 on port 0 with the service's transaction.
    const auto seen = Seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].messageId, 6);
}

TEST_F(WorldConnService, ARefusedAssociationEndsTheConnectDisconnectedWithTheStatusKept)
{
    Script([](const Request& r) {
        WifiRequestComplete(r.request, STATUS_SUCCESS, 0);
        Indicate(r.device, kshim::host::kWdiIndicationAssociationResult, 0xC0000001, 0, AssociationResult(kApA, 17, 0));
        Indicate(r.device, kshim::host::kWdiIndicationConnectComplete, 0xC0000001, r.transaction, {});
    });
    WifiService wifi(os_, device_);
    ASSERT_EQ(wifi.StartTask(kshim::host::kWdiTaskConnect, 0, {}), STATUS_SUCCESS);
    ASSERT_TRUE(wifi.WaitTask());
    EXPECT_EQ(static_cast<uint32_t>(*wifi.TaskStatus(kshim::host::kWdiTaskConnect)), 0xC0000001u);
    EXPECT_EQ(wifi.Connection().state, ConnectionState::Disconnected);
    ASSERT_EQ(wifi.AssociationResults().size(), 1u);
    EXPECT_EQ(wifi.AssociationResults()[0].associationStatus, 17u);
    EXPECT_EQ(wifi.AssociationResults()[0].indicationStatus, 0xC0000001u);
}

TEST_F(WorldConnService, ADisassociationTakesTheLinkDownAndARoamMovesItWithoutANewConnection)
{
    uint16_t next = 0;
    Script([&next](const Request& r) {
        WifiRequestComplete(r.request, STATUS_SUCCESS, 0);
        if (r.messageId == kshim::host::kWdiTaskConnect) {
            Indicate(r.device, kshim::host::kWdiIndicationAssociationResult, 0, 0, AssociationResult(kApA, 0, 0));
            Indicate(r.device, kshim::host::kWdiIndicationConnectComplete, 0, r.transaction, {});
        } else if (r.messageId == kshim::host::kWdiTaskRoam) {
            kshim::host::ClockAdvanceMs(5);
            Indicate(r.device, kshim::host::kWdiIndicationDisassociation, 0, 0, Disassociation(kApA, 0));
            kshim::host::ClockAdvanceMs(20);
            Indicate(r.device, kshim::host::kWdiIndicationAssociationResult, 0, 0, AssociationResult(kApB, 0, 1));
            Indicate(r.device, kshim::host::kWdiIndicationRoamComplete, 0, r.transaction, {});
        }
        ++next;
    });
    WifiService wifi(os_, device_);
    ASSERT_EQ(wifi.StartTask(kshim::host::kWdiTaskConnect, 0, {}), STATUS_SUCCESS);
    ASSERT_TRUE(wifi.WaitTask());
    ASSERT_EQ(wifi.Connection().state, ConnectionState::Connected);

    // The driver says the link is weak, the OS roams.
    Indicate(device_->Handle(), kshim::host::kWdiIndicationRoamingNeeded, 0, 0,
             kshim::host::WdiTlv(WDI_TLV_ROAMING_NEEDED_PARAMS, U32s({2})));
    ASSERT_TRUE(wifi.WaitIndication(kshim::host::kWdiIndicationRoamingNeeded));
    EXPECT_EQ(wifi.RoamingNeededReasons(), (std::vector<uint32_t>{2}));
    ASSERT_EQ(wifi.StartTask(kshim::host::kWdiTaskRoam, 0, {}), STATUS_SUCCESS);
    ASSERT_TRUE(wifi.WaitTask());
    EXPECT_EQ(wifi.Connection().state, ConnectionState::Connected);
    EXPECT_EQ(wifi.Connection().bssid, kApB);
    EXPECT_EQ(wifi.Connection().roams, 1u) << "a reassociation during the roam task is a roam";

    // The access point leaves: disassociation, the link is down.
    Indicate(device_->Handle(), kshim::host::kWdiIndicationDisassociation, 0, 0, Disassociation(kApB, 3));
    ASSERT_TRUE(wifi.WaitState(ConnectionState::Disconnected));
    EXPECT_FALSE(wifi.Connection().link);
    ASSERT_EQ(wifi.Disassociations().size(), 2u);
    EXPECT_EQ(wifi.Disassociations()[1].wdiStatus, 3u);
}

TEST_F(WorldConnService, TasksRunOneAtATimeSaveTheOnesThatEndAConnectAndOnlyTheirOwnCompletionEndsThem)
{
    std::vector<uint32_t> transactions;
    Script([&transactions](const Request& r) {
        transactions.push_back(r.transaction);
        WifiRequestComplete(r.request, r.messageId == kshim::host::kWdiTaskDot11Reset ? STATUS_NOT_SUPPORTED : STATUS_SUCCESS, 0);
    });
    WifiService wifi(os_, device_);
    ASSERT_EQ(wifi.StartTask(kshim::host::kWdiTaskDisconnect, 0, {}), STATUS_SUCCESS);
    EXPECT_EQ(wifi.Connection().state, ConnectionState::Disconnecting);
    EXPECT_EQ(wifi.StartTask(kshim::host::kWdiTaskConnect, 0, {}), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(wifi.StartTask(kshim::host::kWdiTaskDisconnect, 0, {}), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(wifi.StartTask(47, 0, {}), STATUS_INVALID_DEVICE_STATE) << "not a task";
    // Another transaction's completion, and another task's completion code, do not end it.
    Indicate(device_->Handle(), kshim::host::kWdiIndicationDisconnectComplete, 0, transactions[0] + 7, {});
    Indicate(device_->Handle(), kshim::host::kWdiIndicationConnectComplete, 0, transactions[0], {});
    EXPECT_FALSE(wifi.WaitTask(100));
    Indicate(device_->Handle(), kshim::host::kWdiIndicationDisconnectComplete, 0, transactions[0], {});
    ASSERT_TRUE(wifi.WaitTask());
    EXPECT_EQ(wifi.Connection().state, ConnectionState::Disconnected);
    // A task the driver refuses sends no completion: it ends at once with the refusal.
    EXPECT_EQ(wifi.StartTask(kshim::host::kWdiTaskDot11Reset, 0, {}), STATUS_NOT_SUPPORTED);
    EXPECT_EQ(wifi.TaskRunning(), 0);
    EXPECT_EQ(wifi.TaskStatus(kshim::host::kWdiTaskDot11Reset), STATUS_NOT_SUPPORTED);

    // A connect in progress can be ended by a disconnect: both run until their own completions.
    ASSERT_EQ(wifi.StartTask(kshim::host::kWdiTaskConnect, 0, {}), STATUS_SUCCESS);
    ASSERT_EQ(wifi.StartTask(kshim::host::kWdiTaskDisconnect, 0, {}), STATUS_SUCCESS);
    EXPECT_EQ(wifi.TaskRunning(), kshim::host::kWdiTaskConnect);
    Indicate(device_->Handle(), kshim::host::kWdiIndicationDisconnectComplete, 0, transactions.back(), {});
    EXPECT_TRUE(wifi.WaitTask(10000, kshim::host::kWdiTaskDisconnect));
    EXPECT_FALSE(wifi.WaitTask(50, kshim::host::kWdiTaskConnect));
    Indicate(device_->Handle(), kshim::host::kWdiIndicationConnectComplete, 0, transactions[transactions.size() - 2], {});
    EXPECT_TRUE(wifi.WaitTask());
    EXPECT_EQ(wifi.Connection().state, ConnectionState::Disconnected);
}

TEST_F(WorldConnService, IndicationsThatLieAboutTheirLengthsAreCountedAndChangeNothing)
{
    WifiService wifi(os_, device_);
    Bytes lying = kshim::host::WdiTlv(WDI_TLV_BSSID, Bytes(kApA.begin(), kApA.end()));
    lying.insert(lying.end(), {0x07, 0x01, 0xFF, 0x00, 0x00});  // an association result TLV of 255 bytes, 1 there
    Bytes shortResult =
        Cat(kshim::host::WdiTlv(WDI_TLV_BSSID, Bytes(kApA.begin(), kApA.end())), kshim::host::WdiTlv(WDI_TLV_ASSOCIATION_RESULT, U32s({0})));
    Bytes shortLink = kshim::host::WdiTlv(WDI_TLV_LINK_STATE_PARAMS, Bytes(19, 0));
    Indicate(device_->Handle(), kshim::host::kWdiIndicationAssociationResult, 0, 0, lying);
    Indicate(device_->Handle(), kshim::host::kWdiIndicationAssociationResult, 0, 0, shortResult);
    Indicate(device_->Handle(), kshim::host::kWdiIndicationLinkStateChange, 0, 0, shortLink);
    Indicate(device_->Handle(), kshim::host::kWdiIndicationDisassociation, 0, 0, {});
    wifi.Poll();
    EXPECT_EQ(wifi.MalformedConnectionIndications(), 4u);
    EXPECT_TRUE(wifi.AssociationResults().empty());
    EXPECT_TRUE(wifi.LinkStates().empty());
    EXPECT_EQ(wifi.Connection().state, ConnectionState::Disconnected);
}

}  // namespace

namespace {

TEST_F(WorldConnService, KeysAfterTheHandshakeTravelAsOneAddKeysPropertyAndTheDefaultKeyIdAsItsOwn)
{
    WifiService wifi(os_, device_);
    kshim::host::CipherKey pairwise;
    pairwise.peer = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    pairwise.key = Bytes(16, 0xA5);
    pairwise.receiveSequenceCount = std::array<uint8_t, 6>{1, 0, 0, 0, 0, 0};
    kshim::host::CipherKey group;
    group.pairwise = false;
    group.keyId = 1;
    group.key = Bytes(16, 0x5A);
    kshim::host::CipherKey igtk;
    igtk.cipher = 6;
    igtk.pairwise = false;
    igtk.keyId = 4;
    igtk.key = Bytes(16, 0x3C);
    ASSERT_EQ(wifi.AddCipherKeys({pairwise, group, igtk}), STATUS_SUCCESS);
    ASSERT_EQ(wifi.SetDefaultKeyId(1), STATUS_SUCCESS);
    const std::vector<Request> seen = Seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].messageId, 29);
    WDI_SET_ADD_CIPHER_KEYS_PARAMETERS keys{};
    ASSERT_EQ(WdiTlvParseSetAddCipherKeys(static_cast<ULONG>(seen[0].message.size() - 16), seen[0].message.data() + 16,
                                          nullptr, &keys),
              STATUS_SUCCESS);
    ASSERT_EQ(keys.ElementCount, 3u);
    EXPECT_EQ(keys.pElements[0].CipherKeyTypeInfo.KeyType, 1u);
    EXPECT_EQ(keys.pElements[0].ReceiveSequenceCount[0], 1);
    EXPECT_EQ(Bytes(keys.pElements[0].CcmpKey.pElements, keys.pElements[0].CcmpKey.pElements + 16), Bytes(16, 0xA5));
    EXPECT_EQ(keys.pElements[1].CipherKeyId, 1u);
    EXPECT_EQ(keys.pElements[2].CipherKeyTypeInfo.CipherAlgorithm, 6u);
    EXPECT_EQ(Bytes(keys.pElements[2].BipKey.pElements, keys.pElements[2].BipKey.pElements + 16), Bytes(16, 0x3C));
    WdiTlvCleanupSetAddCipherKeys(&keys);
    EXPECT_EQ(seen[1].messageId, 31);
    WDI_DEFAULT_KEY_ID_PARAMETERS id{};
    ASSERT_EQ(WdiTlvParseSetDefaultKeyId(static_cast<ULONG>(seen[1].message.size() - 16), seen[1].message.data() + 16,
                                         nullptr, &id),
              STATUS_SUCCESS);
    EXPECT_EQ(id.KeyId, 1u);
}

}  // namespace
