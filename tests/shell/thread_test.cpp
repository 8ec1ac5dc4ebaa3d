// Platform threads, the adapter's worker threads, delays and event waits.
#include <atomic>
#include <cstring>
#include <string>

#include "Common/p2p/p2p.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "shell/shell_fixture.h"
#include "support/crossings.h"

namespace {

using shelltest::ShellTest;

const char* const kWorkerNames[] = {
    "PlatformFWCmdThread", "PlatformIntHandlerThread", "PlatformFWIdxLogThread", "PlatformControlCmdThread",
    "IcsCmdThread",        "P2PCmdThread",             "MlmeThread",             "WINCXTxNetQueueThread",
    "RxThread0",           "RxThread1",                "RxThread2",
};

class WorkerThreads : public ShellTest {
protected:
    std::vector<PLATFORM_THREAD*> Records()
    {
        MP_ADAPTER* a = adapter_.get();
        return {&a->FwCmdThread,  &a->IntHandlerThread,    &a->FwIdxLogThread, &a->ControlCmdThread,
                &a->IcsCmdThread, &a->P2pBlock->CmdThread, &a->MlmeThread,     &a->TxNetQueueThread,
                &a->HifContext->RxThread[0], &a->HifContext->RxThread[1], &a->HifContext->RxThread[2]};
    }

    std::vector<std::string> StartedNames()
    {
        std::vector<std::string> names;
        for (const std::string& text : TraceTexts()) {
            if (text.rfind("thread \"", 0) == 0 && text.find("\" started") != std::string::npos) {
                names.push_back(text.substr(8, text.find('"', 8) - 8));
            }
        }
        return names;
    }
};

TEST_F(WorkerThreads, ElevenThreadsStartInOrderAtPriority16AndEndAtTheStopByte)
{
    StartThreads();
    EXPECT_EQ(adapter_->StopThreads.load(), 0);
    std::vector<std::string> expected(std::begin(kWorkerNames), std::end(kWorkerNames));
    EXPECT_EQ(StartedNames(), expected);

    std::vector<PLATFORM_THREAD*> records = Records();
    for (size_t i = 0; i < records.size(); ++i) {
        PLATFORM_THREAD* t = records[i];
        EXPECT_STREQ(t->Name, kWorkerNames[i]);
        EXPECT_EQ(t->Context, adapter_.get());
        ASSERT_NE(t->ThreadObject, nullptr) << kWorkerNames[i];
        EXPECT_TRUE(Eventually([&] {
            return t->RunState.load() == PLATFORM_THREAD_RUNNING &&
                   KeQueryPriorityThread(t->ThreadObject) == PLATFORM_THREAD_PRIORITY;
        })) << kWorkerNames[i];
    }

    StopThreads();
    EXPECT_EQ(adapter_->StopThreads.load(), 1);
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i]->RunState.load(), PLATFORM_THREAD_FREE) << kWorkerNames[i];
        EXPECT_EQ(records[i]->ThreadObject, nullptr) << kWorkerNames[i];
    }
}

TEST_F(WorkerThreads, CreationFailureNamesTheThreadAndLeavesEarlierOnesRunning)
{
    for (ULONG failing : {1u, 6u, 11u}) {
        kshim::host::TraceClear();
        adapter_->StopThreads = 0;  // as the bring-up does before the first creation
        kshim::host::FaultArm("thread.create", "", failing);
        EXPECT_EQ(NdisCommonCreateAllThreads(adapter_.get()), STATUS_UNSUCCESSFUL);
        kshim::host::FaultClearAll();
        std::string message = std::string("thread \"") + kWorkerNames[failing - 1] + "\" failed to start";
        EXPECT_TRUE(kshim::host::TraceContains(message)) << message;
        EXPECT_EQ(StartedNames().size(), failing - 1);
        std::vector<PLATFORM_THREAD*> records = Records();
        EXPECT_EQ(records[failing - 1]->ThreadObject, nullptr);
        // The teardown stops what was started.
        NdisCommonFreeAllThreads(adapter_.get());
        for (PLATFORM_THREAD* t : records) {
            EXPECT_EQ(t->RunState.load(), PLATFORM_THREAD_FREE);
        }
    }
}

