// The assert dump and the ICS log: chunks of dump text reach the core-dump file through the control
// thread's commands (the Wi-Fi file starting with the firmware's identification line, the Bluetooth file
// without it), the dump ends 500 ms after its last chunk, sniffer records go to the ICS thread and PHY
// raw words are written as records of their own.
#include "fwstatus_fixture.h"
#include "kshim/host/control.h"
#include "kshim/host/recorder.h"
#include "support/crossings.h"

namespace fwstatustest {
namespace {

using kshim::host::TraceContains;

const std::string kWifiDump = "\\SystemRoot\\System32\\drivers\\CoreDump";
const std::string kBtDump = "\\SystemRoot\\System32\\drivers\\CoreDumpBT";

class AssertDump : public FwStatusTest {
protected:
    void SetUp() override
    {
        FwStatusTest::SetUp();
        UseFileRoot();
        kshim::host::ClockSetManual();
        ident_ = std::string(";firmware-ident") + std::string(FW_IDENT_TEXT_SIZE - 16, '.') + "\n";
        std::memcpy(adapter_->FwIdentText, ident_.data(), FW_IDENT_TEXT_SIZE);
    }
    void TearDown() override
    {
        FwStatusTest::TearDown();
        kshim::host::ClockSetAuto();
    }
    void Chunk(const std::string& text, UCHAR s2d = 0)
    {
        Bytes payload(text.begin(), text.end());
        Bytes view = View(0xF0, payload, 0, s2d);
        ProcessAssertDumpEvent(adapter_.get(), view.data(), view.data() + FW_EVENT_VIEW_PAYLOAD_OFFSET,
                               static_cast<ULONG>(payload.size()));
    }
    // Lets the clock pass and waits for the timer thread to have posted the end of the dump.
    bool EndPostedAfter(int ms)
    {
        kshim::host::ClockAdvanceMs(ms);
        return Eventually([&] { return adapter_->Cmd.ControlQueue.Count != 0; });
    }
    std::string File(const std::string& name)
    {
        Bytes b = ReadFile(name);
        return std::string(b.begin(), b.end());
    }
    std::string ident_;
};

TEST_F(AssertDump, AWifiDumpStartsWithTheIdentificationLineAndEndsAfterAPause)
{
    Chunk("<dump header>");
    Chunk(";[core dump start] text");
    EXPECT_EQ(adapter_->FwDump.CoreDumpHeaderPhase, 0) << "the start line ends the header";
    Chunk("memory");
    EXPECT_EQ(adapter_->FwDump.CoreDumpByteCount, 13u + 23u + 6u);
    EXPECT_EQ(adapter_->FwDump.FwAsserted, 1);
    EXPECT_TRUE(TraceContains("assert dump: <dump header>"));
    EXPECT_TRUE(TraceContains("assert dump: ;[core dump start] text"));
    EXPECT_FALSE(TraceContains("assert dump: memory"));
    auto posted = TakeControl();
    ASSERT_EQ(posted.size(), 5u);
    EXPECT_EQ(posted[0].id, INTERNAL_CMD_CORE_DUMP_FILE);
    EXPECT_EQ(posted[0].payload, Bytes{1});
    for (size_t i = 1; i < posted.size(); ++i) EXPECT_EQ(posted[i].id, INTERNAL_CMD_CORE_DUMP_DATA);
    RunAll(posted);
    // 499 ms without a chunk: the dump goes on.
    kshim::host::ClockAdvanceMs(499);
    Chunk(" more");
    RunAll(TakeControl());
    ASSERT_TRUE(EndPostedAfter(500));
    auto end = TakeControl();
    ASSERT_EQ(end.size(), 1u);
    EXPECT_EQ(end[0].payload, Bytes{0});
    RunAll(end);
    EXPECT_EQ(File(kWifiDump), ident_ + "<dump header>;[core dump start] textmemory more");
    EXPECT_EQ(adapter_->FwDump.CoreDumpInProgress, 0);
    EXPECT_EQ(adapter_->FwDump.CoreDumpOpen, 0);
    EXPECT_EQ(qzltest::NotBuiltCalls("PlatformIndicateFirmwareStalled"), 1u);
    auto recovery = TakeControl();
    ASSERT_EQ(recovery.size(), 1u);
    EXPECT_EQ(recovery[0].id, INTERNAL_CMD_ERROR_RECOVERY);

    // A new dump after the pause writes the file anew, without the old dump's tail.
    Chunk("short");
    RunAll(TakeControl());
    ASSERT_TRUE(EndPostedAfter(500));
    RunAll(TakeControl());
    EXPECT_EQ(File(kWifiDump), ident_ + "short");
}

TEST_F(AssertDump, TheBluetoothMarkerChoosesTheBluetoothFileOnlyWhenExportIsOn)
{
    const std::string marker("bt_coredump\0", 12);
    adapter_->RegistryBlock.EnableBtCoredumpExport = 0;
    Chunk(marker);
    EXPECT_EQ(adapter_->FwDump.AssertDumpMark, 0);
    RunAll(TakeControl());
    ASSERT_TRUE(EndPostedAfter(500));
    RunAll(TakeControl());
    EXPECT_EQ(File(kWifiDump), ident_ + marker);
    DrainQueues();

    adapter_->RegistryBlock.EnableBtCoredumpExport = 1;
    kshim::host::TraceClear();
    Chunk(marker);
    EXPECT_EQ(adapter_->FwDump.AssertDumpMark, 1);
    EXPECT_EQ(qzltest::NotBuiltCalls("QzCmdBtCtrl"), 1u);
    Chunk("bt memory");
    RunAll(TakeControl());
    ASSERT_TRUE(EndPostedAfter(500));
    RunAll(TakeControl());
    EXPECT_EQ(File(kBtDump), marker + "bt memory") << "no identification line";
    // The end of a Bluetooth dump only closes its file.
    EXPECT_EQ(adapter_->FwDump.AssertDumpMark, 0);
    EXPECT_EQ(adapter_->FwDump.CoreDumpInProgress, 0);
    EXPECT_EQ(qzltest::NotBuiltCalls("PlatformIndicateFirmwareStalled"), 0u);
    EXPECT_TRUE(TakeControl().empty());
}

TEST_F(AssertDump, AChunkLongerThanOneCommandArrivesWholeAndOtherS2DIndexesAreIgnored)
{
    kshim::host::FileOpensClear();
    Chunk("x", 1);
    EXPECT_TRUE(kshim::host::FileOpens().empty());
    EXPECT_EQ(adapter_->FwDump.CoreDumpInProgress, 0);
    EXPECT_TRUE(TakeControl().empty());

    std::string longChunk(3000, 'q');
    longChunk[0] = ';';
    Chunk(longChunk);
    auto posted = TakeControl();
    ASSERT_EQ(posted.size(), 5u);  // open, identification, 1280 + 1280 + 440
    EXPECT_EQ(posted[4].payload.size(), 440u);
    RunAll(posted);
    ASSERT_TRUE(EndPostedAfter(500));
    RunAll(TakeControl());
    EXPECT_EQ(File(kWifiDump), ident_ + longChunk);
}

TEST_F(AssertDump, AFailedOpenLeavesTheDumpRunningUntilItsTimerTeardown)
{
    kshim::host::FilesSetRoot("/nonexistent-qzl-root");
    kshim::host::FileOpensClear();
    Chunk("data");
    RunAll(TakeControl());
    // The Wi-Fi dump file was asked for, created anew, and refused.
    std::vector<kshim::host::FileOpenRecord> opens = kshim::host::FileOpens();
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].name, kWifiDump);
    EXPECT_EQ(opens[0].disposition, 5u) << "FILE_OVERWRITE_IF";
    EXPECT_FALSE(NT_SUCCESS(opens[0].status));
    ASSERT_TRUE(EndPostedAfter(500));
    RunAll(TakeControl());
    EXPECT_EQ(adapter_->FwDump.CoreDumpInProgress, 1);
    EXPECT_TRUE(TakeControl().empty()) << "no recovery without a file";
    kshim::host::FilesSetRoot(root_);
}

