// The regulatory domain's country decisions.
#include "Common/rlm_domain.h"

#include "platform/ndiscommon/trace.h"

void DomainCountryDecisionByBcn(PMP_ADAPTER adapter, PUSHORT countryCode)
{
    UNREFERENCED_PARAMETER(adapter);
    *countryCode = 0;  // no decision
    (void)NOT_BUILT_YET();
}

BOOLEAN DomainCountrySupport80211be(PMP_PORT port)
{
    UNREFERENCED_PARAMETER(port);
    (void)NOT_BUILT_YET();
    return FALSE;
}
