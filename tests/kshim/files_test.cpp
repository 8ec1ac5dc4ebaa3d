// Files: dispositions, the synchronous position, short reads, names without case, sharing,
// the NDIS file calls and harness devices.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "kshim/files.h"
#include "kshim/host/control.h"
#include "kshim/host/files.h"
#include "kshim/ndis.h"

namespace {

namespace host = kshim::host;

constexpr char kDump[] = "\\SystemRoot\\System32\\drivers\\CoreDump";

std::vector<uint8_t> Bytes(size_t n, uint8_t first)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<uint8_t>(first + i);
    }
    return v;
}

class Files : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kshim-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        host::FilesSetRoot(root);
        ASSERT_TRUE(host::FilesWrite("\\SystemRoot\\System32\\drivers\\placeholder", {}));
    }
    void TearDown() override
    {
        EXPECT_EQ(host::FilesOpenHandles(), 0u) << "a handle was left open";
        host::FaultClearAll();
        host::FilesClearDevices();
        host::FilesSetRoot("");
        std::filesystem::remove_all(root);
    }

    static NTSTATUS Create(const char16_t* name, ACCESS_MASK access, ULONG share, ULONG disposition, HANDLE* h,
                           IO_STATUS_BLOCK* io)
    {
        UNICODE_STRING s;
        RtlInitUnicodeString(&s, name);
        OBJECT_ATTRIBUTES oa;
        InitializeObjectAttributes(&oa, &s, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
        return ZwCreateFile(h, access, &oa, io, nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
                            FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_RANDOM_ACCESS, nullptr, 0);
    }
    static NTSTATUS Write(HANDLE h, const std::vector<uint8_t>& bytes)
    {
        IO_STATUS_BLOCK io;
        return ZwWriteFile(h, nullptr, nullptr, nullptr, &io, const_cast<uint8_t*>(bytes.data()),
                           static_cast<ULONG>(bytes.size()), nullptr, nullptr);
    }

    std::string root;
};

// Each disposition against a missing file and against a 100-byte file.
struct DispositionCase {
    const char* name;
    ULONG disposition;
    bool exists;
    NTSTATUS status;
    ULONG_PTR information;
    size_t sizeAfter;
};

TEST_F(Files, DispositionsOpenCreateAndTruncateAsNamed)
{
    const DispositionCase cases[] = {
        {"open present", FILE_OPEN, true, STATUS_SUCCESS, FILE_OPENED, 100},
        {"open missing", FILE_OPEN, false, STATUS_OBJECT_NAME_NOT_FOUND, FILE_DOES_NOT_EXIST, 0},
        {"create present", FILE_CREATE, true, STATUS_OBJECT_NAME_COLLISION, FILE_EXISTS, 100},
        {"create missing", FILE_CREATE, false, STATUS_SUCCESS, FILE_CREATED, 0},
        {"open-if never truncates", FILE_OPEN_IF, true, STATUS_SUCCESS, FILE_OPENED, 100},
        {"open-if creates", FILE_OPEN_IF, false, STATUS_SUCCESS, FILE_CREATED, 0},
        {"overwrite truncates", FILE_OVERWRITE, true, STATUS_SUCCESS, FILE_OVERWRITTEN, 0},
        {"overwrite missing", FILE_OVERWRITE, false, STATUS_OBJECT_NAME_NOT_FOUND, FILE_DOES_NOT_EXIST, 0},
        {"overwrite-if truncates", FILE_OVERWRITE_IF, true, STATUS_SUCCESS, FILE_OVERWRITTEN, 0},
        {"overwrite-if creates", FILE_OVERWRITE_IF, false, STATUS_SUCCESS, FILE_CREATED, 0},
        {"supersede replaces", FILE_SUPERSEDE, true, STATUS_SUCCESS, FILE_SUPERSEDED, 0},
    };
    for (const DispositionCase& c : cases) {
        SCOPED_TRACE(c.name);
        host::FilesRemove(kDump);
        if (c.exists) {
            ASSERT_TRUE(host::FilesWrite(kDump, Bytes(100, 0)));
        }
        HANDLE h = nullptr;
        IO_STATUS_BLOCK io{};
        NTSTATUS status = Create(u"\\SystemRoot\\System32\\drivers\\CoreDump", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ, c.disposition, &h, &io);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(io.Status, c.status);
        EXPECT_EQ(io.Information, c.information);
        if (NT_SUCCESS(status)) {
            ZwClose(h);
        }
        auto content = host::FilesRead(kDump);
        EXPECT_EQ(content.has_value(), c.exists || NT_SUCCESS(status));
        EXPECT_EQ(content ? content->size() : 0u, c.sizeAfter);
    }
}

