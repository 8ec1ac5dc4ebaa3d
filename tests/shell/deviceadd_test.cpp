// Driver entry, device add and its failure rules, unload, and the event-log entries they write.
#include <cstring>
#include <string>

#include "Common/cnm.h"

#include "Common/logevent.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "kshim/host/control.h"
#include "kshim/host/eventlog.h"
#include "kshim/host/registry.h"
#include "kshim/host/rtl.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/wificx/wificxmain.h"
#include "shell/shell_fixture.h"
#include "support/crossings.h"

namespace {

const char kServiceKey[] = "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\wdrvcx\\Parameters";

std::vector<kshim::host::ErrorLogEntry> EntriesWithId(uint32_t id)
{
    std::vector<kshim::host::ErrorLogEntry> found;
    for (const auto& entry : kshim::host::ErrorLogSnapshot()) {
        if (entry.errorCode == id) {
            found.push_back(entry);
        }
    }
    return found;
}

class DeviceAdd : public shelltest::LeakCheckedTest {
protected:
    void SetUp() override
    {
        LeakCheckedTest::SetUp();
        kshim::host::RegistryClear();
        kshim::host::RegistrySetDword(kServiceKey, "EnableSystemEventLog", 1);
        kshim::host::ErrorLogClear();
        kshim::host::SetOsVersion(10, 0, 22631);
    }
    void TearDown() override
    {
        if (os_.Loaded()) {
            kshim::host::UnloadReport report = os_.Unload();
            EXPECT_TRUE(report.clean) << report.text;
        }
        EXPECT_FALSE(kshim::host::TraceSessionActive());
        kshim::host::RegistryClear();
        LeakCheckedTest::TearDown();
    }

    kshim::host::OsDevice* LoadAndAdd()
    {
        EXPECT_EQ(os_.Load(DriverEntry, u"wdrvcx"), STATUS_SUCCESS);
        return os_.AddDevice();
    }

