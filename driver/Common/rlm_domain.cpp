// The regulatory domain: the current country's channel plan copy and channel list, the firmware's
// domain, and the country decisions and per-country rules.
#include "Common/rlm_domain.h"

#include <cstring>

#include "Common/cnm.h"
#include "Common/he/he_rlm.h"
#include "Common/mlme/mlmesync_chnl.h"
#include "Common/qzcmd_scan.h"
#include "Common/rlm.h"
#include "Common/rlm_domain_plans.h"
#include "hal/common/hal_chip.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr USHORT kKeyDefault = 0x4446;  // "DF"
constexpr USHORT kKeyMexico = 0x4D58;   // "MX"
constexpr USHORT kKeyUs = 0x5553;       // "US"

// The first empty slot of the plan copy (band 0); CHANNEL_PLAN_SUBBAND_COUNT when all are used.
ULONG FirstEmptySlot(const COUNTRY_CHANNEL_PLAN& plan)
{
    ULONG slot = 0;
    while (slot < CHANNEL_PLAN_SUBBAND_COUNT && plan.Subbands[slot].Band != 0) {
        ++slot;
    }
    return slot;
}

// The 6 GHz plan table of the chip (with "Country6GEn" set); FALSE for a chip without one.
BOOLEAN Chip6gTable(PMP_ADAPTER adapter, DOMAIN_6G_TABLE* table)
{
    if (HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_6G_PLANS_A)) {
        *table = DOMAIN_6G_TABLE_A;
        return TRUE;
    }
    if (HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_6G_PLANS_B)) {
        *table = DOMAIN_6G_TABLE_B;
        return TRUE;
    }
    return FALSE;
}

BOOLEAN SixGhzTableLoaded(PMP_ADAPTER adapter)
{
    return static_cast<BOOLEAN>(adapter->SkuTables.Text[SKU_SLOT_6G] != nullptr &&
                                adapter->SkuTables.Length[SKU_SLOT_6G] != 0);
}

}  // namespace

USHORT DomainCurrentKey(PMP_ADAPTER adapter)
{
    const USHORT text = adapter->WorkingCfg.CountryCode;  // first letter in the low byte
    return static_cast<USHORT>(((text & 0xFF) << 8) | (text >> 8));
}

// ================================================================================================
// configuring the domain
// ================================================================================================
NTSTATUS DomainConfigureDomainInfo(PMP_ADAPTER adapter, PMP_PORT port)
{
    if (adapter == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    const USHORT key = DomainCurrentKey(adapter);
    const NTSTATUS domainStatus = QzCmdSendDomainInfoCmd(adapter, port);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CONFIG, "domain %c%c sent to the firmware: 0x%08X", key >> 8, key & 0xFF,
             static_cast<unsigned>(domainStatus));
    DomainConfigureSPRuleInfo(adapter, key);
    (void)Ndis6CommonSetRegistryCurCountryForBt(adapter, adapter->WorkingCfg.CountryCode);
    if (adapter->RegistryBlock.CountryRoamingEn != 0 && key != kKeyDefault) {
        return QzCmdSendPwrLimitCmd(adapter);
    }
    return STATUS_SUCCESS;
}

PCOUNTRY_CHANNEL_PLAN DomainGetDomainInfo(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        return nullptr;
    }
    COUNTRY_BLOCK& country = adapter->Country;
    std::memset(&country.Plan, 0, sizeof(country.Plan));
    const USHORT key = DomainCurrentKey(adapter);
    DomainGetDomainInfo2g5g(adapter, key);
    DomainGetDomainInfo6g(adapter, key);
    country.PlanPtr = &country.Plan;
    DomainBuildChannelList(adapter, adapter->PortList[0]);
    MlmeCreateABChannelList(adapter);
    MlmeCreateAllChannelList(adapter);
    return country.PlanPtr;
}

