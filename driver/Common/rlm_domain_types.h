// The regulatory domain's records in the adapter: the country the configuration and the private
// requests set, the channel plan copied for it and the adapter's channel list expanded from the plan.
#pragma once

#include <array>
#include <cstddef>

#include "kshim/nt_types.h"

#define DOMAIN_CHANNEL_MAX 118
#define CHANNEL_PLAN_SUBBAND_COUNT 12

// One run of equally spaced channels of a channel plan.
typedef struct _CHANNEL_PLAN_SUBBAND {
    UCHAR OperatingClass;  // global operating class, carried to the firmware only
    UCHAR Band;            // 0 empty slot, 1 2.4 GHz, 2 5 GHz, 3 6 GHz
    UCHAR ChannelSpacing;
    UCHAR FirstChannel;
    UCHAR ChannelCount;
    UCHAR Reserved;
    USHORT Flags;  // copied to every channel of the run: 0x0008 radar, 0x0002 restricted
} CHANNEL_PLAN_SUBBAND;
static_assert(sizeof(CHANNEL_PLAN_SUBBAND) == 8, "a sub-band is 8 bytes");

// A per-country reduction of a plan: which of its sub-band slots the country keeps.
typedef struct _COUNTRY_PLAN_OVERRIDE {
    USHORT CountryKey;  // first letter x 256 + second letter
    UCHAR Keep[CHANNEL_PLAN_SUBBAND_COUNT];
} COUNTRY_PLAN_OVERRIDE;

// A channel plan shared by a group of countries; used slots first, the rest have band 0.
typedef struct _COUNTRY_CHANNEL_PLAN {
    const USHORT* CountryKeys;
    ULONG CountryKeyCount;
    ULONG OverrideCount;
    const COUNTRY_PLAN_OVERRIDE* Overrides;
    CHANNEL_PLAN_SUBBAND Subbands[CHANNEL_PLAN_SUBBAND_COUNT];
} COUNTRY_CHANNEL_PLAN, *PCOUNTRY_CHANNEL_PLAN;

// A 6 GHz standard-power rule of a group of countries: up to 12 runs, each with the action for a
// standard-power access point on it (3 refuses it); runs past the last are zero. The chips that
// have them carry a table of these in their descriptor.
#define SP_RULE_RUN_COUNT 12
typedef struct _SP_RULE_RUN {
    CHANNEL_PLAN_SUBBAND Run;
    ULONG Action;
} SP_RULE_RUN;
typedef struct _SP_RULE_COUNTRY_PLAN {
    const USHORT* CountryKeys;
    ULONG CountryKeyCount;
    ULONG Reserved;
    const void* ReservedPointer;
    SP_RULE_RUN Runs[SP_RULE_RUN_COUNT];
} SP_RULE_COUNTRY_PLAN;

// One channel of the adapter's channel list, which the regulatory domain code builds for the
// current country.
typedef struct _DOMAIN_CHANNEL_ENTRY {
    UCHAR Channel;
    ULONG Band;    // BAND_24G, BAND_5G, BAND_6G
    UCHAR Mark;    // 20/40 coexistence mark
    USHORT Flags;  // 8 radar, 2 restricted
} DOMAIN_CHANNEL_ENTRY, *PDOMAIN_CHANNEL_ENTRY;

typedef struct _COUNTRY_BLOCK {
    USHORT RegCountryCode;  // parsed "CountryRegionString"
    UCHAR CssCode;  // power-limit variant letter ("CSSCode")
    UCHAR CountryFixed;  // the country was fixed by a private request
    UCHAR ChannelListCount;
    DOMAIN_CHANNEL_ENTRY ChannelList[DOMAIN_CHANNEL_MAX];
    COUNTRY_CHANNEL_PLAN Plan;      // the current plan copy
    PCOUNTRY_CHANNEL_PLAN PlanPtr;  // points at Plan once it was built; null before
} COUNTRY_BLOCK, *PCOUNTRY_BLOCK;

// Country lists written as text: "AB CD EF" -> {0x4142, 0x4344, 0x4546}, built with the driver.
namespace DomainKeysText {
template <size_t N>
constexpr std::array<USHORT, N / 3> Keys(const char (&text)[N])
{
    std::array<USHORT, N / 3> keys{};
    for (size_t i = 0; i < N / 3; ++i) {
        keys[i] = static_cast<USHORT>((static_cast<UCHAR>(text[3 * i]) << 8) | static_cast<UCHAR>(text[3 * i + 1]));
    }
    return keys;
}
}  // namespace DomainKeysText

// The countries where a chip allows 802.11be: records searched in order (the first that holds the
// country decides), ended by a record without keys.
#pragma pack(push, 1)
typedef struct _EHT_COUNTRY_RECORD {
    const USHORT* Keys;
    USHORT KeyCount;
    UCHAR Allowed;
} EHT_COUNTRY_RECORD;
#pragma pack(pop)
static_assert(sizeof(EHT_COUNTRY_RECORD) == sizeof(void*) + 3, "packed record");
