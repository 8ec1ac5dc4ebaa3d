// The firmware image formats: ROM patches, the Bluetooth patch, the RAM code, the 3404 ROM patch,
// their data modes, the refusal of images that do not hold together, and the image caches.
#include "fwdl_support.h"

namespace {

using fwdl::FwFileTest;
using sim::fw::Image;
using sim::fw::PatchSection;
using sim::fw::RamCodeFault;
using sim::fw::RamCodeSpec;
using sim::fw::RamRegion;
using sim::fw::RomPatchFault;
using sim::fw::RomPatchSpec;

const UCHAR* Data(const Image& image) { return image.bytes.data(); }
ULONG Size(const Image& image) { return static_cast<ULONG>(image.bytes.size()); }

// One image of a chip's package, by name.
Image Find(uint32_t chip, const std::string& name)
{
    for (auto& n : sim::fw::StandardImages(chip)) {
        if (n.name == name) {
            return std::move(n.image);
        }
    }
    throw std::runtime_error("no image " + name);
}

RomPatchSpec ThreeSections(uint32_t firstType, uint32_t secondType, uint32_t thirdType, uint32_t info)
{
    RomPatchSpec spec;
    spec.sections = {
        {firstType, 0x1000, 16, 0x01000001, 2, 1},
        {secondType, 0x2000, 32, info, 2, 2},
        {thirdType, 0x3000, 48, 0x01000003, 2, 3},
    };
    return spec;
}

// ---- data modes ------------------------------------------------------------------------------------------

TEST(FwDataMode, PatchInformationWordByTopByte)
{
    const std::pair<ULONG, ULONG> cases[] = {
        {0xFFFFFFFF, 0x80000000}, {0x00ABCDEF, 0x80000000}, {0x01000000, 0x80000009}, {0x01000002, 0x8000000D},
        {0x01000003, 0x8000000F}, {0x01FFFFFC, 0x80000009}, {0x02000000, 0x80000049}, {0x02000003, 0x80000049},
        {0x03000000, 0x80000000}, {0xFE000000, 0x80000000},
    };
    for (auto [info, mode] : cases) {
        EXPECT_EQ(HalFwPatchDataMode(info), mode) << std::hex << info;
    }
}

TEST(FwDataMode, RegionFlagsOnEachGeneration)
{
    struct Case {
        UCHAR flags;
        ULONG arvel;
        ULONG qz3404;
    };
    const Case cases[] = {
        {0x00, 0x80000000, 0x80000000}, {0x10, 0x80000000, 0x80000000}, {0x01, 0x80000009, 0x80000009},
        {0x11, 0x80000049, 0x80000009}, {0x07, 0x8000000F, 0x8000000F}, {0x17, 0x8000004F, 0x8000000F},
        {0xA1, 0x80000009, 0x80000009},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HalFwRegionDataMode(c.flags, TRUE), c.arvel) << std::hex << int(c.flags);
        EXPECT_EQ(HalFwRegionDataMode(c.flags, FALSE), c.qz3404) << std::hex << int(c.flags);
    }
}

// ---- ROM patch -----------------------------------------------------------------------------------------

void ExpectSectionsMatch(const PATCH_SECTION_LIST& list, const Image& image)
{
    ASSERT_EQ(list.Count, image.pieces.size());
    for (ULONG i = 0; i < list.Count; ++i) {
        const sim::fw::Piece& piece = image.pieces[i];
        const PATCH_SECTION_INFO& record = list.Sections[i];
        if (!piece.downloaded) {
            EXPECT_EQ(record.Data, nullptr) << i;
            continue;
        }
        EXPECT_EQ(record.Data, Data(image) + piece.fileOffset) << i;
        EXPECT_EQ(record.TargetAddress, piece.address) << i;
        EXPECT_EQ(record.Length, piece.length) << i;
    }
}

