// The BSS table: storing and updating entries from beacons and probe responses, the full-table
// rules, the searches and the deletes.
#include <string>

#include "Common/mlme/mlmesync.h"
#include "bss/bss_fixture.h"

namespace bsstest {
namespace {

// The parsed values of one frame, with their storage.
struct Heard {
    UCHAR bssid[6] = {0x02, 0x10, 0x20, 0x30, 0x40, 0x01};
    std::string ssid = "home";
    UCHAR channel = 6;
    LONG band = BAND_24G;
    CHAR rssi = -50;
    bool beacon = true;
    UCHAR rssiUpdate = 1;
    Bytes varIes;
    Bytes beaconWps;
    Bytes probeWps;
    Bytes htCap = Bytes(26, 0);
    Bytes htOp = Bytes(22, 0);
    UCHAR htCapLen = 0;
    UCHAR htOpLen = 0;
    Bytes frame;
    BSS_ENTRY_INPUT in{};

    const BSS_ENTRY_INPUT* Input()
    {
        in = BSS_ENTRY_INPUT{};
        in.Bssid = bssid;
        in.Ssid = reinterpret_cast<const UCHAR*>(ssid.data());
        in.SsidLen = static_cast<UCHAR>(ssid.size());
        in.BssType = BSS_INFRA;
        in.BeaconPeriod = 100;
        in.CapabilityInfo = 0x0011;
        in.Channel = channel;
        in.Band = band;
        in.Rssi = rssi;
        in.RssiUpdate = rssiUpdate;
        in.IsBeacon = beacon ? 1 : 0;
        in.SecondaryChannelOffset = 0xFF;
        in.HtCapability = htCap.data();
        in.HtOperation = htOp.data();
        in.HtCapabilityLen = htCapLen;
        in.HtOperationLen = htOpLen;
        in.VarIes = varIes.data();
        in.VarIeLen = static_cast<USHORT>(varIes.size());
        in.BeaconWpsIe = beaconWps.data();
        in.BeaconWpsIeLen = static_cast<USHORT>(beaconWps.size());
        in.ProbeRspWpsIe = probeWps.data();
        in.ProbeRspWpsIeLen = static_cast<USHORT>(probeWps.size());
        in.Frame = frame.data();
        in.FrameLen = static_cast<ULONG>(frame.size());
        return &in;
    }
};

class BssTable : public BssTest {
protected:
    LONG Store(Heard& h) { return BssTableSetEntry(adapter_, port_, adapter_->ScanTable, h.Input()); }
    BSS_ENTRY& At(LONG i) { return adapter_->ScanTable->BssEntry[i]; }
    USHORT Count() const { return adapter_->ScanTable->EntryCount; }

