// Pool: zero fill, per-tag accounting, the tagged fault point, misuse reports, and the memory checks
// that still reach pool blocks (overflow and use after free reported, freed memory not handed out
// again at once, the memory held bounded).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "../../kshim/src/pool_arena.h"
#include "kshim/ex.h"
#include "kshim/host/control.h"
#include "recorder.h"

namespace {

using kshim::test::ViolationRecorder;

constexpr ULONG kTagA = KSHIM_TAG('Z', 'V', 't', '1');
constexpr ULONG kTagB = KSHIM_TAG('Z', 'V', 't', '2');

uint64_t OutstandingBytes(const std::string& tag)
{
    for (const auto& c : kshim::host::PoolCounts()) {
        if (c.tag == tag) {
            return c.outstandingBytes;
        }
    }
    return 0;
}

TEST(Pool, AllocationsAreZeroFilledAndCountedPerTag)
{
    auto* p = static_cast<UCHAR*>(ExAllocatePool2(POOL_FLAG_NON_PAGED, 4096, kTagA));
    auto* q = static_cast<UCHAR*>(ExAllocatePool2(POOL_FLAG_NON_PAGED, 100, kTagA));
    auto* r = ExAllocatePool2(POOL_FLAG_NON_PAGED, 7, kTagB);
    ASSERT_NE(p, nullptr);
    ASSERT_NE(q, nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(std::vector<UCHAR>(p, p + 4096), std::vector<UCHAR>(4096, 0));
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZVt1"), 2u);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZVt2"), 1u);
    EXPECT_EQ(OutstandingBytes("ZVt1"), 4196u);
    EXPECT_NE(kshim::host::PoolLeakReport().find("ZVt2 7"), std::string::npos);
    ExFreePoolWithTag(p, kTagA);
    ExFreePoolWithTag(q, kTagA);
    ExFreePoolWithTag(r, kTagB);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZVt1"), 0u);
    EXPECT_EQ(OutstandingBytes("ZVt1"), 0u);
}

TEST(Pool, FaultPointFailsExactlyTheNthAllocationWithTheTag)
{
    kshim::host::FaultArm("pool", "ZVt1", 3);
    std::vector<PVOID> a, b;
    for (int i = 0; i < 5; ++i) {
        a.push_back(ExAllocatePool2(POOL_FLAG_NON_PAGED, 16, kTagA));
        b.push_back(ExAllocatePool2(POOL_FLAG_NON_PAGED, 16, kTagB));  // other tags are not counted
    }
    kshim::host::FaultClearAll();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(a[i] == nullptr, i == 2) << "allocation " << i + 1;
        EXPECT_NE(b[i], nullptr);
        if (a[i] != nullptr) {
            ExFreePoolWithTag(a[i], kTagA);
        }
        ExFreePoolWithTag(b[i], kTagB);
    }
}

TEST(Pool, FreeWithAnotherTagOrOfNullIsReported)
{
    ViolationRecorder recorder;
    PVOID p = ExAllocatePool2(POOL_FLAG_NON_PAGED, 8, kTagA);
    ExFreePoolWithTag(p, kTagB);
    ExFreePoolWithTag(nullptr, kTagA);
    auto seen = recorder.Take();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].what, "pool block freed with another tag");
    EXPECT_EQ(seen[0].detail, "allocated with ZVt1, freed with ZVt2");
    EXPECT_EQ(seen[1].what, "free of a null pool block");
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZVt1"), 0u) << "the block is still released";
}

