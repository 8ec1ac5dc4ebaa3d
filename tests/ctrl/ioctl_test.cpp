// Private requests through the driver's control device: the intake's answers, the dispatch through the
// four OID tables with each OID's record rule; and the firmware answers that complete parked requests.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Common/qzevent.h"
#include "kshim/host/control.h"
#include "kshim/host/os.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/memory.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonioctl.h"
#include "platform/ndiscommon/trace.h"
#include "platform/wificx/wificxmain.h"
#include "support/eventually.h"

namespace {

using kshim::host::DeviceControlRequest;

constexpr NTSTATUS kOverflow = static_cast<NTSTATUS>(0x80000005L);
constexpr NTSTATUS kTooSmall = static_cast<NTSTATUS>(0xC0000023L);
constexpr NTSTATUS kNoSuchOid = static_cast<NTSTATUS>(0xC0000002L);
const std::u16string kLink = u"\\DosDevices\\QZLWLAN";

std::vector<uint8_t> Oid(ULONG oid, size_t length = 4)
{
    std::vector<uint8_t> bytes(length, 0);
    std::memcpy(bytes.data(), &oid, std::min<size_t>(length, 4));
    return bytes;
}

// ---- the driver's control device ---------------------------------------------------------------------------------
class PrivateRequests : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::TraceSetLevel(TRACE_LEVEL_VERBOSE);
        ASSERT_EQ(os_.Load(DriverEntry, u"wdrvcx"), STATUS_SUCCESS);
        device_ = os_.AddDevice();
        ASSERT_EQ(device_->AddStatus(), STATUS_SUCCESS);
        adapter_ = QZCxGetAdapter(device_->Handle());
    }
    void TearDown() override
    {
        adapter_->Signature = 0;
        adapter_->InitFinished = 0;
        os_.Remove(device_);
        kshim::host::UnloadReport report = os_.Unload();
        EXPECT_TRUE(report.clean) << report.text;
        kshim::host::ResetDefaults();
    }
    void Ready()
    {
        adapter_->Signature = MP_ADAPTER_SIGNATURE;
        adapter_->InitFinished = 1;
    }
    DeviceControlRequest Send(const std::vector<uint8_t>& input, size_t output, ULONG code = PRIVATE_IOCTL_CODE)
    {
        DeviceControlRequest r = os_.SendDeviceControl(kLink, code, input, output);
        EXPECT_TRUE(r.Wait());
        return r;
    }

    kshim::host::Os os_;
    kshim::host::OsDevice* device_ = nullptr;
    MP_ADAPTER* adapter_ = nullptr;
};

TEST_F(PrivateRequests, OtherCodesAndShortInputsCompleteWithSuccessAndNoData)
{
    Ready();
    DeviceControlRequest other = Send(Oid(0xFFFCF001), 8, 0x00170006);
    EXPECT_EQ(other.Status(), STATUS_SUCCESS);
    EXPECT_EQ(other.Information(), 0u);
    DeviceControlRequest shortInput = Send(Oid(0xFFFCF001, 3), 8);
    EXPECT_EQ(shortInput.Status(), STATUS_SUCCESS);
    EXPECT_EQ(shortInput.Information(), 0u);
    EXPECT_FALSE(kshim::host::TraceContains("private OID"));
}

TEST_F(PrivateRequests, AnAdapterThatCannotTakeRequestsAnswersOverflowWithNoData)
{
    // Before the first bring-up, then halting, surprise-removed, shut down.
    DeviceControlRequest early = Send(Oid(0xFFFCF001), 8);
    EXPECT_EQ(early.Status(), kOverflow);
    EXPECT_EQ(early.Information(), 0u);
    Ready();
    for (ULONG flag : {ADAPTER_FLAG_HALT_IN_PROGRESS, ADAPTER_FLAG_SURPRISE_REMOVED}) {
        AdapterSetFlag(adapter_, flag, "test");
        DeviceControlRequest r = Send(Oid(0xFFFCF001), 8);
        EXPECT_EQ(r.Status(), kOverflow) << std::hex << flag;
        EXPECT_EQ(r.Information(), 0u);
        AdapterClearFlag(adapter_, flag, "test");
    }
    adapter_->ShutdownNotified = 1;
    EXPECT_EQ(Send(Oid(0xFFFCF001), 8).Status(), kOverflow);
    adapter_->ShutdownNotified = 0;
    EXPECT_EQ(adapter_->Ioctl.LastPrivateRequestTime, 0u);
}

