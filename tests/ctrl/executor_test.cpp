// The control-thread executor: its guards, where each internal command goes, link loss, core-dump
// and ICS log files, the calibration walk and the connection-start time-out.
#include <filesystem>

#include "kshim/host/eventlog.h"
#include "Common/fwsettings.h"
#include "Common/mlme/mlme.h"
#include "Common/mlme/mlmesync_rnr.h"
#include "ctrl_fixture.h"
#include "support/crossings.h"

namespace ctrltest {
namespace {

using kshim::host::TraceContains;

// ---- guards and dispatch ---------------------------------------------------------------------------------------
TEST_F(ExecutorTest, EveryCommandIsDroppedWhileTheAdapterHaltsIsSuspendedOrDoesNotAnswer)
{
    for (ULONG flag : {ADAPTER_FLAG_HALT_IN_PROGRESS, ADAPTER_FLAG_NOT_RESPONDING, ADAPTER_FLAG_PCI_SUSPENDED}) {
        AdapterSetFlag(adapter_.get(), flag, "test");
        kshim::host::TraceClear();
        Run(INTERNAL_CMD_MLME_PERIODIC);
        Run(INTERNAL_CMD_ERROR_RECOVERY, U32(RECOVERY_IO_FAIL));
        Run(0x10000005);
        EXPECT_EQ(qzltest::NotBuiltCalls(), 0u) << std::hex << flag;
        EXPECT_FALSE(TraceContains("unknown internal command id")) << std::hex << flag;
        AdapterClearFlag(adapter_.get(), flag, "test");
    }
}

TEST_F(ExecutorTest, AnIdNoRowNamesIsTracedAndHasNoOtherEffect)
{
    Run(0x10000005, U32(1));
    EXPECT_TRUE(TraceContains("unknown internal command id 0x10000005 dropped"));
    EXPECT_EQ(qzltest::NotBuiltCalls(), 0u);
    EXPECT_EQ(adapter_->Cmd.ControlQueue.Count, 0u);
}

TEST_F(ExecutorTest, NoPortOrAPortWithoutAdapterDoesNothing)
{
    EXPECT_EQ(NdisCommonHifControlThreadHandler(nullptr, INTERNAL_CMD_MLME_PERIODIC, nullptr, 0),
              STATUS_INVALID_PARAMETER);
    MP_PORT orphan = {};
    EXPECT_EQ(NdisCommonHifControlThreadHandler(&orphan, INTERNAL_CMD_MLME_PERIODIC, nullptr, 0),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(qzltest::NotBuiltCalls(), 0u);
}

struct RouteCase {
    ULONG id;
    std::vector<UCHAR> payload;
    const char* service;  // the service the command reaches
    size_t calls;
};

TEST_F(ExecutorTest, EachCommandReachesItsService)
{
    const RouteCase cases[] = {
        // Level 2 is neither 0, 8 nor 16: it is kept without a firmware command, the PM bit cleared.
        {INTERNAL_CMD_POWER_MGMT_MODE, U32(2), "MlmeSetPsmBit", 0},
        {INTERNAL_CMD_CAL_WRITE, {}, "writeFactCalfile", 1},
        {INTERNAL_CMD_DYNAMIC_ICS_ON, {}, "setDynamicICS", 2},
        {INTERNAL_CMD_DYNAMIC_ICS_OFF, {}, "setDynamicICS", 1},
        {INTERNAL_CMD_MCC_SWITCH, U32(0), "MultiChannelSwitchExec", 1},
        {INTERNAL_CMD_DBDC_DISABLE, {}, "MultiBandDisableDbdcDecision", 1},
        // The disconnect request stops the push-button setup before anything else, which forgets
        // the connect target (below).
        {INTERNAL_CMD_DISCONNECT, U32(0), "MlmeCntlResetConnectTarget", 0},
        {INTERNAL_CMD_MCAST_CON_ABORT, U32(0), "MultiChannelMcastConAbortExec", 1},
        // Mode 11 on a port without VHT is lowered to 5, an HT mode (below).
        {INTERNAL_CMD_SET_PHY_MODE, U32(11), "MlmeInfoSetHtVht", 0},
    };
    std::memset(port0_->Mlme.Req.DesiredBssid, 0x12, sizeof(port0_->Mlme.Req.DesiredBssid));
    port0_->Rate.HtEnable = 0;
    for (const RouteCase& c : cases) {
        kshim::host::TraceClear();
        Run(c.id, c.payload);
        EXPECT_EQ(qzltest::NotBuiltCalls(c.service), c.calls) << std::hex << c.id;
        EXPECT_EQ(qzltest::NotBuiltCalls(), c.calls) << std::hex << c.id;
    }
    EXPECT_EQ(adapter_->Ps.CurrentMode, 2u);
    const UCHAR any[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(port0_->Mlme.Req.DesiredBssid, any, 6), 0) << "the connect target is forgotten";
    EXPECT_EQ(port0_->Rate.HtEnable, 1) << "the HT settings of mode 5";
    // The wireless mode is traced by name.
    EXPECT_TRUE(TraceContains("wireless mode PHY_11VHT for port 0"));
    // The default key index reaches the key code, which keeps it in the adapter's key-id byte.
    adapter_->PortList[0]->Keys.DefaultKeyId = 3;
    Run(INTERNAL_CMD_DEFAULT_KEY_ID, U32(0));
    EXPECT_EQ(adapter_->Keys.Bip.KeyId, 3);
    // The error recovery is built: the request reaches it once.
    kshim::host::TraceClear();
    Run(INTERNAL_CMD_ERROR_RECOVERY, U32(RECOVERY_FW_CMD_TIMEOUT));
    EXPECT_EQ(CountTraces("ErrorRecoveryProc: kind 1"), 1u);
}

TEST_F(ExecutorTest, RecoveryRunsOnlyForAPayloadOfExactlyFourBytes)
{
    for (size_t size : {0u, 2u, 8u}) {
        kshim::host::TraceClear();
        Run(INTERNAL_CMD_ERROR_RECOVERY, std::vector<UCHAR>(size, 1));
        EXPECT_FALSE(TraceContains("ErrorRecoveryProc: ")) << size;
        EXPECT_TRUE(TraceContains("recovery request of")) << size;
    }
}

TEST_F(ExecutorTest, APortIndexFromThePayloadOutsideThePortsIsRefused)
{
    // Port 7 does not exist, port 3 is absent, and two bytes are not an index.
    for (const std::vector<UCHAR>& payload : {U32(7), U32(3), std::vector<UCHAR>{0, 0}}) {
        kshim::host::TraceClear();
        Run(INTERNAL_CMD_DEFAULT_KEY_ID, payload);
        Run(INTERNAL_CMD_LINK_LOSS, payload);
        EXPECT_EQ(qzltest::NotBuiltCalls(), 0u);
    }
}

// The periodic jobs of the control thread, each seen by what it changes (the station's second is seen by
// the firmware command it sends, in the periodic tests).
TEST_F(ExecutorTest, ThePeriodicCommandsReachTheirJobs)
{
    Run(INTERNAL_CMD_MLME_PERIODIC);
    EXPECT_EQ(adapter_->Mlme.Periodic.Ticks, 1u);
    // A pacing period of a station that is not connected ends.
    adapter_->LowPower.LowPowerMode = 1;
    adapter_->Xmit.PowerConsumptionPeriod = 2;
    Run(INTERNAL_CMD_POWER_CONSUMPTION);
    EXPECT_EQ(adapter_->Xmit.PowerConsumptionPeriod, 0);
    // Without "EthernetDetection" the radio poll only re-arms its timer.
    PLATFORM_TIMER& radio = adapter_->Mlme.Periodic.RadioTimer;
    PlatformInitTimer(port0_, &radio, MlmeRadioPeriodicExecTimerCallback, 0, "MlmeRadioPeriodicExecTimer");
    Run(INTERNAL_CMD_RADIO_PERIODIC);
    EXPECT_EQ(radio.Pending.load(), 1);
    EXPECT_EQ(radio.PeriodMs, adapter_->RegistryBlock.EthernetDetectionInterval);
    PlatformCancelTimer(&radio, nullptr);
    PlatformFreeTimer(&radio);
}

// ---- link loss ---------------------------------------------------------------------------------------------------
TEST_F(ExecutorTest, LinkLossKeepsTheBssidAndIndicatesAPendingWakeFirst)
{
    MP_PORT* port2 = AddPort(2, EXTSTA);
    const UCHAR bssid[MAC_ADDR_LEN] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    std::memcpy(port2->Bssid, bssid, MAC_ADDR_LEN);
    adapter_->Wake.PendingWakeIndication = 3;
    adapter_->Fdo = WdfDeviceWdmGetDeviceObject(adapter_->Device);
    adapter_->EnableSystemEventLog = 1;
    port2->Ind.State.AllowedMask = 0x40;  // a disassociation may go to the OS
    kshim::host::ErrorLogClear();
    kshim::host::WifiClearIndications();
    port2->Mlme.Cntl.LinkUpInProgress = 1;  // the link down ends it
    Run(INTERNAL_CMD_LINK_LOSS, U32(2));
    EXPECT_EQ(std::memcmp(port2->LastBssid, bssid, MAC_ADDR_LEN), 0);
    EXPECT_EQ(adapter_->Wake.PendingWakeIndication, 0u);
    EXPECT_EQ(port2->Mlme.Cntl.LinkUpInProgress, 0);  // the link went down
    EXPECT_EQ(qzltest::NotBuiltCalls("WOWLANPacketIndicateFunc"), 1u);
    // The OS learns of the loss: port 2, the BSSID, reason 2 (WDI status 2), caller code 107.
    std::vector<qzltest::Disassociation> told = qzltest::Disassociations();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].port, 2u);
    EXPECT_EQ(told[0].peer, std::vector<uint8_t>(bssid, bssid + MAC_ADDR_LEN));
    EXPECT_EQ(told[0].status, 2u);
    EXPECT_EQ(told[0].caller, 107u);

