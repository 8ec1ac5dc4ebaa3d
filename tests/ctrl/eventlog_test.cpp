// The system event-log writers of the Wi-Fi Direct, group-owner, client and recovery entries.
#include <string>

#include "Common/logevent.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "kshim/host/eventlog.h"
#include "ctrl_fixture.h"

namespace ctrltest {
namespace {

class EventLogWriters : public shelltest::ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        adapter_->Fdo = WdfDeviceWdmGetDeviceObject(adapter_->Device);
        adapter_->EnableSystemEventLog = 1;
        kshim::host::ErrorLogClear();
    }
    // The one entry written since the last clear: its message id and text.
    static std::pair<uint32_t, std::string> OnlyEntry()
    {
        auto entries = kshim::host::ErrorLogSnapshot();
        EXPECT_EQ(entries.size(), 1u);
        if (entries.empty()) {
            return {};
        }
        kshim::host::ErrorLogClear();
        const auto& e = entries[0];
        // The dump data carries the text, zero bytes up to a multiple of 4, then 8 zero bytes.
        std::string text(e.dumpData.begin(), e.dumpData.end());
        text.erase(text.find_last_not_of('\0') + 1);
        return {e.errorCode, text};
    }
};

TEST_F(EventLogWriters, FixedTextsGoToTheirMessages)
{
    struct Case {
        void (*writer)(PMP_ADAPTER);
        uint32_t message;
        const char* text;
    };
    const Case cases[] = {
        {LogEventDiscoveryStart, 0x40020BB8, "Discovery Started\n"},
        {LogEventDiscoveryComplete, 0x40020BB9, "Discovery Completed\n"},
        {LogEventP2PClientRole, 0x40020BBA, "GC Role\n"},
        {LogEventStopGO, 0x40020FA1, "STOP GO \n"},
        {LogEventP2PGoNegoReqRecv, 0x40020BBE, "GO Negotiation Request Received"},
        {LogEventP2PGoNegoRspRecv, 0x40020BBF, "GO Negotiation Response Received"},
        {LogEventP2PGoNegoCnfRecv, 0x40020BC0, "GO Negotiation Confirmation Received"},
        {LogEventP2PGoNegoReqSend, 0x40020BC1, "GO Negotiation Request Send"},
        {LogEventP2PGoNegoRspSend, 0x40020BC2, "GO Negotiation Response Send"},
        {LogEventP2PGoNegoCnfSend, 0x40020BC3, "GO Negotiation Confirmation Send"},
        {LogEventP2PPersistentGroup, 0x40020BBD, "Persistent Group Invite"},
    };
    for (const Case& c : cases) {
        c.writer(adapter_.get());
        auto [message, text] = OnlyEntry();
        EXPECT_EQ(message, c.message) << c.text;
        EXPECT_EQ(text, c.text);
    }
    // Without an adapter nothing is written.
    LogEventStopGO(nullptr);
    EXPECT_TRUE(kshim::host::ErrorLogSnapshot().empty());
}

TEST_F(EventLogWriters, AGroupOwnerStartIsLoggedAsHotspotOrMiracast)
{
    MP_PORT* port = AddPort(1, WFD_GO);
    LogEventP2PStartGO(adapter_.get(), port);
    EXPECT_EQ(OnlyEntry(), std::make_pair(0x40020BBBu, std::string("GO Enabled For Miracast\n")));
    port->HotspotGo = 1;
    LogEventP2PStartGO(adapter_.get(), port);
    EXPECT_EQ(OnlyEntry(), std::make_pair(0x40020FA0u, std::string("GO Enabled For Hotspot\n")));
    LogEventP2PStartGO(adapter_.get(), nullptr);
    EXPECT_TRUE(kshim::host::ErrorLogSnapshot().empty());
}

