// An adapter on a device of the real driver, with its registry store loaded from small text
// fixtures: the reader and the write-back run against the device's configuration, and a restart is
// a fresh device on the same store.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "hal/common/hal_chip.h"
#include "kshim/host/control.h"
#include "kshim/host/firmware_tables.h"
#include "kshim/host/os.h"
#include "kshim/host/registry.h"
#include "kshim/registry.h"
#include "platform/ndis6/ndis6common.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommoninit.h"
#include "platform/wificx/wificxmain.h"

namespace config_test {

// The driver's service key and the keys the reader looks at besides the device configuration.
inline const char kServiceKey[] = "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\wdrvcx";
inline const char kParametersKey[] = "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\wdrvcx\\Parameters";
inline const char kAutologgerKey[] = "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Control\\WMI\\Autologger\\QZLWLFW";

// Both services installed beside each other, the device configuration empty.
inline const char kBaseFixture[] = R"(
[\Registry\Machine\SYSTEM\CurrentControlSet\Services\wdrvcx]
ImagePath=sz:"\SystemRoot\System32\drivers\qzlwlan.sys"
[\Registry\Machine\SYSTEM\CurrentControlSet\Services\wdrvcx\Parameters]
[\Registry\Machine\SYSTEM\CurrentControlSet\Services\ZUDEVIzirero64]
ImagePath=sz:"\SystemRoot\System32\drivers\qzlbtfilter.sys"
[@device]
)";

inline std::u16string Text(const WCHAR* text)
{
    std::u16string s;
    while (*text != 0) {
        s.push_back(*text++);
    }
    return s;
}

class ConfigDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::TraceClear();
        kshim::host::FirmwareTablesReset();
        kshim::host::RegistryClear();
        outstanding_ = kshim::host::PoolOutstandingBlocks();
        Load(kBaseFixture);
    }

    void TearDown() override
    {
        Stop();
        kshim::host::RegistryClear();
        EXPECT_EQ(kshim::host::PoolOutstandingBlocks(), outstanding_) << kshim::host::PoolLeakReport();
        kshim::host::ResetDefaults();
    }

    static void Load(const std::string& text)
    {
        std::string error;
        ASSERT_TRUE(kshim::host::RegistryLoadText(text, &error)) << error;
    }
    // Values of the device configuration, in the text form without the section line.
    static void LoadDevice(const std::string& lines) { Load("[@device]\n" + lines + "\n"); }

    // The driver loaded, a device added, its adapter with the blocks hardware preparation
    // allocates, the chip of `deviceId` selected and port 0 with its own defaults.
    void Start(USHORT deviceId = 0x3602)
    {
        ASSERT_EQ(os_.Load(DriverEntry, u"wdrvcx"), STATUS_SUCCESS);
        device_ = os_.AddDevice();
        ASSERT_EQ(device_->State(), kshim::host::DeviceState::Added);
        adapter_ = QZCxGetAdapter(device_->Handle());
        ASSERT_NE(adapter_, nullptr);
        ASSERT_EQ(Ndis6CommonAllocAdapterBlock(adapter_), STATUS_SUCCESS);
        adapter_->CommonBlock->NdisVersion = NDIS_VERSION_630;
        adapter_->TlvContext.PeerVersion = 0x00060030;
        adapter_->DeviceId = deviceId;
        HalRegisterChip(adapter_);
        port_ = AddPort(0);
    }

    // A port block bound to the adapter with its own defaults (no send thread).
    PMP_PORT AddPort(ULONG number)
    {
        PMP_PORT port = nullptr;
        EXPECT_EQ(NdisCommonInitAllocPort(adapter_, EXTSTA, 0, &port), STATUS_SUCCESS);
        port->Adapter = adapter_;
        port->PortNumber = number;
        port->Active = 1;
        adapter_->PortList[number] = port;
        NdisCommonInitPortUserCfg(port, 0);
        return port;
    }

    void Stop()
    {
        if (adapter_ != nullptr) {
            for (PMP_PORT port : adapter_->PortList) {
                if (port != nullptr) {
                    N6FreePort(port);
                }
            }
            Ndis6CommonDeallocAdapterBlock(adapter_);
            adapter_ = nullptr;
            port_ = nullptr;
        }
        if (os_.Loaded()) {
            kshim::host::UnloadReport report = os_.Unload();
            EXPECT_TRUE(report.clean) << report.text;
        }
        device_ = nullptr;
    }

    // The driver unloaded and loaded again on the same registry store.
    void Restart(USHORT deviceId = 0x3602)
    {
        Stop();
        Start(deviceId);
    }

    // Starts a device and reads its configuration.
    void StartAndRead(USHORT deviceId = 0x3602)
    {
        Start(deviceId);
        ASSERT_EQ(NdisCommonInitNICReadRegParameters(adapter_), STATUS_SUCCESS);
    }

    static std::u16string DeviceString(const char* name)
    {
        auto text = kshim::host::RegistryGetString("@device", name);
        std::u16string wide;
        for (char c : text.value_or("")) {
            wide.push_back(static_cast<char16_t>(c));
        }
        return wide;
    }

    kshim::host::Os os_;
    kshim::host::OsDevice* device_ = nullptr;
    PMP_ADAPTER adapter_ = nullptr;
    PMP_PORT port_ = nullptr;
    uint64_t outstanding_ = 0;
};

}  // namespace config_test
