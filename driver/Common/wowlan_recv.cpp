// The wake-on-WLAN wake-packet checks of the older chip and the second generation.
#include "Common/wowlan_recv.h"

#include "platform/ndiscommon/trace.h"

BOOLEAN WoWLANWakePacketCheck(PMP_ADAPTER adapter, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}

BOOLEAN Qz3501WoWLANWakePacketCheck(PMP_ADAPTER adapter, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}

BOOLEAN WoWLANWakePacketProcess(PMP_ADAPTER adapter, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}

BOOLEAN WoWLANWakePacketValid(PMP_ADAPTER adapter, PRX_DMAQ_DESC record)
{
    (void)NOT_BUILT_YET();
    return FALSE;
}
