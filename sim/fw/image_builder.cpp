// Builders of the firmware files the simulated firmware package ships.
#include "fw/image_builder.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "kshim/host/files.h"

namespace sim::fw {

namespace {

constexpr size_t kPatchHeaderSize = 96;
constexpr size_t kPatchSectionSize = 64;
constexpr size_t kRamTrailerSize = 36;
constexpr size_t kRamRegionSize = 40;
constexpr size_t k3404HeaderSize = 30;
constexpr size_t kContainerHeaderSize = 16;
constexpr size_t kContainerEntrySize = 76;
constexpr size_t kContainerNameSize = 48;
constexpr size_t kContainerInfoSize = 16;
constexpr size_t kContainerAlign = 16;

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t value, bool bigEndian)
{
    for (int i = 0; i < 4; ++i) {
        int shift = bigEndian ? 24 - 8 * i : 8 * i;
        out.at(at + i) = static_cast<uint8_t>(value >> shift);
    }
}

void Put16(std::vector<uint8_t>& out, size_t at, uint16_t value)
{
    out.at(at) = static_cast<uint8_t>(value);
    out.at(at + 1) = static_cast<uint8_t>(value >> 8);
}

// Text into a fixed field, cut or zero-padded.
void PutText(std::vector<uint8_t>& out, size_t at, size_t width, const std::string& text)
{
    for (size_t i = 0; i < width; ++i) {
        out.at(at + i) = i < text.size() ? static_cast<uint8_t>(text[i]) : 0;
    }
}

void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& more) { out.insert(out.end(), more.begin(), more.end()); }

}  // namespace

uint8_t PatternByte(uint32_t seed, uint32_t offset)
{
    uint32_t x = seed * 0x9E3779B1u ^ (offset * 0x85EBCA77u + 0x165667B1u);
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    x ^= x >> 12;
    x *= 0x297A2D39u;
    x ^= x >> 15;
    return static_cast<uint8_t>(x);
}

std::vector<uint8_t> Pattern(uint32_t seed, size_t length)
{
    std::vector<uint8_t> out(length);
    for (size_t i = 0; i < length; ++i) {
        out[i] = PatternByte(seed, static_cast<uint32_t>(i));
    }
    return out;
}

uint32_t SeedOf(const std::string& text, uint32_t index)
{
    uint32_t h = 0x811C9DC5u;
    for (unsigned char c : text) {
        h = (h ^ c) * 0x01000193u;
    }
    return (h ^ index) * 0x01000193u;
}

// ---- ROM patch ----------------------------------------------------------------------------------------

