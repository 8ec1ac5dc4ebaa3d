// The local maximum transmit power, the Power Capability element and the AFC per-RU power table.
#include "Common/rlm_power.h"
#include "radiocaps/radiocaps_fixture.h"

namespace radiocapstest {
namespace {

class Power : public RadioCapsTest {};

TEST_F(Power, LocalMaximumFollowsTheCountryMaximumAndTheConstraint)
{
    EXPECT_TRUE(MDSMCalculateMaxTxPower(&A(), 23, 255));
    EXPECT_EQ(A().Rlm.LocalMaxTxPower, 23) << "no Power Constraint element";
    EXPECT_TRUE(MDSMCalculateMaxTxPower(&A(), 23, 3));
    EXPECT_EQ(A().Rlm.LocalMaxTxPower, 20);
    EXPECT_TRUE(MDSMCalculateMaxTxPower(&A(), 2, 3));
    EXPECT_EQ(A().Rlm.LocalMaxTxPower, 255) << "8-bit arithmetic";
}

TEST_F(Power, PowerCapabilityElementCarriesTheKnownMaximum)
{
    UCHAR e[POWER_CAPABILITY_ELEMENT_LEN] = {0xEE, 0xEE, 0xEE, 0xEE};
    MDSMCreatePowerCapabilityIE(&A(), e);
    EXPECT_EQ(Bytes(e, e + 4), (Bytes{33, 2, 0, 0})) << "nothing known";
    MDSMCalculateMaxTxPower(&A(), 23, 3);
    MDSMCreatePowerCapabilityIE(&A(), e);
    EXPECT_EQ(Bytes(e, e + 4), (Bytes{33, 2, 0, 20})) << "the local maximum stands for the maximum capability";
    A().Rlm.MinTxPowerCap = 2;
    A().Rlm.MaxTxPowerCap = 17;
    MDSMCreatePowerCapabilityIE(&A(), e);
    EXPECT_EQ(Bytes(e, e + 4), (Bytes{33, 2, 2, 17}));
}

TEST_F(Power, EveryRowOfTheAfcTableByNameAndOffset)
{
    struct Row {
        const char* name;
        int offset;
    };
    // The table in row order (row 27 has no name).
    const Row rows[27] = {
        {"ofdm", 0},       {"ofdm40", 3},      {"ofdm80", 6},     {"ofdm160", 9},     {"ru26", -10},
        {"ru52", -7},      {"ru106", -4},      {"ru242", 0},      {"ru484", 3},       {"ru996", 6},
        {"ru996x2", 9},    {"eht26", -10},     {"eht52", -7},     {"eht106", -4},     {"eht242", 0},
        {"eht484", 3},     {"eht996", 6},      {"eht996x2", 9},   {"eht996x4", 12},   {"eht26_52", -5},
        {"eht26_106", -3}, {"eht484_242", 5},  {"eht996_484", 8}, {"eht_996_484_242", 9}, {"eht996x2_484", 10},
        {"eht996x3", 11},  {"eht996x3_484", 12},
    };
    EXPECT_FALSE(AFCArrayInit(nullptr));
    EXPECT_FALSE(SetAllAFCPwrBuffer(nullptr, 20));
    ASSERT_TRUE(AFCArrayInit(&A()));
    for (int i = 0; i < 27; ++i) {
        EXPECT_STREQ(A().Rlm.Afc[i].Name, rows[i].name) << i;
        EXPECT_EQ(A().Rlm.Afc[i].Offset, rows[i].offset) << rows[i].name;
        EXPECT_EQ(A().Rlm.Afc[i].Power, 0xFF);
    }
    EXPECT_STREQ(A().Rlm.Afc[27].Name, "");
    EXPECT_EQ(A().Rlm.Afc[27].Offset, 0);

    A().AfcNotApplicable = 0;  // a standard-power access point
    A().AfcBasePower = 20;
    ASSERT_TRUE(SetAllAFCPwrBuffer(&A(), 20));
    for (const Row& r : rows) {
        UCHAR power = 0;
        ASSERT_TRUE(AFCPowerValuesGetForAMod(&A(), r.name, &power)) << r.name;
        EXPECT_EQ(power, static_cast<UCHAR>(20 + r.offset)) << r.name;
    }
    EXPECT_EQ(A().Rlm.AfcAppliedBasePower, 20);
}

TEST_F(Power, LookupsAreExactAndRefusedWithoutStandardPower)
{
    AFCArrayInit(&A());
    SetAllAFCPwrBuffer(&A(), 20);
    A().AfcNotApplicable = 0;
    UCHAR power = 0;
    EXPECT_TRUE(AFCPowerValuesGetForAMod(&A(), "ru26", &power));
    EXPECT_EQ(power, 10);
    EXPECT_TRUE(AFCPowerValuesGetForAMod(&A(), "eht996x4", &power));
    EXPECT_EQ(power, 32);
    EXPECT_TRUE(AFCPowerValuesGetForAMod(&A(), "ofdm", &power));
    EXPECT_EQ(power, 20);
    EXPECT_FALSE(AFCPowerValuesGetForAMod(&A(), "OFDM", &power)) << "case-sensitive";
    EXPECT_FALSE(AFCPowerValuesGetForAMod(&A(), "ofdm8", &power)) << "no prefix match";
    EXPECT_FALSE(AFCPowerValuesGetForAMod(&A(), "ofdm800", &power));
    EXPECT_FALSE(AFCPowerValuesGetForAMod(&A(), "eht_996_484_242_and_longer", &power));
    EXPECT_FALSE(AFCPowerValuesGetForAMod(&A(), nullptr, &power));
    EXPECT_FALSE(AFCPowerValuesGetForAMod(&A(), "ofdm", nullptr));
    SetAllAFCPwrBuffer(&A(), 250);
    EXPECT_TRUE(AFCPowerValuesGetForAMod(&A(), "eht996x3_484", &power));
    EXPECT_EQ(power, 6) << "8-bit wrap";

    A().AfcNotApplicable = 1;
    for (const char* name : {"ofdm", "ru26", "eht996x4"}) {
        EXPECT_FALSE(AFCPowerValuesGetForAMod(&A(), name, &power)) << name;
    }
}

}  // namespace
}  // namespace radiocapstest
