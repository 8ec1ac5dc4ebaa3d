// Fuzz target: arbitrary bytes as the TLVs of the OS's scan task, through the TLV parser and, when
// they parse, through the conversion into the core scan request (its size, then the fill into a
// buffer of exactly that size, so any write past it is an address error).
#include <cstddef>
#include <cstdint>
#include <memory>

#include "kshim/host/control.h"
#include "kshim/wditlv.h"
#include "platform/wdi/ndiswdi.h"

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
    WDI_SCAN_PARAMETERS parameters{};
    if (WdiTlvParseTaskScan(static_cast<ULONG>(length), length != 0 ? tlvs.get() : nullptr, nullptr, &parameters) !=
        STATUS_SUCCESS) {
        return 0;
    }
    const ULONG size = NdisWdiDot11ScanRequestSize(&parameters);
    if (size <= 1u << 20) {
        std::unique_ptr<uint8_t[]> request(new uint8_t[size]);
        (void)NdisWdiFillDot11ScanRequest(&parameters, request.get(), size);
        // One byte short is refused without a write.
        (void)NdisWdiFillDot11ScanRequest(&parameters, request.get(), size - 1);
    }
    // What the driver would send back to the OS generates and parses again.
    ULONG generatedLength = 0;
    PUCHAR generated = nullptr;
    if (WdiTlvGenerateTaskScan(&parameters, 0, nullptr, &generatedLength, &generated) == STATUS_SUCCESS) {
        WDI_SCAN_PARAMETERS again{};
        if (WdiTlvParseTaskScan(generatedLength, generated, nullptr, &again) != STATUS_SUCCESS) {
            __builtin_trap();
        }
        WdiTlvCleanupTaskScan(&again);
        WdiTlvFreeGenerated(generated);
    }
    WdiTlvCleanupTaskScan(&parameters);
    return 0;
}
