// Firmware image formats: the ROM patch (second and third generation, big-endian), the Bluetooth ROM
// patch (little-endian, same layout), the RAM code (regions, region table, trailer; every
// generation), the 3404 ROM patch (30-byte header and one body), the data-mode words derived from
// their flags, and the driver-wide image caches of the ROM patch and the RAM code.
//
// The parsers work on an image in memory and never read outside it: every table, every range of
// data and the identification text are checked against the image size before they are used, and an
// image that does not hold together is refused before anything is downloaded.
#pragma once

#include <cstddef>

#include "hal/common/fwfile_types.h"
#include "kshim/nt_types.h"

struct _MP_ADAPTER;

// Statuses of a refused file (firmware containers and images).
#ifndef STATUS_INVALID_IMAGE_FORMAT
#define STATUS_INVALID_IMAGE_FORMAT ((NTSTATUS)0xC000007BL)  // not this format, or more than it can hold
#endif
#ifndef STATUS_FILE_CORRUPT_ERROR
#define STATUS_FILE_CORRUPT_ERROR ((NTSTATUS)0xC0000102L)  // a range lies outside, or lengths disagree
#endif
#ifndef STATUS_DATA_ERROR
#define STATUS_DATA_ERROR ((NTSTATUS)0xC000003EL)  // two ranges overlap, or data overlaps a header
#endif
// STATUS_END_OF_FILE: the file ends inside its own header, directory or table.

// Field readers of the file formats (the caller has checked that the bytes lie in the buffer).
inline USHORT HalFwReadLe16(const UCHAR* p) { return static_cast<USHORT>(p[0] | (p[1] << 8)); }
inline ULONG HalFwReadLe32(const UCHAR* p)
{
    return static_cast<ULONG>(p[0]) | (static_cast<ULONG>(p[1]) << 8) | (static_cast<ULONG>(p[2]) << 16) |
           (static_cast<ULONG>(p[3]) << 24);
}
// Length of a text up to its first zero, reading at most limit bytes; limit when there is none.
inline ULONG HalFwBoundedLength(PCSTR text, ULONG limit)
{
    ULONG length = 0;
    while (length < limit && text[length] != 0) {
        ++length;
    }
    return length;
}
inline ULONG HalFwReadBe32(const UCHAR* p)
{
    return (static_cast<ULONG>(p[0]) << 24) | (static_cast<ULONG>(p[1]) << 16) | (static_cast<ULONG>(p[2]) << 8) |
           static_cast<ULONG>(p[3]);
}

// ---- ROM patch (second and third generation; Bluetooth patch) ----------------------------------------

// At offset 0 of the file. Second and third generation: every field big-endian. Bluetooth patch:
// the same layout, little-endian.
#pragma pack(push, 1)
typedef struct _ROM_PATCH_HEADER {
    CHAR BuildDate[16];      // ASCII, reported only
    CHAR Platform[4];        // ASCII, reported only
    ULONG Version;           // reported only
    ULONG Version2;          // reported only; 0xFFFFFFFF in a Bluetooth patch
    ULONG Reserved28;
    ULONG Reported32;
    ULONG Reported36;
    ULONG Reserved40;
    ULONG SectionCount;      // sections in the table at offset 96
    UCHAR Reserved48[48];
} ROM_PATCH_HEADER, *PROM_PATCH_HEADER;

// One per section, 64 bytes each, from offset 96 in file order.
typedef struct _ROM_PATCH_SECTION {
    ULONG Type;              // low 16 bits 2: a section to download
    ULONG DataOffset;        // from the start of the file
    ULONG Reported8;
    ULONG TargetAddress;     // in chip memory
    ULONG Length;            // data bytes
    ULONG Info;              // section information word: source of the data mode
    ULONG Reserved24;
    ULONG TargetKind;        // Bluetooth patch only: downloadable when 2
    UCHAR Reserved32[32];
} ROM_PATCH_SECTION, *PROM_PATCH_SECTION;
#pragma pack(pop)
static_assert(sizeof(ROM_PATCH_HEADER) == 96, "ROM patch header is 96 bytes");
static_assert(offsetof(ROM_PATCH_HEADER, Version2) == 24 && offsetof(ROM_PATCH_HEADER, SectionCount) == 44,
              "ROM patch header offsets");
