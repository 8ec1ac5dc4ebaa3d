// The recorder of boundary crossings: named trace events found by name and function, and every file
// open with its outcome (the fault point's refusals included).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "kshim/files.h"
#include "kshim/host/files.h"
#include "kshim/host/recorder.h"
#include "kshim/ndis.h"
#include "kshim/trace.h"

namespace {

namespace host = kshim::host;

void Marker() { KTRACE_EVENT(TRACE_LEVEL_ERROR, 1, "Marked", "%s is marked", "Marker"); }
void Plain() { KTRACE(TRACE_LEVEL_ERROR, 1, "Marked"); }

TEST(Recorder, NamedEventsAreFoundByNameAndFunctionAndFollowTheTraceLevel)
{
    host::TraceClear();
    Marker();
    Marker();
    Plain();
    EXPECT_EQ(host::TraceEventCount("Marked"), 2u);
    EXPECT_EQ(host::TraceEventCount("Marked", "Marker"), 2u);
    EXPECT_EQ(host::TraceEventCount("Marked", "Plain"), 0u) << "a plain message carries no event name";
    EXPECT_EQ(host::TraceEventCount("Other"), 0u);
    const auto events = host::TraceEvents("Marked");
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].text, "Marker is marked") << "the message is still there for people";
    EXPECT_EQ(events[0].level, TRACE_LEVEL_ERROR);
    EXPECT_EQ(events[0].file, "recorder_test.cpp");

    // A level below the event's records nothing, as the platform's session would.
    host::TraceSetLevel(TRACE_LEVEL_CRITICAL);
    Marker();
    host::TraceSetLevel(TRACE_LEVEL_INFORMATION);
    EXPECT_EQ(host::TraceEventCount("Marked"), 2u);
    host::TraceClear();
    EXPECT_EQ(host::TraceEventCount("Marked"), 0u);
}

TEST(Recorder, EveryFileOpenIsRecordedWithItsDispositionAndOutcome)
{
    char pattern[] = "/tmp/kshim-recorder-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    host::FilesSetRoot(pattern);
    ASSERT_TRUE(host::FilesWrite("\\SystemRoot\\System32\\drivers\\present.bin", {1, 2}));
    host::FileOpensClear();

    auto open = [](const char16_t* name, ULONG disposition) {
        UNICODE_STRING s;
        RtlInitUnicodeString(&s, name);
        OBJECT_ATTRIBUTES oa;
        InitializeObjectAttributes(&oa, &s, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, nullptr, nullptr);
        HANDLE h = nullptr;
        IO_STATUS_BLOCK io;
        NTSTATUS status = ZwCreateFile(&h, GENERIC_WRITE, &oa, &io, nullptr, FILE_ATTRIBUTE_NORMAL, 0, disposition,
                                       FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
        if (NT_SUCCESS(status)) {
            ZwClose(h);
        }
    };
    open(u"\\SystemRoot\\System32\\drivers\\new.bin", FILE_OVERWRITE_IF);
    open(u"\\SystemRoot\\System32\\drivers\\absent.bin", FILE_OPEN);
    host::FaultArm("file.open", "\\SystemRoot\\System32\\drivers\\present.bin", 1, STATUS_ACCESS_DENIED);
    open(u"\\SystemRoot\\System32\\drivers\\present.bin", FILE_OPEN);
    host::FaultClearAll();
    NDIS_STRING bare = RTL_CONSTANT_STRING(u"present.bin");
    NDIS_STATUS status;
    NDIS_HANDLE file;
    UINT length;
    NDIS_PHYSICAL_ADDRESS highest;
    highest.QuadPart = -1;
    NdisOpenFile(&status, &file, &length, &bare, highest);
    ASSERT_EQ(status, NDIS_STATUS_SUCCESS);
    NdisCloseFile(file);

    const auto opens = host::FileOpens();
    ASSERT_EQ(opens.size(), 4u);
    EXPECT_EQ(opens[0].name, "\\SystemRoot\\System32\\drivers\\new.bin");
    EXPECT_EQ(opens[0].disposition, static_cast<uint32_t>(FILE_OVERWRITE_IF));
    EXPECT_EQ(opens[0].status, STATUS_SUCCESS);
    EXPECT_EQ(opens[1].status, STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(opens[2].status, STATUS_ACCESS_DENIED) << "a refusal of the fault point is an outcome too";
    EXPECT_EQ(opens[3].name, "\\SystemRoot\\System32\\drivers\\present.bin");
    EXPECT_EQ(opens[3].disposition, static_cast<uint32_t>(FILE_OPEN));
    EXPECT_EQ(opens[3].status, STATUS_SUCCESS);
    host::FileOpensClear();
    EXPECT_TRUE(host::FileOpens().empty());
    host::FilesSetRoot("");
    std::filesystem::remove_all(pattern);
}

}  // namespace
