// The built-in IoT access-point rules.
#include "Common/bss_iot.h"

#include <cstring>

#include "hal/common/hal_chip.h"
#include "platform/ndiscommon/adapter.h"
#include "platform/ndiscommon/ndiscommonhif.h"
#include "platform/ndiscommon/trace.h"

namespace {

constexpr IOT_AP_RULE Rule(UCHAR flag, UCHAR b0, UCHAR b1, UCHAR b2, UCHAR b3, UCHAR b4, UCHAR b5, UCHAR action)
{
    IOT_AP_RULE r = {};
    r.Flag = flag;
    r.Bssid[0] = b0;
    r.Bssid[1] = b1;
    r.Bssid[2] = b2;
    r.Bssid[3] = b3;
    r.Bssid[4] = b4;
    r.Bssid[5] = b5;
    for (UCHAR& m : r.Mask) {
        m = 0xFF;
    }
    r.Action = action;
    return r;
}

constexpr IOT_AP_RULE kMainRules[] = {
    Rule(0, 0xEC, 0x17, 0x2F, 0x0A, 0xDA, 0x38, 7), Rule(1, 0x6C, 0xE8, 0x73, 0xFD, 0x0F, 0xC0, 7),
    Rule(0, 0x5C, 0x63, 0xBF, 0x1F, 0xAF, 0x8C, 7), Rule(0, 0x38, 0x83, 0x45, 0x10, 0x7E, 0x38, 7),
    Rule(0, 0x8C, 0x21, 0x0A, 0x15, 0xCF, 0x80, 7), Rule(0, 0x38, 0x83, 0x45, 0x03, 0x0F, 0xCA, 7),
    Rule(0, 0x60, 0xE3, 0x27, 0x8D, 0xC8, 0xD8, 7), Rule(0, 0xBC, 0xD1, 0x77, 0x08, 0x03, 0xA3, 7),
    Rule(0, 0xEC, 0x17, 0x2F, 0x11, 0xA0, 0x34, 7), Rule(0, 0x8C, 0x21, 0x0A, 0x0D, 0x50, 0x16, 7),
    Rule(0, 0x38, 0x83, 0x45, 0x10, 0x7B, 0xC8, 7), Rule(0, 0x38, 0x83, 0x45, 0x10, 0x80, 0x1A, 7),
    Rule(0, 0xBC, 0xD1, 0x77, 0x07, 0xED, 0x5F, 7), Rule(0, 0x38, 0x83, 0x45, 0x09, 0x90, 0x58, 7),
    Rule(0, 0x38, 0x83, 0x45, 0x10, 0x83, 0x9E, 7), Rule(0, 0x6C, 0xE8, 0x73, 0xFD, 0x0F, 0xE4, 7),
    Rule(0, 0x74, 0xEA, 0x3A, 0x7A, 0xB7, 0x20, 7),
};
static_assert(sizeof(kMainRules) / sizeof(kMainRules[0]) == 17, "seventeen main rules");

constexpr IOT_AP_RULE kLabRules[] = {
    Rule(0, 0x38, 0x83, 0x45, 0x09, 0x90, 0x58, IOT_LAB_ACTION_SET_REGISTERS),
    Rule(0, 0x6C, 0xE8, 0x73, 0xFD, 0x0F, 0xC0, IOT_LAB_ACTION_SET_REGISTERS),
};

constexpr ULONG kOrRegisters[2] = {0x820E40C4, 0x820F40C4};
constexpr ULONG kOrValue = 0x00FE00FE;
constexpr ULONG kSetRegisters[2] = {0x820E202C, 0x820F202C};
constexpr ULONG kSetValue = 0x3F7FFFFF;
constexpr ULONG kLabTicks = 3;

template <size_t N>
const IOT_AP_RULE* Match(PMP_ADAPTER adapter, PMP_PORT port, const IOT_AP_RULE (&rules)[N])
{
    if (adapter == nullptr || port == nullptr || adapter->WorkingCfg.EnDefaultIotApRule == 0) {
        return nullptr;
    }
    for (const IOT_AP_RULE& r : rules) {
        if (std::memcmp(r.Bssid, port->Bssid, sizeof(r.Bssid)) == 0) {
            return &r;
        }
    }
    return nullptr;
}

ULONG ReadTraced(PMP_ADAPTER adapter, ULONG address)
{
    ULONG value = 0;
    (void)HifIoRead32(adapter, address, &value);
    DBGPRINT(TRACE_LEVEL_INFORMATION, DBG_MLME, "IoT lab register 0x%08X = 0x%08X", static_cast<unsigned>(address),
             static_cast<unsigned>(value));
    return value;
}

// One flag's register accesses, under driver ownership while the adapter is in low power.
template <typename Accesses>
void UnderDriverOwn(PMP_ADAPTER adapter, Accesses accesses)
{
    const bool own = adapter->LowPower.LowPowerMode != 0;
    if (own) {
        (void)NdisCommonHifPmSetDriverOwn(adapter);
    }
    accesses();
    if (own) {
        (void)NdisCommonHifPmSetFwOwn(adapter, 0);
    }
}

}  // namespace

ULONG bssGetIotApAction(PMP_ADAPTER adapter, PMP_PORT port)
{
    const IOT_AP_RULE* r = Match(adapter, port, kMainRules);
    if (r == nullptr) {
        return 0;
    }
    adapter->IotApRuleMatched = r->Flag;
    return r->Action;
}

UCHAR bssCheckIotApActionForLAB(PMP_ADAPTER adapter, PMP_PORT port)
{
    const IOT_AP_RULE* r = Match(adapter, port, kLabRules);
    return r != nullptr ? r->Action : 0;
}

BOOLEAN bssProcessIotApActionForLAB(PMP_ADAPTER adapter, PMP_PORT port, UCHAR actionFlags)
{
    UNREFERENCED_PARAMETER(port);
    if (adapter == nullptr) {
        return FALSE;
    }
    if ((actionFlags & IOT_LAB_ACTION_OR_REGISTERS) != 0) {
        UnderDriverOwn(adapter, [&] {
            for (ULONG address : kOrRegisters) {
                const ULONG value = ReadTraced(adapter, address);
                (void)HifIoWrite32(adapter, address, value | kOrValue);
                (void)ReadTraced(adapter, address);
            }
        });
    }
    if ((actionFlags & IOT_LAB_ACTION_SET_REGISTERS) != 0) {
        UnderDriverOwn(adapter, [&] {
            (void)HifIoWrite32(adapter, kSetRegisters[0], kSetValue);
            const ULONG value = ReadTraced(adapter, kSetRegisters[0]);
            (void)HifIoWrite32(adapter, kSetRegisters[1], value);
            (void)ReadTraced(adapter, kSetRegisters[1]);
        });
    }
    return TRUE;
}

VOID bssIotLabTick(PMP_ADAPTER adapter, PMP_PORT connected)
{
    if (adapter == nullptr) {
        return;
    }
    ULONG& counter = adapter->IotLabCounter;
    if (counter >= 1 && counter <= kLabTicks) {
        if (HalDeviceHasFact(adapter->DeviceId, CHIP_FACT_IOT_LAB_REGISTERS)) {
            const UCHAR action = bssCheckIotApActionForLAB(adapter, connected);
            if (action != 0) {
                (void)bssProcessIotApActionForLAB(adapter, connected, action);
            }
        }
        ++counter;
    }
    if (counter > kLabTicks) {
        counter = 0;
    }
}
