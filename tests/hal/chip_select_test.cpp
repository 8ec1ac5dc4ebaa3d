// Chip selection by PCI device id: the chip code each id runs, the descriptor each chip code
// builds, and which of the 69 operation slots each chip fills with which shared or own routine.
#include <gtest/gtest.h>

#include <string>

#include "hal/chips/qz3404.h"
#include "hal/chips/qz3501.h"
#include "hal/common/hal_chip.h"
#include "hal/common/hal_remap.h"
#include "hal_support.h"

namespace {

using haltest::MakeAdapter;
using haltest::Slots;

std::string Text(PCSTR s) { return s == nullptr ? "-" : s; }

// ---- ids to chip code ---------------------------------------------------------------------------------
struct IdCase {
    USHORT deviceId;
    USHORT chipCode;  // 0: no chip code
};

const IdCase kIds[] = {
    {0x3501, 0x3501}, {0x3504, 0x3501}, {0x0C01, 0x3501}, {0x3502, 0x3502}, {0x0C02, 0x3502},
    {0x3503, 0x3503}, {0x3601, 0x3601}, {0x0C03, 0x3601}, {0x3602, 0x3602}, {0x3603, 0x3602},
    {0x0C04, 0x3602}, {0x3404, 0x3404}, {0x3405, 0}, {0x1234, 0}, {0x0000, 0},
};

TEST(ChipSelect, EveryIdRunsItsChipCodeAndAliasIdsGetIdenticalCopies)
{
    for (const IdCase& c : kIds) {
        SCOPED_TRACE(testing::Message() << "device id 0x" << std::hex << c.deviceId);
        auto adapter = MakeAdapter(c.deviceId);
        HalRegisterChip(adapter.get());
        EXPECT_EQ(HalChipCodeOfDeviceId(c.deviceId), c.chipCode);
        EXPECT_EQ(adapter->HalInfo.ChipCode, c.chipCode);
        if (c.chipCode == 0) {
            CHIP_HAL_OPS zeroOps{};
            CHIP_HAL_INFO zeroInfo{};
            EXPECT_EQ(std::memcmp(&adapter->HalOps, &zeroOps, sizeof(zeroOps)), 0);
            EXPECT_EQ(std::memcmp(&adapter->HalInfo, &zeroInfo, sizeof(zeroInfo)), 0);
            EXPECT_EQ(HalQueryHwVersion(adapter.get()), STATUS_UNSUCCESSFUL);
            continue;
        }
        // The same copies as the id that names the chip code.
        auto reference = MakeAdapter(c.chipCode);
        HalRegisterChip(reference.get());
        EXPECT_EQ(std::memcmp(&adapter->HalOps, &reference->HalOps, sizeof(CHIP_HAL_OPS)), 0);
        EXPECT_EQ(std::memcmp(&adapter->HalInfo, &reference->HalInfo, sizeof(CHIP_HAL_INFO)), 0);
    }
}

TEST(ChipSelect, ThirdGenerationIdsAreTheFiveOfThe3601And3602Codes)
{
    for (const IdCase& c : kIds) {
        bool third = c.chipCode == 0x3601 || c.chipCode == 0x3602;
        EXPECT_EQ(HalIsThirdGeneration(c.deviceId) != 0, third) << std::hex << c.deviceId;
    }
}

// ---- descriptors ------------------------------------------------------------------------------------------
struct InfoCase {
    USHORT chip;
    const char* ram;
    const char* rom;
    const char* eeprom;
    const char* bt;
    const char* sku1;
    const char* sku1Ss1t;
    const char* sku2;
    const char* sku2Ss1t;
    UCHAR skuCmdVersion, ledGpio, ledAlt1, ledAlt2, maxBandwidth, genSwitch;
    ULONG l1ssCapReg;
    USHORT hwDelay;
    ULONG intMaskLow, intMask, capWord, capBits;
    UCHAR ringDownload, ringCommand, ringData1;
    ULONG factoryCalCount;
};

const InfoCase kInfos[] = {
    {0x3501, "WIFI_RAM_CODE_QZ3501_1.bin", "WIFI_QZ3501_patch_mcu_1_1_hdr.bin", "EEPROM_QZ3501_1.bin",
     "BT_RAM_CODE_QZ3501_1_1_hdr.bin", "qzlwl1.dat", nullptr, "qzlwl1_2.dat", nullptr, 8, 0, 0, 0, 2, 0,
     0x740303C4, 0x4F, 0, 0, 0x1F37, 0xF, 16, 17, 1, 0},
    {0x3502, "WIFI_RAM_CODE_QZ3502_1.bin", "WIFI_QZ3502_patch_mcu_1_1_hdr.bin", "EEPROM_QZ3502_1.bin", nullptr,
     "qzlwl2.dat", nullptr, "qzlwl2_2.dat", nullptr, 8, 0, 0, 0, 3, 1, 0x740303C4, 0x13, 0, 0, 0x1F37, 0xF, 16,
     17, 1, 0},
    {0x3503, "WIFI_RAM_CODE_QZ3503_1.bin", "WIFI_QZ3503_patch_mcu_1_1_hdr.bin", "EEPROM_QZ3503_1.bin", nullptr,
     "qzlwl3.dat", nullptr, "qzlwl3_2.dat", nullptr, 8, 0, 0, 0, 3, 1, 0x74030D04, 0x13, 0, 0, 0x1F37, 0xF, 16,
     15, 1, 0},
    {0x3601, "WIFI_RAM_CODE_QZ3601_1_1.bin", "WIFI_QZ3601_PATCH_MCU_1_1_hdr.bin", "EEPROM_QZ3601.bin", nullptr,
     "qzlwl3601.dat", "qzlwl3601_1ss1t.dat", "qzlwl3601_2.dat", "qzlwl3601_2_1ss1t.dat", 3, 9, 0, 0, 3, 1,
     0x74030D04, 0x33, 0xF, 0x260000F0, 0x2CBE, 0xF, 16, 15, 1, 6},
    {0x3602, "WIFI_RAM_CODE_QZ3602_2_1.bin", "WIFI_QZ3602_PATCH_MCU_2_1_hdr.bin", "EEPROM_QZ3602.bin", nullptr,
     "qzlwl3603.dat", nullptr, "qzlwl3603_2.dat", "qzlwl3603_2_1ss1t.dat", 3, 0, 53, 54, 5, 1, 0x74030D04,
     0x33, 0xF000, 0x260000F0, 0x2CBE, 0xF, 16, 15, 1, 0},
    {0x3404, "WIFI_RAM_CODE_QZ3404.bin", "qz3404_patch_e1_hdr.bin", nullptr, nullptr, nullptr, nullptr, nullptr,
     nullptr, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0x1F37, 0xF, 3, 15, 0, 0},
};

TEST(ChipSelect, EachChipCodeBuildsItsDescriptor)
{
    for (const InfoCase& c : kInfos) {
        SCOPED_TRACE(testing::Message() << "chip 0x" << std::hex << c.chip);
        auto adapter = MakeAdapter(c.chip);
        HalRegisterChip(adapter.get());
        const CHIP_HAL_INFO& i = adapter->HalInfo;
        EXPECT_EQ(Text(i.RamCodeFileName), Text(c.ram));
        EXPECT_EQ(Text(i.RomPatchFileName), Text(c.rom));
        EXPECT_EQ(Text(i.EepromFileName), Text(c.eeprom));
        EXPECT_EQ(Text(i.BtPatchFileName), Text(c.bt));
        EXPECT_EQ(Text(i.SkuFileName1), Text(c.sku1));
        EXPECT_EQ(Text(i.SkuFileName1Ss1t), Text(c.sku1Ss1t));
        EXPECT_EQ(Text(i.SkuFileName2), Text(c.sku2));
        EXPECT_EQ(Text(i.SkuFileName2Ss1t), Text(c.sku2Ss1t));
        EXPECT_EQ(i.SkuFileKind, 0);
        EXPECT_EQ(i.SkuCmdVersion, c.skuCmdVersion);
        EXPECT_EQ(i.LedGpio, c.ledGpio);
        EXPECT_EQ(i.LedGpioAlt1, c.ledAlt1);
        EXPECT_EQ(i.LedGpioAlt2, c.ledAlt2);
        EXPECT_EQ(i.CmdExtraLength, 0);
        EXPECT_EQ(i.MaxBandwidth, c.maxBandwidth);
        EXPECT_EQ(i.PcieGenSwitchCapable, c.genSwitch);
        EXPECT_EQ(i.L1ssCapReg, c.l1ssCapReg);
        EXPECT_EQ(i.RxHeaderPad, 2);
        EXPECT_EQ(i.HwDelayIntValue, c.hwDelay);
        EXPECT_EQ(i.IntStatusMaskLow, c.intMaskLow);
        EXPECT_EQ(i.IntStatusMask, c.intMask);
        EXPECT_EQ(i.CapWord, c.capWord);
        EXPECT_EQ(i.CapBits, c.capBits);
        EXPECT_EQ(i.KeyLayout, 2u);
        EXPECT_EQ(i.PhyCfgLayout, 2u);
        EXPECT_EQ(i.HifRingDownload, c.ringDownload);
        EXPECT_EQ(i.HifRingCommand, c.ringCommand);
        EXPECT_EQ(i.HifRingData0, 0);
        EXPECT_EQ(i.HifRingData1, c.ringData1);
        EXPECT_EQ(i.FactoryCalIdCount, c.factoryCalCount);
    }
}

TEST(ChipSelect, ThirdGenerationDescriptorsCarryTheirMovableWindows)
{
    auto a3601 = MakeAdapter(0x0C03);
    auto a3602 = MakeAdapter(0x3603);
    auto a3502 = MakeAdapter(0x3502);
    HalRegisterChip(a3601.get());
    HalRegisterChip(a3602.get());
    HalRegisterChip(a3502.get());
    EXPECT_EQ(a3601->HalInfo.BusRemapTable, g_Qz3601BusRemapWindows);
    EXPECT_EQ(a3602->HalInfo.BusRemapTable, g_Qz3602BusRemapWindows);
    EXPECT_EQ(a3502->HalInfo.BusRemapTable, nullptr);
    // L1 then L2; only the L1 select register differs between the two chips.
    EXPECT_EQ(a3601->HalInfo.BusRemapTable[BUS_REMAP_WINDOW_L1]->SelectRegister, 0x7C09500Cu);
    EXPECT_EQ(a3602->HalInfo.BusRemapTable[BUS_REMAP_WINDOW_L1]->SelectRegister, 0x7C02100Cu);
    EXPECT_EQ(a3602->HalInfo.BusRemapTable[BUS_REMAP_WINDOW_L2]->WindowBase, 0x7C500000u);
    const ULONG expected[] = {100, 101, 102, 200, 208, 216};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(a3601->HalInfo.FactoryCalIds[k], expected[k]);
        EXPECT_EQ(a3602->HalInfo.FactoryCalIds[k], 0u);
    }
}

