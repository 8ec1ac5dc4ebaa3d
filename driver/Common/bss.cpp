// BSS helpers of the station connection code.
#include "Common/bss.h"

#include "platform/ndiscommon/trace.h"

namespace {

// Rate codes in 500 kbit/s units, then the BSS membership selectors; the index is the bit of a map.
constexpr UCHAR kRateCodes[] = {
    0x02, 0x04, 0x0B, 0x16, 0x2C, 0x42,                    // 1, 2, 5.5, 11, 22, 33 Mbit/s
    0x0C, 0x12, 0x18, 0x24, 0x30, 0x48, 0x60, 0x6C,        // 6 .. 54 Mbit/s
    0x7E,                                                  // selector 126: VHT PHY
    0x7F,                                                  // selector 127: HT PHY
    0x7B,                                                  // selector 123: SAE hash-to-element only
};
static_assert(sizeof(kRateCodes) == 17, "one code per table row");
constexpr ULONG kMapBits = 16;  // the last selector is known but has no bit

void FoldRates(const UCHAR* rates, UCHAR length, PUSHORT rateBitmap, PUSHORT basicBitmap, PUCHAR otherBasic)
{
    if (rates == nullptr) {
        return;
    }
    for (ULONG i = 0; i < length; ++i) {
        const UCHAR value = static_cast<UCHAR>(rates[i] & 0x7F);
        const bool basic = (rates[i] & 0x80) != 0;
        ULONG index = 0;
        while (index < sizeof(kRateCodes) && kRateCodes[index] != value) {
            ++index;
        }
        if (index == sizeof(kRateCodes)) {
            if (basic) {
                *otherBasic = 1;
            }
            continue;
        }
        if (index >= kMapBits) {
            continue;
        }
        *rateBitmap = static_cast<USHORT>(*rateBitmap | (1u << index));
        if (basic) {
            *basicBitmap = static_cast<USHORT>(*basicBitmap | (1u << index));
        }
    }
}

}  // namespace

void bssParseSupportedRates(const UCHAR* supRates, UCHAR supLen, const UCHAR* extRates, UCHAR extLen,
                            PUSHORT rateBitmap, PUSHORT basicBitmap, PUCHAR otherBasic)
{
    if (rateBitmap == nullptr || basicBitmap == nullptr || otherBasic == nullptr) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_MLME, "%s: no output", __func__);
        return;
    }
    *rateBitmap = 0;
    *basicBitmap = 0;
    *otherBasic = 0;
    FoldRates(supRates, supLen, rateBitmap, basicBitmap, otherBasic);
    FoldRates(extRates, extLen, rateBitmap, basicBitmap, otherBasic);
}
