// The route from a legacy command to its unified builder, and which format the send call chooses.
#include <gtest/gtest.h>

#include <string>

#include "Common/nic_uni_cmd_builder.h"
#include "unified_fixture.h"

namespace unifiedtest {
namespace {

// ---- the route table ----------------------------------------------------------------------------------
struct RouteCase {
    UCHAR cmdId;
    UCHAR extCmdId;
    USHORT uniCmdId;  // of the row found
    const char* builder;
};

const RouteCase kRoutes[] = {
    {0x8A, 0, 0x0E, "nicUniCmdNicCapability"},
    {0x02, 0, 0x0B, "nicUniCmdWsysFwBasicConfig"},
    {0xC0, 0, 0x0D, "nicUniCmdAccessReg"},
    {0x28, 0, 0x28, "nicUniCmdSetMbmc"},
    {0xCA, 0, 0x0E, "nicUniCmdChipCfg"},
    {0xC5, 0, 0x0B, "nicUniCmdWsysFwLog2Host"},
    {0x04, 0, 0x0F, "nicUniCmdPowerCtrl"},
    {0x11, 0, 0x01, "nicUniCmdBssActivateCtrl"},
    {0x03, 0, 0x16, "nicUniCmdScanReqV2"},
    {0x1C, 0, 0x27, "nicUniCmdChPrivilege"},
    {0x07, 0, 0x03, "nicUniCmdInstallKey"},
    {0x0F, 0, 0x15, "nicUniCmdSetDomain"},
    {0x7E, 0, 0x44, "nicUniCmdPerfInd"},
    // The extended id is compared only for extended commands.
    {0xB1, 0xA8, 0x25, "nicUniCmdUpdateSrParams"},
    {0xB1, 0, 0x25, "nicUniCmdUpdateSrParams"},
    {0x8A, 0x21, 0x0E, "nicUniCmdNicCapability"},
    {0xED, 0xA8, 0x25, "nicUniCmdSR"},
    {0xED, 0x21, 0x2D, "nicUniCmdEfuseBufferMode"},
    {0xED, 0x01, 0x2D, "nicUniCmdEfuseAccess"},
    {0xED, 0x4F, 0x2D, "nicUniCmdEfuseFreeBlock"},
    {0xED, 0x81, 0x13, "nicUniCmdSerAction"},
    {0xED, 0x3C, 0x1A, "nicUniCmdGetTsf"},
    {0xED, 0xBF, 0x7B, "nicUniCmdBtCtrl"},
    {0xED, 0x1E, 0x33, "nicUniCmdBFAction"},
    {0xED, 0x94, 0x14, "nicUniCmdTwtArgtUpdate"},
    // An extended command without extended id reaches the first extended row.
    {0xED, 0, 0x2D, "nicUniCmdEfuseBufferMode"},
};

TEST(UnifiedRoute, LegacyCommandFindsItsRow)
{
    for (const RouteCase& c : kRoutes) {
        const LONG row = nicUniCmdFindRoute(c.cmdId, c.extCmdId);
        ASSERT_GE(row, 0) << std::hex << int(c.cmdId) << "/" << int(c.extCmdId);
        EXPECT_EQ(UniCmdRouteTable[row].UniCmdId, c.uniCmdId) << std::hex << int(c.cmdId) << "/" << int(c.extCmdId);
        EXPECT_STREQ(UniCmdRouteTable[row].BuilderName, c.builder) << std::hex << int(c.cmdId) << "/" << int(c.extCmdId);
    }
}

TEST(UnifiedRoute, CommandsWithoutUnifiedFormFindNoRow)
{
    // 0x15 has a row, but one without a unified form; the others have none at all.
    for (auto [cmd, ext] : {std::pair<UCHAR, UCHAR>{0x15, 0}, {0x99, 0}, {0x00, 0}, {0xED, 0x77}, {0xED, 0xBD}}) {
        EXPECT_EQ(nicUniCmdFindRoute(cmd, ext), -1) << std::hex << int(cmd) << "/" << int(ext);
    }
}

TEST(UnifiedRoute, TableHasItsRowsInOrder)
{
    EXPECT_EQ(UniCmdRouteTable[0].CmdId, 0x8A);
    EXPECT_EQ(UniCmdRouteTable[20].CmdId, 0x15);
    EXPECT_EQ(UniCmdRouteTable[20].UniCmdId, UNI_CMD_ID_NONE);
    EXPECT_EQ(UniCmdRouteTable[38].ExtCmdId, 0xA8);
    EXPECT_EQ(UniCmdRouteTable[53].ExtCmdId, 0x4F);
    for (const UNI_CMD_ROUTE& row : UniCmdRouteTable) {
        EXPECT_NE(row.Builder, nullptr) << row.BuilderName;
        EXPECT_LE(row.UniCmdId, 0xFF);
    }
}

// ---- the send call's choice ----------------------------------------------------------------------------
struct FormatCase {
    const char* name;
    USHORT device;
    bool inRam;
    bool unified;
};

class SendFormat : public UnifiedTest, public ::testing::WithParamInterface<FormatCase> {};

INSTANTIATE_TEST_SUITE_P(Chips, SendFormat,
                         ::testing::Values(FormatCase{"Chip3602InRam", 0x3602, true, true},
                                           FormatCase{"Chip3601InRam", 0x3601, true, true},
                                           FormatCase{"Chip0C04InRam", 0x0C04, true, true},
                                           FormatCase{"Chip3602BeforeRam", 0x3602, false, false},
                                           FormatCase{"Chip3502InRam", 0x3502, true, false},
                                           FormatCase{"Chip3404InRam", 0x3404, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(SendFormat, UnifiedExactlyOnTheThirdGenerationOnceItsRamCodeRuns)
{
    const FormatCase& c = GetParam();
    SetUpDevice(c.device, c.inRam);
    EXPECT_EQ(Send(0x04, 8, {1, 0, 0, 0}), STATUS_SUCCESS);
    std::vector<HandedOver> sent = HandedOverMessages();
    ASSERT_EQ(sent.size(), 1u);
    const Bytes& b = sent[0].bytes;
    if (c.unified) {
        EXPECT_EQ(b.size(), 48u + 12u);
        EXPECT_EQ(b[43], 6);
        EXPECT_EQ(b[34], 0x0F);
    } else {
        EXPECT_EQ(b.size(), 64u + 4u);
        EXPECT_EQ(b[43] & 0x02, 0);
        EXPECT_EQ(b[36], 0x04);
    }
}

// ---- refusals --------------------------------------------------------------------------------------------
TEST_F(UnifiedTest, LegacyCommandWithoutUnifiedFormSendsNothing)
{
    SetUpDevice(0x3602);
    EXPECT_EQ(Send(0x15, 8, {0, 0, 0, 0}), STATUS_UNI_CMD_NO_ROUTE);
    EXPECT_EQ(Send(0x99, 8, {0, 0, 0, 0}), STATUS_UNI_CMD_NO_ROUTE);
    EXPECT_TRUE(HandedOverMessages().empty());
}

TEST_F(UnifiedTest, BuilderRefusalsReachTheCallerAndSendNothing)
{
    SetUpDevice(0x3602);
    struct Row {
        const char* what;
        UCHAR cmd, ext;
        Bytes legacy;
        NTSTATUS status;
    };
    Bytes longText(328, 0);
    PutU16(longText, 4, 321);  // one byte more than the text room
    const Row rows[] = {
        {"extended command without extended id", 0xED, 0, {0, 1, 0, 0}, STATUS_UNI_CMD_NOT_ACCEPTED},
        {"basic configuration of a wrong length", 0x02, 0, Bytes(11, 0), STATUS_UNI_CMD_NOT_ACCEPTED},
        {"register access of a wrong length", 0xC0, 0, Bytes(12, 0), STATUS_UNI_CMD_NOT_ACCEPTED},
        {"chip configuration of a wrong length", 0xCA, 0, Bytes(327, 0), STATUS_UNI_CMD_NOT_ACCEPTED},
        {"chip configuration text past its room", 0xCA, 0, longText, STATUS_UNI_CMD_NOT_ACCEPTED},
        {"dual-band setting of a wrong length", 0x28, 0, Bytes(35, 0), STATUS_UNI_CMD_NOT_ACCEPTED},
        {"buffer-bin head cut short", 0xED, 0x21, {0, 1, 0}, STATUS_UNI_CMD_NOT_ACCEPTED},
        {"SER action 5", 0xED, 0x81, {5, 0, 0}, STATUS_UNI_CMD_NOT_ACCEPTED},
        {"SER action 3 without its second byte", 0xED, 0x81, {3, 1}, STATUS_UNI_CMD_NOT_ACCEPTED},
        {"scan request of a wrong length", 0x03, 0, Bytes(1187, 0), STATUS_UNI_CMD_NOT_ACCEPTED},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Send(r.cmd, 8, r.legacy, r.ext), r.status) << r.what;
    }
    EXPECT_TRUE(HandedOverMessages().empty());
}

TEST_F(UnifiedTest, FirmwareAssertOrCommandTimeoutRefusesEveryUnifiedCommand)
{
    SetUpDevice(0x3602);
    adapter_->FwCmd.RecoveryInProgress = 1;
    EXPECT_EQ(Send(0x04, 8, {1, 0, 0, 0}), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(QzCmdSendSetQueryUniCmdAdv(port0_, 0x0F, 1, 0, 16, nullptr, 4, "\x01\0\0", 0, 0, 255),
              STATUS_UNSUCCESSFUL);
    adapter_->FwCmd.RecoveryInProgress = 0;
    adapter_->FwCmd.CmdTimeout = 1;
    EXPECT_EQ(Send(0x04, 8, {1, 0, 0, 0}), STATUS_UNSUCCESSFUL);
    adapter_->FwCmd.CmdTimeout = 0;
    EXPECT_TRUE(HandedOverMessages().empty());
    EXPECT_EQ(Send(0x04, 8, {1, 0, 0, 0}), STATUS_SUCCESS);
}

TEST_F(UnifiedTest, DirectSendBeforeTheRamCodeRunsIsRefusedAndCountedDuringRecovery)
{
    SetUpDevice(0x3602, false);
    for (UCHAR state : {UCHAR{1}, UCHAR{2}}) {
        adapter_->Recovery.FwRecoveryState = state;
        EXPECT_EQ(QzCmdSendSetQueryUniCmdAdv(port0_, 0x0F, 1, 0, 16, nullptr, 4, "\x01\0\0", 0, 0, 255),
                  STATUS_UNSUCCESSFUL);
    }
    EXPECT_EQ(adapter_->FwCmd.RefusedCmdCount, 2u);
    EXPECT_TRUE(HandedOverMessages().empty());
}

TEST_F(UnifiedTest, EntryOrMessageThatCannotBeAllocatedSendsNothing)
{
    constexpr unsigned kPoolAttempts = 6;  // the allocator's retries of one allocation
    SetUpDevice(0x3602);
    kshim::host::FaultArm("pool", "ZV54", 1, STATUS_INSUFFICIENT_RESOURCES, kPoolAttempts);
    EXPECT_EQ(Send(0x04, 8, {1, 0, 0, 0}), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_TRUE(HandedOverMessages().empty());
    kshim::host::FaultClearAll();
    // A payload above the message pool's buffers takes its message from the allocator.
    adapter_->RegistryBlock.BinMode = 1;
    kshim::host::FaultArm("pool", "ZV0T", 1, STATUS_INSUFFICIENT_RESOURCES, kPoolAttempts);
    EXPECT_EQ(Send(0xED, 0x10, {0, 1, 0, 0}, 0x21), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_TRUE(HandedOverMessages().empty());
    kshim::host::FaultClearAll();
    EXPECT_EQ(Send(0x04, 8, {1, 0, 0, 0}), STATUS_SUCCESS);
}

TEST_F(UnifiedTest, RegisterQueryCompletesWithTheFirmwaresAnswer)
{
    SetUpDevice(0x3602);
    fw_.Settings().readRegister = [](uint32_t address) { return address ^ 0xFFFFFFFFu; };
    EXPECT_EQ(Send(0xC0, 5, {0x00, 0xD0, 0x0C, 0x82, 0, 0, 0, 0}, 0, 0), STATUS_SUCCESS);
    EXPECT_EQ(HandedOverMessages().at(0).bytes[43], 2);
    // Event 0x06 tag 0 became the legacy register-read answer {address, value}.
    EXPECT_TRUE(kshim::host::TraceContains("legacy event 0x05/0x00 rebuilt, 8 bytes: 00 D0 0C 82 FF 2F F3 7D"));
    EXPECT_EQ(SlotsInUseCount(), 0u);
}

TEST_F(UnifiedTest, CapabilityQueryCompletesWithTheCapabilityReport)
{
    SetUpDevice(0x3602);
    EXPECT_EQ(Send(0x8A, 5, {}, 0, 0), STATUS_SUCCESS);
    // The records reached the chip-capability table as {u32 tag, u32 length, value}: four of them,
    // the MAC address first.
    EXPECT_TRUE(kshim::host::TraceContains(
        "legacy event 0xEC/0x00 rebuilt, 62 bytes: 04 00 00 00 07 00 00 00 06 00 00 00 00 0C 43 36 02 01"));
    EXPECT_TRUE(kshim::host::TraceContains("ProcessChipCapabilityEvent: 4 records"));
    EXPECT_EQ(adapter_->PermanentAddress[5], 0x01);
    EXPECT_EQ(adapter_->Cap.ChipStreams, 0x22);
    EXPECT_EQ(SlotsInUseCount(), 0u);
}

TEST_F(UnifiedTest, DualBandSettingReportsTheFirmwaresState)
{
    SetUpDevice(0x3602);
    Bytes legacy(36, 0);
    legacy[0] = 1;
    EXPECT_EQ(Send(0x28, 8, legacy), STATUS_SUCCESS);
    // The send does not wait for the answer: the dual-band report arrives on the event path.
    EXPECT_TRUE(Eventually([&] { return __atomic_load_n(&adapter_->UniEvent.FwDbdcState, __ATOMIC_ACQUIRE) == 1; }));
    EXPECT_EQ(fw_.Record().dbdcSettings, Bytes{1});
}

}  // namespace
}  // namespace unifiedtest
