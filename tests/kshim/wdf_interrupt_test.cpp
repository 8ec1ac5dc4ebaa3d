// Interrupt objects: the service routine at the device level under the interrupt lock, the deferred
// routine at DISPATCH_LEVEL with coalescing, delivery only between the enable and disable callbacks
// (raises in between stay pending), WdfInterruptSynchronize against the service routine, and the
// route of a PCI function's messages to the device's objects.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../../kshim/src/wdf_interrupt_internal.h"
#include "kshim/wdf.h"
#include "wdf_fixture.h"
#include "wdf_interrupt_device.h"

namespace {

using hwtest::InterruptOnlyFunction;
using kshim_test::Eventually;
using kshim_test::Gate;
using kshim_test::ViolationRecorder;

// What the callbacks of one interrupt object saw.
struct Probe {
    std::atomic<int> isrCalls{0};
    std::atomic<int> isrIrql{-1};
    std::atomic<int> lastMessage{-1};
    std::atomic<int> dpcCalls{0};
    std::atomic<int> dpcIrql{-1};
    std::atomic<WDFOBJECT> dpcObject{nullptr};
    std::atomic<int> queuedTrue{0};
    std::atomic<int> queuedFalse{0};
    std::atomic<bool> syncInIsr{false};  // the service routine tries WdfInterruptSynchronize
    Gate* isrGate = nullptr;             // the service routine waits at it
    Gate* dpcGate = nullptr;
    NTSTATUS enableStatus = STATUS_SUCCESS;
    std::string name;
};

struct IRQ_CONTEXT {
    Probe* probe;
};
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(IRQ_CONTEXT, GetIrqContext)

std::mutex g_logLock;
std::vector<std::string> g_log;

void Log(const std::string& line)
{
    std::lock_guard<std::mutex> guard(g_logLock);
    g_log.push_back(line);
}

std::vector<std::string> TakeLog()
{
    std::lock_guard<std::mutex> guard(g_logLock);
    std::vector<std::string> out;
    out.swap(g_log);
    return out;
}

BOOLEAN Isr(WDFINTERRUPT interrupt, ULONG message)
{
    Probe* p = GetIrqContext(interrupt)->probe;
    p->isrIrql = KeGetCurrentIrql();
    p->lastMessage = static_cast<int>(message);
    if (p->isrGate != nullptr) {
        p->isrGate->Pass();
    }
    if (p->syncInIsr) {
        WdfInterruptSynchronize(interrupt, [](WDFINTERRUPT, WDFCONTEXT) -> BOOLEAN { return TRUE; }, nullptr);
    }
    if (WdfInterruptQueueDpcForIsr(interrupt)) {
        ++p->queuedTrue;
    } else {
        ++p->queuedFalse;
    }
    ++p->isrCalls;
    return TRUE;
}

VOID Dpc(WDFINTERRUPT interrupt, WDFOBJECT associated)
{
    Probe* p = GetIrqContext(interrupt)->probe;
    p->dpcIrql = KeGetCurrentIrql();
    p->dpcObject = associated;
    if (p->dpcGate != nullptr) {
        p->dpcGate->Pass();
    }
    ++p->dpcCalls;
}

NTSTATUS Enable(WDFINTERRUPT interrupt, WDFDEVICE)
{
    Probe* p = GetIrqContext(interrupt)->probe;
    Log("enable " + p->name + " at " + std::to_string(KeGetCurrentIrql()));
    return p->enableStatus;
}

NTSTATUS Disable(WDFINTERRUPT interrupt, WDFDEVICE)
{
    Probe* p = GetIrqContext(interrupt)->probe;
    Log("disable " + p->name + " at " + std::to_string(KeGetCurrentIrql()));
    return STATUS_SUCCESS;
}

class InterruptTest : public hwtest::ToyDeviceTest {
protected:
    void TearDown() override
    {
        kshim::wdf::InterruptsDisable(device_);
        KeFlushQueuedDpcs();
        kshim::wdf::InterruptDisconnect(device_);
        TakeLog();
        hwtest::ToyDeviceTest::TearDown();
    }