// ---- ICS log ----------------------------------------------------------------------------------------------------------
class IcsLog : public FwStatusTest {
protected:
    void SetUp() override
    {
        FwStatusTest::SetUp();
        UseFileRoot();
        adapter_->RegistryBlock.IcsTimeSyncCnt = 1000;
    }
    // The one ICS log file in the drivers folder.
    Bytes LogFile()
    {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("IcsLog_", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".bin") {
                auto bytes = kshim::host::FilesRead("\\SystemRoot\\System32\\drivers\\" + name);
                return bytes ? Bytes(bytes->begin(), bytes->end()) : Bytes{};
            }
        }
        return {};
    }
    static ULONG U32At(const Bytes& b, size_t at)
    {
        ULONG v = 0;
        std::memcpy(&v, b.data() + at, sizeof(v));
        return v;
    }
    static USHORT U16At(const Bytes& b, size_t at)
    {
        USHORT v = 0;
        std::memcpy(&v, b.data() + at, sizeof(v));
        return v;
    }
};

TEST_F(IcsLog, SnifferRecordsQueueOnlyWhileLoggingIsOnAndTheFirstFollowsATimeSync)
{
    Bytes record = {8, 0, 1, 2, 3, 4, 5, 6};
    EXPECT_EQ(ProcessIcsLog(adapter_.get(), record.data(), 8), STATUS_SUCCESS);
    EXPECT_TRUE(TakeIcs().empty());

    adapter_->FwDump.IcsLoggingDynamic = 1;
    EXPECT_EQ(ProcessIcsLog(adapter_.get(), record.data(), 8), STATUS_SUCCESS);
    auto posted = TakeIcs();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].id, INTERNAL_CMD_ICS_FILE);
    EXPECT_EQ(posted[0].payload, Bytes{1});
    EXPECT_EQ(posted[1].id, INTERNAL_CMD_ICS_WRITE);
    RunAll(posted);
    // The file is open: the next record is only written.
    EXPECT_EQ(ProcessIcsLog(adapter_.get(), record.data(), 8), STATUS_SUCCESS);
    posted = TakeIcs();
    ASSERT_EQ(posted.size(), 1u);
    RunAll(posted);

    const Bytes log = LogFile();
    ASSERT_EQ(log.size(), 24u + 2 * (16u + 8u));
    EXPECT_EQ(U32At(log, 0), ICS_RECORD_MAGIC);
    EXPECT_EQ(U16At(log, 12), ICS_RECORD_TYPE_TIME_SYNC);
    EXPECT_EQ(U16At(log, 24 + 12), ICS_RECORD_TYPE_PACKET);
    EXPECT_EQ(U16At(log, 24 + 14), 8u);
}

