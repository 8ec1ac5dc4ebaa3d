// DMA enablers and common buffers: the enabler's width and lengths, common buffers page-aligned,
// zeroed and below the width without crossing 4 GiB (also when placed above 4 GiB), the device's
// translation failing loudly outside live buffers, buffers going with their parent, the fault
// point and the size limit, and host memory the harness registers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kshim/host/dma.h"
#include "kshim/wdf.h"
#include "wdf_fixture.h"
#include "wdf_interrupt_device.h"

namespace {

using kshim_test::ViolationRecorder;

constexpr uint64_t k4GiB = 0x100000000ull;

uint64_t Bus(WDFCOMMONBUFFER buffer)
{
    return static_cast<uint64_t>(WdfCommonBufferGetAlignedLogicalAddress(buffer).QuadPart);
}

class DmaTest : public hwtest::ToyDeviceTest {
protected:
    WDFDMAENABLER Enabler(WDF_DMA_PROFILE profile, ULONG width)
    {
        WDF_DMA_ENABLER_CONFIG config;
        WDF_DMA_ENABLER_CONFIG_INIT(&config, profile, 4096);
        config.AddressWidthOverride = width;
        config.WdmDmaVersionOverride = 3;
        config.Flags = 2;
        WDFDMAENABLER enabler = nullptr;
        EXPECT_EQ(WdfDmaEnablerCreate(device_, &config, WDF_NO_OBJECT_ATTRIBUTES, &enabler), STATUS_SUCCESS);
        return enabler;
    }
    WDFCOMMONBUFFER Buffer(WDFDMAENABLER enabler, size_t length, NTSTATUS expected = STATUS_SUCCESS)
    {
        WDFCOMMONBUFFER buffer = nullptr;
        EXPECT_EQ(WdfCommonBufferCreate(enabler, length, WDF_NO_OBJECT_ATTRIBUTES, &buffer), expected) << length;
        return buffer;
    }
};

TEST_F(DmaTest, EnablerKeepsItsLengthsAndScatterGatherLimit)
{
    WDFDMAENABLER enabler = Enabler(WdfDmaProfileScatterGather64, 34);
    ASSERT_NE(enabler, nullptr);
    EXPECT_EQ(WdfDmaEnablerGetFragmentLength(enabler, WdfDmaDirectionReadFromDevice), 4096u);
    EXPECT_EQ(WdfDmaEnablerGetFragmentLength(enabler, WdfDmaDirectionWriteToDevice), 4096u);
    EXPECT_EQ(WdfDmaEnablerGetMaximumLength(enabler), 4096u);
    EXPECT_EQ(WdfDmaEnablerGetMaximumScatterGatherElements(enabler), 0xFFFFFFFFu);
    WdfDmaEnablerSetMaximumScatterGatherElements(enabler, 2);
    EXPECT_EQ(WdfDmaEnablerGetMaximumScatterGatherElements(enabler), 2u);
    WdfDeviceSetAlignmentRequirement(device_, 31);
}

TEST_F(DmaTest, EnablerConfigurationIsChecked)
{
    struct Case {
        WDF_DMA_PROFILE profile;
        size_t maximumLength;
        ULONG width;
        ULONG size;
        NTSTATUS expected;
    };
    const Case cases[] = {
        {WdfDmaProfileScatterGather, 4096, 32, sizeof(WDF_DMA_ENABLER_CONFIG), STATUS_SUCCESS},
        {WdfDmaProfileScatterGather, 4096, 34, sizeof(WDF_DMA_ENABLER_CONFIG), STATUS_INVALID_PARAMETER},
        {WdfDmaProfileScatterGather64, 4096, 64, sizeof(WDF_DMA_ENABLER_CONFIG), STATUS_SUCCESS},
        {WdfDmaProfileScatterGather64, 4096, 16, sizeof(WDF_DMA_ENABLER_CONFIG), STATUS_INVALID_PARAMETER},
        {WdfDmaProfileScatterGather64, 0, 34, sizeof(WDF_DMA_ENABLER_CONFIG), STATUS_INVALID_PARAMETER},
        {WdfDmaProfileInvalid, 4096, 0, sizeof(WDF_DMA_ENABLER_CONFIG), STATUS_INVALID_PARAMETER},
        {WdfDmaProfileScatterGather, 4096, 0, 4, STATUS_INFO_LENGTH_MISMATCH},
    };
    for (const Case& c : cases) {
        WDF_DMA_ENABLER_CONFIG config;
        WDF_DMA_ENABLER_CONFIG_INIT(&config, c.profile, c.maximumLength);
        config.AddressWidthOverride = c.width;
        config.Size = c.size;
        WDFDMAENABLER enabler = nullptr;
        EXPECT_EQ(WdfDmaEnablerCreate(device_, &config, WDF_NO_OBJECT_ATTRIBUTES, &enabler), c.expected)
            << c.profile << " width " << c.width;
        EXPECT_EQ(enabler != nullptr, NT_SUCCESS(c.expected));
    }
    WDF_DMA_ENABLER_CONFIG config;
    WDF_DMA_ENABLER_CONFIG_INIT(&config, WdfDmaProfileScatterGather, 4096);
    kshim::host::FaultArm("wdf.dmaenabler", "", 1, STATUS_INSUFFICIENT_RESOURCES);
    WDFDMAENABLER enabler = nullptr;
    EXPECT_EQ(WdfDmaEnablerCreate(device_, &config, WDF_NO_OBJECT_ATTRIBUTES, &enabler), STATUS_INSUFFICIENT_RESOURCES);
}

TEST_F(DmaTest, CommonBuffersArePageAlignedZeroedAndTheDeviceReachesThemByBusAddress)
{
    WDFDMAENABLER enabler = Enabler(WdfDmaProfileScatterGather, 32);
    size_t before = kshim::host::DmaLiveCommonBuffers();
    for (size_t length : {size_t{1}, size_t{4096}, size_t{65520}, size_t{1473840}}) {
        WDFCOMMONBUFFER buffer = Buffer(enabler, length);
        ASSERT_NE(buffer, nullptr);
        auto* va = static_cast<uint8_t*>(WdfCommonBufferGetAlignedVirtualAddress(buffer));
        uint64_t la = Bus(buffer);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(va) % 4096, 0u);
        EXPECT_EQ(la % 4096, 0u);
        EXPECT_NE(la, 0u);
        EXPECT_LE(la + length, k4GiB);
        EXPECT_EQ(WdfCommonBufferGetLength(buffer), length);
        EXPECT_EQ(std::vector<uint8_t>(va, va + length), std::vector<uint8_t>(length, 0));
        // The device sees what the driver wrote, and the driver what the device wrote.
        va[length - 1] = 0x5A;
        uint8_t seen = 0;
        ASSERT_TRUE(kshim::host::DmaRead(la + length - 1, &seen, 1));
        EXPECT_EQ(seen, 0x5A);
        uint8_t written = 0xC3;
        ASSERT_TRUE(kshim::host::DmaWrite(la, &written, 1));
        EXPECT_EQ(va[0], 0xC3);
        EXPECT_EQ(kshim::host::DmaTranslate(la, length), va);
    }
    EXPECT_EQ(kshim::host::DmaLiveCommonBuffers(), before + 4);
}

