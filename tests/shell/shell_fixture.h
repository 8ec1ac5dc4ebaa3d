// A bare adapter as hardware preparation and the adapter block initialisation leave it: blocks
// allocated, spin locks and queues initialised, the six command pools built.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Common/common.h"
#include "Common/mlme/mlmesync_rnr.h"
#include "Common/p2p/p2p.h"
#include "kshim/host/control.h"
#include "kshim/host/os.h"
#include "support/eventually.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/ndiscommon/trace.h"
#include "support/crossings.h"

namespace shelltest {

struct AdapterDeleter {
    void operator()(MP_ADAPTER* adapter) const { delete adapter; }
};
using AdapterPtr = std::unique_ptr<MP_ADAPTER, AdapterDeleter>;

inline AdapterPtr NewZeroedAdapter() { return AdapterPtr(new MP_ADAPTER()); }

// Stand-in defaults, and no pool block left behind by the test.
class LeakCheckedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::TraceClear();
        outstanding_ = kshim::host::PoolOutstandingBlocks();
    }
    void TearDown() override
    {
        EXPECT_EQ(kshim::host::PoolOutstandingBlocks(), outstanding_) << kshim::host::PoolLeakReport();
        kshim::host::ResetDefaults();
    }
    uint64_t outstanding_ = 0;
};

// A driver with a plain framework device: the parent of the adapter's timers and work items.
inline NTSTATUS PlainDeviceAdd(WDFDRIVER, PWDFDEVICE_INIT init)
{
    WDFDEVICE device = nullptr;
    return WdfDeviceCreate(&init, WDF_NO_OBJECT_ATTRIBUTES, &device);
}

inline NTSTATUS PlainDriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath)
{
    WDF_DRIVER_CONFIG config;
    WDF_DRIVER_CONFIG_INIT(&config, PlainDeviceAdd);
    return WdfDriverCreate(driverObject, registryPath, WDF_NO_OBJECT_ATTRIBUTES, &config, WDF_NO_HANDLE);
}

class ShellTest : public LeakCheckedTest {
protected:
    void SetUp() override
    {
        LeakCheckedTest::SetUp();
        kshim::host::TraceSetLevel(TRACE_LEVEL_VERBOSE);
        ASSERT_EQ(os_.Load(PlainDriverEntry, u"plain"), STATUS_SUCCESS);
        device_ = os_.AddDevice();
        ASSERT_EQ(device_->State(), kshim::host::DeviceState::Added);
        adapter_ = NewZeroedAdapter();
        adapter_->Device = device_->Handle();
        ASSERT_EQ(Ndis6CommonAllocAdapterBlock(adapter_.get()), STATUS_SUCCESS);
        adapter_->CommonBlock->NdisVersion = NDIS_VERSION_630;
        NdisCommonSpinLockInit(adapter_.get());
        MP_ADAPTER* a = adapter_.get();
        QzInitCmdQueue(&a->Cmd.ControlQueue);
        QzInitCmdQueue(&a->Cmd.IcsQueue);
        QzInitCmdQueue(&a->Cmd.IntHandlerQueue);
        QzInitCmdQueue(&a->Cmd.FwLogQueue);
        QzInitCmdQueue(&a->P2pBlock->CmdQueue);
        QzInitInternalCmdBuffer(a);
        QzInitFWLogHandlerCmdBuffer(a);
        QzInitIntHandlerCmdBuffer(a);
        QzInitIcsCmdBuffer(a);
        QzInitTXQNetBuffer(a);
        QzInitMsgCmdBuffer(a);
        ScanNeighborAPInfoListInit(a, &a->NeighborApList);
    }

    void TearDown() override
    {
        MP_ADAPTER* a = adapter_.get();
        if (threadsStarted_) {
            NdisCommonFreeAllThreads(a);
        }
        // A system thread signals its object a moment before it ends; the unload check counts the
        // threads once every one has ended or waits.
        EXPECT_TRUE(qzl_test::Settle());
        ScanNeighborAPInfoListDeInit(a, &a->NeighborApList);
        N6FreePortMemory(a);
        QzFreeFWLogHandlerCmdBuffer(a);
        QzFreeIcsCmdBuffer(a);
        QzFreeIntHandlerCmdBuffer(a);
        QzFreeInternalCmdBuffer(a);
        QzFreeMsgCmdBuffer(a);
        QzFreeTXQNetBuffer(a);
        NdisCommonDeallocateAllSpinLock(a);
        Ndis6CommonDeallocAdapterBlock(a);
        os_.Remove(device_);
        kshim::host::UnloadReport report = os_.Unload();
        EXPECT_TRUE(report.clean) << report.text;
        LeakCheckedTest::TearDown();
    }

    // A zeroed port block bound to the adapter (not initialised: no send thread).
    MP_PORT* AddPort(ULONG number, ULONG type)
    {
        PMP_PORT port = nullptr;
        EXPECT_EQ(NdisCommonInitAllocPort(adapter_.get(), type, 0, &port), STATUS_SUCCESS);
        port->Adapter = adapter_.get();
        port->PortNumber = number;
        port->Active = 1;
        adapter_->PortList[number] = port;
        return port;
    }

    void StartThreads()
    {
        ASSERT_EQ(NdisCommonCreateAllThreads(adapter_.get()), STATUS_SUCCESS);
        threadsStarted_ = true;
    }

    void StopThreads()
    {
        NdisCommonFreeAllThreads(adapter_.get());
        threadsStarted_ = false;
    }

    // Counts read under their locks, while worker threads change them.
    static ULONG FreeCount(CMD_BUFFER_POOL* pool)
    {
        KIRQL old;
        KeAcquireSpinLock(&pool->Lock, &old);
        ULONG n = pool->FreeCount;
        KeReleaseSpinLock(&pool->Lock, old);
        return n;
    }
    static ULONG QueueCount(COMMAND_QUEUE* queue)
    {
        KIRQL old;
        KeAcquireSpinLock(&queue->Lock, &old);
        ULONG n = queue->Count;
        KeReleaseSpinLock(&queue->Lock, old);
        return n;
    }

    // Texts of the captured trace records, in order.
    static std::vector<std::string> TraceTexts()
    {
        std::vector<std::string> texts;
        for (const auto& record : kshim::host::TraceSnapshot()) {
            texts.push_back(record.text);
        }
        return texts;
    }

    static size_t CountTraces(const std::string& needle)
    {
        size_t n = 0;
        for (const auto& text : TraceTexts()) {
            n += text.find(needle) != std::string::npos ? 1 : 0;
        }
        return n;
    }

    // A firmware-event handler ran when it traced under its own name: "Name: ..." once it does its work,
    // and a call into its service as the stand-in recorded it while that service is still missing.
    static size_t HandlerRuns(const std::string& handler)
    {
        return CountTraces(handler + ": ") + qzltest::NotBuiltCalls(handler);
    }

    // Waits until the predicate holds (support/eventually.h) or two seconds pass.
    static bool Eventually(const std::function<bool()>& predicate) { return qzl_test::Eventually(predicate, 2000); }

    kshim::host::Os os_;
    kshim::host::OsDevice* device_ = nullptr;
    AdapterPtr adapter_;
    bool threadsStarted_ = false;
};

}  // namespace shelltest