void DomainGetDomainInfo2g5g(PMP_ADAPTER adapter, USHORT key)
{
    const COUNTRY_CHANNEL_PLAN* plans = DomainPlans2g5g();
    const COUNTRY_CHANNEL_PLAN* plan = DomainFindPlan(plans, DOMAIN_PLAN_2G5G_COUNT, key);
    if (plan == nullptr) {
        plan = &plans[DOMAIN_PLAN_DEFAULT];
    }
    if (plan == &plans[DOMAIN_PLAN_US_CA] && adapter->SarRegulatory.AlternatePlan != 0) {
        plan = &plans[DOMAIN_PLAN_US_CA_ALT];
    }
    COUNTRY_CHANNEL_PLAN& copy = adapter->Country.Plan;
    const COUNTRY_PLAN_OVERRIDE* reduction = nullptr;
    for (ULONG i = 0; i < plan->OverrideCount && plan->Overrides != nullptr; ++i) {
        if (plan->Overrides[i].CountryKey == key) {
            reduction = &plan->Overrides[i];
            break;
        }
    }
    if (reduction == nullptr) {
        copy = *plan;
    } else {
        copy.CountryKeys = plan->CountryKeys;
        copy.CountryKeyCount = plan->CountryKeyCount;
        copy.OverrideCount = plan->OverrideCount;
        copy.Overrides = plan->Overrides;
        ULONG to = 0;
        for (ULONG slot = 0; slot < CHANNEL_PLAN_SUBBAND_COUNT; ++slot) {
            if (reduction->Keep[slot] != 0) {
                copy.Subbands[to++] = plan->Subbands[slot];
            }
        }
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_CONFIG, "country %c%c: channel plan %u%s", key >> 8, key & 0xFF,
             static_cast<unsigned>(plan - plans), reduction != nullptr ? " reduced" : "");
    if (adapter->RegistryBlock.Country59GEn != 0) {
        DomainGetDomainInfo59g(adapter, key);
    }
}

void DomainGetDomainInfo59g(PMP_ADAPTER adapter, USHORT key)
{
    const UCHAR mode = adapter->RegistryBlock.Country59GEn;
    const COUNTRY_CHANNEL_PLAN* plan = DomainPlan59g(mode);
    if (plan == nullptr || !DomainKeyListed(plan->CountryKeys, plan->CountryKeyCount, key)) {
        return;
    }
    if (mode == 1) {
        const SAR_BIOS_TABLES& sar = adapter->SarRegulatory;
        if (!HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_59G_PLATFORM) || !sar.RegulatoryMethodPresent ||
            sar.Qzcl[12] != 1 || !DomainGetBiosCountrySupport(adapter, key, &sar.Qzcl[13])) {
            return;
        }
    }
    COUNTRY_CHANNEL_PLAN& copy = adapter->Country.Plan;
    const ULONG slot = FirstEmptySlot(copy);
    if (slot == CHANNEL_PLAN_SUBBAND_COUNT) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG, "5.9 GHz sub-band left out: every slot of the plan is used");
        return;
    }
    copy.Subbands[slot] = plan->Subbands[0];
}

void DomainGetDomainInfo6g(PMP_ADAPTER adapter, USHORT key)
{
    ULONG count = 0;
    const COUNTRY_CHANNEL_PLAN* plan = nullptr;
    BOOLEAN allowed = FALSE;
    if (adapter->RegistryBlock.Country6GEn == 0) {
        const COUNTRY_CHANNEL_PLAN* plans = DomainPlans6g(DOMAIN_6G_TABLE_FIRST_ISSUE, &count);
        plan = DomainFindPlan(plans, count, key);
        allowed = static_cast<BOOLEAN>(plan != nullptr);
    } else {
        DOMAIN_6G_TABLE table;
        if (!SixGhzTableLoaded(adapter) || !Chip6gTable(adapter, &table)) {
            return;
        }
        const COUNTRY_CHANNEL_PLAN* plans = DomainPlans6g(table, &count);
        plan = DomainFindPlan(plans, count, key);
        if (plan != nullptr) {
            allowed = adapter->SarRegulatory.RegulatoryMethodPresent ? DomainGetBios6gSupport(adapter, key)
                                                                     : static_cast<BOOLEAN>(key != kKeyMexico);
        }
    }
    if (!allowed) {
        return;
    }
    COUNTRY_CHANNEL_PLAN& copy = adapter->Country.Plan;
    const ULONG n = FirstEmptySlot(*plan);
    const ULONG first = FirstEmptySlot(copy);
    if (first + n >= CHANNEL_PLAN_SUBBAND_COUNT) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG, "6 GHz sub-bands left out: %u used slots and %u more", static_cast<unsigned>(first),
                 static_cast<unsigned>(n));
        return;
    }
    for (ULONG i = 0; i < n; ++i) {
        copy.Subbands[first + i] = plan->Subbands[i];
    }
}

