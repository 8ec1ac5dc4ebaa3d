// The firmware download over the operations table and the post-download settings: the chip
// configuration texts the configuration asks for, the buffer-bin pieces of an EEPROM image, the
// download's decisions about a firmware that already runs, and the small answers of the chip layer.
#include <algorithm>
#include <cstring>

#include "Common/fwsettings.h"
#include "Common/mlme/mlmeinfo.h"
#include "bringup_support.h"
#include "hal/common/hal_bringup.h"
#include "hal/common/hal_postdl.h"
#include "kshim/host/pci_device.h"

namespace {

using bringup::BringUpTest;

TEST_F(BringUpTest, ConfigurationTextsGoOutAsTheConfigurationAsks)
{
    SetConfig("PassiveToActiveScan", 0);
    SetConfig("APSDCapable", 1);
    SetConfig("FccAntGain", 7);
    SetConfig("DowngradeTxStreamLowTemp", 95);
    AddDevice(0x3502);
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    ASSERT_TRUE(firmware_->WaitDelivered());
    // In the order of the post-download initialisation, after the local time that the download ends
    // with; the firmware checks every length field.
    std::vector<std::string> texts = Ram().ChipConfigTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front().rfind("SyncTime ", 0), 0u) << texts.front();
    texts.erase(texts.begin());
    const std::vector<std::string> expected = {
        "PassiveToActiveScan 0",
        "DowngradeTxStreamTemp 95 120",
        "LinkDtSapCheckIntervalP2pGo 240",
        "EdccaAntGain 7",
    };
    EXPECT_EQ(texts, expected);
    size_t textCommands = 0;
    for (const sim::fw::LegacyCommand& c : Ram().RamCommands()) {
        if (c.cmdId == CHIP_CONFIG_CMD_ID) {
            ++textCommands;
            EXPECT_EQ(c.setQuery, 1);
            EXPECT_EQ(c.payload.size(), static_cast<size_t>(CHIP_CONFIG_PAYLOAD_SIZE));
        }
    }
    EXPECT_EQ(textCommands, expected.size() + 1);
    ASSERT_EQ(os_.Stop(device_), STATUS_SUCCESS);
}

TEST_F(BringUpTest, ThermalDowngradeOffSendsNoText)
{
    SetConfig("DowngradeTxStreamFeatureEnable", 0);
    AddDevice(0x3502);
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    ASSERT_TRUE(firmware_->WaitDelivered());
    const std::vector<std::string> texts = Ram().ChipConfigTexts();
    ASSERT_EQ(texts.size(), 1u) << "only the local time";
    EXPECT_EQ(texts[0].rfind("SyncTime ", 0), 0u) << texts[0];
}

struct BinCase {
    const char* name;
    uint32_t size;                    // 0: no file
    std::vector<uint8_t> pieceBytes;  // empty: the power-up fails before any piece
    std::vector<uint16_t> lengths;
};

class BufferBin : public BringUpTest, public ::testing::WithParamInterface<BinCase> {};

// "BinMode" 1: the EEPROM image goes in pieces of 1024 bytes whose piece byte names the piece and the
// last one; an image longer than 3584 bytes, or none at all, fails the power-up before any piece.
TEST_P(BufferBin, PiecesOfTheEepromImage)
{
    const BinCase& c = GetParam();
    SetConfig("BinMode", 1);
    AddDevice(0x3502);
    const std::vector<uint8_t> image = sim::fw::Pattern(0xB1B1, c.size);
    const std::string file = std::string(sim::fw::kPackageFolder) + "EEPROM_QZ3502_1.bin";
    if (c.size == 0) {
        ASSERT_TRUE(kshim::host::FilesRemove(file));
    } else {
        ASSERT_TRUE(kshim::host::FilesWrite(file, image));
        Ram().ExpectBufferBin(image);
    }
    const NTSTATUS status = os_.Start(device_);
    std::vector<uint8_t> pieceBytes;
    std::vector<uint16_t> lengths;
    for (const sim::fw::BufferBinPiece& p : Ram().BufferBinPieces()) {
        pieceBytes.push_back(p.pieceByte);
        lengths.push_back(p.length);
        EXPECT_EQ(p.source, 1);
    }
    EXPECT_EQ(pieceBytes, c.pieceBytes);
    EXPECT_EQ(lengths, c.lengths);
    if (c.pieceBytes.empty()) {
        EXPECT_EQ(status, STATUS_UNSUCCESSFUL);
        // After the register write only customer-configuration items went (the firmware-log switches),
        // the last the teardown's firmware-log block.
        const std::vector<std::string> sequence = Sequence();
        const auto write = std::find(sequence.rbegin(), sequence.rend(), "RAM 0xC0");
        ASSERT_NE(write, sequence.rend());
        for (auto it = sequence.rbegin(); it != write; ++it) {
            EXPECT_EQ(*it, "RAM 0x70");
        }
        const sim::fw::LegacyCommand last = Ram().RamCommands().back();
        ASSERT_EQ(last.payload.size(), 284u);
        EXPECT_STREQ(reinterpret_cast<const char*>(&last.payload[16]), "FwLogSramEvtBlock");
        EXPECT_STREQ(reinterpret_cast<const char*>(&last.payload[48]), "1");
    } else {
        EXPECT_EQ(status, STATUS_SUCCESS);
    }
}

