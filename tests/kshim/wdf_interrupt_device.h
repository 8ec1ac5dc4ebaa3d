// Shared by the tests of interrupt objects and DMA: a loaded toy driver with one added device to
// hang interrupt objects and DMA enablers on, and a PCI function that does nothing but raise its
// interrupt.
#pragma once

#include <gtest/gtest.h>

#include "kshim/host/control.h"
#include "kshim/host/dma.h"
#include "kshim/host/os.h"
#include "kshim/host/pci_device.h"
#include "toy_driver.h"

namespace hwtest {

class ToyDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        toy::Reset();
        ASSERT_EQ(os_.Load(&toy::ToyDriverEntry, u"qzltoy"), STATUS_SUCCESS);
        dev_ = os_.AddDevice();
        ASSERT_NE(dev_, nullptr);
        device_ = dev_->Handle();
        ASSERT_NE(device_, nullptr);
    }
    void TearDown() override
    {
        kshim::host::UnloadReport report = os_.Unload();
        EXPECT_TRUE(report.clean) << report.text;
        kshim::host::FaultClearAll();
        kshim::host::DmaResetDefaults();
    }

    kshim::host::Os os_;
    kshim::host::OsDevice* dev_ = nullptr;
    WDFDEVICE device_ = nullptr;
};

// A PCI function without registers: all it does is raise its interrupt when told.
class InterruptOnlyFunction : public kshim::host::PciDevice {
public:
    uint32_t ConfigRead(uint32_t, void*, uint32_t) override { return 0; }
    uint32_t ConfigWrite(uint32_t, const void*, uint32_t) override { return 0; }
    uint64_t BarSize(unsigned) const override { return 0; }
    uint64_t MmioRead(unsigned, uint64_t, unsigned) override { return 0; }
    void MmioWrite(unsigned, uint64_t, unsigned, uint64_t) override {}
};

}  // namespace hwtest