void DomainBuildChannelList(PMP_ADAPTER adapter, PMP_PORT port)
{
    COUNTRY_BLOCK& country = adapter->Country;
    std::memset(country.ChannelList, 0, sizeof(country.ChannelList));
    const BOOLEAN sixGhz = heRlmIs6GUsable(adapter);
    ULONG count = 0;
    BOOLEAN full = FALSE;
    for (ULONG slot = 0; slot < CHANNEL_PLAN_SUBBAND_COUNT && !full; ++slot) {
        const CHANNEL_PLAN_SUBBAND& run = country.Plan.Subbands[slot];
        if (run.Band == 0 || run.Band > BAND_6G || (run.Band == BAND_6G && !sixGhz)) {
            continue;
        }
        for (ULONG j = 0; j < run.ChannelCount; ++j) {
            if (count == DOMAIN_CHANNEL_MAX) {
                full = TRUE;  // the list holds 118 channels; the rest of the plan stays out
                break;
            }
            DOMAIN_CHANNEL_ENTRY& entry = country.ChannelList[count++];
            entry.Channel = static_cast<UCHAR>(run.FirstChannel + j * run.ChannelSpacing);
            entry.Band = run.Band;
            entry.Mark = 0;
            entry.Flags = run.Flags;
        }
    }
    country.ChannelListCount = static_cast<UCHAR>(count);
    DBGPRINT(full ? TRACE_LEVEL_WARNING : TRACE_LEVEL_INFORMATION, DBG_CONFIG, "port %u: channel list of %u channels%s",
             port != nullptr ? static_cast<unsigned>(port->PortNumber) : 0u, static_cast<unsigned>(count),
             full ? " (cut at the list's size)" : "");
}

ULONG DomainGetChannelCountByBand(PMP_ADAPTER adapter, ULONG selector)
{
    const ULONG band = selector == 1 ? BAND_24G : selector == 2 ? BAND_5G : selector == 5 ? BAND_6G : 0;
    if (band == 0) {
        return 0;
    }
    ULONG count = 0;
    const ULONG entries =
        adapter->Country.ChannelListCount < DOMAIN_CHANNEL_MAX ? adapter->Country.ChannelListCount : DOMAIN_CHANNEL_MAX;
    for (ULONG i = 0; i < entries; ++i) {
        if (adapter->Country.ChannelList[i].Band == band) {
            ++count;
        }
    }
    return count;
}

void DomainGet6gCountryList(PMP_ADAPTER adapter, PDOMAIN_6G_COUNTRY_ANSWER answer)
{
    DOMAIN_6G_TABLE table;
    if (adapter == nullptr || answer == nullptr || !Chip6gTable(adapter, &table)) {
        return;
    }
    ULONG count = 0;
    const COUNTRY_CHANNEL_PLAN* plans = DomainPlans6g(table, &count);
    const ULONG firstPlan = answer->Selector == 0 ? 0 : 2;
    for (ULONG p = firstPlan; p < firstPlan + 2 && p < count; ++p) {
        for (ULONG k = 0; k < plans[p].CountryKeyCount; ++k) {
            if (answer->Count >= DOMAIN_6G_COUNTRY_MAX) {
                DBGPRINT(TRACE_LEVEL_WARNING, DBG_CONFIG, "6 GHz country list full at %u", DOMAIN_6G_COUNTRY_MAX);
                return;
            }
            const USHORT key = plans[p].CountryKeys[k];
            answer->Countries[answer->Count][0] = static_cast<UCHAR>(key >> 8);
            answer->Countries[answer->Count][1] = static_cast<UCHAR>(key & 0xFF);
            ++answer->Count;
        }
    }
}

