// Firmware image formats: parsers of the ROM patches and the RAM code, data-mode words, and the
// driver-wide image caches.
#include "hal/common/fwimage.h"

#include <cstring>

#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/trace.h"

FW_IMAGE_CACHE g_FwRomPatchCache;
FW_IMAGE_CACHE g_FwRamCodeCache;

namespace {

constexpr ULONG kSectionTableOffset = sizeof(ROM_PATCH_HEADER);

ULONG ReadWord(const UCHAR* p, bool bigEndian) { return bigEndian ? HalFwReadBe32(p) : HalFwReadLe32(p); }

void ResetList(PPATCH_SECTION_LIST list)
{
    list->Sections = nullptr;
    list->Count = 0;
}

void ReportPatchHeader(const UCHAR* image, bool bigEndian, PCSTR who)
{
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW,
             "%s: platform \"%.4s\" version 0x%08X 0x%08X words 0x%08X 0x%08X build \"%.16s\"", who,
             reinterpret_cast<const char*>(image + offsetof(ROM_PATCH_HEADER, Platform)),
             static_cast<unsigned>(ReadWord(image + offsetof(ROM_PATCH_HEADER, Version), bigEndian)),
             static_cast<unsigned>(ReadWord(image + offsetof(ROM_PATCH_HEADER, Version2), bigEndian)),
             static_cast<unsigned>(ReadWord(image + offsetof(ROM_PATCH_HEADER, Reported32), bigEndian)),
             static_cast<unsigned>(ReadWord(image + offsetof(ROM_PATCH_HEADER, Reported36), bigEndian)),
             reinterpret_cast<const char*>(image + offsetof(ROM_PATCH_HEADER, BuildDate)));
}

// Common start of the ROM patch parsers: the arguments, an empty list, a whole header (reported).
NTSTATUS StartPatch(const UCHAR* image, ULONG size, PULONG dataMode, PPATCH_SECTION_LIST list, bool bigEndian,
                    PCSTR who)
{
    if (image == nullptr || dataMode == nullptr || list == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    ResetList(list);
    if (size < sizeof(ROM_PATCH_HEADER)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: image of %u bytes has no header", who, static_cast<unsigned>(size));
        return STATUS_END_OF_FILE;
    }
    ReportPatchHeader(image, bigEndian, who);
    return STATUS_SUCCESS;
}

// The header and the section table of `count` sections must lie in the image.
NTSTATUS CheckSectionTable(ULONG size, ULONG count, PCSTR who)
{
    ULONG64 tableEnd = kSectionTableOffset + static_cast<ULONG64>(count) * sizeof(ROM_PATCH_SECTION);
    if (tableEnd > size) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: %u sections need %llu bytes, image has %u", who,
                 static_cast<unsigned>(count), static_cast<unsigned long long>(tableEnd),
                 static_cast<unsigned>(size));
        return STATUS_END_OF_FILE;
    }
    return STATUS_SUCCESS;
}

// A section that is downloaded must have its data inside the image and behind the section table.
NTSTATUS CheckSectionData(ULONG size, ULONG count, ULONG index, ULONG offset, ULONG length, PCSTR who)
{
    ULONG64 end = static_cast<ULONG64>(offset) + length;
    if (end > size) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: section %u data %u+%u beyond the image (%u bytes)", who,
                 static_cast<unsigned>(index), static_cast<unsigned>(offset), static_cast<unsigned>(length),
                 static_cast<unsigned>(size));
        return STATUS_FILE_CORRUPT_ERROR;
    }
    ULONG64 tableEnd = kSectionTableOffset + static_cast<ULONG64>(count) * sizeof(ROM_PATCH_SECTION);
    if (length != 0 && offset < tableEnd) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: section %u data at %u overlaps the header or table", who,
                 static_cast<unsigned>(index), static_cast<unsigned>(offset));
        return STATUS_DATA_ERROR;
    }
    return STATUS_SUCCESS;
}

const UCHAR* SectionAt(const UCHAR* image, ULONG index)
{
    return image + kSectionTableOffset + static_cast<SIZE_T>(index) * sizeof(ROM_PATCH_SECTION);
}

bool IsDownloadSection(ULONG type) { return (type & 0xFFFFu) == ROM_PATCH_SECTION_TYPE_DOWNLOAD; }

