// The regulatory domain's country decisions.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _MP_PORT MP_PORT, *PMP_PORT;

// Votes the country from the Country elements of the scanned access points; writes 0 when there is
// no decision (first letter in the low byte otherwise).
void DomainCountryDecisionByBcn(PMP_ADAPTER adapter, PUSHORT countryCode);

// Whether the current country allows 802.11be on the port.
BOOLEAN DomainCountrySupport80211be(PMP_PORT port);
