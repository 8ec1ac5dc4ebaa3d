// Shared by the host-interface tests: a simulated chip under the real driver, loaded through the
// simulated OS and prepared (chip selected, BAR mapped, interrupt object created), with the DMA
// enabler, the internal command pools, the rings created and started and the interrupt enabled as
// the bring-up would; and a way to wait for the interrupt path.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "../../kshim/src/wdf_interrupt_internal.h"
#include "Common/common.h"
#include "chip/chip.h"
#include "kshim/host/control.h"
#include "kshim/host/dma.h"
#include "kshim/host/os.h"
#include "kshim/trace.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"
#include "platform/wificx/wificxmain.h"
#include "support/crossings.h"
#include "support/eventually.h"

namespace hiftest {

using sim::chip::Chip;

// Waits until `done` holds (support/eventually.h); false after `ms`.
inline bool WaitFor(const std::function<bool()>& done, unsigned ms = 5000)
{
    return qzl_test::Eventually(done, ms);
}

inline size_t CountTraces(const std::string& needle)
{
    size_t n = 0;
    for (const kshim::host::TraceRecord& r : kshim::host::TraceSnapshot()) {
        n += r.text.find(needle) != std::string::npos ? 1 : 0;
    }
    return n;
}

// A firmware-event handler ran when it traced under its own name: "Name: ..." once it does its work,
// and a call into its service as the stand-in recorded it while that service is still missing.
inline size_t HandlerRuns(const std::string& handler)
{
    return CountTraces(handler + ": ") + qzltest::NotBuiltCalls(handler);
}

class Device : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::TraceSetLevel(TRACE_LEVEL_VERBOSE);
        kshim::host::TraceSetCapacity(1u << 20);
        ASSERT_EQ(os_.Load(DriverEntry, u"wdrvcx"), STATUS_SUCCESS);
    }
    void TearDown() override
    {
        Stop();
        if (device_ != nullptr) {
            os_.Remove(device_);
        }
        kshim::host::UnloadReport report = os_.Unload();
        EXPECT_TRUE(report.clean) << report.text;
        EXPECT_EQ(kshim::host::DmaLiveCommonBuffers(), 0u);
        kshim::host::DmaResetDefaults();
        kshim::host::ResetDefaults();
    }

    // Prepares the device's hardware on a new simulated chip and builds what the bring-up would
    // before the rings start: configuration values, the DMA enabler, the command pools, the rings.
    void Prepare(USHORT deviceId)
    {
        chip_ = std::make_unique<Chip>(deviceId);
        kshim::host::DeviceConfig config;
        config.pci = chip_.get();
        device_ = os_.AddDevice(config);
        ASSERT_EQ(device_->AddStatus(), STATUS_SUCCESS);
        ASSERT_EQ(os_.PrepareHardware(device_), STATUS_SUCCESS);
        adapter_ = QZCxGetAdapter(device_->Handle());
        hif_ = adapter_->HifContext;
        REGISTRY_BLOCK& r = adapter_->RegistryBlock;
        r.ZiziSolution = 1;
        r.LockFreeDriverOwnDelay = 1000;
        r.BatteryLifeImprove = 1;
        r.TxRxThreadMode = 1;
        r.HwDlyIntEn = 1;
        r.FWIndexLogCheck = 1;
        adapter_->PortList[0] = &port_;
        port_.Adapter = adapter_;
        QzInitCmdQueue(&adapter_->Cmd.ControlQueue);
        QzInitCmdQueue(&adapter_->Cmd.IntHandlerQueue);
        QzInitCmdQueue(&adapter_->Cmd.FwLogQueue);
        QzInitInternalCmdBuffer(adapter_);
        QzInitIntHandlerCmdBuffer(adapter_);
        QzInitFWLogHandlerCmdBuffer(adapter_);
        pools_ = true;
        WDF_DMA_ENABLER_CONFIG dma;
        WDF_DMA_ENABLER_CONFIG_INIT(&dma, WdfDmaProfileScatterGather, 4096);
        ASSERT_EQ(WdfDmaEnablerCreate(device_->Handle(), &dma, WDF_NO_OBJECT_ATTRIBUTES, &adapter_->DmaEnabler),
                  STATUS_SUCCESS);
        ASSERT_EQ(NdisCommonHifInitTransmit(hif_, TRUE), STATUS_SUCCESS);
        ASSERT_EQ(NdisCommonHifInitRecv(hif_, TRUE), STATUS_SUCCESS);
        rings_ = true;
        chip_->ClearTranscript();
    }

    // Starts transmit and receive and enables the interrupt object, as the power-up does.
    void Start()
    {
        UCHAR progress[16] = {};
        ASSERT_EQ(NdisCommonHifStartTxRx(hif_, progress), STATUS_SUCCESS);
        ASSERT_EQ(kshim::wdf::InterruptsEnable(device_->Handle()), STATUS_SUCCESS);
        interruptsOn_ = true;
    }

    // Keeps the interrupt path off the rings from here on: the interrupt object is disabled and every
    // deferred routine queued before has run.
    void InterruptsOff()
    {
        if (interruptsOn_) {
            EXPECT_EQ(kshim::wdf::InterruptsDisable(device_->Handle()), STATUS_SUCCESS);
            KeFlushQueuedDpcs();
            interruptsOn_ = false;
        }
    }

    void Stop()
    {
        InterruptsOff();
        if (rings_) {
            NdisCommonHifFreeTransmit(hif_);
            NdisCommonHifFreeRecv(hif_);
            rings_ = false;
        }
        if (pools_) {
            Posted();
            QzFreeInternalCmdBuffer(adapter_);
            QzFreeIntHandlerCmdBuffer(adapter_);
            QzFreeFWLogHandlerCmdBuffer(adapter_);
            pools_ = false;
        }
        if (adapter_ != nullptr) {
            adapter_->PortList[0] = nullptr;
        }
    }

    // A field of a ring, read under the ring's lock: the deferred routine's ring services write them.
    template <typename T>
    T TxRingField(ULONG ring, T PCI_TX_RING::*field)
    {
        NdisCommonHifPciAcquireTxRingLock(hif_, ring);
        T value = hif_->TxRing[ring].*field;
        NdisCommonHifPciReleaseTxRingLock(hif_, ring);
        return value;
    }
    template <typename T>
    T RxRingField(ULONG ring, T PCI_RX_RING::*field)
    {
        NdisCommonHifPciAcquireRxRingLock(hif_, ring);
        T value = hif_->RxRing[ring].*field;
        NdisCommonHifPciReleaseRxRingLock(hif_, ring);
        return value;
    }

    // Internal commands posted to the control thread: {id, first payload word}.
    std::vector<std::pair<ULONG, ULONG>> Posted()
    {
        std::vector<std::pair<ULONG, ULONG>> posted;
        for (PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(&adapter_->Cmd.ControlQueue); cmd != nullptr;
             cmd = QzDequeueCmdQueueLocked(&adapter_->Cmd.ControlQueue)) {
            ULONG word = 0;
            if (cmd->Payload != nullptr && cmd->PayloadLength >= sizeof(word)) {
                std::memcpy(&word, cmd->Payload, sizeof(word));
            }
            posted.emplace_back(cmd->CmdId, word);
            QzReturnInternalCmdBuffer(adapter_, cmd);
        }
        return posted;
    }

    size_t Writes(ULONG address, std::optional<ULONG> value = std::nullopt) const
    {
        size_t n = 0;
        for (const sim::chip::Access& a : chip_->AccessesTo(address)) {
            n += a.write && (!value || a.value == *value) ? 1 : 0;
        }
        return n;
    }

    kshim::host::Os os_;
    std::unique_ptr<Chip> chip_;
    kshim::host::OsDevice* device_ = nullptr;
    MP_ADAPTER* adapter_ = nullptr;
    PCI_HIF_CONTEXT* hif_ = nullptr;
    MP_PORT port_{};
    bool pools_ = false;
    bool rings_ = false;
    bool interruptsOn_ = false;
};

}  // namespace hiftest