// The second- and third-generation parser (the two generations share the format).
NTSTATUS GetPatchInfoV2(struct _MP_ADAPTER* adapter, const UCHAR* image, ULONG size, PULONG dataMode,
                        PPATCH_SECTION_LIST list, PCSTR who)
{
    NTSTATUS status = StartPatch(image, size, dataMode, list, true, who);
    if (!NT_SUCCESS(status)) {
        return status;
    }

    ULONG count = HalFwReadBe32(image + offsetof(ROM_PATCH_HEADER, SectionCount));
    if (count > ROM_PATCH_MAX_SECTIONS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: %u sections, more than %u: no section is downloaded", who,
                 static_cast<unsigned>(count), ROM_PATCH_MAX_SECTIONS);
        return STATUS_SUCCESS;
    }
    status = CheckSectionTable(size, count, who);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    // Check every section that will be downloaded before anything is allocated or written.
    for (ULONG i = 0; i < count; ++i) {
        const UCHAR* section = SectionAt(image, i);
        if (!IsDownloadSection(HalFwReadBe32(section + offsetof(ROM_PATCH_SECTION, Type)))) {
            continue;
        }
        status = CheckSectionData(size, count, i, HalFwReadBe32(section + offsetof(ROM_PATCH_SECTION, DataOffset)),
                                  HalFwReadBe32(section + offsetof(ROM_PATCH_SECTION, Length)), who);
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }

    ULONG info = 0;
    if (count != 0) {
        PVOID block = nullptr;
        status = PlatformAllocateMemory(adapter, &block, count * static_cast<ULONG>(sizeof(PATCH_SECTION_INFO)),
                                        TAG_ZV99);
        if (!NT_SUCCESS(status)) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: no memory for %u section records", who,
                     static_cast<unsigned>(count));
            return STATUS_INSUFFICIENT_RESOURCES;
        }
        list->Sections = static_cast<PPATCH_SECTION_INFO>(block);
        list->Count = count;
        for (ULONG i = 0; i < count; ++i) {
            const UCHAR* section = SectionAt(image, i);
            PPATCH_SECTION_INFO record = &list->Sections[i];
            std::memset(record, 0, sizeof(*record));
            ULONG type = HalFwReadBe32(section + offsetof(ROM_PATCH_SECTION, Type));
            if (!IsDownloadSection(type)) {
                DBGPRINT(TRACE_LEVEL_VERBOSE, DBG_FW, "%s: section %u type 0x%08X skipped", who,
                         static_cast<unsigned>(i), static_cast<unsigned>(type));
                continue;
            }
            record->Data = image + HalFwReadBe32(section + offsetof(ROM_PATCH_SECTION, DataOffset));
            record->TargetAddress = HalFwReadBe32(section + offsetof(ROM_PATCH_SECTION, TargetAddress));
            record->Length = HalFwReadBe32(section + offsetof(ROM_PATCH_SECTION, Length));
            info = HalFwReadBe32(section + offsetof(ROM_PATCH_SECTION, Info));
            DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "%s: section %u to 0x%08X, %u bytes, info 0x%08X", who,
                     static_cast<unsigned>(i), static_cast<unsigned>(record->TargetAddress),
                     static_cast<unsigned>(record->Length), static_cast<unsigned>(info));
        }
    }
    *dataMode = HalFwPatchDataMode(info);
    return STATUS_SUCCESS;
}

}  // namespace

// ---- data modes -------------------------------------------------------------------------------------

ULONG HalFwPatchDataMode(ULONG info)
{
    if (info == 0xFFFFFFFFu) {
        return FW_DATA_MODE_PLAIN;
    }
    switch (info >> 24) {
    case 0:
        return FW_DATA_MODE_PLAIN;
    case 1:
        return 0x80000009u | ((info & 3u) << 1);
    case 2:
        return 0x80000049u;
    default:
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_FW, "HalFwPatchDataMode: unknown information word 0x%08X",
                 static_cast<unsigned>(info));
        return FW_DATA_MODE_PLAIN;
    }
}

ULONG HalFwRegionDataMode(UCHAR flags, BOOLEAN extraBit)
{
    if ((flags & FW_REGION_FLAG_MODE) == 0) {
        return FW_DATA_MODE_PLAIN;
    }
    ULONG mode = 0x80000009u | (flags & FW_REGION_FLAG_MODE_BITS);
    if (extraBit && (flags & FW_REGION_FLAG_MODE_EXTRA) != 0) {
        mode |= 0x40u;
    }
    return mode;
}

// ---- ROM patches ------------------------------------------------------------------------------------

NTSTATUS AsicArvel2xwlanImageSectionGetPatchInfoV2(struct _MP_ADAPTER* adapter, const UCHAR* image, ULONG size,
                                                   PULONG dataMode, PPATCH_SECTION_LIST list)
{
    return GetPatchInfoV2(adapter, image, size, dataMode, list, __func__);
}

