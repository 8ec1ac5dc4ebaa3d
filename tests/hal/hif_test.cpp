// Register access of the bus layer and the host interface facade, checked against the registers of
// a simulated chip: fixed windows, the third generation's movable windows, the legacy window, range
// reads, configuration space, removal, the I/O-error count that asks for recovery, and the chip
// layer's version queries over them.
#include <gtest/gtest.h>

#include <vector>

#include "Common/common.h"
#include "chip/chip.h"
#include "hal/chips/qzarvel3x.h"
#include "hal/common/hal_chip.h"
#include "kshim/host/control.h"
#include "kshim/host/pci_device.h"
#include "kshim/trace.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"

namespace {

using sim::chip::Access;
using sim::chip::Chip;

constexpr uint64_t kBarBase = 0xD0000000;

// The bus as hardware preparation leaves it: the adapter's blocks, its locks and internal command
// pool, the chip selected, the BAR mapped and the configuration space reached through a bus interface.
class Bus {
public:
    explicit Bus(USHORT deviceId) : chip(deviceId)
    {
        EXPECT_TRUE(kshim::host::PciAttach(&chip, kBarBase));
        adapter = new MP_ADAPTER();
        adapter->DeviceId = deviceId;
        EXPECT_EQ(Ndis6CommonAllocAdapterBlock(adapter), STATUS_SUCCESS);
        NdisCommonSpinLockInit(adapter);
        QzInitCmdQueue(&adapter->Cmd.ControlQueue);
        QzInitInternalCmdBuffer(adapter);
        port.Adapter = adapter;
        adapter->PortList[0] = &port;  // recovery requests go to port 0
        HalRegisterChip(adapter);
        hif = adapter->HifContext;
        hif->Adapter = adapter;
        hif->BarLength = static_cast<ULONG>(chip.BarSize(0));
        PHYSICAL_ADDRESS start;
        start.QuadPart = static_cast<LONGLONG>(kBarBase);
        hif->BarVa = static_cast<PUCHAR>(MmMapIoSpaceEx(start, hif->BarLength, PAGE_READWRITE | PAGE_NOCACHE));
        EXPECT_NE(hif->BarVa, nullptr);
        adapter->BusInterface.Context = this;
        adapter->BusInterface.GetBusData = [](PVOID context, ULONG, PVOID buffer, ULONG offset, ULONG length) {
            auto* bus = static_cast<Bus*>(context);
            return bus->shortConfig ? length - 1 : bus->chip.ConfigRead(offset, buffer, length);
        };
        adapter->BusInterface.SetBusData = [](PVOID context, ULONG, PVOID buffer, ULONG offset, ULONG length) {
            return static_cast<Bus*>(context)->chip.ConfigWrite(offset, buffer, length);
        };
        chip.ClearTranscript();
    }
    ~Bus()
    {
        (void)NdisCommonHifIoSpaceUnmap(adapter);
        QzFreeInternalCmdBuffer(adapter);
        NdisCommonDeallocateAllSpinLock(adapter);
        Ndis6CommonDeallocAdapterBlock(adapter);
        delete adapter;
        kshim::host::PciDetach(&chip);
    }

    ULONG Read(ULONG address, NTSTATUS expected = STATUS_SUCCESS)
    {
        ULONG value = 0;
        EXPECT_EQ(NdisCommonHifPciReadReg(hif, address, &value), expected) << std::hex << address;
        return value;
    }
    void Write(ULONG address, ULONG value, NTSTATUS expected = STATUS_SUCCESS)
    {
        EXPECT_EQ(NdisCommonHifPciWriteReg(hif, address, value), expected) << std::hex << address;
    }
    // Values written to a register, in order.
    std::vector<uint64_t> WritesTo(uint32_t chipAddress)
    {
        std::vector<uint64_t> values;
        for (const Access& a : chip.AccessesTo(chipAddress)) {
            if (a.write) {
                values.push_back(a.value);
            }
        }
        return values;
    }
    // Internal commands posted to the control thread: {command id, first payload word}.
    std::vector<std::pair<ULONG, ULONG>> Posted()
    {
        std::vector<std::pair<ULONG, ULONG>> posted;
        for (PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(&adapter->Cmd.ControlQueue); cmd != nullptr;
             cmd = QzDequeueCmdQueueLocked(&adapter->Cmd.ControlQueue)) {
            ULONG word = 0;
            if (cmd->Payload != nullptr && cmd->PayloadLength >= sizeof(word)) {
                std::memcpy(&word, cmd->Payload, sizeof(word));
            }
            posted.emplace_back(cmd->CmdId, word);
            EXPECT_EQ(cmd->PortIndex, 0u);
            QzReturnInternalCmdBuffer(adapter, cmd);
        }
        return posted;
    }

