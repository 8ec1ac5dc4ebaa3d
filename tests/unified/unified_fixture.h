// An adapter of a chosen device id with its firmware command queue, port 0 and the firmware command
// thread, whose chip-send slot stands in for the host interface: it puts each message "on the ring",
// hands the bytes the chip would fetch to the simulated RAM code (unified commands) and reports the
// descriptor done (the unified or the legacy sent report) at DISPATCH_LEVEL, then delivers the RAM
// code's answer events through the driver's event entry.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "Common/nic_uni_cmd_event.h"
#include "Common/qzcmd.h"
#include "Common/qzevent.h"
#include "fw/events.h"
#include "fw/unified_cmd.h"
#include "fw/unified_events.h"
#include "fw/unified_ram.h"
#include "fwcmd/fwcmd_support.h"
#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/dmaq_rx.h"
#include "shell/shell_fixture.h"

namespace unifiedtest {

using Bytes = std::vector<uint8_t>;

struct HandedOver {
    ULONG slot = FW_CMD_SLOT_NONE;
    Bytes bytes;
};

// Hex text of bytes, "0A 0B ..." as the driver's rebuilt-event trace writes them.
inline std::string Hex(const Bytes& bytes)
{
    std::string text;
    char b[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof(b), i + 1 < bytes.size() ? "%02X " : "%02X", bytes[i]);
        text += b;
    }
    return text;
}

