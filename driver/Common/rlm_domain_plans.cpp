// The static channel plans of the regulatory domain. Country lists are written as text ("TW SV CO")
// and turned into their 16-bit keys (first letter x 256 + second letter) when the driver is built.
#include "Common/rlm_domain_plans.h"

#include <array>
#include <cstddef>

namespace {

constexpr USHORT kDfs = 0x0008;
constexpr USHORT kRestricted = 0x0002;

using DomainKeysText::Keys;

// The sub-band slots a reduction keeps, as a bit mask.
template <typename... Slots>
constexpr USHORT Keep(Slots... slots)
{
    return static_cast<USHORT>(((1u << slots) | ... | 0u));
}

// One reduction per country of `text`, each keeping the slots of `keep`.
template <size_t N>
constexpr std::array<COUNTRY_PLAN_OVERRIDE, N / 3> Overrides(const char (&text)[N], USHORT keep)
{
    std::array<COUNTRY_PLAN_OVERRIDE, N / 3> out{};
    const std::array<USHORT, N / 3> keys = Keys(text);
    for (size_t i = 0; i < N / 3; ++i) {
        out[i].CountryKey = keys[i];
        for (size_t s = 0; s < CHANNEL_PLAN_SUBBAND_COUNT; ++s) {
            out[i].Keep[s] = static_cast<UCHAR>((keep >> s) & 1u);
        }
    }
    return out;
}

template <size_t... M>
constexpr std::array<COUNTRY_PLAN_OVERRIDE, (M + ... + 0)> Join(const std::array<COUNTRY_PLAN_OVERRIDE, M>&... parts)
{
    std::array<COUNTRY_PLAN_OVERRIDE, (M + ... + 0)> out{};
    size_t at = 0;
    (
        [&] {
            for (const COUNTRY_PLAN_OVERRIDE& o : parts) {
                out[at++] = o;
            }
        }(),
        ...);
    return out;
}

// A run first..last every `step` channels.
constexpr CHANNEL_PLAN_SUBBAND Run(UCHAR opClass, UCHAR band, UCHAR first, UCHAR last, UCHAR step, USHORT flags = 0)
{
    return CHANNEL_PLAN_SUBBAND{opClass, band, step, first, static_cast<UCHAR>((last - first) / step + 1), 0, flags};
}
constexpr CHANNEL_PLAN_SUBBAND G24(UCHAR first, UCHAR last, USHORT flags = 0) { return Run(81, 1, first, last, 1, flags); }
constexpr CHANNEL_PLAN_SUBBAND G5(UCHAR opClass, UCHAR first, UCHAR last, USHORT flags = 0)
{
    return Run(opClass, 2, first, last, 4, flags);
}

using Subbands = std::array<CHANNEL_PLAN_SUBBAND, CHANNEL_PLAN_SUBBAND_COUNT>;

// The sub-band sets; several plans share one.
constexpr Subbands kSet0 = {G24(1, 13), G5(115, 36, 48), G5(118, 52, 64, kDfs), G5(121, 100, 116, kDfs),
                            G5(121, 120, 128, kDfs), G5(121, 132, 140, kDfs), G5(121, 144, 144, kDfs), G5(125, 149, 165)};
constexpr Subbands kSet1 = {G24(1, 11), G24(12, 13, kRestricted), G5(115, 36, 48), G5(118, 52, 64, kDfs),
                            G5(121, 100, 116, kDfs), G5(121, 120, 128, kDfs), G5(121, 132, 144, kDfs), G5(125, 149, 165)};
constexpr Subbands kSet3 = {G24(1, 13), G5(115, 36, 48), G5(118, 52, 64, kDfs), G5(121, 100, 144, kDfs),
                            G5(121, 144, 144, kDfs), G5(125, 149, 165)};
constexpr Subbands kSet4 = {G24(1, 13), G24(14, 14, kRestricted), G5(115, 36, 48), G5(118, 52, 64, kDfs),
                            G5(121, 100, 144, kDfs)};
constexpr Subbands kSet5 = {G24(1, 13), G5(115, 36, 48), G5(118, 52, 64, kDfs), G5(121, 100, 140, kDfs),
                            G5(121, 144, 144, kDfs), G5(125, 149, 165)};
constexpr Subbands kSet7 = {G24(1, 13), G5(115, 36, 48), G5(118, 52, 64, kDfs), G5(121, 100, 144, kDfs), G5(125, 149, 165)};
constexpr Subbands kSet9 = {G24(1, 13), G5(115, 36, 48), G5(118, 52, 64, kDfs), G5(121, 100, 128, kDfs), G5(125, 149, 165)};
constexpr Subbands kSet11 = {G24(1, 13), G5(115, 36, 48), G5(118, 52, 64, kDfs), G5(121, 100, 124, kDfs), G5(125, 149, 161)};
constexpr Subbands kSet13 = {G24(1, 13), G5(115, 36, 48), G5(118, 52, 64, kDfs), G5(121, 100, 116, kDfs),
                             G5(121, 132, 140, kDfs), G5(125, 149, 165)};
constexpr Subbands kSet14 = {G24(1, 13), G5(115, 36, 48), G5(118, 52, 64, kDfs), G5(121, 100, 100, kDfs),
                             G5(121, 104, 108, kDfs), G5(121, 112, 112, kDfs), G5(121, 116, 128, kDfs),
                             G5(121, 132, 140, kDfs), G5(121, 144, 144, kDfs), G5(125, 149, 165)};
constexpr Subbands kSet15 = {G24(1, 13), G5(115, 36, 48), G5(118, 52, 64, kDfs), G5(125, 149, 161)};
constexpr Subbands kSet17 = {G24(1, 13), G5(115, 36, 48), G5(118, 52, 64, kDfs), G5(121, 100, 128, kDfs),
                             G5(121, 132, 140, kDfs), G5(121, 144, 144, kDfs), G5(125, 149, 165)};
constexpr Subbands kSet18 = {G24(1, 13), G5(115, 36, 48, kDfs), G5(118, 52, 64, kDfs), G5(125, 149, 161)};
constexpr Subbands kSet19 = {G24(1, 11), G5(115, 36, 48), G5(118, 52, 64, kDfs), G5(121, 100, 144, kDfs), G5(125, 149, 165)};
constexpr Subbands kSet21 = {G24(1, 13), G5(115, 36, 48), G5(125, 149, 165)};
constexpr Subbands kSet22 = {G24(1, 13), G5(115, 36, 48)};
constexpr Subbands kSet24 = {G24(1, 13), G5(121, 100, 140, kDfs), G5(125, 149, 165)};
constexpr Subbands kSet26 = {G24(1, 13), G5(115, 36, 48), G5(118, 52, 64, kDfs), G5(121, 100, 140, kDfs), G5(125, 149, 165)};
constexpr Subbands kSet27 = {G24(1, 11), G24(12, 14, kRestricted), G5(115, 36, 48, kRestricted), G5(118, 52, 64, kDfs),
                             G5(121, 100, 144, kDfs), G5(125, 149, 165, kRestricted)};

// ---- country lists and reductions of the 2.4/5 GHz plans ---------------------------------------
constexpr auto kKeys0 = Keys("TW SV CO CR EC GT BR AE HK SG VN TH KH LA CL LK MN MO PH PE DO VU UA BY HN AG AW VG DM GD "
                             "NI KN LC VC PY TT LB LR NA CW BZ CK HT MF NU SB SR TK GY NZ MP");
constexpr auto kOver0 = Join(Overrides("CR KH PH UA BY AG GD VC LR CW BZ HT SR", Keep(0, 1, 2, 3, 4, 5, 7)),
                             Overrides("BR", Keep(0, 1, 2, 3, 5, 7)), Overrides("CK NZ", Keep(0, 1, 2, 3, 5, 6, 7)));
constexpr auto kKeys1 = Keys("US CA PR VI GU MH AS FM PW");
constexpr auto kOver1 = Overrides("CA", Keep(0, 1, 2, 3, 4, 6, 7));
constexpr auto kKeys2 = Keys("US CA");
constexpr auto kOver2 = Join(Overrides("US", Keep(0, 2, 3, 4, 5, 6, 7)), Overrides("CA", Keep(0, 2, 3, 4, 6, 7)));
constexpr auto kKeys3 = Keys("CN BN PA VE UY MV IN BB AO BH");
constexpr auto kOver3 = Join(Overrides("CN VE UY MV BH", Keep(0, 1, 2, 5)), Overrides("PA IN", Keep(0, 1, 2, 3, 5)));
constexpr auto kKeys4 = Keys("JP");
constexpr auto kKeys5 = Keys("GB AT BE BG CY CZ DK EE FR FI DE GR HU IS IT IE LV LI LT LU MT NL NO PL PT RO SK SI ES SE "
                             "CH ZA TR HR KR AZ AL BJ BA PF GA GI GL LS LY MK ML MD MC ME MZ TZ TG ZM GE MW SZ AD CM CV GG "
                             "TF VA FO");
constexpr auto kOver5 = Overrides("GB AT BE BG CY CZ DK EE FR FI DE GR HU IS IT IE LV LI LT LU MT NL NO PL PT RO SK SI ES "
                                  "SE CH ZA TR HR KR BJ BA GL LS MC MZ TG CV GG VA",
                                  Keep(0, 1, 2, 3, 5));
constexpr auto kKeys6 = Keys("AU MX AR FJ CC CX");
constexpr auto kOver6 = Join(Overrides("AU", Keep(0, 1, 2, 3, 5, 7)), Overrides("CC CX AR", Keep(0, 1, 2, 3, 5, 6, 7)));
constexpr auto kKeys7 = Keys("SA UG");
constexpr auto kKeys8 = Keys("RS MM AF NC TC BI BF CF TD CD CG GQ ET GM GH GP GW GN MG MQ MU OM RE SN ZW GF IO MR NR PN "
                             "SL ST TM WF YT ER SO AN PM EU");
constexpr auto kOver8 = Join(Overrides("RS AF NC BI BF CF TD GM GP GW GN MG MQ MU OM ZW MR NR SL TM YT ER SO AN EU",
                                       Keep(0, 1, 2, 3, 5)),
                             Overrides("MM TC", Keep(0, 5)), Overrides("ET SN GF ST", Keep(0, 1, 2, 3)),
                             Overrides("RE", Keep(0)));
constexpr auto kKeys9 = Keys("MY");
constexpr auto kKeys10 = Keys("PK BD JM QA BT IR");
constexpr auto kOver10 = Join(Overrides("PK BD", Keep(0, 5)), Overrides("JM", Keep(0, 1, 2, 3, 5)));
constexpr auto kKeys11 = Keys("KP");
constexpr auto kKeys12 = Keys("AI BS BM KY");
constexpr auto kKeys13 = Keys("PG");
constexpr auto kKeys14 = Keys("NE IL EG KW MA DZ TN UZ");
constexpr auto kOver14 = Join(Overrides("NE IL", Keep(0, 1, 2, 3, 4, 5, 6, 7, 9)), Overrides("EG MA TN", Keep(0, 1, 2)),
                              Overrides("DZ", Keep(0, 1, 2, 9)), Overrides("UZ", Keep(0, 1, 2, 4, 6)));
constexpr auto kKeys15 = Keys("NP");
constexpr auto kKeys16 = Keys("WS KE");
constexpr auto kKeys17 = Keys("RU KZ AM KG");
constexpr auto kOver17 = Join(Overrides("RU", Keep(0, 1, 2, 4, 5, 6)), Overrides("KG", Keep(0, 1, 2, 3, 4, 6)));
constexpr auto kKeys18 = Keys("ID");
constexpr auto kKeys19 = Keys("MS");
constexpr auto kKeys20 = Keys("BO NG");
constexpr auto kOver20 = Overrides("NG", Keep(0, 2, 4));
constexpr auto kKeys21 = Keys("IQ JO");
constexpr auto kKeys22 = Keys("CI");
constexpr auto kKeys23 = Keys("RW");
constexpr auto kKeys24 = Keys("SC");
constexpr auto kKeys25 = Keys("TO TV CU SY");
constexpr auto kOver25 = Overrides("TV", Keep(0, 1, 2, 3, 5));
constexpr auto kKeys26 = Keys("YE");
constexpr auto kKeys27 = Keys("DF");

template <size_t K>
constexpr COUNTRY_CHANNEL_PLAN Plan(const std::array<USHORT, K>& keys, const Subbands& subbands)
{
    COUNTRY_CHANNEL_PLAN plan{keys.data(), static_cast<ULONG>(K), 0, nullptr, {}};
    for (size_t i = 0; i < CHANNEL_PLAN_SUBBAND_COUNT; ++i) {
        plan.Subbands[i] = subbands[i];
    }
    return plan;
}
template <size_t K, size_t O>
constexpr COUNTRY_CHANNEL_PLAN Plan(const std::array<USHORT, K>& keys, const Subbands& subbands,
                                    const std::array<COUNTRY_PLAN_OVERRIDE, O>& overrides)
{
    COUNTRY_CHANNEL_PLAN plan = Plan(keys, subbands);
    plan.OverrideCount = static_cast<ULONG>(O);
    plan.Overrides = overrides.data();
    return plan;
}

constexpr COUNTRY_CHANNEL_PLAN kPlans2g5g[DOMAIN_PLAN_2G5G_COUNT] = {
    Plan(kKeys0, kSet0, kOver0),   Plan(kKeys1, kSet1, kOver1),   Plan(kKeys2, kSet1, kOver2),
    Plan(kKeys3, kSet3, kOver3),   Plan(kKeys4, kSet4),           Plan(kKeys5, kSet5, kOver5),
    Plan(kKeys6, kSet0, kOver6),   Plan(kKeys7, kSet7),           Plan(kKeys8, kSet5, kOver8),
    Plan(kKeys9, kSet9),           Plan(kKeys10, kSet5, kOver10), Plan(kKeys11, kSet11),
    Plan(kKeys12, kSet7),          Plan(kKeys13, kSet13),         Plan(kKeys14, kSet14, kOver14),
    Plan(kKeys15, kSet15),         Plan(kKeys16, kSet7),          Plan(kKeys17, kSet17, kOver17),
    Plan(kKeys18, kSet18),         Plan(kKeys19, kSet19),         Plan(kKeys20, kSet7, kOver20),
    Plan(kKeys21, kSet21),         Plan(kKeys22, kSet22),         Plan(kKeys23, kSet7),
    Plan(kKeys24, kSet24),         Plan(kKeys25, kSet5, kOver25), Plan(kKeys26, kSet26),
    Plan(kKeys27, kSet27),
};

// ---- 5.9 GHz ------------------------------------------------------------------------------------
constexpr Subbands kSet59 = {G5(15, 169, 177)};
constexpr auto kKeys59Mode2 = Keys("TW US");
constexpr auto kKeys59Mode1 = Keys("US");
constexpr COUNTRY_CHANNEL_PLAN kPlan59Mode2 = Plan(kKeys59Mode2, kSet59);
constexpr COUNTRY_CHANNEL_PLAN kPlan59Mode1 = Plan(kKeys59Mode1, kSet59);

// ---- 6 GHz --------------------------------------------------------------------------------------
constexpr Subbands kSet6Full = {Run(131, 3, 1, 233, 4)};   // 59 channels
constexpr Subbands kSet6Lower = {Run(131, 3, 1, 93, 4)};   // 24 channels
constexpr auto kKeys6FirstFull = Keys("US KR TW");
constexpr auto kKeys6FirstLower = Keys("JP");
constexpr auto kKeys6A0 = Keys("US CA KR");
constexpr auto kKeys6A1 = Keys("GB AU NZ JP SG AD AT BE BG CY CZ DK EE FI FR DE GR HU IS IE IT LV LI LT LU MT MC NL NO PL "
                               "PT SK SE ES SI CH HR RO");
constexpr auto kKeys6A2 = Keys("AL AS AI BT BA BV CO TL SV GF GE GU GT KI MO MK MH MQ FM ME NR NU MP PW TV VI GP BQ UM");
constexpr auto kKeys6A3 = Keys("IO CX CC CK FK FO TF VA HK JE MV YT NC NF PN RE SM ST PM TR WF EH MF CL ZA KE BL SH GS SJ");
constexpr auto kKeys6B0 = Keys("BR CA FJ KR SA US UZ");
constexpr auto kKeys6B1 = Keys("AE AU BH BI CG DJ DZ GB IL JO JP KW MA ML MY NZ QA RU SG AD AT BE BG CY CZ DK EE FI FR DE "
                               "GR HU IS IE IT LV LI LT LU MT MC NL NO PL PT SK SE ES SI CH HR RO");

constexpr COUNTRY_CHANNEL_PLAN kPlans6gFirst[] = {Plan(kKeys6FirstFull, kSet6Full), Plan(kKeys6FirstLower, kSet6Lower)};
constexpr COUNTRY_CHANNEL_PLAN kPlans6gA[] = {Plan(kKeys6A0, kSet6Full), Plan(kKeys6A1, kSet6Lower),
                                              Plan(kKeys6A2, kSet6Full), Plan(kKeys6A3, kSet6Lower)};
constexpr COUNTRY_CHANNEL_PLAN kPlans6gB[] = {Plan(kKeys6B0, kSet6Full), Plan(kKeys6B1, kSet6Lower),
                                              Plan(kKeys6A2, kSet6Full), Plan(kKeys6A3, kSet6Lower)};

}  // namespace

