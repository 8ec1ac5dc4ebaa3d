// MLME frame buffers, the header and frame builders and the pseudo-random bytes.
#include "mlme/mlme_fixture.h"

namespace mlmetest {
namespace {

class MlmeBuffers : public MlmeTest {
protected:
    void SetUp() override
    {
        MlmeTest::SetUp();
        ASSERT_EQ(MlmeInitMemoryHandler(adapter_, MLME_BUFFER_INITIAL_BLOCKS, MLME_BUFFER_SIZE), STATUS_SUCCESS);
    }
    void TearDown() override
    {
        MlmeFreeMemoryHandler(adapter_);
        MlmeTest::TearDown();
    }
    const MLME_BUFFER_POOL& Pool() { return adapter_->Mlme.BufferPool; }
};

TEST_F(MlmeBuffers, ThePoolGrowsByOneBlockWhenEmptyAndKeepsItsBlocks)
{
    std::vector<PUCHAR> buffers;
    for (ULONG i = 0; i < 21; ++i) {
        PUCHAR buffer = nullptr;
        ASSERT_EQ(MlmeAllocateMemoryEx(adapter_, 0x100 + i, &buffer), STATUS_SUCCESS);
        ASSERT_NE(buffer, nullptr);
        buffer[0] = static_cast<UCHAR>(i);
        buffer[MLME_BUFFER_SIZE - 1] = static_cast<UCHAR>(i);
        buffers.push_back(buffer);
    }
    EXPECT_EQ(Pool().BlocksCreated, 21u);
    EXPECT_EQ(Pool().FreeCount, 0u);
    EXPECT_EQ(Pool().UsedCount, 21u);
    EXPECT_EQ(CONTAINING_RECORD(buffers[20], MLME_BUFFER_BLOCK, Buffer)->OwnerTag, 0x114u);
    for (PUCHAR buffer : buffers) {
        MlmeFreeMemory(adapter_, buffer);
    }
    EXPECT_EQ(Pool().BlocksCreated, 21u);
    EXPECT_EQ(Pool().FreeCount, 21u);
    EXPECT_EQ(Pool().UsedCount, 0u);
    EXPECT_EQ(CONTAINING_RECORD(buffers[0], MLME_BUFFER_BLOCK, Buffer)->OwnerTag, 0u);
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV05"), 21u);

    // The free list is first in, first out: the first block freed is the first handed out again.
    PUCHAR again = nullptr;
    ASSERT_EQ(MlmeAllocateMemoryEx(adapter_, 7, &again), STATUS_SUCCESS);
    EXPECT_EQ(again, buffers[0]);
    MlmeFreeMemory(adapter_, again);
}

TEST_F(MlmeBuffers, FreesThatWouldCorruptThePoolAreIgnored)
{
    PUCHAR buffer = nullptr;
    ASSERT_EQ(MlmeAllocateMemoryEx(adapter_, 1, &buffer), STATUS_SUCCESS);
    MlmeFreeMemory(adapter_, buffer);
    MlmeFreeMemory(adapter_, buffer);  // twice
    EXPECT_EQ(Pool().FreeCount, 20u);
    EXPECT_EQ(Pool().UsedCount, 0u);
    EXPECT_TRUE(kshim::host::TraceContains("already free"));

    ASSERT_EQ(MlmeAllocateMemoryEx(adapter_, 2, &buffer), STATUS_SUCCESS);
    PMLME_BUFFER_BLOCK block = CONTAINING_RECORD(buffer, MLME_BUFFER_BLOCK, Buffer);
    block->Magic = 0xDEADBEEF;  // corrupted
    MlmeFreeMemory(adapter_, buffer);
    EXPECT_EQ(Pool().UsedCount, 1u);
    EXPECT_TRUE(kshim::host::TraceContains("magic 0xDEADBEEF"));
    block->Magic = MLME_BUFFER_MAGIC;
    MlmeFreeMemory(adapter_, buffer);
    EXPECT_EQ(Pool().UsedCount, 0u);

    MlmeFreeMemory(adapter_, nullptr);
    EXPECT_EQ(Pool().FreeCount, 20u);
}

TEST_F(MlmeBuffers, TeardownReclaimsBuffersInUseAndThenRefusesEverything)
{
    PUCHAR kept = nullptr;
    ASSERT_EQ(MlmeAllocateMemoryEx(adapter_, 0xAB, &kept), STATUS_SUCCESS);
    MlmeFreeMemoryHandler(adapter_);
    EXPECT_TRUE(kshim::host::TraceContains("MLME buffer of 0x000000AB still in use at halt"));
    EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV05"), 0u);
    EXPECT_EQ(Pool().Ready, 0);

    PUCHAR buffer = reinterpret_cast<PUCHAR>(1);
    EXPECT_EQ(MlmeAllocateMemoryEx(adapter_, 1, &buffer), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(buffer, nullptr);
    kshim::host::TraceClear();
    MlmeFreeMemory(adapter_, kept);  // the block is gone: only traced, never touched
    EXPECT_TRUE(kshim::host::TraceContains("pool not ready"));
    // The fixture's teardown calls the handler again: nothing is left to free.
}

TEST_F(MlmeBuffers, AGrowthThatFailsGivesTheAllocatorsStatus)
{
    std::vector<PUCHAR> buffers(20);
    for (PUCHAR& buffer : buffers) {
        ASSERT_EQ(MlmeAllocateMemoryEx(adapter_, 1, &buffer), STATUS_SUCCESS);
    }
    kshim::host::FaultArm("pool", "ZV05", 1, STATUS_INSUFFICIENT_RESOURCES, 6);
    PUCHAR extra = nullptr;
    EXPECT_EQ(MlmeAllocateMemoryEx(adapter_, 1, &extra), STATUS_UNSUCCESSFUL);  // the allocator's status
    EXPECT_EQ(extra, nullptr);
    EXPECT_EQ(Pool().BlocksCreated, 20u);
    EXPECT_EQ(Pool().UsedCount, 20u);
    for (PUCHAR buffer : buffers) {
        MlmeFreeMemory(adapter_, buffer);
    }
}

TEST_F(MlmeBuffers, ManagementHeader)
{
    MP_PORT* port = AddPort(0, EXTSTA);
    HEADER_802_11 header;
    std::memset(&header, 0xEE, sizeof(header));
    const UCHAR da[6] = {1, 2, 3, 4, 5, 6};
    BuildMgmtMacHeader(adapter_, port, &header, 13, 0, da, kAp);
    EXPECT_EQ(header.FrameControl, 0x00D0);
    EXPECT_EQ(header.Duration, 0);
    EXPECT_EQ(header.SequenceControl, 0);
    EXPECT_EQ(0, std::memcmp(header.Addr1, da, 6));
    EXPECT_EQ(0, std::memcmp(header.Addr2, port->MacAddress, 6));
    EXPECT_EQ(0, std::memcmp(header.Addr3, kAp, 6));
    // Bytes on the air: frame control low byte first.
    auto* bytes = reinterpret_cast<const UCHAR*>(&header);
    EXPECT_EQ(bytes[0], 0xD0);
    EXPECT_EQ(bytes[1], 0x00);

    BuildMgmtMacHeader(adapter_, port, &header, 0x1C, 3, da, kAp);  // subtype and To DS masked
    EXPECT_EQ(header.FrameControl, 0x01C0);
}

TEST_F(MlmeBuffers, FrameFromParts)
{
    UCHAR buffer[MLME_BUFFER_SIZE];
    ULONG length = 99;
    EXPECT_EQ(BuildFrameFromParts(buffer, &length, END_OF_ARGS), 0u);
    EXPECT_EQ(length, 0u);

    const UCHAR a[3] = {1, 2, 3};
    const UCHAR b[2] = {4, 5};
    EXPECT_EQ(BuildFrameFromParts(buffer, &length, 3u, a, 0u, b, 2u, b, END_OF_ARGS), 5u);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(0, std::memcmp(buffer, "\x01\x02\x03\x04\x05", 5));

    // A frame that would not fit an MLME buffer is refused whole.
    std::vector<UCHAR> big(2000, 0x77);
    std::memset(buffer, 0, sizeof(buffer));
    EXPECT_EQ(BuildFrameFromParts(buffer, &length, 2000u, big.data(), 48u, big.data(), END_OF_ARGS), 2048u);
    EXPECT_EQ(BuildFrameFromParts(buffer + 0, &length, 2000u, big.data(), 49u, big.data(), END_OF_ARGS), 0u);
    EXPECT_EQ(length, 0u);
}

TEST_F(MlmeBuffers, PseudoRandomBytes)
{
    LfsrSeedSet(adapter_, 0);
    EXPECT_EQ(adapter_->RandomSeed, 1u);
    EXPECT_EQ(RandomOctetGet(adapter_), 0xD3);
    EXPECT_EQ(adapter_->RandomSeed, 0xAE80003Cu);

    LfsrSeedSet(adapter_, 0x12345678u);
    EXPECT_EQ(adapter_->RandomSeed, 0x12345678u);

    // Unseeded with a clock whose low 32 bits are zero: seeded, never left at zero.
    kshim::host::ClockSetManual();
    kshim::host::ClockSetSystemTime(0x1234500000000ll);
    adapter_->RandomSeed = 0;
    (void)RandomOctetGet(adapter_);
    EXPECT_NE(adapter_->RandomSeed, 0u);
    kshim::host::ClockSetAuto();
}

}  // namespace
}  // namespace mlmetest