TEST_F(EventLogWriters, RecoveryCountersAreOneByteEntriesAndTheirResultIsPassedOn)
{
    adapter_->Recovery.RecoveryIoFailCount = 3;
    adapter_->Recovery.RecoveryL05Count = 7;
    adapter_->Recovery.RecoveryBusHangCount = 9;
    struct Case {
        NTSTATUS (*writer)(PMP_ADAPTER);
        uint32_t message;
        uint8_t value;
    };
    for (const Case& c : {Case{LogEventDriverIOFail, 0xC0020002, 3}, Case{LogEventDriverSerCount, 0x80020001, 7},
                          Case{LogEventDriverBusHang, 0xC0020003, 9}}) {
        EXPECT_EQ(c.writer(adapter_.get()), STATUS_SUCCESS);
        auto entries = kshim::host::ErrorLogSnapshot();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].errorCode, c.message);
        EXPECT_EQ(entries[0].dumpDataSize, 12);
        EXPECT_EQ(entries[0].dumpData[0], c.value);
        kshim::host::ErrorLogClear();
    }
    // A device object that is gone: the writer's failure comes back.
    adapter_->Fdo = nullptr;
    EXPECT_EQ(LogEventDriverBusHang(adapter_.get()), EVENT_LOG_WRITE_FAILED);
    // Logging switched off: nothing, and success.
    adapter_->EnableSystemEventLog = 0;
    EXPECT_EQ(LogEventDriverIOFail(adapter_.get()), STATUS_SUCCESS);
}

TEST_F(EventLogWriters, TheClientCountNeverGoesBelowZero)
{
    MAC_TABLE_ENTRY entry = {};
    const UCHAR peer[MAC_ADDR_LEN] = {2, 0, 0, 0, 0, 7};
    LogEventConnectClient(adapter_.get(), &entry, peer);
    EXPECT_EQ(adapter_->GoClientCount, 1u);
    LogEventDisconnectClient(adapter_.get(), &entry, peer);
    EXPECT_EQ(adapter_->GoClientCount, 0u);
    LogEventDisconnectClient(adapter_.get(), &entry, peer);
    EXPECT_EQ(adapter_->GoClientCount, 0u);
}

TEST_F(EventLogWriters, AClientConnectAndDisconnectLogTheCountTheWlanIndexAndTheAddress)
{
    MAC_TABLE_ENTRY entry = {};
    entry.WlanIdx = 7;
    const UCHAR peer[MAC_ADDR_LEN] = {0x02, 0xAB, 0x00, 0x0C, 0x43, 0xFF};
    LogEventConnectClient(adapter_.get(), &entry, peer);
    LogEventDisconnectClient(adapter_.get(), &entry, peer);
    const struct {
        ULONG message;
        std::string text;
    } expected[] = {
        {0x40020FA2u, "Connected Clients :1, PeerId = 7, PeerAddr = 2:ab:0:c:43:ff\n"},
        {0x40020FA3u, "Remaining Connected Clients :0, PeerId = 7, PeerAddr = 2:ab:0:c:43:ff\n"},
    };
    const auto entries = kshim::host::ErrorLogSnapshot();
    ASSERT_EQ(entries.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(entries[i].errorCode, expected[i].message) << i;
        // The text without its terminator, padded to a multiple of 4, then 8 zero bytes.
        const size_t length = expected[i].text.size();
        EXPECT_EQ(entries[i].dumpDataSize, ((length + 3) & ~size_t{3}) + 8) << i;
        ASSERT_GE(entries[i].dumpData.size(), length);
        EXPECT_EQ(std::string(entries[i].dumpData.begin(), entries[i].dumpData.begin() + static_cast<long>(length)),
                  expected[i].text);
    }
}

TEST_F(EventLogWriters, TheConnectionKindNeedsAStationPort)
{
    MP_PORT* go = AddPort(1, WFD_GO);
    LogEventP2PConnection(adapter_.get(), go);
    EXPECT_TRUE(kshim::host::TraceContains("LogEventP2PConnection: no station port"));
    LogEventP2PConnection(adapter_.get(), nullptr);
    EXPECT_TRUE(kshim::host::TraceContains("LogEventP2PConnection: no adapter or port"));
    EXPECT_TRUE(kshim::host::ErrorLogSnapshot().empty());
}

}  // namespace
}  // namespace ctrltest