    Chip chip;
    MP_PORT port{};
    MP_ADAPTER* adapter = nullptr;
    PPCI_HIF_CONTEXT hif = nullptr;
    bool shortConfig = false;
};

class Hif : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        outstanding_ = kshim::host::PoolOutstandingBlocks();
    }
    void TearDown() override
    {
        EXPECT_EQ(kshim::host::PoolOutstandingBlocks(), outstanding_) << kshim::host::PoolLeakReport();
        EXPECT_EQ(kshim::host::MmioMappingCount(), 0u);
    }
    uint64_t outstanding_ = 0;
};

// ---- fixed windows, removal, all ones -------------------------------------------------------------------------
TEST_F(Hif, FixedWindowsReachTheChipRegisterOnBothGenerations)
{
    for (USHORT id : {0x3502, 0x3602}) {
        SCOPED_TRACE(testing::Message() << std::hex << id);
        Bus bus(id);
        bus.chip.Poke(0x7C0600F0, 3);
        EXPECT_EQ(bus.Read(0x7C0600F0), 3u);
        bus.Write(0x7C060010, 2);
        EXPECT_EQ(bus.chip.Peek(0x7C060010), 2u);
        // Below the identity limit a chip address is a BAR offset.
        bus.chip.Poke(0x7C027038, 0x4F);
        EXPECT_EQ(bus.Read(0xD7038), 0x4Fu);
        // All ones is a device gone: the value is still stored.
        bus.chip.Poke(0x7C0242F0, 0xFFFFFFFF);
        EXPECT_EQ(bus.Read(0x7C0242F0, STATUS_DEVICE_REMOVED), 0xFFFFFFFFu);
    }
}