    // Without a pending wake reason nothing is indicated but the disassociation.
    kshim::host::TraceClear();
    kshim::host::ErrorLogClear();
    kshim::host::WifiClearIndications();
    port2->Ind.State.AllowedMask = 0x40;
    Run(INTERNAL_CMD_LINK_LOSS, U32(2));
    EXPECT_EQ(qzltest::NotBuiltCalls("WOWLANPacketIndicateFunc"), 0u);
    EXPECT_EQ(qzltest::Disassociations().size(), 1u);
}

// ---- core dump ---------------------------------------------------------------------------------------------------
TEST_F(ExecutorTest, ADumpEndWithNoFileOpenDoesNothing)
{
    Run(INTERNAL_CMD_CORE_DUMP_FILE, {0});
    EXPECT_EQ(qzltest::NotBuiltCalls(), 0u);
    EXPECT_EQ(adapter_->Cmd.ControlQueue.Count, 0u);
}

TEST_F(ExecutorTest, ADumpStartOpensTheFileAndAFailureLeavesItMarkedClosed)
{
    // No file root: the open fails.
    kshim::host::FileOpensClear();
    Run(INTERNAL_CMD_CORE_DUMP_FILE, {1});
    std::vector<kshim::host::FileOpenRecord> opens = kshim::host::FileOpens();
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].name, "\\SystemRoot\\System32\\drivers\\CoreDump");
    EXPECT_FALSE(NT_SUCCESS(opens[0].status));
    EXPECT_EQ(adapter_->FwDump.CoreDumpFile, nullptr);
    EXPECT_EQ(adapter_->FwDump.CoreDumpOpen, 0);
}

