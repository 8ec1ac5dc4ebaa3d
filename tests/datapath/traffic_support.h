// A started device on a simulated chip (second or third generation) with a station net adapter on
// port 0 whose link is up, its transmit and receive queues opened by the OS, and the firmware's data
// path's radio watched: what the device puts on the air is collected as it goes out (on the air of a
// world once one is attached), what the peer sends is written into the chip's frame ring.
//
// Link up is the connection code's work, which is not built yet: LinkUp() stands for it and sets,
// through the driver's own station table, what a link-up leaves behind (the access point's station
// entry, the port's BSSID and its open data port, the link state and the WMM and EDCA flags of a QoS
// link).
//
// The device's interrupt is kept off after bring-up and the clock is manual: the test serves the
// receive rings and the command ring's sent reports itself (Pump), so that every step is deterministic
// and waits run on simulated time. A driver call that waits for a firmware command to be sent runs on
// a thread of the simulation while the test serves the rings (WhileServing).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <mutex>
#include <vector>

#include "../../kshim/src/wdf_interrupt_internal.h"
#include "bringup/bringup_support.h"
#include "air/world.h"
#include "chip/rx_build.h"
#include "support/eventually.h"
#include "kshim/host/control.h"
#include "kshim/host/net_queue.h"
#include "kshim/host/netadapter.h"
#include "kshim/host/wait.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "Common/qzcmd.h"
#include "platform/ndis6/n6pci.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/wificx/rxqueue.h"
#include "platform/wificx/txqueue.h"
#include "support/eventually.h"

namespace traffic {

namespace host = kshim::host;

constexpr uint8_t kAp[6] = {0x02, 0xA0, 0x00, 0x00, 0x00, 0x01};
constexpr uint8_t kRemote[6] = {0x02, 0xB0, 0x00, 0x00, 0x00, 0x02};  // a host behind the access point
constexpr ULONG kCommandRing = 2;  // the transmit ring of firmware commands

class TrafficTest : public bringup::BringUpTest, public ::testing::WithParamInterface<USHORT> {
protected:
    void SetUp() override
    {
        bringup::BringUpTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(AddDevice(GetParam()));
        ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
        ASSERT_EQ(os_.CreateAdapter(device_, 0, WIFI_ADAPTER_WLAN_STATION), STATUS_SUCCESS);
        net_ = host::NetAdaptersOf(device_->Handle()).back();
        port_ = Adapter()->PortList[0];
        ASSERT_NE(port_, nullptr);
        Quiesce();
        ASSERT_EQ(kshim::wdf::InterruptsDisable(device_->Handle()), STATUS_SUCCESS);
        KeFlushQueuedDpcs();
        interruptsOff_ = true;
        Adapter()->RegistryBlock.TxRxThreadMode = 0;
        host::ClockSetManual();
        // The link-up below writes the driver's state directly: every thread of the driver is waiting
        // first, so that whatever reads it later was woken by something this thread did after it.
        ASSERT_TRUE(qzl_test::Settle());
        firmware_->DataRadio().SetObserver([this](const sim::fw::SentDataFrame& f) {
            std::lock_guard<std::mutex> lock(airMutex_);
            air_.push_back(f);
        });
        ASSERT_NO_FATAL_FAILURE(LinkUp());
    }

    void TearDown() override
    {
        firmware_->DataRadio().SetObserver(nullptr);
        world_.reset();
        host::ClockSetReal();
        if (interruptsOff_) {
            EXPECT_EQ(kshim::wdf::InterruptsEnable(device_->Handle()), STATUS_SUCCESS);
        }
        bringup::BringUpTest::TearDown();
    }

    // What a link-up to kAp leaves behind, set through the driver's station table.
    void LinkUp()
    {
        PMP_ADAPTER a = Adapter();
        entry_ = MlmeSyncMacTabMatchedRoleType(port_, MAC_ENTRY_KIND_PEER);
        ASSERT_NE(entry_, nullptr);
        std::memcpy(entry_->Addr, kAp, 6);
        std::memcpy(port_->Bssid, kAp, 6);
        port_->ConnectionFlags |= PORT_CONN_CONNECTED | PORT_CONN_RESET_CLEAR;
        port_->Recv.LinkState = RX_LINK_STATE_UP;
        port_->Xmit.Ready[0] = port_->Xmit.Ready[1] = port_->Xmit.Ready[2] = 1;
        port_->Xmit.Wmm = 1;
        port_->Xmit.LinkFlags |= PORT_LINK_FLAG_EDCA;
        a->StaKeyState = 2;
        port_->AuthMode = 1;  // open system: unprotected data is taken
        port_->WirelessMode = PHY_11AGN_MIXED;
        ownIndex_ = entry_->WlanIdx;
    }

