// A bare adapter with hand-made ports for the MLME core: no device, no worker threads unless a test
// starts the MLME thread itself.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "kshim/host/control.h"
#include "kshim/host/wait.h"
#include "support/eventually.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

namespace mlmetest {

inline const UCHAR kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline const UCHAR kAp[6] = {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x01};

// An 802.11 management frame: header (frame control from subtype and flag byte) and body.
inline std::vector<UCHAR> MgmtFrame(UCHAR subtype, std::vector<UCHAR> body = {}, const UCHAR* addr1 = kAp,
                                    UCHAR flags = 0)
{
    std::vector<UCHAR> f(24, 0);
    f[0] = static_cast<UCHAR>(subtype << 4);
    f[1] = flags;
    std::memcpy(&f[4], addr1, 6);
    std::memcpy(&f[10], kAp, 6);
    std::memcpy(&f[16], kAp, 6);
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

class MlmeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::ClockSetAuto();  // the halt's 500 ms wait costs no host time
        kshim::host::TraceSetLevel(TRACE_LEVEL_VERBOSE);
        kshim::host::TraceClear();
        outstanding_ = kshim::host::PoolOutstandingBlocks();
        adapter_ = new MP_ADAPTER();
    }

    void TearDown() override
    {
        if (adapter_->MlmeThread.RunState.load() != PLATFORM_THREAD_FREE) {
            adapter_->StopThreads.store(1);
            PlatformCancelThread(adapter_, &adapter_->MlmeThread);
            PlatformFreeThread(adapter_, &adapter_->MlmeThread);
        }
        if (started_ && adapter_->PortList[0] != nullptr) {
            MlmeHalt(adapter_, adapter_->PortList[0]);
        }
        for (PMP_PORT& port : adapter_->PortList) {
            delete port;
            port = nullptr;
        }
        delete adapter_;
        // Threads the test started finish what they give back before the pool is counted.
        EXPECT_TRUE(qzl_test::Settle());
        EXPECT_EQ(kshim::host::PoolOutstandingBlocks(), outstanding_) << kshim::host::PoolLeakReport();
        kshim::host::ResetDefaults();
    }

    MP_PORT* AddPort(ULONG number, ULONG type, ULONG opMode = 0)
    {
        auto* port = new MP_PORT();
        port->Adapter = adapter_;
        port->PortNumber = number;
        port->PortType = type;
        port->OpMode = opMode;
        port->Active = 1;
        port->Created = 1;
        port->Channel.PrimaryChannel = static_cast<UCHAR>(36 + number * 4);
        UCHAR address[6] = {0x02, 0x00, 0x00, 0x00, 0x00, static_cast<UCHAR>(0x10 + number)};
        std::memcpy(port->MacAddress, address, sizeof(address));
        adapter_->PortList[number] = port;
        return port;
    }

    // MlmeInit for an adapter with port 0 (created when missing); the pool comes first, as at device start.
    void StartMlme()
    {
        if (adapter_->PortList[0] == nullptr) {
            AddPort(0, EXTSTA);
        }
        ASSERT_EQ(MlmeSyncInitMacTabPool(adapter_), STATUS_SUCCESS);
        ASSERT_EQ(MlmeInit(adapter_), STATUS_SUCCESS);
        started_ = true;
    }

    // Builds port's machines as port creation does.
    void InitPort(MP_PORT* port) { ASSERT_EQ(MlmePortInit(adapter_, port), STATUS_SUCCESS); }

    ULONG Queued()
    {
        PMLME_QUEUE q = &adapter_->Mlme.Queue;
        KIRQL old;
        KeAcquireSpinLock(&q->Lock, &old);
        ULONG n = q->Num;
        KeReleaseSpinLock(&q->Lock, old);
        return n;
    }

    // The queued elements, oldest first (without taking them).
    std::vector<MLME_QUEUE_ELEM*> QueuedElements()
    {
        std::vector<MLME_QUEUE_ELEM*> out;
        PMLME_QUEUE q = &adapter_->Mlme.Queue;
        for (ULONG i = 0; i < q->Num; ++i) {
            out.push_back(&q->Entry[(q->Head + i) % MAX_LEN_OF_MLME_QUEUE]);
        }
        return out;
    }

    static size_t CountTraces(const std::string& needle)
    {
        size_t n = 0;
        for (const auto& record : kshim::host::TraceSnapshot()) {
            n += record.text.find(needle) != std::string::npos ? 1 : 0;
        }
        return n;
    }

    static bool Eventually(const std::function<bool()>& predicate) { return qzl_test::Eventually(predicate, 2000); }

    MP_ADAPTER* adapter_ = nullptr;
    bool started_ = false;
    uint64_t outstanding_ = 0;
};

}  // namespace mlmetest