TEST_F(WorkerThreads, StopByteReturnsQueuedRecordsWithoutRunningThem)
{
    MP_PORT* port = AddPort(0, EXTSTA);
    StartThreads();
    // A running thread handles its record: the firmware-own request reaches the bus layer.
    ASSERT_EQ(QZEnqueueIntHandlerCmd(adapter_.get(), port, INT_HANDLER_CMD_FW_OWN, nullptr, 0), STATUS_SUCCESS);
    ASSERT_TRUE(Eventually([&] { return qzltest::NotBuiltCalls("NdisCommonHifPciPmSetFwOwn") == 1; }));
    ASSERT_TRUE(Eventually([&] { return FreeCount(&adapter_->Cmd.IntHandlerPool) == 32; }));

    // Records queued once the stop byte is set are returned, not run.
    adapter_->StopThreads = 1;
    for (int i = 0; i < 3; ++i) {
        PINTERNAL_CMD cmd = QzGetIntHandlerCmdBuffer(adapter_.get());
        cmd->CmdId = INT_HANDLER_CMD_FW_OWN;
        PCOMMAND_QUEUE queue = &adapter_->Cmd.IntHandlerQueue;
        KIRQL old;
        KeAcquireSpinLock(&queue->Lock, &old);
        cmd->Next = queue->Head;
        queue->Head = cmd;
        if (queue->Tail == nullptr) {
            queue->Tail = cmd;
        }
        ++queue->Count;
        KeReleaseSpinLock(&queue->Lock, old);
    }
    PlatformSignalThread(&adapter_->IntHandlerThread);
    EXPECT_TRUE(Eventually([&] { return FreeCount(&adapter_->Cmd.IntHandlerPool) == 32; }));
    EXPECT_TRUE(Eventually([&] { return adapter_->IntHandlerThread.RunState.load() == PLATFORM_THREAD_READY; }));
    EXPECT_EQ(qzltest::NotBuiltCalls("NdisCommonHifPciPmSetFwOwn"), 1u);
    EXPECT_EQ(QueueCount(&adapter_->Cmd.IntHandlerQueue), 0u);
}

TEST_F(WorkerThreads, InterruptWorkFollowsTheChipGeneration)
{
    MP_PORT* port = AddPort(0, EXTSTA);
    struct Case {
        USHORT deviceId;
        const char* call;  // nullptr: no interrupt work for this chip
    } cases[] = {
        {0x3502, "AsicArvel2xPciHandleInterruptInternal"}, {0x0C01, "AsicArvel2xPciHandleInterruptInternal"},
        {0x3602, "AsicArvel3xPciHandleInterruptInternal"}, {0x0C03, "AsicArvel3xPciHandleInterruptInternal"},
        {0x3404, nullptr},
    };
    for (const Case& c : cases) {
        adapter_->DeviceId = c.deviceId;
        kshim::host::TraceClear();
        NdisCommonHifIntHandlerThreadHandler(port, INT_HANDLER_CMD_INTERRUPT_WORK);
        size_t inGeneration = 0;
        size_t inAny = 0;
        for (const kshim::host::TraceRecord& r : kshim::host::TraceSnapshot()) {
            inAny += r.function.find("PciHandleInterruptInternal") != std::string::npos ? 1 : 0;
            inGeneration += c.call != nullptr && r.function == c.call ? 1 : 0;
        }
        EXPECT_EQ(inAny != 0, c.call != nullptr) << c.deviceId;
        EXPECT_EQ(inGeneration != 0, c.call != nullptr) << c.deviceId;
    }
    // Dropped while the adapter is suspended, not responding or halting.
    adapter_->DeviceId = 0x3602;
    for (ULONG flag : {ADAPTER_FLAG_PCI_SUSPENDED, ADAPTER_FLAG_NOT_RESPONDING, ADAPTER_FLAG_HALT_IN_PROGRESS}) {
        AdapterSetFlag(adapter_.get(), flag, __func__);
        kshim::host::TraceClear();
        NdisCommonHifIntHandlerThreadHandler(port, INT_HANDLER_CMD_INTERRUPT_WORK);
        NdisCommonHifIntHandlerThreadHandler(port, INT_HANDLER_CMD_FW_OWN);
        EXPECT_EQ(qzltest::NotBuiltCalls(), 0u) << flag;
        AdapterClearFlag(adapter_.get(), flag, __func__);
    }
}