TEST_F(ExecutorTest, ADumpEndingWithItsFileOpenReportsTheStallAndAsksForRecoveryKindSix)
{
    adapter_->FwDump.CoreDumpOpen = 1;
    adapter_->FwDump.CoreDumpInProgress = 1;
    adapter_->FwDump.CoreDumpByteCount = 4096;
    Run(INTERNAL_CMD_CORE_DUMP_FILE, {0});
    EXPECT_EQ(adapter_->FwDump.CoreDumpOpen, 0);
    EXPECT_EQ(adapter_->FwDump.CoreDumpInProgress, 0);
    EXPECT_EQ(adapter_->FwDump.CoreDumpByteCount, 0u);
    EXPECT_EQ(adapter_->FwDump.CoreDumpFile, nullptr);
    EXPECT_EQ(qzltest::NotBuiltCalls("PlatformIndicateFirmwareStalled"), 1u);
    ASSERT_EQ(adapter_->Cmd.ControlQueue.Count, 1u);
    PINTERNAL_CMD posted = QzDequeueCmdQueueLocked(&adapter_->Cmd.ControlQueue);
    EXPECT_EQ(posted->CmdId, INTERNAL_CMD_ERROR_RECOVERY);
    EXPECT_EQ(posted->PortIndex, 0u);
    ASSERT_EQ(posted->PayloadLength, 4u);
    ULONG kind = 0;
    std::memcpy(&kind, posted->Payload, sizeof(kind));
    EXPECT_EQ(kind, static_cast<ULONG>(RECOVERY_SER_TIMEOUT));
    QzReturnInternalCmdBuffer(adapter_.get(), posted);
}

