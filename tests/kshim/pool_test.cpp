// Pool: zero fill, per-tag accounting, the tagged fault point, misuse reports.
#include <gtest/gtest.h>

#include <vector>

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

}  // namespace