// ================================================================================================
// platform permissions and the standard-power rule
// ================================================================================================
namespace {

// Group 1 of the platform bitmap: one bit each, from bit 2 in this order.
constexpr char kGroup1[] = "AR AU AZ BY BO BR CA CL CN ID JP MY MX ME MA NZ NG PH RU RS SG KR TW TH UA GB US VN KH PY";
// Group 2 (bit 1) and group 3 (bit 0).
constexpr char kGroup2[] = "AD AT BE BG CY CZ DK EE FI FR DE GR HU IS IE IT LV LI LT LU MT MC NL NO PL PT SK SE ES SI CH HR RO";
constexpr char kGroup3[] =
    "AG AW BH BB BZ BM VG CW DO EG FJ GH GD IN JM JO KW LA MN NP OM PK PE SA SN ZA LK KN LC VC SR UY DZ AO AM BS BJ BW BF BI "
    "CM CV KY CF TD KM CR DJ EC GQ SZ ET GA GM GN GW GY HT HN IQ IL CI KG LB LS LR MG MW ML MR MD MZ NI NE PA PG QA CG WS SB "
    "SL SO SY TJ TZ TG TT TN TM AE UG UZ VU VE YE ZW AF AL BD BT CO HR SV ER GF GE GI GU GT HK KZ KE KI MK MV MH MQ MU FM NA "
    "NR PW PR RW SM TV VI MO AS AI IO CX CC CK CU TL FK TF VA IR JE YT MM NC NU NF KP MP PN RE MF PM ST VA WF EH";

// The position of the key in a space-separated country text; -1 when it is not there.
LONG KeyPosition(const char* text, ULONG length, USHORT key)
{
    for (ULONG i = 0; i + 1 < length; i += 3) {
        if (static_cast<UCHAR>(text[i]) == (key >> 8) && static_cast<UCHAR>(text[i + 1]) == (key & 0xFF)) {
            return static_cast<LONG>(i / 3);
        }
    }
    return -1;
}

BOOLEAN BitmapBit(const UCHAR* bitmap, ULONG bit) { return static_cast<BOOLEAN>((bitmap[bit / 8] >> (7 - bit % 8)) & 1); }

// The fixed standard-power rule (mode 2): TW, US and CA refuse standard power on 189-233.
constexpr USHORT kFixedRuleKeys[] = {0x5457, 0x5553, 0x4341};
constexpr SP_RULE_COUNTRY_PLAN kFixedRule = {kFixedRuleKeys,
                                             3,
                                             0,
                                             nullptr,
                                             {{{131, 3, 4, 1, 24, 0, 0}, 0},
                                              {{131, 3, 4, 97, 6, 0, 0}, 0},
                                              {{131, 3, 4, 121, 17, 0, 0}, 0},
                                              {{131, 3, 4, 189, 12, 0, 0}, 3}}};

// The adapter's rule becomes a copy of `source`; every action 3 when the platform refuses standard power.
void CopyRule(SP_RULE_PLAN& rule, const SP_RULE_COUNTRY_PLAN& source, BOOLEAN refuseAll)
{
    ULONG used = 0;
    for (ULONG i = 0; i < SP_RULE_RUN_COUNT && i < SP_RULE_MAX; ++i) {
        const SP_RULE_RUN& run = source.Runs[i];
        SP_RULE_RECORD& record = rule.Records[i];
        record.Reserved0 = run.Run.OperatingClass;
        record.Band = run.Run.Band;
        record.ChannelCount = run.Run.ChannelCount;
        record.FirstChannel = run.Run.FirstChannel;
        record.ChannelSpacing = run.Run.ChannelSpacing;
        record.PowerMode = refuseAll ? 3 : run.Action;
        if (run.Run.Band != 0) {
            used = i + 1;
        }
    }
    rule.RecordCount = used != 0 ? used : 1;
}

}  // namespace

