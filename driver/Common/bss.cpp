// BSS helpers of the station connection code.
#include "Common/bss.h"

#include "platform/ndiscommon/trace.h"

void bssParseSupportedRates(const UCHAR* supRates, UCHAR supLen, const UCHAR* extRates, UCHAR extLen,
                            PUSHORT rateBitmap, PUSHORT basicBitmap, PUCHAR otherBasic)
{
    UNREFERENCED_PARAMETER(supRates);
    UNREFERENCED_PARAMETER(supLen);
    UNREFERENCED_PARAMETER(extRates);
    UNREFERENCED_PARAMETER(extLen);
    // The rate folding comes with the connection code; until then no rate is known.
    *rateBitmap = 0;
    *basicBitmap = 0;
    *otherBasic = 0;
    (void)NOT_BUILT_YET();
}
