// Firmware files as the firmware package ships them: the combined container ("QZL-" header,
// directory of 76-byte entries, image data), the ROM patch (second and third generation:
// big-endian), the Bluetooth ROM patch (little-endian), the RAM code (region data, region table,
// trailer), the 3404 ROM patch (30-byte header and body) and the EEPROM image (buffer-bin). The
// layouts are those of docs/firmware-files.md.
//
// Every piece of data is a deterministic byte pattern (PatternByte) so that the simulated firmware
// can check what it receives; each built image also lists its pieces (target address, place in the
// file, length, the flags that choose the data mode) in the order the download sends them. Each
// builder can also produce the malformed variants that the driver must refuse.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim::fw {

// Byte `offset` of the pattern with this seed.
uint8_t PatternByte(uint32_t seed, uint32_t offset);
std::vector<uint8_t> Pattern(uint32_t seed, size_t length);
// A seed derived from a text (image name) and an index (section or region).
uint32_t SeedOf(const std::string& text, uint32_t index);

// One section or region of an image.
struct Piece {
    uint32_t address = 0;     // target address in chip memory
    uint32_t fileOffset = 0;  // where its data starts in the image
    uint32_t length = 0;
    uint32_t modeSource = 0;  // ROM patch: the section information word; RAM code: the region flags
    uint32_t targetKind = 0;  // Bluetooth patch: the section's target kind
    bool downloaded = true;   // false: the loader skips it (type, target kind or region flag bit 7)
};

struct Image {
    std::vector<uint8_t> bytes;
    std::vector<Piece> pieces;  // in table order
    uint32_t entryAddress = 0;  // RAM code: entry address of the last region with flag bit 5
};

// ---- ROM patch (second and third generation) and Bluetooth ROM patch ---------------------------------

struct PatchSection {
    uint32_t type = 2;        // low 16 bits 2: downloaded
    uint32_t address = 0;
    uint32_t length = 0;
    uint32_t info = 0;        // section information word
    uint32_t targetKind = 2;  // Bluetooth patch: downloaded when 2
    uint32_t seed = 0;
};

struct RomPatchSpec {
    bool bluetooth = false;   // little-endian, header word 24 = 0xFFFFFFFF
    std::string buildDate = "20240517093000";
    std::string platform = "ARVL";
    uint32_t version = 0x00010001;
    uint32_t version2 = 0;    // a Bluetooth patch always gets 0xFFFFFFFF (unless malformed)
    std::vector<PatchSection> sections;
};

enum class RomPatchFault {
    None,
    TruncatedHeader,        // the file ends inside the 96-byte header
    TruncatedSectionTable,  // the file ends inside the section table
    SectionDataPastEnd,     // the last downloaded section's data runs past the end of the file
    SectionDataInHeader,    // the first downloaded section's data starts inside the header
    TooManySections,        // the header announces 1025 sections
    BtWrongMark,            // Bluetooth patch: header word 24 is not 0xFFFFFFFF
    BtNoDownloadSection,    // Bluetooth patch: no section has target kind 2
};

// Header, section table, then the data of every section back to back in table order.
Image BuildRomPatch(const RomPatchSpec& spec, RomPatchFault fault = RomPatchFault::None);

// ---- RAM code -------------------------------------------------------------------------------------------

struct RamRegion {
    uint32_t address = 0;
    uint32_t length = 0;
    uint8_t flags = 0;        // bit 0, 1-2, 4: data mode; bit 5: entry; bit 7: not downloaded
    uint32_t entryAddress = 0;
    uint32_t seed = 0;
};

// Offset and length of the identification text of the second- and third-generation RAM code.
constexpr uint32_t kIdentTextOffset = 0x98698;
constexpr uint32_t kIdentTextBytes = 81;

struct RamCodeSpec {
    uint8_t identification = 0x5A;
    uint8_t revision = 0;
    std::string version = "1.0.0.0001";
    std::string buildDate = "20240517093000";
    std::vector<RamRegion> regions;
    // Written over the region data at kIdentTextOffset (padded with blanks to 81 bytes) when not
    // empty; the region data must then reach past it.
    std::string identificationText;
};

