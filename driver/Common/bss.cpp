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
    UNREFERENCED_PARAMETER(rateBitmap);
    UNREFERENCED_PARAMETER(basicBitmap);
    UNREFERENCED_PARAMETER(otherBasic);
    // The rate folding comes with the connection code; until then the bitmaps keep what they hold.
    (void)NOT_BUILT_YET();
}
