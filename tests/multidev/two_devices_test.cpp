// Two devices of different generations in one driver: both are added and brought up side by side,
// each keeps its own preparation state, packet pools and queues, bring-up progress and control path,
// and when one is removed the other goes on working (a new power-up downloads its firmware again and
// its packet pools stay whole), and the driver unloads clean.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bringup/bringup_support.h"
#include "platform/ndiscommon/dmaq.h"
#include "platform/ndiscommon/ndiscommoninit.h"

namespace {

class TwoDevices : public bringup::BringUpTest {
protected:
    void TearDown() override
    {
        if (second_ != nullptr) {
            os_.Remove(second_);
            second_ = nullptr;
        }
        bringup::BringUpTest::TearDown();
        if (secondFirmware_) {
            for (const std::string& fault : secondFirmware_->Faults()) {
                ADD_FAILURE() << "second firmware fault: " << fault;
            }
        }
        secondFirmware_.reset();
        secondChip_.reset();
    }

    // A second simulated chip with its firmware and a device over it, at a BAR of its own (after
    // AddDevice, whose images the package keeps).
    void AddSecondDevice(USHORT deviceId)
    {
        secondChip_ = std::make_unique<sim::chip::Chip>(deviceId);
        secondFirmware_ = std::make_unique<sim::fw::ChipFirmware>(*secondChip_);
        std::vector<sim::fw::NamedImage> images = sim::fw::StandardImages(HalChipCodeOfDeviceId(deviceId));
        // One installed package holds the images of both chips.
        std::vector<sim::fw::NamedImage> package = images_;
        package.insert(package.end(), images.begin(), images.end());
        ASSERT_TRUE(sim::fw::WritePackage(package));
        secondFirmware_->Expect(images);
        kshim::host::DeviceConfig config;
        config.name = "device1";
        config.pci = secondChip_.get();
        second_ = os_.AddDevice(config);
        ASSERT_EQ(second_->AddStatus(), STATUS_SUCCESS);
    }

    MP_ADAPTER* SecondAdapter() const { return QZCxGetAdapter(second_->Handle()); }

    static size_t RamCommands(const sim::fw::ChipFirmware& firmware, bool unified)
    {
        size_t n = 0;
        for (const sim::fw::RamExchange& e : const_cast<sim::fw::ChipFirmware&>(firmware).Ram().Exchanges()) {
            if (e.ramPhase && e.unified == unified) {
                ++n;
            }
        }
        return n;
    }

    static bool Prepared(const MP_ADAPTER* a)
    {
        return a->Switches.ResourcesAllocated && a->Switches.PciInterfaceStarted &&
               a->Switches.SpinLocksAndChipRegistered && a->Switches.InterruptRegistered;
    }

    std::unique_ptr<sim::chip::Chip> secondChip_;
    std::unique_ptr<sim::fw::ChipFirmware> secondFirmware_;
    kshim::host::OsDevice* second_ = nullptr;
};

TEST_F(TwoDevices, BothGenerationsComeUpSideBySideAndTheSurvivorKeepsWorking)
{
    AddDevice(0x3502);
    ASSERT_NO_FATAL_FAILURE(AddSecondDevice(0x3602));
    if (os_.Start(device_) != STATUS_SUCCESS) {
        for (const auto& r : kshim::host::TraceSnapshot()) {
            if (r.level <= TRACE_LEVEL_WARNING) {
                ADD_FAILURE() << r.function << ": " << r.text;
            }
        }
        FAIL();
    }
    ASSERT_EQ(os_.Start(second_), STATUS_SUCCESS);

    MP_ADAPTER* a = Adapter();
    MP_ADAPTER* b = SecondAdapter();
    ASSERT_NE(a, b);
    for (MP_ADAPTER* x : {a, b}) {
        EXPECT_EQ(x->Running, 1u);
        EXPECT_EQ(x->FwDownloaded, 1);
        EXPECT_EQ(x->InitFinished, 1);
        EXPECT_TRUE(Prepared(x));
        EXPECT_EQ(x->BringUp.Progress[BRINGUP_FW_DOWNLOADED], 1);
    }
    // Each chip's firmware took its own generation's commands: legacy frames on the second
    // generation, unified frames on the third.
    Quiesce();
    EXPECT_GT(RamCommands(*firmware_, false), 0u);
    EXPECT_GT(RamCommands(*secondFirmware_, true), 0u);

    // The packet pools are the device's own: a record taken from one leaves the other's count alone.
    const ULONG freeA = TxDmaqGetFreeCount(a, 1);
    const ULONG freeB = TxDmaqGetFreeCount(b, 1);
    EXPECT_GT(freeA, 0u);
    PTX_DMAQ_DESC taken = TxDmaqAlloc(a, 1);
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(TxDmaqGetFreeCount(a, 1), freeA - 1);
    EXPECT_EQ(TxDmaqGetFreeCount(b, 1), freeB);
    TxDmaqFree(a, taken);
    EXPECT_EQ(TxDmaqGetFreeCount(a, 1), freeA);

    // The first device goes; the second keeps its preparation, its pools and its control path.
    os_.Remove(device_);
    device_ = nullptr;
    EXPECT_TRUE(Prepared(b));
    EXPECT_EQ(b->Running, 1u);
    EXPECT_EQ(TxDmaqGetFreeCount(b, 1), freeB);

    // A stop and a new power-up of the survivor download its firmware again.
    const size_t before = RamCommands(*secondFirmware_, true);
    ASSERT_EQ(os_.Stop(second_), STATUS_SUCCESS);
    EXPECT_FALSE(Prepared(b));
    secondFirmware_->PowerCycle();
    ASSERT_EQ(os_.Start(second_), STATUS_SUCCESS);
    b = SecondAdapter();
    EXPECT_TRUE(Prepared(b));
    EXPECT_EQ(b->FwDownloaded, 1);
    EXPECT_EQ(b->BringUp.Progress[BRINGUP_FW_DOWNLOADED], 1);
    EXPECT_TRUE(secondFirmware_->WaitDelivered());
    EXPECT_GT(RamCommands(*secondFirmware_, true), before);
}

TEST_F(TwoDevices, RemovingTheSecondDeviceLeavesTheFirstPreparedAndItsPowerUpState)
{
    AddDevice(0x3602);
    ASSERT_NO_FATAL_FAILURE(AddSecondDevice(0x3502));
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    ASSERT_EQ(os_.Start(second_), STATUS_SUCCESS);
    os_.Remove(second_);
    second_ = nullptr;
    MP_ADAPTER* a = Adapter();
    EXPECT_TRUE(Prepared(a));
    EXPECT_EQ(a->Running, 1u);
    // The survivor's next stop is a full power-down of its own (its first-power-up mark was not
    // cleared by the other device's removal), and it comes back up.
    ASSERT_EQ(Restart(), STATUS_SUCCESS);
    EXPECT_EQ(Adapter()->FwDownloaded, 1);
}

}  // namespace