BOOLEAN DomainGetBiosCountrySupport(PMP_ADAPTER adapter, USHORT key, const UCHAR* bitmap)
{
    UNREFERENCED_PARAMETER(adapter);
    if (bitmap == nullptr) {
        return FALSE;
    }
    LONG position = KeyPosition(kGroup1, sizeof(kGroup1) - 1, key);
    if (position >= 0) {
        return BitmapBit(bitmap, static_cast<ULONG>(position) + 2);
    }
    if (KeyPosition(kGroup2, sizeof(kGroup2) - 1, key) >= 0) {
        return BitmapBit(bitmap, 1);
    }
    if (KeyPosition(kGroup3, sizeof(kGroup3) - 1, key) >= 0) {
        return BitmapBit(bitmap, 0);
    }
    return FALSE;
}

BOOLEAN DomainGetBios6gSupport(PMP_ADAPTER adapter, USHORT key)
{
    const SAR_BIOS_TABLES& sar = adapter->SarRegulatory;
    switch (sar.Qzcl[5]) {
    case 1:
        return DomainGetBiosCountrySupport(adapter, key, &sar.Qzcl[6]);
    case 2:
        return TRUE;
    default:
        return FALSE;
    }
}

void DomainConfigureSPRuleInfo(PMP_ADAPTER adapter, USHORT key)
{
    SP_RULE_PLAN& rule = adapter->SpRulePlan;
    std::memset(&rule, 0, sizeof(rule));
    switch (adapter->RegistryBlock.Country6GSPEn) {
    case 2:
        if (DomainKeyListed(kFixedRule.CountryKeys, kFixedRule.CountryKeyCount, key)) {
            CopyRule(rule, kFixedRule, FALSE);
        }
        return;
    case 1: {
        const auto* rules = static_cast<const SP_RULE_COUNTRY_PLAN*>(adapter->HalInfo.SpRuleTable);
        if (!SixGhzTableLoaded(adapter) || rules == nullptr || adapter->HalInfo.SpRuleCount == 0) {
            return;
        }
        for (ULONG i = 0; i < adapter->HalInfo.SpRuleCount; ++i) {
            if (DomainKeyListed(rules[i].CountryKeys, rules[i].CountryKeyCount, key)) {
                CopyRule(rule, rules[i], static_cast<BOOLEAN>(!StandardPowerSupportOrNot(adapter, key)));
                return;
            }
        }
        return;
    }
    default:
        return;
    }
}

// ================================================================================================
// country decisions
// ================================================================================================
void DomainCountryDecisionByBcn(PMP_ADAPTER adapter, PUSHORT countryCode)
{
    UNREFERENCED_PARAMETER(adapter);
    *countryCode = 0;  // no decision
    (void)NOT_BUILT_YET();
}

UCHAR IsCountryEhtEnable(PMP_ADAPTER adapter, USHORT key)
{
    const auto* records = static_cast<const EHT_COUNTRY_RECORD*>(adapter->HalInfo.EhtCountryTable);
    for (; records != nullptr && records->Keys != nullptr; ++records) {
        if (DomainKeyListed(records->Keys, records->KeyCount, key)) {
            return records->Allowed;
        }
    }
    return 0;
}

BOOLEAN DomainCountrySupport80211be(PMP_PORT port)
{
    const PMP_ADAPTER adapter = port->Adapter;
    const USHORT key = DomainCurrentKey(adapter);
    BOOLEAN allowed = IsCountryEhtEnable(adapter, key) != 0 ? TRUE : FALSE;
    if (adapter->RegistryBlock.DfsWifi7Enable == 0 && key == 0x5553 && port->Channel.Band == BAND_5G) {
        const UCHAR channel = port->Channel.PrimaryChannel;
        if ((channel >= 50 && channel <= 64) || (channel >= 100 && channel <= 144)) {
            allowed = FALSE;
        } else if (channel >= 36 && channel <= 48 && adapter->Rlm.Link.LinkChannel.ChannelWidth == 2 &&
                   cnmGetMaxBwByBand(adapter, port, BAND_5G) >= 2) {
            allowed = FALSE;
        }
    }
    return allowed;
}
