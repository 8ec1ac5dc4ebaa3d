// The adapter's firmware-file records: both loaded firmware containers, the time stamp of the last
// image copied out of them, and the size of the RAM code's identification text the adapter keeps.
#pragma once

#include "kshim/nt_types.h"

// Bytes of an image's time-stamp text in the container directory.
#define FW_IMAGE_INFO_SIZE 16u

// One loaded container: the whole file (allocator block, tag ZV53) or null, and the result of its
// check, kept for the buffer it was made on.
typedef struct _FW_CONTAINER_FILE {
    PUCHAR Buffer;
    ULONG Size;
    const UCHAR* CheckedBuffer;
    ULONG CheckedSize;
    NTSTATUS CheckStatus;
} FW_CONTAINER_FILE, *PFW_CONTAINER_FILE;

// The adapter's firmware-file block: both loaded containers and the time-stamp text of the last
// image copied out (reported by a private request).
typedef struct _FW_FILE_BLOCK {
    FW_CONTAINER_FILE WifiContainer;
    FW_CONTAINER_FILE BtContainer;
    UCHAR FwTimeStamp[FW_IMAGE_INFO_SIZE];
} FW_FILE_BLOCK, *PFW_FILE_BLOCK;

// Identification text of the second- and third-generation RAM code: 81 bytes at this file offset,
// kept as ";" + those bytes with the last one replaced by a line feed (82 bytes).
#define FW_IDENT_TEXT_OFFSET 0x98698u
#define FW_IDENT_TEXT_BYTES 81u
#define FW_IDENT_TEXT_SIZE 82u
