// The firmware setting pushes (customer-configuration items of command 0x70) and the link-parameter
// upkeep: the EDCA record of a port, the protection bytes of its own entry, the 20/40 trigger events.
#include <algorithm>
#include <functional>

#include "periodic/periodic_fixture.h"

namespace periodictest {
namespace {

class SettingPush : public PeriodicTest {
protected:
    void SetUp() override
    {
        PeriodicTest::SetUp();
        SetUpChip(fwcmdstest::kSecondGen);
    }
};

TEST_F(SettingPush, TheItemLayoutOfTheCustomerConfigurationCommand)
{
    adapter_->Mlme.Csa.CsaPending = 1;
    ASSERT_EQ(MlmeUpdateForceTxStopToFw(adapter_.get(), port0_), STATUS_SUCCESS);
    const std::vector<ChipConfigItem> items = ChipConfigs();
    ASSERT_EQ(items.size(), 1u);
    const Bytes& p = items[0].payload;
    ASSERT_EQ(p.size(), 284u);
    const Bytes head = {0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 68, 0, 3, 11, 1, 0};
    EXPECT_EQ(Bytes(p.begin(), p.begin() + 16), head);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[16])), "ForceTxStop");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[48])), "1");
    for (size_t i = 16 + 11; i < 48; ++i) {
        EXPECT_EQ(p[i], 0) << i;  // the key zero-filled
    }
    for (size_t i = 49; i < 284; ++i) {
        EXPECT_EQ(p[i], 0) << i;  // the value zero-filled, then 204 zero bytes
    }
    const sim::fw::LegacyCommand c = Legacy().back();
    EXPECT_EQ(c.setQuery, 1);
}

struct PushCase {
    const char* name;
    std::function<void(MP_ADAPTER*)> setup;
    std::function<NTSTATUS(MP_ADAPTER*, MP_PORT*)> push;
    const char* key;
    const char* value;
};

TEST_F(SettingPush, EachPushSendsItsKeyAndValue)
{
    const PushCase cases[] = {
        {"edcca on", [](MP_ADAPTER* a) { a->RegistryBlock.EdccaDetectEnable = 1; }, MlmeUpdateEdccaDetectEnableToFw,
         "EdccaDetectEnable", "1"},
        {"edcca 2", [](MP_ADAPTER* a) { a->RegistryBlock.EdccaDetectEnable = 2; }, MlmeUpdateEdccaDetectEnableToFw,
         "EdccaDetectEnable", "0"},
        {"pcie switch", [](MP_ADAPTER* a) { a->RegistryBlock.EnablePcieSwitch = 3; }, MlmeUpdateEnablePcieSwitchToFw,
         "EnablePcieSwitch", "1"},
        {"pcie switch off", [](MP_ADAPTER* a) { a->RegistryBlock.EnablePcieSwitch = 0; },
         MlmeUpdateEnablePcieSwitchToFw, "EnablePcieSwitch", "0"},
        {"rekey", [](MP_ADAPTER* a) { a->RegistryBlock.DisableGTKRekey = 0; }, MlmeUpdateEnableRekeyOffloadToFw,
         "EnableRekeyOffload", "1"},
        {"rekey off", [](MP_ADAPTER* a) { a->RegistryBlock.DisableGTKRekey = 1; }, MlmeUpdateEnableRekeyOffloadToFw,
         "EnableRekeyOffload", "0"},
        {"no quiet switch", [](MP_ADAPTER* a) { a->Mlme.Csa.CsaPending = 0; }, MlmeUpdateForceTxStopToFw, "ForceTxStop",
         "0"},
        {"drop front", [](MP_ADAPTER*) {}, MlmeUpdateFwlogDropFront, "FwLogSramDropFront", "1"},
        {"semaphore", [](MP_ADAPTER*) {}, MlmeUpdateFwlogSemaEn, "FwLogSramSemaEn", "1"},
        {"block", [](MP_ADAPTER*) {}, [](MP_ADAPTER* a, MP_PORT* p) { return MlmeUpdateFwlogSramEvtBlcok(a, p, 1); },
         "FwLogSramEvtBlock", "1"},
        {"unblock", [](MP_ADAPTER*) {},
         [](MP_ADAPTER* a, MP_PORT* p) { return MlmeUpdateFwlogSramEvtBlcok(a, p, 2); }, "FwLogSramEvtBlock", "0"},
        {"full power", [](MP_ADAPTER* a) { a->LowPower.LowPowerMode = 0; }, MlmeUpdateKeepFullPwrToFw, "KeepFullPwr",
         "1"},
        {"low power", [](MP_ADAPTER* a) { a->LowPower.LowPowerMode = 1; }, MlmeUpdateKeepFullPwrToFw, "KeepFullPwr",
         "0"},
    };
    for (const PushCase& c : cases) {
        ClearSent();
        c.setup(adapter_.get());
        // Any port: the item goes for port 0.
        EXPECT_EQ(c.push(adapter_.get(), port0_), STATUS_SUCCESS) << c.name;
        const std::vector<ChipConfigItem> items = ChipConfigs();
        ASSERT_EQ(items.size(), 1u) << c.name;
        EXPECT_EQ(items[0].key, c.key) << c.name;
        EXPECT_EQ(items[0].value, c.value) << c.name;
    }
}