struct BodyProbe {
    std::atomic<int> runs{0};
    PLATFORM_THREAD thread{};
};

void ProbeBody(PVOID context) { ++static_cast<BodyProbe*>(context)->runs; }

class PlatformThreads : public ShellTest {};

TEST_F(PlatformThreads, LifecycleAndSecondInitialisationRefused)
{
    BodyProbe probe;
    PlatformInitThread(adapter_.get(), &probe, &probe.thread, ProbeBody, "ProbeThread");
    EXPECT_EQ(probe.thread.RunState.load(), PLATFORM_THREAD_READY);
    EXPECT_EQ(probe.thread.InitCount, 1);
    PlatformInitThread(adapter_.get(), nullptr, &probe.thread, nullptr, "Other");
    EXPECT_STREQ(probe.thread.Name, "ProbeThread");
    EXPECT_EQ(probe.thread.Body, ProbeBody);

    ASSERT_EQ(PlatformRunThread(adapter_.get(), &probe.thread), STATUS_SUCCESS);
    EXPECT_TRUE(NdisWaitEvent(&probe.thread.DoneEvent, 2000));
    EXPECT_EQ(probe.runs.load(), 1);
    EXPECT_EQ(probe.thread.RunState.load(), PLATFORM_THREAD_READY);  // body finished
    PlatformCancelThread(adapter_.get(), &probe.thread);
    EXPECT_EQ(probe.thread.RunState.load(), PLATFORM_THREAD_CANCELLED);
    PlatformFreeThread(adapter_.get(), &probe.thread);
    EXPECT_EQ(probe.thread.RunState.load(), PLATFORM_THREAD_FREE);
    EXPECT_EQ(probe.thread.ThreadObject, nullptr);

    // Freed: it may be initialised again; a run needs run state 1.
    EXPECT_EQ(PlatformRunThread(adapter_.get(), &probe.thread), STATUS_UNSUCCESSFUL);
    PlatformInitThread(adapter_.get(), &probe, &probe.thread, ProbeBody, "Again");
    EXPECT_EQ(probe.thread.InitCount, 2);
    PlatformFreeThread(adapter_.get(), &probe.thread);  // never started: only reset
    EXPECT_EQ(probe.thread.RunState.load(), PLATFORM_THREAD_FREE);
}

TEST_F(PlatformThreads, NameIsCutAt63Characters)
{
    BodyProbe probe;
    std::string longName(80, 'n');
    PlatformInitThread(adapter_.get(), &probe, &probe.thread, ProbeBody, longName.c_str());
    EXPECT_EQ(std::string(probe.thread.Name), std::string(63, 'n'));
    PlatformFreeThread(adapter_.get(), &probe.thread);
}