Image BuildRomPatch(const RomPatchSpec& spec, RomPatchFault fault)
{
    const bool be = !spec.bluetooth;
    const size_t count = spec.sections.size();
    Image image;
    std::vector<uint8_t>& out = image.bytes;
    out.assign(kPatchHeaderSize + count * kPatchSectionSize, 0);

    PutText(out, 0, 16, spec.buildDate);
    PutText(out, 16, 4, spec.platform);
    Put32(out, 20, spec.version, be);
    uint32_t version2 = spec.bluetooth ? 0xFFFFFFFFu : spec.version2;
    if (fault == RomPatchFault::BtWrongMark) {
        version2 = 0;
    }
    Put32(out, 24, version2, be);
    Put32(out, 32, 0x00000001u, be);
    Put32(out, 36, 0x00000002u, be);
    Put32(out, 44, fault == RomPatchFault::TooManySections ? 1025u : static_cast<uint32_t>(count), be);

    for (size_t i = 0; i < count; ++i) {
        const PatchSection& s = spec.sections[i];
        uint32_t kind = fault == RomPatchFault::BtNoDownloadSection ? 1u : s.targetKind;
        Piece piece;
        piece.address = s.address;
        piece.fileOffset = static_cast<uint32_t>(out.size());
        piece.length = s.length;
        piece.modeSource = s.info;
        piece.targetKind = kind;
        piece.downloaded = (s.type & 0xFFFF) == 2 && (!spec.bluetooth || kind == 2);
        size_t at = kPatchHeaderSize + i * kPatchSectionSize;
        Put32(out, at + 0, s.type, be);
        Put32(out, at + 4, piece.fileOffset, be);
        Put32(out, at + 8, static_cast<uint32_t>(i), be);
        Put32(out, at + 12, s.address, be);
        Put32(out, at + 16, s.length, be);
        Put32(out, at + 20, s.info, be);
        Put32(out, at + 28, spec.bluetooth ? kind : 0, be);
        Append(out, Pattern(s.seed, s.length));
        image.pieces.push_back(piece);
    }

    auto firstDownloaded = std::find_if(image.pieces.begin(), image.pieces.end(), [](const Piece& p) { return p.downloaded; });
    auto lastDownloaded = std::find_if(image.pieces.rbegin(), image.pieces.rend(), [](const Piece& p) { return p.downloaded; });
    switch (fault) {
    case RomPatchFault::TruncatedHeader:
        out.resize(kPatchHeaderSize / 2);
        break;
    case RomPatchFault::TruncatedSectionTable:
        if (count == 0) {
            throw std::invalid_argument("a truncated section table needs a section");
        }
        out.resize(kPatchHeaderSize + count * kPatchSectionSize - 8);
        break;
    case RomPatchFault::SectionDataPastEnd:
        if (lastDownloaded == image.pieces.rend()) {
            throw std::invalid_argument("no downloaded section");
        }
        Put32(out, kPatchHeaderSize + (image.pieces.rend() - lastDownloaded - 1) * kPatchSectionSize + 16,
              static_cast<uint32_t>(out.size() - lastDownloaded->fileOffset + 1), be);
        break;
    case RomPatchFault::SectionDataInHeader:
        if (firstDownloaded == image.pieces.end()) {
            throw std::invalid_argument("no downloaded section");
        }
        Put32(out, kPatchHeaderSize + (firstDownloaded - image.pieces.begin()) * kPatchSectionSize + 4, 0, be);
        break;
    default:
        break;
    }
    return image;
}

// ---- RAM code ---------------------------------------------------------------------------------------------

Image BuildRamCode(const RamCodeSpec& spec, RamCodeFault fault)
{
    if (spec.regions.size() > 255) {
        throw std::invalid_argument("at most 255 regions");
    }
    Image image;
    std::vector<uint8_t>& out = image.bytes;
    for (const RamRegion& r : spec.regions) {
        Piece piece;
        piece.address = r.address;
        piece.fileOffset = static_cast<uint32_t>(out.size());
        piece.length = r.length;
        piece.modeSource = r.flags;
        piece.downloaded = (r.flags & 0x80) == 0;
        if (r.flags & 0x20) {
            image.entryAddress = r.entryAddress;
        }
        Append(out, Pattern(r.seed, r.length));
        image.pieces.push_back(piece);
    }
    if (!spec.identificationText.empty()) {
        if (out.size() < kIdentTextOffset + kIdentTextBytes) {
            throw std::invalid_argument("region data too short for the identification text");
        }
        std::string text = spec.identificationText;
        text.resize(kIdentTextBytes, ' ');
        std::copy(text.begin(), text.end(), out.begin() + kIdentTextOffset);
    }

    const size_t tableAt = out.size();
    out.resize(tableAt + spec.regions.size() * kRamRegionSize + kRamTrailerSize, 0);
    for (size_t i = 0; i < spec.regions.size(); ++i) {
        const RamRegion& r = spec.regions[i];
        size_t at = tableAt + i * kRamRegionSize;
        uint32_t length = r.length;
        if (fault == RamCodeFault::RegionDataPastTable && i == 0) {
            length += 1;
        }
        if (fault == RamCodeFault::RegionDataShort && i + 1 == spec.regions.size()) {
            if (length == 0) {
                throw std::invalid_argument("the last region is empty");
            }
            length -= 1;
        }
        Put32(out, at + 0, r.address, false);
        Put32(out, at + 4, length, false);
        Put32(out, at + 8, static_cast<uint32_t>(i), false);
        Put32(out, at + 16, r.entryAddress, false);
        Put32(out, at + 20, 0, false);
        out.at(at + 24) = r.flags;
    }
    size_t trailer = out.size() - kRamTrailerSize;
    out.at(trailer + 0) = spec.identification;
    out.at(trailer + 1) = spec.revision;
    out.at(trailer + 2) = fault == RamCodeFault::TooManyRegions ? 11 : static_cast<uint8_t>(spec.regions.size());
    PutText(out, trailer + 7, 10, spec.version);
    PutText(out, trailer + 17, 15, spec.buildDate);

    switch (fault) {
    case RamCodeFault::TruncatedTrailer:
        out.erase(out.begin(), out.end() - (kRamTrailerSize - 1));
        break;
    case RamCodeFault::TablePastStart: {
        if (spec.regions.empty()) {
            throw std::invalid_argument("a region table needs a region");
        }
        size_t keep = kRamTrailerSize + spec.regions.size() * kRamRegionSize - 1;
        out.erase(out.begin(), out.end() - keep);
        break;
    }
    default:
        break;
    }
    return image;
}