    kshim::host::Os os_;
};

TEST_F(DeviceAdd, CreatesTheDeviceWithItsAdapterCallbacksAndPowerPolicy)
{
    kshim::host::OsDevice* device = LoadAndAdd();
    ASSERT_EQ(device->AddStatus(), STATUS_SUCCESS);
    ASSERT_EQ(device->State(), kshim::host::DeviceState::Added);
    EXPECT_TRUE(kshim::host::TraceSessionActive());

    MP_ADAPTER* adapter = QZCxGetAdapter(device->Handle());
    EXPECT_EQ(adapter->Device, device->Handle());
    EXPECT_EQ(adapter->Signature, 0xAABBCCDDu);
    EXPECT_EQ(adapter->EnableSystemEventLog, 1);
    EXPECT_EQ(adapter->Pdo, device->PhysicalDevice());
    EXPECT_EQ(adapter->Fdo, WdfDeviceWdmGetDeviceObject(device->Handle()));
    EXPECT_EQ(adapter->TlvContext.PeerVersion, kshim::host::OsWdiVersion());
    EXPECT_EQ(adapter->TlvContext.AllocationContext, nullptr);
    EXPECT_EQ(adapter->WakeFromSxSupported, 1);
    EXPECT_EQ(adapter->S0IdleSupported, 1);
    EXPECT_EQ(adapter->OsBuildNumber, 22631u);

    kshim::host::DeviceRecord record;
    ASSERT_TRUE(kshim::host::DescribeDevice(device->Handle(), &record));
    EXPECT_TRUE(record.netDevice);
    EXPECT_TRUE(record.wifiDevice);
    EXPECT_TRUE(record.wifiInitialized);
    EXPECT_EQ(record.wifi.WdiVersion, 0x20003u);
    EXPECT_EQ(record.wifi.SendCommandHandler, EvtWiFiDeviceSendCommand);
    EXPECT_EQ(record.wifi.CreateAdapter, EvtWiFiDeviceCreateAdapter);
    EXPECT_EQ(record.wifi.CreateWifiDirectDevice, EvtWiFiDeviceCreateDirectDevice);

    ASSERT_TRUE(record.hasPowerCapabilities);
    const WDF_DEVICE_POWER_CAPABILITIES& caps = record.powerCapabilities;
    EXPECT_EQ(caps.DeviceD1, WdfFalse);
    EXPECT_EQ(caps.DeviceD2, WdfFalse);
    EXPECT_EQ(caps.WakeFromD0, WdfTrue);
    EXPECT_EQ(caps.WakeFromD3, WdfTrue);
    const DEVICE_POWER_STATE expected[PowerSystemMaximum] = {
        PowerDeviceUnspecified, PowerDeviceD0, PowerDeviceD3, PowerDeviceD3, PowerDeviceD3, PowerDeviceD3,
        PowerDeviceMaximum};
    for (int s = 0; s < PowerSystemMaximum; ++s) {
        EXPECT_EQ(caps.DeviceState[s], expected[s]) << s;
    }
    EXPECT_EQ(caps.DeviceWake, PowerDeviceD3);
    EXPECT_EQ(caps.SystemWake, PowerSystemSleeping3);
    EXPECT_EQ(caps.D1Latency, 0xFFFFFFFFu);
    EXPECT_EQ(caps.D3Latency, 0xFFFFFFFFu);
    EXPECT_EQ(caps.IdealDxStateForSx, PowerDeviceD3);

    ASSERT_TRUE(record.hasSxWake);
    EXPECT_EQ(record.sxWake.DxState, PowerDeviceD3);
    EXPECT_EQ(record.sxWake.UserControlOfWakeSettings, WakeAllowUserControl);
    EXPECT_EQ(record.sxWake.Enabled, WdfUseDefault);
    EXPECT_TRUE(record.sxWake.ArmForWakeIfChildrenAreArmedForWake);
    EXPECT_TRUE(record.sxWake.IndicateChildWakeOnParentWake);
    ASSERT_TRUE(record.hasS0Idle);
    EXPECT_EQ(record.s0Idle.IdleCaps, IdleCanWakeFromS0);
    EXPECT_EQ(record.s0Idle.DxState, PowerDeviceMaximum);
    EXPECT_EQ(record.s0Idle.IdleTimeout, 5000u);
    EXPECT_EQ(record.s0Idle.UserControlOfIdleSettings, IdleAllowUserControl);
    EXPECT_EQ(record.s0Idle.Enabled, WdfUseDefault);
    EXPECT_EQ(record.s0Idle.PowerUpIdleDeviceOnSystemWake, WdfUseDefault);
    EXPECT_EQ(record.s0Idle.ExcludeD3Cold, WdfUseDefault);
    EXPECT_EQ(record.s0Idle.IdleTimeoutType, SystemManagedIdleTimeoutWithHint);

    // The control device.
    WDFDEVICE control = kshim::host::FindDevice(u"\\DosDevices\\QZLWLAN");
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control, g_ControlDevice);
    EXPECT_EQ(QZCxGetControlDeviceContext(control)->Adapter, adapter);
    kshim::host::DeviceRecord controlRecord;
    ASSERT_TRUE(kshim::host::DescribeDevice(control, &controlRecord));
    EXPECT_TRUE(controlRecord.control);
    EXPECT_EQ(controlRecord.name, u"\\Device\\QZLWLAN");
    EXPECT_EQ(controlRecord.sddl, u"D:P(A;;GA;;;SY)(A;;GRGWGX;;;BA)(A;;GRGW;;;WD)(A;;GR;;;RC)");
    EXPECT_FALSE(controlRecord.exclusive);
    EXPECT_TRUE(controlRecord.hasShutdownNotification);
    EXPECT_EQ(controlRecord.shutdownFlags, WdfDeviceShutdown);
    EXPECT_TRUE(controlRecord.hasDefaultQueue);
    EXPECT_TRUE(controlRecord.controlFinished);

    // Removal: the control device goes, "Driver Unload" is written.
    os_.Remove(device);
    EXPECT_EQ(kshim::host::FindDevice(u"\\Device\\QZLWLAN"), nullptr);
    EXPECT_EQ(g_ControlDevice, nullptr);
    EXPECT_EQ(EntriesWithId(0x40021F41u).size(), 1u);
}

// The BSS slot of the port under test and what the net adapter's clean-up left of it.
PBSS_INDEX_SLOT g_slot = nullptr;
UCHAR g_slotInUseAfterCleanup = 0;
PMP_PORT g_slotPortAfterCleanup = nullptr;