TEST_F(ExecutorTest, ADumpEndAfterTheAssertDumpOnlyClosesTheFile)
{
    adapter_->FwDump.CoreDumpOpen = 1;
    adapter_->FwDump.AssertDumpMark = 1;
    adapter_->FwDump.CoreDumpInProgress = 1;
    Run(INTERNAL_CMD_CORE_DUMP_FILE, {2});
    EXPECT_EQ(adapter_->FwDump.AssertDumpMark, 0);
    EXPECT_EQ(adapter_->FwDump.CoreDumpOpen, 0);
    EXPECT_EQ(adapter_->FwDump.CoreDumpInProgress, 0);
    EXPECT_EQ(qzltest::NotBuiltCalls("PlatformIndicateFirmwareStalled"), 0u);
    EXPECT_EQ(adapter_->Cmd.ControlQueue.Count, 0u);
}

class FileExecutorTest : public ExecutorTest {
protected:
    void SetUp() override
    {
        ExecutorTest::SetUp();
        char pattern[] = "/tmp/qzl-ctrl-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        kshim::host::FilesSetRoot(root_);
        ASSERT_TRUE(kshim::host::FilesWrite("\\SystemRoot\\placeholder", {}));
    }
    void TearDown() override
    {
        ExecutorTest::TearDown();
        kshim::host::FilesSetRoot("");
        std::filesystem::remove_all(root_);
    }
    std::vector<uint8_t> Read(const std::string& name)
    {
        auto bytes = kshim::host::FilesRead(name);
        return bytes ? *bytes : std::vector<uint8_t>{};
    }
    std::string root_;
};

