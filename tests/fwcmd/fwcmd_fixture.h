// An adapter of a chosen device id with its firmware command queue, port 0, the firmware command
// thread, and a stand-in for the host interface in the chip's command-send slot: it puts the
// message "on a ring" as the bus layer does, hands the bytes the chip would fetch to the simulated
// boot ROM, reports the descriptor done at DISPATCH_LEVEL, and delivers the ROM's answer events
// through the driver's event reception (at once, or later when the ROM delays them).
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <chrono>
#include <thread>
#include <vector>

#include "Common/nic_uni_cmd_event.h"
#include "Common/qzcmd.h"
#include "Common/qzevent.h"
#include "chip/model.h"
#include "fw/events.h"
#include "fw/legacy_cmd.h"
#include "fw/rom.h"
#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/dmaq_rx.h"
#include "fwcmd_support.h"
#include "kshim/host/wait.h"
#include "shell/shell_fixture.h"

namespace fwcmdtest {

// One message as the command thread handed it to the host interface.
struct HandedOver {
    ULONG ringSelector = 0;
    ULONG slot = FW_CMD_SLOT_NONE;
    UCHAR cmdClass = 0;
    std::vector<uint8_t> bytes;  // the whole message buffer (prefix and payload)
};

// How the stand-in chip treats what it is handed.
enum class ChipMode {
    Rom,     // the simulated boot ROM consumes it and answers
    Silent,  // placed on the ring, never reported done, never answered
};

class FwCmdFixture : public shelltest::ShellTest {
protected:
    void SetUpDevice(USHORT deviceId, bool startThread = true)
    {
        MP_ADAPTER* a = adapter_.get();
        a->DeviceId = deviceId;
        HalRegisterChip(a);
        a->Signature = MP_ADAPTER_SIGNATURE;
        QzCmdInitFWCmdSlotEvents(a);
        QzCmdInitFWCmdQueue(a);
        port0_ = AddPort(0, EXTSTA);
        generation_ = sim::chip::ModelForDeviceId(deviceId).generation;
        rom_ = std::make_unique<sim::fw::RomFirmware>(generation_);
        a->HalOps.CmdSendMsg = &FwCmdFixture::SeamSendMsg;
        current_ = this;
        delivery_ = kshim::host::SimThread([this] { DeliveryLoop(); });
        if (startThread) {
            StartFwCmdThread();
        }
    }

    void TearDown() override
    {
        MP_ADAPTER* a = adapter_.get();
        ReleaseHeldHandOver();
        if (fwThreadStarted_) {
            a->StopThreads.store(1);
            PlatformCancelThread(a, &a->FwCmdThread);
            PlatformFreeThread(a, &a->FwCmdThread);
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopDelivery_ = true;
        }
        cv_.NotifyAll();
        delivery_.Join();
        for (PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(&a->Cmd.ControlQueue); cmd != nullptr;
             cmd = QzDequeueCmdQueueLocked(&a->Cmd.ControlQueue)) {
            QzReturnInternalCmdBuffer(a, cmd);
        }
        current_ = nullptr;
        shelltest::ShellTest::TearDown();
    }

    void StartFwCmdThread()
    {
        MP_ADAPTER* a = adapter_.get();
        PlatformInitThread(a, a, &a->FwCmdThread, FwCmdThreadBody, "PlatformFWCmdThread");
        ASSERT_EQ(PlatformRunThread(a, &a->FwCmdThread), STATUS_SUCCESS);
        fwThreadStarted_ = true;
    }

    // ---- sending ------------------------------------------------------------------------------------
    NTSTATUS Send(UCHAR cmdId, UCHAR cmdClass, UCHAR flags, std::vector<uint8_t> payload = {}, UCHAR extCmdId = 0,
                  UCHAR setQuery = 0, FW_CMD_CALLBACK callback = nullptr, ULONG64 context = 0, ULONG argument = 0)
    {
        return QzCmdSendSetQuery(port0_, cmdId, cmdClass, extCmdId, setQuery, flags,
                                 payload.empty() ? nullptr : payload.data(), static_cast<USHORT>(payload.size()),
                                 callback, context, argument);
    }

