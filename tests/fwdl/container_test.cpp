// The firmware containers: lookups by name, the choice between the Wi-Fi and the Bluetooth
// container, the copy-out, and the refusal of containers that do not hold together.
#include "fwdl_support.h"

namespace {

using fwdl::FwFileTest;
using sim::fw::BuildContainer;
using sim::fw::ContainerEntry;
using sim::fw::ContainerFault;

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// Every image of every chip is found under its own name, with its bytes intact.
TEST_F(FwFileTest, EveryChipsImagesComeBackByName)
{
    for (uint32_t chip : {0x3501u, 0x3502u, 0x3503u, 0x3601u, 0x3602u, 0x3404u}) {
        SCOPED_TRACE(::testing::Message() << std::hex << chip);
        std::vector<ContainerEntry> entries;
        std::vector<sim::fw::NamedImage> images = sim::fw::StandardImages(chip);
        for (const auto& n : images) {
            entries.push_back({n.name, "20240517093000", n.image.bytes});
        }
        Load(true, BuildContainer(entries));
        for (const auto& n : images) {
            PFW_IMAGE_REF ref = HalGetTheTargetImage(&files, n.name.c_str(), TRUE);
            ASSERT_NE(ref, nullptr) << n.name;
            EXPECT_EQ(ref->Size, n.image.bytes.size());
            EXPECT_EQ(ref->Image, files.WifiContainer.Buffer + ref->Offset);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(ref->Info), 14), "20240517093000");
            HalFwFreeImageRef(ref);
            EXPECT_EQ(LoadBig(0, n.name.c_str()), n.image.bytes) << n.name;
        }
        HalFreeBigFW(&files);
    }
}

TEST_F(FwFileTest, StandardContainerHoldsRamCodeAndPatchOnly)
{
    Load(true, sim::fw::StandardContainer(0x3602));
    EXPECT_FALSE(LoadBig(1, "WIFI_RAM_CODE_QZ3602_2_1.bin").empty());
    EXPECT_FALSE(LoadBig(1, "WIFI_QZ3602_PATCH_MCU_2_1_hdr.bin").empty());
    EXPECT_TRUE(LoadBig(1, "EEPROM_QZ3602.bin").empty());
}

// A name matches the first entry that begins with it.
TEST_F(FwFileTest, NameMatchesFirstEntryThatBeginsWithIt)
{
    Load(true, BuildContainer({{"WIFI_RAM_CODE_QZ3501_1a.bin", "1", Bytes("first")},
                               {"WIFI_RAM_CODE_QZ3501_1.bin", "1", Bytes("second")}}));
    EXPECT_EQ(LoadBig(0, "WIFI_RAM_CODE_QZ3501_1"), Bytes("first"));
    EXPECT_EQ(LoadBig(0, "WIFI_RAM_CODE_QZ3501_1.bin"), Bytes("second"));
    EXPECT_EQ(LoadBig(0, ""), Bytes("first"));
    EXPECT_TRUE(LoadBig(0, "WIFI_RAM_CODE_QZ3501_1.binx").empty());
}