static_assert(sizeof(ROM_PATCH_SECTION) == 64, "ROM patch section is 64 bytes");
static_assert(offsetof(ROM_PATCH_SECTION, TargetAddress) == 12 && offsetof(ROM_PATCH_SECTION, Info) == 20 &&
                  offsetof(ROM_PATCH_SECTION, TargetKind) == 28,
              "ROM patch section offsets");

#define ROM_PATCH_SECTION_TYPE_DOWNLOAD 2u
#define ROM_PATCH_MAX_SECTIONS 1024u
#define BT_PATCH_VERSION2_MARK 0xFFFFFFFFu
#define BT_PATCH_TARGET_KIND_DOWNLOAD 2u

// One downloadable section as the parser found it; a null Data marks a section that is skipped.
typedef struct _PATCH_SECTION_INFO {
    const UCHAR* Data;       // inside the image in memory
    ULONG TargetAddress;
    ULONG Length;
    ULONG TargetKind;        // Bluetooth patch only
} PATCH_SECTION_INFO, *PPATCH_SECTION_INFO;

// The parser's list: an allocator block of Count records (tag ZV99). Owned by the loader, which
// frees it after the download (HalFwFreeSectionList).
typedef struct _PATCH_SECTION_LIST {
    PPATCH_SECTION_INFO Sections;
    ULONG Count;
} PATCH_SECTION_LIST, *PPATCH_SECTION_LIST;

// ---- RAM code (every generation) ------------------------------------------------------------------

// The last 36 bytes of the file.
#pragma pack(push, 1)
typedef struct _RAM_CODE_TRAILER {
    UCHAR Identification;    // reported only
    UCHAR Revision;          // reported as its value plus one
    UCHAR RegionCount;
    UCHAR Reserved3[4];
    CHAR Version[10];        // ASCII, reported only
    CHAR BuildDate[15];      // ASCII, reported only
    UCHAR Reserved32[4];
} RAM_CODE_TRAILER, *PRAM_CODE_TRAILER;

// Region table entry, 40 bytes; the table lies immediately before the trailer.
typedef struct _RAM_CODE_REGION {
    ULONG TargetAddress;
    ULONG Length;
    ULONG Reported8;
    ULONG Reserved12;
    ULONG EntryAddress;      // used when flags bit 5 is set
    ULONG Reported20;
    UCHAR Flags;             // FW_REGION_FLAG_*
    UCHAR Reserved25[15];
} RAM_CODE_REGION, *PRAM_CODE_REGION;
#pragma pack(pop)
static_assert(sizeof(RAM_CODE_TRAILER) == 36, "RAM code trailer is 36 bytes");
static_assert(offsetof(RAM_CODE_TRAILER, Version) == 7 && offsetof(RAM_CODE_TRAILER, BuildDate) == 17,
              "RAM code trailer offsets");
static_assert(sizeof(RAM_CODE_REGION) == 40, "RAM code region is 40 bytes");
static_assert(offsetof(RAM_CODE_REGION, EntryAddress) == 16 && offsetof(RAM_CODE_REGION, Flags) == 24,
              "RAM code region offsets");

#define FW_REGION_FLAG_MODE 0x01u       // bit 0: the data mode carries bits 1-2 (and bit 4)
#define FW_REGION_FLAG_MODE_BITS 0x06u
#define FW_REGION_FLAG_MODE_EXTRA 0x10u // bit 4: adds 0x40 on the second and third generations
#define FW_REGION_FLAG_ENTRY 0x20u      // bit 5: the region's entry address starts the firmware
#define FW_REGION_FLAG_SKIP 0x80u       // bit 7: not downloaded (its data still takes its place)