// ---- 3404 ROM patch ------------------------------------------------------------------------------------

Image Build3404RomPatch(const Qz3404PatchSpec& spec)
{
    Image image;
    image.bytes.assign(k3404HeaderSize, 0);
    PutText(image.bytes, 0, 16, spec.buildDate);
    PutText(image.bytes, 16, 4, spec.platform);
    Put32(image.bytes, 20, spec.word20, false);
    Put32(image.bytes, 24, spec.word24, false);
    Append(image.bytes, Pattern(spec.seed, spec.bodyLength));
    Piece piece;
    piece.address = k3404PatchAddress;
    piece.fileOffset = k3404HeaderSize;
    piece.length = spec.bodyLength;
    image.pieces.push_back(piece);
    return image;
}

// ---- EEPROM image ------------------------------------------------------------------------------------------

Image BuildEeprom(uint32_t length, uint32_t seed)
{
    Image image;
    image.bytes = Pattern(seed, length);
    return image;
}

// ---- container ----------------------------------------------------------------------------------------------

std::vector<uint8_t> BuildContainer(const std::vector<ContainerEntry>& entries, ContainerFault fault)
{
    if (entries.empty() || entries.size() > 65536) {
        throw std::invalid_argument("a container holds 1 to 65536 entries");
    }
    if (fault == ContainerFault::ImagesOverlap &&
        (entries.size() < 2 || entries[0].bytes.empty() || entries[1].bytes.empty())) {
        throw std::invalid_argument("an overlap needs two non-empty images");
    }
    const size_t count = entries.size();
    const size_t directoryEnd = kContainerHeaderSize + count * kContainerEntrySize;
    std::vector<uint8_t> out(directoryEnd, 0);
    const char* magic = fault == ContainerFault::WrongMagic ? "QZL_" : "QZL-";
    std::copy(magic, magic + 4, out.begin());
    Put16(out, 4, static_cast<uint16_t>(count - 1));

    std::vector<uint32_t> offsets(count);
    for (size_t i = 0; i < count; ++i) {
        const ContainerEntry& e = entries[i];
        if (e.name.size() > kContainerNameSize || e.info.size() > kContainerInfoSize) {
            throw std::invalid_argument("entry name or information too long: " + e.name);
        }
        if (!e.bytes.empty()) {
            out.resize((out.size() + kContainerAlign - 1) / kContainerAlign * kContainerAlign, 0);
        }
        offsets[i] = static_cast<uint32_t>(out.size());
        Append(out, e.bytes);
    }
    for (size_t i = 0; i < count; ++i) {
        const ContainerEntry& e = entries[i];
        size_t at = kContainerHeaderSize + i * kContainerEntrySize;
        uint32_t offset = offsets[i];
        uint32_t size = static_cast<uint32_t>(e.bytes.size());
        if (fault == ContainerFault::ImagePastEnd && i + 1 == count) {
            size = static_cast<uint32_t>(out.size() - offset + 1);
        }
        if (fault == ContainerFault::ImageRangeWraps && i == 0) {
            offset = 0xFFFFFFF0u;
            size = 0x20;
        }
        if (fault == ContainerFault::ImagesOverlap && i == 1) {
            offset = offsets[0];
        }
        if (fault == ContainerFault::ImageOverlapsDirectory && i == 0) {
            offset = static_cast<uint32_t>(kContainerHeaderSize);
            size = std::max<uint32_t>(size, 1);
        }
        PutText(out, at, kContainerNameSize, e.name);
        PutText(out, at + 48, kContainerInfoSize, e.info);
        Put32(out, at + 64, offset, false);
        Put32(out, at + 68, size, false);
    }
    switch (fault) {
    case ContainerFault::TruncatedHeader:
        out.resize(kContainerHeaderSize - 6);
        break;
    case ContainerFault::TruncatedDirectory:
        out.resize(directoryEnd - 1);
        break;
    default:
        break;
    }
    return out;
}