TEST_F(FwFileTest, EveryChipsRomPatchParses)
{
    const std::pair<uint32_t, const char*> patches[] = {
        {0x3501, "WIFI_QZ3501_patch_mcu_1_1_hdr.bin"},   {0x3501, "WIFI_QZ3501_patch_mcu_1_2_hdr.bin"},
        {0x3501, "WIFI_QZ3501_patch_mcu_1a_2_hdr.bin"},  {0x3502, "WIFI_QZ3502_patch_mcu_1_1_hdr.bin"},
        {0x3503, "WIFI_QZ3503_patch_mcu_1_1_hdr.bin"},   {0x3601, "WIFI_QZ3601_PATCH_MCU_1_1_hdr.bin"},
        {0x3602, "WIFI_QZ3602_PATCH_MCU_2_1_hdr.bin"},
    };
    for (auto [chip, name] : patches) {
        SCOPED_TRACE(name);
        Image image = Find(chip, name);
        for (auto parse : {AsicArvel2xwlanImageSectionGetPatchInfoV2, AsicArvel3xwlanImageSectionGetPatchInfoV2}) {
            PATCH_SECTION_LIST list{};
            ULONG mode = 0;
            ASSERT_EQ(parse(nullptr, Data(image), Size(image), &mode, &list), STATUS_SUCCESS);
            ExpectSectionsMatch(list, image);
            EXPECT_EQ(mode, 0x8000000Du);
            HalFwFreeSectionList(&list);
            EXPECT_EQ(list.Count, 0u);
            EXPECT_EQ(list.Sections, nullptr);
        }
    }
}

TEST_F(FwFileTest, OnlyTypeTwoSectionsAreDownloadedAndTheLastOneSetsTheMode)
{
    Image image = sim::fw::BuildRomPatch(ThreeSections(1, 0x00070002, 3, 0x02000000));
    PATCH_SECTION_LIST list{};
    ULONG mode = 0;
    ASSERT_EQ(AsicArvel2xwlanImageSectionGetPatchInfoV2(nullptr, Data(image), Size(image), &mode, &list),
              STATUS_SUCCESS);
    ASSERT_EQ(list.Count, 3u);
    EXPECT_EQ(list.Sections[0].Data, nullptr);
    EXPECT_EQ(list.Sections[1].Data, Data(image) + image.pieces[1].fileOffset);
    EXPECT_EQ(list.Sections[2].Data, nullptr);
    EXPECT_EQ(mode, 0x80000049u);
    HalFwFreeSectionList(&list);

    // No section of type 2 at all: every record is skipped and the mode is that of word 0.
    image = sim::fw::BuildRomPatch(ThreeSections(1, 3, 4, 0x02000000));
    ASSERT_EQ(AsicArvel2xwlanImageSectionGetPatchInfoV2(nullptr, Data(image), Size(image), &mode, &list),
              STATUS_SUCCESS);
    EXPECT_EQ(list.Count, 3u);
    EXPECT_EQ(mode, 0x80000000u);
    HalFwFreeSectionList(&list);
}

TEST_F(FwFileTest, PatchWithoutSectionsOrWithTooManyDownloadsNothing)
{
    RomPatchSpec none;
    Image image = sim::fw::BuildRomPatch(none);
    PATCH_SECTION_LIST list{};
    ULONG mode = 0x12345678;
    ASSERT_EQ(AsicArvel2xwlanImageSectionGetPatchInfoV2(nullptr, Data(image), Size(image), &mode, &list),
              STATUS_SUCCESS);
    EXPECT_EQ(list.Count, 0u);
    EXPECT_EQ(mode, 0x80000000u);

    image = sim::fw::BuildRomPatch(ThreeSections(2, 2, 2, 0), RomPatchFault::TooManySections);
    mode = 0x12345678;
    ASSERT_EQ(AsicArvel2xwlanImageSectionGetPatchInfoV2(nullptr, Data(image), Size(image), &mode, &list),
              STATUS_SUCCESS);
    EXPECT_EQ(list.Count, 0u);
    EXPECT_EQ(list.Sections, nullptr);
    EXPECT_EQ(mode, 0x12345678u);
}

TEST_F(FwFileTest, MalformedRomPatchesAreRefusedBeforeAnythingIsAllocated)
{
    struct Case {
        RomPatchFault fault;
        NTSTATUS status;
    };
    const Case cases[] = {
        {RomPatchFault::TruncatedHeader, STATUS_END_OF_FILE},
        {RomPatchFault::TruncatedSectionTable, STATUS_END_OF_FILE},
        {RomPatchFault::SectionDataPastEnd, STATUS_FILE_CORRUPT_ERROR},
        {RomPatchFault::SectionDataInHeader, STATUS_DATA_ERROR},
    };
    for (bool bluetooth : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << bluetooth << " " << static_cast<int>(c.fault));
            RomPatchSpec spec = ThreeSections(1, 2, 3, 0x01000002);
            spec.bluetooth = bluetooth;
            Image image = sim::fw::BuildRomPatch(spec, c.fault);
            PATCH_SECTION_LIST list{};
            ULONG mode = 0x12345678;
            auto parse = bluetooth ? AsicArvel2xwlanImageSectionGetBtPatchInfo : AsicArvel2xwlanImageSectionGetPatchInfoV2;
            EXPECT_EQ(parse(nullptr, Data(image), Size(image), &mode, &list), c.status);
            EXPECT_EQ(list.Count, 0u);
            EXPECT_EQ(list.Sections, nullptr);
            EXPECT_EQ(mode, 0x12345678u);
        }
    }
}

