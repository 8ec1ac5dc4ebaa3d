// Hardware preparation and release through the simulated OS on a simulated chip: the chip each
// PCI device id selects, the refusals, and the failures of every step, each leaving every
// allocation, mapping and bus-interface reference returned.
#include <gtest/gtest.h>

#include <memory>

#include <string>

#include "chip/chip.h"
#include "hal/common/hal_chip.h"
#include "hal_support.h"
#include "kshim/host/control.h"
#include "kshim/host/os.h"
#include "kshim/host/pci_device.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/wificx/wificxmain.h"

namespace {

using kshim::host::DeviceConfig;
using kshim::host::OsDevice;
using sim::chip::Chip;

constexpr NTSTATUS kRefused = STATUS_UNSUCCESSFUL;
constexpr unsigned kPoolAttempts = 6;  // the allocator asks the pool this many times

class Prepare : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        outstanding_ = kshim::host::PoolOutstandingBlocks();
        ASSERT_EQ(os_.Load(DriverEntry, u"wdrvcx"), STATUS_SUCCESS);
    }
    void TearDown() override
    {
        for (OsDevice* d : devices_) {
            os_.Remove(d);
        }
        kshim::host::UnloadReport report = os_.Unload();
        EXPECT_TRUE(report.clean) << report.text;
        EXPECT_EQ(kshim::host::PoolOutstandingBlocks(), outstanding_) << kshim::host::PoolLeakReport();
        EXPECT_EQ(kshim::host::MmioMappingCount(), 0u);
        kshim::host::ResetDefaults();
    }

    OsDevice* Add(Chip* chip, DeviceConfig config = {})
    {
        config.pci = chip;
        OsDevice* device = os_.AddDevice(config);
        EXPECT_EQ(device->AddStatus(), STATUS_SUCCESS);
        devices_.push_back(device);
        return device;
    }

    // What a released device must have given back: blocks, mappings, the bus reference, switches.
    void ExpectReleased(OsDevice* device)
    {
        const QZCX_DEVICE_SWITCHES& switches = QZCxGetAdapter(device->Handle())->Switches;
        EXPECT_FALSE(switches.ResourcesAllocated);
        EXPECT_FALSE(switches.PciInterfaceStarted);
        EXPECT_FALSE(switches.SpinLocksAndChipRegistered);
        EXPECT_FALSE(switches.InterruptRegistered);
        EXPECT_EQ(kshim::host::MmioMappingCount(), 0u);
        EXPECT_EQ(device->BusInterfaceReferences(), 0);
        MP_ADAPTER* adapter = QZCxGetAdapter(device->Handle());
        EXPECT_EQ(adapter->HifContext, nullptr);
        EXPECT_EQ(adapter->TxQueueLock, nullptr);
        EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZVA0"), 0u);
        EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV17"), 0u);
    }

    // The simulated functions outlive the devices on them: the fixture removes the devices first.
    Chip& NewChip(USHORT deviceId)
    {
        chips_.push_back(std::make_unique<Chip>(deviceId));
        return *chips_.back();
    }

    std::vector<std::unique_ptr<Chip>> chips_;
    kshim::host::Os os_;
    std::vector<OsDevice*> devices_;
    uint64_t outstanding_ = 0;
};

// ---- the chip each id selects ------------------------------------------------------------------------------
struct IdCase {
    USHORT deviceId;
    NTSTATUS status;
    USHORT chipCode;      // in the adapter after preparation (0: none)
    UCHAR commandRing;    // hardware ring of the firmware-command ring (prepared devices)
    const char* ramCode;  // the descriptor's RAM-code image
};

