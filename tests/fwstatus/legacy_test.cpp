// Legacy firmware events of the core: block-ack agreements reported by the firmware, the key-installed
// report, the access point's station age-out, the network-list-offload result and the channel grant.
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "fwstatus_fixture.h"
#include "support/crossings.h"

namespace fwstatustest {
namespace {

using kshim::host::TraceContains;

class LegacyEvents : public FwStatusTest {
protected:
    void SetUp() override
    {
        FwStatusTest::SetUp();
        ASSERT_EQ(MlmeSyncInitMacTabPool(adapter_.get()), STATUS_SUCCESS);
        const UCHAR peer[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
        entry_ = MacTableInsertEntry(adapter_.get(), port0_, peer, 1);
        ASSERT_NE(entry_, nullptr);
        port0_->BaWindowLimit = 0x0140;  // low byte 64
    }
    void TearDown() override
    {
        (void)MlmeSyncDeInitMacTab(port0_);
        FwStatusTest::TearDown();
    }
    template <typename Handler>
    void Deliver(Handler handler, UCHAR id, const Bytes& payload)
    {
        Bytes view = View(id, payload);
        handler(adapter_.get(), view.data());
    }
    // A receive ADDBA of the entry: parameter set from policy, TID and buffer size.
    Bytes RxAddBa(UCHAR tid, USHORT buffer, USHORT timeout, USHORT ssn, bool immediate, USHORT high = 0)
    {
        Bytes p(10, 0);
        p[0] = entry_->StaRecIdx;
        PutU16(p, 2, static_cast<USHORT>((immediate ? 0x2 : 0) | (tid << 2) | ((buffer & 0x3FF) << 6)));
        PutU16(p, 4, timeout);
        PutU16(p, 6, static_cast<USHORT>(ssn << 4));
        PutU16(p, 8, high);
        return p;
    }
    PMAC_TABLE_ENTRY entry_ = nullptr;
};

TEST_F(LegacyEvents, ReceiveAgreementsGiveTheReorderStartAndTheQuirk)
{
    struct Case {
        USHORT ssn;
        USHORT expectedStart;
    };
    for (const Case& c : {Case{0, 4095}, Case{1, 0}, Case{100, 99}}) {
        Deliver(ProcessRxAddBAExtended, 0x0A, RxAddBa(3, 32, 0, c.ssn, true));
        EXPECT_EQ(adapter_->MacReorderStart[entry_->WlanIdx], c.expectedStart) << c.ssn;
    }
    EXPECT_EQ(qzltest::NotBuiltCalls("BATableInsertEntry"), 3u);
    EXPECT_EQ(adapter_->MacBaQuirk[entry_->WlanIdx], 0);
    // Window 0 with time-out 5000 and the immediate policy marks the entry and the port.
    Deliver(ProcessRxAddBAExtended, 0x0A, RxAddBa(3, 0, 5000, 5, false));
    EXPECT_EQ(port0_->BaQuirk, 0) << "not without the immediate policy";
    Deliver(ProcessRxAddBAExtended, 0x0A, RxAddBa(3, 0, 5000, 5, true));
    EXPECT_EQ(adapter_->MacBaQuirk[entry_->WlanIdx], 1);
    EXPECT_EQ(port0_->BaQuirk, 1);
}

TEST_F(LegacyEvents, TheExtendedFormAddsTheHighPartOfTheBufferSize)
{
    port0_->BaWindowLimit = 0;  // the decision window is 0 whatever the buffer
    Deliver(ProcessRxAddBAExtended, 0x0A, RxAddBa(5, 0, 5000, 1, true, 1));
    EXPECT_TRUE(TraceContains("ProcessRxAddBAExtended: WLAN " + std::to_string(entry_->WlanIdx) +
                              " TID 5 buffer 1024 window 0"));
    EXPECT_EQ(port0_->BaQuirk, 1);
    // The plain form ignores the high part and needs only 8 bytes.
    adapter_->DeviceId = 0x3502;
    Bytes plain = RxAddBa(5, 40, 0, 1, true, 1);
    plain.resize(8);
    Deliver(ProcessRxAddBA, 0x0A, plain);
    EXPECT_TRUE(TraceContains("ProcessRxAddBA: WLAN " + std::to_string(entry_->WlanIdx) + " TID 5 buffer 40 window 0"));
    // Too short for its form, or a station record no entry has: dropped.
    EXPECT_EQ(qzltest::NotBuiltCalls("BATableInsertEntry"), 2u);
    plain.resize(7);
    Deliver(ProcessRxAddBA, 0x0A, plain);
    EXPECT_EQ(qzltest::NotBuiltCalls("BATableInsertEntry"), 2u) << "7 bytes: dropped";
    Bytes unknown = RxAddBa(5, 40, 0, 1, true);
    unknown[0] = 0xEE;
    Deliver(ProcessRxAddBAExtended, 0x0A, unknown);
    EXPECT_EQ(qzltest::NotBuiltCalls("BATableInsertEntry"), 2u) << "station record 238: no entry";
}

TEST_F(LegacyEvents, TransmitAgreementsMarkTheirTidAndIgnoreTidsBeyondTheTable)
{
    Deliver(ProcessTxAddBA, 0x2E, {entry_->StaRecIdx, 6, 0, 0});
    EXPECT_EQ(entry_->TxAggregation[6], 1);
    const Bytes before(entry_->TxAggregation, entry_->TxAggregation + sizeof(entry_->TxAggregation));
    Deliver(ProcessTxAddBA, 0x2E, {entry_->StaRecIdx, 8, 0, 0});
    Deliver(ProcessTxAddBA, 0x2E, {entry_->StaRecIdx, 255, 0, 0});
    EXPECT_EQ(entry_->TxAggregation[7], 0);
    EXPECT_EQ(Bytes(entry_->TxAggregation, entry_->TxAggregation + sizeof(entry_->TxAggregation)), before)
        << "TIDs 8 and 255 mark nothing";
}

TEST_F(LegacyEvents, DeletionAgeOutAndKeyReportsReachTheirEntry)
{
    Deliver(ProcessRxDelBA, 0x0B, {entry_->StaRecIdx, 2});
    EXPECT_EQ(qzltest::NotBuiltCalls("BATableTearRECEntry"), 1u);
    Deliver(ProcessAPClientAgeout, 0x19, {entry_->StaRecIdx});
    EXPECT_EQ(qzltest::NotBuiltCalls("ApAgeoutPeerRequest"), 1u);
    Deliver(ProcessAPClientAgeout, 0x19, {});
    EXPECT_EQ(qzltest::NotBuiltCalls("ApAgeoutPeerRequest"), 1u);

    // The key report names a BSS index; the port's entry of its own role kind gets the flag.
    PMAC_TABLE_ENTRY own = MlmeSyncMacTabMatchedRoleType(port0_, GetWlanRoleType(port0_));
    Deliver(ProcessAddKeyDone, 0x24, {2, 0, 1, 2, 3, 4, 5, 6});
    for (UCHAR installed : adapter_->MacKeyInstalled) {
        EXPECT_EQ(installed, 0) << "BSS 2 has no port yet";
    }
    adapter_->BssIndexSlots[2].InUse = 1;
    adapter_->BssIndexSlots[2].Port = port0_;
    Deliver(ProcessAddKeyDone, 0x24, {2, 0, 1, 2, 3, 4, 5, 6});
    if (own != nullptr) {
        EXPECT_EQ(adapter_->MacKeyInstalled[own->WlanIdx], 1);
    }
}

TEST_F(LegacyEvents, NloResultsOtherThanNormalAreTraced)
{
    Deliver(ProcessNLOEvent, 0x23, {0, 1});
    Deliver(ProcessNLOEvent, 0x23, {0, 3});
    Deliver(ProcessNLOEvent, 0x23, {0});
    EXPECT_EQ(CountTraces("ProcessNLOEvent: "), 3u);
    EXPECT_TRUE(TraceContains("ProcessNLOEvent: status 3"));
}

TEST_F(LegacyEvents, AChannelGrantIsRecordedAndReleasesTheWaitingActionFrame)
{
    Bytes grant(12, 0);
    grant[0] = 1;   // BSS index
    grant[1] = 42;  // token
    grant[3] = 36;  // primary channel
    grant[5] = 2;   // band
    grant[10] = 0x77;
    Deliver(ProcessChPrivilegeEvent, 0x10, grant);
    EXPECT_EQ(adapter_->ChGrantGranted, 0) << "BSS 1 has no port or slot yet";
    EXPECT_EQ(adapter_->BssSlotGrantValue[1], 0);
    EXPECT_TRUE(TakeControl().empty());

    adapter_->BssIndexSlots[1].InUse = 1;
    adapter_->BssIndexSlots[1].Port = port0_;
    AdapterSetFlag(adapter_.get(), ADAPTER_FLAG_CH_PRIVILEGE, "test");
    adapter_->DiscoveryPrivilege = 1;
    Deliver(ProcessChPrivilegeEvent, 0x10, grant);
    EXPECT_FALSE(AdapterTestFlags(adapter_.get(), ADAPTER_FLAG_CH_PRIVILEGE));
    EXPECT_EQ(adapter_->ChGrantGranted, 1);
    EXPECT_EQ(adapter_->ChGrantBssIndex, 1);
    EXPECT_EQ(adapter_->ChGrantToken, 42);
    EXPECT_EQ(Bytes(adapter_->CurrentChannelRecord, adapter_->CurrentChannelRecord + 5), (Bytes{36, 1, 36, 1, 2}));
    EXPECT_EQ(adapter_->BssSlotGrantValue[1], 0x77);
    auto posted = TakeControl();
    (void)posted;
    // The discovery's grant goes to the Wi-Fi Direct command thread's queue (not the control queue).
    EXPECT_TRUE(posted.empty());

    // A grant shorter than its fields is dropped.
    grant.resize(10);
    adapter_->ChGrantGranted = 0;
    Deliver(ProcessChPrivilegeEvent, 0x10, grant);
    EXPECT_EQ(adapter_->ChGrantGranted, 0);
}

}  // namespace
}  // namespace fwstatustest
