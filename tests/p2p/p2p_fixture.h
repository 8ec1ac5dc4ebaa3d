// An adapter with its Wi-Fi Direct control block, and helpers for ports and addresses.
#pragma once

#include <array>
#include <cstring>
#include <mutex>
#include <vector>

#include "Common/p2p/p2p.h"
#include "Common/p2p/p2pms.h"
#include "Common/qzcmd.h"
#include "Common/qzevent.h"
#include "fw/channel_grant.h"
#include "fw/events.h"
#include "fw/legacy_cmd.h"
#include "platform/ndiscommon/dmaq_rx.h"
#include "fwcmd/fwcmd_support.h"
#include "hal/common/hal_chip.h"
#include "shell/shell_fixture.h"

namespace p2ptest {

using Address = std::array<UCHAR, 6>;

inline Address Addr(UCHAR last, UCHAR first = 0x02) { return Address{first, 0x11, 0x22, 0x33, 0x44, last}; }

// One channel-privilege record as the firmware took it (legacy command 0x1C).
struct Privilege {
    UCHAR action = 0;  // 0 request, 1 abort
    UCHAR channel = 0;
    UCHAR band = 0;
    UCHAR kind = 0;
    UCHAR bandIndex = 0;
    ULONG durationMs = 0;
};

class P2pTest : public shelltest::ShellTest {
protected:
    void TearDown() override
    {
        MP_ADAPTER* a = adapter_.get();
        if (fwThread_) {
            a->StopThreads.store(1);
            PlatformCancelThread(a, &a->FwCmdThread);
            PlatformFreeThread(a, &a->FwCmdThread);
            fwThread_ = false;
        }
        current_ = nullptr;
        shelltest::ShellTest::TearDown();
    }

    // The firmware takes commands: the adapter is a second-generation chip whose RAM code runs, with the
    // firmware command thread; the chip-send slot records what it hands over, reports it sent and
    // answers a channel-privilege request with the channel manager's grant.
    void TakeFirmwareCommands()
    {
        MP_ADAPTER* a = adapter_.get();
        a->DeviceId = 0x3502;
        HalRegisterChip(a);
        a->Signature = MP_ADAPTER_SIGNATURE;
        a->FwDownloaded = 1;
        QzCmdInitFWCmdSlotEvents(a);
        QzCmdInitFWCmdQueue(a);
        a->HalOps.CmdSendMsg = &P2pTest::Seam;
        current_ = this;
        PlatformInitThread(a, a, &a->FwCmdThread, fwcmdtest::FwCmdThreadBody, "PlatformFWCmdThread");
        ASSERT_EQ(PlatformRunThread(a, &a->FwCmdThread), STATUS_SUCCESS);
        fwThread_ = true;
    }

    // The legacy commands the firmware took, in order.
    std::vector<sim::fw::LegacyCommand> FirmwareCommands()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<sim::fw::LegacyCommand> out;
        for (const std::vector<uint8_t>& b : sent_) {
            auto c = sim::fw::DecodeLegacyCommand(sim::chip::Generation::Second, b.data(), b.size());
            EXPECT_TRUE(c.has_value());
            if (c) {
                out.push_back(*c);
            }
        }
        return out;
    }

    // The channel-privilege records among them (16 leading bytes: BSS index, token, action, primary
    // channel, secondary offset, band, width, centre 0, centre 1, request kind, band index, extra, u32
    // duration).
    std::vector<Privilege> Privileges()
    {
        std::vector<Privilege> out;
        for (const sim::fw::LegacyCommand& c : FirmwareCommands()) {
            if (c.cmdId != 0x1C) {
                continue;
            }
            EXPECT_GE(c.payload.size(), 16u);
            if (c.payload.size() < 16) {
                continue;
            }
            Privilege p;
            p.action = c.payload[2];
            p.channel = c.payload[3];
            p.band = c.payload[5];
            p.kind = c.payload[9];
            p.bandIndex = c.payload[10];
            std::memcpy(&p.durationMs, c.payload.data() + 12, 4);
            out.push_back(p);
        }
        return out;
    }

    PP2P_CTRL_BLOCK Block() { return adapter_->P2pBlock; }
    PMP_ADAPTER A() { return adapter_.get(); }

    // A port of the given type; a Wi-Fi Direct device port is also recorded in the control block.
    MP_PORT* Port(ULONG number, ULONG type)
    {
        MP_PORT* port = AddPort(number, type);
        port->PortType = type;
        if (type == WFD_DEVICE) {
            Block()->DevicePort = port;
        }
        if (number == 0) {
            Block()->StationPort = port;
        }
        return port;
    }

    // The channel plan of the adapter.
    void SetPlan(std::initializer_list<std::pair<UCHAR, ULONG>> channels)
    {
        adapter_->Country.ChannelListCount = 0;
        for (const auto& [channel, band] : channels) {
            adapter_->Country.ChannelList[adapter_->Country.ChannelListCount].Channel = channel;
            adapter_->Country.ChannelList[adapter_->Country.ChannelListCount].Band = band;
            ++adapter_->Country.ChannelListCount;
        }
    }
    void SetPlanOfCount(ULONG count)
    {
        adapter_->Country.ChannelListCount = static_cast<UCHAR>(count);
        for (ULONG i = 0; i < count; ++i) {
            adapter_->Country.ChannelList[i].Channel = static_cast<UCHAR>(i < 13 ? i + 1 : 36 + 4 * (i - 13));
            adapter_->Country.ChannelList[i].Band = i < 13 ? BAND_24G : BAND_5G;
        }
    }

private:
    static NTSTATUS Seam(PMP_ADAPTER adapter, PFW_CMD_MSG msg, ULONG) { return current_->OnSend(adapter, msg); }

    NTSTATUS OnSend(PMP_ADAPTER adapter, PFW_CMD_MSG msg)
    {
        const ULONG slot = msg->SlotIndex;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            sent_.emplace_back(msg->Buffer, msg->Buffer + msg->TotalLength);
        }
        if (slot < FW_CMD_SLOT_COUNT) {
            KIRQL old;
            KeAcquireSpinLock(&adapter->FwCmd.FwCmdSlotLock, &old);
            adapter->FwCmd.FwCmdSlots[slot].OnRing = 1;
            KeReleaseSpinLock(&adapter->FwCmd.FwCmdSlotLock, old);
            KeRaiseIrql(DISPATCH_LEVEL, &old);
            (void)QzCmdEventCompleteWaitingFwCmd(adapter, FW_CMD_EVENT_DMA_DONE, nullptr, slot, STATUS_SUCCESS, FALSE);
            KeLowerIrql(old);
        }
        auto c = sim::fw::DecodeLegacyCommand(sim::chip::Generation::Second, msg->Buffer, msg->TotalLength);
        if (c) {
            if (auto grant = sim::fw::LegacyChannelGrant(*c)) {
                sim::fw::EventHeader header;
                header.id = sim::fw::kLegacyEventChGrant;
                header.seq = c->seq;
                std::vector<uint8_t> event = sim::fw::EncodeRamEvent(sim::chip::Generation::Second, header, *grant);
                RX_DMAQ_DESC record{};
                record.PoolIndex = 1;
                record.BufferSize = static_cast<ULONG>(event.size());
                record.BufferVa = event.data();
                record.ReceivedLength = static_cast<ULONG>(event.size());
                (void)RecvProcessFwEvent(adapter, &record);
            }
        }
        return STATUS_SUCCESS;
    }

    static inline P2pTest* current_ = nullptr;
    std::mutex mutex_;
    std::vector<std::vector<uint8_t>> sent_;
    bool fwThread_ = false;
};

}  // namespace p2ptest