const IdCase kIds[] = {
    {0x3501, STATUS_SUCCESS, 0x3501, 17, "WIFI_RAM_CODE_QZ3501_1.bin"},
    {0x3504, STATUS_SUCCESS, 0x3501, 17, "WIFI_RAM_CODE_QZ3501_1.bin"},
    {0x0C01, STATUS_SUCCESS, 0x3501, 17, "WIFI_RAM_CODE_QZ3501_1.bin"},
    {0x3502, STATUS_SUCCESS, 0x3502, 17, "WIFI_RAM_CODE_QZ3502_1.bin"},
    {0x0C02, STATUS_SUCCESS, 0x3502, 17, "WIFI_RAM_CODE_QZ3502_1.bin"},
    {0x3601, STATUS_SUCCESS, 0x3601, 15, "WIFI_RAM_CODE_QZ3601_1_1.bin"},
    {0x0C03, STATUS_SUCCESS, 0x3601, 15, "WIFI_RAM_CODE_QZ3601_1_1.bin"},
    {0x3602, STATUS_SUCCESS, 0x3602, 15, "WIFI_RAM_CODE_QZ3602_2_1.bin"},
    {0x3603, STATUS_SUCCESS, 0x3602, 15, "WIFI_RAM_CODE_QZ3602_2_1.bin"},
    {0x0C04, STATUS_SUCCESS, 0x3602, 15, "WIFI_RAM_CODE_QZ3602_2_1.bin"},
    // The older chip is selected but has no interrupt service or deferred routine.
    {0x3404, kRefused, 0x3404, 0, nullptr},
    // Accepted by the identity check, but no chip code: no interrupt routines either.
    {0x3405, kRefused, 0, 0, nullptr},
    // Refused by the identity check: no chip is selected.
    {0x3503, kRefused, 0, 0, nullptr},
    {0x1234, kRefused, 0, 0, nullptr},
};

TEST_F(Prepare, EachIdSelectsItsChipOrIsRefused)
{
    for (const IdCase& c : kIds) {
        SCOPED_TRACE(testing::Message() << "device id 0x" << std::hex << c.deviceId);
        Chip& chip = NewChip(c.deviceId);
        chip.SetRevision(0x11);
        chip.SetSubsystem(0x17AA, 0x0C0D);
        OsDevice* device = Add(&chip);
        MP_ADAPTER* adapter = QZCxGetAdapter(device->Handle());
        ASSERT_EQ(os_.PrepareHardware(device), c.status);
        EXPECT_EQ(adapter->HalInfo.ChipCode, c.chipCode);
        if (NT_SUCCESS(c.status)) {
            EXPECT_TRUE(adapter->Switches.ResourcesAllocated && adapter->Switches.PciInterfaceStarted &&
                        adapter->Switches.SpinLocksAndChipRegistered && adapter->Switches.InterruptRegistered);
            EXPECT_EQ(adapter->DeviceId, c.deviceId);
            EXPECT_STREQ(adapter->HalInfo.RamCodeFileName, c.ramCode);
            // The adapter carries the chip code's own table and descriptor (their slots and values are
            // the chip-selection tests' matter).
            auto reference = haltest::MakeAdapter(c.chipCode);
            HalRegisterChip(reference.get());
            EXPECT_EQ(haltest::Slots(adapter->HalOps), haltest::Slots(reference->HalOps));
            EXPECT_EQ(std::memcmp(&adapter->HalInfo, &reference->HalInfo, sizeof(CHIP_HAL_INFO)), 0);
            EXPECT_EQ(adapter->Recovery.SerEnabled, 1);

            PPCI_HIF_CONTEXT hif = adapter->HifContext;
            EXPECT_EQ(hif->Adapter, adapter);
            EXPECT_EQ(hif->VendorId, 0x1E7A);
            EXPECT_EQ(hif->DeviceId, c.deviceId);
            EXPECT_EQ(hif->RevisionId, 0x11);
            EXPECT_EQ(hif->SubsystemVendorId, 0x17AA);
            EXPECT_EQ(hif->SubsystemId, 0x0C0D);
            EXPECT_EQ(hif->Pdo, device->PhysicalDevice());
            EXPECT_EQ(hif->NextLowerDevice, device->LowerDevice());
            EXPECT_EQ(hif->BarLength, chip.BarSize(0));
            EXPECT_EQ(static_cast<uint64_t>(hif->BarStart.QuadPart), device->BarPhysicalBase());
            EXPECT_EQ(hif->InterruptVector, kshim::host::kTranslatedInterruptVector);
            EXPECT_EQ(hif->HwRingDownload, 16);
            EXPECT_EQ(hif->HwRingCommand, c.commandRing);
            EXPECT_EQ(hif->HwRingData0, 0);
            EXPECT_EQ(hif->HwRingData1, 1);
            // The receive return records, and the WDI intake's task and property parameter buffers of
            // device add.
            EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZVA0"),
                      static_cast<uint64_t>(RX_RETURN_CONTEXT_COUNT + 2));
            EXPECT_EQ(device->BusInterfaceReferences(), 1);
            EXPECT_EQ(kshim::host::MmioMappingCount(), 1u);
            EXPECT_EQ(os_.ReleaseHardware(device), STATUS_SUCCESS);
        }
        ExpectReleased(device);
        os_.Remove(device);
        devices_.pop_back();
    }
}

