// The error-recovery procedure on an adapter whose chip operations are recorded: which kinds run an
// L0.5 or a platform-level reset under which "FwStallRecovery" masks, and the guards against
// recoveries piling up.
#include <functional>

#include "ctrl/ctrl_fixture.h"
#include "kshim/host/control.h"
#include "kshim/host/device_reset.h"

namespace recovery_test {
namespace {

using kshim::host::TraceContains;

struct OpCalls {
    int fwRecovery = 0;
    int toggle = 0;
    int wholeChip = 0;
    int hook = 0;
};
OpCalls g_calls;
std::function<void(PMP_ADAPTER)> g_duringFwRecovery;

NTSTATUS RecordFwRecovery(PMP_ADAPTER adapter)
{
    ++g_calls.fwRecovery;
    if (g_duringFwRecovery) {
        g_duringFwRecovery(adapter);
    }
    return STATUS_SUCCESS;
}
NTSTATUS RecordToggle(PMP_ADAPTER) { return ++g_calls.toggle, STATUS_SUCCESS; }
VOID RecordWholeChip(PMP_ADAPTER) { ++g_calls.wholeChip; }
VOID RecordHook(PMP_ADAPTER) { ++g_calls.hook; }

class ErrorRecovery : public ctrltest::ExecutorTest {
protected:
    void SetUp() override
    {
        ExecutorTest::SetUp();
        g_calls = {};
        g_duringFwRecovery = nullptr;
        kshim::host::DeviceResetClear();
        // The reset paths wait seconds; a thousand times faster here.
        kshim::host::ClockSetAuto();
        MP_ADAPTER* a = adapter_.get();
        a->Running = 1;
        a->DeviceId = 0x3602;
        a->RegistryBlock.SysRcvyEn = 1;
        a->RegistryBlock.FwStallRecovery = 7;
        a->RegistryBlock.BtDumpSop = 0;
        a->HalOps.FwRecovery = RecordFwRecovery;
        a->HalOps.ToggleWfsysRst = RecordToggle;
        a->HalOps.L0WholeChipReset = RecordWholeChip;
        a->HalOps.ErrorRecoveryHook = RecordHook;
    }
    void TearDown() override
    {
        g_duringFwRecovery = nullptr;
        ExecutorTest::TearDown();
    }
    size_t Resets() const { return kshim::host::DeviceResetRequests().size(); }
};

struct MaskCase {
    ULONG kind;
    ULONG mask;
    int fwRecovery;
    int toggle;
    int wholeChip;
    int hook;
    size_t resets;
};

TEST_F(ErrorRecovery, EachKindRunsItsRecoveryOnlyWhenItsMaskBitIsSet)
{
    const MaskCase cases[] = {
        {1, 7, 1, 0, 0, 0, 0}, {2, 7, 1, 0, 0, 0, 0}, {3, 7, 1, 0, 0, 0, 0}, {6, 7, 1, 0, 0, 0, 0},
        {1, 3, 0, 0, 0, 0, 0}, {6, 3, 0, 0, 0, 0, 0},
        {4, 7, 0, 1, 0, 0, 1}, {4, 5, 0, 0, 0, 0, 0},
        {5, 7, 0, 0, 1, 0, 1}, {5, 6, 0, 0, 0, 0, 0},
        {7, 7, 0, 0, 0, 1, 1}, {7, 6, 0, 0, 0, 0, 0},
        {0, 7, 0, 0, 0, 0, 0}, {8, 7, 0, 0, 0, 0, 0},
    };
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " mask " << c.mask);
        g_calls = {};
        kshim::host::DeviceResetClear();
        adapter_->Recovery.PldrMark = 0;
        adapter_->RegistryBlock.FwStallRecovery = c.mask;
        ErrorRecoveryProc(adapter_.get(), c.kind);
        EXPECT_EQ(g_calls.fwRecovery, c.fwRecovery);
        EXPECT_EQ(g_calls.toggle, c.toggle);
        EXPECT_EQ(g_calls.wholeChip, c.wholeChip);
        EXPECT_EQ(g_calls.hook, c.hook);
        ASSERT_EQ(Resets(), c.resets);
        if (c.resets != 0) {
            EXPECT_EQ(kshim::host::DeviceResetRequests()[0].type, PlatformLevelDeviceReset);
            EXPECT_EQ(kshim::host::DeviceResetRequests()[0].device, adapter_->Device);
            EXPECT_EQ(adapter_->Recovery.PldrMark, 1);
        }
    }
}

