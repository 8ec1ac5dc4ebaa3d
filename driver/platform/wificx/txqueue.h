// The NetAdapterCx transmit queue, as far as the shell calls it.
#pragma once

#include "kshim/nt_types.h"

// The deferred advance of a transmit queue, run by "WINCXTxNetQueueThread".
void TxNetQueueAdvance(PVOID txQueue);
