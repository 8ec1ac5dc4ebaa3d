// The NetAdapterCx receive queue, as far as adapter creation calls it.
#pragma once

#include "kshim/netadapter_caps.h"

// Creates the receive queue of a net adapter.
EVT_NET_ADAPTER_CREATE_RXQUEUE EvtAdapterCreateRxQueue;
