// A started device with a station net adapter on port 0, whose transmit and receive queues the
// OS side of the harness creates and drives.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kshim/host/control.h"
#include "kshim/host/netadapter.h"
#include "kshim/host/net_queue.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/dmaq_rx.h"
#include "platform/wificx/rxqueue.h"
#include "platform/wificx/txqueue.h"
#include "wdi/wdi_support.h"

namespace txq_test {

namespace host = kshim::host;

class TxqTest : public wdi_test::WdiTest {
protected:
    void SetUp() override
    {
        wdi_test::WdiTest::SetUp();
        ASSERT_EQ(os_.CreateAdapter(device_, 0, WIFI_ADAPTER_WLAN_STATION), STATUS_SUCCESS);
        net_ = host::NetAdaptersOf(device_->Handle()).back();
        port_ = Adapter()->PortList[0];
        ASSERT_NE(port_, nullptr);
    }
    void TearDown() override
    {
        host::DmaResetDefaults();
        wdi_test::WdiTest::TearDown();
    }

    NETPACKETQUEUE OpenTx(uint8_t priority = 0, uint32_t id = 0, host::NetQueueShape shape = {},
                          const uint8_t* peer = nullptr)
    {
        static constexpr uint8_t kPeer[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
        NETPACKETQUEUE q = nullptr;
        EXPECT_EQ(host::NetTxQueueOpen(net_, id, peer != nullptr ? peer : kPeer, priority, &q, shape), STATUS_SUCCESS);
        return q;
    }

    // A data frame: 802.11 header (To-DS, receiver `peer`) and `body` bytes of pattern.
    static host::TxFrame Frame(uint8_t tag, size_t body = 40, uint32_t fragments = 1)
    {
        host::TxFrame f;
        f.bytes.assign(24 + body, tag);
        f.bytes[0] = 0x08;
        f.bytes[1] = 0x01;
        f.fragments = fragments;
        return f;
    }
    static std::vector<host::TxFrame> Frames(size_t n, size_t first = 0)
    {
        std::vector<host::TxFrame> v;
        for (size_t i = 0; i < n; ++i) {
            v.push_back(Frame(static_cast<uint8_t>(first + i)));
        }
        return v;
    }
    static std::vector<uint8_t> Tags(const std::vector<host::TxReturned>& returned)
    {
        std::vector<uint8_t> v;
        for (const host::TxReturned& r : returned) {
            v.push_back(r.bytes.size() > 30 ? r.bytes[30] : 0);
        }
        return v;
    }

    // No link: the port's receiver entry is taken out of use, so the hard transmit refuses every
    // frame ("no station entry for the receiver") and the queue hands each packet back unsent.
    void NoReceiver()
    {
        PMAC_TABLE_ENTRY peer = MlmeSyncMacTabMatchedRoleType(port_, MAC_ENTRY_KIND_PEER);
        ASSERT_NE(peer, nullptr);
        peer->Kind = MAC_ENTRY_KIND_UNUSED;
    }

    // Takes packets [first, first + n) as an advance would, without handing them to a ring: their
    // side records are taken and a record of pool 0 stands for each.
    std::vector<PTX_DMAQ_DESC> Take(NETPACKETQUEUE queue, ULONG first, ULONG n)
    {
        PQZCX_TXQUEUE q = QZCxGetTxQueueContext(queue);
        NET_RING* pr = host::NetQueuePacketRing(queue);
        std::vector<PTX_DMAQ_DESC> records;
        for (ULONG i = first; i != first + n; ++i) {
            const ULONG index = i & pr->ElementIndexMask;
            const NET_PACKET* p = NetRingGetPacketAtIndex(pr, index);
            PTX_PACKET_SIDE_INFO side = &q->SideInfo[index];
            side->PacketIndex = index;
            side->FirstFragmentIndex = p->FragmentIndex;
            side->FragmentsProcessed = p->FragmentCount;
            side->Flags = TX_SIDE_TAKEN;
            PTX_DMAQ_DESC r = TxDmaqAlloc(Adapter(), 0);
            EXPECT_NE(r, nullptr);
            r->SideInfo = side;
            r->TxQueue = queue;
            r->TxQueueContext = q;
            r->Port = port_;
            r->Origin = TX_DMAQ_ORIGIN_OS;
            records.push_back(r);
        }
        pr->NextIndex = (first + n) & pr->ElementIndexMask;
        return records;
    }

    NETADAPTER net_ = nullptr;
    PMP_PORT port_ = nullptr;
};

}  // namespace txq_test
