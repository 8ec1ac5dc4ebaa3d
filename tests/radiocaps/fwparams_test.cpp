// An access point's MU EDCA and spatial-reuse parameter sets reach the firmware once per change: the
// beacons go through the beacon parser (which hands the two elements to their recorders) and, for
// each set the recorders report changed, the connected station's beacon handling sends the port's
// parameters (as the link-up beacon handling does). The commands are checked as the simulated
// firmware received them, in the legacy form of the second generation and the unified form of the
// third.
#include <memory>

#include "Common/he/he_rlm.h"
#include "Common/mlme/mlmesync_sanity.h"
#include "fwcmds/fwcmds_fixture.h"
#include "radiocaps/param_sets.h"
#include "radiocaps/radiocaps_fixture.h"

namespace radiocapstest {
namespace {

class FwParams : public fwcmdstest::FwCmdsTest {
protected:
    void SetUpChip(USHORT chip)
    {
        fwcmdstest::FwCmdsTest::SetUpChip(chip);
        adapter_->RegistryBlock.FWBuildScnChList = 1;
        adapter_->RegistryBlock.Config_11AX = 0x7F7;
        port0_->WirelessMode = PHY_11He;
        port0_->HeEnabled = 1;
        port0_->WmmInUse = 1;
        elem_ = std::make_unique<MLME_QUEUE_ELEM>();
        result_ = std::make_unique<BEACON_PARSE_RESULT>();
    }

    // One beacon of the access point with these elements, received on channel 36; then the
    // connected station's step: each changed set is sent.
    void Beacon(const Bytes& ies)
    {
        Bytes f(36, 0);
        f[0] = 0x80;
        for (int i = 0; i < 6; ++i) {
            f[10 + i] = kApAddr[i];
            f[16 + i] = kApAddr[i];
        }
        f[32] = 100;
        f[34] = 0x01;
        Bytes body = Cat({Ie(0, {'a', 'p'}), Ie(1, {0x8C, 0x12, 0x98, 0x24}), ies});
        f.insert(f.end(), body.begin(), body.end());
        *elem_ = MLME_QUEUE_ELEM{};
        std::memcpy(elem_->Msg, f.data(), f.size());
        elem_->Band = BAND_5G;
        elem_->Channel = 36;
        *result_ = BEACON_PARSE_RESULT{};
        result_->VarIes = varIes_;
        result_->Channel = 0xFF;
        ASSERT_TRUE(MlmeSyncPeerBeaconAndProbeRspSanity(adapter_.get(), port0_, elem_.get(),
                                                        static_cast<ULONG>(f.size()), result_.get()));
        if (result_->MuEdcaUpdated) {
            EXPECT_EQ(QZcmdnicQmUpdateMUEdcaParams(adapter_.get(), port0_), STATUS_SUCCESS);
        }
        if (result_->SpatialReuseUpdated) {
            EXPECT_EQ(QZcmdnicRlmUpdateSRParams(adapter_.get(), port0_), STATUS_SUCCESS);
        }
    }

    ParamSetsSent Received()
    {
        return generation_ == sim::chip::Generation::Third ? ParamSets({}, Unified()) : ParamSets(Legacy(), {});
    }

    std::unique_ptr<MLME_QUEUE_ELEM> elem_;
    std::unique_ptr<BEACON_PARSE_RESULT> result_;
    UCHAR varIes_[BCN_PARSE_IE_LIMIT] = {};
};

// MU EDCA Parameter Set (IEEE 802.11 9.4.2.251): QoS Info (update count in bits 0-3), then for AC_BE,
// AC_BK, AC_VI, AC_VO {ACI/AIFSN, ECWmin/ECWmax, MU EDCA timer}.
Bytes MuEdca(uint8_t count, uint8_t beTimer)
{
    return ExtIe(38, {count, 0x08, 0xA4, beTimer, 0x27, 0xA4, 0x11, 0x42, 0x43, 0x12, 0x72, 0x32, 0x13});
}
Bytes MuEdcaRecords(uint8_t beTimer)
{
    return {4, 10, 8, 0, beTimer, 4, 10, 7, 0, 0x11, 3, 4, 2, 0, 0x12, 2, 3, 2, 1, 0x13};
}
// Spatial Reuse Parameter Set (9.4.2.252): SR Control 0x0C, non-SRG OBSS PD maximum offset, SRG OBSS PD
// minimum and maximum offsets, SRG BSS colour bitmap, SRG partial BSSID bitmap.
Bytes SpatialReuse(uint8_t nonSrgMax)
{
    return ExtIe(39, {0x0C, nonSrgMax, 5, 30, 1, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0, 0, 0, 0, 0, 0, 0});
}
Bytes SpatialReuseFields(uint8_t nonSrgMax)
{
    return {0x0C, nonSrgMax, 5, 30, 1, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0, 0, 0, 0, 0, 0, 0};
}

TEST_F(FwParams, AnAccessPointChangingItsParametersReachesTheFirmwareOncePerChange)
{
    for (USHORT chip : {fwcmdstest::kSecondGen, fwcmdstest::kThirdGen}) {
        SetUpChip(chip);
        SCOPED_TRACE(testing::Message() << "chip " << std::hex << chip);
        Beacon(Cat({MuEdca(1, 0x10), SpatialReuse(20)}));
        Beacon(Cat({MuEdca(1, 0x10), SpatialReuse(20)}));   // the same sets: nothing sent
        Beacon(Cat({MuEdca(2, 0x10), SpatialReuse(20)}));   // a new update count
        Beacon(Cat({MuEdca(2, 0x10), SpatialReuse(24)}));   // a new non-SRG offset
        Beacon(Cat({MuEdca(2, 0x20), SpatialReuse(24)}));   // a new timer
        Beacon(Cat({MuEdca(2, 0x20), SpatialReuse(24)}));
        Beacon({});                                          // a beacon without the sets changes nothing
        ParamSetsSent sent = Received();
        EXPECT_EQ(sent.muEdca, (std::vector<Bytes>{MuEdcaRecords(0x10), MuEdcaRecords(0x10), MuEdcaRecords(0x20)}));
        EXPECT_EQ(sent.sr, (std::vector<Bytes>{SpatialReuseFields(20), SpatialReuseFields(24)}));
        TearDown();
        SetUp();
    }
}

}  // namespace
}  // namespace radiocapstest