TEST_F(PrivateRequests, AnOidOfNoTableAnswersNoSuchOidAndStampsTheRequestTime)
{
    Ready();
    kshim::host::ClockSetManual();
    kshim::host::ClockSetSystemTime(123456789LL * 10000);
    DeviceControlRequest r = Send(Oid(0xFFFCF0FF), 16);
    EXPECT_EQ(r.Status(), kNoSuchOid);
    EXPECT_EQ(r.Information(), 0u);
    EXPECT_EQ(adapter_->Ioctl.LastPrivateRequestTime, 123456789u);
}

struct RecordCase {
    ULONG oid;
    size_t output;
    NTSTATUS status;
    ULONG_PTR information;
};

TEST_F(PrivateRequests, EachOidChecksItsRecordAsItsRuleSays)
{
    Ready();
    adapter_->DeviceId = 0x3502;
    const RecordCase cases[] = {
        {0xFFFCF001, 4, kOverflow, 8},            // at least 8
        {0xFFFCF001, 64, STATUS_NOT_SUPPORTED, 0},  // passes; the handler's work is not there
        {0xFFFCF00B, 4, kTooSmall, 0},            // at least 8, answered as too small
        {0xFFFCF12A, 8, kOverflow, 4},            // exactly 4
        {0xFFFCF12A, 4, STATUS_NOT_SUPPORTED, 0},
        {0xFFFCF021, 23, kOverflow, 24},          // exactly 24
        {0xFFFCF012, 100, kOverflow, 328},        // used as 328 bytes: a shorter record is refused
        {0xFFFCF00F, 39, kOverflow, 40},          // 40 bytes on the second generation
        {0xFFFCF00F, 40, STATUS_NOT_SUPPORTED, 0},
        {0xFFFCFA00, 4, STATUS_NOT_SUPPORTED, 0},   // table 3
        {0xFFFCFC00, 95, kOverflow, 96},          // table 4
        {0xFFFCF11D, 4, STATUS_NOT_SUPPORTED, 0},   // no record
        {0xFFFCF11D, 0, kTooSmall, 0},            // no output buffer: the retrieval's failure
    };
    for (const RecordCase& c : cases) {
        DeviceControlRequest r = Send(Oid(c.oid), c.output);
        EXPECT_EQ(r.Status(), c.status) << std::hex << c.oid << " " << std::dec << c.output;
        EXPECT_EQ(r.Information(), c.information) << std::hex << c.oid << " " << std::dec << c.output;
    }
    adapter_->DeviceId = 0x3602;
    DeviceControlRequest third = Send(Oid(0xFFFCF00F), 40);
    EXPECT_EQ(third.Status(), kOverflow);
    EXPECT_EQ(third.Information(), 48u);
}

TEST(PrivateOidRules, CountersFollowTheRule)
{
    struct Case {
        ULONG rule;
        ULONG size;
        ULONG length;
        NTSTATUS status;
        ULONG written;
        ULONG needed;
    };
    const Case cases[] = {
        {OID_RECORD_AT_LEAST, 8, 64, STATUS_SUCCESS, 8, 8},
        {OID_RECORD_AT_LEAST | OID_COUNT_FULL_LENGTH, 20, 64, STATUS_SUCCESS, 64, 64},
        {OID_RECORD_AT_LEAST | OID_NO_COUNTERS, 1, 64, STATUS_SUCCESS, 0, 0},
        {OID_RECORD_AT_LEAST | OID_ANSWER_TOO_SMALL | OID_COUNT_FULL_LENGTH, 1, 0, kTooSmall, 0, 1},
        {OID_RECORD_EXACT, 4, 4, STATUS_SUCCESS, 4, 4},
        {OID_RECORD_EXACT, 4, 3, kOverflow, 0, 4},
        {OID_RECORD_NONE, 0, 64, STATUS_SUCCESS, 0, 0},
        {OID_RECORD_REPORT, 0, 0, STATUS_SUCCESS, 0, 0},
    };
    for (const Case& c : cases) {
        ULONG written = 0;
        ULONG needed = 0;
        EXPECT_EQ(PrivateOidCheckRecord(nullptr, c.rule, c.size, c.length, &written, &needed), c.status) << c.rule;
        EXPECT_EQ(written, c.written) << c.rule;
        EXPECT_EQ(needed, c.needed) << c.rule;
    }
}