TEST(Pool, FreeOfWhatIsNotALiveBlockIsReportedAndChangesNothing)
{
    ViolationRecorder recorder;
    auto* live = static_cast<UCHAR*>(ExAllocatePool2(POOL_FLAG_NON_PAGED, 200, kTagA));
    auto* freed = static_cast<UCHAR*>(ExAllocatePool2(POOL_FLAG_NON_PAGED, 200, kTagA));
    auto* large = static_cast<UCHAR*>(ExAllocatePool2(POOL_FLAG_NON_PAGED, 600000, kTagA));
    ExFreePoolWithTag(freed, kTagA);
    ASSERT_TRUE(recorder.Take().empty());
    UCHAR onStack[64] = {};
    std::vector<UCHAR> onHeap(64);
    const struct {
        const char* what;
        void* p;
    } cases[] = {
        {"a block freed before", freed},
        {"16 bytes into a live block", live + 16},
        {"8 bytes into a live block", live + 8},
        {"the header's place in front of a live block", live - 32},
        {"16 bytes into a large block", large + 16},
        {"memory on the stack", onStack},
        {"memory of the host's heap", onHeap.data()},
    };
    for (const auto& c : cases) {
        ExFreePoolWithTag(c.p, kTagA);
        auto seen = recorder.Take();
        ASSERT_EQ(seen.size(), 1u) << c.what;
        EXPECT_EQ(seen[0].what, "free of memory that is not a live pool block") << c.what;
        EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZVt1"), 2u) << c.what;
    }
    EXPECT_EQ(OutstandingBytes("ZVt1"), 600200u);
    ExFreePoolWithTag(live, kTagA);
    ExFreePoolWithTag(large, kTagA);
    EXPECT_TRUE(recorder.Take().empty());
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZVt1"), 0u);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

enum class Misuse { WriteAfterEnd, ReadBeforeStart, ReadAfterFree, WriteAfterFree };

struct MisuseCase {
    const char* name;
    SIZE_T size;
    Misuse misuse;
};

// Does one misuse of a fresh block; under AddressSanitizer the process dies with its report.
void Misbehave(const MisuseCase& c)
{
    auto* p = static_cast<volatile UCHAR*>(ExAllocatePool2(POOL_FLAG_NON_PAGED, c.size, kTagA));
    auto* neighbour = ExAllocatePool2(POOL_FLAG_NON_PAGED, c.size, kTagA);  // a block right behind it
    (void)neighbour;
    switch (c.misuse) {
    case Misuse::WriteAfterEnd:
        p[c.size] = 1;
        break;
    case Misuse::ReadBeforeStart:
        (void)p[-1];
        break;
    case Misuse::ReadAfterFree:
        ExFreePoolWithTag(const_cast<UCHAR*>(p), kTagA);
        (void)p[0];
        break;
    case Misuse::WriteAfterFree:
        ExFreePoolWithTag(const_cast<UCHAR*>(p), kTagA);
        p[c.size - 1] = 1;
        break;
    }
}

TEST(PoolDeathTest, OverflowAndUseAfterFreeOfABlockAreReported)
{
    if (!kAddressSanitizer) {
        GTEST_SKIP() << "built without AddressSanitizer";
    }
    const MisuseCase cases[] = {
        {"one past the end of a 100-byte block", 100, Misuse::WriteAfterEnd},
        {"one past the end of a 16-byte block", 16, Misuse::WriteAfterEnd},
        {"one before a 300-byte block", 300, Misuse::ReadBeforeStart},
        {"a freed 300-byte block read", 300, Misuse::ReadAfterFree},
        {"a freed 7-byte block written", 7, Misuse::WriteAfterFree},
        {"one past the end of a 1 MiB block", 1u << 20, Misuse::WriteAfterEnd},
        {"a freed 1 MiB block written", 1u << 20, Misuse::WriteAfterFree},
    };
    // The dying children need not symbolise their reports: only the kind of report is looked at.
    const char* options = std::getenv("ASAN_OPTIONS");
    const std::string saved = options != nullptr ? options : "";
    setenv("ASAN_OPTIONS", (saved.empty() ? "symbolize=0" : saved + ":symbolize=0").c_str(), 1);
    for (const MisuseCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_DEATH(Misbehave(c), "AddressSanitizer: use-after-poison");
    }
    if (options != nullptr) {
        setenv("ASAN_OPTIONS", saved.c_str(), 1);
    } else {
        unsetenv("ASAN_OPTIONS");
    }
}

TEST(Pool, FreedMemoryIsNotHandedOutAgainAtOnceAndWhatIsHeldStaysBounded)
{
    // Blocks of a few sizes, filled and freed over and over: 96 MiB in all, three times what freed
    // memory may be held back.
    const SIZE_T sizes[] = {24, 300, 1000, 4096, 300000};
    std::set<const void*> recent;
    SIZE_T total = 0;
    size_t most = 0;
    for (int round = 0; total < (SIZE_T{96} << 20); ++round) {
        const SIZE_T size = sizes[round % 5];
        auto* p = static_cast<UCHAR*>(ExAllocatePool2(POOL_FLAG_NON_PAGED, size, kTagA));
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p[0] | p[size / 2] | p[size - 1], 0) << "block " << round << " reads as zero";
        ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
        if (total < (SIZE_T{8} << 20)) {
            EXPECT_TRUE(recent.insert(p).second) << "block " << round << " got a freed block's address";
        }
        std::memset(p, 0xFF, size);
        ExFreePoolWithTag(p, kTagA);
        total += size;
        most = std::max(most, kshim::pool::Counts().mappedBytes);
    }
    EXPECT_LE(most, SIZE_T{40} << 20);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZVt1"), 0u);
}

}  // namespace