TEST_F(ErrorRecovery, CountersFollowTheKindsThatRan)
{
    ErrorRecoveryProc(adapter_.get(), RECOVERY_FW_TRIGGERED);
    ErrorRecoveryProc(adapter_.get(), RECOVERY_SER_TIMEOUT);
    EXPECT_EQ(adapter_->Recovery.RecoveryKindCount[1], 1);
    EXPECT_EQ(adapter_->Recovery.RecoveryL05Count, 2);
    EXPECT_EQ(adapter_->FwCmd.RecoveryInProgress, 1) << "the L0.5-done mark stays for the firmware recovery";
    EXPECT_EQ(adapter_->Recovery.L05StartTime, 0);
    EXPECT_FALSE(ErrRecoveryNoneOccurred(adapter_.get()));

    ErrorRecoveryProc(adapter_.get(), RECOVERY_IO_FAIL);
    EXPECT_EQ(adapter_->Recovery.RecoveryIoFailCount, 1);
    EXPECT_EQ(adapter_->Recovery.RecoveryBusHangCount, 1) << "the platform-level reset count";
}

TEST_F(ErrorRecovery, ASecondL05AskedForWhileOneRunsIsDroppedButCounted)
{
    g_duringFwRecovery = [](PMP_ADAPTER adapter) {
        g_duringFwRecovery = nullptr;
        ErrorRecoveryProc(adapter, RECOVERY_FW_TRIGGERED);
    };
    ErrorRecoveryProc(adapter_.get(), RECOVERY_FW_TRIGGERED);
    EXPECT_EQ(g_calls.fwRecovery, 1);
    EXPECT_EQ(adapter_->Recovery.RecoveryKindCount[RECOVERY_FW_TRIGGERED - 1], 2);
    EXPECT_EQ(adapter_->Recovery.RecoveryL05Count, 1) << "the second, asked for while the first ran, is dropped";
}

TEST_F(ErrorRecovery, APlatformResetKeepsEveryRecoveryOutForTwentySeconds)
{
    kshim::host::ClockSetManual();
    ErrorRecoveryProc(adapter_.get(), RECOVERY_DRIVER_OWN_FAIL);
    EXPECT_EQ(Resets(), 1u);
    kshim::host::ClockAdvance(19 * 10000000LL);
    ErrorRecoveryProc(adapter_.get(), RECOVERY_DRIVER_OWN_FAIL);
    ErrorRecoveryProc(adapter_.get(), RECOVERY_FW_TRIGGERED);
    EXPECT_EQ(Resets(), 1u);
    EXPECT_EQ(g_calls.fwRecovery, 0);
    EXPECT_EQ(g_calls.toggle, 1);
    kshim::host::ClockAdvance(1 * 10000000LL);
    ErrorRecoveryProc(adapter_.get(), RECOVERY_DRIVER_OWN_FAIL);
    EXPECT_EQ(Resets(), 2u);
    EXPECT_EQ(adapter_->Recovery.RecoveryKindCount[RECOVERY_DRIVER_OWN_FAIL - 1], 2);
}