struct FwBinCase {
    ULONG identity;
    ULONG romVersion;
    const char* ram;
    const char* rom;
    const char* bt;
};

TEST(ChipSelect, Qz3501ImagesFollowTheRevision)
{
    // Each case starts from the names chosen at selection (revision "1", ROM 0).
    const FwBinCase cases[] = {
        {0x00, 0, "WIFI_RAM_CODE_QZ3501_1.bin", "WIFI_QZ3501_patch_mcu_1_1_hdr.bin", "BT_RAM_CODE_QZ3501_1_1_hdr.bin"},
        {0x00, 1, "WIFI_RAM_CODE_QZ3501_1.bin", "WIFI_QZ3501_patch_mcu_1_2_hdr.bin", "BT_RAM_CODE_QZ3501_1_2_hdr.bin"},
        {0x80, 0, "WIFI_RAM_CODE_QZ3501_1a.bin", "WIFI_QZ3501_patch_mcu_1_1_hdr.bin", "BT_RAM_CODE_QZ3501_1_1_hdr.bin"},
        {0x80, 1, "WIFI_RAM_CODE_QZ3501_1a.bin", "WIFI_QZ3501_patch_mcu_1a_2_hdr.bin", "BT_RAM_CODE_QZ3501_1a_2_hdr.bin"},
        {0x7F, 2, "WIFI_RAM_CODE_QZ3501_1.bin", "WIFI_QZ3501_patch_mcu_1_1_hdr.bin", "BT_RAM_CODE_QZ3501_1_1_hdr.bin"},
        {0x80, 2, "WIFI_RAM_CODE_QZ3501_1a.bin", "WIFI_QZ3501_patch_mcu_1_1_hdr.bin", "BT_RAM_CODE_QZ3501_1_1_hdr.bin"},
    };
    for (const FwBinCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "identity " << c.identity << " ROM " << c.romVersion);
        auto adapter = MakeAdapter(0x3504);
        HalRegisterChip(adapter.get());
        QZ3501FwBinSelect(&adapter->HalInfo, c.identity, c.romVersion);
        EXPECT_EQ(Text(adapter->HalInfo.RamCodeFileName), c.ram);
        EXPECT_EQ(Text(adapter->HalInfo.RomPatchFileName), c.rom);
        EXPECT_EQ(Text(adapter->HalInfo.BtPatchFileName), c.bt);
    }
}

