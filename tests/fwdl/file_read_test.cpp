// Reading a whole firmware file through the platform's file calls, as the bring-up loads the
// containers.
#include <gtest/gtest.h>

#include <filesystem>

#include "fwdl_support.h"
#include "kshim/host/files.h"

namespace {

const char16_t kPath[] = u"\\SystemRoot\\System32\\drivers\\qzlwlan.dat";
const char kName[] = "\\SystemRoot\\System32\\drivers\\qzlwlan.dat";

class FileRead : public fwdl::FwFileTest {
protected:
    void SetUp() override
    {
        fwdl::FwFileTest::SetUp();
        char pattern[] = "/tmp/qzl-fwfile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        kshim::host::FilesSetRoot(root_);
    }
    void TearDown() override
    {
        EXPECT_EQ(kshim::host::FilesOpenHandles(), 0u);
        kshim::host::FilesSetRoot("");
        std::filesystem::remove_all(root_);
        fwdl::FwFileTest::TearDown();
    }

    // The file's bytes as HalLoadBinfromPath gives them; empty for none.
    std::vector<uint8_t> Read(PCWSTR path = kPath)
    {
        ULONG size = 123;
        PUCHAR buffer = HalLoadBinfromPath(nullptr, path, &size);
        if (buffer == nullptr) {
            EXPECT_EQ(size, 0u);
            return {};
        }
        std::vector<uint8_t> bytes(buffer, buffer + size);
        PlatformFreeMemory(buffer, size);
        return bytes;
    }

    std::string root_;
};

TEST_F(FileRead, WholeFileComesBackAndLoadsAsTheContainer)
{
    std::vector<uint8_t> container = sim::fw::StandardContainer(0x3602);
    ASSERT_TRUE(kshim::host::FilesWrite(kName, container));
    EXPECT_EQ(Read(), container);
    // The name is found without regard to case, as the platform's file system does.
    EXPECT_EQ(Read(u"\\SystemRoot\\system32\\DRIVERS\\QZLWLAN.DAT"), container);

    ULONG size = 0;
    PUCHAR buffer = HalLoadBinfromPath(nullptr, kPath, &size);
    HalFwSetContainer(&files, TRUE, buffer, size);
    EXPECT_FALSE(LoadBig(1, "WIFI_RAM_CODE_QZ3602_2_1.bin").empty());
}

// A missing file, an empty one, a folder, a failed open, a file larger than the bound: nothing.
TEST_F(FileRead, FilesThatAreNoFirmwareGiveNothing)
{
    EXPECT_TRUE(Read().empty());
    ASSERT_TRUE(kshim::host::FilesWrite(kName, {}));
    EXPECT_TRUE(Read().empty());
    EXPECT_TRUE(Read(u"\\SystemRoot\\System32\\drivers").empty());
    EXPECT_TRUE(Read(nullptr).empty());
    EXPECT_TRUE(Read(u"").empty());

    ASSERT_TRUE(kshim::host::FilesWrite(kName, {1, 2, 3}));
    kshim::host::FaultArm("file.open", "", 1, STATUS_ACCESS_DENIED);
    EXPECT_TRUE(Read().empty());
    EXPECT_EQ(kshim::host::FaultFired("file.open"), 1u);
    kshim::host::FaultClearAll();
    EXPECT_EQ(Read(), (std::vector<uint8_t>{1, 2, 3}));

    std::filesystem::resize_file(kshim::host::FilesHostPath(kName), uint64_t(FW_FILE_MAX_SIZE) + 1);
    EXPECT_TRUE(Read().empty());
    std::filesystem::resize_file(kshim::host::FilesHostPath(kName), FW_FILE_MAX_SIZE);
    EXPECT_EQ(Read().size(), FW_FILE_MAX_SIZE);
}

TEST_F(FileRead, NoMemoryGivesNothingAndLeavesNoHandle)
{
    ASSERT_TRUE(kshim::host::FilesWrite(kName, {1, 2, 3, 4}));
    kshim::host::FaultArm("pool", "ZV53", 1, STATUS_INSUFFICIENT_RESOURCES, fwdl::kPoolAttempts);
    EXPECT_TRUE(Read().empty());
}

TEST_F(FileRead, NotAboveThePassiveLevel)
{
    ASSERT_TRUE(kshim::host::FilesWrite(kName, {1, 2, 3, 4}));
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    ULONG size = 0;
    PUCHAR buffer = HalLoadBinfromPath(nullptr, kPath, &size);
    KeLowerIrql(old);
    EXPECT_EQ(buffer, nullptr);
}

}  // namespace