// A skipped section's ranges are not the driver's business: only downloaded data must lie inside.
TEST_F(FwFileTest, SkippedSectionsMayPointAnywhere)
{
    Image image = sim::fw::BuildRomPatch(ThreeSections(1, 2, 3, 0x01000002));
    // Section 0 (type 1): offset 0xFFFFFFF0, length 0x100.
    const UCHAR far[8] = {0xFF, 0xFF, 0xFF, 0xF0, 0, 0, 0x01, 0};
    std::memcpy(&image.bytes[96 + 4], far, 4);
    std::memcpy(&image.bytes[96 + 16], far + 4, 4);
    PATCH_SECTION_LIST list{};
    ULONG mode = 0;
    ASSERT_EQ(AsicArvel2xwlanImageSectionGetPatchInfoV2(nullptr, Data(image), Size(image), &mode, &list),
              STATUS_SUCCESS);
    HalFwFreeSectionList(&list);
}

// ---- Bluetooth patch ------------------------------------------------------------------------------------

TEST_F(FwFileTest, BluetoothPatchesOf3501Parse)
{
    for (const char* name :
         {"BT_RAM_CODE_QZ3501_1_1_hdr.bin", "BT_RAM_CODE_QZ3501_1_2_hdr.bin", "BT_RAM_CODE_QZ3501_1a_2_hdr.bin"}) {
        SCOPED_TRACE(name);
        Image image = Find(0x3501, name);
        PATCH_SECTION_LIST list{};
        ULONG mode = 0;
        ASSERT_EQ(AsicArvel2xwlanImageSectionGetBtPatchInfo(nullptr, Data(image), Size(image), &mode, &list),
                  STATUS_SUCCESS);
        ASSERT_EQ(list.Count, 1u);
        const sim::fw::Piece& piece = image.pieces[1];  // the section of target kind 2
        EXPECT_EQ(list.Sections[0].Data, Data(image) + piece.fileOffset);
        EXPECT_EQ(list.Sections[0].TargetAddress, piece.address);
        EXPECT_EQ(list.Sections[0].Length, piece.length);
        EXPECT_EQ(list.Sections[0].TargetKind, 2u);
        EXPECT_EQ(mode, 0x80000049u);
        HalFwFreeSectionList(&list);
    }
}

TEST_F(FwFileTest, BluetoothPatchKeepsTheLastDownloadableSection)
{
    RomPatchSpec spec = ThreeSections(2, 2, 2, 0x02000000);
    spec.bluetooth = true;
    spec.sections[1].targetKind = 1;
    Image image = sim::fw::BuildRomPatch(spec);
    PATCH_SECTION_LIST list{};
    ULONG mode = 0;
    ASSERT_EQ(AsicArvel2xwlanImageSectionGetBtPatchInfo(nullptr, Data(image), Size(image), &mode, &list),
              STATUS_SUCCESS);
    ASSERT_EQ(list.Count, 1u);
    EXPECT_EQ(list.Sections[0].TargetAddress, 0x3000u);
    EXPECT_EQ(mode, 0x8000000Fu);  // section 2's word 0x01000003
    HalFwFreeSectionList(&list);
}