TEST(ChipSelect, Qz3404RomPatchByRomVersion)
{
    EXPECT_EQ(Text(QZ3404RomPatchFileName(0)), "qz3404_patch_e1_hdr.bin");
    EXPECT_EQ(Text(QZ3404RomPatchFileName(1)), "qz3404_patch_e2_hdr.bin");
    EXPECT_EQ(QZ3404RomPatchFileName(2), nullptr);
    EXPECT_EQ(QZ3404RomPatchFileName(0xFF), nullptr);
}

// ---- which routine fills which slot -------------------------------------------------------------------------
// Columns: chip codes 3501, 3502, 3503, 3601, 3602, 3404. '-' is an empty slot; equal letters in a row
// are one shared routine, different letters different routines.
constexpr USHORT kChipColumns[] = {0x3501, 0x3502, 0x3503, 0x3601, 0x3602, 0x3404};
constexpr const char* kSlotMatrix[CHIP_HAL_OPS_SLOTS] = {
    "abcdef", "aaabbc", "aa----", "------", "aaabbc", "aaabbc", "aaa--a", "aaa--a", "aaaaaa", "aaabbc",  // 0-9
    "aaabb-", "aaabb-", "-a----", "aaabbc", "aaabbc", "---ab-", "aaabcd", "aaaaa-", "---ab-", "----a-",  // 10-19
    "aaa---", "aabcd-", "aaabc-", "aaabc-", "aaabbc", "aaabbc", "---ab-", "---ab-", "aaabb-", "------",  // 20-29
    "aaabb-", "aabcd-", "abcde-", "aaabb-", "aaab-c", "aaabbc", "aaabbc", "aaabba", "aaabb-", "aaabbc",  // 30-39
    "aaa--b", "aaabbc", "aaabbc", "abcdef", "aaabbc", "aaabbc", "aaaaab", "aaaaab", "aaaaab", "aaabb-",  // 40-49
    "aaaaab", "aaabb-", "aaabb-", "aaa-a-", "aaabc-", "ab----", "aaabb-", "abc---", "-aa---", "-a----",  // 50-59
    "---aa-", "---ab-", "---ab-", "---aa-", "---aa-", "---a--", "---a--", "---a--", "---a--",            // 60-68
};