NTSTATUS AsicArvel3xwlanImageSectionGetPatchInfoV2(struct _MP_ADAPTER* adapter, const UCHAR* image, ULONG size,
                                                   PULONG dataMode, PPATCH_SECTION_LIST list)
{
    return GetPatchInfoV2(adapter, image, size, dataMode, list, __func__);
}

NTSTATUS AsicArvel2xwlanImageSectionGetBtPatchInfo(struct _MP_ADAPTER* adapter, const UCHAR* image, ULONG size,
                                                   PULONG dataMode, PPATCH_SECTION_LIST list)
{
    PCSTR who = __func__;
    NTSTATUS status = StartPatch(image, size, dataMode, list, false, who);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    ULONG mark = HalFwReadLe32(image + offsetof(ROM_PATCH_HEADER, Version2));
    if (mark != BT_PATCH_VERSION2_MARK) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: header word 0x%08X is not a Bluetooth patch", who,
                 static_cast<unsigned>(mark));
        return STATUS_UNSUCCESSFUL;
    }
    ULONG count = HalFwReadLe32(image + offsetof(ROM_PATCH_HEADER, SectionCount));
    status = CheckSectionTable(size, count, who);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    for (ULONG i = 0; i < count; ++i) {
        const UCHAR* section = SectionAt(image, i);
        if (!IsDownloadSection(HalFwReadLe32(section + offsetof(ROM_PATCH_SECTION, Type))) ||
            HalFwReadLe32(section + offsetof(ROM_PATCH_SECTION, TargetKind)) != BT_PATCH_TARGET_KIND_DOWNLOAD) {
            continue;
        }
        status = CheckSectionData(size, count, i, HalFwReadLe32(section + offsetof(ROM_PATCH_SECTION, DataOffset)),
                                  HalFwReadLe32(section + offsetof(ROM_PATCH_SECTION, Length)), who);
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }

    PVOID block = nullptr;
    if (!NT_SUCCESS(PlatformAllocateMemory(adapter, &block, sizeof(PATCH_SECTION_INFO), TAG_ZV99))) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: no memory for the section record", who);
        return STATUS_UNSUCCESSFUL;
    }
    list->Sections = static_cast<PPATCH_SECTION_INFO>(block);
    list->Count = 1;
    std::memset(list->Sections, 0, sizeof(PATCH_SECTION_INFO));

    ULONG info = 0;
    BOOLEAN matched = FALSE;
    for (ULONG i = 0; i < count; ++i) {
        const UCHAR* section = SectionAt(image, i);
        ULONG kind = HalFwReadLe32(section + offsetof(ROM_PATCH_SECTION, TargetKind));
        if (!IsDownloadSection(HalFwReadLe32(section + offsetof(ROM_PATCH_SECTION, Type))) ||
            kind != BT_PATCH_TARGET_KIND_DOWNLOAD) {
            continue;
        }
        // A later match replaces an earlier one.
        PPATCH_SECTION_INFO record = list->Sections;
        record->Data = image + HalFwReadLe32(section + offsetof(ROM_PATCH_SECTION, DataOffset));
        record->TargetAddress = HalFwReadLe32(section + offsetof(ROM_PATCH_SECTION, TargetAddress));
        record->Length = HalFwReadLe32(section + offsetof(ROM_PATCH_SECTION, Length));
        record->TargetKind = kind;
        info = HalFwReadLe32(section + offsetof(ROM_PATCH_SECTION, Info));
        matched = TRUE;
    }
    *dataMode = HalFwPatchDataMode(info);
    if (!matched) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "%s: none of %u sections is downloadable", who,
                 static_cast<unsigned>(count));
        HalFwFreeSectionList(list);
        return STATUS_UNSUCCESSFUL;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW, "%s: section to 0x%08X, %u bytes, info 0x%08X", who,
             static_cast<unsigned>(list->Sections->TargetAddress), static_cast<unsigned>(list->Sections->Length),
             static_cast<unsigned>(info));
    return STATUS_SUCCESS;
}

void HalFwFreeSectionList(PPATCH_SECTION_LIST list)
{
    if (list == nullptr) {
        return;
    }
    if (list->Sections != nullptr) {
        PlatformFreeMemory(list->Sections, list->Count * static_cast<ULONG>(sizeof(PATCH_SECTION_INFO)));
    }
    ResetList(list);
}

// ---- RAM code -----------------------------------------------------------------------------------------

