// The local maximum transmit power, the Power Capability element and the AFC per-RU power table.
#include "Common/rlm_power.h"

#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr UCHAR kElementPowerCapability = 33;

struct AfcRow {
    const char* name;
    CHAR offset;
};
// The named rows of the table (row 27 has no name and offset 0).
constexpr AfcRow kAfcRows[AFC_RU_POWER_ROWS - 1] = {
    {"ofdm", 0},        {"ofdm40", 3},          {"ofdm80", 6},       {"ofdm160", 9},        {"ru26", -10},
    {"ru52", -7},       {"ru106", -4},          {"ru242", 0},        {"ru484", 3},          {"ru996", 6},
    {"ru996x2", 9},     {"eht26", -10},         {"eht52", -7},       {"eht106", -4},        {"eht242", 0},
    {"eht484", 3},      {"eht996", 6},          {"eht996x2", 9},     {"eht996x4", 12},      {"eht26_52", -5},
    {"eht26_106", -3},  {"eht484_242", 5},      {"eht996_484", 8},   {"eht_996_484_242", 9}, {"eht996x2_484", 10},
    {"eht996x3", 11},   {"eht996x3_484", 12},
};

BOOLEAN SameName(const CHAR* row, PCSTR name)
{
    ULONG i = 0;
    for (; i < AFC_RU_NAME_LEN; ++i) {
        if (row[i] != name[i]) {
            return FALSE;
        }
        if (row[i] == '\0') {
            return TRUE;
        }
    }
    return FALSE;  // a name as long as the row's field matches no row
}

}  // namespace

BOOLEAN MDSMCalculateMaxTxPower(PMP_ADAPTER adapter, UCHAR regulatoryMax, UCHAR powerConstraint)
{
    const UCHAR constraint = powerConstraint == POWER_CONSTRAINT_NONE ? 0 : powerConstraint;
    adapter->Rlm.LocalMaxTxPower = static_cast<UCHAR>(regulatoryMax - constraint);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_POWER, "local maximum transmit power %u dBm (country %u, constraint %u)",
             static_cast<unsigned>(adapter->Rlm.LocalMaxTxPower), static_cast<unsigned>(regulatoryMax),
             static_cast<unsigned>(powerConstraint));
    return TRUE;
}

void MDSMCreatePowerCapabilityIE(PMP_ADAPTER adapter, PUCHAR element)
{
    const RLM_ADAPTER_BLOCK& rlm = adapter->Rlm;
    element[0] = kElementPowerCapability;
    element[1] = 2;
    element[2] = rlm.MinTxPowerCap;
    // Nothing sets the maximum capability of its own: the local maximum of the access point's
    // beacon stands for it, so that the element never announces a maximum of 0 dBm while one is known.
    element[3] = rlm.MaxTxPowerCap != 0 ? rlm.MaxTxPowerCap : rlm.LocalMaxTxPower;
}

BOOLEAN AFCArrayInit(PMP_ADAPTER adapter)
{
    if (adapter == nullptr) {
        return FALSE;
    }
    for (ULONG row = 0; row < AFC_RU_POWER_ROWS; ++row) {
        AFC_RU_POWER_ENTRY& entry = adapter->Rlm.Afc[row];
        for (CHAR& c : entry.Name) {
            c = '\0';
        }
        entry.Offset = 0;
        entry.Power = AFC_POWER_NONE;
        if (row < AFC_RU_POWER_ROWS - 1) {
            const char* name = kAfcRows[row].name;
            for (ULONG i = 0; i + 1 < AFC_RU_NAME_LEN && name[i] != '\0'; ++i) {
                entry.Name[i] = name[i];
            }
            entry.Offset = kAfcRows[row].offset;
        }
    }
    return TRUE;
}

BOOLEAN SetAllAFCPwrBuffer(PMP_ADAPTER adapter, UCHAR basePower)
{
    if (adapter == nullptr) {
        return FALSE;
    }
    for (AFC_RU_POWER_ENTRY& entry : adapter->Rlm.Afc) {
        entry.Power = static_cast<UCHAR>(basePower + static_cast<UCHAR>(entry.Offset));
    }
    return TRUE;
}

BOOLEAN AFCPowerValuesGetForAMod(PMP_ADAPTER adapter, PCSTR name, PUCHAR power)
{
    if (adapter == nullptr || name == nullptr || power == nullptr || adapter->AfcNotApplicable == 1) {
        return FALSE;
    }
    adapter->Rlm.AfcAppliedBasePower = adapter->AfcBasePower;
    for (const AFC_RU_POWER_ENTRY& entry : adapter->Rlm.Afc) {
        if (SameName(entry.Name, name)) {
            *power = entry.Power;
            return TRUE;
        }
    }
    return FALSE;
}
