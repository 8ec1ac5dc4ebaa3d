// The transmit permission the per-port dequeue asks first, the last-channel check of the channel
// restore, and the multi-channel transmit ring pause register.
#include "datapath/traffic_support.h"
#include "platform/ndiscommon/ndiscommonhif.h"

namespace {

using traffic::TrafficTest;

class Dequeue : public TrafficTest {};

TEST_P(Dequeue, TransmitPermissionFollowsTheStationOrTheGroupRule)
{
    struct Row {
        const char* what;
        LONG connectState;
        ULONG flags;
        UCHAR bssAbsent, noaAbsent, oppPs, presenceRequest, presenceResponse;
        ULONG opModeCode, subState;
        UCHAR channel;
        bool waits;
    } rows[] = {
        {"station, nothing set", 0, 0, 0, 0, 0, 0, 0, 0, 0, 6, false},
        {"station, flag 0x80", 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 6, true},
        {"station, scanning", 0, 0x4000, 0, 0, 0, 0, 0, 0, 0, 6, false},
        {"station, scanning with the BSS absent", 0, 0x4000, 1, 0, 0, 0, 0, 0, 0, 6, true},
        {"station, halting", 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 6, true},
        {"station, notice of absence", 0, 0, 0, 1, 0, 0, 0, 0, 0, 6, true},
        {"station, opportunistic power save", 0, 0, 0, 0, 1, 0, 0, 0, 0, 6, true},
        {"station, presence request only", 0, 0, 0, 0, 0, 1, 0, 0, 0, 6, false},
        {"station, presence request and response", 0, 0, 0, 0, 0, 1, 1, 0, 0, 6, true},
        {"station, radio off (group rule only)", 0, 0x20000, 0, 0, 0, 0, 0, 0, 0, 6, false},
        {"formation state 28 uses the station rule", 28, 0x80, 0, 0, 0, 0, 0, 0, 0, 6, true},
        {"client operating, nothing set", 29, 0, 0, 0, 0, 0, 0, 32, 0, 6, false},
        {"client operating off the granted channel", 29, 0, 0, 0, 0, 0, 0, 32, 0, 11, true},
        {"group owner off the granted channel", 30, 0, 0, 0, 0, 0, 0, 16, 0, 11, false},
        {"group, radio off", 30, 0x20000, 0, 0, 0, 0, 0, 16, 0, 6, true},
        {"group, scanning with the BSS absent", 30, 0x4000, 1, 0, 0, 0, 0, 16, 0, 6, false},
        {"group, sub-state 35", 30, 0, 0, 0, 0, 0, 0, 16, 35, 6, true},
        {"group, sub-state 34", 30, 0, 0, 0, 0, 0, 0, 16, 34, 6, false},
        {"group, notice of absence", 30, 0, 0, 1, 0, 0, 0, 16, 0, 6, true},
        {"group, presence request and response", 30, 0, 0, 0, 0, 1, 1, 16, 0, 6, true},
    };
    PMP_ADAPTER a = Adapter();
    a->ChPrivilegeChannel = 6;
    for (const Row& r : rows) {
        port_->P2pConnectState = r.connectState;
        port_->Grant.BssAbsent = r.bssAbsent;
        port_->P2pNoaAbsent = r.noaAbsent;
        port_->P2pOppPsActive = r.oppPs;
        port_->P2pState.PresenceRequest = r.presenceRequest;
        port_->P2pState.PresenceResponse = r.presenceResponse;
        port_->P2pState.SubState = r.subState;
        port_->OpModeCode = r.opModeCode;
        const UCHAR saved = port_->Channel.PrimaryChannel;
        port_->Channel.PrimaryChannel = r.channel;
        AdapterSetFlag(a, r.flags, "test");
        const NTSTATUS status = ChkTxSwStatus(a, port_);
        AdapterClearFlag(a, r.flags, "test");
        port_->Channel.PrimaryChannel = saved;
        EXPECT_EQ(status, r.waits ? static_cast<NTSTATUS>(0xC0000001L) : STATUS_SUCCESS) << r.what;
    }
    port_->P2pConnectState = 0;
    port_->Grant.BssAbsent = port_->P2pNoaAbsent = port_->P2pOppPsActive = 0;
    port_->P2pState = P2P_PORT_STATE{};
}

TEST_P(Dequeue, LastChannelsOfEachBand)
{
    struct Row {
        UCHAR channel, band;
        bool valid;
    } rows[] = {{130, 2, false}, {31, 3, false}, {14, 1, true}, {144, 2, true}, {233, 3, true}, {15, 1, false},
                {0, 1, false},   {36, 2, true},  {37, 2, false}, {149, 2, true}, {150, 2, false}, {177, 2, true},
                {1, 3, true},    {231, 3, false}, {235, 3, false}, {6, 0, false}, {6, 4, false}};
    for (const Row& r : rows) {
        EXPECT_EQ(ValidLastChannelForWHQL(r.channel, r.band) != FALSE, r.valid)
            << int(r.channel) << " band " << int(r.band);
    }
    const unsigned expected[4] = {0, 14, 52, 109};
    for (UCHAR band = 1; band <= 3; ++band) {
        unsigned n = 0;
        for (unsigned c = 0; c < 256; ++c) {
            n += ValidLastChannelForWHQL(static_cast<UCHAR>(c), band) ? 1 : 0;
        }
        EXPECT_EQ(n, expected[band]) << "band " << int(band);
    }
}

TEST_P(Dequeue, RingPauseSetsThePortsBitOnlyUnderMultiChannelConcurrency)
{
    PMP_ADAPTER a = Adapter();
    struct Row {
        const char* what;
        UCHAR mcc;
        ULONG portType;
        UCHAR hold;
        ULONG before, after;
    } rows[] = {
        {"no concurrency clears both bits", 0, EXTSTA, 1, 0x7FFFFFFFu, 0x7FFCFFFFu},
        {"station port held: bit 16", 1, EXTSTA, 1, 0x00000001u, 0x00010001u},
        {"station port not held: bit 16 cleared", 1, EXTSTA, 0, 0x00030000u, 0x00020000u},
        {"client port held: bit 17", 1, WFD_CLIENT, 1, 0, 0x00020000u},
        {"group owner not held: bit 17 cleared", 1, WFD_GO, 0, 0x00030000u, 0x00010000u},
    };
    const ULONG savedType = port_->PortType;
    for (const Row& r : rows) {
        a->MccActive = r.mcc;
        port_->PortType = r.portType;
        port_->Xmit.ConcurrencyHold = r.hold;
        MCCCurrentTxRingModify(a, r.before);
        ULONG back = 0;
        ASSERT_EQ(HifIoRead32(a, 0x4224, &back), STATUS_SUCCESS) << r.what;
        ASSERT_EQ(back, r.before) << r.what;
        EXPECT_EQ(MCCFetchTxRingPauseSettings(port_), r.after) << r.what;
    }
    port_->PortType = savedType;
    port_->Xmit.ConcurrencyHold = 0;
    a->MccActive = 0;
    MCCCurrentTxRingModify(a, 0);
}

INSTANTIATE_TEST_SUITE_P(Generations, Dequeue, ::testing::Values(USHORT{0x3502}, USHORT{0x3602}),
                         [](const ::testing::TestParamInfo<USHORT>& info) {
                             return info.param == 0x3502 ? std::string("chip3502") : std::string("chip3602");
                         });

}  // namespace