TEST(PrivateOidRules, RateListsFillTheirOffsets)
{
    UCHAR record[PRIVATE_RATE_RECORD_SIZE] = {};
    NdisGetCCKRates(record);
    NdisGetOFDMRates(record);
    const UCHAR expected[PRIVATE_RATE_RECORD_SIZE] = {1, 2, 5, 11, 0, 0, 0, 0, 48, 24, 12, 6, 54, 36, 18, 9};
    EXPECT_EQ(std::memcmp(record, expected, sizeof(record)), 0);
}

// ---- parked requests and their firmware answers ---------------------------------------------------------------------
// A control device of a test driver whose requests all park on the adapter of the test.
MP_ADAPTER* g_parkAdapter = nullptr;
WDFDEVICE g_parkControl = nullptr;
DECLARE_CONST_UNICODE_STRING(kParkName, u"\\Device\\QZLCTRLTEST");
DECLARE_CONST_UNICODE_STRING(kParkSddl, u"D:P(A;;GA;;;SY)");

VOID ParkIoDeviceControl(WDFQUEUE, WDFREQUEST request, size_t, size_t, ULONG)
{
    NTSTATUS status = QZCxChainPendingRequest(g_parkAdapter, request);
    if (status != STATUS_PENDING) {
        WdfRequestComplete(request, status);
    }
}

NTSTATUS ParkDeviceAdd(WDFDRIVER driver, PWDFDEVICE_INIT init)
{
    WDFDEVICE device = nullptr;
    NTSTATUS status = WdfDeviceCreate(&init, WDF_NO_OBJECT_ATTRIBUTES, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    PWDFDEVICE_INIT controlInit = WdfControlDeviceInitAllocate(driver, &kParkSddl);
    status = WdfDeviceInitAssignName(controlInit, &kParkName);
    if (NT_SUCCESS(status)) {
        status = WdfDeviceCreate(&controlInit, WDF_NO_OBJECT_ATTRIBUTES, &g_parkControl);
    }
    if (NT_SUCCESS(status)) {
        WDF_IO_QUEUE_CONFIG config;
        WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(&config, WdfIoQueueDispatchSequential);
        config.EvtIoDeviceControl = ParkIoDeviceControl;
        status = WdfIoQueueCreate(g_parkControl, &config, WDF_NO_OBJECT_ATTRIBUTES, nullptr);
    }
    if (NT_SUCCESS(status)) {
        WdfControlFinishInitializing(g_parkControl);
    } else if (controlInit != nullptr) {
        WdfDeviceInitFree(controlInit);
    }
    return status;
}

NTSTATUS ParkDriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath)
{
    WDF_DRIVER_CONFIG config;
    WDF_DRIVER_CONFIG_INIT(&config, ParkDeviceAdd);
    return WdfDriverCreate(driverObject, registryPath, WDF_NO_OBJECT_ATTRIBUTES, &config, WDF_NO_HANDLE);
}

class ParkedRequests : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        kshim::host::TraceSetLevel(TRACE_LEVEL_VERBOSE);
        adapter_ = std::make_unique<MP_ADAPTER>();
        InitializeListHead(&adapter_->Ioctl.PendingRequestList);
        PlatformAllocateSpinLock(&adapter_->Ioctl.PendingRequestLock);
        adapter_->Ioctl.PendingRequestListReady = 1;
        g_parkAdapter = adapter_.get();
        ASSERT_EQ(os_.Load(ParkDriverEntry, u"qzlpark"), STATUS_SUCCESS);
        device_ = os_.AddDevice();
        ASSERT_EQ(device_->AddStatus(), STATUS_SUCCESS);
    }
    void TearDown() override
    {
        while (!IsListEmpty(&adapter_->Ioctl.PendingRequestList)) {
            QZCxCancelPendingRequest(adapter_.get());
        }
        WdfObjectDelete(g_parkControl);
        g_parkControl = nullptr;
        os_.Remove(device_);
        kshim::host::UnloadReport report = os_.Unload();
        EXPECT_TRUE(report.clean) << report.text;
        g_parkAdapter = nullptr;
        kshim::host::ResetDefaults();
    }
    DeviceControlRequest Park(size_t output)
    {
        const LONG before = Parked();
        DeviceControlRequest r = os_.SendDeviceControl(u"\\Device\\QZLCTRLTEST", PRIVATE_IOCTL_CODE,
                                                       Oid(0xFFFCF001), output);
        qzl_test::Eventually([&] { return Parked() != before; });
        EXPECT_EQ(Parked(), before + 1);
        return r;
    }
    // The parked count, read as the intake thread wrote it.
    LONG Parked() const { return __atomic_load_n(&adapter_->Ioctl.PendingRequestCount, __ATOMIC_ACQUIRE); }
    // An event view: 16 bytes before the header, the header, the body.
    static std::vector<UCHAR> Event(UCHAR id, const std::vector<UCHAR>& body, int lengthDelta = 0)
    {
        std::vector<UCHAR> view(FW_EVENT_VIEW_PAYLOAD_OFFSET + body.size(), 0);
        FW_EVENT_HEADER header = {};
        header.Length = static_cast<USHORT>(FW_EVENT_HEADER_LENGTH + body.size() + lengthDelta);
        header.EventId = id;
        std::memcpy(view.data() + FW_EVENT_VIEW_HEADER_OFFSET, &header, sizeof(header));
        std::copy(body.begin(), body.end(), view.begin() + FW_EVENT_VIEW_PAYLOAD_OFFSET);
        return view;
    }
    static std::vector<UCHAR> RegisterAnswer(ULONG address, ULONG value)
    {
        std::vector<UCHAR> body(8);
        std::memcpy(body.data(), &address, 4);
        std::memcpy(body.data() + 4, &value, 4);
        return body;
    }

    kshim::host::Os os_;
    kshim::host::OsDevice* device_ = nullptr;
    std::unique_ptr<MP_ADAPTER> adapter_;
};