    // Opens the transmit queue of (kAp, priority) and the receive queue; both are notified.
    void OpenQueues(uint8_t priority = 0, host::NetQueueShape shape = {})
    {
        ASSERT_EQ(host::NetTxQueueOpen(net_, 0, kAp, priority, &tx_, shape), STATUS_SUCCESS);
        ASSERT_EQ(host::NetRxQueueOpen(net_, 0, &rx_, {4096, 4096}), STATUS_SUCCESS);
        host::NetQueueSetNotification(tx_, true);
        host::NetQueueSetNotification(rx_, true);
    }

    // Serves what the interrupt would: the command ring's finished descriptors (the sent reports a
    // command's sender waits for; unified once the third generation's RAM code runs), then every
    // receive ring until none holds a filled descriptor.
    void Pump()
    {
        PMP_ADAPTER a = Adapter();
        PPCI_HIF_CONTEXT hif = a->HifContext;
        const BOOLEAN unified = static_cast<BOOLEAN>(QzCmdChipGroup(a) == FW_CHIP_GROUP_ARVEL3X &&
                                                     __atomic_load_n(&a->FwDownloaded, __ATOMIC_ACQUIRE) == 1);
        N6PciTxRingCmdDmaDoneInterrupt(hif, kCommandRing, unified);
        for (int pass = 0; pass < 64; ++pass) {
            ULONG pending = 0;
            for (ULONG ring = 0; ring < 3; ++ring) {
                (void)N6PciGetRxDonePkt(hif, ring);
                pending += N6PciGetRxDmaPendingCnt(hif, ring);
            }
            if (pending == 0) {
                return;
            }
        }
        ADD_FAILURE() << "receive rings still hold filled descriptors";
    }

    // Runs `work` on a thread of the simulation while this one serves the rings, until it returns.
    void WhileServing(const std::function<void()>& work)
    {
        std::atomic<bool> done{false};
        host::SimThread worker([&] {
            work();
            done = true;
        });
        const bool finished = qzl_test::Eventually([&] {
            Pump();
            return done.load();
        });
        EXPECT_TRUE(finished) << "the driver call still waits while the rings are served";
        if (!finished) {
            host::ClockAdvanceMs(60000);  // its waits time out, so that the thread ends
        }
        worker.Join();
    }

    // An OS data frame to the access point (To-DS), `body` bytes whose first 4 carry `n`.
    static host::TxFrame Frame(uint32_t n, size_t body, uint32_t fragments = 1)
    {
        host::TxFrame f;
        f.bytes.assign(24 + body, 0);
        f.bytes[0] = 0x08;
        f.bytes[1] = 0x01;
        std::memcpy(&f.bytes[4], kAp, 6);
        std::memcpy(&f.bytes[16], kRemote, 6);
        static constexpr uint8_t kLlc[8] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00};  // IPv4
        for (size_t i = 24; i < f.bytes.size(); ++i) {
            f.bytes[i] = static_cast<uint8_t>(i * 7 + n);
        }
        for (size_t i = 0; i < sizeof(kLlc) && 24 + i < f.bytes.size(); ++i) {
            f.bytes[24 + i] = kLlc[i];
        }
        for (size_t i = 0; i < 4 && 32 + i < f.bytes.size(); ++i) {
            f.bytes[32 + i] = static_cast<uint8_t>(n >> (8 * i));
        }
        f.fragments = fragments;
        return f;
    }

    // Posts, advances, serves the rings and advances again (the sweep); the packets returned.
    std::vector<host::TxReturned> Send(const std::vector<host::TxFrame>& frames)
    {
        std::vector<host::TxReturned> back;
        size_t at = 0;
        for (int round = 0; round < 1000 && (at < frames.size() || back.size() < frames.size()); ++round) {
            std::vector<host::TxFrame> part(frames.begin() + static_cast<long>(at), frames.end());
            at += host::NetTxQueuePost(tx_, part);
            host::NetQueueAdvance(tx_);
            Pump();
            host::NetQueueAdvance(tx_);
            std::vector<host::TxReturned> more = host::NetTxQueueTakeReturned(tx_);
            back.insert(back.end(), more.begin(), more.end());
            if (more.empty() && at == frames.size() && back.size() < frames.size() && round > 4) {
                break;
            }
        }
        return back;
    }

