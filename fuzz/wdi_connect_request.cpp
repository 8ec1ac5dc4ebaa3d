// Fuzz target: arbitrary bytes as the TLVs of the OS's connect and roam tasks (and, through the same
// input, the disconnect, reset, radio-state, operation-mode, adapter-configuration, location-privacy
// and privacy-exemption messages). What parses generates and parses again to the same record shape.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "kshim/host/control.h"
#include "kshim/wditlv.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kshim::host::TraceSetEcho(0);
    kshim::host::TraceSetLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t length)
{
    if (length > 0xFFFF) {
        return 0;
    }
    // The TLVs end where the input ends.
    std::unique_ptr<uint8_t[]> tlvs(new uint8_t[length == 0 ? 1 : length]);
    if (length != 0) {
        std::memcpy(tlvs.get(), data, length);
    }
    const ULONG n = static_cast<ULONG>(length);
    const UCHAR* p = length != 0 ? tlvs.get() : nullptr;

    WDI_CONNECT_PARAMETERS connect{};
    if (WdiTlvParseTaskConnect(n, p, nullptr, &connect) == STATUS_SUCCESS) {
        ULONG generatedLength = 0;
        PUCHAR generated = nullptr;
        if (WdiTlvGenerateTaskConnect(&connect, 0, nullptr, &generatedLength, &generated) == STATUS_SUCCESS) {
            WDI_CONNECT_PARAMETERS again{};
            if (WdiTlvParseTaskConnect(generatedLength, generated, nullptr, &again) != STATUS_SUCCESS ||
                again.BssEntries.ElementCount != connect.BssEntries.ElementCount ||
                again.SsidList.ElementCount != connect.SsidList.ElementCount) {
                __builtin_trap();
            }
            WdiTlvCleanupTaskConnect(&again);
            WdiTlvFreeGenerated(generated);
        }
        WdiTlvCleanupTaskConnect(&connect);
    }

    WDI_DISCONNECT_PARAMETERS disconnect{};
    (void)WdiTlvParseTaskDisconnect(n, p, nullptr, &disconnect);
    WDI_DOT11_RESET_PARAMETERS reset{};
    (void)WdiTlvParseTaskDot11Reset(n, p, nullptr, &reset);
    WDI_SET_RADIO_STATE_PARAMETERS radio{};
    (void)WdiTlvParseTaskSetRadioState(n, p, nullptr, &radio);
    WDI_OPERATION_MODE_PARAMETERS mode{};
    (void)WdiTlvParseTaskChangeOperationMode(n, p, nullptr, &mode);
    WDI_ADAPTER_CONFIGURATION_PARAMETERS configuration{};
    (void)WdiTlvParseAdapterConfiguration(n, p, nullptr, &configuration);
    WDI_LOCATION_PRIVACY_PARAMETERS privacy{};
    (void)WdiTlvParseLocationPrivacy(n, p, nullptr, &privacy);
    WDI_PRIVACY_EXEMPTION_PARAMETERS exemption{};
    if (WdiTlvParsePrivacyExemptionList(n, p, nullptr, &exemption) == STATUS_SUCCESS) {
        WdiTlvCleanupPrivacyExemptionList(&exemption);
    }
    return 0;
}