const BinCase kBinCases[] = {
    {"two_full_pieces", 2048, {0x21, 0x25}, {1024, 1024}},
    {"one_byte_more", 2049, {0x41, 0x45, 0x49}, {1024, 1024, 1}},
    {"the_largest", 3584, {0x61, 0x65, 0x69, 0x6D}, {1024, 1024, 1024, 512}},
    {"one_piece", 10, {0x01}, {10}},
    {"one_byte_too_long", 3585, {}, {}},
    {"no_file", 0, {}, {}},
};

INSTANTIATE_TEST_SUITE_P(Sizes, BufferBin, ::testing::ValuesIn(kBinCases),
                         [](const ::testing::TestParamInfo<BinCase>& info) { return std::string(info.param.name); });

NTSTATUS ReportsEmptySlot(PMP_ADAPTER) { return STATUS_NOT_SUPPORTED; }
NTSTATUS ReportsTimeOut(PMP_ADAPTER) { return STATUS_TIMEOUT; }
NTSTATUS ReportsFailure(PMP_ADAPTER) { return STATUS_UNSUCCESSFUL; }

// The download's decisions, run again on a running adapter (as the power-up path and firmware
// recovery run it).
TEST_F(BringUpTest, DownloadOverTheOperationsTable)
{
    AddDevice(0x3502);
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    MP_ADAPTER* a = Adapter();
    Quiesce();
    const CHIP_HAL_OPS saved = a->HalOps;

    // A running firmware kept through a low-power state: nothing is sent at all.
    Ram().ClearRecords();
    a->LowPower.KeepRunningFw = 1;
    EXPECT_EQ(HalDownloadPatchFirmware(a), STATUS_SUCCESS);
    EXPECT_TRUE(Ram().Exchanges().empty());
    Quiesce();
    a->LowPower.KeepRunningFw = 0;

    // A running firmware the chip cannot erase stays: no download, the post-download settings again.
    a->HalOps.EraseFirmware = ReportsEmptySlot;
    EXPECT_EQ(HalDownloadPatchFirmware(a), STATUS_SUCCESS);
    ASSERT_TRUE(firmware_->WaitDelivered());
    std::vector<std::string> sequence = Sequence();
    ASSERT_FALSE(sequence.empty());
    ASSERT_GE(sequence.size(), 2u);
    EXPECT_EQ(sequence[0], "RAM 0xCA") << "the local time";
    EXPECT_EQ(sequence[1], "RAM 0x8A");
    for (const std::string& s : sequence) {
        EXPECT_EQ(s.rfind("RAM", 0), 0u) << s;
    }
    EXPECT_EQ(a->FwDownloaded, 1);
    Quiesce();
    a->HalOps = saved;

    // From here the chip has lost its firmware: the boot ROM answers again.
    struct Case {
        const char* what;
        PFN_CHIP_STATUS CHIP_HAL_OPS::*slot;
        PFN_CHIP_STATUS replacement;
        NTSTATUS result;
    };
    const Case cases[] = {
        {"no post-download initialisation", &CHIP_HAL_OPS::PostFwDownloadInit, nullptr, STATUS_NOT_SUPPORTED},
        {"a ROM patch step that timed out", &CHIP_HAL_OPS::LoadRomPatch, ReportsTimeOut, STATUS_UNSUCCESSFUL},
        {"a Bluetooth patch that failed", &CHIP_HAL_OPS::LoadBtRomPatch, ReportsFailure, STATUS_SUCCESS},
        {"no pre-download step", &CHIP_HAL_OPS::PreFirmwareDownloadInit, nullptr, STATUS_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Quiesce();
        firmware_->PowerCycle();
        Ram().ClearRecords();
        a->HalOps.*c.slot = c.replacement;
        EXPECT_EQ(HalDownloadPatchFirmware(a), c.result);
        Quiesce();
        a->HalOps = saved;
    }
    EXPECT_EQ(os_.Stop(device_), STATUS_SUCCESS);
}

TEST(ChipLayer, ProcessorVendor)
{
    struct Case {
        const char* vendor;
        ULONG code;
    };
    for (const Case c : {Case{"GenuineIntel", HAL_CPU_VENDOR_INTEL}, Case{"AuthenticAMD", HAL_CPU_VENDOR_AMD},
                         Case{"HygonGenuine", HAL_CPU_VENDOR_OTHER}, Case{"GenuineInte", HAL_CPU_VENDOR_OTHER}}) {
        kshim::host::SetCpuVendor(c.vendor);
        EXPECT_EQ(HalGetCPUVendorID(), c.code) << c.vendor;
    }
    kshim::host::SetCpuVendor("GenuineIntel");
}

TEST(ChipLayer, BluetoothFilterDebugDump)
{
    EXPECT_EQ(HalGetBtDebugSopInfo(), STATUS_UNSUCCESSFUL) << "no filter device among the nine names";
    uint32_t code = 0;
    std::vector<uint8_t> input;
    kshim::host::FilesRegisterDevice("\\Device\\QZLBTFilter_7", [&](uint32_t ioControlCode, const uint8_t* in,
                                                                     size_t inLength, uint8_t*, size_t, size_t* info) {
        code = ioControlCode;
        input.assign(in, in + inLength);
        *info = 0;
        return STATUS_SUCCESS;
    });
    EXPECT_EQ(HalGetBtDebugSopInfo(), STATUS_SUCCESS);
    EXPECT_EQ(code, HAL_BT_DEBUG_SOP_IOCTL);
    EXPECT_EQ(input, (std::vector<uint8_t>{3, 0, 0, 0}));
    EXPECT_EQ(kshim::host::FilesOpenHandles(), 0u);
    kshim::host::FilesClearDevices();
    kshim::host::FilesRegisterDevice("\\Device\\QZLBTFilter_1", [](uint32_t, const uint8_t*, size_t, uint8_t*, size_t,
                                                                   size_t*) { return STATUS_INVALID_DEVICE_REQUEST; });
    EXPECT_EQ(HalGetBtDebugSopInfo(), STATUS_UNSUCCESSFUL) << "a refused request";
    kshim::host::FilesClearDevices();
}

TEST(ChipLayer, FactoryCalibrationKeys)
{
    struct Case {
        ULONG key;
        bool accepted;
        UCHAR band;
        UCHAR index;
    };
    const Case cases[] = {{99, false, 0, 0},   {100, true, 0, 0},   {199, true, 0, 99}, {200, true, 1, 0},
                          {216, true, 1, 16},  {455, true, 1, 255}, {456, false, 0, 0}, {600, false, 0, 0},
                          {601, false, 0, 0}};
    for (const Case& c : cases) {
        UCHAR band = 0xEE;
        UCHAR index = 0xEE;
        EXPECT_EQ(factCalKeyToBandIndex(c.key, &band, &index), c.accepted) << c.key;
        if (c.accepted) {
            EXPECT_EQ(band, c.band) << c.key;
            EXPECT_EQ(index, c.index) << c.key;
        }
    }
}

// The key request's peer: the given address for a peer's key, and for a group key of cipher code 6
// on an access point; the port's BSSID for any other group key.
TEST(ChipLayer, KeyRequestPeerAddress)
{
    auto adapter = std::make_unique<MP_ADAPTER>();
    auto port = std::make_unique<MP_PORT>();
    const UCHAR bssid[6] = {0x02, 0xBB, 0xBB, 0xBB, 0xBB, 0x01};
    const UCHAR peer[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    std::memcpy(port->Bssid, bssid, sizeof(bssid));
    struct Case {
        UCHAR opMode;
        ULONG kind;
        UCHAR cipher;
        const UCHAR* address;
        ULONG modeWord;
    };
    const Case cases[] = {
        {0, KEY_KIND_GROUP, 4, bssid, 2},   {0, KEY_KIND_PAIRWISE, 4, peer, 2}, {1, KEY_KIND_GROUP, 6, peer, 0},
        {0, KEY_KIND_GROUP, 6, bssid, 2},   {1, KEY_KIND_GROUP, 4, bssid, 0},
    };
    for (const Case& c : cases) {
        adapter->RegistryBlock.OpMode = c.opMode;
        CIPHER_KEY key = {};
        key.CipherAlg = c.cipher;
        KEY_REQUEST request;
        AsicFillKeyRequest(adapter.get(), port.get(), 1, 2, 1, 3, c.kind, &key, peer, &request);
        EXPECT_EQ(std::memcmp(request.PeerAddress, c.address, 6), 0)
            << "OpMode " << int(c.opMode) << ", kind " << c.kind << ", cipher " << int(c.cipher);
        EXPECT_EQ(request.ModeWord, c.modeWord);
        EXPECT_EQ(request.Install, 1);
        EXPECT_EQ(request.BssIndex, 2);
        EXPECT_EQ(request.KeyIndex, 1);
        EXPECT_EQ(request.WlanIndex, 3);
        EXPECT_EQ(request.Key, &key);
    }
}

}  // namespace