// A net adapter that goes away with its device: a group owner's port gives back its station entries
// and its firmware BSS slot and forgets the adapter; a station port keeps its entries.
TEST_F(DeviceAdd, NetAdapterCleanupReleasesThePortsSlotAndForgetsTheAdapter)
{
    struct Case {
        ULONG portType;
        bool macTableReturned;
    };
    for (Case c : {Case{WFD_GO, true}, Case{EXTSTA, false}}) {
        SCOPED_TRACE(c.portType);
        kshim::host::TraceSetLevel(TRACE_LEVEL_VERBOSE);
        kshim::host::TraceClear();
        kshim::host::OsDevice* device = LoadAndAdd();
        ASSERT_EQ(device->AddStatus(), STATUS_SUCCESS);
        MP_ADAPTER* adapter = QZCxGetAdapter(device->Handle());
        PMP_PORT port = nullptr;
        ASSERT_EQ(NdisCommonInitAllocPort(adapter, c.portType, 0, &port), STATUS_SUCCESS);
        port->PortNumber = 2;
        port->Adapter = adapter;
        adapter->PortList[2] = port;
        static const UCHAR kPeer[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
        ASSERT_EQ(MlmeSyncInitMacTabPool(adapter), STATUS_SUCCESS);
        ASSERT_NE(MacTableInsertEntry(adapter, port, kPeer, TRUE), nullptr);
        PBSS_INDEX_SLOT slot = cnmInitAndGetBssIndexForPort(adapter, port, 1, FALSE);
        ASSERT_NE(slot, nullptr);
        ASSERT_EQ(slot->InUse, 1);
        g_slot = slot;
        g_slotInUseAfterCleanup = 0xEE;
        g_slotPortAfterCleanup = nullptr;

        NETADAPTER created = nullptr;
        NTSTATUS status = os_.CreateAdapter(device, 2, WIFI_ADAPTER_WIFI_DIRECT_ROLE, [&](WDFDEVICE, NETADAPTER_INIT* init) {
            WDF_OBJECT_ATTRIBUTES attributes;
            WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, QZCX_NET_ADAPTER);
            // The driver's clean-up, then what it left of the slot (the adapter goes with the device).
            attributes.EvtCleanupCallback = [](WDFOBJECT object) {
                EvtAdapterContextCleanup(object);
                g_slotInUseAfterCleanup = g_slot->InUse;
                g_slotPortAfterCleanup = g_slot->Port;
            };
            NTSTATUS s = NetAdapterCreate(init, &attributes, &created);
            if (NT_SUCCESS(s)) {
                QZCxGetNetAdapterContext(created)->Adapter = adapter;
                QZCxGetNetAdapterContext(created)->NetAdapter = created;
            }
            return s;
        });
        ASSERT_EQ(status, STATUS_SUCCESS);
        EXPECT_EQ(WifiAdapterGetPortId(created), 2);
        port->NetAdapter = created;

        os_.Remove(device);  // the net adapter goes with its device, before the device's own clean-up
        EXPECT_EQ(port->NetAdapter, nullptr);
        EXPECT_EQ(g_slotInUseAfterCleanup, 0) << "the port's firmware BSS slot is given back";
        EXPECT_EQ(g_slotPortAfterCleanup, port);  // the slot keeps its port until it is bound again
        EXPECT_EQ(port->MacTab.Count == 0 && port->MacTab.Head == nullptr, c.macTableReturned);
        PlatformFreeMemory(port, sizeof(*port));
        kshim::host::UnloadReport report = os_.Unload();
        EXPECT_TRUE(report.clean) << report.text;
    }
}

TEST_F(DeviceAdd, WritesDriverInitThenTheWakeSupportRecord)
{
    LARGE_INTEGER before;
    KeQuerySystemTime(&before);
    kshim::host::OsDevice* device = LoadAndAdd();
    ASSERT_EQ(device->AddStatus(), STATUS_SUCCESS);
    auto entries = kshim::host::ErrorLogSnapshot();
    ASSERT_EQ(entries.size(), 2u);

    const auto& init = entries[0];
    EXPECT_EQ(init.errorCode, 0x40021F40u) << "Driver Init";
    EXPECT_EQ(init.ioObject, QZCxGetAdapter(device->Handle())->Fdo);
    EXPECT_EQ(init.sequenceNumber, 0x00010001u);
    EXPECT_EQ(init.dumpDataSize, 48u);  // 40 bytes, then 8 zero bytes
    ASSERT_EQ(init.dumpData.size(), 48u);
    LONGLONG time;
    std::memcpy(&time, init.dumpData.data(), 8);
    EXPECT_GE(time, before.QuadPart);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(init.dumpData.data() + 8)), "___1.0.0.0___");
    EXPECT_EQ(init.dumpData[39], 0);

    const auto& wake = entries[1];
    EXPECT_EQ(wake.errorCode, 0x400207D0u) << "Support for WakeFromSx/S0Idle";
    EXPECT_EQ(wake.sequenceNumber, 0x00010001u);
    EXPECT_EQ(wake.dumpDataSize, 12u);  // 2 bytes padded to 4, then 8
    ASSERT_GE(wake.dumpData.size(), 2u);
    EXPECT_EQ(wake.dumpData[0], 1);  // wake from Sx accepted
    EXPECT_EQ(wake.dumpData[1], 1);  // S0 idle accepted
    EXPECT_NE(wake.ioControlCode, init.ioControlCode);  // one serial number per call
}