TEST_F(Prepare, FreeListHoldsEveryReturnRecordOnce)
{
    Chip& chip = NewChip(0x3602);
    OsDevice* device = Add(&chip);
    ASSERT_EQ(os_.PrepareHardware(device), STATUS_SUCCESS);
    MP_ADAPTER* adapter = QZCxGetAdapter(device->Handle());
    std::vector<bool> seen(RX_RETURN_CONTEXT_COUNT, false);
    ULONG count = 0;
    for (PLIST_ENTRY e = adapter->RxReturnFree.Head.Flink; e != &adapter->RxReturnFree.Head; e = e->Flink) {
        auto* record = CONTAINING_RECORD(e, RX_RETURN_CONTEXT, Link);
        ASSERT_EQ(record->Signature, RX_RETURN_CONTEXT_SIGNATURE);
        ASSERT_LT(record->Index, static_cast<ULONG>(RX_RETURN_CONTEXT_COUNT));
        EXPECT_FALSE(seen[record->Index]);
        seen[record->Index] = true;
        EXPECT_EQ(record->Adapter, adapter);
        ++count;
    }
    EXPECT_EQ(count, static_cast<ULONG>(RX_RETURN_CONTEXT_COUNT));
    EXPECT_TRUE(IsListEmpty(&adapter->RxReturnSta.Head));
    EXPECT_TRUE(IsListEmpty(&adapter->RxReturnAp.Head));
    EXPECT_EQ(adapter->Ioctl.PendingRequestCount, 0);
    EXPECT_EQ(adapter->CommonBlock->NdisVersion, NdisGetVersion());
    EXPECT_NE(adapter->TxQueueLock, nullptr);
    EXPECT_EQ(os_.ReleaseHardware(device), STATUS_SUCCESS);
    ExpectReleased(device);
}

// ---- failures of the steps, each released completely ----------------------------------------------------------
struct FailureCase {
    const char* name;
    USHORT deviceId;
    NTSTATUS status;
    // Arms the fault or changes the chip and the resources before preparation.
    void (*arrange)(Chip* chip, DeviceConfig* config);
};

const FailureCase kFailures[] = {
    {"foreign vendor", 0x3602, kRefused,
     [](Chip* chip, DeviceConfig*) { chip->SetConfig32(0, 0x36021B7A); }},
    {"device 0x3503", 0x3503, kRefused, [](Chip*, DeviceConfig*) {}},
    {"device 0x3405", 0x3405, kRefused, [](Chip*, DeviceConfig*) {}},
    {"BAR below 64 KB", 0x3602, kRefused, [](Chip*, DeviceConfig* config) { config->barLength = 0x8000; }},
    {"no interrupt", 0x3502, kRefused, [](Chip*, DeviceConfig* config) { config->noInterrupt = true; }},
    {"short configuration read", 0x3502, kRefused,
     [](Chip*, DeviceConfig*) { kshim::host::FaultArm("pci.config", "get", 1); }},
    {"no spin lock object", 0x3602, STATUS_INSUFFICIENT_RESOURCES,
     [](Chip*, DeviceConfig*) { kshim::host::FaultArm("wdf.create", "WDFSPINLOCK", 1); }},
    {"first receive return record", 0x3602, STATUS_INSUFFICIENT_RESOURCES,
     [](Chip*, DeviceConfig*) { kshim::host::FaultArm("pool", "ZVA0", 3, STATUS_INSUFFICIENT_RESOURCES, kPoolAttempts); }},
    {"second receive return record", 0x3602, STATUS_INSUFFICIENT_RESOURCES,
     [](Chip*, DeviceConfig*) { kshim::host::FaultArm("pool", "ZVA0", 4, STATUS_INSUFFICIENT_RESOURCES, kPoolAttempts); }},
    {"last receive return record", 0x3502, STATUS_INSUFFICIENT_RESOURCES,
     [](Chip*, DeviceConfig*) {
         kshim::host::FaultArm("pool", "ZVA0", RX_RETURN_CONTEXT_COUNT + 2, STATUS_INSUFFICIENT_RESOURCES, kPoolAttempts);
     }},
};