NTSTATUS HalFwParseRamCode(const UCHAR* image, ULONG size, PFW_RAM_CODE_INFO info)
{
    if (image == nullptr || info == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (size < sizeof(RAM_CODE_TRAILER)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwParseRamCode: image of %u bytes has no trailer",
                 static_cast<unsigned>(size));
        return STATUS_END_OF_FILE;
    }
    const UCHAR* trailer = image + size - sizeof(RAM_CODE_TRAILER);
    FW_RAM_CODE_INFO parsed;
    std::memset(&parsed, 0, sizeof(parsed));
    parsed.Identification = trailer[offsetof(RAM_CODE_TRAILER, Identification)];
    parsed.Revision = trailer[offsetof(RAM_CODE_TRAILER, Revision)];
    parsed.RegionCount = trailer[offsetof(RAM_CODE_TRAILER, RegionCount)];
    std::memcpy(parsed.Version, trailer + offsetof(RAM_CODE_TRAILER, Version), sizeof(parsed.Version));
    std::memcpy(parsed.BuildDate, trailer + offsetof(RAM_CODE_TRAILER, BuildDate), sizeof(parsed.BuildDate));
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW,
             "HalFwParseRamCode: identification %u revision %u regions %u version \"%.10s\" build \"%.15s\"",
             parsed.Identification, parsed.Revision + 1u, parsed.RegionCount, parsed.Version, parsed.BuildDate);

    if (parsed.RegionCount > FW_MAX_REGIONS) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwParseRamCode: %u regions, at most %u are held",
                 parsed.RegionCount, FW_MAX_REGIONS);
        return STATUS_INVALID_IMAGE_FORMAT;
    }
    ULONG tail = static_cast<ULONG>(sizeof(RAM_CODE_TRAILER) + parsed.RegionCount * sizeof(RAM_CODE_REGION));
    if (tail > size) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwParseRamCode: %u regions need %u bytes, image has %u",
                 parsed.RegionCount, static_cast<unsigned>(tail), static_cast<unsigned>(size));
        return STATUS_END_OF_FILE;
    }
    // The region data fills the file from offset 0 up to the region table, back to back.
    ULONG tableOffset = size - tail;
    ULONG64 dataOffset = 0;
    for (ULONG i = 0; i < parsed.RegionCount; ++i) {
        const UCHAR* region = image + tableOffset + i * sizeof(RAM_CODE_REGION);
        PFW_REGION_DESC desc = &parsed.Regions[i];
        desc->TargetAddress = HalFwReadLe32(region + offsetof(RAM_CODE_REGION, TargetAddress));
        desc->Length = HalFwReadLe32(region + offsetof(RAM_CODE_REGION, Length));
        desc->Reported8 = HalFwReadLe32(region + offsetof(RAM_CODE_REGION, Reported8));
        desc->EntryAddress = HalFwReadLe32(region + offsetof(RAM_CODE_REGION, EntryAddress));
        desc->Reported20 = HalFwReadLe32(region + offsetof(RAM_CODE_REGION, Reported20));
        desc->Flags = region[offsetof(RAM_CODE_REGION, Flags)];
        desc->DataOffset = static_cast<ULONG>(dataOffset);
        dataOffset += desc->Length;
        if (dataOffset > tableOffset) {
            DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwParseRamCode: region %u (%u bytes) runs into the region table",
                     static_cast<unsigned>(i), static_cast<unsigned>(desc->Length));
            return STATUS_FILE_CORRUPT_ERROR;
        }
        if ((desc->Flags & FW_REGION_FLAG_ENTRY) != 0) {
            parsed.EntryAddress = desc->EntryAddress;
        }
        DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW,
                 "HalFwParseRamCode: region %u to 0x%08X, %u bytes at %u, flags 0x%02X, words 0x%08X 0x%08X",
                 static_cast<unsigned>(i), static_cast<unsigned>(desc->TargetAddress),
                 static_cast<unsigned>(desc->Length), static_cast<unsigned>(desc->DataOffset), desc->Flags,
                 static_cast<unsigned>(desc->Reported8), static_cast<unsigned>(desc->Reported20));
    }
    if (dataOffset != tableOffset) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwParseRamCode: regions hold %llu bytes, the table starts at %u",
                 static_cast<unsigned long long>(dataOffset), static_cast<unsigned>(tableOffset));
        return STATUS_FILE_CORRUPT_ERROR;
    }
    *info = parsed;
    return STATUS_SUCCESS;
}