const COUNTRY_CHANNEL_PLAN* DomainPlans2g5g() { return kPlans2g5g; }

const COUNTRY_CHANNEL_PLAN* DomainPlan59g(UCHAR mode)
{
    return mode == 2 ? &kPlan59Mode2 : mode == 1 ? &kPlan59Mode1 : nullptr;
}

const COUNTRY_CHANNEL_PLAN* DomainPlans6g(DOMAIN_6G_TABLE table, PULONG count)
{
    switch (table) {
    case DOMAIN_6G_TABLE_FIRST_ISSUE:
        *count = sizeof(kPlans6gFirst) / sizeof(kPlans6gFirst[0]);
        return kPlans6gFirst;
    case DOMAIN_6G_TABLE_A:
        *count = sizeof(kPlans6gA) / sizeof(kPlans6gA[0]);
        return kPlans6gA;
    case DOMAIN_6G_TABLE_B:
        *count = sizeof(kPlans6gB) / sizeof(kPlans6gB[0]);
        return kPlans6gB;
    }
    *count = 0;
    return nullptr;
}

BOOLEAN DomainKeyListed(const USHORT* keys, ULONG count, USHORT key)
{
    if (keys == nullptr) {
        return FALSE;
    }
    for (ULONG i = 0; i < count; ++i) {
        if (keys[i] == key) {
            return TRUE;
        }
    }
    return FALSE;
}

const COUNTRY_CHANNEL_PLAN* DomainFindPlan(const COUNTRY_CHANNEL_PLAN* plans, ULONG count, USHORT key)
{
    for (ULONG i = 0; i < count; ++i) {
        if (plans[i].CountryKeyCount != 0 && plans[i].CountryKeys == nullptr) {
            continue;
        }
        if (DomainKeyListed(plans[i].CountryKeys, plans[i].CountryKeyCount, key)) {
            return &plans[i];
        }
    }
    return nullptr;
}
