// The tagged allocator and the memory wrappers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kshim/host/control.h"
#include "platform/ndiscommon/memory.h"
#include "shell/shell_fixture.h"

namespace {

using Allocator = shelltest::LeakCheckedTest;

TEST_F(Allocator, TenByteBlockCarriesHeaderAndTrailer)
{
    static const char kPath[] = "driver/Common/mlme/mlmeconnect.cpp";
    PVOID block = nullptr;
    ULONG allocationsBefore = g_AllocationCount;
    ASSERT_EQ(AllocationMemoryWithMetaData(nullptr, &block, 10, TAG_ZV05, kPath, 1234), STATUS_SUCCESS);
    EXPECT_EQ(g_AllocationCount, allocationsBefore + 1);
    const UCHAR* raw = static_cast<const UCHAR*>(block) - 40;

    EXPECT_EQ(std::memcmp(raw, "3405", 4), 0);
    EXPECT_EQ(raw[4], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw + 5), 10), "onnect.cpp");
    EXPECT_EQ(raw[15], 0);
    ULONG line, total, zero;
    ULONG64 thread;
    std::memcpy(&line, raw + 16, 4);
    std::memcpy(&zero, raw + 20, 4);
    std::memcpy(&thread, raw + 24, 8);
    std::memcpy(&total, raw + 32, 4);
    EXPECT_EQ(line, 1234u);
    EXPECT_EQ(zero, 0u);
    EXPECT_EQ(thread, reinterpret_cast<ULONG_PTR>(PsGetCurrentThreadId()));
    EXPECT_EQ(total, 55u);
    std::memcpy(&zero, raw + 36, 4);
    EXPECT_EQ(zero, 0u);
    EXPECT_EQ(std::memcmp(raw + 50, "3405", 4), 0);
    EXPECT_EQ(raw[54], 0);

    // The pool block is 55 bytes of the caller's tag.
    bool found = false;
    for (const auto& count : kshim::host::PoolCounts()) {
        if (count.tag == "ZV05") {
            EXPECT_EQ(count.outstandingBytes, 55u);
            found = true;
        }
    }
    EXPECT_TRUE(found);
    PlatformFreeMemory(block, 10);
}

TEST_F(Allocator, ShortSourcePathIsCopiedFromItsStart)
{
    PVOID block = nullptr;
    ASSERT_EQ(AllocationMemoryWithMetaData(nullptr, &block, 1, TAG_ZV05, "a.cpp", 7), STATUS_SUCCESS);
    const char* tail = static_cast<const char*>(block) - 40 + 5;
    EXPECT_EQ(std::memcmp(tail, "a.cpp", 5), 0);
    PlatformFreeMemory(block, 1);
}

TEST_F(Allocator, CallSiteMacroRecordsThisFileAndLine)
{
    PVOID block = nullptr;
    ULONG line = __LINE__ + 1;
    ASSERT_EQ(PlatformAllocateMemory(nullptr, &block, 8, TAG_ZV05), STATUS_SUCCESS);
    const UCHAR* raw = static_cast<const UCHAR*>(block) - 40;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw + 5), 10), "y_test.cpp");
    ULONG recorded;
    std::memcpy(&recorded, raw + 16, 4);
    EXPECT_EQ(recorded, line);
    PlatformFreeMemory(block, 8);
}