inline void PutU16(Bytes& b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(Bytes& b, size_t at, uint32_t v)
{
    PutU16(b, at, static_cast<uint16_t>(v));
    PutU16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

class UnifiedTest : public shelltest::ShellTest {
protected:
    void SetUpDevice(USHORT deviceId, bool inRam = true, bool startThread = true)
    {
        MP_ADAPTER* a = adapter_.get();
        a->DeviceId = deviceId;
        HalRegisterChip(a);
        a->Signature = MP_ADAPTER_SIGNATURE;
        a->FwDownloaded = inRam ? 1 : 0;
        QzCmdInitFWCmdSlotEvents(a);
        QzCmdInitFWCmdQueue(a);
        port0_ = AddPort(0, EXTSTA);
        a->HalOps.CmdSendMsg = &UnifiedTest::SeamSendMsg;
        current_ = this;
        if (startThread) {
            StartThread();
        }
    }

    void StartThread()
    {
        MP_ADAPTER* a = adapter_.get();
        PlatformInitThread(a, a, &a->FwCmdThread, fwcmdtest::FwCmdThreadBody, "PlatformFWCmdThread");
        ASSERT_EQ(PlatformRunThread(a, &a->FwCmdThread), STATUS_SUCCESS);
        threadStarted_ = true;
    }

    void TearDown() override
    {
        MP_ADAPTER* a = adapter_.get();
        if (threadStarted_) {
            a->StopThreads.store(1);
            PlatformCancelThread(a, &a->FwCmdThread);
            PlatformFreeThread(a, &a->FwCmdThread);
        }
        for (PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(&a->Cmd.ControlQueue); cmd != nullptr;
             cmd = QzDequeueCmdQueueLocked(&a->Cmd.ControlQueue)) {
            QzReturnInternalCmdBuffer(a, cmd);
        }
        current_ = nullptr;
        shelltest::ShellTest::TearDown();
    }

    // The send call as every builder's caller uses it.
    NTSTATUS Send(UCHAR cmdId, UCHAR flags, Bytes payload = {}, UCHAR extCmdId = 0, UCHAR setQuery = 1,
                  UCHAR cmdClass = FW_CMD_CLASS_NORMAL)
    {
        return QzCmdSendSetQuery(port0_, cmdId, cmdClass, extCmdId, setQuery, flags,
                                 payload.empty() ? nullptr : payload.data(), static_cast<USHORT>(payload.size()),
                                 nullptr, 0, 0);
    }

    ULONG SlotsInUseCount()
    {
        ULONG n = 0;
        KIRQL old;
        KeAcquireSpinLock(&adapter_->FwCmd.FwCmdSlotLock, &old);
        for (const FW_CMD_SLOT& slot : adapter_->FwCmd.FwCmdSlots) {
            n += slot.InUse ? 1 : 0;
        }
        KeReleaseSpinLock(&adapter_->FwCmd.FwCmdSlotLock, old);
        return n;
    }

    std::vector<HandedOver> HandedOverMessages()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return handedOver_;
    }

    // One receive buffer through the event entry, in a buffer of exactly its size.
    UCHAR DeliverEvent(const Bytes& bytes)
    {
        Bytes buffer(bytes);
        RX_DMAQ_DESC record{};
        record.PoolIndex = 1;
        record.BufferSize = static_cast<ULONG>(buffer.size());
        record.BufferVa = buffer.empty() ? nullptr : buffer.data();
        record.ReceivedLength = static_cast<ULONG>(bytes.size());
        return RecvProcessFwEvent(adapter_.get(), &record);
    }

    // A unified event of the third generation with a raw body after the 12-byte header.
    static Bytes UniEvent(uint8_t id, const Bytes& body, uint8_t seq = 0)
    {
        return sim::fw::EncodeUnifiedEventRaw(id, seq, body);
    }
    static Bytes UniEvent(uint8_t id, const Bytes& fixed, const std::vector<sim::fw::UniTlv>& tlvs, uint8_t seq = 0)
    {
        return sim::fw::EncodeUnifiedEvent(id, seq, fixed, tlvs);
    }

    sim::fw::UnifiedRamFirmware fw_;
    PMP_PORT port0_ = nullptr;
    bool answer_ = true;  // the RAM code answers; off: messages stay on the ring, never reported done

private:
    static NTSTATUS SeamSendMsg(PMP_ADAPTER adapter, PFW_CMD_MSG msg, ULONG ringSelector)
    {
        return current_->OnSendMsg(adapter, msg, ringSelector);
    }

    NTSTATUS OnSendMsg(PMP_ADAPTER adapter, PFW_CMD_MSG msg, ULONG ringSelector)
    {
        HandedOver record{msg->SlotIndex, Bytes(msg->Buffer, msg->Buffer + msg->TotalLength)};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            handedOver_.push_back(record);
        }
        if (record.slot < FW_CMD_SLOT_COUNT) {
            KIRQL old;
            KeAcquireSpinLock(&adapter->FwCmd.FwCmdSlotLock, &old);
            adapter->FwCmd.FwCmdSlots[record.slot].OnRing = 1;
            KeReleaseSpinLock(&adapter->FwCmd.FwCmdSlotLock, old);
        }
        if (!answer_) {
            return STATUS_SUCCESS;
        }
        const bool unified = sim::fw::IsUnifiedCommand(record.bytes.data(), record.bytes.size());
        sim::fw::UnifiedAnswer answer;
        if (unified) {
            answer = fw_.Consume(record.bytes.data(), record.bytes.size());
        }
        if (record.slot < FW_CMD_SLOT_COUNT) {
            KIRQL old;
            KeRaiseIrql(DISPATCH_LEVEL, &old);
            (void)QzCmdEventCompleteWaitingFwCmd(adapter, unified ? FW_CMD_UNI_EVENT_DMA_DONE : FW_CMD_EVENT_DMA_DONE,
                                                 nullptr, record.slot, STATUS_SUCCESS, unified);
            KeLowerIrql(old);
        }
        for (const Bytes& event : answer.events) {
            DeliverEvent(event);
        }
        return STATUS_SUCCESS;
    }

    static inline UnifiedTest* current_ = nullptr;
    std::mutex mutex_;
    std::vector<HandedOver> handedOver_;
    bool threadStarted_ = false;
};

}  // namespace unifiedtest
