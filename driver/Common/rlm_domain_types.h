// The regulatory domain's records in the adapter: the country the configuration and the private
// requests set, the channel plan copied for it and the adapter's channel list expanded from the plan.
#pragma once

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

// What the platform's firmware tells about the regulatory domain (read from its ACPI methods at
// bring-up): the 6 GHz and 5.9 GHz modes and country bitmaps, the standard-power bitmap and the
// alternate United States/Canada plan switch. All zero (nothing present) until they are read.
#define SAR_QZCL_SIZE 19
#define SAR_QZSP_SIZE 12
typedef struct _SAR_REGULATORY_DATA {
    UCHAR RegulatoryMethodPresent;  // QZCL was accepted
    UCHAR AlternatePlan;            // platform feature 0
    UCHAR QzspValid;
    UCHAR ActiveSarMode;            // 1 the platform SAR table applies, 2 time-averaged SAR is in charge
    UCHAR Qzcl[SAR_QZCL_SIZE];      // 5: 6 GHz mode, 6-9: 6 GHz bitmap, 12: 5.9 GHz mode, 13-16: 5.9 GHz bitmap
    UCHAR Qzsp[SAR_QZSP_SIZE];      // from 6: the standard-power bitmap
} SAR_REGULATORY_DATA;
