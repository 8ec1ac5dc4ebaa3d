// The OS's scan task on a started third-generation device, through the OS's Wi-Fi service: a scan
// while the radio is off ends at once with the radio-off status and puts nothing on the firmware's
// command ring; a running scan reaches the firmware as a scan command carrying the OS's SSID, and the
// OS's abort ends the task and sends the firmware the scan cancel.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kshim/host/wifi_service.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "support/eventually.h"
#include "wdi/wdi_support.h"

namespace {

constexpr uint16_t kUniScan = 0x16;

class ScanTask : public wdi_test::WdiTest {
protected:
    // The unified scan commands the firmware took, in order (their payloads).
    std::vector<std::vector<uint8_t>> ScanCommands()
    {
        std::vector<std::vector<uint8_t>> out;
        for (const sim::fw::RamExchange& e : Ram().Exchanges()) {
            if (e.unified && e.unifiedCommand && e.unifiedCommand->cmdId == kUniScan) {
                out.push_back(e.unifiedCommand->payload);
            }
        }
        return out;
    }

    // Waits until the firmware took `count` scan commands (the tests' one wait on the simulation).
    bool WaitScanCommands(size_t count)
    {
        return qzl_test::Eventually([&] { return ScanCommands().size() >= count; });
    }

    static bool Contains(const std::vector<uint8_t>& bytes, const std::string& text)
    {
        return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
    }
};

TEST_F(ScanTask, AScanWhileTheRadioIsOffEndsAtOnceWithTheRadioOffStatus)
{
    Quiesce();
    const size_t before = ScanCommands().size();
    AdapterSetFlag(Adapter(), ADAPTER_FLAG_RADIO_OFF, "test");
    kshim::host::WifiService wifi(os_, device_);
    kshim::host::ScanParameters scan;
    scan.ssids = {{'h', 'o', 'm', 'e'}};
    (void)wifi.StartScan(scan);
    ASSERT_TRUE(wifi.WaitScanComplete());
    EXPECT_EQ(static_cast<uint32_t>(wifi.LastScanStatus()), 0xC0232002u);
    Quiesce();
    EXPECT_EQ(ScanCommands().size(), before) << "no scan reached the firmware";
    AdapterClearFlag(Adapter(), ADAPTER_FLAG_RADIO_OFF, "test");
}

TEST_F(ScanTask, TheScanReachesTheFirmwareAndAnAbortEndsTheTask)
{
    Quiesce();
    // Port 0 holds BSS index 0, as the OS's operation-mode change leaves it.
    MP_PORT* port0 = Adapter()->PortList[0];
    ASSERT_NE(port0, nullptr);
    port0->BssIndex = 0;
    Adapter()->BssIndexSlots[0].InUse = 1;
    Adapter()->BssIndexSlots[0].Port = port0;
    const size_t before = ScanCommands().size();
    const size_t abortsBefore = Ram().Scan().Record().aborts.size();
    kshim::host::WifiService wifi(os_, device_);
    kshim::host::ScanParameters scan;
    scan.ssids = {{'h', 'i', 'd', 'd', 'e', 'n', '-', 'n', 'e', 't'}};
    scan.bands = {{kshim::host::kWdiBand2G, {1, 6, 11}}, {kshim::host::kWdiBand5G, {36}}};
    ASSERT_EQ(wifi.StartScan(scan), STATUS_SUCCESS);
    if (!WaitScanCommands(before + 1)) {
        for (const auto& r : kshim::host::TraceSnapshot()) {
            if (r.text.find("scan") != std::string::npos || r.text.find("Scan") != std::string::npos) {
                ADD_FAILURE() << r.text;
            }
        }
        FAIL();
    }
    EXPECT_TRUE(Contains(ScanCommands()[before], "hidden-net")) << "the directed scan carries the OS's SSID";
    // The driver marks the adapter scanning once its scan command is on its way; an abort before that
    // finds no scan in the firmware to cancel.
    ASSERT_TRUE(qzl_test::Eventually([&] { return AdapterTestFlags(Adapter(), ADAPTER_FLAG_SCANNING); }));
    EXPECT_TRUE(wifi.ScanRunning());
    EXPECT_EQ(wifi.AbortScan(), STATUS_SUCCESS);
    ASSERT_TRUE(wifi.WaitScanComplete());
    EXPECT_FALSE(wifi.ScanRunning());
    // The abort reaches the firmware as a scan cancel even when the MLME thread ends the scan first.
    EXPECT_TRUE(WaitScanCommands(before + 2)) << "the firmware was told to cancel the scan";
    EXPECT_TRUE(qzl_test::Eventually([&] { return Ram().Scan().Record().aborts.size() > abortsBefore; }))
        << "the firmware's scan engine took the cancel";
    Quiesce();
}

}  // namespace