TEST_F(DeviceAdd, PowerStateInvalidIsToleratedWithItsByteZero)
{
    struct Case {
        const char* fault;
        UCHAR sxByte;
        UCHAR s0Byte;
    } cases[] = {{"wdf.sxwake", 0, 1}, {"wdf.s0idle", 1, 0}};
    for (const Case& c : cases) {
        kshim::host::ErrorLogClear();
        kshim::host::FaultArm(c.fault, "", 1, STATUS_POWER_STATE_INVALID);
        kshim::host::OsDevice* device = LoadAndAdd();
        kshim::host::FaultClearAll();
        ASSERT_EQ(device->AddStatus(), STATUS_SUCCESS) << c.fault;
        auto wake = EntriesWithId(0x400207D0u);
        ASSERT_EQ(wake.size(), 1u) << c.fault;
        EXPECT_EQ(wake[0].dumpData[0], c.sxByte) << c.fault;
        EXPECT_EQ(wake[0].dumpData[1], c.s0Byte) << c.fault;
        EXPECT_NE(kshim::host::FindDevice(u"\\Device\\QZLWLAN"), nullptr) << c.fault;
        kshim::host::UnloadReport report = os_.Unload();
        EXPECT_TRUE(report.clean) << report.text;
    }
}

TEST_F(DeviceAdd, EachStepsFailureEndsTheAddAndOnlyLaterStepsStillReadTheOsVersion)
{
    struct Case {
        const char* what;
        const char* point;
        const char* key;
        unsigned nth;
        NTSTATUS injected;
        NTSTATUS returned;
        bool deviceExisted;  // steps 7 to 13: the OS version is still read
    } cases[] = {
        {"1 NetDeviceInitConfig", "net.deviceinitconfig", "", 1, STATUS_INSUFFICIENT_RESOURCES,
         STATUS_INSUFFICIENT_RESOURCES, false},
        {"2 WifiDeviceInitConfig", "wifi.deviceinitconfig", "", 1, STATUS_INVALID_DEVICE_STATE,
         STATUS_INVALID_DEVICE_STATE, false},
        {"5 WdfDeviceCreate", "wdf.create", "WDFDEVICE", 1, STATUS_INSUFFICIENT_RESOURCES,
         STATUS_INSUFFICIENT_RESOURCES, false},
        {"7 WifiDeviceInitialize", "wifi.deviceinitialize", "", 1, STATUS_UNSUCCESSFUL, STATUS_UNSUCCESSFUL, true},
        {"10 Sx wake settings", "wdf.sxwake", "", 1, STATUS_INVALID_PARAMETER, STATUS_INVALID_PARAMETER, true},
        {"11 S0 idle settings", "wdf.s0idle", "", 1, STATUS_NOT_SUPPORTED, STATUS_NOT_SUPPORTED, true},
        {"13 control device init", "wdf.controlinit", "", 1, STATUS_UNSUCCESSFUL, STATUS_INSUFFICIENT_RESOURCES,
         true},
        {"13 control device create", "wdf.create", "WDFDEVICE", 2, STATUS_INSUFFICIENT_RESOURCES,
         STATUS_INSUFFICIENT_RESOURCES, true},
        {"13 control device link", "wdf.symlink", "", 1, STATUS_OBJECT_NAME_COLLISION, STATUS_OBJECT_NAME_COLLISION,
         true},
    };
    for (const Case& c : cases) {
        kshim::host::TraceClear();
        kshim::host::ErrorLogClear();
        kshim::host::FaultArm(c.point, c.key, c.nth, c.injected);
        kshim::host::OsDevice* device = LoadAndAdd();
        kshim::host::FaultClearAll();
        EXPECT_EQ(device->AddStatus(), c.returned) << c.what;
        EXPECT_EQ(device->State(), kshim::host::DeviceState::Failed) << c.what;
        EXPECT_EQ(kshim::host::TraceContains("OS version 10.0 build 22631"), c.deviceExisted) << c.what;
        // The framework deleted the device: what device add created is released.
        EXPECT_EQ(kshim::host::FindDevice(u"\\Device\\QZLWLAN"), nullptr) << c.what;
        EXPECT_EQ(g_ControlDevice, nullptr) << c.what;
        EXPECT_EQ(EntriesWithId(0x40021F40u).size(), c.deviceExisted ? 1u : 0u) << c.what;
        EXPECT_EQ(EntriesWithId(0x40021F41u).size(), c.deviceExisted ? 1u : 0u) << c.what;
        kshim::host::UnloadReport report = os_.Unload();
        EXPECT_TRUE(report.clean) << c.what << ": " << report.text;
        EXPECT_FALSE(kshim::host::TraceSessionActive()) << c.what;  // stopped once, at unload
    }
}