    NTSTATUS SendAtDispatch(UCHAR cmdId, UCHAR cmdClass, UCHAR flags, std::vector<uint8_t> payload = {},
                            UCHAR extCmdId = 0, FW_CMD_CALLBACK callback = nullptr, ULONG64 context = 0)
    {
        KIRQL old;
        KeRaiseIrql(DISPATCH_LEVEL, &old);
        NTSTATUS status = Send(cmdId, cmdClass, flags, std::move(payload), extCmdId, 0, callback, context);
        KeLowerIrql(old);
        return status;
    }

    // ---- the slots, read under the queue lock ------------------------------------------------------------
    struct SlotState {
        bool InUse;
        bool Sent;
        bool Answered;
        bool OnRing;
        NTSTATUS Status;
    };
    SlotState Slot(ULONG index)
    {
        KIRQL old;
        KeAcquireSpinLock(&adapter_->FwCmd.FwCmdSlotLock, &old);
        const FW_CMD_SLOT& slot = adapter_->FwCmd.FwCmdSlots[index];
        SlotState state{slot.InUse != 0, slot.Sent != 0, slot.Answered != 0, slot.OnRing != 0, slot.Status};
        KeReleaseSpinLock(&adapter_->FwCmd.FwCmdSlotLock, old);
        return state;
    }

    ULONG SlotsInUse()
    {
        ULONG n = 0;
        for (ULONG i = 0; i < FW_CMD_SLOT_COUNT; ++i) {
            n += Slot(i).InUse ? 1 : 0;
        }
        return n;
    }

    // What the bus layer does once the message is on a ring.
    void MarkOnRing(ULONG index)
    {
        KIRQL old;
        KeAcquireSpinLock(&adapter_->FwCmd.FwCmdSlotLock, &old);
        adapter_->FwCmd.FwCmdSlots[index].OnRing = 1;
        KeReleaseSpinLock(&adapter_->FwCmd.FwCmdSlotLock, old);
    }

    // The command ring's descriptor-done report, at DISPATCH_LEVEL as the interrupt work gives it.
    ULONG ReportDmaDone(ULONG slot, NTSTATUS status = STATUS_SUCCESS)
    {
        KIRQL old;
        KeRaiseIrql(DISPATCH_LEVEL, &old);
        ULONG used = QzCmdEventCompleteWaitingFwCmd(adapter_.get(), FW_CMD_EVENT_DMA_DONE, nullptr, slot, status, FALSE);
        KeLowerIrql(old);
        return used;
    }

    // One event buffer through the event entry, in a receive buffer of exactly its size unless
    // `bufferSize` asks for more, so that a read past the received bytes is an address error.
    UCHAR DeliverEvent(const std::vector<uint8_t>& bytes, ULONG receivedLength = ~0u, ULONG bufferSize = 0)
    {
        std::vector<uint8_t> buffer(bytes);
        if (bufferSize > buffer.size()) {
            buffer.resize(bufferSize);
        }
        RX_DMAQ_DESC record{};
        record.PoolIndex = 1;
        record.BufferSize = static_cast<ULONG>(buffer.size());
        record.BufferVa = buffer.empty() ? nullptr : buffer.data();
        record.ReceivedLength = receivedLength == ~0u ? static_cast<ULONG>(bytes.size()) : receivedLength;
        UCHAR handled = RecvProcessFwEvent(adapter_.get(), &record);
        EXPECT_EQ(record.ReceivedLength, 0u) << "the record goes back to its pool";
        return handled;
    }

    std::vector<uint8_t> RamEvent(uint8_t id, std::vector<uint8_t> payload = {}, uint8_t extId = 0, uint8_t option = 0)
    {
        sim::fw::EventHeader header;
        header.id = id;
        header.extId = extId;
        header.option = option;
        return sim::fw::EncodeRamEvent(generation_, header, payload);
    }