TEST_F(DmaTest, BuffersStayBelowTheWidthAndNeverCrossA4GiBBoundary)
{
    WDFDMAENABLER narrow = Enabler(WdfDmaProfileScatterGather, 32);
    WDFDMAENABLER wide = Enabler(WdfDmaProfileScatterGather64, 34);
    kshim::host::DmaSetPlacement({0xFFE00000, 0, SIZE_MAX});
    // 1 MiB fits below 4 GiB; the next 2 MiB would cross it and goes above on the 34-bit enabler...
    WDFCOMMONBUFFER low = Buffer(wide, 0x100000);
    WDFCOMMONBUFFER high = Buffer(wide, 0x200000);
    ASSERT_NE(low, nullptr);
    ASSERT_NE(high, nullptr);
    EXPECT_EQ(Bus(low), 0xFFE00000u);
    EXPECT_EQ(Bus(high), k4GiB);
    // ...while the 32-bit enabler has no room left for it.
    Buffer(narrow, 0x200000, STATUS_INSUFFICIENT_RESOURCES);

    // Everything above 4 GiB: a 34-bit buffer lands there with its high half set, a 32-bit one fails.
    kshim::host::DmaSetPlacement({0x3FFF00000, 0, SIZE_MAX});
    WDFCOMMONBUFFER top = Buffer(wide, 0x80000);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(Bus(top), 0x3FFF00000u);
    EXPECT_EQ(WdfCommonBufferGetAlignedLogicalAddress(top).HighPart, 3);
    Buffer(wide, 0x200000, STATUS_INSUFFICIENT_RESOURCES);  // would end past 2^34
    Buffer(narrow, 0x1000, STATUS_INSUFFICIENT_RESOURCES);

    // Large buffers above 4 GiB, small ones (rings) below.
    kshim::host::DmaSetPlacement({0x20000000, 0x200000000, 0x100000});
    WDFCOMMONBUFFER ring = Buffer(wide, 4094 * 16);
    WDFCOMMONBUFFER pool = Buffer(wide, 16376 * 90);
    WDFCOMMONBUFFER narrowPool = Buffer(narrow, 16376 * 90);
    EXPECT_LT(Bus(ring), k4GiB);
    EXPECT_EQ(Bus(pool), 0x200000000u);
    EXPECT_LT(Bus(narrowPool), k4GiB);
}