    WDFINTERRUPT Create(Probe* probe, bool withDpc = true)
    {
        WDF_INTERRUPT_CONFIG config;
        WDF_INTERRUPT_CONFIG_INIT(&config, Isr, withDpc ? Dpc : nullptr);
        config.EvtInterruptEnable = Enable;
        config.EvtInterruptDisable = Disable;
        WDF_OBJECT_ATTRIBUTES attributes;
        WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, IRQ_CONTEXT);
        WDFINTERRUPT interrupt = nullptr;
        EXPECT_EQ(WdfInterruptCreate(device_, &config, &attributes, &interrupt), STATUS_SUCCESS);
        if (interrupt != nullptr) {
            GetIrqContext(interrupt)->probe = probe;
        }
        return interrupt;
    }

    // An object connected to the function and enabled, as after a power-up.
    WDFINTERRUPT Started(Probe* probe, bool withDpc = true)
    {
        WDFINTERRUPT interrupt = Create(probe, withDpc);
        kshim::wdf::InterruptConnect(device_, &pci_);
        EXPECT_EQ(kshim::wdf::InterruptsEnable(device_), STATUS_SUCCESS);
        return interrupt;
    }

    InterruptOnlyFunction pci_;
    // The callbacks' records outlive the test body: the teardown disables the objects.
    Probe first_;
    Probe second_;
};

TEST_F(InterruptTest, ServiceRoutineAtDeviceLevelThenDeferredRoutineAtDispatchLevel)
{
    Probe& probe = first_;
    WDFINTERRUPT interrupt = Started(&probe);
    ASSERT_NE(interrupt, nullptr);
    EXPECT_EQ(WdfInterruptGetDevice(interrupt), device_);
    EXPECT_TRUE(kshim::wdf::InterruptEnabled(interrupt));

    Gate dpcGate;
    probe.dpcGate = &dpcGate;
    pci_.RaiseInterrupt(0);
    ASSERT_TRUE(Eventually([&] { return dpcGate.entered.load(); }));
    EXPECT_EQ(probe.isrCalls, 1);
    EXPECT_EQ(probe.isrIrql, DEVICE_LEVEL);
    EXPECT_EQ(probe.lastMessage, 0);
    EXPECT_EQ(probe.dpcIrql, DISPATCH_LEVEL);
    EXPECT_EQ(probe.dpcObject.load(), static_cast<WDFOBJECT>(device_));

    // KeFlushQueuedDpcs returns only once the deferred routine the service routine queued is done.
    std::thread opener([&] {
        EXPECT_TRUE(kshim::host::WaitBlockedAt("dpc.flush"));
        dpcGate.open = true;
    });
    KeFlushQueuedDpcs();
    EXPECT_EQ(probe.dpcCalls, 1);
    opener.join();
}

TEST_F(InterruptTest, QueueingTheDeferredRoutineAgainBeforeItRunsCoalesces)
{
    Probe& probe = first_;
    WDFINTERRUPT interrupt = Started(&probe);
    ASSERT_NE(interrupt, nullptr);

    // Keep the dispatch thread busy so the deferred routine stays queued.
    Gate busy;
    kshim::host::HostDpc blocker([&] { busy.Pass(); });
    blocker.Queue();
    ASSERT_TRUE(Eventually([&] { return busy.entered.load(); }));
    pci_.RaiseInterrupt(0);
    ASSERT_TRUE(Eventually([&] { return probe.isrCalls.load() == 1; }));
    pci_.RaiseInterrupt(0);
    ASSERT_TRUE(Eventually([&] { return probe.isrCalls.load() == 2; }));
    EXPECT_EQ(probe.queuedTrue, 1);
    EXPECT_EQ(probe.queuedFalse, 1);
    busy.open = true;
    KeFlushQueuedDpcs();
    EXPECT_EQ(probe.dpcCalls, 1);
}