TEST_F(ParkedRequests, ARegisterAnswerCompletesTheOldestRequestWithTheValueAtOffsetFour)
{
    DeviceControlRequest r = Park(8);
    std::vector<UCHAR> event = Event(0x05, RegisterAnswer(0x00100000, 0xCAFEF00D));
    ProcessAccessReg(adapter_.get(), event.data());
    ASSERT_TRUE(r.Wait());
    EXPECT_EQ(r.Status(), STATUS_SUCCESS);
    EXPECT_EQ(r.Information(), 8u);
    std::vector<uint8_t> out = r.Output();
    ULONG value = 0;
    std::memcpy(&value, out.data() + 4, 4);
    EXPECT_EQ(value, 0xCAFEF00Du);
    EXPECT_EQ(Parked(), 0);
}

TEST_F(ParkedRequests, AnAnswerOfTheWrongLengthCompletesNothing)
{
    DeviceControlRequest r = Park(8);
    std::vector<UCHAR> body = RegisterAnswer(0x83086040, 1);
    body.resize(12);  // event length 24
    std::vector<UCHAR> event = Event(0x05, body);
    ProcessAccessReg(adapter_.get(), event.data());
    std::vector<UCHAR> coex = Event(0x7C, std::vector<UCHAR>(464, 1), -1);
    ProcessCoexCtrl(adapter_.get(), coex.data());
    EXPECT_FALSE(r.Completed());
    EXPECT_EQ(Parked(), 1);
}

TEST_F(ParkedRequests, ACoexistenceAnswerCompletesAnEarlierRegisterReadWithinItsBuffer)
{
    DeviceControlRequest first = Park(8);
    std::vector<UCHAR> reply(COEX_CTRL_RECORD_SIZE);
    for (size_t i = 0; i < reply.size(); ++i) {
        reply[i] = static_cast<UCHAR>(i);
    }
    std::vector<UCHAR> event = Event(0x7C, reply);
    ProcessCoexCtrl(adapter_.get(), event.data());
    ASSERT_TRUE(first.Wait());
    EXPECT_EQ(first.Status(), STATUS_SUCCESS);
    EXPECT_EQ(first.Information(), 8u);
    EXPECT_EQ(first.Output(), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7}));
}

TEST_F(ParkedRequests, AChipConfigurationAnswerCopiesNoMoreThanItCarriesOrTheBufferHolds)
{
    DeviceControlRequest big = Park(400);
    std::vector<UCHAR> event = Event(0x44, std::vector<UCHAR>(10, 0x5A));
    ProcessGetChipReq(adapter_.get(), event.data());
    ASSERT_TRUE(big.Wait());
    EXPECT_EQ(big.Information(), 10u);
    std::vector<uint8_t> out = big.Output();
    EXPECT_EQ(out[9], 0x5A);
    EXPECT_EQ(out[10], 0);

    DeviceControlRequest small = Park(16);
    std::vector<UCHAR> full = Event(0x44, std::vector<UCHAR>(500, 0x33));
    ProcessGetChipReq(adapter_.get(), full.data());
    ASSERT_TRUE(small.Wait());
    EXPECT_EQ(small.Information(), 16u);
}