    // Fills the table with 256 entries of RSSI rssiOf(i).
    template <typename F>
    void Fill(F rssiOf)
    {
        for (int i = 0; i < MAX_LEN_OF_BSS_TABLE; ++i) {
            Heard h;
            h.bssid[4] = static_cast<UCHAR>(i >> 8);
            h.bssid[5] = static_cast<UCHAR>(i);
            h.ssid = "n" + std::to_string(i);
            h.rssi = rssiOf(i);
            ASSERT_EQ(Store(h), i);
        }
    }
};

TEST_F(BssTable, ClearingWritesZeroOverCountAndOverflowSlotAndEveryEntry)
{
    Heard h;
    Store(h);
    adapter_->ScanTable->OverflowSlot = 7;
    BssTableInit(adapter_->ScanTable);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(adapter_->ScanTable->OverflowSlot, 0);
    EXPECT_EQ(At(0).Valid, 0);
    BssTableInit(nullptr);  // only traced
}

TEST_F(BssTable, NewBssesAreAppendedAndAnUpdateRewritesTheSameEntry)
{
    Heard a;
    Heard b;
    b.bssid[5] = 2;
    EXPECT_EQ(Store(a), 0);
    EXPECT_EQ(Store(b), 1);
    a.channel = 11;  // same side of channel 14
    a.rssi = -40;
    EXPECT_EQ(Store(a), 0);
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(At(0).Channel, 11);
    EXPECT_EQ(At(0).Rssi, -40);
    EXPECT_EQ(At(0).Valid, 1);
    EXPECT_EQ(At(0).Privacy, 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(At(0).Ssid), At(0).SsidLen), "home");
}

TEST_F(BssTable, ABssidOnChannelSixAndOnChannelThirtySixGivesTwoEntries)
{
    Heard h;
    EXPECT_EQ(Store(h), 0);
    h.channel = 36;
    h.band = BAND_5G;
    EXPECT_EQ(Store(h), 1);
    EXPECT_EQ(BssTableFindBssidOnBand(adapter_->ScanTable, h.bssid, 1), 0);
    EXPECT_EQ(BssTableFindBssidOnBand(adapter_->ScanTable, h.bssid, 149), 1);
    EXPECT_EQ(BssTableFindBssidInBand(adapter_, port_, adapter_->ScanTable, BAND_5G, h.bssid), 1);
}

TEST_F(BssTable, AHiddenSsidNeverErasesAKnownOne)
{
    Heard h;
    Store(h);
    for (std::string hidden : {std::string(), std::string(5, '\0')}) {
        Heard b;
        b.ssid = hidden;
        EXPECT_EQ(Store(b), 0);
        EXPECT_EQ(At(0).SsidLen, 4);
        EXPECT_EQ(std::memcmp(At(0).Ssid, "home", 4), 0);
    }
    EXPECT_EQ(Count(), 1);
}

TEST_F(BssTable, ASixGigahertzProbeResponseWithoutSsidLeavesTheEntryUntouched)
{
    Heard h;
    h.channel = 37;
    h.band = BAND_6G;
    h.rssi = -60;
    Store(h);
    Heard p = h;
    p.ssid.clear();
    p.beacon = false;
    p.rssi = -30;
    EXPECT_EQ(Store(p), 0);
    EXPECT_EQ(At(0).Rssi, -60);
    EXPECT_EQ(At(0).ProbeRspFrameLen, 0);
    // A beacon without SSID does update it.
    Heard b = p;
    b.beacon = true;
    Store(b);
    EXPECT_EQ(At(0).Rssi, -30);
    EXPECT_EQ(At(0).SsidLen, 4);
}

TEST_F(BssTable, RssiIsRefreshedOnlyWithTheUpdateFlagOrWhenUnset)
{
    Heard h;
    h.rssiUpdate = 0;
    Store(h);
    EXPECT_EQ(At(0).Rssi, -50);  // unset before
    h.rssi = -70;
    Store(h);
    EXPECT_EQ(At(0).Rssi, -50);
    h.rssiUpdate = 1;
    Store(h);
    EXPECT_EQ(At(0).Rssi, -70);
}

TEST_F(BssTable, AFullTableGivesTheConnectTargetRotatingSlots)
{
    Fill([](int) { return static_cast<CHAR>(-40); });
    Heard t;
    t.bssid[0] = 0x06;
    std::memcpy(adapter_->ConnectTargetBssid, t.bssid, 6);
    for (LONG want : {1, 2, 3}) {
        EXPECT_EQ(Store(t), want);
        t.bssid[5]++;
        std::memcpy(adapter_->ConnectTargetBssid, t.bssid, 6);
    }
    adapter_->ScanTable->OverflowSlot = 255;
    EXPECT_EQ(Store(t), 0);  // wraps after 255
    EXPECT_EQ(Count(), MAX_LEN_OF_BSS_TABLE);
    // Once connected the target is only an ordinary frame.
    port_->ConnectionFlags |= PORT_CONN_CONNECTED;
    t.bssid[5]++;
    std::memcpy(adapter_->ConnectTargetBssid, t.bssid, 6);
    t.rssi = -50;  // no stronger than the targets stored at -50
    EXPECT_EQ(Store(t), BSS_NOT_FOUND);
}

TEST_F(BssTable, AFullTableReplacesTheWeakestOnlyForAStrictlyStrongerFrame)
{
    Fill([](int i) { return static_cast<CHAR>(i == 10 || i == 20 ? -90 : -50); });
    Heard h;
    h.bssid[0] = 0x0A;
    h.rssi = -90;
    EXPECT_EQ(Store(h), BSS_NOT_FOUND);  // equal is not stronger
    h.rssi = -89;
    EXPECT_EQ(Store(h), 10);  // ties keep the earlier entry
    EXPECT_EQ(At(10).Rssi, -89);
    EXPECT_EQ(std::memcmp(At(10).Bssid, h.bssid, 6), 0);
}

TEST_F(BssTable, AFullTableOfNonNegativeRssiTakesNothing)
{
    Fill([](int) { return static_cast<CHAR>(0); });
    Heard h;
    h.bssid[0] = 0x0A;
    h.rssi = 10;
    EXPECT_EQ(Store(h), BSS_NOT_FOUND);
}

TEST_F(BssTable, HtOperationGivesTheCentreChannel)
{
    struct Case {
        UCHAR control;
        UCHAR offset;
        bool width40;
        UCHAR phyMode;
        UCHAR central;
    } cases[] = {
        {13, 3, true, PHY_11ABGN_MIXED, 11},  // control 13 forces 11
        {12, 3, true, PHY_11ABGN_MIXED, 10},
        {6, 3, true, PHY_11ABGN_MIXED, 4},
        {6, 1, true, PHY_11ABGN_MIXED, 8},
        {6, 1, false, PHY_11ABGN_MIXED, 6},
        {6, 1, true, PHY_11G, 6},  // no HT on the port: centre stays the channel
    };
    for (const Case& c : cases) {
        BssTableInit(adapter_->ScanTable);
        port_->WirelessMode = c.phyMode;
        Heard h;
        h.channel = 6;
        h.htCapLen = 26;
        h.htOpLen = 22;
        h.htCap[0] = c.width40 ? 0x02 : 0;
        h.htOp[0] = c.control;
        h.htOp[1] = c.offset;
        Store(h);
        EXPECT_EQ(At(0).CentralChannel, c.central) << int(c.control) << "/" << int(c.offset);
        EXPECT_EQ(At(0).HtCapabilityLen, c.phyMode == PHY_11G ? 0 : 26);
    }
}

TEST_F(BssTable, TheElementBlockIsReplacedOnlyByALongerOne)
{
    Heard h;
    h.varIes = Cat({SsidIe("home"), Ie(1, {0x82, 0x84})});
    Store(h);
    EXPECT_EQ(At(0).VarIeLen, h.varIes.size());
    Heard shorter;
    shorter.varIes = SsidIe("home");
    Store(shorter);
    EXPECT_EQ(At(0).VarIeLen, h.varIes.size());
    port_->WpsMode = 1;  // during WPS any nonempty block replaces it
    Store(shorter);
    EXPECT_EQ(At(0).VarIeLen, shorter.varIes.size());
}

Bytes WpsIe(const Bytes& attributes)
{
    Bytes body{0x00, 0x50, 0xF2, 0x04};
    body.insert(body.end(), attributes.begin(), attributes.end());
    return IeOf(221, body);
}

TEST_F(BssTable, WpsElementsAreKeptPerFrameKindAndTheirAttributesRead)
{
    Heard b;
    b.beaconWps = WpsIe({0x10, 0x57, 0x00, 0x01, 0x01,               // AP setup locked
                         0x10, 0x12, 0x00, 0x02, 0x04, 0x00,         // device password id
                         0x10, 0x49, 0x00, 0x06, 0x00, 0x37, 0x2A, 0x00, 0x01, 0x20,  // version 2
                         0x10, 0x44, 0x00, 0x01, 0x02});
    Store(b);
    EXPECT_EQ(At(0).WpsPresent, 1);
    EXPECT_EQ(At(0).WpsApSetupLocked, 1);
    EXPECT_EQ(At(0).WpsVersion2, 0x20);
    USHORT id = 0;
    std::memcpy(&id, b.beaconWps.data() + 15, 2);
    EXPECT_EQ(At(0).WpsDevicePasswordId, id);

    Heard p;
    p.beacon = false;
    p.probeWps = WpsIe({0x10, 0x44, 0x00, 0x01, 0x02, 0x10, 0x41, 0x00, 0x01, 0x01});
    Store(p);
    Heard later;  // a beacon without WPS leaves both copies alone
    Store(later);
    EXPECT_EQ(At(0).BeaconWpsIeLen, b.beaconWps.size());
    EXPECT_EQ(At(0).ProbeRspWpsIeLen, p.probeWps.size());
    EXPECT_EQ(At(0).WpsPresent, 1);
    EXPECT_EQ(At(0).WpsApSetupLocked, 0);  // cleared by each update, read from the probe copy
}

TEST_F(BssTable, AWpsAttributeLongerThanItsElementEndsTheWalk)
{
    Heard b;
    b.beaconWps = WpsIe({0x10, 0x44, 0x00, 0x01, 0x02, 0x10, 0x57, 0x00, 0x40, 0x01, 0x01, 0x01});
    Store(b);
    EXPECT_EQ(At(0).WpsApSetupLocked, 0);
}

TEST_F(BssTable, StoredLengthsNeverExceedTheirFields)
{
    Heard h;
    Bytes rates(40, 0x82);
    Bytes big(3000, 0xDD);
    BSS_ENTRY_INPUT* in = const_cast<BSS_ENTRY_INPUT*>(h.Input());
    in->SupportedRates = rates.data();
    in->SupportedRatesLen = 40;
    in->ExtendedRates = rates.data();
    in->ExtendedRatesLen = 40;
    in->Frame = big.data();
    in->FrameLen = 3000;
    in->VarIes = big.data();
    in->VarIeLen = 3000;
    in->BeaconWpsIe = big.data();
    in->BeaconWpsIeLen = 3000;
    ASSERT_EQ(BssTableSetEntry(adapter_, port_, adapter_->ScanTable, in), 0);
    EXPECT_EQ(At(0).SupportedRatesLen, BSS_RATES_MAX);
    EXPECT_EQ(At(0).ExtendedRatesLen, BSS_RATES_MAX);
    EXPECT_EQ(At(0).BeaconFrameLen, BSS_IE_BUFFER_SIZE);
    EXPECT_EQ(At(0).VarIeLen, BSS_IE_BUFFER_SIZE);
    EXPECT_EQ(At(0).BeaconWpsIeLen, BSS_IE_BUFFER_SIZE);
}

TEST_F(BssTable, SearchesBySsidAndBssidWithHiddenNetworks)
{
    Heard a;
    Heard hidden;
    hidden.bssid[5] = 9;
    hidden.ssid = std::string(4, '\0');
    Store(a);
    Store(hidden);
    const BSS_TABLE* t = adapter_->ScanTable;
    EXPECT_EQ(BssTableSearchBySsid(t, reinterpret_cast<const UCHAR*>("home"), 4), 0);
    EXPECT_EQ(BssTableSearchBySsid(t, reinterpret_cast<const UCHAR*>("hom"), 3), BSS_NOT_FOUND);
    Bytes long33(33, 'a');
    EXPECT_EQ(BssTableSearchBySsid(t, long33.data(), 33), BSS_NOT_FOUND);
    EXPECT_EQ(BssSearchWithSsid(t, a.bssid, reinterpret_cast<const UCHAR*>("home"), 4, 1), 0);
    EXPECT_EQ(BssSearchWithSsid(t, a.bssid, reinterpret_cast<const UCHAR*>("home"), 4, 36), BSS_NOT_FOUND);
    // A hidden entry matches any SSID; so does a hidden wanted SSID.
    EXPECT_EQ(BssTableFindBssidSsid(t, hidden.bssid, reinterpret_cast<const UCHAR*>("x"), 1, 6), 1);
    UCHAR zeros[3] = {};
    EXPECT_EQ(BssTableFindBssidSsid(t, a.bssid, zeros, 3, 6), 0);
    EXPECT_EQ(BssTableFindBssidSsid(t, a.bssid, reinterpret_cast<const UCHAR*>("other"), 5, 6), BSS_NOT_FOUND);
    EXPECT_EQ(BssTableSearchByBssid(adapter_, port_, t, hidden.bssid), 1);
    EXPECT_EQ(BssTableSearch(adapter_, port_, t, hidden.bssid, 1), 1);
    EXPECT_EQ(BssTableSearch(adapter_, port_, t, hidden.bssid, 40), BSS_NOT_FOUND);
}

TEST_F(BssTable, DeletesRemoveOneEntryAndCloseTheGap)
{
    Heard h[4];
    for (int i = 0; i < 4; ++i) {
        h[i].bssid[5] = static_cast<UCHAR>(i);
        Store(h[i]);
    }
    Heard dup = h[3];  // same BSSID on 5 GHz
    dup.channel = 36;
    dup.band = BAND_5G;
    Store(dup);
    BssTableDeleteEntry(adapter_->ScanTable, h[1].bssid, 6);
    EXPECT_EQ(Count(), 4);
    EXPECT_EQ(At(1).Bssid[5], 2);
    EXPECT_EQ(At(4).Valid, 0);
    BssTableDeleteEntryEx(adapter_->ScanTable, h[3].bssid, 36, reinterpret_cast<const UCHAR*>("nope"), 4);
    EXPECT_EQ(Count(), 4);
    BssTableDeleteEntryEx(adapter_->ScanTable, h[3].bssid, 36, reinterpret_cast<const UCHAR*>("home"), 4);
    EXPECT_EQ(Count(), 3);
    EXPECT_EQ(At(2).Channel, 6);
}

TEST_F(BssTable, SixGigahertzStandardPowerAction)
{
    UCHAR op[5] = {37, 1u << 3, 0, 0, 0};  // regulatory info 1: standard power
    ULONG action = 99;
    adapter_->RegistryBlock.SP6GDefaultAction = 3;
    BSSCheck6GFilterAction(adapter_, port_, 37, BAND_6G, op, &action);
    EXPECT_EQ(action, 3u);  // no rules: the configured default
    adapter_->SpRulePlan.RecordCount = 2;
    adapter_->SpRulePlan.Records[0] = {0, BAND_6G, 4, 1, 4, {}, 7};  // channels 1..13
    action = 99;
    BSSCheck6GFilterAction(adapter_, port_, 13, BAND_6G, op, &action);
    EXPECT_EQ(action, 7u);
    action = 99;
    BSSCheck6GFilterAction(adapter_, port_, 17, BAND_6G, op, &action);
    EXPECT_EQ(action, 99u);  // no record: left as set
    op[1] = 2u << 3;
    BSSCheck6GFilterAction(adapter_, port_, 13, BAND_6G, op, &action);
    EXPECT_EQ(action, 0u);
}

TEST_F(BssTable, ApCountsPerChannelOfTheAdapterChannelList)
{
    SetChannels({{1, BAND_24G}, {6, BAND_24G}, {36, BAND_5G}});
    ScanTblApNumInit(adapter_);
    Heard a;
    Heard b;
    b.bssid[5] = 7;
    Store(a);
    Store(b);
    ScanTblApNumOfCh(adapter_);
    EXPECT_EQ(adapter_->ScanApNum.RowCount, 3);
    EXPECT_EQ(adapter_->ScanApNum.Rows[1].Channel, 6);
    EXPECT_EQ(adapter_->ScanApNum.Rows[1].ApCount, 2);
    EXPECT_EQ(adapter_->ScanApNum.Rows[0].ApCount, 0);
}

}  // namespace
}  // namespace bsstest
