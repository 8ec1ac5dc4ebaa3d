// The regulatory domain: the channel plan and channel list of the current country, the firmware's
// domain, and the country decisions and per-country rules.
#pragma once

#include "Common/rlm_domain_types.h"
#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// The 16-bit key of the adapter's current country (first letter x 256 + second letter).
USHORT DomainCurrentKey(PMP_ADAPTER adapter);

// Re-derives the regulatory domain for the current country from scratch: the plan copy, the channel
// list and the firmware's domain (through `port`), the standard-power rule, the country published to
// the Bluetooth companion, and, when "CountryRoamingEn" is set outside the default plan, the power
// limits (whose status it returns; 0 otherwise).
NTSTATUS DomainConfigureDomainInfo(PMP_ADAPTER adapter, PMP_PORT port);
// Rebuilds the plan copy and the channel list (and the MLME's lists) for the current country and
// returns the plan copy.
PCOUNTRY_CHANNEL_PLAN DomainGetDomainInfo(PMP_ADAPTER adapter);
// The steps of the plan copy: the 2.4/5 GHz plan (which appends the 5.9 GHz one), the 5.9 GHz and
// the 6 GHz sub-bands.
void DomainGetDomainInfo2g5g(PMP_ADAPTER adapter, USHORT key);
void DomainGetDomainInfo59g(PMP_ADAPTER adapter, USHORT key);
void DomainGetDomainInfo6g(PMP_ADAPTER adapter, USHORT key);
// Expands the plan copy into the channel list; the port is named in the log only.
void DomainBuildChannelList(PMP_ADAPTER adapter, PMP_PORT port);
// The number of entries of the adapter's channel list in a band: selector 1 (2.4 GHz), 2 (5 GHz) or
// 5 (6 GHz); any other selector gives 0.
ULONG DomainGetChannelCountByBand(PMP_ADAPTER adapter, ULONG selector);

// The private 6 GHz country request: selector 0 lists the countries of the chip's 6 GHz plans 0
// and 1, selector 1 those of plans 2 and 3, added after the Count codes already there (at most 200).
#define DOMAIN_6G_COUNTRY_MAX 200
#pragma pack(push, 1)
typedef struct _DOMAIN_6G_COUNTRY_ANSWER {
    UCHAR Selector;
    UCHAR Count;
    UCHAR Countries[DOMAIN_6G_COUNTRY_MAX][2];  // text order: first letter first
} DOMAIN_6G_COUNTRY_ANSWER, *PDOMAIN_6G_COUNTRY_ANSWER;
#pragma pack(pop)
static_assert(sizeof(DOMAIN_6G_COUNTRY_ANSWER) == 402, "selector, count and 200 country codes");
void DomainGet6gCountryList(PMP_ADAPTER adapter, PDOMAIN_6G_COUNTRY_ANSWER answer);

// ---- country decisions and per-country rules ---------------------------------------------------------
// Votes the country from the Country elements of the scanned access points; writes 0 when there is
// no decision (first letter in the low byte otherwise).
void DomainCountryDecisionByBcn(PMP_ADAPTER adapter, PUSHORT countryCode);
// Whether the platform's country bitmap (4 bytes, bit 0 = 0x80 of the first byte) allows the
// country; FALSE without a bitmap.
BOOLEAN DomainGetBiosCountrySupport(PMP_ADAPTER adapter, USHORT key, const UCHAR* bitmap);
// Whether the platform allows 6 GHz in the country: by the platform's 6 GHz mode (0 no, 1 its
// bitmap, 2 yes).
BOOLEAN DomainGetBios6gSupport(PMP_ADAPTER adapter, USHORT key);
// Selects the adapter's 6 GHz standard-power rule for the country ("Country6GSPEn").
void DomainConfigureSPRuleInfo(PMP_ADAPTER adapter, USHORT key);
// Whether the chip allows 802.11be in the country (its descriptor's table; not allowed without one).
UCHAR IsCountryEhtEnable(PMP_ADAPTER adapter, USHORT key);
// Whether the current country allows 802.11be on the port: the chip's table, and in the United States
// without "DfsWifi7Enable" not on 5 GHz channels 50-64 and 100-144, nor on 36-48 with an 80 MHz link
// where the port may use 80 MHz or more.
BOOLEAN DomainCountrySupport80211be(PMP_PORT port);
