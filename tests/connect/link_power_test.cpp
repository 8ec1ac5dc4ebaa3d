// Power save of the station: the OS's levels become the power-control command the firmware receives
// (legacy command 0x05 on the second generation, unified command 0x02 tag 0x15 on the third), the
// control tool's override, and the end of the keep-active period after link up on the manual clock.
#include "Common/fwsettings.h"
#include "Common/mlme/mlmeinfo.h"
#include "Common/p2p/p2p.h"
#include "connect/join_fixture.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/ndiscommon.h"
#include "platform/ndiscommon/ndiscommonioctl.h"
#include "support/crossings.h"

#include <memory>

namespace jointest {
namespace {

class LinkPowerTest : public JoinTest {
protected:
    void SetUpPower(USHORT deviceId)
    {
        SetUpStation(deviceId);
        port0_->OpMode = 0;
        kshim::host::TraceClear();
    }

    // The power-control commands the firmware received: (BSS index, mode), in order.
    std::vector<std::pair<int, int>> PowerCommands()
    {
        EXPECT_TRUE(qzl_test::Settle());
        std::vector<std::pair<int, int>> out;
        if (generation_ == sim::chip::Generation::Third) {
            for (const auto& c : Unified()) {
                const sim::fw::UniTlv* tag = c.cmdId == 0x02 ? c.Find(0x15) : nullptr;
                if (tag != nullptr && !tag->value.empty() && !c.fixed.empty()) {
                    out.emplace_back(c.fixed[0], tag->value[0]);
                }
            }
        } else {
            for (const Bytes& p : LegacyPayloads(0x05)) {
                EXPECT_EQ(p.size(), 4u);
                out.emplace_back(p[0], p[1]);
            }
        }
        ClearSent();
        return out;
    }