TEST_F(ParkedRequests, ARequestWithoutAnOutputBufferEndsWithTheRetrievalFailure)
{
    DeviceControlRequest r = Park(0);
    std::vector<UCHAR> event = Event(0x05, RegisterAnswer(0x00100000, 1));
    ProcessAccessReg(adapter_.get(), event.data());
    ASSERT_TRUE(r.Wait());
    EXPECT_FALSE(NT_SUCCESS(r.Status()));
    EXPECT_EQ(Parked(), 0);
}

TEST_F(ParkedRequests, TheSecondGenerationLatchesTwoRegistersEvenWithNoRequestParked)
{
    std::vector<UCHAR> a = Event(0x05, RegisterAnswer(0x83086040, 0x11));
    std::vector<UCHAR> b = Event(0x05, RegisterAnswer(0x830860F8, 0x22));
    adapter_->DeviceId = 0x3502;
    ProcessAccessReg(adapter_.get(), a.data());
    ProcessAccessReg(adapter_.get(), b.data());
    EXPECT_EQ(adapter_->Ioctl.LatchedReg83086040, 0x11u);
    EXPECT_EQ(adapter_->Ioctl.LatchedReg830860F8, 0x22u);
    adapter_->DeviceId = 0x3601;
    std::vector<UCHAR> c = Event(0x05, RegisterAnswer(0x83086040, 0x99));
    ProcessAccessReg(adapter_.get(), c.data());
    EXPECT_EQ(adapter_->Ioctl.LatchedReg83086040, 0x11u);
}

TEST_F(ParkedRequests, ACancelledRequestCompletesWithCancelled)
{
    DeviceControlRequest r = Park(8);
    QZCxCancelPendingRequest(adapter_.get());
    ASSERT_TRUE(r.Wait());
    EXPECT_EQ(r.Status(), STATUS_CANCELLED);
}

TEST_F(ParkedRequests, ParkingWithoutMemoryAnswersInsufficientResources)
{
    kshim::host::FaultArm("pool", "ZVA0", 1, STATUS_INSUFFICIENT_RESOURCES, 6);
    DeviceControlRequest r = os_.SendDeviceControl(u"\\Device\\QZLCTRLTEST", PRIVATE_IOCTL_CODE, Oid(0xFFFCF001), 8);
    ASSERT_TRUE(r.Wait());
    EXPECT_EQ(r.Status(), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(Parked(), 0);
}

TEST(BfProfiles, EachEventReplacesOnlyItsOwnAreaAndAShortBodyIsZeroFilled)
{
    auto adapter = std::make_unique<MP_ADAPTER>();
    auto event = [](std::vector<UCHAR> body) {
        std::vector<UCHAR> view(FW_EVENT_VIEW_PAYLOAD_OFFSET + body.size(), 0);
        FW_EVENT_HEADER header = {};
        header.Length = static_cast<USHORT>(FW_EVENT_HEADER_LENGTH + body.size());
        std::memcpy(view.data() + FW_EVENT_VIEW_HEADER_OFFSET, &header, sizeof(header));
        std::copy(body.begin(), body.end(), view.begin() + FW_EVENT_VIEW_PAYLOAD_OFFSET);
        return view;
    };
    std::vector<UCHAR> data = event(std::vector<UCHAR>(200, 0x17));
    ProcessBFProfileData(adapter.get(), data.data());
    std::vector<UCHAR> tag = event(std::vector<UCHAR>(56, 0x10));
    ProcessBFProfileTag(adapter.get(), tag.data());
    EXPECT_EQ(adapter->Ioctl.BfProfileData[BF_PROFILE_DATA_SIZE - 1], 0x17);
    EXPECT_EQ(adapter->Ioctl.BfProfileTag[BF_PROFILE_TAG_SIZE - 1], 0x10);
    std::vector<UCHAR> shortData = event(std::vector<UCHAR>(4, 0x11));
    ProcessBFProfileData(adapter.get(), shortData.data());
    EXPECT_EQ(adapter->Ioctl.BfProfileData[3], 0x11);
    EXPECT_EQ(adapter->Ioctl.BfProfileData[4], 0);
    EXPECT_EQ(adapter->Ioctl.BfProfileTag[0], 0x10);
}

}  // namespace
