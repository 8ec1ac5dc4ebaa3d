// Fuzz target: arbitrary bytes as the body of the OS's native scan request (the connect-control
// machine's scan message) through its parser into a scan request, with the element room chosen by
// the first input byte; the body ends where the input ends, so any read past it is an address error.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "Common/mlme/mlmeconnect.h"
#include "Common/qzcmd_scan.h"
#include "kshim/host/control.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kshim::host::TraceSetEcho(0);
    kshim::host::TraceSetLevel(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t length)
{
    if (length < 1 || length > 4096) {
        return 0;
    }
    const ULONG ieRoom = static_cast<ULONG>(data[0]) * 4;
    const size_t size = length - 1;
    std::unique_ptr<uint8_t[]> body(new uint8_t[size == 0 ? 1 : size]);
    if (size != 0) {
        std::memcpy(body.get(), data + 1, size);
    }
    auto request = std::make_unique<MLME_SCAN_REQ>();
    const UCHAR* ies = nullptr;
    ULONG iesLength = 0;
    if (MlmeCntlParseOidScanRequest(body.get(), static_cast<ULONG>(size), request.get(), ieRoom, &ies, &iesLength)) {
        if (iesLength > ieRoom || (iesLength != 0 && (ies < body.get() || ies + iesLength > body.get() + size))) {
            __builtin_trap();
        }
        if (request->SsidCount > SCAN_REQ_SSID_MAX) {
            __builtin_trap();
        }
    }
    return 0;
}