TEST_F(Allocator, RefusesZeroAndSizesWhoseTotalOverflows)
{
    struct Case {
        ULONG size;
        NTSTATUS status;
    } cases[] = {
        {0, STATUS_INVALID_PARAMETER},
        {0xFFFFFFFFu - 44, STATUS_INVALID_PARAMETER},  // total 0x1_0000_0000
        {0xFFFFFFFFu, STATUS_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        PVOID block = reinterpret_cast<PVOID>(0x1);
        EXPECT_EQ(AllocationMemoryWithMetaData(nullptr, &block, c.size, TAG_ZV05, __FILE__, __LINE__), c.status)
            << c.size;
        EXPECT_EQ(block, nullptr) << c.size;
    }
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV05"), 0u);
}

TEST_F(Allocator, TriesSixTimesBeforeGivingUp)
{
    // Five refusals: the sixth attempt succeeds.
    kshim::host::FaultArm("pool", "ZV05", 1, STATUS_INSUFFICIENT_RESOURCES, 5);
    PVOID block = nullptr;
    ASSERT_EQ(PlatformAllocateMemory(nullptr, &block, 16, TAG_ZV05), STATUS_SUCCESS);
    EXPECT_EQ(kshim::host::FaultFired("pool"), 5u);
    PlatformFreeMemory(block, 16);

    // Six refusals: the allocation fails, traced, and the out pointer is null.
    kshim::host::FaultClearAll();
    kshim::host::FaultArm("pool", "ZV05", 1, STATUS_INSUFFICIENT_RESOURCES, 6);
    ULONG allocationsBefore = g_AllocationCount;
    block = reinterpret_cast<PVOID>(0x1);
    EXPECT_EQ(PlatformAllocateMemory(nullptr, &block, 16, TAG_ZV05), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(g_AllocationCount, allocationsBefore);
    EXPECT_TRUE(kshim::host::TraceContains("AllocationMemoryWithMetaData"));
}

TEST_F(Allocator, FreeOfNullDoesNothingAndCountsOnlyRealFrees)
{
    ULONG freesBefore = g_FreeCount;
    PlatformFreeMemory(nullptr, 10);
    EXPECT_EQ(g_FreeCount, freesBefore);
    PVOID block = nullptr;
    ASSERT_EQ(PlatformAllocateMemory(nullptr, &block, 4, TAG_ZV05), STATUS_SUCCESS);
    PlatformFreeMemory(block, 0);
    EXPECT_EQ(g_FreeCount, freesBefore + 1);
}

TEST_F(Allocator, ReallocateCopiesZeroesAndKeepsTheOldBlockOnFailure)
{
    PVOID block = nullptr;
    ASSERT_EQ(PlatformAllocateMemory(nullptr, &block, 4, TAG_ZV05), STATUS_SUCCESS);
    std::memcpy(block, "abcd", 4);

    // Growing with copy and zero: the old bytes, then zeros.
    ASSERT_EQ(PlatformReallocateMemory(nullptr, &block, 4, 8, TRUE, TRUE, TAG_ZV05), STATUS_SUCCESS);
    EXPECT_EQ(std::memcmp(block, "abcd\0\0\0\0", 8), 0);

    // Shrinking with copy keeps what fits and writes nothing beyond the new block.
    ASSERT_EQ(PlatformReallocateMemory(nullptr, &block, 8, 2, TRUE, FALSE, TAG_ZV05), STATUS_SUCCESS);
    EXPECT_EQ(std::memcmp(block, "ab", 2), 0);
    EXPECT_EQ(std::memcmp(static_cast<UCHAR*>(block) + 2, "3405", 4), 0);  // trailer intact

    // A failed allocation leaves the old block in place.
    PVOID old = block;
    kshim::host::FaultArm("pool", "ZV05", 1, STATUS_INSUFFICIENT_RESOURCES, 6);
    EXPECT_EQ(PlatformReallocateMemory(nullptr, &block, 2, 64, TRUE, TRUE, TAG_ZV05), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(block, old);
    kshim::host::FaultClearAll();

    // Refusals: no block pointer, an old size without an old block, a new size of 0.
    EXPECT_EQ(PlatformReallocateMemory(nullptr, nullptr, 0, 8, FALSE, FALSE, TAG_ZV05), STATUS_UNSUCCESSFUL);
    PVOID none = nullptr;
    EXPECT_EQ(PlatformReallocateMemory(nullptr, &none, 4, 8, TRUE, FALSE, TAG_ZV05), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(PlatformReallocateMemory(nullptr, &block, 2, 0, FALSE, FALSE, TAG_ZV05), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(block, old);

    // From nothing: a fresh zeroed block.
    ASSERT_EQ(PlatformReallocateMemory(nullptr, &none, 0, 3, FALSE, TRUE, TAG_ZV05), STATUS_SUCCESS);
    EXPECT_EQ(std::memcmp(none, "\0\0\0", 3), 0);
    PlatformFreeMemory(none, 3);
    PlatformFreeMemory(block, 2);
}

TEST(MemoryWrappers, NullAndZeroLengthDoNothing)
{
    char buffer[4] = {'w', 'x', 'y', 'z'};
    PlatformMoveMemory(buffer, "ab", 0);
    PlatformMoveMemory(buffer, nullptr, 2);
    PlatformMoveMemory(nullptr, "ab", 2);
    PlatformZeroMemory(buffer, 0);
    PlatformZeroMemory(nullptr, 4);
    PlatformFillMemory(nullptr, 4, 0x55);
    EXPECT_EQ(std::memcmp(buffer, "wxyz", 4), 0);
    PlatformMoveMemory(buffer + 1, buffer, 3);  // overlapping ranges
    EXPECT_EQ(std::memcmp(buffer, "wwxy", 4), 0);
    PlatformFillMemory(buffer, 2, 'q');
    EXPECT_EQ(std::memcmp(buffer, "qqxy", 4), 0);
    PlatformZeroMemory(buffer, 4);
    EXPECT_EQ(std::memcmp(buffer, "\0\0\0\0", 4), 0);
}

TEST(MemoryWrappers, CompareAndEqual)
{
    struct Case {
        const char* a;
        const char* b;
        ULONG length;
        ULONG compare;
        BOOLEAN equal;
    } cases[] = {
        {"abc", "abd", 3, 2, FALSE},
        {"abd", "abc", 3, 1, FALSE},
        {"abd", "abc", 2, 0, TRUE},
        {"abc", "abd", 0, 0, TRUE},
        {"\x80", "\x7f", 1, 1, FALSE},  // bytes compare unsigned
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareMemoryBytes(c.a, c.b, c.length), c.compare) << c.a << " " << c.b << " " << c.length;
        EXPECT_EQ(PlatformEqualMemory(c.a, c.b, c.length), c.equal) << c.a << " " << c.b << " " << c.length;
    }
}

TEST(MemoryWrappers, ReaderWriterLockRecordsTheKindOfHold)
{
    NDIS_RW_LOCK lock;
    NdisInitializeReadWriteLock(&lock);
    PLATFORM_RW_LOCK_STATE first{}, second{}, writer{};
    PlatformAcquireRWLockForRead(&lock, &first);
    PlatformAcquireRWLockForRead(&lock, &second);  // readers share
    EXPECT_EQ(first.ReadHold, 1);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    PlatformReleaseRWLock(&lock, &second);
    PlatformReleaseRWLock(&lock, &first);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    PlatformAcquireRWLockForWrite(&lock, &writer);
    EXPECT_EQ(writer.ReadHold, 0);
    PlatformReleaseRWLock(&lock, &writer);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

}  // namespace