TEST_F(InterruptTest, RaisesWhileDisabledStayPendingOncePerMessageAndComeAfterTheEnable)
{
    Probe& probe = first_;
    probe.name = "irq";
    WDFINTERRUPT interrupt = Create(&probe);
    ASSERT_NE(interrupt, nullptr);
    kshim::wdf::InterruptConnect(device_, &pci_);

    // Before the first enable: three raises of message 0, one pending mark.
    for (int i = 0; i < 3; ++i) {
        pci_.RaiseInterrupt(0);
    }
    EXPECT_TRUE(qzl_test::Settle());
    EXPECT_EQ(probe.isrCalls, 0);
    EXPECT_EQ(kshim::wdf::InterruptPendingMessages(interrupt), 1u);
    ASSERT_EQ(kshim::wdf::InterruptsEnable(device_), STATUS_SUCCESS);
    ASSERT_TRUE(Eventually([&] { return probe.isrCalls.load() == 1; }));
    KeFlushQueuedDpcs();
    EXPECT_EQ(probe.dpcCalls, 1);
    EXPECT_EQ(kshim::wdf::InterruptPendingMessages(interrupt), 0u);

    // Between a disable and the next enable no service routine runs.
    ASSERT_EQ(kshim::wdf::InterruptsDisable(device_), STATUS_SUCCESS);
    EXPECT_FALSE(kshim::wdf::InterruptEnabled(interrupt));
    pci_.RaiseInterrupt(0);
    EXPECT_TRUE(qzl_test::Settle());
    EXPECT_EQ(probe.isrCalls, 1);
    ASSERT_EQ(kshim::wdf::InterruptsEnable(device_), STATUS_SUCCESS);
    ASSERT_TRUE(Eventually([&] { return probe.isrCalls.load() == 2; }));
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"enable irq at 5", "disable irq at 5", "enable irq at 5"}));
}

TEST_F(InterruptTest, EnableInCreationOrderDisableInReverseAndAFailedEnableIsUndone)
{
    Probe& first = first_;
    Probe& second = second_;
    first.name = "first";
    second.name = "second";
    ASSERT_NE(Create(&first), nullptr);
    ASSERT_NE(Create(&second), nullptr);
    ASSERT_EQ(kshim::wdf::InterruptsEnable(device_), STATUS_SUCCESS);
    ASSERT_EQ(kshim::wdf::InterruptsDisable(device_), STATUS_SUCCESS);
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"enable first at 5", "enable second at 5", "disable second at 5",
                                                   "disable first at 5"}));

    second.enableStatus = STATUS_DEVICE_NOT_READY;
    EXPECT_EQ(kshim::wdf::InterruptsEnable(device_), STATUS_DEVICE_NOT_READY);
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"enable first at 5", "enable second at 5", "disable first at 5"}));
    // Nothing is enabled: the teardown's disable calls no callback.
    kshim::wdf::InterruptsDisable(device_);
    EXPECT_TRUE(TakeLog().empty());
}

TEST_F(InterruptTest, SynchronizeNeverOverlapsTheServiceRoutine)
{
    Probe& probe = first_;
    WDFINTERRUPT interrupt = Started(&probe);
    ASSERT_NE(interrupt, nullptr);

    // A service routine in progress holds a synchronised callback back.
    Gate isrGate;
    probe.isrGate = &isrGate;
    pci_.RaiseInterrupt(0);
    ASSERT_TRUE(Eventually([&] { return isrGate.entered.load(); }));
    struct SyncRecord {
        std::atomic<int> irql{-1};
        std::atomic<bool> ran{false};
        BOOLEAN answer = FALSE;
    } record;
    BOOLEAN result = TRUE;
    std::thread syncer([&] {
        result = WdfInterruptSynchronize(
            interrupt,
            [](WDFINTERRUPT, WDFCONTEXT context) -> BOOLEAN {
                auto* r = static_cast<SyncRecord*>(context);
                r->irql = KeGetCurrentIrql();
                r->ran = true;
                return r->answer;
            },
            &record);
    });
    EXPECT_TRUE(kshim::host::WaitBlockedAt("spin lock"));
    EXPECT_FALSE(record.ran.load());
    isrGate.open = true;
    syncer.join();
    EXPECT_TRUE(record.ran.load());
    EXPECT_EQ(record.irql, DEVICE_LEVEL);
    EXPECT_EQ(result, FALSE);  // the callback's result comes back
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);

    // And a held interrupt lock holds the service routine back.
    probe.isrGate = nullptr;
    WdfInterruptAcquireLock(interrupt);
    EXPECT_EQ(KeGetCurrentIrql(), DEVICE_LEVEL);
    pci_.RaiseInterrupt(0);
    EXPECT_TRUE(kshim::host::WaitBlockedAt("spin lock"));
    EXPECT_EQ(probe.isrCalls, 1);
    WdfInterruptReleaseLock(interrupt);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    ASSERT_TRUE(Eventually([&] { return probe.isrCalls.load() == 2; }));
}