enum class RamCodeFault {
    None,
    TruncatedTrailer,      // the file is shorter than the trailer
    TooManyRegions,        // the trailer names 11 regions
    TablePastStart,        // trailer and region table are longer than the file
    RegionDataPastTable,   // region 0 claims one byte more than it has
    RegionDataShort,       // the last region claims one byte less than it has
};

// Region data back to back in table order, then the region table, then the 36-byte trailer.
Image BuildRamCode(const RamCodeSpec& spec, RamCodeFault fault = RamCodeFault::None);

// ---- 3404 ROM patch ---------------------------------------------------------------------------------------

constexpr uint32_t k3404PatchAddress = 0xDC000;

struct Qz3404PatchSpec {
    std::string buildDate = "20240517093000";
    std::string platform = "3404";
    uint32_t word20 = 0;
    uint32_t word24 = 0;
    uint32_t bodyLength = 0;  // 0 gives a file of the bare header, which the driver refuses
    uint32_t seed = 0;
};

Image Build3404RomPatch(const Qz3404PatchSpec& spec);

// ---- EEPROM image (buffer-bin) -----------------------------------------------------------------------------

// Raw bytes, sent to the firmware as they are (at most 3584 bytes on the second and third
// generation, 1536 on 3404; longer files are refused by the driver).
Image BuildEeprom(uint32_t length, uint32_t seed);

// ---- container --------------------------------------------------------------------------------------------

struct ContainerEntry {
    std::string name;         // at most 48 characters
    std::string info;         // the time stamp, decimal digits, at most 16 characters
    std::vector<uint8_t> bytes;
};

enum class ContainerFault {
    None,
    WrongMagic,              // "QZL_" instead of "QZL-"
    TruncatedHeader,         // the file ends inside the 16-byte header
    TruncatedDirectory,      // the file ends inside the directory
    ImagePastEnd,            // the last image claims one byte more than the file holds
    ImageRangeWraps,         // entry 0: offset 0xFFFFFFF0, size 0x20 (wraps in 32 bits)
    ImagesOverlap,           // entry 1 starts inside entry 0's image (needs two entries)
    ImageOverlapsDirectory,  // entry 0's image starts inside the directory
};

// Header, directory, then the images in entry order, each at a 16-byte aligned offset; the last
// image ends the file.
std::vector<uint8_t> BuildContainer(const std::vector<ContainerEntry>& entries,
                                    ContainerFault fault = ContainerFault::None);

// ---- the firmware package of each chip ------------------------------------------------------------------

struct NamedImage {
    std::string name;
    Image image;
    bool inContainer = true;  // RAM code and ROM patch; Bluetooth patch and EEPROM image are files
};

// Every image of a chip (chip code 0x3501, 0x3502, 0x3503, 0x3601, 0x3602 or 0x3404), under the
// names the driver looks for; 3501 has its revision variants. 3404 images are files only.
std::vector<NamedImage> StandardImages(uint32_t chipCode);
// The Wi-Fi container of a chip: every image of StandardImages that belongs in a container, each
// with the time stamp `info`.
std::vector<uint8_t> StandardContainer(uint32_t chipCode, const std::string& info = "20240517093000");

// Writes bytes to a file (created or replaced); false on failure.
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Where the package lies in the platform's file system (the stand-in's file root): the folder of
// the driver, the Wi-Fi container in it.
constexpr const char* kPackageFolder = "\\SystemRoot\\System32\\drivers\\";
constexpr const char* kWifiContainerName = "\\SystemRoot\\System32\\drivers\\qzlwlan.dat";
// Writes a package into the stand-in's file root: every image that belongs in a container into the
// Wi-Fi container (each with the time stamp `info`), every other image as a file of its own name
// beside it. False when a file could not be written.
bool WritePackage(const std::vector<NamedImage>& images, const std::string& info = "20240517093000");

}  // namespace sim::fw