    // ---- what the host interface was handed -----------------------------------------------------------
    std::vector<HandedOver> HandedOverMessages()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return handedOver_;
    }
    size_t HandedOverCount()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return handedOver_.size();
    }
    // Waits on the hand-over itself (no time-out of the stand-in's clock, a minute of host time as the
    // last resort) until `count` messages were handed over; true when exactly `count` were.
    bool WaitHandedOver(size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        kshim::host::WaitUntil(lock, cv_, INT64_MAX, [&] { return handedOver_.size() >= count; },
                               std::chrono::steady_clock::now() + std::chrono::minutes(1));
        return handedOver_.size() == count;
    }

    // The next hand-over blocks in the host interface until ReleaseHeldHandOver.
    void HoldNextHandOver()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        holdNext_ = true;
    }
    bool HandOverHeld()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return holding_;
    }
    void ReleaseHeldHandOver()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            holdNext_ = false;
            holding_ = false;
        }
        cv_.NotifyAll();
    }

    // Posted internal commands, taken off the control thread's queue.
    struct Posted {
        ULONG cmdId;
        ULONG portIndex;
        std::vector<uint8_t> payload;
    };
    // Waits (support/eventually.h, up to 5 s) until at least `atLeast` records were posted, then takes
    // them all: the answer path posts its record after it has woken the sender.
    std::vector<Posted> TakePosted(size_t atLeast)
    {
        std::vector<Posted> posted;
        qzl_test::Eventually([&] {
            std::vector<Posted> more = TakePosted();
            posted.insert(posted.end(), more.begin(), more.end());
            return posted.size() >= atLeast;
        });
        return posted;
    }
    std::vector<Posted> TakePosted()
    {
        std::vector<Posted> posted;
        MP_ADAPTER* a = adapter_.get();
        for (PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(&a->Cmd.ControlQueue); cmd != nullptr;
             cmd = QzDequeueCmdQueueLocked(&a->Cmd.ControlQueue)) {
            posted.push_back({cmd->CmdId, cmd->PortIndex, std::vector<uint8_t>(cmd->Payload, cmd->Payload + cmd->PayloadLength)});
            QzReturnInternalCmdBuffer(a, cmd);
        }
        return posted;
    }

    sim::fw::RomFirmware& Rom() { return *rom_; }

    // An adapter field the driver's threads write while the test polls it.
    template <typename T>
    static T Load(const T& field)
    {
        return __atomic_load_n(&field, __ATOMIC_ACQUIRE);
    }

    PMP_PORT port0_ = nullptr;
    sim::chip::Generation generation_ = sim::chip::Generation::Second;
    ChipMode chipMode_ = ChipMode::Rom;