TEST_F(ErrorRecovery, AnL05KeepsFurtherOnesOutForTenSeconds)
{
    kshim::host::ClockSetManual();
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    adapter_->Recovery.L05StartTime = now.QuadPart;
    EXPECT_TRUE(L05InProgress(adapter_.get()));
    kshim::host::ClockAdvance(10 * 10000000LL - 1);
    EXPECT_TRUE(L05InProgress(adapter_.get()));
    kshim::host::ClockAdvance(1);
    EXPECT_FALSE(L05InProgress(adapter_.get()));
    adapter_->Recovery.L05StartTime = 0;
    EXPECT_FALSE(L05InProgress(adapter_.get()));
    AdapterSetFlag(adapter_.get(), ADAPTER_FLAG_NOT_RESPONDING, "test");
    EXPECT_TRUE(L05InProgress(adapter_.get()));
    EXPECT_TRUE(PldrInProgress(adapter_.get()));
    AdapterClearFlag(adapter_.get(), ADAPTER_FLAG_NOT_RESPONDING, "test");
}

TEST_F(ErrorRecovery, RefusalsLeaveEverythingAsItWas)
{
    struct Refusal {
        const char* what;
        std::function<void(MP_ADAPTER*)> set;
    };
    const Refusal refusals[] = {
        {"bring-up not completed", [](MP_ADAPTER* a) { a->Running = 0; }},
        {"chip without recovery", [](MP_ADAPTER* a) { a->DeviceId = 0x3504; }},
        {"older chip", [](MP_ADAPTER* a) { a->DeviceId = 0x3404; }},
        {"recovery disabled", [](MP_ADAPTER* a) { a->RegistryBlock.SysRcvyEn = 0; }},
        {"log to the air on 3601", [](MP_ADAPTER* a) { a->DeviceId = 0x0C03; a->RegistryBlock.Log2AirEnable = 1; }},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.what);
        g_calls = {};
        MP_ADAPTER* a = adapter_.get();
        a->Running = 1;
        a->DeviceId = 0x3602;
        a->RegistryBlock.SysRcvyEn = 1;
        a->RegistryBlock.Log2AirEnable = 0;
        r.set(a);
        for (ULONG kind = 1; kind <= 7; ++kind) {
            ErrorRecoveryProc(a, kind);
        }
        EXPECT_EQ(g_calls.fwRecovery + g_calls.toggle + g_calls.wholeChip, 0);
        EXPECT_EQ(Resets(), 0u);
        EXPECT_TRUE(ErrRecoveryNoneOccurred(a));
        EXPECT_EQ(a->Recovery.RecoveryL05Count + a->Recovery.RecoveryBusHangCount, 0);
    }
    // Only a chip without recovery still runs its hook, once per request.
    g_calls = {};
    adapter_->Running = 1;
    adapter_->DeviceId = 0x3504;
    ErrorRecoveryProc(adapter_.get(), RECOVERY_FW_TRIGGERED);
    EXPECT_EQ(g_calls.hook, 1);
}

TEST_F(ErrorRecovery, TheTransmitStopCheckWaitsForEveryDequeueThenTellsTheFirmware)
{
    // A chip that does not recover has no firmware to tell: only the marks change (the firmware's side
    // runs end to end in the SER tests).
    adapter_->DeviceId = 0x3504;
    adapter_->Recovery.AcDequeueInProgress[3] = 1;
    EXPECT_EQ(CheckAllQStop(adapter_.get()), 0x8u);
    PLATFORM_TIMER timer = {};
    PlatformInitTimer(port0_, &timer, SerCheckTxStopTimeOut, 0, "rSerCheckTxStopTimer");
    SerCheckTxStopTimeOut(nullptr, port0_, &timer, nullptr);
    EXPECT_EQ(adapter_->Recovery.TxStopped, 0);
    EXPECT_EQ(timer.PeriodMs, SER_TX_STOP_CHECK_MS) << "armed again for 5 ms";
    PlatformFreeTimer(&timer);

    adapter_->Recovery.AcDequeueInProgress[3] = 0;
    EXPECT_EQ(CheckAllQStop(adapter_.get()), 0u);
    SerCheckTxStopTimeOut(nullptr, port0_, &timer, nullptr);
    EXPECT_EQ(adapter_->Recovery.TxStopped, 1);
    EXPECT_EQ(adapter_->Recovery.SerState, 1);
}

}  // namespace
}  // namespace recovery_test
