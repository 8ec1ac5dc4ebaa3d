// The chip's side of recovery on a running simulated device: the SER handshake, the Wi-Fi subsystem
// reset's refusals, the firmware recovery's replay and its failure, the platform-level reset of a
// 3601.
#include <algorithm>
#include "bringup/bringup_support.h"

#include "hal/chips/qzarvel2x.h"
#include "hal/chips/qzarvel3x.h"
#include "Common/mlme/mlmesync_mactab.h"
#include "hal/common/hal_ser.h"
#include "kshim/host/device_reset.h"
#include "kshim/host/wifi.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "recovery/recovery_support.h"
#include "support/crossings.h"

namespace recovery_test {
namespace {

using kshim::host::TraceContains;

class ChipRecovery : public bringup::BringUpTest {
protected:
    void SetUp() override
    {
        bringup::BringUpTest::SetUp();
        kshim::host::DeviceResetClear();
        kshim::host::ClockSetAuto();
    }
    MP_ADAPTER* Start(USHORT deviceId)
    {
        AddDevice(deviceId);
        EXPECT_EQ(os_.Start(device_), STATUS_SUCCESS);
        Quiesce();
        return Adapter();
    }
};

// ---- SER ----------------------------------------------------------------------------------------------------
class Ser : public ChipRecovery, public ::testing::WithParamInterface<USHORT> {};

TEST_P(Ser, TheFirmwareDrivenRecoveryPassesItsFourStepsInOrder)
{
    MP_ADAPTER* a = Start(GetParam());
    KeClearEvent(&a->Recovery.SerDoneEvent);
    chip_->ClearTranscript();
    chip_->StartSer();
    ASSERT_TRUE(Eventually([&] { return KeReadStateEvent(&a->Recovery.SerDoneEvent) != 0; }))
        << "SER state " << unsigned(Load(a->Recovery.SerState)) << ", chip step " << chip_->SerStep();
    EXPECT_EQ(chip_->HostToMcuWrites(), (std::vector<uint32_t>{1, 2, 8}));
    EXPECT_EQ(a->Recovery.SerState, SER_STATE_IDLE);
    EXPECT_EQ(a->Recovery.RecoveryStage, 0u);
    EXPECT_EQ(a->Recovery.SerIntCount, 4u);
    EXPECT_EQ(chip_->SerStep(), 0u);
    // Only the second-generation designs dump their ten SER registers at the start.
    size_t dumped = 0;
    for (uint32_t reg = 0x400E00; reg <= 0x400E24; reg += 4) {
        dumped += chip_->AccessesTo(reg).size();
    }
    EXPECT_EQ(dumped, GetParam() / 0x100 == 0x35 ? 10u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Chips, Ser, ::testing::Values(0x3502, 0x3602, 0x3601));

TEST_F(ChipRecovery, The3503DesignAlsoDumpsItsSerRegistersAtTheStart)
{
    MP_ADAPTER* a = Start(0x3502);
    a->HalInfo.ChipCode = 0x3503;
    chip_->ClearTranscript();
    a->SavedSwIntStatus = SER_INT_START;
    SerStepHandler(a);
    a->HalInfo.ChipCode = 0x3502;
    for (uint32_t reg = 0x400E00; reg <= 0x400E24; reg += 4) {
        EXPECT_EQ(chip_->AccessesTo(reg).size(), 1u) << std::hex << reg;
    }
    EXPECT_EQ(a->Recovery.RecoveryStage, SER_RECOVERY_STAGE);
    // The transmit-stop check finishes the step: nothing is being dequeued. It moves the state on
    // before it tells the firmware, so the wait is for what the firmware was told.
    EXPECT_TRUE(Eventually([&] { return !chip_->HostToMcuWrites().empty(); }));
    EXPECT_EQ(Load(a->Recovery.SerState), SER_STATE_TX_STOPPED);
    EXPECT_EQ(chip_->HostToMcuWrites(), (std::vector<uint32_t>{1}));
}

TEST_F(ChipRecovery, ASerStepOutOfOrderIsIgnored)
{
    MP_ADAPTER* a = Start(0x3502);
    a->SavedSwIntStatus = SER_INT_DMA_REINIT;
    SerStepHandler(a);
    EXPECT_EQ(a->Recovery.SerState, SER_STATE_IDLE);
    EXPECT_TRUE(chip_->HostToMcuWrites().empty()) << "the DMA re-init step of state 0: nothing told to the firmware";
    EXPECT_EQ(Load(a->SavedSwIntStatus), 0u) << "the saved status is taken";
}

// ---- the subsystem reset refused by "TestYBFlag" ----------------------------------------------------------
class TestYb : public ChipRecovery, public ::testing::WithParamInterface<USHORT> {};

TEST_P(TestYb, NoResetIsEverAssertedAndTheKeyRegisterIsRestored)
{
    SetConfig("TestYBFlag", 1);
    MP_ADAPTER* a = Start(GetParam());
    // Every bring-up try failed; the chip never went through a reset.
    EXPECT_EQ(CountTraces("Wi-Fi subsystem reset, attempt"), 4u);
    EXPECT_EQ(chip_->SubsystemRestarts(), 0u);
    chip_->ClearTranscript();
    EXPECT_EQ(a->HalOps.ToggleWfsysRst(a), STATUS_UNSUCCESSFUL);
    if (GetParam() / 0x100 == 0x36) {
        const uint32_t resetBit = GetParam() == 0x3601 ? 0x1 : 0x10;
        for (const sim::chip::Access& access : chip_->AccessesTo(ARVEL3X_WFSYS_RESET)) {
            EXPECT_FALSE(access.write && (access.value & resetBit) != 0) << "reset bit written";
        }
    } else {
        EXPECT_TRUE(chip_->AccessesTo(ARVEL2X_WFSYS_RESET).empty());
        EXPECT_EQ(chip_->Peek(ARVEL2X_RESET_KEY_REGISTER), 0u) << "the window register goes back";
    }
    EXPECT_FALSE(chip_->SubsystemInReset());
}

INSTANTIATE_TEST_SUITE_P(Chips, TestYb, ::testing::Values(0x3502, 0x3602, 0x3601));

TEST_F(ChipRecovery, SecondGenerationResetWhoseKeyDoesNotTakeFailsAndRestoresTheKeyRegister)
{
    MP_ADAPTER* a = Start(0x3502);
    chip_->Poke(ARVEL2X_RESET_KEY_REGISTER, 0x12345678);
    chip_->SetWriteHook(ARVEL2X_RESET_KEY_REGISTER, [](sim::chip::RegisterFile& r, uint32_t address, uint32_t value) {
        if (value != ARVEL2X_RESET_KEY) {
            r.Set(address, value);
        }
    });
    EXPECT_EQ(a->HalOps.ToggleWfsysRst(a), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(TraceContains("subsystem reset: key reads 0x12345678"));
    EXPECT_EQ(chip_->Peek(ARVEL2X_RESET_KEY_REGISTER), 0x12345678u);
    chip_->ClearHooks(ARVEL2X_RESET_KEY_REGISTER);
}

// ---- firmware recovery -------------------------------------------------------------------------------------
class FwRecovery : public ChipRecovery, public ::testing::WithParamInterface<USHORT> {};

TEST_P(FwRecovery, AFailingResetIsReturnedAndLeavesTheRecoveryFlagAndState)
{
    MP_ADAPTER* a = Start(GetParam());
    a->RegistryBlock.TestYBFlag = 1;
    EXPECT_EQ(a->HalOps.FwRecovery(a), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(AdapterTestFlags(a, ADAPTER_FLAG_FW_RECOVERY));
    EXPECT_EQ(a->Recovery.FwRecoveryState, 2);
    EXPECT_EQ(a->Recovery.FwRecoveryCount, 0u);
    a->RegistryBlock.TestYBFlag = 0;
}

INSTANTIATE_TEST_SUITE_P(Chips, FwRecovery, ::testing::Values(0x3502, 0x3602));

TEST_F(ChipRecovery, SecondGenerationReplaysAConnectionAndWritesTheKeptRegistersBack)
{
    MP_ADAPTER* a = Start(0x3502);
    PMP_PORT port0 = a->PortList[0];
    ASSERT_NE(port0, nullptr);
    chip_->Poke(ARVEL2X_KEPT_REGISTER_FIRST, 41);
    chip_->Poke(ARVEL2X_KEPT_REGISTER_FIRST + 4, 7);

    // Disconnected: nothing replayed, the count stays.
    kshim::host::TraceClear();
    EXPECT_EQ(a->HalOps.FwRecovery(a), STATUS_SUCCESS);
    EXPECT_EQ(a->Recovery.FwRecoveryCount, 0u);
    EXPECT_EQ(qzltest::NotBuiltCalls("QzCmdSetBssInfo"), 0u);
    EXPECT_EQ(chip_->Peek(ARVEL2X_KEPT_REGISTER_FIRST), 41u);
    EXPECT_EQ(a->Recovery.FwRecoveryState, 0);
    EXPECT_TRUE(firmware_->Download().RamStarted());

    // Connected: the replay runs; its power-management status is the result.
    Quiesce();
    // Port 0 holds BSS index 0, as a connection leaves it.
    port0->BssIndex = 0;
    a->BssIndexSlots[0].InUse = 1;
    a->BssIndexSlots[0].Port = port0;
    port0->ConnectionFlags |= PORT_CONN_CONNECTED;
    // The access point's station entry, of the port's role, as the association leaves it.
    const UCHAR peer[6] = {0x02, 0x41, 0x50, 0x00, 0x00, 0x01};
    PMAC_TABLE_ENTRY apEntry = MlmeSyncMacTabMatchedRoleType(port0, GetWlanRoleType(port0));
    if (apEntry == nullptr) {
        apEntry = MacTableInsertEntry(a, port0, peer, TRUE);
        ASSERT_NE(apEntry, nullptr);
        apEntry->Kind = GetWlanRoleType(port0);
    }
    kshim::host::TraceClear();
    auto legacyCommands = [&](uint8_t id) {
        size_t n = 0;
        for (const sim::fw::LegacyCommand& c : firmware_->Ram().RamCommands()) {
            n += c.cmdId == id ? 1 : 0;
        }
        return n;
    };
    const size_t bssInfoBefore = legacyCommands(0x12);
    const size_t staRecBefore = legacyCommands(0x13);
    const size_t edcaBefore = legacyCommands(0x1D);
    // The EDCA record the connection kept.
    port0->Mlme.Edca = {};
    port0->Mlme.Edca.Valid = 1;
    port0->Mlme.Edca.Aifsn[0] = 3;
    EXPECT_EQ(a->HalOps.FwRecovery(a), STATUS_SUCCESS);
    port0->ConnectionFlags &= ~PORT_CONN_CONNECTED;
    EXPECT_EQ(a->Recovery.FwRecoveryCount, 1u);
    // The replay sends the BSS information (command 0x12) and the access point's station record
    // (0x13) and the port's kept EDCA record (0x1D) to the firmware again, once each.
    Quiesce();
    EXPECT_EQ(legacyCommands(0x12), bssInfoBefore + 1);
    EXPECT_EQ(legacyCommands(0x13), staRecBefore + 1);
    EXPECT_EQ(legacyCommands(0x1D), edcaBefore + 1);
    EXPECT_EQ(apEntry->ClientFlags & 0x1u, 0x1u) << "the access point uses WMM";
    // Spatial reuse is switched on again: extended command 0xA8, 20 bytes, sub-command 1, value 1.
    size_t srSwitches = 0;
    for (const sim::fw::LegacyCommand& c : firmware_->Ram().RamCommands()) {
        if (c.cmdId == 0xED && c.extCmdId == 0xA8) {
            ++srSwitches;
            ASSERT_EQ(c.payload.size(), 20u);
            EXPECT_EQ(c.payload[0], 1);
            EXPECT_EQ(c.payload[8], 1);
        }
    }
    EXPECT_EQ(srSwitches, 1u);
    EXPECT_EQ(chip_->Peek(ARVEL2X_KEPT_REGISTER_FIRST), 42u);
    EXPECT_EQ(chip_->Peek(ARVEL2X_KEPT_REGISTER_FIRST + 4), 7u);
    EXPECT_EQ(chip_->Peek(ARVEL2X_KEPT_REGISTER_GATE), 0u);
    EXPECT_FALSE(AdapterTestFlags(a, ADAPTER_FLAG_FW_RECOVERY));
}

TEST_F(ChipRecovery, ThirdGenerationReactivatesTheActiveNetworksThenAsksTheOsToRoam)
{
    MP_ADAPTER* a = Start(0x3602);
    // The OS creates the station adapter: port 0 takes its firmware BSS slot and activates its network.
    ASSERT_EQ(os_.CreateAdapter(device_, 0, WIFI_ADAPTER_WLAN_STATION), STATUS_SUCCESS);
    Quiesce();
    PMP_PORT port0 = a->PortList[0];
    ASSERT_NE(port0, nullptr);

    // The roaming-needed indication (0x0034) the OS receives.
    auto roamIndications = [] {
        size_t n = 0;
        for (const kshim::host::WdiIndication& i : kshim::host::WifiIndications()) {
            n += i.code == 0x0034 ? 1 : 0;
        }
        return n;
    };
    kshim::host::TraceClear();
    kshim::host::WifiClearIndications();
    EXPECT_EQ(a->HalOps.FwRecovery(a), STATUS_SUCCESS);
    EXPECT_EQ(roamIndications(), 0u) << "not connected";
    EXPECT_EQ(a->Recovery.RoamAfterRecovery, 0);
    EXPECT_EQ(a->Recovery.FwRecoveryCount, 1u);

    Quiesce();
    // Port 0 holds BSS slot 0 since its creation; the unified BSS commands (0x02) that activate BSS 0:
    // BSS index in the fixed part, basic tag 0 with the active byte first.
    ASSERT_EQ(port0->BssIndex, 0);
    auto bssActivations = [&] {
        size_t n = 0;
        for (const sim::fw::RamExchange& x : firmware_->Ram().Exchanges()) {
            if (!x.unifiedCommand || x.unifiedCommand->cmdId != 0x02 || x.unifiedCommand->fixed.empty() ||
                x.unifiedCommand->fixed[0] != 0) {
                continue;
            }
            const sim::fw::UniTlv* basic = x.unifiedCommand->Find(0);
            n += basic != nullptr && !basic->value.empty() && basic->value[0] == 1 ? 1 : 0;
        }
        return n;
    };
    const size_t activationsBefore = bssActivations();
    port0->NetworkActivation[0] = 1;
    port0->ConnectionFlags |= PORT_CONN_CONNECTED;
    EXPECT_EQ(a->HalOps.FwRecovery(a), STATUS_SUCCESS);
    port0->ConnectionFlags &= ~PORT_CONN_CONNECTED;
    Quiesce();
    EXPECT_EQ(bssActivations(), activationsBefore + 1) << "the running network is activated in the new firmware";
    EXPECT_EQ(roamIndications(), 1u);
    EXPECT_EQ(port0->NetworkActivation[0], 1) << "the re-activation's success is kept in the byte";
    EXPECT_EQ(a->Recovery.RoamAfterRecovery, 1);
    EXPECT_EQ(a->Recovery.FwRecoveryCount, 2u);
    EXPECT_EQ(a->Recovery.FwRecoveryState, 0);
}

// ---- the 3601's own operations ---------------------------------------------------------------------------------
TEST_F(ChipRecovery, The3601BusInfraStatusIsAFaultWhenAnErrorBitIsSetOrTheReadyBitIsMissing)
{
    MP_ADAPTER* a = Start(0x3601);
    struct Case {
        uint32_t status;
        bool fault;
    };
    const Case cases[] = {{0x00080000, false}, {0x00000000, true}, {0x00180000, true}, {0x00480000, true},
                          {0x00280000, true}, {0xFF8FFFFF, false}, {0xFF87FFFF, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.status);
        chip_->SetConfig32(0x488, c.status);
        chip_->SetConfig32(0x494, 0xFFFFFFFF);
        EXPECT_EQ(a->HalOps.CheckCbInfraStatus(a), c.fault ? TRUE : FALSE);
        // The control word goes back with bits 7, 30 and 31 cleared.
        EXPECT_EQ(chip_->Config32(0x494), 0xC0000080u & 0x3FFFFF7Fu);
    }
}

TEST_F(ChipRecovery, The3601InitHookPulsesItsThreeControlBits)
{
    MP_ADAPTER* a = Start(0x3601);
    chip_->ClearTranscript();
    a->HalOps.InitHook(a);
    const uint32_t pulses[][2] = {{0x70026A50, 0xFFF80000}, {0x70026A6C, 0x1}, {0x7002842C, 0x2}};
    for (const auto& p : pulses) {
        bool set = false;
        for (const sim::chip::Access& access : chip_->AccessesTo(p[0])) {
            set = set || (access.write && (access.value & p[1]) == p[1]);
        }
        EXPECT_TRUE(set) << std::hex << p[0];
        EXPECT_EQ(chip_->Peek(p[0]) & p[1], 0u) << std::hex << p[0];
    }
}

// ---- platform-level reset ------------------------------------------------------------------------------------
TEST_F(ChipRecovery, RegisterReadsThatKeepFailingOnA3601EndInAWholeChipResetAndADeviceResetRequest)
{
    MP_ADAPTER* a = Start(0x3601);
    ErrorRecoveryProc(a, RECOVERY_IO_FAIL);
    EXPECT_EQ(chip_->Config32(0x494) & 0x1, 0x1u) << "whole-chip reset bit";
    const std::vector<kshim::host::DeviceResetRequest> requests = kshim::host::DeviceResetRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].type, PlatformLevelDeviceReset);
    EXPECT_EQ(requests[0].device, a->Device);
    EXPECT_EQ(a->Recovery.RecoveryIoFailCount, 1);
    EXPECT_TRUE(PldrInProgress(a));
    // The companion Bluetooth driver's dump was asked for first ("BtDumpSop" 1 by default).
    // The OS heard of the hung bus: one IHV event indication (0x005E).
    size_t busHang = 0;
    for (const kshim::host::WdiIndication& i : kshim::host::WifiIndications()) {
        busHang += i.code == 0x005E ? 1 : 0;
    }
    EXPECT_GE(busHang, 1u);
}

}  // namespace
}  // namespace recovery_test