TEST_F(FileExecutorTest, DumpDataGoesToTheOpenFileOnly)
{
    kshim::host::FileOpensClear();
    Run(INTERNAL_CMD_CORE_DUMP_DATA, {1, 2, 3});
    EXPECT_TRUE(kshim::host::FileOpens().empty()) << "3 bytes without an open file: nothing opened for them";
    adapter_->FwDump.CoreDumpFile = OpenForWrite(u"\\SystemRoot\\dump.bin");
    adapter_->FwDump.CoreDumpOpen = 1;
    Run(INTERNAL_CMD_CORE_DUMP_DATA, {1, 2, 3});
    Run(INTERNAL_CMD_CORE_DUMP_DATA, {4, 5});
    EXPECT_EQ(Read("\\SystemRoot\\dump.bin"), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

// ---- ICS log -----------------------------------------------------------------------------------------------------
// One ICS packet whose first u16 is its length.
std::vector<UCHAR> IcsPacket(USHORT length, UCHAR fill)
{
    std::vector<UCHAR> packet(length, fill);
    std::memcpy(packet.data(), &length, sizeof(length));
    return packet;
}

TEST_F(ExecutorTest, AnIcsPacketWithTheLogClosedStillAdvancesTheCounterAndFreesItsBuffer)
{
    adapter_->RegistryBlock.IcsTimeSyncCnt = 1000;
    adapter_->FwDump.IcsRecordCounter = 5;
    Run(INTERNAL_CMD_ICS_WRITE, IcsPacket(10, 0xAB));
    EXPECT_EQ(adapter_->FwDump.IcsRecordCounter, 6);
    EXPECT_TRUE(TraceContains("ICS log closed: 26 bytes not written"));
    // The pool check of the fixture's tear-down finds the record buffer returned.
}

TEST_F(ExecutorTest, AnIcsPacketThatLiesAboutItsLengthIsDropped)
{
    adapter_->RegistryBlock.IcsTimeSyncCnt = 1;
    std::vector<UCHAR> longer = IcsPacket(10, 0);
    longer.resize(6);  // says 10, carries 6
    // Lengths 1 and 0 are below the length field itself.
    for (const std::vector<UCHAR>& packet : {longer, std::vector<UCHAR>{1, 0}, std::vector<UCHAR>{0, 0}, std::vector<UCHAR>{}}) {
        Run(INTERNAL_CMD_ICS_WRITE, packet);
    }
    EXPECT_EQ(adapter_->FwDump.IcsRecordCounter, 0);
    EXPECT_EQ(CountTraces("dropped"), 4u);
}

TEST_F(ExecutorTest, OpeningTheIcsLogTwiceOpensItOnceAndClosingRunsEvenWhileHalting)
{
    adapter_->FwDump.IcsLogOpen = 1;
    kshim::host::FileOpensClear();
    Run(INTERNAL_CMD_ICS_FILE, {1});
    EXPECT_TRUE(kshim::host::FileOpens().empty()) << "already open";
    // The teardown closes the log with a zeroed argument after the adapter started halting.
    AdapterSetFlag(adapter_.get(), ADAPTER_FLAG_NOT_RESPONDING, "test");
    Run(INTERNAL_CMD_ICS_FILE, {0, 0, 0, 0});
    EXPECT_EQ(adapter_->FwDump.IcsLogOpen, 0);
    EXPECT_EQ(adapter_->FwDump.IcsLogFile, nullptr);
    // An open is a command like any other: dropped (without a file root an open would fail and say so).
    kshim::host::FileOpensClear();
    Run(INTERNAL_CMD_ICS_FILE, {1});
    EXPECT_TRUE(kshim::host::FileOpens().empty());
    EXPECT_EQ(adapter_->FwDump.IcsLogOpen, 0);
}

#pragma pack(push, 1)
struct IcsRecord {
    ICS_RECORD_HEADER header;
};
#pragma pack(pop)

TEST_F(FileExecutorTest, TheIcsLogCarriesHeadersAndATimeSyncRecordEveryIcsTimeSyncCntRecords)
{
    kshim::host::ClockSetManual();
    // 2024-01-01 00:00:00 UTC: 1 704 067 200 s after 1970.
    const int64_t unixSeconds = 1704067200;
    kshim::host::ClockSetSystemTime((unixSeconds + 11644473600LL) * 10000000LL);
    adapter_->RegistryBlock.IcsTimeSyncCnt = 3;
    adapter_->FwDump.IcsLogFile = OpenForWrite(u"\\SystemRoot\\ics.bin");
    adapter_->FwDump.IcsLogOpen = 1;
    for (UCHAR i = 0; i < 3; ++i) {
        Run(INTERNAL_CMD_ICS_WRITE, IcsPacket(static_cast<USHORT>(4 + i), static_cast<UCHAR>(0xA0 + i)));
    }
    kshim::host::ClockSetAuto();
    const std::vector<uint8_t> file = Read("\\SystemRoot\\ics.bin");
    // Counter 0: time sync (counter 0), then packet (counter 1); counter 2: packet; counter 3: time sync,
    // then packet (counter 4).
    ASSERT_EQ(file.size(), 24u + (16 + 4) + (16 + 5) + 24u + (16 + 6));
    size_t at = 0;
    auto sync = [&](USHORT counter) {
        ICS_TIME_SYNC_RECORD r;
        std::memcpy(&r, file.data() + at, sizeof(r));
        EXPECT_EQ(r.Magic, ICS_RECORD_MAGIC);
        EXPECT_EQ(r.Version, 1);
        EXPECT_EQ(r.Counter, counter);
        EXPECT_EQ(r.Reserved, 0u);
        EXPECT_EQ(r.Type, 0x0110);
        EXPECT_EQ(r.Length, 8);
        EXPECT_EQ(r.UnixTimeNs, static_cast<ULONG64>(unixSeconds) * 1000000000ull);
        at += sizeof(r);
    };
    auto packet = [&](USHORT counter, USHORT length, UCHAR fill) {
        ICS_RECORD_HEADER h;
        std::memcpy(&h, file.data() + at, sizeof(h));
        EXPECT_EQ(h.Magic, ICS_RECORD_MAGIC);
        EXPECT_EQ(h.Version, 1);
        EXPECT_EQ(h.Counter, counter);
        EXPECT_EQ(h.Reserved, 0u);
        EXPECT_EQ(h.Type, 12);
        EXPECT_EQ(h.Length, length);
        at += sizeof(h);
        std::vector<uint8_t> expected = IcsPacket(length, fill);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + static_cast<long>(at)));
        at += length;
    };
    sync(0);
    packet(1, 4, 0xA0);
    packet(2, 5, 0xA1);
    sync(3);
    packet(4, 6, 0xA2);
    EXPECT_EQ(adapter_->FwDump.IcsRecordCounter, 5);
}

