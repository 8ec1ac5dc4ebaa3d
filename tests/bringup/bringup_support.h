// The real driver brought up by the simulated OS on a simulated chip with its whole firmware: the
// registry of an installed driver (the configuration tests' fixture), the chip's standard firmware
// package in a file root, the boot ROM
// with its download model and the RAM code on the chip's rings. Each test adds one device, starts it
// through the OS and checks what the driver did, what the firmware received, and that the unload finds
// nothing left.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <cstdio>
#include <string>
#include <vector>

#include "chip/chip.h"
#include "config/config_device.h"
#include "hal/common/hal_chip.h"
#include "fw/image_builder.h"
#include "fw/ram.h"
#include "kshim/host/control.h"
#include "kshim/host/dma.h"
#include "kshim/host/files.h"
#include "kshim/host/os.h"
#include "kshim/host/registry.h"
#include "kshim/trace.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/wificx/wificxmain.h"

namespace bringup {

using config_test::kServiceKey;

class BringUpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::TraceSetLevel(TRACE_LEVEL_VERBOSE);
        kshim::host::TraceSetCapacity(1u << 20);
        kshim::host::RegistryClear();
        std::string error;
        ASSERT_TRUE(kshim::host::RegistryLoadText(config_test::kBaseFixture, &error)) << error;
        char pattern[] = "/tmp/qzl-bringup-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        kshim::host::FilesSetRoot(root_);
        ASSERT_EQ(os_.Load(DriverEntry, u"wdrvcx"), STATUS_SUCCESS);
    }

    void TearDown() override
    {
        if (device_ != nullptr) {
            os_.Remove(device_);
        }
        kshim::host::UnloadReport report = os_.Unload();
        EXPECT_TRUE(report.clean) << report.text;
        EXPECT_EQ(kshim::host::DmaLiveCommonBuffers(), 0u);
        EXPECT_EQ(kshim::host::FilesOpenHandles(), 0u);
        if (firmware_) {
            for (const std::string& fault : firmware_->Faults()) {
                ADD_FAILURE() << "firmware fault: " << fault;
            }
        }
        firmware_.reset();
        chip_.reset();
        kshim::host::FilesSetRoot("");
        std::filesystem::remove_all(root_);
        kshim::host::DmaResetDefaults();
        kshim::host::ResetDefaults();
    }

    // A simulated chip of this device id with its firmware, its standard package in the file root, and
    // a device over it (added, not started).
    void AddDevice(USHORT deviceId)
    {
        chip_ = std::make_unique<sim::chip::Chip>(deviceId);
        firmware_ = std::make_unique<sim::fw::ChipFirmware>(*chip_);
        images_ = sim::fw::StandardImages(HalChipCodeOfDeviceId(deviceId));
        ASSERT_TRUE(sim::fw::WritePackage(images_));
        firmware_->Expect(images_);
        kshim::host::DeviceConfig config;
        config.pci = chip_.get();
        device_ = os_.AddDevice(config);
        ASSERT_EQ(device_->AddStatus(), STATUS_SUCCESS);
    }

    MP_ADAPTER* Adapter() const { return QZCxGetAdapter(device_->Handle()); }

    // Before the test changes a field of a running adapter: every firmware event is delivered and the
    // deferred routines that took them have finished (a later one is ordered after the change).
    void Quiesce()
    {
        EXPECT_TRUE(firmware_->WaitDelivered());
        KeFlushQueuedDpcs();
    }
    sim::fw::RamFirmware& Ram() { return firmware_->Ram(); }

    // A value of the device's configuration, as the installation writes it.
    static void SetConfig(const std::string& name, uint32_t value)
    {
        kshim::host::RegistrySetDword("@device", name, value);
    }

    // Stops the device and starts it again; the function loses power in between.
    NTSTATUS Restart()
    {
        NTSTATUS status = os_.Stop(device_);
        firmware_->PowerCycle();
        NTSTATUS started = os_.Start(device_);
        return NT_SUCCESS(status) ? started : status;
    }

    // The commands the firmware took off the command ring, in order: "ROM 0x10", "RAM 0x8A",
    // "RAM 0xED/0x21" (extended), "RAM unified 0x0E".
    std::vector<std::string> Sequence() const
    {
        std::vector<std::string> out;
        for (const sim::fw::RamExchange& e : firmware_->Ram().Exchanges()) {
            std::string line = e.ramPhase ? "RAM " : "ROM ";
            char id[16];
            if (e.unified) {
                line += "unified";
                if (e.unifiedCommand) {
                    std::snprintf(id, sizeof(id), " 0x%02X", e.unifiedCommand->cmdId);
                    line += id;
                }
            } else if (e.command) {
                std::snprintf(id, sizeof(id), "0x%02X", e.command->cmdId);
                line += id;
                if (e.command->cmdId == 0xED) {
                    std::snprintf(id, sizeof(id), "/0x%02X", e.command->extCmdId);
                    line += id;
                }
            } else {
                line += "?";
            }
            out.push_back(line);
        }
        return out;
    }

    // The configuration value the driver last recorded as "PowerState" (framework state minus one).
    static std::optional<uint32_t> RecordedPowerState()
    {
        return kshim::host::RegistryGetDword(std::string(kServiceKey) + "\\Parameters", "PowerState");
    }

    kshim::host::Os os_;
    std::string root_;
    std::unique_ptr<sim::chip::Chip> chip_;
    std::unique_ptr<sim::fw::ChipFirmware> firmware_;
    std::vector<sim::fw::NamedImage> images_;
    kshim::host::OsDevice* device_ = nullptr;
};

}  // namespace bringup