private:
    static NTSTATUS SeamSendMsg(PMP_ADAPTER adapter, PFW_CMD_MSG msg, ULONG ringSelector)
    {
        return current_->OnSendMsg(adapter, msg, ringSelector);
    }

    NTSTATUS OnSendMsg(PMP_ADAPTER adapter, PFW_CMD_MSG msg, ULONG ringSelector)
    {
        EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
        HandedOver record{ringSelector, msg->SlotIndex, msg->Class,
                          std::vector<uint8_t>(msg->Buffer, msg->Buffer + msg->TotalLength)};
        {
            std::unique_lock<std::mutex> lock(mutex_);
            handedOver_.push_back(record);
            cv_.NotifyAll();
            if (holdNext_) {
                holdNext_ = false;
                holding_ = true;
                kshim::host::WaitUntil(lock, cv_, INT64_MAX, [this] { return !holding_; });
                // The message must still be there once the host interface goes on with it.
                EXPECT_EQ(std::memcmp(msg->Buffer, record.bytes.data(), record.bytes.size()), 0);
            }
        }
        if (record.slot < FW_CMD_SLOT_COUNT) {
            MarkOnRing(record.slot);
        }
        if (chipMode_ == ChipMode::Silent) {
            return STATUS_SUCCESS;
        }
        // The ring the chip fetches from, and what it fetches: the second and third generation's
        // download data leaves its prefix behind.
        const bool older = generation_ == sim::chip::Generation::Older;
        const bool firmwareRunning = adapter->FwDownloaded != 0;
        const unsigned ring = ringSelector == FW_CMD_RING_COMMAND && (firmwareRunning || !older) ? sim::fw::kCommandRing
                                                                                                 : sim::fw::kDownloadRing;
        size_t skip = !older && msg->Class == FW_CMD_CLASS_DOWNLOAD_DATA ? FW_CMD_LEGACY_PREFIX_LENGTH : 0;
        sim::fw::RomAnswer answer =
            rom_->Consume(ring, record.bytes.data() + skip, record.bytes.size() - skip);
        if (answer.dmaDone && record.slot < FW_CMD_SLOT_COUNT) {
            ReportDmaDone(record.slot);
        }
        for (auto& event : answer.events) {
            if (answer.delayMs == 0) {
                DeliverEvent(event);
            } else {
                std::lock_guard<std::mutex> lock(mutex_);
                delayed_.push_back({kshim::host::ClockNow() + int64_t(answer.delayMs) * 10000, event});
                ++delayedAdded_;
            }
        }
        cv_.NotifyAll();
        return STATUS_SUCCESS;
    }

    // Delivers delayed answers once the stand-in's clock has reached them (a wait of the stand-in until
    // the earliest is due or another comes).
    void DeliveryLoop()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopDelivery_) {
            int64_t next = INT64_MAX;
            for (auto it = delayed_.begin(); it != delayed_.end();) {
                if (kshim::host::ClockNow() >= it->due) {
                    std::vector<uint8_t> event = it->bytes;
                    it = delayed_.erase(it);
                    lock.unlock();
                    DeliverEvent(event);
                    lock.lock();
                    it = delayed_.begin();  // the list may have changed meanwhile
                    next = INT64_MAX;
                } else {
                    next = std::min(next, it->due);
                    ++it;
                }
            }
            const uint64_t seen = delayedAdded_;
            kshim::host::WaitUntil(lock, cv_, next, [&] { return stopDelivery_ || delayedAdded_ != seen; });
        }
    }

    struct Delayed {
        int64_t due;
        std::vector<uint8_t> bytes;
    };

    static inline FwCmdFixture* current_ = nullptr;
    std::unique_ptr<sim::fw::RomFirmware> rom_;
    std::mutex mutex_;
    kshim::host::WaitCond cv_;
    std::vector<HandedOver> handedOver_;
    std::vector<Delayed> delayed_;
    uint64_t delayedAdded_ = 0;
    bool holdNext_ = false;
    bool holding_ = false;
    bool stopDelivery_ = false;
    bool fwThreadStarted_ = false;
    kshim::host::SimThread delivery_;
};

// Test names: "dev3502", and "<case>_dev3502" for (device, case) parameters whose case has a name.
inline std::string DeviceName(USHORT device)
{
    char text[16];
    std::snprintf(text, sizeof(text), "dev%04X", static_cast<unsigned>(device));
    return text;
}
inline std::string DeviceTestName(const ::testing::TestParamInfo<USHORT>& info) { return DeviceName(info.param); }
template <typename Case>
std::string DeviceCaseTestName(const ::testing::TestParamInfo<std::tuple<USHORT, Case>>& info)
{
    return std::string(std::get<1>(info.param).name) + "_" + DeviceName(std::get<0>(info.param));
}

// Payloads of the boot ROM's queries.
inline std::vector<uint8_t> RegisterReadPayload(uint32_t address)
{
    std::vector<uint8_t> p(4, 0);
    sim::fw::AppendU32(p, address);
    sim::fw::AppendU32(p, 0);
    return p;
}

inline std::vector<uint8_t> LogBaseQueryPayload()
{
    std::vector<uint8_t> p(20, 0);
    p[16] = 1;
    return p;
}

}  // namespace fwcmdtest