// ---- the firmware package of each chip ----------------------------------------------------------------

namespace {

// Region layout of the second- and third-generation RAM code: the identification text lies in
// region 1; region 2 is not downloaded; region 3 sends 2048 + 2048 + 904 bytes.
Image GenRamCode(const std::string& name, const std::string& chip)
{
    RamCodeSpec spec;
    spec.version = "1.0.0.0001";
    spec.identificationText = chip + " WLAN RAM code 1.0.0.0001 20240517093000";
    spec.regions = {
        {0x00900000, 0x80000, 0x01, 0, SeedOf(name, 0)},
        {0x02000000, 0x20000, 0x21, 0x02000100, SeedOf(name, 1)},
        {0x00E00000, 0x1000, 0x80, 0, SeedOf(name, 2)},
        {0x00E10000, 5000, 0x17, 0, SeedOf(name, 3)},
    };
    return BuildRamCode(spec);
}

Image GenRomPatch(const std::string& name, const std::string& platform)
{
    RomPatchSpec spec;
    spec.platform = platform;
    spec.sections = {
        {0x00010002, 0x000E0000, 0x2000, 0x01000002, 0, SeedOf(name, 0)},
        {0x00000003, 0x00000000, 0x100, 0, 0, SeedOf(name, 1)},
        {0x00000002, 0x000E4000, 0x1800, 0x01000002, 0, SeedOf(name, 2)},
    };
    return BuildRomPatch(spec);
}

Image BtPatch(const std::string& name)
{
    RomPatchSpec spec;
    spec.bluetooth = true;
    spec.platform = "BT35";
    spec.sections = {
        {0x00000002, 0x00C00000, 0x400, 0, 1, SeedOf(name, 0)},
        {0x00000002, 0x00900000, 0x3000, 0x02000000, 2, SeedOf(name, 1)},
    };
    return BuildRomPatch(spec);
}

Image Qz3404RamCode(const std::string& name)
{
    RamCodeSpec spec;
    spec.regions = {
        {0x00080000, 0x3000, 0x00, 0, SeedOf(name, 0)},
        {0x000C0000, 5000, 0x31, 0x000C0000, SeedOf(name, 1)},
    };
    return BuildRamCode(spec);
}

Image Qz3404Patch(const std::string& name)
{
    Qz3404PatchSpec spec;
    spec.bodyLength = 0x4000;
    spec.seed = SeedOf(name, 0);
    return Build3404RomPatch(spec);
}

constexpr uint32_t kEepromSize = 3584;
constexpr uint32_t k3404EepromSize = 1536;

}  // namespace

