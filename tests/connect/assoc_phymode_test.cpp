// The PHY mode of a port: lowered to what the port can do, kept off HT with legacy ciphers where the
// switch says so, and the rate sets of each mode.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Common/mlme/mlmeinfo.h"
#include "kshim/host/control.h"
#include "platform/ndiscommon/adapter.h"

namespace {

using Bytes = std::vector<UCHAR>;

class PhyMode : public ::testing::Test {
protected:
    void SetUp() override
    {
        kshim::host::ResetDefaults();
        adapter_ = std::make_unique<MP_ADAPTER>();
        port_ = std::make_unique<MP_PORT>();
        port_->Adapter = adapter_.get();
        port_->WirelessMode = 0xEE;
    }
    UCHAR Set(UCHAR mode)
    {
        EXPECT_EQ(MlmeInfoSetPhyMode(adapter_.get(), port_.get(), mode, TRUE), STATUS_SUCCESS);
        return port_->WirelessMode;
    }
    Bytes Sup() const { return Bytes(port_->Mlme.Conn.SupRate, port_->Mlme.Conn.SupRate + port_->Mlme.Conn.SupRateLen); }
    Bytes Ext() const { return Bytes(port_->Mlme.Conn.ExtRate, port_->Mlme.Conn.ExtRate + port_->Mlme.Conn.ExtRateLen); }
    std::unique_ptr<MP_ADAPTER> adapter_;
    std::unique_ptr<MP_PORT> port_;
};

TEST_F(PhyMode, LoweredToWhatThePortCanDo)
{
    // Without VHT: 11 to 14 become 5; anything above 14 becomes 9.
    for (UCHAR mode : {11, 12, 13, 14}) {
        EXPECT_EQ(Set(mode), 5) << int(mode);
    }
    EXPECT_EQ(Set(15), 9);
    EXPECT_EQ(Set(4), 4);
    // With VHT and without EHT: 14 becomes 13.
    port_->Cfg.VhtEnabled = 1;
    EXPECT_EQ(Set(14), 13);
    EXPECT_EQ(Set(12), 12);
    port_->Rlm.Eht.Enabled = 1;
    EXPECT_EQ(Set(14), 14);
    EXPECT_EQ(adapter_->WorkingCfg.WirelessMode, 14);
}

TEST_F(PhyMode, LegacyCiphersKeepTheConnectionOffHt)
{
    port_->Cfg.VhtEnabled = 1;
    port_->Rlm.Eht.Enabled = 1;
    port_->Cfg.ProhibitTKIPonHT = 1;
    port_->Mlme.Conn.OsConnectionFlag = 1;
    port_->Mlme.UnicastCipher = 2;  // TKIP
    const UCHAR used[10] = {3, 4, 4, 2, 0, 4, 3, 2, 3, 3};
    for (UCHAR mode = 5; mode <= 14; ++mode) {
        EXPECT_EQ(Set(mode), used[mode - 5]) << int(mode);
    }
    // Without VHT, mode 13 is first lowered to 5, then to 3.
    port_->Cfg.VhtEnabled = 0;
    EXPECT_EQ(Set(13), 3);
    // The rule does not apply to a Wi-Fi Direct client's operation mode, nor with CCMP.
    port_->OpMode = 1;
    EXPECT_EQ(Set(10), 10);
    port_->OpMode = 0;
    port_->Mlme.UnicastCipher = 4;
    EXPECT_EQ(Set(10), 10);
    for (ULONG cipher : {1u, 5u, 0x101u}) {
        port_->Mlme.UnicastCipher = cipher;
        EXPECT_EQ(Set(10), 4) << cipher;
    }
}

TEST_F(PhyMode, RateSetsByModeAndAnUnchangedModeWithoutForce)
{
    EXPECT_EQ(Set(1), 1);
    EXPECT_EQ(Sup(), (Bytes{0x82, 0x84, 0x8B, 0x96}));
    EXPECT_TRUE(Ext().empty());
    EXPECT_EQ(Bytes(port_->Mlme.Conn.DesiredRates, port_->Mlme.Conn.DesiredRates + 4), (Bytes{0x02, 0x04, 0x0B, 0x16}));
    EXPECT_EQ(Set(2), 2);
    EXPECT_EQ(Sup(), (Bytes{0x8C, 0x12, 0x98, 0x24, 0xB0, 0x48, 0x60, 0x6C}));
    EXPECT_TRUE(Ext().empty());
    EXPECT_EQ(Set(4), 4);
    EXPECT_EQ(Sup(), (Bytes{0x82, 0x84, 0x8B, 0x96, 0x12, 0x24, 0x48, 0x6C}));
    EXPECT_EQ(Ext(), (Bytes{0x0C, 0x18, 0x30, 0x60}));
    EXPECT_EQ(Bytes(port_->Mlme.Conn.DesiredRates, port_->Mlme.Conn.DesiredRates + 12),
              (Bytes{0x02, 0x04, 0x0B, 0x16, 0x0C, 0x12, 0x18, 0x24, 0x30, 0x48, 0x60, 0x6C}));
    // A legacy mode runs at 20 MHz.
    port_->Channel.Bandwidth = 2;
    EXPECT_EQ(Set(0), 0);
    EXPECT_EQ(port_->Channel.Bandwidth, 0);
    // The same mode again without force changes nothing.
    port_->Mlme.Conn.SupRateLen = 0;
    EXPECT_EQ(MlmeInfoSetPhyMode(adapter_.get(), port_.get(), 0, FALSE), STATUS_SUCCESS);
    EXPECT_EQ(port_->Mlme.Conn.SupRateLen, 0);
    EXPECT_EQ(MlmeInfoSetPhyMode(adapter_.get(), nullptr, 0, TRUE), STATUS_INVALID_PARAMETER);
}

}  // namespace