struct DtimCase {
    USHORT setting;
    bool modernStandby;
    USHORT beacon;
    USHORT dtim;
    const char* value;
};

TEST_F(SettingPush, TheScreenOffDtimWord)
{
    const DtimCase cases[] = {
        {70, true, 100, 1, "69"},   {70, true, 100, 3, "70"},     {70, true, 150, 3, "70"},
        {70, true, 150, 4, "65"},   {70, true, 200, 9, "70"},     {70, true, 300, 9, "70"},
        {0x8003, true, 100, 1, "67"}, {0x8003, false, 150, 4, "67"}, {70, false, 100, 1, "65"},
        {70, true, 100, 0x201, "69"},  // only the low 8 bits of the DTIM period
    };
    for (const DtimCase& c : cases) {
        ClearSent();
        adapter_->RegistryBlock.DynamicDtimPeriod = c.setting;
        SetModernStandby(c.modernStandby);
        port0_->Mlme.Req.SavedBssEntry.BeaconPeriod = c.beacon;
        port0_->Mlme.Req.SavedBssEntry.DtimPeriod = c.dtim;
        EXPECT_EQ(MlmeUpdateDynamicDtimToFw(adapter_.get(), port0_), STATUS_SUCCESS);
        const std::vector<ChipConfigItem> items = ChipConfigs();
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].key, "ScreenoffDTIMPeriod");
        EXPECT_EQ(items[0].value, c.value) << c.setting << " " << c.beacon << "/" << c.dtim;
    }
}

class ThirdGenPush : public PeriodicTest {};

TEST_F(ThirdGenPush, TheItemGoesAsTheUnifiedCustomerConfiguration)
{
    SetUpChip(fwcmdstest::kThirdGen);
    adapter_->LowPower.LowPowerMode = 1;
    ASSERT_EQ(MlmeUpdateKeepFullPwrToFw(adapter_.get(), port0_), STATUS_SUCCESS);
    const std::vector<sim::fw::UnifiedCommand> sent = Unified();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].cmdId, 0x0E);
    // The 68-byte item, whole, inside the command: type 3, lengths 11 and 1, key and value.
    Bytes item(68, 0);
    item[0] = 3;
    item[1] = 11;
    item[2] = 1;
    std::memcpy(&item[4], "KeepFullPwr", 11);
    item[36] = '0';
    const Bytes& p = sent[0].payload;
    EXPECT_NE(std::search(p.begin(), p.end(), item.begin(), item.end()), p.end());
    EXPECT_EQ(ChipConfigs().size(), 0u);
}