TEST_F(DmaTest, DeviceAccessOutsideLiveBuffersIsReported)
{
    ViolationRecorder recorder;
    WDFDMAENABLER enabler = Enabler(WdfDmaProfileScatterGather, 32);
    WDFCOMMONBUFFER a = Buffer(enabler, 100);
    WDFCOMMONBUFFER b = Buffer(enabler, 100);
    uint64_t la = Bus(a);
    uint8_t bytes[8] = {};
    // Past the end, across the end, and in the guard page before the next buffer.
    EXPECT_EQ(kshim::host::DmaTranslate(la + 100, 1), nullptr);
    EXPECT_FALSE(kshim::host::DmaRead(la + 96, bytes, 8));
    EXPECT_FALSE(kshim::host::DmaWrite(la + 4096, bytes, 1));
    EXPECT_GE(Bus(b), la + 8192);
    EXPECT_EQ(recorder.Count("DMA outside any live buffer"), 3u) << recorder.All();
    // A deleted buffer is gone for the device, and its bus range is not handed out again at once.
    WdfObjectDelete(a);
    EXPECT_FALSE(kshim::host::DmaIsMapped(la, 1));
    EXPECT_EQ(kshim::host::DmaTranslate(la, 1), nullptr);
    EXPECT_EQ(recorder.Count("DMA outside any live buffer"), 4u) << recorder.All();
    WDFCOMMONBUFFER c = Buffer(enabler, 100);
    EXPECT_NE(Bus(c), la);
}

TEST_F(DmaTest, BuffersGoWithTheirParent)
{
    size_t before = kshim::host::DmaLiveCommonBuffers();
    WDFDMAENABLER enabler = Enabler(WdfDmaProfileScatterGather, 32);
    WDFCOMMONBUFFER first = Buffer(enabler, 4096);
    Buffer(enabler, 8192);
    uint64_t la = Bus(first);
    // A buffer under another parent goes with that parent.
    WDFSPINLOCK holder = nullptr;
    ASSERT_EQ(WdfSpinLockCreate(WDF_NO_OBJECT_ATTRIBUTES, &holder), STATUS_SUCCESS);
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.ParentObject = holder;
    WDFCOMMONBUFFER held = nullptr;
    ASSERT_EQ(WdfCommonBufferCreate(enabler, 64, &attributes, &held), STATUS_SUCCESS);
    EXPECT_EQ(kshim::host::DmaLiveCommonBuffers(), before + 3);
    WdfObjectDelete(holder);
    EXPECT_EQ(kshim::host::DmaLiveCommonBuffers(), before + 2);
    WdfObjectDelete(enabler);
    EXPECT_EQ(kshim::host::DmaLiveCommonBuffers(), before);
    EXPECT_FALSE(kshim::host::DmaIsMapped(la, 1));
    // Buffers left under a device's enabler go when the device is removed (the unload is clean).
    Buffer(Enabler(WdfDmaProfileScatterGather, 32), 4096);
}

