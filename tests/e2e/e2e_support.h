// The whole system end to end: the real driver on a simulated chip of either generation, its radio on
// a simulated world, and the OS's Wi-Fi service asking it to scan and connect. Time runs on the
// automatic clock: waits that nothing can end cost no host time.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include <memory>
#include <string>
#include <vector>

#include "air/world.h"
#include "bringup/bringup_support.h"
#include "kshim/host/recorder.h"
#include "kshim/host/wifi.h"
#include "kshim/host/wifi_service.h"
#include "support/sku_file.h"

namespace e2e {

class EndToEnd : public bringup::BringUpTest, public ::testing::WithParamInterface<uint16_t> {
protected:
    void SetUp() override
    {
        bringup::BringUpTest::SetUp();
        kshim::host::ClockSetAuto(1);
    }
    void TearDown() override
    {
        wifi_.reset();
        if (world_) {
            world_->StopCapture();
        }
        bringup::BringUpTest::TearDown();
        world_.reset();
    }

    // The device of this id started by the OS, its radio on `world` (a world file's text; empty:
    // the built-in world), the station port created and the OS's Wi-Fi service above it.
    void StartIn(uint16_t deviceId, const std::string& worldText = {})
    {
        std::string error;
        world_ = worldText.empty() ? sim::air::World::BuiltIn() : sim::air::World::FromText(worldText, &error);
        ASSERT_TRUE(world_) << error;
        ASSERT_NO_FATAL_FAILURE(AddDevice(deviceId));
        ASSERT_NO_FATAL_FAILURE(Supply6GhzPowerLimits(deviceId));
        world_->Attach(*firmware_);
        ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
        ASSERT_EQ(os_.CreateAdapter(device_, 0, WIFI_ADAPTER_WLAN_STATION), STATUS_SUCCESS);
        kshim::host::WifiClearIndications();
        wifi_ = std::make_unique<kshim::host::WifiService>(os_, device_);
        // The OS makes the port a station before it scans.
        (void)wifi_->SetOperationMode(kshim::host::kWdiOperationModeStation);
        (void)wifi_->WaitTask(10000);
    }

    // The 6 GHz channels are offered only with their power limits: a third-generation chip's 6 GHz
    // power-limit file (a section for the United States, the configuration's country) goes into the
    // firmware container; the second generation has no 6 GHz plans of its own and takes the first
    // 6 GHz plans, which need no file ("Country6GEn" 0).
    void Supply6GhzPowerLimits(uint16_t deviceId)
    {
        if (HalIsThirdGeneration(deviceId)) {
            sim::fw::NamedImage sku;
            sku.name = deviceId == 0x3601 || deviceId == 0x0C03 ? "qzlwl3601_2.dat" : "qzlwl3603_2.dat";
            sku.image.bytes = qzltest::SkuEnciphered(qzltest::SkuText({{"US0D", {{"ofdm", {"ch037 20 20 20 20 20 20 20 20"}}}}}));
            images_.push_back(sku);
            ASSERT_TRUE(sim::fw::WritePackage(images_));
        } else {
            SetConfig("Country6GEn", 0);
        }
    }

    // One scan of every channel; true when it completed. The BSS list is read back.
    bool ScanAll()
    {
        kshim::host::ScanParameters scan;
        if (wifi_->StartScan(scan) != STATUS_SUCCESS) {
            return false;
        }
        if (!wifi_->WaitScanComplete(20000)) {
            return false;
        }
        return NT_SUCCESS(wifi_->RefreshBssList());
    }

