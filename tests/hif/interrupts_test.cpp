// The interrupt path against a simulated chip: the chip raises each status bit its generation serves
// and the deferred routine calls the matching handler, acknowledges and unmasks; a held receive bit;
// a suspended adapter; a chip that reads all ones; PCIe errors, firmware asserts and firmware
// requests that ask for recovery.
#include <gtest/gtest.h>

#include "hif_support.h"

namespace {

using hiftest::CountTraces;
using hiftest::Device;
using hiftest::WaitFor;

constexpr ULONG kHostStatus = 0x7C024200;
constexpr ULONG kHostEnable = 0x7C024204;

enum class Source { Host, Software, Mac };

// The interrupt path changes these on its own thread.
template <typename T>
T Load(const T& value)
{
    return __atomic_load_n(&value, __ATOMIC_ACQUIRE);
}

struct BitCase {
    Source source;
    uint32_t bits;
    const char* handled;  // the trace of the handler the bit reaches
};

class Interrupts : public Device {
protected:
    void StartChip(USHORT deviceId)
    {
        Prepare(deviceId);
        Start();
        kshim::host::TraceClear();
    }
    void Raise(Source source, uint32_t bits)
    {
        switch (source) {
        case Source::Host: chip_->RaiseHostStatus(bits); break;
        case Source::Software: chip_->RaiseSoftwareInterrupt(bits); break;
        case Source::Mac: chip_->RaiseMacStatus(bits); break;
        }
    }
    bool Unmasked() { return chip_->Peek(kHostEnable) != 0; }
    // Raises, waits for the handler's trace and the unmask at the end of the deferred routine.
    void Serve(const BitCase& c)
    {
        SCOPED_TRACE(c.handled);
        kshim::host::TraceClear();
        Raise(c.source, c.bits);
        EXPECT_TRUE(WaitFor([&] { return CountTraces(c.handled) != 0 && Unmasked(); }));
        EXPECT_TRUE(WaitFor([&] { return chip_->Peek(kHostStatus) == 0; }));
        EXPECT_EQ(CountTraces(c.handled), 1u);
    }
};

TEST_F(Interrupts, EverySecondGenerationBitReachesItsHandler)
{
    StartChip(0x3502);
    const BitCase cases[] = {
        {Source::Host, 0x00000001, "receive ring 1 done"},
        {Source::Host, 0x00000004, "receive ring 0 done"},
        {Source::Host, 0x00400000, "receive ring 2 done"},
        {Source::Host, 0x04000000, "command ring 3 done (unified 0)"},
        {Source::Host, 0x08000000, "command ring 2 done (unified 0)"},
        // The DMA error bit is not enabled: it is served with the next enabled bit.
        {Source::Host, 0x00100001, "qz3501_show_rx_ring_info is not built yet"},
        {Source::Software, 0x00000004, "SerStepHandler: "},
    };
    for (const BitCase& c : cases) {
        Serve(c);
    }
    EXPECT_EQ(chip_->Peek(kHostEnable), 0x2CC0000Du);
    EXPECT_EQ(chip_->Peek(0x7C0241F0), 0u);
    EXPECT_TRUE(Posted().empty());
}

TEST_F(Interrupts, EveryThirdGenerationBitReachesItsHandler)
{
    StartChip(0x3602);
    // The firmware enables its SER step bits (the driver enables only the log bit).
    chip_->Poke(0x7C0241F4, chip_->Peek(0x7C0241F4) | 0x3C);
    const BitCase cases[] = {
        {Source::Host, 0x00001000, "receive ring 0 done"},
        {Source::Host, 0x00004000, "receive ring 1 done"},
        {Source::Host, 0x00008000, "receive ring 2 done"},
        {Source::Host, 0x02000000, "command ring 2 done (unified 0)"},
        {Source::Host, 0x04000000, "command ring 3 done (unified 0)"},
        {Source::Software, 0x00000008, "SerStepHandler: "},
    };
    for (const BitCase& c : cases) {
        Serve(c);
    }
    // Once the firmware runs the command ring reports in the unified format.
    adapter_->FwDownloaded = 1;
    Serve({Source::Host, 0x02000000, "command ring 2 done (unified 1)"});
    // The firmware log bit: the log thread gets a poll request.
    kshim::host::TraceClear();
    Raise(Source::Software, 0x8000);
    EXPECT_TRUE(WaitFor([&] { return Load(adapter_->FwLogPending) == 1 && Unmasked(); }));
    PINTERNAL_CMD poll = QzDequeueCmdQueueLocked(&adapter_->Cmd.FwLogQueue);
    ASSERT_NE(poll, nullptr);
    EXPECT_EQ(poll->CmdId, 0x10000045u);
    QzReturnFWLogHandlerCmdBuffer(adapter_, poll);
    EXPECT_EQ(chip_->Peek(kHostEnable), 0x2600F000u);
    EXPECT_TRUE(Posted().empty());
}

TEST_F(Interrupts, AHeldReceiveBitIsServedByALaterInterrupt)
{
    StartChip(0x3502);
    chip_->SetReassertOnUnmask(false);
    // Receive pool 0 runs dry: ring 0's bit stays pending in the chip, unacknowledged.
    std::vector<PRX_DMAQ_DESC> taken;
    while (PRX_DMAQ_DESC r = RxDmaqAlloc(adapter_, 0)) {
        taken.push_back(r);
    }
    Raise(Source::Host, 0x4);
    ASSERT_TRUE(WaitFor([&] { return CountTraces("interrupt status 0x00000000") != 0 && Unmasked(); }));
    EXPECT_EQ(CountTraces("receive ring 0 done"), 0u);
    EXPECT_EQ(chip_->Peek(kHostStatus), 0x4u);
    // A record comes back; the next interrupt serves the held bit with its own.
    RxDmaqFree(adapter_, taken.back());
    taken.pop_back();
    Serve({Source::Host, 0x1, "receive ring 1 done"});
    EXPECT_EQ(CountTraces("receive ring 0 done"), 1u);
    for (PRX_DMAQ_DESC r : taken) {
        RxDmaqFree(adapter_, r);
    }
}

class SuspendedInterrupts : public Interrupts, public ::testing::WithParamInterface<USHORT> {};

INSTANTIATE_TEST_SUITE_P(Generations, SuspendedInterrupts, ::testing::Values<USHORT>(0x3502, 0x3602));

TEST_P(SuspendedInterrupts, ASuspendedAdapterAcknowledgesButStaysMasked)
{
    StartChip(GetParam());
    AdapterSetFlag(adapter_, ADAPTER_FLAG_PCI_SUSPENDED, __func__);
    Raise(Source::Host, GetParam() == 0x3502 ? 0x1 : 0x4000);
    EXPECT_TRUE(WaitFor([&] { return CountTraces("suspended: interrupts stay masked") != 0; }));
    EXPECT_EQ(chip_->Peek(kHostStatus), 0u);
    EXPECT_EQ(chip_->Peek(kHostEnable), 0u);
    AdapterClearFlag(adapter_, ADAPTER_FLAG_PCI_SUSPENDED, __func__);
}

TEST_F(Interrupts, AChipThatReadsAllOnesIsTreatedAsGone)
{
    StartChip(0x3502);
    chip_->SetGone(true);
    chip_->RaiseHostStatus(0x1);
    EXPECT_TRUE(WaitFor([&] { return AdapterTestFlags(adapter_, ADAPTER_FLAG_NOT_RESPONDING); }));
    EXPECT_TRUE(WaitFor([&] { return CountTraces("the device is gone") == 1; }));
    ULONG value = 0;
    EXPECT_EQ(HifIoRead32(adapter_, 0x7C024200, &value), STATUS_DEVICE_REMOVED);
    EXPECT_EQ(CountTraces("receive ring"), 0u);
    chip_->SetGone(false);
}

TEST_F(Interrupts, AThirdGenerationHandlerFailureLeavesInterruptsMasked)
{
    StartChip(0x3602);
    chip_->ClearTranscript();
    chip_->SetGone(true);
    chip_->RaiseHostStatus(0x4000);
    EXPECT_TRUE(WaitFor([&] { return CountTraces("interrupts stay masked") == 1; }));
    EXPECT_EQ(CountTraces("interrupt status reads all ones"), 1u);
    // The third generation sets no flag: the device is left to the I/O-error count.
    EXPECT_FALSE(AdapterTestFlags(adapter_, ADAPTER_FLAG_NOT_RESPONDING));
    chip_->SetGone(false);
    EXPECT_EQ(Writes(0x7C024228), 0u);
}

TEST_F(Interrupts, FaultsAskForRecovery)
{
    StartChip(0x3502);
    // A firmware assert asks for firmware recovery once until the recovery clears the pending pair.
    for (int i = 0; i < 2; ++i) {
        kshim::host::TraceClear();
        Raise(Source::Software, 0x8000);
        ASSERT_TRUE(WaitFor([&] { return Load(adapter_->FwAssertCount) == static_cast<ULONG>(i + 1) && Unmasked(); }));
    }
    EXPECT_EQ(Posted(), (std::vector<std::pair<ULONG, ULONG>>{{0x10000043u, 0u}}));
    EXPECT_EQ(Load(adapter_->Recovery.IntRecoveryPending[0]), 1);
    // A PCIe error is counted and asks for recovery too (still pending: not posted again).
    Raise(Source::Mac, 0x100);
    ASSERT_TRUE(WaitFor([&] { return Load(adapter_->PcieErrorCount) == 1 && Unmasked(); }));
    EXPECT_TRUE(Posted().empty());
    EXPECT_EQ(chip_->Peek(0x7403018C), 0u);
}

TEST_F(Interrupts, ThirdGenerationPcieErrorAndFirmwareRequestAskForRecovery)
{
    StartChip(0x3602);
    Raise(Source::Mac, 0x10000);
    ASSERT_TRUE(WaitFor([&] { return Load(adapter_->PcieErrorCount) == 1 && CountTraces("interrupts stay masked") == 1; }));
    EXPECT_EQ(Posted(), (std::vector<std::pair<ULONG, ULONG>>{{0x10000044u, 1u}}));
    EXPECT_EQ(chip_->Peek(kHostEnable), 0u);
    // Unmasked again, as a recovery would leave it: the firmware asks for recovery kind 3 through
    // the host communication status, which is acknowledged by writing it back.
    adapter_->HalOps.EnableInterrupt(adapter_);
    chip_->Poke(0x7C03D010, 0x2);
    chip_->ClearTranscript();
    Raise(Source::Mac, 0x100000);
    std::vector<std::pair<ULONG, ULONG>> posted;
    EXPECT_TRUE(WaitFor([&] {
        for (const auto& p : Posted()) {
            posted.push_back(p);
        }
        return !posted.empty() && Unmasked();
    }));
    EXPECT_EQ(posted, (std::vector<std::pair<ULONG, ULONG>>{{0x10000044u, 3u}}));
    EXPECT_EQ(Writes(0x7C03D014, 0x2), 1u);
}

}  // namespace