// The loader keeps this many region descriptors for one download; an image with more is refused.
#define FW_MAX_REGIONS 10u

// The loader's copy of one region, with the offset of its data in the file.
typedef struct _FW_REGION_DESC {
    ULONG TargetAddress;
    ULONG Length;
    ULONG Reported8;
    ULONG EntryAddress;
    ULONG Reported20;
    UCHAR Flags;
    ULONG DataOffset;        // sum of the lengths of every earlier region, skipped ones included
} FW_REGION_DESC, *PFW_REGION_DESC;

// A parsed RAM code image.
typedef struct _FW_RAM_CODE_INFO {
    UCHAR Identification;
    UCHAR Revision;
    UCHAR RegionCount;
    CHAR Version[10];
    CHAR BuildDate[15];
    FW_REGION_DESC Regions[FW_MAX_REGIONS];
    ULONG EntryAddress;      // of the last region with FW_REGION_FLAG_ENTRY; 0 when none
} FW_RAM_CODE_INFO, *PFW_RAM_CODE_INFO;

// ---- 3404 ROM patch ---------------------------------------------------------------------------------

#pragma pack(push, 1)
typedef struct _QZ3404_PATCH_HEADER {
    CHAR BuildDate[16];      // ASCII, reported only
    CHAR Platform[4];        // ASCII, reported only
    ULONG Reported20;        // little-endian
    ULONG Reported24;
    UCHAR Reserved28[2];
} QZ3404_PATCH_HEADER, *PQZ3404_PATCH_HEADER;
#pragma pack(pop)
static_assert(sizeof(QZ3404_PATCH_HEADER) == 30, "3404 ROM patch header is 30 bytes");

#define QZ3404_PATCH_TARGET_ADDRESS 0xDC000u

// The body of a 3404 ROM patch: everything after the header, sent to 0xDC000 in one piece.
typedef struct _FW_3404_PATCH_BODY {
    const UCHAR* Data;
    ULONG Length;
    ULONG TargetAddress;
    ULONG DataMode;
} FW_3404_PATCH_BODY, *PFW_3404_PATCH_BODY;

// ---- data modes -------------------------------------------------------------------------------------

#define FW_DATA_MODE_PLAIN 0x80000000u

// Data mode of a ROM patch from the information word of its last downloadable section:
// 0xFFFFFFFF or top byte 0 -> 0x80000000; top byte 1 -> 0x80000009 | ((word & 3) << 1);
// top byte 2 -> 0x80000049; any other top byte -> 0x80000000 (traced).
ULONG HalFwPatchDataMode(ULONG info);

// Data mode of a RAM code region from its flags: bit 0 clear -> 0x80000000; set -> 0x80000009 |
// (flags & 6), plus 0x40 for bit 4 when extraBit (second and third generation; not 3404).
ULONG HalFwRegionDataMode(UCHAR flags, BOOLEAN extraBit);

// ---- parsers ----------------------------------------------------------------------------------------

// Second- and third-generation ROM patch (twins). On success the list holds one record per section
// of the header, null data for every section that is not of type 2, and *dataMode the data mode of
// the last type-2 section. The list is reset to empty first (it must not hold an earlier list). A
// header announcing more than 1024 sections leaves the list empty and *dataMode unwritten, and
// succeeds: the loader then downloads no section. Refused with the list empty and *dataMode
// unwritten: an image shorter than the header or the section table (STATUS_END_OF_FILE), a
// type-2 section whose data lies outside the image (STATUS_FILE_CORRUPT_ERROR) or inside the header
// or table (STATUS_DATA_ERROR); an allocation failure gives STATUS_INSUFFICIENT_RESOURCES.
NTSTATUS AsicArvel2xwlanImageSectionGetPatchInfoV2(struct _MP_ADAPTER* adapter, const UCHAR* image, ULONG size,
                                                   PULONG dataMode, PPATCH_SECTION_LIST list);