TEST_F(Files, WritesWithoutOffsetStartAtZeroAndAdvanceSoOpenIfOverwritesInPlace)
{
    ASSERT_TRUE(host::FilesWrite(kDump, Bytes(100, 0)));
    HANDLE h;
    IO_STATUS_BLOCK io;
    ASSERT_EQ(Create(u"\\SystemRoot\\System32\\drivers\\CoreDump", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                     FILE_OPEN_IF, &h, &io),
              STATUS_SUCCESS);
    ASSERT_EQ(Write(h, std::vector<uint8_t>(10, 0xAA)), STATUS_SUCCESS);
    ASSERT_EQ(Write(h, std::vector<uint8_t>(5, 0xBB)), STATUS_SUCCESS);
    ZwClose(h);
    std::vector<uint8_t> expected = Bytes(100, 0);
    std::fill(expected.begin(), expected.begin() + 10, 0xAA);
    std::fill(expected.begin() + 10, expected.begin() + 15, 0xBB);
    EXPECT_EQ(host::FilesRead(kDump), expected) << "bytes 15-99 of the old content stay";
}

TEST_F(Files, ShortReadReportsItsCountAndSizeComesFromStandardInformation)
{
    ASSERT_TRUE(host::FilesWrite("\\SystemRoot\\System32\\drivers\\qzlwlan.dat", Bytes(30, 1)));
    HANDLE h;
    IO_STATUS_BLOCK io;
    ASSERT_EQ(Create(u"\\SYSTEMROOT\\system32\\DRIVERS\\QzlWlan.DAT", GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, &h,
                     &io),
              STATUS_SUCCESS)
        << "every component is found without regard to case";
    FILE_STANDARD_INFORMATION info;
    ASSERT_EQ(ZwQueryInformationFile(h, &io, &info, sizeof(info), FileStandardInformation), STATUS_SUCCESS);
    EXPECT_EQ(info.EndOfFile.QuadPart, 30);
    std::vector<uint8_t> buffer(100);
    EXPECT_EQ(ZwReadFile(h, nullptr, nullptr, nullptr, &io, buffer.data(), 100, nullptr, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(io.Information, 30u);
    buffer.resize(30);
    EXPECT_EQ(buffer, Bytes(30, 1));
    EXPECT_EQ(ZwReadFile(h, nullptr, nullptr, nullptr, &io, buffer.data(), 10, nullptr, nullptr), STATUS_END_OF_FILE);
    EXPECT_EQ(io.Information, 0u);
    LARGE_INTEGER offset;
    offset.QuadPart = 25;
    EXPECT_EQ(ZwReadFile(h, nullptr, nullptr, nullptr, &io, buffer.data(), 10, &offset, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(io.Information, 5u);
    EXPECT_EQ(ZwWriteFile(h, nullptr, nullptr, nullptr, &io, buffer.data(), 1, nullptr, nullptr), STATUS_ACCESS_DENIED)
        << "opened for reading only";
    ZwClose(h);
}

TEST_F(Files, NamesThatDoNotMapAreRefusedAndTheOpenFaultPointFires)
{
    const struct {
        const char16_t* name;
        NTSTATUS status;
    } cases[] = {
        {u"\\SystemRoot\\System32\\missing\\x.bin", STATUS_OBJECT_PATH_NOT_FOUND},
        {u"\\SystemRoot\\System32\\drivers\\..\\..\\x.bin", STATUS_OBJECT_NAME_INVALID},
        {u"\\SystemRoot\\System32\\drivers\\a/b", STATUS_OBJECT_NAME_INVALID},
        {u"\\SystemRoot\\System32\\\\drivers", STATUS_OBJECT_NAME_INVALID},
        {u"relative.bin", STATUS_OBJECT_NAME_INVALID},
        {u"\\Elsewhere\\x.bin", STATUS_OBJECT_PATH_NOT_FOUND},
        {u"\\SystemRoot\\System32\\drivers", STATUS_FILE_IS_A_DIRECTORY},
    };
    for (const auto& c : cases) {
        HANDLE h;
        IO_STATUS_BLOCK io;
        EXPECT_EQ(Create(c.name, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN_IF, &h, &io), c.status)
            << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name));
    }
    host::FaultArm("file.open", "\\SystemRoot\\System32\\drivers\\placeholder", 1, STATUS_ACCESS_DENIED);
    HANDLE h;
    IO_STATUS_BLOCK io;
    EXPECT_EQ(Create(u"\\SystemRoot\\System32\\drivers\\placeholder", GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, &h,
                     &io),
              STATUS_ACCESS_DENIED);
    EXPECT_EQ(host::FaultFired("file.open"), 1u);
}

TEST_F(Files, SharingIsEnforcedBetweenOpenHandles)
{
    HANDLE writer, reader, second;
    IO_STATUS_BLOCK io;
    ASSERT_EQ(Create(u"\\SystemRoot\\System32\\drivers\\CoreDump", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                     FILE_OPEN_IF, &writer, &io),
              STATUS_SUCCESS);
    EXPECT_EQ(Create(u"\\SystemRoot\\System32\\drivers\\coredump", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     FILE_OPEN, &second, &io),
              STATUS_SHARING_VIOLATION)
        << "the first handle shares reading only";
    EXPECT_EQ(Create(u"\\SystemRoot\\System32\\drivers\\CoreDump", GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, &reader,
                     &io),
              STATUS_SHARING_VIOLATION)
        << "the reader does not share writing with the open writer";
    ASSERT_EQ(Create(u"\\SystemRoot\\System32\\drivers\\CoreDump", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     FILE_OPEN, &reader, &io),
              STATUS_SUCCESS);
    ZwClose(reader);
    ZwClose(writer);
}

TEST_F(Files, NdisOpenFileFindsABareNameInTheDriversFolderAndMapsItOnce)
{
    ASSERT_TRUE(host::FilesWrite("\\SystemRoot\\System32\\drivers\\qzlRunTimeData.bin", Bytes(7, 0x10)));
    NDIS_STRING name = RTL_CONSTANT_STRING(u"QZLRUNTIMEDATA.BIN");
    NDIS_STATUS status;
    NDIS_HANDLE file;
    UINT length;
    NDIS_PHYSICAL_ADDRESS highest;
    highest.QuadPart = -1;
    NdisOpenFile(&status, &file, &length, &name, highest);
    ASSERT_EQ(status, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(length, 7u);
    PVOID mapped;
    NdisMapFile(&status, &mapped, file);
    ASSERT_EQ(status, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(std::vector<uint8_t>(static_cast<uint8_t*>(mapped), static_cast<uint8_t*>(mapped) + 7), Bytes(7, 0x10));
    PVOID again;
    NdisMapFile(&status, &again, file);
    EXPECT_NE(status, NDIS_STATUS_SUCCESS) << "mapped already";
    NdisUnmapFile(file);
    NdisCloseFile(file);

    NDIS_STRING missing = RTL_CONSTANT_STRING(u"absent.bin");
    NdisOpenFile(&status, &file, &length, &missing, highest);
    EXPECT_EQ(status, STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(file, nullptr);
}

TEST_F(Files, DevicesAnswerControlRequestsAndOnlyThem)
{
    uint32_t seenCode = 0;
    std::vector<uint8_t> seenInput;
    host::FilesRegisterDevice("\\Device\\QZLBTFilter_2",
                              [&](uint32_t code, const uint8_t* in, size_t inLength, uint8_t*, size_t, size_t* info) {
                                  seenCode = code;
                                  seenInput.assign(in, in + inLength);
                                  *info = 0;
                                  return STATUS_SUCCESS;
                              });
    HANDLE h;
    IO_STATUS_BLOCK io;
    EXPECT_EQ(Create(u"\\Device\\QZLBTFilter_1", GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, &h, &io),
              STATUS_OBJECT_NAME_NOT_FOUND);
    ASSERT_EQ(Create(u"\\Device\\qzlbtfilter_2", GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, &h, &io), STATUS_SUCCESS);
    ULONG input = 3;
    EXPECT_EQ(ZwDeviceIoControlFile(h, nullptr, nullptr, nullptr, &io, 0x223430, &input, sizeof(input), nullptr, 0),
              STATUS_SUCCESS);
    EXPECT_EQ(seenCode, 0x223430u);
    EXPECT_EQ(seenInput, (std::vector<uint8_t>{3, 0, 0, 0}));
    UCHAR byte;
    EXPECT_EQ(ZwReadFile(h, nullptr, nullptr, nullptr, &io, &byte, 1, nullptr, nullptr), STATUS_INVALID_DEVICE_REQUEST);
    ZwClose(h);
}

}  // namespace
