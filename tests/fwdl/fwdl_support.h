// Shared pieces of the firmware-file tests: a fixture that owns an adapter's firmware-file block,
// loads containers into it as the bring-up would, and checks that no firmware-file memory is left.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fw/image_builder.h"
#include "hal/common/fwfile.h"
#include "hal/common/fwimage.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/memory.h"

namespace fwdl {

// The allocator's retries: a fault that must fail one allocation fails this many pool calls.
constexpr unsigned kPoolAttempts = 6;

class FwFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memset(&files, 0, sizeof(files));
        zv53 = kshim::host::PoolOutstandingBlocksWithTag("ZV53");
        zv99 = kshim::host::PoolOutstandingBlocksWithTag("ZV99");
    }

    void TearDown() override
    {
        HalFreeBigFW(&files);
        AsicArvel2xFreeFwImageCache();
        kshim::host::FaultClearAll();
        EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV53"), zv53) << kshim::host::PoolLeakReport();
        EXPECT_EQ(kshim::host::PoolOutstandingBlocksWithTag("ZV99"), zv99) << kshim::host::PoolLeakReport();
    }

    // Gives the block a container as the bring-up does: a whole file in an allocator block.
    void Load(bool wifi, const std::vector<uint8_t>& bytes)
    {
        ASSERT_FALSE(bytes.empty());
        PVOID block = nullptr;
        ASSERT_EQ(PlatformAllocateMemory(nullptr, &block, static_cast<ULONG>(bytes.size()), TAG_ZV53), STATUS_SUCCESS);
        std::memcpy(block, bytes.data(), bytes.size());
        HalFwSetContainer(&files, wifi ? TRUE : FALSE, static_cast<PUCHAR>(block), static_cast<ULONG>(bytes.size()));
    }

    // HalLoadBigFW as a byte vector; empty when it found nothing.
    std::vector<uint8_t> LoadBig(ULONG fwBin, const char* name)
    {
        ULONG size = 0;
        PUCHAR copy = HalLoadBigFW(&files, fwBin, name, &size);
        if (copy == nullptr) {
            return {};
        }
        std::vector<uint8_t> out(copy, copy + size);
        PlatformFreeMemory(copy, size);
        return out;
    }

    FW_FILE_BLOCK files;
    uint64_t zv53 = 0;
    uint64_t zv99 = 0;
};

inline const ULONG* AsUlong(const void* p) { return static_cast<const ULONG*>(p); }

}  // namespace fwdl
