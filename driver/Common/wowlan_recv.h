// The wake-on-WLAN wake-packet checks of the older chip and the second generation that the receive
// dispatch runs.
#pragma once

#include "kshim/nt_types.h"

typedef struct _MP_ADAPTER MP_ADAPTER, *PMP_ADAPTER;
typedef struct _RX_DMAQ_DESC RX_DMAQ_DESC, *PRX_DMAQ_DESC;

// TRUE when the frame is recorded as the wake packet.
BOOLEAN WoWLANWakePacketCheck(PMP_ADAPTER adapter, PRX_DMAQ_DESC record);
BOOLEAN Qz3501WoWLANWakePacketCheck(PMP_ADAPTER adapter, PRX_DMAQ_DESC record);
// The wake packet's processing on the converted data frame: TRUE when the frame woke the host.
BOOLEAN WoWLANWakePacketProcess(PMP_ADAPTER adapter, PRX_DMAQ_DESC record);
// TRUE when the frame is a valid wake packet (the second generation's unicast delivery then hands it
// to the OS without the reordering); writes nothing.
BOOLEAN WoWLANWakePacketValid(PMP_ADAPTER adapter, PRX_DMAQ_DESC record);
