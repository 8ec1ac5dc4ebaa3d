// Before the first image goes to the chip: each chip's descriptor refresh, driver own, and the
// wait for the boot ROM; the older chip's sequence reset and DMA restart.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "download_fixture.h"
#include "hal/chips/qz3501.h"
#include "hal/chips/qz3503.h"

namespace {

using fwdl::DownloadTest;

class PreDownload : public DownloadTest, public ::testing::WithParamInterface<USHORT> {};

// With "RomVer" 0 the chip's own descriptor replaces the adapter's copy; with "RomVer" set the
// copy, and the image names chosen at selection, stay.
TEST_P(PreDownload, DescriptorIsRefreshedOnlyWithoutRomVer)
{
    SetUpChip(GetParam());
    MP_ADAPTER* a = adapter_.get();
    const CHIP_HAL_INFO chosen = a->HalInfo;
    static const char kOther[] = "WIFI_RAM_CODE_OTHER.bin";

    a->RegistryBlock.RomVer = 1;
    a->HalInfo.RamCodeFileName = kOther;
    a->HalInfo.MaxBandwidth = 7;
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    EXPECT_EQ(a->HalInfo.RamCodeFileName, kOther);
    EXPECT_EQ(a->HalInfo.MaxBandwidth, 7);

    a->RegistryBlock.RomVer = 0;
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    EXPECT_STREQ(a->HalInfo.RamCodeFileName, chosen.RamCodeFileName);
    EXPECT_EQ(a->HalInfo.MaxBandwidth, chosen.MaxBandwidth);
    EXPECT_EQ(std::memcmp(&a->HalInfo, &chosen, sizeof(chosen)), 0);
}

// The interrupt path reads the descriptor (chip code, ring numbers, delayed-interrupt value) while the
// bring-up refreshes it: a reader never finds it cleared or changed.
TEST_P(PreDownload, RefreshNeverShowsAReaderAClearedDescriptor)
{
    SetUpChip(GetParam());
    MP_ADAPTER* a = adapter_.get();
    const CHIP_HAL_INFO chosen = a->HalInfo;
    std::atomic<bool> done{false};
    std::atomic<unsigned> reads{0};
    std::atomic<unsigned> wrong{0};
    std::thread reader([&] {
        while (!done.load()) {
            if (__atomic_load_n(&a->HalInfo.ChipCode, __ATOMIC_RELAXED) != chosen.ChipCode ||
                __atomic_load_n(&a->HalInfo.HifRingCommand, __ATOMIC_RELAXED) != chosen.HifRingCommand ||
                __atomic_load_n(&a->HalInfo.HwDelayIntValue, __ATOMIC_RELAXED) != chosen.HwDelayIntValue) {
                ++wrong;
            }
            ++reads;
        }
    });
    while (reads.load() == 0) {
        std::this_thread::yield();
    }
    for (int i = 0; i < 100; ++i) {
        if (a->HalOps.PreFirmwareDownloadInit(a) != STATUS_SUCCESS) {
            ADD_FAILURE() << "refresh " << i;
            break;
        }
    }
    done = true;
    reader.join();
    EXPECT_EQ(wrong.load(), 0u);
    EXPECT_EQ(std::memcmp(&a->HalInfo, &chosen, sizeof(chosen)), 0);
}

// A chip whose firmware already runs is not waited for: one read, then driver own.
TEST_P(PreDownload, RunningFirmwareSkipsTheRomWait)
{
    SetUpChip(GetParam());
    MP_ADAPTER* a = adapter_.get();
    chip_->SetReadHook(ARVEL_FW_STATE_REGISTER, [](sim::chip::RegisterFile&, uint32_t) { return 3u; });
    chip_->ClearTranscript();
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    EXPECT_EQ(chip_->AccessesTo(ARVEL_FW_STATE_REGISTER).size(), 1u);
    EXPECT_FALSE(chip_->AccessesTo(ARVEL_LOW_POWER_CONTROL).empty()) << "driver own is made sure of";
}

// A ROM that never comes up: driver own, then 501 reads 1 ms apart (6 on 3503), then failure.
TEST_P(PreDownload, RomThatNeverComesUpFailsAfterItsReads)
{
    SetUpChip(GetParam());
    MP_ADAPTER* a = adapter_.get();
    DlRom().Knobs().romNeverReady = true;
    int64_t ms = 0;
    EXPECT_EQ(Polled([a] { return a->HalOps.PreFirmwareDownloadInit(a); }, &ms), STATUS_UNSUCCESSFUL);
    const uint64_t reads = a->HalInfo.ChipCode == 0x3503 ? 6u : 501u;
    EXPECT_EQ(DlRom().StateReads(), 1 + reads);
    EXPECT_GE(ms, static_cast<int64_t>(reads));
}

INSTANTIATE_TEST_SUITE_P(Chips, PreDownload,
                         ::testing::Values(USHORT(0x3501), USHORT(0x3502), USHORT(0x3503), USHORT(0x3601),
                                           USHORT(0x3602)),
                         fwcmdtest::DeviceTestName);

struct RomReadyCase {
    USHORT device;
    uint32_t zeroReads;  // reads of the state register that find the ROM not running yet
    NTSTATUS status;
};

class RomReady : public DownloadTest, public ::testing::WithParamInterface<RomReadyCase> {};

// The polls are 1 ms apart. A ROM first seen ready by the poll 10 ms after the first one (the
// state check and ten polls read 0) fails on 3503, whose six polls span 5 ms, and is waited for on
// every other chip.
TEST_P(RomReady, SlowRomFailsOnlyWhereThePollsAreFew)
{
    const RomReadyCase& c = GetParam();
    SetUpChip(c.device);
    MP_ADAPTER* a = adapter_.get();
    DlRom().Knobs().romReadyAfterReads = c.zeroReads;
    int64_t ms = 0;
    EXPECT_EQ(Polled([a] { return a->HalOps.PreFirmwareDownloadInit(a); }, &ms), c.status);
    if (c.status == STATUS_SUCCESS) {
        EXPECT_EQ(DlRom().StateReads(), c.zeroReads + 1u);
        EXPECT_GE(ms, static_cast<int64_t>(c.zeroReads) - 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Chips, RomReady,
                         ::testing::Values(RomReadyCase{0x3503, 11, STATUS_UNSUCCESSFUL},
                                           RomReadyCase{0x3503, 5, STATUS_SUCCESS},
                                           RomReadyCase{0x3502, 11, STATUS_SUCCESS},
                                           RomReadyCase{0x3602, 11, STATUS_SUCCESS},
                                           RomReadyCase{0x3601, 1, STATUS_SUCCESS}),
                         [](const auto& info) {
                             return fwcmdtest::DeviceName(info.param.device) + "_after" +
                                    std::to_string(info.param.zeroReads);
                         });

// 3501 chooses its image names again from the versions the chip reported.
TEST_F(DownloadTest, Chip3501ChoosesImagesByRevision)
{
    SetUpChip(0x3501);
    MP_ADAPTER* a = adapter_.get();
    a->HwIdentity = 0x80;  // identity bit 7
    a->RomVersion = 1;
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    EXPECT_STREQ(a->HalInfo.RamCodeFileName, "WIFI_RAM_CODE_QZ3501_1a.bin");
    EXPECT_STREQ(a->HalInfo.RomPatchFileName, "WIFI_QZ3501_patch_mcu_1a_2_hdr.bin");
    EXPECT_STREQ(a->HalInfo.BtPatchFileName, "BT_RAM_CODE_QZ3501_1a_2_hdr.bin");

    a->HwIdentity = 0;
    a->RomVersion = 1;
    ASSERT_EQ(a->HalOps.PreFirmwareDownloadInit(a), STATUS_SUCCESS);
    EXPECT_STREQ(a->HalInfo.RamCodeFileName, "WIFI_RAM_CODE_QZ3501_1.bin");
    EXPECT_STREQ(a->HalInfo.RomPatchFileName, "WIFI_QZ3501_patch_mcu_1_2_hdr.bin");

    // The images of the revision are the ones downloaded.
    LoadContainer();
    ExpectNamedImages();
    ASSERT_EQ(a->HalOps.LoadRomPatch(a), STATUS_SUCCESS);
    ASSERT_EQ(a->HalOps.LoadFirmware(a), STATUS_SUCCESS);
    EXPECT_TRUE(DlRom().Faults().empty()) << ::testing::PrintToString(DlRom().Faults());
}

}  // namespace
