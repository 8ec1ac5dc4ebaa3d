// The PHY-configuration word: a transmit rate and its modulation parameters in one 32-bit word
// (bit layout and accessors: hal/common/phy_cfg.h).
#pragma once

#include "kshim/nt_types.h"

typedef ULONG PHY_CFG, *PPHY_CFG;
