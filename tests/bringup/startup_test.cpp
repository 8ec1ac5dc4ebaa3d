// The first power-up through the simulated OS: the whole bring-up on a second-generation chip, the
// order of what the firmware receives on both generations, and a stop followed by a new start.
#include <cstring>

#include "Common/p2p/p2p.h"
#include "bringup_support.h"
#include "hal/common/hal_bringup.h"
#include "platform/ndiscommon/ndiscommonhifpci.h"

namespace {

using bringup::BringUpTest;
using kshim::host::DeviceState;

bool ThreadRuns(const PLATFORM_THREAD& thread, const char* name)
{
    return thread.RunState.load() == PLATFORM_THREAD_RUNNING && std::strcmp(thread.Name, name) == 0;
}

TEST_F(BringUpTest, SecondGenerationComesUpWithItsThreadsPortPoolsAndFirmware)
{
    AddDevice(0x3502);
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    EXPECT_EQ(device_->State(), DeviceState::Started);
    MP_ADAPTER* a = Adapter();
    EXPECT_EQ(a->Running, 1u);
    EXPECT_EQ(a->FwDownloaded, 1);
    EXPECT_EQ(a->InitFinished, 1);
    EXPECT_EQ(a->NicStarted, 1);
    EXPECT_EQ(a->CurrentPowerState, 1u);
    EXPECT_FALSE(AdapterTestFlags(a, ADAPTER_FLAG_HALT_IN_PROGRESS));
    for (ULONG byte : {BRINGUP_ENTERED, BRINGUP_SW_CTRL, BRINGUP_TX_RINGS, BRINGUP_RX_RINGS, BRINGUP_PACKET_POOLS,
                       BRINGUP_MLME, BRINGUP_TX_STARTED, BRINGUP_RX_STARTED, BRINGUP_FW_DOWNLOADED}) {
        EXPECT_EQ(Adapter()->BringUp.Progress[byte], 1) << "progress byte " << byte;
    }

    // Port 0 with its send threads, and the eleven worker threads.
    ASSERT_NE(a->PortList[0], nullptr);
    EXPECT_EQ(a->PortList[0]->State, 1u);
    EXPECT_EQ(a->PortList[0]->Powered, 1);
    EXPECT_TRUE(ThreadRuns(a->PortList[0]->SendThread, "WdiSendDataThread0"));
    EXPECT_TRUE(ThreadRuns(a->SendAfterSerThread, "WdiSendDataThreadAfterSER"));
    EXPECT_TRUE(ThreadRuns(a->FwCmdThread, "PlatformFWCmdThread"));
    EXPECT_TRUE(ThreadRuns(a->IntHandlerThread, "PlatformIntHandlerThread"));
    EXPECT_TRUE(ThreadRuns(a->FwIdxLogThread, "PlatformFWIdxLogThread"));
    EXPECT_TRUE(ThreadRuns(a->ControlCmdThread, "PlatformControlCmdThread"));
    EXPECT_TRUE(ThreadRuns(a->IcsCmdThread, "IcsCmdThread"));
    EXPECT_TRUE(ThreadRuns(a->P2pBlock->CmdThread, "P2PCmdThread"));
    EXPECT_TRUE(ThreadRuns(a->MlmeThread, "MlmeThread"));
    EXPECT_TRUE(ThreadRuns(a->TxNetQueueThread, "WINCXTxNetQueueThread"));
    EXPECT_TRUE(ThreadRuns(a->HifContext->RxThread[0], "RxThread0"));
    EXPECT_TRUE(ThreadRuns(a->HifContext->RxThread[1], "RxThread1"));
    EXPECT_TRUE(ThreadRuns(a->HifContext->RxThread[2], "RxThread2"));

    // The adapter block: every receive record over the one shared buffer, every management record
    // with its own, the key-mapping records all free.
    const RX_INDICATE_BLOCK& rx = *a->RxIndicateBlock;
    EXPECT_EQ(rx.RecordList.Count, static_cast<ULONG>(PACKET_RECORD_COUNT));
    for (const PACKET_RECORD& r : rx.Records) {
        // The records are packed: their fields are read by value.
        const PMDL mdl = r.Mdl;
        const ULONG magic = r.Magic;
        const PNET_BUFFER_LIST nbl = r.NetBufferList;
        ASSERT_EQ(MmGetMdlVirtualAddress(mdl), rx.SharedBuffer);
        ASSERT_EQ(MmGetMdlByteCount(mdl), static_cast<ULONG>(RX_INDICATE_BUFFER_SIZE));
        ASSERT_EQ(magic, PACKET_RECORD_MAGIC);
        ASSERT_EQ(NET_BUFFER_LIST_MINIPORT_RESERVED(nbl)[0], &r);
    }
    const MGMT_FRAME_BLOCK& mgmt = *a->MgmtFrameBlock;
    EXPECT_EQ(mgmt.RecordList.Count, static_cast<ULONG>(PACKET_RECORD_COUNT));
    const PUCHAR buffer0 = mgmt.Records[0].Buffer;
    const PUCHAR buffer1 = mgmt.Records[1].Buffer;
    const PNET_BUFFER nb7 = mgmt.Records[7].NetBuffer;
    EXPECT_NE(buffer0, buffer1);
    EXPECT_EQ(NET_BUFFER_DATA_LENGTH(nb7), static_cast<ULONG>(MGMT_FRAME_BUFFER_SIZE));
    EXPECT_EQ(a->KeyMappingPool.FreeList.Count, static_cast<ULONG>(KEY_MAPPING_RECORD_COUNT));
    EXPECT_EQ(a->KeyMappingPool.InUseList.Count, 0u);
    EXPECT_EQ(a->KeyMappingPool.FreeList.Head, &a->KeyMappingPool.Records[0]);

    // The Wi-Fi subsystem reset takes at the first try: no retry traced, the subsystem restarted once.
    size_t tries = 0;
    for (const kshim::host::TraceRecord& r : kshim::host::TraceSnapshot()) {
        tries += r.text.find("Wi-Fi subsystem reset, attempt") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(tries, 0u);
    EXPECT_EQ(chip_->SubsystemRestarts(), 1u);
    EXPECT_EQ(RecordedPowerState(), 0u);

    ASSERT_EQ(os_.Stop(device_), STATUS_SUCCESS);
    EXPECT_EQ(RecordedPowerState(), 4u);
    EXPECT_EQ(a->Running, 1u) << "the running word belongs to the adapter, not the teardown";
    EXPECT_TRUE(AdapterTestFlags(a, ADAPTER_FLAG_HALT_IN_PROGRESS));
    EXPECT_EQ(a->NicShutDown, 1);
    for (UCHAR byte : Adapter()->BringUp.Progress) {
        EXPECT_EQ(byte, 0);
    }
}

// What the firmware receives, in order: the download through the boot ROM, then the post-download
// settings, each once; and the framework's callbacks of a start and a stop.
TEST_F(BringUpTest, SecondGenerationGoldenSequence)
{
    AddDevice(0x3502);
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    ASSERT_TRUE(firmware_->WaitDelivered());
    const std::vector<std::string> expected = {
        "ROM 0x10",                                              // patch semaphore
        "ROM 0x05", "ROM 0x05", "ROM 0x07",                      // two patch sections, finish
        "ROM 0x01", "ROM 0x01", "ROM 0x01", "ROM 0x02",          // three RAM code regions, start
        "RAM 0xCA",                                              // the local time
        "RAM 0x8A",                                              // capability query
        "RAM 0x02",                                              // basic configuration
        "RAM 0xC0",                                              // register write through the firmware
        "RAM 0xED/0x21",                                         // buffer-bin (no EEPROM file)
        "RAM 0x28",                                              // dual-band concurrency off
        "RAM 0xCA",                                              // transmit-stream downgrade temperatures
        "RAM 0x70", "RAM 0x70", "RAM 0x70",                      // firmware-log switches
        "RAM 0x0F",                                              // the regulatory domain
        "RAM 0x70", "RAM 0x70",                                  // full power, PCIe switch
        "RAM 0x70", "RAM 0x70",                                  // rekey offload, EDCCA
    };
    EXPECT_EQ(Sequence(), expected);

    std::vector<sim::fw::LegacyCommand> ram = Ram().RamCommands();
    ASSERT_EQ(ram.size(), 15u);
    // The RAM code first gets the local time; the settings follow.
    EXPECT_EQ(ram[0].cmdId, 0xCA);
    ram.erase(ram.begin());
    // The customer-configuration items: key at byte 16, value at byte 48 of the payload.
    std::vector<std::string> items;
    for (size_t i = 6; i < ram.size(); ++i) {
        if (ram[i].cmdId != 0x70) {
            continue;
        }
        ASSERT_EQ(ram[i].payload.size(), 284u);
        items.push_back(std::string(reinterpret_cast<const char*>(&ram[i].payload[16])) + "=" +
                        reinterpret_cast<const char*>(&ram[i].payload[48]));
    }
    EXPECT_EQ(items, (std::vector<std::string>{"FwLogSramDropFront=1", "FwLogSramSemaEn=1", "FwLogSramEvtBlock=0",
                                               "KeepFullPwr=1", "EnablePcieSwitch=1", "EnableRekeyOffload=1",
                                               "EdccaDetectEnable=0"}));
    EXPECT_EQ(ram[0].setQuery, 0) << "the capability query is a query";
    EXPECT_EQ(ram[1].payload, (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Ram().RegisterWrites(), (std::map<uint32_t, uint32_t>{{0x820CD000u, 0x0003C200u}}));
    ASSERT_EQ(Ram().BufferBinPieces().size(), 1u);
    EXPECT_EQ(Ram().BufferBinPieces()[0].pieceByte, 0x01);
    EXPECT_EQ(Ram().BufferBinPieces()[0].source, 0);
    EXPECT_EQ(ram[3].payload.size(), 4u) << "without a file only the piece's head goes";
    EXPECT_EQ(ram[4].payload[0], 0) << "dual-band concurrency off";
    EXPECT_EQ(ram[4].payload.size(), 36u);
    const std::vector<std::string> texts = Ram().ChipConfigTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].rfind("SyncTime ", 0), 0u) << texts[0];
    EXPECT_EQ(texts[1], "DowngradeTxStreamTemp 110 120");
    for (const sim::fw::LegacyCommand& c : ram) {
        EXPECT_EQ(c.queueId, 0x8000) << "RAM-mode commands of class 0xED";
    }
    EXPECT_EQ(ram[0].seq, 1) << "the post-download initialisation numbers its commands afresh";
    // The configured country, the United States, without 6 GHz: the sub-band form, 1-11 and 12-13 first.
    ASSERT_EQ(ram[9].payload.size(), 104u);
    EXPECT_EQ(ram[9].payload[0], 'U');
    EXPECT_EQ(ram[9].payload[1], 'S');
    EXPECT_EQ(ram[9].payload[4 + 3], 1);
    EXPECT_EQ(ram[9].payload[4 + 4], 11);
    EXPECT_EQ(ram[9].payload[12 + 3], 12);
    EXPECT_EQ(ram[9].payload[12 + 4], 2);

    ASSERT_EQ(os_.Stop(device_), STATUS_SUCCESS);
    std::vector<std::string> steps;
    for (const kshim::host::OsLogEntry& e : os_.Log()) {
        steps.push_back(std::string(kshim::host::OsStepName(e.step)) + " " +
                        (NT_SUCCESS(e.status) ? "ok" : "failed"));
    }
    const std::vector<std::string> callbacks = {
        "DriverEntry ok",
        "EvtDriverDeviceAdd ok",
        "EvtDevicePrepareHardware ok",
        "EvtDeviceD0Entry ok",
        "EvtDeviceD0EntryPostInterruptsEnabled ok",
        "EvtDeviceD0ExitPreInterruptsDisabled ok",
        "KeFlushQueuedDpcs ok",
        "EvtDeviceD0Exit ok",
        "EvtDeviceReleaseHardware ok",
    };
    EXPECT_EQ(steps, callbacks);
}

// The third generation sends its post-download settings in the unified format: the capability
// query, the basic configuration, the register write through the firmware, the buffer-bin, dual-band
// concurrency on, and the thermal-protection texts of both bands.
TEST_F(BringUpTest, ThirdGenerationGoldenSequence)
{
    AddDevice(0x3602);
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    ASSERT_TRUE(firmware_->WaitDelivered());
    MP_ADAPTER* a = Adapter();
    EXPECT_EQ(a->Running, 1u);
    EXPECT_EQ(a->FwDownloaded, 1);
    const std::vector<std::string> expected = {
        "ROM 0x10",
        "ROM 0x05", "ROM 0x05", "ROM 0x07",
        "ROM 0x01", "ROM 0x01", "ROM 0x01", "ROM 0x02",
        "RAM unified 0x0E",  // capability query
        "RAM unified 0x0B",  // basic configuration
        "RAM unified 0x0D",  // register write through the firmware
        "RAM unified 0x2D",  // buffer-bin
        "RAM unified 0x28",  // dual-band concurrency on
        "RAM unified 0x0E",  // "ThermalProtAband"
        "RAM unified 0x0E",  // "ThermalProtGband"
        "RAM unified 0x0E", "RAM unified 0x0E", "RAM unified 0x0E",  // firmware-log switches
        "RAM unified 0x15",  // the regulatory domain
        "RAM unified 0x0E", "RAM unified 0x0E", "RAM unified 0x0E",  // full power, rekey offload, EDCCA
    };
    EXPECT_EQ(Sequence(), expected);
    const sim::fw::UnifiedRamRecord& record = Ram().Unified().Record();
    const std::vector<std::string> texts = {"ThermalProtAband 1 100 90 80 60 1 1 105 100 10\n",
                                            "ThermalProtGband 1 100 90 80 60 1 1 105 100 10\n"};
    EXPECT_EQ(record.chipConfigTexts, texts);
    EXPECT_EQ(record.registers.count(0x820CC800u), 1u);
    EXPECT_EQ(record.registers.at(0x820CC800u), 0x0003C200u);
    EXPECT_EQ(record.dbdcSettings, (std::vector<uint8_t>{1}));
    EXPECT_EQ(record.bufferBinPieces, 1u);
    EXPECT_FALSE(record.bufferBinFromFile);
    EXPECT_EQ(record.malformed, 0u);
    ASSERT_EQ(os_.Stop(device_), STATUS_SUCCESS);
    for (UCHAR byte : Adapter()->BringUp.Progress) {
        EXPECT_EQ(byte, 0);
    }
}

// A stop and a new start bring the same firmware and settings again; each teardown gives back what
// its bring-up took.
class Restarts : public BringUpTest, public ::testing::WithParamInterface<USHORT> {};

TEST_P(Restarts, StopAndStartAgain)
{
    AddDevice(GetParam());
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    ASSERT_TRUE(firmware_->WaitDelivered());
    const std::vector<std::string> first = Sequence();
    const uint64_t blocksUp = kshim::host::PoolOutstandingBlocks();
    Ram().ClearRecords();
    ASSERT_EQ(Restart(), STATUS_SUCCESS);
    ASSERT_TRUE(firmware_->WaitDelivered());
    // The stop's teardown told the firmware to block its log events first (the same customer-
    // configuration command as the last item of the start).
    std::vector<std::string> again = first;
    again.insert(again.begin(), first.back());
    EXPECT_EQ(Sequence(), again);
    EXPECT_EQ(Adapter()->Running, 1u);
    EXPECT_FALSE(AdapterTestFlags(Adapter(), ADAPTER_FLAG_HALT_IN_PROGRESS));
    EXPECT_EQ(kshim::host::PoolOutstandingBlocks(), blocksUp) << "the second bring-up holds what the first held";
    ASSERT_EQ(os_.Stop(device_), STATUS_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Chips, Restarts, ::testing::Values(USHORT{0x3502}, USHORT{0x3602}));

// The DMA enabler's address width: 34 bits only with "DMAExtension" on 0x3601 and 0x0C03.
TEST_F(BringUpTest, DmaAddressWidthByChipAndConfiguration)
{
    struct Case {
        USHORT id;
        uint32_t extension;
        const char* width;
    };
    const Case cases[] = {{0x3601, 1, "34-bit"}, {0x3601, 0, "32-bit"}, {0x3502, 1, "32-bit"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        SetConfig("DMAExtension", c.extension);
        AddDevice(c.id);
        kshim::host::TraceClear();
        (void)os_.Start(device_);
        bool seen = false;
        for (const kshim::host::TraceRecord& r : kshim::host::TraceSnapshot()) {
            if (r.text.rfind("DMA: ", 0) == 0) {
                seen = true;
                EXPECT_NE(r.text.find(c.width), std::string::npos) << r.text;
            }
        }
        EXPECT_TRUE(seen);
        os_.Remove(device_);
        device_ = nullptr;
        firmware_.reset();
        chip_.reset();
    }
}

}  // namespace

namespace {

// Container files the bring-up could not open.
size_t OpenFailures()
{
    size_t n = 0;
    for (const kshim::host::TraceRecord& r : kshim::host::TraceSnapshot()) {
        n += r.function == "HalLoadBinfromPath" && r.text.find("open failed") != std::string::npos ? 1 : 0;
    }
    return n;
}

// "FWBin" 0 (from the service's parameters): the Wi-Fi container comes from the fixed temporary file
// and the Bluetooth container is not looked for; with "FWBin" 1 both containers are.
TEST_F(BringUpTest, ContainersByFwBin)
{
    kshim::host::RegistrySetDword(std::string(bringup::kServiceKey) + "\\Parameters", "FWBin", 0);
    AddDevice(0x3502);
    std::optional<std::vector<uint8_t>> container = kshim::host::FilesRead(sim::fw::kWifiContainerName);
    ASSERT_TRUE(container.has_value());
    ASSERT_TRUE(kshim::host::FilesWrite("\\SystemRoot\\System32\\drivers\\qzlwlan.tmp", *container));
    ASSERT_TRUE(kshim::host::FilesRemove(sim::fw::kWifiContainerName));
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS) << "the RAM code and the ROM patch came from the temporary file";
    EXPECT_EQ(Adapter()->RegistryBlock.FWBin, 0u);
    EXPECT_EQ(Adapter()->RegistryBlock.BtContainerPath[0], 0);
    EXPECT_EQ(OpenFailures(), 0u) << "no Bluetooth container is looked for";
    ASSERT_EQ(os_.Stop(device_), STATUS_SUCCESS);
}

TEST_F(BringUpTest, BothContainersAreLookedForWithFwBin1)
{
    AddDevice(0x3502);
    ASSERT_EQ(os_.Start(device_), STATUS_SUCCESS);
    EXPECT_EQ(Adapter()->RegistryBlock.FWBin, 1u);
    EXPECT_NE(Adapter()->RegistryBlock.BtContainerPath[0], 0);
    EXPECT_EQ(OpenFailures(), 1u) << "the package has no Bluetooth container: a missing file is no failure";
}

}  // namespace
