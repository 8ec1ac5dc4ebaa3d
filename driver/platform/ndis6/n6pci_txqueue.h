// The NetAdapterCx transmit queue's records as the frame ring submission reads them (the queue's
// context, the side records and the scatter entries), from the transmit queue module.
#pragma once

#include "platform/wificx/txqueue.h"
