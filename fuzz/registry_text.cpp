// Fuzzes the registry text loader: any input is either refused with a line number, leaving the
// store unchanged, or loaded; a loaded store dumps to text that loads back to the same dump.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kshim/host/registry.h"

#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qzlfuzz::Quiet();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string empty = [] {
        kshim::host::RegistryClear();
        return kshim::host::RegistryDumpText();
    }();
    kshim::host::RegistryClear();
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    if (!kshim::host::RegistryLoadText(text, &error)) {
        if (error.rfind("line ", 0) != 0 || kshim::host::RegistryDumpText() != empty) {
            std::abort();
        }
        return 0;
    }
    std::string dump = kshim::host::RegistryDumpText();
    kshim::host::RegistryClear();
    if (!kshim::host::RegistryLoadText(dump, &error) || kshim::host::RegistryDumpText() != dump) {
        std::abort();
    }
    return 0;
}