// ---- EDCA, protection, trigger events ---------------------------------------------------------------------------
class LinkUpkeep : public SettingPush {
protected:
    void SetUp() override
    {
        SettingPush::SetUp();
        ASSERT_EQ(MlmeSyncInitMacTabPool(adapter_.get()), STATUS_SUCCESS);
    }
    PMAC_TABLE_ENTRY Entry(const UCHAR last, USHORT kind)
    {
        const UCHAR address[6] = {0x02, 0x41, 0x50, 0x00, 0x00, last};
        PMAC_TABLE_ENTRY e = MacTableInsertEntry(adapter_.get(), port0_, address, TRUE);
        EXPECT_NE(e, nullptr);
        if (e != nullptr) {
            e->Kind = kind;
        }
        return e;
    }
    static EDCA_PARM Edca(UCHAR valid)
    {
        EDCA_PARM e = {};
        e.Valid = valid;
        for (int ac = 0; ac < 4; ++ac) {
            e.Aifsn[ac] = static_cast<UCHAR>(2 + ac);
            e.CwMin[ac] = 4;
            e.CwMax[ac] = 10;
        }
        return e;
    }
};

TEST_F(LinkUpkeep, AnInvalidRecordClearsEveryWmmBitAndSendsNothing)
{
    PMAC_TABLE_ENTRY ap = Entry(1, 1);
    PMAC_TABLE_ENTRY other = Entry(2, 2);
    ap->ClientFlags = 0x3;
    other->ClientFlags = 0x1;
    port0_->ConnectionFlags = 0x1 | 0x100;
    port0_->Mlme.Edca = Edca(1);
    EDCA_PARM invalid = Edca(0);
    EXPECT_EQ(AsicSetEdcaParm(adapter_.get(), port0_, &invalid, 1), STATUS_SUCCESS);
    EXPECT_EQ(port0_->ConnectionFlags, 0x1u);
    EXPECT_EQ(ap->ClientFlags, 0x2u);
    EXPECT_EQ(other->ClientFlags, 0x0u);
    EXPECT_EQ(port0_->Mlme.Edca.Valid, 0);
    EXPECT_EQ(port0_->Mlme.Edca.Aifsn[3], 0);
    EXPECT_EQ(LegacyCount(0x1D), 0u);
    // No record at all: the same.
    port0_->ConnectionFlags |= 0x100;
    EXPECT_EQ(AsicSetEdcaParm(adapter_.get(), port0_, nullptr, 1), STATUS_SUCCESS);
    EXPECT_EQ(port0_->ConnectionFlags, 0x1u);
    EXPECT_EQ(LegacyCount(0x1D), 0u);
}

TEST_F(LinkUpkeep, AValidRecordIsKeptAndSentWhereTheRulesAllow)
{
    const EDCA_PARM record = Edca(1);
    // A port without its link up: kept and sent, WMM on.
    EXPECT_EQ(AsicSetEdcaParm(adapter_.get(), port0_, const_cast<EDCA_PARM*>(&record), 1), STATUS_SUCCESS);
    EXPECT_EQ(port0_->ConnectionFlags & 0x100u, 0x100u);
    EXPECT_EQ(port0_->Mlme.Edca.Aifsn[2], 4);
    EXPECT_EQ(LegacyCount(0x1D), 1u);
    // A station with its link up and no access-point entry: nothing kept, nothing sent.
    ClearSent();
    port0_->ConnectionFlags = 0x1;
    port0_->Mlme.Edca = {};
    EXPECT_NE(AsicSetEdcaParm(adapter_.get(), port0_, const_cast<EDCA_PARM*>(&record), 1), STATUS_SUCCESS);
    EXPECT_EQ(port0_->ConnectionFlags & 0x100u, 0x100u);
    EXPECT_EQ(port0_->Mlme.Edca.Valid, 0);
    EXPECT_EQ(LegacyCount(0x1D), 0u);
    // With the access point's entry (kind 1): its WMM bit is set, the record kept and sent.
    PMAC_TABLE_ENTRY ap = Entry(1, 1);
    EXPECT_EQ(AsicSetEdcaParm(adapter_.get(), port0_, const_cast<EDCA_PARM*>(&record), 1), STATUS_SUCCESS);
    EXPECT_EQ(ap->ClientFlags & 0x1u, 0x1u);
    EXPECT_EQ(port0_->Mlme.Edca.Valid, 1);
    EXPECT_EQ(LegacyCount(0x1D), 1u);
}

