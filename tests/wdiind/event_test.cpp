// The WDI event senders: the association-status map, the disassociation and what follows it, the
// firmware-stall filter, the Wi-Fi Direct and action-frame send completions, the wake reason.
#include "kshim/host/eventlog.h"
#include "wdiind_support.h"

namespace {

using kshim::host::WdiIndication;
using kshim::host::WdiRequest;
using wdiind_test::IndTest;
using wdiind_test::Tlv;
using wdiind_test::U32;

TEST(AssocStatusMap, DriverStatusesToWdiStatuses)
{
    struct Case {
        ULONG driver;
        ULONG wdi;
    };
    for (const Case& c : {Case{0, 0}, Case{3, 3}, Case{6, 6}, Case{7, 7}, Case{9, 7}, Case{10, 7}, Case{11, 10},
                          Case{12, 11}, Case{13, 1}, Case{17, 1}, Case{0x10000, 13}, Case{0x1FFFF, 13},
                          Case{0x10005, 1}, Case{0x20000, 14}, Case{0x2FFFF, 14}, Case{0x30000, 15},
                          Case{0x3FFFF, 15}, Case{0x40000, 1}}) {
        EXPECT_EQ(WdiEventAssocStatusFromDot11(c.driver), c.wdi) << std::hex << c.driver;
    }
}

// The disassociation goes first, then the disconnect completion the disconnect task waits for, then
// the association-parameters request; each byte is cleared after its indication.
TEST_F(IndTest, ADisassociationIsFollowedByWhatWaitsForIt)
{
    Adapter()->EnableSystemEventLog = 1;
    kshim::host::ErrorLogClear();
    WdiRequest disconnect = Pending(WDI_TASK_DISCONNECT, 41);
    Port()->Ind.DisconnectWaiting = 1;
    Adapter()->Ind.AssocParamsRequest = 1;
    const UCHAR peer[6] = {0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
    WdiEventIndicationDisassociation(Adapter(), Port(), peer, 7, 115);
    EXPECT_EQ(Codes(), (std::vector<uint16_t>{0x0033, 0x0015, 0x0062}));
    std::vector<WdiIndication> all = kshim::host::WifiIndications();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].TransactionId(), 0u) << "the disassociation is unsolicited";
    EXPECT_EQ(all[1].TransactionId(), 41u) << "the disconnect completion ends the task";
    EXPECT_EQ(U32(Tlv(all[2], WDI_TLV_ASSOC_PARAMS_BSSID), 6), 10u) << "reason 0x9F";
    EXPECT_EQ(Port()->Ind.DisconnectWaiting, 0);
    EXPECT_EQ(Adapter()->Ind.AssocParamsRequest, 0);
    EXPECT_EQ(Block().TaskPending, 0);
    bool logged = false;
    for (const kshim::host::ErrorLogEntry& e : kshim::host::ErrorLogSnapshot()) {
        if (e.errorCode == EVENT_LOG_DISASSOC) {
            logged = true;
            ASSERT_GE(e.dumpData.size(), 18u);
            EXPECT_EQ(e.dumpData[4], 0x02);
            EXPECT_EQ(e.dumpData[10], 7);
            EXPECT_EQ(e.dumpData[14], 115);
        }
    }
    EXPECT_TRUE(logged);
    Finish(disconnect);

    // Without the waiting bytes only the disassociation goes out.
    kshim::host::WifiClearIndications();
    WdiEventIndicationDisassociation(Adapter(), Port(), peer, 3, 1);
    EXPECT_EQ(Codes(), (std::vector<uint16_t>{0x0033}));
}

TEST_F(IndTest, AFirmwareStallIsIndicatedOnlyWithinTheRecoveryMask)
{
    struct Case {
        UCHAR reporting;
        ULONG mask;
        ULONG bits;
        bool sent;
    };
    for (const Case& c : {Case{0, 7, 1, false}, Case{1, 1, 3, false}, Case{1, 7, 3, true}, Case{1, 7, 8, false},
                          Case{1, 8, 8, true}}) {
        kshim::host::WifiClearIndications();
        Adapter()->Ind.FwStallReporting = c.reporting;
        Adapter()->RegistryBlock.FwStallRecovery = c.mask;
        WdiEventIndicationFirmwareStalled(Adapter(), c.bits);
        std::vector<WdiIndication> seen = Seen(WDI_INDICATION_FIRMWARE_STALLED);
        ASSERT_EQ(seen.size(), c.sent ? 1u : 0u) << c.mask << " " << c.bits;
        if (c.sent) {
            EXPECT_EQ(seen[0].PortId(), WDI_PORT_ID_ADAPTER);
            EXPECT_EQ(seen[0].Status(), 0u);
            EXPECT_EQ(seen[0].bytes.size(), 16u);
        }
    }
    EXPECT_EQ(Adapter()->RegistryBlock.FwStallRecovery, 8u);
}