TEST_F(FwFileTest, BluetoothPatchRefusals)
{
    struct Case {
        const char* what;
        RomPatchFault fault;
        bool noSections;
        ULONG mode;  // written data mode, or 0x12345678 when untouched
    };
    const Case cases[] = {
        {"wrong mark", RomPatchFault::BtWrongMark, false, 0x12345678},
        {"no target kind 2", RomPatchFault::BtNoDownloadSection, false, 0x80000000},
        {"no sections", RomPatchFault::None, true, 0x80000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RomPatchSpec spec = ThreeSections(2, 2, 2, 0x02000000);
        spec.bluetooth = true;
        if (c.noSections) {
            spec.sections.clear();
        }
        Image image = sim::fw::BuildRomPatch(spec, c.fault);
        PATCH_SECTION_LIST list{};
        ULONG mode = 0x12345678;
        EXPECT_EQ(AsicArvel2xwlanImageSectionGetBtPatchInfo(nullptr, Data(image), Size(image), &mode, &list),
                  STATUS_UNSUCCESSFUL);
        EXPECT_EQ(list.Count, 0u);
        EXPECT_EQ(list.Sections, nullptr);
        EXPECT_EQ(mode, c.mode);
    }
}

TEST_F(FwFileTest, SectionListAllocationFailure)
{
    Image image = sim::fw::BuildRomPatch(ThreeSections(2, 2, 2, 0));
    PATCH_SECTION_LIST list{};
    ULONG mode = 0x12345678;
    kshim::host::FaultArm("pool", "ZV99", 1, STATUS_INSUFFICIENT_RESOURCES, fwdl::kPoolAttempts);
    EXPECT_EQ(AsicArvel2xwlanImageSectionGetPatchInfoV2(nullptr, Data(image), Size(image), &mode, &list),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(list.Sections, nullptr);
    EXPECT_EQ(mode, 0x12345678u);

    RomPatchSpec bt = ThreeSections(2, 2, 2, 0);
    bt.bluetooth = true;
    image = sim::fw::BuildRomPatch(bt);
    kshim::host::FaultClearAll();
    kshim::host::FaultArm("pool", "ZV99", 1, STATUS_INSUFFICIENT_RESOURCES, fwdl::kPoolAttempts);
    EXPECT_EQ(AsicArvel2xwlanImageSectionGetBtPatchInfo(nullptr, Data(image), Size(image), &mode, &list),
              STATUS_UNSUCCESSFUL);
    EXPECT_EQ(list.Sections, nullptr);
}

// ---- RAM code ----------------------------------------------------------------------------------------------

void ExpectRegionsMatch(const FW_RAM_CODE_INFO& info, const Image& image)
{
    ASSERT_EQ(info.RegionCount, image.pieces.size());
    for (ULONG i = 0; i < info.RegionCount; ++i) {
        const sim::fw::Piece& piece = image.pieces[i];
        EXPECT_EQ(info.Regions[i].TargetAddress, piece.address) << i;
        EXPECT_EQ(info.Regions[i].Length, piece.length) << i;
        EXPECT_EQ(info.Regions[i].DataOffset, piece.fileOffset) << i;
        EXPECT_EQ(info.Regions[i].Flags, piece.modeSource) << i;
    }
    EXPECT_EQ(info.EntryAddress, image.entryAddress);
}

TEST_F(FwFileTest, EveryChipsRamCodeParses)
{
    const std::pair<uint32_t, const char*> codes[] = {
        {0x3501, "WIFI_RAM_CODE_QZ3501_1.bin"}, {0x3501, "WIFI_RAM_CODE_QZ3501_1a.bin"},
        {0x3502, "WIFI_RAM_CODE_QZ3502_1.bin"}, {0x3503, "WIFI_RAM_CODE_QZ3503_1.bin"},
        {0x3601, "WIFI_RAM_CODE_QZ3601_1_1.bin"}, {0x3602, "WIFI_RAM_CODE_QZ3602_2_1.bin"},
        {0x3404, "WIFI_RAM_CODE_QZ3404.bin"},
    };
    for (auto [chip, name] : codes) {
        SCOPED_TRACE(name);
        Image image = Find(chip, name);
        FW_RAM_CODE_INFO info;
        ASSERT_EQ(HalFwParseRamCode(Data(image), Size(image), &info), STATUS_SUCCESS);
        ExpectRegionsMatch(info, image);
        CHAR text[FW_IDENT_TEXT_SIZE];
        NTSTATUS ident = HalFwGetIdentificationText(Data(image), Size(image), text);
        if (chip == 0x3404) {
            EXPECT_EQ(ident, STATUS_END_OF_FILE);  // 3404 code carries none
            continue;
        }
        ASSERT_EQ(ident, STATUS_SUCCESS);
        EXPECT_EQ(text[0], ';');
        EXPECT_EQ(std::string(text + 1, 6), std::string(name).substr(14, 6));  // "QZ35xx" / "QZ36xx"
        EXPECT_EQ(text[81], '\n');
        EXPECT_EQ(std::memcmp(text + 1, Data(image) + 0x98698, 80), 0);
    }
}

TEST_F(FwFileTest, SkippedRegionStillTakesItsPlaceAndTheLastEntryRegionWins)
{
    RamCodeSpec spec;
    spec.regions = {
        {0x100, 100, 0x21, 0xAAAA, 1},
        {0x200, 50, 0x80, 0, 2},
        {0x300, 70, 0x20, 0xBBBB, 3},
        {0x400, 0, 0x00, 0xCCCC, 4},
    };
    Image image = sim::fw::BuildRamCode(spec);
    FW_RAM_CODE_INFO info;
    ASSERT_EQ(HalFwParseRamCode(Data(image), Size(image), &info), STATUS_SUCCESS);
    EXPECT_EQ(info.Regions[2].DataOffset, 150u);
    EXPECT_EQ(info.Regions[3].DataOffset, 220u);
    EXPECT_EQ(info.EntryAddress, 0xBBBBu);
}

TEST_F(FwFileTest, TenRegionsAreHeldAndNoRegionsMeanNoEntry)
{
    RamCodeSpec spec;
    for (uint32_t i = 0; i < FW_MAX_REGIONS; ++i) {
        spec.regions.push_back({0x1000 * i, 10 + i, 0x01, 0, i});
    }
    Image image = sim::fw::BuildRamCode(spec);
    FW_RAM_CODE_INFO info;
    ASSERT_EQ(HalFwParseRamCode(Data(image), Size(image), &info), STATUS_SUCCESS);
    ExpectRegionsMatch(info, image);

    spec.regions.clear();
    image = sim::fw::BuildRamCode(spec);
    ASSERT_EQ(HalFwParseRamCode(Data(image), Size(image), &info), STATUS_SUCCESS);
    EXPECT_EQ(info.RegionCount, 0);
    EXPECT_EQ(info.EntryAddress, 0u);
}

TEST_F(FwFileTest, TrailerIsReported)
{
    RamCodeSpec spec;
    spec.identification = 7;
    spec.revision = 2;
    spec.version = "9.8.7.6543";
    spec.buildDate = "20991231235959";
    spec.regions = {{0x100, 4, 0, 0, 1}};
    Image image = sim::fw::BuildRamCode(spec);
    FW_RAM_CODE_INFO info;
    ASSERT_EQ(HalFwParseRamCode(Data(image), Size(image), &info), STATUS_SUCCESS);
    EXPECT_EQ(info.Identification, 7);
    EXPECT_EQ(info.Revision, 2);
    EXPECT_EQ(std::string(info.Version, 10), "9.8.7.6543");
    EXPECT_EQ(std::string(info.BuildDate, 14), "20991231235959");
}

TEST_F(FwFileTest, MalformedRamCodeIsRefused)
{
    struct Case {
        RamCodeFault fault;
        NTSTATUS status;
    };
    const Case cases[] = {
        {RamCodeFault::TruncatedTrailer, STATUS_END_OF_FILE},
        {RamCodeFault::TooManyRegions, STATUS_INVALID_IMAGE_FORMAT},
        {RamCodeFault::TablePastStart, STATUS_END_OF_FILE},
        {RamCodeFault::RegionDataPastTable, STATUS_FILE_CORRUPT_ERROR},
        {RamCodeFault::RegionDataShort, STATUS_FILE_CORRUPT_ERROR},
    };
    RamCodeSpec spec;
    spec.regions = {{0x100, 64, 0x01, 0, 1}, {0x200, 64, 0x21, 0x200, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        Image image = sim::fw::BuildRamCode(spec, c.fault);
        FW_RAM_CODE_INFO info;
        std::memset(&info, 0xA5, sizeof(info));
        EXPECT_EQ(HalFwParseRamCode(Data(image), Size(image), &info), c.status);
        EXPECT_EQ(info.RegionCount, 0xA5);  // untouched
    }
}

TEST(FwIdentText, NeedsAllEightyOneBytes)
{
    std::vector<UCHAR> image(0x98698 + 81, 'x');
    image[0x98698] = 'Q';
    CHAR text[FW_IDENT_TEXT_SIZE];
    ASSERT_EQ(HalFwGetIdentificationText(image.data(), static_cast<ULONG>(image.size()), text), STATUS_SUCCESS);
    EXPECT_EQ(text[1], 'Q');
    EXPECT_EQ(text[80], 'x');
    EXPECT_EQ(text[81], '\n');
    EXPECT_EQ(HalFwGetIdentificationText(image.data(), static_cast<ULONG>(image.size() - 1), text),
              STATUS_END_OF_FILE);
}

// ---- 3404 ROM patch -------------------------------------------------------------------------------------------

TEST(Fw3404Patch, BodyFollowsTheThirtyByteHeader)
{
    struct Case {
        uint32_t body;
        NTSTATUS status;
    };
    for (Case c : {Case{0, STATUS_END_OF_FILE}, Case{1, STATUS_SUCCESS}, Case{0x4000, STATUS_SUCCESS}}) {
        sim::fw::Qz3404PatchSpec spec;
        spec.bodyLength = c.body;
        Image image = sim::fw::Build3404RomPatch(spec);
        FW_3404_PATCH_BODY body{};
        ASSERT_EQ(HalFwParse3404RomPatch(Data(image), Size(image), &body), c.status) << c.body;
        if (c.status != STATUS_SUCCESS) {
            continue;
        }
        EXPECT_EQ(body.Data, Data(image) + 30);
        EXPECT_EQ(body.Length, c.body);
        EXPECT_EQ(body.TargetAddress, 0xDC000u);
        EXPECT_EQ(body.DataMode, 0x80000000u);
    }
}

// ---- image caches ----------------------------------------------------------------------------------------------

TEST_F(FwFileTest, CacheServesOnlyAValidImageOfTheSameName)
{
    const UCHAR image[] = {1, 2, 3, 4, 5};
    ULONG size = 0;
    ASSERT_EQ(HalFwImageCacheStore(&g_FwRamCodeCache, "ram.bin", image, sizeof(image)), STATUS_SUCCESS);
    EXPECT_EQ(HalFwImageCacheLookup(&g_FwRamCodeCache, "ram.bin", &size), nullptr);  // not downloaded yet
    HalFwImageCacheSetValid(&g_FwRamCodeCache);
    const UCHAR* cached = HalFwImageCacheLookup(&g_FwRamCodeCache, "ram.bin", &size);
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(size, sizeof(image));
    EXPECT_EQ(std::memcmp(cached, image, sizeof(image)), 0);
    EXPECT_NE(cached, image);
    EXPECT_EQ(HalFwImageCacheLookup(&g_FwRamCodeCache, "other.bin", &size), nullptr);
    EXPECT_EQ(HalFwImageCacheLookup(&g_FwRamCodeCache, "ram.bi", &size), nullptr);
    EXPECT_EQ(HalFwImageCacheLookup(&g_FwRomPatchCache, "ram.bin", &size), nullptr);

    // Storing again replaces the image and the cache is not valid until the next download.
    ASSERT_EQ(HalFwImageCacheStore(&g_FwRamCodeCache, "ram2.bin", image, 2), STATUS_SUCCESS);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV99"), zv99 + 1);
    EXPECT_EQ(HalFwImageCacheLookup(&g_FwRamCodeCache, "ram2.bin", &size), nullptr);

    ASSERT_EQ(HalFwImageCacheStore(&g_FwRomPatchCache, "patch.bin", image, 3), STATUS_SUCCESS);
    EXPECT_EQ(AsicArvel2xFreeFwImageCache(), STATUS_SUCCESS);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV99"), zv99);
    EXPECT_EQ(g_FwRamCodeCache.Buffer, nullptr);
    EXPECT_EQ(g_FwRomPatchCache.Size, 0u);
}

TEST_F(FwFileTest, CacheValidWithoutImageIsClearedAndBadStoresAreRefused)
{
    const UCHAR image[] = {1};
    ULONG size = 0;
    g_FwRomPatchCache.Valid = TRUE;
    EXPECT_EQ(HalFwImageCacheLookup(&g_FwRomPatchCache, "", &size), nullptr);
    EXPECT_FALSE(g_FwRomPatchCache.Valid);

    EXPECT_EQ(HalFwImageCacheStore(&g_FwRomPatchCache, "p.bin", image, 0), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(HalFwImageCacheStore(&g_FwRomPatchCache, std::string(49, 'n').c_str(), image, 1),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(HalFwImageCacheStore(&g_FwRomPatchCache, std::string(48, 'n').c_str(), image, 1), STATUS_SUCCESS);

    kshim::host::FaultArm("pool", "ZV99", 1, STATUS_INSUFFICIENT_RESOURCES, fwdl::kPoolAttempts);
    EXPECT_EQ(HalFwImageCacheStore(&g_FwRomPatchCache, "p.bin", image, 1), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(g_FwRomPatchCache.Buffer, nullptr);
    EXPECT_EQ(g_FwRomPatchCache.Size, 0u);
}

}  // namespace