    using Commands = std::vector<std::pair<int, int>>;
};

TEST_F(LinkPowerTest, EachOsLevelReachesTheFirmwareAsItsMode)
{
    const struct {
        ULONG level;
        UCHAR saveLock;
        int fwMode;  // -1: no command
        ULONG saved;
        USHORT wake;
    } rows[] = {
        {0, 0, 0, 0, 0},
        {16, 0, 2, 16, 10},
        {8, 0, 2, 8, 10},
        {5, 0, -1, 5, 10},   // another level is kept without a command
        {8, 1, 2, 5, 10},    // while locked the saved level stays
        {0, 1, 0, 5, 10},
    };
    for (USHORT id : {kSecondGen, kThirdGen}) {
        SetUpPower(id);
        for (const auto& row : rows) {
            adapter_->Ps.SaveLock = row.saveLock;
            port0_->ConnectionFlags &= ~0x20u;
            adapter_->Mlme.Periodic.PsmBit = 0xFF;
            EXPECT_EQ(MlmeInfoPnpSetPowerMgmtMode(adapter_.get(), port0_, row.level), STATUS_SUCCESS);
            const Commands expected = row.fwMode < 0 ? Commands{} : Commands{{0, row.fwMode}};
            EXPECT_EQ(PowerCommands(), expected) << std::hex << id << std::dec << " level " << row.level;
            EXPECT_EQ(adapter_->Ps.CurrentMode, row.level);
            EXPECT_EQ(adapter_->Ps.SavedMode, row.saved) << "level " << row.level;
            EXPECT_EQ(adapter_->Ps.WakeCount, row.wake) << "level " << row.level;
            EXPECT_NE(port0_->ConnectionFlags & 0x20u, 0u) << "the OS set a power mode";
            // Levels 0 and 5 clear the power-management bit.
            if (row.level == 0 || row.level == 5) {
                EXPECT_EQ(adapter_->Mlme.Periodic.PsmBit, 0) << "level " << row.level;
            }
        }
        EXPECT_EQ(MlmeInfoPnpSetPowerMgmtMode(adapter_.get(), nullptr, 8), STATUS_INVALID_PARAMETER);
        EXPECT_TRUE(PowerCommands().empty());
        TearDown();
        SetUp();
    }
}

TEST_F(LinkPowerTest, TheFirmwareModeOfTheStationIsKeptOnlyWhenSentAndNotUapsd)
{
    SetUpPower(kSecondGen);
    EXPECT_EQ(QzCmdSetPowerCtrl(adapter_.get(), port0_, 2), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->Ps.FwStaMode, 2);
    EXPECT_EQ(QzCmdSetPowerCtrl(adapter_.get(), port0_, 1), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->Ps.FwStaMode, 2) << "U-APSD is not a station power-save mode";
    EXPECT_EQ(PowerCommands(), (Commands{{0, 2}, {0, 1}}));
    port0_->BssIndex = 5;
    EXPECT_EQ(QzCmdSetPowerCtrl(adapter_.get(), port0_, 0), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(PowerCommands().empty()) << "no BSS index above 4 reaches the firmware";
    port0_->BssIndex = 0;
    port0_->OpMode = 2;
    EXPECT_EQ(QzCmdSetPowerCtrl(adapter_.get(), port0_, 0), STATUS_SUCCESS);
    EXPECT_EQ(adapter_->Ps.FwStaMode, 2) << "an access point's mode is its own";
}

TEST_F(LinkPowerTest, TheToolsOverrideReplacesTheOsLevelAndTakesPortZero)
{
    for (USHORT id : {kSecondGen, kThirdGen}) {
        SetUpPower(id);
        PMP_PORT other = AddPort(1, WFD_CLIENT);
        other->BssIndex = 1;
        UCHAR record[4] = {1, 0, 0, 0};
        ULONG written = 0, needed = 0;
        EXPECT_EQ(FuncSetPsMode(adapter_.get(), nullptr, record, sizeof(record), &written, &needed), STATUS_SUCCESS);
        EXPECT_EQ(written, 1u);
        EXPECT_EQ(PowerCommands(), (Commands{{0, 1}})) << "the tool's byte goes to port 0 as it is";
        // Override 1: level 0 of the OS becomes 8, on port 0 instead of the given port.
        (void)MlmeInfoPnpSetPowerMgmtMode(adapter_.get(), other, 0);
        EXPECT_EQ(PowerCommands(), (Commands{{0, 2}})) << std::hex << id;
        EXPECT_EQ(adapter_->Ps.CurrentMode, 8u);
        EXPECT_EQ(other->ConnectionFlags & 0x20u, 0u);
        // Override 0: every level becomes 0.
        record[0] = 0;
        (void)FuncSetPsMode(adapter_.get(), nullptr, record, 1, &written, &needed);
        (void)PowerCommands();
        (void)MlmeInfoPnpSetPowerMgmtMode(adapter_.get(), other, 16);
        EXPECT_EQ(PowerCommands(), (Commands{{0, 0}}));
        // Override 7 keeps the OS's level.
        record[0] = 7;
        (void)FuncSetPsMode(adapter_.get(), nullptr, record, 1, &written, &needed);
        (void)PowerCommands();
        (void)MlmeInfoPnpSetPowerMgmtMode(adapter_.get(), other, 16);
        EXPECT_EQ(PowerCommands(), (Commands{{0, 2}}));
        // An empty record changes nothing.
        EXPECT_NE(FuncSetPsMode(adapter_.get(), nullptr, record, 0, &written, &needed), STATUS_SUCCESS);
        EXPECT_EQ(adapter_->Ps.OverrideValue, 7);
        TearDown();
        SetUp();
    }
}

TEST_F(LinkPowerTest, TheKeepActivePeriodEndsInPowerSaveWhenAsked)
{
    const struct {
        USHORT psEnable;
        ULONG current;
        bool linkUp;
        UCHAR lowLatency;
        ULONG p2pFlags;
        bool sent;
    } rows[] = {
        {1, 0, true, 0, 0, true},     // the registry asks for power save
        {0, 8, true, 0, 0, true},     // the OS did
        {0, 0, true, 0, 0, false},    // nobody did
        {1, 8, true, 1, 0, false},    // a port in low-latency mode keeps the station awake
        {1, 8, true, 0, 0x10, false}, // so does Wi-Fi Direct
        {1, 0, false, 1, 0, true},    // without a link those do not count
    };
    for (USHORT id : {kSecondGen, kThirdGen}) {
        SetUpPower(id);
        ASSERT_NE(adapter_->P2pBlock, nullptr);
        P2P_CTRL_BLOCK& p2p = *adapter_->P2pBlock;
        PMP_PORT go = AddPort(2, WFD_GO);  // low latency is a Wi-Fi Direct port's mode
        for (const auto& row : rows) {
            adapter_->RegistryBlock.PsEnable = row.psEnable;
            adapter_->Ps.CurrentMode = row.current;
            port0_->ConnectionFlags = row.linkUp ? PORT_CONN_CONNECTED : 0;
            go->LowLatency = row.lowLatency;
            p2p.Flags = row.p2pFlags;
            MlmeInfoKeepActivePwrPeriodDone(adapter_.get(), port0_);
            const Commands expected = row.sent ? Commands{{0, 2}} : Commands{};
            EXPECT_EQ(PowerCommands(), expected) << std::hex << id << std::dec << " row " << (&row - rows);
        }
        p2p.Flags = 0;
        TearDown();
        SetUp();
    }
}

TEST_F(LinkPowerTest, TheKeepActiveTimerFiresAfterTenSeconds)
{
    SetUpPower(kThirdGen);
    kshim::host::ClockSetManual();
    adapter_->RegistryBlock.PsEnable = 1;
    port0_->ConnectionFlags = PORT_CONN_CONNECTED;
    PLATFORM_TIMER& timer = adapter_->Ps.KeepActiveTimer;
    PlatformInitTimer(port0_, &timer, MlmeInfoKeepActivePwrTimerCallback, 0, "MlmeInfoKeepActivePwrTimerCallback");
    ASSERT_EQ(PlatformSetTimer(port0_, &timer, 10000), STATUS_SUCCESS);
    kshim::host::ClockAdvanceMs(9999);
    EXPECT_TRUE(PowerCommands().empty());
    kshim::host::ClockAdvanceMs(1);
    EXPECT_TRUE(qzl_test::Eventually([&] { return !Sent().empty(); }));
    EXPECT_EQ(PowerCommands(), (Commands{{0, 2}}));
    PlatformFreeTimer(&timer);
    kshim::host::ClockSetAuto();
}

}  // namespace
}  // namespace jointest