TEST(ChipSelect, SlotMatrixOfEveryChip)
{
    std::array<std::array<uintptr_t, CHIP_HAL_OPS_SLOTS>, 6> tables;
    for (size_t c = 0; c < 6; ++c) {
        auto adapter = MakeAdapter(kChipColumns[c]);
        HalRegisterChip(adapter.get());
        tables[c] = Slots(adapter->HalOps);
    }
    for (size_t slot = 0; slot < CHIP_HAL_OPS_SLOTS; ++slot) {
        const char* row = kSlotMatrix[slot];
        for (size_t c = 0; c < 6; ++c) {
            EXPECT_EQ(tables[c][slot] != 0, row[c] != '-')
                << "slot " << slot << " of chip " << std::hex << kChipColumns[c];
            for (size_t d = c + 1; d < 6; ++d) {
                if (row[c] == '-' || row[d] == '-') {
                    continue;
                }
                EXPECT_EQ(tables[c][slot] == tables[d][slot], row[c] == row[d])
                    << "slot " << slot << " of chips " << std::hex << kChipColumns[c] << " and " << kChipColumns[d];
            }
        }
    }
}

TEST(ChipSelect, SlotsThatAreTheirOwnAnswer)
{
    auto a3502 = MakeAdapter(0x3502);
    auto a3602 = MakeAdapter(0x3602);
    auto a3404 = MakeAdapter(0x3404);
    HalRegisterChip(a3502.get());
    HalRegisterChip(a3602.get());
    HalRegisterChip(a3404.get());
    // The second generation downloads again over running firmware, the third keeps it.
    EXPECT_EQ(a3502->HalOps.EraseFirmware(a3502.get()), STATUS_SUCCESS);
    EXPECT_EQ(a3602->HalOps.EraseFirmware(a3602.get()), STATUS_NOT_SUPPORTED);
    // Never called, but answers general failure where set.
    EXPECT_EQ(a3502->HalOps.ReservedOp6(a3502.get()), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(a3404->HalOps.ReservedOp6(a3404.get()), STATUS_UNSUCCESSFUL);
    // The management-command placeholder is always false, whatever the adapter's state.
    EXPECT_FALSE(a3502->HalOps.SendMlmeCmdPkt(a3502.get()));
    a3502->Flags = 0x10000000;
    EXPECT_FALSE(a3502->HalOps.SendMlmeCmdPkt(a3502.get()));
    // Legacy command prefix of the second generation and of the older chip.
    EXPECT_EQ(a3502->HalOps.CmdTxdLength(a3502.get()), 64u);
    EXPECT_EQ(a3404->HalOps.CmdTxdLength(a3404.get()), 64u);
}

}  // namespace
