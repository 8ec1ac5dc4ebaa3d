// BSS helpers of the station connection code: the rate-set folding of a BSS's rate elements.
#pragma once

#include "kshim/nt_types.h"

// Folds the Supported Rates and Extended Supported Rates bodies into a rate bitmap, a basic-rate
// bitmap and the flag telling that another basic rate is present.
void bssParseSupportedRates(const UCHAR* supRates, UCHAR supLen, const UCHAR* extRates, UCHAR extLen,
                            PUSHORT rateBitmap, PUSHORT basicBitmap, PUCHAR otherBasic);
