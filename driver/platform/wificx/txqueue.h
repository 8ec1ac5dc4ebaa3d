// The NetAdapterCx transmit queue, as far as the shell calls it.
#pragma once

#include "kshim/netadapter_caps.h"

// The deferred advance of a transmit queue, run by "WINCXTxNetQueueThread".
void TxNetQueueAdvance(PVOID txQueue);
// Creates the transmit queue of a net adapter.
EVT_NET_ADAPTER_CREATE_TXQUEUE EvtAdapterCreateTxQueue;