TEST_F(Hif, RemovedAdapterOrUnmappedBarNeverTouchesTheDevice)
{
    Bus bus(0x3602);
    for (ULONG flag : {ADAPTER_FLAG_NOT_RESPONDING, ADAPTER_FLAG_SURPRISE_REMOVED}) {
        bus.adapter->Flags = static_cast<LONG>(flag);
        ULONG value = 7;
        EXPECT_EQ(NdisCommonHifPciReadReg(bus.hif, 0x7C0600F0, &value), STATUS_DEVICE_REMOVED);
        EXPECT_EQ(value, 7u);
        bus.Write(0x7C060010, 1, STATUS_DEVICE_REMOVED);
        UCHAR buffer[4];
        EXPECT_EQ(NdisCommonHifPciReadRegRange(bus.hif, 0x00400000, buffer, sizeof(buffer)), STATUS_DEVICE_REMOVED);
    }
    bus.adapter->Flags = 0;
    PUCHAR va = bus.hif->BarVa;
    bus.hif->BarVa = nullptr;
    bus.Read(0x7C0600F0, STATUS_DEVICE_REMOVED);
    bus.Write(0x7C060010, 1, STATUS_DEVICE_REMOVED);
    bus.hif->BarVa = va;
    EXPECT_TRUE(bus.chip.Transcript().empty());
    // Without a context.
    ULONG value = 0;
    EXPECT_EQ(NdisCommonHifPciReadReg(nullptr, 0x7C0600F0, &value), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(NdisCommonHifPciWriteReg(nullptr, 0x7C0600F0, 1), STATUS_DEVICE_REMOVED);
}

TEST_F(Hif, AWindowRowBeyondTheBarIsRefused)
{
    // The third generation's 32 MB row maps 0x7E000000 to BAR 0x1FA0000 + ..., past the 2 MB BAR.
    Bus bus(0x3602);
    bus.Read(0x7E4FFFF0, STATUS_UNSUCCESSFUL);
    bus.Write(0x7E4FFFF0, 1, STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(bus.chip.Transcript().empty());
}

// ---- movable windows of the third generation -----------------------------------------------------------------
struct WindowCase {
    ULONG address;
    bool l1;
    ULONG position;     // L1: the window position written to the select register
    ULONG chipAddress;  // the register the access reaches
};

const WindowCase kWindowCases[] = {
    {0x183F0000, true, 0x183F, 0x7C3F0000},
    {0x7C3F0000, true, 0x183F, 0x7C3F0000},
    {0xF0001234, true, 0xF000, 0xF0001234},
    {0x70034560, true, 0x7003, 0x70034560},
    {0x18C00000, false, 0, 0x18C00000},
    {0x60000000, false, 0, 0x60000000},
    {0x78000000, false, 0, 0x78000000},
};

TEST_F(Hif, ThirdGenerationAddressesOutsideTheFixedWindowsTakeTheirWindow)
{
    Bus bus(0x3602);
    constexpr ULONG kL1Select = 0x7C02100C;
    constexpr ULONG kL2Select = 0x830C0120;
    bus.chip.Poke(kL1Select, 0xABCD0000);  // the bits outside the position survive
    for (const WindowCase& c : kWindowCases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.address);
        bus.chip.ClearTranscript();
        bus.chip.Poke(c.chipAddress, 0x5A000000 | (c.address >> 12));
        EXPECT_EQ(bus.Read(c.address), 0x5A000000 | (c.address >> 12));
        bus.Write(c.address, 0x1234);
        EXPECT_EQ(bus.chip.Peek(c.chipAddress), 0x1234u);
        std::vector<uint64_t> select = bus.WritesTo(kL1Select);
        ASSERT_EQ(select.size(), 4u);  // positioned and restored, for the read and for the write
        EXPECT_EQ(select[1], 0xABCD0000u);
        if (c.l1) {
            EXPECT_EQ(select[0], 0xABCD0000u | c.position);
            EXPECT_TRUE(bus.WritesTo(kL2Select).empty());
        } else {
            EXPECT_EQ(select[0], 0xABCD1850u);  // the L1 window shows the L2 data port
            EXPECT_EQ(bus.WritesTo(kL2Select), (std::vector<uint64_t>{c.address, c.address}));
        }
        EXPECT_EQ(bus.chip.Peek(kL1Select), 0xABCD0000u);
    }
}

TEST_F(Hif, RangeReadMovesTheL2WindowIn64KbSteps)
{
    Bus bus(0x3601);
    constexpr ULONG kStart = 0x00400000;
    for (ULONG offset = 0; offset < 0x18000; offset += 4) {
        bus.chip.Poke(kStart + offset, offset * 0x01010101u);
    }
    std::vector<UCHAR> buffer(0x18000, 0xEE);
    ASSERT_EQ(NdisCommonHifPciReadRegRange(bus.hif, kStart, buffer.data(), 0x18000), STATUS_SUCCESS);
    for (ULONG offset = 0; offset < 0x18000; offset += 4) {
        ULONG word;
        std::memcpy(&word, &buffer[offset], 4);
        ASSERT_EQ(word, offset * 0x01010101u) << std::hex << offset;
    }
    EXPECT_EQ(bus.WritesTo(0x830C0120), (std::vector<uint64_t>{kStart, kStart + 0x10000}));
    EXPECT_EQ(bus.chip.Peek(0x7C09500C), 0u);  // the L1 select register restored

    // 13 bytes: one eight-byte read and five single bytes, the rest of the buffer untouched.
    bus.chip.ClearTranscript();
    std::vector<UCHAR> small(16, 0xEE);
    ASSERT_EQ(NdisCommonHifPciReadRegRange(bus.hif, kStart + 8, small.data(), 13), STATUS_SUCCESS);
    std::vector<unsigned> widths;
    for (const Access& a : bus.chip.Transcript()) {
        if (!a.write && a.offset >= 0x60000 && a.offset < 0x70000) {
            widths.push_back(a.width);
        }
    }
    EXPECT_EQ(widths, (std::vector<unsigned>{8, 1, 1, 1, 1, 1}));
    ULONG first;
    std::memcpy(&first, small.data(), 4);
    EXPECT_EQ(first, 8u * 0x01010101u);
    EXPECT_EQ(small[12], static_cast<UCHAR>(20u * 0x01010101u));
    EXPECT_EQ(small[13], 0xEE);
}

TEST_F(Hif, SecondGenerationHasNoMovableWindows)
{
    Bus bus(0x3502);
    // An address no fixed window covers needs the legacy window, which this chip cannot reach.
    bus.Read(0x12345678, STATUS_UNSUCCESSFUL);
    bus.Write(0x12345678, 1, STATUS_UNSUCCESSFUL);
    std::vector<UCHAR> buffer(8, 0xEE);
    EXPECT_EQ(NdisCommonHifPciReadRegRange(bus.hif, 0x00400000, buffer.data(), 8), STATUS_SUCCESS);
    EXPECT_EQ(buffer, std::vector<UCHAR>(8, 0xEE));
    EXPECT_TRUE(bus.chip.Transcript().empty());
}

TEST_F(Hif, OlderChipReachesUnmappedAddressesThroughTheLegacyWindow)
{
    Bus bus(0x3404);
    bus.Read(0x81234568);
    bus.Write(0x81234568, 0xBEEF);
    // The select register (BAR 0x2504) holds the 512 KB block, and the word's BAR offset inside the
    // window is accessed, for the read and for the write.
    EXPECT_EQ(bus.WritesTo(0x80000504), (std::vector<uint64_t>{0x81200000, 0x81200000}));
    unsigned reads = 0;
    unsigned writes = 0;
    for (const Access& a : bus.chip.Transcript()) {
        if (a.offset == 0xB4568) {
            (a.write ? writes : reads) += 1;
            EXPECT_EQ(a.write ? a.value : 0xBEEFu, 0xBEEFu);
        }
    }
    EXPECT_EQ(reads, 1u);
    EXPECT_EQ(writes, 1u);
}

// ---- configuration space ------------------------------------------------------------------------------------------
TEST_F(Hif, ConfigurationWordsThroughTheBusInterface)
{
    Bus bus(0x3602);
    EXPECT_EQ(NdisCommonHifPciReadConfigurationSpace(bus.adapter, 0), 0x36021E7Au);
    NdisCommonHifPciWriteConfigurationSpace(bus.adapter, 0x10C, 0x10031003);
    EXPECT_EQ(bus.chip.Config32(0x10C), 0x10031003u);
    bus.shortConfig = true;
    EXPECT_EQ(NdisCommonHifPciReadConfigurationSpace(bus.adapter, 0), PCI_CONFIG_READ_FAILED);
}

// ---- the facade ---------------------------------------------------------------------------------------------------
TEST_F(Hif, TwentyFailingReadsAskForRecoveryAndASuccessStartsTheCountAgain)
{
    Bus bus(0x3502);
    bus.chip.Poke(0x7C0600F0, 1);
    auto fail = [&](unsigned n) {
        for (unsigned i = 0; i < n; ++i) {
            ULONG value = 5;
            ASSERT_EQ(HifIoRead32(bus.adapter, 0x7C0600F0, &value), STATUS_DEVICE_REMOVED);
            ASSERT_EQ(value, 0xFFFFFFFFu);
        }
    };
    bus.chip.SetGone(true);
    fail(19);
    EXPECT_TRUE(bus.Posted().empty());
    bus.chip.SetGone(false);
    ULONG value = 0;
    EXPECT_EQ(HifIoRead32(bus.adapter, 0x7C0600F0, &value), STATUS_SUCCESS);
    EXPECT_EQ(bus.adapter->Recovery.IoErrorCount, 0u);

    bus.chip.SetGone(true);
    fail(19);
    EXPECT_TRUE(bus.Posted().empty());
    fail(1);
    using Post = std::pair<ULONG, ULONG>;
    EXPECT_EQ(bus.Posted(), (std::vector<Post>{{INTERNAL_CMD_ERROR_RECOVERY, RECOVERY_IO_FAIL}}));
    // A device that stays unreadable asks again at 1000 failures in a row, where the count restarts,
    // so at 1020, 2000, 2020, ... too.
    unsigned previous = 20;
    for (unsigned total : {1000u, 1020u, 2000u, 2020u}) {
        SCOPED_TRACE(total);
        fail(total - previous - 1);
        previous = total;
        EXPECT_TRUE(bus.Posted().empty());
        fail(1);
        EXPECT_EQ(bus.Posted(), (std::vector<Post>{{INTERNAL_CMD_ERROR_RECOVERY, RECOVERY_IO_FAIL}}));
    }
    // Writes are not counted.
    EXPECT_EQ(HifIoWrite32(bus.adapter, 0x7C060010, 1), STATUS_SUCCESS);
}

TEST_F(Hif, DriverOwnFailureAsksForRecoveryOnlyOnceRunning)
{
    kshim::host::ClockSetManual();
    Bus bus(0x3602);
    // A chip in firmware own that never answers the driver-own request.
    bus.adapter->LowPower.FwOwn[0] = 1;
    bus.chip.Poke(0x7C060010, 0x4);
    bus.chip.SetDriverOwnLatency(sim::chip::Latency::Never());
    EXPECT_FALSE(NT_SUCCESS(NdisCommonHifPmSetDriverOwn(bus.adapter)));
    EXPECT_TRUE(bus.Posted().empty());
    bus.adapter->Running = 1;
    EXPECT_FALSE(NT_SUCCESS(NdisCommonHifPmSetDriverOwn(bus.adapter)));
    using Post = std::pair<ULONG, ULONG>;
    EXPECT_EQ(bus.Posted(), (std::vector<Post>{{INTERNAL_CMD_ERROR_RECOVERY, RECOVERY_DRIVER_OWN_FAIL}}));
}

TEST_F(Hif, InterruptCallsOfAChipWithoutThemReportSuccess)
{
    Bus bus(0x3405);
    EXPECT_EQ(NdisCommonHifEnableInterrupt(bus.hif), STATUS_SUCCESS);
    EXPECT_EQ(NdisCommonHifDisableInterrupt(bus.hif), STATUS_SUCCESS);
    EXPECT_TRUE(bus.chip.Transcript().empty());
    EXPECT_TRUE(NdisCommonHifCapabilitySupported(bus.adapter));
}

TEST_F(Hif, TraceHookRunsOnlyWithTheMonitorOn)
{
    kshim::host::TraceSetLevel(TRACE_LEVEL_VERBOSE);
    Bus bus(0x3502);
    ULONG value = 0;
    kshim::host::TraceClear();
    // A register of the traced block, and the same register by its BAR offset.
    (void)HifIoRead32(bus.adapter, 0x820E0010, &value);
    (void)HifIoRead32(bus.adapter, 0x20010, &value);
    EXPECT_FALSE(kshim::host::TraceContains("register access"));
    bus.adapter->RegistryBlock.MmioMonitorEn = 1;
    (void)HifIoRead32(bus.adapter, 0x820E0010, &value);
    (void)HifIoRead32(bus.adapter, 0x20010, &value);
    EXPECT_TRUE(kshim::host::TraceContains("register access 0x820E0010 (chip 0x820E0010)"));
    EXPECT_TRUE(kshim::host::TraceContains("register access 0x00020010 (chip 0x820E0010)"));
}

// ---- the chip layer over the bus ------------------------------------------------------------------------------
TEST_F(Hif, HardwareVersionThroughTheVersionWindow)
{
    {
        Bus bus(0x3502);
        bus.chip.Poke(0x7C00E260, 0x00001234);
        bus.chip.Poke(0x70010200, 0x55668A02);
        bus.chip.Poke(0x70010020, 0x00000080);
        ASSERT_EQ(HalQueryHwVersion(bus.adapter), STATUS_SUCCESS);
        EXPECT_EQ(bus.adapter->HwVersion, 0x8A02u);
        EXPECT_EQ(bus.adapter->HwIdentity, 0x80u);
        EXPECT_EQ(bus.WritesTo(0x7C00E260), (std::vector<uint64_t>{0x18007001, 0x1234}));
    }
    {
        Bus bus(0x3603);
        bus.chip.Poke(0x7C021000, 0x00000042);
        bus.chip.Poke(0x70010200, 0x00013602);
        bus.chip.Poke(0x70010020, 0x00000007);
        ASSERT_EQ(HalQueryHwVersion(bus.adapter), STATUS_SUCCESS);
        EXPECT_EQ(bus.adapter->HwVersion, 0x3602u);
        EXPECT_EQ(bus.adapter->HwIdentity, 7u);
        EXPECT_EQ(bus.chip.Peek(0x7C021000), 0x42u);
    }
    {
        Bus bus(0x3404);
        bus.chip.Poke(0x80021008, 0x12343404);
        bus.chip.Poke(0x80021004, 0x00000101);
        bus.chip.Poke(0x80021000, 0x00000099);
        ASSERT_EQ(HalQueryHwVersion(bus.adapter), STATUS_SUCCESS);
        EXPECT_EQ(bus.adapter->HwVersion, 0x3404u);
        EXPECT_EQ(bus.adapter->RomVersion, 1u);
        EXPECT_EQ(bus.adapter->HwIdentity, 0x99u);
        // A version register reading all ones is a device gone: nothing stored.
        bus.chip.Poke(0x80021008, 0xFFFFFFFF);
        bus.chip.Poke(0x80021004, 0x00000005);
        EXPECT_EQ(HalQueryHwVersion(bus.adapter), STATUS_NO_SUCH_DEVICE);
        EXPECT_EQ(bus.adapter->RomVersion, 1u);
    }
}

TEST_F(Hif, ThirdGenerationRomVersionUnlessTheConfigurationGaveIt)
{
    Bus bus(0x3602);
    bus.chip.Poke(0x88000004, 0x00001A2B);
    HalQueryRomVersion(bus.adapter);
    EXPECT_EQ(bus.adapter->RomVersion, 0x2Bu);
    bus.chip.ClearTranscript();
    bus.adapter->RegistryBlock.RomVer = 2;
    bus.adapter->RomVersion = 1;  // "RomVer" - 1, stored by the configuration reader
    HalQueryRomVersion(bus.adapter);
    EXPECT_EQ(bus.adapter->RomVersion, 1u);
    EXPECT_TRUE(bus.chip.Transcript().empty());
}

TEST_F(Hif, ChipSelectionSetsRingNumbersAndResetsRecovery)
{
    struct RingCase {
        USHORT deviceId;
        UCHAR download, command, data1;
        UCHAR serEnabled;
    };
    for (const RingCase& c : {RingCase{0x3502, 16, 17, 1, 1}, RingCase{0x3503, 16, 15, 1, 1},
                              RingCase{0x0C04, 16, 15, 1, 1}, RingCase{0x3404, 3, 15, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << std::hex << c.deviceId);
        Bus bus(c.deviceId);
        bus.adapter->Recovery.SerState = 2;
        bus.adapter->Recovery.FwRecoveryState = 2;
        bus.adapter->Recovery.FwRecoveryCount = 3;
        HalRegisterChip(bus.adapter);
        EXPECT_EQ(bus.hif->HwRingDownload, c.download);
        EXPECT_EQ(bus.hif->HwRingCommand, c.command);
        EXPECT_EQ(bus.hif->HwRingData0, 0);
        EXPECT_EQ(bus.hif->HwRingData1, c.data1);
        EXPECT_EQ(bus.adapter->Recovery.SerEnabled, c.serEnabled);
        bool reset = c.deviceId != 0x3404;
        EXPECT_EQ(bus.adapter->Recovery.SerState, reset ? 0 : 2);
        EXPECT_EQ(bus.adapter->Recovery.FwRecoveryState, reset ? 0 : 2);
        EXPECT_EQ(bus.adapter->Recovery.FwRecoveryCount, reset ? 0u : 3u);
    }
}

TEST_F(Hif, ThirdGenerationCommandPrefixShrinksOnceTheFirmwareRuns)
{
    Bus bus(0x3601);
    EXPECT_EQ(bus.adapter->HalOps.CmdTxdLength(bus.adapter), 64u);
    bus.adapter->FwDownloaded = 1;
    EXPECT_EQ(bus.adapter->HalOps.CmdTxdLength(bus.adapter), 48u);
}

}  // namespace
