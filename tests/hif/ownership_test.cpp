// Driver and firmware ownership against a simulated chip: an owned chip is left alone, a hand-over
// that the chip answers, firmware own, and the time-outs of a chip that never answers on each
// generation and mode, a halt during the poll and the older chip's attempt bound.
#include <gtest/gtest.h>

#include <atomic>

#include "hal/chips/qzarvel2x.h"
#include "hif_support.h"
#include "kshim/host/pci_device.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "support/crossings.h"

namespace {

using hiftest::CountTraces;
using hiftest::Device;
using sim::chip::Latency;

constexpr ULONG kLowPower = 0x7C060010;

class Ownership : public Device {
protected:
    // A prepared chip in firmware own, as the driver knows it.
    void PrepareInFirmwareOwn(USHORT deviceId, UCHAR zizi)
    {
        Prepare(deviceId);
        adapter_->RegistryBlock.ZiziSolution = zizi;
        UCHAR done = 0;
        adapter_->HalOps.SetFwOwn(adapter_, &done);
        ASSERT_EQ(done, 1);
        ASSERT_TRUE(chip_->FirmwareOwns());
        adapter_->LowPower.FwOwn[0] = 1;
        chip_->ClearTranscript();
    }
    NTSTATUS DriverOwn() { return adapter_->HalOps.HifPciPmSetDriverOwn(adapter_); }
    size_t OwnRequests() { return Writes(kLowPower, 2); }
};

TEST_F(Ownership, AnOwnedChipIsLeftAlone)
{
    for (USHORT id : {USHORT{0x3502}, USHORT{0x3602}}) {
        SCOPED_TRACE(id);
        Prepare(id);
        LONG balance = adapter_->LowPower.OwnCallBalance;
        EXPECT_EQ(DriverOwn(), STATUS_SUCCESS);
        EXPECT_EQ(adapter_->LowPower.OwnCallBalance, balance + 1);
        EXPECT_TRUE(chip_->AccessesTo(kLowPower).empty());
        // Giving ownership back and taking it again.
        UCHAR done = 0;
        adapter_->HalOps.SetFwOwn(adapter_, &done);
        EXPECT_EQ(done, 1);
        EXPECT_TRUE(chip_->FirmwareOwns());
        adapter_->LowPower.FwOwn[0] = 1;
        adapter_->LowPower.FwOwn[1] = 7;
        chip_->SetDriverOwnLatency(Latency::Milliseconds(5));
        EXPECT_EQ(NdisCommonHifPmSetDriverOwn(adapter_), STATUS_SUCCESS);
        EXPECT_EQ(adapter_->LowPower.FwOwn[0], 0);
        EXPECT_EQ(adapter_->LowPower.FwOwn[1], 0);
        EXPECT_FALSE(chip_->FirmwareOwns());
        EXPECT_EQ(chip_->DriverOwnGrants(), 1u);
        Stop();
        os_.Remove(device_);
        device_ = nullptr;
        adapter_ = nullptr;
    }
}

TEST_F(Ownership, LowPowerSettingsComeBackOnlyWithoutBatteryLifeImprove)
{
    Prepare(0x3502);
    adapter_->LowPower.LowPowerRestore = 1;
    kshim::host::TraceClear();
    EXPECT_EQ(DriverOwn(), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->LowPower.LowPowerRestore, 1);
    EXPECT_EQ(qzltest::NotBuiltCalls("AsicPcieMacL1ssEnable"), 0u);
    adapter_->RegistryBlock.BatteryLifeImprove = 0;
    EXPECT_EQ(DriverOwn(), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->LowPower.LowPowerRestore, 0);
    EXPECT_EQ(qzltest::NotBuiltCalls("AsicPcieMacL1ssEnable"), 1u);
    EXPECT_TRUE(chip_->AccessesTo(kLowPower).empty());
}

TEST_F(Ownership, EnsureDriverOwnAsksOnceOrClearsTheFlag)
{
    Prepare(0x3602);
    adapter_->LowPower.FwOwn[0] = 1;
    EXPECT_EQ(NdisCommonHifEnsureDriverOwn(adapter_), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->LowPower.FwOwn[0], 0);
    EXPECT_EQ(Writes(kLowPower), 0u);
    UCHAR done = 0;
    adapter_->HalOps.SetFwOwn(adapter_, &done);
    chip_->SetDriverOwnLatency(Latency::Never());
    chip_->ClearTranscript();
    EXPECT_EQ(NdisCommonHifEnsureDriverOwn(adapter_), STATUS_SUCCESS);
    EXPECT_EQ(Writes(kLowPower, 2), 1u);
}

// ---- a chip that never answers ------------------------------------------------------------------------------
struct TimeoutCase {
    USHORT deviceId;
    UCHAR zizi;
    bool atDispatch;       // the deferred routine's level (the poll then busy-waits)
    int64_t ms;            // how long the poll lasts (500 attempts: 499 waits of 1 ms)
    size_t minRequests;    // driver-own requests: the first and one every 200 ms
    size_t maxRequests;
    const char* dump;
};

class OwnershipTimeout : public Ownership, public ::testing::WithParamInterface<TimeoutCase> {};

INSTANTIATE_TEST_SUITE_P(Modes, OwnershipTimeout,
                         ::testing::Values(TimeoutCase{0x3502, 0, false, 499, 3, 3, "qz3502_show_debug_sop_info"},
                                           TimeoutCase{0x3502, 1, true, 499, 3, 3, "qz3502_show_debug_sop_info"},
                                           TimeoutCase{0x3602, 1, false, 2000, 10, 11, "qz3602_show_debug_sop_info"},
                                           TimeoutCase{0x3602, 0, true, 2000, 10, 11, "qz3602_show_debug_sop_info"}));

TEST_P(OwnershipTimeout, GivesUpAfterItsBoundReRequestingEvery200Ms)
{
    const TimeoutCase& c = GetParam();
    PrepareInFirmwareOwn(c.deviceId, c.zizi);
    chip_->SetDriverOwnLatency(Latency::Never());
    kshim::host::ClockSetManual();
    kshim::host::TraceClear();
    int64_t start = kshim::host::ClockNow();
    KIRQL old = PASSIVE_LEVEL;
    if (c.atDispatch) {
        KeRaiseIrql(DISPATCH_LEVEL, &old);
    }
    NTSTATUS status = DriverOwn();
    if (c.atDispatch) {
        KeLowerIrql(old);
    }
    int64_t elapsedMs = (kshim::host::ClockNow() - start) / 10000;
    EXPECT_EQ(status, STATUS_UNSUCCESSFUL);
    EXPECT_GE(elapsedMs, c.ms);
    EXPECT_LE(elapsedMs, c.ms + 10);
    EXPECT_GE(OwnRequests(), c.minRequests);
    EXPECT_LE(OwnRequests(), c.maxRequests);
    EXPECT_EQ(adapter_->LowPower.FwOwn[0], 1);  // the next call tries again
    EXPECT_EQ(adapter_->LowPower.OwnInProgress, 0);
    EXPECT_EQ(qzltest::NotBuiltCalls(c.dump), 1u);
    kshim::host::ClockSetAuto();
}

TEST_F(Ownership, AHaltDuringTheThirdGenerationPollEndsIt)
{
    PrepareInFirmwareOwn(0x3602, 1);
    chip_->SetDriverOwnLatency(Latency::Never());
    kshim::host::ClockSetManual();
    std::atomic<int> reads{0};
    MP_ADAPTER* adapter = adapter_;
    chip_->SetReadHook(kLowPower, [&reads, adapter](sim::chip::RegisterFile& r, uint32_t address) {
        if (++reads == 5) {
            AdapterSetFlagUnlocked(adapter, ADAPTER_FLAG_SURPRISE_REMOVED);
        }
        return r.Get(address);
    });
    int64_t start = kshim::host::ClockNow();
    EXPECT_EQ(DriverOwn(), STATUS_UNSUCCESSFUL);
    EXPECT_LE((kshim::host::ClockNow() - start) / 10000, 5);
    EXPECT_EQ(reads.load(), 5);
    // A halting adapter is refused at once.
    EXPECT_EQ(DriverOwn(), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(reads.load(), 5);
    chip_->ClearHooks(kLowPower);
    AdapterClearFlag(adapter_, ADAPTER_FLAG_SURPRISE_REMOVED, __func__);
    kshim::host::ClockSetAuto();
}

TEST(OlderChipOwnership, AtMostFiftyAttempts)
{
    kshim::host::ResetDefaults();
    kshim::host::ClockSetManual();
    sim::chip::Chip chip(0x3404);
    constexpr uint64_t kBar = 0xD0000000;
    ASSERT_TRUE(kshim::host::PciAttach(&chip, kBar));
    auto* adapter = new MP_ADAPTER();
    adapter->DeviceId = 0x3404;
    ASSERT_EQ(Ndis6CommonAllocAdapterBlock(adapter), STATUS_SUCCESS);
    NdisCommonSpinLockInit(adapter);
    HalRegisterChip(adapter);
    PPCI_HIF_CONTEXT hif = adapter->HifContext;
    hif->Adapter = adapter;
    hif->BarLength = static_cast<ULONG>(chip.BarSize(0));
    PHYSICAL_ADDRESS start;
    start.QuadPart = static_cast<LONGLONG>(kBar);
    hif->BarVa = static_cast<PUCHAR>(MmMapIoSpaceEx(start, hif->BarLength, PAGE_READWRITE | PAGE_NOCACHE));
    // The firmware owns the chip and never lets go. The low-power register is BAR offset 0x7000.
    const uint32_t lowPower = chip.Decode(0x7000).value();
    chip.SetReadHook(lowPower, [](sim::chip::RegisterFile&, uint32_t) { return 1u; });
    adapter->LowPower.FwOwn[0] = 1;
    chip.ClearTranscript();
    EXPECT_EQ(adapter->HalOps.HifPciPmSetDriverOwn(adapter), STATUS_UNSUCCESSFUL);
    size_t reads = 0;
    size_t requests = 0;
    for (const sim::chip::Access& a : chip.AccessesTo(lowPower)) {
        reads += a.write ? 0 : 1;
        requests += a.write && a.value == 2 ? 1 : 0;
    }
    EXPECT_EQ(requests, 1u);
    EXPECT_EQ(reads, 51u);  // the request's read and 50 polls
    // Firmware own and the ensure step on the older chip's register.
    UCHAR done = 0;
    adapter->HalOps.SetFwOwn(adapter, &done);
    EXPECT_EQ(done, 1);
    chip.ClearHooks(lowPower);
    chip.Poke(lowPower, 0);
    EXPECT_EQ(adapter->HalOps.EnsureDriverOwn(adapter), STATUS_SUCCESS);
    EXPECT_EQ(adapter->LowPower.FwOwn[0], 0);
    (void)NdisCommonHifIoSpaceUnmap(adapter);
    NdisCommonDeallocateAllSpinLock(adapter);
    Ndis6CommonDeallocAdapterBlock(adapter);
    delete adapter;
    kshim::host::PciDetach(&chip);
    kshim::host::ResetDefaults();
}

}  // namespace
