// The firmware package builder of the simulator: deterministic content and files on disk.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "fw/image_builder.h"

namespace {

TEST(FwBuilder, SameSpecGivesSameBytesAndPiecesDiffer)
{
    EXPECT_EQ(sim::fw::StandardImages(0x3602)[0].image.bytes, sim::fw::StandardImages(0x3602)[0].image.bytes);
    EXPECT_EQ(sim::fw::StandardContainer(0x3502), sim::fw::StandardContainer(0x3502));
    EXPECT_NE(sim::fw::Pattern(1, 64), sim::fw::Pattern(2, 64));
    EXPECT_NE(sim::fw::SeedOf("a.bin", 0), sim::fw::SeedOf("a.bin", 1));
    // Regions of one RAM code carry different content.
    std::vector<sim::fw::NamedImage> images = sim::fw::StandardImages(0x3601);
    const sim::fw::Image& ram = images[0].image;
    ASSERT_GE(ram.pieces.size(), 2u);
    EXPECT_FALSE(std::equal(ram.bytes.begin(), ram.bytes.begin() + 64, ram.bytes.begin() + ram.pieces[1].fileOffset));
}

TEST(FwBuilder, WritesFiles)
{
    std::string path = ::testing::TempDir() + "fwdl_builder_" + std::to_string(::getpid()) + ".dat";
    std::vector<uint8_t> bytes = sim::fw::StandardContainer(0x3602);
    ASSERT_TRUE(sim::fw::WriteFile(path, bytes));
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(back, bytes);
    std::remove(path.c_str());
    EXPECT_FALSE(sim::fw::WriteFile("/nonexistent-dir/x.dat", bytes));
}

TEST(FwBuilder, EepromImagesHaveTheirSizes)
{
    for (auto [chip, name, size] : {std::tuple{0x3502u, "EEPROM_QZ3502_1.bin", 3584u},
                                    std::tuple{0x3404u, "EEPROM_QZ3402.bin", 1536u}}) {
        bool found = false;
        for (const auto& n : sim::fw::StandardImages(chip)) {
            if (n.name == name) {
                found = true;
                EXPECT_EQ(n.image.bytes.size(), size);
                EXPECT_FALSE(n.inContainer);
            }
        }
        EXPECT_TRUE(found) << name;
    }
}

}  // namespace
