// The regulatory domain's country decisions.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;

// Votes the country from the Country elements of the scanned access points; writes 0 when there is
// no decision (first letter in the low byte otherwise).
void DomainCountryDecisionByBcn(PMP_ADAPTER adapter, PUSHORT countryCode);
