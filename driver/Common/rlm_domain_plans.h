// The static channel plans of the regulatory domain: the 2.4/5 GHz plans with their per-country
// reductions, the 5.9 GHz plans and the 6 GHz plan tables. Program data, read-only.
#pragma once

#include "Common/rlm_domain_types.h"

#define DOMAIN_PLAN_2G5G_COUNT 28
#define DOMAIN_PLAN_DEFAULT 27   // the plan of every country no plan lists ("DF")
#define DOMAIN_PLAN_US_CA 1      // replaced by its alternate when the platform asks for it
#define DOMAIN_PLAN_US_CA_ALT 2

// The 6 GHz plan tables.
typedef enum _DOMAIN_6G_TABLE {
    DOMAIN_6G_TABLE_FIRST_ISSUE = 0,  // used when "Country6GEn" is 0
    DOMAIN_6G_TABLE_A = 1,
    DOMAIN_6G_TABLE_B = 2,
} DOMAIN_6G_TABLE;

// The 28 plans of 2.4 and 5 GHz, searched in order.
const COUNTRY_CHANNEL_PLAN* DomainPlans2g5g();
// The 5.9 GHz plan of "Country59GEn" mode 1 or 2; nullptr for any other mode.
const COUNTRY_CHANNEL_PLAN* DomainPlan59g(UCHAR mode);
// A 6 GHz plan table and the number of its plans.
const COUNTRY_CHANNEL_PLAN* DomainPlans6g(DOMAIN_6G_TABLE table, PULONG count);
// The first plan of `count` whose keys hold `key`; nullptr for none. Plans with keys counted but
// no key array are skipped.
const COUNTRY_CHANNEL_PLAN* DomainFindPlan(const COUNTRY_CHANNEL_PLAN* plans, ULONG count, USHORT key);
// Whether `key` is one of `count` keys.
BOOLEAN DomainKeyListed(const USHORT* keys, ULONG count, USHORT key);
