// Fuzz target: the two readers of values under absolute registry keys, with values of any type and
// length. The input's first byte is the value's type, the rest its data. Whatever the value, the
// 4-byte reader writes at most its ULONG and the text reader a terminated text within its buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kshim/host/control.h"
#include "kshim/host/registry.h"
#include "platform/ndiscommon/registry_host.h"

namespace {

const char kKey[] = "\\Registry\\Machine\\SOFTWARE\\Fuzz";
const WCHAR kKeyPath[] = u"\\Registry\\Machine\\SOFTWARE\\Fuzz";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kshim::host::ResetDefaults();
    kshim::host::TraceSetLevel(0);
    kshim::host::TraceSetEcho(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    kshim::host::RegistrySetValue(kKey, "Value", data[0], std::vector<uint8_t>(data + 1, data + size));

    ULONG number = 0;
    if (GetHostRegistryValue(kKeyPath, u"Value", &number) == STATUS_SUCCESS && (data[0] != 4 || size - 1 > 4)) {
        __builtin_trap();
    }

    // A guard character on each side of the reader's buffer.
    constexpr size_t kChars = HAL_REGISTRY_VALUE_CHARS + 1;
    WCHAR buffer[kChars + 2];
    for (WCHAR& c : buffer) {
        c = 0xBEEF;
    }
    ULONG length = 0xFFFFFFFF;
    NTSTATUS status = HalReadRegistryValue(u"Value", &length, buffer + 1, kKeyPath);
    if (buffer[0] != 0xBEEF || buffer[kChars + 1] != 0xBEEF) {
        __builtin_trap();
    }
    if (status == STATUS_SUCCESS) {
        if (length > HAL_REGISTRY_VALUE_CHARS * sizeof(WCHAR) || (length & 1) != 0 ||
            buffer[1 + length / sizeof(WCHAR)] != 0) {
            __builtin_trap();
        }
    } else if (length != 0 || buffer[1] != 0) {
        __builtin_trap();
    }
    return 0;
}
