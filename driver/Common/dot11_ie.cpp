// The checked walk over IEEE 802.11 information elements.
#include "Common/dot11_ie.h"

#include <cstring>

void Dot11IeWalkInit(PDOT11_IE_WALK walk, const UCHAR* buffer, ULONG length)
{
    walk->Cursor = buffer;
    walk->Remaining = buffer != nullptr ? length : 0;
    walk->Id = 0;
    walk->Length = 0;
    walk->Body = nullptr;
    walk->Truncated = FALSE;
}

BOOLEAN Dot11IeWalkNext(PDOT11_IE_WALK walk)
{
    if (walk->Remaining == 0) {
        return FALSE;
    }
    if (walk->Remaining < DOT11_IE_HEADER_SIZE ||
        static_cast<ULONG>(walk->Cursor[1]) > walk->Remaining - DOT11_IE_HEADER_SIZE) {
        walk->Truncated = TRUE;
        walk->Remaining = 0;
        return FALSE;
    }
    walk->Id = walk->Cursor[0];
    walk->Length = walk->Cursor[1];
    walk->Body = walk->Cursor + DOT11_IE_HEADER_SIZE;
    walk->Cursor += DOT11_IE_HEADER_SIZE + walk->Length;
    walk->Remaining -= DOT11_IE_HEADER_SIZE + walk->Length;
    return TRUE;
}

BOOLEAN Dot11IeWalkNextVendor(PDOT11_IE_WALK walk, const UCHAR* ouiAndType, ULONG ouiAndTypeLength)
{
    while (Dot11IeWalkNext(walk)) {
        if (walk->Id == DOT11_IE_VENDOR && walk->Length >= ouiAndTypeLength &&
            std::memcmp(walk->Body, ouiAndType, ouiAndTypeLength) == 0) {
            return TRUE;
        }
    }
    return FALSE;
}