TEST_F(DeviceAdd, WithoutTheServiceValueNothingIsLogged)
{
    kshim::host::RegistryClear();
    kshim::host::OsDevice* device = LoadAndAdd();
    ASSERT_EQ(device->AddStatus(), STATUS_SUCCESS);
    MP_ADAPTER* adapter = QZCxGetAdapter(device->Handle());
    EXPECT_EQ(adapter->EnableSystemEventLog, 0);
    EXPECT_EQ(adapter->EventSerialNumber, 0);
    os_.Remove(device);
    EXPECT_TRUE(kshim::host::ErrorLogSnapshot().empty());

    // A later load with the value set finds the switch on: the switch does not outlive a load.
    os_.Unload();
    kshim::host::RegistrySetDword(kServiceKey, "EnableSystemEventLog", 1);
    device = LoadAndAdd();
    EXPECT_EQ(QZCxGetAdapter(device->Handle())->EnableSystemEventLog, 1);
    os_.Unload();
    kshim::host::RegistryClear();
    device = LoadAndAdd();
    EXPECT_EQ(QZCxGetAdapter(device->Handle())->EnableSystemEventLog, 0);
}

TEST_F(DeviceAdd, FrameworkDriverFailureStopsTracingAndFailsTheLoad)
{
    kshim::host::FaultArm("wdf.create", "WDFDRIVER", 1, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(os_.Load(DriverEntry, u"wdrvcx"), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(os_.Loaded());
    EXPECT_FALSE(kshim::host::TraceSessionActive());
}

TEST_F(DeviceAdd, PowerStateNamesForTraces)
{
    struct Case {
        int state;
        const char* name;
    } cases[] = {{0, "Invalid"}, {1, "D0"}, {4, "D3"}, {5, "D3Final"}, {6, "PowerDevicePrepareForHibernation"},
                 {7, "PowerDeviceMaximum"}, {8, "UnKnownPowerState"}, {-1, "UnKnownPowerState"}};
    for (const Case& c : cases) {
        EXPECT_STREQ(QZCxPowerStateName(static_cast<WDF_POWER_DEVICE_STATE>(c.state)), c.name);
    }
}

class ServiceValue : public shelltest::LeakCheckedTest {
protected:
    void TearDown() override
    {
        kshim::host::RegistryClear();
        LeakCheckedTest::TearDown();
    }
};

TEST_F(ServiceValue, FirstByteOfTheValueOrTheCallersByteUnchanged)
{
    kshim::host::RegistryClear();
    UCHAR value = 0x5A;
    EXPECT_EQ(Ndis6CommonGetRegistryServiceValue(u"EnableSystemEventLog", &value), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(value, 0x5A);

    kshim::host::RegistryCreateKey(kServiceKey);
    EXPECT_EQ(Ndis6CommonGetRegistryServiceValue(u"EnableSystemEventLog", &value), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(value, 0x5A);

    kshim::host::RegistrySetValue(kServiceKey, "Empty", 3 /*REG_BINARY*/, {});
    EXPECT_NE(Ndis6CommonGetRegistryServiceValue(u"Empty", &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 0x5A);

    kshim::host::RegistrySetDword(kServiceKey, "EnableSystemEventLog", 0x0201);
    EXPECT_EQ(Ndis6CommonGetRegistryServiceValue(u"enablesystemeventlog", &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 0x01);

    // A failed allocation of the value's buffer.
    kshim::host::FaultArm("pool", "ZV17", 1, STATUS_INSUFFICIENT_RESOURCES, 6);
    value = 0x5A;
    EXPECT_EQ(Ndis6CommonGetRegistryServiceValue(u"EnableSystemEventLog", &value), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(value, 0x5A);
}

class EventLog : public shelltest::ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        adapter_->Fdo = WdfDeviceWdmGetDeviceObject(adapter_->Device);
        adapter_->EnableSystemEventLog = 1;
        kshim::host::ErrorLogClear();
    }
};

TEST_F(EventLog, DumpsAreCutIn184BytePiecesOfOneSerialNumber)
{
    UCHAR data[185];
    for (size_t i = 0; i < sizeof(data); ++i) {
        data[i] = static_cast<UCHAR>(i);
    }
    struct Case {
        USHORT length;
        bool withData;
        std::vector<uint32_t> sequence;
        std::vector<uint16_t> dumpSizes;
    } cases[] = {
        {185, true, {0x00010002, 0x00020002}, {192, 12}},
        {184, true, {0x00010001}, {192}},
        {0, true, {0x00010001}, {8}},
        {10, false, {0x00010001}, {8}},
        {5, true, {0x00010001}, {16}},
    };
    for (const Case& c : cases) {
        kshim::host::ErrorLogClear();
        EXPECT_EQ(WriteSystemEventLog(adapter_.get(), 0x40020407, 0, c.withData ? data : nullptr, c.length),
                  STATUS_SUCCESS);
        auto entries = kshim::host::ErrorLogSnapshot();
        ASSERT_EQ(entries.size(), c.sequence.size()) << c.length;
        for (size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].errorCode, 0x40020407u);
            EXPECT_EQ(entries[i].sequenceNumber, c.sequence[i]) << c.length;
            EXPECT_EQ(entries[i].dumpDataSize, c.dumpSizes[i]) << c.length;
            EXPECT_EQ(entries[i].ioControlCode, entries[0].ioControlCode);
            EXPECT_EQ(entries[i].entrySize, 56 + c.dumpSizes[i] - 8);
        }
        if (c.length == 185) {
            EXPECT_EQ(std::memcmp(entries[0].dumpData.data(), data, 184), 0);
            EXPECT_EQ(entries[1].dumpData[0], 184);
            EXPECT_EQ(entries[1].dumpData[1], 0);  // padding, then the 8 zero bytes
        }
    }
}

TEST_F(EventLog, SwitchOffWritesNothingAndKeepsTheSerial)
{
    adapter_->EnableSystemEventLog = 0;
    LONG serial = adapter_->EventSerialNumber;
    UCHAR byte = 1;
    EXPECT_EQ(WriteSystemEventLog(adapter_.get(), EVENT_LOG_WAKE_SUPPORT, 0, &byte, 1), STATUS_SUCCESS);
    EXPECT_TRUE(kshim::host::ErrorLogSnapshot().empty());
    EXPECT_EQ(adapter_->EventSerialNumber, serial);
    EXPECT_EQ(WriteSystemEventLog(nullptr, EVENT_LOG_WAKE_SUPPORT, 0, &byte, 1), STATUS_SUCCESS);
}

TEST_F(EventLog, MissingDeviceObjectOrEntryEndsTheCall)
{
    UCHAR data[300] = {};
    kshim::host::FaultArm("errorlog.alloc", "", 2);
    EXPECT_EQ(WriteSystemEventLog(adapter_.get(), 0x40020407, 0, data, sizeof(data)), static_cast<NTSTATUS>(0xFFFFFFFE));
    EXPECT_EQ(kshim::host::ErrorLogSnapshot().size(), 1u);  // the first piece stays written
    kshim::host::FaultClearAll();
    adapter_->Fdo = nullptr;
    EXPECT_EQ(WriteSystemEventLog(adapter_.get(), 0x40020407, 0, data, 4), static_cast<NTSTATUS>(0xFFFFFFFE));
    EXPECT_EQ(kshim::host::ErrorLogOutstanding(), 0u);
}

}  // namespace