TEST_F(DmaTest, FaultPointAndSizeLimitFailCreation)
{
    WDFDMAENABLER enabler = Enabler(WdfDmaProfileScatterGather64, 34);
    Buffer(enabler, 0, STATUS_INVALID_PARAMETER);
    // The fault point is keyed by the length.
    kshim::host::FaultArm("wdf.commonbuffer", "65520", 1, STATUS_INSUFFICIENT_RESOURCES, 0);
    Buffer(enabler, 65520, STATUS_INSUFFICIENT_RESOURCES);
    Buffer(enabler, 65520, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_NE(Buffer(enabler, 65536), nullptr);
    EXPECT_EQ(kshim::host::FaultFired("wdf.commonbuffer"), 2u);
    // Longer than the machine's limit: 0xC000009A, as the halving retries expect.
    kshim::host::DmaSetCommonBufferLimit(0x100000);
    Buffer(enabler, 16380 * 16, STATUS_SUCCESS);
    Buffer(enabler, 0x100001, STATUS_INSUFFICIENT_RESOURCES);
}

TEST_F(DmaTest, AlignmentRequirementAboveAPageAlignsBuffersToIt)
{
    WdfDeviceSetAlignmentRequirement(device_, 0x3FFF);
    WDFDMAENABLER enabler = Enabler(WdfDmaProfileScatterGather, 32);
    for (int i = 0; i < 3; ++i) {
        WDFCOMMONBUFFER buffer = Buffer(enabler, 100);
        EXPECT_EQ(Bus(buffer) % 0x4000, 0u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(WdfCommonBufferGetAlignedVirtualAddress(buffer)) % 0x4000, 0u);
    }
}

TEST(DmaSpace, RegisteredHostMemoryKeepsItsPageOffsetUntilUnregistered)
{
    ViolationRecorder recorder;
    std::vector<uint8_t> memory(8192, 0);
    size_t regions = kshim::host::DmaLiveRegions();
    uint64_t bus = kshim::host::DmaRegister(memory.data() + 5, 100);
    ASSERT_NE(bus, 0u);
    EXPECT_EQ(bus % 4096, reinterpret_cast<uintptr_t>(memory.data() + 5) % 4096);
    EXPECT_EQ(kshim::host::DmaLiveRegions(), regions + 1);
    const uint8_t data[3] = {1, 2, 3};
    ASSERT_TRUE(kshim::host::DmaWrite(bus + 97, data, 3));
    EXPECT_EQ(memory[5 + 99], 3);
    EXPECT_FALSE(kshim::host::DmaIsMapped(bus - 1, 1));
    EXPECT_FALSE(kshim::host::DmaIsMapped(bus + 98, 3));
    kshim::host::DmaUnregister(bus);
    EXPECT_EQ(kshim::host::DmaLiveRegions(), regions);
    EXPECT_FALSE(kshim::host::DmaRead(bus, memory.data(), 1));
    EXPECT_EQ(recorder.Count("DMA outside any live buffer"), 1u) << recorder.All();
    // Registered with a 32-bit device in mind, memory stays below 4 GiB even when placement is high.
    kshim::host::DmaSetPlacement({0x300000000, 0, SIZE_MAX});
    EXPECT_EQ(kshim::host::DmaRegister(memory.data(), 64, 32), 0u);
    uint64_t high = kshim::host::DmaRegister(memory.data(), 64, 64);
    EXPECT_GE(high, 0x300000000u);
    kshim::host::DmaUnregister(high);
    kshim::host::DmaResetDefaults();
}

}  // namespace