std::vector<NamedImage> StandardImages(uint32_t chipCode)
{
    std::vector<NamedImage> images;
    auto add = [&images](const std::string& name, Image image, bool inContainer) {
        images.push_back({name, std::move(image), inContainer});
    };
    auto eeprom = [](const std::string& name, uint32_t size) { return BuildEeprom(size, SeedOf(name, 0)); };
    switch (chipCode) {
    case 0x3501:
        for (const char* n : {"WIFI_RAM_CODE_QZ3501_1.bin", "WIFI_RAM_CODE_QZ3501_1a.bin"}) {
            add(n, GenRamCode(n, "QZ3501"), true);
        }
        for (const char* n : {"WIFI_QZ3501_patch_mcu_1_1_hdr.bin", "WIFI_QZ3501_patch_mcu_1_2_hdr.bin",
                              "WIFI_QZ3501_patch_mcu_1a_2_hdr.bin"}) {
            add(n, GenRomPatch(n, "3501"), true);
        }
        for (const char* n : {"BT_RAM_CODE_QZ3501_1_1_hdr.bin", "BT_RAM_CODE_QZ3501_1_2_hdr.bin",
                              "BT_RAM_CODE_QZ3501_1a_2_hdr.bin"}) {
            add(n, BtPatch(n), false);
        }
        add("EEPROM_QZ3501_1.bin", eeprom("EEPROM_QZ3501_1.bin", kEepromSize), false);
        break;
    case 0x3502:
    case 0x3503: {
        std::string chip = chipCode == 0x3502 ? "QZ3502" : "QZ3503";
        add("WIFI_RAM_CODE_" + chip + "_1.bin", GenRamCode("WIFI_RAM_CODE_" + chip + "_1.bin", chip), true);
        add("WIFI_" + chip + "_patch_mcu_1_1_hdr.bin",
            GenRomPatch("WIFI_" + chip + "_patch_mcu_1_1_hdr.bin", chip.substr(2)), true);
        add("EEPROM_" + chip + "_1.bin", eeprom("EEPROM_" + chip + "_1.bin", kEepromSize), false);
        break;
    }
    case 0x3601:
        add("WIFI_RAM_CODE_QZ3601_1_1.bin", GenRamCode("WIFI_RAM_CODE_QZ3601_1_1.bin", "QZ3601"), true);
        add("WIFI_QZ3601_PATCH_MCU_1_1_hdr.bin", GenRomPatch("WIFI_QZ3601_PATCH_MCU_1_1_hdr.bin", "3601"), true);
        add("EEPROM_QZ3601.bin", eeprom("EEPROM_QZ3601.bin", kEepromSize), false);
        break;
    case 0x3602:
        add("WIFI_RAM_CODE_QZ3602_2_1.bin", GenRamCode("WIFI_RAM_CODE_QZ3602_2_1.bin", "QZ3602"), true);
        add("WIFI_QZ3602_PATCH_MCU_2_1_hdr.bin", GenRomPatch("WIFI_QZ3602_PATCH_MCU_2_1_hdr.bin", "3602"), true);
        add("EEPROM_QZ3602.bin", eeprom("EEPROM_QZ3602.bin", kEepromSize), false);
        break;
    case 0x3404:
        add("WIFI_RAM_CODE_QZ3404.bin", Qz3404RamCode("WIFI_RAM_CODE_QZ3404.bin"), false);
        for (const char* n : {"qz3404_patch_e1_hdr.bin", "qz3404_patch_e2_hdr.bin"}) {
            add(n, Qz3404Patch(n), false);
        }
        add("EEPROM_QZ3402.bin", eeprom("EEPROM_QZ3402.bin", k3404EepromSize), false);
        break;
    default:
        throw std::invalid_argument("unknown chip code");
    }
    return images;
}

std::vector<uint8_t> StandardContainer(uint32_t chipCode, const std::string& info)
{
    std::vector<ContainerEntry> entries;
    for (NamedImage& n : StandardImages(chipCode)) {
        if (n.inContainer) {
            entries.push_back({n.name, info, std::move(n.image.bytes)});
        }
    }
    if (entries.empty()) {
        throw std::invalid_argument("this chip's images are files only");
    }
    return BuildContainer(entries);
}

bool WritePackage(const std::vector<NamedImage>& images, const std::string& info)
{
    std::vector<ContainerEntry> entries;
    for (const NamedImage& n : images) {
        if (n.inContainer) {
            entries.push_back({n.name, info, n.image.bytes});
        } else if (!kshim::host::FilesWrite(kPackageFolder + n.name, n.image.bytes)) {
            return false;
        }
    }
    return entries.empty() || kshim::host::FilesWrite(kWifiContainerName, BuildContainer(entries));
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace sim::fw