// A sent-frame record: peer at bytes 4-9, frame type at 30, the byte after it at 31, body from 32.
std::vector<uint8_t> SentFrame(uint8_t type, std::vector<uint8_t> body)
{
    std::vector<uint8_t> r(32, 0);
    for (int i = 0; i < 6; ++i) {
        r[4 + i] = static_cast<uint8_t>(0x60 + i);
    }
    r[30] = type;
    r[31] = 0x5C;
    r.insert(r.end(), body.begin(), body.end());
    return r;
}

TEST_F(IndTest, WiFiDirectSendCompletionsByFrameType)
{
    struct Case {
        uint8_t type;
        uint16_t task;     // 0: nothing pending matches
        uint16_t code;     // 0: nothing sent
    };
    for (const Case& c : {Case{0, WDI_TASK_P2P_SEND_REQUEST_ACTION_FRAME, 0x41},
                          Case{7, WDI_TASK_P2P_SEND_REQUEST_ACTION_FRAME, 0x41},
                          Case{1, WDI_TASK_P2P_SEND_RESPONSE_ACTION_FRAME, 0x42},
                          Case{8, WDI_TASK_P2P_SEND_RESPONSE_ACTION_FRAME, 0x42},
                          Case{9, WDI_TASK_P2P_SEND_REQUEST_ACTION_FRAME, 0},
                          Case{1, WDI_TASK_P2P_SEND_REQUEST_ACTION_FRAME, 0}}) {
        kshim::host::WifiClearIndications();
        WdiRequest task = Pending(c.task, 90 + c.type);
        std::vector<uint8_t> record = SentFrame(c.type, {0xDD, 0x01});
        WdiEventIndicationP2PSendFrameComplete(Adapter(), Port(), record.data(), static_cast<ULONG>(record.size()),
                                               STATUS_SUCCESS);
        std::vector<WdiIndication> all = kshim::host::WifiIndications();
        if (c.code == 0) {
            EXPECT_TRUE(all.empty()) << int(c.type);
            EXPECT_EQ(Block().TaskPending, 1);
        } else {
            ASSERT_EQ(all.size(), 1u) << int(c.type);
            EXPECT_EQ(all[0].code, c.code);
            EXPECT_EQ(all[0].TransactionId(), 90u + c.type);
            std::vector<uint8_t> peer = Tlv(all[0], WDI_TLV_PEER_INFO);
            EXPECT_EQ(peer, (std::vector<uint8_t>{0x60, 0x61, 0x62, 0x63, 0x64, 0x65, 0x5C}));
            EXPECT_EQ(Tlv(all[0], WDI_TLV_SEND_COMPLETE_FRAME), (std::vector<uint8_t>{0xDD, 0x01}));
        }
        Finish(task);
    }
    // A record shorter than its header sends nothing.
    WdiRequest task = Pending(WDI_TASK_P2P_SEND_REQUEST_ACTION_FRAME, 5);
    kshim::host::WifiClearIndications();
    std::vector<uint8_t> cut = SentFrame(0, {});
    WdiEventIndicationP2PSendFrameComplete(Adapter(), Port(), cut.data(), 31, STATUS_SUCCESS);
    EXPECT_TRUE(kshim::host::WifiIndications().empty());
    Finish(task);
}