TEST_F(LinkUpkeep, TheProtectionBytesOfTheOwnEntry)
{
    PMAC_TABLE_ENTRY own = Entry(1, GetWlanRoleType(port0_));
    // HT operation from the primary channel: octet 1 bit 3 RIFS, octets 2-3 bits 0-1 the HT protection.
    const UCHAR ht[5] = {6, 0x08, 0x03, 0x00, 0x00};
    port0_->WirelessMode = PHY_11BGN_MIXED;
    own->ErpProtection = 0;
    AsicUpdateProtect(adapter_.get(), port0_, ht, 0x3C, 0, 1);
    EXPECT_EQ(own->ErpProtection, 0) << "mask 0x3C leaves it";
    EXPECT_EQ(own->HtProtectionMode, 3);
    EXPECT_EQ(own->RifsMode, 1);
    AsicUpdateProtect(adapter_.get(), port0_, ht, 0x3F, 0, 1);
    EXPECT_EQ(own->ErpProtection, 1);
    AsicUpdateProtect(adapter_.get(), port0_, nullptr, 0x3F, 1, 1);
    EXPECT_EQ(own->ErpProtection, 0) << "legacy protection off wins";
    EXPECT_EQ(own->HtProtectionMode, 0);
    EXPECT_EQ(own->RifsMode, 0);
    port0_->WirelessMode = PHY_11G;
    AsicUpdateProtect(adapter_.get(), port0_, ht, 0x02, 0, 1);
    EXPECT_EQ(own->HtProtectionMode, 0);
    EXPECT_EQ(own->RifsMode, 0);
    EXPECT_EQ(own->ProtectionReserved, 0);
}

TEST_F(LinkUpkeep, TriggerEventsOfNonHtNetworks)
{
    TRIGGER_EVENT_TABLE& t = port0_->Action.TriggerEvents;
    const UCHAR bssid[6] = {0x02, 0, 0, 0, 0, 1};
    TriEventTableSetEntry(adapter_.get(), port0_, bssid, nullptr, 0, 81, 6);
    TriEventTableSetEntry(adapter_.get(), port0_, bssid, nullptr, 0, 81, 6);
    EXPECT_EQ(+t.EventCount, 1);
    EXPECT_EQ(t.Events[0].Valid, 1);
    EXPECT_EQ(t.Events[0].OperatingClass, 81);
    EXPECT_EQ(+t.Events[0].Channel, 6);
    for (UCHAR ch = 1; ch <= 40; ++ch) {
        TriEventTableSetEntry(adapter_.get(), port0_, bssid, nullptr, 0, 12, ch);
    }
    EXPECT_EQ(+t.EventCount, 32) << "the 33rd and later are dropped";
    EXPECT_EQ(+t.Events[31].Channel, 31);
    // An HT network: only its 40 MHz intolerance counts, as the port's width transition delay.
    port0_->ObssScanParams.Delay = 4500;
    const UCHAR tolerant[2] = {0xFF, 0xBF};
    const UCHAR intolerant[2] = {0x00, 0x40};
    TriEventTableSetEntry(adapter_.get(), port0_, bssid, tolerant, 26, 81, 1);
    EXPECT_EQ(+t.IntolerantDelay, 0u);
    TriEventTableSetEntry(adapter_.get(), port0_, bssid, intolerant, 26, 81, 1);
    EXPECT_EQ(+t.IntolerantDelay, 4500u);
    EXPECT_EQ(+t.EventCount, 32);
    TriEventTableInit(port0_);
    EXPECT_EQ(+t.EventCount, 0);
    EXPECT_EQ(+t.IntolerantDelay, 0u);
    EXPECT_EQ(t.Events[5].Valid, 0);
}

}  // namespace
}  // namespace periodictest