TEST_F(ExecutorTest, AnIcsTimeSyncCountOfZeroWritesNoTimeSyncRecord)
{
    adapter_->RegistryBlock.IcsTimeSyncCnt = 0;
    UCHAR buffer[ICS_TIME_SYNC_SIZE] = {};
    EXPECT_FALSE(nicRxWriteIcsTimeSync(adapter_.get(), buffer));
    EXPECT_EQ(adapter_->FwDump.IcsRecordCounter, 0);
}

TEST_F(ExecutorTest, IcsPacketsPostedToTheIcsThreadAreWritten)
{
    adapter_->RegistryBlock.IcsTimeSyncCnt = 1000;
    adapter_->FwDump.IcsRecordCounter = 1;
    StartThreads();
    std::vector<UCHAR> packet = IcsPacket(8, 0x11);
    ASSERT_EQ(QZEnqueueIcsCmd(adapter_.get(), port0_, INTERNAL_CMD_ICS_WRITE, packet.data(), 8), STATUS_SUCCESS);
    // The record back in its pool (under the pool's lock) means the ICS thread is done with it.
    EXPECT_TRUE(Eventually([&] { return FreeCount(&adapter_->Cmd.IcsPool) == ICS_CMD_POOL_SIZE; }));
    EXPECT_EQ(adapter_->FwDump.IcsRecordCounter, 2);
}

TEST_F(ExecutorTest, CommandsPostedToTheControlThreadAreCarriedOut)
{
    StartThreads();
    const ULONG kind = RECOVERY_IO_FAIL;
    ASSERT_EQ(QZEnqueueInternalCmd(adapter_.get(), port0_, INTERNAL_CMD_ERROR_RECOVERY, &kind, sizeof(kind)),
              STATUS_SUCCESS);
    ASSERT_EQ(QZEnqueueInternalCmd(adapter_.get(), port0_, INTERNAL_CMD_MLME_PERIODIC, nullptr, 0), STATUS_SUCCESS);
    EXPECT_TRUE(Eventually([&] { return __atomic_load_n(&adapter_->Mlme.Periodic.Ticks, __ATOMIC_ACQUIRE) > 0; }));
    EXPECT_TRUE(TraceContains("ErrorRecoveryProc: kind 5"));
}

// ---- runtime calibration -----------------------------------------------------------------------------------------
class CalibrationTest : public ExecutorTest {
protected:
    void SetUp() override
    {
        ExecutorTest::SetUp();
        saved_ = g_FactCalStore;
        g_FactCalCursor = 0;
    }
    void TearDown() override
    {
        g_FactCalStore = saved_;
        g_FactCalCursor = 0;
        ExecutorTest::TearDown();
    }
    void Keys(std::initializer_list<ULONG> keys)
    {
        adapter_->HalInfo.FactoryCalIdCount = static_cast<ULONG>(keys.size());
        ULONG i = 0;
        for (ULONG key : keys) {
            adapter_->HalInfo.FactoryCalIds[i++] = key;
        }
    }
    FACT_CAL_STORE saved_;
};