TEST_F(IcsLog, AFailedOpenPostIsReturnedAndTheRecordIsNotQueued)
{
    adapter_->FwDump.IcsLogging[0] = 1;
    adapter_->StopThreads = 1;  // internal commands are refused
    Bytes record = {4, 0, 1, 2};
    EXPECT_EQ(ProcessIcsLog(adapter_.get(), record.data(), 4), STATUS_UNSUCCESSFUL);
    adapter_->StopThreads = 0;
    EXPECT_TRUE(TakeIcs().empty());
}

Bytes PhyRaw(ULONG n, ULONG tag, size_t words = ICS_PHY_RAW_WORDS)
{
    Bytes p(ICS_PHY_RAW_DATA_OFFSET + 4 * words, 0);
    PutU32(p, ICS_PHY_RAW_TAG_OFFSET, tag);
    PutU32(p, ICS_PHY_RAW_COUNT_OFFSET, n);
    for (size_t i = 0; i < words; ++i) {
        p[ICS_PHY_RAW_DATA_OFFSET + 4 * i] = 0x12;  // big-endian 0x120000ii
        p[ICS_PHY_RAW_DATA_OFFSET + 4 * i + 3] = static_cast<UCHAR>(i);
    }
    return p;
}

TEST_F(IcsLog, PhyRawWordsBecomeARecordOfTheirCount)
{
    Bytes payload = PhyRaw(3, 0xCAFE);
    nicExtEventPhyIcsRawData(adapter_.get(), payload.data(), static_cast<ULONG>(payload.size()));
    EXPECT_EQ(adapter_->FwDump.IcsLogOpen, 1);
    const Bytes log = LogFile();
    ASSERT_EQ(log.size(), 28u);
    EXPECT_EQ(U32At(log, 0), ICS_RECORD_MAGIC);
    EXPECT_EQ(U16At(log, 4), 0u);
    EXPECT_EQ(U32At(log, 8), 0xCAFEu);
    EXPECT_EQ(U16At(log, 12), ICS_RECORD_TYPE_PHY_RAW);
    EXPECT_EQ(U16At(log, 14), 12u);
    EXPECT_EQ(U32At(log, 16), 0x12000000u);
    EXPECT_EQ(U32At(log, 24), 0x12000002u);
}

TEST_F(IcsLog, APhyRawCountBeyondTheEventIsCutToWhatItCarries)
{
    // A count above the 256-word area, in an event that carries 10 words.
    Bytes payload = PhyRaw(100000, 1, 10);
    nicExtEventPhyIcsRawData(adapter_.get(), payload.data(), static_cast<ULONG>(payload.size()));
    EXPECT_EQ(LogFile().size(), 16u + 40u);
    // An event without its data area is dropped.
    payload.resize(ICS_PHY_RAW_DATA_OFFSET - 1);
    nicExtEventPhyIcsRawData(adapter_.get(), payload.data(), static_cast<ULONG>(payload.size()));
    EXPECT_EQ(LogFile().size(), 16u + 40u) << "nothing written";
}

TEST_F(IcsLog, APhyRawBlockAbovePassiveLevelIsNotWrittenInPlace)
{
    Bytes payload = PhyRaw(3, 1);
    kshim::host::FileOpensClear();
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    nicExtEventPhyIcsRawData(adapter_.get(), payload.data(), static_cast<ULONG>(payload.size()));
    KeLowerIrql(old);
    EXPECT_TRUE(kshim::host::FileOpens().empty()) << "no file is opened above passive level";
    auto posted = TakeIcs();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].id, INTERNAL_CMD_ICS_FILE);
    EXPECT_EQ(adapter_->FwDump.IcsLogFile, nullptr);
}

}  // namespace
}  // namespace fwstatustest