TEST_F(InterruptTest, EachMessageGoesToItsObjectAndMessagesWithoutOneAreCounted)
{
    Probe& first = first_;
    Probe& second = second_;
    WDFINTERRUPT a = Create(&first);
    WDFINTERRUPT b = Create(&second);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    kshim::wdf::InterruptConnect(device_, &pci_);
    ASSERT_EQ(kshim::wdf::InterruptsEnable(device_), STATUS_SUCCESS);
    pci_.RaiseInterrupt(1);
    ASSERT_TRUE(Eventually([&] { return second.isrCalls.load() == 1; }));
    EXPECT_EQ(second.lastMessage, 1);
    EXPECT_EQ(first.isrCalls, 0);
    pci_.RaiseInterrupt(5);
    EXPECT_EQ(kshim::wdf::InterruptUnroutedMessages(device_), 1u);
    // Disconnected, the function's raises go nowhere.
    kshim::wdf::InterruptDisconnect(device_);
    pci_.RaiseInterrupt(0);
    EXPECT_TRUE(qzl_test::Settle());
    EXPECT_EQ(first.isrCalls, 0);
}

TEST_F(InterruptTest, CreationIsCheckedAndCanBeMadeToFail)
{
    WDF_INTERRUPT_CONFIG config;
    WDF_INTERRUPT_CONFIG_INIT(&config, nullptr, Dpc);
    WDFINTERRUPT interrupt = nullptr;
    EXPECT_EQ(WdfInterruptCreate(device_, &config, WDF_NO_OBJECT_ATTRIBUTES, &interrupt), STATUS_INVALID_PARAMETER);
    WDF_INTERRUPT_CONFIG_INIT(&config, Isr, Dpc);
    config.Size = 8;
    EXPECT_EQ(WdfInterruptCreate(device_, &config, WDF_NO_OBJECT_ATTRIBUTES, &interrupt), STATUS_INFO_LENGTH_MISMATCH);
    WDF_INTERRUPT_CONFIG_INIT(&config, Isr, Dpc);
    WDFSPINLOCK other = nullptr;
    ASSERT_EQ(WdfSpinLockCreate(WDF_NO_OBJECT_ATTRIBUTES, &other), STATUS_SUCCESS);
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.ParentObject = other;
    EXPECT_EQ(WdfInterruptCreate(device_, &config, &attributes, &interrupt), STATUS_INVALID_PARAMETER);
    WdfObjectDelete(other);
    kshim::host::FaultArm("wdf.interruptcreate", "", 1, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(WdfInterruptCreate(device_, &config, WDF_NO_OBJECT_ATTRIBUTES, &interrupt), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(interrupt, nullptr);
    EXPECT_EQ(WdfInterruptCreate(device_, &config, WDF_NO_OBJECT_ATTRIBUTES, &interrupt), STATUS_SUCCESS);
    EXPECT_NE(interrupt, nullptr);
}

TEST_F(InterruptTest, MisuseIsReported)
{
    ViolationRecorder recorder;
    Probe& probe = first_;
    WDFINTERRUPT interrupt = Started(&probe, false);
    ASSERT_NE(interrupt, nullptr);
    // Queueing a deferred routine the object does not have, and synchronising from the service
    // routine (it would spin on its own lock).
    probe.syncInIsr = true;
    pci_.RaiseInterrupt(0);
    ASSERT_TRUE(Eventually([&] { return probe.isrCalls.load() == 1; }));
    EXPECT_EQ(probe.queuedFalse, 1);
    EXPECT_EQ(recorder.Count("without a deferred routine"), 1u) << recorder.All();
    EXPECT_EQ(recorder.Count("interrupt lock taken twice"), 1u) << recorder.All();
    // Releasing a lock the thread does not hold.
    WdfInterruptReleaseLock(interrupt);
    EXPECT_EQ(recorder.Count("does not hold the interrupt lock"), 1u) << recorder.All();
}

}  // namespace
