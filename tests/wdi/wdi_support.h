// A started device on a simulated third-generation chip, with the OS's Wi-Fi service sending it WDI
// requests and recording the indications it gets back.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "bringup/bringup_support.h"
#include "kshim/host/control.h"
#include "kshim/host/wifi.h"
#include "kshim/wditlv.h"
#include "platform/wdi/wdimain.h"
#include "platform/wificx/wificxmain.h"

namespace wdi_test {

class WdiTest : public bringup::BringUpTest {
protected:
    void SetUp() override
    {
        bringup::BringUpTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(AddDevice(0x3602));
        ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
        kshim::host::WifiClearIndications();
    }

    void TearDown() override
    {
        EXPECT_EQ(kshim::host::WdiRequestsOutstanding(), 0u) << "a WDI request was never completed";
        kshim::host::FaultClearAll();
        bringup::BringUpTest::TearDown();
    }

    // Sends a message through the OS and waits for its completion.
    kshim::host::WdiRequest Send(uint16_t messageId, uint16_t portId, uint32_t transactionId,
                                 const std::vector<uint8_t>& tlvs = {}, size_t outputLength = 64)
    {
        kshim::host::WdiRequest r =
            os_.SendWdiRequest(device_, messageId, kshim::host::WdiMessage(portId, transactionId, tlvs), outputLength);
        EXPECT_TRUE(r.Wait()) << "message " << messageId << " not completed";
        return r;
    }

    // A request the test hands to the driver itself (as if the intake had taken it).
    kshim::host::WdiRequest Make(uint16_t messageId, uint16_t portId, uint32_t transactionId,
                                 size_t outputLength = 64, const std::vector<uint8_t>& tlvs = {})
    {
        return kshim::host::NewWdiRequest(messageId, kshim::host::WdiMessage(portId, transactionId, tlvs),
                                          outputLength);
    }

    // Records `request` as the pending task of its row, as the intake does.
    void Record(const kshim::host::WdiRequest& request)
    {
        USHORT row = WdiFindTaskRow(request.MessageId());
        ASSERT_NE(row, WDI_TASK_ROW_NONE);
        ASSERT_EQ(WdiUpdateCntlBlock(Adapter(), kshim::host::WdiRequestHandle(request), row), STATUS_SUCCESS);
    }

    // The abort-task message naming a task.
    static std::vector<uint8_t> AbortTlvs(uint32_t messageId, uint32_t transactionId, uint16_t portId)
    {
        std::vector<uint8_t> v;
        for (uint32_t x : {messageId, transactionId}) {
            for (int i = 0; i < 4; ++i) {
                v.push_back(static_cast<uint8_t>(x >> (8 * i)));
            }
        }
        v.push_back(static_cast<uint8_t>(portId));
        v.push_back(static_cast<uint8_t>(portId >> 8));
        return kshim::host::WdiTlv(WDI_TLV_TASK_ABORT_PARAMETERS, v);
    }

    const WDI_CNTL_BLOCK& Block() { return Adapter()->Wdi.CntlBlock; }

    // The history entry of a message, null when the ring holds none.
    const WDI_COMMAND_HISTORY_ENTRY* FindHistory(ULONG messageId, ULONG transactionId)
    {
        for (const WDI_COMMAND_HISTORY_ENTRY& e : Adapter()->Wdi.History.Entries) {
            if (e.MessageId == messageId && e.TransactionId == transactionId) {
                return &e;
            }
        }
        return nullptr;
    }
};

}  // namespace wdi_test