TEST_F(FwFileTest, NameOf48CharactersOrNoNameIsRefused)
{
    std::string longest(47, 'A');
    std::string tooLong(48, 'A');
    std::vector<uint8_t> container = BuildContainer({{longest, "1", Bytes("x")}});
    FW_IMAGE_REF ref;
    const UCHAR* c = container.data();
    ULONG size = static_cast<ULONG>(container.size());
    EXPECT_EQ(HalFwFindImage(c, size, longest.c_str(), &ref), STATUS_SUCCESS);
    EXPECT_EQ(HalFwFindImage(c, size, tooLong.c_str(), &ref), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(HalFwFindImage(c, size, nullptr, &ref), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(HalFwFindImage(c, size, "B", &ref), STATUS_NOT_FOUND);
}

// Which container's image HalLoadBigFW keeps, and the time stamp it records.
TEST_F(FwFileTest, NewerImageWinsOnlyWhenBothContainersAreSearched)
{
    struct Case {
        ULONG fwBin;
        const char* wifiStamp;  // null: not in the Wi-Fi container
        const char* btStamp;    // null: not in the Bluetooth container
        const char* expected;   // "wifi", "bt" or null
    };
    const Case cases[] = {
        {1, "20240101000000", "20240102000000", "bt"},
        {1, "20240101000000", "20240101000000", "wifi"},
        {1, "20240102000000", "20240101000000", "wifi"},
        {1, "9", "10", "bt"},  // numbers, not texts
        {1, "junk", "1", "bt"},  // unreadable counts as 0
        {1, "1", "junk", "wifi"},
        {0, "20240101000000", "20240102000000", "wifi"},
        {1, nullptr, "20240102000000", "bt"},
        {0, nullptr, "20240102000000", nullptr},
        {1, nullptr, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.fwBin << " " << (c.wifiStamp ? c.wifiStamp : "-") << " "
                                          << (c.btStamp ? c.btStamp : "-"));
        std::vector<ContainerEntry> wifi = {{"other.bin", "1", Bytes("o")}};
        if (c.wifiStamp != nullptr) {
            wifi.push_back({"img.bin", c.wifiStamp, Bytes("wifi")});
        }
        std::vector<ContainerEntry> bt = {{"else.bin", "1", Bytes("e")}};
        if (c.btStamp != nullptr) {
            bt.push_back({"img.bin", c.btStamp, Bytes("bt")});
        }
        Load(true, BuildContainer(wifi));
        Load(false, BuildContainer(bt));
        std::vector<uint8_t> got = LoadBig(c.fwBin, "img.bin");
        EXPECT_EQ(got, c.expected ? Bytes(c.expected) : std::vector<uint8_t>{});
        HalFreeBigFW(&files);
    }
}

TEST_F(FwFileTest, TimeStampTextKeepsFourteenCharactersFromWifiAndSixteenFromBluetooth)
{
    Load(true, BuildContainer({{"img.bin", "1234567890123456", Bytes("wifi")}}));
    Load(false, BuildContainer({{"bt.bin", "6543210987654321", Bytes("bt")}}));
    std::memset(files.FwTimeStamp, 0xEE, sizeof(files.FwTimeStamp));
    ASSERT_EQ(LoadBig(1, "img.bin"), Bytes("wifi"));
    const UCHAR wifiStamp[16] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '1', '2', '3', '4', 0, 0xEE};
    EXPECT_EQ(std::memcmp(files.FwTimeStamp, wifiStamp, 16), 0);
    ASSERT_EQ(LoadBig(1, "bt.bin"), Bytes("bt"));
    EXPECT_EQ(std::memcmp(files.FwTimeStamp, "6543210987654321", 16), 0);
}

TEST(FwTimestamp, ComparesSignedDecimalNumbersWithinSixteenBytes)
{
    struct Case {
        const char* bt;
        const char* wf;
        ULONG expected;
    };
    const Case cases[] = {
        {"20240102", "20240101", 1}, {"2", "10", 2}, {"  -5", "3", 2}, {"+7", "7", 0},
        {"abc", "0", 0},             {"", "", 0},    {"9999999999999999", "1", 1}, {"12x9", "12", 0},
    };
    for (const Case& c : cases) {
        // No zero after 16 digits: the reader must stop at the 16th byte.
        UCHAR bt[16];
        UCHAR wf[16];
        std::memset(bt, 0, 16);
        std::memset(wf, 0, 16);
        std::memcpy(bt, c.bt, std::strlen(c.bt));
        std::memcpy(wf, c.wf, std::strlen(c.wf));
        EXPECT_EQ(HalCompareBtWfTimestamp(bt, wf), c.expected) << c.bt << " vs " << c.wf;
    }
}

// Containers that do not hold together are refused whole: no lookup, not even of a sound entry.
TEST_F(FwFileTest, MalformedContainersAreRefusedWithTheirStatus)
{
    const std::vector<ContainerEntry> entries = {
        {"a.bin", "1", Bytes("aaaaaaaaaaaaaaaaaaaa")},
        {"b.bin", "1", Bytes("bbbbbbbbbbbbbbbbbbbbbbbbb")},
    };
    struct Case {
        ContainerFault fault;
        NTSTATUS status;
    };
    const Case cases[] = {
        {ContainerFault::None, STATUS_SUCCESS},
        {ContainerFault::WrongMagic, STATUS_INVALID_IMAGE_FORMAT},
        {ContainerFault::TruncatedHeader, STATUS_END_OF_FILE},
        {ContainerFault::TruncatedDirectory, STATUS_END_OF_FILE},
        {ContainerFault::ImagePastEnd, STATUS_FILE_CORRUPT_ERROR},
        {ContainerFault::ImageRangeWraps, STATUS_FILE_CORRUPT_ERROR},
        {ContainerFault::ImagesOverlap, STATUS_DATA_ERROR},
        {ContainerFault::ImageOverlapsDirectory, STATUS_DATA_ERROR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        std::vector<uint8_t> bytes = BuildContainer(entries, c.fault);
        EXPECT_EQ(HalFwCheckContainer(bytes.data(), static_cast<ULONG>(bytes.size())), c.status);
        FW_IMAGE_REF ref;
        NTSTATUS found = HalFwFindImage(bytes.data(), static_cast<ULONG>(bytes.size()), "a.bin", &ref);
        EXPECT_EQ(found, c.status);
        Load(true, bytes);
        PFW_IMAGE_REF loaded = HalGetTheTargetImage(&files, "a.bin", TRUE);
        EXPECT_EQ(loaded != nullptr, c.status == STATUS_SUCCESS);
        HalFwFreeImageRef(loaded);
        HalFreeBigFW(&files);
    }
}

TEST_F(FwFileTest, DirectoryLongerThanTheFileAndEmptyImagesAnywhere)
{
    std::vector<uint8_t> bytes = BuildContainer({{"a.bin", "1", Bytes("aaaa")}});
    ULONG size = static_cast<ULONG>(bytes.size());
    // An empty image may point anywhere inside the file, the header included.
    std::memset(&bytes[16 + 64], 0, 8);
    EXPECT_EQ(HalFwCheckContainer(bytes.data(), size), STATUS_SUCCESS);
    // ... but not past its end.
    bytes[16 + 64] = static_cast<uint8_t>(size + 1);
    EXPECT_EQ(HalFwCheckContainer(bytes.data(), size), STATUS_FILE_CORRUPT_ERROR);
    // The last index names 65536 entries that the file cannot hold.
    bytes[4] = bytes[5] = 0xFF;
    EXPECT_EQ(HalFwCheckContainer(bytes.data(), size), STATUS_END_OF_FILE);
    EXPECT_EQ(HalFwCheckContainer(nullptr, 0), STATUS_END_OF_FILE);
}

TEST_F(FwFileTest, ANewBufferIsCheckedAgain)
{
    Load(true, BuildContainer({{"a.bin", "1", Bytes("aaaa")}}, ContainerFault::WrongMagic));
    EXPECT_TRUE(LoadBig(0, "a.bin").empty());
    Load(true, BuildContainer({{"a.bin", "1", Bytes("aaaa")}}));
    EXPECT_EQ(LoadBig(0, "a.bin"), Bytes("aaaa"));
}

TEST_F(FwFileTest, NoContainerLoadedFindsNothingAndFreeClearsBoth)
{
    EXPECT_EQ(HalGetTheTargetImage(&files, "a.bin", TRUE), nullptr);
    EXPECT_EQ(HalGetTheTargetImage(&files, "a.bin", FALSE), nullptr);
    Load(true, BuildContainer({{"a.bin", "1", Bytes("aaaa")}}));
    Load(false, BuildContainer({{"a.bin", "1", Bytes("bbbb")}}));
    HalFreeBigFW(&files);
    EXPECT_EQ(files.WifiContainer.Buffer, nullptr);
    EXPECT_EQ(files.BtContainer.Buffer, nullptr);
    EXPECT_EQ(files.WifiContainer.Size, 0u);
    EXPECT_TRUE(LoadBig(1, "a.bin").empty());
}

TEST_F(FwFileTest, EmptyImageIsNotCopiedOut)
{
    Load(true, BuildContainer({{"empty.bin", "1", {}}, {"a.bin", "1", Bytes("a")}}));
    PFW_IMAGE_REF ref = HalGetTheTargetImage(&files, "empty.bin", TRUE);
    ASSERT_NE(ref, nullptr);
    EXPECT_EQ(ref->Size, 0u);
    HalFwFreeImageRef(ref);
    EXPECT_TRUE(LoadBig(0, "empty.bin").empty());
}

TEST_F(FwFileTest, AllocationFailuresAnswerNothingAndLeakNothing)
{
    Load(true, BuildContainer({{"a.bin", "1", Bytes("aaaa")}}));
    Load(false, BuildContainer({{"a.bin", "2", Bytes("bbbb")}}));
    // The Wi-Fi reference.
    kshim::host::FaultArm("pool", "ZV53", 1, STATUS_INSUFFICIENT_RESOURCES, fwdl::kPoolAttempts);
    EXPECT_EQ(HalGetTheTargetImage(&files, "a.bin", TRUE), nullptr);
    kshim::host::FaultClearAll();
    // The copy, after both references were taken.
    kshim::host::FaultArm("pool", "ZV53", 3, STATUS_INSUFFICIENT_RESOURCES, fwdl::kPoolAttempts);
    EXPECT_TRUE(LoadBig(1, "a.bin").empty());
    kshim::host::FaultClearAll();
    EXPECT_EQ(LoadBig(1, "a.bin"), Bytes("bbbb"));
}

// Without a file system (no file root) nothing can be opened.
TEST_F(FwFileTest, FileThatCannotBeOpenedGivesNothing)
{
    ULONG size = 7;
    EXPECT_EQ(HalLoadBinfromPath(nullptr, u"\\SystemRoot\\qzlwlan.dat", &size), nullptr);
    EXPECT_EQ(size, 0u);
}

}  // namespace
