// Firmware container files: the Wi-Fi container ("qzlwlan.dat") and the Bluetooth container
// ("qzlbt.dat") hold every image of a chip under its name, behind a "QZL-" header and a directory of
// 76-byte entries. The bring-up loads each container whole into memory; the download steps and the
// power-limit reader then take images out by name, the newer of the two containers winning when
// both hold an image.
//
// Everything here works on containers in memory. Reading a file through the platform is one
// separate function, HalLoadBinfromPath. A container is checked as a whole before its first lookup
// (magic, directory inside the file, every image inside the file and clear of the directory and of
// every other image); a container that fails the check answers no lookup.
#pragma once

#include <cstddef>

#include "hal/common/fwfile_types.h"
#include "hal/common/fwimage.h"
#include "kshim/nt_types.h"

struct _MP_ADAPTER;

// ---- container layout (little-endian) ---------------------------------------------------------------

#define FW_CONTAINER_MAGIC "QZL-"

#pragma pack(push, 1)
// At offset 0 of the container.
typedef struct _FW_CONTAINER_HEADER {
    CHAR Magic[4];           // "QZL-"
    USHORT LastIndex;        // index of the last directory entry: the directory holds LastIndex + 1
    UCHAR Reserved6[10];
} FW_CONTAINER_HEADER, *PFW_CONTAINER_HEADER;

// Directory entry, from offset 16.
typedef struct _BIG_FW_ENTRY {
    CHAR Name[FW_IMAGE_NAME_SIZE];     // ASCII, zero-padded
    CHAR Info[FW_IMAGE_INFO_SIZE];     // the image's time stamp as decimal digits, zero-padded
    ULONG Offset;                      // from the start of the container
    ULONG Size;
    ULONG Reserved72;
} BIG_FW_ENTRY, *PBIG_FW_ENTRY;
#pragma pack(pop)
static_assert(sizeof(FW_CONTAINER_HEADER) == 16, "container header is 16 bytes");
static_assert(offsetof(FW_CONTAINER_HEADER, LastIndex) == 4, "container header offsets");
static_assert(sizeof(BIG_FW_ENTRY) == 76, "directory entry is 76 bytes");
static_assert(offsetof(BIG_FW_ENTRY, Info) == 48 && offsetof(BIG_FW_ENTRY, Offset) == 64 &&
                  offsetof(BIG_FW_ENTRY, Size) == 68,
              "directory entry offsets");

// One image found in a loaded container: its entry's information, offset and size, and where its
// bytes are. Allocated per lookup (tag ZV53); the caller frees it with HalFwFreeImageRef.
typedef struct _FW_IMAGE_REF {
    UCHAR Info[FW_IMAGE_INFO_SIZE];
    ULONG Offset;
    ULONG Size;
    const UCHAR* Image;      // inside the loaded container
} FW_IMAGE_REF, *PFW_IMAGE_REF;

// ---- containers in memory ---------------------------------------------------------------------------

// Checks a whole container: STATUS_END_OF_FILE when it ends inside its header or directory,
// STATUS_INVALID_IMAGE_FORMAT for a wrong magic, STATUS_FILE_CORRUPT_ERROR for an image that lies
// (partly) outside the file, STATUS_DATA_ERROR for an image that overlaps the header, the
// directory or another image. Empty images are allowed anywhere inside the file.
NTSTATUS HalFwCheckContainer(const UCHAR* container, ULONG size);

// Looks an image up by name in a container that passed the check: the first entry whose name
// begins with the name (the comparison covers only the name's own length, so an empty name matches
// the first entry). A missing name or one without a zero in its first 48 bytes:
// STATUS_INVALID_PARAMETER; no match: STATUS_NOT_FOUND. *ref is written only on success.
NTSTATUS HalFwFindImage(const UCHAR* container, ULONG size, PCSTR name, PFW_IMAGE_REF ref);

// ---- the adapter's containers -----------------------------------------------------------------------

// The largest firmware file the driver reads whole (containers included).
#define FW_FILE_MAX_SIZE (64u * 1024u * 1024u)

// Reads a whole file (a full platform path) into a new allocator block (tag ZV53) and returns it
// with its size, or null: a file that cannot be opened, an empty file, one larger than
// FW_FILE_MAX_SIZE, and a short read (the block is freed) give null, each traced. Passive level only.
PUCHAR HalLoadBinfromPath(struct _MP_ADAPTER* adapter, PCWSTR path, PULONG size);

// Gives a loaded file to the block as its Wi-Fi or Bluetooth container (null for none); a container
// held before is freed.
void HalFwSetContainer(PFW_FILE_BLOCK files, BOOLEAN wifiContainer, PUCHAR buffer, ULONG size);

// Looks an image up in the Wi-Fi or the Bluetooth container; null when the container is not loaded,
// fails its check, holds no such image, or the reference cannot be allocated (each traced).
PFW_IMAGE_REF HalGetTheTargetImage(PFW_FILE_BLOCK files, PCSTR name, BOOLEAN wifiContainer);
void HalFwFreeImageRef(PFW_IMAGE_REF ref);

// Compares two information texts as signed decimal numbers (a text without a number counts as 0):
// 1 when the Bluetooth one is the later, 2 when the Wi-Fi one is, 0 when they are equal.
ULONG HalCompareBtWfTimestamp(const UCHAR btInfo[FW_IMAGE_INFO_SIZE], const UCHAR wfInfo[FW_IMAGE_INFO_SIZE]);

// A private copy of the named image (allocator block, tag ZV53; the caller frees it with
// PlatformFreeMemory(copy, *size)) or null. With fwBin 1 the Bluetooth container is searched too and
// its image kept when it is the strictly newer one, or the only one. The kept entry's time stamp
// goes to files->FwTimeStamp: from the Wi-Fi container its first 14 bytes and a zero (the 16th
// byte is left as it was), from the Bluetooth container all 16.
PUCHAR HalLoadBigFW(PFW_FILE_BLOCK files, ULONG fwBin, PCSTR name, PULONG size);

// Frees both loaded containers and clears them.
void HalFreeBigFW(PFW_FILE_BLOCK files);