NTSTATUS HalFwGetIdentificationText(const UCHAR* image, ULONG size, CHAR text[FW_IDENT_TEXT_SIZE])
{
    if (image == nullptr || text == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (size < FW_IDENT_TEXT_OFFSET + FW_IDENT_TEXT_BYTES) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwGetIdentificationText: image of %u bytes holds no identification",
                 static_cast<unsigned>(size));
        return STATUS_END_OF_FILE;
    }
    text[0] = ';';
    std::memcpy(text + 1, image + FW_IDENT_TEXT_OFFSET, FW_IDENT_TEXT_BYTES);
    text[FW_IDENT_TEXT_SIZE - 1] = '\n';
    return STATUS_SUCCESS;
}

// ---- 3404 ROM patch ------------------------------------------------------------------------------------

NTSTATUS HalFwParse3404RomPatch(const UCHAR* image, ULONG size, PFW_3404_PATCH_BODY body)
{
    if (image == nullptr || body == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (size <= sizeof(QZ3404_PATCH_HEADER)) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwParse3404RomPatch: image of %u bytes has no body",
                 static_cast<unsigned>(size));
        return STATUS_END_OF_FILE;
    }
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_FW,
             "HalFwParse3404RomPatch: platform \"%.4s\" words 0x%08X 0x%08X build \"%.16s\"",
             reinterpret_cast<const char*>(image + offsetof(QZ3404_PATCH_HEADER, Platform)),
             static_cast<unsigned>(HalFwReadLe32(image + offsetof(QZ3404_PATCH_HEADER, Reported20))),
             static_cast<unsigned>(HalFwReadLe32(image + offsetof(QZ3404_PATCH_HEADER, Reported24))),
             reinterpret_cast<const char*>(image + offsetof(QZ3404_PATCH_HEADER, BuildDate)));
    body->Data = image + sizeof(QZ3404_PATCH_HEADER);
    body->Length = size - static_cast<ULONG>(sizeof(QZ3404_PATCH_HEADER));
    body->TargetAddress = QZ3404_PATCH_TARGET_ADDRESS;
    body->DataMode = FW_DATA_MODE_PLAIN;
    return STATUS_SUCCESS;
}

// ---- image caches -----------------------------------------------------------------------------------

namespace {

bool NameFits(PCSTR name) { return name != nullptr && HalFwBoundedLength(name, FW_IMAGE_NAME_SIZE + 1) <= FW_IMAGE_NAME_SIZE; }

}  // namespace

const UCHAR* HalFwImageCacheLookup(PFW_IMAGE_CACHE cache, PCSTR name, PULONG size)
{
    if (cache == nullptr || size == nullptr || !cache->Valid) {
        return nullptr;
    }
    if (cache->Buffer == nullptr || cache->Size == 0) {
        DBGPRINT(TRACE_LEVEL_WARNING, DBG_FW, "HalFwImageCacheLookup: valid cache without an image, cleared");
        cache->Valid = FALSE;
        return nullptr;
    }
    if (!NameFits(name) || std::strcmp(cache->Name, name) != 0) {
        return nullptr;
    }
    *size = cache->Size;
    return cache->Buffer;
}

NTSTATUS HalFwImageCacheStore(PFW_IMAGE_CACHE cache, PCSTR name, const UCHAR* image, ULONG size)
{
    if (cache == nullptr || image == nullptr || size == 0 || !NameFits(name)) {
        return STATUS_INVALID_PARAMETER;
    }
    HalFwImageCacheRelease(cache);
    PVOID block = nullptr;
    if (!NT_SUCCESS(PlatformAllocateMemory(nullptr, &block, size, TAG_ZV99))) {
        DBGPRINT(TRACE_LEVEL_ERROR, DBG_FW, "HalFwImageCacheStore: no memory for %u bytes of \"%s\"",
                 static_cast<unsigned>(size), name);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::memcpy(block, image, size);
    cache->Buffer = static_cast<PUCHAR>(block);
    cache->Size = size;
    std::strcpy(cache->Name, name);
    cache->Valid = FALSE;
    return STATUS_SUCCESS;
}

void HalFwImageCacheSetValid(PFW_IMAGE_CACHE cache)
{
    if (cache != nullptr && cache->Buffer != nullptr) {
        cache->Valid = TRUE;
    }
}

void HalFwImageCacheRelease(PFW_IMAGE_CACHE cache)
{
    if (cache == nullptr) {
        return;
    }
    PlatformFreeMemory(cache->Buffer, cache->Size);
    cache->Buffer = nullptr;
    cache->Size = 0;
    cache->Valid = FALSE;
    std::memset(cache->Name, 0, sizeof(cache->Name));
}

NTSTATUS AsicArvel2xFreeFwImageCache()
{
    HalFwImageCacheRelease(&g_FwRamCodeCache);
    HalFwImageCacheRelease(&g_FwRomPatchCache);
    return STATUS_SUCCESS;
}
