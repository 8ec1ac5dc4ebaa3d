// An adapter of a chosen chip with port 0 bound to BSS index 0 and the firmware command thread. The
// chip-send slot hands every message to the simulated firmware of its format: unified commands to the
// unified RAM code, legacy commands to the channel manager's grant; it reports each message sent and
// delivers the answers through the driver's event entry.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "Common/qzcmd.h"
#include "fw/channel_grant.h"
#include "fw/events.h"
#include "fw/legacy_cmd.h"
#include "support/eventually.h"
#include "unified/unified_fixture.h"

namespace fwcmdstest {

using Bytes = std::vector<uint8_t>;
using sim::chip::Generation;

constexpr USHORT kSecondGen = 0x3502;
constexpr USHORT kThirdGen = 0x3602;
constexpr USHORT kOlderChip = 0x3404;

class FwCmdsTest : public unifiedtest::UnifiedTest {
protected:
    void SetUpChip(USHORT deviceId)
    {
        generation_ = deviceId == kThirdGen ? Generation::Third
                      : deviceId == kOlderChip ? Generation::Older
                                               : Generation::Second;
        SetUpDevice(deviceId, true, false);
        adapter_->HalOps.CmdSendMsg = &FwCmdsTest::Seam;
        current_ = this;
        port0_->BssIndex = 0;
        adapter_->BssIndexSlots[0].InUse = 1;
        adapter_->BssIndexSlots[0].Port = port0_;
        StartThread();
    }

    void TearDown() override
    {
        current_ = nullptr;
        unifiedtest::UnifiedTest::TearDown();
    }

    std::vector<sim::fw::LegacyCommand> Legacy()
    {
        std::vector<sim::fw::LegacyCommand> out;
        for (const Bytes& b : Sent()) {
            if (auto c = sim::fw::DecodeLegacyCommand(generation_, b.data(), b.size())) {
                out.push_back(*c);
            }
        }
        return out;
    }

    std::vector<sim::fw::UnifiedCommand> Unified()
    {
        std::vector<sim::fw::UnifiedCommand> out;
        for (const Bytes& b : Sent()) {
            std::string why;
            auto c = sim::fw::DecodeUnifiedCommand(b.data(), b.size(), &why);
            EXPECT_TRUE(c.has_value() || !sim::fw::IsUnifiedCommand(b.data(), b.size())) << why;
            if (c) {
                out.push_back(*c);
            }
        }
        return out;
    }

    std::vector<Bytes> Sent()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return sent_;
    }

    void ClearSent()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sent_.clear();
    }

    // Runs the firmware command callbacks the control thread would run. The command thread wakes the
    // waiting sender with the answer before it posts the answer's callback and before the event's own
    // handler has run: the callbacks are there once that thread has handled the event to its end.
    void RunCallbacks()
    {
        EXPECT_TRUE(qzl_test::Settle());
        for (PINTERNAL_CMD cmd = QzDequeueCmdQueueLocked(&adapter_->Cmd.ControlQueue); cmd != nullptr;
             cmd = QzDequeueCmdQueueLocked(&adapter_->Cmd.ControlQueue)) {
            if (cmd->CmdId == INTERNAL_CMD_FW_CMD_CALLBACK) {
                QzCmdSlotCallbackHandler(adapter_.get(), cmd->Payload, cmd->PayloadLength);
            }
            QzReturnInternalCmdBuffer(adapter_.get(), cmd);
        }
    }

    // Answers a test adds to what the simulated firmware gives for a command (the command's bytes as the
    // chip fetched them; `unified` for the third generation's form).
    virtual std::vector<Bytes> ExtraAnswers(const Bytes& command, bool unified)
    {
        (void)command;
        (void)unified;
        return {};
    }

    Generation generation_ = Generation::Second;

private:
    static NTSTATUS Seam(PMP_ADAPTER adapter, PFW_CMD_MSG msg, ULONG) { return current_->OnSend(adapter, msg); }

    NTSTATUS OnSend(PMP_ADAPTER adapter, PFW_CMD_MSG msg)
    {
        const ULONG slot = msg->SlotIndex;
        Bytes bytes(msg->Buffer, msg->Buffer + msg->TotalLength);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            sent_.push_back(bytes);
        }
        if (slot < FW_CMD_SLOT_COUNT) {
            KIRQL old;
            KeAcquireSpinLock(&adapter->FwCmd.FwCmdSlotLock, &old);
            adapter->FwCmd.FwCmdSlots[slot].OnRing = 1;
            KeReleaseSpinLock(&adapter->FwCmd.FwCmdSlotLock, old);
        }
        const bool unified = sim::fw::IsUnifiedCommand(bytes.data(), bytes.size());
        std::vector<Bytes> events;
        if (unified) {
            events = fw_.Consume(bytes.data(), bytes.size()).events;
        } else if (auto c = sim::fw::DecodeLegacyCommand(generation_, bytes.data(), bytes.size())) {
            if (auto grant = sim::fw::LegacyChannelGrant(*c)) {
                sim::fw::EventHeader header;
                header.id = sim::fw::kLegacyEventChGrant;
                header.seq = c->seq;
                events.push_back(sim::fw::EncodeRamEvent(generation_, header, *grant));
            }
        }
        for (Bytes& extra : ExtraAnswers(bytes, unified)) {
            events.push_back(std::move(extra));
        }
        if (slot < FW_CMD_SLOT_COUNT) {
            KIRQL old;
            KeRaiseIrql(DISPATCH_LEVEL, &old);
            (void)QzCmdEventCompleteWaitingFwCmd(adapter, unified ? FW_CMD_UNI_EVENT_DMA_DONE : FW_CMD_EVENT_DMA_DONE,
                                                 nullptr, slot, STATUS_SUCCESS, unified);
            KeLowerIrql(old);
        }
        for (const Bytes& event : events) {
            DeliverEvent(event);
        }
        return STATUS_SUCCESS;
    }

    static inline FwCmdsTest* current_ = nullptr;
    std::mutex mutex_;
    std::vector<Bytes> sent_;
};

inline uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

}  // namespace fwcmdstest