TEST_F(CalibrationTest, AFullWalkAsksForEveryRecordThenPostsTheFileWrite)
{
    Keys({100, 150, 200});
    g_FactCalStore.State = 2;
    Run(INTERNAL_CMD_CAL_COLLECT);
    EXPECT_EQ(qzltest::NotBuiltCalls("QzCmdFactCalGet"), 3u);
    EXPECT_EQ(g_FactCalCursor, 3);
    EXPECT_EQ(g_FactCalStore.State, FACT_CAL_STATE_COLLECTED);
    EXPECT_NE(g_FactCalStore.StateTime, 0);
    ASSERT_EQ(adapter_->Cmd.ControlQueue.Count, 1u);
    PINTERNAL_CMD posted = QzDequeueCmdQueueLocked(&adapter_->Cmd.ControlQueue);
    EXPECT_EQ(posted->CmdId, INTERNAL_CMD_CAL_WRITE);
    EXPECT_EQ(posted->PayloadLength, 0u);
    QzReturnInternalCmdBuffer(adapter_.get(), posted);

    // Running the write marks the file written.
    Run(INTERNAL_CMD_CAL_WRITE);
    EXPECT_EQ(g_FactCalStore.State, FACT_CAL_STATE_WRITTEN);

    // A finished walk asks for nothing more.
    kshim::host::TraceClear();
    Run(INTERNAL_CMD_CAL_COLLECT);
    EXPECT_EQ(qzltest::NotBuiltCalls("QzCmdFactCalGet"), 0u);
    EXPECT_EQ(adapter_->Cmd.ControlQueue.Count, 0u);
}

TEST_F(CalibrationTest, AKeyThatMapsToNoRecordEndsTheWalk)
{
    Keys({100, 42, 200});
    g_FactCalStore.State = 2;
    Run(INTERNAL_CMD_CAL_COLLECT);
    EXPECT_EQ(qzltest::NotBuiltCalls("QzCmdFactCalGet"), 1u);
    EXPECT_EQ(g_FactCalCursor, FACT_CAL_CURSOR_ENDED);
    EXPECT_EQ(g_FactCalStore.State, 2);
    EXPECT_EQ(adapter_->Cmd.ControlQueue.Count, 0u);
}

// ---- connection-start time-out -----------------------------------------------------------------------------------
TEST_F(ExecutorTest, TheConnectionStartTimeOutAbortsARunningScanOnly)
{
    Run(INTERNAL_CMD_CONNECT_START_TIMEOUT);
    EXPECT_EQ(qzltest::NotBuiltCalls(), 0u);

    AdapterSetFlag(adapter_.get(), ADAPTER_FLAG_SCANNING, "test");
    adapter_->Fdo = WdfDeviceWdmGetDeviceObject(adapter_->Device);
    adapter_->EnableSystemEventLog = 1;
    kshim::host::ErrorLogClear();
    // A neighbour-AP record waiting for its scan is dropped with the scan.
    PNEIGHBOR_AP_INFO record = ScanAllocNeighborAPInfo(adapter_.get());
    ASSERT_NE(record, nullptr);
    ScanNeighborAPInfoListInsertTail(adapter_.get(), &adapter_->NeighborApList, record);
    adapter_->NeighborApList.Parsed = 1;
    Run(INTERNAL_CMD_CONNECT_START_TIMEOUT);
    EXPECT_TRUE(TraceContains("roaming-candidate merge without storage"));
    EXPECT_EQ(adapter_->NeighborApList.Count, 0u);
    EXPECT_EQ(adapter_->NeighborApList.Parsed, 0u);
    // The scan abort went to the firmware and wrote its event-log entry.
    bool abortLogged = false;
    for (const auto& e : kshim::host::ErrorLogSnapshot()) {
        abortLogged = abortLogged || e.errorCode == 0x400203EBu;
    }
    EXPECT_TRUE(abortLogged);
    EXPECT_FALSE(AdapterTestFlags(adapter_.get(), ADAPTER_FLAG_SCANNING));
}

// ---- WiFiCx peers ------------------------------------------------------------------------------------------------
TEST_F(ExecutorTest, PeerCommandsNeedAnAddressAStationPortAndItsNetAdapter)
{
    Run(INTERNAL_CMD_ADD_PEER, {1, 2, 3});
    EXPECT_TRUE(TraceContains("without a peer address"));
    const std::vector<UCHAR> peer = {2, 0, 0, 0, 0, 1};
    kshim::host::TraceClear();
    Run(INTERNAL_CMD_ADD_PEER, peer);  // port 0 has no net adapter
    EXPECT_EQ(qzltest::NotBuiltCalls(), 0u);
    EXPECT_EQ(port0_->ConnectionFlags, 0u);
}

}  // namespace
}  // namespace ctrltest