    // Of these driver services, the ones that said they are not built yet (trace records
    // "<function> is not built yet") since the test began.
    static std::vector<std::string> NotBuilt(std::initializer_list<const char*> services)
    {
        std::vector<std::string> names;
        const std::vector<kshim::host::TraceRecord> trace = kshim::host::TraceSnapshot();
        for (const char* service : services) {
            for (const kshim::host::TraceRecord& r : trace) {
                if (r.function == service && r.text == r.function + " is not built yet") {
                    names.push_back(service);
                    break;
                }
            }
        }
        return names;
    }
    // Every driver service that said it is not built yet since the test began, once each.
    static std::vector<std::string> AllNotBuilt()
    {
        std::vector<std::string> names;
        for (const kshim::host::TraceRecord& r : kshim::host::TraceEvents("NotBuiltYet")) {
            if (std::find(names.begin(), names.end(), r.function) == names.end()) {
                names.push_back(r.function);
            }
        }
        return names;
    }
    static std::string Join(const std::vector<std::string>& names)
    {
        std::string out;
        for (const std::string& n : names) {
            out += (out.empty() ? "" : ", ") + n;
        }
        return out;
    }

    // The OS's usual way in: a scan of every channel, then the connect task for `ssid` with the
    // candidates of the BSS list, waited for until its completion.
    struct Outcome {
        bool scanned = false;
        bool taskTaken = false;
        bool completed = false;
        std::string stoppedAt;  // the step that did not happen
    };
    Outcome ScanAndConnect(const std::string& ssid, kshim::host::ConnectParameters parameters = {})
    {
        Outcome o;
        if (!ScanAll() || wifi_->BssList().empty()) {
            o.stoppedAt = "the scan found no network";
            return o;
        }
        o.scanned = true;
        parameters.ssid.assign(ssid.begin(), ssid.end());
        if (wifi_->Connect(parameters) != STATUS_SUCCESS) {
            o.stoppedAt = "the driver refused the connect task";
            return o;
        }
        o.taskTaken = true;
        o.completed = wifi_->WaitTask(30000);
        if (!o.completed) {
            o.stoppedAt = "the connect task did not complete";
        }
        return o;
    }

    std::unique_ptr<sim::air::World> world_;
    std::unique_ptr<kshim::host::WifiService> wifi_;
};

// A step of the system that must have happened: when it did not and a driver service it needs
// (listed) said it is not built yet, the test is skipped naming them (it turns on once they land on
// main); otherwise it fails.
#define E2E_REQUIRE(condition, what, ...)                                                                     \
    do {                                                                                                      \
        if (!(condition)) {                                                                                   \
            const std::vector<std::string> notBuilt = NotBuilt({__VA_ARGS__});                                \
            if (!notBuilt.empty()) {                                                                          \
                GTEST_SKIP() << (what) << ": the driver does not go on while these are not built: " << Join(notBuilt); \
            }                                                                                                 \
            FAIL() << (what) << " (services not built yet the driver called: " << Join(AllNotBuilt()) << ")";   \
        }                                                                                                     \
    } while (0)

// A step the driver does not take yet although the services it needs are built: an open gap of the
// connect path, named in `gap`. The test is skipped naming it where the step did not happen; once the
// driver takes the step the test runs on and checks the rest.
#define E2E_KNOWN_GAP(condition, what, gap)                                             \
    do {                                                                                \
        if (!(condition)) {                                                             \
            GTEST_SKIP() << (what) << ": open gap of the connect path: " << (gap);      \
        }                                                                               \
    } while (0)

// The driver services each step needs (the connect task and
// machines, the candidate's rates and HT/VHT settings, the port's receive filter and multicast list;
// the peer deauthentication machine, the beacon time-out and channel switch handling).
#define E2E_CONNECT                                                                                           \
    "WdiTaskConnect", "MlmeAuthStateMachineInit", "MlmeAssocStateMachineInit", "MlmeCntlResetConnectTarget", \
        "bssParseSupportedRates", "MlmeInfoSetHtVht", "SendPortPacketFilter", "QzCmdSetCurrentPacketFilter",  \
        "SendMulticastList"
#define E2E_LINK E2E_CONNECT, "MlmeAuthRspStateMachineInit"

}  // namespace e2e
