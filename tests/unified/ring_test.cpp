// The unified command path end to end on a simulated 0x3602 whose RAM code runs: the send call
// translates the third generation's post-download commands, the command thread puts them on the
// command ring, the simulated RAM code takes them off, answers on the event ring, and the receive
// ring service hands the unified answers to the unified dispatch, which completes the waiting
// commands; the rest complete by the unified sent report.
#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "fw/unified_cmd.h"
#include "fw/unified_ram.h"
#include "fwcmd/ring_fixture.h"

namespace unifiedtest {
namespace {

using Bytes = std::vector<uint8_t>;
using hiftest::WaitFor;

class UnifiedRing : public fwcmdtest::RingDevice {
protected:
    // Brings the rings up and lets the RAM code take the command ring over from the boot ROM.
    void BringInRam()
    {
        Bring(0x3602);
        if (HasFailure()) {
            return;
        }
        adapter_->FwDownloaded = 1;
        const sim::chip::RingMap& map = chip_->rings();
        const unsigned events = map.RxRing(sim::chip::RxRole::Events);
        chip_->SetTxConsumer(map.TxRing(sim::chip::TxRole::Command), [this, events](const sim::chip::TxBuffer& b) {
            std::lock_guard<std::mutex> lock(mutex_);
            sim::fw::UnifiedAnswer answer = ram_.Consume(b.data, b.length);
            notes_.push_back(answer.note);
            for (const Bytes& event : answer.events) {
                EXPECT_EQ(chip_->PushRx(events, event.data(), event.size()), sim::chip::RxResult::Ok);
            }
        });
    }

    NTSTATUS SendEx(UCHAR cmdId, UCHAR extCmdId, UCHAR setQuery, UCHAR flags, Bytes payload)
    {
        return QzCmdSendSetQuery(&port_, cmdId, FW_CMD_CLASS_NORMAL, extCmdId, setQuery, flags,
                                 payload.empty() ? nullptr : payload.data(), static_cast<USHORT>(payload.size()),
                                 nullptr, 0, 0);
    }

    sim::fw::UnifiedRamRecord Record()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return ram_.Record();
    }

    std::mutex mutex_;
    sim::fw::UnifiedRamFirmware ram_;
    std::vector<std::string> notes_;
};

Bytes ChipConfigText(const std::string& text)
{
    Bytes p(328, 0);
    p[4] = static_cast<uint8_t>(text.size());
    std::copy(text.begin(), text.end(), p.begin() + 8);
    return p;
}

TEST_F(UnifiedRing, PostDownloadCommandsOfThe3602GoOutUnifiedAndComplete)
{
    BringInRam();
    ASSERT_FALSE(HasFailure());
    // Capability query: waits for its report (event 0x43).
    EXPECT_EQ(SendEx(0x8A, 0, 0, 5, {}), STATUS_SUCCESS);
    EXPECT_TRUE(hiftest::CountTraces("ProcessChipCapabilityEvent: 4 records") == 1);
    // Basic configuration, the register written through the firmware, the buffer-bin without a file,
    // the dual-band setting and a chip-configuration text.
    Bytes basic(12, 0);
    basic[0] = 1;
    EXPECT_EQ(SendEx(0x02, 0, 1, 8, basic), STATUS_SUCCESS);
    EXPECT_EQ(SendEx(0xC0, 0, 1, 8, {0x00, 0xC8, 0x0C, 0x82, 0x00, 0xC2, 0x03, 0x00}), STATUS_SUCCESS);
    EXPECT_EQ(SendEx(0xED, 0x21, 1, 0x10, {0, 0x01, 0, 0}), STATUS_SUCCESS);
    Bytes dbdc(36, 0);
    dbdc[0] = 1;
    EXPECT_EQ(SendEx(0x28, 0, 1, 8, dbdc), STATUS_SUCCESS);
    EXPECT_EQ(SendEx(0xCA, 0, 1, 8, ChipConfigText("LinkDtSapCheckIntervalP2pGo 240")), STATUS_SUCCESS);
    // A register query waits for the firmware's read answer.
    EXPECT_EQ(SendEx(0xC0, 0, 0, 5, {0x00, 0xC8, 0x0C, 0x82, 0, 0, 0, 0}), STATUS_SUCCESS);
    EXPECT_TRUE(kshim::host::TraceContains("legacy event 0x05/0x00 rebuilt, 8 bytes: 00 C8 0C 82 00 C2 03 00"));

    const sim::fw::UnifiedRamRecord record = Record();
    EXPECT_EQ(record.commands, 7u);
    EXPECT_EQ(record.malformed, 0u);
    ASSERT_EQ(record.basicConfigs.size(), 1u);
    EXPECT_EQ(record.registers.at(0x820CC800u), 0x0003C200u);
    EXPECT_TRUE(record.bufferBinComplete);
    EXPECT_FALSE(record.bufferBinFromFile);
    EXPECT_EQ(record.dbdcState, 1);
    EXPECT_EQ(record.chipConfigTexts, std::vector<std::string>{"LinkDtSapCheckIntervalP2pGo 240"});
    EXPECT_EQ(__atomic_load_n(&adapter_->UniEvent.FwDbdcState, __ATOMIC_ACQUIRE), 1);

    // Every slot free, every record home, the answers all taken off the event ring.
    EXPECT_TRUE(WaitFor([&] { return SlotsInUse() == 0 && CommandRingIdle() && EventRecordsHome(); }));
    EXPECT_EQ(hif_->TxRing[PCI_TX_RING_COMMAND].CpuIndex, 7u);
    EXPECT_EQ(adapter_->UniEvent.UniEventMalformedCount, 0);
    EXPECT_TRUE(chip_->RingFaults().empty());
}

TEST_F(UnifiedRing, DispatchLevelQueryReturnsAtOnceAndItsAnswerFreesTheSlot)
{
    BringInRam();
    ASSERT_FALSE(HasFailure());
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    const NTSTATUS status = SendEx(0x8A, 0, 0, 5, {});
    KeLowerIrql(old);
    EXPECT_EQ(status, STATUS_SUCCESS);
    EXPECT_TRUE(WaitFor([&] { return SlotsInUse() == 0 && CommandRingIdle() && EventRecordsHome(); }));
    EXPECT_EQ(Record().commands, 1u);
    EXPECT_TRUE(hiftest::CountTraces("ProcessChipCapabilityEvent: 4 records") == 1);
}

}  // namespace
}  // namespace unifiedtest
