// Fuzz target: the parsers of the country and network-address strings read from the device
// configuration. The input is taken as UTF-16 text; it goes through the string block (cut to the
// value's capacity, as the reader stores it) and also straight to the parsers, unbounded by a
// capacity, to reach their own limits.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kshim/host/control.h"
#include "platform/ndiscommon/registry_table.h"

namespace {

void CheckAddress(NTSTATUS status, const UCHAR* address)
{
    if (status != STATUS_SUCCESS) {
        return;
    }
    bool allZero = true;
    for (int i = 0; i < REGISTRY_MAC_ADDRESS_LENGTH; ++i) {
        allZero = allZero && address[i] == 0;
    }
    // Never a group, broadcast or all-zero address.
    if ((address[0] & 1) != 0 || allZero) {
        __builtin_trap();
    }
}

void CheckCountry(USHORT code)
{
    UCHAR first = static_cast<UCHAR>(code & 0xFF);
    UCHAR second = static_cast<UCHAR>(code >> 8);
    if (first < 'A' || first > 'Z' || second < 'A' || second > 'Z') {
        __builtin_trap();
    }
}

void Parse(PCUNICODE_STRING text)
{
    UCHAR address[REGISTRY_MAC_ADDRESS_LENGTH];
    CheckAddress(RegistryParseNetworkAddress(text, address), address);
    CheckCountry(RegistryParseCountryCode(text));
    UCHAR css = RegistryParseCssCode(text);
    if (css < 'A' || css > 'Z') {
        __builtin_trap();
    }
}

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
    // Exactly the input's characters in a buffer of their own, so that any read beyond them is
    // caught; an odd trailing byte is kept in the length the parsers are given.
    size_t chars = size / sizeof(WCHAR);
    std::vector<WCHAR> text(chars == 0 ? 1 : chars);
    if (chars != 0) {
        std::memcpy(text.data(), data, chars * sizeof(WCHAR));
    }
    UNICODE_STRING direct;
    direct.Length = static_cast<USHORT>(size > 0xFFFE ? 0xFFFE : size) & ~1u;
    direct.MaximumLength = direct.Length;
    direct.Buffer = chars == 0 ? nullptr : text.data();
    Parse(&direct);

    static REGISTRY_STRING_BLOCK strings;
    RegistryStringBlockInit(&strings);
    RegistryStoreString(&strings, REGISTRY_STRING_NETWORK_ADDRESS, text.data(), static_cast<ULONG>(size));
    RegistryStoreString(&strings, REGISTRY_STRING_COUNTRY_REGION, text.data(), static_cast<ULONG>(size));
    Parse(&strings.Strings[REGISTRY_STRING_NETWORK_ADDRESS]);
    Parse(&strings.Strings[REGISTRY_STRING_COUNTRY_REGION]);
    return 0;
}