TEST_F(IndTest, ActionFrameSendCompletionByRequestFlag)
{
    for (UCHAR flag : {UCHAR{1}, UCHAR{0}}) {
        kshim::host::WifiClearIndications();
        const uint16_t task = flag != 0 ? WDI_TASK_SEND_REQUEST_ACTION_FRAME : WDI_TASK_SEND_RESPONSE_ACTION_FRAME;
        WdiRequest r = Pending(task, 200 + flag);
        WdiEventIndicationSendActionComplete(Adapter(), Port(), flag, STATUS_UNSUCCESSFUL);
        std::vector<WdiIndication> all = kshim::host::WifiIndications();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].code, flag != 0 ? 0x006A : 0x006B);
        EXPECT_EQ(all[0].Status(), static_cast<uint32_t>(STATUS_UNSUCCESSFUL));
        EXPECT_EQ(all[0].TransactionId(), 200u + flag);
        Finish(r);
    }
    // No task recorded (transaction id 0): nothing.
    kshim::host::WifiClearIndications();
    WdiEventIndicationSendActionComplete(Adapter(), Port(), 1, STATUS_SUCCESS);
    EXPECT_TRUE(kshim::host::WifiIndications().empty());
}

TEST_F(IndTest, AWakePacketIsLoggedIndicatedAndTheBufferCleared)
{
    Adapter()->EnableSystemEventLog = 1;
    kshim::host::ErrorLogClear();
    Adapter()->Ind.WakePacket[5] = 0x77;
    Adapter()->Ind.WakeValues[0] = 9;
    const UCHAR packet[5] = {0x45, 0, 0, 5, 1};
    WdiEventIndicateWowWakeReason(Adapter(), Port(), 3, packet, sizeof(packet), 42);
    WdiEventIndicateWowWakeReason(Adapter(), Port(), 4, nullptr, 0, 0);
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_WAKE_REASON);
    ASSERT_EQ(seen.size(), 2u);
    std::vector<uint8_t> reason = Tlv(seen[0], WDI_TLV_WAKE_REASON);
    EXPECT_EQ(U32(reason, 0), WAKE_REASON_FLAG_PACKET);
    EXPECT_EQ(U32(reason, 4), 3u);
    EXPECT_EQ(U32(reason, 8), 5u);
    EXPECT_EQ(U32(reason, 12), 42u);
    EXPECT_EQ(Tlv(seen[0], WDI_TLV_WAKE_PACKET), std::vector<uint8_t>(packet, packet + 5));
    EXPECT_EQ(U32(Tlv(seen[1], WDI_TLV_WAKE_REASON), 0), 0u);
    EXPECT_TRUE(Tlv(seen[1], WDI_TLV_WAKE_PACKET).empty());
    EXPECT_EQ(Adapter()->Ind.WakePacket[5], 0);
    EXPECT_EQ(Adapter()->Ind.WakeValues[0], 0u);
    size_t packets = 0;
    for (const kshim::host::ErrorLogEntry& e : kshim::host::ErrorLogSnapshot()) {
        packets += e.errorCode == EVENT_LOG_WAKE_UP_PACKET ? 1 : 0;
    }
    EXPECT_EQ(packets, 1u);
}

TEST_F(IndTest, TheLinkStateNeedsThePortsOwnStationEntry)
{
    PMP_PORT port = Port();
    WdiEventIndicateLinkStateChange(Adapter(), port);
    EXPECT_TRUE(Seen(WDI_INDICATION_LINK_STATE_CHANGE).empty()) << "no own station entry yet";
    ASSERT_NE(OwnEntry(), nullptr);
    port->Ind.TxLinkSpeed = 866700000;
    port->Ind.RxLinkSpeed = 433300999;
    port->Ind.LastLinkQuality = 80;
    port->Ind.SignalStrength = -51;
    WdiEventIndicateLinkStateChange(Adapter(), port);
    std::vector<WdiIndication> seen = Seen(WDI_INDICATION_LINK_STATE_CHANGE);
    ASSERT_EQ(seen.size(), 1u);
    std::vector<uint8_t> state = Tlv(seen[0], WDI_TLV_LINK_STATE_PARAMS);
    ASSERT_EQ(state.size(), 20u);
    EXPECT_EQ(std::vector<uint8_t>(state.begin(), state.begin() + 6),
              std::vector<uint8_t>(port->Bssid, port->Bssid + 6));
    EXPECT_EQ(U32(state, 6), 866700u);
    EXPECT_EQ(U32(state, 10), 433300u);
    EXPECT_EQ(state[14], 80);
    EXPECT_EQ(U32(Tlv(seen[0], WDI_TLV_LINK_QUALITY_ENTRY), 28), static_cast<uint32_t>(-51));
}

}  // namespace
