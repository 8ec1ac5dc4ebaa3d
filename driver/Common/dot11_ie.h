// The checked walk over IEEE 802.11 information elements (one-byte id, one-byte length, body): an
// element is yielded only when its header and its whole body lie inside the buffer; bytes left at the
// end that do not form a whole element are reported, never read as one.
#pragma once

#include "kshim/nt_types.h"

#define DOT11_IE_VENDOR 221
#define DOT11_IE_HEADER_SIZE 2

typedef struct _DOT11_IE_WALK {
    const UCHAR* Cursor;  // the next element's header
    ULONG Remaining;      // bytes from Cursor to the end of the buffer
    // The element yielded by the last successful step.
    UCHAR Id;
    UCHAR Length;
    const UCHAR* Body;
    // Set when the walk stopped on bytes that do not form a whole element (a cut header or a length
    // that runs past the buffer).
    BOOLEAN Truncated;
} DOT11_IE_WALK, *PDOT11_IE_WALK;

// Starts a walk over length bytes of elements (a null buffer walks nothing).
void Dot11IeWalkInit(PDOT11_IE_WALK walk, const UCHAR* buffer, ULONG length);
// Steps to the next whole element: TRUE with Id, Length and Body set; FALSE at the end (Truncated
// tells whether unusable bytes were left).
BOOLEAN Dot11IeWalkNext(PDOT11_IE_WALK walk);
// Steps to the next vendor-specific element whose body starts with the given OUI-and-type bytes.
BOOLEAN Dot11IeWalkNextVendor(PDOT11_IE_WALK walk, const UCHAR* ouiAndType, ULONG ouiAndTypeLength);