    // A QoS data frame from the access point (From-DS) with sequence number `seq`, 8 bytes of
    // LLC/SNAP and `body` bytes whose first 4 carry `n`.
    static std::vector<uint8_t> DownFrame(const uint8_t own[6], uint16_t seq, uint8_t tid, uint32_t n, size_t body = 40)
    {
        std::vector<uint8_t> f(26 + 8 + body, 0);
        f[0] = 0x88;
        f[1] = 0x02;
        std::memcpy(&f[4], own, 6);
        std::memcpy(&f[10], kAp, 6);
        std::memcpy(&f[16], kRemote, 6);
        f[22] = static_cast<uint8_t>((seq & 0x0F) << 4);
        f[23] = static_cast<uint8_t>(seq >> 4);
        f[24] = tid;
        static constexpr uint8_t kLlc[8] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00};
        std::memcpy(&f[26], kLlc, 8);
        for (int i = 0; i < 4; ++i) {
            f[34 + i] = static_cast<uint8_t>(n >> (8 * i));
        }
        return f;
    }

    sim::chip::RxdFields Fields(uint8_t tid, uint8_t position = 0) const
    {
        sim::chip::RxdFields f;
        f.wlanIndex = ownIndex_;
        f.bssIndex = 0;
        f.tid = tid;
        f.amsduPosition = position;
        f.unicast = true;
        return f;
    }

    // Writes frames from the access point into the frame ring, serves the rings and takes what the
    // OS receives (its buffers go back at once). Returns the numbers the frames carried, in order.
    std::vector<uint32_t> Deliver(const std::vector<std::pair<std::vector<uint8_t>, sim::chip::RxdFields>>& frames)
    {
        for (const auto& f : frames) {
            firmware_->Data().Receive(f.first, f.second);
            Pump();
        }
        return Received();
    }

    std::vector<uint32_t> Received()
    {
        std::vector<uint32_t> out;
        for (const host::RxReceived& r : host::NetRxQueueReceive(rx_)) {
            if (r.bytes.size() >= 32) {
                uint32_t n = 0;
                for (int i = 0; i < 4; ++i) {
                    n |= static_cast<uint32_t>(r.bytes[32 + i]) << (8 * i);
                }
                out.push_back(n);
            }
            EXPECT_TRUE(host::NetAdapterReturnRxBuffer(net_, r.returnContext));
        }
        return out;
    }

    std::vector<sim::fw::SentDataFrame> TakeAir()
    {
        std::lock_guard<std::mutex> lock(airMutex_);
        std::vector<sim::fw::SentDataFrame> out;
        out.swap(air_);
        return out;
    }

    // The device joins a world of one open access point kAp on channel 1, its radio at home there;
    // the access point echoes the data frames it gets when `echo`. `pcap`: the air is captured.
    void JoinWorld(bool echo, const std::string& pcap = {})
    {
        std::string error;
        world_ = sim::air::World::FromText(
            "[[ap]]\nssid = \"traffic\"\nbssid = \"02:a0:00:00:00:01\"\nband = \"2.4\"\nchannel = 1\n", &error);
        ASSERT_TRUE(world_) << error;
        sim::air::AccessPoint* ap = world_->FindAccessPoint(sim::air::Mac{0x02, 0xA0, 0x00, 0x00, 0x00, 0x01});
        ASSERT_NE(ap, nullptr);
        ap->SetEchoData(echo);
        if (!pcap.empty()) {
            ASSERT_TRUE(world_->StartCapture(pcap, &error)) << error;
        }
        world_->Attach(*firmware_);
        firmware_->Ram().Scan().SetHome(sim::air::Channel{sim::air::Band::B2G4, 1});
        firmware_->DataRadio().AddPeer(sim::air::Mac{0x02, 0xA0, 0x00, 0x00, 0x00, 0x01}, ownIndex_, 0);
    }

    NETADAPTER net_ = nullptr;
    std::unique_ptr<sim::air::World> world_;
    PMP_PORT port_ = nullptr;
    PMAC_TABLE_ENTRY entry_ = nullptr;
    UCHAR ownIndex_ = 0;
    NETPACKETQUEUE tx_ = nullptr;
    NETPACKETQUEUE rx_ = nullptr;
    bool interruptsOff_ = false;
    std::mutex airMutex_;
    std::vector<sim::fw::SentDataFrame> air_;
};

}  // namespace traffic
