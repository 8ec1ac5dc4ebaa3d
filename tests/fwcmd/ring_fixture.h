// The real driver on a simulated chip with the firmware on its rings: hardware prepared, rings
// created and started, the interrupt enabled, the firmware command queue initialised and
// "PlatformFWCmdThread" running, and the simulated boot ROM consuming the command and download rings
// and answering through the event ring. Received events are served in the interrupt's deferred
// routine ("TxRxThreadMode" off), as the chip's interrupt work gives them.
#pragma once

#include <atomic>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "../hif/hif_support.h"
#include "Common/qzcmd.h"
#include "Common/qzevent.h"
#include "fw/events.h"
#include "fw/ring_firmware.h"
#include "fwcmd_support.h"
#include "platform/ndis6/n6pci.h"

namespace fwcmdtest {

class RingDevice : public hiftest::Device {
protected:
    void Bring(USHORT deviceId)
    {
        Prepare(deviceId);
        if (HasFailure()) {
            return;
        }
        adapter_->RegistryBlock.TxRxThreadMode = 0;
        QzInitMsgCmdBuffer(adapter_);
        msgPool_ = true;
        QzCmdInitFWCmdSlotEvents(adapter_);
        QzCmdInitFWCmdQueue(adapter_);
        PlatformInitThread(adapter_, adapter_, &adapter_->FwCmdThread, FwCmdThreadBody, "PlatformFWCmdThread");
        ASSERT_EQ(PlatformRunThread(adapter_, &adapter_->FwCmdThread), STATUS_SUCCESS);
        thread_ = true;
        Start();
        fw_ = std::make_unique<sim::fw::RingFirmware>(*chip_);
        generation_ = chip_->model().generation;
        txFreeAtStart_ = TxDmaqGetFreeCount(adapter_, 1);
        rxFreeAtStart_ = RxDmaqGetFreeCount(adapter_, 1);
    }

    void TearDown() override
    {
        if (thread_) {
            adapter_->StopThreads.store(1);
            PlatformCancelThread(adapter_, &adapter_->FwCmdThread);
            PlatformFreeThread(adapter_, &adapter_->FwCmdThread);
            thread_ = false;
        }
        fw_.reset();
        Stop();
        if (msgPool_) {
            QzFreeMsgCmdBuffer(adapter_);
            msgPool_ = false;
        }
        hiftest::Device::TearDown();
    }

    NTSTATUS Send(UCHAR cmdId, UCHAR cmdClass, UCHAR flags, std::vector<uint8_t> payload = {}, UCHAR setQuery = 0)
    {
        return QzCmdSendSetQuery(&port_, cmdId, cmdClass, 0, setQuery, flags,
                                 payload.empty() ? nullptr : payload.data(), static_cast<USHORT>(payload.size()),
                                 nullptr, 0, 0);
    }
    NTSTATUS SendAtDispatch(UCHAR cmdId, UCHAR cmdClass, UCHAR flags, std::vector<uint8_t> payload = {})
    {
        KIRQL old;
        KeRaiseIrql(DISPATCH_LEVEL, &old);
        NTSTATUS status = Send(cmdId, cmdClass, flags, std::move(payload));
        KeLowerIrql(old);
        return status;
    }

    // Slot fields, read under the queue lock.
    bool SlotInUse(ULONG index)
    {
        KIRQL old;
        KeAcquireSpinLock(&adapter_->FwCmd.FwCmdSlotLock, &old);
        bool inUse = adapter_->FwCmd.FwCmdSlots[index].InUse != 0;
        KeReleaseSpinLock(&adapter_->FwCmd.FwCmdSlotLock, old);
        return inUse;
    }
    ULONG SlotsInUse()
    {
        ULONG n = 0;
        for (ULONG i = 0; i < FW_CMD_SLOT_COUNT; ++i) {
            n += SlotInUse(i) ? 1 : 0;
        }
        return n;
    }

    // Every command record back home and nothing left on the command ring.
    bool CommandRingIdle()
    {
        NdisCommonHifPciAcquireTxRingLock(hif_, PCI_TX_RING_COMMAND);
        const ULONG inFlight = hif_->TxRing[PCI_TX_RING_COMMAND].InFlight;
        NdisCommonHifPciReleaseTxRingLock(hif_, PCI_TX_RING_COMMAND);
        return inFlight == 0 && TxDWaitqGetCount(adapter_) == 0 && TxDmaqGetFreeCount(adapter_, 1) == txFreeAtStart_;
    }
    bool EventRecordsHome() { return RxDmaqGetFreeCount(adapter_, 1) == rxFreeAtStart_; }

    std::unique_ptr<sim::fw::RingFirmware> fw_;
    sim::chip::Generation generation_ = sim::chip::Generation::Second;
    ULONG txFreeAtStart_ = 0;
    ULONG rxFreeAtStart_ = 0;
    bool thread_ = false;
    bool msgPool_ = false;
};

}  // namespace fwcmdtest