NTSTATUS AsicArvel3xwlanImageSectionGetPatchInfoV2(struct _MP_ADAPTER* adapter, const UCHAR* image, ULONG size,
                                                   PULONG dataMode, PPATCH_SECTION_LIST list);

// Bluetooth ROM patch: a list of exactly one record, filled from the last section of type 2 and
// target kind 2. Header word 24 other than 0xFFFFFFFF, no such section, or an allocation failure:
// 0xC0000001. With no matching section (section count 0 included) *dataMode is still written
// (0x80000000). The image checks of the ROM patch parser apply as well. On every failure the list
// is left empty.
NTSTATUS AsicArvel2xwlanImageSectionGetBtPatchInfo(struct _MP_ADAPTER* adapter, const UCHAR* image, ULONG size,
                                                   PULONG dataMode, PPATCH_SECTION_LIST list);

// Frees a parser's list and sets its count to 0; an empty list does nothing.
void HalFwFreeSectionList(PPATCH_SECTION_LIST list);

// RAM code of every generation: trailer, region table and region data. Refused: an image shorter
// than the trailer or than trailer and table (STATUS_END_OF_FILE), more than FW_MAX_REGIONS regions
// (STATUS_INVALID_IMAGE_FORMAT), region lengths whose sum is not the offset of the table
// (STATUS_FILE_CORRUPT_ERROR). *info is written only on success.
NTSTATUS HalFwParseRamCode(const UCHAR* image, ULONG size, PFW_RAM_CODE_INFO info);

// The 82-byte identification text of a second- or third-generation RAM code; STATUS_END_OF_FILE
// when the image is too short to hold the 81 bytes at FW_IDENT_TEXT_OFFSET (text not written).
NTSTATUS HalFwGetIdentificationText(const UCHAR* image, ULONG size, CHAR text[FW_IDENT_TEXT_SIZE]);

// 3404 ROM patch: the body after the 30-byte header (at least one byte; STATUS_END_OF_FILE otherwise).
NTSTATUS HalFwParse3404RomPatch(const UCHAR* image, ULONG size, PFW_3404_PATCH_BODY body);

// ---- driver-wide image caches -----------------------------------------------------------------------

// One image kept across bring-ups of the driver: a private copy (allocator block, tag ZV99), its
// size, whether it was downloaded completely, and the name it was obtained under. A lookup by
// another name misses, so a second device of another chip (or a 3501 whose revision selects other
// images) never gets the first one's image.
#define FW_IMAGE_NAME_SIZE 48u
typedef struct _FW_IMAGE_CACHE {
    PUCHAR Buffer;
    ULONG Size;
    BOOLEAN Valid;
    CHAR Name[FW_IMAGE_NAME_SIZE + 1];
} FW_IMAGE_CACHE, *PFW_IMAGE_CACHE;

// The ROM patch and the RAM code caches, shared by the second- and third-generation loaders.
extern FW_IMAGE_CACHE g_FwRomPatchCache;
extern FW_IMAGE_CACHE g_FwRamCodeCache;

// The cached image when the cache is valid and holds that name, else null. A cache found valid
// with size 0 is treated as empty: its flag is cleared.
const UCHAR* HalFwImageCacheLookup(PFW_IMAGE_CACHE cache, PCSTR name, PULONG size);
// Copies an image into the cache under a name, not yet valid; the previous buffer is released
// first. Empty image or name longer than 48: STATUS_INVALID_PARAMETER; allocation failure:
// STATUS_INSUFFICIENT_RESOURCES (the cache is then empty).
NTSTATUS HalFwImageCacheStore(PFW_IMAGE_CACHE cache, PCSTR name, const UCHAR* image, ULONG size);
// Marks the cached image as downloaded completely.
void HalFwImageCacheSetValid(PFW_IMAGE_CACHE cache);
// Releases one cache's buffer and clears its size, flag and name.
void HalFwImageCacheRelease(PFW_IMAGE_CACHE cache);

// Releases both caches (RAM code, then ROM patch); called at hardware release and at driver unload.
NTSTATUS AsicArvel2xFreeFwImageCache();