TEST_F(Prepare, EveryFailingStepIsUndoneByTheRelease)
{
    for (const FailureCase& c : kFailures) {
        SCOPED_TRACE(c.name);
        Chip& chip = NewChip(c.deviceId);
        DeviceConfig config;
        c.arrange(&chip, &config);
        OsDevice* device = Add(&chip, config);
        EXPECT_EQ(os_.PrepareHardware(device), c.status);
        kshim::host::FaultClearAll();
        ExpectReleased(device);
        os_.Remove(device);
        devices_.pop_back();
    }
}

TEST_F(Prepare, AdapterBlockAllocationFailureAtEachBlock)
{
    // The adapter's seven separately held blocks, one failure each.
    for (unsigned nth = 1; nth <= 7; ++nth) {
        SCOPED_TRACE(testing::Message() << "block " << nth);
        Chip& chip = NewChip(0x3602);
        OsDevice* device = Add(&chip);
        kshim::host::FaultArm("pool", "ZV17", nth, STATUS_INSUFFICIENT_RESOURCES, kPoolAttempts);
        EXPECT_EQ(os_.PrepareHardware(device), STATUS_NO_MEMORY);
        kshim::host::FaultClearAll();
        ExpectReleased(device);
        os_.Remove(device);
        devices_.pop_back();
    }
}

TEST_F(Prepare, InterruptAfterMemoryAndExtraResourcesAreAccepted)
{
    Chip& chip = NewChip(0x3602);
    DeviceConfig config;
    config.memoryBeforeInterrupt = true;
    // A small memory range and a port range ahead of the device's own: traced and skipped.
    CM_PARTIAL_RESOURCE_DESCRIPTOR small{};
    small.Type = CmResourceTypeMemory;
    small.u.Memory.Start.QuadPart = 0xFE000000;
    small.u.Memory.Length = 0x1000;
    CM_PARTIAL_RESOURCE_DESCRIPTOR port{};
    port.Type = CmResourceTypePort;
    config.extraDescriptors = {small, port};
    OsDevice* device = Add(&chip, config);
    ASSERT_EQ(os_.PrepareHardware(device), STATUS_SUCCESS);
    PPCI_HIF_CONTEXT hif = QZCxGetAdapter(device->Handle())->HifContext;
    EXPECT_EQ(hif->BarLength, chip.BarSize(0));
    EXPECT_EQ(hif->InterruptIndex, 3u);
    EXPECT_EQ(hif->InterruptRaw->u.MessageInterrupt.Raw.MessageCount, 1);
    EXPECT_EQ(hif->InterruptTranslated->u.Interrupt.Vector, kshim::host::kTranslatedInterruptVector);
    EXPECT_EQ(os_.ReleaseHardware(device), STATUS_SUCCESS);
    ExpectReleased(device);
}

TEST_F(Prepare, PreparedAgainAfterARelease)
{
    Chip& chip = NewChip(0x3502);
    OsDevice* device = Add(&chip);
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(os_.PrepareHardware(device), STATUS_SUCCESS);
        EXPECT_EQ(QZCxGetAdapter(device->Handle())->HalInfo.ChipCode, 0x3502);
        EXPECT_EQ(os_.ReleaseHardware(device), STATUS_SUCCESS);
        ExpectReleased(device);
    }
}

}  // namespace
