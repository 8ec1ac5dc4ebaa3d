// Helpers shared by the configuration tests.
#pragma once

#include <string>

#include "platform/ndiscommon/registry_table.h"

namespace config_test {

inline std::u16string RowName(const REGISTRY_PARAMETER_ENTRY& row)
{
    return std::u16string(row.Name.Buffer, row.Name.Length / sizeof(WCHAR));
}

// The row of that name; fails the test (returns null) when there is none.
inline PCREGISTRY_PARAMETER_ENTRY FindRow(const std::u16string& name)
{
    for (const REGISTRY_PARAMETER_ENTRY& row : g_RegistryParameterTable) {
        if (RowName(row) == name) {
            return &row;
        }
    }
    return nullptr;
}

// A counted string over a test's text (the text must outlive it).
inline UNICODE_STRING Counted(const std::u16string& text)
{
    UNICODE_STRING s;
    s.Length = static_cast<USHORT>(text.size() * sizeof(WCHAR));
    s.MaximumLength = s.Length;
    s.Buffer = const_cast<PWSTR>(text.data());
    return s;
}

}  // namespace config_test
