// Shared by the receive-path tests: a started simulated chip under the real driver whose interrupt
// path stays away from the rings, so that a test pushes buffers into a receive ring and runs the
// ring service itself, with the ring's processing inline.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "../hif/hif_support.h"
#include "chip/rx_build.h"
#include "platform/ndis6/n6pci.h"
#include "platform/ndiscommon/dmaq.h"

namespace rxtest {

using sim::chip::RxdGeneration;
using sim::chip::RxRole;

class RxDevice : public hiftest::Device {
protected:
    void Open(USHORT deviceId)
    {
        Prepare(deviceId);
        Start();
        InterruptsOff();
        adapter_->RegistryBlock.TxRxThreadMode = 0;
        adapter_->RegistryBlock.TpParameter1 = 16;
        adapter_->TxDoneEntryLimit = 128;
        adapter_->RegistryBlock.Ageoutreport2 = 600;
        adapter_->RegistryBlock.AgeoutMsduReport = 30;
        LARGE_INTEGER now;
        KeQuerySystemTime(&now);
        adapter_->TxDoneAgeSweepTime = static_cast<ULONG64>(now.QuadPart);
        port_.PortNumber = 0;
        port_.PortType = EXTSTA;
        adapter_->PortCount = 1;
        generation_ = deviceId == 0x3404 ? RxdGeneration::Older
                      : (deviceId >> 8) == 0x36 ? RxdGeneration::Third
                                                : RxdGeneration::Second;
    }
    void TearDown() override
    {
        for (PTX_DMAQ_DESC r = TxDoneWaitqDequeue(adapter_, TX_DONE_WAITQ_HEAD); r != nullptr;
             r = TxDoneWaitqDequeue(adapter_, TX_DONE_WAITQ_HEAD)) {
            TxDmaqFree(adapter_, r);
        }
        Stop();
        Device::TearDown();
    }

    // Pushes a buffer into the ring that carries `role` and runs the driver's ring service on
    // driver ring `ring`.
    void Deliver(RxRole role, ULONG ring, const std::vector<uint8_t>& buffer)
    {
        ASSERT_EQ(chip_->PushRx(chip_->rings().RxRing(role), buffer.data(), buffer.size()), sim::chip::RxResult::Ok);
        (void)N6PciGetRxDonePkt(hif_, ring);
    }

    // Data records with the given tokens waiting for their transmit-done report (records with other
    // indexes taken on the way go back to the pool).
    void WaitForReport(const std::vector<USHORT>& tokens, const UCHAR* receiver = nullptr)
    {
        std::vector<PTX_DMAQ_DESC> spare;
        for (USHORT token : tokens) {
            PTX_DMAQ_DESC r = nullptr;
            while ((r = TxDmaqAlloc(adapter_, 0)) != nullptr && r->RecordIndex != token) {
                spare.push_back(r);
            }
            ASSERT_NE(r, nullptr) << "token " << token;
            r->Port = &port_;
            r->Frame = frame_;
            r->FrameLength = sizeof(frame_);
            if (receiver != nullptr) {
                std::memcpy(frame_ + 4, receiver, 6);
            }
            TxDoneWaitqEnqueue(adapter_, r);
        }
        for (PTX_DMAQ_DESC r : spare) {
            TxDmaqFree(adapter_, r);
        }
    }

    RxdGeneration generation_ = RxdGeneration::Third;
    UCHAR frame_[24] = {0x08, 0x01};
};

}  // namespace rxtest
