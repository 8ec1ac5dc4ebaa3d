// Error-log entries: the size limit, the fields a writer sets, write order across threads.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "kshim/eventlog.h"
#include "kshim/host/control.h"
#include "kshim/host/eventlog.h"
#include "kshim/ke.h"
#include "recorder.h"

namespace {

namespace host = kshim::host;
using kshim::test::ViolationRecorder;

int g_device;  // stands for the device object

class EventLog : public ::testing::Test {
protected:
    void SetUp() override { host::ErrorLogClear(); }
    void TearDown() override
    {
        host::FaultClearAll();
        EXPECT_EQ(host::ErrorLogOutstanding(), 0u);
    }
};

TEST_F(EventLog, EntriesAboveTheMaximumOrBelowTheFixedPartAreRefused)
{
    const struct {
        int size;
        bool granted;
    } cases[] = {{240, true}, {241, false}, {255, false}, {56, true}, {55, false}, {0, false}};
    for (const auto& c : cases) {
        PVOID entry = IoAllocateErrorLogEntry(&g_device, static_cast<UCHAR>(c.size));
        EXPECT_EQ(entry != nullptr, c.granted) << "size " << c.size;
        if (entry != nullptr) {
            IoWriteErrorLogEntry(entry);
        }
    }
    EXPECT_EQ(IoAllocateErrorLogEntry(nullptr, 64), nullptr) << "no device object";
    host::FaultArm("errorlog.alloc", "", 1);
    EXPECT_EQ(IoAllocateErrorLogEntry(&g_device, 64), nullptr);
}

TEST_F(EventLog, TheEntryKeepsTheFieldsAndDumpTheWriterSet)
{
    // The first of two pieces of a 185-byte dump: 184 bytes, then 8 zero bytes.
    std::vector<uint8_t> piece(184);
    for (size_t i = 0; i < piece.size(); ++i) {
        piece[i] = static_cast<uint8_t>(i);
    }
    auto* packet = static_cast<PIO_ERROR_LOG_PACKET>(IoAllocateErrorLogEntry(&g_device, 56 + 184));
    ASSERT_NE(packet, nullptr);
    const auto* raw = reinterpret_cast<const uint8_t*>(packet);
    EXPECT_EQ(std::vector<uint8_t>(raw, raw + 240), std::vector<uint8_t>(240, 0)) << "entries start zeroed";
    packet->ErrorCode = static_cast<NTSTATUS>(0x40021F40);
    packet->SequenceNumber = 0x00010002;
    packet->IoControlCode = 17;
    packet->DumpDataSize = 184 + 8;
    std::memcpy(packet->DumpData, piece.data(), piece.size());
    IoWriteErrorLogEntry(packet);

    auto log = host::ErrorLogSnapshot();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].errorCode, 0x40021F40u);
    EXPECT_EQ(log[0].sequenceNumber, 0x00010002u);
    EXPECT_EQ(log[0].ioControlCode, 17u);
    EXPECT_EQ(log[0].ioObject, &g_device);
    std::vector<uint8_t> expected = piece;
    expected.resize(192, 0);
    EXPECT_EQ(log[0].dumpData, expected);
}

TEST_F(EventLog, ADumpSizeBeyondTheEntryIsReportedAndCut)
{
    ViolationRecorder recorder;
    auto* packet = static_cast<PIO_ERROR_LOG_PACKET>(IoAllocateErrorLogEntry(&g_device, 60));
    ASSERT_NE(packet, nullptr);
    packet->DumpDataSize = 20;  // the entry holds 12
    IoWriteErrorLogEntry(packet);
    auto seen = recorder.Take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].what, "error-log entry claims more dump data than it holds");
    EXPECT_EQ(host::ErrorLogSnapshot().at(0).dumpData.size(), 12u);
}

TEST_F(EventLog, EntriesAreKeptInWriteOrderAcrossThreads)
{
    constexpr int kThreads = 4;
    constexpr int kEach = 50;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            KIRQL old = KeRaiseIrqlToDpcLevel();  // writers may run at DISPATCH_LEVEL
            for (int i = 0; i < kEach; ++i) {
                auto* p = static_cast<PIO_ERROR_LOG_PACKET>(IoAllocateErrorLogEntry(&g_device, 64));
                ASSERT_NE(p, nullptr);
                p->UniqueErrorValue = static_cast<ULONG>(t * 1000 + i);
                IoWriteErrorLogEntry(p);
            }
            KeLowerIrql(old);
        });
    }
    for (std::thread& w : writers) {
        w.join();
    }
    auto log = host::ErrorLogSnapshot();
    ASSERT_EQ(log.size(), static_cast<size_t>(kThreads * kEach));
    int next[kThreads] = {};
    for (size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].order, log[0].order + i);
        int t = static_cast<int>(log[i].uniqueErrorValue / 1000);
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(static_cast<int>(log[i].uniqueErrorValue % 1000), next[t]++) << "a thread's entries keep its order";
    }
}

}  // namespace