TEST_F(PlatformThreads, CreationFailureLeavesRunStateReady)
{
    BodyProbe probe;
    PlatformInitThread(adapter_.get(), &probe, &probe.thread, ProbeBody, "Probe");
    kshim::host::FaultArm("thread.create", "", 1, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(PlatformRunThread(adapter_.get(), &probe.thread), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(probe.thread.RunState.load(), PLATFORM_THREAD_READY);
    PlatformFreeThread(adapter_.get(), &probe.thread);
}

TEST_F(PlatformThreads, BodyDoesNotRunWhileTheAdapterHaltsOrIsRemoved)
{
    for (ULONG flag : {ADAPTER_FLAG_HALT_IN_PROGRESS, ADAPTER_FLAG_SURPRISE_REMOVED}) {
        BodyProbe probe;
        AdapterSetFlag(adapter_.get(), flag, __func__);
        PlatformInitThread(adapter_.get(), &probe, &probe.thread, ProbeBody, "Probe");
        ASSERT_EQ(PlatformRunThread(adapter_.get(), &probe.thread), STATUS_SUCCESS);
        PlatformCancelThread(adapter_.get(), &probe.thread);
        PlatformFreeThread(adapter_.get(), &probe.thread);  // waits for the thread's end
        EXPECT_EQ(probe.runs.load(), 0);
        AdapterClearFlag(adapter_.get(), flag, __func__);
    }
}

TEST_F(PlatformThreads, SendThreadTestsItsPortsAdapter)
{
    // A send thread's context is its port; the halting test is made on the port's adapter.
    MP_PORT* port = AddPort(1, EXTAP);
    ASSERT_EQ(NdisCommonInitPort(port), STATUS_SUCCESS);
    EXPECT_STREQ(port->SendThread.Name, "WdiSendDataThread1");
    EXPECT_EQ(port->SendThread.Context, port);
    EXPECT_TRUE(Eventually([&] { return port->SendThread.RunState.load() == PLATFORM_THREAD_RUNNING; }));
    EXPECT_EQ(adapter_->SendAfterSerThread.RunState.load(), PLATFORM_THREAD_FREE);  // port 0 only
    adapter_->StopThreads = 1;
    N6TermPort(port);
    EXPECT_EQ(port->SendThread.RunState.load(), PLATFORM_THREAD_FREE);

    adapter_->StopThreads = 0;
    kshim::host::TraceClear();
    AdapterSetFlag(adapter_.get(), ADAPTER_FLAG_HALT_IN_PROGRESS, __func__);
    MP_PORT* port0 = AddPort(0, EXTSTA);
    ASSERT_EQ(NdisCommonInitPort(port0), STATUS_SUCCESS);
    EXPECT_STREQ(adapter_->SendAfterSerThread.Name, "WdiSendDataThreadAfterSER");
    EXPECT_EQ(adapter_->SendAfterSerThread.Context, adapter_.get());
    // Halting: neither body starts (the start routine returns at once).
    PlatformFreeThread(adapter_.get(), &port0->SendThread);
    PlatformFreeThread(adapter_.get(), &adapter_->SendAfterSerThread);
    EXPECT_EQ(qzltest::NotBuiltCalls(), 0u);
    AdapterClearFlag(adapter_.get(), ADAPTER_FLAG_HALT_IN_PROGRESS, __func__);
}

TEST(PlatformWaits, WaitEventResetsAfterTheWaitAndAbovePassiveOnlyDelays)
{
    kshim::host::ResetDefaults();
    NDIS_EVENT event;
    NdisInitializeEvent(&event);
    NdisSetEvent(&event);
    EXPECT_TRUE(PlatformWaitEvent(&event, 0));
    EXPECT_EQ(KeReadStateEvent(&event.Event), 0);  // behaves as auto-reset

    int64_t start = kshim::host::ClockNow();
    EXPECT_FALSE(PlatformWaitEvent(&event, 30));
    EXPECT_GE(kshim::host::ClockNow() - start, 30 * 10000);

    // Above passive level: no wait, a delay of the time given, the event untouched.
    kshim::host::ClockSetManual();
    NdisSetEvent(&event);
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    start = kshim::host::ClockNow();
    EXPECT_FALSE(PlatformWaitEvent(&event, 5));
    EXPECT_EQ(kshim::host::ClockNow() - start, 5 * 10000);
    EXPECT_EQ(KeReadStateEvent(&event.Event), 1);
    KeLowerIrql(old);
    kshim::host::ResetDefaults();
}

TEST(PlatformWaits, GenericDelayBusyWaitsAbovePassiveAndSleepsAtPassive)
{
    kshim::host::ResetDefaults();
    kshim::host::ClockSetManual();
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    int64_t start = kshim::host::ClockNow();
    NdisCommonGenericDelay(25);
    EXPECT_EQ(kshim::host::ClockNow() - start, 250);  // 2 steps of 10 us, then 5 us
    KeLowerIrql(old);

    kshim::host::ClockSetReal();
    start = kshim::host::ClockNow();
    NdisCommonGenericDelay(3000);
    EXPECT_GE(kshim::host::ClockNow() - start, 3000 * 10);
    kshim::host::ResetDefaults();
}

}  // namespace

namespace {

TEST_F(WorkerThreads, StoppingWaits50MsForEachBusyFirmwareCommandSlot)
{
    StartThreads();
    adapter_->FwCmd.FwCmdSlots[0].InUse = 1;
    adapter_->FwCmd.FwCmdSlots[7].InUse = 1;
    adapter_->FwCmd.FwCmdSlots[19].InUse = 1;
    kshim::host::ClockSetAuto();
    int64_t start = kshim::host::ClockNow();
    StopThreads();
    EXPECT_GE(kshim::host::ClockNow() - start, 150 * 10000);
    for (PLATFORM_THREAD* t : Records()) {
        EXPECT_EQ(t->RunState.load(), PLATFORM_THREAD_FREE);
    }
}

}  // namespace
