// Text helpers shared by the stand-in's run-time library, registry and file services.
#pragma once

#include <string>
#include <string_view>

#include "kshim/nt_types.h"

namespace kshim {

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const char16_t* text, size_t units);
// The counted string as UTF-8 (empty for a null string or buffer).
std::string CountedToUtf8(PCUNICODE_STRING s);
// UTF-8 to UTF-16; false on malformed input.
bool Utf8ToUtf16(std::string_view text, std::u16string* out);
// Upper-cases ASCII letters (the case folding of names: keys, values, file components).
std::string FoldName(std::string_view text);
bool NamesEqual(std::string_view a, std::string_view b);

}  // namespace kshim
